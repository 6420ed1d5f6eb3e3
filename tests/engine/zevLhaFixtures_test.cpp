// LHA archives made by another writer: Debian's jlha made them from the sample files beside
// them (recipe in tests/fixtures/lha/make.sh) with each method it writes and each header level,
// Korean names in code page 949. They are listed, tested and extracted byte for byte, and no
// truncation of them crashes or hangs the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "archive/engine/zevLhaFormat.h"
#include "archive/engine/zevUnLha.h"
#include "common/TestUtil.h"
#include "engine/CodecTestData.h"
#include "foundation/TextCodec.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace codectest;

namespace {
Bytes LhaFixture(const std::string& name) {
  std::string s = ReadFileRaw(FixturePath(Utf8ToWide("lha/" + name)));
  return Bytes(s.begin(), s.end());
}

// The stored names (code page 949, "\" between the parts) and the sample files they came from.
struct TSample {
  const char* Stored;
  const char* Source;  // under lha/src; null for a folder
};
const TSample kSamples[] = {
    {"text.txt", "text.txt"},
    {"empty.txt", "empty.txt"},
    {"noise.bin", "noise.bin"},
    {"big.bin", "big.bin"},
    {"\xC6\xFA\xB4\xF5\\", nullptr},                                   // 폴더
    {"\xC6\xFA\xB4\xF5\\\xBA\xF3\\", nullptr},                         // 폴더\빈
    {"\xC6\xFA\xB4\xF5\\\xBE\xC6\xB7\xA1\\", nullptr},                 // 폴더\아래
    {"\xC6\xFA\xB4\xF5\\\xB9\xAE\xBC\xAD.txt", "폴더/문서.txt"},        // 폴더\문서.txt
    {"\xC6\xFA\xB4\xF5\\\xBE\xC6\xB7\xA1\\\xB3\xA1.txt", "폴더/아래/끝.txt"},  // 폴더\아래\끝.txt
};
const TSample* SampleOf(const std::string& stored) {
  for (const auto& s : kSamples)
    if (stored == s.Stored) return &s;
  return nullptr;
}

struct TFixture {
  const char* Archive;
  int Level;
  char Packed;  // the method of the files that shrink
  std::vector<std::string> Files;  // the sample files it holds (stored names)
};
std::vector<std::string> AllFiles() { return {"text.txt", "empty.txt", "noise.bin", "big.bin"}; }
std::vector<TFixture> Fixtures() {
  const std::vector<std::string> most = {"text.txt", "empty.txt", "big.bin"};
  const std::vector<std::string> few = {"text.txt", "big.bin"};
  return {{"lh5-level0.lzh", 0, '5', AllFiles()}, {"lh5-level1.lzh", 1, '5', AllFiles()},
          {"lh5-level2.lzh", 2, '5', AllFiles()}, {"lh0-level1.lzh", 1, '0', most},
          {"lh6-level2.lzh", 2, '6', few},        {"lh7-level2.lzh", 2, '7', few}};
}
// Every archive also holds the folder 폴더 with its two files and two folders.
size_t EntriesOf(const TFixture& f) { return f.Files.size() + 5; }

std::wstring OutPath(const std::string& stored) {
  std::wstring w = OemToWide(stored);
  if (!w.empty() && w.back() == L'\\') w.pop_back();
  return L"C:\\OUT\\" + w;
}
}  // namespace

