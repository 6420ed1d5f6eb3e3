#include "panels/HanFileBox.h"

#include <algorithm>
#include <cstdlib>

#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"
#include "panels/MIcon.h"

bool THanFileBox::FirstPaintDone = false;

namespace {
constexpr UINT WM_REDRAWSCROLLBAR = WM_APP + 60;
constexpr int kMarkWidth = 18, kMarkNarrow = 3, kIconWidth = 18;
constexpr int kFlagName = 1, kFlagRight = 2, kFlagShorten = 4, kFlagUnit = 0x10;

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

COLORREF Rgb(TColor c) { return ToColorRef(c); }

void Fill(HDC dc, const RECT& r, TColor color) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  SetBkColor(dc, Rgb(color));
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

bool Meets(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
}  // namespace

// ---- Texts ----

uint32_t DisplayModeColumns(int mode, bool showAttr) {
  using B = THanFileBox;
  switch (mode) {
    case 1: return B::cmIcon | B::cmExt | B::cmSize | B::cmDate | (showAttr ? B::cmAttr : 0) | B::cmType;
    case 2: return B::cmIcon | B::cmExt | B::cmSize | B::cmDate;
    case 3: return B::cmIcon | B::cmExt | B::cmSize;
    case 4: return B::cmIcon | B::cmExt;
    default: return B::cmIcon;
  }
}

int DisplayModePageColumns(int mode) { return mode >= 2 && mode <= 6 ? mode : 1; }

std::wstring FormatItemSize(int64_t size, int form) {
  if (size < 0) return L"";
  if (form == 1) return FormatThousands(size / 1024 + (size % 1024 ? 1 : 0)) + L"K";
  if (form == 2) {
    static const wchar_t units[] = {L'M', L'G', L'T'};
    if (size < 100000000) return FormatThousands(size);
    int64_t v = size >> 20;
    for (int u = 0; u < 3; ++u, v >>= 10)
      if (v < 100000 || u == 2) return FormatThousands(v) + units[u];
  }
  return FormatThousands(size);
}

std::wstring FormatItemDate(TDateTime t, bool year4, bool hours24) {
  int y, mo, d, h, mi, s, ms;
  if (!DecodeDateTime(t, y, mo, d, h, mi, s, ms)) return L"";
  wchar_t buf[40];
  if (year4)
    swprintf(buf, 40, L"%04d-%02d-%02d ", y, mo, d);
  else
    swprintf(buf, 40, L"%02d-%02d-%02d ", y % 100, mo, d);
  std::wstring r = buf;
  if (hours24) {
    swprintf(buf, 40, L"%02d:%02d", h, mi);
  } else {
    int h12 = h % 12 == 0 ? 12 : h % 12;
    swprintf(buf, 40, L"%02d:%02d%c", h12, mi, h < 12 ? L'a' : L'p');
  }
  return r + buf;
}

std::wstring FormatItemAttr(int32_t attr) {
  std::wstring r;
  if (attr & TFileBoxItem::AttrArchive) r += L'a';
  if (attr & TFileBoxItem::AttrReadOnly) r += L'r';
  if (attr & TFileBoxItem::AttrHidden) r += L'h';
  if (attr & TFileBoxItem::AttrSystem) r += L's';
  return r;
}

size_t FitPrefix(const std::wstring& s, int room, const std::function<int(const std::wstring&, size_t)>& width) {
  // Widths grow with the count: a binary search for the last count that fits.
  size_t lo = 0, hi = s.size();
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    if (width(s, mid) <= room)
      lo = mid;
    else
      hi = mid - 1;
  }
  if (lo > 0 && lo < s.size() && IsHighSurrogate(s[lo - 1]) && IsLowSurrogate(s[lo])) --lo;
  return lo;
}

// ---- The box ----

struct THanFileBox::TPass {
  HDC DC = nullptr;
  RECT Clip{};
  int ClientW = 0, ClientH = 0;
  int StripW = 0, EllipsisW = 0, UnitW = 0;
  std::wstring DateFormat;
  bool FullErase = false, Focused = false, LowColor = false, Multi = false, ColumnFill = false;
  bool SubGrid = true;  // sub-grid lines in the item being drawn
  std::wstring UpText, FolderText, FilesText;  // the folder size texts and the files word
  TMFList::TPaintCache Cache;
};

THanFileBox::THanFileBox(TComponent* owner, TMFList& list) : TCustomControl(owner), FList(list) {
  FWidth = 300;
  FHeight = 200;
  TabStop = true;
  FList.View = this;
  FColWidth = {kMarkWidth, kIconWidth, 160, 40, 80, 110, 40, 120};
  ApplyOptions();
}

THanFileBox::~THanFileBox() {
  if (FList.View == this) FList.View = nullptr;
}

void THanFileBox::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style |= WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
}

void THanFileBox::SetParent(TControl* parent) {
  TCustomControl::SetParent(parent);
  FontChanged();
}

void THanFileBox::FontChanged() {
  FCharWidths.clear();
  MeasureFont();
  Relayout();
}

void THanFileBox::ApplyOptions() {
  const TFileWinOptions& panel = Options.PanelOptions(FList.PanelNo);
  BackColor = Options.BackColor;
  NormalColor = Options.NormalColor;
  DescColor = Options.DescColor;
  ReadOnlyColor = Options.ReadOnlyColor;
  HiddenColor = Options.HiddenColor;
  SizeUnitColor = Options.SizeUnitColor;
  FGridColor = Options.GridColor;
  FSubGridColor = Options.SubGridColor;
  FGridLineWidth = std::clamp<int>(Options.GridLineWidth, 1, 30);
  FShowGridLine = panel.ShowGridLine;
  FSubGridLine = panel.SubGridLine;
  ShowSizeK = std::clamp<int>(Options.ShowSizeK, 0, 2);
  TypeView = FList.TypeView;
  FColWidth[colName] = panel.NameWidth;
  FColWidth[colExt] = panel.ExtWidth;
  FColWidth[colSize] = panel.SizeWidth;
  FColWidth[colDate] = panel.TimeWidth;
  FColWidth[colAttr] = panel.AttrWidth;
  FColWidth[colType] = panel.TypeWidth;
  FDisplayMode = std::clamp<int>(panel.Column, 0, 6);
  FColor = BackColor;
  Font.SetName(Options.MainFont.Name.empty() ? L"MS Sans Serif" : Options.MainFont.Name);
  Font.SetSize(Options.MainFont.Size > 0 ? Options.MainFont.Size : 9);
  Font.SetStyle(Options.MainFont.Style);
  FCharWidths.clear();
  MeasureFont();
  ChooseDisplayMode();
  Relayout();
}

// ---- Measuring ----

