#include "foldermgr/MCDTree.h"

#include <algorithm>
#include <array>
#include <cstdio>

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
  if (pos >= text.size()) return false;
  size_t end = text.find_first_of(L"\r\n", pos);
  if (end == std::wstring_view::npos) end = text.size();
  line = text.substr(pos, end - pos);
  pos = end;
  if (pos < text.size() && text[pos] == L'\r') ++pos;
  if (pos < text.size() && text[pos] == L'\n') ++pos;
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

TTreeFileRead ParseTreeFile(std::string_view bytes, std::vector<TTreeFileLine>& lines, TTextEncoding& encoding) {
  lines.clear();
  if (bytes.empty()) return TTreeFileRead::Empty;
  std::wstring text = DecodeText(bytes, encoding);
  size_t pos = 0;
  std::wstring_view line;
  if (!NextLine(text, pos, line)) return TTreeFileRead::Empty;
  int32_t count = 0;
  std::wstring_view countText = TrimView(line);
  bool countOk = ParseDepth(countText, count) && count >= 0 && countText.front() != L'-';
  if (countOk && static_cast<size_t>(count) <= text.size() / 4) lines.reserve(static_cast<size_t>(count));
  int32_t previous = 0;
  bool damaged = !countOk;
  while (!damaged && NextLine(text, pos, line)) {
    line = TrimView(line);
    size_t comma = line.find(L',');
    if (line.empty() || comma == std::wstring_view::npos || comma + 1 >= line.size()) continue;
    int32_t depth;
    if (!ParseDepth(line.substr(0, comma), depth)) continue;
    std::wstring_view name = line.substr(comma + 1);
    bool first = lines.empty();
    if (depth < 0 || depth > MaxTreeDepth || depth > previous + 1 || (first && depth != 0) ||
        (!first && depth == 0) || (!first && !IsValidTreeNodeName(name))) {
      damaged = true;
      break;
    }
    lines.push_back(TTreeFileLine{depth, std::wstring(name)});
    previous = depth;
  }
  if (damaged || static_cast<size_t>(count) != lines.size()) return TTreeFileRead::Damaged;
  return TTreeFileRead::Ok;
}

// ---- The manager ----

namespace {
const TMCDTreeNodeRec& RecOf(void* node) { return *static_cast<TMCDTreeNodeRec*>(static_cast<PHanNode>(node)->Data); }
PHanNode Child(PHanNode parent, int i) { return static_cast<PHanNode>(parent->Children.Get(i)); }
}  // namespace

TMCDTreeMan::TMCDTreeMan(const std::wstring& root, const std::wstring& fileName)
    : FileName(fileName), Root(root), OnChange(FolderChangeRelay), FallbackFolder(ProgramFolder) {
  FTree.OnDeleteNode = [](THanTree*, PHanNode, void* data) { delete static_cast<TMCDTreeNodeRec*>(data); };
}

TMCDTreeMan::TMCDTreeMan(TTreeOwnerWnd ownerWnd, const std::wstring& path)
    : TMCDTreeMan(ExcludeTrailingBackslash(ExtractPathRoot(path)), std::wstring()) {
  if (!Root.empty()) FileName = GetTreeFileName(ownerWnd, Root + L"\\");
}

TMCDTreeMan::~TMCDTreeMan() {
  if (Dirty) Save();
  FTree.Clear();  // frees the node records' data; the tree's own destructor does not
}

int TMCDTreeMan::CompareTreeNodes(void* a, void* b) { return CompareTextI(RecOf(a).Name, RecOf(b).Name); }

