#pragma once
// Item identifier lists: the shell's names for the objects of its namespace. Every list made
// here comes from the shell's allocator and is freed with FreePidl.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <string_view>

// The file-system path of an item identifier list; empty for nullptr or a non-file item.
std::wstring PidlToPath(LPCITEMIDLIST pidl);
inline void PidlToPath(std::wstring& path, LPCITEMIDLIST pidl) { path = PidlToPath(pidl); }
// Frees the list through the shell's allocator and sets it to nullptr.
void FreePidl(LPITEMIDLIST& pidl);
// The bytes of the whole list including its terminating zero; 0 for nullptr or a list that
// does not end within PidlMaxSize bytes.
constexpr UINT PidlMaxSize = 65536;
UINT PidlSize(LPCITEMIDLIST pidl);
// A copy; nullptr for nullptr.
LPITEMIDLIST CopyPidl(LPCITEMIDLIST pidl);
// A new list holding a's items followed by b's (a or b may be nullptr).
LPITEMIDLIST ConcatPidls(LPCITEMIDLIST a, LPCITEMIDLIST b);
// The first item as a new one-item list (an empty list stays empty); nullptr for nullptr.
LPITEMIDLIST CopyFirstPidlItem(LPCITEMIDLIST pidl);
// The last item as a new one-item list (an empty list stays empty); nullptr for nullptr.
LPITEMIDLIST CopyLastPidlItem(LPCITEMIDLIST pidl);
// The next item; nullptr when the current item's size is 0 (the end) or pidl is nullptr.
LPCITEMIDLIST NextPidlItem(LPCITEMIDLIST pidl);
// Byte-equal over the full size; both nullptr are equal, one nullptr differs.
bool SamePidl(LPCITEMIDLIST a, LPCITEMIDLIST b);
// folder's parse of path into a list relative to it (the desktop when folder is nullptr);
// False on failure, pidl nullptr.
bool ParseDisplayNameIn(HWND owner, IShellFolder* folder, std::wstring_view path, LPITEMIDLIST& pidl);
// The item's small icon indexes in the system image list, normal and open; -1 on failure.
void GetSysIconIndexes(LPCITEMIDLIST pidl, int& normal, int& open);
