#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/engine/zevCrypt.h"

namespace {
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(r());
  return v;
}
// One bit at a time, straight from the polynomials: the reference for the table code.
uint32_t BitwiseCrc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}
uint16_t BitwiseCrc16(const uint8_t* p, size_t n) {
  uint32_t c = 0;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xA001u ^ (c >> 1) : c >> 1;
  }
  return static_cast<uint16_t>(c);
}
}  // namespace

TEST(EngineCrc, StandardCheckValues) {
  EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Of("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32Of("", 0), 0u);
  EXPECT_EQ(UpdateCrc16(0, "123456789", 9), 0xBB3D);
  EXPECT_EQ(Crc32Table[1], 0x77073096u);
  EXPECT_EQ(Crc16Table[1], 0xC0C1);
}

TEST(EngineCrc, EveryLengthAndAlignmentAgreesWithBitwise) {
  auto data = RandomBytes(300, 7);
  for (size_t offset = 0; offset < 16; ++offset)
    for (size_t len = 0; len + offset <= 300; ++len) {
      ASSERT_EQ(Crc32Of(data.data() + offset, len), BitwiseCrc32(data.data() + offset, len)) << offset << "+" << len;
      ASSERT_EQ(UpdateCrc16(0, data.data() + offset, len), BitwiseCrc16(data.data() + offset, len));
    }
  // Pieces of any size chain to the same register as one call.
  auto big = RandomBytes(100000, 8);
  uint32_t reg = 0xFFFFFFFFu;
  for (size_t pos = 0, step = 1; pos < big.size(); pos += step, step = step * 3 % 1021 + 1)
    reg = UpdateCrc32(reg, big.data() + pos, std::min(step, big.size() - pos));
  EXPECT_EQ(reg ^ 0xFFFFFFFFu, BitwiseCrc32(big.data(), big.size()));
}

TEST(EngineCrc, ProcessRegistersByWidth) {
  Crc32Register = 0xFFFFFFFFu;
  Crc16Register = 0;
  UpdateCrcRegister(32, "1234", 4);
  UpdateCrcRegister(32, "56789", 5);
  UpdateCrcRegister(16, "123456789", 9);
  UpdateCrcRegister(8, "ignored", 7);
  EXPECT_EQ(Crc32Register ^ 0xFFFFFFFFu, 0xCBF43926u);
  EXPECT_EQ(Crc16Register, 0xBB3D);
}

TEST(EngineCipher, KeysAndRoundTrip) {
  ZipInitKeys("");
  EXPECT_EQ(ZipKeys[0], 0x12345678u);
  EXPECT_EQ(ZipKeys[1], 0x23456789u);
  EXPECT_EQ(ZipKeys[2], 0x34567890u);
  // One key update by hand: Key0 steps the CRC, Key1 the linear generator, Key2 the CRC of
  // Key1's top byte.
  ZipUpdateKeys('a');
  uint32_t k0 = Crc32Step(0x12345678u, 'a');
  uint32_t k1 = (0x23456789u + (k0 & 0xFF)) * 134775813u + 1;
  EXPECT_EQ(ZipKeys[0], k0);
  EXPECT_EQ(ZipKeys[1], k1);
  EXPECT_EQ(ZipKeys[2], Crc32Step(0x34567890u, static_cast<uint8_t>(k1 >> 24)));

  auto plain = RandomBytes(5000, 3);
  auto data = plain;
  ZipInitKeys("pass word");
  ZipEncryptBuffer(data.data(), data.size());
  EXPECT_NE(data, plain);
  ZipInitKeys("pass word");
  ZipDecryptBuffer(data.data(), 1234);
  ZipDecryptBuffer(data.data() + 1234, data.size() - 1234);
  EXPECT_EQ(data, plain);
}

TEST(EngineCipher, HeaderCheck) {
  // A header made by hand from fixed bytes, so that every outcome is certain.
  const uint32_t crc = 0xA1B2C3D4u;
  const uint16_t time = 0x7E21;
  auto make = [&](const char* password, uint8_t check) {
    std::vector<uint8_t> h(24);
    for (int i = 0; i < 10; ++i) h[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 37);
    h[10] = 0x55;
    h[11] = check;
    ZipInitKeys(password);
    ZipEncryptBuffer(h.data(), 12);
    const char tail[] = "data";
    std::memcpy(h.data() + 12, h.data(), 12);
    std::vector<uint8_t> body(tail, tail + 4);
    ZipEncryptBuffer(body.data(), body.size());
    return std::make_pair(h, body);
  };
  struct C {
    const char* made;
    uint8_t check;
    const char* tried;
    uint16_t flags;
    bool accepted;
  } cases[] = {
      {"secret", 0xA1, "secret", 0, true},  {"secret", 0xA1, "Secret", 0, false},
      {"secret", 0x7E, "secret", 8, true},  {"secret", 0xA1, "secret", 8, false},
      {"secret", 0x7E, "secret", 0, false}, {"secret", 0xA1, "", 0, false},
  };
  for (const auto& c : cases) {
    auto [h, body] = make(c.made, c.check);
    auto original = h;
    bool ok = ZipCheckEncryptHeader(h.data(), c.flags, crc, c.tried, time);
    EXPECT_EQ(ok, c.accepted) << c.tried << " " << c.flags;
    if (*c.tried == 0) {
      EXPECT_EQ(h, original);  // an empty password touches nothing
    }
    if (ok) {
      ZipDecryptBuffer(body.data(), body.size());  // the keys are ready for the data
      EXPECT_EQ(std::string(body.begin(), body.end()), "data");
    }
  }
}

TEST(EngineCipher, MadeHeaderIsAccepted) {
  for (uint32_t crc : {0u, 0x12345678u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> h(24);
    ZipMakeEncryptHeader("pw", crc, h.data());
    std::vector<uint8_t> body = {1, 2, 3};
    ZipEncryptBuffer(body.data(), body.size());
    std::memcpy(h.data() + 12, h.data(), 12);
    ASSERT_TRUE(ZipCheckEncryptHeader(h.data(), 0, crc, "pw", 0));
    EXPECT_EQ(h[10], static_cast<uint8_t>(crc >> 16));
    ZipDecryptBuffer(body.data(), body.size());
    EXPECT_EQ(body, (std::vector<uint8_t>{1, 2, 3}));
  }
  // The ten leading bytes are drawn afresh each time.
  uint8_t a[12], b[12];
  ZipMakeEncryptHeader("pw", 0, a);
  ZipMakeEncryptHeader("pw", 0, b);
  EXPECT_NE(std::memcmp(a, b, 10), 0);
}
