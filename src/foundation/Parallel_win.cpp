// The worker pool's lock and threads on Windows: a slim reader/writer lock with condition
// variables, which sleep and wake without a round trip through the kernel's objects.
#include <windows.h>

#include "foundation/Parallel.h"
#include "framework/Handles.h"

namespace parallel_platform {
struct TGate::TImpl {
  SRWLOCK Lock = SRWLOCK_INIT;
  CONDITION_VARIABLE Conditions[2] = {CONDITION_VARIABLE_INIT, CONDITION_VARIABLE_INIT};
};
TGate::TGate() : F(new TImpl) {}
TGate::~TGate() = default;
void TGate::Lock() { AcquireSRWLockExclusive(&F->Lock); }
void TGate::Unlock() { ReleaseSRWLockExclusive(&F->Lock); }
void TGate::Wait(int condition) { SleepConditionVariableSRW(&F->Conditions[condition], &F->Lock, INFINITE, 0); }
void TGate::WakeOne(int condition) { WakeConditionVariable(&F->Conditions[condition]); }
void TGate::WakeAll(int condition) { WakeAllConditionVariable(&F->Conditions[condition]); }

namespace {
struct TStart {
  void (*Run)(void*);
  void* Arg;
};
DWORD WINAPI ThreadMain(void* p) {
  TStart start = *static_cast<TStart*>(p);
  delete static_cast<TStart*>(p);
  start.Run(start.Arg);
  return 0;
}
}  // namespace

bool StartThread(void (*run)(void*), void* arg) {
  auto* start = new TStart{run, arg};
  // A small stack: the workers run short loops over buffers they are given.
  TThreadHandle thread(
      CreateThread(nullptr, 256 * 1024, ThreadMain, start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) delete start;
  return static_cast<bool>(thread);
}

size_t ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

void YieldThread() { SwitchToThread(); }
}  // namespace parallel_platform
