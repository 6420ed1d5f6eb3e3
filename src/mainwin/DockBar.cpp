#include "mainwin/DockBar.h"
#include "mainwin/Setup.h"

#include <commctrl.h>

#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/ToolBtn.h"
#include "framework/Forms.h"
#include "mainwin/MKeyLine.h"


namespace {
// The picture of each tool button's command.
const wchar_t* ToolImageOf(int tag) {
  static const struct {
    int Tag;
    const wchar_t* Name;
  } images[] = {{6401, L"MAIN_BACK16"},    {6402, L"MAIN_FORWARD16"}, {6404, L"MAIN_UPDIR16"},   {6405, L"MAIN_ROOT16"},
                {6003, L"MAIN_CHDRV16"},   {6001, L"MAIN_MCD16"},     {6002, L"MAIN_QCD16"},     {1001, L"MCD_COPY16"},
                {1002, L"MCD_MOVE16"},     {1003, L"MCD_DELETE16"},   {1004, L"MCD_RENAME16"},   {1005, L"MCD_NEWFOLD16"},
                {7001, L"TOOL_ARC16"},     {7003, L"TOOL_UNARC16"},   {3101, L"TOOL_SINGLE16"},  {3102, L"TOOL_VSPLIT16"},
                {3103, L"TOOL_HSPLIT16"},  {3011, L"MCD_FRESH16"},    {1101, L"TOOL_PROPS16"},   {4102, L"MAIN_CTRL16"},
                {5001, L"TOOL_HELP16"},    {1999, L"TOOL_EXIT16"}};
  for (const auto& i : images)
    if (i.Tag == tag) return i.Name;
  return nullptr;
}
}  // namespace

TDockToolBar::TDockToolBar(TForm* form) : TComponent(form), FForm(form) {
  BuildMainMenu();
  ToolBar = new THToolBar(form);
  ToolBar->Name = L"ToolBar";
  ToolBar->SetAlign(alTop);
  ToolBar->SetWrapable(Options.ToolBarWrap);
  ToolBar->SetShowCaptions(Options.ShowToolName);
  ToolBar->SetColor(Options.ToolBarColor);
  ToolBar->SetParent(form);
  const auto& buttons = ToolButtonTable();
  FToolImages.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, static_cast<int>(buttons.size()), 4));
  ToolBar->SetImages(FToolImages.get());
  ToolBar->BeginUpdate();
  for (size_t i = 0; i < buttons.size(); ++i) {
    const wchar_t* picture = ToolImageOf(buttons[i].Tag);
    int image = picture ? AddBitmapResToImageList(FToolImages.get(), picture) : -1;
    AddToolButton(ToolBar, PlainCaption(LoadMessageText(buttons[i].Msg)), false, nullptr, tbsButton, static_cast<int>(i),
                  image, true, nullptr);
  }
  ToolBar->EndUpdate();
  ToolBar->SetVisible(Options.ShowMainToolBar);
  KeyLine = new TMKeyLine(form);
  KeyLine->Name = L"KeyLine";
  KeyLine->SetAlign(alBottom);
  KeyLine->SetFlat(Options.FlatKeyBar);
  ApplyKeyLineColors(*KeyLine);
  KeyLine->SetParent(form);
  KeyLine->SetVisible(Options.ShowKeyBar);
}

TDockToolBar::~TDockToolBar() {
  if (FForm && FForm->HandleAllocated() && GetMenu(FForm->Handle()) == FMenu.get()) SetMenu(FForm->Handle(), nullptr);
  FMenu.reset();
  delete KeyLine;
  delete ToolBar;
}

