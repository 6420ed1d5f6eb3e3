#include "foundation/HLABEL.h"

#include <algorithm>
#include <cmath>

#include "foundation/HanPopup.h"
#include "framework/Handles.h"

bool IsKoreanSystem() { return PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_KOREAN; }

namespace {
// The sample whose height sets the least height of a line: Latin letters with ascent and
// descent, and one Hangul syllable.
const wchar_t kLineSample[] = L"Wyg\uAC11";
const wchar_t kEllipsis[] = L"...";
}  // namespace

// ---- THanLabel ----

THanLabel::THanLabel(TComponent* owner) : TCustomControl(owner) {
  FWidth = 100;
  FHeight = 17;
  SyncBase();
}

THanLabel::~THanLabel() {
  FreeGlyph();
}

void THanLabel::FreeGlyph() {
  FGlyph.reset();
  FGlyphReady = false;
}

void THanLabel::SyncBase() {
  FModel.Base.FontName = Font.Name();
  FModel.Base.Size = Font.Size();
  FModel.Base.Style = Font.Style();
  FModel.Base.Charset = Font.Charset();
  FModel.Base.Color = Font.Color();
  FModel.Base.BackColor = FColor;
  FModel.Base.Shadow = DefaultShadow;
}

int THanLabel::BorderWidth() const {
  switch (FBorderStyle) {
    case 1:
    case 2: return 1;
    case 3: return 2;
    default: return 0;
  }
}

HFONT THanLabel::RunFont(const THanLabelItem& run) {
  if (run.PathPart) return Font.Handle();
  std::wstring key = run.FontName + L"|" + std::to_wstring(run.Size) + L"|" + std::to_wstring(run.Style) + L"|" +
                     std::to_wstring(run.Charset);
  auto it = FFonts.find(key);
  if (it != FFonts.end()) return it->second.get();
  HFONT f = CreateFontFor(run.FontName, run.Size, run.Style, run.Charset);
  if (!f) return Font.Handle();
  FFonts[key].reset(f);
  return f;
}

int THanLabel::EllipsisWidth() {
  TScreenDC dc;
  HGDIOBJ old = SelectObject(dc.Handle(), Font.Handle());
  SIZE sz{0, 0};
  GetTextExtentPoint32W(dc.Handle(), kEllipsis, 3, &sz);
  SelectObject(dc.Handle(), old);
  return sz.cx;
}

void THanLabel::LayoutRuns() {
  TScreenDC dc;
  HDC h = dc.Handle();
  HGDIOBJ old = SelectObject(h, Font.Handle());
  SIZE sample{0, 0};
  GetTextExtentPoint32W(h, kLineSample, 4, &sample);
  SIZE slash{0, 0};
  GetTextExtentPoint32W(h, L"/", 1, &slash);
  bool korean = IsKoreanSystem();
  int start = FMargin + BorderWidth();
  FModel.Layout(start, FIndent, sample.cy / 2, [&](const THanLabelItem& run, int& w, int& ht) {
    SelectObject(h, RunFont(run));
    SIZE sz{0, 0};
    const std::wstring& t = run.Text;
    if (!t.empty()) GetTextExtentPoint32W(h, t.c_str(), static_cast<int>(t.size()), &sz);
    else GetTextExtentPoint32W(h, L" ", 1, &sz), sz.cx = 0;
    if (korean && run.IsPathSlash()) sz.cx = slash.cx;
    w = sz.cx;
    ht = sz.cy;
  });
  SelectObject(h, old);
}

void THanLabel::ShortenPaths() {
  FModel.ShortenPaths(FWidth - 2 * FMargin - FIndent, EllipsisWidth());
}

void THanLabel::Changed() {
  if (FUpdateCount > 0) {
    FPending = true;
    return;
  }
  LayoutRuns();
  // Positions from the layout assume whole runs; path runs are fitted again at once.
  if (FModel.PathMode) ShortenPaths();
  Invalidate();
}

