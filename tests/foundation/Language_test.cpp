#include "foundation/Language.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "common/TestUtil.h"
#include "foundation/BuiltinTexts.h"
#include "foundation/Folders.h"
#include "foundation/TextCodec.h"
#ifdef _WIN32
#include "foundation/MYTOOL.h"
#include "framework/SystemMessage.h"
#endif

namespace {
std::string U8(const std::wstring& s) { return WideToUtf8(s); }

// A language file as the translators write it (UTF-8 with a mark).
std::string LangFile(const std::wstring& mainLines, const std::wstring& messageLines) {
  return "\xEF\xBB\xBF" + U8(L"[main]\r\n" + mainLines + L"[Messages]\r\n" + messageLines);
}

TEST(Language, BuiltinTableTexts) {
  TMultiLanguage lang;
  const struct {
    int id;
    const wchar_t* text;
  } cases[] = {
      {1, L"확인"},
      {2, L"취소"},
      {9, L"예(&Y)"},
      {10, L"아니오(&N)"},
      {4001, L"[위로]"},
      {4151, L"\"<P>%S<>\" 경로가 존재하지 않습니다"},
      {10706, L"다음 명령을 실행할 수 없습니다."},
      {5007, L"Num+ 세로 간격 증가\rNum- 세로 간격 감소"},
      {4162, L"<D>경로<>를 완전한 형태로 입력하세요.\r\r로컬 혹은 네트워크 경로(UNC)를 입력할 수 있습니다."},
      {30113, L"하위 폴더 포함(&S)"},  // stands twice: the first line wins
      {31111, L"기타"},
      {0, L""},
      {99999, L""},
      {-1, L""},
  };
  for (const auto& c : cases) {
    std::wstring s = L"stale";
    lang.GetMessageText(std::to_wstring(c.id), s);
    EXPECT_EQ(s, c.text) << c.id;
  }
}

TEST(Language, BuiltinTableIsWellFormedAndCoversTheUsedNumbers) {
  TMultiLanguage lang;
  std::set<int> ids;
  int duplicates = 0;
  for (int i = 0; i < lang.BuiltinMessages.Count(); ++i) {
    const std::wstring& line = lang.BuiltinMessages[i];
    size_t eq = line.find(L'=');
    ASSERT_NE(eq, std::wstring::npos) << i;
    int id = std::stoi(line.substr(0, eq));
    EXPECT_EQ(std::to_wstring(id), line.substr(0, eq)) << i;
    EXPECT_TRUE(id >= 1 && id <= 32205) << id;
    EXPECT_FALSE(line.substr(eq + 1).empty()) << id;
    if (!ids.insert(id).second) ++duplicates;
  }
  EXPECT_EQ(duplicates, 2);
  // Numbers the program shows from the table; none may come back empty.
  std::vector<int> used = {1,    2,    3,    4,    9,    10,   11,   12,   13,   14,   16,   31,   32,   33,
                           34,   35,   100,  1000, 1022, 1114, 1218, 1304, 1444, 1606, 4001, 4002, 4003,
                           4121, 4151, 4201, 4202, 10601, 10704, 10705, 10706, 10707, 10708, 10709, 10710, 31204};
  for (int id = 3201; id <= 3238; ++id) used.push_back(id);
  for (int id = 3321; id <= 3332; ++id) used.push_back(id);
  for (int id = 1414; id <= 1440; ++id) used.push_back(id);
  for (int id : used) EXPECT_FALSE(LoadBuiltinMessageText(id).empty()) << id;
}

TEST(Language, EveryTranslationMapLineNamesATableText) {
  TMultiLanguage lang;
  ASSERT_GT(lang.TranslationMap().Count(), 0);
  for (int i = 0; i < lang.TranslationMap().Count(); ++i) {
    const std::wstring& line = lang.TranslationMap()[i];
    size_t eq = line.find(L'=');
    ASSERT_NE(eq, std::wstring::npos) << i;
    std::wstring s;
    lang.GetBuiltinMessageText(line.substr(0, eq), s);
    EXPECT_FALSE(s.empty()) << line;
    EXPECT_GE(std::count(line.begin() + static_cast<std::ptrdiff_t>(eq), line.end(), L'.'), 1) << line;
  }
  lang.BuildTranslationList();
  EXPECT_EQ(lang.TranslationList.Count(), lang.TranslationMap().Count());
}

TEST(Language, LanguageFileWinsAndQuotesAndBarsAreCooked) {
  TTempDir dir;
  std::wstring file = dir / L"Test.lng";
  ASSERT_TRUE(WriteFileRaw(file, LangFile(L"Version=46\r\nID=English\r\nHelp=english.hlp\r\n"
                                          L"SystemErrorMessageID=0x0409\r\n",
                                          L"1=OK\r\n2=\r\n3='  padded  '\r\n4='lead\r\n5=trail'\r\n6=''\r\n"
                                          L"7=a||b\r\n9='\r\n")));
  TMultiLanguage lang;
  lang.SetLanguageFile(file);
  EXPECT_EQ(lang.LanguageFile(), file);
  EXPECT_EQ(lang.Version, L"46");
  EXPECT_EQ(lang.ID, L"English");
  EXPECT_EQ(lang.HelpFile, L"english.hlp");
  EXPECT_EQ(lang.SysErrorLangID, 0x409);
  const struct {
    const wchar_t* id;
    const wchar_t* text;
  } cases[] = {
      {L"1", L"OK"},
      {L"2", L"취소"},  // present but empty: the built-in text
      {L"3", L"  padded  "},
      {L"4", L"lead"},
      {L"5", L"trail'"},
      {L"6", L""},
      {L"7", L"a\r\rb"},
      {L"9", L""},
      {L"10", L"아니오(&N)"},
  };
  for (const auto& c : cases) {
    std::wstring s;
    lang.GetMessageText(c.id, s);
    EXPECT_EQ(s, c.text) << c.id;
  }
  std::wstring s;
  lang.GetBuiltinMessageText(L"1", s);
  EXPECT_EQ(s, L"확인");
}

TEST(Language, MainSectionDefaultsAndErrorLanguageIds) {
  const struct {
    const wchar_t* line;
    int32_t id;
  } cases[] = {
      {L"", 0},
      {L"SystemErrorMessageID= 1042 \r\n", 1042},
      {L"SystemErrorMessageID=0x412\r\n", 0x412},
      {L"SystemErrorMessageID=0X0409\r\n", 0x409},
      {L"SystemErrorMessageID=-1\r\n", -1},
      {L"SystemErrorMessageID=abc\r\n", 0},
      {L"SystemErrorMessageID=0xZZ\r\n", 0},
      {L"SystemErrorMessageID=$10\r\n", 0},
      {L"SystemErrorMessageID=1.5\r\n", 0},
  };
  for (const auto& c : cases) {
    TMultiLanguage lang;
    lang.LoadLanguageBytes(LangFile(c.line, L""));
    EXPECT_EQ(lang.SysErrorLangID, c.id) << c.line;
    EXPECT_EQ(lang.Version, L"45");
    EXPECT_EQ(lang.ID, L"Korean(한국어)");
    EXPECT_EQ(lang.HelpFile, L"velmo.hlp");
  }
}

TEST(Language, SameFileAgainDoesNotReloadAndANewFileRebuildsTheTranslations) {
  TTempDir dir;
  std::wstring a = dir / L"A.lng", b = dir / L"B.lng";
  ASSERT_TRUE(WriteFileRaw(a, LangFile(L"", L"1=first\r\n")));
  ASSERT_TRUE(WriteFileRaw(b, LangFile(L"", L"1=second\r\n")));
  TMultiLanguage lang;
  lang.SetTranslationMap("1=Form.Btn.Caption\n");
  lang.SetLanguageFile(a);
  EXPECT_EQ(lang.TranslationList.Count(), 0);  // built on the next lookup
  EXPECT_EQ(LoadBuiltinMessageText(1), L"확인");
  std::wstring s;
  lang.GetMessageText(L"1", s);
  EXPECT_EQ(s, L"first");
  ASSERT_EQ(lang.TranslationList.Count(), 1);
  EXPECT_EQ(lang.TranslationList[0], L"Form.Btn.Caption\tfirst");

  ASSERT_TRUE(WriteFileRaw(a, LangFile(L"", L"1=changed\r\n")));
  std::wstring upper = a;
  for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
  lang.SetLanguageFile(upper);
  lang.GetMessageText(L"1", s);
  EXPECT_EQ(s, L"first");

  lang.SetLanguageFile(b);
  lang.GetMessageText(L"1", s);
  EXPECT_EQ(s, L"second");
  ASSERT_EQ(lang.TranslationList.Count(), 1);
  EXPECT_EQ(lang.TranslationList[0], L"Form.Btn.Caption\tsecond");
}

TEST(Language, MissingLanguageFileLeavesTheBuiltinTexts) {
  TTempDir dir;
  TMultiLanguage lang;
  lang.SetLanguageFile(dir / L"None.lng");
  std::wstring s;
  lang.GetMessageText(L"2", s);
  EXPECT_EQ(s, L"취소");
  EXPECT_EQ(lang.HelpFile, L"velmo.hlp");
}

#ifdef _WIN32
TEST(Language, BareNamesResolveBelowTheProgramFolder) {
  TTempDir dir;
  std::wstring saved = ProgramFolder;
  SetProgramFolder(dir.Path());
  ASSERT_TRUE(CreateDirectoryW((dir / L"Language").c_str(), nullptr));
  ASSERT_TRUE(WriteFileRaw(dir / L"Language\\English.lng", LangFile(L"", L"1=from subfolder\r\n")));
  ASSERT_TRUE(WriteFileRaw(dir / L"Other.lng", LangFile(L"", L"1=from program folder\r\n")));
  const struct {
    const wchar_t* value;
    std::wstring file;
    const wchar_t* text;
  } cases[] = {
      {L"English", dir / L"Language\\English.lng", L"from subfolder"},
      {L"Other", dir / L"Other.lng", L"from program folder"},
      {L"Other.lng", dir / L"Other.lng", L"from program folder"},
  };
  for (const auto& c : cases) {
    TMultiLanguage lang;
    lang.SetLanguageFile(c.value);
    EXPECT_EQ(lang.LanguageFile(), c.file) << c.value;
    std::wstring s;
    lang.GetMessageText(L"1", s);
    EXPECT_EQ(s, c.text) << c.value;
  }
  SetProgramFolder(saved);
}

TEST(Language, StartUpChoosesTheLanguageOfLanguageIni) {
  TTempDir dir;
  std::wstring saved = ProgramFolder;
  SetProgramFolder(dir.Path());
  ASSERT_TRUE(CreateDirectoryW((dir / L"Language").c_str(), nullptr));
  ASSERT_TRUE(WriteFileRaw(dir / L"Language\\English.lng",
                           LangFile(L"SystemErrorMessageID=0x409\r\n", L"1=OK\r\n3201=View\r\n")));
  EXPECT_EQ(SelectLanguageFromIni(), L"");  // no language.ini: the built-in table stays
  EXPECT_EQ(LoadMessageText(1), L"확인");
  ASSERT_TRUE(WriteFileRaw(dir / L"language.ini", "Other=1\r\nuse =  English  \r\n"));
  EXPECT_EQ(SelectLanguageFromIni(), L"English");
  EXPECT_EQ(LoadMessageText(1), L"OK");
  EXPECT_EQ(LoadBuiltinMessageText(1), L"확인");
  EXPECT_EQ(SystemErrorLangID, 0x409);
  InitStdButtonLists();
  EXPECT_EQ(StdButtonsOkCancel, L"OK|취소");
  // Back to the built-in texts for the other tests.
  ASSERT_TRUE(WriteFileRaw(dir / L"Language\\Empty.lng", ""));
  LanguageObject().SetLanguageFile(dir / L"Language\\Empty.lng");
  InitStdButtonLists();
  SystemErrorLangID = 0;
  SetProgramFolder(saved);
}

TEST(Language, EveryErrorBoxTextFollowsTheLanguageFile) {
  // SystemErrorText, behind the path helpers' and every dialog's error boxes, takes the
  // language file's SystemErrorMessageID like GetSystemErrorText.
  const std::wstring english = SystemMessageText(ERROR_FILE_NOT_FOUND, 0x409);
  const std::wstring german = SystemMessageText(ERROR_FILE_NOT_FOUND, 0x407);
  ASSERT_FALSE(english.empty());
  ASSERT_NE(english, german);
  SystemErrorLangID = 0x409;
  EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), english);
  SystemErrorLangID = 0x407;
  EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), german);
  // A language the system has no texts in falls back to the default one.
  SystemErrorLangID = 0x436;
  EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), SystemMessageText(ERROR_FILE_NOT_FOUND, 0));
  SystemErrorLangID = 0;
}

