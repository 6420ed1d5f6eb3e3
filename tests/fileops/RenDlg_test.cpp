// The rename dialog in a real window on real files: the simple page renaming one item after the
// other, the advanced page's preview, the duplicates questions, a run with failures and its box,
// undo in reverse order, the result file, descriptions and the folder tree cache following.
#include "fileops/RenDlg.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "panels/MDescMan.h"

namespace {

bool Exists(const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The names in a folder exactly as the system keeps them (case included), sorted.
struct TTreeLog : TRenameTreeCache {
  std::vector<std::pair<std::wstring, std::wstring>>* Log;
  explicit TTreeLog(std::vector<std::pair<std::wstring, std::wstring>>* log) : Log(log) {}
  void RenameFolder(const std::wstring& oldPath, const std::wstring& newPath) override {
    Log->emplace_back(oldPath, newPath);
  }
};

struct RenFixture : ::testing::Test {
  TTempDir Dir;
  TTempDir Work;
  std::unique_ptr<TRenameForm> Form;
  std::vector<std::pair<std::wstring, std::wstring>> TreeLog;
  std::vector<std::wstring> Opened;

  void SetUp() override {
    TMsgBoxSeam::Get().Reset();
    // A box the test did not expect is closed, counted and fails the test: nothing waits.
    TMsgBoxSeam::Get().OnShown = [](TMsgDlgForm& box) {
      TMsgBoxSeam& seam = TMsgBoxSeam::Get();
      TMsgBoxAnswer a;
      if (seam.TakeAnswer(a)) {
        box.Press(a.Button);
      } else {
        ++seam.Unanswered;
        box.Press(-1);
      }
    };
    WorkFolder = Work.Path() + L"\\";
    RenameTreeCacheFactory = [this](HWND, const std::wstring&) {
      return std::unique_ptr<TRenameTreeCache>(new TTreeLog(&TreeLog));
    };
  }
  void TearDown() override {
    EXPECT_EQ(TMsgBoxSeam::Get().Unanswered, 0);
    Form.reset();
    RenameTreeCacheFactory = nullptr;
    TMsgBoxSeam::Get().Reset();
  }
  void MakeFile(const std::wstring& name, std::string_view bytes = "x") { WriteFileRaw(Dir / name, bytes); }
  void MakeFolder(const std::wstring& name) { CreateDirectoryW((Dir / name).c_str(), nullptr); }
  // Adds the items of the folder as the main window does: folders first, then files.
  void Open(const std::vector<std::wstring>& items, bool advanced) {
    Form = std::make_unique<TRenameForm>(nullptr);
    Form->OnOpenResult = [this](const std::wstring& path, DWORD&) {
      Opened.push_back(path);
      return true;
    };
    for (int pass = 0; pass < 2; ++pass)
      for (const std::wstring& n : items) {
        DWORD attr = GetFileAttributesW((Dir / n).c_str());
        bool folder = (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder != (pass == 0)) continue;
        size_t dot = n.rfind(L'.');
        std::wstring name = folder || dot == std::wstring::npos ? n : n.substr(0, dot);
        std::wstring ext = folder || dot == std::wstring::npos ? L"" : n.substr(dot + 1);
        Form->AddItem(name, ext, false, attr, Dir.Path(), EncodeDateTime(2024, 3, 5, 10, 20, 30),
                      folder ? 0 : 1, L"");
      }
    Form->StartAdvanced = advanced;
    Form->Show();
    PumpUntil([] { return false; }, 50);
  }
  // Typing into an edit: its text replaced by real characters.
  void Type(TEdit* edit, const std::wstring& text) {
    SendMessageW(edit->Handle(), EM_SETSEL, 0, -1);
    SendMessageW(edit->Handle(), WM_CHAR, VK_BACK, 1);
    for (wchar_t c : text) SendMessageW(edit->Handle(), WM_CHAR, c, 1);
  }
  void Click(TControl* button) { SendMessageW(button->Handle(), BM_CLICK, 0, 0); }
  std::vector<std::wstring> ListNames() const {
    std::vector<std::wstring> v;
    for (int i = 0; i < Form->List->ItemCount(); ++i) v.push_back(Form->List->Items(i).Caption);
    return v;
  }
  std::vector<std::wstring> NewNames() const {
    std::vector<std::wstring> v;
    for (int i = 0; i < Form->List->ItemCount(); ++i) v.push_back(Form->List->Items(i).SubItems[1]);
    return v;
  }
};

using V = std::vector<std::wstring>;

TEST_F(RenFixture, SimplePageRenamesOneItemAfterTheOther) {
  MakeFile(L"a.TXT");
  MakeFile(L"b.txt");
  MakeFile(L"c.txt");
  Open({L"a.TXT", L"b.txt", L"c.txt"}, false);
  ASSERT_EQ(Form->Page(), 0);
  EXPECT_EQ(Form->SimpleEdit->Text(), L"a.TXT");
  Form->FocusedName = L"b.txt";

  // A change of case only is a rename.
  Type(Form->SimpleEdit, L"a.txt");
  Click(Form->ChangeButton);
  EXPECT_EQ(Form->SimpleEdit->Text(), L"b.txt");
  EXPECT_TRUE(Form->Changed);

  // The raw text is checked before anything: a path is refused, not cut to its last part.
  TMsgBoxSeam::Get().PushButton(0);
  Type(Form->SimpleEdit, L"..\\escaped.txt");
  Click(Form->ChangeButton);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, SystemErrorText(ERROR_INVALID_NAME));
  EXPECT_EQ(Form->ItemCount(), 2);

  // "." and ".." name nothing.
  TMsgBoxSeam::Get().PushButton(0);
  Type(Form->SimpleEdit, L"..");
  Click(Form->ChangeButton);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);

