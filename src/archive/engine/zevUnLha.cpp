#include "archive/engine/zevUnLha.h"

#include <vector>

#include "archive/engine/zevLhaFormat.h"
#include "archive/engine/zevUnCodec.h"

void TUnLha::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  Timer.Pause();
  int64_t size = archive->Seek(0, soFromEnd);
  std::vector<TLhaHeader> list;
  BytesTotal = 0;
  int r = WalkLhaHeaders(*archive, size, [&](const TLhaHeader& h) {
    if (GetCancel()) return false;
    char m = h.MethodChar();
    // -lh2- and -lh3- are listed (and refused when extracted); other ids are not entries.
    if (m != 'd' && (m < '0' || m > '7')) return true;
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
