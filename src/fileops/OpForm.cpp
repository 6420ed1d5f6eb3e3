#include "fileops/OpForm.h"

#include <algorithm>

#include "framework/Canvas.h"

#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/FolderEnum.h"

std::wstring FormatText(std::wstring text, std::initializer_list<std::wstring> values) {
  size_t from = 0;
  for (const std::wstring& value : values) {
    size_t at = text.find(L"%S", from);
    if (at == std::wstring::npos) break;
    text.replace(at, 2, value);
    from = at + value.size();
  }
  return text;
}

std::wstring PathFilePart(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring PathFolderPart(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::vector<TFolderEntry> ListFolderEntries(const std::wstring& folder) {
  std::vector<TFolderEntry> entries;
  TFolderEnum list(folder, TFolderEnum::ShortNames | TFolderEnum::LargeFetch);
  for (const WIN32_FIND_DATAW& fd : list) {
    DWORD attr = TFolderEnum::IsLinkData(fd) ? fd.dwFileAttributes | FILE_ATTRIBUTE_REPARSE_POINT
                                              : fd.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
    entries.push_back({fd.cFileName, fd.cAlternateFileName, attr, GetFindDataSize(fd),
                       FileTimeToLocalDateTime(fd.ftLastWriteTime)});
  }
  return entries;
}

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
    const TBrushHandle brush(CreateSolidBrush(ToColorRef(Parent() ? Parent()->Color() : clBtnFace)));
    FillRect(reinterpret_cast<HDC>(wp), &r, brush.get());
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

void TOperationForm::SetUpWindow(int clientWidth, int clientHeight, TPosition position) {
  SetBorderStyle(bsSingle);
  SetCloseBox(true);
  Position = position;
  Font.SetName(Options.MainFont.Name);
  if (Options.MainFont.Size > 0) Font.SetSize(Options.MainFont.Size);
  SetClientSize(clientWidth, clientHeight);
}

THanElLabel* TOperationForm::AddLabel(int left, int top, int width, bool right) {
  auto* label = new THanElLabel(this);
  label->SetBounds(left, top, width, 14);
  label->SetRight(right);
  label->SetParent(this);
  return label;
}

TGProgress* TOperationForm::AddBar(int left, int top, TColor from, TColor to) {
  auto* bar = new TGProgress(this);
  bar->SetBounds(left, top, 512, 16);
  bar->SetSolid(true);
  bar->SetGradientBar(true);
  bar->SetSepSize(12);
  bar->SetColor(from);
  bar->SetColorEnd(to);
  bar->SetParent(this);
  return bar;
}

THanButton* TOperationForm::AddCancelButton(int left, int top) {
  auto* button = new THanButton(this);
  button->SetBounds(left, top, 80, 25);
  button->SetCaption(LoadMessageText(2));
  button->Cancel = true;
  button->OnClick = [this](TComponent*) { SetModalResult(mrCancel); };
  button->SetParent(this);
  return button;
}

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
  if (AskYesNo(FormatText(LoadMessageText(StopQuestionMsg), {OperationName}), true)) {
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
  std::wstring title = !minimized  ? FSavedTitle
                      : percent < 0 ? OperationName
                                    : OperationName + L" - " + std::to_wstring(percent) + L"%";
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
  SetUpWindow(562, 175, poOwnerFormCenter);
  auto group = new TGroupFrame(this);
  group->SetBounds(10, 5, 542, 130);
  group->SetParent(this);
  SourceLabel = new THanLabelEX(this);
  SourceLabel->SetBounds(25, 21, 252, 16);
  SourceLabel->SetParent(this);
  TargetLabel = new THanLabelEX(this);
  TargetLabel->SetBounds(285, 21, 252, 16);
  TargetLabel->SetParent(this);
  NameLabel = AddLabel(25, 46, 400, false);
  NameLabel->SetEllipsis(true);
  CountLabel = AddLabel(426, 46, 110, true);
  FileBar = AddBar(25, 60, fileFrom, fileTo);
  FilePercentLabel = AddLabel(25 + 512 / 2 - 30, 76, 60, false);
  FilePercentLabel->SetCenter(true);
  FileDoneLabel = AddLabel(25, 76, 200, false);
  FileSizeLabel = AddLabel(337, 76, 200, true);
  TotalBar = AddBar(25, 97, totalFrom, totalTo);
  TotalPercentLabel = AddLabel(25 + 512 / 2 - 30, 113, 60, false);
  TotalPercentLabel->SetCenter(true);
  TotalDoneLabel = AddLabel(25, 113, 200, false);
  TotalSizeLabel = AddLabel(337, 113, 200, true);
  CancelBtn = AddCancelButton(472, 142);
  SpeedLabel = AddLabel(10, 148, 200, false);
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
