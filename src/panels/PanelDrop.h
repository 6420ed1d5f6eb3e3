#pragma once
// Files leave and enter a file list: which files a drag or the clipboard takes from a list,
// where a drop on the list goes, and the drop target that a list's window carries.
#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/StringList.h"
#include "panels/DropTgt.h"

class TMFList;

// The full paths a drag or the clipboard takes from a list: the selection in its order, else
// the focused item; never a drive entry or "..". None in an archive.
std::vector<std::wstring> ListItemPaths(TMFList& list);
// The list shows a folder that files can be put into.
bool ListTakesFiles(TMFList& list);
// Where a drop on the item index goes: a folder item (not "..") is entered; elsewhere the
// list's folder. Empty when the list takes no files.
std::wstring ListDropFolder(TMFList& list, int index);

// Whether the archive a list shows takes dropped files (the archive layer sets it; without it
// archives take none). A drop into an archive view is always a copy.
extern std::function<bool(TMFList& list)> ArchiveTakesFiles;

// The drop menu at a screen point: move here, copy here, shortcut here, a separator and
// cancel. Entries for effects the drag does not allow are left out and the entry of the
// current effect is the default. The effect chosen; 0 for cancel, and at once when the drag
// allows none of the three.
DWORD ChooseDropEffect(HWND owner, POINT screen, DWORD effect, DWORD allowed);
// A drop asks by the menu: dragged with the right button, or the user wants the menu always.
bool AskOnDrop(bool rightButton);

// Drop modes: copy 0, move 1, link 2; and the effect of each.
int DropModeOfEffect(DWORD effect);
// The effect of a drop without keys, as the shell chooses it: nothing onto the folder the
// files come from; a move within one drive, else a copy; always among the allowed ones.
DWORD DefaultDropEffect(const TStringList& files, const std::wstring& targetFolder, DWORD allowed);

// What a drop hands on: the folder, whether the files come from this program, the mode, the
// files and their mapped names. True when it was carried out.
using TFileDropEvent = std::function<bool(const std::wstring& targetPath, bool sameSource, int mode,
                                          const TStringList& files, const TStringList& mappedNames)>;

// The drop target of a list window.
class TListDropLink : public TComponent {
 public:
  // owner frees the link; window shows list; itemAt gives the item index at a client point.
  TListDropLink(TComponent* owner, TControl& window, TMFList& list, std::function<int(POINT)> itemAt);
  // Registers the window once it has its handle (again after it was made anew).
  void Attach();
  TDropFileTarget& Target() { return *FTarget; }
  // Runs after the drop has returned to the dragging program, so that a long copy does not
  // hold it.
  TFileDropEvent OnDrop;

 private:
  TControl& FWindow;
  TMFList& FList;
  std::function<int(POINT)> FItemAt;
  TDropFileTarget* FTarget;
};

// Runs a piece of work from the message loop, after the current message.
void PostToMessageLoop(std::function<void()> work);
