#pragma once
// The LZW decoders of the old archivers: the dynamic 9-to-n-bit form with a clear code that
// reads its codes in groups (ARC's crunch method 8 and squash method 9), and ZOO's LZW.
// Portable.
#include <cstdint>
#include <memory>

#include "archive/engine/zevCodecIo.h"

// Codes of 9 to maxBits bits (at most 16), least significant bit first, read in groups of
// as many bytes as the width. In block mode code 256 clears the table and the first free code
// is 257; without it 256 is an ordinary code. Decodes until the input ends, into out.
// Returns 0, zevCorruptInput (a code beyond the table), zevStackOverflow or zevUserCanceled.
int LzwGroupDecode(TCodecInput& in, TCodecSink& out, int maxBits, bool blockMode = true);

// The same decoding, resumable: a reader that pulls its output a block at a time (a TAR
// walked as it is unpacked) runs it one block further each time.
class TLzwGroupDecoder {
 public:
  TLzwGroupDecoder(TCodecInput& in, TCodecSink& out, int maxBits, bool blockMode);
  ~TLzwGroupDecoder();
  TLzwGroupDecoder(const TLzwGroupDecoder&) = delete;
  TLzwGroupDecoder& operator=(const TLzwGroupDecoder&) = delete;
  // Decodes to the end of the input, or with oneBlock only until the sink was handed a block.
  // 0 or an error number as above (zevIncorrectBits for a width outside 9..16); after the end
  // (Done) it returns the run's result again.
  int Decode(bool oneBlock);
  bool Done() const;

 private:
  struct TState;
  std::unique_ptr<TState> F;
  bool FBadWidth = false;
};

// ZOO's LZW: 9 to 13 bits, least significant first, 256 clears, 257 ends. Decodes until the
// end code; returns 0, zevCorruptInput, zevReadError (no end code before the input ended) or
// zevUserCanceled.
int ZooLzwDecode(TCodecInput& in, TCodecSink& out);
