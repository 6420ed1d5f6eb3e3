#include "archive/engine/zevUnArc.h"

#include <vector>

#include "archive/engine/zevOldFormats.h"
#include "archive/engine/zevUnCodec.h"

void TUnArc::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  auto list = ListCodecEntries<TArcHeader>(
      *this, *archive, ArchiveFile(), WalkArcHeaders, [](const TArcHeader& h) { return h.Name; },
      [](const TArcHeader&) { return true; });
  for (const auto& h : list) {
    if (GetCancel()) break;
    TCodecEntry e;
    e.StoredName = h.Name;
    e.Supported = h.Method >= 1 && h.Method <= 9;
    e.DosTime = h.DosTime;
    e.Attr = kAttrArchive;
    e.DataOffset = h.DataOffset;
    e.PackedSize = h.PackedSize;
    e.OrigSize = h.OrigSize;
    e.CrcWidth = 16;
    e.Crc = h.Crc;
    e.Decode = [&h](TCodecInput& in, TCodecSink& out) { return ArcDecodeData(in, out, h.Method, h.OrigSize); };
    ExtractCodecEntry(*this, *archive, e, false, false);
  }
}
