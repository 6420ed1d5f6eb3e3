// Copy and move with real files: the progress window runs by hand, questions are answered
// through the message box seam, and nothing is ever lost.
#include "fileops/CopyDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "foldermgr/MCDTree.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "panels/MDescMan.h"
#include "shell/ShellTestUtil.h"

namespace {
class CopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    FSavedProgram = ProgramFolder;
    SetProgramFolder(FProgram.Path());
    CreateDirectoryW(McdFolder.c_str(), nullptr);
    TMsgBoxSeam::Get().Reset();
    Src = FSrc.Path() + L"\\";
    Dst = FDst.Path() + L"\\";
  }
  void TearDown() override {
    SetProgramFolder(FSavedProgram);
    Options.ResetToDefaults();
    FolderChangeRelay = nullptr;
    TMsgBoxSeam::Get().Reset();
  }
  // A form for the folders with the named entries of Src added as the panel adds them.
  std::unique_ptr<TCopyMoveForm> Form(bool copy, const std::vector<std::wstring>& names,
                                      const std::wstring& src = L"", const std::wstring& dst = L"") {
    auto f = std::make_unique<TCopyMoveForm>(nullptr);
    f->IsCopy = copy;
    f->SourceFolder = src.empty() ? Src : src;
    f->TargetFolder = dst.empty() ? Dst : dst;
    for (const auto& n : names) {
      WIN32_FIND_DATAW fd;
      EXPECT_TRUE(FindFirstSafe(f->SourceFolder + n, fd)) << n;
      bool folder = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      f->AddItem(n, fd.cAlternateFileName, folder ? -1 : 1, static_cast<int32_t>(fd.dwFileAttributes),
                 FileTimeToLocalDateTime(fd.ftLastWriteTime), folder ? 0 : GetFindDataSize(fd));
    }
    return f;
  }
  static std::string Bytes(size_t n, char seed) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7 + i / 251);
    return s;
  }
  static bool Exists(const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }
  static std::wstring Done(const TCopyMoveForm& f) {
    std::wstring t;
    f.GetDoneList(t);
    return t;
  }
  TTempDir FProgram, FSrc, FDst;
  std::wstring FSavedProgram, Src, Dst;
};

FILETIME WriteTime(const std::wstring& p) {
  WIN32_FIND_DATAW fd{};
  FindFirstSafe(p, fd);
  return fd.ftLastWriteTime;
}
}  // namespace

