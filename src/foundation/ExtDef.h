#pragma once
// The programs bound to file extensions and to the 18 function-key slots, the names of the 38
// numbered commands, and the colours of file names by extension, all kept in Q7XPRG.CFN.
//
// File layout (INI text):
//   [FKey1] .. [FKey18]   one per function-key slot: Title, Command (a command-line template),
//                         CommandNo (1..38: a numbered command instead of a command line; 0 none)
//   [Ext1] .. [ExtN]      one per extension program, in the order the choice pop-up lists them:
//                         Ext (extensions separated by ";", "," or blanks), Title, Command
//   [ExtColor]            Ext1=extensions, Color1=red,green,blue, then Ext2/Color2 ...
// Numbering ends at the first missing entry.
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/Colors.h"

class THanINI;

constexpr int FunctionKeySlots = 18;
constexpr int NumberedCommandCount = 38;

struct THanProgram {
  std::wstring Title;
  std::wstring Command;
  int32_t CommandNo = 0;
  bool Bound() const { return !Command.empty() || CommandNo != 0; }
  bool operator==(const THanProgram&) const = default;
};

struct TExtProgram {
  std::wstring Ext;
  std::wstring Title;
  std::wstring Command;
  bool operator==(const TExtProgram&) const = default;
};

struct TExtColorGroup {
  std::wstring Ext;
  TColor Color = 0;
  bool operator==(const TExtColorGroup&) const = default;
};

// The single extensions of an extension list, lower-cased, without dots or "*.".
std::vector<std::wstring> SplitExtensions(const std::wstring& list);

class THanExtColor {
 public:
  // The colour of the first group naming the extension (without dot, any letter case).
  bool GetColor(const std::wstring& ext, TColor& color) const;
  void Read(THanINI& ini);
  void Write(THanINI& ini) const;
  // Call after changing Groups.
  void Rebuild();
  std::vector<TExtColorGroup> Groups;

 private:
  std::unordered_map<std::wstring, TColor> FIndex;
};

class THanPrograms {
 public:
  THanPrograms();
  // Reads Q7XPRG.CFN (a missing file gives no programs and no colours).
  void Load(const std::wstring& file);
  void LoadFromProgramFolder();
  // Writes the file through the safe replacement; false on failure (the old file stays).
  bool Save();
  // The command names from the message table: CommandNames follow the chosen language,
  // BuiltinCommandNames are the table's own. Run after the language is chosen.
  void InitCommandNames();

  // The extension's programs in file order.
  std::vector<const TExtProgram*> FindExtPrograms(const std::wstring& ext) const;
  bool HasExtProgram(const std::wstring& ext) const;
  // The program bound to a function-key slot (0..17), or nullptr.
  const THanProgram* GetKeyProgram(int slot) const;
  // Call after changing ExtPrograms.
  void Rebuild();

  std::wstring FileName;
  std::array<THanProgram, FunctionKeySlots> KeyPrograms;
  std::vector<TExtProgram> ExtPrograms;
  THanExtColor ExtColor;
  std::array<std::wstring, NumberedCommandCount> CommandNames;
  std::array<std::wstring, NumberedCommandCount> BuiltinCommandNames;

 private:
  std::unordered_map<std::wstring, std::vector<int>> FExtIndex;
};

extern THanPrograms Programs;
