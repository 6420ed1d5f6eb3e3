// The archive controls: result texts, wildcards, selections, list files, the external archiver
// command lines (through the stand-in program in tools/arcstub) and the engine-driven add,
// extract and delete.
#include "archive/layer/ArcCtrl.h"

#include <gtest/gtest.h>

#include <map>

#include "archive/layer/ArcTree.h"
#include "common/TestUtil.h"
#include "common/ZipPassword.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"

namespace {
TStringList Lines(std::initializer_list<const wchar_t*> items) {
  TStringList l;
  for (auto* s : items) l.Add(s);
  return l;
}

// Every test gets a fresh work folder and default settings; message boxes are answered by the
// seam (and recorded).
class ArcCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    WorkFolder = Work.Path() + L"\\";
    // Tree files of the folder tree cache go to the test's own folder.
    SavedProgramFolder = ProgramFolder;
    SetProgramFolder(Work.Path());
    TMsgBoxSeam::Get().Reset();
  }
  void TearDown() override {
    TMsgBoxSeam::Get().Reset();
    Options.ResetToDefaults();
    SetProgramFolder(SavedProgramFolder);
  }
  std::wstring SavedProgramFolder;
  TTempDir Work;
};

std::map<std::wstring, std::string> ListNames(const std::wstring& archive) {
  std::map<std::wstring, std::string> out;
  auto tree = OpenArchiveTree(archive);
  if (!tree) return out;
  TArchive a;
  int64_t off = 0;
  TArcKind kind = DetectArchiveType(archive, off, false);
  if (!a.Open(archive, kind, off)) return out;
  ArcInfoRec r;
  for (bool ok = a.FindFirst(r); ok; ok = a.FindNext(r)) out[r.Name] = std::to_string(r.Size);
  return out;
}
}  // namespace

// ---- Result texts and wildcards ----

TEST(ArcResultText, EachCodeHasItsTextAndTheRestTheSuccessText) {
  const struct {
    uint8_t Code;
    int Msg;
  } cases[] = {{0, 30231},  {1, 30232},  {2, 30231},  {3, 30245},   {4, 30231},  {5, 30233},
               {6, 30231},  {9, 30236},  {17, 30246}, {18, 30231},  {19, 30244}, {20, 30231},
               {0x89, 30236}, {0x93, 30244}};
  for (const auto& c : cases) EXPECT_EQ(GetArchiveErrorText(c.Code), LoadMessageText(c.Msg)) << int(c.Code);
}

