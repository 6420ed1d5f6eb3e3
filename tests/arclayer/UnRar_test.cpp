// The RAR library driver, end to end: the RAR control extracts through the stand-in library of
// tools/unrardll (loaded from the program's folder like the real one), whose call log shows what
// the driver asked of it. Archives come from LibFixtures.h.
#include "archive/layer/UnRar.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "arclayer/LibFixtures.h"
#include "arclayer/StandIn.h"
#include "archive/engine/zevGbls.h"
#include "common/TestUtil.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"

namespace {

using namespace arctest;
using arcfix::TLibFile;
using arcfix::TLibSet;

class UnRarTest : public TLibDriverTest {
 protected:
  UnRarTest() : TLibDriverTest(L"unrar.dll", akRar) {}
  void TearDown() override {
    UnRarLibraryName = L"unrar.dll";
    TLibDriverTest::TearDown();
  }

  std::wstring Write(const std::string& name, const std::vector<TLibFile>& files, const TLibSet& set = {}) {
    return WriteVolumes(name, arcfix::RarSet(files, set), set.NewNaming);
  }
};

std::vector<TLibFile> SampleFiles() {
  std::vector<TLibFile> f = {{"a.txt", "hello world\n"},
                             {"sub\\b.txt", std::string(300, 'x') + "end"},
                             {"sub", ""},
                             {"c.bin", "0123456789abcdef"}};
  f[2].Attr = 0x10;
  f[3].Dos = 0x4A2E6B8C;  // 2017-01-14 13:28:24
  return f;
}

}  // namespace

TEST_F(UnRarTest, ExtractsWithPathsDataTimesAndAttributes) {
  auto files = SampleFiles();
  files[3].Attr = 0x21;  // read-only, archive
  auto c = Control(Write("one.rar", files));
  c->StorePaths = true;
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), files[0].Data);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\sub\\b.txt"), files[1].Data);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\c.bin"), files[3].Data);

  WIN32_FILE_ATTRIBUTE_DATA info{};
  ASSERT_TRUE(GetFileAttributesExW((Dest + L"\\c.bin").c_str(), GetFileExInfoStandard, &info));
  EXPECT_EQ(info.dwFileAttributes & 0x27u, 0x21u);
  FILETIME want{};
  DosDateTimeToUtcFileTime(static_cast<int32_t>(files[3].Dos), want);
  EXPECT_EQ(CompareFileTime(&info.ftLastWriteTime, &want), 0);
  SetFileAttributesW((Dest + L"\\c.bin").c_str(), FILE_ATTRIBUTE_NORMAL);

  // The hooks, in the driver's order: the archive without totals, then each file.
  const std::vector<std::wstring> first = {L"archive one.rar 0 0", L"begin a.txt 12 12", L"progress 12/12",
                                           L"end 12", L"begin sub\\b.txt 303 303"};
  ASSERT_GE(Events.size(), first.size());
  EXPECT_EQ(std::vector<std::wstring>(Events.begin(), Events.begin() + first.size()), first);

  // What the library was asked: opened for extraction with a 16384-byte comment buffer, the
  // callback installed, every entry tested (the driver writes the data) with no destination.
  const std::string log = Lib.Log();
  EXPECT_TRUE(LogHas(log, "RAROpenArchive " + WideToUtf8(Work / L"one.rar") + " mode=1 comment=16384")) << log;
  EXPECT_LT(log.find("RARSetCallback"), log.find("RARReadHeader"));
  for (const char* line : {"RARProcessFile a.txt op=1 -> 0", "RARProcessFile sub\\b.txt op=1 -> 0",
                           "RARProcessFile sub op=1 -> 0", "RARProcessFile c.bin op=1 -> 0", "RARReadHeader  -> 10",
                           "RARCloseArchive"})
    EXPECT_TRUE(LogHas(log, line)) << line << "\n" << log;
  EXPECT_FALSE(UnRarDllLoaded());
}

