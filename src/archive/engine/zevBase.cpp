#include "archive/engine/zevBase.h"

#include <algorithm>
#include <cstring>

#include "archive/engine/zevDetect.h"
#include "archive/engine/zevFileScan.h"
#include "foundation/TextCodec.h"

bool SameTextNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 32);
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

uint32_t AttributeMask(TzevFileAttrs attrs) {
  uint32_t m = 0;
  if (InAttrSet(attrs, fsReadOnly)) m |= kAttrReadOnly;
  if (InAttrSet(attrs, fsHidden)) m |= kAttrHidden;
  if (InAttrSet(attrs, fsSysFile)) m |= kAttrSystem;
  if (InAttrSet(attrs, fsDirectory)) m |= kAttrDirectory;
  if (InAttrSet(attrs, fsArchive)) m |= kAttrArchive;
  return m;
}

// ---- TzevTimer ----

void TzevTimer::Start() {
  FStart = Clock::now();
  FRunning = FStarted = true;
  FPaused = false;
  FElapsed = 0;
}
void TzevTimer::Pause() {
  if (FRunning && !FPaused) {
    FPause = Clock::now();
    FPaused = true;
  }
}
void TzevTimer::Resume() {
  if (FRunning && FPaused) {
    FStart += Clock::now() - FPause;
    FPaused = false;
  }
}
void TzevTimer::Stop() {
  if (!FRunning) return;
  Resume();
  FElapsed = std::chrono::duration<float>(Clock::now() - FStart).count();
  FRunning = false;
}
float TzevTimer::ElapsedSeconds() const {
  if (!FStarted) return 0;
  if (!FRunning) return FElapsed;
  auto end = FPaused ? FPause : Clock::now();
  return std::chrono::duration<float>(end - FStart).count();
}

// ---- TDiskManager ----

std::wstring TDiskManager::DriveOf(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  if (IsUNC(path)) {
    size_t server = path.find(L'\\', 2);
    if (server == std::wstring::npos) return path;
    size_t share = path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path : path.substr(0, share);
  }
  return {};
}

uint32_t TDiskManager::DiskNumberFromLabel(const std::wstring& label) {
  size_t p = label.rfind(L"PKBACK# ");
  if (p == std::wstring::npos) return 0;
  std::wstring digits = label.substr(p + 8);
  if (digits.empty() || !IsAllDigits(digits) || digits.size() > 9) return 0;
  return static_cast<uint32_t>(std::stoul(digits));
}

bool TDiskManager::CheckDrive(const std::wstring& path) {
  Drive = DriveOf(path);
  if (Drive.empty()) Drive = DriveOf(FFs->CurrentDir());
  std::wstring root = AppendBackslash(Drive);
  TzevVolumeInfo info;
  for (;;) {
    std::wstring reason;
    if (FFs->VolumeInfo(root, info, reason)) break;
    std::wstring upper = root;
    for (auto& c : upper)
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    std::wstring text = upper + Utf8ToWide(EngineErrorText(zevNotAccessible)) + L"\r\n\r\n" + reason;
    if (FFs->Ask(text, L"Retry|Cancel") != 0) {
      DriveTypeText = L"Unknown";
      return false;
    }
  }
  VolumeLabel = info.Label;
  Serial = info.Serial;
  wchar_t hex[16];
  swprintf(hex, 16, L"%08X", Serial);
  SerialText = hex;
  FileSystem = info.FileSystem;
  FsFlags = info.FsFlags;
  DiskNumber = DiskNumberFromLabel(VolumeLabel);
  DriveType = info.DriveType;
  if (DriveType == 1) return false;
  WriteProtected = info.WriteProtected;
  FreeSpace = info.FreeSpace;
  TotalSpace = info.TotalSpace;
  static const wchar_t* kTypes[] = {L"Unknown", L"No root", L"Removable", L"Fixed", L"Network", L"CD-ROM",
                                    L"RAM disk"};
  DriveTypeText = WriteProtected || DriveType > 6 ? L"Unknown" : kTypes[DriveType];
  return true;
}

// ---- TRegisterZev ----

void TRegisterZev::SetArchiveFile(const std::wstring& name) {
  FArchiveFile = SlashToBackslash(name);
  StartOffset = 1;
}

void TRegisterZev::SetArcType(TArcType) { DetectArcType(); }

