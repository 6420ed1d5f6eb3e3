// The ACE library driver, end to end: the ACE control extracts through the stand-in library of
// tools/unacedll (loaded from the program's folder like the real one), whose call log shows what
// the driver asked of it and how it answered the callbacks. Archives come from LibFixtures.h.
#include "archive/layer/UnAceV2.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "arclayer/LibFixtures.h"
#include "arclayer/StandIn.h"
#include "common/TestUtil.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"

namespace {

using namespace arctest;
using arcfix::TLibFile;
using arcfix::TLibSet;

class UnAceTest : public TLibDriverTest {
 protected:
  UnAceTest() : TLibDriverTest(L"UnAceV2.Dll", akAce) {}
  void TearDown() override {
    UnAceLibraryName = L"UnAceV2.Dll";
    TLibDriverTest::TearDown();
  }

  std::wstring Write(const std::string& name, const std::vector<TLibFile>& files, const TLibSet& set = {}) {
    return WriteVolumes(name, arcfix::AceSet(files, set), false);
  }
};

std::vector<TLibFile> SampleFiles() {
  return {{"a.txt", "hello world\n"}, {"sub\\b.txt", std::string(300, 'x') + "end"}, {"c.bin", "0123456789abcdef"}};
}

}  // namespace

TEST_F(UnAceTest, ExtractsThroughTheLibraryWithItsSettingsAndHooksInOrder) {
  const auto files = SampleFiles();
  auto c = Control(Write("one.ace", files));
  c->StorePaths = true;
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), files[0].Data);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\sub\\b.txt"), files[1].Data);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\c.bin"), files[2].Data);
  EXPECT_FALSE(c->AllowRename);
  EXPECT_FALSE(UnAceDllLoaded());

  const std::string log = Lib.Log();
  EXPECT_NE(log.find("ACEInitDll test=131071 buffer=196607 comment=8191 temp="), std::string::npos) << log;
  EXPECT_NE(log.find(" callbacks=4\n"), std::string::npos) << log;
  EXPECT_TRUE(LogHas(log, "ACEExtract " + WideToUtf8(Work / L"one.ace") + " source= list= exclude= full=0 dest=" +
                              WideToUtf8(Dest) + "\\ nopath=0 password="))
      << log;
  EXPECT_TRUE(LogHas(log, "info 0:256 -> 0")) << log;
  EXPECT_TRUE(LogHas(log, "ACEExtract -> 0")) << log;

  // Every file begins and ends, the last one when the run ends.
  const std::vector<std::wstring> want = {
      L"archive one.ace 0 0",        L"archive one.ace 0 0", L"begin a.txt 12 12",   L"progress 12/12",
      L"end 12",                     L"begin sub\\b.txt 303 303", L"progress 303/303", L"end 303",
      L"begin c.bin 16 16",          L"progress 16/16",      L"end 16"};
  EXPECT_EQ(Events, want);
}

TEST_F(UnAceTest, SelectionBecomesTheLibrarysListAndPathsAreLeftOut) {
  auto c = Control(Write("one.ace", SampleFiles()));
  TStringList sel;
  sel.Add(L"sub\\");
  sel.Add(L"a.txt");
  c->SetFileList(sel);
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_NE(Lib.Log().find(" list=a.txt|sub\\*.* "), std::string::npos) << Lib.Log();
  EXPECT_NE(Lib.Log().find(" nopath=1 "), std::string::npos) << Lib.Log();
  EXPECT_TRUE(Exists(Dest + L"\\a.txt"));
  EXPECT_TRUE(Exists(Dest + L"\\b.txt"));
  EXPECT_FALSE(Exists(Dest + L"\\sub"));
  EXPECT_FALSE(Exists(Dest + L"\\c.bin"));
}

TEST_F(UnAceTest, ASelectionTooLongForTheListIsCheckedFileByFile) {
  auto c = Control(Write("one.ace", SampleFiles()));
  TStringList sel;
  sel.Add(L"c.bin");
  for (int i = 0; i < 400; ++i) sel.Add(L"folder\\" + std::wstring(90, L'n') + std::to_wstring(i) + L".txt");
  c->SetFileList(sel);
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_NE(Lib.Log().find(" list= "), std::string::npos) << Lib.Log().substr(0, 400);
  EXPECT_TRUE(Exists(Dest + L"\\c.bin"));
  EXPECT_FALSE(Exists(Dest + L"\\a.txt"));
  EXPECT_FALSE(Exists(Dest + L"\\b.txt"));
}

