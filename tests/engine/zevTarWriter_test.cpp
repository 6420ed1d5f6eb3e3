// The TAR and GZIP writers over files in memory: what the blocks hold, long names, updates
// that keep, rename and delete members, damaged archives that must stay as they were, the
// ".TGZ" step, GZIP output names and one file per GZIP file; and (natively) what they write
// checked by GNU tar and gzip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/engine/zevGZip.h"
#include "archive/engine/zevTar.h"
#include "archive/engine/zevUnGZip.h"
#include "archive/engine/zevUnTar.h"
#include "common/TestUtil.h"
#include "engine/CodecTestData.h"
#include "foundation/TextCodec.h"

using namespace codectest;

namespace {
const wchar_t* const kTar = L"C:\\OUT\\A.TAR";
const std::string kLong =
    "SUB\\A_RATHER_LONG_FOLDER_NAME_THAT_GOES_ON_AND_ON\\and_a_file_name_that_pushes_it_past_one_hundred_bytes.txt";

std::vector<TTarHeader> Walk(const Bytes& a, int* rc = nullptr) {
  TBytesReadStream s(a.data(), a.size());
  std::vector<TTarHeader> out;
  int r = WalkTarHeaders(s, static_cast<int64_t>(a.size()), [&](const TTarHeader& h) {
    out.push_back(h);
    return true;
  });
  if (rc) *rc = r;
  return out;
}

struct TTarRig {
  TMemFileSys Fs;
  std::vector<int> Errors;
  TTarRig() {
    Fs.ForceDirs(L"T:\\TEMP");
    Fs.Put(L"C:\\SRC\\a.txt", TextData(30000, 1));
    Fs.Put(L"C:\\SRC\\one.bin", Bytes{7});
    Fs.Put(L"C:\\SRC\\empty.txt", Bytes{});
    Fs.Put(L"C:\\SRC\\" + Utf8ToWide(kLong), RandomData(1500, 3));
    Dated();
  }
  // Gives every file a real date (the header's time comes back as the same DOS date).
  void Dated() {
    for (const auto& f : Fs.Files()) Fs.Find(f)->Date = FieldsToDosDateTime(2024, 1, 15, 10, 20, 30);
  }
  int Run(const std::function<void(TTar&)>& more = nullptr, const wchar_t* spec = L"C:\\SRC\\*.*") {
    TTar w;
    w.FileSys = &Fs;
    w.SetArchiveFile(kTar);
    w.SetBaseDir(L"C:\\SRC");
    w.FileSpec.Add(spec);
    w.RecurseDirs = true;
    w.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    if (more) more(w);
    return w.UpdateArchive();
  }
  Bytes Archive() { return Fs.Get(kTar); }
  // Extracted again by the engine's own reader.
  std::map<std::wstring, Bytes> ReadBack(const std::wstring& name = kTar) {
    TMemFileSys out;
    out.Put(L"C:\\A.TAR", Fs.Get(name));
    TUnTar r(nullptr);
    r.FileSys = &out;
    r.SetArchiveFile(L"C:\\A.TAR");
    r.SetArcType(atTar);
    r.SetExtractDir(L"C:\\X");
    r.FileSpec.Add(L"*.*");
    r.Extract();
    std::map<std::wstring, Bytes> m;
    for (const auto& f : out.Files())
      if (f.rfind(L"C:\\X\\", 0) == 0) m[f.substr(5)] = out.Get(f);
    return m;
  }
};

TEST(TarWriter, BlocksLongNamesAndTheEnd) {
  TTarRig b;
  b.Fs.ForceDirs(L"C:\\SRC\\HOLLOW");
  ASSERT_EQ(b.Run([](TTar& w) {
    w.StoreEmptySubDirs = true;
    w.Attributes = static_cast<TzevFileAttrs>(w.Attributes | AttrSet({fsDirectory}));
    w.UnixUName = std::string(40, 'u');
  }),
            7);  // four files, the two folders above the long name, HOLLOW
  Bytes a = b.Archive();
  ASSERT_EQ(a.size() % 10240, 0u);
  int rc = -1;
  auto list = Walk(a, &rc);
  EXPECT_EQ(rc, 0);
  std::map<std::string, TTarHeader> byName;
  for (const auto& h : list) byName[h.Name] = h;
  ASSERT_TRUE(byName.count(kLong)) << "the long name comes back whole";
  ASSERT_TRUE(byName.count("one.bin"));
  // A 1-byte file: one header block and one data block.
  const TTarHeader& one = byName["one.bin"];
  EXPECT_EQ(one.NextOffset - one.Offset, 1024);
  const uint8_t* h = a.data() + one.Offset;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 100), 8), std::string("0100444\0", 8));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 257), 8), std::string("ustar  \0", 8));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 265), 32), std::string(32, 'u'));
  EXPECT_EQ(h[156], '0');
  EXPECT_TRUE(TZipCommon::TarHeaderChecksum(h));
  ASSERT_TRUE(byName.count("HOLLOW"));
  const uint8_t* f = a.data() + byName["HOLLOW"].Offset;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f), 8), std::string("HOLLOW/\0", 8));
  EXPECT_EQ(f[156], '5');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f + 100), 7), "0040555");
  // At least two zero blocks after the last member.
  int64_t last = 0;
  for (const auto& x : list) last = std::max(last, x.NextOffset);
  EXPECT_GE(static_cast<int64_t>(a.size()) - last, 1024);
  auto back = b.ReadBack();
  EXPECT_EQ(back[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
  EXPECT_EQ(back[SlashToBackslash(Utf8ToWide(kLong))], b.Fs.Get(L"C:\\SRC\\" + Utf8ToWide(kLong)));
  EXPECT_EQ(back[L"empty.txt"], Bytes{});
  EXPECT_TRUE(b.Errors.empty());
}

TEST(TarWriter, UpdatesKeepRenameAndDeleteMembers) {
  TTarRig b;
  ASSERT_EQ(b.Run(), 4);
  Bytes first = b.Archive();
  // The same files again: nothing changed, the archive is left as it was.
  EXPECT_EQ(b.Run([](TTar& w) { w.OnReplaceFile = [](auto...) {}; }), 0);
  EXPECT_EQ(b.Archive(), first);
  // A new file joins the kept members; a changed one is kept under a new name beside it.
  b.Fs.Put(L"C:\\SRC\\late.txt", TextData(700, 5));
  b.Fs.Put(L"C:\\SRC\\one.bin", Bytes{8, 9});
  b.Dated();
  ASSERT_EQ(b.Run([](TTar& w) {
    w.OnReplaceFile = [](TZipCommon*, const std::wstring&, const std::wstring&, double, double, uint32_t, uint32_t,
                         int, int, bool& replace) { replace = false; };
    w.OnRenameDupeFile = [](TZipCommon*, const std::wstring&, std::wstring& n, bool& r) {
      n = L"SUB\\one-old.bin";
      r = true;
    };
  }),
            2);
  auto back = b.ReadBack();
  EXPECT_EQ(back[L"late.txt"], TextData(700, 5));
  EXPECT_EQ(back[L"one.bin"], (Bytes{8, 9}));
  EXPECT_EQ(back[L"SUB\\one-old.bin"], Bytes{7});
  EXPECT_EQ(back[SlashToBackslash(Utf8ToWide(kLong))].size(), 1500u) << "a long-named member is kept whole";
  EXPECT_EQ(b.Archive().size() % 10240, 0u);
  // Deleting by spec.
  EXPECT_EQ(b.Run([](TTar& w) { w.Switch = swDelete; }, L"*.txt"), 4);
  back = b.ReadBack();
  EXPECT_EQ(back.size(), 2u);
  EXPECT_TRUE(back.count(L"one.bin") && back.count(L"SUB\\one-old.bin"));
}

TEST(TarWriter, DamagedOrForeignArchivesStayAsTheyWere) {
  TTarRig b;
  ASSERT_EQ(b.Run(), 4);
  Bytes good = b.Archive();
  Bytes badChecksum = good;
  auto list = Walk(good);
  badChecksum[static_cast<size_t>(list[1].Offset) + 3] ^= 0x20;  // a member behind it would vanish
  Bytes cut(good.begin(), good.begin() + static_cast<long>(list[1].Offset + 700));
  for (const Bytes& old : {badChecksum, cut, TextData(3000, 11)}) {
    b.Fs.Put(kTar, old);
    b.Fs.Put(L"C:\\SRC\\late.txt", TextData(10, 1));
    b.Errors.clear();
    EXPECT_EQ(b.Run([](TTar& w) { w.OnReplaceFile = [](auto...) {}; }), 0);
    EXPECT_FALSE(b.Errors.empty());
    EXPECT_EQ(b.Archive(), old);
  }
}

TEST(TarWriter, GzipStepLeavesATgzAndRemovesTheTar) {
  TTarRig b;
  std::wstring finalName;
  TTar* seen = nullptr;
  ASSERT_EQ(b.Run([&](TTar& w) {
    w.SetCompressMethod(cmGzipTar);
    seen = &w;
  }),
            4);
  EXPECT_FALSE(b.Fs.FileExists(kTar));
  Bytes tgz = b.Fs.Get(L"C:\\OUT\\A.TGZ");
  ASSERT_GT(tgz.size(), 20u);
  // Unpacked by the engine's reader, with the nested TAR taken apart.
  TMemFileSys out;
  out.ForceDirs(L"T:\\TEMP");
  out.Put(L"C:\\A.TGZ", tgz);
  TUnGZip r(nullptr);
  r.FileSys = &out;
  r.SetArchiveFile(L"C:\\A.TGZ");
  r.SetArcType(atGZip);
  r.SetExtractDir(L"C:\\X");
  r.FileSpec.Add(L"*.*");
  r.OnNestedTarFile = [](TZipCommon*, const std::wstring&, bool& u) { u = true; };
  EXPECT_EQ(r.Extract(), 4);
  EXPECT_EQ(out.Get(L"C:\\X\\a.txt"), b.Fs.Get(L"C:\\SRC\\a.txt"));
}

struct TGzRig {
  TMemFileSys Fs;
  std::vector<std::pair<int, std::wstring>> Errors;
  TGzRig() {
    Fs.ForceDirs(L"T:\\TEMP");
    Fs.Put(L"C:\\SRC\\a.txt", TextData(50000, 1));
    Fs.Put(L"C:\\SRC\\b.txt", TextData(100, 2));
    Fs.Put(L"C:\\SRC\\empty.dat", Bytes{});
  }
  int Run(const std::function<void(TGZip&)>& more, const wchar_t* spec = L"C:\\SRC\\*.*") {
    TGZip w;
    w.FileSys = &Fs;
    w.SetArchiveFile(L"C:\\OUT\\x.gz");
    w.FileSpec.Add(spec);
    w.RecurseDirs = false;
    w.OnError = [this](TZipCommon*, const std::wstring& f, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back({c, f});
    };
    more(w);
    return w.UpdateArchive();
  }
  Bytes Unpack(const std::wstring& name) {
    TMemFileSys out;
    out.Put(L"C:\\M.GZ", Fs.Get(name));
    TUnGZip r(nullptr);
    r.FileSys = &out;
    r.SetArchiveFile(L"C:\\M.GZ");
    r.SetArcType(atGZip);
    r.SetExtractDir(L"C:\\X");
    r.FileSpec.Add(L"*.*");
    bool pass = false;
    r.OnEnd = [&](TZipCommon*, const std::wstring&, bool p) { pass = p; };
    EXPECT_EQ(r.Extract(), 1);
    EXPECT_TRUE(pass);
    for (const auto& f : out.Files())
      if (f.rfind(L"C:\\X\\", 0) == 0) return out.Get(f);
    return {};
  }
};

TEST(GZipWriter, OutputNamesAndMembers) {
  TGzRig g;
  ASSERT_EQ(g.Run([](TGZip&) {}), 3);
  Bytes a = g.Fs.Get(L"C:\\OUT\\a.txt.gz");
  ASSERT_GT(a.size(), 18u);
  EXPECT_EQ(a[0], 0x1F);
  EXPECT_EQ(a[1], 0x8B);
  EXPECT_EQ(a[3], 0x08);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.data() + 10)), "a.txt");
  EXPECT_EQ(g.Unpack(L"C:\\OUT\\a.txt.gz"), g.Fs.Get(L"C:\\SRC\\a.txt"));
  // An empty file: CRC and size 0.
  Bytes e = g.Fs.Get(L"C:\\OUT\\empty.dat.gz");
  ASSERT_GE(e.size(), 8u);
  EXPECT_EQ(Bytes(e.end() - 8, e.end()), Bytes(8, 0));
  TGzRig u;
  ASSERT_EQ(u.Run([](TGZip& w) { w.Extension = exUnderscore; }, L"C:\\SRC\\a.txt"), 1);
  EXPECT_TRUE(u.Fs.FileExists(L"C:\\OUT\\a.tx_"));
}

