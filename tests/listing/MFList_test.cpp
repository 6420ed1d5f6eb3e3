#include "panels/MFList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "arclayer/ArcFixtures.h"
#include "archive/layer/ArcTree.h"
#include "common/TestUtil.h"
#include "foundation/ExtDef.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "listing/ListingStandIns.h"
#include "shell/ShellTestUtil.h"

namespace {

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    Options.DiskMonitor = false;  // the monitor has its own tests
    Options.ShowDrive = false;
    Options.ShowDriveItem = false;
    Programs.ExtColor.Groups.clear();
    Programs.ExtColor.Rebuild();
    Programs.ExtPrograms.clear();
    Programs.Rebuild();
  }
  void TearDown() override { SetUp(); }
};

void MakeFile(const std::wstring& path, size_t size = 0, DWORD attr = 0) {
  WriteFileRaw(path, std::string(size, 'x'));
  if (attr) SetFileAttributesW(path.c_str(), attr);
}

// Names of the folders and files in list order (drive entries left out).
std::vector<std::wstring> Names(const TMFList& list) {
  std::vector<std::wstring> r;
  int n = list.Items().FolderCount() + list.Items().FileCount();
  for (int i = 0; i < n; ++i) r.push_back(list.ItemName(i));
  return r;
}

int IndexOf(const TMFList& list, const std::wstring& name) {
  for (int i = 0; i < list.Count(); ++i)
    if (list.ItemName(i) == name) return i;
  return -1;
}

// Processes messages until done() or about five seconds passed.
template <class F>
bool PumpUntil(F done) {
  for (int i = 0; i < 500; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (done()) return true;
    Sleep(10);
  }
  return false;
}

// A list whose enumeration can drop the ".." entry or break off with an error after some
// entries, as a folder taken away while it is read does.
class TSeamList : public TMFList {
 public:
  using TMFList::TMFList;
  bool HideParent = false;
  int FailAfter = -1;  // entries handed out by FindNextEntry before it fails
  int Calls = 0;

 protected:
  bool FindNextEntry(HANDLE find, WIN32_FIND_DATAW& data) override {
    if (FailAfter >= 0 && Calls++ >= FailAfter) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    for (;;) {
      if (!TMFList::FindNextEntry(find, data)) return false;
      if (!(HideParent && std::wstring(data.cFileName) == L"..")) return true;
    }
  }
};

TEST_F(ListingTest, FolderItemsCountsAndDescriptions) {
  TTempDir dir;
  CreateDirectoryW((dir / L"Sub").c_str(), nullptr);
  MakeFile(dir / L"b.txt", 5);
  MakeFile(dir / L"a.doc", 7);
  MakeFile(dir / L"readme", 11);
  MakeFile(dir / L"Long name file.txt", 2);
  // Descriptions are found without letter case, and by the short name when the long one has none.
  wchar_t shortPath[MAX_PATH] = {};
  GetShortPathNameW((dir / L"Long name file.txt").c_str(), shortPath, MAX_PATH);
  std::wstring shortName = shortPath;
  shortName = shortName.substr(shortName.rfind(L'\\') + 1);
  ASSERT_NE(shortName, L"Long name file.txt");
  const std::string descript = "B.TXT the b file\r\nSub a folder\r\nmissing.txt nothing\r\n.. up one\r\n" +
                               std::string(shortName.begin(), shortName.end()) + " by short name\r\n";
  WriteFileRaw(dir / L"DESCRIPT.ION", descript);
  TStandInTypes types;
  TMFList list(1);
  list.FileTypes = &types;
  list.Path = dir.Path();
  list.Refresh();

  EXPECT_EQ(list.Path, dir.Path() + L"\\");
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"Sub", L"a.doc", L"b.txt", L"DESCRIPT.ION",
                                                     L"Long name file.txt", L"readme"}));
  EXPECT_EQ(list.FolderCount, 2);
  EXPECT_EQ(list.DescCount, 4);
  EXPECT_EQ(list.GetItem(IndexOf(list, L"Long name file.txt"))->Desc, L"by short name");
  EXPECT_EQ(list.TotalSize, static_cast<int64_t>(5 + 7 + 11 + 2 + descript.size()));
  EXPECT_FALSE(list.PathNotFound);
  EXPECT_EQ(list.ItemIndex, -1);

  const TFileBoxItem& parent = *list.GetItem(0);
  EXPECT_EQ(parent.Kind, ikFolder);
  EXPECT_EQ(parent.IconIndex, 3);
  EXPECT_EQ(parent.Desc, L"up one");  // every listed item takes its description, ".." too
  const TFileBoxItem& sub = *list.GetItem(1);
  EXPECT_EQ(sub.Size, -1);
  EXPECT_EQ(sub.Color, Options.DirColor);
  EXPECT_EQ(sub.Desc, L"a folder");
  EXPECT_EQ(sub.TypeName, L"File Folder");  // types wanted: the folder lookup ran at once
  EXPECT_GT(sub.Time, 40000.0);
  const TFileBoxItem& b = *list.GetItem(IndexOf(list, L"b.txt"));
  EXPECT_EQ(b.Name, L"b");
  EXPECT_EQ(b.Ext, L"txt");
  EXPECT_EQ(b.Kind, ikFile);
  EXPECT_EQ(b.Size, 5);
  EXPECT_EQ(b.Desc, L"the b file");
  EXPECT_EQ(b.Pending, TFileBoxItem::PendingColor | TFileBoxItem::PendingIcon);  // left to the icon thread
  EXPECT_TRUE(b.TypeName.empty());
  const TFileBoxItem& readme = *list.GetItem(IndexOf(list, L"readme"));
  EXPECT_EQ(readme.Ext, L"");

  // The file mask applies to files only.
  list.FileMask = L"*.TXT;read*.*";
  list.Refresh();
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"Sub", L"b.txt", L"Long name file.txt", L"readme"}));
  EXPECT_EQ(list.TotalSize, 18);
}

