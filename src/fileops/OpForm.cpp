#include "fileops/OpForm.h"

#include <algorithm>

#include "framework/Canvas.h"

#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MOption.h"
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

bool TGroupFrame::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_ERASEBKGND) {
    // The form clips its children, so nothing else paints the inside.
    RECT r;
    GetClientRect(FHandle, &r);
    HBRUSH brush = CreateSolidBrush(ToColorRef(Parent() ? Parent()->Color() : clBtnFace));
    FillRect(reinterpret_cast<HDC>(wp), &r, brush);
    DeleteObject(brush);
    result = 1;
    return true;
  }
  return TControl::WndProc(msg, wp, lp, result);
}

void TGroupFrame::SendToBack() {
  if (FHandle) SetWindowPos(FHandle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
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
  FlushProgress();
  if (AskYesNo(Fill(LoadMessageText(StopQuestionMsg), OperationName), true)) {
    FStopConfirmed = true;
    return true;
  }
  FModalResult = mrNone;
  return false;
}

bool TOperationForm::AskSkipOnError(const std::wstring& text) {
  if (SkipAllErrors) return true;
  FlushProgress();
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

TProgressForm::TProgressForm(TComponent* owner, TColor fileFrom, TColor fileTo, TColor totalFrom, TColor totalTo)
    : TOperationForm(owner) {
  SetBorderStyle(bsSingle);
  SetCloseBox(true);
  Position = poOwnerFormCenter;
  Font.SetName(Options.MainFont.Name);
  if (Options.MainFont.Size > 0) Font.SetSize(Options.MainFont.Size);
  SetClientSize(562, 175);

  auto group = new TGroupFrame(this);
  group->SetBounds(10, 5, 542, 130);
  group->SetParent(this);
  auto label = [&](int l, int t, int w, bool right) {
    auto* lb = new THanElLabel(this);
    lb->SetBounds(l, t, w, 14);
    lb->SetRight(right);
    lb->SetParent(this);
    return lb;
  };
  SourceLabel = new THanLabelEX(this);
  SourceLabel->SetBounds(25, 21, 252, 16);
  SourceLabel->SetParent(this);
  TargetLabel = new THanLabelEX(this);
  TargetLabel->SetBounds(285, 21, 252, 16);
  TargetLabel->SetParent(this);
  NameLabel = label(25, 46, 400, false);
  NameLabel->SetEllipsis(true);
  CountLabel = label(426, 46, 110, true);
  auto bar = [&](int top, TColor from, TColor to) {
    auto* b = new TGProgress(this);
    b->SetBounds(25, top, 512, 16);
    b->SetSolid(true);
    b->SetGradientBar(true);
    b->SetSepSize(12);
    b->SetColor(from);
    b->SetColorEnd(to);
    b->SetParent(this);
    return b;
  };
  FileBar = bar(60, fileFrom, fileTo);
  FilePercentLabel = label(25 + 512 / 2 - 30, 76, 60, false);
  FilePercentLabel->SetCenter(true);
  FileDoneLabel = label(25, 76, 200, false);
  FileSizeLabel = label(337, 76, 200, true);
  TotalBar = bar(97, totalFrom, totalTo);
  TotalPercentLabel = label(25 + 512 / 2 - 30, 113, 60, false);
  TotalPercentLabel->SetCenter(true);
  TotalDoneLabel = label(25, 113, 200, false);
  TotalSizeLabel = label(337, 113, 200, true);
  CancelBtn = new THanButton(this);
  CancelBtn->SetBounds(472, 142, 80, 25);
  CancelBtn->SetCaption(LoadMessageText(2));
  CancelBtn->Cancel = true;
  CancelBtn->OnClick = [this](TComponent*) { SetModalResult(mrCancel); };
  CancelBtn->SetParent(this);
  SpeedLabel = label(10, 148, 200, false);
  group->SendToBack();
}

std::wstring TProgressForm::SpeedText(int64_t bytesMoved, int64_t seconds, int64_t bytesLeft, bool showLeft,
                                      const std::wstring& perSecond, const std::wstring& leftWord) {
  int64_t speed = seconds > 0 ? bytesMoved / (seconds * 1024) : 0;
  std::wstring text = L"(" + std::to_wstring(speed) + perSecond + L")";
  if (speed <= 0 || !showLeft) return text;
  int64_t left = std::max<int64_t>(0, bytesLeft) / (speed * 1024);
  wchar_t buf[32];
  swprintf(buf, 32, L"%02lld:%02lld:%02lld", static_cast<long long>(left / 3600), static_cast<long long>(left / 60 % 60),
           static_cast<long long>(left % 60));
  return std::wstring(buf) + L" " + leftWord + L" " + text;
}
