// The splitter in a real form: dragged with mouse messages, its ratio menu picked by keys,
// its double click, its hint and the rows it paints.
#include <gtest/gtest.h>

#include <memory>

#include "common/WinCapture.h"
#include "foundation/HSplit.h"
#include "framework/Forms.h"
#include "common/MenuKeys.h"

namespace {
constexpr COLORREF kShadow = RGB(200, 0, 0), kLight = RGB(0, 180, 0), kFace = RGB(0, 0, 160);

// Two panels around a bar: stacked (side top) or side by side (side left).
struct SplitFixture {
  TForm Form{nullptr};
  TPanel* First;
  TPanel* Second;
  THanSplit* Split;
  int Moved = 0;
  SplitFixture(TAlign side, int firstSize, int secondSize, int bar) {
    bool horz = side == alTop || side == alBottom;
    Form.SetBounds(20, 20, 100, 100);
    Form.SetClientSize(horz ? 300 : firstSize + bar + secondSize, horz ? firstSize + bar + secondSize : 200);
    First = new TPanel(&Form);
    First->SetAlign(side);
    if (horz) First->SetHeight(firstSize);
    else First->SetWidth(firstSize);
    First->SetParent(&Form);
    Split = new THanSplit(&Form);
    Split->SetBounds(0, 0, bar, bar);
    Split->SetSide(side);
    Split->SetParent(&Form);
    Second = new TPanel(&Form);
    Second->SetAlign(alClient);
    Second->SetParent(&Form);
    Split->SetFirstPanel(First);
    Split->SetSecondPanel(Second);
    Split->OnMoved = [this](THanSplit*) { ++Moved; };
    Form.Realign();
    Form.Show();
  }
  HWND Bar() const { return Split->Handle(); }
  void Down(int x, int y) { SendMessageW(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
  void Move(int x, int y) { SendMessageW(Bar(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y)); }
  void Up(int x, int y) { SendMessageW(Bar(), WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
};
}  // namespace

TEST(Splitter, DragMovesTheBarAndShowsTheRatioHint) {
  SplitFixture f(alTop, 200, 401, 6);
  ASSERT_EQ(f.First->Height(), 200);
  ASSERT_EQ(f.Split->Top(), 200);
  ASSERT_EQ(f.Second->Height(), 401);
  f.Down(10, 3);
  ASSERT_TRUE(f.Split->Dragging());
  ASSERT_NE(f.Split->RatioHint(), nullptr);
  EXPECT_EQ(f.Split->RatioHint()->Text(), L"200 (33.3%)");
  EXPECT_TRUE(IsWindowVisible(f.Split->RatioHint()->Handle()));
  // 50 pixels down: the bar does not jump to the pointer, it moves by the distance.
  f.Move(10, 53);
  EXPECT_EQ(f.First->Height(), 250);
  EXPECT_EQ(f.Split->Top(), 250);
  EXPECT_EQ(f.Second->Top(), 256);
  EXPECT_EQ(f.Second->Height(), 351);
  EXPECT_EQ(f.Split->RatioHint()->Text(), L"250 (41.6%)");
  EXPECT_EQ(f.Moved, 1);
  // Past the top the first panel keeps height 0; past the end the second one does.
  f.Move(10, -2000);
  EXPECT_EQ(f.First->Height(), 0);
  EXPECT_EQ(f.Second->Height(), 601);
  EXPECT_EQ(f.Split->RatioHint()->Text(), L"0 (0.0%)");
  f.Move(10, 2000);
  EXPECT_EQ(f.First->Height(), 601);
  EXPECT_EQ(f.Second->Height(), 0);
  EXPECT_EQ(f.Split->RatioHint()->Text(), L"601 (100.0%)");
  int moved = f.Moved;
  f.Move(10, 2100);  // no change, no event
  EXPECT_EQ(f.Moved, moved);
  f.Up(10, 2000);
  EXPECT_FALSE(f.Split->Dragging());
  EXPECT_EQ(f.Split->RatioHint(), nullptr);
  EXPECT_TRUE(f.Split->Hint.empty());
}

TEST(Splitter, VerticalBarMovesByColumns) {
  SplitFixture f(alLeft, 120, 200, 4);
  ASSERT_EQ(f.Split->Left(), 120);
  f.Down(1, 5);
  f.Move(31, 5);
  EXPECT_EQ(f.First->Width(), 150);
  EXPECT_EQ(f.Second->Width(), 170);
  EXPECT_EQ(f.Split->RatioHint()->Text(), L"150 (46.9%)");
  f.Up(31, 5);
}

TEST(Splitter, LosingTheCaptureEndsTheDrag) {
  SplitFixture f(alTop, 200, 401, 6);
  TForm other(nullptr);
  other.SetBounds(500, 20, 100, 100);
  other.Show();
  f.Down(10, 3);
  f.Move(10, 23);
  ASSERT_EQ(GetCapture(), f.Bar());
  ASSERT_NE(f.Split->RatioHint(), nullptr);
  HWND hint = f.Split->RatioHint()->Handle();
  SetCapture(other.Handle());
  EXPECT_FALSE(f.Split->Dragging());
  EXPECT_EQ(f.Split->RatioHint(), nullptr);
  EXPECT_FALSE(IsWindow(hint));
  // Later moves do not drag any more.
  f.Move(10, 100);
  EXPECT_EQ(f.First->Height(), 220);
  ReleaseCapture();
}

TEST(Splitter, RatioMenuPickedByKeys) {
  SplitFixture f(alTop, 200, 401, 6);
  {
    // The third item, "30%": 601 × 30 div 100 = 180.
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
    SendMessageW(f.Bar(), WM_RBUTTONUP, 0, MAKELPARAM(5, 2));
    ASSERT_TRUE(keys.Sent());
  }
  EXPECT_EQ(f.First->Height(), 180);
  EXPECT_EQ(f.Second->Height(), 421);
  EXPECT_EQ(f.Moved, 1);
  {
    // Dismissed: nothing changes.
    TMenuKeys keys({VK_ESCAPE});
    SendMessageW(f.Bar(), WM_RBUTTONUP, 0, MAKELPARAM(5, 2));
    ASSERT_TRUE(keys.Sent());
  }
  EXPECT_EQ(f.First->Height(), 180);
  EXPECT_EQ(f.Moved, 1);
  f.Split->SetRatio(90);
  EXPECT_EQ(f.First->Height(), 540);
}

TEST(Splitter, DoubleClickRestoresTheDefault) {
  SplitFixture f(alTop, 300, 201, 6);
  // No handler: half of both sizes, (300 + 201) div 2.
  SendMessageW(f.Bar(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 4));
  EXPECT_EQ(f.First->Height(), 250);
  EXPECT_EQ(f.Split->DownPoint.y, 0);
  f.Split->OnDefaultSize = [](THanSplit*) { return 100; };
  SendMessageW(f.Bar(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 4));
  EXPECT_EQ(f.First->Height(), 100);
  f.Split->ResetOnDblClick = false;
  SendMessageW(f.Bar(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 4));
  EXPECT_EQ(f.First->Height(), 100);
}

TEST(Splitter, WithOnePanelNothingMoves) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 300);
  auto* p = new TPanel(&form);
  p->SetAlign(alTop);
  p->SetHeight(100);
  p->SetParent(&form);
  auto* s = new THanSplit(&form);
  s->SetParent(&form);
  s->SetFirstPanel(p);
  int moved = 0;
  s->OnMoved = [&](THanSplit*) { ++moved; };
  s->MoveBarTo(150);
  s->SetRatio(50);
  SendMessageW(s->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, 0);
  EXPECT_EQ(p->Height(), 100);
  EXPECT_EQ(moved, 0);
}

namespace {
struct PaintCase {
  uint8_t Style;
  TAlign Side;
  // The colour of each line across the bar (rows, or columns for a vertical bar): S shadow,
  // L light, F the control's colour, A the drag colour.
  const char* Lines;
};

COLORREF ColourOf(char c) {
  switch (c) {
    case 'S': return kShadow;
    case 'L': return kLight;
    case 'A': return RGB(0, 255, 255);
    default: return kFace;
  }
}
}  // namespace

TEST(Splitter, PaintsEachStyle) {
  const PaintCase cases[] = {
      {0, alTop, "FFFFFF"},  {1, alTop, "SLFFFF"},  {2, alTop, "FFFFSL"}, {3, alTop, "LFFFFS"},
      {4, alTop, "SFFFFL"},  {5, alTop, "SLFFSL"},  {7, alTop, "SLSLSL"}, {8, alTop, "SLFFFF"},
      {9, alTop, "FFFFFF"},  {1, alLeft, "SLFFFF"}, {2, alLeft, "FFFFSL"}, {5, alLeft, "SLFFSL"},
      {7, alLeft, "SLSLSL"}, {8, alLeft, "FFFFFF"}, {9, alLeft, "SLFFFF"},
  };
  for (const PaintCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << int(c.Style) << (c.Side == alTop ? " horizontal" : " vertical"));
    SplitFixture f(c.Side, 100, 100, 6);
    f.Split->SetShadowColor(RGBColor(200, 0, 0));
    f.Split->LightColor = RGBColor(0, 180, 0);
    f.Split->SetColor(RGBColor(0, 0, 160));
    f.Split->SetBarStyle(c.Style);
    TCapture shot(f.Bar());
    bool horz = c.Side == alTop;
    int across = horz ? shot.Width() : shot.Height();
    ASSERT_GT(across, 10);
    for (int i = 0; i < 6; ++i) {
      RECT line = horz ? RECT{0, i, across, i + 1} : RECT{i, 0, i + 1, across};
      EXPECT_EQ(shot.CountColor(line, ColourOf(c.Lines[i])), across) << "line " << i;
    }
  }
}

TEST(Splitter, StripesTakeTheDragColourWhileDragged) {
  SplitFixture f(alTop, 200, 401, 6);
  f.Split->SetShadowColor(RGBColor(200, 0, 0));
  f.Split->LightColor = RGBColor(0, 180, 0);
  f.Split->SetBarStyle(7);
  f.Down(10, 3);
  TCapture shot(f.Bar());
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(shot.Pixel(50, i), ColourOf(i % 2 == 0 ? 'S' : 'A')) << "row " << i;
  f.Up(10, 3);
  TCapture after(f.Bar());
  EXPECT_EQ(after.Pixel(50, 1), kLight);
}

TEST(Splitter, SettingTheSameValueAgainChangesNothing) {
  SplitFixture f(alTop, 200, 401, 6);
  f.Split->SetBarStyle(7);
  PumpUntil([] { return false; }, 100);
  int painted = f.Split->PaintCount();
  f.Split->SetBarStyle(7);
  f.Split->SetShadowColor(f.Split->ShadowColor());
  f.Split->SetSide(alTop);
  f.Split->SetFirstPanel(f.First);
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(f.Split->PaintCount(), painted);
  EXPECT_EQ(f.Split->Top(), 200);
  f.Split->SetBarStyle(3);
  EXPECT_TRUE(PumpUntil([&] { return f.Split->PaintCount() > painted; }, 1000));
}