TEST_F(ListingTest, HiddenFoldersAndFiles) {
  TTempDir dir;
  CreateDirectoryW((dir / L"HidDir").c_str(), nullptr);
  SetFileAttributesW((dir / L"HidDir").c_str(), FILE_ATTRIBUTE_HIDDEN);
  MakeFile(dir / L"h.txt", 1, FILE_ATTRIBUTE_HIDDEN);
  MakeFile(dir / L"sys.txt", 1, FILE_ATTRIBUTE_SYSTEM);
  struct Case {
    bool Hidden, IncHiddenDir, FolderShown, FileShown;
  } cases[] = {{false, false, false, false}, {false, true, true, false}, {true, false, true, true}};
  for (const auto& c : cases) {
    Options.PanelOptions(1).Hidden = c.Hidden;
    Options.IncHiddenDir = c.IncHiddenDir;
    TTreeCalls tree;
    TMFList list(1);
    list.CreateFolderTree = tree.Factory();
    list.Path = dir.Path();
    list.Refresh();
    std::vector<std::wstring> names = Names(list);
    auto has = [&](const wchar_t* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    EXPECT_EQ(has(L"HidDir"), c.FolderShown) << c.Hidden << c.IncHiddenDir;
    EXPECT_EQ(has(L"h.txt"), c.FileShown) << c.Hidden << c.IncHiddenDir;
    EXPECT_TRUE(has(L"sys.txt"));  // the system bit alone hides nothing
    // The tree cache learns of hidden folders whether they are shown or not.
    ASSERT_EQ(tree.Calls.size(), 1u);
    EXPECT_EQ(tree.Calls[0].Names, std::vector<std::wstring>{L"HidDir"});
  }
}

TEST_F(ListingTest, ParentEntryOnlyBelowTheRoot) {
  TMappedDrive drive(L"LST", "1234abcd");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  CreateDirectoryW((drive.Root() + L"sub").c_str(), nullptr);
  MakeFile(drive.Root() + L"sub\\f.txt");

  TSeamList list(1);
  list.Path = drive.Root();
  list.Refresh();
  EXPECT_EQ(list.Depth, 0);
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"sub"}));

  // One level down ".." leads, also when the file system does not report it.
  for (bool hide : {false, true}) {
    list.HideParent = hide;
    list.Path = drive.Root() + L"sub";
    list.Refresh();
    EXPECT_EQ(list.Depth, 1);
    EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"f.txt"})) << hide;
    EXPECT_EQ(list.GetItem(0)->Attr & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  }
}

