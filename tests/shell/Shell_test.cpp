// Item identifier lists, the system image list, the shell's context menu and properties, on
// real files through the platform's shell.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ShellTestUtil.h"
#include "foundation/Context.h"
#include "foundation/MPIDL.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

namespace {
struct TPidl {
  LPITEMIDLIST P = nullptr;
  ~TPidl() { FreePidl(P); }
};
int ItemCount(LPCITEMIDLIST p) {
  int n = 0;
  for (; p && p->mkid.cb; p = NextPidlItem(p)) ++n;
  return n;
}
}  // namespace

TEST(Pidl, SplitCopyJoinCompare) {
  TComScope com;
  TTempDir t;
  MakeDirs(t / L"a");
  WriteFileRaw(t / L"a\\b.txt", "x");
  TPidl full, parent, folderPidl;
  ASSERT_TRUE(ParseDisplayNameIn(nullptr, nullptr, t / L"a\\b.txt", full.P));
  ASSERT_TRUE(ParseDisplayNameIn(nullptr, nullptr, t / L"a", parent.P));
  EXPECT_TRUE(SameTextI(PidlToPath(full.P), t / L"a\\b.txt"));
  int items = ItemCount(full.P);
  EXPECT_EQ(items, ItemCount(parent.P) + 1);
  EXPECT_EQ(NextPidlItem(nullptr), nullptr);

  TPidl copy, last, first, rest, joined, joinedFirst;
  copy.P = CopyPidl(full.P);
  ASSERT_NE(copy.P, nullptr);
  EXPECT_NE(copy.P, full.P);
  EXPECT_TRUE(SamePidl(copy.P, full.P));
  EXPECT_EQ(PidlSize(copy.P), PidlSize(full.P));

  last.P = CopyLastPidlItem(full.P);
  EXPECT_EQ(ItemCount(last.P), 1);
  joined.P = ConcatPidls(parent.P, last.P);
  EXPECT_TRUE(SamePidl(joined.P, full.P));

  first.P = CopyFirstPidlItem(full.P);
  EXPECT_EQ(ItemCount(first.P), 1);
  rest.P = CopyPidl(NextPidlItem(full.P));
  EXPECT_EQ(ItemCount(rest.P), items - 1);
  joinedFirst.P = ConcatPidls(first.P, rest.P);
  EXPECT_TRUE(SamePidl(joinedFirst.P, full.P));

  TPidl onlyB, onlyA;
  onlyB.P = ConcatPidls(nullptr, last.P);
  EXPECT_TRUE(SamePidl(onlyB.P, last.P));
  onlyA.P = ConcatPidls(parent.P, nullptr);
  EXPECT_TRUE(SamePidl(onlyA.P, parent.P));

  EXPECT_TRUE(SamePidl(nullptr, nullptr));
  EXPECT_FALSE(SamePidl(full.P, nullptr));
  EXPECT_FALSE(SamePidl(nullptr, full.P));
  EXPECT_FALSE(SamePidl(full.P, parent.P));
  EXPECT_EQ(CopyPidl(nullptr), nullptr);
  EXPECT_EQ(CopyLastPidlItem(nullptr), nullptr);
  EXPECT_EQ(CopyFirstPidlItem(nullptr), nullptr);
  EXPECT_EQ(PidlToPath(nullptr), L"");

  // A folder's own parse gives names relative to it.
  IShellFolder* desktop = nullptr;
  IShellFolder* folder = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetDesktopFolder(&desktop)));
  ASSERT_TRUE(SUCCEEDED(desktop->BindToObject(parent.P, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))));
  TPidl rel, missing;
  ASSERT_TRUE(ParseDisplayNameIn(nullptr, folder, L"b.txt", rel.P));
  EXPECT_TRUE(SamePidl(rel.P, last.P));
  EXPECT_FALSE(ParseDisplayNameIn(nullptr, folder, L"nothing.here", missing.P));
  EXPECT_EQ(missing.P, nullptr);
  folder->Release();
  desktop->Release();

  // Not a file-system item.
  TPidl computer;
  ASSERT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer.P)));
  EXPECT_EQ(PidlToPath(computer.P), L"");

  LPITEMIDLIST gone = CopyPidl(full.P);
  FreePidl(gone);
  EXPECT_EQ(gone, nullptr);
}

