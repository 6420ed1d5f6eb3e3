#include "ShellTestUtil.h"

#include <cstdlib>
#include <filesystem>

std::string HostPath(const std::wstring& winPath) {
  using TFn = char*(CDECL*)(const wchar_t*);
  auto fn = reinterpret_cast<TFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return "";
  char* p = fn(winPath.c_str());
  if (!p) return "";
  std::string s = p;
  HeapFree(GetProcessHeap(), 0, p);
  return s;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int RunHost(const std::string& command) {
  // The started host program is not tracked like a Windows process: it reports its end by
  // creating a marker file, which is waited for.
  static int counter = 0;
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring marker = std::wstring(tmp) + L"velmo-host-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(++counter);
  DeleteFileW(marker.c_str());
  std::string hostMarker = HostPath(marker);
  if (hostMarker.empty()) return -1;
  std::string full = "(" + command + "); touch " + ShellQuote(hostMarker);
  std::wstring cmd = L"/bin/sh -c \"";
  for (unsigned char c : full) {
    if (c == '"' || c == '\\') cmd += L'\\';
    cmd += static_cast<wchar_t>(c);
  }
  cmd += L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\bin\\sh", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (int i = 0; i < 1000; ++i) {
    if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileW(marker.c_str());
      return 0;
    }
    Sleep(10);
  }
  return -1;
}

namespace {
std::string Prefix() {
  const char* p = std::getenv("WINEPREFIX");
  return p ? p : "";
}
}  // namespace

namespace {
// The platform's mount manager defines a drive letter on a host folder, with a drive type.
#pragma pack(push, 8)
struct TUnixDriveRequest {
  ULONG Size;
  ULONG Type;
  ULONG FsType;
  DWORD Serial;
  ULONGLONG UnixDev;
  WCHAR Letter;
  USHORT MountPointOffset;
  USHORT DeviceOffset;
  USHORT LabelOffset;
};
#pragma pack(pop)
constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineUnixDrive(wchar_t letter, const std::string& hostPath, ULONG type) {
  HANDLE mm = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
  if (mm == INVALID_HANDLE_VALUE) return false;
  std::string buf(sizeof(TUnixDriveRequest) + hostPath.size() + 1, '\0');
  auto* req = reinterpret_cast<TUnixDriveRequest*>(buf.data());
  req->Letter = static_cast<WCHAR>(letter | 0x20);
  req->Type = type;
  if (!hostPath.empty()) {
    req->MountPointOffset = sizeof(TUnixDriveRequest);
    hostPath.copy(buf.data() + sizeof(TUnixDriveRequest), hostPath.size());
    req->Size = static_cast<ULONG>(buf.size());
  } else {
    req->Size = sizeof(TUnixDriveRequest);  // no mount point: the letter is removed
  }
  DWORD got = 0;
  BOOL ok = DeviceIoControl(mm, kDefineUnixDrive, buf.data(), req->Size, nullptr, 0, &got, nullptr);
  CloseHandle(mm);
  return ok != FALSE;
}
}  // namespace

TMappedDrive::TMappedDrive(const std::wstring& label, const std::string& serialHex, ULONG driveType) {
  std::string host = HostPath(FDir.Path());
  if (host.empty()) return;
  WriteFileRaw(FDir / L".windows-label", std::string(label.begin(), label.end()));
  WriteFileRaw(FDir / L".windows-serial", serialHex);
  // A letter nothing answers on (one removed earlier in this session may still be listed).
  for (wchar_t l = L'Q'; l <= L'Y'; ++l) {
    std::wstring root = std::wstring(1, l) + L":\\";
    if (GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (DefineUnixDrive(l, host, driveType) && GetFileAttributesW((root + L".windows-label").c_str()) != INVALID_FILE_ATTRIBUTES)
      FLetter = l;
    return;
  }
}

TMappedDrive::~TMappedDrive() {
  if (FLetter) DefineUnixDrive(FLetter, "", 0);
}

TMappedShare::TMappedShare(const std::string& server, const std::string& share) : FServer(server), FShare(share) {
  std::string host = HostPath(FDir.Path());
  if (host.empty() || Prefix().empty()) return;
  FServerDir = Prefix() + "/dosdevices/unc/" + server;
  RunHost("mkdir -p " + ShellQuote(FServerDir) + " && ln -s " + ShellQuote(host) + " " +
          ShellQuote(FServerDir + "/" + share));
  FOk = GetFileAttributesW(Root().c_str()) != INVALID_FILE_ATTRIBUTES;
}

TMappedShare::~TMappedShare() {
  if (!FServerDir.empty()) RunHost("rm -f " + ShellQuote(FServerDir + "/" + FShare) + "; rmdir " + ShellQuote(FServerDir));
}

std::wstring TMappedShare::Root() const {
  return L"\\\\" + std::wstring(FServer.begin(), FServer.end()) + L"\\" + std::wstring(FShare.begin(), FShare.end()) +
         L"\\";
}

void MakeDirs(const std::wstring& path) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path), ec);
}
