#pragma once
// Running checksums and the traditional ZIP stream cipher. The CRC registers and the cipher
// keys are process-wide, as the engine runs one archive operation at a time.
#include <cstddef>
#include <cstdint>
#include <string_view>

// ---- CRC-32 (reflected, polynomial 0xEDB88320) and CRC-16 (reflected, polynomial 0xA001) ----

extern const uint32_t Crc32Table[256];
extern const uint16_t Crc16Table[256];

inline uint32_t Crc32Step(uint32_t reg, uint8_t b) { return Crc32Table[(reg ^ b) & 0xFF] ^ (reg >> 8); }
// Adds count bytes to an unfinished CRC-32 register and returns it.
uint32_t UpdateCrc32(uint32_t reg, const void* data, size_t count);
// The finished CRC-32 of a buffer (started at 0xFFFFFFFF, finished by XOR 0xFFFFFFFF).
inline uint32_t Crc32Of(const void* data, size_t count) { return UpdateCrc32(0xFFFFFFFFu, data, count) ^ 0xFFFFFFFFu; }
uint16_t UpdateCrc16(uint16_t reg, const void* data, size_t count);

// The two process-wide registers that readers and writers update as data passes.
extern uint32_t Crc32Register;
extern uint16_t Crc16Register;
// Adds bytes to the register of the given width (16 or 32; anything else does nothing).
void UpdateCrcRegister(int width, const void* data, size_t count);

// ---- Traditional ZIP cipher ----

// The cipher's three keys.
extern uint32_t ZipKeys[3];

void ZipUpdateKeys(uint8_t b);
// The next key-stream byte.
inline uint8_t ZipDecryptByte() {
  uint32_t t = (ZipKeys[2] & 0xFFFF) | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}
void ZipInitKeys(std::string_view password);
// In place; the keys advance with every plain byte.
void ZipEncryptBuffer(void* buffer, size_t count);
void ZipDecryptBuffer(void* buffer, size_t count);
// The 12-byte header of an entry enciphered with password whose finished CRC-32 is crc; the
// keys are left ready for the entry's data.
void ZipMakeEncryptHeader(std::string_view password, uint32_t crc, uint8_t header[12]);
// header holds 24 bytes: the entry's 12-byte encryption header and a second copy of it behind.
// The second copy is deciphered into the first; the header is accepted when its last byte
// equals the high byte of the DOS time (bit 3 of flags set) or of the CRC. An empty password
// is refused without touching the header. On success the keys are ready for the data.
bool ZipCheckEncryptHeader(uint8_t header[24], uint16_t flags, uint32_t crc, std::string_view password,
                           uint16_t dosTime);
