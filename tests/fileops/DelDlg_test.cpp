// Delete with real files: the permanent run answers its questions through the message box
// seam; the recycle bin is the shell's (a stand-in where the test needs the shell to stop
// half way). Descriptions and the folder tree cache follow only what really went.
#include "fileops/DelDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "shell/ShellTestUtil.h"
#include "foldermgr/MCDTree.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "panels/MDescMan.h"
#include "panels/MFList.h"

namespace {
class DeleteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    FSavedProgram = ProgramFolder;
    SetProgramFolder(FProgram.Path() + L"\\");
    CreateDirectoryW((FProgram.Path() + L"\\MCD").c_str(), nullptr);
    TMsgBoxSeam::Get().Reset();
    Dir = FDir.Path() + L"\\";
    FolderChangeRelay = [this](TFolderChangeKind k, const std::wstring& p, const std::wstring&) {
      Notices.push_back(std::to_wstring(static_cast<int>(k)) + L"|" + p);
    };
  }
  void TearDown() override {
    SetProgramFolder(FSavedProgram);
    Options.ResetToDefaults();
    FolderChangeRelay = nullptr;
    TMsgBoxSeam::Get().Reset();
    TDeleteForm::ShellFileOperation = [](SHFILEOPSTRUCTW& op) { return SHFileOperationW(&op); };
  }
  // A form with the named entries of Dir, as the panel adds them.
  std::unique_ptr<TDeleteForm> Form(bool recycle, const std::vector<std::wstring>& names) {
    auto f = std::make_unique<TDeleteForm>(nullptr);
    f->Recycle = recycle;
    for (const auto& n : names) {
      WIN32_FIND_DATAW fd;
      EXPECT_TRUE(FindFirstSafe(Dir + n, fd)) << n;
      f->AddItem(Dir + n, fd.cAlternateFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? -1 : 1,
                 static_cast<int32_t>(fd.dwFileAttributes));
    }
    return f;
  }
  bool Exists(const std::wstring& name) const {
    return GetFileAttributesW((Dir + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::wstring Desc(const std::wstring& name) const {
    THanDescMan d(Dir);
    std::wstring t;
    d.GetDescription(name, L"", t);
    return t;
  }
  void Describe(const std::vector<std::wstring>& names) {
    THanDescMan d(Dir);
    for (const auto& n : names) d.SetDescription(n, L"", L"about " + n);
  }
  std::vector<std::wstring> Titles() const {
    std::vector<std::wstring> t;
    for (const auto& r : TMsgBoxSeam::Get().Shown) t.push_back(r.Title);
    return t;
  }
  TTempDir FProgram, FDir;
  std::wstring FSavedProgram, Dir;
  std::vector<std::wstring> Notices;
};

// Reads back whether the platform keeps the attribute on a file: Wine may not store every bit.
bool AttributeHolds(const std::wstring& path, DWORD bit) {
  SetFileAttributesW(path.c_str(), bit);
  bool holds = (GetFileAttributesW(path.c_str()) & bit) != 0;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return holds;
}
// Answers the shell's own question box of this thread with its Yes button.
BOOL CALLBACK PressShellYes(HWND w, LPARAM) {
  wchar_t cls[32] = {};
  GetClassNameW(w, cls, 32);
  if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(w)) {
    for (int id : {IDYES, IDOK})
      if (HWND b = GetDlgItem(w, id)) {
        SendMessageW(b, BM_CLICK, 0, 0);
        break;
      }
  }
  return TRUE;
}
void CALLBACK AnswerShellQuestion(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), PressShellYes, 0); }
}  // namespace

