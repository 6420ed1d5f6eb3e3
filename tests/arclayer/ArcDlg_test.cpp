// The compress and extract dialogs, the archive progress window with its questions, and the
// entry points, driven as a user would through real windows and the message-box seam.
#include "archive/layer/ArcDlg.h"

#include <gtest/gtest.h>

#include "archive/layer/AddODlg.h"
#include "archive/layer/ArcDlgKit.h"
#include "archive/layer/ArcTree.h"
#include "archive/layer/ExtrODlg.h"
#include "common/TestUtil.h"
#include "common/ZipPassword.h"
#include "common/WinCapture.h"
#include "fileops/frmTgt.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/Forms.h"
#include "framework/TextCompare.h"

namespace {
class ArcDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    WorkFolder = Work.Path() + L"\\";
    // Tree files of the folder tree cache go to the test's own folder.
    SavedProgramFolder = ProgramFolder;
    SetProgramFolder(Work.Path());
    TMsgBoxSeam::Get().Reset();
  }
  void TearDown() override {
    TMsgBoxSeam::Get().Reset();
    ArcDialogShown = nullptr;
    TargetFolderChooser = nullptr;
    Options.ResetToDefaults();
    SetProgramFolder(SavedProgramFolder);
  }
  std::wstring SavedProgramFolder;
  // A ZIP of the given files (name, content) made through the control.
  std::wstring MakeZip(const std::wstring& name, std::initializer_list<std::pair<const wchar_t*, const char*>> files,
                      const std::wstring& password = L"") {
    const std::wstring src = Work / (L"zsrc_" + name);
    CreateDirectoryW(src.c_str(), nullptr);
    TStringList list;
    for (auto& f : files) {
      WriteFileRaw(src + L"\\" + f.first, f.second);
      list.Add(f.first);
    }
    auto c = CreateArchiveControl(akZip);
    c->ArchiveName = Work / name;
    c->SourceFolder = src + L"\\";
    c->Password = password;
    c->SetFileList(list);
    EXPECT_EQ(c->Add(), arcOk);
    return Work / name;
  }
  TTempDir Work;
};

void SetFileAge(const std::wstring& path, int days) {
  HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
  t.QuadPart -= static_cast<ULONGLONG>(static_cast<int64_t>(days) * 864000000000LL);
  ft.dwLowDateTime = t.LowPart;
  ft.dwHighDateTime = t.HighPart;
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
}

// The questions answered as a user would: the text typed into the box's input, then a button
// clicked, with real messages.
class ArcQuestionTest : public ArcDlgTest {
 protected:
  void Answer(std::vector<std::pair<std::wstring, int>> answers) {
    Answers = std::move(answers);
    TMsgBoxSeam::Get().OnShown = [this](TMsgDlgForm& box) {
      if (Answers.empty()) {
        // Fails the test, and closes the box by its last button so that the run goes on
        // instead of waiting for an answer that never comes.
        ADD_FAILURE() << "an unexpected box: " << box.Caption();
        if (!box.Buttons.empty()) SendMessageW(box.Buttons.back()->Handle(), BM_CLICK, 0, 0);
        return;
      }
      auto [text, button] = Answers.front();
      Answers.erase(Answers.begin());
      Masked.push_back(box.Edit && (GetWindowLongW(box.Edit->Handle(), GWL_STYLE) & ES_PASSWORD) != 0);
      Extra.push_back(box.ExtraButton ? box.ExtraButton->Caption() : L"");
      if (box.Edit) SendMessageW(box.Edit->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      SendMessageW(box.Buttons[static_cast<size_t>(button)]->Handle(), BM_CLICK, 0, 0);
    };
  }
  std::vector<std::pair<std::wstring, int>> Answers;
  std::vector<bool> Masked;
  std::vector<std::wstring> Extra;  // the caption of each box's extra button
};

std::wstring Filled(int message, const std::wstring& value) {
  std::wstring text = LoadMessageText(message);
  size_t at = text.find(L"%S");
  if (at != std::wstring::npos) text.replace(at, 2, value);
  return text;
}
}  // namespace

