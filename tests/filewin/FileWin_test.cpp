// The panel window and its file box in real windows: the texts each display mode draws (read
// back from the box's text-out record), the colours of focus and selection (read back as
// pixels), keys and mouse driving the focus, the selection and the folder, quick search, the
// status line, and the unselecting of processed items.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "listing/ListingStandIns.h"
#include "foundation/HLABEL.h"
#include "foundation/MHeader.h"
#include "foundation/MOption.h"
#include "framework/Forms.h"
#include "framework/TextCompare.h"
#include "panels/FileWin.h"
#include "panels/HanFileBox.h"
#include "panels/ProcessDone.h"

namespace {
struct TTextOut {
  int X, Y;
  std::wstring Text;
  COLORREF Color;
};

void SetFileDate(const std::wstring& path, int y, int mo, int d, int h, int mi) {
  SYSTEMTIME local{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d), static_cast<WORD>(h),
                   static_cast<WORD>(mi), 0, 0};
  SYSTEMTIME utc;
  TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
  FILETIME ft;
  SystemTimeToFileTime(&utc, &ft);
  HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  SetFileTime(f, nullptr, nullptr, &ft);
  CloseHandle(f);
}

// A folder "work" one level below a scratch folder: a subfolder, a 1,234-byte file dated
// 2024-03-05 14:07, a file with every attribute, and a long-named file.
struct TPanelFixture {
  TTempDir Dir;
  std::wstring Work;
  TForm Form{nullptr};
  TFileWin* Win = nullptr;
  std::vector<TTextOut> Texts;