void THanLabel::AddRun(const std::wstring& text, const std::wstring& fontName, int size, TColor color,
                       TColor backColor, uint8_t style, uint8_t alignment, uint8_t charset, int pathLevel,
                       bool shadow, bool newLine, bool pathPart, uint32_t mask) {
  SyncBase();
  THanLabelItem given;
  given.Text = text;
  given.FontName = fontName;
  given.Size = size;
  given.Color = color;
  given.BackColor = backColor;
  given.Style = style;
  given.Alignment = alignment;
  given.Charset = charset;
  given.PathLevel = pathLevel;
  given.Shadow = shadow;
  given.NewLine = newLine;
  given.PathPart = pathPart;
  FModel.AddRun(given, mask);
  Changed();
}

void THanLabel::AddText(const std::wstring& text, bool newLine) {
  AddRun(text, L"", 0, 0, 0, 0, 0, 0, 0, false, newLine, false, 0);
}

void THanLabel::AddColorText(const std::wstring& text, TColor color, bool newLine) {
  AddRun(text, L"", 0, color, 0, 0, 0, 0, 0, false, newLine, false, lmColor);
}

void THanLabel::AddBackColorText(const std::wstring& text, TColor backColor, bool newLine) {
  AddRun(text, L"", 0, 0, backColor, 0, 0, 0, 0, false, newLine, false, lmBackColor);
}

void THanLabel::AddPathText(const std::wstring& path) {
  if (path.empty()) return;
  BeginUpdate();
  SyncBase();
  FModel.AddPathText(path);
  FPending = true;
  EndUpdate();
}

void THanLabel::Clear() {
  FModel.Clear();
  if (FUpdateCount > 0) FPending = true;
  Invalidate();
}

void THanLabel::BeginUpdate() {
  if (FUpdateCount++ == 0) FPending = false;
}

void THanLabel::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount > 0) return;
  if (FPending) LayoutRuns();
  if (FModel.PathMode && FWidth - 2 * FMargin - FIndent < FModel.TextRight) ShortenPaths();
  FPending = false;
  Invalidate();
}

void THanLabel::SetBorderStyle(uint8_t v) {
  if (v == FBorderStyle) return;
  FBorderStyle = v;
  // Only the frame changes: the runs stay where they are, so a label raised under the
  // mouse does not shift its text.
  Invalidate();
}

void THanLabel::SetMargin(int v) {
  if (v == FMargin) return;
  FMargin = v;
  Changed();
}

void THanLabel::SetIndent(int v) {
  if (v == FIndent) return;
  FIndent = v;
  Changed();
}

void THanLabel::SetShadowColor(TColor v) {
  if (v == FShadowColor) return;
  FShadowColor = v;
  Invalidate();
}

void THanLabel::SetColor(TColor v) {
  if (v == FColor) return;
  TCustomControl::SetColor(v);
  FreeGlyph();
}

void THanLabel::FontChanged() {
  FreeGlyph();
  TCustomControl::FontChanged();
}

void THanLabel::GetTextExtent(int& width, int& right, int& height) const {
  if (FPending) {
    width = right = height = -1;
    return;
  }
  width = FModel.TextWidth;
  right = FModel.RightExtent;
  height = FModel.TextHeight;
}

RECT THanLabel::RunRect(int i) const {
  const THanLabelItem& r = Runs(i);
  int e = 0;
  if (r.Shown == TRunShown::rsDots) {
    TScreenDC dc;
    HGDIOBJ old = SelectObject(dc.Handle(), Font.Handle());
    SIZE sz{0, 0};
    GetTextExtentPoint32W(dc.Handle(), kEllipsis, 3, &sz);
    SelectObject(dc.Handle(), old);
    e = sz.cx;
  }
  return RECT{r.Left, r.Top, r.Left + r.Advance(e), r.Top + r.Height};
}

void THanLabel::PositionChanged() {
  if (FModel.PathMode && !FPending && FUpdateCount == 0) {
    ShortenPaths();
    Invalidate();
  }
}

bool THanLabel::EraseBackground(HDC dc) {
  if (FVisible && FHeight > 0) return true;  // Paint fills it all
  return TCustomControl::EraseBackground(dc);
}

