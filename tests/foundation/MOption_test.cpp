#include "foundation/MOption.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/TestUtil.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"

namespace {
std::wstring ReadText(const std::wstring& path) {
  TTextEncoding enc;
  return DecodeText(ReadFileRaw(path), enc);
}

// Key lines of an INI text as "section|key" -> value.
std::vector<std::pair<std::wstring, std::wstring>> KeyLines(const std::wstring& text) {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  TStringList lines;
  lines.SetText(text);
  std::wstring section;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::wstring& l = lines[i];
    if (l.empty()) continue;
    if (l[0] == L'[') {
      section = l.substr(1, l.size() - 2);
      continue;
    }
    size_t eq = l.find(L'=');
    out.push_back({section + L"|" + l.substr(0, eq), l.substr(eq + 1)});
  }
  return out;
}

std::wstring ValueOf(const std::wstring& text, const std::wstring& sectionKey) {
  for (const auto& [k, v] : KeyLines(text))
    if (k == sectionKey) return v;
  return L"<missing>";
}

std::string WithKey(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  return WideToUtf8(L"[" + section + L"]\r\n" + key + L"=" + value + L"\r\n");
}

TEST(MOption, MissingFilesGiveTheDefaults) {
  TTempDir dir;
  TMOptions o;
  o.Load(dir / L"Q7X.CFG", dir / L"History");
  EXPECT_EQ(o.MainFont, MakeIniFont(L"MS Sans Serif", 8, 0, 0));
  EXPECT_GT(o.MainFontHeight, 0);
  EXPECT_EQ(o.FolderNameCase, 2);
  EXPECT_EQ(o.MouseRight, 2);
  EXPECT_EQ(o.McdItemHeight, 1);
  EXPECT_EQ(o.ToolBarColor, clBtnFace);
  EXPECT_EQ(o.HKeyNormalText, clBtnText);
  EXPECT_EQ(o.MCDBackColor, 0xFF8000);
  EXPECT_EQ(o.FTreeFontColor, 0xC0C0C0);
  EXPECT_EQ(o.Digit, 4);
  EXPECT_EQ(o.RenameColumns, (std::array<int32_t, 6>{100, 50, 140, 80, 120, 100}));
  EXPECT_EQ(o.QCDI3, 150);
  EXPECT_EQ(o.Archivers[arZIP].ExtrPrg, L"pkunzip.exe");
  EXPECT_EQ(o.Archivers[arSQZ].AddPrg, L"sqz.exe");
  EXPECT_TRUE(o.Archivers[arTAR].SelfControl);
  EXPECT_EQ(o.QCDSlots[0].Label, L"Shift+F1");
  EXPECT_EQ(o.QCDSlots[19].Label, L"Ctrl+Shift+F10");
  EXPECT_EQ(o.FileWin[1], TFileWinOptions{});
  EXPECT_TRUE(o.History(hkGOTO).empty());
}

