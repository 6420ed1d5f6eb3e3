#include "archive/engine/zevUnZip.h"

#include <algorithm>
#include <cstring>

#include "archive/engine/zevDetect.h"
#include "archive/engine/zevZipDecoders.h"
#include "foundation/TextCodec.h"

namespace {
constexpr size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22;

bool IsVolumeExtension(const std::wstring& name) {
  size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || name.size() - dot != 4) return false;
  wchar_t z = name[dot + 1];
  return (z == L'z' || z == L'Z') && iswdigit(name[dot + 2]) && iswdigit(name[dot + 3]);
}

bool Supported(uint16_t method) { return method <= 6 || method == 8; }
}  // namespace

// ---- TJoinedStream ----

void TJoinedStream::AddPart(std::unique_ptr<TStream32> part) {
  FStarts.push_back(FSize);
  FSize += part->GetSize();
  FParts.push_back(std::move(part));
}

int32_t TJoinedStream::Read(void* buffer, int32_t count) {
  int32_t done = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (done < count && FPos < FSize) {
    size_t i = static_cast<size_t>(std::upper_bound(FStarts.begin(), FStarts.end(), FPos) - FStarts.begin()) - 1;
    int64_t inPart = FPos - FStarts[i];
    int64_t partSize = PartStart(i + 1) - FStarts[i];
    int32_t want = static_cast<int32_t>(std::min<int64_t>(count - done, partSize - inPart));
    if (want <= 0) break;
    FParts[i]->Seek(inPart, soFromBeginning);
    int32_t got = FParts[i]->Read(p + done, want);
    if (got <= 0) break;
    done += got;
    FPos += got;
  }
  return done;
}

int64_t TJoinedStream::Seek(int64_t offset, TSeekOrigin32 origin) {
  int64_t base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? FPos : FSize;
  if (base + offset >= 0) FPos = base + offset;
  return FPos;
}

// ---- TDiskSwapStream ----

TDiskSwapStream::TDiskSwapStream(TUnBase& reader, uint32_t disks, uint32_t currentDisk,
                                 std::unique_ptr<TStream32> current)
    : FReader(reader), FDisks(disks), FCurrent(currentDisk), FFile(std::move(current)), FSizes(disks, -1) {
  if (FFile && FCurrent < FDisks) FSizes[FCurrent] = FFile->GetSize();
}

bool TDiskSwapStream::IsWanted(uint32_t disk, int64_t offset) {
  TzevFileSys& fs = *FReader.FileSys;
  if (!fs.FileExists(FReader.ArchiveFile())) return false;
  // The label a spanned disk was given names it; a disk without one is known by its data.
  FReader.DiskManager.CheckDrive(FReader.ArchiveFile());
  if (FReader.DiskManager.DiskNumber >= 1) return FReader.DiskManager.DiskNumber == disk + 1;
  auto f = fs.OpenRead(FReader.ArchiveFile());
  uint8_t sig[4];
  if (!f || !ReadAt(*f, offset, sig, 4)) return false;
  uint32_t v = GetLE32(sig);
  return v == HeaderSignature(3, false) || IsLocalSignature(v) || IsCentralSignature(v) || v == 0x06054B50u;
}

