// The Unix formats: TAR archives made by GNU tar (GNU, ustar and pax forms) are listed and
// extracted byte for byte, names longer than 100 bytes included; ".Z" streams made by
// compress decode byte for byte at every code width; every truncation of each fixture ends
// cleanly.
#include <gtest/gtest.h>

#include <map>

#include "archive/engine/zevDelzw.h"
#include "archive/engine/zevUnGZip.h"
#include "archive/engine/zevUnTar.h"
#include "common/TestUtil.h"
#include "engine/CodecTestData.h"
#include "foundation/TextCodec.h"

using namespace codectest;

namespace {
Bytes UnixFixture(const std::string& name) {
  std::string s = ReadFileRaw(FixturePath(Utf8ToWide("unix/" + name)));
  return Bytes(s.begin(), s.end());
}

const std::string kLongDir =
    "sub/deeper/long_folder_long_folder_long_folder_long_folder_long_folder_/"
    "more_folder_more_folder_more_folder_more_folder_more_folder_";
const std::string kLongFile = kLongDir + "/in_long_folder.txt";

std::wstring OutPath(const std::string& name) {
  std::string n = name;
  for (char& c : n)
    if (c == '/') c = '\\';
  return L"C:\\OUT\\" + Utf8ToWide(n);
}

struct TTarRun {
  TMemFileSys Fs;
  TUnTar Reader{nullptr};
  std::vector<int> Errors;
  std::map<std::wstring, bool> Ends;
  explicit TTarRun(const Bytes& data) {
    Fs.Put(L"C:\\A.TAR", data);
    Reader.FileSys = &Fs;
    Reader.SetArchiveFile(L"C:\\A.TAR");
    Reader.SetArcType(atTar);
    Reader.SetExtractDir(L"C:\\OUT");
    Reader.FileSpec.Add(L"*.*");
    Reader.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int code) {
      Errors.push_back(code);
    };
    Reader.OnEnd = [this](TZipCommon*, const std::wstring& f, bool pass) { Ends[f] = pass; };
  }
};

std::vector<TTarHeader> Walk(const Bytes& data, int* rc = nullptr) {
  TBytesReadStream s(data.data(), data.size());
  std::vector<TTarHeader> list;
  int r = WalkTarHeaders(s, static_cast<int64_t>(data.size()), [&](const TTarHeader& h) {
    list.push_back(h);
    return true;
  });
  if (rc) *rc = r;
  return list;
}
}  // namespace

TEST(TarReader, ExtractsWhatGnuTarStoredInEveryForm) {
  struct TCase {
    const char* Archive;
    std::vector<std::string> Files;
  };
  std::vector<TCase> cases = {
      {"gnu.tar", {"text.txt", "one.bin", "empty.txt", "sub/noise.bin", kLongFile}},
      {"ustar.tar", {"text.txt", "one.bin", kLongFile}},
      {"pax.tar", {"text.txt", kLongFile}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Archive);
    TTarRun t(UnixFixture(c.Archive));
    t.Reader.CreateStoredDirs = true;
    EXPECT_GE(t.Reader.Extract(), static_cast<int>(c.Files.size()));
    EXPECT_TRUE(t.Errors.empty());
    for (const auto& f : c.Files) {
      SCOPED_TRACE(f);
      EXPECT_EQ(t.Fs.Get(OutPath(f)), UnixFixture("src/" + f));
      EXPECT_TRUE(t.Ends[OutPath(f)]);
      // 2021-03-04 05:06:08 local time.
      ASSERT_TRUE(t.Fs.Find(OutPath(f)));
      EXPECT_EQ(t.Fs.Find(OutPath(f))->Date, FieldsToDosDateTime(2021, 3, 4, 5, 6, 8));
    }
    EXPECT_TRUE(t.Fs.DirExists(OutPath(kLongDir)));
    // Only the members became files: no long-name or extended-header record was written.
    for (const auto& name : t.Fs.Files())
      EXPECT_EQ(name.find(L"LongLink"), std::wstring::npos) << WideToUtf8(name);
    for (const auto& name : t.Fs.Files()) EXPECT_EQ(name.find(L"PaxHeaders"), std::wstring::npos) << WideToUtf8(name);
  }
}

