#include "archive/engine/zevParallelDeflate.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "archive/engine/zevGbls.h"

namespace {
// More threads than this gain nothing on the chunk sizes used and only cost memory.
constexpr unsigned kMaxWorkers = 16;
enum : int { kOk = 0, kNoMemory = 1, kZlibFailed = 2 };
}  // namespace

struct TParallelDeflate::TJob {
  uint64_t Seq = 0;
  int64_t Start = 0;  // input position of the chunk's first byte
  std::vector<uint8_t> In;  // the dictionary, then the chunk
  size_t Dict = 0;
  bool Last = false;
  std::vector<uint8_t> Out;
  int Error = kOk;
  bool Done = false;  // under FLock once workers run
  std::atomic<bool> Dropped{false};
};

TParallelDeflate::TParallelDeflate(int level, int windowBits, TSink sink, size_t chunkSize, unsigned workers)
    : FLevel(level), FWindowBits(windowBits), FChunk(std::max<size_t>(chunkSize, 1024)),
      FDictMax(size_t(1) << (windowBits < 0 ? -windowBits : 15)), FSink(std::move(sink)) {
  if (windowBits > -9 || windowBits < -15 || level < 0 || level > 9)
    throw EStreamError("Invalid compression parameters");
  FWanted = workers ? workers : std::thread::hardware_concurrency();
  FWanted = std::clamp(FWanted, 1u, kMaxWorkers);
  FPending.reserve(FChunk);
}

TParallelDeflate::~TParallelDeflate() {
  {
    std::lock_guard<std::mutex> l(FLock);
    FStop = true;
  }
  FWork.notify_all();
  for (auto& t : FWorkers) t.join();
  if (FZReady) deflateEnd(&FZ);
}

void TParallelDeflate::Compress(z_stream& z, bool& ready, int level, int windowBits, TJob& job) {
  try {
    if (!ready) {
      int r = deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
      if (r != Z_OK) {
        job.Error = r == Z_MEM_ERROR ? kNoMemory : kZlibFailed;
        return;
      }
      ready = true;
    } else if (deflateReset(&z) != Z_OK) {
      job.Error = kZlibFailed;
      return;
    }
    if (job.Dict > 0 && deflateSetDictionary(&z, job.In.data(), static_cast<uInt>(job.Dict)) != Z_OK) {
      job.Error = kZlibFailed;
      return;
    }
    const size_t n = job.In.size() - job.Dict;
    // The bound covers the blocks; the flush adds a few bytes more.
    job.Out.resize(deflateBound(&z, static_cast<uLong>(n)) + 64);
    z.next_in = job.In.data() + job.Dict;
    z.avail_in = static_cast<uInt>(n);
    z.next_out = job.Out.data();
    z.avail_out = static_cast<uInt>(job.Out.size());
    const int flush = job.Last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      int r = deflate(&z, flush);
      if (r == Z_STREAM_ERROR) {
        job.Error = kZlibFailed;
        return;
      }
      // A sync flush is complete when the compressor left room in the output.
      if (job.Last ? r == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) break;
      if (z.avail_out == 0) {
        size_t used = job.Out.size();
        job.Out.resize(used * 2);
        z.next_out = job.Out.data() + used;
        z.avail_out = static_cast<uInt>(job.Out.size() - used);
      } else if (r == Z_BUF_ERROR) {
        job.Error = kZlibFailed;
        return;
      }
    }
    job.Out.resize(job.Out.size() - z.avail_out);
  } catch (const std::bad_alloc&) {
    job.Error = kNoMemory;
  }
}

void TParallelDeflate::WorkerLoop() {
  z_stream z{};
  bool ready = false;
  for (;;) {
    std::shared_ptr<TJob> job;
    {
      std::unique_lock<std::mutex> l(FLock);
      FWork.wait(l, [&] { return FStop || !FTodo.empty(); });
      if (FStop) break;
      job = std::move(FTodo.front());
      FTodo.pop_front();
    }
    if (!job->Dropped) Compress(z, ready, FLevel, FWindowBits, *job);
    {
      std::lock_guard<std::mutex> l(FLock);
      job->Done = true;
    }
    FDone.notify_all();
  }
  if (ready) deflateEnd(&z);
}

void TParallelDeflate::StartWorkers() {
  if (FStarted) return;
  FStarted = true;
  if (FWanted <= 1) return;
  for (unsigned i = 0; i < FWanted; ++i) {
    try {
      FWorkers.emplace_back([this] { WorkerLoop(); });
    } catch (...) {
      // Fewer threads than asked for (none: the calling thread does all).
      break;
    }
  }
}