bool TDiskSwapStream::Ensure(uint32_t disk, int64_t offset) {
  if (FFailed || disk >= FDisks) return false;
  if (disk == FCurrent && FFile) return true;
  FFile.reset();
  bool last = disk + 1 == FDisks;
  const wchar_t* event = last ? L"OnGetZipLastDisk" : disk == 0 ? L"OnGetZipFirstDisk" : L"OnGetZipNextDisk";
  bool assigned = last ? static_cast<bool>(FReader.OnGetZipLastDisk)
                       : disk == 0 ? static_cast<bool>(FReader.OnGetZipFirstDisk)
                                   : static_cast<bool>(FReader.OnGetZipNextDisk);
  if (!assigned) {
    FReader.DoError(FReader.ArchiveFile(), event, std::to_wstring(disk + 1), zevEventNotAssigned);
    FFailed = true;
    return false;
  }
  for (;;) {
    bool cancel = true;
    if (last)
      FReader.OnGetZipLastDisk(&FReader, cancel);
    else if (disk == 0)
      FReader.OnGetZipFirstDisk(&FReader, cancel);
    else
      FReader.OnGetZipNextDisk(&FReader, std::to_wstring(disk + 1), cancel);
    if (cancel) {
      FFailed = true;
      FReader.SetCancel(true);
      return false;
    }
    if (IsWanted(disk, offset)) break;
  }
  FFile = FReader.FileSys->OpenRead(FReader.ArchiveFile());
  if (!FFile) {
    FReader.DoError(FReader.ArchiveFile(), L"", std::to_wstring(disk + 1), zevReadError);
    FFailed = true;
    return false;
  }
  FCurrent = disk;
  FSizes[disk] = FFile->GetSize();
  return true;
}

int32_t TDiskSwapStream::Read(void* buffer, int32_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count && !FFailed) {
    uint32_t disk = static_cast<uint32_t>(FPos / kDiskStride);
    int64_t offset = FPos % kDiskStride;
    // An offset past the end of a disk whose length is known lies on the next one.
    if (disk < FDisks && FSizes[disk] >= 0 && offset >= FSizes[disk]) {
      if (disk + 1 >= FDisks) break;
      FPos = static_cast<int64_t>(disk + 1) * kDiskStride + (offset - FSizes[disk]);
      continue;
    }
    if (!Ensure(disk, offset)) break;
    FFile->Seek(offset, soFromBeginning);
    int32_t got = FFile->Read(p + done, count - done);
    if (got <= 0) {
      if (disk + 1 >= FDisks) break;
      FSizes[disk] = offset;  // the disk ends here
      continue;
    }
    done += got;
    FPos += got;
  }
  return done;
}

int64_t TDiskSwapStream::Seek(int64_t offset, TSeekOrigin32 origin) {
  int64_t base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? FPos : FDisks * kDiskStride;
  if (base + offset >= 0) FPos = base + offset;
  return FPos;
}

// ---- TUnZip ----

std::wstring TUnZip::DecodeName(const std::string& raw, uint16_t flags) const {
  if (flags & 0x800) return SlashToBackslash(Utf8ToWide(raw));
  return FixStoredName(raw, TranslateOemChar);
}

bool TUnZip::IsFolderEntry(const TDirEntry& e) const {
  // A name ending in a separator has no file part: it can only be a folder.
  return (e.ExtAttr & kAttrDirectory) || (!e.Name.empty() && e.Name.back() == L'\\');
}

bool TUnJar::IsFolderEntry(const TDirEntry& e) const {
  return (!e.Name.empty() && e.Name.back() == L'\\') || (e.ExtAttr & kAttrDirectory);
}

bool TUnZip::CheckPassword(uint8_t* header) {
  std::string pw = PasswordBytes();
  return ZipCheckEncryptHeader(header, FFlags, FCrc, pw, FTime);
}

