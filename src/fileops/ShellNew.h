#pragma once
// The shell's "new file" templates: one entry per file type that offers one. The list is
// empty until Scan runs; the main form creates the helper while it builds itself.
#include <string>
#include <vector>

struct TShellNewEntry {
  std::wstring Ext;       // with the dot
  std::wstring TypeName;  // the type's description
};

class TShellNew {
 public:
  TShellNew() = default;
  std::vector<TShellNewEntry> Entries;
  bool Scanned = false;
};
