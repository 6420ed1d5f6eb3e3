// The drive diagram in a real window: rows and columns of the pre-order list, the connectors as
// painted, navigation and quick search by keys, hit testing, and painting only what is seen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/WinCapture.h"
#include "foldermgr/MCD.h"
#include "foundation/HanForm.h"
#include "foundation/MOption.h"

namespace {
constexpr TColor Back = 0x000000, Line = 0x00FFFF, Text = 0xFFFFFF;

class DiagramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    Options.FolderNameCase = 0;
    Form = new THanForm(nullptr);
    Form->SetBounds(0, 0, 600, 300);
    View = new TMCD(Form);
    View->BackColor = Back;
    View->LineColor = Line;
    View->TextColor = Text;
    View->DefaultColor = Text;
    View->SetAlign(alClient);
    View->SetParent(Form);
    Form->Show();
  }
  void TearDown() override {
    delete Form;
    Options.ResetToDefaults();
  }
  // Items from "depth name" pairs; paths follow the depths.
  void Fill(const std::vector<std::pair<int, std::wstring>>& items) {
    View->ClearItems();
    std::vector<std::wstring> slots(300);
    for (auto& [depth, name] : items) {
      TMCDItem item;
      item.Depth = depth;
      item.Name = name;
      item.Path = depth == 0 ? name : slots[static_cast<size_t>(depth - 1)] + L"\\" + name;
      slots[static_cast<size_t>(depth)] = item.Path;
      View->AddItem(item);
    }
    View->Relayout();
    View->SetItemIndex(items.empty() ? -1 : 0);
    View->EnsureVisible(false);
    View->UpdateScrollBars();
    View->Invalidate();
    View->Update();
  }
  void Key(WORD key, unsigned shift = 0) { SendKey(View->Handle(), key, shift); }
  void Type(const std::wstring& text) {
    for (wchar_t c : text) SendMessageW(View->Handle(), WM_CHAR, c, 1 | (0x1E << 16));
  }
  std::wstring Selected() const { return View->ItemIndex() < 0 ? L"" : View->Item(View->ItemIndex()).Name; }

  THanForm* Form = nullptr;
  TMCD* View = nullptr;
};
}  // namespace

TEST_F(DiagramTest, RowsColumnsFlagsAndConnectorsOfTheExample) {
  Fill({{0, L"C:"}, {1, L"A"}, {2, L"A1"}, {2, L"A2"}, {1, L"B"}});
  EXPECT_EQ(View->RowCount(), 3);
  EXPECT_EQ(View->ColumnCount(), 3);
  const int rows[] = {0, 0, 0, 1, 2};
  const int parents[] = {-1, 0, 1, 1, 0};
  const bool firsts[] = {true, true, true, false, false}, lasts[] = {true, false, false, true, true};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(View->RowOf(i), rows[i]) << i;
    EXPECT_EQ(View->Item(i).ParentIndex, parents[i]) << i;
    EXPECT_EQ(View->Item(i).FirstChild, firsts[i]) << i;
    EXPECT_EQ(View->Item(i).LastChild, lasts[i]) << i;
  }
  // What the connectors put on screen: a line pixel where each kind draws one, background
  // where it does not (x at the indent's middle, near the top and the bottom of the row).
  View->SetItemIndex(-1);
  TCapture cap(View->Handle());
  const int h = View->RowHeight, mid = View->Indent / 2;
  auto at = [&](int column, int row, bool bottom) {
    return cap.Pixel(View->ColumnX(column) + mid, row * h + (bottom ? h - 1 : 1));
  };
  const COLORREF line = ToColorRef(Line), back = ToColorRef(Back);
  // A: first of two (6): down from the middle only.
  EXPECT_EQ(at(1, 0, false), back);
  EXPECT_EQ(at(1, 0, true), line);
  // Row 2, column 1: A has a sibling below, so its column carries a vertical line (2).
  EXPECT_EQ(at(1, 1, false), line);
  EXPECT_EQ(at(1, 1, true), line);
  // A1: first of two (6); A2: last (5), from the top to the middle.
  EXPECT_EQ(at(2, 0, true), line);
  EXPECT_EQ(at(2, 1, false), line);
  EXPECT_EQ(at(2, 1, true), back);
  // B: last (5).
  EXPECT_EQ(at(1, 2, false), line);
  EXPECT_EQ(at(1, 2, true), back);
  // The root has no connector and no line below it.
  EXPECT_EQ(at(0, 1, false), back);
  // Hit testing finds each painted cell.
  for (int i = 0; i < 5; ++i) {
    const RECT& c = View->Item(i).Cell;
    EXPECT_EQ(View->HitTest((c.left + c.right) / 2, (c.top + c.bottom) / 2), i) << i;
  }
  EXPECT_EQ(View->HitTest(590, 290), -1);
}

