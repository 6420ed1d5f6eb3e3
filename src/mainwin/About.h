#pragma once
// The about box: the product's name, what it is, its version and its makers, and OK.
#include <functional>

#include "foundation/HanForm.h"

class TSysControl;

class TAboutForm : public THanForm {
 public:
  // Owned by the application and named "AboutForm", so that a language file re-captions it.
  explicit TAboutForm(TComponent* owner);
  TSysControl* ProductLbl = nullptr;
  TSysControl* InfoLbl = nullptr;
  TSysControl* VersionLbl = nullptr;
  TSysControl* CopyLbl = nullptr;
  THanButton* OkBtn = nullptr;

 private:
  TFontHandle FBigFont;

 public:
  ~TAboutForm() override;
};

// Called when the about box is shown (tests drive it from here).
extern std::function<void(TAboutForm& form)> AboutBoxShown;
// Shows the about box modally.
void ShowAboutBox();
// Command 5006.
void InstallAboutBox();
