#include "archive/engine/zevFileIo.h"

#include "archive/engine/zevGbls.h"
#include "framework/FolderEnum.h"

namespace {
struct ErrorModeScope {
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ~ErrorModeScope() { SetErrorMode(old); }
};

HANDLE OpenChecked(const std::wstring& fileName, DWORD access, DWORD share, DWORD disposition,
                   const TzevErrorSink& onError) {
  ErrorModeScope em;
  HANDLE h = CreateFileW(fileName.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && onError) onError(fileName, zevOpenError);
  return h;
}
}  // namespace

bool DirectoryExists(const std::wstring& path) {
  ErrorModeScope em;
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExistsByFind(const std::wstring& path) {
  ErrorModeScope em;
  WIN32_FIND_DATAW fd;
  return TFolderEnum::FindExact(path.c_str(), fd);
}

bool IsDirEmpty(const std::wstring& dir) {
  ErrorModeScope em;
  TFolderEnum list(dir);
  return list.begin() == list.end();
}

bool IsWriteable(const std::wstring& path) {
  ErrorModeScope em;
  DWORD a = GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  return !(a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
}

bool ForceDirs(const std::wstring& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  ErrorModeScope em;
  std::wstring p = RemoveBackslash(SlashToBackslash(path));
  // Skip the root: "C:\" or "\\server\share\".
  size_t start = 0;
  if (IsUNC(p)) {
    size_t s = p.find(L'\\', 2);
    start = s == std::wstring::npos ? p.size() : p.find(L'\\', s + 1);
    if (start == std::wstring::npos) start = p.size();
  } else if (p.size() >= 2 && p[1] == L':') {
    start = p.size() > 2 && p[2] == L'\\' ? 3 : 2;
  }
  for (size_t i = start; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == L'\\') {
      std::wstring part = p.substr(0, i);
      if (!part.empty() && part.back() != L'\\' && part.back() != L':' && !DirectoryExists(part))
        CreateDirectoryW(part.c_str(), nullptr);
    }
  }
  return DirectoryExists(p);
}

std::wstring SystemTempPath() {
  wchar_t buf[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return {};
  return AppendBackslash(std::wstring(buf, n));
}

std::wstring MakeTempFileName(const std::wstring& dir) {
  if (dir.empty() || !ForceDirs(dir)) return {};
  ErrorModeScope em;
  wchar_t buf[MAX_PATH + 1];
  if (!GetTempFileNameW(dir.c_str(), L"wm", 0, buf)) return {};
  return buf;
}

bool FileSeek32(HANDLE handle, int32_t distance, DWORD method) {
  SetLastError(NO_ERROR);
  return !(SetFilePointer(handle, distance, nullptr, method) == INVALID_SET_FILE_POINTER &&
           GetLastError() != NO_ERROR);
}

uint32_t FilePos32(HANDLE handle) { return SetFilePointer(handle, 0, nullptr, FILE_CURRENT); }

uint32_t FileSize32(HANDLE handle) {
  DWORD size = GetFileSize(handle, nullptr);
  return size == INVALID_FILE_SIZE ? 0 : size;
}

int32_t LocalFileTimeToDos(const FILETIME& fileTime) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&fileTime, &local)) local = fileTime;
  int y, mo, d, h, mi, s, ms;
  FileTimeToFields(static_cast<uint64_t>(local.dwHighDateTime) << 32 | local.dwLowDateTime, y, mo, d, h, mi, s, ms);
  return FieldsToDosDateTime(y, mo, d, h, mi, s);
}

int32_t FileDosDateTime(HANDLE handle, int which) {
  FILETIME t[3];
  if (which < 0 || which > 2 || !GetFileTime(handle, &t[0], &t[2], &t[1])) return 0;
  return LocalFileTimeToDos(t[which]);
}

HANDLE OpenNewFile(const std::wstring& fileName, const TzevErrorSink& onError) {
  return OpenChecked(fileName, GENERIC_WRITE, 0, CREATE_ALWAYS, onError);
}

HANDLE OpenForAppend(const std::wstring& fileName, const TzevErrorSink& onError) {
  HANDLE h = OpenChecked(fileName, GENERIC_WRITE, 0, OPEN_ALWAYS, onError);
  if (h != INVALID_HANDLE_VALUE) SetFilePointer(h, 0, nullptr, FILE_END);
  return h;
}

HANDLE OpenReadShared(const std::wstring& fileName, const TzevErrorSink& onError) {
  return OpenChecked(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, onError);
}
