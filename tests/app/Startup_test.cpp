// The program starts, shows its main window titled "Velmo", and ends cleanly when that
// window is closed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/TextCodec.h"

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
}  // namespace

TEST(Startup, ShowsTheMainWindowAndEndsCleanlyWhenClosed) {
  std::wstring exe = Utf8ToWide(VELMO_EXE_PATH);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\"";
  ASSERT_TRUE(CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << GetLastError();
  HWND main = nullptr;
  for (int i = 0; i < 300 && !main; ++i) {
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
    main = FindMainWindow(pi.dwProcessId);
  }
  ASSERT_NE(main, nullptr) << "no window titled Velmo appeared";
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}