TEST(GZipWriter, OneFilePerNamedOutputAndNoSourceLost) {
  TGzRig g;
  g.Fs.Put(L"C:\\OUT\\x.gz", std::string_view("old"));
  int asked = 0;
  EXPECT_EQ(g.Run([&](TGZip& w) {
    w.Extension = exUser;
    w.Switch = swMove;
    w.OnFileExists = [&](TZipCommon*, const std::wstring&, double, TOverwriteMode& m) {
      ++asked;
      m = omOverwrite;
    };
  }),
            1);
  EXPECT_EQ(asked, 1);
  ASSERT_FALSE(g.Errors.empty());
  EXPECT_EQ(g.Errors[0].first, zevInvalidArcType);
  // One source went into x.gz and was deleted; the other two are still there.
  int left = 0;
  for (const wchar_t* f : {L"C:\\SRC\\a.txt", L"C:\\SRC\\b.txt", L"C:\\SRC\\empty.dat"}) left += g.Fs.FileExists(f);
  EXPECT_EQ(left, 2);
  // Without OnFileExists an existing output stops the run; a refusal keeps it.
  TGzRig h;
  h.Fs.Put(L"C:\\OUT\\x.gz", std::string_view("old"));
  EXPECT_EQ(h.Run([](TGZip& w) { w.Extension = exUser; }, L"C:\\SRC\\a.txt"), 0);
  EXPECT_EQ(h.Errors.at(0).first, zevEventNotAssigned);
  EXPECT_EQ(h.Fs.Get(L"C:\\OUT\\x.gz"), Bytes({'o', 'l', 'd'}));
}

