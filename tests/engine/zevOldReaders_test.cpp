// The readers of LHA, ARC, ZOO and ARJ as components: over an archive in a memory file
// system they extract what they list into the target folder, test without writing, report
// damage, unknown methods and wrong passwords by number, and put a file split over ARJ
// volumes back together.
#include <gtest/gtest.h>

#include <map>

#include "archive/engine/zevUnARJ.h"
#include "archive/engine/zevUnArc.h"
#include "archive/engine/zevUnLha.h"
#include "archive/engine/zevUnZoo.h"
#include "common/TestUtil.h"
#include "engine/TestArchives.h"
#include "foundation/TextCodec.h"

using namespace codectest;
using namespace testarc;

namespace {

struct TRun {
  std::vector<int> Errors;
  std::vector<std::wstring> ErrorNames;
  std::map<std::wstring, bool> Ends;
  void Attach(TUnBase& r) {
    r.OnError = [this](TZipCommon*, const std::wstring& f, const std::wstring&, const std::wstring&, int code) {
      Errors.push_back(code);
      ErrorNames.push_back(f);
    };
    r.OnEnd = [this](TZipCommon*, const std::wstring& f, bool pass) { Ends[f] = pass; };
  }
  int CountOf(int code) const { return static_cast<int>(std::count(Errors.begin(), Errors.end(), code)); }
};

template <class R>
struct TReaderSetup {
  TMemFileSys Fs;
  R Reader{nullptr};
  TRun Run;
  TReaderSetup(const std::wstring& archive, const Bytes& data) {
    Fs.Put(archive, data);
    Reader.FileSys = &Fs;
    Reader.SetArchiveFile(archive);
    Reader.SetArcType(Reader.ArcType());
    Reader.SetExtractDir(L"C:\\OUT");
    Reader.FileSpec.Add(L"*.*");
    Run.Attach(Reader);
  }
};
}  // namespace

TEST(LhaReader, ExtractsEveryMethodAndMakesFolders) {
  std::vector<TEntry> entries = {{"stored.txt", '0', TextData(3000, 1)}, {"lh1.txt", '1', TextData(4000, 2)},
                                 {"lh4.txt", '4', TextData(5000, 3)},    {"lh5.txt", '5', TextData(6000, 4)},
                                 {"empty.txt", '5', {}},                 {"lh6.txt", '6', TextData(7000, 5)},
                                 {"lh7.txt", '7', TextData(7000, 6)},    {"sub\\", 'd', {}},
                                 {"sub\\in.txt", '5', TextData(900, 7)}};
  TReaderSetup<TUnLha> t(L"C:\\A.LZH", MakeArchive(entries));
  t.Reader.CreateStoredDirs = true;
  EXPECT_EQ(t.Reader.Extract(), static_cast<int>(entries.size()));
  EXPECT_TRUE(t.Run.Errors.empty());
  for (const auto& e : entries) {
    SCOPED_TRACE(e.Name);
    std::wstring path = L"C:\\OUT\\" + Utf8ToWide(e.Name);
    if (e.Method == 'd') {
      EXPECT_TRUE(t.Fs.DirExists(RemoveBackslash(path)));
      continue;
    }
    EXPECT_EQ(t.Fs.Get(path), e.Data);
    EXPECT_EQ(t.Fs.Find(path)->Date, 0x5A8B6000);
    EXPECT_TRUE(t.Run.Ends[path]);
  }
}

TEST(LhaReader, TestingWritesNothingAndFindsDamage) {
  std::vector<TEntry> entries = {{"a.txt", '5', TextData(6000, 8)}, {"b.txt", '0', TextData(100, 9)}};
  Bytes a = MakeArchive(entries);
  a[a.size() - 20] ^= 0x01;  // inside b.txt's stored data
  TReaderSetup<TUnLha> t(L"C:\\A.LZH", a);
  t.Reader.ExtractMode7();
  EXPECT_FALSE(t.Fs.FileExists(L"C:\\OUT\\a.txt"));
  EXPECT_EQ(t.Run.CountOf(zevCrcError), 1);
  EXPECT_TRUE(t.Run.Ends[L"a.txt"]);
  EXPECT_FALSE(t.Run.Ends[L"b.txt"]);
}

TEST(LhaReader, UnknownMethodsMakeNoFileAndHostileNamesStayInside) {
  Bytes a = MakeArchive({{"x.txt", '0', Bytes(10, 'x')}, {"..\\..\\evil.txt", '0', Bytes(5, 'e')}});
  // The first entry's method becomes -lh2-, which is listed but not decoded.
  a[5] = '2';
  TReaderSetup<TUnLha> t(L"C:\\A.LZH", a);
  t.Reader.Extract();
  EXPECT_EQ(t.Run.CountOf(zevUnsupportedMethod), 1);
  EXPECT_FALSE(t.Fs.FileExists(L"C:\\OUT\\x.txt"));
  EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\evil.txt"), Bytes(5, 'e'));
  EXPECT_FALSE(t.Fs.FileExists(L"C:\\evil.txt"));
}

TEST(LhaReader, ADamagedHeaderEndsTheListingButKeepsTheEntriesBefore) {
  Bytes a = MakeArchive({{"a.txt", '0', Bytes(10, 'a')}, {"b.txt", '0', Bytes(10, 'b')}});
  size_t second = 22 + 5 + 2 + 10;
  a[second + 21] = 250;  // a name longer than its header
  TReaderSetup<TUnLha> t(L"C:\\A.LZH", a);
  EXPECT_EQ(t.Reader.Extract(), 1);
  EXPECT_EQ(t.Run.CountOf(zevBadFileHeader), 1);
  EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\a.txt"), Bytes(10, 'a'));
}

