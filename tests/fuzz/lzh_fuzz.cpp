// Fuzzes the static-Huffman LZH decoder with each parameter set its users pass: any bytes end
// in a result or an error, never more output than asked for.
#include <cstdint>
#include <cstdlib>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevLzh3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // Byte 0 picks the parameters, bytes 1-2 the expected size.
  static const int kParams[][2] = {{12, 4}, {13, 4}, {15, 5}, {16, 5}, {14, 5}};
  const int* p = kParams[data[0] % 5];
  int64_t expected = (data[1] | (data[2] << 8)) * 4;
  TBytesReadStream src(data + 3, size - 3);
  TCodecInput in(src, static_cast<int64_t>(size - 3));
  TVectorSink sink;
  int r = LzhDecode(in, sink, expected, p[0], p[1]);
  if (static_cast<int64_t>(sink.Data.size()) > expected) std::abort();
  if (r == 0 && static_cast<int64_t>(sink.Data.size()) != expected) std::abort();
  return 0;
}
