#include "foundation/HanForm.h"

namespace {
// Posted by a form to itself when it has been shown.
constexpr UINT WM_FORMSHOWN = WM_APP + 71;
}  // namespace

THanForm::THanForm(TComponent* owner) : TForm(owner) {}

void THanForm::DoShow() {
  TForm::DoShow();
  if (OnShown) PostMessageW(Handle(), WM_FORMSHOWN, 0, 0);
}

bool THanForm::EraseBackground(HDC dc) { return EraseBack ? TForm::EraseBackground(dc) : true; }

bool THanForm::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_FORMSHOWN) {
    if (OnShown) OnShown(this);
    result = 0;
    return true;
  }
  if (msg == WM_GETMINMAXINFO) {
    auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
    if (MinTrackWidth > 0) mm->ptMinTrackSize.x = MinTrackWidth;
    if (MinTrackHeight > 0) mm->ptMinTrackSize.y = MinTrackHeight;
    if (MaxTrackWidth > 0) mm->ptMaxTrackSize.x = MaxTrackWidth;
    if (MaxTrackHeight > 0) mm->ptMaxTrackSize.y = MaxTrackHeight;
    result = 0;
    return true;
  }
  if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_MINIMIZE) {
    TForm* main = Application().MainForm;
    if (main && main != this && main->Handle()) {
      ShowWindow(main->Handle(), SW_MINIMIZE);
      result = 0;
      return true;
    }
  }
  return TForm::WndProc(msg, wp, lp, result);
}
