#pragma once
// The system's own text for a Windows error code, in a given language (0: the system's
// choice), with the trailing line breaks and other characters below "!" cut; empty when the
// system has none. The program's one caller of FormatMessageW for system errors: the
// foundation's GetSystemErrorText adds the language file's choice on top.
#include <windows.h>

#include <string>

std::wstring SystemMessageText(DWORD code, DWORD langId);
