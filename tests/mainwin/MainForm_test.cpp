// The main form in this process: start-up order and the layouts it opens with, the layout keys,
// the panels' messages, the split ratio, shell change notifications, the exception box, the
// update check against a local stand-in server, and the log-off path.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <stdexcept>
#include <thread>

#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"
#include "arclayer/ArcFixtures.h"
#include "mainwin/Commands.h"
#include "mainwin/FilePanel.h"
#include "panels/FileWin.h"
#include "mainwin/MUpDate.h"
#include "mainwin/Main.h"
#include "foundation/Context.h"
#include "foundation/HSplit.h"
#include "panels/MIcon.h"

namespace {
// A program folder with the given settings, the module started as the program does.
struct TProgramDir {
  TTempDir Dir;
  std::wstring OldProgramFolder = ProgramFolder;
  explicit TProgramDir(const std::string& cfg = "", const std::string& history = "") {
    SetProgramFolder(Dir.Path() + L"\\");
    if (!cfg.empty()) WriteFileRaw(Dir / L"Q7X.CFG", cfg);
    if (!history.empty()) WriteFileRaw(Dir / L"History", history);
    WriteFileRaw(Dir / L"Update.ini", "[Update]\r\nCheck=0\r\n");
    Programs.LoadFromProgramFolder();
    Options.LoadFromProgramFolder();
    InitMainModule();
  }
  ~TProgramDir() {
    TMsgBoxSeam::Get().Reset();
    DoneMainModule();
    LanguageObject().SetLanguageFile(L"");
    SetProgramFolder(OldProgramFolder);
  }
};

std::string PanelPaths(const std::wstring& a, const std::wstring& b) {
  return "[File1]\r\nPath=" + WideToUtf8(a) + "\r\n[File2]\r\nPath=" + WideToUtf8(b) + "\r\n";
}

// The form shown and its panels loaded.
std::unique_ptr<TQ7XForm> ShowForm() {
  auto form = std::make_unique<TQ7XForm>(nullptr);
  form->Show();
  form->FormActivate();
  EXPECT_TRUE(PumpUntil([&] { return form->StartupTimer && !form->StartupTimer->Enabled(); }));
  return form;
}

void PressKey(HWND wnd, WORD key, TShiftState shift) { SendKey(wnd, key, shift, true); }

// Client coordinates as a mouse message carries them (negative ones too).
LPARAM Pt(int x, int y) {
  return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}

std::wstring ReadText(const std::wstring& file) {
  TTextEncoding enc;
  return DecodeText(ReadFileRaw(file), enc);
}
}  // namespace

TEST(MainFormStartup, ModuleChoosesTheLanguageBeforeTheCommandNamesAndButtons) {
  TTempDir dir;
  std::wstring old = ProgramFolder;
  SetProgramFolder(dir.Path() + L"\\");
  WriteFileRaw(dir / L"language.ini", "Use = Test\r\n");
  CreateDirectoryW((dir / L"Language").c_str(), nullptr);
  WriteFileRaw(dir / L"Language\\Test.lng", "[Messages]\r\n3201=LOOK\r\n1=FINE\r\n");
  InitMainModule();
  EXPECT_EQ(Programs.CommandNames[0], L"LOOK");
  EXPECT_EQ(StdButtonsOk, L"FINE");
  EXPECT_NE(SystemFileData, nullptr);
  DoneMainModule();
  EXPECT_EQ(SystemFileData, nullptr);
  // Without a "Use" line the built-in table stays in force.
  LanguageObject().SetLanguageFile(L"");
  WriteFileRaw(dir / L"language.ini", "Other=1\r\n");
  InitMainModule();
  EXPECT_EQ(Programs.CommandNames[0], LoadBuiltinMessageText(3201));
  EXPECT_EQ(StdButtonsOk, LoadBuiltinMessageText(1));
  DoneMainModule();
  SetProgramFolder(old);
}

TEST(MainFormStartup, OpensWithTheLayoutTheSettingsGive) {
  TTempDir a, b;
  struct TCase {
    std::string Main;
    bool Dual;
    int32_t DualWindowAfter;
    int Panel1No;
  } cases[] = {
      {"DualWindow=2\r\nLastWindow=1\r\n", true, 2, 1},
      {"DualWindow=1\r\nLastWindow=0\r\n", true, 1, 1},
      {"DualWindow=1\r\nWinSplitSave=0\r\n", false, 0, 1},
      {"DualWindow=0\r\nLastWindow=3\r\n", false, 0, 1},
      {"DualWindow=2\r\nLastWindow=2\r\n", true, 2, 1},
      {"DualWindow=0\r\nLastWindow=2\r\n", false, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Main);
    TProgramDir prog("[Main]\r\n" + c.Main + PanelPaths(a.Path(), b.Path()));
    auto form = ShowForm();
    EXPECT_EQ(form->DualMode, c.Dual);
    EXPECT_EQ(form->Panel2 != nullptr, c.Dual);
    EXPECT_EQ(Options.DualWindow, c.DualWindowAfter);
    EXPECT_EQ(form->Panel1->PanelNo(), c.Panel1No);
    if (c.Dual) {
      EXPECT_EQ(form->Panel2->PanelNo(), 2);
      EXPECT_NE(form->Splitter, nullptr);
      EXPECT_EQ(form->Panel1->Align(), Options.DualWindow == 1 ? alTop : alLeft);
    }
    // Each panel lists the folder of its own record.
    EXPECT_TRUE(SameTextI(form->Panel1->List().Path, IncludeTrailingBackslash(c.Panel1No == 1 ? a.Path() : b.Path())));
    // A second activation does not arm the timer again.
    TTimer* timer = form->StartupTimer;
    form->FormActivate();
    EXPECT_EQ(form->StartupTimer, timer);
    EXPECT_FALSE(timer->Enabled());
  }
}

