#pragma once
// An edit that takes its text through a mask, as a date or a time is typed: every place of
// the text is either a literal that stays where it is or a place that takes one character of
// a kind; typing over-writes the place at the caret and moves to the next one, Backspace and
// Delete blank places, and the text never changes its length.
//
// Mask: "0" a digit, "9" a digit or blank, "#" a digit, sign or blank, "L"/"l" a letter
// (required/optional), "A"/"a" a letter or digit, "C"/"c" any character; "\" makes the next
// character a literal; "!", ">" and "<" are directives that take no place. A mask may end with
// ";1" or ";0" (whether literals belong to the text: they are always kept here) and ";"
// followed by the blank character (default "_").
#include <string>
#include <string_view>

#include "framework/Controls.h"

class TEditMask {
 public:
  TEditMask() = default;
  explicit TEditMask(std::wstring_view mask);
  // The number of places.
  int Length() const { return static_cast<int>(FKinds.size()); }
  bool IsLiteral(int pos) const;
  // The character place pos takes (false for a literal or outside the mask).
  bool Accepts(int pos, wchar_t ch) const;
  wchar_t Blank() const { return FBlank; }
  // The text with every place blank and the literals in place.
  std::wstring EmptyText() const;
  // The first place at or after pos (before pos when backwards) that is not a literal; -1 when none.
  int NextEditable(int pos) const;
  int PriorEditable(int pos) const;
  // Typing ch at the caret: the text and the caret as they become; false when ch is refused.
  bool TypeChar(std::wstring& text, int& caret, wchar_t ch) const;
  // Blanks the places from..to-1 (literals stay).
  void Clear(std::wstring& text, int from, int to) const;
  // The text brought to the mask's length (a shorter one padded with blanks).
  std::wstring Fit(std::wstring_view text) const;

 private:
  std::wstring FKinds;     // per place: the mask character, or 0 for a literal
  std::wstring FLiterals;  // per place: the literal character
  wchar_t FBlank = L'_';
};

class TMaskEdit : public TEdit {
 public:
  explicit TMaskEdit(TComponent* owner);
  void SetEditMask(std::wstring_view mask);
  const TEditMask& EditMask() const { return FMask; }

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void Selection(int& from, int& to) const;
  void Put(const std::wstring& text, int caret);
  TEditMask FMask;
};