TEST(Language, SystemErrorTextsAreCut) {
  for (int32_t override : {0, -1, 0x409}) {
    SystemErrorLangID = override;
    std::wstring s;
    GetSystemErrorText(ERROR_FILE_NOT_FOUND, 0, s);
    EXPECT_FALSE(s.empty()) << override;
    EXPECT_GE(s.back(), L'!') << override;
  }
  SystemErrorLangID = 0;
  std::wstring s = L"stale";
  GetSystemErrorText(0x7FFFFFF0, 0, s);
  EXPECT_EQ(s, L"");
}
#endif

// A component tree standing in for the window layer.
class TFakeNode : public TTranslationNode {
 public:
  explicit TFakeNode(std::wstring name) : Name(std::move(name)) {}
  TFakeNode* Add(const std::wstring& name) {
    Children.push_back(std::make_unique<TFakeNode>(name));
    return Children.back().get();
  }
  std::wstring GetName() const override { return Name; }
  int OwnedCount() const override { return static_cast<int>(Children.size()); }
  TTranslationNode* Owned(int i) const override { return Children[static_cast<size_t>(i)].get(); }
  TPropKind GetPropKind(const std::wstring& prop) const override {
    if (Strings.count(prop)) return TPropKind::String;
    if (Ints.count(prop)) return TPropKind::Integer;
    if (Lists.count(prop)) return TPropKind::List;
    return TPropKind::None;
  }
  std::wstring GetPropText(const std::wstring& prop) const override {
    if (Strings.count(prop)) return Strings.at(prop);
    if (Ints.count(prop)) return std::to_wstring(Ints.at(prop));
    return L"";
  }
  void SetStringProp(const std::wstring& prop, const std::wstring& v) override { Strings[prop] = v; }
  void SetIntegerProp(const std::wstring& prop, int32_t v) override { Ints[prop] = v; }
  void SetListProp(const std::wstring& prop, const std::vector<std::wstring>& v) override { Lists[prop] = v; }

