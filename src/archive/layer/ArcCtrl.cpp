// The archive control base: selection, list files, external programs, and the engine-driven
// operations with the handlers of the engine's events.
#include "archive/layer/ArcCtrl.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevUnGZip.h"
#include "archive/engine/zevZip.h"
#include "archive/layer/UnAceV2.h"
#include "archive/layer/UnRar.h"
#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/HanList.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/Handles.h"
#include "framework/TextCompare.h"

TLibraryExtractDriver RarLibraryExtract = RarDllRun;
TLibraryExtractDriver AceLibraryExtract = AceDllRun;

namespace {
bool EndsWithBackslash(std::wstring_view s) { return !s.empty() && s.back() == L'\\'; }

// The file part and the folder part (with its "\") of a name.
std::wstring_view FilePartOf(std::wstring_view s) {
  size_t p = s.find_last_of(L"\\/");
  return p == std::wstring_view::npos ? s : s.substr(p + 1);
}
std::wstring_view FolderPartOf(std::wstring_view s) {
  size_t p = s.find_last_of(L"\\/");
  return p == std::wstring_view::npos ? std::wstring_view{} : s.substr(0, p + 1);
}

// An empty side is settled here: the system's comparison fails on a null pointer, and a failure
// must not read as "equal".
bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  return SameTextI(a, b);
}
bool StartsWithText(std::wstring_view prefix, std::wstring_view s) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

const struct {
  uint8_t Code;
  int Msg;
} kResultTexts[] = {{0, 30231},  {1, 30232},  {3, 30245},  {5, 30233},  {7, 30234},  {8, 30235},
                    {9, 30236},  {10, 30237}, {11, 30238}, {12, 30239}, {13, 30240}, {14, 30241},
                    {15, 30242}, {16, 30243}, {17, 30246}, {19, 30244}};

// One element of a pattern at p: "?" , a set "<...>" or a character. Returns the pattern length
// used, 0 for a malformed set; matched tells whether c is accepted.
size_t MatchElement(std::wstring_view p, size_t pi, wchar_t c, bool& matched) {
  if (p[pi] == L'?') {
    matched = true;
    return 1;
  }
  if (p[pi] != L'<') {
    matched = p[pi] == c;
    return 1;
  }
  size_t i = pi + 1;
  bool negate = false;
  if (i < p.size() && (p[i] == L'!' || p[i] == L'^')) {
    negate = true;
    ++i;
  }
  bool any = false, hit = false;
  while (i < p.size() && p[i] != L'>') {
    wchar_t lo = p[i], hi = lo;
    if (i + 1 < p.size() && p[i + 1] == L'-') {
      if (i + 2 >= p.size() || p[i + 2] == L'>') return 0;  // a range without its upper bound
      hi = p[i + 2];
      i += 3;
    } else {
      ++i;
    }
    if (lo > hi) std::swap(lo, hi);
    if (c >= lo && c <= hi) hit = true;
    any = true;
  }
  if (i >= p.size() || !any) return 0;  // unclosed or empty
  matched = negate ? !hit : hit;
  return i + 1 - pi;
}

// The text of a list file in the bytes other programs read: ANSI when every name fits, else
// UTF-8 with its mark.
std::string ListFileBytes(const std::wstring& text) {
  std::string ansi;
  if (WideToAnsi(text, ansi)) return ansi;
  return "\xEF\xBB\xBF" + WideToUtf8(text);
}

std::wstring OkCancelButtons() { return LoadMessageText(1) + L"|" + LoadMessageText(2); }

std::wstring WideFromAscii(const char* s) {
  std::wstring w;
  for (; s && *s; ++s) w += static_cast<wchar_t>(static_cast<unsigned char>(*s));
  return w;
}
}  // namespace

std::wstring ArcFill(int msg, const std::wstring& a, const std::wstring& b) {
  std::wstring text = LoadMessageText(msg);
  size_t at = text.find(L"%S");
  if (at != std::wstring::npos) {
    text.replace(at, 2, a);
    at = text.find(L"%S", at + a.size());
    if (at != std::wstring::npos) text.replace(at, 2, b);
  }
  return text;
}

