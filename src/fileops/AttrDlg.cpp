#include "fileops/AttrDlg.h"

#include <cmath>
#include <cwctype>

#include "fileops/CopyDlg.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/FolderEnum.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"
#include "panels/ProcessDone.h"

namespace {
constexpr int32_t AttrBits[4] = {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN,
                                 FILE_ATTRIBUTE_SYSTEM};
constexpr int32_t BaselineMask = 0x27;
constexpr int mrChangeAll = 8, mrSkip = 7;
constexpr wchar_t DateMask[] = L"!0000-!90-!90 !90:!90:!90;1;_";
constexpr wchar_t DatePattern[] = L"yyyy-mm-dd hh:mm:ss";
// Where the label of the current date has its line break.
constexpr size_t LabelBreak = 10;

// The bits that SetFileAttributesW takes back as they were.
DWORD RestorableAttr(int32_t attr) {
  DWORD a = static_cast<DWORD>(attr) & (0x27 | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                        FILE_ATTRIBUTE_TEMPORARY);
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

// Whole seconds: the window shows and takes no fractions.
int64_t Seconds(TDateTime t) { return static_cast<int64_t>(std::floor(t * 86400.0 + 0.5)); }

bool LocalToUtcFileTime(TDateTime t, FILETIME& ft) {
  int y, mo, d, h, mi, s, ms;
  if (!DecodeDateTime(t, y, mo, d, h, mi, s, ms)) return false;
  SYSTEMTIME local{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d),
                   static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), 0};
  SYSTEMTIME utc;
  return TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &ft);
}

}  // namespace

std::wstring AttrDateLabelText(TDateTime t) {
  int y, mo, d, h, mi, s, ms;
  if (!DecodeDateTime(t, y, mo, d, h, mi, s, ms)) y = mo = d = h = mi = s = 0;
  wchar_t buf[32];
  swprintf(buf, 32, L"%04d-%02d-%02d\n%02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

bool MergeAttrDate(const std::wstring& typed, const std::wstring& label, std::wstring& merged, TDateTime& result) {
  merged.clear();
  for (size_t i = 0; i < 19; ++i) {
    wchar_t c = i < typed.size() ? static_cast<wchar_t>(std::towlower(typed[i])) : L' ';
    if ((c < L'0' || c > L'9') && i < label.size() && !(i == LabelBreak && (label[i] == L'\n' || label[i] == L'\r')))
      c = label[i];
    merged += c;
  }
  auto field = [&](size_t from, size_t count, int& value) {
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
      if (merged[i] < L'0' || merged[i] > L'9') return false;
      value = value * 10 + (merged[i] - L'0');
    }
    return true;
  };
  int y, mo, d, h, mi, s;
  if (!field(0, 4, y) || !field(5, 2, mo) || !field(8, 2, d) || !field(11, 2, h) || !field(14, 2, mi) ||
      !field(17, 2, s))
    return false;
  if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || s > 59) return false;
  result = EncodeDateTime(y, mo, d, h, mi, s);
  return true;
}

// ---- The window ----

