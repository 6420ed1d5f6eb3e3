#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "panels/MFile.h"

namespace {
std::unique_ptr<TFileBoxItem> Item(TItemKind kind, std::wstring name, std::wstring ext = L"", int64_t size = 0) {
  auto it = std::make_unique<TFileBoxItem>();
  it->Kind = kind;
  it->Name = std::move(name);
  it->Ext = std::move(ext);
  it->Size = size;
  return it;
}

std::wstring NameOf(const TFileBoxLists& l, int i) {
  std::wstring s;
  l.GetItemName(i, s);
  return s;
}

// The joint order of names, as GetItemName gives them.
std::vector<std::wstring> Names(const TFileBoxLists& l) {
  std::vector<std::wstring> r;
  for (int i = 0; i < l.Count(); ++i) r.push_back(NameOf(l, i));
  return r;
}

// The sort exactly as it was always written: recursion into the left part, loop on the right.
void ReferenceSort(TFileBoxLists& l, int lo, int hi, TSortKey key) {
  int sign = l.Ascending ? 1 : -1;
  auto cmp = [&](int a, int b) { return sign * CompareFileItems(key, *l.GetItem(a), *l.GetItem(b), l.TypeView); };
  int i, j, p;
  do {
    i = lo, j = hi, p = (lo + hi) / 2;
    do {
      while (cmp(i, p) < 0) ++i;
      while (cmp(j, p) > 0) --j;
      if (i <= j) {
        l.Exchange(i, j);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i, --j;
      }
    } while (i <= j);
    if (lo < j) ReferenceSort(l, lo, j, key);
    lo = i;
  } while (i < hi);
}
}  // namespace

TEST(FileBoxLists, JointIndexRunsOverFoldersFilesAndDrives) {
  TFileBoxLists l;
  int changes = 0;
  l.OnItemsChange = [&] { ++changes; };
  l.AddFile(Item(ikFile, L"readme"));
  l.AddFolder(Item(ikFolder, L"sub"));
  l.InsertParent(Item(ikFolder, L".."));
  l.AddDrive(Item(ikDrive, L"[-C-] SYS"));
  EXPECT_EQ(changes, 4);
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"..", L"sub", L"readme", L"C:\\"}));
  EXPECT_EQ(l.GetFile(0)->Name, L"readme");
  EXPECT_EQ(l.GetFile(1), nullptr);
  for (int bad : {-1, -100, 4, 5}) {
    EXPECT_EQ(l.GetItem(bad), nullptr) << bad;
    l.SetItem(bad, l.GetItem(0));  // ignored
    EXPECT_EQ(NameOf(l, bad), L"");
  }
  EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"..", L"sub", L"readme", L"C:\\"}));

  // Exchange across lists swaps the pointers at the two joint indexes.
  l.Exchange(1, 2);
  EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"..", L"readme", L"sub", L"C:\\"}));
  l.Exchange(2, 1);

  l.Clear(true, false, false);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.FolderCount(), 0);
  EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"readme", L"C:\\"}));
  l.Clear(true, true, true);
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(changes, 6);
}

