// The column header in a real form: dividers dragged with mouse messages (the first section
// locked, width limits in both drag modes), double clicks, capture loss, sections rebuilt
// during a drag, and the sections it paints.
#include <gtest/gtest.h>

#include "common/WinCapture.h"
#include "foundation/MHeader.h"
#include "framework/Forms.h"

namespace {
struct HeaderFixture {
  TForm Form{nullptr};
  THanHeaderControl* Header;
  bool Full = true;
  int Clicks = 0, LastClick = -1, DividerDbl = -1, EndTracks = 0, LastEnd = -1;
  std::vector<int> TrackWidths;
  HeaderFixture() {
    Form.SetBounds(30, 30, 500, 120);
    Header = new THanHeaderControl(&Form);
    Header->FullDragQuery = [this] { return Full; };
    Header->SetBounds(0, 0, 460, 22);
    for (int i = 0; i < 3; ++i) {
      THeaderSection s;
      s.Text = L"";
      s.Width = 100;
      s.MinWidth = 20;
      s.MaxWidth = 150;
      s.OwnerDraw = true;
      Header->AddSection(s);
    }
    Header->OnSectionClick = [this](TMHeaderControl*, int i) { ++Clicks, LastClick = i; };
    Header->OnDividerDblClick = [this](THanHeaderControl*, int i) { DividerDbl = i; };
    Header->OnEndTrack = [this](THanHeaderControl*, int i) { ++EndTracks, LastEnd = i; };
    Header->OnTrackMove = [this](THanHeaderControl*, int, int state, int w) {
      EXPECT_EQ(state, 1);
      TrackWidths.push_back(w);
    };
    Header->SetParent(&Form);
    Form.Show();
  }
  HWND Wnd() const { return Header->Handle(); }
  int Width(int i) const {
    RECT r = Header->SectionRect(i);
    return r.right - r.left;
  }
  // The divider after section i.
  int DividerX(int i) const { return Header->SectionRect(i).right - 1; }
  void Drag(int x0, int x1) {
    SendMessageW(Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0, 8));
    SendMessageW(Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM((x0 + x1) / 2, 8));
    SendMessageW(Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x1, 8));
    SendMessageW(Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(x1, 8));
  }
};
}  // namespace

TEST(HeaderControl, DividersMoveWithinLimitsInBothDragModes) {
  for (bool full : {true, false}) {
    SCOPED_TRACE(full ? "full-window drag" : "outline drag");
    HeaderFixture f;
    f.Full = full;
    // Outline dragging is a style of the window, chosen when it is made.
    f.Header->SetParent(nullptr);
    f.Header->SetParent(&f.Form);
    ASSERT_EQ(f.Width(1), 100);
    f.Drag(f.DividerX(1), f.DividerX(1) + 30);
    EXPECT_EQ(f.Width(1), 130);
    EXPECT_EQ(f.Header->Sections(1).Width, 130);
    EXPECT_EQ(f.EndTracks, 1);
    EXPECT_EQ(f.LastEnd, 1);
    EXPECT_EQ(f.Header->TrackSection, -1);
    EXPECT_FALSE(f.Header->TrackAllowed);
    // Past the maximum the width stops at it; below the minimum at that.
    f.TrackWidths.clear();
    f.Drag(f.DividerX(1), f.DividerX(1) + 200);
    EXPECT_EQ(f.Width(1), 150);
    f.Drag(f.DividerX(2), f.DividerX(2) - 300);
    EXPECT_EQ(f.Width(2), 20);
    if (full) {
      EXPECT_TRUE(f.TrackWidths.empty());
    } else {
      // The owner follows the drag with the proposed widths, kept within the limits.
      ASSERT_FALSE(f.TrackWidths.empty());
      for (int w : f.TrackWidths) {
        EXPECT_GE(w, 20);
        EXPECT_LE(w, 150);
      }
      EXPECT_EQ(f.TrackWidths.back(), 20);
    }
    EXPECT_EQ(f.Clicks, 0);
  }
}

TEST(HeaderControl, LockedFirstSectionKeepsItsWidth) {
  HeaderFixture f;
  f.Header->FirstSectionLocked = true;
  f.Drag(f.DividerX(0), f.DividerX(0) + 40);
  EXPECT_EQ(f.Width(0), 100);
  EXPECT_EQ(f.Header->Sections(0).Width, 100);
  f.Drag(f.DividerX(1), f.DividerX(1) + 40);
  EXPECT_EQ(f.Width(1), 140);
  f.Header->FirstSectionLocked = false;
  f.Drag(f.DividerX(0), f.DividerX(0) + 40);
  EXPECT_EQ(f.Width(0), 140);
}

TEST(HeaderControl, DoubleClicks) {
  HeaderFixture f;
  // On a section: the click action runs once.
  SendMessageW(f.Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 8));
  SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
  SendMessageW(f.Wnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(150, 8));
  SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(150, 8));
  EXPECT_EQ(f.Clicks, 1);
  EXPECT_EQ(f.LastClick, 1);
  EXPECT_EQ(f.DividerDbl, -1);
  // On a divider: reported with its section, and no click.
  SendMessageW(f.Wnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(f.DividerX(1), 8));
  SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(f.DividerX(1), 8));
  EXPECT_EQ(f.DividerDbl, 1);
  EXPECT_EQ(f.Clicks, 1);
}

