#include "foundation/ScrListV.h"

#include <algorithm>
#include <numeric>

namespace {
const std::wstring kEmpty;

int CompareTexts(const std::wstring& a, const std::wstring& b) {
  int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                         static_cast<int>(b.size()));
  return r == 0 ? 0 : r - CSTR_EQUAL;
}
}  // namespace

const std::wstring& TListItem::Text(int column) const {
  if (column <= 0) return Caption;
  size_t i = static_cast<size_t>(column - 1);
  return i < SubItems.size() ? SubItems[i] : kEmpty;
}

// ---- TCustomMListView ----

TCustomMListView::TCustomMListView(TComponent* owner) : TControl(owner) {
  InitCommonControlClasses();
  FWidth = 250;
  FHeight = 150;
  FColor = clWindow;
  TabStop = true;
}

void TCustomMListView::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = WC_LISTVIEWW;
  p.SystemClass = true;
  // The rows live here; the control asks for their texts.
  p.Style |= LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS;
  if (!MultiSelect) p.Style |= LVS_SINGLESEL;
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomMListView::HandleCreated() {
  if (RowSelect) SendMessageW(FHandle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  if (FSmallImages) SendMessageW(FHandle, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(FSmallImages));
  for (int i = 0; i < ColumnCount(); ++i) PushColumn(i);
  ItemsChanged();
  UpdateSortArrows();
}

void TCustomMListView::PushColumn(int i) {
  if (!FHandle) return;
  TListColumn& c = FColumns[static_cast<size_t>(i)];
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  col.pszText = c.Caption.data();
  col.cx = c.Width;
  col.fmt = c.Alignment == 1 ? LVCFMT_RIGHT : c.Alignment == 2 ? LVCFMT_CENTER : LVCFMT_LEFT;
  SendMessageW(FHandle, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
}

int TCustomMListView::AddColumn(const TListColumn& column) {
  FColumns.push_back(column);
  PushColumn(ColumnCount() - 1);
  return ColumnCount() - 1;
}

int TCustomMListView::ColumnWidth(int i) const {
  if (FHandle) return static_cast<int>(SendMessageW(FHandle, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
  return i >= 0 && i < ColumnCount() ? Columns(i).Width : 0;
}

void TCustomMListView::ItemsChanged() {
  if (!FHandle) return;
  SendMessageW(FHandle, LVM_SETITEMCOUNT, static_cast<WPARAM>(FItems.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  InvalidateRect(FHandle, nullptr, TRUE);
}

int TCustomMListView::AddItem(const TListItem& item) {
  FItems.push_back(item);
  ItemsChanged();
  return ItemCount() - 1;
}

void TCustomMListView::InsertItem(int index, const TListItem& item) {
  index = std::clamp(index, 0, ItemCount());
  FItems.insert(FItems.begin() + index, item);
  ItemsChanged();
}

void TCustomMListView::SetItem(int index, const TListItem& item) {
  if (index < 0 || index >= ItemCount()) return;
  FItems[static_cast<size_t>(index)] = item;
  if (FHandle) SendMessageW(FHandle, LVM_REDRAWITEMS, static_cast<WPARAM>(index), index);
}

void TCustomMListView::DeleteItem(int index) {
  if (index < 0 || index >= ItemCount()) return;
  FItems.erase(FItems.begin() + index);
  ItemsChanged();
}

void TCustomMListView::ClearItems() {
  FItems.clear();
  ItemsChanged();
}

void TCustomMListView::MoveItem(int from, int to) {
  if (from < 0 || from >= ItemCount() || to < 0 || to >= ItemCount() || from == to) return;
  TListItem item = std::move(FItems[static_cast<size_t>(from)]);
  FItems.erase(FItems.begin() + from);
  FItems.insert(FItems.begin() + to, std::move(item));
  if (FHandle) SendMessageW(FHandle, LVM_REDRAWITEMS, static_cast<WPARAM>(std::min(from, to)), std::max(from, to));
}

int TCustomMListView::ItemIndex() const {
  if (!FHandle) return -1;
  return static_cast<int>(SendMessageW(FHandle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

bool TCustomMListView::Selected(int i) const {
  return FHandle && SendMessageW(FHandle, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) != 0;
}

void TCustomMListView::SetSelected(int i, bool selected) {
  if (!FHandle) return;
  LVITEMW it{};
  it.stateMask = LVIS_SELECTED;
  it.state = selected ? LVIS_SELECTED : 0;
  SendMessageW(FHandle, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&it));
}

int TCustomMListView::ItemFocused() const {
  if (!FHandle) return -1;
  return static_cast<int>(SendMessageW(FHandle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_FOCUSED, 0)));
}

void TCustomMListView::SetItemFocused(int i) {
  if (!FHandle) return;
  LVITEMW it{};
  it.stateMask = LVIS_FOCUSED;
  it.state = LVIS_FOCUSED;
  SendMessageW(FHandle, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&it));
}

void TCustomMListView::MakeVisible(int i) {
  if (FHandle) SendMessageW(FHandle, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i), FALSE);
}

int TCustomMListView::TopIndex() const {
  return FHandle ? static_cast<int>(SendMessageW(FHandle, LVM_GETTOPINDEX, 0, 0)) : 0;
}

RECT TCustomMListView::ItemRect(int i) const {
  RECT r{LVIR_BOUNDS, 0, 0, 0};
  if (!FHandle || !SendMessageW(FHandle, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)))
    return RECT{0, 0, 0, 0};
  return r;
}

int TCustomMListView::ItemAt(int x, int y) const {
  if (!FHandle) return -1;
  LVHITTESTINFO hit{};
  hit.pt = POINT{x, y};
  return static_cast<int>(SendMessageW(FHandle, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

void TCustomMListView::SetSmallImages(HIMAGELIST images) {
  FSmallImages = images;
  // The list measures its rows again for the new images.
  if (FHandle) {
    SendMessageW(FHandle, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    InvalidateRect(FHandle, nullptr, TRUE);
  }
}

void TCustomMListView::SetAutoColumnSort(TAutoColumnSort v) {
  FAutoColumnSort = v;
  if (v == acAutoSort) Sort();
}

void TCustomMListView::SetAutoSortAscending(bool v) {
  FAutoSortAscending = v;
  FSortAscending = v;
}

void TCustomMListView::SetSortColumn(int column) {
  FSortColumn = column;
  UpdateSortArrows();
}

void TCustomMListView::SetShowSortArrows(bool v) {
  FShowSortArrows = v;
  UpdateSortArrows();
}

void TCustomMListView::UpdateSortArrows() {
  if (!FHandle) return;
  HWND header = reinterpret_cast<HWND>(SendMessageW(FHandle, LVM_GETHEADER, 0, 0));
  if (!header) return;
  int n = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    int fmt = item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN);
    if (FShowSortArrows && i == FSortColumn) fmt |= FSortAscending ? HDF_SORTUP : HDF_SORTDOWN;
    if (fmt == item.fmt) continue;
    item.fmt = fmt;
    SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
}

void TCustomMListView::Sort() {
  if (FSortColumn < 0 || FItems.size() < 2) {
    UpdateSortArrows();
    return;
  }
  int column = FSortColumn;
  bool custom = FAutoColumnSort == acCustomSort && OnCompare;
  std::vector<size_t> order(FItems.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const TListItem& x = FItems[a];
    const TListItem& y = FItems[b];
    int r = custom ? OnCompare(x, y, column) : CompareTexts(x.Text(column), y.Text(column));
    return FSortAscending ? r < 0 : r > 0;
  });
  // The selection and the focus follow their rows to the new places.
  std::vector<bool> wasSelected(FItems.size());
  for (size_t i = 0; i < FItems.size(); ++i) wasSelected[i] = Selected(static_cast<int>(i));
  int focused = ItemFocused();
  std::vector<TListItem> sorted;
  sorted.reserve(FItems.size());
  for (size_t i : order) sorted.push_back(std::move(FItems[i]));
  FItems = std::move(sorted);
  if (FHandle) {
    for (size_t i = 0; i < order.size(); ++i) {
      SetSelected(static_cast<int>(i), wasSelected[order[i]]);
      if (static_cast<int>(order[i]) == focused) SetItemFocused(static_cast<int>(i));
    }
    InvalidateRect(FHandle, nullptr, TRUE);
  }
  UpdateSortArrows();
}

bool TCustomMListView::NotifyMessage(NMHDR& hdr, LRESULT& result) {
  switch (hdr.code) {
    case LVN_GETDISPINFOW: {
      auto* di = reinterpret_cast<NMLVDISPINFOW*>(&hdr);
      LVITEMW& it = di->item;
      if (it.iItem < 0 || it.iItem >= ItemCount()) return false;
      const TListItem& item = Items(it.iItem);
      if ((it.mask & LVIF_TEXT) && it.pszText && it.cchTextMax > 0) {
        const std::wstring& text = item.Text(it.iSubItem);
        lstrcpynW(it.pszText, text.c_str(), it.cchTextMax);
      }
      if (it.mask & LVIF_IMAGE) it.iImage = item.ImageIndex;
      result = 0;
      return true;
    }
    case LVN_COLUMNCLICK: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(&hdr);
      int column = nm->iSubItem;
      if (FAutoColumnSort != acNoSort) {
        // The same column again turns the direction; another one starts with the default.
        if (column == FSortColumn) FSortAscending = !FSortAscending;
        else FSortAscending = FAutoSortAscending;
        FSortColumn = column;
        Sort();
      }
      if (OnColumnClick) OnColumnClick(this, column);
      result = 0;
      return true;
    }
    case NM_CUSTOMDRAW: {
      if (!OnItemColors) return false;
      auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(&hdr);
      if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
        return true;
      }
      if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        int item = static_cast<int>(cd->nmcd.dwItemSpec);
        if (item >= 0 && item < ItemCount()) {
          TColor text = clNone, back = clNone;
          OnItemColors(this, item, text, back);
          if (text != clNone) cd->clrText = ToColorRef(text);
          if (back != clNone) cd->clrTextBk = ToColorRef(back);
        }
        result = CDRF_NEWFONT;
        return true;
      }
      return false;
    }
    case LVN_ITEMCHANGED: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(&hdr);
      if ((nm->uChanged & LVIF_STATE) && ((nm->uNewState ^ nm->uOldState) & LVIS_SELECTED) && OnSelectItem)
        OnSelectItem(this);
      return false;
    }
    default:
      return false;
  }
}

// ---- TScrListView ----

TScrListView::TScrListView(TComponent* owner) : TMListView(owner) {
  FScrollTimer = new TTimer(this);
  FScrollTimer->SetEnabled(false);
  FScrollTimer->SetInterval(20);
  FScrollTimer->OnTimer = [this](TComponent*) { AutoScroll(); };
}

TScrListView::~TScrListView() = default;

void TScrListView::SelectIndex(int index) {
  if (!FHandle) return;
  SetSelected(-1, false);
  if (index < 0 || index >= ItemCount()) return;
  SetSelected(index, true);
  SetItemFocused(index);
  MakeVisible(index);
}

void TScrListView::MoveRow(int from, int target) {
  if (from < 0 || target < 0 || target >= ItemCount() || from == target) return;
  if (OnRowMove) {
    OnRowMove(this, target);
    return;
  }
  MoveItem(from, target);
  SelectIndex(target);
}

void TScrListView::MoveSelected(bool up) {
  int sel = ItemIndex();
  if (sel < 0) return;
  int target = up ? sel - 1 : sel + 1;
  if (target < 0 || target >= ItemCount()) return;
  MoveRow(sel, target);
}

bool TScrListView::NotifyMessage(NMHDR& hdr, LRESULT& result) {
  if (hdr.code == LVN_BEGINDRAG) {
    auto* nm = reinterpret_cast<NMLISTVIEW*>(&hdr);
    if (nm->iItem < 0 || nm->iItem >= ItemCount()) return false;
    FDragging = true;
    FDragSource = nm->iItem;
    FDragTarget = nm->iItem;
    FDragPoint = nm->ptAction;
    SelectIndex(nm->iItem);
    SetCapture(FHandle);
    FScrollTimer->SetEnabled(true);
    result = 0;
    return true;
  }
  return TMListView::NotifyMessage(hdr, result);
}

// The row under a point of the client area; above the rows or below them, the first or the
// last row in view.
void TScrListView::TrackDrag(POINT p) {
  FDragPoint = p;
  if (ItemCount() == 0) {
    FDragTarget = -1;
    return;
  }
  int top = TopIndex();
  int perPage = static_cast<int>(SendMessageW(FHandle, LVM_GETCOUNTPERPAGE, 0, 0));
  int lastVisible = std::min(ItemCount() - 1, top + std::max(perPage, 1) - 1);
  RECT first = ItemRect(top);
  int rowHeight = std::max<int>(1, first.bottom - first.top);
  int row = p.y < first.top ? top : top + (p.y - first.top) / rowHeight;
  FDragTarget = std::clamp(row, top, lastVisible);
}

void TScrListView::AutoScroll() {
  if (!FDragging || !FHandle) {
    FScrollTimer->SetEnabled(false);
    return;
  }
  RECT client = ClientRect();
  RECT first = ItemRect(TopIndex());
  int rowHeight = std::max<int>(1, first.bottom - first.top);
  if (FDragPoint.y < first.top) SendMessageW(FHandle, LVM_SCROLL, 0, -rowHeight);
  else if (FDragPoint.y >= client.bottom) SendMessageW(FHandle, LVM_SCROLL, 0, rowHeight);
  else return;
  TrackDrag(FDragPoint);
}

void TScrListView::EndDrag(bool drop) {
  if (!FDragging) return;
  FDragging = false;
  FScrollTimer->SetEnabled(false);
  int from = FDragSource, target = FDragTarget;
  FDragSource = FDragTarget = -1;
  if (GetCapture() == FHandle) ReleaseCapture();
  if (drop) MoveRow(from, target);
}

bool TScrListView::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_MOUSEMOVE:
      if (FDragging) {
        TrackDrag(POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
        result = 0;
        return true;
      }
      break;
    case WM_LBUTTONUP:
      if (FDragging) {
        TrackDrag(POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
        EndDrag(true);
        result = 0;
        return true;
      }
      break;
    case WM_CAPTURECHANGED:
      // Another window took the mouse: the drag ends and nothing moves.
      if (FDragging && reinterpret_cast<HWND>(lp) != FHandle) EndDrag(false);
      break;
    case WM_KEYDOWN:
      if (KeyMoves && (wp == VK_UP || wp == VK_DOWN) && (KeyboardShiftState() & ~ssCtrl) == 0 &&
          (KeyboardShiftState() & ssCtrl)) {
        MoveSelected(wp == VK_UP);
        result = 0;
        return true;
      }
      break;
    default:
      break;
  }
  return TMListView::WndProc(msg, wp, lp, result);
}
