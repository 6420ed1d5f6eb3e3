#include "BigFolder.h"

#include <windows.h>

#include <string>

namespace {
const wchar_t* const Exts[] = {L"txt", L"doc", L"exe", L"jpg", L"zip", L"c", L"h", L"dat"};

// The host's path of a Windows path when the program runs on a host that maps one (empty on
// Windows itself).
std::string HostPathOf(const std::wstring& path) {
  using TFn = char*(CDECL*)(const wchar_t*);
  auto fn = reinterpret_cast<TFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return "";
  char* p = fn(path.c_str());
  if (!p) return "";
  std::string s = p;
  HeapFree(GetProcessHeap(), 0, p);
  return s;
}

// Runs a host shell script that contains no backslash and waits until the path `until` exists
// (or, with gone, no longer exists).
bool RunHostScript(const std::string& script, const std::wstring& until, bool gone);

// Creating many files one by one through a host that matches names without letter case costs
// a scan of the folder per file; there the host's shell makes them in one go.
bool CreateFilesOnHost(const std::wstring& dir, int files) {
  std::string host = HostPathOf(dir);
  if (host.empty()) return false;
  // The script holds no backslash; its double quotes are escaped for the command line.
  std::string script = "cd '" + host + "' && awk -v n=" + std::to_string(files) +
                       " 'BEGIN{split(\"txt doc exe jpg zip c h dat\", e); for (k = 0; k < n; k++) "
                       "print (k % 3 ? \"File\" : \"\353\254\270\354\204\234\") \" \" k \".\" e[k % 8 + 1]}' "
                       "| while IFS= read -r f; do : > \"$f\"; done; : > .done";
  std::wstring done = dir + L"\\.done";
  bool ok = RunHostScript(script, done, false);
  DeleteFileW(done.c_str());
  return ok;
}

bool RunHostScript(const std::string& script, const std::wstring& until, bool gone) {
  int len = MultiByteToWideChar(CP_UTF8, 0, script.data(), static_cast<int>(script.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(len), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, script.data(), static_cast<int>(script.size()), wide.data(), len);
  std::wstring cmd = L"/bin/sh -c \"";
  for (wchar_t c : wide) {
    if (c == L'"') cmd += L'\\';
    cmd += c;
  }
  cmd += L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\bin\\sh", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (int i = 0; i < 6000; ++i) {
    if ((GetFileAttributesW(until.c_str()) != INVALID_FILE_ATTRIBUTES) != gone) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

TBigFolder::TBigFolder(int files) : Files(files) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  Dir = std::wstring(tmp) + L"velmo-listing-bench-" + std::to_wstring(files);
  CreateDirectoryW(Dir.c_str(), nullptr);
  bool made = CreateFilesOnHost(Dir, files);
  std::string descript;
  for (int k = 0; k < files; ++k) {
    std::wstring name = (k % 3 ? L"File " : L"문서 ") + std::to_wstring(k) + L"." + Exts[k % 8];
    if (!made) {
      HANDLE h = CreateFileW((Dir + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    if (k % 10 == 0 && k % 3) {
      std::wstring ext = Exts[k % 8];
      descript += "\"File " + std::to_string(k) + "." + std::string(ext.begin(), ext.end()) + "\" note\r\n";
    }
  }
  HANDLE h = CreateFileW((Dir + L"\\DESCRIPT.ION").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD done = 0;
  WriteFile(h, descript.data(), static_cast<DWORD>(descript.size()), &done, nullptr);
  CloseHandle(h);
}

TBigFolder::~TBigFolder() {
  std::string host = HostPathOf(Dir);
  if (!host.empty() && RunHostScript("rm -rf '" + host + "'", Dir, true)) return;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((Dir + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((Dir + L"\\" + fd.cFileName).c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(Dir.c_str());
}
