#include "foldermgr/MCD.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>

#include "fileops/CopyDlg.h"
#include "foldermgr/MCDTree.h"
#include "foundation/Context.h"
#include "foundation/FileIO.h"
#include "foundation/HanPopup.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "framework/Forms.h"
#include "framework/StringList.h"
#include "panels/MDescMan.h"
#include "panels/PanelDrop.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "framework/FolderEnum.h"
#include "framework/TextCompare.h"

namespace {
struct TScan {
  std::vector<TMCDScanItem>& Items;
  const std::function<bool(const std::vector<TMCDScanItem>&)>& Progress;
  bool Recursive;
  bool Stopped = false;

  bool Ask() {
    if (!Stopped && Progress && !Progress(Items)) Stopped = true;
    return !Stopped;
  }

  void Folder(const std::wstring& folder, int32_t parentDepth, int32_t parentIndex) {
    struct TEntry {
      std::wstring Name;
      bool Link;
    };
    std::vector<TEntry> found;
    TFolderEnum list(folder, TFolderEnum::LargeFetch);
    for (const WIN32_FIND_DATAW& fd : list) {
      if (TFolderEnum::IsFolderData(fd)) found.push_back({fd.cFileName, TFolderEnum::IsLinkData(fd)});
      if (!Ask()) break;
    }
    std::sort(found.begin(), found.end(),
              [](const TEntry& a, const TEntry& b) { return CompareTextI(a.Name, b.Name) < 0; });
    for (size_t i = 0; i < found.size() && !Stopped; ++i) {
      TMCDScanItem item;
      item.Name = found[i].Name;
      item.Path = folder + found[i].Name;
      item.Depth = parentDepth + 1;
      item.ParentIndex = parentIndex;
      item.FirstChild = i == 0;
      item.LastChild = i + 1 == found.size();
      Items.push_back(std::move(item));
      int32_t index = static_cast<int32_t>(Items.size() - 1);
      if (!Ask()) break;
      if (Recursive && !found[i].Link && parentDepth + 1 < MaxTreeDepth)
        Folder(Items[static_cast<size_t>(index)].Path + L"\\", parentDepth + 1, index);
    }
  }
};
}  // namespace

bool ScanFolderTree(const std::wstring& drive, bool recursive, std::vector<TMCDScanItem>& items,
                    const std::function<bool(const std::vector<TMCDScanItem>& items)>& progress) {
  items.clear();
  std::wstring d = ExcludeTrailingBackslash(drive);
  int depth = GetPathDepth(d);
  if (d.empty() || !(depth == 0 ? DriveOrShareExists(d + L"\\") : FolderExists(d))) return false;
  TMCDScanItem first;
  first.Path = d;
  first.Depth = depth;
  first.FirstChild = first.LastChild = true;
  if (depth > 0) {
    first.Name = d.substr(d.rfind(L'\\') + 1);
  } else if (IsUncPath(d)) {
    first.Name = d.substr(d.rfind(L'\\') + 1);
    first.ImageIndex = -1;
  } else {
    first.Name = d;
  }
  items.push_back(first);
  TScan scan{items, progress, recursive};
  scan.Folder(d + L"\\", depth, 0);
  return true;
}

TReScanForm::TReScanForm(TComponent* owner) : TWaitingModalForm(owner) {
  SetInfoText(LoadMessageText(5017));
}

void TReScanForm::Work() {
  SetCaption(LoadMessageText(5018) + L" " + Drive);
  DWORD last = GetTickCount();
  FReturn = ScanFolderTree(Drive, Recursive, FItems, [this, &last](const std::vector<TMCDScanItem>& items) {
    // The window is kept alive a few times a second; pumping after every entry would cost more
    // than the walk itself.
    DWORD now = GetTickCount();
    if (now - last >= 50) {
      last = now;
      if (items.size() > 1) SetSubText(items.back().Name + L"\r" + std::to_wstring(items.size() - 1));
      Application().ProcessMessages();
    }
    return !NowStop;
  });
}

bool ReScanDriveTree(TComponent* owner, const std::wstring& path) {
  std::wstring root = ExcludeTrailingBackslash(ExtractPathRoot(path));
  if (root.empty()) return false;
  TReScanForm form(owner);
  form.Drive = root;
  form.ExecuteModal();
  if (!form.Return()) return false;
  std::vector<TTreeFileLine> lines;
  lines.reserve(form.Items().size());
  for (const TMCDScanItem& item : form.Items()) lines.push_back({item.Depth, item.Name});
  auto* control = dynamic_cast<TControl*>(owner);
  TMCDTreeMan tree(control ? control->Handle() : nullptr, root);
  tree.ReplaceAll(lines);
  return true;
}

// ---- The folder manager ----


