#include "foundation/MHeader.h"

#include <algorithm>

// ---- TMHeaderControl ----

TMHeaderControl::TMHeaderControl(TComponent* owner) : TControl(owner) {
  InitCommonControlClasses();
  FWidth = 200;
  FHeight = 17;
}

bool TMHeaderControl::FullDrag() const {
  BOOL full = FALSE;
  SystemParametersInfoW(SPI_GETDRAGFULLWINDOWS, 0, &full, 0);
  return full != FALSE;
}

void TMHeaderControl::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = WC_HEADERW;
  p.SystemClass = true;
  p.Style &= ~WS_CLIPCHILDREN;
  p.Style |= HDS_BUTTONS | HDS_HORZ;
  if (FullDrag()) p.Style |= HDS_FULLDRAG;
}

void TMHeaderControl::HandleCreated() {
  for (int i = 0; i < SectionCount(); ++i) PushSection(i, true);
}

void TMHeaderControl::PushSection(int i, bool insert) {
  if (!FHandle) return;
  THeaderSection& s = FSections[static_cast<size_t>(i)];
  HDITEMW item{};
  item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
  item.cxy = s.Width;
  item.pszText = s.Text.data();
  item.cchTextMax = static_cast<int>(s.Text.size());
  item.fmt = HDF_STRING | (s.Alignment == saRight ? HDF_RIGHT : s.Alignment == saCenter ? HDF_CENTER : HDF_LEFT);
  if (s.OwnerDraw) item.fmt |= HDF_OWNERDRAW;
  SendMessageW(FHandle, insert ? HDM_INSERTITEMW : HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
}

void TMHeaderControl::AppendSection(const THeaderSection& section) {
  FSections.push_back(section);
  THeaderSection& s = FSections.back();
  s.Width = std::clamp(s.Width, s.MinWidth, std::max(s.MinWidth, s.MaxWidth));
  PushSection(SectionCount() - 1, true);
}

int TMHeaderControl::AddSection(const THeaderSection& section) {
  AppendSection(section);
  SectionsChanged();
  return SectionCount() - 1;
}

void TMHeaderControl::ClearSections() { SetSections({}); }

bool TMHeaderControl::SetSections(const std::vector<THeaderSection>& sections) {
  // The same sections with other widths (the list's columns follow its size) are changed in
  // place: taking every section out and in again costs a message round each and repaints the
  // whole header even when nothing changed.
  bool sameSections = sections.size() == FSections.size();
  for (size_t i = 0; sameSections && i < sections.size(); ++i) {
    const THeaderSection &a = sections[i], &b = FSections[i];
    sameSections = a.Text == b.Text && a.MinWidth == b.MinWidth && a.MaxWidth == b.MaxWidth &&
                   a.Alignment == b.Alignment && a.OwnerDraw == b.OwnerDraw && a.Tag == b.Tag;
  }
  if (sameSections) {
    bool changed = false;
    for (size_t i = 0; i < sections.size(); ++i) {
      THeaderSection& s = FSections[i];
      const int width = std::clamp(sections[i].Width, s.MinWidth, std::max(s.MinWidth, s.MaxWidth));
      if (width == s.Width) continue;
      s.Width = width;
      PushSection(static_cast<int>(i), false);
      changed = true;
    }
    if (changed) SectionsChanged();
    return changed;
  }
  FSections.clear();
  if (FHandle)
    while (SendMessageW(FHandle, HDM_GETITEMCOUNT, 0, 0) > 0) SendMessageW(FHandle, HDM_DELETEITEM, 0, 0);
  for (const THeaderSection& s : sections) AppendSection(s);
  SectionsChanged();
  return true;
}

void TMHeaderControl::SetSectionWidth(int i, int width) {
  if (!ValidSection(i)) return;
  THeaderSection& s = FSections[static_cast<size_t>(i)];
  width = std::clamp(width, s.MinWidth, std::max(s.MinWidth, s.MaxWidth));
  if (width == s.Width) return;
  s.Width = width;
  PushSection(i, false);
}

void TMHeaderControl::SetSectionText(int i, const std::wstring& text) {
  if (!ValidSection(i)) return;
  FSections[static_cast<size_t>(i)].Text = text;
  PushSection(i, false);
}

RECT TMHeaderControl::SectionRect(int i) const {
  RECT r{0, 0, 0, 0};
  if (!ValidSection(i)) return r;
  if (FHandle) {
    SendMessageW(FHandle, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return r;
  }
  for (int k = 0; k < i; ++k) r.left += Sections(k).Width;
  r.right = r.left + Sections(i).Width;
  r.bottom = FHeight;
  return r;
}

bool TMHeaderControl::NotifyMessage(NMHDR& hdr, LRESULT& result) {
  auto* nm = reinterpret_cast<NMHEADERW*>(&hdr);
  switch (hdr.code) {
    case HDN_ITEMCLICKW:
    case HDN_ITEMCLICKA:
      if (ValidSection(nm->iItem) && OnSectionClick) OnSectionClick(this, nm->iItem);
      result = 0;
      return true;
    case HDN_ITEMCHANGEDW:
    case HDN_ITEMCHANGEDA: {
      if (!ValidSection(nm->iItem) || !nm->pitem || !(nm->pitem->mask & HDI_WIDTH)) return false;
      THeaderSection& s = FSections[static_cast<size_t>(nm->iItem)];
      int width = std::clamp(nm->pitem->cxy, s.MinWidth, std::max(s.MinWidth, s.MaxWidth));
      bool outside = width != nm->pitem->cxy;
      bool changed = width != s.Width;
      s.Width = width;
      // A width past the section's limits is put back within them.
      if (outside) PushSection(nm->iItem, false);
      if (changed && OnSectionResize) OnSectionResize(this, nm->iItem);
      result = 0;
      return true;
    }
    default:
      return false;
  }
}

bool TMHeaderControl::DrawItem(const DRAWITEMSTRUCT& item) {
  if (!OnDrawSection || !ValidSection(static_cast<int>(item.itemID))) return false;
  PaintSection(item.hDC, static_cast<int>(item.itemID), item.rcItem, (item.itemState & ODS_SELECTED) != 0);
  return true;
}

void TMHeaderControl::PaintSection(HDC dc, int i, const RECT& rect, bool pressed) {
  TCanvas canvas(dc);
  canvas.Font = Font;
  canvas.BrushColor = FColor;
  OnDrawSection(this, canvas, i, rect, pressed);
}

bool TMHeaderControl::PaintsSectionsItself() const {
  // The owner draws every section whole (the control hands it the section's full rectangle),
  // so the control's own drawing of the sections beneath is wasted, and it is slow: several
  // milliseconds a section. Only a pressed section is a state the control alone knows; while
  // the mouse is held on the header the control paints as usual.
  if (!OnDrawSection || FSections.empty() || GetCapture() == FHandle) return false;
  for (const THeaderSection& s : FSections)
    if (!s.OwnerDraw) return false;
  return true;
}

bool TMHeaderControl::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg != WM_PAINT || wp != 0 || !PaintsSectionsItself()) return TControl::WndProc(msg, wp, lp, result);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(FHandle, &ps);
  int right = 0;
  for (int i = 0; i < SectionCount(); ++i) {
    RECT r = SectionRect(i);
    right = std::max<int>(right, r.right);
    if (RectVisible(dc, &r)) PaintSection(dc, i, r, false);
  }
  // The room past the last section is the control's: it paints there alone.
  RECT client = ClientRect();
  if (right < client.right && RectVisible(dc, &client)) {
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, client.left, client.top, right, client.bottom);
    DefaultHandler(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    RestoreDC(dc, saved);
  }
  EndPaint(FHandle, &ps);
  result = 0;
  return true;
}

