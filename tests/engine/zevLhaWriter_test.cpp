// The LHA writer over files in memory: what it packs and how, updates that keep, rename and
// delete entries, names that do not fit a level-0 header, damaged archives that must stay as
// they were; and (natively) what it writes checked by the system's lhasa.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/engine/zevLha.h"
#include "archive/engine/zevLhaFormat.h"
#include "archive/engine/zevUnLha.h"
#include "common/TestUtil.h"
#include "engine/CodecTestData.h"
#include "foundation/TextCodec.h"

using namespace codectest;

namespace {
const wchar_t* const kArc = L"C:\\OUT\\A.LZH";

struct TListed {
  std::string Method;
  uint32_t Packed = 0, Orig = 0;
  uint8_t Level = 0;
};
// The archive's entries by stored name, in order.
std::vector<std::pair<std::string, TListed>> List(const Bytes& a, int* rc = nullptr) {
  std::vector<std::pair<std::string, TListed>> out;
  TBytesReadStream s(a.data(), a.size());
  int r = WalkLhaHeaders(s, static_cast<int64_t>(a.size()), [&](const TLhaHeader& h) {
    out.push_back({h.Name, TListed{std::string(h.Method, 5), h.PackedSize, h.OrigSize, h.Level}});
    return true;
  });
  if (rc) *rc = r;
  return out;
}

struct TLhaBench {
  TMemFileSys Fs;
  std::vector<int> Errors;
  TLhaBench() {
    Fs.ForceDirs(L"T:\\TEMP");
    Fs.Put(L"C:\\SRC\\a.txt", TextData(30000, 1));
    Fs.Put(L"C:\\SRC\\b.txt", TextData(100, 2));
    Fs.Put(L"C:\\SRC\\empty.txt", Bytes{});
    Fs.Put(L"C:\\SRC\\SUB\\noise.bin", RandomData(20000, 3));
    Fs.Put(L"C:\\SRC\\SUB\\d.zip", TextData(4000, 4));
  }
  int Run(const std::function<void(TLha&)>& more = nullptr) {
    TLha w;
    w.FileSys = &Fs;
    w.SetArchiveFile(kArc);
    w.SetBaseDir(L"C:\\SRC");
    w.FileSpec.Add(L"C:\\SRC\\*.*");
    w.RecurseDirs = true;
    w.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    if (more) more(w);
    return w.UpdateArchive();
  }
  // Extracts with the engine's own reader (CRC-16 tested as it goes).
  std::map<std::wstring, Bytes> ReadBack() {
    TMemFileSys out;
    out.Put(L"C:\\A.LZH", Fs.Get(kArc));
    TUnLha r(nullptr);
    r.FileSys = &out;
    r.SetArchiveFile(L"C:\\A.LZH");
    r.SetExtractDir(L"C:\\X");
    r.FileSpec.Add(L"*.*");
    r.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    r.Extract();
    std::map<std::wstring, Bytes> m;
    for (const auto& f : out.Files())
      if (f.rfind(L"C:\\X\\", 0) == 0) m[f.substr(5)] = out.Get(f);
    return m;
  }
  Bytes Archive() { return Fs.Get(kArc); }
};

std::map<std::string, TListed> ByName(const Bytes& a) {
  std::map<std::string, TListed> m;
  for (auto& [n, l] : List(a)) m[n] = l;
  return m;
}
}  // namespace

TEST(Lha, CreatePicksTheMethodPerFileAndReadsBack) {
  struct TCase {
    TCompressMethod Method;
    const char* Packed;  // what a text that shrinks becomes
  };
  for (TCase c : {TCase{cmFrozen6, "-lh6-"}, TCase{cmFrozen5, "-lh5-"}, TCase{cmStore, "-lh0-"}}) {
    SCOPED_TRACE(c.Packed);
    TLhaBench b;
    ASSERT_EQ(b.Run([&](TLha& w) { w.SetCompressMethod(c.Method); }), 5);
    EXPECT_TRUE(b.Errors.empty());
    auto dir = ByName(b.Archive());
    ASSERT_EQ(dir.size(), 5u);
    EXPECT_EQ(dir["a.txt"].Method, c.Packed);
    EXPECT_EQ(dir["a.txt"].Level, 0);
    // Random bytes do not shrink; an already-compressed kind is not tried; empty is stored.
    EXPECT_EQ(dir["SUB\\noise.bin"].Method, "-lh0-");
    EXPECT_EQ(dir["SUB\\d.zip"].Method, "-lh0-");
    EXPECT_EQ(dir["empty.txt"].Method, "-lh0-");
    EXPECT_EQ(dir["empty.txt"].Orig, 0u);
    auto m = b.ReadBack();
    EXPECT_TRUE(b.Errors.empty());
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
    EXPECT_EQ(m[L"SUB\\noise.bin"], b.Fs.Get(L"C:\\SRC\\SUB\\noise.bin"));
    EXPECT_EQ(m[L"SUB\\d.zip"], b.Fs.Get(L"C:\\SRC\\SUB\\d.zip"));
    EXPECT_EQ(m[L"empty.txt"], Bytes{});
    // The archive ends with the end mark.
    EXPECT_EQ(b.Archive().back(), 0);
  }
  // With the already-compressed rule off, the .zip text is packed too.
  TLhaBench b;
  ASSERT_EQ(b.Run([](TLha& w) { w.StoreAlreadyCompressedFiles = false; }), 5);
  EXPECT_EQ(ByName(b.Archive())["SUB\\d.zip"].Method, "-lh6-");
}

