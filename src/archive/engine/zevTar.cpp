#include "archive/engine/zevTar.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevDetect.h"
#include "archive/engine/zevGZip.h"
#include "archive/engine/zevUnTar.h"

namespace {
constexpr int64_t kBlock = 512, kRecord = 10240;
constexpr size_t kNameField = 100;

int64_t RoundUp(int64_t n) { return (n + kBlock - 1) / kBlock * kBlock; }

void PutOctal(uint8_t* block, size_t offset, int width, uint64_t value) {
  IntToOctal(value, width, true, reinterpret_cast<char*>(block + offset));
}

void PutText(uint8_t* block, size_t offset, size_t width, const std::string& text) {
  std::memcpy(block + offset, text.data(), std::min(width, text.size()));
}

void Zeros(TStream32& out, int64_t n) {
  static const uint8_t zero[kBlock] = {};
  while (n > 0) {
    int32_t k = static_cast<int32_t>(std::min<int64_t>(n, kBlock));
    out.WriteBuffer(zero, k);
    n -= k;
  }
}

// The TAR of a ".TGZ", compressed as it is written into the file that replaces the ".TGZ".
// A member that fails part way is taken back as from a plain TAR.
class TTgzOutput : public TzevTempOutput {
 public:
  TTgzOutput(std::unique_ptr<TzevTempOutput> file, const std::string& name, uint32_t mtime, TDeflateType effort)
      : FFile(std::move(file)), FGz(*FFile, name, mtime, effort) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* b, int32_t c) override { return FGz.Write(b, c); }
  int64_t Seek(int64_t o, TSeekOrigin32 origin) override { return FGz.Seek(o, origin); }
  void SetSize(int64_t n) override { FGz.SetSize(n); }
  int Commit() override {
    try {
      FGz.Finish();
    } catch (const EzevException&) {
      FFile->Discard();
      return zevWriteError;
    }
    return FFile->Commit();
  }
  void Discard() override { FFile->Discard(); }
  void Mark() { FGz.Mark(); }

 private:
  std::unique_ptr<TzevTempOutput> FFile;
  TGzMemberStream FGz;
};

void WriteAll(TStream32& out, const std::string& s) {
  if (!s.empty() && out.Write(s.data(), static_cast<int32_t>(s.size())) != static_cast<int32_t>(s.size()))
    throw E_RAISE(zevWriteError);
}
}  // namespace

void SetTarChecksum(uint8_t* block) {
  std::memset(block + 148, ' ', 8);
  uint32_t sum = 0;
  for (int i = 0; i < kBlock; ++i) sum += block[i];
  PutOctal(block, 148, 8, sum);
}

bool MakeTarHeaders(const TTarMember& m, std::string& out) {
  out.clear();
  std::string name = m.Name;
  if (m.Folder && (name.empty() || name.back() != '/')) name += '/';
  if (name.empty() || name == "/") return false;
  uint8_t h[kBlock];
  auto fill = [&](const std::string& field, char type, uint64_t size, const char* mode) {
    std::memset(h, 0, sizeof h);
    PutText(h, 0, kNameField, field);
    PutText(h, 100, 8, mode);
    PutOctal(h, 108, 8, m.Uid);
    PutOctal(h, 116, 8, m.Gid);
    PutOctal(h, 124, 12, size);
    PutOctal(h, 136, 12, m.MTime);
    h[156] = static_cast<uint8_t>(type);
    std::memcpy(h + 257, "ustar  ", 8);
    PutText(h, 265, 32, m.UName);
    PutText(h, 297, 32, m.GName);
    SetTarChecksum(h);
    out.append(reinterpret_cast<const char*>(h), kBlock);
  };
  if (name.size() > kNameField) {
    // The whole name goes into a long-name record that readers put in place of the next
    // header's cut name.
    fill("././@LongLink", 'L', name.size() + 1, "0000644");
    std::string data = name;
    data.resize(static_cast<size_t>(RoundUp(static_cast<int64_t>(name.size()) + 1)), '\0');
    out += data;
  }
  fill(name.substr(0, kNameField), m.Folder ? '5' : '0', m.Folder ? 0 : m.Size, m.Folder ? "0040555" : "0100444");
  return true;
}

TTar::TTar(TComponent* owner) : TCompBase(owner) {
  FClassExt = L".TAR";
  FDefaultExt = L".tar";
  FArcType = atTar;
  EncryptHeaders = false;
  FAllowedMethods = (1u << cmTarred) | (1u << cmGzipTar);
  FCompressMethod = cmTarred;
}

std::string TTar::StoredBytes(const std::wstring& name, bool folder) const {
  // Names in an archive are relative: no drive, share or root.
  std::wstring rel = TZipCommon::SafeRelativeName(name);
  if (rel.empty()) return {};
  std::string out = StoredFormName(rel, TranslateOemChar);
  if (folder) out += '/';
  return out;
}

