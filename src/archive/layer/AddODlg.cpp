#include "archive/layer/AddODlg.h"

#include <climits>

#include "archive/layer/ArcDlgKit.h"
#include "fileops/frmTgt.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/TextCompare.h"

const wchar_t* const AddFormTypeNames[10] = {L"ZIP", L"LZH", L"CAB", L"ACE", L"RAR", L"ARJ", L"BH", L"JAR", L"GZ", L"TAR"};

namespace {
// The extension of a name without its dot; empty when it has none.
std::wstring ExtensionOf(const std::wstring& name) {
  size_t slash = name.find_last_of(L"\\/:");
  size_t dot = name.find_last_of(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return L"";
  return name.substr(dot + 1);
}
std::wstring WithExtension(const std::wstring& name, const std::wstring& ext) {
  size_t slash = name.find_last_of(L"\\/:");
  size_t dot = name.find_last_of(L'.');
  std::wstring base = (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) ? name : name.substr(0, dot);
  return base + L"." + ext;
}
}  // namespace

int ParseVolumeSize(const std::wstring& text, const std::wstring& noneItem, bool& valid) {
  const std::wstring s = RemoveSpaces(text);
  if (SameTextI(s, RemoveSpaces(noneItem)) || SameTextI(text, noneItem)) {
    valid = true;
    return 0;
  }
  valid = true;
  std::wstring digits;
  int64_t unit = 1;
  for (wchar_t ch : s) {
    wchar_t up = static_cast<wchar_t>(towupper(ch));
    if (up >= L'0' && up <= L'9') {
      digits += up;
    } else if (up == L'K') {
      unit = 1;
    } else if (up == L'M') {
      unit = 1000;
    } else if (up != L',' && up != L'B') {
      valid = false;
    }
  }
  // A size that does not parse or does not fit is refused, never wrapped.
  if (digits.empty()) valid = false;
  int64_t value = 0;
  for (wchar_t d : digits) {
    value = value * 10 + (d - L'0');
    if (value * unit > INT32_MAX) {
      valid = false;
      return 0;
    }
  }
  return valid ? static_cast<int>(value * unit) : 0;
}

TAddForm::TAddForm(TComponent* owner) : THanForm(owner) {
  Name = L"AddForm";
  SetBorderStyle(bsSingle);
  Position = poOwnerFormCenter;
  KeyPreview = true;
  SetClientSize(430, 232);
  SetCaption(LoadMessageText(30101));
  using namespace arcdlg;
  InfoLbl = Label(this, LoadMessageText(30102), 12, 10, 300);
  NameCombo = new TComboBox(this);
  NameCombo->TabStop = true;
  NameCombo->DropDownCount = 12;
  Place(this, NameCombo, 12, 27, 320, 21);
  MCDBtn = Button(this, LoadMessageText(30103), 338, 26, 80, 23);
  OptionGrp = Group(this, L"", 12, 56, 406, 132);
  ArchiveTypeLabel = Label(this, LoadMessageText(30106), 24, 74, 90);
  ArcTypeCombo = List(this, 116, 70, 90);
  ArcModeLabel = Label(this, LoadMessageText(30107), 218, 74, 90);
  ArcModeCombo = List(this, 310, 70, 98);
  VolumnSizeLabel = Label(this, LoadMessageText(30108), 24, 104, 90);
  VolumnSizeCombo = new TComboBox(this);
  VolumnSizeCombo->TabStop = true;
  Place(this, VolumnSizeCombo, 116, 100, 90, 21);
  PassWdLbl = Label(this, LoadMessageText(30109), 218, 104, 90);
  PassEdit = new TEdit(this);
  PassEdit->TabStop = true;
  Place(this, PassEdit, 310, 100, 98, 21);
  FullPathCheck = Check(this, LoadMessageText(30104), 24, 132, 180);
  AddSubFolderCheck = Check(this, LoadMessageText(30113), 218, 132, 190);
  MoveCheck = Check(this, LoadMessageText(30105), 24, 158, 180);
  ShowPassChar = Check(this, LoadMessageText(30112), 218, 158, 190);
  OkBtn = Button(this, LoadMessageText(1), 232, 198, 90, 25);
  OkBtn->SetDefault(true);
  CancelBtn = Button(this, LoadMessageText(2), 328, 198, 90, 25);
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;

  const struct {
    TComponent* C;
    const wchar_t* N;
  } names[] = {{InfoLbl, L"InfoLbl"},
               {MCDBtn, L"MCDBtn"},
               {OptionGrp, L"OptionGrp"},
               {OkBtn, L"OkBtn"},
               {CancelBtn, L"CancelBtn"},
               {FullPathCheck, L"FullPathCheck"},
               {MoveCheck, L"MoveCheck"},
               {NameCombo, L"NameCombo"},
               {ArchiveTypeLabel, L"ArchiveTypeLabel"},
               {ArcTypeCombo, L"ArcTypeCombo"},
               {ArcModeLabel, L"ArcModeLabel"},
               {ArcModeCombo, L"ArcModeCombo"},
               {VolumnSizeLabel, L"VolumnSizeLabel"},
               {VolumnSizeCombo, L"VolumnSizeCombo"},
               {PassEdit, L"PassEdit"},
               {PassWdLbl, L"PassWdLbl"},
               {ShowPassChar, L"ShowPassChar"},
               {AddSubFolderCheck, L"AddSubFolderCheck"}};
  for (const auto& n : names) n.C->Name = n.N;

  MCDBtn->OnClick = [this](TComponent*) { McdBtnClick(); };
  OkBtn->OnClick = [this](TComponent*) { OkBtnClick(); };
  NameCombo->OnChange = [this](TComponent*) { NameComboChange(); };
  ArcTypeCombo->OnCommand = [this](WORD code) {
    if (code == CBN_SELCHANGE) ArcTypeComboChange();
  };
  ShowPassChar->OnCommand = [this](WORD code) {
    if (code == BN_CLICKED) ShowPassCharClick();
  };
  OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (shift & (ssShift | ssAlt | ssCtrl)) return;
    if (key == VK_F10) {
      key = 0;
      McdBtnClick();
    }
  };
  OnShow = [this](TComponent*) { FormShow(); };
  FormCreate();
}