TEST(Lha, EmptyFoldersOnlyWhenAsked) {
  TLhaBench b;
  b.Fs.ForceDirs(L"C:\\SRC\\HOLLOW");
  ASSERT_EQ(b.Run(), 5);
  EXPECT_EQ(ByName(b.Archive()).count("HOLLOW\\"), 0u);
  b.Fs.RemoveFile(kArc, TDeleteOptions{});
  ASSERT_GE(b.Run([](TLha& w) {
    w.StoreEmptySubDirs = true;
    w.Attributes = static_cast<TzevFileAttrs>(w.Attributes | AttrSet({fsDirectory}));
  }),
            6);
  auto dir = ByName(b.Archive());
  ASSERT_EQ(dir.count("HOLLOW\\"), 1u);
  EXPECT_EQ(dir["HOLLOW\\"].Method, "-lhd-");
  EXPECT_EQ(dir["HOLLOW\\"].Packed, 0u);
}

TEST(Lha, UpdatesKeepRenameReplaceAndDelete) {
  TLhaBench b;
  ASSERT_EQ(b.Run(), 5);
  Bytes first = b.Archive();
  // Nothing changed: the archive stays byte for byte.
  EXPECT_EQ(b.Run(), 0);
  EXPECT_EQ(b.Archive(), first);
  // One new file: the old entries are copied unchanged in front of it.
  b.Fs.Put(L"C:\\SRC\\late.txt", TextData(5000, 9));
  ASSERT_EQ(b.Run(), 1);
  Bytes second = b.Archive();
  ASSERT_GT(second.size(), first.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end() - 1, second.begin()));
  EXPECT_EQ(List(second).back().first, "late.txt");
  // A changed file kept under a new name, the new one added beside it.
  b.Fs.Put(L"C:\\SRC\\b.txt", std::string("changed"));
  ASSERT_EQ(b.Run([](TLha& w) {
    w.OnRenameDupeFile = [](TZipCommon*, const std::wstring&, std::wstring& n, bool& r) {
      n = L"OLD\\b-old.txt";
      r = true;
    };
  }),
            1);
  auto m = b.ReadBack();
  EXPECT_EQ(m[L"OLD\\b-old.txt"], TextData(100, 2));
  EXPECT_EQ(m[L"b.txt"], Bytes({'c', 'h', 'a', 'n', 'g', 'e', 'd'}));
  EXPECT_EQ(m[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
  // Without the replace question's handler that is reported, not taken as a yes.
  ASSERT_EQ(b.Errors.size(), 1u);
  EXPECT_EQ(b.Errors[0], zevEventNotAssigned);
  b.Errors.clear();
  // Replaced in place.
  b.Fs.Put(L"C:\\SRC\\a.txt", TextData(777, 5));
  ASSERT_EQ(b.Run([](TLha& w) {
    w.OnReplaceFile = [](TZipCommon*, const std::wstring&, const std::wstring&, double, double, uint32_t, uint32_t,
                         int, int, bool& replace) { replace = true; };
  }),
            1);
  EXPECT_EQ(b.ReadBack()[L"a.txt"], TextData(777, 5));
  // Deleted by file mask.
  ASSERT_EQ(b.Run([](TLha& w) {
    w.Switch = swDelete;
    w.FileSpec.Clear();
    w.FileSpec.Add(L"*.txt");
  }),
            5);
  auto left = ByName(b.Archive());
  EXPECT_EQ(left.size(), 2u);
  EXPECT_EQ(left.count("SUB\\noise.bin"), 1u);
  EXPECT_TRUE(b.Errors.empty());
  EXPECT_EQ(b.ReadBack()[L"SUB\\noise.bin"], b.Fs.Get(L"C:\\SRC\\SUB\\noise.bin"));
}

TEST(Lha, KeepsHigherLevelEntriesAndRenamesThemToLevelZero) {
  // A level-2 entry written by hand: header size 2 bytes, then the extended headers.
  Bytes data = TextData(300, 7);
  Bytes a;
  auto put16 = [&](uint32_t v) {
    a.push_back(static_cast<uint8_t>(v));
    a.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  std::string name = "lvl2.txt";
  size_t hsize = 26 + (3 + name.size());
  put16(static_cast<uint32_t>(hsize));
  for (char c : std::string("-lh0-")) a.push_back(static_cast<uint8_t>(c));
  put32(static_cast<uint32_t>(data.size()));
  put32(static_cast<uint32_t>(data.size()));
  put32(1700000000u);
  a.push_back(0x20);
  a.push_back(2);
  put16(UpdateCrc16(0, data.data(), data.size()));
  a.push_back('M');
  put16(static_cast<uint32_t>(3 + name.size()));
  a.push_back(1);
  for (char c : name) a.push_back(static_cast<uint8_t>(c));
  put16(0);
  ASSERT_EQ(a.size(), hsize);
  a.insert(a.end(), data.begin(), data.end());
  a.push_back(0);
  int rc = -1;
  ASSERT_EQ(List(a, &rc).size(), 1u);
  ASSERT_EQ(rc, 0);
  TLhaBench b;
  b.Fs.Put(kArc, a);
  b.Fs.Put(L"C:\\SRC\\lvl2.txt", std::string("newer"));
  ASSERT_EQ(b.Run([](TLha& w) {
    w.FileSpec.Clear();
    w.FileSpec.Add(L"C:\\SRC\\lvl2.txt");
    w.OnRenameDupeFile = [](TZipCommon*, const std::wstring&, std::wstring& n, bool& r) {
      n = L"kept.txt";
      r = true;
    };
    w.OnReplaceFile = [](TZipCommon*, const std::wstring&, const std::wstring&, double, double, uint32_t, uint32_t,
                         int, int, bool& replace) { replace = false; };
  }),
            1);
  auto list = List(b.Archive());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].first, "kept.txt");
  EXPECT_EQ(list[0].second.Level, 0);
  auto m = b.ReadBack();
  EXPECT_TRUE(b.Errors.empty());
  EXPECT_EQ(m[L"kept.txt"], data);
  EXPECT_EQ(m[L"lvl2.txt"], Bytes({'n', 'e', 'w', 'e', 'r'}));
}