TEST(TarReader, WalkStopsAtABadChecksumAndNextHeaderFollowsRoundedData) {
  Bytes gnu = UnixFixture("gnu.tar");
  auto all = Walk(gnu);
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all[0].Name, "text.txt");
  EXPECT_EQ(all[1].Name, "one.bin");
  EXPECT_EQ(all[1].PackedSize, 1);
  // A one-byte member: the next header is 1024 bytes after its own.
  EXPECT_EQ(all[2].Offset, all[1].Offset + 1024);
  Bytes broken = gnu;
  broken[static_cast<size_t>(all[1].Offset) + 10] ^= 0x20;  // in one.bin's name
  auto cut = Walk(broken);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].Name, "text.txt");
}

TEST(TarReader, MemberRunningPastTheEndIsReportedNotExtracted) {
  Bytes gnu = UnixFixture("gnu.tar");
  auto all = Walk(gnu);
  Bytes cut(gnu.begin(), gnu.begin() + static_cast<std::ptrdiff_t>(all[0].DataOffset + 100));
  int rc = 0;
  EXPECT_TRUE(Walk(cut, &rc).empty());
  EXPECT_EQ(rc, zevBadFileHeader);
  TTarRun t(cut);
  EXPECT_EQ(t.Reader.Extract(), 0);
  EXPECT_FALSE(t.Fs.Find(OutPath("text.txt")));
  EXPECT_FALSE(t.Errors.empty());
}

TEST(TarReader, FoldersAreMadeOnlyWhenStoredFoldersAreCreated) {
  // The archive up to its last member (a file inside the folders), then the end blocks.
  Bytes a = UnixFixture("ustar.tar");
  auto all = Walk(a);
  ASSERT_TRUE(all.back().IsFolder == false);
  Bytes folders(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(all.back().Offset));
  folders.resize(folders.size() + 1024, 0);
  for (bool create : {false, true}) {
    TTarRun t(folders);
    t.Reader.CreateStoredDirs = create;
    t.Reader.Extract();
    EXPECT_TRUE(t.Errors.empty());
    EXPECT_EQ(t.Fs.DirExists(OutPath(kLongDir)), create);
  }
}

TEST(TarReader, TestingWritesNothingAndEveryTruncationEndsCleanly) {
  Bytes gnu = UnixFixture("gnu.tar");
  {
    TTarRun t(gnu);
    EXPECT_GE(t.Reader.ExtractMode7(), 5);
    EXPECT_TRUE(t.Errors.empty());
    EXPECT_FALSE(t.Fs.Find(OutPath("text.txt")));
  }
  for (const char* name : {"gnu.tar", "ustar.tar", "pax.tar"}) {
    Bytes a = UnixFixture(name);
    for (size_t n = 0; n < a.size(); n += (n < 2048 ? 1 : 97)) {
      TTarRun t(Bytes(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n)));
      t.Reader.ExtractMode7();
      for (const auto& [f, pass] : t.Ends) EXPECT_TRUE(pass) << n;
    }
  }
}

TEST(CompressZ, DecodesWhatCompressMadeAtEveryWidth) {
  struct TCase {
    const char* Packed;
    const char* Plain;
  };
  for (auto c : {TCase{"text.txt.Z", "src/text.txt"}, TCase{"text10.Z", "src/text.txt"},
                 TCase{"noise12.Z", "src/sub/noise.bin"}, TCase{"gnu.tar.Z", "gnu.tar"}}) {
    SCOPED_TRACE(c.Packed);
    Bytes out;
    EXPECT_EQ(DecodeBytes(UnixFixture(c.Packed), out, UnCompressZ), 0);
    EXPECT_EQ(out, UnixFixture(c.Plain));
  }
  Bytes out;
  EXPECT_EQ(DecodeBytes(UnixFixture("empty.Z"), out, UnCompressZ), 0);
  EXPECT_TRUE(out.empty());
}

