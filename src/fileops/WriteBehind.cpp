#include "fileops/WriteBehind.h"

#include <system_error>

#include "fileops/CRC32.h"

namespace {
struct TLocked {
  explicit TLocked(SRWLOCK& lock) : Lock(lock) { AcquireSRWLockExclusive(&Lock); }
  ~TLocked() { ReleaseSRWLockExclusive(&Lock); }
  SRWLOCK& Lock;
};
}  // namespace

TWriteBehind::TWriteBehind(DWORD blockSize, unsigned slots)
    : FBlockSize(blockSize), FBuffers(slots < 2 ? 2 : slots, std::vector<char>(blockSize)), FJobs(FBuffers.size()) {
  try {
    FWorker = std::thread([this] { WorkerLoop(); });
  } catch (const std::system_error&) {
    // No thread: Submit does the work itself.
  }
}

TWriteBehind::~TWriteBehind() {
  if (!FWorker.joinable()) return;
  Finish();
  {
    TLocked l(FLock);
    FStop = true;
  }
  WakeConditionVariable(&FWork);
  FWorker.join();
}

void TWriteBehind::Begin(TSink sink, bool sum, uint32_t crc) {
  Finish();
  TLocked l(FLock);
  FSink = std::move(sink);
  FSum = sum;
  FCrc = crc;
  FError = 0;
  FDoneBytes = 0;
}

char* TWriteBehind::NextBuffer() {
  TLocked l(FLock);
  // The buffer of this block held the block FJobs.size() before it.
  while (FSubmitted - FCompleted >= FJobs.size()) {
    FCallerWaits = true;
    SleepConditionVariableSRW(&FDone, &FLock, INFINITE, 0);
  }
  FCallerWaits = false;
  return FBuffers[FSubmitted % FBuffers.size()].data();
}

void TWriteBehind::Submit(DWORD count, DWORD skip) {
  TJob job;
  job.Data = FBuffers[FSubmitted % FBuffers.size()].data();
  job.Count = count > FBlockSize ? FBlockSize : count;
  job.Skip = skip > job.Count ? job.Count : skip;
  if (!FWorker.joinable()) {
    {
      TLocked l(FLock);
      ++FSubmitted;
    }
    Complete(job, Process(job, FError != 0));
    return;
  }
  bool wake;
  {
    TLocked l(FLock);
    FJobs[FSubmitted % FJobs.size()] = job;
    ++FSubmitted;
    wake = FWorkerWaits;
  }
  if (wake) WakeConditionVariable(&FWork);
}

int64_t TWriteBehind::TakeDone() {
  TLocked l(FLock);
  int64_t n = FDoneBytes;
  FDoneBytes = 0;
  return n;
}

DWORD TWriteBehind::Error() {
  TLocked l(FLock);
  return FError;
}

uint32_t TWriteBehind::Finish() {
  TLocked l(FLock);
  while (FCompleted != FSubmitted) {
    FCallerWaits = true;
    SleepConditionVariableSRW(&FDone, &FLock, INFINITE, 0);
  }
  FCallerWaits = false;
  return FCrc;
}

DWORD TWriteBehind::Process(const TJob& job, bool dropped) {
  if (dropped) return 0;
  if (FSum) FCrc = CRC32Update(FCrc, job.Data, job.Count);
  if (job.Count <= job.Skip) return 0;
  return FSink ? FSink(job.Data + job.Skip, job.Count - job.Skip) : 0;
}

void TWriteBehind::Complete(const TJob& job, DWORD error) {
  bool wake;
  {
    TLocked l(FLock);
    if (error && !FError) FError = error;
    else if (!error && !FError) FDoneBytes += job.Count;
    ++FCompleted;
    wake = FCallerWaits;
  }
  if (wake) WakeConditionVariable(&FDone);
}

void TWriteBehind::WorkerLoop() {
  for (;;) {
    TJob job;
    bool dropped;
    {
      TLocked l(FLock);
      while (FCompleted == FSubmitted && !FStop) {
        FWorkerWaits = true;
        SleepConditionVariableSRW(&FWork, &FLock, INFINITE, 0);
      }
      FWorkerWaits = false;
      if (FCompleted == FSubmitted) return;
      job = FJobs[FCompleted % FJobs.size()];
      dropped = FError != 0;
    }
    Complete(job, Process(job, dropped));
  }
}
