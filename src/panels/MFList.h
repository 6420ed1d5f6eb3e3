#pragma once
// The file list of a panel: its listing state and the reading of a folder, the drive list or a
// folder inside an open archive into the three item lists, rereads that keep the selection
// and the focus, and the icon thread and folder monitor that work between rereads.
//
// The class needs no window. What a reread does to the screen (hourglass, begin and end of an
// update, the column-fill width, the choice of display mode, the hover hint, scrolling the
// focus into view, repainting one item) goes through the virtual hooks below, which the
// window that shows the list fills in.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Colors.h"
#include "foundation/MaskMatch.h"
#include "panels/ArcFolder.h"
#include "panels/DiscMon.h"
#include "panels/FileTypeLookup.h"
#include "panels/FolderTreeLink.h"
#include "panels/IconThread.h"
#include "panels/MFile.h"

// Posted to the main window with the panel number after a full system refresh: reread the
// other panel too.
constexpr UINT WM_REREADOTHER = WM_APP + 2;

class TMFList {
 public:
  explicit TMFList(int panelNo);
  virtual ~TMFList();
  TMFList(const TMFList&) = delete;
  TMFList& operator=(const TMFList&) = delete;

  // Takes the list's view of the settings: ShowIcons, ShowHidden, TypeView, the sort key and
  // direction, the name cases and the default text colour.
  void LoadOptions();

  // Rereads the current folder or archive folder, whole.
  void Refresh();
  // Refresh keeping the selection (in its old order) and the focus; a folder that is gone
  // leads to its root, and a root that is gone to "C:\".
  void Reread();
  // Also reads the system's file types again and asks the main window to reread the other
  // panel.
  void SystemRefresh();

  // The steps of Refresh.
  void ReadFolder();
  void ReadArchiveFolder();
  void AddDriveItems();
  void LoadDescriptions();
  // Resolves now what the current sort key needs (colours for a sort by colour, types for a
  // sort by type); the rest stays to the icon thread. Also after a change of sort key.
  void ResolvePending();

  // Items, by joint index (folders with ".." first, then files, then drive entries).
  TFileBoxLists& Items() { return FItems; }
  const TFileBoxLists& Items() const { return FItems; }
  int Count() const { return FItems.Count(); }
  TFileBoxItem* GetItem(int index) const { return FItems.GetItem(index); }
  std::wstring ItemName(int index) const;

  // Selection: selecting gives the next ordinal; SelectedIndexes lists the selection in the
  // order it was made.
  void SetSelected(int index, bool selected);
  std::vector<int> SelectedIndexes() const;

  int PanelNo;
  std::wstring Path;  // with trailing "\"
  std::wstring FileMask = L"*.*";
  int32_t FolderCount = 0, DriveCount = 0, DescCount = 0;
  int64_t TotalSize = 0;
  int32_t SelCount = 0;
  int64_t SelSize = 0;
  int64_t TotalSpace = 0, FreeSpace = 0;
  int32_t CurDriveIcon = -1;
  int32_t Depth = 0;
  bool ShowIcons = false, ShowHidden = false;
  int32_t TypeView = 1;
  bool ExtractIcons = false;
  bool PathNotFound = false;
  bool InArchive = false;
  std::wstring ArcFileName, ArcPath;
  TArcFolderSource* ArcTree = nullptr;  // the open archive's tree, owned by whoever opened it

  // Opening archives as folders. OpenArcTree reads an archive's tree (without it no archive
  // opens). OpenArchive lists the top of the archive file (a full name) and owns its tree;
  // false, with the listing as it was, when the file is no archive that can be read.
  TArcTreeOpener OpenArcTree;
  bool OpenArchive(const std::wstring& fileName);
  // Inside an archive: into the child folder name, or with ".." one level up, which leaves
  // the archive at its top with the focus on the archive file. False when there is no such
  // folder or the list is not in an archive.
  bool ChangeArchiveFolder(const std::wstring& name);
  // Leaves the archive for the folder that holds it.
  void CloseArchive();
  TSortKey SortKey = skName;
  int ItemIndex = -1;  // the focused item, -1 none
  TColor DefaultColor = 0xC0C0C0;

  // After every refresh.
  std::function<void(TMFList&)> OnListChange;
  // The panel's folder history: where the list went by itself is added at the end.
  std::vector<std::wstring> FolderHistory;

  // The system's file types and icons (the program's shared cache unless set otherwise);
  // without it no type is looked up.
  TFileTypeLookup* FileTypes = nullptr;
  // Creates the folder tree cache for a path; without it the cache is not told anything.
  TFolderTreeCacheFactory CreateFolderTree;
  HWND OwnerWnd = nullptr;  // owns the questions of the tree cache
  HWND MainWnd = nullptr;   // is told to reread the other panel

  TIconThread IconThread;
  TDiscMonitor Monitor;
  // Starts the icon thread and the monitor where a refresh would (for a list that was stopped
  // by hand); Refresh does this itself.
  void StartWorkers();
  void StopWorkers();

 protected:
  // Screen hooks, empty here.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  virtual void ShowHourglass() {}
  virtual void RestoreCursor() {}
  virtual void ClearHoverHint() {}
  virtual void RefreshHoverHint() {}
  virtual void UpdateColumnFill() {}
  virtual void ChooseDisplayMode() {}
  virtual void ScrollIntoView(int /*index*/) {}
  virtual void InvalidateItem(int /*index*/) {}
  // The next entry of a folder being listed; false at its end or on an error (GetLastError
  // tells which).
  virtual bool FindNextEntry(HANDLE find, WIN32_FIND_DATAW& data);

 private:
  bool NextIconJob(TIconThread::TJob& job);
  void DeliverIcon(const TIconThread::TJob& job);
  void ResolveColor(TFileBoxItem& item) const;
  // True when the item's type is final; false when its own icon is still to be fetched.
  bool ResolveType(TFileBoxItem& item, bool loadIcon);
  bool AcceptFile(const std::wstring& fullName, const std::wstring& ext, int32_t attr, TColor& color) const;
  void ApplyFolderLook(TFileBoxItem& item, bool parent);

  // Puts the focus on the item of that name (none when there is none).
  void FocusByName(const std::wstring& name);

  std::unique_ptr<TArcFolderSource> FOwnedArcTree;
  TFileBoxLists FItems;
  TMaskList FMask;
  int32_t FFilter = 1;
  bool FWantTypes = false;
  int32_t FSelCounter = 0;
  int FIconCursor = 0;
};
