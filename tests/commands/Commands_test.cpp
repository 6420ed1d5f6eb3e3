// Commands from the menu bar, the key map, the tool bar, the function keys, the key line and the
// drive bar, with their enabled and checked states, in a real main form.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/ToolBtn.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/DockBar.h"
#include "mainwin/DriveBar.h"
#include "mainwin/MKeyLine.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

namespace {
struct TFixture {
  TTempDir Dir, A, B;
  std::wstring OldProgramFolder = ProgramFolder;
  std::unique_ptr<TQ7XForm> Form;
  explicit TFixture(const std::string& main = "DualWindow=0", const std::string& extra = "") {
    SetProgramFolder(Dir.Path() + L"\\");
    WriteFileRaw(Dir / L"Q7X.CFG", "[Main]\r\n" + main + "\r\n[File1]\r\nPath=" + WideToUtf8(A.Path()) +
                                       "\r\n[File2]\r\nPath=" + WideToUtf8(B.Path()) + "\r\n" + extra);
    WriteFileRaw(Dir / L"Update.ini", "[Update]\r\nCheck=0\r\n");
    for (const char* name : {"b.txt", "a.exe", "c.zip", "d.txt"}) WriteFileRaw(A / Utf8ToWide(name), name);
    CreateDirectoryW((A / L"sub").c_str(), nullptr);
    Programs.LoadFromProgramFolder();
    Options.LoadFromProgramFolder();
    InitMainModule();
    Form = std::make_unique<TQ7XForm>(nullptr);
    Form->Show();
    Form->FormActivate();
    EXPECT_TRUE(PumpUntil([&] { return Form->StartupTimer && !Form->StartupTimer->Enabled(); }));
  }
  ~TFixture() {
    Form.reset();
    TMsgBoxSeam::Get().Reset();
    DoneMainModule();
    SetProgramFolder(OldProgramFolder);
  }
  HWND Panel() const { return Form->ActivePanel()->Handle(); }
  TMFList& List() const { return Form->ActivePanel()->List(); }
  UINT MenuState(int tag) const { return GetMenuState(Form->Bars->MainMenu(), static_cast<UINT>(tag), MF_BYCOMMAND); }
  bool Enabled(int tag) const { return !(MenuState(tag) & (MF_GRAYED | MF_DISABLED)); }
  bool Checked(int tag) const { return (MenuState(tag) & MF_CHECKED) != 0; }
  // Puts the focus on the item of that name.
  void Focus(const std::wstring& name) const {
    for (int i = 0; i < List().Count(); ++i)
      if (List().ItemName(i) == name) List().ItemIndex = i;
    Form->UpdateMainMenu();
  }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> v;
    for (int i = 0; i < List().Count(); ++i) v.push_back(List().ItemName(i));
    return v;
  }
};

void PressKey(HWND wnd, WORD key, TShiftState shift) { SendKey(wnd, key, shift, false); }

TShiftState ShiftOf(TShortCut sc) {
  return static_cast<TShiftState>(((sc & scShift) ? ssShift : 0) | ((sc & scCtrl) ? ssCtrl : 0) |
                                  ((sc & scAlt) ? ssAlt : 0));
}

std::wstring MenuText(HMENU menu, int pos) {
  wchar_t buf[128] = {};
  GetMenuStringW(menu, static_cast<UINT>(pos), buf, 128, MF_BYPOSITION);
  return buf;
}

void Click(HWND wnd, int x, int y) {
  LPARAM p = MAKELPARAM(x, y);
  SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, p);
  SendMessageW(wnd, WM_LBUTTONUP, 0, p);
}
}  // namespace

