#include "foldermgr/MCDBox.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>

#include "fileops/CopyDlg.h"
#include "fileops/RenDlg.h"
#include "fileops/frmTgt.h"
#include "foldermgr/MCDTree.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/DriveBar.h"
#include "mainwin/MKeyLine.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

std::function<void(TMcdDialog& dialog)> TMcdDialog::OnShown;
std::function<std::wstring(const std::wstring& path, bool edit)> TMcdDialog::FavouritesList;

namespace {
std::wstring LastName(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::vector<std::wstring> SplitBars(const std::wstring& text) {
  std::vector<std::wstring> parts;
  size_t from = 0;
  for (;;) {
    size_t bar = text.find_first_of(L"|\r\n", from);
    if (bar != from) parts.push_back(text.substr(from, bar == std::wstring::npos ? std::wstring::npos : bar - from));
    if (bar == std::wstring::npos) break;
    from = bar + 1;
  }
  return parts;
}

// A name another program mapped a dropped file to: its last component only, or the file's
// own name when that is empty, "." or ".." or not a valid name.
std::wstring MappedName(const std::vector<std::wstring>& names, size_t i, const std::wstring& file) {
  std::wstring own = LastName(ExcludeTrailingBackslash(file));
  if (i >= names.size()) return own;
  std::wstring name = names[i];
  std::replace(name.begin(), name.end(), L'/', L'\\');
  name = LastName(ExcludeTrailingBackslash(name));
  if (name.empty() || name == L"." || name == L".." || name.find_first_of(L":*?\"<>|") != std::wstring::npos ||
      name.find_first_not_of(L". ") == std::wstring::npos)
    return own;
  return name;
}

bool MakeShortcut(const std::wstring& file, const std::wstring& link) {
  IShellLinkW* shell = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shell))))
    return false;
  shell->SetPath(file.c_str());
  shell->SetWorkingDirectory(ExtractParentDir(file).c_str());
  IPersistFile* persist = nullptr;
  bool ok = SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
            SUCCEEDED(persist->Save(link.c_str(), TRUE));
  if (persist) persist->Release();
  shell->Release();
  return ok;
}

struct TCommandRec {
  int Msg;
  int Image;  // in the pop-up menu's image list
  TShortCut ShortCut;
};
// The pop-up menu in order; cmDeleteNow has no entry of its own.
const TCommandRec MenuRows[] = {
    {2159, 9, VK_RETURN},          {2160, 2, VK_F3},
    {2105, 3, 'C' | scAlt},        {2106, 4, 'M' | scAlt},
    {2107, 5, 'D' | scAlt},        {2108, 6, 'R' | scAlt},
    {2109, 7, 'K' | scAlt},        {2158, 8, VK_F9},
    {2115, 10, 'C' | scCtrl},      {2116, 11, 'X' | scCtrl},
    {2117, 12, 'V' | scCtrl},      {2161, 0, VK_F2},
    {2162, 1, VK_ADD},             {2163, -1, VK_DIVIDE},
    {2164, -1, VK_SUBTRACT},       {2156, -1, 'T' | scShift | scCtrl},
    {2136, -1, 'D' | scShift | scCtrl}, {2157, -1, 'K' | scShift | scCtrl},
};
}  // namespace

TMcdDialog::TMcdDialog(TComponent* owner) : TComponent(owner) {}

TMcdDialog::~TMcdDialog() {
  delete Form;
  Form = nullptr;
}

// ---- Commands ----

bool TMcdDialog::Available(TCommand c) const {
  if (!View) return false;
  switch (c) {
    case cmCopy:
    case cmMove:
    case cmDelete:
    case cmRename:
    case cmClipCopy:
    case cmClipCut:
    case cmDeleteNow: return View->CanEdit();
    case cmProperties: return View->CanProperties();
    case cmPaste: return View->CanPaste();
    case cmRescanBranch:
    case cmRescanLevel:
    case cmRemoveSubList:
    case cmChoose: return View->ItemIndex() >= 0;
    case cmNewFolder: return View->Count() > 0;
    default: return true;
  }
}

std::vector<std::pair<TMcdDialog::TCommand, bool>> TMcdDialog::MenuState() const {
  std::vector<std::pair<TCommand, bool>> state;
  const bool selected = View && View->ItemIndex() >= 0;
  for (int i = 0; i <= cmKeyLine; ++i) {
    TCommand c = static_cast<TCommand>(i);
    bool visible;
    switch (c) {
      case cmChangeDrive:
      case cmRescanDrive: visible = true; break;
      case cmToolBar:
      case cmDriveBar:
      case cmKeyLine: visible = !selected; break;
      case cmChoose:
      case cmRescanBranch:
      case cmRescanLevel:
      case cmRemoveSubList: visible = selected; break;
      case cmNewFolder: visible = selected; break;
      default: visible = selected && Available(c); break;
    }
    state.emplace_back(c, visible);
  }
  return state;
}

