// THanINI against the platform's GetPrivateProfileStringW: every key of a 2,000-key file read
// once, in file order, side by side in one run.
#include <windows.h>

#include <string>

#include "Bench.h"
#include "foundation/FileIO.h"
#include "foundation/HanINI.h"

VELMO_BENCH(ini_read_all_keys) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring path = std::wstring(tmp) + L"velmo-bench.ini";
  std::string text;
  const int sections = 20, perSection = 100;
  for (int s = 0; s < sections; ++s) {
    text += "[Section" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < perSection; ++k) text += "Key" + std::to_string(k) + "=Value number " + std::to_string(k) + "\r\n";
  }
  SafeWriteFile(path, text);
  size_t sink = 0;
  double ours = BenchSeconds([&] {
    THanINI ini(path);
    for (int s = 0; s < sections; ++s) {
      std::wstring sec = L"Section" + std::to_wstring(s);
      for (int k = 0; k < perSection; ++k) sink += ini.ReadString(sec, L"Key" + std::to_wstring(k), L"").size();
    }
  });
  double ref = BenchSeconds([&] {
    wchar_t buf[256];
    for (int s = 0; s < sections; ++s) {
      std::wstring sec = L"Section" + std::to_wstring(s);
      for (int k = 0; k < perSection; ++k)
        sink += GetPrivateProfileStringW(sec.c_str(), (L"Key" + std::to_wstring(k)).c_str(), L"", buf, 256,
                                         path.c_str());
    }
  });
  DeleteFileW(path.c_str());
  BenchReport("read 2,000 keys once (file order)", "ms", ours * 1000, "GetPrivateProfileStringW", ref * 1000,
              "speed-up", ref / ours, ">= 100");
  if (sink == 0) std::printf("(no data read)\n");
}