TEST_F(CopyTest, CopiesFilesAndFoldersWithTimesAndCounts) {
  WriteFileRaw(Src + L"a.bin", Bytes(1300000, 'a'));
  WriteFileRaw(Src + L"empty.txt", "");
  MakeDirs(Src + L"Tree\\Sub\\Deeper");
  WriteFileRaw(Src + L"Tree\\one.txt", "one");
  WriteFileRaw(Src + L"Tree\\Sub\\Deeper\\two.txt", Bytes(70000, 'x'));
  FILETIME old{};
  old.dwHighDateTime = 0x01D00000;
  HANDLE h = CreateFileW((Src + L"a.bin").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(h, nullptr, nullptr, &old);
  CloseHandle(h);
  SetFileAttributesW((Src + L"empty.txt").c_str(), FILE_ATTRIBUTE_READONLY);

  auto f = Form(true, {L"a.bin", L"Tree", L"empty.txt"});
  EXPECT_EQ(f->TotalFiles(), 4);
  EXPECT_EQ(f->TotalBytes(), 1300000 + 3 + 70000);
  EXPECT_EQ(f->Execute(), 0);
  EXPECT_EQ(ReadFileRaw(Dst + L"a.bin"), Bytes(1300000, 'a'));
  FILETIME copied = WriteTime(Dst + L"a.bin");
  EXPECT_EQ(CompareFileTime(&old, &copied), 0);
  EXPECT_EQ(ReadFileRaw(Dst + L"Tree\\Sub\\Deeper\\two.txt"), Bytes(70000, 'x'));
  EXPECT_EQ(ReadFileRaw(Dst + L"Tree\\one.txt"), "one");
  EXPECT_EQ(GetFileAttributesW((Dst + L"empty.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(Exists(Src + L"a.bin"));
  EXPECT_TRUE(f->TargetChanged);
  EXPECT_FALSE(f->SourceChanged);
  EXPECT_EQ(Done(*f), L"a.bin\rTree\rempty.txt");
  EXPECT_EQ(f->TotalPercentLabel->Caption(), L"100%");
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
  SetFileAttributesW((Dst + L"empty.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW((Src + L"empty.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyTest, SameNameAnswersSkipOverwriteAndNewName) {
  for (auto n : {L"1.txt", L"2.txt", L"3.txt"}) WriteFileRaw(Src + n, "new " + std::string(n, n + 1));
  for (auto n : {L"1.txt", L"2.txt", L"3.txt"}) WriteFileRaw(Dst + n, "old");
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(snSkip);         // 1.txt stays
  seam.PushButton(snYes);          // 2.txt overwritten
  seam.PushButton(snNewName);
  seam.PushText(0, L"3 copy.txt");
  auto f = Form(true, {L"1.txt", L"2.txt", L"3.txt"});
  EXPECT_EQ(f->Execute(), 0);
  EXPECT_EQ(ReadFileRaw(Dst + L"1.txt"), "old");
  EXPECT_EQ(ReadFileRaw(Dst + L"2.txt"), "new 2");
  EXPECT_EQ(ReadFileRaw(Dst + L"3.txt"), "old");
  EXPECT_EQ(ReadFileRaw(Dst + L"3 copy.txt"), "new 3");
  ASSERT_GE(seam.Shown.size(), 3u);
  EXPECT_EQ(seam.Shown[0].Title, LoadMessageText(10514));
  EXPECT_NE(seam.Shown[0].Text.find(Src + L"1.txt"), std::wstring::npos);
  // Small files: no RestOnly, so Cancel is the seventh button.
  EXPECT_EQ(seam.Shown[0].Buttons.size(), 7u);
  EXPECT_EQ(seam.Shown[0].CancelIdx, 6);
  EXPECT_EQ(Done(*f), L"1.txt\r2.txt\r3.txt");
}

TEST_F(CopyTest, AllAndCancelAnswers) {
  for (auto n : {L"1.txt", L"2.txt", L"3.txt"}) {
    WriteFileRaw(Src + n, "new");
    WriteFileRaw(Dst + n, "old");
  }
  TMsgBoxSeam::Get().PushButton(snAll);
  auto all = Form(true, {L"1.txt", L"2.txt"});
  EXPECT_EQ(all->Execute(), 0);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);  // All is not asked again
  EXPECT_EQ(ReadFileRaw(Dst + L"2.txt"), "new");
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(-1);  // Escape: Cancel
  auto cancel = Form(true, {L"3.txt", L"1.txt"});
  EXPECT_EQ(cancel->Execute(), 1);
  EXPECT_EQ(ReadFileRaw(Dst + L"3.txt"), "old");
  EXPECT_EQ(Done(*cancel), L"");
}

TEST_F(CopyTest, AFileCopiedOntoItselfIsLeftAlone) {
  WriteFileRaw(Src + L"self.txt", "keep me");
  TMsgBoxSeam::Get().PushButton(snYes);
  auto f = Form(true, {L"self.txt"}, Src, Src);
  EXPECT_EQ(f->Execute(), 0);
  EXPECT_EQ(ReadFileRaw(Src + L"self.txt"), "keep me");
  EXPECT_EQ(Done(*f), L"self.txt");
}

TEST_F(CopyTest, TheSameFileByAnotherPathIsNeverDeleted) {
  // The scratch folder seen through a drive letter of its own: two roots, one file.
  TMappedDrive drive(L"SAME", "5a5a5a5a");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  WriteFileRaw(drive.Folder() / L"data.txt", "precious");
  for (bool copy : {true, false}) {
    SCOPED_TRACE(copy ? "copy" : "move");
    TMsgBoxSeam::Get().Reset();
    TMsgBoxSeam::Get().PushButton(snYes);
    auto f = Form(copy, {L"data.txt"}, drive.Root(), drive.Folder().Path() + L"\\");
    f->Execute();
    EXPECT_EQ(ReadFileRaw(drive.Folder() / L"data.txt"), "precious");
  }
  // Through a short name of the folder, on one drive.
  MakeDirs(Src + L"A long folder name");
  WriteFileRaw(Src + L"A long folder name\\f.txt", "precious");
  std::wstring shortFolder = GetShortPath(Src + L"A long folder name");
  if (shortFolder == Src + L"A long folder name") GTEST_SKIP() << "no short names here";
  TMsgBoxSeam::Get().PushButton(snYes);
  auto f = Form(false, {L"f.txt"}, Src + L"A long folder name\\", shortFolder + L"\\");
  f->Execute();
  EXPECT_EQ(ReadFileRaw(Src + L"A long folder name\\f.txt"), "precious");
}

TEST_F(CopyTest, AFolderIsNeverCopiedIntoItself) {
  MakeDirs(Src + L"Box\\Inner");
  WriteFileRaw(Src + L"Box\\f.txt", "x");
  TMsgBoxSeam::Get().PushButton(0);  // skip
  auto f = Form(true, {L"Box"}, Src, Src + L"Box\\Inner\\");
  EXPECT_EQ(f->Execute(), 0);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"Box"), std::wstring::npos);
  EXPECT_FALSE(Exists(Src + L"Box\\Inner\\Box"));
  EXPECT_TRUE(f->SourceChanged == false);
}

TEST_F(CopyTest, AFileWhereAFolderIsToBeMadeStopsTheRun) {
  MakeDirs(Src + L"Dir");
  WriteFileRaw(Src + L"Dir\\f.txt", "x");
  WriteFileRaw(Src + L"later.txt", "x");
  WriteFileRaw(Dst + L"Dir", "a file");
  TMsgBoxSeam::Get().PushButton(0);
  auto f = Form(true, {L"Dir", L"later.txt"});
  EXPECT_EQ(f->Execute(), 1);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_FALSE(Exists(Dst + L"later.txt"));
}

TEST_F(CopyTest, CancelInTheMiddleRemovesTheHalfWrittenFile) {
  WriteFileRaw(Src + L"big.bin", Bytes(3 * 1024 * 1024, 'b'));
  WriteFileRaw(Src + L"next.txt", "x");
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(1);  // No: go on
  seam.PushButton(0);  // Yes: stop
  auto f = Form(true, {L"big.bin", L"next.txt"});
  int presses = 0;
  f->OnProgress = [&](TCopyMoveForm* form) {
    if (form->BytesDone() > 0 && presses < 2) {
      ++presses;
      PostMessageW(form->CancelBtn->Handle(), BM_CLICK, 0, 0);
      Sleep(15);  // longer than the window waits between looks at its queue
    }
  };
  EXPECT_EQ(f->Execute(), 1);
  EXPECT_EQ(presses, 2);
  ASSERT_EQ(seam.Shown.size(), 2u);
  EXPECT_FALSE(Exists(Dst + L"big.bin"));
  EXPECT_FALSE(Exists(Dst + L"next.txt"));
  EXPECT_EQ(Done(*f), L"");
}

TEST_F(CopyTest, ErrorsAskSkipSkipAllOrCancel) {
  // Three sources that cannot be read (held open without sharing).
  std::vector<HANDLE> held;
  for (auto n : {L"1.txt", L"2.txt", L"3.txt", L"4.txt"}) {
    WriteFileRaw(Src + n, "x");
    if (std::wstring(n) != L"4.txt")
      held.push_back(CreateFileW((Src + n).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(0);  // skip
  seam.PushButton(1);  // skip all errors: the third is passed silently
  auto f = Form(true, {L"1.txt", L"2.txt", L"3.txt", L"4.txt"});
  EXPECT_EQ(f->Execute(), 0);
  EXPECT_EQ(seam.Shown.size(), 2u);
  EXPECT_EQ(seam.Shown[0].Buttons.size(), 3u);
  EXPECT_TRUE(Exists(Dst + L"4.txt"));
  EXPECT_FALSE(Exists(Dst + L"1.txt"));
  EXPECT_EQ(Done(*f), L"1.txt\r2.txt\r3.txt\r4.txt");
  seam.Reset();
  seam.PushButton(2);  // cancel
  auto g = Form(true, {L"1.txt", L"4.txt"}, Src, Dst + L"again\\");
  CreateDirectoryW((Dst + L"again").c_str(), nullptr);
  EXPECT_EQ(g->Execute(), 1);
  EXPECT_FALSE(Exists(Dst + L"again\\4.txt"));
  for (HANDLE h : held) CloseHandle(h);
}

TEST_F(CopyTest, AFullDiskIsAnErrorAndLeavesNoPartialFile) {
  const char* full = getenv("VELMO_FULL_DRIVE");
  if (!full || !*full) GTEST_SKIP() << "no full drive in this run";
  std::wstring root = std::wstring(full, full + strlen(full)) + L"\\";
  WriteFileRaw(Src + L"huge.bin", Bytes(2 * 1024 * 1024, 'h'));
  TMsgBoxSeam::Get().PushButton(0);
  auto f = Form(true, {L"huge.bin"}, Src, root);
  f->Execute();
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_FALSE(Exists(root + L"huge.bin"));
}

TEST_F(CopyTest, MoveAcrossDrivesDeletesTheSourceOnlyWhenCopied) {
  TMappedDrive drive(L"MOVE", "6b6b6b6b");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  std::wstring from = drive.Root();
  WriteFileRaw(from + L"moved.txt", "moved");
  WriteFileRaw(from + L"kept.txt", "source");
  WriteFileRaw(Dst + L"kept.txt", "target");
  MakeDirs(from + L"Folder\\Sub");
  WriteFileRaw(from + L"Folder\\Sub\\f.txt", "f");
  WriteFileRaw(from + L"DESCRIPT.ION", "moved.txt Moved file\r\nkept.txt Kept file\r\nFolder A folder\r\n");
  TMsgBoxSeam::Get().PushButton(snSkip);
  auto f = Form(false, {L"moved.txt", L"kept.txt", L"Folder"}, from, Dst);
  EXPECT_EQ(f->Execute(), 0);
  EXPECT_FALSE(Exists(from + L"moved.txt"));
  EXPECT_EQ(ReadFileRaw(Dst + L"moved.txt"), "moved");
  EXPECT_EQ(ReadFileRaw(from + L"kept.txt"), "source");
  EXPECT_EQ(ReadFileRaw(Dst + L"kept.txt"), "target");
  EXPECT_FALSE(Exists(from + L"Folder"));
  EXPECT_EQ(ReadFileRaw(Dst + L"Folder\\Sub\\f.txt"), "f");
  EXPECT_TRUE(f->SourceChanged);
  // Descriptions follow the items really moved; the skipped one keeps its own.
  THanDescMan src(from), dst(Dst);
  std::wstring t;
  dst.GetDescription(L"moved.txt", L"", t);
  EXPECT_EQ(t, L"Moved file");
  dst.GetDescription(L"Folder", L"", t);
  EXPECT_EQ(t, L"A folder");
  dst.GetDescription(L"kept.txt", L"", t);
  EXPECT_EQ(t, L"");
  src.GetDescription(L"kept.txt", L"", t);
  EXPECT_EQ(t, L"Kept file");
  src.GetDescription(L"moved.txt", L"", t);
  EXPECT_EQ(t, L"");
}

TEST_F(CopyTest, AFailedSourceDeleteKeepsTheSourceAndItsAttributes) {
  TMappedDrive drive(L"HOLD", "7c7c7c7c");
  if (!drive.Ok()) GTEST_SKIP() << "no drive letter could be mapped";
  std::wstring src = drive.Root() + L"held.txt";
  WriteFileRaw(src, "held");
  SetFileAttributesW(src.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  HANDLE h = CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  TMsgBoxSeam::Get().PushButton(0);
  auto f = Form(false, {L"held.txt"}, drive.Root(), Dst);
  f->Execute();
  CloseHandle(h);
  EXPECT_EQ(ReadFileRaw(src), "held");
  EXPECT_EQ(GetFileAttributesW(src.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  SetFileAttributesW(src.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyTest, MoveOnOneDriveRenamesAndKeepsTheTreeCacheInStep) {
  MakeDirs(Src + L"Moving\\Inside");
  WriteFileRaw(Src + L"Moving\\Inside\\f.txt", "f");
  WriteFileRaw(Src + L"file.txt", "file");
  std::vector<std::wstring> notices;
  FolderChangeRelay = [&](TFolderChangeKind k, const std::wstring& p, const std::wstring&) {
    notices.push_back(std::to_wstring(static_cast<int>(k)) + L"|" + p);
  };
  auto f = Form(false, {L"Moving", L"file.txt"});
  EXPECT_EQ(f->Execute(), 0);
  EXPECT_EQ(ReadFileRaw(Dst + L"Moving\\Inside\\f.txt"), "f");
  EXPECT_EQ(ReadFileRaw(Dst + L"file.txt"), "file");
  EXPECT_FALSE(Exists(Src + L"Moving"));
  EXPECT_FALSE(Exists(Src + L"file.txt"));
  EXPECT_EQ(notices, (std::vector<std::wstring>{L"3|" + Src + L"Moving", L"1|" + FDst.Path()}));
}

TEST_F(CopyTest, FolderMergeAndReplace) {
  MakeDirs(Src + L"M");
  WriteFileRaw(Src + L"M\\new.txt", "new");
  MakeDirs(Dst + L"M");
  WriteFileRaw(Dst + L"M\\old.txt", "old");
  TMsgBoxSeam::Get().PushButton(fmYes);
  auto merge = Form(true, {L"M"});
  EXPECT_EQ(merge->Execute(), 0);
  EXPECT_TRUE(Exists(Dst + L"M\\old.txt"));
  EXPECT_TRUE(Exists(Dst + L"M\\new.txt"));
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Title, LoadMessageText(10519));
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(fmReplace);
  auto replace = Form(true, {L"M"});
  EXPECT_EQ(replace->Execute(), 0);
  EXPECT_FALSE(Exists(Dst + L"M\\old.txt"));
  EXPECT_TRUE(Exists(Dst + L"M\\new.txt"));
}

TEST_F(CopyTest, LinksInsideAFolderAreNotEntered) {
  MakeDirs(Src + L"Top");
  MakeDirs(FDst.Path() + L"\\elsewhere");
  WriteFileRaw(FDst.Path() + L"\\elsewhere\\outside.txt", "outside");
  if (!CreateSymbolicLinkW((Src + L"Top\\link").c_str(), (FDst.Path() + L"\\elsewhere").c_str(),
                           SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "the platform makes no folder links here";
  std::wstring target = Dst + L"copy\\";
  CreateDirectoryW(target.c_str(), nullptr);
  auto f = Form(false, {L"Top"}, Src, target);
  TMsgBoxSeam::Get().PushButton(0);
  f->Execute();
  // What the link pointed to is untouched, whatever became of the link itself.
  EXPECT_EQ(ReadFileRaw(FDst.Path() + L"\\elsewhere\\outside.txt"), "outside");
  EXPECT_FALSE(Exists(target + L"Top\\link\\outside.txt") &&
               !(GetFileAttributesW((target + L"Top\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT));
}
