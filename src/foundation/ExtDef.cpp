#include "foundation/ExtDef.h"

#include "foundation/Folders.h"
#include "foundation/HanINI.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

THanPrograms Programs;

namespace {
// More entries than any editor makes; a damaged file cannot make loading run away.
constexpr int MaxEntries = 1024;
constexpr int FirstCommandNameId = 3201;
}  // namespace

std::vector<std::wstring> SplitExtensions(const std::wstring& list) {
  std::vector<std::wstring> out;
  std::wstring cur;
  auto flush = [&] {
    std::wstring e = cur;
    cur.clear();
    if (e.size() >= 2 && e[0] == L'*' && e[1] == L'.') e.erase(0, 2);
    while (!e.empty() && e[0] == L'.') e.erase(0, 1);
    if (!e.empty()) out.push_back(LowerCase(e));
  };
  for (wchar_t c : list) {
    if (c == L';' || c == L',' || c == L' ' || c == L'\t')
      flush();
    else
      cur += c;
  }
  flush();
  return out;
}

// ---- THanExtColor ----

bool THanExtColor::GetColor(const std::wstring& ext, TColor& color) const {
  if (FIndex.empty() || ext.empty()) return false;
  auto it = FIndex.find(LowerCase(ext));
  if (it == FIndex.end()) return false;
  color = it->second;
  return true;
}

void THanExtColor::Rebuild() {
  FIndex.clear();
  for (const auto& g : Groups)
    for (const auto& e : SplitExtensions(g.Ext)) FIndex.emplace(e, g.Color);
}

void THanExtColor::Read(THanINI& ini) {
  Groups.clear();
  for (int i = 1; i <= MaxEntries; ++i) {
    std::wstring ext;
    if (!ini.ReadRaw(L"ExtColor", L"Ext" + std::to_wstring(i), ext)) break;
    Groups.push_back({ext, ini.ReadColor(L"ExtColor", L"Color" + std::to_wstring(i), 0)});
  }
  Rebuild();
}

void THanExtColor::Write(THanINI& ini) const {
  for (size_t i = 0; i < Groups.size(); ++i) {
    ini.WriteString(L"ExtColor", L"Ext" + std::to_wstring(i + 1), Groups[i].Ext);
    ini.WriteColor(L"ExtColor", L"Color" + std::to_wstring(i + 1), Groups[i].Color);
  }
  for (size_t i = Groups.size() + 1;; ++i) {
    std::wstring v;
    if (!ini.ReadRaw(L"ExtColor", L"Ext" + std::to_wstring(i), v)) break;
    ini.DeleteKey(L"ExtColor", L"Ext" + std::to_wstring(i));
    ini.DeleteKey(L"ExtColor", L"Color" + std::to_wstring(i));
  }
}

// ---- THanPrograms ----

THanPrograms::THanPrograms() = default;

void THanPrograms::Rebuild() {
  FExtIndex.clear();
  for (size_t i = 0; i < ExtPrograms.size(); ++i)
    for (const auto& e : SplitExtensions(ExtPrograms[i].Ext)) {
      auto& list = FExtIndex[e];
      if (list.empty() || list.back() != static_cast<int>(i)) list.push_back(static_cast<int>(i));
    }
}

void THanPrograms::Load(const std::wstring& file) {
  FileName = file;
  THanINI ini(file);
  ini.ReadOnly = true;
  for (int s = 0; s < FunctionKeySlots; ++s) {
    std::wstring section = L"FKey" + std::to_wstring(s + 1);
    THanProgram& p = KeyPrograms[static_cast<size_t>(s)];
    p.Title = ini.ReadString(section, L"Title", L"");
    p.Command = ini.ReadString(section, L"Command", L"");
    p.CommandNo = ini.ReadIntegerMax(section, L"CommandNo", 0, NumberedCommandCount);
  }
  ExtPrograms.clear();
  for (int i = 1; i <= MaxEntries; ++i) {
    std::wstring section = L"Ext" + std::to_wstring(i);
    if (!ini.FindSection(section)) break;
    ExtPrograms.push_back({ini.ReadString(section, L"Ext", L""), ini.ReadString(section, L"Title", L""),
                           ini.ReadString(section, L"Command", L"")});
  }
  ExtColor.Read(ini);
  Rebuild();
}

void THanPrograms::LoadFromProgramFolder() { Load(ProgramFolder + L"Q7XPRG.CFN"); }

bool THanPrograms::Save() {
  THanINI ini(FileName.empty() ? ProgramFolder + L"Q7XPRG.CFN" : FileName);
  for (int s = 0; s < FunctionKeySlots; ++s) {
    std::wstring section = L"FKey" + std::to_wstring(s + 1);
    const THanProgram& p = KeyPrograms[static_cast<size_t>(s)];
    ini.WriteString(section, L"Title", p.Title);
    ini.WriteString(section, L"Command", p.Command);
    ini.WriteInteger(section, L"CommandNo", p.CommandNo);
  }
  for (size_t i = 0; i < ExtPrograms.size(); ++i) {
    std::wstring section = L"Ext" + std::to_wstring(i + 1);
    ini.WriteString(section, L"Ext", ExtPrograms[i].Ext);
    ini.WriteString(section, L"Title", ExtPrograms[i].Title);
    ini.WriteString(section, L"Command", ExtPrograms[i].Command);
  }
  // Sections of programs that were removed go, with their keys.
  for (size_t i = ExtPrograms.size() + 1;; ++i) {
    std::wstring section = L"Ext" + std::to_wstring(i);
    if (!ini.FindSection(section)) break;
    for (const wchar_t* key : {L"Ext", L"Title", L"Command"}) ini.DeleteKey(section, key);
    ini.PurgeSection(section);
  }
  ExtColor.Write(ini);
  bool ok = ini.UpdateFile();
  if (!ok) ini.ReadOnly = true;  // the destructor must not try again
  return ok;
}

void THanPrograms::InitCommandNames() {
  for (int i = 0; i < NumberedCommandCount; ++i) {
    LoadMessageText(FirstCommandNameId + i, CommandNames[static_cast<size_t>(i)]);
    LoadBuiltinMessageText(FirstCommandNameId + i, BuiltinCommandNames[static_cast<size_t>(i)]);
  }
}

std::vector<const TExtProgram*> THanPrograms::FindExtPrograms(const std::wstring& ext) const {
  std::vector<const TExtProgram*> out;
  if (ext.empty()) return out;
  auto it = FExtIndex.find(LowerCase(ext));
  if (it == FExtIndex.end()) return out;
  for (int i : it->second) out.push_back(&ExtPrograms[static_cast<size_t>(i)]);
  return out;
}

bool THanPrograms::HasExtProgram(const std::wstring& ext) const {
  return !ext.empty() && FExtIndex.count(LowerCase(ext)) != 0;
}

const THanProgram* THanPrograms::GetKeyProgram(int slot) const {
  if (slot < 0 || slot >= FunctionKeySlots) return nullptr;
  const THanProgram& p = KeyPrograms[static_cast<size_t>(slot)];
  return p.Bound() ? &p : nullptr;
}