// ---- Result texts ----

void GetArchiveErrorText(uint8_t code, std::wstring& text) {
  code &= 0x7F;
  int msg = 30231;
  for (const auto& r : kResultTexts)
    if (r.Code == code) msg = r.Msg;
  LoadMessageText(msg, text);
}

std::wstring GetArchiveErrorText(uint8_t code) {
  std::wstring s;
  GetArchiveErrorText(code, s);
  return s;
}

// ---- Wildcards ----

int MatchWildcard(std::wstring_view pattern, std::wstring_view name) {
  const std::wstring p = LowerCase(pattern), n = LowerCase(name);
  if (p == L"*" || p == L"*.*") return 1;
  size_t pi = 0, ni = 0;
  size_t starP = std::wstring::npos, starN = 0;
  for (;;) {
    if (pi < p.size() && p[pi] == L'*') {
      while (pi < p.size() && p[pi] == L'*') ++pi;
      if (pi == p.size()) return 1;
      starP = pi;
      starN = ni;
      continue;
    }
    int fail = 0;
    if (pi == p.size()) {
      if (ni == n.size()) return 1;
      fail = 2;
    } else if (ni == n.size()) {
      return 3;  // more name cannot help: a star only ever takes more of it
    } else {
      bool matched = false;
      size_t used = MatchElement(p, pi, n[ni], matched);
      if (used == 0) return 6;
      if (matched) {
        pi += used;
        ++ni;
        continue;
      }
      fail = p[pi] == L'<' ? 4 : 5;
    }
    if (starP == std::wstring::npos) return fail;
    // The star takes one character more and the rest is tried again.
    ++starN;
    if (starN > n.size()) return fail;
    ni = starN;
    pi = starP;
  }
}

// ---- The control ----

struct TGeneralArchiveControl::TEntryFacts {
  std::map<std::wstring, std::pair<int32_t, int64_t>> ByName;  // lower-case stored name
};

TGeneralArchiveControl::TGeneralArchiveControl() { FileList.SetSorted(true); }

TGeneralArchiveControl::~TGeneralArchiveControl() = default;

void TGeneralArchiveControl::SetCancel(bool value) {
  Cancelled = value;
  if (Compressor) Compressor->SetCancel(true);
  if (Extractor) Extractor->SetCancel(true);
}

void TGeneralArchiveControl::DoFileBegin(const std::wstring& name, int64_t size, int64_t packedSize) {
  if (OnFileBegin) OnFileBegin(this, name, size, packedSize);
}
void TGeneralArchiveControl::DoFileEnd(int64_t size) {
  if (OnFileEnd) OnFileEnd(this, size);
}
void TGeneralArchiveControl::DoArchiveBegin(const std::wstring& archiveName, int64_t totalSize, int64_t fileCount) {
  if (OnArchiveBegin) OnArchiveBegin(this, archiveName, totalSize, fileCount);
}
void TGeneralArchiveControl::DoProgress(int64_t fileSize, int64_t fileDone) {
  if (OnProgress) OnProgress(this, fileSize, fileDone);
}
void TGeneralArchiveControl::DoFileExists(bool& overwrite, bool& cancel, double entryDate, int64_t entrySize,
                                          std::wstring& fileName) {
  overwrite = true;
  cancel = false;
  if (OnFileExists)
    OnFileExists(this, overwrite, entryDate, entrySize, fileName, cancel);
  else
    cancel = true;
}
void TGeneralArchiveControl::DoVolumeFound(const std::wstring& volumeName) {
  if (OnVolumeFound) OnVolumeFound(this, volumeName);
}
void TGeneralArchiveControl::DoAskVolume(int number, std::wstring& volumeName, uint8_t kind) {
  (void)number;
  if (OnAskVolume)
    OnAskVolume(this, kind != 0, volumeName);
  else
    volumeName.clear();
}
void TGeneralArchiveControl::DoAskPassword(const std::wstring& fileName, std::wstring& password) {
  if (OnAskPassword)
    OnAskPassword(this, fileName, password);
  else
    password.clear();
}
bool TGeneralArchiveControl::ForceDir(const std::wstring& path) {
  std::wstring created;
  bool ok = ForceFolders(path, created);
  if (!created.empty() && OnFolderCreated) OnFolderCreated(this, path);
  return ok;
}
void TGeneralArchiveControl::DoTotalProgress(int64_t totalSize, int64_t totalDone) {
  if (OnTotalProgress) OnTotalProgress(this, totalSize, totalDone);
}

