#pragma once
// The folder tree cache of one drive or network share, kept in the drive's tree file.
//
// A tree file is text, one line per line break (CR LF when written):
//   line 1   the number N of folder lines, in decimal;
//   N lines  "depth,name" in pre-order (a folder, then its sub-folders), siblings sorted by
//            name (case-insensitive, the system's order); the first is the root: depth 0 and
//            the root path without trailing backslash ("0,C:" or "0,\\server\share").
// Only the first comma of a line separates, so a name may hold commas.
//
// A manager lives for one operation: create it for a path, make edits, free it. The file is
// read on first use and written back (beside, then swapped in) when the manager is freed after
// a change. Every edit but SyncChildren announces a folder-change notice.
//
// The tree file comes from disk and may be damaged or hostile: the reader takes bytes and
// checks every line; a damaged file gives an empty tree marked dirty, so that freeing the
// manager removes the damaged file or replaces it by what the edits built.
//
// A drive may hold a hundred thousand folders, so neither the reader nor the cache makes an
// object per folder: the reader cuts the bytes into lines as they are and decodes each name
// straight into one buffer of names, the cache's own, keeps its nodes in one array and every
// child list in one shared array of node numbers. A big file is read in pieces on the program's
// worker threads, each piece as soon as its bytes have come from the disk.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/FolderChange.h"
#include "foundation/TextCodec.h"
#include "framework/StringList.h"

#ifdef _WIN32
#include <windows.h>
using TTreeOwnerWnd = HWND;
#else
using TTreeOwnerWnd = void*;
#endif

