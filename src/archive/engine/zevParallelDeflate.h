#pragma once
// TParallelDeflate: one raw DEFLATE stream made on several cores. The input is cut into chunks;
// each chunk is compressed on a worker thread with the 32 KB before it as preset dictionary and
// ends on a byte boundary (a sync flush), the last one ends the stream. The chunks' results go
// to the sink in input order, on the calling thread, so the output is one valid DEFLATE stream
// that any inflater reads; only the few bytes of each flush and matches that would have crossed
// a chunk's start differ from a single compressor's output.
// Portable (std::thread); an input of one chunk is compressed on the calling thread alone.
#include <zlib.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TParallelDeflate {
 public:
  // Receives compressed bytes in order; may throw (the stream is then abandoned).
  using TSink = std::function<void(const uint8_t* data, size_t count)>;
  static constexpr size_t kDefaultChunk = 256 * 1024;

  // level is zlib's 0..9; windowBits is negative (raw DEFLATE), -15 to -9. workers 0 takes the
  // machine's processors. Raises EStreamError for parameters zlib refuses.
  TParallelDeflate(int level, int windowBits, TSink sink, size_t chunkSize = kDefaultChunk, unsigned workers = 0);
  // Stops the workers; results not yet given to the sink are dropped.
  ~TParallelDeflate();
  TParallelDeflate(const TParallelDeflate&) = delete;
  TParallelDeflate& operator=(const TParallelDeflate&) = delete;

  // Takes all bytes; raises E_RAISE(zevOutOfMemory) or EStreamError when compression fails, and
  // whatever the sink raises.
  void Write(const void* data, size_t count);
  // Compresses what is left and ends the stream; every byte has gone to the sink on return.
  void Finish();
  // A position the input can be taken back to (the current end).
  void Mark();
  // Forgets every byte written since the last Mark. Returns how many compressed bytes stay
  // valid: the caller cuts what the sink got back to that many (results of chunks past the
  // mark may have reached it already).
  int64_t TakeBack();

  int64_t BytesIn() const { return FIn; }
  int64_t BytesOut() const { return FOut; }
  bool Finished() const { return FFinished; }

 private:
  struct TJob;
  void Submit(bool last);
  void Drain(bool all);
  void Emit(const std::shared_ptr<TJob>& job);
  void StartWorkers();
  void WorkerLoop();
  static void Compress(z_stream& z, bool& ready, int level, int windowBits, TJob& job);

  const int FLevel, FWindowBits;
  const size_t FChunk, FDictMax;
  TSink FSink;
  unsigned FWanted = 1;
  bool FStarted = false, FFinished = false;
  // The chunk being gathered: up to FDictMax bytes before it, then its own bytes.
  std::vector<uint8_t> FPending;
  size_t FDict = 0;
  int64_t FChunkStart = 0, FIn = 0, FOut = 0;
  uint64_t FNextSeq = 0;
  // Submitted chunks in input order, the oldest first.
  std::deque<std::shared_ptr<TJob>> FInFlight;
  // The calling thread's compressor, for chunks it does itself.
  z_stream FZ{};
  bool FZReady = false;
  // The mark: its input position, the chunk holding it, and (once that chunk's result went
  // out) the chunk's input and where its output began.
  bool FHaveMark = false;
  int64_t FMark = 0, FMarkOut = 0;
  uint64_t FMarkSeq = 0;
  std::shared_ptr<TJob> FMarkJob;

  std::mutex FLock;
  std::condition_variable FWork, FDone;
  std::deque<std::shared_ptr<TJob>> FTodo;
  bool FStop = false;
  std::vector<std::thread> FWorkers;
};