TAttrForm::TAttrForm(TComponent* owner) : TOperationForm(owner) {
  OperationName = LoadMessageText(32101);
  SetCaption(OperationName);
  SetUpWindow(421, 190, poOwnerFormCenter);
  // The window's controls are laid out for a font of 9 points at the most.
  Font.SetSize(Options.MainFont.Size > 0 && Options.MainFont.Size < 9 ? Options.MainFont.Size : 9);
  KeyPreview = true;
  OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) { FormKeyDown(key, shift); };

  auto place = [&](TControl* c, TControl* parent, int l, int t, int w, int h) {
    c->SetBounds(l, t, w, h);
    c->SetParent(parent);
  };
  auto check = [&](TControl* parent, int msg, int l, int t, int w, DWORD style) {
    auto* b = new TRenSysControl(this, L"BUTTON", style | WS_TABSTOP);
    b->SetCaption(LoadMessageText(msg));
    b->TabStop = true;
    place(b, parent, l, t, w, 15);
    return b;
  };
  std::vector<TGroupFrame*> frames;
  auto group = [&](int msg, int l, int t, int w, int h) {
    auto* g = new TGroupFrame(this);
    frames.push_back(g);
    g->SetCaption(LoadMessageText(msg));
    place(g, this, l, t, w, h);
    return g;
  };

  TargetLabel = new THanLabelEX(this);
  TargetLabel->SetBackColor(RGB(223, 239, 247));
  place(TargetLabel, this, 10, 10, 401, 17);

  // Group boxes are frames drawn behind the controls, which stand on the form itself.
  group(32105, 10, 33, 96, 116);
  for (int i = 0; i < 4; ++i) {
    CurBox[i] = check(this, 32106 + i, 10 + 10, 33 + 18 + 15 * i, 80, BS_AUTOCHECKBOX);
    CurBox[i]->SetEnabled(false);
  }
  CurDateLabel = new TRenSysControl(this, L"STATIC", SS_LEFT | SS_NOPREFIX);
  place(CurDateLabel, this, 10 + 10, 33 + 85, 80, 28);
  CurDateLabel->SetEnabled(false);

  group(32110, 115, 33, 296, 116);
  for (int i = 0; i < 4; ++i) {
    NewBox[i] = check(this, 32112 + i, 115 + 10, 33 + 18 + 15 * i, 100, BS_AUTO3STATE);
    SetCheckState(NewBox[i], BST_INDETERMINATE);
  }
  GreyLabel = new TRenSysControl(this, L"STATIC", SS_LEFT | SS_NOPREFIX);
  GreyLabel->SetCaption(LoadMessageText(32111));
  place(GreyLabel, this, 115 + 10, 33 + 88, 110, 15);

  DateCheck = check(this, 32117, 115 + 135, 33 + 18, 150, BS_AUTOCHECKBOX);
  DateCheck->Hint = LoadMessageText(32116);
  DateCheck->ShowHint = true;
  DateCheck->OnCommand = [this](WORD code) {
    if (code != BN_CLICKED) return;
    bool on = CheckState(DateCheck) == BST_CHECKED;
    DateEdit->SetEnabled(on);
    if (on) DateEdit->SetFocus();
  };
  DateEdit = new TMaskEdit(this);
  DateEdit->SetEditMask(DateMask);
  DateEdit->TabStop = true;
  place(DateEdit, this, 115 + 135, 33 + 36, 146, 21);
  DateEdit->SetText(DatePattern);
  DateEdit->SetEnabled(false);
  DateEdit->Hint = FormatText(LoadMessageText(32118), {L"yyyy-mm-dd", L"hh:mm:ss"});
  DateEdit->ShowHint = true;
  SubFolderCheck = check(this, 32120, 115 + 135, 33 + 66, 150, BS_AUTOCHECKBOX);
  SubFolderCheck->Hint = LoadMessageText(32119);
  SubFolderCheck->ShowHint = true;
  SubFolderCheck->SetEnabled(false);
  FolderAttrCheck = check(this, 32122, 115 + 135, 33 + 84, 150, BS_AUTOCHECKBOX);
  FolderAttrCheck->Hint = LoadMessageText(32121);
  FolderAttrCheck->ShowHint = true;
  FolderAttrCheck->SetEnabled(false);

  auto button = [&](int msg, int l, int w, int result) {
    auto* b = new THanButton(this);
    b->SetCaption(LoadMessageText(msg));
    b->ModalResult = result;
    b->TabStop = true;
    place(b, this, l, 158, w, 25);
    return b;
  };
  ChangeAllBtn = button(32102, 81, 90, mrChangeAll);
  ChangeBtn = button(32103, 176, 75, mrOk);
  ChangeBtn->SetDefault(true);
  SkipBtn = button(32104, 256, 75, mrSkip);
  CancelBtn = button(2, 336, 75, mrCancel);
  CancelBtn->Cancel = true;
  // The frames stand under the controls inside them.
  for (TGroupFrame* g : frames) g->SendToBack();
  if (HandleAllocated()) SetFormIconFromBitmapRes(Handle(), L"MAIN_TIME16");
}

