#pragma once
// Reading the registry's string values.
#include <windows.h>

#include <string>

// The string (REG_SZ or REG_EXPAND_SZ, not expanded) named name (nullptr: the default value)
// of key or of its sub-key subKey (nullptr: key itself), through the one grow-and-retry loop;
// false when there is none, it is not a string, or it is longer than maxChars.
bool RegReadString(HKEY key, const wchar_t* subKey, const wchar_t* name, std::wstring& value,
                   DWORD maxChars = 0x10000);