TEST(Lha, RefusesNamesTooLongForTheHeader) {
  TLhaBench b;
  std::wstring longName(kLhaMaxLevel0Name + 1 - 4, L'n');
  std::wstring fits(kLhaMaxLevel0Name - 4, L'f');
  b.Fs.Put(L"C:\\SRC\\" + longName + L".txt", TextData(2000, 8));
  b.Fs.Put(L"C:\\SRC\\" + fits + L".txt", TextData(2000, 9));
  ASSERT_EQ(b.Run(), 6);
  ASSERT_EQ(b.Errors.size(), 1u);
  EXPECT_EQ(b.Errors[0], zevInvalidFileName);
  // The rest is whole: every header parses, the longest name that fits among them.
  int rc = -1;
  auto dir = ByName(b.Archive());
  List(b.Archive(), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(dir.size(), 6u);
  EXPECT_EQ(dir.count(WideToUtf8(fits) + ".txt"), 1u);
  b.Errors.clear();
  EXPECT_EQ(b.ReadBack().size(), 6u);
  EXPECT_TRUE(b.Errors.empty());
}

TEST(Lha, DamagedOrForeignArchivesStayAsTheyWere) {
  TLhaBench b;
  ASSERT_EQ(b.Run(), 5);
  Bytes good = b.Archive();
  b.Fs.Put(L"C:\\SRC\\late.txt", TextData(500, 10));
  // A header cut short in the middle of the archive, and a file that is no LHA archive.
  Bytes cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  Bytes foreign = TextData(3000, 11);
  for (const Bytes& old : {cut, foreign}) {
    b.Fs.Put(kArc, old);
    b.Errors.clear();
    EXPECT_EQ(b.Run(), 0);
    EXPECT_FALSE(b.Errors.empty());
    EXPECT_EQ(b.Archive(), old);
  }
}

#ifndef _WIN32
TEST(Lha, LhasaAcceptsWhatTheWriterMakes) {
  if (std::system("command -v lha >/dev/null 2>&1") != 0) GTEST_SKIP() << "lhasa is not installed";
  TTempDir dir;
  std::string d = WideToUtf8(dir.Path());
  for (TCompressMethod m : {cmFrozen5, cmFrozen6}) {
    TLhaBench b;
    b.Fs.Put(L"C:\\SRC\\SUB\\big.txt", TextData(200000, 12));
    b.Fs.ForceDirs(L"C:\\SRC\\HOLLOW");
    ASSERT_EQ(b.Run([&](TLha& w) {
      w.SetCompressMethod(m);
      w.StoreEmptySubDirs = true;
      w.Attributes = static_cast<TzevFileAttrs>(w.Attributes | AttrSet({fsDirectory}));
    }),
              8);  // SUB and HOLLOW among them
    Bytes a = b.Archive();
    std::string file = d + "/t" + std::to_string(m) + ".lzh";
    ASSERT_TRUE(WriteFileRaw(Utf8ToWide(file), std::string(a.begin(), a.end())));
    EXPECT_EQ(std::system(("lha t '" + file + "' >/dev/null 2>&1").c_str()), 0) << m;
    std::string x = d + "/x" + std::to_string(m);
    ASSERT_EQ(std::system(("mkdir '" + x + "' && cd '" + x + "' && lha xqf '" + file + "' >/dev/null 2>&1").c_str()), 0);
    Bytes big = TextData(200000, 12);
    EXPECT_EQ(ReadFileRaw(Utf8ToWide(x + "/SUB/big.txt")), std::string(big.begin(), big.end()));
  }
}
#endif
