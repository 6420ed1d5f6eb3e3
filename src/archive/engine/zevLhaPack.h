#pragma once
// The -lh1- decoder: adaptive Huffman coding of literals and match lengths over a 4 KB
// dictionary, the match positions' upper six bits in a fixed code. Portable.
#include <cstdint>

#include "archive/engine/zevCodecIo.h"

// The adaptive code's model, shared by the decoder and the test-side encoder.
class TLh1Model {
 public:
  static constexpr int kChars = 314;            // 256 literals, lengths 3 to 60
  static constexpr int kNodes = 2 * kChars - 1; // 627
  static constexpr int kRoot = kNodes - 1;
  static constexpr unsigned kMaxFreq = 0x8000;
  TLh1Model();
  // Counts one more use of symbol c (the tree is rebuilt, frequencies halved, when the root
  // reaches kMaxFreq).
  void Update(int c);
  unsigned Freq[kNodes + 1];
  int Parent[kNodes + kChars];  // the leaves' parents follow the nodes'
  int Son[kNodes];

 private:
  void Rebuild();
};

// The fixed code of a position's upper six bits: its length (3 to 8) and its value.
struct TLh1PosCode {
  uint8_t Len[64];
  uint8_t Code[64];  // left-aligned in 8 bits
};
const TLh1PosCode& Lh1PosCode();

// Decodes exactly size bytes. Returns 0, zevReadError (the input ended first),
// zevCorruptInput or zevUserCanceled.
int Lh1Decode(TCodecInput& in, TCodecSink& out, int64_t size);
