#include "foundation/HanINI.h"

#include "foundation/FileIO.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

namespace {
using TKind = TIniRec::TKind;

// Line breaks inside a stored name or value would turn into lines of their own in the file
// and so forge entries; they are stored as blanks.
std::wstring Sanitize(std::wstring_view s) {
  std::wstring r = Trim(s);
  for (auto& c : r)
    if (c == L'\r' || c == L'\n') c = L' ';
  return r;
}

int32_t Red(TColor c) { return c & 0xFF; }
int32_t Green(TColor c) { return (c >> 8) & 0xFF; }
int32_t Blue(TColor c) { return (c >> 16) & 0xFF; }

bool ParseInt(std::wstring_view s, int32_t& v) {
  bool ok;
  v = IniTryStrToInt(s, ok);
  return ok;
}
}  // namespace

TIniFont MakeIniFont(const std::wstring& name, int32_t size, uint8_t style, TColor color) {
  return TIniFont{name, size, style, color};
}
TIniRect MakeIniRect(int32_t left, int32_t top, int32_t right, int32_t bottom, bool flag) {
  return TIniRect{left, top, right, bottom, flag};
}

std::wstring ColorToIniText(TColor color) {
  if (color >= 0) {
    TColor rgb = ColorToRGB(color);
    return std::to_wstring(Red(rgb)) + L',' + std::to_wstring(Green(rgb)) + L',' + std::to_wstring(Blue(rgb));
  }
  // A system colour as its magnitude plus one, in 64 bits so that $80000000 stays exact.
  int64_t magnitude = -static_cast<int64_t>(color);
  return std::to_wstring(magnitude + 1);
}

TColor IniTextToColor(std::wstring_view text, TColor def) {
  size_t c1 = text.find(L',');
  if (c1 == std::wstring_view::npos) {
    // The single-number form of a system colour.
    bool ok;
    int64_t n = TryStrToInt64(Trim(text), ok);
    if (!ok || n < 2 || n > 0x80000001LL) return def;
    return static_cast<TColor>(-(n - 1));
  }
  size_t c2 = text.find(L',', c1 + 1);
  if (c2 == std::wstring_view::npos) return def;
  TColor d = ColorToRGB(def);
  int32_t r, g, b;
  if (!ParseInt(Trim(text.substr(0, c1)), r)) r = Red(d);
  if (!ParseInt(Trim(text.substr(c1 + 1, c2 - c1 - 1)), g)) g = Green(d);
  if (!ParseInt(Trim(text.substr(c2 + 1)), b)) b = Blue(d);
  return RGBColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

std::wstring FontToIniText(const TIniFont& font) {
  return font.Name + L',' + std::to_wstring(font.Size) + L',' + std::to_wstring(font.Style) + L',' +
         ColorToIniText(font.Color);
}

TIniFont IniTextToFont(std::wstring_view text, const TIniFont& def) {
  size_t c1 = text.find(L',');
  size_t c2 = c1 == std::wstring_view::npos ? c1 : text.find(L',', c1 + 1);
  size_t c3 = c2 == std::wstring_view::npos ? c2 : text.find(L',', c2 + 1);
  if (c3 == std::wstring_view::npos) return def;
  TIniFont f;
  f.Name = Trim(text.substr(0, c1));
  if (!ParseInt(Trim(text.substr(c1 + 1, c2 - c1 - 1)), f.Size)) f.Size = def.Size;
  int32_t style;
  f.Style = ParseInt(Trim(text.substr(c2 + 1, c3 - c2 - 1)), style) ? static_cast<uint8_t>(style & 0x0F) : 0;
  f.Color = IniTextToColor(Trim(text.substr(c3 + 1)), def.Color);
  return f;
}

std::wstring RectToIniText(const TIniRect& r) {
  return std::to_wstring(r.Left) + L',' + std::to_wstring(r.Top) + L',' + std::to_wstring(r.Right) + L',' +
         std::to_wstring(r.Bottom) + L',' + (r.Flag ? L"1" : L"0");
}

TIniRect IniTextToRect(std::wstring_view text, const TIniRect& def) {
  int32_t* fields[4];
  TIniRect r;
  fields[0] = &r.Left, fields[1] = &r.Top, fields[2] = &r.Right, fields[3] = &r.Bottom;
  const int32_t defs[4] = {def.Left, def.Top, def.Right, def.Bottom};
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    size_t c = text.find(L',', pos);
    if (c == std::wstring_view::npos) return def;
    if (!ParseInt(Trim(text.substr(pos, c - pos)), *fields[i])) *fields[i] = defs[i];
    pos = c + 1;
  }
  std::wstring rest = Trim(text.substr(pos));
  if (rest.empty()) return def;
  r.Flag = rest == L"1";
  return r;
}

