#include "panels/MFList.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "foundation/ExtDef.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"
#include "panels/MDescMan.h"
#include "panels/MIcon.h"
#include "framework/FolderEnum.h"

namespace {
// A DOS date and time as a TDateTime; false (and no date) when a field is out of range, as
// damaged archive headers have them.
bool DosDateTimeToDateTimeChecked(int32_t value, TDateTime& result) {
  uint32_t v = static_cast<uint32_t>(value);
  int second = static_cast<int>(v & 0x1F) * 2, minute = static_cast<int>((v >> 5) & 0x3F);
  int hour = static_cast<int>((v >> 11) & 0x1F), day = static_cast<int>((v >> 16) & 0x1F);
  int month = static_cast<int>((v >> 21) & 0x0F), year = static_cast<int>((v >> 25) & 0x7F) + 1980;
  if (second > 59 || minute > 59 || hour > 23 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  result = EncodeDateTime(year, month, day, hour, minute, second);
  return true;
}

TDateTime NowDateTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

// Errors of a folder that is not there (as against one that cannot be read).
bool IsMissingPathError(DWORD error) {
  return error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_DRIVE || error == ERROR_NETNAME_DELETED ||
         error == ERROR_NETWORK_ACCESS_DENIED || error == ERROR_SHARING_PAUSED;
}

// The name split at its last dot; the dot itself belongs to neither part.
void SplitAtLastDot(const std::wstring& full, std::wstring& name, std::wstring& ext) {
  size_t dot = full.rfind(L'.');
  if (dot == std::wstring::npos) {
    name = full;
    ext.clear();
  } else {
    name = full.substr(0, dot);
    ext = full.substr(dot + 1);
  }
}

// Free and total bytes of the volume that holds path; false when they cannot be read.
bool ReadDiskSpace(const std::wstring& path, int64_t& freeBytes, int64_t& totalBytes) {
  ULARGE_INTEGER avail, total, totalFree;
  if (!GetDiskFreeSpaceExW(path.c_str(), &avail, &total, &totalFree)) return false;
  freeBytes = static_cast<int64_t>(avail.QuadPart);
  totalBytes = static_cast<int64_t>(total.QuadPart);
  return true;
}
}  // namespace

TFolderTreeCacheFactory DefaultFolderTreeCache;

TMFList::TMFList(int panelNo) : PanelNo(panelNo == 2 ? 2 : 1) {
  FileTypes = SystemFileData;
  CreateFolderTree = DefaultFolderTreeCache;
  LoadOptions();
  IconThread.NextJob = [this](TIconThread::TJob& job) { return NextIconJob(job); };
  IconThread.Deliver = [this](const TIconThread::TJob& job) { DeliverIcon(job); };
  Monitor.OnChange = [this] { MonitorChanged(); };
  // Every single add or clear: the view starts again at the top and repaints. A whole listing
  // runs inside one update, so the view paints once at its end.
  FItems.OnItemsChange = [this] {
    SelectionDirty();
    if (View) View->ItemsChanged(true);
  };
}

TMFList::~TMFList() { StopWorkers(); }

void TMFList::LoadOptions() {
  const TFileWinOptions& panel = Options.PanelOptions(PanelNo);
  ShowIcons = Options.IconAnalysis && Options.IconView;
  ShowHidden = panel.Hidden;
  TypeView = Options.IconAnalysis ? Options.TypeView : 1;
  SortKey = panel.SortType >= skNone && panel.SortType <= skExec ? static_cast<TSortKey>(panel.SortType) : skName;
  FileMask = panel.FileMask.empty() ? L"*.*" : panel.FileMask;
  DefaultColor = Options.NormalColor;
  FItems.Ascending = panel.Ascending;
  FItems.TypeView = TypeView;
  FItems.FileNameCase = Options.FileNameCase;
  FItems.FolderNameCase = Options.FolderNameCase;
}

std::wstring TMFList::ItemName(int index) const {
  std::wstring name;
  FItems.GetItemName(index, name);
  return name;
}

// ---- Workers ----

void TMFList::StopWorkers() {
  IconThread.Stop();
  Monitor.Stop();
}

void TMFList::StartWorkers() {
  FIconCursor = 0;
  IconThread.Start();
  if (Options.DiskMonitor && !InArchive && !PathNotFound && !Path.empty()) Monitor.Start(Path);
}

void TMFList::ResolveColor(TFileBoxItem& item) const {
  TColor color;
  item.Color = Programs.ExtColor.GetColor(item.Ext, color) ? color : DefaultColor;
  item.Pending &= ~TFileBoxItem::PendingColor;
}

bool TMFList::ResolveType(TFileBoxItem& item, bool loadIcon) {
  item.Pending &= ~TFileBoxItem::PendingIcon;
  if (!FileTypes) return true;
  return FileTypes->GetFileTypeIcon(Path + item.Name, item.Ext, loadIcon && !InArchive, item.TypeName,
                                    item.IconIndex);
}

bool TMFList::NextIconJob(TIconThread::TJob& job) {
  while (FIconCursor < Count()) {
    int index = FIconCursor++;
    TFileBoxItem* item = GetItem(index);
    if (item->Kind == ikDrive) continue;
    bool changed = false;
    if (item->Pending & TFileBoxItem::PendingColor) {
      ResolveColor(*item);
      changed = true;
    }
    if (item->Pending & TFileBoxItem::PendingIcon) {
      if (!ResolveType(*item, ExtractIcons)) item->IconDone = false;
      changed = true;
    }
    if (!item->IconDone) {
      if (ExtractIcons && !InArchive && !IsParentItem(*item)) {
        job.Index = index;
        job.Path = Path + ItemName(index);
        job.NeedShell = true;
        if (changed) InvalidateItem(index);
        return true;
      }
      item->IconDone = true;  // nothing better than the type's icon can be had
    }
    if (changed) {
      InvalidateItem(index);
      job.Index = index;
      return true;
    }
  }
  return false;
}

void TMFList::DeliverIcon(const TIconThread::TJob& job) {
  TFileBoxItem* item = GetItem(job.Index);
  if (!item || item->IconDone) return;
  if (job.IconIndex != -1) {
    item->IconIndex = job.IconIndex;
    item->Overlay = job.Overlay;
  }
  item->IconDone = true;
  InvalidateItem(job.Index);
}

void TMFList::MonitorChanged() {
  // The main window loads the panel's folder tree first: the reread may have to tell it about
  // the folders it finds.
  if (MainWnd) SendMessageW(MainWnd, WM_LOADPANELTREE, static_cast<WPARAM>(PanelNo), 0);
  Reread();
}

// ---- Selection ----

void TMFList::SelectionDirty() { FSelCacheValid = false; }

void TMFList::SelectionShown() {
  if (!View) return;
  View->ItemsChanged(false);
  View->SelectionChanged();
}

bool TMFList::Selectable(int index) const {
  const TFileBoxItem* item = GetItem(index);
  return item && item->Kind != ikDrive && !IsParentItem(*item);
}

void TMFList::SetSelected(int index, bool selected) {
  TFileBoxItem* item = GetItem(index);
  if (!item || (item->SelOrder != 0) == selected) return;
  FSelCacheValid = false;
  int64_t size = item->Size > 0 ? item->Size : 0;
  if (selected) {
    item->SelOrder = ++FSelCounter;
    ++SelCount;
    SelSize += size;
  } else {
    item->SelOrder = 0;
    --SelCount;
    SelSize -= size;
  }
}

std::vector<int> TMFList::SelectedIndexes() const {
  if (FSelCacheValid) return FSelCache;
  std::vector<std::pair<int32_t, int>> sel;
  if (SelCount > 0)
    for (int i = 0; i < Count(); ++i)
      if (GetItem(i)->SelOrder != 0) sel.emplace_back(GetItem(i)->SelOrder, i);
  std::sort(sel.begin(), sel.end());
  FSelCache.clear();
  for (auto& s : sel) FSelCache.push_back(s.second);
  FSelCacheValid = true;
  return FSelCache;
}

void TMFList::SelectAll(bool select) {
  const int items = FItems.FolderCount() + FItems.FileCount();
  for (int i = 0; i < items; ++i)
    if (Selectable(i)) SetSelected(i, select);
  if (!select) FSelCounter = 0;
  SelectionShown();
}

int TMFList::SelectByMask(const std::wstring& mask, bool select, bool withFolders) {
  TMaskList masks(mask);
  int changed = 0;
  const int items = FItems.FolderCount() + FItems.FileCount();
  for (int i = 0; i < items; ++i) {
    if (!Selectable(i)) continue;
    const TFileBoxItem* item = GetItem(i);
    if (item->Kind == ikFolder && !withFolders) continue;
    if ((item->SelOrder != 0) == select || !masks.Matches(ItemName(i))) continue;
    SetSelected(i, select);
    ++changed;
  }
  SelectionShown();
  return changed;
}

void TMFList::InvertSelection(bool withFolders) {
  const int items = FItems.FolderCount() + FItems.FileCount();
  for (int i = 0; i < items; ++i) {
    if (!Selectable(i) || (GetItem(i)->Kind == ikFolder && !withFolders)) continue;
    SetSelected(i, GetItem(i)->SelOrder == 0);
  }
  SelectionShown();
}

int TMFList::SelectSame(bool sameExt) {
  const TFileBoxItem* focus = GetItem(ItemIndex);
  if (!focus || focus->Kind != ikFile) return 0;
  const std::wstring key = sameExt ? focus->Ext : focus->Name;
  int changed = 0;
  for (int i = 0; i < FItems.FileCount(); ++i) {
    int index = FItems.FolderCount() + i;
    const TFileBoxItem* item = GetItem(index);
    if (item->SelOrder != 0 || !SameTextI(sameExt ? item->Ext : item->Name, key)) continue;
    SetSelected(index, true);
    ++changed;
  }
  SelectionShown();
  return changed;
}

void TMFList::SelectionTotals(int& folders, int& files, int64_t& bytes) const {
  folders = files = 0;
  bytes = 0;
  for (int i : SelectedIndexes()) {
    const TFileBoxItem* item = GetItem(i);
    if (item->Kind == ikFolder)
      ++folders;
    else
      ++files;
    if (item->Size > 0) bytes += item->Size;
  }
}

// ---- Sorting ----

void TMFList::SetSort(TSortKey key, bool ascending) {
  const bool iconRan = IconThread.Running(), monitorRan = Monitor.Running();
  StopWorkers();
  SortKey = key;
  FItems.Ascending = ascending;
  TFileWinOptions& panel = Options.PanelOptions(PanelNo);
  panel.SortType = key;
  panel.Ascending = ascending;
  ResolvePending();
  TFileBoxItem* focus = GetItem(ItemIndex);
  FItems.SortItems(key, Options.FolderDiffSort,
                   Options.FolderSortType >= skNone && Options.FolderSortType <= skExec
                       ? static_cast<TSortKey>(Options.FolderSortType)
                       : skName);
  SelectionDirty();
  if (focus)
    for (int i = 0; i < Count(); ++i)
      if (GetItem(i) == focus) ItemIndex = i;
  if (View) {
    View->ItemsChanged(false);
    View->ScrollIntoView(ItemIndex);
  }
  // The icon thread walks the items anew: their places have changed.
  if (iconRan) {
    FIconCursor = 0;
    IconThread.Start();
  }
  if (monitorRan) Monitor.Start(Path);
}

// ---- Painting ----

void TMFList::ResolveForPaint(TFileBoxItem& item, TPaintCache& cache) {
  if (item.Pending & TFileBoxItem::PendingColor) {
    if (!cache.HasColor || cache.ColorExt != item.Ext) {
      ResolveColor(item);
      cache.HasColor = true;
      cache.ColorExt = item.Ext;
      cache.Color = item.Color;
    } else {
      item.Color = cache.Color;
      item.Pending &= ~TFileBoxItem::PendingColor;
    }
  }
  if (item.Pending & TFileBoxItem::PendingIcon) {
    // Files whose icon is their own (programs, shortcuts) are left to the icon thread for
    // that icon; the type and the type's icon are there at once.
    if (!cache.HasType || cache.TypeExt != item.Ext) {
      bool final = ResolveType(item, ShowIcons && ExtractIcons);
      cache.HasType = true;
      cache.TypeExt = item.Ext;
      cache.TypeName = item.TypeName;
      cache.IconIndex = item.IconIndex;
      cache.TypeFinal = final;
    } else {
      item.TypeName = cache.TypeName;
      item.IconIndex = cache.IconIndex;
      item.Pending &= ~TFileBoxItem::PendingIcon;
    }
    if (!cache.TypeFinal) item.IconDone = false;
  }
}

// ---- Navigation ----

int TMFList::IndexOfName(const std::wstring& name) const {
  if (name.empty()) return -1;
  for (int i = 0; i < Count(); ++i)
    if (SameTextI(ItemName(i), name)) return i;
  return -1;
}

bool TMFList::ChangePath(const std::wstring& path, const std::wstring& focusName) {
  std::wstring target = IncludeTrailingBackslash(path);
  if (target.empty() || !FolderExists(target)) return false;
  if (InArchive) DropArchive();
  Path = target;
  BeginUpdate();
  Refresh();
  FocusByName(focusName);
  EndUpdate();
  FolderHistory.push_back(Path);
  CurrentDirs.SetDir(ExcludeTrailingBackslash(Path));
  return true;
}

bool TMFList::GoUp() {
  if (InArchive) return ChangeArchiveFolder(L"..");
  if (GetPathDepth(Path) <= 0) return false;
  std::wstring here = ExcludeTrailingBackslash(Path);
  std::wstring left = here.substr(here.find_last_of(L'\\') + 1);
  return ChangePath(ExtractParentDir(Path), left);
}

bool TMFList::OpenItem(int index) {
  TFileBoxItem* item = GetItem(index);
  if (!item) return false;
  if (item->Kind == ikFolder) {
    if (IsParentItem(*item)) return GoUp();
    if (InArchive) return ChangeArchiveFolder(item->Name);
    return ChangePath(Path + item->Name);
  }
  if (item->Kind == ikDrive) {
    if (!IsDriveEntry(*item)) {
      if (OnDriveChooser) OnDriveChooser(*this);
      return true;
    }
    std::wstring root{item->Name[2], L':', L'\\'};
    std::wstring dir;
    CurrentDirs.GetDir(root, dir);
    if (!dir.empty() && ChangePath(dir)) return true;
    return ChangePath(root);
  }
  if (!InArchive && OpenArcTree && OpenArchive(Path + ItemName(index))) return true;
  return OnOpenFile ? OnOpenFile(*this, index) : false;
}


// ---- Reading ----

void TMFList::Refresh() {
  StopWorkers();
  FSelCounter = 0;
  SelectionDirty();
  ExtractIcons = false;
  PathNotFound = false;
  ClearHoverHint();
  ShowHourglass();
  BeginUpdate();

  FItems.Clear(true, true, true);
  DescCount = FolderCount = DriveCount = SelCount = 0;
  SelSize = TotalSize = 0;
  ItemIndex = -1;

  FFilter = Options.PanelOptions(PanelNo).FilterType;
  FWantTypes = Options.IconAnalysis && (ShowIcons || TypeView == 0 || TypeView == 2);
  if (!Path.empty()) Path = IncludeTrailingBackslash(Path);
  Depth = GetPathDepth(Path);

  if (InArchive)
    ReadArchiveFolder();
  else
    ReadFolder();

  FItems.SortItems(SortKey, Options.FolderDiffSort,
                   Options.FolderSortType >= skNone && Options.FolderSortType <= skExec
                       ? static_cast<TSortKey>(Options.FolderSortType)
                       : skName);
  UpdateColumnFill();
  if (Options.PanelOptions(PanelNo).Column == 0) ChooseDisplayMode();

  EndUpdate();
  RestoreCursor();
  if (OnListChange) OnListChange(*this);
  StartWorkers();
}

bool TMFList::AcceptFile(const std::wstring& fullName, const std::wstring& ext, int32_t attr, TColor& color) const {
  if ((attr & TFileBoxItem::AttrHidden) && !ShowHidden) return false;
  if (!FMask.Matches(fullName)) return false;
  if (FFilter == 4 && !Programs.HasExtProgram(ext)) return false;
  if (FFilter == 5 && !Programs.ExtColor.GetColor(ext, color)) return false;
  return true;
}

void TMFList::ApplyFolderLook(TFileBoxItem& item, bool parent) {
  item.Kind = ikFolder;
  item.Size = -1;
  item.IconDone = true;
  item.IconIndex = -1;
  item.Color = Options.ItemColorEnable ? Options.DirColor : DefaultColor;
  if (parent && FileTypes) item.IconIndex = FileTypes->ParentFolderImage();
}

void TMFList::ReadFolder() {
  TErrorModeGuard errorMode;
  std::wstring root = ExtractPathRoot(Path);
  bool localDisk = false;
  if (!IsUncPath(Path) && !root.empty()) {
    UINT type = GetDriveTypeW(root.c_str());
    localDisk = type == DRIVE_FIXED || type == DRIVE_CDROM;
  }
  ExtractIcons = ShowIcons && Options.IconExtract && (!Options.IconExtrNoFDD || localDisk);
  FMask.Assign(FileMask);

  const bool collect = Options.McdTreeUpdate;
  std::vector<std::wstring> folderNames;

  TFolderEnum list(Path, TFolderEnum::ParentEntry | TFolderEnum::ShortNames);
  list.FindNext = [this](HANDLE find, WIN32_FIND_DATAW& data) { return FindNextEntry(find, data); };
  std::wstring ext, baseName;
  for (const WIN32_FIND_DATAW& data : list) {
    const int32_t attr = static_cast<int32_t>(data.dwFileAttributes);
    std::wstring name = data.cFileName;
    if (attr & FILE_ATTRIBUTE_DIRECTORY) {
      bool parent = name == L"..";
      if (parent && Depth <= 0) continue;
      if (!parent && collect) folderNames.push_back(name);
      if ((attr & FILE_ATTRIBUTE_HIDDEN) && !ShowHidden && !Options.IncHiddenDir) continue;
      auto item = std::make_unique<TFileBoxItem>();
      item->ShortName = data.cAlternateFileName;
      item->Time = FileTimeToLocalDateTime(data.ftLastWriteTime);
      item->Attr = attr;
      ApplyFolderLook(*item, parent);
      if (FWantTypes && FileTypes &&
          !FileTypes->GetFolderTypeIcon(parent ? name : Path + name, item->IconIndex, item->TypeName,
                                        item->Overlay, attr, ExtractIcons))
        item->IconDone = false;
      item->Name = std::move(name);
      ++FolderCount;
      // ".." always leads the folders, wherever the file system reports it.
      if (parent)
        FItems.InsertParent(std::move(item));
      else
        FItems.AddFolder(std::move(item));
    } else {
      SplitAtLastDot(name, baseName, ext);
      TColor color = DefaultColor;
      if (!AcceptFile(name, ext, attr, color)) continue;
      auto item = std::make_unique<TFileBoxItem>();
      item->Name = std::move(baseName);
      item->Ext = std::move(ext);
      item->ShortName = data.cAlternateFileName;
      item->Size = MakeInt64(data.nFileSizeHigh, data.nFileSizeLow);
      item->Time = FileTimeToLocalDateTime(data.ftLastWriteTime);
      item->Attr = attr;
      item->Kind = ikFile;
      item->Color = color;
      item->IconDone = true;
      item->IconIndex = -1;
      item->Pending = (FFilter != 5 ? TFileBoxItem::PendingColor : 0) | (FWantTypes ? TFileBoxItem::PendingIcon : 0);
      TotalSize += item->Size;
      FItems.AddFile(std::move(item));
    }
  }
  // Only a listing that ran to its end tells the truth about the folder's subfolders; a root
  // with nothing in it has not even "." to report, and finding nothing there is a whole
  // listing too, so that the tree cache learns that no folder is left.
  const bool complete = list.Complete();
  if (list.Opened()) {
    if (Depth != 0 && (FItems.FolderCount() == 0 || !IsParentItem(*FItems.GetItem(0)))) {
      auto parent = std::make_unique<TFileBoxItem>();
      parent->Name = L"..";
      parent->Attr = FILE_ATTRIBUTE_DIRECTORY;
      parent->Time = NowDateTime();
      ApplyFolderLook(*parent, true);
      ++FolderCount;
      FItems.InsertParent(std::move(parent));
    }
    LoadDescriptions();
  } else {
    PathNotFound = IsMissingPathError(list.Error());
  }

  AddDriveItems();
  ResolvePending();

  if (collect && complete && CreateFolderTree) {
    if (auto cache = CreateFolderTree(OwnerWnd, Path)) {
      TStringList names;
      for (auto& n : folderNames) names.Add(n);
      cache->SyncChildren(Path, names);
    }
  }
}

bool TMFList::FindNextEntry(HANDLE find, WIN32_FIND_DATAW& data) { return TFolderEnum::SystemFindNext(find, data); }

void TMFList::ReadArchiveFolder() {
  FMask.Assign(FileMask);
  ArcInfoRec entry;
  if (ArcTree && ArcTree->OpenFolder(ArcPath, entry)) {
    auto parent = std::make_unique<TFileBoxItem>();
    parent->Name = L"..";
    parent->Attr = entry.Attributes | FILE_ATTRIBUTE_DIRECTORY;
    DosDateTimeToDateTimeChecked(entry.DateTime, parent->Time);
    ApplyFolderLook(*parent, true);
    if (FileTypes) {
      int32_t overlay = 0;
      FileTypes->GetFolderTypeIcon(L"..", parent->IconIndex, parent->TypeName, overlay, parent->Attr, false);
    }
    ++FolderCount;
    FItems.InsertParent(std::move(parent));

    std::wstring baseName, ext;
    while (ArcTree->NextEntry(entry)) {
      const std::wstring& name = entry.Name;
      // Only the parent entry leads out of a folder; a child that names no single item of
      // this folder is not listed.
      if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/") != std::wstring::npos)
        continue;
      auto item = std::make_unique<TFileBoxItem>();
      item->Attr = entry.Attributes;
      DosDateTimeToDateTimeChecked(entry.DateTime, item->Time);
      if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
        ApplyFolderLook(*item, false);
        if (FileTypes) {
          item->IconIndex = FileTypes->FolderImage();
          item->TypeName = FileTypes->FolderTypeText();
        }
        item->Name = name;
        ++FolderCount;
        FItems.AddFolder(std::move(item));
      } else {
        SplitAtLastDot(name, baseName, ext);
        TColor color = DefaultColor;
        if (!AcceptFile(name, ext, entry.Attributes, color)) continue;
        item->Name = baseName;
        item->Ext = ext;
        item->Size = entry.Size;
        item->Kind = ikFile;
        item->Color = color;
        item->IconDone = true;
        item->IconIndex = -1;
        item->Pending = (FFilter != 5 ? TFileBoxItem::PendingColor : 0) | (FWantTypes ? TFileBoxItem::PendingIcon : 0);
        TotalSize += entry.Size > 0 ? entry.Size : 0;
        FItems.AddFile(std::move(item));
      }
    }
  }
  AddDriveItems();
  ResolvePending();
}

