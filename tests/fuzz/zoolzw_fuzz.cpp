// Fuzzes ZOO's LZW decoder: any bytes end in a result or an error.
#include <cstdint>
#include <cstdlib>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevLzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBytesReadStream src(data, size);
  TCodecInput in(src, static_cast<int64_t>(size));
  TVectorSink sink;
  sink.Limit = 16u << 20;
  ZooLzwDecode(in, sink);
  if (sink.Data.size() > sink.Limit) std::abort();
  return 0;
}