TEST_F(ListingTest, NetworkShareSpaceOnlyWhenAsked) {
  TMappedShare share("velmosrv", "docs");
  if (!share.Ok()) GTEST_SKIP() << "no share could be mapped";
  MakeFile(share.Root() + L"f.txt", 3);
  for (bool netSize : {false, true}) {
    Options.NetDriveSize = netSize;
    TMFList list(1);
    list.Path = share.Root();
    list.Refresh();
    EXPECT_EQ(Names(list), std::vector<std::wstring>{L"f.txt"});  // a share's root has no ".."
    EXPECT_FALSE(list.ExtractIcons);  // no real icons off the local disks
    EXPECT_EQ(list.TotalSpace > 0, netSize);
    EXPECT_EQ(list.FreeSpace > 0 || list.TotalSpace > 0, netSize);
  }
}

TEST_F(ListingTest, TreeCacheToldOnlyAfterACompleteListing) {
  TTempDir dir;
  for (const wchar_t* n : {L"one", L"two", L"three"}) CreateDirectoryW((dir / n).c_str(), nullptr);
  MakeFile(dir / L"file.txt");
  struct Case {
    const char* What;
    bool TreeUpdate;
    int FailAfter;
    bool Missing;
    bool Told;
  } cases[] = {
      {"complete", true, -1, false, true},
      {"switched off", false, -1, false, false},
      {"broken off", true, 3, false, false},
      {"missing folder", true, -1, true, false},
  };
  for (const auto& c : cases) {
    Options.McdTreeUpdate = c.TreeUpdate;
    TTreeCalls tree;
    TSeamList list(1);
    list.CreateFolderTree = tree.Factory();
    list.FailAfter = c.FailAfter;
    list.Path = c.Missing ? dir / L"gone" : dir.Path();
    list.Refresh();
    ASSERT_EQ(tree.Calls.size(), c.Told ? 1u : 0u) << c.What;
    if (c.Told) {
      EXPECT_EQ(tree.Calls[0].CreatedFor, dir.Path() + L"\\");
      EXPECT_EQ(tree.Calls[0].Path, dir.Path() + L"\\");
      std::vector<std::wstring> names = tree.Calls[0].Names;
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, (std::vector<std::wstring>{L"one", L"three", L"two"}));
    }
    if (c.FailAfter >= 0) {
      // What was read before the break stays listed, ".." first.
      EXPECT_FALSE(list.PathNotFound);
      EXPECT_EQ(list.Count(), c.FailAfter);
      EXPECT_EQ(list.ItemName(0), L"..");
    }
  }
}

TEST_F(ListingTest, EmptyRootTellsTheTreeCacheItHasNoFolders) {
  TMappedDrive drive(L"LST", "1234abcd");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  ASSERT_TRUE(DeleteFileW((drive.Root() + L".windows-label").c_str()));
  ASSERT_TRUE(DeleteFileW((drive.Root() + L".windows-serial").c_str()));
  Options.McdTreeUpdate = true;
  TTreeCalls tree;
  TMFList list(1);
  list.CreateFolderTree = tree.Factory();
  list.Path = drive.Root();
  list.Refresh();
  EXPECT_FALSE(list.PathNotFound);
  EXPECT_EQ(list.Count(), 0);
  ASSERT_EQ(tree.Calls.size(), 1u);
  EXPECT_EQ(tree.Calls[0].Path, drive.Root());
  EXPECT_TRUE(tree.Calls[0].Names.empty());
}

TEST_F(ListingTest, MissingFolderListsOnlyDriveEntries) {
  Options.ShowDriveItem = true;
  TTempDir dir;
  TMFList list(1);
  list.Path = dir / L"nothing\\below";
  list.Refresh();
  EXPECT_TRUE(list.PathNotFound);
  EXPECT_EQ(list.Items().FolderCount() + list.Items().FileCount(), 0);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetItem(0)->Kind, ikDrive);
  EXPECT_EQ(list.GetItem(0)->Name, LoadMessageText(4201));
  EXPECT_EQ(list.ItemName(0), L"");
}