TEST(MatchWildcard, ResultsByCase) {
  const struct {
    const wchar_t* Pattern;
    const wchar_t* Name;
    int Expected;
  } cases[] = {
      {L"<a-c>*.doc", L"B1.DOC", 1}, {L"<!a-c>x", L"bx", 4}, {L"a<b", L"ab", 6},   {L"abc", L"ab", 3},
      {L"*", L"any\\thing", 1},      {L"*.*", L"noext", 1},  {L"a?c", L"abc", 1},  {L"ab", L"abc", 2},
      {L"abd", L"abc", 5},           {L"<c-a>", L"b", 1},    {L"<^x>", L"y", 1},   {L"<>", L"a", 6},
      {L"<a->", L"a", 6},            {L"*b", L"aab", 1},     {L"*.txt", L"sub\\b.txt", 1},
      {L"a*", L"a", 1},              {L"*x*y*z", L"xxyyzz", 1}, {L"*x*y*z", L"xxyy", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchWildcard(c.Pattern, c.Name), c.Expected) << c.Pattern << L" " << c.Name;
}

// ---- Selection ----

TEST_F(ArcCtrlTest, SelectionOfFoldersPatternsAndNamesWithSemicolons) {
  TGeneralArchiveControl c;
  c.SetFileList(Lines({L"docs\\", L"sub\\*.txt", L"a;b.txt"}));
  c.Delete();  // computes AllSelected
  ASSERT_FALSE(c.AllSelected);
  EXPECT_EQ(c.FileList.Count(), 3);  // never cut at ";"
  EXPECT_TRUE(c.IsFileSelected(L"docs\\a\\b.txt"));
  EXPECT_TRUE(c.IsFileSelected(L"docs\\a\\"));
  EXPECT_TRUE(c.IsFileSelected(L"sub\\b.txt"));
  EXPECT_FALSE(c.IsFileSelected(L"c.txt"));
  EXPECT_FALSE(c.IsFileSelected(L"sub\\c.doc"));
  EXPECT_TRUE(c.IsFileSelected(L"a;b.txt"));
  EXPECT_FALSE(c.IsFileSelected(L"a"));

  TGeneralArchiveControl star;
  star.SetFileList(Lines({L"*.txt"}));
  star.Extract();
  EXPECT_TRUE(star.IsFileSelected(L"a.txt"));
  EXPECT_TRUE(star.IsFileSelected(L"sub\\b.txt"));
  EXPECT_FALSE(star.IsFileSelected(L"a.doc"));

  TGeneralArchiveControl all;
  all.SetFileSpec(L"*.doc; *.*");  // the user's masks are cut at ";"
  EXPECT_EQ(all.FileList.Count(), 2);
  all.Extract();
  EXPECT_TRUE(all.AllSelected);
}

TEST_F(ArcCtrlTest, ListFilesOfEachKind) {
  TGeneralArchiveControl c;
  auto listOf = [&](int kind) {
    std::wstring name;
    c.MakeListFile(kind, name);
    EXPECT_FALSE(name.empty());
    return ReadFileRaw(name);
  };
  c.SetFileList(Lines({L"docs\\"}));
  EXPECT_EQ(listOf(1), "docs\\*.*");
  c.SetFileList(Lines({L"a.txt", L"b\\"}));
  EXPECT_EQ(listOf(2), "a.txt\n\rb");
  EXPECT_EQ(listOf(0), "a.txt\r\nb\\\r\n");
  // A name the ANSI code page cannot hold: UTF-8 with its mark.
  c.SetFileList(Lines({L"\u00e9\u4e00\U0001F600.txt"}));
  EXPECT_EQ(listOf(0), "\xEF\xBB\xBF" + WideToUtf8(L"\u00e9\u4e00\U0001F600.txt\r\n"));
  // Each list takes a new name; an empty selection writes nothing.
  TGeneralArchiveControl empty;
  std::wstring none = L"x";
  empty.MakeListFile(0, none);
  EXPECT_TRUE(none.empty());
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
}

TEST_F(ArcCtrlTest, ListFileThatCannotBeWrittenShowsItsMessage) {
  WorkFolder = Work.Path() + L"\\missing\\deeper\\";
  TGeneralArchiveControl c;
  c.SetFileList(Lines({L"a.txt"}));
  TMsgBoxSeam::Get().PushButton(0);
  std::wstring name = L"x";
  c.MakeListFile(0, name);
  EXPECT_TRUE(name.empty());
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(3103));
}

// ---- External archivers through the stand-in ----

