// Screen, keyboard, window placement and key moves, line drawing, image lists built from the
// program's bitmaps and the shell's icons, and menus, on real windows under Wine.
#include <gtest/gtest.h>

#include <vector>

#include "ShellTestUtil.h"
#include <commctrl.h>
#include <shellapi.h>
#include "foundation/MYTOOL.h"

namespace {
struct TWindow {
  HWND H;
  explicit TWindow(DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, int x = 300, int y = 300, int w = 200, int h = 100) {
    H = CreateWindowExW(0, L"STATIC", L"velmo", style, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
  }
  ~TWindow() { DestroyWindow(H); }
  RECT Rect() const {
    RECT r;
    GetWindowRect(H, &r);
    return r;
  }
};

RECT WorkArea(HWND w) {
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  GetMonitorInfoW(MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST), &mi);
  return mi.rcWork;
}

// A 32-bit top-down drawing surface.
struct TSurface {
  int W, H;
  uint32_t* Bits = nullptr;
  HBITMAP Bmp;
  HDC Dc;
  HGDIOBJ Old;
  TSurface(int w, int h, COLORREF fill) : W(w), H(h) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* p = nullptr;
    Bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    Bits = static_cast<uint32_t*>(p);
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bmp);
    HBRUSH b = CreateSolidBrush(fill);
    RECT r{0, 0, w, h};
    FillRect(Dc, &r, b);
    DeleteObject(b);
  }
  ~TSurface() {
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DeleteObject(Bmp);
  }
  COLORREF At(int x, int y) {
    GdiFlush();
    uint32_t v = Bits[y * W + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
};

std::vector<uint32_t> Pixels(HBITMAP bmp, int& w, int& h) {
  BITMAP bm{};
  GetObjectW(bmp, sizeof bm, &bm);
  w = bm.bmWidth;
  h = bm.bmHeight;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  return px;
}

HBITMAP LoadRes(const wchar_t* name) {
  return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

std::vector<COLORREF> Drawn(HIMAGELIST il, int index, int size, COLORREF back) {
  TSurface s(size, size, back);
  ImageList_Draw(il, index, s.Dc, 0, 0, ILD_NORMAL);
  std::vector<COLORREF> out;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) out.push_back(s.At(x, y));
  return out;
}
}  // namespace

TEST(Screen, DepthShiftStateAndInputMode) {
  int depth = GetScreenColorDepth();
  EXPECT_TRUE(depth == 8 || depth == 16 || depth == 24 || depth == 32) << depth;
  EXPECT_EQ(GetDesktopHandle(), GetDesktopWindow());

  BYTE saved[256], keys[256] = {};
  GetKeyboardState(saved);
  const struct {
    std::vector<int> down;
    TShiftState state;
  } cases[] = {
      {{}, 0},
      {{VK_SHIFT}, ssShift},
      {{VK_MENU}, ssAlt},
      {{VK_CONTROL, VK_SHIFT}, ssCtrl | ssShift},
      {{VK_LBUTTON}, ssLeft},
      {{VK_RBUTTON, VK_MENU}, ssRight | ssAlt},
      {{VK_MBUTTON}, ssMiddle},
  };
  for (const auto& c : cases) {
    std::fill(std::begin(keys), std::end(keys), 0);
    for (int vk : c.down) keys[vk] = 0x80;
    SetKeyboardState(keys);
    EXPECT_EQ(GetCurrentShiftState(), c.state);
  }
  SetKeyboardState(saved);

  TWindow w;
  SetHangulMode(true, w.H);
  EXPECT_TRUE(IsHangulMode(w.H));  // the test system is Korean
  SetHangulMode(false, w.H);
  EXPECT_FALSE(IsHangulMode(w.H));

  TWindow scrolled(WS_OVERLAPPEDWINDOW | WS_VSCROLL);
  EXPECT_TRUE(HasScrollBar(scrolled.H, 1));
  EXPECT_FALSE(HasScrollBar(scrolled.H, 0));
  EXPECT_FALSE(HasScrollBar(w.H, 1));
}

