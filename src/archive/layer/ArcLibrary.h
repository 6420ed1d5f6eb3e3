#pragma once
// What the two archive library drivers share: loading a library quietly, the 8-bit names the
// libraries take and give, and the checks that keep stored names inside the target folder.
#include <windows.h>

#include <string>
#include <string_view>

// Loads a library by name (the system's search order) with the critical-error boxes off.
HMODULE LoadArchiveLibrary(const std::wstring& fileName);

// Resolves an export into a typed function pointer; false when the library lacks it.
template <class F>
bool ResolveExport(HMODULE module, const char* name, F& fn) {
  FARPROC p = GetProcAddress(module, name);
  fn = reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
  return p != nullptr;
}

// A path as the libraries take it: in the ANSI code page, or its short form when a character
// does not fit (empty when neither can name it).
std::string LibraryPathBytes(const std::wstring& path);
// A zero-terminated string in a buffer of at most size bytes, in the given code page.
std::wstring LibraryText(const char* bytes, size_t size, bool oem);
// The file-name part of a name ("\" or "/" separated).
std::wstring_view LibraryFilePart(std::wstring_view name);
// A stored name that would leave the target folder: a drive, a leading separator, or a "."
// or ".." component (trailing blanks and dots count for nothing, as Windows drops them).
bool StoredNameEscapes(std::wstring_view name);
