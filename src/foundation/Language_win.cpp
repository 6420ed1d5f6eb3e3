#include <windows.h>

#include "foundation/Language.h"
#include "framework/SystemMessage.h"

void GetSystemErrorText(int code, int langId, std::wstring& s) {
  if (SystemErrorLangID != -1) langId = SystemErrorLangID;
  s = SystemMessageText(static_cast<DWORD>(code), static_cast<DWORD>(langId));
  if (s.empty() && langId != 0) s = SystemMessageText(static_cast<DWORD>(code), 0);
}
