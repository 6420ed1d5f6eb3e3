#include "archive/engine/zevLha.h"

#include <cstring>

#include "archive/engine/zevDetect.h"
#include "archive/engine/zevLhaFormat.h"
#include "foundation/TextCodec.h"


TLha::TLha(TComponent* owner) : TCompBase(owner) {
  FClassExt = L".LHA";
  FDefaultExt = L".lha";
  FArcType = atLha;
  EncryptHeaders = false;
  FAllowedMethods = (1u << cmStore) | (1u << cmFrozen5) | (1u << cmFrozen6);
  FCompressMethod = cmFrozen6;
}

std::string TLha::StoredBytes(const std::wstring& name) const { return DosStoredBytes(name); }

void TLha::ReadDirectory(TStream32& input, TzevTempOutput& output) {
  int64_t size = input.GetSize();
  int64_t start = FindLhaStart(input, size);
  // Not an LHA archive: updating it would throw its content away.
  if (start < 0) RaiseError(FArchiveFile, L"", L"0", zevInvalidArcType);
  int rc = WalkLhaHeaders(input, size, [&](const TLhaHeader& h) {
    TCompEntry e;
    e.RawName = h.Name;
    e.Name = FixStoredName(h.Name, TranslateOemChar);
    e.OldOffset = h.Offset;
    // Everything from the header to the next one goes over when the entry is kept.
    e.NewOffset = h.NextOffset - h.Offset;
    NoteKept(e, h.PackedSize, h.OrigSize, h.DosTime, h.Attr);
    e.Action = 1;
    if (Switch == swDelete && MatchesSpec(e.Name)) {
      e.Action = 2;
      ++FilesDeleted;
    }
    FList.push_back(std::move(e));
    return !GetCancel();
  });
  // A damaged header would make the rest of the archive vanish with the update.
  if (rc) RaiseError(FArchiveFile, L"", L"0", zevBadFileHeader);
  // The bytes before the first entry (a self-extracting stub) go over unchanged.
  if (start > 0) {
    input.Seek(0, soFromBeginning);
    output.Seek(0, soFromBeginning);
    CopyEntryData(input, output, start);
  }
}

int64_t TLha::PrepareCopyEntry(TStream32&, TStream32& output, TCompEntry& e) {
  int64_t len = e.NewOffset;  // the entry's whole length, noted when it was read
  e.NewOffset = output.Seek(0, soFromEnd);
  return len;
}

void TLha::RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) {
  TLhaHeader h;
  if (ReadLhaHeaderAt(input, e.OldOffset, input.GetSize(), h) != 0) RaiseError(e.Name, L"", L"0", zevBadFileHeader);
  std::string raw = StoredBytes(e.Name);
  char method[6] = {};
  std::memcpy(method, h.Method, 5);
  // The new name goes into a level-0 header whatever the entry's level was; the data is the same.
  std::string header = raw.empty() ? std::string()
                                   : MakeLhaLevel0Header(method, h.PackedSize, h.OrigSize, h.DosTime, h.Attr, raw, h.Crc);
  if (header.empty()) RaiseError(e.Name, L"", L"0", zevInvalidFileName);
  e.RawName = raw;
  e.NewOffset = output.Seek(0, soFromEnd);
  output.WriteBuffer(header.data(), static_cast<int32_t>(header.size()));
  input.Seek(h.DataOffset, soFromBeginning);
  CopyEntryData(input, output, h.PackedSize);
}

bool TLha::CompressFile(TStream32& output, TCompEntry& e) {
  const std::wstring full = e.Name;
  const std::wstring stored = EntryName;
  bool folder = e.Attr & kAttrDirectory;
  std::string raw = StoredBytes(stored);
  if (raw.empty()) {
    DoError(full, L"", L"0", zevInvalidFileName);
    return false;
  }
  TLhaPacking packing = CompressMethod() == cmFrozen5   ? TLhaPacking::Lh5
                        : CompressMethod() == cmFrozen6 ? TLhaPacking::Lh6
                                                        : TLhaPacking::Store;
  if (StoreAlreadyCompressedFiles && IsAlreadyCompressedName(full)) packing = TLhaPacking::Store;
  TLhaWritten w;
  bool ok = WriteFormatEntry(output, e, packing != TLhaPacking::Store,
                             [&](TStream32* src, TStream32& scratch, const std::function<void(size_t)>& progress) {
                               return WriteLhaEntry(src, output, scratch, raw, folder, e.DosDate,
                                                    static_cast<uint8_t>(e.Attr), packing, w, progress);
                             });
  if (!ok) return false;
  e.RawName = folder && raw.back() != '\\' ? raw + '\\' : raw;
  e.Name = stored;
  NoteKept(e, w.PackedSize, w.OrigSize, e.DosDate, static_cast<uint8_t>(e.Attr));
  // The data is written from what was read: the CRC the header records is the one computed.
  if (OnEnd) OnEnd(this, stored, true);
  return true;
}

bool TLha::WriteDirectory(TStream32& output) {
  // The end mark: a header size of 0.
  WriteEmptyEndRecord(output);
  return true;
}

void TLha::WriteEmptyEndRecord(TStream32& output) {
  uint8_t zero = 0;
  output.Seek(0, soFromEnd);
  output.WriteBuffer(&zero, 1);
}
