#include "archive/engine/zevZipDecoders.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevGbls.h"

namespace {
// Least significant bit first; zeros past the end of the input, with a flag.
class TBitReader {
 public:
  explicit TBitReader(const TDecodeSource& in) : FIn(in) {}
  uint32_t Bits(int n) {
    while (FCount < n) {
      if (FPos == FLen) Fill();
      uint32_t byte = 0;
      if (FPos < FLen)
        byte = FBuf[FPos++];
      else
        FPastEnd = true;
      FBits |= byte << FCount;
      FCount += 8;
    }
    uint32_t v = FBits & ((n == 32) ? 0xFFFFFFFFu : ((1u << n) - 1));
    FBits >>= n;
    FCount -= n;
    return v;
  }
  bool PastEnd() const { return FPastEnd; }

 private:
  void Fill() {
    FPos = 0;
    FLen = FEnded ? 0 : FIn(FBuf, sizeof FBuf);
    if (FLen <= 0) {
      FLen = 0;
      FEnded = true;
    }
  }
  const TDecodeSource& FIn;
  uint8_t FBuf[32768];
  int32_t FPos = 0, FLen = 0;
  uint64_t FBits = 0;
  int FCount = 0;
  bool FPastEnd = false, FEnded = false;
};

// Output through a window: matches copy from it; bytes before the start of the output read
// as zeros. Flushes in blocks of 32768 bytes.
class TWindowOut {
 public:
  TWindowOut(const TDecodeSink& sink, int64_t size) : FSink(sink), FLeft(size), FWin(65536, 0) {}
  ~TWindowOut() = default;
  bool Done() const { return FLeft <= 0; }
  void Put(uint8_t b) {
    if (FLeft <= 0) return;
    FWin[FPos & 0xFFFF] = b;
    ++FPos;
    --FLeft;
    if ((FPos & 0x7FFF) == 0) Flush();
  }
  // distance >= 1; false when it reaches beyond the window.
  bool Copy(uint32_t distance, uint32_t length) {
    if (distance == 0 || distance > 32768) return false;
    while (length-- > 0 && FLeft > 0) {
      uint8_t b = static_cast<uint64_t>(distance) > FPos ? 0 : FWin[(FPos - distance) & 0xFFFF];
      Put(b);
    }
    return true;
  }
  void Flush() {
    uint64_t from = FFlushed;
    while (from < FPos) {
      uint64_t start = from & 0xFFFF;
      uint64_t n = std::min<uint64_t>(FPos - from, 65536 - start);
      FSink(&FWin[start], static_cast<int32_t>(n));
      from += n;
    }
    FFlushed = FPos;
  }

 private:
  const TDecodeSink& FSink;
  int64_t FLeft;
  std::vector<uint8_t> FWin;
  uint64_t FPos = 0, FFlushed = 0;
};

// A canonical prefix code decoded bit by bit (the first bit read is the code's top bit).
struct TCanonical {
  int16_t Count[17]{};
  std::vector<int16_t> Symbol;
  // 0, or zevAmbiguousTree for an over-subscribed or incomplete set of lengths.
  int Build(const uint8_t* lengths, int n) {
    std::memset(Count, 0, sizeof Count);
    for (int i = 0; i < n; ++i) {
      if (lengths[i] > 16) return zevAmbiguousTree;
      ++Count[lengths[i]];
    }
    if (Count[0] == n) return zevAmbiguousTree;
    int left = 1;
    for (int len = 1; len <= 16; ++len) {
      left <<= 1;
      left -= Count[len];
      if (left < 0) return zevAmbiguousTree;
    }
    if (left > 0) return zevAmbiguousTree;
    int16_t offs[17]{};
    for (int len = 1; len < 16; ++len) offs[len + 1] = static_cast<int16_t>(offs[len] + Count[len]);
    Symbol.assign(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i)
      if (lengths[i]) Symbol[static_cast<size_t>(offs[lengths[i]]++)] = static_cast<int16_t>(i);
    return 0;
  }
  // invert: the stream holds the complement of each code bit.
  int Decode(TBitReader& br, bool invert) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= 16; ++len) {
      int bit = static_cast<int>(br.Bits(1));
      if (invert) bit ^= 1;
      code |= bit;
      int count = Count[len];
      if (code - count < first) return Symbol[static_cast<size_t>(index + (code - first))];
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return -1;
  }
};
}  // namespace

