#pragma once
// Test scaffolding on the Wine side: host paths of Windows paths, host commands, drive
// letters and network shares mapped onto scratch folders through the prefix's device folder.
#include <windows.h>
#include <ole2.h>
#include <winioctl.h>

#include <string>

#include "common/TestUtil.h"

// The host's path of a Windows path; empty when the platform has no such mapping.
std::string HostPath(const std::wstring& winPath);
// Runs a host shell command line and waits for it to end: 0 when it ran, -1 when it could
// not start or did not end in time. Its exit code is not passed on: callers check its effect.
int RunHost(const std::string& command);
// Single-quoted for the host shell.
std::string ShellQuote(const std::string& s);

// A drive letter mapped to a scratch folder, with a volume label and serial number, by the
// platform's mount manager; removed when the object goes. driveType is what GetDriveTypeW
// then reports (3 fixed, 4 network, 5 CD-ROM).
class TMappedDrive {
 public:
  TMappedDrive(const std::wstring& label, const std::string& serialHex, ULONG driveType = DRIVE_FIXED);
  ~TMappedDrive();
  bool Ok() const { return FLetter != 0; }
  wchar_t Letter() const { return FLetter; }
  std::wstring Root() const { return std::wstring(1, FLetter) + L":\\"; }
  const TTempDir& Folder() const { return FDir; }

 private:
  TTempDir FDir;
  wchar_t FLetter = 0;
};

// A network share \\<server>\<share> served from a scratch folder.
class TMappedShare {
 public:
  TMappedShare(const std::string& server, const std::string& share);
  ~TMappedShare();
  bool Ok() const { return FOk; }
  std::wstring Root() const;  // "\\server\share\"
  const TTempDir& Folder() const { return FDir; }

 private:
  TTempDir FDir;
  std::string FServer, FShare, FServerDir;
  bool FOk = false;
};

// COM for the shell's objects, for one test.
struct TComScope {
  TComScope() { OleInitialize(nullptr); }
  ~TComScope() { OleUninitialize(); }
};

// Makes a folder and its missing parents (test set-up only).
void MakeDirs(const std::wstring& path);