TEST_F(UnAceTest, ExistingFilesAskTheControl) {
  const std::wstring archive = Write("one.ace", SampleFiles());
  CreateDirectoryW(Dest.c_str(), nullptr);
  struct Case {
    bool Overwrite, Cancel;
    TArcResultCode Result;
    const char* Content;
  } cases[] = {{false, false, arcOk, "keep"}, {true, false, arcOk, "hello world\n"}, {true, true, arcCancelled, "keep"}};
  for (const Case& k : cases) {
    WriteFileRaw(Dest + L"\\a.txt", "keep");
    DeleteFileW((Dest + L"\\c.bin").c_str());
    Lib.Setup("");
    auto c = Control(archive);
    double askedDate = 0;
    c->OnFileExists = [&](TGeneralArchiveControl*, bool& overwrite, double date, int64_t, std::wstring&, bool& cancel) {
      askedDate = date;
      overwrite = k.Overwrite;
      cancel = k.Cancel;
    };
    EXPECT_EQ(c->Extract(), k.Result) << k.Overwrite << k.Cancel;
    EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), k.Content) << k.Overwrite << k.Cancel;
    EXPECT_GT(askedDate, 45000);  // the entry's 2025 date
    EXPECT_EQ(Exists(Dest + L"\\c.bin"), !k.Cancel);
  }
}

TEST_F(UnAceTest, PasswordRequestAndItsAnswers) {
  std::vector<TLibFile> files = {{"plain.txt", "abc"}, {"secret.txt", "hidden text"}};
  files[1].Encrypted = true;
  const std::wstring archive = Write("enc.ace", files);
  struct Case {
    const wchar_t* Answer;
    TArcResultCode Result;
    bool Kept;
  } cases[] = {{L"open sesame", arcOk, true}, {L"", arcCancelled, false}, {L"wrong", arcCrcError, false}};
  for (const Case& k : cases) {
    Wipe(Dest);
    Lib.Setup("password=open sesame");
    auto c = Control(archive);
    std::wstring asked;
    c->OnAskPassword = [&](TGeneralArchiveControl*, const std::wstring& name, std::wstring& password) {
      asked = name;
      password = k.Answer;
    };
    EXPECT_EQ(c->Extract(), k.Result) << WideToUtf8(k.Answer);
    EXPECT_EQ(asked, L"secret.txt");
    EXPECT_EQ(ReadFileRaw(Dest + L"\\plain.txt"), "abc");
    EXPECT_EQ(Exists(Dest + L"\\secret.txt"), k.Kept) << WideToUtf8(k.Answer);
    if (k.Kept) {
      EXPECT_EQ(ReadFileRaw(Dest + L"\\secret.txt"), "hidden text");
    }
    EXPECT_TRUE(LogHas(Lib.Log(), std::string("request 2:835 op=3 secret.txt -> ") + (*k.Answer ? "0" : "2")))
        << Lib.Log();
  }
}

TEST_F(UnAceTest, VolumesAreFollowedAndAMissingOneIsAskedFor) {
  const auto files = SampleFiles();
  TLibSet set;
  set.VolumeData = 100;
  const std::wstring archive = Write("v.ace", files, set);
  auto c = Control(archive);
  c->StorePaths = true;
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\sub\\b.txt"), files[1].Data);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\c.bin"), files[2].Data);
  for (const wchar_t* v : {L"volume v.c00", L"volume v.c01", L"volume v.c02"}) EXPECT_TRUE(Has(v)) << WideToUtf8(v);

  const std::wstring second = Work / L"v.c01", moved = Work / L"moved.c01";
  ASSERT_TRUE(MoveFileW(second.c_str(), moved.c_str()));
  struct Case {
    std::wstring Answer;
    TArcResultCode Result;
  } cases[] = {{L"", arcCancelled}, {moved, arcOk}};
  for (const Case& k : cases) {
    Wipe(Dest);
    Lib.Setup("");
    Events.clear();
    std::vector<std::wstring> asked;
    auto d = Control(archive);
    d->StorePaths = true;
    d->OnAskVolume = [&](TGeneralArchiveControl*, bool editable, std::wstring& name) {
      asked.push_back(name + (editable ? L" editable" : L""));
      // The volume after the moved one is looked for beside it: it is pointed back.
      name = name == Work / L"moved.c02" ? Work / L"v.c02" : k.Answer;
    };
    EXPECT_EQ(d->Extract(), k.Result);
    if (k.Result == arcOk)
      EXPECT_EQ(asked, (std::vector<std::wstring>{second, Work / L"moved.c02"}));
    else
      EXPECT_EQ(asked, std::vector<std::wstring>{second});
    // The entry that needed the volume is whole or absent.
    EXPECT_EQ(Exists(Dest + L"\\sub\\b.txt"), k.Result == arcOk);
    if (k.Result == arcOk) {
      EXPECT_TRUE(Has(L"volume moved.c01"));
      EXPECT_EQ(ReadFileRaw(Dest + L"\\sub\\b.txt"), files[1].Data);
    }
  }
}