TEST(CompressZ, RefusesBadHeadersAndSurvivesEveryTruncation) {
  Bytes z = UnixFixture("text10.Z");
  Bytes out;
  for (uint8_t flags : {0x88, 0x91, 0x80, 0x00, 0xB0, 0xD0, 0x9F}) {
    Bytes bad = z;
    bad[2] = flags;
    EXPECT_EQ(DecodeBytes(bad, out, UnCompressZ), zevIncompleteCodeSet) << int(flags);
  }
  EXPECT_EQ(DecodeBytes(Bytes{0x1F, 0x9D}, out, UnCompressZ), zevReadError);
  Bytes full;
  ASSERT_EQ(DecodeBytes(z, full, UnCompressZ), 0);
  for (size_t n = 0; n < z.size(); ++n) {
    Bytes part(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(n));
    int r = DecodeBytes(part, out, UnCompressZ);
    // Whatever a cut stream gives is the start of the whole.
    ASSERT_LE(out.size(), full.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), full.begin())) << n << " " << r;
  }
}

// Without block mode code 256 is an ordinary string: a stream written that way (the first
// free code 256) decodes, and the same codes read in block mode do not give the same bytes.
TEST(CompressZ, StreamWithoutBlockModeStartsItsCodesAt256) {
  // Codes (9 bits, LSB first): 'a', 'b', 256 ("ab"), 258 ("ba"... built as codes come).
  std::vector<unsigned> codes = {'a', 'b', 256, 258};
  Bytes z = {0x1F, 0x9D, 0x10};  // 16 bits, no block mode
  uint32_t acc = 0;
  int bits = 0;
  for (unsigned c : codes) {
    acc |= c << bits;
    bits += 9;
    while (bits >= 8) {
      z.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits) z.push_back(static_cast<uint8_t>(acc));
  Bytes out;
  ASSERT_EQ(DecodeBytes(z, out, UnCompressZ), 0);
  // 256 = "ab", 257 = "ba", 258 = "ab" + "a" = "aba" (the string being built).
  EXPECT_EQ(std::string(out.begin(), out.end()), "abababa");
}

// ---- GZIP ----

namespace {
struct TGzRun {
  TMemFileSys Fs;
  TUnGZip Reader{nullptr};
  std::vector<int> Errors;
  std::map<std::wstring, bool> Ends;
  TGzRun(const std::wstring& archive, const Bytes& data) {
    Fs.Put(archive, data);
    Reader.FileSys = &Fs;
    Reader.SetArchiveFile(archive);
    Reader.SetArcType(atGZip);
    Reader.SetExtractDir(L"C:\\OUT");
    Reader.SetTempDir(L"T:\\TEMP");
    Reader.FileSpec.Add(L"*.*");
    Reader.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int code) {
      Errors.push_back(code);
    };
    Reader.OnEnd = [this](TZipCommon*, const std::wstring& f, bool pass) { Ends[f] = pass; };
  }
};

// A GZIP header with the given flags and fields before the deflate data and trailer of base.
Bytes WithHeader(const Bytes& base, uint8_t flags, const Bytes& fields) {
  TBytesReadStream s(base.data(), base.size());
  TGzHeader h;
  EXPECT_EQ(ReadGzHeader(s, static_cast<int64_t>(base.size()), h), 0);
  Bytes out(base.begin(), base.begin() + 10);
  out[3] = flags;
  out.insert(out.end(), fields.begin(), fields.end());
  out.insert(out.end(), base.begin() + static_cast<std::ptrdiff_t>(h.DataOffset), base.end());
  return out;
}
}  // namespace

TEST(GZipReader, OutputNames) {
  EXPECT_EQ(GzOutputName("a.tgz", "x.gz", false), "a.tar");
  EXPECT_EQ(GzOutputName("A.TGZ", "x.gz", false), "A.tar");
  EXPECT_EQ(GzOutputName("readme", "r.gz", true), "readme.txt");
  EXPECT_EQ(GzOutputName("a.gz", "a.gz", false), "a");
  EXPECT_EQ(GzOutputName("gnu.tar", "gnu.tar.Z", false), "gnu.tar");
  EXPECT_EQ(GzOutputName("text.txt.Z", "text.txt.Z", false), "text.txt");
  EXPECT_EQ(GzOutputName("a", "a.tgz", false), "a");
}