TEST(Windows, PlacementRoundTrip) {
  TWindow a(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 120, 300, 200);
  TIniRect r;
  EXPECT_FALSE(SaveWindowPlacement(a.H, r));
  EXPECT_EQ(r, MakeIniRect(100, 120, 300, 200, false));
  ShowWindow(a.H, SW_MAXIMIZE);
  EXPECT_TRUE(SaveWindowPlacement(a.H, r));
  EXPECT_EQ(r, MakeIniRect(100, 120, 300, 200, true));  // the normal place is kept

  TWindow b(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 50, 50);
  RestoreWindowPlacement(b.H, MakeIniRect(140, 150, 320, 210, false));
  RECT got = b.Rect();
  EXPECT_EQ(got.left, 140);
  EXPECT_EQ(got.top, 150);
  EXPECT_EQ(got.right - got.left, 320);
  EXPECT_EQ(got.bottom - got.top, 210);
  RestoreWindowPlacement(b.H, MakeIniRect(140, 150, 320, 210, true));
  EXPECT_TRUE(IsZoomed(b.H));
  ShowWindow(b.H, SW_RESTORE);
  got = b.Rect();
  EXPECT_EQ(got.left, 140);
  EXPECT_EQ(got.right - got.left, 320);
}

TEST(Windows, MoveByKeypad) {
  TWindow probe;
  RECT wa = WorkArea(probe.H);
  const int x = 300, y = 300, w = 200, h = 100;
  const struct {
    int scan, x, y;
  } cases[] = {
      {71, wa.left, y},      {79, wa.right - w, y},  {73, x, wa.top},  {81, x, wa.bottom - h},
      {72, x, y - 50},       {80, x, y + 50},        {75, x - 50, y},  {77, x + 50, y},
      {76, wa.left + (wa.right - wa.left - w) / 2, wa.top + (wa.bottom - wa.top - h) / 2},
      {30, x, y},  // not a keypad key
  };
  for (const auto& c : cases) {
    SetWindowPos(probe.H, nullptr, x, y, w, h, SWP_NOZORDER);
    MoveWindowByKey(probe.H, c.scan);
    RECT r = probe.Rect();
    EXPECT_EQ(r.left, c.x) << c.scan;
    EXPECT_EQ(r.top, c.y) << c.scan;
    EXPECT_EQ(r.right - r.left, w) << c.scan;
  }
  // Arrows stop at the edges.
  SetWindowPos(probe.H, nullptr, wa.left + 10, wa.bottom - h - 10, w, h, SWP_NOZORDER);
  MoveWindowByKey(probe.H, 75);
  MoveWindowByKey(probe.H, 80);
  RECT r = probe.Rect();
  EXPECT_EQ(r.left, wa.left);
  EXPECT_EQ(r.bottom, wa.bottom);
  // A maximised window stays.
  ShowWindow(probe.H, SW_MAXIMIZE);
  RECT before = probe.Rect();
  MoveWindowByKey(probe.H, 77);
  RECT after = probe.Rect();
  EXPECT_EQ(after.left, before.left);
  EXPECT_TRUE(IsZoomed(probe.H));
}

TEST(Windows, SizeByKeypad) {
  TWindow probe;
  RECT wa = WorkArea(probe.H);
  const int x = 300, y = 300, w = 200, h = 100;
  const int waW = wa.right - wa.left, waH = wa.bottom - wa.top;
  const struct {
    int scan, x, y, w, h;
  } cases[] = {
      {80, x, y, w, h + 15},      {72, x, y, w, h - 15},      {77, x, y, w + 15, h},
      {75, x, y, w - 15, h},      {79, wa.left, y, waW, h},   {81, x, wa.top, w, waH},
  };
  for (const auto& c : cases) {
    SetWindowPos(probe.H, nullptr, x, y, w, h, SWP_NOZORDER);
    SizeWindowByKey(probe.H, c.scan);
    RECT r = probe.Rect();
    EXPECT_EQ(r.left, c.x) << c.scan;
    EXPECT_EQ(r.top, c.y) << c.scan;
    EXPECT_EQ(r.right - r.left, c.w) << c.scan;
    EXPECT_EQ(r.bottom - r.top, c.h) << c.scan;
  }
  // Home and PgUp shrink to the smallest the system allows.
  SetWindowPos(probe.H, nullptr, x, y, w, h, SWP_NOZORDER);
  SizeWindowByKey(probe.H, 71);
  SizeWindowByKey(probe.H, 73);
  RECT r = probe.Rect();
  EXPECT_LT(r.right - r.left, w);
  EXPECT_LT(r.bottom - r.top, h);
  // Growing at the right edge moves the window back inside.
  SetWindowPos(probe.H, nullptr, wa.right - w, y, w, h, SWP_NOZORDER);
  SizeWindowByKey(probe.H, 77);
  r = probe.Rect();
  EXPECT_EQ(r.right, wa.right);
  EXPECT_EQ(r.right - r.left, w + 15);
  // The middle key toggles; a maximised window ignores the others.
  SizeWindowByKey(probe.H, 76);
  EXPECT_TRUE(IsZoomed(probe.H));
  SizeWindowByKey(probe.H, 75);
  EXPECT_TRUE(IsZoomed(probe.H));
  SizeWindowByKey(probe.H, 76);
  EXPECT_FALSE(IsZoomed(probe.H));
}

