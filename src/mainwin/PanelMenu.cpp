#include "mainwin/PanelMenu.h"

#include <shlobj.h>

#include <string>
#include <vector>

#include "foundation/Context.h"
#include "foundation/MPIDL.h"
#include "foundation/MYTOOL.h"
#include "mainwin/FilePanel.h"
#include "mainwin/Main.h"
#include "panels/FileWin.h"
#include "panels/MFList.h"

namespace {
// Releases a folder and frees child lists when the menu is done.
struct TChildren {
  IShellFolder* Folder = nullptr;
  std::vector<LPITEMIDLIST> Pidls;
  ~TChildren() {
    for (LPITEMIDLIST& p : Pidls) FreePidl(p);
    if (Folder) Folder->Release();
  }
};

// The items the menu is for: the selection in its order, else the focused item when it is a
// folder or file (not ".." or a drive entry).
std::vector<std::wstring> MenuItems(TMFList& list) {
  std::vector<std::wstring> names;
  for (int i : list.SelectedIndexes()) names.push_back(list.ItemName(i));
  if (names.empty() && list.Selectable(list.ItemIndex)) names.push_back(list.ItemName(list.ItemIndex));
  return names;
}

// The shell's folder of the list and the child lists of the named items in it; false when the
// folder cannot be bound or no name is found in it.
bool BindItems(HWND owner, TMFList& list, const std::vector<std::wstring>& names, TChildren& items) {
  LPITEMIDLIST folderPidl = nullptr;
  IShellFolder* desktop = nullptr;
  if (!ParseDisplayNameIn(owner, nullptr, list.Path, folderPidl)) return false;
  if (SUCCEEDED(SHGetDesktopFolder(&desktop))) {
    desktop->BindToObject(folderPidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&items.Folder));
    desktop->Release();
  }
  FreePidl(folderPidl);
  if (!items.Folder) return false;
  for (const std::wstring& name : names) {
    LPITEMIDLIST child = nullptr;
    if (ParseDisplayNameIn(owner, items.Folder, name, child)) items.Pidls.push_back(child);
  }
  return !items.Pidls.empty();
}
}  // namespace

void ShowPanelContextMenu(TQ7XForm& form, TPanelView& panel, POINT screenPoint) {
  TMFList& list = panel.List();
  if (list.InArchive || list.Path.empty()) return;
  const HWND owner = form.Handle();
  const std::vector<std::wstring> names = MenuItems(list);
  bool ran = false, rename = false;
  if (names.empty()) {
    ran = ShowShellContextMenuAt(ExcludeTrailingBackslashKeepRoot(list.Path), owner, screenPoint, false, rename);
  } else {
    TChildren items;
    if (!BindItems(owner, list, names, items)) return;
    std::vector<LPCITEMIDLIST> children(items.Pidls.begin(), items.Pidls.end());
    ran = ShowShellContextMenuPidlsAt(items.Folder, children.data(), 0, owner, screenPoint,
                                      static_cast<int>(children.size()), true, rename);
  }
  if (rename) {
    form.RunCommand(1004, 0);
  } else if (ran) {
    panel.Reread();
    form.UpdateCommandStates();
  }
}

void ShowPanelProperties(TQ7XForm& form, TPanelView& panel) {
  TMFList& list = panel.List();
  if (list.InArchive || list.Path.empty()) return;
  const HWND owner = form.Handle();
  const std::vector<std::wstring> names = MenuItems(list);
  if (names.empty()) {
    if (!ShowShellProperties(ExcludeTrailingBackslashKeepRoot(list.Path), owner)) MessageBeep(MB_OK);
    return;
  }
  TChildren items;
  bool shown = BindItems(owner, list, names, items);
  if (shown) {
    std::vector<LPCITEMIDLIST> children(items.Pidls.begin(), items.Pidls.end());
    shown = ShowShellPropertiesPidls(items.Folder, children.data(), 0, owner, static_cast<int>(children.size()));
  }
  if (!shown && names.size() == 1) MessageBeep(MB_OK);
}

POINT NewPopupPoint(TPanelView& panel) {
  POINT p{0, 0};
  TControl* list = &panel;
  if (auto* filePanel = dynamic_cast<TFilePanel*>(&panel)) list = &filePanel->Win().Box();
  if (list->HandleAllocated()) ClientToScreen(list->Handle(), &p);
  return p;
}
