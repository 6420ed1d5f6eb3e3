#include "foundation/MPIDL.h"

#include "framework/Handles.h"

#include <cstring>

namespace {
USHORT ItemSize(LPCITEMIDLIST p) { return p->mkid.cb; }
LPCITEMIDLIST Skip(LPCITEMIDLIST p) {
  return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(p) + p->mkid.cb);
}
LPITEMIDLIST Alloc(UINT size) {
  auto* p = static_cast<LPITEMIDLIST>(CoTaskMemAlloc(size));
  if (p) std::memset(p, 0, size);
  return p;
}
// The terminator of a list: two zero bytes.
constexpr UINT kTerm = sizeof(USHORT);
}  // namespace

UINT PidlSize(LPCITEMIDLIST pidl) {
  if (!pidl) return 0;
  UINT total = 0;
  for (LPCITEMIDLIST p = pidl; ItemSize(p); p = Skip(p)) {
    total += ItemSize(p);
    if (total > PidlMaxSize) return 0;
  }
  return total + kTerm;
}

std::wstring PidlToPath(LPCITEMIDLIST pidl) {
  if (!pidl) return L"";
  wchar_t buf[MAX_PATH + 1] = {};  // the size this call writes at most
  if (!SHGetPathFromIDListW(pidl, buf)) return L"";
  return buf;
}

void FreePidl(LPITEMIDLIST& pidl) {
  const TCoTaskMemPtr<LPITEMIDLIST> owned(pidl);
  pidl = nullptr;
}

LPITEMIDLIST CopyPidl(LPCITEMIDLIST pidl) {
  UINT size = PidlSize(pidl);
  if (!size) return nullptr;
  LPITEMIDLIST p = Alloc(size);
  if (p) std::memcpy(p, pidl, size);
  return p;
}

LPITEMIDLIST ConcatPidls(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  UINT sa = a ? PidlSize(a) : kTerm, sb = b ? PidlSize(b) : kTerm;
  if (!sa || !sb) return nullptr;
  LPITEMIDLIST p = Alloc(sa - kTerm + sb);
  if (!p) return nullptr;
  if (a) std::memcpy(p, a, sa - kTerm);
  if (b) std::memcpy(reinterpret_cast<BYTE*>(p) + sa - kTerm, b, sb);
  return p;
}

LPITEMIDLIST CopyFirstPidlItem(LPCITEMIDLIST pidl) {
  if (!pidl || !PidlSize(pidl)) return nullptr;
  UINT first = ItemSize(pidl);
  LPITEMIDLIST p = Alloc(first + kTerm);
  if (p) std::memcpy(p, pidl, first);
  return p;
}

LPITEMIDLIST CopyLastPidlItem(LPCITEMIDLIST pidl) {
  if (!pidl || !PidlSize(pidl)) return nullptr;
  LPCITEMIDLIST last = pidl;
  for (LPCITEMIDLIST p = pidl; ItemSize(p); p = Skip(p)) last = p;
  return CopyFirstPidlItem(last);
}

LPCITEMIDLIST NextPidlItem(LPCITEMIDLIST pidl) {
  if (!pidl || !ItemSize(pidl)) return nullptr;
  return Skip(pidl);
}

bool SamePidl(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (!a || !b) return a == b;
  UINT sa = PidlSize(a), sb = PidlSize(b);
  return sa && sa == sb && std::memcmp(a, b, sa) == 0;
}

bool ParseDisplayNameIn(HWND owner, IShellFolder* folder, std::wstring_view path, LPITEMIDLIST& pidl) {
  pidl = nullptr;
  IShellFolder* f = folder;
  if (!f && FAILED(SHGetDesktopFolder(&f))) return false;
  std::wstring p(path);
  TCoTaskMemPtr<PIDLIST_RELATIVE> out;
  HRESULT hr = f->ParseDisplayName(owner, nullptr, p.data(), nullptr, out.put(), nullptr);
  if (!folder) f->Release();
  if (FAILED(hr) || !out) return false;
  pidl = out.release();
  return true;
}

void GetSysIconIndexes(LPCITEMIDLIST pidl, int& normal, int& open) {
  normal = open = -1;
  if (!pidl) return;
  SHFILEINFOW sfi{};
  const UINT base = SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
  if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &sfi, sizeof sfi, base)) normal = sfi.iIcon;
  sfi = {};
  if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &sfi, sizeof sfi, base | SHGFI_OPENICON)) open = sfi.iIcon;
}
