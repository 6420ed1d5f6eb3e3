#pragma once
// The program's worker threads, shared by the work that a user waits on and that splits into
// independent pieces (reading a big tree file). They are started at the latest by the first
// call that can use them, and wait, asleep, between calls.
#include <cstddef>
#include <functional>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The threads that may run tasks at once: the processors, at most 8.
size_t ParallelThreads();

// Runs task(0) .. task(count - 1) on the calling thread and the workers, and returns when all
// have ended. Tasks are taken in the order of their numbers, each by one thread that runs it to
// its end: a task may wait for one of a lower number. When the workers are busy with another
// call (from another thread), the calling thread runs every task itself, in order. An
// exception a task raises is raised again here once all have ended.
void RunParallel(size_t count, const std::function<void(size_t)>& task);

// Starts the workers ahead of their first call (the program does so at start-up), so that the
// first call finds them waiting instead of going on alone while they come up.
void StartParallelWorkers();

// What the pool needs of the system: a lock with conditions to sleep on under it, and threads.
namespace parallel_platform {
class TGate {
 public:
  TGate();
  ~TGate();
  TGate(const TGate&) = delete;
  TGate& operator=(const TGate&) = delete;
  void Lock();
  void Unlock();
  // Sleeps on condition 0 or 1 with the lock let go, and holds it again on waking (which may
  // come without a wake call: the caller checks its condition again).
  void Wait(int condition);
  void WakeOne(int condition);
  void WakeAll(int condition);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};
// Starts a thread that runs run(arg) and is never joined; false when none could be made.
bool StartThread(void (*run)(void*), void* arg);
size_t ProcessorCount();
// Gives the processor to another thread that is ready to run.
void YieldThread();
}  // namespace parallel_platform

// A moment's wait in a loop that looks for what another processor is about to do.
inline void SpinPause() {
#if defined(__SSE2__)
  _mm_pause();
#endif
}

// Waits for what another running task does within moments (done() turns true, or stop() does:
// then false): looks again and again for a while, then gives the processor away between looks.
template <typename Done, typename Stop>
bool SpinUntil(Done&& done, Stop&& stop) {
  for (unsigned looks = 0; !done(); ++looks) {
    if (stop()) return false;
    if (looks < 4096)
      SpinPause();
    else
      parallel_platform::YieldThread();
  }
  return true;
}
