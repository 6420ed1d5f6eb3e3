// The program's widgets in real windows, checked by their state and the pixels they paint:
// label runs (bold, colour, shortened paths, the mirrored slash), the progress gauge, the
// hint and the wait window.
#include <gtest/gtest.h>

#include "common/WinCapture.h"
#include "foundation/G_GUAGE.h"
#include "foundation/HLABEL.h"
#include "foundation/HanHint.h"
#include "foundation/WaitDlg.h"

namespace {
bool Ink(COLORREF c) { return GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128; }
bool Reddish(COLORREF c) { return GetRValue(c) > GetGValue(c) + 60 && GetRValue(c) > GetBValue(c) + 60; }

struct LabelFixture {
  TForm Form{nullptr};
  THanLabelEX* Label;
  explicit LabelFixture(int width) {
    Form.SetBounds(0, 0, 700, 300);
    Label = new THanLabelEX(&Form);
    Label->Font.SetName(L"Tahoma");
    Label->Font.SetSize(14);
    Label->SetBounds(4, 4, width, 120);
    Label->SetParent(&Form);
    Label->SetBackColor(clWhite);
    Label->SetFontColor(clBlack);
  }
};
}  // namespace

TEST(HanLabel, RunsPaintBoldAndColour) {
  LabelFixture f(600);
  f.Label->SetCaption(L"<D>MMMM</D>|MMMM <C=R>MMMM<>|<B=R> </B>");
  // A "|" that starts a text emits the (empty) text before it: runs "MMMM", "", "MMMM ",
  // "MMMM", "", "", " ".
  ASSERT_EQ(f.Label->RunCount(), 7);
  TCapture shot(f.Label->Handle());
  RECT bold = f.Label->RunRect(0), plain = f.Label->RunRect(2), red = f.Label->RunRect(3), back = f.Label->RunRect(6);
  int boldInk = shot.Count(bold, Ink), plainInk = shot.Count(plain, Ink);
  EXPECT_GT(plainInk, 20);
  EXPECT_GT(boldInk, plainInk * 6 / 5) << "bold " << boldInk << " plain " << plainInk;
  EXPECT_EQ(shot.Count(plain, Reddish), 0);
  EXPECT_GT(shot.Count(red, Reddish), 20);
  EXPECT_EQ(shot.Count(red, Ink), 0);
  // A run whose back colour differs from the label's fills its rectangle.
  EXPECT_EQ(shot.CountColor(back, RGB(255, 0, 0)), (back.right - back.left) * (back.bottom - back.top));
  // Lines: the second starts below the first.
  EXPECT_GT(f.Label->Runs(2).Top, f.Label->Runs(0).Top);
  EXPECT_EQ(f.Label->Runs(2).Left, f.Label->Runs(0).Left);
}

TEST(HanLabel, ShortenedPathKeepsItsLastComponent) {
  const std::wstring path = L"C:\\Program Files\\Common Files\\Velmo\\Data\\LastPart";
  LabelFixture narrow(160);
  narrow.Label->SetCaption(L"<P>" + path + L"<>");
  LabelFixture wide(600);
  wide.Label->SetCaption(L"<P>" + path + L"<>");
  const THanLabelItem& last = narrow.Label->Runs(narrow.Label->RunCount() - 1);
  ASSERT_EQ(last.Text, L"LastPart");
  EXPECT_EQ(last.Shown, TRunShown::rsWhole);
  int hidden = 0, dots = 0;
  for (int i = 0; i < narrow.Label->RunCount(); ++i) {
    hidden += narrow.Label->Runs(i).Shown == TRunShown::rsHidden;
    dots += narrow.Label->Runs(i).Shown == TRunShown::rsDots || narrow.Label->Runs(i).Shown == TRunShown::rsShortened;
  }
  EXPECT_GT(hidden + dots, 0);
  for (int i = 0; i < wide.Label->RunCount(); ++i) EXPECT_EQ(wide.Label->Runs(i).Shown, TRunShown::rsWhole);
  EXPECT_LE(last.Left + last.Width, 160);

  // The last component is painted exactly as in the label that shows the whole path.
  TCapture a(narrow.Label->Handle()), b(wide.Label->Handle());
  const THanLabelItem& wlast = wide.Label->Runs(wide.Label->RunCount() - 1);
  int same = 0, ink = 0;
  for (int y = 0; y < last.Height; ++y)
    for (int x = 0; x < last.Width; ++x) {
      COLORREF pa = a.Pixel(last.Left + x, last.Top + y), pb = b.Pixel(wlast.Left + x, wlast.Top + y);
      same += pa == pb;
      ink += Ink(pa);
    }
  EXPECT_EQ(same, last.Width * last.Height);
  EXPECT_GT(ink, 20);

  // Widening the label shows the path whole again.
  narrow.Label->SetWidth(600);
  for (int i = 0; i < narrow.Label->RunCount(); ++i) EXPECT_EQ(narrow.Label->Runs(i).Shown, TRunShown::rsWhole);
}

