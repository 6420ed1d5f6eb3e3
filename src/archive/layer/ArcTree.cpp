// The archive tree (portable part).
#include "archive/layer/ArcTree.h"

#include <vector>

#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

namespace {
bool IsFolder(const THanArcItem* item) { return item && (item->Attributes & 0x10); }

// The components of a path in archive form: "/" and "\" separate; empty, "." and ".."
// components are dropped so that no entry lands outside the folder it names.
std::vector<std::wstring> SplitComponents(std::wstring_view name) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != L'\\' && name[i] != L'/') continue;
    std::wstring_view part = name.substr(start, i - start);
    if (!part.empty() && part != L"." && part != L"..") parts.emplace_back(part);
    start = i + 1;
  }
  return parts;
}
std::wstring Join(const std::vector<std::wstring>& parts, size_t count) {
  std::wstring s;
  for (size_t i = 0; i < count; ++i) {
    if (i) s += L'\\';
    s += parts[i];
  }
  return s;
}
}  // namespace

THanArcTree::THanArcTree() : Tree(std::make_unique<THanTree>()) {
  Tree->OnDeleteNode = [](THanTree*, PHanNode, void* data) { delete static_cast<THanArcItem*>(data); };
}

THanArcTree::~THanArcTree() {
  CacheNode = EnumFolder = nullptr;
  Tree->Clear();
}

std::wstring THanArcTree::GetTypeName() const { return ArcType < kArcKindCount ? ArcTypeNames[ArcType] : L""; }

PHanNode THanArcTree::FindFolder(const std::wstring& path, bool create, int32_t defaultDate) {
  PHanNode node = Tree->Root();
  const std::vector<std::wstring> parts = SplitComponents(path);
  // The top of a tree that holds nothing is no folder yet.
  if (parts.empty() && Tree->Count() == 0 && !create) return nullptr;
  for (const std::wstring& part : parts) {
    PHanNode found = nullptr;
    const int n = node->Children.Count();
    for (int i = 0; i < n && !found; ++i) {
      PHanNode child = static_cast<PHanNode>(node->Children.Get(i));
      // Only folders are walked into: a file of the same name is a node of its own.
      if (IsFolder(Item(child)) && SameTextI(Item(child)->Name, part)) found = child;
    }
    if (!found) {
      if (!create) return nullptr;
      auto* item = new THanArcItem;
      item->Name = part;
      item->DateTime = defaultDate;
      item->Attributes = 0x10;
      found = Tree->AddChild(node, item);
      if (!found) {
        delete item;
        return nullptr;
      }
    }
    node = found;
  }
  return node;
}

void THanArcTree::AddItem(const ArcInfoRec& entry) {
  if (entry.Name.empty()) return;
  std::wstring_view name = entry.Name;
  const bool trailing = name.back() == L'\\' || name.back() == L'/';
  if (name.front() == L'\\' || name.front() == L'/') name.remove_prefix(1);
  // A drive part in front is no part of the entry's place.
  if (name.size() > 2 && name[1] == L':' && ((name[0] | 0x20) >= L'a' && (name[0] | 0x20) <= L'z') &&
      (name[2] == L'\\' || name[2] == L'/'))
    name.remove_prefix(3);
  std::vector<std::wstring> parts = SplitComponents(name);
  if (parts.empty()) return;
  const bool folder = (entry.Attributes & 0x10) || trailing;
  if (!folder) {
    const std::wstring folderPath = Join(parts, parts.size() - 1);
    PHanNode node = nullptr;
    if (CacheNode && SameTextI(folderPath, CachePath)) {
      node = CacheNode;
    } else {
      node = FindFolder(folderPath, true, ArchiveDate);
      CacheNode = node;
      CachePath = folderPath;
    }
    if (!node) return;
    auto* item = new THanArcItem{parts.back(), entry.Size, entry.PackedSize, entry.DateTime, entry.Attributes,
                                 entry.CRC32, entry.Flags};
    if (!Tree->AddChild(node, item)) delete item;
    return;
  }
  const std::wstring path = Join(parts, parts.size());
  PHanNode node = FindFolder(path, true, ArchiveDate);
  if (!node) return;
  THanArcItem* item = Item(node);
  *item = THanArcItem{item->Name, entry.Size,       entry.PackedSize, entry.DateTime, entry.Attributes | 0x10,
                      entry.CRC32, entry.Flags};
  CacheNode = node;
  CachePath = path;
}

void THanArcTree::CopyOut(const THanArcItem& from, ArcInfoRec& to) const {
  to.Name = from.Name;
  to.Size = from.Size;
  to.PackedSize = from.PackedSize;
  to.DateTime = from.DateTime;
  to.Attributes = from.Attributes;
  to.CRC32 = from.CRC32;
  to.ArchiveName = ArchiveName;
  to.Flags = from.Flags;
}