TEST_F(UnAceTest, LibraryResultsAndCallbackErrorsBecomeResultCodes) {
  const std::wstring archive = Write("one.ace", SampleFiles());
  struct Case {
    const char* Config;
    TArcResultCode Result;
    int Message;
  } cases[] = {
      {"result=1", arcNoMemory, 30234},      {"result=4", arcDiskFull, 30246},     {"result=5", arcOpenFailed, 30238},
      {"result=6", arcReadError, 30242},     {"result=7", arcWriteError, 30243},   {"result=9", arcCrcError, 30236},
      {"result=255", arcCancelled, 30245},   {"result=3", arcFailed, 30232},       {"init=1", arcDllNotLoaded, 30233},
      {"error=0:512:0", arcNoMemory, 30234}, {"error=0:518:1", arcWriteError, 30243}, {"error=0:700:0", arcFailed, 30232},
      {"error=1:546:0", arcFailed, 30232},   {"error=1:550:0", arcOpenFailed, 30238}, {"error=1:552:1", arcReadError, 30242},
      {"error=1:556:0", arcCrcError, 30236}, {"error=1:559:0", arcBadArchive, 30235}, {"error=1:558:0", arcOk, 30231},
      {"error=1:561:0", arcOk, 30231},       {"error=1:600:0", arcCancelled, 30245}, {"error=2:576:0", arcCreateFailed, 30239},
      {"error=2:580:1", arcWriteError, 30243}, {"error=2:582:0", arcWriteError, 30243}, {"error=2:588:0", arcWriteError, 30243},
      {"error=2:586:0", arcFailed, 30232},   {"error=2:587:2", arcDiskFull, 30246},  {"error=2:600:0", arcCancelled, 30245},
      {"error=5:1:0", arcCancelled, 30245},
  };
  for (const Case& k : cases) {
    Wipe(Dest);
    Lib.Setup(k.Config);
    auto c = Control(archive);
    const TArcResultCode r = c->Extract();
    EXPECT_EQ(r, k.Result) << k.Config;
    EXPECT_EQ(GetArchiveErrorText(r), LoadMessageText(k.Message)) << k.Config;
    EXPECT_FALSE(UnAceDllLoaded()) << k.Config;
  }
  // The answers the library got: "cancel" for global errors and unknown codes, "go on" for the rest.
  Lib.Setup("error=0:512:0");
  Control(archive)->Extract();
  EXPECT_TRUE(LogHas(Lib.Log(), "error 0:512 -> 2")) << Lib.Log();
  Lib.Setup("error=2:587:0");
  Control(archive)->Extract();
  EXPECT_TRUE(LogHas(Lib.Log(), "error 2:587 op=3 a.txt -> 0")) << Lib.Log();
}

TEST_F(UnAceTest, MissingLibraryOrExportAndTargetFolderFailures) {
  const std::wstring archive = Write("one.ace", SampleFiles());
  for (const wchar_t* name : {L"no-such-unace.dll", L"unace_lacking.dll"}) {
    UnAceLibraryName = name;
    EXPECT_FALSE(LoadUnAceDll(L"")) << WideToUtf8(name);
    const TArcResultCode r = Control(archive)->Extract();
    EXPECT_EQ(r, arcDllNotLoaded);
    EXPECT_EQ(GetArchiveErrorText(r), LoadMessageText(30233));
    EXPECT_FALSE(UnAceDllLoaded());
  }
  UnAceLibraryName = L"UnAceV2.Dll";
  // The library from a folder, with and without its trailing separator.
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  folder.resize(folder.find_last_of(L'\\'));
  for (const std::wstring& dir : {folder, folder + L"\\"}) {
    EXPECT_TRUE(LoadUnAceDll(dir)) << WideToUtf8(dir);
    UnloadUnAceDll();
  }
  EXPECT_FALSE(LoadUnAceDll(Work.Path()));

  WriteFileRaw(Work / L"file", "x");
  auto c = Control(archive);
  c->SetDestFolder(Work / L"file\\below");
  EXPECT_EQ(c->Extract(), arcMkDirFailed);
  EXPECT_EQ(Lib.Log().find("ACEInitDll"), std::string::npos);
}