void TRegisterZev::DetectArcType() {
  TDetectResult r;
  if (!FArchiveFile.empty()) {
    if (auto s = FileSys->OpenRead(FArchiveFile)) {
      DetectArchive(*s, FArchiveFile, r);
      if (IsArchiveType(r.Type)) r.Date = FileSys->GetDate(FArchiveFile, 0);
    } else {
      r.Type = atFileOpenErr;
    }
  }
  FArcType = r.Type;
  StartOffset = r.StartOffset;
  ArchiveSize = r.Size;
  ZipFound = r.ZipFound;
  std::memcpy(LocalHeader, r.Local, sizeof LocalHeader);
  std::memcpy(CentralHeader, r.Central, sizeof CentralHeader);
  std::memcpy(EndRecord, r.End, sizeof EndRecord);
  EndRecordPos = r.EndPos;
  ArchiveDate = r.Date ? r.Date : 29221;
}

// ---- TZipCommon ----

TZipCommon::TZipCommon(TComponent* owner) : TRegisterZev(owner) {
  ProgressProc = [this](uint8_t f, uint8_t a) { DefaultProgress(f, a); };
}

TZipCommon::~TZipCommon() = default;

void TZipCommon::SetCancel(bool value) {
  *FCancelPtr = value ? 1 : 0;
  if (value) DoError(ArchiveFile(), EntryName, L"0", zevUserCanceled);
}

std::wstring TZipCommon::SafeRelativeName(const std::wstring& stored) {
  std::wstring s = SlashToBackslash(stored);
  // Drive ("C:") and UNC ("\\server\share") prefixes go; so does any root.
  if (s.size() >= 2 && s[1] == L':') s.erase(0, 2);
  std::wstring out;
  size_t i = 0;
  while (i <= s.size()) {
    size_t j = s.find(L'\\', i);
    if (j == std::wstring::npos) j = s.size();
    std::wstring part = s.substr(i, j - i);
    // Trailing blanks and dots mean nothing to Windows and make ".. " act as "..".
    while (!part.empty() && (part.back() == L' ' || part.back() == L'.')) part.pop_back();
    if (!part.empty()) {
      for (auto& c : part)
        if (c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*')
          c = L'_';
      if (!out.empty()) out += L'\\';
      out += part;
    }
    i = j + 1;
  }
  return out;
}

bool TZipCommon::SetEntryName(const std::wstring& name) {
  if (name.empty()) {
    EntryName.clear();
    return false;
  }
  if (FExtractDir.empty()) SetExtractDir(L"");
  if (FExtractDir.empty()) SetExtractDir(FileSys->CurrentDir());
  std::wstring rel = SafeRelativeName(name);
  bool isFolder = !name.empty() && (name.back() == L'\\' || name.back() == L'/');
  if (rel.empty()) {
    EntryName.clear();
    DoError(name, L"", L"0", zevInvalidFileName);
    return false;
  }
  if (!UseStoredDirs) rel = FileNameOf(rel);
  EntryName = AppendBackslash(FExtractDir) + rel;
  if (isFolder) EntryName += L'\\';
  return true;
}

void TZipCommon::RaiseError(const std::wstring& fileName, const std::wstring& extendedMsg,
                            const std::wstring& volumeID, int eCode) {
  Timer.Pause();
  if (GetCancel()) eCode = zevUserCanceled;
  if (OnError) OnError(this, fileName, extendedMsg, volumeID, eCode);
  Timer.Resume();
  FRaisedCode = eCode;
  // A cancelled run still has to leave the work it is in: the exception carries the
  // cancellation and the run's outer level ends quietly.
  throw E_RAISE(eCode);
}

void TZipCommon::DoError(const std::wstring& fileName, const std::wstring& extendedMsg, const std::wstring& volumeID,
                         int eCode) {
  Timer.Pause();
  if (GetCancel() && eCode != zevUserCanceled) eCode = zevUserCanceled;
  if (OnError) OnError(this, fileName, extendedMsg, volumeID, eCode);
  Timer.Resume();
}

bool TZipCommon::MatchesSpec(const std::wstring& name) {
  if (name.empty() || FileSpec.Count() == 0) return false;
  std::wstring n = name.find(L'.') == std::wstring::npos ? name + L"." : name;
  for (int i = 0; i < FileSpec.Count(); ++i) {
    const std::wstring& fileMask = FileSpec[i];
    if (SameTextNoCase(fileMask, name) || MatchMaskText(n, fileMask)) {
      for (int j = 0; j < ExcludeSpec.Count(); ++j)
        if (MatchMaskText(n, ExcludeSpec[j])) return false;
      return true;
    }
  }
  return false;
}

std::string TZipCommon::PasswordBytes() const {
  std::string out;
  WideToAnsi(Password, out);
  return out;
}

int32_t TZipCommon::ReadBuf(TStream32* stream, void* buffer, int32_t count, int crcWidth, bool decrypt) {
  if (count <= 0) return 0;
  int32_t got = 0;
  try {
    switch (InputMode) {
      case 0:
      case 2:
        got = stream ? stream->Read(buffer, count) : 0;
        break;
      case 1:
        got = InStream ? InStream->Read(buffer, count) : 0;
        break;
      case 3:
        got = SecondStream ? SecondStream->Read(buffer, count) : 0;
        break;
      case 4: {
        size_t n = std::min(static_cast<size_t>(count), InMemoryLeft);
        if (n && InMemory) {
          std::memcpy(buffer, InMemory, n);
          InMemory += n;
          InMemoryLeft -= n;
        }
        got = static_cast<int32_t>(n);
        break;
      }
      default:
        got = 0;
    }
  } catch (const EReadError&) {
    got = 0;
  }
  if (got < 0) got = 0;
  DecryptBuffer(decrypt, buffer, got);
  UpdateCrc(crcWidth, buffer, got);
  return got;
}

namespace {
// LF not after a CR becomes CR LF; prevCr carries the last byte over buffer boundaries.
std::vector<uint8_t> AsciiTranslate(const uint8_t* p, int32_t count, bool& prevCr) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(count) + static_cast<size_t>(count) / 8 + 1);
  for (int32_t i = 0; i < count; ++i) {
    if (p[i] == '\n' && !prevCr) out.push_back('\r');
    out.push_back(p[i]);
    prevCr = p[i] == '\r';
  }
  return out;
}
}  // namespace