void TUnZip::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  FDir.clear();
  FSet.reset();
  FShift = 0;
  TStream32* src = archive;
  TDetectResult end;
  ZipEndSearch(*archive, end);
  const std::wstring name = ArchiveFile();
  if (!(end.ZipFound & htEnding) && OnGetZipLastDisk && !IsVolumeExtension(name)) {
    // The first disk of a spanned set begins with the spanning marker: the set is read from
    // its last disk, which holds the directory.
    uint8_t sig[4];
    if (ReadAt(*archive, 0, sig, 4) && GetLE32(sig) == HeaderSignature(3, false)) {
      Archive.reset();
      archive = nullptr;
      for (;;) {
        bool cancel = true;
        OnGetZipLastDisk(this, cancel);
        if (cancel) return;
        auto f = FileSys->OpenRead(name);
        if (!f) continue;
        end = TDetectResult{};
        ZipEndSearch(*f, end);
        if ((end.ZipFound & htEnding) && GetLE16(end.End + 4) != 0) {
          Archive = std::move(f);
          archive = Archive.get();
          break;
        }
      }
      src = archive;
    }
  }
  // A split set: the volumes NAME.z01 ... and NAME.zip, read as one.
  bool split = ArcType() == atZipMV || IsVolumeExtension(name) || ((end.ZipFound & htEnding) && GetLE16(end.End + 4) != 0);
  bool swap = false;
  if (split && !IsVolumeExtension(name) && (end.ZipFound & htEnding) && GetLE16(end.End + 4) != 0) {
    // No NAME.z01 beside it: the other volumes are disks of the same name.
    std::wstring stem = name.substr(0, name.rfind(L'.'));
    swap = !FileSys->FileExists(stem + L".z01") && !FileSys->FileExists(stem + L".Z01");
  }
  if (swap) {
    uint32_t disks = GetLE16(end.End + 4) + 1u;
    FSet = std::make_unique<TDiskSwapStream>(*this, disks, disks - 1, std::move(Archive));
    src = FSet.get();
    end.EndPos += static_cast<int64_t>(disks - 1) * TDiskSwapStream::kDiskStride;
  } else if (split) {
    std::wstring stem = name.substr(0, name.rfind(L'.'));
    std::wstring last = IsVolumeExtension(name) ? stem + L".zip" : name;
    auto lastStream = FileSys->OpenRead(last);
    if (!lastStream) {
      DoError(last, L"", L"0", zevBrokenChain);
      return;
    }
    end = TDetectResult{};
    ZipEndSearch(*lastStream, end);
    if (!(end.ZipFound & htEnding)) {
      DoError(last, L"", L"0", zevBrokenChain);
      return;
    }
    uint16_t disks = static_cast<uint16_t>(GetLE16(end.End + 4) + 1);
    auto joined = std::make_unique<TJoinedStream>();
    for (uint16_t d = 1; d < disks; ++d) {
      wchar_t ext[16];
      swprintf(ext, 16, L".z%02u", static_cast<unsigned>(d));
      auto part = FileSys->OpenRead(stem + ext);
      if (!part) {
        DoError(stem + ext, L"", std::to_wstring(d), zevBrokenChain);
        return;
      }
      joined->AddPart(std::move(part));
    }
    joined->AddPart(std::move(lastStream));
    src = joined.get();
    FSet = std::move(joined);
    end.EndPos += static_cast<TJoinedStream*>(FSet.get())->PartStart(disks - 1u);
  } else if (end.ZipFound & htEnding) {
    // Offsets of an archive behind a stub it was not told of are short by the stub's length.
    int64_t cdOffset = GetLE32(end.End + 16), cdSize = GetLE32(end.End + 12);
    FShift = std::max<int64_t>(0, end.EndPos - cdOffset - cdSize);
  }
  std::memcpy(EndRecord, end.End, kEndSize);
  EndRecordPos = end.EndPos;
  if (end.ZipFound & htEnding) {
    if (ReadCentralDirectory(src) > 0) {
      ExtractList(src, true);
      return;
    }
    // A directory that was read but named nothing wanted is not damage.
    if (FCentralSeen > 0 || GetCancel()) return;
  }
  if (ReadLocalDirectory(src) > 0) ExtractList(src, false);
}

