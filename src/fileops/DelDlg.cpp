#include "fileops/DelDlg.h"

#include <algorithm>

#include "fileops/CopyDlg.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDTree.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/FolderEnum.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MDescMan.h"
#include "panels/MFList.h"

std::function<int(SHFILEOPSTRUCTW& op)> TDeleteForm::ShellFileOperation = [](SHFILEOPSTRUCTW& op) {
  return SHFileOperationW(&op);
};

namespace {
std::wstring FilePart(const std::wstring& path) { return PathFilePart(path); }
std::wstring FolderPart(const std::wstring& path) { return PathFolderPart(path); }
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool IsDescriptionFile(const std::wstring& path) { return SameTextI(FilePart(path), L"DESCRIPT.ION"); }
// A folder that stands for another name: removed as it is, never entered.
bool IsFolderLink(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  if (FindFirstSafe(path, fd)) return TFolderEnum::IsFolderData(fd) && TFolderEnum::IsLinkData(fd);
  DWORD attr = GetFileAttributesW(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) && (attr & FILE_ATTRIBUTE_REPARSE_POINT);
}
// Moves the process's current folder off any folder about to go.
void LeaveCurrentFolder() {
  wchar_t windows[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  std::wstring root = n >= 3 ? std::wstring(windows, 3) : std::wstring(L"C:\\");
  SetCurrentDirectoryW(root.c_str());
}
}  // namespace

// ---- The window ----

TDeleteForm::TDeleteForm(TComponent* owner) : TOperationForm(owner) {
  OperationName = LoadMessageText(10400);
  SetCaption(OperationName);
  SetUpWindow(562, 131, poScreenCenter);
  auto group = new TGroupFrame(this);
  group->SetBounds(10, 5, 542, 89);
  group->SetParent(this);
  PathLabel = new THanPathLabel(this);
  PathLabel->SetBounds(25, 20, 512, 16);
  PathLabel->SetInfo(LoadMessageText(10405));
  PathLabel->SetParent(this);
  NameLabel = AddLabel(25, 42, 400, false);
  NameLabel->SetEllipsis(true);
  CountLabel = AddLabel(426, 42, 110, true);
  Bar = AddBar(25, 55, RGB(236, 83, 74), RGB(249, 200, 198));
  PercentLabel = AddLabel(437, 73, 100, true);
  CancelBtn = AddCancelButton(472, 102);
  group->SendToBack();
}

TDeleteForm::~TDeleteForm() = default;

void TDeleteForm::AddItem(const std::wstring& fullPath, const std::wstring& shortName, int32_t fileCount,
                          int32_t attr) {
  auto item = std::make_unique<TDelItem>();
  item->FullPath = ExcludeTrailingBackslash(fullPath);
  item->ShortName = FilePart(shortName);
  item->Attr = attr;
  if (fileCount <= 0) {
    if (Recycle || !(attr & FILE_ATTRIBUTE_DIRECTORY) || IsFolderLink(item->FullPath)) {
      fileCount = 1;
    } else {
      HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
      fileCount = 0;
      TFolderEnum walk(item->FullPath, TFolderEnum::Recursive | TFolderEnum::LargeFetch);
      for (const WIN32_FIND_DATAW& fd : walk)
        if (!TFolderEnum::IsFolderData(fd) && !(fd.dwFileAttributes & 0x08)) ++fileCount;
      SetCursor(old);
    }
  }
  FTotalFiles += fileCount;
  FItems.push_back(std::move(item));
}

int TDeleteForm::Execute() {
  if (!Recycle) return TOperationForm::Execute();
  HWND active = GetActiveWindow();
  FModalResult = mrNone;
  RecycleItems();
  if (active && IsWindow(active)) {
    SetActiveWindow(active);
    SetForegroundWindow(active);
  }
  return FModalResult;
}

void TDeleteForm::RunOperation() { DeleteItems(); }

// ---- Descriptions and the tree cache ----

THanDescMan* TDeleteForm::Descriptions(const std::wstring& folder) {
  std::wstring key = UpperCase(IncludeTrailingBackslash(folder));
  auto it = FDescs.find(key);
  if (it != FDescs.end()) return it->second.get();
  auto made = std::make_unique<THanDescMan>(folder);
  THanDescMan* p = made.get();
  FDescs[key] = std::move(made);
  return p;
}

TMCDTreeMan* TDeleteForm::Tree(const std::wstring& path) {
  std::wstring root = ExcludeTrailingBackslash(ExtractPathRoot(path));
  if (FTree && !SameTextI(FTree->Root, root)) FTree.reset();
  if (!FTree) FTree = std::make_unique<TMCDTreeMan>(FHandle, ExtractParentDir(path));
  return FTree.get();
}

void TDeleteForm::ItemRemoved(const TDelItem& item) {
  if (item.Attr & FILE_ATTRIBUTE_DIRECTORY) Tree(item.FullPath)->DeleteFolder(item.FullPath);
  std::wstring folder = FolderPart(item.FullPath);
  Descriptions(folder)->Delete(FilePart(item.FullPath), item.ShortName);
  if (IsDescriptionFile(item.FullPath)) FDescFileGone.push_back(UpperCase(folder));
  Changed = true;
}

void TDeleteForm::FinishDescriptions() {
  for (auto& [key, desc] : FDescs) {
    // The user deleted the descriptions file itself: it is not written back.
    if (std::find(FDescFileGone.begin(), FDescFileGone.end(), key) != FDescFileGone.end())
      desc->Modified = false;
  }
  FDescs.clear();  // each object writes its file when modified
  FDescFileGone.clear();
  FTree.reset();
}

// ---- To the recycle bin ----

void TDeleteForm::RecycleItems() {
  Changed = false;
  if (FItems.empty()) return;
  std::wstring list;
  for (const auto& item : FItems) {
    list += item->FullPath;
    list += L'\0';
  }
  list += L'\0';
  LeaveCurrentFolder();
  SHFILEOPSTRUCTW op{};
  op.hwnd = GetActiveWindow();
  op.wFunc = FO_DELETE;
  op.pFrom = list.c_str();
  op.fFlags = FOF_ALLOWUNDO;
  int r = ShellFileOperation(op);
  FModalResult = r == 0 && !op.fAnyOperationsAborted ? 1 : 2;
  // Whatever the shell removed, also when it stopped half way, is reflected.
  for (const auto& item : FItems)
    if (!Exists(item->FullPath)) ItemRemoved(*item);
  FinishDescriptions();
  if (TForm* main = Application().MainForm; main && main->HandleAllocated()) ::SetFocus(main->Handle());
}

// ---- For good ----

void TDeleteForm::DeleteItems() {
  Changed = false;
  ResetRunState();
  BeginTitle();
  if (LowColorScreen) Bar->SetGradientBar(false);
  FFilesDone = 0;
  FFilesTotal = FTotalFiles;
  FProtectedAnswer = FFolderAnswer = daYes;
  FErrorAnswer = 0;
  Pump();
  LeaveCurrentFolder();
  bool stopped = false;
  for (const auto& owned : FItems) {
    const TDelItem& item = *owned;
    FPassedOver = false;
    ShowDeleteProgress(item.FullPath, true);
    bool failed = false;
    if (item.Attr & FILE_ATTRIBUTE_DIRECTORY) {
      TFolderResult r = frKept;
      if (IsFolderLink(item.FullPath)) {
        ++FFilesDone;
        r = RemoveEmptyFolder(item.FullPath, GetFileAttributesW(item.FullPath.c_str()));
      } else {
        int answer = FFolderAnswer;
        if (answer != daAll && !IsFolderEmpty(item.FullPath, true)) {
          answer = MessageBoxStd(LoadMessageText(10408), FormatText(LoadMessageText(10411), {item.FullPath}),
                                 LoadMessageText(10409), 4, daYes, daCancel);
          if (answer < 0) answer = daCancel;
          if (answer == daAll) FFolderAnswer = daAll;
        }
        if (answer == daCancel)
          r = frStop;
        else if (answer != daNo)
          r = DeleteFolderRecursive(item.FullPath);
      }
      failed = r == frStop;
    } else {
      failed = !DeleteOneFile(item.FullPath, item.Attr);
    }
    if (!Exists(item.FullPath)) ItemRemoved(item);
    if ((failed && !FPassedOver) || Stopped() || FModalResult != mrNone) {
      stopped = true;
      break;
    }
  }
  FinishDescriptions();
  FModalResult = stopped ? 1 : 2;
  EndTitle();
}

bool TDeleteForm::AskDeleteError(const std::wstring& text) {
  FPassedOver = true;
  if (FErrorAnswer == 1) return true;
  if (FErrorAnswer == 2) {
    FPassedOver = false;
    return false;
  }
  int answer = MessageBoxStd(L"", text, LoadMessageText(10509), 2, 0, 2);
  if (answer == 1) FErrorAnswer = 1;
  if (answer == 0 || answer == 1) return true;
  FErrorAnswer = 2;
  FPassedOver = false;
  return false;
}

bool TDeleteForm::DeleteOneFile(const std::wstring& path, int32_t attr) {
  if (CheckCancel(FFilesTotal > 0 && FFilesDone >= FFilesTotal)) return false;
  ++FFilesDone;
  FFilesTotal = std::max(FFilesTotal, FFilesDone);
  if (FProtectedAnswer != daAll && (attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
    int kind = (attr & FILE_ATTRIBUTE_READONLY) ? 32107 : (attr & FILE_ATTRIBUTE_SYSTEM) ? 32109 : 32108;
    ShowDeleteProgress(path, true);
    int answer = MessageBoxStd(LoadMessageText(10407), FormatText(LoadMessageText(10406), {path, LoadMessageText(kind)}),
                               LoadMessageText(10409), 4, daYes, daCancel);
    if (answer < 0 || answer == daCancel) {
      FErrorAnswer = 2;
      return false;
    }
    if (answer == daNo) return true;
    if (answer == daAll) FProtectedAnswer = daAll;
  }
  bool stripped = false;
  if (attr & FILE_ATTRIBUTE_READONLY) stripped = SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE) != FALSE;
  if (DeleteFileW(path.c_str())) return true;
  DWORD error = GetLastError();
  if (stripped) SetFileAttributesW(path.c_str(), static_cast<DWORD>(attr));
  return AskDeleteError(FormatText(LoadMessageText(10410), {path}) + L"\r\r<D>" + SystemErrorText(error));
}

TDeleteForm::TFolderResult TDeleteForm::RemoveEmptyFolder(const std::wstring& path, DWORD attr) {
  if (SamePath(GetCurrentDir(), path)) SetCurrentDirectoryW(ExtractPathRoot(path).c_str());
  bool stripped = false;
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
    stripped = SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
  if (RemoveDirectoryW(path.c_str())) return frDeleted;
  DWORD error = GetLastError();
  if (stripped) SetFileAttributesW(path.c_str(), attr);
  return AskDeleteError(FormatText(LoadMessageText(4152), {path}) + L"\r\r<D>" + SystemErrorText(error)) ? frKept
                                                                                                          : frStop;
}

TDeleteForm::TFolderResult TDeleteForm::DeleteFolderRecursive(const std::wstring& path) {
  std::vector<TFolderEntry> entries = ListFolderEntries(path);
  std::wstring prefix = IncludeTrailingBackslash(path);
  bool kept = false;
  for (const TFolderEntry& e : entries) {
    if (e.Attr & (FILE_ATTRIBUTE_DIRECTORY | 0x08)) continue;
    if (CheckCancel(FFilesTotal > 0 && FFilesDone >= FFilesTotal)) return frStop;
    ShowDeleteProgress(prefix + e.Name, false);
    if (!DeleteOneFile(prefix + e.Name, static_cast<int32_t>(e.Attr))) {
      if (!FPassedOver || Stopped()) return frStop;
      kept = true;
    } else if (Exists(prefix + e.Name)) {
      kept = true;
    }
  }
  for (const TFolderEntry& e : entries) {
    if (!(e.Attr & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (CheckCancel(FFilesTotal > 0 && FFilesDone >= FFilesTotal)) return frStop;
    TFolderResult r = e.IsLink() ? RemoveEmptyFolder(prefix + e.Name, e.Attr & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT))
                                 : DeleteFolderRecursive(prefix + e.Name);
    if (r == frStop) return frStop;
    if (r == frKept) kept = true;
  }
  // Something below stays (kept by an answer or passed over after an error): so does the folder.
  if (kept) return frKept;
  return RemoveEmptyFolder(path, GetFileAttributesW(path.c_str()));
}

void TDeleteForm::ShowDeleteProgress(const std::wstring& path, bool force) {
  PathLabel->SetPath(FolderPart(path));
  if (force || FFilesDone <= 10 || FFilesTotal < 50 || FFilesDone % 3 == 0 || FFilesDone >= FFilesTotal)
    NameLabel->SetCaption(FilePart(path));
  int percent = FFilesTotal > 0 ? static_cast<int>(std::min<int64_t>(100, int64_t{FFilesDone} * 100 / FFilesTotal)) : 0;
  Bar->SetPosition(percent);
  PercentLabel->SetCaption(FormatThousands(Bar->Position()) + L"%");
  CountLabel->SetCaption(L"(" + std::to_wstring(FFilesDone) + L"/" + std::to_wstring(FFilesTotal) + L")");
  SetCaption(OperationName);
  ShowPercent(percent);
  Pump();
}

// ---- The command ----

namespace {
// Nothing is deleted for good without the user's yes: one item is named, several are counted.
bool ConfirmPermanentDelete(size_t count, const std::wstring& firstPath) {
  std::wstring text = count == 1 ? FormatText(LoadMessageText(10404), {firstPath}) : LoadMessageText(10803);
  return MessageBoxStd(LoadMessageText(10401), text,
                       StdButtonsYesNo.empty() ? LoadMessageText(9) + L"|" + LoadMessageText(10) : StdButtonsYesNo, 4,
                       Options.DeleteAtYes ? 0 : 1, 1) == 0;
}
}  // namespace

bool DeleteListItems(TMFList& list, bool permanent) {
  std::vector<int> picked = ItemsToProcess(list);
  if (picked.empty() || !list.ArcFileName.empty()) return false;
  std::wstring folder = IncludeTrailingBackslash(list.Path);
  if (permanent && !ConfirmPermanentDelete(picked.size(), folder + list.ItemName(picked[0]))) return false;
  TDeleteForm form(nullptr);
  form.Recycle = !permanent;
  for (int index : picked) {
    const TFileBoxItem& item = *list.GetItem(index);
    bool isFolder = item.Kind == ikFolder;
    int32_t count = isFolder ? (item.Size >= 0 && item.FileCount > 0 ? static_cast<int32_t>(item.FileCount) : -1) : 1;
    form.AddItem(folder + list.ItemName(index), item.ShortName, count,
                 item.Attr | (isFolder ? FILE_ATTRIBUTE_DIRECTORY : 0));
  }
  form.Execute();
  return form.Changed;
}

bool DeleteFolderPath(const std::wstring& folderPath, bool permanent) {
  const std::wstring path = ExcludeTrailingBackslash(folderPath);
  const DWORD attr = path.empty() || IsPathRoot(folderPath) ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (permanent && !ConfirmPermanentDelete(1, path)) return false;
  TDeleteForm form(nullptr);
  form.Recycle = !permanent;
  form.AddItem(path, PathFilePart(GetShortPath(path)), -1, static_cast<int32_t>(attr));
  form.Execute();
  return form.Changed;
}

void InstallDeleteCommand() {
  // The folder manager deletes its folders through the same job.
  TMCD::FolderDeleter = [](HWND, const std::wstring& path, const std::wstring& shortName, bool recycle) {
    TDeleteForm form(nullptr);
    form.Recycle = recycle;
    form.AddItem(path, shortName, recycle ? 1 : -1, FILE_ATTRIBUTE_DIRECTORY);
    form.Execute();
    return form.Changed;
  };
  RegisterCommand(1003, [](TQ7XForm& form, TShiftState shift) {
    TMFList* list = form.ActiveList();
    if (!list) return;
    if (!list->ArcFileName.empty()) {
      form.CommandNotBuilt(1003);
      return;
    }
    bool permanent = (shift & ssShift) != 0 || Options.NotUseRecycled;
    if (!DeleteListItems(*list, permanent)) return;
    // Both panels may show the folder.
    if (TPanelView* p = form.ActivePanel()) p->Reread();
    if (TPanelView* p = form.OtherPanel()) p->Reread();
  });
}
