// ARC/PAK, ARJ and ZOO archives: fixtures made by Debian's arc and arj (recipe in
// tests/fixtures/oldarc/make.sh) are listed and decoded byte for byte; the methods no tool
// here writes (ARC's old stored and crunch methods, every ZOO method) come from the test-side
// encoders and are checked by nomarch and unar in the native build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevLzh5.h"
#include "archive/engine/zevOldFormats.h"
#include "common/TestUtil.h"
#include "engine/CodecTestData.h"
#include "engine/TestArchives.h"
#include "engine/TestEncoders.h"
#include "foundation/TextCodec.h"

using namespace codectest;
using namespace testarc;

namespace {
struct TDecoded {
  std::string Name;
  int Method;
  int Result;
  Bytes Data;
  uint32_t Crc;        // as stored
  uint32_t CrcOfData;  // of what came out (same width)
};

std::vector<TDecoded> ReadArc(const Bytes& a, int* walk = nullptr) {
  TBytesReadStream s(a.data(), a.size());
  std::vector<TArcHeader> hs;
  int r = WalkArcHeaders(s, static_cast<int64_t>(a.size()), [&](const TArcHeader& h) {
    hs.push_back(h);
    return true;
  });
  if (walk) *walk = r;
  std::vector<TDecoded> out;
  for (const auto& h : hs) {
    s.Seek(h.DataOffset, soFromBeginning);
    TCodecInput in(s, h.PackedSize);
    TVectorSink sink;
    int res = ArcDecodeData(in, sink, h.Method, h.OrigSize);
    out.push_back({h.Name, h.Method, res, sink.Data, h.Crc, UpdateCrc16(0, sink.Data.data(), sink.Data.size())});
  }
  return out;
}

std::vector<TDecoded> ReadArj(const Bytes& a, const std::string& password = "", int* walk = nullptr,
                              std::vector<TArjHeader>* headers = nullptr) {
  TBytesReadStream s(a.data(), a.size());
  std::vector<TArjHeader> hs;
  int r = WalkArjHeaders(s, static_cast<int64_t>(a.size()), [&](const TArjHeader& h) {
    hs.push_back(h);
    return true;
  });
  if (walk) *walk = r;
  if (headers) *headers = hs;
  std::vector<TDecoded> out;
  for (const auto& h : hs) {
    if (h.IsMain) continue;
    s.Seek(h.DataOffset, soFromBeginning);
    TCodecInput in(s, h.PackedSize);
    uint64_t pos = 0;
    if (h.Flags & kArjGarbled)
      in.Decipher = [&](uint8_t* p, size_t n) { ArjGarble(p, n, password, h.PasswordModifier, pos); };
    TVectorSink sink;
    int res = ArjDecodeData(in, sink, h.Method, h.OrigSize);
    out.push_back({h.Name, h.Method, res, sink.Data, h.Crc, Crc32Of(sink.Data.data(), sink.Data.size())});
  }
  return out;
}

std::vector<TDecoded> ReadZoo(const Bytes& a, int* walk = nullptr) {
  TBytesReadStream s(a.data(), a.size());
  std::vector<TZooHeader> hs;
  int r = WalkZooHeaders(s, static_cast<int64_t>(a.size()), [&](const TZooHeader& h) {
    hs.push_back(h);
    return true;
  });
  if (walk) *walk = r;
  std::vector<TDecoded> out;
  for (const auto& h : hs) {
    s.Seek(h.DataOffset, soFromBeginning);
    TCodecInput in(s, h.PackedSize);
    TVectorSink sink;
    int res = ZooDecodeData(in, sink, h.Method, h.OrigSize);
    out.push_back({h.Name, h.Method, res, sink.Data, h.Crc, UpdateCrc16(0, sink.Data.data(), sink.Data.size())});
  }
  return out;
}

void ExpectOriginals(const std::vector<TDecoded>& got, size_t count) {
  ASSERT_EQ(got.size(), count);
  for (const auto& e : got) {
    SCOPED_TRACE(e.Name + " method " + std::to_string(e.Method));
    EXPECT_EQ(e.Result, 0);
    EXPECT_EQ(e.Crc, e.CrcOfData);
    EXPECT_TRUE(e.Data == OldFixture(e.Name.c_str()));
  }
}

std::vector<std::tuple<int, std::string, Bytes>> ArcHandEntries() {
  return {{1, "old.txt", OldFixture("small.txt")},   {3, "runs.bin", OldFixture("runs.bin")},
          {4, "skew.bin", OldFixture("skew.bin")},   {5, "text5.txt", OldFixture("text.txt")},
          {6, "runs6.bin", OldFixture("runs.bin")},  {7, "text7.txt", OldFixture("text.txt")}};
}
std::vector<std::tuple<int, std::string, Bytes>> ZooEntries() {
  return {{0, "small.txt", OldFixture("small.txt")}, {1, "text.txt", OldFixture("text.txt")},
          {2, "runs.bin", OldFixture("runs.bin")},   {1, "noise.bin", OldFixture("noise.bin")},
          {1, "empty.txt", {}}};
}
}  // namespace

