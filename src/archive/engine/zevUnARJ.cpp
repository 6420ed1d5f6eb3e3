#include "archive/engine/zevUnARJ.h"

#include <vector>

#include "archive/engine/zevOldFormats.h"
#include "archive/engine/zevUnCodec.h"

bool TUnArj::GetPassword(const std::wstring& name) {
  if (!FLastPassword.empty()) {
    Password = FLastPassword;
    return true;
  }
  if (!OnGetPassword) {
    DoError(name, L"OnGetPassword", L"0", zevEventNotAssigned);
    return false;
  }
  Timer.Pause();
  bool tryAgain = true;
  std::wstring pw = Password;
  OnGetPassword(this, name, pw, tryAgain);
  Timer.Resume();
  if (!tryAgain || pw.empty()) return false;
  Password = FLastPassword = pw;
  return true;
}

void TUnArj::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  FLastPassword.clear();
  Password.clear();
  if (PasswordAttempts > 10) PasswordAttempts = 10;
  if (PasswordAttempts < 1) PasswordAttempts = 1;
  TStream32* cur = archive;
  std::wstring volumeName = ArchiveFile();
  // The output of a file that continues into the next volume, and where its next piece goes.
  std::wstring continuing;
  try {
    for (;;) {
      // The main header says whether another volume follows.
      bool moreVolumes = false;
      {
        int64_t size = cur->Seek(0, soFromEnd);
        int64_t start = FindArjStart(*cur, size);
        TArjHeader main;
        if (start >= 0 && ReadArjHeaderAt(*cur, start, size, main) == 0) moreVolumes = (main.Flags & kArjVolume) != 0;
      }
      auto list = ListCodecEntries<TArjHeader>(
          *this, *cur, volumeName, WalkArjHeaders, [](const TArjHeader& h) { return h.Name; },
          [this](const TArjHeader& h) {
            if (h.IsMain) return false;
            std::wstring name = FixStoredName(h.Name, TranslateOemChar);
            if (h.MinVersion >= 4) {
              DoError(name, L"", L"0", zevVersionError);
              return false;
            }
            if (h.Method > 4 || (h.Method == 4 && h.ArcVersion == 1)) {
              DoError(name, L"", L"0", zevUnsupportedMethod);
              return false;
            }
            return true;
          });
      for (const auto& h : list) {
        if (GetCancel()) break;
        TCodecEntry e;
        e.StoredName = h.Name;
        e.IsFolder = h.FileType == kArjFolder;
        e.DosTime = h.DosTime;
        e.Attr = e.IsFolder ? kAttrDirectory : kAttrArchive;
        e.DataOffset = h.DataOffset;
        e.PackedSize = h.PackedSize;
        e.OrigSize = h.OrigSize;
        e.CrcWidth = 32;
        e.Crc = h.Crc;
        if (h.FileType == kArjLabel) continue;  // a volume label makes no file
        if (h.FileType != kArjBinary && h.FileType != kArjText && h.FileType != kArjFolder) {
          DoError(FixStoredName(e.StoredName, TranslateOemChar), L"", L"0", zevUnknownFileType);
          continue;
        }
        uint8_t method = h.Method;
        int64_t orig = h.OrigSize;
        e.Decode = [method, orig](TCodecInput& in, TCodecSink& out) { return ArjDecodeData(in, out, method, orig); };
        // A piece continued from the previous volume goes into that file at its own position;
        // without the file's start it cannot be put anywhere.
        bool piece = (h.Flags & kArjExtFile) != 0;
        if (piece && IsWriteMode()) {
          std::wstring stored = FixStoredName(e.StoredName, TranslateOemChar);
          if (!SetEntryName(stored)) continue;
          if (EntryName != continuing) {
            DoError(EntryName, L"", L"0", zevBrokenChain);
            continue;
          }
          e.Continue = true;
          e.OutputPosition = h.ExtFilePos;
        }
        bool garbled = (h.Flags & kArjGarbled) != 0;
        TEntryOutcome out = TEntryOutcome::Skipped;
        for (int attempt = 0; attempt < PasswordAttempts; ++attempt) {
          if (garbled) {
            std::wstring shown = FixStoredName(e.StoredName, TranslateOemChar);
            if (!GetPassword(shown)) break;
            auto key = std::make_shared<std::string>(PasswordBytes());
            auto pos = std::make_shared<uint64_t>(0);
            uint8_t modifier = h.PasswordModifier;
            e.Decipher = [key, pos, modifier](uint8_t* p, size_t n) { ArjGarble(p, n, *key, modifier, *pos); };
          }
          // A garbled entry that fails its test leaves no output: the password was wrong.
          out = ExtractCodecEntry(*this, *cur, e, e.Continue || attempt > 0, garbled && !e.Continue);
          if (attempt > 0 && out == TEntryOutcome::Extracted) ++Count;  // counted back in
          if (out != TEntryOutcome::Failed || !garbled) break;
          if (Count > 0) --Count;
          FLastPassword.clear();
          Password.clear();
          if (GetCancel()) break;
        }
        if (!piece && IsWriteMode()) continuing.clear();
        if ((h.Flags & kArjVolume) && out == TEntryOutcome::Extracted && IsWriteMode()) continuing = EntryName;
        if (!(h.Flags & kArjVolume) && piece) continuing.clear();
      }
      if (!moreVolumes || GetCancel()) break;
      // The next volume of the set.
      // The number of the volume after this one (1 after the ".arj" volume itself).
      if (VolumeNumber < 1) VolumeNumber = 1;
      int32_t number = VolumeNumber;
      std::wstring next = GetVolumeName(ArchiveFile(), number);
      if (!NextVolumeFile(next, std::to_wstring(number))) break;
      auto s = FileSys->OpenRead(next);
      if (!s) {
        DoError(next, L"", L"0", zevReadError);
        break;
      }
      volumeName = next;
      Archive = std::move(s);
      cur = Archive.get();
      if (OnActivate) OnActivate(this);
    }
  } catch (const EzevException&) {
    // Errors reached the user through OnError.
  }
}
