#pragma once
// The shell's context menu and properties for files and folders.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <string_view>

// Runs the shell's "properties" command on one path, no menu shown.
bool ShowShellProperties(std::wstring_view path, HWND ownerWnd);
// The same for count items given as child identifier lists of folder (extra has no effect).
bool ShowShellPropertiesPidls(IShellFolder* folder, LPCITEMIDLIST* pidls, int extra, HWND ownerWnd, int count);
// Pops up the shell's context menu of one path at the screen point and runs the chosen
// command. When the user picks the shell's rename command it is not run: renameChosen is set
// and the caller renames by itself; canRename tells whether rename is offered. True when a
// command was chosen (and, but for rename, ran).
bool ShowShellContextMenuAt(std::wstring_view path, HWND ownerWnd, POINT point, bool canRename, bool& renameChosen);
// The same for count items of one folder given as child identifier lists (extra has no
// effect).
bool ShowShellContextMenuPidlsAt(IShellFolder* folder, LPCITEMIDLIST* pidls, int extra, HWND ownerWnd, POINT point,
                                 int count, bool canRename, bool& renameChosen);

// Chooses a command of a built shell menu: returns its id, or 0 for none. verbOf gives the
// shell's verb ("open", "copy", "rename", ...) of an id. By default the menu is tracked at the
// point for the user; a test puts its own choice here.
using TShellMenuPicker = std::function<UINT(HMENU menu, HWND owner, POINT point,
                                            const std::function<std::wstring(UINT id)>& verbOf)>;
extern TShellMenuPicker ShellMenuPicker;