TEST_F(DeleteTest, ProtectedFilesAndNonEmptyFoldersAreAskedAndNoKeepsThem) {
  WriteFileRaw(Dir + L"ro.txt", "ro");
  WriteFileRaw(Dir + L"plain.txt", "plain");
  MakeDirs(Dir + L"Full\\Deeper");
  WriteFileRaw(Dir + L"Full\\inside.txt", "inside");
  MakeDirs(Dir + L"Empty");
  MakeDirs(Dir + L"OnlyDesc");
  WriteFileRaw(Dir + L"OnlyDesc\\descript.ion", "x note\r\n");
  SetFileAttributesW((Dir + L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  Describe({L"ro.txt", L"plain.txt", L"Full", L"Empty"});
  {
    TMCDTreeMan tree(nullptr, Dir);
    tree.AddFolder(Dir + L"Empty");
    tree.AddFolder(Dir + L"Full");
  }
  Notices.clear();
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(daNo);  // ro.txt stays
  seam.PushButton(daNo);  // Full stays
  auto f = Form(false, {L"ro.txt", L"plain.txt", L"Full", L"Empty", L"OnlyDesc"});
  EXPECT_EQ(f->TotalFiles(), 1 + 1 + 1 + 0 + 1);  // an empty folder has no files to count
  EXPECT_EQ(f->Execute(), 2);  // ran to the end
  EXPECT_TRUE(Exists(L"ro.txt"));
  EXPECT_FALSE(Exists(L"plain.txt"));
  EXPECT_TRUE(Exists(L"Full\\inside.txt"));
  EXPECT_FALSE(Exists(L"Empty"));
  EXPECT_FALSE(Exists(L"OnlyDesc"));  // a descriptions file alone counts as empty: no question
  EXPECT_TRUE(f->Changed);
  ASSERT_EQ(Titles(), (std::vector<std::wstring>{LoadMessageText(10407), LoadMessageText(10408)}));
  EXPECT_NE(seam.Shown[0].Text.find(LoadMessageText(32107)), std::wstring::npos);
  EXPECT_EQ(seam.Shown[0].Buttons.size(), 4u);
  // Only what went loses its description and its tree node.
  EXPECT_EQ(Desc(L"ro.txt"), L"about ro.txt");
  EXPECT_EQ(Desc(L"Full"), L"about Full");
  EXPECT_EQ(Desc(L"plain.txt"), L"");
  EXPECT_EQ(Desc(L"Empty"), L"");
  EXPECT_EQ(Notices, (std::vector<std::wstring>{L"3|" + Dir + L"Empty", L"3|" + Dir + L"OnlyDesc"}));
  TMCDTreeMan tree(nullptr, Dir);
  EXPECT_NE(tree.Locate(Dir + L"Full", false), nullptr);
  EXPECT_EQ(tree.Locate(Dir + L"Empty", false), nullptr);
  SetFileAttributesW((Dir + L"ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DeleteTest, AllAnswersAndTheKindWordOfEachProtectedFile) {
  MakeDirs(Dir + L"A\\Sub");
  WriteFileRaw(Dir + L"A\\Sub\\ro.txt", "1");
  WriteFileRaw(Dir + L"A\\hidden.txt", "2");
  WriteFileRaw(Dir + L"A\\sys.txt", "3");
  bool hiddenHolds = AttributeHolds(Dir + L"A\\hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  bool systemHolds = AttributeHolds(Dir + L"A\\sys.txt", FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesW((Dir + L"A\\Sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((Dir + L"A\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((Dir + L"A\\sys.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
  MakeDirs(Dir + L"B");
  WriteFileRaw(Dir + L"B\\b.txt", "b");
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(daAll);  // every non-empty folder
  seam.PushButton(daYes);  // the first protected file only
  seam.PushButton(daAll);  // every later one
  auto f = Form(false, {L"A", L"B"});
  f->Execute();
  EXPECT_FALSE(Exists(L"A"));
  EXPECT_FALSE(Exists(L"B"));
  // One folder question, then the protected files asked until All.
  size_t expected = 1 + (hiddenHolds || systemHolds ? 2 : 1);
  EXPECT_EQ(seam.Shown.size(), expected);
  if (hiddenHolds && seam.Shown.size() > 1) {
    EXPECT_NE(seam.Shown[1].Text.find(LoadMessageText(32108)), std::wstring::npos) << "files come before sub-folders";
  }
  EXPECT_EQ(f->FilesDone(), 4);
}

TEST_F(DeleteTest, CancelEndsTheRunAndKeepsWhatIsLeft) {
  WriteFileRaw(Dir + L"1.txt", "1");
  WriteFileRaw(Dir + L"2.txt", "2");
  WriteFileRaw(Dir + L"3.txt", "3");
  SetFileAttributesW((Dir + L"2.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  Describe({L"1.txt", L"2.txt", L"3.txt"});
  TMsgBoxSeam::Get().PushButton(daCancel);
  auto f = Form(false, {L"1.txt", L"2.txt", L"3.txt"});
  EXPECT_EQ(f->Execute(), 1);  // stopped
  EXPECT_FALSE(Exists(L"1.txt"));
  EXPECT_TRUE(Exists(L"2.txt"));
  EXPECT_TRUE(Exists(L"3.txt"));
  EXPECT_EQ(Desc(L"1.txt"), L"");
  EXPECT_EQ(Desc(L"3.txt"), L"about 3.txt");
  SetFileAttributesW((Dir + L"2.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DeleteTest, AFailedDeleteKeepsTheFileItsAttributesAndItsDescription) {
  WriteFileRaw(Dir + L"held.txt", "held");
  WriteFileRaw(Dir + L"after.txt", "after");
  SetFileAttributesW((Dir + L"held.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  Describe({L"held.txt"});
  HANDLE h = CreateFileW((Dir + L"held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(daYes);  // yes, delete the read-only file
  seam.PushButton(0);      // skip the error
  auto f = Form(false, {L"held.txt", L"after.txt"});
  EXPECT_EQ(f->Execute(), 2);
  CloseHandle(h);
  EXPECT_EQ(ReadFileRaw(Dir + L"held.txt"), "held");
  EXPECT_TRUE(GetFileAttributesW((Dir + L"held.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Exists(L"after.txt"));
  EXPECT_EQ(Desc(L"held.txt"), L"about held.txt");
  ASSERT_EQ(seam.Shown.size(), 2u);
  EXPECT_NE(seam.Shown[1].Text.find(L"held.txt"), std::wstring::npos);
  EXPECT_EQ(seam.Shown[1].Buttons.size(), 3u);
  SetFileAttributesW((Dir + L"held.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DeleteTest, AFolderWithAFileThatStaysStaysWithoutASecondQuestion) {
  MakeDirs(Dir + L"F");
  WriteFileRaw(Dir + L"F\\held.txt", "held");
  WriteFileRaw(Dir + L"F\\gone.txt", "gone");
  HANDLE h = CreateFileW((Dir + L"F\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(daYes);  // the folder is not empty: delete it
  seam.PushButton(1);      // skip all errors
  auto f = Form(false, {L"F"});
  f->Execute();
  CloseHandle(h);
  EXPECT_TRUE(Exists(L"F\\held.txt"));
  EXPECT_FALSE(Exists(L"F\\gone.txt"));
  EXPECT_EQ(seam.Shown.size(), 2u);
  EXPECT_FALSE(f->Changed);
}

TEST_F(DeleteTest, TheCurrentFolderAndFolderLinks) {
  MakeDirs(Dir + L"Cur\\In");
  MakeDirs(Dir + L"Outside");
  WriteFileRaw(Dir + L"Outside\\keep.txt", "keep");
  SetCurrentDirectoryW((Dir + L"Cur\\In").c_str());
  // Some platforms make links that cannot be reached afterwards: then links are left out here.
  bool links = CreateSymbolicLinkW((Dir + L"probe").c_str(), (Dir + L"Outside").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
               GetFileAttributesW((Dir + L"probe").c_str()) != INVALID_FILE_ATTRIBUTES;
  if (links) CreateSymbolicLinkW((Dir + L"Cur\\link").c_str(), (Dir + L"Outside").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  if (links) {
    CreateSymbolicLinkW((Dir + L"toplink").c_str(), (Dir + L"Outside").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    // The link counts as one item and is never walked for its target's files.
    auto counting = Form(false, {L"toplink"});
    EXPECT_EQ(counting->TotalFiles(), 1);
  }
  TMsgBoxSeam::Get().PushButton(daYes);
  auto f = Form(false, links ? std::vector<std::wstring>{L"Cur", L"toplink"} : std::vector<std::wstring>{L"Cur"});
  EXPECT_EQ(f->Execute(), 2);
  EXPECT_FALSE(Exists(L"Cur"));
  EXPECT_EQ(ReadFileRaw(Dir + L"Outside\\keep.txt"), "keep");
  if (links) {
    EXPECT_FALSE(Exists(L"toplink"));
  }
  // Only the folder question was asked: a link is not a non-empty folder.
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
}

TEST_F(DeleteTest, DeletingTheDescriptionsFileDoesNotWriteItBack) {
  WriteFileRaw(Dir + L"a.txt", "a");
  WriteFileRaw(Dir + L"b.txt", "b");
  Describe({L"a.txt", L"b.txt"});
  TMsgBoxSeam::Get().PushButton(daYes);  // the descriptions file may be hidden
  auto f = Form(false, {L"a.txt", L"DESCRIPT.ION"});
  f->Execute();
  EXPECT_FALSE(Exists(L"a.txt"));
  EXPECT_FALSE(Exists(L"DESCRIPT.ION"));
}

TEST_F(DeleteTest, RecyclingReflectsOnlyWhatTheShellRemoved) {
  for (auto n : {L"1.txt", L"2.txt", L"3.txt"}) WriteFileRaw(Dir + n, "x");
  Describe({L"1.txt", L"2.txt", L"3.txt"});
  std::wstring from;
  TDeleteForm::ShellFileOperation = [&](SHFILEOPSTRUCTW& op) {
    EXPECT_EQ(op.wFunc, static_cast<UINT>(FO_DELETE));
    EXPECT_EQ(op.fFlags, static_cast<FILEOP_FLAGS>(FOF_ALLOWUNDO));
    for (const wchar_t* p = op.pFrom; *p; p += wcslen(p) + 1) from += std::wstring(p) + L"|";
    DeleteFileW((Dir + L"1.txt").c_str());
    op.fAnyOperationsAborted = TRUE;
    return 0;
  };
  auto f = Form(true, {L"1.txt", L"2.txt", L"3.txt"});
  EXPECT_EQ(f->TotalFiles(), 3);
  EXPECT_EQ(f->Execute(), 2);
  EXPECT_EQ(from, Dir + L"1.txt|" + Dir + L"2.txt|" + Dir + L"3.txt|");
  EXPECT_TRUE(f->Changed);
  EXPECT_EQ(Desc(L"1.txt"), L"");
  EXPECT_EQ(Desc(L"2.txt"), L"about 2.txt");
  EXPECT_EQ(Desc(L"3.txt"), L"about 3.txt");
}

TEST_F(DeleteTest, RecyclingThroughTheShell) {
  WriteFileRaw(Dir + L"bin.txt", "bin");
  MakeDirs(Dir + L"BinFolder");
  WriteFileRaw(Dir + L"BinFolder\\in.txt", "in");
  // The shell asks its own confirmation: answered Yes by its own button.
  UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerShellQuestion);
  auto f = Form(true, {L"bin.txt", L"BinFolder"});
  int result = f->Execute();
  KillTimer(nullptr, timer);
  EXPECT_FALSE(Exists(L"bin.txt"));
  EXPECT_FALSE(Exists(L"BinFolder"));
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(f->Changed);
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
}

TEST_F(DeleteTest, TheListCommandAsksBeforeDeletingForGood) {
  WriteFileRaw(Dir + L"a.txt", "a");
  WriteFileRaw(Dir + L"b.txt", "b");
  TMFList list(1);
  list.Path = FDir.Path();
  list.Refresh();
  int a = -1, b = -1;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.ItemName(i) == L"a.txt") a = i;
    if (list.ItemName(i) == L"b.txt") b = i;
  }
  list.ItemIndex = a;
  auto& seam = TMsgBoxSeam::Get();
  seam.PushButton(1);  // No
  EXPECT_FALSE(DeleteListItems(list, true));
  EXPECT_TRUE(Exists(L"a.txt"));
  ASSERT_EQ(seam.Shown.size(), 1u);
  EXPECT_EQ(seam.Shown[0].Title, LoadMessageText(10401));
  EXPECT_NE(seam.Shown[0].Text.find(Dir + L"a.txt"), std::wstring::npos);
  EXPECT_EQ(seam.Shown[0].DefaultIdx, 1);  // No unless the option says Yes
  seam.Reset();
  Options.DeleteAtYes = true;
  list.SetSelected(a, true);
  list.SetSelected(b, true);
  seam.PushButton(0);
  EXPECT_TRUE(DeleteListItems(list, true));
  EXPECT_EQ(seam.Shown[0].Text, LoadMessageText(10803));
  EXPECT_EQ(seam.Shown[0].DefaultIdx, 0);
  EXPECT_FALSE(Exists(L"a.txt"));
  EXPECT_FALSE(Exists(L"b.txt"));
}

