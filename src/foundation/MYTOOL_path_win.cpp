// Files, drives and folders: probes of the real file system.
#include <windows.h>
#include <lm.h>
#include <shlobj.h>
#include <winnetwk.h>

#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/FolderEnum.h"
#include "framework/Handles.h"
#include "framework/TextCompare.h"

TErrorModeGuard::TErrorModeGuard() {
  // The thread's own mode: a plain field of the thread, no round trip to the system.
  FSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &FOld) != FALSE;
}
TErrorModeGuard::~TErrorModeGuard() {
  if (FSet) SetThreadErrorMode(FOld, nullptr);
}

namespace {
// A NUL-terminated copy of a path, on the stack for the usual lengths: the probes below are
// called for every item of large listings.
class TPathZ {
 public:
  explicit TPathZ(std::wstring_view p) {
    if (p.size() < kInline) {
      p.copy(FInline, p.size());
      FInline[p.size()] = 0;
      FPtr = FInline;
    } else {
      FHeap.assign(p);
      FPtr = FHeap.c_str();
    }
  }
  const wchar_t* c_str() const { return FPtr; }

 private:
  static constexpr size_t kInline = MAX_PATH + 16;
  wchar_t FInline[kInline];
  std::wstring FHeap;
  const wchar_t* FPtr;
};

// Attributes of the exact path; INVALID_FILE_ATTRIBUTES when nothing is found. Entries that
// refuse an attribute query while in use (a paging file) are looked up in their folder.
DWORD ProbeAttributes(std::wstring_view path) {
  if (path.empty() || HasWildcards(path)) return INVALID_FILE_ATTRIBUTES;
  TPathZ z(path);
  TErrorModeGuard guard;
  DWORD a = GetFileAttributesW(z.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    DWORD e = GetLastError();
    if (e == ERROR_SHARING_VIOLATION || e == ERROR_ACCESS_DENIED) {
      WIN32_FIND_DATAW fd;
      if (TFolderEnum::FindExact(z.c_str(), fd)) a = fd.dwFileAttributes;
    }
  }
  return a;
}

std::wstring FullPathName(const std::wstring& p) {
  std::wstring full;
  if (GrowAndRetry(full, [&](wchar_t* buf, DWORD n) { return GetFullPathNameW(p.c_str(), n, buf, nullptr); }))
    return full;
  return p;
}

std::wstring ComputerName() {
  wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(buf, &n) ? std::wstring(buf, n) : L"";
}

// "X:" of a mapped network drive to the remote name it stands for; empty otherwise.
std::wstring DriveConnection(wchar_t letter) {
  wchar_t local[3] = {letter, L':', 0};
  std::wstring remote;
  GrowAndRetry(remote, [&](wchar_t* buf, DWORD n) -> DWORD {
    DWORD len = n;
    DWORD r = WNetGetConnectionW(local, buf, &len);
    if (r == NO_ERROR) return static_cast<DWORD>(wcsnlen(buf, n - 1));
    if (r == ERROR_MORE_DATA && len > n) return len;
    return 0;
  });
  return remote;
}

// The local folder of a share of this computer; empty when it is not one.
std::wstring LocalShareFolder(const std::wstring& server, const std::wstring& share) {
  if (!SameTextI(server, ComputerName()) && !SameTextI(server, L"localhost") && server != L"127.0.0.1")
    return L"";
  SHARE_INFO_2* info = nullptr;
  std::wstring result;
  if (NetShareGetInfo(nullptr, const_cast<wchar_t*>(share.c_str()), 2, reinterpret_cast<BYTE**>(&info)) ==
          NERR_Success &&
      info) {
    if (info->shi2_type == STYPE_DISKTREE && info->shi2_path) result = info->shi2_path;
  }
  if (info) NetApiBufferFree(info);
  return result;
}

std::wstring FormatOne(std::wstring text, std::wstring_view arg) {
  size_t at = text.find(L"%S");
  if (at == std::wstring::npos) at = text.find(L"%s");
  if (at != std::wstring::npos) text.replace(at, 2, arg);
  return text;
}
}  // namespace