int TAttrForm::CheckState(const TRenSysControl* box) { return static_cast<int>(box->Send(BM_GETCHECK)); }

void TAttrForm::SetCheckState(TRenSysControl* box, int state) { box->Send(BM_SETCHECK, static_cast<WPARAM>(state)); }

void TAttrForm::SetHasFolders(bool v) {
  if (v == FHasFolders) return;
  FHasFolders = v;
  SubFolderCheck->SetEnabled(v);
  FolderAttrCheck->SetEnabled(v);
  if (v) SetCheckState(FolderAttrCheck, BST_CHECKED);
}

void TAttrForm::SetHasFiles(bool v) {
  if (v == FHasFiles) return;
  FHasFiles = v;
  if (v) DateCheck->SetEnabled(true);
}

void TAttrForm::FormKeyDown(WORD& key, TShiftState) {
  if (key == VK_F1) {
    if (Q7XForm) Q7XForm->ShowHelp(L"chgattr");
    key = 0;
  } else if (key == VK_END) {
    if (ChangeAllBtn->Enabled()) ChangeAllBtn->Click();
    key = 0;
  }
}

void TAttrForm::EnableButtons(bool enable) {
  ChangeAllBtn->SetEnabled(enable);
  ChangeBtn->SetEnabled(enable);
  SkipBtn->SetEnabled(enable);
}

// ---- The run ----

bool TAttrForm::ReadItem(const std::wstring& path, TItemState& item) {
  WIN32_FIND_DATAW fd;
  if (!FindFirstSafe(path, fd)) return false;
  item.Path = path;
  item.Attr = static_cast<int32_t>(fd.dwFileAttributes);
  item.Folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  item.Baseline = item.Attr & BaselineMask;
  item.Time = FileTimeToLocalDateTime(fd.ftLastWriteTime);
  return true;
}

void TAttrForm::ShowAttrItem(const TItemState& item, int index) {
  TargetLabel->SetCaption(LoadMessageText(32123) + L" <P>" + item.Path + L"<>");
  for (int i = 0; i < 4; ++i) SetCheckState(CurBox[i], (item.Attr & AttrBits[i]) ? BST_CHECKED : BST_UNCHECKED);
  if (index >= 0 && FItems.size() == 1 && !item.Folder) {
    // One file: its own bits to start from, and no grey.
    for (int i = 0; i < 4; ++i) {
      NewBox[i]->Send(BM_SETSTYLE, BS_AUTOCHECKBOX, TRUE);
      SetCheckState(NewBox[i], (item.Attr & AttrBits[i]) ? BST_CHECKED : BST_UNCHECKED);
    }
  }
  std::wstring label = AttrDateLabelText(item.Time);
  std::wstring shown = label;
  shown.replace(LabelBreak, 1, L"\r\n");
  CurDateLabel->SetCaption(shown);
  if (index >= 0) {
    SetCaption(OperationName + L" (" + FormatThousands(index + 1) + L"/" +
               FormatThousands(static_cast<int64_t>(FItems.size())) + L")");
    ShowPercent(FItems.size() > 1 ? static_cast<int>(int64_t{index} * 100 / static_cast<int64_t>(FItems.size() - 1))
                                  : -1);
  }
  Pump();
}

bool TAttrForm::ReadNewValues(TItemState& item, std::wstring& merged) {
  item.Wanted = item.Baseline;
  for (int i = 0; i < 4; ++i) {
    int state = CheckState(NewBox[i]);
    if (state == BST_CHECKED) item.Wanted |= AttrBits[i];
    if (state == BST_UNCHECKED) item.Wanted &= ~AttrBits[i];
  }
  item.WantedTime = item.Time;
  if (CheckState(DateCheck) != BST_CHECKED) return true;
  std::wstring label = AttrDateLabelText(item.Time);
  return MergeAttrDate(DateEdit->Text(), label, merged, item.WantedTime);
}