TEST(GZipReader, AFat16VolumeGetsOneDotInANameAndOthersNone) {
  EXPECT_EQ(Fat16Name("my.data.backup.txt"), "my_data_backup.txt");
  EXPECT_EQ(Fat16Name("dir.d/a.b.c"), "dir.d/a_b.c");
  EXPECT_EQ(Fat16Name("plain"), "plain");
  struct {
    const wchar_t* Fs;
    const wchar_t* Out;
  } cases[] = {{L"FAT16", L"C:\\OUT\\x_y_z.txt"}, {L"NTFS", L"C:\\OUT\\x.y.z.txt"}};
  for (const auto& c : cases) {
    TGzRun t(L"C:\\x.y.z.txt.Z", UnixFixture("text.txt.Z"));
    t.Fs.Volume.FileSystem = c.Fs;
    EXPECT_EQ(t.Reader.Extract(), 1);
    EXPECT_EQ(t.Fs.Get(c.Out), UnixFixture("src/text.txt")) << WideToUtf8(c.Fs);
  }
}

TEST(GZipReader, ExtractsWhatGzipAndCompressMade) {
  struct TCase {
    const wchar_t* Archive;
    const char* Fixture;
    const wchar_t* Out;
    const char* Plain;
  };
  for (auto c : {TCase{L"C:\\TEXT.TXT.GZ", "text.txt.gz", L"C:\\OUT\\text.txt", "src/text.txt"},
                 TCase{L"C:\\ONE.GZ", "one.gz", L"C:\\OUT\\ONE", "src/one.bin"},
                 TCase{L"C:\\GNU.TGZ", "gnu.tgz", L"C:\\OUT\\GNU", "gnu.tar"},
                 TCase{L"C:\\text.txt.Z", "text.txt.Z", L"C:\\OUT\\text.txt", "src/text.txt"},
                 TCase{L"C:\\gnu.tar.Z", "gnu.tar.Z", L"C:\\OUT\\gnu.tar", "gnu.tar"},
                 TCase{L"C:\\empty.Z", "empty.Z", L"C:\\OUT\\empty", nullptr}}) {
    SCOPED_TRACE(WideToUtf8(c.Archive));
    TGzRun t(c.Archive, UnixFixture(c.Fixture));
    EXPECT_EQ(t.Reader.Extract(), 1);
    EXPECT_TRUE(t.Errors.empty());
    EXPECT_EQ(t.Fs.Get(c.Out), c.Plain ? UnixFixture(c.Plain) : Bytes());
    EXPECT_TRUE(t.Ends[c.Out]);
  }
  // The stored modification time dates the output.
  TGzRun t(L"C:\\T.GZ", UnixFixture("text.txt.gz"));
  t.Reader.Extract();
  ASSERT_TRUE(t.Fs.Find(L"C:\\OUT\\text.txt"));
  EXPECT_EQ(t.Fs.Find(L"C:\\OUT\\text.txt")->Date, FieldsToDosDateTime(2021, 3, 4, 5, 6, 8));
}

