// The favourites window in a real window driven by keys: picking a slot, editing path and
// title, deleting and moving slots (labels stay with their places), the command states, and
// the History file written when the window closes after a change.
#include "foldermgr/QCDBox.h"

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/HanINI.h"
#include "foundation/HanPopup.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/ToolBtn.h"

namespace {
struct TQCDFixture {
  TTempDir Dir;
  std::unique_ptr<TQCDForm> Form;
  std::vector<std::wstring> ChooserCalls;
  std::wstring ChooserAnswer;
  explicit TQCDFixture(bool allowEdit = true, const std::wstring& current = L"") {
    Options.ResetToDefaults();
    Options.Load(Dir / L"Q7X.CFG", Dir / L"History");
    for (int i = 0; i < QCDSlotCount; ++i) Options.QCDSlots[static_cast<size_t>(i)].Title.clear();
    Options.QCDSlots[0] = {Options.QCDSlots[0].Label, L"Windows", L"C:\\windows"};
    Options.QCDSlots[1] = {Options.QCDSlots[1].Label, L"", L"C:\\users"};
    Options.QCDSlots[2] = {Options.QCDSlots[2].Label, L"Temp", Dir.Path()};
    QCDFolderChooser = [this](const std::wstring& start, const std::wstring& caption, bool) {
      ChooserCalls.push_back(start + L"|" + caption);
      return ChooserAnswer;
    };
    Form = std::make_unique<TQCDForm>(nullptr);
    Form->AllowEdit = allowEdit;
    Form->CurrentPath = current;
    Form->Show();
  }
  ~TQCDFixture() {
    Form.reset();
    QCDFolderChooser = nullptr;
    TMsgBoxSeam::Get().Reset();
    Options.ResetToDefaults();
  }
  HWND List() const { return Form->List->Handle(); }
  void Key(WORD key, unsigned shift = 0) { SendKey(List(), key, shift); }
  std::wstring Row(int i, int col) const { return Form->List->Items(i).Text(col); }
};

TEST(QCDForm, ListsTheSlotsAndSelectsTheCurrentFolder) {
  TQCDFixture f(true, L"C:\\USERS");
  ASSERT_EQ(f.Form->List->ItemCount(), 20);
  EXPECT_EQ(f.Row(0, 0), L"Shift+F1");
  EXPECT_EQ(f.Row(10, 0), L"Ctrl+Shift+F1");
  EXPECT_EQ(f.Row(19, 0), L"Ctrl+Shift+F10");
  EXPECT_EQ(f.Row(0, 1), L"Windows");
  EXPECT_EQ(f.Row(0, 2), L"C:\\windows");
  EXPECT_EQ(f.Form->List->ItemIndex(), 1);
  TQCDFixture empty(false, L"");
  EXPECT_EQ(empty.Form->List->ItemIndex(), 3);  // the first slot without a path
  // Digits and the shifted digits select rows 1..20.
  SendMessageW(f.List(), WM_CHAR, L'0', 0);
  EXPECT_EQ(f.Form->List->ItemIndex(), 9);
  SendMessageW(f.List(), WM_CHAR, L'#', 0);
  EXPECT_EQ(f.Form->List->ItemIndex(), 12);
}

TEST(QCDForm, CommandStatesFollowTheSelectedRow) {
  TQCDFixture f(false);
  f.Form->List->SelectIndex(0);
  f.Form->UpdateCommands();
  EXPECT_FALSE(f.Form->Button(TQCDForm::acPath)->Enabled());  // no editing
  EXPECT_TRUE(f.Form->Button(TQCDForm::acDelete)->Enabled());
  EXPECT_FALSE(f.Form->Button(TQCDForm::acUp)->Enabled());
  EXPECT_TRUE(f.Form->Button(TQCDForm::acDown)->Enabled());
  f.Form->List->SelectIndex(19);
  f.Form->UpdateCommands();
  EXPECT_FALSE(f.Form->Button(TQCDForm::acDelete)->Enabled());  // an empty slot
  EXPECT_FALSE(f.Form->Button(TQCDForm::acDown)->Enabled());
  EXPECT_FALSE(f.Form->MenuItem(TQCDForm::acDown)->Enabled);
  // Without editing, Enter on an empty slot does nothing.
  f.Key(VK_RETURN);
  EXPECT_TRUE(f.ChooserCalls.empty());
  EXPECT_EQ(f.Form->ModalResult(), mrNone);
}

TEST(QCDForm, EditsMoveWithTheirSlotsAndAreWrittenToHistoryOnClose) {
  TQCDFixture f(true, L"D:\\work\\here");
  // Slot 1 moved down: title and path go to slot 2, the labels stay.
  f.Form->List->SelectIndex(0);
  f.Key(VK_DOWN, ssAlt);
  EXPECT_EQ(f.Row(0, 0), L"Shift+F1");
  EXPECT_EQ(f.Row(0, 2), L"C:\\users");
  EXPECT_EQ(f.Row(1, 2), L"C:\\windows");
  EXPECT_EQ(f.Form->List->ItemIndex(), 1);
  EXPECT_TRUE(f.Form->Modified);
  // A path for an empty slot through the folder chooser; a root titles it with itself.
  f.Form->List->SelectIndex(5);
  f.ChooserAnswer = L"E:\\";
  f.Key(VK_RETURN);  // an empty slot with editing: the path is asked
  ASSERT_EQ(f.ChooserCalls.size(), 1u);
  EXPECT_EQ(f.ChooserCalls[0], L"D:|<Shift+F6> 폴더 선택");
  EXPECT_EQ(f.Row(5, 2), L"E:\\");
  EXPECT_EQ(f.Row(5, 1), L"E:\\");
  f.ChooserAnswer = L"C:\\data\\projects";
  f.Form->List->SelectIndex(6);
  f.Key(VK_F10);
  EXPECT_EQ(f.Row(6, 1), L"projects");
  // A title through the input box.
  TMsgBoxSeam::Get().PushText(0, L"새 제목");
  f.Form->List->SelectIndex(6);
  f.Key(VK_SPACE);
  EXPECT_EQ(f.Row(6, 1), L"새 제목");
  // Delete empties title and path, the label stays.
  f.Form->List->SelectIndex(2);
  f.Key(VK_DELETE);
  EXPECT_EQ(f.Row(2, 1), L"");
  EXPECT_EQ(f.Row(2, 2), L"");
  EXPECT_EQ(f.Row(2, 0), L"Shift+F3");
  // Esc still writes what was edited.
  f.Key(VK_ESCAPE);
  f.Form->FormClose();
  THanINI history(f.Dir / L"History");
  EXPECT_EQ(history.ReadString(L"QCD", L"P1", L"?"), L"C:\\users");
  EXPECT_EQ(history.ReadString(L"QCD", L"P2", L"?"), L"C:\\windows");
  EXPECT_EQ(history.ReadString(L"QCD", L"T2", L"?"), L"Windows");
  EXPECT_EQ(history.ReadString(L"QCD", L"P3", L"?"), L"");
  EXPECT_EQ(history.ReadString(L"QCD", L"T7", L"?"), L"새 제목");
  EXPECT_EQ(history.ReadString(L"QCD", L"P7", L"?"), L"C:\\data\\projects");
  EXPECT_EQ(Options.QCDSlots[0].Label, L"Shift+F1");
}

TEST(QCDForm, HotKeysAndEnterChooseAndShowQCDReturnsThePath) {
  TQCDFixture f;
  f.Key(VK_F2, ssShift);
  EXPECT_EQ(f.Form->ResultPath, L"C:\\users");
  f.Form.reset();
  // The modal window, answered by keys once it is up.
  TQCDForm::OnShownHook = [](TQCDForm& form) {
    form.List->SelectIndex(2);
    PostMessageW(form.List->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  };
  std::wstring path = L"stale";
  ShowQCD(L"", true, path);
  EXPECT_EQ(path, Options.QCDSlots[2].Path);
  TQCDForm::OnShownHook = [](TQCDForm& form) { PostMessageW(form.List->Handle(), WM_KEYDOWN, VK_ESCAPE, 0); };
  ShowQCD(L"", true, path);
  EXPECT_EQ(path, L"");
  TQCDForm::OnShownHook = nullptr;
}
}  // namespace
