#pragma once
// The folder manager's drive diagram: TCustomMCD draws a whole drive's folders as a horizontal
// diagram (one column per depth, a folder's first sub-folder on its own row to its right,
// every further sibling on a new row below, joined by connector lines), and TMCD makes it a
// working folder manager: loading a drive from its tree file or by a rescan, and the folder
// operations. The rescan window walks a drive or a branch and lists its folders in pre-order.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foldermgr/MCDTree.h"
#include "foundation/MYTOOL.h"
#include "foundation/WaitDlg.h"
#include "framework/Controls.h"
#include "panels/DropSrc.h"
#include "panels/DropTgt.h"

// One folder of the diagram, and of a scan.
struct TMCDItem {
  std::wstring Name;  // the last component; for a root the root itself ("C:"), for a share its name
  std::wstring Path;  // full path without trailing backslash
  int32_t Depth = 0;
  bool FirstChild = false, LastChild = false;
  int32_t ParentIndex = -1;
  RECT Cell{};      // where the folder's cell was last painted (hit testing)
  RECT IconRect{};  // its icon and text
  int32_t TextWidth = -1;  // cached, -1: not measured yet
  int32_t ImageIndex = 0;
};
using TMCDScanItem = TMCDItem;

// Walks drive (a root or a folder, without trailing backslash): the first item is drive
// itself, then its sub-folders in pre-order, siblings sorted by name. Hidden and system folders
// count; links (junctions, symbolic links) are listed but never entered, and nothing deeper
// than the tree file's depth limit is entered. progress is asked after every entry with the
// items found so far and may stop the walk (false). False when drive is neither a root nor an
// existing folder.
bool ScanFolderTree(const std::wstring& drive, bool recursive, std::vector<TMCDScanItem>& items,
                    const std::function<bool(const std::vector<TMCDScanItem>& items)>& progress);

class TReScanForm : public TWaitingModalForm {
 public:
  explicit TReScanForm(TComponent* owner);
  std::wstring Drive;
  bool Recursive = true;
  bool Return() const { return FReturn; }
  const std::vector<TMCDScanItem>& Items() const { return FItems; }
  std::vector<TMCDScanItem> TakeItems() { return std::move(FItems); }
  void Work() override;

 private:
  bool FReturn = false;
  std::vector<TMCDScanItem> FItems;
};

// Rebuilds the tree file of the drive that holds path from a full scan in the rescan window;
// a stopped scan writes what was found. True when a scan ran.
bool ReScanDriveTree(TComponent* owner, const std::wstring& path);

// A name the user typed for a new or renamed folder: one component, not "." or "..", not
// only dots and blanks, and none of the characters a name cannot hold.
bool ValidFolderName(const std::wstring& name);

// ---- The diagram ----

class TCustomMCD : public TCustomControl {
 public:
  explicit TCustomMCD(TComponent* owner);
  ~TCustomMCD() override;

