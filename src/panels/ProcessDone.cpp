#include "panels/ProcessDone.h"

#include "panels/MFList.h"

void TProcessDoneUnSelect::LoadNames(const std::wstring& crSeparated) {
  size_t start = 0;
  while (start <= crSeparated.size()) {
    size_t end = crSeparated.find(L'\r', start);
    if (end == std::wstring::npos) end = crSeparated.size();
    if (end > start) Names.Add(crSeparated.substr(start, end - start));
    start = end + 1;
  }
}

int TProcessDoneUnSelect::Execute() {
  if (!FileList) return 0;
  int count = 0;
  for (int index : FileList->SelectedIndexes()) {
    const TFileBoxItem* item = FileList->GetItem(index);
    if (!item || item->Kind == ikDrive || IsParentItem(*item)) continue;
    int at;
    if (Names.Find(FileList->ItemName(index), at)) {
      FileList->SetSelected(index, false);
      ++count;
    }
  }
  return count;
}