void TMcdDialog::Run(TCommand c) {
  if (!View) return;
  switch (c) {
    case cmChoose: View->Choose(); break;
    case cmChangeDrive: View->ChangeDrive(); break;
    case cmCopy: View->EnterMode(true); break;
    case cmMove: View->EnterMode(false); break;
    case cmDelete: View->DeleteFolder(!Options.NotUseRecycled && !(GetKeyState(VK_SHIFT) < 0)); break;
    case cmDeleteNow: View->DeleteFolder(false); break;
    case cmRename: View->Rename(); break;
    case cmNewFolder: View->NewFolder(); break;
    case cmProperties: View->Properties(); break;
    case cmClipCopy: View->CopyToClipboard(false); break;
    case cmClipCut: View->CopyToClipboard(true); break;
    case cmPaste: View->Paste(); break;
    case cmRescanDrive: View->Rescan(false, false); break;
    case cmRescanBranch: View->Rescan(true, false); break;
    case cmRescanLevel: View->Rescan(true, true); break;
    case cmRemoveSubList: View->RemoveSubList(View->GetSelectedPath(), false); break;
    case cmToolBar:
      Options.MCDToolBar = !Options.MCDToolBar;
      BuildToolBar();
      Arrange();
      break;
    case cmDriveBar:
      Options.MCDShowDriveBar = !Options.MCDShowDriveBar;
      BuildDriveBar();
      Arrange();
      break;
    case cmKeyLine:
      Options.MCDShowKeyBar = !Options.MCDShowKeyBar;
      BuildKeyLine();
      Arrange();
      break;
    case cmFavourites: {
      std::wstring chosen;
      if (FavouritesList) {
        chosen = FavouritesList(View->GetSelectedPath(), true);
      } else if (FavMenu) {
        POINT p{0, 0};
        ClientToScreen(View->Handle(), &p);
        FavMenu->Popup(p.x, p.y, Form->Handle());
        return;
      }
      FillKeyLine();
      if (!chosen.empty()) GoTo(chosen);
      break;
    }
    case cmCount: break;
  }
  if (View->Changed) Changed = true;
}

void TMcdDialog::ShowMenu(POINT client) {
  THanPopupMenu menu(Form, 100);
  std::vector<std::pair<TCommand, bool>> state = MenuState();
  const bool selected = View->ItemIndex() >= 0;
  std::vector<TMenuItemRec*> items;
  for (size_t i = 0; i < state.size(); ++i) {
    TCommand c = state[i].first;
    if (c == cmToolBar) menu.Add(L"-");
    TShortCut sc = MenuRows[i].ShortCut;
    if (c == cmClipCut) sc = Options.CtrlXExtract ? static_cast<TShortCut>(VK_DELETE | scCtrl) : sc;
    TMenuItemRec& item = AddPopupItem(menu, LoadMessageText(MenuRows[i].Msg), MenuRows[i].Image,
                                      [this, c](TMenuItemRec&) { Run(c); }, static_cast<int>(c), sc, 0);
    if (c == cmToolBar) item.Checked = Options.MCDToolBar;
    if (c == cmDriveBar) item.Checked = Options.MCDShowDriveBar;
    if (c == cmKeyLine) item.Checked = Options.MCDShowKeyBar;
    items.push_back(&item);
  }
  for (size_t i = 0; i < state.size(); ++i) menu.SetItemVisible(*items[i], state[i].second);
  (void)selected;
  POINT screen = client;
  ClientToScreen(View->Handle(), &screen);
  menu.Popup(screen.x, screen.y, Form->Handle());
}

// ---- Window ----

void TMcdDialog::ViewChanged() {
  if (!View) return;
  std::wstring path = View->GetSelectedPath();
  if (PathLabel) PathLabel->SetPath(path.empty() ? path : TCustomMCD::CaseName(IncludeTrailingBackslash(path)));
  if (ToolBar) {
    static const TCommand buttons[] = {cmRescanDrive, cmChangeDrive, cmFavourites, cmCopy, cmMove,
                                       cmDelete,      cmRename,      cmNewFolder,  cmProperties, cmRescanBranch};
    for (int i = 0; i < ToolBar->ButtonCount() && i < 10; ++i) ToolBar->Buttons(i)->SetEnabled(Available(buttons[i]));
  }
  if (DriveBar && !View->RootPath.empty() && View->RootPath.size() >= 2 && View->RootPath[1] == L':') {
    wchar_t letter = static_cast<wchar_t>(towupper(View->RootPath[0]));
    if (letter != FShownDrive) {
      FShownDrive = letter;
      DriveBar->RebuildDrives(-1);
      DriveBar->SetCurrentDrive(letter);
    }
  }
}