TTarMember TTar::Member(const std::string& name, bool folder, uint64_t size, int32_t dosDate) const {
  TTarMember m;
  m.Name = name;
  m.Folder = folder;
  m.Size = size;
  m.MTime = static_cast<uint64_t>(DateTimeToUnix(ConvertDate(dosDate)));
  m.Uid = UnixUID;
  m.Gid = UnixGID;
  m.UName = UnixUName.substr(0, 32);
  m.GName = UnixGName.substr(0, 32);
  return m;
}

void TTar::ReadDirectory(TStream32& input, TzevTempOutput&) {
  int64_t size = input.GetSize();
  int64_t end = 0;
  int rc = WalkTarHeaders(
      input, size,
      [&](const TTarHeader& h) {
        TCompEntry e;
        e.RawName = h.Name;
        e.Name = FixStoredName(h.Name, TranslateOemChar);
        e.OldOffset = h.HeadOffset;
        // The member's records and data, padding included, go over when it is kept.
        e.NewOffset = h.NextOffset - h.HeadOffset;
        e.Size = static_cast<uint32_t>(std::min<int64_t>(h.PackedSize, 0xFFFFFFFF));
        NoteKept(e, e.Size, e.Size, h.DosTime, h.IsFolder ? kAttrDirectory : kAttrArchive);
        e.Attr = h.IsFolder ? kAttrDirectory : kAttrArchive;
        e.DosDate = h.DosTime;
        e.Action = 1;
        if (Switch == swDelete && MatchesSpec(e.Name)) {
          e.Action = 2;
          ++FilesDeleted;
        }
        FList.push_back(std::move(e));
        return !GetCancel();
      },
      &end);
  // Where the walk stopped only zero blocks may follow: anything else is a damaged member,
  // and the update would drop it and all behind it.
  bool damaged = rc != 0;
  std::vector<uint8_t> rest(kBlock);
  for (int64_t pos = end; !damaged && pos < size; pos += kBlock) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(kBlock, size - pos));
    input.Seek(pos, soFromBeginning);
    if (input.Read(rest.data(), n) != n) {
      damaged = true;
      break;
    }
    damaged = std::any_of(rest.begin(), rest.begin() + n, [](uint8_t b) { return b != 0; });
  }
  if (damaged) RaiseError(FArchiveFile, L"", L"0", FList.empty() && rc == 0 ? zevInvalidArcType : zevBadFileHeader);
}

int64_t TTar::PrepareCopyEntry(TStream32&, TStream32& output, TCompEntry& e) {
  int64_t len = e.NewOffset;  // the member's whole length, noted when it was read
  e.NewOffset = output.Seek(0, soFromEnd);
  return len;
}

void TTar::RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) {
  // The member's own header is the last of its records before the data.
  TTarHeader found;
  bool ok = false;
  TStream32& in = input;
  int64_t size = in.GetSize();
  WalkTarHeaders(in, size, [&](const TTarHeader& h) {
    if (h.HeadOffset != e.OldOffset) return true;
    found = h;
    ok = true;
    return false;
  });
  if (!ok) RaiseError(e.Name, L"", L"0", zevBadFileHeader);
  uint8_t h[kBlock];
  in.Seek(found.Offset, soFromBeginning);
  in.ReadBuffer(h, kBlock);
  std::string raw = StoredBytes(e.Name, found.IsFolder);
  if (raw.empty()) RaiseError(e.Name, L"", L"0", zevInvalidFileName);
  std::string headers;
  TTarMember m = Member(raw, found.IsFolder, static_cast<uint64_t>(found.PackedSize), found.DosTime);
  MakeTarHeaders(m, headers);
  // The kept header's own fields (mode, owner, type, link) stay; only the name changes.
  uint8_t* mine = reinterpret_cast<uint8_t*>(headers.data()) + headers.size() - kBlock;
  std::memcpy(h, mine, kNameField);
  std::memset(h + 345, 0, 155);  // a ustar prefix would be put before the new name
  SetTarChecksum(h);
  std::memcpy(mine, h, kBlock);
  e.RawName = raw;
  e.NewOffset = output.Seek(0, soFromEnd);
  WriteAll(output, headers);
  in.Seek(found.DataOffset, soFromBeginning);
  CopyEntryData(in, output, found.NextOffset - found.DataOffset);
}