  // Items, in pre-order. Each change forgets the last painted position.
  int Count() const { return static_cast<int>(FItems.size()); }
  const TMCDItem& Item(int i) const { return FItems[static_cast<size_t>(i)]; }
  TMCDItem& Item(int i) { return FItems[static_cast<size_t>(i)]; }
  void AddItem(TMCDItem item);
  void InsertItem(int index, TMCDItem item);
  void DeleteItem(int index);
  void ClearItems();

  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return FUpdateCount > 0; }

  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int index);
  std::wstring GetSelectedPath() const;
  int DefaultIndex() const { return FDefaultIndex; }
  int DropTarget() const { return FDropTarget; }
  void SetDropTarget(int index);
  int ColumnWidth() const { return FColumnWidth; }
  void SetColumnWidth(int width);
  const std::wstring& SearchText() const { return FSearchText; }
  void SetSearchText(const std::wstring& text);
  // Copy or move marking: the source folder (with trailing backslash; empty: none).
  void SetSource(const std::wstring& path);
  const std::wstring& Source() const { return FSource; }
  int SourceFirst() const { return FSourceFirst; }
  int SourceLast() const { return FSourceLast; }
  void RememberSelection();
  void RestoreSelection();
  // Parent indices, first and last flags, the default folder index and the source range.
  void Relayout();
  int RootColumnWidth(const std::wstring& name);
  // The item whose painted cell holds the point, or -1.
  int HitTest(int x, int y) const;
  // Key navigation (Shift 1, Alt 2, Ctrl 4); true when the key was one of the view's.
  bool Navigate(TShiftState shift, WORD key);
  // code: SB_LINEUP .. SB_BOTTOM, SB_THUMBPOSITION with amount the position.
  void ScrollBy(bool vertical, int code, int amount);
  void EnsureVisible(bool centre);
  void UpdateScrollBars();
  void FindNext(bool again);
  // The row metrics from the font, the images and the row spacing setting.
  void ComputeMetrics();

  // Rows and columns as the layout found them.
  int RowCount() const { return static_cast<int>(FRowStart.size()); }
  int ColumnCount() const { return FColumnCount; }
  int RowOf(int index) const { return FRowOf[static_cast<size_t>(index)]; }
  int RowStart(int row) const { return FRowStart[static_cast<size_t>(row)]; }
  int TopItem() const { return FTopItem; }
  int LeftColumn() const { return FLeftColumn; }
  int VisibleRows() const;
  int VisibleColumns() const;
  // Screen x of a column's left edge, and the width of its cells.
  int ColumnX(int column) const;
  int CellWidth(int column) const;
  // The name as FolderNameCase shows it.
  static std::wstring CaseName(const std::wstring& name);
  // Rows painted by the last paint (a test of painting only what is on screen).
  int LastPaintedRows() const { return FPaintedRows; }

  // Settings.
  uint8_t BorderStyle = 1, ScrollBars = 3;
  std::wstring DefaultFolder;
  HIMAGELIST Images = nullptr;
  int ImageTop = 0, TextTop = 0;
  TColor TextColor = clWindowText, GrayTextColor = clBtnShadow, LineColor = clWindowText,
         DefaultColor = clWindowText, CopyColor = clWindowText, MoveColor = clWindowText;
  TColor BackColor = clWindow;
  int TextHeightPx = 0;
  int RowHeight = 14, Indent = 16, RootWidth = 30;
  bool RootConnector = false;
  uint8_t Mode = 0;  // 0 normal, 1 copy, 2 move
  std::wstring SavedCaption, ModeWord;

  // The selection or the mode changed.
  std::function<void(TCustomMCD* sender)> OnChange;
  // The quick search changed (again: a search for the next match was asked with no text).
  std::function<void(TCustomMCD* sender, bool again)> OnSearch;

 protected:
  void CreateParams(TCreateParams& params) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC) override { return true; }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void ParentSet() override;
  void FontChanged() override;
  void Resized() override;
  // A key press: the view's own keys and navigation, then HandleKey; true when used.
  virtual bool DoKeyDown(WORD key, int scanCode, TShiftState shift);
  // Keys after navigation (TMCD's table); true when used.
  virtual bool HandleKey(WORD key, int scanCode, TShiftState shift);
  // A typed character for the quick search.
  void KeyChar(wchar_t ch, int scanCode);
  void InvalidateAll();
  void InvalidateItem(int index);
  void SelectAndShow(int index, bool centre);

  std::vector<TMCDItem> FItems;
  int FItemIndex = -1;
  int FDefaultIndex = -1;
  int FDropTarget = -1;
  int FTopItem = 0;
  int FLeftColumn = 0;
  int FColumnWidth = 110;
  std::wstring FSearchText;
  std::wstring FSource;
  int FSourceFirst = -1, FSourceLast = -1;

 private:
  void PaintPass(HDC dc, const RECT& clip);
  void DrawConnector(HDC dc, const RECT& cell, int kind, TColor color);
  int MeasureText(HDC dc, TMCDItem& item);
  int FindFrom(const std::wstring& text, int start) const;
  int ClampTopRow(int row) const;
  int ClampLeft(int column) const;
  void SetTop(int row, int column);

  int FUpdateCount = 0;
  int FLastTop = -1, FLastLeft = -1;
  int FLastPainted = -1, FDeepestColumn = 0;
  int FColumnCount = 0;
  int FPaintedRows = 0;
  std::vector<int> FRowOf, FRowStart;
  std::wstring FRemembered;
  TPaintBuffer FPaintBuffer;
};

// ---- The folder manager ----

class TMCD : public TCustomMCD {
 public:
  explicit TMCD(TComponent* owner);
  ~TMCD() override;

  std::wstring RootPath;
  bool Changed = false;
  bool UserWidth = false;

