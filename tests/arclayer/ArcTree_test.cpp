// The archive tree: placing entries, listing folders, sizes and removal.
#include "archive/layer/ArcTree.h"

#include <gtest/gtest.h>

#include "arclayer/ArcFixtures.h"

namespace {
ArcInfoRec Entry(const std::wstring& name, int64_t size = 0, int32_t attr = 0x20, int32_t date = 0x5B214C00) {
  ArcInfoRec e;
  e.Name = name;
  e.Size = size;
  e.PackedSize = size / 2;
  e.Attributes = attr;
  e.DateTime = date;
  e.CRC32 = 0xABCD;
  e.ArchiveName = L"ignored.zip";
  return e;
}
// The folder's listing after "..": names, with "\" after folders.
std::vector<std::wstring> Listing(THanArcTree& tree, const std::wstring& path) {
  std::vector<std::wstring> out;
  ArcInfoRec item;
  if (!tree.OpenFolder(path, item)) return {L"<missing>"};
  EXPECT_EQ(item.Name, L"..");
  while (tree.NextEntry(item)) out.push_back(item.Name + ((item.Attributes & 0x10) ? L"\\" : L""));
  return out;
}
using Names = std::vector<std::wstring>;
}  // namespace

TEST(ArcTree, FoldersArisingFromMembersTakeTheArchiveDate) {
  THanArcTree tree;
  tree.ArchiveDate = 0x5A000000;
  tree.ArchiveName = L"x.zip";
  tree.AddItem(Entry(L"a/b/c.txt", 5));
  EXPECT_EQ(Listing(tree, L""), Names{L"a\\"});
  EXPECT_EQ(Listing(tree, L"a"), Names{L"b\\"});
  EXPECT_EQ(Listing(tree, L"\\a\\b\\"), Names{L"c.txt"});
  ArcInfoRec item;
  ASSERT_TRUE(tree.OpenFolder(L"a", item));
  EXPECT_EQ(item.Size, -1);
  EXPECT_EQ(item.PackedSize, -1);
  EXPECT_EQ(item.Attributes, 0x10);
  EXPECT_EQ(item.DateTime, 0x5A000000);
  ASSERT_TRUE(tree.NextEntry(item));
  EXPECT_EQ(item.DateTime, 0x5A000000);
  EXPECT_EQ(item.Attributes, 0x10);
  EXPECT_EQ(item.Size, 0);
  EXPECT_EQ(item.ArchiveName, L"x.zip");
  ASSERT_TRUE(tree.OpenFolder(L"a\\b", item));
  ASSERT_TRUE(tree.NextEntry(item));
  EXPECT_EQ(item.Name, L"c.txt");
  EXPECT_EQ(item.Size, 5);
  EXPECT_EQ(item.CRC32, 0xABCDu);
  EXPECT_FALSE(tree.NextEntry(item));
  EXPECT_FALSE(tree.OpenFolder(L"a\\x", item));
}

TEST(ArcTree, AFolderEntryAfterItsMembersUpdatesTheNode) {
  THanArcTree tree;
  tree.AddItem(Entry(L"A/x.txt", 1));
  tree.AddItem(Entry(L"a/", 0, 0x30, 0x11112222));
  EXPECT_EQ(Listing(tree, L""), Names{L"A\\"});
  ArcInfoRec item;
  ASSERT_TRUE(tree.OpenFolder(L"", item));
  ASSERT_TRUE(tree.NextEntry(item));
  EXPECT_EQ(item.Name, L"A");
  EXPECT_EQ(item.DateTime, 0x11112222);
  EXPECT_EQ(item.Attributes, 0x30);
  EXPECT_EQ(Listing(tree, L"a"), Names{L"x.txt"});
}

TEST(ArcTree, NamesAreMadeSafe) {
  THanArcTree tree;
  struct TCase {
    std::wstring Name;
    int32_t Attr;
  } cases[] = {
      {L"\\x.txt", 0x20}, {L"C:\\y.txt", 0x20}, {L"/", 0x20},       {L"C:\\", 0x20},     {L"", 0x20},
      {L"../../evil.txt", 0x20}, {L"a/./b/../c.txt", 0x20}, {L"a//d.txt", 0x20}, {L"./.", 0x10}, {L"z:/w.txt", 0x20},
  };
  for (const auto& c : cases) tree.AddItem(Entry(c.Name, 1, c.Attr));
  EXPECT_EQ(Listing(tree, L""), (Names{L"x.txt", L"y.txt", L"evil.txt", L"a\\", L"w.txt"}));
  EXPECT_EQ(Listing(tree, L"a"), (Names{L"b\\", L"d.txt"}));
  EXPECT_EQ(Listing(tree, L"a\\b"), (Names{L"c.txt"}));
}

