// Fuzzes ARJ's method-4 decoder: any bytes end in a result or an error, never more output
// than asked for.
#include <cstdint>
#include <cstdlib>

#include "archive/engine/zevArjCodec.h"
#include "archive/engine/zevCodecIo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int64_t expected = (data[0] | (data[1] << 8)) * 2;
  TBytesReadStream src(data + 2, size - 2);
  TCodecInput in(src, static_cast<int64_t>(size - 2));
  TVectorSink sink;
  int r = ArjFastDecode(in, sink, expected);
  if (static_cast<int64_t>(sink.Data.size()) > expected) std::abort();
  if (r == 0 && static_cast<int64_t>(sink.Data.size()) != expected) std::abort();
  return 0;
}