void THanFileBox::MeasureFont() {
  if (!FMeasureDC) FMeasureDC.reset(CreateCompatibleDC(nullptr));
  SelectObject(FMeasureDC.get(), Font.Handle());
  TEXTMETRICW tm{};
  GetTextMetricsW(FMeasureDC.get(), &tm);
  FFontHeight = tm.tmHeight > 0 ? tm.tmHeight : 13;
  FCharWidths.assign(0x10000, 0);
  FEllipsisWidth = MeasureText(L"...", 3);
}

int THanFileBox::CharWidth(wchar_t c) {
  uint16_t& w = FCharWidths[c];
  if (w == 0) {
    INT width = 0;
    if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      width = 0;  // a pair is measured as a whole by MeasureText
    } else if (!GetCharWidth32W(FMeasureDC.get(), c, c, &width)) {
      SIZE sz{};
      GetTextExtentPoint32W(FMeasureDC.get(), &c, 1, &sz);
      width = sz.cx;
    }
    w = static_cast<uint16_t>(std::clamp<INT>(width, 0, 0xFFFE) + 1);
  }
  return w - 1;
}

int THanFileBox::MeasureText(const std::wstring& s, size_t count) {
  if (FCharWidths.empty()) MeasureFont();
  int total = 0;
  for (size_t i = 0; i < count && i < s.size(); ++i) {
    wchar_t c = s[i];
    if (IsHighSurrogate(c) && i + 1 < s.size() && IsLowSurrogate(s[i + 1])) {
      SIZE sz{};
      GetTextExtentPoint32W(FMeasureDC.get(), s.data() + i, 2, &sz);
      total += sz.cx;
      ++i;
    } else {
      total += CharWidth(c);
    }
  }
  return total;
}

SIZE THanFileBox::TextExtent(const std::wstring& s) {
  SIZE sz{MeasureText(s, s.size()), FFontHeight};
  return sz;
}

// ---- Geometry ----

int THanFileBox::GetColumnPitch() const {
  return FShowGridLine && FItemWidth != 0 ? FCellWidth + FGridLineWidth : FCellWidth;
}

int THanFileBox::PageColumns() const {
  if (FItemWidth == 0) return 1;
  int pitch = std::max(1, GetColumnPitch());
  int cw = ClientWidth();
  return std::max(1, (cw + pitch - 1) / pitch);
}

int THanFileBox::VisibleCount() const {
  if (FItemWidth == 0) return FRows;
  // Only whole page columns count as in view for scrolling.
  return FRows * std::max(1, FDisplayColumns);
}

void THanFileBox::ChooseDisplayMode() {
  if (FDisplayMode != 0) {
    FActiveMode = FDisplayMode;
    return;
  }
  // Automatic: the detail layout when its columns fit or the listing fits in one page, else
  // as many page columns as leave a name room for about fourteen characters. The detail
  // layout fits when everything up to the date fits beside its scroll bar with the name
  // given up to the room the layout keeps for it (the type column may be cut at the edge).
  int cw = HandleAllocated() ? ClientWidth() : FWidth;
  const int bar = GetSystemMetrics(SM_CXVSCROLL);
  // Judged without the bar the box may show at the moment, so that the bar coming or going
  // never flips the mode.
  if (HandleAllocated() && (GetWindowLongW(FHandle, GWL_STYLE) & WS_VSCROLL)) cw += bar;
  int rows = std::max(1, (HandleAllocated() ? ClientHeight() : FHeight) / std::max(1, FItemHeight));
  const int minName = std::max(60, FEllipsisWidth * 5);
  int detail = kMarkWidth + kIconWidth + std::min(FColWidth[colName], minName);
  for (int c = colExt; c <= colDate; ++c) detail += FColWidth[c];
  if (FShowAttr) detail += FColWidth[colAttr];
  if (FList.Count() > rows) detail += bar;
  if (cw >= detail || FList.Count() <= rows) {
    FActiveMode = 1;
    return;
  }
  int best = 2;
  for (int m = 2; m <= 6; ++m) {
    int cell = cw / m;
    int others = kMarkWidth + kIconWidth;
    uint32_t mask = DisplayModeColumns(m, FShowAttr);
    if (mask & cmExt) others += FColWidth[colExt];
    if (mask & cmSize) others += FColWidth[colSize];
    if (mask & cmDate) others += FColWidth[colDate];
    if (cell - others >= FEllipsisWidth * 5) best = m;
  }
  FActiveMode = best;
}

void THanFileBox::SetDisplayMode(int mode) {
  if (mode < 0 || mode > 6) return;
  FDisplayMode = mode;
  Options.PanelOptions(FList.PanelNo).Column = mode;
  ChooseDisplayMode();
  Relayout();
  ScrollIntoView(FList.ItemIndex);
}

void THanFileBox::SetShowAttr(bool b) {
  if (FShowAttr == b) return;
  FShowAttr = b;
  Relayout();
}

void THanFileBox::UpdateColumnFill() {
  // In the detail layout with ColumnFill the name takes the room the other columns leave.
  FColumnGap = 0;
  if (!Options.ColumnFill || FItemWidth != 0) return;
  int used = 0;
  for (int c = 0; c < 8; ++c) used += FColWidth[c];
  FColumnGap = std::max(0, FCellWidth - used);
}

void THanFileBox::Relayout() {
  if (FInRelayout) return;
  FInRelayout = true;
  // Showing or hiding a scroll bar changes the client area without a size change of the
  // window itself, so the layout is made again once for the area the bar leaves.
  for (int pass = 0; pass < 2; ++pass) {
    const int cw = HandleAllocated() ? ClientWidth() : FWidth;
    const int ch = HandleAllocated() ? ClientHeight() : FHeight;
    const int iconH = FList.ShowIcons ? 16 : 0;
    FItemHeight = std::max({FFontHeight + 4, iconH + 2, 1}) + Options.PanelOptions(FList.PanelNo).ItemSpace;
    FTextY = (FItemHeight - FFontHeight) / 2;
    FIconY = (FItemHeight - 16) / 2;
    FMarkY = FIconY;
    FRows = std::max(1, ch / FItemHeight);

    const int mode = FActiveMode;
    FLayoutMode = mode;
    FDisplayColumns = DisplayModePageColumns(mode);
    FColumnMask = DisplayModeColumns(mode, FShowAttr);
    if (!FList.ShowIcons) FColumnMask &= ~cmIcon;
    FSeparateExt = (FColumnMask & cmExt) != 0;
    FColWidth[colMark] = Options.ShowCheck ? kMarkWidth : kMarkNarrow;
    FColWidth[colIcon] = (FColumnMask & cmIcon) ? kIconWidth : 0;

    std::array<int, 8> w = FColWidth;
    const uint32_t bits[8] = {0, cmIcon, 0, cmExt, cmSize, cmDate, cmAttr, cmType};
    for (int c = colIcon; c < 8; ++c)
      if (c != colName && !(FColumnMask & bits[c])) w[c] = 0;
    if (FDisplayColumns <= 1) {
      FItemWidth = 0;
      FCellWidth = std::max(1, cw);
      // A narrow panel: the name gives up room (keeping about fourteen characters) so that the
      // size and the date are not cut; the stored width stays for a wider panel.
      int upToDate = 0;
      for (int c = 0; c <= colDate; ++c) upToDate += w[c];
      const int minName = std::max(60, FEllipsisWidth * 5);
      if (upToDate > FCellWidth && w[colName] > minName)
        w[colName] = std::max(minName, w[colName] - (upToDate - FCellWidth));
    } else {
      const int strip = FShowGridLine ? FGridLineWidth : 0;
      FCellWidth = std::max(30, (cw - strip * (FDisplayColumns - 1)) / FDisplayColumns);
      FItemWidth = FCellWidth;
      int others = 0;
      for (int c = 0; c < 8; ++c)
        if (c != colName) others += w[c];
      w[colName] = std::max(20, FCellWidth - others);
    }
    int x = 0;
    for (int c = 0; c < 8; ++c) {
      FColX[c] = x;
      x += w[c];
      FRight[c] = x;
      FFits[c] = FRight[c] <= FCellWidth;
    }
    if (FItemWidth != 0) FColWidth[colName] = std::max(FColWidth[colName], 0);
    UpdateColumnFill();
    FLastTop = -1;
    FForceFull = true;
    ClampTop();
    UpdateScrollBars();
    FLayoutClient = {cw, ch};
    if (!HandleAllocated() || (ClientWidth() == cw && ClientHeight() == ch)) break;
  }
  if (HandleAllocated()) InvalidateRect(FHandle, nullptr, FALSE);
  FInRelayout = false;
  if (OnLayout) OnLayout(*this);
}

