// The engine's component base, reader base, type detection and file scanner, in memory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevDetect.h"
#include "archive/engine/zevFileScan.h"

namespace {
using Bytes = std::vector<uint8_t>;

struct TErrors {
  std::vector<int> Codes;
  std::vector<std::wstring> Names, Ext;
  void Attach(TZipCommon& c) {
    c.OnError = [this](TZipCommon*, const std::wstring& f, const std::wstring& e, const std::wstring&, int code) {
      Codes.push_back(code);
      Names.push_back(f);
      Ext.push_back(e);
    };
  }
};

// A reader whose format loop is given by the test.
class TTestReader : public TUnBase {
 public:
  explicit TTestReader(TzevFileSys& fs) : TUnBase(nullptr) { FileSys = &fs; }
  std::function<void(TStream32*)> Loop;
  std::function<bool(uint8_t*)> Check;
  bool CheckPassword(uint8_t* h) override { return Check ? Check(h) : false; }

 protected:
  void ExtractArchive(TStream32* a) override {
    if (Loop) Loop(a);
  }
};

TEST(EngineBase, SafeNamesNeverLeaveTheTarget) {
  struct {
    const wchar_t* Stored;
    const wchar_t* Safe;
  } cases[] = {
      {L"a/b/c.txt", L"a\\b\\c.txt"},
      {L"../../evil.txt", L"evil.txt"},
      {L"a/../../b.txt", L"a\\b.txt"},
      {L"C:\\Windows\\x.dll", L"Windows\\x.dll"},
      {L"\\\\server\\share\\f.txt", L"server\\share\\f.txt"},
      {L"/abs/root.txt", L"abs\\root.txt"},
      {L"./././f", L"f"},
      {L"a:b?c*d.txt", L"b_c_d.txt"},
      {L"x/a:b?c*d.txt", L"x\\a_b_c_d.txt"},
      {L"d\x01x.txt", L"d_x.txt"},
      {L".. /x", L"x"},
      {L"..", L""},
      {L"/", L""},
      {L"C:", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(TZipCommon::SafeRelativeName(c.Stored), c.Safe) << c.Stored;
}

TEST(EngineBase, EntryNameJoinsTheExtractFolderOrReportsAnInvalidName) {
  TMemFileSys fs;
  TTestReader r(fs);
  TErrors errs;
  errs.Attach(r);
  r.SetExtractDir(L"c:/out");
  EXPECT_EQ(r.ExtractDir(), L"c:\\out\\");
  EXPECT_TRUE(r.SetEntryName(L"../docs/a.txt"));
  EXPECT_EQ(r.EntryName, L"c:\\out\\docs\\a.txt");
  r.UseStoredDirs = false;
  EXPECT_TRUE(r.SetEntryName(L"docs/sub/a.txt"));
  EXPECT_EQ(r.EntryName, L"c:\\out\\a.txt");
  EXPECT_FALSE(r.SetEntryName(L"../.."));
  ASSERT_EQ(errs.Codes.size(), 1u);
  EXPECT_EQ(errs.Codes[0], zevInvalidFileName);
}

TEST(EngineBase, VolumeNames) {
  TMemFileSys fs;
  fs.Put(L"D:\\A\\SET.ARJ", std::string("\x60\xEA") + std::string(40, 'x'));
  fs.Put(L"D:\\A\\SET.rar", std::string("Rar!\x1A\x07") + std::string(40, 'x'));
  fs.Put(L"D:\\A\\SET.r05", std::string("Rar!\x1A\x07") + std::string(40, 'x'));
  TTestReader arj(fs);
  arj.SetArchiveFile(L"D:\\A\\SET.ARJ");
  ASSERT_EQ(arj.ArcType(), atArj);
  EXPECT_EQ(arj.VolumeNumber, 1);
  struct {
    int N;
    const wchar_t* Name;
  } arjCases[] = {{1, L"D:\\A\\SET.a01"}, {12, L"D:\\A\\SET.a12"}, {150, L"D:\\A\\SET.150"}, {-1, L""}};
  for (const auto& c : arjCases) EXPECT_EQ(arj.GetVolumeName(L"D:\\A\\SET.ARJ", c.N), c.Name) << c.N;
  EXPECT_EQ(arj.GetVolumeName(L"", 1), L"");

  TTestReader rar(fs);
  rar.SetArchiveFile(L"D:\\A\\SET.rar");
  ASSERT_EQ(rar.ArcType(), atRar);
  EXPECT_EQ(rar.VolumeNumber, 0);
  EXPECT_EQ(rar.GetVolumeName(L"D:\\A\\SET.rar", 0), L"D:\\A\\SET.r00");
  // Volume 100 moves to the next letter; asking again gives the same name.
  EXPECT_EQ(rar.GetVolumeName(L"D:\\A\\SET.rar", 100), L"D:\\A\\SET.s00");
  EXPECT_EQ(rar.GetVolumeName(L"D:\\A\\SET.rar", 100), L"D:\\A\\SET.s00");
  EXPECT_EQ(rar.GetVolumeName(L"D:\\A\\SET.rar", 5), L"D:\\A\\SET.r05");
  TTestReader rar5(fs);
  rar5.SetArchiveFile(L"D:\\A\\SET.r05");
  EXPECT_EQ(rar5.VolumeNumber, 6);
  EXPECT_EQ(rar5.VolumeLetter, L'r');
}

TEST(EngineBase, PropertiesAndCancel) {
  TMemFileSys fs;
  TTestReader r(fs);
  r.SetZipCmntBufSize(100);
  EXPECT_EQ(r.ZipCmntBufSize(), 2000u);
  r.SetZipCmntBufSize(40000);
  EXPECT_EQ(r.ZipCmntBufSize(), 32767u);
  TErrors errs;
  errs.Attach(r);
  r.EntryName = L"entry.txt";
  r.SetCancel(true);
  ASSERT_EQ(errs.Codes.size(), 1u);
  EXPECT_EQ(errs.Codes[0], zevUserCanceled);
  EXPECT_EQ(errs.Ext[0], L"entry.txt");
  EXPECT_THROW(r.RaiseError(L"x", L"", L"0", zevBadBlock), E_RAISE);
  EXPECT_EQ(errs.Codes.back(), zevUserCanceled);
}

TEST(EngineBase, WriterAndReaderSpecMatching) {
  TMemFileSys fs;
  TTestReader r(fs);
  // The common (writer) form.
  r.FileSpec.Add(L"*.");
  EXPECT_TRUE(r.TZipCommon::MatchesSpec(L"README"));
  r.FileSpec.Clear();
  r.FileSpec.Add(L"a.txt");
  r.ExcludeSpec.Add(L"*.txt");
  EXPECT_FALSE(r.TZipCommon::MatchesSpec(L"A.TXT"));
  r.ExcludeSpec.Clear();
  EXPECT_TRUE(r.TZipCommon::MatchesSpec(L"A.TXT"));
  // The reader form.
  r.FileSpec.Clear();
  r.FileSpec.Add(L"DOCS\\*.TXT");
  r.RecurseDirs = false;
  EXPECT_FALSE(r.MatchesSpec(L"DOCS\\SUB\\A.TXT"));
  EXPECT_TRUE(r.MatchesSpec(L"docs/b.txt"));
  r.RecurseDirs = true;
  EXPECT_TRUE(r.MatchesSpec(L"DOCS\\SUB\\A.TXT"));
  r.FileSpec.Clear();
  r.FileSpec.Add(L"*.*");
  EXPECT_TRUE(r.MatchesSpec(L"README"));
}

TEST(EngineMasks, Table) {
  struct {
    const wchar_t* Name;
    const wchar_t* Pattern;
    bool Match;
  } cases[] = {
      {L"readme", L"*", true},       {L"readme", L"*.", true},      {L"read.me", L"*.", false},
      {L"a", L"a?", false},          {L"ab", L"a?", true},          {L"a", L"a*?", true},
      {L"abc.TXT", L"*.txt", true},  {L"x.txt.bak", L"*.txt", false}, {L"aXbXc", L"a*b*c", true},
      {L"aXbXd", L"a*b*c", false},   {L"", L"*", true},             {L"", L"?", false},
      {L"mississippi", L"*sip*", true}, {L"abcabd", L"*abd", true},  {L"AbC", L"abc", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchMaskText(c.Name, c.Pattern), c.Match) << c.Name << " " << c.Pattern;
}

TEST(EngineMasks, HostilePatternStaysFast) {
  std::wstring name(20000, L'a');
  std::wstring pattern;
  for (int i = 0; i < 200; ++i) pattern += L"*a";
  pattern += L"b";
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(MatchMaskText(name, pattern));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 5.0);
}

TEST(EngineIo, AsciiTranslationCountsTheBytesGiven) {
  TMemFileSys fs;
  TTestReader r(fs);
  TMemoryStream32 out;
  r.OutputMode = 2;
  r.AsciiTranslation = true;
  const char in[] = {'a', '\n', 'b', '\r', '\n'};
  EXPECT_EQ(r.WriteBuf(&out, in, false, 5, 0), 5);
  ASSERT_EQ(out.GetSize(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.Memory()), 6), "a\r\nb\r\n");
}

TEST(EngineIo, MemoryModesKeepToTheirBuffers) {
  TMemFileSys fs;
  TTestReader r(fs);
  uint8_t src[4] = {1, 2, 3, 4};
  uint8_t buf[8]{};
  r.InputMode = 4;
  r.InMemory = src;
  r.InMemoryLeft = 4;
  EXPECT_EQ(r.ReadBuf(nullptr, buf, 8, 0, false), 4);
  EXPECT_EQ(r.ReadBuf(nullptr, buf, 8, 0, false), 0);
  uint8_t dst[3]{};
  r.OutputMode = 4;
  r.OutMemory = dst;
  r.OutMemoryLeft = 3;
  EXPECT_EQ(r.WriteBuf(nullptr, src, false, 2, 0), 2);
  try {
    r.WriteBuf(nullptr, src, false, 2, 0);
    FAIL() << "a write beyond the buffer must fail";
  } catch (const E_RAISE& e) {
    EXPECT_EQ(e.ECode, zevWriteError);
  }
  r.OutputMode = 5;
  EXPECT_EQ(r.WriteBuf(nullptr, src, false, 4, 0), 4);
}

TEST(EngineDetect, Signatures) {
  struct {
    const char* Bytes;
    bool Plain;
    TArcType Type;
  } cases[] = {
      {"BH\x05\x07", true, atBh},     {"Rar!", false, atRarExe},       {"MSCF", true, atCab},
      {"MSCF", false, atUnsupported}, {"\x1F\x8B\x08\x00", true, atGZip}, {"xx-l", true, atLha},
      {"PK\x03\x04", true, atZip},    {"PK\x03\x04", false, atZipExe},  {"PK\x07\x08", true, atZipMV},
      {"PL\x03\x04", true, atZip},    {"PKG4", true, atNA},            {"ZOO ", true, atZoo},
      {"\x60\xEA\x00\x00", true, atArj}, {"\x1A\x0A\x00\x00", true, atPak}, {"abcd", true, atNA},
  };
  for (const auto& c : cases) {
    int64_t start = 1;
    EXPECT_EQ(ClassifySignature(c.Plain, reinterpret_cast<const uint8_t*>(c.Bytes), start), c.Type) << c.Bytes;
  }
}

Bytes Zip1() {
  // A stored one-entry ZIP of "a.txt" = "hello".
  Bytes z;
  auto put = [&](std::initializer_list<int> b) {
    for (int x : b) z.push_back(static_cast<uint8_t>(x));
  };
  put({'P', 'K', 3, 4, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x86, 0xA6, 0x10, 0x36, 5, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0});
  put({'a', '.', 't', 'x', 't', 'h', 'e', 'l', 'l', 'o'});
  size_t cd = z.size();
  put({'P', 'K', 1, 2, 20, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x86, 0xA6, 0x10, 0x36, 5, 0, 0, 0, 5, 0, 0, 0, 5, 0,
       0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  put({'a', '.', 't', 'x', 't'});
  size_t cdSize = z.size() - cd;
  put({'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0, 1, 0, static_cast<int>(cdSize), 0, 0, 0, static_cast<int>(cd), 0, 0, 0, 0,
       0});
  return z;
}

TArcType DetectBytes(const Bytes& b, const wchar_t* name, TDetectResult* out = nullptr) {
  TMemFileSys fs;
  fs.Put(name, b);
  auto s = fs.OpenRead(name);
  TDetectResult r;
  DetectArchive(*s, name, r);
  if (out) *out = r;
  return r.Type;
}

TEST(EngineDetect, Files) {
  EXPECT_EQ(DetectBytes(Bytes(19, 'P'), L"x.zip"), atNA);
  TDetectResult r;
  EXPECT_EQ(DetectBytes(Zip1(), L"X.ZIP", &r), atZip);
  EXPECT_EQ(r.ZipFound, htLocal | htCentral | htEnding);
  EXPECT_EQ(DetectBytes(Zip1(), L"X.JAR"), atJar);
  // Leading zeros before a local header and no end record.
  Bytes z(7, 0);
  Bytes body = Zip1();
  z.insert(z.end(), body.begin(), body.begin() + 40);
  EXPECT_EQ(DetectBytes(z, L"x.zip", &r), atZip);
  EXPECT_EQ(r.StartOffset, 7);
  Bytes mv = {'P', 'K', 7, 8};
  mv.insert(mv.end(), body.begin(), body.end());
  EXPECT_EQ(DetectBytes(mv, L"x.zip"), atZipMV);
  // An executable with a ZIP at 25661.
  Bytes exe(25661, 0);
  exe[0] = 'M';
  exe[1] = 'Z';
  exe.insert(exe.end(), body.begin(), body.end());
  EXPECT_EQ(DetectBytes(exe, L"x.exe", &r), atZipExe);
  EXPECT_EQ(r.StartOffset, 25661);
  // A TAR whose first header is a volume header.
  Bytes tar(2048, 0);
  auto header = [&](size_t at, char type) {
    std::memcpy(&tar[at], "name", 4);
    tar[at + 156] = static_cast<uint8_t>(type);
    std::memset(&tar[at + 148], ' ', 8);
    uint32_t sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += tar[at + i];
    char oct[8];
    snprintf(oct, sizeof oct, "%06o", sum);
    std::memcpy(&tar[at + 148], oct, 7);
  };
  header(0, 'V');
  tar[148] = '9';  // the volume header's own checksum does not matter
  header(512, '0');
  EXPECT_EQ(DetectBytes(tar, L"x.tar", &r), atTar);
  EXPECT_EQ(r.StartOffset, 513);
}

TEST(EngineDetect, EveryTruncationIsSafe) {
  Bytes z = Zip1();
  for (size_t n = 0; n <= z.size(); ++n) DetectBytes(Bytes(z.begin(), z.begin() + static_cast<long>(n)), L"t.zip");
  // A damaged end record pointing far outside the file.
  Bytes d = z;
  d[d.size() - 6] = 0xFF;
  d[d.size() - 5] = 0xFF;
  EXPECT_NE(DetectBytes(d, L"t.zip"), atUnsupported);
}

TEST(EngineReader, EmptyArchiveNameReportsNotFound) {
  TMemFileSys fs;
  TTestReader r(fs);
  TErrors errs;
  errs.Attach(r);
  EXPECT_EQ(r.Extract(), 0);
  ASSERT_FALSE(errs.Codes.empty());
  EXPECT_EQ(errs.Codes[0], zevFileNotFound);
}

TEST(EngineReader, OverwriteQuestionCanRenameAndCrcIsAlwaysReported) {
  TMemFileSys fs;
  fs.Put(L"C:\\A.ZIP", Zip1());
  fs.Put(L"C:\\OUT\\A.TXT", std::string("old"));
  TTestReader r(fs);
  r.SetArchiveFile(L"C:\\A.ZIP");
  r.SetExtractDir(L"C:\\OUT");
  r.ConfirmOverwrites = true;
  r.OnFileExists = [](TZipCommon*, const std::wstring&, std::wstring& newName, TOverwriteMode&) {
    newName = L"C:\\OUT\\B.TXT";
  };
  std::vector<bool> ends;
  r.OnEnd = [&](TZipCommon*, const std::wstring&, bool pass) { ends.push_back(pass); };
  TErrors errs;
  errs.Attach(r);
  std::wstring written;
  r.Loop = [&](TStream32*) {
    ASSERT_TRUE(r.SetEntryName(L"A.TXT"));
    ASSERT_TRUE(r.DoBeginEntry(false));
    written = r.EntryName;
    std::unique_ptr<TStream32> out;
    ASSERT_TRUE(r.OpenOutput(out, L"A.TXT", r.EntryName));
    Crc32Register = 0xFFFFFFFF;
    r.WriteBuf(out.get(), "new", true, 3, 32);
    r.CloseOutputFile(out, 0x27 | 0x10 | 0x100, 0x21000000, r.EntryName);
    uint32_t crc = Crc32Register ^ 0xFFFFFFFF;
    EXPECT_TRUE(r.CheckCRC(32, crc));
    EXPECT_TRUE(r.CheckCRC(32, crc ^ 0xFFFFFFFF));  // the unfinished form passes too
    EXPECT_FALSE(r.CheckCRC(32, crc + 1));
  };
  EXPECT_EQ(r.Extract(), 1);
  EXPECT_EQ(written, L"C:\\OUT\\B.TXT");
  EXPECT_EQ(fs.Get(L"C:\\OUT\\B.TXT"), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(fs.Get(L"C:\\OUT\\A.TXT"), (Bytes{'o', 'l', 'd'}));
  // Only the four restorable attributes are set.
  EXPECT_EQ(fs.Find(L"C:\\OUT\\B.TXT")->Attr, 0x27u);
  EXPECT_EQ(ends, (std::vector<bool>{true, true, false}));
  ASSERT_EQ(errs.Codes.size(), 1u);
  EXPECT_EQ(errs.Codes[0], zevCrcError);
}

TEST(EngineReader, PasswordSearch) {
  TMemFileSys fs;
  fs.Put(L"C:\\A.ZIP", Zip1());
  TTestReader r(fs);
  r.SetArchiveFile(L"C:\\A.ZIP");
  r.Check = [&](uint8_t*) { return r.Password == L"right"; };
  TErrors errs;
  errs.Attach(r);
  bool found = true;
  r.Loop = [&](TStream32* a) {
    a->Seek(0, soFromBeginning);
    found = r.GetEntryPassword(a);
  };
  int asked = 0;
  r.OnGetPassword = [&](TZipCommon*, const std::wstring&, std::wstring&, bool& again) {
    ++asked;
    again = false;
  };
  r.Extract();
  EXPECT_FALSE(found);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(errs.Codes, std::vector<int>{zevInvalidPassword});
  // From the list, then by asking.
  r.Passwords.Add(L"wrong");
  r.Passwords.Add(L"right");
  r.Extract();
  EXPECT_TRUE(found);
  r.Passwords.Clear();
  r.OnGetPassword = [&](TZipCommon*, const std::wstring&, std::wstring& pw, bool&) { pw = L"right"; };
  r.Extract();
  EXPECT_TRUE(found);
  ASSERT_EQ(r.Passwords.Count(), 1);
  EXPECT_EQ(r.Passwords[0], L"right");
}

TEST(EngineDisk, LabelsAndTimer) {
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel(L"PKBACK# 003"), 3u);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel(L"PKBACK# 0A"), 0u);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel(L"DATA"), 0u);
  EXPECT_EQ(TDiskManager::DriveOf(L"\\\\srv\\pub\\doc\\a.txt"), L"\\\\srv\\pub");
  EXPECT_EQ(TDiskManager::DriveOf(L"d:\\x"), L"d:");
  TMemFileSys fs;
  fs.Current = L"E:\\WORK\\";
  TzevFileSys* p = &fs;
  TDiskManager dm(p);
  EXPECT_TRUE(dm.CheckDrive(L"relative\\a.zip"));
  EXPECT_EQ(dm.Drive, L"E:");
  EXPECT_EQ(dm.SerialText, L"1234ABCD");
  TzevTimer t;
  EXPECT_EQ(t.ElapsedSeconds(), 0.0f);
}

TEST(EngineTempDir, MissingFolderIsOfferedForCreation) {
  TMemFileSys fs;
  fs.ForceDirs(L"T:\\TEMP");
  TTestReader r(fs);
  fs.Answers = {0};
  r.SetTempDir(L"X:\\NEW\\TMP");
  EXPECT_EQ(r.GetTempDir(), L"X:\\NEW\\TMP\\");
  ASSERT_EQ(fs.Asked.size(), 1u);
  EXPECT_NE(fs.Asked[0].find(L"Directory does not exist... Create?"), std::wstring::npos);
  fs.Answers = {1};
  r.SetTempDir(L"Y:\\NO");
  EXPECT_EQ(r.GetTempDir(), L"T:\\TEMP\\");
}

// ---- The scanner ----

struct TScanTree {
  TMemFileSys Fs;
  TScanTree() {
    Fs.Put(L"C:\\SRC\\a.txt", std::string("a"));
    Fs.Put(L"C:\\SRC\\b.doc", std::string("bb"));
    Fs.Put(L"C:\\SRC\\noext", std::string("c"));
    Fs.Put(L"C:\\SRC\\plain.txt", std::string("p"), 0);
    Fs.Put(L"C:\\SRC\\ro.txt", std::string("r"), kAttrReadOnly | kAttrArchive);
    Fs.Put(L"C:\\SRC\\SUB\\c.txt", std::string("ccc"));
    Fs.Put(L"C:\\SRC\\HID\\h.txt", std::string("h"));
  }
};

class THiddenFs : public TMemFileSys {
 public:
  bool ListFolder(const std::wstring& dir, const std::function<bool(const TzevFindData&)>& each) override {
    return TMemFileSys::ListFolder(dir, [&](const TzevFindData& f) {
      TzevFindData g = f;
      if (g.Name == L"HID") g.Attr |= kAttrHidden;
      if (g.Name == L"LINK") g.Attr |= kAttrReparsePoint;
      return each(g);
    });
  }
};

TEST(EngineScan, MasksAttributesAndRecursion) {
  THiddenFs fs;
  fs.Put(L"C:\\SRC\\a.txt", std::string("a"));
  fs.Put(L"C:\\SRC\\b.doc", std::string("bb"));
  fs.Put(L"C:\\SRC\\noext", std::string("c"));
  fs.Put(L"C:\\SRC\\plain.txt", std::string("p"), 0);
  fs.Put(L"C:\\SRC\\SUB\\c.txt", std::string("ccc"));
  fs.Put(L"C:\\SRC\\HID\\h.txt", std::string("h"));
  fs.Put(L"C:\\SRC\\LINK\\l.txt", std::string("l"));
  auto scan = [&](std::initializer_list<const wchar_t*> fileMasks, TzevFileAttrs attrs, bool recurse, bool hidden) {
    TzevFileScan s(nullptr, &fs);
    for (auto x : fileMasks) s.FileSpec.Add(x);
    s.Attributes = attrs;
    s.RecurseDirs = recurse;
    s.IncludeHiddenDirs = hidden;
    s.Scan();
    std::vector<std::wstring> r;
    for (const auto& o : s.FileList) r.push_back(o->Path + o->Name);
    return r;
  };
  TzevFileAttrs arch = AttrSet({fsArchive});
  TzevFileAttrs archZero = AttrSet({fsArchive, fsZeroAttr});
  using V = std::vector<std::wstring>;
  EXPECT_EQ(scan({L"C:\\SRC\\*.txt"}, arch, false, false), (V{L"C:\\SRC\\a.txt"}));
  EXPECT_EQ(scan({L"C:\\SRC\\*.txt"}, archZero, false, false), (V{L"C:\\SRC\\a.txt", L"C:\\SRC\\plain.txt"}));
  EXPECT_EQ(scan({L"C:\\SRC\\*.txt"}, arch, true, false), (V{L"C:\\SRC\\a.txt", L"C:\\SRC\\SUB\\c.txt"}));
  EXPECT_EQ(scan({L"C:\\SRC\\*.txt"}, arch, true, true),
            (V{L"C:\\SRC\\a.txt", L"C:\\SRC\\HID\\h.txt", L"C:\\SRC\\SUB\\c.txt"}));
  // A plain name is not looked for in sub-folders.
  EXPECT_EQ(scan({L"C:\\SRC\\c.txt"}, arch, true, true), V{});
  EXPECT_EQ(scan({L"C:\\SRC\\*."}, arch, false, false), (V{L"C:\\SRC\\noext"}));
  // One group: the wider pattern takes the narrower one's place; empty entries are ignored.
  EXPECT_EQ(scan({L"C:\\SRC\\a.txt", L"", L"c:\\src\\*.txt"}, arch, false, false), (V{L"C:\\SRC\\a.txt"}));
}

TEST(EngineScan, FoldersAndCounts) {
  TScanTree t;
  TzevFileScan s(nullptr, &t.Fs);
  s.FileSpec.Add(L"C:\\SRC\\*.*");
  s.Attributes = AttrSet({fsArchive, fsReadOnly, fsDirectory});
  s.AttributesEx = AttrSet({fsReadOnly});
  int finished = -1;
  s.OnFinished = [&](int n, double) { finished = n; };
  s.Scan();
  int folders = 0, files = 0;
  for (const auto& o : s.FileList) (o->Name.empty() ? folders : files)++;
  EXPECT_EQ(folders, 2);  // HID and SUB reported as folders
  EXPECT_EQ(files, 5);    // a, b, noext, c, h (ro.txt excluded, plain.txt without attributes)
  EXPECT_EQ(finished, 5);
  EXPECT_EQ(s.FilesCount, 5);
}
}  // namespace