bool TAttrForm::AskAttrError(const std::wstring& text) {
  if (FSkipAllErrors) return true;
  int answer = MessageBoxStd(L"", text, LoadMessageText(32124), 2, 0, 2);
  if (answer == 1) FSkipAllErrors = true;
  if (answer == 0 || answer == 1) return true;
  FCancelled = true;
  return false;
}

bool TAttrForm::ChangeOneItem(TItemState& item) {
  const bool dated = CheckState(DateCheck) == BST_CHECKED;
  const std::wstring& path = item.Path;
  if (item.Wanted == item.Baseline && (!dated || Seconds(item.WantedTime) == Seconds(item.Time))) {
    Changed = true;
    return true;
  }
  int32_t baseline = item.Baseline;
  if (dated) {
    FILETIME ft;
    if (!LocalToUtcFileTime(item.WantedTime, ft)) return AskAttrError(FormatText(LoadMessageText(32127), {path}));
    if (!SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE))
      return AskAttrError(FormatText(LoadMessageText(32125), {path}));
    baseline = 0;
    // A file is opened for writing, as anything that changes it; a folder through backup semantics.
    TFileHandle h(CreateFileW(path.c_str(), item.Folder ? FILE_WRITE_ATTRIBUTES : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              item.Folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr));
    if (!h) {
      // The attributes taken off for the change come back: nothing was changed.
      SetFileAttributesW(path.c_str(), RestorableAttr(item.Attr));
      return AskAttrError(FormatText(LoadMessageText(32126), {path}));
    }
    BOOL ok = SetFileTime(h.get(), nullptr, nullptr, &ft);
    h.reset();
    if (!ok) {
      SetFileAttributesW(path.c_str(), RestorableAttr(item.Attr));
      return AskAttrError(FormatText(LoadMessageText(32127), {path}));
    }
    Changed = true;
  }
  if (item.Wanted == baseline) {
    Changed = true;
    return true;
  }
  if (!SetFileAttributesW(path.c_str(), RestorableAttr(item.Wanted))) {
    if (dated) SetFileAttributesW(path.c_str(), RestorableAttr(item.Attr));
    return AskAttrError(FormatText(LoadMessageText(32125), {path}));
  }
  Changed = true;
  return true;
}

bool TAttrForm::ChangeFolderRecursive(const std::wstring& folder) {
  std::vector<TFolderEntry> entries = ListFolderEntries(folder);
  std::wstring prefix = IncludeTrailingBackslash(folder);
  for (const TFolderEntry& e : entries) {
    if (e.Attr & (FILE_ATTRIBUTE_DIRECTORY | 0x08)) continue;
    Pump();
    if (FModalResult == mrCancel) return false;
    TItemState file;
    if (!ReadItem(prefix + e.Name, file)) continue;
    ShowAttrItem(file, -1);
    std::wstring merged;
    if (!ReadNewValues(file, merged)) {
      if (!AskAttrError(FormatText(LoadMessageText(32128), {merged}))) return false;
      continue;
    }
    if (!ChangeOneItem(file)) return false;
  }
  for (const TFolderEntry& e : entries) {
    // Sub-folders keep their own attributes and times; links are not entered.
    if (!e.IsFolder() || e.IsLink()) continue;
    if (!ChangeFolderRecursive(prefix + e.Name)) return false;
  }
  return true;
}