TEST_F(DiagramTest, NavigationKeys) {
  Fill({{0, L"C:"}, {1, L"A"}, {2, L"A1"}, {3, L"A1x"}, {2, L"A2"}, {1, L"B"}, {2, L"B1"}, {1, L"C"}});
  const struct {
    const wchar_t* from;
    WORD key;
    unsigned shift;
    const wchar_t* to;
  } cases[] = {
      {L"A", VK_DOWN, 0, L"B"},        {L"A1", VK_DOWN, 0, L"A2"},   {L"A2", VK_LEFT, 0, L"A"},
      {L"B", VK_UP, 0, L"A"},          {L"A1", VK_UP, 0, L"A"},      {L"A1x", VK_DOWN, 0, L"A2"},
      {L"A2", VK_RIGHT, 0, L"B"},      {L"B1", VK_LEFT, 1, L"B"},    {L"A1", VK_HOME, 0, L"C:"},
      {L"A1", VK_END, 0, L"C"},        {L"A", VK_END, 1, L"A1x"},    {L"A1x", VK_HOME, 1, L"C:"},
      {L"B1", VK_HOME, 1, L"B"},       {L"C:", VK_LEFT, 0, L"C:"},   {L"A2", VK_OEM_PERIOD, 0, L"A"},
      {L"B1", VK_OEM_5, 0, L"C:"},     {L"B1", VK_BACK, 0, L"B"},    {L"A", VK_DOWN, 4, L"A"},
      {L"A", VK_DOWN, 2, L"A"},
  };
  for (const auto& c : cases) {
    int from = -1;
    for (int i = 0; i < View->Count(); ++i)
      if (View->Item(i).Name == c.from) from = i;
    View->SetItemIndex(from);
    Key(c.key, c.shift);
    EXPECT_EQ(Selected(), c.to) << c.from << L" key " << c.key << L" shift " << c.shift;
  }
  // Page keys on a list taller than the window.
  std::vector<std::pair<int, std::wstring>> many{{0, L"C:"}};
  for (int i = 0; i < 200; ++i) many.push_back({1, L"F" + std::to_wstring(1000 + i)});
  Fill(many);
  const int page = View->VisibleRows() - 1;
  // The root and the first folder share row 0, so row r starts at item r + 1.
  Key(VK_NEXT);
  EXPECT_EQ(View->ItemIndex(), View->RowStart(page));
  Key(VK_NEXT);
  EXPECT_EQ(View->ItemIndex(), View->RowStart(2 * page));
  EXPECT_LE(View->RowOf(View->TopItem()), View->ItemIndex());
  Key(VK_PRIOR);
  EXPECT_EQ(View->ItemIndex(), View->TopItem());
  Key(VK_END);
  EXPECT_EQ(View->ItemIndex(), 200);
  Key(VK_NEXT);
  EXPECT_EQ(View->ItemIndex(), 200);
  Key(VK_HOME, 4);  // Ctrl+Home scrolls only... and the selection is pulled into view
  EXPECT_EQ(View->TopItem(), 0);
}