int32_t TZipCommon::WriteBuf(TStream32* stream, const void* buffer, bool updateCrc, int32_t count, int crcWidth) {
  if (count <= 0) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  int32_t written = 0;
  auto put = [&](TStream32* s) -> int32_t {
    if (!s) return 0;
    if (AsciiTranslation) {
      bool prevCr = false;
      auto t = AsciiTranslate(p, count, prevCr);
      int32_t n = s->Write(t.data(), static_cast<int32_t>(t.size()));
      return n == static_cast<int32_t>(t.size()) ? count : 0;
    }
    return s->Write(p, count);
  };
  switch (OutputMode) {
    case 0:
    case 2:
    case 8:
      written = put(stream);
      break;
    case 1:
      written = put(OutStream);
      break;
    case 3:
      written = put(SecondStream);
      break;
    case 4: {
      if (OutMemory && static_cast<size_t>(count) <= OutMemoryLeft) {
        std::memcpy(OutMemory, p, static_cast<size_t>(count));
        OutMemory += count;
        OutMemoryLeft -= static_cast<size_t>(count);
        written = count;
      }
      break;
    }
    case 5:
    case 7:
      written = count;  // discarded, but nothing failed
      break;
    default:
      written = 0;
  }
  if (written != count) throw E_RAISE(zevWriteError);
  if (updateCrc) UpdateCrc(crcWidth, p, count);
  return written;
}

int32_t TZipCommon::WriteDecrypted(TStream32* stream, bool updateCrc, int32_t count, int crcWidth, bool crypt,
                                   void* buffer) {
  if (crypt && updateCrc && InArcSet(kZipFamily, ArcType()) && count > 0)
    ZipDecryptBuffer(buffer, static_cast<size_t>(count));
  return WriteBuf(stream, buffer, updateCrc, count, crcWidth);
}

int32_t TZipCommon::WriteEncrypted(TStream32* stream, bool updateCrc, int32_t count, int crcWidth, bool crypt,
                                   void* buffer) {
  if (crypt && updateCrc && InArcSet(kZipFamily, ArcType()) && count > 0)
    ZipEncryptBuffer(buffer, static_cast<size_t>(count));
  return WriteBuf(stream, buffer, updateCrc, count, crcWidth);
}

