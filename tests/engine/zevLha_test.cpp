// LHA archives: headers of every level read by their layout, every method decoded, and what
// the engine's encoder writes accepted by the system's lhasa (native build). The -lh1- and
// -lh4- streams come from test-side encoders and are accepted only because lhasa passes them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevLhaFormat.h"
#include "archive/engine/zevLzh5.h"
#include "common/TestUtil.h"
#include "engine/CodecTestData.h"
#include "engine/TestArchives.h"
#include "engine/TestEncoders.h"
#include "foundation/TextCodec.h"

using namespace codectest;
using namespace testarc;

namespace {

struct TReadEntry {
  TLhaHeader H;
  int Result;
  Bytes Data;
};
// Walks and decodes every entry, checking CRC-16 as the reader does.
int ReadArchive(const Bytes& a, std::vector<TReadEntry>& out) {
  TBytesReadStream s(a.data(), a.size());
  std::vector<TLhaHeader> hs;
  int r = WalkLhaHeaders(s, static_cast<int64_t>(a.size()), [&](const TLhaHeader& h) {
    hs.push_back(h);
    return true;
  });
  for (const auto& h : hs) {
    TReadEntry e{h, 0, {}};
    if (h.MethodChar() != 'd') {
      s.Seek(h.DataOffset, soFromBeginning);
      TCodecInput in(s, h.PackedSize);
      TVectorSink sink;
      sink.Limit = 1u << 26;
      e.Result = LhaDecodeData(in, sink, h.MethodChar(), h.OrigSize);
      e.Data = std::move(sink.Data);
      if (e.Result == 0 && UpdateCrc16(0, e.Data.data(), e.Data.size()) != h.Crc) e.Result = zevCrcError;
    }
    out.push_back(std::move(e));
  }
  return r;
}

std::vector<TEntry> SampleEntries() {
  return {{"stored.txt", '0', TextData(5000, 1)},
          {"lh1.txt", '1', TextData(30000, 2)},
          {"blanks.txt", '1', Bytes(3000, ' ')},
          {"lh4.txt", '4', TextData(40000, 3)},
          {"lh5.bin", '5', TextData(150000, 4)},
          {"empty.txt", '5', {}},
          {"lh6.txt", '6', TextData(90000, 5)},
          {"lh7.txt", '7', TextData(90000, 6)},
          {"sub\\", 'd', {}},
          {"sub\\inner.txt", '5', TextData(1000, 7)}};
}
}  // namespace

TEST(LhaFormat, ReadsBackEveryMethodOfALevel0Archive) {
  auto entries = SampleEntries();
  Bytes a = MakeArchive(entries);
  std::vector<TReadEntry> got;
  ASSERT_EQ(ReadArchive(a, got), 0);
  ASSERT_EQ(got.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(entries[i].Name);
    EXPECT_EQ(got[i].H.Name, entries[i].Name);
    EXPECT_EQ(got[i].H.MethodChar(), entries[i].Method);
    EXPECT_EQ(got[i].Result, 0);
    EXPECT_TRUE(got[i].Data == entries[i].Data);
  }
}

TEST(LhaFormat, EveryTruncationListsTheEntriesBeforeTheCutAndNeverCrashes) {
  Bytes a = MakeArchive({{"a.txt", '5', TextData(1500, 8)}, {"b.txt", '1', TextData(1000, 9)}, {"c.txt", '0', Bytes(100, 7)}});
  for (size_t n = 0; n < a.size(); ++n) {
    Bytes cut(a.begin(), a.begin() + static_cast<long>(n));
    std::vector<TReadEntry> got;
    ReadArchive(cut, got);
    for (const auto& e : got) {
      ASSERT_LE(e.Data.size(), e.H.OrigSize);
      if (e.H.DataOffset + e.H.PackedSize > static_cast<int64_t>(n)) {
        ASSERT_NE(e.Result, 0) << n;
      }
    }
  }
}

