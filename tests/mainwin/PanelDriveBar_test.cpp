// Each panel's drive bar in the running main form: a button per drive with its letter, kind and
// icon, the drive the panel shows pressed, a click going to that drive, keys that change the
// drive followed by the bar, part bit 16 and its place above the path line or below the status
// line (the other panel's bar following), and new buttons when the drives change.
#include <gtest/gtest.h>
#include <windows.h>

#include <bitset>

#include "common/FormFixture.h"
#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/HLABEL.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "foundation/ToolBtn.h"
#include "framework/TextCompare.h"
#include "mainwin/DriveBar.h"
#include "mainwin/FilePanel.h"
#include "mainwin/Main.h"
#include "panels/FileWin.h"
#include "panels/MFList.h"

namespace {
// The main form with two panels, on a folder each (both on drive C).
struct TDriveBarForm : TFormFixture {
  TFilePanel& Panel(int n) const { return *static_cast<TFilePanel*>(n == 1 ? Form->Panel1 : Form->Panel2); }
  TDriveBar& Bar(int n) const { return Panel(n).DriveBar(); }
  // The letter of the pressed button, 0 for none.
  wchar_t Pressed(int n) const {
    TDriveBar& bar = Bar(n);
    wchar_t down = 0;
    for (int i = 0; i < bar.ButtonCount(); ++i)
      if (bar.Buttons(i)->Down()) {
        EXPECT_EQ(down, 0) << "two buttons pressed";
        down = static_cast<wchar_t>(L'A' + bar.Buttons(i)->Tag - 100);
      }
    return down;
  }
};

// Another drive than C that this system has (Wine maps the host's root to Z).
wchar_t OtherDrive() {
  const DWORD mask = GetLogicalDrives();
  for (int i = 25; i >= 0; --i)
    if ((mask & (1u << i)) && i != 2 && GetDriveTypeW((std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\").c_str()) == DRIVE_FIXED)
      return static_cast<wchar_t>(L'A' + i);
  return 0;
}

TEST(PanelDriveBar, EachPanelShowsItsDrivesAboveThePathLine) {
  TDriveBarForm f;
  const DWORD mask = GetLogicalDrives();
  for (int n : {1, 2}) {
    SCOPED_TRACE(n);
    TDriveBar& bar = f.Bar(n);
    TFileWin& win = f.Panel(n).Win();
    ASSERT_TRUE(bar.HandleAllocated());
    EXPECT_TRUE(IsWindowVisible(bar.Handle()));
    EXPECT_EQ(GetParent(bar.Handle()), win.Handle());
    // One button per drive present, in letter order, captioned and tagged by the letter.
    ASSERT_EQ(bar.ButtonCount(), static_cast<int>(std::bitset<32>(mask).count()));
    int last = -1;
    for (int i = 0; i < bar.ButtonCount(); ++i) {
      TToolButton* b = bar.Buttons(i);
      const int index = b->Tag - 100;
      EXPECT_GT(index, last);
      last = index;
      EXPECT_TRUE(mask & (1u << index));
      EXPECT_EQ(b->Caption, std::wstring(1, static_cast<wchar_t>(L'A' + index)));
      EXPECT_GE(b->ImageIndex, 5) << "the drive's own icon after the five fixed images";
    }
    TToolButton* c = bar.DriveButton(L'c');
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Tag, 102);
    EXPECT_EQ(c->Hint, L"HDD");
    // The panels list folders on C: its button is the pressed one.
    EXPECT_EQ(f.Pressed(n), L'C');
    // At the top of the panel, the path line right below it.
    EXPECT_EQ(bar.Top(), 0);
    EXPECT_GT(bar.Height(), 10);
    EXPECT_EQ(win.PathLine().Top(), bar.Top() + bar.Height());
    EXPECT_EQ(bar.Width(), win.ClientWidth());
  }
  // The bar paints its buttons: more than one colour across it.
  TCapture shot(f.Bar(1).Handle());
  const COLORREF first = shot.Pixel(1, 1);
  const RECT all{0, 0, shot.Width(), shot.Height()};
  EXPECT_LT(shot.CountColor(all, first), shot.Width() * shot.Height());
  // The main form has no drive bar of its own beside the panels' bars.
  EXPECT_EQ(f.Form->FindComponent(L"DriveBar"), nullptr);
}

TEST(PanelDriveBar, ClicksAndKeysChangeThePanelsDriveAndTheBarFollows) {
  TDriveBarForm f;
  const wchar_t other = OtherDrive();
  if (!other) GTEST_SKIP() << "only one fixed drive here";
  TFilePanel& p1 = f.Panel(1);
  p1.ChangeDir(f.Left);  // a first step of the panel's history, to come back to
  // A click on another drive's button: panel 1 goes there, panel 2 stays.
  TToolButton* button = f.Bar(1).DriveButton(other);
  ASSERT_NE(button, nullptr);
  button->Click();
  ASSERT_FALSE(p1.List().Path.empty());
  EXPECT_EQ(towupper(p1.List().Path[0]), other);
  EXPECT_EQ(f.Pressed(1), other);
  EXPECT_EQ(f.Pressed(2), L'C');
  EXPECT_TRUE(SameTextI(f.Panel(2).List().Path, IncludeTrailingBackslash(f.Right)));
  EXPECT_TRUE(p1.IsActive());
  // Back by key (Alt+Left): the panel is on C again, and so is its bar.
  SendKey(p1.Win().Box().Handle(), VK_LEFT, ssAlt, true);
  EXPECT_TRUE(SameTextI(p1.List().Path, IncludeTrailingBackslash(f.Left)));
  EXPECT_EQ(f.Pressed(1), L'C');
  // The C button goes back to the folder last shown on C, not to its root.
  f.Bar(1).DriveButton(other)->Click();
  f.Bar(1).DriveButton(L'C')->Click();
  EXPECT_TRUE(SameTextI(p1.List().Path, IncludeTrailingBackslash(f.Left)));
  // A network path presses no button.
  p1.List().Path = L"\\\\server\\share\\";
  p1.Win().OnStateChange(&p1.Win());
  EXPECT_EQ(f.Pressed(1), 0);
}

TEST(PanelDriveBar, PartBitShowsAndHidesAndTheMenuMovesBothBarsToTheBottom) {
  TDriveBarForm f;
  TFilePanel& p1 = f.Panel(1);
  TFileWin& win = p1.Win();
  HWND box = win.Box().Handle();
  // Shift+Ctrl+D: the active panel's bar goes, the path line takes the top.
  SendKey(box, 'D', ssShift | ssCtrl, true);
  EXPECT_EQ(Options.PanelOptions(1).Parts & 16, 0);
  EXPECT_FALSE(IsWindowVisible(f.Bar(1).Handle()));
  EXPECT_EQ(win.PathLine().Top(), 0);
  EXPECT_TRUE(IsWindowVisible(f.Bar(2).Handle()));
  SendKey(box, 'D', ssShift | ssCtrl, true);
  EXPECT_NE(Options.PanelOptions(1).Parts & 16, 0);
  EXPECT_TRUE(IsWindowVisible(f.Bar(1).Handle()));
  EXPECT_EQ(win.PathLine().Top(), f.Bar(1).Height());

  // The bar's menu: "drive chooser", then "at the top" (checked); picking it moves the bar
  // below the status line, and the other panel's bar follows.
  TDriveBar& bar = f.Bar(1);
  {
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_RETURN});
    SendMessageW(bar.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(2, 2));
    SendMessageW(bar.Handle(), WM_RBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(keys.Sent());
  }
  EXPECT_FALSE(Options.PanelOptions(1).DriveBarTop);
  EXPECT_TRUE(PumpUntil([] { return !Options.PanelOptions(2).DriveBarTop; }));
  for (int n : {1, 2}) {
    SCOPED_TRACE(n);
    TFileWin& w = f.Panel(n).Win();
    TDriveBar& b = f.Bar(n);
    EXPECT_EQ(b.Top() + b.Height(), w.ClientHeight());
    EXPECT_EQ(w.StatusLine().Top() + w.StatusLine().Height(), b.Top());
    EXPECT_EQ(w.PathLine().Top(), 0);
  }
}

TEST(PanelDriveBar, ChangedDrivesRebuildEveryPanelsBar) {
  TDriveBarForm f;
  const int all = f.Bar(1).ButtonCount();
  // As if only drive C had been there when the bars were built.
  for (int n : {1, 2}) f.Bar(n).RebuildDrives(1 << 2);
  ASSERT_EQ(f.Bar(1).ButtonCount(), 1);
  // A drive arrives: the shell's notice brings every panel's bar up to date.
  f.Form->ShellEvent(0x100 /* drive added */, L"Q:\\");
  for (int n : {1, 2}) {
    EXPECT_EQ(f.Bar(n).ButtonCount(), all);
    EXPECT_EQ(f.Pressed(n), L'C');
  }
  // And the relay the other parts of the program call after connecting a network drive.
  f.Bar(2).RebuildDrives(1 << 2);
  f.Form->RefreshDrives();
  EXPECT_EQ(f.Bar(2).ButtonCount(), all);
  EXPECT_EQ(f.Pressed(2), L'C');
}
}  // namespace
