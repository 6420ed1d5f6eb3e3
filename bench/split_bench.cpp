// Split and join: one 1 GB file cut into 100 MB pieces with its CRC-32 list, and the pieces
// joined back with every piece checked, each against CopyFileExW copying the same bytes in
// the same run.
#include <windows.h>

#include <string>
#include <vector>

#include "Bench.h"
#include "fileops/frmSplit.h"
#include "foundation/MOption.h"

namespace {
std::wstring Temp(const wchar_t* name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp) + name;
}
void Clear(const std::wstring& folder) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + fd.cFileName).c_str());
    while (FindNextFileW(h, &fd));
    FindClose(h);
  }
}
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
  std::wstring src = Temp(L"velmo-split-src\\"), pieces = Temp(L"velmo-split-pieces\\"), out = Temp(L"velmo-split-out\\");
  for (const auto& d : {src, pieces, out}) CreateDirectoryW(d.c_str(), nullptr);
  const int64_t size = 1LL << 30;
  HANDLE h = CreateFileW((src + L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
  DWORD put;
  for (int64_t done = 0; done < size; done += static_cast<int64_t>(block.size()))
    WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &put, nullptr);
  CloseHandle(h);
  Options.SplitMakeBat = false;
  Options.SplitSrcRemove = false;
  double split = 1e9, join = 1e9, copy = 1e9;
  for (int i = 0; i < 3; ++i) {
    Clear(pieces);
    Clear(out);
    TJoinCrcState state;
    bool deleted;
    split = std::min(split, Seconds([&] {
      RunSplitCombine(nullptr, smSplit, src + L"big.bin", pieces + L"big.001", 100 * 1024 * 1000, 0, state, deleted);
    }));
    join = std::min(join, Seconds([&] { RunSplitCombine(nullptr, smJoin, pieces + L"big.001", out, 0, 0, state, deleted); }));
    if (state != jcsMatched) std::printf("  join did not match its list (state %d)\n", state);
    DeleteFileW((out + L"big.bin").c_str());
    copy = std::min(copy, Seconds([&] {
      CopyFileExW((src + L"big.bin").c_str(), (out + L"big.bin").c_str(), nullptr, nullptr, nullptr, 0);
    }));
  }
  BenchReport("split 1 GB into 100 MB pieces with the list", "s", split, "CopyFileExW", copy, "ratio", split / copy,
              "<= 1.1");
  BenchReport("join them, every piece checked", "s", join, "CopyFileExW", copy, "ratio", join / copy, "<= 1.1");
  for (const auto& d : {src, pieces, out}) {
    Clear(d);
    RemoveDirectoryW(d.c_str());
  }
}
