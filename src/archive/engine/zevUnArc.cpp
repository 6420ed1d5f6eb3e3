#include "archive/engine/zevUnArc.h"

#include <vector>

#include "archive/engine/zevOldFormats.h"
#include "archive/engine/zevUnCodec.h"

void TUnArc::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  Timer.Pause();
  int64_t size = archive->Seek(0, soFromEnd);
  std::vector<TArcHeader> list;
  BytesTotal = 0;
  int r = WalkArcHeaders(*archive, size, [&](const TArcHeader& h) {
    if (GetCancel()) return false;
    if (!MatchesSpec(FixStoredName(h.Name, TranslateOemChar))) return true;
    list.push_back(h);
    BytesTotal += h.PackedSize;
    NoteDate(h.DosTime);
    return true;
  });
  BytesLeft = BytesTotal;
  Timer.Resume();
  if (r) DoError(ArchiveFile(), L"", L"0", r);
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