TEST_F(UnRarTest, WithoutPathsOnlyFileNamesAndSelectionSkips) {
  auto c = Control(Write("one.rar", SampleFiles()));
  c->StorePaths = false;
  TStringList sel;
  sel.Add(L"sub\\b.txt");
  c->SetFileList(sel);
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_TRUE(Exists(Dest + L"\\b.txt"));
  EXPECT_FALSE(Exists(Dest + L"\\sub"));
  EXPECT_FALSE(Exists(Dest + L"\\a.txt"));
  const std::string log = Lib.Log();
  EXPECT_TRUE(LogHas(log, "RARProcessFile a.txt op=0 -> 0")) << log;
  EXPECT_TRUE(LogHas(log, "RARProcessFile sub\\b.txt op=1 -> 0")) << log;
  EXPECT_FALSE(Has(L"begin a.txt 12 12"));
  EXPECT_TRUE(Has(L"begin b.txt 303 303"));
}

TEST_F(UnRarTest, EmptyArchiveSucceedsAtTheEndOfTheArchive) {
  auto c = Control(Write("empty.rar", {}));
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_TRUE(LogHas(Lib.Log(), "RARReadHeader  -> 10")) << Lib.Log();
}

TEST_F(UnRarTest, ExistingFileSkippedOrCancelled) {
  const std::wstring archive = Write("one.rar", SampleFiles());
  std::wstring created;
  ForceFolders(Dest, created);
  WriteFileRaw(Dest + L"\\a.txt", "keep");
  {
    auto c = Control(archive);
    std::wstring asked;
    c->OnFileExists = [&](TGeneralArchiveControl*, bool& overwrite, double date, int64_t size, std::wstring& name,
                          bool&) {
      asked = name + L" " + std::to_wstring(size) + L" " + std::to_wstring(date > 45000);
      overwrite = false;
    };
    EXPECT_EQ(c->Extract(), arcOk);
    EXPECT_EQ(asked, Dest + L"\\a.txt 12 1");
    EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), "keep");
    // A skipped file reports its progress and end at once and the library skips it.
    EXPECT_TRUE(Has(L"progress 12/12") && Has(L"end 12"));
    EXPECT_TRUE(LogHas(Lib.Log(), "RARProcessFile a.txt op=0 -> 0")) << Lib.Log();
    EXPECT_TRUE(Exists(Dest + L"\\c.bin"));
  }
  {
    Lib.Setup("");
    auto c = Control(archive);
    c->OnFileExists = [&](TGeneralArchiveControl*, bool&, double, int64_t, std::wstring&, bool& cancel) {
      cancel = true;
    };
    EXPECT_EQ(c->Extract(), arcCancelled);
    EXPECT_EQ(Lib.Log().find("RARProcessFile"), std::string::npos) << Lib.Log();
    EXPECT_TRUE(LogHas(Lib.Log(), "RARCloseArchive"));
  }
}

TEST_F(UnRarTest, PasswordAskedBeforeTheFileAndRefusalLeavesNothing) {
  std::vector<TLibFile> files = {{"plain.txt", "abc"}, {"secret.txt", "hidden text"}};
  files[1].Encrypted = true;
  const std::wstring archive = Write("enc.rar", files);
  Lib.Setup("password=open sesame");

  struct Case {
    const wchar_t* Answer;
    TArcResultCode Result;
    bool SecretKept;
  } cases[] = {{L"open sesame", arcOk, true}, {L"", arcCancelled, false}, {L"wrong", arcCrcError, false}};
  for (const Case& k : cases) {
    Wipe(Dest);
    Lib.Setup("password=open sesame");
    auto c = Control(archive);
    bool fileThereWhenAsked = true;
    std::wstring askedFor;
    c->OnAskPassword = [&](TGeneralArchiveControl*, const std::wstring& name, std::wstring& password) {
      askedFor = name;
      fileThereWhenAsked = Exists(Dest + L"\\secret.txt");
      password = k.Answer;
    };
    EXPECT_EQ(c->Extract(), k.Result) << WideToUtf8(k.Answer);
    EXPECT_EQ(askedFor, L"secret.txt");
    EXPECT_FALSE(fileThereWhenAsked);
    EXPECT_EQ(ReadFileRaw(Dest + L"\\plain.txt"), "abc");
    EXPECT_EQ(Exists(Dest + L"\\secret.txt"), k.SecretKept) << WideToUtf8(k.Answer);
    if (k.SecretKept) {
      EXPECT_EQ(ReadFileRaw(Dest + L"\\secret.txt"), "hidden text");
    }
    const std::string log = Lib.Log();
    if (*k.Answer) {
      EXPECT_LT(log.find("RARSetPassword " + WideToUtf8(k.Answer)), log.find("RARProcessFile secret.txt")) << log;
    } else {
      EXPECT_EQ(log.find("RARSetPassword"), std::string::npos) << log;
      EXPECT_EQ(log.find("RARProcessFile secret.txt"), std::string::npos) << log;
    }
  }
}