  std::wstring Name;
  std::vector<std::unique_ptr<TFakeNode>> Children;
  std::map<std::wstring, std::wstring> Strings;
  std::map<std::wstring, int32_t> Ints;
  std::map<std::wstring, std::vector<std::wstring>> Lists;
};

struct TranslateFixture : ::testing::Test {
  TranslateFixture() : App(L"Application") {
    Form = App.Add(L"SetupForm");
    Form->Strings[L"Caption"] = L"old caption";
    Btn = Form->Add(L"OkBtn");
    Btn->Strings[L"Caption"] = L"old";
    Btn->Strings[L"Hint"] = L"old hint";
    Btn->Ints[L"Width"] = 75;
    Combo = Form->Add(L"ModeCombo");
    Combo->Lists[L"Items"] = {L"x"};
    Other = App.Add(L"OtherForm");
    Other->Strings[L"Caption"] = L"other";
    Lang.Application = &App;
    Lang.SetTranslationMap(
        "1=SetupForm.Caption\n"
        "2=setupform.OKBTN . Caption\n"
        "3=SetupForm.OkBtn.Hint\n"
        "4=SetupForm.OkBtn.Width\n"
        "5=SetupForm.ModeCombo.Items\n"
        "6=SetupForm.OkBtn.Unknown\n"
        "7=SetupForm.Missing.Caption\n"
        "8=OtherForm.Caption\n"
        "no equals sign\n"
        "=SetupForm.Caption\n"
        "99999=SetupForm.Caption\n");
    Lang.LoadLanguageBytes(LangFile(L"", L"1=설정\r\n2='확 인'\r\n3=first|second\r\n4=wide\r\n"
                                         L"5=a, ,b,,c,\r\n6=x\r\n7=y\r\n8=changed\r\n"));
  }
  TFakeNode App;
  TFakeNode *Form, *Btn, *Combo, *Other;
  TMultiLanguage Lang;
};

