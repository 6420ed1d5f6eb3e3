#include <windows.h>

#include "foundation/TextCodec.h"

namespace {
std::wstring ToWide(UINT cp, std::string_view bytes) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}
bool FromWide(UINT cp, std::wstring_view text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
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
}  // namespace

std::wstring AnsiToWide(std::string_view bytes) { return ToWide(CP_ACP, bytes); }
bool WideToAnsi(std::wstring_view text, std::string& out) { return FromWide(CP_ACP, text, out); }
std::wstring OemToWide(std::string_view bytes) { return ToWide(CP_OEMCP, bytes); }
bool WideToOem(std::wstring_view text, std::string& out) { return FromWide(CP_OEMCP, text, out); }
