#include "fileops/CRC32.h"

#include "archive/engine/zevCrypt.h"

uint32_t CRC32Update(uint32_t crc, const void* buffer, size_t length) {
  if (!buffer || length == 0) return crc;
  return UpdateCrc32(crc, buffer, length);
}
