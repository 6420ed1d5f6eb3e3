#pragma once
// ARJ's method 4 ("fastest"): LZ77 with unary-prefixed lengths and distances over a 32 KiB
// history. Methods 1 to 3 are the static-Huffman LZH coder (zevLzh3.h). Portable.
#include <cstdint>

#include "archive/engine/zevCodecIo.h"

// Decodes exactly size bytes. Returns 0, zevCorruptInput (a match before the data or past its
// end), zevReadError (the input ended first) or zevUserCanceled.
int ArjFastDecode(TCodecInput& in, TCodecSink& out, int64_t size);