namespace {
// A message text with its "%S" marks filled in order.
std::wstring MessageWith(int id, std::initializer_list<std::wstring> values) {
  std::wstring text = LoadMessageText(id);
  size_t from = 0;
  for (const std::wstring& v : values) {
    size_t at = text.find(L"%S", from);
    if (at == std::wstring::npos) break;
    text.replace(at, 2, v);
    from = at + v.size();
  }
  return text;
}

std::wstring LastName(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool IsInsideOrSame(const std::wstring& folder, const std::wstring& path) {
  return StartsText(folder + L"\\", path + L"\\");
}

struct THourglass {
  HCURSOR Old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  ~THourglass() { SetCursor(Old); }
};

// The shell's delete of one folder; the tree cache and the parent's descriptions follow.
bool ShellDeleteFolder(HWND owner, const std::wstring& path, const std::wstring& shortName, bool recycle) {
  std::wstring list = path + L'\0' + L'\0';
  SetCurrentDirectoryW(L"C:\\");
  SHFILEOPSTRUCTW op{};
  op.hwnd = owner;
  op.wFunc = FO_DELETE;
  op.pFrom = list.c_str();
  // A permanent delete was confirmed by the caller; the recycle bin asks its own question.
  op.fFlags = recycle ? FOF_ALLOWUNDO : static_cast<FILEOP_FLAGS>(FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT);
  SHFileOperationW(&op);
  if (FolderExists(path)) return false;
  {
    TMCDTreeMan tree(owner, path);
    tree.DeleteFolder(path);
  }
  THanDescMan desc(IncludeTrailingBackslash(ExtractParentDir(path)));
  desc.Delete(LastName(path), shortName);
  return true;
}
}  // namespace

bool ValidFolderName(const std::wstring& name) {
  if (name.empty() || name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) return false;
  for (wchar_t c : name)
    if (c < L' ') return false;
  return name.find_first_not_of(L". ") != std::wstring::npos;
}

std::function<std::wstring(const std::wstring& path, const std::wstring& caption)> TMCD::DriveChooser;
std::function<bool(HWND owner, const std::wstring& path, const std::wstring& shortName, bool recycle)>
    TMCD::FolderDeleter;

TMCD::TMCD(TComponent* owner) : TCustomMCD(owner) {
  FDropIn = new TDropFileTarget(this);
  FDropIn->DragTypes = dtCopy | dtMove | dtLink;
  FDropIn->ScrollSpeed = 70;
  FDropIn->GetDataOnEnter = true;
  FDropIn->OnEnter = [this](TShiftState, POINT, DWORD&) { DropEnter(); };
  FDropIn->OnGetDropEffect = [this](TShiftState shift, POINT p, DWORD& effect) { DropOver(shift, p, effect); };
  FDropIn->OnLeave = [this] { SetDropTarget(-1); };
  FDropIn->OnDrop = [this](TShiftState, POINT p, DWORD& effect) { DropFiles(p, effect); };
  FDragImages.reset(ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1));
  SHFILEINFOW info{};
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  if (SHGetFileInfoW(windows, 0, &info, sizeof info, SHGFI_ICON | SHGFI_LARGEICON) && info.hIcon) {
    const TIconHandle icon(info.hIcon);
    ImageList_AddIcon(FDragImages.get(), icon.get());
  }
  FDragOut = new TDropFileSource(this);
  FDragOut->DragTypes = dtCopy | dtMove | dtLink;
  FDragOut->SetImages(FDragImages.get());
  FDragOut->SetImageIndex(0);
  FHoldTimer = new TTimer(this);
  FHoldTimer->SetEnabled(false);
  FHoldTimer->SetInterval(500);
  FHoldTimer->OnTimer = [this](TComponent*) {
    FHoldTimer->SetEnabled(false);
    if (FHandle && GetKeyState(VK_RBUTTON) < 0 && GetKeyState(VK_LBUTTON) >= 0 && GetKeyState(VK_MBUTTON) >= 0) {
      FHeldMenu = true;
      ShowMenuAt(FDownPos.x, FDownPos.y, false, true);
    }
  };
}

TMCD::~TMCD() {
  // No drop may reach a view that is going away.
  FDropIn->SetTargetWindow(nullptr);
}

HWND TMCD::OwnerWnd() const {
  TForm* form = GetParentForm(this);
  return form ? form->Handle() : FHandle;
}

// ---- Loading ----

int TMCD::ReadTreeFile(const std::wstring& rootPath) {
  std::wstring file = GetTreeFileName(OwnerWnd(), rootPath + L"\\");
  if (file.empty()) return 1;
  THourglass wait;
  std::string bytes;
  if (!ReadFileBytes(file, bytes) || bytes.empty()) return 2;
  BeginUpdate();
  ClearItems();
  TTreeFileText tree;
  TTreeFileRead read = ParseTreeFile(bytes, tree, FEncoding);
  bytes.clear();
  int result = 2;
  if (read == TTreeFileRead::Ok && !tree.Entries.empty()) {
    // The index of the last folder read at each depth.
    std::vector<size_t> slots(MaxTreeDepth + 1, 0);
    FItems.reserve(tree.Entries.size());
    for (const TTreeFileEntry& line : tree.Entries) {
      TMCDItem item;
      item.Depth = line.Depth;
      if (line.Depth == 0) {
        item.Name = IsUncPath(rootPath) ? LastName(rootPath) : rootPath;
        item.Path = rootPath;
        item.ImageIndex = Images ? GetDriveIcon(rootPath) : 0;
        RootColumnWidth(item.Name);
      } else {
        const std::wstring& parent = FItems[slots[static_cast<size_t>(line.Depth - 1)]].Path;
        std::wstring_view name = tree.Name(line);
        item.Path.reserve(parent.size() + 1 + name.size());
        item.Path = parent;
        item.Path += L'\\';
        item.Path += name;
        item.Name = name;
      }
      slots[static_cast<size_t>(item.Depth)] = FItems.size();
      FItems.push_back(std::move(item));
    }
    RootPath = rootPath;
    FItemIndex = 0;
    Relayout();
    result = 0;
  } else if (read == TTreeFileRead::Damaged) {
    ClearItems();
    EndUpdate();
    ShowErrorBox(LoadMessageText(5015));
    return 2;
  }
  EndUpdate();
  return result;
}

bool TMCD::WriteTreeFile() {
  Relayout();
  std::wstring file = GetTreeFileName(OwnerWnd(), RootPath + L"\\");
  if (Count() < 3) {
    if (file.empty() || !FileExistsPlain(file)) return true;
    if (FileSetArchiveOnly(file) && DeleteFilePlain(file)) return true;
    ShowErrorBox(SystemErrorText(GetLastError()));
    return false;
  }
  if (file.empty()) return false;
  size_t text = 0;
  for (const TMCDItem& item : FItems) text += item.Name.size();
  TTextEncoding encoding = FEncoding;
  TTreeFileBuilder builder(RootPath, FItems.size(), encoding, text);
  for (const TMCDItem& item : FItems) builder.Add(item.Depth, item.Name);
  return WriteTreeFileBytes(file, builder.Finish(encoding));
}

int TMCD::GetDriveIcon(const std::wstring& root) {
  if (!Images) return -1;
  while (ImageList_GetImageCount(Images) > 1) ImageList_Remove(Images, ImageList_GetImageCount(Images) - 1);
  SHFILEINFOW info{};
  if (!SHGetFileInfoW(IncludeTrailingBackslash(root).c_str(), 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON) ||
      !info.hIcon)
    return 0;
  const TIconHandle icon(info.hIcon);
  int index = ImageList_AddIcon(Images, icon.get());
  return index < 0 ? 0 : index;
}