TEST(ArcFormat, ReadsEveryMethodArcWrites) {
  ExpectOriginals(ReadArc(OldFixture("crunch.arc")), 4);
  ExpectOriginals(ReadArc(OldFixture("squash.arc")), 2);
  ExpectOriginals(ReadArc(OldFixture("squeeze.arc")), 1);
  auto got = ReadArc(OldFixture("crunch.arc"));
  std::map<std::string, int> methods;
  for (const auto& e : got) methods[e.Name] = e.Method;
  EXPECT_EQ(methods["text.txt"], 8);
  EXPECT_EQ(methods["runs.bin"], 3);
  EXPECT_EQ(ReadArc(OldFixture("squash.arc"))[1].Method, 9);
  EXPECT_EQ(ReadArc(OldFixture("squeeze.arc"))[0].Method, 4);
}

TEST(ArcFormat, ReadsTheOldMethodsAndTheShortStoredHeader) {
  auto entries = ArcHandEntries();
  auto got = ReadArc(MakeArc(entries));
  ASSERT_EQ(got.size(), entries.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(got[i].Name);
    EXPECT_EQ(got[i].Result, 0);
    EXPECT_TRUE(got[i].Data == std::get<2>(entries[i]));
  }
}

TEST(ArcFormat, FoldersAreWalkedIntoAndTheirEndMarkEndsTheListing) {
  Bytes inner = MakeArc({{2, "in.txt", OldFixture("small.txt")}});
  inner.resize(inner.size() - 2);  // without its end mark
  Bytes a = {0x1A, 30};
  std::string n = "SUB";
  n.resize(13, '\0');
  a.insert(a.end(), n.begin(), n.end());
  Put32(a, static_cast<uint32_t>(inner.size() + 2));
  Put16(a, 0);
  Put16(a, 0);
  Put16(a, 0);
  Put32(a, 0);
  a.insert(a.end(), inner.begin(), inner.end());
  a.push_back(0x1A);
  a.push_back(31);  // the folder's end
  Bytes after = MakeArc({{2, "after.txt", OldFixture("small.txt")}});
  a.insert(a.end(), after.begin(), after.end());
  auto got = ReadArc(a);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Name, "in.txt");
  EXPECT_EQ(got[0].Result, 0);
}

