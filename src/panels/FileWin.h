#pragma once
// The panel window: one file panel with its path line, column header, file box and status
// line around the panel's file list. The main form creates one per panel, sets the events
// below and calls Setup; the window keeps its parts arranged as the panel's Parts bits say.
//
// The window owns its file list (TMFList) rather than being one: the listing, its rereads and
// its selection stand without a window (and are tested and measured so), while the window
// decides the order in which things end: the list's workers stop before the box they call
// back into is destroyed.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/StringList.h"
#include "panels/HanFileBox.h"
#include "panels/MFList.h"
#include "panels/PanelTree.h"

class THanHeaderControl;
class THanSplit;
class THToolBar;
class TListDropLink;
class THanPathLabel;
class TSystemFileData;
class TFileWin;

// Parts bits of the panel record.
constexpr int32_t fpPathLine = 1, fpHeader = 2, fpStatusLine = 4, fpFolderTree = 8, fpDriveBar = 16;

// The status line: texts in parts, a click reports the part.
class TPanelStatusLine : public TCustomControl {
 public:
  explicit TPanelStatusLine(TComponent* owner);
  void SetParts(const std::vector<std::wstring>& parts);
  const std::vector<std::wstring>& Parts() const { return FParts; }
  // The part at a client x, -1 for none.
  int PartAt(int x) const;
  std::function<void(TPanelStatusLine* sender, TMouseButton button, int part)> OnPartClick;

 protected:
  void Paint(TCanvas& canvas) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  std::vector<std::wstring> FParts;
  std::vector<int> FEdges;  // right edge of each part at the last paint
};

// What a drop on the panel's folder tree hands on: the panel, the folder dropped on, whether
// the files come from this program, the drop mode (copy, move, link), the files and their
// mapped names. True when the drop was carried out.
using TFolderTreeDropEvent = std::function<bool(TFileWin* panel, const std::wstring& targetPath, bool sameSource,
                                                int mode, const TStringList& files, const TStringList& mappedNames)>;

class TFileWin : public TPanel {
 public:
  // owner frees the window; it stands on parent (may be null) and shows panel panelNo (1 or 2).
  TFileWin(TComponent* owner, TControl* parent, int panelNo);
  ~TFileWin() override;

  // The panel set-up: the shared file types, the panel number, and whether the start folder
  // is listed now (otherwise at FirstLoad).
  void Setup(TSystemFileData* fileData, int panelNo, bool openStartFolder);
  // The first listing: the settings' folder of the panel (else the current folder, else
  // "C:\"), focus on the top item.
  void FirstLoad();

  TMFList& List() const { return *FList; }
  THanFileBox& Box() const { return *FBox; }
  THanPathLabel& PathLine() const { return *FPathLine; }
  THanHeaderControl& Header() const { return *FHeader; }
  TPanelStatusLine& StatusLine() const { return *FStatus; }
  int PanelNo() const { return FList->PanelNo; }

  // Parts (path line 1, header 2, status line 4, folder tree 8, drive bar 16) from the panel
  // record; shows and hides them and lays the window out again.
  void ArrangeParts();
  // Sets one part bit, stores it and tells OnPartsChange.
  void SetPart(int32_t bit, bool on);
  void UpdatePathLine();
  void UpdateStatusLine();
  // The header's sections from the box's columns (detail layout only): name (with the mark
  // and icon), extension, size, date, attributes when shown, and type or description; the
  // section of the sort key carries the direction's triangle.
  void RebuildHeader();
  // The sort key a header section stands for.
  TSortKey SectionSortKey(int section) const;

  // Selection commands of the panel with the asking of a pattern (the select history).
  bool SelectByName(bool select);

  // The main form's handlers.
  TNotifyEvent OnPartsChange;
  TKeyEvent OnListKeyDown;  // keys of the list before the list's own handling
  TKeyEvent OnListKeyUp;
  TKeyEvent OnTreeKeyDown;  // keys of the panel's folder tree
  TKeyEvent OnTreeKeyUp;
  TFolderTreeDropEvent OnFolderTreeDrop;
  // Files dropped on the list (after the drop returned to the dragging program), and a drag
  // of the list's items starting (rightButton: dragged with the right button).
  TFolderTreeDropEvent OnListDrop;
  std::function<void(TFileWin* panel, bool rightButton)> OnListBeginDrag;
  TListDropLink& ListDrop() const { return *FListDrop; }
  std::function<void(TFileWin* panel)> OnPanelActivate;
  std::function<int(TFileWin* panel)> OnDefaultTreeSize;
  std::function<void(TFileWin* panel, TMouseButton button, int part)> OnStatusClick;
  std::function<void(TFileWin* panel)> OnStateChange;
  std::function<void(TFileWin* panel)> OnQuickFind;
  std::function<void(TFileWin* panel, POINT screenPoint)> OnContextPopup;
  // The folder tree's own menu at a screen point (the tree names the node it is for).
  std::function<void(TFileWin* panel, POINT screenPoint)> OnTreeMenu;
  std::function<void(TFileWin* panel, int part)> OnPathClick;

  // The relay of the folder tree's drop: hands everything to OnFolderTreeDrop; false when no
  // handler is set.
  bool FolderTreeDrop(const std::wstring& targetPath, bool sameSource, int mode, const TStringList& files,
                      const TStringList& mappedNames);
  // The folder tree (of the folder manager) shown beside the list with part bit 8: made on
  // first need through PanelFolderTreeFactory, then kept; it follows the list's folder and
  // moves the list when the user picks another node.
  void LoadFolderTree();
  TPanelFolderTree* FolderTree() const { return FTree; }
  THanSplit* TreeSplitter() const { return FTreeSplit; }
  // Width (tree at the left or right) or height of the tree area.
  int TreeSize() const;
  void SetTreeSize(int size);
  // A folder changed outside the program (the shell said so): a loaded tree branch of its
  // parent is read again.
  void ShellPathChanged(const std::wstring& path);
  // The drive bar, set by whoever makes it: it stands on this window, shown with part bit 16,
  // above the path line or below the status line as the panel's DriveBarTop says.
  void SetDriveBar(THToolBar* bar);
  THToolBar* DriveBar() const { return FDriveBar; }

 protected:
  void Resized() override;
  void AlignFinished() override;

 private:
  void FitDriveBar();
  std::unique_ptr<TMFList> FList;
  THanPathLabel* FPathLine = nullptr;
  THanHeaderControl* FHeader = nullptr;
  bool FBuildingHeader = false;
  // The sort key and direction the header's sections last showed (-1: not drawn yet).
  int FHeaderSortMark = -1;
  TPanelStatusLine* FStatus = nullptr;
  THanFileBox* FBox = nullptr;
  void TreeFollowList();
  bool TreeAtTopOrBottom() const;
  TPanelFolderTree* FTree = nullptr;
  THanSplit* FTreeSplit = nullptr;
  std::wstring FTreePath;  // the folder the tree was last told
  THToolBar* FDriveBar = nullptr;
  TListDropLink* FListDrop = nullptr;
};