  // An existing target is named in its box.
  TMsgBoxSeam::Get().PushButton(0);
  Type(Form->SimpleEdit, L"c.txt");
  Click(Form->ChangeButton);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 3u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[2].Text.find(Dir / L"c.txt"), std::wstring::npos);

  // With the extension kept the typed text is the name alone.
  SendMessageW(Form->ExtNoRenameBox->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(Form->SimpleEdit->Text(), L"c");
  Type(Form->SimpleEdit, L"b2");
  Click(Form->ChangeButton);
  EXPECT_EQ(Form->FocusedName, L"b2.txt");
  EXPECT_EQ(Form->SimpleEdit->Text(), L"c");
  Type(Form->SimpleEdit, L"c2");
  Click(Form->ChangeButton);
  EXPECT_EQ(Form->ItemCount(), 0);
  EXPECT_FALSE(Form->Visible());  // the last row closed the dialog
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"a.txt", L"b2.txt", L"c2.txt"}));
  EXPECT_EQ(Form->DoneList, Dir / L"a.TXT" + L"\r" + (Dir / L"b.txt") + L"\r" + (Dir / L"c.txt"));
  EXPECT_EQ(TMsgBoxSeam::Get().Pending(), 0);
}

TEST_F(RenFixture, PreviewFollowsEveryBoxAndAnInvalidPatternEmptiesEveryRow) {
  MakeFile(L"report2024.doc");
  MakeFile(L"memo.txt");
  MakeFolder(L"Sub");
  Open({L"report2024.doc", L"memo.txt", L"Sub"}, true);
  ASSERT_EQ(Form->Page(), 1);
  EXPECT_EQ(ListNames(), (V{L"Sub", L"report2024", L"memo"}));
  EXPECT_EQ(NewNames(), (V{L"Sub", L"report2024.doc", L"memo.txt"}));
  Type(Form->NamePattern, L"<N-3>_<C>");
  EXPECT_EQ(NewNames(), (V{L"Sub_0001", L"024_0002.doc", L"emo_0003.txt"}));
  Type(Form->StartEdit, L"-");  // only a sign: the start is 0
  EXPECT_EQ(NewNames(), (V{L"Sub_0000", L"024_0001.doc", L"emo_0002.txt"}));
  Type(Form->StartEdit, L"9");
  SendMessageW(Form->AutoDigitBox->Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowEnabled(Form->DigitList->Handle()));
  EXPECT_EQ(NewNames(), (V{L"Sub_09", L"024_10.doc", L"emo_11.txt"}));
  Type(Form->FindEdit, L"0");
  Type(Form->ReplaceEdit, L"o");
  EXPECT_EQ(NewNames(), (V{L"Sub_o9", L"o24_1o.doc", L"emo_11.txt"}));
  // An unclosed tag: no row has a new name, each shows the error text.
  Type(Form->NamePattern, L"<N");
  EXPECT_EQ(NewNames(), (V(3, LoadMessageText(8))));
  // A row without a new name is not renamed and stays.
  TMsgBoxSeam::Get().PushButton(0);
  Click(Form->StartButton);
  EXPECT_EQ(Form->ItemCount(), 3);
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"Sub", L"memo.txt", L"report2024.doc"}));
}

