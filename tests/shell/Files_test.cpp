// Files, drives and folders on the real file system under Wine: scratch folders, a drive
// letter and a network share mapped onto scratch folders.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "ShellTestUtil.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

namespace {
void Touch(const std::wstring& path) { ASSERT_TRUE(WriteFileRaw(path, "x")) << path; }
}  // namespace

TEST(Files, KindsNeverMatchPatterns) {
  TTempDir t;
  Touch(t / L"a.txt");
  Touch(t / L"ab.txt");
  MakeDirs(t / L"dir");
  MakeDirs(t / L"한글 폴더");
  const struct {
    std::wstring path;
    int kind;
    bool folder;
  } cases[] = {
      {t / L"a.txt", 2, false},     {t / L"dir", 1, true},        {t / L"dir\\", 1, true},
      {t / L"한글 폴더", 1, true},  {t / L"missing", 0, false},   {t / L"missing\\a.txt", 0, false},
      {t / L"a*.txt", 0, false},    {t / L"a?.txt", 0, false},     {t / L"*", 0, false},
      {t / L"di?", 0, false},       {t / L"d*\\", 0, false},      {L"", 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetPathKind(c.path), c.kind) << c.path;
    EXPECT_EQ(PathExists(c.path), c.kind != 0) << c.path;
    EXPECT_EQ(PathExistsAny(c.path), c.kind != 0) << c.path;
    EXPECT_EQ(FolderExists(c.path), c.folder) << c.path;
    WIN32_FIND_DATAW fd;
    bool exact = c.kind != 0 && c.path.back() != L'\\';
    EXPECT_EQ(FindFirstSafe(c.path, fd), exact) << c.path;
  }
  WIN32_FIND_DATAW fd{};
  ASSERT_TRUE(FindFirstSafe(t / L"a.txt", fd));
  EXPECT_STREQ(fd.cFileName, L"a.txt");
  EXPECT_EQ(GetFindDataSize(fd), 1);
  // A folder without a root is not taken relative to anything.
  EXPECT_FALSE(FolderExists(L"dir"));
}

TEST(Files, MappedDriveAndLabel) {
  TMappedDrive drive(L"VELMO_T", "5a5ac0de");
  ASSERT_TRUE(drive.Ok());
  int index = drive.Letter() - L'A';
  MakeDirs(drive.Folder() / L"sub");
  EXPECT_TRUE(DriveExists(index));
  EXPECT_TRUE(DriveOrShareExists(drive.Root() + L"missing\\deeper"));
  EXPECT_TRUE(FolderExists(drive.Root()));
  EXPECT_TRUE(FolderExists(drive.Root().substr(0, 2)));
  EXPECT_TRUE(PathExistsAny(drive.Root()));
  EXPECT_TRUE(FolderExists(drive.Root() + L"sub"));
  EXPECT_FALSE(FolderExists(drive.Root() + L"missing"));
  EXPECT_EQ(GetVolumeLabel(drive.Root()), L"VELMO_T");
  EXPECT_EQ(GetVolumeLabel(drive.Root().substr(0, 2)), L"VELMO_T");  // "\" added
  for (int bad : {-1, 26, 31, 40}) EXPECT_FALSE(DriveExists(bad)) << bad;

  // A letter no drive uses.
  DWORD used = GetLogicalDrives();
  wchar_t free = 0;
  for (wchar_t l = L'Z'; l > L'D'; --l)
    if (!(used & (1u << (l - L'A')))) free = l;
  ASSERT_NE(free, 0);
  std::wstring none = std::wstring(1, free) + L":\\";
  EXPECT_FALSE(DriveExists(free - L'A'));
  EXPECT_FALSE(DriveOrShareExists(none + L"x"));
  EXPECT_FALSE(FolderExists(none));
  EXPECT_FALSE(PathExistsAny(none));
  EXPECT_EQ(GetVolumeLabel(none), L"");
  EXPECT_FALSE(DriveOrShareExists(L"relative\\path"));
}

