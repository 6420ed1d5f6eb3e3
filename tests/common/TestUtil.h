#pragma once
// Helpers shared by the tests: a scratch folder that is removed afterwards, and file access.
#include <string>
#include <string_view>
#include <vector>

#include "foundation/FileIO.h"

// A fresh, empty folder under the system's temporary folder; removed with its content when
// the object goes. Path() ends without a separator.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::wstring& Path() const { return FPath; }
  // Path() joined with a relative name.
  std::wstring operator/(std::wstring_view name) const;

 private:
  std::wstring FPath;
};

// Removes a folder with everything in it, read-only files too, giving up after about a second
// on what stays in use (a program a test started may still be closing in it). Never waits
// longer: a folder left behind in the temporary folder is better than a hung run.
void RemoveTree(const std::wstring& folder);

// Writes bytes to a file as they are (no safe replacement): test fixtures.
bool WriteFileRaw(const std::wstring& path, std::string_view bytes);
std::string ReadFileRaw(const std::wstring& path);
// The names in a folder (given with or without its trailing separator), sorted.
std::vector<std::wstring> FolderNames(const std::wstring& folder);
// The source tree's fixture folder joined with name.
std::wstring FixturePath(std::wstring_view name);
