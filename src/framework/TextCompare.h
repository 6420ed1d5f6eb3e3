#pragma once
// Case-insensitive comparison of names and paths by the system's rules (on Windows the
// locale-aware CompareStringW; on the host a plain per-character fold, enough for tests).
#include <string>
#include <string_view>

// <0, 0, >0 like strcmp, ignoring letter case.
int CompareTextI(std::wstring_view a, std::wstring_view b);
// Case-sensitive comparison by the system's rules.
int CompareTextS(std::wstring_view a, std::wstring_view b);
// Equality ignoring letter case by the system's rules; strings equal but for ASCII letter case
// are settled without asking the system (the common case of lookups by a known key).
bool SameTextI(std::wstring_view a, std::wstring_view b);
// ASCII-only case folding comparison (letters a..z), as used for values and prefixes.
int CompareAsciiI(std::wstring_view a, std::wstring_view b);
std::wstring UpperCase(std::wstring_view s);  // system's rules
std::wstring LowerCase(std::wstring_view s);  // system's rules