int THanFileBox::ItemSpace() const { return Options.PanelOptions(FList.PanelNo).ItemSpace; }

void THanFileBox::SetItemSpace(int space) {
  space = std::clamp(space, 0, 20);
  int32_t& stored = Options.PanelOptions(FList.PanelNo).ItemSpace;
  if (stored == space) return;
  stored = space;
  Relayout();
  ScrollIntoView(FList.ItemIndex);
}

void THanFileBox::Resized() {
  TCustomControl::Resized();
  if (FDisplayMode == 0) ChooseDisplayMode();
  Relayout();
  ScrollIntoView(FList.ItemIndex);
}

void THanFileBox::ClampTop() {
  const int count = FList.Count();
  int maxTop;
  if (FItemWidth == 0) {
    maxTop = std::max(0, count - FRows);
  } else {
    int cols = (count + FRows - 1) / FRows;
    maxTop = std::max(0, cols - std::max(1, FDisplayColumns)) * FRows;
    FTopIndex -= FTopIndex % FRows;
  }
  FTopIndex = std::clamp(FTopIndex, 0, maxTop);
}

int THanFileBox::ItemAtPos(int x, int y) const {
  if (x < 0 || y < 0) return -1;
  int row = y / FItemHeight;
  if (row >= FRows) return -1;
  int col = 0;
  if (FItemWidth != 0) {
    int pitch = std::max(1, GetColumnPitch());
    col = x / pitch;
    if (x - col * pitch >= FCellWidth) return -1;
  } else if (x >= FCellWidth) {
    return -1;
  }
  int index = FTopIndex + col * FRows + row;
  return index < FList.Count() ? index : -1;
}

RECT THanFileBox::ItemRect(int index) const {
  RECT r{0, 0, 0, 0};
  int rel = index - FTopIndex;
  if (index < 0 || rel < 0 || index >= FList.Count()) return r;
  int col = rel / FRows, row = rel % FRows;
  if (FItemWidth == 0 && col > 0) return r;
  int x = col * GetColumnPitch();
  if (HandleAllocated() && x >= ClientWidth()) return r;
  r = {x, row * FItemHeight, x + FCellWidth, (row + 1) * FItemHeight};
  return r;
}

// ---- Setters ----

void THanFileBox::SetItemWidth(int w) {
  if (w == FItemWidth) return;
  FItemWidth = w;
  if (w != 0) FCellWidth = w;
  Relayout();
}

void THanFileBox::SetItemHeight(int h) {
  h = std::max(1, h);
  if (h == FItemHeight) return;
  FItemHeight = h;
  FRows = std::max(1, (HandleAllocated() ? ClientHeight() : FHeight) / FItemHeight);
  FLastTop = -1;
  ClampTop();
  UpdateScrollBars();
  Invalidate();
}

void THanFileBox::SetItemIndex(int i) {
  if (i == FList.ItemIndex || i >= FList.Count() || i < -1) return;
  InvalidateItem(FList.ItemIndex);
  FList.ItemIndex = i;
  ScrollIntoView(i);
  UpdateScrollBars();
  InvalidateItem(i);
  DoStateChange();
}

void THanFileBox::SetMarkIndex(int i) {
  if (i == FMarkIndex || i >= FList.Count() || i < -1) return;
  InvalidateItem(FMarkIndex);
  FMarkIndex = i;
  ScrollIntoView(i);
  UpdateScrollBars();
  InvalidateItem(i);
}

void THanFileBox::SetTopIndex(int i) {
  int old = FTopIndex;
  FTopIndex = i;
  ClampTop();
  int top = FTopIndex;
  FTopIndex = old;
  ScrollTo(top);
}

void THanFileBox::SetGridLineWidth(int w) {
  if (w < 1 || w > 30 || w == FGridLineWidth) return;
  FGridLineWidth = w;
  Options.GridLineWidth = w;
  if (FShowGridLine && FItemWidth != 0) Relayout();
}

void THanFileBox::SetShowGridLine(bool b) {
  if (b == FShowGridLine) return;
  FShowGridLine = b;
  Options.PanelOptions(FList.PanelNo).ShowGridLine = b;
  if (FItemWidth != 0) Relayout();
  FLastTop = -1;
  Invalidate();
}

void THanFileBox::SetSubGridLine(bool b) {
  if (b == FSubGridLine) return;
  FSubGridLine = b;
  Options.PanelOptions(FList.PanelNo).SubGridLine = b;
  FLastTop = -1;
  GridChanged();
}

void THanFileBox::GridChanged() {
  if (!FShowGridLine) return;
  FForceFull = true;
  FLastTop = -1;
  Invalidate();
}

void THanFileBox::SetGridColor(TColor c) {
  if (c == FGridColor) return;
  FGridColor = c;
  GridChanged();
}

void THanFileBox::SetSubGridColor(TColor c) {
  if (c == FSubGridColor) return;
  FSubGridColor = c;
  GridChanged();
}

