// Fuzzes the tree file reader: any bytes load without a fault; the reader, which cuts lines from
// the bytes and decodes each name alone, agrees with reading the whole decoded text line by
// line; a tree that loads is written back and reads back to the same lines, and edits keep every
// depth one below its parent's. The same bytes read in pieces of a few bytes each, on the worker
// threads, give the same tree as the plain reader, before and after the same edits.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foldermgr/MCDTree.h"

namespace {
bool Blank(wchar_t c) { return c <= L' '; }
std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}
bool Number(std::wstring_view s, int64_t& v) {
  bool negative = !s.empty() && s[0] == L'-';
  if (!s.empty() && (s[0] == L'-' || s[0] == L'+')) s.remove_prefix(1);
  if (s.empty()) return false;
  v = 0;
  for (wchar_t c : s) {
    if (c < L'0' || c > L'9') return false;
    if (v < 100000000) v = v * 10 + (c - L'0');
  }
  if (negative) v = -v;
  return true;
}
// The file read the plain way: the whole text decoded, then line by line.
TTreeFileRead ReadDecoded(std::string_view bytes, std::vector<TTreeFileLine>& lines, TTextEncoding& encoding) {
  if (bytes.empty()) return TTreeFileRead::Empty;
  std::wstring text = DecodeText(bytes, encoding);
  std::vector<std::wstring_view> all;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find_first_of(L"\r\n", pos);
    if (end == std::wstring::npos) end = text.size();
    all.push_back(std::wstring_view(text).substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == L'\r') ++pos;
    if (pos < text.size() && text[pos] == L'\n') ++pos;
  }
  if (all.empty()) return TTreeFileRead::Empty;
  std::wstring_view countText = Trim(all[0]);
  int64_t count;
  if (!Number(countText, count) || count < 0 || countText[0] == L'-') return TTreeFileRead::Damaged;
  int64_t previous = 0;
  for (size_t i = 1; i < all.size(); ++i) {
    std::wstring_view line = Trim(all[i]);
    size_t comma = line.find(L',');
    int64_t depth;
    if (comma == std::wstring_view::npos || comma + 1 >= line.size() || !Number(line.substr(0, comma), depth)) continue;
    std::wstring_view name = line.substr(comma + 1);
    bool first = lines.empty();
    if (depth < 0 || depth > MaxTreeDepth || depth > previous + 1 || first != (depth == 0) ||
        (!first && !IsValidTreeNodeName(name)))
      return TTreeFileRead::Damaged;
    lines.push_back(TTreeFileLine{static_cast<int32_t>(depth), std::wstring(name)});
    previous = depth;
  }
  return static_cast<int64_t>(lines.size()) == count ? TTreeFileRead::Ok : TTreeFileRead::Damaged;
}

void CheckShape(const TMCDTreeMan& m) {
  auto lines = m.Lines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if ((i == 0) != (lines[i].Depth == 0)) std::abort();
    if (i > 0 && (lines[i].Depth > lines[i - 1].Depth + 1 || !IsValidTreeNodeName(lines[i].Name))) std::abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<TTreeFileLine> read, plain;
  TTextEncoding readEncoding = TTextEncoding::Utf16BE, plainEncoding = TTextEncoding::Utf16BE;
  TTreeFileRead r = ParseTreeFile(bytes, read, readEncoding);
  if (ReadDecoded(bytes, plain, plainEncoding) != r || readEncoding != plainEncoding || read.size() != plain.size())
    std::abort();
  for (size_t i = 0; i < read.size(); ++i)
    if (read[i].Depth != plain[i].Depth || read[i].Name != plain[i].Name) std::abort();
  // The plain reader (no pieces), and the same file read in pieces of a few bytes on the
  // worker threads: the same tree, the same encoding, and the same lists after the same edits.
  TMCDTreeMan m(L"C:", L""), pieces(L"C:", L"");
  bool ok = m.LoadFromBytes(bytes, 0);
  if (ok != (r != TTreeFileRead::Damaged) || (!ok && m.NodeCount() != 0)) std::abort();
  CheckShape(m);
  if (pieces.LoadFromBytes(bytes, 1 + size % 29) != ok || pieces.Encoding != m.Encoding ||
      pieces.NodeCount() != m.NodeCount() || pieces.SaveToBytes() != m.SaveToBytes())
    std::abort();
  // The tree made from the file holds its lines as they stand.
  if (r == TTreeFileRead::Ok) {
    auto made = m.Lines();
    if (made.size() != read.size()) std::abort();
    for (size_t i = 1; i < made.size(); ++i)
      if (made[i].Depth != read[i].Depth || made[i].Name != read[i].Name) std::abort();
  }
  std::string once = m.SaveToBytes();
  TMCDTreeMan again(L"C:", L"");
  if (m.NodeCount() > 0) {
    if (!again.LoadFromBytes(once) || again.NodeCount() != m.NodeCount() || again.SaveToBytes() != once) std::abort();
  }
  // Edits on whatever was read, the same on both trees.
  auto lines = m.Lines();
  std::wstring some = lines.size() > 1 ? L"C:\\" + lines[1].Name : L"C:\\A";
  for (TMCDTreeMan* t : {&m, &pieces}) {
    t->AddFolder(some + L"\\new\\deeper");
    t->MoveFolder(some + L"\\new", L"C:\\elsewhere");
    t->RenameFolder(L"C:\\elsewhere\\new", L"C:\\x\\renamed");
    TStringList names;
    names.Add(L"one");
    names.Add(L"..");
    t->SyncChildren(L"C:\\", names);
    t->DeleteFolder(some);
    CheckShape(*t);
  }
  if (pieces.SaveToBytes() != m.SaveToBytes()) std::abort();
  m.Dirty = again.Dirty = pieces.Dirty = false;
  return 0;
}