void TAttrForm::RunOperation() {
  EnableButtons(true);
  BeginTitle();
  ResetRunState();
  Changed = false;
  DoneList.clear();
  FChangeAll = FSkipAllErrors = FCancelled = false;
  bool stop = false;
  for (size_t index = 0; index < FItems.size() && !stop; ++index) {
    TItemState item;
    if (!ReadItem(FItems[index], item)) continue;
    for (;;) {
      if (!FChangeAll) {
        // Ready for a button before the item is shown: a press while it is drawn counts.
        FModalResult = mrNone;
        EnableButtons(true);
      }
      ShowAttrItem(item, static_cast<int>(index));
      int answer = mrOk;
      if (!FChangeAll) {
        if (OnWaitItem) OnWaitItem(*this);
        while (FModalResult == mrNone) {
          Pump();
          if (FModalResult != mrNone) break;
          if (!IsWindowVisible(FHandle)) FModalResult = mrCancel;
          else WaitMessage();
        }
        answer = FModalResult;
        EnableButtons(false);
        if (answer == mrChangeAll) FChangeAll = true;
      } else if (FModalResult == mrCancel) {
        answer = mrCancel;
      }
      if (answer == mrCancel) {
        stop = true;
        break;
      }
      if (answer == mrSkip) break;
      std::wstring merged;
      if (!ReadNewValues(item, merged)) {
        ShowErrorBox(FormatText(LoadMessageText(32128), {merged}));
        // The same item is asked again, also in a Change all run.
        FChangeAll = false;
        continue;
      }
      bool ok = true;
      if (item.Folder) {
        if (CheckState(FolderAttrCheck) == BST_CHECKED) ok = ChangeOneItem(item);
        if (ok && CheckState(SubFolderCheck) == BST_CHECKED) ok = ChangeFolderRecursive(item.Path);
      } else {
        ok = ChangeOneItem(item);
      }
      if (!ok || FCancelled) {
        stop = true;
      } else {
        if (!DoneList.empty()) DoneList += L'\r';
        DoneList += item.Path;
      }
      break;
    }
  }
  if (stop && FModalResult == mrNone) FModalResult = mrCancel;
  FItems.clear();
  EndTitle();
}

// ---- The command ----

bool ChangeListAttributes(TMFList& list, const std::function<void(TAttrForm& form)>& onWaitItem) {
  std::vector<int> picked = ItemsToProcess(list);
  if (picked.empty() || !list.ArcFileName.empty()) return false;
  std::wstring folder = IncludeTrailingBackslash(list.Path);
  TAttrForm form(nullptr);
  form.OnWaitItem = onWaitItem;
  form.ClearItems();
  for (int index : picked) {
    const TFileBoxItem& item = *list.GetItem(index);
    form.AddItem(folder + list.ItemName(index));
    if (item.Kind == ikFolder)
      form.SetHasFolders(true);
    else
      form.SetHasFiles(true);
  }
  form.Execute();
  // The items done leave the selection.
  std::wstring names;
  size_t from = 0;
  while (from < form.DoneList.size()) {
    size_t cr = form.DoneList.find(L'\r', from);
    if (cr == std::wstring::npos) cr = form.DoneList.size();
    if (!names.empty()) names += L'\r';
    names += PathFilePart(form.DoneList.substr(from, cr - from));
    from = cr + 1;
  }
  TProcessDoneUnSelect unselect;
  unselect.FileList = &list;
  unselect.LoadNames(names);
  unselect.Execute();
  return form.Changed;
}

bool ChangeFolderAttributes(const std::wstring& folderPath, const std::function<void(TAttrForm& form)>& onWaitItem) {
  const std::wstring path = ExcludeTrailingBackslash(folderPath);
  if (path.empty() || IsPathRoot(folderPath) || !FolderExists(path)) return false;
  TAttrForm form(nullptr);
  form.OnWaitItem = onWaitItem;
  form.ClearItems();
  form.AddItem(path);
  form.SetHasFolders(true);
  form.Execute();
  return form.Changed;
}

void InstallAttrCommand() {
  RegisterCommand(1006, [](TQ7XForm& form, TShiftState) {
    TMFList* list = form.ActiveList();
    if (!list) return;
    if (!list->ArcFileName.empty()) {
      MessageBeep(MB_OK);
      return;
    }
    bool changed = ChangeListAttributes(*list);
    if (TPanelView* p = form.ActivePanel()) changed ? p->Reread() : p->Invalidate();
    if (TPanelView* p = form.OtherPanel(); p && changed) p->Reread();
  });
}
