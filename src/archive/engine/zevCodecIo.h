#pragma once
// What every decoder and encoder of the engine sees of the world: an input that gives at most
// the entry's packed bytes (deciphered when the entry is), a sink that takes the output (with
// its CRC and the progress), and the bit readers over that input. A decoder knows nothing of
// the container it came from: it gets (input, output, expected size) and returns 0 or an
// engine error number. Portable.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "archive/engine/zevStreams.h"

// A decoder's input: at most Budget bytes from a stream's current position, read in blocks.
class TCodecInput {
 public:
  TCodecInput(TStream32& source, int64_t budget) : FSource(source), FLeft(budget < 0 ? 0 : budget) {}
  virtual ~TCodecInput() = default;
  // Applied to every block read (the entry's cipher); may be empty.
  std::function<void(uint8_t*, size_t)> Decipher;
  // Sees every block as it will be used (after deciphering): an encoder's CRC and progress.
  std::function<void(const uint8_t*, size_t)> OnRead;
  // Up to count bytes; 0 when the budget or the stream is spent.
  size_t Read(uint8_t* buffer, size_t count);
  int64_t Consumed() const { return FConsumed; }
  int64_t Left() const { return FLeft; }

 private:
  TStream32& FSource;
  int64_t FLeft;
  int64_t FConsumed = 0;
};

// A decoder's output. Put hands over bytes in order; false means stop (cancelled).
class TCodecSink {
 public:
  virtual ~TCodecSink() = default;
  virtual bool Put(const uint8_t* data, size_t count) = 0;
};

// The common sink: writes to a stream (none when only testing), keeps the CRC of the given
// width (16: CRC-16 from 0; 32: CRC-32 from 0xFFFFFFFF, finished), counts the bytes and reports
// them. A write that moves fewer bytes raises E_RAISE(zevWriteError).
class TCrcSink : public TCodecSink {
 public:
  TCrcSink(TStream32* dest, int crcWidth);
  bool Put(const uint8_t* data, size_t count) override;
  // The finished CRC of what passed.
  uint32_t Crc() const { return FWidth == 32 ? FCrc ^ 0xFFFFFFFFu : FCrc; }
  int64_t Written() const { return FWritten; }
  // Called with the size of each block passed; returns false to stop the run.
  std::function<bool(size_t)> OnProgress;

 private:
  TStream32* FDest;
  int FWidth;
  uint32_t FCrc;
  int64_t FWritten = 0;
};

// A sink into a byte vector (tests, fuzzing, the benchmarks); Limit stops a run that would
// produce more.
class TVectorSink : public TCodecSink {
 public:
  std::vector<uint8_t> Data;
  size_t Limit = SIZE_MAX;
  bool Put(const uint8_t* data, size_t count) override {
    if (count > Limit - Data.size()) return false;
    Data.insert(Data.end(), data, data + count);
    return true;
  }
};

// Collects output in a buffer of its own and hands full blocks to the sink: for decoders that
// produce a byte at a time without a window.
class TByteOutput {
 public:
  explicit TByteOutput(TCodecSink& sink, size_t size = 32768) : FSink(sink), FBuf(size) {}
  // False once the sink stopped the run.
  bool Put(uint8_t b) {
    FBuf[FLen++] = b;
    return FLen < FBuf.size() || Flush();
  }
  bool Flush() {
    bool ok = FLen == 0 || FSink.Put(FBuf.data(), FLen);
    FProduced += static_cast<int64_t>(FLen);
    FLen = 0;
    return ok;
  }
  int64_t Produced() const { return FProduced + static_cast<int64_t>(FLen); }

 private:
  TCodecSink& FSink;
  std::vector<uint8_t> FBuf;
  size_t FLen = 0;
  int64_t FProduced = 0;
};

// The input buffered for byte and bit readers. Past the end of the input it gives zeros and
// counts them, so a reader never fails in the middle of a code; Overrun tells whether any bit
// beyond the real input has been used.
class TByteFeed {
 public:
  explicit TByteFeed(TCodecInput& in) : FIn(in), FBuf(std::make_unique_for_overwrite<uint8_t[]>(kSize)) {}
  uint8_t Next() {
    if (FPos == FLen && !Fill()) {
      ++FPadBytes;
      return 0;
    }
    return FBuf[FPos++];
  }
  // True when bytes of the real input are still unread.
  bool More() {
    return FPos < FLen || Fill();
  }
  int64_t PadBytes() const { return FPadBytes; }
  // Next, adding 8 to padBits when the byte is padding past the end (the bit readers' count).
  uint8_t NextCounting(int& padBits) {
    int64_t before = FPadBytes;
    uint8_t b = Next();
    if (FPadBytes != before) padBits += 8;
    return b;
  }