// ---- Archives as folders ----

bool TMFList::OpenArchive(const std::wstring& fileName) {
  if (!OpenArcTree) return false;
  std::unique_ptr<TArcFolderSource> tree = OpenArcTree(fileName);
  if (!tree) return false;
  const size_t slash = fileName.find_last_of(L"\\/");
  FOwnedArcTree = std::move(tree);
  ArcTree = FOwnedArcTree.get();
  InArchive = true;
  ArcFileName = slash == std::wstring::npos ? fileName : fileName.substr(slash + 1);
  ArcPath.clear();
  if (slash != std::wstring::npos) Path = fileName.substr(0, slash + 1);
  Refresh();
  FocusByName(L"");
  return true;
}

bool TMFList::ChangeArchiveFolder(const std::wstring& name) {
  if (!InArchive || !ArcTree) return false;
  if (name == L"..") {
    if (ArcPath.empty()) {
      CloseArchive();
      return true;
    }
    const size_t slash = ArcPath.rfind(L'\\');
    const std::wstring left = slash == std::wstring::npos ? ArcPath : ArcPath.substr(slash + 1);
    ArcPath = slash == std::wstring::npos ? L"" : ArcPath.substr(0, slash);
    Refresh();
    FocusByName(left);
    return true;
  }
  const std::wstring path = ArcPath.empty() ? name : ArcPath + L"\\" + name;
  ArcInfoRec first;
  if (name.empty() || !ArcTree->OpenFolder(path, first)) return false;
  ArcPath = path;
  Refresh();
  FocusByName(L"");
  return true;
}

