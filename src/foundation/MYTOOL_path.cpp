// Path text routines: pure string work, no file system access.
#include "foundation/MYTOOL.h"

namespace {
bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of the root prefix as it stands in the (trimmed) path, without the trailing "\":
// "C:" -> 2, "\\srv\share" -> 11; 0 when the path has no root. `full` is the root text
// with its trailing "\".
size_t RootSpan(std::wstring_view p, std::wstring* full = nullptr) {
  if (p.size() >= 2 && p[1] == L':' && IsDriveLetter(p[0])) {
    if (full) *full = std::wstring(p.substr(0, 2)) + L'\\';
    return 2;
  }
  if (p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\') {
    size_t server = p.find(L'\\', 2);
    if (server == std::wstring_view::npos || server == 2) return 0;
    size_t share = p.find(L'\\', server + 1);
    if (share == std::wstring_view::npos) share = p.size();
    if (share == server + 1) return 0;
    if (full) *full = std::wstring(p.substr(0, share)) + L'\\';
    return share;
  }
  return 0;
}

// The components after the root, empty pieces (doubled or trailing "\") skipped.
template <class F>
void ForEachComponent(std::wstring_view p, size_t from, F&& f) {
  size_t i = from;
  while (i < p.size()) {
    while (i < p.size() && p[i] == L'\\') ++i;
    if (i >= p.size()) break;
    size_t j = p.find(L'\\', i);
    if (j == std::wstring_view::npos) j = p.size();
    if (!f(p.substr(i, j - i), j)) return;
    i = j;
  }
}
}  // namespace

std::wstring ExtractPathRoot(std::wstring_view path) {
  std::wstring t = Trim(path), root;
  RootSpan(t, &root);
  return root;
}

bool IsUncPath(std::wstring_view path) {
  std::wstring root = ExtractPathRoot(path);
  return root.size() > 3 && root[0] == L'\\';
}

std::wstring ExtractParentDir(std::wstring_view path) {
  size_t root = RootSpan(path);
  size_t end = path.size();
  while (end > root && path[end - 1] == L'\\') --end;  // trailing separators
  size_t slash = path.substr(0, end).rfind(L'\\');
  if (root) {
    if (slash == std::wstring_view::npos || slash <= root) return std::wstring(path.substr(0, root));
  } else if (slash == std::wstring_view::npos) {
    return L"";
  }
  while (slash > root && path[slash - 1] == L'\\') --slash;
  return std::wstring(path.substr(0, slash));
}

int GetPathDepth(std::wstring_view path) {
  size_t root = RootSpan(path);
  if (!root) return 0;
  int n = 0;
  ForEachComponent(path, root, [&](std::wstring_view, size_t) { return ++n, true; });
  return n;
}

std::wstring ExtractPathLevels(std::wstring_view path, int n) {
  size_t root = RootSpan(path);
  if (!root || n < 0) return L"";
  if (n == 0) return std::wstring(path.substr(0, root));
  int k = 0;
  size_t endAt = 0;
  ForEachComponent(path, root, [&](std::wstring_view, size_t end) {
    if (++k == n) {
      endAt = end;
      return false;
    }
    return true;
  });
  return k == n ? std::wstring(path.substr(0, endAt)) : L"";
}

std::wstring ExtractPathLevelName(std::wstring_view path, int n) {
  size_t root = RootSpan(path);
  if (n < 0) return L"";
  if (n == 0) return std::wstring(path.substr(0, root));
  if (!root) return L"";
  int k = 0;
  std::wstring name;
  ForEachComponent(path, root, [&](std::wstring_view c, size_t) {
    if (++k == n) {
      name = c;
      return false;
    }
    return true;
  });
  return name;
}

std::wstring ExtractNthComponent(std::wstring_view path, int n) {
  if (n < 0) return L"";
  size_t i = 0;
  for (int k = 0;; ++k) {
    size_t j = path.find(L'\\', i);
    if (k == n) return std::wstring(path.substr(i, j == std::wstring_view::npos ? std::wstring_view::npos : j - i));
    if (j == std::wstring_view::npos) return L"";
    i = j + 1;
  }
}

std::wstring IncludeTrailingBackslash(std::wstring_view path) {
  std::wstring r(path);
  if (!r.empty() && r.back() != L'\\') r += L'\\';
  return r;
}

std::wstring ExcludeTrailingBackslash(std::wstring_view path) {
  std::wstring r(path);
  if (!r.empty() && r.back() == L'\\') r.pop_back();
  return r;
}

std::wstring ExcludeTrailingBackslashKeepRoot(std::wstring_view path) {
  if (path.size() == 3 && path[1] == L':' && path[2] == L'\\' && IsDriveLetter(path[0])) return std::wstring(path);
  return ExcludeTrailingBackslash(path);
}

std::wstring ExtractNameNoExt(std::wstring_view path, bool keepPath) {
  size_t nameStart = path.find_last_of(L"\\:");
  nameStart = nameStart == std::wstring_view::npos ? 0 : nameStart + 1;
  size_t dot = path.rfind(L'.');
  size_t end = (dot != std::wstring_view::npos && dot > nameStart) ? dot : path.size();
  return std::wstring(path.substr(keepPath ? 0 : nameStart, end - (keepPath ? 0 : nameStart)));
}

bool HasWildcards(std::wstring_view path) {
  if (path.starts_with(L"\\\\?\\")) path.remove_prefix(4);
  return path.find_first_of(L"*?") != std::wstring_view::npos;
}

bool IsPathRoot(std::wstring_view path) {
  size_t root = RootSpan(path);
  if (!root) return false;
  return path.size() == root || (path.size() == root + 1 && path[root] == L'\\');
}