void TMcdDialog::SearchChanged() {
  if (!SearchLabel) return;
  std::wstring text = UpperCase(View->SearchText());
  if (text.empty()) {
    SearchLabel->Hide();
    return;
  }
  TScreenDC screen;
  HGDIOBJ old = SelectObject(screen.Handle(), SearchLabel->Font.Handle());
  SIZE size{};
  GetTextExtentPoint32W(screen.Handle(), text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(screen.Handle(), old);
  if (size.cx > SearchLabel->Width()) text = MbcsRightStr(text, 10);
  SearchLabel->SetCaption(text);
  SearchLabel->Show();
}

void TMcdDialog::AskSearch() {
  std::wstring value = View->SearchText();
  if (!AskOkCancel(LoadMessageText(5001), LoadMessageText(5002), L"#22", value, L"", true)) return;
  bool saved = Options.ExtSpeedSearch;
  Options.ExtSpeedSearch = false;
  if (value != View->SearchText())
    View->SetSearchText(value);
  else
    View->FindNext(true);
  Options.ExtSpeedSearch = saved;
  if (View->SearchText().empty()) Beep();
}

void TMcdDialog::AskPath() {
  std::wstring value = View->GetSelectedPath(), history;
  Options.GetHistoryText(hkGOTO, history);
  for (;;) {
    if (!AskOkCancel(LoadMessageText(4161), LoadMessageText(4162), L"#4", value, history, true)) return;
    std::wstring entry = IncludeTrailingBackslash(Trim(value));
    if (entry.size() > 1 && View->LoadDrive(ExtractPathRoot(entry), entry) &&
        SameTextI(View->GetSelectedPath(), ExcludeTrailingBackslash(entry)))
      break;
  }
  Options.AddHistory(hkGOTO, ExcludeTrailingBackslash(Trim(value)));
}

void TMcdDialog::GoTo(const std::wstring& path) {
  if (path.empty()) {
    Beep();
    return;
  }
  if (SameTextI(ExcludeTrailingBackslash(path), View->GetSelectedPath()))
    View->Choose();
  else
    View->LoadDrive(ExtractPathRoot(path), ExcludeTrailingBackslash(path));
}

void TMcdDialog::GoToSlot(int slot) {
  if (slot < 0 || slot >= QCDSlotCount) return;
  GoTo(Options.QCDSlots[static_cast<size_t>(slot)].Path);
}

void TMcdDialog::GoToSpecial(int csidl) { GoTo(ExcludeTrailingBackslash(GetSpecialFolderPath(csidl))); }

void TMcdDialog::ViewKey(WORD& key, bool before, TShiftState shift) {
  if (!before) {
    if (KeyLine) KeyLine->SelectKeySet(shift & (ssShift | ssAlt | ssCtrl));
    return;
  }
  const TShiftState sc = ssShift | ssCtrl;
  WORD k = key;
  bool used = true;
  if (shift == sc && k == 'D') Run(cmDriveBar);
  else if (shift == sc && k == 'K') Run(cmKeyLine);
  else if (shift == sc && k == 'T') Run(cmToolBar);
  else if (shift == sc && k == 'L') AskSearch();
  else if (shift == ssCtrl && k == 'G') AskPath();
  else if (shift == 0 && k == VK_F11) Run(cmFavourites);
  else if (shift == ssShift && k >= VK_F1 && k <= VK_F10) GoToSlot(k - VK_F1);
  else if (shift == sc && k >= VK_F1 && k <= VK_F10) GoToSlot(k - VK_F1 + 10);
  else if (shift == ssShift && k == VK_F11) GoToSpecial(CSIDL_PERSONAL);
  else if (shift == sc && k == VK_F11) GoToSpecial(CSIDL_DESKTOPDIRECTORY);
  else if (shift == sc && k == VK_F12) GoToSpecial(CSIDL_STARTMENU);
  else used = false;
  if (used) key = 0;
}

void TMcdDialog::KeyLineClick(int set, int label) {
  if (label < 1 || label > 10) return;
  static const TCommand plain[] = {cmRescanDrive, cmChangeDrive, cmMove, cmCopy, cmRename,
                                   cmNewFolder,   cmDelete,      cmProperties, cmRescanBranch};
  static const TCommand alt[] = {cmCopy, cmMove, cmDelete, cmRename, cmNewFolder};
  switch (set) {
    case 0:
      if (label <= 9) Run(plain[label - 1]);
      break;
    case 1: GoToSlot(label - 1); break;
    case 4: GoToSlot(label + 9); break;
    case 3:
      if (label <= 5) Run(alt[label - 1]);
      else if (label == 6) View->AdjustSize(true, 1);
      else if (label == 7) View->AdjustSize(true, 2);
      else if (label == 8) View->AdjustSize(true, 0);
      break;
    case 5:
      if (label == 1) View->AdjustSize(false, 1);
      else if (label == 2) View->AdjustSize(false, 2);
      break;
  }
  if (View->Changed) Changed = true;
}

void TMcdDialog::FillKeyLine() {
  if (!KeyLine) return;
  auto& sets = KeyLine->KeySets;
  for (auto& set : sets) set.assign(TMKeyLine::LabelCount, L"");
  auto put = [&](int set, int msg) {
    std::vector<std::wstring> parts = SplitBars(LoadMessageText(msg));
    for (size_t i = 0; i < parts.size() && i < TMKeyLine::LabelCount; ++i) sets[static_cast<size_t>(set)][i] = parts[i];
  };
  put(0, 5005);
  put(3, 5006);
  put(5, 5007);
  for (int i = 0; i < 20; ++i) {
    const TQCDSlot& slot = Options.QCDSlots[static_cast<size_t>(i)];
    std::wstring text = !slot.Title.empty() ? slot.Title : !LastName(slot.Path).empty() ? LastName(slot.Path) : slot.Path;
    sets[i < 10 ? 1 : 4][static_cast<size_t>(i % 10)] = L"F" + std::to_wstring(i % 10 + 1) + L" " + text;
  }
  KeyLine->Invalidate();
}

void TMcdDialog::BuildKeyLine() {
  delete KeyLine;
  KeyLine = nullptr;
  if (!Options.MCDShowKeyBar) return;
  KeyLine = new TMKeyLine(Form);
  KeyLine->SetAlign(alBottom);
  KeyLine->SetFlat(Options.FlatKeyBar);
  KeyLine->Colors = {Options.HKeyNormalBack, Options.HKeyNormalText, Options.HKeyHighText, Options.HKeyShiftBack,
                     Options.HKeyAltColor,   Options.HKeyHotItemBack, Options.HKeyHotItemKey, Options.HKeyHotItemText};
  KeyLine->SetParent(Form);
  KeyLine->OnKeyClick = [this](TMKeyLine* line) { KeyLineClick(line->ClickedSet, line->ClickedLabel); };
  FillKeyLine();
}

void TMcdDialog::BuildDriveBar() {
  delete DriveBar;
  DriveBar = nullptr;
  FShownDrive = 0;
  if (!Options.MCDShowDriveBar) return;
  DriveBar = new TDriveBar(Form);
  DriveBar->List = true;
  DriveBar->SetShowCaptions(true);
  DriveBar->SetWrapable(Options.ToolBarWrap);
  DriveBar->SetColor(Options.ToolBarColor);
  DriveBar->SetAlign(Options.MCDDriveBarTop ? alTop : alBottom);
  DriveBar->SetTop(Options.MCDDriveBarTop ? 1000 : 0);
  DriveBar->SetParent(Form);
  DriveBar->RebuildDrives(-1);
  DriveBar->OnDriveClick = [this](TToolButton* b) {
    int index = b->Tag - 100;
    if (index >= 0 && index < 26) View->GoTo(std::wstring(1, static_cast<wchar_t>(L'A' + index)) + L":");
  };
  DriveBar->OnMouseUp = [this](TComponent*, TMouseButton button, TShiftState, int x, int y) {
    if (button != mbRight) return;
    THanPopupMenu menu(Form);
    TMenuItemRec& top = menu.Add(LoadMessageText(6031), [this](TMenuItemRec&) {
      Options.MCDDriveBarTop = !Options.MCDDriveBarTop;
      BuildDriveBar();
      Arrange();
    });
    top.Checked = Options.MCDDriveBarTop;
    POINT p = DriveBar->ClientToScreen(POINT{x, y});
    menu.Popup(p.x, p.y, Form->Handle());
  };
  ViewChanged();
}

void TMcdDialog::BuildToolBar() {
  delete ToolBar;
  ToolBar = nullptr;
  FToolImages.reset();
  FToolGray.reset();
  if (!Options.MCDToolBar) return;
  const bool small = Options.McdToolBarSmall;
  const int size = small ? 16 : 24;
  FToolImages.reset(ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 10, 2));
  static const wchar_t* const images[] = {L"MCD_RELOAD", L"MAIN_CHDRV", L"MCD_COPY", L"MCD_MOVE", L"MCD_DELETE",
                                          L"MCD_RENAME", L"MCD_NEWFOLD", L"MCD_SIZE", L"MCD_FRESH", L"MAIN_QCD"};
  for (const wchar_t* name : images) AddBitmapResToImageList(FToolImages.get(), std::wstring(name) + (small ? L"16" : L""));
  ToolBar = new THToolBar(Form);
  ToolBar->SetAlign(alTop);
  ToolBar->SetTop(500);
  ToolBar->SetColor(Options.ToolBarColor);
  ToolBar->SetWrapable(Options.ToolBarWrap);
  ToolBar->SetShowCaptions(Options.ShowMcdToolName);
  if (Options.GrayToolBar && GetScreenColorDepth() > 8) {
    MakeDisabledImageList(FToolImages.get(), FToolGray, size, size);
    ToolBar->SetImages(FToolGray.get());
  } else {
    ToolBar->SetImages(FToolImages.get());
  }
  ToolBar->SetParent(Form);
  struct TButtonRow {
    int Msg, Image;
    TCommand Command;
    THanPopupMenu* Menu;
  };
  const TButtonRow rows[] = {{2021, 0, cmRescanDrive, nullptr}, {2005, 1, cmChangeDrive, DriveMenu},
                             {2007, 9, cmFavourites, FavMenu},  {2008, 2, cmCopy, nullptr},
                             {2009, 3, cmMove, nullptr},        {2010, 4, cmDelete, nullptr},
                             {2011, 5, cmRename, nullptr},      {2012, 6, cmNewFolder, nullptr},
                             {2022, 7, cmProperties, nullptr},  {2023, 8, cmRescanBranch, nullptr}};
  for (const TButtonRow& r : rows) {
    TCommand c = r.Command;
    AddToolButton(ToolBar, LoadMessageText(r.Msg), false, [this, c](TComponent*) { Run(c); },
                  r.Menu ? tbsDropDown : tbsButton, static_cast<int>(c), r.Image, true, r.Menu);
  }
  ToolBar->OnMouseUp = [this](TComponent*, TMouseButton button, TShiftState, int x, int y) {
    if (button != mbRight) return;
    THanPopupMenu menu(Form);
    TMenuItemRec& smallItem = menu.Add(LoadMessageText(5003), [this](TMenuItemRec&) {
      Options.McdToolBarSmall = !Options.McdToolBarSmall;
      BuildToolBar();
      Arrange();
    });
    smallItem.Checked = Options.McdToolBarSmall;
    TMenuItemRec& names = menu.Add(LoadMessageText(5004), [this](TMenuItemRec&) {
      Options.ShowMcdToolName = !Options.ShowMcdToolName;
      BuildToolBar();
      Arrange();
    });
    names.Checked = Options.ShowMcdToolName;
    POINT p = ToolBar->ClientToScreen(POINT{x, y});
    menu.Popup(p.x, p.y, Form->Handle());
  };
  ViewChanged();
}