namespace {
// A level-1, 2 or 3 header built by hand: name and folder in extended headers (level 3: every
// size 32 bits wide).
Bytes HigherLevelArchive(int level, const std::string& dir, const std::string& file, const Bytes& data) {
  Bytes packed = Pack('5', data);
  uint16_t crc = UpdateCrc16(0, data.data(), data.size());
  auto u16 = [](Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto u32 = [&](Bytes& b, uint32_t v) {
    u16(b, v & 0xFFFF);
    u16(b, v >> 16);
  };
  // The folder's parts are separated by 0xFF.
  std::string d = dir;
  for (char& c : d)
    if (c == '\\') c = static_cast<char>(0xFF);
  const size_t w = level == 3 ? 4 : 2;  // the width of a "next size" field
  Bytes ext;  // the extended headers, each ending with the size of the next
  std::vector<std::pair<uint8_t, std::string>> exts;
  if (level >= 2) exts.push_back({1, file});
  if (!d.empty()) exts.push_back({2, d});
  auto extSize = [&](size_t i) { return static_cast<uint32_t>(1 + exts[i].second.size() + w); };
  for (size_t i = 0; i < exts.size(); ++i) {
    ext.push_back(exts[i].first);
    Append(ext, exts[i].second);
    uint32_t next = i + 1 < exts.size() ? extSize(i + 1) : 0;
    if (w == 4)
      u32(ext, next);
    else
      u16(ext, next);
  }
  uint32_t firstSize = exts.empty() ? 0 : extSize(0);
  Bytes h;
  if (level == 1) {
    h.push_back(0);  // size, below
    h.push_back(0);  // checksum, below
    Append(h, "-lh5-");
    u32(h, static_cast<uint32_t>(packed.size() + ext.size()));
    u32(h, static_cast<uint32_t>(data.size()));
    u32(h, 0x5A8B6000);
    h.push_back(0x20);
    h.push_back(1);
    h.push_back(static_cast<uint8_t>(file.size()));
    Append(h, file);
    u16(h, crc);
    h.push_back('M');
    u16(h, firstSize);
    h[0] = static_cast<uint8_t>(h.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + h[i]);
    h[1] = sum;
    h.insert(h.end(), ext.begin(), ext.end());
  } else if (level == 3) {
    u16(h, 4);  // the word size
    Append(h, "-lh5-");
    u32(h, static_cast<uint32_t>(packed.size()));
    u32(h, static_cast<uint32_t>(data.size()));
    u32(h, 1262304000);
    h.push_back(0x20);
    h.push_back(3);
    u16(h, crc);
    h.push_back('U');
    u32(h, firstSize);
    h.insert(h.end(), ext.begin(), ext.end());
  } else {
    u16(h, 0);  // total, below
    Append(h, "-lh5-");
    u32(h, static_cast<uint32_t>(packed.size()));
    u32(h, static_cast<uint32_t>(data.size()));
    u32(h, 1262304000);  // 2010-01-01 00:00:00 UTC
    h.push_back(0x20);
    h.push_back(2);
    u16(h, crc);
    h.push_back('M');
    u16(h, firstSize);
    h.insert(h.end(), ext.begin(), ext.end());
    if ((h.size() & 0xFF) == 0) h.push_back(0);  // a total whose low byte is 0 reads as the end
    h[0] = static_cast<uint8_t>(h.size());
    h[1] = static_cast<uint8_t>(h.size() >> 8);
  }
  h.insert(h.end(), packed.begin(), packed.end());
  h.push_back(0);
  return h;
}
}  // namespace

TEST(LhaFormat, Level1To3HeadersGiveTheFolderInFrontOfTheName) {
  Bytes data = TextData(4000, 10);
  for (int level : {1, 2, 3}) {
    SCOPED_TRACE(level);
    Bytes a = HigherLevelArchive(level, "docs\\old", "note.txt", data);
    std::vector<TReadEntry> got;
    ASSERT_EQ(ReadArchive(a, got), 0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].H.Name, "docs\\old\\note.txt");
    EXPECT_EQ(got[0].H.Level, level);
    EXPECT_EQ(got[0].Result, 0);
    EXPECT_TRUE(got[0].Data == data);
  }
}