TEST(HanLabel, BackslashOfAPathIsTheMirroredSlashOnAKoreanSystem) {
  ASSERT_TRUE(IsKoreanSystem());
  LabelFixture f(600);
  f.Label->SetCaption(L"<P>C:\\Data<>");
  int slash = -1;
  for (int i = 0; i < f.Label->RunCount(); ++i)
    if (f.Label->Runs(i).IsPathSlash()) slash = i;
  ASSERT_GE(slash, 0);
  TCapture shot(f.Label->Handle());
  RECT r = f.Label->RunRect(slash);
  // Width of "/" in the label font.
  TScreenDC dc;
  HGDIOBJ old = SelectObject(dc.Handle(), f.Label->Font.Handle());
  SIZE sz{};
  GetTextExtentPoint32W(dc.Handle(), L"/", 1, &sz);
  SelectObject(dc.Handle(), old);
  EXPECT_EQ(r.right - r.left, sz.cx);
  // The ink runs from the top left to the bottom right: a backslash shape.
  int topY = -1, topX = 0, bottomY = -1, bottomX = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (Ink(shot.Pixel(x, y))) {
        if (topY < 0) topY = y, topX = x;
        bottomY = y, bottomX = x;
      }
  ASSERT_GE(topY, 0);
  EXPECT_GT(bottomY - topY, 4);
  EXPECT_LT(topX, bottomX);
}

TEST(HanLabel, UpdatesDeferLayoutAndBadMarkupDrawsWhatItCan) {
  LabelFixture f(300);
  f.Label->BeginUpdate();
  f.Label->AddText(L"abc", false);
  int w, r, h;
  f.Label->GetTextExtent(w, r, h);
  EXPECT_EQ(w, -1);
  f.Label->EndUpdate();
  f.Label->GetTextExtent(w, r, h);
  EXPECT_GT(w, 0);
  EXPECT_GT(h, 0);

  const wchar_t* bad[] = {L"<S=2147483647>huge", L"<S=99999999999999>x<C=>y<B= >z", L"<<<>>>",
                          L"<P>\\\\\\\\\\\\<><P>", L"text<unclosed", L"<F=>|||<NOSUCH>ok",
                          L"<P>C:\\" L"\xD800" L"\\x<>"};
  for (const wchar_t* m : bad) {
    f.Label->SetCaption(m);
    TCapture shot(f.Label->Handle());
    EXPECT_EQ(shot.Width(), 300) << m;
  }
  f.Label->SetCaption(L"<S=99999>W");
  EXPECT_EQ(f.Label->Runs(0).Size, 200);
  TCapture shot(f.Label->Handle());
  EXPECT_GT(shot.Count(RECT{0, 0, 300, 120}, Ink), 100);
}

TEST(HanLabel, PathLabelReportsThePartHit) {
  TForm form(nullptr);
  auto* label = new THanPathLabel(&form);
  label->SetBounds(0, 0, 300, 20);
  label->SetParent(&form);
  label->SetPath(L"C:\\Windows\\System");
  label->SetInfo(L"[3 files]");
  int part = -1;
  label->OnPartMouseUp = [&](THanPathLabel*, TMouseButton, int p) { part = p; };
  RECT first = label->RunRect(0);
  SendMessageW(label->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(first.left + 2, first.top + 3));
  SendMessageW(label->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(first.left + 2, first.top + 3));
  EXPECT_EQ(part, 1);
  SendMessageW(label->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(295, 10));
  EXPECT_EQ(part, 0);
}

