// The ACE library driver.
#include "archive/layer/UnAceV2.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevGbls.h"
#include "archive/layer/ArcLibrary.h"
#include "archive/layer/UnAceApi.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"
#include "framework/Handles.h"

using namespace unaceapi;

std::wstring UnAceLibraryName = L"UnAceV2.Dll";

namespace {

struct TUnAceLibrary {
  TModuleHandle Handle;
  InitDllFn InitDll = nullptr;
  ReadArchiveDataFn ReadArchiveData = nullptr;
  ListFn List = nullptr;
  TestFn Test = nullptr;
  ExtractFn Extract = nullptr;
};
TUnAceLibrary Lib;

struct TUnloadAtExit {
  ~TUnloadAtExit() { UnloadUnAceDll(); }
} UnloadAtExit;

// The file list handed to the library (with its final zero) and the comment buffer.
constexpr size_t kListBufferSize = 32768;
char AceListBuffer[kListBufferSize];
char AceCommentBuffer[8192];
char AceTempDir[256];

// One extraction run. The library's callbacks carry no object, so the control being driven and
// the run's state are held here; one ACE extraction runs at a time.
struct TAceRun {
  TGeneralArchiveControl* Control = nullptr;
  uint8_t AceResult = arcOk;
  bool Filtering = false;      // the list did not fit: every file is checked here
  bool HaveCurrent = false;    // a file was begun and not yet ended
  bool CurrentDone = false;    // the library moved past it
  std::wstring CurrentName, CurrentTarget;
  int64_t CurrentSize = 0;
  std::vector<std::wstring> Failed;  // outputs that did not end well: removed after the run
  bool StopAnswered = false;   // a callback answered "cancel" for the control's stop request
  bool UserRefused = false;    // a question of the user was answered with cancel
};
TAceRun Run;

bool IsFolderName(std::wstring_view s) { return !s.empty() && (s.back() == L'\\' || s.back() == L'/'); }

std::wstring EntryName(const TGeneralArchiveControl& c, const char* stored) {
  std::wstring name = LibraryText(stored, kNameBuffer, true);
  std::replace(name.begin(), name.end(), L'/', L'\\');
  return c.StorePaths ? name : std::wstring(LibraryFilePart(name));
}

void FailCurrent() {
  if (Run.HaveCurrent && !Run.CurrentTarget.empty()) Run.Failed.push_back(Run.CurrentTarget);
}

int CALLBACK InfoProc(CallbackInfo*) { return kAnswerOk; }

int CALLBACK ErrorProc(CallbackInfo* info) {
  if (!info || !Run.Control) return kAnswerCancel;
  const ULONG code = info->Head.Code;
  switch (info->Head.StructureType) {
    case kKindGlobal:
      Run.AceResult = code == kErrMemory ? arcNoMemory : code == kErrUncompressed ? arcWriteError : arcFailed;
      FailCurrent();
      return kAnswerCancel;
    case kKindArchive: {
      uint8_t r;
      switch (code) {
        case kErrArchive: r = arcFailed; break;
        case kErrOpen: r = arcOpenFailed; break;
        case kErrRead: r = arcReadError; break;
        case kErrCrc: r = arcCrcError; break;
        case kErrBroken: r = arcBadArchive; break;
        // Not failures: an earlier error is kept.
        case kErrNoFiles:
        case kErrAborted: return kAnswerOk;
        default: return kAnswerCancel;
      }
      Run.AceResult = r;
      FailCurrent();
      return kAnswerOk;
    }
    case kKindArchivedFile: {
      uint8_t r;
      switch (code) {
        case kErrCreate: r = arcCreateFailed; break;
        case kErrWrite:
        case kErrSeek:
        case kErrClose: r = arcWriteError; break;
        case kErrFileGeneral: r = arcFailed; break;
        case kErrDiskFull: r = arcDiskFull; break;
        default: return kAnswerCancel;
      }
      Run.AceResult = r;
      const FileData* f = info->ArchivedFile.File;
      const std::wstring name = f ? EntryName(*Run.Control, f->SourceFileName) : std::wstring();
      if (Run.HaveCurrent && (name.empty() || name == Run.CurrentName))
        FailCurrent();
      else if (!name.empty() && !StoredNameEscapes(name))
        Run.Failed.push_back(Run.Control->DestFolder + name);
      return kAnswerOk;
    }
    default:
      return kAnswerCancel;
  }
}

int CALLBACK RequestProc(CallbackInfo* info) {
  TGeneralArchiveControl* c = Run.Control;
  if (!info || !c) return kAnswerCancel;
  const ULONG code = info->Head.Code;
  if (info->Head.StructureType == kKindArchive && code == kReqNextVolume) {
    ArchiveData* a = info->Archive.Archive;
    if (!a || !a->ArchiveName) return kAnswerCancel;
    std::wstring name = LibraryText(a->ArchiveName, kNameBuffer, false);
    if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
      c->DoAskVolume(-1, name, 0);
      if (name.empty()) {
        Run.UserRefused = true;
        return kAnswerCancel;
      }
      const std::string bytes = LibraryPathBytes(name);
      if (bytes.empty() || bytes.size() >= kNameBuffer) return kAnswerCancel;
      std::memcpy(a->ArchiveName, bytes.c_str(), bytes.size() + 1);
    }
    c->DoVolumeFound(name);
    return kAnswerOk;
  }
  if (info->Head.StructureType != kKindArchivedFile) return kAnswerCancel;
  switch (code) {
    case kReqOverwrite:
    case kReqOverwriteSystem:
      return Run.AceResult == arcCancelled ? kAnswerCancel : kAnswerOk;
    case kReqPassword: {
      const FileData* f = info->ArchivedFile.File;
      GlobalData* g = info->ArchivedFile.Global;
      c->DoAskPassword(f ? EntryName(*c, f->SourceFileName) : std::wstring(), c->Password);
      if (c->Password.empty()) {
        Run.AceResult = arcCancelled;
        Run.UserRefused = true;
        return kAnswerCancel;
      }
      std::string bytes;
      WideToAnsi(c->Password, bytes);
      if (!g || !g->DecryptPassword || bytes.size() >= kPasswordBuffer) return kAnswerCancel;
      std::memcpy(g->DecryptPassword, bytes.c_str(), bytes.size() + 1);
      return kAnswerOk;
    }
    default:
      return kAnswerOk;
  }
}