void TMCD::TakeScan(std::vector<TMCDItem>&& items, const std::wstring& rootPath) {
  THourglass wait;
  BeginUpdate();
  RootPath = rootPath;
  RememberSelection();
  ClearItems();
  if (!items.empty()) {
    if (Images) items[0].ImageIndex = GetDriveIcon(rootPath);
    RootColumnWidth(items[0].Name);
  }
  FItems = std::move(items);
  Relayout();
  WriteTreeFile();
  RestoreSelection();
  EndUpdate();
}

bool TMCD::ReScanDrive(const std::wstring& rootPath) {
  TReScanForm form(GetParentForm(this));
  form.Drive = rootPath;
  form.ExecuteModal();
  if (!form.Return()) return false;
  TakeScan(form.TakeItems(), rootPath);
  return true;
}

bool TMCD::ReScanBranch(int index, const std::wstring& pathIn, bool recursive) {
  std::wstring path = ExcludeTrailingBackslash(pathIn);
  TReScanForm form(GetParentForm(this));
  form.Drive = path;
  form.Recursive = recursive;
  form.ExecuteModal();
  if (!form.Return()) return false;
  std::vector<TMCDItem> items = form.TakeItems();
  if (!recursive) {
    TStringList names;
    for (size_t i = 1; i < items.size(); ++i) names.Add(items[i].Name);
    {
      TMCDTreeMan tree(OwnerWnd(), path + L"\\");
      tree.SyncChildren(path + L"\\", names);
    }
    Reload();
    return true;
  }
  if (index == 0) {
    TakeScan(std::move(items), RootPath);
    return true;
  }
  THourglass wait;
  BeginUpdate();
  RememberSelection();
  int at = index;
  if (index > 0 && index < Count()) {
    int end = index + 1;
    while (end < Count() && IsInsideOrSame(path, Item(end).Path)) ++end;
    FItems.erase(FItems.begin() + index, FItems.begin() + end);
  } else if (index < 0) {
    at = InsertIndexFor(path);
  }
  at = std::clamp(at, 0, Count());
  FItems.insert(FItems.begin() + at, std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  Relayout();
  WriteTreeFile();
  RestoreSelection();
  EndUpdate();
  return true;
}

void TMCD::RestoreAfterReload(const std::wstring& remembered) {
  FTopItem = 0;
  Relayout();
  int index = FindItem(remembered);
  if (index < 0) index = FindItem(ExtractParentDir(remembered));
  if (index < 0) index = FindItem(DefaultFolder);
  if (index < 0 && Count() > 0) index = 0;
  FItemIndex = -1;
  SetItemIndex(index);
  EnsureVisible(true);
  SetSearchText(L"");
}

bool TMCD::Reload() {
  std::wstring remembered = GetSelectedPath();
  int r = ReadTreeFile(RootPath);
  bool ok = r == 0 || (r == 2 && ReScanDrive(RootPath));
  if (ok) RestoreAfterReload(remembered);
  InvalidateAll();
  return ok;
}

bool TMCD::LoadDrive(const std::wstring& pathIn, const std::wstring& selectPath) {
  if (pathIn.empty()) return false;
  std::wstring root = ExcludeTrailingBackslash(ExtractPathRoot(pathIn));
  if (root.empty()) return false;
  if (Options.MCDItemWidth != 0) {
    UserWidth = true;
    ApplyItemWidth(std::clamp(Options.MCDItemWidth, 1, 400));
  } else {
    ApplyItemWidth(0);
  }
  bool fromFile = false;
  if (!(SameTextI(root, RootPath) && !selectPath.empty() && Count() > 0)) {
    int r = ReadTreeFile(root);
    if (r == 0) {
      fromFile = true;
    } else if (r == 2) {
      if (!ReScanDrive(root)) return false;
    } else {
      return false;
    }
  }
  bool missing = false;
  {
    THourglass wait;
    BeginUpdate();
    FTopItem = 0;
    std::wstring dir;
    CurrentDirs.GetDir(root + L"\\", dir);
    dir = ExcludeTrailingBackslash(dir);
    int index = FindItem(dir);
    if (index < 0 && fromFile && !dir.empty() && FindOrScan(dir)) index = FindItem(dir);
    if (index >= 0) {
      DefaultFolder = dir;
      Relayout();
      SetItemIndex(index);
      EnsureVisible(true);
    }
    if (!selectPath.empty()) {
      std::wstring want = ExcludeTrailingBackslash(selectPath);
      index = FindItem(want);
      if (index < 0 && FolderExists(want) && FindOrScan(want)) index = FindItem(want);
      if (index >= 0) {
        SetItemIndex(index);
        EnsureVisible(true);
      } else {
        missing = true;
      }
    }
    if (FItemIndex < 0 && Count() > 0) SetItemIndex(0);
    EndUpdate();
    EnsureVisible(true);
  }
  if (missing) ShowErrorBox(MessageWith(4151, {selectPath}));
  SetSearchText(L"");
  return true;
}

int TMCD::FindItem(const std::wstring& pathIn) const {
  std::wstring path = ExcludeTrailingBackslash(pathIn);
  if (path.empty() || !SameTextI(ExcludeTrailingBackslash(ExtractPathRoot(path)), RootPath)) return -1;
  for (int i = 0; i < Count(); ++i)
    if (SameTextI(Item(i).Path, path)) return i;
  return -1;
}

void TMCD::SelectPath(const std::wstring& path) {
  int index = FindItem(path);
  if (index < 0) return;
  SetItemIndex(index);
  UpdateScrollBars();
  EnsureVisible(true);
}

int TMCD::InsertIndexFor(const std::wstring& path) const {
  std::wstring parent = ExtractParentDir(path);
  if (parent.empty()) parent = path;
  int p = -1;
  for (int i = 0; i < Count() && p < 0; ++i)
    if (SameTextI(Item(i).Path, parent)) p = i;
  if (p < 0) return Count();
  const int depth = Item(p).Depth;
  for (int i = p + 1; i < Count(); ++i) {
    if (Item(i).Depth <= depth) return i;
    if (Item(i).Depth == depth + 1 && CompareTextI(Item(i).Path, path) >= 0) return i;
  }
  return Count();
}

bool TMCD::FindOrScan(const std::wstring& pathIn) {
  std::wstring path = ExcludeTrailingBackslash(pathIn);
  if (Count() <= 1 || !SameTextI(ExcludeTrailingBackslash(ExtractPathRoot(path)), RootPath)) return false;
  int depth = GetPathDepth(path);
  for (int n = depth - 1; n >= 1; --n)
    if (FindItem(ExtractPathLevels(path, n)) >= 0) return ReScanBranch(-1, ExtractPathLevels(path, n + 1), true);
  if (depth < 1) return false;
  return ReScanBranch(-1, ExtractPathLevels(path, 1), true);
}

// ---- Commands ----

void TMCD::Choose() {
  if (FItemIndex < 0 || FItemIndex >= Count()) return;
  std::wstring path = GetSelectedPath();
  if (FItemIndex == 0 ? !DriveOrShareExists(RootPath + L"\\") : !FolderExists(path)) {
    if (FItemIndex == 0) {
      ShowErrorBox(MessageWith(5013, {RootPath}));
      return;
    }
    ShowErrorBox(MessageWith(5014, {path}));
    // The vanished folder's run goes, and the nearest ancestor that still exists is read
    // again and written, so that the next Enter finds the tree as it is.
    int ancestor = Item(FItemIndex).ParentIndex;
    while (ancestor > 0 && !FolderExists(Item(ancestor).Path)) ancestor = Item(ancestor).ParentIndex;
    if (ancestor < 0 || !ReScanBranch(ancestor, Item(ancestor).Path, true)) RemoveSubList(path, true);
    InvalidateAll();
    return;
  }
  if (Mode != 0) {
    CopyMoveTo(path);
    return;
  }
  if (OnSelect && CheckPathReachable(OwnerWnd(), IncludeTrailingBackslash(path))) OnSelect(this, path);
}

void TMCD::Cancel() {
  if (Mode != 0)
    EndMode();
  else if (OnCancel)
    OnCancel(this);
}

void TMCD::GoTo(const std::wstring& path) {
  if (path.empty() || SameTextI(ExcludeTrailingBackslash(path), RootPath)) return;
  if (PathExistsAny(IncludeTrailingBackslash(path)))
    LoadDrive(path, L"");
  else
    Beep();
}

void TMCD::ChangeDrive() {
  std::wstring answer;
  if (DriveChooser) {
    answer = DriveChooser(RootPath, LoadMessageText(4201));
  } else {
    // Without the drive chooser: a menu of the drives present.
    THanPopupMenu menu(nullptr);
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      if (!(drives & (1u << i))) continue;
      std::wstring d = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":";
      TMenuItemRec& item = menu.Add(L"&" + d, [&answer, d](TMenuItemRec&) { answer = d; });
      item.Checked = SameTextI(d, RootPath);
    }
    POINT p{0, 0};
    if (FItemIndex >= 0 && FItemIndex < Count()) p = POINT{Item(FItemIndex).IconRect.left, Item(FItemIndex).Cell.bottom};
    p = ClientToScreen(p);
    menu.Popup(p.x, p.y, FHandle);
  }
  if (answer.empty()) return;
  if (answer[0] == L'>') {
    std::wstring folder = answer.substr(1);
    LoadDrive(folder, folder);
    return;
  }
  GoTo(answer);
}

