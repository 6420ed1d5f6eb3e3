#pragma once
#include <windows.h>

#include "framework/Controls.h"

// A group box: a frame with a caption around other controls.
// The frame draws only its line and caption: it fills its inside with the form's colour, and
// SendToBack puts it under the controls that stand in it, once they are made.
class TGroupFrame : public TControl {
 public:
  explicit TGroupFrame(TComponent* owner) : TControl(owner) {}
  void SendToBack();

 protected:
  void CreateParams(TCreateParams& params) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};