int TUnZip::ReadCentralDirectory(TStream32* archive) {
  Timer.Pause();
  FDir.clear();
  auto* joined = dynamic_cast<TJoinedStream*>(FSet.get());
  bool swap = dynamic_cast<TDiskSwapStream*>(FSet.get()) != nullptr;
  auto globalOffset = [&](uint32_t disk, uint32_t offset) -> int64_t {
    int64_t base = joined ? joined->PartStart(disk) : swap ? disk * TDiskSwapStream::kDiskStride : FShift;
    return base + offset;
  };
  int64_t pos = globalOffset(GetLE16(EndRecord + 6), GetLE32(EndRecord + 16));
  uint32_t total = GetLE16(EndRecord + 10);
  int64_t size = archive->Seek(0, soFromEnd);
  double packedTotal = 0;
  uint8_t h[kCentralSize];
  FCentralSeen = 0;
  // At most as many headers as the end record names (when it names any), and never past the
  // end of the data.
  for (uint32_t n = 0; (total == 0 || n < total) && !GetCancel(); ++n) {
    if (!ReadAt(*archive, pos, h, kCentralSize) || !IsCentralSignature(GetLE32(h))) break;
    bool encHeaders = IsEncryptedSignature(GetLE32(h));
    if (encHeaders) {
      ZipLoadHeaderKeys();
      ZipDecryptBuffer(h + 4, kCentralSize - 4);
    }
    uint16_t nameLen = GetLE16(h + 28), extraLen = GetLE16(h + 30), commentLen = GetLE16(h + 32);
    TDirEntry e;
    e.RawName.resize(nameLen);
    if (nameLen && !ReadAt(*archive, pos + kCentralSize, e.RawName.data(), nameLen)) break;
    if (encHeaders) ZipDecryptBuffer(e.RawName.data(), nameLen);
    e.Name = DecodeName(e.RawName, GetLE16(h + 8));
    e.Disk = GetLE16(h + 34) + 1u;
    e.LocalOffset = globalOffset(e.Disk - 1, GetLE32(h + 42));
    e.ExtAttr = GetLE32(h + 38);
    e.HasCentral = true;
    std::memcpy(e.Central, h, kCentralSize);
    pos += static_cast<int64_t>(kCentralSize) + nameLen + extraLen + commentLen;
    ++FCentralSeen;
    if (e.Name.empty() || !MatchesSpec(e.Name)) continue;
    uint8_t loc[4];
    // An entry whose local header is not where the directory says is damaged: left out. (On
    // disks that are swapped in turn it is checked when its disk is in.)
    if (!swap &&
        (e.LocalOffset >= size || !ReadAt(*archive, e.LocalOffset, loc, 4) || !IsLocalSignature(GetLE32(loc))))
      continue;
    NoteDate(static_cast<int32_t>(GetLE32(h + 12)));
    uint32_t packed = GetLE32(h + 20);
    packedTotal += (GetLE16(h + 8) & 1) && packed >= 12 ? packed - 12 : packed;
    FDir.push_back(std::move(e));
  }
  BytesTotal = BytesLeft = packedTotal;
  Timer.Resume();
  return static_cast<int>(FDir.size());
}