TEST(MainFormStartup, TheActivePanelOfTheLastSessionKeepsItsRecordOnTheRight) {
  TTempDir a, b;
  TProgramDir prog("[Main]\r\nDualWindow=2\r\nLastWindow=2\r\n" + PanelPaths(a.Path(), b.Path()));
  auto form = ShowForm();
  // The panel created first carried number 2; the one added became panel 1 on the left.
  EXPECT_EQ(form->Panel2->Name, L"Panel2");
  EXPECT_EQ(form->Panel1->Name, L"Panel1");
  EXPECT_EQ(form->ActivePanel(), form->Panel2);
  EXPECT_TRUE(SameTextI(form->Panel2->List().Path, IncludeTrailingBackslash(b.Path())));
  EXPECT_TRUE(SameTextI(form->Panel1->List().Path, IncludeTrailingBackslash(a.Path())));
}

TEST(MainFormLayout, LayoutKeysSwitchAndTheSettingMirrorsTheLayout) {
  TTempDir a, b;
  TProgramDir prog("[Main]\r\nDualWindow=0\r\n" + PanelPaths(a.Path(), b.Path()));
  auto form = ShowForm();
  ASSERT_EQ(form->Panel2, nullptr);
  PressKey(form->Panel1->Handle(), '2', ssCtrl);
  ASSERT_NE(form->Panel2, nullptr);
  EXPECT_EQ(Options.DualWindow, 2);
  EXPECT_EQ(form->Panel1->Align(), alLeft);
  EXPECT_TRUE(static_cast<TFilePanel*>(form->Panel1)->CloseButtonShown());
  PressKey(form->Panel2->Handle(), '3', ssCtrl);
  EXPECT_EQ(Options.DualWindow, 1);
  EXPECT_EQ(form->Panel1->Align(), alTop);
  EXPECT_EQ(form->Splitter->Align(), alTop);
  EXPECT_GE(form->Splitter->Top(), form->Panel1->Height());
  EXPECT_EQ(form->Splitter->BarStyle(), 7);
  // Ctrl+1 keeps the active panel as the sole panel.
  TPanelView* active = form->ActivePanel();
  ASSERT_NE(active, nullptr);
  int no = active->PanelNo();
  PressKey(active->Handle(), '1', ssCtrl);
  EXPECT_EQ(form->Panel2, nullptr);
  EXPECT_EQ(form->Splitter, nullptr);
  EXPECT_EQ(form->Panel1, active);
  EXPECT_EQ(Options.DualWindow, 0);
  EXPECT_EQ(Options.LastWindow, no);
  EXPECT_FALSE(static_cast<TFilePanel*>(active)->CloseButtonShown());
  EXPECT_EQ(active->Width(), form->ClientPanel->ClientWidth());
}

TEST(MainFormLayout, SplitRatioIsKeptOverTheRoomBesideTheSplitter) {
  TTempDir a, b;
  TProgramDir prog("[Main]\r\nDualWindow=2\r\nHorzRatio=30000\r\n" + PanelPaths(a.Path(), b.Path()));
  auto form = ShowForm();
  form->SetClientSize(606, 400);
  PumpUntil([] { return false; }, 50);
  int client = form->ClientPanel->ClientWidth();
  EXPECT_NEAR(form->Panel1->Width(), (client - 6) * 0.3, 1.0);
  // Dragging the splitter stores the new share; a resize keeps it.
  HWND bar = form->Splitter->Handle();
  SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, Pt(3, 10));
  SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, Pt(3 + 120, 10));
  SendMessageW(bar, WM_LBUTTONUP, 0, Pt(3 + 120, 10));
  const int moved = form->Panel1->Width();
  EXPECT_GT(moved, 170);
  EXPECT_NEAR(Options.HorzRatio, moved * 100000.0 / (client - 6), 1.0);
  form->SetClientSize(1006, 400);
  client = form->ClientPanel->ClientWidth();
  EXPECT_NEAR(form->Panel1->Width(), (client - 6) * (moved / double(606 - 6)), 1.0);
  // With WinSplitDiv off the ratio is neither stored nor re-applied.
  Options.WinSplitDiv = false;
  int32_t stored = Options.HorzRatio;
  int before = form->Panel1->Width();
  form->SetClientSize(700, 400);
  EXPECT_EQ(form->Panel1->Width(), before);
  SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, Pt(3, 10));
  SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, Pt(3 - 50, 10));
  SendMessageW(bar, WM_LBUTTONUP, 0, Pt(3 - 50, 10));
  EXPECT_EQ(Options.HorzRatio, stored);
}

