#pragma once
// The folder change monitor of a file list: a worker thread that waits on the system's change
// notification for one folder plus a terminate and a restart event. A change is reported once
// (OnChange, on the thread that made the monitor, when it next processes messages); the worker
// then waits for the restart event before it listens again, so a burst of changes while the
// list rereads gives one report, not a flood.
#include <windows.h>

#include <functional>
#include <string>

#include "framework/Handles.h"
#include "panels/ThreadBridge.h"

class TDiscMonitor {
 public:
  TDiscMonitor();
  ~TDiscMonitor();
  TDiscMonitor(const TDiscMonitor&) = delete;
  TDiscMonitor& operator=(const TDiscMonitor&) = delete;

  // Owner thread, after a change in the watched folder (files or folders created, deleted or
  // renamed, sizes, times or attributes changed). Once it returns the monitor listens again.
  std::function<void()> OnChange;

  // Watches folder (its subfolders not); a running watch is stopped first.
  void Start(const std::wstring& folder);
  void Stop();
  bool Running() const { return static_cast<bool>(FThread); }
  const std::wstring& Folder() const { return FFolder; }
  // Pause between the first notice of a change and its report, so that a burst of changes
  // gives one report.
  DWORD SettleMs = 100;

 private:
  struct TContext;
  static DWORD WINAPI ThreadProc(void* context);
  TThreadBridge FBridge;
  TEventHandle FTerminate;
  TEventHandle FRestart;
  TThreadHandle FThread;
  unsigned FGeneration = 0;
  std::wstring FFolder;
};