TEST_F(TranslateFixture, SetsPropertiesByPathAndKindAndIgnoresWhatCannotApply) {
  Lang.TranslateForm(L"  SetupForm  ");
  EXPECT_EQ(Form->Strings[L"Caption"], L"설정");
  EXPECT_EQ(Btn->Strings[L"Caption"], L"확 인");
  EXPECT_EQ(Btn->Strings[L"Hint"], L"first\rsecond");
  EXPECT_EQ(Btn->Ints[L"Width"], 75);  // not a number: the built-in value stays
  EXPECT_EQ(Combo->Lists[L"Items"], (std::vector<std::wstring>{L"a", L"", L"b", L"", L"c"}));
  EXPECT_EQ(Btn->Strings.count(L"Unknown"), 0u);
  EXPECT_EQ(Other->Strings[L"Caption"], L"other");  // another form's lines are not applied
}

TEST_F(TranslateFixture, NumbersAndSeparatorsAndUnknownForms) {
  Lang.LoadLanguageBytes(LangFile(L"", L"4= 120 \r\n5=a;b ;;\r\n"));
  Lang.SetSeparator(L";");
  Lang.TranslateForm(L"SetupForm.");
  EXPECT_EQ(Btn->Ints[L"Width"], 120);
  EXPECT_EQ(Combo->Lists[L"Items"], (std::vector<std::wstring>{L"a", L"b", L""}));
  Lang.SetSeparator(L"   ");
  EXPECT_EQ(Lang.Separator(), L",");

  Lang.TranslateForm(L"NoSuchForm");
  Lang.TranslateForm(L"");
  EXPECT_EQ(Other->Strings[L"Caption"], L"other");
  Lang.Application = nullptr;
  Lang.TranslateForm(L"OtherForm");
  EXPECT_EQ(Other->Strings[L"Caption"], L"other");
}

