// The program itself: it starts, shows its main window titled "Velmo" with its panels, and
// when it is closed it ends with code 0 having written its settings and history; a restart
// comes back with the same layout and window placement; damaged settings files are left as
// they were.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "foundation/TextCodec.h"
#include "mainwin/MainMessages.h"

namespace {
struct TSearch {
  DWORD Pid;
  HWND Found;
};

BOOL CALLBACK MatchVelmoWindow(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TSearch*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  wchar_t title[64] = {};
  GetWindowTextW(w, title, 64);
  if (owner == s->Pid && IsWindowVisible(w) && std::wstring(title) == L"Velmo") {
    s->Found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindMainWindow(DWORD pid) {
  TSearch s{pid, nullptr};
  EnumWindows(&MatchVelmoWindow, reinterpret_cast<LPARAM>(&s));
  return s.Found;
}

struct TPanels {
  HWND Main;
  std::vector<RECT> Rects;
};

// The panels: visible windows two levels below the main window, larger than a splitter.
BOOL CALLBACK CollectPanel(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TPanels*>(p);
  HWND parent = GetParent(w);
  if (parent && GetParent(parent) == s->Main && IsWindowVisible(w)) {
    RECT r;
    GetWindowRect(w, &r);
    if (r.right - r.left > 20 && r.bottom - r.top > 20) s->Rects.push_back(r);
  }
  return TRUE;
}

std::vector<RECT> Panels(HWND main) {
  TPanels s{main, {}};
  EnumChildWindows(main, &CollectPanel, reinterpret_cast<LPARAM>(&s));
  return s.Rects;
}

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

std::wstring ReadText(const std::wstring& file) {
  TTextEncoding enc;
  return DecodeText(ReadFileRaw(file), enc);
}

// velmo.exe copied into a folder of its own, so that its data files lie there.
class TProgramCopy {
 public:
  TProgramCopy() {
    Exe = Dir / L"velmo.exe";
    EXPECT_TRUE(CopyFileW(Utf8ToWide(VELMO_EXE_PATH).c_str(), Exe.c_str(), FALSE)) << GetLastError();
    WriteFileRaw(Dir / L"Update.ini", "[Update]\r\nCheck=0\r\n");
  }
  // Starts the program and waits for its window; false when it did not appear.
  bool Start() {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + Exe + L"\"";
    if (!CreateProcessW(Exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, Dir.Path().c_str(), &si, &Pi))
      return false;
    WaitFor([&] { return (Main = FindMainWindow(Pi.dwProcessId)) != nullptr; });
    return Main != nullptr;
  }
  // Closes the window; the exit code, or -1 when the program did not end.
  long Close() {
    PostMessageW(Main, WM_CLOSE, 0, 0);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(Pi.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(Pi.hProcess, &code);
    if (code == STILL_ACTIVE) TerminateProcess(Pi.hProcess, 1);
    CloseHandle(Pi.hThread);
    CloseHandle(Pi.hProcess);
    Pi = {};
    return code == STILL_ACTIVE ? -1 : static_cast<long>(code);
  }
  ~TProgramCopy() {
    if (Pi.hProcess) {
      TerminateProcess(Pi.hProcess, 1);
      WaitForSingleObject(Pi.hProcess, 5000);
      CloseHandle(Pi.hThread);
      CloseHandle(Pi.hProcess);
    }
  }
  TTempDir Dir;
  std::wstring Exe;
  PROCESS_INFORMATION Pi{};
  HWND Main = nullptr;
};
}  // namespace

TEST(Startup, ANewcomerSeesTwoPanelsAndTheProgramWritesItsFilesWhenClosed) {
  TProgramCopy prog;
  ASSERT_TRUE(prog.Start()) << "no window titled Velmo appeared";
  EXPECT_TRUE(WaitFor([&] { return Panels(prog.Main).size() == 2; })) << Panels(prog.Main).size();
  EXPECT_EQ(prog.Close(), 0);
  std::wstring cfg = ReadText(prog.Dir / L"Q7X.CFG");
  EXPECT_NE(cfg.find(L"DualWindow=2"), std::wstring::npos);
  EXPECT_NE(cfg.find(L"Window="), std::wstring::npos);
  EXPECT_TRUE(FileExistsPlain(prog.Dir / L"History"));
  EXPECT_NE(GetFileAttributesW((prog.Dir / L"MCD").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Startup, LayoutPlacementAndHistoryRoundTripThroughARestart) {
  TProgramCopy prog;
  TTempDir a, b;
  WriteFileRaw(prog.Dir / L"Q7X.CFG", "[Main]\r\nDualWindow=1\r\nWindow=100,80,700,500,0\r\n[File1]\r\nPath=" +
                                          WideToUtf8(a.Path()) + "\r\n[File2]\r\nPath=" + WideToUtf8(b.Path()) + "\r\n");
  WriteFileRaw(prog.Dir / L"History", "[DOSCMD]\r\n1=dir /w\r\n");
  ASSERT_TRUE(prog.Start());
  ASSERT_TRUE(WaitFor([&] { return Panels(prog.Main).size() == 2; }));
  RECT w;
  GetWindowRect(prog.Main, &w);
  EXPECT_EQ(w.left, 100);
  EXPECT_EQ(w.top, 80);
  EXPECT_EQ(w.right - w.left, 700);
  EXPECT_EQ(w.bottom - w.top, 500);
  std::vector<RECT> panels = Panels(prog.Main);
  // Stacked: one above the other.
  EXPECT_TRUE(panels[0].bottom <= panels[1].top || panels[1].bottom <= panels[0].top);
  // The close button of panel 1 leaves panel 2 alone.
  PostMessageW(prog.Main, WM_PANELTREE, 1, 0);
  EXPECT_TRUE(WaitFor([&] { return Panels(prog.Main).size() == 1; }));
  EXPECT_EQ(prog.Close(), 0);
  std::wstring cfg = ReadText(prog.Dir / L"Q7X.CFG");
  EXPECT_NE(cfg.find(L"DualWindow=0"), std::wstring::npos);
  EXPECT_NE(cfg.find(L"LastWindow=2"), std::wstring::npos);
  EXPECT_NE(cfg.find(L"Window=100,80,700,500,0"), std::wstring::npos);
  EXPECT_NE(ReadText(prog.Dir / L"History").find(L"dir /w"), std::wstring::npos);

  ASSERT_TRUE(prog.Start());
  EXPECT_TRUE(WaitFor([&] { return Panels(prog.Main).size() == 1; }));
  GetWindowRect(prog.Main, &w);
  EXPECT_EQ(w.left, 100);
  EXPECT_EQ(w.right - w.left, 700);
  EXPECT_EQ(prog.Close(), 0);
}

TEST(Startup, DamagedSettingsStartWithDefaultsAndStayAsTheyWere) {
  TProgramCopy prog;
  const std::string garbage("\x01\x02\0\0[Main]\0DualWindow=1\xff\xfe", 22);
  WriteFileRaw(prog.Dir / L"Q7X.CFG", garbage);
  WriteFileRaw(prog.Dir / L"History", garbage);
  WriteFileRaw(prog.Dir / L"Q7XPRG.CFN", garbage);
  WriteFileRaw(prog.Dir / L"language.ini", "Use=missing\r\n");
  ASSERT_TRUE(prog.Start());
  EXPECT_TRUE(WaitFor([&] { return Panels(prog.Main).size() == 2; }));
  EXPECT_EQ(prog.Close(), 0);
  EXPECT_EQ(ReadFileRaw(prog.Dir / L"Q7X.CFG"), garbage);
  EXPECT_EQ(ReadFileRaw(prog.Dir / L"History"), garbage);
  EXPECT_EQ(ReadFileRaw(prog.Dir / L"Q7XPRG.CFN"), garbage);
}
