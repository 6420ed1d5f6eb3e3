// The rename command of a file list: its selection goes to the rename dialog in list order,
// the focused item alone when nothing is selected, and the renamed items leave the selection.
#include "mainwin/RenameCmd.h"

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "fileops/RenDlg.h"
#include "panels/MFList.h"

namespace {

int IndexOf(const TMFList& list, const std::wstring& name) {
  for (int i = 0; i < list.Count(); ++i)
    if (list.ItemName(i) == name) return i;
  return -1;
}

TEST(RenameCommand, SelectionGoesToTheDialogAndRenamedItemsAreUnselected) {
  TTempDir dir;
  WriteFileRaw(dir / L"a.txt", "1");
  WriteFileRaw(dir / L"b.txt", "22");
  WriteFileRaw(dir / L"c.txt", "333");
  CreateDirectoryW((dir / L"Sub").c_str(), nullptr);
  TMFList list(1);
  list.Path = dir.Path();
  list.Refresh();
  list.SetSelected(IndexOf(list, L"c.txt"), true);
  list.SetSelected(IndexOf(list, L"Sub"), true);
  list.SetSelected(IndexOf(list, L".."), true);
  list.ItemIndex = IndexOf(list, L"c.txt");

  std::vector<std::wstring> rows;
  TRenameOutcome r = RunRenameCommand(list, [&](TRenameForm& form) {
    for (int i = 0; i < form.ItemCount(); ++i) rows.push_back(form.Item(i).FullName());
    EXPECT_EQ(form.Item(1).Size, 3);
    form.Show();
    // Only c.txt is renamed; Sub keeps its name and stays in the dialog.
    form.NamePattern->SetText(L"<N>");
    form.ExtPattern->SetText(L"<E>");
    EXPECT_TRUE(form.RenameOne(1, L"c2.txt", false, false));
    form.Close();
    return 0;
  });
  EXPECT_EQ(rows, (std::vector<std::wstring>{L"Sub", L"c.txt"}));
  EXPECT_TRUE(r.Shown);
  EXPECT_TRUE(r.Changed);
  EXPECT_EQ(r.FocusedName, L"c2.txt");
  EXPECT_EQ(list.GetItem(IndexOf(list, L"c.txt"))->SelOrder, 0);
  EXPECT_NE(list.GetItem(IndexOf(list, L"Sub"))->SelOrder, 0);
  EXPECT_NE(GetFileAttributesW((dir / L"c2.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(RenameCommand, FocusedItemAloneWithoutSelectionAndNothingForTheParentEntry) {
  TTempDir dir;
  WriteFileRaw(dir / L"only.txt", "1");
  TMFList list(1);
  list.Path = dir.Path();
  list.Refresh();
  list.ItemIndex = IndexOf(list, L"only.txt");
  int count = -1;
  RunRenameCommand(list, [&](TRenameForm& form) {
    count = form.ItemCount();
    return 0;
  });
  EXPECT_EQ(count, 1);
  list.ItemIndex = IndexOf(list, L"..");
  EXPECT_FALSE(RunRenameCommand(list, [](TRenameForm&) { return 0; }).Shown);
}

}  // namespace
