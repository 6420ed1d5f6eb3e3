#include <windows.h>

#include "foundation/Language.h"

namespace {
std::wstring FormatSystemMessage(int code, int langId) {
  wchar_t* buf = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code), static_cast<DWORD>(langId),
                           reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::wstring s;
  if (n > 0 && buf) s.assign(buf, n);
  if (buf) LocalFree(buf);
  while (!s.empty() && s.back() < L'!') s.pop_back();
  return s;
}
}  // namespace

void GetSystemErrorText(int code, int langId, std::wstring& s) {
  if (SystemErrorLangID != -1) langId = SystemErrorLangID;
  s = FormatSystemMessage(code, langId);
  if (s.empty() && langId != 0) s = FormatSystemMessage(code, 0);
}