// A file begins (list, test, analyse or extract).
int FileBegins(TGeneralArchiveControl& c, ULONG operation, FileData* f) {
  if (!f) return kAnswerCancel;
  const std::wstring name = EntryName(c, f->SourceFileName);
  const bool extracting = operation == kOpExtract;
  // A name that would leave the target folder is never written; passing over it (analysis of a
  // solid archive) writes nothing.
  if (extracting && (name.empty() || StoredNameEscapes(name))) return kAnswerSkip;
  if (extracting && Run.Filtering && !c.IsFileSelected(LibraryText(f->SourceFileName, kNameBuffer, true)))
    return kAnswerSkip;
  std::wstring target = c.DestFolder + name;
  const int64_t size = static_cast<int64_t>(f->Size);
  if ((f->Attributes & 0x10) || IsFolderName(name)) {
    if (c.StorePaths && extracting && !c.ForceDir(ExcludeTrailingBackslash(target))) {
      Run.AceResult = arcMkDirFailed;
      return kAnswerOk;
    }
    return kAnswerSkip;
  }
  if (extracting && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    bool cancel = false;
    c.DoFileExists(c.OverwriteAnswer, cancel, DosDateTimeToDateTime(static_cast<int32_t>(f->Time)), size, target);
    if (cancel) {
      Run.AceResult = arcCancelled;
      Run.UserRefused = true;
      return kAnswerCancel;
    }
    if (!c.OverwriteAnswer) return kAnswerSkip;
    const std::string bytes = LibraryPathBytes(std::wstring(LibraryFilePart(target)));
    if (!f->DestinationFileName || bytes.empty() || bytes.size() >= kNameBuffer) return kAnswerSkip;
    std::memcpy(f->DestinationFileName, bytes.c_str(), bytes.size() + 1);
  }
  if (operation == kOpAnalyse) {
    if (Run.HaveCurrent) c.DoFileEnd(Run.CurrentSize);
    Run.HaveCurrent = false;
    c.DoTotalProgress(size, 0);
    return kAnswerOk;
  }
  if (Run.HaveCurrent && Run.CurrentName != name) {
    Run.CurrentDone = true;
    c.DoFileEnd(Run.CurrentSize);
    Run.HaveCurrent = false;
    // The end may have been the last chosen file: the stop then comes before the next begins.
    if (c.Cancelled) {
      Run.StopAnswered = true;
      return kAnswerCancel;
    }
  }
  Run.HaveCurrent = true;
  Run.CurrentDone = false;
  Run.CurrentName = name;
  Run.CurrentTarget = extracting ? target : std::wstring();
  Run.CurrentSize = size;
  c.DoFileBegin(name, size, static_cast<int64_t>(f->CompressedSize));
  return kAnswerOk;
}

