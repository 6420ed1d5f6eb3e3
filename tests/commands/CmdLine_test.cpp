// Command lines: the expansion of every code as a table, the list file, and real programs run
// under Wine (a small recorder of the tree that writes down its command line and working
// folder) from user programs, the DOS prompt, run with parameters and Enter on a file.
#include "mainwin/CmdLine.h"

#include <gtest/gtest.h>

#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/FilePanel.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

namespace {
struct TExpandRow {
  const wchar_t* templ;
  std::wstring want;
};

TEST(CommandLineExpansion, EveryCodeAsATable) {
  TTempDir dir;
  std::wstring folder = dir.Path() + L"\\My Folder\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring item = L"Long Name File.text";
  WriteFileRaw(folder + item, "x");
  std::wstring shortPath = GetShortPath(folder + item);
  std::wstring shortItem = shortPath.substr(shortPath.rfind(L'\\') + 1);
  std::wstring shortFolder = shortPath.substr(0, shortPath.rfind(L'\\'));
  std::wstring shortFolderName = shortFolder.substr(shortFolder.rfind(L'\\') + 1);
  ASSERT_NE(shortItem, item);  // the prefix keeps short names

  Options.ResetToDefaults();
  Options.AutoQuotation = true;
  Options.QCDSlots[6].Path = L"D:\\Fav Seven\\";
  int favouriteDialogs = 0, closed = 0;
  TExpandServices services;
  services.ChooseFolder = [&](const std::wstring& start) { return start == folder ? L"E:\\Picked\\" : L"?"; };
  services.ChooseFavourite = [&](const std::wstring& current) {
    ++favouriteDialogs;
    return current == ExcludeTrailingBackslash(folder) ? L"F:\\From Dialog" : L"?";
  };
  services.FavouritesClosed = [&] { ++closed; };
  services.ChooseDrive = [] { return std::wstring(L"G:\\"); };
  services.SaveFileList = [] { return std::wstring(L"C:\\tmp\\list file.txt"); };
  std::wstring q = L"\"";
  const TExpandRow rows[] = {
      {L"%1", q + folder + item + q},
      {L"%!", shortItem},
      {L"%F", q + L"Long Name File" + q},
      {L"%f", shortItem.substr(0, shortItem.rfind(L'.'))},
      {L"%E", L"text"},
      {L"%e", shortItem.substr(shortItem.rfind(L'.') + 1)},
      {L"%\\", q + ExcludeTrailingBackslash(folder) + q},
      {L"%A", L"My Folder"},  // never quoted
      {L"%a", shortFolderName},
      {L"%D", L"E:\\Picked"},
      {L"%Q7", q + L"D:\\Fav Seven" + q},
      {L"%Q25x", q + L"F:\\From Dialog" + q + L"x"},  // both digits consumed
      {L"%Q0", q + L"F:\\From Dialog" + q},
      {L"%Qy", q + L"F:\\From Dialog" + q + L"y"},   // a letter stays
      {L"%R %r", L"G: G:"},
      {L"%L", q + L"C:\\tmp\\list file.txt" + q},
      {L"%M", ExcludeTrailingBackslash(ProgramFolder).find(L' ') == std::wstring::npos
                  ? ExcludeTrailingBackslash(ProgramFolder)
                  : q + ExcludeTrailingBackslash(ProgramFolder) + q},
      {L"%% 100", L"% 100"},
      {L"%z and %", L"%z and %"},  // no code, and a lone "%" at the end
      {L"a%P%Sb", L"ab"},
      {L"edit \"%1\"", L"edit \"" + folder + item + L"\""},  // already in quotes: no second pair
  };
  for (const TExpandRow& r : rows) {
    TCommandExpansion x;
    ExpandCommandTemplate(r.templ, folder, item, services, x);
    EXPECT_EQ(x.Command, r.want) << r.templ;
    EXPECT_EQ(x.UseCommandInterpreter + x.HasRunFolder, 0) << r.templ;
  }
  EXPECT_EQ(favouriteDialogs, 3);
  // A name the system has no short form of (here: no such file) keeps its long form.
  TCommandExpansion missing;
  ExpandCommandTemplate(L"%!|%f", folder, L"no such file.txt", services, missing);
  EXPECT_EQ(missing.Command, L"\"no such file.txt\"|\"no such file\"");
  EXPECT_EQ(closed, 3);

  // At a drive's root.
  TCommandExpansion root;
  ExpandCommandTemplate(L"%A|%\\|%a", L"C:\\", L"", services, root);
  EXPECT_EQ(root.Command, L"CDRIVE|C:|CDRIVE");

  // Run settings.
  TCommandExpansion c;
  ExpandCommandTemplate(L"%Cdir %1", folder, item, services, c);
  EXPECT_EQ(c.UseCommandInterpreter, 1);
  EXPECT_EQ(c.Command, L"dir " + q + folder + item + q);
  TCommandExpansion here, there, open;
  ExpandCommandTemplate(L"x%$", folder, item, services, here);
  EXPECT_EQ(here.HasRunFolder, 1);
  EXPECT_EQ(here.RunFolder, folder);
  EXPECT_EQ(here.Command, L"x");
  ExpandCommandTemplate(L"%$\"D:\\work\" y", folder, item, services, there);
  EXPECT_EQ(there.RunFolder, L"D:\\work");
  EXPECT_EQ(there.Command, L" y");
  ExpandCommandTemplate(L"z %$\"D:\\rest", folder, item, services, open);
  EXPECT_EQ(open.RunFolder, L"D:\\rest");
  EXPECT_EQ(open.Command, L"z ");

  // Without AutoQuotation a blank stays bare; a character that would start a second command
  // is quoted all the same.
  Options.AutoQuotation = false;
  TCommandExpansion bare, special;
  ExpandCommandTemplate(L"%F", folder, item, services, bare);
  EXPECT_EQ(bare.Command, L"Long Name File");
  ExpandCommandTemplate(L"type %1", folder, L"a&b|c.txt", services, special);
  EXPECT_EQ(special.Command, L"type \"" + folder + L"a&b|c.txt\"");
  Options.ResetToDefaults();
}

TEST(CommandLineExpansion, ArchiveEntriesStayInTheExtractionFolder) {
  const struct {
    const wchar_t *inner, *want;  // want empty: refused
  } cases[] = {
      {L"", L"C:\\tmp\\x\\"},
      {L"docs\\sub", L"C:\\tmp\\x\\docs\\sub\\"},
      {L"docs/sub/", L"C:\\tmp\\x\\docs\\sub\\"},
      {L"a\\..\\b", L"C:\\tmp\\x\\b\\"},
      {L"..\\..\\Windows", L""},
      {L"a\\..\\..\\x2", L""},
      {L"C:\\Windows", L""},
      {L"\\Windows", L""},
  };
  for (const auto& c : cases) {
    std::wstring folder = L"unchanged";
    bool ok = ArchiveRunFolder(L"C:\\tmp\\x", c.inner, folder);
    EXPECT_EQ(ok, *c.want != 0) << c.inner;
    EXPECT_EQ(folder, ok ? c.want : L"unchanged") << c.inner;
  }
}

TEST(CommandLineExpansion, SplittingAndTheInterpreter) {
  const struct {
    const wchar_t *command, *program, *params;
  } cases[] = {
      {L"\"C:\\Program Files\\ed.exe\" -n  a b ", L"C:\\Program Files\\ed.exe", L"-n  a b"},
      {L"notepad.exe x.txt", L"notepad.exe", L"x.txt"},
      {L"  calc  ", L"calc", L""},
      {L"\"unclosed name", L"unclosed name", L""},
  };
  for (const auto& c : cases) {
    std::wstring program, params;
    SplitCommand(c.command, program, params);
    EXPECT_EQ(program, c.program) << c.command;
    EXPECT_EQ(params, c.params) << c.command;
  }
  std::wstring saved = CommandInterpreter();
  std::wstring longValue = L"C:\\" + std::wstring(300, L'x') + L"\\cmd.exe";
  SetEnvironmentVariableW(L"comspec", longValue.c_str());
  EXPECT_EQ(CommandInterpreter(), longValue);  // not cut at 256 characters
  SetEnvironmentVariableW(L"comspec", nullptr);
  EXPECT_EQ(CommandInterpreter(), L"cmd.exe");
  SetEnvironmentVariableW(L"comspec", saved.c_str());
}

// ---- Real runs through the main form ----

struct TRunDir {
  TTempDir Program, Files;
  std::wstring Old = ProgramFolder;
  std::wstring Folder, Log, Recorder;
  TRunDir() {
    TMsgBoxSeam::Get().Reset();
    Options.ResetToDefaults();
    SetProgramFolder(Program.Path() + L"\\");
    Folder = Files.Path() + L"\\한글 & 폴더\\";
    CreateDirectoryW(Folder.c_str(), nullptr);
    WriteFileRaw(Program / L"Q7X.CFG",
                 "[Main]\r\nDualWindow=0\r\n[File1]\r\nPath=" + WideToUtf8(Folder) + "\r\n");
    WriteFileRaw(Program / L"Update.ini", "[Update]\r\nCheck=0\r\n");
    Programs.LoadFromProgramFolder();
    Options.LoadFromProgramFolder();
    InitMainModule();
    InstallCommandLines();
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring here(self);
    Recorder = Folder + L"rec.exe";
    CopyFileW((here.substr(0, here.rfind(L'\\') + 1) + L"argrecord.exe").c_str(), Recorder.c_str(), FALSE);
    Log = Program.Path() + L"\\args.log";
    SetEnvironmentVariableW(L"VELMO_ARGLOG", Log.c_str());
  }
  ~TRunDir() {
    SetEnvironmentVariableW(L"VELMO_ARGLOG", nullptr);
    TMsgBoxSeam::Get().Reset();
    Programs = THanPrograms();
    DoneMainModule();
    SetProgramFolder(Old);
  }
  // The recorded command line and working folder, once the program has written them.
  bool Recorded(std::wstring& commandLine, std::wstring& folder) {
    for (int i = 0; i < 1000; ++i) {
      std::string text = ReadFileRaw(Log);
      if (!text.empty()) {
        DeleteFileW(Log.c_str());
        std::wstring t = Utf8ToWide(text);
        size_t nl = t.find(L'\n');
        commandLine = t.substr(0, nl);
        folder = t.substr(nl + 1);
        while (!folder.empty() && (folder.back() == L'\n' || folder.back() == L'\r')) folder.pop_back();
        return true;
      }
      Sleep(10);
      Application().ProcessMessages();
    }
    return false;
  }
};

std::unique_ptr<TQ7XForm> FormOn(TRunDir& run, const std::wstring& focus) {
  auto form = std::make_unique<TQ7XForm>(nullptr);
  form->Show();
  form->FormActivate();
  EXPECT_TRUE(PumpUntil([&] { return form->StartupTimer && !form->StartupTimer->Enabled(); }));
  TMFList* list = form->ActiveList();
  EXPECT_TRUE(list && SameTextI(list->Path, run.Folder)) << (list ? list->Path : L"");
  if (list) {
    list->Refresh();
    list->ItemIndex = list->IndexOfName(focus);
    EXPECT_GE(list->ItemIndex, 0) << focus;
  }
  return form;
}
}  // namespace

