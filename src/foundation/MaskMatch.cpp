#include "foundation/MaskMatch.h"

#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

bool WildcardMatch(std::wstring_view p, std::wstring_view s) {
  // Greedy matching with one back-tracking point: the last "*" seen. Linear in practice and
  // never worse than |p| * |s|, whatever the pattern.
  size_t pi = 0, si = 0, starP = std::wstring_view::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && (p[pi] == L'?' || p[pi] == s[si])) {
      ++pi;
      ++si;
    } else if (pi < p.size() && p[pi] == L'*') {
      starP = pi++;
      starS = si;
    } else if (starP != std::wstring_view::npos) {
      pi = starP + 1;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == L'*') ++pi;
  return pi == p.size();
}

void TMaskList::Assign(std::wstring_view list) {
  FPatterns.clear();
  FAll = false;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(L';', start);
    if (end == std::wstring_view::npos) end = list.size();
    std::wstring pattern = Trim(list.substr(start, end - start));
    if (!pattern.empty()) {
      if (pattern == L"*" || pattern == L"*.*") FAll = true;
      FPatterns.push_back(UpperCase(pattern));
    }
    start = end + 1;
  }
  if (FPatterns.empty()) FAll = true;
}

bool TMaskList::Matches(std::wstring_view name) const {
  if (FAll) return true;
  std::wstring upper = UpperCase(name);
  bool hasDot = upper.find(L'.') != std::wstring::npos;
  for (const auto& p : FPatterns) {
    if (WildcardMatch(p, upper)) return true;
    if (!hasDot && p.size() >= 2 && p.compare(p.size() - 2, 2, L".*") == 0 &&
        WildcardMatch(std::wstring_view(p).substr(0, p.size() - 2), upper))
      return true;
  }
  return false;
}

bool MatchesMaskList(std::wstring_view name, std::wstring_view list) { return TMaskList(list).Matches(name); }
