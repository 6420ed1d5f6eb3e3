// Owned handles, the grow-and-retry loop and the folder enumeration, on the real system.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "framework/FolderEnum.h"
#include "framework/Handles.h"

namespace {
HANDLE OpenExclusive(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

void Touch(const std::wstring& path) { TFileHandle(OpenExclusive(path)); }

std::wstring IncludeBackslash(std::wstring s) {
  if (s.empty() || s.back() != L'\\') s += L'\\';
  return s;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
  std::sort(v.begin(), v.end());
  return v;
}
}  // namespace

TEST(Handles, FileHandleClosesOnEveryWayOut) {
  TTempDir dir;
  const std::wstring file = dir / L"locked.bin";
  {
    TFileHandle first(OpenExclusive(file));
    ASSERT_TRUE(first);
    // Held exclusively: a second open is refused while the first handle lives.
    TFileHandle second(OpenExclusive(file));
    EXPECT_FALSE(second);
    EXPECT_EQ(second.get(), nullptr) << "a failed open is an empty handle, not INVALID_HANDLE_VALUE";
  }
  TFileHandle again(OpenExclusive(file));
  EXPECT_TRUE(again) << "the first handle was closed when it went out of scope";

  // Moving hands ownership over; reset closes at once.
  TFileHandle moved(std::move(again));
  EXPECT_FALSE(again);
  ASSERT_TRUE(moved);
  moved.reset();
  EXPECT_TRUE(TFileHandle(OpenExclusive(file)));

  // A close that is checked reports success and leaves the handle empty.
  TFileHandle checked(OpenExclusive(file));
  EXPECT_TRUE(CloseChecked(checked));
  EXPECT_FALSE(checked);
  EXPECT_TRUE(CloseChecked(checked)) << "nothing to close is no failure";
}

TEST(Handles, FindAndEventHandles) {
  TTempDir dir;
  Touch(dir / L"a.txt");
  WIN32_FIND_DATAW fd;
  TFindHandle none(FindFirstFileW((dir / L"missing*").c_str(), &fd));
  EXPECT_FALSE(none);
  TFindHandle found(FindFirstFileW((dir / L"a.*").c_str(), &fd));
  ASSERT_TRUE(found);
  EXPECT_STREQ(fd.cFileName, L"a.txt");

  TEventHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  SetEvent(event.get());
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

TEST(Handles, RegistryKeysThroughPutAndPredefinedKeysStayOpen) {
  TRegKeyHandle key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  EXPECT_TRUE(key);
  // A second open through the same handle closes the first key and keeps the new one.
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  EXPECT_TRUE(key);
  {
    TRegKeyHandle predefined(HKEY_CURRENT_USER);
  }
  TRegKeyHandle after;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, after.put()), ERROR_SUCCESS)
      << "a predefined key is never closed by its owner";
}

