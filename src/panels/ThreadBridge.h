#pragma once
// Hands work from a worker thread to the thread that made the bridge (the user-interface
// thread), through a message-only window: Send runs a call there and waits for it, Post queues
// one for the next message processing. Nothing is shared under a lock: each call runs on the
// owner thread, one at a time.
#include <windows.h>

#include <atomic>
#include <functional>

class TThreadBridge {
 public:
  TThreadBridge();
  // Drops the calls still queued.
  ~TThreadBridge();
  TThreadBridge(const TThreadBridge&) = delete;
  TThreadBridge& operator=(const TThreadBridge&) = delete;

  // From a worker: runs fn on the owner thread and returns when it has run. Once Closing is
  // set, fn is skipped and Send returns at once.
  void Send(const std::function<void()>& fn);
  // From a worker: fn runs later on the owner thread (skipped once Closing is set).
  void Post(std::function<void()> fn);
  // On the owner thread: waits for the thread to end, running the calls it sends meanwhile.
  void WaitFor(HANDLE thread);

  // Set by the owner before it waits for its worker to end.
  std::atomic<bool> Closing{false};

 private:
  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND FWnd = nullptr;
};