TEST(Drawing, LinesIncludeBothEnds) {
  TSurface s(20, 20, RGB(255, 255, 255));
  HGDIOBJ old = SelectObject(s.Dc, GetStockObject(BLACK_PEN));
  DrawHLine(s.Dc, 2, 5, 8);
  DrawHLine(s.Dc, 8, 7, 2);  // drawn backwards
  DrawVLine(s.Dc, 12, 3, 9);
  DrawVLine(s.Dc, 15, 9, 3);
  SelectObject(s.Dc, old);
  const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);
  for (int row : {5, 7}) {
    for (int x = 2; x <= 8; ++x) EXPECT_EQ(s.At(x, row), black) << x << "," << row;
    EXPECT_EQ(s.At(1, row), white);
    EXPECT_EQ(s.At(9, row), white);
  }
  for (int col : {12, 15}) {
    for (int y = 3; y <= 9; ++y) EXPECT_EQ(s.At(col, y), black) << col << "," << y;
    EXPECT_EQ(s.At(col, 2), white);
    EXPECT_EQ(s.At(col, 10), white);
  }
}

TEST(Images, BitmapResourcesMaskedByTheirCorner) {
  HIMAGELIST il = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 4);
  EXPECT_EQ(AddBitmapResToImageList(il, L"MCD_NEWFOLD16"), 0);
  EXPECT_EQ(AddBitmapResToImageList(il, L"MAIN_QCD16"), 1);
  EXPECT_EQ(AddBitmapResToImageList(il, L"NO_SUCH_BITMAP"), -1);
  EXPECT_EQ(AddBitmapResToImageList(nullptr, L"MAIN_QCD16"), -1);
  const COLORREF green = RGB(0, 255, 0);
  std::vector<COLORREF> px = Drawn(il, 0, 16, green);
  EXPECT_EQ(px[15 * 16 + 15], green);  // the key colour shows through
  EXPECT_EQ(px[0], green);
  EXPECT_EQ(px[10 * 16 + 4], RGB(240, 200, 60));  // the folder itself

  // The names the message boxes and tool bars ask for are all there.
  for (const wchar_t* name : {L"DLG_Remove", L"MCD_RENAME", L"MCD_NEWFOLD", L"MAIN_QCD", L"MCD_SIZE", L"M_MOVEUP",
                              L"M_MOVEDOWN", L"MAIN_CHDRV16", L"MAIN_TIME16", L"MAIN_CHECK16", L"PIF16", L"SCR16"}) {
    HBITMAP b = LoadRes(name);
    EXPECT_NE(b, nullptr) << name;
    if (b) DeleteObject(b);
  }

  // Grey copies: each pixel (3 red + 4 green + blue) / 8.
  HBITMAP src = LoadRes(L"MCD_SIZE16");
  ASSERT_NE(src, nullptr);
  HBITMAP grey = GrayBitmap(src);
  ASSERT_NE(grey, nullptr);
  int w, h, gw, gh;
  std::vector<uint32_t> a = Pixels(src, w, h), g = Pixels(grey, gw, gh);
  ASSERT_EQ(w, gw);
  ASSERT_EQ(h, gh);
  for (size_t i = 0; i < a.size(); ++i) {
    uint32_t r = (a[i] >> 16) & 0xFF, gg = (a[i] >> 8) & 0xFF, b = a[i] & 0xFF;
    uint32_t want = (3 * r + 4 * gg + b) / 8;
    ASSERT_EQ(g[i] & 0xFFFFFF, want | want << 8 | want << 16) << i;
  }
  DeleteObject(grey);

  // The disabled list: grey images, masked, rebuilt in place on a second call.
  TImageListHandle disabled;
  MakeDisabledImageList(il, disabled, 16, 16);
  ASSERT_NE(disabled.get(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(disabled.get()), 2);
  MakeDisabledImageList(il, disabled, 16, 16);
  EXPECT_EQ(ImageList_GetImageCount(disabled.get()), 2);
  std::vector<COLORREF> d = Drawn(disabled.get(), 0, 16, green);
  EXPECT_EQ(d[15 * 16 + 15], green);
  COLORREF body = d[10 * 16 + 4];
  EXPECT_EQ(GetRValue(body), GetGValue(body));
  EXPECT_EQ(GetGValue(body), GetBValue(body));
  EXPECT_EQ(GetRValue(body), (3 * 240 + 4 * 200 + 60) / 8);
  DeleteObject(src);
  ImageList_Destroy(il);
}

