#include "foldermgr/MCDTree.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>

#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

// ---- The file ----

bool IsValidTreeNodeName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name)
    if (c == L'\\' || c == L'/' || c == L':' || c < 0x20) return false;
  return true;
}

namespace {
// The next line of text from pos (ended by CR LF, CR or LF); false at the end.
bool NextLine(std::wstring_view text, size_t& pos, std::wstring_view& line) {
  const size_t n = text.size();
  if (pos >= n) return false;
  const wchar_t* p = text.data();
  size_t end = pos;
  while (end < n && p[end] != L'\r' && p[end] != L'\n') ++end;
  line = text.substr(pos, end - pos);
  pos = end;
  if (pos < n && p[pos] == L'\r') ++pos;
  if (pos < n && p[pos] == L'\n') ++pos;
  return true;
}

bool IsBlank(wchar_t c) { return c <= L' '; }

std::wstring_view TrimView(std::wstring_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A plain decimal depth, as the file writes it; false for anything else (then the line is
// skipped). Values past the depth limit parse, so that they count as damage.
bool ParseDepth(std::wstring_view s, int32_t& depth) {
  bool negative = false;
  if (!s.empty() && (s.front() == L'-' || s.front() == L'+')) {
    negative = s.front() == L'-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  int64_t v = 0;
  for (wchar_t c : s) {
    if (c < L'0' || c > L'9') return false;
    if (v < 100000000) v = v * 10 + (c - L'0');  // far past any depth: stays out of range
  }
  depth = static_cast<int32_t>(negative ? -v : v);
  return true;
}
}  // namespace

TTreeFileRead ParseTreeFile(std::string_view bytes, TTreeFileText& file, TTextEncoding& encoding) {
  file.Entries.clear();
  file.Text.clear();
  if (bytes.empty()) return TTreeFileRead::Empty;
  DecodeText(bytes, file.Text, encoding);
  const std::wstring_view text(file.Text);
  // Names are marked by 32-bit places: a text past that is no tree file of this world.
  if constexpr (sizeof(size_t) > 4) {
    if (text.size() > size_t{0xFFFFFFFFu}) return TTreeFileRead::Damaged;
  }
  size_t pos = 0;
  std::wstring_view line;
  if (!NextLine(text, pos, line)) return TTreeFileRead::Empty;
  int32_t count = 0;
  std::wstring_view countText = TrimView(line);
  bool countOk = ParseDepth(countText, count) && count >= 0 && countText.front() != L'-';
  // Each folder line takes at least four characters ("1,a" and a line end).
  if (countOk && static_cast<size_t>(count) <= text.size() / 4) file.Entries.reserve(static_cast<size_t>(count));
  int32_t previous = 0;
  bool damaged = !countOk;
  while (!damaged && NextLine(text, pos, line)) {
    line = TrimView(line);
    size_t comma = line.find(L',');
    if (line.empty() || comma == std::wstring_view::npos || comma + 1 >= line.size()) continue;
    int32_t depth;
    if (!ParseDepth(line.substr(0, comma), depth)) continue;
    std::wstring_view name = line.substr(comma + 1);
    bool first = file.Entries.empty();
    if (depth < 0 || depth > MaxTreeDepth || depth > previous + 1 || (first && depth != 0) ||
        (!first && depth == 0) || (!first && !IsValidTreeNodeName(name))) {
      damaged = true;
      break;
    }
    file.Entries.push_back(TTreeFileEntry{depth, static_cast<uint32_t>(name.data() - text.data()),
                                          static_cast<uint32_t>(name.size())});
    previous = depth;
  }
  if (damaged || static_cast<size_t>(count) != file.Entries.size()) return TTreeFileRead::Damaged;
  return TTreeFileRead::Ok;
}

TTreeFileRead ParseTreeFile(std::string_view bytes, std::vector<TTreeFileLine>& lines, TTextEncoding& encoding) {
  TTreeFileText file;
  TTreeFileRead r = ParseTreeFile(bytes, file, encoding);
  lines.clear();
  lines.reserve(file.Entries.size());
  for (const TTreeFileEntry& e : file.Entries) lines.push_back(TTreeFileLine{e.Depth, std::wstring(file.Name(e))});
  return r;
}

TTreeFileBuilder::TTreeFileBuilder(const std::wstring& root, size_t lineCount, TTextEncoding encoding, size_t textHint,
                                   std::string buffer)
    : FRoot(root),
      FEncoding(encoding),
      FMode(encoding == TTextEncoding::Utf8 || encoding == TTextEncoding::Utf8Bom ? TMode::Utf8
            : encoding == TTextEncoding::Ansi                                     ? TMode::Ansi
                                                                                  : TMode::Text),
      FBytes(std::move(buffer)) {
  FBytes.clear();
  // A line is its depth, a comma, the name and CR LF.
  size_t size = textHint + lineCount * 6 + 16;
  if (FMode == TMode::Text) {
    FText.reserve(size);
  } else {
    FBytes.reserve(size + size / 4);
    if (encoding == TTextEncoding::Utf8Bom) FBytes = "\xEF\xBB\xBF";
  }
  AppendNumber(lineCount);
  AppendAscii("\r\n");
}

void TTreeFileBuilder::AppendAscii(std::string_view s) {
  if (FMode == TMode::Text)
    FText.append(s.begin(), s.end());
  else
    FBytes.append(s);
}

void TTreeFileBuilder::AppendNumber(uint64_t v) {
  char digits[24];
  char* end = digits + sizeof(digits);
  char* p = end;
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  AppendAscii(std::string_view(p, static_cast<size_t>(end - p)));
}

// A name the code page cannot hold: the file becomes UTF-8, what was written so far included.
void TTreeFileBuilder::SwitchToUtf8() {
  std::wstring text;
  AnsiToWide(FBytes, text);
  FBytes.clear();
  AppendUtf8(FBytes, text);
  FMode = TMode::Utf8;
  FEncoding = TTextEncoding::Utf8;
}

void TTreeFileBuilder::Add(int32_t depth, std::wstring_view name) {
  if (FFirst) name = FRoot;
  FFirst = false;
  if (depth < 0) {
    AppendAscii("-");
    AppendNumber(static_cast<uint64_t>(-static_cast<int64_t>(depth)));
  } else {
    AppendNumber(static_cast<uint64_t>(depth));
  }
  AppendAscii(",");
  if (FMode == TMode::Ansi) {
    if (std::all_of(name.begin(), name.end(), [](wchar_t c) { return static_cast<uint32_t>(c) < 0x80; })) {
      for (wchar_t c : name) FBytes += static_cast<char>(c);
    } else if (WideToAnsi(name, FName)) {
      FBytes += FName;
    } else {
      SwitchToUtf8();
    }
  }
  if (FMode == TMode::Utf8)
    AppendUtf8(FBytes, name);
  else if (FMode == TMode::Text)
    FText.append(name);
  AppendAscii("\r\n");
}

std::string TTreeFileBuilder::Finish(TTextEncoding& encoding) {
  encoding = FEncoding;
  if (FMode == TMode::Text) return EncodeText(FText, encoding);
  if (FMode == TMode::Ansi && IsValidUtf8(FBytes)) {
    // Bytes that form valid UTF-8 would be read back as UTF-8 next time: such a file is kept
    // in UTF-8 (the same bytes when it is all ASCII).
    encoding = TTextEncoding::Utf8;
    if (std::any_of(FBytes.begin(), FBytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
      std::wstring text;
      AnsiToWide(FBytes, text);
      FBytes.clear();
      AppendUtf8(FBytes, text);
    }
  }
  return std::move(FBytes);
}

std::string FormatTreeFile(const std::wstring& root, const std::vector<TTreeFileLine>& lines,
                           TTextEncoding encoding) {
  size_t hint = 0;
  for (const TTreeFileLine& l : lines) hint += l.Name.size();
  TTreeFileBuilder b(root, lines.size(), encoding, hint);
  for (const TTreeFileLine& l : lines) b.Add(l.Depth, l.Name);
  return b.Finish(encoding);
}

bool WriteTreeFileBytes(const std::wstring& fileName, std::string_view bytes) {
  if (fileName.empty()) return false;
  // A read-only medium keeps its old file.
  if (FileExistsPlain(fileName) && !FileSetArchiveOnly(fileName)) return false;
  return SafeWriteFile(fileName, bytes);
}

bool WriteTreeFileLines(const std::wstring& fileName, const std::wstring& root,
                        const std::vector<TTreeFileLine>& lines, TTextEncoding encoding) {
  if (fileName.empty()) return false;
  return WriteTreeFileBytes(fileName, FormatTreeFile(root, lines, encoding));
}

// ---- The manager ----

namespace {
// The large buffers of the last manager freed, kept for the next one. A listing makes a manager
// for every folder it shows, each reading the whole tree file, and fresh memory of a few
// megabytes costs more (in page faults) than reading the file itself.
struct TTreeBufferPool {
  std::mutex Lock;
  std::string Bytes;
  std::wstring Names, Text;
  std::vector<TMCDTreeNodeRec> Nodes;
  std::vector<int32_t> Kids;
  std::vector<TTreeFileEntry> Entries;
};
TTreeBufferPool& BufferPool() {
  static TTreeBufferPool pool;
  return pool;
}
// A tree far beyond the usual (a million folders) does not keep its memory after it is freed.
constexpr size_t MaxPooledBytes = size_t{48} << 20;

template <typename T>
size_t BytesOf(const T& buffer) {
  return buffer.capacity() * sizeof(typename T::value_type);
}
// Moves the bigger of the two buffers into to, emptied.
template <typename T>
void KeepBigger(T& to, T& from) {
  if (from.capacity() > to.capacity()) std::swap(to, from);
  to.clear();
}
}  // namespace

TMCDTreeMan::TMCDTreeMan(const std::wstring& root, const std::wstring& fileName)
    : FileName(fileName), Root(root), OnChange(FolderChangeRelay), FallbackFolder(ProgramFolder) {
  TTreeBufferPool& pool = BufferPool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  std::swap(FBytes, pool.Bytes);
  std::swap(FNames, pool.Names);
  std::swap(FFile.Text, pool.Text);
  std::swap(FNodes, pool.Nodes);
  std::swap(FKids, pool.Kids);
  std::swap(FFile.Entries, pool.Entries);
}

TMCDTreeMan::TMCDTreeMan(TTreeOwnerWnd ownerWnd, const std::wstring& path)
    : TMCDTreeMan(ExcludeTrailingBackslash(ExtractPathRoot(path)), std::wstring()) {
  if (!Root.empty()) FileName = GetTreeFileName(ownerWnd, Root + L"\\");
}

TMCDTreeMan::~TMCDTreeMan() {
  if (Dirty) Save();
  size_t total = BytesOf(FBytes) + BytesOf(FNames) + BytesOf(FFile.Text) + BytesOf(FNodes) + BytesOf(FKids) +
                 BytesOf(FFile.Entries);
  if (total > MaxPooledBytes) return;
  TTreeBufferPool& pool = BufferPool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  KeepBigger(pool.Bytes, FBytes);
  KeepBigger(pool.Names, FNames);
  KeepBigger(pool.Text, FFile.Text);
  KeepBigger(pool.Nodes, FNodes);
  KeepBigger(pool.Kids, FKids);
  KeepBigger(pool.Entries, FFile.Entries);
}

bool TMCDTreeMan::InBuffer(std::wstring_view s) const {
  auto at = reinterpret_cast<uintptr_t>(s.data()), base = reinterpret_cast<uintptr_t>(FNames.data());
  return at >= base && at + s.size() * sizeof(wchar_t) <= base + FNames.size() * sizeof(wchar_t);
}

void TMCDTreeMan::Clear() {
  FNames.clear();
  FNodes.clear();
  FKids.clear();
  FRoot = -1;
  FCount = 0;
}

TMCDTreeMan::TNode TMCDTreeMan::AddNode(TNode parent, uint32_t index, std::wstring_view name, int32_t depth) {
  TMCDTreeNodeRec rec;
  // A name that already lies in the buffer (a line of the file the tree was read from) is not
  // copied again.
  if (!name.empty() && InBuffer(name)) {
    rec.NameStart = static_cast<uint32_t>(name.data() - FNames.data());
  } else {
    rec.NameStart = static_cast<uint32_t>(FNames.size());
    FNames.append(name);
  }
  rec.NameLength = static_cast<uint32_t>(name.size());
  rec.Depth = depth;
  rec.Parent = parent;
  TNode node = static_cast<TNode>(FNodes.size());
  FNodes.push_back(rec);
  if (parent < 0)
    FRoot = node;
  else
    InsertChild(parent, index, node);
  ++FCount;
  return node;
}

void TMCDTreeMan::InsertChild(TNode parent, uint32_t index, TNode child) {
  TMCDTreeNodeRec& p = At(parent);
  if (index > p.ChildCount) index = p.ChildCount;
  if (p.ChildCount == p.ChildCapacity) {
    // The list moves to the end of the shared array with room to grow; its old slice is left.
    uint32_t capacity = std::max<uint32_t>(4, p.ChildCapacity * 2);
    size_t start = FKids.size();
    FKids.resize(start + capacity, -1);
    std::copy_n(FKids.begin() + p.ChildStart, p.ChildCount, FKids.begin() + static_cast<std::ptrdiff_t>(start));
    p.ChildStart = static_cast<uint32_t>(start);
    p.ChildCapacity = capacity;
  }
  auto first = FKids.begin() + p.ChildStart;
  std::copy_backward(first + index, first + p.ChildCount, first + p.ChildCount + 1);
  first[index] = child;
  ++p.ChildCount;
}

void TMCDTreeMan::Detach(TNode node) {
  TNode parent = At(node).Parent;
  if (parent < 0) return;
  TMCDTreeNodeRec& p = At(parent);
  auto first = FKids.begin() + p.ChildStart, last = first + p.ChildCount;
  auto it = std::find(first, last, node);
  if (it == last) return;
  std::copy(it + 1, last, it);
  --p.ChildCount;
  At(node).Parent = -1;
}

void TMCDTreeMan::DeleteNode(TNode node) {
  if (node < 0 || node == FRoot) return;
  Detach(node);
  // Its subtree leaves the count; the records stay behind, unreachable.
  std::vector<TNode> stack{node};
  while (!stack.empty()) {
    TNode n = stack.back();
    stack.pop_back();
    --FCount;
    const TMCDTreeNodeRec& r = At(n);
    for (uint32_t i = 0; i < r.ChildCount; ++i) stack.push_back(FKids[r.ChildStart + i]);
  }
}

uint32_t TMCDTreeMan::FindInsertIndex(TNode parent, std::wstring_view name) const {
  uint32_t lo = 0, hi = At(parent).ChildCount;
  // The first child whose name is not below name.
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (CompareTextI(NameOf(ChildAt(parent, mid)), name) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

TMCDTreeMan::TNode TMCDTreeMan::FindChild(TNode parent, std::wstring_view name) const {
  uint32_t i = FindInsertIndex(parent, name);
  if (i < At(parent).ChildCount && CompareTextI(NameOf(ChildAt(parent, i)), name) == 0) return ChildAt(parent, i);
  return -1;
}

void TMCDTreeMan::RenumberDepths(TNode node) {
  std::vector<TNode> stack{node};
  while (!stack.empty()) {
    TNode n = stack.back();
    stack.pop_back();
    const TMCDTreeNodeRec& r = At(n);
    for (uint32_t i = 0; i < r.ChildCount; ++i) {
      TNode c = FKids[r.ChildStart + i];
      At(c).Depth = r.Depth + 1;
      stack.push_back(c);
    }
  }
}

void TMCDTreeMan::SortChildren(TNode parent) {
  const TMCDTreeNodeRec& p = At(parent);
  auto first = FKids.begin() + p.ChildStart, last = first + p.ChildCount;
  auto less = [this](TNode a, TNode b) { return CompareTextI(NameOf(a), NameOf(b)) < 0; };
  // Siblings mostly stand in order already: a check costs one comparison each.
  if (!std::is_sorted(first, last, less)) std::stable_sort(first, last, less);
}

bool TMCDTreeMan::OnThisDrive(const std::wstring& path) const {
  return !Root.empty() && SameTextI(ExcludeTrailingBackslash(ExtractPathRoot(path)), Root);
}

TMCDTreeMan::TNode TMCDTreeMan::LocateNode(const std::wstring& path, bool create) {
  if (NeedsLoad) Load();
  if (!OnThisDrive(path)) return -1;
  std::wstring p = ExcludeTrailingBackslash(path);
  int n = GetPathDepth(p);
  TNode node = FRoot;
  if (node < 0) {
    if (!create) return -1;
    node = AddNode(-1, 0, Root, 0);
    Dirty = true;
  }
  for (int level = 1; level <= n; ++level) {
    std::wstring name = ExtractPathLevelName(p, level);
    uint32_t i = FindInsertIndex(node, name);
    if (i < At(node).ChildCount && CompareTextI(NameOf(ChildAt(node, i)), name) == 0) {
      node = ChildAt(node, i);
      continue;
    }
    // A path with an empty, "." or ".." level names no folder that a tree may hold.
    if (!create || !IsValidTreeNodeName(name)) return -1;
    node = AddNode(node, i, name, level);
    Dirty = true;
  }
  return node;
}

PMCDTreeNode TMCDTreeMan::Locate(const std::wstring& path, bool create) {
  TNode n = LocateNode(path, create);
  return n < 0 ? nullptr : &At(n);
}

std::wstring TMCDTreeMan::NodePath(PMCDTreeNode node) const {
  std::vector<std::wstring_view> names;
  for (const TMCDTreeNodeRec* r = node; r && r->Parent >= 0; r = &At(r->Parent)) names.push_back(NameOf(*r));
  std::wstring path = Root;
  for (size_t i = names.size(); i-- > 0;) {
    path += L'\\';
    path += names[i];
  }
  return path;
}

void TMCDTreeMan::NotifyChange(TFolderChangeKind kind, const std::wstring& path1, const std::wstring& path2) {
  if (OnChange) OnChange(kind, ExcludeTrailingBackslashKeepRoot(path1), ExcludeTrailingBackslashKeepRoot(path2));
}

void TMCDTreeMan::AddFolder(const std::wstring& path) {
  LocateNode(path, true);
  NotifyChange(fckCreated, path, L"");
}

namespace {
std::wstring LastName(const std::wstring& path) {
  std::wstring p = ExcludeTrailingBackslash(path);
  size_t slash = p.rfind(L'\\');
  return slash == std::wstring::npos ? p : p.substr(slash + 1);
}
// The folder part of a path without trailing backslash (the root keeps none either).
std::wstring FolderOf(const std::wstring& path) {
  std::wstring p = ExcludeTrailingBackslash(path);
  size_t slash = p.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : p.substr(0, slash);
}
// b is a or lies inside it (both without trailing backslash).
bool SameOrInside(const std::wstring& a, const std::wstring& b) {
  if (b.size() < a.size()) return false;
  if (!SameTextI(std::wstring_view(b).substr(0, a.size()), a)) return false;
  return b.size() == a.size() || b[a.size()] == L'\\';
}
}  // namespace

void TMCDTreeMan::RenameFolder(const std::wstring& oldPath, const std::wstring& newPath) {
  std::wstring newName = LastName(newPath);
  std::wstring renamed = FolderOf(oldPath) + L"\\" + newName;
  TNode node = LocateNode(oldPath, false);
  if (node >= 0) {
    // The drive's root keeps its name; a name a tree may not hold is not taken.
    if (At(node).Depth > 0 && IsValidTreeNodeName(newName)) {
      At(node).NameStart = static_cast<uint32_t>(FNames.size());
      At(node).NameLength = static_cast<uint32_t>(newName.size());
      FNames += newName;
      SortChildren(At(node).Parent);
      Dirty = true;
    }
  } else if (IsValidTreeNodeName(newName)) {
    LocateNode(renamed, true);
  }
  NotifyChange(fckRenamed, oldPath, renamed);
}

void TMCDTreeMan::DeleteFolder(const std::wstring& path) {
  TNode node = LocateNode(path, false);
  if (node >= 0 && At(node).Depth > 0) {
    DeleteNode(node);
    Dirty = true;
  }
  NotifyChange(fckDeleted, path, L"");
}

void TMCDTreeMan::MoveFolder(const std::wstring& srcPath, const std::wstring& dstParentPath) {
  std::wstring src = ExcludeTrailingBackslash(srcPath), dst = ExcludeTrailingBackslash(dstParentPath);
  // A root cannot move, and no folder moves into itself or below itself: nothing changes.
  if (GetPathDepth(src) == 0 || SameOrInside(src, dst)) return;
  TNode source = LocateNode(src, false);
  TNode target = LocateNode(dst, true);
  if (target >= 0) {
    // The same check on the nodes: names that the system's comparison takes as equal though
    // their texts differ must not hang a folder below itself either.
    for (TNode up = target; up >= 0 && source >= 0; up = At(up).Parent)
      if (up == source) return;
    std::wstring name = source >= 0 ? std::wstring(NameOf(source)) : LastName(src);
    TNode existing = FindChild(target, name);
    if (source >= 0) {
      if (existing == source) {
        // Moved to the folder it is already in: it stays where it is.
      } else if (existing >= 0) {
        // The destination already knows a folder of that name: it stays, the source goes.
        DeleteNode(source);
        Dirty = true;
      } else {
        Detach(source);
        At(source).Parent = target;
        InsertChild(target, At(target).ChildCount, source);
        RenumberDepths(target);
        SortChildren(target);
        Dirty = true;
      }
    } else if (existing < 0 && IsValidTreeNodeName(name)) {
      AddNode(target, FindInsertIndex(target, name), name, At(target).Depth + 1);
      Dirty = true;
    }
  }
  NotifyChange(fckDeleted, srcPath, L"");
  NotifyChange(fckCreated, dstParentPath, L"");
}

void TMCDTreeMan::SyncChildren(const std::wstring& path, TStringList& names) {
  TNode node = LocateNode(path, false);
  if (node < 0) return;
  names.SetSorted(true);
  std::wstring name;
  for (uint32_t i = At(node).ChildCount; i-- > 0;) {
    TNode child = ChildAt(node, i);
    int at;
    name.assign(NameOf(child));
    if (names.Find(name, at)) {
      names.Delete(at);
    } else {
      DeleteNode(child);
      Dirty = true;
    }
  }
  bool added = false;
  for (int i = 0; i < names.Count(); ++i) {
    const std::wstring& n = names[i];
    if (!IsValidTreeNodeName(n) || FindChild(node, n) >= 0) continue;
    AddNode(node, FindInsertIndex(node, n), n, At(node).Depth + 1);
    added = true;
  }
  if (added) Dirty = true;
}

template <typename TList, typename NameFn>
void TMCDTreeMan::Build(const TList& lines, NameFn&& name) {
  // The name buffer is the caller's: it may hold the names already.
  FNodes.clear();
  FKids.clear();
  const size_t n = lines.size();
  FNodes.resize(n);
  // Each node's parent is the last node read one level up; then every child list gets its
  // slice of the shared array by counting, and is filled in the file's order.
  std::array<TNode, MaxTreeDepth + 1> slots{};
  for (size_t i = 0; i < n; ++i) {
    TMCDTreeNodeRec& r = FNodes[i];
    std::wstring_view text = name(lines[i]);
    if (InBuffer(text)) {
      r.NameStart = static_cast<uint32_t>(text.data() - FNames.data());
    } else {
      r.NameStart = static_cast<uint32_t>(FNames.size());
      FNames.append(text);
    }
    r.NameLength = static_cast<uint32_t>(text.size());
    r.Depth = lines[i].Depth;
    r.Parent = r.Depth == 0 ? -1 : slots[static_cast<size_t>(r.Depth - 1)];
    slots[static_cast<size_t>(r.Depth)] = static_cast<TNode>(i);
    if (r.Parent >= 0) ++FNodes[static_cast<size_t>(r.Parent)].ChildCapacity;
  }
  uint32_t start = 0;
  for (TMCDTreeNodeRec& r : FNodes) {
    r.ChildStart = start;
    start += r.ChildCapacity;
  }
  FKids.resize(start);
  for (size_t i = 0; i < n; ++i) {
    TNode parent = FNodes[i].Parent;
    if (parent < 0) continue;
    TMCDTreeNodeRec& p = FNodes[static_cast<size_t>(parent)];
    FKids[p.ChildStart + p.ChildCount++] = static_cast<TNode>(i);
  }
  FRoot = n > 0 ? 0 : -1;
  FCount = static_cast<int>(n);
}

void TMCDTreeMan::ReplaceAll(const std::vector<TTreeFileLine>& lines) {
  NeedsLoad = false;
  Dirty = true;
  // Only the well-formed start of the lines is taken: from a second root or a depth jump on,
  // nothing.
  size_t good = 0;
  int32_t previous = 0;
  for (; good < lines.size(); ++good) {
    const TTreeFileLine& l = lines[good];
    if (l.Depth < 0 || l.Depth > MaxTreeDepth || l.Depth > previous + 1 || (good == 0) != (l.Depth == 0)) break;
    previous = l.Depth;
  }
  std::vector<TTreeFileLine> taken;
  const std::vector<TTreeFileLine>* use = &lines;
  if (good < lines.size()) {
    taken.assign(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(good));
    use = &taken;
  }
  size_t total = Root.size();
  for (const TTreeFileLine& l : *use) total += l.Name.size();
  Clear();
  FNames.reserve(total);
  FNames = Root;
  Build(*use, [&](const TTreeFileLine& l) { return l.Depth == 0 ? std::wstring_view(FNames).substr(0, Root.size())
                                                                 : std::wstring_view(l.Name); });
  // A scan lists siblings in order already; checking costs little and keeps the rule.
  for (size_t i = 0; i < FNodes.size(); ++i)
    if (FNodes[i].ChildCount > 1) SortChildren(static_cast<TNode>(i));
}

bool TMCDTreeMan::LoadFromBytes(std::string_view bytes) {
  NeedsLoad = false;
  Clear();
  TTreeFileText& file = FFile;
  TTreeFileRead r = ParseTreeFile(bytes, file, Encoding);
  if (r == TTreeFileRead::Empty) return true;
  if (r == TTreeFileRead::Damaged) {
    Dirty = true;
    return false;
  }
  // The file's order is taken as it stands; the lines are known to be well formed. The text
  // becomes the buffer of names, so no name is copied.
  std::swap(FNames, file.Text);
  file.Text.clear();
  Build(file.Entries, [&](const TTreeFileEntry& e) { return std::wstring_view(FNames).substr(e.NameStart, e.NameLength); });
  return true;
}

void TMCDTreeMan::Load() {
  NeedsLoad = false;
  Clear();
  if (FileName.empty()) return;
  std::wstring file = FileName;
  if (!FileExistsPlain(file)) {
    // Only a name of the program's own (serial, "R" or "Y") may come from the program folder:
    // a drive's root file belongs to that drive alone.
    size_t slash = file.rfind(L'\\');
    std::wstring name = slash == std::wstring::npos ? file : file.substr(slash + 1);
    if (SameTextI(name, L"TREEINFO.MCD") || FallbackFolder.empty()) return;
    file = IncludeTrailingBackslash(FallbackFolder) + name;
    if (!FileExistsPlain(file)) return;
  }
  if (!ReadFileBytes(file, FBytes)) return;
  LoadFromBytes(FBytes);
  FBytes.clear();
}

template <typename F>
void TMCDTreeMan::ForEachLine(F&& f) const {
  if (FRoot < 0) return;
  // Pre-order: a node, then its children in their order.
  std::vector<std::pair<TNode, uint32_t>> stack;
  f(At(FRoot));
  stack.push_back({FRoot, 0});
  while (!stack.empty()) {
    auto& top = stack.back();
    const TMCDTreeNodeRec& r = At(top.first);
    if (top.second >= r.ChildCount) {
      stack.pop_back();
      continue;
    }
    TNode child = FKids[r.ChildStart + top.second++];
    f(At(child));
    stack.push_back({child, 0});
  }
}

std::vector<TTreeFileLine> TMCDTreeMan::Lines() const {
  std::vector<TTreeFileLine> lines;
  lines.reserve(static_cast<size_t>(FCount));
  ForEachLine([&](const TMCDTreeNodeRec& r) { lines.push_back(TTreeFileLine{r.Depth, std::wstring(NameOf(r))}); });
  return lines;
}

std::string TMCDTreeMan::SaveToBytes(std::string buffer) const {
  TTextEncoding encoding = Encoding;
  TTreeFileBuilder b(Root, static_cast<size_t>(FCount), encoding, FNames.size(), std::move(buffer));
  ForEachLine([&](const TMCDTreeNodeRec& r) { b.Add(r.Depth, NameOf(r)); });
  return b.Finish(encoding);
}

bool TMCDTreeMan::Save() {
  Dirty = false;
  if (FileName.empty()) return true;
  if (FCount < 3) {
    if (!FileExistsPlain(FileName)) return true;
    return FileSetArchiveOnly(FileName) && DeleteFilePlain(FileName);
  }
  FBytes = SaveToBytes(std::move(FBytes));
  bool ok = WriteTreeFileBytes(FileName, FBytes);
  FBytes.clear();
  return ok;
}

// ---- File names ----

namespace {
std::wstring Hex(uint32_t v, int width, wchar_t pad) {
  wchar_t buf[16];
  std::swprintf(buf, 16, L"%*X", width, static_cast<unsigned>(v));
  std::wstring s = buf;
  for (auto& c : s)
    if (c == L' ') c = pad;
  return s;
}
std::string AnsiBytes(const std::wstring& s) {
  std::string out;
  WideToAnsi(s, out);
  return out;
}
}  // namespace

std::wstring SerialTreeFileName(uint32_t serial) {
  return Hex(serial >> 16, 4, L'0') + Hex(serial & 0xFFFF, 4, L'0') + L".MCD";
}

std::wstring RemoteTreeFileName(const std::wstring& root) {
  std::string bytes = AnsiBytes(UpperCase(IncludeTrailingBackslash(root)));
  uint32_t h = 0x12345678;
  size_t n = bytes.size() % 256;
  for (size_t i = 1; i <= n; ++i) h += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i - 1])) << (i % 24);
  return L"R" + Hex(h, 7, L'0') + L".MCD";
}

std::wstring CdTreeFileName(uint32_t dosDateTime, uint32_t attributes, uint32_t sizeHigh, uint32_t sizeLow,
                            const std::wstring& upperName) {
  uint32_t v = dosDateTime | attributes | sizeHigh | sizeLow;
  std::string bytes = AnsiBytes(upperName);
  size_t n = bytes.size() % 256;
  for (size_t i = 1; i <= n; ++i) v += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i - 1])) << (i & 31);
  if (v == 0) return L"";
  std::wstring s = Hex(v, 8, L'0');
  s[0] = L'Y';
  return s + L".MCD";
}