#ifdef VELMO_ARCSTUB_DIR
namespace {
std::wstring StubDir() {
  std::wstring d = Utf8ToWide(VELMO_ARCSTUB_DIR);
  for (auto& ch : d)
    if (ch == L'/') ch = L'\\';
  // The build folder is a host path; Wine reaches it through drive Z:.
  if (!d.empty() && d[0] == L'\\') d = L"Z:" + d;
  return d;
}
std::wstring Stub() { return StubDir() + L"\\arcstub.exe"; }

struct TStubRecord {
  std::wstring Cmd, Dir;
  std::string List;
};
// Runs with the stub logging into the work folder; the records it wrote.
class ExternalTest : public ArcCtrlTest {
 protected:
  void SetUp() override {
    ArcCtrlTest::SetUp();
    Log = Work / L"stub.log";
    SetEnvironmentVariableW(L"VELMO_ARCSTUB_LOG", Log.c_str());
    SetEnvironmentVariableW(L"VELMO_ARCSTUB_EXIT", nullptr);
    for (auto& a : Options.Archivers) {
      a.SelfControl = false;
      a.AddPrg = a.ExtrPrg = Stub();
    }
    Src = Work / L"src";
    CreateDirectoryW(Src.c_str(), nullptr);
    Dest = Work / L"out";
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"VELMO_ARCSTUB_LOG", nullptr);
    SetEnvironmentVariableW(L"VELMO_ARCSTUB_EXIT", nullptr);
    ArcCtrlTest::TearDown();
  }
  std::vector<TStubRecord> Records() {
    std::vector<TStubRecord> out;
    std::string text = ReadFileRaw(Log);
    size_t pos = 0;
    auto line = [&]() {
      size_t e = text.find('\n', pos);
      if (e == std::string::npos) e = text.size();
      std::string s = text.substr(pos, e - pos);
      pos = e + 1;
      return s;
    };
    while (pos < text.size()) {
      TStubRecord r;
      r.Cmd = Utf8ToWide(line().substr(4));
      r.Dir = Utf8ToWide(line().substr(4));
      std::string hex = line().substr(5);
      for (size_t i = 0; i + 1 < hex.size(); i += 2) r.List += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
      out.push_back(r);
    }
    return out;
  }
  // The command line after the quoted program name.
  static std::wstring Params(const TStubRecord& r) {
    size_t q = r.Cmd.find(L'"', 1);
    return q == std::wstring::npos ? r.Cmd : r.Cmd.substr(q + 2);
  }
  std::unique_ptr<TGeneralArchiveControl> Control(uint8_t type, const std::wstring& archive,
                                                  std::initializer_list<const wchar_t*> sel) {
    auto c = CreateArchiveControl(type);
    c->ArchiveName = archive;
    c->SourceFolder = Src + L"\\";
    c->SetDestFolder(Dest);
    c->SetFileList(Lines(sel));
    return c;
  }
  std::wstring Log, Src, Dest;
};
}  // namespace

