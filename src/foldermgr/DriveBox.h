#pragma once
// The drive chooser: a small modal window listing the drives (letter, type and label), the
// shared disks of the network neighbourhood, and optionally the favourite folders and the
// recent copy and move targets; it returns the drive or the folder picked. A result that
// begins with ">" is a folder, not a drive.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/HanForm.h"
#include "framework/Controls.h"
#include "framework/Handles.h"

class THToolBar;
class THanPopupMenu;
class TPanelStatusLine;
struct TNetNode;

// What one node of the chooser stands for.
struct THanDriveData {
  std::wstring Path;
  std::wstring SecondName;  // the local name of a network entry
  bool Network = false;
  bool Selectable = false;  // choosing it returns the path
  bool Favourite = false;
  bool RecentTarget = false;
  bool Loaded = false;  // nothing more to read when it expands
  TNetNode* NetEntry = nullptr;
};

// A tree view: Shift first switches the input method out of Hangul (with HanShiftDrive);
// without modifiers the key of scan code 43 comes as VK_OEM_5 and that of 57 as the space bar.
// A tree view item's text, and the mark that it has children (shown as its button).
std::wstring TreeViewItemText(HWND tree, HTREEITEM item);
void TreeViewSetHasChildren(HWND tree, HTREEITEM item, bool has);

class THanTreeView : public TControl {
 public:
  explicit THanTreeView(TComponent* owner);
  HTREEITEM Add(HTREEITEM parent, const std::wstring& text, int image, THanDriveData data, HTREEITEM after = TVI_LAST);
  void Clear();
  THanDriveData* Data(HTREEITEM item) const;
  std::wstring Text(HTREEITEM item) const;
  HTREEITEM Selected() const;
  void Select(HTREEITEM item);
  HTREEITEM Root() const;
  HTREEITEM Next(HTREEITEM item) const;
  HTREEITEM Child(HTREEITEM item) const;
  HTREEITEM Parent(HTREEITEM item) const;
  bool Expanded(HTREEITEM item) const;
  void Expand(HTREEITEM item, bool expand);
  void SortChildren(HTREEITEM item);
  // Every node in display order, expanded or not.
  std::vector<HTREEITEM> AllItems() const;
  HTREEITEM ItemAt(POINT client) const;
  RECT TextRect(HTREEITEM item) const;
  void SetImages(HIMAGELIST images);
  // Shows the expansion button of a node whose children are not read yet.
  void SetHasChildren(HTREEITEM item, bool has);
  // Lines between the nodes (shown when network entries are listed).
  void SetLinesAtRoot(bool lines);

  std::function<void(HTREEITEM item, bool& allow)> OnExpanding;
  std::function<void(HTREEITEM item, bool expanded)> OnExpanded;
  std::function<void(HTREEITEM item)> OnSelChanged;

 protected:
  void CreateParams(TCreateParams& params) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;

 private:
  std::vector<std::unique_ptr<THanDriveData>> FData;
  bool FHangulChecked = false;
};

class THanDriveBox : public TComponent {
 public:
  explicit THanDriveBox(TComponent* owner);
  ~THanDriveBox() override;

  std::wstring InitialRoot;  // upper case, no trailing "\": "C:" or "\\SERVER\SHARE"
  std::wstring Caption, Title;
  bool NetworkOption = true;
  bool IconsOption = true;
  bool FavouritesOption = false;
  int NetExpandMode = 0;
  std::wstring Result;

  // Builds the window and runs it modally; true when it ended with OK.
  bool Execute();
  // Rereads the nodes (reread: the network too).
  void Fill(bool reread);
  // Chooses a node: a selectable one ends the window when its path can be reached.
  void Choose(HTREEITEM node, bool expandOtherwise);
  // A folder of the favourites (askFavourites: picked in the favourites window).
  void ChooseFolder(bool askFavourites, const std::wstring& path);
  // The popup menu's and tool bar's commands: 0 refresh, 1 connect, 2 disconnect, 3 map a
  // drive, 4 disconnect a drive.
  void Command(int tag);
  bool CanConnect() const;
  bool CanDisconnect() const;
  void KeyDown(WORD& key, TShiftState shift);

  THanForm* Window = nullptr;
  THToolBar* ToolBar = nullptr;
  THanTreeView* Tree = nullptr;
  THanPopupMenu* Popup = nullptr;
  TPanelStatusLine* StatusBar = nullptr;
  TImageListHandle DriveImages, ToolImages;
  DWORD LastExpansion = 0;

  // Called once the window is shown and filled (tests drive it from here).
  static std::function<void(THanDriveBox& box)> OnShownHook;
  // The system's network dialogs (tests replace them): connect a resource, disconnect a
  // local name from a remote one, map a drive, disconnect a drive. True on success.
  static std::function<bool(HWND owner, const std::wstring& remote)> ConnectDialog;
  static std::function<bool(HWND owner, const std::wstring& local, const std::wstring& remote)> DisconnectDialog;
  static std::function<bool(HWND owner)> MapDialog;
  static std::function<bool(HWND owner)> UnmapDialog;

 private:
  bool HasNetwork() const;
  void AddNetNodes(HTREEITEM parent, TNetNode& entry);
  void NodeSelected(HTREEITEM node);
  void Close(bool ok);
  void Build();
};

// The drive chooser (path: the caller's folder; the strings, the option bytes and the expand
// mode as the box takes them); result: "X:", a share, ">" + folder, or empty when cancelled.
void ChooseDrive(const std::wstring& path, const std::wstring& title, const std::wstring& caption, bool network,
                 bool icons, bool favourites, int expandMode, std::wstring& result);
void ChooseDriveDialog(const std::wstring& path, const std::wstring& caption, bool favourites, std::wstring& result);
