#include "fileops/frmTgt.h"

#include <algorithm>

#include "fileops/OpForm.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"

TFolderChooser TargetFolderChooser;

TSelectPathForm::TSelectPathForm(TComponent* owner) : THanForm(owner) {
  SetBorderStyle(bsSingle);
  Position = poOwnerFormCenter;
  KeyPreview = true;
  Font.SetName(Options.MainFont.Name);
  if (Options.MainFont.Size > 0) Font.SetSize(std::min<int>(Options.MainFont.Size, 9));
  SetBounds(0, 0, 484, 125);
  SetCaption(LoadMessageText(3343));
  auto* group = new TGroupFrame(this);
  group->SetBounds(10, 5, 456, 56);
  group->SetCaption(L" " + LoadMessageText(10405) + L" ");
  group->SetParent(this);
  GroupBox = group;
  Combo = new TComboBox(this);
  Combo->SetBounds(20, 25, 356, 20);
  Combo->DropDownCount = 20;
  Combo->TabStop = true;
  Combo->SetParent(this);
  ChooserBtn = new THanButton(this);
  ChooserBtn->SetBounds(380, 25, 75, 20);
  ChooserBtn->SetCaption(LoadMessageText(30103));
  ChooserBtn->TabStop = true;
  ChooserBtn->OnClick = [this](TComponent*) { ChooseFolder(); };
  ChooserBtn->SetParent(this);
  OkBtn = new THanButton(this);
  OkBtn->SetBounds(261, 70, 100, 22);
  OkBtn->SetCaption(LoadMessageText(1));
  OkBtn->SetDefault(true);
  OkBtn->ModalResult = mrOk;
  OkBtn->TabStop = true;
  OkBtn->SetParent(this);
  CancelBtn = new THanButton(this);
  CancelBtn->SetBounds(366, 70, 100, 22);
  CancelBtn->SetCaption(LoadMessageText(2));
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->TabStop = true;
  CancelBtn->SetParent(this);
  group->SendToBack();
  ActiveControl = Combo;
  OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (key == VK_F10 && !(shift & (ssShift | ssAlt | ssCtrl))) {
      key = 0;
      ChooseFolder();
    }
  };
  // OK closes only on a folder that can be reached.
  OnCloseQuery = [this](TComponent*, bool& canClose) {
    if (ModalResult() != mrOk) return;
    std::wstring path = ResolvedPath();
    if (!path.empty() && !CheckPathReachable(FHandle, path)) canClose = false;
  };
}

TSelectPathForm::~TSelectPathForm() = default;

void TSelectPathForm::ChooseFolder() {
  if (!TargetFolderChooser) return;
  std::wstring chosen = TargetFolderChooser(Combo->Text(), ChooserTitle);
  if (!chosen.empty()) {
    Combo->SetText(chosen);
    Combo->SelectAll();
  }
  Combo->SetFocus();
}

std::wstring TSelectPathForm::ResolvedPath() const {
  std::wstring text = Trim(Combo->Text());
  if (text.empty()) return L"";
  std::wstring initial = IncludeTrailingBackslash(InitialPath);
  if (text.find(L'\\') == std::wstring::npos && text.find(L':') == std::wstring::npos) text = initial + text;
  if (ExtractPathRoot(text).empty()) {
    std::wstring root = ExtractPathRoot(initial);
    while (!text.empty() && text.front() == L'\\') text.erase(0, 1);
    text = root + text;
  }
  return text;
}

bool SelectTargetPath(const std::wstring& caption, const std::wstring& chooserTitle, const std::wstring& history,
                      const std::wstring& initialPath, std::wstring& path) {
  TSelectPathForm form(nullptr);
  form.SetCaption(caption);
  form.ChooserTitle = chooserTitle;
  TStringList items;
  items.SetText(history);
  form.Combo->SetItems(items);
  form.Combo->SetText(initialPath);
  form.InitialPath = initialPath;
  if (form.ShowModal() != mrOk) return false;
  path = form.ResolvedPath();
  return true;
}
