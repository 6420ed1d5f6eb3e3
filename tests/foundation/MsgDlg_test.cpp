// Message and input boxes: answered through the box's seam, and driven with real keys and
// clicks where the box's own handling is the behaviour.
#include <gtest/gtest.h>

#include "common/WinCapture.h"
#include "foundation/Language.h"
#include "foundation/MsgDlg.h"

namespace {
struct SeamReset {
  SeamReset() { TMsgBoxSeam::Get().Reset(); }
  ~SeamReset() { TMsgBoxSeam::Get().Reset(); }
};

std::wstring TextOr(int id, const wchar_t* fallback) {
  std::wstring s = LoadMessageText(id);
  return s.empty() ? fallback : s;
}
}  // namespace

TEST(MsgDlg, ButtonCaptions) {
  EXPECT_EQ(SplitButtonCaptions(L"a||b\rc\r\n"), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_TRUE(SplitButtonCaptions(L"|\r\n").empty());
}

TEST(MsgDlg, SeamAnswersAndRecords) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  seam.PushButton(2);
  seam.PushButton(-1);  // Escape
  seam.PushButton(-1);
  EXPECT_EQ(MessageBoxEx(L"", L"<D>지울까요?</D>|<P>C:\\temp\\a.txt<>", L"예(&Y)|아니오(&N)|모두", 5, 0, false, -1, -1),
            2);
  EXPECT_EQ(MessageBoxAuto(L"제목", L"계속할까요?", L"계속|아니오 (&N)", 1), 1);
  // Without a cancel caption Escape does nothing; the seam then has no answer left.
  EXPECT_EQ(MessageBoxStd(L"T", L"x", L"Go|Stop", 3, 1, -1), -1);
  EXPECT_EQ(seam.Unanswered, 1);
  ASSERT_EQ(seam.Shown.size(), 3u);
  const TMsgBoxRecord& a = seam.Shown[0];
  EXPECT_EQ(a.Title, TextOr(34, L"삭제"));
  EXPECT_EQ(a.Text, L"<D>지울까요?</D>|<P>C:\\temp\\a.txt<>");
  EXPECT_EQ(a.Buttons, (std::vector<std::wstring>{L"예(&Y)", L"아니오(&N)", L"모두"}));
  EXPECT_EQ(a.DefaultIdx, 0);
  EXPECT_EQ(a.CancelIdx, 1);
  EXPECT_TRUE(a.CloseBox);
  EXPECT_EQ(a.Result, 2);
  EXPECT_EQ(seam.Shown[1].Title, L"제목");
  EXPECT_EQ(seam.Shown[1].Result, 1);
  EXPECT_FALSE(seam.Shown[2].CloseBox);
  EXPECT_EQ(seam.Shown[2].DefaultIdx, 1);
}

TEST(MsgDlg, StandardBoxes) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  seam.PushButton(0);
  seam.PushButton(-1);
  seam.PushButton(-1);
  seam.PushButton(0);
  ShowErrorBox(L"실패했습니다");
  ShowInfo(L"끝났습니다");
  EXPECT_FALSE(AskYesNo(L"할까요?", true));
  EXPECT_TRUE(AskYesNo(L"할까요?", false));
  ASSERT_EQ(seam.Shown.size(), 4u);
  EXPECT_EQ(seam.Shown[0].Title, TextOr(32, L"오류"));
  EXPECT_EQ(seam.Shown[0].Buttons, (std::vector<std::wstring>{TextOr(1, L"확인")}));
  EXPECT_TRUE(seam.Shown[0].HasPicture);
  EXPECT_EQ(seam.Shown[1].Title, TextOr(35, L"알림"));
  EXPECT_EQ(seam.Shown[1].Result, 0);  // Escape on an OK box is OK
  EXPECT_EQ(seam.Shown[2].Title, TextOr(33, L"질문"));
  EXPECT_EQ(seam.Shown[2].Buttons, (std::vector<std::wstring>{TextOr(9, L"예(&Y)"), TextOr(10, L"아니오(&N)")}));
  EXPECT_EQ(seam.Shown[2].DefaultIdx, 0);
  EXPECT_EQ(seam.Shown[3].DefaultIdx, 1);
  EXPECT_EQ(seam.Shown[3].CancelIdx, 1);
}

TEST(MsgDlg, EscapeNeverConfirmsAnOkCancelQuestion) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  seam.PushButton(-1);  // Escape
  EXPECT_EQ(MessageBoxAuto(L"", L"지울까요?", L"확인|취소", 4), 1);
  ASSERT_EQ(seam.Shown.size(), 1u);
  EXPECT_EQ(seam.Shown[0].CancelIdx, 1);
}