void TZipCommon::DecryptBuffer(bool decrypt, void* buffer, int32_t count) {
  if (!decrypt || count <= 0) return;
  uint8_t* p = static_cast<uint8_t*>(buffer);
  if (InArcSet(kArjFamily, ArcType())) {
    std::string pw = PasswordBytes();
    if (pw.empty()) return;
    for (int32_t i = 0; i < count; ++i) {
      if (ArjPasswordIndex < 1 || ArjPasswordIndex > static_cast<int>(pw.size())) ArjPasswordIndex = 1;
      p[i] = static_cast<uint8_t>(p[i] ^ static_cast<uint8_t>(pw[static_cast<size_t>(ArjPasswordIndex - 1)]));
      ++ArjPasswordIndex;
    }
  } else if (InArcSet(kZipFamily, ArcType())) {
    ZipDecryptBuffer(p, static_cast<size_t>(count));
  }
}

void TZipCommon::DoProgress(double fileBytes, double fileTotal, double archiveBytesLeft, double archiveTotal) {
  ProgressFileTotal = fileTotal;
  ProgressFileDone = fileBytes;
  try {
    LastFilePercent = static_cast<uint8_t>(PercentF(fileBytes, fileTotal));
    LastArchivePercent = static_cast<uint8_t>(PercentF(archiveTotal - archiveBytesLeft, archiveTotal));
    if (ProgressProc) ProgressProc(LastFilePercent, LastArchivePercent);
  } catch (...) {
  }
}

void TZipCommon::DefaultProgress(uint8_t byFile, uint8_t byArchive) {
  FileSys->ProcessMessages();
  if (OnProgress) OnProgress(this, byFile, byArchive);
}

int32_t TZipCommon::EntryDate(int32_t dosDate) {
  switch (DateAttribute) {
    case daSysDate:
      return FileSys->NowDos();
    case daMaxFileDate:
      return NewestDate;
    default:
      return dosDate;
  }
}

std::wstring TZipCommon::GetTempDir() {
  if (FTempDir.empty() || !FileSys->DirExists(FTempDir)) return FileSys->SystemTemp();
  return FTempDir;
}

void TZipCommon::SetTempDir(const std::wstring& dir) {
  if (Loading) {
    FTempDir = dir;
    return;
  }
  std::wstring d = dir.empty() ? FileSys->SystemTemp() : AppendBackslash(dir);
  if (!d.empty() && !FileSys->DirExists(d)) {
    std::wstring text = d + L"\r\n\r\n" + Utf8ToWide(EngineErrorText(zevDirNotExist));
    if (FileSys->Ask(text, L"Yes|No") == 0)
      FileSys->ForceDirs(d);
    else
      d.clear();
  }
  if (d.empty() || !FileSys->DirExists(d)) d = FileSys->SystemTemp();
  FTempDir = d;
}

void TZipCommon::SetVolumeState() {
  TArcType t = ArcType();
  if (t != atAce && t != atArj && t != atArjExe && t != atRar && t != atRarExe) return;
  VolumeLetter = t == atAce ? L'C' : (t == atArj || t == atArjExe) ? L'a' : L'q';
  std::wstring name = FArchiveFile;
  size_t dot = name.rfind(L'.');
  size_t sep = name.find_last_of(L"\\/:");
  std::wstring ext = (dot == std::wstring::npos || (sep != std::wstring::npos && dot < sep))
                         ? std::wstring(t == atAce ? L"Ace" : (t == atArj || t == atArjExe) ? L"Arj" : L"Rar")
                         : name.substr(dot + 1);
  if (ext.empty()) ext = t == atAce ? L"Ace" : (t == atArj || t == atArjExe) ? L"Arj" : L"Rar";
  size_t d = ext.size();
  while (d > 0 && ext[d - 1] >= L'0' && ext[d - 1] <= L'9') --d;
  if (d < ext.size()) {
    VolumeLetter = ext[0];
    std::wstring digits = ext.substr(d);
    if (digits.size() > 6) digits = digits.substr(digits.size() - 6);
    VolumeNumber = static_cast<int32_t>(std::stol(digits)) + 1;
  } else {
    VolumeNumber = (t == atArj || t == atArjExe) ? 1 : 0;
  }
  FirstVolume = VolumeNumber;
}