TEST_F(ListingTest, DriveEntriesAndDiskSpace) {
  TMappedDrive drive(L"LST", "1234abcd");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  Options.ShowDrive = true;
  Options.ShowDriveItem = true;
  const wchar_t letter = drive.Letter();
  const std::wstring prefix = std::wstring(L"[-") + letter + L"-] ";
  struct Case {
    int ShowDrvAtThis, Panel;
    bool Shown;
  } cases[] = {{0, 1, true}, {0, 2, true}, {1, 1, true}, {1, 2, false}, {2, 1, false}, {2, 2, true}};
  for (const auto& c : cases) {
    Options.ShowDrvAtThis = c.ShowDrvAtThis;
    TStandInTypes types;
    TMFList list(c.Panel);
    list.FileTypes = &types;
    list.Path = drive.Root();
    list.Refresh();
    SCOPED_TRACE(testing::Message() << "at " << c.ShowDrvAtThis << " panel " << c.Panel);
    EXPECT_EQ(list.DriveCount > 0, c.Shown);
    EXPECT_GT(list.TotalSpace, 0);  // the current drive's space is read either way
    EXPECT_GE(list.TotalSpace, list.FreeSpace);
    if (!c.Shown) {
      EXPECT_EQ(list.CurDriveIcon, -1);
      continue;
    }
    // Drive entries follow the folders and files, in letter order, the chooser entry last.
    int first = list.Items().FolderCount() + list.Items().FileCount();
    const TFileBoxItem* mine = nullptr;
    wchar_t last = 0;
    for (int i = first; i < list.Count() - 1; ++i) {
      const TFileBoxItem& d = *list.GetItem(i);
      EXPECT_TRUE(IsDriveEntry(d));
      EXPECT_GT(d.Name[2], last);
      last = d.Name[2];
      if (d.Name.compare(0, prefix.size(), prefix) == 0) mine = &d;
    }
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->Name, prefix + L"HDD (" + std::wstring(1, letter) + L"VOL)");
    EXPECT_EQ(mine->Color, Options.DrvColor);
    EXPECT_EQ(list.CurDriveIcon, 50 + (letter - L'A'));
    EXPECT_GT(mine->Size, 0);
    EXPECT_EQ(mine->DateText.substr(mine->DateText.size() - 3), L" " + LoadMessageText(4202));
    const TFileBoxItem& chooser = *list.GetItem(list.Count() - 1);
    EXPECT_EQ(chooser.Name, LoadMessageText(4201));
    EXPECT_EQ(chooser.IconIndex, 7);
    EXPECT_EQ(list.DriveCount, list.Count() - first);
  }
}

TEST_F(ListingTest, FiltersAndColourSort) {
  TTempDir dir;
  for (const wchar_t* n : {L"a.txt", L"b.doc", L"c.bin", L"d.TXT"}) MakeFile(dir / n);
  Programs.ExtColor.Groups = {{L"txt", RGBColor(200, 0, 0)}, {L"doc", RGBColor(0, 0, 200)}};
  Programs.ExtColor.Rebuild();
  Programs.ExtPrograms = {{L"bin", L"Viewer", L"view.exe"}};
  Programs.Rebuild();
  const TColor red = RGBColor(200, 0, 0), blue = RGBColor(0, 0, 200);

  struct Case {
    int Filter;
    TSortKey Key;
    std::vector<std::wstring> Names;
    bool ColorsKnown;
  } cases[] = {
      // Only coloured extensions; the colour found by the filter stays, ordered by its value.
      {5, skColor, {L"..", L"a.txt", L"d.TXT", L"b.doc"}, true},
      {4, skName, {L"..", L"c.bin"}, false},
      // All files; a sort by colour resolves the colours first.
      {1, skColor, {L"..", L"a.txt", L"d.TXT", L"c.bin", L"b.doc"}, true},
      {1, skName, {L"..", L"a.txt", L"b.doc", L"c.bin", L"d.TXT"}, false},
  };
  for (const auto& c : cases) {
    Options.PanelOptions(2).FilterType = c.Filter;
    Options.PanelOptions(2).SortType = c.Key;
    TMFList list(2);
    list.DefaultColor = 0x101010;
    list.Path = dir.Path();
    list.Refresh();
    SCOPED_TRACE(testing::Message() << "filter " << c.Filter << " key " << c.Key);
    EXPECT_EQ(Names(list), c.Names);
    for (int i = 0; i < list.Items().FileCount(); ++i) {
      const TFileBoxItem& item = *list.Items().GetFile(i);
      EXPECT_EQ((item.Pending & TFileBoxItem::PendingColor) == 0, c.ColorsKnown);
      if (!c.ColorsKnown) continue;
      TColor want = LowerCase(item.Ext) == L"txt" ? red : LowerCase(item.Ext) == L"doc" ? blue : 0x101010;
      EXPECT_EQ(item.Color, want) << item.Name;
    }
  }
}

