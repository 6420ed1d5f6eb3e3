#include "engine/TestEncoders.h"

#include <algorithm>
#include <map>
#include <queue>
#include <utility>

#include "archive/engine/zevArcCodec.h"
#include "archive/engine/zevLhaPack.h"

namespace testenc {
namespace {
struct TBitsMsb {
  Bytes Out;
  uint32_t Acc = 0;
  int N = 0;
  void Put(int n, uint32_t v) {
    for (int i = n - 1; i >= 0; --i) {
      Acc = (Acc << 1) | ((v >> i) & 1);
      if (++N == 8) {
        Out.push_back(static_cast<uint8_t>(Acc));
        Acc = 0;
        N = 0;
      }
    }
  }
  Bytes Finish() {
    if (N) Put(8 - N, 0);
    return Out;
  }
};
struct TBitsLsb {
  Bytes Out;
  uint32_t Acc = 0;
  int N = 0;
  void Put(int n, uint32_t v) {
    for (int i = 0; i < n; ++i) {
      Acc |= ((v >> i) & 1) << N;
      if (++N == 8) {
        Out.push_back(static_cast<uint8_t>(Acc));
        Acc = 0;
        N = 0;
      }
    }
  }
  Bytes Finish() {
    if (N) Out.push_back(static_cast<uint8_t>(Acc));
    return Out;
  }
};
}  // namespace

Bytes Lh1Encode(const Bytes& data) {
  constexpr int kPre = 4096, kMaxLen = 60;
  Bytes buf(kPre, 0);
  std::fill(buf.begin() + 60, buf.end(), ' ');
  buf.insert(buf.end(), data.begin(), data.end());
  TLh1Model m;
  TBitsMsb bits;
  const TLh1PosCode& pc = Lh1PosCode();
  auto sym = [&](int c) {
    std::vector<int> path;
    for (int k = m.Parent[c + TLh1Model::kNodes]; k != TLh1Model::kRoot; k = m.Parent[k]) path.push_back(k & 1);
    for (auto it = path.rbegin(); it != path.rend(); ++it) bits.Put(1, static_cast<uint32_t>(*it));
    m.Update(c);
  };
  std::map<uint32_t, std::vector<int>> chains;
  auto key = [&](size_t p) { return (uint32_t{buf[p]} << 16) | (uint32_t{buf[p + 1]} << 8) | buf[p + 2]; };
  for (size_t p = 60; p + 3 <= static_cast<size_t>(kPre); ++p) chains[key(p)].push_back(static_cast<int>(p));
  size_t i = kPre;
  while (i < buf.size()) {
    int bestLen = 0, bestDist = 0;
    if (i + 3 <= buf.size()) {
      auto it = chains.find(key(i));
      if (it != chains.end()) {
        for (auto jt = it->second.rbegin(); jt != it->second.rend(); ++jt) {
          int dist = static_cast<int>(i) - *jt;
          if (dist > 4096) break;
          int l = 0;
          while (l < kMaxLen && i + static_cast<size_t>(l) < buf.size() && buf[static_cast<size_t>(*jt + l)] == buf[i + static_cast<size_t>(l)]) ++l;
          if (l > bestLen) {
            bestLen = l;
            bestDist = dist;
          }
        }
      }
    }
    int step = 1;
    if (bestLen >= 3) {
      sym(bestLen + 253);
      unsigned p = static_cast<unsigned>(bestDist - 1);
      unsigned up = p >> 6;
      bits.Put(pc.Len[up], static_cast<uint32_t>(pc.Code[up] >> (8 - pc.Len[up])));
      bits.Put(6, p & 63);
      step = bestLen;
    } else {
      sym(buf[i]);
    }
    for (int k = 0; k < step; ++k, ++i)
      if (i + 3 <= buf.size()) chains[key(i)].push_back(static_cast<int>(i));
  }
  return bits.Finish();
}

Bytes ZooLzwEncode(const Bytes& data) {
  TBitsLsb bits;
  int nBits = 9;
  unsigned maxCode = 512, decFree = 258, encFree = 258;
  std::map<std::pair<unsigned, uint8_t>, unsigned> dict;
  int emitted = 0;
  auto emit = [&](unsigned code) {
    bits.Put(nBits, code);
    ++emitted;
    // The decoder adds a string with every code after the first one following a clear.
    if (emitted >= 2 && decFree < 8192) {
      ++decFree;
      if (decFree >= maxCode && nBits < 13) {
        ++nBits;
        maxCode <<= 1;
      }
    }
  };
  auto clear = [&]() {
    bits.Put(nBits, 256);
    nBits = 9;
    maxCode = 512;
    decFree = encFree = 258;
    dict.clear();
    emitted = 0;
  };
  clear();
  if (!data.empty()) {
    unsigned w = data[0];
    for (size_t i = 1; i < data.size(); ++i) {
      uint8_t c = data[i];
      auto it = dict.find({w, c});
      if (it != dict.end()) {
        w = it->second;
        continue;
      }
      emit(w);
      if (encFree < 8000) {
        dict[{w, c}] = encFree++;
      } else {
        clear();
      }
      w = c;
    }
    emit(w);
  }
  bits.Put(nBits, 257);
  return bits.Finish();
}

Bytes ArcRlePack(const Bytes& data) {
  Bytes out;
  size_t i = 0;
  while (i < data.size()) {
    uint8_t b = data[i];
    size_t run = 1;
    while (i + run < data.size() && data[i + run] == b) ++run;
    if (b == 0x90) {
      for (size_t k = 0; k < run; ++k) {
        out.push_back(0x90);
        out.push_back(0);
      }
    } else {
      size_t left = run;
      while (left > 0) {
        size_t n = std::min<size_t>(left, 255);
        out.push_back(b);
        if (n >= 3) {
          out.push_back(0x90);
          out.push_back(static_cast<uint8_t>(n));
        } else if (n == 2) {
          out.push_back(b);
        }
        left -= n;
      }
    }
    i += run;
  }
  return out;
}

Bytes ArcCrunchOldEncode(const Bytes& data, bool newHash) {
  constexpr unsigned kNoPred = 0xFFFF;
  std::vector<uint8_t> used(4096, 0);
  std::vector<uint16_t> next(4096, 0);
  std::map<std::pair<unsigned, uint8_t>, unsigned> dict;
  unsigned left = 4096 - 256;
  auto add = [&](unsigned p, uint8_t c) {
    unsigned s = ArcCrunchSlot(used.data(), next.data(), p, c, newHash);
    used[s] = 1;
    next[s] = 0;
    dict[{p, c}] = s;
    return s;
  };
  for (unsigned i = 0; i < 256; ++i) add(kNoPred, static_cast<uint8_t>(i));
  TBitsMsb bits;
  if (data.empty()) return {};
  unsigned w = dict[{kNoPred, data[0]}];
  for (size_t i = 1; i < data.size(); ++i) {
    uint8_t c = data[i];
    auto it = dict.find({w, c});
    if (it != dict.end()) {
      w = it->second;
      continue;
    }
    bits.Put(12, w);
    if (left) {
      add(w, c);
      --left;
    }
    w = dict[{kNoPred, c}];
  }
  bits.Put(12, w);
  return bits.Finish();
}

Bytes ArcSqueezeEncode(const Bytes& data) {
  constexpr int kEof = 256;
  std::vector<uint64_t> freq(257, 0);
  for (uint8_t b : data) ++freq[b];
  freq[kEof] = 1;
  // Nodes: leaves are -(symbol + 1); internal nodes are numbered as made, the root last, then
  // renumbered so that the root is node 0.
  struct TNode {
    int Child[2];
  };
  std::vector<TNode> nodes;
  using Item = std::pair<uint64_t, int>;  // weight, ref (>= 0 node, < 0 leaf)
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (int s = 0; s < 257; ++s)
    if (freq[static_cast<size_t>(s)]) heap.push({freq[static_cast<size_t>(s)], -(s + 1)});
  while (heap.size() > 1) {
    Item a = heap.top();
    heap.pop();
    Item b = heap.top();
    heap.pop();
    nodes.push_back({{a.second, b.second}});
    heap.push({a.first + b.first, static_cast<int>(nodes.size()) - 1});
  }
  int n = static_cast<int>(nodes.size());
  if (n == 0) {  // only the end symbol: one node whose both children end
    nodes.push_back({{-(kEof + 1), -(kEof + 1)}});
    n = 1;
  }
  auto renum = [&](int ref) { return ref >= 0 ? n - 1 - ref : ref; };
  std::vector<TNode> out(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    out[static_cast<size_t>(n - 1 - i)] = {{renum(nodes[static_cast<size_t>(i)].Child[0]), renum(nodes[static_cast<size_t>(i)].Child[1])}};
  // The code of each symbol: its path from the root.
  std::vector<std::vector<int>> code(257);
  std::vector<std::pair<int, std::vector<int>>> stack{{0, {}}};
  while (!stack.empty()) {
    auto [node, path] = stack.back();
    stack.pop_back();
    for (int b = 0; b < 2; ++b) {
      int c = out[static_cast<size_t>(node)].Child[b];
      std::vector<int> p = path;
      p.push_back(b);
      if (c < 0)
        code[static_cast<size_t>(-(c + 1))] = p;
      else
        stack.push_back({c, p});
    }
  }
  TBitsLsb bits;
  bits.Put(16, static_cast<uint32_t>(n));
  for (const auto& nd : out) {
    bits.Put(16, static_cast<uint16_t>(static_cast<int16_t>(nd.Child[0])));
    bits.Put(16, static_cast<uint16_t>(static_cast<int16_t>(nd.Child[1])));
  }
  for (uint8_t b : data)
    for (int bit : code[b]) bits.Put(1, static_cast<uint32_t>(bit));
  for (int bit : code[kEof]) bits.Put(1, static_cast<uint32_t>(bit));
  return bits.Finish();
}
}  // namespace testenc
