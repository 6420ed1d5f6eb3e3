// The writer base and the ZIP and JAR writers over files in memory: new, kept, replaced,
// renamed and deleted entries, stored names, failures that must keep the old archive; and
// (natively, where the tools run) what the writer makes checked by unzip, zipinfo and 7zz.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevDetect.h"
#include "archive/engine/zevUnZip.h"
#include "archive/engine/zevZip.h"
#include "engine/ZipTestKit.h"

namespace {
using namespace ziptest;

uint32_t GetLE32Test(const Bytes& b, size_t at = 0) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<uint32_t>(b.at(at + 3)) << 24;
}
uint16_t GetLE16Test(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8); }

struct TCentral {
  uint16_t Flags = 0, Method = 0;
  uint32_t Crc = 0, Packed = 0, Size = 0, Offset = 0;
};
// The central directory of an archive, by stored name.
std::map<std::string, TCentral> CentralDirectory(const Bytes& zip) {
  std::map<std::string, TCentral> m;
  size_t end = zip.size() - 22;
  size_t pos = GetLE32Test(zip, end + 16);
  for (unsigned i = 0; i < GetLE16Test(zip, end + 10); ++i) {
    TCentral c;
    c.Flags = GetLE16Test(zip, pos + 8);
    c.Method = GetLE16Test(zip, pos + 10);
    c.Crc = GetLE32Test(zip, pos + 16);
    c.Packed = GetLE32Test(zip, pos + 20);
    c.Size = GetLE32Test(zip, pos + 24);
    c.Offset = GetLE32Test(zip, pos + 42);
    size_t n = GetLE16Test(zip, pos + 28);
    m[std::string(zip.begin() + static_cast<long>(pos) + 46, zip.begin() + static_cast<long>(pos + 46 + n))] = c;
    pos += 46 + n + GetLE16Test(zip, pos + 30) + GetLE16Test(zip, pos + 32);
  }
  return m;
}

