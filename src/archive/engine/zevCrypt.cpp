#include "archive/engine/zevCrypt.h"

#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <random>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELMO_CRC_FOLD 1
#endif

namespace {
// Sixteen tables for processing sixteen bytes per step: table k gives the CRC of a byte
// followed by k zero bytes.
struct TCrc32Tables {
  uint32_t T[16][256];
};
constexpr TCrc32Tables MakeCrc32Tables() {
  TCrc32Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t.T[0][i] = c;
  }
  for (int k = 1; k < 16; ++k)
    for (uint32_t i = 0; i < 256; ++i) t.T[k][i] = (t.T[k - 1][i] >> 8) ^ t.T[0][t.T[k - 1][i] & 0xFF];
  return t;
}
constexpr TCrc32Tables kCrc32 = MakeCrc32Tables();

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xA001u ^ (c >> 1) : c >> 1;
    t[i] = static_cast<uint16_t>(c);
  }
  return t;
}
constexpr std::array<uint16_t, 256> kCrc16 = MakeCrc16Table();

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
}  // namespace

const uint32_t Crc32Table[256] = {
#define R(i) kCrc32.T[0][i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};
const uint16_t Crc16Table[256] = {
#define R(i) kCrc16[i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

uint32_t Crc32Register = 0xFFFFFFFFu;
uint16_t Crc16Register = 0;
uint32_t ZipKeys[3] = {0x12345678u, 0x23456789u, 0x34567890u};

#ifdef VELMO_CRC_FOLD
namespace {
// Carry-less multiplication folds the data 64 bytes at a time in four 128-bit lanes; a lane
// stands for its polynomial modulo the generator, so multiplying its two halves by x^(n+64)
// and x^n (mod the generator) carries it n bits further. The constants are those powers
// divided by x (the product of two reflected 64-bit values comes out one place short), stored
// reflected in the upper half of a 64-bit word.
constexpr uint64_t kFold128Hi = 0x65673B4600000000ull;  // x^191 mod P, for the first 64 bits
constexpr uint64_t kFold128Lo = 0x9BA54C6F00000000ull;  // x^127 mod P
constexpr uint64_t kFold512Hi = 0x653D982200000000ull;  // x^575 mod P
constexpr uint64_t kFold512Lo = 0xCAD38E8F00000000ull;  // x^511 mod P

// Macros rather than functions: no vector value crosses a call on a target built without SSE.
#define VELMO_FOLD(x, k, next) \
  _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next)
#define VELMO_LOAD(q) _mm_loadu_si128(reinterpret_cast<const __m128i*>(q))

// What is left of the folding stands for a 16-byte message; its CRC from a zero register is
// the result.
uint32_t RestCrc32(const uint8_t* rest) {
  uint32_t r = 0;
  for (int i = 0; i < 16; ++i) r = kCrc32.T[0][(r ^ rest[i]) & 0xFF] ^ (r >> 8);
  return r;
}

// count is a multiple of 16 and at least 64. Returns the register after the data.
__attribute__((target("pclmul,sse2"))) uint32_t FoldCrc32(uint32_t reg, const uint8_t* p, size_t count) {
  // The register enters as the first four message bytes XORed with it.
  __m128i x0 = _mm_xor_si128(VELMO_LOAD(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = VELMO_LOAD(p + 16), x2 = VELMO_LOAD(p + 32), x3 = VELMO_LOAD(p + 48);
  p += 64;
  count -= 64;
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512Lo), static_cast<long long>(kFold512Hi));
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128Lo), static_cast<long long>(kFold128Hi));
  while (count >= 64) {
    x0 = VELMO_FOLD(x0, k512, VELMO_LOAD(p));
    x1 = VELMO_FOLD(x1, k512, VELMO_LOAD(p + 16));
    x2 = VELMO_FOLD(x2, k512, VELMO_LOAD(p + 32));
    x3 = VELMO_FOLD(x3, k512, VELMO_LOAD(p + 48));
    p += 64;
    count -= 64;
  }
  __m128i x = VELMO_FOLD(VELMO_FOLD(VELMO_FOLD(x0, k128, x1), k128, x2), k128, x3);
  for (; count >= 16; p += 16, count -= 16) x = VELMO_FOLD(x, k128, VELMO_LOAD(p));
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
  return RestCrc32(rest);
}