TEST(MainFormMessages, PanelMessagesActOnTheNamedPanel) {
  TTempDir a, b;
  TProgramDir prog("[Main]\r\nDualWindow=2\r\n[Option]\r\nDupHeaderSize=1\r\n" + PanelPaths(a.Path(), b.Path()));
  auto form = ShowForm();
  HWND main = form->Handle();
  // Numbers of no panel do nothing.
  for (WPARAM no : {0u, 3u, 200u}) {
    SendMessageW(main, WM_PANELTREE, no, 0);
    EXPECT_NE(form->Panel2, nullptr);
  }
  // Tree toggle of panel 2's record.
  int parts = Options.PanelOptions(2).Parts;
  SendMessageW(main, WM_PANELTREE, 2, 1);
  EXPECT_EQ(Options.PanelOptions(2).Parts, parts ^ 8);
  EXPECT_EQ(Options.PanelOptions(1).Parts, parts);
  // Column widths go from the sender to the other list.
  int widths[6] = {201, 41, 81, 111, 42, 121};
  form->Panel1->SetColumnWidths(widths);
  SendMessageW(main, WM_DUPHEADERSIZE, 1, 0);
  int got[6];
  form->Panel2->GetColumnWidths(got);
  EXPECT_TRUE(std::equal(widths, widths + 6, got)) << got[0] << " " << got[1] << " " << got[2] << " " << got[3] << " "
                                                    << got[4] << " " << got[5];
  // The drive bar's place follows the sender's.
  Options.PanelOptions(1).DriveBarTop = false;
  SendMessageW(main, WM_SYNCDRIVEBAR, 1, 0);
  EXPECT_FALSE(Options.PanelOptions(2).DriveBarTop);
  EXPECT_FALSE(static_cast<TFilePanel*>(form->Panel2)->DriveBarTop());
  // The other panel rereads after a system refresh: a new file shows up.
  WriteFileRaw(b / L"new.txt", "x");
  int count = form->Panel2->List().Count();
  SendMessageW(main, WM_REREADOTHER, 1, 0);
  EXPECT_EQ(form->Panel2->List().Count(), count + 1);
  // Closing panel 1 from its caption keeps panel 2 and focuses it.
  TPanelView* keep = form->Panel2;
  SendMessageW(main, WM_PANELTREE, 1, 0);
  EXPECT_EQ(form->Panel2, nullptr);
  EXPECT_EQ(form->Panel1, keep);
  EXPECT_EQ(form->ActivePanel(), keep);
  EXPECT_EQ(Options.DualWindow, 0);
  EXPECT_EQ(Options.LastWindow, 2);
  // One panel: any valid number means the sole panel; widths go into the other record.
  SendMessageW(main, WM_PANELTREE, 1, 1);
  EXPECT_EQ(Options.PanelOptions(2).Parts, parts);
  Options.PanelOptions(2).NameWidth = 333;
  SendMessageW(main, WM_DUPHEADERSIZE, 2, 0);
  EXPECT_EQ(Options.PanelOptions(1).NameWidth, 333);
}

TEST(MainFormMessages, ShellNotificationsSendAPanelOnAGoneDriveToC) {
  TTempDir b;
  // Panel 1 on drive Z (the Unix root under Wine), panel 2 on the temporary folder's drive.
  TProgramDir prog("[Main]\r\nDualWindow=2\r\n[Option]\r\nDiskMonitor=0\r\n" + PanelPaths(L"Z:\\tmp", b.Path()));
  auto form = ShowForm();
  ASSERT_NE(form->ShellNotifyHandle, 0u);
  ASSERT_EQ(towupper(form->Panel1->List().Path[0]), L'Z');
  // Media inserted only rereads.
  WriteFileRaw(b / L"a.txt", "1");
  int count = form->Panel2->List().Count();
  SHChangeNotify(SHCNE_MEDIAINSERTED, SHCNF_PATHW | SHCNF_FLUSH, L"Z:\\", nullptr);
  EXPECT_TRUE(PumpUntil([&] { return form->Panel2->List().Count() == count + 1; }));
  EXPECT_EQ(towupper(form->Panel1->List().Path[0]), L'Z');
  // Media removed from Z: that panel goes to C:\, the other stays.
  SHChangeNotify(SHCNE_MEDIAREMOVED, SHCNF_PATHW | SHCNF_FLUSH, L"Z:\\", nullptr);
  EXPECT_TRUE(PumpUntil([&] { return SameTextI(form->Panel1->List().Path, L"C:\\"); }));
  EXPECT_TRUE(SameTextI(form->Panel2->List().Path, IncludeTrailingBackslash(b.Path())));
  // The same effects through the form's own entry, table of events.
  form->Panel1->ChangeDir(L"Z:\\tmp");
  struct {
    LONG Event;
    bool GoesToC;
  } cases[] = {{SHCNE_DRIVEREMOVED, true}, {SHCNE_SERVERDISCONNECT, true}, {SHCNE_DRIVEADD, false}};
  for (const auto& c : cases) {
    form->Panel1->ChangeDir(L"Z:\\tmp");
    form->ShellEvent(c.Event, L"Z:\\");
    EXPECT_EQ(SameTextI(form->Panel1->List().Path, L"C:\\"), c.GoesToC) << c.Event;
  }
}

