#include "foundation/HSplit.h"

#include <cmath>

#include "foundation/HanPopup.h"
#include "foundation/MOption.h"

THanSplit::THanSplit(TComponent* owner) : TCustomControl(owner) {
  FWidth = 8;
  FHeight = 8;
  FAlign = alTop;
  Cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZENS));
}

THanSplit::~THanSplit() = default;

bool THanSplit::Ready() const { return FFirstPanel && FSecondPanel && FParent; }

void THanSplit::SetSide(TAlign side) {
  if (side == FSide) return;
  FSide = side;
  SetAlign(side);
  Cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(Horizontal() ? IDC_SIZENS : IDC_SIZEWE));
  PlaceBar();
}

void THanSplit::SetBarStyle(uint8_t style) {
  if (style == FBarStyle) return;
  FBarStyle = style;
  if (FParent) Invalidate();
}

void THanSplit::SetShadowColor(TColor color) {
  if (color == FShadowColor) return;
  FShadowColor = color;
  if (FParent) Invalidate();
}

void THanSplit::SetFirstPanel(TControl* panel) {
  if (panel == FFirstPanel) return;
  FFirstPanel = panel;
  PlaceBar();
}

void THanSplit::SetSecondPanel(TControl* panel) {
  if (panel == FSecondPanel) return;
  FSecondPanel = panel;
  PlaceBar();
}

void THanSplit::PlaceBar() {
  if (!FFirstPanel || !FSecondPanel) return;
  // The first panel is always the one with a fixed size.
  if (FFirstPanel->Align() == alClient && FSecondPanel->Align() != alClient) std::swap(FFirstPanel, FSecondPanel);
  if (FFirstPanel->Align() != FSide) return;
  const TControl* f = FFirstPanel;
  switch (FSide) {
    case alTop: SetTop(f->Top() + f->Height() + 1); break;
    case alBottom: SetTop(f->Top() - FHeight); break;
    case alLeft: SetLeft(f->Left() + f->Width() + 1); break;
    case alRight: SetLeft(f->Left() - FWidth); break;
    default: break;
  }
}

void THanSplit::SetRatio(int percent) {
  if (!Ready()) return;
  int total = SizeOf(FFirstPanel) + SizeOf(FSecondPanel);
  int size = percent * total / 100;
  FParent->DisableAlign();
  if (Horizontal()) FFirstPanel->SetHeight(size);
  else FFirstPanel->SetWidth(size);
  FParent->EnableAlign();
  FParent->Realign();
  FParent->Update();
  if (OnMoved) OnMoved(this);
}

void THanSplit::MoveBarTo(int position) {
  if (!Ready()) return;
  TControl* f = FFirstPanel;
  TControl* s = FSecondPanel;
  bool horz = Horizontal();
  bool leading = FSide == alTop || FSide == alLeft;
  int barSize = horz ? FHeight : FWidth;
  int start = horz ? (leading ? f->Top() : s->Top()) : (leading ? f->Left() : s->Left());
  int end = SizeOf(f) + barSize + SizeOf(s) + start;
  position -= horz ? DownPoint.y : DownPoint.x;
  if (position > end - barSize) position = end - barSize;
  if (position < start) position = start;
  int barPos = horz ? FTop : FLeft;
  if (position == barPos) return;
  FParent->DisableAlign();
  if (horz) {
    SetTop(position);
    if (leading) {
      f->SetHeight(position - f->Top());
    } else {
      f->SetBounds(f->Left(), position + barSize, f->Width(), barPos + f->Height() - position);
    }
  } else {
    SetLeft(position);
    if (leading) {
      f->SetWidth(position - f->Left());
    } else {
      f->SetBounds(position + barSize, f->Top(), barPos + f->Width() - position, f->Height());
    }
  }
  FParent->EnableAlign();
  FParent->Realign();
  FParent->Update();
  if (OnMoved) OnMoved(this);
}