  TPanelFixture() {
    Options.ResetToDefaults();
    Options.DiskMonitor = false;
    Options.ShowDrive = false;
    Options.ShowDriveItem = false;
    Options.McdTreeUpdate = false;
    Options.PanelOptions(1).Hidden = true;
    Options.PanelOptions(1).Column = 1;
    Options.FolderNameCase = 0;
    Options.MainFont = MakeIniFont(L"Tahoma", 9, 0, 0);
    THanFileBox::FirstPaintDone = false;
    Work = Dir / L"work";
    CreateDirectoryW(Work.c_str(), nullptr);
    CreateDirectoryW((Work + L"\\sub").c_str(), nullptr);
    WriteFileRaw(Work + L"\\a.txt", std::string(1234, 'x'));
    SetFileDate(Work + L"\\a.txt", 2024, 3, 5, 14, 7);
    WriteFileRaw(Work + L"\\every.bin", "1");
    SetFileAttributesW((Work + L"\\every.bin").c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY |
                                                             FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFileRaw(Work + L"\\a very long file name that cannot fit in a narrow column.doc", "22");
    Form.SetBounds(0, 0, 900, 400);
    Win = new TFileWin(&Form, &Form, 1);
    Win->SetAlign(alClient);
    Win->Setup(nullptr, 1, false);
    Win->Box().OnTextOut = [this](int x, int y, const std::wstring& t, COLORREF c) { Texts.push_back({x, y, t, c}); };
    Form.Show();
    Options.PanelOptions(1).Path = Work;
    Win->FirstLoad();
  }
  ~TPanelFixture() {
    SetFileAttributesW((Work + L"\\every.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
    Options.ResetToDefaults();
  }
  THanFileBox& Box() { return Win->Box(); }
  TMFList& List() { return Win->List(); }
  HWND BoxWnd() { return Box().Handle(); }
  // Paints the box once (a print of its client area) and returns the capture.
  TCapture Paint() {
    Texts.clear();
    return TCapture(BoxWnd());
  }
  bool Drew(const std::wstring& text) const {
    return std::any_of(Texts.begin(), Texts.end(), [&](const TTextOut& t) { return t.Text == text; });
  }
  int Index(const std::wstring& name) { return List().IndexOfName(name); }
  void Key(WORD vk) { SendMessageW(BoxWnd(), WM_KEYDOWN, vk, 0); }
  void Char(wchar_t c) { SendMessageW(BoxWnd(), WM_CHAR, c, 0); }
  void Click(int index, WPARAM keys = 0, UINT msg = WM_LBUTTONDOWN) {
    RECT r = Box().ItemRect(index);
    ASSERT_LT(r.left, r.right) << "item " << index << " not in view";
    LPARAM at = MAKELPARAM(r.left + 30, (r.top + r.bottom) / 2);
    SendMessageW(BoxWnd(), msg, keys | (msg == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON), at);
    if (msg == WM_LBUTTONDOWN) SendMessageW(BoxWnd(), WM_LBUTTONUP, keys, at);
  }
};
}  // namespace

TEST(FileBoxTexts, DatesSizesAndAttributes) {
  TDateTime t = EncodeDateTime(2024, 3, 5, 14, 7, 0);
  EXPECT_EQ(FormatItemDate(t, true, true), L"2024-03-05 14:07");
  EXPECT_EQ(FormatItemDate(t, false, false), L"24-03-05 02:07p");
  EXPECT_EQ(FormatItemDate(EncodeDateTime(2024, 3, 5, 0, 5, 0), true, false), L"2024-03-05 12:05a");
  EXPECT_EQ(FormatItemDate(EncodeDateTime(2024, 3, 5, 12, 0, 0), true, false), L"2024-03-05 12:00p");
  struct {
    int64_t Size;
    int Form;
    const wchar_t* Text;
  } sizes[] = {{1234, 0, L"1,234"},          {0, 0, L"0"},          {1234, 1, L"2K"},       {1024, 1, L"1K"},
               {0, 1, L"0K"},                {99999999, 2, L"99,999,999"}, {150LL << 20, 2, L"150M"},
               {5LL << 40, 2, L"5,120G"},    {200000LL << 30, 2, L"195T"}, {-1, 0, L""}};
  for (auto& s : sizes) EXPECT_EQ(FormatItemSize(s.Size, s.Form), s.Text) << s.Size << " form " << s.Form;
  EXPECT_EQ(FormatItemAttr(1 | 2 | 4 | 32), L"arhs");
  EXPECT_EQ(FormatItemAttr(32), L"a");
  EXPECT_EQ(FormatItemAttr(16), L"");
}

TEST(FileBoxTexts, FitPrefixNeverSplitsASurrogatePair) {
  auto width = [](const std::wstring&, size_t n) { return static_cast<int>(n) * 10; };
  const std::wstring s = L"ab\xD83D\xDE00" L"cd";  // a, b, one emoji as a pair, c, d
  EXPECT_EQ(FitPrefix(s, 25, width), 2u);  // 3 units would end inside the pair
  EXPECT_EQ(FitPrefix(s, 40, width), 4u);
  EXPECT_EQ(FitPrefix(s, 5, width), 0u);
  EXPECT_EQ(FitPrefix(s, 1000, width), s.size());
}

TEST(FileBox, DetailModeDrawsThePartsTexts) {
  TPanelFixture f;
  ASSERT_GE(f.List().Count(), 5);
  EXPECT_EQ(f.List().GetItem(0)->Name, L"..");
  f.Paint();
  EXPECT_TRUE(f.Drew(L"[위로]"));
  EXPECT_TRUE(f.Drew(L"[폴더]"));
  EXPECT_TRUE(f.Drew(L"2024-03-05 14:07"));
  EXPECT_TRUE(f.Drew(L"1,234"));
  EXPECT_TRUE(f.Drew(L"arhs"));
  EXPECT_TRUE(f.Drew(L"sub"));
  EXPECT_TRUE(f.Drew(L"a"));
  EXPECT_TRUE(f.Drew(L"txt"));
  // The long name is cut with "..." to its column.
  auto longName = std::find_if(f.Texts.begin(), f.Texts.end(), [](const TTextOut& t) {
    return t.Text.size() > 3 && t.Text.compare(0, 6, L"a very") == 0;
  });
  ASSERT_NE(longName, f.Texts.end());
  EXPECT_EQ(longName->Text.substr(longName->Text.size() - 3), L"...");
  // Sizes are right-aligned: "1,234" ends where the size column ends.
  auto size = std::find_if(f.Texts.begin(), f.Texts.end(), [](const TTextOut& t) { return t.Text == L"1,234"; });
  ASSERT_NE(size, f.Texts.end());
  int sizeRight = f.Box().RightEdge(THanFileBox::colSize) + f.Box().ColumnGap();
  EXPECT_NEAR(size->X + f.Box().TextWidth(L"1,234"), sizeRight - 2, 1);

  Options.Show24H = false;
  Options.Year4D = false;
  f.Paint();
  EXPECT_TRUE(f.Drew(L"24-03-05 02:07p"));
  Options.ShowFolderMsg = false;
  f.Paint();
  EXPECT_FALSE(f.Drew(L"[위로]"));
  EXPECT_FALSE(f.Drew(L"[폴더]"));
}

TEST(FileBox, EveryDisplayModeShowsItsColumns) {
  TPanelFixture f;
  struct {
    int Mode;
    bool Date, Size, Ext, Attr;
    int PageColumns;
  } modes[] = {{1, true, true, true, true, 1},  {2, true, true, true, false, 2}, {3, false, true, true, false, 3},
               {4, false, false, true, false, 4}, {5, false, false, false, false, 5}, {6, false, false, false, false, 6}};
  for (auto& m : modes) {
    f.Box().SetDisplayMode(m.Mode);
    f.Paint();
    SCOPED_TRACE(m.Mode);
    EXPECT_EQ(f.Box().DisplayColumns(), m.PageColumns);
    EXPECT_EQ(f.Drew(L"2024-03-05 14:07"), m.Date);
    EXPECT_EQ(f.Drew(L"1,234"), m.Size);
    EXPECT_EQ(f.Drew(L"arhs"), m.Attr);
    // With the extension in its own column the name stands alone; else they go together.
    EXPECT_EQ(f.Drew(L"a") && f.Drew(L"txt"), m.Ext);
    EXPECT_EQ(f.Drew(L"a.txt"), !m.Ext);
    EXPECT_TRUE(f.Drew(L"sub"));
    if (m.PageColumns > 1) {
      EXPECT_NE(f.Box().ItemWidth(), 0);
      // Cells of the second page column start one pitch to the right.
      RECT r0 = f.Box().ItemRect(0);
      EXPECT_EQ(r0.left, 0);
      EXPECT_EQ(r0.right - r0.left, f.Box().CellWidth());
    } else {
      EXPECT_EQ(f.Box().ItemWidth(), 0);
    }
  }
  // Automatic: a wide panel with few items takes the detail layout.
  f.Box().SetDisplayMode(0);
  EXPECT_EQ(f.Box().ActiveMode(), 1);
}

TEST(FileBox, FocusAndSelectionColoursArePainted) {
  TPanelFixture f;
  const int file = f.Index(L"a.txt");
  ASSERT_GE(file, 0);
  SendMessageW(f.BoxWnd(), WM_SETFOCUS, 0, 0);
  f.Box().SetItemIndex(file);
  const COLORREF back = ToColorRef(Options.BackColor);
  const COLORREF bar = ToColorRef(f.List().GetItem(file)->Color);
  // Another item: background row. The focused row: the bar in the item's colour.
  {
    TCapture shot = f.Paint();
    RECT focusRow = f.Box().ItemRect(file), other = f.Box().ItemRect(f.Index(L"sub"));
    int area = (focusRow.right - focusRow.left) * (focusRow.bottom - focusRow.top);
    EXPECT_GT(shot.CountColor(focusRow, bar), area / 2);
    EXPECT_GT(shot.CountColor(other, back), (other.right - other.left) * (other.bottom - other.top) / 2);
    EXPECT_LT(shot.CountColor(other, bar), area / 10);
  }
  // A selected item away from the focus: its name in the selection colour.
  const int sub = f.Index(L"sub");
  f.List().SetSelected(sub, true);
  TCapture shot = f.Paint();
  const COLORREF sel = ToColorRef(Options.SelColor);
  auto subText = std::find_if(f.Texts.begin(), f.Texts.end(), [](const TTextOut& t) { return t.Text == L"sub"; });
  ASSERT_NE(subText, f.Texts.end());
  EXPECT_EQ(subText->Color, sel);
  RECT subRow = f.Box().ItemRect(sub);
  EXPECT_GT(shot.CountColor(subRow, sel), 3);
  // Empty list: background only, and the after-paint call.
  int afterPaint = 0;
  f.Box().OnAfterPaint = [&] { ++afterPaint; };
  f.List().Items().Clear(true, true, true);
  TCapture empty = f.Paint();
  RECT all{0, 0, empty.Width(), empty.Height()};
  EXPECT_EQ(empty.CountColor(all, back), empty.Width() * empty.Height());
  EXPECT_EQ(afterPaint, 1);
}

TEST(FileBox, KeysMoveTheFocusSelectAndChangeFolder) {
  TPanelFixture f;
  EXPECT_EQ(f.Box().ItemIndex(), 0);
  f.Key(VK_DOWN);
  EXPECT_EQ(f.Box().ItemIndex(), 1);
  f.Key(VK_END);
  EXPECT_EQ(f.Box().ItemIndex(), f.List().Count() - 1);
  f.Key(VK_HOME);
  EXPECT_EQ(f.Box().ItemIndex(), 0);
  // Insert on ".." selects nothing but moves on; on a file it selects.
  f.Key(VK_INSERT);
  EXPECT_EQ(f.List().SelCount, 0);
  EXPECT_EQ(f.Box().ItemIndex(), 1);
  const int file = f.Index(L"a.txt");
  f.Box().SetItemIndex(file);
  f.Key(VK_INSERT);
  EXPECT_EQ(f.List().GetItem(file)->SelOrder, 1);
  EXPECT_EQ(f.Box().ItemIndex(), file + 1);
  f.Box().SetItemIndex(file);
  f.Key(VK_SPACE);
  EXPECT_EQ(f.List().GetItem(file)->SelOrder, 0);
  EXPECT_TRUE(f.Box().SearchText().empty());
  // Status line: counts and sizes.
  f.Box().SetItemIndex(file);
  f.Key(VK_INSERT);
  f.Win->UpdateStatusLine();
  const auto& parts = f.Win->StatusLine().Parts();
  ASSERT_GE(parts.size(), 2u);
  EXPECT_NE(parts[0].find(L"파일"), std::wstring::npos);
  EXPECT_NE(parts[1].find(L"1,234"), std::wstring::npos) << std::string(parts[1].begin(), parts[1].end());

  // Enter on a folder goes in; Backspace comes back with the focus on that folder.
  f.Box().SetItemIndex(f.Index(L"sub"));
  f.Key(VK_RETURN);
  EXPECT_TRUE(SameTextI(f.List().Path, f.Work + L"\\sub\\"));
  EXPECT_EQ(f.List().Count(), 1);  // ".." alone
  EXPECT_EQ(f.Win->PathLine().Path(), f.List().Path);
  f.Key(VK_BACK);
  EXPECT_TRUE(SameTextI(f.List().Path, f.Work + L"\\"));
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"sub");
  // Without BSUpDir Backspace stays.
  Options.BSUpDir = false;
  f.Key(VK_BACK);
  EXPECT_TRUE(SameTextI(f.List().Path, f.Work + L"\\"));
  // Enter on ".." goes up too.
  f.Box().SetItemIndex(0);
  f.Key(VK_RETURN);
  EXPECT_TRUE(SameTextI(f.List().Path, f.Dir.Path() + L"\\"));
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"work");
}