// ---- THanHeaderControl ----

THanHeaderControl::THanHeaderControl(TComponent* owner) : TMHeaderControl(owner) {}

void THanHeaderControl::CreateParams(TCreateParams& p) { TMHeaderControl::CreateParams(p); }

bool THanHeaderControl::FullDrag() const {
  return FullDragQuery ? FullDragQuery() : TMHeaderControl::FullDrag();
}

// The tracked section is an index: when the sections are rebuilt during a drag it is checked
// against them again, and its limits are read anew.
bool THanHeaderControl::Tracking() {
  if (TrackSection < 0) return false;
  if (!ValidSection(TrackSection)) {
    TrackSection = -1;
    TrackAllowed = false;
    return false;
  }
  return true;
}

void THanHeaderControl::SectionsChanged() {
  if (!Tracking()) return;
  const THeaderSection& s = Sections(TrackSection);
  TrackMinWidth = s.MinWidth;
  TrackMaxWidth = s.MaxWidth;
}

void THanHeaderControl::EndTracking() {
  TrackAllowed = false;
  int section = Tracking() ? TrackSection : -1;
  TrackSection = -1;
  if (section >= 0 && OnEndTrack) OnEndTrack(this, section);
}

bool THanHeaderControl::NotifyMessage(NMHDR& hdr, LRESULT& result) {
  auto* nm = reinterpret_cast<NMHEADERW*>(&hdr);
  switch (hdr.code) {
    case HDN_BEGINTRACKW:
    case HDN_BEGINTRACKA: {
      int i = nm->iItem;
      if (!ValidSection(i)) return false;
      const THeaderSection& s = Sections(i);
      TrackAllowed = i != 0 || !FirstSectionLocked;
      TrackSection = i;
      RECT r = SectionRect(i);
      TrackStartWidth = r.right - r.left;
      TrackMaxWidth = s.MaxWidth;
      TrackMinWidth = s.MinWidth;
      TrackStartPoint = FButtonDown;
      result = FALSE;
      return true;
    }
    case HDN_ENDTRACKW:
    case HDN_ENDTRACKA:
      EndTracking();
      result = 0;
      return true;
    case HDN_DIVIDERDBLCLICKW:
    case HDN_DIVIDERDBLCLICKA:
      if (ValidSection(nm->iItem) && OnDividerDblClick) OnDividerDblClick(this, nm->iItem);
      result = 0;
      return true;
    case HDN_ITEMDBLCLICKW:
    case HDN_ITEMDBLCLICKA:
      // The first click of the double click already ran the click action.
      result = 0;
      return true;
    default:
      return TMHeaderControl::NotifyMessage(hdr, result);
  }
}

