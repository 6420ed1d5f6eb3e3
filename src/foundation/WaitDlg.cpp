#include "foundation/WaitDlg.h"

#include <algorithm>

#include "foundation/Language.h"

TWaitingModalForm::TWaitingModalForm(TComponent* owner) : THanForm(owner) {
  SetBorderStyle(bsDialog);
  SetCloseBox(false);
  Position = poOwnerFormCenter;
  if (Application().MainForm) Font = Application().MainForm->Font;
  if (Font.Size() > 9) Font.SetSize(9);
  InfoLabel = new THanElLabel(this);
  InfoLabel->SetCenter(true);
  InfoLabel->SetParent(this);
  SubLabel = new THanElLabel(this);
  SubLabel->SetCenter(true);
  SubLabel->Font.SetStyle(SubLabel->Font.Style() | fsBold);
  SubLabel->SetParent(this);
  CancelBtn = new THanButton(this);
  std::wstring cancel = LoadMessageText(2);
  CancelBtn->SetCaption(cancel.empty() ? L"취소" : cancel);
  CancelBtn->Cancel = true;
  CancelBtn->SetParent(this);
  CancelBtn->OnClick = [this](TComponent*) {
    NowStop = true;
    SetModalResult(mrCancel);
    if (FWaiting) ShowWindow(FHandle, SW_HIDE);
  };
  SetBounds(0, 0, 400, 140);
  Layout();
}

void TWaitingModalForm::Layout() {
  int cw = ClientWidth(), ch = ClientHeight();
  int lineH = std::max(16, -Font.Height() + 6);
  InfoLabel->SetBounds(10, 12, cw - 20, lineH);
  SubLabel->SetBounds(10, 12 + lineH + 2, cw - 20, 2 * lineH);
  SubLabel->SetVisible(!FSimple);
  CancelBtn->SetBounds((cw - 80) / 2, ch - 25 - 10, 80, 25);
}

void TWaitingModalForm::SetInfoText(const std::wstring& v) {
  InfoLabel->SetCaption(v);
  InfoLabel->Update();
}

void TWaitingModalForm::SetSubText(const std::wstring& v) {
  SubLabel->SetCaption(v);
  SubLabel->Update();
}

void TWaitingModalForm::SetSimple(bool v) {
  FSimple = v;
  SetHeight(v ? 100 : 140);
  Layout();
}

void TWaitingModalForm::Work() {
  if (OnWork) OnWork(this);
}

void TWaitingModalForm::BeginWait() {
  NowStop = false;
  FModalResult = mrNone;
  FPrevious = GetActiveWindow();
  FDisabled = DisableTaskWindows(FHandle);
  FWaiting = true;
  Layout();
  SetVisible(true);
  SetActiveWindow(FHandle);
  CancelBtn->SetFocus();
  Application().ProcessMessages();
}

void TWaitingModalForm::EndWait() {
  if (!FWaiting) return;
  FWaiting = false;
  EnableTaskWindows(FDisabled);
  FDisabled.clear();
  SetVisible(false);
  if (FPrevious && IsWindow(FPrevious) && FPrevious != FHandle) SetActiveWindow(FPrevious);
  FPrevious = nullptr;
}

int TWaitingModalForm::ExecuteModal() {
  BeginWait();
  try {
    Work();
  } catch (...) {
    EndWait();
    throw;
  }
  EndWait();
  if (FModalResult == mrNone) FModalResult = NowStop ? mrCancel : mrOk;
  return FModalResult;
}
