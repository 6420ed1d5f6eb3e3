// Attributes and dates with real files: the window is driven by messages to its own controls
// each time it waits for a button; the masked date edit takes typed characters.
#include "fileops/AttrDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "shell/ShellTestUtil.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "panels/MFList.h"

namespace {
TDateTime Date(int y, int mo, int d, int h, int mi, int s) { return EncodeDateTime(y, mo, d, h, mi, s); }

TEST(AttrDate, TheTypedTextIsMergedPlaceByPlaceWithTheItemsOwnDate) {
  const std::wstring label = AttrDateLabelText(Date(2024, 5, 6, 10, 11, 12));
  EXPECT_EQ(label, L"2024-05-06\n10:11:12");
  struct Case {
    const wchar_t* Typed;
    bool Valid;
    const wchar_t* Merged;
  };
  const Case cases[] = {
      {L"yyyy-mm-dd hh:mm:ss", true, L"2024-05-06 10:11:12"},   // nothing typed: the item's own
      {L"2020-mm-dd hh:mm:ss", true, L"2020-05-06 10:11:12"},   // the year alone
      {L"____-__-__ __:__:__", true, L"2024-05-06 10:11:12"},   // blanks of the mask
      {L"2023-12-31 23:59:59", true, L"2023-12-31 23:59:59"},
      {L"YYYY-MM-DD 08:HH:ss", true, L"2024-05-06 08:11:12"},   // upper case is lower-cased first
      {L"2024-02-30 10:00:00", false, L"2024-02-30 10:00:00"},  // no such day
      {L"2023-1_-dd hh:mm:ss", false, L"2023-15-06 10:11:12"},  // a half-typed month takes the label's digit
      {L"2024-02-29 24:00:00", false, L"2024-02-29 24:00:00"},
      {L"", true, L"2024-05-06 10:11:12"},
  };
  for (const Case& c : cases) {
    std::wstring merged;
    TDateTime t = 0;
    EXPECT_EQ(MergeAttrDate(c.Typed, label, merged, t), c.Valid) << c.Typed;
    EXPECT_EQ(merged, c.Merged) << c.Typed;
  }
  std::wstring merged;
  TDateTime t = 0;
  ASSERT_TRUE(MergeAttrDate(L"2020-mm-dd hh:mm:ss", label, merged, t));
  EXPECT_EQ(AttrDateLabelText(t), L"2020-05-06\n10:11:12");
}

TEST(MaskEdit, TypingFillsPlacesStepsOverLiteralsAndBlanks) {
  TForm form(nullptr);
  auto* edit = new TMaskEdit(&form);
  edit->SetEditMask(L"!0000-!90-!90 !90:!90:!90;1;_");
  edit->SetParent(&form);
  edit->SetText(L"yyyy-mm-dd hh:mm:ss");
  HWND h = edit->Handle();
  SendMessageW(h, EM_SETSEL, 0, 0);
  for (wchar_t c : std::wstring(L"20x211")) SendMessageW(h, WM_CHAR, c, 0);  // x is refused
  EXPECT_EQ(edit->Text(), L"2021-1m-dd hh:mm:ss");  // the dash was stepped over
  SendMessageW(h, WM_CHAR, L'\b', 0);
  EXPECT_EQ(edit->Text(), L"2021-_m-dd hh:mm:ss");
  SendMessageW(h, EM_SETSEL, 0, 4);
  SendMessageW(h, WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_EQ(edit->Text(), L"____-_m-dd hh:mm:ss");
  SendMessageW(h, EM_SETSEL, 18, 18);
  SendMessageW(h, WM_CHAR, L'7', 0);
  SendMessageW(h, WM_CHAR, L'8', 0);  // past the end: nothing
  EXPECT_EQ(edit->Text(), L"____-_m-dd hh:mm:s7");
  EXPECT_EQ(edit->Text().size(), 19u);
}

class AttrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    TMsgBoxSeam::Get().Reset();
    Dir = FDir.Path() + L"\\";
  }
  void TearDown() override { TMsgBoxSeam::Get().Reset(); }
  // Whether the platform can take the archive bit off a file (Wine may report it always):
  // the expected bits leave it out where it cannot.
  bool ArchiveClears() {
    std::wstring probe = Dir + L"probe.bin";
    WriteFileRaw(probe, "");
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool clears = !(GetFileAttributesW(probe.c_str()) & FILE_ATTRIBUTE_ARCHIVE);
    DeleteFileW(probe.c_str());
    return clears;
  }
  DWORD Bits(DWORD bits) { return ArchiveClears() ? bits : bits | FILE_ATTRIBUTE_ARCHIVE; }
  static void SetTime(const std::wstring& path, TDateTime t) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(t, y, mo, d, h, mi, s, ms);
    SYSTEMTIME local{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d),
                     static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), 0};
    SYSTEMTIME utc;
    FILETIME ft;
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    SystemTimeToFileTime(&utc, &ft);
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    SetFileTime(f, nullptr, nullptr, &ft);
    CloseHandle(f);
  }
  static std::wstring TimeOf(const std::wstring& path) {
    WIN32_FIND_DATAW fd{};
    FindFirstSafe(path, fd);
    return AttrDateLabelText(FileTimeToLocalDateTime(fd.ftLastWriteTime));
  }
  static DWORD AttrOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()) & 0x27; }
  static void Type(TMaskEdit* edit, const std::wstring& text) {
    SendMessageW(edit->Handle(), EM_SETSEL, 0, 0);
    for (wchar_t c : text) SendMessageW(edit->Handle(), WM_CHAR, c, 0);
  }
  static void Press(TButton* b) { PostMessageW(b->Handle(), BM_CLICK, 0, 0); }
  static void Check(TAttrForm& f, TRenSysControl* box, int state) {
    TAttrForm::SetCheckState(box, state);
    if (box == f.DateCheck) SendMessageW(f.Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(box->Handle()));
  }
  TTempDir FDir;
  std::wstring Dir;
};