TEST_F(ExternalTest, CommandLinesOfAddExtractAndDelete) {
  const std::wstring spaced = Work / L"my arc.zip";
  struct TCase {
    uint8_t Type;
    char Op;
    bool Paths, Recurse, Move, Overwrite;
    int Level;
    int64_t Volume;
    const wchar_t* Password;
    std::wstring Expected;  // without the list part
    const char* ListPrefix;
  };
  const std::wstring A = spaced;
  const std::wstring S = GetShortPath(spaced);  // the archive exists below, so it has a short form
  WriteFileRaw(spaced, "x");
  const std::wstring QS = L"\"" + A + L"\"";
  const std::wstring shortA = GetShortPath(A);
  const TCase cases[] = {
      {akZip, 'a', true, true, false, false, 3, 0, L"", L"-Jrhs -p -r -en " + QS, " @"},
      {akZip, 'a', true, true, false, false, 3, 0, L"pw", L"-Jrhs -p -r -spw -en " + QS, " @"},
      {akZip, 'a', false, false, true, false, 0, 0, L"a b", L"-Jrhs -m -s\"a b\" -e0 " + QS, " @"},
      {akZip, 'x', true, false, false, true, 5, 0, L"", L"-d -Jrhs -o " + shortA, " @"},
      {akZip, 'x', false, false, false, false, 5, 0, L"q\"x", L"-e -s\"q\\\"x\" " + shortA, " @"},
      {akZip, 'd', false, false, false, false, 5, 0, L"", L"-d -Jrhs " + shortA, " @"},
      {akRar, 'a', false, true, false, false, 4, 1440, L"", L"a -ep -r -v1440 -y -m5 " + QS, " @"},
      {akRar, 'x', true, false, false, true, 4, 0, L"p", L"x -pp -y " + shortA, " @"},
      {akRar, 'd', true, false, false, false, 4, 0, L"", L"d " + shortA, " @"},
      {akAce, 'a', true, false, true, false, 1, 2880, L"", L"m -ep- -r- -v2880 -y -m1 " + QS, " @"},
      {akLzh, 'a', true, true, true, false, 2, 0, L"", L"m -p -dr " + QS, " @"},
      {akLzh, 'x', false, false, false, true, 2, 0, L"", L"e /a /c " + shortA, " @"},
      {akArj, 'a', false, true, false, false, 2, 1440, L"g", L"a /a /e /r /v1440K /y /gg /m2 " + QS, " !"},
      {akArj, 'x', true, false, false, true, 2, 0, L"", L"x /a /v /y " + shortA, " !"},
      {akArj, 'd', true, false, false, false, 2, 0, L"", L"d " + shortA, " !"},
  };
  WriteFileRaw(Src + L"\\a.txt", "a");
  WriteFileRaw(Src + L"\\b.txt", "b");
  for (const TCase& t : cases) {
    DeleteFileW(Log.c_str());
    auto c = Control(t.Type, A, {L"a.txt", L"b.txt"});
    c->StorePaths = t.Paths;
    c->RecurseDirs = t.Recurse;
    c->MoveFiles = t.Move;
    c->Overwrite = t.Overwrite;
    c->CompressionLevel = t.Level;
    c->VolumeSize = t.Volume;
    c->Password = t.Password;
    TArcResultCode r = t.Op == 'a' ? c->Add() : t.Op == 'x' ? c->Extract() : c->Delete();
    EXPECT_EQ(r, arcOk) << t.Expected;
    auto recs = Records();
    ASSERT_EQ(recs.size(), 1u) << t.Expected;
    std::wstring params = Params(recs[0]);
    size_t list = params.rfind(Utf8ToWide(t.ListPrefix));
    ASSERT_NE(list, std::wstring::npos) << params;
    EXPECT_EQ(params.substr(0, list), t.Expected);
    EXPECT_EQ(recs[0].Dir, t.Op == 'x' ? Dest : Src) << t.Expected;
    // The list part names the list file in the work folder, holding the two names.
    EXPECT_NE(recs[0].List.find("a.txt"), std::string::npos);
    EXPECT_NE(recs[0].List.find("b.txt"), std::string::npos);
    EXPECT_EQ(recs[0].Cmd.substr(0, Stub().size() + 2), L"\"" + Stub() + L"\"");
  }
  (void)S;
}

TEST_F(ExternalTest, WholeArchiveHasNoListAndExitCodesDecide) {
  const std::wstring arc = Work / L"x.arj";
  WriteFileRaw(arc, "x");
  auto c = Control(akArj, arc, {});
  EXPECT_EQ(c->Extract(), arcOk);
  auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(Params(recs[0]), L"e /a /v " + GetShortPath(arc));
  EXPECT_TRUE(recs[0].List.empty());

  SetEnvironmentVariableW(L"VELMO_ARCSTUB_EXIT", L"255");
  EXPECT_EQ(Control(akArj, arc, {})->Extract(), arcOk);
  SetEnvironmentVariableW(L"VELMO_ARCSTUB_EXIT", L"1");
  EXPECT_EQ(Control(akArj, arc, {})->Extract(), arcProgramFailed);
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
}

TEST_F(ExternalTest, MissingProgramShowsItsMessageAndGivesFour) {
  Options.Archivers[arZIP].ExtrPrg = Work / L"nothere.exe";
  const std::wstring arc = Work / L"x.zip";
  WriteFileRaw(arc, "x");
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_EQ(Control(akZip, arc, {L"a.txt"})->Extract(), arcProgramFailed);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(LoadMessageText(10701)), std::wstring::npos);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"nothere.exe"), std::wstring::npos);
}

