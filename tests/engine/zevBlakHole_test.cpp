// The BH writer over files in memory: every method read back by the engine's BH reader, a
// password that never leaves data in clear, updates that keep, rename and delete entries, and
// damaged archives that must stay as they were.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/engine/zevBhFormat.h"
#include "archive/engine/zevBlakHole.h"
#include "archive/engine/zevUnBH.h"
#include "engine/CodecTestData.h"

using namespace codectest;

namespace {
const wchar_t* const kArc = L"C:\\OUT\\A.BH";

std::vector<TBhHeader> Walk(const Bytes& a) {
  TBytesReadStream s(a.data(), a.size());
  std::vector<TBhHeader> out;
  WalkBhHeaders(s, static_cast<int64_t>(a.size()), [&](const TBhHeader& h) {
    out.push_back(h);
    return true;
  });
  return out;
}

struct TBhRig {
  TMemFileSys Fs;
  std::vector<int> Errors;
  TBhRig() {
    Fs.ForceDirs(L"T:\\TEMP");
    Fs.Put(L"C:\\SRC\\a.txt", TextData(40000, 1));
    Fs.Put(L"C:\\SRC\\noise.bin", RandomData(5000, 2));
    Fs.Put(L"C:\\SRC\\empty.txt", Bytes{});
    Fs.Put(L"C:\\SRC\\SUB\\b.txt", TextData(900, 3));
    for (const auto& f : Fs.Files()) Fs.Find(f)->Date = 0x5A8A6000;
  }
  int Run(const std::function<void(TBlakHole&)>& more = nullptr, const wchar_t* fileMask = L"C:\\SRC\\*.*") {
    TBlakHole w;
    w.FileSys = &Fs;
    w.SetArchiveFile(kArc);
    w.SetBaseDir(L"C:\\SRC");
    w.FileSpec.Add(fileMask);
    w.RecurseDirs = true;
    w.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    if (more) more(w);
    return w.UpdateArchive();
  }
  std::map<std::wstring, Bytes> ReadBack(const wchar_t* password = nullptr) {
    TMemFileSys out;
    out.Put(L"C:\\A.BH", Fs.Get(kArc));
    TUnBh r(nullptr);
    r.FileSys = &out;
    r.SetArchiveFile(L"C:\\A.BH");
    r.SetArcType(atBh);
    r.SetExtractDir(L"C:\\X");
    r.FileSpec.Add(L"*.*");
    if (password) r.Passwords.Add(password);
    r.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    r.Extract();
    std::map<std::wstring, Bytes> m;
    for (const auto& f : out.Files())
      if (f.rfind(L"C:\\X\\", 0) == 0) m[f.substr(5)] = out.Get(f);
    return m;
  }
};

TEST(BlakHole, EveryMethodReadsBackAndPasswordsNeverLeaveDataInClear) {
  struct {
    TCompressMethod Method;
    const wchar_t* Password;
    uint8_t TextMethod;
  } cases[] = {{cmStore, nullptr, 0}, {cmDeflate, nullptr, 8}, {cmFuse, nullptr, 3},
               {cmDeflate, L"secret", 8}, {cmFuse, L"secret", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Method));
    TBhRig b;
    ASSERT_EQ(b.Run([&](TBlakHole& w) {
      w.SetCompressMethod(c.Method);
      if (c.Password) w.Password = c.Password;
    }),
              4);
    Bytes a = b.Fs.Get(kArc);
    std::map<std::string, TBhHeader> byName;
    for (const auto& h : Walk(a)) byName[h.Name] = h;
    ASSERT_EQ(byName.size(), 4u);
    EXPECT_EQ(byName["a.txt"].Method, c.TextMethod);
    if (c.Password) {
      // The random file does not shrink: stored, and still enciphered.
      EXPECT_EQ(byName["noise.bin"].Method, 0);
      EXPECT_TRUE(byName["noise.bin"].Encrypted());
      EXPECT_TRUE(byName["a.txt"].Encrypted());
      Bytes noise = b.Fs.Get(L"C:\\SRC\\noise.bin");
      EXPECT_EQ(std::search(a.begin(), a.end(), noise.begin(), noise.begin() + 64), a.end());
    }
    auto back = b.ReadBack(c.Password);
    EXPECT_EQ(back[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
    EXPECT_EQ(back[L"noise.bin"], b.Fs.Get(L"C:\\SRC\\noise.bin"));
    EXPECT_EQ(back[L"SUB\\b.txt"], b.Fs.Get(L"C:\\SRC\\SUB\\b.txt"));
    EXPECT_TRUE(back.count(L"empty.txt"));
    EXPECT_TRUE(b.Errors.empty());
  }
}

TEST(BlakHole, UpdatesKeepRenameAndDeleteEntries) {
  TBhRig b;
  ASSERT_EQ(b.Run(), 4);
  Bytes first = b.Fs.Get(kArc);
  EXPECT_EQ(b.Run(), 0) << "the same files again change nothing";
  EXPECT_EQ(b.Fs.Get(kArc), first);
  b.Fs.Put(L"C:\\SRC\\late.txt", TextData(300, 7));
  b.Fs.Put(L"C:\\SRC\\a.txt", TextData(100, 8));
  b.Fs.Find(L"C:\\SRC\\late.txt")->Date = b.Fs.Find(L"C:\\SRC\\a.txt")->Date = 0x5A8A6000;
  ASSERT_EQ(b.Run([](TBlakHole& w) {
    w.OnReplaceFile = [](TZipCommon*, const std::wstring&, const std::wstring&, double, double, uint32_t, uint32_t,
                         int, int, bool& r) { r = false; };
    w.OnRenameDupeFile = [](TZipCommon*, const std::wstring&, std::wstring& n, bool& r) {
      n = L"old-a.txt";
      r = true;
    };
  }),
            2);
  auto back = b.ReadBack();
  EXPECT_EQ(back[L"old-a.txt"], TextData(40000, 1));
  EXPECT_EQ(back[L"a.txt"], TextData(100, 8));
  EXPECT_EQ(back[L"late.txt"], TextData(300, 7));
  EXPECT_EQ(back.size(), 6u);
  EXPECT_EQ(b.Run([](TBlakHole& w) { w.Switch = swDelete; }, L"*.txt"), 5);
  back = b.ReadBack();
  ASSERT_EQ(back.size(), 1u);
  EXPECT_TRUE(back.count(L"noise.bin"));
}

TEST(BlakHole, DamagedOrForeignArchivesStayAsTheyWere) {
  TBhRig b;
  ASSERT_EQ(b.Run(), 4);
  Bytes good = b.Fs.Get(kArc);
  auto list = Walk(good);
  Bytes cut(good.begin(), good.begin() + static_cast<long>(list[2].Offset + 20));
  Bytes broken = good;
  broken[static_cast<size_t>(list[1].Offset)] = 'X';  // the walk would stop there
  for (const Bytes& old : {cut, broken, TextData(2000, 4)}) {
    b.Fs.Put(kArc, old);
    b.Fs.Put(L"C:\\SRC\\late.txt", TextData(10, 1));
    b.Errors.clear();
    EXPECT_EQ(b.Run([](TBlakHole& w) { w.OnReplaceFile = [](auto...) {}; }), 0);
    EXPECT_FALSE(b.Errors.empty());
    EXPECT_EQ(b.Fs.Get(kArc), old);
  }
}
}  // namespace
