#pragma once
// THanINI: an INI-style text file held whole in memory as a two-level THanTree (sections at the
// top, key and comment lines below), read on first use and written back when modified.
// Comment lines survive a read and write; typed reads and writes use fixed text forms.
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/FontStyle.h"
#include "framework/Colors.h"
#include "foundation/HanList.h"
#include "foundation/TextCodec.h"

struct TIniRec {
  enum class TKind : uint8_t { Section, Key, Comment };
  std::wstring Name;   // section name, key, or the whole comment line
  std::wstring Value;  // a key's value
  uint8_t Keep = 0;    // 1: a comment as read, or written since the last read or write
  TKind Kind = TKind::Key;
};

// Font style bits as stored: fsBold, fsItalic, fsUnderline, fsStrikeOut (framework/FontStyle.h).

struct TIniFont {
  std::wstring Name;
  int32_t Size = 0;
  uint8_t Style = 0;
  TColor Color = 0;
  bool operator==(const TIniFont&) const = default;
};
struct TIniRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Flag = false;
  bool operator==(const TIniRect&) const = default;
};
TIniFont MakeIniFont(const std::wstring& name, int32_t size, uint8_t style, TColor color);
TIniRect MakeIniRect(int32_t left, int32_t top, int32_t right, int32_t bottom, bool flag);

// The text forms of the typed values, shared with whoever stores them elsewhere.
std::wstring ColorToIniText(TColor color);
TColor IniTextToColor(std::wstring_view text, TColor def);
std::wstring FontToIniText(const TIniFont& font);
TIniFont IniTextToFont(std::wstring_view text, const TIniFont& def);
std::wstring RectToIniText(const TIniRect& rect);
TIniRect IniTextToRect(std::wstring_view text, const TIniRect& def);

class THanINI {
 public:
  explicit THanINI(const std::wstring& fileName);
  // Writes the file when modified and not read-only; a failure here cannot be reported, so a
  // caller that must know calls UpdateFile itself first.
  virtual ~THanINI();
  THanINI(const THanINI&) = delete;
  THanINI& operator=(const THanINI&) = delete;

  // Writes the file when it has been read and is modified. The new text goes to a temporary
  // file beside the old one, which is replaced only when all is on disk. Returns false when
  // the file is modified but could not be written (Modified then stays set) or is read-only.
  virtual bool UpdateFile();
  virtual void Reload();
  // Parses text bytes (any of the accepted encodings) in place of the file's.
  void LoadFromBytes(std::string_view bytes);
  // The text UpdateFile would write, encoded.
  std::string SaveToBytes();

  PHanNode FindSection(std::wstring_view name);
  PHanNode FindKey(PHanNode section, std::wstring_view key);
  bool ReadRaw(std::wstring_view section, std::wstring_view key, std::wstring& value);
  void WriteRaw(std::wstring_view section, std::wstring_view key, std::wstring_view value);
  void DeleteKey(std::wstring_view section, std::wstring_view key);
  void PurgeSection(std::wstring_view name);
  void PurgeAll();
  void Clear();

  bool FindFirstSection(std::wstring& name);
  bool FindNextSection(std::wstring& name);
  bool FindFirstKey(std::wstring_view section, std::wstring& key, std::wstring& value);
  bool FindNextKey(std::wstring& key, std::wstring& value);

  virtual bool ReadBool(std::wstring_view section, std::wstring_view key, bool def);
  virtual int32_t ReadInteger(std::wstring_view section, std::wstring_view key, int32_t def);
  virtual int32_t ReadIntegerMax(std::wstring_view section, std::wstring_view key, int32_t def, int32_t max);
  virtual std::wstring ReadString(std::wstring_view section, std::wstring_view key, std::wstring_view def);
  virtual TIniFont ReadFont(std::wstring_view section, std::wstring_view key, const TIniFont& def);
  virtual TColor ReadColor(std::wstring_view section, std::wstring_view key, TColor def);
  virtual TIniRect ReadRect(std::wstring_view section, std::wstring_view key, const TIniRect& def);
  virtual void WriteBool(std::wstring_view section, std::wstring_view key, bool value);
  virtual void WriteInteger(std::wstring_view section, std::wstring_view key, int32_t value);
  virtual void WriteString(std::wstring_view section, std::wstring_view key, std::wstring_view value);
  virtual void WriteStringOrDelete(std::wstring_view section, std::wstring_view key, std::wstring_view value);
  virtual void WriteFont(std::wstring_view section, std::wstring_view key, const TIniFont& value);
  virtual void WriteColor(std::wstring_view section, std::wstring_view key, TColor value);
  virtual void WriteColorDefault(std::wstring_view section, std::wstring_view key, TColor def, TColor color);
  virtual void WriteRect(std::wstring_view section, std::wstring_view key, const TIniRect& value);

  bool ReadOnly = false;
  THanTree Tree;
  std::wstring FileName;
  bool NeedLoad = true;
  bool Modified = false;
  // The encoding the file was read in; new files are written as UTF-8.
  TTextEncoding Encoding = TTextEncoding::Utf8;

  static TIniRec* Rec(PHanNode node) { return static_cast<TIniRec*>(node->Data); }

 private:
  void EnsureLoaded();
  PHanNode AddRec(PHanNode parent, TIniRec rec);
  std::wstring BuildText() const;
  void ResetLookups();
  void PurgeNode(PHanNode section);

  PHanNode FEnumSection = nullptr;
  int FEnumKey = 0;
  int FEnumSectionIndex = 0;
  int FLastSection = -1;
  int FLastKey = -1;
};
