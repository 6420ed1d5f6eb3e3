#pragma once
// The engine's LZH compressor: LZ77 over a sliding dictionary with one-step lazy matching,
// and static Huffman coding in blocks (the -lh5- family format). Portable.
#include <cstdint>

#include "archive/engine/zevCodecIo.h"

struct TLzhEncodeResult {
  int64_t BytesIn = 0;
  int64_t BytesOut = 0;
  // The output reached giveUpAt bytes: the caller stores the data instead.
  bool GaveUp = false;
};

// Compresses everything source gives into dest. dictBits 13 (8 KiB, -lh5-) to 16; the
// position codes are dictBits + 1, their count written in posBits bits. Stops early, with
// GaveUp set, as soon as the output reaches giveUpAt bytes (a negative value never gives up).
// Stream failures pass on as exceptions.
TLzhEncodeResult Lzh5Encode(TCodecInput& source, TStream32& dest, int dictBits, int posBits, int64_t giveUpAt);

// Code lengths of at most maxLen bits for the n frequencies (0: unused symbol), longer codes
// for rarer symbols. Returns the number of symbols used; with fewer than 2 nothing is set but
// zeros.
int MakeCodeLengths(const uint32_t* freq, int n, int maxLen, uint8_t* lengths);
// Canonical codes (shorter first, then by symbol) for the lengths.
void MakeCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes);