TEST(Images, ShellIconsHonourTheOverrides) {
  HIMAGELIST il = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4);
  int folderIcon = AddFolderIconToImageList(il, false);
  int openIcon = AddShellIconToImageList(il, 4, false);
  ASSERT_GE(folderIcon, 0);
  ASSERT_GE(openIcon, 0);
  EXPECT_EQ(AddShellIconToImageList(nullptr, 3, false), -1);
  const COLORREF back = RGB(0, 128, 128);
  std::vector<COLORREF> folderPx = Drawn(il, folderIcon, 16, back), openPx = Drawn(il, openIcon, 16, back);
  ASSERT_NE(folderPx, openPx);

  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  auto setOverride = [&](const std::wstring& v) {
    RegSetValueExW(key, L"3", 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                   static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
  };
  setOverride(L"%SystemRoot%\\system32\\shell32.dll,4");
  int overridden = AddFolderIconToImageList(il, false);
  EXPECT_EQ(Drawn(il, overridden, 16, back), openPx);
  setOverride(L"C:\\no\\such\\icons.dll,2");  // a broken override falls back to the library
  int fallback = AddFolderIconToImageList(il, false);
  EXPECT_EQ(Drawn(il, fallback, 16, back), folderPx);
  RegDeleteValueW(key, L"3");
  RegCloseKey(key);

  HIMAGELIST large = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1);
  EXPECT_GE(AddFolderIconToImageList(large, true), 0);
  ImageList_Destroy(large);
  ImageList_Destroy(il);
}

TEST(Images, ShellIconsAreThoseTheSystemExtracts) {
  // The library's icons by number (a negative number names the icon group itself), one of
  // them taken from elsewhere by the system's setting and one whose setting cannot be read.
  const std::vector<int> numbers{0, 2, 3, 28, 29, 4, 44};
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  auto setOverride = [&](const wchar_t* name, const std::wstring& v) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                   static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
  };
  setOverride(L"2", L"%SystemRoot%\\system32\\shell32.dll,4");
  setOverride(L"44", L"C:\\no\\such\\icons.dll,1");
  std::vector<TIconHandle> icons = ExtractShellIcons(numbers, false);
  HIMAGELIST single = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8);
  for (int n : numbers) ASSERT_GE(AddShellIconToImageList(single, n, false), 0) << n;
  RegDeleteValueW(key, L"2");
  RegDeleteValueW(key, L"44");
  RegCloseKey(key);
  // What the system's own extraction gives for each (2 is the library's 4).
  HIMAGELIST system = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8);
  HIMAGELIST together = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8);
  ASSERT_EQ(icons.size(), numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    HICON own = nullptr;
    ASSERT_EQ(ExtractIconExW(L"shell32.dll", numbers[i] == 2 ? 4 : numbers[i], nullptr, &own, 1), 1u) << numbers[i];
    ImageList_AddIcon(system, own);
    DestroyIcon(own);
    ASSERT_TRUE(icons[i]) << numbers[i];
    ImageList_AddIcon(together, icons[i].get());
  }
  const COLORREF back = RGB(0, 128, 128);
  for (size_t i = 0; i < numbers.size(); ++i) {
    const std::vector<COLORREF> want = Drawn(system, static_cast<int>(i), 16, back);
    EXPECT_EQ(Drawn(together, static_cast<int>(i), 16, back), want) << numbers[i];
    EXPECT_EQ(Drawn(single, static_cast<int>(i), 16, back), want) << numbers[i];
  }
  EXPECT_NE(Drawn(together, 0, 16, back), Drawn(together, 2, 16, back));
  // A group that is not there gives no icon.
  std::vector<TIconHandle> none = ExtractShellIcons({-99999}, false);
  EXPECT_FALSE(none[0]);
  ImageList_Destroy(single);
  ImageList_Destroy(system);
  ImageList_Destroy(together);
}