TEST_F(ListingTest, SortByTypeResolvesTypesAtOnce) {
  TTempDir dir;
  for (const wchar_t* n : {L"x.zip", L"y.exe", L"z.abc"}) MakeFile(dir / n);
  Options.PanelOptions(1).SortType = skDesc;
  Options.TypeView = 0;
  TStandInTypes types;
  TMFList list(1);
  list.FileTypes = &types;
  list.Path = dir.Path();
  list.Refresh();
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"z.abc", L"y.exe", L"x.zip"}));
  EXPECT_EQ(types.FileLookups, 3);
  EXPECT_NE(std::find(types.FilePaths.begin(), types.FilePaths.end(), dir.Path() + L"\\x"), types.FilePaths.end());
  for (int i = 0; i < list.Items().FileCount(); ++i) EXPECT_EQ(list.Items().GetFile(i)->Pending & TFileBoxItem::PendingIcon, 0);
  // The program's own icon is still to come from the shell.
  EXPECT_FALSE(list.GetItem(IndexOf(list, L"y.exe"))->IconDone);
  EXPECT_TRUE(list.GetItem(IndexOf(list, L"x.zip"))->IconDone);
}

TEST_F(ListingTest, RereadKeepsSelectionOrderAndFocus) {
  TTempDir dir;
  const wchar_t* files[] = {L"a.txt", L"b.txt", L"c.txt", L"d.txt", L"e.txt"};
  for (int i = 0; i < 5; ++i) MakeFile(dir / files[i], static_cast<size_t>(10 * (i + 1)));
  CreateDirectoryW((dir / L"Fold").c_str(), nullptr);
  TMFList list(1);
  list.Path = dir.Path();
  list.Refresh();
  list.SetSelected(IndexOf(list, L"e.txt"), true);
  list.SetSelected(IndexOf(list, L"Fold"), true);
  list.SetSelected(IndexOf(list, L"b.txt"), true);
  list.ItemIndex = IndexOf(list, L"c.txt");

  // The order changes under the selection: descending by size now.
  list.SortKey = skSize;
  list.Items().Ascending = false;
  list.Reread();
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"Fold", L"e.txt", L"d.txt", L"c.txt", L"b.txt", L"a.txt"}));
  EXPECT_EQ(list.GetItem(IndexOf(list, L"e.txt"))->SelOrder, 1);
  EXPECT_EQ(list.GetItem(IndexOf(list, L"Fold"))->SelOrder, 2);
  EXPECT_EQ(list.GetItem(IndexOf(list, L"b.txt"))->SelOrder, 3);
  EXPECT_EQ(list.SelCount, 3);
  EXPECT_EQ(list.SelSize, 50 + 20);
  EXPECT_EQ(list.ItemIndex, IndexOf(list, L"c.txt"));
  EXPECT_EQ(list.ItemName(list.SelectedIndexes()[0]), L"e.txt");

  // A selected file that went away is dropped; the next ordinal follows on; the focused file
  // gone leaves the focus at its old index.
  DeleteFileW((dir / L"c.txt").c_str());
  DeleteFileW((dir / L"e.txt").c_str());
  int focus = list.ItemIndex;
  list.Reread();
  EXPECT_EQ(list.SelCount, 2);
  EXPECT_EQ(list.GetItem(IndexOf(list, L"Fold"))->SelOrder, 1);
  EXPECT_EQ(list.GetItem(IndexOf(list, L"b.txt"))->SelOrder, 2);
  EXPECT_EQ(list.ItemIndex, focus);
  EXPECT_TRUE(list.FolderHistory.empty());
}

