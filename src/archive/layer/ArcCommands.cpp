#include "archive/layer/ArcCommands.h"

#include "archive/layer/ArcDlg.h"
#include "archive/layer/ArcTree.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "mainwin/PanelView.h"
#include "panels/MFList.h"

namespace {
// The list's chosen items: the selection in its order, else the focused item (never "..").
std::vector<int> ChosenItems(TMFList& list) {
  std::vector<int> picked;
  auto usable = [&](int i) {
    const TFileBoxItem* item = list.GetItem(i);
    return item && item->Kind != ikDrive && !IsParentItem(*item);
  };
  for (int i : list.SelectedIndexes())
    if (usable(i)) picked.push_back(i);
  if (picked.empty() && list.ItemIndex >= 0 && usable(list.ItemIndex)) picked.push_back(list.ItemIndex);
  return picked;
}

THanArcTree* TreeOf(TMFList& list) { return dynamic_cast<THanArcTree*>(list.ArcTree); }

// The chosen entries of an archive view, as the archive stores them (folders with "\"), and
// their totals.
std::wstring ChosenEntries(TMFList& list, int64_t& bytes, int64_t& files) {
  std::wstring names;
  bytes = files = 0;
  THanArcTree* tree = TreeOf(list);
  for (int i : ChosenItems(list)) {
    const TFileBoxItem* item = list.GetItem(i);
    std::wstring path = (list.ArcPath.empty() ? L"" : list.ArcPath + L"\\") + list.ItemName(i);
    if (item->Kind == ikFolder) {
      int64_t count = 0;
      int64_t size = tree ? tree->GetFolderSize(path, count) : -1;
      if (size > 0) bytes += size;
      files += count;
      path += L"\\";
    } else {
      bytes += std::max<int64_t>(item->Size, 0);
      files += 1;
    }
    names += path + L"\r\n";
  }
  return names;
}

void RereadBoth(TQ7XForm& form) {
  if (TPanelView* p = form.ActivePanel()) p->Reread();
  if (TPanelView* p = form.OtherPanel()) p->Reread();
}

void Compress(TQ7XForm& form, bool moveAfter) {
  TMFList* list = form.ActiveList();
  if (!list || list->InArchive) return;
  std::vector<int> picked = ChosenItems(*list);
  if (picked.empty()) return;
  std::wstring names;
  int folders = 0, files = 0;
  for (int i : picked) {
    const TFileBoxItem* item = list->GetItem(i);
    const bool folder = item->Kind == ikFolder;
    (folder ? folders : files) += 1;
    names += list->ItemName(i) + (folder ? L"\\" : L"") + L"\r\n";
  }
  // The archive is named after the one item, or after the folder that holds them.
  std::wstring name = picked.size() == 1 ? list->GetItem(picked[0])->Name
                                         : ExcludeTrailingBackslash(list->Path);
  name = name.substr(name.find_last_of(L"\\:") == std::wstring::npos ? 0 : name.find_last_of(L"\\:") + 1);
  if (name.empty()) name = L"Archive";
  bool f1 = false, f2 = false;
  std::wstring archive = name;
  AddToArchive(&form, archive, folders, files, names, false, list->Path, false, moveAfter ? 0x20 : 0, f1, f2);
  RereadBoth(form);
}

void Extract(TQ7XForm& form) {
  TMFList* list = form.ActiveList();
  if (!list) return;
  TMFList* other = form.DualMode ? form.OtherList() : nullptr;
  std::wstring result = other && !other->InArchive ? other->Path : L"";
  bool chooser = false, changed = false;
  const uint8_t flags = Options.NoExtractDialog ? 6 : 0;
  if (list->InArchive) {
    THanArcTree* tree = TreeOf(*list);
    if (!tree) return;
    int64_t bytes = 0, files = 0;
    std::wstring names = ChosenEntries(*list, bytes, files);
    if (names.empty()) return;
    ExtractArchives(&form, list->Path, result, true, false, chooser, changed, names, flags, list->ArcFileName,
                    list->ArcPath, tree->ArcType, tree->StartOffset, bytes, files, L"");
  } else {
    std::wstring names;
    for (int i : ChosenItems(*list))
      if (list->GetItem(i)->Kind != ikFolder) names += list->ItemName(i) + L"\r\n";
    if (names.empty()) return;
    ExtractArchives(&form, list->Path, result, false, false, chooser, changed, names, flags, L"", L"", 0, 0, -1, -1,
                    L"");
  }
  RereadBoth(form);
}

// Opens the archive again and returns to the folder the panel showed, so that the panel lists
// what the archive now really holds.
void ReopenArchive(TMFList& list) {
  const std::wstring file = list.Path + list.ArcFileName, inner = list.ArcPath;
  const int focus = list.ItemIndex;
  if (!list.OpenArchive(file)) {
    list.CloseArchive();
    return;
  }
  size_t start = 0;
  while (start < inner.size()) {
    size_t slash = inner.find(L'\\', start);
    if (slash == std::wstring::npos) slash = inner.size();
    if (!list.ChangeArchiveFolder(inner.substr(start, slash - start))) break;
    start = slash + 1;
  }
  if (focus >= 0 && list.GetItem(focus)) list.ItemIndex = focus;
}

void DeleteInside(TQ7XForm& form) {
  TMFList* list = form.ActiveList();
  THanArcTree* tree = list ? TreeOf(*list) : nullptr;
  if (!tree) return;
  int64_t bytes = 0, files = 0;
  std::wstring names = ChosenEntries(*list, bytes, files);
  if (names.empty()) return;
  if (!AskYesNo(LoadMessageText(10803), false)) return;
  std::wstring archive = list->Path + list->ArcFileName;
  DeleteFromArchive(&form, archive, 0, names, tree->ArcType, 0);
  ReopenArchive(*list);
  if (TPanelView* p = form.ActivePanel()) p->Reread();
}
}  // namespace