bool THanArcTree::OpenFolder(const std::wstring& path, ArcInfoRec& first) {
  PHanNode node = FindFolder(path, false, 0);
  if (!node && !SplitComponents(path).empty()) return false;
  EnumFolder = node;
  EnumIndex = 0;
  first = ArcInfoRec{};
  first.Name = L"..";
  first.Size = -1;
  first.PackedSize = -1;
  first.Attributes = 0x10;
  first.DateTime = ArchiveDate;
  first.ArchiveName = ArchiveName;
  return true;
}

bool THanArcTree::NextEntry(ArcInfoRec& item) {
  if (!EnumFolder || EnumIndex >= EnumFolder->Children.Count()) return false;
  CopyOut(*Item(static_cast<PHanNode>(EnumFolder->Children.Get(EnumIndex++))), item);
  return true;
}

int64_t THanArcTree::GetFolderSize(const std::wstring& path, int64_t& fileCount) {
  fileCount = 0;
  PHanNode node = FindFolder(path, false, 0);
  if (!node) return -1;
  int64_t total = 0;
  std::vector<PHanNode> stack{node};
  while (!stack.empty()) {
    PHanNode n = stack.back();
    stack.pop_back();
    for (int i = 0; i < n->Children.Count(); ++i) {
      PHanNode child = static_cast<PHanNode>(n->Children.Get(i));
      if (IsFolder(Item(child))) {
        stack.push_back(child);
      } else {
        ++fileCount;
        total += Item(child)->Size;
      }
    }
  }
  return total;
}

bool THanArcTree::RemoveEntry(const std::wstring& folder, const std::wstring& name) {
  PHanNode node = FindFolder(folder, false, 0);
  if (!node) return false;
  bool removed = false;
  for (int i = node->Children.Count() - 1; i >= 0; --i) {
    PHanNode child = static_cast<PHanNode>(node->Children.Get(i));
    if (!SameTextI(Item(child)->Name, name)) continue;
    // The listing and the placing cache must not keep a node of the removed subtree.
    for (PHanNode p = EnumFolder; p; p = p->Parent)
      if (p == child) EnumFolder = nullptr;
    CacheNode = nullptr;
    CachePath.clear();
    Tree->DeleteNode(child);
    removed = true;
  }
  if (removed && EnumFolder == node) EnumIndex = 0;
  return removed;
}

void THanArcTree::LoadEntries(TArchive& archive, const std::function<bool()>& stopped) {
  archive.OnPoll = stopped;
  ArcInfoRec entry;
  int count = 0;
  for (bool ok = archive.FindFirst(entry); ok; ok = archive.FindNext(entry)) {
    AddItem(entry);
    if (OnEntryLoaded) OnEntryLoaded(*this, ++count);
    if (stopped && stopped()) break;
  }
  archive.OnPoll = nullptr;
  // The child lists grew in steps while the entries arrived; they keep only what they hold.
  std::vector<PHanNode> stack{Tree->Root()};
  while (!stack.empty()) {
    PHanNode node = stack.back();
    stack.pop_back();
    node->Children.SetCapacity(node->Children.Count());
    for (int i = 0; i < node->Children.Count(); ++i) {
      PHanNode child = static_cast<PHanNode>(node->Children.Get(i));
      if (child->Children.Count() > 0) stack.push_back(child);
    }
  }
}

bool THanArcTree::BeginLoad(TArchive& archive, const std::wstring& fileName, uint8_t arcType, int32_t startLo,
                            int32_t startHi) {
  ArcType = arcType;
  StartOffset = MakeInt64(static_cast<uint32_t>(startHi), static_cast<uint32_t>(startLo));
  if (!archive.Open(fileName, arcType, StartOffset)) {
    archive.Close();
    return false;
  }
  CacheNode = nullptr;
  CachePath.clear();
  ArchiveDate = archive.Reader->ArcDate;
  ArcType = archive.Reader->ArcType;
  ArchiveName = archive.Reader->ArcName;
  return true;
}

std::unique_ptr<THanArcTree> OpenArchiveTree(const std::wstring& fileName) {
  int64_t offset = 0;
  const TArcKind kind = DetectArchiveType(fileName, offset, true);
  if (kind == akNone) return nullptr;
  auto tree = std::make_unique<THanArcTree>();
  const uint64_t start = static_cast<uint64_t>(offset);
  if (!tree->LoadArchive(fileName, kind, static_cast<int32_t>(start & 0xFFFFFFFF), static_cast<int32_t>(start >> 32)))
    return nullptr;
  return tree;
}
