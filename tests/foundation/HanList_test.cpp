#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/HanList.h"

namespace {
void* P(intptr_t v) { return reinterpret_cast<void*>(v); }
}

TEST(HanList, GrowthSequenceAndBounds) {
  THanList l;
  std::vector<int> caps;
  for (int i = 0; i < 96; ++i) {
    int before = l.Capacity();
    EXPECT_EQ(l.Add(P(i + 1)), i);
    if (l.Capacity() != before) caps.push_back(l.Capacity());
  }
  EXPECT_EQ(caps, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
  EXPECT_EQ(l.Get(-1), nullptr);
  EXPECT_EQ(l.Get(l.Count()), nullptr);
  EXPECT_EQ(l.Get(5), P(6));
  l.Delete(-1);
  l.Delete(l.Count());
  EXPECT_EQ(l.Count(), 96);
  l.Insert(97, P(1000));  // outside 0..Count: nothing happens
  EXPECT_EQ(l.Count(), 96);
  l.Insert(0, P(1000));
  EXPECT_EQ(l.Get(0), P(1000));
  EXPECT_EQ(l.Get(1), P(1));
  EXPECT_EQ(l.Remove(P(1000)), 0);
  EXPECT_EQ(l.Remove(P(99999)), -1);
  EXPECT_EQ(l.IndexOf(P(3)), 2);
}

TEST(HanList, DeleteHalvesCapacityAndNotifiesWithoutFreeing) {
  THanList l;
  l.SetCapacity(64);
  for (int i = 0; i < 64; ++i) l.Add(P(i + 1));
  std::vector<void*> notified;
  int freed = 0;
  l.SetOwnsObjects([&](void*) { ++freed; });
  l.OnDelete = [&](THanList*, void* item) { notified.push_back(item); };
  std::vector<int> caps;
  while (l.Count() > 0) {
    l.Delete(l.Count() - 1);
    caps.push_back(l.Capacity());
  }
  EXPECT_EQ(caps[31], 64);  // count 32: not yet below half
  EXPECT_EQ(caps[32], 32);  // count 31 < 32
  EXPECT_EQ(caps[48], 16);  // count 15
  EXPECT_EQ(caps.back(), 1);  // 0 is not below half of 1
  EXPECT_EQ(notified.size(), 64u);
  EXPECT_EQ(freed, 0);  // Delete never frees
}

TEST(HanList, ClearNotifiesEveryItemBeforeFreeingAny) {
  THanList l;
  std::vector<std::string> log;
  l.SetOwnsObjects([&](void* p) {
    log.push_back("free" + std::to_string(reinterpret_cast<intptr_t>(p)));
    if (reinterpret_cast<intptr_t>(p) == 1) throw 1;  // ignored
  });
  l.OnDelete = [&](THanList*, void* p) { log.push_back("del" + std::to_string(reinterpret_cast<intptr_t>(p))); };
  l.Add(P(1));
  l.Add(nullptr);
  l.Add(P(2));
  l.Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"del1", "del0", "del2", "free1", "free2"}));
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Capacity(), 0);
}

TEST(HanList, SortHandlesEqualAndSortedInputs) {
  for (int pattern = 0; pattern < 3; ++pattern) {
    THanList l;
    const int n = 20000;
    for (int i = 0; i < n; ++i) l.Add(P(pattern == 0 ? 7 : pattern == 1 ? i : (i * 7919) % n));
    l.Sort([](void* a, void* b) {
      auto x = reinterpret_cast<intptr_t>(a), y = reinterpret_cast<intptr_t>(b);
      return x < y ? -1 : (x > y ? 1 : 0);
    });
    for (int i = 1; i < n; ++i) ASSERT_LE(reinterpret_cast<intptr_t>(l.Get(i - 1)), reinterpret_cast<intptr_t>(l.Get(i)));
  }
}

namespace {
struct Tree3 {
  THanTree t;
  PHanNode a, a1, b;
  Tree3() {
    a = t.AddChild(nullptr, P(1));
    a1 = t.AddChild(a, P(11));
    b = t.AddChild(nullptr, P(2));
  }
};
}  // namespace