TEST_F(ExternalTest, SqzAndOmpRunTheirProgramsByName) {
  wchar_t path[4096];
  GetEnvironmentVariableW(L"PATH", path, 4096);
  std::wstring old = path;
  SetEnvironmentVariableW(L"PATH", (StubDir() + L";" + old).c_str());
  const std::wstring arc = Work / L"x.sqz";
  WriteFileRaw(arc, "x");
  auto c = Control(akSqz, arc, {L"a.txt"});
  c->Overwrite = true;
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(Control(akOmp, arc, {})->Extract(), arcOk);
  SetEnvironmentVariableW(L"PATH", old.c_str());
  auto recs = Records();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_NE(recs[0].Cmd.find(L"sqz.exe\" e -o1 " + GetShortPath(arc) + L" @"), std::wstring::npos) << recs[0].Cmd;
  EXPECT_EQ(recs[0].List, "a.txt\r\n");
  EXPECT_NE(recs[1].Cmd.find(L"tomp.exe\" e " + GetShortPath(arc)), std::wstring::npos) << recs[1].Cmd;
  // Adding to or deleting from them is no success: the program cannot write them.
  EXPECT_EQ(Control(akSqz, arc, {L"a.txt"})->Add(), arcFailed);
  EXPECT_EQ(Control(akOmp, arc, {L"a.txt"})->Delete(), arcFailed);
  EXPECT_EQ(Control(akArc, arc, {L"a.txt"})->Add(), arcFailed);
  EXPECT_EQ(Control(akZoo, arc, {L"a.txt"})->Delete(), arcFailed);
}
#endif

// ---- Through the engine ----

namespace {
class EngineTest : public ArcCtrlTest {
 protected:
  void SetUp() override {
    ArcCtrlTest::SetUp();
    Src = Work / L"src";
    CreateDirectoryW(Src.c_str(), nullptr);
    CreateDirectoryW((Src + L"\\docs").c_str(), nullptr);
    WriteFileRaw(Src + L"\\a.txt", std::string(70000, 'a'));
    WriteFileRaw(Src + L"\\b.txt", "bee");
    WriteFileRaw(Src + L"\\docs\\c.txt", "sea");
    Out = Work / L"out";
  }
  TArcResultCode Add(uint8_t type, const std::wstring& archive, std::initializer_list<const wchar_t*> sel,
                     const std::wstring& password = L"") {
    auto c = CreateArchiveControl(type);
    c->ArchiveName = archive;
    c->SourceFolder = Src + L"\\";
    c->StorePaths = true;
    c->CompressionLevel = 3;
    c->Password = password;
    c->SetFileList(Lines(sel));
    return c->Add();
  }
  std::wstring Src, Out;
};
}  // namespace