// ---- The compress dialog ----

TEST(VolumeSize, TextsAcceptedAndRefused) {
  const std::wstring none = L"안함";
  const struct {
    const wchar_t* Text;
    bool Valid;
    int Size;
  } cases[] = {{L"700 MB", true, 700000},  {L"1.4 MB", false, 0},  {L"안함", true, 0},       {L"1440 KB", true, 1440},
               {L"1,440", true, 1440},      {L"10 MB", true, 10000}, {L"2880", true, 2880},    {L"MB", false, 0},
               {L"3000000 MB", false, 0},   {L"2147483647", true, 2147483647},             {L"2147483648", false, 0},
               {L"12k", true, 12},          {L"x1", false, 0}};
  for (const auto& c : cases) {
    bool valid = !c.Valid;
    EXPECT_EQ(ParseVolumeSize(c.Text, none, valid), c.Size) << c.Text;
    EXPECT_EQ(valid, c.Valid) << c.Text;
  }
}

TEST_F(ArcDlgTest, CompressDialogFollowsTheNameAndTheType) {
  Options.MoveAfter = true;
  TAddForm form(nullptr);
  EXPECT_EQ(form.Caption(), LoadMessageText(30101));
  EXPECT_FALSE(form.Checked(form.MoveCheck));  // unchecked each time, whatever was stored
  EXPECT_TRUE(form.Checked(form.FullPathCheck));
  EXPECT_EQ(form.NameCombo->Text(), L".zip");

  form.NameCombo->SetText(L"backup.rar");
  form.NameComboChange();
  EXPECT_EQ(form.TypeIndex(), 4);
  EXPECT_TRUE(form.VolumnSizeCombo->Enabled());
  EXPECT_TRUE(form.PassEdit->Enabled());

  form.NameCombo->SetText(L"x.zip");
  form.NameComboChange();
  form.PassEdit->SetText(L"secret");
  arcdlg::SetItemIndex(form.ArcTypeCombo, 2);  // CAB
  form.ArcTypeComboChange();
  EXPECT_EQ(form.NameCombo->Text(), L"x.cab");
  EXPECT_FALSE(form.VolumnSizeCombo->Enabled());
  EXPECT_FALSE(form.PassEdit->Enabled());
  EXPECT_EQ(form.PassEdit->Text(), L"");
}