TEST_F(UnRarTest, VolumesAreFollowedAndAMissingOneIsAskedFor) {
  const auto files = SampleFiles();
  TLibSet set;
  set.VolumeData = 100;
  for (bool newNaming : {true, false}) {
    set.NewNaming = newNaming;
    const std::string first = newNaming ? "v.part1.rar" : "old.rar";
    const std::wstring archive = Write(first, files, set);
    Events.clear();
    Wipe(Dest);
    Lib.Setup("");
    auto c = Control(archive);
    c->StorePaths = true;
    EXPECT_EQ(c->Extract(), arcOk);
    EXPECT_EQ(ReadFileRaw(Dest + L"\\sub\\b.txt"), files[1].Data);
    EXPECT_EQ(ReadFileRaw(Dest + L"\\c.bin"), files[3].Data);
    for (size_t i = 1; i < 4; ++i)
      EXPECT_TRUE(Has(L"volume " + W(arcfix::LibVolumeName(first, i, newNaming)))) << i;
  }

  // The third volume is missing: the user is asked for it; no answer stops the run and the
  // entry that needed it is not left half written.
  const std::wstring third = Work / L"v.part3.rar", moved = Work / L"moved\\v.part3.rar";
  CreateDirectoryW((Work / L"moved").c_str(), nullptr);
  ASSERT_TRUE(MoveFileW(third.c_str(), moved.c_str()));
  Wipe(Dest);
  Lib.Setup("");
  std::vector<std::wstring> asked;
  auto c = Control(Work / L"v.part1.rar");
  c->StorePaths = true;
  c->OnAskVolume = [&](TGeneralArchiveControl*, bool editable, std::wstring& name) {
    asked.push_back(name + (editable ? L" editable" : L""));
    name.clear();
  };
  EXPECT_EQ(c->Extract(), arcCancelled);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], third);
  EXPECT_FALSE(Exists(Dest + L"\\sub\\b.txt"));
  EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), files[0].Data);

  // Given the volume's other place, the library goes on there (and asks again for the next
  // volume, which it looks for beside the moved one).
  Lib.Setup("");
  Events.clear();
  asked.clear();
  auto d = Control(Work / L"v.part1.rar");
  d->StorePaths = true;
  d->OnFileExists = [](TGeneralArchiveControl*, bool& overwrite, double, int64_t, std::wstring&, bool&) {
    overwrite = true;
  };
  d->OnAskVolume = [&](TGeneralArchiveControl*, bool, std::wstring& name) {
    asked.push_back(name);
    name = name == third ? moved : Work / L"v.part4.rar";
  };
  EXPECT_EQ(d->Extract(), arcOk);
  EXPECT_EQ(asked, (std::vector<std::wstring>{third, Work / L"moved\\v.part4.rar"}));
  EXPECT_TRUE(Has(L"volume v.part3.rar"));
  EXPECT_EQ(ReadFileRaw(Dest + L"\\sub\\b.txt"), files[1].Data);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\c.bin"), files[3].Data);
  EXPECT_TRUE(LogHas(Lib.Log(), "volume ask " + WideToUtf8(third) + " -> 1")) << Lib.Log();
}

