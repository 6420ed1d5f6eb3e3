#pragma once
// The shell-namespace folder tree beside each file panel: the Desktop at the root, My
// Computer with the drives, the network and the file-system folders of the desktop below it.
// Nodes are read lazily from the shell when first expanded. TMCustomFolderTree holds the
// nodes, their lookups and refreshes and receives the program's folder-change notices;
// TMFolderTree adds what the user does with it (mouse, keys, menus, drag and drop).
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "framework/Controls.h"
#include "panels/PanelTree.h"

class TDropFileTarget;
class TDropFileSource;

// The kind byte of a node.
enum TFolderNodeKind : uint8_t {
  fnkFolder = 0,      // file-system folder or other kept item
  fnkNetwork = 1,     // Network Neighborhood
  fnkMyComputer = 3,  // My Computer
  fnkDesktop = 4,     // the root
  fnkNetItem = 5,     // an item under the Network Neighborhood
  fnkPersonal = 6,    // My Documents directly under the Desktop
  fnkNone = 7,        // no node (never stored)
};

enum TDisplayMode : uint8_t { dmAsis = 0, dmUppercase = 1, dmLowercase = 2 };

// The attribute bits asked of the shell for every node.
constexpr ULONG kFolderNodeAttrs = SFGAO_FILESYSTEM | SFGAO_HASSUBFOLDER | SFGAO_SHARE | SFGAO_LINK;

struct TFolderNodeData {
  std::wstring Path;         // the parsing name (full path for file-system items)
  std::wstring DisplayName;  // the in-folder name
  IShellFolder* Folder = nullptr;
  uint8_t Kind = fnkFolder;
  LPITEMIDLIST AbsPidl = nullptr;
  LPITEMIDLIST RelPidl = nullptr;
  ULONG Attributes = 0;
  ~TFolderNodeData();
};

// A buffered folder-change notice.
struct TNotifyBufferRecord {
  int Op = 0;
  std::wstring Path1, Path2;
};

using TTreeNode = HTREEITEM;

class TMCustomFolderTree : public TPanelFolderTree {
 public:
  explicit TMCustomFolderTree(TComponent* owner);
  ~TMCustomFolderTree() override;

  // ---- TPanelFolderTree ----
  void Loaded() override;
  void SetQuietEnumeration(bool quiet) override { FQuiet = quiet ? 1 : 0; }
  void SetChangeDelay(unsigned ms) override { FChangeDelay = ms; }
  void SetLargeIcon(bool large) override { LargeIcon = large; }
  void ApplyOptions() override;
  void SelectPath(const std::wstring& path) override;
  void ExpandPath(const std::wstring& path) override;
  std::wstring GetSelectedPath() const override;
  void RefreshFolder(const std::wstring& path) override;
  void RefreshTree(bool all) override;
  void RefreshDrives() override;
  void RefreshDrive(wchar_t letter) override;
  void NotifyChange(int op, const std::wstring& path1, const std::wstring& path2) override;
  void BeginNotifyBuffer() override;
  void EndNotifyBuffer() override;

  bool LargeIcon = false;
  unsigned ChangeDelay() const { return FChangeDelay; }
  TDisplayMode DisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(TDisplayMode mode);
  HWND MessageHandle() const { return FMessageHandle; }

  // Nodes and their data.
  TTreeNode GetCommandNode() const;
  void SetCommandNode(TTreeNode node) { FCommandNode = node; }
  bool HasCommandNode() const override { return FCommandNode != nullptr; }
  void ClearCommandNode() override { FCommandNode = nullptr; }
  std::wstring GetNodePath(TTreeNode node) const;
  LPCITEMIDLIST GetNodePIDL(TTreeNode node) const;
  uint8_t GetNodeKind(TTreeNode node) const;
  TFolderNodeData* NodeData(TTreeNode node) const;
  std::wstring NodeText(TTreeNode node) const;
  TTreeNode Selected() const;
  TTreeNode GetRootNode() const;
  TTreeNode GetMyComputerNode() const;
  TTreeNode GetNetworkNode() const;
  TTreeNode ParentNode(TTreeNode node) const;
  TTreeNode FirstChild(TTreeNode node) const;
  TTreeNode NextSibling(TTreeNode node) const;
  std::vector<TTreeNode> Children(TTreeNode node) const;
  int ChildCount(TTreeNode node) const { return static_cast<int>(Children(node).size()); }
  bool HasChildren(TTreeNode node) const;
  bool Expanded(TTreeNode node) const;
  bool IsNodeInTree(TTreeNode node) const;
  int NodeCount() const { return static_cast<int>(FNodes.size()); }
  // Selects and shows a node (no user change).
  void SelectNode(TTreeNode node);
  // Expands a node as the user would (loading its children first); false when refused.
  bool ExpandNode(TTreeNode node);
  void CollapseNode(TTreeNode node);
  bool ExpandWithoutUI(TTreeNode node);
  RECT NodeTextRect(TTreeNode node) const;
  // The node whose label or icon lies at the client point (buttons too with withButton).
  TTreeNode NodeAt(POINT client, bool withButton = false) const;