bool THanLabel::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_SYSCOLORCHANGE) FreeGlyph();
  return TCustomControl::WndProc(msg, wp, lp, result);
}

void THanLabel::BuildSlashGlyph(HDC ref) {
  FreeGlyph();
  TMemoryDCHandle srcDC(CreateCompatibleDC(ref));
  HDC src = srcDC.get();
  HGDIOBJ oldFont = SelectObject(src, Font.Handle());
  SIZE sz{0, 0};
  GetTextExtentPoint32W(src, L"/", 1, &sz);
  FGlyphWidth = std::max<int>(sz.cx, 1);
  FGlyphHeight = sz.cy + 2;
  TBitmapHandle drawn(CreateCompatibleBitmap(ref, FGlyphWidth, FGlyphHeight));
  HGDIOBJ oldBmp = SelectObject(src, drawn.get());
  RECT all{0, 0, FGlyphWidth, FGlyphHeight};
  FillRect(src, &all, TBrushHandle(CreateSolidBrush(ToColorRef(FColor))).get());
  SetBkMode(src, TRANSPARENT);
  SetTextColor(src, ToColorRef(Font.Color()));
  ExtTextOutW(src, 0, 1, 0, nullptr, L"/", 1, nullptr);
  TMemoryDCHandle dstDC(CreateCompatibleDC(ref));
  HDC dst = dstDC.get();
  FGlyph.reset(CreateCompatibleBitmap(ref, FGlyphWidth, FGlyphHeight));
  HGDIOBJ oldDst = SelectObject(dst, FGlyph.get());
  for (int y = 0; y < FGlyphHeight; ++y)
    for (int x = 0; x < FGlyphWidth; ++x) SetPixel(dst, FGlyphWidth - 1 - x, y, GetPixel(src, x, y));
  SelectObject(dst, oldDst);
  SelectObject(src, oldBmp);
  SelectObject(src, oldFont);
  FGlyphReady = true;
}

void THanLabel::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (button == mbRight) ShowPopUpMenu(x, y);
}

void THanLabel::ShowPopUpMenu(int x, int y) {
  if (!PopUpMenu || !FHandle) return;
  POINT p = ClientToScreen(POINT{x, y});
  PopUpMenu->Popup(p.x, p.y, FHandle);
}

void THanLabel::Paint(TCanvas& canvas) {
  HDC dc = canvas.Handle();
  RECT client = ClientRect();
  int bw = BorderWidth();
  RECT inner = client;
  InflateRect(&inner, -bw, -bw);
  // Without runs there is no frame either, so the frame's room is filled too.
  canvas.FillRect(FModel.Runs.empty() ? client : inner, FColor);
  if (FModel.Runs.empty()) return;
  int e = EllipsisWidth();
  bool korean = IsKoreanSystem();
  SetBkMode(dc, TRANSPARENT);
  for (const auto& item : FModel.Runs) {
    const THanLabelItem& r = *item;
    if (r.Shown == TRunShown::rsHidden) continue;
    RECT rr{r.Left, r.Top, r.Left + r.Advance(e), r.Top + r.Height};
    if (rr.right <= rr.left) continue;
    UINT flags = DT_NOPREFIX | DT_SINGLELINE;
    if (r.Alignment == laBottom) flags |= DT_BOTTOM;
    else if (r.Alignment == laCenter) flags |= DT_VCENTER;
    std::wstring text = r.Shown == TRunShown::rsDots ? std::wstring(kEllipsis) : r.Text;
    if (r.Shown == TRunShown::rsShortened || r.Shown == TRunShown::rsClipped) flags |= DT_END_ELLIPSIS;
    if (r.PathPart && korean && r.IsPathSlash() && r.Shown == TRunShown::rsWhole) {
      if (!FGlyphReady) BuildSlashGlyph(dc);
      int y = r.Alignment == laCenter ? rr.top + (rr.bottom - rr.top - FGlyphHeight) / 2 : rr.bottom - FGlyphHeight;
      TMemoryDCHandle mem(CreateCompatibleDC(dc));
      HGDIOBJ old = SelectObject(mem.get(), FGlyph.get());
      BitBlt(dc, rr.left, y, FGlyphWidth, FGlyphHeight, mem.get(), 0, 0, SRCCOPY);
      SelectObject(mem.get(), old);
      continue;
    }
    HFONT font = RunFont(r);
    if (!r.PathPart && r.BackColor != FColor) canvas.FillRect(rr, r.BackColor);
    HGDIOBJ oldFont = SelectObject(dc, font);
    if (r.Shadow) {
      RECT sr = rr;
      OffsetRect(&sr, 1, 1);
      SetTextColor(dc, ToColorRef(FShadowColor));
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &sr, flags);
    }
    SetTextColor(dc, ToColorRef(r.Color));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rr, flags);
    SelectObject(dc, oldFont);
  }
  RECT fr = client;
  switch (FBorderStyle) {
    case 1: canvas.Frame3D(fr, clBtnShadow, clBtnHighlight, 1); break;
    case 2: canvas.Frame3D(fr, clBtnHighlight, clBtnShadow, 1); break;
    case 3:
      canvas.Frame3D(fr, clBtnShadow, clBtnHighlight, 1);
      canvas.Frame3D(fr, clBtnHighlight, clBtnShadow, 1);
      break;
    default: break;
  }
}