void THanFileBox::WriteWidth(int col, int w) {
  TFileWinOptions& panel = Options.PanelOptions(FList.PanelNo);
  switch (col) {
    case colName:
      // The name that fills the row is not the user's width.
      if (!(Options.ColumnFill && FItemWidth == 0)) panel.NameWidth = w;
      break;
    case colExt: panel.ExtWidth = w; break;
    case colSize: panel.SizeWidth = w; break;
    case colDate: panel.TimeWidth = w; break;
    case colAttr: panel.AttrWidth = w; break;
    case colType: panel.TypeWidth = w; break;
    default: break;
  }
}

void THanFileBox::SetColumnWidth(int col, int w) {
  col &= 0x7F;
  if (col > 7) return;
  FColWidth[static_cast<size_t>(col)] = std::max(0, w);
  WriteWidth(col, std::max(0, w));
  Relayout();
}

int THanFileBox::GetColumnWidth(int col) const {
  col &= 0x7F;
  return col > 7 ? 0 : FRight[static_cast<size_t>(col)] - FColX[static_cast<size_t>(col)];
}

void THanFileBox::SetColumnX(int col, int x) {
  col &= 0x7F;
  if (col <= 7) FColX[static_cast<size_t>(col)] = x;
}

int THanFileBox::GetColumnX(int col) const {
  col &= 0x7F;
  return col > 7 ? 0 : FColX[static_cast<size_t>(col)];
}

int THanFileBox::RightEdge(int col) const { return col >= 0 && col <= 7 ? FRight[static_cast<size_t>(col)] : 0; }
bool THanFileBox::Fits(int col) const { return col >= 0 && col <= 7 && FFits[static_cast<size_t>(col)]; }

void THanFileBox::SetSearchText(const std::wstring& s) {
  if (s == FSearchText) return;
  FSearchText = s;
  // The first half of a pair waits for the second.
  if (!s.empty() && !IsHighSurrogate(s.back())) FindNext(true);
  DoStateChange();
}

void THanFileBox::GetPopupPoint(bool atCursor, POINT& p) {
  if (atCursor) {
    if (!GetCursorPos(&p)) {
      p = {0, 0};
      p = ClientToScreen(p);
    }
    return;
  }
  RECT r = ItemRect(FList.ItemIndex);
  if (FList.ItemIndex >= 0 && r.right > r.left)
    p = {r.left + 10, r.top + 10};
  else
    p = {0, 0};
  p = ClientToScreen(p);
}

// ---- Scrolling ----

void THanFileBox::UpdateScrollBars() {
  if (!HandleAllocated() || FUpdateCount > 0 || FInScrollBars) return;
  const int count = FList.Count();
  // The bar of the layout (vertical for detail, horizontal for page columns) and the range,
  // page and position on it; the system is asked only when one of them changed, since a
  // scroll bar shown or hidden lays the whole window out again.
  std::array<int, 4> want{};
  if (FItemWidth == 0) {
    want = {SB_VERT, std::max(0, count - 1), FRows, FTopIndex};
  } else {
    int cols = (count + FRows - 1) / FRows;
    want = {SB_HORZ, std::max(0, cols - 1), std::max(1, FDisplayColumns), FTopIndex / FRows};
  }
  if (want == FScrollState) return;
  FInScrollBars = true;
  const bool barChanged = want[0] != FScrollState[0];
  FScrollState = want;
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (barChanged) {
    SCROLLINFO none = si;
    SetScrollInfo(FHandle, want[0] == SB_VERT ? SB_HORZ : SB_VERT, &none, TRUE);
  }
  si.nMax = want[1];
  si.nPage = static_cast<UINT>(want[2]);
  si.nPos = want[3];
  // The new values are in place at once; the bar itself is drawn again when the queue is
  // next idle, once for a burst of scrolls (drawing a scroll bar costs more than the rows).
  SetScrollInfo(FHandle, want[0], &si, FALSE);
  if (!FScrollRedrawPosted && PostMessageW(FHandle, WM_REDRAWSCROLLBAR, 0, 0)) FScrollRedrawPosted = true;
  FInScrollBars = false;
}

void THanFileBox::ScrollTo(int top) {
  if (top == FTopIndex) return;
  const int delta = top - FTopIndex;
  FTopIndex = top;
  if (!HandleAllocated() || FUpdateCount > 0) return;
  if (FItemWidth == 0 && std::abs(delta) < FRows) {
    // Whole rows move; only the rows uncovered are painted again.
    RECT area{0, 0, ClientWidth(), FRows * FItemHeight};
    ScrollWindowEx(FHandle, 0, -delta * FItemHeight, &area, &area, nullptr, nullptr, SW_INVALIDATE);
  } else {
    InvalidateRect(FHandle, nullptr, FALSE);
  }
  FLastTop = -1;
  UpdateScrollBars();
}

void THanFileBox::ScrollIntoView(int index) {
  if (index < 0 || index >= FList.Count()) return;
  int top = FTopIndex;
  if (FItemWidth == 0) {
    if (index < top) top = index;
    else if (index >= top + FRows) top = index - FRows + 1;
  } else {
    int pc = std::max(1, FDisplayColumns);
    int col = index / FRows, topCol = top / FRows;
    if (col < topCol) topCol = col;
    else if (col >= topCol + pc) topCol = col - pc + 1;
    top = topCol * FRows;
  }
  ScrollTo(top);
}

// ---- Update hooks ----

void THanFileBox::BeginUpdate() { ++FUpdateCount; }

void THanFileBox::EndUpdate() {
  if (FUpdateCount <= 0 || --FUpdateCount > 0) return;
  if (FActiveMode != FLayoutMode) {
    // The automatic mode was chosen again for a new listing while the box was held.
    Relayout();
    DoStateChange();
    return;
  }
  ClampTop();
  FLastTop = -1;
  FForceFull = true;
  UpdateScrollBars();
  Invalidate();
  DoStateChange();
}

