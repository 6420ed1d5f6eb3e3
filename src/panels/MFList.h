#pragma once
// The file list of a panel: its listing state and the reading of a folder, the drive list or a
// folder inside an open archive into the three item lists, rereads that keep the selection
// and the focus, and the icon thread and folder monitor that work between rereads.
//
// The class needs no window. What a reread does to the screen (hourglass, begin and end of an
// update, the column-fill width, the choice of display mode, the hover hint, scrolling the
// focus into view, repainting one item) goes through the virtual hooks below, which hand it
// to the view that shows the list (TMFListView, the file box) when one is set.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Colors.h"
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
// Sent to the main window with the panel number before the folder monitor's reread: the panel
// needs its folder tree loaded at once.
constexpr UINT WM_LOADPANELTREE = WM_APP + 3;
// Posted to the main window with the panel number after the user changed a column's width.
constexpr UINT WM_DUPHEADERSIZE = WM_APP + 5;
// A panel whose folder tree was resized (the panel window posts it).
constexpr UINT WM_DUPTREESIZE = WM_APP + 6;

// What a list asks of the window that shows it. Begin/end of an update and the hourglass nest
// (a reread runs a refresh inside), so the view counts them.
class TMFListView {
 public:
  virtual ~TMFListView() = default;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void ShowHourglass() = 0;
  virtual void RestoreCursor() = 0;
  virtual void ClearHoverHint() {}
  virtual void RefreshHoverHint() {}
  virtual void UpdateColumnFill() = 0;
  virtual void ChooseDisplayMode() = 0;
  virtual void ScrollIntoView(int index) = 0;
  virtual void InvalidateItem(int index) = 0;
  // The items were added, removed or reordered: the top index goes back to 0 (when reset) and
  // the whole view is repainted.
  virtual void ItemsChanged(bool resetTop) = 0;
  // The selection or the focus changed (status line, command states).
  virtual void SelectionChanged() {}
};

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
  // order it was made. Only folders (not "..") and files can be selected; drive entries not.
  // The ordered list is kept between changes, so asking for it again costs nothing.
  bool Selectable(int index) const;
  void SetSelected(int index, bool selected);
  std::vector<int> SelectedIndexes() const;
  void SelectAll(bool select);
  // Selects or unselects every item whose name matches the ";"-separated mask; folders only
  // with withFolders. Returns how many items changed.
  int SelectByMask(const std::wstring& mask, bool select, bool withFolders);
  // Every selectable item (folders only with withFolders) flips its state.
  void InvertSelection(bool withFolders);
  // Selects the files with the focused file's extension (sameExt) or its name without
  // extension; nothing happens without a focused file.
  int SelectSame(bool sameExt);
  // After a change of many selection states at once: the view repaints and reports it.
  void SelectionShown();
  // The total of the selected items, for the status line: folders and files apart.
  void SelectionTotals(int& folders, int& files, int64_t& bytes) const;

  // Sorting: a new key or direction takes effect at once. The workers are stopped, what the
  // key needs is resolved, the items are sorted with the focus kept on its item, and the
  // workers start again.
  void SetSort(TSortKey key, bool ascending);
  bool Ascending() const { return FItems.Ascending; }

  // Navigation. ChangePath lists another folder (leaving an open archive) with the focus on
  // the item named focusName, else the first; false (and nothing changed) when the folder
  // cannot be listed.
  bool ChangePath(const std::wstring& path, const std::wstring& focusName = L"");
  // One level up: inside an archive to the parent folder in it, at its top out of the archive
  // onto the archive's file; otherwise to the parent folder with the focus on the folder left.
  // False at a root.
  bool GoUp();
  // Enter on an item: a folder or ".." is entered, a drive entry goes to that drive's
  // remembered folder, an archive opens as a folder, the drive-chooser entry and other files
  // are handed to the events below.
  bool OpenItem(int index);
  // The item whose name (GetItemName form) matches, or -1.
  int IndexOfName(const std::wstring& name) const;

  // A file was opened (Enter or double click on it) that is no archive OpenArcTree can read.
  // Return true when it was handled.
  std::function<bool(TMFList& list, int index)> OnOpenFile;
  // The entry that opens the drive chooser was opened.
  std::function<void(TMFList& list)> OnDriveChooser;

  // The pending colour and type of an item resolved for painting; the last extension's
  // results are kept in cache for the rest of the pass.
  struct TPaintCache {
    bool HasColor = false, HasType = false;
    std::wstring ColorExt, TypeExt;
    TColor Color = 0;
    std::wstring TypeName;
    int32_t IconIndex = -1;
    bool TypeFinal = true;
  };
  void ResolveForPaint(TFileBoxItem& item, TPaintCache& cache);
  // The view that shows the list, or none.
  TMFListView* View = nullptr;

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

  // Once after every refresh (the item lists' own OnItemsChange comes with every add and clear).
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
  // Screen hooks: handed to the view when there is one.
  virtual void BeginUpdate() { if (View) View->BeginUpdate(); }
  virtual void EndUpdate() { if (View) View->EndUpdate(); }
  virtual void ShowHourglass() { if (View) View->ShowHourglass(); }
  virtual void RestoreCursor() { if (View) View->RestoreCursor(); }
  virtual void ClearHoverHint() { if (View) View->ClearHoverHint(); }
  virtual void RefreshHoverHint() { if (View) View->RefreshHoverHint(); }
  virtual void UpdateColumnFill() { if (View) View->UpdateColumnFill(); }
  virtual void ChooseDisplayMode() { if (View) View->ChooseDisplayMode(); }
  virtual void ScrollIntoView(int index) { if (View) View->ScrollIntoView(index); }
  virtual void InvalidateItem(int index) { if (View) View->InvalidateItem(index); }
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

  void SelectionDirty();
  void MonitorChanged();
  // Puts the focus on the item of that name (else on the first item), scrolls it into view
  // and has the view show it.
  void FocusByName(const std::wstring& name);
  // Forgets the open archive (its tree is freed); the listing is not read again here.
  void DropArchive();

  std::unique_ptr<TArcFolderSource> FOwnedArcTree;
  TFileBoxLists FItems;
  // The selection in its order, rebuilt only after a change.
  mutable std::vector<int> FSelCache;
  mutable bool FSelCacheValid = false;
  TMaskList FMask;
  int32_t FFilter = 1;
  bool FWantTypes = false;
  int32_t FSelCounter = 0;
  int FIconCursor = 0;
};
