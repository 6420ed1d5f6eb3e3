#pragma once
// The program's form and push button.
#include "framework/Forms.h"

// A form with limits on the size the user can drag it to (0: no limit), a switch for
// background erasing, and minimising passed on to the main form.
class THanForm : public TForm {
 public:
  // A form built in code (no form resource), size limits cleared.
  explicit THanForm(TComponent* owner);
  int MinTrackWidth = 0, MinTrackHeight = 0, MaxTrackWidth = 0, MaxTrackHeight = 0;
  bool EraseBack = true;
  // Runs once the form is on the screen with its focus set (a modal form's loop running):
  // where whoever waits for the form takes over.
  TNotifyEvent OnShown;

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool EraseBackground(HDC dc) override;
  void DoShow() override;
};

class THanButton : public TButton {
 public:
  explicit THanButton(TComponent* owner) : TButton(owner) {}
};