int CALLBACK StateProc(CallbackInfo* info) {
  TGeneralArchiveControl* c = Run.Control;
  if (!info || !c) return kAnswerCancel;
  const ULONG kind = info->Head.StructureType, code = info->Head.Code;
  if (c->Cancelled) {
    // Stopped at the begin of another file: the library was done with the current one.
    if (kind == kKindArchivedFile && code == kStateFileBegin && Run.HaveCurrent && info->ArchivedFile.File &&
        EntryName(*c, info->ArchivedFile.File->SourceFileName) != Run.CurrentName)
      Run.CurrentDone = true;
    Run.StopAnswered = true;
    return kAnswerCancel;
  }
  if (kind == kKindArchive && code == kStateArchiveBegin && info->Archive.Operation == kOpExtract) {
    const ArchiveData* a = info->Archive.Archive;
    c->DoArchiveBegin(a ? LibraryText(a->ArchiveName, kNameBuffer, false) : c->ArchiveName, 0, 0);
  } else if (kind == kKindArchivedFile && code == kStateFileBegin) {
    return FileBegins(*c, info->ArchivedFile.Operation, info->ArchivedFile.File);
  } else if (kind == kKindProgress && code == kStateProgress && info->Progress.Operation != kOpAnalyse) {
    if (const ProgressData* p = info->Progress.Progress)
      c->DoProgress(static_cast<int64_t>(p->FileSize), static_cast<int64_t>(p->FileProcessedSize));
  }
  return kAnswerOk;
}

TArcResultCode LibraryResultCode(int r) {
  switch (r) {
    case kResultMemory: return arcNoMemory;
    case kResultDiskFull: return arcDiskFull;
    case kResultOpen: return arcOpenFailed;
    case kResultRead: return arcReadError;
    case kResultWrite: return arcWriteError;
    case kResultCrc: return arcCrcError;
    case kResultUserAbort: return arcCancelled;
    default: return arcFailed;
  }
}

// The selection as the library's list: entries joined by CR, a folder entry with "*.*"
// appended. False when it does not fit (or a name has no form in the code page).
bool FillList(const TGeneralArchiveControl& c) {
  AceListBuffer[0] = 0;
  if (c.AllSelected) return true;
  std::string list;
  for (int i = 0; i < c.FileList.Count(); ++i) {
    std::wstring e = c.FileList[i];
    if (IsFolderName(e)) e += L"*.*";
    std::string bytes;
    if (!WideToOem(e, bytes)) return false;
    if (i > 0) list += '\r';
    list += bytes;
  }
  if (list.size() >= kListBufferSize) return false;
  std::memcpy(AceListBuffer, list.c_str(), list.size() + 1);
  return true;
}

}  // namespace

bool UnAceDllLoaded() { return static_cast<bool>(Lib.Handle); }