TEST(ArcFormat, DamagedTreesAndCodesAreRefused) {
  // A squeeze tree of 300 nodes, and one whose child names a node that does not exist.
  Bytes many = {0x2C, 0x01};
  Bytes out;
  EXPECT_EQ(DecodeBytes(many, out, [](TCodecInput& in, TCodecSink& s) { return ArcDecodeData(in, s, 4, 10); }),
            zevInvalidDecodeTree);
  Bytes bad = {0x01, 0x00, 0x05, 0x00, 0xFF, 0xFE};
  EXPECT_EQ(DecodeBytes(bad, out, [](TCodecInput& in, TCodecSink& s) { return ArcDecodeData(in, s, 4, 10); }),
            zevInvalidDecodeTree);
  // Method 8 whose width byte is not 12.
  Bytes w = {13, 0, 0};
  EXPECT_EQ(DecodeBytes(w, out, [](TCodecInput& in, TCodecSink& s) { return ArcDecodeData(in, s, 8, 10); }),
            zevIncorrectBits);
  // An LZW code beyond the table: the first code after a byte is 300 while the next free is 257.
  Bytes lzw = {13 - 1, 0x41, 0x58, 0x02, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(DecodeBytes(lzw, out, [](TCodecInput& in, TCodecSink& s) { return ArcDecodeData(in, s, 8, 100); }),
            zevCorruptInput);
  // PAK's methods 10 and 11 are not known.
  EXPECT_EQ(DecodeBytes(bad, out, [](TCodecInput& in, TCodecSink& s) { return ArcDecodeData(in, s, 10, 10); }),
            zevUnsupportedMethod);
}

TEST(ArjFormat, ReadsEveryMethod) {
  for (const char* name : {"m0.arj", "m1.arj", "m2.arj", "m3.arj", "m4.arj"}) {
    SCOPED_TRACE(name);
    int walk = -1;
    std::vector<TArjHeader> hs;
    auto got = ReadArj(OldFixture(name), "", &walk, &hs);
    EXPECT_EQ(walk, 0);
    ASSERT_FALSE(hs.empty());
    EXPECT_TRUE(hs[0].IsMain);
    ExpectOriginals(got, 4);
  }
}

TEST(ArjFormat, GarbledEntriesNeedThePassword) {
  for (const char* name : {"garble.arj", "garble4.arj"}) {
    SCOPED_TRACE(name);
    auto good = ReadArj(OldFixture(name), "secret");
    ASSERT_FALSE(good.empty());
    for (const auto& e : good) {
      EXPECT_EQ(e.Result, 0);
      EXPECT_TRUE(e.Data == OldFixture(e.Name.c_str()));
    }
    auto bad = ReadArj(OldFixture(name), "wrong");
    bool anyFailed = false;
    for (const auto& e : bad) anyFailed |= e.Result != 0 || e.Crc != e.CrcOfData;
    EXPECT_TRUE(anyFailed);
  }
}

TEST(ArjFormat, AFileSplitOverVolumesIsPutTogetherAtItsStoredPositions) {
  Bytes whole(25000, 0);
  size_t pieces = 0;
  bool lastContinues = true;
  for (const char* vol : {"vol.arj", "vol.a01", "vol.a02"}) {
    std::vector<TArjHeader> hs;
    auto got = ReadArj(OldFixture(vol), "", nullptr, &hs);
    ASSERT_FALSE(hs.empty());
    EXPECT_TRUE(hs[0].Flags & kArjVolume || std::string(vol) == "vol.a02");
    size_t k = 0;
    for (const auto& h : hs) {
      if (h.IsMain) continue;
      const auto& e = got[k++];
      ASSERT_EQ(e.Result, 0);
      EXPECT_EQ(e.Crc, e.CrcOfData);
      if (e.Name != "noise.bin") continue;
      ASSERT_LE(h.ExtFilePos + e.Data.size(), whole.size());
      std::copy(e.Data.begin(), e.Data.end(), whole.begin() + h.ExtFilePos);
      ++pieces;
      lastContinues = (h.Flags & kArjVolume) != 0;
    }
  }
  EXPECT_EQ(pieces, 3u);
  EXPECT_FALSE(lastContinues);
  EXPECT_TRUE(whole == OldFixture("noise.bin"));
}

TEST(ZooFormat, ReadsEveryMethodAndStopsAtTheClosingEntry) {
  auto entries = ZooEntries();
  int walk = -1;
  auto got = ReadZoo(MakeZoo(entries), &walk);
  EXPECT_EQ(walk, 0);
  ASSERT_EQ(got.size(), entries.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(got[i].Name);
    EXPECT_EQ(got[i].Result, 0);
    EXPECT_EQ(got[i].Crc, got[i].CrcOfData);
    EXPECT_TRUE(got[i].Data == std::get<2>(entries[i]));
  }
}

TEST(ZooFormat, ALinkBackIsDamageNotACircle) {
  Bytes a = MakeZoo({{0, "a.txt", Bytes(10, 'a')}, {0, "b.txt", Bytes(10, 'b')}});
  // The second entry (at 42 + 58 + 10) links back to the first.
  size_t second = 42 + 58 + 10;
  a[second + 6] = 42;
  a[second + 7] = a[second + 8] = a[second + 9] = 0;
  int walk = 0;
  auto got = ReadZoo(a, &walk);
  EXPECT_EQ(walk, zevBadFileHeader);
  EXPECT_EQ(got.size(), 2u);
}

TEST(OldFormats, EveryTruncationOfEveryFixtureEndsCleanly) {
  std::vector<std::pair<std::string, Bytes>> all = {
      {"arc", OldFixture("crunch.arc")}, {"arc", OldFixture("squeeze.arc")}, {"arc", MakeArc(ArcHandEntries())},
      {"arj", OldFixture("m1.arj")},     {"arj", OldFixture("m4.arj")},      {"zoo", MakeZoo(ZooEntries())}};
  for (const auto& [kind, a] : all) {
    // Every cut near the start (the headers), then a spread over the data.
    for (size_t n = 0; n < a.size(); n += (n < 120 ? 1 : std::max<size_t>(1, a.size() / 100))) {
      Bytes cut(a.begin(), a.begin() + static_cast<long>(n));
      auto got = kind == "arc" ? ReadArc(cut) : kind == "arj" ? ReadArj(cut) : ReadZoo(cut);
      for (const auto& e : got)
        if (e.Result == 0) {
          ASSERT_EQ(e.Crc, e.CrcOfData) << kind << " cut at " << n << " " << e.Name;
        }
    }
  }
}

#ifndef _WIN32
namespace {
int Shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }
}  // namespace