TEST(Files, NetworkShare) {
  TMappedShare share("velmosrv", "docs");
  ASSERT_TRUE(share.Ok());
  MakeDirs(share.Folder() / L"sub");
  std::wstring root = share.Root();
  EXPECT_TRUE(IsUncPath(root + L"sub"));
  EXPECT_TRUE(DriveOrShareExists(root + L"anything"));
  EXPECT_TRUE(FolderExists(root));
  EXPECT_TRUE(FolderExists(root + L"sub\\"));
  EXPECT_FALSE(FolderExists(root + L"nothing"));
  EXPECT_FALSE(DriveOrShareExists(L"\\\\velmosrv\\noshare\\x"));
  EXPECT_FALSE(DriveOrShareExists(L"\\\\nosuchserver\\share\\x"));
  EXPECT_FALSE(FolderExists(L"\\\\nosuchserver\\share"));
  // Not a share of this computer: the network form stays.
  EXPECT_TRUE(SameTextI(NormalizePath(L" " + root + L"sub "), root + L"sub"));
}

TEST(Files, FolderEmptiness) {
  TTempDir t;
  MakeDirs(t / L"empty");
  MakeDirs(t / L"desc");
  Touch(t / L"desc\\DESCRIPT.ION");
  MakeDirs(t / L"sub\\inner");
  MakeDirs(t / L"file");
  Touch(t / L"file\\x");
  const struct {
    std::wstring path;
    bool plain, ignoringDescriptions;
  } cases[] = {
      {t / L"empty", true, true},     {t / L"empty\\", true, true}, {t / L"desc", false, true},
      {t / L"sub", false, false},     {t / L"file", false, false},  {t / L"missing", false, false},
      {t / L"emp*", false, false},    {t / L"file\\x", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsFolderEmpty(c.path, false), c.plain) << c.path;
    EXPECT_EQ(IsFolderEmpty(c.path, true), c.ignoringDescriptions) << c.path;
  }
}

