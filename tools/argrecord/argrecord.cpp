// Records its command line and working folder as UTF-8 lines in the file named by the
// environment variable VELMO_ARGLOG (else "argrecord.log" beside itself). The file is written
// beside its final name and renamed, so a reader never sees half of it.
#include <windows.h>

#include <string>

namespace {
std::string Utf8(const std::wstring& s) {
  int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}
}  // namespace

int wmain() {
  wchar_t buf[32768];
  std::wstring log;
  DWORD n = GetEnvironmentVariableW(L"VELMO_ARGLOG", buf, 32768);
  if (n > 0 && n < 32768) {
    log.assign(buf, n);
  } else {
    n = GetModuleFileNameW(nullptr, buf, 32768);
    log.assign(buf, n);
    log = log.substr(0, log.rfind(L'\\') + 1) + L"argrecord.log";
  }
  wchar_t dir[32768];
  DWORD d = GetCurrentDirectoryW(32768, dir);
  std::string text = Utf8(GetCommandLineW()) + "\n" + Utf8(std::wstring(dir, d)) + "\n";
  std::wstring temp = log + L".part";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  DWORD put = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  CloseHandle(h);
  return MoveFileExW(temp.c_str(), log.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