void TMCD::Rescan(bool branch, bool oneLevel) {
  if (branch) {
    if (FItemIndex >= 0) ReScanBranch(FItemIndex, GetSelectedPath(), !oneLevel);
  } else if (MessageBoxStd(L"", MessageWith(5016, {RootPath}), StdButtonsYesNo, 4, 0, 1) == 0) {
    ReScanDrive(RootPath);
  }
  UpdateScrollBars();
  InvalidateAll();
}

void TMCD::RemoveSubList(const std::wstring& pathIn, bool withSelf) {
  std::wstring path = ExcludeTrailingBackslash(pathIn);
  int self = FindItem(path);
  if (self < 0) return;
  int start = withSelf ? self : self + 1;
  int end = start;
  while (end < Count() && IsInsideOrSame(path, Item(end).Path) && (withSelf || end > self)) ++end;
  if (start == 0 || end <= start) return;
  std::wstring selected = GetSelectedPath();
  BeginUpdate();
  FItems.erase(FItems.begin() + start, FItems.begin() + end);
  Relayout();
  WriteTreeFile();
  if (withSelf) {
    FTopItem = 0;
    int index = FindItem(selected);
    if (index < 0) index = FindItem(path.empty() ? path : ExtractParentDir(path));
    if (index < 0) index = FindItem(DefaultFolder);
    FItemIndex = -1;
    SetItemIndex(index < 0 && Count() > 0 ? 0 : index);
  } else {
    int index = FindItem(selected);
    FItemIndex = -1;
    SetItemIndex(index >= 0 ? index : std::min(self, Count() - 1));
  }
  EndUpdate();
  EnsureVisible(false);
}

bool TMCD::CheckRenameName(const std::wstring& initial, std::wstring& current) {
  std::wstring name = LastName(ExpandEnvStr(Trim(current), false));
  if (name.empty() || SameTextI(name, initial)) return true;
  if (!ValidFolderName(name)) {
    ShowErrorBox(SystemErrorText(ERROR_INVALID_NAME));
    return false;
  }
  if (PathExists(IncludeTrailingBackslash(FRenameFolder) + name)) {
    ShowErrorBox(MessageWith(32036, {name}));
    return false;
  }
  return true;
}