void TMFList::CloseArchive() {
  const std::wstring name = ArcFileName;
  DropArchive();
  Refresh();
  FocusByName(name);
}

void TMFList::DropArchive() {
  InArchive = false;
  ArcTree = nullptr;
  FOwnedArcTree.reset();
  ArcFileName.clear();
  ArcPath.clear();
}

void TMFList::FocusByName(const std::wstring& name) {
  int index = IndexOfName(name);
  ItemIndex = index >= 0 ? index : Count() > 0 ? 0 : -1;
  ScrollIntoView(ItemIndex);
  if (View) {
    View->ItemsChanged(false);
    View->SelectionChanged();
  }
}

// The key under which the system's case-insensitive comparison sees a name: two names compare
// equal exactly when their keys are equal. Empty when the system cannot make one.
static std::string CaseInsensitiveKey(const std::wstring& name) {
  std::string key;
  if (name.empty()) return key;
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  int n = LCMapStringW(LOCALE_USER_DEFAULT, flags, name.data(), static_cast<int>(name.size()), nullptr, 0);
  if (n <= 0) return key;
  key.resize(static_cast<size_t>(n));
  n = LCMapStringW(LOCALE_USER_DEFAULT, flags, name.data(), static_cast<int>(name.size()),
                   reinterpret_cast<LPWSTR>(key.data()), n);
  key.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return key;
}