// A GZIP or ".Z" member is unpacked straight into the TAR walk: no TAR is left, and no file of
// the user's is touched.
TEST(GZipReader, NestedTarIsExtractedAndNoTarIsLeftBehind) {
  for (const char* fixture : {"gnu.tgz", "gnu.tar.Z"}) {
    SCOPED_TRACE(fixture);
    TGzRun t(L"C:\\IN\\" + Utf8ToWide(fixture), UnixFixture(fixture));
    // A user's file of the same name in the target folder stays as it was.
    t.Fs.Put(L"C:\\OUT\\gnu.tar", std::string("mine"));
    t.Fs.Put(L"C:\\OUT\\GNU", std::string("mine"));
    std::wstring asked;
    t.Reader.OnNestedTarFile = [&](TZipCommon*, const std::wstring& f, bool& doUnTar) {
      asked = f;
      doUnTar = true;
    };
    std::wstring changed;
    t.Reader.OnChangeArchive = [&](TZipCommon*, const std::wstring& a, TArcType type) {
      changed = a;
      EXPECT_EQ(type, atTar);
    };
    // The TAR's five files and four folders.
    EXPECT_EQ(t.Reader.Extract(), 9);
    EXPECT_FALSE(asked.empty());
    EXPECT_TRUE(t.Errors.empty());
    EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\text.txt"), UnixFixture("src/text.txt"));
    EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\sub\\noise.bin"), UnixFixture("src/sub/noise.bin"));
    EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\gnu.tar"), Bytes({'m', 'i', 'n', 'e'}));
    EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\GNU"), Bytes({'m', 'i', 'n', 'e'}));
    EXPECT_FALSE(changed.empty());
    EXPECT_FALSE(t.Fs.Find(changed));
    for (const auto& name : t.Fs.Files()) EXPECT_NE(name.rfind(L"C:\\", 0), std::wstring::npos) << WideToUtf8(name);
    EXPECT_EQ(changed, asked);
  }
}

// The member is checked as it is unpacked into the TAR walk. A file that the TAR replaces is
// put in place only once the whole member has checked out; a member that turns out damaged
// takes back every file it gave, reports each, and leaves the replaced file as it was.
TEST(GZipReader, NestedTarFromADamagedMemberLeavesNothingLookingGood) {
  Bytes good = UnixFixture("gnu.tgz");
  struct TCase {
    const char* What;
    size_t At;  // from the end; 0: the member is sound
  };
  for (auto c : {TCase{"sound", 0}, TCase{"trailer CRC", 8}, TCase{"trailer size", 3}, TCase{"data", 40}}) {
    SCOPED_TRACE(c.What);
    Bytes gz = good;
    if (c.At) gz[gz.size() - c.At] ^= 0x55;
    TGzRun t(L"C:\\IN\\gnu.tgz", gz);
    t.Fs.Put(L"C:\\OUT\\text.txt", std::string("mine"));
    t.Reader.ConfirmOverwrites = false;
    t.Reader.OverwriteMode = omOverwrite;
    t.Reader.OnNestedTarFile = [](TZipCommon*, const std::wstring&, bool& doUnTar) { doUnTar = true; };
    int passes = 0, fails = 0;
    t.Reader.OnEnd = [&](TZipCommon*, const std::wstring&, bool pass) { ++(pass ? passes : fails); };
    int count = t.Reader.Extract();
    if (c.At == 0) {
      EXPECT_EQ(count, 9);
      EXPECT_EQ(passes, 5);
      EXPECT_EQ(fails, 0);
      EXPECT_TRUE(t.Errors.empty());
      EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\text.txt"), UnixFixture("src/text.txt"));
      ASSERT_TRUE(t.Fs.Find(L"C:\\OUT\\text.txt"));
      EXPECT_EQ(t.Fs.Find(L"C:\\OUT\\text.txt")->Date, FieldsToDosDateTime(2021, 3, 4, 5, 6, 8));
    } else {
      EXPECT_EQ(passes, 0);
      EXPECT_GT(fails, 0);
      EXPECT_FALSE(t.Errors.empty());
      EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\text.txt"), Bytes({'m', 'i', 'n', 'e'}));
      EXPECT_FALSE(t.Fs.Find(L"C:\\OUT\\sub\\noise.bin"));
    }
    // Nothing staged is left beside the files.
    for (const auto& name : t.Fs.Files())
      EXPECT_TRUE(name == L"C:\\IN\\gnu.tgz" || name.rfind(L"C:\\OUT\\", 0) == 0) << WideToUtf8(name);
    size_t files = t.Fs.Files().size();
    EXPECT_EQ(files, c.At == 0 ? 6u : 2u);
  }
}