TEST_F(UnRarTest, ResultCodesAndTheirMessages) {
  const std::wstring archive = Write("one.rar", SampleFiles());
  struct Case {
    const char* Config;
    TArcResultCode Result;
    int Message;
  } cases[] = {
      {"open=11", arcNoMemory, 30234},    {"open=13", arcBadArchive, 30235},
      {"open=15", arcOpenFailed, 30238},  {"open=21", arcFailed, 30232},
      {"process=1:12", arcCrcError, 30236}, {"process=1:13", arcBadArchive, 30235},
      {"process=1:14", arcBadFormat, 30237}, {"process=1:15", arcOpenFailed, 30238},
      {"process=1:16", arcCreateFailed, 30239}, {"process=1:17", arcCloseFailed, 30241},
      {"process=1:18", arcReadError, 30242}, {"process=1:19", arcWriteError, 30243},
      {"process=2:22", arcFailed, 30232},    {"header=1:12", arcFailed, 30232},
      {"header=3:12", arcFailed, 30232},     {"header=1:10", arcOk, 30231},
  };
  for (const Case& k : cases) {
    Lib.Setup(k.Config);
    auto c = Control(archive);
    c->StorePaths = true;
    c->OnFileExists = [](TGeneralArchiveControl*, bool& overwrite, double, int64_t, std::wstring&, bool&) {
      overwrite = true;
    };
    const TArcResultCode r = c->Extract();
    EXPECT_EQ(r, k.Result) << k.Config;
    EXPECT_EQ(GetArchiveErrorText(r), LoadMessageText(k.Message)) << k.Config;
    EXPECT_FALSE(UnRarDllLoaded()) << k.Config;
    // A failed entry's output is gone; entries before it stay.
    const std::string config = k.Config;
    if (config.rfind("process=1:", 0) == 0) {
      EXPECT_FALSE(Exists(Dest + L"\\a.txt")) << config;
    }
    if (config == "process=2:22") {
      EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), "hello world\n");
    }
    if (config.rfind("open=", 0) == 0) {
      EXPECT_EQ(Lib.Log().find("RARSetCallback"), std::string::npos) << config;
    }
  }
}

TEST_F(UnRarTest, MissingLibraryOrExportGivesDllNotLoaded) {
  const std::wstring archive = Write("one.rar", SampleFiles());
  for (const wchar_t* name : {L"no-such-unrar.dll", L"unrar_lacking.dll"}) {
    UnRarLibraryName = name;
    EXPECT_FALSE(LoadUnRarDll()) << WideToUtf8(name);
    EXPECT_FALSE(UnRarDllLoaded());
    auto c = Control(archive);
    const TArcResultCode r = c->Extract();
    EXPECT_EQ(r, arcDllNotLoaded);
    EXPECT_EQ(GetArchiveErrorText(r), LoadMessageText(30233));
  }
  EXPECT_FALSE(Exists(Dest));
  UnRarLibraryName = L"unrar.dll";
  EXPECT_TRUE(LoadUnRarDll());
  EXPECT_TRUE(LoadUnRarDll()) << "already loaded";
  UnloadUnRarDll();
  EXPECT_FALSE(UnRarDllLoaded());
}

TEST_F(UnRarTest, StoredNamesNeverLeaveTheTargetFolder) {
  const std::vector<TLibFile> files = {{"..\\up.txt", "1"},        {"\\root.txt", "2"},
                                       {"C:\\drive.txt", "3"},    {"a\\..\\..\\deep.txt", "4"},
                                       {"..", "5"},               {"ok\\. \\x.txt", "6"}};
  const std::wstring archive = Write("evil.rar", files);
  for (bool paths : {true, false}) {
    Lib.Setup("");
    const std::wstring dest = Work / (paths ? L"in\\paths" : L"in\\flat");
    auto c = Control(archive);
    c->SetDestFolder(dest);
    c->StorePaths = paths;
    EXPECT_EQ(c->Extract(), arcOk);
    EXPECT_EQ(ReadFileRaw(dest + L"\\up.txt"), "1");
    EXPECT_EQ(ReadFileRaw(dest + L"\\root.txt"), "2");
    EXPECT_EQ(ReadFileRaw(dest + L"\\drive.txt"), "3");
    EXPECT_EQ(ReadFileRaw(dest + (paths ? L"\\a\\deep.txt" : L"\\deep.txt")), "4");
    EXPECT_EQ(ReadFileRaw(dest + (paths ? L"\\ok\\x.txt" : L"\\x.txt")), "6");
  }
  // Nothing above the two target folders.
  EXPECT_FALSE(Exists(Work / L"up.txt"));
  EXPECT_FALSE(Exists(Work / L"in\\up.txt"));
  EXPECT_FALSE(Exists(Work / L"deep.txt"));
  EXPECT_FALSE(Exists(Work / L"in\\deep.txt"));
  EXPECT_FALSE(Exists(L"C:\\drive.txt"));
}

