// The folder tree cache: the full scan of 20,000 folders against a bare walk with
// FindFirstFileExW, and opening the folder manager against loading its tree file, side by side
// in one run (the file itself: treefile_bench.cpp).
#include <windows.h>

#include <string>
#include <vector>

#include "Bench.h"
#include "TreeFileBytes.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDTree.h"
#include "foundation/FileIO.h"

namespace {
std::wstring TempFolder(const wchar_t* name) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  return std::wstring(tmp) + name;
}

void MakeFolders(const std::wstring& root, int& left, int depth) {
  for (int i = 0; i < 12 && left > 0; ++i) {
    std::wstring d = root + L"\\folder " + std::to_wstring(i);
    if (!CreateDirectoryW(d.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return;
    --left;
    if (depth < 4) MakeFolders(d, left, depth + 1);
  }
}
void RemoveFolders(const std::wstring& root) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((root + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) RemoveFolders(root + L"\\" + fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(root.c_str());
}
size_t BareWalk(const std::wstring& folder) {
  size_t n = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchLimitToDirectories, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) {
      ++n;
      n += BareWalk(folder + L"\\" + fd.cFileName);
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}
}  // namespace

VELMO_BENCH(mcdtree_scan) {
  std::wstring root = TempFolder(L"velmo-bench-scan");
  CreateDirectoryW(root.c_str(), nullptr);
  int left = 20000;
  while (left > 0) {
    int before = left;
    MakeFolders(root + L"\\t" + std::to_wstring(left), left, 0);
    CreateDirectoryW((root + L"\\t" + std::to_wstring(before)).c_str(), nullptr);
    MakeFolders(root + L"\\t" + std::to_wstring(before), left, 0);
    if (left == before) break;
  }
  std::vector<TMCDScanItem> items;
  double scan = BenchSeconds([&] { ScanFolderTree(root, true, items, [](const std::vector<TMCDScanItem>&) { return true; }); }, 3);
  size_t bare = 0;
  double walk = BenchSeconds([&] { bare = BareWalk(root); }, 3);
  std::printf("%zu folders scanned, %zu walked\n", items.size() - 1, bare);
  BenchReport("full scan, 20,000 folders", "ms", scan * 1000, "FindFirstFileExW walk", walk * 1000, "ratio",
              scan / walk, "<= 1.3");
  RemoveFolders(root);
}

// Opening the folder manager on a tree file of 100,000 folders, to the first painted screen,
// against the cache loading the same file.
#include "foundation/Folders.h"
#include "foundation/HanForm.h"

VELMO_BENCH(mcd_open) {
  std::wstring saved = ProgramFolder;
  std::wstring program = TempFolder(L"velmo-bench-mcd");
  CreateDirectoryW(program.c_str(), nullptr);
  SetProgramFolder(program);
  CreateDirectoryW(McdFolder.c_str(), nullptr);
  std::wstring file = GetTreeFileName(nullptr, L"C:\\");
  SafeWriteFile(file, BenchTreeFileBytes());
  THanForm form(nullptr);
  form.SetBounds(0, 0, 800, 600);
  form.Show();
  int items = 0, rows = 0;
  double open = BenchSeconds(
      [&] {
        TMCD* view = new TMCD(&form);
        view->SetAlign(alClient);
        view->SetParent(&form);
        view->LoadDrive(L"C:", L"");
        UpdateWindow(view->Handle());
        items = view->Count();
        rows = view->LastPaintedRows();
        delete view;
      },
      5);
  double load = BenchSeconds(
      [&] {
        TMCDTreeMan m(L"C:", file);
        m.Load();
      },
      5);
  std::printf("%d folders, %d rows painted\n", items, rows);
  BenchReport("open folder manager, 100,000 folders", "ms", open * 1000, "tree cache load", load * 1000, "ratio",
              open / load, "<= 1.5");
  DeleteFileW(file.c_str());
  RemoveDirectoryW(McdFolder.c_str());
  RemoveDirectoryW(program.c_str());
  SetProgramFolder(saved);
}
