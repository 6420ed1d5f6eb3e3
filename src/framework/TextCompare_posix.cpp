#include <cwctype>

#include "framework/TextCompare.h"

int CompareTextI(std::wstring_view a, std::wstring_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    wint_t x = std::towlower(static_cast<wint_t>(a[i])), y = std::towlower(static_cast<wint_t>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
int CompareTextS(std::wstring_view a, std::wstring_view b) { return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1); }
std::wstring UpperCase(std::wstring_view s) {
  std::wstring r(s);
  for (auto& c : r) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return r;
}
std::wstring LowerCase(std::wstring_view s) {
  std::wstring r(s);
  for (auto& c : r) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return r;
}
