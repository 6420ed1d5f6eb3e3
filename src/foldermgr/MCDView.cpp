// The drive diagram: layout, painting, scrolling, key navigation and the quick search.
#include <windows.h>

#include <algorithm>

#include "foldermgr/MCD.h"
#include "foundation/MOption.h"
#include "framework/TextCompare.h"

namespace {
constexpr int KeyScanBackslash = 43, KeyScanSpace = 57;

COLORREF Rgb(TColor c) { return ToColorRef(c); }

void Fill(HDC dc, const RECT& r, TColor color) {
  SetBkColor(dc, Rgb(color));
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void HLine(HDC dc, int x1, int x2, int y) {
  MoveToEx(dc, x1, y, nullptr);
  LineTo(dc, x2, y);
}
void VLine(HDC dc, int x, int y1, int y2) {
  MoveToEx(dc, x, y1, nullptr);
  LineTo(dc, x, y2);
}

bool Meets(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
}  // namespace

TCustomMCD::TCustomMCD(TComponent* owner) : TCustomControl(owner) {
  TabStop = true;
  FColor = clWindow;
}

TCustomMCD::~TCustomMCD() = default;

void TCustomMCD::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style |= WS_TABSTOP;
  if (ScrollBars == 1 || ScrollBars == 3) params.Style |= WS_HSCROLL;
  if (ScrollBars == 2 || ScrollBars == 3) params.Style |= WS_VSCROLL;
  if (BorderStyle == 1) params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomMCD::ParentSet() { ComputeMetrics(); }
void TCustomMCD::FontChanged() {
  TCustomControl::FontChanged();
  for (TMCDItem& item : FItems) item.TextWidth = -1;
  ComputeMetrics();
  InvalidateAll();
}

void TCustomMCD::Resized() {
  SetTop(FItems.empty() ? 0 : RowOf(FTopItem), FLeftColumn);
  UpdateScrollBars();
  InvalidateAll();
}

// ---- Items ----

void TCustomMCD::AddItem(TMCDItem item) {
  FItems.push_back(std::move(item));
  FLastTop = FLastLeft = -1;
}

void TCustomMCD::InsertItem(int index, TMCDItem item) {
  index = std::clamp(index, 0, Count());
  FItems.insert(FItems.begin() + index, std::move(item));
  FLastTop = FLastLeft = -1;
}

void TCustomMCD::DeleteItem(int index) {
  if (index < 0 || index >= Count()) return;
  FItems.erase(FItems.begin() + index);
  FLastTop = FLastLeft = -1;
}

void TCustomMCD::ClearItems() {
  FItems.clear();
  FRowOf.clear();
  FRowStart.clear();
  FTopItem = 0;
  FLastPainted = -1;
  FLastTop = FLastLeft = -1;
}

void TCustomMCD::BeginUpdate() {
  if (FUpdateCount++ == 0 && FHandle) SendMessageW(FHandle, WM_SETREDRAW, FALSE, 0);
}

void TCustomMCD::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0) return;
  if (FHandle) SendMessageW(FHandle, WM_SETREDRAW, TRUE, 0);
  UpdateScrollBars();
  InvalidateAll();
}

void TCustomMCD::SetItemIndex(int index) {
  if (index == FItemIndex) return;
  int old = FItemIndex;
  FItemIndex = index;
  InvalidateItem(old);
  InvalidateItem(index);
  if (OnChange) OnChange(this);
}

std::wstring TCustomMCD::GetSelectedPath() const {
  return FItemIndex >= 0 && FItemIndex < Count() ? Item(FItemIndex).Path : std::wstring();
}

void TCustomMCD::SetDropTarget(int index) {
  if (index == FDropTarget) return;
  InvalidateItem(FDropTarget);
  FDropTarget = index;
  InvalidateItem(index);
}

void TCustomMCD::SetColumnWidth(int width) {
  if (width == FColumnWidth) return;
  FColumnWidth = std::max(1, width);
  InvalidateAll();
}

void TCustomMCD::SetSource(const std::wstring& path) {
  FSource = path.empty() ? path : IncludeTrailingBackslash(path);
  Relayout();
  InvalidateAll();
}