TEST_F(RenFixture, DuplicateNamesAskFirst) {
  for (const wchar_t* n : {L"a.txt", L"b.txt", L"c.txt"}) MakeFile(n);
  Open({L"a.txt", L"b.txt", L"c.txt"}, true);
  Type(Form->NamePattern, L"x");
  // Cancel ends the start; nothing is renamed.
  TMsgBoxSeam::Get().PushButton(2);
  Click(Form->StartButton);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(32039));
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Buttons.size(), 3u);
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"a.txt", L"b.txt", L"c.txt"}));
  // Yes numbers the names and stops, so the user starts again.
  TMsgBoxSeam::Get().PushButton(0);
  Click(Form->StartButton);
  EXPECT_EQ(Form->NamePattern->Text(), L"x_<C1,1>");
  EXPECT_EQ(NewNames(), (V{L"x_1.txt", L"x_2.txt", L"x_3.txt"}));
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"a.txt", L"b.txt", L"c.txt"}));
  // Duplicates out of a tag ask whether to go on; No ends.
  Type(Form->NamePattern, L"<E>");
  TMsgBoxSeam::Get().PushButton(1);
  Click(Form->StartButton);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 3u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[2].Text, LoadMessageText(32040));
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"a.txt", L"b.txt", L"c.txt"}));
}

TEST_F(RenFixture, DuplicateNumberingHasAsManyDigitsAsTheRowCount) {
  std::vector<std::wstring> items;
  for (int i = 0; i < 25; ++i) {
    std::wstring n = L"f" + std::to_wstring(100 + i) + L".txt";
    MakeFile(n);
    items.push_back(n);
  }
  Open(items, true);
  Type(Form->NamePattern, L"  same ");
  TMsgBoxSeam::Get().PushButton(0);
  Click(Form->StartButton);
  EXPECT_EQ(Form->NamePattern->Text(), L"same_<C01,1>");
  EXPECT_EQ(NewNames()[24], L"same_25.txt");
}

