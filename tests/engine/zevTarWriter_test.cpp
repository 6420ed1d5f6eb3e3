// The TAR and GZIP writers over files in memory: what the blocks hold, long names, updates
// that keep, rename and delete members, damaged archives that must stay as they were, the
// ".TGZ" step, GZIP output names and one file per GZIP file; and (natively) what they write
// checked by GNU tar and gzip.
#include <gtest/gtest.h>
#include <zlib.h>

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
  int Run(const std::function<void(TTar&)>& more = nullptr, const wchar_t* fileMask = L"C:\\SRC\\*.*") {
    TTar w;
    w.FileSys = &Fs;
    w.SetArchiveFile(kTar);
    w.SetBaseDir(L"C:\\SRC");
    w.FileSpec.Add(fileMask);
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
  // Deleting by file mask.
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

// The bytes a GZIP file holds, checked by zlib's own reading of the format (CRC and size).
Bytes Gunzip(const Bytes& gz) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  z.next_in = const_cast<Bytef*>(gz.data());
  z.avail_in = static_cast<uInt>(gz.size());
  Bytes out, buf(1 << 16);
  int r;
  do {
    z.next_out = buf.data();
    z.avail_out = static_cast<uInt>(buf.size());
    r = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buf.data(), buf.data() + (buf.size() - z.avail_out));
  } while (r == Z_OK);
  inflateEnd(&z);
  EXPECT_EQ(r, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);
  return out;
}

// Reads of the named files stop short at a given byte, as when a file shrinks or its disk
// fails while it is read.
class TShortReadFs : public TMemFileSys {
 public:
  std::map<std::wstring, int64_t> FailAt;
  std::unique_ptr<TStream32> OpenRead(const std::wstring& name) override {
    auto it = FailAt.find(name);
    if (it == FailAt.end()) return TMemFileSys::OpenRead(name);
    return std::make_unique<TShort>(Get(name), it->second);
  }

 private:
  class TShort : public TStream32 {
   public:
    TShort(Bytes d, int64_t failAt) : FData(std::move(d)), FEnd(std::min<int64_t>(failAt, FData.size())) {}
    int32_t Read(void* b, int32_t n) override {
      int64_t k = std::min<int64_t>(n, FEnd - FPos);
      if (k <= 0) return 0;
      std::memcpy(b, FData.data() + FPos, static_cast<size_t>(k));
      FPos += k;
      return static_cast<int32_t>(k);
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t o, TSeekOrigin32 origin) override {
      int64_t base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? FPos : static_cast<int64_t>(FData.size());
      return FPos = base + o;
    }

   private:
    Bytes FData;
    int64_t FEnd, FPos = 0;
  };
};

// A .TGZ is compressed as the TAR is written: a member whose source fails part way is taken
// back, whether it was still held back (small) or already compressed past the hold-back
// limit, and the result is exactly the plain TAR of the same run, compressed.
TEST(TarWriter, TgzTakesBackAMemberThatFailsPartWay) {
  Bytes made[2];
  for (int gz = 0; gz < 2; ++gz) {
    TShortReadFs fs;
    fs.ForceDirs(L"T:\\TEMP");
    fs.Put(L"C:\\SRC\\a.txt", TextData(30000, 1));
    fs.Put(L"C:\\SRC\\b.bin", RandomData(200000, 2));
    fs.Put(L"C:\\SRC\\c.bin", RandomData(3 << 20, 3));
    fs.Put(L"C:\\SRC\\d.txt", TextData(3 << 20, 4));
    fs.Put(L"C:\\SRC\\e.txt", TextData(5000, 5));
    for (const auto& f : fs.Files()) fs.Find(f)->Date = FieldsToDosDateTime(2024, 1, 15, 10, 20, 30);
    fs.FailAt[L"C:\\SRC\\b.bin"] = 100000;
    fs.FailAt[L"C:\\SRC\\d.txt"] = (5 << 20) / 2;
    std::vector<int> errors;
    TTar w;
    w.FileSys = &fs;
    w.SetArchiveFile(kTar);
    w.SetBaseDir(L"C:\\SRC");
    w.FileSpec.Add(L"C:\\SRC\\*.*");
    w.OnError = [&](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      errors.push_back(c);
    };
    if (gz) w.SetCompressMethod(cmGzipTar);
    EXPECT_EQ(w.UpdateArchive(), 3);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), zevReadError), 2);
    EXPECT_EQ(fs.FileExists(kTar), !gz);
    made[gz] = gz ? Gunzip(fs.Get(L"C:\\OUT\\A.TGZ")) : fs.Get(kTar);
  }
  ASSERT_FALSE(made[0].empty());
  EXPECT_TRUE(made[0] == made[1]);
  std::vector<std::string> names;
  for (const auto& h : Walk(made[1])) names.push_back(h.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.bin", "e.txt"}));
}

// An existing ".TGZ" is replaced only when the client agrees; otherwise the run leaves a plain
// TAR. A TAR the new ".TGZ" was updated from goes.
TEST(TarWriter, TgzReplacesAnOldOneOnlyWhenAllowed) {
  for (bool allow : {false, true}) {
    SCOPED_TRACE(allow);
    TTarRig b;
    b.Fs.Put(L"C:\\OUT\\A.TGZ", std::string("old"));
    int asked = 0;
    ASSERT_EQ(b.Run([&](TTar& w) {
      w.SetCompressMethod(cmGzipTar);
      w.OnFileExists = [&](TZipCommon*, const std::wstring& name, double, TOverwriteMode& mode) {
        ++asked;
        EXPECT_EQ(name, L"C:\\OUT\\A.TGZ");
        mode = allow ? omOverwrite : omSkip;
      };
    }), 4);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(b.Fs.FileExists(kTar), !allow);
    if (!allow) EXPECT_EQ(b.Fs.Get(L"C:\\OUT\\A.TGZ"), Bytes({'o', 'l', 'd'}));
    else EXPECT_EQ(Walk(Gunzip(b.Fs.Get(L"C:\\OUT\\A.TGZ"))).size(), 4u);
  }
  // Updating a TAR into its ".TGZ": the kept members and the new one, and the TAR goes.
  TTarRig u;
  ASSERT_EQ(u.Run(), 4);
  u.Fs.Put(L"C:\\SRC\\late.txt", TextData(900, 9));
  ASSERT_EQ(u.Run([](TTar& w) { w.SetCompressMethod(cmGzipTar); }, L"C:\\SRC\\late.txt"), 1);
  EXPECT_FALSE(u.Fs.FileExists(kTar));
  EXPECT_EQ(Walk(Gunzip(u.Fs.Get(L"C:\\OUT\\A.TGZ"))).size(), 5u);
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
  int Run(const std::function<void(TGZip&)>& more, const wchar_t* fileMask = L"C:\\SRC\\*.*") {
    TGZip w;
    w.FileSys = &Fs;
    w.SetArchiveFile(L"C:\\OUT\\x.gz");
    w.FileSpec.Add(fileMask);
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