// The same folding over four 512-bit lanes, 256 bytes at a time, on processors that multiply
// carry-less in 512-bit registers; the four lanes are folded into one, its four 128-bit parts
// into one, and the rest goes as above. count is a multiple of 16 and at least 256.
constexpr uint64_t kFold2048Hi = 0x7CC8E1E700000000ull;  // x^2111 mod P
constexpr uint64_t kFold2048Lo = 0x03F9F86300000000ull;  // x^2047 mod P
constexpr uint64_t kFold384Hi = 0x69CCFC0D00000000ull;   // x^447 mod P
constexpr uint64_t kFold384Lo = 0x2A28386200000000ull;   // x^383 mod P
constexpr uint64_t kFold256Hi = 0x9570D49500000000ull;   // x^319 mod P
constexpr uint64_t kFold256Lo = 0x01B5FD1D00000000ull;   // x^255 mod P

#define VELMO_FOLD512(x, k, next)                                                                          \
  _mm512_xor_si512(_mm512_xor_si512(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11)), \
                   next)
#define VELMO_LOAD512(q) _mm512_loadu_si512(reinterpret_cast<const void*>(q))
#define VELMO_K128(hi, lo) _mm_set_epi64x(static_cast<long long>(lo), static_cast<long long>(hi))
#define VELMO_K512(hi, lo)                                                                                         \
  _mm512_set_epi64(static_cast<long long>(lo), static_cast<long long>(hi), static_cast<long long>(lo),             \
                   static_cast<long long>(hi), static_cast<long long>(lo), static_cast<long long>(hi),             \
                   static_cast<long long>(lo), static_cast<long long>(hi))

__attribute__((target("avx512f,vpclmulqdq,pclmul,sse2"))) uint32_t WideFoldCrc32(uint32_t reg, const uint8_t* p,
                                                                                 size_t count) {
  __m512i x0 = _mm512_xor_si512(VELMO_LOAD512(p), _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                     static_cast<int>(reg)));
  __m512i x1 = VELMO_LOAD512(p + 64), x2 = VELMO_LOAD512(p + 128), x3 = VELMO_LOAD512(p + 192);
  p += 256;
  count -= 256;
  const __m512i k2048 = VELMO_K512(kFold2048Hi, kFold2048Lo);
  while (count >= 256) {
    x0 = VELMO_FOLD512(x0, k2048, VELMO_LOAD512(p));
    x1 = VELMO_FOLD512(x1, k2048, VELMO_LOAD512(p + 64));
    x2 = VELMO_FOLD512(x2, k2048, VELMO_LOAD512(p + 128));
    x3 = VELMO_FOLD512(x3, k2048, VELMO_LOAD512(p + 192));
    p += 256;
    count -= 256;
  }
  const __m512i k512 = VELMO_K512(kFold512Hi, kFold512Lo);
  __m512i x4 = VELMO_FOLD512(VELMO_FOLD512(VELMO_FOLD512(x0, k512, x1), k512, x2), k512, x3);
  for (; count >= 64; p += 64, count -= 64) x4 = VELMO_FOLD512(x4, k512, VELMO_LOAD512(p));
  const __m128i k384 = VELMO_K128(kFold384Hi, kFold384Lo), k256 = VELMO_K128(kFold256Hi, kFold256Lo);
  const __m128i k128 = VELMO_K128(kFold128Hi, kFold128Lo);
  alignas(64) uint8_t lanes[64];
  _mm512_store_si512(reinterpret_cast<void*>(lanes), x4);
  __m128i a0 = VELMO_LOAD(lanes), a1 = VELMO_LOAD(lanes + 16), a2 = VELMO_LOAD(lanes + 32), a3 = VELMO_LOAD(lanes + 48);
  __m128i x = VELMO_FOLD(a0, k384, VELMO_FOLD(a1, k256, VELMO_FOLD(a2, k128, a3)));
  for (; count >= 16; p += 16, count -= 16) x = VELMO_FOLD(x, k128, VELMO_LOAD(p));
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
  return RestCrc32(rest);
}

bool HasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return has;
}