 private:
  bool Fill() {
    if (FDry) return false;
    FLen = FIn.Read(FBuf.get(), kSize);
    FPos = 0;
    if (FLen == 0) FDry = true;
    return FLen > 0;
  }
  static constexpr size_t kSize = 32768;
  TCodecInput& FIn;
  std::unique_ptr<uint8_t[]> FBuf;
  size_t FPos = 0, FLen = 0;
  bool FDry = false;
  int64_t FPadBytes = 0;
};

// Bits, most significant first.
class TBitReaderMsb {
 public:
  explicit TBitReaderMsb(TCodecInput& in) : FFeed(in) {}
  // The next n bits (n <= 32) without using them.
  uint32_t Peek(int n) {
    if (FCount < n) Refill();
    return n == 0 ? 0 : static_cast<uint32_t>(FBits >> (64 - n));
  }
  void Skip(int n) {
    if (FCount < n) Refill();
    FBits <<= n;
    FCount -= n;
  }
  uint32_t Get(int n) {
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // Some bit beyond the end of the input has been used.
  bool Overrun() const { return FPadBits > FCount; }
  // Bytes of real input not yet taken into the bit buffer remain.
  bool MoreInput() { return FFeed.More(); }

 private:
  void Refill() {
    while (FCount <= 56) {
      FBits |= static_cast<uint64_t>(FFeed.NextCounting(FPadBits)) << (56 - FCount);
      FCount += 8;
    }
  }
  TByteFeed FFeed;
  uint64_t FBits = 0;
  int FCount = 0;
  int FPadBits = 0;
};

// Bits, least significant first.
class TBitReaderLsb {
 public:
  explicit TBitReaderLsb(TCodecInput& in) : FFeed(in) {}
  uint32_t Get(int n) {
    if (FCount < n) Refill();
    uint32_t v = static_cast<uint32_t>(FBits & ((uint64_t{1} << n) - 1));
    FBits >>= n;
    FCount -= n;
    return v;
  }
  bool Overrun() const { return FPadBits > FCount; }
  // Drops the bits left of the byte being read.
  void AlignToByte() {
    int drop = FCount % 8;
    FBits >>= drop;
    FCount -= drop;
  }
  // Real input bits still unused, counting those not yet buffered as "some" (returns at
  // least n when at least n are left).
  bool HasBits(int n) {
    if (FCount - FPadBits >= n) return true;
    if (FPadBits > 0) return false;
    Refill();
    return FCount - FPadBits >= n;
  }

 private:
  void Refill() {
    while (FCount <= 56) {
      FBits |= static_cast<uint64_t>(FFeed.NextCounting(FPadBits)) << FCount;
      FCount += 8;
    }
  }
  TByteFeed FFeed;
  uint64_t FBits = 0;
  int FCount = 0;
  int FPadBits = 0;
};

// Bits written most significant first into a buffer that goes to a stream when full.
class TBitWriterMsb {
 public:
  explicit TBitWriterMsb(TStream32& dest, size_t bufferSize = 32768) : FDest(dest), FBuf(bufferSize) {}
  void Put(int n, uint32_t v) {  // n <= 32
    if (n == 0) return;
    FBits |= (static_cast<uint64_t>(v) & ((uint64_t{1} << n) - 1)) << (64 - FCount - n);
    FCount += n;
    while (FCount >= 8) {
      FBuf[FLen++] = static_cast<uint8_t>(FBits >> 56);
      FBits <<= 8;
      FCount -= 8;
      if (FLen == FBuf.size()) FlushBuffer();
    }
  }
  // Pads the last byte with zeros and writes everything out.
  void Finish() {
    if (FCount > 0) Put(8 - FCount, 0);
    FlushBuffer();
  }
  // Bytes produced so far (whole bytes, buffered ones included).
  int64_t Bytes() const { return FOut + static_cast<int64_t>(FLen); }

