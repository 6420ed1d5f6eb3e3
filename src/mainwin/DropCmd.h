#pragma once
// The file clipboard and drag and drop of the main form: copy and cut of a panel's items to
// the clipboard, paste into a panel's folder, drags out of a panel, and the carrying out of
// files dropped on a panel (copy or move in the copy window, or shortcuts).
#include <functional>
#include <string>
#include <vector>

#include "framework/StringList.h"

class TQ7XForm;
class TMFList;

// What the archive commands bring to drags and drops (none without them). A drag out of an
// archive view: the files the list's chosen entries will be, the extraction that makes them
// (run at the drop) and what follows the drag. A drop into an archive view: the dropped files
// added to the archive.
using TArchiveDragHook = std::function<bool(TMFList& list, std::vector<std::wstring>& files,
                                            std::function<bool()>& extract, std::function<void()>& finish)>;
using TArchiveDropHook = std::function<bool(TMFList& list, const TStringList& files)>;
extern TArchiveDragHook ArchiveDragHook;
extern TArchiveDropHook ArchiveDropHook;

// Puts the clipboard commands (copy, cut, paste, paste into the current path) and the desktop
// shortcut command in place; called once at start-up.
void InstallDragDropCommands();

// Where a paste in the form's active panel goes: 0 nowhere (an archive, no folder), 1 the
// panel's folder.
int PanelPasteState(TQ7XForm& form);

// Files put into a folder: mode 0 copies, 1 moves (in the copy window), 2 makes shortcuts.
// doneNames gets the file names processed (CR-separated), sourceFolder the folder they came
// from when they share one. True when the target folder changed.
bool PutFilesIntoFolder(const std::wstring& targetFolder, int mode, const TStringList& files,
                        const TStringList& mappedNames, std::wstring& doneNames, std::wstring& sourceFolder);