bool HasWideCarrylessMultiply() {
  static const bool has = HasCarrylessMultiply() && __builtin_cpu_supports("avx512f") &&
                          __builtin_cpu_supports("vpclmulqdq");
  return has;
}
}  // namespace
#endif

uint32_t UpdateCrc32(uint32_t reg, const void* data, size_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  const auto& T = kCrc32.T;
#ifdef VELMO_CRC_FOLD
  if (count >= 128 && HasCarrylessMultiply()) {
    size_t n = count & ~size_t{15};
    reg = n >= 1024 && HasWideCarrylessMultiply() ? WideFoldCrc32(reg, p, n) : FoldCrc32(reg, p, n);
    p += n;
    count -= n;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    while (count >= 16) {
      uint32_t a = Load32(p) ^ reg, b = Load32(p + 4), c = Load32(p + 8), d = Load32(p + 12);
      reg = T[15][a & 0xFF] ^ T[14][(a >> 8) & 0xFF] ^ T[13][(a >> 16) & 0xFF] ^ T[12][a >> 24] ^
            T[11][b & 0xFF] ^ T[10][(b >> 8) & 0xFF] ^ T[9][(b >> 16) & 0xFF] ^ T[8][b >> 24] ^
            T[7][c & 0xFF] ^ T[6][(c >> 8) & 0xFF] ^ T[5][(c >> 16) & 0xFF] ^ T[4][c >> 24] ^
            T[3][d & 0xFF] ^ T[2][(d >> 8) & 0xFF] ^ T[1][(d >> 16) & 0xFF] ^ T[0][d >> 24];
      p += 16;
      count -= 16;
    }
  }
  while (count--) reg = T[0][(reg ^ *p++) & 0xFF] ^ (reg >> 8);
  return reg;
}

uint16_t UpdateCrc16(uint16_t reg, const void* data, size_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t r = reg;
  while (count--) r = kCrc16[(r ^ *p++) & 0xFF] ^ (r >> 8);
  return static_cast<uint16_t>(r);
}

void UpdateCrcRegister(int width, const void* data, size_t count) {
  if (width == 32)
    Crc32Register = UpdateCrc32(Crc32Register, data, count);
  else if (width == 16)
    Crc16Register = UpdateCrc16(Crc16Register, data, count);
}

void ZipUpdateKeys(uint8_t b) {
  ZipKeys[0] = Crc32Step(ZipKeys[0], b);
  ZipKeys[1] = (ZipKeys[1] + (ZipKeys[0] & 0xFF)) * 134775813u + 1;
  ZipKeys[2] = Crc32Step(ZipKeys[2], static_cast<uint8_t>(ZipKeys[1] >> 24));
}

void ZipInitKeys(std::string_view password) {
  ZipKeys[0] = 0x12345678u;
  ZipKeys[1] = 0x23456789u;
  ZipKeys[2] = 0x34567890u;
  for (char c : password) ZipUpdateKeys(static_cast<uint8_t>(c));
}

void ZipEncryptBuffer(void* buffer, size_t count) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i) {
    uint8_t plain = p[i];
    p[i] = plain ^ ZipDecryptByte();
    ZipUpdateKeys(plain);
  }
}

void ZipDecryptBuffer(void* buffer, size_t count) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i) {
    p[i] ^= ZipDecryptByte();
    ZipUpdateKeys(p[i]);
  }
}

void ZipMakeEncryptHeader(std::string_view password, uint32_t crc, uint8_t header[12]) {
  ZipInitKeys(password);
  static std::minstd_rand random(
      static_cast<uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  for (int i = 0; i < 10; ++i) header[i] = static_cast<uint8_t>((random() % 32767) >> 7);
  header[10] = static_cast<uint8_t>(crc >> 16);
  header[11] = static_cast<uint8_t>(crc >> 24);
  ZipEncryptBuffer(header, 12);
}

bool ZipCheckEncryptHeader(uint8_t header[24], uint16_t flags, uint32_t crc, std::string_view password,
                           uint16_t dosTime) {
  if (password.empty()) return false;
  ZipInitKeys(password);
  std::memcpy(header, header + 12, 12);
  ZipDecryptBuffer(header, 12);
  uint8_t expected = (flags & 8) ? static_cast<uint8_t>(dosTime >> 8) : static_cast<uint8_t>(crc >> 24);
  return header[11] == expected;
}