TEST(MainFormMessages, AnExceptionInAnEventShowsMessage100AndTheProgramGoesOn) {
  TProgramDir prog;
  auto form = ShowForm();
  form->RunSetupDialog = []() -> bool { throw std::runtime_error("broken setup"); };
  TMsgBoxSeam::Get().PushButton(0);
  PostMessageW(form->Handle(), WM_SHOWSETUP, 1, 0);
  ASSERT_TRUE(PumpUntil([] { return !TMsgBoxSeam::Get().Shown.empty(); }));
  const std::wstring& text = TMsgBoxSeam::Get().Shown[0].Text;
  EXPECT_NE(text.find(L"broken setup"), std::wstring::npos);
  EXPECT_NE(text.find(L"Velmo"), std::wstring::npos);
  EXPECT_NE(text.find(L"<D>"), std::wstring::npos);
  EXPECT_TRUE(IsWindow(form->Handle()));
  // The form still answers its messages.
  SendMessageW(form->Handle(), WM_PANELTREE, 1, 1);
  EXPECT_EQ(Options.PanelOptions(1).Parts & 8, 8);
}

TEST(MainFormServices, FolderTreeNoticesReachEveryPanel) {
  struct TRecordingPanel : TFilePanel {
    using TFilePanel::TFilePanel;
    std::vector<std::wstring> Notices;
    int Updates = 0;
    void TreeNotifyChange(int kind, const std::wstring& p, const std::wstring& n) override {
      Notices.push_back(std::to_wstring(kind) + L":" + p + L">" + n);
    }
    void BeginTreeUpdate() override { ++Updates; }
    void EndTreeUpdate() override { --Updates; }
  };
  TProgramDir prog("[Main]\r\nDualWindow=2\r\n");
  TQ7XForm form(nullptr, [](TComponent* o) { return new TRecordingPanel(o); });
  form.Show();
  auto* p1 = static_cast<TRecordingPanel*>(form.Panel1);
  auto* p2 = static_cast<TRecordingPanel*>(form.Panel2);
  form.BeginTreeUpdates();
  EXPECT_EQ(p1->Updates + p2->Updates, 2);
  form.NotifyFolderTrees(fckRenamed, L"C:\\a", L"C:\\b");
  form.EndTreeUpdates();
  EXPECT_EQ(p1->Updates + p2->Updates, 0);
  ASSERT_EQ(p1->Notices.size(), 1u);
  EXPECT_EQ(p1->Notices[0], L"2:C:\\a>C:\\b");
  EXPECT_EQ(p2->Notices, p1->Notices);

  // A command on many items holds the notices while it runs, and lets go of them also when it
  // fails with an exception.
  TCommandRow& copy = *std::find_if(CommandTable().begin(), CommandTable().end(),
                                    [](const TCommandRow& r) { return r.Tag == 1001; });
  const TCommandRow saved = copy;
  int during = -1;
  copy.Enabled = nullptr;
  copy.Run = [&](TQ7XForm&, TShiftState) {
    during = p1->Updates + p2->Updates;
    throw std::runtime_error("copy failed");
  };
  EXPECT_THROW(form.RunCommand(1001, 0), std::runtime_error);
  copy = saved;
  EXPECT_EQ(during, 2);
  EXPECT_EQ(p1->Updates + p2->Updates, 0);
}

TEST(MainFormServices, MinimiseAndRestoreTheWholeProgram) {
  TProgramDir prog;
  auto form = ShowForm();
  SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(form->Handle()));
  EXPECT_TRUE(form->MinimizedByForm());
  SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(form->Handle()));
  EXPECT_FALSE(form->MinimizedByForm());
}