bool LoadUnAceDll(const std::wstring& dir) {
  if (Lib.Handle) return true;
  const std::wstring file = dir.empty() || dir.back() == L'\\' ? dir + UnAceLibraryName : dir + L"\\" + UnAceLibraryName;
  TUnAceLibrary l;
  l.Handle.reset(LoadArchiveLibrary(file));
  const HMODULE m = l.Handle.get();
  if (!m) return false;
  const bool all = ResolveExport(m, "ACEInitDll", l.InitDll) & ResolveExport(m, "ACEReadArchiveData", l.ReadArchiveData) &
                   ResolveExport(m, "ACEList", l.List) & ResolveExport(m, "ACETest", l.Test) &
                   ResolveExport(m, "ACEExtract", l.Extract);
  if (!all) return false;  // l frees the library
  Lib = std::move(l);
  return true;
}

void UnloadUnAceDll() { Lib = TUnAceLibrary{}; }

int AceDllExtract(const std::wstring& archiveName, const std::wstring& destDir, const std::wstring& password,
                  bool excludePath) {
  if (!Lib.Extract) return kResultMemory;
  std::string archive = LibraryPathBytes(archiveName), dest = LibraryPathBytes(destDir), pass;
  if (archive.empty() || dest.empty()) return kResultOpen;
  WideToAnsi(password, pass);
  char empty[1] = {0};
  ExtractData d{};
  d.Files.SourceDir = empty;
  d.Files.FileList = AceListBuffer;
  d.Files.ExcludeList = empty;
  d.Files.FullMatch = FALSE;
  d.DestinationDir = dest.data();
  d.ExcludePath = excludePath ? TRUE : FALSE;
  d.DecryptPassword = pass.data();
  return Lib.Extract(archive.data(), &d);
}

TArcResultCode AceDllRun(TGeneralArchiveControl& c) {
  c.Extracting = true;
  c.AllowRename = false;
  Run = TAceRun{};
  Run.Control = &c;
  struct TEnd {
    ~TEnd() { Run = TAceRun{}; }
  } end;

  if (!c.ForceDir(ExcludeTrailingBackslash(c.DestFolder))) return arcMkDirFailed;
  if (!LoadUnAceDll(L"")) return arcDllNotLoaded;
  InitDllData init{};
  init.Global.MaxArchiveTestBytes = 0x1FFFF;
  init.Global.MaxFileBufSize = 0x2FFFF;
  init.Global.CommentBuf = AceCommentBuffer;
  init.Global.CommentBufSize = 8191;
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  std::string tempBytes = n ? LibraryPathBytes(std::wstring(temp, std::min<DWORD>(n, 255))) : std::string();
  lstrcpynA(AceTempDir, tempBytes.c_str(), sizeof AceTempDir);
  init.Global.TempDir = AceTempDir;
  init.Global.InfoCallback = InfoProc;
  init.Global.ErrorCallback = ErrorProc;
  init.Global.RequestCallback = RequestProc;
  init.Global.StateCallback = StateProc;
  if (Lib.InitDll(&init) != 0) {
    UnloadUnAceDll();
    return arcDllNotLoaded;
  }

  Run.Filtering = !FillList(c);
  c.DoArchiveBegin(c.ArchiveName, 0, 0);
  const int r = AceDllExtract(c.ArchiveName, c.DestFolder, c.Password, !c.StorePaths);
  UnloadUnAceDll();

  if (r != 0 && Run.AceResult == arcOk) Run.AceResult = LibraryResultCode(r);
  if (Run.HaveCurrent) {
    const bool failed = std::find(Run.Failed.begin(), Run.Failed.end(), Run.CurrentTarget) != Run.Failed.end();
    if (r == 0 && !failed)
      c.DoFileEnd(Run.CurrentSize);  // the last file ended with the run
    else if (r != 0 && !Run.CurrentDone)
      FailCurrent();  // the run broke off inside it
  }
  // What did not end with the library's success is not left behind under the entry's name.
  for (const std::wstring& f : Run.Failed) DeleteFileW(f.c_str());

  uint8_t result = Run.AceResult;
  if (c.Cancelled) {
    if (c.UserStop)
      result = arcCancelled;
    else if (result == arcCancelled && Run.StopAnswered && !Run.UserRefused)
      result = arcOk;  // the automatic stop once every chosen file was done
  }
  return static_cast<TArcResultCode>(result);
}