void TMCD::Rename() {
  if (Mode != 0 || FItemIndex < 1 || FItemIndex >= Count()) {
    Beep();
    return;
  }
  const int index = FItemIndex;
  const std::wstring oldPath = Item(index).Path, oldName = Item(index).Name;
  FRenameFolder = ExtractParentDir(oldPath);
  std::wstring value = oldName;
  if (!InputBoxCombo(LoadMessageText(32001), L"<P>" + oldPath + L"<>", L"MCD_RENAME", value,
                     [this](const std::wstring& initial, std::wstring& current) {
                       return CheckRenameName(initial, current);
                     },
                     L"", true))
    return;
  std::wstring newName = LastName(ExpandEnvStr(Trim(value), false));
  if (newName.empty() || newName == oldName || !ValidFolderName(newName)) return;
  const std::wstring newPath = IncludeTrailingBackslash(FRenameFolder) + newName;
  if (IsInsideOrSame(oldPath, ExcludeTrailingBackslash(GetCurrentDir()))) SetCurrentDirectoryW((RootPath + L"\\").c_str());
  if (!MoveFileW(oldPath.c_str(), newPath.c_str())) {
    DWORD error = GetLastError();
    ShowErrorBox(MessageWith(32061, {oldName, newName}) + L"||<D>" + SystemErrorText(error));
    return;
  }
  {
    THanDescMan desc(IncludeTrailingBackslash(FRenameFolder));
    std::wstring newShort = Options.DescShortRead && Options.DescShortWrite ? LastName(GetShortPath(newPath)) : L"";
    std::wstring oldShort;
    if (desc.SetNewName(oldName, oldShort, newName, newShort)) desc.ApplyRenames();
  }
  BeginUpdate();
  // The folder and its sub-folders take the new name and move to their sorted place.
  int end = index + 1;
  while (end < Count() && IsInsideOrSame(oldPath, Item(end).Path)) ++end;
  std::vector<TMCDItem> run(std::make_move_iterator(FItems.begin() + index), std::make_move_iterator(FItems.begin() + end));
  FItems.erase(FItems.begin() + index, FItems.begin() + end);
  run[0].Name = newName;
  run[0].TextWidth = -1;
  for (TMCDItem& item : run) item.Path = newPath + item.Path.substr(oldPath.size());
  int at = InsertIndexFor(newPath);
  FItems.insert(FItems.begin() + at, std::make_move_iterator(run.begin()), std::make_move_iterator(run.end()));
  Relayout();
  FItemIndex = at;
  WriteTreeFile();
  EndUpdate();
  EnsureVisible(false);
  Changed = true;
  if (OnChange) OnChange(this);
}

void TMCD::AddNewFolderItem(const std::wstring& path) {
  int at = InsertIndexFor(path);
  if (at < Count() && SameTextI(Item(at).Path, path)) {
    SetItemIndex(at);
    EnsureVisible(false);
    return;
  }
  TMCDItem item;
  item.Name = LastName(path);
  item.Path = path;
  item.Depth = GetPathDepth(path);
  item.ParentIndex = FItemIndex;
  BeginUpdate();
  InsertItem(at, std::move(item));
  Relayout();
  WriteTreeFile();
  FItemIndex = -1;
  SetItemIndex(at);
  EndUpdate();
  EnsureVisible(false);
}

void TMCD::NewFolder() {
  if (FItemIndex < 0 || FItemIndex >= Count()) {
    Beep();
    return;
  }
  const std::wstring folder = IncludeTrailingBackslash(GetSelectedPath());
  std::wstring value = MakeUniqueFileName(folder, LoadMessageText(32201), false);
  std::wstring name;
  if (!InputBoxCombo(LoadMessageText(32202), LoadMessageText(32203), L"MCD_NEWFOLD", value,
                     [](const std::wstring&, std::wstring& current) {
                       if (ValidFolderName(LastName(ExpandEnvStr(Trim(current), false)))) return true;
                       ShowErrorBox(SystemErrorText(ERROR_INVALID_NAME));
                       return false;
                     },
                     L"", true))
    return;
  name = LastName(ExpandEnvStr(Trim(value), false));
  if (!ValidFolderName(name)) return;
  const std::wstring path = folder + name;
  if (CreateDirectoryW(path.c_str(), nullptr)) {
    AddNewFolderItem(path);
  } else {
    DWORD error = GetLastError();
    if (PathExists(path)) {
      if (FolderExists(path)) AddNewFolderItem(path);
      ShowErrorBox(MessageWith(32204, {path}));
    } else {
      ShowErrorBox(MessageWith(32205, {name, SystemErrorText(error)}));
    }
  }
  InvalidateAll();
  Changed = true;
}

void TMCD::DeleteFolder(bool recycle) {
  if (Mode != 0 || FItemIndex < 1 || FItemIndex >= Count()) {
    Beep();
    return;
  }
  const std::wstring path = GetSelectedPath();
  if (!recycle && MessageBoxStd(LoadMessageText(10401), MessageWith(10404, {path}), StdButtonsYesNo, 4,
                                Options.DeleteAtYes ? 0 : 1, 1) != 0)
    return;
  std::wstring shortName = LastName(GetShortPath(path));
  bool deleted = FolderDeleter ? FolderDeleter(OwnerWnd(), path, shortName, recycle)
                               : ShellDeleteFolder(OwnerWnd(), path, shortName, recycle);
  Changed = true;
  Application().ProcessMessages();
  if (deleted) Reload();
}

// ---- The clipboard ----

void TMCD::CopyToClipboard(bool cut) {
  if (!CanEdit()) {
    Beep();
    return;
  }
  const std::wstring path = GetSelectedPath();
  // The file list: DROPFILES, then the path and two NULs (the block is zeroed).
  TGlobalMemHandle drop(GlobalAlloc(GHND, sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t)));
  TGlobalMemHandle effect(GlobalAlloc(GHND, sizeof(DWORD)));
  if (!drop || !effect) return;
  auto* files = static_cast<DROPFILES*>(GlobalLock(drop.get()));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), path.c_str(), path.size() * sizeof(wchar_t));
  GlobalUnlock(drop.get());
  *static_cast<DWORD*>(GlobalLock(effect.get())) = cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY | DROPEFFECT_LINK;
  GlobalUnlock(effect.get());
  if (!OpenClipboard(FHandle)) return;
  EmptyClipboard();
  // The clipboard owns what it took; what it refused is still ours to free.
  if (SetClipboardData(CF_HDROP, drop.get())) (void)drop.release();
  if (SetClipboardData(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT), effect.get())) (void)effect.release();
  CloseClipboard();
}

bool TMCD::CanPaste() const { return Mode == 0 && FItemIndex >= 0 && IsClipboardFormatAvailable(CF_HDROP); }

