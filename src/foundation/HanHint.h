#pragma once
// THanHint: a small pop-up hint window shown at a screen point, its first line optionally
// bold; it never takes the focus.
#include <string>

#include "framework/Controls.h"

class THanHint : public TCustomControl {
 public:
  explicit THanHint(TComponent* owner);
  bool FirstLineBold = false;
  const std::wstring& Text() const { return FText; }
  // Shows the text (lines cut at line breaks) with its top left corner near the point.
  void ShowHintAt(const std::wstring& text, POINT screen);
  void HideHint();

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint(TCanvas& canvas) override;
  std::vector<std::wstring> Lines() const;
  std::wstring FText;
};
