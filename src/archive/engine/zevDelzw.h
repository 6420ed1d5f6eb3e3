#pragma once
// The Unix compress (".Z") stream: a three-byte header (signature, then the maximum code
// width in bits 0-4 and block mode in bit 7) and LZW codes of growing width. Portable.
#include "archive/engine/zevCodecIo.h"

// Decodes a whole ".Z" stream, header included, into out. Returns 0, zevIncompleteCodeSet (a
// header with reserved flag bits or a width outside 9..16), zevReadError (no header),
// zevCorruptInput (a code beyond the table), zevStackOverflow or zevUserCanceled.
int UnCompressZ(TCodecInput& in, TCodecSink& out);

// Reads and checks the three header bytes: 0 (with the maximum width and block mode),
// zevReadError or zevIncompleteCodeSet as above.
int ReadCompressHeader(TCodecInput& in, int& maxBits, bool& blockMode);