// The focus after a reread: in the same folder none stays none (the drive-chooser entry, whose
// plain name is empty, does not take it), a focused item keeps it; a new folder starts at 0.
TEST_F(ListingTest, RereadRestoresNoFocusAsNone) {
  Options.ShowDriveItem = true;
  TTempDir dir;
  MakeFile(dir / L"a.txt");
  CreateDirectoryW((dir / L"Sub").c_str(), nullptr);
  TMFList list(1);
  list.Path = dir.Path();
  list.Refresh();
  ASSERT_EQ(list.ItemIndex, -1);
  list.Reread();
  EXPECT_EQ(list.ItemIndex, -1);
  const int chooser = list.Count() - 1;
  list.ItemIndex = chooser;
  list.Reread();
  EXPECT_EQ(list.ItemIndex, chooser);
  list.ItemIndex = -1;
  list.Path = dir / L"Sub";
  list.Reread();
  EXPECT_EQ(list.ItemIndex, 0);
}

TEST_F(ListingTest, VanishedFolderLeadsToItsRootAndVanishedDriveToC) {
  auto drive = std::make_unique<TMappedDrive>(L"LST", "1234abcd");
  if (!drive->Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  const std::wstring root = drive->Root();
  CreateDirectoryW((root + L"a").c_str(), nullptr);
  CreateDirectoryW((root + L"a\\b").c_str(), nullptr);
  MakeFile(root + L"keep.txt");
  TMFList list(1);
  list.Path = root + L"a\\b";
  list.Refresh();
  list.ItemIndex = 0;
  RemoveDirectoryW((root + L"a\\b").c_str());
  RemoveDirectoryW((root + L"a").c_str());
  list.Reread();
  EXPECT_FALSE(list.PathNotFound);
  EXPECT_EQ(list.Path, root);
  EXPECT_EQ(Names(list), std::vector<std::wstring>{L"keep.txt"});
  EXPECT_EQ(list.FolderHistory, std::vector<std::wstring>{root});
  EXPECT_EQ(list.ItemIndex, 0);

  list.Path = root + L"keep";
  drive.reset();
  list.Reread();
  EXPECT_EQ(list.Path, L"C:\\");
  EXPECT_FALSE(list.PathNotFound);
  EXPECT_EQ(list.FolderHistory.back(), L"C:\\");
  EXPECT_GT(list.Count(), 0);
}

TEST_F(ListingTest, ArchiveFolders) {
  TTempDir dir;
  auto entry = [](const wchar_t* name, int64_t size, int32_t attr, int32_t dos) {
    ArcInfoRec r;
    r.Name = name;
    r.Size = size;
    r.Attributes = attr;
    r.DateTime = dos;
    return r;
  };
  const int32_t goodDate = (((2020 - 1980) << 25) | (5 << 21) | (17 << 16)) | ((13 << 11) | (45 << 5) | 10);
  const int32_t badDate = (((2020 - 1980) << 25) | (13 << 21) | (40 << 16));  // month 13, day 40
  TStandInArcTree arc;
  arc.ArchiveDate = goodDate;
  arc.Folders[L""] = {
      entry(L"Docs", -1, 16, goodDate), entry(L"", 1, 0, goodDate),   entry(L".", -1, 16, 0),
      entry(L"..", -1, 16, 0),          entry(L"..", 3, 0, 0),         entry(L"..\\evil.txt", 4, 0, 0),
      entry(L"b/c.txt", 4, 0, 0),       entry(L"x.txt", 100, 32, badDate), entry(L"hid.txt", 5, 2, goodDate),
      entry(L"z.bin", 7, 32, goodDate),
  };
  arc.Folders[L"Docs"] = {entry(L"inner.doc", 9, 32, goodDate)};
  WriteFileRaw(dir / L"DESCRIPT.ION", "x.txt must not be read\r\n");

  TStandInTypes types;
  TMFList list(1);
  list.FileTypes = &types;
  list.Path = dir.Path();
  list.InArchive = true;
  list.ArcTree = &arc;
  list.ArcFileName = L"test.zip";
  list.Refresh();
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"Docs", L"x.txt", L"z.bin"}));
  EXPECT_EQ(list.FolderCount, 2);
  EXPECT_EQ(list.TotalSize, 107);
  EXPECT_EQ(list.DescCount, 0);
  const TFileBoxItem& parent = *list.GetItem(0);
  EXPECT_EQ(parent.IconIndex, 3);
  EXPECT_EQ(parent.Size, -1);
  EXPECT_DOUBLE_EQ(parent.Time, EncodeDateTime(2020, 5, 17, 13, 45, 20));
  EXPECT_EQ(list.GetItem(1)->IconIndex, 2);
  EXPECT_EQ(list.GetItem(1)->TypeName, L"File Folder");
  EXPECT_EQ(list.GetItem(2)->Time, 0.0);  // a damaged date gives no date
  EXPECT_DOUBLE_EQ(list.GetItem(3)->Time, EncodeDateTime(2020, 5, 17, 13, 45, 20));
  EXPECT_EQ(list.GetItem(3)->Size, 7);
  EXPECT_FALSE(list.ExtractIcons);

  Options.PanelOptions(1).Hidden = true;
  list.LoadOptions();
  list.ArcPath = L"Docs";
  list.Refresh();
  EXPECT_EQ(Names(list), (std::vector<std::wstring>{L"..", L"inner.doc"}));
  list.ArcPath = L"";
  list.Refresh();
  EXPECT_NE(IndexOf(list, L"hid.txt"), -1);

  // A folder the archive does not have lists nothing, and no fallback leaves the archive.
  list.ArcPath = L"Nowhere";
  list.Reread();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.InArchive);
  EXPECT_EQ(list.ArcPath, L"Nowhere");
}

