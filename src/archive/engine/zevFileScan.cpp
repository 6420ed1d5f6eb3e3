#include "archive/engine/zevFileScan.h"

namespace {
wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

// Folder part with its trailing separator, and the name part.
void SplitMask(const std::wstring& fileMask, std::wstring& dir, std::wstring& name) {
  size_t p = fileMask.find_last_of(L"\\/:");
  if (p == std::wstring::npos) {
    dir.clear();
    name = fileMask;
  } else {
    dir = fileMask.substr(0, p + 1);
    name = fileMask.substr(p + 1);
  }
}

// A folder nested deeper than this is not entered (a loop the find functions would follow).
constexpr int kMaxDepth = 128;
}  // namespace

TInternalMask::TInternalMask(std::wstring_view pattern) {
  bool star = false;
  for (wchar_t c : pattern) {
    if (c == L'*') {
      star = FWild = true;
    } else if (c == L'?') {
      FWild = true;
      // A "?" right after a "*" adds nothing the star does not already take.
      if (!star) FElements.push_back({false, 1, 0});
    } else {
      FElements.push_back({star, 0, UpperAscii(c)});
      star = false;
    }
  }
  FElements.push_back({star, 0, 0});
  FEndsWithDot = !pattern.empty() && pattern.back() == L'.';
}

bool TInternalMask::MatchRaw(std::wstring_view name) const {
  // Greedy with one resume point: the latest star. For patterns of literals, "?" and "*"
  // this is exact, and it is linear per resume.
  size_t e = 0, n = 0;
  size_t starE = SIZE_MAX, starN = 0;
  for (;;) {
    const TElement& el = FElements[e];
    if (el.StarBefore && starE != e) {
      starE = e;
      starN = n;
    }
    bool ok;
    if (el.Kind == 0 && el.Ch == 0)
      ok = n == name.size();
    else
      ok = n < name.size() && (el.Kind == 1 || UpperAscii(name[n]) == el.Ch);
    if (ok) {
      if (el.Kind == 0 && el.Ch == 0) return true;
      ++e;
      ++n;
      continue;
    }
    if (starE == SIZE_MAX || starN >= name.size()) return false;
    n = ++starN;
    e = starE;
  }
}

bool TInternalMask::Matches(std::wstring_view name) const {
  if (FEndsWithDot && name.find(L'.') == std::wstring_view::npos) return MatchRaw(std::wstring(name) + L".");
  return MatchRaw(name);
}

bool MatchMaskText(std::wstring_view name, std::wstring_view pattern) { return TInternalMask(pattern).Matches(name); }

TzevFileScan::TzevFileScan(TComponent* owner, TzevFileSys* fs)
    : TComponent(owner), CancelFlag(&FCancel), FFs(fs ? fs : &DefaultFileSys()) {
  FoundFileProc = [this](const std::wstring& dir, const TzevFindData& f, void*) { AddFoundFile(dir, f); };
}

void TzevFileScan::AddFoundFile(const std::wstring& dir, const TzevFindData& find) {
  auto o = std::make_unique<TFileObject>();
  if (find.Attr & kAttrDirectory) {
    o->Path = JoinDirName(dir, find.Name);
  } else {
    o->Name = find.Name;
    o->Path = AppendBackslash(dir);
  }
  o->Size = static_cast<uint32_t>(find.Size);
  o->Attr = find.Attr;
  o->DosDateTime = find.DosDate;
  FileList.push_back(std::move(o));
}

void TzevFileScan::Scan() {
  FileList.clear();
  FilesCount = 0;
  FilesSize = 0;
  *CancelFlag = 0;
  for (int i = FileSpec.Count() - 1; i >= 0; --i)
    if (FileSpec[i].empty()) FileSpec.Delete(i);
  while (FileSpec.Count() > 0 && *CancelFlag == 0) {
    std::wstring dir, name;
    SplitMask(FileSpec[0], dir, name);
    bool ownFolder = !dir.empty();
    if (dir.empty()) dir = FRootDir;
    if (dir.empty()) dir = FFs->CurrentDir();
    std::vector<std::wstring> patterns{name};
    for (int i = 1; i < FileSpec.Count();) {
      std::wstring d, n;
      SplitMask(FileSpec[i], d, n);
      if (!ownFolder || d.empty() || !SameTextNoCase(d, dir)) {
        ++i;
        continue;
      }
      bool handled = false;
      for (auto& p : patterns) {
        if (MatchMaskText(n, p)) {  // already covered
          handled = true;
          break;
        }
        if (MatchMaskText(p, n)) {  // the new one covers the old
          p = n;
          handled = true;
          break;
        }
      }
      if (!handled) patterns.push_back(n);
      FileSpec.Delete(i);
    }
    std::vector<TInternalMask> masks;
    bool wild = false;
    for (const auto& p : patterns) {
      masks.emplace_back(p == L"*.*" ? std::wstring(L"*") : p);
      wild = wild || masks.back().HasWildcards();
    }
    if (OnRootDirChange) OnRootDirChange(dir);
    FileSpec.Delete(0);
    ScanFolder(AppendBackslash(dir), AttributeMask(Attributes), masks, wild, 0);
  }
  if (OnFinished) OnFinished(FilesCount, FilesSize);
}

void TzevFileScan::ScanFolder(const std::wstring& dir, uint32_t attrMask, const std::vector<TInternalMask>& masks,
                              bool wild, int depth) {
  if (OnChangeDir) OnChangeDir(dir, FilesCount, FilesSize);
  auto matches = [&](const std::wstring& n) {
    for (const auto& m : masks)
      if (m.Matches(n)) return true;
    return false;
  };
  const uint32_t exMask = AttributeMask(AttributesEx);
  std::vector<std::wstring> subfolders;
  FFs->ListFolder(dir, [&](const TzevFindData& f) {
    if (*CancelFlag) return false;
    bool isDir = f.Attr & kAttrDirectory;
    if (isDir && InAttrSet(Attributes, fsDirectory)) {
      if (RecurseDirs && matches(f.Name) && UpdateList && FoundFileProc) FoundFileProc(dir, f, HeaderList);
    } else {
      // Only the six attributes the masks know are compared.
      uint32_t a = f.Attr & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive);
      bool taken = (a & attrMask) != 0 ||
                   ((f.Attr == 0 || f.Attr == kAttrNormal) && InAttrSet(Attributes, fsZeroAttr));
      if (taken && matches(f.Name) && (a & exMask) == 0) {
        ++FilesCount;
        FilesSize += static_cast<double>(static_cast<uint32_t>(f.Size));
        if (UpdateList && FoundFileProc) FoundFileProc(dir, f, HeaderList);
      }
    }
    // Junctions and symbolic links to folders are not entered: they can loop or lead out of
    // the tree the user chose.
    if (RecurseDirs && isDir && wild && !(f.Attr & kAttrReparsePoint) &&
        (!(f.Attr & kAttrHidden) || IncludeHiddenDirs))
      subfolders.push_back(f.Name);
    // The message loop runs every 64 entries: once per entry costs more than the listing.
    if ((++FPumpCount & 63) == 0) FFs->ProcessMessages();
    return true;
  });
  if (depth >= kMaxDepth) return;
  for (const auto& s : subfolders) {
    if (*CancelFlag) break;
    ScanFolder(JoinDirName(dir, s) + L"\\", attrMask, masks, wild, depth + 1);
  }
}
