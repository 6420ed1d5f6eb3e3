#include "foldermgr/QCDBox.h"

#include <algorithm>

#include "foldermgr/MCDBox.h"
#include "foundation/HanPopup.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/ToolBtn.h"
#include "panels/FileWin.h"

TQCDFolderChooser QCDFolderChooser;
std::function<void(TQCDForm& form)> TQCDForm::OnShownHook;

namespace {
std::wstring LastName(const std::wstring& path) {
  std::wstring p = ExcludeTrailingBackslash(path);
  size_t cut = p.find_last_of(L'\\');
  return cut == std::wstring::npos ? p : p.substr(cut + 1);
}

// The list of the window: system keys (Alt+Up, Alt+D, ...) go to the key handler like the
// others, a double click chooses, a right click shows the menu after the list's own handling.
class TQCDListView : public TScrListView {
 public:
  TQCDListView(TComponent* owner, TQCDForm& form) : TScrListView(owner), FForm(form) {}

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
    switch (msg) {
      case WM_SYSKEYDOWN:
        if (OnKeyDown) {
          WORD key = static_cast<WORD>(wp);
          OnKeyDown(this, key, KeyboardShiftState());
          if (key == 0) {
            result = 0;
            return true;
          }
        }
        break;
      case WM_LBUTTONDBLCLK:
        result = DefaultHandler(msg, wp, lp);
        if (ItemAt(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))) >= 0) FForm.Action(TQCDForm::acChoose);
        return true;
      case WM_RBUTTONDOWN: {
        result = DefaultHandler(msg, wp, lp);
        const int row = ItemAt(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        if (row >= 0 && (wp & (MK_SHIFT | MK_CONTROL)) == 0 && GetKeyState(VK_MENU) >= 0) {
          SelectIndex(row);
          FForm.UpdateCommands();
          POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
          ::ClientToScreen(Handle(), &p);
          FForm.Popup->Popup(p.x, p.y, FForm.Handle());
        }
        return true;
      }
      default:
        break;
    }
    return TScrListView::WndProc(msg, wp, lp, result);
  }

 private:
  TQCDForm& FForm;
};

std::wstring Plain(int msg) {
  std::wstring s = LoadMessageText(msg);
  s.erase(std::remove(s.begin(), s.end(), L'&'), s.end());
  return s;
}
}  // namespace

THToolBar* NewWindowToolBar(TControl* window, HIMAGELIST images) {
  auto* bar = new THToolBar(window);
  bar->SetAlign(alTop);
  bar->Flat = true;
  bar->SetWrapable(Options.ToolBarWrap);
  bar->SetColor(Options.ToolBarColor);
  bar->SetShowCaptions(Options.ShowToolName);
  bar->ShowHint = !Options.ShowToolName;
  bar->SetImages(images);
  bar->SetParent(window);
  return bar;
}

TPanelStatusLine* NewWindowStatusBar(TControl* window) {
  auto* bar = new TPanelStatusLine(window);
  bar->SetAlign(alBottom);
  bar->SetHeight(Options.MainFontHeight + 4 > 8 ? Options.MainFontHeight + 4 : 20);
  bar->SetParts({L""});
  bar->SetParent(window);
  return bar;
}

TQCDForm::TQCDForm(TComponent* owner) : THanForm(owner) {
  Name = L"QCDForm";
  SetCaption(LoadMessageText(7002));
  Font.SetName(Options.MainFont.Name);
  Font.SetSize(Options.MainFont.Size);
  Font.SetStyle(Options.MainFont.Style);
  Font.SetCharset(DEFAULT_CHARSET);
  Position = poOwnerFormCenter;
  MinTrackWidth = 300;
  MinTrackHeight = 300;
  const TIniRect& w = Options.QCDWindow;
  SetBounds(0, 0, w.Right > 0 ? w.Right : 420, w.Bottom > 0 ? w.Bottom : 440);
  // Only the system menu among the border icons.
  LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
  SetWindowLongPtrW(Handle(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  SetFormIconFromBitmapRes(Handle(), L"MAIN_QCD16");

  Images.reset(ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 7, 0));
  for (const wchar_t* res : {L"MAIN_QCD16", L"MCD_ENTER16", L"MAIN_MCD16", L"MAIN_EDIT16", L"MCD_DELETE16",
                             L"M_MOVEUP", L"M_MOVEDOWN"})
    AddBitmapResToImageList(Images.get(), res);

  Popup = new THanPopupMenu(this);
  auto item = [this](int msg, int action, TShortCut key) {
    TMenuItemRec& it = Popup->Add(LoadMessageText(msg), [this, action](TMenuItemRec&) { Action(action); }, action, key);
    it.ImageIndex = action;
  };
  item(2159, acChoose, VK_RETURN);
  Popup->Add(L"-");
  item(7021, acPath, VK_F10);
  item(7022, acTitle, VK_SPACE);
  Popup->Add(L"-");
  item(2107, acDelete, VK_DELETE);
  Popup->Add(L"-");
  item(32050, acUp, static_cast<TShortCut>(scAlt | VK_UP));
  item(32051, acDown, static_cast<TShortCut>(scAlt | VK_DOWN));

  ToolBar = NewWindowToolBar(this, Images.get());
  ToolBar->Name = L"ToolBar";
  auto button = [this](int msg, int action) {
    AddToolButton(ToolBar, Plain(msg), false, [this, action](TComponent*) { Action(action); }, tbsButton, action,
                  action, true, nullptr);
  };
  button(10405, acPath);
  button(7023, acTitle);
  AddToolSeparator(ToolBar);
  button(2010, acDelete);
  AddToolSeparator(ToolBar);
  button(7024, acUp);
  button(7025, acDown);

  StatusBar = NewWindowStatusBar(this);

  List = new TQCDListView(this, *this);
  List->Name = L"List";
  List->SetAlign(alClient);
  List->RowSelect = true;
  List->MultiSelect = false;
  List->KeyMoves = false;
  List->TabStop = true;
  List->AddColumn({LoadMessageText(7026), Options.QCDI1, 0});
  List->AddColumn({LoadMessageText(7023), Options.QCDI2, 0});
  List->AddColumn({LoadMessageText(10405), Options.QCDI3, 0});
  List->SetSmallImages(Images.get());
  List->SetParent(this);
  ActiveControl = List;
  List->OnSelectItem = [this](TComponent*) { UpdateCommands(); };
  List->OnRowMove = [this](TScrListView*, int target) { SwapRows(Selected(), target); };
  List->OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) { ListKey(key, shift); };
  List->OnKeyPress = [this](TComponent*, wchar_t& ch) { ListChar(ch); };
  OnShow = [this](TComponent*) { FormShow(); };
  OnHide = [this](TComponent*) { FormClose(); };
}