// A fresh settings file holds every documented key in its section with its documented default,
// in the stored text forms (booleans 1/0, colours red,green,blue or the system colour's number).
TEST(MOption, FreshFileHoldsEveryKeyWithItsDefault) {
  TTempDir dir;
  std::wstring cfg = dir / L"Q7X.CFG";
  {
    TMOptions o;
    o.Load(cfg, dir / L"History");
    ASSERT_TRUE(o.SaveOptions());
  }
  const std::wstring text = ReadText(cfg);
  const std::wstring face = L"2147483634", btnText = L"2147483631";  // $8000000F, $80000012
  const struct {
    const wchar_t* key;  // "section|key"
    std::wstring value;
  } cases[] = {
      {L"Main|MainFont", L"MS Sans Serif,8,0,0,0,0"}, {L"Main|MCDFont", L"MS Sans Serif,8,0,0,0,0"},
      {L"Main|MCDToolBar", L"0"}, {L"Main|McdToolBarSmall", L"0"}, {L"Main|ShowToolName", L"1"},
      {L"Main|ShowMcdToolName", L"1"}, {L"Main|MCDShowKeyBar", L"1"}, {L"Main|MCDShowDriveBar", L"1"},
      {L"Main|FlatKeyBar", L"0"}, {L"Main|ToolBarWrap", L"1"}, {L"Main|GrayToolBar", L"0"},
      {L"Option|CDRemRAttr", L"1"}, {L"Option|DescShortRead", L"1"}, {L"Option|DescShortWrite", L"0"},
      {L"Option|ShowCopySpeed", L"0"}, {L"Option|ErrorFileNotDelete", L"0"}, {L"Option|MCDShowIcon", L"1"},
      {L"Option|SplitSrcRemove", L"0"}, {L"Option|SplitMakeBat", L"0"}, {L"Option|AutoSelectInDual", L"0"},
      {L"Option|ShowDriveFirst", L"1"}, {L"Option|TreeSaveToRoot", L"0"}, {L"Option|MCDItemWidth", L"0"},
      {L"Option|McdItemHeight", L"1"}, {L"Option|McdSameWinSize", L"1"}, {L"Option|MCDDriveBarTop", L"1"},
      {L"Option|FolderNameCase", L"2"}, {L"Option|BSUpDir", L"1"}, {L"Option|ExtSpeedSearch", L"1"},
      {L"Option|NotUseRecycled", L"0"}, {L"Option|DeleteAtYes", L"0"}, {L"Option|DragDelay", L"0"},
      {L"Option|LeftDropMenu", L"0"}, {L"Option|MouseMiddle", L"1"}, {L"Option|MouseRight", L"2"},
      {L"Option|HanShiftDrive", L"1"}, {L"Option|CtrlXExtract", L"0"}, {L"Option|FTreeShowIcon", L"1"},
      {L"Option|IncHiddenDir", L"0"}, {L"Option|TreeAutoExpand", L"0"}, {L"Option|TreeBigIcon", L"0"},
      {L"Option|FolderTreeColor", L"1"}, {L"Option|XButtonSupport", L"1"},
      {L"Color|ItemColorEnable", L"1"}, {L"Color|BackColor", L"0,0,0"}, {L"Color|NormalColor", L"192,192,192"},
      {L"Color|FTreeBackColor", L"0,0,0"}, {L"Color|FTreeFontColor", L"192,192,192"},
      {L"Color|ToolBarColor", face}, {L"Color|MCDBackColor", L"0,128,255"}, {L"Color|MCDTextColor", L"255,255,255"},
      {L"Color|MCDGrayTextColor", L"128,128,128"}, {L"Color|MCDLineColor", L"0,255,255"},
      {L"Color|MCDDefaultColor", L"255,0,0"}, {L"Color|MCDCopyColor", L"255,0,0"},
      {L"Color|MCDMoveColor", L"255,0,255"}, {L"Color|HKeyAltColor", face}, {L"Color|HKeyHighText", L"0,0,255"},
      {L"Color|HKeyNormalText", btnText}, {L"Color|HKeyNormalBack", face}, {L"Color|HKeyShiftBack", face},
      {L"Color|HKeyHotItemBack", face}, {L"Color|HKeyHotItemKey", L"0,128,0"},
      {L"Color|HKeyHotItemText", L"0,0,0"},
      {L"Archive|SFXView", L"0"}, {L"Archive|ExtractForceDir", L"1"}, {L"Archive|NoExtractDialog", L"0"},
      {L"Archive|PathEnable", L"0"}, {L"Archive|ShowPWD", L"1"}, {L"Archive|FullPath", L"1"},
      {L"Archive|OverWrite", L"0"}, {L"Archive|AddPath", L"1"}, {L"Archive|SubFolder", L"1"},
      {L"Archive|MoveAfter", L"0"},
      {L"RENAME|NameCase", L"0"}, {L"RENAME|ExtNoRename", L"0"}, {L"RENAME|Digit", L"4"},
      {L"RENAME|AutoDigit", L"1"}, {L"RENAME|1", L"100"}, {L"RENAME|2", L"50"}, {L"RENAME|3", L"140"},
      {L"RENAME|4", L"80"}, {L"RENAME|5", L"120"}, {L"RENAME|6", L"100"},
      {L"QCD|I1", L"100"}, {L"QCD|I2", L"100"}, {L"QCD|I3", L"150"},
  };
  for (const auto& c : cases) EXPECT_EQ(ValueOf(text, c.key), c.value) << c.key;
  for (const wchar_t* key : {L"Main|Window", L"Main|MCDWindow", L"Main|DriveWindow", L"Archive|AddMethod",
                             L"Archive|AddType", L"RENAME|Window", L"QCD|Window"})
    EXPECT_NE(ValueOf(text, key), L"<missing>") << key;

  // The archiver records are stored for ZIP, RAR, ACE, LZH and ARJ only; self-control is on.
  for (int i = 0; i < arCount; ++i) {
    bool stored = i == arZIP || i == arRAR || i == arACE || i == arLZH || i == arARJ;
    std::wstring name = std::wstring(L"Archive|") + TMOptions::ArchiverNames[i];
    for (const wchar_t* suffix : {L"_SelfControl", L"_AddPrg", L"_ExtrPrg"})
      EXPECT_EQ(ValueOf(text, name + suffix) != L"<missing>", stored) << name << suffix;
    if (stored) {
      EXPECT_EQ(ValueOf(text, name + L"_SelfControl"), L"1") << name;
    }
  }
  EXPECT_STREQ(TMOptions::ArchiverNames[arCAB], L"CAB");
  EXPECT_STREQ(TMOptions::ArchiverNames[arTAR], L"TAR");
}