TEST(GProgress, SegmentsGapsGradientAndPlainBar) {
  TForm form(nullptr);
  auto* g = new TGProgress(&form);
  g->SetParent(&form);
  EXPECT_EQ(g->Width(), 150);
  EXPECT_EQ(g->Height(), 16);
  g->SetColor(RGBColor(255, 0, 0));
  g->SetBackgroundColor(clWhite);
  g->SetPosition(50);
  EXPECT_EQ(g->FilledWidth(), 74);
  {
    TCapture shot(g->Handle());
    // Segments of 10 from x 1 with a gap of 1: red at 1..10, white at 11, red again at 12.
    EXPECT_EQ(shot.Pixel(1, 8), RGB(255, 0, 0));
    EXPECT_EQ(shot.Pixel(10, 8), RGB(255, 0, 0));
    EXPECT_EQ(shot.Pixel(11, 8), RGB(255, 255, 255));
    EXPECT_EQ(shot.Pixel(12, 8), RGB(255, 0, 0));
    EXPECT_EQ(shot.Pixel(74, 8), RGB(255, 0, 0));
    EXPECT_EQ(shot.Pixel(76, 8), RGB(255, 255, 255));  // past the filled part
    EXPECT_EQ(shot.CountColor(RECT{77, 1, 149, 15}, RGB(255, 255, 255)), 72 * 14);
  }
  g->SetSolid(true);
  {
    TCapture shot(g->Handle());
    EXPECT_EQ(shot.CountColor(RECT{1, 1, 75, 15}, RGB(255, 0, 0)), 74 * 14);
  }
  g->SetGradientBar(true);
  g->SetColorEnd(RGBColor(0, 0, 255));
  g->SetPosition(100);
  {
    TCapture shot(g->Handle());
    COLORREF start = shot.Pixel(2, 8), end = shot.Pixel(146, 8);
    EXPECT_GT(GetRValue(start), 200);
    EXPECT_GT(GetBValue(end), 200);
    EXPECT_LT(GetRValue(end), 60);
  }
  struct Clamp {
    int Given, Kept;
  };
  for (Clamp c : {Clamp{2, 4}, Clamp{50, 30}, Clamp{12, 12}}) {
    g->SetSepSize(c.Given);
    EXPECT_EQ(g->SepSize(), c.Kept);
  }
  g->SetPosition(500);
  EXPECT_EQ(g->Position(), 100);
  g->SetPosition(-5);
  EXPECT_EQ(g->Position(), 0);
  EXPECT_TRUE(g->Segments().empty());
  g->SetSimpleMode(true);
  g->SetPosition(25);
  ASSERT_EQ(g->Segments().size(), 1u);
  EXPECT_EQ(g->Segments()[0].right - g->Segments()[0].left, 37);
}

TEST(HanHint, ShowsAtThePointAndHides) {
  THanHint hint(nullptr);
  hint.FirstLineBold = true;
  hint.SetColor(RGBColor(196, 255, 64));
  hint.ShowHintAt(L"120 (40.0%)", POINT{100, 100});
  EXPECT_TRUE(IsWindowVisible(hint.Handle()));
  RECT r;
  GetWindowRect(hint.Handle(), &r);
  EXPECT_GE(r.left, 100);
  EXPECT_GE(r.top, 100);
  int oneLine = r.bottom - r.top;
  hint.ShowHintAt(L"first\rsecond line", POINT{100, 100});
  GetWindowRect(hint.Handle(), &r);
  EXPECT_GT(r.bottom - r.top, oneLine);
  EXPECT_EQ(hint.Text(), L"first\rsecond line");
  TCapture shot(hint.Handle());
  EXPECT_GT(shot.CountColor(RECT{0, 0, shot.Width(), shot.Height()}, RGB(196, 255, 64)), 10);
  hint.HideHint();
  EXPECT_FALSE(IsWindowVisible(hint.Handle()));
}

TEST(WaitDlg, WorkRunsWithAWorkingStopButton) {
  TForm main(nullptr);
  main.SetBounds(0, 0, 300, 200);
  main.Show();
  TWaitingModalForm wait(nullptr);
  wait.SetCaption(L"분석");
  EXPECT_EQ(wait.Height(), 140);
  int rounds = 0;
  bool mainDisabled = false;
  wait.OnWork = [&](TWaitingModalForm* w) {
    mainDisabled = !IsWindowEnabled(main.Handle());
    EXPECT_TRUE(IsWindowVisible(w->Handle()));
    w->SetInfoText(L"읽는 중");
    while (!w->NowStop && rounds < 1000) {
      if (++rounds == 5) PostMessageW(w->CancelBtn->Handle(), BM_CLICK, 0, 0);
      Application().ProcessMessages();
    }
  };
  EXPECT_EQ(wait.ExecuteModal(), mrCancel);
  EXPECT_TRUE(wait.NowStop);
  EXPECT_LT(rounds, 1000);
  EXPECT_TRUE(mainDisabled);
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));
  EXPECT_FALSE(IsWindowVisible(wait.Handle()));

  // Work that ends by itself; Escape is not pressed.
  wait.OnWork = [](TWaitingModalForm* w) { Application().ProcessMessages(), (void)w; };
  EXPECT_EQ(wait.ExecuteModal(), mrOk);
  EXPECT_FALSE(wait.NowStop);

  // The caller's own loop, stopped by Escape.
  wait.SetSimple(true);
  EXPECT_EQ(wait.Height(), 100);
  EXPECT_FALSE(wait.SubLabel->Visible());
  wait.BeginWait();
  PostMessageW(wait.CancelBtn->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(PumpUntil([&] { return wait.NowStop; }));
  wait.EndWait();
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));
}