TEST(MainMenu, TopMenusInOrderWithTheTablesItems) {
  TFixture f;
  HMENU bar = f.Form->Bars->MainMenu();
  ASSERT_EQ(GetMenu(f.Form->Handle()), bar);
  const wchar_t* tops[] = {L"파일(&F)", L"편집(&I)", L"경로(&P)", L"압축(&Y)", L"보기(&B)", L"도구(&L)", L"도움말(&H)"};
  ASSERT_EQ(GetMenuItemCount(bar), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(MenuText(bar, i), tops[i]);
  // Every row of the table is an item with its caption and short cut.
  for (const auto& row : CommandTable()) {
    wchar_t buf[256] = {};
    ASSERT_GT(GetMenuStringW(bar, static_cast<UINT>(row.Tag), buf, 256, MF_BYCOMMAND), 0) << row.Tag;
    std::wstring want = row.Caption();
    if (row.ShortCut) want += L"\t" + ShortCutToText(row.ShortCut);
    EXPECT_EQ(std::wstring(buf), want) << row.Tag;
  }
  // View: the window and controls sub-menus first, sort among the rest.
  HMENU view = GetSubMenu(bar, 4);
  EXPECT_EQ(MenuText(view, 0), L"창(&W)");
  EXPECT_EQ(MenuText(view, 1), L"컨트롤(&C)");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 0), L"새로 만들기(&W)\tCtrl+H");
  EXPECT_EQ(MenuText(GetSubMenu(bar, 5), 2), L"Select &Language");
  // The menu's own command message runs the item.
  std::vector<int> ran;
  f.Form->OnCommand = [&](int tag) { ran.push_back(tag); return true; };
  SendMessageW(f.Form->Handle(), WM_COMMAND, MAKEWPARAM(3011, 0), 0);
  EXPECT_EQ(ran, std::vector<int>{3011});
}

TEST(MainMenu, EveryShortCutDispatchesItsCommand) {
  TFixture f;
  std::vector<int> ran;
  f.Form->OnCommand = [&](int tag) { ran.push_back(tag); return true; };
  std::set<TShortCut> seen;
  for (const auto& row : CommandTable()) {
    if (!row.ShortCut) continue;
    EXPECT_TRUE(seen.insert(row.ShortCut).second) << "short cut used twice: " << row.Tag;
    ran.clear();
    PressKey(f.Panel(), row.ShortCut & 0xFF, ShiftOf(row.ShortCut));
    EXPECT_EQ(ran, std::vector<int>{row.Tag}) << WideToUtf8(ShortCutToText(row.ShortCut));
  }
  // With CtrlXExtract, Ctrl+X extracts and cut moves to Ctrl+Del; the menu shows it.
  Options.CtrlXExtract = true;
  f.Form->ApplyMenuOptions();
  ran.clear();
  PressKey(f.Panel(), 'X', ssCtrl);
  PressKey(f.Panel(), VK_DELETE, ssCtrl);
  EXPECT_EQ(ran, (std::vector<int>{7003, 2002}));
  wchar_t buf[128] = {};
  GetMenuStringW(f.Form->Bars->MainMenu(), 2002, buf, 128, MF_BYCOMMAND);
  EXPECT_NE(std::wstring(buf).find(L"Ctrl+Del"), std::wstring::npos);
  // With the menu bar hidden its short cuts run nothing; rename, back and forward still run.
  f.Form->ShowMainMenu(false);
  EXPECT_EQ(GetMenu(f.Form->Handle()), nullptr);
  ran.clear();
  PressKey(f.Panel(), 'R', ssCtrl);
  PressKey(f.Panel(), 'R', ssAlt);
  PressKey(f.Panel(), VK_LEFT, ssAlt);
  EXPECT_EQ(ran, (std::vector<int>{1004, 6401}));
}

