#include "archive/engine/zevArcCodec.h"

#include <vector>

#include "archive/engine/zevGbls.h"

namespace {
constexpr uint8_t kDle = 0x90;
}

bool TArcRleSink::Put(const uint8_t* data, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint8_t c = data[i];
    if (FInRun) {
      FInRun = false;
      if (c == 0) {
        if (!FOut.Put(kDle)) return false;
      } else {
        for (unsigned k = 1; k < c; ++k)
          if (!FOut.Put(FLast)) return false;
      }
    } else if (c == kDle) {
      FInRun = true;
    } else {
      FLast = c;
      if (!FOut.Put(c)) return false;
    }
  }
  return true;
}

int ArcUnsqueeze(TCodecInput& in, TCodecSink& out) {
  constexpr int kMaxNodes = 256, kEof = 256;
  TBitReaderLsb br(in);
  int nodes = static_cast<int>(br.Get(16));
  if (br.Overrun()) return zevReadError;
  if (nodes > kMaxNodes) return zevInvalidDecodeTree;
  std::vector<int16_t> child(static_cast<size_t>(2 * (nodes ? nodes : 1)));
  if (nodes == 0) {
    child[0] = child[1] = static_cast<int16_t>(-(kEof + 1));
  }
  for (int i = 0; i < 2 * nodes; ++i) {
    int16_t v = static_cast<int16_t>(br.Get(16));
    if (v >= nodes || v < -(kEof + 1)) return zevInvalidDecodeTree;
    child[static_cast<size_t>(i)] = v;
  }
  if (br.Overrun()) return zevReadError;
  TByteOutput bytes(out);
  int node = 0;
  for (;;) {
    node = child[static_cast<size_t>(2 * node + static_cast<int>(br.Get(1)))];
    if (br.Overrun()) return bytes.Flush() ? zevReadError : zevUserCanceled;
    if (node >= 0) continue;
    int sym = -(node + 1);
    if (sym == kEof) break;
    if (!bytes.Put(static_cast<uint8_t>(sym))) return zevUserCanceled;
    node = 0;
  }
  return bytes.Flush() ? 0 : zevUserCanceled;
}

unsigned ArcCrunchSlot(const uint8_t* used, uint16_t* next, unsigned prefix, uint8_t c, bool newHash) {
  unsigned local;
  if (newHash) {
    local = ((prefix + c) * 15073u) & 0xFFF;
  } else {
    uint32_t v = ((prefix + c) & 0xFFFF) | 0x800;
    v *= v;
    local = (v >> 6) & 0xFFF;
  }
  if (used[local]) {
    while (next[local]) local = next[local];
    unsigned free = (local + 101) & 0xFFF;
    while (used[free]) free = (free + 1) & 0xFFF;
    next[local] = static_cast<uint16_t>(free);
    local = free;
  }
  return local;
}

int ArcUncrunchOld(TCodecInput& in, TCodecSink& out, bool newHash) {
  constexpr unsigned kTab = 4096, kNoPred = 0xFFFF;
  constexpr size_t kStack = 4095;
  std::vector<uint8_t> used(kTab, 0), follower(kTab, 0);
  std::vector<uint16_t> next(kTab, 0), pred(kTab, 0);
  auto add = [&](unsigned p, uint8_t c) {
    unsigned s = ArcCrunchSlot(used.data(), next.data(), p, c, newHash);
    used[s] = 1;
    next[s] = 0;
    pred[s] = static_cast<uint16_t>(p);
    follower[s] = c;
    return s;
  };
  for (unsigned i = 0; i < 256; ++i) add(kNoPred, static_cast<uint8_t>(i));
  unsigned codesLeft = kTab - 256;
  TBitReaderMsb br(in);
  TByteOutput bytes(out);
  std::vector<uint8_t> stack(kStack);
  unsigned code = br.Get(12);
  if (br.Overrun()) return bytes.Flush() ? 0 : zevUserCanceled;
  if (!used[code]) return zevCorruptInput;
  unsigned oldCode = code;
  uint8_t finChar = follower[code];
  if (pred[code] != kNoPred) return zevCorruptInput;  // the first code is a byte
  if (!bytes.Put(finChar)) return zevUserCanceled;
  for (;;) {
    code = br.Get(12);
    if (br.Overrun()) break;
    unsigned inCode = code;
    size_t sp = 0;
    bool unknown = !used[code];
    if (unknown) {
      if (codesLeft == 0) return zevCorruptInput;
      stack[sp++] = finChar;
      code = oldCode;
    }
    while (pred[code] != kNoPred) {
      if (sp >= kStack) return zevStackOverflow;
      stack[sp++] = follower[code];
      code = pred[code];
    }
    if (sp >= kStack) return zevStackOverflow;
    finChar = follower[code];
    stack[sp++] = finChar;
    while (sp > 0)
      if (!bytes.Put(stack[--sp])) return zevUserCanceled;
    if (codesLeft) {
      unsigned s = add(oldCode, finChar);
      --codesLeft;
      if (unknown && s != inCode) return zevCorruptInput;
    }
    oldCode = inCode;
  }
  return bytes.Flush() ? 0 : zevUserCanceled;
}