bool TTar::CompressFile(TStream32& output, TCompEntry& e) {
  const std::wstring full = e.Name;
  const std::wstring stored = EntryName;
  bool folder = e.Attr & kAttrDirectory;
  std::string raw = StoredBytes(stored, folder);
  if (raw.empty()) {
    DoError(full, L"", L"0", zevInvalidFileName);
    return false;
  }
  std::unique_ptr<TStream32> src;
  int64_t size = 0;
  int32_t date = EntryDate(e.DosDate);
  if (!OpenSource(e, src, size)) return false;
  std::string headers;
  MakeTarHeaders(Member(raw, folder, static_cast<uint64_t>(size), date), headers);
  if (auto* tgz = dynamic_cast<TTgzOutput*>(&output)) tgz->Mark();
  int64_t start = output.Seek(0, soFromEnd);
  try {
    WriteAll(output, headers);
    if (src) {
      Crc32Register = 0xFFFFFFFF;
      std::vector<uint8_t> buf(65536);
      int64_t done = 0;
      while (done < size) {
        int32_t want = static_cast<int32_t>(std::min<int64_t>(size - done, static_cast<int64_t>(buf.size())));
        int32_t n = ReadBuf(src.get(), buf.data(), want, 32, false);
        if (n <= 0) break;
        if (output.Write(buf.data(), n) != n) throw E_RAISE(zevWriteError);
        done += n;
        DoProgress(static_cast<double>(done), static_cast<double>(size), BytesLeft - done, BytesTotal);
        if (GetCancel()) RaiseError(full, L"", L"0", zevUserCanceled);
      }
      // A file that shrank while it was read would leave the header's size a lie.
      if (done != size) RaiseError(full, L"", L"0", zevReadError);
      Zeros(output, RoundUp(size) - size);
    }
  } catch (...) {
    // Members follow one another: a partly written one must not stay in front of the next.
    output.SetSize(start);
    output.Seek(start, soFromBeginning);
    throw;
  }
  BytesLeft -= static_cast<double>(size);
  e.NewOffset = start;
  e.RawName = raw;
  e.Name = stored;
  e.Size = static_cast<uint32_t>(size);
  e.DosDate = date;
  if (OnEnd) OnEnd(this, stored, true);
  return true;
}

bool TTar::WriteDirectory(TStream32& output) {
  // Two zero blocks end the archive; the last record is filled up with zeros.
  int64_t end = output.Seek(0, soFromEnd) + 2 * kBlock;
  Zeros(output, 2 * kBlock + (kRecord - end % kRecord) % kRecord);
  return true;
}

void TTar::WriteEmptyEndRecord(TStream32& output) {
  output.Seek(0, soFromEnd);
  WriteDirectory(output);
}

void TTar::ReportNewEntries() {
  if (!OnRead) return;
  int n = 0;
  for (const auto& e : FList) {
    if (e.Action == 2) continue;
    ReadInfo = TCompEntryInfo{};
    ReadInfo.Name = e.Name;
    ReadInfo.MethodText = L"Tarred";
    ReadInfo.DosDate = e.DosDate;
    ReadInfo.Size = ReadInfo.Packed = e.Size;
    ReadInfo.Attr = kAttrArchive;
    OnRead(this, static_cast<int>(std::min<int64_t>(e.NewOffset, 0x7FFFFFFF)), ++n);
  }
}

std::unique_ptr<TzevTempOutput> TTar::CreateOutput() {
  FTgzName.clear();
  if (CompressMethod() != cmGzipTar) return TCompBase::CreateOutput();
  std::wstring tgz = ReplaceExtension(FArchiveFile, L".TGZ");
  if (!SameTextNoCase(tgz, FArchiveFile) && FileSys->FileExists(tgz)) {
    // The client asked for this name: an older file of it is replaced unless it says no;
    // then (or when it cannot be written) the run leaves a plain TAR, as a failed GZIP step
    // would.
    if (OnFileExists) {
      TOverwriteMode mode = omOverwrite;
      OnFileExists(this, tgz, ConvertDate(FileSys->NowDos()), mode);
      if (mode != omOverwrite) return TCompBase::CreateOutput();
    }
    if (!CheckWriteable(tgz)) return TCompBase::CreateOutput();
  }
  auto file = FileSys->CreateReplacement(tgz, GetTempDir(), doFinal);
  if (!file) return nullptr;
  uint32_t mtime = static_cast<uint32_t>(DateTimeToUnix(ConvertDate(FileSys->NowDos())));
  auto out = std::make_unique<TTgzOutput>(std::move(file), StoredFormName(FileNameOf(FArchiveFile), TranslateOemChar),
                                          mtime, DeflateType);
  FTgzName = tgz;
  return out;
}

void TTar::AfterReplace() {
  if (FTgzName.empty()) return;
  // The ".TGZ" holds the archive now: a TAR it was updated from goes.
  if (!FNewArchive && !SameTextNoCase(FTgzName, FArchiveFile)) FileSys->RemoveFile(FArchiveFile, doFinal);
  FArchiveFile = FTgzName;
  FTgzName.clear();
}