// ---- THanINI ----

THanINI::THanINI(const std::wstring& fileName) : FileName(fileName) {
  Tree.OnDeleteNode = [](THanTree*, PHanNode, void* data) { delete static_cast<TIniRec*>(data); };
}

THanINI::~THanINI() {
  if (Modified && !ReadOnly) UpdateFile();
  Tree.Clear();
}

void THanINI::ResetLookups() {
  FEnumSection = nullptr;
  FEnumKey = 0;
  FEnumSectionIndex = 0;
  FLastSection = -1;
  FLastKey = -1;
}

PHanNode THanINI::AddRec(PHanNode parent, TIniRec rec) {
  return Tree.AddChild(parent, new TIniRec(std::move(rec)));
}

void THanINI::EnsureLoaded() {
  if (NeedLoad) Reload();
}

void THanINI::Reload() {
  Tree.Clear();
  ResetLookups();
  std::string bytes;
  if (!FileName.empty() && ReadFileBytes(FileName, bytes)) {
    LoadFromBytes(bytes);
  } else if (!FileName.empty() && !bytes.empty()) {
    LoadFromBytes(bytes);  // what could be read before the failure is kept
  }
  NeedLoad = false;
}

void THanINI::LoadFromBytes(std::string_view bytes) {
  Tree.Clear();
  ResetLookups();
  NeedLoad = false;
  const std::wstring text = DecodeText(bytes, Encoding);
  auto trim = [](std::wstring_view v) {
    size_t a = 0, b = v.size();
    while (a < b && v[a] <= L' ') ++a;
    while (b > a && v[b - 1] <= L' ') --b;
    return v.substr(a, b - a);
  };
  PHanNode section = nullptr;
  size_t i = 0, n = text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != L'\r' && text[j] != L'\n') ++j;
    std::wstring_view line = trim(std::wstring_view(text).substr(i, j - i));
    i = j;
    if (i < n && text[i] == L'\r') ++i;
    if (i < n && text[i] == L'\n') ++i;
    if (line.empty()) continue;
    if (line[0] == L';') {
      AddRec(section, TIniRec{std::wstring(line), L"", 1, TKind::Comment});
    } else if (line[0] == L'[') {
      if (line.size() >= 2 && line.back() == L']') {
        section = AddRec(nullptr, TIniRec{std::wstring(line.substr(1, line.size() - 2)), L"", 0, TKind::Section});
      }
    } else {
      size_t eq = line.find(L'=');
      if (eq != std::wstring_view::npos)
        AddRec(section, TIniRec{std::wstring(trim(line.substr(0, eq))), std::wstring(trim(line.substr(eq + 1))), 0,
                                TKind::Key});
    }
  }
}

std::wstring THanINI::BuildText() const {
  std::wstring out;
  const THanList& top = Tree.Root()->Children;
  auto entryLine = [](const TIniRec& r) { return r.Kind == TKind::Comment ? r.Name : r.Name + L'=' + r.Value; };
  for (int i = 0; i < top.Count(); ++i) {
    auto* node = static_cast<PHanNode>(top.Get(i));
    const TIniRec& rec = *Rec(node);
    if (rec.Name.empty()) continue;
    if (rec.Kind == TKind::Section) {
      out += L'[' + rec.Name + L"]\r\n";
      for (int k = 0; k < node->Children.Count(); ++k) {
        const TIniRec& e = *Rec(static_cast<PHanNode>(node->Children.Get(k)));
        if (!e.Name.empty()) out += entryLine(e) + L"\r\n";
      }
    } else {
      // A comment or a key line standing before the first section.
      out += entryLine(rec) + L"\r\n";
    }
    if (i != top.Count() - 1) out += L"\r\n";
  }
  return out;
}

std::string THanINI::SaveToBytes() { return EncodeText(BuildText(), Encoding); }

