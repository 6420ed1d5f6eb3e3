#include "archive/engine/zevGZip.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevDetect.h"
#include "archive/engine/zevLhaFormat.h"

namespace {
constexpr int32_t kBlock = 65536;

std::wstring FileNameOf(const std::wstring& path) {
  size_t p = path.find_last_of(L"\\/:");
  return p == std::wstring::npos ? path : path.substr(p + 1);
}
std::wstring FolderOf(const std::wstring& path) {
  size_t p = path.find_last_of(L"\\/:");
  return p == std::wstring::npos ? std::wstring() : path.substr(0, p + 1);
}
}  // namespace

TGzMemberStream::TGzMemberStream(TStream32& dest, const std::string& name, uint32_t mtime, TDeflateType effort)
    : FDest(dest),
      FDeflate(TCompressStream::LevelOf(effort), -15,
               [this](const uint8_t* p, size_t n) { FDest.WriteBuffer(p, static_cast<int32_t>(n)); }) {
  // The name stands without its folder and ends at its first zero byte.
  std::string stored = name.substr(0, name.find('\0'));
  size_t sep = stored.find_last_of("/\\");
  if (sep != std::string::npos) stored.erase(0, sep + 1);
  uint8_t head[10] = {0x1F, 0x8B, 8, stored.empty() ? uint8_t(0) : uint8_t(0x08), 0, 0, 0, 0, 0, 0};
  PutLE32(head + 4, mtime);
  FDest.WriteBuffer(head, 10);
  if (!stored.empty()) FDest.WriteBuffer(stored.c_str(), static_cast<int32_t>(stored.size() + 1));
  FDataStart = FDest.Seek(0, soFromCurrent);
}

void TGzMemberStream::Mark() {
  FDeflate.Mark();
  FMark = FSize;
  FMarkCrc = FCrc;
}

int32_t TGzMemberStream::Write(const void* buffer, int32_t count) {
  if (FDeflate.Finished() || count <= 0) return 0;
  FCrc = UpdateCrc32(FCrc, static_cast<const uint8_t*>(buffer), static_cast<size_t>(count));
  FDeflate.Write(buffer, static_cast<size_t>(count));
  FSize += count;
  return count;
}

int64_t TGzMemberStream::Seek(int64_t offset, TSeekOrigin32 origin) {
  if ((origin != soFromBeginning && offset == 0) || (origin == soFromBeginning && offset == FSize)) return FSize;
  throw EStreamError("TGzMemberStream.Seek: only the end can be sought");
}

void TGzMemberStream::SetSize(int64_t newSize) {
  if (newSize == FSize) return;
  if (newSize != FMark || FDeflate.Finished()) throw EStreamError("TGzMemberStream.SetSize: not the marked position");
  int64_t keep = FDataStart + FDeflate.TakeBack();
  if (FDest.Seek(0, soFromEnd) != keep) {
    FDest.SetSize(keep);
    if (FDest.Seek(keep, soFromBeginning) != keep) throw EWriteError();
  }
  FCrc = FMarkCrc;
  FSize = FMark;
}

void TGzMemberStream::Finish() {
  if (FDeflate.Finished()) return;
  FDeflate.Finish();
  uint8_t tail[8];
  PutLE32(tail, Crc());
  PutLE32(tail + 4, static_cast<uint32_t>(FSize));
  FDest.WriteBuffer(tail, 8);
}

bool WriteGzMember(TStream32& src, TStream32& out, const std::string& name, uint32_t mtime, TDeflateType effort,
                   TGzWritten& w, const std::function<bool(int64_t)>& progress) {
  TGzMemberStream gz(out, name, mtime, effort);
  std::vector<uint8_t> buf(kBlock);
  for (;;) {
    int32_t n = src.Read(buf.data(), kBlock);
    if (n <= 0) break;
    gz.Write(buf.data(), n);
    // Whole blocks go to the compressor at once; nothing is taken back here.
    gz.Mark();
    if (progress && !progress(gz.Size())) return false;
  }
  gz.Finish();
  w.Crc = gz.Crc();
  w.Size = gz.Size();
  w.Packed = gz.Packed();
  return true;
}

TGZip::TGZip(TComponent* owner) : TCompBase(owner) {
  FClassExt = L".GZ";
  FDefaultExt = L".gz";
  FArcType = atGZip;
  DeleteOptions = doAllowUndo;
  DeflateType = dtDeflateN;
  FAllowedMethods = 1u << cmDeflate;
  FCompressMethod = cmDeflate;
  ConfirmOverwrites = true;
  Switch = swAdd;
}

std::wstring TGZip::OutputName(const std::wstring& source) const {
  std::wstring folder = FolderOf(FArchiveFile);
  std::wstring name = FileNameOf(source);
  switch (Extension) {
    case exUnderscore:
      if (!name.empty()) name.back() = L'_';
      return folder + name;
    case exUser:
      return FArchiveFile;
    default:
      return folder + name + FDefaultExt;
  }
}