TEST(LhaFixtures, ListedWithTheirLevelsMethodsAndSizes) {
  for (const auto& f : Fixtures()) {
    SCOPED_TRACE(f.Archive);
    Bytes a = LhaFixture(f.Archive);
    TBytesReadStream s(a.data(), a.size());
    std::vector<TLhaHeader> hs;
    ASSERT_EQ(WalkLhaHeaders(s, static_cast<int64_t>(a.size()), [&](const TLhaHeader& h) {
                hs.push_back(h);
                return true;
              }),
              0);
    ASSERT_EQ(hs.size(), EntriesOf(f));
    std::set<std::string> names;
    for (const auto& h : hs) {
      SCOPED_TRACE(h.Name);
      names.insert(h.Name);
      EXPECT_EQ(h.Level, f.Level);
      const TSample* sample = SampleOf(h.Name);
      ASSERT_NE(sample, nullptr);
      if (!sample->Source) {
        EXPECT_EQ(h.MethodChar(), 'd');
        continue;
      }
      Bytes data = LhaFixture(std::string("src/") + sample->Source);
      EXPECT_EQ(h.OrigSize, data.size());
      EXPECT_EQ(h.Crc, UpdateCrc16(0, data.data(), data.size()));
      // What does not shrink is stored, whatever the method asked for.
      if (f.Packed == '0' || h.PackedSize >= h.OrigSize) {
        EXPECT_EQ(h.MethodChar(), '0');
      } else {
        EXPECT_EQ(h.MethodChar(), f.Packed);
      }
    }
    for (const auto& n : f.Files) EXPECT_EQ(names.count(n), 1u) << n;
  }
  // The large file spans several blocks of codes, each with its own tables.
  Bytes a = LhaFixture("lh5-level2.lzh");
  TBytesReadStream s(a.data(), a.size());
  WalkLhaHeaders(s, static_cast<int64_t>(a.size()), [&](const TLhaHeader& h) {
    if (h.Name == "big.bin") {
      uint32_t firstBlock = (a[static_cast<size_t>(h.DataOffset)] << 8) | a[static_cast<size_t>(h.DataOffset) + 1];
      EXPECT_LT(firstBlock * 3, h.OrigSize);  // a block's codes cover under a third of the file
    }
    return true;
  });
}

TEST(LhaFixtures, ExtractedByteForByteAndTestedWithoutWritingAFile) {
#ifdef _WIN32
  // The Korean names read as Korean where the OEM code page is Korean (as the test runs).
  if (GetOEMCP() == 949) {
    EXPECT_EQ(OutPath(kSamples[8].Stored), L"C:\\OUT\\폴더\\아래\\끝.txt");
  }
#endif
  for (const auto& f : Fixtures()) {
    SCOPED_TRACE(f.Archive);
    TMemFileSys fs;
    fs.Put(L"C:\\A.LZH", LhaFixture(f.Archive));
    std::vector<int> errors;
    std::map<std::wstring, bool> ends;
    TUnLha r(nullptr);
    r.FileSys = &fs;
    r.SetArchiveFile(L"C:\\A.LZH");
    r.SetExtractDir(L"C:\\OUT");
    r.FileSpec.Add(L"*.*");
    r.CreateStoredDirs = true;
    r.OnError = [&](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      errors.push_back(c);
    };
    r.OnEnd = [&](TZipCommon*, const std::wstring& name, bool pass) { ends[name] = pass; };
    // Testing: every CRC passes, nothing is written.
    EXPECT_EQ(r.ExtractMode7(), static_cast<int>(EntriesOf(f)));
    EXPECT_TRUE(errors.empty());
    for (const auto& n : f.Files) EXPECT_TRUE(ends[OemToWide(n)]) << n;
    EXPECT_FALSE(fs.DirExists(L"C:\\OUT"));
    // Extracting: the files as they were, the folders made (the empty one too).
    ends.clear();
    EXPECT_EQ(r.Extract(), static_cast<int>(EntriesOf(f)));
    EXPECT_TRUE(errors.empty());
    size_t files = 0;
    for (const auto& s : kSamples) {
      std::string stored = s.Stored;
      if (!s.Source) {
        EXPECT_TRUE(fs.DirExists(OutPath(stored))) << stored;
        continue;
      }
      bool held = stored.find('\\') != std::string::npos ||
                  std::find(f.Files.begin(), f.Files.end(), stored) != f.Files.end();
      EXPECT_EQ(fs.FileExists(OutPath(stored)), held) << stored;
      if (!held) continue;
      ++files;
      EXPECT_EQ(fs.Get(OutPath(stored)), LhaFixture(std::string("src/") + s.Source)) << stored;
      EXPECT_TRUE(ends[OutPath(stored)]) << stored;
    }
    EXPECT_EQ(files, f.Files.size() + 2);
  }
}