std::wstring TZipCommon::GetVolumeName(const std::wstring& fileName, int32_t number) {
  if (fileName.empty() || number < 0) return {};
  size_t sep = fileName.find_last_of(L"\\/:");
  size_t dot = fileName.rfind(L'.');
  std::wstring stem = (dot == std::wstring::npos || (sep != std::wstring::npos && dot < sep))
                          ? fileName
                          : fileName.substr(0, dot);
  if (ArcType() == atRar || ArcType() == atRarExe) {
    // The number wraps every 100 volumes into the next letter; the letter follows from the
    // number alone, so asking for the same volume twice gives the same name.
    // Every number that is a multiple of 100, counted from the set's first volume, moves
    // the letter on by one.
    int32_t wraps = number / 100 - (FirstVolume >= 1 ? (FirstVolume - 1) / 100 : -1);
    number %= 100;
    wchar_t letter = static_cast<wchar_t>(VolumeLetter + wraps);
    wchar_t buf[16];
    swprintf(buf, 16, L".%lc%02d", static_cast<wint_t>(letter), number);
    return stem + buf;
  }
  wchar_t buf[32];
  if (number < 100)
    swprintf(buf, 32, L".%lc%02d", static_cast<wint_t>(VolumeLetter), number);
  else
    swprintf(buf, 32, L".%d", number);
  return stem + buf;
}

bool TZipCommon::NextVolumeFile(std::wstring& fileName, const std::wstring& volumeID) {
  bool ok = false;
  long vol = 0;
  try {
    vol = std::stol(volumeID);
  } catch (...) {
    vol = 0;
  }
  if (vol > 999) {
    DoError(fileName, L"", volumeID, zevMaxVolumes);
  } else if (fileName.empty()) {
    DoError(fileName, L"", volumeID, zevInvalidFileName);
  } else if (!OnNextVolume) {
    DoError(fileName, L"OnNextVolumeFile", L"0", zevEventNotAssigned);
  } else {
    if (FolderOf(fileName).empty()) fileName = FileSys->CurrentDir() + fileName;
    for (;;) {
      bool cancel = true;
      bool exists = FileSys->FileExists(fileName);
      OnNextVolume(this, fileName, volumeID, exists, cancel);
      if (cancel) break;
      if (FileSys->FileExists(fileName)) {
        ok = true;
        break;
      }
    }
  }
  if (ok)
    ++VolumeNumber;
  else
    BytesLeft = ArchiveSize;
  return ok;
}

bool TZipCommon::TarHeaderChecksum(const uint8_t* header) {
  uint32_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32u : header[i];
  std::string field(reinterpret_cast<const char*>(header + 148), 8);
  bool any = false;
  for (char c : field)
    if (c >= '0' && c <= '7') any = true;
  return any && static_cast<uint64_t>(OctalToInt(field)) == sum;
}

// ---- TUnBaseHeaderObj ----

void TUnBaseHeaderObj::Add(const void* record, const void* block, size_t blockLen) {
  const uint8_t* r = static_cast<const uint8_t*>(record);
  FRecords.insert(FRecords.end(), r, r + FRecordSize);
  const uint8_t* b = static_cast<const uint8_t*>(block);
  FBlocks.emplace_back(b ? std::vector<uint8_t>(b, b + blockLen) : std::vector<uint8_t>());
}

// ---- TUnBase ----

TUnBase::TUnBase(TComponent* owner) : TZipCommon(owner) {
  RecurseDirs = true;
  AsciiTranslation = false;
  DateAttribute = daFileDate;
}

TUnBase::~TUnBase() = default;

void TUnBase::SetArchiveFile(const std::wstring& name) {
  std::wstring n = SlashToBackslash(name);
  if (n.empty() || !FileSys->FileExists(n)) {
    FArchiveFile.clear();
    FArcType = atNA;
    return;
  }
  FArchiveFile = n;
  StartOffset = 1;
  DetectArcType();
  if (IsArchiveType(FArcType)) SetVolumeState();
}

void TUnBase::SetExtractDir(const std::wstring& dir) {
  if (!dir.empty())
    FExtractDir = AppendBackslash(SlashToBackslash(dir));
  else
    FExtractDir = FolderOf(FArchiveFile);
}

bool TUnBase::MatchesSpec(const std::wstring& name) {
  if (name.empty()) return false;
  std::wstring file = FileNameOf(name);
  bool noExt = file.find(L'.') == std::wstring::npos;
  std::wstring tested = noExt ? name + L".*" : name;
  auto folderOf = [](const std::wstring& n) {
    size_t p = n.find_last_of(L"\\/:");
    if (p == std::wstring::npos) return std::wstring(L"\\");
    std::wstring f = n.substr(0, p + 1);
    for (auto& c : f)
      if (c == L'/') c = L'\\';
    if (f.back() == L':') f += L'\\';
    return f;
  };
  std::wstring folder = folderOf(name);
  for (int i = 0; i < FileSpec.Count(); ++i) {
    const std::wstring& fileMask = FileSpec[i];
    if (fileMask.empty()) continue;
    if (!RecurseDirs && !SameTextNoCase(folderOf(fileMask), folder)) return false;
    std::wstring pattern = SlashToBackslash(fileMask);
    std::wstring subject = SlashToBackslash(tested);
    if (MatchMaskText(subject, pattern) || (noExt && MatchMaskText(SlashToBackslash(name), pattern))) {
      for (int j = 0; j < ExcludeSpec.Count(); ++j)
        if (MatchMaskText(name, ExcludeSpec[j])) return false;
      return true;
    }
  }
  return false;
}