TEST(MainMenu, StatesFollowTheLayoutAndThePanel) {
  TFixture f;
  // One panel.
  EXPECT_FALSE(f.Enabled(3101));
  EXPECT_TRUE(f.Enabled(3102));
  EXPECT_TRUE(f.Enabled(3103));
  EXPECT_FALSE(f.Enabled(2010));
  EXPECT_TRUE(f.Checked(3302));  // sort by name
  EXPECT_FALSE(f.Checked(3303));
  EXPECT_TRUE(f.Checked(3004));  // automatic display mode
  EXPECT_TRUE(f.Checked(3001));  // path line shown
  EXPECT_FALSE(f.Checked(3000));  // no folder tree
  EXPECT_TRUE(f.Checked(3202));
  // The focus on "..": nothing to copy; on a file: copy, view and split.
  f.List().ItemIndex = 0;
  f.Form->UpdateMainMenu();
  EXPECT_FALSE(f.Enabled(1001));
  EXPECT_FALSE(f.Enabled(1501));
  f.Focus(L"d.txt");
  EXPECT_TRUE(f.Enabled(1001));
  EXPECT_TRUE(f.Enabled(1501));
  EXPECT_TRUE(f.Enabled(1601));
  EXPECT_FALSE(f.Enabled(1603));  // merge needs two selected files
  // Two panels side by side.
  PressKey(f.Panel(), '2', ssCtrl);
  EXPECT_TRUE(f.Enabled(3101));
  EXPECT_FALSE(f.Enabled(3102));
  EXPECT_TRUE(f.Enabled(3103));
  EXPECT_TRUE(f.Enabled(2010));
  // A disabled command beeps and runs nothing.
  int before = Options.DualWindow;
  f.Form->RunCommand(3102, 0);
  EXPECT_EQ(Options.DualWindow, before);
  // Tool buttons follow the same tests.
  const auto& buttons = ToolButtonTable();
  for (size_t i = 0; i < buttons.size(); ++i)
    EXPECT_EQ(f.Form->Bars->ToolBar->Buttons(static_cast<int>(i))->Enabled(), f.Enabled(buttons[i].Tag)) << buttons[i].Tag;
}

