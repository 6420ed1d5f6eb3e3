#include "panels/MDescMan.h"

#include <algorithm>

#include "foundation/FileIO.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

TDescOptions DescOptions;

namespace {
constexpr wchar_t kFileName[] = L"DESCRIPT.ION";

bool Less(std::wstring_view a, std::wstring_view b) { return CompareTextI(a, b) < 0; }

// A line break or any other control character inside a name or a text would end the line
// early when written, and what followed could pass for a record of another file: each becomes
// a blank.
std::wstring Clean(std::wstring_view s) {
  std::wstring r(s);
  for (auto& c : r)
    if (c < L' ' || c == 0x7F) c = L' ';
  return r;
}

// At most MaxFieldLength characters, never half of a surrogate pair, trimmed.
std::wstring Fit(std::wstring s) {
  s = Trim(s);
  if (s.size() > THanDescMan::MaxFieldLength) {
    size_t n = THanDescMan::MaxFieldLength;
    if (s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF) --n;
    s = TrimRight(std::wstring_view(s).substr(0, n));
  }
  return s;
}

std::wstring FilePart(std::wstring_view s) {
  size_t p = s.find_last_of(L"\\/:");
  return std::wstring(p == std::wstring_view::npos ? s : s.substr(p + 1));
}

// A record's name. No file name holds a double quote; one in a name (from a damaged line or an
// archive listing) could not be written back so that it reads as the same name, so it becomes
// a blank like the control characters.
std::wstring KeyName(std::wstring_view s) {
  std::wstring r = Clean(s);
  for (auto& c : r)
    if (c == L'"') c = L' ';
  return Fit(FilePart(Trim(r)));
}
}  // namespace

THanDescMan::THanDescMan(const std::wstring& folder) : THanDescMan(folder, CurrentDescOptions()) {}

THanDescMan::THanDescMan(const std::wstring& folder, const TDescOptions& options) : Options(options), FFolder(folder) {
  if (FFolder.empty() || FFolder.back() != L'\\') FFolder += L'\\';
  FFileName = FFolder + kFileName;
  Modified = false;
  Load();
  Sort();
  RemoveDuplicates();
}

THanDescMan::~THanDescMan() {
  if (Modified) Save();
}

void THanDescMan::Clear() { FRecords.clear(); }

bool THanDescMan::ParseLine(std::wstring_view line, std::wstring& name, std::wstring& desc) {
  name.clear();
  desc.clear();
  std::wstring text = Trim(line);
  if (text.empty()) return false;
  std::wstring_view rest = text;
  bool taken = false;
  if (rest.front() == L'"') {
    rest.remove_prefix(1);
    size_t q = rest.find(L'"');
    if (q != std::wstring_view::npos) {
      name = rest.substr(0, q);
      rest.remove_prefix(q + 1);
      taken = true;
    }
  }
  if (!taken) {
    size_t b = rest.find(L' ');
    if (b == std::wstring_view::npos) return false;
    name = rest.substr(0, b);
    rest.remove_prefix(b + 1);
  }
  size_t eot = rest.find(L'\x04');
  if (eot != std::wstring_view::npos) rest = rest.substr(0, eot);
  desc = rest;
  return !name.empty() && !desc.empty();
}

void THanDescMan::LoadFromBytes(std::string_view bytes) {
  Clear();
  std::wstring text = DecodeText(bytes, Encoding);
  std::wstring name, desc;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    if (ParseLine(std::wstring_view(text).substr(start, end - start), name, desc)) {
      auto rec = std::make_unique<TDescRecord>();
      rec->Name = KeyName(name);
      rec->Desc = Fit(Clean(desc));
      if (!rec->Name.empty() && !rec->Desc.empty()) FRecords.push_back(std::move(rec));
    }
    start = end + 1;
  }
  // Stable, so that of two lines for one name the later one sorts last and stays.
  Sort();
  Modified = false;
}

void THanDescMan::Load() {
  Clear();
  Encoding = TTextEncoding::Utf8;
  if (!FileExistsPlain(FFileName)) return;
  std::string bytes;
  ReadFileBytes(FFileName, bytes);  // what could be read before an error still counts
  LoadFromBytes(bytes);
}

std::string THanDescMan::SaveToBytes() {
  std::wstring text;
  for (size_t i = FRecords.size(); i-- > 0;) {
    const TDescRecord& r = *FRecords[i];
    if (r.Name.find(L' ') != std::wstring::npos)
      text += L"\"" + r.Name + L"\" ";
    else
      text += r.Name + L" ";
    text += r.Desc + L"\r\n";
  }
  // Other programs read descriptions in the system code page, whatever form the file had.
  return EncodeForCodePageReaders(text, Encoding);
}

bool THanDescMan::Save() {
  Modified = false;
  bool exists = FileExistsPlain(FFileName);
  if (exists) {
    if (!DescSetArchiveOnly(FFileName)) return false;
    if (FRecords.empty()) return DescDeleteFile(FFileName);
  }
  if (FRecords.empty()) return true;
  if (!SafeWriteFile(FFileName, SaveToBytes())) return false;
  if (Options.DescHidden) DescSetHidden(FFileName);
  return true;
}

void THanDescMan::Sort() {
  std::stable_sort(FRecords.begin(), FRecords.end(), [](const auto& a, const auto& b) { return Less(a->Name, b->Name); });
}