TEST_F(EngineTest, ZipAddExtractAndDeleteRoundTrip) {
  const std::wstring arc = Work / L"t.zip";
  EXPECT_EQ(Add(akZip, arc, {L"a.txt", L"b.txt", L"docs\\"}), arcOk);
  auto names = ListNames(arc);
  EXPECT_EQ(names.count(L"a.txt"), 1u);
  EXPECT_EQ(names.count(L"docs\\c.txt") + names.count(L"docs/c.txt"), 1u);

  // Extraction reports through the hooks and asks before replacing a file.
  auto c = CreateArchiveControl(akZip);
  c->ArchiveName = arc;
  c->SetDestFolder(Out);
  c->StorePaths = true;
  std::vector<std::wstring> begun;
  int64_t lastTotal = -1;
  c->OnFileBegin = [&](TGeneralArchiveControl*, const std::wstring& n, int64_t size, int64_t) {
    if (size >= 0) begun.push_back(n);
  };
  c->OnProgress = [&](TGeneralArchiveControl*, int64_t total, int64_t) { lastTotal = total; };
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(Out + L"\\docs\\c.txt"), "sea");
  EXPECT_EQ(ReadFileRaw(Out + L"\\a.txt").size(), 70000u);
  EXPECT_EQ(begun.size(), 3u);
  EXPECT_GE(lastTotal, 0);

  WriteFileRaw(Out + L"\\b.txt", "old");
  auto again = CreateArchiveControl(akZip);
  again->ArchiveName = arc;
  again->SetDestFolder(Out);
  again->StorePaths = true;
  again->SetFileList(Lines({L"b.txt"}));
  int asked = 0;
  int64_t askedSize = -1;
  again->OnFileExists = [&](TGeneralArchiveControl*, bool& overwrite, double, int64_t size, std::wstring&, bool&) {
    ++asked;
    askedSize = size;
    overwrite = false;
  };
  EXPECT_EQ(again->Extract(), arcOk);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(askedSize, 3);
  EXPECT_EQ(ReadFileRaw(Out + L"\\b.txt"), "old");

  // Delete: entries that are there go; entries that are not give a failure.
  auto del = CreateArchiveControl(akZip);
  del->ArchiveName = arc;
  del->SetFileList(Lines({L"b.txt"}));
  EXPECT_EQ(del->Delete(), arcOk);
  names = ListNames(arc);
  EXPECT_EQ(names.count(L"b.txt"), 0u);
  EXPECT_EQ(names.count(L"a.txt"), 1u);
  auto none = CreateArchiveControl(akZip);
  none->ArchiveName = arc;
  none->SetFileList(Lines({L"nothere.txt"}));
  EXPECT_EQ(none->Delete(), arcFailed);
  EXPECT_EQ(ListNames(arc).size(), names.size());
}

TEST_F(EngineTest, WrongOrWithheldPasswordIsNoSuccess) {
  const std::wstring arc = Work / L"p.zip";
  ASSERT_EQ(Add(akZip, arc, {L"b.txt"}, L"secret"), arcOk);
  ASSERT_EQ(ziptest::PasswordChecks(arc, "secret"), std::vector<bool>{true});
  const std::wstring wrong = ziptest::PasswordRejectedBy(arc);
  ASSERT_FALSE(wrong.empty());
  struct TCase {
    std::wstring Answer;
    TArcResultCode Expected;
  } cases[] = {{wrong, arcBadPassword}, {L"", arcCancelled}, {L"secret", arcOk}};
  for (const TCase& t : cases) {
    TTempDir out;
    auto c = CreateArchiveControl(akZip);
    c->ArchiveName = arc;
    c->SetDestFolder(out.Path());
    int asks = 0;
    c->OnAskPassword = [&](TGeneralArchiveControl*, const std::wstring& name, std::wstring& pw) {
      ++asks;
      EXPECT_EQ(name, L"b.txt");
      pw = t.Answer;
    };
    EXPECT_EQ(c->Extract(), t.Expected) << t.Answer;
    EXPECT_GE(asks, 1);
    EXPECT_EQ(ReadFileRaw(out / L"b.txt") == "bee", t.Expected == arcOk) << t.Answer;
  }
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
}

TEST_F(EngineTest, LzhAddsWithTheEngineAndExtracts) {
  const std::wstring arc = Work / L"t";  // no extension: the writer's default ".LZH"
  EXPECT_EQ(Add(akLzh, arc, {L"a.txt", L"docs\\"}), arcOk);
  const std::wstring lzh = Work / L"t.LZH";
  ASSERT_EQ(GetFileAttributesW(lzh.c_str()) != INVALID_FILE_ATTRIBUTES, true);
  auto c = CreateArchiveControl(akLzh);
  c->ArchiveName = lzh;
  c->SetDestFolder(Out);
  c->StorePaths = false;
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(Out + L"\\c.txt"), "sea");  // paths not restored
  EXPECT_EQ(ReadFileRaw(Out + L"\\a.txt").size(), 70000u);
}

