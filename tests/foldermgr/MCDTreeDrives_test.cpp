// The tree cache on real drives: the file name rule by serial, drive type and setting, the
// file list keeping the cache in step, notices through the main form's relay, and the scan
// that builds a drive's tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDTree.h"
#include "foundation/Folders.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "panels/MFList.h"
#include "shell/ShellTestUtil.h"

// Drive letters and shares mapped onto scratch folders come from the shell tests' scaffolding.
#include "shell/ShellTestUtil.cpp"

namespace {
std::string Text(const std::vector<std::string>& lines) {
  std::string s;
  for (auto& l : lines) s += l + "\r\n";
  return s;
}

class TreeDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    Options.DiskMonitor = false;
    Options.ShowDrive = false;
    Options.ShowDriveItem = false;
    FSavedProgram = ProgramFolder;
    SetProgramFolder(FProgram.Path());
    CreateDirectoryW(McdFolder.c_str(), nullptr);
  }
  void TearDown() override {
    SetProgramFolder(FSavedProgram);
    Options.ResetToDefaults();
    FolderChangeRelay = nullptr;
    TMsgBoxSeam::Get().Reset();
  }
  TTempDir FProgram;
  std::wstring FSavedProgram;
};
}  // namespace

TEST_F(TreeDriveTest, FileNameBySerialSettingAndDriveType) {
  TMappedDrive fixed(L"TREE", "1a2b3c4d");
  if (!fixed.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  EXPECT_EQ(GetTreeFileName(nullptr, fixed.Root()), McdFolder + L"1A2B3C4D.MCD");
  std::wstring noSlash = fixed.Root().substr(0, 2);
  EXPECT_EQ(TMCDTreeMan(nullptr, noSlash + L"\\some\\folder").FileName, McdFolder + L"1A2B3C4D.MCD");
  EXPECT_EQ(TMCDTreeMan(nullptr, noSlash + L"\\some\\folder").Root, noSlash);
  Options.TreeSaveToRoot = true;
  EXPECT_EQ(GetTreeFileName(nullptr, fixed.Root()), fixed.Root() + L"TREEINFO.MCD");

  // A CD-ROM never keeps its tree in its root.
  TMappedDrive cd(L"DISC", "0badcafe", DRIVE_CDROM);
  if (!cd.Ok()) GTEST_SKIP() << "no second drive letter could be mapped";
  ASSERT_EQ(GetDriveTypeW(cd.Root().c_str()), static_cast<UINT>(DRIVE_CDROM));
  EXPECT_EQ(GetTreeFileName(nullptr, cd.Root()), McdFolder + L"0BADCAFE.MCD");
  Options.TreeSaveToRoot = false;
  EXPECT_EQ(GetTreeFileName(nullptr, cd.Root()), McdFolder + L"0BADCAFE.MCD");
}

TEST_F(TreeDriveTest, WithoutASerialTheDriveTypeDecides) {
  TMappedDrive fixed(L"NOSER", "00000000");
  if (!fixed.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  DWORD serial = 1;
  GetVolumeInformationW(fixed.Root().c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  if (serial != 0) GTEST_SKIP() << "the platform gives the drive a serial of its own";
  EXPECT_EQ(GetTreeFileName(nullptr, fixed.Root()), fixed.Root() + L"TREEINFO.MCD");
}

TEST_F(TreeDriveTest, AShareTakesTheRemoteName) {
  TMappedShare share("treesrv", "data");
  if (!share.Ok()) GTEST_SKIP() << "no share could be mapped";
  EXPECT_EQ(GetTreeFileName(nullptr, share.Root()), McdFolder + RemoteTreeFileName(L"\\\\treesrv\\data\\"));
  TMCDTreeMan m(nullptr, share.Root() + L"Docs");
  EXPECT_EQ(m.Root, L"\\\\treesrv\\data");
}

TEST_F(TreeDriveTest, AnUnreachableDriveHasNoFileAndSaysSo) {
  // A letter that no drive answers on.
  std::wstring root;
  for (wchar_t l = L'M'; l <= L'Z' && root.empty(); ++l) {
    std::wstring r = std::wstring(1, l) + L":\\";
    if (GetDriveTypeW(r.c_str()) == DRIVE_NO_ROOT_DIR) root = r;
  }
  if (root.empty()) GTEST_SKIP() << "every letter is in use";
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_EQ(GetTreeFileName(nullptr, root), L"");
  // Edits then work on a tree that is never written.
  TMCDTreeMan m(L"Q:", GetTreeFileName(nullptr, L""));
  m.AddFolder(L"Q:\\A\\B\\C");
  EXPECT_EQ(m.NodeCount(), 4);
  EXPECT_TRUE(m.Save());
}

TEST_F(TreeDriveTest, NoticesGoThroughTheRelayInOrder) {
  TMappedDrive drive(L"REL", "11112222");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  std::vector<std::wstring> got;
  FolderChangeRelay = [&](TFolderChangeKind k, const std::wstring& p, const std::wstring& n) {
    got.push_back(std::to_wstring(static_cast<int>(k)) + L"|" + p + L"|" + n);
  };
  std::wstring d = drive.Root().substr(0, 2);
  {
    TMCDTreeMan m(nullptr, drive.Root());
    m.AddFolder(d + L"\\A\\B\\");
    m.MoveFolder(d + L"\\A\\B", d + L"\\C\\");
    m.RenameFolder(d + L"\\C\\B", d + L"\\C\\E");
    m.DeleteFolder(d + L"\\C");
  }
  EXPECT_EQ(got, (std::vector<std::wstring>{L"1|" + d + L"\\A\\B|", L"3|" + d + L"\\A\\B|", L"1|" + d + L"\\C|",
                                            L"2|" + d + L"\\C\\B|" + d + L"\\C\\E", L"3|" + d + L"\\C|"}));
  // The tree was reduced to the root and A: no file is left.
  EXPECT_FALSE(FileExistsPlain(McdFolder + L"11112222.MCD"));
}

TEST_F(TreeDriveTest, TheFileListKeepsTheCacheInStep) {
  TMappedDrive drive(L"LST", "22223333");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  std::wstring d = drive.Root().substr(0, 2), file = McdFolder + L"22223333.MCD";
  MakeDirs(drive.Root() + L"Work\\New");
  MakeDirs(drive.Root() + L"Work\\Kept\\Deep");
  WriteFileRaw(drive.Root() + L"Work\\file.txt", "x");
  WriteFileRaw(file, Text({"5", "0," + std::string(d.begin(), d.end()), "1,Work", "2,Gone", "2,Kept", "3,Deep"}));
  auto list = [&](const std::wstring& path) {
    TMFList l(1);
    l.CreateFolderTree = MCDTreeCacheFactory();
    l.Path = path;
    l.Refresh();
  };
  list(drive.Root() + L"Work\\");
  std::string want =
      Text({"5", "0," + std::string(d.begin(), d.end()), "1,Work", "2,Kept", "3,Deep", "2,New"});
  EXPECT_EQ(ReadFileRaw(file), want);
  // A folder the cache does not know leaves the file as it is.
  list(drive.Root() + L"Work\\New\\");
  EXPECT_EQ(ReadFileRaw(file), want);
  // A drive without a tree file gets none from listing.
  TMappedDrive bare(L"BARE", "33334444");
  if (!bare.Ok()) return;
  MakeDirs(bare.Root() + L"A\\B");
  MakeDirs(bare.Root() + L"C");
  list(bare.Root());
  EXPECT_FALSE(FileExistsPlain(McdFolder + L"33334444.MCD"));
}

TEST_F(TreeDriveTest, ScanListsFoldersInPreOrderAndCanStop) {
  TTempDir dir;
  for (auto p : {L"b\\x", L"A\\z", L"A\\y\\deep", L"c"}) MakeDirs(dir / p);
  WriteFileRaw(dir / L"A\\file.txt", "x");
  CreateDirectoryW((dir / L"hid").c_str(), nullptr);
  SetFileAttributesW((dir / L"hid").c_str(), FILE_ATTRIBUTE_HIDDEN);
  std::vector<TMCDScanItem> items;
  ASSERT_TRUE(ScanFolderTree(dir.Path(), true, items, nullptr));
  std::vector<std::wstring> got;
  for (auto& i : items) got.push_back(std::to_wstring(i.Depth - items[0].Depth) + L"," + i.Name);
  std::wstring last = dir.Path().substr(dir.Path().rfind(L'\\') + 1);
  EXPECT_EQ(got, (std::vector<std::wstring>{L"0," + last, L"1,A", L"2,y", L"3,deep", L"2,z", L"1,b", L"2,x", L"1,c",
                                            L"1,hid"}));
  EXPECT_EQ(items[2].ParentIndex, 1);
  EXPECT_TRUE(items[2].FirstChild);
  EXPECT_TRUE(items[4].LastChild);
  // One level only.
  ASSERT_TRUE(ScanFolderTree(dir.Path() + L"\\", false, items, nullptr));
  EXPECT_EQ(items.size(), 5u);
  // A stop keeps what was found so far.
  size_t asked = 0;
  ASSERT_TRUE(ScanFolderTree(dir.Path(), true, items, [&](const std::vector<TMCDScanItem>& found) {
    ++asked;
    return found.size() < 3;
  }));
  EXPECT_EQ(items.size(), 3u);
  EXPECT_FALSE(ScanFolderTree(dir / L"missing", true, items, nullptr));
}

TEST_F(TreeDriveTest, ScanDoesNotEnterLinks) {
  TTempDir dir;
  MakeDirs(dir / L"real\\inside");
  if (!CreateSymbolicLinkW((dir / L"link").c_str(), (dir / L"real").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "the platform makes no folder links here";
  std::vector<TMCDScanItem> items;
  ASSERT_TRUE(ScanFolderTree(dir.Path(), true, items, nullptr));
  // The link may be listed (as the platform reports it) but nothing below it is.
  std::vector<std::wstring> got;
  for (auto& i : items)
    if (i.Name != L"link") got.push_back(i.Name);
  std::wstring last = dir.Path().substr(dir.Path().rfind(L'\\') + 1);
  EXPECT_EQ(got, (std::vector<std::wstring>{last, L"real", L"inside"}));
  for (auto& i : items) EXPECT_EQ(i.Path.find(L"\\link\\"), std::wstring::npos) << i.Path;
}

TEST_F(TreeDriveTest, AFullScanWritesTheDrivesTree) {
  TMappedDrive drive(L"SCAN", "44445555");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  std::wstring d = drive.Root().substr(0, 2);
  MakeDirs(drive.Root() + L"One\\Two");
  MakeDirs(drive.Root() + L"Three");
  ASSERT_TRUE(ReScanDriveTree(nullptr, drive.Root() + L"One"));
  EXPECT_EQ(ReadFileRaw(McdFolder + L"44445555.MCD"),
            Text({"4", "0," + std::string(d.begin(), d.end()), "1,One", "2,Two", "1,Three"}));
}
