#include "mainwin/About.h"

#include <algorithm>

#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "mainwin/Commands.h"
#include "mainwin/MUpDate.h"
#include "mainwin/Main.h"

std::function<void(TAboutForm& form)> AboutBoxShown;

namespace {
TSysControl* Label(TForm* form, const wchar_t* name, const std::wstring& text, int y, int h) {
  auto* l = new TSysControl(form, L"STATIC", SS_CENTER);
  l->Name = name;
  l->SetCaption(text);
  l->SetBounds(12, y, form->ClientWidth() - 24, h);
  l->SetParent(form);
  return l;
}
}  // namespace

TAboutForm::TAboutForm(TComponent* owner) : THanForm(owner) {
  Name = L"AboutForm";
  SetBorderStyle(bsDialog);
  Position = poOwnerFormCenter;
  Font.SetName(Options.MainFont.Name.empty() ? L"MS Sans Serif" : Options.MainFont.Name);
  Font.SetSize(std::clamp(Options.MainFont.Size > 0 ? Options.MainFont.Size : 9, 8, 9));
  SetClientSize(340, 196);
  SetCaption(LoadMessageText(30001));
  ProductLbl = Label(this, L"ProductLbl", L"Velmo", 16, 36);
  InfoLbl = Label(this, L"InfoLbl", LoadMessageText(30002), 58, 18);
  VersionLbl = Label(this, L"VersionLbl", FormatMessageText(30003, {ProductVersion}), 82, 18);
  CopyLbl = Label(this, L"CopyLbl", LoadMessageText(30004), 106, 34);
  OkBtn = new THanButton(this);
  OkBtn->Name = L"OkBtn";
  OkBtn->SetCaption(LoadMessageText(1));
  OkBtn->TabStop = true;
  OkBtn->SetDefault(true);
  OkBtn->Cancel = true;
  OkBtn->ModalResult = mrOk;
  OkBtn->SetBounds((ClientWidth() - 92) / 2, 156, 92, 25);
  OkBtn->SetParent(this);
  TranslateForm(L"AboutForm");
  // The product's name stands out.
  const TScreenDCHandle dc(GetDC(nullptr));
  FBigFont.reset(CreateFontW(-MulDiv(18, GetDeviceCaps(dc.get(), LOGPIXELSY), 72), 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                         0, 0, Font.Name().c_str()));
  if (FBigFont) ProductLbl->Send(WM_SETFONT, reinterpret_cast<WPARAM>(FBigFont.get()), TRUE);
  ActiveControl = OkBtn;
  OnShown = [this](TComponent*) {
    if (AboutBoxShown) AboutBoxShown(*this);
  };

}

TAboutForm::~TAboutForm() {
  // The label goes before its font.
  delete ProductLbl;
  ProductLbl = nullptr;
}

void ShowAboutBox() {
  TAboutForm form(&Application());
  form.ShowModal();
}

void InstallAboutBox() {
  RegisterCommand(5006, [](TQ7XForm&, TShiftState) { ShowAboutBox(); });
}