TEST(Handles, WindowingAndMemoryKindsAreFreedByTheirOwnCloser) {
  // Each kind's closer really frees it: the system no longer knows the handle afterwards.
  HMENU rawMenu = nullptr;
  HGDIOBJ rawPen = nullptr;
  {
    const TMenuHandle menu(CreatePopupMenu());
    const TPenHandle pen(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    rawMenu = menu.get();
    rawPen = pen.get();
    ASSERT_TRUE(IsMenu(rawMenu));
    ASSERT_EQ(GetObjectType(rawPen), static_cast<DWORD>(OBJ_PEN));
    const TScreenDCHandle screen(GetDC(nullptr));
    EXPECT_GT(GetDeviceCaps(screen.get(), BITSPIXEL), 0);
    const TCoTaskMemPtr<wchar_t*> text(static_cast<wchar_t*>(CoTaskMemAlloc(16)));
    EXPECT_TRUE(text);
    const TGlobalMemHandle global(GlobalAlloc(GHND, 16));
    EXPECT_TRUE(global);
  }
  EXPECT_FALSE(IsMenu(rawMenu));
  EXPECT_EQ(GetObjectType(rawPen), 0u);
}

TEST(Handles, LastErrorNamesTheCall) {
  TFileHandle f(CreateFileW(L"C:\\no such folder here\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  const TWinError e = f ? TWinError{} : LastWinError("CreateFileW");
  ASSERT_TRUE(e);
  EXPECT_EQ(e.Code, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_STREQ(e.Call, "CreateFileW");
  EXPECT_FALSE(TWinError{});
}

TEST(Handles, GrowAndRetry) {
  // A call whose answer is n characters, answering the way GetFullPathNameW does.
  auto answerOf = [](size_t n) {
    return [n](wchar_t* buf, DWORD cap) -> DWORD {
      if (cap <= n) return static_cast<DWORD>(n + 1);
      std::fill(buf, buf + n, L'x');
      buf[n] = 0;
      return static_cast<DWORD>(n);
    };
  };
  struct Case {
    size_t Length;
    DWORD First;
    DWORD Max;
    bool Ok;
  } cases[] = {
      {5, 260, 1000, true},       // fits at once
      {700, 260, 1000, true},     // one retry with the size asked for
      {999, 260, 1000, true},     // the largest that fits
      {1000, 260, 1000, false},   // one past the limit
      {40000, 1, 0x100000, true}, // from a tiny first buffer
  };
  for (const Case& c : cases) {
    std::wstring out = L"untouched";
    SetLastError(0);
    EXPECT_EQ(GrowAndRetry(out, answerOf(c.Length), c.First, c.Max), c.Ok) << c.Length;
    if (c.Ok) {
      EXPECT_EQ(out, std::wstring(c.Length, L'x')) << c.Length;
    } else {
      EXPECT_EQ(out, L"untouched");
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
  }
  // A call that cuts its answer short and fills the whole buffer (GetModuleFileNameW).
  std::wstring out;
  auto truncating = [](wchar_t* buf, DWORD cap) -> DWORD {
    const DWORD n = 600;
    DWORD w = std::min(cap, n);
    std::fill(buf, buf + w, L'm');
    return w;
  };
  ASSERT_TRUE(GrowAndRetry(out, truncating, 100));
  EXPECT_EQ(out.size(), 600u);
  // A failing call keeps its error.
  auto failing = [](wchar_t*, DWORD) -> DWORD {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  };
  EXPECT_FALSE(GrowAndRetry(out, failing));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

class FolderEnumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW((Dir / L"sub").c_str(), nullptr);
    CreateDirectoryW((Dir / L"sub\\deeper").c_str(), nullptr);
    CreateDirectoryW((Dir / L"empty").c_str(), nullptr);
    Touch(Dir / L"a.txt");
    Touch(Dir / L"b.doc");
    Touch(Dir / L"sub\\c.txt");
    Touch(Dir / L"sub\\deeper\\d.txt");
  }
  TTempDir Dir;
};

TEST_F(FolderEnumTest, ListsOneFolderWithoutDotEntries) {
  struct Case {
    const wchar_t* Folder;
    unsigned Options;
    const wchar_t* Pattern;
    std::vector<std::wstring> Names;
  } cases[] = {
      {L"", 0, L"*", {L"a.txt", L"b.doc", L"empty", L"sub"}},
      {L"\\", 0, L"*", {L"a.txt", L"b.doc", L"empty", L"sub"}},  // a trailing backslash
      {L"", 0, L"*.txt", {L"a.txt"}},
      {L"\\sub", TFolderEnum::ParentEntry, L"*", {L"..", L"c.txt", L"deeper"}},
      {L"\\sub", 0, L"*", {L"c.txt", L"deeper"}},
      {L"\\empty", 0, L"*", {}},
      {L"", TFolderEnum::Recursive, L"*",
       {L"a.txt", L"b.doc", L"empty", L"sub", L"sub\\c.txt", L"sub\\deeper", L"sub\\deeper\\d.txt"}},
  };
  for (const Case& c : cases) {
    TFolderEnum list(Dir.Path() + c.Folder, c.Options, c.Pattern);
    std::vector<std::wstring> names;
    for (const WIN32_FIND_DATAW& fd : list) {
      names.push_back(list.RelativeName());
      EXPECT_EQ(list.FullName(), IncludeBackslash(Dir.Path() + c.Folder) + list.RelativeName());
      EXPECT_EQ(list.IsFolder(), (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
      EXPECT_EQ(list.Depth(), static_cast<int>(std::count(names.back().begin(), names.back().end(), L'\\')));
    }
    EXPECT_EQ(Sorted(names), c.Names) << c.Folder << L" " << c.Pattern;
    EXPECT_TRUE(list.Complete()) << c.Folder;
    EXPECT_EQ(list.Error(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(list.Opened());
  }
  // A pattern nothing matches is a whole, empty listing.
  TFolderEnum none(Dir.Path(), 0, L"*.none");
  EXPECT_EQ(none.begin(), none.end());
  EXPECT_FALSE(none.Opened());
  EXPECT_TRUE(none.Complete());
}

TEST_F(FolderEnumTest, MissingFolderAndBrokenWalk) {
  TFolderEnum missing(Dir / L"nothing here");
  EXPECT_EQ(missing.begin(), missing.end());
  EXPECT_FALSE(missing.Opened());
  EXPECT_FALSE(missing.Complete());
  EXPECT_EQ(missing.Error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  TFolderEnum blank(L"");
  EXPECT_EQ(blank.begin(), blank.end());
  EXPECT_EQ(blank.Error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  // A walk that breaks off after two entries is not complete and says why.
  TFolderEnum broken(Dir.Path());
  int calls = 0;
  broken.FindNext = [&calls](HANDLE find, WIN32_FIND_DATAW& data) {
    if (++calls > 2) {
      SetLastError(ERROR_NETNAME_DELETED);
      return false;
    }
    return FindNextFileW(find, &data) != FALSE;
  };
  int seen = 0;
  for (const auto& fd : broken) seen += fd.cFileName[0] != L'.';
  EXPECT_LE(seen, 3);
  EXPECT_TRUE(broken.Opened());
  EXPECT_FALSE(broken.Complete());
  EXPECT_EQ(broken.Error(), static_cast<DWORD>(ERROR_NETNAME_DELETED));

  // A list is walked once.
  TFolderEnum once(Dir.Path());
  int first = 0;
  for (const auto& fd : once) first += fd.cFileName[0] != 0;
  EXPECT_EQ(first, 4);
  EXPECT_EQ(once.begin(), once.end());
}

TEST(FolderEnum, WhatCountsAsALink) {
  WIN32_FIND_DATAW d{};
  d.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  EXPECT_FALSE(TFolderEnum::IsLinkData(d));
  d.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  struct Case {
    DWORD Tag;
    bool Link;
  } cases[] = {
      {IO_REPARSE_TAG_MOUNT_POINT, true},  // a junction
      {IO_REPARSE_TAG_SYMLINK, true},
      {0, true},            // a tag not given: taken for a link
      {0x80000013, false},  // a deduplicated file's data, not another name
  };
  for (const Case& c : cases) {
    d.dwReserved0 = c.Tag;
    EXPECT_EQ(TFolderEnum::IsLinkData(d), c.Link) << std::hex << c.Tag;
  }
}

TEST_F(FolderEnumTest, RecursiveWalkLeavesLinksUnlessAsked) {
  // "sub" shown as a junction, as the file system reports one.
  auto junctionSub = [](HANDLE find, WIN32_FIND_DATAW& data) {
    if (!FindNextFileW(find, &data)) return false;
    if (std::wstring_view(data.cFileName) == L"sub") {
      data.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      data.dwReserved0 = IO_REPARSE_TAG_MOUNT_POINT;
    }
    return true;
  };
  struct Case {
    unsigned Options;
    std::vector<std::wstring> Names;
  } cases[] = {
      {TFolderEnum::Recursive, {L"a.txt", L"b.doc", L"empty", L"sub"}},
      {TFolderEnum::Recursive | TFolderEnum::FollowLinks,
       {L"a.txt", L"b.doc", L"empty", L"sub", L"sub\\c.txt", L"sub\\deeper", L"sub\\deeper\\d.txt"}},
  };
  for (const Case& c : cases) {
    TFolderEnum walk(Dir.Path(), c.Options);
    walk.FindNext = junctionSub;
    std::vector<std::wstring> names;
    bool sawLink = false;
    for (const auto& fd : walk) {
      names.push_back(walk.RelativeName());
      if (names.back() == L"sub") sawLink = walk.IsLink() && TFolderEnum::IsLinkData(fd);
    }
    EXPECT_EQ(Sorted(names), c.Names) << c.Options;
    EXPECT_TRUE(sawLink);
    EXPECT_TRUE(walk.Complete());
  }
}

TEST_F(FolderEnumTest, RealSymbolicLinkIsNotEntered) {
  // A link inside the tree that leads back to its top: entering it would never end.
  const std::wstring link = Dir / L"sub\\loop";
  if (!CreateSymbolicLinkW(link.c_str(), Dir.Path().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "no symbolic links here: " << GetLastError();
  WIN32_FIND_DATAW fd;
  if (!TFindHandle(FindFirstFileW(link.c_str(), &fd)) || !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    RemoveDirectoryW(link.c_str());
    DeleteFileW(link.c_str());
    GTEST_SKIP() << "links are not shown as reparse points here";
  }
  TFolderEnum walk(Dir.Path(), TFolderEnum::Recursive);
  std::vector<std::wstring> names;
  for (const auto& e : walk) {
    (void)e;
    names.push_back(walk.RelativeName());
    if (names.size() > 100) break;
  }
  EXPECT_EQ(Sorted(names), (std::vector<std::wstring>{L"a.txt", L"b.doc", L"empty", L"sub", L"sub\\c.txt",
                                                       L"sub\\deeper", L"sub\\deeper\\d.txt", L"sub\\loop"}));
  EXPECT_TRUE(walk.Complete());
  RemoveDirectoryW(link.c_str());
}
