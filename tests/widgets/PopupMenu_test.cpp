// The program's pop-up menu opened for real and picked by keys, the labels' pop-up menu and
// the path label's favourites mark.
#include <gtest/gtest.h>

#include "common/WinCapture.h"
#include "foundation/HLABEL.h"
#include "foundation/HanPopup.h"
#include "framework/Forms.h"
#include "common/MenuKeys.h"

namespace {
std::vector<std::wstring> ShownCaptions(HMENU menu) {
  std::vector<std::wstring> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t buf[64] = {};
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STRING;
    mi.dwTypeData = buf;
    mi.cch = 64;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mi);
    out.push_back((mi.fType & MFT_SEPARATOR) ? L"-" : buf);
  }
  return out;
}
}  // namespace

TEST(PopupMenu, PickedByKeysAndSeparatorsTidied) {
  TForm form(nullptr);
  form.SetBounds(100, 100, 200, 100);
  form.Show();
  THanPopupMenu menu(&form);
  std::vector<int> picked;
  auto pick = [&picked](TMenuItemRec& item) { picked.push_back(item.Tag); };
  menu.Add(L"-");
  TMenuItemRec& a = AddPopupItem(menu, L"가", -1, pick, 1, 0, 0);
  menu.Add(L"-");
  TMenuItemRec& hidden = menu.Add(L"숨김", pick, 2);
  menu.Add(L"-");
  TMenuItemRec& b = menu.Add(L"나", pick, 3);
  TMenuItemRec& off = menu.Add(L"다", pick, 4);
  menu.Add(L"-");
  int popups = 0;
  menu.OnPopup = [&](THanPopupMenu* m) {
    ++popups;
    m->SetItemVisible(hidden, false);
    off.Enabled = false;
  };
  {
    // Down, down: the second shown item.
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_RETURN});
    EXPECT_EQ(menu.Popup(120, 120, form.Handle()), &b);
    ASSERT_TRUE(keys.Sent());
  }
  EXPECT_EQ(picked, std::vector<int>{3});
  EXPECT_EQ(popups, 1);
  // Separators first, last or twice in a row are left out, as is the hidden item.
  EXPECT_EQ(ShownCaptions(menu.Handle()), (std::vector<std::wstring>{L"가", L"-", L"나", L"다"}));
  {
    // The disabled item is passed over by the keys; Escape picks nothing.
    TMenuKeys keys({VK_ESCAPE});
    EXPECT_EQ(menu.Popup(120, 120, form.Handle()), nullptr);
    ASSERT_TRUE(keys.Sent());
  }
  EXPECT_EQ(picked, std::vector<int>{3});
  menu.SetItemVisible(hidden, true);
  menu.OnPopup = nullptr;
  {
    TMenuKeys keys({VK_DOWN, VK_RETURN});
    EXPECT_EQ(menu.Popup(120, 120, form.Handle()), &a);
  }
  EXPECT_EQ(picked, (std::vector<int>{3, 1}));
}

TEST(PopupMenu, LabelShowsItsMenuOnTheRightButton) {
  TForm form(nullptr);
  form.SetBounds(100, 100, 400, 100);
  form.Show();
  THanPopupMenu menu(&form);
  int chosen = 0;
  menu.Add(L"복사", [&](TMenuItemRec&) { chosen = 1; });
  menu.Add(L"붙여넣기", [&](TMenuItemRec&) { chosen = 2; });
  auto* label = new THanLabelEX(&form);
  label->SetBounds(0, 0, 300, 20);
  label->SetParent(&form);
  label->SetCaption(L"<D>글꼴<> 보기");
  // Without a menu the right button shows nothing.
  SendMessageW(label->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
  label->PopUpMenu = &menu;
  {
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_RETURN});
    SendMessageW(label->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_TRUE(keys.Sent());
  }
  EXPECT_EQ(chosen, 2);
  // The left button does not open it.
  chosen = 0;
  SendMessageW(label->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(chosen, 0);
}

TEST(PathLabel, FavouritesMarkIsPartFour) {
  TForm form(nullptr);
  form.SetBounds(100, 100, 400, 100);
  auto* label = new THanPathLabel(&form);
  label->SetBounds(0, 0, 300, 22);
  label->SetParent(&form);
  label->SetColor(clWhite);
  label->SetPath(L"C:\\Windows\\System");
  int before = label->RunRect(0).left;
  label->SetFavMark(true);
  RECT mark = label->FavMarkRect();
  ASSERT_GT(mark.right - mark.left, 7);
  // The path moves right of the mark.
  EXPECT_GE(label->RunRect(0).left, mark.right);
  EXPECT_GT(label->RunRect(0).left, before);
  std::vector<std::pair<TMouseButton, int>> parts;
  label->OnPartMouseUp = [&](THanPathLabel*, TMouseButton b, int p) { parts.push_back({b, p}); };
  int my = (mark.top + mark.bottom) / 2, mx = (mark.left + mark.right) / 2;
  RECT path = label->RunRect(0);
  SendMessageW(label->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(mx, my));
  SendMessageW(label->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(mx, my));
  SendMessageW(label->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(path.left + 2, (path.top + path.bottom) / 2));
  SendMessageW(label->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(295, my));
  EXPECT_EQ(parts, (std::vector<std::pair<TMouseButton, int>>{{mbLeft, 4}, {mbRight, 4}, {mbLeft, 1}, {mbLeft, 0}}));
  // The mark is painted: a gold star in its square, nothing of it beside.
  TCapture shot(label->Handle());
  auto gold = [](COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 150 && GetBValue(c) < 60; };
  EXPECT_GT(shot.Count(mark, gold), (mark.right - mark.left) * (mark.bottom - mark.top) / 6);
  EXPECT_EQ(shot.Count(RECT{mark.right + 2, 0, 300, 22}, gold), 0);
  label->SetFavMark(false);
  EXPECT_EQ(label->RunRect(0).left, before);
  TCapture plain(label->Handle());
  EXPECT_EQ(plain.Count(RECT{0, 0, 300, 22}, gold), 0);
}
