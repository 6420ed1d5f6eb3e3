#include "fileops/OpForm.h"

#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"

namespace {
std::wstring Fill(std::wstring text, const std::wstring& value) {
  size_t at = text.find(L"%S");
  if (at != std::wstring::npos) text.replace(at, 2, value);
  return text;
}
}  // namespace

void TGroupFrame::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = L"BUTTON";
  p.SystemClass = true;
  p.Style &= ~WS_CLIPCHILDREN;
  p.Style |= BS_GROUPBOX;
}

TOperationForm::TOperationForm(TComponent* owner) : THanForm(owner) {}

void TOperationForm::CreateParams(TCreateParams& p) {
  THanForm::CreateParams(p);
  p.Style &= ~static_cast<DWORD>(WS_MAXIMIZEBOX);
}

void TOperationForm::Pump() { Application().ProcessMessages(); }

int TOperationForm::Execute() {
  // A drag or a held mouse button in another window ends here.
  if (HWND capture = GetCapture()) {
    SendMessageW(capture, WM_CANCELMODE, 0, 0);
    ReleaseCapture();
  }
  FModal = true;
  HWND previous = GetActiveWindow();
  std::vector<HWND> disabled = DisableTaskWindows(FHandle);
  SetVisible(true);
  SetActiveWindow(FHandle);
  FModalResult = mrNone;
  int result = mrNone;
  try {
    RunOperation();
    result = FModalResult;
  } catch (...) {
    EnableTaskWindows(disabled);
    SetVisible(false);
    FModal = false;
    throw;
  }
  SetVisible(false);
  EnableTaskWindows(disabled);
  if (previous && IsWindow(previous)) {
    SetActiveWindow(previous);
    SetForegroundWindow(previous);
  }
  FModal = false;
  return result;
}

void TOperationForm::ResetRunState() {
  FStopConfirmed = false;
  SkipAllErrors = false;
}

bool TOperationForm::CheckCancel(bool allDone) {
  if (FStopConfirmed) return true;
  if (FModalResult != mrCancel) return false;
  if (allDone) {
    FModalResult = mrNone;
    return false;
  }
  if (AskYesNo(Fill(LoadMessageText(StopQuestionMsg), OperationName), true)) {
    FStopConfirmed = true;
    return true;
  }
  FModalResult = mrNone;
  return false;
}

bool TOperationForm::AskSkipOnError(const std::wstring& text) {
  if (SkipAllErrors) return true;
  int answer = MessageBoxStd(L"", text, LoadMessageText(10509), 2, 0, 2);
  if (answer == 1) SkipAllErrors = true;
  return answer == 0 || answer == 1;
}

std::wstring TOperationForm::ErrorText(const std::wstring& path, DWORD error) {
  return L"\"<P>" + path + L"<>\"<D>\r\r" + SystemErrorText(error);
}

bool TOperationForm::ApplicationMinimized() {
  TForm* main = Application().MainForm;
  return main && main->Handle() && IsIconic(main->Handle());
}

void TOperationForm::BeginTitle() {
  FSavedTitle = Application().Title;
  FSavedCaption.clear();
  if (TForm* main = Application().MainForm; main && main->Handle()) {
    wchar_t buf[512] = {};
    GetWindowTextW(main->Handle(), buf, 512);
    FSavedCaption = buf;
  }
  FWasMinimized = false;
}

void TOperationForm::ShowPercent(int percent) {
  bool minimized = ApplicationMinimized();
  std::wstring title = minimized ? OperationName + L" - " + std::to_wstring(percent) + L"%" : FSavedTitle;
  if (minimized) FWasMinimized = true;
  if (title != Application().Title) {
    Application().Title = title;
    if (TForm* main = Application().MainForm; main && main->Handle())
      SetWindowTextW(main->Handle(), (minimized ? title : FSavedCaption).c_str());
  }
}

void TOperationForm::EndTitle() {
  bool changed = Application().Title != FSavedTitle;
  Application().Title = FSavedTitle;
  TForm* main = Application().MainForm;
  if (changed && main && main->Handle()) SetWindowTextW(main->Handle(), FSavedCaption.c_str());
  if ((FWasMinimized || ApplicationMinimized()) && main && main->Handle())
    SendMessageW(main->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
}
