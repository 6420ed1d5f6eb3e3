#pragma once
// The folder manager's rescan: the wait window that walks a drive or a branch and lists its
// folders in pre-order, and the full scan that builds a drive's tree file from it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/WaitDlg.h"

// One folder found by a scan.
struct TMCDScanItem {
  std::wstring Name;  // the last component; for a root the root itself ("C:"), for a share its name
  std::wstring Path;  // full path without trailing backslash
  int32_t Depth = 0;
  int32_t ParentIndex = -1;
  bool FirstChild = false, LastChild = false;
  int32_t ImageIndex = 0;
};

// Walks drive (a root or a folder, without trailing backslash): the first item is drive
// itself, then its sub-folders in pre-order, siblings sorted by name. Hidden and system folders
// count; links (junctions, symbolic links) are listed but never entered, and nothing deeper
// than the tree file's depth limit is entered. progress is asked after every entry with the
// items found so far and may stop the walk (false). False when drive is neither a root nor an
// existing folder.
bool ScanFolderTree(const std::wstring& drive, bool recursive, std::vector<TMCDScanItem>& items,
                    const std::function<bool(const std::vector<TMCDScanItem>& items)>& progress);

class TReScanForm : public TWaitingModalForm {
 public:
  explicit TReScanForm(TComponent* owner);
  std::wstring Drive;
  bool Recursive = true;
  bool Return() const { return FReturn; }
  const std::vector<TMCDScanItem>& Items() const { return FItems; }
  std::vector<TMCDScanItem> TakeItems() { return std::move(FItems); }
  void Work() override;

 private:
  bool FReturn = false;
  std::vector<TMCDScanItem> FItems;
};

// Rebuilds the tree file of the drive that holds path from a full scan in the rescan window;
// a stopped scan writes what was found. True when a scan ran.
bool ReScanDriveTree(TComponent* owner, const std::wstring& path);
