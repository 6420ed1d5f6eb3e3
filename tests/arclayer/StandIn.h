#pragma once
// What the library drivers' tests share: the stand-in library held open by the test (so that its
// settings and call log survive the driver's own load and unload), and small file helpers.
#include <windows.h>

#include <filesystem>
#include <string>

#include "foundation/TextCodec.h"

namespace arctest {
inline std::wstring W(const std::string& s) { return Utf8ToWide(s); }
inline bool Exists(const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }
inline void Wipe(const std::wstring& folder) {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(folder), ec);
}

// The stand-in library, held open by the test so that its settings and log survive the
// driver's own load and unload.
class TStandIn {
 public:
  explicit TStandIn(const wchar_t* name) : FModule(LoadLibraryW(name)) {
    if (!FModule) return;
    FSetup = reinterpret_cast<void(WINAPI*)(const char*)>(
        reinterpret_cast<void (*)()>(GetProcAddress(FModule, "StandInSetup")));
    FLog = reinterpret_cast<const char*(WINAPI*)()>(reinterpret_cast<void (*)()>(GetProcAddress(FModule, "StandInLog")));
  }
  ~TStandIn() {
    if (FModule) FreeLibrary(FModule);
  }
  bool Ok() const { return FSetup && FLog; }
  void Setup(const std::string& config) { FSetup(config.c_str()); }
  std::string Log() const { return FLog(); }

 private:
  HMODULE FModule;
  void(WINAPI* FSetup)(const char*) = nullptr;
  const char*(WINAPI* FLog)() = nullptr;
};
}  // namespace arctest