TEST(LhaFormat, DamagedHeadersAreRefused) {
  Bytes a = MakeArchive({{"a.txt", '0', Bytes(10, 1)}});
  // A name longer than the header holds.
  Bytes b = a;
  b[21] = 200;
  std::vector<TReadEntry> got;
  EXPECT_EQ(ReadArchive(b, got), zevBadFileHeader);
  EXPECT_TRUE(got.empty());
  // A header size below the fixed part.
  b = a;
  b[0] = 10;
  got.clear();
  EXPECT_EQ(ReadArchive(b, got), zevBadFileHeader);
  // An unknown level.
  b = a;
  b[20] = 7;
  got.clear();
  EXPECT_EQ(ReadArchive(b, got), zevBadFileHeader);
  // A level-1 extended header chain longer than the packed size.
  Bytes l1 = HigherLevelArchive(1, "d", "f.txt", Bytes(100, 'x'));
  l1[7] = 2;  // packed size far too small for the extended header
  l1[8] = l1[9] = l1[10] = 0;
  got.clear();
  EXPECT_EQ(ReadArchive(l1, got), zevBadFileHeader);
  // A level-3 extended header whose size runs past the end, or is too small to hold its own
  // size field.
  Bytes l3 = HigherLevelArchive(3, "d", "f.txt", Bytes(100, 'x'));
  for (uint32_t size : {0x7FFFFFF0u, 3u}) {
    Bytes bad = l3;
    bad[24] = static_cast<uint8_t>(size);
    bad[25] = static_cast<uint8_t>(size >> 8);
    bad[26] = static_cast<uint8_t>(size >> 16);
    bad[27] = static_cast<uint8_t>(size >> 24);
    got.clear();
    EXPECT_EQ(ReadArchive(bad, got), zevBadFileHeader) << size;
  }
  for (size_t cut = 1; cut + 1 < l3.size(); ++cut) {  // the last byte is the end mark
    got.clear();
    ReadArchive(Bytes(l3.begin(), l3.begin() + static_cast<long>(cut)), got);
    for (const auto& e : got) EXPECT_NE(e.Result, 0);
  }
}

TEST(LhaFormat, ABlockOf128BytesBeforeTheArchiveIsSkipped) {
  Bytes a(128, 0);
  Bytes arc = MakeArchive({{"x.txt", '5', TextData(500, 12)}});
  a.insert(a.end(), arc.begin(), arc.end());
  std::vector<TReadEntry> got;
  ASSERT_EQ(ReadArchive(a, got), 0);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Result, 0);
}

TEST(LhaFormat, ALevel0NameTooLongIsRefusedNotWrapped) {
  EXPECT_TRUE(MakeLhaLevel0Header("-lh0-", 0, 0, 0, 0, std::string(kLhaMaxLevel0Name + 1, 'a'), 0).empty());
  EXPECT_EQ(MakeLhaLevel0Header("-lh0-", 0, 0, 0, 0, std::string(kLhaMaxLevel0Name, 'a'), 0).size(), 255u + 2);
}

namespace {
struct TWriteCase {
  std::string Name;
  bool Folder;
  TLhaPacking Packing;
  Bytes Data;
  const char* Method;  // as written
};
std::vector<TWriteCase> WriteCases() {
  return {{"text5.txt", false, TLhaPacking::Lh5, TextData(50000, 31), "-lh5-"},
          {"text6.txt", false, TLhaPacking::Lh6, TextData(70000, 32), "-lh6-"},
          {"noise.bin", false, TLhaPacking::Lh6, RandomData(20000, 33), "-lh0-"},
          {"stored.txt", false, TLhaPacking::Store, TextData(3000, 34), "-lh0-"},
          {"empty.txt", false, TLhaPacking::Lh5, {}, "-lh0-"},
          {"sub", true, TLhaPacking::Lh5, {}, "-lhd-"},
          {"sub\\in.txt", false, TLhaPacking::Lh5, TextData(2000, 35), "-lh5-"}};
}
Bytes WriteArchive(const std::vector<TWriteCase>& cases) {
  TMemoryStream32 dest, scratch;
  for (const auto& c : cases) {
    TBytesReadStream src(c.Data.data(), c.Data.size());
    TLhaWritten w;
    EXPECT_EQ(WriteLhaEntry(c.Folder ? nullptr : &src, dest, scratch, c.Name, c.Folder, 0x5A8B6000,
                            c.Folder ? 0x10 : 0x20, c.Packing, w),
              0);
    EXPECT_STREQ(w.Method, c.Method) << c.Name;
  }
  uint8_t end = 0;
  dest.WriteBuffer(&end, 1);
  return MemoryBytes(dest);
}
}  // namespace

TEST(LhaWriter, WritesEveryKindOfEntryAndStoresWhatDoesNotShrink) {
  auto cases = WriteCases();
  Bytes a = WriteArchive(cases);
  std::vector<TReadEntry> got;
  ASSERT_EQ(ReadArchive(a, got), 0);
  ASSERT_EQ(got.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].Name);
    EXPECT_EQ(got[i].H.Name, cases[i].Name + (cases[i].Folder ? "\\" : ""));
    EXPECT_EQ(got[i].Result, 0);
    EXPECT_TRUE(got[i].Data == cases[i].Data);
    EXPECT_EQ(got[i].H.Attr, cases[i].Folder ? 0x10 : 0x20);
  }
}

