#pragma once
// The pattern language of the rename dialog's advanced page: a name pattern and an extension
// pattern are compiled once into token lists and expanded for each row of the list.
//
// A tag is the text between "<" and the next ">": <N> and <E> the whole name and extension,
// <N3> <N-3> <N2-4> <N2-> <N2,3> <N-3,2> (and the same for E) parts of them, <C> the dialog's
// counter, <Cs> and <Cs,t> a counter of its own, anything else a date and time picture
// ("Y" year, "M" month, "D" day, "d" YYYYMMDD, "h" hour, "m" minutes, "s" seconds, "t" HHMMSS).
//
// Tokens are strings whose first character is the kind: "!" literal, "@" date picture, "N"/"E"
// whole part, "n"/"e" + a four-character range, "c" the plain counter, "C" + the start text
// right-aligned in 20 characters + the step text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/MYTOOL.h"

using TRenameTokens = std::vector<std::wstring>;

// What a pattern reads of one row of the rename list.
struct TRenameSource {
  std::wstring Name;  // without extension; a folder's whole name
  std::wstring Ext;   // without its dot
  TDateTime Date = 0;
};

// The dialog's numbering, find and replace texts and case mode for one preview pass.
struct TRenameSettings {
  int32_t Start = 0;
  int32_t Step = 1;
  int Width = 1;  // digits of the plain counter, zero padded
  std::wstring FindText;
  std::wstring ReplaceText;
  int CaseMode = 0;  // 0 unchanged, 1 lower, 2 upper, 3 first letter, 4 first letter of each word
};

// Appends the tokens of Pattern; sets Invalid on a syntax error (it never clears it).
void CompileRenamePattern(std::wstring_view Pattern, TRenameTokens& Tokens, bool& Invalid);

// The text of the tokens for the row at position Index (0-based). Sets Invalid when the
// result holds a character no name may hold.
void ExpandRenamePattern(std::wstring& Text, const TRenameTokens& Tokens, const TRenameSource& Item, int Index,
                         const TRenameSettings& Settings, bool& Invalid);

// Every occurrence of Find, compared without case, replaced by Replace from left to right;
// a replacement is never searched again. Result is Text itself when Find is empty.
void ReplaceAllText(std::wstring_view Text, std::wstring& Result, std::wstring_view Find, std::wstring_view Replace);

// The counter text of the row at Index: Start + Step x Index in decimal, at least Width digits.
std::wstring RenameCounterText(const TRenameSettings& Settings, int Index);

// One preview pass: both patterns compiled once, then one new name per row.
class TRenamePass {
 public:
  TRenamePass(std::wstring_view NamePattern, std::wstring_view ExtPattern, TRenameSettings Settings);
  // The complete new name of the row at Index, or "" when there is none (an invalid pattern or
  // expansion, or a name that resolves to nothing, "." or "..").
  std::wstring BuildNewName(const TRenameSource& Item, int Index);
  // Set by a syntax error or by any expansion so far: then every row has no new name.
  bool Invalid() const { return Invalid_; }
  const TRenameSettings& Settings() const { return Settings_; }

 private:
  TRenameSettings Settings_;
  TRenameTokens NameTokens_, ExtTokens_;
  bool Invalid_ = false;
};

// The file-name part that the system makes of Name as the last component of a path: trailing
// dots and blanks go; "", "." and ".." give "".
std::wstring ResolveNewNameComponent(std::wstring_view Name);
