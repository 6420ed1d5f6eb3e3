// A form of the window layer re-captioned from the translation map by component path.
#include <gtest/gtest.h>

#include "foundation/Language.h"
#include "framework/Forms.h"

TEST(FormTranslation, FormIsRecaptionedByComponentPath) {
  LanguageObject().Application = &Application();
  auto* form = new TForm(&Application());
  form->Name = L"AddForm";
  auto* ok = new TButton(form);
  ok->Name = L"OkBtn";
  ok->SetParent(form);
  auto* modes = new TComboBox(form);
  modes->Name = L"ArcModeCombo";
  modes->SetParent(form);
  auto* stranger = new TButton(form);
  stranger->Name = L"NotInTheMap";
  stranger->SetCaption(L"as built");
  stranger->SetParent(form);

  TranslateForm(L"AddForm");
  EXPECT_EQ(form->Caption(), LoadMessageText(30101));
  EXPECT_FALSE(form->Caption().empty());
  wchar_t shown[64] = {};
  GetWindowTextW(ok->Handle(), shown, 64);
  EXPECT_STREQ(shown, LoadMessageText(1).c_str());
  // A list property takes the message cut at the separator, each item trimmed.
  std::wstring items = LoadMessageText(30110);
  ASSERT_GT(modes->Items().Count(), 1);
  EXPECT_EQ(items.find(modes->Items()[0]), 0u);
  EXPECT_EQ(SendMessageW(modes->Handle(), CB_GETCOUNT, 0, 0), modes->Items().Count());
  EXPECT_EQ(stranger->Caption(), L"as built");
  delete form;
  LanguageObject().Application = nullptr;
}
