#include "archive/engine/zevLzw.h"

#include <vector>

#include "archive/engine/zevGbls.h"

namespace {
constexpr int kClear = 256;

// The table of strings: each code is its prefix code and its last byte; codes below 256 are
// the bytes themselves.
struct TLzwTable {
  explicit TLzwTable(size_t size) : Prefix(size, 0), Suffix(size, 0), Stack(size + 1) {
    for (int i = 0; i < 256; ++i) Suffix[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  }
  // Writes the string of code (known to be below next); its first byte goes to first.
  // False when the chain is longer than the table (a damaged table).
  bool Emit(unsigned code, TByteOutput& out, uint8_t& first, bool& stopped) {
    size_t sp = 0;
    while (code >= 256) {
      if (sp >= Stack.size()) return false;
      Stack[sp++] = Suffix[code];
      code = Prefix[code];
    }
    first = static_cast<uint8_t>(code);
    Stack[sp++] = first;
    while (sp > 0) {
      if (!out.Put(Stack[--sp])) {
        stopped = true;
        return true;
      }
    }
    return true;
  }
  // One code after the first: writes its string (a code one beyond the table is the previous
  // string and its own first byte), then adds the previous string and this one's first byte
  // as the next free code while the table has room. 0 or an error number.
  int Step(unsigned code, unsigned& freeCode, unsigned tableSize, unsigned& oldCode, uint8_t& finChar,
           TByteOutput& out) {
    unsigned c = code;
    bool kwkwk = false;
    if (c >= freeCode) {
      // With the table full the code one beyond it still names the previous string and its
      // first byte; nothing is added.
      if (c > freeCode) return zevCorruptInput;
      kwkwk = true;
      c = oldCode;
    }
    uint8_t first = 0;
    bool stopped = false;
    if (!Emit(c, out, first, stopped)) return zevStackOverflow;
    if (kwkwk && !stopped && !out.Put(finChar)) stopped = true;
    if (stopped) return zevUserCanceled;
    finChar = first;
    if (freeCode < tableSize) {
      Prefix[freeCode] = static_cast<uint16_t>(oldCode);
      Suffix[freeCode] = finChar;
      ++freeCode;
    }
    oldCode = code;
    return 0;
  }
  std::vector<uint16_t> Prefix;
  std::vector<uint8_t> Suffix;
  std::vector<uint8_t> Stack;
};

// Reads codes in groups of nBits bytes, as the writer wrote them; a change of width or a
// clear drops the rest of the group.
class TGroupCodeReader {
 public:
  explicit TGroupCodeReader(TCodecInput& in) : FFeed(in) {}
  // -1 at the end of the input.
  int Next(int nBits, bool newGroup) {
    if (newGroup || FOffset >= FSize) {
      int n = 0;
      while (n < nBits && FFeed.More()) FBuf[n++] = FFeed.Next();
      if (n <= 0) return -1;
      FOffset = 0;
      FSize = n * 8 - (nBits - 1);
      if (FSize <= 0) return -1;
    }
    uint32_t code = 0;
    for (int i = 0; i < nBits; ++i) {
      int bit = FOffset + i;
      code |= static_cast<uint32_t>((FBuf[bit >> 3] >> (bit & 7)) & 1) << i;
    }
    FOffset += nBits;
    return static_cast<int>(code);
  }

 private:
  TByteFeed FFeed;
  uint8_t FBuf[16] = {};
  int FOffset = 0, FSize = 0;
};

// Counts the blocks handed on, so that a run can stop after one.
class TBlockCounter : public TCodecSink {
 public:
  explicit TBlockCounter(TCodecSink& to) : FTo(to) {}
  bool Put(const uint8_t* data, size_t count) override {
    ++Blocks;
    return FTo.Put(data, count);
  }
  uint64_t Blocks = 0;