// Each bounded key takes both ends of its range and falls back to its default just outside.
TEST(MOption, RangedKeysAcceptTheirBoundsOnly) {
  TTempDir dir;
  std::wstring in = dir / L"in.cfg", out = dir / L"out.cfg";
  const struct {
    const wchar_t* section;
    const wchar_t* key;
    int min, max, def;
  } cases[] = {
      {L"Option", L"AutoSelectInDual", 0, 4, 0}, {L"Option", L"MCDItemWidth", 0, 400, 0},
      {L"Option", L"McdItemHeight", 0, 15, 1},   {L"Option", L"FolderNameCase", 0, 4, 2},
      {L"Option", L"MouseMiddle", 0, 3, 1},      {L"Option", L"MouseRight", 0, 3, 2},
      {L"Archive", L"AddMethod", 0, 4, 1},       {L"Archive", L"AddType", 0, 9, 0},
      {L"RENAME", L"NameCase", 0, 4, 0},         {L"RENAME", L"Digit", 0, 10, 4},
      {L"QCD", L"I1", 0, 200, 100},              {L"QCD", L"I2", 0, 200, 100},
      {L"QCD", L"I3", 0, 1000, 150},
  };
  for (const auto& c : cases) {
    const std::pair<int, int> tries[] = {{c.min, c.min}, {c.max, c.max}, {c.min - 1, c.def}, {c.max + 1, c.def}};
    for (const auto& [stored, expected] : tries) {
      ASSERT_TRUE(WriteFileRaw(in, WithKey(c.section, c.key, std::to_wstring(stored))));
      TMOptions o;
      o.Load(in, dir / L"History");
      ASSERT_TRUE(o.SaveOptionsTo(out));
      EXPECT_EQ(ValueOf(ReadText(out), std::wstring(c.section) + L"|" + c.key), std::to_wstring(expected))
          << c.key << " " << stored;
      DeleteFileW(out.c_str());
    }
  }
}

// Every stored key, changed to another value, is read and written back as changed (or, when
// the new value is out of its range, as the default): no field is lost or left unread.
TEST(MOption, EveryKeyRoundTripsAChangedValue) {
  TTempDir dir;
  std::wstring base = dir / L"base.cfg", in = dir / L"in.cfg", out = dir / L"out.cfg";
  {
    TMOptions o;
    o.Load(base, dir / L"H1");
    ASSERT_TRUE(o.SaveOptions());
  }
  std::wstring baseText = ReadText(base);
  auto keys = KeyLines(baseText);
  ASSERT_GT(keys.size(), 200u);
  for (const auto& [sk, value] : keys) {
    size_t bar = sk.find(L'|');
    std::wstring section = sk.substr(0, bar), key = sk.substr(bar + 1);
    std::vector<std::wstring> candidates;
    size_t commas = std::count(value.begin(), value.end(), L',');
    bool ok;
    int64_t n = TryStrToInt64(value, ok);
    if (commas == 2)
      candidates = {L"1,2,3"};
    else if (commas == 5)
      candidates = {L"Arial,11,3,1,2,3"};
    else if (commas == 4)
      candidates = {L"10,20,300,400,1"};
    else if (ok)
      candidates = {std::to_wstring(n + 1), std::to_wstring(n - 1)};
    else
      candidates = {L"x" + value + L"y"};
    bool roundTripped = false;
    for (const auto& c : candidates) {
      ASSERT_TRUE(WriteFileRaw(in, WithKey(section, key, c)));
      TMOptions o;
      o.Load(in, dir / L"H2");
      ASSERT_TRUE(o.SaveOptionsTo(out));
      TMOptions p;
      p.Load(out, dir / L"H2");  // a file written by the program reads back identically
      std::wstring again = dir / L"again.cfg";
      ASSERT_TRUE(p.SaveOptionsTo(again));
      std::wstring got = ValueOf(ReadText(out), sk);
      EXPECT_TRUE(ReadText(again) == ReadText(out)) << sk;
      if (got == c) roundTripped = true;
      DeleteFileW(again.c_str());
      DeleteFileW(out.c_str());
    }
    EXPECT_TRUE(roundTripped) << sk;
  }
}