TEST(HanTree, PreOrderIndexesAndForEachStop) {
  Tree3 x;
  EXPECT_EQ(x.t.Count(), 3);
  EXPECT_EQ(x.t.GetNode(0), x.a);
  EXPECT_EQ(x.t.GetNode(1), x.a1);
  EXPECT_EQ(x.t.GetNode(2), x.b);
  EXPECT_EQ(x.t.GetNode(3), nullptr);
  EXPECT_EQ(x.t.GetNode(-1), nullptr);
  int visited = 0;
  x.t.ForEach([](PHanNode, int abs, bool& cont, void* user) {
    ++*static_cast<int*>(user);
    if (abs == 1) cont = false;
  }, &visited);
  EXPECT_EQ(visited, 2);
}

TEST(HanTree, InsertMoveAndDeleteAreChecked) {
  Tree3 x;
  EXPECT_EQ(x.t.InsertChild(x.a, 5, P(9)), nullptr);  // bad index: nothing changes
  EXPECT_EQ(x.t.Count(), 3);
  PHanNode first = x.t.InsertChild(nullptr, 0, P(0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(x.t.GetNode(0), first);
  EXPECT_FALSE(x.t.MoveNode(x.a, x.a1));  // into its own subtree
  EXPECT_FALSE(x.t.MoveNode(x.a, x.a));
  EXPECT_FALSE(x.t.MoveNode(x.t.Root(), nullptr));
  EXPECT_TRUE(x.t.MoveNode(x.a1, x.b));
  EXPECT_EQ(x.a1->Parent, x.b);
  EXPECT_EQ(x.t.Count(), 4);

  std::vector<intptr_t> deleted;
  x.t.OnDeleteNode = [&](THanTree*, PHanNode, void* data) { deleted.push_back(reinterpret_cast<intptr_t>(data)); };
  x.t.DeleteNode(x.t.Root());  // refused
  EXPECT_EQ(x.t.Count(), 4);
  x.t.DeleteNode(x.b);  // children before the node
  EXPECT_EQ(deleted, (std::vector<intptr_t>{11, 2}));
  EXPECT_EQ(x.t.Count(), 2);
  x.t.Clear();
  EXPECT_EQ(x.t.Count(), 0);
}

TEST(HanTree, DestroyingFreesTheNodesWithoutCallingTheOwner) {
  // The owner's handler must not run from the tree's destructor: by then the owner (whose
  // member the tree is) is half destroyed. The node records are still freed (the sanitizer
  // build reports a leak otherwise).
  struct TOwner {
    THanTree Tree;
    TOwner() {
      PHanNode n = Tree.AddChild(nullptr, nullptr);
      for (int i = 0; i < 100; ++i) n = Tree.AddChild(n, nullptr);
      Tree.AddChild(nullptr, nullptr);
    }
  };
  int calls = -1;
  {
    auto owner = std::make_unique<TOwner>();
    owner->Tree.OnDeleteNode = [&calls](THanTree*, PHanNode, void*) { ++calls; };
    calls = 0;
  }
  EXPECT_EQ(calls, 0);
}

TEST(HanTree, DeleteNodeUnlinksEachChildBeforeItsEvent) {
  // A (A1 (A1x), A2), B: deleting A goes A1x, A1, A2, A; each node has already left its
  // parent's children when its event runs, and the tree's count follows.
  THanTree t;
  PHanNode a = t.AddChild(nullptr, P(1));
  PHanNode a1 = t.AddChild(a, P(11));
  t.AddChild(a1, P(111));
  t.AddChild(a, P(12));
  PHanNode b = t.AddChild(nullptr, P(2));
  std::vector<std::string> log;
  t.OnDeleteNode = [&](THanTree* sender, PHanNode n, void* data) {
    EXPECT_EQ(n->Children.Count(), 0);
    EXPECT_EQ(n->Parent->Children.IndexOf(n), -1);
    log.push_back(std::to_string(reinterpret_cast<intptr_t>(data)) + ":" + std::to_string(n->Parent->Children.Count()) +
                  ":" + std::to_string(sender->Count()));
  };
  t.DeleteNode(a);
  // data : siblings left : nodes still counted (the event runs before the count drops)
  EXPECT_EQ(log, (std::vector<std::string>{"111:0:5", "11:1:4", "12:0:3", "1:1:2"}));
  EXPECT_EQ(t.Count(), 1);
  EXPECT_EQ(t.GetNode(0), b);
  t.Clear();
  EXPECT_EQ(t.Count(), 0);
}

TEST(HanTree, WideAndDeepSubtreesGoInLinearTime) {
  // A hundred thousand children of one node, each leaving the front of the list in turn, and
  // a chain a hundred thousand deep: both must finish at once and in order.
  THanTree t;
  PHanNode wide = t.AddChild(nullptr, nullptr);
  for (int i = 0; i < 100000; ++i) t.AddChild(wide, P(i + 1));
  PHanNode n = t.AddChild(nullptr, nullptr);
  for (int i = 0; i < 100000; ++i) n = t.AddChild(n, nullptr);
  intptr_t expect = 1;
  bool inOrder = true;
  t.OnDeleteNode = [&](THanTree*, PHanNode node, void* data) {
    if (node->Parent == wide) inOrder = inOrder && reinterpret_cast<intptr_t>(data) == expect++;
  };
  t.Clear();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(expect, 100001);
  EXPECT_EQ(t.Count(), 0);
}

TEST(HanList, OwningListFreesOnClearButHandsBackOnDelete) {
  // One setting makes the list owning and says how to free: no owning list without a way to
  // free its items.
  static int live = 0;
  struct TItem {
    TItem() { ++live; }
    ~TItem() { --live; }
  };
  THanList l;
  EXPECT_FALSE(l.OwnsObjects());
  l.SetOwnsObjectsOf<TItem>();
  EXPECT_TRUE(l.OwnsObjects());
  for (int i = 0; i < 5; ++i) l.Add(new TItem);
  l.Add(nullptr);
  EXPECT_EQ(live, 5);
  auto* kept = static_cast<TItem*>(l.Get(0));
  l.Delete(0);  // handed back, not freed
  EXPECT_EQ(live, 5);
  delete kept;
  l.Clear();
  EXPECT_EQ(live, 0);
  for (int i = 0; i < 3; ++i) l.Add(new TItem);
  l.SetOwnsObjects(nullptr);  // no longer owning: the items stay alive
  auto* a = static_cast<TItem*>(l.Get(0));
  auto* b = static_cast<TItem*>(l.Get(1));
  auto* c = static_cast<TItem*>(l.Get(2));
  l.Clear();
  EXPECT_EQ(live, 3);
  delete a;
  delete b;
  delete c;
  {
    THanList owning;
    owning.SetOwnsObjectsOf<TItem>();
    owning.Add(new TItem);
  }
  EXPECT_EQ(live, 0);  // the destructor clears, and so frees
}

TEST(HanList, DeletingFromTheFrontKeepsOrderAndCapacityRule) {
  THanList l;
  for (int i = 0; i < 40; ++i) l.Add(P(i + 1));
  l.Delete(0);
  l.Delete(3);
  l.Insert(1, P(100));
  l.Add(P(200));
  std::vector<intptr_t> got;
  for (int i = 0; i < l.Count(); ++i) got.push_back(reinterpret_cast<intptr_t>(l.Get(i)));
  std::vector<intptr_t> want{2, 100, 3, 4};
  for (int i = 6; i <= 40; ++i) want.push_back(i);
  want.push_back(200);
  EXPECT_EQ(got, want);
  while (l.Count() > 3) l.Delete(0);
  EXPECT_EQ(l.Get(0), P(39));
  EXPECT_EQ(l.Get(2), P(200));
  EXPECT_LE(l.Capacity(), 8);  // halved on the way down as from the back
  for (int i = 0; i < 20; ++i) l.Add(P(300 + i));
  EXPECT_EQ(l.Count(), 23);
  EXPECT_EQ(l.Get(3), P(300));
  EXPECT_EQ(l.IndexOf(P(319)), 22);
}

namespace {
void WireInt32Data(THanTree& t) {
  t.OnSaveNode = [](THanTree*, PHanNode n, TStream& s) {
    int32_t v = static_cast<int32_t>(reinterpret_cast<intptr_t>(n->Data));
    return s.WriteBuffer(&v, 4);
  };
  t.OnLoadNode = [](THanTree*, PHanNode n, TStream& s) {
    int32_t v;
    if (!s.ReadBuffer(&v, 4)) return false;
    n->Data = P(v);
    return true;
  };
}
}  // namespace

TEST(HanTree, StreamRoundTripAndLayout) {
  THanTree empty;
  TMemoryStream m0;
  ASSERT_TRUE(empty.SaveToStream(m0));
  EXPECT_EQ(m0.Bytes, (std::vector<uint8_t>{0, 0, 0, 0}));

  Tree3 x;
  WireInt32Data(x.t);
  TMemoryStream m;
  ASSERT_TRUE(x.t.SaveToStream(m));
  // root: 2 children; A: 1 child, data 1; A1: 0, data 11; B: 0, data 2.
  EXPECT_EQ(m.Bytes, (std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 11, 0, 0, 0, 0, 0, 0, 0,
                                           2, 0, 0, 0}));
  THanTree y;
  WireInt32Data(y);
  TMemoryStream in(m.Bytes);
  ASSERT_TRUE(y.LoadFromStream(in));
  ASSERT_EQ(y.Count(), 3);
  EXPECT_EQ(y.GetNode(1)->Data, P(11));
  EXPECT_EQ(y.GetNode(1)->Parent, y.GetNode(0));
}

TEST(HanTree, HostileStreamsFailCleanly) {
  Tree3 x;
  WireInt32Data(x.t);
  TMemoryStream good;
  x.t.SaveToStream(good);
  // Every truncation of a valid stream fails and leaves the tree empty.
  for (size_t cut = 0; cut < good.Bytes.size(); ++cut) {
    THanTree y;
    WireInt32Data(y);
    TMemoryStream in(std::vector<uint8_t>(good.Bytes.begin(), good.Bytes.begin() + static_cast<long>(cut)));
    EXPECT_FALSE(y.LoadFromStream(in)) << cut;
    EXPECT_EQ(y.Count(), 0);
  }
  const std::vector<std::vector<uint8_t>> bad = {
      {0xFF, 0xFF, 0xFF, 0x7F},              // two billion children, four bytes of stream
      {0xFF, 0xFF, 0xFF, 0xFF},              // negative count
      {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F},  // a child claims more than is there
  };
  for (const auto& b : bad) {
    THanTree y;
    TMemoryStream in(b);
    EXPECT_FALSE(y.LoadFromStream(in));
    EXPECT_EQ(y.Count(), 0);
  }
  // A chain a million levels deep loads without running the stack out.
  std::vector<uint8_t> deep;
  for (int i = 0; i < 1000000; ++i) deep.insert(deep.end(), {1, 0, 0, 0});
  deep.insert(deep.end(), {0, 0, 0, 0});
  THanTree z;
  TMemoryStream in(deep);
  EXPECT_TRUE(z.LoadFromStream(in));
  EXPECT_EQ(z.Count(), 1000000);
  TMemoryStream out;
  EXPECT_TRUE(z.SaveToStream(out));
  EXPECT_EQ(out.Bytes, deep);
}

TEST(StringTagList, TagsAndSplitToStrings) {
  TStringTagList t;
  EXPECT_EQ(t.AddTag(L"x", 42), 0);
  EXPECT_EQ(t.GetTag(0), 42);
  t.SetTag(0, -7);
  EXPECT_EQ(t.GetTag(0), -7);

  TStringList src, dst;
  src.Add(L" a ;b;;");
  src.Add(L"c");
  dst.Add(L"old");
  SplitToStrings(src, dst, L';');
  ASSERT_EQ(dst.Count(), 3);
  EXPECT_EQ(dst[0], L"a");
  EXPECT_EQ(dst[1], L"b");
  EXPECT_EQ(dst[2], L"c");
}

TEST(StringList, SortedCaseInsensitiveValuesAndText) {
  TStringList l;
  l.SetSorted(true);
  l.Add(L"beta");
  l.Add(L"Alpha");
  EXPECT_EQ(l.Add(L"ALPHA"), 0);  // duplicate ignored
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l[0], L"Alpha");
  EXPECT_EQ(l.IndexOf(L"BETA"), 1);

  TStringList v;
  v.SetText(L"a=1\rB=2\r\nc=x=y\n");
  ASSERT_EQ(v.Count(), 3);
  EXPECT_EQ(v.Values(L"b"), L"2");
  EXPECT_EQ(v.Values(L"C"), L"x=y");
  v.SetValue(L"a", L"");
  EXPECT_EQ(v.IndexOfName(L"a"), -1);
  EXPECT_EQ(v.Text(), L"B=2\r\nc=x=y\r\n");

  TStringList d;
  d.SetDelimitedText(L"one,\"two, three\",\"say \"\"hi\"\"\"");
  ASSERT_EQ(d.Count(), 3);
  EXPECT_EQ(d[1], L"two, three");
  EXPECT_EQ(d[2], L"say \"hi\"");
  TStringList e;
  e.SetDelimitedText(d.DelimitedText());
  EXPECT_EQ(e.Text(), d.Text());
}
