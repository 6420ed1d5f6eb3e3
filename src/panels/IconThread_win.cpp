#include "panels/IconThread.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

void TIconThread::Start() {
  Stop();
  if (!NextJob) return;
  FBridge.Closing = false;
  FBusy = true;
  FThread.reset(CreateThread(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, nullptr));
  if (!FThread) {
    FBusy = false;
    return;
  }
  SetThreadPriority(FThread.get(), THREAD_PRIORITY_LOWEST);
  ResumeThread(FThread.get());
}

void TIconThread::Stop() {
  if (!FThread) return;
  FBridge.Closing = true;
  FBridge.WaitFor(FThread.get());
  FThread.reset();
  FBusy = false;
}

DWORD WINAPI TIconThread::ThreadProc(void* self) {
  HRESULT co = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  static_cast<TIconThread*>(self)->Execute();
  if (SUCCEEDED(co)) CoUninitialize();
  return 0;
}

void TIconThread::Execute() {
  while (!FBridge.Closing) {
    TJob job;
    bool more = false;
    FBridge.Send([&] { more = NextJob(job); });
    if (!more || FBridge.Closing) break;
    if (!job.NeedShell) continue;
    SHFILEINFOW info{};
    if (SHGetFileInfoW(job.Path.c_str(), 0, &info, sizeof(info),
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_ATTRIBUTES)) {
      job.IconIndex = -info.iIcon - 10;
      // The marks drawn over the icon: shared (1), shortcut (2), both (3).
      job.Overlay = ((info.dwAttributes & SFGAO_SHARE) ? 1 : 0) | ((info.dwAttributes & SFGAO_LINK) ? 2 : 0);
    }
    if (FBridge.Closing) break;
    FBridge.Send([&] {
      if (Deliver) Deliver(job);
    });
  }
  FBusy = false;
}