bool TGeneralArchiveControl::IsFileSelected(const std::wstring& name) {
  if (AllSelected) return true;
  // The name as a folder entry, or lying inside a selected folder.
  const std::wstring asFolder = EndsWithBackslash(name) ? name : name + L'\\';
  int index = 0;
  if (FileList.Find(asFolder, index)) return true;
  if (index > 0) {
    const std::wstring& before = FileList[index - 1];
    if (EndsWithBackslash(before) && StartsWithText(before, name)) return true;
  }
  if (index < FileList.Count()) {
    const std::wstring& at = FileList[index];
    if (EndsWithBackslash(at) && StartsWithText(at, name)) return true;
  }
  if (EndsWithBackslash(name)) {
    std::wstring probe = name.substr(0, name.size() - 1);
    if (FileList.IndexOf(probe) >= 0) return true;
    while (!probe.empty()) {
      size_t p = probe.find_last_of(L'\\');
      if (p == std::wstring::npos) break;
      probe.resize(p);
      if (FileList.IndexOf(probe + L'\\') >= 0) return true;
    }
    return false;
  }
  auto matches = [](const std::wstring& pattern, std::wstring_view subject) {
    if (pattern.empty()) return true;
    if (EndsWithBackslash(pattern)) return StartsWithText(pattern, subject);
    return MatchWildcard(pattern, subject) == 1;
  };
  const std::wstring_view nameFolder = FolderPartOf(name), nameFile = FilePartOf(name);
  for (int i = 0; i < FileList.Count(); ++i) {
    const std::wstring& e = FileList[i];
    if (matches(e, name)) return true;
    std::wstring_view eFolder = FolderPartOf(e);
    if (!eFolder.empty() && SameText(eFolder, nameFolder) && matches(std::wstring(FilePartOf(e)), nameFile))
      return true;
  }
  return false;
}

void TGeneralArchiveControl::BeginOperation() {
  AllSelected = FileList.Count() == 0;
  for (int i = 0; i < FileList.Count() && !AllSelected; ++i)
    if (FileList[i] == L"*" || FileList[i] == L"*.*") AllSelected = true;
  ResultCode = arcOk;
  SkipAllErrors = false;
  FEntryFacts.reset();
}

TArcResultCode TGeneralArchiveControl::Extract() {
  BeginOperation();
  Extracting = true;
  return arcOk;
}

TArcResultCode TGeneralArchiveControl::Add() {
  BeginOperation();
  KeepMethod = false;
  return arcOk;
}

TArcResultCode TGeneralArchiveControl::Delete() {
  BeginOperation();
  return arcOk;
}

void TGeneralArchiveControl::SetDestFolder(const std::wstring& path) { DestFolder = IncludeTrailingBackslash(path); }

void TGeneralArchiveControl::SetFileList(const TStringList& list) {
  if (list.Text() == FileList.Text()) return;
  FileList.Clear();
  for (int i = 0; i < list.Count(); ++i) {
    // Names are never cut at ";": it is a legal character in a name.
    std::wstring s = Trim(list[i]);
    size_t start = 0;
    for (size_t j = 0; j <= s.size(); ++j) {
      if (j < s.size() && s[j] != L'\r' && s[j] != L'\n') continue;
      std::wstring piece = Trim(std::wstring_view(s).substr(start, j - start));
      if (!piece.empty()) FileList.Add(piece);
      start = j + 1;
    }
  }
}