TEST(GProgress, GrowingRepaintsOnlyTheNewPart) {
  TForm form(nullptr);
  auto* g = new TGProgress(&form);
  g->SetParent(&form);
  form.Show();
  g->SetPosition(20);
  ValidateRect(g->Handle(), nullptr);
  g->SetPosition(40);  // filled 29 -> 59; the cut segment from 22 is drawn again
  RECT r{};
  ASSERT_TRUE(GetUpdateRect(g->Handle(), &r, FALSE));
  EXPECT_EQ(r.left, 1 + 22);
  EXPECT_EQ(r.right, 1 + 59);
  ValidateRect(g->Handle(), nullptr);
  g->SetPosition(10);  // shrinking repaints the whole gauge
  ASSERT_TRUE(GetUpdateRect(g->Handle(), &r, FALSE));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 150);
}

TEST(HanLabel, FramesAndOneLineLabels) {
  LabelFixture f(200);
  f.Label->SetBorderStyle(1);
  {
    TCapture empty(f.Label->Handle());
    EXPECT_EQ(empty.Pixel(0, 0), RGB(255, 255, 255));  // no runs, no frame
  }
  f.Label->SetCaption(L"abc");
  TCapture shot(f.Label->Handle());
  COLORREF shadow = ToColorRef(clBtnShadow), light = ToColorRef(clBtnHighlight);
  EXPECT_EQ(shot.Pixel(0, 5), shadow);    // sunken: shadow at the top left
  EXPECT_EQ(shot.Pixel(199, 5), light);   // highlight at the bottom right
  EXPECT_EQ(f.Label->Runs(0).Left, 2);    // margin 1 + frame 1

  TForm form(nullptr);
  auto* el = new THanElLabel(&form);
  el->SetBounds(0, 0, 120, 20);
  el->SetParent(&form);
  el->SetColor(clWhite);
  el->Font.SetColor(clBlack);
  el->SetCaption(L"ab");
  auto inkColumns = [&](int from, int to) {
    TCapture s(el->Handle());
    return s.Count(RECT{from, 0, to, 20}, Ink);
  };
  EXPECT_GT(inkColumns(0, 30), 0);
  EXPECT_EQ(inkColumns(60, 120), 0);
  el->SetRight(true);
  EXPECT_EQ(inkColumns(0, 60), 0);
  EXPECT_GT(inkColumns(90, 120), 0);
  el->SetCenter(true);
  EXPECT_FALSE(el->RightAligned());
  el->SetCaption(L"a long caption that does not fit here at all");
  el->SetEllipsis(true);
  EXPECT_GT(inkColumns(0, 120), 0);
}

TEST(HanLabel, FlatPathLabelIsRaisedWhileTheMouseIsOver) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 100);
  form.Show();
  auto* label = new THanPathLabel(&form);
  label->SetBounds(0, 0, 300, 20);
  label->SetParent(&form);
  label->SetPath(L"C:\\Windows");
  label->SetFlat(true);
  EXPECT_EQ(label->BorderStyle(), 0);
  SetCursorPos(1000, 1000);  // somewhere else
  const int left = label->Runs(0).Left;
  SendMessageW(label->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(label->Raised());
  EXPECT_EQ(label->BorderStyle(), 2);
  EXPECT_EQ(label->Runs(0).Left, left);  // the frame comes and goes, the text stays put
  // The pointer is not over it: the timer ends the raised look.
  EXPECT_TRUE(PumpUntil([&] { return !label->Raised(); }));
  EXPECT_EQ(label->BorderStyle(), 0);
}

TEST(HanForm, SizeLimitsAndMinimisingThroughTheMainForm) {
  THanForm main(nullptr);
  main.SetBounds(0, 0, 300, 200);
  main.Show();
  Application().MainForm = &main;
  THanForm dlg(nullptr);
  dlg.MinTrackWidth = 200;
  dlg.MaxTrackHeight = 300;
  MINMAXINFO mm{};
  mm.ptMaxTrackSize = POINT{5000, 5000};
  SendMessageW(dlg.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));
  EXPECT_EQ(mm.ptMinTrackSize.x, 200);
  EXPECT_EQ(mm.ptMaxTrackSize.y, 300);
  EXPECT_EQ(mm.ptMaxTrackSize.x, 5000);  // no limit given: left as it was
  dlg.Show();
  SendMessageW(dlg.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(main.Handle()));
  EXPECT_FALSE(IsIconic(dlg.Handle()));
  Application().MainForm = nullptr;
}
