// The worker pool's lock and threads on the host (the portable build).
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "foundation/Parallel.h"

namespace parallel_platform {
struct TGate::TImpl {
  std::mutex Lock;
  std::condition_variable Conditions[2];
};
TGate::TGate() : F(new TImpl) {}
TGate::~TGate() = default;
void TGate::Lock() { F->Lock.lock(); }
void TGate::Unlock() { F->Lock.unlock(); }
void TGate::Wait(int condition) {
  std::unique_lock<std::mutex> l(F->Lock, std::adopt_lock);
  F->Conditions[condition].wait(l);
  l.release();
}
void TGate::WakeOne(int condition) { F->Conditions[condition].notify_one(); }
void TGate::WakeAll(int condition) { F->Conditions[condition].notify_all(); }

bool StartThread(void (*run)(void*), void* arg) {
  try {
    std::thread(run, arg).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

size_t ProcessorCount() {
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

void YieldThread() { std::this_thread::yield(); }
}  // namespace parallel_platform
