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
}  // namespace

int LzwGroupDecode(TCodecInput& in, TCodecSink& out, int maxBits, bool blockMode) {
  if (maxBits < 9 || maxBits > 16) return zevIncorrectBits;
  const unsigned maxCodeMax = 1u << maxBits;
  TLzwTable tab(maxCodeMax);
  TGroupCodeReader rd(in);
  TByteOutput bytes(out);
  int nBits = 9;
  unsigned maxCode = (1u << nBits) - 1;
  unsigned freeEnt = blockMode ? 257 : 256;
  bool clearFlag = false;
  // The reader starts a new group when the width grows or after a clear.
  auto next = [&]() -> int {
    bool newGroup = false;
    if (freeEnt > maxCode) {
      ++nBits;
      maxCode = nBits == maxBits ? maxCodeMax : (1u << nBits) - 1;
      newGroup = true;
    }
    if (clearFlag) {
      nBits = 9;
      maxCode = (1u << nBits) - 1;
      clearFlag = false;
      newGroup = true;
    }
    return rd.Next(nBits, newGroup);
  };
  int code = next();
  if (code < 0) return bytes.Flush() ? 0 : zevUserCanceled;
  if (code >= 256) return zevCorruptInput;
  unsigned oldCode = static_cast<unsigned>(code);
  uint8_t finChar = static_cast<uint8_t>(code);
  if (!bytes.Put(finChar)) return zevUserCanceled;
  int r = 0;
  while ((code = next()) >= 0) {
    if (code == kClear && blockMode) {
      clearFlag = true;
      freeEnt = 256;
      if ((code = next()) < 0) break;
    }
    if ((r = tab.Step(static_cast<unsigned>(code), freeEnt, maxCodeMax, oldCode, finChar, bytes)) != 0) break;
  }
  if (!bytes.Flush() && r == 0) r = zevUserCanceled;
  return r;
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
