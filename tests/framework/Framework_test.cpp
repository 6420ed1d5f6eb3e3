// The window layer in real windows: ownership and lookup by component path, alignment of
// child windows, modal forms driven by keys and clicks, timers, painting, and exceptions
// that must stop at the window procedure.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "common/WinCapture.h"
#include "framework/Forms.h"

namespace {
struct TTracked : TComponent {
  TTracked(TComponent* owner, int* deaths) : TComponent(owner), Deaths(deaths) {}
  ~TTracked() override { ++*Deaths; }
  int* Deaths;
};
}  // namespace

TEST(Component, OwnerFreesWhatItOwnsAndFindsByNameIgnoringCase) {
  int deaths = 0;
  auto owner = std::make_unique<TComponent>();
  auto* a = new TTracked(owner.get(), &deaths);
  a->Name = L"OkBtn";
  auto* b = new TTracked(owner.get(), &deaths);
  b->Name = L"Second";
  auto* inner = new TTracked(a, &deaths);
  inner->Name = L"Inner";
  EXPECT_EQ(owner->FindComponent(L"okbtn"), a);
  EXPECT_EQ(owner->FindComponent(L"Inner"), nullptr);  // only direct children
  EXPECT_EQ(a->FindComponent(L"INNER"), inner);
  delete b;  // leaves its owner's list
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(deaths, 1);
  owner.reset();
  EXPECT_EQ(deaths, 3);
}

TEST(Component, PropertiesSetByComponentPath) {
  auto* form = new TForm(&Application());
  form->Name = L"SplitForm";
  auto* panel = new TPanel(form);
  panel->Name = L"Panel1";
  panel->SetParent(form);
  auto* button = new TButton(form);
  button->Name = L"OkBtn";
  button->SetParent(panel);
  auto* combo = new TComboBox(panel);
  combo->Name = L"Kinds";
  combo->SetParent(panel);

  struct Case {
    const wchar_t* Path;
    const wchar_t* Text;
    bool Applied;
  };
  const Case cases[] = {
      {L"SplitForm.OkBtn.Caption", L"확인", true},
      {L" splitform . okbtn . caption ", L"다시", true},  // pieces trimmed, case ignored
      {L"SplitForm.OkBtn.Tag", L"42", true},
      {L"SplitForm.OkBtn.Tag", L"4x2", false},            // not a whole number: unchanged
      {L"SplitForm.OkBtn.NoSuchProperty", L"x", false},
      {L"SplitForm.Panel1.Kinds.Items", L"하나, 둘,, 셋 ,", true},
      {L"OtherForm.OkBtn.Caption", L"x", false},
      {L"SplitForm", L"x", false},
  };
  for (const Case& c : cases) {
    std::wstring prop;
    TComponent* target = FindComponentPath(&Application(), c.Path, prop);
    bool applied = target && SetComponentProperty(target, prop, c.Text, L",");
    EXPECT_EQ(applied, c.Applied) << c.Path;
  }
  // Components are found through their owner chain: Kinds is owned by the panel.
  EXPECT_EQ(button->Caption(), L"다시");
  wchar_t shown[32] = {};
  GetWindowTextW(button->Handle(), shown, 32);
  EXPECT_STREQ(shown, L"다시");
  EXPECT_EQ(button->Tag, 42);
  ASSERT_EQ(combo->Items().Count(), 4);
  EXPECT_EQ(combo->Items()[0], L"하나");
  EXPECT_EQ(combo->Items()[1], L"둘");
  EXPECT_EQ(combo->Items()[2], L"");   // empty before a separator counts
  EXPECT_EQ(combo->Items()[3], L"셋");  // the empty last piece does not
  EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETCOUNT, 0, 0), 4);
  delete form;
  EXPECT_EQ(Application().FindComponent(L"SplitForm"), nullptr);
}

TEST(Controls, AlignmentOfChildrenWithSuspendAndResume) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  auto make = [&](TAlign a, int w, int h) {
    auto* p = new TPanel(&form);
    p->SetBounds(0, 0, w, h);
    p->SetParent(&form);
    p->SetAlign(a);
    return p;
  };
  TPanel* top = make(alTop, 10, 30);
  TPanel* bottom = make(alBottom, 10, 20);
  TPanel* left = make(alLeft, 50, 10);
  TPanel* right = make(alRight, 40, 10);
  TPanel* client = make(alClient, 1, 1);
  int cw = form.ClientWidth(), ch = form.ClientHeight();
  auto bounds = [](TControl* c) { return std::vector<int>{c->Left(), c->Top(), c->Width(), c->Height()}; };
  EXPECT_EQ(bounds(top), (std::vector<int>{0, 0, cw, 30}));
  EXPECT_EQ(bounds(bottom), (std::vector<int>{0, ch - 20, cw, 20}));
  EXPECT_EQ(bounds(left), (std::vector<int>{0, 30, 50, ch - 50}));
  EXPECT_EQ(bounds(right), (std::vector<int>{cw - 40, 30, 40, ch - 50}));
  EXPECT_EQ(bounds(client), (std::vector<int>{50, 30, cw - 90, ch - 50}));

  // A second top panel placed just below the first stays below it.
  TPanel* top2 = make(alTop, 10, 5);
  top2->SetTop(31);
  EXPECT_EQ(top2->Top(), 30);
  EXPECT_EQ(client->Top(), 35);

  form.DisableAlign();
  top->SetHeight(60);
  EXPECT_EQ(client->Top(), 35);  // suspended
  form.EnableAlign();
  EXPECT_EQ(top2->Top(), 60);
  EXPECT_EQ(client->Top(), 65);

  form.SetBounds(0, 0, 500, 400);
  EXPECT_EQ(client->Width(), form.ClientWidth() - 90);
  EXPECT_EQ(bottom->Top(), form.ClientHeight() - 20);
  top->Hide();
  EXPECT_EQ(top2->Top(), 0);
}

