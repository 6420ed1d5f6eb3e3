#pragma once
// What the stand-in libraries share: whole-file reads, little-endian fields, the CRC-32 register
// and the call log with its settings string.
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// The CRC-32 register after the bytes (start 0xFFFFFFFF; the finished value is its inverse).
inline uint32_t Crc32Register(const char* p, size_t n, uint32_t c = 0xFFFFFFFF) {
  for (size_t i = 0; i < n; ++i) {
    c ^= static_cast<unsigned char>(p[i]);
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return c;
}
inline uint32_t U16(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}
inline uint32_t U32(const std::string& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

inline bool ReadWhole(const std::string& name, std::string& out) {
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (1 << 30);
  if (ok) {
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = out.empty() || (ReadFile(h, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
  }
  CloseHandle(h);
  return ok;
}
inline bool Exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The settings string "key=value;key=value" as pairs.
inline std::vector<std::pair<std::string, std::string>> Settings(const char* config) {
  std::vector<std::pair<std::string, std::string>> out;
  const std::string s = config ? config : "";
  size_t i = 0;
  while (i <= s.size()) {
    size_t j = s.find(';', i);
    if (j == std::string::npos) j = s.size();
    const std::string item = s.substr(i, j - i);
    const size_t eq = item.find('=');
    if (eq != std::string::npos) out.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    i = j + 1;
  }
  return out;
}

}  // namespace standin