TEST(FileBox, QuickSearchByTyping) {
  TPanelFixture f;
  f.Char(L'E');
  EXPECT_EQ(f.Box().SearchText(), L"E");
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"every.bin");
  f.Char(L'x');  // no name starts with "ex": the letter is refused
  EXPECT_EQ(f.Box().SearchText(), L"E");
  f.Key(VK_BACK);
  EXPECT_EQ(f.Box().SearchText(), L"");
  EXPECT_TRUE(SameTextI(f.List().Path, f.Work + L"\\"));  // the first Backspace only edits the search
  f.Char(L's');
  f.Char(L'U');
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"sub");
  f.Key(VK_ESCAPE);
  EXPECT_EQ(f.Box().SearchText(), L"");
  // Half a surrogate pair waits for its other half.
  f.Box().SetSearchText(L"\xD83D");
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"sub");
}

TEST(FileBox, MouseFocusesSelectsAndOpens) {
  TPanelFixture f;
  const int file = f.Index(L"a.txt"), every = f.Index(L"every.bin"), sub = f.Index(L"sub");
  f.Click(file);
  EXPECT_EQ(f.Box().ItemIndex(), file);
  EXPECT_EQ(f.List().SelCount, 0);
  f.Click(every, MK_CONTROL);
  EXPECT_EQ(f.Box().ItemIndex(), every);
  EXPECT_NE(f.List().GetItem(every)->SelOrder, 0);
  f.Click(every, MK_CONTROL);
  EXPECT_EQ(f.List().GetItem(every)->SelOrder, 0);
  // Shift: the range from the last plain click.
  f.Click(sub);
  f.Click(every, MK_SHIFT);
  EXPECT_EQ(f.List().SelCount, every - sub + 1);
  // A click below the last item hits nothing.
  SendMessageW(f.BoxWnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, f.Box().ClientHeight() - 2));
  EXPECT_EQ(f.Box().ItemIndex(), every);
  // Double click on the folder opens it.
  RECT r = f.Box().ItemRect(sub);
  SendMessageW(f.BoxWnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 30, r.top + 3));
  EXPECT_TRUE(SameTextI(f.List().Path, f.Work + L"\\sub\\"));
}