TQCDForm::~TQCDForm() {
  if (!FClosed) FormClose();
  if (HandleAllocated()) SaveWindowPlacement(Handle(), Options.QCDWindow);
}

int TQCDForm::Selected() const { return List ? List->ItemIndex() : -1; }

void TQCDForm::FormShow() {
  FClosed = false;
  List->ClearItems();
  int select = -1;
  for (int i = 0; i < QCDSlotCount; ++i) {
    const TQCDSlot& slot = Options.QCDSlots[static_cast<size_t>(i)];
    TListItem row;
    row.Caption = slot.Label;
    row.SubItems = {slot.Title, slot.Path};
    row.ImageIndex = 0;
    List->AddItem(row);
    if (select < 0 && lstrcmpiW(slot.Path.c_str(), CurrentPath.c_str()) == 0) select = i;
  }
  List->SelectIndex(select < 0 ? 0 : select);
  Modified = false;
  List->SetFocus();
  UpdateCommands();
  if (OnShownHook) OnShownHook(*this);
}

void TQCDForm::FormClose() {
  if (FClosed) return;
  FClosed = true;
  if (Modified) {
    for (int i = 0; i < QCDSlotCount && i < List->ItemCount(); ++i) {
      const TListItem& row = List->Items(i);
      TQCDSlot& slot = Options.QCDSlots[static_cast<size_t>(i)];
      slot.Label = row.Caption.substr(0, 20);
      slot.Title = row.Text(1);
      slot.Path = row.Text(2);
    }
    Modified = false;
    Options.SaveHistory(true);
  }
  if (List->HandleAllocated()) {
    Options.QCDI1 = List->ColumnWidth(0);
    Options.QCDI2 = List->ColumnWidth(1);
    Options.QCDI3 = List->ColumnWidth(2);
  }
}

TToolButton* TQCDForm::Button(int action) const {
  for (int i = 0; i < ToolBar->ButtonCount(); ++i)
    if (ToolBar->Buttons(i)->Tag == action && ToolBar->Buttons(i)->Style != tbsSeparator) return ToolBar->Buttons(i);
  return nullptr;
}

TMenuItemRec* TQCDForm::MenuItem(int action) const {
  for (const auto& it : Popup->Items().Items())
    if (it->Tag == action && it->Caption != L"-") return it.get();
  return nullptr;
}

