#include "foundation/Language.h"

// Placeholder until the message table lands: every text is empty.
void LoadMessageText(int, std::wstring& s) { s.clear(); }
std::wstring LoadMessageText(int id) {
  std::wstring s;
  LoadMessageText(id, s);
  return s;
}
