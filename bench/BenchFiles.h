#pragma once
// Scratch files of the Windows benchmarks: a folder under the temporary folder, emptied.
#include <windows.h>

#include <string>

inline std::wstring BenchTempPath(const wchar_t* name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp) + name;
}
// Deletes the files directly in a folder (with trailing backslash).
inline void BenchClearFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + fd.cFileName).c_str());
  while (FindNextFileW(h, &fd));
  FindClose(h);
}
