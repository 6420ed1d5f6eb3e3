#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevStreams.h"

namespace {
using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  Bytes v(n);
  for (auto& b : v) b = static_cast<uint8_t>(r());
  return v;
}
// Text-like data that compresses well.
Bytes TextBytes(size_t n, uint32_t seed) {
  static const char* words[] = {"archive ", "entry ", "folder ", "name ", "stream ", "deflate ", "\r\n", "12345 "};
  std::mt19937 r(seed);
  Bytes v;
  while (v.size() < n) {
    const char* w = words[r() % 8];
    v.insert(v.end(), w, w + std::strlen(w));
  }
  v.resize(n);
  return v;
}
TMemoryStream32* Fill(TMemoryStream32& m, const Bytes& b) {
  m.SetSize(0);
  if (!b.empty()) m.WriteBuffer(b.data(), static_cast<int32_t>(b.size()));
  m.SetPosition(0);
  return &m;
}
Bytes Contents(TMemoryStream32& m) { return Bytes(m.Memory(), m.Memory() + m.GetSize()); }

// Raw DEFLATE of data by zlib itself, the independent reference.
Bytes RawDeflate(const Bytes& data, int level = 6) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}
Bytes RawInflate(const Bytes& packed, size_t expected) {
  z_stream z{};
  inflateInit2(&z, -15);
  Bytes out(expected + 1);
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int r = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  if (r != Z_STREAM_END) out.push_back(0xEE);  // marks a failure
  return out;
}

// Reads a stream to its end in pieces of the given size.
Bytes ReadAll(TStream32& s, int32_t piece = 10000) {
  Bytes out, buf(static_cast<size_t>(piece));
  for (;;) {
    int32_t n = s.Read(buf.data(), piece);
    if (n <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

// A source that hands out at most a few bytes per read and remembers the furthest byte read
// and the largest read asked of it.
class TShortReadStream : public TMemoryStream32 {
 public:
  int32_t Piece = 7;
  int64_t Furthest = 0;
  int32_t Largest = 0;
  int32_t Read(void* buffer, int32_t count) override {
    Largest = std::max(Largest, count);
    int32_t n = TMemoryStream32::Read(buffer, std::min(count, Piece));
    Furthest = std::max(Furthest, FPosition);
    return n;
  }
};
// Accepts only so many bytes in all.
class TLimitedSink : public TMemoryStream32 {
 public:
  int64_t Room = 0;
  int32_t Write(const void* buffer, int32_t count) override {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(count, Room));
    Room -= n;
    return n > 0 ? TMemoryStream32::Write(buffer, n) : 0;
  }
};
class TNoSeekStream : public TStream32 {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t) override { return 0; }
  const char* ClassName() const override { return "TNoSeekStream"; }
};
}  // namespace

TEST(EngineStreams, MemoryStream) {
  TMemoryStream32 m;
  Bytes a = TextBytes(10000, 1);
  m.WriteBuffer(a.data(), 10000);
  EXPECT_EQ(m.GetSize(), 10000);
  EXPECT_EQ(m.Capacity(), 16384);  // grows in steps of 8192
  m.SetPosition(9990);
  uint8_t buf[64];
  EXPECT_EQ(m.Read(buf, 64), 10);  // fewer at the end
  EXPECT_EQ(m.Read(buf, 64), 0);
  m.Seek(5, soFromEnd);  // beyond the end: a write there grows the stream
  EXPECT_EQ(m.Write("xy", 2), 2);
  EXPECT_EQ(m.GetSize(), 10007);
  m.SetSize(100);
  EXPECT_EQ(m.GetPosition(), 100);
  EXPECT_EQ(m.Capacity(), 8192);
  EXPECT_EQ(Bytes(m.Memory(), m.Memory() + 100), Bytes(a.begin(), a.begin() + 100));
  // Bytes that join the stream by a write behind its end or by SetSize are zeros, even where
  // the block held data before.
  m.SetSize(0);
  m.WriteBuffer(a.data(), 8000);
  m.SetSize(10);
  m.Seek(5000, soFromBeginning);
  m.WriteBuffer("z", 1);
  m.SetSize(7000);
  EXPECT_EQ(Bytes(m.Memory() + 10, m.Memory() + 5000), Bytes(4990, 0));
  EXPECT_EQ(Bytes(m.Memory() + 5001, m.Memory() + 7000), Bytes(1999, 0));
  m.Seek(int64_t{1} << 32, soFromBeginning);
  EXPECT_THROW(m.GetPosition(), ERangeError);
  EXPECT_THROW(m.Write("x", 1), EStreamError);  // no room at 4 GiB
  m.Seek(INT64_MAX, soFromBeginning);
  EXPECT_THROW(m.Seek(1, soFromCurrent), ERangeError);
  EXPECT_THROW(m.Write("x", 1), EStreamError);
  m.Clear();
  EXPECT_EQ(m.GetSize(), 0);
  EXPECT_EQ(m.Memory(), nullptr);
}