TEST(FileBox, SelectionCommandsAndProcessedItems) {
  TPanelFixture f;
  EXPECT_EQ(f.List().SelectByMask(L"*.txt;*.doc", true, false), 2);
  EXPECT_EQ(f.List().SelCount, 2);
  f.List().InvertSelection(true);  // sub and every.bin now; ".." never
  std::vector<std::wstring> names;
  for (int i : f.List().SelectedIndexes()) names.push_back(f.List().ItemName(i));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"every.bin", L"sub"}));
  f.List().SelectAll(true);
  EXPECT_EQ(f.List().SelCount, 4);
  TProcessDoneUnSelect done;
  done.FileList = &f.List();
  done.LoadNames(L"A.TXT\rsub\rmissing.txt\r");
  EXPECT_EQ(done.Names.Count(), 3);
  EXPECT_EQ(done.Execute(), 2);
  EXPECT_EQ(f.List().SelCount, 2);
  EXPECT_EQ(f.List().GetItem(f.Index(L"a.txt"))->SelOrder, 0);
  EXPECT_NE(f.List().GetItem(f.Index(L"every.bin"))->SelOrder, 0);
  // Same extension / same name from the focused file.
  f.List().SelectAll(false);
  f.Box().SetItemIndex(f.Index(L"a.txt"));
  EXPECT_EQ(f.List().SelectSame(true), 1);
}

