#include "framework/MaskEdit.h"

#include <cwctype>

TEditMask::TEditMask(std::wstring_view mask) {
  // The fields after the mask: whether literals are saved, then the blank character.
  size_t fieldStart = std::wstring_view::npos;
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == L'\\') {
      ++i;
      continue;
    }
    if (mask[i] == L';') {
      fieldStart = i;
      break;
    }
  }
  std::wstring_view body = mask.substr(0, fieldStart);
  if (fieldStart != std::wstring_view::npos) {
    std::wstring_view rest = mask.substr(fieldStart + 1);
    size_t second = rest.find(L';');
    if (second != std::wstring_view::npos && second + 1 < rest.size()) FBlank = rest[second + 1];
  }
  for (size_t i = 0; i < body.size(); ++i) {
    wchar_t c = body[i];
    switch (c) {
      case L'!':
      case L'>':
      case L'<':
        continue;
      case L'\\':
        if (i + 1 < body.size()) {
          ++i;
          FKinds += L'\0';
          FLiterals += body[i];
        }
        continue;
      case L'0':
      case L'9':
      case L'#':
      case L'L':
      case L'l':
      case L'A':
      case L'a':
      case L'C':
      case L'c':
        FKinds += c;
        FLiterals += FBlank;
        continue;
      default:
        FKinds += L'\0';
        FLiterals += c;
    }
  }
}

bool TEditMask::IsLiteral(int pos) const { return pos < 0 || pos >= Length() || FKinds[static_cast<size_t>(pos)] == 0; }

bool TEditMask::Accepts(int pos, wchar_t ch) const {
  if (IsLiteral(pos)) return false;
  switch (FKinds[static_cast<size_t>(pos)]) {
    case L'0':
    case L'9':
      return ch >= L'0' && ch <= L'9';
    case L'#':
      return (ch >= L'0' && ch <= L'9') || ch == L'+' || ch == L'-';
    case L'L':
    case L'l':
      return std::iswalpha(ch) != 0;
    case L'A':
    case L'a':
      return std::iswalnum(ch) != 0;
    default:
      return ch >= L' ';
  }
}

std::wstring TEditMask::EmptyText() const { return FLiterals; }

int TEditMask::NextEditable(int pos) const {
  for (int i = pos < 0 ? 0 : pos; i < Length(); ++i)
    if (!IsLiteral(i)) return i;
  return -1;
}

int TEditMask::PriorEditable(int pos) const {
  for (int i = (pos > Length() ? Length() : pos) - 1; i >= 0; --i)
    if (!IsLiteral(i)) return i;
  return -1;
}

bool TEditMask::TypeChar(std::wstring& text, int& caret, wchar_t ch) const {
  int at = NextEditable(caret);
  if (at < 0 || !Accepts(at, ch)) return false;
  text = Fit(text);
  text[static_cast<size_t>(at)] = ch;
  int next = NextEditable(at + 1);
  caret = next < 0 ? Length() : next;
  return true;
}

void TEditMask::Clear(std::wstring& text, int from, int to) const {
  text = Fit(text);
  for (int i = from < 0 ? 0 : from; i < to && i < Length(); ++i)
    if (!IsLiteral(i)) text[static_cast<size_t>(i)] = FBlank;
}

std::wstring TEditMask::Fit(std::wstring_view text) const {
  std::wstring out(text.substr(0, static_cast<size_t>(Length())));
  for (size_t i = out.size(); i < static_cast<size_t>(Length()); ++i) out += FLiterals[i];
  return out;
}

// ---- The edit ----

TMaskEdit::TMaskEdit(TComponent* owner) : TEdit(owner) {}

void TMaskEdit::SetEditMask(std::wstring_view mask) {
  FMask = TEditMask(mask);
  MaxLength = FMask.Length();
  if (HandleAllocated()) SendMessageW(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(MaxLength), 0);
}

void TMaskEdit::Selection(int& from, int& to) const {
  DWORD a = 0, b = 0;
  SendMessageW(FHandle, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  from = static_cast<int>(a);
  to = static_cast<int>(b);
}

void TMaskEdit::Put(const std::wstring& text, int caret) {
  if (text != Text()) SetText(text);
  SendMessageW(FHandle, EM_SETSEL, static_cast<WPARAM>(caret), static_cast<LPARAM>(caret));
}

bool TMaskEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (FMask.Length() == 0 || !FHandle) return TEdit::WndProc(msg, wp, lp, result);
  switch (msg) {
    case WM_CHAR: {
      wchar_t ch = static_cast<wchar_t>(wp);
      if (ch < L' ' && ch != L'\b') break;  // Enter, Escape, Tab and the control keys go on
      int from, to;
      Selection(from, to);
      std::wstring text = Text();
      if (ch == L'\b') {
        if (to > from) {
          FMask.Clear(text, from, to);
          Put(text, from);
        } else if (int prior = FMask.PriorEditable(from); prior >= 0) {
          FMask.Clear(text, prior, prior + 1);
          Put(text, prior);
        }
      } else {
        if (to > from) FMask.Clear(text, from, to);
        int caret = from;
        if (FMask.TypeChar(text, caret, ch))
          Put(text, caret);
        else
          MessageBeep(MB_OK);
      }
      result = 0;
      return true;
    }
    case WM_KEYDOWN:
      if (wp == VK_DELETE) {
        int from, to;
        Selection(from, to);
        std::wstring text = Text();
        FMask.Clear(text, from, to > from ? to : from + 1);
        Put(text, from);
        result = 0;
        return true;
      }
      break;
    case WM_CLEAR:
    case WM_CUT: {
      int from, to;
      Selection(from, to);
      if (msg == WM_CUT) SendMessageW(FHandle, WM_COPY, 0, 0);
      std::wstring text = Text();
      FMask.Clear(text, from, to);
      Put(text, from);
      result = 0;
      return true;
    }
    case WM_PASTE: {
      std::wstring pasted;
      if (OpenClipboard(FHandle)) {
        if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
          if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            pasted = p;
            GlobalUnlock(h);
          }
        }
        CloseClipboard();
      }
      int from, to;
      Selection(from, to);
      std::wstring text = Text();
      if (to > from) FMask.Clear(text, from, to);
      int caret = from;
      for (wchar_t ch : pasted) {
        // A pasted literal steps over the same literal of the mask.
        if (FMask.IsLiteral(caret) && caret < FMask.Length() && FMask.EmptyText()[static_cast<size_t>(caret)] == ch) {
          ++caret;
          continue;
        }
        if (!FMask.TypeChar(text, caret, ch)) break;
      }
      Put(text, caret);
      result = 0;
      return true;
    }
    default:
      break;
  }
  return TEdit::WndProc(msg, wp, lp, result);
}