TEST(EngineStreams, BaseBehaviour) {
  TNoSeekStream n;
  try {
    n.Seek(0, soFromCurrent);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_NE(std::string(e.what()).find("TNoSeekStream"), std::string::npos);
  }
  TMemoryStream32 m;
  Fill(m, Bytes(10, 1));
  uint8_t buf[20];
  EXPECT_THROW(m.ReadBuffer(buf, 11), EReadError);
  TLimitedSink sink;
  sink.Room = 5;
  EXPECT_THROW(sink.WriteBuffer(buf, 6), EWriteError);
}

TEST(EngineStreams, CopyFrom) {
  Bytes a = RandomBytes(200000, 2);  // more than three copy buffers
  TShortReadStream src;
  src.Piece = 1 << 20;
  TMemoryStream32 dst;
  Fill(src, a);
  src.SetPosition(12345);
  EXPECT_EQ(dst.CopyFrom(src, 0), 200000);  // 0: the whole source, from its start
  EXPECT_EQ(Contents(dst), a);
  EXPECT_EQ(src.Largest, 61440);  // the copy buffer's bound
  TMemoryStream32 part;
  src.Largest = 0;
  src.SetPosition(100);
  EXPECT_EQ(part.CopyFrom(src, 70000), 70000);
  EXPECT_EQ(src.Largest, 61440);
  TMemoryStream32 small;
  src.Largest = 0;
  src.SetPosition(0);
  EXPECT_EQ(small.CopyFrom(src, 100), 100);
  EXPECT_EQ(src.Largest, 100);
  EXPECT_EQ(Contents(part), Bytes(a.begin() + 100, a.begin() + 70100));
  src.SetPosition(199990);
  EXPECT_THROW(part.CopyFrom(src, 11), EReadError);
}