TEST(FileBox, ResortKeepsTheFocusedItem) {
  TPanelFixture f;
  const int file = f.Index(L"a.txt");
  f.Box().SetItemIndex(file);
  f.List().SetSort(skSize, false);
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"a.txt");
  EXPECT_EQ(Options.PanelOptions(1).SortType, skSize);
  EXPECT_FALSE(Options.PanelOptions(1).Ascending);
  // Largest file first, ".." still first.
  EXPECT_EQ(f.List().GetItem(0)->Name, L"..");
  EXPECT_EQ(f.List().ItemName(f.List().FolderCount), L"a.txt");
}

TEST(FileBox, SettersRefuseWhatIsOutOfRange) {
  TPanelFixture f;
  THanFileBox& b = f.Box();
  b.SetGridLineWidth(0);
  EXPECT_EQ(b.GridLineWidth(), 1);
  b.SetGridLineWidth(31);
  EXPECT_EQ(b.GridLineWidth(), 1);
  b.SetGridLineWidth(30);
  EXPECT_EQ(b.GridLineWidth(), 30);
  EXPECT_EQ(Options.GridLineWidth, 30);
  EXPECT_EQ(b.GetColumnWidth(8), 0);
  EXPECT_EQ(b.GetColumnX(9), 0);
  b.SetColumnWidth(9, 50);  // ignored
  EXPECT_GT(b.GetColumnWidth(0x80 | THanFileBox::colName), 0);  // masked with $7F
  b.SetColumnWidth(THanFileBox::colSize, 95);
  EXPECT_EQ(Options.PanelOptions(1).SizeWidth, 95);
  EXPECT_EQ(b.GetColumnWidth(THanFileBox::colSize), 95);
  const int focus = b.ItemIndex();
  b.SetItemIndex(-5);
  EXPECT_EQ(b.ItemIndex(), focus);
  b.SetItemIndex(f.List().Count());
  EXPECT_EQ(b.ItemIndex(), focus);
  b.SetMarkIndex(-2);
  EXPECT_EQ(b.MarkIndex(), -1);
  b.SetShowGridLine(true);
  EXPECT_TRUE(Options.PanelOptions(1).ShowGridLine);
  const int rowHeight = b.ItemHeight();
  b.SetItemSpace(25);
  EXPECT_EQ(b.ItemSpace(), 20);
  EXPECT_EQ(b.ItemHeight(), rowHeight + 20);
  b.SetItemSpace(-1);
  EXPECT_EQ(b.ItemHeight(), rowHeight);
  b.SetItemHeight(0);
  EXPECT_EQ(b.ItemHeight(), 1);
}

