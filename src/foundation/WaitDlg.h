#pragma once
// TWaitingModalForm: the modal wait window that runs a piece of work on the user-interface
// thread, with an information line, a bold second line and a Cancel button that sets
// NowStop. The work pumps messages (Application().ProcessMessages) and polls NowStop.
#include <functional>
#include <string>
#include <vector>

#include "foundation/HLABEL.h"
#include "foundation/HanForm.h"

class TWaitingModalForm : public THanForm {
 public:
  // Owner null: the main form.
  explicit TWaitingModalForm(TComponent* owner);
  bool NowStop = false;
  THanElLabel* InfoLabel = nullptr;
  THanElLabel* SubLabel = nullptr;
  THanButton* CancelBtn = nullptr;
  void SetInfoText(const std::wstring& v);
  void SetSubText(const std::wstring& v);
  bool Simple() const { return FSimple; }
  // On: the second line hidden and the window 100 pixels high; off: 140.
  void SetSimple(bool v);
  // Disables the other windows, shows this one, runs Work, hides it, enables the windows
  // and activates the window active before. Returns the modal result (mrCancel after
  // Cancel, else mrOk unless the work set another).
  int ExecuteModal();
  // Shows the window modally for work that the caller runs itself, polling NowStop.
  void BeginWait();
  void EndWait();
  // The work; a descendant overrides it, or sets OnWork.
  virtual void Work();
  std::function<void(TWaitingModalForm* sender)> OnWork;

 private:
  void Layout();
  bool FSimple = false;
  std::vector<HWND> FDisabled;
  HWND FPrevious = nullptr;
  bool FWaiting = false;
};
