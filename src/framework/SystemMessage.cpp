#include "framework/SystemMessage.h"

#include "framework/Handles.h"

std::wstring SystemMessageText(DWORD code, DWORD langId) {
  wchar_t* raw = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, langId, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
  const TLocalMemHandle owned(raw);
  std::wstring s = (n > 0 && raw) ? std::wstring(raw, n) : std::wstring();
  while (!s.empty() && s.back() < L'!') s.pop_back();
  return s;
}
