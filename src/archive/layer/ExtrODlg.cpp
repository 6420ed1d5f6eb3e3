#include "archive/layer/ExtrODlg.h"

#include "archive/layer/ArcDlgKit.h"
#include "fileops/frmTgt.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"

TExtractForm::TExtractForm(TComponent* owner) : THanForm(owner) {
  Name = L"ExtractForm";
  SetBorderStyle(bsSingle);
  Position = poOwnerFormCenter;
  KeyPreview = true;
  SetClientSize(430, 200);
  SetCaption(LoadMessageText(30201));
  using namespace arcdlg;
  ExtrThis = Check(this, LoadMessageText(30205), 12, 10, 300);
  PathCombo = new TComboBox(this);
  PathCombo->TabStop = true;
  PathCombo->DropDownCount = 12;
  Place(this, PathCombo, 12, 31, 320, 21);
  McdBtn = Button(this, LoadMessageText(30103), 338, 30, 80, 23);
  Bevel1 = new TRenSysControl(this, L"STATIC", SS_ETCHEDHORZ);
  Place(this, Bevel1, 12, 62, 406, 2);
  OptionGrp = Group(this, L"", 12, 68, 406, 92);
  SpecLbl = Label(this, LoadMessageText(30206), 24, 86, 140);
  SpecEdit = new TEdit(this);
  SpecEdit->TabStop = true;
  Place(this, SpecEdit, 166, 82, 242, 21);
  PassWordLbl = Label(this, LoadMessageText(30202), 24, 112, 140);
  PassEdit = new TEdit(this);
  PassEdit->TabStop = true;
  Place(this, PassEdit, 166, 108, 242, 21);
  FullPath = Check(this, LoadMessageText(30203), 24, 136, 190);
  OverWriteAll = Check(this, LoadMessageText(30204), 218, 136, 190);
  ShowPassChar = Check(this, LoadMessageText(30112), 12, 170, 210);
  OkBtn = Button(this, LoadMessageText(1), 232, 166, 90, 25);
  OkBtn->SetDefault(true);
  CancelBtn = Button(this, LoadMessageText(2), 328, 166, 90, 25);
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;
  SpecEdit->SetText(L"*.*");

  const struct {
    TComponent* C;
    const wchar_t* N;
  } names[] = {{McdBtn, L"McdBtn"},         {OptionGrp, L"OptionGrp"},   {PassWordLbl, L"PassWordLbl"},
               {FullPath, L"FullPath"},     {OverWriteAll, L"OverWriteAll"}, {OkBtn, L"OkBtn"},
               {CancelBtn, L"CancelBtn"},   {ExtrThis, L"ExtrThis"},     {SpecLbl, L"SpecLbl"},
               {SpecEdit, L"SpecEdit"},     {PassEdit, L"PassEdit"},     {ShowPassChar, L"ShowPassChar"},
               {Bevel1, L"Bevel1"},         {PathCombo, L"PathCombo"}};
  for (const auto& n : names) n.C->Name = n.N;

  McdBtn->OnClick = [this](TComponent*) { McdBtnClick(); };
  OkBtn->OnClick = [this](TComponent*) { OkBtnClick(); };
  ExtrThis->OnCommand = [this](WORD code) {
    if (code == BN_CLICKED) ExtrThisClick();
  };
  ShowPassChar->OnCommand = [this](WORD code) {
    if (code == BN_CLICKED) ShowPassCharClick();
  };
  OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (shift & (ssShift | ssAlt | ssCtrl)) return;
    if (key == VK_F10 && McdBtn->Visible()) {
      key = 0;
      McdBtnClick();
    }
  };
  OnShow = [this](TComponent*) { FormShow(); };
  // The settings' choices; the caller may change them before showing the dialog.
  SetChecked(ExtrThis, Options.PathEnable);
  SetChecked(FullPath, Options.FullPath);
  SetChecked(OverWriteAll, Options.OverWrite);
  SetChecked(ShowPassChar, Options.ShowPWD);
  ActiveControl = PathCombo;
}

bool TExtractForm::Checked(const TRenSysControl* box) const { return arcdlg::Checked(box); }
void TExtractForm::SetChecked(TRenSysControl* box, bool on) { arcdlg::SetChecked(box, on); }

void TExtractForm::FormShow() {
  arcdlg::ApplyMainFont(this);
  TranslateForm(L"ExtractForm");
  ShowPassCharClick();
  ExtrThisClick();
}

void TExtractForm::ExtrThisClick() {
  const bool on = Checked(ExtrThis);
  PathCombo->SetVisible(on);
  McdBtn->SetVisible(on);
  if (on && ExtrThis->HandleAllocated() && GetFocus() == ExtrThis->Handle()) PathCombo->SetFocus();
}

void TExtractForm::ShowPassCharClick() { arcdlg::ShowPassword(PassEdit, Checked(ShowPassChar)); }

void TExtractForm::McdBtnClick() {
  if (!McdBtn->Visible() || !TargetFolderChooser) return;
  std::wstring chosen = TargetFolderChooser(PathCombo->Text(), LoadMessageText(30213));
  if (chosen.empty()) return;
  PathCombo->SetText(chosen);
  PathCombo->SelectAll();
  PathCombo->SetFocus();
}

void TExtractForm::OkBtnClick() {
  Options.PathEnable = Checked(ExtrThis);
  Options.FullPath = Checked(FullPath);
  Options.OverWrite = Checked(OverWriteAll);
  Options.ShowPWD = Checked(ShowPassChar);
  SetModalResult(mrOk);
}
