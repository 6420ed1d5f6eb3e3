#pragma once
// The bar between the two panels: it stands on the first panel's side and resizes that panel
// when dragged; OnMoved tells the form afterwards.
#include "framework/Controls.h"

class TSplitBar : public TCustomControl {
 public:
  explicit TSplitBar(TComponent* owner);
  // The panel it resizes; its alignment (top or left) gives the bar's direction.
  TControl* FirstControl = nullptr;
  TNotifyEvent OnMoved;
  // Places the bar just past the first control, on its side.
  void FollowFirst();

 protected:
  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void EndDrag();
  bool Vertical() const { return FirstControl && FirstControl->Align() == alTop; }
  bool FDragging = false;
  int FGrab = 0;
};