void InstallArchiveCommands() {
  RegisterCommand(7001, [](TQ7XForm& form, TShiftState) { Compress(form, false); });
  RegisterCommand(7002, [](TQ7XForm& form, TShiftState) { Compress(form, true); });
  RegisterCommand(7003, [](TQ7XForm& form, TShiftState) { Extract(form); });
  // Delete: inside an archive the archive's entries; elsewhere whatever handled it before.
  const TCommandRow* row = FindCommand(1003);
  TCommandHandler previous = row ? row->Run : nullptr;
  TCommandTest previousEnabled = row ? row->Enabled : nullptr;
  RegisterCommand(
      1003,
      [previous](TQ7XForm& form, TShiftState shift) {
        TMFList* list = form.ActiveList();
        if (list && list->InArchive) {
          DeleteInside(form);
          return;
        }
        if (previous) previous(form, shift);
      },
      [previousEnabled](TQ7XForm& form) {
        TMFList* list = form.ActiveList();
        if (list && list->InArchive) return !ChosenItems(*list).empty();
        return previousEnabled ? previousEnabled(form) : true;
      });
}

bool ExtractForDrag(TForm* owner, TMFList& list, std::vector<std::wstring>& files) {
  files.clear();
  THanArcTree* tree = list.InArchive ? TreeOf(list) : nullptr;
  if (!tree) return false;
  int64_t bytes = 0, count = 0;
  std::wstring names = ChosenEntries(list, bytes, count);
  if (names.empty()) return false;
  const std::wstring base = IncludeTrailingBackslash(WorkFolder);
  const std::wstring folder = base + MakeUniqueFileName(base, L"_drag", false);
  if (!CreateDirectoryW(folder.c_str(), nullptr)) return false;
  std::wstring result;
  bool chooser = false, changed = false;
  // Paths are kept, so that a dragged folder arrives whole.
  if (!ExtractArchives(owner, list.Path, result, true, false, chooser, changed, names, 9 | efKeepPaths, list.ArcFileName,
                       list.ArcPath, tree->ArcType, tree->StartOffset, bytes, count, folder))
    return false;
  // The dragged items: the chosen entries below the extracted inner folder.
  for (int i : ChosenItems(list)) {
    std::wstring path = IncludeTrailingBackslash(folder) + (list.ArcPath.empty() ? L"" : list.ArcPath + L"\\") +
                        list.ItemName(i);
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) files.push_back(path);
  }
  return !files.empty();
}
