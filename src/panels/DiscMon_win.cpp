#include "panels/DiscMon.h"

// What the worker owns: its own copy of the folder and of the handles it waits on.
struct TDiscMonitor::TContext {
  TDiscMonitor* Owner;
  std::wstring Folder;
  HANDLE Terminate, Restart;
  DWORD SettleMs;
  unsigned Generation;
};

TDiscMonitor::TDiscMonitor()
    : FTerminate(CreateEventW(nullptr, TRUE, FALSE, nullptr)), FRestart(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

TDiscMonitor::~TDiscMonitor() { Stop(); }

void TDiscMonitor::Start(const std::wstring& folder) {
  Stop();
  if (!FTerminate || !FRestart || folder.empty()) return;
  FFolder = folder;
  ResetEvent(FTerminate.get());
  ResetEvent(FRestart.get());
  FBridge.Closing = false;
  auto* context = new TContext{this, folder, FTerminate.get(), FRestart.get(), SettleMs, ++FGeneration};
  FThread.reset(CreateThread(nullptr, 0, &ThreadProc, context, 0, nullptr));
  if (!FThread) delete context;
}

void TDiscMonitor::Stop() {
  if (!FThread) return;
  FBridge.Closing = true;
  SetEvent(FTerminate.get());
  FBridge.WaitFor(FThread.get());
  FThread.reset();
  ++FGeneration;  // reports still queued belong to the old watch
}

DWORD WINAPI TDiscMonitor::ThreadProc(void* param) {
  TContext* c = static_cast<TContext*>(param);
  const DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                       FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
  TChangeHandle change(FindFirstChangeNotificationW(c->Folder.c_str(), FALSE, filter));
  for (;;) {
    if (!change) {
      // The folder cannot be watched (gone, or a medium without notices): wait for the end.
      WaitForSingleObject(c->Terminate, INFINITE);
      break;
    }
    HANDLE waits[2] = {c->Terminate, change.get()};
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (r != WAIT_OBJECT_0 + 1) break;
    // Let a burst of changes settle, swallowing the notices it makes.
    if (WaitForSingleObject(c->Terminate, c->SettleMs) == WAIT_OBJECT_0) break;
    FindNextChangeNotification(change.get());
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
    change.reset();
    change.reset(FindFirstChangeNotificationW(c->Folder.c_str(), FALSE, filter));
  }
  change.reset();
  delete c;
  return 0;
}