  // Lookups.
  TTreeNode FindNodeByPidl(LPCITEMIDLIST pidl, bool expand);
  TTreeNode FindNodeForPath(const std::wstring& path);
  TTreeNode FindNodeByPath(const std::wstring& path) const;
  void SelectPathAndNotify(const std::wstring& path);
  void RefreshCommandNode() override;
  void DoUserChange(TTreeNode node);

  void BeginUpdate();
  void EndUpdate();
  void FlushNotifyBuffer();
  int NotifyBufferDepth() const { return FNotifyDepth; }
  int BufferedNotices() const { return static_cast<int>(FNotifyBuffer.size()); }

  // How many times a branch was enumerated from the shell (to tell a refresh from a rescan).
  int EnumerationCount = 0;

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;

  void BuildRoot();
  TTreeNode AddFolderNode(LPITEMIDLIST relPidl, TTreeNode parent, bool top);
  bool FillNode(TTreeNode node);
  void UpdateNode(TTreeNode parent, TTreeNode node, LPCITEMIDLIST relPidl);
  bool RefreshChildren(TTreeNode node, bool recursive, bool keepData);
  void RefreshNode(TTreeNode node, bool keepData);
  void DeleteNode(TTreeNode node, bool notify);
  void DeleteChildren(TTreeNode node, bool notify);
  void RefreshDriveNodes(const std::wstring& drive);
  void ResetDriveNode(wchar_t letter, bool force);
  void VerifySelection();
  void SortChildren(TTreeNode node);
  // The network path fix-up after a node's children were read; true when the path changed.
  bool NetworkPathFixup(TTreeNode node);
  IShellFolder* FolderOf(TTreeNode node) const;
  HWND EnumOwner() const;
  void SetHasChildren(TTreeNode node, bool has);
  void SetNodeText(TTreeNode node, const std::wstring& text);
  void SetNodeIcons(TTreeNode node, LPCITEMIDLIST absPidl, ULONG attrs);
  void ApplyDisplayMode(TTreeNode node);
  std::wstring ModeText(const std::wstring& text) const;

  // Notices.
  void BufferNotify(int op, const std::wstring& path1, const std::wstring& path2);
  void RenameFolder(const std::wstring& oldPath, const std::wstring& newPath);
  void ApplyRename(TTreeNode node, LPITEMIDLIST oldPidl, const std::wstring& oldPath, const std::wstring& newPath,
                   LPITEMIDLIST newPidl);
  LPITEMIDLIST FindChildPidl(TTreeNode node, LPCITEMIDLIST newPidl);

  // Selection changes.
  virtual void SelectionChanged(TTreeNode node, UINT action);
  // A node left the tree (its data is freed already).
  virtual void NodeGone(TTreeNode) {}
  void ChangeTimerFired();
  bool CanExpand(TTreeNode node);

  TTreeNode FCommandNode = nullptr;
  uint8_t FQuiet = 0;
  int FUpdateDepth = 0;
  HIMAGELIST FSystemImages = nullptr;
  TImageListHandle FOwnImages;
  std::wstring FDesktopPath;
  HWND FMessageHandle = nullptr;
  TDisplayMode FDisplayMode = dmAsis;
  IShellFolder* FDesktopFolder = nullptr;
  LPITEMIDLIST FMyComputerPidl = nullptr;
  LPITEMIDLIST FNetworkPidl = nullptr;
  LPITEMIDLIST FDesktopPidl = nullptr;
  int FNotifyDepth = 0;
  std::vector<TNotifyBufferRecord> FNotifyBuffer;
  uint8_t FNetworkFlag = 0;
  unsigned FChangeDelay = 0;
  TTimer* FChangeTimer = nullptr;
  TTreeNode FChangeNode = nullptr;
  bool FDestroying = false;
  bool FLoadPending = false;
  bool FAutoExpand = false;
  std::unordered_set<TTreeNode> FNodes;