int TUnBase::Extract() { return ExtractTo(0); }
int TUnBase::ExtractMode7() { return ExtractTo(7); }

int TUnBase::ExtractTo(uint8_t outputMode) {
  InputMode = 0;
  OutputMode = outputMode;
  return Process();
}

int TUnBase::Process() {
  *FCancelPtr = 0;
  Count = 0;
  BytesLeft = BytesTotal = 0;
  NewestDate = 0;
  LastFilePercent = LastArchivePercent = 0;
  NoPasswordFound = false;
  ProgressProc = [this](uint8_t f, uint8_t a) { DefaultProgress(f, a); };
  DiskSpann.Reset();
  if (CpuType == cpt80486) CpuType = cptAuto;
  FRunArchiveName = FArchiveFile;
  ExcludeSpec.Clear();
  int result = 0;
  try {
    if (FArchiveFile.empty()) RaiseError(FArchiveFile, L"", L"0", zevFileNotFound);
    DiskManager.Drive = TDiskManager::DriveOf(FArchiveFile);
    if (!InArcSet(kLibraryTypes, ArcType())) {
      Archive = FileSys->OpenRead(FArchiveFile);
      if (!Archive) RaiseError(FArchiveFile, L"", L"0", zevOpenError);
    }
    if (OnActivate) OnActivate(this);
    struct TDeactivate {
      TUnBase& R;
      ~TDeactivate() {
        if (R.OnDeactivate) R.OnDeactivate(&R);
      }
    } deactivate{*this};
    Password.clear();
    EntryName.clear();
    BytesLeft = BytesTotal = ArchiveSize;
    if (OnElapsedTime) Timer.Start();
    if (ArcType() != atGZip && ArcType() != atMsGZ) AsciiTranslation = false;
    try {
      ExtractArchive(Archive.get());
    } catch (...) {
      if (OnElapsedTime) {
        Timer.Stop();
        OnElapsedTime(this, Timer.ElapsedSeconds());
      }
      throw;
    }
    if (OnElapsedTime) {
      Timer.Stop();
      OnElapsedTime(this, Timer.ElapsedSeconds());
    }
    result = Count;
  } catch (const std::exception&) {
    result = 0;
  }
  Archive.reset();
  FArchiveFile = FRunArchiveName;
  return result;
}

bool TUnBase::DoBeginEntry(bool skipEvent) {
  if (skipEvent) return true;
  Timer.Pause();
  struct TResume {
    TzevTimer& T;
    ~TResume() { T.Resume(); }
  } resume{Timer};
  bool extract = true;
  if (OnBegin) OnBegin(this, IsWriteMode() ? EntryName : StoredName, Count, extract);
  if (GetCancel() || !extract) return false;
  if (!IsWriteMode()) {
    ++Count;
    return true;
  }
  if (ConfirmOverwrites) {
    if (OnFileExists) {
      OverwriteMode = omOverwrite;
      while (!GetCancel() && OverwriteMode != omSkip && FileSys->GetAttr(EntryName) != kNoFile) {
        std::wstring newName;
        OnFileExists(this, EntryName, newName, OverwriteMode);
        if (OverwriteMode == omSkip) continue;
        if (newName.empty() || SameTextNoCase(newName, EntryName)) break;
        EntryName = newName;
      }
    } else {
      DoError(EntryName, L"OnFileExists", L"0", zevEventNotAssigned);
      OverwriteMode = omSkip;
    }
    bool ok = !GetCancel() && OverwriteMode == omOverwrite && !EntryName.empty();
    if (ok) {
      ++Count;
      uint32_t a = FileSys->GetAttr(EntryName);
      if (a != kNoFile && (a & kAttrReadOnly) && !(a & (kAttrSystem | kAttrDirectory)))
        FileSys->SetAttr(EntryName, kAttrNormal);
    }
    return ok;
  }
  if (OverwriteMode != omOverwrite) return false;
  ++Count;
  uint32_t a = FileSys->GetAttr(EntryName);
  if (a != kNoFile && (a & kAttrReadOnly) && !(a & (kAttrSystem | kAttrDirectory)))
    FileSys->SetAttr(EntryName, kAttrNormal);
  return true;
}

