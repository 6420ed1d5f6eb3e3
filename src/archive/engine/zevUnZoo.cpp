#include "archive/engine/zevUnZoo.h"

#include <vector>

#include "archive/engine/zevOldFormats.h"
#include "archive/engine/zevUnCodec.h"

void TUnZoo::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  Timer.Pause();
  int64_t size = archive->Seek(0, soFromEnd);
  std::vector<TZooHeader> list;
  BytesTotal = 0;
  int r = WalkZooHeaders(*archive, size, [&](const TZooHeader& h) {
    if (GetCancel()) return false;
    std::string name = NormalizeSeparators(h.Name);
    if (!MatchesSpec(FixStoredName(name, TranslateOemChar))) return true;
    list.push_back(h);
    BytesTotal += h.PackedSize;
    NoteDate(h.DosTime);
    return true;
  });
  BytesLeft = BytesTotal;
  Timer.Resume();
  // A damaged directory ends the listing; the entries read before it are still extracted.
  if (r) DoError(ArchiveFile(), L"", L"0", r);
  for (const auto& listed : list) {
    if (GetCancel()) break;
    TZooHeader h;
    if (ReadZooEntryAt(*archive, listed.Offset, size, h) != 0) {
      DoError(FixStoredName(listed.Name, TranslateOemChar), L"", L"0", zevBadFileHeader);
      continue;
    }
    TCodecEntry e;
    e.StoredName = NormalizeSeparators(h.Name);
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