TEST_F(RenFixture, FailedRunOffersUndoAndResultThenUndoRestoresInReverse) {
  // Five folders; two targets already exist, so two renames fail.
  for (const wchar_t* n : {L"d1", L"d2", L"d3", L"d4", L"d5"}) MakeFolder(n);
  MakeFolder(L"new2");
  MakeFile(L"new4");
  WriteFileRaw(Dir / L"DESCRIPT.ION", "d1 first folder\r\nd3 third folder\r\n");
  Open({L"d1", L"d2", L"d3", L"d4", L"d5"}, true);
  Form->FocusedName = L"d3";
  Type(Form->NamePattern, L"new<C1>");
  EXPECT_EQ(NewNames(), (V{L"new1", L"new2", L"new3", L"new4", L"new5"}));

  // The failure box: OK, undo and result; the result button writes and opens the file.
  TMsgBoxSeam::Get().PushButton(2);
  Click(Form->StartButton);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  const TMsgBoxRecord& box = TMsgBoxSeam::Get().Shown[0];
  EXPECT_EQ(box.Text, LoadMessageText(32043));
  EXPECT_EQ(box.Title, LoadMessageText(8));
  EXPECT_EQ(box.Buttons, (V{LoadMessageText(1), LoadMessageText(32041), LoadMessageText(32042)}));
  EXPECT_EQ(ListNames(), (V{L"d2", L"d4"}));
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"DESCRIPT.ION", L"d2", L"d4", L"new1", L"new2", L"new3", L"new4", L"new5"}));
  EXPECT_EQ(Form->FocusedName, L"new3");
  EXPECT_TRUE(Form->UndoButton->Enabled());

  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], Work / L"M_REN.TXT");
  std::string text = ReadFileRaw(Opened[0]);
  std::string d;
  WideToAnsi(Dir.Path(), d);
  EXPECT_EQ(text, d + "\\d1 -> " + d + "\\new1\r\n" + d + "\\d3 -> " + d + "\\new3\r\n" + d + "\\d5 -> " + d +
                      "\\new5");

  // Descriptions and the tree cache followed the renames.
  {
    THanDescMan desc(Dir.Path() + L"\\");
    std::wstring s;
    desc.GetDescription(L"new1", L"", s);
    EXPECT_EQ(s, L"first folder");
    desc.GetDescription(L"new3", L"", s);
    EXPECT_EQ(s, L"third folder");
  }
  ASSERT_EQ(TreeLog.size(), 3u);
  EXPECT_EQ(TreeLog[1], std::make_pair(Dir / L"d3", Dir / L"new3"));

  // Undo, asked first, renames back from the last renamed item to the first and rebuilds
  // the list in its former order, each row with the new name it had.
  TMsgBoxSeam::Get().PushButton(0);
  Click(Form->UndoButton);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[1].Text, LoadMessageText(32047));
  ASSERT_EQ(TreeLog.size(), 6u);
  EXPECT_EQ(TreeLog[3], std::make_pair(Dir / L"new5", Dir / L"d5"));
  EXPECT_EQ(TreeLog[4], std::make_pair(Dir / L"new3", Dir / L"d3"));
  EXPECT_EQ(TreeLog[5], std::make_pair(Dir / L"new1", Dir / L"d1"));
  EXPECT_EQ(ListNames(), (V{L"d1", L"d2", L"d3", L"d4", L"d5"}));
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"DESCRIPT.ION", L"d1", L"d2", L"d3", L"d4", L"d5", L"new2", L"new4"}));
  EXPECT_TRUE(Form->DoneList.empty());
  EXPECT_FALSE(Form->UndoButton->Enabled());
  EXPECT_FALSE(Form->ResultButton->Enabled());
  {
    THanDescMan desc(Dir.Path() + L"\\");
    std::wstring s;
    desc.GetDescription(L"d1", L"", s);
    EXPECT_EQ(s, L"first folder");
  }
  EXPECT_EQ(TMsgBoxSeam::Get().Pending(), 0);
}

TEST_F(RenFixture, UndoThatCannotRenameBackCountsTheFailures) {
  MakeFile(L"a.txt");
  MakeFile(L"b.txt");
  MakeFile(L"z.txt");
  Open({L"a.txt", L"b.txt", L"z.txt"}, true);
  Type(Form->NamePattern, L"<N>1");
  // z1.txt exists: one failure, undo and result offered; OK closes the box.
  MakeFile(L"z1.txt");
  TMsgBoxSeam::Get().PushButton(0);
  Click(Form->StartButton);
  EXPECT_EQ(ListNames(), (V{L"z"}));
  // Someone takes the old name of b meanwhile: that undo fails and is counted.
  MakeFile(L"b.txt");
  TMsgBoxSeam::Get().PushButton(0);
  TMsgBoxSeam::Get().PushButton(0);
  Form->UndoAll(true);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 3u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[2].Text.substr(0, 1), L"1");
  EXPECT_EQ(ListNames(), (V{L"a", L"z"}));
  EXPECT_EQ(Form->DoneList, Dir / L"b.txt");
  EXPECT_TRUE(Exists(Dir / L"b1.txt"));
  EXPECT_TRUE(Exists(Dir / L"a.txt"));
}