bool THanHeaderControl::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      FButtonDown = POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      // The header takes the width from the release point too, so that point is held to
      // the same rules as the moves.
      if (Tracking() && GetCapture() == FHandle) {
        int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
        if (!TrackAllowed) {
          x = TrackStartPoint.x;
        } else {
          int width = TrackStartWidth + (x - TrackStartPoint.x);
          // The divider stops at the limits in both modes, so that what the header shows is
          // what the owner was told.
          if (width > TrackMaxWidth) x -= width - TrackMaxWidth;
          else if (width < TrackMinWidth) x += TrackMinWidth - width;
          if (msg == WM_MOUSEMOVE && !FullDrag() && OnTrackMove)
            OnTrackMove(this, TrackSection, 1, std::clamp(width, TrackMinWidth, std::max(TrackMinWidth, TrackMaxWidth)));
        }
        LPARAM moved = MAKELPARAM(x, y);
        if (!TMHeaderControl::WndProc(msg, wp, moved, result)) result = DefaultHandler(msg, wp, moved);
        return true;
      }
      break;
    case WM_CAPTURECHANGED:
      // Another window took the mouse: the drag ends here.
      if (reinterpret_cast<HWND>(lp) != FHandle && TrackSection >= 0) EndTracking();
      break;
    case WM_ERASEBKGND:
      if (FParent) {
        result = 1;
        return true;
      }
      break;
    default:
      break;
  }
  return TMHeaderControl::WndProc(msg, wp, lp, result);
}

void THanHeaderControl::DrawSection(TCanvas& canvas, int section, const RECT& rect, bool ascending, bool showArrow,
                                    int pressOffset) {
  if (!ValidSection(section)) return;
  const THeaderSection& s = Sections(section);
  canvas.FillRect(rect);
  RECT tr = rect;
  OffsetRect(&tr, pressOffset + 2, pressOffset + 2);
  tr.bottom -= 2;
  UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  if (s.Alignment == saRight) {
    tr.right -= 5;
    flags |= DT_RIGHT;
  } else {
    tr.right -= 2;
  }
  if (showArrow) {
    // A triangle 7 pixels wide and 4 high at the text's left, pointing up for ascending.
    int x = tr.left + 2;
    int top = rect.top + (rect.bottom - rect.top - 4) / 2 + pressOffset;
    for (int row = 0; row < 4; ++row) {
      int half = ascending ? row : 3 - row;
      canvas.Line(x + 3 - half, top + row, x + 4 + half, top + row, clBtnText);
    }
    tr.left += 7;
  }
  tr.left += 6;
  canvas.DrawText(s.Text, tr, flags);
}
