#include "archive/engine/zevDelzw.h"

#include "archive/engine/zevGbls.h"
#include "archive/engine/zevLzw.h"

int ReadCompressHeader(TCodecInput& in, int& maxBits, bool& blockMode) {
  uint8_t head[3];
  size_t got = 0;
  while (got < 3) {
    size_t n = in.Read(head + got, 3 - got);
    if (n == 0) return zevReadError;
    got += n;
  }
  if (head[0] != 0x1F || head[1] != 0x9D) return zevReadError;
  maxBits = head[2] & 0x1F;
  blockMode = (head[2] & 0x80) != 0;
  if ((head[2] & 0x60) != 0 || maxBits < 9 || maxBits > 16) return zevIncompleteCodeSet;
  return 0;
}

int UnCompressZ(TCodecInput& in, TCodecSink& out) {
  int maxBits = 0;
  bool blockMode = false;
  if (int r = ReadCompressHeader(in, maxBits, blockMode)) return r;
  return LzwGroupDecode(in, out, maxBits, blockMode);
}
