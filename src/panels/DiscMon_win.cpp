#include "panels/DiscMon.h"

// What the worker owns: its own copy of the folder and of the handles it waits on.
struct TDiscMonitor::TContext {
  TDiscMonitor* Owner;
  std::wstring Folder;
  HANDLE Terminate, Restart;
  DWORD SettleMs;
  unsigned Generation;
};

TDiscMonitor::TDiscMonitor() {
  FTerminate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  FRestart = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

TDiscMonitor::~TDiscMonitor() {
  Stop();
  if (FTerminate) CloseHandle(FTerminate);
  if (FRestart) CloseHandle(FRestart);
}

void TDiscMonitor::Start(const std::wstring& folder) {
  Stop();
  if (!FTerminate || !FRestart || folder.empty()) return;
  FFolder = folder;
  ResetEvent(FTerminate);
  ResetEvent(FRestart);
  FBridge.Closing = false;
  auto* context = new TContext{this, folder, FTerminate, FRestart, SettleMs, ++FGeneration};
  FThread = CreateThread(nullptr, 0, &ThreadProc, context, 0, nullptr);
  if (!FThread) delete context;
}

void TDiscMonitor::Stop() {
  if (!FThread) return;
  FBridge.Closing = true;
  SetEvent(FTerminate);
  FBridge.WaitFor(FThread);
  CloseHandle(FThread);
  FThread = nullptr;
  ++FGeneration;  // reports still queued belong to the old watch
}

DWORD WINAPI TDiscMonitor::ThreadProc(void* param) {
  TContext* c = static_cast<TContext*>(param);
  const DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                       FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
  HANDLE change = FindFirstChangeNotificationW(c->Folder.c_str(), FALSE, filter);
  for (;;) {
    if (change == INVALID_HANDLE_VALUE) {
      // The folder cannot be watched (gone, or a medium without notices): wait for the end.
      WaitForSingleObject(c->Terminate, INFINITE);
      break;
    }
    HANDLE waits[2] = {c->Terminate, change};
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) break;
    // Let a burst of changes settle, swallowing the notices it makes.
    if (WaitForSingleObject(c->Terminate, c->SettleMs) == WAIT_OBJECT_0) break;
    FindNextChangeNotification(change);
    TDiscMonitor* owner = c->Owner;
    unsigned generation = c->Generation;
    HANDLE restart = c->Restart;
    owner->FBridge.Post([owner, generation, restart] {
      if (generation != owner->FGeneration) return;
      if (owner->OnChange) owner->OnChange();
      // The handler may have stopped or restarted the watch; only this watch is re-armed.
      if (generation == owner->FGeneration) SetEvent(restart);
    });
    HANDLE resume[2] = {c->Terminate, c->Restart};
    if (WaitForMultipleObjects(2, resume, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) break;
    // Changes made while the report was handled (the list's own reread) are not reported.
    FindCloseChangeNotification(change);
    change = FindFirstChangeNotificationW(c->Folder.c_str(), FALSE, filter);
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
  delete c;
  return 0;
}
