// The parallel DEFLATE compressor: what it makes is one raw DEFLATE stream that zlib's inflate
// reads back whole, for any input size around the chunk borders, any level, any way the input
// is written and any number of workers; the dictionary carries matches across chunks; a
// take-back to a mark gives the same stream as if the dropped bytes were never written; and a
// stream abandoned part way or by a failing sink stops cleanly.
#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>

#include "archive/engine/zevParallelDeflate.h"
#include "engine/CodecTestData.h"

using namespace codectest;

namespace {
constexpr size_t kChunk = 4096;

Bytes Inflate(const Bytes& packed, bool& ended) {
  z_stream z{};
  inflateInit2(&z, -15);
  Bytes out;
  uint8_t buf[65536];
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  int r = Z_OK;
  do {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    r = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
  } while (r == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
  // Nothing may follow the end of the stream.
  ended = r == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return out;
}

struct TRun {
  Bytes Out;
  TParallelDeflate D;
  explicit TRun(int level = 7, unsigned workers = 4, size_t chunk = kChunk)
      : D(level, -15, [this](const uint8_t* p, size_t n) { Out.insert(Out.end(), p, p + n); }, chunk, workers) {}
};

// Writes data in pieces of the given sizes, cycling.
void WriteInPieces(TParallelDeflate& d, const Bytes& data, std::initializer_list<size_t> pieces) {
  size_t at = 0;
  auto it = pieces.begin();
  while (at < data.size()) {
    size_t n = std::min(*it, data.size() - at);
    d.Write(data.data() + at, n);
    at += n;
    if (++it == pieces.end()) it = pieces.begin();
  }
}
}  // namespace

TEST(ParallelDeflate, RoundTripsAroundChunkBordersAtEveryLevel) {
  std::vector<std::pair<std::string, Bytes>> inputs = Samples();
  for (size_t n : {kChunk - 1, kChunk, kChunk + 1, 3 * kChunk, 40 * kChunk + 17})
    inputs.push_back({"text " + std::to_string(n), TextData(n, static_cast<uint32_t>(n))});
  for (const auto& [name, data] : inputs) {
    for (int level : {0, 1, 7, 9}) {
      Bytes made[2];
      for (unsigned workers : {1u, 4u}) {
        TRun r(level, workers);
        // One byte, an odd piece, then more than a chunk at once.
        WriteInPieces(r.D, data, {1, 777, 3 * kChunk + 5});
        r.D.Finish();
        bool ended = false;
        EXPECT_TRUE(Inflate(r.Out, ended) == data) << name << " level " << level << " workers " << workers;
        EXPECT_TRUE(ended) << name << " level " << level;
        EXPECT_EQ(r.D.BytesIn(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(r.D.BytesOut(), static_cast<int64_t>(r.Out.size()));
        made[workers > 1] = r.Out;
      }
      // The output does not depend on how many threads made it.
      EXPECT_TRUE(made[0] == made[1]) << name << " level " << level;
    }
  }
}

// Every chunk sees the 32 KB before it: data repeating with a period longer than a chunk
// compresses to little more than one period (without the dictionary: twenty).
TEST(ParallelDeflate, MatchesReachBackAcrossChunks) {
  Bytes period = RandomData(20000, 9);
  Bytes data;
  for (int i = 0; i < 20; ++i) data.insert(data.end(), period.begin(), period.end());
  TRun r;
  r.D.Write(data.data(), data.size());
  r.D.Finish();
  bool ended = false;
  EXPECT_TRUE(Inflate(r.Out, ended) == data);
  EXPECT_LT(r.Out.size(), period.size() * 3 / 2);
  // Text in large chunks costs well under 1% against one zlib stream at the same level.
  Bytes text = TextData(4 << 20, 3);
  TRun big(7, 4, TParallelDeflate::kDefaultChunk);
  big.D.Write(text.data(), text.size());
  big.D.Finish();
  uLongf single = compressBound(static_cast<uLong>(text.size()));
  Bytes one(single);
  ASSERT_EQ(compress2(one.data(), &single, text.data(), static_cast<uLong>(text.size()), 7), Z_OK);
  EXPECT_LT(static_cast<double>(big.Out.size()), 1.01 * static_cast<double>(single));
}

// Taking back to a mark, with the mark in the chunk still gathered or in one long gone to the
// sink, gives exactly the stream of the bytes kept.
TEST(ParallelDeflate, TakeBackForgetsWhatFollowedTheMark) {
  struct {
    size_t Before, Dropped;
  } cases[] = {{0, 0}, {100, 50}, {kChunk - 10, 20}, {kChunk, 5 * kChunk}, {3 * kChunk + 7, 30 * kChunk + 1},
               {2 * kChunk + 1, kChunk - 1}};
  for (const auto& c : cases) {
    Bytes before = TextData(c.Before, 1), dropped = TextData(c.Dropped, 2), after = TextData(5 * kChunk + 3, 3);
    Bytes want = before;
    want.insert(want.end(), after.begin(), after.end());
    TRun plain;
    plain.D.Write(want.data(), want.size());
    plain.D.Finish();

    TRun r;
    r.D.Write(before.data(), before.size());
    r.D.Mark();
    WriteInPieces(r.D, dropped, {1000});
    // The first take-back, then the same again: a mark stays where it was.
    for (int again = 0; again < 2; ++again) {
      int64_t keep = r.D.TakeBack();
      ASSERT_LE(keep, static_cast<int64_t>(r.Out.size()));
      r.Out.resize(static_cast<size_t>(keep));
      EXPECT_EQ(r.D.BytesIn(), static_cast<int64_t>(before.size()));
      r.D.Write(dropped.data(), dropped.size());
    }
    r.Out.resize(static_cast<size_t>(r.D.TakeBack()));
    r.D.Write(after.data(), after.size());
    r.D.Finish();
    bool ended = false;
    EXPECT_TRUE(Inflate(r.Out, ended) == want) << c.Before << "+" << c.Dropped;
    EXPECT_TRUE(ended);
    EXPECT_TRUE(r.Out == plain.Out) << c.Before << "+" << c.Dropped;
  }
}

// A stream given up part way (a cancelled run) or whose sink fails stops its workers and
// leaks nothing; the sink's error reaches the writer.
TEST(ParallelDeflate, AbandonedAndFailingStreamsStopCleanly) {
  Bytes data = RandomData(64 * kChunk, 4);
  for (int cut : {1, 10, 63}) {
    TRun r;
    r.D.Write(data.data(), static_cast<size_t>(cut) * kChunk + 100);
  }
  int calls = 0;
  TParallelDeflate d(
      7, -15,
      [&](const uint8_t*, size_t) {
        if (++calls == 3) throw std::runtime_error("disk full");
      },
      kChunk, 4);
  EXPECT_THROW(
      {
        d.Write(data.data(), data.size());
        d.Finish();
      },
      std::runtime_error);
  EXPECT_EQ(calls, 3);
  EXPECT_THROW(TParallelDeflate(7, 15, [](const uint8_t*, size_t) {}), EStreamError);
}