bool TUnBase::CheckPassword(uint8_t*) { return false; }

bool TUnBase::GetEntryPassword(TStream32* stream) {
  Timer.Pause();
  struct TResume {
    TzevTimer& T;
    ~TResume() { T.Resume(); }
  } resume{Timer};
  uint8_t header[24]{};
  int32_t got = ReadBuf(stream, header, 12, 0, false);
  if (got != 12) return false;
  std::memcpy(header + 12, header, 12);
  bool ok = CheckPassword(header);
  for (int i = 0; !ok && i < Passwords.Count(); ++i) {
    Password = Passwords[i];
    ok = CheckPassword(header);
  }
  if (ok) return true;
  if (!OnGetPassword) {
    DoError(EntryName, L"OnGetPassword", L"0", zevEventNotAssigned);
    return false;
  }
  for (int attempt = 0; attempt < PasswordAttempts && !GetCancel(); ++attempt) {
    bool tryAgain = true;
    OnGetPassword(this, EntryName, Password, tryAgain);
    if (!tryAgain) {
      DoError(EntryName, L"", L"0", zevInvalidPassword);
      return false;
    }
    if (CheckPassword(header)) {
      Passwords.Insert(0, Password);
      return true;
    }
    Password.clear();
    DoError(EntryName, L"", L"0", zevInvalidPassword);
  }
  return false;
}

bool TUnBase::OpenOutput(std::unique_ptr<TStream32>& out, const std::wstring& storedName,
                         const std::wstring& fileName) {
  out.reset();
  if (fileName.empty()) return false;
  switch (OutputMode) {
    case 0:
    case 2:
    case 8: {
      std::wstring folder = FolderOf(fileName);
      if (!folder.empty()) FileSys->ForceDirs(folder);
      if (OutputMode == 8) {
        FileSys->SetAttr(fileName, kAttrNormal);
        out = FileSys->OpenAppend(fileName);
      } else {
        if (OutputMode == 2) FileSys->SetAttr(fileName, kAttrNormal);
        out = FileSys->Create(fileName);
      }
      if (!out) {
        DoError(fileName, L"", L"0", zevOpenError);
        return false;
      }
      return true;
    }
    case 1:
      (void)storedName;
      return OutStream != nullptr;
    case 3:
      return SecondStream != nullptr;
    default:
      return true;
  }
}

void TUnBase::CloseOutputFile(std::unique_ptr<TStream32>& out, uint32_t attr, int32_t dosDate,
                              const std::wstring& fileName) {
  if (!IsWriteMode()) {
    out.reset();
    EntryName = StoredName;
    return;
  }
  out.reset();
  FileSys->SetDate(fileName, EntryDate(dosDate));
  // Only the four attributes a file can meaningfully get back; the archive bit alone is what
  // a new file has anyway.
  uint32_t a = attr & kRestorableAttrs;
  if (RestoreFileAttr && a != kAttrArchive && a != 0) FileSys->SetAttr(fileName, a);
}

void TUnBase::DiscardOutput(std::unique_ptr<TStream32>& out, const std::wstring& fileName) {
  bool empty = out && out->GetSize() == 0;
  out.reset();
  if (empty && IsWriteMode()) FileSys->RemoveFile(fileName, doFinal);
}

int64_t TUnBase::ExtractStored(TStream32* in, TStream32* out, const TUnEntryInfo& entry, int crcWidth) {
  int64_t left = entry.PackedSize;
  if (left <= 0) return 0;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(left, 32768)) + 1);
  bool arj = InArcSet(kArjFamily, ArcType());
  bool zip = InArcSet(kZipFamily, ArcType());
  bool encrypted = entry.Flags & 1;
  int64_t done = 0;
  while (left > 0 && !GetCancel()) {
    int32_t want = static_cast<int32_t>(std::min<int64_t>(left, 32768));
    int32_t got = ReadBuf(in, buf.data(), want, 0, arj && encrypted);
    if (got <= 0) break;
    BytesLeft -= got;
    WriteDecrypted(out, true, got, crcWidth, zip && encrypted, buf.data());
    left -= got;
    done += got;
    DoProgress(static_cast<double>(done), static_cast<double>(entry.PackedSize), BytesLeft, BytesTotal);
  }
  return left;
}

