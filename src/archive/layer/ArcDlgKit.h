#pragma once
// What the archive dialogs share: system controls placed on a form, check boxes and drop-down
// lists read and set by message, and the password edit's mask.
#include <windows.h>

#include <string>

#include "fileops/RenDlg.h"
#include "foundation/HanForm.h"

namespace arcdlg {

inline TControl* Place(TForm* form, TControl* c, int x, int y, int w, int h) {
  c->SetBounds(x, y, w, h);
  c->SetParent(form);
  return c;
}
inline TRenSysControl* Label(TForm* form, const std::wstring& text, int x, int y, int w, int h = 14) {
  auto* l = new TRenSysControl(form, L"STATIC", SS_LEFT);
  l->SetCaption(text);
  Place(form, l, x, y, w, h);
  return l;
}
inline TRenSysControl* Group(TForm* form, const std::wstring& text, int x, int y, int w, int h) {
  auto* g = new TRenSysControl(form, L"BUTTON", BS_GROUPBOX);
  g->SetCaption(text);
  Place(form, g, x, y, w, h);
  return g;
}
inline TRenSysControl* Check(TForm* form, const std::wstring& text, int x, int y, int w, int h = 18) {
  auto* b = new TRenSysControl(form, L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP);
  b->SetCaption(text);
  b->TabStop = true;
  Place(form, b, x, y, w, h);
  return b;
}
inline THanButton* Button(TForm* form, const std::wstring& text, int x, int y, int w, int h) {
  auto* b = new THanButton(form);
  b->SetCaption(text);
  b->TabStop = true;
  Place(form, b, x, y, w, h);
  return b;
}
// A drop-down list of fixed items.
inline TRenSysControl* List(TForm* form, int x, int y, int w) {
  auto* c = new TRenSysControl(form, L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
  c->TabStop = true;
  Place(form, c, x, y, w, 21);
  return c;
}
inline void AddItem(TRenSysControl* list, const std::wstring& s) {
  list->Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
}
inline int ItemIndex(const TRenSysControl* list) { return static_cast<int>(list->Send(CB_GETCURSEL)); }
inline void SetItemIndex(TRenSysControl* list, int i) { list->Send(CB_SETCURSEL, static_cast<WPARAM>(i)); }
inline int ItemCount(const TRenSysControl* list) { return static_cast<int>(list->Send(CB_GETCOUNT)); }
inline std::wstring ItemText(const TRenSysControl* list, int i) {
  int n = static_cast<int>(list->Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(i)));
  if (n < 0) return L"";
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  list->Send(CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(s.data()));
  s.resize(static_cast<size_t>(n));
  return s;
}
inline bool Checked(const TRenSysControl* box) { return box->Send(BM_GETCHECK) == BST_CHECKED; }
inline void SetChecked(TRenSysControl* box, bool on) { box->Send(BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED); }
// The edit shows its text, or masks every character with "*".
inline void ShowPassword(TEdit* edit, bool show) {
  edit->PasswordChar = show ? 0 : L'*';
  if (edit->HandleAllocated()) {
    SendMessageW(edit->Handle(), EM_SETPASSWORDCHAR, show ? 0 : L'*', 0);
    InvalidateRect(edit->Handle(), nullptr, TRUE);
  }
}
// A dialog font: the main font's name and size with the default character set.
void ApplyMainFont(TForm* form);

}  // namespace arcdlg
