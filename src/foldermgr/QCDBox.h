#pragma once
// The favourites window: the twenty favourite folder slots of the settings (Shift+F1..F10,
// Ctrl+Shift+F1..F10), listed to pick one, and edited: path, title, delete, move up and down.
// The slots are written to the History file when the window closes after a change.
#include <windows.h>

#include <functional>
#include <string>

#include "foundation/HanForm.h"
#include "foundation/ScrListV.h"
#include "framework/Handles.h"

class THToolBar;
class THanPopupMenu;
class TPanelStatusLine;
class TToolButton;
struct TMenuItemRec;

// The folder chooser the window opens for a slot's path: start folder (no trailing "\"),
// caption, small icons; the chosen folder, or empty. Unset, the folder manager's chooser
// serves; tests answer it here.
using TQCDFolderChooser =
    std::function<std::wstring(const std::wstring& start, const std::wstring& caption, bool icons)>;
extern TQCDFolderChooser QCDFolderChooser;

class TQCDForm : public THanForm {
 public:
  // Actions: the numbers menu items and tool buttons carry as their tag.
  enum : int { acChoose = 1, acPath = 2, acTitle = 3, acDelete = 4, acUp = 5, acDown = 6, acCancel = 7 };

  explicit TQCDForm(TComponent* owner);
  ~TQCDForm() override;

  std::wstring ResultPath;
  bool AllowEdit = false;
  std::wstring CurrentPath;
  bool Modified = false;

  TImageListHandle Images;
  THanPopupMenu* Popup = nullptr;
  THToolBar* ToolBar = nullptr;
  TScrListView* List = nullptr;
  TPanelStatusLine* StatusBar = nullptr;

  // Runs an action on the selected row.
  void Action(int action);
  // Enables the commands for the selected row.
  void UpdateCommands();
  // Fills the rows from the slots and selects the current path's slot (else the first row).
  void FormShow();
  // Writes the rows back into the slots when modified, and the column widths.
  void FormClose();
  // The tool button and menu item of an action (null when it has none).
  TToolButton* Button(int action) const;
  TMenuItemRec* MenuItem(int action) const;

  // Called once the window is shown, with the list focused (tests drive it from here).
  static std::function<void(TQCDForm& form)> OnShownHook;

 private:
  void ListKey(WORD& key, TShiftState shift);
  void ListChar(wchar_t& ch);
  void SwapRows(int from, int to);
  void ShowPopupAtRow();
  int Selected() const;
  bool FClosed = false;
};

// The bars of the folder manager's small windows: a flat tool bar at the top that wraps,
// coloured and captioned by the settings (hints when the captions are hidden), and a one-part
// status bar at the bottom as high as the main font.
THToolBar* NewWindowToolBar(TControl* window, HIMAGELIST images);
TPanelStatusLine* NewWindowStatusBar(TControl* window);

// The modal favourites list, owned by the active form; path := the chosen slot's folder when
// it ends with OK, else empty.
void ShowQCD(const std::wstring& currentPath, bool allowEdit, std::wstring& path);
