#pragma once
// THanSplit: the bar the user drags to share room between two neighbouring panels. It shows
// the first panel's size and share in a hint while dragged, offers fixed ratios on a right
// click and returns to a default position on a double click.
#include <functional>
#include <memory>
#include <string>

#include "foundation/HanHint.h"
#include "framework/Controls.h"

class THanSplit : public TCustomControl {
 public:
  explicit THanSplit(TComponent* owner);
  ~THanSplit() override;

  // Where the left button went down, in the bar's client coordinates.
  POINT DownPoint{0, 0};
  bool Dragging() const { return FDragging; }

  TControl* FirstPanel() const { return FFirstPanel; }
  void SetFirstPanel(TControl* panel);
  TControl* SecondPanel() const { return FSecondPanel; }
  void SetSecondPanel(TControl* panel);
  // 1 top, 2 bottom (a horizontal bar moving up and down), 3 left, 4 right.
  TAlign Side() const { return FSide; }
  void SetSide(TAlign side);
  bool Horizontal() const { return FSide == alTop || FSide == alBottom; }
  // Drawing style 0 to 9.
  uint8_t BarStyle() const { return FBarStyle; }
  void SetBarStyle(uint8_t style);
  TColor ShadowColor() const { return FShadowColor; }
  void SetShadowColor(TColor color);
  TColor LightColor = clBtnHighlight;
  // Takes the light colour's place in the striped style while the bar is dragged.
  TColor DragColor = RGBColor(0, 0xFF, 0xFF);
  bool ResetOnDblClick = true;
  // The hint showing the first panel's size while dragging; null otherwise.
  THanHint* RatioHint() const { return FRatioHint.get(); }
  // How many times the bar was painted (to tell a repaint from none).
  int PaintCount() const { return FPaintCount; }

  std::function<void(THanSplit* sender)> OnMoved;
  // The bar position to restore on a double click, negative for "half".
  std::function<int(THanSplit* sender)> OnDefaultSize;

  // First panel size := percent of the two panels' sizes.
  void SetRatio(int percent);
  // Moves the bar to a position in the parent's client coordinates along its axis.
  void MoveBarTo(int position);
  void PlaceBar();
  // "200 (33.3%)": the first panel's size and its share of both.
  std::wstring RatioText() const;
  void UpdateRatioHint();
  // The ratio menu at a screen point; the chosen ratio is applied.
  void ShowRatioMenu(POINT screen);

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC dc) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;
  void CaptureLost() override;

 private:
  bool Ready() const;
  int SizeOf(const TControl* c) const { return Horizontal() ? c->Height() : c->Width(); }
  void EndDrag();

  bool FDragging = false;
  TControl* FFirstPanel = nullptr;
  TControl* FSecondPanel = nullptr;
  uint8_t FBarStyle = 5;
  TAlign FSide = alTop;
  TColor FShadowColor = clBtnShadow;
  std::unique_ptr<THanHint> FRatioHint;
  int FPaintCount = 0;
};