TEST_F(DiagramTest, QuickSearch) {
  Fill({{0, L"C:"}, {1, L"Alpha"}, {1, L"Apple"}, {1, L"Beta"}, {1, L"Bravo"}, {1, L"한글"}});
  const struct {
    const wchar_t* typed;
    const wchar_t* selected;
    const wchar_t* text;
  } cases[] = {
      {L"a", L"Alpha", L"a"},      {L"p", L"Apple", L"ap"},  {L"x", L"Apple", L"ap"},
      {L" ", L"Apple", L"ap"},     {L"b", L"Beta", L"b"},    {L"b", L"Bravo", L"b"},
      {L"r", L"Bravo", L"br"},     {L"한", L"한글", L"한"},
  };
  for (const auto& c : cases) {
    Type(c.typed);
    EXPECT_EQ(Selected(), c.selected) << c.typed;
    EXPECT_EQ(View->SearchText(), c.text) << c.typed;
  }
  // Ctrl+L finds the next match of the same text.
  View->SetSearchText(L"");
  Type(L"a");
  EXPECT_EQ(Selected(), L"Alpha");
  Key('L', 4);
  EXPECT_EQ(Selected(), L"Apple");
  // Navigation clears the search; "\" goes to the root.
  Key(VK_DOWN);
  EXPECT_EQ(View->SearchText(), L"");
  Type(L"\\");
  EXPECT_EQ(View->SearchText(), L"");
  // Without the restart setting an unknown second letter is dropped.
  Options.ExtSpeedSearch = false;
  View->SetItemIndex(0);
  Type(L"bz");
  EXPECT_EQ(View->SearchText(), L"b");
  EXPECT_EQ(Selected(), L"Beta");
}

TEST_F(DiagramTest, EmptyListNamesAndWidths) {
  Fill({});
  EXPECT_EQ(View->DefaultIndex(), -1);
  EXPECT_EQ(View->ItemIndex(), -1);
  EXPECT_EQ(View->HitTest(10, 5), -1);
  {
    TCapture cap(View->Handle());
    EXPECT_EQ(cap.CountColor(RECT{0, 0, cap.Width(), cap.Height()}, ToColorRef(Back)), cap.Width() * cap.Height());
  }
  Key(VK_DOWN);
  EXPECT_EQ(View->ItemIndex(), -1);

  // A root column is at least as wide as "M:" and at most 200 pixels.
  int shortWidth = View->RootColumnWidth(L"C:");
  EXPECT_EQ(shortWidth, View->RootColumnWidth(L"M:"));
  EXPECT_GE(View->RootColumnWidth(L"X"), shortWidth);
  EXPECT_EQ(View->RootColumnWidth(std::wstring(200, L'W')), 200);

  // A long name is cut at its column when a sub-folder follows it on its row, and drawn in
  // full as the last of its row.
  View->SetColumnWidth(60);
  std::wstring longName = L"AVeryLongFolderNameIndeed";
  Fill({{0, L"C:"}, {1, longName}, {2, L"Sub"}, {1, longName + L"2"}});
  View->SetItemIndex(-1);
  View->Update();
  (void)TCapture(View->Handle());
  EXPECT_LE(View->Item(1).Cell.right, View->ColumnX(2));
  EXPECT_GT(View->Item(3).Cell.right, View->ColumnX(2));
}

TEST_F(DiagramTest, PaintingStaysOnScreen) {
  std::vector<std::pair<int, std::wstring>> many{{0, L"C:"}};
  for (int i = 0; i < 20000; ++i) many.push_back({1 + i % 3, L"F" + std::to_wstring(i)});
  Fill(many);
  (void)TCapture(View->Handle());
  EXPECT_LE(View->LastPaintedRows(), View->VisibleRows() + 1);
  EXPECT_GT(View->LastPaintedRows(), 0);
  View->ScrollBy(true, SB_BOTTOM, 0);
  EXPECT_EQ(View->RowOf(View->TopItem()), View->RowCount() - View->VisibleRows());
  (void)TCapture(View->Handle());
  EXPECT_LE(View->LastPaintedRows(), View->VisibleRows() + 1);
  // The selection was pulled onto the screen.
  EXPECT_GE(View->RowOf(View->ItemIndex()), View->RowOf(View->TopItem()));
}
