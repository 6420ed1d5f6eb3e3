#include <windows.h>
#include <shlobj.h>

#include "foundation/Folders.h"
#include "framework/Handles.h"

namespace {
std::wstring WithBackslash(std::wstring s) {
  if (!s.empty() && s.back() != L'\\') s += L'\\';
  return s;
}

std::wstring SpecialFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return std::wstring();
  return WithBackslash(buf);
}

void CreateAllLevels(const std::wstring& folder) {
  // Every level from the root down; failures are left to the first real use of the folder.
  for (size_t i = 3; i <= folder.size(); ++i)
    if (i == folder.size() || folder[i] == L'\\') CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
}
}  // namespace

void InitFolders() {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0) {
      exe.clear();
      break;
    }
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  size_t slash = exe.find_last_of(L'\\');
  SetProgramFolder(slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1));

  wchar_t buf[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  WindowsFolder = WithBackslash(n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring());
  DWORD t = GetTempPathW(MAX_PATH, buf);
  WorkFolder = (t > 0 && t < MAX_PATH) ? WithBackslash(std::wstring(buf, t)) + L"Velmo\\" : std::wstring();
  if (!WorkFolder.empty()) CreateAllLevels(WorkFolder);
  if (!McdFolder.empty()) CreateAllLevels(McdFolder);

  PersonalFolder = SpecialFolder(CSIDL_PERSONAL);
  DesktopFolder = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  StartMenuFolder = SpecialFolder(CSIDL_STARTMENU);

  const TScreenDCHandle dc(GetDC(nullptr));
  LowColorScreen = dc && GetDeviceCaps(dc.get(), BITSPIXEL) * GetDeviceCaps(dc.get(), PLANES) <= 8;
}