TEST(ArcReader, ExtractsArcsOwnArchivesAndTheOldMethods) {
  TReaderSetup<TUnArc> t(L"C:\\C.ARC", OldFixture("crunch.arc"));
  EXPECT_EQ(t.Reader.Extract(), 4);
  EXPECT_TRUE(t.Run.Errors.empty());
  for (const char* n : {"text.txt", "runs.bin", "small.txt", "empty.txt"})
    EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\" + Utf8ToWide(n)), OldFixture(n)) << n;
  std::vector<std::tuple<int, std::string, Bytes>> hand = {
      {1, "one.txt", OldFixture("small.txt")}, {5, "five.txt", OldFixture("text.txt")}, {7, "seven.bin", OldFixture("runs.bin")}};
  Bytes pak = MakeArc(hand);
  pak[25 + 6 + 1] = 10;  // the second entry as PAK's method 10
  TReaderSetup<TUnArc> h(L"C:\\H.ARC", pak);
  EXPECT_EQ(h.Reader.Extract(), 2);
  EXPECT_EQ(h.Run.CountOf(zevUnsupportedMethod), 1);
  EXPECT_FALSE(h.Fs.FileExists(L"C:\\OUT\\five.txt"));
  EXPECT_EQ(h.Fs.Get(L"C:\\OUT\\one.txt"), OldFixture("small.txt"));
  EXPECT_EQ(h.Fs.Get(L"C:\\OUT\\seven.bin"), OldFixture("runs.bin"));
}

TEST(ZooReader, ExtractsEveryMethod) {
  std::vector<std::tuple<int, std::string, Bytes>> entries = {
      {0, "small.txt", OldFixture("small.txt")}, {1, "text.txt", OldFixture("text.txt")}, {2, "runs.bin", OldFixture("runs.bin")}};
  TReaderSetup<TUnZoo> t(L"C:\\Z.ZOO", MakeZoo(entries));
  EXPECT_EQ(t.Reader.Extract(), 3);
  EXPECT_TRUE(t.Run.Errors.empty());
  for (const auto& [m, name, data] : entries) EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\" + Utf8ToWide(name)), data) << name;
}

TEST(ArjReader, ExtractsEveryMethod) {
  for (const char* name : {"m0.arj", "m1.arj", "m2.arj", "m3.arj", "m4.arj"}) {
    SCOPED_TRACE(name);
    TReaderSetup<TUnArj> t(L"C:\\A.ARJ", OldFixture(name));
    EXPECT_EQ(t.Reader.Extract(), 4);
    EXPECT_TRUE(t.Run.Errors.empty());
    for (const char* n : {"text.txt", "runs.bin", "small.txt", "empty.txt"})
      EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\" + Utf8ToWide(n)), OldFixture(n)) << n;
  }
}

TEST(ArjReader, AWrongPasswordLeavesNoFileAndTheNextAttemptAsksAgain) {
  TReaderSetup<TUnArj> t(L"C:\\G.ARJ", OldFixture("garble.arj"));
  std::vector<std::wstring> answers = {L"wrong", L"secret"};
  int asked = 0;
  t.Reader.OnGetPassword = [&](TZipCommon*, const std::wstring&, std::wstring& pw, bool& again) {
    again = true;
    pw = answers[std::min<size_t>(static_cast<size_t>(asked), answers.size() - 1)];
    ++asked;
  };
  EXPECT_EQ(t.Reader.Extract(), 2);
  // The wrong password's attempt was reported as damaged data.
  ASSERT_EQ(t.Run.Errors.size(), 1u);
  EXPECT_EQ(asked, 2);  // the second entry uses the password that worked
  EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\text.txt"), OldFixture("text.txt"));
  EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\small.txt"), OldFixture("small.txt"));
  // A refusal skips the entry; with every answer wrong no file is left.
  TReaderSetup<TUnArj> w(L"C:\\G.ARJ", OldFixture("garble4.arj"));
  w.Reader.PasswordAttempts = 50;
  int tries = 0;
  w.Reader.OnGetPassword = [&](TZipCommon*, const std::wstring&, std::wstring& pw, bool& again) {
    again = true;
    pw = L"nope";
    ++tries;
  };
  EXPECT_EQ(w.Reader.Extract(), 0);
  EXPECT_EQ(tries, 10);  // attempts are limited to 10
  EXPECT_FALSE(w.Fs.FileExists(L"C:\\OUT\\text.txt"));
}

TEST(ArjReader, AFileSplitOverVolumesIsWholeAfterExtraction) {
  TReaderSetup<TUnArj> t(L"C:\\V\\VOL.ARJ", OldFixture("vol.arj"));
  t.Fs.Put(L"C:\\V\\VOL.A01", OldFixture("vol.a01"));
  t.Fs.Put(L"C:\\V\\VOL.A02", OldFixture("vol.a02"));
  std::vector<std::wstring> asked;
  t.Reader.OnNextVolume = [&](TZipCommon*, std::wstring& name, const std::wstring&, bool exists, bool& cancel) {
    asked.push_back(name);
    cancel = !exists;
  };
  t.Reader.Extract();
  EXPECT_TRUE(t.Run.Errors.empty());
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"C:\\V\\VOL.a01", L"C:\\V\\VOL.a02"}));
  EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\noise.bin"), OldFixture("noise.bin"));
  EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\text.txt"), OldFixture("text.txt"));
}
