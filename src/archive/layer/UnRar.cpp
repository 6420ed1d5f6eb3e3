// The RAR library driver.
#include "archive/layer/UnRar.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevGbls.h"
#include "archive/layer/ArcLibrary.h"
#include "archive/layer/UnRarApi.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"
#include "framework/Handles.h"

using namespace unrarapi;

std::wstring UnRarLibraryName = L"unrar.dll";

namespace {

struct TUnRarLibrary {
  TModuleHandle Handle;
  OpenArchiveFn OpenArchive = nullptr;
  CloseArchiveFn CloseArchive = nullptr;
  ReadHeaderFn ReadHeader = nullptr;
  ReadHeaderExFn ReadHeaderEx = nullptr;
  ProcessFileFn ProcessFile = nullptr;
  SetPasswordFn SetPassword = nullptr;
  SetChangeVolProcFn SetChangeVolProc = nullptr;
  SetProcessDataProcFn SetProcessDataProc = nullptr;
  SetCallbackFn SetCallback = nullptr;
};
TUnRarLibrary Lib;

// The library is freed when the program ends, if a run left it loaded.
struct TUnloadAtExit {
  ~TUnloadAtExit() { UnloadUnRarDll(); }
} UnloadAtExit;

// One extraction run. The library's callback carries no object, so the control being driven
// and the entry being written are held here; one RAR extraction runs at a time.
struct TRarRun {
  TGeneralArchiveControl* Control = nullptr;
  TFileHandle Out;
  int64_t Size = 0;
  int64_t Written = 0;
  bool WriteFailed = false;    // the output file took fewer bytes than given
  bool VolumeRefused = false;  // the user gave no name for a missing volume
};
TRarRun Run;

TArcResultCode OpenResultCode(UINT r) {
  switch (r) {
    case kNoMemory: return arcNoMemory;
    case kBadArchive: return arcBadArchive;
    case kOpenError: return arcOpenFailed;
    default: return arcFailed;
  }
}

TArcResultCode ProcessResultCode(int r) {
  switch (r) {
    case kBadData: return arcCrcError;
    case kBadArchive: return arcBadArchive;
    case kUnknownFormat: return arcBadFormat;
    case kOpenError: return arcOpenFailed;
    case kCreateError: return arcCreateFailed;
    case kCloseError: return arcCloseFailed;
    case kReadError: return arcReadError;
    case kWriteError: return arcWriteError;
    default: return arcFailed;
  }
}

int CALLBACK RarCallback(UINT msg, LPARAM, LPARAM p1, LPARAM p2) {
  TGeneralArchiveControl* c = Run.Control;
  if (!c) return -1;
  switch (msg) {
    case kMsgChangeVolume: {
      if (p2 != kVolumeAsk && p2 != kVolumeNotify) return 0;
      if (c->Cancelled) return -1;
      if (p2 == kVolumeNotify) {
        c->DoVolumeFound(LibraryText(reinterpret_cast<char*>(p1), kVolumeNameBuffer, false));
        return 1;
      }
      char* buffer = reinterpret_cast<char*>(p1);
      std::wstring name = LibraryText(buffer, kVolumeNameBuffer, false);
      c->DoAskVolume(-1, name, 0);
      const std::string bytes = name.empty() ? std::string() : LibraryPathBytes(name);
      if (bytes.empty() || bytes.size() >= kVolumeNameBuffer) {
        Run.VolumeRefused = name.empty();
        return -1;
      }
      std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
      c->DoVolumeFound(name);
      return 1;
    }
    case kMsgProcessData: {
      const int64_t n = static_cast<int64_t>(p2);
      if (n < 0 || (n > 0 && !p1)) return -1;
      if (!Run.Out) {
        // Data passed over (an entry skipped in a solid archive): only the total moves.
        Run.Written += n;
        c->DoTotalProgress(Run.Size, Run.Written);
        return 1;
      }
      if (c->Cancelled) return -1;
      Run.Written += n;
      c->DoProgress(Run.Size, Run.Written);
      const char* data = reinterpret_cast<const char*>(p1);
      for (int64_t done = 0; done < n;) {
        const DWORD part = static_cast<DWORD>(std::min<int64_t>(n - done, 1 << 30));
        DWORD wrote = 0;
        if (!WriteFile(Run.Out.get(), data + done, part, &wrote, nullptr) || wrote != part) {
          Run.WriteFailed = true;
          return -1;
        }
        done += part;
      }
      return 1;
    }
    case kMsgNeedPassword:
      return 0;  // the password was set before the entry was processed
    default:
      return 0;
  }
}

void CloseOutput() { Run.Out.reset(); }

// One entry: decides what to do with it, asks the control's questions, lets the library process
// it and finishes the output file. Sets stop when the run must end; returns the entry's result.
TArcResultCode ProcessEntry(TGeneralArchiveControl& c, HANDLE archive, const HeaderData& hd, bool& stop) {
  int operation = kTest;
  Run.Out.reset();
  Run.Size = hd.UnpSize;
  Run.Written = 0;
  Run.WriteFailed = false;
  const int64_t size = hd.UnpSize;
  const bool folder = (hd.FileAttr & kAttrFolder) != 0;

  // The stored name, made safe: no drive, no root, no "." or ".." (it can never leave the
  // target folder); without stored paths only its file-name part.
  const std::wstring stored = TZipCommon::SafeRelativeName(LibraryText(hd.FileName, sizeof hd.FileName, true));
  const std::wstring name = c.StorePaths ? stored : std::wstring(LibraryFilePart(stored));
  std::wstring target = c.DestFolder + name;

  if (name.empty() || !c.IsFileSelected(folder ? stored + L"\\" : stored)) {
    operation = kSkip;
  } else if (!folder) {
    c.DoFileBegin(name, size, hd.PackSize);
    if (c.StorePaths && !c.ForceDir(target.substr(0, target.find_last_of(L'\\')))) {
      stop = true;
      return arcMkDirFailed;
    }
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      bool cancel = false;
      c.DoFileExists(c.OverwriteAnswer, cancel, DosDateTimeToDateTime(static_cast<int32_t>(hd.FileTime)), size,
                     target);
      if (cancel) {
        stop = true;
        return arcCancelled;
      }
      if (!c.OverwriteAnswer) operation = kSkip;
    }
    if (operation == kSkip) {
      c.DoProgress(size, size);
      c.DoFileEnd(size);
    }
  } else if (c.StorePaths && !c.ForceDir(ExcludeTrailingBackslash(target))) {
    stop = true;
    return arcMkDirFailed;
  }

