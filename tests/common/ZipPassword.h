#pragma once
// ZIP's traditional encryption checks a password by one byte of a random header: one wrong
// password in 256 passes that check and fails only later, on the data. A test of a wrong
// password takes one that every entry of its archive turns away at the check, so that it does
// not fail once in a few hundred runs.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/engine/zevCrypt.h"
#include "common/TestUtil.h"

namespace ziptest {
// Whether the check of an entry's 12-byte encryption header lets password through. A success
// leaves the cipher's keys ready for the entry's data.
inline bool PassesCipherCheck(const uint8_t* header12, uint16_t flags, uint32_t crc, std::string_view password,
                              uint16_t dosTime) {
  uint8_t header[24];
  std::copy_n(header12, 12, header);
  std::copy_n(header12, 12, header + 12);
  return ZipCheckEncryptHeader(header, flags, crc, password, dosTime);
}

// For each enciphered entry of the archive, in the order of its central directory: whether
// the check of its header lets password through.
inline std::vector<bool> PasswordChecks(const std::wstring& zipPath, const std::string& password) {
  const std::string zip = ReadFileRaw(zipPath);
  auto byteAt = [&](size_t at) -> uint32_t { return at < zip.size() ? static_cast<uint8_t>(zip[at]) : 0u; };
  auto u16 = [&](size_t at) { return byteAt(at) | byteAt(at + 1) << 8; };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  std::vector<bool> checks;
  const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos) return checks;
  size_t at = u32(end + 16);
  for (uint32_t n = u16(end + 10); n > 0 && at + 46 <= zip.size() && u32(at) == 0x02014B50u; --n) {
    const size_t local = u32(at + 42);
    const uint16_t flags = static_cast<uint16_t>(u16(local + 6));
    if (flags & 1) {
      const size_t data = local + 30 + u16(local + 26) + u16(local + 28);
      if (data + 12 > zip.size()) return {};
      checks.push_back(PassesCipherCheck(reinterpret_cast<const uint8_t*>(zip.data() + data), flags, u32(local + 14),
                                         password, static_cast<uint16_t>(u16(local + 10))));
    }
    at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
  }
  return checks;
}

// A wrong password that the check of every enciphered entry turns away; empty when the archive
// has no such entry.
inline std::wstring PasswordRejectedBy(const std::wstring& zipPath) {
  for (int i = 0; i < 1000; ++i) {
    const std::string candidate = "wrong" + (i ? std::to_string(i) : std::string());
    const std::vector<bool> checks = PasswordChecks(zipPath, candidate);
    if (checks.empty()) return L"";
    bool anyPasses = false;
    for (bool passes : checks) anyPasses = anyPasses || passes;
    if (!anyPasses) return std::wstring(candidate.begin(), candidate.end());
  }
  return L"";
}
}  // namespace ziptest