// ---- THanLabelEX ----

THanLabelEX::THanLabelEX(TComponent* owner) : THanLabel(owner) { TakeDefaults(); }

void THanLabelEX::TakeDefaults() {
  FDefaults.FontName = Font.Name();
  FDefaults.Size = Font.Size();
  FDefaults.FontColor = Font.Color();
  FDefaults.Style = Font.Style();
  FDefaults.BackColor = FColor;
}

void THanLabelEX::ParentSet() {
  TakeDefaults();
  FDefaults.BackColor = clBtnFace;
  THanLabel::SetColor(clBtnFace);
}

void THanLabelEX::SetFontColor(TColor v) {
  FDefaults.FontColor = v;
  Font.SetColor(v);
}

void THanLabelEX::SetBackColor(TColor v) {
  FDefaults.BackColor = v;
  THanLabel::SetColor(v);
}

void THanLabelEX::SetCaption(const std::wstring& v) {
  if (v == FMarkup) return;
  FMarkup = v;
  FCaption = v;
  BeginUpdate();
  Clear();
  SyncBase();
  ParseLabelMarkup(v, FDefaults, FModel);
  FPending = true;
  EndUpdate();
}

// ---- THanPathLabel ----

THanPathLabel::THanPathLabel(TComponent* owner) : THanLabel(owner) { FModel.WholePath = true; }

THanPathLabel::~THanPathLabel() = default;

void THanPathLabel::Rebuild() {
  BeginUpdate();
  Clear();
  AddPathText(FPath);
  if (!FInfo.empty()) AddText(L" " + FInfo, false);
  FPending = true;
  EndUpdate();
}

void THanPathLabel::SetPath(const std::wstring& v) {
  if (v == FPath) return;
  FPath = v;
  Rebuild();
}

void THanPathLabel::SetInfo(const std::wstring& v) {
  if (v == FInfo) return;
  FInfo = v;
  Rebuild();
}

void THanPathLabel::SetFlat(bool v) {
  if (v == FFlat) return;
  FFlat = v;
  FRaised = false;
  SetBorderStyle(0);
  if (v && !FHoverTimer) {
    FHoverTimer = new TTimer(this);
    FHoverTimer->SetEnabled(false);
    FHoverTimer->SetInterval(100);
    FHoverTimer->OnTimer = [this](TComponent*) {
      POINT p;
      GetCursorPos(&p);
      if (!FHandle || WindowFromPoint(p) != FHandle) {
        FHoverTimer->SetEnabled(false);
        FRaised = false;
        SetBorderStyle(0);
      }
    };
  }
  if (!v && FHoverTimer) FHoverTimer->SetEnabled(false);
}

void THanPathLabel::MouseMove(TShiftState shift, int x, int y) {
  if (FFlat && !FRaised) {
    FRaised = true;
    SetBorderStyle(2);
    FHoverTimer->SetEnabled(true);
  }
  THanLabel::MouseMove(shift, x, y);
}