void TMcdDialog::Arrange() {
  if (!Form) return;
  // Top to bottom: the path line, the tool bar, the drive bar on top; the key line last.
  TopPanel->SetTop(0);
  if (ToolBar) ToolBar->SetTop(TopPanel->Height());
  if (DriveBar && Options.MCDDriveBarTop) DriveBar->SetTop(TopPanel->Height() + (ToolBar ? ToolBar->Height() : 0));
  if (KeyLine) KeyLine->SetTop(Form->ClientHeight());
  Form->Realign();
  if (ToolBar) ToolBar->Relayout();
  if (DriveBar) DriveBar->Relayout();
  Form->Realign();
}

namespace {
// A menu filled anew each time it opens: the earlier entries are hidden.
void HideAll(THanPopupMenu& menu) {
  for (const auto& item : menu.Items().Items()) menu.SetItemVisible(*item, false);
}
}  // namespace

void TMcdDialog::FillDriveMenu() {
  HideAll(*DriveMenu);
  DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    std::wstring d = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":";
    TMenuItemRec& item = DriveMenu->Add(L"&" + d, [this, d](TMenuItemRec&) { View->GoTo(d); });
    item.RadioItem = true;
    item.Checked = SameTextI(d, View->RootPath);
  }
  DriveMenu->Add(L"-");
  DriveMenu->Add(LoadMessageText(6002), [this](TMenuItemRec&) { Run(cmChangeDrive); });
}