TEST(Files, ForceFoldersCreatesLevelsAlsoThroughLinks) {
  TTempDir t;
  std::wstring last = L"stale";
  std::wstring deep = t / L"a\\b\\새 폴더";
  EXPECT_TRUE(ForceFolders(deep, last));
  EXPECT_EQ(last, deep);
  EXPECT_EQ(GetPathKind(deep), 1);
  EXPECT_TRUE(ForceFolders(deep + L"\\", last));  // already there
  EXPECT_EQ(last, L"");

  // Only the missing levels count; ".." is resolved before anything is made.
  EXPECT_TRUE(ForceFolders(t / L"a\\x\\..\\y", last));
  EXPECT_EQ(last, t / L"a\\y");
  EXPECT_EQ(GetPathKind(t / L"a\\x"), 0);

  Touch(t / L"plain");
  EXPECT_FALSE(ForceFolders(t / L"plain\\below", last));
  EXPECT_EQ(last, L"");
  EXPECT_FALSE(ForceFolders(t / L"pat*\\x", last));
  EXPECT_EQ(GetPathKind(t / L"pat*"), 0);

  // A link to a folder elsewhere (a redirected user folder): the levels below it are made
  // in the folder it stands for, and the link itself stays a link.
  TTempDir elsewhere;
  RunHost("ln -s " + ShellQuote(HostPath(elsewhere.Path())) + " " + ShellQuote(HostPath(t / L"link")));
  ASSERT_EQ(GetPathKind(t / L"link"), 1);
  EXPECT_TRUE(ForceFolders(t / L"link", last));  // it is a folder as it stands
  EXPECT_EQ(last, L"");
  EXPECT_TRUE(ForceFolders(t / L"link\\made\\here", last));
  EXPECT_EQ(last, t / L"link\\made\\here");
  EXPECT_EQ(GetPathKind(elsewhere / L"made\\here"), 1);
  EXPECT_TRUE(ForceFolders(t / L"link\\made\\here", last));
  EXPECT_EQ(last, L"");
  // A link made by the system's own call, where it can make one, is no stop either (where the
  // folder lands is the file system's business).
  if (CreateSymbolicLinkW((t / L"syslink").c_str(), elsewhere.Path().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    EXPECT_TRUE(ForceFolders(t / L"syslink\\second", last));
    EXPECT_EQ(GetPathKind(t / L"syslink\\second"), 1);
    RemoveDirectoryW((t / L"syslink\\second").c_str());
    RemoveDirectoryW((t / L"syslink").c_str());
  }
  RunHost("rm -f " + ShellQuote(HostPath(t / L"link")));
}

TEST(Files, UniqueNames) {
  TTempDir t;
  MakeDirs(t / L"폴더");
  MakeDirs(t / L"폴더1");
  Touch(t / L"a.txt");
  Touch(t / L"a1.txt");
  const struct {
    const wchar_t* name;
    bool split;
    const wchar_t* unique;
  } cases[] = {
      {L"폴더", false, L"폴더2"}, {L"a.txt", true, L"a2.txt"}, {L"a.txt", false, L"a.txt1"},
      {L"new.txt", true, L"new.txt"}, {L"A.TXT", true, L"A2.TXT"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeUniqueFileName(t.Path(), c.name, c.split), c.unique) << c.name;
    EXPECT_EQ(MakeUniqueFileName(t.Path() + L"\\", c.name, c.split), c.unique) << c.name;
  }
}

TEST(Files, ExpandEnvironment) {
  SetEnvironmentVariableW(L"VELMO_X", L"값");
  std::wstring exact(ExpandEnvMax - 2, L'k'), over(ExpandEnvMax + 100, L'k');
  SetEnvironmentVariableW(L"VELMO_EXACT", exact.c_str());
  SetEnvironmentVariableW(L"VELMO_OVER", over.c_str());
  EXPECT_EQ(ExpandEnvStr(L"%VELMO_X%\\y", false), L"값\\y");
  EXPECT_EQ(ExpandEnvStr(L"%VELMO_UNSET_NAME%", false), L"%VELMO_UNSET_NAME%");
  EXPECT_EQ(ExpandEnvStr(L"[%VELMO_EXACT%]", false), L"[" + exact + L"]");  // exactly the limit
  EXPECT_EQ(ExpandEnvStr(L"%VELMO_OVER%", false), L"");  // past the limit: a failure, not a cut text
  EXPECT_EQ(ExpandEnvStr(L"x%VELMO_EXACT%x", false), L"x" + exact + L"x");  // 512
  EXPECT_EQ(ExpandEnvStr(L"xx%VELMO_EXACT%x", false), L"");                // 513
  SetEnvironmentVariableW(L"VELMO_OVER", nullptr);
}

TEST(Files, ShortCurrentProgramAndSpecialFolders) {
  TTempDir t;
  std::wstring longName = t / L"a folder with a long name";
  MakeDirs(longName);
  std::wstring s = GetShortPath(longName);
  EXPECT_NE(s, longName);
  EXPECT_NE(s.find(L'~'), std::wstring::npos) << s;
  EXPECT_EQ(GetPathKind(s), 1);
  EXPECT_EQ(GetShortPath(t / L"missing"), t / L"missing");

  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(longName.c_str()));
  EXPECT_TRUE(SameTextI(ExcludeTrailingBackslashKeepRoot(GetCurrentDir()), longName));
  // Relative paths are made full against it.
  EXPECT_TRUE(SameTextI(NormalizePath(L"  x\\..\\y  "), longName + L"\\y"));
  SetCurrentDirectoryW(saved);

  std::wstring dir = GetProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), L'\\');
  EXPECT_EQ(GetPathKind(dir + L"test_shell.exe"), 2);

  EXPECT_EQ(GetPathKind(GetSpecialFolderPath(CSIDL_WINDOWS)), 1);
  EXPECT_EQ(GetPathKind(GetSpecialFolderPath(CSIDL_APPDATA)), 1);
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_DRIVES), L"");  // "My Computer" has no path
  EXPECT_EQ(GetSpecialFolderPath(0x7E), L"");
}

