// A stand-in for an external archiver program. It appends one record of what it received to the
// file named by VELMO_ARCSTUB_LOG and exits with the code in VELMO_ARCSTUB_EXIT (0 when unset):
//   cmd <the command line, UTF-8>
//   dir <the working folder, UTF-8>
//   list <the bytes of the list file named after "@" or "!", in hex; empty without one>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}
std::wstring Env(const wchar_t* name) {
  wchar_t buf[1024];
  DWORD n = GetEnvironmentVariableW(name, buf, 1024);
  return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}
std::string ReadHex(const std::wstring& file) {
  std::string hex;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "missing";
  unsigned char buf[4096];
  DWORD got = 0;
  static const char digits[] = "0123456789abcdef";
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
    for (DWORD i = 0; i < got; ++i) {
      hex += digits[buf[i] >> 4];
      hex += digits[buf[i] & 15];
    }
  CloseHandle(h);
  return hex;
}
}  // namespace

int wmain() {
  const std::wstring cmd = GetCommandLineW();
  wchar_t dir[MAX_PATH * 2] = {};
  GetCurrentDirectoryW(MAX_PATH * 2, dir);
  // The list file: the last blank-separated word that starts with "@" or "!".
  std::wstring list;
  size_t pos = 0;
  while (pos < cmd.size()) {
    size_t end = cmd.find(L' ', pos);
    if (end == std::wstring::npos) end = cmd.size();
    if (end > pos + 1 && (cmd[pos] == L'@' || cmd[pos] == L'!')) list = cmd.substr(pos + 1, end - pos - 1);
    pos = end + 1;
  }
  const std::wstring log = Env(L"VELMO_ARCSTUB_LOG");
  if (!log.empty()) {
    std::string rec = "cmd " + Utf8(cmd) + "\ndir " + Utf8(dir) + "\nlist " + (list.empty() ? "" : ReadHex(list)) + "\n";
    HANDLE h = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD w = 0;
      WriteFile(h, rec.data(), static_cast<DWORD>(rec.size()), &w, nullptr);
      CloseHandle(h);
    }
  }
  const std::wstring code = Env(L"VELMO_ARCSTUB_EXIT");
  return code.empty() ? 0 : _wtoi(code.c_str());
}
