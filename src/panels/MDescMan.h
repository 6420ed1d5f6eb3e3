#pragma once
// The descriptions of one folder, kept in its "DESCRIPT.ION": one line per described item,
// "name description", or "\"name with blanks\" description". The object reads the file when it
// is made, keeps the records sorted by name (the system's case-insensitive order) so that every
// look-up is a binary search, takes edits and renames, and writes the file back when it is
// freed after a change.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/TextCodec.h"

// The settings the descriptions follow (section Option of the settings file).
struct TDescOptions {
  bool DescHidden = true;       // the written file gets the hidden attribute
  bool DescShortRead = true;    // a look-up by long name that fails is tried by the short name
  bool DescShortWrite = false;  // with DescShortRead: new records are keyed by the short name
};
// What a THanDescMan made with the folder alone follows: the settings (section Option) as they
// stand when it is made. The host has no settings model; there it is DescOptions.
TDescOptions CurrentDescOptions();
extern TDescOptions DescOptions;

struct TDescRecord {
  std::wstring Name;         // the item's file name (or its short name)
  std::wstring Desc;         // never empty in a stored record
  std::wstring PendingName;  // a new name not yet taken over; empty when none
};

class THanDescMan {
 public:
  static constexpr size_t MaxFieldLength = 255;

  explicit THanDescMan(const std::wstring& folder);
  THanDescMan(const std::wstring& folder, const TDescOptions& options);
  // Saves when modified.
  ~THanDescMan();
  THanDescMan(const THanDescMan&) = delete;
  THanDescMan& operator=(const THanDescMan&) = delete;

  void GetDescription(const std::wstring& longName, const std::wstring& shortName, std::wstring& text) const;
  // An empty text removes the record.
  void SetDescription(const std::wstring& longName, const std::wstring& shortName, const std::wstring& text);
  void Delete(const std::wstring& longName, const std::wstring& shortName);
  // Gives the record found by the old names a pending new name; false when there is none.
  bool SetNewName(const std::wstring& oldLong, const std::wstring& oldShort, const std::wstring& newLong,
                  const std::wstring& newShort);
  // Every pending name becomes the record's name; a renamed record replaces any other record
  // that already had its new name.
  void ApplyRenames();
  // Drops every record whose file or folder no longer exists.
  void PurgeMissing();

  // Inner steps.
  void Load();
  // False when the file could not be replaced (it is then left as it was).
  bool Save();
  void Sort();
  void RemoveDuplicates();
  int Find(const std::wstring& longName, const std::wstring& shortName) const;
  // The first record whose name is not below name; -1 when there is none.
  int LowerBound(std::wstring_view name) const;
  // Inserts in name order; an existing record of that name is replaced.
  void Add(const std::wstring& name, const std::wstring& text);
  void Clear();
  bool ShortNameMode() const { return Options.DescShortRead && Options.DescShortWrite; }

  // One line of the file: false when it yields no record.
  static bool ParseLine(std::wstring_view line, std::wstring& name, std::wstring& desc);
  // The file's content without the file: Clear, then every line that yields a record, sorted
  // (of two lines for one name the later stays).
  void LoadFromBytes(std::string_view bytes);
  std::string SaveToBytes();

  const std::wstring& Folder() const { return FFolder; }
  const std::wstring& FileName() const { return FFileName; }
  int Count() const { return static_cast<int>(FRecords.size()); }
  const TDescRecord& Record(int i) const { return *FRecords[static_cast<size_t>(i)]; }

  TDescOptions Options;
  bool Modified = false;
  // The encoding the file was read in, and after a save the one it was written in: the ANSI
  // code page when the text fits there, else UTF-8 (UTF-16 for a lone surrogate).
  TTextEncoding Encoding = TTextEncoding::Utf8;

 private:
  int Search(std::wstring_view name) const;
  std::wstring FFolder;
  std::wstring FFileName;
  std::vector<std::unique_ptr<TDescRecord>> FRecords;
};

// File-system steps of the descriptions file, per platform.
bool DescPathExists(const std::wstring& path);  // a file or a folder
bool DescSetArchiveOnly(const std::wstring& path);
bool DescSetHidden(const std::wstring& path);
bool DescDeleteFile(const std::wstring& path);
