#include "archive/engine/zevStreams.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/engine/zevCrypt.h"

// ---- TStream32 ----

int64_t TStream32::Seek(int64_t, TSeekOrigin32) {
  throw EStreamError(std::string(ClassName()) + ".Seek not implemented");
}

void TStream32::SetSize(int64_t) {}

namespace {
int64_t CheckRange(int64_t v) {
  if (v < INT32_MIN || v > INT32_MAX) throw ERangeError();
  return v;
}
}  // namespace

int64_t TStream32::GetPosition() { return CheckRange(Seek(0, soFromCurrent)); }

void TStream32::SetPosition(int64_t pos) { Seek(CheckRange(pos), soFromBeginning); }

int64_t TStream32::GetSize() {
  int64_t pos = Seek(0, soFromCurrent);
  int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return CheckRange(size);
}

void TStream32::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream32::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

int64_t TStream32::CopyFrom(TStream32& source, int64_t count) {
  if (count < 0) return 0;
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, kCopyBufferSize)));
  int64_t left = count;
  while (left > 0) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(left, kCopyBufferSize));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

// ---- Memory streams ----

int32_t TCustomMemoryStream32::Read(void* buffer, int32_t count) {
  if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  int64_t n = std::min<int64_t>(count, FSize - FPosition);
  std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return static_cast<int32_t>(n);
}

int64_t TCustomMemoryStream32::Seek(int64_t offset, TSeekOrigin32 origin) {
  int64_t base = origin == soFromCurrent ? FPosition : origin == soFromEnd ? FSize : 0;
  int64_t pos;
  if (__builtin_add_overflow(base, offset, &pos)) throw ERangeError();
  FPosition = pos;
  return FPosition;
}

TMemoryStream32::~TMemoryStream32() { std::free(FMemory); }

void TMemoryStream32::Clear() {
  std::free(FMemory);
  FMemory = nullptr;
  FCapacity = FSize = FPosition = 0;
}

void TMemoryStream32::SetCapacity(int64_t newCapacity) {
  if (newCapacity < 0 || newCapacity > INT32_MAX) throw EStreamError("Out of memory while expanding memory stream");
  newCapacity = (newCapacity + 8191) & ~int64_t{8191};
  if (newCapacity == FCapacity) return;
  if (newCapacity == 0) {
    std::free(FMemory);
    FMemory = nullptr;
  } else {
    void* p = std::realloc(FMemory, static_cast<size_t>(newCapacity));
    if (!p) throw EStreamError("Out of memory while expanding memory stream");
    FMemory = static_cast<uint8_t*>(p);
  }
  FCapacity = newCapacity;
}

void TMemoryStream32::SetSize(int64_t newSize) {
  if (newSize < 0) newSize = 0;
  SetCapacity(newSize);
  // Bytes that join the stream are zeros, never what the block held before.
  if (newSize > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(newSize - FSize));
  FSize = newSize;
  if (FPosition > newSize) FPosition = newSize;
}

int32_t TMemoryStream32::Write(const void* buffer, int32_t count) {
  if (count <= 0 || FPosition < 0) return 0;
  if (FPosition > INT32_MAX) throw EStreamError("Out of memory while expanding memory stream");
  int64_t end = FPosition + count;
  if (end > FSize) {
    if (end > FCapacity) SetCapacity(end);
    // A write behind the end leaves zeros in the gap, not old memory.
    if (FPosition > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(FPosition - FSize));
    FSize = end;
  }
  std::memcpy(FMemory + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

// ---- Checksums of whole streams ----

TCalcStreamCRC::TCalcStreamCRC(TStream32& source, int width) : FWidth(width) {
  CRC = width == 32 ? 0xFFFFFFFFu : 0;
  CopyFrom(source, 0);
}

int32_t TCalcStreamCRC::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (FWidth == 32)
    CRC = UpdateCrc32(CRC, buffer, static_cast<size_t>(count));
  else if (FWidth == 16)
    CRC = UpdateCrc16(static_cast<uint16_t>(CRC), buffer, static_cast<size_t>(count));
  FPosition += count;
  if (FPosition > FSize) FSize = FPosition;
  return count;
}

uint16_t StreamCrc16(TStream32& stream) {
  TCalcStreamCRC c(stream, 16);
  stream.SetPosition(0);
  return static_cast<uint16_t>(c.CRC);
}

uint32_t StreamCrc32(TStream32& stream) {
  TCalcStreamCRC c(stream, 32);
  stream.SetPosition(0);
  return c.CRC;
}

// ---- Enciphering ----

TEncryptStream::TEncryptStream(TStream32& source, bool writeHeader, std::string_view password, TStream32& dest)
    : FDest(dest) {
  CRC = StreamCrc32(source) ^ 0xFFFFFFFFu;
  uint8_t header[12];
  ZipMakeEncryptHeader(password, CRC, header);
  if (writeHeader) FDest.WriteBuffer(header, 12);
  CopyFrom(source, 0);
}

TEncryptStream::~TEncryptStream() {
  try {
    FDest.SetPosition(0);
  } catch (...) {
  }
}

int32_t TEncryptStream::Write(const void* buffer, int32_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    int32_t n = std::min<int32_t>(count - done, kCopyBufferSize);
    std::memcpy(FBuffer, p + done, static_cast<size_t>(n));
    ZipEncryptBuffer(FBuffer, static_cast<size_t>(n));
    int32_t w = FDest.Write(FBuffer, n);
    if (w > 0) done += w;
    if (w != n) break;
  }
  return done;
}

