#include "foundation/HanList.h"

#include "framework/QuickSort.h"

#include <cstring>
#include <utility>

// ---- TMemoryStream ----

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || Pos >= Bytes.size()) return 0;
  size_t n = Bytes.size() - Pos;
  if (n > static_cast<size_t>(count)) n = static_cast<size_t>(count);
  std::memcpy(buffer, Bytes.data() + Pos, n);
  Pos += n;
  return static_cast<int32_t>(n);
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  size_t end = Pos + static_cast<size_t>(count);
  if (end > Bytes.size()) Bytes.resize(end);
  std::memcpy(Bytes.data() + Pos, buffer, static_cast<size_t>(count));
  Pos = end;
  return count;
}

// ---- THanList ----

THanList::~THanList() { Clear(); }

void THanList::Compact() {
  if (FHead == 0) return;
  void** base = FList.get();
  for (int i = 0; i < FCount; ++i) base[i] = base[FHead + i];
  FHead = 0;
}

int THanList::Add(void* item) {
  if (FCount == FCapacity) Grow();
  if (FCount == FCapacity) return -1;  // at the maximum capacity
  if (FHead + FCount == FCapacity) Compact();
  Items()[FCount] = item;
  return FCount++;
}

void THanList::Insert(int index, void* item) {
  if (index < 0 || index > FCount) return;
  if (FCount == FCapacity) Grow();
  if (FCount == FCapacity) return;
  if (FHead + FCount == FCapacity) Compact();
  void** items = Items();
  for (int i = FCount; i > index; --i) items[i] = items[i - 1];
  items[index] = item;
  ++FCount;
}

void THanList::Delete(int index) {
  if (index < 0 || index >= FCount) return;
  void** items = Items();
  Notify(items[index]);
  if (index < FCount / 2) {
    // Nearer the front: the items before it move up one place.
    for (int i = index; i > 0; --i) items[i] = items[i - 1];
    ++FHead;
  } else {
    for (int i = index; i < FCount - 1; ++i) items[i] = items[i + 1];
  }
  --FCount;
  if (FCount == 0) FHead = 0;
  if (FCount < FCapacity / 2) SetCapacity(FCapacity / 2);
}

int THanList::Remove(void* item) {
  int i = IndexOf(item);
  if (i >= 0) Delete(i);
  return i;
}

int THanList::IndexOf(void* item) const {
  void** items = Items();
  for (int i = 0; i < FCount; ++i)
    if (items[i] == item) return i;
  return -1;
}

void* THanList::Get(int index) const { return (index < 0 || index >= FCount) ? nullptr : Items()[index]; }

void THanList::Put(int index, void* item) {
  if (index >= 0 && index < FCount) Items()[index] = item;
}

void THanList::Exchange(int a, int b) {
  if (a >= 0 && a < FCount && b >= 0 && b < FCount) std::swap(Items()[a], Items()[b]);
}

void THanList::Clear() {
  if (OnDelete)
    for (int i = 0; i < FCount; ++i) Notify(Items()[i]);
  // The array leaves the list before anything is freed, so that the list is empty and
  // consistent should freeing an item reach back into it.
  std::unique_ptr<void*[]> list = std::move(FList);
  void** items = list ? list.get() + FHead : nullptr;
  const int count = FCount;
  FHead = 0;
  FCount = 0;
  FCapacity = 0;
  if (FFreeObject && items) {
    const std::function<void(void*)> free = FFreeObject;
    for (int i = 0; i < count; ++i) {
      if (!items[i]) continue;
      try {
        free(items[i]);
      } catch (...) {
        // An item that fails to free itself does not stop the others.
      }
    }
  }
}

void THanList::SetCapacity(int n) {
  if (n < FCount || n > MaxHanListCapacity || n == FCapacity) return;
  std::unique_ptr<void*[]> list(n > 0 ? new void*[static_cast<size_t>(n)] : nullptr);
  void** items = Items();
  for (int i = 0; i < FCount; ++i) list[i] = items[i];
  FList = std::move(list);
  FHead = 0;
  FCapacity = n;
}

void THanList::SetCount(int n) {
  if (n < 0 || n > MaxHanListCapacity) return;
  if (n > FCapacity) SetCapacity(n);
  if (FHead + n > FCapacity) Compact();
  void** items = Items();
  for (int i = FCount; i < n; ++i) items[i] = nullptr;
  FCount = n;
}

