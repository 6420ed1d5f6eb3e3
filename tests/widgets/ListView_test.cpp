// The list views in a real form: sorting by a clicked column with the arrow in the header,
// and rows moved by the keyboard, by MoveSelected and by dragging with mouse messages (with
// scrolling past the lower edge).
#include <gtest/gtest.h>

#include "common/WinCapture.h"
#include "foundation/ScrListV.h"
#include "framework/Forms.h"

namespace {
struct ListFixture {
  TForm Form{nullptr};
  TScrListView* List;
  explicit ListFixture(int rows, int height = 300) {
    Form.SetBounds(60, 60, 400, height + 60);
    List = new TScrListView(&Form);
    List->SetBounds(0, 0, 360, height);
    List->AddColumn({L"이름", 120, 0});
    List->AddColumn({L"크기", 80, 1});
    for (int i = 0; i < rows; ++i) {
      TListItem it;
      it.Caption = L"항목 " + std::wstring(i < 10 ? L"0" : L"") + std::to_wstring(i);
      it.SubItems = {std::to_wstring((i * 7) % 10)};
      it.Data = i;
      List->AddItem(it);
    }
    List->SetParent(&Form);
    Form.Show();
  }
  HWND Wnd() const { return List->Handle(); }
  std::vector<intptr_t> Order() const {
    std::vector<intptr_t> v;
    for (int i = 0; i < List->ItemCount(); ++i) v.push_back(List->Items(i).Data);
    return v;
  }
  int HeaderFormat(int column) const {
    HWND header = reinterpret_cast<HWND>(SendMessageW(Wnd(), LVM_GETHEADER, 0, 0));
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
  }
  void ClickColumn(int column) {
    NMLISTVIEW nm{};
    nm.hdr.hwndFrom = Wnd();
    nm.hdr.code = LVN_COLUMNCLICK;
    nm.iItem = -1;
    nm.iSubItem = column;
    SendMessageW(Form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
  }
  int RowY(int i) const {
    RECT r = List->ItemRect(i);
    return (r.top + r.bottom) / 2;
  }
  // Presses a row and moves the pointer away from it with the button held: the list starts a
  // drag once the pointer leaves the pressed row's surroundings.
  void StartDrag(int x, int row) {
    SendMessageW(Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, RowY(row)));
    SendMessageW(Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 30, RowY(row) + 12));
  }
  // Presses Ctrl with a key, as the list reads the keyboard's state.
  void CtrlKey(WORD key) {
    BYTE state[256];
    GetKeyboardState(state);
    BYTE old = state[VK_CONTROL];
    state[VK_CONTROL] = 0x80;
    SetKeyboardState(state);
    SendMessageW(Wnd(), WM_KEYDOWN, key, 1);
    state[VK_CONTROL] = old;
    SetKeyboardState(state);
  }
};

std::vector<intptr_t> Seq(std::initializer_list<intptr_t> v) { return v; }
}  // namespace

TEST(ListView, ClickedColumnSortsAndShowsItsArrow) {
  ListFixture f(5);
  // Sizes: 0 7 4 1 8.
  f.List->SetShowSortArrows(true);
  f.List->SelectIndex(1);  // data 1
  f.ClickColumn(1);
  EXPECT_EQ(f.Order(), Seq({0, 1, 2, 3, 4})) << "no sorting without automatic sort";
  f.List->SetAutoColumnSort(acAutoSort);
  f.ClickColumn(1);
  EXPECT_EQ(f.Order(), Seq({0, 3, 2, 1, 4}));
  EXPECT_EQ(f.List->SortColumn(), 1);
  EXPECT_EQ(f.HeaderFormat(1), HDF_SORTUP);
  EXPECT_EQ(f.HeaderFormat(0), 0);
  // The selection stays with its row.
  EXPECT_EQ(f.List->ItemIndex(), 3);
  f.ClickColumn(1);
  EXPECT_EQ(f.Order(), Seq({4, 1, 2, 3, 0}));
  EXPECT_EQ(f.HeaderFormat(1), HDF_SORTDOWN);
  f.ClickColumn(0);
  EXPECT_EQ(f.Order(), Seq({0, 1, 2, 3, 4}));
  EXPECT_EQ(f.HeaderFormat(0), HDF_SORTUP);
  EXPECT_EQ(f.HeaderFormat(1), 0);
  // The owner's comparison: by data, backwards.
  f.List->OnCompare = [](const TListItem& a, const TListItem& b, int) { return int(b.Data - a.Data); };
  f.List->SetAutoColumnSort(acCustomSort);
  f.ClickColumn(1);
  EXPECT_EQ(f.Order(), Seq({4, 3, 2, 1, 0}));
  f.List->SetShowSortArrows(false);
  EXPECT_EQ(f.HeaderFormat(1), 0);
}

