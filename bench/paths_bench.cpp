// The existence and kind probes that listings call for every item, against a bare
// GetFileAttributesW loop over the same 10,000 paths, side by side in one run.
#include <windows.h>

#include <string>
#include <vector>

#include "Bench.h"
#include "foundation/MYTOOL.h"

namespace {
struct TProbeSet {
  std::wstring Root;
  std::vector<std::wstring> Paths;  // files, folders and missing names, as a listing meets them
  TProbeSet() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    Root = std::wstring(tmp) + L"velmo-paths-bench";
    CreateDirectoryW(Root.c_str(), nullptr);
    for (int d = 0; d < 20; ++d) {
      std::wstring dir = Root + L"\\folder " + std::to_wstring(d);
      CreateDirectoryW(dir.c_str(), nullptr);
      Paths.push_back(dir);
      for (int f = 0; f < 300; ++f) {
        std::wstring file = dir + L"\\파일 " + std::to_wstring(f) + L".txt";
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        Paths.push_back(file);
        if (f % 3 == 0) Paths.push_back(dir + L"\\missing " + std::to_wstring(f) + L".txt");
        if (f % 5 == 0) Paths.push_back(dir + L"\\sub " + std::to_wstring(f));
      }
    }
    Paths.resize(10000, Root + L"\\folder 0");
  }
  ~TProbeSet() {
    for (const auto& p : Paths) DeleteFileW(p.c_str());
    for (int d = 0; d < 20; ++d) RemoveDirectoryW((Root + L"\\folder " + std::to_wstring(d)).c_str());
    RemoveDirectoryW(Root.c_str());
  }
};

void Compare(const char* what, const TProbeSet& set, bool (*ours)(const std::wstring&)) {
  size_t hitsOurs = 0, hitsRef = 0;
  double t = BenchSeconds(
      [&] {
        for (const auto& p : set.Paths) hitsOurs += ours(p);
      },
      5);
  double ref = BenchSeconds(
      [&] {
        for (const auto& p : set.Paths) hitsRef += GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES;
      },
      5);
  BenchReport(what, "ms", t * 1000, "GetFileAttributesW", ref * 1000, "ratio", t / ref, "< 1.5");
  if (hitsOurs == 0 || hitsRef == 0) std::printf("(nothing found)\n");
}
}  // namespace

VELMO_BENCH(paths_probe) {
  TProbeSet set;
  Compare("PathExists, 10,000 paths", set, [](const std::wstring& p) { return PathExists(p); });
  Compare("GetPathKind, 10,000 paths", set, [](const std::wstring& p) { return GetPathKind(p) != 0; });
  Compare("FolderExists, 10,000 paths", set, [](const std::wstring& p) { return FolderExists(p); });
}