// ---- Shrink ----

int UnShrink(const TDecodeSource& in, const TDecodeSink& sink, int64_t outSize) {
  constexpr int kCodes = 8192;
  TBitReader br(in);
  TWindowOut out(sink, outSize);
  std::vector<int16_t> parent(kCodes, -1);
  std::vector<uint8_t> value(kCodes, 0);
  std::vector<uint8_t> used(kCodes, 0);
  for (int i = 0; i < 256; ++i) {
    used[static_cast<size_t>(i)] = 1;
    value[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  }
  used[256] = 1;
  int nextFree = 257;
  int codeSize = 9;
  std::vector<uint8_t> stack(kCodes);
  int result = 0;
  auto advanceFree = [&] {
    while (nextFree < kCodes && used[static_cast<size_t>(nextFree)]) ++nextFree;
  };
  if (outSize <= 0) return 0;
  int last = static_cast<int>(br.Bits(codeSize));
  if (br.PastEnd() || last > 255) return zevBadBlock;
  out.Put(static_cast<uint8_t>(last));
  uint8_t lastFirst = static_cast<uint8_t>(last);
  while (!out.Done()) {
    int code = static_cast<int>(br.Bits(codeSize));
    if (br.PastEnd()) {
      result = zevReadError;
      break;
    }
    if (code == 256) {
      int sub = static_cast<int>(br.Bits(codeSize));
      if (sub == 1) {
        if (++codeSize > 13) {
          result = zevBadBlock;
          break;
        }
      } else if (sub == 2) {
        // Partial clearing: every code that is no other code's prefix becomes free.
        std::vector<uint8_t> isParent(kCodes, 0);
        for (int c = 257; c < kCodes; ++c)
          if (used[static_cast<size_t>(c)] && parent[static_cast<size_t>(c)] >= 0)
            isParent[static_cast<size_t>(parent[static_cast<size_t>(c)])] = 1;
        for (int c = 257; c < kCodes; ++c)
          if (used[static_cast<size_t>(c)] && !isParent[static_cast<size_t>(c)]) used[static_cast<size_t>(c)] = 0;
        nextFree = 257;
        advanceFree();
      } else {
        result = zevBadBlock;
        break;
      }
      continue;
    }
    int sp = 0;
    int c = code;
    bool kwkwk = false;
    if (!used[static_cast<size_t>(c)]) {
      // The one code not yet defined that may appear: the one being defined now.
      if (c != nextFree) {
        result = zevBadBlock;
        break;
      }
      kwkwk = true;
      c = last;
    }
    while (c >= 256) {
      if (sp >= kCodes - 1 || !used[static_cast<size_t>(c)]) {
        result = sp >= kCodes - 1 ? zevStackOverflow : zevBadBlock;
        break;
      }
      stack[static_cast<size_t>(sp++)] = value[static_cast<size_t>(c)];
      c = parent[static_cast<size_t>(c)];
      if (c < 0) {
        result = zevBadBlock;
        break;
      }
    }
    if (result) break;
    uint8_t first = static_cast<uint8_t>(c);
    out.Put(first);
    while (sp > 0) out.Put(stack[static_cast<size_t>(--sp)]);
    if (kwkwk) out.Put(first);
    if (nextFree < kCodes) {
      parent[static_cast<size_t>(nextFree)] = static_cast<int16_t>(last);
      value[static_cast<size_t>(nextFree)] = first;
      used[static_cast<size_t>(nextFree)] = 1;
      advanceFree();
    }
    (void)lastFirst;
    last = code;
  }
  out.Flush();
  return result;
}

// ---- Reduce ----

int UnReduce(const TDecodeSource& in, const TDecodeSink& sink, int64_t outSize, int factor) {
  if (factor < 1 || factor > 4) return zevUnsupportedMethod;
  TBitReader br(in);
  TWindowOut out(sink, outSize);
  uint8_t followers[256][32];
  uint8_t n[256];
  for (int j = 255; j >= 0; --j) {
    n[j] = static_cast<uint8_t>(br.Bits(6));
    if (n[j] > 32) return zevAmbiguousTree;
    for (int k = 0; k < n[j]; ++k) followers[j][k] = static_cast<uint8_t>(br.Bits(8));
  }
  if (br.PastEnd()) return zevReadError;
  auto bitsFor = [](int count) {
    int b = 1;
    while ((1 << b) < count) ++b;
    return b;
  };
  const uint32_t lenMask = 0x7Fu >> (factor - 1);
  uint8_t lastChar = 0;
  int state = 0;
  uint32_t v = 0, len = 0;
  while (!out.Done()) {
    uint8_t c;
    if (n[lastChar] == 0) {
      c = static_cast<uint8_t>(br.Bits(8));
    } else if (br.Bits(1)) {
      c = static_cast<uint8_t>(br.Bits(8));
    } else {
      uint32_t i = br.Bits(bitsFor(n[lastChar]));
      if (i >= n[lastChar]) return out.Flush(), zevAmbiguousTree;
      c = followers[lastChar][i];
    }
    if (br.PastEnd()) return out.Flush(), zevReadError;
    lastChar = c;
    switch (state) {
      case 0:
        if (c != 144)
          out.Put(c);
        else
          state = 1;
        break;
      case 1:
        if (c == 0) {
          out.Put(144);
          state = 0;
        } else {
          v = c;
          len = v & lenMask;
          state = len == lenMask ? 2 : 3;
        }
        break;
      case 2:
        len += c;
        state = 3;
        break;
      default: {
        uint32_t dist = ((v >> (8 - factor)) << 8) + c + 1;
        if (!out.Copy(dist, len + 3)) return out.Flush(), zevCorruptInput;
        state = 0;
      }
    }
  }
  out.Flush();
  return 0;
}

// ---- Implode ----

namespace {
// A Shannon-Fano tree as stored: a count of bytes, each a bit length and a repeat count.
int ReadTree(TBitReader& br, int n, TCanonical& tree) {
  uint8_t lengths[256];
  int bytes = static_cast<int>(br.Bits(8)) + 1;
  int k = 0;
  for (int i = 0; i < bytes; ++i) {
    uint32_t b = br.Bits(8);
    int len = static_cast<int>(b & 0x0F) + 1, count = static_cast<int>(b >> 4) + 1;
    if (k + count > n) return zevAmbiguousTree;
    while (count--) lengths[k++] = static_cast<uint8_t>(len);
  }
  if (br.PastEnd()) return zevReadError;
  if (k != n) return zevAmbiguousTree;
  return tree.Build(lengths, n);
}
}  // namespace

int Explode(const TDecodeSource& in, const TDecodeSink& sink, int64_t outSize, uint16_t flags) {
  TBitReader br(in);
  TWindowOut out(sink, outSize);
  const bool bigWindow = flags & 2, litTree = flags & 4;
  TCanonical lit, len, dist;
  int e = 0;
  if (litTree && (e = ReadTree(br, 256, lit)) != 0) return e;
  if ((e = ReadTree(br, 64, len)) != 0) return e;
  if ((e = ReadTree(br, 64, dist)) != 0) return e;
  const int distLowBits = bigWindow ? 7 : 6;
  const uint32_t minMatch = litTree ? 3 : 2;
  while (!out.Done()) {
    if (br.Bits(1)) {
      int c = litTree ? lit.Decode(br, true) : static_cast<int>(br.Bits(8));
      if (c < 0) return out.Flush(), zevAmbiguousTree;
      out.Put(static_cast<uint8_t>(c));
    } else {
      uint32_t low = br.Bits(distLowBits);
      int high = dist.Decode(br, true);
      if (high < 0) return out.Flush(), zevAmbiguousTree;
      uint32_t d = ((static_cast<uint32_t>(high) << distLowBits) | low) + 1;
      int l = len.Decode(br, true);
      if (l < 0) return out.Flush(), zevAmbiguousTree;
      uint32_t length = static_cast<uint32_t>(l);
      if (length == 63) length += br.Bits(8);
      length += minMatch;
      if (!out.Copy(d, length)) return out.Flush(), zevCorruptInput;
    }
    if (br.PastEnd()) return out.Flush(), zevReadError;
  }
  out.Flush();
  return 0;
}