TEST(Files, SamePaths) {
  EXPECT_TRUE(SamePath(L"C:\\Windows\\", L"c:\\WINDOWS"));
  EXPECT_TRUE(SamePath(L"C:\\Windows\\System32\\..", L"C:\\windows"));
  EXPECT_FALSE(SamePath(L"C:\\Windows", L"C:\\Windows2"));
  EXPECT_TRUE(SamePath(L"\\\\srv\\share\\", L"\\\\SRV\\Share"));
  EXPECT_TRUE(SamePathRoot(L"C:\\a", L"c:\\b\\c"));
  EXPECT_FALSE(SamePathRoot(L"C:\\a", L"D:\\a"));
  EXPECT_TRUE(SamePathRoot(L"\\\\srv\\sh\\a", L"\\\\srv\\SH\\b"));
  EXPECT_FALSE(SamePathRoot(L"\\\\srv\\sh\\a", L"\\\\srv\\other\\a"));

  const struct {
    const wchar_t *a, *b, *sub;
    bool anyDepth, result;
  } cases[] = {
      {L"C:\\A", L"C:\\A\\", L"", false, true},
      {L"C:\\A", L"c:\\a\\B", L"", false, true},
      {L"C:\\A", L"C:\\AB", L"", false, false},
      {L"C:\\A\\B", L"C:\\A", L"", false, false},
      {L"C:\\A", L"C:\\A\\Sub", L"Sub", false, true},
      {L"C:\\A", L"C:\\A\\Sub\\x", L"Sub", false, true},
      {L"C:\\A", L"C:\\A\\Other", L"Sub", false, false},
      {L"C:\\A", L"C:\\A\\Subway", L"Sub", false, false},
      {L"C:\\A\\Sub\\x", L"C:\\A", L"Sub", false, false},
      {L"C:\\A\\Sub\\x", L"C:\\A", L"Sub", true, true},
      {L"C:\\A", L"C:\\A", L"Sub", false, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsSameOrSubPath(c.a, c.b, c.sub, c.anyDepth), c.result) << c.a << " " << c.b << " " << c.sub;
}

TEST(Files, ReachablePaths) {
  TComScope com;
  TTempDir t;
  MakeDirs(t / L"empty");
  MakeDirs(t / L"full");
  Touch(t / L"full\\f");
  Touch(t / L"file");
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);

  for (std::wstring ok : {t / L"empty", t / L"full", t / L"full\\", t.Path()}) {
    EXPECT_TRUE(ProbePathReachable(owner, ok).Reachable) << ok;
    EXPECT_TRUE(CheckPathReachable(nullptr, ok)) << ok;
  }
  // A missing folder below a root: message 4151, shown only with an owner that counts.
  TPathReach missing = ProbePathReachable(owner, t / L"missing");
  EXPECT_FALSE(missing.Reachable);
  EXPECT_EQ(missing.MessageId, 4151);
  EXPECT_FALSE(CheckPathReachable(owner, t / L"missing"));  // not the active window: no box
  EXPECT_FALSE(ProbePathReachable(owner, t / L"file").Reachable);
  EXPECT_FALSE(ProbePathReachable(owner, t / L"e*").Reachable);

  TMappedDrive drive(L"R", "00000001");
  ASSERT_TRUE(drive.Ok());
  EXPECT_TRUE(CheckPathReachable(nullptr, drive.Root()));

  // A drive that is not there: refused, with a reason to show.
  DWORD used = GetLogicalDrives();
  wchar_t free = 0;
  for (wchar_t l = L'Z'; l > L'D'; --l)
    if (!(used & (1u << (l - L'A')))) free = l;
  ASSERT_NE(free, 0);
  TPathReach absent = ProbePathReachable(owner, std::wstring(1, free) + L":\\folder");
  EXPECT_FALSE(absent.Reachable);
  EXPECT_TRUE(absent.SystemError != 0 || absent.MessageId == 4151);
  // Its root: once the shell has had its say to an owner, the caller goes on; without an owner
  // it is simply not there.
  std::wstring root = std::wstring(1, free) + L":\\";
  TPathReach withOwner = ProbePathReachable(owner, root), alone = ProbePathReachable(nullptr, root);
  EXPECT_FALSE(alone.Reachable);
  EXPECT_EQ(withOwner.Reachable, withOwner.SystemError == 0);
  EXPECT_EQ(withOwner.MessageId, 0);
  DestroyWindow(owner);
}
