#include "framework/NumberText.h"

namespace {
// Shared by the 32- and 64-bit parses: magnitude limit for decimal, digit limit for hex.
bool ParseInteger(std::wstring_view s, uint64_t decimalMaxPositive, int hexDigits, int64_t& result) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == L' ') ++i;
  bool neg = false;
  if (i < n && (s[i] == L'+' || s[i] == L'-')) neg = s[i++] == L'-';
  bool hex = false;
  if (i < n && s[i] == L'$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && s[i] == L'0' && (s[i + 1] == L'x' || s[i + 1] == L'X')) {
    hex = true;
    i += 2;
  }
  if (i == n) return false;
  uint64_t v = 0;
  if (hex) {
    int count = 0;
    for (; i < n; ++i) {
      wchar_t c = s[i];
      int d = (c >= L'0' && c <= L'9') ? c - L'0'
              : (c >= L'a' && c <= L'f') ? c - L'a' + 10
              : (c >= L'A' && c <= L'F') ? c - L'A' + 10
                                         : -1;
      if (d < 0) return false;
      if (v == 0 && d == 0) continue;  // leading zeros do not count against the width
      if (++count > hexDigits) return false;
      v = (v << 4) | static_cast<uint64_t>(d);
    }
    // Wraps into the signed type of the requested width.
    uint64_t u = neg ? 0 - v : v;
    result = hexDigits == 8 ? static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(u)))
                            : static_cast<int64_t>(u);
    return true;
  }
  for (; i < n; ++i) {
    wchar_t c = s[i];
    if (c < L'0' || c > L'9') return false;
    v = v * 10 + static_cast<uint64_t>(c - L'0');
    if (v > decimalMaxPositive + 1) return false;
  }
  if (!neg && v > decimalMaxPositive) return false;
  result = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}
}  // namespace

int32_t TryStrToInt(std::wstring_view s, bool& ok) {
  int64_t v = 0;
  ok = ParseInteger(s, 0x7FFFFFFF, 8, v);
  return ok ? static_cast<int32_t>(v) : 0;
}

int64_t TryStrToInt64(std::wstring_view s, bool& ok) {
  int64_t v = 0;
  ok = ParseInteger(s, 0x7FFFFFFFFFFFFFFFull, 16, v);
  return ok ? v : 0;
}
