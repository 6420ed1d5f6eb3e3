#pragma once
// The old ZIP methods' decoders: Shrink (1), Reduce (2 to 5) and Implode (6). Each sees only
// its input, its output and the size it is to produce; formats that share a method share the
// decoder. Every table, code, distance and length is checked; a bit reader that runs past the
// input gives zeros and the decoder reports the damage. Portable.
#include <cstdint>
#include <functional>

// The bytes read into buffer (0 at the end of the input).
using TDecodeSource = std::function<int32_t(uint8_t* buffer, int32_t count)>;
// Receives the output in blocks.
using TDecodeSink = std::function<void(const uint8_t* data, int32_t count)>;

// 0 when outSize bytes were produced, else the engine's error number (zevBadBlock,
// zevStackOverflow, zevAmbiguousTree, zevReadError for input that ended early,
// zevCorruptInput for a distance or length that does not fit).
int UnShrink(const TDecodeSource& in, const TDecodeSink& out, int64_t outSize);
int UnReduce(const TDecodeSource& in, const TDecodeSink& out, int64_t outSize, int factor);
// flags: the entry's general-purpose flags (bit 1 an 8 KB window, bit 2 a literal tree).
int Explode(const TDecodeSource& in, const TDecodeSink& out, int64_t outSize, uint16_t flags);
