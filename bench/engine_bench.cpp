// The archive engine's checksums and DEFLATE streams against zlib called directly, on the
// same 64 MB buffers in the same run.
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "Bench.h"
#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevStreams.h"

namespace {
constexpr size_t kSize = 64u << 20;

std::vector<uint8_t> RandomBuffer() {
  std::vector<uint8_t> v(kSize);
  std::mt19937_64 r(1);
  for (size_t i = 0; i < kSize; i += 8) {
    uint64_t x = r();
    std::memcpy(v.data() + i, &x, 8);
  }
  return v;
}
// Text-like data with some noise: compresses about 3:1.
std::vector<uint8_t> TextBuffer() {
  static const char* words[] = {"archive ", "entry ", "folder ", "name ", "stream ", "deflate ", "\r\n", "0123 ",
                                "window ", "header ", "volume ", "cipher ", "index ", "table ", "block ", "tree "};
  std::vector<uint8_t> v;
  v.reserve(kSize);
  std::mt19937 r(2);
  while (v.size() < kSize) {
    const char* w = words[r() % 16];
    v.insert(v.end(), w, w + std::strlen(w));
    if (r() % 4 == 0) v.push_back(static_cast<uint8_t>('a' + r() % 26));
  }
  v.resize(kSize);
  return v;
}

// Discards what is written; counts it.
class TNullStream : public TStream32 {
 public:
  int64_t Count = 0;
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override {
    Count += count;
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin32) override { return Count; }
};
// Reads from a fixed buffer without copying it first.
class TBufferStream : public TCustomMemoryStream32 {
 public:
  TBufferStream(const std::vector<uint8_t>& b) {
    FMemory = const_cast<uint8_t*>(b.data());
    FSize = static_cast<int64_t>(b.size());
  }
  int32_t Write(const void*, int32_t) override { return 0; }
};
}  // namespace

VELMO_BENCH(engine_crc32) {
  auto data = RandomBuffer();
  uint32_t a = 0, b = 0;
  double ours = BenchSeconds([&] { a = UpdateCrc32(0xFFFFFFFFu, data.data(), data.size()) ^ 0xFFFFFFFFu; }, 5);
  double ref = BenchSeconds([&] { b = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size()))); }, 5);
  if (a != b) std::printf("CRC MISMATCH %08x %08x\n", a, b);
  double gb = static_cast<double>(data.size()) / 1e9;
  BenchReport("CRC-32 of 64 MB", "GB/s", gb / ours, "zlib crc32", gb / ref, "speed ratio", ref / ours,
              ">= 1.0, and >= 1.5 GB/s");
}

VELMO_BENCH(engine_deflate) {
  auto data = TextBuffer();
  const int32_t piece = 65536;
  int64_t oursOut = 0, refOut = 0;
  double ours = BenchSeconds(
      [&] {
        TNullStream sink;
        TCompressStream c(sink, -15, dtDeflateN);
        for (size_t pos = 0; pos < data.size(); pos += piece) c.Write(data.data() + pos, piece);
        c.Finish();
        oursOut = sink.Count;
      },
      2);
  double ref = BenchSeconds(
      [&] {
        z_stream z{};
        deflateInit2(&z, TCompressStream::LevelOf(dtDeflateN), Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        std::vector<uint8_t> out(65536);
        int64_t total = 0;
        for (size_t pos = 0; pos <= data.size(); pos += piece) {
          bool last = pos == data.size();
          z.next_in = last ? nullptr : data.data() + pos;
          z.avail_in = last ? 0 : piece;
          do {
            z.next_out = out.data();
            z.avail_out = 65536;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            total += 65536 - z.avail_out;
          } while (z.avail_out == 0);
        }
        deflateEnd(&z);
        refOut = total;
      },
      2);
  if (oursOut != refOut) std::printf("SIZE MISMATCH %lld %lld\n", (long long)oursOut, (long long)refOut);
  BenchReport("TCompressStream, 64 MB, effort N", "s", ours, "zlib deflate", ref, "time ratio", ours / ref,
              "<= 1.05");
}

VELMO_BENCH(engine_inflate) {
  auto data = TextBuffer();
  std::vector<uint8_t> packed;
  {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    packed.resize(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = data.data();
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
  }
  std::vector<uint8_t> out(65536);
  int64_t oursOut = 0, refOut = 0;
  double ours = BenchSeconds([&] {
    TBufferStream src(packed);
    TDecompressStream d(src, -15);
    int64_t total = 0;
    for (int32_t n; (n = d.Read(out.data(), 65536)) > 0;) total += n;
    oursOut = total;
  });
  double ref = BenchSeconds([&] {
    z_stream z{};
    inflateInit2(&z, -15);
    int64_t total = 0;
    size_t pos = 0;
    int r = Z_OK;
    while (r != Z_STREAM_END) {
      if (z.avail_in == 0) {
        // The same 64 KB input pieces as the stream takes.
        size_t n = std::min<size_t>(65536, packed.size() - pos);
        if (n == 0) break;
        z.next_in = packed.data() + pos;
        z.avail_in = static_cast<uInt>(n);
        pos += n;
      }
      z.next_out = out.data();
      z.avail_out = 65536;
      r = inflate(&z, Z_NO_FLUSH);
      if (r != Z_OK && r != Z_STREAM_END) break;
      total += 65536 - z.avail_out;
    }
    inflateEnd(&z);
    refOut = total;
  });
  if (oursOut != refOut || oursOut != static_cast<int64_t>(data.size())) std::printf("SIZE MISMATCH\n");
  BenchReport("TDecompressStream, 64 MB", "s", ours, "zlib inflate", ref, "time ratio", ours / ref, "<= 1.05");
}
