// File lists: sorting 100,000 items against std::sort with the same comparison, description
// look-ups in a large folder, and the memory a listing takes per item.
#include <malloc.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "Bench.h"
#include "foundation/FileIO.h"
#include "panels/MDescMan.h"
#include "panels/MFile.h"

namespace {
const wchar_t* const kWords[] = {L"report", L"Final", L"IMG", L"setup", L"backup", L"\xD68C\xC758\xB85D",
                                 L"\xC0AC\xC9C4", L"data", L"Project", L"readme", L"invoice", L"draft",
                                 L"music", L"Video", L"notes", L"\xBB38\xC11C", L"build", L"log"};
const wchar_t* const kExts[] = {L"txt", L"jpg", L"doc", L"exe", L"dll", L"png", L"mp3", L"zip", L"cpp", L"h",
                                L"pdf", L"hwp", L"ini", L"lnk", L"bat", L"xls", L"JPG", L""};

// A realistic listing: about one folder for nine files, names of words, numbers and versions.
std::vector<std::unique_ptr<TFileBoxItem>> MakeItems(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::unique_ptr<TFileBoxItem>> items;
  items.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    auto it = std::make_unique<TFileBoxItem>();
    it->Kind = rng() % 10 == 0 ? ikFolder : ikFile;
    std::wstring name = kWords[rng() % std::size(kWords)];
    switch (rng() % 4) {
      case 0: name += L"_" + std::to_wstring(rng() % 10000); break;
      case 1: name += L" " + std::wstring(kWords[rng() % std::size(kWords)]) + L" (" + std::to_wstring(rng() % 20) + L")"; break;
      case 2: name += L"-v" + std::to_wstring(rng() % 5) + L"." + std::to_wstring(rng() % 10); break;
      default: name += std::to_wstring(i); break;
    }
    it->Name = name;
    if (it->Kind == ikFile) {
      it->Ext = kExts[rng() % std::size(kExts)];
      it->Size = static_cast<int64_t>(rng() % 1000) << (rng() % 33);
    } else {
      it->Size = -1;
    }
    it->Time = 40000 + (rng() % 2000000) / 100.0;
    it->Attr = it->Kind == ikFolder ? 16 : 32;
    items.push_back(std::move(it));
  }
  return items;
}

void Fill(TFileBoxLists& lists, const std::vector<std::unique_ptr<TFileBoxItem>>& src) {
  lists.Clear(true, true, true);
  auto parent = std::make_unique<TFileBoxItem>();
  parent->Kind = ikFolder;
  parent->Name = L"..";
  lists.InsertParent(std::move(parent));
  for (const auto& s : src) {
    auto it = std::make_unique<TFileBoxItem>(*s);
    if (it->Kind == ikFolder)
      lists.AddFolder(std::move(it));
    else
      lists.AddFile(std::move(it));
  }
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void SortBench(const char* what, TSortKey key) {
  const int n = 100000;
  auto src = MakeItems(n, 11);
  double ours = 1e300, ref = 1e300;
  for (int round = 0; round < 3; ++round) {
    TFileBoxLists lists;
    Fill(lists, src);
    auto t0 = std::chrono::steady_clock::now();
    lists.SortItems(key, false, skNone);
    ours = std::min(ours, Seconds(t0));

    // The same two ranges (folders after "..", then files), sorted by std::sort with the same
    // comparison.
    std::vector<TFileBoxItem*> folders, files;
    for (const auto& s : src) (s->Kind == ikFolder ? folders : files).push_back(s.get());
    auto less = [key](const TFileBoxItem* a, const TFileBoxItem* b) { return CompareFileItems(key, *a, *b, 0) < 0; };
    t0 = std::chrono::steady_clock::now();
    std::sort(folders.begin(), folders.end(), less);
    std::sort(files.begin(), files.end(), less);
    ref = std::min(ref, Seconds(t0));
  }
  BenchReport(what, "ms", ours * 1000, "std::sort", ref * 1000, "ratio", ours / ref, "<= 1.30");
}

// Writes a DESCRIPT.ION of n lines into folder and looks up every file's description.
double DescLookups(const std::wstring& folder, int n, size_t& found) {
  std::string text;
  std::vector<std::wstring> names;
  std::mt19937 rng(5);
  for (int i = 0; i < n; ++i) {
    std::wstring name = L"file " + std::to_wstring(rng() % 1000000) + L"_" + std::to_wstring(i) + L".txt";
    names.push_back(name);
    text += "\"" + std::string(name.begin(), name.end()) + "\" description number " + std::to_string(i) + "\r\n";
  }
  SafeWriteFile(folder + L"DESCRIPT.ION", text);
  std::shuffle(names.begin(), names.end(), rng);
  auto t0 = std::chrono::steady_clock::now();
  {
    THanDescMan d(folder);
    std::wstring desc;
    for (const auto& name : names) {
      d.GetDescription(name, L"", desc);
      found += !desc.empty();
    }
  }
  double s = Seconds(t0);
  DeleteFileW((folder + L"DESCRIPT.ION").c_str());
  return s;
}

// Heap use while a listing is built: every allocation of the program is counted in that time.
struct TAllocCount {
  size_t Heap = 0;
  size_t Blocks = 0;
};
TAllocCount gAlloc;
bool gCounting = false;

// The heap block of a text (none when the text fits inside the string object itself).
size_t TextBytes(const std::wstring& s) {
  size_t bytes = (s.capacity() + 1) * sizeof(wchar_t);
  return s.capacity() > 7 ? ((bytes + 7) & ~size_t{7}) + 8 : 0;
}
}  // namespace