bool THanINI::UpdateFile() {
  if (NeedLoad || !Modified) return true;
  if (ReadOnly || FileName.empty()) return false;
  TTextEncoding enc = Encoding;
  std::string bytes = EncodeText(BuildText(), enc);
  if (!SafeWriteFile(FileName, bytes)) return false;
  Encoding = enc;
  const THanList& top = Tree.Root()->Children;
  for (int i = 0; i < top.Count(); ++i) {
    auto* node = static_cast<PHanNode>(top.Get(i));
    Rec(node)->Keep = 0;
    for (int k = 0; k < node->Children.Count(); ++k) Rec(static_cast<PHanNode>(node->Children.Get(k)))->Keep = 0;
  }
  Modified = false;
  return true;
}

PHanNode THanINI::FindSection(std::wstring_view name) {
  EnsureLoaded();
  if (FileName.empty()) return nullptr;
  const THanList& top = Tree.Root()->Children;
  auto matches = [&](int i) {
    const TIniRec& r = *Rec(static_cast<PHanNode>(top.Get(i)));
    return r.Kind != TKind::Key && SameTextI(r.Name, name);
  };
  if (FLastSection >= 0 && FLastSection < top.Count() && matches(FLastSection))
    return static_cast<PHanNode>(top.Get(FLastSection));
  for (int i = 0; i < top.Count(); ++i) {
    if (matches(i)) {
      if (i != FLastSection) FLastKey = -1;
      FLastSection = i;
      return static_cast<PHanNode>(top.Get(i));
    }
  }
  return nullptr;
}

PHanNode THanINI::FindKey(PHanNode section, std::wstring_view key) {
  if (!section) return nullptr;
  const THanList& ch = section->Children;
  auto matches = [&](int i) { return SameTextI(Rec(static_cast<PHanNode>(ch.Get(i)))->Name, key); };
  // Consecutive reads in file order find each key at the first comparison.
  ++FLastKey;
  if (FLastKey >= 0 && FLastKey < ch.Count() && matches(FLastKey)) return static_cast<PHanNode>(ch.Get(FLastKey));
  for (int i = 0; i < ch.Count(); ++i) {
    if (matches(i)) {
      FLastKey = i;
      return static_cast<PHanNode>(ch.Get(i));
    }
  }
  return nullptr;
}

bool THanINI::ReadRaw(std::wstring_view section, std::wstring_view key, std::wstring& value) {
  PHanNode k = FindKey(FindSection(section), key);
  if (!k) return false;
  value = Rec(k)->Value;
  return true;
}

void THanINI::WriteRaw(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
  PHanNode sec = FindSection(section);
  if (!sec) {
    EnsureLoaded();
    sec = AddRec(nullptr, TIniRec{Sanitize(section), L"", 0, TKind::Section});
    FLastSection = Tree.Root()->Children.Count() - 1;
    FLastKey = -1;
    Modified = true;
  }
  std::wstring k = Sanitize(key), v = Sanitize(value);
  PHanNode node = FindKey(sec, key);
  if (!node) {
    AddRec(sec, TIniRec{k, v, 1, TKind::Key});
    FLastKey = sec->Children.Count() - 1;
    Modified = true;
    return;
  }
  TIniRec& rec = *Rec(node);
  // A change of letter case alone is stored but does not make the file modified.
  if (!Modified && !(SameTextI(rec.Name, k) && CompareAsciiI(rec.Value, v) == 0)) Modified = true;
  rec.Name = std::move(k);
  rec.Value = std::move(v);
  rec.Keep = 1;
}

void THanINI::DeleteKey(std::wstring_view section, std::wstring_view key) {
  PHanNode node = FindKey(FindSection(section), key);
  if (!node) return;
  Tree.DeleteNode(node);
  FLastKey = -1;
  Modified = true;
}

void THanINI::PurgeNode(PHanNode section) {
  for (int i = section->Children.Count() - 1; i >= 0; --i) {
    auto* e = static_cast<PHanNode>(section->Children.Get(i));
    if (Rec(e)->Keep == 0) {
      Tree.DeleteNode(e);
      Modified = true;
    }
  }
  if (section->Children.Count() == 0) {
    Tree.DeleteNode(section);
    Modified = true;
  }
}

void THanINI::PurgeSection(std::wstring_view name) {
  PHanNode sec = FindSection(name);
  if (!sec) return;
  PurgeNode(sec);
  ResetLookups();
}