int TUnZip::ReadLocalDirectory(TStream32* archive) {
  Timer.Pause();
  FDir.clear();
  if (OnCorruptZipHeader) {
    bool cancel = true;
    OnCorruptZipHeader(this, ZipFound, cancel);
    if (cancel) {
      Timer.Resume();
      return 0;
    }
  }
  int64_t pos = (ZipFound & htLocal) && ArcType() != atZip && ArcType() != atJar && StartOffset > 1 ? StartOffset : 0;
  int64_t size = archive->GetSize();
  uint8_t h[kLocalSize];
  if (!ReadAt(*archive, pos, h, kLocalSize)) pos = 0;
  if (ReadAt(*archive, pos, h, 4) && GetLE32(h) == HeaderSignature(3, false)) pos += 4;
  // Find the first local header when the start is not one (a stub before it).
  if (!ReadAt(*archive, pos, h, 4) || !IsLocalSignature(GetLE32(h))) {
    std::vector<uint8_t> buf(65536);
    int64_t found = -1;
    for (int64_t at = 0; at < size && found < 0 && at < (int64_t(8) << 20); at += 65536 - 3) {
      int32_t want = static_cast<int32_t>(std::min<int64_t>(65536, size - at));
      if (!ReadAt(*archive, at, buf.data(), want)) break;
      for (int32_t i = 0; i + 4 <= want; ++i)
        if (buf[static_cast<size_t>(i)] == 'P' && IsLocalSignature(GetLE32(&buf[static_cast<size_t>(i)]))) {
          found = at + i;
          break;
        }
    }
    if (found < 0) {
      Timer.Resume();
      return 0;
    }
    pos = found;
  }
  double packedTotal = 0;
  while (!GetCancel() && ReadAt(*archive, pos, h, kLocalSize) && IsLocalSignature(GetLE32(h))) {
    bool encHeaders = IsEncryptedSignature(GetLE32(h));
    if (encHeaders) {
      ZipLoadHeaderKeys();
      ZipDecryptBuffer(h + 4, kLocalSize - 4);
    }
    uint16_t flags = GetLE16(h + 6), nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
    uint32_t packed = GetLE32(h + 18);
    TDirEntry e;
    e.RawName.resize(nameLen);
    if (nameLen && !ReadAt(*archive, pos + kLocalSize, e.RawName.data(), nameLen)) break;
    if (encHeaders) ZipDecryptBuffer(e.RawName.data(), nameLen);
    e.Name = DecodeName(e.RawName, flags);
    e.LocalOffset = pos;
    // The local header holds no attributes: a name ending in a separator is a folder.
    e.ExtAttr = !e.Name.empty() && e.Name.back() == L'\\' ? kAttrDirectory : kAttrArchive;
    if (!e.Name.empty() && MatchesSpec(e.Name)) {
      NoteDate(static_cast<int32_t>(GetLE32(h + 10)));
      packedTotal += (flags & 1) && packed >= 12 ? packed - 12 : packed;
      FDir.push_back(std::move(e));
    }
    // Sizes behind the data cannot be followed here: the walk ends.
    if ((flags & 8) && packed == 0) break;
    int64_t next = pos + static_cast<int64_t>(kLocalSize) + nameLen + extraLen + packed;
    if (next <= pos || next > size) break;
    pos = next;
  }
  BytesTotal = BytesLeft = packedTotal;
  Timer.Resume();
  return static_cast<int>(FDir.size());
}

void TUnZip::ExtractList(TStream32* archive, bool fromCentral) {
  for (const auto& e : FDir) {
    if (GetCancel()) break;
    try {
      ExtractEntry(archive, e, fromCentral);
    } catch (const E_RAISE& x) {
      // A write that failed ends the run; other errors end this entry only.
      if (x.ECode == zevWriteError || x.ECode == zevUserCanceled || GetCancel()) throw;
    }
  }
}

void TUnZip::ExtractEntry(TStream32* archive, const TDirEntry& entry, bool fromCentral) {
  uint8_t loc[kLocalSize];
  if (!ReadAt(*archive, entry.LocalOffset, loc, kLocalSize) || !IsLocalSignature(GetLE32(loc))) {
    DoError(entry.Name, L"", L"0", zevBadFileHeader);
    return;
  }
  if (IsEncryptedSignature(GetLE32(loc))) {
    ZipLoadHeaderKeys();
    ZipDecryptBuffer(loc + 4, kLocalSize - 4);
  }
  const uint8_t* h = fromCentral ? entry.Central + 4 : loc + 2;  // both at "version needed" - 2
  // Central: flag at 8, method 10, time 12, date 14, crc 16, packed 20, size 24.
  // Local: flag at 6, method 8, time 10, date 12, crc 14, packed 18, size 22.
  FFlags = GetLE16(h + 4);
  FMethod = GetLE16(h + 6);
  FTime = GetLE16(h + 8);
  FDosDate = static_cast<int32_t>(GetLE32(h + 8));
  FCrc = GetLE32(h + 12);
  uint32_t packed = GetLE32(h + 16), size = GetLE32(h + 20);
  FPacked = packed;
  FUnpacked = size;
  int64_t dataPos = entry.LocalOffset + static_cast<int64_t>(kLocalSize) + GetLE16(loc + 26) + GetLE16(loc + 28);
  StoredName = entry.Name;
  bool folder = IsFolderEntry(entry);
  if (IsWriteMode()) {
    if (!SetEntryName(entry.Name)) return;
  } else {
    EntryName = entry.Name;
  }
  // What cannot be read is decided before anything is opened or asked.
  if (packed == 0xFFFFFFFFu || size == 0xFFFFFFFFu) {
    DoError(EntryName, L"4 GiB", L"0", zevUnsupportedMethod);
    return;
  }
  if (!folder && !Supported(FMethod)) {
    DoError(EntryName, L"", L"0", zevUnsupportedMethod);
    return;
  }
  bool encrypted = (FFlags & 1) != 0;
  archive->Seek(dataPos, soFromBeginning);
  if (encrypted && !folder) {
    if (NoPasswordFound || !GetEntryPassword(archive)) {
      NoPasswordFound = true;
      return;
    }
  }
  if (!DoBeginEntry(false)) return;
  if (folder) {
    if (IsWriteMode() && CreateStoredDirs) FileSys->ForceDirs(EntryName);
    Crc32Register = 0xFFFFFFFF;
    return;
  }
  std::unique_ptr<TStream32> out;
  if (!OpenOutput(out, StoredName, EntryName)) return;
  std::wstring outName = EntryName;
  int err = DecodeEntry(archive, out.get());
  if (err) {
    DoError(outName, L"", L"0", err);
    DiscardOutput(out, outName);
    return;
  }
  CloseOutputFile(out, entry.HasCentral ? entry.ExtAttr : kAttrArchive, FDosDate, outName);
  EntryName = outName;
  CheckCRC(32, FCrc);
}