// Opening an archive file through the archive layer's tree, walking its folders and leaving it.
TEST_F(ListingTest, EnterAndLeaveAnArchiveThroughItsTree) {
  TTempDir dir;
  const std::string rar = arcfix::Rar(
      {{"readme.txt", "hello"}, {"docs/guide.txt", std::string(300, 'g')}, {"docs/deep/x.bin", "1"}});
  WriteFileRaw(dir / L"pack.rar", rar);
  WriteFileRaw(dir / L"cut.rar", rar.substr(0, rar.size() - 20));
  WriteFileRaw(dir / L"plain.txt", "not an archive at all");
  TMFList list(1);
  list.Path = dir.Path();
  list.Refresh();
  EXPECT_FALSE(list.OpenArchive(dir / L"pack.rar"));  // no archive layer given
  list.OpenArcTree = [](const std::wstring& f) -> std::unique_ptr<TArcFolderSource> { return OpenArchiveTree(f); };
  EXPECT_FALSE(list.OpenArchive(dir / L"plain.txt"));
  EXPECT_FALSE(list.InArchive);
  using V = std::vector<std::wstring>;

  ASSERT_TRUE(list.OpenArchive(dir / L"pack.rar"));
  EXPECT_TRUE(list.InArchive);
  EXPECT_EQ(list.ArcFileName, L"pack.rar");
  EXPECT_EQ(Names(list), (V{L"..", L"docs", L"readme.txt"}));
  EXPECT_EQ(list.TotalSize, 5);
  EXPECT_EQ(list.ItemIndex, 0);
  ASSERT_TRUE(list.ChangeArchiveFolder(L"docs"));
  EXPECT_EQ(list.ArcPath, L"docs");
  EXPECT_EQ(Names(list), (V{L"..", L"deep", L"guide.txt"}));
  EXPECT_FALSE(list.ChangeArchiveFolder(L"nothing"));
  EXPECT_FALSE(list.ChangeArchiveFolder(L"guide.txt"));
  ASSERT_TRUE(list.ChangeArchiveFolder(L"deep"));
  EXPECT_EQ(Names(list), (V{L"..", L"x.bin"}));
  // ".." climbs one level at a time, the focus on the folder just left.
  ASSERT_TRUE(list.ChangeArchiveFolder(L".."));
  EXPECT_EQ(list.ArcPath, L"docs");
  EXPECT_EQ(list.ItemName(list.ItemIndex), L"deep");
  ASSERT_TRUE(list.ChangeArchiveFolder(L".."));
  EXPECT_EQ(list.ArcPath, L"");
  EXPECT_EQ(list.ItemName(list.ItemIndex), L"docs");
  // At the top it leaves the archive, the focus on the archive file.
  ASSERT_TRUE(list.ChangeArchiveFolder(L".."));
  EXPECT_FALSE(list.InArchive);
  EXPECT_EQ(list.ArcTree, nullptr);
  EXPECT_EQ(list.ItemName(list.ItemIndex), L"pack.rar");
  EXPECT_NE(IndexOf(list, L"plain.txt"), -1);
  EXPECT_FALSE(list.ChangeArchiveFolder(L".."));

  // A damaged archive lists what precedes the damage.
  ASSERT_TRUE(list.OpenArchive(dir / L"cut.rar"));
  EXPECT_EQ(Names(list), (V{L"..", L"docs", L"readme.txt"}));
  list.CloseArchive();
  EXPECT_FALSE(list.InArchive);
}

