#include "foundation/Context.h"

#include <commctrl.h>

#include <vector>

#include "foundation/MPIDL.h"
#include "framework/Handles.h"
#include "framework/TextCompare.h"

namespace {
constexpr UINT kFirstId = 1, kLastId = 0x7FFF;

template <class T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// The context menu of items of one folder.
IContextMenu* MenuOf(IShellFolder* folder, LPCITEMIDLIST* pidls, int count, HWND owner) {
  if (!folder || !pidls || count <= 0) return nullptr;
  IContextMenu* cm = nullptr;
  if (FAILED(folder->GetUIObjectOf(owner, static_cast<UINT>(count), pidls, IID_IContextMenu, nullptr,
                                   reinterpret_cast<void**>(&cm))))
    return nullptr;
  return cm;
}

// The parent folder and the child name of one path.
bool SplitPath(std::wstring_view path, HWND owner, IShellFolder*& parent, LPITEMIDLIST& full, LPCITEMIDLIST& child) {
  parent = nullptr;
  child = nullptr;
  if (!ParseDisplayNameIn(owner, nullptr, path, full)) return false;
  PCUITEMID_CHILD last = nullptr;
  if (FAILED(SHBindToParent(full, IID_IShellFolder, reinterpret_cast<void**>(&parent), &last))) {
    FreePidl(full);
    return false;
  }
  child = last;
  return true;
}

bool InvokeVerb(IContextMenu* cm, HWND owner, const char* verbA, const wchar_t* verbW, UINT offset, POINT pt,
                bool byOffset) {
  CMINVOKECOMMANDINFOEX ci{};
  ci.cbSize = sizeof ci;
  ci.fMask = CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE;
  ci.hwnd = owner;
  ci.lpVerb = byOffset ? MAKEINTRESOURCEA(offset) : verbA;
  ci.lpVerbW = byOffset ? MAKEINTRESOURCEW(offset) : verbW;
  ci.nShow = SW_SHOWNORMAL;
  ci.ptInvoke = pt;
  return SUCCEEDED(cm->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&ci)));
}

std::wstring VerbOf(IContextMenu* cm, UINT id) {
  if (id < kFirstId) return L"";
  wchar_t buf[256] = {};
  if (FAILED(cm->GetCommandString(id - kFirstId, GCS_VERBW, nullptr, reinterpret_cast<char*>(buf), 255)))
    return L"";
  buf[255] = 0;
  return buf;
}

// While the menu is tracked, the owner window passes the menu messages of the shell's
// owner-drawn and delayed submenus ("Send to", "Open with") on to the menu.
LRESULT CALLBACK ForwardMenuMessages(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
  auto* cm = reinterpret_cast<IContextMenu*>(data);
  if (msg == WM_INITMENUPOPUP || msg == WM_DRAWITEM || msg == WM_MEASUREITEM || msg == WM_MENUCHAR) {
    IContextMenu3* cm3 = nullptr;
    IContextMenu2* cm2 = nullptr;
    LRESULT result = 0;
    if (SUCCEEDED(cm->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&cm3)))) {
      HRESULT hr = cm3->HandleMenuMsg2(msg, wp, lp, &result);
      cm3->Release();
      if (SUCCEEDED(hr)) return result;
    } else if (SUCCEEDED(cm->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&cm2)))) {
      HRESULT hr = cm2->HandleMenuMsg(msg, wp, lp);
      cm2->Release();
      if (SUCCEEDED(hr)) return msg == WM_INITMENUPOPUP ? 0 : TRUE;
    }
  }
  return DefSubclassProc(wnd, msg, wp, lp);
}

UINT TrackForUser(HMENU menu, HWND owner, POINT pt, IContextMenu* cm) {
  HWND track = owner ? owner : GetDesktopWindow();
  // Only a window of this thread can be subclassed; the desktop's submenus then stay plain.
  bool forwarded = GetWindowThreadProcessId(track, nullptr) == GetCurrentThreadId() &&
                   SetWindowSubclass(track, ForwardMenuMessages, 0x56454C4D, reinterpret_cast<DWORD_PTR>(cm));
  if (owner) SetForegroundWindow(owner);
  UINT id = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, pt.x, pt.y, 0, track, nullptr);
  if (forwarded) RemoveWindowSubclass(track, ForwardMenuMessages, 0x56454C4D);
  return id;
}

bool RunMenu(IContextMenu* cm, HWND owner, POINT pt, bool canRename, bool& renameChosen) {
  renameChosen = false;
  const TMenuHandle owned(CreatePopupMenu());
  HMENU menu = owned.get();
  if (!menu) return false;
  bool done = false;
  UINT flags = CMF_NORMAL | CMF_EXPLORE | (canRename ? CMF_CANRENAME : 0);
  if (SUCCEEDED(cm->QueryContextMenu(menu, 0, kFirstId, kLastId, flags))) {
    auto verbOf = [cm](UINT id) { return VerbOf(cm, id); };
    UINT id = ShellMenuPicker ? ShellMenuPicker(menu, owner, pt, verbOf) : TrackForUser(menu, owner, pt, cm);
    if (id >= kFirstId && id <= kLastId) {
      if (SameTextI(VerbOf(cm, id), L"rename")) {
        renameChosen = canRename;
        done = canRename;
      } else {
        done = InvokeVerb(cm, owner, nullptr, nullptr, id - kFirstId, pt, true);
      }
    }
  }
  return done;
}
}  // namespace

TShellMenuPicker ShellMenuPicker;

bool ShowShellPropertiesPidls(IShellFolder* folder, LPCITEMIDLIST* pidls, int, HWND ownerWnd, int count) {
  IContextMenu* cm = MenuOf(folder, pidls, count, ownerWnd);
  if (!cm) return false;
  // Some menus run a verb only after they have been built once.
  const TMenuHandle menu(CreatePopupMenu());
  if (menu) cm->QueryContextMenu(menu.get(), 0, kFirstId, kLastId, CMF_NORMAL);
  bool ok = InvokeVerb(cm, ownerWnd, "properties", L"properties", 0, POINT{0, 0}, false);
  cm->Release();
  return ok;
}

bool ShowShellProperties(std::wstring_view path, HWND ownerWnd) {
  IShellFolder* parent;
  LPITEMIDLIST full = nullptr;
  LPCITEMIDLIST child;
  if (!SplitPath(path, ownerWnd, parent, full, child)) return false;
  bool ok = ShowShellPropertiesPidls(parent, &child, 0, ownerWnd, 1);
  Release(parent);
  FreePidl(full);
  return ok;
}

bool ShowShellContextMenuPidlsAt(IShellFolder* folder, LPCITEMIDLIST* pidls, int, HWND ownerWnd, POINT point,
                                 int count, bool canRename, bool& renameChosen) {
  renameChosen = false;
  IContextMenu* cm = MenuOf(folder, pidls, count, ownerWnd);
  if (!cm) return false;
  bool ok = RunMenu(cm, ownerWnd, point, canRename, renameChosen);
  cm->Release();
  return ok;
}

bool ShowShellContextMenuAt(std::wstring_view path, HWND ownerWnd, POINT point, bool canRename, bool& renameChosen) {
  renameChosen = false;
  IShellFolder* parent;
  LPITEMIDLIST full = nullptr;
  LPCITEMIDLIST child;
  if (!SplitPath(path, ownerWnd, parent, full, child)) return false;
  bool ok = ShowShellContextMenuPidlsAt(parent, &child, 0, ownerWnd, point, 1, canRename, renameChosen);
  Release(parent);
  FreePidl(full);
  return ok;
}
