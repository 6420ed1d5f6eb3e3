#include "fileops/RenDlg.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "fileops/OpForm.h"
#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/HanINI.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"
#include "panels/MDescMan.h"

TRenameTreeCacheFactory RenameTreeCacheFactory;

namespace {

constexpr int kSimpleHeight = 177;
constexpr int kMinWidth = 630, kMinHeight = 360;
constexpr wchar_t kSection[] = L"RENAME";

std::wstring Msg(int id) { return LoadMessageText(id); }

bool HasInvalidNameChar(std::wstring_view s) {
  return s.find_first_of(L"\\/:*?\"<>|") != std::wstring_view::npos;
}

int DigitCount(int64_t v) {
  if (v < 0) v = -v;
  int n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

// The value of a start or step box: nullopt when it holds no number.
bool ParseBoxNumber(const std::wstring& text, int32_t& value) {
  std::wstring t = Trim(text);
  if (t.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (t[0] == L'+' || t[0] == L'-') {
    neg = t[0] == L'-';
    i = 1;
  }
  if (i >= t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < L'0' || t[i] > L'9') return false;
    v = v * 10 + (t[i] - L'0');
    if (v > 0x7FFFFFFFLL) return false;
  }
  value = static_cast<int32_t>(neg ? -v : v);
  return true;
}

std::wstring FormatDate(TDateTime d) {
  int y, mo, da, h, mi, s, ms;
  if (!DecodeDateTime(d, y, mo, da, h, mi, s, ms)) return {};
  wchar_t buf[32];
  swprintf(buf, 32, L"%04d-%02d-%02d %02d:%02d:%02d", y, mo, da, h, mi, s);
  return buf;
}

std::wstring ShortNameOf(const std::wstring& path) {
  wchar_t buf[MAX_PATH];
  DWORD n = GetShortPathNameW(path.c_str(), buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::wstring s(buf, n);
  size_t p = s.find_last_of(L'\\');
  return p == std::wstring::npos ? s : s.substr(p + 1);
}

bool OpenWithShell(const std::wstring& path, DWORD& error) {
  auto r = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (r > 32) return true;
  error = GetLastError();
  if (error == 0) error = static_cast<DWORD>(r);
  return false;
}

// Renames a file or folder in its folder. A change of case alone goes through a free
// temporary name, so that it is carried out where the file system would take the old and
// the new name for one and the same and leave the name as it was.
bool MoveItem(const std::wstring& oldPath, const std::wstring& newPath) {
  size_t cut = oldPath.find_last_of(L'\\') + 1;
  if (!SameTextI(oldPath.substr(cut), newPath.substr(cut))) return MoveFileW(oldPath.c_str(), newPath.c_str()) != 0;
  std::wstring dir = oldPath.substr(0, cut);
  std::wstring tmp = dir + MakeUniqueFileName(dir, L"~ren" + std::to_wstring(GetCurrentProcessId()) + L".tmp", true);
  if (!MoveFileW(oldPath.c_str(), tmp.c_str())) return false;
  if (MoveFileW(tmp.c_str(), newPath.c_str())) return true;
  DWORD err = GetLastError();
  MoveFileW(tmp.c_str(), oldPath.c_str());
  SetLastError(err);
  return false;
}

}  // namespace

std::wstring TListItemObject::FullName() const {
  return !IsFolder() && !Ext.empty() ? Name + L"." + Ext : Name;
}

// ---- TRenSysControl -------------------------------------------------------------------------

TRenSysControl::TRenSysControl(TComponent* owner, const wchar_t* className, DWORD style, DWORD exStyle)
    : TControl(owner), FClass(className), FStyle(style), FExStyle(exStyle) {}

void TRenSysControl::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = FClass;
  p.SystemClass = true;
  p.Style &= ~WS_CLIPCHILDREN;
  p.Style |= FStyle;
  p.ExStyle |= FExStyle;
}

void TRenSysControl::CommandNotify(WORD code) {
  if (OnCommand) OnCommand(code);
}

bool TRenSysControl::NotifyMessage(NMHDR& header, LRESULT& result) {
  return OnNotify ? OnNotify(header, result) : false;
}

int TRenSysControl::WindowHeightFor(int height) const {
  return wcscmp(FClass, L"COMBOBOX") == 0 ? height + 200 : height;
}

// ---- TRenListView ---------------------------------------------------------------------------

bool TRenListView::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_SYSKEYDOWN:
      if ((wp == VK_UP || wp == VK_DOWN) && OnAltMove) {
        OnAltMove(wp == VK_UP);
        result = 0;
        return true;
      }
      break;
    case WM_KEYDOWN:
      if (wp == VK_DELETE && OnDeleteKey) {
        OnDeleteKey();
        result = 0;
        return true;
      }
      break;
    case WM_CHAR:
      if (wp > L' ' && OnTypeChar) {
        OnTypeChar(static_cast<wchar_t>(wp));
        result = 0;
        return true;
      }
      break;
    case WM_CONTEXTMENU:
      if (OnContextMenu) {
        int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
        OnContextMenu(x, y, x == -1 && y == -1);
        result = 0;
        return true;
      }
      break;
    default:
      break;
  }
  return TScrListView::WndProc(msg, wp, lp, result);
}

// ---- TRenameForm ----------------------------------------------------------------------------