TEST(MOption, OutOfRangeValuesFallBack) {
  TTempDir dir;
  std::wstring cfg = dir / L"Q7X.CFG";
  ASSERT_TRUE(WriteFileRaw(cfg, WideToUtf8(L"[Main]\r\nLastWindow=3\r\nDualWindow=-1\r\nVertRatio=100001\r\n"
                                          L"[Option]\r\nGridLineWidth=31\r\nFolderNameCase=5\r\nMouseMiddle=-1\r\n"
                                          L"ShowCheck=yes\r\nMcdItemHeight=15\r\n"
                                          L"[RENAME]\r\nDigit=11\r\n3=-5\r\n[QCD]\r\nI3=1001\r\nI1=200\r\n"
                                          L"[Archive]\r\nAddType=10\r\nAddMethod=4\r\n"
                                          L"[File2]\r\nSortType=9\r\nColumn=6\r\nParts=32\r\n"
                                          L"[Color]\r\nBackColor=1,2,3\r\nNormalColor=4,5,6\r\n")));
  TMOptions o;
  o.Load(cfg, dir / L"History");
  EXPECT_EQ(o.LastWindow, 1);
  EXPECT_EQ(o.DualWindow, 2);
  EXPECT_EQ(o.VertRatio, 50000);
  EXPECT_EQ(o.GridLineWidth, 1);
  EXPECT_EQ(o.FolderNameCase, 2);
  EXPECT_EQ(o.MouseMiddle, 1);
  EXPECT_FALSE(o.ShowCheck);  // only "1" is on
  EXPECT_EQ(o.McdItemHeight, 15);
  EXPECT_EQ(o.Digit, 4);
  EXPECT_EQ(o.RenameColumns[2], 140);
  EXPECT_EQ(o.QCDI3, 150);
  EXPECT_EQ(o.QCDI1, 200);
  EXPECT_EQ(o.AddType, 0);
  EXPECT_EQ(o.AddMethod, 4);
  EXPECT_EQ(o.FileWin[1].SortType, 1);
  EXPECT_EQ(o.FileWin[1].Column, 6);
  EXPECT_EQ(o.FileWin[1].Parts, TFileWinOptions{}.Parts);
  // The folder tree's colours follow the file list's as read.
  EXPECT_EQ(o.FTreeBackColor, RGBColor(1, 2, 3));
  EXPECT_EQ(o.FTreeFontColor, RGBColor(4, 5, 6));
}

