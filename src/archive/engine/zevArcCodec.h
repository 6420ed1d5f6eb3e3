#pragma once
// ARC's own coders: the run-length coding of its methods 3, 4, 6, 7 and 8, the squeeze
// (method 4: a Huffman tree stored before the data) and the old 12-bit crunch (methods 5 to
// 7: LZW with a hashed string table). Methods 8 and 9 are zevLzw's group LZW. Portable.
#include <cstdint>

#include "archive/engine/zevCodecIo.h"

// Undoes ARC's run-length coding on the way to another sink: 0x90 n repeats the byte before
// to n copies in all, 0x90 0 is a 0x90 by itself.
class TArcRleSink : public TCodecSink {
 public:
  explicit TArcRleSink(TCodecSink& next) : FOut(next) {}
  bool Put(const uint8_t* data, size_t count) override;
  bool Flush() { return FOut.Flush(); }

 private:
  TByteOutput FOut;
  uint8_t FLast = 0;
  bool FInRun = false;
};

// Squeezed data: the tree (a 16-bit node count, then two 16-bit children per node), then the
// codes least significant bit first, until the end symbol. Returns 0, zevInvalidDecodeTree
// (more than 256 nodes, or a child that names no node), zevReadError (no end symbol before
// the input ended) or zevUserCanceled.
int ArcUnsqueeze(TCodecInput& in, TCodecSink& out);

// Old crunched data: 12-bit codes, most significant bit first, into a 4,096-slot string
// table placed by hash (newHash: method 7's hash, else the one of methods 5 and 6). Returns
// 0, zevCorruptInput, zevStackOverflow or zevUserCanceled.
int ArcUncrunchOld(TCodecInput& in, TCodecSink& out, bool newHash);

// The slot a hashed table of 4,096 (used flags in used, chain links in next) gives to a
// string (prefix, byte): the hash's slot, or when taken the first free slot from 101 past
// the end of its chain. Shared by the decoder and the test-side encoder.
unsigned ArcCrunchSlot(const uint8_t* used, uint16_t* next, unsigned prefix, uint8_t c, bool newHash);
