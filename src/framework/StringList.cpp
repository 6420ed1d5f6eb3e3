#include "framework/StringList.h"

#include <stdexcept>
#include <utility>

#include "framework/QuickSort.h"
#include "framework/TextCompare.h"

int TStringList::CompareStrings(const std::wstring& a, const std::wstring& b) const {
  return FCaseSensitive ? CompareTextS(a, b) : CompareTextI(a, b);
}

void TStringList::Put(int i, const std::wstring& s) {
  if (FSorted) throw std::runtime_error("Operation not allowed on sorted list");
  FItems[static_cast<size_t>(i)].S = s;
}

int TStringList::Add(const std::wstring& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::wstring& s, void* o) {
  int index;
  if (!FSorted) {
    index = Count();
  } else if (Find(s, index)) {
    if (Duplicates == TDuplicates::dupIgnore) return index;
    if (Duplicates == TDuplicates::dupError) throw std::runtime_error("String list does not allow duplicates");
  }
  FItems.insert(FItems.begin() + index, Item{s, o});
  return index;
}

void TStringList::AddStrings(const TStringList& other) {
  for (int i = 0; i < other.Count(); ++i) AddObject(other[i], other.GetObject(i));
}

void TStringList::Insert(int i, const std::wstring& s) { InsertObject(i, s, nullptr); }

void TStringList::InsertObject(int i, const std::wstring& s, void* o) {
  if (FSorted) throw std::runtime_error("Operation not allowed on sorted list");
  if (i < 0 || i > Count()) throw std::out_of_range("List index out of bounds");
  FItems.insert(FItems.begin() + i, Item{s, o});
}

void TStringList::Delete(int i) {
  if (i < 0 || i >= Count()) throw std::out_of_range("List index out of bounds");
  FItems.erase(FItems.begin() + i);
}

void TStringList::Clear() { FItems.clear(); }

void TStringList::Exchange(int a, int b) {
  std::swap(FItems.at(static_cast<size_t>(a)), FItems.at(static_cast<size_t>(b)));
}

void TStringList::Move(int from, int to) {
  if (from == to) return;
  Item it = FItems.at(static_cast<size_t>(from));
  FItems.erase(FItems.begin() + from);
  FItems.insert(FItems.begin() + to, std::move(it));
}

int TStringList::IndexOf(const std::wstring& s) const {
  if (FSorted) {
    int i;
    return Find(s, i) ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(FItems[static_cast<size_t>(i)].S, s) == 0) return i;
  return -1;
}

bool TStringList::Find(const std::wstring& s, int& index) const {
  int l = 0, h = Count() - 1;
  bool found = false;
  while (l <= h) {
    int m = l + (h - l) / 2;
    int c = CompareStrings(FItems[static_cast<size_t>(m)].S, s);
    if (c < 0) {
      l = m + 1;
    } else {
      h = m - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != TDuplicates::dupAccept) l = m;
      }
    }
  }
  index = l;
  return found;
}

int TStringList::IndexOfName(const std::wstring& name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::wstring& s = FItems[static_cast<size_t>(i)].S;
    size_t p = s.find(NameValueSeparator);
    if (p != std::wstring::npos && CompareStrings(s.substr(0, p), name) == 0) return i;
  }
  return -1;
}

std::wstring TStringList::Names(int i) const {
  const std::wstring& s = Get(i);
  size_t p = s.find(NameValueSeparator);
  return p == std::wstring::npos ? std::wstring() : s.substr(0, p);
}

std::wstring TStringList::ValueFromIndex(int i) const {
  const std::wstring& s = Get(i);
  size_t p = s.find(NameValueSeparator);
  return p == std::wstring::npos ? std::wstring() : s.substr(p + 1);
}

std::wstring TStringList::Values(const std::wstring& name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::wstring() : ValueFromIndex(i);
}

void TStringList::SetValue(const std::wstring& name, const std::wstring& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::wstring line = name + NameValueSeparator + value;
  if (i < 0) {
    Add(line);
  } else if (FSorted) {
    Delete(i);
    Add(line);
  } else {
    Put(i, line);
  }
}

std::wstring TStringList::Text() const {
  std::wstring r;
  for (const auto& it : FItems) {
    r += it.S;
    r += L"\r\n";
  }
  return r;
}

void TStringList::SetText(const std::wstring& text) {
  Clear();
  size_t i = 0, n = text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != L'\r' && text[j] != L'\n') ++j;
    Add(text.substr(i, j - i));
    if (j < n && text[j] == L'\r') ++j;
    if (j < n && text[j] == L'\n') ++j;
    i = j;
  }
}

std::wstring TStringList::DelimitedText() const {
  std::wstring r;
  for (int i = 0; i < Count(); ++i) {
    const std::wstring& s = Get(i);
    bool quote = false;
    for (wchar_t c : s)
      if (c == Delimiter || c == QuoteChar || (!StrictDelimiter && c <= L' ')) quote = true;
    if (i) r += Delimiter;
    if (quote) {
      r += QuoteChar;
      for (wchar_t c : s) {
        if (c == QuoteChar) r += QuoteChar;
        r += c;
      }
      r += QuoteChar;
    } else {
      r += s;
    }
  }
  return r;
}

void TStringList::SetDelimitedText(const std::wstring& text) {
  Clear();
  size_t i = 0, n = text.size();
  auto isBlank = [&](wchar_t c) { return !StrictDelimiter && c > 0 && c <= L' '; };
  while (i < n && isBlank(text[i])) ++i;
  while (i < n) {
    std::wstring piece;
    if (text[i] == QuoteChar) {
      ++i;
      while (i < n) {
        if (text[i] == QuoteChar) {
          if (i + 1 < n && text[i + 1] == QuoteChar) {
            piece += QuoteChar;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        piece += text[i++];
      }
    } else {
      while (i < n && text[i] != Delimiter && !isBlank(text[i])) piece += text[i++];
    }
    Add(piece);
    while (i < n && isBlank(text[i])) ++i;
    if (i < n && text[i] == Delimiter) {
      ++i;
      while (i < n && isBlank(text[i])) ++i;
      if (i == n) Add(L"");
    }
  }
}

std::wstring TStringList::CommaText() const {
  TStringList copy(*this);
  copy.Delimiter = L',';
  copy.QuoteChar = L'"';
  copy.StrictDelimiter = false;
  return copy.DelimitedText();
}

void TStringList::SetCommaText(const std::wstring& text) {
  wchar_t d = Delimiter, q = QuoteChar;
  bool strict = StrictDelimiter;
  Delimiter = L',';
  QuoteChar = L'"';
  StrictDelimiter = false;
  SetDelimitedText(text);
  Delimiter = d;
  QuoteChar = q;
  StrictDelimiter = strict;
}

void TStringList::SetSorted(bool v) {
  if (v && !FSorted) Sort();
  FSorted = v;
}

void TStringList::SetCaseSensitive(bool v) {
  if (v == FCaseSensitive) return;
  FCaseSensitive = v;
  if (FSorted) Sort();
}

void TStringList::Sort() {
  CustomSort([](const TStringList& l, int a, int b) { return l.CompareStrings(l[a], l[b]); });
}

void TStringList::CustomSort(const TCompare& compare) {
  if (Count() > 1)
    QuickSortRange(
        0, Count() - 1, [&](int a, int b) { return compare(*this, a, b); },
        [&](int a, int b) { std::swap(FItems[static_cast<size_t>(a)], FItems[static_cast<size_t>(b)]); });
}