TEST(MOption, HistoryListsKeepOrderLimitAndCase) {
  TMOptions o;
  o.AddHistory(hkGOTO, L"  C:\\A  ");
  o.AddHistory(hkGOTO, L"C:\\B");
  o.AddHistory(hkGOTO, L"");
  o.AddHistory(hkGOTO, L"   ");
  o.AddHistory(hkGOTO, L"c:\\a");
  o.AddHistory(7, L"ignored");
  o.AddHistory(-1, L"ignored");
  std::wstring s;
  o.GetHistoryText(hkGOTO, s);
  EXPECT_EQ(s, L"c:\\a\rC:\\B");
  o.GetHistoryItem(hkGOTO, 2, s);
  EXPECT_EQ(s, L"C:\\B");
  for (int n : {0, 3, -1}) {
    o.GetHistoryItem(hkGOTO, n, s);
    EXPECT_EQ(s, L"") << n;
  }
  for (int i = 1; i <= 25; ++i) {
    o.AddHistory(hkTARGET, L"t" + std::to_wstring(i));
    o.AddHistory(hkSELECT, L"s" + std::to_wstring(i));
  }
  ASSERT_EQ(o.History(hkTARGET).size(), 20u);
  EXPECT_EQ(o.History(hkTARGET).front(), L"t25");
  EXPECT_EQ(o.History(hkTARGET).back(), L"t6");
  ASSERT_EQ(o.History(hkSELECT).size(), 10u);
  EXPECT_EQ(o.History(hkSELECT).back(), L"s16");
}

TEST(MOption, HistoryFileRoundTripsOddTextsAndFavourites) {
  TTempDir dir;
  std::wstring hist = dir / L"History";
  const std::wstring texts[] = {L"a=b", L"line1\r\nline2", L"100%", L"%0A stays", L"[Section]", L";comment",
                                L"dir *.txt | more", L"한글 경로\\파일"};
  {
    TMOptions o;
    o.Load(dir / L"Q7X.CFG", hist);
    for (int k = 0; k < hkCount; ++k)
      for (const auto& t : texts) o.AddHistory(k, t);
    o.QCDSlots[6].Title = L"작업";
    o.QCDSlots[6].Path = L"D:\\Work";
    o.QCDSlots[12].Path = L"\\\\server\\share";
    o.QCDSlots[9].Path = L"F:\\ten";
    o.QCDSlots[19].Path = L"G:\\twenty";
    ASSERT_TRUE(o.SaveHistory(false));
  }
  std::string first = ReadFileRaw(hist);
  TMOptions o;
  o.Load(dir / L"Q7X.CFG", hist);
  for (int k = 0; k < hkCount; ++k) {
    std::vector<std::wstring> expected(std::rbegin(texts), std::rend(texts));
    if (k == hkSELECT) expected.resize(8);
    EXPECT_EQ(o.History(k), expected) << k;
  }
  EXPECT_EQ(o.QCDSlots[6].Title, L"작업");
  EXPECT_EQ(o.QCDSlots[6].Label, L"Shift+F7");
  EXPECT_EQ(o.QCDSlots[9].Label, L"Shift+F10");
  EXPECT_EQ(o.QCDSlots[10].Label, L"Ctrl+Shift+F1");
  const struct {
    WORD vk;
    uint8_t shift;
    const wchar_t* path;
  } keys[] = {{VK_F7, 1, L"D:\\Work"}, {VK_F3, 5, L"\\\\server\\share"}, {VK_F7, 4, L""}, {VK_F7, 0, L""},
              {VK_F11, 1, L""},        {VK_F1, 1, L""},    {VK_F10, 1, L"F:\\ten"},
              {VK_F10, 5, L"G:\\twenty"}};
  for (const auto& k : keys) {
    std::wstring p = L"stale";
    o.GetQCDSlotPath(k.vk, k.shift, p);
    EXPECT_EQ(p, k.path) << k.vk << " " << int(k.shift);
  }
  ASSERT_TRUE(o.SaveHistory(false));
  EXPECT_EQ(ReadFileRaw(hist), first);

  // Only the favourites: the history lists on disk stay as they were.
  o.AddHistory(hkGOTO, L"new entry");
  o.QCDSlots[0].Path = L"E:\\";
  ASSERT_TRUE(o.SaveHistory(true));
  TMOptions again;
  again.Load(dir / L"Q7X.CFG", hist);
  EXPECT_EQ(again.QCDSlots[0].Path, L"E:\\");
  EXPECT_EQ(again.History(hkGOTO).front(), L"한글 경로\\파일");
}

