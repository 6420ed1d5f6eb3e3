#pragma once
// TWriteBehind: the second half of a copying loop on a worker thread. The calling thread reads
// a block into one of a few buffers and hands it over; the worker adds it to a CRC-32 and
// writes it while the caller already reads the next block. Blocks are summed and written in
// the order they were handed over. After a failed write the blocks still queued are dropped
// unwritten and the first error is kept for the caller.
//
// The locking is the system's slim lock and condition variable: one hand-over per block, and
// with those a hand-over to a thread that waits is a single wake of it, not a round trip to
// a server.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

class TWriteBehind {
 public:
  // Writes count bytes; returns 0 or the error code of the failure (a short write is one).
  using TSink = std::function<DWORD(const char* data, DWORD count)>;

  // slots buffers of blockSize bytes each. When no thread can be started, every block is
  // summed and written at hand-over, on the calling thread.
  TWriteBehind(DWORD blockSize, unsigned slots = 3);
  // Waits for the queued blocks, then ends the worker.
  ~TWriteBehind();
  TWriteBehind(const TWriteBehind&) = delete;
  TWriteBehind& operator=(const TWriteBehind&) = delete;

  DWORD BlockSize() const { return FBlockSize; }
  // Starts a run of blocks into sink with the running CRC-32 register crc (summed only when
  // sum is set); waits for the blocks of the previous run first. Clears the error.
  void Begin(TSink sink, bool sum, uint32_t crc);
  // A buffer of BlockSize() bytes to read the next block into; waits while every buffer still
  // holds a block that is not yet written.
  char* NextBuffer();
  // Hands over the first count bytes of the buffer NextBuffer gave: all of them are summed,
  // those from skip on are written.
  void Submit(DWORD count, DWORD skip = 0);
  // Bytes of blocks handed over and written (skipped ones included) since the last call.
  int64_t TakeDone();
  // The error of the first failed write of this run, 0 while none failed.
  DWORD Error();
  // Waits until every block handed over is written or dropped; returns the CRC-32 register.
  uint32_t Finish();

 private:
  struct TJob {
    char* Data = nullptr;
    DWORD Count = 0, Skip = 0;
  };
  void WorkerLoop();
  // Sums and writes one block unless an earlier one failed; returns its error.
  DWORD Process(const TJob& job, bool dropped);
  void Complete(const TJob& job, DWORD error);

  const DWORD FBlockSize;
  std::vector<std::vector<char>> FBuffers;
  std::vector<TJob> FJobs;
  SRWLOCK FLock = SRWLOCK_INIT;
  CONDITION_VARIABLE FWork = CONDITION_VARIABLE_INIT, FDone = CONDITION_VARIABLE_INIT;
  // Under FLock: blocks handed over and blocks finished since construction; the waits.
  uint64_t FSubmitted = 0, FCompleted = 0;
  bool FWorkerWaits = false, FCallerWaits = false, FStop = false;
  DWORD FError = 0;
  int64_t FDoneBytes = 0;
  // Set only while no block is queued; the worker's own while blocks are.
  TSink FSink;
  bool FSum = false;
  uint32_t FCrc = 0xFFFFFFFF;
  std::thread FWorker;
};
