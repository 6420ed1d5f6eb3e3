// Helpers of the archive library drivers.
#include "archive/layer/ArcLibrary.h"

#include <cstring>

#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"

HMODULE LoadArchiveLibrary(const std::wstring& fileName) {
  const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(fileName.c_str());
  SetErrorMode(old);
  return module;
}

std::string LibraryPathBytes(const std::wstring& path) {
  std::string out;
  if (WideToAnsi(path, out)) return out;
  if (WideToAnsi(GetShortPath(path), out)) return out;
  return {};
}

std::wstring LibraryText(const char* bytes, size_t size, bool oem) {
  if (!bytes) return {};
  const void* end = std::memchr(bytes, 0, size);
  const size_t n = end ? static_cast<size_t>(static_cast<const char*>(end) - bytes) : size;
  return oem ? OemToWide(std::string_view(bytes, n)) : AnsiToWide(std::string_view(bytes, n));
}

std::wstring_view LibraryFilePart(std::wstring_view name) {
  const size_t p = name.find_last_of(L"\\/");
  return p == std::wstring_view::npos ? name : name.substr(p + 1);
}

bool StoredNameEscapes(std::wstring_view name) {
  if (name.empty()) return false;
  if (name[0] == L'\\' || name[0] == L'/') return true;
  if (name.find(L':') != std::wstring_view::npos) return true;  // a drive or a stream
  size_t i = 0;
  while (i <= name.size()) {
    size_t j = name.find_first_of(L"\\/", i);
    if (j == std::wstring_view::npos) j = name.size();
    std::wstring_view part = name.substr(i, j - i);
    if (!part.empty() && part.find_first_not_of(L". ") == std::wstring_view::npos) return true;
    i = j + 1;
  }
  return false;
}