// A star as high as a line of the label's font.
int THanPathLabel::FavMarkSize() const {
  TScreenDC dc;
  HGDIOBJ old = SelectObject(dc.Handle(), Font.Handle());
  TEXTMETRICW tm{};
  GetTextMetricsW(dc.Handle(), &tm);
  SelectObject(dc.Handle(), old);
  return std::max<int>(8, tm.tmHeight);
}

void THanPathLabel::SetFavMark(bool v) {
  if (v == FFavMark) return;
  FFavMark = v;
  SetIndent(v ? FavMarkSize() + 2 : 0);
  Invalidate();
}

void THanPathLabel::FontChanged() {
  THanLabel::FontChanged();
  if (FFavMark) SetIndent(FavMarkSize() + 2);
}

RECT THanPathLabel::FavMarkRect() const {
  if (!FFavMark) return RECT{0, 0, 0, 0};
  int size = FavMarkSize();
  int left = FMargin + BorderWidth();
  int top = std::max(0, (ClientHeight() - size) / 2);
  return RECT{left, top, left + size, top + size};
}

void THanPathLabel::Paint(TCanvas& canvas) {
  THanLabel::Paint(canvas);
  if (!FFavMark) return;
  RECT r = FavMarkRect();
  double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0 + 0.5;
  double outer = (r.right - r.left) / 2.0, inner = outer * 0.45;
  POINT pts[10];
  for (int i = 0; i < 10; ++i) {
    double a = -1.5707963267948966 + i * 0.6283185307179586;
    double rad = i % 2 == 0 ? outer : inner;
    pts[i] = POINT{static_cast<LONG>(std::lround(cx + rad * std::cos(a))), static_cast<LONG>(std::lround(cy + rad * std::sin(a)))};
  }
  HDC dc = canvas.Handle();
  TBrushHandle brush(CreateSolidBrush(RGB(255, 190, 0)));
  TPenHandle pen(CreatePen(PS_SOLID, 1, RGB(150, 90, 0)));
  HGDIOBJ oldBrush = SelectObject(dc, brush.get()), oldPen = SelectObject(dc, pen.get());
  Polygon(dc, pts, 10);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
}

int THanPathLabel::PartAt(int x, int y) const {
  if (FFavMark) {
    RECT m = FavMarkRect();
    if (x >= m.left && x < m.right + 2 && y >= 0 && y < ClientHeight()) return 4;
  }
  for (int i = 0; i < RunCount(); ++i) {
    if (!Runs(i).PathPart || Runs(i).Shown == TRunShown::rsHidden) continue;
    RECT r = RunRect(i);
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return 1;
  }
  return 0;
}

void THanPathLabel::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (OnPartMouseUp) OnPartMouseUp(this, button, PartAt(x, y));
  if (button == mbRight) ShowPopUpMenu(x, y);
}

// ---- THanElLabel ----

THanElLabel::THanElLabel(TComponent* owner) : TCustomControl(owner) {
  FWidth = 100;
  FHeight = 17;
}

void THanElLabel::SetCaption(const std::wstring& v) {
  if (v == FCaption) return;
  TCustomControl::SetCaption(v);
}

void THanElLabel::SetEllipsis(bool v) {
  if (v == FEllipsis) return;
  FEllipsis = v;
  Invalidate();
}

void THanElLabel::SetRight(bool v) {
  if (v == FRight) return;
  FRight = v;
  if (v) FCenter = false;
  Invalidate();
}

void THanElLabel::SetCenter(bool v) {
  if (v == FCenter) return;
  FCenter = v;
  if (v) FRight = false;
  Invalidate();
}

void THanElLabel::Paint(TCanvas& canvas) {
  RECT r = ClientRect();
  canvas.FillRect(r, FColor);
  UINT flags = DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER;
  if (FRight) flags |= DT_RIGHT;
  else if (FCenter) flags |= DT_CENTER;
  if (FEllipsis) flags |= DT_END_ELLIPSIS;
  canvas.DrawText(FCaption, r, flags);
}
