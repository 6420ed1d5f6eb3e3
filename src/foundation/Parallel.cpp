#include "foundation/Parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>

using parallel_platform::TGate;

namespace {
constexpr size_t MaxThreads = 8;

class TPool {
 public:
  // Made once and never freed: its workers sleep on it until the process ends.
  static TPool& Get() {
    static TPool* pool = new TPool;
    return *pool;
  }
  bool TryRun(size_t count, const std::function<void(size_t)>& task);
  // The first worker is started once, and starts the others.
  void StartWorkers() {
    if (FWanted > 0 && !FStarted.exchange(true)) parallel_platform::StartThread(&TPool::Start, this);
  }

 private:
  TPool() : FWanted(std::min(parallel_platform::ProcessorCount(), MaxThreads) - 1) {}
  static void Start(void* self) { static_cast<TPool*>(self)->Work(true); }
  void Work(bool starter);
  // Takes tasks of the current call until none is left.
  void Take(const std::function<void(size_t)>& task, size_t count);

  TGate FGate;
  const size_t FWanted;  // workers beside the calling thread
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FBusy{false};
  // The current call, set and cleared under the lock. A worker joins each call once.
  uint64_t FCall = 0;
  const std::function<void(size_t)>* FTask = nullptr;
  size_t FCount = 0;
  std::atomic<int> FInside{0};  // workers that joined the current call and have not left it
  std::atomic<size_t> FNext{0};
  std::exception_ptr FError;
};

void TPool::Take(const std::function<void(size_t)>& task, size_t count) {
  for (size_t i; (i = FNext.fetch_add(1, std::memory_order_relaxed)) < count;) {
    try {
      task(i);
    } catch (...) {
      FGate.Lock();
      if (!FError) FError = std::current_exception();
      FGate.Unlock();
    }
  }
}

void TPool::Work(bool starter) {
  // The first worker starts the others, so that the call that needs them first waits for the
  // making of one thread only (and takes its tasks itself until the others come).
  if (starter)
    for (size_t i = 1; i < FWanted; ++i)
      if (!parallel_platform::StartThread([](void* self) { static_cast<TPool*>(self)->Work(false); }, this)) break;
  uint64_t seen = 0;
  FGate.Lock();
  for (;;) {
    while (FTask == nullptr || FCall == seen) FGate.Wait(0);
    seen = FCall;
    const std::function<void(size_t)>* task = FTask;
    size_t count = FCount;
    ++FInside;
    FGate.Unlock();
    // The calling thread wakes one worker only, and goes to its tasks at once; the first worker
    // to come wakes the others while tasks are left.
    if (FNext.load(std::memory_order_relaxed) < count) FGate.WakeAll(0);
    Take(*task, count);
    FGate.Lock();
    if (--FInside == 0) FGate.WakeAll(1);
  }
}

bool TPool::TryRun(size_t count, const std::function<void(size_t)>& task) {
  if (FBusy.exchange(true, std::memory_order_acquire)) return false;
  StartWorkers();
  FGate.Lock();
  FTask = &task;
  FCount = count;
  FNext.store(0, std::memory_order_relaxed);
  FError = nullptr;
  ++FCall;
  FGate.Unlock();
  FGate.WakeOne(0);
  Take(task, count);
  // Every task has been taken; those the workers took end before the call does, and a worker
  // that wakes only now finds no call to join.
  FGate.Lock();
  FTask = nullptr;
  FGate.Unlock();
  // They end within moments: looked for a while before the caller sleeps (waking it again would
  // take longer than most of them run).
  for (int looks = 0; looks < 20000 && FInside.load(std::memory_order_acquire) > 0; ++looks) SpinPause();
  FGate.Lock();
  while (FInside.load(std::memory_order_acquire) > 0) FGate.Wait(1);
  std::exception_ptr error = FError;
  FError = nullptr;
  FGate.Unlock();
  FBusy.store(false, std::memory_order_release);
  if (error) std::rethrow_exception(error);
  return true;
}
}  // namespace

size_t ParallelThreads() { return std::clamp<size_t>(parallel_platform::ProcessorCount(), 1, MaxThreads); }

void StartParallelWorkers() {
  if (ParallelThreads() > 1) TPool::Get().StartWorkers();
}

void RunParallel(size_t count, const std::function<void(size_t)>& task) {
  if (count == 0) return;
  if (count > 1 && ParallelThreads() > 1 && TPool::Get().TryRun(count, task)) return;
  for (size_t i = 0; i < count; ++i) task(i);
}