TEST(FileBox, ManyFilesScrollAndStatusCounts) {
  TPanelFixture f;
  const std::wstring many = f.Dir / L"many";
  CreateDirectoryW(many.c_str(), nullptr);
  for (int i = 0; i < 1234; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"\\f%04d.dat", i);
    HANDLE h = CreateFileW((many + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  ASSERT_TRUE(f.List().ChangePath(many));
  f.Win->UpdateStatusLine();
  EXPECT_EQ(f.Win->StatusLine().Parts()[0].rfind(L"1,234 파일", 0), 0u);
  // Page Down moves by a page and scrolls; the focus stays in view.
  f.Box().SetItemIndex(0);
  f.Key(VK_NEXT);
  const int page = f.Box().ItemIndex();
  EXPECT_GT(page, 5);
  f.Key(VK_NEXT);
  EXPECT_GT(f.Box().TopIndex(), 0);
  RECT r = f.Box().ItemRect(f.Box().ItemIndex());
  EXPECT_LT(r.left, r.right);
  f.Key(VK_END);
  EXPECT_EQ(f.Box().ItemIndex(), 1234);
  EXPECT_EQ(f.Box().TopIndex(), 1235 - f.Box().Rows());
  // Only the rows on screen are painted: items above the top keep no cell.
  f.Paint();
  EXPECT_EQ(f.List().GetItem(0)->CellY, -1);  // never on screen while a paint ran
  EXPECT_EQ(f.List().GetItem(f.Box().TopIndex())->CellY, 0);
  EXPECT_EQ(f.List().GetItem(f.Box().TopIndex() - 1)->CellY, -1);
  EXPECT_LE(static_cast<int>(f.Texts.size()), f.Box().Rows() * 8);
}


TEST(FileBox, AutomaticModeKeepsTheDateBesideTheScrollBar) {
  TPanelFixture f;
  f.Box().SetShowAttr(false);
  f.Box().SetDisplayMode(0);
  using B = THanFileBox;
  ASSERT_FALSE(GetWindowLongW(f.BoxWnd(), GWL_STYLE) & WS_VSCROLL);
  const int frame = 900 - f.Box().ClientWidth();
  const int bar = GetSystemMetrics(SM_CXVSCROLL);
  int others = 0;
  for (int c : {B::colMark, B::colIcon, B::colExt, B::colSize, B::colDate}) others += f.Box().GetColumnWidth(c);
  ASSERT_GT(f.Box().GetColumnWidth(B::colName), 110);
  const std::wstring many = f.Dir / L"many";
  CreateDirectoryW(many.c_str(), nullptr);
  for (int i = 0; i < 200; ++i) WriteFileRaw(many + L"\\f" + std::to_wstring(1000 + i) + L".dat", "1");
  struct {
    int NameRoom;  // what the panel leaves the name beside the other columns and the bar
    bool Detail;
  } cases[] = {{90, true}, {20, false}, {400, true}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.NameRoom);
    f.Form.SetBounds(0, 0, others + c.NameRoom + bar + frame, 400);
    ASSERT_TRUE(f.List().ChangePath(many));
    // The listing needs more than a page, so the detail layout shows its scroll bar.
    if (c.Detail) {
      EXPECT_EQ(f.Box().ActiveMode(), 1);
      EXPECT_TRUE(GetWindowLongW(f.BoxWnd(), GWL_STYLE) & WS_VSCROLL);
      // The name gives up room so that the date ends inside what the bar leaves.
      EXPECT_LE(f.Box().RightEdge(B::colDate), f.Box().ClientWidth());
      f.Paint();
      EXPECT_TRUE(f.Drew(L"f1000"));
    } else {
      EXPECT_GE(f.Box().ActiveMode(), 2);
      EXPECT_FALSE(GetWindowLongW(f.BoxWnd(), GWL_STYLE) & WS_VSCROLL);
    }
    ASSERT_TRUE(f.List().ChangePath(f.Work));
  }
}

namespace {
std::vector<std::pair<UINT, WPARAM>> gMainMessages;
LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= WM_APP) {
    gMainMessages.push_back({msg, wp});
    return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}
}  // namespace