void THanDescMan::RemoveDuplicates() {
  // Of a run of equal names the last record stays.
  size_t kept = 0;
  for (size_t i = 0; i < FRecords.size(); ++i) {
    bool last = i + 1 == FRecords.size() || !SameTextI(FRecords[i]->Name, FRecords[i + 1]->Name);
    if (last)
      FRecords[kept++] = std::move(FRecords[i]);
    else
      Modified = true;
  }
  FRecords.resize(kept);
}

int THanDescMan::LowerBound(std::wstring_view name) const {
  auto it = std::lower_bound(FRecords.begin(), FRecords.end(), name,
                             [](const auto& rec, std::wstring_view n) { return Less(rec->Name, n); });
  return it == FRecords.end() ? -1 : static_cast<int>(it - FRecords.begin());
}

int THanDescMan::Search(std::wstring_view name) const {
  int i = LowerBound(name);
  return i >= 0 && SameTextI(FRecords[static_cast<size_t>(i)]->Name, name) ? i : -1;
}

int THanDescMan::Find(const std::wstring& longName, const std::wstring& shortName) const {
  int r = -1;
  if (!longName.empty()) r = Search(longName);
  if (r < 0 && Options.DescShortRead && !shortName.empty()) r = Search(shortName);
  return r;
}

void THanDescMan::Add(const std::wstring& name, const std::wstring& text) {
  std::wstring key = KeyName(name), desc = Fit(Clean(text));
  if (key.empty() || desc.empty()) return;
  int pos = LowerBound(key);
  if (pos >= 0 && SameTextI(FRecords[static_cast<size_t>(pos)]->Name, key)) {
    *FRecords[static_cast<size_t>(pos)] = TDescRecord{key, desc, L""};
  } else {
    auto rec = std::make_unique<TDescRecord>(TDescRecord{key, desc, L""});
    if (pos < 0)
      FRecords.push_back(std::move(rec));
    else
      FRecords.insert(FRecords.begin() + pos, std::move(rec));
  }
  Modified = true;
}

void THanDescMan::GetDescription(const std::wstring& longName, const std::wstring& shortName,
                                 std::wstring& text) const {
  int i = Find(longName, shortName);
  text = i >= 0 ? FRecords[static_cast<size_t>(i)]->Desc : std::wstring();
}

void THanDescMan::SetDescription(const std::wstring& longName, const std::wstring& shortName,
                                 const std::wstring& text) {
  std::wstring desc = Fit(Clean(text));
  std::wstring key = KeyName(longName);
  if (key.empty()) return;
  std::wstring shortKey = Trim(shortName);
  const std::wstring& addKey = ShortNameMode() && !shortKey.empty() ? shortKey : key;
  int i = Find(key, shortKey);
  if (i < 0) {
    Add(addKey, desc);
    return;
  }
  TDescRecord& rec = *FRecords[static_cast<size_t>(i)];
  if (desc.empty()) {
    FRecords.erase(FRecords.begin() + i);
    Modified = true;
    return;
  }
  if ((ShortNameMode() && SameTextI(rec.Name, key)) || (!shortKey.empty() && SameTextI(rec.Name, shortKey))) {
    FRecords.erase(FRecords.begin() + i);
    Modified = true;
    Add(addKey, desc);
    return;
  }
  if (rec.Desc != desc) {
    rec.Desc = desc;
    Modified = true;
  }
}

void THanDescMan::Delete(const std::wstring& longName, const std::wstring& shortName) {
  int i = Find(longName, shortName);
  if (i < 0) return;
  FRecords.erase(FRecords.begin() + i);
  Modified = true;
}

bool THanDescMan::SetNewName(const std::wstring& oldLong, const std::wstring& oldShort, const std::wstring& newLong,
                             const std::wstring& newShort) {
  int i = Find(oldLong, oldShort);
  if (i < 0) return false;
  std::wstring s = KeyName(newShort);
  FRecords[static_cast<size_t>(i)]->PendingName = ShortNameMode() && !s.empty() ? s : KeyName(newLong);
  Modified = true;
  return true;
}

void THanDescMan::ApplyRenames() {
  std::vector<bool> renamed;
  renamed.reserve(FRecords.size());
  bool any = false;
  for (auto& rec : FRecords) {
    bool r = !rec->PendingName.empty();
    if (r) {
      rec->Name = std::move(rec->PendingName);
      rec->PendingName.clear();
      any = true;
    }
    renamed.push_back(r);
  }
  if (!any) return;
  // Sort with the renamed records after any other record of the same name, so that removing
  // duplicates keeps the renamed one.
  std::vector<size_t> order(FRecords.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    int c = CompareTextI(FRecords[a]->Name, FRecords[b]->Name);
    return c != 0 ? c < 0 : (!renamed[a] && renamed[b]);
  });
  std::vector<std::unique_ptr<TDescRecord>> sorted;
  sorted.reserve(FRecords.size());
  for (size_t i : order) sorted.push_back(std::move(FRecords[i]));
  FRecords = std::move(sorted);
  RemoveDuplicates();
}

void THanDescMan::PurgeMissing() {
  size_t kept = 0;
  for (size_t i = 0; i < FRecords.size(); ++i) {
    if (DescPathExists(FFolder + FRecords[i]->Name))
      FRecords[kept++] = std::move(FRecords[i]);
    else
      Modified = true;
  }
  FRecords.resize(kept);
}