void TMFList::LoadDescriptions() {
  std::wstring file = Path + L"DESCRIPT.ION";
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  TDescOptions options;
  options.DescHidden = Options.DescHidden;
  options.DescShortRead = Options.DescShortRead;
  options.DescShortWrite = Options.DescShortWrite;
  THanDescMan desc(Path, options);
  if (desc.Count() == 0) return;

  // A big folder asks for every item: the records are found by their keys in one hash table
  // rather than by a search of comparisons per item. The look-up is the descriptions' own:
  // the long name first, then the short name. A name without a key takes the plain look-up.
  std::unordered_map<std::string, int> records;
  bool keyed = true;
  for (int r = 0; r < desc.Count() && keyed; ++r) {
    std::string key = CaseInsensitiveKey(desc.Record(r).Name);
    keyed = !key.empty();
    records.emplace(std::move(key), r);
  }
  auto lookUp = [&](const std::wstring& longName, const std::wstring& shortName, std::wstring& text) {
    if (!keyed) return desc.GetDescription(longName, shortName, text);
    text.clear();
    for (const std::wstring* name : {&longName, &shortName}) {
      if (name->empty() || (name == &shortName && !options.DescShortRead)) continue;
      std::string key = CaseInsensitiveKey(*name);
      if (key.empty()) return desc.GetDescription(longName, shortName, text);
      auto it = records.find(key);
      if (it != records.end()) {
        text = desc.Record(it->second).Desc;
        return;
      }
    }
  };

  std::wstring text;
  const int items = FItems.FolderCount() + FItems.FileCount();
  for (int i = 0; i < items; ++i) {
    TFileBoxItem* item = GetItem(i);
    lookUp(ItemName(i), item->ShortName, text);
    if (text.empty()) continue;
    item->Desc = text;
    ++DescCount;
  }
}