TEST(GZipReader, HeaderFieldsAreSteppedOverAndOnlyTheFilePartOfTheNameIsUsed) {
  Bytes base = UnixFixture("one.gz");
  Bytes fields = {4, 0, 'a', 'b', 'c', 'd'};  // extra field
  for (char c : std::string("../../evil/x.txt")) fields.push_back(static_cast<uint8_t>(c));
  fields.push_back(0);
  for (char c : std::string("a comment")) fields.push_back(static_cast<uint8_t>(c));
  fields.push_back(0);
  TGzRun t(L"C:\\A.GZ", WithHeader(base, 0x04 | 0x08 | 0x10, fields));
  EXPECT_EQ(t.Reader.Extract(), 1);
  EXPECT_TRUE(t.Errors.empty());
  EXPECT_EQ(t.Fs.Get(L"C:\\OUT\\x.txt"), UnixFixture("src/one.bin"));
  // A text member gets ".txt".
  Bytes name = {'r', 'e', 'a', 'd', 'm', 'e', 0};
  TGzRun text(L"C:\\R.GZ", WithHeader(base, 0x01 | 0x08, name));
  text.Reader.Extract();
  EXPECT_EQ(text.Fs.Get(L"C:\\OUT\\readme.txt"), UnixFixture("src/one.bin"));
}

TEST(GZipReader, DamageAndUnsupportedMembersFailClearly) {
  Bytes gz = UnixFixture("text.txt.gz");
  struct TCase {
    const char* What;
    size_t At;
    uint8_t Xor;
    int Error;
  };
  for (auto c : {TCase{"data", 200, 0x10, 0}, TCase{"crc", gz.size() - 7, 1, zevCrcError},
                 TCase{"size", gz.size() - 3, 1, zevCrcError}, TCase{"multi-part", 3, 0x02, zevMultiPartGzip},
                 TCase{"encrypted", 3, 0x20, zevPasswordProtected}, TCase{"method", 2, 0x01, zevUnsupportedMethod},
                 TCase{"pack signature", 1, 0x8B ^ 0x1E, zevUnsupportedMethod}}) {
    SCOPED_TRACE(c.What);
    Bytes bad = gz;
    bad[c.At] ^= c.Xor;
    TGzRun t(L"C:\\T.GZ", bad);
    t.Reader.Extract();
    EXPECT_FALSE(t.Errors.empty());
    if (c.Error) {
      EXPECT_EQ(std::count(t.Errors.begin(), t.Errors.end(), c.Error), 1);
    }
    EXPECT_FALSE(t.Ends[L"C:\\OUT\\text.txt"]);
    // Nothing half-decoded is left behind.
    if (c.Error == zevCrcError || c.At == 200) {
      EXPECT_FALSE(t.Fs.Find(L"C:\\OUT\\text.txt"));
    }
  }
  // A code width outside 9..16 is refused.
  Bytes z = UnixFixture("text.txt.Z");
  z[2] = 0x91;
  TGzRun t(L"C:\\T.Z", z);
  t.Reader.Extract();
  EXPECT_EQ(std::count(t.Errors.begin(), t.Errors.end(), zevIncompleteCodeSet), 1);
}

TEST(GZipReader, EveryTruncationEndsWithoutAPass) {
  for (const char* name : {"text.txt.gz", "gnu.tgz", "text.txt.Z", "gnu.tar.Z"}) {
    Bytes a = UnixFixture(name);
    bool z = a[1] == 0x9D;
    for (size_t n = 0; n + 1 < a.size(); n += (n < 600 ? 1 : 211)) {
      TGzRun t(L"C:\\T.GZ", Bytes(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n)));
      t.Reader.OnNestedTarFile = [](TZipCommon*, const std::wstring&, bool& doUnTar) { doUnTar = true; };
      t.Reader.Extract();
      // A cut .Z stream carries no check: it may give the start of the data, never more.
      if (!z) {
        for (const auto& [f, pass] : t.Ends) EXPECT_FALSE(pass) << name << " " << n;
      }
    }
  }
}
