#include "archive/engine/zevUnLha.h"

#include <vector>

#include "archive/engine/zevLhaFormat.h"
#include "archive/engine/zevUnCodec.h"

void TUnLha::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  auto list = ListCodecEntries<TLhaHeader>(
      *this, *archive, ArchiveFile(), WalkLhaHeaders, [](const TLhaHeader& h) { return h.Name; },
      [](const TLhaHeader& h) {
        // -lh2- and -lh3- are listed (and refused when extracted); other ids are not entries.
        char m = h.MethodChar();
        return m == 'd' || (m >= '0' && m <= '7');
      });
  for (const auto& h : list) {
    if (GetCancel()) break;
    TCodecEntry e;
    char m = h.MethodChar();
    e.StoredName = h.Name;
    e.IsFolder = m == 'd';
    e.Supported = LhaMethodSupported(m);
    e.DosTime = h.DosTime;
    e.Attr = e.IsFolder ? kAttrDirectory : h.Attr;
    e.DataOffset = h.DataOffset;
    e.PackedSize = h.PackedSize;
    e.OrigSize = h.OrigSize;
    e.CrcWidth = 16;
    e.Crc = h.Crc;
    e.Decode = [m, &h](TCodecInput& in, TCodecSink& out) { return LhaDecodeData(in, out, m, h.OrigSize); };
    ExtractCodecEntry(*this, *archive, e, false, false);
  }
}