TEST_F(UnAceTest, NamesThatWouldLeaveTheTargetAreSkipped) {
  const std::vector<TLibFile> files = {
      {"..\\up.txt", "1"}, {"\\root.txt", "2"}, {"a\\..\\..\\deep.txt", "3"}, {"ok\\in.txt", "4"}};
  const std::wstring archive = Write("evil.ace", files);
  const std::wstring dest = Work / L"in\\deep";
  auto c = Control(archive);
  c->SetDestFolder(dest);
  c->StorePaths = true;
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(dest + L"\\ok\\in.txt"), "4");
  EXPECT_FALSE(Exists(Work / L"in\\up.txt"));
  EXPECT_FALSE(Exists(Work / L"in\\deep.txt"));
  EXPECT_FALSE(Exists(Work / L"up.txt"));
  EXPECT_FALSE(Exists(dest + L"\\root.txt"));
  for (const char* name : {"..\\up.txt", "\\root.txt", "a\\..\\..\\deep.txt"})
    EXPECT_TRUE(LogHas(Lib.Log(), std::string("state 2:1040 op=3 ") + name + " -> 1")) << name << Lib.Log();

  // Without stored paths only the file-name part counts, which stays inside.
  Lib.Setup("");
  auto d = Control(archive);
  d->SetDestFolder(dest + L"\\flat");
  EXPECT_EQ(d->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(dest + L"\\flat\\up.txt"), "1");
  EXPECT_EQ(ReadFileRaw(dest + L"\\flat\\deep.txt"), "3");
}

TEST_F(UnAceTest, DamagedArchivesEndInAnErrorAndLeaveNoPartialFile) {
  const auto files = SampleFiles();
  const std::string whole = arcfix::AceSet(files)[0];
  EXPECT_GT(ExtractEveryDamage(whole, Work / L"cut.ace", files), static_cast<int>(whole.size() / 3));
}

TEST_F(UnAceTest, StopsByTheUserAndAutomaticStops) {
  const auto files = SampleFiles();
  const std::wstring archive = Write("one.ace", files);
  {
    Lib.Setup("chunk=50");
    auto c = Control(archive);
    c->StorePaths = true;
    c->OnProgress = [](TGeneralArchiveControl* s, int64_t, int64_t done) {
      if (done >= 100) {
        s->UserStop = true;
        s->SetCancel(true);
      }
    };
    EXPECT_EQ(c->Extract(), arcCancelled);
    EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), files[0].Data);
    EXPECT_FALSE(Exists(Dest + L"\\sub\\b.txt")) << "the broken-off file is removed";
  }
  {
    // All chosen files done: the progress window stops the control; the next file is not begun.
    Wipe(Dest);
    Lib.Setup("");
    Events.clear();
    auto c = Control(archive);
    c->StorePaths = true;
    c->OnFileEnd = [](TGeneralArchiveControl* s, int64_t) { s->SetCancel(true); };
    EXPECT_EQ(c->Extract(), arcOk);
    EXPECT_TRUE(Exists(Dest + L"\\a.txt"));
    EXPECT_FALSE(Exists(Dest + L"\\sub\\b.txt"));
    EXPECT_FALSE(Has(L"begin sub\\b.txt 303 303"));
  }
  {
    // An error reported before the automatic stop is kept.
    Wipe(Dest);
    Lib.Setup("error=2:580:1");
    auto c = Control(archive);
    c->StorePaths = true;
    int ends = 0;
    c->OnFileEnd = [&](TGeneralArchiveControl* s, int64_t) {
      if (++ends == 2) s->SetCancel(true);
    };
    EXPECT_EQ(c->Extract(), arcWriteError);
  }
  {
    // A password refused while the control is stopping stays a cancel.
    std::vector<TLibFile> enc = {{"plain.txt", "abc"}, {"secret.txt", "hidden"}};
    enc[1].Encrypted = true;
    Wipe(Dest);
    Lib.Setup("");
    auto c = Control(Write("enc.ace", enc));
    c->OnAskPassword = [](TGeneralArchiveControl* s, const std::wstring&, std::wstring& password) {
      password.clear();
      s->Cancelled = true;
    };
    EXPECT_EQ(c->Extract(), arcCancelled);
  }
}

TEST_F(UnAceTest, SolidEntriesPassedOverReportTotalProgress) {
  TLibSet solid;
  solid.Solid = true;
  auto c = Control(Write("solid.ace", SampleFiles(), solid));
  TStringList sel;
  sel.Add(L"c.bin");
  c->SetFileList(sel);
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\c.bin"), "0123456789abcdef");
  EXPECT_TRUE(Has(L"pass 0/303")) << "the file analysed on the way";
  EXPECT_FALSE(Has(L"progress 303/303"));
  EXPECT_TRUE(LogHas(Lib.Log(), "state 2:1040 op=2 sub\\b.txt -> 0")) << Lib.Log();
  EXPECT_FALSE(Exists(Dest + L"\\b.txt"));
}
