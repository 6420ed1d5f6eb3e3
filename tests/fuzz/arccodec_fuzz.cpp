// Fuzzes ARC's decoders (squeeze, the old crunch with both hashes, the group LZW of methods 8
// and 9, the run-length coding): any bytes end in a result or an error; output is bounded.
#include <cstdint>
#include <cstdlib>

#include "archive/engine/zevArcCodec.h"
#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevLzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int method = data[0] % 6;
  bool rle = (data[0] & 0x80) != 0;
  TBytesReadStream src(data + 1, size - 1);
  TCodecInput in(src, static_cast<int64_t>(size - 1));
  TVectorSink sink;
  sink.Limit = 16u << 20;
  TArcRleSink unrle(sink);
  TCodecSink& out = rle ? static_cast<TCodecSink&>(unrle) : sink;
  switch (method) {
    case 0: ArcUnsqueeze(in, out); break;
    case 1: ArcUncrunchOld(in, out, false); break;
    case 2: ArcUncrunchOld(in, out, true); break;
    case 3: LzwGroupDecode(in, out, 12); break;
    case 4: LzwGroupDecode(in, out, 13); break;
    default: CopyStored(in, out, static_cast<int64_t>(size - 1)); break;
  }
  if (rle) unrle.Flush();
  if (sink.Data.size() > sink.Limit) std::abort();
  return 0;
}