TEST(FileBoxLists, NameForms) {
  struct Case {
    TItemKind kind;
    const wchar_t* name;
    const wchar_t* ext;
    int32_t folderCase, fileCase;
    const wchar_t *plain, *dot, *display;
  };
  const Case cases[] = {
      {ikFile, L"readme", L"", 0, 0, L"readme", L"readme.", L"readme"},
      {ikFile, L"Report", L"Txt", 0, 1, L"Report.Txt", L"Report.Txt", L"report.txt"},
      {ikFile, L"Report", L"Txt", 0, 2, L"Report.Txt", L"Report.Txt", L"REPORT.TXT"},
      {ikFile, L"MY FILE", L"TXT", 0, 3, L"MY FILE.TXT", L"MY FILE.TXT", L"My file.txt"},
      {ikFile, L"MY-FILE", L"TXT", 0, 4, L"MY-FILE.TXT", L"MY-FILE.TXT", L"My-File.Txt"},
      {ikFile, L"O'NEIL.V2", L"DOC", 0, 4, L"O'NEIL.V2.DOC", L"O'NEIL.V2.DOC", L"O'neil.v2.Doc"},
      {ikFolder, L"MY DOCS\\SUB", L"", 3, 0, L"MY DOCS\\SUB", L"MY DOCS\\SUB", L"My docs\\Sub"},
      {ikFolder, L"MY-DOCS", L"", 4, 0, L"MY-DOCS", L"MY-DOCS", L"My-Docs"},
      {ikFolder, L"Data", L"", 0, 2, L"Data", L"Data", L"Data"},  // the file case leaves folders alone
      {ikFolder, L"..", L"", 2, 2, L"..", L"..", L".."},
      {ikDrive, L"[-D-] DATA", L"", 2, 2, L"D:\\", L"D:\\", L"D:\\"},
      {ikDrive, L"[-e-]", L"", 0, 0, L"e:\\", L"e:\\", L"e:\\"},
      // The drive-chooser entry, whatever its (translatable) caption looks like.
      {ikDrive, L"\xB4DC\xB77C\xC774\xBE0C", L"", 0, 0, L"", L"", L""},
      {ikDrive, L"[Drives]", L"", 0, 0, L"", L"", L""},
      {ikDrive, L"[-1-] x", L"", 0, 0, L"", L"", L""},
  };
  for (const Case& c : cases) {
    TFileBoxLists l;
    l.FolderNameCase = c.folderCase;
    l.FileNameCase = c.fileCase;
    auto it = Item(c.kind, c.name, c.ext);
    if (c.kind == ikFolder)
      l.AddFolder(std::move(it));
    else if (c.kind == ikFile)
      l.AddFile(std::move(it));
    else
      l.AddDrive(std::move(it));
    std::wstring plain, dot, display;
    l.GetItemName(0, plain);
    l.GetItemNameDot(0, dot);
    l.GetDisplayName(0, display);
    EXPECT_EQ(plain, c.plain) << c.name;
    EXPECT_EQ(dot, c.dot) << c.name;
    EXPECT_EQ(display, c.display) << c.name;
  }
  TFileBoxItem chooser;
  chooser.Kind = ikDrive;
  chooser.Name = L"[Drives]";
  EXPECT_FALSE(IsDriveEntry(chooser));
  chooser.Name = L"[-Z-] NET";
  EXPECT_TRUE(IsDriveEntry(chooser));
  chooser.Kind = ikFolder;
  EXPECT_FALSE(IsDriveEntry(chooser));
}