uint32_t EncryptStreamTo(TStream32& source, TStream32& dest, std::string_view password, bool writeHeader) {
  TEncryptStream e(source, writeHeader, password, dest);
  return e.CRC;
}

// ---- Codec streams ----

TCustomStream::TCustomStream(TStream32& strm) : FStrm(strm), FStrmPos(strm.Seek(0, soFromCurrent)) {}

int TCompressStream::LevelOf(TDeflateType effort) {
  switch (effort) {
    case dtDeflateZ: return 0;
    case dtDeflateS: return 1;
    case dtDeflateF: return 2;
    case dtDeflateN: return 7;
    case dtDeflateX: return 9;
  }
  return 7;
}

TCompressStream::TCompressStream(TStream32& dest, int windowBits, TDeflateType effort) : TCustomStream(dest) {
  int r = deflateInit2(&FZRec, LevelOf(effort), Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  if (r == Z_MEM_ERROR) throw E_RAISE(zevOutOfMemory);
  if (r != Z_OK) throw EStreamError("Invalid compression parameters");
  FZRec.next_out = FBuffer;
  FZRec.avail_out = kCodecBufferSize;
}

TCompressStream::~TCompressStream() {
  if (!FFinished) {
    try {
      Finish();
    } catch (...) {
    }
  }
  deflateEnd(&FZRec);
}

void TCompressStream::FlushBuffer(uInt count) {
  if (count > 0) {
    if (Crypt) ZipEncryptBuffer(FBuffer, count);
    if (FStrm.Seek(0, soFromCurrent) != FStrmPos) FStrm.Seek(FStrmPos, soFromBeginning);
    FStrm.WriteBuffer(FBuffer, static_cast<int32_t>(count));
    FStrmPos += count;
    FOut += count;
  }
  FZRec.next_out = FBuffer;
  FZRec.avail_out = kCodecBufferSize;
}

int32_t TCompressStream::Write(const void* buffer, int32_t count) {
  if (FFinished || count <= 0) return 0;
  FZRec.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
  FZRec.avail_in = static_cast<uInt>(count);
  uInt reported = FZRec.avail_in;
  auto report = [&] {
    uInt used = reported - FZRec.avail_in;
    reported = FZRec.avail_in;
    FIn += used;
    if (BytesLeft) *BytesLeft -= used;
    if (OnProgress) OnProgress();
  };
  while (FZRec.avail_in > 0) {
    int r = deflate(&FZRec, Z_NO_FLUSH);
    if (r == Z_STREAM_ERROR) throw EStreamError("Compression error");
    if (FZRec.avail_out == 0) {
      FlushBuffer(kCodecBufferSize);
      report();
      if (Cancelled()) break;
    }
  }
  report();
  return count - static_cast<int32_t>(FZRec.avail_in);
}

void TCompressStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  FZRec.next_in = nullptr;
  FZRec.avail_in = 0;
  for (;;) {
    int r = deflate(&FZRec, Z_FINISH);
    if (r == Z_STREAM_ERROR) throw EStreamError("Compression error");
    if (r == Z_STREAM_END) {
      FlushBuffer(kCodecBufferSize - FZRec.avail_out);
      break;
    }
    if (FZRec.avail_out == 0) FlushBuffer(kCodecBufferSize);
  }
  if (OnProgress) OnProgress();
}

