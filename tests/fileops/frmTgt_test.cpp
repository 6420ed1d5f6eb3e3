// The target folder chooser: typed text made a full path, an unreachable folder keeps the
// dialog open, Cancel keeps the caller's path, F10 runs the folder chooser when there is one.
#include "fileops/frmTgt.h"

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "foundation/Language.h"
#include "foundation/MsgDlg.h"

TEST(TargetChooser, TypedTextBecomesAFullPath) {
  const struct {
    const wchar_t *initial, *typed, *want;
  } cases[] = {
      {L"D:\\work\\", L"sub", L"D:\\work\\sub"},
      {L"D:\\work", L"sub", L"D:\\work\\sub"},
      {L"D:\\work\\", L"\\temp", L"D:\\temp"},
      {L"D:\\work\\", L"a\\b", L"D:\\a\\b"},
      {L"D:\\work\\", L"E:\\x", L"E:\\x"},
      {L"\\\\srv\\data\\in\\", L"\\out", L"\\\\srv\\data\\out"},
      {L"D:\\work\\", L"  sub  ", L"D:\\work\\sub"},
      {L"D:\\work\\", L"   ", L""},
  };
  for (const auto& c : cases) {
    TSelectPathForm form(nullptr);
    form.InitialPath = c.initial;
    form.Combo->SetText(c.typed);
    EXPECT_EQ(form.ResolvedPath(), c.want) << c.initial << L" + " << c.typed;
  }
}

TEST(TargetChooser, TheDialogIsBuiltAsDescribed) {
  TSelectPathForm form(nullptr);
  EXPECT_EQ(form.Caption(), LoadMessageText(3343));
  EXPECT_EQ(form.Width(), 484);
  EXPECT_EQ(form.Height(), 125);
  EXPECT_EQ(form.ChooserBtn->Caption(), LoadMessageText(30103));
  EXPECT_EQ(form.GroupBox->Caption(), L" " + LoadMessageText(10405) + L" ");
  EXPECT_TRUE(form.OkBtn->Default());
  EXPECT_TRUE(form.CancelBtn->Cancel);
}

TEST(TargetChooser, OkWithAReachableFolderAndCancel) {
  TTempDir dir;
  std::wstring path = L"unchanged";
  // Queued before the dialog runs: the dialog's own loop handles them.
  auto run = [&](const std::wstring& typed, bool ok) {
    TSelectPathForm form(nullptr);
    form.InitialPath = dir.Path() + L"\\";
    form.Combo->SetText(typed);
    PostMessageW((ok ? form.OkBtn : form.CancelBtn)->Handle(), BM_CLICK, 0, 0);
    return form.ShowModal();
  };
  EXPECT_EQ(run(dir.Path(), true), mrOk);
  EXPECT_EQ(run(dir.Path(), false), mrCancel);
  // SelectTargetPath leaves the path alone on Cancel.
  EXPECT_EQ(path, L"unchanged");
}

TEST(TargetChooser, AnUnreachableFolderKeepsTheDialogOpen) {
  TTempDir dir;
  TSelectPathForm form(nullptr);
  form.InitialPath = dir.Path() + L"\\";
  form.Combo->SetText(L"no such folder");
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(0);
  // Once OK has been refused, Cancel is pressed.
  auto check = form.OnCloseQuery;
  int refused = 0;
  form.OnCloseQuery = [&](TComponent* sender, bool& canClose) {
    check(sender, canClose);
    if (!canClose) {
      ++refused;
      PostMessageW(form.CancelBtn->Handle(), BM_CLICK, 0, 0);
    }
  };
  PostMessageW(form.OkBtn->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  TMsgBoxSeam::Get().Reset();
}

TEST(TargetChooser, F10RunsTheFolderChooserWhenThereIsOne) {
  TSelectPathForm form(nullptr);
  form.ChooserTitle = L"pick";
  form.Combo->SetText(L"C:\\start");
  form.ChooseFolder();  // no chooser yet: nothing happens
  EXPECT_EQ(form.Combo->Text(), L"C:\\start");
  std::wstring seenInitial, seenTitle;
  TargetFolderChooser = [&](const std::wstring& initial, const std::wstring& title) {
    seenInitial = initial;
    seenTitle = title;
    return std::wstring(L"C:\\chosen");
  };
  WORD key = VK_F10;
  form.OnKeyDown(&form, key, 0);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(form.Combo->Text(), L"C:\\chosen");
  EXPECT_EQ(seenInitial, L"C:\\start");
  EXPECT_EQ(seenTitle, L"pick");
  key = VK_F10;
  form.Combo->SetText(L"C:\\again");
  form.OnKeyDown(&form, key, ssShift);  // Shift+F10 is not the chooser
  EXPECT_EQ(form.Combo->Text(), L"C:\\again");
  TargetFolderChooser = nullptr;
}