TEST_F(RenFixture, ResultFileRecordsCaseChangesAndFallsBackToUtf8) {
  MakeFile(L"Alpha.txt");
  MakeFile(L"\u0E01A.txt");  // a Thai letter, outside the Korean code page
  MakeFile(L"\xD55C.txt");
  Open({L"Alpha.txt", L"\u0E01A.txt", L"\xD55C.txt"}, true);
  SendMessageW(Form->CaseList->Handle(), CB_SETCURSEL, 1, 0);
  ASSERT_EQ(SendMessageW(Form->CaseList->Handle(), CB_GETCURSEL, 0, 0), 1);
  SendMessageW(Form->Handle(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Form->CaseList->Handle()));
  Type(Form->ExtPattern, L"<E>");  // unchanged; the case list makes it lower case
  EXPECT_EQ(NewNames(), (V{L"alpha.txt", L"\u0E01a.txt", L"\xD55C.txt"}));
  Form->StartRename();
  // Every row renamed: the dialog closes; the result is still there to be written.
  EXPECT_EQ(Form->ItemCount(), 0);
  EXPECT_FALSE(Form->Visible());
  EXPECT_EQ(FolderNames(Dir.Path()), (V{L"alpha.txt", L"\u0E01a.txt", L"\xD55C.txt"}));
  Form->ShowResult();
  ASSERT_EQ(Opened.size(), 1u);
  std::string bytes = ReadFileRaw(Opened[0]);
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  // Changes of case count; the Korean name kept its name exactly and is left out.
  EXPECT_EQ(Utf8ToWide(bytes.substr(3)), (Dir / L"Alpha.txt") + L" -> " + (Dir / L"alpha.txt") + L"\r\n" +
                                             (Dir / L"\u0E01A.txt") + L" -> " + (Dir / L"\u0E01a.txt"));
  // Written again: a new file beside the first.
  Form->ShowResult();
  ASSERT_EQ(Opened.size(), 2u);
  EXPECT_EQ(Opened[1], Work / L"M_REN1.TXT");
}

TEST_F(RenFixture, KoreanResultIsInTheAnsiCodePageAndNothingRenamedIsSaid) {
  MakeFile(L"\xAC00.txt");
  Open({L"\xAC00.txt"}, true);
  Type(Form->NamePattern, L"\xB098");
  Form->StartRename();
  Form->ShowResult();
  ASSERT_EQ(Opened.size(), 1u);
  std::string bytes = ReadFileRaw(Opened[0]), expect;
  ASSERT_TRUE(WideToAnsi((Dir / L"\xAC00.txt") + L" -> " + (Dir / L"\xB098.txt"), expect));
  EXPECT_EQ(bytes, expect);

  MakeFile(L"q.txt");
  Open({L"q.txt"}, true);
  TMsgBoxSeam::Get().PushButton(0);
  Form->ShowResult();
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(32044));
}