void TMcdDialog::FillFavMenu() {
  HideAll(*FavMenu);
  bool known = false, room = false;
  const std::wstring shown = View->GetSelectedPath();
  for (int i = 0; i < QCDSlotCount; ++i) {
    const TQCDSlot& slot = Options.QCDSlots[static_cast<size_t>(i)];
    if (slot.Path.empty()) {
      room = true;
      continue;
    }
    if (SameTextI(ExcludeTrailingBackslash(slot.Path), shown)) known = true;
    std::wstring path = slot.Path;
    AddPopupItem(*FavMenu, slot.Title.empty() ? slot.Path : slot.Title, 14,
                 [this, path](TMenuItemRec&) { GoTo(path); }, i, 0, 0);
  }
  FavMenu->Add(L"-");
  for (auto [msg, csidl] : {std::pair{7012, CSIDL_PERSONAL}, std::pair{7013, CSIDL_DESKTOPDIRECTORY},
                            std::pair{7014, CSIDL_STARTMENU}}) {
    int id = csidl;
    FavMenu->Add(LoadMessageText(msg), [this, id](TMenuItemRec&) { GoToSpecial(id); });
  }
  FavMenu->Add(L"-");
  TMenuItemRec& add = FavMenu->Add(LoadMessageText(7015), [this](TMenuItemRec&) {
    std::wstring folder = View->GetSelectedPath();
    for (TQCDSlot& slot : Options.QCDSlots) {
      if (!slot.Path.empty()) continue;
      slot.Path = folder;
      slot.Title = LastName(folder).empty() ? folder : LastName(folder);
      break;
    }
    FillKeyLine();
    Options.SaveHistory(true);
  });
  add.Enabled = !shown.empty() && !known && room;
  FavMenu->Add(LoadMessageText(7011), [this](TMenuItemRec&) { Run(cmFavourites); });
}