void TCustomMCD::RememberSelection() { FRemembered = GetSelectedPath(); }

void TCustomMCD::RestoreSelection() {
  int found = -1;
  if (!FRemembered.empty())
    for (int i = 0; i < Count() && found < 0; ++i)
      if (Item(i).Path == FRemembered) found = i;
  FRemembered.clear();
  if (found >= 0) {
    SetItemIndex(found);
    EnsureVisible(true);
  } else {
    SetItemIndex(FItems.empty() ? -1 : std::clamp(FItemIndex, 0, Count() - 1));
  }
}

// ---- Layout ----

void TCustomMCD::Relayout() {
  FDefaultIndex = -1;
  FSourceFirst = FSourceLast = -1;
  const int n = Count();
  FRowOf.assign(static_cast<size_t>(n), 0);
  FRowStart.clear();
  // The last item seen at each depth since a shallower one: the parent of the next deeper
  // item, and the previous sibling of the next one at the same depth.
  std::vector<int> last;
  int deepest = 0;
  bool marking = Mode != 0 && !FSource.empty();
  for (int i = 0; i < n; ++i) {
    TMCDItem& item = FItems[static_cast<size_t>(i)];
    int d = std::max(0, item.Depth);
    if (i == 0 || item.Depth <= FItems[static_cast<size_t>(i - 1)].Depth) FRowStart.push_back(i);
    FRowOf[static_cast<size_t>(i)] = static_cast<int>(FRowStart.size()) - 1;
    if (static_cast<int>(last.size()) > d + 1) last.resize(static_cast<size_t>(d + 1));
    item.ParentIndex = d > 0 && static_cast<int>(last.size()) >= d ? last[static_cast<size_t>(d - 1)] : -1;
    int previous = static_cast<int>(last.size()) > d ? last[static_cast<size_t>(d)] : -1;
    item.FirstChild = previous < 0;
    item.LastChild = true;
    if (previous >= 0) FItems[static_cast<size_t>(previous)].LastChild = false;
    if (static_cast<int>(last.size()) <= d) last.resize(static_cast<size_t>(d + 1), -1);
    last[static_cast<size_t>(d)] = i;
    deepest = std::max(deepest, d);
    if (FDefaultIndex < 0 && !DefaultFolder.empty() && SameTextI(item.Path, DefaultFolder)) FDefaultIndex = i;
    if (marking && StartsText(FSource, item.Path + L"\\")) {
      if (FSourceFirst < 0) FSourceFirst = i;
      FSourceLast = i;
    }
  }
  FColumnCount = n > 0 ? deepest + 1 : 0;
  if (FDefaultIndex < 0 && n > 0) {
    DefaultFolder = FItems[0].Path;
    FDefaultIndex = 0;
  }
  if (n == 0 || FTopItem >= n) FTopItem = 0;
  FTopItem = n > 0 ? RowStart(RowOf(FTopItem)) : 0;
  FLastTop = FLastLeft = -1;
}

void TCustomMCD::ComputeMetrics() {
  TScreenDC screen;
  HGDIOBJ old = SelectObject(screen.Handle(), Font.Handle());
  SIZE size{};
  GetTextExtentPoint32W(screen.Handle(), L"Wgy한", 4, &size);
  SelectObject(screen.Handle(), old);
  TextHeightPx = size.cy;
  int spacing = std::clamp(Options.McdItemHeight, 0, 15);
  int h = spacing + TextHeightPx + 2;
  int iw = 0, ih = 0;
  if (Images && ImageList_GetIconSize(Images, &iw, &ih)) {
    h = std::max(h, spacing + ih - 1);
    ImageTop = (h - ih) / 2;
  }
  RowHeight = std::max(1, h);
  TextTop = (h - TextHeightPx) / 2 + 1;
  for (TMCDItem& item : FItems) item.TextWidth = -1;
}

