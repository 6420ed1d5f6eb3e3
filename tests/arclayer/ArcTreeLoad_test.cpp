// Loading an archive's tree under the wait window: detection and reading from a real file, and
// a stop by the window's Cancel button that keeps what was read.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "arclayer/ArcFixtures.h"
#include "archive/layer/ArcTree.h"
#include "common/TestUtil.h"
#include "foundation/WaitDlg.h"

namespace {
std::vector<arcfix::TFile> ManyFiles(int n) {
  std::vector<arcfix::TFile> files;
  for (int i = 0; i < n; ++i) files.push_back({"d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt", "x"});
  return files;
}
size_t CountFiles(THanArcTree& tree) {
  size_t n = 0;
  for (const wchar_t* d : {L"d0", L"d1", L"d2"}) {
    ArcInfoRec item;
    if (!tree.OpenFolder(d, item)) continue;
    while (tree.NextEntry(item)) ++n;
  }
  return n;
}
}  // namespace

TEST(ArcTreeLoad, DetectsReadsAndDatesFromTheFile) {
  TTempDir dir;
  WriteFileRaw(dir / L"many.lzh", arcfix::Lzh(ManyFiles(30), 1));
  auto tree = OpenArchiveTree(dir / L"many.lzh");
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->ArcType, akLzh);
  EXPECT_EQ(tree->GetTypeName(), L"LZH");
  EXPECT_EQ(tree->ArchiveName, L"many.lzh");
  EXPECT_NE(tree->ArchiveDate, 0);
  EXPECT_EQ(CountFiles(*tree), 30u);
  EXPECT_EQ(tree->WaitForm, nullptr);

  THanArcTree none;
  EXPECT_FALSE(none.LoadArchive(dir / L"missing.lzh", akLzh, 0, 0));
  EXPECT_FALSE(none.LoadArchive(dir / L"many.lzh", 0, 0, 0));
  EXPECT_FALSE(OpenArchiveTree(dir / L"missing.lzh"));
}

TEST(ArcTreeLoad, CancelKeepsWhatWasRead) {
  TTempDir dir;
  WriteFileRaw(dir / L"many.cab", arcfix::Cab(ManyFiles(40)));
  THanArcTree tree;
  bool shown = false;
  std::wstring caption;
  tree.OnEntryLoaded = [&](THanArcTree& t, int entries) {
    ASSERT_NE(t.WaitForm, nullptr);
    if (entries != 10) return;
    shown = IsWindowVisible(t.WaitForm->Handle()) != FALSE;
    wchar_t text[64] = {};
    GetWindowTextW(t.WaitForm->Handle(), text, 64);
    caption = text;
    SendMessageW(t.WaitForm->CancelBtn->Handle(), BM_CLICK, 0, 0);
  };
  EXPECT_TRUE(tree.LoadArchive(dir / L"many.cab", akCab, 0, 0));
  EXPECT_TRUE(shown);
  EXPECT_EQ(caption, L"압축파일 분석중...");
  EXPECT_EQ(CountFiles(tree), 10u);
}

// Every kind found by its signature in a file of its usual name, and its tree's top.
TEST(ArcTreeLoad, EveryKindFromItsFile) {
  using namespace arcfix;
  const std::vector<TFile> files{{"readme.txt", "hello"}, {"docs/guide.txt", "guide"}};
  struct TCase {
    const wchar_t* Name;
    std::string Bytes;
    TArcKind Kind;
  } cases[] = {
      {L"x.rar", Rar(files), akRar}, {L"x.ace", Ace(files), akAce},    {L"x.lzh", Lzh(files, 0), akLzh},
      {L"x.lha", Lzh(files, 2), akLzh}, {L"x.zoo", Zoo({{"readme.txt", "hello"}}), akZoo},
      {L"x.omp", Omp(files), akOmp}, {L"x.sqz", Sqz(files), akSqz},   {L"x.bh", Bh(files), akBh},
      {L"x.arc", Arc({{"README.TXT", "hello"}}), akArc}, {L"x.cab", Cab(files), akCab},
      {L"x.arj", Arj(files), akArj},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    WriteFileRaw(dir / c.Name, c.Bytes);
    auto tree = OpenArchiveTree(dir / c.Name);
    ASSERT_TRUE(tree) << c.Bytes.size();
    EXPECT_EQ(tree->ArcType, c.Kind);
    ArcInfoRec item;
    ASSERT_TRUE(tree->OpenFolder(L"", item));
    std::vector<std::wstring> top;
    while (tree->NextEntry(item)) top.push_back(item.Name);
    std::sort(top.begin(), top.end());
    if (c.Kind == akZoo || c.Kind == akArc)
      EXPECT_EQ(top.size(), 1u);
    else
      EXPECT_EQ(top, (std::vector<std::wstring>{L"docs", L"readme.txt"})) << tree->GetTypeName();
  }
}
#endif
