#include <windows.h>

#include <shellapi.h>

#include "archive/engine/zevFileIo.h"
#include "archive/engine/zevStreams.h"
#include "foundation/TextCodec.h"

namespace {
struct ErrorModeScope {
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ~ErrorModeScope() { SetErrorMode(old); }
};

// The handle for a mode, or INVALID_HANDLE_VALUE.
HANDLE OpenByMode(const std::wstring& fileName, uint16_t mode) {
  ErrorModeScope em;
  if (mode == fmCreate)
    return CreateFileW(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  static const DWORD access[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD share[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  unsigned a = mode & 3, s = (mode & 0xF0) >> 4;
  if (a > 2 || s > 4) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(fileName.c_str(), access[a], share[s], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring FolderOf(const std::wstring& path) {
  size_t p = path.find_last_of(L"\\/:");
  if (p == std::wstring::npos) return L".";
  if (path[p] == L':') return path.substr(0, p + 1);
  return path.substr(0, p == 0 || (p == 2 && path[1] == L':') ? p + 1 : p);
}

std::wstring FullName(const std::wstring& path) {
  wchar_t buf[MAX_PATH * 2];
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buf, nullptr);
  return n == 0 || n >= MAX_PATH * 2 ? path : std::wstring(buf, n);
}

int ErrorFor(DWORD error) { return error == ERROR_WRITE_PROTECT ? zevWriteProtected : zevCreateError; }
}  // namespace

// ---- THandleStream32 ----

int32_t THandleStream32::Read(void* buffer, int32_t count) {
  DWORD got = 0;
  if (count <= 0 || !ReadFile(FHandle, buffer, static_cast<DWORD>(count), &got, nullptr)) return 0;
  return static_cast<int32_t>(got);
}

int32_t THandleStream32::Write(const void* buffer, int32_t count) {
  DWORD done = 0;
  if (count <= 0 || !WriteFile(FHandle, buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return static_cast<int32_t>(done);
}

int64_t THandleStream32::Seek(int64_t offset, TSeekOrigin32 origin) {
  LARGE_INTEGER d, r;
  d.QuadPart = offset;
  static const DWORD method[3] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  if (origin < soFromBeginning || origin > soFromEnd) return -1;
  if (!SetFilePointerEx(FHandle, d, &r, method[origin])) return -1;
  return r.QuadPart;
}

void THandleStream32::SetSize(int64_t newSize) {
  if (Seek(newSize, soFromBeginning) != newSize || !SetEndOfFile(FHandle)) throw EWriteError();
}

// ---- TFileStream32 ----

TFileStream32::TFileStream32(const std::wstring& fileName, uint16_t mode) : THandleStream32(nullptr) {
  HANDLE h = OpenByMode(fileName, mode);
  if (h == INVALID_HANDLE_VALUE) {
    if (mode == fmCreate) throw EFCreateError("Cannot create file \"" + WideToUtf8(fileName) + "\"");
    throw EFOpenError("Cannot open file \"" + WideToUtf8(fileName) + "\"");
  }
  TakeFile(h);
}

TFileStream32::~TFileStream32() { CloseFile(); }

void TFileStream32::CloseFile() {
  FOwned.reset();
  FHandle = nullptr;
}

bool TFileStream32::CloseFileChecked() {
  FHandle = nullptr;
  return CloseChecked(FOwned);
}

TzevReadStream::TzevReadStream(const std::wstring& fileName, uint16_t mode, HANDLE& handle) {
  HANDLE h = OpenByMode(fileName, mode);
  if (h == INVALID_HANDLE_VALUE) {
    if (mode == fmCreate) throw EFCreateError(EngineErrorText(zevCreateError), zevCreateError);
    throw EFOpenError(EngineErrorText(zevOpenError), zevOpenError);
  }
  TakeFile(h);
  handle = h;
}

// ---- TTempFileStream ----

TTempFileStream::TTempFileStream(uint16_t mode, const std::wstring& targetName, const std::wstring& tempDir)
    : FTargetName(targetName) {
  if (mode != fmCreate) {
    HANDLE h = OpenByMode(targetName, mode);
    if (h == INVALID_HANDLE_VALUE) throw EFOpenError(EngineErrorText(zevOpenError), zevOpenError);
    TakeFile(h);
    return;
  }
  FTempName = MakeTempFileName(tempDir.empty() ? SystemTempPath() : tempDir);
  HANDLE h = FTempName.empty() ? INVALID_HANDLE_VALUE : OpenByMode(FTempName, fmCreate);
  if (h == INVALID_HANDLE_VALUE) {
    if (!FTempName.empty()) DeleteFileW(FTempName.c_str());
    throw EFCreateError(EngineErrorText(zevCreateError), zevCreateError);
  }
  TakeFile(h);
  FTemporary = true;
}

TTempFileStream::~TTempFileStream() {
  if (FTemporary) Discard();
}

void TTempFileStream::Discard() {
  CloseFile();
  if (FTemporary && !FTempName.empty()) DeleteFileW(FTempName.c_str());
  FTemporary = false;
}

int TTempFileStream::Close() {
  if (!FTemporary || FClosed) return 0;
  ErrorModeScope em;
  bool flushed = FlushFileBuffers(FHandle);
  bool closed = CloseFileChecked();
  FClosed = true;
  return flushed && closed ? 0 : zevCloseError;
}

int TTempFileStream::Commit() {
  if (!FTemporary) {
    CloseFile();
    return 0;
  }
  ErrorModeScope em;
  if (int rc = Close()) {
    Discard();
    return rc;
  }
  if (!Keep || FTargetName.empty()) {
    Discard();
    return 0;
  }
  const std::wstring target = FullName(FTargetName);
  // The new file first lands in the target's folder, so that the last step is a rename on one
  // volume; a temporary folder on another volume means a copy here.
  std::wstring beside = FTempName;
  std::wstring folder = FolderOf(target);
  if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, FolderOf(FullName(FTempName)).c_str(), -1, folder.c_str(),
                     -1) != CSTR_EQUAL) {
    wchar_t buf[MAX_PATH + 1];
    if (!GetTempFileNameW(folder.c_str(), L"wm", 0, buf)) {
      int code = ErrorFor(GetLastError());
      Discard();
      return code;
    }
    beside = buf;
    if (!MoveFileExW(FTempName.c_str(), beside.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
      int code = ErrorFor(GetLastError());
      DeleteFileW(beside.c_str());
      Discard();
      return code;
    }
    FTempName = beside;
  }
  DWORD attr = GetFileAttributesW(target.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if ((attr & FILE_ATTRIBUTE_DIRECTORY) || !SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL)) {
      int code = ErrorFor(GetLastError());
      Discard();
      return code;
    }
    bool replaced;
    if (DeleteOptions == doFinal) {
      // One step: the old file stays until the new one has its name.
      replaced = MoveFileExW(beside.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    } else {
      replaced = DeleteFileEx(target, doAllowUndo);
      if (replaced && !MoveFileExW(beside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        // The old archive is in the recycle bin; the new one stays under its temporary name.
        FTemporary = false;
        return ErrorFor(GetLastError());
      }
    }
    if (!replaced) {
      int code = ErrorFor(GetLastError());
      SetFileAttributesW(target.c_str(), attr);
      Discard();
      return code;
    }
  } else if (!MoveFileExW(beside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    int code = ErrorFor(GetLastError());
    Discard();
    return code;
  }
  FTemporary = false;
  return 0;
}

// ---- Deleting ----

bool DeleteFileEx(const std::wstring& fileName, TDeleteOptions options) {
  ErrorModeScope em;
  if (options == doFinal) return DeleteFileW(fileName.c_str());
  if (GetFileAttributesW(fileName.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  std::wstring from = FullName(fileName);
  from.push_back(L'\0');  // the list ends with two zeros
  SHFILEOPSTRUCTW op{};
  op.hwnd = nullptr;
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted &&
         GetFileAttributesW(fileName.c_str()) == INVALID_FILE_ATTRIBUTES;
}