struct TWriterBench {
  TMemFileSys Fs;
  std::vector<int> Errors;
  TWriterBench() {
    Fs.ForceDirs(L"T:\\TEMP");
    Fs.Put(L"C:\\SRC\\a.txt", SampleText(30000, 1));
    Fs.Put(L"C:\\SRC\\b.txt", SampleText(100, 2));
    Fs.Put(L"C:\\SRC\\empty.txt", Bytes{});
    Fs.Put(L"C:\\SRC\\SUB\\c.bin", SampleText(50000, 3));
    Fs.Put(L"C:\\SRC\\SUB\\d.zip", SampleText(4000, 4));
  }
  void Setup(TZip& z, const wchar_t* archive = L"C:\\OUT\\A.ZIP") {
    z.FileSys = &Fs;
    z.SetArchiveFile(archive);
    z.SetBaseDir(L"C:\\SRC");
    z.FileSpec.Add(L"C:\\SRC\\*.*");
    z.RecurseDirs = true;
    z.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
  }
  int Add(std::function<void(TZip&)> more = nullptr, const wchar_t* archive = L"C:\\OUT\\A.ZIP") {
    TZip z;
    Setup(z, archive);
    if (more) more(z);
    return z.UpdateArchive();
  }
  // Extracts with the engine's own reader.
  std::map<std::wstring, Bytes> ReadBack(const wchar_t* archive = L"C:\\OUT\\A.ZIP", const wchar_t* pw = nullptr) {
    TMemFileSys out;
    out.Put(L"C:\\A.ZIP", Fs.Get(archive));
    TUnZip r;
    r.FileSys = &out;
    r.SetArchiveFile(L"C:\\A.ZIP");
    r.SetExtractDir(L"C:\\X");
    r.FileSpec.Add(L"*.*");
    if (pw) r.Passwords.Add(pw);
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

TEST(Zip, CreateAndReadBack) {
  TWriterBench b;
  EXPECT_EQ(b.Add(), 5);
  EXPECT_TRUE(b.Errors.empty());
  auto m = b.ReadBack();
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
  EXPECT_EQ(m[L"SUB\\c.bin"], b.Fs.Get(L"C:\\SRC\\SUB\\c.bin"));
  EXPECT_EQ(m[L"empty.txt"], Bytes{});
  // The already-compressed kind is deflated at the fastest level (flag bits 6) and kept so
  // even when larger; an empty file is stored with CRC 0; a text that shrinks is deflated.
  auto dir = CentralDirectory(b.Fs.Get(L"C:\\OUT\\A.ZIP"));
  ASSERT_EQ(dir.count("SUB/d.zip"), 1u);
  EXPECT_EQ(dir["SUB/d.zip"].Method, 8);
  EXPECT_EQ(dir["SUB/d.zip"].Flags & 6, 6);
  EXPECT_EQ(dir["empty.txt"].Method, 0);
  EXPECT_EQ(dir["empty.txt"].Crc, 0u);
  EXPECT_EQ(dir["a.txt"].Method, 8);
}

TEST(Zip, UnchangedUpdateKeepsTheArchiveByteForByte) {
  TWriterBench b;
  ASSERT_EQ(b.Add(), 5);
  Bytes before = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  EXPECT_EQ(b.Add(), 0);
  EXPECT_EQ(b.Fs.Get(L"C:\\OUT\\A.ZIP"), before);
  EXPECT_TRUE(b.Errors.empty());
  // Everything excluded: also unchanged.
  EXPECT_EQ(b.Add([](TZip& z) { z.ExcludeSpec.Add(L"*.*"); }), 0);
  EXPECT_EQ(b.Fs.Get(L"C:\\OUT\\A.ZIP"), before);
}

TEST(Zip, ReplaceRenameAndDelete) {
  TWriterBench b;
  ASSERT_EQ(b.Add(), 5);
  b.Fs.Put(L"C:\\SRC\\b.txt", std::string("changed"));
  // Without the question's handler a changed file is reported and the kept entry stays.
  EXPECT_EQ(b.Add(), 0);
  EXPECT_EQ(b.Errors.back(), zevEventNotAssigned);
  b.Errors.clear();
  EXPECT_EQ(b.Add([](TZip& z) {
    z.OnReplaceFile = [](TZipCommon*, const std::wstring&, const std::wstring&, double, double, uint32_t, uint32_t,
                         int, int, bool& replace) { replace = true; };
  }),
            1);
  auto m = b.ReadBack();
  EXPECT_EQ(m[L"b.txt"], (Bytes{'c', 'h', 'a', 'n', 'g', 'e', 'd'}));
  EXPECT_EQ(m.size(), 5u);
  // Keep both: the old entry under a new name.
  b.Fs.Put(L"C:\\SRC\\b.txt", std::string("third"));
  EXPECT_EQ(b.Add([](TZip& z) {
    z.OnReplaceFile = [](TZipCommon*, const std::wstring&, const std::wstring&, double, double, uint32_t, uint32_t,
                         int, int, bool&) {};
    z.OnRenameDupeFile = [](TZipCommon*, const std::wstring&, std::wstring& n, bool&) { n = L"b-old.txt"; };
  }),
            1);
  m = b.ReadBack();
  EXPECT_EQ(m[L"b-old.txt"], (Bytes{'c', 'h', 'a', 'n', 'g', 'e', 'd'}));
  EXPECT_EQ(m[L"b.txt"], (Bytes{'t', 'h', 'i', 'r', 'd'}));
  // Delete the text files: the rest keeps its data, the offsets shift.
  EXPECT_EQ(b.Add([](TZip& z) {
    z.Switch = swDelete;
    z.FileSpec.Clear();
    z.FileSpec.Add(L"*.txt");
  }),
            4);
  m = b.ReadBack();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[L"SUB\\c.bin"], b.Fs.Get(L"C:\\SRC\\SUB\\c.bin"));
  // Delete everything: a bare end record.
  EXPECT_EQ(b.Add([](TZip& z) {
    z.Switch = swDelete;
    z.FileSpec.Clear();
    z.FileSpec.Add(L"*.*");
  }),
            2);
  Bytes end = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  ASSERT_EQ(end.size(), 22u);
  EXPECT_EQ(GetLE32Test(end), 0x06054B50u);
  // Deleting from an archive that is not there: nothing to do.
  b.Errors.clear();
  EXPECT_EQ(b.Add([](TZip& z) { z.Switch = swDelete; }, L"C:\\OUT\\NONE.ZIP"), 0);
  EXPECT_EQ(b.Errors, std::vector<int>{zevNothingToDo});
}

TEST(Zip, AFailedRunKeepsTheOldArchiveAndTheSources) {
  TWriterBench b;
  ASSERT_EQ(b.Add(), 5);
  Bytes before = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  b.Fs.Put(L"C:\\SRC\\new.txt", SampleText(200000, 8));
  b.Fs.WriteLimit = 0;  // a full disk from here on
  EXPECT_EQ(b.Add([](TZip& z) { z.Switch = swMove; }), 0);
  EXPECT_EQ(b.Fs.Get(L"C:\\OUT\\A.ZIP"), before);
  EXPECT_NE(b.Fs.Find(L"C:\\SRC\\new.txt"), nullptr);
  EXPECT_NE(b.Fs.Find(L"C:\\SRC\\a.txt"), nullptr);
  EXPECT_FALSE(b.Errors.empty());
  // A file that is not a ZIP is never overwritten by an update.
  b.Fs.WriteLimit = -1;
  b.Fs.Put(L"C:\\OUT\\NOTZIP.ZIP", std::string(5000, 'x'));
  b.Errors.clear();
  EXPECT_EQ(b.Add(nullptr, L"C:\\OUT\\NOTZIP.ZIP"), 0);
  EXPECT_EQ(b.Fs.Get(L"C:\\OUT\\NOTZIP.ZIP"), Bytes(5000, 'x'));
  EXPECT_EQ(b.Errors, std::vector<int>{zevInvalidArcType});
  // A move deletes the sources once the archive is in place.
  std::vector<int> indexes;
  EXPECT_EQ(b.Add(
                [&](TZip& z) {
                  z.Switch = swMove;
                  z.FileSpec.Clear();
                  z.FileSpec.Add(L"C:\\SRC\\new.txt");
                  z.OnDeleteFile = [&](TZipCommon*, const std::wstring&, int i, int n) { indexes.push_back(i * 10 + n); };
                },
                L"C:\\OUT\\MOVE.ZIP"),
            1);
  EXPECT_EQ(b.Fs.Find(L"C:\\SRC\\new.txt"), nullptr);
  EXPECT_EQ(indexes, std::vector<int>{1});
  EXPECT_EQ(b.ReadBack(L"C:\\OUT\\MOVE.ZIP")[L"new.txt"], SampleText(200000, 8));
}

TEST(Zip, EncryptedEntries) {
  TWriterBench b;
  ASSERT_EQ(b.Add([](TZip& z) { z.Password = L"secret"; }), 5);
  auto m = b.ReadBack(L"C:\\OUT\\A.ZIP", L"secret");
  EXPECT_EQ(m[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
  EXPECT_EQ(m[L"empty.txt"], Bytes{});
}

TEST(Zip, NamesExtensionsAndMethods) {
  TZip z;
  TMemFileSys fs;
  z.FileSys = &fs;
  z.StoredDirNames = sdAbsoluteNoRoot;
  EXPECT_EQ(z.MakeStoredName(L"\\\\SRV\\PUB\\DOC\\A.TXT", L""), L"DOC\\A.TXT");
  z.StoredDirNames = sdAbsoluteNoDrv;
  EXPECT_EQ(z.MakeStoredName(L"\\\\SRV\\PUB\\DOC\\A.TXT", L""), L"\\DOC\\A.TXT");
  EXPECT_EQ(z.MakeStoredName(L"C:\\DOC\\A.TXT", L""), L"\\DOC\\A.TXT");
  z.StoredDirNames = sdRelativeStoreStart;
  EXPECT_EQ(z.MakeStoredName(L"C:\\DATA\\WEB\\A.HTM", L"C:\\DATA\\WEB\\"), L"WEB\\A.HTM");
  z.StoredDirNames = sdNone;
  EXPECT_EQ(z.MakeStoredName(L"C:\\DATA\\WEB\\A.HTM", L""), L"A.HTM");
  z.SetArchiveFile(L"C:/x/arc");
  EXPECT_EQ(z.ArchiveFile(), L"C:\\x\\arc.zip");
  z.SetDefaultExt(L".tar.gz");
  EXPECT_EQ(z.DefaultExt(), L".tar");
  EXPECT_EQ(z.ArchiveFile(), L"C:\\x\\arc.tar");
  z.SetDefaultExt(L"");
  EXPECT_EQ(z.DefaultExt(), L".ZIP");
  z.SetCompressMethod(cmLzx);
  EXPECT_EQ(z.CompressMethod(), cmDeflate);
  TJar j;
  j.SetArchiveFile(L"app");
  EXPECT_EQ(j.ArchiveFile(), L"app.jar");
  j.SetCompressMethod(cmGzipTar);
  EXPECT_EQ(j.CompressMethod(), cmDeflate);
  j.SetCompressMethod(cmStore);
  EXPECT_EQ(j.CompressMethod(), cmStore);
}

// A set written across removable disks: the filled disk leaves the drive in OnInsertDisk.
struct TSpanRig {
  TMemFileSys Fs;
  std::vector<Bytes> Volumes;
  std::vector<int> Errors;
  std::vector<std::wstring> Labels;
  TSpanRig(int64_t diskSize) {
    Fs.ForceDirs(L"T:\\TEMP");
    Fs.Volume.DriveType = 2;
    Fs.Volume.FreeSpace = Fs.Volume.TotalSpace = diskSize;
    uint32_t seed = 5;
    for (int i = 0; i < 4; ++i) {
      Bytes b(40000);
      for (auto& c : b) c = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
      Fs.Put(L"C:\\SRC\\r" + std::to_wstring(i) + L".bin", b);
    }
  }
  int Run(bool withEvent = true) {
    TZip z;
    z.FileSys = &Fs;
    z.SetArchiveFile(L"A:\\SET.ZIP");
    z.SetBaseDir(L"C:\\SRC");
    z.FileSpec.Add(L"C:\\SRC\\*.*");
    z.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    if (withEvent)
      z.OnInsertDisk = [this](TDiskSpanObj*, const std::wstring&, bool& cancel) {
        if (Fs.Find(L"A:\\SET.ZIP")) {
          Labels.push_back(Fs.Volume.Label);
          Volumes.push_back(Fs.Get(L"A:\\SET.ZIP"));
          Fs.RemoveFile(L"A:\\SET.ZIP", doFinal);
        }
        ++Fs.Volume.Serial;
        cancel = false;
      };
    int n = z.UpdateArchive();
    if (Fs.Find(L"A:\\SET.ZIP")) {
      Labels.push_back(Fs.Volume.Label);
      Volumes.push_back(Fs.Get(L"A:\\SET.ZIP"));
    }
    return n;
  }
};

TEST(ZipSpan, SetsAcrossDisks) {
  TSpanRig big(1 << 20);
  EXPECT_EQ(big.Run(), 4);
  ASSERT_EQ(big.Volumes.size(), 1u);
  EXPECT_NE(GetLE32Test(big.Volumes[0]), 0x08074B50u);  // it fits: no marker
  TSpanRig small(60000);
  EXPECT_EQ(small.Run(), 4);
  ASSERT_GE(small.Volumes.size(), 3u);
  EXPECT_EQ(GetLE32Test(small.Volumes[0]), 0x08074B50u);
  EXPECT_EQ(small.Labels[0], L"PKBACK# 001");
  EXPECT_EQ(small.Labels[1], L"PKBACK# 002");
  for (const auto& v : small.Volumes) EXPECT_LE(v.size(), 60000u);
  // Read back as a split set.
  TMemFileSys fs;
  for (size_t i = 0; i + 1 < small.Volumes.size(); ++i) {
    wchar_t ext[8];
    swprintf(ext, 8, L".z%02u", static_cast<unsigned>(i + 1));
    fs.Put(std::wstring(L"C:\\SET") + ext, small.Volumes[i]);
  }
  fs.Put(L"C:\\SET.ZIP", small.Volumes.back());
  TUnZip r;
  r.FileSys = &fs;
  r.SetArchiveFile(L"C:\\SET.ZIP");
  r.SetExtractDir(L"C:\\X");
  r.FileSpec.Add(L"*.*");
  EXPECT_EQ(r.Extract(), 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(fs.Get(L"C:\\X\\r" + std::to_wstring(i) + L".bin"), small.Fs.Get(L"C:\\SRC\\r" + std::to_wstring(i) + L".bin"));
}

TEST(ZipWriter, EncryptedHeadersHideNamesAndReadBack) {
  TWriterBench b;
  ASSERT_EQ(b.Add([](TZip& z) { z.EncryptHeaders = true; }), 5);
  Bytes a = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  EXPECT_EQ(std::string(a.begin(), a.begin() + 4), std::string("PL\3\4", 4));
  std::string all(a.begin(), a.end());
  EXPECT_EQ(all.find("a.txt"), std::string::npos) << "no name in clear";
  EXPECT_EQ(all.find(std::string("PK\1\2", 4)), std::string::npos);
  auto back = b.ReadBack();
  EXPECT_EQ(back[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
  EXPECT_EQ(back[L"SUB\\c.bin"], b.Fs.Get(L"C:\\SRC\\SUB\\c.bin"));
  // A plain file added later; the kept entries keep their hidden headers.
  b.Fs.Put(L"C:\\SRC\\late.txt", SampleText(300, 9));
  ASSERT_EQ(b.Add(), 1);
  a = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  all.assign(a.begin(), a.end());
  EXPECT_EQ(all.find("a.txt"), std::string::npos);
  EXPECT_NE(all.find("late.txt"), std::string::npos);
  back = b.ReadBack();
  EXPECT_EQ(back.size(), 6u);
  EXPECT_EQ(back[L"late.txt"], SampleText(300, 9));
  EXPECT_TRUE(b.Errors.empty());
}

TEST(ZipWriter, CommentsChangeWithoutTouchingTheEntries) {
  TWriterBench b;
  ASSERT_EQ(b.Add(), 5);
  Bytes before = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  TZip z;
  b.Setup(z);
  ASSERT_EQ(z.OpenForComments(), 5);
  std::wstring name;
  std::string text;
  ASSERT_TRUE(z.GetEntryComment(1, name, text));
  EXPECT_TRUE(text.empty());
  z.SetEntryComment(1, "second entry");
  z.SetArchiveComment("the whole");
  ASSERT_TRUE(z.CommitComments());
  Bytes after = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  TDetectResult r;
  TBytesReadStream in(before.data(), before.size());
  ZipEndSearch(in, r);
  size_t data = GetLE32(r.End + 16);
  ASSERT_GT(after.size(), data);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<long>(data), after.begin()));
  EXPECT_EQ(std::string(after.end() - 9, after.end()), "the whole");
  TZip again;
  b.Setup(again);
  ASSERT_EQ(again.OpenForComments(), 5);
  ASSERT_TRUE(again.GetEntryComment(1, name, text));
  EXPECT_EQ(text, "second entry");
  EXPECT_EQ(again.GetArchiveComment(), "the whole");
  // Nothing changed: nothing written.
  EXPECT_FALSE(again.CommitComments());
  EXPECT_EQ(b.Fs.Get(L"C:\\OUT\\A.ZIP"), after);
  EXPECT_EQ(b.ReadBack().size(), 5u);
  // An update keeps the comments.
  b.Fs.Put(L"C:\\SRC\\late.txt", SampleText(300, 9));
  ASSERT_EQ(b.Add(), 1);
  TZip third;
  b.Setup(third);
  ASSERT_EQ(third.OpenForComments(), 6);
  third.GetEntryComment(1, name, text);
  EXPECT_EQ(text, "second entry");
#ifndef _WIN32
  char tmpl[] = "/tmp/velmo-cmt-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::ofstream(dir + "/c.zip", std::ios::binary)
      .write(reinterpret_cast<const char*>(after.data()), static_cast<std::streamsize>(after.size()));
  std::string out = dir + "/note.txt";
  EXPECT_EQ(std::system(("unzip -t " + dir + "/c.zip >/dev/null 2>&1 && zipnote " + dir + "/c.zip > " + out).c_str()), 0);
  std::ifstream note(out);
  std::string listing((std::istreambuf_iterator<char>(note)), std::istreambuf_iterator<char>());
  EXPECT_NE(listing.find("second entry"), std::string::npos);
  EXPECT_NE(listing.find("the whole"), std::string::npos);
  std::system(("rm -rf " + dir).c_str());
#endif
}

TEST(ZipWriter, RefreshPacksUnchangedFilesAnewInTheirPlace) {
  TWriterBench b;
  for (const auto& f : b.Fs.Files()) b.Fs.Find(f)->Date = 0x5A8A6000;  // real dates compare equal
  ASSERT_EQ(b.Add([](TZip& z) { z.SetCompressMethod(cmStore); }), 5);
  Bytes stored = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  ASSERT_EQ(b.Add(), 0) << "an add of unchanged files does nothing";
  ASSERT_EQ(b.Add([](TZip& z) { z.Switch = swRefresh; }), 5);
  Bytes packed = b.Fs.Get(L"C:\\OUT\\A.ZIP");
  EXPECT_LT(packed.size(), stored.size() / 2);
  auto back = b.ReadBack();
  EXPECT_EQ(back.size(), 5u);
  EXPECT_EQ(back[L"a.txt"], b.Fs.Get(L"C:\\SRC\\a.txt"));
}

// The disks of a spanned set, swapped in the one drive as the reader asks for them.
struct TDiskDrive {
  TMemFileSys Fs;
  const TSpanRig& Set;
  std::vector<std::wstring> Asked;
  // The disk put in when disk n is asked for (the user may put in the wrong one).
  std::function<int(int)> Pick = [](int n) { return n; };
  int CancelAt = 0;  // a request that the user cancels (1-based count), 0 never
  explicit TDiskDrive(const TSpanRig& set) : Set(set) { Fs.Volume.DriveType = 2; }
  void Insert(int n) {  // 1-based
    Fs.Put(L"A:\\SET.ZIP", Set.Volumes[static_cast<size_t>(n - 1)]);
    Fs.Volume.Label = Set.Labels[static_cast<size_t>(n - 1)];
  }
  int Run(int first) {
    Insert(first);
    TUnZip r;
    r.FileSys = &Fs;
    r.SetArchiveFile(L"A:\\SET.ZIP");
    r.SetExtractDir(L"C:\\X");
    r.FileSpec.Add(L"*.*");
    int last = static_cast<int>(Set.Volumes.size());
    auto ask = [&](const std::wstring& what, int n, bool& cancel) {
      Asked.push_back(what);
      cancel = CancelAt && static_cast<int>(Asked.size()) == CancelAt;
      if (!cancel) Insert(Pick(n));
    };
    r.OnGetZipFirstDisk = [&](TZipCommon*, bool& c) { ask(L"first", 1, c); };
    r.OnGetZipLastDisk = [&](TZipCommon*, bool& c) { ask(L"last", last, c); };
    r.OnGetZipNextDisk = [&](TZipCommon*, const std::wstring& v, bool& c) { ask(v, std::stoi(v), c); };
    return r.Extract();
  }
};

TEST(ZipSpan, DisksAreAskedForInTurnWhenReading) {
  TSpanRig set(60000);
  ASSERT_EQ(set.Run(), 4);
  ASSERT_EQ(set.Volumes.size(), 3u);
  auto same = [&](TDiskDrive& d) {
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(d.Fs.Get(L"C:\\X\\r" + std::to_wstring(i) + L".bin"),
                set.Fs.Get(L"C:\\SRC\\r" + std::to_wstring(i) + L".bin"));
  };
  // From the last disk, as the archive is opened: the first, then each next one.
  TDiskDrive d(set);
  EXPECT_EQ(d.Run(3), 4);
  same(d);
  EXPECT_EQ(d.Asked, (std::vector<std::wstring>{L"first", L"2", L"last"}));
  // Opened on the first disk: the last one is asked for to read the directory.
  TDiskDrive f(set);
  EXPECT_EQ(f.Run(1), 4);
  same(f);
  ASSERT_FALSE(f.Asked.empty());
  EXPECT_EQ(f.Asked[0], L"last");
  // A wrong disk is refused and the same one asked for again.
  TDiskDrive w(set);
  bool wrongOnce = false;
  w.Pick = [&](int n) {
    if (n == 2 && !wrongOnce) {
      wrongOnce = true;
      return 1;
    }
    return n;
  };
  EXPECT_EQ(w.Run(3), 4);
  same(w);
  EXPECT_EQ(w.Asked, (std::vector<std::wstring>{L"first", L"2", L"2", L"last"}));
  // A cancelled request ends the run without a crash; what was finished stays.
  TDiskDrive c(set);
  c.CancelAt = 2;
  EXPECT_LT(c.Run(3), 4);
  EXPECT_EQ(c.Asked.size(), 2u);
}

TEST(ZipSpan, AMissingHandlerKeepsTheOldArchive) {
  TSpanRig rig(60000);
  Bytes old = MakeZip({Entry("old.txt", 0, 0, Bytes{'o', 'l', 'd'}, Bytes{'o', 'l', 'd'})});
  rig.Fs.Put(L"A:\\SET.ZIP", old);
  EXPECT_EQ(rig.Run(false), 0);
  EXPECT_EQ(rig.Fs.Get(L"A:\\SET.ZIP"), old);
  ASSERT_FALSE(rig.Errors.empty());
  EXPECT_EQ(rig.Errors[0], zevEventNotAssigned);
  // With the disk-change handler but none for an existing file, or the user refusing to
  // replace it, or giving up on a later disk: the file on the first disk stays.
  for (int answer : {-1, int(omSkip), 99}) {
    TSpanRig r(60000);
    r.Fs.Put(L"A:\\SET.ZIP", old);
    int asked = 0;
    TZip z;
    z.FileSys = &r.Fs;
    z.SetArchiveFile(L"A:\\SET.ZIP");
    z.SetBaseDir(L"C:\\SRC");
    z.FileSpec.Add(L"C:\\SRC\\*.*");
    z.OnInsertDisk = [&](TDiskSpanObj*, const std::wstring&, bool& cancel) { cancel = ++asked > 1 && answer == 99; };
    if (answer >= 0)
      z.OnDiskSpanFileExists = [&](TZipCommon*, const std::wstring&, double, TOverwriteMode& m) {
        m = answer == 99 ? omOverwrite : omSkip;
      };
    EXPECT_EQ(z.UpdateArchive(), 0) << answer;
    EXPECT_EQ(r.Fs.Get(L"A:\\SET.ZIP"), old) << answer;
  }
}

// Disks that really change in drive A: each keeps its own SET.ZIP, the disk asked for is put
// in (or the user gives up on one), and each disk has a serial of its own.
struct TDiskBox {
  TSpanRig Rig{60000};
  std::map<int, Bytes> Disk;
  int InDrive = 1;
  std::vector<std::wstring> Asked;
  std::wstring GiveUpOn;
  bool GiveUpOnReturn = false;  // on the first disk asked for again at the end
  int WrongFirst = 0;  // times another disk is put in when the first is asked for again
  const wchar_t* A = L"A:\\SET.ZIP";
  void Swap(int n) {
    if (Rig.Fs.Find(A)) Disk[InDrive] = Rig.Fs.Get(A);
    else Disk.erase(InDrive);
    Rig.Fs.RemoveFile(A, doFinal);
    InDrive = n;
    if (Disk.count(n)) Rig.Fs.Put(A, Disk[n]);
    Rig.Fs.Volume.Serial = 100 + static_cast<uint32_t>(n);
  }
  int Run() {
    if (Disk.count(1)) Rig.Fs.Put(A, Disk[1]);
    Rig.Fs.Volume.Serial = 101;
    TZip z;
    z.FileSys = &Rig.Fs;
    z.SetArchiveFile(A);
    z.SetBaseDir(L"C:\\SRC");
    z.FileSpec.Add(L"C:\\SRC\\*.*");
    z.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Rig.Errors.push_back(c);
    };
    z.OnInsertDisk = [this](TDiskSpanObj*, const std::wstring& v, bool& cancel) {
      Asked.push_back(v);
      cancel = v == GiveUpOn || (GiveUpOnReturn && v == L"1" && Asked.size() > 1);
      if (cancel) return;
      int n = std::stoi(v);
      if (n == 1 && Asked.size() > 1 && WrongFirst > 0) {
        --WrongFirst;
        n = 2;
      }
      Swap(n);
    };
    z.OnDiskSpanFileExists = [](TZipCommon*, const std::wstring&, double, TOverwriteMode& m) { m = omOverwrite; };
    int n = z.UpdateArchive();
    Swap(InDrive);  // what the drive holds is on its disk
    return n;
  }
};

// A set written over an archive on the first disk: the first disk keeps its old archive until
// the set is complete and then, put in again, takes its new volume; a set given up on a later
// disk leaves the first disk as it was.
TEST(ZipSpan, TheFirstDiskKeepsItsArchiveUntilTheSetIsComplete) {
  Bytes old = MakeZip({Entry("old.txt", 0, 0, Bytes{'o', 'l', 'd'}, Bytes{'o', 'l', 'd'})});
  for (const wchar_t* giveUp : {L"1", L"2", L"3", L""}) {
    SCOPED_TRACE(std::string(giveUp, giveUp + std::wcslen(giveUp)));
    TDiskBox box;
    box.Disk[1] = old;
    box.GiveUpOn = giveUp;
    box.GiveUpOnReturn = *giveUp == 0;
    EXPECT_EQ(box.Run(), 0);
    EXPECT_EQ(box.Disk[1], old);
    // Nothing of the run is left in the temporary folder either.
    for (const auto& f : box.Rig.Fs.Files()) EXPECT_EQ(f.rfind(L"T:\\", 0), std::wstring::npos);
  }
  TDiskBox box;
  box.Disk[1] = old;
  box.WrongFirst = 1;
  ASSERT_EQ(box.Run(), 4);
  EXPECT_TRUE(box.Rig.Errors.empty());
  // Disk 1 (its file exists), 2, 3, ..., then disk 1 again, asked twice as disk 2 came first.
  ASSERT_GE(box.Asked.size(), 5u);
  EXPECT_EQ(box.Asked[box.Asked.size() - 1], L"1");
  EXPECT_EQ(box.Asked[box.Asked.size() - 2], L"1");
  ASSERT_GE(box.Disk.size(), 3u);
  EXPECT_EQ(GetLE32Test(box.Disk[1]), 0x08074B50u);
  TMemFileSys fs;
  int last = box.Disk.rbegin()->first;
  for (int i = 1; i < last; ++i) {
    wchar_t ext[8];
    swprintf(ext, 8, L".z%02d", i);
    fs.Put(std::wstring(L"C:\\SET") + ext, box.Disk[i]);
  }
  fs.Put(L"C:\\SET.ZIP", box.Disk[last]);
  TUnZip r;
  r.FileSys = &fs;
  r.SetArchiveFile(L"C:\\SET.ZIP");
  r.SetExtractDir(L"C:\\X");
  r.FileSpec.Add(L"*.*");
  EXPECT_EQ(r.Extract(), 5);  // the old archive's entry and the four new files
  EXPECT_EQ(fs.Get(L"C:\\X\\old.txt"), Bytes({'o', 'l', 'd'}));
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(fs.Get(L"C:\\X\\r" + std::to_wstring(i) + L".bin"), box.Rig.Fs.Get(L"C:\\SRC\\r" + std::to_wstring(i) + L".bin"));
}
}  // namespace

#ifndef _WIN32
namespace {
std::string Quiet(const std::string& c) { return c + " >/dev/null 2>&1"; }

TEST(ZipTools, ReferenceToolsAcceptWhatTheWriterMakes) {
  char tmpl[] = "/tmp/velmo-zip-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  struct {
    const char* Name;
    TDeflateType Level;
    bool Store, Password, Comment;
  } cases[] = {
      {"level-z", dtDeflateZ, false, false, false}, {"level-s", dtDeflateS, false, false, false},
      {"level-f", dtDeflateF, false, false, false}, {"level-n", dtDeflateN, false, false, true},
      {"level-x", dtDeflateX, false, false, false}, {"stored", dtDeflateN, true, false, false},
      {"password", dtDeflateN, false, true, false},
  };
  for (const auto& c : cases) {
    TWriterBench b;
    // A file of several compression chunks, compressed side by side.
    b.Fs.Put(L"C:\\SRC\\SUB\\c.bin", SampleText(1100000, 3));
    ASSERT_EQ(b.Add([&](TZip& z) {
      z.DeflateType = c.Level;
      if (c.Store) z.SetCompressMethod(cmStore);
      if (c.Password) z.Password = L"secret";
      if (c.Comment) {
        z.ArchiveComment = "archive comment";
        z.ArchiveCommentSet = true;
      }
    }),
              5)
        << c.Name;
    // An update that adds one file keeps the comment and the entries.
    b.Fs.Put(L"C:\\SRC\\late.txt", SampleText(1000, 11));
    ASSERT_EQ(b.Add([&](TZip& z) {
      z.DeflateType = c.Level;
      if (c.Password) z.Password = L"secret";
    }),
              1)
        << c.Name;
    std::string zip = dir + "/" + c.Name + ".zip";
    Bytes bytes = b.Fs.Get(L"C:\\OUT\\A.ZIP");
    std::ofstream(zip, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
    std::string pw = c.Password ? " -P secret" : "";
    EXPECT_EQ(std::system(Quiet("unzip -t" + pw + " " + zip).c_str()), 0) << c.Name;
    EXPECT_EQ(std::system(Quiet("zipinfo " + zip).c_str()), 0) << c.Name;
    EXPECT_EQ(std::system(Quiet("7zz t" + std::string(c.Password ? " -psecret " : " ") + zip).c_str()), 0) << c.Name;
    std::string out = dir + "/" + c.Name;
    ASSERT_EQ(std::system(Quiet("unzip -o" + pw + " " + zip + " -d " + out).c_str()), 0) << c.Name;
    for (const char* f : {"a.txt", "SUB/c.bin", "late.txt", "empty.txt"}) {
      std::ifstream in(out + "/" + f, std::ios::binary);
      Bytes got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::wstring src = L"C:\\SRC\\" + SlashToBackslash(std::wstring(f, f + strlen(f)));
      EXPECT_EQ(got, b.Fs.Get(src)) << c.Name << " " << f;
    }
    if (c.Comment) {
      std::string tail(bytes.end() - 15, bytes.end());
      EXPECT_EQ(tail, "archive comment");
    }
  }
  std::system(Quiet("rm -rf " + dir).c_str());
}

TEST(ZipTools, SpannedSetsJoinWithZip) {
  char tmpl[] = "/tmp/velmo-span-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  TSpanRig rig(60000);
  ASSERT_EQ(rig.Run(), 4);
  ASSERT_GE(rig.Volumes.size(), 3u);
  for (size_t i = 0; i < rig.Volumes.size(); ++i) {
    char ext[8];
    snprintf(ext, sizeof ext, "z%02u", static_cast<unsigned>(i + 1));
    std::string name = dir + "/set." + (i + 1 == rig.Volumes.size() ? std::string("zip") : std::string(ext));
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(rig.Volumes[i].data()),
                                                static_cast<std::streamsize>(rig.Volumes[i].size()));
  }
  EXPECT_EQ(std::system(Quiet("(cd " + dir + " && zip -s 0 set.zip --out joined.zip && unzip -t joined.zip)").c_str()), 0);
  std::system(Quiet("rm -rf " + dir).c_str());
}
}  // namespace
#endif
