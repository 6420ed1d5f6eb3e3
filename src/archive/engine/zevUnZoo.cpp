#include "archive/engine/zevUnZoo.h"

#include <vector>

#include "archive/engine/zevOldFormats.h"
#include "archive/engine/zevUnCodec.h"

void TUnZoo::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  auto list = ListCodecEntries<TZooHeader>(
      *this, *archive, ArchiveFile(), WalkZooHeaders, [](const TZooHeader& h) { return h.Name; },
      [](const TZooHeader&) { return true; });
  for (const auto& listed : list) {
    if (GetCancel()) break;
    TZooHeader h;
    if (ReadZooEntryAt(*archive, listed.Offset, archive->Seek(0, soFromEnd), h) != 0) {
      DoError(FixStoredName(listed.Name, TranslateOemChar), L"", L"0", zevBadFileHeader);
      continue;
    }
    TCodecEntry e;
    e.StoredName = h.Name;
    e.Supported = h.Method <= 2;
    e.DosTime = h.DosTime;
    e.Attr = kAttrArchive;
    e.DataOffset = h.DataOffset;
    e.PackedSize = h.PackedSize;
    e.OrigSize = h.OrigSize;
    e.CrcWidth = 16;
    e.Crc = h.Crc;
    uint8_t method = h.Method;
    int64_t orig = h.OrigSize;
    e.Decode = [method, orig](TCodecInput& in, TCodecSink& out) { return ZooDecodeData(in, out, method, orig); };
    ExtractCodecEntry(*this, *archive, e, false, false);
  }
}
