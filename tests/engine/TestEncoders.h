#pragma once
// Encoders that exist only for the tests: they make the streams of methods the engine reads
// but never writes, and that no tool on this system writes (-lh1-, ZOO's LZW, ARC's old
// crunch). Each stream they make is accepted as a fixture only when an independent tool
// (lhasa, unar, nomarch) reads it back.
#include <cstdint>
#include <vector>

namespace testenc {
using Bytes = std::vector<uint8_t>;
// -lh1-: adaptive Huffman over a 4 KB dictionary that starts as blanks; greedy matches.
Bytes Lh1Encode(const Bytes& data);
// ZOO's LZW: a clear code first, 9 to 13 bits, a clear when the table is full, the end code.
Bytes ZooLzwEncode(const Bytes& data);
// ARC's run-length coding (methods 3 and 6 to 8).
Bytes ArcRlePack(const Bytes& data);
// ARC's old 12-bit crunch over a hashed table (method 5/6 hash, or method 7's).
Bytes ArcCrunchOldEncode(const Bytes& data, bool newHash);
// ARC's squeeze: the tree and the codes, then the end symbol.
Bytes ArcSqueezeEncode(const Bytes& data);
}  // namespace testenc