TEST(MainFormShutdown, DestroyingStoresThePlacementAndTheWorkFolderIsEmptiedSafely) {
  TProgramDir prog;
  {
    auto form = ShowForm();
    RestoreWindowPlacement(form->Handle(), MakeIniRect(40, 30, 500, 400, false));
  }
  EXPECT_EQ(Options.Window, MakeIniRect(40, 30, 500, 400, false));

  TTempDir temp;
  std::wstring work = temp / L"Velmo";
  CreateDirectoryW(work.c_str(), nullptr);
  CreateDirectoryW((work + L"\\sub").c_str(), nullptr);
  WriteFileRaw(work + L"\\sub\\f.txt", "x");
  WriteFileRaw(work + L"\\g.txt", "y");
  SetFileAttributesW((work + L"\\g.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  // Not below the temporary folder, or the temporary folder itself: left alone.
  EmptyWorkFolder(work, work + L"\\sub");
  EmptyWorkFolder(temp.Path(), temp.Path());
  EmptyWorkFolder(L"C:\\", temp.Path());
  EmptyWorkFolder(temp.Path() + L"\\Velmo\\..\\..", temp.Path());
  EXPECT_TRUE(FileExistsPlain(work + L"\\g.txt"));
  EXPECT_TRUE(FileExistsPlain(work + L"\\sub\\f.txt"));
  EmptyWorkFolder(work, temp.Path());
  EXPECT_FALSE(FileExistsPlain(work + L"\\g.txt"));
  EXPECT_FALSE(FileExistsPlain(work + L"\\sub\\f.txt"));
  EXPECT_EQ(GetFileAttributesW((work + L"\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(work.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(MainFormShutdown, DamagedSettingsStartWithDefaultsAndAreLeftAloneUntilChanged) {
  const std::string garbage("\x01\x02\0\0[Main]\0DualWindow=1\xff\xfe\x7f", 24);
  TProgramDir prog(garbage, garbage);
  EXPECT_TRUE(Options.CfgDamaged);
  EXPECT_TRUE(Options.HistoryDamaged);
  EXPECT_EQ(Options.DualWindow, 2);
  {
    auto form = ShowForm();
    RestoreWindowPlacement(form->Handle(), MakeIniRect(10, 10, 400, 300, false));
  }
  // Only the placement changed: both files stay as they were.
  EXPECT_TRUE(Options.SaveOnExit());
  EXPECT_EQ(ReadFileRaw(prog.Dir / L"Q7X.CFG"), garbage);
  EXPECT_EQ(ReadFileRaw(prog.Dir / L"History"), garbage);
  // A real change writes clean files.
  Options.ShowKeyBar = false;
  Options.AddHistory(hkDOSCMD, L"dir");
  EXPECT_TRUE(Options.SaveOnExit());
  std::wstring cfg = ReadText(prog.Dir / L"Q7X.CFG");
  EXPECT_NE(cfg.find(L"ShowKeyBar=0"), std::wstring::npos);
  EXPECT_EQ(cfg.find(L'\1'), std::wstring::npos);
  EXPECT_NE(ReadText(prog.Dir / L"History").find(L"dir"), std::wstring::npos);
  // A sound file is not marked.
  Options.Load(prog.Dir / L"Q7X.CFG", prog.Dir / L"History");
  EXPECT_FALSE(Options.CfgDamaged);
  EXPECT_FALSE(Options.HistoryDamaged);
}

// ---- The update check ----

TEST(UpdateCheck, ScheduleVersionsAndAnswers) {
  SYSTEMTIME today{};
  today.wYear = 2026, today.wMonth = 3, today.wDay = 15;
  struct {
    int Check;
    const wchar_t* Last;
    const wchar_t* Server;
    bool Due;
  } cases[] = {
      {0, L"", L"http://h/v", false},          {1, L"", L"http://h/v", true},
      {1, L"2026-03-15", L"http://h/v", false}, {1, L"2026-03-14", L"http://h/v", true},
      {2, L"2026-03-09", L"http://h/v", false}, {2, L"2026-03-08", L"http://h/v", true},
      {3, L"2026-02-20", L"http://h/v", false}, {3, L"2026-02-10", L"http://h/v", true},
      {1, L"2026-13-40", L"http://h/v", true},  {1, L"2027-01-01", L"http://h/v", true},
      {1, L"2020-01-01", L"", false},
  };
  for (const auto& c : cases) {
    TUpdateSchedule s{c.Check, c.Last, c.Server};
    EXPECT_EQ(UpdateCheckDue(s, today), c.Due) << c.Check << " " << WideToUtf8(c.Last);
  }
  struct {
    const wchar_t *A, *B;
    int R;
  } versions[] = {{L"1.0.0", L"1.0.0", 0}, {L"1.10", L"1.9", 1}, {L"1.0", L"1.0.1", -1}, {L"2", L"1.99.99", 1},
                  {L"", L"0", 0}};
  for (const auto& v : versions) EXPECT_EQ(CompareVersions(v.A, v.B), v.R) << WideToUtf8(v.A);

  TUpdateAnswer answer;
  ASSERT_TRUE(ParseUpdateAnswer("Version = 2.1\r\nFile=/dl/setup.bat\r\n", L"http://127.0.0.1:8080/u/v.txt", answer));
  EXPECT_EQ(answer.Version, L"2.1");
  EXPECT_EQ(answer.File, L"http://127.0.0.1:8080/dl/setup.bat");
  EXPECT_FALSE(ParseUpdateAnswer("<html>not found</html>", L"http://h/v", answer));
}

namespace {
// A stand-in update server on this machine: answers every request with the body for its path.
class TStandInServer {
 public:
  explicit TStandInServer(std::function<std::string(const std::string& path)> answer) : FAnswer(std::move(answer)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    FSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int len = sizeof addr;
    getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len);
    Port = ntohs(addr.sin_port);
    listen(FSocket, 4);
    FThread = std::thread([this] { Serve(); });
  }
  ~TStandInServer() {
    closesocket(FSocket);
    FThread.join();
    WSACleanup();
  }
  std::wstring Url(const std::wstring& path) const { return L"http://127.0.0.1:" + std::to_wstring(Port) + path; }
  int Port = 0;
  std::atomic<int> Requests{0};

 private:
  void Serve() {
    for (;;) {
      SOCKET c = accept(FSocket, nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      std::string req;
      char buf[1024];
      while (req.find("\r\n\r\n") == std::string::npos) {
        int n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        req.append(buf, static_cast<size_t>(n));
      }
      ++Requests;
      size_t sp = req.find(' '), sp2 = req.find(' ', sp + 1);
      std::string path = sp == std::string::npos ? "/" : req.substr(sp + 1, sp2 - sp - 1);
      std::string body = FAnswer(path);
      std::string head = body.empty() ? "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"
                                      : "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
      std::string all = head + body;
      send(c, all.data(), static_cast<int>(all.size()), 0);
      shutdown(c, SD_BOTH);
      closesocket(c);
    }
  }
  SOCKET FSocket;
  std::thread FThread;
  std::function<std::string(const std::string&)> FAnswer;
};
}  // namespace

TEST(UpdateCheck, ScheduledCheckOffersTheNewVersionAndClosesAfterStartingTheInstaller) {
  TProgramDir prog;
  TStandInServer server([](const std::string& path) -> std::string {
    if (path == "/velmo/version.txt") return "Version=99.0\r\nFile=/velmo/setup.bat\r\n";
    if (path == "/velmo/setup.bat") return "@exit\r\n";
    return "";
  });
  WriteFileRaw(prog.Dir / L"Update.ini",
               "[Update]\r\nCheck=1\r\nLast=2001-01-01\r\nServer=" + WideToUtf8(server.Url(L"/velmo/version.txt")) + "\r\n");
  TMsgBoxSeam::Get().PushButton(0);  // yes, install
  auto form = ShowForm();
  ASSERT_TRUE(PumpUntil([&] { return !form->Visible(); }, 15000)) << "the form did not close";
  EXPECT_EQ(server.Requests, 2);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"99.0"), std::wstring::npos);
  EXPECT_EQ(ReadFileRaw(prog.Dir / L"Update\\setup.bat"), "@exit\r\n");
  SYSTEMTIME today;
  GetLocalTime(&today);
  EXPECT_EQ(ReadUpdateSchedule(prog.Dir / L"Update.ini").Last, DayText(today));
}

TEST(UpdateCheck, NotDueOrNoServerOrNoNewerVersionLeavesTheProgramRunning) {
  TProgramDir prog;
  TStandInServer server([](const std::string& path) -> std::string {
    return path == "/v.txt" ? "Version=0.9\r\nFile=/s.bat\r\n" : "";
  });
  SYSTEMTIME today;
  GetLocalTime(&today);
  // Checked today already: no request.
  WriteFileRaw(prog.Dir / L"Update.ini", "[Update]\r\nCheck=1\r\nLast=" + WideToUtf8(DayText(today)) +
                                             "\r\nServer=" + WideToUtf8(server.Url(L"/v.txt")) + "\r\n");
  EXPECT_FALSE(StartScheduledUpdateCheck(nullptr));
  // An older version: asked, nothing offered.
  WriteFileRaw(prog.Dir / L"Update.ini", "[Update]\r\nCheck=1\r\nServer=" + WideToUtf8(server.Url(L"/v.txt")) + "\r\n");
  {
    auto form = ShowForm();
    ASSERT_TRUE(PumpUntil([&] { return server.Requests == 1; }));
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(form->Visible());
    EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
  }
  // A server that is not there: no box, no hang.
  WriteFileRaw(prog.Dir / L"Update.ini", "[Update]\r\nCheck=1\r\nServer=http://127.0.0.1:1/v.txt\r\n");
  auto form = ShowForm();
  PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(form->Visible());
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
}

// ---- Log-off (last: the nested case ends the application's loop for good) ----

TEST(MainFormLogOff, WritesTheSettingsAndEndsWithCodeZero) {
  TProgramDir prog;
  auto form = ShowForm();
  UINT exitCode = 99;
  form->ExitProcessNow = [&](UINT code) { exitCode = code; };
  Options.AddHistory(hkGOTO, L"C:\\logoff");
  Options.ShowToolName = false;
  LRESULT r = SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_NE(r, 0);
  EXPECT_NE(ReadText(prog.Dir / L"History").find(L"C:\\logoff"), std::wstring::npos);
  EXPECT_NE(ReadText(prog.Dir / L"Q7X.CFG").find(L"ShowToolName=0"), std::wstring::npos);
  InitMainModule();  // the module was shut down; the fixture shuts it down again
}

TEST(MainFormLogOff, DuringAnOperationLetsItUnwindFirst) {
  TProgramDir prog;
  auto form = ShowForm();
  bool exited = false;
  form->ExitProcessNow = [&](UINT) { exited = true; };
  LRESULT answer = 1;
  bool loopEnded = false;
  // An operation's own loop, running inside an event, pumps until the program is told to end.
  form->RunSetupDialog = [&]() -> bool {
    answer = SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    for (int i = 0; i < 200 && !Application().Terminated(); ++i) Application().ProcessMessages();
    loopEnded = Application().Terminated();
    return false;
  };
  PostMessageW(form->Handle(), WM_SHOWSETUP, 1, 0);
  PumpUntil([&] { return loopEnded; }, 3000);
  EXPECT_TRUE(loopEnded);
  EXPECT_EQ(answer, 0);
  EXPECT_FALSE(exited);
  EXPECT_TRUE(form->EndSessionPending);
}

TEST(MainFormArchives, AnArchiveOpensInItsPanelAsAFolderAndOtherFilesDoNot) {
  TTempDir d;
  WriteFileRaw(d / L"pack.lzh", arcfix::Lzh({{"docs/a.txt", "hello"}, {"b.txt", "x"}}, 1));
  WriteFileRaw(d / L"plain.lzh", "no archive here");
  TProgramDir prog("[Main]\r\nDualWindow=2\r\n[Option]\r\nDiskMonitor=0\r\n" + PanelPaths(d.Path(), d.Path()));
  auto form = ShowForm();
  TMFList& list = form->Panel1->List();
  // A file whose bytes are no archive stays a file: the list does not enter it.
  EXPECT_FALSE(list.OpenArchive(d / L"plain.lzh"));
  EXPECT_FALSE(list.InArchive);
  form->OpenFile(form->Panel1, d / L"pack.lzh");
  ASSERT_TRUE(list.InArchive);
  std::vector<std::wstring> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.ItemName(i));
  EXPECT_NE(std::find(names.begin(), names.end(), L"docs"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), L"b.txt"), names.end());
  // ".." leads back out to the folder that holds the archive.
  EXPECT_TRUE(list.ChangeArchiveFolder(L".."));
  EXPECT_FALSE(list.InArchive);
  EXPECT_TRUE(SameTextI(list.Path, IncludeTrailingBackslash(d.Path())));
}

TEST(MainFormPanels, ThePanelsArePanelWindowsDrivenByKeysAndMouse) {
  TTempDir d, other;
  CreateDirectoryW((d / L"sub").c_str(), nullptr);
  WriteFileRaw(d / L"sub\\inner.txt", "1");
  WriteFileRaw(d / L"pack.lzh", arcfix::Lzh({{"a.txt", "hello"}}, 1));
  WriteFileRaw(d / L"note.txt", "12345");
  TProgramDir prog("[Main]\r\nDualWindow=2\r\nLastWindow=1\r\n[Option]\r\nDiskMonitor=0\r\n" +
                   PanelPaths(d.Path(), other.Path()));
  auto form = ShowForm();
  auto* p1 = dynamic_cast<TFilePanel*>(form->Panel1);
  auto* p2 = dynamic_cast<TFilePanel*>(form->Panel2);
  ASSERT_TRUE(p1 && p2);
  TFileWin& win = p1->Win();
  TMFList& list = p1->List();
  // The parts are shown and tell the folder and its counts.
  EXPECT_TRUE(IsWindowVisible(win.Box().Handle()));
  EXPECT_TRUE(IsWindowVisible(win.PathLine().Handle()));
  EXPECT_TRUE(IsWindowVisible(win.StatusLine().Handle()));
  EXPECT_TRUE(SameTextI(win.PathLine().Path(), IncludeTrailingBackslash(d.Path())));
  ASSERT_FALSE(win.StatusLine().Parts().empty());
  EXPECT_NE(win.StatusLine().Parts()[0].find(L"2 " + LoadMessageText(4003)), std::wstring::npos);
  EXPECT_TRUE(p1->CloseButtonShown());
  // Keys sent to the panel move the list's focus; Enter goes into a folder, Backspace out.
  HWND panel = p1->Handle();
  PressKey(panel, VK_HOME, 0);
  EXPECT_EQ(list.ItemIndex, 0);
  PressKey(panel, VK_DOWN, 0);
  EXPECT_EQ(list.ItemIndex, 1);
  win.Box().SetItemIndex(list.IndexOfName(L"sub"));
  PressKey(panel, VK_RETURN, 0);
  EXPECT_TRUE(SameTextI(list.Path, IncludeTrailingBackslash(d / L"sub")));
  EXPECT_TRUE(SameTextI(Options.PanelOptions(1).Path, list.Path));
  PressKey(panel, VK_BACK, 0);
  EXPECT_TRUE(SameTextI(list.Path, IncludeTrailingBackslash(d.Path())));
  EXPECT_EQ(list.ItemName(list.ItemIndex), L"sub");
  // Insert selects and the status line counts it.
  win.Box().SetItemIndex(list.IndexOfName(L"note.txt"));
  PressKey(panel, VK_INSERT, 0);
  EXPECT_EQ(list.SelCount, 1);
  EXPECT_NE(win.StatusLine().Parts()[1].find(L"1 " + LoadMessageText(4003)), std::wstring::npos);
  // Enter on an archive lists it as a folder.
  win.Box().SetItemIndex(list.IndexOfName(L"pack.lzh"));
  PressKey(panel, VK_RETURN, 0);
  ASSERT_TRUE(list.InArchive);
  EXPECT_GE(list.IndexOfName(L"a.txt"), 0);
  // Tab and a click make the other panel the active one.
  PressKey(panel, VK_TAB, 0);
  EXPECT_EQ(form->ActivePanel(), p2);
  PressKey(p2->Handle(), VK_TAB, 0);
  EXPECT_EQ(form->ActivePanel(), p1);
  RECT r = p2->Win().Box().ItemRect(0);
  ASSERT_LT(r.left, r.right);
  SendMessageW(p2->Win().Box().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Pt(r.left + 30, r.top + 2));
  SendMessageW(p2->Win().Box().Handle(), WM_LBUTTONUP, 0, Pt(r.left + 30, r.top + 2));
  EXPECT_TRUE(PumpUntil([&] { return form->ActivePanel() == p2; }));
  // The close button of panel 1 leaves panel 2 as the sole panel.
  ASSERT_NE(p1->CloseButton(), nullptr);
  HWND close = p1->CloseButton()->Handle();
  SendMessageW(close, WM_LBUTTONDOWN, MK_LBUTTON, Pt(3, 3));
  SendMessageW(close, WM_LBUTTONUP, 0, Pt(3, 3));
  EXPECT_TRUE(PumpUntil([&] { return form->Panel2 == nullptr; }));
  EXPECT_EQ(form->Panel1, p2);
  EXPECT_FALSE(p2->CloseButtonShown());
}

TEST(MainFormPanels, TheListsContextMenuIsTheShellsMenuOfTheSelection) {
  OleInitialize(nullptr);
  TTempDir d;
  WriteFileRaw(d / L"one.txt", "1");
  WriteFileRaw(d / L"two.txt", "2");
  WriteFileRaw(d / L"three.txt", "3");
  TProgramDir prog("[Main]\r\nDualWindow=0\r\n[Option]\r\nDiskMonitor=0\r\n" + PanelPaths(d.Path(), d.Path()));
  auto form = ShowForm();
  auto* panel = dynamic_cast<TFilePanel*>(form->Panel1);
  ASSERT_NE(panel, nullptr);
  TMFList& list = panel->List();
  list.SetSelected(list.IndexOfName(L"two.txt"), true);
  list.SetSelected(list.IndexOfName(L"one.txt"), true);
  std::vector<std::wstring> verbs;
  std::wstring pick = L"copy";
  ShellMenuPicker = [&](HMENU menu, HWND, POINT, const std::function<std::wstring(UINT)>& verbOf) -> UINT {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      UINT id = GetMenuItemID(menu, i);
      if (id == 0 || id == UINT(-1)) continue;
      verbs.push_back(verbOf(id));
      if (SameTextI(verbs.back(), pick)) return id;
    }
    return 0;
  };
  HWND box = panel->Win().Box().Handle();
  // The files the shell's copy put on the clipboard, by name.
  auto copied = [&] {
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    SendMessageW(box, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), -1);  // the menu key: no point
    std::vector<std::wstring> files;
    if (OpenClipboard(nullptr)) {
      if (HANDLE h = GetClipboardData(CF_HDROP)) {
        auto drop = static_cast<HDROP>(h);
        for (UINT i = 0, n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
          wchar_t buf[MAX_PATH + 1] = {};
          DragQueryFileW(drop, i, buf, MAX_PATH + 1);
          std::wstring name = buf;
          files.push_back(name.substr(name.find_last_of(L'\\') + 1));
        }
      }
      CloseClipboard();
    }
    std::sort(files.begin(), files.end());
    return files;
  };
  // The selection's menu: both selected files are copied.
  EXPECT_EQ(copied(), (std::vector<std::wstring>{L"one.txt", L"two.txt"}));
  // Without a selection the menu is the focused item's.
  list.SelectAll(false);
  panel->Win().Box().SetItemIndex(list.IndexOfName(L"three.txt"));
  EXPECT_EQ(copied(), std::vector<std::wstring>{L"three.txt"});
  // The shell's rename (where the shell offers it) runs the program's own rename command.
  std::vector<int> commands;
  form->OnCommand = [&](int tag) {
    commands.push_back(tag);
    return true;
  };
  pick = L"rename";
  verbs.clear();
  SendMessageW(box, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), -1);
  if (std::find(verbs.begin(), verbs.end(), L"rename") != verbs.end())
    EXPECT_EQ(commands, std::vector<int>{1004});
  else
    EXPECT_TRUE(commands.empty());
  ShellMenuPicker = nullptr;
  form.reset();
  OleUninitialize();
}

