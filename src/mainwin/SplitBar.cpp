#include "mainwin/SplitBar.h"

#include <algorithm>

TSplitBar::TSplitBar(TComponent* owner) : TCustomControl(owner) {
  FWidth = 6;
  FHeight = 6;
}

void TSplitBar::FollowFirst() {
  if (!FirstControl) return;
  if (Vertical()) {
    SetAlign(alTop);
    SetBounds(0, FirstControl->Top() + FirstControl->Height(), Width(), 6);
  } else {
    SetAlign(alLeft);
    SetBounds(FirstControl->Left() + FirstControl->Width(), 0, 6, Height());
  }
}

void TSplitBar::Paint(TCanvas& canvas) {
  RECT r = ClientRect();
  canvas.FillRect(r, clBtnFace);
  canvas.Frame3D(r, clBtnHighlight, clBtnShadow, 1);
}

bool TSplitBar::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_SETCURSOR && LOWORD(lp) == HTCLIENT) {
    SetCursor(LoadCursorW(nullptr, Vertical() ? IDC_SIZENS : IDC_SIZEWE));
    result = TRUE;
    return true;
  }
  if (msg == WM_CAPTURECHANGED) EndDrag();
  return TCustomControl::WndProc(msg, wp, lp, result);
}

void TSplitBar::MouseDown(TMouseButton button, TShiftState, int x, int y) {
  if (button != mbLeft || !FirstControl) return;
  FDragging = true;
  FGrab = Vertical() ? y : x;
}

void TSplitBar::MouseMove(TShiftState, int x, int y) {
  if (!FDragging || !FirstControl || !Parent()) return;
  if (Vertical()) {
    int size = std::clamp(Top() + y - FGrab, 0, std::max(0, Parent()->ClientHeight() - Height()));
    FirstControl->SetHeight(size);
  } else {
    int size = std::clamp(Left() + x - FGrab, 0, std::max(0, Parent()->ClientWidth() - Width()));
    FirstControl->SetWidth(size);
  }
  FollowFirst();
  if (Parent()) Parent()->Realign();
}

void TSplitBar::MouseUp(TMouseButton button, TShiftState, int, int) {
  if (button == mbLeft) EndDrag();
}

void TSplitBar::EndDrag() {
  // Also when another window takes the mouse: the drag ends where it stands.
  if (!FDragging) return;
  FDragging = false;
  if (OnMoved) OnMoved(this);
}
