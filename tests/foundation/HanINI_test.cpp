#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "common/TestUtil.h"
#ifdef _WIN32
#include <windows.h>
#endif
#include "foundation/HanINI.h"

namespace {
// An object over given text, as if read from its file.
struct Ini {
  THanINI ini{L"test.ini"};
  // Never written back: the text is the test's, not a file's.
  explicit Ini(std::string_view text) {
    ini.ReadOnly = true;
    ini.LoadFromBytes(text);
  }
  std::string Text() { return ini.SaveToBytes(); }
};
}  // namespace

TEST(HanINI, ParsesLinesAndWritesThemBack) {
  Ini x(";top comment\r\n  [Main] \r\nA = 1\r\nbad line\r\n[ Sp ace ]\r\nk=v=w\r\n[broken\r\n;inner\r\n");
  EXPECT_EQ(x.ini.ReadString(L"main", L"a", L"?"), L"1");
  EXPECT_EQ(x.ini.ReadString(L" Sp ace ", L"k", L"?"), L"v=w");
  EXPECT_EQ(x.ini.FindSection(L"Sp ace"), nullptr);
  EXPECT_EQ(x.Text(), ";top comment\r\n\r\n[Main]\r\nA=1\r\n\r\n[ Sp ace ]\r\nk=v=w\r\n;inner\r\n");
}

TEST(HanINI, KeyLinesBeforeAnySectionSurvive) {
  Ini x("lone=value\r\n[S]\r\nk=1\r\n");
  Ini y(x.Text());
  EXPECT_EQ(y.Text(), x.Text());
  EXPECT_NE(x.Text().find("lone=value"), std::string::npos);
  EXPECT_EQ(x.ini.FindSection(L"lone"), nullptr);
}

TEST(HanINI, TypedReads) {
  Ini x(
      "[S]\r\nb1=1\r\nbt=true\r\ni=  -42\r\nh=$1F\r\nhx=$FFFFFFFF\r\nbig=99999999999\r\nm=3\r\nempty=\r\n"
      "c=1,2,3\r\nc1=5,6\r\ncx=a,2,b\r\ncsys=2147483634\r\ncmin=2147483649\r\ncbad=zz\r\n"
      "f=Arial,10,3,1,2,3\r\nf2=Arial,10\r\nfx=Arial,x,y,\r\n"
      "r=1,2,3,4,1\r\nr0=1,2,3,4,0\r\nrempty=1,2,3,4,\r\nr3=1,2,3\r\n");
  THanINI& i = x.ini;
  EXPECT_TRUE(i.ReadBool(L"S", L"b1", false));
  EXPECT_FALSE(i.ReadBool(L"S", L"bt", true));
  EXPECT_TRUE(i.ReadBool(L"S", L"missing", true));
  EXPECT_EQ(i.ReadInteger(L"S", L"i", 0), -42);
  EXPECT_EQ(i.ReadInteger(L"S", L"h", 0), 31);
  EXPECT_EQ(i.ReadInteger(L"S", L"hx", 0), -1);
  EXPECT_EQ(i.ReadInteger(L"S", L"big", 7), 7);
  EXPECT_EQ(i.ReadIntegerMax(L"S", L"m", 1, 2), 1);
  EXPECT_EQ(i.ReadIntegerMax(L"S", L"m", 1, 3), 3);
  EXPECT_EQ(i.ReadString(L"S", L"empty", L"def"), L"");
  EXPECT_EQ(i.ReadString(L"S", L"nokey", L"def"), L"def");

  EXPECT_EQ(i.ReadColor(L"S", L"c", 0), RGBColor(1, 2, 3));
  EXPECT_EQ(i.ReadColor(L"S", L"c1", 0x112233), 0x112233);
  EXPECT_EQ(i.ReadColor(L"S", L"cx", RGBColor(9, 8, 7)), RGBColor(9, 2, 7));
  EXPECT_EQ(i.ReadColor(L"S", L"csys", 0), clBtnFace);
  EXPECT_EQ(i.ReadColor(L"S", L"cmin", 0), clSystemColor);
  EXPECT_EQ(i.ReadColor(L"S", L"cbad", 0x123456), 0x123456);

  TIniFont def = MakeIniFont(L"Def", 9, fsItalic, 0x0000FF);
  EXPECT_EQ(i.ReadFont(L"S", L"f", def), MakeIniFont(L"Arial", 10, fsBold | fsItalic, RGBColor(1, 2, 3)));
  EXPECT_EQ(i.ReadFont(L"S", L"f2", def), def);
  EXPECT_EQ(i.ReadFont(L"S", L"fx", def), MakeIniFont(L"Arial", 9, 0, 0x0000FF));

  TIniRect rd = MakeIniRect(9, 9, 9, 9, false);
  EXPECT_EQ(i.ReadRect(L"S", L"r", rd), MakeIniRect(1, 2, 3, 4, true));
  EXPECT_EQ(i.ReadRect(L"S", L"r0", rd), MakeIniRect(1, 2, 3, 4, false));
  EXPECT_EQ(i.ReadRect(L"S", L"rempty", rd), rd);
  EXPECT_EQ(i.ReadRect(L"S", L"r3", rd), rd);
}