TEST(GZipWriter, AFailedMemberLeavesTheOldOutputAndTheSource) {
  TGzRig g;
  g.Fs.Put(L"C:\\OUT\\a.txt.gz", std::string_view("old"));
  g.Fs.WriteLimit = 1000;  // the disk fills up halfway
  EXPECT_EQ(g.Run([](TGZip& w) {
    w.Switch = swMove;
    w.ConfirmOverwrites = false;
  }, L"C:\\SRC\\a.txt"),
            0);
  g.Fs.WriteLimit = -1;
  EXPECT_FALSE(g.Errors.empty());
  EXPECT_EQ(g.Fs.Get(L"C:\\OUT\\a.txt.gz"), Bytes({'o', 'l', 'd'}));
  EXPECT_TRUE(g.Fs.FileExists(L"C:\\SRC\\a.txt"));
}

#ifndef _WIN32
int Shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

TEST(TarTools, GnuTarAndGzipAcceptWhatTheWritersMake) {
  TTempDir dir;
  std::string d = WideToUtf8(dir.Path());
  TTarRig b;
  b.Fs.ForceDirs(L"C:\\SRC\\HOLLOW");
  ASSERT_EQ(b.Run([](TTar& w) {
    w.StoreEmptySubDirs = true;
    w.Attributes = static_cast<TzevFileAttrs>(w.Attributes | AttrSet({fsDirectory}));
    w.SetCompressMethod(cmGzipTar);
  }),
            7);
  Bytes tgz = b.Fs.Get(L"C:\\OUT\\A.TGZ");
  ASSERT_TRUE(WriteFileRaw(Utf8ToWide(d + "/a.tgz"), std::string(tgz.begin(), tgz.end())));
  EXPECT_EQ(Shell("gzip -t '" + d + "/a.tgz'"), 0);
  EXPECT_EQ(Shell("tar tzvf '" + d + "/a.tgz'"), 0);
  ASSERT_EQ(Shell("mkdir '" + d + "/x' && tar xzf '" + d + "/a.tgz' -C '" + d + "/x'"), 0);
  Bytes a = b.Fs.Get(L"C:\\SRC\\a.txt");
  EXPECT_EQ(ReadFileRaw(Utf8ToWide(d + "/x/a.txt")), std::string(a.begin(), a.end()));
  std::string longName = kLong;
  for (char& c : longName)
    if (c == '\\') c = '/';
  EXPECT_EQ(ReadFileRaw(Utf8ToWide(d + "/x/" + longName)).size(), 1500u);
  EXPECT_EQ(Shell("test -d '" + d + "/x/HOLLOW'"), 0);
  // And what GNU tar makes, the writer updates.
  ASSERT_EQ(Shell("cd '" + d + "/x' && tar cf ../gnu.tar a.txt SUB"), 0);
  std::string gnu = ReadFileRaw(Utf8ToWide(d + "/gnu.tar"));
  TTarRig c;
  c.Fs.Put(kTar, std::string_view(gnu));
  c.Fs.Put(L"C:\\SRC\\late.txt", TextData(900, 9));
  ASSERT_EQ(c.Run(nullptr, L"C:\\SRC\\late.txt"), 1);
  Bytes upd = c.Archive();
  ASSERT_TRUE(WriteFileRaw(Utf8ToWide(d + "/upd.tar"), std::string(upd.begin(), upd.end())));
  ASSERT_EQ(Shell("mkdir '" + d + "/y' && tar xf '" + d + "/upd.tar' -C '" + d + "/y'"), 0);
  EXPECT_EQ(Shell("cmp '" + d + "/x/a.txt' '" + d + "/y/a.txt' && cmp '" + d + "/x/" + longName + "' '" + d + "/y/" +
                  longName + "'"),
            0);
  Bytes late = TextData(900, 9);
  EXPECT_EQ(ReadFileRaw(Utf8ToWide(d + "/y/late.txt")), std::string(late.begin(), late.end()));
  // A GZIP file of ours through gzip itself.
  TGzRig g;
  ASSERT_EQ(g.Run([](TGZip&) {}, L"C:\\SRC\\a.txt"), 1);
  Bytes gz = g.Fs.Get(L"C:\\OUT\\a.txt.gz");
  ASSERT_TRUE(WriteFileRaw(Utf8ToWide(d + "/a.txt.gz"), std::string(gz.begin(), gz.end())));
  EXPECT_EQ(Shell("gzip -t '" + d + "/a.txt.gz'"), 0);
  ASSERT_EQ(Shell("mkdir '" + d + "/g' && mv '" + d + "/a.txt.gz' '" + d + "/g/' && gzip -d '" + d + "/g/a.txt.gz'"), 0);
  Bytes src = g.Fs.Get(L"C:\\SRC\\a.txt");
  EXPECT_EQ(ReadFileRaw(Utf8ToWide(d + "/g/a.txt")), std::string(src.begin(), src.end()));
}
#endif
}  // namespace