void TQCDForm::UpdateCommands() {
  const int row = Selected();
  const bool any = row >= 0;
  const bool filled = any && (!List->Items(row).Text(1).empty() || !List->Items(row).Text(2).empty());
  auto set = [this](int action, bool on) {
    if (TToolButton* b = Button(action)) b->SetEnabled(on);
    if (TMenuItemRec* m = MenuItem(action)) {
      m->Enabled = on;
      EnableMenuItem(Popup->Handle(), m->Command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    }
  };
  set(acPath, any && AllowEdit);
  set(acDelete, filled);
  set(acUp, any && row > 0);
  set(acDown, any && row + 1 < List->ItemCount());
}

void TQCDForm::SwapRows(int from, int to) {
  if (from < 0 || to < 0 || from == to || from >= List->ItemCount() || to >= List->ItemCount()) return;
  TListItem a = List->Items(from), b = List->Items(to);
  // Labels belong to the places; titles and paths move.
  std::swap(a.SubItems, b.SubItems);
  List->SetItem(from, a);
  List->SetItem(to, b);
  List->SelectIndex(to);
  Modified = true;
  UpdateCommands();
}

void TQCDForm::Action(int action) {
  const int row = Selected();
  if (action == acCancel) {
    ResultPath.clear();
    SetModalResult(mrCancel);
    if (!Modal()) Close();
    return;
  }
  if (row < 0) return;
  TListItem item = List->Items(row);
  switch (action) {
    case acChoose:
      if (item.Text(2).empty()) {
        if (AllowEdit) Action(acPath);
        return;
      }
      ResultPath = item.Text(2);
      SetModalResult(mrOk);
      if (!Modal()) Close();
      return;
    case acPath: {
      if (!AllowEdit) return;
      std::wstring start = Trim(item.Text(2));
      if (start.empty()) start = ExtractPathRoot(CurrentPath);
      start = ExcludeTrailingBackslash(start);
      std::wstring caption = LoadMessageText(7027);
      size_t at = caption.find(L"%S");
      if (at != std::wstring::npos) caption.replace(at, 2, item.Caption);
      std::wstring folder;
      if (QCDFolderChooser)
        folder = QCDFolderChooser(start, caption, Options.MCDShowIcon);
      else
        SelectFolderDialogShort(start, caption, Options.MCDShowIcon, false, folder);
      if (folder.empty()) return;
      item.SubItems[1] = folder;
      if (item.SubItems[0].empty()) item.SubItems[0] = IsPathRoot(folder) ? folder : LastName(folder);
      List->SetItem(row, item);
      Modified = true;
      break;
    }
    case acTitle: {
      std::wstring title = item.Text(1);
      if (!AskOkCancel(LoadMessageText(7023), item.Caption, L"MAIN_EDIT16", title, L"", true)) return;
      item.SubItems[0] = title;
      List->SetItem(row, item);
      Modified = true;
      break;
    }
    case acDelete:
      if (item.Text(1).empty() && item.Text(2).empty()) return;
      item.SubItems = {L"", L""};
      List->SetItem(row, item);
      Modified = true;
      break;
    case acUp:
    case acDown:
      List->MoveSelected(action == acUp);
      return;
    default:
      return;
  }
  List->SelectIndex(row);
  UpdateCommands();
}

void TQCDForm::ShowPopupAtRow() {
  const int row = Selected();
  if (row < 0) return;
  RECT r = List->ItemRect(row);
  POINT p{r.left + 18, (r.top + r.bottom) / 2};
  ::ClientToScreen(List->Handle(), &p);
  UpdateCommands();
  Popup->Popup(p.x, p.y, Handle());
}

void TQCDForm::ListKey(WORD& key, TShiftState shift) {
  shift &= ssShift | ssAlt | ssCtrl;
  int action = 0;
  if (shift == 0) {
    switch (key) {
      case VK_RETURN: action = acChoose; break;
      case VK_ESCAPE: action = acCancel; break;
      case VK_SPACE: action = acTitle; break;
      case VK_DELETE: action = acDelete; break;
      case VK_F10: action = acPath; break;
      case VK_APPS:
        key = 0;
        ShowPopupAtRow();
        return;
      case VK_F1:
        key = 0;
        return;  // the help topic "qcd": the program ships no help file
      default: break;
    }
  } else if ((shift == ssShift || shift == (ssShift | ssCtrl)) && key >= VK_F1 && key <= VK_F10) {
    int slot = key - VK_F1 + (shift & ssCtrl ? 10 : 0);
    key = 0;
    List->SelectIndex(slot);
    Action(acChoose);
    return;
  } else if (shift == ssAlt) {
    if (key == VK_UP) action = acUp;
    if (key == VK_DOWN) action = acDown;
    if (key == 'D') action = acDelete;
    if (key == 'X') action = acCancel;
  } else if (shift == ssCtrl && key == VK_RETURN) {
    action = acTitle;
  }
  if (!action) return;
  key = 0;
  Action(action);
}

void TQCDForm::ListChar(wchar_t& ch) {
  static const std::wstring digits = L"1234567890", shifted = L"!@#$%^&*()";
  size_t at = digits.find(ch);
  int row = -1;
  if (at != std::wstring::npos)
    row = static_cast<int>(at);
  else if ((at = shifted.find(ch)) != std::wstring::npos)
    row = static_cast<int>(at) + 10;
  if (row < 0) return;
  ch = 0;
  List->SelectIndex(row);
  UpdateCommands();
}

void ShowQCD(const std::wstring& currentPath, bool allowEdit, std::wstring& path) {
  path.clear();
  HWND active = GetActiveForm();
  TControl* owner = active ? TControl::FromHandle(active) : nullptr;
  TQCDForm form(owner);
  form.CurrentPath = currentPath;
  form.AllowEdit = allowEdit;
  if (form.ShowModal() == mrOk) path = form.ResultPath;
}