TEST(HanINI, TypedWritesAndSystemColours) {
  Ini x("");
  THanINI& i = x.ini;
  i.WriteColor(L"C", L"rgb", RGBColor(1, 2, 3));
  i.WriteColor(L"C", L"face", clBtnFace);
  i.WriteColor(L"C", L"min", clSystemColor);
  i.WriteFont(L"C", L"font", MakeIniFont(L"굴림", 9, fsBold, clBtnText));
  i.WriteRect(L"C", L"rect", MakeIniRect(-1, 2, 300, 400, true));
  i.WriteBool(L"C", L"b", false);
  i.WriteColorDefault(L"C", L"same", clBtnFace, clBtnFace);
  EXPECT_EQ(i.ReadString(L"C", L"rgb", L""), L"1,2,3");
  EXPECT_EQ(i.ReadString(L"C", L"face", L""), L"2147483634");
  EXPECT_EQ(i.ReadString(L"C", L"min", L""), L"2147483649");
  EXPECT_EQ(i.ReadColor(L"C", L"min", 0), clSystemColor);
  EXPECT_EQ(i.ReadString(L"C", L"font", L""), L"굴림,9,1,2147483631");
  EXPECT_EQ(i.ReadFont(L"C", L"font", TIniFont{}), MakeIniFont(L"굴림", 9, fsBold, clBtnText));
  EXPECT_EQ(i.ReadString(L"C", L"rect", L""), L"-1,2,300,400,1");
  EXPECT_EQ(i.ReadString(L"C", L"b", L""), L"0");
  EXPECT_EQ(i.FindKey(i.FindSection(L"C"), L"same"), nullptr);
}

TEST(HanINI, ModifiedFlagAndCaseOnlyChanges) {
  Ini x("[S]\r\nKey=Value\r\n");
  THanINI& i = x.ini;
  EXPECT_FALSE(i.Modified);
  i.WriteString(L"S", L"key", L"VALUE");
  EXPECT_FALSE(i.Modified);
  EXPECT_EQ(i.ReadString(L"S", L"Key", L""), L"VALUE");
  EXPECT_EQ(x.Text(), "[S]\r\nkey=VALUE\r\n");
  i.WriteString(L"S", L"key", L"other");
  EXPECT_TRUE(i.Modified);
}

TEST(HanINI, ValuesCannotForgeLines) {
  Ini x("");
  x.ini.WriteString(L"S", L"a", L"x\r\n[Evil]\r\nk=v");
  Ini y(x.Text());
  EXPECT_EQ(y.ini.FindSection(L"Evil"), nullptr);
  EXPECT_EQ(y.ini.ReadString(L"S", L"a", L""), L"x  [Evil]  k=v");
}

