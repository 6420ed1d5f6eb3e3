// Fuzzes the tree file reader: any bytes load without a fault; a tree that loads is written
// back and reads back to the same lines, and edits keep every depth one below its parent's.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foldermgr/MCDTree.h"

namespace {
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
  TMCDTreeMan m(L"C:", L"");
  bool ok = m.LoadFromBytes(bytes);
  if (!ok && m.NodeCount() != 0) std::abort();
  CheckShape(m);
  std::string once = m.SaveToBytes();
  TMCDTreeMan again(L"C:", L"");
  if (m.NodeCount() > 0) {
    if (!again.LoadFromBytes(once) || again.NodeCount() != m.NodeCount() || again.SaveToBytes() != once) std::abort();
  }
  // Edits on whatever was read.
  auto lines = m.Lines();
  std::wstring some = lines.size() > 1 ? L"C:\\" + lines[1].Name : L"C:\\A";
  m.AddFolder(some + L"\\new\\deeper");
  m.MoveFolder(some + L"\\new", L"C:\\elsewhere");
  m.RenameFolder(L"C:\\elsewhere\\new", L"C:\\x\\renamed");
  TStringList names;
  names.Add(L"one");
  names.Add(L"..");
  m.SyncChildren(L"C:\\", names);
  m.DeleteFolder(some);
  CheckShape(m);
  m.Dirty = again.Dirty = false;
  return 0;
}