TEST(Images, FormIconFromBitmap) {
  TWindow w;
  EXPECT_TRUE(SetFormIconFromBitmapRes(w.H, L"MAIN_QCD16"));
  HICON first = reinterpret_cast<HICON>(SendMessageW(w.H, WM_GETICON, ICON_SMALL, 0));
  EXPECT_NE(first, nullptr);
  EXPECT_TRUE(SetFormIconFromBitmapRes(w.H, L"MAIN_TIME16"));
  HICON second = reinterpret_cast<HICON>(SendMessageW(w.H, WM_GETICON, ICON_BIG, 0));
  EXPECT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_FALSE(SetFormIconFromBitmapRes(w.H, L"NO_SUCH_BITMAP"));
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w.H, WM_GETICON, ICON_BIG, 0)), second);
}

TEST(Menus, ItemsShortCutsAndClicks) {
  const struct {
    TShortCut sc;
    const wchar_t* text;
  } keys[] = {
      {0, L""},
      {VK_F5, L"F5"},
      {static_cast<TShortCut>(scShift | scCtrl | VK_F5), L"Shift+Ctrl+F5"},
      {static_cast<TShortCut>(scAlt | 'X'), L"Alt+X"},
      {VK_DELETE, L"Del"},
      {static_cast<TShortCut>(scCtrl | VK_RETURN), L"Ctrl+Enter"},
  };
  for (const auto& k : keys) EXPECT_EQ(ShortCutToText(k.sc), k.text) << k.sc;

  auto item = NewMenuItem(L"이름 바꾸기", VK_F2, 7, nullptr, 5, 11);
  EXPECT_EQ(item->Caption, L"이름 바꾸기");
  EXPECT_EQ(item->Tag, 7);
  EXPECT_EQ(item->ImageIndex, 5);
  EXPECT_EQ(item->HelpCtx, 11);
  EXPECT_FALSE(item->Checked);
  EXPECT_TRUE(item->Enabled);
  EXPECT_FALSE(item->RadioItem);
  EXPECT_FALSE(item->AutoHotkeys);
  auto sep = NewSeparatorItem();
  EXPECT_EQ(sep->Caption, L"-");
  EXPECT_EQ(sep->ImageIndex, -1);

  THanPopupItems menu(500);
  int clickedTag = 0;
  auto onClick = [&](TMenuItemRec& i) { clickedTag = i.Tag; };
  TMenuItemRec& open = AddPopupItem(menu, L"열기(&O)", 3, onClick, 42, static_cast<TShortCut>(scCtrl | 'O'), 0);
  menu.Add(NewSeparatorItem());
  TMenuItemRec& off = AddPopupItem(menu, L"끄기", -1, onClick, 9, 0, 0);
  menu.Add(std::move(item));
  ASSERT_EQ(GetMenuItemCount(menu.Handle()), 4);
  EXPECT_EQ(open.Command, 500u);
  EXPECT_EQ(off.Command, 502u);

  wchar_t text[64] = {};
  GetMenuStringW(menu.Handle(), 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"열기(&O)\tCtrl+O");
  MENUITEMINFOW mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
  ASSERT_TRUE(GetMenuItemInfoW(menu.Handle(), 1, TRUE, &mi));
  EXPECT_TRUE(mi.fType & MFT_SEPARATOR);
  ASSERT_TRUE(GetMenuItemInfoW(menu.Handle(), 0, TRUE, &mi));
  EXPECT_EQ(mi.wID, 500u);
  EXPECT_EQ(reinterpret_cast<TMenuItemRec*>(mi.dwItemData), &open);

  EXPECT_TRUE(menu.Click(500));
  EXPECT_EQ(clickedTag, 42);
  EXPECT_FALSE(menu.Click(501));  // the separator
  EXPECT_FALSE(menu.Click(999));
  off.Enabled = false;
  clickedTag = 0;
  EXPECT_FALSE(menu.Click(502));
  EXPECT_EQ(clickedTag, 0);
  EXPECT_FALSE(menu.Click(503));  // no click handler
}