 private:
  TCodecSink& FTo;
};
}  // namespace

struct TLzwGroupDecoder::TState {
  TState(TCodecInput& in, TCodecSink& out, int maxBits, bool blockMode)
      : MaxBits(maxBits), MaxCodeMax(1u << maxBits), BlockMode(blockMode), Tab(MaxCodeMax), Rd(in), Counter(out),
        Bytes(Counter), FreeEnt(blockMode ? 257 : 256) {}
  // The reader starts a new group when the width grows or after a clear.
  int Next() {
    bool newGroup = false;
    if (FreeEnt > MaxCode) {
      ++NBits;
      MaxCode = NBits == MaxBits ? MaxCodeMax : (1u << NBits) - 1;
      newGroup = true;
    }
    if (ClearFlag) {
      NBits = 9;
      MaxCode = (1u << NBits) - 1;
      ClearFlag = false;
      newGroup = true;
    }
    return Rd.Next(NBits, newGroup);
  }
  int MaxBits;
  unsigned MaxCodeMax;
  bool BlockMode;
  TLzwTable Tab;
  TGroupCodeReader Rd;
  TBlockCounter Counter;
  TByteOutput Bytes;
  int NBits = 9;
  unsigned MaxCode = (1u << 9) - 1;
  unsigned FreeEnt;
  bool ClearFlag = false, Started = false, Done = false;
  unsigned OldCode = 0;
  uint8_t FinChar = 0;
  int Result = 0;
};

TLzwGroupDecoder::TLzwGroupDecoder(TCodecInput& in, TCodecSink& out, int maxBits, bool blockMode) {
  if (maxBits < 9 || maxBits > 16) {
    FBadWidth = true;
    return;
  }
  F = std::make_unique<TState>(in, out, maxBits, blockMode);
}

TLzwGroupDecoder::~TLzwGroupDecoder() = default;

bool TLzwGroupDecoder::Done() const { return !F || F->Done; }

int TLzwGroupDecoder::Decode(bool oneBlock) {
  if (FBadWidth) return zevIncorrectBits;
  TState& s = *F;
  if (s.Done) return s.Result;
  auto finish = [&s](int r) {
    if (!s.Bytes.Flush() && r == 0) r = zevUserCanceled;
    s.Done = true;
    s.Result = r;
    return r;
  };
  if (!s.Started) {
    s.Started = true;
    int code = s.Next();
    if (code < 0) return finish(0);
    if (code >= 256) {
      s.Done = true;
      return s.Result = zevCorruptInput;
    }
    s.OldCode = static_cast<unsigned>(code);
    s.FinChar = static_cast<uint8_t>(code);
    if (!s.Bytes.Put(s.FinChar)) return finish(zevUserCanceled);
  }
  const uint64_t blocks = s.Counter.Blocks;
  while (!oneBlock || s.Counter.Blocks == blocks) {
    int code = s.Next();
    if (code < 0) return finish(0);
    if (code == kClear && s.BlockMode) {
      s.ClearFlag = true;
      s.FreeEnt = 256;
      if ((code = s.Next()) < 0) return finish(0);
    }
    if (int r = s.Tab.Step(static_cast<unsigned>(code), s.FreeEnt, s.MaxCodeMax, s.OldCode, s.FinChar, s.Bytes))
      return finish(r);
  }
  return 0;
}

int LzwGroupDecode(TCodecInput& in, TCodecSink& out, int maxBits, bool blockMode) {
  return TLzwGroupDecoder(in, out, maxBits, blockMode).Decode(false);
}

int ZooLzwDecode(TCodecInput& in, TCodecSink& out) {
  constexpr int kMaxBits = 13, kEnd = 257, kFirstFree = 258;
  constexpr unsigned kTableSize = 1u << kMaxBits;
  TLzwTable tab(kTableSize);
  TBitReaderLsb br(in);
  TByteOutput bytes(out);
  int nBits = 9;
  unsigned maxCode = 512, freeCode = kFirstFree;
  unsigned oldCode = 0;
  uint8_t finChar = 0;
  bool afterClear = true;
  int r = 0;
  for (;;) {
    unsigned code = br.Get(nBits);
    if (br.Overrun()) {
      r = zevReadError;
      break;
    }
    if (code == kEnd) break;
    if (code == kClear) {
      nBits = 9;
      maxCode = 512;
      freeCode = kFirstFree;
      afterClear = true;
      continue;
    }
    if (afterClear) {
      // The code after a clear is a byte by itself.
      if (code >= 256) {
        r = zevCorruptInput;
        break;
      }
      afterClear = false;
      oldCode = code;
      finChar = static_cast<uint8_t>(code);
      if (!bytes.Put(finChar)) {
        r = zevUserCanceled;
        break;
      }
      continue;
    }
    unsigned before = freeCode;
    if ((r = tab.Step(code, freeCode, kTableSize, oldCode, finChar, bytes)) != 0) break;
    if (freeCode != before && freeCode >= maxCode && nBits < kMaxBits) {
      ++nBits;
      maxCode <<= 1;
    }
  }
  if (!bytes.Flush() && r == 0) r = zevUserCanceled;
  return r;
}