TEST(FileBox, MonitorRereadAsksForTheFolderTreeFirst) {
  TPanelFixture f;
  WNDCLASSW wc{};
  wc.lpszClassName = L"VelmoTestMainRecorder";
  wc.lpfnWndProc = RecordingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  RegisterClassW(&wc);
  HWND main = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(main, nullptr);
  gMainMessages.clear();
  f.List().MainWnd = main;
  const int before = f.List().Count();
  WriteFileRaw(f.Work + L"\\new.txt", "n");
  f.List().Monitor.OnChange();
  ASSERT_EQ(gMainMessages.size(), 1u);
  EXPECT_EQ(gMainMessages[0].first, static_cast<UINT>(WM_LOADPANELTREE));
  EXPECT_EQ(gMainMessages[0].second, 1u);
  EXPECT_EQ(f.List().Count(), before + 1);
  f.List().MainWnd = nullptr;
  DestroyWindow(main);
}

TEST(FileBox, APanelEndsWhileItsWorkersRun) {
  // The monitor and the icon thread run when the panel goes: they stop before the box they
  // call into is destroyed.
  for (int round = 0; round < 3; ++round) {
    TPanelFixture f;
    Options.DiskMonitor = true;
    f.List().StartWorkers();
    EXPECT_TRUE(f.List().Monitor.Running());
    WriteFileRaw(f.Work + L"\\late.txt", "x");
    delete f.Win;
    f.Win = nullptr;
  }
}

TEST(FileBox, AddingAnItemResetsTheTopIndex) {
  TPanelFixture f;
  f.Box().SetDisplayMode(1);
  f.Box().BeginUpdate();
  for (int i = 0; i < 100; ++i) {
    auto item = std::make_unique<TFileBoxItem>();
    item->Name = L"many" + std::to_wstring(i);
    f.List().Items().AddFile(std::move(item));
  }
  f.Box().EndUpdate();
  f.Box().SetTopIndex(50);
  EXPECT_EQ(f.Box().TopIndex(), 50);
  auto item = std::make_unique<TFileBoxItem>();
  item->Name = L"added";
  f.List().Items().AddFile(std::move(item));
  EXPECT_EQ(f.Box().TopIndex(), 0);
  f.Paint();
  EXPECT_TRUE(f.Drew(L"many0"));
  EXPECT_FALSE(f.Drew(L"added"));  // the last item, far below the view
}

