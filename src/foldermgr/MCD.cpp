#include "foldermgr/MCD.h"

#include <windows.h>

#include <algorithm>

#include "foldermgr/MCDTree.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "framework/FolderEnum.h"
#include "framework/TextCompare.h"

namespace {
struct TScan {
  std::vector<TMCDScanItem>& Items;
  const std::function<bool(const std::vector<TMCDScanItem>&)>& Progress;
  bool Recursive;
  bool Stopped = false;

  bool Ask() {
    if (!Stopped && Progress && !Progress(Items)) Stopped = true;
    return !Stopped;
  }

  void Folder(const std::wstring& folder, int32_t parentDepth, int32_t parentIndex) {
    struct TEntry {
      std::wstring Name;
      bool Link;
    };
    std::vector<TEntry> found;
    TFolderEnum list(folder, TFolderEnum::LargeFetch);
    for (const WIN32_FIND_DATAW& fd : list) {
      if (TFolderEnum::IsFolderData(fd)) found.push_back({fd.cFileName, TFolderEnum::IsLinkData(fd)});
      if (!Ask()) break;
    }
    std::sort(found.begin(), found.end(),
              [](const TEntry& a, const TEntry& b) { return CompareTextI(a.Name, b.Name) < 0; });
    for (size_t i = 0; i < found.size() && !Stopped; ++i) {
      TMCDScanItem item;
      item.Name = found[i].Name;
      item.Path = folder + found[i].Name;
      item.Depth = parentDepth + 1;
      item.ParentIndex = parentIndex;
      item.FirstChild = i == 0;
      item.LastChild = i + 1 == found.size();
      Items.push_back(std::move(item));
      int32_t index = static_cast<int32_t>(Items.size() - 1);
      if (!Ask()) break;
      if (Recursive && !found[i].Link && parentDepth + 1 < MaxTreeDepth)
        Folder(Items[static_cast<size_t>(index)].Path + L"\\", parentDepth + 1, index);
    }
  }
};
}  // namespace

bool ScanFolderTree(const std::wstring& drive, bool recursive, std::vector<TMCDScanItem>& items,
                    const std::function<bool(const std::vector<TMCDScanItem>& items)>& progress) {
  items.clear();
  std::wstring d = ExcludeTrailingBackslash(drive);
  int depth = GetPathDepth(d);
  if (d.empty() || !(depth == 0 ? DriveOrShareExists(d + L"\\") : FolderExists(d))) return false;
  TMCDScanItem first;
  first.Path = d;
  first.Depth = depth;
  first.FirstChild = first.LastChild = true;
  if (depth > 0) {
    first.Name = d.substr(d.rfind(L'\\') + 1);
  } else if (IsUncPath(d)) {
    first.Name = d.substr(d.rfind(L'\\') + 1);
    first.ImageIndex = -1;
  } else {
    first.Name = d;
  }
  items.push_back(first);
  TScan scan{items, progress, recursive};
  scan.Folder(d + L"\\", depth, 0);
  return true;
}

TReScanForm::TReScanForm(TComponent* owner) : TWaitingModalForm(owner) {
  SetInfoText(LoadMessageText(5017));
}

void TReScanForm::Work() {
  SetCaption(LoadMessageText(5018) + L" " + Drive);
  DWORD last = GetTickCount();
  FReturn = ScanFolderTree(Drive, Recursive, FItems, [this, &last](const std::vector<TMCDScanItem>& items) {
    // The window is kept alive a few times a second; pumping after every entry would cost more
    // than the walk itself.
    DWORD now = GetTickCount();
    if (now - last >= 50) {
      last = now;
      if (items.size() > 1) SetSubText(items.back().Name + L"\r" + std::to_wstring(items.size() - 1));
      Application().ProcessMessages();
    }
    return !NowStop;
  });
}

bool ReScanDriveTree(TComponent* owner, const std::wstring& path) {
  std::wstring root = ExcludeTrailingBackslash(ExtractPathRoot(path));
  if (root.empty()) return false;
  TReScanForm form(owner);
  form.Drive = root;
  form.ExecuteModal();
  if (!form.Return()) return false;
  std::vector<TTreeFileLine> lines;
  lines.reserve(form.Items().size());
  for (const TMCDScanItem& item : form.Items()) lines.push_back({item.Depth, item.Name});
  auto* control = dynamic_cast<TControl*>(owner);
  TMCDTreeMan tree(control ? control->Handle() : nullptr, root);
  tree.ReplaceAll(lines);
  return true;
}