void THanList::Grow() {
  int delta = FCapacity > 64 ? FCapacity / 4 : (FCapacity > 8 ? 16 : 4);
  long long want = static_cast<long long>(FCapacity) + delta;
  SetCapacity(want > MaxHanListCapacity ? MaxHanListCapacity : static_cast<int>(want));
}

void THanList::Notify(void* item) {
  if (OnDelete) OnDelete(this, item);
}

void THanList::Sort(TCompare compare) {
  if (FCount > 1)
    QuickSortRange(
        0, FCount - 1, [&](int a, int b) { return compare(Items()[a], Items()[b]); },
        [&](int a, int b) { std::swap(Items()[a], Items()[b]); });
}

// ---- THanTree ----

THanTree::THanTree() : FRoot(std::make_unique<THanNode>()) {}

THanTree::~THanTree() {
  THanList& top = FRoot->Children;
  while (top.Count() > 0) FreeSubtree(static_cast<PHanNode>(top.Get(0)), false);
}

PHanNode THanTree::AddChild(PHanNode parent, void* data) {
  if (!parent) parent = FRoot.get();
  auto node = std::make_unique<THanNode>();
  node->Parent = parent;
  node->Data = data;
  if (parent->Children.Add(node.get()) < 0) return nullptr;
  ++FCount;
  return node.release();
}

PHanNode THanTree::InsertChild(PHanNode parent, int index, void* data) {
  if (!parent) parent = FRoot.get();
  if (index < 0 || index > parent->Children.Count()) return nullptr;
  auto node = std::make_unique<THanNode>();
  node->Parent = parent;
  node->Data = data;
  int before = parent->Children.Count();
  parent->Children.Insert(index, node.get());
  if (parent->Children.Count() == before) return nullptr;
  ++FCount;
  return node.release();
}

void THanTree::FreeSubtree(PHanNode node, bool notify) {
  // Always child 0 again, walked without recursion so that no depth runs the stack out; a
  // child leaves the front of its parent's list, which THanList does without moving the rest.
  PHanNode cur = node;
  for (;;) {
    while (cur->Children.Count() > 0) cur = static_cast<PHanNode>(cur->Children.Get(0));
    PHanNode parent = cur->Parent;
    cur->Children.Clear();
    if (parent) {
      THanList& siblings = parent->Children;
      int i = siblings.Get(0) == cur ? 0 : siblings.IndexOf(cur);
      if (i >= 0) siblings.Delete(i);
    }
    if (notify) DoDeleteNode(cur, cur->Data);
    const bool last = cur == node;
    delete cur;
    --FCount;
    if (last) return;
    cur = parent;
  }
}

void THanTree::DeleteNode(PHanNode node) {
  if (!node || node == FRoot.get()) return;
  FreeSubtree(node, true);
}

void THanTree::Clear() {
  THanList& top = FRoot->Children;
  while (top.Count() > 0) FreeSubtree(static_cast<PHanNode>(top.Get(0)), true);
}

bool THanTree::MoveNode(PHanNode node, PHanNode newParent) {
  if (!node || node == FRoot.get()) return false;
  if (!newParent) newParent = FRoot.get();
  for (PHanNode p = newParent; p; p = p->Parent)
    if (p == node) return false;
  node->Parent->Children.Remove(node);
  newParent->Children.Add(node);
  node->Parent = newParent;
  return true;
}

void THanTree::ForEach(TForEach callback, void* user) const {
  // Pre-order with an explicit stack of (node, next child index).
  std::vector<std::pair<PHanNode, int>> stack{{FRoot.get(), 0}};
  int abs = 0;
  bool cont = true;
  while (!stack.empty()) {
    auto& top = stack.back();
    if (top.second >= top.first->Children.Count()) {
      stack.pop_back();
      continue;
    }
    PHanNode child = static_cast<PHanNode>(top.first->Children.Get(top.second++));
    callback(child, abs++, cont, user);
    if (!cont) return;
    stack.push_back({child, 0});
  }
}

PHanNode THanTree::GetNode(int absIndex) const {
  if (absIndex < 0 || absIndex >= FCount) return nullptr;
  struct Find {
    int want;
    PHanNode found;
  } f{absIndex, nullptr};
  ForEach(
      [](PHanNode node, int abs, bool& cont, void* user) {
        auto* f = static_cast<Find*>(user);
        if (abs == f->want) {
          f->found = node;
          cont = false;
        }
      },
      &f);
  return f.found;
}

