#include "mainwin/ExtBox.h"

#include <commctrl.h>

#include <algorithm>

#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/ScrListV.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "mainwin/SetupTexts.h"

std::function<void(TExtBoxForm& form)> ExtBoxShown;

namespace {
constexpr int kW = 600, kH = 452;

TSysControl* Label(TForm* form, const std::wstring& text, int x, int y, int w, int h = 21) {
  // One line centred on its row; a taller label wraps its lines.
  auto* l = new TSysControl(form, L"STATIC", SS_LEFT | (h <= 21 ? SS_CENTERIMAGE : 0));
  l->SetCaption(text);
  l->SetBounds(x, y, w, h);
  l->SetParent(form);
  return l;
}

TEdit* Edit(TForm* form, int x, int y, int w) {
  auto* e = new TEdit(form);
  e->TabStop = true;
  e->SetBounds(x, y, w, 21);
  e->SetParent(form);
  return e;
}

THanButton* Button(TForm* form, const std::wstring& text, int x, int y, int w = 92) {
  auto* b = new THanButton(form);
  b->SetCaption(text);
  b->TabStop = true;
  b->SetBounds(x, y, w, 25);
  b->SetParent(form);
  return b;
}
}  // namespace

std::wstring TExtBoxForm::SlotName(int slot) {
  return slot < 8 ? L"F" + std::to_wstring(slot + 2) : L"Ctrl+F" + std::to_wstring(slot - 7);
}

TExtBoxForm::TExtBoxForm(TComponent* owner, bool keys) : THanForm(owner), FKeys(keys) {
  Name = keys ? L"FKeyBox" : L"ExtBox";
  SetBorderStyle(bsDialog);
  Position = poOwnerFormCenter;
  Font.SetName(Options.MainFont.Name.empty() ? L"MS Sans Serif" : Options.MainFont.Name);
  Font.SetSize(std::clamp(Options.MainFont.Size > 0 ? Options.MainFont.Size : 9, 8, 9));
  SetClientSize(kW, kH);
  SetCaption(PlainCaption(LoadMessageText(keys ? 1501 : 1502)));
  KeyPrograms = Programs.KeyPrograms;
  ExtPrograms = Programs.ExtPrograms;

  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  List = new TScrListView(this);
  List->Name = L"ProgramList";
  List->TabStop = true;
  if (keys) List->AddColumn({LoadMessageText(30624), 70, 0});
  else List->AddColumn({LoadMessageText(30598), 110, 0});
  List->AddColumn({LoadMessageText(30625), 130, 0});
  List->AddColumn({LoadMessageText(30626), keys ? 250 : 210, 0});
  List->SetBounds(10, 10, kW - 20 - 104, 200);
  List->SetParent(this);
  // Another row chosen: its fields. (A row's own text changing as it is typed leaves them.)
  List->OnSelectItem = [this](TComponent*) {
    if (Selected() != FShownRow) LoadFields();
  };
  List->OnRowMove = [this](TScrListView*, int target) {
    const int from = Selected();
    if (from < 0 || target < 0 || target == from) return;
    if (FKeys) {
      if (target >= FunctionKeySlots) return;
      std::swap(KeyPrograms[static_cast<size_t>(from)], KeyPrograms[static_cast<size_t>(target)]);
    } else {
      if (target >= static_cast<int>(ExtPrograms.size())) return;
      TExtProgram p = ExtPrograms[static_cast<size_t>(from)];
      ExtPrograms.erase(ExtPrograms.begin() + from);
      ExtPrograms.insert(ExtPrograms.begin() + target, p);
    }
    FillList(target);
  };

  const int bx = kW - 10 - 96;
  int by = 10;
  if (!keys) {
    AddBtn = Button(this, LoadMessageText(msgAdd), bx, by, 96);
    AddBtn->OnClick = [this](TComponent*) { AddRow(); };
    by += 31;
  }
  DeleteBtn = Button(this, LoadMessageText(keys ? 30632 : msgDelete), bx, by, 96);
  DeleteBtn->OnClick = [this](TComponent*) { DeleteRow(); };
  by += 43;
  UpBtn = Button(this, LoadMessageText(msgUp), bx, by, 96);
  UpBtn->OnClick = [this](TComponent*) { MoveRow(true); };
  by += 31;
  DownBtn = Button(this, LoadMessageText(msgDown), bx, by, 96);
  DownBtn->OnClick = [this](TComponent*) { MoveRow(false); };

  int y = 220;
  if (!keys) {
    Label(this, LoadMessageText(30629), 10, y, 100);
    ExtEdit = Edit(this, 112, y, kW - 122);
    ExtEdit->OnChange = [this](TComponent*) { StoreFields(); };
    y += 27;
  }
  Label(this, LoadMessageText(30627), 10, y, 100);
  TitleEdit = Edit(this, 112, y, kW - 122);
  TitleEdit->OnChange = [this](TComponent*) { StoreFields(); };
  y += 27;
  if (keys) {
    Label(this, LoadMessageText(30630), 10, y, 100);
    CommandNoCombo = new TSysControl(this, WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
    CommandNoCombo->TabStop = true;
    CommandNoCombo->SetBounds(112, y, 220, 21);
    CommandNoCombo->SetParent(this);
    std::wstring none = LoadMessageText(30631);
    CommandNoCombo->Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(none.c_str()));
    for (const std::wstring& name : Programs.CommandNames)
      CommandNoCombo->Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    CommandNoCombo->OnCommand = [this](WORD code) {
      if (code == CBN_SELCHANGE) StoreFields();
    };
    y += 27;
  }
  Label(this, LoadMessageText(30628), 10, y, 100);
  CommandEdit = Edit(this, 112, y, kW - 122);
  CommandEdit->OnChange = [this](TComponent*) { StoreFields(); };
  y += 29;
  // The command line's variables, two columns.
  std::wstring left, right;
  for (int id = 3321; id <= 3332; ++id) (id < 3327 ? left : right) += LoadMessageText(id) + L"\r\n";
  Label(this, left, 112, y, 230, 6 * 14 + 4);
  Label(this, right, 350, y, kW - 360, 6 * 14 + 4);

  OkBtn = Button(this, LoadMessageText(1), kW - 2 * 98, kH - 35);
  OkBtn->SetDefault(true);
  OkBtn->OnClick = [this](TComponent*) { OkBtnClick(); };
  CancelBtn = Button(this, LoadMessageText(2), kW - 98, kH - 35);
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;

  FillList(0);
  ActiveControl = List;
  OnShown = [this](TComponent*) {
    if (ExtBoxShown) ExtBoxShown(*this);
  };

}