  bool LoadDrive(const std::wstring& path, const std::wstring& selectPath);
  // 0 read, 1 the drive has no tree file, 2 missing, unreadable, empty or damaged.
  int ReadTreeFile(const std::wstring& rootPath);
  bool WriteTreeFile();
  bool ReScanDrive(const std::wstring& rootPath);
  bool ReScanBranch(int index, const std::wstring& path, bool recursive);
  bool Reload();
  int FindItem(const std::wstring& path) const;
  void SelectPath(const std::wstring& path);
  int InsertIndexFor(const std::wstring& path) const;
  bool FindOrScan(const std::wstring& path);
  int GetDriveIcon(const std::wstring& root);

  void Choose();
  void Cancel();
  void GoTo(const std::wstring& path);
  void ChangeDrive();
  void Rescan(bool branch, bool oneLevel);
  void RemoveSubList(const std::wstring& path, bool withSelf);
  void Rename();
  void NewFolder();
  void DeleteFolder(bool recycle);
  void Properties();
  void EnterMode(bool copy);
  void CopyMoveTo(const std::wstring& target);
  void EndMode();
  void ApplyItemWidth(int width);
  // what: true the column width, false the row spacing; step 0 reset, 1 increase, 2 decrease.
  void AdjustSize(bool width, int step);
  void ShowMenuAt(int x, int y, bool middle, bool fromHold);

  // Availability of the commands (menus and tool buttons).
  bool CanEdit() const { return Mode == 0 && FItemIndex > 0; }
  bool CanProperties() const;
  bool CanPaste() const;
  // The selected folder on the clipboard for copying or cutting; the clipboard's files copied
  // or moved into the selected folder as a drop there would.
  void CopyToClipboard(bool cut);
  void Paste();

  // Drag and drop. The view takes drops once it is made a drop target (after its drive is
  // loaded); a drag of the selected folder starts when a held button moves far enough.
  void EnableDrop();
  TDropFileTarget& DropIn() const { return *FDropIn; }
  // Drags the selected folder out (copy, move or link); a move takes the folder and its
  // sub-folders off the diagram.
  TDragResult DragSelected();

  // The host's pop-up menu at a client point (the folder manager dialog's menu).
  std::function<void(TMCD* sender, POINT client)> OnMenu;
  std::function<bool(TMCD* sender, const std::wstring& target, const std::vector<std::wstring>& names,
                     const std::vector<std::wstring>& files, int mode, bool sameFolder)>
      OnDrop;
  std::function<void(TMCD* sender, const std::wstring& path)> OnSelect;
  std::function<void(TMCD* sender)> OnCancel;
  // Before the view's own handling (before: true; the host may change or clear the key) and
  // after it (before: false).
  std::function<void(TMCD* sender, WORD& key, bool before, TShiftState shift)> OnKey;

  // The drive chooser (path, caption; the answer as the drive chooser gives it). Set by the
  // drive chooser when it is there; without it, a menu of the present drives.
  static std::function<std::wstring(const std::wstring& path, const std::wstring& caption)> DriveChooser;
  // The delete job of the program (path, 8.3 name, recycle); true when something was deleted.
  // Without one, the shell's delete.
  static std::function<bool(HWND owner, const std::wstring& path, const std::wstring& shortName, bool recycle)>
      FolderDeleter;

 protected:
  bool DoKeyDown(WORD key, int scanCode, TShiftState shift) override;
  bool HandleKey(WORD key, int scanCode, TShiftState shift) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void HandleCreated() override;

 private:
  HWND OwnerWnd() const;
  void AddNewFolderItem(const std::wstring& path);
  bool CheckRenameName(const std::wstring& initial, std::wstring& current);
  void TakeScan(std::vector<TMCDItem>&& items, const std::wstring& rootPath);
  void RestoreAfterReload(const std::wstring& remembered);
  void DropEnter();
  void DropOver(TShiftState shift, POINT point, DWORD& effect);
  void DropFiles(POINT point, DWORD& effect);
  std::wstring FRenameFolder;
  TDropFileTarget* FDropIn = nullptr;
  TDropFileSource* FDragOut = nullptr;
  TImageListHandle FDragImages;
  // The folder every dropped file comes from ("" when they come from several), and whether the
  // drop asks by its menu.
  std::wstring FCommonSource;
  bool FAskOnDrop = false;
  bool FDropWanted = false;
  int FDownIndex = -1;
  DWORD FDownTime = 0;
  TTimer* FHoldTimer = nullptr;
  POINT FDownPos{-1, -1};
  bool FHeldMenu = false;
  TTextEncoding FEncoding = TTextEncoding::Utf8;
};