TEST(Pidl, DamagedListsAreRefused) {
  // Two items whose sizes run past any sane list, then the terminator.
  std::vector<BYTE> buf(2 * 40000 + 2, 0);
  *reinterpret_cast<USHORT*>(&buf[0]) = 40000;
  *reinterpret_cast<USHORT*>(&buf[40000]) = 40000;
  auto p = reinterpret_cast<LPCITEMIDLIST>(buf.data());
  EXPECT_EQ(PidlSize(p), 0u);
  EXPECT_EQ(CopyPidl(p), nullptr);
  EXPECT_EQ(CopyLastPidlItem(p), nullptr);
  EXPECT_FALSE(SamePidl(p, p));
  // An empty list: just the terminator.
  USHORT empty = 0;
  auto e = reinterpret_cast<LPCITEMIDLIST>(&empty);
  EXPECT_EQ(PidlSize(e), 2u);
  EXPECT_EQ(NextPidlItem(e), nullptr);
  TPidl c;
  c.P = CopyLastPidlItem(e);
  ASSERT_NE(c.P, nullptr);
  EXPECT_EQ(c.P->mkid.cb, 0);
}

TEST(Pidl, SystemIconIndexes) {
  TComScope com;
  TTempDir t;
  MakeDirs(t / L"dir");
  TPidl dir;
  ASSERT_TRUE(ParseDisplayNameIn(nullptr, nullptr, t / L"dir", dir.P));
  int normal = -2, open = -2;
  GetSysIconIndexes(dir.P, normal, open);
  EXPECT_GE(normal, 0);
  EXPECT_GE(open, 0);
  GetSysIconIndexes(nullptr, normal, open);
  EXPECT_EQ(normal, -1);
  EXPECT_EQ(open, -1);
}

namespace {
// All command ids of a menu and its submenus.
void CollectIds(HMENU menu, std::vector<UINT>& ids) {
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      CollectIds(sub, ids);
      continue;
    }
    UINT id = GetMenuItemID(menu, i);
    if (id != 0 && id != static_cast<UINT>(-1)) ids.push_back(id);
  }
}
// A picker that chooses the command with the given verb, remembering every verb it saw.
TShellMenuPicker PickVerb(const std::wstring& verb, std::vector<std::wstring>* seen = nullptr) {
  return [verb, seen](HMENU menu, HWND, POINT, const std::function<std::wstring(UINT)>& verbOf) -> UINT {
    std::vector<UINT> ids;
    CollectIds(menu, ids);
    UINT chosen = 0;
    for (UINT id : ids) {
      std::wstring v = verbOf(id);
      if (seen) seen->push_back(v);
      if (!chosen && SameTextI(v, verb)) chosen = id;
    }
    return chosen;
  };
}
std::vector<std::wstring> ClipboardFiles() {
  std::vector<std::wstring> files;
  if (!OpenClipboard(nullptr)) return files;
  if (HANDLE h = GetClipboardData(CF_HDROP)) {
    auto drop = static_cast<HDROP>(h);
    UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
      wchar_t buf[MAX_PATH + 1] = {};
      DragQueryFileW(drop, i, buf, MAX_PATH + 1);
      files.push_back(buf);
    }
  }
  CloseClipboard();
  return files;
}
struct TPickerScope {
  explicit TPickerScope(TShellMenuPicker p) { ShellMenuPicker = std::move(p); }
  ~TPickerScope() { ShellMenuPicker = nullptr; }
};
}  // namespace