TEST(HanINI, PurgeDropsWhatWasNotWritten) {
  Ini x(";c\r\n[A]\r\nold=1\r\nnew=1\r\n[B]\r\nx=1\r\n");
  x.ini.WriteString(L"A", L"new", L"2");
  x.ini.PurgeAll();
  EXPECT_EQ(x.Text(), "[A]\r\nnew=2\r\n");
  Ini y("[A]\r\n;note\r\nk=1\r\n");
  y.ini.PurgeSection(L"A");
  EXPECT_EQ(y.Text(), "[A]\r\n;note\r\n");
}

TEST(HanINI, EnumerationSkipsCommentsInSections) {
  Ini x(";top\r\n[A]\r\n;c\r\nk1=1\r\nk2=2\r\n[B]\r\n");
  std::wstring name, k, v;
  std::vector<std::wstring> names;
  for (bool ok = x.ini.FindFirstSection(name); ok; ok = x.ini.FindNextSection(name)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L";top", L"A", L"B"}));
  std::vector<std::wstring> keys;
  for (bool ok = x.ini.FindFirstKey(L"a", k, v); ok; ok = x.ini.FindNextKey(k, v)) keys.push_back(k + L"=" + v);
  EXPECT_EQ(keys, (std::vector<std::wstring>{L"k1=1", L"k2=2"}));
  EXPECT_FALSE(x.ini.FindFirstKey(L"none", k, v));
}

TEST(HanINI, EmptyFileNameFindsNothing) {
  THanINI i(L"");
  EXPECT_EQ(i.ReadInteger(L"S", L"k", 5), 5);
  EXPECT_EQ(i.FindSection(L"S"), nullptr);
}

TEST(HanINI, DamagedBytesReadWhatTheyCan) {
  const char nulBytes[] = "[S]\r\na=1\0\0b\r\nc=2";
  std::string nul(nulBytes, sizeof nulBytes - 1);
  std::string longLine = "[S]\r\nx=" + std::string(10 * 1024 * 1024, 'y') + "\r\nz=3";
  const std::vector<std::pair<std::string, std::wstring>> cases = {
      {nul, L"2"},
      {"[S]\rc=2\rd=4", L"2"},                     // CR-only breaks, no final newline
      {"[S]\nc=\xff\xfe\x80\nc=2", L"\xff\xfe\x80"},  // invalid UTF-8: read in the ANSI code page
      {longLine, L""},
  };
  for (const auto& [bytes, expectC] : cases) {
    Ini x(bytes);
    if (!expectC.empty()) {
      EXPECT_NE(x.ini.FindKey(x.ini.FindSection(L"S"), L"c"), nullptr);
    }
    Ini y(x.Text());
    EXPECT_EQ(y.Text(), x.Text());
  }
  Ini big(longLine);
  EXPECT_EQ(big.ini.ReadString(L"S", L"x", L"").size(), 10u * 1024 * 1024);
  EXPECT_EQ(big.ini.ReadString(L"S", L"z", L""), L"3");
}

TEST(HanINI, EncodingsRoundTrip) {
  // UTF-16 with a mark, UTF-8 with and without a mark.
  const std::vector<std::string> files = {
      std::string("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\x5C\xD5\r\0\n\0", 22),
      "\xEF\xBB\xBF[S]\r\nk=\xED\x95\x9C\r\n",
      "[S]\r\nk=\xED\x95\x9C\r\n",
  };
  for (const auto& f : files) {
    Ini x(f);
    EXPECT_EQ(x.ini.ReadString(L"S", L"k", L""), L"\xD55C");
    EXPECT_EQ(x.Text(), f);
  }
  // A character the ANSI code page cannot hold turns the file into UTF-8 instead of being lost.
  Ini a("[S]\r\nk=\xB0\xA1\r\n");
  EXPECT_EQ(a.ini.Encoding, TTextEncoding::Ansi);
  a.ini.WriteString(L"S", L"emoji", L"\U0001F600");
  Ini b(a.Text());
  EXPECT_EQ(b.ini.ReadString(L"S", L"emoji", L""), L"\U0001F600");
  EXPECT_EQ(b.ini.ReadString(L"S", L"k", L""), a.ini.ReadString(L"S", L"k", L""));
}

