#include <windows.h>

#include "foundation/FileIO.h"
#include "framework/Handles.h"

namespace {
struct ErrorModeScope {
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ~ErrorModeScope() { SetErrorMode(old); }
};
}  // namespace

struct TFileReader::TImpl {
  TFileHandle File;
};

TFileReader::TFileReader(const std::wstring& path) : F(new TImpl) {
  ErrorModeScope em;
  F->File.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (F->File && GetFileSizeEx(F->File.get(), &size) && size.QuadPart > 0) FSize = static_cast<uint64_t>(size.QuadPart);
}

TFileReader::~TFileReader() = default;

bool TFileReader::IsOpen() const { return static_cast<bool>(F->File); }

bool TFileReader::ReadNext(char* to, size_t count) {
  while (count > 0 && F->File) {
    DWORD part = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count), got = 0;
    if (!ReadFile(F->File.get(), to, part, &got, nullptr) || got == 0) return false;
    to += got;
    count -= got;
  }
  return count == 0;
}

bool TFileReader::ReadAll(std::string& bytes) {
  ErrorModeScope em;
  bytes.clear();
  LARGE_INTEGER begin{};
  if (!F->File || !SetFilePointerEx(F->File.get(), begin, nullptr, FILE_BEGIN)) return false;
  if (FSize < 0x40000000) bytes.reserve(static_cast<size_t>(FSize));
  char buf[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(F->File.get(), buf, sizeof buf, &got, nullptr)) return false;
    if (got == 0) return true;
    bytes.append(buf, got);
  }
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  return TFileReader(path).ReadAll(bytes);
}

bool FileExistsPlain(const std::wstring& path) {
  ErrorModeScope em;
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSetArchiveOnly(const std::wstring& path) {
  ErrorModeScope em;
  return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE) != 0;
}

bool DeleteFilePlain(const std::wstring& path) {
  ErrorModeScope em;
  return DeleteFileW(path.c_str()) != 0;
}

bool SafeWriteFile(const std::wstring& path, std::string_view bytes) {
  ErrorModeScope em;
  DWORD attr = GetFileAttributesW(path.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return false;
    if ((attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
        !SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE))
      return false;
  }
  std::wstring temp = path + L".~new";
  DeleteFileW(temp.c_str());
  TFileHandle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr));
  if (!f) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(bytes.size() - done > (1u << 20) ? (1u << 20) : bytes.size() - done);
    DWORD written = 0;
    ok = WriteFile(f.get(), bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += written;
  }
  ok = ok && FlushFileBuffers(f.get());
  ok = CloseChecked(f) && ok;
  ok = ok && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}