bool THanTree::DoSaveNode(PHanNode node, TStream& stream) { return OnSaveNode ? OnSaveNode(this, node, stream) : true; }
bool THanTree::DoLoadNode(PHanNode node, TStream& stream) { return OnLoadNode ? OnLoadNode(this, node, stream) : true; }
void THanTree::DoDeleteNode(PHanNode node, void* data) {
  if (OnDeleteNode) OnDeleteNode(this, node, data);
}

bool THanTree::SaveToStream(TStream& stream) { return SaveNode(nullptr, stream); }

bool THanTree::LoadFromStream(TStream& stream) {
  if (LoadNode(nullptr, stream)) return true;
  Clear();
  return false;
}

namespace {
bool WriteCount(TStream& s, int32_t n) {
  uint8_t b[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                  static_cast<uint8_t>(n >> 24)};
  return s.WriteBuffer(b, 4);
}
bool ReadCount(TStream& s, int32_t& n) {
  uint8_t b[4];
  if (!s.ReadBuffer(b, 4)) return false;
  n = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
  return true;
}
}  // namespace

bool THanTree::SaveNode(PHanNode node, TStream& stream) {
  if (!node) node = FRoot.get();
  std::vector<std::pair<PHanNode, int>> stack;
  auto emit = [&](PHanNode n) {
    if (!WriteCount(stream, n->Children.Count())) return false;
    if (n != FRoot.get() && !DoSaveNode(n, stream)) return false;
    stack.push_back({n, 0});
    return true;
  };
  if (!emit(node)) return false;
  while (!stack.empty()) {
    auto& top = stack.back();
    if (top.second >= top.first->Children.Count()) {
      stack.pop_back();
      continue;
    }
    if (!emit(static_cast<PHanNode>(top.first->Children.Get(top.second++)))) return false;
  }
  return true;
}

bool THanTree::LoadNode(PHanNode node, TStream& stream) {
  if (!node) node = FRoot.get();
  const int firstNew = node->Children.Count();
  // Every child needs at least its own 4-byte count, so a count can never exceed what is
  // left of the stream divided by four.
  auto plausible = [&](int32_t count) {
    if (count < 0) return false;
    int64_t size = stream.Size(), pos = stream.Position();
    return size < 0 || pos < 0 || static_cast<int64_t>(count) <= (size - pos) / 4;
  };
  bool ok = true;
  int32_t count = 0;
  std::vector<std::pair<PHanNode, int32_t>> stack;
  if (!ReadCount(stream, count) || !plausible(count)) {
    ok = false;
  } else {
    if (node != FRoot.get() && !DoLoadNode(node, stream)) ok = false;
    stack.push_back({node, count});
  }
  while (ok && !stack.empty()) {
    auto& top = stack.back();
    if (top.second == 0) {
      stack.pop_back();
      continue;
    }
    --top.second;
    PHanNode child = AddChild(top.first, nullptr);
    if (!child || !ReadCount(stream, count) || !plausible(count) || !DoLoadNode(child, stream)) {
      ok = false;
      break;
    }
    stack.push_back({child, count});
  }
  if (!ok)
    while (node->Children.Count() > firstNew)
      DeleteNode(static_cast<PHanNode>(node->Children.Get(node->Children.Count() - 1)));
  return ok;
}

// ---- TStringTagList ----

int TStringTagList::GetTag(int index) const {
  return static_cast<int>(reinterpret_cast<intptr_t>(GetObject(index)));
}
void TStringTagList::SetTag(int index, int tag) {
  PutObject(index, reinterpret_cast<void*>(static_cast<intptr_t>(tag)));
}
int TStringTagList::AddTag(const std::wstring& s, int tag) {
  int i = Add(s);
  if (i >= 0) SetTag(i, tag);
  return i;
}

// ---- SplitToStrings ----

void SplitToStrings(const TStringList& source, TStringList& dest, wchar_t sep) {
  std::wstring text;
  for (int i = 0; i < source.Count(); ++i) {
    if (i) text += L"\r\n";
    text += source[i];
  }
  dest.Clear();
  size_t start = 0;
  auto flush = [&](size_t end) {
    size_t a = start, b = end;
    while (a < b && text[a] <= L' ') ++a;
    while (b > a && text[b - 1] <= L' ') --b;
    if (b > a) dest.Add(text.substr(a, b - a));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == sep || text[i] == L'\r') {
      flush(i);
      start = i + 1;
    }
  }
  flush(text.size());
}
