#include "panels/PanelDrop.h"

#include <deque>

#include "foundation/HanPopup.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "panels/MFList.h"
#include "panels/MFile.h"

namespace {
bool Pickable(const TFileBoxItem* item) { return item && item->Kind != ikDrive && !IsParentItem(*item); }

// One hidden window that runs queued work from the message loop.
constexpr UINT kRunQueued = WM_APP + 0x51;
std::deque<std::function<void()>>& Queue() {
  static std::deque<std::function<void()>> q;
  return q;
}

LRESULT CALLBACK QueueProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != kRunQueued) return DefWindowProcW(wnd, msg, wp, lp);
  if (!Queue().empty()) {
    std::function<void()> work = std::move(Queue().front());
    Queue().pop_front();
    try {
      work();
    } catch (...) {
    }
  }
  return 0;
}

HWND QueueWindow() {
  static HWND wnd = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = QueueProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VelmoRunLater";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  }();
  return wnd;
}
}  // namespace

std::function<bool(TMFList& list)> ArchiveTakesFiles;

bool AskOnDrop(bool rightButton) { return rightButton || Options.LeftDropMenu; }

DWORD ChooseDropEffect(HWND owner, POINT screen, DWORD effect, DWORD allowed) {
  constexpr UINT kCancel = 100;
  struct {
    DWORD Effect;
    int Message;
  } const entries[] = {{DROPEFFECT_MOVE, 4110}, {DROPEFFECT_COPY, 4111}, {DROPEFFECT_LINK, 4112}};
  if (!(allowed & (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK))) return DROPEFFECT_NONE;
  const TMenuHandle menu(CreatePopupMenu());
  if (!menu) return DROPEFFECT_NONE;
  for (const auto& e : entries) {
    if (!(allowed & e.Effect)) continue;
    AppendMenuW(menu.get(), MF_STRING, e.Effect, LoadMessageText(e.Message).c_str());
    if (effect == e.Effect) SetMenuDefaultItem(menu.get(), e.Effect, FALSE);
  }
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kCancel, LoadMessageText(2).c_str());
  // The menu belongs to the foreground, so that a click elsewhere closes it.
  if (owner) SetForegroundWindow(GetAncestor(owner, GA_ROOT));
  const UINT chosen = TrackMenuAt(menu.get(), owner, screen);
  return chosen == DROPEFFECT_COPY || chosen == DROPEFFECT_MOVE || chosen == DROPEFFECT_LINK ? chosen
                                                                                                : DROPEFFECT_NONE;
}

void PostToMessageLoop(std::function<void()> work) {
  Queue().push_back(std::move(work));
  PostMessageW(QueueWindow(), kRunQueued, 0, 0);
}

bool ListTakesFiles(TMFList& list) { return !list.InArchive && !list.Path.empty(); }

std::vector<std::wstring> ListItemPaths(TMFList& list) {
  std::vector<std::wstring> out;
  if (!ListTakesFiles(list)) return out;
  for (int index : list.SelectedIndexes())
    if (Pickable(list.GetItem(index))) out.push_back(list.Path + list.ItemName(index));
  if (out.empty() && list.ItemIndex >= 0 && Pickable(list.GetItem(list.ItemIndex)))
    out.push_back(list.Path + list.ItemName(list.ItemIndex));
  return out;
}

std::wstring ListDropFolder(TMFList& list, int index) {
  if (!ListTakesFiles(list)) return L"";
  const TFileBoxItem* item = index >= 0 ? list.GetItem(index) : nullptr;
  if (item && item->Kind == ikFolder && !IsParentItem(*item)) return list.Path + list.ItemName(index) + L"\\";
  return list.Path;
}

int DropModeOfEffect(DWORD effect) {
  if (effect & DROPEFFECT_COPY) return 0;
  if (effect & DROPEFFECT_MOVE) return 1;
  if (effect & DROPEFFECT_LINK) return 2;
  return -1;
}

