#include "framework/TextCompare.h"

int CompareAsciiI(std::wstring_view a, std::wstring_view b) {
  auto fold = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; };
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameTextI(std::wstring_view a, std::wstring_view b) {
  if (a.size() == b.size() && CompareAsciiI(a, b) == 0) return true;
  return CompareTextI(a, b) == 0;
}