TEST(MOption, EscapesDecodeOnlyTheirOwnCodes) {
  const struct {
    const wchar_t* stored;
    const wchar_t* text;
  } cases[] = {{L"%25PATH%25", L"%PATH%"}, {L"%PATH%", L"%PATH%"}, {L"a%0d%0Ab", L"a\r\nb"},
               {L"%", L"%"},               {L"%2", L"%2"},         {L"%250A", L"%0A"}};
  for (const auto& c : cases) EXPECT_EQ(UnescapeHistoryText(c.stored), c.text) << c.stored;
  for (const auto& c : cases) EXPECT_EQ(UnescapeHistoryText(EscapeHistoryText(c.text)), c.text) << c.text;
}

TEST(MOption, FailedSavesAreReportedAndKeepTheOldFiles) {
  TTempDir dir;
  std::wstring cfg = dir / L"Q7X.CFG", hist = dir / L"History";
  ASSERT_TRUE(WriteFileRaw(cfg, "[Main]\r\nDualWindow=1\r\n"));
  ASSERT_TRUE(WriteFileRaw(hist, "[GOTO]\r\n1=C:\\\r\n"));
  TMOptions o;
  o.Load(cfg, hist);
  o.DualWindow = 0;
  o.AddHistory(hkGOTO, L"D:\\");
  HANDLE lockCfg = CreateFileW(cfg.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE lockHist = CreateFileW(hist.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lockCfg, INVALID_HANDLE_VALUE);
  ASSERT_NE(lockHist, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(o.SaveOptions());
  EXPECT_FALSE(o.SaveHistory(false));
  EXPECT_FALSE(o.SaveOnExit());
  CloseHandle(lockCfg);
  CloseHandle(lockHist);
  EXPECT_EQ(ReadFileRaw(cfg), "[Main]\r\nDualWindow=1\r\n");
  EXPECT_EQ(ReadFileRaw(hist), "[GOTO]\r\n1=C:\\\r\n");
  EXPECT_TRUE(o.SaveOnExit());
  TMOptions again;
  again.Load(cfg, hist);
  EXPECT_EQ(again.DualWindow, 0);
  EXPECT_EQ(again.History(hkGOTO).front(), L"D:\\");
}

TEST(MOption, AutoSaveOffWritesOnlyTheHistory) {
  TTempDir dir;
  TMOptions o;
  o.Load(dir / L"Q7X.CFG", dir / L"History");
  o.AutoSave = false;
  o.AddHistory(hkFilter, L"*.txt");
  EXPECT_TRUE(o.SaveOnExit());
  EXPECT_FALSE(FileExistsPlain(dir / L"Q7X.CFG"));
  EXPECT_TRUE(FileExistsPlain(dir / L"History"));
}

TEST(CurrentDir, RemembersFoldersPerRoot) {
  TTempDir dir;
  std::wstring sub = dir / L"sub";
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  TCurrentDir cd;
  std::wstring root = sub.substr(0, 2), got;
  cd.GetDir(sub, got);
  EXPECT_EQ(got, root);
  cd.SetDir(sub + L"\\");
  cd.GetDir(root + L"\\elsewhere", got);
  EXPECT_EQ(got, sub);
  cd.SetDir(dir / L"missing");  // not a folder: not remembered
  cd.GetDir(root, got);
  EXPECT_EQ(got, sub);
  ASSERT_TRUE(RemoveDirectoryW(sub.c_str()));
  cd.GetDir(root, got);
  EXPECT_EQ(got, root);
  cd.GetDir(L"relative\\path", got);
  EXPECT_EQ(got, L"");
  cd.GetDir(L"\\\\server", got);
  EXPECT_EQ(got, L"");
}
}  // namespace

namespace {
TEST(Folders, StartUpFillsTheProgramFolders) {
  std::wstring saved = ProgramFolder;
  InitFolders();
  wchar_t exe[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring exePath(exe, n);
  EXPECT_EQ(ProgramFolder, exePath.substr(0, exePath.find_last_of(L'\\') + 1));
  EXPECT_EQ(McdFolder, ProgramFolder + L"MCD\\");
  for (const std::wstring* f : {&WorkFolder, &McdFolder, &WindowsFolder, &PersonalFolder, &DesktopFolder}) {
    ASSERT_FALSE(f->empty());
    EXPECT_EQ(f->back(), L'\\') << *f;
    DWORD a = GetFileAttributesW(f->c_str());
    EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) << *f;
  }
  EXPECT_FALSE(LowColorScreen);
  SetProgramFolder(saved);
}
}  // namespace