TEST_F(TranslateFixture, EventsSeeTheOldAndTheRawText) {
  std::vector<std::wstring> seen;
  int before = 0, after = 0;
  Lang.OnBeforeTranslation = [&](TMultiLanguage*) { ++before; };
  Lang.OnAfterTranslation = [&](TMultiLanguage*) { ++after; };
  Lang.OnTranslate = [&](TMultiLanguage* sender, TTranslationNode* c, const std::wstring& prop,
                         const std::wstring& oldText, std::wstring& text) {
    EXPECT_EQ(sender, &Lang);
    seen.push_back(c->GetName() + L"." + prop + L":" + oldText + L">" + text);
    if (prop == L"Hint") text = L"'replaced|hint'";
  };
  Lang.TranslateForm(L"OtherForm");
  Lang.TranslateForm(L"SetupForm");
  EXPECT_EQ(before, 2);
  EXPECT_EQ(after, 2);
  EXPECT_EQ(Btn->Strings[L"Hint"], L"replaced\rhint");
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen[0], L"OtherForm.Caption:other>changed");
  EXPECT_EQ(seen[2], L"OkBtn.Caption:old>'확 인'");
  // A component that has no such property is still announced (with no old text), and its
  // text then goes nowhere.
  EXPECT_NE(std::find(seen.begin(), seen.end(), L"OkBtn.Unknown:>x"), seen.end());
  EXPECT_EQ(Btn->Strings.count(L"Unknown"), 0u);
  // A path that names no component is not announced.
  for (const std::wstring& s : seen) EXPECT_EQ(s.find(L"Missing"), std::wstring::npos) << s;
}

TEST(Language, CancelButtonIsFoundWithoutAccelerators) {
  const struct {
    const wchar_t* buttons;
    int index;
  } cases[] = {
      {L"예(&Y)|아니오(&N)", 1},
      {L"예(&Y)|모두(&A)|아니오(&N)|취소(&C)", 3},
      {L"통과(&S)|에러 모두 통과(&A)|취소(&C)", 2},
      {L"&Yes|&No", 1},
      {L"Yes\r\nCANCEL", 1},
      {L"확인", 0},
      {L"확인|취소", 1},  // Escape never confirms
      {L"아니오|확인", 0},
      {L" &OK |x", 0},
      {L"예(&Y)|모두(&A)", -1},
      {L"아니오 말고(&N)|계속", -1},
      {L"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(FindCancelButton(c.buttons), c.index) << c.buttons;
}

TEST(Language, StandardButtonListsComeFromTheTable) {
  InitStdButtonLists();
  EXPECT_EQ(StdButtonsYesNo, L"예(&Y)|아니오(&N)");
  EXPECT_EQ(StdButtonsYesNoCancel, L"예(&Y)|아니오(&N)|취소");
  EXPECT_EQ(StdButtonsOkCancel, L"확인|취소");
  EXPECT_EQ(StdButtonsOk, L"확인");
  EXPECT_EQ(StdButtonsCancel, L"취소");
  EXPECT_EQ(FindCancelButton(StdButtonsYesNo), 1);
  EXPECT_EQ(FindCancelButton(StdButtonsYesNoCancel), 2);
}

TEST(Language, EmbeddedDataMatchesTheSourceFiles) {
  std::string messages = ReadFileRaw(Utf8ToWide(VELMO_SOURCE_DIR "/src/foundation/Messages.txt"));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(BuiltinMessageData), BuiltinMessageDataSize), messages);
}
}  // namespace
