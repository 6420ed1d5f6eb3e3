// Fuzzes the ARC, ARJ, ZOO and BH header walks and the decoding of every entry found: any
// bytes end in a result or an error; every header handed over lies inside the data and the
// walk moves forward. The first byte picks the format.
#include <cstdint>
#include <cstdlib>

#include "archive/engine/zevBhFormat.h"
#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevOldFormats.h"

namespace {
template <class H, class W, class D>
void Run(TBytesReadStream& s, int64_t n, W walk, D decode) {
  int64_t last = -1;
  int entries = 0;
  walk(s, n, [&](const H& h) {
    if (h.Offset < 0 || h.Offset >= n || h.Offset <= last) std::abort();
    last = h.Offset;
    if (++entries > 64) return false;
    s.Seek(h.DataOffset, soFromBeginning);
    TCodecInput in(s, h.PackedSize);
    TVectorSink sink;
    sink.Limit = 4u << 20;
    decode(in, sink, h);
    return true;
  });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  TBytesReadStream s(data + 1, size - 1);
  int64_t n = static_cast<int64_t>(size - 1);
  switch (data[0] % 4) {
    case 0:
      Run<TArcHeader>(s, n, WalkArcHeaders, [](TCodecInput& in, TCodecSink& out, const TArcHeader& h) {
        ArcDecodeData(in, out, h.Method, std::min<int64_t>(h.OrigSize, 4 << 20));
      });
      break;
    case 1:
      Run<TArjHeader>(s, n, WalkArjHeaders, [](TCodecInput& in, TCodecSink& out, const TArjHeader& h) {
        if (!h.IsMain) ArjDecodeData(in, out, h.Method, std::min<int64_t>(h.OrigSize, 4 << 20));
      });
      break;
    case 2:
      Run<TZooHeader>(s, n, WalkZooHeaders, [](TCodecInput& in, TCodecSink& out, const TZooHeader& h) {
        ZooDecodeData(in, out, h.Method, std::min<int64_t>(h.OrigSize, 4 << 20));
      });
      break;
    default:
      Run<TBhHeader>(s, n, WalkBhHeaders, [](TCodecInput& in, TCodecSink& out, const TBhHeader& h) {
        BhDecodeData(in, out, h.Method, std::min<int64_t>(h.OrigSize, 4 << 20));
      });
  }
  return 0;
}