void TMCD::Paste() {
  if (!CanPaste() || !OpenClipboard(FHandle)) {
    Beep();
    return;
  }
  std::vector<std::wstring> files;
  DWORD effect = DROPEFFECT_COPY;
  if (HANDLE h = GetClipboardData(CF_HDROP)) {
    auto drop = static_cast<HDROP>(h);
    UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n && i < 100000; ++i) {
      UINT len = DragQueryFileW(drop, i, nullptr, 0);
      std::wstring f(len, L'\0');
      DragQueryFileW(drop, i, f.data(), len + 1);
      if (!f.empty()) files.push_back(f);
    }
  }
  if (HANDLE h = GetClipboardData(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT))) {
    if (GlobalSize(h) >= sizeof(DWORD)) {
      effect = *static_cast<DWORD*>(GlobalLock(h));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  if (files.empty()) return;
  const bool move = (effect & DROPEFFECT_MOVE) && !(effect & DROPEFFECT_COPY);
  const std::wstring target = GetSelectedPath() + L"\\";
  std::wstring common = ExtractParentDir(files[0]);
  for (const std::wstring& f : files)
    if (!SameTextI(ExtractParentDir(f), common)) common.clear();
  // Nothing goes into its own folder or into itself.
  if (!common.empty() && (SameTextI(IncludeTrailingBackslash(common), target) ||
                          IsSameOrSubPath(IncludeTrailingBackslash(files[0]), target, L"", false)))
    return;
  if (OnDrop && OnDrop(this, target, {}, files, move ? 1 : 0, !common.empty())) {
    if (move && OpenClipboard(FHandle)) {
      EmptyClipboard();
      CloseClipboard();
    }
    Reload();
  }
}

// ---- Drag and drop ----

void TMCD::EnableDrop() {
  FDropWanted = true;
  if (FHandle && FDropIn->TargetWindow() != FHandle) FDropIn->SetTargetWindow(FHandle);
}

// The window may be made after the drive was loaded, or made anew: it takes drops from then on.
void TMCD::HandleCreated() {
  TCustomMCD::HandleCreated();
  if (FDropWanted) FDropIn->SetTargetWindow(FHandle);
}

TDragResult TMCD::DragSelected() {
  if (Mode != 0 || FItemIndex < 1) return drCancel;
  const std::wstring path = GetSelectedPath();
  FDragOut->Files.Clear();
  FDragOut->MappedNames.Clear();
  FDragOut->Files.Add(path);
  const TDragResult result = FDragOut->Execute();
  FDragOut->Files.Clear();
  if (result == drMove) {
    RemoveSubList(path, true);
  } else if (result == drOutOfMemory) {
    ShowErrorBox(LoadMessageText(4124));
  } else if (result == drUnknown) {
    ShowErrorBox(LoadMessageText(4125));
  }
  return result;
}

void TMCD::DropEnter() {
  FAskOnDrop = AskOnDrop(FDropIn->RightButton());
  FCommonSource.clear();
  const TStringList& files = FDropIn->Files;
  if (files.Count() == 0) return;
  FCommonSource = ExtractParentDir(files[0]);
  for (int i = 1; i < files.Count(); ++i)
    if (!SameTextI(ExtractParentDir(files[i]), FCommonSource)) {
      FCommonSource.clear();
      break;
    }
}

void TMCD::DropOver(TShiftState shift, POINT point, DWORD& effect) {
  const int index = Mode == 0 ? HitTest(point.x, point.y) : -1;
  if (index != FDropTarget) {
    FDropIn->HideDragImage();
    SetDropTarget(index);
    UpdateWindow(FHandle);
    FDropIn->ShowDragImage();
  }
  if (index < 0) {
    effect = DROPEFFECT_NONE;
    return;
  }
  const DWORD allowed = FDropIn->SourceEffects();
  const bool sh = (shift & ssShift) != 0, ctrl = (shift & ssCtrl) != 0;
  if (sh && ctrl)
    effect = allowed & DROPEFFECT_LINK;
  else if (sh)
    effect = allowed & DROPEFFECT_MOVE;
  else if (ctrl)
    effect = allowed & DROPEFFECT_COPY;
  else if (!FCommonSource.empty() && SamePathRoot(FCommonSource, Item(index).Path) && (allowed & DROPEFFECT_MOVE))
    effect = DROPEFFECT_MOVE;
  else if (allowed & DROPEFFECT_COPY)
    effect = DROPEFFECT_COPY;
  else if (allowed & DROPEFFECT_MOVE)
    effect = DROPEFFECT_MOVE;
  else
    effect = allowed & DROPEFFECT_LINK;
}

void TMCD::DropFiles(POINT point, DWORD& effect) {
  const int index = Mode == 0 ? HitTest(point.x, point.y) : -1;
  SetDropTarget(-1);
  if (!OnDrop || index < 0 || FDropIn->Files.Count() == 0) {
    effect = DROPEFFECT_NONE;
    return;
  }
  const std::wstring target = IncludeTrailingBackslash(Item(index).Path);
  // Into the folder the files are in, or into a dragged folder itself or below it: nothing.
  if (!FCommonSource.empty() &&
      (SameTextI(IncludeTrailingBackslash(FCommonSource), target) ||
       IsSameOrSubPath(FCommonSource, target, LastName(ExcludeTrailingBackslash(FDropIn->Files[0])), false))) {
    effect = DROPEFFECT_NONE;
    return;
  }
  if (FAskOnDrop && effect) {
    effect = ChooseDropEffect(FHandle, ClientToScreen(point), effect, FDropIn->SourceEffects());
  }
  const int mode = effect == DROPEFFECT_COPY ? 0 : effect == DROPEFFECT_MOVE ? 1 : effect == DROPEFFECT_LINK ? 2 : -1;
  if (mode < 0) {
    effect = DROPEFFECT_NONE;
    return;
  }
  std::vector<std::wstring> files, names;
  for (int i = 0; i < FDropIn->Files.Count(); ++i) files.push_back(FDropIn->Files[i]);
  for (int i = 0; i < FDropIn->MappedNames.Count(); ++i) names.push_back(FDropIn->MappedNames[i]);
  FDropIn->Files.Clear();
  FDropIn->MappedNames.Clear();
  if (names.empty())
    std::sort(files.begin(), files.end(),
              [](const std::wstring& a, const std::wstring& b) { return CompareTextI(a, b) < 0; });
  if (OnDrop(this, target, names, files, mode, !FCommonSource.empty()))
    Reload();
  else
    effect = DROPEFFECT_NONE;
}

bool TMCD::CanProperties() const {
  if (!CanEdit()) return false;
  std::wstring path = GetSelectedPath();
  return !path.empty() && !(IsUncPath(path) && GetPathDepth(path) == 0);
}

void TMCD::Properties() {
  if (FItemIndex < 0 || FItemIndex >= Count()) {
    Beep();
    return;
  }
  std::wstring path = FItemIndex == 0 ? RootPath + L"\\" : GetSelectedPath();
  if (!ShowShellProperties(path, OwnerWnd())) Beep();
}

void TMCD::EnterMode(bool copy) {
  if (Mode != 0 || FItemIndex < 1 || FItemIndex >= Count()) {
    Beep();
    return;
  }
  TForm* form = GetParentForm(this);
  SavedCaption = form ? form->Caption() : L"";
  Mode = copy ? 1 : 2;
  ModeWord = LoadMessageText(copy ? 4113 : 4114);
  SetSource(GetSelectedPath() + L"\\");
  if (form) form->SetCaption(Source() + L" - " + ModeWord);
  Changed = true;
  if (OnChange) OnChange(this);
}

void TMCD::EndMode() {
  if (Mode == 0) return;
  Mode = 0;
  SetSource(L"");
  if (TForm* form = GetParentForm(this)) form->SetCaption(SavedCaption);
  if (OnChange) OnChange(this);
}

void TMCD::CopyMoveTo(const std::wstring& targetIn) {
  if (Mode == 0 || Source().empty()) {
    EndMode();
    return;
  }
  std::wstring target = IncludeTrailingBackslash(targetIn);
  if (StartsText(Source(), target)) {
    ShowErrorBox(MessageWith(5012, {ModeWord}));
    return;
  }
  std::wstring source = ExcludeTrailingBackslash(Source());
  {
    TCopyMoveForm job(GetParentForm(this));
    job.SourceFolder = IncludeTrailingBackslash(ExtractParentDir(source));
    job.TargetFolder = target;
    job.SingleSourceFolder = true;
    job.IsCopy = Mode == 1;
    SYSTEMTIME now;
    GetLocalTime(&now);
    job.AddItem(LastName(source), LastName(GetShortPath(source)), -1, FILE_ATTRIBUTE_DIRECTORY,
                EncodeDateTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond), 0);
    job.Execute();
  }
  EndMode();
  Reload();
}

