// The tree file name rule, which asks the system about the drive.
#include <windows.h>

#include "foldermgr/MCDTree.h"
#include "foundation/Folders.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "framework/FolderEnum.h"
#include "framework/TextCompare.h"

std::wstring MakeTreeFileNameByDriveType(const std::wstring& root, uint32_t driveType) {
  switch (driveType) {
    case DRIVE_REMOTE:
      return RemoteTreeFileName(root);
    case DRIVE_CDROM: {
      // A CD has no serial to go by: its first entry describes it.
      TErrorModeGuard quiet;
      TFolderEnum list(root);
      auto first = list.begin();
      if (first == list.end()) return CdTreeFileName(0, 0, 0, 0, L"");
      const WIN32_FIND_DATAW& fd = *first;
      uint32_t dos = 0;
      FILETIME local;
      WORD date = 0, time = 0;
      if (FileTimeToLocalFileTime(&fd.ftCreationTime, &local) && FileTimeToDosDateTime(&local, &date, &time))
        dos = (static_cast<uint32_t>(date) << 16) | time;
      return CdTreeFileName(dos, fd.dwFileAttributes, fd.nFileSizeHigh, fd.nFileSizeLow, UpperCase(fd.cFileName));
    }
    case DRIVE_UNKNOWN:
    case DRIVE_REMOVABLE:
    case DRIVE_FIXED:
    case DRIVE_RAMDISK:
      return IncludeTrailingBackslash(root) + L"TREEINFO.MCD";
    default:  // no root directory, or a type the rule does not know
      return L"";
  }
}

std::wstring GetTreeFileName(TTreeOwnerWnd ownerWnd, const std::wstring& rootPath) {
  if (rootPath.empty()) return L"";
  std::wstring root = rootPath;
  if (root[0] == L'\\') root = NormalizePath(root);
  root = IncludeTrailingBackslash(root);
  if (Options.TreeSaveToRoot && GetDriveTypeW(root.c_str()) != DRIVE_CDROM) return root + L"TREEINFO.MCD";
  if (!CheckPathReachable(ownerWnd, root)) return L"";
  std::wstring name;
  if (IsUncPath(root)) {
    name = MakeTreeFileNameByDriveType(root, DRIVE_REMOTE);
  } else {
    TErrorModeGuard quiet;
    DWORD serial = 0;
    if (GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) && serial != 0)
      name = SerialTreeFileName(serial);
    else
      name = MakeTreeFileNameByDriveType(root, GetDriveTypeW(root.c_str()));
  }
  if (!name.empty() && name.find(L'\\') == std::wstring::npos) name = McdFolder + name;
  return name;
}

namespace {
class TMCDTreeCache : public TFolderTreeCache {
 public:
  TMCDTreeCache(HWND ownerWnd, const std::wstring& path) : FMan(ownerWnd, path) {}
  void SyncChildren(const std::wstring& path, TStringList& names) override { FMan.SyncChildren(path, names); }

 private:
  TMCDTreeMan FMan;
};
}  // namespace

TFolderTreeCacheFactory MCDTreeCacheFactory() {
  return [](HWND ownerWnd, const std::wstring& path) -> std::unique_ptr<TFolderTreeCache> {
    return std::make_unique<TMCDTreeCache>(ownerWnd, path);
  };
}