TEST(LhaFixtures, EveryTruncationEndsCleanly) {
  // Every cut near a header and a cut every 211 bytes through the data: the walk hands over
  // exactly the entries whose headers lie whole before the cut, and an entry cut through its
  // data never decodes to more than its size nor passes its CRC with other bytes than the
  // original's.
  for (const auto& f : Fixtures()) {
    SCOPED_TRACE(f.Archive);
    Bytes a = LhaFixture(f.Archive);
    std::vector<TLhaHeader> all;
    {
      TBytesReadStream s(a.data(), a.size());
      WalkLhaHeaders(s, static_cast<int64_t>(a.size()), [&](const TLhaHeader& h) {
        all.push_back(h);
        return true;
      });
    }
    for (size_t n = 0; n < a.size(); ++n) {
      const int64_t cut = static_cast<int64_t>(n);
      bool nearHeader = std::any_of(all.begin(), all.end(), [&](const TLhaHeader& h) { return cut >= h.Offset && cut < h.Offset + 64; });
      if (!nearHeader && n % 211 != 0) continue;
      TBytesReadStream s(a.data(), n);
      size_t handed = 0;
      WalkLhaHeaders(s, cut, [&](const TLhaHeader&) {
        ++handed;
        return true;
      });
      size_t whole = static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const TLhaHeader& h) { return h.DataOffset <= cut; }));
      ASSERT_EQ(handed, whole) << n;
      for (const auto& h : all) {
        if (h.MethodChar() == 'd' || h.DataOffset > cut || h.DataOffset + h.PackedSize <= cut) continue;
        s.Seek(h.DataOffset, soFromBeginning);
        TCodecInput in(s, h.PackedSize);
        TVectorSink sink;
        sink.Limit = 1u << 20;
        int rc = LhaDecodeData(in, sink, h.MethodChar(), h.OrigSize);
        ASSERT_LE(sink.Data.size(), h.OrigSize) << n;
        if (rc == 0 && UpdateCrc16(0, sink.Data.data(), sink.Data.size()) == h.Crc) {
          const TSample* sample = SampleOf(h.Name);
          ASSERT_TRUE(sample && sample->Source);
          ASSERT_TRUE(sink.Data == LhaFixture(std::string("src/") + sample->Source)) << n;
        }
      }
    }
  }
}

TEST(LhaWriter, WritesAnArchiveForOtherTools) {
  // The samples written by the engine's writer, the Korean names as code page 949 bytes: each
  // packing, a file that does not shrink, an empty file, folders. Read back here; with
  // VELMO_LHA_OUT set the archive is left there as ours.lzh for make.sh to give to jlha.
  struct TWrite {
    const TSample& Sample;
    TLhaPacking Packing;
  };
  const TWrite writes[] = {{kSamples[0], TLhaPacking::Lh5}, {kSamples[1], TLhaPacking::Lh5},
                           {kSamples[2], TLhaPacking::Lh6}, {kSamples[3], TLhaPacking::Lh6},
                           {kSamples[4], TLhaPacking::Lh5}, {kSamples[5], TLhaPacking::Lh5},
                           {kSamples[6], TLhaPacking::Lh5}, {kSamples[7], TLhaPacking::Store},
                           {kSamples[8], TLhaPacking::Lh5}};
  TMemoryStream32 dest, scratch;
  for (const auto& w : writes) {
    bool folder = !w.Sample.Source;
    Bytes data = folder ? Bytes() : LhaFixture(std::string("src/") + w.Sample.Source);
    std::string name = w.Sample.Stored;
    if (folder) name.pop_back();
    TBytesReadStream src(data.data(), data.size());
    TLhaWritten written;
    ASSERT_EQ(WriteLhaEntry(folder ? nullptr : &src, dest, scratch, name, folder, 0x54CF6456, folder ? 0x10 : 0x20,
                            w.Packing, written),
              0)
        << name;
  }
  uint8_t end = 0;
  dest.WriteBuffer(&end, 1);
  Bytes a = MemoryBytes(dest);
  TBytesReadStream s(a.data(), a.size());
  size_t n = 0;
  EXPECT_EQ(WalkLhaHeaders(s, static_cast<int64_t>(a.size()), [&](const TLhaHeader& h) {
              const TWrite& w = writes[n++];
              EXPECT_EQ(h.Name, w.Sample.Stored);
              if (w.Sample.Source) {
                s.Seek(h.DataOffset, soFromBeginning);
                TCodecInput in(s, h.PackedSize);
                TVectorSink sink;
                EXPECT_EQ(LhaDecodeData(in, sink, h.MethodChar(), h.OrigSize), 0);
                EXPECT_TRUE(sink.Data == LhaFixture(std::string("src/") + w.Sample.Source)) << h.Name;
              }
              return true;
            }),
            0);
  EXPECT_EQ(n, std::size(writes));
  if (const char* out = std::getenv("VELMO_LHA_OUT")) {
    ASSERT_TRUE(WriteFileRaw(Utf8ToWide(std::string(out) + "/ours.lzh"), std::string(a.begin(), a.end())));
  }
}