void THanFileBox::ShowHourglass() {
  if (FHourglass++ == 0) FSavedCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void THanFileBox::RestoreCursor() {
  if (FHourglass > 0 && --FHourglass == 0) SetCursor(FSavedCursor ? FSavedCursor : LoadCursorW(nullptr, IDC_ARROW));
}

void THanFileBox::InvalidateItem(int index) {
  if (!HandleAllocated() || FUpdateCount > 0) return;
  RECT r = ItemRect(index);
  if (r.right > r.left) InvalidateRect(FHandle, &r, FALSE);
}

void THanFileBox::ItemsChanged(bool resetTop) {
  if (resetTop) {
    FTopIndex = 0;
    FMarkIndex = -1;
  }
  FLastTop = -1;
  FForceFull = true;
  if (FUpdateCount > 0) return;
  ClampTop();
  UpdateScrollBars();
  Invalidate();
}

void THanFileBox::SelectionChanged() { DoStateChange(); }

void THanFileBox::DoStateChange() {
  if (FUpdateCount == 0 && OnStateChange) OnStateChange(*this);
}

// ---- Painting ----

void THanFileBox::PaintItems(int index) {
  if (!HandleAllocated()) return;
  if (index >= 0) {
    InvalidateItem(index);
  } else if (FLastTop == FTopIndex && FLastTop != -1 && !FForceFull) {
    // Nothing scrolled: the old and new focus and mark are enough.
    if (FLastFocus != FList.ItemIndex) InvalidateItem(FLastFocus);
    InvalidateItem(FList.ItemIndex);
    if (FLastMark != FMarkIndex) {
      InvalidateItem(FLastMark);
      InvalidateItem(FMarkIndex);
    }
  } else {
    InvalidateRect(FHandle, nullptr, FALSE);
  }
  UpdateWindow(FHandle);
}

bool THanFileBox::EraseBackground(HDC) { return true; }

void THanFileBox::Paint(TCanvas& canvas) {
  // A print of the window (WM_PRINTCLIENT): everything, straight on the given context.
  RECT clip = ClientRect();
  SelectObject(canvas.Handle(), Font.Handle());
  PaintPass(canvas.Handle(), clip);
}

bool THanFileBox::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_PAINT:
      FPaintBuffer.Paint(FHandle, ClientWidth(), ClientHeight(), [this](HDC dc, const RECT& update) {
        SelectObject(dc, Font.Handle());
        PaintPass(dc, update);
      });
      return true;
    case WM_SIZE:
      // A scroll bar shown or hidden after the layout (a listing grew or shrank) narrows or
      // widens the client area while the window keeps its size.
      if (!FInRelayout && (LOWORD(lp) != FLayoutClient.cx || HIWORD(lp) != FLayoutClient.cy)) {
        Relayout();
        ScrollIntoView(FList.ItemIndex);
      }
      return false;
    case WM_REDRAWSCROLLBAR:
      FScrollRedrawPosted = false;
      if (FScrollState[0] >= 0) {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMax = FScrollState[1];
        si.nPage = static_cast<UINT>(FScrollState[2]);
        si.nPos = FScrollState[3];
        SetScrollInfo(FHandle, FScrollState[0], &si, TRUE);
      }
      return true;
    case WM_GETDLGCODE:
      result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTALLKEYS;
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      FHasFocus = msg == WM_SETFOCUS;
      InvalidateItem(FList.ItemIndex);
      if (msg == WM_KILLFOCUS && !FSearchText.empty()) {
        FSearchText.clear();
        DoStateChange();
      }
      if (OnFocusChange) OnFocusChange(*this, msg == WM_SETFOCUS);
      return false;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(wp);
      TShiftState shift = KeyboardShiftState();
      if (OnKeyDown) OnKeyDown(this, key, shift);
      if (key == 0 || (msg == WM_KEYDOWN && KeyDown(key, shift))) {
        // The character the same key stroke made is already queued: it is used up too.
        MSG m;
        while (PeekMessageW(&m, FHandle, WM_CHAR, WM_CHAR, PM_REMOVE)) {
        }
        return true;
      }
      return false;
    }
    case WM_KEYUP:
      if (OnKeyUp) {
        WORD key = static_cast<WORD>(wp);
        OnKeyUp(this, key, KeyboardShiftState());
      }
      return false;
    case WM_CHAR: {
      wchar_t ch = static_cast<wchar_t>(wp);
      if (OnKeyPress) OnKeyPress(this, ch);
      if (ch != 0) KeyChar(ch);
      return true;
    }
    case WM_VSCROLL:
    case WM_HSCROLL: {
      bool vert = msg == WM_VSCROLL;
      if (vert != (FItemWidth == 0)) return true;
      SCROLLINFO si{};
      si.cbSize = sizeof(si);
      si.fMask = SIF_ALL;
      GetScrollInfo(FHandle, vert ? SB_VERT : SB_HORZ, &si);
      int unit = vert ? 1 : FRows, page = vert ? FRows : FRows * std::max(1, FDisplayColumns);
      int top = FTopIndex;
      switch (LOWORD(wp)) {
        case SB_LINEUP: top -= unit; break;
        case SB_LINEDOWN: top += unit; break;
        case SB_PAGEUP: top -= page; break;
        case SB_PAGEDOWN: top += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = si.nTrackPos * unit; break;
        case SB_TOP: top = 0; break;
        case SB_BOTTOM: top = FList.Count(); break;
        default: return true;
      }
      SetTopIndex(top);
      return true;
    }
    case WM_MOUSEWHEEL: {
      int steps = -static_cast<short>(HIWORD(wp)) / WHEEL_DELTA;
      SetTopIndex(FTopIndex + steps * (FItemWidth == 0 ? 3 : FRows));
      return true;
    }
    case WM_LBUTTONDBLCLK: {
      int index = ItemAtPos(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      if (index >= 0) {
        if (index != FList.ItemIndex) SetItemIndex(index);
        OpenFocused();
      }
      DblClick();
      return true;
    }
    case WM_CONTEXTMENU: {
      POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (lp == -1) GetPopupPoint(false, p);
      if (OnContextPopup) OnContextPopup(*this, p);
      return true;
    }
    default:
      return TCustomControl::WndProc(msg, wp, lp, result);
  }
}

void THanFileBox::FillBack(TPass& pass, const RECT& r) {
  if (Meets(r, pass.Clip)) Fill(pass.DC, r, BackColor);
}

void THanFileBox::DrawStrip(TPass& pass, int x) {
  if (pass.StripW <= 0) return;
  RECT r{x + FCellWidth, 0, x + FCellWidth + pass.StripW, pass.ClientH};
  if (!Meets(r, pass.Clip)) return;
  bool blank = pass.ColumnFill && FItemWidth > 60 && r.right > pass.ClientW - FDisplayColumns;
  Fill(pass.DC, r, blank ? BackColor : FGridColor);
}

void THanFileBox::FillRest(TPass& pass, int x, int y) {
  // Below the last cell of its column, then the columns to the right.
  FillBack(pass, RECT{x, y, x + FCellWidth, pass.ClientH});
  if (pass.StripW <= 0) {
    FillBack(pass, RECT{x + FCellWidth, 0, pass.ClientW, pass.ClientH});
    return;
  }
  for (int cx = x + FCellWidth + pass.StripW; cx < pass.ClientW; cx += FCellWidth + pass.StripW) {
    FillBack(pass, RECT{cx, 0, cx + FCellWidth, pass.ClientH});
    DrawStrip(pass, cx);
  }
}

