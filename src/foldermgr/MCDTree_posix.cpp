// The host's stand-in for the tree file name rule: the host has no drives, so no tree file.
#include "foldermgr/MCDTree.h"
#include "foundation/MYTOOL.h"

std::wstring MakeTreeFileNameByDriveType(const std::wstring& root, uint32_t driveType) {
  if (driveType == 4) return RemoteTreeFileName(root);
  if (driveType == 0 || driveType == 2 || driveType == 3 || driveType == 6)
    return IncludeTrailingBackslash(root) + L"TREEINFO.MCD";
  return L"";
}

std::wstring GetTreeFileName(TTreeOwnerWnd, const std::wstring&) { return L""; }