int TUnZip::DecodeEntry(TStream32* archive, TStream32* out) {
  Crc32Register = 0xFFFFFFFF;
  bool encrypted = (FFlags & 1) != 0;
  int64_t packed = FPacked - (encrypted ? 12 : 0);
  if (packed < 0) return zevCorruptInput;
  int64_t produced = 0;
  auto sink = [&](const uint8_t* data, int32_t n) {
    WriteBuf(out, data, true, n, 32);
    produced += n;
    BytesLeft -= 0;  // packed bytes are counted as they are read
    DoProgress(static_cast<double>(produced), static_cast<double>(FUnpacked), BytesLeft, BytesTotal);
  };
  int64_t inLeft = packed;
  TDecodeSource source = [&](uint8_t* buf, int32_t count) -> int32_t {
    if (GetCancel() || inLeft <= 0) return 0;
    int32_t want = static_cast<int32_t>(std::min<int64_t>(count, inLeft));
    int32_t got = ReadBuf(archive, buf, want, 0, encrypted);
    inLeft -= got;
    BytesLeft -= got;
    return got;
  };
  switch (FMethod) {
    case 0: {
      TUnEntryInfo info{FFlags, packed};
      int64_t left = ExtractStored(archive, out, info, 32);
      return left ? zevReadError : 0;
    }
    case 1:
      return UnShrink(source, sink, FUnpacked);
    case 2:
    case 3:
    case 4:
    case 5:
      return UnReduce(source, sink, FUnpacked, FMethod - 1);
    case 6:
      return Explode(source, sink, FUnpacked, FFlags);
    case 8: {
      int64_t start = archive->Seek(0, soFromCurrent);
      TDecompressStream z(*archive, DeflateWindowBits, packed);
      z.Crypt = encrypted;
      std::vector<uint8_t> buf(32768);
      while (!GetCancel()) {
        int32_t n = z.Read(buf.data(), static_cast<int32_t>(buf.size()));
        if (n <= 0) break;
        if (produced + n > FUnpacked) n = static_cast<int32_t>(FUnpacked - produced);
        if (n > 0) sink(buf.data(), n);
        if (produced >= FUnpacked && z.Ended()) break;
        if (produced >= FUnpacked && n == 0) break;
      }
      BytesLeft -= static_cast<double>(z.BytesIn());
      (void)start;
      if (GetCancel()) return 0;
      if (z.ErrorCode()) return z.ErrorCode();
      return produced == FUnpacked ? 0 : zevReadError;
    }
    default:
      return zevUnsupportedMethod;
  }
}