void* operator new(size_t size) {
  if (gCounting) {
    gAlloc.Heap += ((size + 7) & ~size_t{7}) + 8;
    ++gAlloc.Blocks;
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// The replacement pair is malloc and free on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  if (gCounting && p) {
    gAlloc.Heap -= ((_msize(p) + 7) & ~size_t{7}) + 8;
    --gAlloc.Blocks;
  }
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

VELMO_BENCH(sort_by_name) { SortBench("sort 100,000 items by name", skName); }
VELMO_BENCH(sort_by_ext) { SortBench("sort 100,000 items by extension", skExt); }
VELMO_BENCH(sort_by_size) { SortBench("sort 100,000 items by size", skSize); }

VELMO_BENCH(descriptions_lookup) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring folder = std::wstring(tmp) + L"velmo-bench-desc\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  size_t found = 0;
  double small = 1e300, large = 1e300;
  for (int round = 0; round < 3; ++round) {
    small = std::min(small, DescLookups(folder, 2000, found));
    large = std::min(large, DescLookups(folder, 20000, found));
  }
  RemoveDirectoryW(folder.c_str());
  BenchReport("load + look up 20,000 descriptions", "ms", large * 1000, "10 x 2,000", small * 10000, "ratio",
              large / (small * 10), "<= 2; n log n gives 1.30, a scan per look-up 10");
  if (found != 3 * 22000u) std::printf("(descriptions missing: %u found)\n", static_cast<unsigned>(found));
}

VELMO_BENCH(item_memory) {
  const int n = 100000;
  auto src = MakeItems(n, 3);
  for (auto& it : src) {
    // What a listing holds: a short name for long names and a shell type name.
    if (it->Name.size() > 8) it->ShortName = L"NAME~1.TXT";
    it->TypeName = it->Kind == ikFolder ? L"File Folder" : L"Text Document";
  }
  TFileBoxLists lists;
  gAlloc = {};
  gCounting = true;
  Fill(lists, src);
  gCounting = false;
  size_t text = 0;
  for (int i = 0; i < lists.Count(); ++i) {
    const TFileBoxItem* it = lists.GetItem(i);
    for (const std::wstring* s : {&it->Name, &it->Ext, &it->ShortName, &it->DateText, &it->TypeName, &it->Desc})
      text += TextBytes(*s);
  }
  // Each heap block costs its size rounded up to 8 bytes plus an 8-byte header; blocks freed
  // while the lists grew are subtracted again.
  double perItem = static_cast<double>(gAlloc.Heap) / lists.Count();
  double beyond = perItem - static_cast<double>(text) / lists.Count();
  BenchReport("heap bytes per item beyond its texts (100,000)", "B", beyond, "limit", 256.0, "ratio", beyond / 256.0,
              "<= 1.00");
  std::printf("    (all: %.1f B per item in %.2f blocks; sizeof(TFileBoxItem) %u B; texts %.1f B per item)\n", perItem,
              static_cast<double>(gAlloc.Blocks) / lists.Count(), static_cast<unsigned>(sizeof(TFileBoxItem)),
              static_cast<double>(text) / lists.Count());
}