bool TAddForm::Checked(const TRenSysControl* box) const { return arcdlg::Checked(box); }
void TAddForm::SetChecked(TRenSysControl* box, bool on) { arcdlg::SetChecked(box, on); }
int TAddForm::TypeIndex() const { return arcdlg::ItemIndex(ArcTypeCombo); }
int TAddForm::MethodIndex() const { return arcdlg::ItemIndex(ArcModeCombo); }

void TAddForm::FormCreate() {
  arcdlg::ApplyMainFont(this);
  TranslateForm(L"AddForm");
  TStringList history;
  for (const std::wstring& h : Options.History(hkARCNAME)) history.Add(h);
  NameCombo->SetItems(history);
  for (const wchar_t* t : AddFormTypeNames) arcdlg::AddItem(ArcTypeCombo, t);
  for (const std::wstring& m : SplitButtonCaptions(LoadMessageText(30110))) {
    // The list is comma-separated.
    size_t start = 0;
    for (size_t i = 0; i <= m.size(); ++i)
      if (i == m.size() || m[i] == L',') {
        arcdlg::AddItem(ArcModeCombo, m.substr(start, i - start));
        start = i + 1;
      }
  }
  TStringList volumes;
  {
    std::wstring v = LoadMessageText(30111);
    size_t start = 0;
    for (size_t i = 0; i <= v.size(); ++i)
      if (i == v.size() || v[i] == L',') {
        volumes.Add(v.substr(start, i - start));
        start = i + 1;
      }
  }
  VolumnSizeCombo->SetItems(volumes);
  if (Options.AddType > 9 || Options.AddType < 0) Options.AddType = 0;
  arcdlg::SetItemIndex(ArcTypeCombo, Options.AddType);
  if (volumes.Count() > 0) VolumnSizeCombo->SetText(volumes[0]);
  std::wstring ext = UpperCase(ExtensionOf(NameCombo->Text()));
  for (int i = 0; i < 10 && !ext.empty(); ++i)
    if (ext == AddFormTypeNames[i]) arcdlg::SetItemIndex(ArcTypeCombo, i);
  if (Options.AddMethod > 4 || Options.AddMethod < 0) Options.AddMethod = 1;
  arcdlg::SetItemIndex(ArcModeCombo, Options.AddMethod);
  SetChecked(FullPathCheck, true);
  SetChecked(MoveCheck, false);
  SetChecked(AddSubFolderCheck, Options.SubFolder);
  SetChecked(ShowPassChar, Options.ShowPWD);
  arcdlg::ShowPassword(PassEdit, Options.ShowPWD);
  NameCombo->SetText(NameCombo->Text() + L"." + LowerCase(AddFormTypeNames[std::max(0, TypeIndex())]));
  UpdateTypeControls();
  ActiveControl = NameCombo;
}