void TGeneralArchiveControl::SetFileSpec(const std::wstring& fileMask) {
  FileList.Clear();
  size_t start = 0;
  for (size_t j = 0; j <= fileMask.size(); ++j) {
    if (j < fileMask.size() && fileMask[j] != L';' && fileMask[j] != L'\r' && fileMask[j] != L'\n') continue;
    std::wstring piece = Trim(std::wstring_view(fileMask).substr(start, j - start));
    if (!piece.empty()) FileList.Add(piece);
    start = j + 1;
  }
}

void TGeneralArchiveControl::PrepareSelection(TStringList& out, bool adding) const {
  out.Clear();
  for (int i = 0; i < FileList.Count(); ++i) {
    const std::wstring& e = FileList[i];
    if (!adding) {
      out.Add(e);
      if (EndsWithBackslash(e)) out.Add(e + L"*.*");
    } else if (EndsWithBackslash(e)) {
      std::wstring folder = SourceFolder + e;
      if (IsFolderEmpty(folder, false))
        out.Add(folder.substr(0, folder.size() - 1));
      else
        out.Add(folder + L"*.*");
    } else {
      out.Add(SourceFolder + e);
    }
  }
}

void TGeneralArchiveControl::MakeListFile(int kind, std::wstring& listName) {
  listName.clear();
  std::wstring text;
  for (int i = 0; i < FileList.Count(); ++i) {
    std::wstring e = FileList[i];
    if (kind == 1 || kind == 2) {
      if (EndsWithBackslash(e)) {
        if (kind == 1)
          e += L"*.*";
        else
          e.pop_back();
      }
      if (i > 0) text += L"\n\r";
      text += e;
    } else {
      text += e + L"\r\n";
    }
  }
  if (text.empty()) return;
  const std::string bytes = ListFileBytes(text);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring name = IncludeTrailingBackslash(WorkFolder) + MakeUniqueFileName(WorkFolder, L"_arc", false);
    TFileHandle h(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
      if (LastWinError("CreateFileW").Code == ERROR_FILE_EXISTS) continue;  // taken since the name was made
      break;
    }
    DWORD written = 0;
    bool ok = WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    ok = CloseChecked(h) && ok;
    if (!ok) {
      DeleteFileW(name.c_str());
      break;
    }
    listName = GetShortPath(name);
    return;
  }
  ShowErrorBox(LoadMessageText(3103));
}

bool TGeneralArchiveControl::RunArchiver(const std::wstring& exe, const std::wstring& params, const std::wstring& dir) {
  if (!ForceDir(dir)) {
    ShowErrorBox(LoadMessageText(30251));
    return false;
  }
  int code = RunProgram(exe.c_str(), params.c_str(), dir, SW_SHOWNORMAL, true);
  if (code == -1) {
    ShowErrorBox(LoadMessageText(10701) + L"\r\r<P>" + exe);
    return false;
  }
  return code == 0 || code == 255;
}

std::wstring TGeneralArchiveControl::ProgramFolder(const std::wstring& folder) {
  return ExcludeTrailingBackslashKeepRoot(folder);
}

std::wstring TGeneralArchiveControl::StripFolder(const std::wstring& fileName) const {
  const std::wstring& base = Extracting ? DestFolder : SourceFolder;
  if (!base.empty() && StartsWithText(base, fileName)) return fileName.substr(base.size());
  return fileName;
}

void TGeneralArchiveControl::CancelComponent() {
  if (Extractor) Extractor->SetCancel(true);
  if (Compressor) Compressor->SetCancel(true);
}

TArcResultCode TGeneralArchiveControl::EngineResult() const {
  if (Cancelled && UserStop) return arcCancelled;
  if (ResultCode == arcErrorsShown) return arcErrorsShown;
  return arcOk;
}

TArcResultCode TGeneralArchiveControl::GuardEngine(const std::function<TArcResultCode()>& body) {
  try {
    return body();
  } catch (const std::exception&) {
  } catch (...) {
  }
  if (Cancelled && UserStop) return arcCancelled;
  return ResultCode == arcErrorsShown ? arcErrorsShown : arcFailed;
}

bool TGeneralArchiveControl::AskDisk(const std::wstring& text) {
  return MessageBoxStd(L"", text, OkCancelButtons(), 3, 0, 1) == 0;
}