TEST(ShellMenu, RunsTheChosenCommandButLeavesRenameToTheCaller) {
  TComScope com;
  TTempDir t;
  std::wstring file = t / L"문서.txt";
  WriteFileRaw(file, "x");
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  bool renamed = true;
  {
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    TPickerScope pick(PickVerb(L"copy"));
    EXPECT_TRUE(ShowShellContextMenuAt(file, owner, POINT{5, 5}, true, renamed));
    EXPECT_FALSE(renamed);
    std::vector<std::wstring> files = ClipboardFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(SameTextI(files[0], file));
  }
  {
    std::vector<std::wstring> verbs;
    TPickerScope pick(PickVerb(L"rename", &verbs));
    bool ok = ShowShellContextMenuAt(file, owner, POINT{5, 5}, true, renamed);
    bool offered = false;
    for (auto& v : verbs) offered |= SameTextI(v, L"rename");
    if (offered) {
      EXPECT_TRUE(ok);
      EXPECT_TRUE(renamed);
    }
    EXPECT_EQ(GetPathKind(file), 2);  // the shell did not rename it
    // Rename not allowed: never reported, never run.
    EXPECT_FALSE(ShowShellContextMenuAt(file, owner, POINT{5, 5}, false, renamed));
    EXPECT_FALSE(renamed);
    EXPECT_EQ(GetPathKind(file), 2);
  }
  {
    TPickerScope pick([](HMENU, HWND, POINT, const std::function<std::wstring(UINT)>&) -> UINT { return 0; });
    EXPECT_FALSE(ShowShellContextMenuAt(file, owner, POINT{5, 5}, true, renamed));
    EXPECT_FALSE(renamed);
  }
  EXPECT_FALSE(ShowShellContextMenuAt(t / L"missing.txt", owner, POINT{5, 5}, true, renamed));
  DestroyWindow(owner);
}

TEST(ShellMenu, SeveralItemsOfOneFolder) {
  TComScope com;
  TTempDir t;
  WriteFileRaw(t / L"one.txt", "1");
  WriteFileRaw(t / L"two.txt", "2");
  TPidl folderPidl, one, two;
  ASSERT_TRUE(ParseDisplayNameIn(nullptr, nullptr, t.Path(), folderPidl.P));
  IShellFolder* desktop = nullptr;
  IShellFolder* folder = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetDesktopFolder(&desktop)));
  ASSERT_TRUE(SUCCEEDED(desktop->BindToObject(folderPidl.P, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))));
  ASSERT_TRUE(ParseDisplayNameIn(nullptr, folder, L"one.txt", one.P));
  ASSERT_TRUE(ParseDisplayNameIn(nullptr, folder, L"two.txt", two.P));
  LPCITEMIDLIST items[] = {one.P, two.P};
  bool renamed = true;
  {
    TPickerScope pick(PickVerb(L"copy"));
    EXPECT_TRUE(ShowShellContextMenuPidlsAt(folder, items, 0, nullptr, POINT{1, 1}, 2, false, renamed));
  }
  EXPECT_FALSE(renamed);
  std::vector<std::wstring> files = ClipboardFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(SameTextI(files[0], t / L"one.txt"));
  EXPECT_TRUE(SameTextI(files[1], t / L"two.txt"));
  EXPECT_FALSE(ShowShellContextMenuPidlsAt(folder, items, 0, nullptr, POINT{1, 1}, 0, false, renamed));
  EXPECT_FALSE(ShowShellPropertiesPidls(folder, nullptr, 0, nullptr, 1));
  folder->Release();
  desktop->Release();
}

namespace {
std::atomic<int> sheetsClosed{0};
BOOL CALLBACK CloseOurDialogs(HWND w, LPARAM) {
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  wchar_t cls[64] = {};
  GetClassNameW(w, cls, 64);
  if (owner == GetCurrentProcessId() && IsWindowVisible(w) && wcscmp(cls, L"#32770") == 0) {
    PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
    PostMessageW(w, WM_CLOSE, 0, 0);
    ++sheetsClosed;
  }
  return TRUE;
}
}  // namespace

TEST(ShellMenu, PropertiesOfAPath) {
  TComScope com;
  TTempDir t;
  std::wstring file = t / L"props.txt";
  WriteFileRaw(file, "x");
  // The sheet the shell opens is closed from the side as soon as it shows.
  std::atomic<bool> stop{false};
  sheetsClosed = 0;
  std::thread closer([&] {
    while (!stop) {
      EnumWindows(CloseOurDialogs, 0);
      Sleep(50);
    }
  });
  bool shown = ShowShellProperties(file, nullptr);
  stop = true;
  closer.join();
  EXPECT_TRUE(shown);
  EXPECT_FALSE(ShowShellProperties(t / L"missing.txt", nullptr));
}