TEST_F(AttrTest, ChangeAllGivesEveryItemTheTypedYearAndTheSetBitsWithoutStopping) {
  WriteFileRaw(Dir + L"a.txt", "a");
  WriteFileRaw(Dir + L"b.txt", "b");
  SetFileAttributesW((Dir + L"a.txt").c_str(), FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesW((Dir + L"b.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  SetTime(Dir + L"a.txt", Date(2011, 3, 4, 5, 6, 8));
  SetTime(Dir + L"b.txt", Date(2012, 7, 8, 9, 10, 12));
  TAttrForm f(nullptr);
  f.AddItem(Dir + L"a.txt");
  f.AddItem(Dir + L"b.txt");
  f.SetHasFiles(true);
  std::vector<std::wstring> captions;
  f.OnWaitItem = [&](TAttrForm& form) {
    captions.push_back(form.Caption());
    // Several items: every new box starts grey.
    for (auto* box : form.NewBox) EXPECT_EQ(TAttrForm::CheckState(box), BST_INDETERMINATE);
    Check(form, form.DateCheck, BST_CHECKED);
    EXPECT_TRUE(form.DateEdit->Enabled());
    Type(form.DateEdit, L"2020");
    TAttrForm::SetCheckState(form.NewBox[1], BST_CHECKED);  // read-only on
    Press(form.ChangeAllBtn);
  };
  f.Execute();
  ASSERT_EQ(captions.size(), 1u);  // no stop for the second item
  EXPECT_EQ(captions[0], LoadMessageText(32101) + L" (1/2)");
  EXPECT_EQ(TimeOf(Dir + L"a.txt"), L"2020-03-04\n05:06:08");
  EXPECT_EQ(TimeOf(Dir + L"b.txt"), L"2020-07-08\n09:10:12");
  // Read-only set; the grey archive box left each file's own archive bit.
  EXPECT_EQ(AttrOf(Dir + L"a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(AttrOf(Dir + L"b.txt"), Bits(FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(f.Changed);
  EXPECT_EQ(f.DoneList, Dir + L"a.txt\r" + Dir + L"b.txt");
  for (auto n : {L"a.txt", L"b.txt"}) SetFileAttributesW((Dir + n).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AttrTest, AnImpossibleDateIsRefusedAndTheSameItemAskedAgainThenSkipAndCancel) {
  WriteFileRaw(Dir + L"a.txt", "a");
  WriteFileRaw(Dir + L"b.txt", "b");
  WriteFileRaw(Dir + L"c.txt", "c");
  SetTime(Dir + L"a.txt", Date(2011, 3, 4, 5, 6, 8));
  TMsgBoxSeam::Get().PushButton(0);
  TAttrForm f(nullptr);
  for (auto n : {L"a.txt", L"b.txt", L"c.txt"}) f.AddItem(Dir + n);
  f.SetHasFiles(true);
  std::vector<std::wstring> targets;
  f.OnWaitItem = [&](TAttrForm& form) {
    targets.push_back(form.TargetLabel->Caption());
    if (targets.size() == 1) {
      Check(form, form.DateCheck, BST_CHECKED);
      Type(form.DateEdit, L"20240230100000");
      Press(form.ChangeBtn);
    } else if (targets.size() == 2) {
      Press(form.SkipBtn);
    } else {
      Press(form.CancelBtn);
    }
  };
  f.Execute();
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0], targets[1]);
  EXPECT_NE(targets[2].find(L"b.txt"), std::wstring::npos);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"2024-02-30 10:00:00"), std::wstring::npos);
  EXPECT_EQ(TimeOf(Dir + L"a.txt"), L"2011-03-04\n05:06:08");
  EXPECT_EQ(f.DoneList, L"");
  EXPECT_FALSE(f.Changed);
  EXPECT_TRUE(f.Items().empty());  // cleared once the run ended
}

TEST_F(AttrTest, OneFileShowsItsOwnBitsAndZeroAttributesKeepTheArchiveBitAfterADateChange) {
  WriteFileRaw(Dir + L"one.txt", "1");
  SetFileAttributesW((Dir + L"one.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  const bool archive = (GetFileAttributesW((Dir + L"one.txt").c_str()) & FILE_ATTRIBUTE_ARCHIVE) != 0;
  TAttrForm f(nullptr);
  f.AddItem(Dir + L"one.txt");
  f.SetHasFiles(true);
  f.OnWaitItem = [&](TAttrForm& form) {
    EXPECT_EQ(TAttrForm::CheckState(form.NewBox[1]), BST_CHECKED);
    EXPECT_EQ(TAttrForm::CheckState(form.NewBox[0]), archive ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(GetWindowLongW(form.NewBox[0]->Handle(), GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_EQ(TAttrForm::CheckState(form.CurBox[1]), BST_CHECKED);
    TAttrForm::SetCheckState(form.NewBox[1], BST_UNCHECKED);
    Check(form, form.DateCheck, BST_CHECKED);
    Type(form.DateEdit, L"1999");
    Press(form.ChangeBtn);
  };
  f.Execute();
  EXPECT_EQ(AttrOf(Dir + L"one.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(TimeOf(Dir + L"one.txt").substr(0, 4), L"1999");
  EXPECT_TRUE(f.Changed);
}

TEST_F(AttrTest, AFolderAndTheFilesBelowItWhileSubFoldersKeepTheirOwn) {
  MakeDirs(Dir + L"Top\\Sub");
  // Whether a folder keeps a read-only bit here.
  SetFileAttributesW((Dir + L"Top\\Sub").c_str(), FILE_ATTRIBUTE_READONLY);
  const bool folderBitHolds = AttrOf(Dir + L"Top\\Sub") & FILE_ATTRIBUTE_READONLY;
  SetFileAttributesW((Dir + L"Top\\Sub").c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteFileRaw(Dir + L"Top\\f1.txt", "1");
  WriteFileRaw(Dir + L"Top\\Sub\\f2.txt", "2");
  SetTime(Dir + L"Top\\Sub", Date(2015, 1, 1, 0, 0, 0));
  SetTime(Dir + L"Top\\f1.txt", Date(2016, 2, 3, 4, 5, 6));
  TAttrForm f(nullptr);
  f.AddItem(Dir + L"Top");
  f.SetHasFolders(true);
  EXPECT_EQ(TAttrForm::CheckState(f.FolderAttrCheck), BST_CHECKED);
  EXPECT_TRUE(f.SubFolderCheck->Enabled());
  f.OnWaitItem = [&](TAttrForm& form) {
    TAttrForm::SetCheckState(form.SubFolderCheck, BST_CHECKED);
    TAttrForm::SetCheckState(form.NewBox[1], BST_CHECKED);
    Check(form, form.DateCheck, BST_CHECKED);
    Type(form.DateEdit, L"2001");
    Press(form.ChangeBtn);
  };
  f.Execute();
  EXPECT_EQ(TimeOf(Dir + L"Top\\f1.txt"), L"2001-02-03\n04:05:06");
  EXPECT_EQ(TimeOf(Dir + L"Top\\Sub\\f2.txt").substr(0, 4), L"2001");
  EXPECT_EQ(TimeOf(Dir + L"Top\\Sub"), L"2015-01-01\n00:00:00");
  EXPECT_EQ(TimeOf(Dir + L"Top").substr(0, 4), L"2001");
  EXPECT_TRUE(AttrOf(Dir + L"Top\\Sub\\f2.txt") & FILE_ATTRIBUTE_READONLY);
  if (folderBitHolds) {
    EXPECT_TRUE(AttrOf(Dir + L"Top") & FILE_ATTRIBUTE_READONLY);
  }
  EXPECT_FALSE(AttrOf(Dir + L"Top\\Sub") & FILE_ATTRIBUTE_READONLY);
  for (auto n : {L"Top\\f1.txt", L"Top\\Sub\\f2.txt", L"Top"}) SetFileAttributesW((Dir + n).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AttrTest, AFileThatCannotBeOpenedKeepsItsAttributes) {
  WriteFileRaw(Dir + L"held.txt", "held");
  WriteFileRaw(Dir + L"next.txt", "next");
  SetFileAttributesW((Dir + L"held.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetTime(Dir + L"held.txt", Date(2010, 1, 2, 3, 4, 6));
  HANDLE h = CreateFileW((Dir + L"held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  TMsgBoxSeam::Get().PushButton(0);  // skip the error
  TAttrForm f(nullptr);
  f.AddItem(Dir + L"held.txt");
  f.AddItem(Dir + L"next.txt");
  f.SetHasFiles(true);
  f.OnWaitItem = [&](TAttrForm& form) {
    Check(form, form.DateCheck, BST_CHECKED);
    Type(form.DateEdit, L"2002");
    Press(form.ChangeAllBtn);
  };
  f.Execute();
  CloseHandle(h);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, FormatText(LoadMessageText(32126), {Dir + L"held.txt"}));
  EXPECT_EQ(AttrOf(Dir + L"held.txt"), Bits(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(TimeOf(Dir + L"held.txt"), L"2010-01-02\n03:04:06");
  EXPECT_EQ(TimeOf(Dir + L"next.txt").substr(0, 4), L"2002");
  SetFileAttributesW((Dir + L"held.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AttrTest, TheListCommandUnselectsWhatWasDone) {
  WriteFileRaw(Dir + L"a.txt", "a");
  WriteFileRaw(Dir + L"b.txt", "b");
  TMFList list(1);
  list.Path = FDir.Path();
  list.Refresh();
  for (int i = 0; i < list.Count(); ++i)
    if (list.ItemName(i) == L"a.txt" || list.ItemName(i) == L"b.txt") list.SetSelected(i, true);
  int waits = 0;
  bool changed = ChangeListAttributes(list, [&](TAttrForm& form) {
    ++waits;
    TAttrForm::SetCheckState(form.NewBox[2], BST_CHECKED);
    Press(waits == 1 ? form.ChangeBtn : form.SkipBtn);
  });
  EXPECT_TRUE(changed);
  EXPECT_EQ(waits, 2);
  EXPECT_EQ(list.SelCount, 1);
  int b = list.IndexOfName(L"b.txt");
  ASSERT_GE(b, 0);
  EXPECT_NE(list.GetItem(b)->SelOrder, 0);
}
}  // namespace
