#include "foundation/MsgDlg.h"

#include <windows.h>

// Placeholder until the program's own message box lands.
int ShowErrorBox(const std::wstring& text) {
  return MessageBoxW(GetActiveWindow(), text.c_str(), L"", MB_OK | MB_ICONERROR);
}
