#pragma once
// The engine's wildcard masks and TzevFileScan, which finds the files an archive writer
// adds: it walks folders through TzevFileSys, matches names against compiled masks and
// reports each taken entry. Portable.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/engine/zevBase.h"

// One compiled pattern: literals (ASCII case-insensitive), "?" (exactly one character) and
// "*" (any run). Matching is linear in the name's length times the pattern's with a single
// resume point, whatever the pattern.
class TInternalMask {
 public:
  explicit TInternalMask(std::wstring_view pattern);
  bool Matches(std::wstring_view name) const;
  bool HasWildcards() const { return FWild; }

 private:
  struct TElement {
    bool StarBefore;
    uint8_t Kind;  // 0 literal, 1 any one character
    wchar_t Ch;    // upper-cased literal; 0 ends the pattern
  };
  bool MatchRaw(std::wstring_view name) const;
  std::vector<TElement> FElements;
  bool FEndsWithDot = false, FWild = false;
};

// Whether name matches pattern.
bool MatchMaskText(std::wstring_view name, std::wstring_view pattern);

struct TFileObject {
  std::wstring Name;  // empty for a folder
  std::wstring Path;  // a file's folder with "\", a folder's whole path without
  uint32_t Size = 0;
  uint32_t Attr = 0;
  int32_t DosDateTime = 0;
};
using TFilesList = std::vector<std::unique_ptr<TFileObject>>;

// (Dir with "\", the entry, the writer's header list).
using TFoundFileProc = std::function<void(const std::wstring& dir, const TzevFindData& find, void* headerList)>;

class TzevFileScan : public TComponent {
 public:
  explicit TzevFileScan(TComponent* owner = nullptr, TzevFileSys* fs = nullptr);

  TStringList FileSpec;
  std::wstring RootDir() const { return FRootDir; }
  void SetRootDir(const std::wstring& dir) { FRootDir = AppendBackslash(dir); }
  TzevFileAttrs Attributes = AttrSet({fsArchive});
  TzevFileAttrs AttributesEx = 0;
  bool RecurseDirs = true;
  bool IncludeHiddenDirs = false;
  bool UpdateList = true;
  std::function<void(const std::wstring& dir, int filesCount, double filesSize)> OnChangeDir;
  std::function<void(const std::wstring& dir)> OnRootDirChange;
  std::function<void(int filesCount, double filesSize)> OnFinished;

  TFoundFileProc FoundFileProc;
  uint8_t* CancelFlag;
  void* HeaderList = nullptr;
  TFilesList FileList;
  int32_t FilesCount = 0;
  double FilesSize = 0;

  virtual void Scan();
  virtual void Cancel() { *CancelFlag = 1; }
  void AddFoundFile(const std::wstring& dir, const TzevFindData& find);

 private:
  void ScanFolder(const std::wstring& dir, uint32_t attrMask, const std::vector<TInternalMask>& masks, bool wild,
                  int depth);
  TzevFileSys* FFs;
  std::wstring FRootDir = L"c:\\";
  uint8_t FCancel = 0;
  uint32_t FPumpCount = 0;
};
