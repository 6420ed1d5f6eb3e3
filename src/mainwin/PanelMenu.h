#pragma once
// The pop-up menus of a panel's list: the shell's context menu of the selection, and the
// place where the "New" pop-up opens.
#include <windows.h>

class TQ7XForm;
class TPanelView;

// The shell's context menu of the panel's selection (in the order it was made), else of the
// focused item, else of the folder shown, at a screen point. The shell's rename runs the
// program's own rename command; after any other command the panel is read again. Inside an
// archive there is no shell menu: nothing happens.
void ShowPanelContextMenu(TQ7XForm& form, TPanelView& panel, POINT screenPoint);

// The shell's properties of the same items (the selection, else the focused item, else the
// folder shown); a beep when the shell shows none for one item. Nothing inside an archive.
void ShowPanelProperties(TQ7XForm& form, TPanelView& panel);

// Where the "New" pop-up of a panel opens: the top-left corner of its list, on the screen. A
// handler of the "New" command (RegisterCommand(1701, ...)) opens its menu there.
POINT NewPopupPoint(TPanelView& panel);