void TMCD::ApplyItemWidth(int width) {
  Indent = Images ? 18 : 14;
  ComputeMetrics();
  if (!UserWidth || width == 0) {
    TScreenDC screen;
    HGDIOBJ old = SelectObject(screen.Handle(), Font.Handle());
    SIZE a{}, b{};
    GetTextExtentPoint32W(screen.Handle(), L"My Documents", 12, &a);
    GetTextExtentPoint32W(screen.Handle(), L"Program Files", 13, &b);
    SelectObject(screen.Handle(), old);
    SetColumnWidth(std::max(a.cx, b.cx) + Indent + (Images ? 20 : 4));
  } else if (width != -1) {
    SetColumnWidth(width);
  }
}

void TMCD::AdjustSize(bool width, int step) {
  bool changed = false;
  if (width) {
    if (step == 0) {
      if (UserWidth) {
        UserWidth = false;
        Options.MCDItemWidth = 0;
        int old = ColumnWidth();
        ApplyItemWidth(0);
        changed = old != ColumnWidth() || true;
      }
    } else {
      UserWidth = true;
      int w = std::clamp(ColumnWidth() + (step == 1 ? 10 : -10), 50, 400);
      changed = w != ColumnWidth();
      Options.MCDItemWidth = w;
      SetColumnWidth(w);
    }
  } else if (step != 0) {
    int h = std::clamp(Options.McdItemHeight + (step == 1 ? 1 : -1), 0, 15);
    changed = h != Options.McdItemHeight;
    Options.McdItemHeight = h;
    ComputeMetrics();
    if (Count() > 0) RootColumnWidth(Item(0).Name);
  }
  if (!changed) {
    Beep();
    return;
  }
  EnsureVisible(false);
  UpdateScrollBars();
  InvalidateAll();
}

void TMCD::ShowMenuAt(int x, int y, bool middle, bool fromHold) {
  TShiftState keys = KeyboardShiftState();
  enum { none, own, shell } c = (keys & ssShift) ? own : (keys & ssCtrl) ? shell : none;
  if (fromHold) {
    c = Options.MouseRight == 2 ? own : shell;
  } else {
    int setting = middle ? Options.MouseMiddle : Options.MouseRight;
    if (setting >= 4) c = none;
    else if ((setting == 1 || setting == 3) && c == none) c = own;
    else if (setting == 2 && c == none) c = shell;
  }
  if (c != none) {
    int index = HitTest(x, y);
    int saved = FItemIndex;
    if (index >= 0) SetItemIndex(index);
    else SetItemIndex(-1);
    if (c == own || index < 0) {
      if (OnMenu) OnMenu(this, POINT{x, y});
    } else {
      bool renameChosen = false;
      std::wstring path = index == 0 ? RootPath + L"\\" : GetSelectedPath();
      ShowShellContextMenuAt(path, FHandle, ClientToScreen(POINT{x, y}), CanEdit(), renameChosen);
      if (renameChosen) Rename();
    }
    if (index < 0) SetItemIndex(saved);
  }
  WORD none0 = 0;
  if (OnKey) OnKey(this, none0, false, KeyboardShiftState() & 7);
}

// ---- Keys and mouse ----

bool TMCD::DoKeyDown(WORD key, int scanCode, TShiftState shift) {
  if (OnKey) {
    OnKey(this, key, true, shift);
    if (key == 0) return true;
  }
  bool used = TCustomMCD::DoKeyDown(key, scanCode, shift);
  WORD none0 = 0;
  if (OnKey) OnKey(this, none0, false, KeyboardShiftState() & 7);
  return used;
}

