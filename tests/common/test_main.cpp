// Test programs' entry: no critical-error boxes, a watchdog over each test's time, then GoogleTest.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/TextCodec.h"

namespace {
// A test that waits for something that never comes (a box nobody answers, a message that is
// never sent) would hold the whole run until CTest's limit and say nothing of where. After
// this many seconds the watchdog names the test, lists the windows still open with their
// texts and where the main thread stands, and ends the program.
int LimitSeconds() {
  const char* s = std::getenv("VELMO_TEST_LIMIT");
  int v = s ? std::atoi(s) : 0;
  return v > 0 ? v : 120;
}

std::atomic<DWORD> StartTick{0};
std::atomic<bool> Running{false};
char TestName[512];
HANDLE MainThread;

class TWatchdogListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& info) override {
    std::snprintf(TestName, sizeof TestName, "%s.%s", info.test_suite_name(), info.name());
    StartTick = GetTickCount();
    Running = true;
  }
  void OnTestEnd(const testing::TestInfo&) override { Running = false; }
};

void PrintWindow(HWND wnd, int depth) {
  wchar_t cls[128] = {}, text[256] = {};
  GetClassNameW(wnd, cls, 128);
  // Not GetWindowText: the main thread is stuck, and a message to its windows would wait too.
  InternalGetWindowText(wnd, text, 256);
  std::fprintf(stderr, "%*s%s \"%s\"%s\n", depth * 2 + 2, "", WideToUtf8(cls).c_str(), WideToUtf8(text).c_str(),
               IsWindowVisible(wnd) ? "" : " (hidden)");
}

BOOL CALLBACK PrintChild(HWND wnd, LPARAM parent) {
  if (GetParent(wnd) == reinterpret_cast<HWND>(parent) && IsWindowVisible(wnd)) PrintWindow(wnd, 1);
  return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND wnd, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(wnd)) return TRUE;
  PrintWindow(wnd, 0);
  EnumChildWindows(wnd, PrintChild, reinterpret_cast<LPARAM>(wnd));
  return TRUE;
}

// The main thread's return addresses, as offsets into this program, for addr2line.
void PrintMainStack() {
  if (SuspendThread(MainThread) == static_cast<DWORD>(-1)) return;
  CONTEXT ctx = {};
  ctx.ContextFlags = CONTEXT_FULL;
  if (GetThreadContext(MainThread, &ctx)) {
    const auto base = reinterpret_cast<ULONG_PTR>(GetModuleHandleW(nullptr));
    std::fprintf(stderr, "  main thread (offsets from the program's base %p):\n", reinterpret_cast<void*>(base));
#ifdef _WIN64
    for (int i = 0; i < 48 && ctx.Rip; ++i) {
      HMODULE mod = nullptr;
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(ctx.Rip), &mod);
      wchar_t name[MAX_PATH] = {};
      if (mod) GetModuleFileNameW(mod, name, MAX_PATH);
      const wchar_t* shortName = wcsrchr(name, L'\\');
      // Into a buffer on the stack: the stopped thread may hold the heap's lock.
      char narrow[MAX_PATH * 3] = {};
      WideCharToMultiByte(CP_UTF8, 0, shortName ? shortName + 1 : name, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
      std::fprintf(stderr, "    %s+0x%llx\n", narrow,
                   static_cast<unsigned long long>(ctx.Rip - reinterpret_cast<ULONG_PTR>(mod)));
      DWORD64 imageBase = 0;
      PRUNTIME_FUNCTION fn = RtlLookupFunctionEntry(ctx.Rip, &imageBase, nullptr);
      if (!fn) {  // a leaf function: the return address is on top of the stack
        ctx.Rip = *reinterpret_cast<DWORD64*>(ctx.Rsp);
        ctx.Rsp += 8;
        continue;
      }
      void* handlerData = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, ctx.Rip, fn, &ctx, &handlerData, &establisher, nullptr);
    }
#else
    std::fprintf(stderr, "    +0x%lx\n", static_cast<unsigned long>(ctx.Eip - base));
#endif
  }
  ResumeThread(MainThread);
}

DWORD WINAPI Watch(void*) {
  const DWORD limit = static_cast<DWORD>(LimitSeconds()) * 1000;
  for (;;) {
    Sleep(1000);
    if (!Running || GetTickCount() - StartTick < limit) continue;
    std::fprintf(stderr, "\n*** %s has run for over %lu s: stopped. Windows open:\n", TestName,
                 static_cast<unsigned long>(limit / 1000));
    EnumWindows(PrintTopLevel, 0);
    PrintMainStack();
    std::fflush(stderr);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
  }
}
}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
#endif
  testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &MainThread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  testing::UnitTest::GetInstance()->listeners().Append(new TWatchdogListener);
  CloseHandle(CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr));
#endif
  return RUN_ALL_TESTS();
}
