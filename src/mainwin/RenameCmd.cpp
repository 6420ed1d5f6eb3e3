#include "mainwin/RenameCmd.h"

#include <algorithm>
#include <set>

#include "fileops/OpForm.h"
#include "fileops/RenDlg.h"
#include "foundation/MYTOOL.h"
#include "mainwin/Main.h"
#include "framework/TextCompare.h"
#include "panels/MFList.h"

TRenameOutcome RunRenameCommand(TMFList& list, const std::function<int(TRenameForm&)>& showModal, bool advanced) {
  TRenameOutcome out;
  if (list.InArchive) return out;
  std::vector<int> indexes = list.SelectedIndexes();
  if (indexes.empty() && list.ItemIndex >= 0) indexes.push_back(list.ItemIndex);
  // The dialog lists them as the panel does (folders first), not in the order of selecting.
  std::sort(indexes.begin(), indexes.end());
  TRenameForm form(nullptr);
  for (int i : indexes) {
    const TFileBoxItem* item = list.GetItem(i);
    if (!item || item->Kind == ikDrive || IsParentItem(*item)) continue;
    form.AddItem(item->Name, item->Kind == ikFolder ? L"" : item->Ext, false,
                 static_cast<uint32_t>(item->Attr), list.Path, item->Time, item->Size < 0 ? 0 : item->Size,
                 item->ShortName);
  }
  if (form.ItemCount() == 0) return out;
  if (list.ItemIndex >= 0) form.FocusedName = list.ItemName(list.ItemIndex);
  if (advanced) form.StartAdvanced = true;
  form.OnHelp = [](const std::wstring& topic) {
    if (Q7XForm) Q7XForm->ShowHelp(topic);
  };
  out.Shown = true;
  if (showModal)
    showModal(form);
  else
    form.ShowModal();
  out.Changed = form.Changed;
  out.FocusedName = form.FocusedName;
  if (!form.Changed) return out;
  // The renamed items leave the selection: their old names are gone.
  std::set<std::wstring> done;
  size_t from = 0;
  while (from < form.DoneList.size()) {
    size_t cr = form.DoneList.find(L'\r', from);
    if (cr == std::wstring::npos) cr = form.DoneList.size();
    done.insert(UpperCase(form.DoneList.substr(from, cr - from)));
    from = cr + 1;
  }
  for (int i : list.SelectedIndexes())
    if (done.count(UpperCase(list.Path + list.ItemName(i)))) list.SetSelected(i, false);
  return out;
}

TRenameOutcome RunRenameFolder(const std::wstring& folderPath, const std::function<int(TRenameForm&)>& showModal,
                               bool advanced) {
  TRenameOutcome out;
  const std::wstring path = ExcludeTrailingBackslash(folderPath);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || IsPathRoot(folderPath) || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return out;
  const std::wstring name = PathFilePart(path);
  TRenameForm form(nullptr);
  form.AddItem(name, L"", false, data.dwFileAttributes, IncludeTrailingBackslash(ExtractParentDir(path)),
               FileTimeToLocalDateTime(data.ftLastWriteTime), 0, PathFilePart(GetShortPath(path)));
  form.FocusedName = name;
  if (advanced) form.StartAdvanced = true;
  form.OnHelp = [](const std::wstring& topic) {
    if (Q7XForm) Q7XForm->ShowHelp(topic);
  };
  out.Shown = true;
  if (showModal)
    showModal(form);
  else
    form.ShowModal();
  out.Changed = form.Changed;
  out.FocusedName = form.FocusedName;
  return out;
}
