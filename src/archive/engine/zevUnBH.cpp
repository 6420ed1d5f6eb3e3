#include "archive/engine/zevUnBH.h"

#include <vector>

#include "archive/engine/zevBhFormat.h"
#include "archive/engine/zevUnCodec.h"

bool TUnBh::CheckPassword(uint8_t* header) {
  return ZipCheckEncryptHeader(header, FFlags, FCrc, PasswordBytes(), static_cast<uint16_t>(FDosTime & 0xFFFF));
}

void TUnBh::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  auto list = ListCodecEntries<TBhHeader>(
      *this, *archive, ArchiveFile(), WalkBhHeaders, [](const TBhHeader& h) { return h.Name; },
      [](const TBhHeader&) { return true; });
  // The progress counts the data without the encryption headers.
  for (const auto& h : list)
    if (h.Encrypted() && h.PackedSize >= 12) BytesTotal -= 12;
  BytesLeft = BytesTotal;
  for (const auto& h : list) {
    if (GetCancel()) break;
    TCodecEntry e;
    e.StoredName = h.Name;
    e.IsFolder = (h.Attr & kAttrDirectory) != 0;
    e.Supported = h.Method <= 3 || h.Method == 8;
    e.DosTime = h.DosTime;
    e.Attr = h.Attr;
    e.DataOffset = h.DataOffset;
    e.PackedSize = h.PackedSize;
    e.OrigSize = h.OrigSize;
    e.CrcWidth = 32;
    e.Crc = h.Crc;
    uint8_t method = h.Method;
    int64_t orig = h.OrigSize;
    e.Decode = [method, orig](TCodecInput& in, TCodecSink& out) { return BhDecodeData(in, out, method, orig); };
    if (h.Encrypted() && !e.IsFolder && e.Supported) {
      if (h.PackedSize < 12) {
        DoError(FixStoredName(e.StoredName, TranslateOemChar), L"", L"0", zevBadFileHeader);
        continue;
      }
      FFlags = h.Flags;
      FCrc = h.Crc;
      FDosTime = h.DosTime;
      EntryName = FixStoredName(e.StoredName, TranslateOemChar);
      archive->Seek(h.DataOffset, soFromBeginning);
      // A refused or wrong password skips the entry (the base reported it).
      if (!GetEntryPassword(archive)) continue;
      e.DataOffset += 12;
      e.PackedSize -= 12;
      e.Decipher = [](uint8_t* p, size_t n) { ZipDecryptBuffer(p, n); };
    }
    ExtractCodecEntry(*this, *archive, e, false, false);
  }
}
