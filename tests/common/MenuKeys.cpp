#ifdef _WIN32
#include "common/MenuKeys.h"

namespace {
TMenuKeys* gActive = nullptr;

BOOL CALLBACK FindMenuWindow(HWND wnd, LPARAM lp) {
  wchar_t cls[32] = {};
  GetClassNameW(wnd, cls, 32);
  if (lstrcmpW(cls, L"#32768") == 0 && IsWindowVisible(wnd)) {
    *reinterpret_cast<HWND*>(lp) = wnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

TMenuKeys::TMenuKeys(std::vector<WORD> keys) : FKeys(std::move(keys)) {
  gActive = this;
  FTimer = SetTimer(nullptr, 0, 30, &TMenuKeys::Tick);
}

TMenuKeys::~TMenuKeys() {
  if (FTimer) KillTimer(nullptr, FTimer);
  if (gActive == this) gActive = nullptr;
}

// Runs inside the menu's own message loop, which hands timer messages on.
void CALLBACK TMenuKeys::Tick(HWND, UINT, UINT_PTR, DWORD) {
  TMenuKeys* self = gActive;
  if (!self || self->FSent) return;
  HWND menu = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindMenuWindow, reinterpret_cast<LPARAM>(&menu));
  if (!menu) return;
  self->FSent = true;
  if (HMENU items = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0))) {
    for (int i = 0, n = GetMenuItemCount(items); i < n; ++i) {
      wchar_t text[128] = {};
      MENUITEMINFOW info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE | MIIM_STRING;
      info.dwTypeData = text;
      info.cch = 127;
      GetMenuItemInfoW(items, static_cast<UINT>(i), TRUE, &info);
      self->FItems.push_back((info.fType & MFT_SEPARATOR) ? L"-" : text);
    }
    UINT def = GetMenuDefaultItem(items, TRUE, 0);
    self->FDefault = def == static_cast<UINT>(-1) ? -1 : static_cast<int>(def);
  }
  for (WORD key : self->FKeys) {
    PostMessageW(menu, WM_KEYDOWN, key, 1);
    PostMessageW(menu, WM_KEYUP, key, 0xC0000001);
  }
}
#endif
