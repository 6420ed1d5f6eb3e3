#pragma once
// The shell's "new file" templates: the entries the registry keeps per file extension under
// HKEY_CLASSES_ROOT ("ShellNew" under the extension, else under its class), offered in the
// panels' "New" menu, and the creation of a new file from one: empty, a copy of a template
// file, the registry's data bytes, or a command started in the folder. The list is empty
// until Scan runs; the main form creates the helper while it builds itself.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class TMFList;

enum TShellNewKind : uint8_t { NullFile = 0, FileName = 1, Data = 2, Command = 3 };

struct TShellNewEntry {
  std::wstring Extension;    // with its dot, as the registry spells it
  std::wstring ClassName;    // the extension key's default value
  std::wstring KeyPath;      // the ShellNew key used, below HKEY_CLASSES_ROOT
  uint8_t Kind = NullFile;   // TShellNewKind
  std::wstring Value;        // the template (FileName) or the command (Command)
  std::wstring Description;  // the class key's default value: the menu caption
  std::wstring Icon;         // "file,index" as the registry stores it
};

class TShellNew {
 public:
  TShellNew() = default;
  ~TShellNew() { Entries.clear(); }
  // Rebuilds the list from the registry.
  void Scan();
  int Count() const { return static_cast<int>(Entries.size()); }
  void GetDescription(int index, std::wstring& s) const;
  int GetKind(int index) const;  // -1 for a bad index
  void GetExtension(int index, std::wstring& s) const;
  void GetIcon(int index, std::wstring& s) const;
  // The first entry is the shortcut (".LNK").
  bool FirstIsLink() const;
  // 0 created (or the command started), 1 folder + name exists already (message 3002 shown),
  // 2 a bad index or a failure (message 3003 shown for template, data and command failures).
  // Nothing is left behind by a failure.
  int CreateNewFile(int index, const std::wstring& folder, const std::wstring& name);

  std::vector<TShellNewEntry> Entries;
  bool Scanned = false;
};

// What the "New" menu does with its entry: a command template runs at once; any other asks
// the name (the description and extension made unique in the list's folder, the extension
// added to a name typed without one) and creates the file, asking again while the name is
// taken. Returns the new file's name, empty when nothing was created.
std::wstring NewFileFromEntry(TShellNew& helper, int index, const std::wstring& folder);
// The "New" menu of a file list at a screen point: rescans the templates, shows them, and
// after a creation rereads the list and puts the focus on the new item. The new name, or empty.
std::wstring ShowNewFileMenu(TShellNew& helper, TMFList& list, HWND owner, int x, int y);

// Puts the "New" command (menu, Ctrl+H) in place; called once at start-up.
void InstallNewFileCommand();
