#include "framework/GroupFrame.h"

#include "framework/Canvas.h"

void TGroupFrame::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = L"BUTTON";
  p.SystemClass = true;
  p.Style &= ~WS_CLIPCHILDREN;
  p.Style |= BS_GROUPBOX;
}

bool TGroupFrame::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_ERASEBKGND) {
    // The form clips its children, so nothing else paints the inside.
    RECT r;
    GetClientRect(FHandle, &r);
    const TBrushHandle brush(CreateSolidBrush(ToColorRef(Parent() ? Parent()->Color() : clBtnFace)));
    FillRect(reinterpret_cast<HDC>(wp), &r, brush.get());
    result = 1;
    return true;
  }
  return TControl::WndProc(msg, wp, lp, result);
}

void TGroupFrame::SendToBack() {
  if (FHandle) SetWindowPos(FHandle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