TEST(FileBoxSort, KeysAndDirections) {
  struct F {
    const wchar_t *name, *ext;
    int64_t size;
    double time;
    TColor color;
    int32_t attr;
    const wchar_t *type, *desc;
  };
  // a..f chosen so that every key gives a different order and needs its tie-breaks.
  const F files[] = {
      {L"b", L"txt", 300, 2.0, 0x0000FF, 0, L"Text", L""},
      {L"A", L"doc", 5'000'000'000LL, 1.0, static_cast<TColor>(0x80000008), 2, L"Word", L"zz"},
      {L"c", L"TXT", 1024, 2.0, 0x0000FF, 1, L"Text", L""},
      {L"a", L"bak", 300, 3.0, 0x00FF00, 32, L"", L"aa"},
      {L"B", L"zip", 0, 0.5, 0x00FF00, 4, L"Zip", L""},
  };
  struct Case {
    TSortKey key;
    bool ascending;
    int32_t typeView;
    std::vector<std::wstring> expected;
  };
  const Case cases[] = {
      {skName, true, 0, {L"a.bak", L"A.doc", L"b.txt", L"B.zip", L"c.TXT"}},
      {skName, false, 0, {L"c.TXT", L"B.zip", L"b.txt", L"A.doc", L"a.bak"}},
      {skExt, true, 0, {L"a.bak", L"A.doc", L"b.txt", L"c.TXT", L"B.zip"}},
      {skSize, true, 0, {L"B.zip", L"a.bak", L"b.txt", L"c.TXT", L"A.doc"}},
      {skSize, false, 0, {L"A.doc", L"c.TXT", L"b.txt", L"a.bak", L"B.zip"}},
      {skDate, true, 0, {L"B.zip", L"A.doc", L"b.txt", L"c.TXT", L"a.bak"}},
      // A system colour (negative) before any plain colour; then extension, then name.
      {skColor, true, 0, {L"A.doc", L"b.txt", L"c.TXT", L"a.bak", L"B.zip"}},
      {skDesc, true, 0, {L"a.bak", L"b.txt", L"c.TXT", L"A.doc", L"B.zip"}},
      {skDesc, true, 1, {L"b.txt", L"c.TXT", L"B.zip", L"a.bak", L"A.doc"}},
      {skDesc, true, 2, {L"a.bak", L"b.txt", L"c.TXT", L"B.zip", L"A.doc"}},
      // Weights: a 1 (archive), B 10, c 100, A 1000; b 0.
      {skAttr, true, 0, {L"b.txt", L"a.bak", L"B.zip", L"c.TXT", L"A.doc"}},
      {skAttr, false, 0, {L"A.doc", L"c.TXT", L"B.zip", L"a.bak", L"b.txt"}},
      {skNone, true, 0, {L"b.txt", L"A.doc", L"c.TXT", L"a.bak", L"B.zip"}},
  };
  for (const Case& c : cases) {
    TFileBoxLists l;
    l.Ascending = c.ascending;
    l.TypeView = c.typeView;
    l.InsertParent(Item(ikFolder, L".."));
    for (const F& f : files) {
      auto it = Item(ikFile, f.name, f.ext, f.size);
      it->Time = f.time;
      it->Color = f.color;
      it->Attr = f.attr;
      it->TypeName = f.type;
      it->Desc = f.desc;
      l.AddFile(std::move(it));
    }
    l.AddDrive(Item(ikDrive, L"[-Z-]"));
    l.AddDrive(Item(ikDrive, L"[-C-]"));
    l.SortItems(c.key, false, skNone);
    std::vector<std::wstring> expected{L".."};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.push_back(L"Z:\\");
    expected.push_back(L"C:\\");
    EXPECT_EQ(Names(l), expected) << "key " << c.key << " ascending " << c.ascending << " view " << c.typeView;
  }
}

TEST(FileBoxSort, ProgramsFirstByKind) {
  TFileBoxLists l;
  const std::vector<std::pair<const wchar_t*, const wchar_t*>> files = {
      {L"a", L"bat"}, {L"b", L"EXE"}, {L"c", L"lnk"}, {L"d", L"txt"},
      {L"e", L"com"}, {L"f", L"pif"}, {L"g", L"Bat"}, {L"h", L"abc"}};
  for (const auto& [n, e] : files) l.AddFile(Item(ikFile, n, e));
  l.SortItems(skExec, false, skNone);
  EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"c.lnk", L"b.EXE", L"e.com", L"f.pif", L"a.bat", L"g.Bat", L"h.abc",
                                                 L"d.txt"}));
  l.Ascending = false;
  l.SortItems(skExec, false, skNone);
  EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"d.txt", L"h.abc", L"g.Bat", L"a.bat", L"f.pif", L"e.com", L"b.EXE",
                                                 L"c.lnk"}));
}

TEST(FileBoxSort, FoldersByTheirOwnKeyOrTheListsKey) {
  auto build = [](TFileBoxLists& l) {
    l.InsertParent(Item(ikFolder, L".."));
    const wchar_t* folders[] = {L"m", L"b", L"x"};
    double ftimes[] = {1, 3, 2};
    for (int i = 0; i < 3; ++i) {
      auto it = Item(ikFolder, folders[i], L"", -1);
      it->Time = ftimes[i];
      l.AddFolder(std::move(it));
    }
    const wchar_t* files[] = {L"p", L"q", L"r"};
    double times[] = {5, 9, 7};
    for (int i = 0; i < 3; ++i) {
      auto it = Item(ikFile, files[i], L"t");
      it->Time = times[i];
      l.AddFile(std::move(it));
    }
  };
  {
    TFileBoxLists l;
    build(l);
    l.Ascending = false;
    l.SortItems(skDate, true, skName);
    EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"..", L"b", L"m", L"x", L"q.t", L"r.t", L"p.t"}));
    EXPECT_FALSE(l.Ascending);
  }
  {
    TFileBoxLists l;
    build(l);
    l.Ascending = false;
    l.SortItems(skDate, false, skName);
    EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"..", L"b", L"x", L"m", L"q.t", L"r.t", L"p.t"}));
  }
  {
    // Folders on their own with no key of their own keep the listing order.
    TFileBoxLists l;
    build(l);
    l.SortItems(skName, true, skNone);
    EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"..", L"m", L"b", L"x", L"p.t", L"q.t", L"r.t"}));
    l.SortItems(skNone, true, skDate);
    EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"..", L"m", L"x", L"b", L"p.t", L"q.t", L"r.t"}));
  }
}