TEST_F(ListingTest, WorkersStopForARefreshAndResolveAfterIt) {
  TTempDir dir;
  for (const wchar_t* n : {L"p.exe", L"q.txt", L"r.txt"}) MakeFile(dir / n);
  CreateDirectoryW((dir / L"Sub").c_str(), nullptr);
  Programs.ExtColor.Groups = {{L"txt", RGBColor(1, 2, 3)}};
  Programs.ExtColor.Rebuild();
  Options.DiskMonitor = true;
  TStandInTypes types;
  TMFList list(1);
  list.FileTypes = &types;
  list.Path = dir.Path();
  int refreshes = 0;
  list.OnListChange = [&](TMFList& l) {
    ++refreshes;
    EXPECT_FALSE(l.IconThread.Running());
    EXPECT_FALSE(l.Monitor.Running());
  };
  list.Refresh();
  EXPECT_EQ(refreshes, 1);
  EXPECT_TRUE(list.Monitor.Running());
  EXPECT_EQ(list.Monitor.Folder(), list.Path);
  ASSERT_TRUE(PumpUntil([&] { return !list.IconThread.Busy(); }));
  for (int i = 0; i < list.Count(); ++i) {
    const TFileBoxItem& item = *list.GetItem(i);
    EXPECT_EQ(item.Pending, 0) << list.ItemName(i);
    EXPECT_TRUE(item.IconDone) << list.ItemName(i);
  }
  EXPECT_EQ(list.GetItem(IndexOf(list, L"q.txt"))->Color, RGBColor(1, 2, 3));
  EXPECT_EQ(list.GetItem(IndexOf(list, L"q.txt"))->TypeName, L"TXT file");
  // With real icons on a fixed disk, the program's own icon came from the shell.
  if (list.ExtractIcons) {
    EXPECT_LE(list.GetItem(IndexOf(list, L"p.exe"))->IconIndex, -10);
  }

  // A change in the folder is seen by the monitor, which rereads the list.
  MakeFile(dir / L"new.txt");
  EXPECT_TRUE(PumpUntil([&] { return IndexOf(list, L"new.txt") >= 0; }));
  EXPECT_GE(refreshes, 2);
  EXPECT_TRUE(list.Monitor.Running());

  // Not watched with the monitor switched off.
  Options.DiskMonitor = false;
  list.Refresh();
  EXPECT_FALSE(list.Monitor.Running());
}

TEST_F(ListingTest, SystemRefreshReloadsTypesAndTellsTheMainWindow) {
  TTempDir dir;
  MakeFile(dir / L"a.txt");
  HWND main = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(main, nullptr);
  TStandInTypes types;
  TMFList list(2);
  list.FileTypes = &types;
  list.MainWnd = main;
  list.Path = dir.Path();
  list.Refresh();
  list.SetSelected(IndexOf(list, L"a.txt"), true);
  list.SystemRefresh();
  EXPECT_EQ(types.Loads, 1);
  EXPECT_EQ(list.GetItem(IndexOf(list, L"a.txt"))->SelOrder, 1);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, main, WM_REREADOTHER, WM_REREADOTHER, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  DestroyWindow(main);
}

}  // namespace
