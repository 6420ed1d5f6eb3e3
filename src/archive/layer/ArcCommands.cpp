#include "archive/layer/ArcCommands.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "archive/layer/ArcDlg.h"
#include "archive/layer/ArcTree.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "mainwin/Commands.h"
#include "mainwin/DropCmd.h"
#include "mainwin/Main.h"
#include "mainwin/PanelView.h"
#include "panels/MFList.h"
#include "panels/PanelDrop.h"

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
  // Drags out of an archive view extract at the drop; drops into one add to the archive.
  ArchiveTakesFiles = [](TMFList& list) { return ArchiveViewTakesFiles(list); };
  ArchiveDragHook = [](TMFList& list, std::vector<std::wstring>& files, std::function<bool()>& extract,
                       std::function<void()>& finish) {
    auto job = std::make_shared<TArchiveDragJob>();
    if (!PlanArchiveDrag(list, *job)) {
      FinishArchiveDrag(*job);
      return false;
    }
    files = job->Files;
    extract = [job] { return RunArchiveDrag(Q7XForm, *job); };
    finish = [job] { FinishArchiveDrag(*job); };
    return true;
  };
  ArchiveDropHook = [](TMFList& list, const TStringList& files) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < files.Count(); ++i) paths.push_back(files[i]);
    return AddDroppedToArchive(Q7XForm, list, paths);
  };
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

namespace {
// The folder of the last drag out of an archive: kept while a target may still copy from it,
// removed when the next drag is planned (and with the work folder at shut-down).
std::wstring& LastDragFolder() {
  static std::wstring folder;
  return folder;
}

void RemoveScratchFolder(const std::wstring& folder) {
  if (folder.empty()) return;
  EmptyWorkFolder(folder, WorkFolder);
  RemoveDirectoryW(folder.c_str());
}
}  // namespace

bool PlanArchiveDrag(TMFList& list, TArchiveDragJob& job) {
  job = TArchiveDragJob{};
  THanArcTree* tree = list.InArchive ? TreeOf(list) : nullptr;
  if (!tree || WorkFolder.empty()) return false;
  job.Names = ChosenEntries(list, job.Bytes, job.Count);
  if (job.Names.empty()) return false;
  RemoveScratchFolder(LastDragFolder());
  LastDragFolder().clear();
  const std::wstring base = IncludeTrailingBackslash(WorkFolder);
  CreateDirectoryW(base.c_str(), nullptr);
  job.Folder = base + MakeUniqueFileName(base, L"_drag", false);
  if (!CreateDirectoryW(job.Folder.c_str(), nullptr)) return false;
  LastDragFolder() = job.Folder;
  job.ArchiveFolder = list.Path;
  job.ArchiveFileName = list.ArcFileName;
  job.InnerFolder = list.ArcPath;
  job.ArcType = tree->ArcType;
  job.StartOffset = tree->StartOffset;
  // Paths are kept, so a dragged entry lies below the inner folder it is shown in.
  const std::wstring inner = IncludeTrailingBackslash(job.Folder) + (job.InnerFolder.empty() ? L"" : job.InnerFolder + L"\\");
  for (int i : ChosenItems(list)) job.Files.push_back(inner + list.ItemName(i));
  return !job.Files.empty();
}

bool RunArchiveDrag(TForm* owner, TArchiveDragJob& job) {
  if (job.Files.empty() || job.Extracted) return job.Extracted;
  job.Extracted = true;
  std::wstring result;
  bool chooser = false, changed = false;
  if (!ExtractArchives(owner, job.ArchiveFolder, result, true, false, chooser, changed, job.Names, 9 | efKeepPaths,
                       job.ArchiveFileName, job.InnerFolder, job.ArcType, job.StartOffset, job.Bytes, job.Count,
                       job.Folder))
    return false;
  for (const auto& f : job.Files)
    if (GetFileAttributesW(f.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  return true;
}

void FinishArchiveDrag(TArchiveDragJob& job) {
  if (job.Extracted || job.Folder.empty()) return;
  RemoveScratchFolder(job.Folder);
  if (SamePath(LastDragFolder(), job.Folder)) LastDragFolder().clear();
}

bool ExtractForDrag(TForm* owner, TMFList& list, std::vector<std::wstring>& files) {
  files.clear();
  TArchiveDragJob job;
  if (!PlanArchiveDrag(list, job)) return false;
  if (!RunArchiveDrag(owner, job)) {
    FinishArchiveDrag(job);
    return false;
  }
  files = job.Files;
  return true;
}

bool ArchiveViewTakesFiles(TMFList& list) {
  THanArcTree* tree = list.InArchive ? TreeOf(list) : nullptr;
  // The formats an archive is added to in place (the others are only written whole).
  return tree && tree->ArcType >= akZip && tree->ArcType <= akArj;
}

bool AddDroppedToArchive(TForm* owner, TMFList& list, const std::vector<std::wstring>& files) {
  if (!ArchiveViewTakesFiles(list) || files.empty()) return false;
  std::vector<std::wstring> present;
  for (const auto& f : files) {
    // A whole drive, or what is gone by now, is passed over.
    if (f.empty() || IsPathRoot(f) || GetFileAttributesW(f.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    present.push_back(ExcludeTrailingBackslash(f));
  }
  if (present.empty()) return false;
  std::wstring base = IncludeTrailingBackslash(ExtractParentDir(present[0]));
  bool oneFolder = true;
  for (const auto& f : present)
    if (!SamePath(IncludeTrailingBackslash(ExtractParentDir(f)), base)) oneFolder = false;
  // The names stored are relative to the base folder. Files from one folder added to the top
  // are taken where they are; otherwise they are first copied into a scratch folder laid out
  // as the archive's inner folder, so that they land in the folder the view shows.
  std::wstring stage;
  const std::wstring inner = list.ArcPath.empty() ? L"" : list.ArcPath + L"\\";
  if (!oneFolder || !inner.empty()) {
    const std::wstring work = IncludeTrailingBackslash(WorkFolder);
    CreateDirectoryW(work.c_str(), nullptr);
    stage = work + MakeUniqueFileName(work, L"_add", false);
    const std::wstring into = ExcludeTrailingBackslash(stage + L"\\" + inner);
    if (SHCreateDirectoryExW(nullptr, into.c_str(), nullptr) != ERROR_SUCCESS) return false;
    std::wstring from;
    for (const auto& f : present) from += f + L'\0';
    from += L'\0';
    const std::wstring to = into + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_COPY;
    op.pFrom = from.c_str();
    op.pTo = to.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
    if (SHFileOperationW(&op) != 0 || op.fAnyOperationsAborted) {
      RemoveScratchFolder(stage);
      return false;
    }
    base = IncludeTrailingBackslash(stage);
  }
  std::wstring names;
  int folderCount = 0, fileCount = 0;
  for (const auto& f : present) {
    const std::wstring name = f.substr(f.find_last_of(L'\\') + 1);
    const bool folder = (GetFileAttributesW(f.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    (folder ? folderCount : fileCount) += 1;
    names += inner + name + (folder ? L"\\" : L"") + L"\r\n";
  }
  std::wstring archive = list.Path + list.ArcFileName;
  bool f1 = false, f2 = false;
  const bool added = AddToArchive(owner, archive, folderCount, fileCount, names, false, base, true, 0, f1, f2);
  RemoveScratchFolder(stage);
  ReopenArchive(list);
  return added;
}