void TUnBase::AddProgress(const TUnEntryInfo& entry) {
  BytesLeft -= static_cast<double>(entry.PackedSize);
  DoProgress(static_cast<double>(entry.PackedSize), static_cast<double>(entry.PackedSize), BytesLeft, BytesTotal);
}

bool TUnBase::CheckCRC(int width, uint32_t stored) {
  uint32_t reg = width == 16 ? Crc16Register : Crc32Register;
  bool pass = stored == reg || stored == (reg ^ 0xFFFFFFFFu);
  if (OnEnd) OnEnd(this, EntryName, pass);
  // A damaged file is always reported, whoever else hears of the entry's end.
  if (!pass) DoError(EntryName, L"", L"0", zevCrcError);
  return pass;
}

// ---- TDiskSpannObj ----

bool TDiskSpannObj::ProbeDisk(int64_t offset) {
  if (Cancelled || OpenFailed) return false;
  auto s = FReader.FileSys->OpenRead(FReader.ArchiveFile());
  if (!s) return false;
  FReader.ArchiveSize = static_cast<uint32_t>(std::min<int64_t>(s->GetSize(), 0xFFFFFFFF));
  uint8_t sig[4]{};
  s->Seek(offset, soFromBeginning);
  if (s->Read(sig, 4) != 4) return false;
  if (sig[0] != 'P' || sig[1] != 'K') return false;
  return (sig[2] == 3 && sig[3] == 4) || (sig[2] == 1 && sig[3] == 2) || (sig[2] == 7 && sig[3] == 8);
}

bool TDiskSpannObj::SwitchDisk(int64_t offset, int entries) {
  FReader.Archive.reset();
  auto state = std::to_wstring(DiskState);
  const wchar_t* eventName =
      DiskState == 0 ? L"OnGetZipLastDisk" : DiskState == 1 ? L"OnGetZipFirstDisk" : L"OnGetZipNextDisk";
  bool assigned = DiskState == 0   ? static_cast<bool>(FReader.OnGetZipLastDisk)
                  : DiskState == 1 ? static_cast<bool>(FReader.OnGetZipFirstDisk)
                                   : static_cast<bool>(FReader.OnGetZipNextDisk);
  if (!assigned) {
    FReader.DoError(FReader.ArchiveFile(), eventName, state, zevEventNotAssigned);
    return false;
  }
  if (DiskState == 0) {
    for (;;) {
      bool cancel = true;
      FReader.OnGetZipLastDisk(&FReader, cancel);
      if (cancel) {
        Cancelled = true;
        return false;
      }
      FReader.DetectArcType();
      if (FReader.ZipFound & htEnding) break;
    }
    if (IsArchiveType(FReader.ArcType())) DiskState = 1;
  } else if (DiskState == 1) {
    while (!ProbeDisk(offset)) {
      bool cancel = true;
      FReader.OnGetZipFirstDisk(&FReader, cancel);
      if (cancel) {
        Cancelled = true;
        return false;
      }
    }
    FReader.DiskManager.CheckDrive(FReader.ArchiveFile());
    DiskState = FReader.DiskManager.DiskNumber >= 1 ? static_cast<int32_t>(FReader.DiskManager.DiskNumber)
                                                    : DiskState + 1;
  } else {
    for (;;) {
      if (ProbeDisk(offset)) break;
      bool cancel = true;
      FReader.OnGetZipNextDisk(&FReader, std::to_wstring(DiskState), cancel);
      if (cancel) {
        Cancelled = true;
        return false;
      }
      if (ProbeDisk(offset)) break;
      if (FReader.ArchiveSize != 0 && FReader.ArchiveSize < offset) break;
    }
    DiskState = DiskState <= entries ? DiskState + 1 : 0;
  }
  FReader.Archive = FReader.FileSys->OpenRead(FReader.ArchiveFile());
  if (!FReader.Archive) {
    OpenFailed = true;
    FReader.DoError(FReader.ArchiveFile(), L"", L"0", zevReadError);
    return false;
  }
  FReader.ArchiveSize = static_cast<uint32_t>(std::min<int64_t>(FReader.Archive->GetSize(), 0xFFFFFFFF));
  return true;
}