TEST(OldFormats, TheTestSideStreamsAreReadByIndependentTools) {
  if (Shell("command -v unar") != 0 || Shell("command -v lsar") != 0) GTEST_SKIP() << "unar is not installed";
  TTempDir dir;
  std::string d = WideToUtf8(dir.Path());
  auto check = [&](const char* file, const Bytes& archive, const std::vector<std::tuple<int, std::string, Bytes>>& entries) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(WriteFileRaw(dir / Utf8ToWide(file), std::string(archive.begin(), archive.end())));
    EXPECT_EQ(Shell("cd '" + d + "' && lsar -t " + file + " | grep -q ' 0 failed'"), 0);
    std::string out = std::string("x-") + file;
    ASSERT_EQ(Shell("cd '" + d + "' && unar -q -D -o " + out + " " + file), 0);
    for (const auto& [method, name, data] : entries) {
      SCOPED_TRACE(name);
      std::string got = ReadFileRaw(dir / Utf8ToWide(out + "/" + name));
      EXPECT_TRUE(got == std::string(data.begin(), data.end()));
    }
  };
  check("hand.arc", MakeArc(ArcHandEntries()), ArcHandEntries());
  check("t.zoo", MakeZoo(ZooEntries()), ZooEntries());
  // nomarch, a second reader of ARC, knows the methods up to 6.
  if (Shell("command -v nomarch") == 0) {
    auto entries = ArcHandEntries();
    entries.pop_back();
    Bytes arc = MakeArc(entries);
    ASSERT_TRUE(WriteFileRaw(dir / L"n.arc", std::string(arc.begin(), arc.end())));
    EXPECT_EQ(Shell("cd '" + d + "' && nomarch -t n.arc | grep -v -q -w ok; test $? -eq 1"), 0);
  }
}
#endif
