#include "archive/engine/zevBlakHole.h"

#include <cstring>
#include <vector>

#include "archive/engine/zevBhFormat.h"
#include "archive/engine/zevDetect.h"
#include "archive/engine/zevLhaFormat.h"
#include "foundation/TextCodec.h"

TBlakHole::TBlakHole(TComponent* owner) : TCompBase(owner) {
  FClassExt = L".BH";
  FDefaultExt = L".BH";
  FArcType = atBh;
  EncryptHeaders = false;
  FAllowedMethods = (1u << cmStore) | (1u << cmDeflate) | (1u << cmFuse);
  FCompressMethod = cmDeflate;
}

std::string TBlakHole::StoredBytes(const std::wstring& name) const { return DosStoredBytes(name); }

void TBlakHole::ReadDirectory(TStream32& input, TzevTempOutput&) {
  int64_t size = input.GetSize();
  int64_t expected = 0;
  bool skipped = false;
  int rc = WalkBhHeaders(input, size, [&](const TBhHeader& h) {
    // An entry the walk passed over (a name too long to list) would be lost by the update.
    if (h.Offset != expected) skipped = true;
    expected = h.NextOffset;
    TCompEntry e;
    e.RawName = h.Name;
    e.Name = FixStoredName(h.Name, TranslateOemChar);
    e.OldOffset = h.Offset;
    e.NewOffset = h.NextOffset - h.Offset;  // the entry's whole length
    NoteKept(e, h.PackedSize, h.OrigSize, h.DosTime, h.Attr & 0xFFFF);
    e.Size = h.OrigSize;
    e.DosDate = h.DosTime;
    e.Action = 1;
    if (Switch == swDelete && MatchesSpec(e.Name)) {
      e.Action = 2;
      ++FilesDeleted;
    }
    FList.push_back(std::move(e));
    return !GetCancel();
  });
  // Bytes behind the last entry the walk took are damage (a broken header, an entry cut
  // short): the update would drop them and everything they hold.
  bool more = expected < size;
  if (rc == zevBadFileHeader || skipped || more || (FList.empty() && size > 0))
    RaiseError(FArchiveFile, L"", L"0", FList.empty() ? zevInvalidArcType : zevBadFileHeader);
}

int64_t TBlakHole::PrepareCopyEntry(TStream32&, TStream32& output, TCompEntry& e) {
  int64_t len = e.NewOffset;
  e.NewOffset = output.Seek(0, soFromEnd);
  return len;
}

void TBlakHole::RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) {
  TBhHeader h;
  if (ReadBhHeaderAt(input, e.OldOffset, input.GetSize(), h) != 0) RaiseError(e.Name, L"", L"0", zevBadFileHeader);
  std::string raw = StoredBytes(e.Name);
  if (raw.empty() || raw.size() >= 256) RaiseError(e.Name, L"", L"0", zevInvalidFileName);
  uint8_t head[kBhHeaderSize];
  if (!ReadAt(input, h.Offset, head, kBhHeaderSize)) RaiseError(e.Name, L"", L"0", zevBadFileHeader);
  PutLE16(head + 4, static_cast<uint16_t>(kBhHeaderSize + raw.size()));
  PutLE16(head + 33, static_cast<uint16_t>(raw.size()));
  int64_t extraStart = h.Offset + static_cast<int64_t>(kBhHeaderSize + h.Name.size());
  e.RawName = raw;
  e.NewOffset = output.Seek(0, soFromEnd);
  output.WriteBuffer(head, kBhHeaderSize);
  output.WriteBuffer(raw.data(), static_cast<int32_t>(raw.size()));
  // The extra data and the entry's data go over as they are.
  input.Seek(extraStart, soFromBeginning);
  CopyEntryData(input, output, h.NextOffset - extraStart);
}

bool TBlakHole::CompressFile(TStream32& output, TCompEntry& e) {
  const std::wstring full = e.Name;
  const std::wstring stored = EntryName;
  bool folder = e.Attr & kAttrDirectory;
  std::string raw = StoredBytes(stored);
  if (raw.empty()) {
    DoError(full, L"", L"0", zevInvalidFileName);
    return false;
  }
  TBhPacking packing = CompressMethod() == cmFuse      ? TBhPacking::Fuse
                       : CompressMethod() == cmDeflate ? TBhPacking::Deflate
                                                       : TBhPacking::Store;
  TDeflateType level = DeflateType;
  if (StoreAlreadyCompressedFiles && IsAlreadyCompressedName(full)) level = dtDeflateS;
  std::string pw = PasswordBytes();
  int32_t date = EntryDate(e.DosDate);
  TBhWritten w;
  bool ok = WriteFormatEntry(output, e, packing != TBhPacking::Store,
                             [&](TStream32* src, TStream32& scratch, const std::function<void(size_t)>& progress) {
                               int rc = WriteBhEntry(src, output, scratch, raw, folder, date, e.Attr & 0xFFFF,
                                                     packing, level, pw, w);
                               if (rc == 0 && src) progress(w.OrigSize);
                               return rc;
                             });
  if (!ok) return false;
  e.RawName = raw;
  e.Name = stored;
  e.DosDate = date;
  e.Size = w.OrigSize;
  NoteKept(e, w.PackedSize, w.OrigSize, date, e.Attr & 0xFFFF);
  // The CRC the header records was computed from the bytes written.
  if (OnEnd) OnEnd(this, stored, true);
  return true;
}

void TBlakHole::ReportNewEntries() {
  if (!OnRead) return;
  int n = 0;
  for (const auto& e : FList) {
    if (e.Action == 2) continue;
    ReadInfo = TCompEntryInfo{};
    ReadInfo.Name = e.Name;
    ReadInfo.DosDate = e.DosDate;
    ReadInfo.Size = GetLE32(e.Central + 24);
    ReadInfo.Packed = GetLE32(e.Central + 20);
    ReadInfo.Attr = GetLE32(e.Central + 38);
    ReadInfo.Ratio = CompressRatio(ReadInfo.Size, ReadInfo.Packed);
    OnRead(this, static_cast<int>(std::min<int64_t>(e.NewOffset, 0x7FFFFFFF)), ++n);
  }
}