// Equal keys (names that differ only in case), random input, sorted input and reversed input:
// the same order as the sort has always produced, at every size and in both directions.
TEST(FileBoxSort, SameOrderAsTheRecursiveSortOnTiesAndRuns) {
  std::mt19937 rng(7);
  for (int n : {2, 3, 7, 64, 1000, 3001}) {
    for (int shape = 0; shape < 4; ++shape) {
      for (bool asc : {true, false}) {
        TFileBoxLists a, b;
        a.Ascending = b.Ascending = asc;
        for (int i = 0; i < n; ++i) {
          int v = shape == 0 ? static_cast<int>(rng() % 20) : shape == 1 ? i : shape == 2 ? n - i : 5;
          std::wstring name = std::to_wstring(v);
          // Case variants compare equal, so ties stay where the partitioning leaves them.
          std::wstring ext = (rng() & 1) ? L"X" : L"x";
          for (TFileBoxLists* l : {&a, &b}) {
            auto it = Item(ikFile, name, ext);
            it->SelOrder = i;  // identity, to see where each tie ended
            l->AddFile(std::move(it));
          }
        }
        a.QuickSort(0, n - 1, skName);
        ReferenceSort(b, 0, n - 1, skName);
        bool same = true;
        for (int i = 0; i < n; ++i) same = same && a.GetItem(i)->SelOrder == b.GetItem(i)->SelOrder;
        EXPECT_TRUE(same) << "n " << n << " shape " << shape << " asc " << asc;
        for (int i = 1; i < n; ++i)
          ASSERT_LE((asc ? 1 : -1) * CompareFileItems(skName, *a.GetItem(i - 1), *a.GetItem(i), 0), 0);
      }
    }
  }
}

TEST(FileBoxSort, HundredThousandEqualKeysAndSortedRuns) {
  for (int shape = 0; shape < 3; ++shape) {
    TFileBoxLists l;
    const int n = 100000;
    for (int i = 0; i < n; ++i) {
      auto it = Item(ikFile, L"same", L"txt");
      it->Size = shape == 0 ? 7 : shape == 1 ? i : n - i;
      l.AddFile(std::move(it));
    }
    l.SortItems(skSize, false, skNone);
    for (int i = 1; i < n; ++i) ASSERT_LE(l.GetItem(i - 1)->Size, l.GetItem(i)->Size) << shape;
  }
}

// Times that are not numbers compare equal to everything, so the order is not consistent;
// the sort must still end inside its range and keep every item.
TEST(FileBoxSort, InconsistentKeysStayInsideTheRange) {
  std::mt19937 rng(3);
  for (bool asc : {true, false}) {
    TFileBoxLists l;
    l.Ascending = asc;
    for (int i = 0; i < 5000; ++i) {
      auto it = Item(ikFile, L"n" + std::to_wstring(rng() % 50));
      it->Time = rng() % 3 == 0 ? std::numeric_limits<double>::quiet_NaN() : static_cast<double>(rng() % 100);
      it->SelOrder = i;
      l.AddFile(std::move(it));
    }
    l.SortItems(skDate, false, skNone);
    std::vector<bool> seen(5000);
    for (int i = 0; i < l.Count(); ++i) seen[static_cast<size_t>(l.GetItem(i)->SelOrder)] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 5000);
  }
}

TEST(FileBoxSort, CrossListRangeGoesThroughTheJointIndex) {
  TFileBoxLists l;
  l.AddFolder(Item(ikFolder, L"z"));
  l.AddFolder(Item(ikFolder, L"b"));
  l.AddFile(Item(ikFile, L"a"));
  l.AddFile(Item(ikFile, L"y"));
  l.QuickSort(-5, 99, skName);  // clamped to the listing
  EXPECT_EQ(Names(l), (std::vector<std::wstring>{L"a", L"b", L"y", L"z"}));
  EXPECT_EQ(l.FolderCount(), 2);
}