bool TGeneralArchiveControl::LookupEntry(const std::wstring& storedName, double& date, int64_t& size) {
  if (!FEntryFacts) {
    FEntryFacts = std::make_unique<TEntryFacts>();
    TArchive archive;
    if (archive.Open(ArchiveName, ArcType, StartOffset)) {
      ArcInfoRec rec;
      int guard = 0;
      for (bool ok = archive.FindFirst(rec); ok && guard < 1000000; ok = archive.FindNext(rec), ++guard) {
        std::wstring key = rec.Name;
        std::replace(key.begin(), key.end(), L'/', L'\\');
        FEntryFacts->ByName.emplace(LowerCase(key), std::make_pair(rec.DateTime, rec.Size));
      }
    }
  }
  std::wstring key = storedName;
  std::replace(key.begin(), key.end(), L'/', L'\\');
  auto it = FEntryFacts->ByName.find(LowerCase(key));
  if (it == FEntryFacts->ByName.end()) return false;
  TDateTime d = DosDateTimeToDateTime(it->second.first);
  date = d > 0 ? d : DosDateTimeToDateTime(0x00210000);
  size = it->second.second;
  return true;
}

// ---- Engine events ----

void TGeneralArchiveControl::HookLibraryEvents(TUnBase* extractor, TCompBase* compressor) {
  Extractor = extractor;
  Compressor = compressor;
  auto bindCommon = [this](TZipCommon* c) {
    if (!c) return;
    c->OnActivate = [this](TZipCommon*) {
      ArchiveBeginPending = true;
      CurrentIndex = -1;
      DoArchiveBegin(ArchiveName, -1, -1);
    };
    c->OnDeactivate = [](TZipCommon*) {};
    c->OnBegin = [this](TZipCommon* sender, const std::wstring& fileName, int count, bool&) {
      LastIndex = count;
      if (CurrentFileSize >= 0 && (!SameText(CurrentFile, fileName) || CurrentIndex != count))
        DoFileEnd(CurrentFileSize);
      FinishPasswordEntry();
      CurrentFile = fileName;
      CurrentFileSize = -1;
      CurrentIndex = count;
      DoFileBegin(fileName, -1, -1);
      if (Cancelled) sender->SetCancel(true);
    };
    c->OnEnd = [this](TZipCommon* sender, const std::wstring&, bool) {
      if (Cancelled) sender->SetCancel(true);
    };
    c->OnProgress = [this](TZipCommon* sender, uint8_t, uint8_t) {
      ElapsedTime = std::llround(sender->Timer.ElapsedSeconds());
      if (Extracting && CurrentFile.empty()) {
        CurrentFile = sender->EntryName;
        if (!StartsWithText(DestFolder, CurrentFile)) CurrentFile = DestFolder + CurrentFile;
      }
      if (Cancelled) sender->SetCancel(true);
      if (!Extracting && ArchiveBeginPending) {
        DoArchiveBegin(ArchiveName, std::llround(sender->BytesTotal), sender->Count);
        ArchiveBeginPending = false;
      }
      const int64_t total = std::llround(sender->ProgressFileTotal);
      const int64_t done = std::llround(sender->ProgressFileDone);
      if (CurrentFileSize < 0) {
        CurrentFileSize = total;
        ++FilesBegun;
        DoFileBegin(CurrentFile, CurrentFileSize, -1);
      }
      DoProgress(total, done);
    };
    c->OnElapsedTime = [](TZipCommon*, float) {};
    c->OnGetPassword = [this](TZipCommon*, const std::wstring& fileName, std::wstring& password, bool& tryAgain) {
      ++FPasswordAsks;
      DoAskPassword(StripFolder(fileName), password);
      if (password.empty()) {
        tryAgain = false;
        FPasswordWithheld = true;
      }
    };
    c->OnNextVolume = [this](TZipCommon*, std::wstring& volumeName, const std::wstring&, bool exists, bool& cancel) {
      bool go = exists;
      if (!go) go = AskDisk(volumeName + L"\r\r" + ArcFill(30257, volumeName));
      cancel = !go;
      if (go) {
        ArchiveName = volumeName;
        DoVolumeFound(volumeName);
      }
    };
    c->OnError = [this](TZipCommon*, const std::wstring& fileName, const std::wstring& extendedMsg,
                        const std::wstring&, int code) {
      if (code == zevInvalidPassword) {
        ++FPasswordErrors;
        return;
      }
      if (code == zevUserCanceled || SkipAllErrors) return;
      const std::wstring shortName = StripFolder(fileName);
      if (code == zevOpenError && EndsWithBackslash(shortName)) return;
      std::wstring text = extendedMsg.empty() ? WideFromAscii(EngineErrorText(code)) : extendedMsg;
      ResultCode = arcErrorsShown;
      int answer = MessageBoxStd(LoadMessageText(8) + L" " + std::to_wstring(code), fileName + L"\r\r" + text,
                                 LoadMessageText(13) + L"|" + LoadMessageText(14) + L"|" + LoadMessageText(2), 2, 0, 2);
      if (answer == 1) SkipAllErrors = true;
      if (answer != 0 && answer != 1) CancelComponent();
    };
  };
  bindCommon(extractor);
  bindCommon(compressor);
  if (extractor) {
    extractor->OnFileExists = [this](TZipCommon* sender, const std::wstring& fileName, std::wstring& newFileName,
                                     TOverwriteMode& mode) {
      auto* reader = static_cast<TUnBase*>(sender);
      double date = DosDateTimeToDateTime(0x00210000);
      int64_t size = 0;
      LookupEntry(reader->StoredName, date, size);
      bool cancel = false;
      std::wstring name = fileName;
      DoFileExists(OverwriteAnswer, cancel, date, size, name);
      if (cancel) {
        reader->SetCancel(true);
        mode = omSkip;
        return;
      }
      mode = OverwriteAnswer ? omOverwrite : omSkip;
      if (!SameText(name, fileName)) newFileName = name;
    };
    extractor->OnCorruptZipHeader = [](TZipCommon*, THeaderTypeState headFlag, bool& cancel) {
      if (headFlag & (htCentral | htEnding)) {
        cancel = false;
        return;
      }
      cancel = !AskYesNo(LoadMessageText(30253), true);
    };
    extractor->OnGetZipFirstDisk = [this](TZipCommon*, bool& cancel) { cancel = !AskDisk(LoadMessageText(30254)); };
    extractor->OnGetZipNextDisk = [this](TZipCommon*, const std::wstring& volumeName, bool& cancel) {
      cancel = !AskDisk(ArcFill(30255, volumeName));
    };
    extractor->OnGetZipLastDisk = [this](TZipCommon*, bool& cancel) { cancel = !AskDisk(LoadMessageText(30256)); };
    if (auto* gz = dynamic_cast<TUnGZip*>(extractor)) {
      gz->OnNestedTarFile = [this](TZipCommon*, const std::wstring&, bool& doUnTar) {
        doUnTar = AllSelected && AskYesNo(LoadMessageText(30252), true);
      };
    }
  }
  if (compressor) {
    compressor->OnReplaceFile = [](TZipCommon*, const std::wstring&, const std::wstring&, double, double, uint32_t,
                                   uint32_t, int, int, bool& replace) { replace = true; };
    compressor->OnRenameDupeFile = [](TZipCommon*, const std::wstring&, std::wstring&, bool& rename) {
      rename = false;
    };
    compressor->OnRead = [](TZipCommon*, int, int) {};
    compressor->OnNonWriteableArchive = [](TZipCommon*, const std::wstring&, bool&) {};
  }
}