TEST_F(ArcDlgTest, InvalidVolumeSizeKeepsTheDialogOpen) {
  TAddForm form(nullptr);
  form.NameCombo->SetText(L"set.rar");
  form.NameComboChange();
  form.VolumnSizeCombo->SetText(L"1.4 MB");
  TMsgBoxSeam::Get().PushButton(0);
  PostMessageW(form.OkBtn->Handle(), BM_CLICK, 0, 0);
  PostMessageW(form.CancelBtn->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(form.ShowModal(), mrCancel);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(30114));
  EXPECT_TRUE(Options.History(hkARCNAME).empty());

  TAddForm ok(nullptr);
  ok.NameCombo->SetText(L" set.rar ");
  ok.NameComboChange();
  ok.VolumnSizeCombo->SetText(L"700 MB");
  PostMessageW(ok.OkBtn->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(ok.ShowModal(), mrOk);
  EXPECT_EQ(ok.GetVolumeSize(), 700000);
  EXPECT_EQ(Options.AddType, 4);
  ASSERT_FALSE(Options.History(hkARCNAME).empty());
  EXPECT_EQ(Options.History(hkARCNAME)[0], L"set.rar");
}

// ---- The extract dialog ----

TEST_F(ArcDlgTest, ExtractDialogHidesThePathAndItsChooser) {
  int chooserCalls = 0;
  TargetFolderChooser = [&](const std::wstring&, const std::wstring&) {
    ++chooserCalls;
    return std::wstring();
  };
  TExtractForm form(nullptr);
  form.SetChecked(form.ExtrThis, true);
  form.Show();
  form.FormShow();
  EXPECT_TRUE(form.PathCombo->Visible());
  SendMessageW(form.ExtrThis->Handle(), BM_CLICK, 0, 0);
  EXPECT_FALSE(form.Checked(form.ExtrThis));
  EXPECT_FALSE(form.PathCombo->Visible());
  EXPECT_FALSE(form.McdBtn->Visible());
  WORD key = VK_F10;
  form.OnKeyDown(&form, key, 0);
  EXPECT_EQ(chooserCalls, 0);
  SendMessageW(form.ExtrThis->Handle(), BM_CLICK, 0, 0);
  key = VK_F10;
  form.OnKeyDown(&form, key, 0);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(chooserCalls, 1);
  form.Hide();
}

// ---- The progress window ----

TEST_F(ArcDlgTest, NewerOnlyIsAskedOnceAndReplacesOnlyOlderFiles) {
  const std::wstring zip = MakeZip(L"n.zip", {{L"old.txt", "new content"}, {L"keep.txt", "archived"}, {L"ro.txt", "fresh"}});
  const std::wstring out = Work / L"out";
  CreateDirectoryW(out.c_str(), nullptr);
  WriteFileRaw(out + L"\\old.txt", "old");
  SetFileAge(out + L"\\old.txt", 400);
  WriteFileRaw(out + L"\\keep.txt", "newer on disk");
  SetFileAge(out + L"\\keep.txt", -400);  // in the future: newer than the entry
  WriteFileRaw(out + L"\\ro.txt", "read-only");
  SetFileAge(out + L"\\ro.txt", 400);
  SetFileAttributesW((out + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);

  TArcForm arc(nullptr);
  TStringList none;
  arc.Mode = 1;
  arc.Folder = out + L"\\";
  arc.ArchiveName = zip;
  arc.ArcType = akZip;
  arc.List = &none;
  TMsgBoxSeam::Get().PushButton(4);  // 새파일만
  EXPECT_EQ(arc.ExecuteModal(), mrOk);
  EXPECT_EQ(arc.Result, arcOk);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  const TMsgBoxRecord& box = TMsgBoxSeam::Get().Shown[0];
  EXPECT_EQ(box.Title, LoadMessageText(10514));
  std::vector<std::wstring> expected = {L"예(&Y)", L"모두(&A)", L"모두통과(&K)", L"통과(&S)", L"새파일만(&N)", L"새이름(&R)", L"취소"};
  EXPECT_EQ(box.Buttons, expected);
  EXPECT_EQ(box.CancelIdx, 6);
  EXPECT_NE(box.Text.find(LoadMessageText(10515)), std::wstring::npos);
  EXPECT_EQ(ReadFileRaw(out + L"\\old.txt"), "new content");
  EXPECT_EQ(ReadFileRaw(out + L"\\keep.txt"), "newer on disk");
  EXPECT_EQ(ReadFileRaw(out + L"\\ro.txt"), "fresh");  // a read-only target is prepared too
}

TEST_F(ArcDlgTest, OverwriteAllAsksNothingAndReplacesReadOnlyFiles) {
  const std::wstring zip = MakeZip(L"a.zip", {{L"r.txt", "from archive"}});
  const std::wstring out = Work / L"out";
  CreateDirectoryW(out.c_str(), nullptr);
  WriteFileRaw(out + L"\\r.txt", "mine");
  SetFileAttributesW((out + L"\\r.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  TArcForm arc(nullptr);
  TStringList none;
  arc.Mode = 1;
  arc.Folder = out + L"\\";
  arc.ArchiveName = zip;
  arc.ArcType = akZip;
  arc.List = &none;
  arc.OverwriteAll = true;
  EXPECT_EQ(arc.ExecuteModal(), mrOk);
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
  EXPECT_EQ(ReadFileRaw(out + L"\\r.txt"), "from archive");
}

TEST_F(ArcDlgTest, StopAskedThenGoOnOrStop) {
  const std::wstring zip = MakeZip(L"s.zip", {{L"one.txt", "1"}, {L"two.txt", "2"}});
  for (bool stop : {false, true}) {
    const std::wstring out = Work / (stop ? L"out_stop" : L"out_go");
    CreateDirectoryW(out.c_str(), nullptr);
    WriteFileRaw(out + L"\\one.txt", "x");
    TArcForm arc(nullptr);
    TStringList none;
    arc.Mode = 1;
    arc.Folder = out + L"\\";
    arc.ArchiveName = zip;
    arc.ArcType = akZip;
    arc.List = &none;
    TMsgBoxSeam::Get().Reset();
    // The user presses Stop while the overwrite question is up, answers the stop question, then
    // answers the overwrite question with Yes.
    TMsgBoxSeam::Get().OnShown = [&](TMsgDlgForm& box) {
      if (box.Caption() == LoadMessageText(10514)) {
        SendMessageW(arc.StopBtn->Handle(), BM_CLICK, 0, 0);
        box.Press(0);
      } else {
        box.Press(stop ? 0 : 1);  // stop now? yes / no
      }
    };
    arc.ExecuteModal();
    int stopQuestions = 0;
    for (const auto& r : TMsgBoxSeam::Get().Shown)
      if (r.Text.find(L"압축풀기 작업을 완료하지") != std::wstring::npos) ++stopQuestions;
    EXPECT_EQ(stopQuestions, 1);
    if (stop) {
      EXPECT_EQ(arc.Result, arcCancelled);
      EXPECT_FALSE(arc.StopBtn->Enabled());
    } else {
      EXPECT_EQ(arc.Result, arcOk);
      EXPECT_EQ(ReadFileRaw(out + L"\\two.txt"), "2");
    }
    TMsgBoxSeam::Get().OnShown = nullptr;
  }
}

TEST_F(ArcDlgTest, WindowLayoutCounterAndMinimisedTitle) {
  TArcForm arc(nullptr);
  EXPECT_EQ(arc.ClientHeight(), 175);
  arc.SetOverallVisible(false);
  EXPECT_EQ(arc.ClientHeight(), 138);
  EXPECT_FALSE(arc.TotalBar->Visible());
  arc.SetOverallVisible(true);
  EXPECT_EQ(arc.ClientHeight(), 175);

  arc.Mode = 1;
  arc.PresetTotalBytes = 1000;
  arc.PresetTotalFiles = 10;
  auto c = CreateArchiveControl(akZip);
  arc.ArchiveBegin(c.get(), L"C:\\x.zip", -1, -1);
  EXPECT_EQ(c->GivenTotalFiles, 10);
  for (int i = 0; i < 3; ++i) arc.FileBegin(c.get(), L"f" + std::to_wstring(i) + L".txt", 10, -1);
  EXPECT_EQ(arc.CountLabel->Caption(), L"(3/10)");
  // Small files show 100% at once.
  arc.Progress(c.get(), 10, 0);
  EXPECT_EQ(arc.FilePercentLabel->Caption(), L"100%");

  // Minimised, the application's title carries the operation and the overall percentage.
  TForm main(nullptr);
  main.SetBounds(0, 0, 200, 100);
  main.Show();
  TForm* oldMain = Application().MainForm;
  const std::wstring oldTitle = Application().Title;
  Application().MainForm = &main;
  ShowWindow(main.Handle(), SW_MINIMIZE);
  arc.OperationName = arc.ModeCaption();
  arc.BeginTitle();
  arc.Progress(c.get(), 1000000, 420);  // 420 of 1000 bytes overall
  EXPECT_EQ(Application().Title, L"압축풀기 - 42%");
  arc.EndTitle();
  EXPECT_EQ(Application().Title, oldTitle);
  Application().MainForm = oldMain;
  main.Hide();
}

// ---- Entry points ----

TEST_F(ArcDlgTest, ArjVolumeSetIsExtractedOnceFromItsFirstVolume) {
  const std::wstring in = Work / L"in";
  CreateDirectoryW(in.c_str(), nullptr);
  for (const wchar_t* n : {L"c.arj", L"c.a01", L"c.a02"})
    CopyFileW(FixturePath(std::wstring(L"arjvol\\") + n).c_str(), (in + L"\\" + n).c_str(), FALSE);
  // Which names stand for the set.
  TGeneralArchiveControl all;
  all.Extract();
  for (auto names : {std::vector<const wchar_t*>{L"c.a01", L"c.a02", L"c.arj"}, std::vector<const wchar_t*>{L"c.a01", L"c.a02"}}) {
    std::vector<TArcSetEntry> arj;
    for (auto* n : names) arj.push_back({in + L"\\" + n, 0, akArj});
    TExtractPlan plan;
    ASSERT_TRUE(PlanExtraction({}, {}, {}, arj, all, plan, nullptr));
    ASSERT_EQ(plan.Plain.size(), 1u);
    EXPECT_EQ(LowerCase(plan.Plain[0].Name), LowerCase(in + L"\\c.arj"));
    EXPECT_EQ(plan.TotalFiles, 4);  // every ARJ piece counts: data.bin in each volume, note.txt
  }
  // From the panel: two panels, the other panel's folder taken without a question.
  Options.AutoSelectInDual = 2;
  const std::wstring other = Work / L"other";
  CreateDirectoryW(other.c_str(), nullptr);
  std::wstring result = other;
  bool chooser = true, changed = true;
  ASSERT_TRUE(ExtractArchives(nullptr, in, result, false, false, chooser, changed, L"c.a01\r\nc.a02\r\nc.arj\r\n", 6,
                              L"", L"", 0, 0, -1, -1, L""));
  EXPECT_FALSE(chooser);
  EXPECT_EQ(result, other + L"\\");
  EXPECT_EQ(ReadFileRaw(other + L"\\note.txt"), "hello volumes\n");
  EXPECT_EQ(ReadFileRaw(other + L"\\data.bin").size(), 25000u);
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
}

TEST_F(ArcDlgTest, ExtractDialogWithDotAndForcedDirectory) {
  const std::wstring zip = MakeZip(L"data.zip", {{L"d.txt", "dee"}});
  // One panel and ExtractForceDir: the dialog proposes <folder>\data; "." means the folder itself.
  Options.ExtractForceDir = true;
  std::wstring proposed;
  ArcDialogShown = [&](THanForm& dlg) {
    auto& e = dynamic_cast<TExtractForm&>(dlg);
    proposed = e.PathCombo->Text();
    e.SetChecked(e.ExtrThis, true);
    e.PathCombo->SetText(L".");
    PostMessageW(e.OkBtn->Handle(), BM_CLICK, 0, 0);
  };
  std::wstring result;
  bool chooser = false, changed = false;
  ASSERT_TRUE(ExtractArchives(nullptr, Work.Path(), result, false, false, chooser, changed, L"data.zip", 0, L"", L"", 0,
                              0, -1, -1, L""));
  EXPECT_EQ(proposed, Work.Path() + L"\\data");
  EXPECT_EQ(ReadFileRaw(Work / L"d.txt"), "dee");
  EXPECT_EQ(result, Work.Path() + L"\\");
  // Nothing that is an archive: the message, and no run.
  WriteFileRaw(Work / L"plain.txt", "no archive");
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_FALSE(ExtractArchives(nullptr, Work.Path(), result, false, false, chooser, changed, L"plain.txt", 6, L"", L"",
                               0, 0, -1, -1, L""));
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(30225));
}

TEST_F(ArcDlgTest, AddThroughTheDialogAndDeleteInside) {
  const std::wstring src = Work / L"src";
  CreateDirectoryW(src.c_str(), nullptr);
  WriteFileRaw(src + L"\\a.txt", "aaa");
  WriteFileRaw(src + L"\\b.txt", "bbb");
  ArcDialogShown = [&](THanForm& dlg) {
    auto& a = dynamic_cast<TAddForm&>(dlg);
    EXPECT_EQ(a.Caption(), L"압축 (2 파일, 0 폴더)");
    EXPECT_EQ(a.NameCombo->Text(), L"pack.zip");
    a.NameCombo->SetText(L"pack");  // typed without extension
    PostMessageW(a.OkBtn->Handle(), BM_CLICK, 0, 0);
  };
  std::wstring name = L"pack";
  bool f1 = true, f2 = true;
  ASSERT_TRUE(AddToArchive(nullptr, name, 0, 2, L"a.txt\r\nb.txt", false, src, false, 0, f1, f2));
  EXPECT_FALSE(f1 || f2);
  EXPECT_EQ(name, src + L"\\pack.ZIP");
  auto tree = OpenArchiveTree(name);
  ASSERT_TRUE(tree);
  int64_t count = 0;
  tree->GetFolderSize(L"", count);
  EXPECT_EQ(count, 2);

  ASSERT_TRUE(DeleteFromArchive(nullptr, name, 0, L"b.txt", akZip, 0));
  tree = OpenArchiveTree(name);
  tree->GetFolderSize(L"", count);
  EXPECT_EQ(count, 1);
  // An entry the archive does not hold: the failure's text, and false.
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_FALSE(DeleteFromArchive(nullptr, name, 0, L"nothere.txt", akZip, 0));
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(30232));
}

TEST_F(ArcDlgTest, TwoFilesAsGzBecomeATarCompressedByGzip) {
  const std::wstring src = Work / L"gsrc";
  CreateDirectoryW(src.c_str(), nullptr);
  WriteFileRaw(src + L"\\a.txt", "aaa");
  WriteFileRaw(src + L"\\b.txt", "bbb");
  ArcDialogShown = [&](THanForm& dlg) {
    auto& a = dynamic_cast<TAddForm&>(dlg);
    arcdlg::SetItemIndex(a.ArcTypeCombo, 8);  // GZ
    a.ArcTypeComboChange();
    PostMessageW(a.OkBtn->Handle(), BM_CLICK, 0, 0);
  };
  std::wstring name = L"both";
  bool f1 = false, f2 = false;
  ASSERT_TRUE(AddToArchive(nullptr, name, 0, 2, L"a.txt\r\nb.txt", false, src, false, 0, f1, f2));
  int64_t offset = 0;
  const TArcKind kind = DetectArchiveType(name, offset, false);
  EXPECT_TRUE(kind == akGz || kind == akTar) << name;
  auto tree = OpenArchiveTree(name);
  ASSERT_TRUE(tree) << name;
  int64_t count = 0;
  tree->GetFolderSize(L"", count);
  EXPECT_GE(count, 1) << name;
}

// ---- The questions of the progress window ----

TEST_F(ArcQuestionTest, PasswordAskedAgainWhenWrongOnceForAllOrCancelled) {
  const std::wstring zip = MakeZip(L"p.zip", {{L"one.txt", "first"}, {L"two.txt", "second"}}, L"secret");
  ASSERT_EQ(ziptest::PasswordChecks(zip, "secret"), std::vector<bool>(2, true));
  const std::wstring wrong = ziptest::PasswordRejectedBy(zip);
  ASSERT_FALSE(wrong.empty());
  const std::vector<std::wstring> buttons = {LoadMessageText(11), LoadMessageText(1), LoadMessageText(2)};
  struct TCase {
    bool ShowPassword;
    std::vector<std::pair<std::wstring, int>> Answers;  // typed text, button (0 All, 1 OK, 2 Cancel)
    std::vector<std::wstring> Asked;                     // the entries the boxes named
    bool Extracted;
  } cases[] = {
      {true, {{L"secret", 0}}, {L"one.txt"}, true},                              // All: asked once
      // A wrong password is asked for again, even after All; OK then holds for the files it fits.
      {false, {{wrong, 0}, {L"secret", 1}}, {L"one.txt", L"one.txt"}, true},
      {true, {{L"secret", 2}}, {L"one.txt"}, false},                             // Cancel: no password
  };
  for (const TCase& c : cases) {
    TMsgBoxSeam::Get().Reset();
    Masked.clear();
    Options.ShowPWD = c.ShowPassword;
    Answer(c.Answers);
    TTempDir out;
    TArcForm arc(nullptr);
    TStringList none;
    arc.Mode = 1;
    arc.Folder = out.Path() + L"\\";
    arc.ArchiveName = zip;
    arc.ArcType = akZip;
    arc.List = &none;
    arc.ExecuteModal();
    const auto& shown = TMsgBoxSeam::Get().Shown;
    ASSERT_EQ(shown.size(), c.Asked.size()) << c.Answers.size();
    for (size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].Title, LoadMessageText(30217));
      EXPECT_EQ(shown[i].Text, Filled(30218, c.Asked[i]));
      EXPECT_EQ(shown[i].Buttons, buttons);
      EXPECT_EQ(shown[i].DefaultIdx, 1);
      EXPECT_EQ(shown[i].CancelIdx, 2);
      EXPECT_TRUE(shown[i].HasInput);
      // The input shows what is typed only when the user wants to see passwords.
      EXPECT_EQ(Masked[i], !c.ShowPassword);
    }
    EXPECT_EQ(arc.PasswordForAll, c.Answers.back().second == 0);
    EXPECT_EQ(arc.LastPasswordFile, c.Asked.back());
    if (c.Extracted) {
      EXPECT_EQ(arc.Result, arcOk);
      EXPECT_EQ(ReadFileRaw(out / L"one.txt"), "first");
      EXPECT_EQ(ReadFileRaw(out / L"two.txt"), "second");
    } else {
      EXPECT_NE(arc.Result, arcOk);
      EXPECT_NE(ReadFileRaw(out / L"one.txt"), "first");
    }
  }
}