// One folder of the cache. The name lies in the manager's name buffer; parent and children are
// node numbers (the children in the manager's shared child array).
// Plain data, so that a tree's records are made by the hundred thousand without a constructor
// each.
struct TMCDTreeNodeRec {
  uint32_t NameStart, NameLength;
  int32_t Depth;
  int32_t Parent;  // -1 for the root
  uint32_t ChildStart, ChildCount, ChildCapacity;
};
// The allocator of the cache's big arrays: growing one leaves the new records unset instead of
// clearing them first, as the reader writes every record it adds.
template <typename T>
struct TUnsetAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = TUnsetAllocator<U>;
  };
  TUnsetAllocator() = default;
  template <typename U>
  TUnsetAllocator(const TUnsetAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
template <typename T>
using TRecordArray = std::vector<T, TUnsetAllocator<T>>;

// What Locate hands out: valid until the next edit.
using PMCDTreeNode = const TMCDTreeNodeRec*;

// One line of a tree file as read or written.
struct TTreeFileLine {
  int32_t Depth = 0;
  std::wstring Name;
};

// Names one after the other. Unlike a string it grows without filling what is about to be
// written over: the reader decodes a whole file's names straight into it.
class TTreeNames {
 public:
  TTreeNames() = default;
  TTreeNames(TTreeNames&&) noexcept = default;
  TTreeNames& operator=(TTreeNames&&) noexcept = default;
  const wchar_t* data() const { return FData.get(); }
  wchar_t* data() { return FData.get(); }
  size_t size() const { return FSize; }
  size_t capacity() const { return FCapacity; }
  void clear() { FSize = 0; }
  void reserve(size_t n);
  // Makes the size n; units up to the old size keep their values, the others are to be written.
  void SetSize(size_t n) {
    reserve(n);
    FSize = n;
  }
  void append(std::wstring_view s);
  TTreeNames& operator+=(std::wstring_view s) {
    append(s);
    return *this;
  }
  operator std::wstring_view() const { return std::wstring_view(FData.get(), FSize); }
  friend void swap(TTreeNames& a, TTreeNames& b) noexcept {
    std::swap(a.FData, b.FData);
    std::swap(a.FSize, b.FSize);
    std::swap(a.FCapacity, b.FCapacity);
  }
  using value_type = wchar_t;

 private:
  std::unique_ptr<wchar_t[]> FData;
  size_t FSize = 0, FCapacity = 0;
};

// A tree file as read: its names decoded one after the other, and for each folder line its
// depth and where its name lies among them.
struct TTreeFileEntry {
  int32_t Depth = 0;
  uint32_t NameStart = 0, NameLength = 0;
};
struct TTreeFileText {
  TTreeNames Text;
  std::vector<TTreeFileEntry> Entries;
  std::wstring_view Name(const TTreeFileEntry& e) const {
    return std::wstring_view(Text).substr(e.NameStart, e.NameLength);
  }
};

// What reading a tree file found.
enum class TTreeFileRead {
  Empty,    // no bytes at all: an empty tree
  Ok,       // every line read; the count line agrees
  Damaged,  // a bad count, a depth jump or a bad name, or a count that does not agree
};

// Reads a tree file's bytes (any of the text encodings) into its folder lines; on damage the
// lines read before it stay. The limit on depth is MaxTreeDepth.
constexpr int32_t MaxTreeDepth = 255;
TTreeFileRead ParseTreeFile(std::string_view bytes, TTreeFileText& file, TTextEncoding& encoding);
TTreeFileRead ParseTreeFile(std::string_view bytes, std::vector<TTreeFileLine>& lines, TTextEncoding& encoding);

// Builds a tree file's bytes in one buffer, line by line in pre-order; the first line added is
// the root, written with the root's name given here.
class TTreeFileBuilder {
 public:
  // buffer: an emptied string whose room the bytes may reuse.
  TTreeFileBuilder(const std::wstring& root, size_t lineCount, TTextEncoding encoding, size_t textHint = 0,
                   std::string buffer = {});
  void Add(int32_t depth, std::wstring_view name);
  // The file's bytes; encoding becomes the one they are in (UTF-8 when a name does not fit the
  // encoding asked for).
  std::string Finish(TTextEncoding& encoding);

 private:
  // Room for n more bytes at the end of the written ones.
  char* Room(size_t n);
  void AppendAscii(std::string_view s);
  void SwitchToUtf8();
  // UTF-8 and ANSI files are written straight into their bytes, UTF-16 ones as text encoded at
  // the end.
  enum class TMode { Utf8, Ansi, Text };
  std::wstring FRoot;
  TTextEncoding FEncoding;
  TMode FMode;
  bool FFirst = true;
  // The bytes: FUsed of them written, the rest room made ahead (a string grown a line at a
  // time costs more than the lines).
  std::string FBytes;
  size_t FUsed = 0;
  std::string FName;  // one name in the ANSI code page
  std::wstring FText;
};

// A tree file's bytes for the folder lines (the first line names root).
std::string FormatTreeFile(const std::wstring& root, const std::vector<TTreeFileLine>& lines, TTextEncoding encoding);
// Writes bytes as the tree file (beside, then swapped in); false when the name is empty or an
// existing file cannot be replaced (a read-only medium keeps its old file).
bool WriteTreeFileBytes(const std::wstring& fileName, std::string_view bytes);
bool WriteTreeFileLines(const std::wstring& fileName, const std::wstring& root,
                        const std::vector<TTreeFileLine>& lines, TTextEncoding encoding);
// A folder name as a tree file may hold it below the root: not empty, not "." or "..", and
// without "\", "/", ":" or a control character.
bool IsValidTreeNodeName(std::wstring_view name);

class TMCDTreeMan {
 public:
  // The cache of the drive or share that holds path; the file name is computed by the tree
  // file name rule (which may probe the drive and tell ownerWnd that it is unreachable).
  TMCDTreeMan(TTreeOwnerWnd ownerWnd, const std::wstring& path);
  // A cache for a given root (without trailing backslash) and tree file (empty: none).
  TMCDTreeMan(const std::wstring& root, const std::wstring& fileName);
  // Saves when dirty.
  ~TMCDTreeMan();
  TMCDTreeMan(const TMCDTreeMan&) = delete;
  TMCDTreeMan& operator=(const TMCDTreeMan&) = delete;

  // The node of a folder path (with or without trailing backslash), made with its missing
  // ancestors when create is set; nil when it is not there, or lies on another drive.
  PMCDTreeNode Locate(const std::wstring& path, bool create);
  void AddFolder(const std::wstring& path);
  void RenameFolder(const std::wstring& oldPath, const std::wstring& newPath);
  void DeleteFolder(const std::wstring& path);
  void MoveFolder(const std::wstring& srcPath, const std::wstring& dstParentPath);
  // Makes the cached children of the folder equal to names (sorted here, and emptied of the
  // names that existed). Nothing happens when the folder is not in the cache. No notice.
  void SyncChildren(const std::wstring& path, TStringList& names);
  // Puts the folders of a full scan in place of the tree: lines in pre-order, the first the
  // root. Sets Dirty.
  void ReplaceAll(const std::vector<TTreeFileLine>& lines);

  void NotifyChange(TFolderChangeKind kind, const std::wstring& path1, const std::wstring& path2);

  // Reads the tree file (the program folder's file of the same name when the drive's own is
  // missing and its name is not the drive's root file).
  void Load();
  // Writes or removes the file as the tree now stands; false when it could not.
  bool Save();
  // The tree from a tree file's bytes; false (and an empty, dirty tree) on damage. A file of
  // several times pieceBytes is read on the worker threads, in pieces of about that size.
  static constexpr size_t TreePieceBytes = 64 * 1024;
  bool LoadFromBytes(std::string_view bytes, size_t pieceBytes = TreePieceBytes);
  // The tree from a tree file of size bytes being read: readNext(to, count) gives its next
  // count bytes (false when it cannot). Its pieces are read on the worker threads while later
  // ones still come. False, with nothing read or kept, when the file is not one to read so
  // (under two pieces, no workers, damage, a read that fails): the caller then reads it the
  // plain way.
  bool LoadWhileReading(uint64_t size, const std::function<bool(char*, size_t)>& readNext,
                        size_t pieceBytes = TreePieceBytes);
  // buffer: an emptied string whose room the bytes may reuse.
  std::string SaveToBytes(std::string buffer = {}) const;
  // The folder lines in pre-order, as the file would hold them.
  std::vector<TTreeFileLine> Lines() const;
  int NodeCount() const { return FCount; }
  std::wstring_view NodeName(PMCDTreeNode node) const { return NameOf(*node); }
  // The full path of a node (the root without trailing backslash).
  std::wstring NodePath(PMCDTreeNode node) const;

  bool Dirty = false;
  bool NeedsLoad = true;
  std::wstring FileName;
  std::wstring Root;
  // The encoding the file was read in; new files are written as UTF-8.
  TTextEncoding Encoding = TTextEncoding::Utf8;
  // Where this manager's notices go; FolderChangeRelay when it was made.
  TFolderChangeEvent OnChange;
  // The folder the fallback file is looked for in; ProgramFolder when it was made.
  std::wstring FallbackFolder;

 private:
  using TNode = int32_t;  // a node's number; -1 for none
  std::wstring_view NameOf(const TMCDTreeNodeRec& r) const {
    return std::wstring_view(FNames).substr(r.NameStart, r.NameLength);
  }
  std::wstring_view NameOf(TNode n) const { return NameOf(FNodes[static_cast<size_t>(n)]); }
  TMCDTreeNodeRec& At(TNode n) { return FNodes[static_cast<size_t>(n)]; }
  const TMCDTreeNodeRec& At(TNode n) const { return FNodes[static_cast<size_t>(n)]; }
  TNode ChildAt(TNode parent, uint32_t i) const { return FKids[At(parent).ChildStart + i]; }
  // s lies in the name buffer (a line of the file the tree was read from).
  bool InBuffer(std::wstring_view s) const;
  void Clear();
  TNode LocateNode(const std::wstring& path, bool create);
  // A new node named name under parent (none: the root), at index among its children.
  TNode AddNode(TNode parent, uint32_t index, std::wstring_view name, int32_t depth);
  void InsertChild(TNode parent, uint32_t index, TNode child);
  void Detach(TNode node);
  void DeleteNode(TNode node);
  // The first child of parent whose name is not below name; the child count when none.
  uint32_t FindInsertIndex(TNode parent, std::wstring_view name) const;
  // The child of parent with that name, or -1.
  TNode FindChild(TNode parent, std::wstring_view name) const;
  void RenumberDepths(TNode node);
  void SortChildren(TNode parent);
  // Hangs the nodes made from well-formed lines in pre-order (each with its parent and the
  // number of its children) into the child lists, and takes them as the whole tree.
  void LinkChildren();
  // Takes the linked nodes as the whole tree, the first one its root.
  void TakeNodes();
  template <typename F>
  void ForEachLine(F&& f) const;
  bool OnThisDrive(const std::wstring& path) const;

  // The buffers below are taken from and given back to one pool when the manager is made and
  // freed (see MCDTree.cpp).
  std::string FBytes;                    // the file's bytes while it is read or written
  TRecordArray<char> FArriving;          // the bytes of a file read while they come
  TTreeNames FNames;                     // every node's name
  TRecordArray<TMCDTreeNodeRec> FNodes;  // removed nodes stay, unreachable, until Clear
  TRecordArray<TNode> FKids;             // the child lists, each a slice of its own
  TNode FRoot = -1;
  int FCount = 0;
};

// The tree file of a drive (root with trailing backslash): the file path, or empty when the
// drive has none or cannot be reached (which ownerWnd is told with message 4151).
std::wstring GetTreeFileName(TTreeOwnerWnd ownerWnd, const std::wstring& root);
// The file name a drive type gives (no folder for the "R" and "Y" names): see MCDTree_win.cpp.
std::wstring MakeTreeFileNameByDriveType(const std::wstring& root, uint32_t driveType);
// The "R" name of a network root (with trailing backslash), and the "Y" name of a CD-ROM whose
// first entry is described by the values given; empty when that value is 0.
std::wstring RemoteTreeFileName(const std::wstring& root);
std::wstring CdTreeFileName(uint32_t dosDateTime, uint32_t attributes, uint32_t sizeHigh, uint32_t sizeLow,
                            const std::wstring& upperName);
std::wstring SerialTreeFileName(uint32_t serial);

#ifdef _WIN32
#include "panels/FolderTreeLink.h"
// The folder tree cache behind a file list: a manager per listing, freed (and so saved) when
// the list is done with it.
TFolderTreeCacheFactory MCDTreeCacheFactory();
#endif