TEST(CommandLineRuns, UserProgramsGetTheirExpandedLineAndFolder) {
  TRunDir run;
  const std::wstring file = L"a b&c %x 한글.txt";
  WriteFileRaw(run.Folder + file, "text");
  CreateDirectoryW((run.Folder + L"sub").c_str(), nullptr);
  auto form = FormOn(run, file);
  std::wstring line, folder;

  // A user program on a function key: the recorder with the quoted full name.
  Programs.KeyPrograms[0] = {L"rec", L"\"" + run.Recorder + L"\" %1 [%E]", 0};
  form->RunFunctionKey(0, 0);
  ASSERT_TRUE(run.Recorded(line, folder));
  EXPECT_NE(line.find(L" \"" + run.Folder + file + L"\" [txt]"), std::wstring::npos) << line;
  EXPECT_TRUE(SameTextI(IncludeTrailingBackslash(folder), run.Folder)) << folder;

  // Through the command interpreter, in another working folder: the "&" in the name cannot
  // start a second command.
  std::wstring line2;
  form->RunCommandLine(L"%C\"" + run.Recorder + L"\" %F %$\"" + run.Folder + L"sub\"");
  ASSERT_TRUE(run.Recorded(line2, folder));
  EXPECT_NE(line2.find(L"\"a b&c %x 한글\""), std::wstring::npos) << line2;
  EXPECT_TRUE(SameTextI(folder, run.Folder + L"sub")) << folder;

  // A program that cannot start: message 10706 with the program.
  TMsgBoxSeam::Get().PushButton(0);
  form->RunCommandLine(L"\"C:\\no such folder\\none.exe\" %1");
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text.rfind(LoadMessageText(10706) + L"\r\r<C=B>C:\\no such folder\\none.exe<>", 0),
            0u);
}

