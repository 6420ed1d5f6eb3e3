#pragma once
// The panel's commands while its folder tree has the focus (or while a command of the tree's
// own menu runs): copy, move, delete, rename, attributes, compress, the clipboard, a new
// folder, up, root, refresh and properties act on the tree's folder, with the tree's own
// tests of what its node allows. Also the tree's own menu of those commands.
#include <windows.h>

#include <string>

class TQ7XForm;
class TPanelView;

// Routes the commands to the tree; called once at start-up (with the folder tree).
void InstallFolderTreeCommands();

// The folder tree's own menu at a screen point; the tree has named the node it is for.
void ShowFolderTreeMenu(TQ7XForm& form, TPanelView& panel, POINT screenPoint);

// Asks for the name of a new folder inside folder and makes it (announced to the folder tree
// cache). The new folder's path; empty when none was made.
std::wstring MakeFolderIn(const std::wstring& folder);