  // The password is asked before anything is created, so that a refusal leaves no file.
  if ((hd.Flags & kFlagEncrypted) && ((hd.Flags & kFlagSolid) || operation == kTest)) {
    c.DoAskPassword(name.empty() ? stored : name, c.Password);
    if (c.Password.empty()) {
      stop = true;
      return arcCancelled;
    }
    std::string bytes;
    WideToAnsi(c.Password, bytes);
    Lib.SetPassword(archive, bytes.data());
  }

  if (operation == kTest && !folder) {
    Run.Out.reset(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!Run.Out) {
      stop = true;
      return arcCreateFailed;
    }
  }

  const int r = Lib.ProcessFile(archive, operation, nullptr, nullptr);
  TArcResultCode result = arcOk;
  if (Run.Out) {
    if (r == 0) {
      c.DoFileEnd(size);
      FILETIME ft{};
      DosDateTimeToUtcFileTime(static_cast<int32_t>(hd.FileTime), ft);
      if (!SetFileTime(Run.Out.get(), &ft, &ft, &ft)) {
        CloseOutput();
        stop = true;
        return arcFailed;
      }
    }
    const bool closed = CloseChecked(Run.Out);
    if (r != 0 || !closed) {
      // What did not end with the library's success is not left behind under the entry's name.
      DeleteFileW(target.c_str());
      if (r == 0) {
        stop = true;
        return arcCloseFailed;
      }
    } else {
      const DWORD attr = hd.FileAttr & 0x27;
      if (!SetFileAttributesW(target.c_str(), attr ? attr : FILE_ATTRIBUTE_NORMAL)) {
        stop = true;
        return arcFailed;
      }
    }
  }
  if (r != 0) {
    stop = true;
    result = Run.WriteFailed ? arcWriteError : Run.VolumeRefused ? arcCancelled : ProcessResultCode(r);
  }
  return result;
}

}  // namespace

