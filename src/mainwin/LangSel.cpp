#include "mainwin/LangSel.h"

#include <algorithm>

#include "foundation/FileIO.h"
#include "foundation/HanINI.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/FolderEnum.h"
#include "framework/StringList.h"
#include "framework/TextCompare.h"

std::function<void(TLanguageForm& form)> LanguageFormShown;

namespace {
bool IsUseLine(const std::wstring& line) {
  const size_t eq = line.find(L'=');
  return eq != std::wstring::npos && CompareTextI(Trim(std::wstring_view(line).substr(0, eq)), L"Use") == 0;
}
}  // namespace

std::vector<TLanguageEntry> ListLanguageFiles(const std::wstring& programFolder) {
  std::vector<TLanguageEntry> files;
  TFolderEnum list(programFolder + L"Language", 0, L"*.lng");
  for (const WIN32_FIND_DATAW& e : list) {
    if (TFolderEnum::IsFolderData(e)) continue;
    const std::wstring name = e.cFileName;
    if (name.size() < 5 || CompareTextI(std::wstring_view(name).substr(name.size() - 4), L".lng") != 0) continue;
    THanINI ini(programFolder + L"Language\\" + name);
    ini.ReadOnly = true;
    std::wstring id = Trim(ini.ReadString(L"main", L"ID", L""));
    files.push_back({name, id.empty() ? name.substr(0, name.size() - 4) : id});
  }
  std::sort(files.begin(), files.end(),
            [](const TLanguageEntry& a, const TLanguageEntry& b) { return CompareTextI(a.File, b.File) < 0; });
  std::vector<TLanguageEntry> all{{L"", LoadBuiltinMessageText(30639)}};
  all.insert(all.end(), files.begin(), files.end());
  return all;
}

std::wstring ReadLanguageUse(const std::wstring& iniFile) {
  std::string bytes;
  if (!ReadFileBytes(iniFile, bytes)) return L"";
  TTextEncoding encoding;
  TStringList lines;
  lines.SetText(DecodeText(bytes, encoding));
  for (int i = 0; i < lines.Count(); ++i) {
    const std::wstring& line = lines[i];
    if (!IsUseLine(line)) continue;
    std::wstring use = Trim(std::wstring_view(line).substr(line.find(L'=') + 1));
    if (!use.empty()) return use;
  }
  return L"";
}

bool WriteLanguageUse(const std::wstring& iniFile, const std::wstring& use) {
  std::string bytes;
  TTextEncoding encoding = TTextEncoding::Utf8;
  TStringList lines;
  if (ReadFileBytes(iniFile, bytes)) lines.SetText(DecodeText(bytes, encoding));
  std::wstring text;
  bool written = false;
  for (int i = 0; i < lines.Count(); ++i) {
    if (IsUseLine(lines[i])) {
      // The first entry takes the choice; later ones would only confuse the reader.
      if (!written) text += L"Use=" + use + L"\r\n";
      written = true;
      continue;
    }
    text += lines[i] + L"\r\n";
  }
  if (!written) text += L"Use=" + use + L"\r\n";
  return SafeWriteFile(iniFile, EncodeText(text, encoding));
}

TLanguageForm::TLanguageForm(TComponent* owner, const std::wstring& programFolder)
    : THanForm(owner), FProgramFolder(programFolder) {
  Name = L"LanguageForm";
  SetBorderStyle(bsDialog);
  Position = poScreenCenter;
  Font.SetName(L"MS Sans Serif");
  Font.SetSize(9);
  SetClientSize(360, 268);
  SetCaption(LoadMessageText(30637));
  InfoLbl = new TSysControl(this, L"STATIC", SS_LEFT);
  InfoLbl->SetCaption(LoadMessageText(30638));
  InfoLbl->SetBounds(12, 10, 336, 34);
  InfoLbl->SetParent(this);
  LanguageList = new TSysControl(this, L"LISTBOX", LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
  LanguageList->TabStop = true;
  LanguageList->SetBounds(12, 48, 336, 172);
  LanguageList->SetParent(this);
  LanguageList->OnCommand = [this](WORD code) {
    if (code == LBN_DBLCLK && OkBtnClick()) SetModalResult(mrOk);
  };
  OkBtn = new THanButton(this);
  OkBtn->SetCaption(LoadMessageText(1));
  OkBtn->TabStop = true;
  OkBtn->SetDefault(true);
  OkBtn->SetBounds(160, 232, 90, 25);
  OkBtn->SetParent(this);
  OkBtn->OnClick = [this](TComponent*) {
    if (OkBtnClick()) SetModalResult(mrOk);
  };
  CancelBtn = new THanButton(this);
  CancelBtn->SetCaption(LoadMessageText(2));
  CancelBtn->TabStop = true;
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->SetBounds(258, 232, 90, 25);
  CancelBtn->SetParent(this);

  Entries = ListLanguageFiles(programFolder);
  const std::wstring use = ReadLanguageUse(programFolder + L"language.ini");
  int current = 0;
  for (size_t i = 0; i < Entries.size(); ++i) {
    LanguageList->Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Entries[i].ID.c_str()));
    // "Use" may name the file with or without its extension.
    const std::wstring& f = Entries[i].File;
    if (!use.empty() && !f.empty() &&
        (CompareTextI(f, use) == 0 || CompareTextI(f.substr(0, f.size() - 4), use) == 0))
      current = static_cast<int>(i);
  }
  SetItemIndex(current);
  ActiveControl = LanguageList;
  OnShown = [this](TComponent*) {
    if (LanguageFormShown) LanguageFormShown(*this);
  };

}

int TLanguageForm::ItemIndex() const { return static_cast<int>(LanguageList->Send(LB_GETCURSEL)); }
void TLanguageForm::SetItemIndex(int i) { LanguageList->Send(LB_SETCURSEL, static_cast<WPARAM>(i)); }

bool TLanguageForm::OkBtnClick() {
  const int i = ItemIndex();
  if (i < 0 || i >= static_cast<int>(Entries.size())) return false;
  const std::wstring ini = FProgramFolder + L"language.ini";
  if (!WriteLanguageUse(ini, Entries[static_cast<size_t>(i)].File)) {
    ShowErrorBox(FormatMessageText(30615, {ini}));
    return false;
  }
  return true;
}

int RunLanguageChooser(const std::wstring& programFolder) {
  TLanguageForm form(nullptr, programFolder);
  return form.ShowModal() == mrOk ? 0 : 1;
}