TEST(MainMenu, SortDisplayModeFilterAndViewCommandsChangeThePanel) {
  TFixture f;
  // Sort by extension (Alt+E): exe, txt, zip, txt in extension order.
  PressKey(f.Panel(), 'E', ssAlt);
  EXPECT_EQ(Options.PanelOptions(1).SortType, 2);
  EXPECT_TRUE(f.Checked(3303));
  std::vector<std::wstring> names = f.Names();
  auto pos = [&](const wchar_t* n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  EXPECT_LT(pos(L"a.exe"), pos(L"b.txt"));
  EXPECT_LT(pos(L"d.txt"), pos(L"c.zip"));
  // The same key again turns the direction.
  PressKey(f.Panel(), 'E', ssAlt);
  EXPECT_FALSE(Options.PanelOptions(1).Ascending);
  EXPECT_FALSE(f.Checked(3310));
  names = f.Names();
  EXPECT_GT(pos(L"a.exe"), pos(L"c.zip"));
  // Display mode 3 (Alt+3).
  PressKey(f.Panel(), '3', ssAlt);
  EXPECT_EQ(Options.PanelOptions(1).Column, 3);
  EXPECT_TRUE(f.Checked(3007));
  EXPECT_FALSE(f.Checked(3004));
  // Filter "programs" (Shift+Ctrl+2): only a.exe among the files.
  PressKey(f.Panel(), '2', ssShift | ssCtrl);
  EXPECT_EQ(Options.PanelOptions(1).FilterType, 2);
  EXPECT_TRUE(f.Checked(3902));
  EXPECT_EQ(f.List().Items().FileCount(), 1);
  // A mask asked from the user (Shift+Ctrl+0).
  TMsgBoxSeam::Get().PushText(0, L"*.txt");
  PressKey(f.Panel(), '0', ssShift | ssCtrl);
  EXPECT_EQ(Options.PanelOptions(1).FilterType, 0);
  EXPECT_EQ(Options.PanelOptions(1).FileMask, L"*.txt");
  EXPECT_EQ(f.List().Items().FileCount(), 2);
  // Hidden files, parts and spacing.
  PressKey(f.Panel(), 'Z', ssAlt);
  EXPECT_TRUE(Options.PanelOptions(1).Hidden);
  EXPECT_TRUE(f.List().ShowHidden);
  PressKey(f.Panel(), 'S', ssShift | ssCtrl);
  EXPECT_EQ(Options.PanelOptions(1).Parts & 4, 0);
  EXPECT_FALSE(f.Checked(3003));
  PressKey(f.Panel(), VK_ADD, ssCtrl | ssAlt);
  EXPECT_EQ(Options.PanelOptions(1).ItemSpace, 1);
  // Tool bar and key line.
  PressKey(f.Panel(), 'T', ssShift | ssCtrl);
  EXPECT_FALSE(f.Form->Bars->ToolBar->Visible());
  PressKey(f.Panel(), 'K', ssShift | ssCtrl);
  EXPECT_FALSE(f.Form->Bars->KeyLine->Visible());
  EXPECT_FALSE(Options.ShowKeyBar);
}

TEST(MainMenu, NavigationAndSelectionCommands) {
  TFixture f;
  const std::wstring top = IncludeTrailingBackslash(f.A.Path());
  f.Form->ActivePanel()->ChangeDir(f.A / L"sub");
  f.Form->RunCommand(6404, 0);  // up
  EXPECT_TRUE(SameTextI(f.List().Path, top));
  PressKey(f.Panel(), VK_LEFT, ssAlt);  // back
  EXPECT_TRUE(SameTextI(f.List().Path, IncludeTrailingBackslash(f.A / L"sub")));
  PressKey(f.Panel(), VK_RIGHT, ssAlt);  // forward
  EXPECT_TRUE(SameTextI(f.List().Path, top));
  f.Form->RunCommand(6405, 0);  // root
  EXPECT_EQ(f.List().Path.size(), 3u);
  f.Form->ActivePanel()->ChangeDir(f.A.Path());
  // Selection: all, invert, same extension.
  f.Form->RunCommand(2210, 0);
  EXPECT_EQ(f.List().SelCount, 5);
  f.Form->RunCommand(2205, 0);
  EXPECT_EQ(f.List().SelCount, 0);
  f.Focus(L"b.txt");
  PressKey(f.Panel(), VK_DIVIDE, 0);
  EXPECT_EQ(f.List().SelCount, 2);
  TMsgBoxSeam::Get().PushText(0, L"*.exe");
  PressKey(f.Panel(), VK_ADD, ssCtrl);
  EXPECT_EQ(f.List().SelCount, 3);
}

TEST(MainMenu, UnbuiltCommandsSaySoAndAPermanentDeleteAsksFirst) {
  TFixture f;
  f.Focus(L"d.txt");
  TMsgBoxSeam::Get().PushButton(0);
  PressKey(f.Panel(), 'C', ssAlt);  // copy: not there yet
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"복사"), std::wstring::npos);
  // A later subsystem wires its command with one call.
  int copies = 0;
  TCommandHandler old = FindCommand(1001)->Run;
  RegisterCommand(1001, [&](TQ7XForm&, TShiftState) { ++copies; });
  PressKey(f.Panel(), 'C', ssAlt);
  EXPECT_EQ(copies, 1);
  RegisterCommand(1001, old);
  // Delete: Shift asks; no means nothing is deleted.
  std::vector<bool> deletes;
  f.Form->DeleteHandler = [&](bool permanent) { deletes.push_back(permanent); };
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(1);  // no
  f.Form->RunCommand(1003, ssShift);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_TRUE(deletes.empty());
  TMsgBoxSeam::Get().PushButton(0);  // yes
  f.Form->RunCommand(1003, ssShift);
  f.Form->RunCommand(1003, 0);  // to the recycle bin: no question
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
  EXPECT_EQ(deletes, (std::vector<bool>{true, false}));
}

TEST(FunctionKeys, SlotsRunTheirProgramsOrNumberedCommandsAndTheKeyLineClicksThem) {
  TFixture f;
  WriteFileRaw(f.Dir / L"Q7XPRG.CFN", "[FKey4]\r\nTitle=Again\r\nCommandNo=16\r\n");
  Programs.LoadFromProgramFolder();
  f.Form->FillKeyLine();
  std::vector<int> ran;
  f.Form->OnCommand = [&](int tag) { ran.push_back(tag); return true; };
  PressKey(f.Panel(), VK_F5, 0);   // slot 3, bound to numbered command 16: refresh
  PressKey(f.Panel(), VK_F6, 0);   // slot 4: move
  PressKey(f.Panel(), VK_F8, 0);   // slot 6: delete
  PressKey(f.Panel(), VK_F3, ssCtrl);  // slot 10: nothing bound
  EXPECT_EQ(ran, (std::vector<int>{3011, 1002, 1003}));
  TMKeyLine* line = f.Form->Bars->KeyLine;
  EXPECT_EQ(line->KeySets[0][4], L"Again");
  EXPECT_EQ(line->KeySets[0][5], Programs.CommandNames[2]);
  // The key line shows the set for the modifiers held, and a click on label 6 is F6.
  WORD shiftKey = VK_SHIFT;
  PressKey(f.Panel(), shiftKey, ssShift);
  EXPECT_EQ(line->CurrentSet(), 1);
  SendMessageW(f.Panel(), WM_KEYUP, VK_SHIFT, 0xC0000001);
  EXPECT_EQ(line->CurrentSet(), 0);
  ran.clear();
  RECT r = line->LabelRect(6);
  Click(line->Handle(), (r.left + r.right) / 2, 5);
  EXPECT_EQ(ran, std::vector<int>{1002});
  // Favourites: Shift+F2 goes to slot 2's folder.
  Options.QCDSlots[1].Path = f.B.Path();
  PressKey(f.Panel(), VK_F2, ssShift);
  EXPECT_TRUE(SameTextI(f.List().Path, IncludeTrailingBackslash(f.B.Path())));
}

