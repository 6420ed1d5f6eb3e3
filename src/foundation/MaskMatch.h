#pragma once
// File masks: a ";"-separated list of wildcard patterns ("*.txt; *.doc"), matched against a
// file name without letter case. "*" stands for any run of characters, "?" for exactly one.
// A pattern ending in ".*" also matches a name without any dot ("readme" matches "*.*"), as
// file masks always did. An empty list, or one holding "*" or "*.*", matches every name.
#include <string>
#include <string_view>
#include <vector>

class TMaskList {
 public:
  TMaskList() = default;
  explicit TMaskList(std::wstring_view list) { Assign(list); }
  void Assign(std::wstring_view list);
  bool Matches(std::wstring_view name) const;
  bool MatchesAll() const { return FAll; }

 private:
  std::vector<std::wstring> FPatterns;  // upper-cased
  bool FAll = true;
};

// One pattern against one name, both already in the same letter case.
bool WildcardMatch(std::wstring_view pattern, std::wstring_view name);
// The list matching in one call.
bool MatchesMaskList(std::wstring_view name, std::wstring_view list);