void TMcdDialog::BuildWindow() {
  Form = new THanForm(nullptr);
  Form->SetCaption(Caption.empty() ? LoadMessageText(5000) : LoadMessageText(5000) + L" - " + Caption);
  Form->Font.SetName(Options.MainFont.Name);
  Form->Font.SetSize(Options.MainFont.Size);
  Form->Font.SetStyle(Options.MainFont.Style);
  Form->SetBounds(0, 0, 640, 480);
  Form->Position = poScreenCenter;
  Form->KeyPreview = false;
  SetFormIconFromBitmapRes(Form->Handle(), L"MAIN_MCD16");

  TopPanel = new TPanel(Form);
  TopPanel->SetAlign(alTop);
  TopPanel->SetHeight(std::max(Options.MainFontHeight, 12) + 5);
  TopPanel->SetParent(Form);
  SearchLabel = new THanElLabel(TopPanel);
  SearchLabel->SetAlign(alRight);
  SearchLabel->SetWidth(100);
  SearchLabel->Font.SetColor(static_cast<TColor>(0x008000));
  SearchLabel->Cursor = LoadCursorW(nullptr, IDC_HAND);
  SearchLabel->SetParent(TopPanel);
  SearchLabel->Hide();
  SearchLabel->OnMouseUp = [this](TComponent*, TMouseButton button, TShiftState, int, int) {
    if (button == mbLeft) View->FindNext(true);
    else if (button == mbRight) AskSearch();
  };
  PathLabel = new THanPathLabel(TopPanel);
  PathLabel->SetAlign(alClient);
  PathLabel->SetFlat(true);
  PathLabel->SetParent(TopPanel);
  PathLabel->OnPartMouseUp = [this](THanPathLabel*, TMouseButton button, int part) {
    POINT p{0, PathLabel->Height()};
    p = PathLabel->ClientToScreen(p);
    if (part == 0 && button == mbLeft) FavMenu->Popup(p.x, p.y, Form->Handle());
    else if (part == 0 && button == mbRight) DriveMenu->Popup(p.x, p.y, Form->Handle());
    else if (part == 1 && button == mbLeft) AskPath();
    else if (part == 4 && button == mbLeft) Run(cmFavourites);
    else if (part == 4 && button == mbRight) Run(cmChangeDrive);
  };

  // The pop-up menu's images.
  FMenuImages.reset(ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 18, 2));
  static const wchar_t* const menuImages[] = {L"MCD_FRESH16",  L"MCD_RELOAD16",  L"MAIN_CHDRV16", L"MCD_COPY16",
                                              L"MCD_MOVE16",   L"MCD_DELETE16",  L"MCD_RENAME16", L"MCD_NEWFOLD16",
                                              L"MCD_SIZE16",   L"MCD_ENTER16",   L"MAIN_PCOPY16", L"MAIN_PCUT16",
                                              L"MAIN_PASTE16", L"MAIN_CTRL16",   L"MAIN_QCD16"};
  for (const wchar_t* name : menuImages) AddBitmapResToImageList(FMenuImages.get(), name);
  for (int icon : {20, 34, 36}) AddShellIconToImageList(FMenuImages.get(), icon, false);
  if (ShowIcons) {
    FIcons.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 2));
    AddFolderIconToImageList(FIcons.get(), false);
  }

  // The drive menu and the favourites menu are filled when they open.
  DriveMenu = new THanPopupMenu(Form, 300);
  DriveMenu->OnPopup = [this](THanPopupMenu*) { FillDriveMenu(); };
  FavMenu = new THanPopupMenu(Form, 400);
  FavMenu->OnPopup = [this](THanPopupMenu*) { FillFavMenu(); };

  BuildToolBar();
  BuildDriveBar();
  BuildKeyLine();

  SetCurrentDirectoryW(L"c:\\");
  View = new TMCD(Form);
  View->SetAlign(alClient);
  View->Font.SetName(Options.MCDFont.Name);
  View->Font.SetSize(Options.MCDFont.Size);
  View->Font.SetStyle(Options.MCDFont.Style);
  if (Options.ItemColorEnable) {
    View->BackColor = Options.MCDBackColor;
    View->TextColor = Options.MCDTextColor;
    View->GrayTextColor = Options.MCDGrayTextColor;
    View->LineColor = Options.MCDLineColor;
    View->DefaultColor = Options.MCDDefaultColor;
    View->CopyColor = Options.MCDCopyColor;
    View->MoveColor = Options.MCDMoveColor;
  } else {
    View->BackColor = clWindow;
    View->TextColor = clWindowText;
    View->GrayTextColor = clBtnShadow;
    View->LineColor = clBtnShadow;
    View->DefaultColor = clWindowText;
    View->CopyColor = clBtnShadow;
    View->MoveColor = clBtnShadow;
  }
  View->Images = FIcons.get();
  View->SetParent(Form);
  View->OnChange = [this](TCustomMCD*) { ViewChanged(); };
  View->OnSearch = [this](TCustomMCD*, bool) { SearchChanged(); };
  View->OnSelect = [this](TMCD*, const std::wstring& path) {
    Path = path;
    Form->SetModalResult(mrOk);
  };
  View->OnCancel = [this](TMCD*) {
    Path.clear();
    Form->SetModalResult(mrCancel);
  };
  View->OnKey = [this](TMCD*, WORD& key, bool before, TShiftState shift) { ViewKey(key, before, shift); };
  View->OnDrop = [this](TMCD*, const std::wstring& target, const std::vector<std::wstring>& names,
                        const std::vector<std::wstring>& files, int mode, bool sameFolder) {
    return DropAction(target, names, files, mode, sameFolder);
  };
  View->OnMenu = [this](TMCD*, POINT p) { ShowMenu(p); };
  Form->ActiveControl = View;
  Arrange();
}

