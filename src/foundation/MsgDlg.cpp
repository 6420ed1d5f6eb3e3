#include "foundation/MsgDlg.h"

#include <shellapi.h>

#include <algorithm>

#include "foundation/Language.h"
#include "framework/TextCompare.h"
#include "framework/Handles.h"

namespace {
// The cancel button among the captions shown (empty pieces of the list are left out there).
int FindCancelCaption(const std::vector<std::wstring>& captions) {
  std::wstring joined;
  for (const std::wstring& c : captions) joined += (joined.empty() ? L"" : L"|") + c;
  return FindCancelButton(joined);
}

// Results of the box's modal loop besides the buttons (100 + index).
constexpr int kButtonBase = 100;
constexpr int kSeamGaveUp = mrAbort;
constexpr UINT WM_SEAM_ANSWER = WM_APP + 0x51;
// Places the caret in the input after the box has given it the focus: a combo box
// selects its whole text when it gets the focus, whatever was set before.
constexpr UINT WM_PLACE_CARET = WM_APP + 0x52;
constexpr int kMaxTextWidth = 560;
constexpr int kGap = 8;
constexpr int kBorder = 12;

std::wstring TrimWs(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= L' ') ++b;
  while (e > b && s[e - 1] <= L' ') --e;
  return s.substr(b, e - b);
}

// A message text, or the given Korean text while the message table has none.
std::wstring Message(int id, const wchar_t* fallback) {
  std::wstring s = LoadMessageText(id);
  return s.empty() ? std::wstring(fallback) : s;
}

// The standard lists once InitStdButtonLists has built them, else from the texts.
std::wstring OkList() { return !StdButtonsOk.empty() ? StdButtonsOk : Message(1, L"확인"); }
std::wstring OkCancelList() {
  return !StdButtonsOkCancel.empty() ? StdButtonsOkCancel : Message(1, L"확인") + L"|" + Message(2, L"취소");
}
std::wstring YesNoList() {
  return !StdButtonsYesNo.empty() ? StdButtonsYesNo : Message(9, L"예(&Y)") + L"|" + Message(10, L"아니오(&N)");
}

std::wstring DefaultTitle(int iconCode) {
  switch (iconCode) {
    case 1: return Message(31, L"경고");
    case 2: return Message(32, L"오류");
    case 3: return Message(35, L"알림");
    case 4: return Message(33, L"질문");
    case 5: return Message(34, L"삭제");
    default: return {};
  }
}

HICON SystemIcon(int code) {
  switch (code) {
    case 1: return LoadIconW(nullptr, MAKEINTRESOURCEW(32515));  // warning
    case 2: return LoadIconW(nullptr, MAKEINTRESOURCEW(32513));  // error
    case 3: return LoadIconW(nullptr, MAKEINTRESOURCEW(32516));  // information
    case 4: return LoadIconW(nullptr, MAKEINTRESOURCEW(32514));  // question
    default: return nullptr;
  }
}

HBITMAP ResourceBitmap(const std::wstring& name) {
  return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), name.c_str(), IMAGE_BITMAP, 0, 0, 0));
}

struct TPicture {
  HICON Icon = nullptr;
  bool OwnsIcon = false;
  HBITMAP Bitmap = nullptr;
};