TEST(LhaWriter, RefusesANameTooLongForItsHeader) {
  TMemoryStream32 dest, scratch;
  Bytes data(10, 'a');
  TBytesReadStream src(data.data(), data.size());
  TLhaWritten w;
  EXPECT_EQ(WriteLhaEntry(&src, dest, scratch, std::string(300, 'n'), false, 0, 0x20, TLhaPacking::Lh5, w),
            zevInvalidFileName);
  EXPECT_EQ(dest.GetSize(), 0);
}

TEST(LhaWriter, KnowsTheAlreadyCompressedExtensions) {
  EXPECT_TRUE(IsAlreadyCompressedName(L"C:\\a\\b.ZIP"));
  EXPECT_TRUE(IsAlreadyCompressedName(L"x.lzh"));
  EXPECT_TRUE(IsAlreadyCompressedName(L"x.z"));
  EXPECT_FALSE(IsAlreadyCompressedName(L"x.txt"));
  EXPECT_FALSE(IsAlreadyCompressedName(L"zip"));
  EXPECT_FALSE(IsAlreadyCompressedName(L"dir.zip\\file"));
}

#ifndef _WIN32
namespace {
int Shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }
bool HaveLhasa() { return Shell("command -v lha") == 0; }
}  // namespace

TEST(LhaFormat, LhasaTestsAndExtractsWhatTheEncodersWrite) {
  if (!HaveLhasa()) GTEST_SKIP() << "lhasa is not installed";
  TTempDir dir;
  std::string d = WideToUtf8(dir.Path());
  auto entries = SampleEntries();
  for (auto& e : entries)
    for (char& c : e.Name)
      if (c == '\\') c = '/';
  Bytes a = MakeArchive(entries);
  ASSERT_TRUE(WriteFileRaw(dir / L"t.lzh", std::string(a.begin(), a.end())));
  EXPECT_EQ(Shell("cd '" + d + "' && lha t t.lzh"), 0);
  // The check is real: a damaged copy fails it.
  Bytes bad = a;
  bad[bad.size() / 2] ^= 0x55;
  ASSERT_TRUE(WriteFileRaw(dir / L"bad.lzh", std::string(bad.begin(), bad.end())));
  EXPECT_NE(Shell("cd '" + d + "' && lha t bad.lzh"), 0);
  ASSERT_EQ(Shell("mkdir '" + d + "/x' && cd '" + d + "/x' && lha xf ../t.lzh"), 0);
  for (const auto& e : entries) {
    if (e.Method == 'd') continue;
    SCOPED_TRACE(e.Name);
    std::string got = ReadFileRaw(dir / Utf8ToWide("x/" + e.Name));
    EXPECT_TRUE(got == std::string(e.Data.begin(), e.Data.end()));
  }
  // Level 1 and 2 headers as built here are lhasa's too (it reads no level 3, nor does 7-Zip).
  for (int level : {1, 2}) {
    Bytes l = HigherLevelArchive(level, "docs\\old", "note.txt", TextData(3000, 20));
    ASSERT_TRUE(WriteFileRaw(dir / L"l.lzh", std::string(l.begin(), l.end())));
    EXPECT_EQ(Shell("cd '" + d + "' && lha t l.lzh"), 0) << level;
    EXPECT_EQ(Shell("cd '" + d + "' && lha l l.lzh | grep -q 'docs/old/note.txt'"), 0) << level;
  }
}
TEST(LhaWriter, LhasaAcceptsWhatTheWriterMakes) {
  if (!HaveLhasa()) GTEST_SKIP() << "lhasa is not installed";
  TTempDir dir;
  std::string d = WideToUtf8(dir.Path());
  auto cases = WriteCases();
  Bytes a = WriteArchive(cases);
  ASSERT_TRUE(WriteFileRaw(dir / L"w.lzh", std::string(a.begin(), a.end())));
  EXPECT_EQ(Shell("cd '" + d + "' && lha t w.lzh"), 0);
  ASSERT_EQ(Shell("mkdir '" + d + "/x' && cd '" + d + "/x' && lha xf ../w.lzh"), 0);
  for (const auto& c : cases) {
    if (c.Folder) continue;
    SCOPED_TRACE(c.Name);
    std::string name = c.Name;
    for (char& ch : name)
      if (ch == '\\') ch = '/';
    EXPECT_TRUE(ReadFileRaw(dir / Utf8ToWide("x/" + name)) == std::string(c.Data.begin(), c.Data.end()));
  }
}
#endif