TEST(MsgDlg, RealBoxShowsMarkupButtonsDefaultAndCancel) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  bool checked = false;
  seam.OnShown = [&](TMsgDlgForm& box) {
    ASSERT_EQ(box.Buttons.size(), 3u);
    EXPECT_EQ(box.Buttons[1]->Caption(), L"아니오(&N)");
    // The default button and the close box.
    EXPECT_TRUE(GetWindowLongW(box.Buttons[2]->Handle(), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_FALSE(GetWindowLongW(box.Buttons[0]->Handle(), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_TRUE(GetWindowLongW(box.Handle(), GWL_STYLE) & WS_SYSMENU);
    // The text is mark-up: the first run bold, the path in runs.
    ASSERT_GE(box.Label->RunCount(), 3);
    EXPECT_EQ(box.Label->Runs(0).Text, L"파일");
    EXPECT_EQ(box.Label->Runs(0).Style & fsBold, fsBold);
    EXPECT_TRUE(box.Label->PathMode());
    TCapture shot(box.Label->Handle());
    EXPECT_GT(shot.Count(RECT{0, 0, shot.Width(), shot.Height()}, [](COLORREF c) { return GetRValue(c) < 90; }), 20);
    checked = true;
    // Enter in the box (not on a button) presses the default button.
    PostMessageW(box.Label->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  };
  EXPECT_EQ(MessageBoxEx(L"확인", L"<D>파일</D>|<P>C:\\Data\\x.txt<>|지울까요?", L"예(&Y)|아니오(&N)|건너뜀", 4, 0, false, 2, -1),
            2);
  EXPECT_TRUE(checked);

  // The close box chooses the cancel button.
  seam.OnShown = [](TMsgDlgForm& box) { PostMessageW(box.Handle(), WM_CLOSE, 0, 0); };
  EXPECT_EQ(MessageBoxStd(L"", L"x", L"예(&Y)|아니오(&N)", 4, 0, -1), 1);
  // Escape on a box without a cancel caption does nothing and there is no close box; a click
  // then ends it.
  seam.OnShown = [](TMsgDlgForm& box) {
    EXPECT_FALSE(GetWindowLongW(box.Handle(), GWL_STYLE) & WS_SYSMENU);
    PostMessageW(box.Buttons[0]->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(box.Handle(), WM_CLOSE, 0, 0);
    PostMessageW(box.Buttons[1]->Handle(), BM_CLICK, 0, 0);
  };
  EXPECT_EQ(MessageBoxStd(L"", L"x", L"Go|Stop", 4, 0, -1), 1);
}

TEST(MsgDlg, InputBoxes) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  std::wstring value = L"old";
  seam.PushText(0, L"  new name  ");
  EXPECT_EQ(InputBox(L"이름", L"새 이름:", L"#4", L"확인|취소", value, 0, 1, L"", false), 0);
  EXPECT_EQ(value, L"new name");

  std::wstring pass;
  seam.OnShown = [](TMsgDlgForm& box) {
    ASSERT_NE(box.Edit, nullptr);
    EXPECT_TRUE(GetWindowLongW(box.Edit->Handle(), GWL_STYLE) & ES_PASSWORD);
    EXPECT_EQ(box.Combo, nullptr);
    box.Edit->SetText(L"secret");
    PostMessageW(box.Edit->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  };
  EXPECT_EQ(PasswordBox(L"암호", L"암호를 넣으세요", L"\\nosuch.cpl,1", L"확인|취소", pass, 0, 1), 0);
  EXPECT_EQ(pass, L"secret");
  EXPECT_FALSE(seam.Shown.back().HasPicture);

  // A history makes the input a combo box; Escape cancels and the value is what was typed.
  seam.OnShown = [](TMsgDlgForm& box) {
    ASSERT_NE(box.Combo, nullptr);
    EXPECT_EQ(box.Combo->Items().Count(), 2);
    EXPECT_EQ(SendMessageW(box.Combo->Handle(), CB_GETCOUNT, 0, 0), 2);
    PostMessageW(box.Buttons[0]->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  };
  std::wstring path = L"C:\\start";
  EXPECT_FALSE(AskOkCancel(L"이동", L"경로:", L"?", path, L"C:\\one\rD:\\two", false));
  EXPECT_EQ(path, L"C:\\start");
  EXPECT_TRUE(seam.Shown.back().HasPicture);
  EXPECT_EQ(seam.Shown.back().History, (std::vector<std::wstring>{L"C:\\one", L"D:\\two"}));

  // The extra button fills the input through its handler.
  seam.OnShown = [](TMsgDlgForm& box) {
    ASSERT_NE(box.ExtraButton, nullptr);
    SendMessageW(box.ExtraButton->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(box.InputText(), L"C:\\picked\\start");
    SendMessageW(box.Buttons[0]->Handle(), BM_CLICK, 0, 0);
  };
  std::wstring folder = L"start";
  std::wstring seenInitial;
  EXPECT_EQ(MessageBoxInputCore(L"폴더", L"폴더:", L"", L"찾기...", L"확인|취소", 0, 1, folder,
                                [&](const std::wstring& initial, std::wstring& current) {
                                  seenInitial = initial;
                                  current = L"C:\\picked\\" + current;
                                  return true;
                                },
                                L"", true),
            0);
  EXPECT_EQ(seenInitial, L"start");
  EXPECT_EQ(folder, L"C:\\picked\\start");
}

TEST(MsgDlg, InputBoxComboKeepsOpenUntilTheEntryIsAccepted) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  seam.PushText(0, L"bad");
  seam.PushText(0, L" good ");
  int asked = 0;
  std::wstring value = L"init";
  EXPECT_TRUE(InputBoxCombo(L"t", L"x", L"", value,
                            [&](const std::wstring& initial, std::wstring& entered) {
                              ++asked;
                              EXPECT_EQ(initial, L"init");
                              if (entered == L"bad") return false;
                              entered = L"GOOD";
                              return true;
                            },
                            L"", false));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(value, L"GOOD");
  seam.PushText(-1, L"whatever");
  EXPECT_FALSE(InputBoxCombo(L"t", L"x", L"", value, [](const std::wstring&, std::wstring&) { return true; }, L"",
                             false));
  EXPECT_EQ(value, L"GOOD");
}

TEST(MsgDlg, PicturesFromIconSpecs) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  struct Case {
    const wchar_t* IconSpec;
    bool Picture;
  };
  const Case cases[] = {{L"#4", true},  {L"^3", true},          {L"?", true},  {L"hand", true},
                        {L"#", true},   {L"", false},           {L"NO_SUCH_BITMAP", false},
                        {L"MCD_RENAME", true},     // one of the program's bitmaps
                        {L"/nosuch.ico,3", true},  // falls back to the shell library's first icon
                        {L"\\nosuch.ico,3", false}};
  for (const Case& c : cases) {
    seam.PushButton(0);
    MessageBoxIconSpec(L"t", L"x", L"OK", c.IconSpec, 0, 0);
    EXPECT_EQ(seam.Shown.back().HasPicture, c.Picture) << c.IconSpec;
  }
}

TEST(MsgDlg, InputSelectionAndLimit) {
  // Edit or combo box, caret at the end or the whole text selected; at most 255 characters.
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  struct Case {
    const wchar_t* History;
    bool CaretAtEnd;
  };
  const Case cases[] = {{L"", false}, {L"", true}, {L"a\rb", false}, {L"a\rb", true}};
  for (const Case& c : cases) {
    DWORD from = 99, to = 99;
    LRESULT limit = 0;
    int rows = 0;
    seam.OnShown = [&](TMsgDlgForm& box) {
      HWND edit = box.Edit ? box.Edit->Handle() : FindWindowExW(box.Combo->Handle(), nullptr, L"Edit", nullptr);
      ASSERT_NE(edit, nullptr);
      SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
      limit = SendMessageW(edit, EM_GETLIMITTEXT, 0, 0);
      if (box.Combo) rows = box.Combo->DropDownCount;
      box.Press(0);
    };
    std::wstring value = L"hello";
    EXPECT_EQ(InputBox(L"t", L"x", L"", L"확인|취소", value, 0, 1, c.History, c.CaretAtEnd), 0);
    const wchar_t* what = *c.History ? L"combo" : L"edit";
    EXPECT_EQ(from, c.CaretAtEnd ? 5u : 0u) << what << c.CaretAtEnd;
    EXPECT_EQ(to, 5u) << what << c.CaretAtEnd;
    EXPECT_EQ(limit, 255) << what;
    EXPECT_EQ(rows, *c.History ? 20 : 0) << what;
  }
}

TEST(MsgDlg, IconCodesPicturesAndDefaultTitles) {
  SeamReset reset;
  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  struct Case {
    int Code;
    int TitleId;  // 0: no title of its own
    const wchar_t* Fallback;
  };
  const Case cases[] = {{1, 31, L"경고"}, {2, 32, L"오류"}, {3, 35, L"알림"}, {4, 33, L"질문"},
                        {5, 34, L"삭제"}, {9, 0, L""},     {0, 0, L""}};
  for (const Case& c : cases) {
    seam.PushButton(0);
    MessageBoxEx(L"", L"x", L"OK", static_cast<uint8_t>(c.Code), 0, false, -1, -1);
    const TMsgBoxRecord& r = seam.Shown.back();
    EXPECT_EQ(r.Title, c.TitleId ? TextOr(c.TitleId, c.Fallback) : std::wstring()) << c.Code;
    EXPECT_EQ(r.HasPicture, c.TitleId != 0) << c.Code;
    EXPECT_EQ(r.DefaultIdx, 0) << c.Code;
  }
  // A title given is kept.
  seam.PushButton(0);
  MessageBoxEx(L"제목", L"x", L"OK", 2, 0, false, -1, -1);
  EXPECT_EQ(seam.Shown.back().Title, L"제목");
}