TEST(HeaderControl, TrackingEndsCleanly) {
  HeaderFixture f;
  // A begin-track notice for a section that does not exist changes nothing.
  NMHEADERW nm{};
  nm.hdr.hwndFrom = f.Wnd();
  nm.hdr.code = HDN_BEGINTRACKW;
  nm.iItem = 7;
  SendMessageW(f.Form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
  EXPECT_EQ(f.Header->TrackSection, -1);
  EXPECT_FALSE(f.Header->TrackAllowed);

  // Another window takes the mouse during a drag: tracking ends and the owner hears of it.
  SendMessageW(f.Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(f.DividerX(1), 8));
  ASSERT_EQ(f.Header->TrackSection, 1);
  EXPECT_EQ(f.Header->TrackStartWidth, 100);
  EXPECT_EQ(f.Header->TrackStartPoint.x, f.DividerX(1));
  SetCapture(f.Form.Handle());
  EXPECT_EQ(f.Header->TrackSection, -1);
  EXPECT_EQ(f.EndTracks, 1);
  EXPECT_EQ(f.LastEnd, 1);
  ReleaseCapture();
  SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(f.DividerX(1), 8));
  EXPECT_EQ(f.EndTracks, 1);

  // The sections are rebuilt during a drag of the last one: the index no longer names a
  // section, so the drag goes on without a tracked section and no end is reported for it.
  SendMessageW(f.Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(f.DividerX(2), 8));
  ASSERT_EQ(f.Header->TrackSection, 2);
  THeaderSection s;
  s.Width = 80;
  f.Header->SetSections({s, s});
  EXPECT_EQ(f.Header->TrackSection, -1);
  SendMessageW(f.Wnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, 8));
  SendMessageW(f.Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(300, 8));
  EXPECT_EQ(f.EndTracks, 1);
  EXPECT_EQ(f.Header->SectionCount(), 2);
  EXPECT_EQ(f.Width(0), 80);
}

TEST(HeaderControl, DrawsCaptionsAndSortTriangles) {
  HeaderFixture f;
  f.Header->SetSectionText(2, L"MMM");
  f.Header->OnDrawSection = [&](TMHeaderControl*, TCanvas& canvas, int i, const RECT& r, bool pressed) {
    canvas.BrushColor = clWhite;
    f.Header->DrawSection(canvas, i, r, i == 1, i != 2, pressed ? 1 : 0);
  };
  TCapture shot(f.Wnd());
  auto ink = [](COLORREF c) { return GetRValue(c) < 100 && GetGValue(c) < 100 && GetBValue(c) < 100; };
  auto rowInk = [&](int section, int y) {
    RECT r = f.Header->SectionRect(section);
    return shot.Count(RECT{r.left, y, r.left + 14, y + 1}, ink);
  };
  auto arrowRows = [&](int section) {
    std::vector<int> rows;
    for (int y = 0; y < shot.Height(); ++y)
      if (int n = rowInk(section, y)) rows.push_back(n);
    return rows;
  };
  // Section 0: descending, pointing down (widest row first); section 1 ascending.
  EXPECT_EQ(arrowRows(0), (std::vector<int>{7, 5, 3, 1}));
  EXPECT_EQ(arrowRows(1), (std::vector<int>{1, 3, 5, 7}));
  // Section 2: no triangle, the caption drawn after the indent.
  RECT r2 = f.Header->SectionRect(2);
  EXPECT_EQ(shot.Count(RECT{r2.left, 0, r2.left + 8, shot.Height()}, ink), 0);
  EXPECT_GT(shot.Count(RECT{r2.left + 8, 0, r2.left + 60, shot.Height()}, [](COLORREF c) { return c != RGB(255, 255, 255); }), 20);
}

namespace {
// What the window shows on the screen after a paint of its own.
std::vector<COLORREF> ScreenPixels(HWND wnd, int& w, int& h) {
  RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  RECT r{};
  GetClientRect(wnd, &r);
  w = r.right, h = r.bottom;
  HDC dc = GetDC(wnd);
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, dc, 0, 0, SRCCOPY);
  std::vector<COLORREF> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back(GetPixel(mem, x, y) & 0xFFFFFF);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(wnd, dc);
  return px;
}
}  // namespace

TEST(HeaderControl, PaintsWhatTheControlDrawsAndChangesOnlyNewWidths) {
  HeaderFixture f;
  f.Header->SetSectionText(1, L"가나");
  int drawn = 0;
  f.Header->OnDrawSection = [&](TMHeaderControl*, TCanvas& canvas, int i, const RECT& r, bool pressed) {
    ++drawn;
    canvas.BrushColor = i == 1 ? RGB(200, 230, 255) : clWhite;
    f.Header->DrawSection(canvas, i, r, true, i == 0, pressed ? 1 : 0);
  };
  // The header paints on the screen, pixel for pixel, what the control draws when it asks the
  // owner for every section (a print of the window), the room past the last section included.
  auto check = [&] {
    int w = 0, h = 0;
    std::vector<COLORREF> screen = ScreenPixels(f.Wnd(), w, h);
    TCapture printed(f.Wnd());
    ASSERT_EQ(printed.Width(), w);
    int differ = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) differ += screen[static_cast<size_t>(y) * w + x] != printed.Pixel(x, y);
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(screen[static_cast<size_t>(h / 2) * w + 150], RGB(200, 230, 255));
  };
  check();
  EXPECT_GT(drawn, 0);

  // The same sections again: nothing to change; other widths are changed in place.
  std::vector<THeaderSection> same;
  for (int i = 0; i < f.Header->SectionCount(); ++i) same.push_back(f.Header->Sections(i));
  EXPECT_FALSE(f.Header->SetSections(same));
  same[0].Width = 60;
  same[2].Width = 1000;  // past its maximum
  EXPECT_TRUE(f.Header->SetSections(same));
  EXPECT_EQ(SendMessageW(f.Wnd(), HDM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(f.Width(0), 60);
  EXPECT_EQ(f.Width(2), 150);
  EXPECT_EQ(f.Header->SectionRect(1).left, 60);
  EXPECT_EQ(f.Header->Sections(1).Text, L"가나");
  check();
}