bool AllDigits(const std::wstring& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

int SmallNumber(const std::wstring& s) {
  int v = 0;
  for (wchar_t c : s) {
    v = v * 10 + (c - L'0');
    if (v > 100000) break;
  }
  return v;
}

HICON FileIcon(const std::wstring& file, int index) {
  HICON icon = nullptr;
  if (ExtractIconExW(file.c_str(), index, &icon, nullptr, 1) == 0) return nullptr;
  return icon;
}

TPicture PictureFromIconSpec(const std::wstring& iconSpec) {
  TPicture p;
  if (iconSpec.empty()) return p;
  if (iconSpec.size() >= 2 && (iconSpec[0] == L'#' || iconSpec[0] == L'^')) {
    std::wstring n = iconSpec.substr(1);
    if (AllDigits(n)) {
      p.Icon = FileIcon(L"shell32.dll", SmallNumber(n));
      p.OwnsIcon = p.Icon != nullptr;
    }
    return p;
  }
  if (iconSpec[0] == L'\\' || iconSpec[0] == L'/') {
    std::wstring rest = iconSpec.substr(1);
    int index = 0;
    size_t comma = rest.rfind(L',');
    if (comma != std::wstring::npos) {
      std::wstring n = TrimWs(rest.substr(comma + 1));
      if (AllDigits(n)) index = SmallNumber(n);
      rest = rest.substr(0, comma);
    }
    p.Icon = FileIcon(rest, index);
    if (!p.Icon && iconSpec[0] == L'/') p.Icon = FileIcon(L"shell32.dll", 0);
    p.OwnsIcon = p.Icon != nullptr;
    return p;
  }
  struct Named {
    const wchar_t* A;
    const wchar_t* B;
    const wchar_t* C;
    int Code;
  };
  const Named names[] = {{L"1", L"~", L"EXCLAMATION", 1},
                         {L"2", L"#", L"HAND", 2},
                         {L"3", L"!", L"ASTERISK", 3},
                         {L"4", L"?", L"QUESTION", 4}};
  for (const Named& n : names) {
    if (SameTextI(iconSpec, n.A) || SameTextI(iconSpec, n.B) || SameTextI(iconSpec, n.C)) {
      p.Icon = SystemIcon(n.Code);
      return p;
    }
  }
  p.Bitmap = ResourceBitmap(iconSpec);
  return p;
}

TPicture PictureFromCode(int code) {
  TPicture p;
  if (code >= 1 && code <= 4) p.Icon = SystemIcon(code);
  else if (code == 5) p.Bitmap = ResourceBitmap(L"DLG_Remove");
  return p;
}

// The picture beside the text.
class TMsgPicture : public TCustomControl {
 public:
  TMsgPicture(TComponent* owner, TMsgDlgForm* box) : TCustomControl(owner), FBox(box) {}

 protected:
  void Paint(TCanvas& canvas) override {
    canvas.FillRect(ClientRect(), FColor);
    if (FBox->Icon) {
      DrawIconEx(canvas.Handle(), 0, 0, FBox->Icon, 32, 32, 0, nullptr, DI_NORMAL);
    } else if (FBox->Bitmap) {
      BITMAP bm{};
      GetObjectW(FBox->Bitmap, sizeof bm, &bm);
      TMemoryDCHandle mem(CreateCompatibleDC(canvas.Handle()));
      HGDIOBJ old = SelectObject(mem.get(), FBox->Bitmap);
      BitBlt(canvas.Handle(), 0, 0, bm.bmWidth, bm.bmHeight, mem.get(), 0, 0, SRCCOPY);
      SelectObject(mem.get(), old);
    }
  }

 private:
  TMsgDlgForm* FBox;
};

struct TBoxSetup {
  std::wstring Title, Text, Buttons;
  int IconCode = 0;
  std::wstring IconSpec;
  bool UseIconSpec = false;
  int DefaultIdx = -1, CancelIdx = -1;
  bool Input = false, Password = false, CaretAtEnd = false;
  std::wstring HistoryText;
  std::wstring ExtraCaption;
  TInputCheckEvent OnExtra;
  // Asked before button 0 closes the box (the input box's OK).
  TInputCheckEvent Validate;
};

int TextWidthIn(const TFont& font, const std::wstring& s) {
  TScreenDC dc;
  HGDIOBJ old = SelectObject(dc.Handle(), font.Handle());
  SIZE sz{0, 0};
  GetTextExtentPoint32W(dc.Handle(), s.c_str(), static_cast<int>(s.size()), &sz);
  SelectObject(dc.Handle(), old);
  return sz.cx;
}

int RunBox(TBoxSetup& setup, std::wstring* value) {
  std::vector<std::wstring> captions = SplitButtonCaptions(setup.Buttons);
  if (captions.empty()) captions.push_back(OkList());  // a box must have a way out
  const int count = static_cast<int>(captions.size());
  int defaultIdx = setup.DefaultIdx < 0 || setup.DefaultIdx >= count ? 0 : setup.DefaultIdx;
  int cancelIdx = setup.CancelIdx < 0 ? FindCancelCaption(captions) : setup.CancelIdx < count ? setup.CancelIdx : -1;
  std::wstring title = setup.Title.empty() ? DefaultTitle(setup.UseIconSpec ? 0 : setup.IconCode) : setup.Title;
  const std::wstring initial = value ? *value : std::wstring();

  TMsgDlgForm box(nullptr);
  box.SetBorderStyle(bsDialog);
  box.Position = poOwnerFormCenter;
  box.SetCaption(title);
  if (Application().MainForm) box.Font = Application().MainForm->Font;
  box.CancelIndex = cancelIdx;
  box.SetCloseBox(cancelIdx >= 0);

  TPicture pic = setup.UseIconSpec ? PictureFromIconSpec(setup.IconSpec) : PictureFromCode(setup.IconCode);
  box.Icon = pic.Icon;
  box.OwnsIcon = pic.OwnsIcon;
  box.Bitmap = pic.Bitmap;
  int picW = 0, picH = 0;
  if (box.Icon) picW = picH = 32;
  else if (box.Bitmap) {
    BITMAP bm{};
    GetObjectW(box.Bitmap, sizeof bm, &bm);
    picW = std::min<int>(bm.bmWidth, 128);
    picH = std::min<int>(bm.bmHeight, 128);
  }
  int x = kBorder;
  if (picW > 0) {
    auto* picture = new TMsgPicture(&box, &box);
    picture->SetBounds(kBorder, kBorder, picW, picH);
    picture->SetParent(&box);
    x += picW + kBorder;
  }

  // The text: measured wide first, then given the width it needs (a path in it is
  // shortened to the room that is left).
  box.Label = new THanLabelEX(&box);
  box.Label->Font = box.Font;
  box.Label->SetBounds(x, kBorder, kMaxTextWidth, 20);
  box.Label->SetParent(&box);
  box.Label->SetCaption(setup.Text);
  int tw, right, th;
  box.Label->GetTextExtent(tw, right, th);
  int labelW = std::max(tw, 0);
  if (box.Label->PathMode()) labelW = std::max(labelW, std::min(right, kMaxTextWidth));
  labelW = std::clamp(labelW, 40, kMaxTextWidth);
  int labelH = std::max(th, 16);
  int y = kBorder + std::max(labelH, picH);

  int contentW = x - kBorder + labelW;
  int inputRowW = 0;
  if (setup.Input) {
    int extraW = setup.ExtraCaption.empty() ? 0 : std::max(75, TextWidthIn(box.Font, setup.ExtraCaption) + 20);
    int inputW = std::max(labelW, 260);
    inputRowW = inputW + (extraW ? extraW + kGap : 0);
    y += kGap;
    if (!setup.HistoryText.empty()) {
      box.Combo = new TComboBox(&box);
      TStringList items;
      items.SetText(setup.HistoryText);
      box.Combo->DropDownCount = 20;
      box.Combo->MaxLength = 255;
      box.Combo->SetItems(items);
      box.Combo->SetBounds(x, y, inputW, 22);
      box.Combo->SetText(initial);
      box.Combo->SetParent(&box);
      box.ActiveControl = box.Combo;
    } else {
      box.Edit = new TEdit(&box);
      box.Edit->MaxLength = 255;
      if (setup.Password) box.Edit->PasswordChar = L'*';
      box.Edit->SetBounds(x, y, inputW, 22);
      box.Edit->SetText(initial);
      box.Edit->SetParent(&box);
      box.ActiveControl = box.Edit;
    }
    box.CaretAtEnd = setup.CaretAtEnd;
    box.OnShow = [&box](TComponent*) { PostMessageW(box.Handle(), WM_PLACE_CARET, 0, 0); };
    if (setup.CaretAtEnd) {
      if (box.Edit) box.Edit->SetSelStart(static_cast<int>(initial.size()));
      if (box.Combo) box.Combo->SetSelStart(static_cast<int>(initial.size()));
    } else {
      if (box.Edit) box.Edit->SelectAll();
      if (box.Combo) box.Combo->SelectAll();
    }
    if (extraW) {
      box.ExtraButton = new TButton(&box);
      box.ExtraButton->SetCaption(setup.ExtraCaption);
      box.ExtraButton->SetBounds(x + inputW + kGap, y - 1, extraW, 24);
      box.ExtraButton->SetParent(&box);
      box.ExtraButton->OnClick = [&](TComponent*) {
        if (!setup.OnExtra) return;
        std::wstring current = TrimWs(box.InputText());
        if (setup.OnExtra(initial, current)) {
          box.SetInputText(current);
          if (box.Edit) box.Edit->SelectAll();
          if (box.Combo) box.Combo->SelectAll();
          if (box.ActiveControl) box.ActiveControl->SetFocus();
        }
      };
    }
    y += 22;
    contentW = std::max(contentW, x - kBorder + inputRowW);
  }

  std::vector<int> widths;
  int buttonsW = 0;
  for (const std::wstring& c : captions) {
    widths.push_back(std::max(75, TextWidthIn(box.Font, c) + 20));
    buttonsW += widths.back();
  }
  buttonsW += kGap * (count - 1);
  int clientW = std::max(contentW, buttonsW) + 2 * kBorder;
  y += kBorder + 4;
  int bx = (clientW - buttonsW) / 2;
  for (int i = 0; i < count; ++i) {
    auto* b = new THanButton(&box);
    b->SetCaption(captions[static_cast<size_t>(i)]);
    b->SetBounds(bx, y, widths[static_cast<size_t>(i)], 25);
    b->SetDefault(i == defaultIdx);
    b->Cancel = i == cancelIdx;
    b->SetParent(&box);
    b->OnClick = [&box, &setup, &initial, i](TComponent*) {
      if (i == 0 && setup.Validate) {
        std::wstring current = TrimWs(box.InputText());
        if (!setup.Validate(initial, current)) return;
        box.SetInputText(current);
      }
      box.SetModalResult(kButtonBase + i);
    };
    box.Buttons.push_back(b);
    bx += widths[static_cast<size_t>(i)] + kGap;
  }
  box.Label->SetBounds(x, kBorder, std::max(labelW, clientW - x - kBorder), labelH);
  box.SetClientSize(clientW, y + 25 + kBorder);
  if (!box.ActiveControl) box.ActiveControl = box.Buttons[static_cast<size_t>(defaultIdx)];
  box.OnCloseQuery = [&box](TComponent*, bool& canClose) {
    // Without a cancel button the box closes only by its buttons.
    canClose = box.CancelIndex >= 0 || box.ModalResult() >= kButtonBase || box.ModalResult() == kSeamGaveUp;
  };

  TMsgBoxSeam& seam = TMsgBoxSeam::Get();
  bool seamed = seam.Active();
  TMsgBoxRecord record;
  if (seamed) {
    record.Title = title;
    record.Text = setup.Text;
    record.Buttons = captions;
    record.DefaultIdx = defaultIdx;
    record.CancelIdx = cancelIdx;
    record.CloseBox = box.CloseBox();
    record.HasPicture = box.Icon || box.Bitmap;
    record.HasInput = setup.Input;
    record.Password = setup.Password;
    record.IsCombo = box.Combo != nullptr;
    if (box.Combo)
      for (int i = 0; i < box.Combo->Items().Count(); ++i) record.History.push_back(box.Combo->Items()[i]);
    record.InitialValue = initial;
    box.OnShow = [&box, input = setup.Input](TComponent*) {
      if (input) PostMessageW(box.Handle(), WM_PLACE_CARET, 0, 0);
      PostMessageW(box.Handle(), WM_SEAM_ANSWER, 1, 0);
    };
  }

  int mr = box.ShowModal();
  int result = mr >= kButtonBase ? mr - kButtonBase : mr == mrCancel ? cancelIdx : -1;
  if (value) *value = TrimWs(box.InputText());
  if (seamed) {
    record.Result = result;
    record.Value = value ? *value : std::wstring();
    seam.Shown.push_back(record);
  }
  return result;
}
}  // namespace