void TDockToolBar::BuildMainMenu() {
  // The menu bar being replaced goes once the new one is in place.
  const TMenuHandle old(FMenu.release());
  FMenu.reset(CreateMenu());
  FItemStates.clear();
  FFixedGrayed = false;
  HMENU popups[mpNone] = {};
  for (int p = mpFile; p < mpNone; ++p) popups[p] = CreatePopupMenu();
  auto append = [](HMENU menu, const TCommandRow& row) {
    if (row.SeparatorBefore && GetMenuItemCount(menu) > 0) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    std::wstring text = row.Caption();
    std::wstring keys = ShortCutToText(EffectiveShortCut(row));
    if (!keys.empty()) text += L"\t" + keys;
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(row.Tag), text.c_str());
  };
  for (const auto& row : CommandTable())
    if (row.Menu < mpNone) append(popups[row.Menu], row);
  // View holds its sub-menus first, then its own items.
  HMENU view = CreatePopupMenu();
  for (int p : {mpViewWindow, mpViewControls})
    AppendMenuW(view, MF_POPUP, reinterpret_cast<UINT_PTR>(popups[p]), LoadMessageText(MenuCaptionMsg(static_cast<TMenuPlace>(p))).c_str());
  int items = GetMenuItemCount(popups[mpView]);
  AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
  for (int i = 0; i < items; ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    mi.dwTypeData = text;
    mi.cch = 255;
    GetMenuItemInfoW(popups[mpView], static_cast<UINT>(i), TRUE, &mi);
    if (mi.fType & MFT_SEPARATOR)
      AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuW(view, MF_STRING, mi.wID, text);
    // The sort, filter and spacing sub-menus follow the display modes' rows.
    if (mi.wID == 3502) {
      AppendMenuW(view, MF_SEPARATOR, 0, nullptr);
      for (int p : {mpViewSort, mpViewFilter, mpViewSpacing})
        AppendMenuW(view, MF_POPUP, reinterpret_cast<UINT_PTR>(popups[p]),
                    LoadMessageText(MenuCaptionMsg(static_cast<TMenuPlace>(p))).c_str());
    }
  }
  const TMenuHandle flatView(popups[mpView]);  // its items were copied into view
  popups[mpView] = view;
  for (int p : {mpFile, mpEdit, mpPath, mpArchive, mpView, mpTools, mpHelp})
    AppendMenuW(FMenu.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popups[p]), LoadMessageText(MenuCaptionMsg(static_cast<TMenuPlace>(p))).c_str());
  if (FForm && FForm->HandleAllocated()) {
    SetMenu(FForm->Handle(), Options.ShowMainMenu ? FMenu.get() : nullptr);
    DrawMenuBar(FForm->Handle());
  }
}

void TDockToolBar::UpdateStates(const std::function<bool(const TCommandRow&)>& enabled,
                                const std::function<bool(const TCommandRow&)>& checked) {
  // The states run after every change of a panel's state: each item is searched for in the
  // whole menu, so only the items whose state changed since the last run are told.
  const auto& rows = CommandTable();
  if (FItemStates.size() != rows.size()) FItemStates.assign(rows.size(), -1);
  for (size_t i = 0; i < rows.size(); ++i) {
    const TCommandRow& row = rows[i];
    if (row.Menu >= mpNone) continue;
    const bool on = enabled(row), mark = checked(row);
    const int8_t state = static_cast<int8_t>((on ? 1 : 0) | (mark ? 2 : 0));
    if (state == FItemStates[i]) continue;
    FItemStates[i] = state;
    EnableMenuItem(FMenu.get(), static_cast<UINT>(row.Tag), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(FMenu.get(), static_cast<UINT>(row.Tag), MF_BYCOMMAND | (mark ? MF_CHECKED : MF_UNCHECKED));
  }
  // Tags 7101..7399 and 4001 stay disabled when present (once for each menu built).
  if (!FFixedGrayed) {
    FFixedGrayed = true;
    for (UINT tag = 7101; tag <= 7399; ++tag) EnableMenuItem(FMenu.get(), tag, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(FMenu.get(), 4001, MF_BYCOMMAND | MF_GRAYED);
  }
  const auto& buttons = ToolButtonTable();
  for (int i = 0; i < ToolBar->ButtonCount() && i < static_cast<int>(buttons.size()); ++i)
    if (const TCommandRow* row = FindCommand(buttons[static_cast<size_t>(i)].Tag)) ToolBar->Buttons(i)->SetEnabled(enabled(*row));
}