TEST(EngineStreams, ChecksumStreams) {
  TMemoryStream32 m;
  Fill(m, Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'});
  m.SetPosition(4);
  EXPECT_EQ(StreamCrc32(m), 0xCBF43926u ^ 0xFFFFFFFFu);  // the unfinished register
  EXPECT_EQ(m.GetPosition(), 0);
  m.SetPosition(9);
  EXPECT_EQ(StreamCrc16(m), 0xBB3D);
  EXPECT_EQ(m.GetPosition(), 0);
  TMemoryStream32 empty;
  EXPECT_EQ(StreamCrc32(empty), 0xFFFFFFFFu);
}

TEST(EngineStreams, EncryptStream) {
  Bytes plain = RandomBytes(150000, 4);
  for (bool header : {true, false}) {
    TMemoryStream32 src, dst;
    Fill(src, plain);
    uint32_t crc = EncryptStreamTo(src, dst, "k3y", header);
    EXPECT_EQ(crc, Crc32Of(plain.data(), plain.size()));
    EXPECT_EQ(dst.GetPosition(), 0);  // rewound for the reader
    Bytes out = Contents(dst);
    ASSERT_EQ(out.size(), plain.size() + (header ? 12 : 0));
    if (header) {
      uint8_t h[24];
      std::memcpy(h + 12, out.data(), 12);
      ASSERT_TRUE(ZipCheckEncryptHeader(h, 0, crc, "k3y", 0));
      ZipDecryptBuffer(out.data() + 12, plain.size());
      EXPECT_EQ(Bytes(out.begin() + 12, out.end()), plain);
    }
  }
}

TEST(EngineStreams, CompressRoundTripByEffortAndSize) {
  const TDeflateType efforts[] = {dtDeflateZ, dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX};
  const size_t sizes[] = {0, 1, 65535, 65536, 300000};
  for (TDeflateType effort : efforts)
    for (size_t size : sizes)
      for (int kind = 0; kind < 2; ++kind) {
        Bytes data = kind ? RandomBytes(size, 5) : TextBytes(size, 5);
        TMemoryStream32 packed;
        packed.WriteBuffer("HEAD", 4);  // the codec writes from where the destination stands
        {
          TCompressStream c(packed, -15, effort);
          for (size_t pos = 0; pos < size; pos += 40000) {
            int32_t n = static_cast<int32_t>(std::min<size_t>(40000, size - pos));
            ASSERT_EQ(c.Write(data.data() + pos, n), n);
          }
          EXPECT_EQ(c.Seek(0, soFromCurrent), static_cast<int64_t>(size));
          EXPECT_EQ(c.Seek(1, soFromCurrent), -1);
          uint8_t b;
          EXPECT_EQ(c.Read(&b, 1), -1);
          c.Finish();
        }
        Bytes all = Contents(packed);
        ASSERT_EQ(Bytes(all.begin(), all.begin() + 4), Bytes({'H', 'E', 'A', 'D'}));
        Bytes body(all.begin() + 4, all.end());
        // zlib's own inflate takes what the stream wrote...
        EXPECT_EQ(RawInflate(body, size), data) << effort << " " << size;
        // ...and the decompressing stream takes what zlib's deflate writes.
        TMemoryStream32 src;
        Fill(src, RawDeflate(data));
        TDecompressStream d(src, -15);
        EXPECT_EQ(ReadAll(d, 30000), data);
        EXPECT_TRUE(d.Ended());
        EXPECT_EQ(d.ErrorCode(), 0);
      }
}

TEST(EngineStreams, CipheredCompressionAndHooks) {
  Bytes data = TextBytes(400000, 6);
  TMemoryStream32 packed;
  double left = 400000;
  int calls = 0;
  ZipInitKeys("pw");
  {
    TCompressStream c(packed, -15, dtDeflateN);
    c.Crypt = true;
    c.BytesLeft = &left;
    c.OnProgress = [&] { ++calls; };
    c.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  }  // finished by the destructor
  EXPECT_EQ(left, 0);
  EXPECT_GT(calls, 0);
  Bytes plainPacked = Contents(packed);
  ZipInitKeys("pw");
  ZipDecryptBuffer(plainPacked.data(), plainPacked.size());
  EXPECT_EQ(RawInflate(plainPacked, data.size()), data);

  packed.SetPosition(0);
  ZipInitKeys("pw");
  TDecompressStream d(packed, -15);
  d.Crypt = true;
  double inLeft = static_cast<double>(packed.GetSize());
  d.BytesLeft = &inLeft;
  EXPECT_EQ(ReadAll(d), data);
  EXPECT_EQ(inLeft, 0);
}

TEST(EngineStreams, CancelStopsCompression) {
  Bytes data = RandomBytes(1 << 20, 7);
  TMemoryStream32 packed;
  uint8_t cancel = 1;
  TCompressStream c(packed, -15, dtDeflateS);
  c.CancelFlag = &cancel;
  int32_t taken = c.Write(data.data(), static_cast<int32_t>(data.size()));
  EXPECT_GT(taken, 0);
  EXPECT_LT(taken, 1 << 19);
}

TEST(EngineStreams, DecompressStopsAtTheEndOfItsData) {
  Bytes data = TextBytes(100000, 8);
  Bytes packed = RawDeflate(data);
  Bytes withTail = packed;
  const char tail[] = "TRAILER-BYTES";
  withTail.insert(withTail.end(), tail, tail + 13);
  for (int32_t piece : {1, 7, 4096, 1 << 20}) {
    TShortReadStream src;
    src.Piece = piece;
    Fill(src, withTail);
    {
      TDecompressStream d(src, -15);
      EXPECT_EQ(ReadAll(d, 777), data);
      EXPECT_EQ(d.BytesIn(), static_cast<int64_t>(packed.size()));
    }
    EXPECT_EQ(src.GetPosition(), static_cast<int64_t>(packed.size())) << piece;
  }
  // With the packed size given, nothing behind it is read even when the data is damaged.
  Bytes damaged = packed;
  damaged.resize(packed.size() / 2);
  damaged.insert(damaged.end(), withTail.begin(), withTail.end());
  TShortReadStream src;
  src.Piece = 100000;
  Fill(src, damaged);
  TDecompressStream d(src, -15, static_cast<int64_t>(packed.size() / 2));
  Bytes out = ReadAll(d);
  EXPECT_EQ(d.ErrorCode(), zevReadError);
  EXPECT_LE(src.Furthest, static_cast<int64_t>(packed.size() / 2));
  ASSERT_LE(out.size(), data.size());
  EXPECT_EQ(out, Bytes(data.begin(), data.begin() + static_cast<ptrdiff_t>(out.size())));
}

TEST(EngineStreams, DecompressFinishesFromHeldBits) {
  // All 19 input bytes are taken while the 18th output byte is made; the last byte and the
  // end of the data then come from bits the inflater already holds, with nothing left to read.
  const Bytes packed = {0x4B, 0x4C, 0x4C, 0xFA, 0x9F, 0x9C, 0x98, 0x04, 0x04, 0x3B,
                        0x93, 0x65, 0x92, 0x92, 0x93, 0x92, 0x12, 0x13, 0x01};
  const Bytes data = {0x61, 0x61, 0x62, 0xFF, 0x63, 0x61, 0x62, 0x62, 0x62, 0x62,
                      0xB9, 0x63, 0x1C, 0x62, 0x63, 0x62, 0x62, 0x61, 0x61};
  ASSERT_EQ(RawInflate(packed, data.size()), data);
  for (int32_t piece : {1, 2, 3, 6, 9, 18, 19, 100})
    for (int64_t packedSize : {int64_t{-1}, static_cast<int64_t>(packed.size())}) {
      TMemoryStream32 src;
      Fill(src, packed);
      TDecompressStream d(src, -15, packedSize);
      EXPECT_EQ(ReadAll(d, piece), data) << piece << " " << packedSize;
      EXPECT_EQ(d.ErrorCode(), 0) << piece << " " << packedSize;
      EXPECT_TRUE(d.Ended()) << piece << " " << packedSize;
    }
}

TEST(EngineStreams, DecompressEveryTruncation) {
  Bytes data = TextBytes(20000, 9);
  Bytes packed = RawDeflate(data, 9);
  for (size_t cut = 0; cut < packed.size(); ++cut) {
    TShortReadStream src;
    src.Piece = 5;
    Fill(src, Bytes(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(cut)));
    TDecompressStream d(src, -15);
    Bytes out = ReadAll(d, 1000);
    ASSERT_EQ(d.ErrorCode(), zevReadError) << cut;
    ASSERT_FALSE(d.Ended());
    ASSERT_LE(out.size(), data.size());
    ASSERT_EQ(out, Bytes(data.begin(), data.begin() + static_cast<ptrdiff_t>(out.size()))) << cut;
    uint8_t b;
    ASSERT_EQ(d.Read(&b, 1), 0);  // and it stays ended
  }
}

TEST(EngineStreams, DecompressDamagedInput) {
  const Bytes cases[] = {
      {0x07, 0x00},                     // last block of the reserved type 3
      {0x01, 0x05, 0x00, 0x05, 0x00},   // stored block whose length check does not match
      {0x05, 0xFF, 0xFF, 0xFF, 0xFF},   // dynamic block with more codes than there can be
  };
  for (const auto& c : cases) {
    TMemoryStream32 src;
    Fill(src, c);
    TDecompressStream d(src, -15);
    uint8_t buf[100];
    EXPECT_EQ(d.Read(buf, 100), 0);
    EXPECT_EQ(d.ErrorCode(), zevCorruptInput);
  }
  // Flipped bytes anywhere: every outcome ends, none runs past the data.
  Bytes data = TextBytes(30000, 10);
  Bytes packed = RawDeflate(data);
  std::mt19937 r(11);
  for (int i = 0; i < 300; ++i) {
    Bytes bad = packed;
    bad[r() % bad.size()] ^= static_cast<uint8_t>(1 + r() % 255);
    TMemoryStream32 src;
    Fill(src, bad);
    TDecompressStream d(src, -15);
    Bytes out = ReadAll(d, 4096);
    EXPECT_TRUE(d.Ended() || d.ErrorCode() != 0);
    EXPECT_LE(d.BytesIn(), static_cast<int64_t>(bad.size()));
  }
}

TEST(EngineStreams, DecompressSeek) {
  Bytes data = TextBytes(50000, 12);
  TMemoryStream32 src;
  Fill(src, RawDeflate(data));
  src.Seek(0, soFromBeginning);
  TDecompressStream d(src, -15);
  uint8_t buf[100];
  EXPECT_EQ(d.Seek(30000, soFromBeginning), 30000);
  ASSERT_EQ(d.Read(buf, 100), 100);
  EXPECT_EQ(Bytes(buf, buf + 100), Bytes(data.begin() + 30000, data.begin() + 30100));
  EXPECT_EQ(d.Seek(900, soFromCurrent), 31000);
  EXPECT_EQ(d.Seek(-5, soFromCurrent), 31000);  // backwards: stays
  EXPECT_EQ(d.Seek(0, soFromBeginning), 0);     // from the start again
  ASSERT_EQ(d.Read(buf, 100), 100);
  EXPECT_EQ(Bytes(buf, buf + 100), Bytes(data.begin(), data.begin() + 100));
  EXPECT_EQ(d.Seek(1 << 20, soFromBeginning), 50000);  // past the end: stops there
  EXPECT_EQ(d.Write(buf, 1), -1);
}
