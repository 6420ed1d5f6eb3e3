#pragma once
// The RAR library driver: the loader of unrar.dll and the extraction of TRarArchiveControl when
// the program does the work itself. The library decompresses; the driver decides per entry,
// asks the control's questions, and writes the data the library hands to its callback.
#include <string>

#include "archive/layer/ArcCtrl.h"

// The library's file name, loaded by the system's search order (the program's folder first).
extern std::wstring UnRarLibraryName;

// True at once when loaded; otherwise loads the library and resolves its nine calls. A missing
// library or call gives False (and nothing stays loaded).
bool LoadUnRarDll();
void UnloadUnRarDll();
bool UnRarDllLoaded();

// The extraction through the library, after the base Extract.
TArcResultCode RarDllRun(TGeneralArchiveControl& control);
