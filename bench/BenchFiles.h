#pragma once
// Scratch files of the Windows benchmarks: a folder under the temporary folder, emptied.
#include <windows.h>

#include <algorithm>
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
// A file of the given size filled with a repeating pattern, written in 1 MB blocks.
inline void BenchWriteBigFile(const std::wstring& path, long long size) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string block(1 << 20, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
  DWORD put;
  for (long long done = 0; done < size; done += static_cast<long long>(block.size()))
    WriteFile(h, block.data(), static_cast<DWORD>(std::min<long long>(size - done, block.size())), &put, nullptr);
  CloseHandle(h);
}
