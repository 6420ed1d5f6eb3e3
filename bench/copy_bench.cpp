// Copy: one 1 GB file, and separately 10,000 files of 4 KB, through the copy window against
// CopyFileExW on the same data in the same run; the time of the window's progress updates is
// reported too.
#include <windows.h>

#include <string>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "fileops/CopyDlg.h"
#include "foundation/FileIO.h"
#include "foundation/MsgDlg.h"

namespace {
// Copies the named files with the copy window; seconds, and the seconds spent in progress updates.
double RunForm(const std::wstring& src, const std::wstring& dst, const std::vector<std::wstring>& names,
               int64_t size, double& updates) {
  BenchClearFolder(dst);
  TCopyMoveForm form(nullptr);
  form.SourceFolder = src;
  form.TargetFolder = dst;
  for (const auto& n : names) form.AddItem(n, L"", 1, FILE_ATTRIBUTE_ARCHIVE, 0, size);
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  form.Execute();
  QueryPerformanceCounter(&b);
  updates = form.UpdateSeconds;
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}
double RunCopyFileEx(const std::wstring& src, const std::wstring& dst, const std::vector<std::wstring>& names) {
  BenchClearFolder(dst);
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  for (const auto& n : names) CopyFileExW((src + n).c_str(), (dst + n).c_str(), nullptr, nullptr, nullptr, 0);
  QueryPerformanceCounter(&b);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}
void Compare(const char* what, const std::wstring& src, const std::wstring& dst, const std::vector<std::wstring>& names,
             int64_t size) {
  double best = 1e9, bestRef = 1e9, updates = 0, bestUpdates = 0;
  for (int i = 0; i < 3; ++i) {
    double t = RunForm(src, dst, names, size, updates);
    if (t < best) {
      best = t;
      bestUpdates = updates;
    }
    bestRef = std::min(bestRef, RunCopyFileEx(src, dst, names));
  }
  BenchReport(what, "s", best, "CopyFileExW", bestRef, "ratio", best / bestRef, "<= 1.05");
  std::printf("  of which progress window updates: %.3f s\n", bestUpdates);
}
}  // namespace

VELMO_BENCH(copy_big) {
  std::wstring src = BenchTempPath(L"velmo-copy-src\\"), dst = BenchTempPath(L"velmo-copy-dst\\");
  CreateDirectoryW(src.c_str(), nullptr);
  CreateDirectoryW(dst.c_str(), nullptr);
  const int64_t size = 1LL << 30;
  BenchWriteBigFile(src + L"big.bin", size);
  Compare("copy one 1 GB file", src, dst, {L"big.bin"}, size);
  // What a run costs besides the copying: the window, the tree cache, the descriptions.
  BenchWriteBigFile(src + L"one.bin", 1);
  Compare("copy one file of 1 byte", src, dst, {L"one.bin"}, 1);
  BenchClearFolder(src);
  BenchClearFolder(dst);
  RemoveDirectoryW(src.c_str());
  RemoveDirectoryW(dst.c_str());
}

VELMO_BENCH(copy_small) {
  std::wstring src = BenchTempPath(L"velmo-copys-src\\"), dst = BenchTempPath(L"velmo-copys-dst\\");
  CreateDirectoryW(src.c_str(), nullptr);
  CreateDirectoryW(dst.c_str(), nullptr);
  std::vector<std::wstring> names;
  std::string data(4096, 'q');
  for (int i = 0; i < 10000; ++i) {
    names.push_back(L"file" + std::to_wstring(i) + L".dat");
    HANDLE h = CreateFileW((src + names.back()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put;
    WriteFile(h, data.data(), 4096, &put, nullptr);
    CloseHandle(h);
  }
  Compare("copy 10,000 files of 4 KB", src, dst, names, 4096);
  BenchClearFolder(src);
  BenchClearFolder(dst);
  RemoveDirectoryW(src.c_str());
  RemoveDirectoryW(dst.c_str());
}
