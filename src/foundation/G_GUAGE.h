#pragma once
// TGProgress: the segmented progress gauge, optionally with a colour gradient over its
// segments, or a plain bar.
#include "framework/Controls.h"

class TGProgress : public TCustomControl {
 public:
  explicit TGProgress(TComponent* owner);
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetMin(int v);
  void SetMax(int v);
  // Clamped to Min..Max; growing repaints only the new part.
  void SetPosition(int v);
  // The start colour is the control's Color.
  TColor ColorEnd() const { return FColorEnd; }
  void SetColorEnd(TColor v);
  TColor BackgroundColor() const { return FBackground; }
  void SetBackgroundColor(TColor v);
  bool Solid() const { return FSolid; }
  void SetSolid(bool v);
  bool GradientBar() const { return FGradient; }
  void SetGradientBar(bool v);
  int SepSize() const { return FSepSize; }
  // The segment width, clamped to 4..30.
  void SetSepSize(int v);
  bool SimpleMode() const { return FSimple; }
  void SetSimpleMode(bool v);
  // Pixels of the bar that show progress (inside the frame).
  int FilledWidth() const;
  // The rectangles of the drawn segments, in client coordinates.
  std::vector<RECT> Segments() const;

 protected:
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC) override { return true; }
  RECT BarRect() const;
  int FilledFor(int position) const;

  int FMin = 0, FMax = 100, FPosition = 0;
  int FSepSize = 10, FGap = 1;
  TColor FColorEnd = clBtnFace;
  TColor FBackground = clBtnFace;
  bool FSolid = false, FGradient = false, FSimple = false;
};