TEST_F(EngineTest, EngineErrorsAskAndMarkTheResult) {
  // A damaged archive: the engine reports, the control asks (Skip) and the result says so.
  const std::wstring arc = Work / L"bad.zip";
  ASSERT_EQ(Add(akZip, arc, {L"a.txt"}), arcOk);
  std::string bytes = ReadFileRaw(arc);
  bytes[40] = static_cast<char>(bytes[40] ^ 0x55);  // inside the packed data
  bytes[41] = static_cast<char>(bytes[41] ^ 0x55);
  WriteFileRaw(arc, bytes);
  for (int i = 0; i < 4; ++i) TMsgBoxSeam::Get().PushButton(0);
  auto c = CreateArchiveControl(akZip);
  c->ArchiveName = arc;
  c->SetDestFolder(Out);
  EXPECT_EQ(c->Extract(), arcErrorsShown);
  ASSERT_FALSE(TMsgBoxSeam::Get().Shown.empty());
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Title.rfind(LoadMessageText(8) + L" ", 0), 0u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Buttons.size(), 3u);
}

TEST_F(EngineTest, TreeRunsTheControlForItsType) {
  THanArcTree tree;
  tree.CreateControl(akJar);
  ASSERT_NE(dynamic_cast<TJARArchiveControl*>(tree.Control.get()), nullptr);
  EXPECT_EQ(tree.Control->ArcType, akJar);
  const std::wstring arc = Work / L"t.jar";
  TStringList sel = Lines({L"b.txt"});
  EXPECT_EQ(tree.AddFiles(arc, Src + L"\\", sel), arcOk);
  tree.CreateControl(akJar);
  EXPECT_EQ(tree.ExtractFiles(arc, Out, sel), arcOk);
  EXPECT_EQ(tree.Control->DestFolder, Out + L"\\");
  EXPECT_EQ(ReadFileRaw(Out + L"\\b.txt"), "bee");
  tree.CreateControl(akJar);
  EXPECT_EQ(tree.DeleteFiles(arc, sel), arcOk);
  EXPECT_EQ(tree.Control->SourceFolder, Work.Path() + L"\\");
  tree.CreateControl(99);
  EXPECT_EQ(typeid(*tree.Control), typeid(TGeneralArchiveControl));
}

TEST_F(EngineTest, WritableFormatsAddAndExtractThroughTheirControls) {
  const struct {
    uint8_t Type;
    const wchar_t* Name;
    int Level;
  } cases[] = {{akTar, L"t.tar", 0}, {akCab, L"t.cab", 3}, {akBh, L"t.bh", 3}, {akJar, L"t.jar", 3}};
  for (const auto& t : cases) {
    auto add = CreateArchiveControl(t.Type);
    add->ArchiveName = Work / t.Name;
    add->SourceFolder = Src + L"\\";
    add->StorePaths = true;
    add->CompressionLevel = t.Level;
    add->SetFileList(Lines({L"b.txt", L"docs\\"}));
    ASSERT_EQ(add->Add(), arcOk) << t.Name;
    const std::wstring out = Work / (std::wstring(L"x_") + t.Name);
    auto ex = CreateArchiveControl(t.Type);
    ex->ArchiveName = add->ArchiveName;
    ex->SetDestFolder(out);
    ex->StorePaths = true;
    EXPECT_EQ(ex->Extract(), arcOk) << t.Name;
    EXPECT_EQ(ReadFileRaw(out + L"\\b.txt"), "bee") << t.Name;
    EXPECT_EQ(ReadFileRaw(out + L"\\docs\\c.txt"), "sea") << t.Name;
  }
  // One file as GZ keeps GZ, and the writer's name is taken.
  auto gz = CreateArchiveControl(akGz);
  gz->ArchiveName = Work / L"one.gz";
  gz->SourceFolder = Src + L"\\";
  gz->SetFileList(Lines({L"b.txt"}));
  ASSERT_EQ(gz->Add(), arcOk);
  EXPECT_EQ(GetFileAttributesW(gz->ArchiveName.c_str()) != INVALID_FILE_ATTRIBUTES, true) << gz->ArchiveName;
}