void THanFileBox::PaintPass(HDC dc, const RECT& clipIn) {
  TPass pass;
  pass.DC = dc;
  pass.ClientW = ClientWidth();
  pass.ClientH = ClientHeight();
  pass.Clip = clipIn;
  if (pass.Clip.right <= pass.Clip.left || pass.Clip.bottom <= pass.Clip.top) return;
  if (FUpdateCount > 0) {
    // The listing is being rebuilt: the background only, and a full pass when it is done.
    Fill(dc, pass.Clip, BackColor);
    return;
  }
  if (!FirstPaintDone && !Options.FullEraseBKGND) Fill(dc, ClientRect(), BackColor);
  FirstPaintDone = true;

  pass.DateFormat = std::wstring(Options.Year4D ? L"yyyy-mm-dd " : L"yy-mm-dd ") + (Options.Show24H ? L"hh:mm" : L"hh:mma/p");
  if (pass.DateFormat != FDateFormat) {
    // Dates are cached in the items in the form they were made in.
    const int n = FList.Items().FolderCount() + FList.Items().FileCount();
    if (!FDateFormat.empty())
      for (int i = 0; i < n; ++i) FList.GetItem(i)->DateText.clear();
    FDateFormat = pass.DateFormat;
  }
  pass.EllipsisW = Options.Ellipsis ? FEllipsisWidth + 2 : 0;
  pass.UpText = LoadMessageText(4001);
  pass.FolderText = LoadMessageText(4002);
  pass.FilesText = LoadMessageText(4003);
  pass.UnitW = ShowSizeK == 2 ? MeasureText(L"M", 1) + 2 : 0;
  pass.StripW = FShowGridLine && FItemWidth != 0 ? FGridLineWidth : 0;
  pass.FullErase = Options.FullEraseBKGND;
  pass.Focused = FHasFocus;
  pass.LowColor = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) <= 8;
  pass.Multi = FItemWidth != 0;
  pass.ColumnFill = Options.ColumnFill;
  SetBkMode(dc, TRANSPARENT);
  if (pass.FullErase) Fill(dc, pass.Clip, BackColor);

  const int count = FList.Count();
  if (FTopIndex >= count) {
    FillRest(pass, 0, 0);
    DrawStrip(pass, 0);
    FLastPainted = -1;
    if (count == 0 && OnAfterPaint) OnAfterPaint();
  } else {
    int x = 0, y = 0, i = FTopIndex;
    DrawStrip(pass, 0);
    bool ended = false;
    while (i < count) {
      if (y + FItemHeight > pass.ClientH && y > 0) {
        // The column is full.
        FillBack(pass, RECT{x, y, x + FCellWidth, pass.ClientH});
        if (!pass.Multi) {
          ended = true;
          break;
        }
        x += FCellWidth + pass.StripW;
        y = 0;
        if (x >= pass.ClientW) {
          ended = true;
          break;
        }
        if (pass.ColumnFill && FItemWidth > 60 && x + FCellWidth > pass.ClientW) {
          FillBack(pass, RECT{x, 0, pass.ClientW, pass.ClientH});
          ended = true;
          break;
        }
        DrawStrip(pass, x);
      }
      TFileBoxItem& item = *FList.GetItem(i);
      item.CellX = x;
      item.CellY = y;
      RECT cell{x, y, x + FCellWidth, y + FItemHeight};
      if (Meets(cell, pass.Clip)) DrawItem(pass, i, item, true);
      FLastPainted = i;
      y += FItemHeight;
      ++i;
    }
    if (!ended) FillRest(pass, x, y);
  }
  FForceFull = false;
  FLastFocus = FList.ItemIndex;
  FLastTop = FTopIndex;
  FLastMark = FMarkIndex;
}

std::wstring THanFileBox::SizeText(const TPass& pass, const TFileBoxItem& item) const {
  if (item.Kind == ikDrive) return item.Size < 0 ? L"" : FormatItemSize(item.Size, 1);
  if (item.Kind == ikFolder && item.Size < 0) {
    if (!Options.ShowFolderMsg) return L"";
    return IsParentItem(item) ? pass.UpText : pass.FolderText;
  }
  return FormatItemSize(item.Size, ShowSizeK);
}

void THanFileBox::DrawSubText(TPass& pass, const RECT& cell, int left, int right, const std::wstring& textIn,
                              int flags, TColor textColor, TColor barColor, bool opaque) {
  (void)opaque;
  if (left >= pass.ClientW || right <= left) return;
  if (pass.ColumnFill && pass.Multi && right > pass.ClientW) {
    if (pass.ClientW - left <= 34) {
      right = pass.ClientW;
      if (!(flags & (kFlagName | kFlagUnit))) {
        Fill(pass.DC, RECT{left, cell.top, right, cell.bottom}, barColor);
        return;
      }
    }
  }
  if (FShowGridLine && FSubGridLine && !(flags & (kFlagName | kFlagUnit)) && pass.SubGrid) {
    RECT line{left, cell.top, left + 1, cell.bottom};
    Fill(pass.DC, line, FSubGridColor);
    ++left;
  }
  if (textIn.empty()) return;
  const std::wstring* text = &textIn;
  std::wstring shortened;
  const int room = right - left - 2;
  if ((flags & kFlagShorten) && Options.Ellipsis) {
    // Only a text that may be too wide is measured in full.
    int width = MeasureText(textIn, textIn.size());
    if (width > room) {
      size_t n = FitPrefix(textIn, room - pass.EllipsisW - 4,
                           [this](const std::wstring& s, size_t count) { return MeasureText(s, count); });
      if (n >= 2 && n < textIn.size()) {
        shortened = textIn.substr(0, n) + L"...";
      } else {
        size_t first = textIn.size() >= 2 && IsHighSurrogate(textIn[0]) && IsLowSurrogate(textIn[1]) ? 2 : 1;
        shortened = textIn.substr(0, first) + L"...";
      }
      text = &shortened;
    }
  }
  RECT clip{left, cell.top, right, cell.bottom};
  const int y = cell.top + FTextY;
  SetTextColor(pass.DC, Rgb(textColor));
  int x;
  if (flags & kFlagRight) {
    SetTextAlign(pass.DC, TA_RIGHT | TA_TOP);
    x = (flags & kFlagUnit) ? right : right - 2;
    ExtTextOutW(pass.DC, x, y, ETO_CLIPPED, &clip, text->data(), static_cast<UINT>(text->size()), nullptr);
    SetTextAlign(pass.DC, TA_LEFT | TA_TOP);
    if (OnTextOut) OnTextOut(x - MeasureText(*text, text->size()), y, *text, Rgb(textColor));
  } else {
    x = (flags & kFlagUnit) ? left : left + 2;
    ExtTextOutW(pass.DC, x, y, ETO_CLIPPED, &clip, text->data(), static_cast<UINT>(text->size()), nullptr);
    if (OnTextOut) OnTextOut(x, y, *text, Rgb(textColor));
  }
}

