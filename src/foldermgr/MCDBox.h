#pragma once
// The folder manager window around the drive diagram (path line, quick-search label, tool bar,
// drive bar, key line, menus), run modally; and the program-wide folder chooser built on it.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "foldermgr/MCD.h"
#include "foundation/HLABEL.h"
#include "foundation/HanForm.h"
#include "foundation/HanPopup.h"
#include "foundation/ToolBtn.h"
#include "framework/Handles.h"

class TDriveBar;
class TMKeyLine;

class TMcdDialog : public TComponent {
 public:
  explicit TMcdDialog(TComponent* owner);
  ~TMcdDialog() override;

  std::wstring Caption, DriveCaption, InitialPath;
  bool ShowIcons = true;
  bool DriveFirst = false;
  // The chosen folder without trailing backslash (a root as "C:"); empty: nothing chosen.
  std::wstring Path;
  // Folders were created, renamed, deleted, copied or moved (or a mode was entered).
  bool Changed = false;

  // Shows the window and returns when it closes; true when a folder was chosen.
  bool Execute();
  void GoTo(const std::wstring& path);
  // The drop action: files (full paths) dropped on target (with trailing backslash); mode 0
  // copy, 1 move, 2 link; names: the names another program mapped them to (may be empty).
  bool DropAction(const std::wstring& target, const std::vector<std::wstring>& names,
                  const std::vector<std::wstring>& files, int mode, bool sameFolder);

  // The parts, made by Execute.
  THanForm* Form = nullptr;
  TMCD* View = nullptr;
  TPanel* TopPanel = nullptr;
  THanPathLabel* PathLabel = nullptr;
  THanElLabel* SearchLabel = nullptr;
  THToolBar* ToolBar = nullptr;
  TDriveBar* DriveBar = nullptr;
  TMKeyLine* KeyLine = nullptr;
  THanPopupMenu* Menu = nullptr;
  THanPopupMenu* DriveMenu = nullptr;
  THanPopupMenu* FavMenu = nullptr;

  // Called once the window is up, before its modal loop runs (tests drive it from here).
  static std::function<void(TMcdDialog& dialog)> OnShown;
  // The favourites list (current folder, allow editing; the chosen folder or empty). Set by the
  // favourites window when it is there.
  static std::function<std::wstring(const std::wstring& path, bool edit)> FavouritesList;

  // The commands of the window, as the menus, tool bar, key line and keys run them.
  enum TCommand {
    cmChoose, cmChangeDrive, cmCopy, cmMove, cmDelete, cmRename, cmNewFolder, cmProperties, cmClipCopy,
    cmClipCut, cmPaste, cmRescanDrive, cmRescanBranch, cmRescanLevel, cmRemoveSubList, cmToolBar,
    cmDriveBar, cmKeyLine, cmFavourites, cmDeleteNow, cmCount
  };
  void Run(TCommand command);
  bool Available(TCommand command) const;
  // The pop-up menu's items, the same as the menu would show now (command, visible).
  std::vector<std::pair<TCommand, bool>> MenuState() const;
  void KeyLineClick(int set, int label);
  // The path input (Ctrl+G) and the quick-search input (Shift+Ctrl+L).
  void AskPath();
  void AskSearch();

 private:
  void BuildWindow();
  void BuildToolBar();
  void BuildDriveBar();
  void BuildKeyLine();
  void FillKeyLine();
  void Arrange();
  void ViewChanged();
  void SearchChanged();
  void ViewKey(WORD& key, bool before, TShiftState shift);
  void ShowMenu(POINT client);
  void FillDriveMenu();
  void FillFavMenu();
  void GoToSlot(int slot);
  void GoToSpecial(int csidl);

  TImageListHandle FIcons, FToolImages, FToolGray, FMenuImages;
  wchar_t FShownDrive = 0;
};

// The folder chooser: the folder manager opened at initialPath; path gets the chosen folder,
// empty when nothing was chosen; changed tells that folders were edited meanwhile.
void SelectFolderDialog(const std::wstring& initialPath, const std::wstring& caption, const std::wstring& driveCaption,
                        bool showIcons, bool driveFirst, bool& changed, std::wstring& path);
void SelectFolderDialogSimple(const std::wstring& initialPath, const std::wstring& caption,
                              const std::wstring& driveCaption, bool showIcons, bool driveFirst, std::wstring& path);
void SelectFolderDialogShort(const std::wstring& initialPath, const std::wstring& caption, bool showIcons,
                             bool driveFirst, std::wstring& path);

// Puts the folder manager in place: the main form's command, the target chooser's folder
// button, and the rename dialog's tree cache. Called once at start-up.
void InstallFolderManager();