TEST_F(RenFixture, ListSortsFoldersApartAndRowsMoveByKeys) {
  MakeFile(L"big.txt", std::string(300, 'x'));
  MakeFile(L"small.txt", "x");
  MakeFile(L"mid.txt", std::string(20, 'x'));
  MakeFolder(L"zdir");
  MakeFolder(L"adir");
  Open({L"big.txt", L"small.txt", L"mid.txt", L"zdir", L"adir"}, true);
  Type(Form->NamePattern, L"<C>");
  auto clickColumn = [&](int column) {
    NMLISTVIEW nm{};
    nm.hdr.hwndFrom = Form->List->Handle();
    nm.hdr.code = LVN_COLUMNCLICK;
    nm.iItem = -1;
    nm.iSubItem = column;
    SendMessageW(Form->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
  };
  clickColumn(0);
  EXPECT_EQ(ListNames(), (V{L"adir", L"zdir", L"big", L"mid", L"small"}));
  EXPECT_EQ(NewNames()[0], L"0001");
  clickColumn(0);  // again: reversed, folders still first
  EXPECT_EQ(ListNames(), (V{L"zdir", L"adir", L"small", L"mid", L"big"}));
  EXPECT_EQ(NewNames()[0], L"0001");  // the counter follows the new order
  EXPECT_EQ(NewNames()[2], L"0003.txt");
  // Alt+Down moves the selected row, Delete removes it.
  Form->List->SelectIndex(2);
  SendMessageW(Form->List->Handle(), WM_SYSKEYDOWN, VK_DOWN, 1 << 29);
  EXPECT_EQ(ListNames(), (V{L"zdir", L"adir", L"mid", L"small", L"big"}));
  EXPECT_EQ(NewNames()[3], L"0004.txt");
  SendMessageW(Form->List->Handle(), WM_KEYDOWN, VK_DELETE, 1);
  EXPECT_EQ(ListNames(), (V{L"zdir", L"adir", L"mid", L"big"}));
  EXPECT_EQ(Form->ItemCount(), 4);
  // Typing finds a row by the start of its name.
  SendMessageW(Form->List->Handle(), WM_CHAR, L'M', 1);
  EXPECT_EQ(Form->List->ItemIndex(), 2);
}

TEST_F(RenFixture, TokenButtonsInsertAtTheCaret) {
  MakeFile(L"longername.html");
  MakeFile(L"a.c");
  Open({L"longername.html", L"a.c"}, true);
  Type(Form->NamePattern, L"x");
  Click(Form->TokenButtons[2].first);  // the range button
  EXPECT_EQ(Form->NamePattern->Text(), L"x<N1-10>");
  Type(Form->ExtPattern, L"");
  Click(Form->TokenButtons[6].first);
  EXPECT_EQ(Form->ExtPattern->Text(), L"<E1-4>");
  EXPECT_EQ(NewNames(), (V{L"xlongername.html", L"xa.c"}));
}

}  // namespace

namespace {

TEST_F(RenFixture, SettingsComeFromTheRenameSectionAndGoBackOnClose) {
  std::wstring cfg = Work / L"Q7X.CFG";
  WriteFileRaw(cfg, "[RENAME]\r\nDigit=12\r\nNameCase=2\r\nAutoDigit=1\r\n1=200\r\nWindow=40,50,700,420\r\n");
  std::wstring oldCfg = Options.CfgFile;
  Options.CfgFile = cfg;
  MakeFile(L"a.txt");
  Open({L"a.txt"}, true);
  EXPECT_EQ(SendMessageW(Form->DigitList->Handle(), CB_GETCURSEL, 0, 0), 3);  // out of range: 4 digits
  EXPECT_EQ(SendMessageW(Form->CaseList->Handle(), CB_GETCURSEL, 0, 0), 2);
  EXPECT_FALSE(IsWindowEnabled(Form->DigitList->Handle()));
  EXPECT_EQ(Form->List->ColumnWidth(0), 200);
  EXPECT_EQ(Form->Height(), 420);
  EXPECT_EQ(NewNames(), (V{L"A.TXT"}));
  // The simple page fixes the height; the advanced page's height is what is kept.
  Form->SetPage(0);
  EXPECT_EQ(Form->Height(), 177);
  Form->Hide();
  // Shown modally: the boxes changed and the dialog closed by its close button.
  PostMessageW(Form->AutoDigitBox->Handle(), BM_CLICK, 0, 0);
  PostMessageW(Form->DigitList->Handle(), CB_SETCURSEL, 6, 0);
  PostMessageW(Form->CloseButton->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_EQ(Form->Page(), 1);
  Options.CfgFile = oldCfg;
  std::string text = ReadFileRaw(cfg);
  EXPECT_NE(text.find("Digit=7"), std::string::npos) << text;
  EXPECT_NE(text.find("AutoDigit=0"), std::string::npos) << text;
  EXPECT_NE(text.find("NameCase=2"), std::string::npos) << text;
  EXPECT_NE(text.find(",420"), std::string::npos) << text;
}

}  // namespace