int TCustomMCD::RootColumnWidth(const std::wstring& name) {
  TScreenDC screen;
  HGDIOBJ old = SelectObject(screen.Handle(), Font.Handle());
  auto width = [&](const std::wstring& s) {
    SIZE size{};
    GetTextExtentPoint32W(screen.Handle(), s.c_str(), static_cast<int>(s.size()), &size);
    return static_cast<int>(size.cx);
  };
  int base = RootConnector ? Indent : 3;
  int image = 0, ih = 0;
  if (Images) ImageList_GetIconSize(Images, &image, &ih);
  int a = std::min(200, base + width(CaseName(name)) + 3 + image);
  int b = base + width(L"M:") + 3 + image;
  SelectObject(screen.Handle(), old);
  RootWidth = std::max(a, b);
  return RootWidth;
}

int TCustomMCD::VisibleRows() const { return std::max(1, ClientHeight() / std::max(1, RowHeight)); }
int TCustomMCD::VisibleColumns() const { return std::max(1, ClientWidth() / std::max(1, FColumnWidth)); }

int TCustomMCD::ColumnX(int column) const {
  int x = (column - FLeftColumn) * FColumnWidth;
  if (FLeftColumn == 0 && column > 0) x += RootWidth - FColumnWidth;
  return std::max(0, x);
}

int TCustomMCD::CellWidth(int column) const {
  return column == 0 && FLeftColumn == 0 ? RootWidth : FColumnWidth;
}

std::wstring TCustomMCD::CaseName(const std::wstring& name) {
  switch (Options.FolderNameCase) {
    case 1: return LowerCase(name);
    case 2: return UpperCase(name);
    case 3: return CapitalizePath(name);
    case 4: return CapitalizeWords(name);
    default: return name;
  }
}

// ---- Painting ----

void TCustomMCD::InvalidateAll() {
  FLastTop = FLastLeft = -1;
  if (FHandle && FUpdateCount == 0) InvalidateRect(FHandle, nullptr, FALSE);
}

void TCustomMCD::InvalidateItem(int index) {
  if (!FHandle || FUpdateCount > 0 || index < 0 || index >= Count() || FRowOf.size() != FItems.size()) return;
  int row = RowOf(index) - RowOf(FTopItem);
  if (row < 0 || row >= VisibleRows() + 1) return;
  RECT r{0, row * RowHeight, ClientWidth(), (row + 1) * RowHeight};
  InvalidateRect(FHandle, &r, FALSE);
}

int TCustomMCD::MeasureText(HDC dc, TMCDItem& item) {
  if (item.TextWidth < 0) {
    std::wstring s = CaseName(item.Name);
    SIZE size{};
    GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &size);
    item.TextWidth = size.cx;
  }
  return item.TextWidth;
}

void TCustomMCD::DrawConnector(HDC dc, const RECT& cell, int kind, TColor color) {
  if (kind == 0) return;
  const TPenHandle pen(CreatePen(PS_SOLID, 1, Rgb(color)));
  HGDIOBJ old = SelectObject(dc, pen.get());
  int left = static_cast<int>(cell.left), top = static_cast<int>(cell.top), bottom = static_cast<int>(cell.bottom);
  int cx = left + Indent / 2, cy = top + RowHeight / 2, end = left + Indent;
  switch (kind) {
    case 1: HLine(dc, left, end, cy); break;
    case 2: VLine(dc, cx, top, bottom); break;
    case 3: VLine(dc, cx, top, bottom); HLine(dc, cx, end, cy); break;
    case 4: HLine(dc, cx, end, cy); VLine(dc, cx, cy, bottom); break;
    case 5: VLine(dc, cx, top, cy + 1); HLine(dc, cx, end, cy); break;
    case 6: HLine(dc, left, end, cy); VLine(dc, cx, cy, bottom); break;
    default: break;
  }
  SelectObject(dc, old);
}

void TCustomMCD::Paint(TCanvas& canvas) { PaintPass(canvas.Handle(), ClientRect()); }

