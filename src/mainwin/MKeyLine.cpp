#include "mainwin/MKeyLine.h"

TMKeyLine::TMKeyLine(TComponent* owner) : TCustomControl(owner) {
  FHeight = 20;
  Colors = {clBtnFace, clBtnText, RGBColor(0, 0, 0xFF), clBtnFace, clBtnFace, clBtnFace, RGBColor(0, 0x80, 0), clBlack};
  for (auto& set : KeySets) set.assign(LabelCount, L"");
}

void TMKeyLine::SetFlat(bool flat) {
  FFlat = flat;
  Invalidate();
}

void TMKeyLine::SelectKeySet(TShiftState shift) {
  static const int sets[8] = {0, 1, 3, 6, 2, 4, 5, -1};
  int set = sets[shift & 7];
  if (set == FSet) return;
  FSet = set;
  Invalidate();
}

void TMKeyLine::UpdateFromKeyboard() { SelectKeySet(KeyboardShiftState()); }

RECT TMKeyLine::LabelRect(int label) const {
  const int w = ClientWidth();
  return RECT{(label - 1) * w / LabelCount, 0, label * w / LabelCount, ClientHeight()};
}

int TMKeyLine::LabelAt(int x) const {
  for (int i = 1; i <= LabelCount; ++i) {
    RECT r = LabelRect(i);
    if (x >= r.left && x < r.right) return i;
  }
  return 0;
}

void TMKeyLine::MouseDown(TMouseButton button, TShiftState, int x, int) {
  if (button == mbLeft) FPressed = LabelAt(x);
}

void TMKeyLine::MouseUp(TMouseButton button, TShiftState, int x, int y) {
  if (button != mbLeft) return;
  int label = y >= 0 && y < ClientHeight() ? LabelAt(x) : 0;
  bool same = label != 0 && label == FPressed;
  FPressed = 0;
  if (!same || FSet < 0) return;
  ClickedSet = FSet;
  ClickedLabel = label;
  if (OnKeyClick) OnKeyClick(this);
}

void TMKeyLine::Paint(TCanvas& canvas) {
  RECT all = ClientRect();
  const bool shifted = FSet == 1 || FSet == 2 || FSet == 4;
  canvas.FillRect(all, FSet == 3 || FSet == 5 || FSet == 6 ? Colors[kcAltBack] : shifted ? Colors[kcShiftBack] : Colors[kcBack]);
  canvas.Font = Font;
  for (int i = 1; i <= LabelCount; ++i) {
    RECT r = LabelRect(i);
    RECT frame = r;
    if (!FFlat) canvas.Frame3D(frame, clBtnShadow, clBtnHighlight, 1);
    if (FSet < 0) continue;
    const std::wstring& text = KeySets[static_cast<size_t>(FSet)][static_cast<size_t>(i - 1)];
    RECT k{r.left + 3, r.top, r.left + 20, r.bottom};
    canvas.Font.SetColor(Colors[kcKey]);
    canvas.DrawText(std::to_wstring(i), k, DT_SINGLELINE | DT_VCENTER);
    RECT t{r.left + 20, r.top, r.right - 2, r.bottom};
    canvas.Font.SetColor(Colors[kcText]);
    canvas.DrawText(text, t, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
  }
}
