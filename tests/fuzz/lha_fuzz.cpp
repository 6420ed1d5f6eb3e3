// Fuzzes the LHA header walk and the decoding of every entry found: headers of any level and
// any damage end in a result or an error, and every header handed over lies inside the data
// with its next header beyond it.
#include <cstdint>
#include <cstdlib>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevLhaFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBytesReadStream s(data, size);
  int64_t n = static_cast<int64_t>(size);
  int entries = 0;
  WalkLhaHeaders(s, n, [&](const TLhaHeader& h) {
    if (h.Offset < 0 || h.Offset >= n || h.NextOffset <= h.Offset || h.DataOffset > n) std::abort();
    if (++entries > 64) return false;
    if (!LhaMethodSupported(h.MethodChar()) || h.MethodChar() == 'd') return true;
    s.Seek(h.DataOffset, soFromBeginning);
    TCodecInput in(s, h.PackedSize);
    TVectorSink sink;
    sink.Limit = 4u << 20;
    LhaDecodeData(in, sink, h.MethodChar(), std::min<int64_t>(h.OrigSize, 4 << 20));
    return true;
  });
  return 0;
}