TEST_F(UnRarTest, DamagedArchivesEndInAnErrorAndLeaveNoPartialFile) {
  const auto files = SampleFiles();
  const std::string whole = arcfix::RarSet(files)[0];
  EXPECT_GT(ExtractEveryDamage(whole, Work / L"cut.rar", files), static_cast<int>(whole.size() / 3));
}

TEST_F(UnRarTest, UserStopGivesCancelledAndAutomaticStopSuccess) {
  const auto files = SampleFiles();
  const std::wstring archive = Write("one.rar", files);
  {
    Lib.Setup("chunk=50");
    auto c = Control(archive);
    c->StorePaths = true;
    c->OnProgress = [&](TGeneralArchiveControl* s, int64_t, int64_t done) {
      if (done >= 100) {
        s->UserStop = true;
        s->SetCancel(true);
      }
    };
    EXPECT_EQ(c->Extract(), arcCancelled);
    EXPECT_EQ(ReadFileRaw(Dest + L"\\a.txt"), files[0].Data);
    EXPECT_FALSE(Exists(Dest + L"\\sub\\b.txt"));
    EXPECT_TRUE(LogHas(Lib.Log(), "data 50 -> -1")) << Lib.Log();
  }
  {
    // The progress window stops the control once every chosen file is done.
    Wipe(Dest);
    Lib.Setup("");
    auto c = Control(archive);
    c->StorePaths = true;
    c->OnFileEnd = [](TGeneralArchiveControl* s, int64_t) { s->SetCancel(true); };
    EXPECT_EQ(c->Extract(), arcOk);
    EXPECT_TRUE(Exists(Dest + L"\\a.txt"));
    EXPECT_FALSE(Exists(Dest + L"\\sub\\b.txt"));
  }
}

TEST_F(UnRarTest, SolidEntriesPassedOverReportTotalProgress) {
  TLibSet solid;
  solid.Solid = true;
  auto c = Control(Write("solid.rar", SampleFiles(), solid));
  TStringList sel;
  sel.Add(L"c.bin");
  c->SetFileList(sel);
  EXPECT_EQ(c->Extract(), arcOk);
  EXPECT_EQ(ReadFileRaw(Dest + L"\\c.bin"), "0123456789abcdef");
  EXPECT_TRUE(Has(L"pass 303/303"));
  EXPECT_TRUE(LogHas(Lib.Log(), "RARProcessFile sub\\b.txt op=0 -> 0")) << Lib.Log();
  EXPECT_FALSE(Exists(Dest + L"\\b.txt"));
}

TEST_F(UnRarTest, FolderAndFileCreationFailures) {
  const std::wstring archive = Write("one.rar", SampleFiles());
  // The target folder lies under a file.
  WriteFileRaw(Work / L"file", "x");
  auto c = Control(archive);
  c->SetDestFolder(Work / L"file\\below");
  EXPECT_EQ(c->Extract(), arcMkDirFailed);
  EXPECT_EQ(Lib.Log().find("RARProcessFile"), std::string::npos);

  // A folder stands where a file goes.
  Lib.Setup("");
  CreateDirectoryW(Dest.c_str(), nullptr);
  CreateDirectoryW((Dest + L"\\a.txt").c_str(), nullptr);
  auto d = Control(archive);
  d->OnFileExists = [](TGeneralArchiveControl*, bool& overwrite, double, int64_t, std::wstring&, bool&) {
    overwrite = true;
  };
  EXPECT_EQ(d->Extract(), arcCreateFailed);
}
