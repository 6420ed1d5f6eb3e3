// The tool bar in a real form: buttons pressed with mouse messages, wrapping onto more rows
// at a given width and back to one row, check groups, and a drop-down menu picked by keys.
#include <gtest/gtest.h>

#include "common/WinCapture.h"
#include "foundation/HanPopup.h"
#include "foundation/ToolBtn.h"
#include "framework/Forms.h"
#include "common/MenuKeys.h"

namespace {
struct BarFixture {
  TForm Form{nullptr};
  THToolBar* Bar;
  std::vector<int> Clicked;
  BarFixture() {
    Form.SetBounds(40, 40, 800, 300);
    Bar = new THToolBar(&Form);
    Bar->List = true;
    Bar->SetShowCaptions(true);
    Bar->SetBounds(0, 0, 760, 20);
    Bar->SetParent(&Form);
    Form.Show();
  }
  TToolButton* Add(const std::wstring& caption, int tag, uint8_t style = tbsButton, bool enabled = true,
                   THanPopupMenu* menu = nullptr) {
    return AddToolButton(Bar, caption, style == tbsCheck, [this](TComponent* s) { Clicked.push_back(s->Tag); },
                         style, tag, -1, enabled, menu);
  }
  void Press(TToolButton* b, int dx = 0) {
    RECT r = b->BoundsRect();
    LPARAM at = MAKELPARAM((r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2);
    SendMessageW(Bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Bar->Handle(), WM_LBUTTONUP, 0, at);
  }
};
}  // namespace

TEST(ToolBar, WrapsAtTheGivenWidthAndBackToOneRow) {
  BarFixture f;
  for (int i = 0; i < 10; ++i) {
    f.Add(L"단추 " + std::to_wstring(i + 1), i + 1);
    if (i == 4) AddToolSeparator(f.Bar);
  }
  ASSERT_EQ(f.Bar->ButtonCount(), 11);
  EXPECT_EQ(f.Bar->Buttons(5)->Style, tbsSeparator);
  EXPECT_EQ(f.Bar->Buttons(5)->OnClick, nullptr);
  EXPECT_EQ(f.Bar->Buttons(0)->Hint, L"단추 1");
  f.Bar->SetWidth(2000);
  ASSERT_EQ(f.Bar->RowCount(), 1);
  int oneRowHeight = f.Bar->Height();
  RECT last = f.Bar->Buttons(10)->BoundsRect();
  int rowWidth = last.right;
  ASSERT_GT(rowWidth, 200);

  // Narrower than the row: the buttons take more rows, none past the right edge, and the
  // bar grows to hold them.
  int width = rowWidth / 2 + 10;
  f.Bar->SetWidth(width);
  EXPECT_GE(f.Bar->RowCount(), 2);
  for (int i = 0; i < f.Bar->ButtonCount(); ++i) EXPECT_LE(f.Bar->Buttons(i)->BoundsRect().right, width) << i;
  EXPECT_GT(f.Bar->Buttons(10)->BoundsRect().top, f.Bar->Buttons(0)->BoundsRect().top);
  EXPECT_GT(f.Bar->Height(), oneRowHeight);
  EXPECT_GE(f.Bar->Height(), f.Bar->Buttons(10)->BoundsRect().bottom);

  // Wrapping off: one row again, whatever the width.
  f.Bar->SetWrapable(false);
  EXPECT_EQ(f.Bar->RowCount(), 1);
  for (int i = 0; i < f.Bar->ButtonCount(); ++i)
    EXPECT_EQ(f.Bar->Buttons(i)->BoundsRect().top, f.Bar->Buttons(0)->BoundsRect().top) << i;
  EXPECT_EQ(f.Bar->Height(), oneRowHeight);
  f.Bar->SetWrapable(true);
  EXPECT_GE(f.Bar->RowCount(), 2);
}

TEST(ToolBar, ButtonsClickByTheirState) {
  BarFixture f;
  TToolButton* plain = f.Add(L"열기", 1);
  TToolButton* off = f.Add(L"닫기", 2, tbsButton, false);
  TToolButton* a = f.Add(L"가", 3, tbsCheck);
  TToolButton* b = f.Add(L"나", 4, tbsCheck);
  f.Press(plain);
  f.Press(off);
  EXPECT_EQ(f.Clicked, (std::vector<int>{1}));
  off->SetEnabled(true);
  f.Press(off);
  EXPECT_EQ(f.Clicked, (std::vector<int>{1, 2}));
  // A group of check buttons: pressing one releases the other.
  f.Press(a);
  EXPECT_TRUE(a->Down());
  f.Press(b);
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  EXPECT_EQ(f.Clicked, (std::vector<int>{1, 2, 3, 4}));
}

TEST(ToolBar, DropDownButtonOpensItsMenu) {
  BarFixture f;
  THanPopupMenu menu(&f.Form);
  std::vector<int> picked;
  for (int i = 1; i <= 3; ++i)
    menu.Add(L"항목 " + std::to_wstring(i), [&picked](TMenuItemRec& item) { picked.push_back(item.Tag); }, i);
  TToolButton* drop = f.Add(L"드라이브", 7, tbsDropDown, true, &menu);
  TToolButton* plain = AddToolButton(f.Bar, L"보기", false, nullptr, tbsButton, 8, -1, true, &menu);
  EXPECT_EQ(drop->DropdownMenu, &menu);
  EXPECT_EQ(plain->DropdownMenu, nullptr);
  RECT r = drop->BoundsRect();
  {
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_RETURN});
    // The arrow part at the button's right end.
    f.Press(drop, (r.right - r.left) / 2 - 4);
    ASSERT_TRUE(keys.Sent());
  }
  EXPECT_EQ(picked, (std::vector<int>{2}));
}