TEST(CommandLineRuns, EnterOnAFileRunsItsExtensionsProgramOrOffersTheChoice) {
  TRunDir run;
  WriteFileRaw(run.Folder + L"doc.vlm", "x");
  auto form = FormOn(run, L"doc.vlm");
  Programs.ExtPrograms = {{L"vlm", L"first", L"\"" + run.Recorder + L"\" one %!"}};
  Programs.Rebuild();
  std::wstring line, folder;
  form->OpenFile(form->ActivePanel(), run.Folder + L"doc.vlm");
  ASSERT_TRUE(run.Recorded(line, folder));
  EXPECT_NE(LowerCase(line).find(L" one doc.vlm"), std::wstring::npos) << line;

  // Two programs: a pop-up menu; the second is picked by keys.
  Programs.ExtPrograms.push_back({L"txt;vlm", L"second", L"\"" + run.Recorder + L"\" two %F"});
  Programs.Rebuild();
  {
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_RETURN});
    form->OpenFile(form->ActivePanel(), run.Folder + L"doc.vlm");
    EXPECT_TRUE(keys.Sent());
  }
  ASSERT_TRUE(run.Recorded(line, folder));
  EXPECT_NE(line.find(L" two doc"), std::wstring::npos) << line;
}

TEST(CommandLineRuns, DosPromptChangesFolderOrRunsTheInterpreter) {
  TRunDir run;
  CreateDirectoryW((run.Folder + L"sub dir").c_str(), nullptr);
  WriteFileRaw(run.Folder + L"f.txt", "x");
  auto form = FormOn(run, L"f.txt");
  TMFList* list = form->ActiveList();
  ASSERT_TRUE(list);

  std::wstring target;
  EXPECT_TRUE(form->ParseDosBuiltin(L"  cd  sub dir ", target));
  EXPECT_EQ(target, L"sub dir");
  EXPECT_TRUE(form->ParseDosBuiltin(L"CD..", target));
  EXPECT_EQ(target, L"..");
  EXPECT_TRUE(form->ParseDosBuiltin(L"sub dir", target));  // an existing folder's name
  EXPECT_FALSE(form->ParseDosBuiltin(L"notes", target));
  EXPECT_FALSE(form->ParseDosBuiltin(L"cdrom x", target));

  // The prompt offers the newest command of its history.
  Options.AddHistory(hkDOSCMD, L"dir");
  Options.AddHistory(hkDOSCMD, L"ver");
  TMsgBoxSeam::Get().PushText(0, L"cd sub dir");
  form->RunCommand(1402, 0);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].InitialValue, L"ver");
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Value, L"cd sub dir");
  EXPECT_TRUE(SameTextI(list->Path, run.Folder + L"sub dir\\")) << list->Path;
  EXPECT_EQ(Options.History(hkDOSCMD).front(), L"cd sub dir");
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Title, LoadMessageText(10704));
  form->RunDosCommand(L"cd ..");
  EXPECT_TRUE(SameTextI(list->Path, run.Folder)) << list->Path;

  // Anything else runs through the interpreter in the list's folder.
  form->RunDosCommand(L"echo made> made.txt");
  EXPECT_TRUE(PumpUntil([&] { return PathExists(run.Folder + L"made.txt"); }));
}

