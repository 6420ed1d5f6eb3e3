#include "foundation/G_GUAGE.h"

#include <algorithm>

TGProgress::TGProgress(TComponent* owner) : TCustomControl(owner) {
  FWidth = 150;
  FHeight = 16;
  FColor = clHighlight;
}

RECT TGProgress::BarRect() const {
  RECT r = ClientRect();
  InflateRect(&r, -1, -1);  // inside the sunken frame
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

int TGProgress::FilledFor(int position) const {
  RECT r = BarRect();
  long long span = static_cast<long long>(FMax) - FMin;
  if (span <= 0) return 0;
  long long w = r.right - r.left;
  return static_cast<int>(w * (static_cast<long long>(position) - FMin) / span);
}

int TGProgress::FilledWidth() const { return FilledFor(FPosition); }

void TGProgress::SetMin(int v) {
  if (v == FMin) return;
  FMin = v;
  if (FMax < FMin) FMax = FMin;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TGProgress::SetMax(int v) {
  if (v == FMax) return;
  FMax = v;
  if (FMin > FMax) FMin = FMax;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TGProgress::SetPosition(int v) {
  v = std::clamp(v, FMin, FMax);
  if (v == FPosition) return;
  int oldFill = FilledFor(FPosition);
  FPosition = v;
  int newFill = FilledFor(v);
  if (!FHandle) return;
  if (newFill > oldFill && !FGradient) {
    RECT b = BarRect();
    // From the start of the segment that was cut off, to the new end.
    int step = FSimple ? 1 : FSepSize + (FSolid ? 0 : FGap);
    int from = FSimple ? oldFill : (oldFill / step) * step;
    RECT r{b.left + from, b.top, b.left + newFill, b.bottom};
    InvalidateRect(FHandle, &r, FALSE);
  } else {
    Invalidate();
  }
}

void TGProgress::SetColorEnd(TColor v) {
  FColorEnd = v;
  Invalidate();
}
void TGProgress::SetBackgroundColor(TColor v) {
  FBackground = v;
  Invalidate();
}
void TGProgress::SetSolid(bool v) {
  FSolid = v;
  Invalidate();
}
void TGProgress::SetGradientBar(bool v) {
  FGradient = v;
  Invalidate();
}
void TGProgress::SetSepSize(int v) {
  FSepSize = std::clamp(v, 4, 30);
  Invalidate();
}
void TGProgress::SetSimpleMode(bool v) {
  FSimple = v;
  Invalidate();
}

std::vector<RECT> TGProgress::Segments() const {
  std::vector<RECT> out;
  RECT b = BarRect();
  int fill = FilledWidth();
  if (FSimple) {
    if (fill > 0) out.push_back(RECT{b.left, b.top, b.left + fill, b.bottom});
    return out;
  }
  int gap = FSolid ? 0 : FGap;
  for (int x = 0; x < fill; x += FSepSize + gap)
    out.push_back(RECT{b.left + x, b.top, b.left + std::min(x + FSepSize, fill), b.bottom});
  return out;
}

namespace {
TColor Blend(TColor a, TColor b, int num, int den) {
  COLORREF ca = ToColorRef(a), cb = ToColorRef(b);
  if (den <= 0) return static_cast<TColor>(ca);
  auto mix = [&](int sa, int sb) { return sa + (sb - sa) * num / den; };
  return RGBColor(static_cast<uint8_t>(mix(GetRValue(ca), GetRValue(cb))),
                  static_cast<uint8_t>(mix(GetGValue(ca), GetGValue(cb))),
                  static_cast<uint8_t>(mix(GetBValue(ca), GetBValue(cb))));
}
}  // namespace

void TGProgress::Paint(TCanvas& canvas) {
  RECT frame = ClientRect();
  canvas.Frame3D(frame, clBtnShadow, clBtnHighlight, 1);
  RECT b = BarRect();
  canvas.FillRect(b, FBackground);
  int total = b.right - b.left;
  for (const RECT& s : Segments()) {
    TColor c = FGradient ? Blend(FColor, FColorEnd, s.left - b.left, std::max(total - 1, 1)) : FColor;
    canvas.FillRect(s, c);
  }
}
