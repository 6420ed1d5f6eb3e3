#pragma once
// The engine's routines over Windows files and handles.
#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Receives a failure: the file's name and the engine's error number.
using TzevErrorSink = std::function<void(const std::wstring& fileName, int code)>;

bool DirectoryExists(const std::wstring& path);
bool FileExistsByFind(const std::wstring& path);
// No entry but "." and "..".
bool IsDirEmpty(const std::wstring& dir);
// The file exists and is neither read-only, hidden, system nor a folder.
bool IsWriteable(const std::wstring& path);
// Creates every missing folder of path; whether the folder exists afterwards.
bool ForceDirs(const std::wstring& path);
// The system's temporary folder with a trailing "\" ("" when it cannot be read).
std::wstring SystemTempPath();
// A new, empty, uniquely named file "wm....tmp" in dir (created first when missing); ""
// when none can be made.
std::wstring MakeTempFileName(const std::wstring& dir);

bool FileSeek32(HANDLE handle, int32_t distance, DWORD method);
uint32_t FilePos32(HANDLE handle);
// 0 on error.
uint32_t FileSize32(HANDLE handle);
// which: 0 creation, 1 last write, 2 last access; a packed DOS date and time in local time.
int32_t FileDosDateTime(HANDLE handle, int which);
// A UTC file time in local time, packed as a DOS date and time.
int32_t LocalFileTimeToDos(const FILETIME& fileTime);

// CreateFile wrappers of the readers: a failure reports 25235 to onError and gives
// INVALID_HANDLE_VALUE.
HANDLE OpenNewFile(const std::wstring& fileName, const TzevErrorSink& onError);
HANDLE OpenForAppend(const std::wstring& fileName, const TzevErrorSink& onError);
HANDLE OpenReadShared(const std::wstring& fileName, const TzevErrorSink& onError);
#endif
