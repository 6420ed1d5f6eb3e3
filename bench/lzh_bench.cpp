// The LZH coders against the system's LHA tools on the same data in the same run: extracting
// a 100 MB -lh5- archive (ours against lhasa's "lha x"), and compressing with -lh5- (ours
// against jlha's "a -o5": size and time). The tools run on the build host, so these figures
// come from the native benchmark; a missing tool skips its measurement.
#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Bench.h"
#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevLhaFormat.h"
#include "archive/engine/zevLzh5.h"

namespace {
// Text-like data with some noise: about 3:1 with -lh5-.
std::vector<uint8_t> LzhText(size_t n) {
  static const char* words[] = {"archive ", "entry ", "folder ", "name ", "stream ", "header ", "\r\n", "0123 ",
                                "window ", "volume ", "position ", "length ", "index ", "table ", "block ", "tree "};
  std::vector<uint8_t> v;
  v.reserve(n + 16);
  std::mt19937 r(7);
  while (v.size() < n) {
    const char* w = words[r() % 16];
    v.insert(v.end(), w, w + std::strlen(w));
    if (r() % 4 == 0) v.push_back(static_cast<uint8_t>('a' + r() % 26));
  }
  v.resize(n);
  return v;
}
bool WriteFile(const std::string& path, const std::vector<uint8_t>& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}
std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return b;
  std::fseek(f, 0, SEEK_END);
  b.resize(static_cast<size_t>(std::ftell(f)));
  std::fseek(f, 0, SEEK_SET);
  size_t got = std::fread(b.data(), 1, b.size(), f);
  b.resize(got);
  std::fclose(f);
  return b;
}
bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }
std::string TempFolder() {
  char tmpl[] = "/tmp/velmo-lzh-bench-XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d ? d : "/tmp";
}
class TFileStream : public TStream32 {
 public:
  explicit TFileStream(FILE* f) : F(f) {}
  int32_t Read(void* b, int32_t n) override { return static_cast<int32_t>(std::fread(b, 1, static_cast<size_t>(n), F)); }
  int32_t Write(const void* b, int32_t n) override {
    return static_cast<int32_t>(std::fwrite(b, 1, static_cast<size_t>(n), F));
  }
  int64_t Seek(int64_t o, TSeekOrigin32 origin) override {
    std::fseek(F, static_cast<long>(o), origin == soFromBeginning ? SEEK_SET : origin == soFromCurrent ? SEEK_CUR : SEEK_END);
    return std::ftell(F);
  }
  FILE* F;
};
}  // namespace

VELMO_BENCH(lzh_extract) {
  if (!Have("lha")) {
    std::printf("lhasa not installed: skipped\n");
    return;
  }
  std::string dir = TempFolder();
  auto data = LzhText(100u << 20);
  // The archive: one -lh5- entry made by our encoder (lhasa tests it first).
  {
    TBytesReadStream src(data.data(), data.size());
    TCodecInput in(src, static_cast<int64_t>(data.size()));
    TMemoryStream32 packed;
    Lzh5Encode(in, packed, 13, 4, -1);
    std::string h = MakeLhaLevel0Header("-lh5-", static_cast<uint32_t>(packed.GetSize()), static_cast<uint32_t>(data.size()),
                                        0x5A8B6000, 0x20, "big.txt", UpdateCrc16(0, data.data(), data.size()));
    std::vector<uint8_t> a(h.begin(), h.end());
    a.insert(a.end(), packed.Memory(), packed.Memory() + packed.GetSize());
    a.push_back(0);
    WriteFile(dir + "/big.lzh", a);
  }
  if (std::system(("cd " + dir + " && lha t big.lzh >/dev/null 2>&1").c_str()) != 0) std::printf("LHASA REJECTS THE ARCHIVE\n");
  bool same = true;
  double ours = BenchSeconds(
      [&] {
        FILE* af = std::fopen((dir + "/big.lzh").c_str(), "rb");
        TFileStream arc(af);
        int64_t size = arc.Seek(0, soFromEnd);
        WalkLhaHeaders(arc, size, [&](const TLhaHeader& h) {
          FILE* of = std::fopen((dir + "/ours.txt").c_str(), "wb");
          TFileStream out(of);
          arc.Seek(h.DataOffset, soFromBeginning);
          TCodecInput in(arc, h.PackedSize);
          TCrcSink sink(&out, 16);
          int r = LhaDecodeData(in, sink, h.MethodChar(), h.OrigSize);
          same &= r == 0 && sink.Crc() == h.Crc;
          std::fclose(of);
          return true;
        });
        std::fclose(af);
      },
      2);
  double ref = BenchSeconds([&] { (void)!std::system(("cd " + dir + " && lha xfq big.lzh >/dev/null 2>&1").c_str()); }, 2);
  same &= ReadFile(dir + "/ours.txt") == data && ReadFile(dir + "/big.txt") == data;
  if (!same) std::printf("OUTPUT MISMATCH\n");
  BenchReport("extract a 100 MB -lh5- archive", "s", ours, "lhasa lha x", ref, "time ratio", ours / ref, "<= 1.0");
  (void)!std::system(("rm -rf " + dir).c_str());
}

VELMO_BENCH(lzh_compress) {
  if (!Have("jlha")) {
    std::printf("jlha not installed: skipped\n");
    return;
  }
  std::string dir = TempFolder();
  auto data = LzhText(24u << 20);
  WriteFile(dir + "/t.txt", data);
  int64_t oursSize = 0;
  double ours = BenchSeconds(
      [&] {
        TBytesReadStream src(data.data(), data.size());
        TCodecInput in(src, static_cast<int64_t>(data.size()));
        TMemoryStream32 out;
        oursSize = Lzh5Encode(in, out, 13, 4, -1).BytesOut;
      },
      2);
  double ref = BenchSeconds(
      [&] { (void)!std::system(("cd " + dir + " && rm -f j.lzh && jlha ao5q j.lzh t.txt >/dev/null 2>&1").c_str()); }, 2);
  // jlha's data: the archive less its one header (level 2 by default: its size is in the header).
  std::vector<uint8_t> j = ReadFile(dir + "/j.lzh");
  int64_t refSize = 0;
  if (j.size() > 22) {
    TBytesReadStream s(j.data(), j.size());
    WalkLhaHeaders(s, static_cast<int64_t>(j.size()), [&](const TLhaHeader& h) {
      refSize += h.PackedSize;
      return true;
    });
  }
  BenchReport("-lh5- compressed size of 24 MB text", "MB", static_cast<double>(oursSize) / 1e6, "jlha", static_cast<double>(refSize) / 1e6,
              "size ratio", static_cast<double>(oursSize) / static_cast<double>(refSize ? refSize : 1), "<= 1.02");
  BenchReport("-lh5- compression time of 24 MB text", "s", ours, "jlha (with its JVM start)", ref, "time ratio",
              ours / ref, "<= 1.5");
  (void)!std::system(("rm -rf " + dir).c_str());
}
#endif