int GetPathKind(std::wstring_view path) {
  DWORD a = ProbeAttributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return 0;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 2;
}

bool FindFirstSafe(std::wstring_view path, WIN32_FIND_DATAW& findData) {
  if (path.empty() || HasWildcards(path)) return false;
  TPathZ z(path);
  TErrorModeGuard guard;
  return TFolderEnum::FindExact(z.c_str(), findData);
}

bool PathExists(std::wstring_view path) { return ProbeAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool DriveExists(int driveIndex) {
  if (driveIndex < 0 || driveIndex > 25) return false;
  TErrorModeGuard guard;
  return (GetLogicalDrives() >> driveIndex) & 1;
}

bool DriveOrShareExists(std::wstring_view path) {
  std::wstring root = ExtractPathRoot(path);
  if (root.empty()) return false;
  if (root[1] == L':') return DriveExists((root[0] | 0x20) - L'a');
  DWORD a = ProbeAttributes(root);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExistsAny(std::wstring_view path) {
  if (HasWildcards(path)) return false;
  if (IsPathRoot(path)) return DriveOrShareExists(path);
  // Something found there implies its drive or share: one query on the common path.
  return !ExtractPathRoot(path).empty() && PathExists(path);
}

bool FolderExists(std::wstring_view path) {
  if (HasWildcards(path)) return false;
  if (IsPathRoot(path)) return DriveOrShareExists(path);
  if (ExtractPathRoot(path).empty()) return false;
  DWORD a = ProbeAttributes(ExcludeTrailingBackslash(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolderEmpty(std::wstring_view path, bool ignoreDescriptIon) {
  if (path.empty() || HasWildcards(path)) return false;
  TErrorModeGuard guard;
  TFolderEnum list(path);
  for (const WIN32_FIND_DATAW& fd : list)
    if (!ignoreDescriptIon || !SameTextI(fd.cFileName, L"descript.ion")) return false;
  // An empty drive root has not even "." and "..": nothing found there is an empty folder too.
  return list.Opened() || (list.Complete() && GetPathKind(path) == 1);
}

bool ForceFolders(std::wstring_view path, std::wstring& lastCreated) {
  lastCreated.clear();
  std::wstring t = Trim(path);
  if (t.empty() || HasWildcards(t)) return false;
  if (GetPathKind(t) == 1) return true;
  std::wstring full = FullPathName(t);
  std::wstring root = ExtractPathRoot(full);
  if (root.empty() || full.size() < root.size() - 1) return false;
  std::wstring cur = root;
  size_t i = root.size();
  TErrorModeGuard guard;
  while (i < full.size()) {
    size_t j = full.find(L'\\', i);
    if (j == std::wstring::npos) j = full.size();
    if (j > i) {
      cur.append(full, i, j - i);
      DWORD a = GetFileAttributesW(cur.c_str());
      if (a == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryW(cur.c_str(), nullptr)) {
          a = GetFileAttributesW(cur.c_str());  // made by someone else in between?
          if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
        } else {
          lastCreated = cur;
          a = FILE_ATTRIBUTE_DIRECTORY;
        }
      }
      // A junction or symbolic link to a folder counts as the folder it stands for: making
      // folders inside a redirected folder is ordinary use. (Only the walks that delete or
      // empty a tree stay out of links.)
      if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
      cur += L'\\';
    }
    i = j + 1;
  }
  return GetPathKind(full) == 1;
}

std::wstring NormalizePath(std::wstring_view path) {
  std::wstring t = Trim(path);
  if (t.empty()) return t;
  std::wstring full = FullPathName(t);
  if (full.size() >= 2 && full[1] == L':') {
    std::wstring remote = DriveConnection(full[0]);
    if (remote.size() > 2 && remote[0] == L'\\' && remote[1] == L'\\') {
      std::wstring rest = full.substr(2);
      if (rest == L"\\" ) rest.clear();
      return ExcludeTrailingBackslash(remote) + rest;
    }
    return full;
  }
  if (IsUncPath(full)) {
    std::wstring root = ExtractPathRoot(full);  // "\\server\share\"
    size_t s = root.find(L'\\', 2);
    std::wstring server = root.substr(2, s - 2), share = root.substr(s + 1, root.size() - s - 2);
    std::wstring local = LocalShareFolder(server, share);
    if (!local.empty()) {
      std::wstring rest = full.size() > root.size() ? full.substr(root.size()) : L"";
      return rest.empty() ? local : IncludeTrailingBackslash(local) + rest;
    }
  }
  return full;
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
  return SameTextI(ExcludeTrailingBackslashKeepRoot(NormalizePath(a)),
                   ExcludeTrailingBackslashKeepRoot(NormalizePath(b)));
}

bool SamePathRoot(std::wstring_view a, std::wstring_view b) {
  return SameTextI(ExtractPathRoot(NormalizePath(a)), ExtractPathRoot(NormalizePath(b)));
}

bool IsSameOrSubPath(std::wstring_view a, std::wstring_view b, std::wstring_view subName, bool anyDepth) {
  std::wstring na = IncludeTrailingBackslash(NormalizePath(a));
  std::wstring nb = IncludeTrailingBackslash(NormalizePath(b));
  if (na.empty() || nb.empty()) return false;
  auto inside = [](const std::wstring& outer, const std::wstring& inner) {
    return inner.size() >= outer.size() && SameTextI(std::wstring_view(inner).substr(0, outer.size()), outer);
  };
  if (SameTextI(na, nb)) return true;
  if (subName.empty()) return inside(na, nb);
  std::wstring sub = IncludeTrailingBackslash(ExcludeTrailingBackslash(subName));
  if (inside(na + sub, nb)) return true;
  return anyDepth && inside(nb + sub, na);
}

std::wstring GetShortPath(std::wstring_view path) {
  std::wstring p(path);
  TErrorModeGuard guard;
  std::wstring shortPath;
  if (GrowAndRetry(shortPath, [&](wchar_t* buf, DWORD n) { return GetShortPathNameW(p.c_str(), buf, n); }))
    return shortPath;
  return p;
}

std::wstring MakeUniqueFileName(std::wstring_view dir, std::wstring_view name, bool splitExt) {
  std::wstring d = IncludeTrailingBackslash(dir);
  std::wstring n(name);
  if (!PathExists(d + n)) return n;
  std::wstring base = n, ext;
  if (splitExt) {
    size_t dot = n.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) {
      base = n.substr(0, dot);
      ext = n.substr(dot);
    }
  }
  for (int i = 1; i < 1000000; ++i) {
    std::wstring candidate = base + std::to_wstring(i) + ext;
    if (!PathExists(d + candidate)) return candidate;
  }
  return L"";
}

std::wstring SystemErrorText(DWORD code) {
  std::wstring s;
  GetSystemErrorText(static_cast<int>(code), 0, s);
  return s;
}

std::wstring ExpandEnvStr(std::wstring_view s, bool showError) {
  std::wstring src(s);
  std::wstring out;
  // The count includes the terminating zero, which the answer keeps until it is cut off here;
  // an answer that fills the buffer exactly is asked again with one more place, hence + 2.
  if (GrowAndRetry(out, [&](wchar_t* buf, DWORD n) { return ExpandEnvironmentStringsW(src.c_str(), buf, n); },
                   MAX_PATH, static_cast<DWORD>(ExpandEnvMax) + 2)) {
    out.pop_back();
    return out;
  }
  DWORD err = GetLastError();
  if (err == 0) err = ERROR_INVALID_PARAMETER;
  if (showError) ShowErrorBox(SystemErrorText(err));
  return L"";
}

std::wstring GetCurrentDir() {
  std::wstring dir;
  if (GrowAndRetry(dir, [](wchar_t* buf, DWORD n) { return GetCurrentDirectoryW(n, buf); })) return dir;
  return L"C:\\";
}

std::wstring GetProgramDir() {
  std::wstring buf;
  // A name cut short fills the whole buffer and says nothing of its size: ask with more room.
  if (!GrowAndRetry(buf, [](wchar_t* b, DWORD n) { return GetModuleFileNameW(nullptr, b, n); }, MAX_PATH, 32768))
    return L"";
  size_t slash = buf.rfind(L'\\');
  return slash == std::wstring::npos ? L"" : buf.substr(0, slash + 1);
}

std::wstring GetVolumeLabel(std::wstring_view root) {
  if (root.empty()) return L"";
  std::wstring r = IncludeTrailingBackslash(root);
  wchar_t label[MAX_PATH + 1] = {};
  TErrorModeGuard guard;
  if (!GetVolumeInformationW(r.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) return L"";
  return label;
}

std::wstring GetSpecialFolderPath(int csidl) {
  wchar_t buf[MAX_PATH + 1] = {};  // the size this call documents
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return L"";
  return buf;
}

TPathReach ProbePathReachable(HWND shellOwner, std::wstring_view path) {
  TPathReach r;
  std::wstring p = Trim(path);
  if (p.empty() || HasWildcards(p)) return r;
  TErrorModeGuard guard;
  IShellFolder* desktop = nullptr;
  TCoTaskMemPtr<PIDLIST_RELATIVE> pidl;
  HRESULT hr = SHGetDesktopFolder(&desktop);
  if (SUCCEEDED(hr)) hr = desktop->ParseDisplayName(shellOwner, nullptr, p.data(), nullptr, pidl.put(), nullptr);
  bool decided = false;
  if (FAILED(hr)) {
    DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : 0;
    if (hr == E_ACCESSDENIED) code = ERROR_ACCESS_DENIED;
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_DRIVE || code == ERROR_BAD_NETPATH) {
      r.SystemError = code;
      decided = true;
    }
  } else {
    // A listing that opens, or finds nothing at all, shows the folder can be entered.
    TFolderEnum list(p, 0, L"*.*");
    list.begin();
    if (list.Opened() || list.Error() == ERROR_SUCCESS) {
      r.Reachable = true;
      decided = true;
    } else {
      // The listing failed: ask the shell to enumerate it (it may connect or ask on the way).
      IShellFolder* folder = nullptr;
      IEnumIDList* list = nullptr;
      HRESULT h2 = desktop->BindToObject(pidl.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
      if (SUCCEEDED(h2))
        h2 = folder->EnumObjects(shellOwner, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &list);
      if (FAILED(h2) || !list) decided = true;  // not reachable, nothing more to say
      if (list) list->Release();
      if (folder) folder->Release();
    }
  }
  pidl.reset();
  if (desktop) desktop->Release();
  if (decided) return r;
  if (FolderExists(p)) {
    r.Reachable = true;
  } else if (shellOwner && IsPathRoot(p)) {
    // With an owner the shell has had its say about a root (no disk, no connection); the
    // caller goes on and finds out by itself.
    r.Reachable = true;
  } else if (!IsPathRoot(p)) {
    r.MessageId = 4151;
  }
  return r;
}

bool CheckPathReachable(HWND ownerWnd, std::wstring_view path) {
  HWND owner = (ownerWnd && ownerWnd == GetActiveForm()) ? ownerWnd : nullptr;
  HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  TPathReach r = ProbePathReachable(owner, path);
  SetCursor(old);
  if (owner && !r.Reachable) {
    if (r.SystemError)
      ShowErrorBox(SystemErrorText(r.SystemError));
    else if (r.MessageId)
      ShowErrorBox(FormatOne(LoadMessageText(r.MessageId), Trim(path)));
  }
  return r.Reachable;
}
