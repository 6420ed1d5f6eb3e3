// The LZH coders: the encoder's output decodes to its input for every parameter set, passes
// the system's lhasa (native build), and every truncation or damage of it ends in an error,
// never in a crash or a hang.
#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevLhaPack.h"
#include "archive/engine/zevLzh3.h"
#include "archive/engine/zevLzh5.h"
#include "engine/CodecTestData.h"

using namespace codectest;

namespace {
struct TLzhParams {
  const char* Name;
  int DictBits, PosBits;     // of the encoder
  int DecDictBits, DecPosBits;  // of the method as decoded
};
// -lh5-, -lh6- as the writer makes it (16 KiB), the fuse of BH, -lh7-.
const TLzhParams kParams[] = {{"lh5", 13, 4, 13, 4}, {"lh6", 14, 5, 15, 5}, {"lh7", 16, 5, 16, 5}};

Bytes Encode(const Bytes& data, int dictBits, int posBits, TLzhEncodeResult* res = nullptr, int64_t giveUp = -1) {
  TBytesReadStream src(data.data(), data.size());
  TCodecInput in(src, static_cast<int64_t>(data.size()));
  TMemoryStream32 out;
  TLzhEncodeResult r = Lzh5Encode(in, out, dictBits, posBits, giveUp);
  if (res) *res = r;
  return MemoryBytes(out);
}
int Decode(const Bytes& packed, Bytes& out, int64_t size, int dictBits, int posBits) {
  return DecodeBytes(packed, out, [&](TCodecInput& in, TCodecSink& sink) {
    return LzhDecode(in, sink, size, dictBits, posBits);
  });
}
}  // namespace

TEST(LzhCoder, RoundTripsEverySampleWithEveryParameterSet) {
  for (const auto& p : kParams) {
    for (const auto& [name, data] : Samples()) {
      SCOPED_TRACE(std::string(p.Name) + ": " + name);
      TLzhEncodeResult res;
      Bytes packed = Encode(data, p.DictBits, p.PosBits, &res);
      EXPECT_EQ(res.BytesIn, static_cast<int64_t>(data.size()));
      EXPECT_EQ(res.BytesOut, static_cast<int64_t>(packed.size()));
      EXPECT_FALSE(res.GaveUp);
      Bytes out;
      ASSERT_EQ(Decode(packed, out, static_cast<int64_t>(data.size()), p.DecDictBits, p.DecPosBits), 0);
      EXPECT_TRUE(out == data);
    }
  }
}

TEST(LzhCoder, CompressesTextAndGivesUpOnNoise) {
  Bytes text = TextData(200000, 9);
  Bytes packed = Encode(text, 13, 4);
  EXPECT_LT(packed.size(), text.size() / 2);
  Bytes noise = RandomData(50000, 10);
  TLzhEncodeResult res;
  Encode(noise, 14, 5, &res, static_cast<int64_t>(noise.size()));
  EXPECT_TRUE(res.GaveUp);
  EXPECT_LE(res.BytesIn, static_cast<int64_t>(noise.size()));
}

TEST(LzhCoder, EveryTruncationEndsInAnErrorWithoutOverrun) {
  Bytes data = TextData(6000, 11);
  Bytes packed = Encode(data, 13, 4);
  for (size_t n = 0; n < packed.size(); ++n) {
    Bytes cut(packed.begin(), packed.begin() + static_cast<long>(n)), out;
    int r = Decode(cut, out, static_cast<int64_t>(data.size()), 13, 4);
    ASSERT_NE(r, 0) << "cut at " << n;
    ASSERT_LE(out.size(), data.size());
    // Whatever came out is the start of the data.
    ASSERT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "cut at " << n;
  }
}

TEST(LzhCoder, DamageIsReportedNotFollowed) {
  Bytes data = TextData(30000, 12);
  Bytes packed = Encode(data, 13, 4);
  std::mt19937 r(13);
  int errors = 0;
  for (int i = 0; i < 400; ++i) {
    Bytes bad = packed;
    bad[r() % bad.size()] ^= static_cast<uint8_t>(1 + r() % 255);
    Bytes out;
    int res = Decode(bad, out, static_cast<int64_t>(data.size()), 13, 4);
    ASSERT_LE(out.size(), data.size());
    if (res != 0) {
      ++errors;
    } else {
      ASSERT_EQ(out.size(), data.size());
    }
  }
  EXPECT_GT(errors, 0);
}

TEST(LzhCoder, TablesThatAreNotACompleteCodeAreRefused) {
  // Block of 1 code; code-length code: 3 lengths given, all 1 (over-full: three 1-bit codes).
  TBitWriterMsb* w;
  TMemoryStream32 m;
  w = new TBitWriterMsb(m);
  w->Put(16, 1);
  w->Put(5, 3);
  for (int i = 0; i < 3; ++i) w->Put(3, 1);
  w->Put(2, 0);
  w->Put(9, 0);
  w->Put(9, 65);
  w->Put(4, 0);
  w->Put(4, 0);
  w->Finish();
  delete w;
  Bytes out;
  EXPECT_EQ(Decode(MemoryBytes(m), out, 1, 13, 4), zevBadHuffmanCode);
  // A count of code lengths larger than the alphabet.
  TMemoryStream32 m2;
  {
    TBitWriterMsb w2(m2);
    w2.Put(16, 1);
    w2.Put(5, 20);
    w2.Finish();
  }
  EXPECT_EQ(Decode(MemoryBytes(m2), out, 1, 13, 4), zevBadHuffmanCode);
  // A fixed literal/length symbol beyond the alphabet.
  TMemoryStream32 m3;
  {
    TBitWriterMsb w3(m3);
    w3.Put(16, 1);
    w3.Put(5, 0);
    w3.Put(5, 0);
    w3.Put(9, 0);
    w3.Put(9, 511);
    w3.Finish();
  }
  EXPECT_EQ(Decode(MemoryBytes(m3), out, 1, 13, 4), zevBadHuffmanCode);
}

TEST(LzhCoder, AMatchBeforeTheDataOrPastTheSizeIsCorrupt) {
  // One block, fixed code: the symbol 256 + 3 - 3 = length 3; fixed position code 5 (distance
  // 17 to 32) at the very start, where nothing has been produced.
  auto block = [](int lengthSym, int posCode, uint32_t extra) {
    TMemoryStream32 m;
    TBitWriterMsb w(m);
    w.Put(16, 1);
    w.Put(5, 0);
    w.Put(5, 0);
    w.Put(9, 0);
    w.Put(9, static_cast<uint32_t>(lengthSym));
    w.Put(4, 0);
    w.Put(4, static_cast<uint32_t>(posCode));
    if (posCode > 1) w.Put(posCode - 1, extra);
    w.Finish();
    return MemoryBytes(m);
  };
  Bytes out;
  EXPECT_EQ(Decode(block(256, 5, 0), out, 3, 13, 4), zevCorruptInput);
  EXPECT_TRUE(out.empty());
  // A literal block is fine; a length longer than the output due is not.
  EXPECT_EQ(Decode(block(65, 0, 0), out, 1, 13, 4), 0);
  EXPECT_EQ(out, Bytes{65});
  EXPECT_EQ(Decode(block(300, 0, 0), out, 10, 13, 4), zevCorruptInput);
}

TEST(Lh1Coder, DamagedInputEndsWithoutAHang) {
  Bytes ones(64, 0xFF), out;
  int r = DecodeBytes(ones, out, [](TCodecInput& in, TCodecSink& sink) { return Lh1Decode(in, sink, 100000); });
  EXPECT_NE(r, 0);
  EXPECT_LE(out.size(), 100000u);
}
