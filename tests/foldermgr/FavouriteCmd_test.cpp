// The favourites and the drive chooser from the main form: F11 and Shift+F12 open them on the
// active panel, a hot key on a favourite that is gone is reported and the panel stays, and the
// list's drive entry opens the chooser.
#include <gtest/gtest.h>

#include <cwctype>

#include "common/FormFixture.h"
#include "common/WinCapture.h"
#include "foldermgr/DriveBox.h"
#include "foldermgr/QCDBox.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "framework/TextCompare.h"
#include "mainwin/DockBar.h"
#include "mainwin/MKeyLine.h"
#include "panels/MFList.h"

namespace {
TEST(MainFormFavourites, HotKeysWindowAndDriveChooserOpenFoldersInTheActivePanel) {
  TFormFixture f;
  TPanelView* left = f.Panel(f.Left);
  ASSERT_TRUE(left);
  const std::wstring target = f.Dir / L"fav";
  CreateDirectoryW(target.c_str(), nullptr);
  Options.QCDSlots[0].Path = target;
  Options.QCDSlots[10].Path = f.Dir / L"gone";
  // The window: the slot picked with Enter, and its new title on the key line.
  TQCDForm::OnShownHook = [](TQCDForm& form) {
    form.List->SelectIndex(0);
    TMsgBoxSeam::Get().PushText(0, L"즐겨");
    SendKey(form.List->Handle(), VK_SPACE, 0);
    PostMessageW(form.List->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  };
  f.Key(left, VK_F11, 0);
  TQCDForm::OnShownHook = nullptr;
  EXPECT_TRUE(SameTextI(ExcludeTrailingBackslash(left->List().Path), target)) << left->List().Path;
  EXPECT_EQ(f.Form->Bars->KeyLine->KeySets[1][0], L"즐겨");
  // A hot key on a folder that is gone: reported, the panel stays.
  SetActiveWindow(f.Form->Handle());
  TMsgBoxSeam::Get().PushButton(0);
  f.Key(left, VK_F1, ssShift | ssCtrl);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);  // the title box, then the report
  EXPECT_TRUE(SameTextI(ExcludeTrailingBackslash(left->List().Path), target));
  // The drive chooser: a favourite comes back as a folder, a drive as its root.
  int shown = 0;
  THanDriveBox::OnShownHook = [&](THanDriveBox& box) {
    ++shown;
    SetActiveWindow(box.Window->Handle());
    SendKey(box.Tree->Handle(), shown == 1 ? 'C' : VK_F1, shown == 1 ? 0 : ssShift);
  };
  f.Key(left, VK_F12, ssShift);
  EXPECT_EQ(std::towupper(left->List().Path[0]), L'C');
  left->List().OnDriveChooser(left->List());
  EXPECT_EQ(shown, 2);
  EXPECT_TRUE(SameTextI(ExcludeTrailingBackslash(left->List().Path), target));
  THanDriveBox::OnShownHook = nullptr;
}
}  // namespace
