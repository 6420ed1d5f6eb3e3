#include "archive/engine/zevCodecIo.h"

#include <algorithm>
#include <climits>

#include "archive/engine/zevCrypt.h"

size_t TCodecInput::Read(uint8_t* buffer, size_t count) {
  size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(std::min<size_t>(count, INT32_MAX)), FLeft));
  if (want == 0) return 0;
  int32_t got = FSource.Read(buffer, static_cast<int32_t>(want));
  if (got <= 0) {
    FLeft = 0;  // the stream ended early: nothing more will come
    return 0;
  }
  size_t n = std::min(static_cast<size_t>(got), want);
  if (Decipher) Decipher(buffer, n);
  if (OnRead) OnRead(buffer, n);
  FLeft -= static_cast<int64_t>(n);
  FConsumed += static_cast<int64_t>(n);
  return n;
}

TCrcSink::TCrcSink(TStream32* dest, int crcWidth)
    : FDest(dest), FWidth(crcWidth), FCrc(crcWidth == 32 ? 0xFFFFFFFFu : 0) {}

bool TCrcSink::Put(const uint8_t* data, size_t count) {
  if (count == 0) return true;
  if (FWidth == 32)
    FCrc = UpdateCrc32(FCrc, data, count);
  else if (FWidth == 16)
    FCrc = UpdateCrc16(static_cast<uint16_t>(FCrc), data, count);
  size_t done = 0;
  while (FDest && done < count) {
    int32_t n = static_cast<int32_t>(std::min<size_t>(count - done, 1u << 30));
    int32_t w = FDest->Write(data + done, n);
    if (w != n) throw E_RAISE(zevWriteError);
    done += static_cast<size_t>(n);
  }
  FWritten += static_cast<int64_t>(count);
  return !OnProgress || OnProgress(count);
}

int CopyStored(TCodecInput& in, TCodecSink& out, int64_t size) {
  std::vector<uint8_t> buf(32768);
  while (size > 0) {
    size_t n = in.Read(buf.data(), static_cast<size_t>(std::min<int64_t>(size, static_cast<int64_t>(buf.size()))));
    if (n == 0) return zevReadError;
    if (!out.Put(buf.data(), n)) return zevUserCanceled;
    size -= static_cast<int64_t>(n);
  }
  return 0;
}

int InflateDecode(TCodecInput& in, TCodecSink& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return zevOutOfMemory;
  struct TEnd {
    z_stream& Z;
    ~TEnd() { inflateEnd(&Z); }
  } end{z};
  std::vector<uint8_t> ib(32768), ob(32768);
  bool dry = false;
  for (;;) {
    if (z.avail_in == 0 && !dry) {
      size_t n = in.Read(ib.data(), ib.size());
      if (n == 0) dry = true;
      z.next_in = ib.data();
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = ob.data();
    z.avail_out = static_cast<uInt>(ob.size());
    int r = inflate(&z, Z_NO_FLUSH);
    size_t produced = ob.size() - z.avail_out;
    if (produced && !out.Put(ob.data(), produced)) return zevUserCanceled;
    if (r == Z_STREAM_END) return 0;
    if (r == Z_MEM_ERROR) return zevOutOfMemory;
    if (r != Z_OK && r != Z_BUF_ERROR) return zevCorruptInput;
    if (dry && produced == 0) return zevReadError;
  }
}

bool ReadExactAt(TStream32& s, int64_t offset, uint8_t* buffer, size_t count) {
  if (s.Seek(offset, soFromBeginning) != offset) return false;
  return count == 0 || s.Read(buffer, static_cast<int32_t>(count)) == static_cast<int32_t>(count);
}