bool UnRarDllLoaded() { return static_cast<bool>(Lib.Handle); }

bool LoadUnRarDll() {
  if (Lib.Handle) return true;
  TUnRarLibrary l;
  l.Handle.reset(LoadArchiveLibrary(UnRarLibraryName));
  const HMODULE m = l.Handle.get();
  if (!m) return false;
  const bool all = ResolveExport(m, "RAROpenArchive", l.OpenArchive) &
                   ResolveExport(m, "RARCloseArchive", l.CloseArchive) &
                   ResolveExport(m, "RARReadHeader", l.ReadHeader) &
                   ResolveExport(m, "RARReadHeaderEx", l.ReadHeaderEx) &
                   ResolveExport(m, "RARProcessFile", l.ProcessFile) &
                   ResolveExport(m, "RARSetPassword", l.SetPassword) &
                   ResolveExport(m, "RARSetChangeVolProc", l.SetChangeVolProc) &
                   ResolveExport(m, "RARSetProcessDataProc", l.SetProcessDataProc) &
                   ResolveExport(m, "RARSetCallback", l.SetCallback);
  if (!all) return false;  // l frees the library
  Lib = std::move(l);
  return true;
}

void UnloadUnRarDll() { Lib = TUnRarLibrary{}; }

TArcResultCode RarDllRun(TGeneralArchiveControl& c) {
  c.Extracting = true;
  if (!LoadUnRarDll()) return arcDllNotLoaded;

  std::string arcName = LibraryPathBytes(c.ArchiveName);
  std::vector<char> comment(16384);
  OpenArchiveData od{};
  od.ArcName = arcName.data();
  od.OpenMode = kOpenExtract;
  od.CmtBuf = comment.data();
  od.CmtBufSize = static_cast<UINT>(comment.size());
  HANDLE archive = arcName.empty() ? nullptr : Lib.OpenArchive(&od);
  if (!archive || od.OpenResult != 0) {
    if (archive) Lib.CloseArchive(archive);
    const TArcResultCode r = arcName.empty() ? arcOpenFailed : OpenResultCode(od.OpenResult);
    UnloadUnRarDll();
    return r;
  }

  Run = TRarRun{};
  Run.Control = &c;
  Lib.SetCallback(archive, RarCallback, 0);
  c.DoArchiveBegin(c.ArchiveName, 0, 0);

  HeaderData hd{};
  int header = Lib.ReadHeader(archive, &hd);
  TArcResultCode result = arcOk;
  bool stop = false;
  if (header == 0 && !c.StorePaths && !c.ForceDir(ExcludeTrailingBackslash(c.DestFolder))) {
    result = arcMkDirFailed;
    stop = true;
  }
  while (!stop && header == 0 && !c.Cancelled) {
    result = ProcessEntry(c, archive, hd, stop);
    if (stop) break;
    hd = HeaderData{};
    header = Lib.ReadHeader(archive, &hd);
  }
  if (!stop && header != 0) {
    // The end of the archive is success; a header the library could not read, a volume that
    // could not be opened or any other failure is not.
    if (header == kEndArchive)
      result = arcOk;
    else if (Run.VolumeRefused)
      result = arcCancelled;
    else if (header == kBadData)
      result = arcFailed;
    else
      result = ProcessResultCode(header);
  }
  if (c.Cancelled && c.UserStop) result = arcCancelled;
  CloseOutput();
  Lib.CloseArchive(archive);
  UnloadUnRarDll();
  Run = TRarRun{};
  return result;
}