// ---- the box ----

TMsgDlgForm::TMsgDlgForm(TComponent* owner) : THanForm(owner) {}

TMsgDlgForm::~TMsgDlgForm() {
  // The picture's handles go to their closers; a system icon is not ours.
  TIconHandle icon(OwnsIcon ? Icon : nullptr);
  TBitmapHandle bitmap(Bitmap);
}

std::wstring TMsgDlgForm::InputText() const {
  if (Edit) return Edit->Text();
  if (Combo) return Combo->Text();
  return {};
}

void TMsgDlgForm::SetInputText(const std::wstring& s) {
  if (Edit) Edit->SetText(s);
  if (Combo) Combo->SetText(s);
}

void TMsgDlgForm::Press(int index) {
  if (index >= 0 && index < static_cast<int>(Buttons.size())) {
    SendMessageW(Buttons[static_cast<size_t>(index)]->Handle(), BM_CLICK, 0, 0);
    return;
  }
  if (CancelIndex >= 0) {
    SendMessageW(Buttons[static_cast<size_t>(CancelIndex)]->Handle(), BM_CLICK, 0, 0);
    return;
  }
  SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

// The seam's answers arrive as a message to the shown box.
namespace {
struct TSeamHook {
  static void Answer(TMsgDlgForm& box, bool first) {
    TMsgBoxSeam& seam = TMsgBoxSeam::Get();
    if (first && seam.OnShown) {
      seam.OnShown(box);
      return;
    }
    TMsgBoxAnswer a;
    if (!seam.TakeAnswer(a)) {
      if (!seam.OnShown) {
        ++seam.Unanswered;
        box.SetModalResult(kSeamGaveUp);
      }
      return;
    }
    if (a.Text) box.SetInputText(*a.Text);
    box.Press(a.Button);
    // Still open (a check refused the entry, or no way out): the next answer is asked for.
    if (box.Modal() && box.ModalResult() == mrNone) PostMessageW(box.Handle(), WM_SEAM_ANSWER, 0, 0);
  }
};
}  // namespace

bool TMsgDlgForm::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_SEAM_ANSWER) {
    TSeamHook::Answer(*this, wp == 1);
    result = 0;
    return true;
  }
  if (msg == WM_PLACE_CARET) {
    if (CaretAtEnd) {
      int end = static_cast<int>(InputText().size());
      if (Edit) Edit->SetSelStart(end);
      if (Combo) Combo->SetSelStart(end);
    } else {
      if (Edit) Edit->SelectAll();
      if (Combo) Combo->SelectAll();
    }
    result = 0;
    return true;
  }
  return THanForm::WndProc(msg, wp, lp, result);
}

