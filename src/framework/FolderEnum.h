#pragma once
// The one way to list a folder: a range-for object that owns its find handles.
//
//   TFolderEnum list(L"C:\\Data");
//   for (const WIN32_FIND_DATAW& fd : list) ...
//   if (!list.Complete()) ... list.Error() tells why the walk stopped early
//
// "." is never reported, ".." only when asked. With Recursive, each subfolder is reported and
// then walked (its entries follow it); a junction or symbolic link is reported but not entered
// unless FollowLinks is asked for, so that a walk never leaves the tree it was given.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Handles.h"

class TFolderEnum {
 public:
  enum TOption : unsigned {
    Recursive = 1,      // walk subfolders too
    FollowLinks = 2,    // with Recursive: enter junctions and symbolic links as well
    ParentEntry = 4,    // report "..", where the file system has one
    ShortNames = 8,     // fill cAlternateFileName (slower on some file systems)
    LargeFetch = 16,    // ask for large directory reads
  };

  // Lists folder (with or without a trailing backslash) for names matching pattern; the
  // pattern applies at every level of a recursive walk.
  explicit TFolderEnum(std::wstring_view folder, unsigned options = 0, std::wstring_view pattern = L"*");
  ~TFolderEnum();
  TFolderEnum(const TFolderEnum&) = delete;
  TFolderEnum& operator=(const TFolderEnum&) = delete;

  // The next entry of an open find handle; a test can put a failing or filtering one in place
  // before the walk starts. False at the end or on an error, GetLastError telling which.
  std::function<bool(HANDLE find, WIN32_FIND_DATAW& data)> FindNext;
  // The system's next entry: what a FindNext put in place calls for the real entries.
  static bool SystemFindNext(HANDLE find, WIN32_FIND_DATAW& data);

  class iterator {
   public:
    using value_type = WIN32_FIND_DATAW;
    using difference_type = std::ptrdiff_t;
    using reference = const WIN32_FIND_DATAW&;
    using pointer = const WIN32_FIND_DATAW*;
    using iterator_category = std::input_iterator_tag;
    iterator() = default;
    reference operator*() const { return FOwner->FData; }
    pointer operator->() const { return &FOwner->FData; }
    iterator& operator++() {
      if (!FOwner->Advance()) FOwner = nullptr;
      return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(const iterator& o) const { return FOwner == o.FOwner; }

   private:
    friend class TFolderEnum;
    explicit iterator(TFolderEnum* owner) : FOwner(owner) {}
    TFolderEnum* FOwner = nullptr;
  };
  // The walk starts at the first call of begin(); a list is walked once.
  iterator begin();
  iterator end() { return iterator(); }

  // The folder was opened (false also when it exists but holds nothing matching).
  bool Opened() const { return FOpened; }
  // The walk ran to its end: every entry was seen, or the folder has none that match. False
  // while the walk is under way and when it stopped on an error.
  bool Complete() const { return FDone && FError == ERROR_SUCCESS; }
  // The error that stopped the walk or the opening of the folder (or of a subfolder in a
  // recursive walk); ERROR_SUCCESS when there was none.
  DWORD Error() const { return FError; }

  // The current entry: its depth (0 in the folder given), its name relative to that folder
  // ("Sub\\name.txt"), and its full path.
  int Depth() const { return static_cast<int>(FLevels.size()) - 1; }
  std::wstring RelativeName() const;
  std::wstring FullName() const;
  bool IsFolder() const { return IsFolderData(FData); }
  bool IsLink() const { return IsLinkData(FData); }

  // Looks up one exact path (no listing): true with data filled when it is there. The find
  // call sees names that attribute calls refuse (in use, locked by the system).
  static bool FindExact(const wchar_t* path, WIN32_FIND_DATAW& data);

  static bool IsFolderData(const WIN32_FIND_DATAW& d) { return (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  // A junction or symbolic link (a reparse point that stands for another name).
  static bool IsLinkData(const WIN32_FIND_DATAW& d);

 private:
  struct TLevel {
    TFindHandle Find;
    size_t PrefixLength;  // of FPrefix in the level above
  };
  // parentPrefix: the length of FPrefix to go back to when the level is left.
  bool Open(const std::wstring& folder, bool top, size_t parentPrefix);
  bool Advance();
  bool Fetch(TLevel& level);
  bool Wanted() const;
  // Notes whether a recursive walk enters the current entry next.
  void MarkEntry();

  std::wstring FFolder;  // with a trailing backslash
  std::wstring FPattern;
  unsigned FOptions;
  std::vector<TLevel> FLevels;
  std::wstring FPrefix;  // relative folder of the current level, with a trailing backslash
  WIN32_FIND_DATAW FData{};
  bool FStarted = false;
  bool FOpened = false;
  bool FDone = false;
  bool FEnterPending = false;
  DWORD FError = ERROR_SUCCESS;
};