TEST(ListView, RowsMoveByKeysAndByMoveSelected) {
  ListFixture f(4);
  f.List->SelectIndex(1);
  f.CtrlKey(VK_DOWN);
  EXPECT_EQ(f.Order(), Seq({0, 2, 1, 3}));
  EXPECT_EQ(f.List->ItemIndex(), 2);
  f.CtrlKey(VK_DOWN);
  f.CtrlKey(VK_DOWN);  // at the end: nothing
  EXPECT_EQ(f.Order(), Seq({0, 2, 3, 1}));
  EXPECT_EQ(f.List->ItemIndex(), 3);
  f.List->MoveSelected(true);
  EXPECT_EQ(f.Order(), Seq({0, 2, 1, 3}));
  // A plain arrow key moves the selection, not the row.
  SendMessageW(f.Wnd(), WM_KEYDOWN, VK_UP, 1);
  EXPECT_EQ(f.Order(), Seq({0, 2, 1, 3}));
  // With a row-move handler the list only reports the target.
  std::vector<int> targets;
  f.List->OnRowMove = [&](TScrListView*, int target) { targets.push_back(target); };
  f.List->SelectIndex(0);
  f.List->MoveSelected(true);
  f.List->MoveSelected(false);
  EXPECT_EQ(targets, std::vector<int>{1});
  EXPECT_EQ(f.Order(), Seq({0, 2, 1, 3}));
  // Out of range: nothing selected.
  f.List->SelectIndex(9);
  EXPECT_EQ(f.List->ItemIndex(), -1);
}

TEST(ListView, RowsMoveByDragging) {
  ListFixture f(6);
  int x = 30;
  f.StartDrag(x, 1);
  ASSERT_TRUE(f.List->DraggingRow());
  SendMessageW(f.Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, f.RowY(4)));
  EXPECT_EQ(f.List->DragTarget(), 4);
  SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, f.RowY(4)));
  EXPECT_FALSE(f.List->DraggingRow());
  EXPECT_EQ(f.Order(), Seq({0, 2, 3, 4, 1, 5}));
  EXPECT_EQ(f.List->ItemIndex(), 4);

  // Another window takes the mouse: the drag ends and nothing moves.
  f.StartDrag(x, 0);
  ASSERT_TRUE(f.List->DraggingRow());
  SetCapture(f.Form.Handle());
  ReleaseCapture();
  EXPECT_FALSE(f.List->DraggingRow());
  EXPECT_EQ(f.Order(), Seq({0, 2, 3, 4, 1, 5}));
}

TEST(ListView, DraggingPastTheEdgeScrolls) {
  ListFixture f(60, 150);
  int x = 30;
  ASSERT_EQ(f.List->TopIndex(), 0);
  f.StartDrag(x, 0);
  ASSERT_TRUE(f.List->DraggingRow());
  int below = f.List->ClientHeight() + 10;
  SendMessageW(f.Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, below));
  EXPECT_TRUE(PumpUntil([&] { return f.List->TopIndex() >= 10; }, 5000)) << f.List->TopIndex();
  // Back inside: the scrolling stops; the row goes where the pointer is.
  SendMessageW(f.Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, f.RowY(f.List->TopIndex() + 2)));
  int top = f.List->TopIndex();
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(f.List->TopIndex(), top);
  int target = f.List->DragTarget();
  EXPECT_EQ(target, top + 2);
  SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, f.RowY(top + 2)));
  EXPECT_EQ(f.List->Items(target).Data, 0);
  EXPECT_EQ(f.List->Items(0).Data, 1);
  EXPECT_EQ(f.List->ItemIndex(), target);
}

TEST(ListView, OwnerColoursRows) {
  ListFixture f(4);
  f.List->OnItemColors = [](TCustomMListView*, int item, TColor& text, TColor& back) {
    if (item == 2) back = RGBColor(255, 0, 0), text = RGBColor(255, 255, 255);
  };
  f.List->Invalidate();
  TCapture shot(f.Wnd());
  auto red = [](COLORREF c) { return c == RGB(255, 0, 0); };
  RECT r2 = f.List->ItemRect(2), r1 = f.List->ItemRect(1);
  r2.right = r1.right = 110;
  EXPECT_GT(shot.Count(r2, red), (r2.right - r2.left) * (r2.bottom - r2.top) / 3);
  EXPECT_EQ(shot.Count(r1, red), 0);
}
