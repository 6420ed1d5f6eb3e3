#include "archive/engine/zevLzh5.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <queue>
#include <vector>

namespace {
constexpr int NC = 510;
constexpr int NT = 19;
constexpr int TBIT = 5;
constexpr int CBIT = 9;
constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 96;
constexpr int kBlockCodes = 16384;
}  // namespace

int MakeCodeLengths(const uint32_t* freq, int n, int maxLen, uint8_t* lengths) {
  std::fill(lengths, lengths + n, 0);
  std::vector<int> used;
  for (int i = 0; i < n; ++i)
    if (freq[i]) used.push_back(i);
  int m = static_cast<int>(used.size());
  if (m < 2) return m;
  // Huffman's tree over the used symbols: nodes 0..m-1 are leaves, then the joined ones.
  std::vector<uint64_t> weight(2 * m - 1);
  std::vector<int> parent(2 * m - 1, -1);
  using Item = std::pair<uint64_t, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (int i = 0; i < m; ++i) {
    weight[i] = freq[used[i]];
    heap.push({weight[i], i});
  }
  int next = m;
  while (heap.size() > 1) {
    Item a = heap.top();
    heap.pop();
    Item b = heap.top();
    heap.pop();
    weight[next] = a.first + b.first;
    parent[a.second] = parent[b.second] = next;
    heap.push({weight[next], next});
    ++next;
  }
  std::vector<int> depth(2 * m - 1, 0);
  for (int i = 2 * m - 3; i >= 0; --i) depth[i] = depth[parent[i]] + 1;
  // Lengths beyond the limit are cut and the code made whole again by lengthening shorter
  // ones; then the shortest lengths go to the most frequent symbols.
  std::vector<int> count(static_cast<size_t>(maxLen) + 1, 0);
  for (int i = 0; i < m; ++i) ++count[std::min(depth[i], maxLen)];
  uint64_t kraft = 0;
  for (int l = 1; l <= maxLen; ++l) kraft += static_cast<uint64_t>(count[l]) << (maxLen - l);
  while (kraft > (uint64_t{1} << maxLen)) {
    --count[maxLen];
    for (int l = maxLen - 1; l > 0; --l) {
      if (count[l]) {
        --count[l];
        count[l + 1] += 2;
        break;
      }
    }
    --kraft;
  }
  std::vector<int> order(static_cast<size_t>(m));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weight[a] > weight[b]; });
  int k = 0;
  for (int l = 1; l <= maxLen; ++l)
    for (int c = 0; c < count[l]; ++c) lengths[used[order[k++]]] = static_cast<uint8_t>(l);
  return m;
}

void MakeCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes) {
  uint32_t count[18] = {}, start[18] = {};
  for (int i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  for (int l = 1; l <= 16; ++l) start[l + 1] = (start[l] + count[l]) << 1;
  for (int i = 0; i < n; ++i) codes[i] = lengths[i] ? static_cast<uint16_t>(start[lengths[i]]++) : 0;
}

namespace {
class TLzhEncoder {
 public:
  TLzhEncoder(TCodecInput& src, TStream32& dest, int dictBits, int posBits, int64_t giveUpAt)
      : FSrc(src), FOut(dest), FDict(1 << dictBits), FNP(dictBits + 1), FPBit(posBits),
        FGiveUpAt(giveUpAt), FWin(static_cast<size_t>(2 * FDict + kMaxMatch + 8)), FHead(size_t{1} << kHashBits, -1),
        FPrev(static_cast<size_t>(FDict), -1) {
    FCodes.reserve(kBlockCodes);
  }

  TLzhEncodeResult Run() {
    TLzhEncodeResult res;
    Fill();
    int prevLen = 0, prevDist = 0;
    bool havePrev = false;
    while (FPos < FEnd) {
      if (FEnd - FPos < kMaxMatch + 1 && !FDry) {
        Fill();
      }
      int len = 0, dist = 0;
      FindMatch(len, dist);
      Insert(FPos);
      if (havePrev) {
        if (prevLen >= kThreshold && prevLen >= len) {
          // The previous position's match wins: emit it and step over the rest of it.
          Emit(prevLen + 253, prevDist - 1);
          for (int i = 2; i < prevLen; ++i) {
            ++FPos;
            if (FEnd - FPos < kMaxMatch + 1 && !FDry) Fill();
            Insert(FPos);
          }
          ++FPos;
          havePrev = false;
          if (GaveUp()) break;
          continue;
        }
        Emit(FWin[static_cast<size_t>(FPos - 1)], 0);
      }
      prevLen = len;
      prevDist = dist;
      havePrev = true;
      ++FPos;
      if (GaveUp()) break;
    }
    if (!FGaveUp && havePrev) Emit(FWin[static_cast<size_t>(FPos - 1)], 0);
    if (!FGaveUp) {
      SendBlock();
      FOut.Finish();
      if (FGiveUpAt >= 0 && FOut.Bytes() >= FGiveUpAt) FGaveUp = true;
    }
    res.BytesIn = FSrc.Consumed();
    res.BytesOut = FOut.Bytes();
    res.GaveUp = FGaveUp;
    return res;
  }

 private:
  bool GaveUp() {
    if (FGiveUpAt >= 0 && FOut.Bytes() >= FGiveUpAt) FGaveUp = true;
    return FGaveUp;
  }

  uint32_t HashAt(int p) const {
    const uint8_t* w = FWin.data() + p;
    return ((static_cast<uint32_t>(w[0]) << 10) ^ (static_cast<uint32_t>(w[1]) << 5) ^ w[2]) &
           ((1u << kHashBits) - 1);
  }

  void Insert(int p) {
    if (FEnd - p < kThreshold) return;
    uint32_t h = HashAt(p);
    FPrev[static_cast<size_t>(p & (FDict - 1))] = FHead[h];
    FHead[h] = p;
  }

  void FindMatch(int& bestLen, int& bestDist) {
    bestLen = 0;
    bestDist = 0;
    int maxLen = std::min(kMaxMatch, FEnd - FPos);
    if (maxLen < kThreshold) return;
    const uint8_t* cur = FWin.data() + FPos;
    int cand = FHead[HashAt(FPos)];
    int chain = kMaxChain;
    int limit = FPos - FDict + 1;
    while (cand >= 0 && cand >= limit && chain-- > 0) {
      const uint8_t* m = FWin.data() + cand;
      if (m[bestLen] == cur[bestLen] && m[0] == cur[0] && m[1] == cur[1]) {
        int l = 2;
        while (l < maxLen && m[l] == cur[l]) ++l;
        if (l > bestLen) {
          bestLen = l;
          bestDist = FPos - cand;
          if (l == maxLen) break;
        }
      }
      int nxt = FPrev[static_cast<size_t>(cand & (FDict - 1))];
      if (nxt >= cand) break;
      cand = nxt;
    }
    if (bestLen < kThreshold) bestLen = 0;
  }

  // Keeps the window filled ahead of the position; slides it by one dictionary when the
  // position passes twice the dictionary.
  void Fill() {
    if (FPos >= 2 * FDict) {
      std::memmove(FWin.data(), FWin.data() + FDict, static_cast<size_t>(FEnd - FDict));
      FPos -= FDict;
      FEnd -= FDict;
      for (int& h : FHead) h = h >= FDict ? h - FDict : -1;
      for (int& h : FPrev) h = h >= FDict ? h - FDict : -1;
    }
    while (!FDry && FEnd < static_cast<int>(FWin.size())) {
      size_t n = FSrc.Read(FWin.data() + FEnd, FWin.size() - static_cast<size_t>(FEnd));
      if (n == 0) {
        FDry = true;
        break;
      }
      FEnd += static_cast<int>(n);
    }
  }

  void Emit(int c, int p) {
    FCodes.push_back({static_cast<uint16_t>(c), static_cast<uint16_t>(p)});
    if (static_cast<int>(FCodes.size()) == kBlockCodes) SendBlock();
  }

  static int PosCode(unsigned p) {
    int c = 0;
    while (p) {
      p >>= 1;
      ++c;
    }
    return c;
  }

  void WritePtLen(int n, int nbit, int special) {
    while (n > 0 && FPtLen[n - 1] == 0) --n;
    FOut.Put(nbit, static_cast<uint32_t>(n));
    int i = 0;
    while (i < n) {
      int k = FPtLen[i++];
      if (k <= 6)
        FOut.Put(3, static_cast<uint32_t>(k));
      else
        FOut.Put(k - 3, (1u << (k - 3)) - 2);
      if (i == special) {
        while (i < 6 && FPtLen[i] == 0) ++i;
        FOut.Put(2, static_cast<uint32_t>(i - 3));
      }
    }
  }

  // Walks the literal/length code lengths as they are sent: zero runs and lengths, each as a
  // symbol of the code-length alphabet, handed to f(symbol, extraBits, extraValue).
  template <class F>
  void WalkCLen(int n, F f) {
    int i = 0;
    while (i < n) {
      int k = FCLen[i++];
      if (k == 0) {
        int count = 1;
        while (i < n && FCLen[i] == 0) {
          ++i;
          ++count;
        }
        if (count <= 2) {
          for (int j = 0; j < count; ++j) f(0, 0, 0);
        } else if (count <= 18) {
          f(1, 4, count - 3);
        } else if (count == 19) {
          f(0, 0, 0);
          f(1, 4, 15);
        } else {
          f(2, CBIT, count - 20);
        }
      } else {
        f(k + 2, 0, 0);
      }
    }
  }

  void SendBlock() {
    if (FCodes.empty()) return;
    uint32_t cFreq[NC] = {}, pFreq[32] = {};
    for (const auto& c : FCodes) {
      ++cFreq[c.C];
      if (c.C >= 256) ++pFreq[PosCode(c.P)];
    }
    FOut.Put(16, static_cast<uint32_t>(FCodes.size()));
    int used = MakeCodeLengths(cFreq, NC, 16, FCLen);
    uint16_t cCode[NC];
    int cFixed = -1;
    if (used >= 2) {
      MakeCanonicalCodes(FCLen, NC, cCode);
      int n = NC;
      while (n > 0 && FCLen[n - 1] == 0) --n;
      uint32_t tFreq[NT] = {};
      WalkCLen(n, [&](int s, int, int) { ++tFreq[s]; });
      uint16_t tCode[NT];
      if (MakeCodeLengths(tFreq, NT, 16, FPtLen) >= 2) {
        MakeCanonicalCodes(FPtLen, NT, tCode);
        WritePtLen(NT, TBIT, 3);
        FOut.Put(CBIT, static_cast<uint32_t>(n));
        WalkCLen(n, [&](int s, int bits, int v) {
          FOut.Put(FPtLen[s], tCode[s]);
          FOut.Put(bits, static_cast<uint32_t>(v));
        });
      } else {
        int only = 0;
        while (tFreq[only] == 0) ++only;
        FOut.Put(TBIT, 0);
        FOut.Put(TBIT, static_cast<uint32_t>(only));
        FOut.Put(CBIT, static_cast<uint32_t>(n));
        WalkCLen(n, [&](int, int bits, int v) { FOut.Put(bits, static_cast<uint32_t>(v)); });
      }
    } else {
      cFixed = 0;
      while (cFreq[cFixed] == 0) ++cFixed;
      FOut.Put(TBIT, 0);
      FOut.Put(TBIT, 0);
      FOut.Put(CBIT, 0);
      FOut.Put(CBIT, static_cast<uint32_t>(cFixed));
    }
    uint16_t pCode[32];
    bool pFixed = MakeCodeLengths(pFreq, FNP, 16, FPtLen) < 2;
    if (!pFixed) {
      MakeCanonicalCodes(FPtLen, FNP, pCode);
      WritePtLen(FNP, FPBit, -1);
    } else {
      int only = 0;
      while (only < FNP && pFreq[only] == 0) ++only;
      if (only == FNP) only = 0;
      FOut.Put(FPBit, 0);
      FOut.Put(FPBit, static_cast<uint32_t>(only));
    }
    for (const auto& c : FCodes) {
      if (cFixed < 0) FOut.Put(FCLen[c.C], cCode[c.C]);
      if (c.C >= 256) {
        int pc = PosCode(c.P);
        if (!pFixed) FOut.Put(FPtLen[pc], pCode[pc]);
        if (pc > 1) FOut.Put(pc - 1, c.P & ((1u << (pc - 1)) - 1));
      }
    }
    FCodes.clear();
  }

  struct TCode {
    uint16_t C, P;
  };
  TCodecInput& FSrc;
  TBitWriterMsb FOut;
  int FDict, FNP, FPBit;
  int64_t FGiveUpAt;
  std::vector<uint8_t> FWin;
  std::vector<int> FHead, FPrev;
  int FPos = 0, FEnd = 0;
  bool FDry = false, FGaveUp = false;
  std::vector<TCode> FCodes;
  uint8_t FCLen[NC] = {};
  uint8_t FPtLen[32] = {};
};
}  // namespace

TLzhEncodeResult Lzh5Encode(TCodecInput& source, TStream32& dest, int dictBits, int posBits, int64_t giveUpAt) {
  auto enc = std::make_unique<TLzhEncoder>(source, dest, dictBits, posBits, giveUpAt);
  return enc->Run();
}