TEST(MainFormStartup, EachPanelListsItsFolderOnceAtStartUp) {
  struct TCountingPanel : TFilePanel {
    using TFilePanel::TFilePanel;
    int Loads = 0;
    void FirstLoad() override {
      ++Loads;
      TFilePanel::FirstLoad();
    }
  };
  TTempDir a, b;
  TProgramDir prog("[Main]\r\nDualWindow=2\r\n[Option]\r\nDiskMonitor=0\r\n" + PanelPaths(a.Path(), b.Path()));
  TQ7XForm form(nullptr, [](TComponent* o) { return new TCountingPanel(o); });
  form.Show();
  form.FormActivate();
  ASSERT_TRUE(PumpUntil([&] { return form.FirstLoadDone && !form.StartupTimer->Enabled(); }));
  EXPECT_EQ(static_cast<TCountingPanel*>(form.Panel1)->Loads, 1);
  EXPECT_EQ(static_cast<TCountingPanel*>(form.Panel2)->Loads, 1);
  EXPECT_TRUE(SameTextI(form.Panel2->List().Path, IncludeTrailingBackslash(b.Path())));
  // A panel added after the first load lists its folder at once.
  PressKey(form.Panel1->Handle(), '1', ssCtrl);
  ASSERT_EQ(form.Panel2, nullptr);
  PressKey(form.Panel1->Handle(), '2', ssCtrl);
  ASSERT_NE(form.Panel2, nullptr);
  EXPECT_EQ(static_cast<TCountingPanel*>(form.Panel2)->Loads, 1);
  EXPECT_FALSE(form.Panel2->List().Path.empty());
}