  friend void ApplyFolderTreeIcons(TMCustomFolderTree& tree);
};

// After the options changed: shows or hides the icons as FTreeShowIcon says.
void ApplyFolderTreeIcons(TMCustomFolderTree& tree);

class TMFolderTree : public TMCustomFolderTree {
 public:
  explicit TMFolderTree(TComponent* owner);
  ~TMFolderTree() override;

  void CopyToClipboard(bool copy) override;
  void PasteFromClipboard(bool asLink) override;
  void GoUp() override;
  void GoRoot() override;
  void ShowProperties() override;
  void RenameByKey();
  // The node menu at a client point (middle: from the middle button; hover: from the timer).
  void ShowNodeMenu(int x, int y, bool middle, bool hover);
  // Sends a key to the key handler and acts on what it leaves; returns that key (0 when the
  // handler used it).
  WORD DoTreeKey(TShiftState shift, WORD key, UINT scanCode);

  // The command predicates the panel forwards while the tree has the focus.
  bool IsFileSystemNode() const override;
  bool HasPath() const override;
  bool CanCopy() const override;
  bool CanRename() const override { return CanCopy(); }
  bool CanMove() const override;
  bool CanSplit() const { return CanMove(); }
  bool CanCut() const override { return CanMove(); }
  bool CanDelete() const override { return CanMove() && CanCopy(); }
  bool CanCopyClip() const override { return CanDelete(); }
  bool NotInArchive() const { return IsFileSystemNode(); }
  bool CanAttr() const override;
  bool CanCompress() const override { return CanAttr(); }
  bool CanGoUp() const override;
  bool CanPaste() const override;
  int FocusedState() const override { return GetCommandNode() && CanPaste() ? 1 : 0; }
  bool CanProperties() const override { return GetCommandNode() != nullptr; }
  bool CanOpenWith() const { return CanProperties(); }
  bool CanShowDesc() const { return true; }
  bool HasSelectionOrFocus() const { return false; }
  bool CanViewArchive() const { return false; }
  bool CanEditFile() const { return false; }
  bool CanDragCopy() const;
  bool CanDragMove() const;
  bool CanDragLink() const { return CanDragCopy(); }

  TDropFileTarget& DropTarget() const { return *FDropTarget; }
  TDropFileSource& DragSource() const { return *FDragSource; }
  TTreeNode DropHighlight() const;
  // The drop handlers (public so that tests drive them as the system's drag loop does).
  void DropEnter(TShiftState shift, POINT point, DWORD& effect);
  void DropEffect(TShiftState shift, POINT point, DWORD& effect);
  void DropLeave();
  void DropFiles(DWORD& effect, POINT point);
  bool DropStayCheck(POINT point);
  void DropStayTimer(POINT point);

 protected:
  void HandleCreated() override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void HighlightNode(TTreeNode node);
  void HoverTimerFired();
  // The node menu at the selected node, as from the menu key.
  void MenuAtSelection();
  void MouseMoved(WPARAM wp, int x, int y);
  void StartDrag();
  void ShiftDriveJump(wchar_t letter);
  void ResetPress();
  void NodeGone(TTreeNode node) override;

  POINT FLastMove{-1, -1};
  POINT FPress{-1, -1};
  TTreeNode FPressNode = nullptr;
  DWORD FPressTime = 0;
  std::wstring FSourceFolder;
  uint8_t FShowDropMenu = 0;
  TImageListHandle FDragImages;
  TTimer* FHoverTimer = nullptr;
  TDropFileTarget* FDropTarget = nullptr;
  TDropFileSource* FDragSource = nullptr;
  bool FShiftSeen = false;
};

// Installs the panel tree factory, the folder tree command (3000) and the routing of the
// panel's commands to the tree.
void InstallPanelFolderTree();
