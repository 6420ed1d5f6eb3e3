#pragma once
// Test-side makers of ZIP data: a container builder and small encoders for the old methods
// (Shrink, Reduce, Implode) that no Debian tool writes any more. Each encoder is the recipe
// of the fixtures built from it.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/engine/zevCrypt.h"

namespace ziptest {
using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

class TBitWriter {
 public:
  void Put(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) Bit((v >> i) & 1);
  }
  // A prefix code, top bit first, each bit inverted (as imploded data stores them).
  void PutCodeInverted(uint32_t code, int n) {
    for (int i = n - 1; i >= 0; --i) Bit(((code >> i) & 1) ^ 1);
  }
  Bytes Finish() {
    if (FCount) FOut.push_back(static_cast<uint8_t>(FAcc));
    FAcc = 0;
    FCount = 0;
    return FOut;
  }

 private:
  void Bit(uint32_t b) {
    FAcc |= b << FCount;
    if (++FCount == 8) {
      FOut.push_back(static_cast<uint8_t>(FAcc));
      FAcc = 0;
      FCount = 0;
    }
  }
  Bytes FOut;
  uint32_t FAcc = 0;
  int FCount = 0;
};

// The longest earlier run (within window) that matches in at i, at most maxLen long.
inline void LongestMatch(const Bytes& in, size_t i, size_t window, size_t maxLen, size_t& len, size_t& dist) {
  len = dist = 0;
  for (size_t j = i > window ? i - window : 0; j < i; ++j) {
    size_t l = 0;
    while (i + l < in.size() && in[j + l] == in[i + l] && l < maxLen) ++l;
    if (l > len) {
      len = l;
      dist = i - j;
    }
  }
}

// LZW with codes of 9 to 13 bits; the width grows by the control code 256, 1.
inline Bytes Shrink(const Bytes& in) {
  TBitWriter w;
  if (in.empty()) return {};
  std::map<std::pair<int, uint8_t>, int> dict;
  int next = 257, width = 9;
  int cur = in[0];
  for (size_t i = 1; i < in.size(); ++i) {
    auto it = dict.find({cur, in[i]});
    if (it != dict.end()) {
      cur = it->second;
      continue;
    }
    w.Put(static_cast<uint32_t>(cur), width);
    if (next < 8192) {
      dict[{cur, in[i]}] = next++;
      if (next - 1 >= (1 << width) && width < 13) {
        w.Put(256, width);
        w.Put(1, width);
        ++width;
      }
    }
    cur = in[i];
  }
  w.Put(static_cast<uint32_t>(cur), width);
  return w.Finish();
}

// Reduce with the given factor: matches of 4 bytes or more behind the escape byte 144, then
// the symbol bytes coded with follower sets of one byte each (the most frequent follower).
inline Bytes Reduce(const Bytes& in, int factor) {
  const uint32_t mask = 0x7Fu >> (factor - 1);
  const uint32_t maxDist = ((255u >> (8 - factor)) << 8) + 256;
  Bytes sym;
  for (size_t i = 0; i < in.size();) {
    size_t bestLen, bestDist;
    LongestMatch(in, i, maxDist, mask + 255 + 3, bestLen, bestDist);
    if (bestLen >= 4) {
      uint32_t d = static_cast<uint32_t>(bestDist - 1), l = static_cast<uint32_t>(bestLen - 3);
      sym.push_back(144);
      uint32_t lp = l >= mask ? mask : l;
      sym.push_back(static_cast<uint8_t>(((d >> 8) << (8 - factor)) | lp));
      if (l >= mask) sym.push_back(static_cast<uint8_t>(l - mask));
      sym.push_back(static_cast<uint8_t>(d & 0xFF));
      i += bestLen;
    } else {
      sym.push_back(in[i]);
      if (in[i] == 144) sym.push_back(0);
      ++i;
    }
  }
  // Follower sets: for each byte its most frequent follower.
  std::map<std::pair<uint8_t, uint8_t>, int> freq;
  uint8_t last = 0;
  for (uint8_t s : sym) {
    ++freq[{last, s}];
    last = s;
  }
  int follower[256];
  int best[256] = {};
  for (int c = 0; c < 256; ++c) follower[c] = -1;
  for (const auto& [k, n] : freq)
    if (n > best[k.first]) {
      best[k.first] = n;
      follower[k.first] = k.second;
    }
  TBitWriter w;
  for (int j = 255; j >= 0; --j) {
    if (follower[j] < 0) {
      w.Put(0, 6);
    } else {
      w.Put(1, 6);
      w.Put(static_cast<uint32_t>(follower[j]), 8);
    }
  }
  last = 0;
  for (uint8_t s : sym) {
    if (follower[last] < 0) {
      w.Put(s, 8);
    } else if (follower[last] == s) {
      w.Put(0, 1);
      w.Put(0, 1);
    } else {
      w.Put(1, 1);
      w.Put(s, 8);
    }
    last = s;
  }
  return w.Finish();
}