void TGeneralArchiveControl::FinishPasswordEntry() {
  // An entry whose every password answer failed was skipped for its password.
  if (FPasswordErrors > 0 && FPasswordErrors >= FPasswordAsks && !FPasswordWithheld) FPasswordWrong = true;
  if (FPasswordWithheld) FPasswordRefused = true;
  FPasswordAsks = FPasswordErrors = 0;
  FPasswordWithheld = false;
}

void TGeneralArchiveControl::ResetRunState() {
  FPasswordAsks = FPasswordErrors = 0;
  FPasswordWithheld = FPasswordWrong = FPasswordRefused = false;
  CurrentFile.clear();
  CurrentFileSize = -1;
  CurrentIndex = -1;
  ArchiveBeginPending = false;
}

TArcResultCode TGeneralArchiveControl::ExtractResult() {
  FinishPasswordEntry();
  TArcResultCode r = EngineResult();
  if (r != arcOk) return r;
  if (FPasswordRefused) return arcCancelled;
  if (FPasswordWrong) return arcBadPassword;
  return arcOk;
}

// ---- Engine-driven operations ----

TArcResultCode TGeneralArchiveControl::LibraryAdd() {
  TCompBase* w = Compressor;
  if (!w) return arcFailed;  // no writer for this format: nothing was added
  ResetRunState();
  return GuardEngine([&] {
    w->Switch = MoveFiles ? swMove : swAdd;
    w->StoredDirNames = StorePaths ? sdExplorer : sdNone;
    if (SourceFolder.empty()) w->StoredDirNames = sdAbsoluteNoDrv;
    w->RecurseDirs = RecurseDirs;
    w->StoreEmptySubDirs = StoreEmptySubDirs;
    w->Password = Password;
    if (!KeepMethod) {
      if (CompressionLevel <= 0) {
        w->SetCompressMethod(cmStore);
      } else {
        w->SetCompressMethod(cmDeflate);
        w->DeflateType = static_cast<TDeflateType>(std::min(CompressionLevel, 4));
      }
    }
    w->Attributes = AttrSet({fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsDirectory, fsArchive});
    w->SetArchiveFile(ArchiveName);
    w->SetBaseDir(SourceFolder);
    w->ExplorerBaseDir = SourceFolder;
    w->ExcludeSpec.Clear();
    w->FileSpec.Clear();
    TStringList sel;
    PrepareSelection(sel, true);
    if (AllSelected)
      w->FileSpec.Add(L"*.*");
    else
      w->FileSpec.AddStrings(sel);
    w->UpdateArchive();
    return EngineResult();
  });
}

