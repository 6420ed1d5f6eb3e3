#pragma once
#ifdef _WIN32
// Picks from the next pop-up menu this thread opens by posting keys to the menu's window, as
// a user at the keyboard would; the keys go out once the menu is up.
#include <windows.h>

#include <string>
#include <vector>

class TMenuKeys {
 public:
  explicit TMenuKeys(std::vector<WORD> keys);
  ~TMenuKeys();
  // Whether a menu window was found and the keys were sent.
  bool Sent() const { return FSent; }
  // The menu as it was shown: the captions ("-" for a separator) and the default item's
  // position (-1 for none).
  const std::vector<std::wstring>& Items() const { return FItems; }
  int DefaultItem() const { return FDefault; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  std::vector<WORD> FKeys;
  UINT_PTR FTimer = 0;
  bool FSent = false;
  std::vector<std::wstring> FItems;
  int FDefault = -1;
};
#endif