DWORD DefaultDropEffect(const TStringList& files, const std::wstring& targetFolder, DWORD allowed) {
  if (files.Count() == 0 || targetFolder.empty()) return DROPEFFECT_NONE;
  const std::wstring target = IncludeTrailingBackslash(targetFolder);
  bool sameRoot = true;
  for (int i = 0; i < files.Count(); ++i) {
    const std::wstring& f = files[i];
    // Into the folder the files already are in, or into a dragged folder itself: nothing.
    if (lstrcmpiW(IncludeTrailingBackslash(ExtractParentDir(f)).c_str(), target.c_str()) == 0 &&
        !IsPathRoot(ExtractParentDir(f)))
      return DROPEFFECT_NONE;
    if (lstrcmpiW(IncludeTrailingBackslash(f).c_str(), target.c_str()) == 0) return DROPEFFECT_NONE;
    if (lstrcmpiW(ExtractPathRoot(f).c_str(), ExtractPathRoot(target).c_str()) != 0) sameRoot = false;
  }
  DWORD first = sameRoot ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
  if (allowed & first) return first;
  for (DWORD e : {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_LINK})
    if (allowed & e) return e;
  return DROPEFFECT_NONE;
}

TListDropLink::TListDropLink(TComponent* owner, TControl& window, TMFList& list, std::function<int(POINT)> itemAt)
    : TComponent(owner), FWindow(window), FList(list), FItemAt(std::move(itemAt)), FTarget(new TDropFileTarget(this)) {
  FTarget->GetDataOnEnter = true;
  FTarget->ScrollSpeed = 80;
  FTarget->OnGetDropEffect = [this](TShiftState shift, POINT p, DWORD& effect) {
    if (FList.InArchive) {
      // Into an archive files are only ever copied.
      const bool takes = ArchiveTakesFiles && ArchiveTakesFiles(FList);
      effect = takes && (FTarget->SourceEffects() & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
      return;
    }
    const std::wstring folder = ListDropFolder(FList, FItemAt ? FItemAt(p) : -1);
    if (folder.empty()) {
      effect = DROPEFFECT_NONE;
      return;
    }
    const DWORD allowed = FTarget->SourceEffects();
    // Keys choose; without keys the shell's rule for the folder under the pointer.
    if (!(shift & (ssShift | ssCtrl | ssAlt))) effect = DefaultDropEffect(FTarget->Files, folder, allowed);
  };
  FTarget->OnDrop = [this](TShiftState, POINT p, DWORD& effect) {
    // An archive view takes the files into the archive: the target is the archive file.
    const std::wstring folder = FList.InArchive ? (effect ? FList.Path + FList.ArcFileName : L"")
                                                : ListDropFolder(FList, FItemAt ? FItemAt(p) : -1);
    if (!folder.empty() && effect && AskOnDrop(FTarget->RightButton())) {
      POINT screen = p;
      if (FWindow.HandleAllocated()) ClientToScreen(FWindow.Handle(), &screen);
      effect = ChooseDropEffect(FWindow.HandleAllocated() ? FWindow.Handle() : nullptr, screen, effect,
                                FList.InArchive ? (FTarget->SourceEffects() & DROPEFFECT_COPY)
                                                : FTarget->SourceEffects());
    }
    const int mode = DropModeOfEffect(effect);
    if (folder.empty() || mode < 0 || !OnDrop) {
      effect = DROPEFFECT_NONE;
      return;
    }
    TStringList files = FTarget->Files, mapped = FTarget->MappedNames;
    const bool same = FTarget->SameSource();
    TFileDropEvent handler = OnDrop;
    PostToMessageLoop([handler, folder, same, mode, files, mapped] { handler(folder, same, mode, files, mapped); });
  };
  Attach();
}

void TListDropLink::Attach() {
  if (!FWindow.HandleAllocated()) return;
  if (FTarget->TargetWindow() == FWindow.Handle()) return;
  FTarget->SetTarget(&FWindow);
}