void TMFList::AddDriveItems() {
  CurDriveIcon = -1;
  const int32_t at = Options.ShowDrvAtThis;
  const bool thisPanel = at == 0 || at == PanelNo;
  TErrorModeGuard errorMode;

  if (Options.ShowDrive && thisPanel) {
    const std::wstring freeText = L" " + LoadMessageText(4202);
    const DWORD mask = GetLogicalDrives();
    const wchar_t current = Path.empty() ? 0 : static_cast<wchar_t>(towupper(Path[0]));
    for (int d = 0; d < 26; ++d) {
      if (!(mask & (1u << d))) continue;
      const wchar_t letter = static_cast<wchar_t>(L'A' + d);
      std::wstring root{letter, L':', L'\\'};
      auto item = std::make_unique<TFileBoxItem>();
      std::wstring label;
      if (FileTypes) {
        FileTypes->GetFolderTypeIcon(root, item->IconIndex, label, item->Overlay, 0, false);
      } else {
        label = GetVolumeLabel(root);
      }
      item->Name = std::wstring(L"[-") + letter + L"-] " + label;
      if (letter == current) CurDriveIcon = item->IconIndex;
      item->Attr = 0;
      item->Time = 0;
      item->Size = -1;
      if (Options.ShowDriveSize) {
        UINT type = GetDriveTypeW(root.c_str());
        int64_t freeBytes = 0, totalBytes = 0;
        if ((type == DRIVE_FIXED || (type == DRIVE_REMOTE && Options.NetDriveSize)) &&
            ReadDiskSpace(root, freeBytes, totalBytes)) {
          item->Size = totalBytes;
          item->DateText = FormatThousands(freeBytes / 1024) + freeText;
        }
      }
      item->Color = Options.ItemColorEnable ? Options.DrvColor : DefaultColor;
      item->Kind = ikDrive;
      item->IconDone = true;
      ++DriveCount;
      FItems.AddDrive(std::move(item));
    }
  }

  if (Options.ShowDriveItem && thisPanel) {
    auto item = std::make_unique<TFileBoxItem>();
    item->Name = LoadMessageText(4201);
    item->IconIndex = FileTypes ? FileTypes->DriveImage() : -1;
    item->Size = -1;
    item->Kind = ikDrive;
    item->Color = DefaultColor;
    item->IconDone = true;
    ++DriveCount;
    FItems.AddDrive(std::move(item));
  }

  FreeSpace = TotalSpace = 0;
  if ((Options.NetDriveSize || !IsUncPath(Path)) && !Path.empty()) {
    int64_t freeBytes = 0, totalBytes = 0;
    if (ReadDiskSpace(Path, freeBytes, totalBytes)) {
      if (totalBytes < freeBytes) totalBytes = freeBytes;
      if (freeBytes < 0) freeBytes = totalBytes = 0;
      FreeSpace = freeBytes;
      TotalSpace = totalBytes;
    }
  }
}

