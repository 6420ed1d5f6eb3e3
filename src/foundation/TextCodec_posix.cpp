// The host has no system code pages: ANSI and OEM bytes are taken as Latin-1.
#include "foundation/TextCodec.h"

namespace {
std::wstring Latin1ToWide(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (char c : bytes) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}
bool WideToLatin1(std::wstring_view text, std::string& out) {
  out.clear();
  bool exact = true;
  for (wchar_t w : text) {
    if (static_cast<uint32_t>(w) > 0xFF) {
      out += '?';
      exact = false;
    } else {
      out += static_cast<char>(w);
    }
  }
  return exact;
}
}  // namespace

std::wstring AnsiToWide(std::string_view bytes) { return Latin1ToWide(bytes); }
void AnsiToWide(std::string_view bytes, std::wstring& out) {
  out.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
}
bool WideToAnsi(std::wstring_view text, std::string& out) { return WideToLatin1(text, out); }
bool AnsiKeepsAscii() { return true; }
std::wstring OemToWide(std::string_view bytes) { return Latin1ToWide(bytes); }
bool WideToOem(std::wstring_view text, std::string& out) { return WideToLatin1(text, out); }
