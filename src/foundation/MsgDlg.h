#pragma once
// The program's message boxes and input boxes: a title, a mark-up text, buttons whose
// captions are separated by "|" (or a line break), a default and a cancel button; the
// result is the index of the pressed button.
//
// Tests answer a box through TMsgBoxSeam: they queue the button (and text) the next box
// gets, and every box records what it showed. The real box is shown and answered the same
// way it is by a user: the seam presses the button in it.
#include <windows.h>
#undef MessageBoxEx

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/HanForm.h"
#include "foundation/HLABEL.h"

// Checks or completes an input: initial value, current (trimmed) entry, which the handler
// may change; true to accept.
using TInputCheckEvent = std::function<bool(const std::wstring& initial, std::wstring& current)>;

int MessageBoxEx(const std::wstring& title, const std::wstring& text, const std::wstring& buttons, uint8_t iconCode,
                 uint8_t soundKind, bool flag, int defaultIdx, int cancelIdx);
int MessageBoxStd(const std::wstring& title, const std::wstring& text, const std::wstring& buttons, uint8_t iconCode,
                  int defaultIdx, int cancelIdx);
int MessageBoxAuto(const std::wstring& title, const std::wstring& text, const std::wstring& buttons,
                   uint8_t iconCode);
int MessageBoxIconSpec(const std::wstring& title, const std::wstring& text, const std::wstring& buttons,
                       const std::wstring& iconSpec, int defaultIdx, int cancelIdx);
// OK box with the error picture and the default error title; returns when closed.
int ShowErrorBox(const std::wstring& text);
void ShowInfo(const std::wstring& text);
bool AskYesNo(const std::wstring& text, bool defaultYes);
int MessageBoxInputCore(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                        const std::wstring& extraCaption, const std::wstring& buttons, int defaultIdx, int cancelIdx,
                        std::wstring& value, const TInputCheckEvent& onExtra, const std::wstring& historyText,
                        bool caretAtEnd);
int InputBox(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
             const std::wstring& buttons, std::wstring& value, int defaultIdx, int cancelIdx,
             const std::wstring& historyText, bool caretAtEnd);
int PasswordBox(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                const std::wstring& buttons, std::wstring& value, int defaultIdx, int cancelIdx);
bool AskOkCancel(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                 std::wstring& value, const std::wstring& historyText, bool caretAtEnd);
bool InputBoxCombo(const std::wstring& title, const std::wstring& text, const std::wstring& iconSpec,
                   std::wstring& value, const TInputCheckEvent& validate, const std::wstring& historyText,
                   bool caretAtEnd);

// Button captions of a button list: cut at "|" and line breaks, empty pieces left out.
std::vector<std::wstring> SplitButtonCaptions(const std::wstring& buttons);
// The box itself, for tests that drive it with their own messages.
class TMsgDlgForm : public THanForm {
 public:
  explicit TMsgDlgForm(TComponent* owner);
  THanLabelEX* Label = nullptr;
  std::vector<TButton*> Buttons;
  TEdit* Edit = nullptr;
  TComboBox* Combo = nullptr;
  TButton* ExtraButton = nullptr;
  int CancelIndex = -1;
  // Once the input has the focus: caret after the text, else the whole text selected.
  bool CaretAtEnd = false;
  // The input's current text, or empty without an input.
  std::wstring InputText() const;
  void SetInputText(const std::wstring& s);
  // Presses button i (or, for -1, the cancel button or the close box).
  void Press(int index);
  // The picture: an icon, or a bitmap.
  HICON Icon = nullptr;
  bool OwnsIcon = false;
  HBITMAP Bitmap = nullptr;
  ~TMsgDlgForm() override;

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

struct TMsgBoxRecord {
  std::wstring Title;
  std::wstring Text;
  std::vector<std::wstring> Buttons;
  int DefaultIdx = 0;
  int CancelIdx = -1;
  bool CloseBox = false;
  bool HasPicture = false;
  bool HasInput = false;
  bool Password = false;
  bool IsCombo = false;
  std::vector<std::wstring> History;
  std::wstring InitialValue;
  int Result = -1;
  std::wstring Value;
};

struct TMsgBoxAnswer {
  int Button = -1;  // -1: Escape (the cancel button or the close box)
  std::optional<std::wstring> Text;  // typed into the input first
};

class TMsgBoxSeam {
 public:
  static TMsgBoxSeam& Get();
  void Push(const TMsgBoxAnswer& answer) { FAnswers.push_back(answer); }
  void PushButton(int button) { FAnswers.push_back(TMsgBoxAnswer{button, std::nullopt}); }
  void PushText(int button, const std::wstring& text) { FAnswers.push_back(TMsgBoxAnswer{button, text}); }
  int Pending() const { return static_cast<int>(FAnswers.size()); }
  // Called once the box is shown, before any queued answer: the test drives it itself.
  std::function<void(TMsgDlgForm& box)> OnShown;
  std::vector<TMsgBoxRecord> Shown;
  // Boxes that had nothing left to answer them with and were closed by the seam.
  int Unanswered = 0;
  void Reset();

  // The box's side.
  bool Active() const { return !FAnswers.empty() || OnShown != nullptr; }
  bool TakeAnswer(TMsgBoxAnswer& answer);

 private:
  std::vector<TMsgBoxAnswer> FAnswers;
};
