#pragma once
// Messages to the main form. The first parameter is the sending panel's number, 1 or 2.
#include <windows.h>

#include "panels/MFList.h"  // WM_REREADOTHER, WM_LOADPANELTREE, WM_DUPHEADERSIZE, WM_DUPTREESIZE: sent by the panels

constexpr UINT WM_PANELTREE = WM_APP + 1;       // lParam <> 0: toggle the sender's folder tree; 0: close it
constexpr UINT WM_SHOWSETUP = WM_APP + 4;       // run the options dialog (posted)
constexpr UINT WM_SYNCDRIVEBAR = WM_APP + 7;    // drive bar moved
constexpr UINT WM_SHELLNOTIFY = WM_USER + 2;    // the shell's change notifications
// The update check's worker reports its answer (lParam: the answer, owned by the receiver).
constexpr UINT WM_UPDATECHECKED = WM_APP + 20;