TEST(Forms, ModalFormEndsByKeysAndClicks) {
  TForm main(nullptr);
  main.SetBounds(10, 10, 300, 200);
  main.Show();
  struct Case {
    const char* Name;
    int Expected;
    std::function<void(TForm&, TButton&, TButton&, TEdit&)> Drive;
  };
  const Case cases[] = {
      {"Enter in an edit presses the default button", mrOk,
       [](TForm&, TButton&, TButton&, TEdit& e) { PostMessageW(e.Handle(), WM_KEYDOWN, VK_RETURN, 0); }},
      {"Escape presses the cancel button", mrCancel,
       [](TForm&, TButton&, TButton&, TEdit& e) { PostMessageW(e.Handle(), WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"a click on a button", mrCancel,
       [](TForm&, TButton&, TButton& no, TEdit&) { PostMessageW(no.Handle(), BM_CLICK, 0, 0); }},
      {"Enter on a button presses that button", mrCancel,
       [](TForm&, TButton&, TButton& no, TEdit&) { PostMessageW(no.Handle(), WM_KEYDOWN, VK_RETURN, 0); }},
      {"the close box", mrCancel, [](TForm& f, TButton&, TButton&, TEdit&) { PostMessageW(f.Handle(), WM_CLOSE, 0, 0); }},
  };
  for (const Case& c : cases) {
    TForm dlg(nullptr);
    dlg.SetBounds(0, 0, 260, 120);
    dlg.Position = poScreenCenter;
    auto* edit = new TEdit(&dlg);
    edit->SetBounds(10, 10, 200, 22);
    edit->SetParent(&dlg);
    auto* ok = new TButton(&dlg);
    ok->SetBounds(10, 50, 75, 25);
    ok->SetParent(&dlg);
    ok->SetDefault(true);
    ok->ModalResult = mrOk;
    auto* no = new TButton(&dlg);
    no->SetBounds(100, 50, 75, 25);
    no->SetParent(&dlg);
    no->Cancel = true;
    no->ModalResult = mrCancel;
    bool mainDisabled = false;
    dlg.OnShow = [&](TComponent*) {
      mainDisabled = !IsWindowEnabled(main.Handle());
      c.Drive(dlg, *ok, *no, *edit);
    };
    EXPECT_EQ(dlg.ShowModal(), c.Expected) << c.Name;
    EXPECT_TRUE(mainDisabled) << c.Name;
    EXPECT_TRUE(IsWindowEnabled(main.Handle())) << c.Name;
    EXPECT_FALSE(IsWindowVisible(dlg.Handle())) << c.Name;
    // Tab order: edit, OK, the second button, round again; Shift+Tab backwards.
    EXPECT_EQ(dlg.NextTabStop(edit->Handle(), false), ok->Handle());
    EXPECT_EQ(dlg.NextTabStop(ok->Handle(), false), no->Handle());
    EXPECT_EQ(dlg.NextTabStop(no->Handle(), false), edit->Handle());
    EXPECT_EQ(dlg.NextTabStop(edit->Handle(), true), no->Handle());
  }
}

TEST(Forms, CloseQueryCanKeepAModalFormOpen) {
  TForm dlg(nullptr);
  int asked = 0;
  dlg.OnCloseQuery = [&](TComponent*, bool& canClose) { canClose = ++asked >= 2; };
  dlg.OnShow = [&](TComponent*) {
    PostMessageW(dlg.Handle(), WM_CLOSE, 0, 0);
    PostMessageW(dlg.Handle(), WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
}

TEST(Forms, ExceptionsStopAtTheWindowProcedureAndTheLoop) {
  TForm form(nullptr);
  form.Show();
  auto* b = new TButton(&form);
  b->SetParent(&form);
  b->OnClick = [](TComponent*) { throw std::runtime_error("click failed"); };
  int before = Application().ExceptionCount;
  SendMessageW(b->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(Application().ExceptionCount, before + 1);
  EXPECT_EQ(Application().LastExceptionText, L"click failed");

  TTimer timer(nullptr);
  timer.SetInterval(10);
  int ticks = 0;
  timer.OnTimer = [&](TComponent*) {
    ++ticks;
    throw 7;  // not even a std::exception
  };
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }));
  timer.SetEnabled(false);
  EXPECT_GE(Application().ExceptionCount, before + 3);
  EXPECT_EQ(Application().LastExceptionText, L"unknown exception");
}

TEST(Controls, PanelPaintsItsColourAndTimersStop) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 150);
  auto* p = new TPanel(&form);
  p->SetBounds(5, 5, 40, 30);
  p->SetParent(&form);
  p->SetColor(RGBColor(10, 200, 30));
  TCapture shot(p->Handle());
  EXPECT_EQ(shot.Width(), 40);
  EXPECT_EQ(shot.CountColor(RECT{0, 0, 40, 30}, RGB(10, 200, 30)), 40 * 30);

  TTimer timer(nullptr);
  timer.SetInterval(5);
  int ticks = 0;
  timer.OnTimer = [&](TComponent*) {
    if (++ticks == 3) timer.SetEnabled(false);
  };
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 3);
}