 private:
  void FlushBuffer() {
    if (FLen) FDest.WriteBuffer(FBuf.data(), static_cast<int32_t>(FLen));
    FOut += static_cast<int64_t>(FLen);
    FLen = 0;
  }
  TStream32& FDest;
  std::vector<uint8_t> FBuf;
  size_t FLen = 0;
  uint64_t FBits = 0;
  int FCount = 0;
  int64_t FOut = 0;
};

// A stream over a block of bytes that it does not own (read only).
class TBytesReadStream : public TCustomMemoryStream32 {
 public:
  TBytesReadStream(const uint8_t* data, size_t size) {
    FMemory = const_cast<uint8_t*>(data);
    FSize = static_cast<int64_t>(size);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  const char* ClassName() const override { return "TBytesReadStream"; }
};

// The history window of the LZ decoders: a ring of 2^17 bytes that doubles as the output
// buffer; it goes to the sink when full and at Flush. Distances up to 65,536 are served.
class TLzWindow {
 public:
  static constexpr size_t kSize = size_t{1} << 17;
  static constexpr size_t kMask = kSize - 1;
  // The ring is not cleared: a match never reaches beyond what was written or preset.
  explicit TLzWindow(TCodecSink& sink) : FSink(sink), FBuf(std::make_unique_for_overwrite<uint8_t[]>(kSize)) {}
  // History that precedes the output (counted as available for matches, never written out).
  void Preset(const uint8_t* history, size_t count) {
    std::memcpy(FBuf.get(), history, count);
    FPos = FStart = count;
    FHistory = count;
  }
  bool Literal(uint8_t b) {
    FBuf[FPos++] = b;
    return FPos != kSize || Flush();
  }
  // Copies len bytes from dist back (1 <= dist <= Available(), checked by the caller).
  bool Copy(size_t dist, size_t len) {
    size_t src = (FPos - dist) & kMask;
    if (FPos + len < kSize && src + len < kSize) {
      uint8_t* d = FBuf.get() + FPos;
      const uint8_t* s = FBuf.get() + src;
      if (dist >= len)
        std::memmove(d, s, len);
      else
        for (size_t i = 0; i < len; ++i) d[i] = s[i];
      FPos += len;
      return true;
    }
    while (len--) {
      FBuf[FPos] = FBuf[src];
      src = (src + 1) & kMask;
      if (++FPos == kSize && !Flush()) return false;
    }
    return true;
  }
  bool Flush() {
    bool ok = FPos == FStart || FSink.Put(FBuf.get() + FStart, FPos - FStart);
    FProduced += static_cast<int64_t>(FPos - FStart);
    if (FPos == kSize) FPos = 0;
    FStart = FPos;
    return ok;
  }
  // Bytes produced so far.
  int64_t Produced() const { return FProduced + static_cast<int64_t>(FPos - FStart); }
  // How far back a match may reach: the bytes produced and the preset history.
  int64_t Available() const { return Produced() + static_cast<int64_t>(FHistory); }

 private:
  TCodecSink& FSink;
  std::unique_ptr<uint8_t[]> FBuf;
  size_t FPos = 0, FStart = 0, FHistory = 0;
  int64_t FProduced = 0;
};

// Stored data: copies size bytes. Returns 0, zevReadError (the input ended first) or
// zevUserCanceled.
int CopyStored(TCodecInput& in, TCodecSink& out, int64_t size);

// Passes at most size bytes on; more stops the run and marks the excess. For decoders that
// run until their data ends rather than to a size.
class TSizedSink : public TCodecSink {
 public:
  TSizedSink(TCodecSink& next, int64_t size) : FNext(next), FLeft(size) {}
  bool Put(const uint8_t* data, size_t count) override {
    if (static_cast<int64_t>(count) > FLeft) {
      Excess = true;
      return false;
    }
    FLeft -= static_cast<int64_t>(count);
    return FNext.Put(data, count);
  }
  // Bytes still due.
  int64_t Left() const { return FLeft; }
  bool Excess = false;

 private:
  TCodecSink& FNext;
  int64_t FLeft;
};

// Raw DEFLATE data (zlib, no header) until its end. Returns 0, zevCorruptInput, zevReadError
// (the input ended first) or zevUserCanceled.
int InflateDecode(TCodecInput& in, TCodecSink& out);

// Little-endian fields of headers.
inline uint16_t GetU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
// Reads exactly count bytes at offset; false when they are not all there.
bool ReadExactAt(TStream32& s, int64_t offset, uint8_t* buffer, size_t count);
