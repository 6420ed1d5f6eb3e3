#pragma once
// The ACE library driver: the loader of UnAceV2.Dll and the extraction of TAceArchiveControl
// when the program does the work itself. The library reads the archive and writes the files; the
// driver gives it the selection and answers its callbacks with the control's hooks.
#include <string>

#include "archive/layer/ArcCtrl.h"

// The library's file name, loaded from a folder or by the system's search order.
extern std::wstring UnAceLibraryName;

// Loads dir + "\" + the library (dir + the library when dir is empty or ends with "\") and
// resolves its five calls; a missing library or call gives False and leaves nothing loaded.
bool LoadUnAceDll(const std::wstring& dir);
void UnloadUnAceDll();
bool UnAceDllLoaded();

// One "ACEExtract" call over the file list already in the driver's list buffer.
int AceDllExtract(const std::wstring& archiveName, const std::wstring& destDir, const std::wstring& password,
                  bool excludePath);

// The extraction through the library, after the base Extract.
TArcResultCode AceDllRun(TGeneralArchiveControl& control);
