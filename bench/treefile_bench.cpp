// The folder tree cache's file: loading and saving a tree file of 100,000 folders against
// reading and writing the same bytes raw, side by side in one run. Portable: measured under
// Wine and natively.
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "Bench.h"
#include "TreeFileBytes.h"
#include "foldermgr/MCDTree.h"
#include "foundation/FileIO.h"

std::string BenchTreeFileBytes(TTextEncoding encoding) {
  TMCDTreeMan m(L"C:", L"");
  std::vector<TTreeFileLine> lines{{0, L"C:"}};
  for (int a = 0; a < 40; ++a) {
    lines.push_back({1, L"Project folder " + std::to_wstring(a)});
    for (int b = 0; b < 50; ++b) {
      lines.push_back({2, L"모듈 " + std::to_wstring(b)});
      for (int c = 0; c < 49; ++c) lines.push_back({3, L"source_" + std::to_wstring(c) + L"_files"});
    }
  }
  m.ReplaceAll(lines);
  m.Dirty = false;
  m.Encoding = encoding;
  return m.SaveToBytes();
}

namespace {
std::wstring TreeFilePath() {
#ifdef _WIN32
  wchar_t tmp[260];
  GetTempPathW(260, tmp);
  return std::wstring(tmp) + L"velmo-bench-tree.mcd";
#else
  return L"/tmp/velmo-bench-tree.mcd";
#endif
}
}  // namespace

VELMO_BENCH(mcdtree_file) {
  std::wstring file = TreeFilePath();
  for (TTextEncoding encoding : {TTextEncoding::Utf8, TTextEncoding::Ansi}) {
    const char* kind = encoding == TTextEncoding::Utf8 ? "UTF-8" : "ANSI";
    std::string bytes = BenchTreeFileBytes(encoding);
    SafeWriteFile(file, bytes);
    int nodes = 0;
    // The first load of a run touches the buffers that later loads reuse (and, where the
    // workers were not started ahead, starts them). Shown apart, beside the run's first raw
    // read, not hidden in the best of many; run alone, this measure's first load is the
    // process's first.
    if (encoding == TTextEncoding::Utf8) {
      std::string rawFirst;
      double firstRead = BenchSeconds([&] { ReadFileBytes(file, rawFirst); }, 1);
      double firstLoad = BenchSeconds(
          [&] {
            TMCDTreeMan m(L"C:", file);
            m.Load();
          },
          1);
      BenchReport("first load, UTF-8", "ms", firstLoad * 1000, "first raw read", firstRead * 1000,
                  "ratio", firstLoad / firstRead, "reported");
    }
    double load = BenchSeconds(
        [&] {
          TMCDTreeMan m(L"C:", file);
          m.Load();
          nodes = m.NodeCount();
        },
        20);
    std::string raw;
    double readRaw = BenchSeconds([&] { ReadFileBytes(file, raw); }, 20);
    TMCDTreeMan loaded(L"C:", file);
    loaded.Load();
    double save = BenchSeconds([&] { loaded.Save(); }, 5);
    double writeRaw = BenchSeconds([&] { SafeWriteFile(file, raw); }, 5);
    std::string back;
    ReadFileBytes(file, back);
    std::printf("%s: %d folders, %zu bytes, written back %s\n", kind, nodes, bytes.size(),
                back == bytes ? "byte-exact" : "DIFFERENT");
    std::string loadName = std::string("load tree file, 100,000 folders, ") + kind;
    std::string saveName = std::string("save tree file, 100,000 folders, ") + kind;
    BenchReport(loadName.c_str(), "ms", load * 1000, "raw read", readRaw * 1000, "ratio", load / readRaw, "<= 3");
    BenchReport(saveName.c_str(), "ms", save * 1000, "raw write", writeRaw * 1000, "ratio", save / writeRaw, "<= 3");
  }
  DeleteFilePlain(file);
}