bool TMcdDialog::DropAction(const std::wstring& targetIn, const std::vector<std::wstring>& names,
                            const std::vector<std::wstring>& files, int mode, bool sameFolder) {
  std::wstring target = IncludeTrailingBackslash(targetIn);
  if (mode == 2) {
    for (size_t i = 0; i < files.size(); ++i) {
      std::wstring name = MappedName(names, i, files[i]);
      if (!MakeShortcut(files[i], target + name + L".lnk")) return false;
    }
    return true;
  }
  if (mode != 0 && mode != 1) return false;
  std::wstring common;
  if (!files.empty()) {
    common = ExtractParentDir(files[0]);
    for (const std::wstring& f : files)
      if (!SameTextI(ExtractParentDir(f), common)) {
        common.clear();
        break;
      }
  }
  TCopyMoveForm job(Form);
  job.IsCopy = mode == 0;
  job.SingleSourceFolder = sameFolder && !common.empty();
  job.TargetFolder = target;
  job.SourceFolder = common.empty() ? L"" : IncludeTrailingBackslash(common);
  int added = 0;
  {
    HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    for (size_t i = 0; i < files.size(); ++i) {
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (!GetFileAttributesExW(files[i].c_str(), GetFileExInfoStandard, &data)) continue;
      bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      FILETIME local;
      SYSTEMTIME st{};
      FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
      FileTimeToSystemTime(&local, &st);
      std::wstring name = job.SingleSourceFolder ? LastName(files[i]) : files[i];
      std::wstring mapped = i < names.size() ? MappedName(names, i, files[i]) : L"";
      job.AddItem(name, LastName(GetShortPath(files[i])), folder ? -1 : 1, static_cast<int32_t>(data.dwFileAttributes),
                  EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond),
                  folder ? 0 : MakeInt64(data.nFileSizeHigh, data.nFileSizeLow), mapped);
      ++added;
    }
    SetCursor(old);
  }
  if (added == 0) return false;
  job.Execute();
  return job.TargetChanged;
}

