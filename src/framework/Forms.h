#pragma once
// Forms (top-level windows) with modal showing, and the application object: the message
// loop, ProcessMessages for the hand-run modal loops of long operations, and the one place
// where an exception that escaped an event ends up.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"

enum TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition : uint8_t { poDesigned, poScreenCenter, poOwnerFormCenter };

constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7;

class TForm;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  TForm* MainForm = nullptr;
  std::wstring Title = L"Velmo";
  bool Terminated() const { return FTerminated; }
  void Terminate();
  // Runs the message loop until Terminate or the main form closes.
  void Run();
  // Handles every message waiting in the queue, then returns.
  void ProcessMessages();
  // Waits for one message and handles it.
  void HandleMessage();
  // Called with an exception caught at a window procedure or in the loop; the handler
  // (OnException) decides what the user sees. Without one, the text is only kept.
  void HandleException(const std::exception* e);
  std::function<void(const std::exception* e)> OnException;
  std::wstring LastExceptionText;
  int ExceptionCount = 0;
  // How many messages taken from the queue are being handled right now: above 0 inside an
  // event, so a loop pumping messages there (a long operation) is running.
  int DispatchDepth() const { return FDispatchDepth; }

 private:
  bool ProcessMessage(MSG& msg);
  bool FTerminated = false;
  int FDispatchDepth = 0;
};

// Disables every visible, enabled top-level window of this thread but one (the hand-run
// modal windows), and enables them again.
std::vector<HWND> DisableTaskWindows(HWND except);
void EnableTaskWindows(const std::vector<HWND>& windows);

// The program's one application object; forms that take part in re-captioning by
// component path are owned by it.
TApplication& Application();

class TForm : public TControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle v);
  // The close box (system menu) in the caption.
  bool CloseBox() const { return FCloseBox; }
  void SetCloseBox(bool v);
  TPosition Position = poDesigned;
  // The form sees keys before its controls (OnKeyDown of the form).
  bool KeyPreview = false;
  // The control that gets the focus when the form is shown modally (else the default
  // button, else the first tab stop).
  TControl* ActiveControl = nullptr;

  int ModalResult() const { return FModalResult; }
  void SetModalResult(int v) { FModalResult = v; }
  bool Modal() const { return FModal; }
  // Disables the other windows of the program, shows the form and runs the loop until
  // ModalResult is set; then hides the form, enables the windows and activates the one that
  // was active before. Returns ModalResult.
  int ShowModal();
  // Asks OnCloseQuery; a modal form then ends with mrCancel, another one is hidden.
  void Close();
  void SetVisible(bool v) override;
  // Centres the form on the given window (or the screen when none).
  void CenterOn(HWND wnd);

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  std::function<void(TComponent* sender, bool& canClose)> OnCloseQuery;

  // Enter, Escape and Tab as a dialog handles them; true when the key was used.
  virtual bool DialogKey(WORD key, TShiftState shift, HWND target);
  // The tab stop that Tab (or Shift+Tab) moves to from the given window.
  HWND NextTabStop(HWND from, bool backwards) const;
  TButton* DefaultButton() const;
  TButton* CancelButton() const;

 protected:
  void CreateParams(TCreateParams& params) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  virtual void DoShow();
  void ApplyStyle();

  TFormBorderStyle FBorderStyle = bsSizeable;
  bool FCloseBox = true;
  int FModalResult = 0;
  bool FModal = false;
  bool FCloseAsked = false;
};