// Implode with flat trees (every literal 8 bits, every length and distance code 6 bits):
// flags bit 1 an 8 KB window, bit 2 a literal tree.
inline Bytes Implode(const Bytes& in, uint16_t flags) {
  const bool big = flags & 2, lit = flags & 4;
  const int lowBits = big ? 7 : 6;
  const size_t window = big ? 8192 : 4096;
  const size_t minMatch = lit ? 3 : 2;
  TBitWriter w;
  auto tree = [&](int lengthMinus1, int count) {
    int bytes = count / 16;
    w.Put(static_cast<uint32_t>(bytes - 1), 8);
    for (int i = 0; i < bytes; ++i) w.Put(static_cast<uint32_t>(0xF0 | lengthMinus1), 8);
  };
  if (lit) tree(7, 256);
  tree(5, 64);
  tree(5, 64);
  for (size_t i = 0; i < in.size();) {
    size_t bestLen, bestDist;
    LongestMatch(in, i, window, minMatch + 63 + 255, bestLen, bestDist);
    if (bestLen >= minMatch) {
      uint32_t d = static_cast<uint32_t>(bestDist - 1);
      w.Put(0, 1);
      w.Put(d & ((1u << lowBits) - 1), lowBits);
      w.PutCodeInverted(d >> lowBits, 6);
      uint32_t l = static_cast<uint32_t>(bestLen - minMatch);
      if (l >= 63) {
        w.PutCodeInverted(63, 6);
        w.Put(l - 63, 8);
      } else {
        w.PutCodeInverted(l, 6);
      }
      i += bestLen;
    } else {
      w.Put(1, 1);
      if (lit)
        w.PutCodeInverted(in[i], 8);
      else
        w.Put(in[i], 8);
      ++i;
    }
  }
  return w.Finish();
}

struct TEntrySpec {
  std::string Name;
  uint16_t Method = 0, Flags = 0;
  Bytes Packed;
  uint32_t Crc = 0, Size = 0, ExtAttr = 0x20;
  bool LocalSignature = true;
};

// A ZIP of the given entries (sizes and CRC as given; data as packed).
inline Bytes MakeZip(const std::vector<TEntrySpec>& entries) {
  Bytes z, cd;
  for (const auto& e : entries) {
    uint32_t off = static_cast<uint32_t>(z.size());
    Put32(z, e.LocalSignature ? 0x04034B50u : 0x12345678u);
    Put16(z, 20);
    Put16(z, e.Flags);
    Put16(z, e.Method);
    Put32(z, 0x5A8A6000u);
    Put32(z, e.Crc);
    Put32(z, static_cast<uint32_t>(e.Packed.size()));
    Put32(z, e.Size);
    Put16(z, static_cast<uint32_t>(e.Name.size()));
    Put16(z, 0);
    z.insert(z.end(), e.Name.begin(), e.Name.end());
    z.insert(z.end(), e.Packed.begin(), e.Packed.end());
    Put32(cd, 0x02014B50u);
    Put16(cd, 20);
    Put16(cd, 20);
    Put16(cd, e.Flags);
    Put16(cd, e.Method);
    Put32(cd, 0x5A8A6000u);
    Put32(cd, e.Crc);
    Put32(cd, static_cast<uint32_t>(e.Packed.size()));
    Put32(cd, e.Size);
    Put16(cd, static_cast<uint32_t>(e.Name.size()));
    Put16(cd, 0);
    Put16(cd, 0);
    Put16(cd, 0);
    Put16(cd, 1);
    Put32(cd, e.ExtAttr);
    Put32(cd, off);
    cd.insert(cd.end(), e.Name.begin(), e.Name.end());
  }
  uint32_t cdOff = static_cast<uint32_t>(z.size());
  z.insert(z.end(), cd.begin(), cd.end());
  Put32(z, 0x06054B50u);
  Put16(z, 0);
  Put16(z, 0);
  Put16(z, static_cast<uint32_t>(entries.size()));
  Put16(z, static_cast<uint32_t>(entries.size()));
  Put32(z, static_cast<uint32_t>(cd.size()));
  Put32(z, cdOff);
  Put16(z, 0);
  return z;
}

inline TEntrySpec Entry(const std::string& name, uint16_t method, uint16_t flags, const Bytes& packed,
                        const Bytes& plain) {
  TEntrySpec e;
  e.Name = name;
  e.Method = method;
  e.Flags = flags;
  e.Packed = packed;
  e.Crc = Crc32Of(plain.data(), plain.size());
  e.Size = static_cast<uint32_t>(plain.size());
  return e;
}

inline Bytes SampleText(size_t n, uint32_t seed) {
  static const char* words[] = {"archive ", "entry ", "header ", "\x90", "volume ", "\n", "0123456789 ", "zip "};
  Bytes v;
  uint32_t r = seed;
  while (v.size() < n) {
    r = r * 1103515245u + 12345u;
    const char* w = words[(r >> 16) % 8];
    while (*w) v.push_back(static_cast<uint8_t>(*w++));
    if ((r >> 8) % 7 == 0) v.push_back(static_cast<uint8_t>(r >> 3));
  }
  v.resize(n);
  return v;
}
}  // namespace ziptest