std::wstring THanSplit::RatioText() const {
  if (!FFirstPanel || !FSecondPanel) return L"0 (0.0%)";
  int first = SizeOf(FFirstPanel);
  int total = first + SizeOf(FSecondPanel);
  if (total <= 0) return L"0 (0.0%)";
  double share = first * 100.0 / total;
  long long tenths = std::llround(share * 10);
  return FormatThousands(first) + L" (" + FormatThousands(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L"%)";
}

void THanSplit::UpdateRatioHint() {
  if (!FRatioHint) return;
  std::wstring text = RatioText();
  if (text == Hint) return;
  Hint = text;
  POINT p;
  GetCursorPos(&p);
  FRatioHint->ShowHintAt(text, p);
}

void THanSplit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    FDragging = true;
    DownPoint = POINT{x, y};
    FRatioHint = std::make_unique<THanHint>(nullptr);
    FRatioHint->FirstLineBold = true;
    const TIniFont& main = Options.MainFont;
    FRatioHint->Font.SetName(main.Name);
    FRatioHint->Font.SetSize(main.Size);
    FRatioHint->Font.SetStyle(main.Style);
    FRatioHint->Font.SetCharset(DEFAULT_CHARSET);
    FRatioHint->SetColor(RGBColor(196, 255, 64));
    Hint.clear();
    UpdateRatioHint();
    Invalidate();
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void THanSplit::MouseMove(TShiftState shift, int x, int y) {
  if (FDragging && FParent && FParent->Handle()) {
    POINT p{x, y};
    MapWindowPoints(FHandle, FParent->Handle(), &p, 1);
    MoveBarTo(Horizontal() ? p.y : p.x);
    UpdateRatioHint();
  }
  TCustomControl::MouseMove(shift, x, y);
}

void THanSplit::EndDrag() {
  if (!FDragging && !FRatioHint) return;
  FDragging = false;
  if (FRatioHint) FRatioHint->HideHint();
  FRatioHint.reset();
  Hint.clear();
  Invalidate();
}

void THanSplit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) EndDrag();
  TCustomControl::MouseUp(button, shift, x, y);
  if (button == mbRight) {
    POINT p{x, y};
    ShowRatioMenu(ClientToScreen(p));
  }
}

// Another window took the mouse in the middle of a drag: the drag ends where the bar is.
void THanSplit::CaptureLost() {
  if (FDragging) EndDrag();
}

void THanSplit::ShowRatioMenu(POINT screen) {
  THanPopupItems menu(1);
  for (int k = 1; k <= 9; ++k) AddPopupItem(menu, std::to_wstring(k * 10) + L"%", -1, nullptr, k, 0, 0);
  UINT command = TrackMenuAt(menu.Handle(), FHandle, screen);
  if (TMenuItemRec* item = menu.FindCommand(command)) SetRatio(item->Tag * 10);
}

void THanSplit::DblClick() {
  TCustomControl::DblClick();
  if (!ResetOnDblClick || !Ready()) return;
  DownPoint = POINT{0, 0};
  int target = OnDefaultSize ? OnDefaultSize(this) : -1;
  if (target < 0) target = (SizeOf(FFirstPanel) + SizeOf(FSecondPanel)) / 2;
  MoveBarTo(target);
}

bool THanSplit::EraseBackground(HDC) { return true; }

bool THanSplit::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_ERASEBKGND) {
    result = 1;
    return true;
  }
  return TCustomControl::WndProc(msg, wp, lp, result);
}

void THanSplit::Paint(TCanvas& canvas) {
  ++FPaintCount;
  RECT r = ClientRect();
  int w = r.right, h = r.bottom;
  TColor s = FShadowColor, l = LightColor, a = FDragging ? DragColor : LightColor;
  bool horz = Horizontal();
  // A line across the bar at offset i along its moving axis (a row, or a column).
  auto line = [&](int i, TColor c) {
    if (horz) canvas.Line(0, i, w, i, c);
    else canvas.Line(i, 0, i, h, c);
  };
  int extent = horz ? h : w;
  uint8_t style = FBarStyle;
  if (!horz && style == 9) style = 1;
  // The fill area along the moving axis: [from, to).
  int from = 0, to = extent;
  switch (style) {
    case 1:
    case 8:
      if (style == 8 && !horz) break;
      line(0, s);
      line(1, l);
      from = 2;
      break;
    case 2:
      line(extent - 2, s);
      line(extent - 1, l);
      to = extent - 2;
      break;
    case 3:
      line(0, l);
      line(extent - 1, s);
      from = 1, to = extent - 1;
      break;
    case 4:
      line(0, s);
      line(extent - 1, l);
      from = 1, to = extent - 1;
      break;
    case 5:
      line(0, s);
      line(1, l);
      line(extent - 2, s);
      line(extent - 1, l);
      from = 2, to = extent - 2;
      break;
    case 6: {
      canvas.Line(0, 0, 0, h, clBtnShadow);
      canvas.Line(1, 0, 1, h, clBtnHighlight);
      canvas.Line(0, 0, w, 0, clBtnHighlight);
      canvas.Line(w - 2, 0, w - 2, h, clBtnShadow);
      canvas.Line(w - 1, 0, w - 1, h, cl3DDkShadow);
      RECT in{2, 1, w - 2, h};
      if (in.right > in.left && in.bottom > in.top) canvas.FillRect(in, FColor);
      return;
    }
    case 7:
      for (int i = 0; i < extent; ++i) line(i, i % 2 == 0 ? s : a);
      return;
    default:
      break;
  }
  if (to <= from) return;
  RECT fill = horz ? RECT{0, from, w, to} : RECT{from, 0, to, h};
  canvas.FillRect(fill, FColor);
}