TEST(CommandLineRuns, DosPromptOpensABareServerInThePanelsFolderTree) {
  struct TCase {
    const wchar_t* Path;
    bool Bare;
  } cases[] = {{L"\\\\srv", true},          {L"\\\\srv\\", true},     {L"\\\\srv\\share", false},
               {L"\\\\srv\\share\\", false}, {L"\\\\", false},         {L"C:\\", false},
               {L"\\srv", false},           {L"\\\\srv/x", false}};
  for (const auto& c : cases) EXPECT_EQ(IsBareServerName(c.Path), c.Bare) << c.Path;

  // A panel with a folder tree: "cd \\server" selects and expands the server there and the
  // list stays where it is.
  struct TTreePanel : TFilePanel {
    using TFilePanel::TFilePanel;
    std::vector<std::wstring> Expanded;
    std::vector<std::wstring> Visited;
    bool HasFolderTree() const override { return true; }
    void ExpandTreePath(const std::wstring& path) override { Expanded.push_back(path); }
    void ChangeDir(const std::wstring& path) override { Visited.push_back(path); }
  };
  TRunDir run;
  auto form = std::make_unique<TQ7XForm>(nullptr, [](TComponent* owner) -> TPanelView* { return new TTreePanel(owner); });
  form->Show();
  form->FormActivate();
  ASSERT_TRUE(PumpUntil([&] { return form->StartupTimer && !form->StartupTimer->Enabled(); }));
  auto* panel = dynamic_cast<TTreePanel*>(form->ActivePanel());
  ASSERT_NE(panel, nullptr);
  form->RunDosCommand(L"cd \\\\fileserver");
  form->RunDosCommand(L"cd \\\\fileserver\\");
  EXPECT_EQ(panel->Expanded, (std::vector<std::wstring>{L"\\\\fileserver", L"\\\\fileserver"}));
  EXPECT_TRUE(panel->Visited.empty());
  // A share on the server is a folder: the list goes there.
  form->RunDosCommand(L"cd \\\\fileserver\\docs");
  EXPECT_EQ(panel->Visited, std::vector<std::wstring>{L"\\\\fileserver\\docs\\"});
  EXPECT_EQ(panel->Expanded.size(), 2u);
}