TRenameForm::TRenameForm(TComponent* owner) : THanForm(owner) {
  InitCommonControlClasses();
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  SetCaption(Msg(32001));
  SetBorderStyle(bsSizeable);
  MinTrackWidth = kMinWidth;
  MinTrackHeight = kSimpleHeight;
  KeyPreview = true;
  Position = poScreenCenter;
  LoadSettings();
  BuildControls();
  OnOpenResult = OpenWithShell;
  OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (key == VK_F1 && (shift & (ssShift | ssAlt | ssCtrl)) == 0) {
      key = 0;
      if (OnHelp) OnHelp(FPage == 1 ? L"renamehi" : L"rename");
      return;
    }
    if (FPage == 1 && shift == ssAlt && (key == '1' || key == '2')) {
      TEdit* e = key == '1' ? NamePattern : ExtPattern;
      e->SetFocus();
      e->SelectAll();
      key = 0;
    }
  };
  // However the dialog ends (close box, close button, the last row renamed).
  OnHide = [this](TComponent*) { SaveSettings(); };
}

TRenameForm::~TRenameForm() {
  SaveDescriptions();
  FTree.reset();
}

void TRenameForm::LoadSettings() {
  if (Options.CfgFile.empty()) return;
  THanINI ini(Options.CfgFile);
  FNameCase = ini.ReadInteger(kSection, L"NameCase", 0);
  if (FNameCase < 0 || FNameCase > 4) FNameCase = 0;
  FExtNoRename = ini.ReadBool(kSection, L"ExtNoRename", false);
  FDigit = ini.ReadInteger(kSection, L"Digit", 4);
  if (FDigit < 1 || FDigit > 10) FDigit = 4;
  FAutoDigit = ini.ReadBool(kSection, L"AutoDigit", false);
  for (int i = 0; i < 6; ++i) {
    int w = ini.ReadInteger(kSection, std::to_wstring(i + 1), FColWidths[i]);
    if (w > 0 && w < 4000) FColWidths[i] = w;
  }
  std::wstring win = ini.ReadString(kSection, L"Window", L"");
  int v[4];
  if (swscanf(win.c_str(), L"%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]) == 4) {
    FWinLeft = v[0];
    FWinTop = v[1];
    FWinHeight = std::max(v[3], kMinHeight);
  }
}

void TRenameForm::SaveSettings() {
  if (FPage == 1 && HandleAllocated()) FAdvancedHeight = Height();
  if (Options.CfgFile.empty()) return;
  THanINI ini(Options.CfgFile);
  ini.WriteBool(kSection, L"AutoDigit", IsChecked(AutoDigitBox));
  ini.WriteInteger(kSection, L"Digit", static_cast<int32_t>(DigitList->Send(CB_GETCURSEL)) + 1);
  for (int i = 0; i < 6 && i < List->ColumnCount(); ++i)
    ini.WriteInteger(kSection, std::to_wstring(i + 1), List->ColumnWidth(i));
  ini.WriteString(kSection, L"Window",
                  std::to_wstring(Left()) + L"," + std::to_wstring(Top()) + L"," + std::to_wstring(Width()) + L"," +
                      std::to_wstring(FAdvancedHeight > 0 ? FAdvancedHeight : FWinHeight));
  ini.WriteInteger(kSection, L"NameCase", static_cast<int32_t>(CaseList->Send(CB_GETCURSEL)));
  ini.WriteBool(kSection, L"ExtNoRename", FExtNoRename);
  ini.UpdateFile();
}

void TRenameForm::BuildControls() {
  SetBounds(FWinLeft >= 0 ? FWinLeft : 100, FWinTop >= 0 ? FWinTop : 100, FWinWidth, FWinHeight);
  if (FWinLeft >= 0) Position = poDesigned;
  FAdvancedHeight = FWinHeight;

  auto place = [this](TControl* c, int x, int y, int w, int h) {
    c->SetBounds(x, y, w, h);
    c->SetParent(this);
    return c;
  };
  auto label = [&](const std::wstring& text, int x, int y, int w, int h, DWORD style = SS_LEFT) {
    auto* l = new TRenSysControl(this, L"STATIC", style);
    l->SetCaption(text);
    place(l, x, y, w, h);
    return l;
  };
  auto group = [&](const std::wstring& text, int x, int y, int w, int h) {
    auto* g = new TRenSysControl(this, L"BUTTON", BS_GROUPBOX);
    g->SetCaption(text);
    place(g, x, y, w, h);
    return g;
  };
  auto button = [&](const std::wstring& text, int x, int y, int w, int h) {
    auto* b = new THanButton(this);
    b->SetCaption(text);
    b->TabStop = true;
    place(b, x, y, w, h);
    return b;
  };
  auto edit = [&](int x, int y, int w, int h) {
    auto* e = new TEdit(this);
    e->TabStop = true;
    place(e, x, y, w, h);
    return e;
  };
  auto check = [&](const std::wstring& text, int x, int y, int w, int h) {
    auto* b = new TRenSysControl(this, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP);
    b->SetCaption(text);
    b->TabStop = true;
    place(b, x, y, w, h);
    return b;
  };
  auto combo = [&](const std::wstring& items, int sel, int x, int y, int w) {
    auto* c = new TRenSysControl(this, L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
    c->TabStop = true;
    place(c, x, y, w, 21);
    // The texts may carry their pieces on lines or between bars.
    for (const std::wstring& piece : SplitButtonCaptions(items))
      c->Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(piece.c_str()));
    c->Send(CB_SETCURSEL, static_cast<WPARAM>(sel));
    return c;
  };

  Tabs = new TRenSysControl(this, L"SysTabControl32", WS_CLIPSIBLINGS | WS_TABSTOP);
  place(Tabs, 4, 4, ClientWidth() - 8, ClientHeight() - 8);
  Tabs->SetAlign(alNone);
  std::wstring pageCaptions[2] = {Msg(32002), Msg(32003)};
  for (int i = 0; i < 2; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = pageCaptions[i].data();
    Tabs->Send(TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  Tabs->OnNotify = [this](NMHDR& h, LRESULT& r) {
    if (h.code != TCN_SELCHANGE) return false;
    SetPage(static_cast<int>(Tabs->Send(TCM_GETCURSEL)));
    r = 0;
    return true;
  };

  // Simple page.
  TargetLabel = label(L"", 64, 40, 540, 18, SS_LEFT | SS_NOPREFIX);
  SimpleEdit = edit(64, 62, 540, 22);
  ExtNoRenameBox = check(Msg(32004), 64, 92, 220, 20);
  if (FExtNoRename) ExtNoRenameBox->Send(BM_SETCHECK, BST_CHECKED);
  ExtNoRenameBox->OnCommand = [this](WORD code) {
    if (code == BN_CLICKED) OnExtNoRenameClick();
  };
  ChangeButton = button(Msg(32005), 424, 90, 88, 25);
  ChangeButton->OnClick = [this](TComponent*) { ChangeSimple(); };

  // Advanced page. Each pattern has its group: the edit, then its token buttons; a button
  // without token is the range button of its part ("<N1-" or "<E1-" + the longest length).
  struct TTokenButton {
    int Msg;
    const wchar_t* Token;
  };
  auto patternGroup = [&](int caption, int left, int width, const wchar_t* initial, wchar_t part,
                          std::initializer_list<TTokenButton> tokens, int buttonWidth) {
    group(Msg(caption), left, 30, width, 76);
    TEdit* e = edit(left + 8, 48, width - 16, 22);
    e->SetText(initial);
    int bx = left + 8;
    for (const TTokenButton& t : tokens) {
      THanButton* b = button(Msg(t.Msg), bx, 74, buttonWidth, 25);
      TokenButtons.emplace_back(b, e);
      std::wstring token = t.Token ? t.Token : L"";
      b->OnClick = [this, e, token, part](TComponent*) {
        size_t longest = part == L'N' ? FMaxNameLen : FMaxExtLen;
        InsertToken(e, !token.empty() ? token : L"<" + std::wstring(1, part) + L"1-" + std::to_wstring(longest) + L">");
      };
      bx += buttonWidth + 1;
    }
    return e;
  };
  NamePattern = patternGroup(32006, 10, 360, L"<N>", L'N',
                             {{32007, L"<N>"}, {32008, L"<C>"}, {32009, nullptr}, {32010, L"<YMD>"}, {32011, L"<hms>"}}, 68);
  ExtPattern = patternGroup(32012, 376, 236, L"<E>", L'E', {{32013, L"<E>"}, {32014, nullptr}, {32015, L"<C>"}}, 72);

  group(Msg(32016), 10, 108, 290, 74);
  label(Msg(32017), 18, 128, 50, 18);
  StartEdit = edit(70, 125, 80, 22);
  label(Msg(32018), 160, 128, 50, 18);
  StepEdit = edit(210, 125, 80, 22);
  for (TEdit* e : {StartEdit, StepEdit}) {
    e->MaxLength = 9;
    e->SetText(L"1");
    auto* spin = new TRenSysControl(
        this, UPDOWN_CLASSW, UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS);
    place(spin, e->Left() + e->Width(), e->Top(), 16, 22);
    spin->Send(UDM_SETBUDDY, reinterpret_cast<WPARAM>(e->Handle()));
    spin->Send(UDM_SETRANGE32, static_cast<WPARAM>(-99999999), 999999999);
    spin->Send(UDM_SETPOS32, 0, 1);
  }
  auto* digitLabel = label(L"", 18, 156, 0, 0);  // the digit list stands alone
  digitLabel->SetVisible(false);
  DigitList = combo(L"1|2|3|4|5|6|7|8|9|10", FDigit - 1, 70, 153, 60);
  AutoDigitBox = check(Msg(32020), 160, 154, 130, 20);
  if (FAutoDigit) AutoDigitBox->Send(BM_SETCHECK, BST_CHECKED);
  DigitList->SetEnabled(!FAutoDigit);

  group(Msg(32021), 306, 108, 130, 74);
  CaseList = combo(Msg(32022), FNameCase, 314, 130, 114);

  auto* replaceGroup = group(Msg(32023), 442, 108, 170, 74);
  replaceGroup->Hint = Msg(32024);
  FindEdit = edit(450, 126, 154, 22);
  FindEdit->Hint = Msg(32025);
  ReplaceEdit = edit(450, 152, 154, 22);
  ReplaceEdit->Hint = Msg(32026);

  List = new TRenListView(this);
  List->KeyMoves = false;
  List->SetAutoColumnSort(acNoSort);
  List->SetShowSortArrows(true);
  const int colMsg[6] = {32027, 32028, 32029, 32030, 32031, 32032};
  for (int i = 0; i < 6; ++i) List->AddColumn({Msg(colMsg[i]), FColWidths[i], static_cast<uint8_t>(i == 3 ? 1 : 0)});
  List->TabStop = true;
  place(List, 10, 188, 602, 200);
  List->OnColumnClick = [this](TCustomMListView*, int column) { SortByColumn(column); };
  List->OnRowMove = [this](TScrListView*, int target) { MoveRow(List->ItemIndex(), target); };
  List->OnAltMove = [this](bool up) {
    int i = List->ItemIndex();
    if (i >= 0) MoveRow(i, up ? i - 1 : i + 1);
  };
  List->OnDeleteKey = [this] {
    int i = List->ItemIndex();
    if (i >= 0) RemoveRow(i);
  };
  List->OnTypeChar = [this](wchar_t c) { ListTypeSearch(c); };
  List->OnContextMenu = [this](int mx, int my, bool fromKey) { RowMenu(mx, my, fromKey); };
  List->OnItemColors = nullptr;

  StartButton = button(Msg(32033), 10, 394, 90, 25);
  StartButton->OnClick = [this](TComponent*) {
    if (StartButton->Enabled()) StartRename();
  };
  UndoButton = button(Msg(32034), 104, 394, 90, 25);
  UndoButton->OnClick = [this](TComponent*) {
    if (UndoButton->Enabled()) UndoAll(true);
  };
  UndoButton->SetEnabled(false);
  ResultButton = button(Msg(32035), 198, 394, 90, 25);
  ResultButton->OnClick = [this](TComponent*) {
    if (ResultButton->Enabled()) ShowResult();
  };
  ResultButton->SetEnabled(false);
  Progress = new TGProgress(this);
  place(Progress, 296, 398, 220, 18);
  CloseButton = button(Msg(4), 522, 394, 90, 25);
  CloseButton->Cancel = true;
  CloseButton->ModalResult = mrCancel;
  CloseButton->OnClick = [this](TComponent*) {
    if (!Modal()) Close();
  };

  // Every change of what the names are made of recomputes them.
  for (TEdit* e : {NamePattern, ExtPattern, StartEdit, StepEdit, FindEdit, ReplaceEdit})
    e->OnChange = [this](TComponent*) { UpdatePreview(); };
  for (TRenSysControl* c : {DigitList, CaseList})
    c->OnCommand = [this](WORD code) {
      if (code == CBN_SELCHANGE) UpdatePreview();
    };
  AutoDigitBox->OnCommand = [this](WORD code) {
    if (code != BN_CLICKED) return;
    DigitList->SetEnabled(!IsChecked(AutoDigitBox));
    UpdatePreview();
  };

  // The page's controls stand in front of the tab control.
  SetWindowPos(Tabs->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool TRenameForm::IsChecked(TRenSysControl* box) const { return box->Send(BM_GETCHECK) == BST_CHECKED; }

void TRenameForm::AddItem(const std::wstring& Name, const std::wstring& Ext, bool AtTop, uint32_t Attr,
                          const std::wstring& Folder, TDateTime Date, int64_t Size, const std::wstring& ShortName) {
  TListItemObject r;
  r.Name = Name;
  r.Ext = Ext;
  r.Attr = Attr;
  r.Folder = IncludeTrailingBackslash(Folder);
  r.Date = Date;
  r.Size = Size;
  r.ShortName = ShortName;
  if (r.IsFolder()) ++FFolderCount;
  FMaxNameLen = std::max(FMaxNameLen, Name.size());
  FMaxExtLen = std::max(FMaxExtLen, Ext.size());
  if (AtTop && !FRows.empty())
    FRows.insert(FRows.begin(), std::move(r));
  else
    FRows.push_back(std::move(r));
}

void TRenameForm::DoShow() {
  THanForm::DoShow();
  RefreshList();
  if (!FRows.empty()) List->SelectIndex(0);
  SetPage(1);
  if (!StartAdvanced) SetPage(0);
  UpdatePreview();
}

void TRenameForm::SetPage(int page) {
  bool simple = page == 0;
  if (simple && FPage == 1 && HandleAllocated()) FAdvancedHeight = Height();
  FPage = page;
  Tabs->Send(TCM_SETCURSEL, static_cast<WPARAM>(page));
  std::vector<TControl*> simpleCtls = {TargetLabel, SimpleEdit, ExtNoRenameBox, ChangeButton};
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (c == Tabs || c == CloseButton) continue;
    bool isSimple = std::find(simpleCtls.begin(), simpleCtls.end(), c) != simpleCtls.end();
    c->SetVisible(isSimple == simple);
  }
  if (simple) {
    MinTrackHeight = MaxTrackHeight = kSimpleHeight;
    SetHeight(kSimpleHeight);
    ShowSimpleRow();
  } else {
    MinTrackHeight = kMinHeight;
    MaxTrackHeight = 0;
    SetHeight(std::max(FAdvancedHeight, kMinHeight));
  }
  LayoutAdvanced();
}

void TRenameForm::Resized() {
  THanForm::Resized();
  LayoutAdvanced();
}

void TRenameForm::LayoutAdvanced() {
  if (!Tabs || !List) return;
  int cw = ClientWidth(), ch = ClientHeight();
  Tabs->SetBounds(4, 4, cw - 8, ch - 8);
  if (FPage == 0) {
    CloseButton->SetBounds(cw - 104, 90, 88, 25);
    return;
  }
  int listTop = 188;
  int buttonsTop = ch - 36;
  List->SetBounds(10, listTop, cw - 20, std::max(40, buttonsTop - listTop - 6));
  StartButton->SetTop(buttonsTop);
  UndoButton->SetTop(buttonsTop);
  ResultButton->SetTop(buttonsTop);
  Progress->SetBounds(296, buttonsTop + 4, std::max(20, cw - 296 - 110), 18);
  CloseButton->SetBounds(cw - 100, buttonsTop, 90, 25);
}

void TRenameForm::ShowSimpleRow() {
  if (FRows.empty()) return;
  const TListItemObject& r = FRows.front();
  TargetLabel->SetCaption(Msg(32038) + L": " + r.FullName());
  SimpleEdit->SetText(r.IsFolder() || IsChecked(ExtNoRenameBox) ? r.Name : r.FullName());
  if (FPage == 0 && Visible()) {
    SimpleEdit->SetFocus();
    SimpleEdit->SelectAll();
  }
}

void TRenameForm::OnExtNoRenameClick() {
  FExtNoRename = IsChecked(ExtNoRenameBox);
  if (FRows.empty()) return;
  const TListItemObject& r = FRows.front();
  if (r.IsFolder() || r.Ext.empty()) return;
  std::wstring text = SimpleEdit->Text(), dotExt = L"." + r.Ext;
  if (FExtNoRename) {
    if (text.size() > dotExt.size() && SameTextI(text.substr(text.size() - dotExt.size()), dotExt))
      SimpleEdit->SetText(text.substr(0, text.size() - dotExt.size()));
  } else if (!text.empty()) {
    SimpleEdit->SetText(text + dotExt);
  }
}

void TRenameForm::ChangeSimple() {
  if (FRows.empty()) return;
  std::wstring raw = SimpleEdit->Text();
  // The raw text first: what a path would swallow (a folder part, a drive) is refused, not cut.
  if (HasInvalidNameChar(raw)) {
    ShowErrorBox(SystemErrorText(ERROR_INVALID_NAME));
    SimpleEdit->SetFocus();
    return;
  }
  const TListItemObject& r = FRows.front();
  if (IsChecked(ExtNoRenameBox) && !r.IsFolder() && !raw.empty() && !r.Ext.empty()) raw += L"." + r.Ext;
  std::wstring name = ResolveNewNameComponent(Trim(raw));
  if (name.empty()) {
    ShowErrorBox(SystemErrorText(ERROR_INVALID_NAME));
    SimpleEdit->SetFocus();
    return;
  }
  if (!RenameOne(0, name, false, false)) return;
  if (FRows.empty()) {
    if (Modal())
      SetModalResult(mrOk);
    else
      Close();
    return;
  }
  RefreshList();
  ShowSimpleRow();
  SimpleEdit->SetFocus();
  SimpleEdit->SelectAll();
}

TRenameSettings TRenameForm::PreviewSettings() const {
  TRenameSettings s;
  int32_t v = 0;
  s.Start = ParseBoxNumber(StartEdit->Text(), v) ? v : 0;
  s.Step = ParseBoxNumber(StepEdit->Text(), v) ? v : 1;
  if (IsChecked(AutoDigitBox)) {
    int64_t last = static_cast<int64_t>(FRows.size()) * s.Step + s.Start - 1;
    s.Width = DigitCount(last);
    if (s.Start < 0) s.Width = std::max(s.Width, DigitCount(s.Start));
  } else {
    s.Width = static_cast<int>(DigitList->Send(CB_GETCURSEL)) + 1;
    if (s.Width < 1) s.Width = 1;
  }
  s.FindText = FindEdit->Text();
  s.ReplaceText = ReplaceEdit->Text();
  s.CaseMode = static_cast<int>(CaseList->Send(CB_GETCURSEL));
  if (s.CaseMode < 0) s.CaseMode = 0;
  return s;
}

void TRenameForm::UpdatePreview() {
  if (FInPreview || !List) return;
  FInPreview = true;
  TRenamePass pass(NamePattern->Text(), ExtPattern->Text(), PreviewSettings());
  bool showProgress = FRows.size() > 1000;
  if (showProgress) Progress->SetMax(static_cast<int>(FRows.size()));
  for (size_t i = 0; i < FRows.size(); ++i) {
    TRenameSource src{FRows[i].Name, FRows[i].Ext, FRows[i].Date};
    FRows[i].NewName = pass.BuildNewName(src, static_cast<int>(i));
    if (showProgress && i % 256 == 0) Progress->SetPosition(static_cast<int>(i));
  }
  // An invalid pattern anywhere leaves every row without a new name.
  if (pass.Invalid())
    for (auto& r : FRows) r.NewName.clear();
  if (showProgress) Progress->SetPosition(0);
  for (int i = 0; i < static_cast<int>(FRows.size()) && i < List->ItemCount(); ++i) SetRowText(i);
  FInPreview = false;
}

void TRenameForm::SetRowText(int i) {
  const TListItemObject& r = FRows[static_cast<size_t>(i)];
  TListItem it;
  it.Caption = r.Name;
  it.SubItems = {r.Ext, r.NewName.empty() ? Msg(8) : r.NewName, r.IsFolder() ? L"<DIR>" : FormatThousands(r.Size),
                 FormatDate(r.Date), r.Folder};
  it.Data = i;
  if (i < List->ItemCount()) {
    bool sel = List->Selected(i);
    List->SetItem(i, it);
    if (sel) List->SetSelected(i, true);
  } else {
    List->AddItem(it);
  }
}

void TRenameForm::RefreshList() {
  int sel = List->ItemIndex();
  SendMessageW(List->Handle(), WM_SETREDRAW, FALSE, 0);
  while (List->ItemCount() > static_cast<int>(FRows.size())) List->DeleteItem(List->ItemCount() - 1);
  for (int i = 0; i < static_cast<int>(FRows.size()); ++i) SetRowText(i);
  SendMessageW(List->Handle(), WM_SETREDRAW, TRUE, 0);
  List->Invalidate();
  if (sel >= List->ItemCount()) sel = List->ItemCount() - 1;
  if (sel >= 0) List->SelectIndex(sel);
}

void TRenameForm::InsertToken(TEdit* edit, const std::wstring& token) {
  edit->SetFocus();
  SendMessageW(edit->Handle(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(token.c_str()));
}

bool TRenameForm::UsesCounter() const {
  auto has = [](const std::wstring& s) { return UpperCase(s).find(L"<C") != std::wstring::npos; };
  return has(NamePattern->Text()) || has(ExtPattern->Text());
}

void TRenameForm::SortByColumn(int column) {
  if (column == 2 || column == 5 || column < 0) {
    MessageBeep(0);
    return;
  }
  if (column == FSortColumn)
    FSortAscending = !FSortAscending;
  else
    FSortColumn = column;
  auto byName = [](const TListItemObject& a, const TListItemObject& b) {
    int c = CompareTextI(a.Name, b.Name);
    return c != 0 ? c : CompareTextI(a.Ext, b.Ext);
  };
  auto cmp = [&](const TListItemObject& a, const TListItemObject& b) {
    int c = 0;
    switch (column) {
      case 1: c = CompareTextI(a.Ext, b.Ext); break;
      case 3: c = a.Size < b.Size ? -1 : a.Size > b.Size ? 1 : 0; break;
      case 4: c = a.Date < b.Date ? -1 : a.Date > b.Date ? 1 : 0; break;
      default: break;
    }
    if (c == 0) c = byName(a, b);
    return FSortAscending ? c < 0 : c > 0;
  };
  // Folders and files are sorted apart, so the folders stay first.
  auto firstFile = std::stable_partition(FRows.begin(), FRows.end(), [](const auto& r) { return r.IsFolder(); });
  std::stable_sort(FRows.begin(), firstFile, cmp);
  std::stable_sort(firstFile, FRows.end(), cmp);
  if (UsesCounter()) UpdatePreview();
  RefreshList();
}

void TRenameForm::MoveRow(int from, int to) {
  if (from < 0 || to < 0 || from >= ItemCount() || to >= ItemCount() || from == to) return;
  TListItemObject r = std::move(FRows[static_cast<size_t>(from)]);
  FRows.erase(FRows.begin() + from);
  FRows.insert(FRows.begin() + to, std::move(r));
  if (UsesCounter()) UpdatePreview();
  RefreshList();
  List->SelectIndex(to);
}

void TRenameForm::RemoveRow(int index) {
  if (index < 0 || index >= ItemCount()) return;
  if (FRows[static_cast<size_t>(index)].IsFolder()) --FFolderCount;
  FRows.erase(FRows.begin() + index);
  List->DeleteItem(index);
  if (UsesCounter()) UpdatePreview();
  RefreshList();
  if (!FRows.empty()) List->SelectIndex(std::min(index, ItemCount() - 1));
}

void TRenameForm::RowMenu(int x, int y, bool fromKey) {
  int i = List->ItemIndex();
  if (i < 0) return;
  if (fromKey) {
    RECT r = List->ItemRect(i);
    POINT p = List->ClientToScreen(POINT{r.left + 8, r.bottom});
    x = p.x;
    y = p.y;
  }
  THanPopupMenu menu(nullptr);
  menu.Add(Msg(32049), [this, i](TMenuItemRec&) { RemoveRow(i); });
  menu.Add(L"-");
  TMenuItemRec& up = menu.Add(Msg(32050), [this, i](TMenuItemRec&) { MoveRow(i, i - 1); });
  TMenuItemRec& down = menu.Add(Msg(32051), [this, i](TMenuItemRec&) { MoveRow(i, i + 1); });
  for (auto [item, on] : {std::pair<TMenuItemRec*, bool>{&up, i > 0}, {&down, i < ItemCount() - 1}}) {
    item->Enabled = on;
    EnableMenuItem(menu.Handle(), item->Command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  }
  menu.Popup(x, y, Handle());
}

void TRenameForm::ListTypeSearch(wchar_t c) {
  DWORD now = GetTickCount();
  if (now - FSearchTick > 1000) FSearch.clear();
  FSearchTick = now;
  FSearch += c;
  int n = ItemCount();
  if (n == 0) return;
  int from = std::max(0, List->ItemIndex());
  for (int k = 0; k < n; ++k) {
    int i = (from + k) % n;
    const std::wstring& name = FRows[static_cast<size_t>(i)].Name;
    if (name.size() >= FSearch.size() && SameTextI(name.substr(0, FSearch.size()), FSearch)) {
      List->SelectIndex(i);
      return;
    }
  }
}

// ---- Renaming -------------------------------------------------------------------------------

void TRenameForm::SaveDescriptions() {
  if (!FDesc) return;
  FDesc->ApplyRenames();
  if (FDesc->Modified) FDesc->Save();
}

void TRenameForm::NoteDescription(const TListItemObject& rec, const std::wstring& oldName,
                                  const std::wstring& newName, const std::wstring& newShort) {
  if (!FDesc || !SameTextI(FDescFolder, rec.Folder)) {
    SaveDescriptions();
    FDesc = std::make_unique<THanDescMan>(rec.Folder);
    FDescFolder = rec.Folder;
  }
  FDesc->SetNewName(oldName, rec.ShortName, newName, newShort);
}

bool TRenameForm::RenameOne(int Index, const std::wstring& NewName, bool Undo, bool Batch) {
  std::vector<TListItemObject>& list = Undo ? FUndo : FRows;
  if (Index < 0 || Index >= static_cast<int>(list.size())) return false;
  TListItemObject& rec = list[static_cast<size_t>(Index)];
  if (!RenameRecord(rec, NewName, Undo, Batch)) {
    if (Batch && !Undo) FUndo.push_back(rec);
    return false;
  }
  if (!Undo) {
    if (FLastRenamed) DoneList += (DoneList.empty() ? L"" : L"\r") + rec.Folder + rec.FullName();
    if (Batch) {
      FUndo.push_back(rec);
      UndoButton->SetEnabled(true);
    }
    FRows.erase(FRows.begin() + Index);
  }
  return true;
}

bool TRenameForm::RenameRecord(TListItemObject& rec, const std::wstring& newNameIn, bool undo, bool batch) {
  std::wstring oldName = rec.FullName(), newName = newNameIn;
  rec.Done = false;
  if (undo) {
    std::swap(oldName, newName);
    std::wstring s = ShortNameOf(rec.Folder + oldName);
    if (!s.empty()) rec.ShortName = s;
  }
  if (newName.empty()) return false;
  // The same name exactly: nothing to rename, and nothing failed (a change of case is a rename).
  FLastRenamed = newName != oldName;
  if (!FLastRenamed) {
    rec.Done = true;
    return true;
  }
  auto fail = [&] {
    if (!batch) SimpleEdit->SetFocus();
    return false;
  };
  if (HasInvalidNameChar(newName)) {
    if (!batch) ShowErrorBox(SystemErrorText(ERROR_INVALID_NAME));
    return fail();
  }
  std::wstring oldPath = rec.Folder + oldName, newPath = rec.Folder + newName;
  if (!SameTextI(oldName, newName) && GetFileAttributesW(newPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (!batch) ShowErrorBox(FormatText(Msg(32036), {newPath}));
    return fail();
  }
  if (rec.IsFolder()) {
    wchar_t cur[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, cur);
    if (n > 0 && n < MAX_PATH && SameTextI(IncludeTrailingBackslash(std::wstring(cur, n)), IncludeTrailingBackslash(oldPath)))
      SetCurrentDirectoryW(ExtractPathRoot(oldPath).c_str());
  }
  if (!MoveItem(oldPath, newPath)) {
    DWORD err = GetLastError();
    if (!batch)
      ShowErrorBox(FormatText(Msg(32037), {oldName, newName}) + L"||<D>" + SystemErrorText(err));
    return fail();
  }
  std::wstring newShort;
  if (Options.DescShortRead && Options.DescShortWrite) newShort = ShortNameOf(newPath);
  NoteDescription(rec, oldName, newName, newShort);
  if (!FocusedName.empty() && SameTextI(FocusedName, oldName)) FocusedName = newName;
  if (rec.IsFolder()) {
    std::wstring root = ExtractPathRoot(oldPath);
    if (!FTree || !SameTextI(root, FTreeRoot)) {
      FTree.reset();
      FTreeRoot = root;
      if (RenameTreeCacheFactory) FTree = RenameTreeCacheFactory(Handle(), oldPath);
    }
    if (FTree) FTree->RenameFolder(oldPath, newPath);
  }
  Changed = true;
  if (batch) ResultButton->SetEnabled(true);
  rec.Done = true;
  if (undo && !newShort.empty()) rec.ShortName = newShort;
  return true;
}

void TRenameForm::StartRename() {
  // Two rows that would get one name.
  std::vector<std::wstring> names;
  for (const auto& r : FRows)
    if (!r.NewName.empty()) names.push_back(UpperCase(r.NewName));
  std::sort(names.begin(), names.end());
  if (std::adjacent_find(names.begin(), names.end()) != names.end()) {
    std::wstring pattern = NamePattern->Text();
    if (pattern.find(L'<') != std::wstring::npos) {
      if (MessageBoxStd(Msg(1), Msg(32040), Msg(9) + L"|" + Msg(10), 1, 1, 1) != 0) return;
    } else {
      int a = MessageBoxStd(Msg(1), Msg(32039), Msg(9) + L"|" + Msg(10) + L"|" + Msg(2), 1, 0, 2);
      if (a == 2 || a < 0) return;
      if (a == 0) {
        std::wstring start(std::to_wstring(FRows.size()).size() - 1, L'0');
        NamePattern->SetText(Trim(pattern) + L"_<C" + start + L"1,1>");
        UpdatePreview();
        return;
      }
    }
  }
  FUndo.clear();
  UndoButton->SetEnabled(false);
  ResultButton->SetEnabled(false);
  HCURSOR oldCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  SendMessageW(List->Handle(), WM_SETREDRAW, FALSE, 0);
  int total = ItemCount(), handled = 0;
  Progress->SetMax(std::max(1, total));
  size_t i = 0;
  while (i < FRows.size()) {
    if (FRows[i].NewName.empty()) {
      ++i;
    } else {
      std::wstring nn = FRows[i].NewName;
      if (!RenameOne(static_cast<int>(i), nn, false, true)) ++i;
    }
    Progress->SetPosition(++handled);
  }
  SaveDescriptions();
  SendMessageW(List->Handle(), WM_SETREDRAW, TRUE, 0);
  RefreshList();
  SetCursor(oldCursor);
  Progress->SetPosition(0);
  if (!FRows.empty()) {
    std::wstring buttons = Msg(1);
    bool undo = UndoButton->Enabled(), result = ResultButton->Enabled();
    if (undo) buttons += L"|" + Msg(32041);
    if (result) buttons += L"|" + Msg(32042);
    int a = MessageBoxStd(Msg(8), Msg(32043), buttons, 2, 0, 0);
    // The buttons are numbered as shown: without undo the second one is the result.
    if (a == 1 && undo)
      UndoAll(true);
    else if ((a == 1 && !undo && result) || (a == 2 && result))
      ShowResult();
    return;
  }
  StartButton->SetEnabled(false);
  if (Modal())
    SetModalResult(mrOk);
  else
    Close();
}

void TRenameForm::UndoAll(bool Ask) {
  if (Ask && MessageBoxStd(Msg(1), Msg(32047), Msg(9) + L"|" + Msg(10), 4, 0, 1) != 0) return;
  FRows.clear();
  FFolderCount = 0;
  TStringList done;
  done.SetSorted(true);
  done.SetText(DoneList);
  int failed = 0;
  for (int k = static_cast<int>(FUndo.size()) - 1; k >= 0; --k) {
    TListItemObject& rec = FUndo[static_cast<size_t>(k)];
    auto putBack = [&] {
      AddItem(rec.Name, rec.Ext, true, rec.Attr, rec.Folder, rec.Date, rec.Size, rec.ShortName);
      FRows.front().NewName = rec.NewName;
    };
    if (!rec.Done || rec.NewName.empty()) {
      putBack();
      continue;
    }
    if (RenameOne(k, rec.NewName, true, true)) {
      int at = done.IndexOf(rec.Folder + rec.FullName());
      if (at >= 0) done.Delete(at);
      putBack();
    } else {
      ++failed;
    }
  }
  SaveDescriptions();
  DoneList.clear();
  for (int k = 0; k < done.Count(); ++k) DoneList += (k ? L"\r" : L"") + done[k];
  if (failed > 0) ShowErrorBox(FormatText(Msg(32048), {std::to_wstring(failed)}));
  StartButton->SetEnabled(!FRows.empty());
  FUndo.clear();
  UndoButton->SetEnabled(false);
  ResultButton->SetEnabled(false);
  RefreshList();
  if (!FRows.empty()) List->SelectIndex(0);
  if (FPage == 1) NamePattern->SetFocus();
}

std::wstring TRenameForm::ResultText() const {
  std::wstring text;
  for (const auto& r : FUndo) {
    if (!r.Done) continue;
    std::wstring old = r.FullName();
    // Compared exactly: a change of case is a rename too.
    if (old == r.NewName) continue;
    if (!text.empty()) text += L"\r\n";
    text += r.Folder + old + L" -> " + r.Folder + r.NewName;
  }
  return text;
}

void TRenameForm::ShowResult() {
  std::wstring text = ResultText();
  if (text.empty()) {
    ShowInfo(Msg(32044));
    return;
  }
  std::wstring dir = WorkFolder;
  if (dir.empty()) {
    wchar_t tmp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, tmp);
    dir.assign(tmp, n < MAX_PATH ? n : 0);
  }
  dir = IncludeTrailingBackslash(dir);
  std::wstring path = dir + MakeUniqueFileName(dir, L"M_REN.TXT", true);
  // The ANSI code page when every name fits, so that any viewer reads it; else UTF-8 marked.
  std::string bytes;
  if (!WideToAnsi(text, bytes)) bytes = "\xEF\xBB\xBF" + WideToUtf8(text);
  if (!SafeWriteFile(path, bytes)) {
    ShowErrorBox(FormatText(Msg(32045), {path}));
    return;
  }
  ResultFile = path;
  DWORD err = 0;
  if (OnOpenResult && !OnOpenResult(path, err))
    ShowErrorBox(FormatText(Msg(32046), {SystemErrorText(err), path}));
}
