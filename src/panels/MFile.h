#pragma once
// The data a file box shows: one TFileBoxItem per folder, file or drive entry, held in three
// lists (folders with ".." first, files, drive entries) under one joint index, the name forms
// the rest of the program asks for, and the comparators and quicksort behind sorting.
// Nothing here touches a window; the visual box owns a TFileBoxLists and repaints on change.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Colors.h"
#include "foundation/MYTOOL.h"

enum TItemKind : uint8_t { ikFolder = 1, ikFile = 2, ikDrive = 3 };

enum TSortKey : int32_t {
  skNone = 0,
  skName = 1,
  skExt = 2,
  skSize = 3,
  skDate = 4,
  skColor = 5,
  skDesc = 6,
  skAttr = 7,
  skExec = 8,
};

// A plain record; builders create it and fill its fields. The fields are grouped by size so
// that a listing of many items stays small.
struct TFileBoxItem {
  // File attributes as the items carry them.
  static constexpr int32_t AttrReadOnly = 1, AttrHidden = 2, AttrSystem = 4, AttrDirectory = 16, AttrArchive = 32;
  // Pending bits: what the icon thread (or a sort by colour or type) still has to resolve.
  static constexpr int32_t PendingColor = 1, PendingIcon = 2;

  std::wstring Name;       // without extension; folders the whole name; ".."; drive "[-X-] label"
  std::wstring Ext;        // without the dot
  std::wstring ShortName;  // 8.3 name
  std::wstring DateText;   // cached date column text; drive entries: the free-space text
  std::wstring TypeName;   // shell type name; drive entries: the volume label
  std::wstring Desc;       // description from the folder's descriptions file
  TDateTime Time = 0;      // last write time, 0 = none
  int64_t Size = 0;        // bytes; folders -1 until computed, drive entries -1 when unknown
  int64_t FileCount = 0;   // folders: files counted by the folder-size computation
  // -1 unresolved; >= 0 own image list; below -1 system image list index i stored as -i-10.
  int32_t IconIndex = -1;
  int32_t Overlay = 0;  // 0 none, 1 shared, 2 shortcut, 3 both
  int32_t Attr = 0;
  TColor Color = 0;
  int32_t Pending = 0;
  int32_t SelOrder = 0;  // 0 not selected, else the selection ordinal
  int32_t CellX = -1, CellY = -1;
  bool IconDone = false;
  TItemKind Kind = ikFile;
};

// The ".." entry.
bool IsParentItem(const TFileBoxItem& item);
// A drive entry of a real drive: kind ikDrive and a name "[-X-]..." with X a letter. Any other
// ikDrive item (whatever its caption says) is the entry that opens the drive chooser.
bool IsDriveEntry(const TFileBoxItem& item);

// Comparators: negative, zero or positive with a total tie-break as the key says; all text is
// compared by the system's case-insensitive rules. typeView chooses the text of skDesc: 0 the
// type name, 1 the description, 2 the description when the item has one, else the type name.
// Sizes, times and colours are compared, never subtracted (files over 4 GB, negative system
// colours). skNone compares everything as equal.
int CompareFileItems(TSortKey key, const TFileBoxItem& a, const TFileBoxItem& b, int32_t typeView);

class TFileBoxLists {
 public:
  TFileBoxLists() = default;
  ~TFileBoxLists();
  TFileBoxLists(const TFileBoxLists&) = delete;
  TFileBoxLists& operator=(const TFileBoxLists&) = delete;

  int Count() const { return static_cast<int>(FFolders.size() + FFiles.size() + FDrives.size()); }
  int FolderCount() const { return static_cast<int>(FFolders.size()); }
  int FileCount() const { return static_cast<int>(FFiles.size()); }
  int DriveCount() const { return static_cast<int>(FDrives.size()); }

  // The item at a joint index (folders, then files, then drive entries); nullptr outside
  // 0..Count-1.
  TFileBoxItem* GetItem(int index) const;
  // Stores an item pointer at a joint index without freeing what was there (the two halves of
  // an exchange); an index outside 0..Count-1 is ignored.
  void SetItem(int index, TFileBoxItem* item);
  // The I-th entry of the file list itself.
  TFileBoxItem* GetFile(int i) const;

  // The lists own their items from here on.
  void AddFolder(std::unique_ptr<TFileBoxItem> item);
  void InsertParent(std::unique_ptr<TFileBoxItem> item);
  void AddFile(std::unique_ptr<TFileBoxItem> item);
  void AddDrive(std::unique_ptr<TFileBoxItem> item);
  // Frees the items of each chosen list.
  void Clear(bool folders, bool files, bool drives);

  // Name forms; "" for an index outside 0..Count-1.
  void GetItemName(int index, std::wstring& name) const;     // for file operations
  void GetItemNameDot(int index, std::wstring& name) const;  // files always with the dot
  void GetDisplayName(int index, std::wstring& name) const;  // in the display case
  void GetDisplayParts(const TFileBoxItem& item, std::wstring& name, std::wstring& ext) const;

  void Exchange(int a, int b);

  // Quicksort of the joint range l..r with the key's comparator and the current direction.
  // The pivot is tracked by index; the smaller part is sorted by recursion and the larger one
  // by the loop, so the depth stays below log2 of the range whatever the input.
  void QuickSort(int l, int r, TSortKey key);
  // The whole sort of a listing: folders (after "..") by the list's key, or ascending by
  // folderSortType when folders are sorted on their own; files by the list's key; drive entries
  // never.
  void SortItems(TSortKey key, bool folderDiffSort, TSortKey folderSortType);

  // Display case of names (0 unchanged, 1 lower, 2 upper, 3 capitalised as a path, 4
  // capitalised words), copied from the panel's options.
  int32_t FileNameCase = 0;
  int32_t FolderNameCase = 0;
  bool Ascending = true;
  int32_t TypeView = 0;
  // After every single add and clear (not once per listing): the box resets its top index and
  // repaints. The file list's OnListChange is the one that comes once after a whole refresh.
  std::function<void()> OnItemsChange;

 private:
  std::vector<TFileBoxItem*>* ListOf(int& index);
  const std::vector<TFileBoxItem*>* ListOf(int& index) const;
  void Changed();
  std::vector<TFileBoxItem*> FFolders, FFiles, FDrives;
};
