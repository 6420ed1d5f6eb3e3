// Fuzzes the settings parser: any bytes parse without a fault, typed reads decode without a
// fault, and what is written back reads back to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/HanINI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  THanINI ini(L"fuzz.ini");
  ini.ReadOnly = true;
  ini.LoadFromBytes(bytes);
  std::wstring section, key, value;
  for (bool s = ini.FindFirstSection(section); s; s = ini.FindNextSection(section)) {
    THanINI* p = &ini;
    std::wstring sec = section;
    for (bool k = p->FindFirstKey(sec, key, value); k; k = p->FindNextKey(key, value)) {
      (void)IniTextToColor(value, 0);
      (void)IniTextToFont(value, TIniFont{});
      (void)IniTextToRect(value, TIniRect{});
    }
  }
  ini.WriteString(L"New", L"key", L"value\r\n[x]");
  std::string once = ini.SaveToBytes();
  THanINI again(L"fuzz2.ini");
  again.ReadOnly = true;
  again.LoadFromBytes(once);
  if (again.SaveToBytes() != once) std::abort();
  return 0;
}
