#pragma once
// What the main form needs of a panel window: the panel's number, its list, its parts and
// their sizes, focus and activation, and the events through which the panel talks back.
// The main form creates panels through a factory, so that it depends on this interface alone
// and not on how a panel paints or reads its folder.
#include <functional>
#include <string>

#include "framework/Controls.h"

class TMFList;
class TPanelFolderTree;
class TSystemFileData;

// Panel parts, as bits of a panel record's Parts.
constexpr int ppPathLine = 1, ppHeader = 2, ppStatusLine = 4, ppFolderTree = 8, ppDriveBar = 16;

class TPanelView : public TCustomControl {
 public:
  explicit TPanelView(TComponent* owner) : TCustomControl(owner) {}

  // Events the main form sets, each given the panel.
  std::function<void(TPanelView*)> OnPartsChanged;
  std::function<void(TPanelView*)> OnPanelActivate;
  std::function<void(TPanelView*)> OnStateChanged;
  std::function<void(TPanelView*)> OnDefaultTreeSize;
  std::function<void(TPanelView*, int part)> OnStatusClick;
  std::function<void(TPanelView*, const std::wstring& text)> OnQuickFind;
  // The list's keys: a handler that uses the key sets it to 0.
  std::function<void(TPanelView*, WORD& key, TShiftState shift)> OnListKeyDown;
  std::function<void(TPanelView*, WORD& key, TShiftState shift)> OnListKeyUp;
  // Enter on a file: the program choice; on the focused item in general: the open command.
  std::function<void(TPanelView*, const std::wstring& file)> OnOpenFile;
  std::function<void(TPanelView*)> OnOpenItem;
  // The list's context menu was asked for (right button or the menu key), at a screen point.
  std::function<void(TPanelView*, POINT screenPoint)> OnContextPopup;
  // The folder tree's own menu, at a screen point (the tree has set its command node).
  std::function<void(TPanelView*, POINT screenPoint)> OnTreeMenu;
  // Files dropped on the list (mode copy 0, move 1, link 2), and a drag of its items starting.
  std::function<bool(TPanelView*, const std::wstring& targetPath, bool sameSource, int mode, const TStringList& files,
                     const TStringList& mappedNames)>
      OnListDrop;
  std::function<void(TPanelView*, bool rightButton)> OnListBeginDrag;

  // Takes the shared file-type cache and the panel number; with openStartFolder the panel
  // lists its folder at once, else at FirstLoad.
  virtual void Setup(TSystemFileData* fileData, int panelNo, bool openStartFolder) = 0;
  // The first listing: the system's file types when needed, then a refresh with the focus on
  // the top item.
  virtual void FirstLoad() = 0;
  virtual int PanelNo() const = 0;
  virtual void SetPanelNo(int no) = 0;
  virtual TMFList& List() = 0;

  // The panel is the active one (its list or tree had the focus last).
  virtual bool IsActive() const = 0;
  virtual void SetActive(bool active) = 0;
  // Gives the focus to the list, or to the folder tree when it is shown and treeFocus is set.
  virtual void FocusPanel(bool treeFocus) = 0;
  virtual bool FolderTreeFocused() const { return false; }
  // The folder tree while the commands act on it: it has the focus, or its own menu's command
  // runs. Null otherwise.
  virtual TPanelFolderTree* CommandTree() const { return nullptr; }
  // A command has run: the tree's own menu no longer names a node.
  virtual void EndTreeCommand() {}

  // Parts: read from and kept in the panel's settings record.
  virtual void ArrangeParts() = 0;
  virtual void ShowCloseButton(bool show) = 0;
  virtual void UpdatePathDisplay() = 0;

  // Folder tree beside the list (none until the folder tree exists).
  virtual bool HasFolderTree() const { return false; }
  virtual void LoadFolderTree() {}
  // The folder tree follows the options after they changed (its icons, its colours).
  virtual void ApplyTreeOptions() {}
  virtual void RefreshTreeDrives(const std::wstring& /*root*/) {}
  // Selects a node of the folder tree (a network server among them) and expands it.
  virtual void ExpandTreePath(const std::wstring& /*path*/) {}
  virtual void TreeNotifyChange(int /*kind*/, const std::wstring& /*path*/, const std::wstring& /*newPath*/) {}
  virtual void BeginTreeUpdate() {}
  virtual void EndTreeUpdate() {}
  // Width (tree at the left or right) or height (at the top or bottom) of the tree area.
  virtual void SetTreeSize(int /*size*/) {}
  virtual int TreeSize() const { return 0; }

  // Rereads the folder keeping the selection and the focus; goes to another folder.
  virtual void Reread() = 0;
  virtual void ChangeDir(const std::wstring& path) = 0;
  // A shell event about this path; the list's own monitor does the work.
  virtual void NotifyShellPath(const std::wstring& /*path*/) {}
  // Widths of the list's columns 2 to 7 (name, extension, size, time, attributes, type).
  virtual void GetColumnWidths(int widths[6]) const = 0;
  virtual void SetColumnWidths(const int widths[6]) = 0;
  virtual void PlaceDriveBar(bool top) = 0;
  // The drives came or went: the drive bar gets a button per drive present now.
  virtual void RefreshDriveBar() {}
};

using TPanelFactory = std::function<TPanelView*(TComponent* owner)>;
