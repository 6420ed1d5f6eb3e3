#pragma once
// The function-key line: a bar of ten key labels ("1" .. "10" with the text of the key) along
// the bottom of the main form. It holds seven text sets, one per shift state, that its owner
// fills, and eight colours; a left click released over a label fires OnKeyClick with the set
// shown and the label's number (1 for the first).
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"

class TMKeyLine : public TCustomControl {
 public:
  static constexpr int SetCount = 7, LabelCount = 10;
  // Colour slots: back, text, key number, Shift back, Alt back, hot label back, hot key, hot text.
  enum { kcBack, kcText, kcKey, kcShiftBack, kcAltBack, kcHotBack, kcHotKey, kcHotText, kcCount };

  explicit TMKeyLine(TComponent* owner);
  void SetFlat(bool flat);
  bool Flat() const { return FFlat; }
  // Set 0 with no modifier, 1 Shift, 2 Ctrl, 3 Alt, 4 Shift+Ctrl, 5 Alt+Ctrl, 6 Shift+Alt; an
  // empty line for all three (shift bits: Shift 1, Alt 2, Ctrl 4).
  void SelectKeySet(TShiftState shift);
  void UpdateFromKeyboard();
  // -1: the empty line.
  int CurrentSet() const { return FSet; }
  // The label under a point of the client area (1..10), or 0.
  int LabelAt(int x) const;
  RECT LabelRect(int label) const;

  std::array<std::vector<std::wstring>, SetCount> KeySets;
  std::array<TColor, kcCount> Colors;
  // After a click: the set shown and the label (1 for the first).
  int ClickedSet = -1, ClickedLabel = 0;
  std::function<void(TMKeyLine* sender)> OnKeyClick;

 protected:
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC) override { return true; }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  bool FFlat = false;
  int FSet = 0;
  int FPressed = 0;
};