void THanFileBox::DrawItem(TPass& pass, int index, TFileBoxItem& item, bool fullPass) {
  (void)fullPass;
  if (pass.ColumnFill && FCellWidth < 10) return;
  const int focus = FList.ItemIndex;
  int state = isNormal;
  if (index == FMarkIndex) state = isMark;
  if (index == focus) state = pass.Focused ? isFocusActive : isFocusInactive;

  FList.ResolveForPaint(item, pass.Cache);

  TColor textColor = item.Color, barColor = BackColor;
  const bool fillBar = Options.FillSelectBar;
  if (state == isFocusActive && fillBar) {
    barColor = pass.LowColor ? static_cast<TColor>(~Rgb(BackColor) & 0xFFFFFF) : item.Color;
    textColor = BackColor;
  }
  const bool colorsOn = Options.SelColorEnable && Options.ItemColorEnable;
  if (item.SelOrder != 0 && (colorsOn || !Options.ShowCheck)) {
    if (!(state == isFocusActive && fillBar)) textColor = Options.SelColor;
    state = isSelected;
  } else if (colorsOn && !fillBar && state == isFocusActive) {
    state = isFocusColored;
  }
  const bool focusedHere = index == focus && pass.Focused;
  pass.SubGrid = !(focusedHere && fillBar);

  const RECT cell{item.CellX, item.CellY, item.CellX + FCellWidth, item.CellY + FItemHeight};
  const int x0 = cell.left;
  Fill(pass.DC, RECT{cell.left, cell.top, std::min<int>(cell.right, pass.ClientW), cell.bottom}, barColor);

  // Mark and icon.
  if (Options.ShowCheck && item.SelOrder != 0 && SystemFileData)
    SystemFileData->Draw(pass.DC, x0 + 1, cell.top + FMarkY, SystemFileData->CheckIcon, 0);
  if ((FColumnMask & cmIcon) && SystemFileData) {
    int32_t icon = item.IconIndex;
    if (icon == -1) icon = item.Kind == ikFolder ? SystemFileData->FolderIcon : SystemFileData->FileIcon;
    SystemFileData->Draw(pass.DC, x0 + FColX[colIcon] + 1, cell.top + FIconY, icon, item.Overlay);
  }

  // Name and extension.
  std::wstring name, ext;
  if (item.Kind == ikDrive)
    name = item.Name;
  else
    FList.Items().GetDisplayParts(item, name, ext);
  const int gap = FColumnGap;
  const bool fileSeparate = item.Kind == ikFile && FSeparateExt;
  if (fileSeparate) {
    int right = x0 + FRight[colName] + gap;
    if (pass.ColumnFill && !FFits[colExt]) right = cell.right;
    DrawSubText(pass, cell, x0 + FColX[colName], right, name, kFlagName | kFlagShorten, textColor, barColor, true);
  } else {
    std::wstring full = ext.empty() ? name : name + L"." + ext;
    int right = x0 + FRight[colExt] + gap;
    if (pass.ColumnFill && !FFits[colSize]) right = cell.right;
    DrawSubText(pass, cell, x0 + FColX[colName], right, full, kFlagName | kFlagShorten, textColor, barColor, true);
  }
  if ((FColumnMask & cmExt) && fileSeparate && !(pass.ColumnFill && !FFits[colExt]))
    DrawSubText(pass, cell, x0 + FColX[colExt] + gap, x0 + FRight[colExt] + gap, ext, kFlagShorten, textColor,
                barColor, true);

  // Size.
  if (FColumnMask & cmSize) {
    TColor sizeColor = textColor;
    if (state != isSelected && state != isFocusActive) {
      if (item.Kind == ikFolder && Options.FolderSizeSameColor)
        sizeColor = item.Color;
      else if (item.Attr & (TFileBoxItem::AttrHidden | TFileBoxItem::AttrSystem))
        sizeColor = HiddenColor;
      else if (item.Attr & TFileBoxItem::AttrReadOnly)
        sizeColor = ReadOnlyColor;
      else
        sizeColor = NormalColor;
    }
    std::wstring text = SizeText(pass, item);
    const int left = x0 + FColX[colSize] + gap, right = x0 + FRight[colSize] + gap;
    if (pass.UnitW > 0 && item.Size >= 0 && item.Kind != ikDrive && !text.empty() && !iswdigit(text.back())) {
      std::wstring unit(1, text.back());
      text.pop_back();
      DrawSubText(pass, cell, left, right - pass.UnitW, text, kFlagRight, sizeColor, barColor, true);
      TColor unitColor = state == isFocusActive || state == isSelected ? sizeColor : SizeUnitColor;
      DrawSubText(pass, cell, right - pass.UnitW, right, unit, kFlagRight | kFlagUnit, unitColor, barColor, true);
    } else {
      DrawSubText(pass, cell, left, right, text, kFlagRight, sizeColor, barColor, true);
    }
  }
  if (state != isFocusActive && state != isSelected) textColor = NormalColor;

  if (FColumnMask & cmDate) {
    std::wstring text;
    if (item.Kind == ikDrive) {
      text = item.DateText;
    } else if (item.Time != 0) {
      if (item.DateText.empty()) item.DateText = FormatItemDate(item.Time, Options.Year4D, Options.Show24H);
      text = item.DateText;
    }
    DrawSubText(pass, cell, x0 + FColX[colDate] + gap, x0 + FRight[colDate] + gap, text, 0, textColor, barColor,
                true);
  }
  if (FColumnMask & cmAttr)
    DrawSubText(pass, cell, x0 + FColX[colAttr] + gap, x0 + FRight[colAttr] + gap,
                item.Kind == ikDrive ? L"" : FormatItemAttr(item.Attr), 0, textColor, barColor, true);
  if (FColumnMask & cmType) {
    int right = FItemWidth == 0 ? cell.right : x0 + FRight[colType] + gap;
    if (FItemWidth != 0 && pass.ColumnFill && !FFits[colType]) right = cell.right;
    std::wstring text;
    TColor color = textColor;
    const bool useDesc = TypeView == 1 || (TypeView == 2 && !item.Desc.empty());
    if (useDesc) {
      text = item.Desc;
      if (state != isFocusActive && state != isSelected) color = DescColor;
    } else {
      text = item.TypeName;
      if ((item.Attr & TFileBoxItem::AttrDirectory) && item.FileCount > 0)
        text += L" - " + FormatThousands(item.FileCount) + L" " + pass.FilesText;
    }
    DrawSubText(pass, cell, x0 + FColX[colType] + gap, right, text, kFlagShorten, color, barColor, true);
  }

  // Frame.
  bool frame = false;
  TColor frameColor = textColor;
  if (fillBar) {
    frame = state == isFocusInactive || state == isMark;
  } else {
    frame = (focusedHere && (state == isFocusActive || state == isSelected || state == isFocusColored)) ||
            state == isMark;
    frameColor = item.Color;
  }
  if (frame) {
    RECT r{cell.left, cell.top, std::min<int>(cell.right, pass.ClientW), cell.bottom};
    const TBrushHandle brush(CreateSolidBrush(Rgb(frameColor)));
    FrameRect(pass.DC, &r, brush.get());
  }
  if (index == focus && OnAfterPaint) OnAfterPaint();
}