TEST(CommandLineRuns, RunWithParametersAsksForTheProgramsLine) {
  TRunDir run;
  auto form = FormOn(run, L"rec.exe");
  TMsgBoxSeam::Get().PushText(0, L"rec.exe  hello   world ");
  form->RunCommand(1401, 0);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].InitialValue, L"rec.exe ");
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Title, LoadMessageText(10707));
  std::wstring line, folder;
  ASSERT_TRUE(run.Recorded(line, folder));
  EXPECT_NE(line.find(L"hello   world"), std::wstring::npos) << line;
  EXPECT_TRUE(SameTextI(IncludeTrailingBackslash(folder), run.Folder)) << folder;
}

TEST(CommandLineRuns, TheListFileHoldsTheSelection) {
  TTempDir dir;
  WriteFileRaw(dir / L"한글.txt", "1");
  WriteFileRaw(dir / L"b.txt", "2");
  WriteFileRaw(dir / L"\u0e01.txt", "3");  // no room for it in code page 949
  TMFList list(1);
  list.Path = dir.Path();
  list.Refresh();
  list.SetSelected(list.IndexOfName(L"b.txt"), true);
  list.SetSelected(list.IndexOfName(L"한글.txt"), true);
  std::wstring name = WriteSelectionList(list);
  ASSERT_FALSE(name.empty());
  std::string ansi;
  ASSERT_TRUE(WideToAnsi(list.Path + L"b.txt\r\n" + list.Path + L"한글.txt\r\n", ansi));
  EXPECT_EQ(ReadFileRaw(name), ansi);
  DeleteFileW(name.c_str());
  list.SetSelected(list.IndexOfName(L"\u0e01.txt"), true);
  name = WriteSelectionList(list);
  EXPECT_EQ(ReadFileRaw(name), "\xEF\xBB\xBF" + WideToUtf8(list.Path + L"b.txt\r\n" + list.Path + L"한글.txt\r\n" +
                                                            list.Path + L"\u0e01.txt\r\n"));
  DeleteFileW(name.c_str());
}