void TMFList::ResolvePending() {
  const bool colors = SortKey == skColor && FFilter != 5;
  const bool types = SortKey == skDesc;
  if (!colors && !types) return;
  for (int i = 0; i < FItems.FileCount(); ++i) {
    TFileBoxItem& item = *FItems.GetFile(i);
    if (colors && (item.Pending & TFileBoxItem::PendingColor)) ResolveColor(item);
    if (types && (item.Pending & TFileBoxItem::PendingIcon) && !ResolveType(item, ShowIcons))
      item.IconDone = false;
  }
}

// ---- Rereading ----

void TMFList::Reread() {
  ShowHourglass();
  BeginUpdate();
  const std::wstring oldPath = Path, oldArcPath = ArcPath;
  const bool oldInArchive = InArchive;
  const int oldIndex = ItemIndex;
  const std::wstring oldName = oldIndex >= 0 && oldIndex < Count() ? LowerCase(ItemName(oldIndex)) : L"";

  std::vector<std::wstring> selected;
  for (int i : SelectedIndexes())
    if (GetItem(i)->Kind != ikDrive) selected.push_back(ItemName(i));

  Refresh();

  if (!selected.empty()) {
    // Each name takes the first unselected item of that name, so the selection is numbered
    // again in its old order whatever the new sort order is.
    std::unordered_map<std::wstring, std::vector<int>> byName;
    const int items = FItems.FolderCount() + FItems.FileCount();
    for (int i = 0; i < items; ++i)
      if (!IsParentItem(*GetItem(i))) byName[UpperCase(ItemName(i))].push_back(i);
    for (const auto& name : selected) {
      auto it = byName.find(UpperCase(name));
      if (it == byName.end()) continue;
      for (int i : it->second) {
        if (GetItem(i)->SelOrder == 0 && SameTextI(ItemName(i), name)) {
          SetSelected(i, true);
          break;
        }
      }
    }
  }

  if (PathNotFound && !InArchive) {
    std::wstring root = ExtractPathRoot(Path);
    if (!root.empty() && FolderExists(root)) {
      Path = root;
      Refresh();
    }
    if (PathNotFound) {
      Path = L"C:\\";
      Refresh();
    }
    FolderHistory.push_back(Path);
  }

  const bool samePath = SameTextI(Path, oldPath) && InArchive == oldInArchive && (!InArchive || SameTextI(ArcPath, oldArcPath));
  // In the same folder a list that had no focus keeps none; otherwise the focus goes back to
  // its item, or to its old place, or to the first item.
  ItemIndex = -1;
  if (Count() > 0 && !(samePath && oldIndex < 0)) {
    if (samePath) {
      for (int i = 0; i < Count() && ItemIndex < 0; ++i)
        if (LowerCase(ItemName(i)) == oldName) ItemIndex = i;
      if (ItemIndex < 0 && oldIndex < Count()) ItemIndex = oldIndex;
    }
    if (ItemIndex < 0) ItemIndex = 0;
  }
  ScrollIntoView(ItemIndex);
  EndUpdate();
  RefreshHoverHint();
  RestoreCursor();
}

void TMFList::SystemRefresh() {
  BeginUpdate();
  StopWorkers();
  if (FileTypes) FileTypes->Load();
  Reread();
  EndUpdate();
  if (MainWnd) PostMessageW(MainWnd, WM_REREADOTHER, static_cast<WPARAM>(PanelNo), 0);
}
