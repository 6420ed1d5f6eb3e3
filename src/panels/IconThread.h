#pragma once
// The file list's icon thread: a low-priority worker that resolves the items of a listing one
// at a time. The cheap part (colours, cached types) runs on the user-interface thread inside
// NextJob; only what needs the shell for one particular file or folder (its own icon) is asked
// on the worker, and the answer is handed back through Deliver. Both calls run on the thread
// that made the object, one at a time.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "framework/Handles.h"
#include "panels/ThreadBridge.h"

class TIconThread {
 public:
  struct TJob {
    int Index = -1;          // joint index of the item
    std::wstring Path;       // the file or folder whose own icon is wanted
    bool NeedShell = false;  // ask the shell for Path
    int32_t IconIndex = -1;  // the shell's answer (system image list, stored as -i-10)
    int32_t Overlay = 0;
  };

  TIconThread() = default;
  ~TIconThread() { Stop(); }
  TIconThread(const TIconThread&) = delete;
  TIconThread& operator=(const TIconThread&) = delete;

  // Owner thread: fills the next job; false when nothing is left.
  std::function<bool(TJob& job)> NextJob;
  // Owner thread: takes the shell's answer for a job.
  std::function<void(const TJob& job)> Deliver;

  void Start();
  // Returns once the worker has ended; no call of the worker runs after it.
  void Stop();
  bool Running() const { return static_cast<bool>(FThread); }
  // The worker is still working (false once it found nothing left to do).
  bool Busy() const { return FBusy; }

 private:
  static DWORD WINAPI ThreadProc(void* self);
  void Execute();
  TThreadBridge FBridge;
  TThreadHandle FThread;
  std::atomic<bool> FBusy{false};
};