TEST(FileBox, EnterGoesIntoAnArchiveAndBackspaceComesOut) {
  TPanelFixture f;
  WriteFileRaw(f.Work + L"\\pack.zip", "PK");
  f.List().Reread();
  TStandInArcTree arc;
  ArcInfoRec docs;
  docs.Name = L"Docs";
  docs.Size = -1;
  docs.Attributes = 16;
  ArcInfoRec readme;
  readme.Name = L"readme.txt";
  readme.Size = 10;
  readme.Attributes = 32;
  ArcInfoRec inner;
  inner.Name = L"inner.doc";
  inner.Size = 9;
  inner.Attributes = 32;
  arc.Folders[L""] = {docs, readme};
  arc.Folders[L"Docs"] = {inner};
  std::vector<std::wstring> asked;
  f.List().OpenArcTree = [&](const std::wstring& file) -> std::unique_ptr<TArcFolderSource> {
    asked.push_back(file);
    if (file.size() > 4 && file.substr(file.size() - 4) == L".zip") return std::make_unique<TStandInArcTree>(arc);
    return nullptr;
  };
  int opened = -1;
  f.List().OnOpenFile = [&](TMFList&, int index) {
    opened = index;
    return true;
  };
  f.Box().SetItemIndex(f.Index(L"a.txt"));
  f.Key(VK_RETURN);
  EXPECT_EQ(opened, f.Index(L"a.txt"));  // no archive: the file is handed on
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(SameTextI(asked[0], f.Work + L"\\a.txt"));
  f.Box().SetItemIndex(f.Index(L"pack.zip"));
  f.Key(VK_RETURN);
  ASSERT_TRUE(f.List().InArchive);
  EXPECT_EQ(f.List().ArcFileName, L"pack.zip");
  EXPECT_EQ(f.List().Count(), 3);  // "..", Docs, readme.txt
  f.Box().SetItemIndex(f.Index(L"Docs"));
  f.Key(VK_RETURN);
  EXPECT_EQ(f.List().ArcPath, L"Docs");
  EXPECT_EQ(f.List().ItemName(1), L"inner.doc");
  EXPECT_NE(f.Win->PathLine().Path().find(L"pack.zip\\Docs"), std::wstring::npos);
  f.Key(VK_BACK);
  EXPECT_EQ(f.List().ArcPath, L"");
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"Docs");
  f.Key(VK_BACK);
  EXPECT_FALSE(f.List().InArchive);
  EXPECT_EQ(f.List().ArcTree, nullptr);
  EXPECT_EQ(f.List().ItemName(f.Box().ItemIndex()), L"pack.zip");
}

TEST(FileBox, HeaderSectionsSortAndSizeTheColumns) {
  TPanelFixture f;
  THanHeaderControl& h = f.Win->Header();
  ASSERT_TRUE(h.Visible());
  ASSERT_EQ(h.SectionCount(), 6);
  EXPECT_EQ(h.Sections(0).Text, L"이름");
  EXPECT_EQ(h.Sections(2).Text, L"크기");
  // The sections stand over their columns.
  EXPECT_EQ(h.SectionRect(2).left, f.Box().GetColumnX(THanFileBox::colSize));
  auto click = [&](int section) {
    RECT r = h.SectionRect(section);
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(h.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(h.Handle(), WM_LBUTTONUP, 0, at);
  };
  click(2);
  EXPECT_EQ(f.List().SortKey, skSize);
  EXPECT_TRUE(f.List().Ascending());
  click(2);
  EXPECT_EQ(f.List().SortKey, skSize);
  EXPECT_FALSE(f.List().Ascending());
  EXPECT_EQ(f.List().ItemName(f.List().FolderCount), L"a.txt");  // the largest file first
  // A section dragged wider widens its column and is stored for the panel.
  h.FullDragQuery = [] { return true; };
  const int x0 = h.SectionRect(1).right - 1, y = (h.SectionRect(1).top + h.SectionRect(1).bottom) / 2;
  SendMessageW(h.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0, y));
  SendMessageW(h.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x0 + 15, y));
  SendMessageW(h.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x0 + 30, y));
  SendMessageW(h.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x0 + 30, y));
  EXPECT_EQ(f.Box().GetColumnWidth(THanFileBox::colExt), 70);
  EXPECT_EQ(Options.PanelOptions(1).ExtWidth, 70);
  // Page columns have no header.
  f.Box().SetDisplayMode(3);
  EXPECT_FALSE(h.Visible());
  f.Box().SetDisplayMode(1);
  EXPECT_TRUE(h.Visible());
}
