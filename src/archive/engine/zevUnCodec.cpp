#include "archive/engine/zevUnCodec.h"

#include <algorithm>

TReaderSink::TReaderSink(TUnBase& reader, TStream32* out, int crcWidth, int64_t total)
    : FReader(reader), FOut(out), FWidth(crcWidth), FCrc(crcWidth == 32 ? 0xFFFFFFFFu : 0), FTotal(total) {}

bool TReaderSink::Put(const uint8_t* data, size_t count) {
  if (count == 0) return !FReader.GetCancel();
  if (FWidth == 32)
    FCrc = UpdateCrc32(FCrc, data, count);
  else
    FCrc = UpdateCrc16(static_cast<uint16_t>(FCrc), data, count);
  size_t done = 0;
  while (done < count) {
    int32_t n = static_cast<int32_t>(std::min<size_t>(count - done, 1u << 20));
    FReader.WriteBuf(FOut, data + done, false, n, 0);
    done += static_cast<size_t>(n);
  }
  FDone += static_cast<int64_t>(count);
  FReader.DoProgress(static_cast<double>(FDone), static_cast<double>(FTotal), FReader.BytesLeft, FReader.BytesTotal);
  return !FReader.GetCancel();
}

namespace {
// A finished CRC against the stored one, as the reader base compares them.
bool CrcMatches(int width, uint32_t stored, uint32_t computed) {
  uint32_t reg = width == 16 ? (computed & 0xFFFFu) : computed;
  return stored == reg || stored == (reg ^ 0xFFFFFFFFu);
}
}  // namespace

TEntryOutcome ExtractCodecEntry(TUnBase& r, TStream32& archive, const TCodecEntry& e, bool skipBegin,
                                bool removeOnFailure, TDeferredEntries* deferred) {
  r.StoredName = FixStoredName(e.StoredName, r.TranslateOemChar);
  if (e.IsFolder && !r.StoredName.empty() && r.StoredName.back() != L'\\') r.StoredName += L'\\';
  if (!r.SetEntryName(r.StoredName)) return TEntryOutcome::Skipped;
  if (!r.DoBeginEntry(skipBegin)) return TEntryOutcome::Skipped;
  if (e.IsFolder) {
    if (r.CreateStoredDirs && r.IsWriteMode()) r.FileSys->ForceDirs(RemoveBackslash(r.EntryName));
    return TEntryOutcome::FolderMade;
  }
  // The method is known before any output exists: an entry that cannot be decoded leaves no
  // empty file behind.
  if (!e.Supported) {
    r.DoError(r.EntryName, L"", L"0", zevUnsupportedMethod);
    if (!skipBegin && r.Count > 0) --r.Count;
    return TEntryOutcome::Failed;
  }
  std::wstring target = r.EntryName;
  std::unique_ptr<TStream32> out;
  std::unique_ptr<TzevTempOutput> staged;
  bool opened;
  if (deferred && r.IsWriteMode() && r.OutputMode != 8 && !e.Continue && r.FileSys->GetAttr(target) != kNoFile) {
    // The file being replaced stays until the data that replace it are known to be sound.
    // Written beside it, so that putting it in place is a rename.
    staged = r.FileSys->CreateReplacement(target, target.substr(0, target.find_last_of(L"\\/:") + 1), doFinal);
    opened = staged != nullptr;
    if (!opened) r.DoError(target, L"", L"0", zevOpenError);
  } else if (e.Continue && r.IsWriteMode()) {
    out = r.FileSys->OpenAppend(target);
    opened = out != nullptr;
    if (out) out->Seek(e.OutputPosition, soFromBeginning);
    if (!opened) r.DoError(target, L"", L"0", zevOpenError);
  } else {
    opened = r.OpenOutput(out, r.StoredName, target);
  }
  if (!opened) {
    if (!skipBegin && r.Count > 0) --r.Count;
    return TEntryOutcome::Failed;
  }
  archive.Seek(e.DataOffset, soFromBeginning);
  TCodecInput in(archive, e.PackedSize);
  in.Decipher = e.Decipher;
  in.OnRead = [&r](const uint8_t*, size_t n) { r.BytesLeft -= static_cast<double>(n); };
  TReaderSink sink(r, staged ? staged.get() : out.get(), e.CrcWidth, e.OrigSize);
  int result;
  try {
    result = e.Decode(in, sink);
  } catch (const E_RAISE& x) {
    out.reset();
    staged.reset();
    r.RaiseError(target, L"", L"0", x.ECode);
  }
  r.DoProgress(static_cast<double>(e.OrigSize), static_cast<double>(e.OrigSize), r.BytesLeft, r.BytesTotal);
  uint32_t attr = e.Attr;
  if (staged) {
    if (result == 0) result = staged->Close();
    if (result != 0) staged->Discard();
  } else {
    r.CloseOutputFile(out, attr, e.DosTime, target);
  }
  if (result == 0 && deferred && r.IsWriteMode() && (!e.HasCrc || CrcMatches(e.CrcWidth, e.Crc, sink.Crc()))) {
    deferred->Items.push_back({target, std::move(staged), attr, e.DosTime});
    return TEntryOutcome::Extracted;
  }
  // Staged data that are not kept leave the file they would have replaced alone.
  bool keepTarget = staged != nullptr;
  if (staged && result == 0) staged->Discard();
  bool pass = false;
  if (result == 0) {
    if (e.CrcWidth == 32)
      Crc32Register = sink.Crc();
    else
      Crc16Register = static_cast<uint16_t>(sink.Crc());
    pass = r.CheckCRC(e.CrcWidth, e.HasCrc ? e.Crc : sink.Crc());
  } else {
    if (result != zevUserCanceled || !r.GetCancel()) r.DoError(target, L"", L"0", result);
    if (r.OnEnd) r.OnEnd(&r, r.EntryName, false);
  }
  if (pass) return TEntryOutcome::Extracted;
  if (removeOnFailure && r.IsWriteMode() && !keepTarget) r.FileSys->RemoveFile(target, doFinal);
  return TEntryOutcome::Failed;
}

void SettleDeferredEntries(TUnBase& r, TDeferredEntries& d, int streamError) {
  for (auto& item : d.Items) {
    bool pass = streamError == 0;
    if (pass && item.Staged) {
      if (int rc = item.Staged->Commit()) {
        r.DoError(item.Target, L"", L"0", rc);
        pass = false;
      } else {
        // The date and attributes go on the file once it is in place.
        std::unique_ptr<TStream32> none;
        r.CloseOutputFile(none, item.Attr, item.DosTime, item.Target);
      }
    } else if (!pass) {
      if (item.Staged)
        item.Staged->Discard();
      else
        r.FileSys->RemoveFile(item.Target, doFinal);
      r.DoError(item.Target, L"", L"0", zevCrcError);
      if (r.Count > 0) --r.Count;
    }
    if (r.OnEnd) r.OnEnd(&r, item.Target, pass);
  }
  d.Items.clear();
}
