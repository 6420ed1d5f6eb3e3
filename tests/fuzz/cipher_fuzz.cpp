// Fuzzes the traditional cipher: any password and header bytes are checked without a fault,
// and enciphering then deciphering any data gives it back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 + 12 + 6) return 0;
  size_t pwLen = data[0] % 32;
  if (size < 1 + pwLen + 12 + 6) return 0;
  std::string_view password(reinterpret_cast<const char*>(data + 1), pwLen);
  const uint8_t* p = data + 1 + pwLen;
  uint8_t header[24];
  std::memcpy(header + 12, p, 12);
  uint16_t flags = static_cast<uint16_t>(p[12] | p[13] << 8);
  uint32_t crc = static_cast<uint32_t>(p[14] | p[15] << 8 | p[16] << 16) | static_cast<uint32_t>(p[17]) << 24;
  bool ok = ZipCheckEncryptHeader(header, flags, crc, password, static_cast<uint16_t>(crc));
  if (password.empty() && ok) std::abort();
  const uint8_t* rest = p + 18;
  size_t restLen = size - (rest - data);

  // Round trip through the stream form, header included.
  TMemoryStream32 src, dst;
  if (restLen) src.WriteBuffer(rest, static_cast<int32_t>(restLen));
  uint32_t sum = EncryptStreamTo(src, dst, password, true);
  if (sum != Crc32Of(rest, restLen) || dst.GetSize() != static_cast<int64_t>(restLen + 12)) std::abort();
  std::memcpy(header + 12, dst.Memory(), 12);
  if (!password.empty() && !ZipCheckEncryptHeader(header, 0, sum, password, 0)) std::abort();
  if (password.empty()) ZipInitKeys(password), ZipDecryptBuffer(header + 12, 12);
  std::vector<uint8_t> back(dst.Memory() + 12, dst.Memory() + 12 + restLen);
  ZipDecryptBuffer(back.data(), back.size());
  if (restLen && std::memcmp(back.data(), rest, restLen) != 0) std::abort();
  return 0;
}
