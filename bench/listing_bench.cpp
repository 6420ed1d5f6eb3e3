// Refreshing a file list on a big folder (icons off, descriptions on, sorted by name) against
// a bare FindFirstFileExW/FindNextFileW enumeration of the same folder plus a std::sort of the
// names, side by side in one run. The reference sorts with the same case-insensitive system
// comparison that a listing's name order uses.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BigFolder.h"
#include "Bench.h"
#include "foundation/MOption.h"
#include "framework/TextCompare.h"
#include "panels/MFList.h"

namespace {
void Measure(int files) {
  TBigFolder folder(files);
  Options.ResetToDefaults();
  Options.IconAnalysis = false;  // icons off
  Options.PanelOptions(1).SortType = skName;
  Options.PanelOptions(1).Ascending = true;

  TMFList list(1);
  list.Path = folder.Dir;
  int listed = 0, descs = 0;
  double ours = BenchSeconds(
      [&] {
        list.Refresh();
        listed = list.Items().FileCount();
        descs = list.DescCount;
      },
      5);
  list.StopWorkers();

  size_t names = 0;
  double ref = BenchSeconds(
      [&] {
        std::vector<std::wstring> v;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileExW((folder.Dir + L"\\*.*").c_str(), FindExInfoStandard, &fd, FindExSearchNameMatch,
                                    nullptr, 0);
        if (h != INVALID_HANDLE_VALUE) {
          do v.emplace_back(fd.cFileName);
          while (FindNextFileW(h, &fd));
          FindClose(h);
        }
        std::sort(v.begin(), v.end(), [](const std::wstring& a, const std::wstring& b) { return CompareTextI(a, b) < 0; });
        names = v.size();
      },
      5);
  std::string what = "Refresh of " + std::to_string(files) + " files (" + std::to_string(listed) + " listed, " +
                     std::to_string(descs) + " descriptions)";
  BenchReport(what.c_str(), "ms", ours * 1000, "find+sort", ref * 1000, "ratio", ours / ref, files <= 20000 ? "<= 1.5" : "reported");
  if (names == 0 || listed == 0) std::printf("(nothing listed)\n");
}
}  // namespace

VELMO_BENCH(listing_refresh) {
  Measure(20000);
  Measure(100000);
}
