#include "framework/Canvas.h"

#include <algorithm>

namespace {
int ScreenLogPixelsY() {
  static int dpi = [] {
    const int v = GetDeviceCaps(TScreenDC().Handle(), LOGPIXELSY);
    return v > 0 ? v : 96;
  }();
  return dpi;
}
}  // namespace

HFONT CreateFontFor(const std::wstring& name, int points, uint8_t style, uint8_t charset) {
  points = std::clamp(points, 1, 400);
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(points, ScreenLogPixelsY(), 72);
  lf.lfWeight = (style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (style & fsItalic) ? 1 : 0;
  lf.lfUnderline = (style & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (style & fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  std::wstring n = name.substr(0, LF_FACESIZE - 1);
  std::copy(n.begin(), n.end(), lf.lfFaceName);
  return CreateFontIndirectW(&lf);
}

TFont::TFont() : FName(L"Tahoma"), FSize(9) {}

TFont::TFont(const TFont& o)
    : FName(o.FName), FSize(o.FSize), FStyle(o.FStyle), FCharset(o.FCharset), FColor(o.FColor) {}

TFont& TFont::operator=(const TFont& o) {
  if (this != &o) {
    FName = o.FName;
    FSize = o.FSize;
    FStyle = o.FStyle;
    FCharset = o.FCharset;
    FColor = o.FColor;
    Changed();
  }
  return *this;
}

TFont::~TFont() = default;

void TFont::Changed() {
  // The owner hears of the change first, so that a canvas can deselect the old font before
  // it is deleted.
  TFontHandle old(FHandle.release());
  if (OnChange) OnChange();
}

void TFont::SetName(const std::wstring& v) {
  if (v != FName) {
    FName = v;
    Changed();
  }
}
void TFont::SetSize(int points) {
  if (points != FSize) {
    FSize = points;
    Changed();
  }
}
void TFont::SetStyle(uint8_t v) {
  if (v != FStyle) {
    FStyle = v;
    Changed();
  }
}
void TFont::SetCharset(uint8_t v) {
  if (v != FCharset) {
    FCharset = v;
    Changed();
  }
}
void TFont::SetColor(TColor v) {
  if (v != FColor) {
    FColor = v;
    if (OnChange) OnChange();
  }
}

int TFont::Height() const { return -MulDiv(std::clamp(FSize, 1, 400), ScreenLogPixelsY(), 72); }

HFONT TFont::Handle() const {
  if (!FHandle) FHandle.reset(CreateFontFor(FName, FSize, FStyle, FCharset));
  return FHandle.get();
}

bool TFont::SameAs(const TFont& o) const {
  return FName == o.FName && FSize == o.FSize && FStyle == o.FStyle && FCharset == o.FCharset && FColor == o.FColor;
}

TCanvas::TCanvas(HDC dc) : FDC(dc) {
  FSavedDC = SaveDC(dc);
  Font.OnChange = [this] { SelectObject(FDC, GetStockObject(DEFAULT_GUI_FONT)); };
}

TCanvas::~TCanvas() {
  if (FSavedDC) RestoreDC(FDC, FSavedDC);
  Font.OnChange = nullptr;
}

void TCanvas::SelectFont() {
  HGDIOBJ old = SelectObject(FDC, Font.Handle());
  if (!FOldFont) FOldFont = old;
}

void TCanvas::FillRect(const RECT& r) { FillRect(r, BrushColor); }

void TCanvas::FillRect(const RECT& r, TColor color) {
  TBrushHandle b(CreateSolidBrush(ToColorRef(color)));
  ::FillRect(FDC, &r, b.get());
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(FDC, x, y, nullptr); }

void TCanvas::LineTo(int x, int y) {
  TPenHandle pen(CreatePen(PS_SOLID, 1, ToColorRef(PenColor)));
  HGDIOBJ old = SelectObject(FDC, pen.get());
  ::LineTo(FDC, x, y);
  SelectObject(FDC, old);
}

void TCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
  TColor keep = PenColor;
  PenColor = color;
  MoveTo(x1, y1);
  LineTo(x2, y2);
  PenColor = keep;
}

void TCanvas::Frame3D(RECT& r, TColor topLeft, TColor bottomRight, int width) {
  for (int i = 0; i < width; ++i) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    FillRect(RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillRect(RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillRect(RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    FillRect(RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    InflateRect(&r, -1, -1);
  }
}

void TCanvas::TextOut(int x, int y, const std::wstring& s) {
  SelectFont();
  SetBkMode(FDC, TRANSPARENT);
  SetTextColor(FDC, ToColorRef(Font.Color()));
  ExtTextOutW(FDC, x, y, 0, nullptr, s.c_str(), static_cast<UINT>(s.size()), nullptr);
}

SIZE TCanvas::TextExtent(const std::wstring& s) {
  SelectFont();
  SIZE sz{0, 0};
  GetTextExtentPoint32W(FDC, s.c_str(), static_cast<int>(s.size()), &sz);
  return sz;
}

int TCanvas::DrawText(const std::wstring& s, RECT& r, UINT flags) {
  SelectFont();
  SetBkMode(FDC, TRANSPARENT);
  SetTextColor(FDC, ToColorRef(Font.Color()));
  return ::DrawTextW(FDC, s.c_str(), static_cast<int>(s.size()), &r, flags);
}

void TPaintBuffer::Paint(HWND wnd, int width, int height, const std::function<void(HDC dc, const RECT& update)>& draw) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(wnd, &ps);
  const RECT& r = ps.rcPaint;
  if (width > 0 && height > 0 && r.right > r.left && r.bottom > r.top) {
    if (!FDC) FDC.reset(CreateCompatibleDC(dc));
    if (!FBitmap || FWidth < width || FHeight < height) {
      int w = std::max(width, FWidth), h = std::max(height, FHeight);
      TBitmapHandle bigger(CreateCompatibleBitmap(dc, w, h));
      if (bigger && FDC) {
        // The old bitmap leaves the context before it is freed.
        SelectObject(FDC.get(), bigger.get());
        FBitmap = std::move(bigger);
        FWidth = w;
        FHeight = h;
      }
    }
    if (FDC && FBitmap) {
      draw(FDC.get(), r);
      BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, FDC.get(), r.left, r.top, SRCCOPY);
    } else {
      draw(dc, r);  // no memory for a buffer: straight on the screen
    }
  }
  EndPaint(wnd, &ps);
}
