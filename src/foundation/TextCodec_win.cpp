#include <windows.h>

#include <array>

#include "foundation/TextCodec.h"

namespace {
// What a code page needs to be cut into runs: its lead bytes, and whether a byte below 0x80
// always stands for itself (true of the single- and double-byte code pages, whose trail bytes
// may lie in the ASCII range only right after a lead byte, and of UTF-8; not of the code pages
// whose four-byte sequences carry digits, such as GB 18030).
struct TCodePageShape {
  bool AsciiSafe = false;
  std::array<bool, 256> Lead{};
};

TCodePageShape ShapeOf(UINT cp) {
  TCodePageShape shape;
  CPINFO info{};
  if (cp != CP_UTF8 && (!GetCPInfo(cp, &info) || info.MaxCharSize > 2)) return shape;
  // The bytes below 0x80 must be ASCII itself in this code page.
  char ascii[128];
  wchar_t wide[128];
  for (int b = 0; b < 128; ++b) ascii[b] = static_cast<char>(b);
  if (MultiByteToWideChar(cp, 0, ascii, 128, wide, 128) != 128) return shape;
  for (int b = 0; b < 128; ++b)
    if (wide[b] != static_cast<wchar_t>(b)) return shape;
  shape.AsciiSafe = true;
  if (cp != CP_UTF8)
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
      for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1] && b < 256; ++b) shape.Lead[static_cast<size_t>(b)] = true;
  return shape;
}

const TCodePageShape& Shape(UINT cp) {
  // The two system code pages do not change while the program runs.
  static const TCodePageShape ansi = ShapeOf(CP_ACP), oem = ShapeOf(CP_OEMCP);
  return cp == CP_OEMCP ? oem : ansi;
}

// The whole text in one call, as the system converts it.
void ToWideWhole(UINT cp, std::string_view bytes, std::wstring& out) {
  int n = bytes.size() > 0x7FFFFFFF ? 0 : MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  if (n > 0) MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
}

// Bytes below 0x80 are copied as they are; only the runs of other bytes (with the trail bytes
// of their lead bytes, which may lie in the ASCII range) go to the system, whose conversion is
// slow per byte. Each run gives at most one unit per byte.
void ToWide(UINT cp, std::string_view bytes, std::wstring& out) {
  out.clear();
  if (bytes.empty()) return;
  const TCodePageShape& shape = Shape(cp);
  if (!shape.AsciiSafe || bytes.size() > 0x7FFFFFFF) return ToWideWhole(cp, bytes, out);
  out.resize(bytes.size());
  wchar_t* w = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0, n = bytes.size();
  while (i < n) {
    if (p[i] < 0x80) {
      *w++ = static_cast<wchar_t>(p[i++]);
      continue;
    }
    size_t start = i;
    while (i < n && p[i] >= 0x80) i += shape.Lead[p[i]] && i + 1 < n ? 2 : 1;
    int len = static_cast<int>(i - start);
    int room = static_cast<int>(out.size() - static_cast<size_t>(w - out.data()));
    int got = MultiByteToWideChar(cp, 0, bytes.data() + start, len, w, room);
    if (got <= 0) return ToWideWhole(cp, bytes, out);  // a conversion that does not fit the rule
    w += got;
  }
  out.resize(static_cast<size_t>(w - out.data()));
}

bool FromWideWhole(UINT cp, std::wstring_view text, std::string& out) {
  out.clear();
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, &usedDefault);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  usedDefault = FALSE;
  WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      &usedDefault);
  return !usedDefault;
}

// The same split the other way: ASCII is copied, each run of other characters is converted by
// the system.
bool FromWide(UINT cp, std::wstring_view text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  const TCodePageShape& shape = Shape(cp);
  if (!shape.AsciiSafe || cp == CP_UTF8 || text.size() > 0x3FFFFFFF) return FromWideWhole(cp, text, out);
  bool exact = true;
  out.reserve(text.size() + text.size() / 4);
  size_t i = 0, n = text.size();
  while (i < n) {
    size_t start = i;
    while (i < n && static_cast<uint32_t>(text[i]) < 0x80) ++i;
    size_t at = out.size();
    out.resize(at + (i - start));
    for (size_t k = start; k < i; ++k) out[at + (k - start)] = static_cast<char>(text[k]);
    if (i >= n) break;
    start = i;
    while (i < n && static_cast<uint32_t>(text[i]) >= 0x80) ++i;
    const wchar_t* run = text.data() + start;
    int len = static_cast<int>(i - start);
    // A code page of at most two bytes a character gives at most two bytes a unit.
    at = out.size();
    out.resize(at + static_cast<size_t>(len) * 2);
    BOOL usedDefault = FALSE;
    int got = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, run, len, out.data() + at, len * 2, nullptr, &usedDefault);
    if (got <= 0) return FromWideWhole(cp, text, out);
    out.resize(at + static_cast<size_t>(got));
    if (usedDefault) exact = false;
  }
  return exact;
}
}  // namespace

std::wstring AnsiToWide(std::string_view bytes) {
  std::wstring out;
  ToWide(CP_ACP, bytes, out);
  return out;
}
void AnsiToWide(std::string_view bytes, std::wstring& out) { ToWide(CP_ACP, bytes, out); }
bool AnsiKeepsAscii() { return Shape(CP_ACP).AsciiSafe; }
bool WideToAnsi(std::wstring_view text, std::string& out) { return FromWide(CP_ACP, text, out); }
std::wstring OemToWide(std::string_view bytes) {
  std::wstring out;
  ToWide(CP_OEMCP, bytes, out);
  return out;
}
bool WideToOem(std::wstring_view text, std::string& out) { return FromWide(CP_OEMCP, text, out); }