void TAddForm::UpdateTypeControls() {
  const int t = TypeIndex();
  const bool volume = t >= 3 && t <= 5;
  const bool password = t == 0 || (t >= 3 && t <= 7);
  VolumnSizeCombo->SetEnabled(volume);
  VolumnSizeLabel->SetEnabled(volume);
  PassEdit->SetEnabled(password);
  PassWdLbl->SetEnabled(password);
  ShowPassChar->SetEnabled(password);
  if (!password) PassEdit->SetText(L"");
}

void TAddForm::NameComboChange() {
  std::wstring ext = UpperCase(Trim(ExtensionOf(NameCombo->Text())));
  if (ext.empty()) return;
  for (int i = 0; i < 10; ++i)
    if (ext == AddFormTypeNames[i]) {
      if (TypeIndex() != i) arcdlg::SetItemIndex(ArcTypeCombo, i);
      UpdateTypeControls();
      return;
    }
}

void TAddForm::ArcTypeComboChange() {
  const std::wstring name = NameCombo->Text();
  const int t = TypeIndex();
  if (!name.empty() && t >= 0) NameCombo->SetText(WithExtension(name, LowerCase(AddFormTypeNames[t])));
  UpdateTypeControls();
}

void TAddForm::ShowPassCharClick() { arcdlg::ShowPassword(PassEdit, Checked(ShowPassChar)); }

void TAddForm::McdBtnClick() {
  if (!TargetFolderChooser) return;
  const std::wstring name = NameCombo->Text();
  size_t slash = name.find_last_of(L"\\/");
  std::wstring folder = slash == std::wstring::npos ? std::wstring() : name.substr(0, slash + 1);
  std::wstring file = slash == std::wstring::npos ? name : name.substr(slash + 1);
  std::wstring chosen = TargetFolderChooser(folder, LoadMessageText(30116));
  if (chosen.empty()) return;
  NameCombo->SetText(IncludeTrailingBackslash(chosen) + file);
  NameCombo->SelectAll();
  NameCombo->SetFocus();
}

bool TAddForm::VolumeSizeValid() const {
  if (!VolumnSizeCombo->Enabled()) return true;
  bool valid = false;
  const TStringList& items = VolumnSizeCombo->Items();
  ParseVolumeSize(VolumnSizeCombo->Text(), items.Count() ? items[0] : L"", valid);
  return valid;
}

int TAddForm::GetVolumeSize() const {
  bool valid = false;
  const TStringList& items = VolumnSizeCombo->Items();
  return ParseVolumeSize(VolumnSizeCombo->Text(), items.Count() ? items[0] : L"", valid);
}

void TAddForm::OkBtnClick() {
  if (!VolumeSizeValid()) {
    ShowInfo(LoadMessageText(30114));
    VolumnSizeCombo->SetFocus();
    return;
  }
  std::wstring name = Trim(NameCombo->Text());
  NameCombo->SetText(name);
  if (!name.empty()) Options.AddHistory(hkARCNAME, name);
  Options.AddType = TypeIndex();
  Options.AddMethod = MethodIndex();
  Options.AddPath = Checked(FullPathCheck);
  Options.MoveAfter = Checked(MoveCheck);
  Options.SubFolder = Checked(AddSubFolderCheck);
  Options.ShowPWD = Checked(ShowPassChar);
  SetModalResult(mrOk);
}

namespace arcdlg {
void ApplyMainFont(TForm* form) {
  form->Font.SetName(Options.MainFont.Name);
  if (Options.MainFont.Size > 0) form->Font.SetSize(Options.MainFont.Size);
}
}  // namespace arcdlg