void TParallelDeflate::Write(const void* data, size_t count) {
  if (FFinished) throw EStreamError("Compression error");
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (count > 0) {
    size_t take = std::min(count, FDict + FChunk - FPending.size());
    FPending.insert(FPending.end(), p, p + take);
    p += take;
    count -= take;
    FIn += static_cast<int64_t>(take);
    if (FPending.size() == FDict + FChunk) Submit(false);
  }
}

void TParallelDeflate::Finish() {
  if (FFinished) return;
  Submit(true);
  FFinished = true;
}

void TParallelDeflate::Submit(bool last) {
  auto job = std::make_shared<TJob>();
  job->Seq = FNextSeq++;
  job->Start = FChunkStart;
  job->Dict = FDict;
  job->Last = last;
  FChunkStart += static_cast<int64_t>(FPending.size() - FDict);
  std::vector<uint8_t> next;
  if (!last) {
    // The next chunk's dictionary: the input right before it.
    size_t keep = std::min(FDictMax, FPending.size());
    next.reserve(keep + FChunk);
    next.assign(FPending.end() - static_cast<ptrdiff_t>(keep), FPending.end());
    FDict = keep;
  }
  job->In = std::move(FPending);
  FPending = std::move(next);
  // The last chunk is done here while the workers finish theirs; with no workers, all are.
  if (!last) StartWorkers();
  if (last || FWorkers.empty()) {
    Compress(FZ, FZReady, FLevel, FWindowBits, *job);
    job->Done = true;
    FInFlight.push_back(job);
  } else {
    {
      std::lock_guard<std::mutex> l(FLock);
      FTodo.push_back(job);
    }
    FWork.notify_one();
    FInFlight.push_back(std::move(job));
  }
  Drain(last);
}

void TParallelDeflate::Drain(bool all) {
  // At most two chunks per worker are in flight: memory stays bounded and every worker has
  // the next chunk ready when it is done with one.
  const size_t limit = 2 * std::max<size_t>(FWorkers.size(), 1);
  for (;;) {
    if (FInFlight.empty()) return;
    std::shared_ptr<TJob> front = FInFlight.front();
    {
      std::unique_lock<std::mutex> l(FLock);
      if (!front->Done) {
        if (!all && FInFlight.size() <= limit) return;
        FDone.wait(l, [&] { return front->Done; });
      }
    }
    FInFlight.pop_front();
    Emit(front);
  }
}

void TParallelDeflate::Emit(const std::shared_ptr<TJob>& job) {
  if (job->Error == kNoMemory) throw E_RAISE(zevOutOfMemory);
  if (job->Error != kOk) throw EStreamError("Compression error");
  if (FHaveMark && job->Seq == FMarkSeq) {
    // The chunk holding the mark: its input is kept to start again from there.
    FMarkJob = job;
    FMarkOut = FOut;
  }
  if (!job->Out.empty()) FSink(job->Out.data(), job->Out.size());
  FOut += static_cast<int64_t>(job->Out.size());
  std::vector<uint8_t>().swap(job->Out);
  if (job != FMarkJob) std::vector<uint8_t>().swap(job->In);
}

void TParallelDeflate::Mark() {
  FHaveMark = true;
  FMark = FIn;
  FMarkSeq = FNextSeq;
  FMarkJob.reset();
}

int64_t TParallelDeflate::TakeBack() {
  if (!FHaveMark || FFinished) throw EStreamError("Compression error");
  if (FMarkSeq == FNextSeq) {
    // The mark is in the chunk still being gathered.
    FPending.resize(FDict + static_cast<size_t>(FMark - FChunkStart));
    FIn = FMark;
    return FOut;
  }
  // Chunks from the mark's on are dropped, whether done, under way or waiting.
  std::shared_ptr<TJob> marked;
  while (!FInFlight.empty() && FInFlight.back()->Seq >= FMarkSeq) {
    auto& j = FInFlight.back();
    j->Dropped = true;
    if (j->Seq == FMarkSeq) marked = j;
    FInFlight.pop_back();
  }
  {
    std::lock_guard<std::mutex> l(FLock);
    FTodo.erase(std::remove_if(FTodo.begin(), FTodo.end(), [](const auto& j) { return j->Dropped.load(); }),
                FTodo.end());
  }
  if (!marked) {
    // Its result went out already, and maybe later ones: the output goes back to its start.
    marked = FMarkJob;
    FOut = FMarkOut;
  }
  FDict = marked->Dict;
  const auto end = marked->In.begin() + static_cast<ptrdiff_t>(marked->Dict + static_cast<size_t>(FMark - marked->Start));
  FPending.assign(marked->In.begin(), end);
  FPending.reserve(FDict + FChunk);
  FChunkStart = marked->Start;
  FNextSeq = FMarkSeq;
  FIn = FMark;
  FMarkJob.reset();
  return FOut;
}