TEST_F(ArcQuestionTest, AfterAllTheSameFileIsAskedAgainAndOthersAreNot) {
  // The control asks again for a file whose password was wrong: "All" does not hold for it.
  TArcForm arc(nullptr);
  Answer({{L"wrong", 0}, {L"right", 1}});
  std::wstring pw;
  arc.AskPassword(nullptr, L"a.txt", pw);
  EXPECT_EQ(pw, L"wrong");
  EXPECT_TRUE(arc.PasswordForAll);
  std::wstring other = L"wrong";
  arc.AskPassword(nullptr, L"b.txt", other);  // another file: not asked, the password stays
  EXPECT_EQ(other, L"wrong");
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  arc.AskPassword(nullptr, L"b.txt", other);  // asked again for b.txt: it was wrong
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
  EXPECT_EQ(other, L"right");
  EXPECT_FALSE(arc.PasswordForAll);
}

TEST_F(ArcQuestionTest, VolumeQuestionTakesAnEditedNameOrStops) {
  const std::wstring missing = Work / L"set.r01";
  const std::wstring found = Work / L"elsewhere\\set.r01";
  const std::vector<std::wstring> buttons = {LoadMessageText(1), LoadMessageText(2)};
  struct TCase {
    bool Editable;
    std::pair<std::wstring, int> Answer;
    std::wstring Result;  // the name the control goes on with; empty: it stops
  } cases[] = {
      {true, {found, 0}, found},
      {true, {found, 1}, L""},
      {false, {L"", 0}, missing},
      {false, {L"", 1}, L""},
  };
  for (const TCase& c : cases) {
    TMsgBoxSeam::Get().Reset();
    Extra.clear();
    Answer({c.Answer});
    TArcForm arc(nullptr);
    std::wstring name = missing;
    arc.AskVolume(nullptr, c.Editable, name);
    EXPECT_EQ(name, c.Result);
    ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
    const TMsgBoxRecord& box = TMsgBoxSeam::Get().Shown[0];
    EXPECT_EQ(box.Title, LoadMessageText(30215));
    EXPECT_EQ(box.Text, Filled(30216, missing));
    EXPECT_EQ(box.Buttons, buttons);
    EXPECT_EQ(box.DefaultIdx, 0);
    EXPECT_EQ(box.CancelIdx, 1);
    EXPECT_TRUE(box.HasPicture);
    EXPECT_EQ(box.HasInput, c.Editable);
    if (c.Editable) {
      EXPECT_EQ(box.InitialValue, missing);
    }
    // The editable question can look for the volume with a file dialog.
    ASSERT_EQ(Extra.size(), 1u);
    EXPECT_EQ(Extra[0], c.Editable ? LoadMessageText(3308) : L"");
  }
}