int64_t TCompressStream::Seek(int64_t offset, TSeekOrigin32 origin) {
  if (offset == 0 && origin == soFromCurrent) return FIn;
  return -1;
}

TDecompressStream::TDecompressStream(TStream32& source, int windowBits, int64_t packedSize)
    : TCustomStream(source), FStartPos(FStrmPos), FPacked(packedSize),
      FPackedLeft(packedSize) {
  int r = inflateInit2(&FZRec, windowBits);
  if (r == Z_MEM_ERROR) throw E_RAISE(zevOutOfMemory);
  if (r != Z_OK) throw EStreamError("Invalid decompression parameters");
}

TDecompressStream::~TDecompressStream() {
  try {
    RestoreSourcePosition();
  } catch (...) {
  }
  inflateEnd(&FZRec);
}

void TDecompressStream::RestoreSourcePosition() { FStrm.Seek(FStrmPos - FZRec.avail_in, soFromBeginning); }

int32_t TDecompressStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || FError || FEnded) return 0;
  FZRec.next_out = static_cast<Bytef*>(buffer);
  FZRec.avail_out = static_cast<uInt>(count);
  while (FZRec.avail_out > 0) {
    // The inflater may hold the last bits of the data already: with no more input it still
    // gets one call to finish; only a call that then yields nothing means truncated data.
    bool sourceDry = false;
    if (FZRec.avail_in == 0) {
      if (Cancelled()) break;
      int64_t want = kCodecBufferSize;
      if (FPacked >= 0) want = std::min(want, FPackedLeft);
      int32_t got = 0;
      if (want > 0) {
        if (FStrm.Seek(0, soFromCurrent) != FStrmPos) FStrm.Seek(FStrmPos, soFromBeginning);
        got = FStrm.Read(FBuffer, static_cast<int32_t>(want));
      }
      if (got > want) {
        FError = zevReadError;
        break;
      }
      if (got <= 0) {
        sourceDry = true;
        FZRec.next_in = FBuffer;
        FZRec.avail_in = 0;
      } else {
        FStrmPos += got;
        FIn += got;
        if (FPacked >= 0) FPackedLeft -= got;
        if (Crypt) ZipDecryptBuffer(FBuffer, static_cast<size_t>(got));
        if (BytesLeft) *BytesLeft -= got;
        if (OnProgress) OnProgress();
        FZRec.next_in = FBuffer;
        FZRec.avail_in = static_cast<uInt>(got);
      }
    }
    uInt inBefore = FZRec.avail_in, outBefore = FZRec.avail_out;
    int r = inflate(&FZRec, Z_NO_FLUSH);
    FOut += outBefore - FZRec.avail_out;
    if (r == Z_STREAM_END) {
      FEnded = true;
      break;
    }
    if (r == Z_MEM_ERROR) {
      FError = zevOutOfMemory;
      break;
    }
    if (r != Z_OK && r != Z_BUF_ERROR) {
      FError = zevCorruptInput;
      break;
    }
    if (sourceDry && FZRec.avail_out == outBefore) {
      FError = zevReadError;  // the compressed data stops before its end
      break;
    }
    if (FZRec.avail_in == inBefore && FZRec.avail_out == outBefore && FZRec.avail_in > 0) {
      FError = zevCorruptInput;  // no progress possible
      break;
    }
  }
  return count - static_cast<int32_t>(FZRec.avail_out);
}

int64_t TDecompressStream::Seek(int64_t offset, TSeekOrigin32 origin) {
  if (offset == 0 && origin == soFromBeginning) {
    inflateReset(&FZRec);
    FZRec.avail_in = 0;
    FZRec.next_in = nullptr;
    FStrmPos = FStartPos;
    FPackedLeft = FPacked;
    FIn = FOut = 0;
    FError = 0;
    FEnded = false;
    return 0;
  }
  int64_t skip = 0;
  if (origin == soFromCurrent && offset > 0)
    skip = offset;
  else if (origin == soFromBeginning && offset > FOut)
    skip = offset - FOut;
  uint8_t scratch[4096];
  while (skip > 0) {
    int32_t n = Read(scratch, static_cast<int32_t>(std::min<int64_t>(skip, sizeof scratch)));
    if (n <= 0) break;
    skip -= n;
  }
  return FOut;
}