int TMCDTreeMan::FindInsertIndex(PHanNode parent, std::wstring_view name) {
  int lo = 0, hi = parent->Children.Count();
  // The first child whose name is not below name.
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (CompareTextI(Rec(Child(parent, mid)).Name, name) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

PHanNode TMCDTreeMan::FindChild(PHanNode parent, std::wstring_view name) {
  int i = FindInsertIndex(parent, name);
  if (i < parent->Children.Count() && CompareTextI(Rec(Child(parent, i)).Name, name) == 0) return Child(parent, i);
  return nullptr;
}

void TMCDTreeMan::RenumberDepths(PHanNode node) {
  std::vector<PHanNode> stack{node};
  while (!stack.empty()) {
    PHanNode n = stack.back();
    stack.pop_back();
    int32_t depth = Rec(n).Depth;
    for (int i = 0; i < n->Children.Count(); ++i) {
      PHanNode c = Child(n, i);
      static_cast<TMCDTreeNodeRec*>(c->Data)->Depth = depth + 1;
      stack.push_back(c);
    }
  }
}

PHanNode TMCDTreeMan::AddNode(PHanNode parent, int index, std::wstring name, int32_t depth) {
  auto* rec = new TMCDTreeNodeRec{std::move(name), depth};
  PHanNode node = index < 0 ? FTree.AddChild(parent, rec) : FTree.InsertChild(parent, index, rec);
  if (!node) delete rec;
  return node;
}

PHanNode TMCDTreeMan::FirstRoot() const {
  PHanNode top = FTree.Root();
  return top->Children.Count() > 0 ? Child(top, 0) : nullptr;
}

void TMCDTreeMan::SortChildren(PHanNode parent) { parent->Children.Sort(&TMCDTreeMan::CompareTreeNodes); }

bool TMCDTreeMan::OnThisDrive(const std::wstring& path) const {
  return !Root.empty() && SameTextI(ExcludeTrailingBackslash(ExtractPathRoot(path)), Root);
}

PHanNode TMCDTreeMan::Locate(const std::wstring& path, bool create) {
  if (NeedsLoad) Load();
  if (!OnThisDrive(path)) return nullptr;
  std::wstring p = ExcludeTrailingBackslash(path);
  int n = GetPathDepth(p);
  PHanNode node = FirstRoot();
  if (!node) {
    if (!create) return nullptr;
    node = AddNode(nullptr, -1, Root, 0);
    if (!node) return nullptr;
    Dirty = true;
  }
  for (int level = 1; level <= n; ++level) {
    std::wstring name = ExtractPathLevelName(p, level);
    int i = FindInsertIndex(node, name);
    if (i < node->Children.Count() && CompareTextI(Rec(Child(node, i)).Name, name) == 0) {
      node = Child(node, i);
      continue;
    }
    // A path with an empty, "." or ".." level names no folder that a tree may hold.
    if (!create || !IsValidTreeNodeName(name)) return nullptr;
    PHanNode added = AddNode(node, i, name, level);
    if (!added) return nullptr;
    Dirty = true;
    node = added;
  }
  return node;
}

std::wstring TMCDTreeMan::NodePath(PHanNode node) const {
  std::vector<const std::wstring*> names;
  for (PHanNode n = node; n && n != FTree.Root(); n = n->Parent) names.push_back(&Rec(n).Name);
  std::wstring path = Root;
  for (size_t i = names.size(); i-- > 0;) {
    if (i + 1 == names.size()) continue;  // the root node: Root itself
    path += L"\\" + *names[i];
  }
  return path;
}

void TMCDTreeMan::NotifyChange(TFolderChangeKind kind, const std::wstring& path1, const std::wstring& path2) {
  if (OnChange) OnChange(kind, ExcludeTrailingBackslashKeepRoot(path1), ExcludeTrailingBackslashKeepRoot(path2));
}

void TMCDTreeMan::AddFolder(const std::wstring& path) {
  Locate(path, true);
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
  PHanNode node = Locate(oldPath, false);
  if (node) {
    // The drive's root keeps its name; a name a tree may not hold is not taken.
    if (Rec(node).Depth > 0 && IsValidTreeNodeName(newName)) {
      static_cast<TMCDTreeNodeRec*>(node->Data)->Name = newName;
      SortChildren(node->Parent);
      Dirty = true;
    }
  } else if (IsValidTreeNodeName(newName)) {
    Locate(renamed, true);
  }
  NotifyChange(fckRenamed, oldPath, renamed);
}

void TMCDTreeMan::DeleteFolder(const std::wstring& path) {
  PHanNode node = Locate(path, false);
  if (node && Rec(node).Depth > 0) {
    FTree.DeleteNode(node);
    Dirty = true;
  }
  NotifyChange(fckDeleted, path, L"");
}

void TMCDTreeMan::MoveFolder(const std::wstring& srcPath, const std::wstring& dstParentPath) {
  std::wstring src = ExcludeTrailingBackslash(srcPath), dst = ExcludeTrailingBackslash(dstParentPath);
  // A root cannot move, and no folder moves into itself or below itself: nothing changes.
  if (GetPathDepth(src) == 0 || SameOrInside(src, dst)) return;
  PHanNode source = Locate(src, false);
  PHanNode target = Locate(dst, true);
  if (target) {
    std::wstring name = source ? Rec(source).Name : LastName(src);
    PHanNode existing = FindChild(target, name);
    if (source) {
      if (existing) {
        // The destination already knows a folder of that name: it stays, the source goes.
        FTree.DeleteNode(source);
      } else {
        FTree.MoveNode(source, target);
        static_cast<TMCDTreeNodeRec*>(source->Data)->Depth = Rec(target).Depth + 1;
        RenumberDepths(target);
        SortChildren(target);
      }
    } else if (!existing && IsValidTreeNodeName(name)) {
      AddNode(target, FindInsertIndex(target, name), name, Rec(target).Depth + 1);
    }
    Dirty = true;
  }
  NotifyChange(fckDeleted, srcPath, L"");
  NotifyChange(fckCreated, dstParentPath, L"");
}

void TMCDTreeMan::SyncChildren(const std::wstring& path, TStringList& names) {
  PHanNode node = Locate(path, false);
  if (!node) return;
  names.SetSorted(true);
  for (int i = node->Children.Count() - 1; i >= 0; --i) {
    PHanNode child = Child(node, i);
    int at;
    if (names.Find(Rec(child).Name, at)) {
      names.Delete(at);
    } else {
      FTree.DeleteNode(child);
      Dirty = true;
    }
  }
  bool added = false;
  for (int i = 0; i < names.Count(); ++i) {
    const std::wstring& name = names[i];
    if (!IsValidTreeNodeName(name) || FindChild(node, name)) continue;
    AddNode(node, FindInsertIndex(node, name), name, Rec(node).Depth + 1);
    added = true;
  }
  if (added) Dirty = true;
}

void TMCDTreeMan::ReplaceAll(const std::vector<TTreeFileLine>& lines) {
  NeedsLoad = false;
  FTree.Clear();
  Dirty = true;
  std::array<PHanNode, MaxTreeDepth + 1> slots{};
  int32_t previous = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const TTreeFileLine& l = lines[i];
    if (l.Depth < 0 || l.Depth > MaxTreeDepth || l.Depth > previous + 1 || (i == 0) != (l.Depth == 0)) break;
    PHanNode parent = l.Depth == 0 ? nullptr : slots[static_cast<size_t>(l.Depth - 1)];
    PHanNode node = AddNode(parent, -1, l.Depth == 0 ? Root : l.Name, l.Depth);
    if (!node) break;
    slots[static_cast<size_t>(l.Depth)] = node;
    previous = l.Depth;
  }
  // A scan lists siblings in order already; sorting again costs little and keeps the rule.
  std::vector<PHanNode> stack;
  if (PHanNode r = FirstRoot()) stack.push_back(r);
  while (!stack.empty()) {
    PHanNode n = stack.back();
    stack.pop_back();
    SortChildren(n);
    for (int i = 0; i < n->Children.Count(); ++i) stack.push_back(Child(n, i));
  }
}

bool TMCDTreeMan::LoadFromBytes(std::string_view bytes) {
  NeedsLoad = false;
  FTree.Clear();
  std::vector<TTreeFileLine> lines;
  TTreeFileRead r = ParseTreeFile(bytes, lines, Encoding);
  if (r == TTreeFileRead::Empty) return true;
  if (r == TTreeFileRead::Damaged) {
    Dirty = true;
    return false;
  }
  // The file's order is taken as it stands; the lines are known to be well formed.
  std::array<PHanNode, MaxTreeDepth + 1> slots{};
  for (TTreeFileLine& l : lines) {
    PHanNode parent = l.Depth == 0 ? nullptr : slots[static_cast<size_t>(l.Depth - 1)];
    slots[static_cast<size_t>(l.Depth)] = AddNode(parent, -1, std::move(l.Name), l.Depth);
  }
  return true;
}

void TMCDTreeMan::Load() {
  NeedsLoad = false;
  FTree.Clear();
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
  std::string bytes;
  if (!ReadFileBytes(file, bytes)) return;
  LoadFromBytes(bytes);
}

template <typename F>
void TMCDTreeMan::ForEachLine(F&& f) const {
  std::vector<std::pair<PHanNode, int>> stack{{FTree.Root(), 0}};
  while (!stack.empty()) {
    auto& top = stack.back();
    if (top.second >= top.first->Children.Count()) {
      stack.pop_back();
      continue;
    }
    PHanNode child = Child(top.first, top.second++);
    f(Rec(child));
    stack.push_back({child, 0});
  }
}

std::vector<TTreeFileLine> TMCDTreeMan::Lines() const {
  std::vector<TTreeFileLine> lines;
  lines.reserve(static_cast<size_t>(FTree.Count()));
  ForEachLine([&](const TMCDTreeNodeRec& r) { lines.push_back(TTreeFileLine{r.Depth, r.Name}); });
  return lines;
}

std::string FormatTreeFile(const std::wstring& root, const std::vector<TTreeFileLine>& lines,
                           TTextEncoding encoding) {
  std::wstring text;
  text.reserve(lines.size() * 24 + 16);
  text += std::to_wstring(lines.size()) + L"\r\n";
  bool first = true;
  for (const TTreeFileLine& l : lines) {
    text += std::to_wstring(l.Depth);
    text += L',';
    text += first ? root : l.Name;
    text += L"\r\n";
    first = false;
  }
  return EncodeText(text, encoding);
}

bool WriteTreeFileLines(const std::wstring& fileName, const std::wstring& root,
                        const std::vector<TTreeFileLine>& lines, TTextEncoding encoding) {
  if (fileName.empty()) return false;
  // A read-only medium keeps its old file.
  if (FileExistsPlain(fileName) && !FileSetArchiveOnly(fileName)) return false;
  return SafeWriteFile(fileName, FormatTreeFile(root, lines, encoding));
}

std::string TMCDTreeMan::SaveToBytes() const { return FormatTreeFile(Root, Lines(), Encoding); }

bool TMCDTreeMan::Save() {
  Dirty = false;
  if (FileName.empty()) return true;
  if (FTree.Count() < 3) {
    if (!FileExistsPlain(FileName)) return true;
    return FileSetArchiveOnly(FileName) && DeleteFilePlain(FileName);
  }
  return WriteTreeFileLines(FileName, Root, Lines(), Encoding);
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
