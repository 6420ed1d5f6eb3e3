#include "foundation/HanPopup.h"

#include <algorithm>

UINT TrackMenuAt(HMENU menu, HWND owner, POINT screen) {
  if (!menu) return 0;
  HWND track = owner && IsWindow(owner) ? owner : GetDesktopWindow();
  return static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY | TPM_LEFTALIGN,
                                          screen.x, screen.y, 0, track, nullptr));
}

THanPopupMenu::THanPopupMenu(TComponent* owner, UINT firstCommand) : TComponent(owner), FItems(firstCommand) {}

TMenuItemRec& THanPopupMenu::Add(std::wstring_view caption, std::function<void(TMenuItemRec&)> onClick, int tag,
                                 TShortCut shortCut) {
  if (caption == L"-") return FItems.Add(NewSeparatorItem());
  return AddPopupItem(FItems, caption, -1, std::move(onClick), tag, shortCut, 0);
}

TMenuItemRec& AddPopupItem(THanPopupMenu& menu, std::wstring_view caption, int imageIndex,
                           std::function<void(TMenuItemRec&)> onClick, int tag, TShortCut shortCut, int helpCtx) {
  return AddPopupItem(menu.Items(), caption, imageIndex, std::move(onClick), tag, shortCut, helpCtx);
}

bool THanPopupMenu::ItemVisible(const TMenuItemRec& item) const {
  return std::find(FHidden.begin(), FHidden.end(), &item) == FHidden.end();
}

void THanPopupMenu::SetItemVisible(TMenuItemRec& item, bool visible) {
  auto it = std::find(FHidden.begin(), FHidden.end(), &item);
  if (visible && it != FHidden.end()) FHidden.erase(it);
  if (!visible && it == FHidden.end()) FHidden.push_back(&item);
}

// The menu handle is rebuilt from the items before each showing, so that captions, states and
// visibility changed by OnPopup or by the program are what the user sees.
void THanPopupMenu::Rebuild() {
  HMENU menu = FItems.Handle();
  while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
  std::vector<const TMenuItemRec*> shown;
  for (const auto& item : FItems.Items())
    if (ItemVisible(*item)) shown.push_back(item.get());
  // Separators first, last or doubled are left out.
  std::vector<const TMenuItemRec*> kept;
  for (const TMenuItemRec* item : shown) {
    bool sep = item->Caption == L"-";
    if (sep && (kept.empty() || kept.back()->Caption == L"-")) continue;
    kept.push_back(item);
  }
  while (!kept.empty() && kept.back()->Caption == L"-") kept.pop_back();
  for (const TMenuItemRec* item : kept) AppendMenuItemRec(menu, *item);
}

TMenuItemRec* THanPopupMenu::Popup(int x, int y, HWND ownerWnd) {
  FPopupOwner = ownerWnd;
  if (OnPopup) OnPopup(this);
  Rebuild();
  UINT command = TrackMenuAt(FItems.Handle(), ownerWnd, POINT{x, y});
  if (command == 0) return nullptr;
  TMenuItemRec* item = FItems.FindCommand(command);
  if (item) FItems.Click(command);
  return item;
}
