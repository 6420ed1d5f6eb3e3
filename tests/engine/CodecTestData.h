#pragma once
// Sample data and small helpers shared by the codec tests.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/engine/zevCodecIo.h"

namespace codectest {
using Bytes = std::vector<uint8_t>;

// Text-like data with some noise.
inline Bytes TextData(size_t n, uint32_t seed) {
  static const char* words[] = {"archive ", "entry ", "header ", "volume ", "\r\n", "0123456789 ", "stream ", "tree ",
                                "dictionary ", "position ", "length ", "block "};
  std::mt19937 r(seed);
  Bytes v;
  v.reserve(n);
  while (v.size() < n) {
    const char* w = words[r() % 12];
    v.insert(v.end(), w, w + std::strlen(w));
    if (r() % 6 == 0) v.push_back(static_cast<uint8_t>(r()));
  }
  v.resize(n);
  return v;
}
inline Bytes RandomData(size_t n, uint32_t seed) {
  std::mt19937 r(seed);
  Bytes v(n);
  for (auto& b : v) b = static_cast<uint8_t>(r());
  return v;
}
// The sample set the round trips run over: empty, tiny, runs, text, noise, and sizes around
// the dictionaries and the 64 KiB output window.
inline std::vector<std::pair<std::string, Bytes>> Samples() {
  std::vector<std::pair<std::string, Bytes>> s;
  s.push_back({"empty", {}});
  s.push_back({"one byte", {0x41}});
  s.push_back({"three bytes", {1, 2, 3}});
  s.push_back({"run of 100000", Bytes(100000, 0x90)});
  s.push_back({"text 70000", TextData(70000, 1)});
  s.push_back({"text 300000", TextData(300000, 2)});
  s.push_back({"random 40000", RandomData(40000, 3)});
  Bytes mixed = TextData(20000, 4);
  Bytes noise = RandomData(9000, 5);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 30000);  // repeats far back
  s.push_back({"mixed with far repeats", mixed});
  Bytes all;
  for (int i = 0; i < 4096; ++i) all.push_back(static_cast<uint8_t>(i * 7 + (i >> 8)));
  s.push_back({"every byte value", all});
  return s;
}

// Runs a decoder over bytes; returns its result and fills out.
template <class F>
int DecodeBytes(const Bytes& packed, Bytes& out, F decode) {
  TBytesReadStream src(packed.data(), packed.size());
  TCodecInput in(src, static_cast<int64_t>(packed.size()));
  TVectorSink sink;
  sink.Limit = 64u << 20;
  int r = decode(in, sink);
  out = std::move(sink.Data);
  return r;
}
inline Bytes MemoryBytes(TMemoryStream32& m) { return Bytes(m.Memory(), m.Memory() + m.GetSize()); }
}  // namespace codectest