int TGZip::UpdateArchive() {
  FilesAdded = FilesDeleted = Count = 0;
  FWritten = false;
  *FCancelPtr = 0;
  FRaisedCode = 0;
  ProgressProc = [this](uint8_t f, uint8_t a) { DefaultProgress(f, a); };
  if (FArchiveFile.empty() || FileSpec.Count() == 0) return 0;
  DiskManager.CheckDrive(FArchiveFile);
  if (DiskManager.WriteProtected) {
    DoError(FArchiveFile, L"", L"0", zevWriteProtected);
    return 0;
  }
  if (Switch == swDelete) {
    DoError(FArchiveFile, L"", L"0", zevInvalidArcType);
    return 0;
  }
  if (Switch == swRead) return 0;
  if (OnActivate) OnActivate(this);
  if (OnElapsedTime) Timer.Start();
  const bool confirm = ConfirmOverwrites;
  try {
    std::vector<TScannedFile> found = ScanSources();
    std::vector<std::wstring> outputs;
    for (size_t i = 0; i < found.size() && !GetCancel(); ++i) {
      FileSys->ProcessMessages();
      Count = static_cast<int32_t>(i + 1);
      SetEntryName(found[i].Path);
      bool process = true;
      if (OnBegin) OnBegin(this, EntryName, Count, process);
      if (!process) {
        if (OnEnd) OnEnd(this, EntryName, true);
        continue;
      }
      std::wstring output = OutputName(found[i].Path);
      // One GZIP file holds one file: a second file for the same output would replace the
      // first one's member, and a move would then delete a source that is nowhere.
      bool taken = std::any_of(outputs.begin(), outputs.end(),
                               [&](const std::wstring& o) { return SameTextNoCase(o, output); });
      if (taken) {
        DoError(found[i].Path, output, L"0", zevInvalidArcType);
        continue;
      }
      int r = CompressOne(found[i].Path, found[i].DosDate, output);
      if (r < 0) break;
      if (r > 0) {
        outputs.push_back(output);
        ++FilesAdded;
      }
      BytesLeft -= found[i].Size;
    }
  } catch (const E_RAISE&) {
  } catch (const EStreamError& e) {
    DoError(FArchiveFile, L"", L"0", e.ECode ? e.ECode : zevWriteError);
  } catch (const std::bad_alloc&) {
    DoError(FArchiveFile, L"", L"0", zevOutOfMemory);
  }
  if (OnElapsedTime) {
    Timer.Stop();
    OnElapsedTime(this, Timer.ElapsedSeconds());
  }
  ConfirmOverwrites = confirm;
  FWritten = FilesAdded > 0;
  if (OnDeactivate) OnDeactivate(this);
  return FilesAdded;
}

int TGZip::CompressOne(const std::wstring& source, int32_t dosDate, const std::wstring& output) {
  const std::wstring stored = EntryName;
  bool sameFile = SameTextNoCase(source, output);
  if (FileSys->FileExists(output) && !sameFile) {
    TOverwriteMode mode = omOverwrite;
    if (ConfirmOverwrites) {
      if (!OnFileExists) {
        DoError(output, L"OnFileExists", L"0", zevEventNotAssigned);
        return -1;
      }
      OnFileExists(this, output, ConvertDate(dosDate), mode);
    }
    if (mode != omOverwrite) {
      if (OnEnd) OnEnd(this, stored, true);
      return 0;
    }
    // A read-only or hidden output is replaced only when the client agrees.
    OverwriteMode = omOverwrite;
    if (!CheckWriteable(output)) return -1;
  }
  std::unique_ptr<TStream32> src = FileSys->OpenRead(source);
  if (!src) {
    DoError(source, L"", L"0", zevOpenError);
    if (OnEnd) OnEnd(this, stored, false);
    return 0;
  }
  auto out = FileSys->CreateReplacement(output, GetTempDir(), DeleteOptions);
  if (!out) {
    DoError(output, L"", L"0", zevCreateError);
    if (OnEnd) OnEnd(this, stored, false);
    return 0;
  }
  int32_t date = EntryDate(dosDate);
  uint32_t mtime = static_cast<uint32_t>(DateTimeToUnix(ConvertDate(date)));
  TDeflateType effort = DeflateType;
  if (StoreAlreadyCompressedFiles && IsAlreadyCompressedName(source)) effort = dtDeflateS;
  TGzWritten w;
  int64_t size = src->GetSize();
  bool ok = false;
  try {
    ok = WriteGzMember(*src, *out, StoredFormName(FileNameOf(stored), TranslateOemChar), mtime, effort, w,
                       [&](int64_t done) {
                         DoProgress(static_cast<double>(done), static_cast<double>(size), BytesLeft - done,
                                    BytesTotal);
                         return !GetCancel();
                       });
    ok = ok && w.Size == size;
  } catch (const EStreamError&) {
    ok = false;
  }
  src.reset();
  if (!ok) {
    // The output keeps what it had; nothing of this file is counted or deleted.
    out->Discard();
    if (!GetCancel()) DoError(output, L"", L"0", zevWriteError);
    if (OnEnd) OnEnd(this, stored, false);
    return GetCancel() ? -1 : 0;
  }
  if (int rc = out->Commit()) {
    DoError(output, L"", L"0", rc);
    if (OnEnd) OnEnd(this, stored, false);
    return 0;
  }
  FileSys->SetDate(output, date);
  if (OnRead) {
    ReadInfo = TCompEntryInfo{};
    ReadInfo.Name = stored;
    ReadInfo.MethodText = L"Deflated";
    ReadInfo.DosDate = date;
    ReadInfo.Size = w.Size;
    ReadInfo.Packed = w.Packed;
    ReadInfo.Crc = w.Crc;
    ReadInfo.Attr = kAttrArchive;
    ReadInfo.Ratio = CompressRatio(w.Size, w.Packed);
    OnRead(this, 0, 1);
  }
  // The member replaced the output: only now may a moved source go.
  if (Switch == swMove && !sameFile) {
    if (FileSys->RemoveFile(source, DeleteOptions) && OnDeleteFile) OnDeleteFile(this, source, 0, 1);
  }
  if (OnEnd) OnEnd(this, stored, true);
  return 1;
}
