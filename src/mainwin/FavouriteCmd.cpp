#include "mainwin/FavouriteCmd.h"

#include "foldermgr/DriveBox.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDBox.h"
#include "foldermgr/QCDBox.h"
#include "foundation/MOption.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "mainwin/CmdLine.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

bool OpenFavourite(TQ7XForm& form, TPanelView* panel, const std::wstring& path) {
  if (!panel || path.empty()) return false;
  if (!CheckPathReachable(form.Handle(), IncludeTrailingBackslash(path))) return false;
  panel->ChangeDir(path);
  panel->FocusPanel(false);
  form.UpdateCommandStates();
  return true;
}

void OpenChosenDrive(TQ7XForm& form, TPanelView* panel, const std::wstring& result) {
  if (!panel || result.empty()) return;
  std::wstring dir;
  if (result[0] == L'>') {
    dir = result.substr(1);
  } else if (result.size() == 2 && result[1] == L':') {
    CurrentDirs.GetDir(result + L"\\", dir);
    if (dir.empty() || !FolderExists(dir)) dir = result + L"\\";
  } else {
    dir = IncludeTrailingBackslash(result);
  }
  panel->ChangeDir(dir);
  panel->FocusPanel(false);
  form.UpdateCommandStates();
}

void InstallFavouriteCommands() {
  // The folder manager and the command lines open the same two windows.
  auto favourites = [](const std::wstring& current, bool allowEdit) {
    std::wstring path;
    ShowQCD(current, allowEdit, path);
    return path;
  };
  FavouritesDialog = favourites;
  TMcdDialog::FavouritesList = favourites;
  TMCD::DriveChooser = [](const std::wstring& path, const std::wstring& caption) {
    std::wstring result;
    ChooseDriveDialog(path, caption, true, result);
    return result;
  };
  // A command line's drive code wants a drive, never a folder.
  DriveDialog = [](const std::wstring& path, const std::wstring& caption) {
    std::wstring result;
    ChooseDriveDialog(path, caption, false, result);
    return result;
  };
  RegisterCommand(6002, [](TQ7XForm& f, TShiftState) {
    TPanelView* p = f.ActivePanel();
    if (!p) return;
    std::wstring path;
    ShowQCD(ExcludeTrailingBackslashKeepRoot(p->List().Path), true, path);
    // Titles may have changed: the key line shows them.
    f.FillKeyLine();
    OpenFavourite(f, p, path);
  });
  RegisterCommand(6003, [](TQ7XForm& f, TShiftState) {
    TPanelView* p = f.ActivePanel();
    if (!p) return;
    std::wstring result;
    ChooseDriveDialog(p->List().Path, LoadMessageText(4201), true, result);
    OpenChosenDrive(f, p, result);
  });
}
