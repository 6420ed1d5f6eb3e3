#include "archive/engine/zevLhaPack.h"

#include <cstring>
#include <memory>

#include "archive/engine/zevGbls.h"

TLh1Model::TLh1Model() {
  for (int i = 0; i < kChars; ++i) {
    Freq[i] = 1;
    Son[i] = i + kNodes;
    Parent[i + kNodes] = i;
  }
  for (int i = 0, j = kChars; j <= kRoot; i += 2, ++j) {
    Freq[j] = Freq[i] + Freq[i + 1];
    Son[j] = i;
    Parent[i] = Parent[i + 1] = j;
  }
  Freq[kNodes] = 0xFFFF;  // a sentinel above every real frequency
  Parent[kRoot] = 0;
}

void TLh1Model::Rebuild() {
  // The leaves, halved, to the front in their order.
  int j = 0;
  for (int i = 0; i < kNodes; ++i) {
    if (Son[i] >= kNodes) {
      Freq[j] = (Freq[i] + 1) / 2;
      Son[j] = Son[i];
      ++j;
    }
  }
  // Join pairs again, each new node placed where its frequency keeps the order.
  for (int i = 0, k = kChars; k < kNodes; i += 2, ++k) {
    unsigned f = Freq[i] + Freq[i + 1];
    Freq[k] = f;
    int at = k - 1;
    while (f < Freq[at]) --at;
    ++at;
    std::memmove(&Freq[at + 1], &Freq[at], static_cast<size_t>(k - at) * sizeof Freq[0]);
    Freq[at] = f;
    std::memmove(&Son[at + 1], &Son[at], static_cast<size_t>(k - at) * sizeof Son[0]);
    Son[at] = i;
  }
  for (int i = 0; i < kNodes; ++i) {
    int k = Son[i];
    if (k >= kNodes)
      Parent[k] = i;
    else
      Parent[k] = Parent[k + 1] = i;
  }
}

void TLh1Model::Update(int c) {
  if (Freq[kRoot] == kMaxFreq) Rebuild();
  c = Parent[c + kNodes];
  do {
    unsigned k = ++Freq[c];
    int l = c + 1;
    if (k > Freq[l]) {
      while (k > Freq[++l]) {
      }
      --l;
      Freq[c] = Freq[l];
      Freq[l] = k;
      int i = Son[c];
      Parent[i] = l;
      if (i < kNodes) Parent[i + 1] = l;
      int j = Son[l];
      Son[l] = i;
      Parent[j] = c;
      if (j < kNodes) Parent[j + 1] = c;
      Son[c] = j;
      c = l;
    }
    c = Parent[c];
  } while (c != 0);
}

const TLh1PosCode& Lh1PosCode() {
  static const TLh1PosCode table = [] {
    // 1 code of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7, 16 of 8, assigned in order.
    static const int counts[9] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
    TLh1PosCode t{};
    int sym = 0;
    unsigned code = 0;
    for (int len = 3; len <= 8; ++len) {
      for (int k = 0; k < counts[len]; ++k, ++sym) {
        t.Len[sym] = static_cast<uint8_t>(len);
        t.Code[sym] = static_cast<uint8_t>(code << (8 - len));
        ++code;
      }
      code <<= 1;
    }
    return t;
  }();
  return table;
}

namespace {
// The upper six bits of a position by its first eight bits, and the length of that code.
struct TLh1PosLookup {
  uint8_t Upper[256];
  uint8_t Len[256];
};
const TLh1PosLookup& PosLookup() {
  static const TLh1PosLookup lookup = [] {
    const TLh1PosCode& pc = Lh1PosCode();
    TLh1PosLookup t{};
    for (int s = 0; s < 64; ++s) {
      int span = 1 << (8 - pc.Len[s]);
      for (int k = 0; k < span; ++k) {
        t.Upper[pc.Code[s] + k] = static_cast<uint8_t>(s);
        t.Len[pc.Code[s] + k] = pc.Len[s];
      }
    }
    return t;
  }();
  return lookup;
}
}  // namespace

int Lh1Decode(TCodecInput& in, TCodecSink& out, int64_t size) {
  if (size < 0) return zevCorruptInput;
  constexpr size_t kDict = 4096, kStart = 4096 - 60;
  TLzWindow win(out);
  // The dictionary starts as blanks up to where writing begins; the 60 bytes after that were
  // never written and read as zeros.
  uint8_t history[kDict];
  std::memset(history, 0, sizeof history);
  std::memset(history + (kDict - kStart), ' ', kStart);
  win.Preset(history, kDict);
  auto model = std::make_unique<TLh1Model>();
  TBitReaderMsb br(in);
  const TLh1PosLookup& pos = PosLookup();
  int64_t done = 0;
  int r = 0;
  while (done < size) {
    int c = model->Son[TLh1Model::kRoot];
    while (c < TLh1Model::kNodes) c = model->Son[c + static_cast<int>(br.Get(1))];
    c -= TLh1Model::kNodes;
    if (br.Overrun()) break;
    model->Update(c);
    if (c < 256) {
      if (!win.Literal(static_cast<uint8_t>(c))) {
        r = zevUserCanceled;
        break;
      }
      ++done;
      continue;
    }
    int64_t len = c - 253;
    uint32_t first = br.Peek(8);
    unsigned codeLen = pos.Len[first];
    uint32_t low = br.Get(static_cast<int>(codeLen) + 6) & 0x3F;
    size_t dist = ((static_cast<size_t>(pos.Upper[first]) << 6) | low) + 1;
    if (br.Overrun()) break;
    if (len > size - done) {
      r = zevCorruptInput;
      break;
    }
    if (!win.Copy(dist, static_cast<size_t>(len))) {
      r = zevUserCanceled;
      break;
    }
    done += len;
  }
  if (!r && br.Overrun()) r = zevReadError;
  if (!win.Flush() && r == 0) r = zevUserCanceled;
  return r;
}