TEST(HanINIFile, WritesOnlyWhenModifiedAndReadsBack) {
  TTempDir dir;
  std::wstring path = dir / L"Q7X.CFG";
  ASSERT_TRUE(WriteFileRaw(path, "[Main]\r\nA=1\r\n"));
  {
    THanINI i(path);
    EXPECT_EQ(i.ReadInteger(L"Main", L"A", 0), 1);
    EXPECT_TRUE(i.UpdateFile());
  }
  EXPECT_EQ(ReadFileRaw(path), "[Main]\r\nA=1\r\n");
  {
    THanINI i(path);
    i.WriteInteger(L"Main", L"B", 2);
  }
  EXPECT_EQ(ReadFileRaw(path), "[Main]\r\nA=1\r\nB=2\r\n");
  {
    THanINI i(path);
    i.ReadOnly = true;
    i.WriteInteger(L"Main", L"C", 3);
    EXPECT_FALSE(i.UpdateFile());
  }
  EXPECT_EQ(ReadFileRaw(path), "[Main]\r\nA=1\r\nB=2\r\n");
  THanINI missing(dir / L"none.ini");
  EXPECT_EQ(missing.ReadInteger(L"S", L"k", 9), 9);
  EXPECT_FALSE(missing.NeedLoad);
}

TEST(HanINIFile, AFailedWriteKeepsTheOldFile) {
  TTempDir dir;
  {
    THanINI i(dir / L"missing-folder/a.ini");
    i.WriteInteger(L"S", L"k", 1);
    EXPECT_FALSE(i.UpdateFile());
    EXPECT_TRUE(i.Modified);
    i.ReadOnly = true;  // nothing more to try when it goes
  }
#ifdef _WIN32
  // Another program holds the file open without sharing: the swap fails, the old text stays.
  std::wstring path = dir / L"locked.ini";
  ASSERT_TRUE(WriteFileRaw(path, "[S]\r\nk=old\r\n"));
  THanINI i(path);
  i.WriteString(L"S", L"k", L"new");
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(i.UpdateFile());
  EXPECT_TRUE(i.Modified);
  CloseHandle(h);
  EXPECT_EQ(ReadFileRaw(path), "[S]\r\nk=old\r\n");
  EXPECT_EQ(GetFileAttributesW((path + L".~new").c_str()), INVALID_FILE_ATTRIBUTES);
  // A read-only file is made a plain file and written, as the settings files always were.
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(i.UpdateFile());
  EXPECT_EQ(ReadFileRaw(path), "[S]\r\nk=new\r\n");
  EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
#endif
}

#ifdef _WIN32
TEST(HanINIFile, AFullDiskKeepsTheOldFile) {
  const char* drive = std::getenv("VELMO_FULL_DRIVE");
  if (!drive) GTEST_SKIP() << "no small drive to fill";
  std::wstring root = std::wstring(drive, drive + std::strlen(drive)) + L"\\";
  std::wstring path = root + L"Q7X.CFG", filler = root + L"filler.bin";
  ASSERT_TRUE(WriteFileRaw(path, "[Main]\r\nA=1\r\n"));
  // Fill what is left of the disk.
  HANDLE f = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  std::string block(4096, 'x');
  DWORD written = 1;
  while (WriteFile(f, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) && written > 0) {
  }
  CloseHandle(f);
  {
    THanINI i(path);
    i.WriteString(L"Main", L"Big", std::wstring(64 * 1024, L'v'));
    EXPECT_FALSE(i.UpdateFile());
    EXPECT_TRUE(i.Modified);
    i.ReadOnly = true;
  }
  EXPECT_EQ(ReadFileRaw(path), "[Main]\r\nA=1\r\n");
  EXPECT_EQ(GetFileAttributesW((path + L".~new").c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileW(filler.c_str());
  DeleteFileW(path.c_str());
}
#endif
