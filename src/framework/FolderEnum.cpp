#include "framework/FolderEnum.h"

TFolderEnum::TFolderEnum(std::wstring_view folder, unsigned options, std::wstring_view pattern)
    : FFolder(folder), FPattern(pattern.empty() ? std::wstring_view(L"*") : pattern), FOptions(options) {
  if (!FFolder.empty() && FFolder.back() != L'\\' && FFolder.back() != L'/') FFolder += L'\\';
}

TFolderEnum::~TFolderEnum() = default;

bool TFolderEnum::IsLinkData(const WIN32_FIND_DATAW& d) {
  if (!(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  // A reparse point whose tag is not given is taken for a link: never entering it is the safe side.
  return d.dwReserved0 == 0 || IsReparseTagNameSurrogate(d.dwReserved0);
}

bool TFolderEnum::FindExact(const wchar_t* path, WIN32_FIND_DATAW& data) {
  return static_cast<bool>(TFindHandle(FindFirstFileW(path, &data)));
}

bool TFolderEnum::SystemFindNext(HANDLE find, WIN32_FIND_DATAW& data) { return FindNextFileW(find, &data) != FALSE; }

std::wstring TFolderEnum::RelativeName() const { return FPrefix + FData.cFileName; }

std::wstring TFolderEnum::FullName() const { return FFolder + FPrefix + FData.cFileName; }

bool TFolderEnum::Open(const std::wstring& folder, bool top, size_t parentPrefix) {
  const FINDEX_INFO_LEVELS level = (FOptions & ShortNames) ? FindExInfoStandard : FindExInfoBasic;
  const DWORD flags = (FOptions & LargeFetch) ? FIND_FIRST_EX_LARGE_FETCH : 0;
  TFindHandle find(FindFirstFileExW((folder + FPattern).c_str(), level, &FData, FindExSearchNameMatch, nullptr, flags));
  if (!find) {
    const DWORD e = GetLastError();
    // Nothing that matches (an empty root has not even "."): a whole, empty listing.
    if (e != ERROR_FILE_NOT_FOUND && e != ERROR_NO_MORE_FILES && FError == ERROR_SUCCESS) FError = e;
    return false;
  }
  if (top) FOpened = true;
  FLevels.push_back(TLevel{std::move(find), parentPrefix});
  return true;
}

bool TFolderEnum::Fetch(TLevel& level) {
  if (FindNext) return FindNext(level.Find.get(), FData);
  return SystemFindNext(level.Find.get(), FData);
}

bool TFolderEnum::Wanted() const {
  const wchar_t* n = FData.cFileName;
  if (n[0] != L'.') return true;
  if (n[1] == 0) return false;
  if (n[1] == L'.' && n[2] == 0) return (FOptions & ParentEntry) && FLevels.size() == 1;
  return true;
}

void TFolderEnum::MarkEntry() {
  FEnterPending = (FOptions & Recursive) && IsFolder() && (!IsLink() || (FOptions & FollowLinks)) &&
                  std::wstring_view(FData.cFileName) != L"..";
}

TFolderEnum::iterator TFolderEnum::begin() {
  if (FStarted) return end();
  FStarted = true;
  if (FFolder.empty()) {
    FError = ERROR_PATH_NOT_FOUND;
    FDone = true;
    return end();
  }
  if (!Open(FFolder, true, 0)) {
    FDone = true;
    return end();
  }
  if (Wanted()) {
    MarkEntry();
    return iterator(this);
  }
  return Advance() ? iterator(this) : end();
}

bool TFolderEnum::Advance() {
  for (;;) {
    bool got = false;
    if (FEnterPending) {
      FEnterPending = false;
      const size_t before = FPrefix.size();
      FPrefix += FData.cFileName;
      FPrefix += L'\\';
      got = Open(FFolder + FPrefix, false, before);
      if (!got) FPrefix.resize(before);
    }
    if (!got) {
      if (FLevels.empty()) {
        FDone = true;
        return false;
      }
      TLevel& level = FLevels.back();
      got = Fetch(level);
      if (!got) {
        const DWORD e = GetLastError();
        if (e != ERROR_NO_MORE_FILES && FError == ERROR_SUCCESS) FError = e ? e : ERROR_READ_FAULT;
        FPrefix.resize(level.PrefixLength);
        FLevels.pop_back();
        continue;
      }
    }
    if (!Wanted()) continue;
    MarkEntry();
    return true;
  }
}