TEST(ToolBar, ButtonHintsAreTheirToolTips) {
  BarFixture f;
  f.Bar->SetShowCaptions(false);
  TToolButton* open = f.Add(L"열기", 1);
  TToolButton* other = f.Add(L"닫기", 2);
  other->Hint = L"창 닫기";
  HWND tips = reinterpret_cast<HWND>(SendMessageW(f.Bar->Handle(), TB_GETTOOLTIPS, 0, 0));
  ASSERT_NE(tips, nullptr);
  // The tool tip asks the bar for a button's text, as it does when the pointer rests on it.
  auto tipOf = [&](TToolButton* b) {
    NMTTDISPINFOW di{};
    di.hdr.hwndFrom = tips;
    di.hdr.code = TTN_GETDISPINFOW;
    di.lpszText = di.szText;
    TBBUTTON tb{};
    SendMessageW(f.Bar->Handle(), TB_GETBUTTON, static_cast<WPARAM>(b->Index()), reinterpret_cast<LPARAM>(&tb));
    di.hdr.idFrom = static_cast<UINT_PTR>(tb.idCommand);
    SendMessageW(f.Bar->Handle(), WM_NOTIFY, di.hdr.idFrom, reinterpret_cast<LPARAM>(&di));
    if (di.lpszText && !IS_INTRESOURCE(di.lpszText)) return std::wstring(di.lpszText);
    return std::wstring(di.szText);
  };
  EXPECT_EQ(tipOf(open), L"열기");
  EXPECT_EQ(tipOf(other), L"창 닫기");
}

TEST(ToolBar, ButtonsAddedInAnUpdateJoinInOrderWithTheirStates) {
  BarFixture f;
  f.Add(L"하나", 1);
  f.Bar->BeginUpdate();
  TToolButton* off = f.Add(L"둘", 2, tbsButton, false);
  TToolButton* check = f.Add(L"셋", 3, tbsCheck);
  check->SetDown(true);
  f.Add(L"넷", 4);
  TToolButton* hidden = f.Add(L"다섯", 5);
  hidden->SetVisible(false);
  // Waiting buttons keep what they were given; one taken out again never reaches the bar.
  EXPECT_TRUE(check->Down());
  EXPECT_EQ(check->BoundsRect().right, 0);
  f.Bar->DeleteButton(3);
  f.Bar->EndUpdate();

  HWND bar = f.Bar->Handle();
  ASSERT_EQ(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 4);
  std::vector<std::wstring> texts;
  for (int i = 0; i < 4; ++i) {
    TBBUTTON tb{};
    ASSERT_TRUE(SendMessageW(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&tb)));
    wchar_t text[32] = {};
    SendMessageW(bar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(tb.idCommand), reinterpret_cast<LPARAM>(text));
    texts.push_back(text);
  }
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"하나", L"둘", L"셋", L"다섯"}));
  EXPECT_TRUE(check->Down());
  EXPECT_GT(check->BoundsRect().right, 0);
  RECT h = hidden->BoundsRect();
  EXPECT_EQ(h.right - h.left, 0);
  f.Press(off);
  f.Press(f.Bar->Buttons(0));
  f.Press(check);
  EXPECT_EQ(f.Clicked, (std::vector<int>{1, 3}));
}
