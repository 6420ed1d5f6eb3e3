#include "foundation/HanHint.h"

#include <algorithm>

THanHint::THanHint(TComponent* owner) : TCustomControl(owner) {
  FVisible = false;
  FColor = clInfoBk;
  Font.SetColor(clInfoText);
  CreateHandle();
}

void THanHint::CreateParams(TCreateParams& p) {
  TCustomControl::CreateParams(p);
  p.Style = WS_POPUP | WS_BORDER;
  p.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
}

std::vector<std::wstring> THanHint::Lines() const {
  std::vector<std::wstring> lines;
  std::wstring cur;
  for (size_t i = 0; i < FText.size(); ++i) {
    wchar_t c = FText[i];
    if (c == L'\r' || c == L'\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == L'\r' && i + 1 < FText.size() && FText[i + 1] == L'\n') ++i;
    } else {
      cur += c;
    }
  }
  lines.push_back(cur);
  return lines;
}

void THanHint::ShowHintAt(const std::wstring& text, POINT screen) {
  FText = text;
  TScreenDC dc;
  int w = 0, h = 0;
  std::vector<std::wstring> lines = Lines();
  for (size_t i = 0; i < lines.size(); ++i) {
    TFont f = Font;
    if (i == 0 && FirstLineBold) f.SetStyle(f.Style() | fsBold);
    HGDIOBJ old = SelectObject(dc.Handle(), f.Handle());
    SIZE sz{0, 0};
    std::wstring s = lines[i].empty() ? L" " : lines[i];
    GetTextExtentPoint32W(dc.Handle(), s.c_str(), static_cast<int>(s.size()), &sz);
    SelectObject(dc.Handle(), old);
    w = std::max<int>(w, sz.cx);
    h += sz.cy;
  }
  // Below and right of the pointer, kept on the screen.
  int x = screen.x + 12, y = screen.y + 18;
  int cw = w + 10, ch = h + 6;
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  if (x + cw > area.right) x = std::max<int>(area.left, area.right - cw);
  if (y + ch > area.bottom) y = std::max<int>(area.top, screen.y - ch - 2);
  SetBounds(x, y, cw, ch);
  FVisible = true;
  if (FHandle) {
    SetWindowPos(FHandle, HWND_TOPMOST, x, y, cw, ch, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(FHandle, nullptr, TRUE);
  }
}

void THanHint::HideHint() {
  FVisible = false;
  if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

void THanHint::Paint(TCanvas& canvas) {
  RECT r = ClientRect();
  canvas.FillRect(r, FColor);
  int y = 2;
  std::vector<std::wstring> lines = Lines();
  for (size_t i = 0; i < lines.size(); ++i) {
    canvas.Font = Font;
    if (i == 0 && FirstLineBold) canvas.Font.SetStyle(Font.Style() | fsBold);
    canvas.TextOut(4, y, lines[i]);
    y += canvas.TextHeight(lines[i].empty() ? L" " : lines[i]);
  }
}
