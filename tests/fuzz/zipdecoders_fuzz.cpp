// Fuzzes the Shrink, Reduce and Implode decoders: the first byte picks the decoder and its
// parameters, the rest is the packed data.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "archive/engine/zevZipDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  uint8_t control = data[0];
  ++data;
  --size;
  size_t pos = 0;
  TDecodeSource in = [&](uint8_t* buf, int32_t n) -> int32_t {
    size_t k = std::min(static_cast<size_t>(n), size - pos);
    if (k) std::memcpy(buf, data + pos, k);
    pos += k;
    return static_cast<int32_t>(k);
  };
  int64_t produced = 0, want = 1 + (control >> 3) * 4099;
  TDecodeSink out = [&](const uint8_t*, int32_t n) {
    produced += n;
    if (produced > want) std::abort();
  };
  switch (control & 7) {
    case 0:
      UnShrink(in, out, want);
      break;
    case 1: case 2: case 3: case 4:
      UnReduce(in, out, want, control & 7);
      break;
    default:
      Explode(in, out, want, static_cast<uint16_t>((control & 3) << 1));
  }
  return 0;
}