// ---- the seam ----

TMsgBoxSeam& TMsgBoxSeam::Get() {
  static TMsgBoxSeam seam;
  return seam;
}

void TMsgBoxSeam::Reset() {
  FAnswers.clear();
  OnShown = nullptr;
  Shown.clear();
  Unanswered = 0;
}

bool TMsgBoxSeam::TakeAnswer(TMsgBoxAnswer& answer) {
  if (FAnswers.empty()) return false;
  answer = FAnswers.front();
  FAnswers.erase(FAnswers.begin());
  return true;
}

// ---- captions ----

std::vector<std::wstring> SplitButtonCaptions(const std::wstring& buttons) {
  std::vector<std::wstring> out;
  std::wstring cur;
  for (wchar_t c : buttons) {
    if (c == L'|' || c == L'\r' || c == L'\n') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// ---- the boxes ----

namespace {
// The parts every box is set up with.
TBoxSetup BoxSetup(const std::wstring& title, const std::wstring& text, const std::wstring& buttons, int defaultIdx,
                   int cancelIdx) {
  TBoxSetup setup;
  setup.Title = title;
  setup.Text = text;
  setup.Buttons = buttons;
  setup.DefaultIdx = defaultIdx;
  setup.CancelIdx = cancelIdx;
  return setup;
}
}  // namespace

int MessageBoxEx(const std::wstring& title, const std::wstring& text, const std::wstring& buttons, uint8_t iconCode,
                 uint8_t, bool, int defaultIdx, int cancelIdx) {
  TBoxSetup setup = BoxSetup(title, text, buttons, defaultIdx, cancelIdx);
  setup.IconCode = iconCode;
  return RunBox(setup, nullptr);
}

int MessageBoxStd(const std::wstring& title, const std::wstring& text, const std::wstring& buttons, uint8_t iconCode,
                  int defaultIdx, int cancelIdx) {
  return MessageBoxEx(title, text, buttons, iconCode, 5, false, defaultIdx, cancelIdx);
}

int MessageBoxAuto(const std::wstring& title, const std::wstring& text, const std::wstring& buttons,
                   uint8_t iconCode) {
  return MessageBoxStd(title, text, buttons, iconCode, -1, -1);
}

int MessageBoxIconSpec(const std::wstring& title, const std::wstring& text, const std::wstring& buttons,
                       const std::wstring& iconSpec, int defaultIdx, int cancelIdx) {
  TBoxSetup setup = BoxSetup(title, text, buttons, defaultIdx, cancelIdx);
  setup.UseIconSpec = true;
  setup.IconSpec = iconSpec;
  return RunBox(setup, nullptr);
}

int ShowErrorBox(const std::wstring& text) { return MessageBoxStd(L"", text, OkList(), 2, 0, 0); }

void ShowInfo(const std::wstring& text) { MessageBoxStd(L"", text, OkList(), 3, 0, 0); }

bool AskYesNo(const std::wstring& text, bool defaultYes) {
  return MessageBoxStd(L"", text, YesNoList(), 4, defaultYes ? 0 : 1, 1) == 0;
}

namespace {
int InputCore(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
              const std::wstring& extraCaption, const std::wstring& buttons, int defaultIdx, int cancelIdx,
              std::wstring& value, const TInputCheckEvent& onExtra, const std::wstring& historyText, bool caretAtEnd,
              bool password, const TInputCheckEvent& validate) {
  TBoxSetup setup = BoxSetup(title, text, buttons, defaultIdx, cancelIdx);
  setup.UseIconSpec = true;
  setup.IconSpec = iconSpec;
  setup.Input = true;
  setup.Password = password;
  setup.HistoryText = password ? std::wstring() : historyText;
  setup.CaretAtEnd = caretAtEnd;
  setup.ExtraCaption = extraCaption;
  setup.OnExtra = onExtra;
  setup.Validate = validate;
  return RunBox(setup, &value);
}
}  // namespace

int MessageBoxInputCore(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                        const std::wstring& extraCaption, const std::wstring& buttons, int defaultIdx, int cancelIdx,
                        std::wstring& value, const TInputCheckEvent& onExtra, const std::wstring& historyText,
                        bool caretAtEnd) {
  return InputCore(title, text, iconSpec, extraCaption, buttons, defaultIdx, cancelIdx, value, onExtra, historyText,
                   caretAtEnd, false, nullptr);
}

int InputBox(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
             const std::wstring& buttons, std::wstring& value, int defaultIdx, int cancelIdx,
             const std::wstring& historyText, bool caretAtEnd) {
  return InputCore(title, text, iconSpec, L"", buttons, defaultIdx, cancelIdx, value, nullptr, historyText,
                   caretAtEnd, false, nullptr);
}

int PasswordBox(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                const std::wstring& buttons, std::wstring& value, int defaultIdx, int cancelIdx) {
  return InputCore(title, text, iconSpec, L"", buttons, defaultIdx, cancelIdx, value, nullptr, L"", false, true,
                   nullptr);
}

bool AskOkCancel(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                 std::wstring& value, const std::wstring& historyText, bool caretAtEnd) {
  return InputCore(title, text, iconSpec, L"", OkCancelList(), 0, 1, value, nullptr, historyText, caretAtEnd, false,
                   nullptr) == 0;
}

bool InputBoxCombo(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                   std::wstring& value, const TInputCheckEvent& validate, const std::wstring& historyText,
                   bool caretAtEnd) {
  std::wstring entry = value;
  int r = InputCore(title, text, iconSpec, L"", OkCancelList(), 0, 1, entry, nullptr, historyText, caretAtEnd, false,
                    validate);
  if (r != 0) return false;
  value = entry;
  return true;
}
