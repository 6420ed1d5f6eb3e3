#pragma once
// The folder tree beside a panel's list, as the panel window sees it. The tree itself (the
// shell's namespace, its nodes and their notices) belongs to the folder manager, which
// installs a factory here at start-up; the panel window creates its tree through it when the
// tree is first shown, so that the panels never reach up into the folder manager.
#include <windows.h>

#include <functional>
#include <string>

#include "framework/Controls.h"
#include "framework/StringList.h"

class TPanelFolderTree : public TControl {
 public:
  explicit TPanelFolderTree(TComponent* owner) : TControl(owner) {}

  // Builds the root and its first level (the window must exist).
  virtual void Loaded() = 0;
  // While set, the shell's enumerations own no window and so show no dialogs.
  virtual void SetQuietEnumeration(bool quiet) = 0;
  // Delay of the user change after keyboard moves (0: at once).
  virtual void SetChangeDelay(unsigned ms) = 0;
  virtual void SetLargeIcon(bool large) = 0;
  // Takes up the options of its icons and colours after they changed.
  virtual void ApplyOptions() = 0;

  // Selects the node of the folder, loading the levels down to it; tells nobody.
  virtual void SelectPath(const std::wstring& path) = 0;
  // Selects the node of the path as SelectPath does and opens it.
  virtual void ExpandPath(const std::wstring& path) = 0;
  // The file-system path of the command node (else the selected node); "" when none.
  virtual std::wstring GetSelectedPath() const = 0;
  // Re-reads the loaded node of the folder and its children.
  virtual void RefreshFolder(const std::wstring& path) = 0;
  virtual void RefreshTree(bool all) = 0;
  virtual void RefreshDrives() = 0;
  virtual void RefreshDrive(wchar_t letter) = 0;
  // The folder-change notices (1 created, 2 renamed, 3 deleted) and their buffer.
  virtual void NotifyChange(int op, const std::wstring& path1, const std::wstring& path2) = 0;
  virtual void BeginNotifyBuffer() = 0;
  virtual void EndNotifyBuffer() = 0;

  // ---- The panel's commands, while the tree has the focus or its own menu's command runs ----
  // They act on the command node: the node the tree's own menu was opened on, else the
  // selected node.
  virtual bool HasCommandNode() const = 0;
  virtual void ClearCommandNode() = 0;
  virtual bool IsFileSystemNode() const = 0;
  virtual bool HasPath() const = 0;
  virtual bool CanCopy() const = 0;
  virtual bool CanRename() const = 0;
  virtual bool CanMove() const = 0;
  virtual bool CanCut() const = 0;
  virtual bool CanDelete() const = 0;
  virtual bool CanCopyClip() const = 0;
  virtual bool CanAttr() const = 0;
  virtual bool CanCompress() const = 0;
  virtual bool CanGoUp() const = 0;
  virtual bool CanPaste() const = 0;
  // 1 when the command node takes a paste, else 0.
  virtual int FocusedState() const = 0;
  virtual bool CanProperties() const = 0;
  virtual void CopyToClipboard(bool copy) = 0;
  virtual void PasteFromClipboard(bool asLink) = 0;
  virtual void GoUp() = 0;
  virtual void GoRoot() = 0;
  virtual void ShowProperties() = 0;
  // Reads the command node and its children again.
  virtual void RefreshCommandNode() = 0;

  // The user moved to a node: its file-system path ("" for a node that has none).
  std::function<void(const std::wstring& path)> OnUserChange;
  // Keys for the main form's dispatcher (it may clear the key), and their release.
  std::function<void(WORD& key, TShiftState shift)> OnTreeKey;
  std::function<void(WORD& key, TShiftState shift)> OnTreeKeyUp;
  std::function<void()> OnFocus;
  std::function<void()> OnKillFocus;
  // Files dropped on a node: the folder, same source, mode (copy 0, move 1, link 2), the files
  // and their mapped names; true when carried out.
  std::function<bool(const std::wstring& targetPath, bool sameSource, int mode, const TStringList& files,
                     const TStringList& mappedNames)>
      OnDrop;
  // The tree's own menu at a screen point, while the command node is set; runs the chosen
  // command. Without it the tree offers the shell's menu alone.
  std::function<void(POINT screen)> OnOwnMenu;
};

// Made by the folder manager's installation; null until then (the panels then show no tree).
using TPanelFolderTreeFactory = std::function<TPanelFolderTree*(TComponent* owner)>;
extern TPanelFolderTreeFactory PanelFolderTreeFactory;
