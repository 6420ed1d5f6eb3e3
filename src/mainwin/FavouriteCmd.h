#pragma once
// The favourites and the drive chooser on the main form: the favourites window (F11), the
// drive chooser of the active list (Shift+F12, and the list's drive entry), and the favourite
// hot keys, which never open another folder in place of one that is gone.
#include <string>

class TQ7XForm;
class TPanelView;

void InstallFavouriteCommands();
// Goes to a favourite folder in the panel when it can be reached; otherwise the reason is
// shown and the panel stays. True when the panel went there.
bool OpenFavourite(TQ7XForm& form, TPanelView* panel, const std::wstring& path);
// What the drive chooser returned, opened in the panel: a drive at its remembered folder, a
// share, or ">" and a folder.
void OpenChosenDrive(TQ7XForm& form, TPanelView* panel, const std::wstring& result);
