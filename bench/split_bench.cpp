// Split and join: one 1 GB file cut into 100 MB pieces with its CRC-32 list, and the pieces
// joined back with every piece checked, each against CopyFileExW copying the same bytes in
// the same run.
#include <windows.h>

#include <string>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "fileops/CRC32.h"
#include "fileops/frmSplit.h"
#include "foundation/MOption.h"

namespace {
double Seconds(const std::function<void()>& f) {
  LARGE_INTEGER fr, a, b;
  QueryPerformanceFrequency(&fr);
  QueryPerformanceCounter(&a);
  f();
  QueryPerformanceCounter(&b);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(fr.QuadPart);
}
}  // namespace

VELMO_BENCH(split_join) {
  std::wstring src = BenchTempPath(L"velmo-split-src\\"), pieces = BenchTempPath(L"velmo-split-pieces\\"), out = BenchTempPath(L"velmo-split-out\\");
  for (const auto& d : {src, pieces, out}) CreateDirectoryW(d.c_str(), nullptr);
  const int64_t size = 1LL << 30;
  BenchWriteBigFile(src + L"big.bin", size);
  Options.SplitMakeBat = false;
  Options.SplitSrcRemove = false;
  double split = 1e9, join = 1e9, copy = 1e9, copyPieces = 1e9;
  for (int i = 0; i < 4; ++i) {
    BenchClearFolder(pieces);
    BenchClearFolder(out);
    TJoinCrcState state;
    bool deleted;
    copy = std::min(copy, Seconds([&] {
      CopyFileExW((src + L"big.bin").c_str(), (out + L"big.bin").c_str(), nullptr, nullptr, nullptr, 0);
    }));
    DeleteFileW((out + L"big.bin").c_str());
    split = std::min(split, Seconds([&] {
      RunSplitCombine(nullptr, smSplit, src + L"big.bin", pieces + L"big.001", 100 * 1024 * 1000, 0, state, deleted);
    }));
    // The reference of the join copies the same pieces, just written. Which of the two runs
    // first alternates: the one that runs second finds the other's gigabyte still being
    // written back to the disk.
    auto copyAll = [&] {
      for (int n = 1; n <= 11; ++n) {
        wchar_t name[32];
        swprintf(name, 32, L"big.%03d", n);
        CopyFileExW((pieces + name).c_str(), (out + name).c_str(), nullptr, nullptr, nullptr, 0);
      }
    };
    auto joinAll = [&] { RunSplitCombine(nullptr, smJoin, pieces + L"big.001", out, 0, 0, state, deleted); };
    for (int order = 0; order < 2; ++order) {
      if ((order == 0) == (i % 2 == 0))
        copyPieces = std::min(copyPieces, Seconds(copyAll));
      else
        join = std::min(join, Seconds(joinAll));
      BenchClearFolder(out);
    }
    if (state != jcsMatched) std::printf("  join did not match its list (state %d)\n", state);
  }
  // What the check itself costs: the CRC-32 of 1 GB in memory.
  std::vector<char> memory(64 << 20, 'v');
  double crc = BenchSeconds([&] {
    uint32_t r = 0xFFFFFFFF;
    for (int i = 0; i < 16; ++i) r = CRC32Update(r, memory.data(), memory.size());
    if (r == 0) std::printf("!");
  });
  std::printf("  CRC-32 of 1 GB in memory: %.3f s\n", crc);
  BenchReport("split 1 GB into 100 MB pieces with the list", "s", split, "CopyFileExW", copy, "ratio", split / copy,
              "<= 1.1");
  BenchReport("join them, every piece checked", "s", join, "CopyFileExW", copyPieces, "ratio", join / copyPieces,
              "<= 1.1");
  for (const auto& d : {src, pieces, out}) {
    BenchClearFolder(d);
    RemoveDirectoryW(d.c_str());
  }
}
