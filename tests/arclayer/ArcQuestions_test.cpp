// The progress window's password and volume questions, answered as a user would: the test
// types into the box's input and clicks its buttons with real messages, while an extraction of
// an encrypted archive runs, or while the window asks for the next volume.
#include <gtest/gtest.h>

#include "archive/layer/ArcCtrl.h"
#include "archive/layer/ArcDlg.h"
#include "archive/layer/ArcTree.h"
#include "archive/layer/ArcView.h"
#include "common/TestUtil.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "framework/Forms.h"
#include "framework/Controls.h"

namespace {
class ArcQuestionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    SavedWork = WorkFolder;
    WorkFolder = Work.Path() + L"\\";
    SavedProgramFolder = ProgramFolder;
    SetProgramFolder(Work.Path());
    TMsgBoxSeam::Get().Reset();
  }
  void TearDown() override {
    TMsgBoxSeam::Get().Reset();
    Options.ResetToDefaults();
    SetProgramFolder(SavedProgramFolder);
    WorkFolder = SavedWork;
  }
  // Answers each box with the next (text, button): the text typed into its input, then the
  // button clicked.
  void Answer(std::vector<std::pair<std::wstring, int>> answers) {
    Answers = std::move(answers);
    TMsgBoxSeam::Get().OnShown = [this](TMsgDlgForm& box) {
      ASSERT_FALSE(Answers.empty()) << "an unexpected box: " << box.Caption();
      auto [text, button] = Answers.front();
      Answers.erase(Answers.begin());
      Masked.push_back(box.Edit && (GetWindowLongW(box.Edit->Handle(), GWL_STYLE) & ES_PASSWORD) != 0);
      Extra.push_back(box.ExtraButton ? box.ExtraButton->Caption() : L"");
      if (box.Edit) SendMessageW(box.Edit->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      SendMessageW(box.Buttons[static_cast<size_t>(button)]->Handle(), BM_CLICK, 0, 0);
    };
  }
  std::wstring MakeZip(const std::wstring& name, const std::wstring& password) {
    const std::wstring src = Work / L"src";
    CreateDirectoryW(src.c_str(), nullptr);
    WriteFileRaw(src + L"\\one.txt", "first");
    WriteFileRaw(src + L"\\two.txt", "second");
    auto c = CreateArchiveControl(akZip);
    c->ArchiveName = Work / name;
    c->SourceFolder = src + L"\\";
    c->Password = password;
    TStringList list;
    list.Add(L"one.txt");
    list.Add(L"two.txt");
    c->SetFileList(list);
    EXPECT_EQ(c->Add(), arcOk);
    return c->ArchiveName;
  }
  TTempDir Work;
  std::wstring SavedWork, SavedProgramFolder;
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

TEST_F(ArcQuestionTest, PasswordAskedAgainWhenWrongOnceForAllOrCancelled) {
  const std::wstring zip = MakeZip(L"p.zip", L"secret");
  const std::vector<std::wstring> buttons = {LoadMessageText(11), LoadMessageText(1), LoadMessageText(2)};
  struct TCase {
    bool ShowPassword;
    std::vector<std::pair<std::wstring, int>> Answers;  // typed text, button (0 All, 1 OK, 2 Cancel)
    std::vector<std::wstring> Asked;                     // the entries the boxes named
    bool Extracted;
  } cases[] = {
      {true, {{L"secret", 0}}, {L"one.txt"}, true},                              // All: asked once
      // A wrong password is asked for again, even after All; OK then holds for the files it fits.
      {false, {{L"wrong", 0}, {L"secret", 1}}, {L"one.txt", L"one.txt"}, true},
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
