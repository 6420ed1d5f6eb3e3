#include "framework/Registry.h"

#include <cwchar>

#include "framework/Handles.h"

bool RegReadString(HKEY key, const wchar_t* subKey, const wchar_t* name, std::wstring& value, DWORD maxChars) {
  const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  // The answer counts its terminating zero, so that an empty string is an answer too.
  const bool ok = GrowAndRetry(
      value,
      [&](wchar_t* buf, DWORD capacity) -> DWORD {
        DWORD bytes = capacity * sizeof(wchar_t);
        const LSTATUS r = RegGetValueW(key, subKey, name, flags, nullptr, buf, &bytes);
        if (r == ERROR_SUCCESS) return static_cast<DWORD>(wcsnlen(buf, capacity - 1)) + 1;
        if (r == ERROR_MORE_DATA) return bytes / sizeof(wchar_t) + 1;
        SetLastError(static_cast<DWORD>(r));
        return 0;
      },
      64, maxChars + 2);
  if (!ok) {
    value.clear();
    return false;
  }
  value.pop_back();
  return true;
}