bool TMCD::HandleKey(WORD key, int scanCode, TShiftState shift) {
  const bool recycle = !Options.NotUseRecycled;
  switch (shift) {
    case 0:
      switch (key) {
        case VK_CLEAR:
        case VK_F3: ChangeDrive(); return true;
        case VK_RETURN: Choose(); return true;
        case VK_ESCAPE:
          if (!SearchText().empty())
            SetSearchText(L"");
          else
            Cancel();
          return true;
        case VK_INSERT:
        case VK_F5: EnterMode(true); return true;
        case VK_F4: EnterMode(false); return true;
        case VK_DELETE:
        case VK_F8: DeleteFolder(recycle); return true;
        case VK_MULTIPLY:
        case VK_ADD: Rescan(true, false); return true;
        case VK_DIVIDE: Rescan(true, true); return true;
        case VK_SUBTRACT: RemoveSubList(GetSelectedPath(), false); return true;
        case VK_F1: return true;
        case VK_F2: Rescan(false, false); return true;
        case VK_F6: Rename(); return true;
        case VK_F7: NewFolder(); return true;
        case VK_F9: Properties(); return true;
      }
      break;
    case ssShift:
      if (key == VK_DELETE) {
        DeleteFolder(false);
        return true;
      }
      if (key >= 'A' && key <= 'Z') {
        GoTo(std::wstring(1, static_cast<wchar_t>(key)) + L":");
        return true;
      }
      if (key == VK_F12) {
        ChangeDrive();
        return true;
      }
      if (key == VK_INSERT) {
        Paste();
        return true;
      }
      break;
    case ssAlt:
      switch (key) {
        case VK_BACK: Navigate(0, VK_LEFT); return true;
        case VK_RETURN: Properties(); return true;
        case 'C': EnterMode(true); return true;
        case 'M': EnterMode(false); return true;
        case 'D': DeleteFolder(recycle); return true;
        case 'R': Rename(); return true;
        case 'K': NewFolder(); return true;
        case 'X': Cancel(); return true;
        case VK_MULTIPLY:
        case VK_DIVIDE: AdjustSize(true, 0); return true;
        case VK_ADD: AdjustSize(true, 1); return true;
        case VK_SUBTRACT: AdjustSize(true, 2); return true;
      }
      break;
    case ssCtrl:
      if (key == 'L') {
        FindNext(true);
        return true;
      }
      if (key == VK_INSERT || key == 'C') {
        CopyToClipboard(false);
        return true;
      }
      if (key == VK_DELETE || key == 'X') {
        CopyToClipboard(true);
        return true;
      }
      if (key == 'V') {
        Paste();
        return true;
      }
      break;
    case ssShift | ssCtrl:
      if (key == VK_INSERT || key == 'V') {
        Paste();
        return true;
      }
      break;
    case ssAlt | ssCtrl:
      if (key == VK_ADD || key == VK_SUBTRACT) {
        AdjustSize(false, key == VK_ADD ? 1 : 2);
        return true;
      }
      break;
  }
  if (key == VK_APPS) {
    POINT p{2, 2};
    if (FItemIndex >= 0 && FItemIndex < Count()) {
      const TMCDItem& item = Item(FItemIndex);
      p = POINT{item.IconRect.left, (item.Cell.top + item.Cell.bottom) / 2};
    }
    p.x = std::clamp(static_cast<int>(p.x), 0, std::max(0, ClientWidth() - 1));
    p.y = std::clamp(static_cast<int>(p.y), 0, std::max(0, ClientHeight() - 1));
    // As a right click with the own menu.
    if (OnMenu) OnMenu(this, p);
    return true;
  }
  static const int moveKeys[] = {71, 72, 73, 75, 76, 77, 79, 80, 81};
  if ((shift & (ssShift | ssAlt)) == (ssShift | ssAlt) &&
      std::find(std::begin(moveKeys), std::end(moveKeys), scanCode) != std::end(moveKeys) && scanCode != 76) {
    if (TForm* form = GetParentForm(this)) {
      if (shift & ssCtrl)
        SizeWindowByKey(form->Handle(), scanCode);
      else
        MoveWindowByKey(form->Handle(), scanCode);
    }
    return true;
  }
  return false;
}

bool TMCD::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_KEYDOWN && wp == VK_SHIFT && !(lp & 0x40000000) && Options.HanShiftDrive && IsHangulMode(FHandle))
    SetHangulMode(false, FHandle);
  if (msg == WM_KEYUP || msg == WM_SYSKEYUP) {
    WORD none0 = 0;
    if (OnKey) OnKey(this, none0, false, KeyboardShiftState() & 7);
  }
  if (msg == WM_LBUTTONDBLCLK) {
    int index = HitTest(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
    if (index >= 0) {
      SetItemIndex(index);
      Choose();
    }
    return true;
  }
  return TCustomMCD::WndProc(msg, wp, lp, result);
}

void TMCD::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomMCD::MouseDown(button, shift, x, y);
  FDownPos = POINT{x, y};
  FDownIndex = HitTest(x, y);
  FDownTime = GetTickCount();
  FHeldMenu = false;
  if (button == mbRight) FHoldTimer->SetEnabled(true);
}

void TMCD::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  FHoldTimer->SetEnabled(false);
  TCustomMCD::MouseUp(button, shift, x, y);
  if ((button == mbRight && !FHeldMenu) || button == mbMiddle) ShowMenuAt(x, y, button == mbMiddle, false);
  FHeldMenu = false;
  FDownPos = POINT{-1, -1};
}

void TMCD::MouseMove(TShiftState shift, int x, int y) {
  TCustomMCD::MouseMove(shift, x, y);
  // A held button moved far enough from where it went down on a folder: a drag.
  if (FDownPos.x >= 0 && FDownIndex >= 0 && (shift & (ssLeft | ssRight)) && !(shift & ssAlt) &&
      (std::abs(x - FDownPos.x) > 11 || std::abs(y - FDownPos.y) > 11) &&
      (!Options.DragDelay || GetTickCount() - FDownTime >= 300)) {
    FHoldTimer->SetEnabled(false);
    // The button's release ends the drag; it opens no menu afterwards.
    FHeldMenu = true;
    FDownPos = POINT{-1, -1};
    FDownIndex = -1;
    DragSelected();
    return;
  }
  // Ctrl+Alt held with no button: the selection follows the mouse.
  if ((shift & (ssCtrl | ssAlt)) == (ssCtrl | ssAlt) && !(shift & (ssLeft | ssRight | ssMiddle))) {
    int index = HitTest(x, y);
    if (index >= 0) SetItemIndex(index);
  }
}