bool TMcdDialog::Execute() {
  Path.clear();
  std::wstring folder;
  std::wstring drive;
  if (DriveFirst) {
    std::wstring root = ExtractPathRoot(InitialPath);
    std::wstring answer;
    if (TMCD::DriveChooser) answer = TMCD::DriveChooser(root, DriveCaption);
    else answer = root.empty() ? L"C:" : ExcludeTrailingBackslash(root);
    if (answer.empty()) return false;
    if (answer[0] == L'>') {
      folder = ExcludeTrailingBackslash(answer.substr(1));
      drive = ExcludeTrailingBackslash(ExtractPathRoot(folder));
    } else {
      if (GetPathDepth(answer) > 0 && !IsUncPath(answer)) InitialPath = answer;
      drive = ExcludeTrailingBackslash(ExtractPathRoot(answer));
    }
  }
  if (drive.empty()) drive = ExcludeTrailingBackslash(ExtractPathRoot(InitialPath));
  if (drive.empty()) drive = L"C:";
  if (!DriveOrShareExists(drive + L"\\")) return false;
  BuildWindow();
  if (!InitialPath.empty()) {
    std::wstring initial = ExcludeTrailingBackslash(InitialPath);
    if (FolderExists(initial) && SameTextI(ExcludeTrailingBackslash(ExtractPathRoot(initial)), drive))
      CurrentDirs.SetDir(initial);
    View->DefaultFolder = initial;
  }
  if (!View->LoadDrive(drive, folder)) {
    DWORD error = GetLastError();
    std::wstring text = LoadMessageText(5011);
    size_t at = text.find(L"%S");
    if (at != std::wstring::npos) text.replace(at, 2, drive);
    ShowErrorBox(text + L"||<D>" + SystemErrorText(error));
    return false;
  }
  // A loaded drive takes drops.
  View->EnableDrop();
  ViewChanged();
  // The window's place: the main window's, or its own from last time.
  if (Options.McdSameWinSize && Application().MainForm && Application().MainForm->HandleAllocated()) {
    SaveWindowPlacement(Application().MainForm->Handle(), Options.Window);
    RestoreWindowPlacement(Form->Handle(), Options.Window);
  } else if (Options.MCDWindow.Right > Options.MCDWindow.Left) {
    RestoreWindowPlacement(Form->Handle(), Options.MCDWindow);
  }
  Form->OnShow = [this](TComponent*) {
    View->EnsureVisible(true);
    if (OnShown) OnShown(*this);
  };
  Form->ShowModal();
  Changed = View->Changed;
  SaveWindowPlacement(Form->Handle(), Options.MCDWindow);
  if (Form->ModalResult() != mrOk) Path.clear();
  return !Path.empty();
}

// ---- The folder chooser ----

void SelectFolderDialog(const std::wstring& initialPath, const std::wstring& caption, const std::wstring& driveCaption,
                        bool showIcons, bool driveFirst, bool& changed, std::wstring& path) {
  TMcdDialog dialog(nullptr);
  dialog.InitialPath = initialPath;
  dialog.Caption = caption;
  dialog.DriveCaption = driveCaption;
  dialog.ShowIcons = showIcons;
  dialog.DriveFirst = driveFirst;
  dialog.Execute();
  changed = dialog.Changed;
  path = dialog.Path;
}

void SelectFolderDialogSimple(const std::wstring& initialPath, const std::wstring& caption,
                              const std::wstring& driveCaption, bool showIcons, bool driveFirst, std::wstring& path) {
  bool changed = false;
  SelectFolderDialog(initialPath, caption, driveCaption, showIcons, driveFirst, changed, path);
}

void SelectFolderDialogShort(const std::wstring& initialPath, const std::wstring& caption, bool showIcons,
                             bool driveFirst, std::wstring& path) {
  SelectFolderDialogSimple(initialPath, caption, L"", showIcons, driveFirst, path);
}

namespace {
class TMCDRenameCache : public TRenameTreeCache {
 public:
  TMCDRenameCache(HWND owner, const std::wstring& path) : FMan(owner, path) {}
  void RenameFolder(const std::wstring& oldPath, const std::wstring& newPath) override {
    FMan.RenameFolder(oldPath, newPath);
  }

 private:
  TMCDTreeMan FMan;
};
}  // namespace

void InstallFolderManager() {
  RenameTreeCacheFactory = [](HWND owner, const std::wstring& path) -> std::unique_ptr<TRenameTreeCache> {
    return std::make_unique<TMCDRenameCache>(owner, path);
  };
  TargetFolderChooser = [](const std::wstring& initial, const std::wstring& title) {
    std::wstring path;
    SelectFolderDialogShort(initial, title, Options.MCDShowIcon, false, path);
    return path;
  };
  RegisterCommand(6001, [](TQ7XForm& form, TShiftState) {
    TMFList* list = form.ActiveList();
    std::wstring path;
    bool changed = false;
    SelectFolderDialog(list ? ExcludeTrailingBackslashKeepRoot(list->Path) : L"", L"", L"", Options.MCDShowIcon,
                       false, changed, path);
    if (changed) {
      if (TPanelView* p = form.OtherPanel()) p->Reread();
      if (TPanelView* p = form.ActivePanel()) p->Reread();
    }
    if (!path.empty())
      if (TPanelView* p = form.ActivePanel()) p->ChangeDir(IncludeTrailingBackslash(path));
  });
}