TArcResultCode TGeneralArchiveControl::LibraryExtract() {
  TUnBase* r = Extractor;
  if (!r) return arcFailed;  // no reader for this format
  ResetRunState();
  return GuardEngine([&] {
    r->ConfirmOverwrites = true;
    r->OverwriteMode = omSkip;
    r->CreateStoredDirs = true;
    r->UseStoredDirs = StorePaths;
    r->RestoreFileAttr = true;
    r->RecurseDirs = true;
    r->SetZipCmntBufSize(32000);
    if (!Password.empty()) r->Passwords.Add(Password);
    r->SetArchiveFile(ArchiveName);
    r->SetExtractDir(DestFolder);
    r->ExcludeSpec.Clear();
    r->FileSpec.Clear();
    TStringList sel;
    PrepareSelection(sel, false);
    if (AllSelected)
      r->FileSpec.Add(L"*.*");
    else
      r->FileSpec.AddStrings(sel);
    r->Extract();
    return ExtractResult();
  });
}

TArcResultCode TGeneralArchiveControl::LibraryDelete() {
  TCompBase* w = Compressor;
  if (!w) return arcFailed;  // no writer for this format: nothing was deleted
  ResetRunState();
  return GuardEngine([&] {
    w->Switch = swDelete;
    w->RecurseDirs = RecurseDirs;
    w->DeleteOptions = doFinal;
    w->StoreEmptySubDirs = true;
    w->Password = Password;
    w->Attributes = AttrSet({fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsDirectory, fsArchive});
    w->SetArchiveFile(ArchiveName);
    w->SetBaseDir(SourceFolder);
    w->ExcludeSpec.Clear();
    w->FileSpec.Clear();
    TStringList sel;
    PrepareSelection(sel, false);
    if (AllSelected)
      w->FileSpec.Add(L"*.*");
    else
      w->FileSpec.AddStrings(sel);
    int deleted = w->UpdateArchive();
    TArcResultCode res = EngineResult();
    if (res == arcOk && deleted <= 0) return arcFailed;
    return res;
  });
}