void TCustomMCD::PaintPass(HDC dc, const RECT& clip) {
  const int cw = ClientWidth(), ch = ClientHeight();
  FPaintedRows = 0;
  if (FItems.empty() || cw <= 2 || ch <= 2 || FRowOf.size() != FItems.size()) {
    Fill(dc, clip, BackColor);
    FLastPainted = -1;
    return;
  }
  HGDIOBJ oldFont = SelectObject(dc, Font.Handle());
  SetBkMode(dc, TRANSPARENT);
  const bool focused = Focused();
  int imageW = 0, imageH = 0;
  if (Images) ImageList_GetIconSize(Images, &imageW, &imageH);
  const int rows = RowCount();
  int row = RowOf(FTopItem);
  int y = 0;
  FLastPainted = FTopItem - 1;
  for (; row < rows && y < ch; ++row, y += RowHeight) {
    const int first = RowStart(row);
    const int last = row + 1 < rows ? RowStart(row + 1) - 1 : Count() - 1;
    FLastPainted = last;
    RECT rowRect{0, y, cw, y + RowHeight};
    if (!Meets(rowRect, clip)) continue;
    ++FPaintedRows;
    Fill(dc, rowRect, BackColor);
    // The columns left of the row's first folder: its ancestors' sibling lines, and on the
    // first row their names so that the path stays readable.
    for (int a = Item(first).ParentIndex; a >= 0; a = Item(a).ParentIndex) {
      TMCDItem& anc = Item(a);
      if (anc.Depth < FLeftColumn) break;
      RECT cell{ColumnX(anc.Depth), y, ColumnX(anc.Depth) + CellWidth(anc.Depth), y + RowHeight};
      bool inSource = a >= FSourceFirst && a <= FSourceLast && FSourceFirst >= 0;
      TColor pen = inSource ? (Mode == 1 ? CopyColor : MoveColor) : LineColor;
      if (!anc.LastChild && (a != 0 || RootConnector)) DrawConnector(dc, cell, 2, pen);
      if (y == 0) {
        int tx = a == 0 && !RootConnector ? cell.left + 2 : cell.left + Indent - 1;
        if (Images && anc.ImageIndex >= 0) tx += imageW + 1;
        std::wstring s = CaseName(anc.Name);
        RECT tr{tx, y + TextTop, cell.right - 1, y + RowHeight};
        SetTextColor(dc, Rgb(GrayTextColor));
        DrawTextW(dc, s.c_str(), static_cast<int>(s.size()), &tr, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      }
    }
    for (int i = first; i <= last; ++i) {
      TMCDItem& item = Item(i);
      const int col = item.Depth;
      if (col < FLeftColumn) {
        item.Cell = RECT{};
        continue;
      }
      const int left = ColumnX(col);
      if (left >= cw) {
        for (int j = i; j <= last; ++j) Item(j).Cell = RECT{};
        break;
      }
      FDeepestColumn = std::max(FDeepestColumn, col);
      const bool isRoot = i == 0 && !RootConnector;
      int kind;
      if (isRoot)
        kind = 0;
      else if (item.FirstChild)
        kind = item.LastChild ? (i == 0 ? 0 : 1) : (i == 0 ? 4 : 6);
      else
        kind = item.LastChild ? 5 : 3;
      const bool inSource = FSourceFirst >= 0 && i >= FSourceFirst && i <= FSourceLast;
      const TColor markColor = Mode == 1 ? CopyColor : MoveColor;
      const TColor pen = inSource ? markColor : LineColor;
      TColor text = inSource ? markColor : i == FDefaultIndex ? DefaultColor : TextColor;
      const bool hasChild = i < last;
      RECT cell{left, y, left + CellWidth(col), y + RowHeight};
      DrawConnector(dc, cell, kind, pen);
      int tx = isRoot ? left + 2 : left + Indent - 1;
      const int iconLeft = tx;
      if (Images && item.ImageIndex >= 0) {
        ImageList_Draw(Images, item.ImageIndex, dc, tx, y + ImageTop, ILD_TRANSPARENT);
        tx += imageW + 1;
      }
      const int textW = MeasureText(dc, item);
      if (!hasChild) cell.right = std::min(std::max(static_cast<int>(cell.right), tx + textW + 2), cw);
      RECT textRect{tx, y + TextTop, hasChild ? cell.right - 2 : cell.right, y + RowHeight};
      const int textEnd = std::min(tx + textW, static_cast<int>(textRect.right));
      RECT mark{tx - 1, y + 1, std::min(textEnd + 1, static_cast<int>(cell.right)), y + RowHeight - 1};
      const bool selected = i == FItemIndex;
      if (selected && focused) {
        TColor back = text;
        if (GetScreenColorDepth() <= 8) back = static_cast<TColor>(~Rgb(BackColor) & 0xFFFFFF);
        Fill(dc, mark, back);
        text = BackColor;
      } else if (hasChild && textEnd + 3 < cell.right) {
        const TPenHandle p(CreatePen(PS_SOLID, 1, Rgb(pen)));
        HGDIOBJ old = SelectObject(dc, p.get());
        HLine(dc, textEnd + 3, cell.right, y + RowHeight / 2);
        SelectObject(dc, old);
      }
      std::wstring s = CaseName(item.Name);
      SetTextColor(dc, Rgb(text));
      DrawTextW(dc, s.c_str(), static_cast<int>(s.size()), &textRect, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      if (i == FDropTarget || (selected && !focused)) {
        const TBrushHandle frame(CreateSolidBrush(Rgb(i == FDefaultIndex ? DefaultColor : TextColor)));
        FrameRect(dc, &mark, frame.get());
      }
      item.Cell = cell;
      item.IconRect = RECT{iconLeft, y, textEnd, y + RowHeight};
    }
  }
  if (y < ch) Fill(dc, RECT{0, y, cw, ch}, BackColor);
  FLastTop = FTopItem;
  FLastLeft = FLeftColumn;
  SelectObject(dc, oldFont);
}

int TCustomMCD::HitTest(int x, int y) const {
  POINT p{x, y};
  for (int i = std::max(0, FTopItem); i <= FLastPainted && i < Count(); ++i)
    if (PtInRect(&Item(i).Cell, p)) return i;
  return -1;
}

// ---- Scrolling ----

int TCustomMCD::ClampTopRow(int row) const { return std::clamp(row, 0, std::max(0, RowCount() - VisibleRows())); }

int TCustomMCD::ClampLeft(int column) const {
  if ((FColumnCount - 1) * FColumnWidth + RootWidth <= ClientWidth()) return 0;
  return std::clamp(column, 0, std::max(0, FColumnCount - VisibleColumns()));
}

void TCustomMCD::SetTop(int row, int column) {
  if (FItems.empty() || FRowStart.empty()) {
    FTopItem = FLeftColumn = 0;
    return;
  }
  int top = RowStart(ClampTopRow(row));
  int left = ClampLeft(column);
  if (top == FTopItem && left == FLeftColumn) return;
  FTopItem = top;
  FLeftColumn = left;
  InvalidateAll();
}

void TCustomMCD::UpdateScrollBars() {
  if (FUpdateCount > 0 || !FHandle) return;
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (ScrollBars == 2 || ScrollBars == 3) {
    si.nMin = 0;
    si.nMax = std::max(0, RowCount() - 1);
    si.nPage = static_cast<UINT>(VisibleRows());
    si.nPos = FItems.empty() ? 0 : RowOf(FTopItem);
    SetScrollInfo(FHandle, SB_VERT, &si, TRUE);
  }
  if (ScrollBars == 1 || ScrollBars == 3) {
    bool fits = (FColumnCount - 1) * FColumnWidth + RootWidth <= ClientWidth();
    si.nMin = 0;
    si.nMax = std::max(0, FColumnCount - 1);
    si.nPage = static_cast<UINT>(fits ? std::max(1, FColumnCount) : VisibleColumns());
    si.nPos = FLeftColumn;
    SetScrollInfo(FHandle, SB_HORZ, &si, TRUE);
  }
}

void TCustomMCD::ScrollBy(bool vertical, int code, int amount) {
  if (FItems.empty()) return;
  int row = RowOf(FTopItem), col = FLeftColumn;
  int& v = vertical ? row : col;
  int page = std::max(1, (vertical ? VisibleRows() : VisibleColumns()) - 1);
  int end = vertical ? RowCount() : FColumnCount;
  switch (code) {
    case SB_LINEUP: v -= 1; break;
    case SB_LINEDOWN: v += 1; break;
    case SB_PAGEUP: v -= page; break;
    case SB_PAGEDOWN: v += page; break;
    case SB_TOP: v = 0; break;
    case SB_BOTTOM: v = end; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: v = amount; break;
    default: return;
  }
  int oldTop = FTopItem, oldLeft = FLeftColumn;
  SetTop(row, col);
  if (FTopItem == oldTop && FLeftColumn == oldLeft) return;
  // The selection stays on screen.
  if (vertical && FItemIndex >= 0) {
    int top = RowOf(FTopItem), bottom = top + VisibleRows() - 1, r = RowOf(FItemIndex);
    if (r < top) SetItemIndex(FTopItem);
    else if (r > bottom) SetItemIndex(RowStart(std::min(bottom, RowCount() - 1)));
  }
  UpdateScrollBars();
}

void TCustomMCD::EnsureVisible(bool centre) {
  if (FItems.empty() || FItemIndex < 0 || FItemIndex >= Count()) {
    SetTop(0, 0);
    UpdateScrollBars();
    return;
  }
  int row = RowOf(FItemIndex), depth = Item(FItemIndex).Depth;
  int visR = VisibleRows(), visC = VisibleColumns();
  int top = RowOf(FTopItem), left = FLeftColumn;
  if (centre) {
    top = row - (visR - 1) / 2;
    left = std::max(0, depth - (visC - 1) / 2);
  } else {
    if (row < top) top = row;
    if (row >= top + visR) top = row - visR + 1;
    if (depth < left) left = depth;
    if (depth >= left + visC) left = depth - visC + 1;
  }
  SetTop(top, left);
  UpdateScrollBars();
}

void TCustomMCD::SelectAndShow(int index, bool centre) {
  if (index < 0 || index >= Count()) return;
  SetItemIndex(index);
  EnsureVisible(centre);
}

// ---- Keys ----

bool TCustomMCD::Navigate(TShiftState shift, WORD key) {
  static const WORD keys[] = {VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN};
  if (std::find(std::begin(keys), std::end(keys), key) == std::end(keys)) return false;
  if (shift != 0 && shift != ssShift && shift != ssCtrl) return false;
  if (FItems.empty()) return true;
  if (shift == ssCtrl) {
    switch (key) {
      case VK_PRIOR: ScrollBy(true, SB_PAGEUP, 0); break;
      case VK_NEXT: ScrollBy(true, SB_PAGEDOWN, 0); break;
      case VK_END: ScrollBy(true, SB_BOTTOM, 0); break;
      case VK_HOME: ScrollBy(true, SB_TOP, 0); break;
      case VK_LEFT: ScrollBy(false, SB_LINEUP, 0); break;
      case VK_UP: ScrollBy(true, SB_LINEUP, 0); break;
      case VK_RIGHT: ScrollBy(false, SB_LINEDOWN, 0); break;
      case VK_DOWN: ScrollBy(true, SB_LINEDOWN, 0); break;
    }
    return true;
  }
  const int n = Count();
  if (n == 1) {
    SetItemIndex(0);
    return true;
  }
  int sel = std::clamp(FItemIndex, 0, n - 1);
  int target = sel;
  const int depth = Item(sel).Depth;
  auto up = [&] {
    for (int i = sel - 1; i >= 0; --i) {
      if (Item(i).Depth == depth) return i;
      if (Item(i).Depth < depth) break;
    }
    return std::max(0, sel - 1);
  };
  auto down = [&] {
    for (int i = sel + 1; i < n; ++i) {
      if (Item(i).Depth == depth) return i;
      if (Item(i).Depth < depth) break;
    }
    return std::min(n - 1, sel + 1);
  };
  const int page = std::max(1, VisibleRows() - 1);
  switch (key) {
    case VK_PRIOR:
      target = sel == FTopItem ? RowStart(std::max(0, RowOf(sel) - page)) : FTopItem;
      break;
    case VK_NEXT: {
      int row = std::min(RowCount() - 1, RowOf(FTopItem) + VisibleRows() - 1);
      target = RowStart(row);
      if (sel >= target) target = RowStart(std::min(RowCount() - 1, RowOf(sel) + page));
      if (target == sel) target = n - 1;
      break;
    }
    case VK_END:
      if (shift == ssShift) {
        int row = RowOf(sel);
        target = row + 1 < RowCount() ? RowStart(row + 1) - 1 : n - 1;
      } else {
        target = n - 1;
      }
      break;
    case VK_HOME: target = shift == ssShift ? RowStart(RowOf(sel)) : 0; break;
    case VK_LEFT:
      if (shift == ssShift) target = std::max(0, sel - 1);
      else target = Item(sel).ParentIndex >= 0 ? Item(sel).ParentIndex : up();
      break;
    case VK_UP: target = up(); break;
    case VK_RIGHT: target = std::min(n - 1, sel + 1); break;
    case VK_DOWN: target = down(); break;
  }
  SetItemIndex(target);
  EnsureVisible(false);
  return true;
}

bool TCustomMCD::HandleKey(WORD, int, TShiftState) { return false; }

bool TCustomMCD::DoKeyDown(WORD key, int scanCode, TShiftState shift) {
  if (shift == 0) {
    if (scanCode == KeyScanBackslash) key = VK_OEM_5;
    if (key == VK_OEM_PERIOD && FSearchText.empty()) return Navigate(0, VK_LEFT) || true;
    if (key == VK_OEM_5) {
      SetSearchText(L"");
      Navigate(0, VK_HOME);
      return true;
    }
    if (key == VK_BACK) {
      if (!FSearchText.empty()) {
        std::wstring s = FSearchText;
        s.pop_back();
        FSearchText = s;
        if (s.empty()) {
          if (OnSearch) OnSearch(this, false);
        } else {
          FindNext(false);
        }
        return true;
      }
      if (Options.BSUpDir) Navigate(0, VK_LEFT);
      return true;
    }
  }
  if (Navigate(shift, key)) {
    if (!FSearchText.empty()) {
      FSearchText.clear();
      if (OnSearch) OnSearch(this, false);
    }
    return true;
  }
  return HandleKey(key, scanCode, shift);
}

void TCustomMCD::KeyChar(wchar_t ch, int scanCode) {
  static const int ignored[] = {14, 43, 53, 55, 56, 74, 78};
  if (ch < L' ' || ch == 0x7F || ch == L'\\') return;
  if (std::find(std::begin(ignored), std::end(ignored), scanCode) != std::end(ignored)) return;
  bool letter = (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z');
  if (letter && GetKeyState(VK_SHIFT) < 0) return;
  SetSearchText(FSearchText + ch);
}

void TCustomMCD::SetSearchText(const std::wstring& text) {
  if (text == FSearchText) return;
  FSearchText = text;
  if (text.empty()) {
    if (OnSearch) OnSearch(this, false);
    return;
  }
  FindNext(false);
}

int TCustomMCD::FindFrom(const std::wstring& text, int start) const {
  const int n = Count();
  if (text.empty() || n == 0) return -1;
  start = std::clamp(start, 0, n);
  for (int k = 0; k < n; ++k) {
    int i = (start + k) % n;
    const std::wstring& name = Item(i).Name;
    if (name.size() >= text.size() && SameTextI(std::wstring_view(name).substr(0, text.size()), text)) return i;
  }
  return -1;
}

void TCustomMCD::FindNext(bool again) {
  if (FSearchText.empty()) {
    if (OnSearch) OnSearch(this, again);
    else Beep();
    return;
  }
  const int sel = std::max(0, FItemIndex);
  std::wstring text = FSearchText;
  int found = FindFrom(text, again ? sel + 1 : sel);
  if (found < 0 && !again && text.size() > 1 && text.back() == L' ') {
    text.pop_back();
    found = FindFrom(text, sel + 1);
  }
  if (found < 0 && Options.ExtSpeedSearch && FSearchText.size() > 1) {
    text = FSearchText.substr(FSearchText.size() - 1);
    found = FindFrom(text, sel + 1);
  }
  if (found >= 0) {
    FSearchText = text;
    SetItemIndex(found);
    EnsureVisible(true);
    InvalidateAll();
  } else {
    if (!(FSearchText == L"." && !again)) Beep();
    FSearchText.pop_back();
  }
  if (OnSearch) OnSearch(this, again);
}

// ---- Mouse and messages ----

void TCustomMCD::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  SetFocus();
  int index = HitTest(x, y);
  if (index >= 0) SetItemIndex(index);
  if (!FSearchText.empty()) {
    FSearchText.clear();
    if (OnSearch) OnSearch(this, false);
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

bool TCustomMCD::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_PAINT:
      FPaintBuffer.Paint(FHandle, ClientWidth(), ClientHeight(),
                         [this](HDC dc, const RECT& update) { PaintPass(dc, update); });
      return true;
    case WM_GETDLGCODE:
      result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_WANTTAB;
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateItem(FItemIndex);
      return false;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(wp);
      int scan = static_cast<int>((lp >> 16) & 0xFF);
      TShiftState shift = KeyboardShiftState() & 7;
      bool used = DoKeyDown(key, scan, shift);
      if (used) {
        // The character of the same key stroke is used up too.
        MSG m;
        while (PeekMessageW(&m, FHandle, WM_CHAR, WM_CHAR, PM_REMOVE) ||
               PeekMessageW(&m, FHandle, WM_SYSCHAR, WM_SYSCHAR, PM_REMOVE)) {
        }
        return true;
      }
      // Alt alone and F10 never open a window menu from here.
      if (msg == WM_SYSKEYDOWN && (key == VK_MENU || key == VK_F10)) return true;
      return false;
    }
    case WM_SYSKEYUP:
      if (wp == VK_MENU || wp == VK_F10) return true;
      return false;
    case WM_CHAR:
      KeyChar(static_cast<wchar_t>(wp), static_cast<int>((lp >> 16) & 0xFF));
      return true;
    case WM_SYSCHAR:
      return (KeyboardShiftState() & ssAlt) != 0 && wp != VK_SPACE;
    case WM_VSCROLL:
    case WM_HSCROLL: {
      SCROLLINFO si{};
      si.cbSize = sizeof(si);
      si.fMask = SIF_ALL;
      GetScrollInfo(FHandle, msg == WM_VSCROLL ? SB_VERT : SB_HORZ, &si);
      int code = LOWORD(wp);
      if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION)
        ScrollBy(msg == WM_VSCROLL, SB_THUMBPOSITION, si.nTrackPos);
      else
        ScrollBy(msg == WM_VSCROLL, code, 0);
      return true;
    }
    case WM_MOUSEWHEEL: {
      bool downward = static_cast<short>(HIWORD(wp)) < 0;
      TShiftState s = KeyboardShiftState() & (ssShift | ssCtrl);
      if (s == (ssShift | ssCtrl)) {
        ScrollBy(true, downward ? SB_BOTTOM : SB_TOP, 0);
      } else if (s == ssCtrl) {
        ScrollBy(true, downward ? SB_PAGEDOWN : SB_PAGEUP, 0);
      } else if (s == ssShift) {
        ScrollBy(false, downward ? SB_PAGEDOWN : SB_PAGEUP, 0);
      } else if (!HasScrollBar(FHandle, SB_VERT)) {
        ScrollBy(false, downward ? SB_LINEDOWN : SB_LINEUP, 0);
      } else {
        UINT lines = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        int row = RowOf(FTopItem) + (downward ? 1 : -1) * static_cast<int>(std::max(1u, std::min(lines, 100u)));
        ScrollBy(true, SB_THUMBPOSITION, row);
      }
      return true;
    }
    case WM_CONTEXTMENU:
      return true;
    default:
      return TCustomControl::WndProc(msg, wp, lp, result);
  }
}
