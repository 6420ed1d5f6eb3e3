#include "archive/engine/zevArjCodec.h"

#include "archive/engine/zevGbls.h"

namespace {
// A value as up to (stop - start) one-bits, each adding the next power of two from
// 2^start, then as many plain bits as the prefix reached (start + ones).
uint32_t ReadUnary(TBitReaderMsb& br, int start, int stop) {
  uint32_t plus = 0, pwr = 1u << start;
  int width = start;
  for (; width < stop; ++width) {
    if (!br.Get(1)) break;
    plus += pwr;
    pwr <<= 1;
  }
  return plus + (width ? br.Get(width) : 0);
}
}  // namespace

int ArjFastDecode(TCodecInput& in, TCodecSink& out, int64_t size) {
  if (size < 0) return zevCorruptInput;
  TLzWindow win(out);
  TBitReaderMsb br(in);
  int64_t done = 0;
  int r = 0;
  while (done < size) {
    uint32_t c = ReadUnary(br, 0, 7);
    if (c == 0) {
      uint8_t b = static_cast<uint8_t>(br.Get(8));
      if (br.Overrun()) break;
      if (!win.Literal(b)) {
        r = zevUserCanceled;
        break;
      }
      ++done;
    } else {
      int64_t len = static_cast<int64_t>(c) + 2;
      int64_t dist = static_cast<int64_t>(ReadUnary(br, 9, 13)) + 1;
      if (br.Overrun()) break;
      if (len > size - done || dist > win.Available() || dist > 32768) {
        r = zevCorruptInput;
        break;
      }
      if (!win.Copy(static_cast<size_t>(dist), static_cast<size_t>(len))) {
        r = zevUserCanceled;
        break;
      }
      done += len;
    }
  }
  if (!r && br.Overrun()) r = zevReadError;
  if (!win.Flush() && r == 0) r = zevUserCanceled;
  return r;
}