int TExtBoxForm::Selected() const { return List->ItemIndex(); }

void TExtBoxForm::Select(int row) {
  List->SelectIndex(row);
  LoadFields();
}

void TExtBoxForm::UpdateRow(int row) {
  if (row < 0 || row >= List->ItemCount()) return;
  TListItem item;
  if (FKeys) {
    const THanProgram& p = KeyPrograms[static_cast<size_t>(row)];
    item.Caption = SlotName(row);
    item.SubItems.push_back(p.Title);
    item.SubItems.push_back(p.CommandNo >= 1 && p.CommandNo <= NumberedCommandCount
                                ? L"[" + Programs.CommandNames[static_cast<size_t>(p.CommandNo - 1)] + L"]"
                                : p.Command);
  } else {
    const TExtProgram& p = ExtPrograms[static_cast<size_t>(row)];
    item.Caption = p.Ext;
    item.SubItems.push_back(p.Title);
    item.SubItems.push_back(p.Command);
  }
  List->SetItem(row, item);
}

void TExtBoxForm::FillList(int select) {
  List->ClearItems();
  const int count = FKeys ? FunctionKeySlots : static_cast<int>(ExtPrograms.size());
  for (int i = 0; i < count; ++i) {
    List->AddItem(TListItem{});
    UpdateRow(i);
  }
  Select(std::min(select, count - 1));
}

void TExtBoxForm::LoadFields() {
  FLoading = true;
  const int row = Selected();
  FShownRow = row;
  const bool has = row >= 0;
  for (TControl* c : {static_cast<TControl*>(ExtEdit), static_cast<TControl*>(TitleEdit),
                      static_cast<TControl*>(CommandEdit), static_cast<TControl*>(CommandNoCombo)})
    if (c) c->SetEnabled(has);
  if (FKeys) {
    const THanProgram p = has ? KeyPrograms[static_cast<size_t>(row)] : THanProgram{};
    TitleEdit->SetText(p.Title);
    CommandEdit->SetText(p.Command);
    CommandNoCombo->Send(CB_SETCURSEL, static_cast<WPARAM>(std::clamp(p.CommandNo, 0, NumberedCommandCount)));
    CommandEdit->SetEnabled(has && p.CommandNo == 0);
  } else {
    const TExtProgram p = has ? ExtPrograms[static_cast<size_t>(row)] : TExtProgram{};
    ExtEdit->SetText(p.Ext);
    TitleEdit->SetText(p.Title);
    CommandEdit->SetText(p.Command);
  }
  FLoading = false;
}