TEST(ArcTree, AFileAndAFolderOfOneNameAreSeparate) {
  THanArcTree tree;
  tree.AddItem(Entry(L"doc", 7));
  tree.AddItem(Entry(L"doc/inner.txt", 3));
  EXPECT_EQ(Listing(tree, L""), (Names{L"doc", L"doc\\"}));
  EXPECT_EQ(Listing(tree, L"doc"), (Names{L"inner.txt"}));
}

TEST(ArcTree, EmptyArchiveListsOnlyTheParent) {
  THanArcTree tree;
  EXPECT_EQ(Listing(tree, L""), Names{});
  int64_t count = 5;
  EXPECT_EQ(tree.GetFolderSize(L"none", count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(tree.GetFolderSize(L"", count), -1);
  EXPECT_FALSE(tree.RemoveEntry(L"", L"x"));
}

TEST(ArcTree, FolderSizesCountFilesBelow) {
  THanArcTree tree;
  tree.AddItem(Entry(L"top.txt", 100));
  tree.AddItem(Entry(L"a/sub/one.txt", 3));
  tree.AddItem(Entry(L"a/sub/two.txt", 5));
  tree.AddItem(Entry(L"a/sub/", 0, 0x10));
  int64_t count = 0;
  EXPECT_EQ(tree.GetFolderSize(L"a", count), 8);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(tree.GetFolderSize(L"", count), 108);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(tree.GetFolderSize(L"b", count), -1);
  EXPECT_EQ(count, 0);
}

TEST(ArcTree, RemoveEntryTakesEveryChildOfThatName) {
  THanArcTree tree;
  tree.AddItem(Entry(L"a/x.txt"));
  tree.AddItem(Entry(L"a/y.txt"));
  tree.AddItem(Entry(L"a/X.TXT"));
  tree.AddItem(Entry(L"a/x.txt/inside.txt"));
  ArcInfoRec item;
  ASSERT_TRUE(tree.OpenFolder(L"a\\x.txt", item));
  EXPECT_TRUE(tree.RemoveEntry(L"\\a\\", L"X.txt"));
  EXPECT_FALSE(tree.NextEntry(item));  // the listing of a removed folder ends
  EXPECT_EQ(Listing(tree, L"a"), Names{L"y.txt"});
  EXPECT_FALSE(tree.RemoveEntry(L"a", L"x.txt"));
  EXPECT_FALSE(tree.RemoveEntry(L"nothing", L"y.txt"));
  // Placing goes on after a removal emptied the cached folder.
  tree.AddItem(Entry(L"a/x.txt/again.txt"));
  EXPECT_EQ(Listing(tree, L"a\\x.txt"), Names{L"again.txt"});
}

TEST(ArcTree, TypeNames) {
  THanArcTree tree;
  EXPECT_EQ(tree.GetTypeName(), L"");
  tree.ArcType = akZipSfx;
  EXPECT_EQ(tree.GetTypeName(), L"ZIP");
  tree.ArcType = akGz;
  EXPECT_EQ(tree.GetTypeName(), L"GZ");
}

TEST(ArcTree, LoadEntriesStopsWhenAsked) {
  std::vector<arcfix::TFile> files;
  for (int i = 0; i < 20; ++i) files.push_back({"f" + std::to_string(i) + ".txt", "x"});
  const std::string rar = arcfix::Rar(files);
  TArchive archive;
  ASSERT_TRUE(archive.Open(std::make_unique<TArcMemorySource>(rar), L"x.rar", akRar, 0, 0));
  THanArcTree tree;
  int seen = 0;
  tree.LoadEntries(archive, [&] { return ++seen >= 5; });
  EXPECT_EQ(Listing(tree, L"").size(), 5u);
}