void THanINI::PurgeAll() {
  EnsureLoaded();
  const THanList& top = Tree.Root()->Children;
  for (int i = top.Count() - 1; i >= 0; --i) PurgeNode(static_cast<PHanNode>(top.Get(i)));
  ResetLookups();
}

void THanINI::Clear() {
  if (Tree.Count() > 0) Modified = true;
  Tree.Clear();
  ResetLookups();
}

bool THanINI::FindFirstSection(std::wstring& name) {
  EnsureLoaded();
  FEnumSectionIndex = 0;
  return FindNextSection(name);
}

bool THanINI::FindNextSection(std::wstring& name) {
  const THanList& top = Tree.Root()->Children;
  while (FEnumSectionIndex < top.Count()) {
    const TIniRec& r = *Rec(static_cast<PHanNode>(top.Get(FEnumSectionIndex++)));
    if (r.Kind == TKind::Key) continue;
    name = r.Name;
    return true;
  }
  return false;
}

bool THanINI::FindFirstKey(std::wstring_view section, std::wstring& key, std::wstring& value) {
  FEnumSection = FindSection(section);
  FEnumKey = 0;
  return FindNextKey(key, value);
}

bool THanINI::FindNextKey(std::wstring& key, std::wstring& value) {
  if (!FEnumSection) return false;
  const THanList& ch = FEnumSection->Children;
  while (FEnumKey < ch.Count()) {
    const TIniRec& r = *Rec(static_cast<PHanNode>(ch.Get(FEnumKey++)));
    if (r.Name.empty() || r.Name[0] == L';') continue;
    key = r.Name;
    value = r.Value;
    return true;
  }
  return false;
}

bool THanINI::ReadBool(std::wstring_view section, std::wstring_view key, bool def) {
  std::wstring v;
  return ReadRaw(section, key, v) ? v == L"1" : def;
}

int32_t THanINI::ReadInteger(std::wstring_view section, std::wstring_view key, int32_t def) {
  std::wstring v;
  int32_t n;
  return ReadRaw(section, key, v) && ParseInt(v, n) ? n : def;
}

int32_t THanINI::ReadIntegerMax(std::wstring_view section, std::wstring_view key, int32_t def, int32_t max) {
  int32_t n = ReadInteger(section, key, def);
  return (n >= 0 && n <= max) ? n : def;
}

std::wstring THanINI::ReadString(std::wstring_view section, std::wstring_view key, std::wstring_view def) {
  std::wstring v;
  return ReadRaw(section, key, v) ? v : std::wstring(def);
}

TIniFont THanINI::ReadFont(std::wstring_view section, std::wstring_view key, const TIniFont& def) {
  std::wstring v;
  return ReadRaw(section, key, v) ? IniTextToFont(v, def) : def;
}

TColor THanINI::ReadColor(std::wstring_view section, std::wstring_view key, TColor def) {
  std::wstring v;
  return ReadRaw(section, key, v) ? IniTextToColor(v, def) : def;
}

TIniRect THanINI::ReadRect(std::wstring_view section, std::wstring_view key, const TIniRect& def) {
  std::wstring v;
  return ReadRaw(section, key, v) ? IniTextToRect(v, def) : def;
}

void THanINI::WriteBool(std::wstring_view section, std::wstring_view key, bool value) {
  WriteRaw(section, key, value ? L"1" : L"0");
}
void THanINI::WriteInteger(std::wstring_view section, std::wstring_view key, int32_t value) {
  WriteRaw(section, key, std::to_wstring(value));
}
void THanINI::WriteString(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
  WriteRaw(section, key, value);
}
void THanINI::WriteStringOrDelete(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
  if (value.empty())
    DeleteKey(section, key);
  else
    WriteRaw(section, key, value);
}
void THanINI::WriteFont(std::wstring_view section, std::wstring_view key, const TIniFont& value) {
  WriteRaw(section, key, FontToIniText(value));
}
void THanINI::WriteColor(std::wstring_view section, std::wstring_view key, TColor value) {
  WriteRaw(section, key, ColorToIniText(value));
}
void THanINI::WriteColorDefault(std::wstring_view section, std::wstring_view key, TColor def, TColor color) {
  if (ColorToRGB(def) == ColorToRGB(color))
    DeleteKey(section, key);
  else
    WriteColor(section, key, color);
}
void THanINI::WriteRect(std::wstring_view section, std::wstring_view key, const TIniRect& value) {
  WriteRaw(section, key, RectToIniText(value));
}