TEST(Bars, ToolButtonsRunTheirCommands) {
  TFixture f;
  std::vector<int> ran;
  f.Form->OnCommand = [&](int tag) { ran.push_back(tag); return tag != 6405; };
  THToolBar* bar = f.Form->Bars->ToolBar;
  ASSERT_EQ(bar->ButtonCount(), 22);
  // The panels stand right below the tool bar (each panel carries its own drive bar).
  EXPECT_EQ(f.Form->ClientPanel->Top(), bar->Top() + bar->Height());
  EXPECT_EQ(bar->Buttons(7)->Caption, L"복사");
  // Every button has a picture of its own.
  ASSERT_NE(bar->Images(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(bar->Images()), 22);
  for (int i = 0; i < bar->ButtonCount(); ++i) EXPECT_EQ(bar->Buttons(i)->ImageIndex, i);
  bar->Buttons(17)->Click();
  EXPECT_EQ(ran, std::vector<int>{3011});
}

TEST(Bars, DriveBarRebuildsOnlyForAnotherMask) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 600, 100);
  TDriveBar drives(&form);
  drives.SetAlign(alTop);
  drives.SetParent(&form);
  form.Show();
  drives.RebuildDrives(-1);
  TToolButton* c = drives.DriveButton(L'C');
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Tag, 102);
  EXPECT_EQ(c->Caption, L"C");
  EXPECT_EQ(c->Hint, L"HDD");
  drives.SetCurrentDrive(L'c');
  EXPECT_TRUE(c->Down());
  // A rebuild with the same mask keeps the buttons.
  int count = drives.ButtonCount();
  drives.RebuildDrives(-1);
  EXPECT_EQ(drives.ButtonCount(), count);
  EXPECT_EQ(drives.DriveButton(L'C'), c);
  drives.RebuildDrives(1 << 2);
  EXPECT_EQ(drives.ButtonCount(), 1);
}

TEST(KeyLine, SetsByShiftStateAndClicksOnLabels) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 600, 100);
  TMKeyLine line(&form);
  line.SetBounds(0, 50, 600, 20);
  line.SetParent(&form);
  form.Show();
  struct {
    TShiftState Shift;
    int Set;
  } cases[] = {{0, 0}, {ssShift, 1}, {ssCtrl, 2}, {ssAlt, 3}, {ssShift | ssCtrl, 4}, {ssAlt | ssCtrl, 5},
               {ssShift | ssAlt, 6}, {ssShift | ssAlt | ssCtrl, -1}};
  for (const auto& c : cases) {
    line.SelectKeySet(c.Shift);
    EXPECT_EQ(line.CurrentSet(), c.Set) << int(c.Shift);
  }
  int clicks = 0;
  line.OnKeyClick = [&](TMKeyLine* l) {
    ++clicks;
    EXPECT_EQ(l->ClickedSet, 2);
    EXPECT_EQ(l->ClickedLabel, 10);
  };
  line.SelectKeySet(ssCtrl);
  Click(line.Handle(), 595, 5);
  // Released over another label: no click.
  SendMessageW(line.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(595, 5));
  SendMessageW(line.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(clicks, 1);
}