void TExtBoxForm::StoreFields() {
  if (FLoading) return;
  const int row = Selected();
  if (row < 0) return;
  if (FKeys) {
    THanProgram& p = KeyPrograms[static_cast<size_t>(row)];
    p.Title = TitleEdit->Text();
    const int no = static_cast<int>(CommandNoCombo->Send(CB_GETCURSEL));
    p.CommandNo = no > 0 ? no : 0;
    p.Command = CommandEdit->Text();
    CommandEdit->SetEnabled(p.CommandNo == 0);
  } else {
    TExtProgram& p = ExtPrograms[static_cast<size_t>(row)];
    p.Ext = ExtEdit->Text();
    p.Title = TitleEdit->Text();
    p.Command = CommandEdit->Text();
  }
  UpdateRow(row);
}

void TExtBoxForm::AddRow() {
  if (FKeys) return;
  const int at = Selected() + 1;
  ExtPrograms.insert(ExtPrograms.begin() + at, TExtProgram{});
  FillList(at);
  ExtEdit->SetFocus();
}

void TExtBoxForm::DeleteRow() {
  const int row = Selected();
  if (row < 0) return;
  if (FKeys) {
    KeyPrograms[static_cast<size_t>(row)] = THanProgram{};
    UpdateRow(row);
    LoadFields();
    return;
  }
  ExtPrograms.erase(ExtPrograms.begin() + row);
  FillList(std::min(row, static_cast<int>(ExtPrograms.size()) - 1));
}

void TExtBoxForm::MoveRow(bool up) { List->MoveSelected(up); }

bool TExtBoxForm::Validate() {
  auto fail = [this](int row, int msg, const std::wstring& name, TControl* focus) {
    Select(row);
    ShowErrorBox(FormatMessageText(msg, {name}));
    focus->SetFocus();
    return false;
  };
  if (FKeys) {
    for (int i = 0; i < FunctionKeySlots; ++i) {
      const THanProgram& p = KeyPrograms[static_cast<size_t>(i)];
      if (!Trim(p.Title).empty() && p.CommandNo == 0 && Trim(p.Command).empty())
        return fail(i, 30633, SlotName(i), CommandEdit);
    }
    return true;
  }
  for (int i = 0; i < static_cast<int>(ExtPrograms.size()); ++i) {
    const TExtProgram& p = ExtPrograms[static_cast<size_t>(i)];
    if (SplitExtensions(p.Ext).empty()) return fail(i, 30634, L"", ExtEdit);
    if (Trim(p.Command).empty()) return fail(i, 30633, Trim(p.Ext), CommandEdit);
  }
  return true;
}

void TExtBoxForm::OkBtnClick() {
  if (!Validate()) return;
  for (auto& p : KeyPrograms) {
    p.Title = Trim(p.Title);
    p.Command = Trim(p.Command);
    if (p.CommandNo) p.Command.clear();
  }
  for (auto& p : ExtPrograms) {
    p.Ext = Trim(p.Ext);
    p.Title = Trim(p.Title);
    p.Command = Trim(p.Command);
  }
  SetModalResult(mrOk);
}

bool RunProgramEditor(bool keys) {
  TExtBoxForm form(&Application(), keys);
  if (form.ShowModal() != mrOk) return false;
  if (keys)
    Programs.KeyPrograms = form.KeyPrograms;
  else
    Programs.ExtPrograms = form.ExtPrograms;
  Programs.Rebuild();
  if (!Programs.Save()) ShowErrorBox(FormatMessageText(msgSaveFail, {Programs.FileName}));
  return true;
}

void InstallProgramEditors() {
  RegisterCommand(4201, [](TQ7XForm& form, TShiftState) {
    if (RunProgramEditor(true)) form.FillKeyLine();
  });
  RegisterCommand(4202, [](TQ7XForm&, TShiftState) { RunProgramEditor(false); });
}