// ---- Input ----

void THanFileBox::MoveFocus(int index) {
  const int count = FList.Count();
  if (count == 0) return;
  index = std::clamp(index, 0, count - 1);
  if (index == FList.ItemIndex) {
    ScrollIntoView(index);
    return;
  }
  SetItemIndex(index);
}

void THanFileBox::ToggleFocused(bool advance) {
  const int i = FList.ItemIndex;
  if (FList.Selectable(i)) {
    FList.SetSelected(i, FList.GetItem(i)->SelOrder == 0);
    InvalidateItem(i);
    DoStateChange();
  }
  if (advance && i + 1 < FList.Count()) MoveFocus(i + 1);
}

bool THanFileBox::FindNext(bool fromFocus) {
  const int count = FList.Count();
  if (FSearchText.empty() || count == 0) return false;
  const int start = std::max(0, FList.ItemIndex + (fromFocus ? 0 : 1));
  const int len = static_cast<int>(FSearchText.size());
  std::wstring name;
  for (int k = 0; k < count; ++k) {
    int i = (start + k) % count;
    const TFileBoxItem* item = FList.GetItem(i);
    if (item->Kind == ikDrive)
      name = item->Name;
    else
      FList.Items().GetDisplayName(i, name);
    if (static_cast<int>(name.size()) < len) continue;
    // A prefix that would end inside a surrogate pair is no match.
    if (static_cast<int>(name.size()) > len && IsLowSurrogate(name[static_cast<size_t>(len)])) continue;
    if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(), len, FSearchText.data(), len) ==
        CSTR_EQUAL) {
      MoveFocus(i);
      return true;
    }
  }
  return false;
}

void THanFileBox::OpenFocused() {
  if (FList.ItemIndex < 0) return;
  FSearchText.clear();
  if (!FList.OpenItem(FList.ItemIndex)) MessageBeep(MB_OK);
  DoStateChange();
}

bool THanFileBox::KeyDown(WORD key, TShiftState shift) {
  const int count = FList.Count();
  const int focus = FList.ItemIndex;
  const bool ctrl = shift & ssCtrl, alt = shift & ssAlt;
  if (alt) return false;
  const int page = std::max(1, VisibleCount() - 1);
  auto nav = [&](int target) {
    if (!FSearchText.empty()) {
      FSearchText.clear();
      DoStateChange();
    }
    MoveFocus(target);
    return true;
  };
  switch (key) {
    case VK_UP: return count ? nav(focus - 1) : true;
    case VK_DOWN: return count ? nav(focus + 1) : true;
    case VK_LEFT: return count ? nav(focus - (FItemWidth == 0 ? page : FRows)) : true;
    case VK_RIGHT: return count ? nav(focus + (FItemWidth == 0 ? page : FRows)) : true;
    case VK_PRIOR:
      if (ctrl) {
        FList.GoUp();
        return true;
      }
      return count ? nav(focus - page) : true;
    case VK_NEXT:
      if (ctrl) {
        OpenFocused();
        return true;
      }
      return count ? nav(focus + page) : true;
    case VK_HOME: return count ? nav(0) : true;
    case VK_END: return count ? nav(count - 1) : true;
    case VK_INSERT:
      if (ctrl || (shift & ssShift)) return false;
      ToggleFocused(true);
      return true;
    case VK_SPACE:
      if (ctrl || !FSearchText.empty()) return false;
      ToggleFocused(true);
      return true;
    case VK_RETURN:
      if (ctrl || (shift & ssShift)) return false;
      OpenFocused();
      return true;
    case VK_BACK:
      if (!FSearchText.empty()) {
        std::wstring s = FSearchText;
        s.pop_back();
        if (!s.empty() && IsHighSurrogate(s.back())) s.pop_back();
        FSearchText = s;
        if (!s.empty()) FindNext(true);
        DoStateChange();
      } else if (Options.BSUpDir && !ctrl) {
        if (!FList.GoUp()) MessageBeep(MB_OK);
      }
      return true;
    case VK_ESCAPE:
      if (FSearchText.empty()) return false;
      FSearchText.clear();
      DoStateChange();
      return true;
    default:
      return false;
  }
}

bool THanFileBox::KeyChar(wchar_t ch) {
  if (ch < 32 || (GetKeyState(VK_CONTROL) & 0x8000)) return false;
  if (Options.ExtSpeedSearch) {
    std::wstring before = FSearchText;
    FSearchText += ch;
    if (IsHighSurrogate(ch)) return true;  // waits for the second half
    if (!FindNext(true)) {
      FSearchText = before;
      MessageBeep(MB_OK);
    }
    DoStateChange();
    return true;
  }
  // Without the extended search a letter goes to the next item that starts with it.
  FSearchText.assign(1, ch);
  if (!FindNext(false)) MessageBeep(MB_OK);
  FSearchText.clear();
  return true;
}

void THanFileBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (HandleAllocated() && GetFocus() != FHandle) ::SetFocus(FHandle);
  TCustomControl::MouseDown(button, shift, x, y);
  const int index = ItemAtPos(x, y);
  if (!FSearchText.empty()) {
    FSearchText.clear();
    DoStateChange();
  }
  FDragIndex = -1;
  if (index < 0) return;
  if (button == mbLeft || button == mbRight) {
    FDragIndex = index;
    FDragFrom = POINT{x, y};
    FDragRight = button == mbRight;
  }
  if (button == mbLeft) {
    if (shift & ssCtrl) {
      if (FList.Selectable(index)) {
        FList.SetSelected(index, FList.GetItem(index)->SelOrder == 0);
        InvalidateItem(index);
      }
      FAnchor = index;
    } else if ((shift & ssShift) && FAnchor >= 0) {
      int a = std::min(FAnchor, index), b = std::max(FAnchor, index);
      for (int i = a; i <= b; ++i)
        if (FList.Selectable(i)) FList.SetSelected(i, true);
      Invalidate();
    } else {
      FAnchor = index;
    }
    SetItemIndex(index);
    DoStateChange();
  } else if (button == mbRight) {
    if (Options.MouseRight == 1) {
      if (FList.Selectable(index)) {
        FList.SetSelected(index, FList.GetItem(index)->SelOrder == 0);
        InvalidateItem(index);
      }
    }
    SetItemIndex(index);
    DoStateChange();
  }
}

void THanFileBox::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  if (FDragIndex < 0) return;
  if (!(shift & (FDragRight ? ssRight : ssLeft))) {
    FDragIndex = -1;
    return;
  }
  if (std::abs(x - FDragFrom.x) < GetSystemMetrics(SM_CXDRAG) && std::abs(y - FDragFrom.y) < GetSystemMetrics(SM_CYDRAG))
    return;
  FDragIndex = -1;
  if (GetCapture() == FHandle) ReleaseCapture();
  if (OnBeginDrag) OnBeginDrag(*this, FDragRight);
}

