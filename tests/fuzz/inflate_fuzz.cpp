// Fuzzes the decompressing stream: any bytes end in a result or an error, never past the data
// or the packed size given, and the source is left right after what was taken.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/engine/zevStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  // The first byte picks the packed size (0: none given) and the read size.
  uint8_t control = data[0];
  ++data;
  --size;
  TMemoryStream32 src;
  src.WriteBuffer(data, static_cast<int32_t>(size));
  src.SetPosition(0);
  int64_t packed = (control & 0x80) ? static_cast<int64_t>(size * (control & 0x7F) / 127) : -1;
  int32_t piece = 1 + (control & 0x0F) * 997;
  std::vector<uint8_t> buf(static_cast<size_t>(piece));
  int64_t in = 0;
  {
    TDecompressStream d(src, -15, packed);
    int64_t out = 0;
    for (;;) {
      int32_t n = d.Read(buf.data(), piece);
      if (n < 0 || n > piece) std::abort();
      if (n == 0) break;
      out += n;
      if (out > (64 << 20)) break;  // a bomb: enough is known
    }
    if (d.Ended() && d.ErrorCode() != 0) std::abort();
    in = d.BytesIn();
    if (in < 0 || in > static_cast<int64_t>(size) || (packed >= 0 && in > packed)) std::abort();
  }
  if (src.GetPosition() != in) std::abort();
  return 0;
}
