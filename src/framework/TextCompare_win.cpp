#include "framework/TextCompare.h"

#include <windows.h>

namespace {
int Compare(std::wstring_view a, std::wstring_view b, DWORD flags) {
  int r = CompareStringW(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()), b.data(),
                         static_cast<int>(b.size()));
  return r == 0 ? 0 : r - CSTR_EQUAL;
}
std::wstring Map(std::wstring_view s, DWORD flag) {
  std::wstring r(s);
  if (!r.empty()) {
    int n = LCMapStringW(LOCALE_USER_DEFAULT, flag, s.data(), static_cast<int>(s.size()), r.data(),
                         static_cast<int>(r.size()));
    if (n <= 0) r.assign(s);
  }
  return r;
}
}  // namespace

int CompareTextI(std::wstring_view a, std::wstring_view b) { return Compare(a, b, NORM_IGNORECASE); }
int CompareTextS(std::wstring_view a, std::wstring_view b) { return Compare(a, b, 0); }
std::wstring UpperCase(std::wstring_view s) { return Map(s, LCMAP_UPPERCASE); }
std::wstring LowerCase(std::wstring_view s) { return Map(s, LCMAP_LOWERCASE); }
