#pragma once
// The static-Huffman LZ decoder of the LZH family (the -lh4- to -lh7- methods of LHA, ARJ's
// methods 1 to 3, ZOO's and BH's LZH methods), and the canonical Huffman table it and the
// other decoders use. Portable.
#include <cstdint>

#include "archive/engine/zevCodecIo.h"

// A canonical prefix code read most significant bit first: a table of 2^TableBits entries for
// the short codes and a search by length for the longer ones (up to 16 bits).
class THuffDecoder {
 public:
  static constexpr int kMaxLen = 16;
  explicit THuffDecoder(int tableBits) : FTableBits(tableBits), FTable(size_t{1} << tableBits) {}
  // Builds from n code lengths (0: symbol unused). False unless they form one complete code
  // with no length above 16.
  bool Build(const uint8_t* lengths, int n);
  // Every "decode" gives sym and uses no bit.
  void SetFixed(int sym) { FFixed = sym; }
  int Decode(TBitReaderMsb& br) {
    if (FFixed >= 0) return FFixed;
    uint32_t v = br.Peek(kMaxLen);
    uint16_t e = FTable[v >> (kMaxLen - FTableBits)];
    if (e != 0) {
      br.Skip(e & 31);
      return e >> 5;
    }
    return DecodeLong(br, v);
  }

 private:
  int DecodeLong(TBitReaderMsb& br, uint32_t v);
  int FTableBits;
  std::vector<uint16_t> FTable;  // (symbol << 5) | length; 0: a longer code
  uint32_t FLimit[kMaxLen + 2] = {};
  uint32_t FFirst[kMaxLen + 1] = {};
  uint16_t FOffset[kMaxLen + 1] = {};
  std::vector<uint16_t> FSorted;
  int FFixed = -1;
};

// Decodes exactly size bytes of a -lh5- family stream. dictBits gives the position codes
// (dictBits + 1 of them, at most 2^dictBits back), posBits the width of their count. Returns
// 0, zevBadHuffmanCode (a table that is not a complete code, or counts beyond the alphabet),
// zevCorruptInput (a match reaching before the data or past its end), zevReadError (the input
// ended first) or zevUserCanceled (the sink stopped).
int LzhDecode(TCodecInput& in, TCodecSink& out, int64_t size, int dictBits, int posBits);
