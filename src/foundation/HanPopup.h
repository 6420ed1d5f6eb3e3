#pragma once
// THanPopupMenu: the program's pop-up menu, a component holding its items (THanPopupItems)
// that is tracked at a screen point; the item chosen runs its click handler.
#include <windows.h>

#include <functional>
#include <string>

#include "foundation/MYTOOL.h"
#include "framework/Component.h"

// Tracks a menu at a screen point for the owner window (the right button may pick too) and
// returns the command chosen, 0 when the menu was dismissed.
UINT TrackMenuAt(HMENU menu, HWND owner, POINT screen);

class THanPopupMenu : public TComponent {
 public:
  explicit THanPopupMenu(TComponent* owner, UINT firstCommand = 100);
  THanPopupItems& Items() { return FItems; }
  HMENU Handle() const { return FItems.Handle(); }
  // Adds an item (caption "-": a separator) and returns it.
  TMenuItemRec& Add(std::wstring_view caption, std::function<void(TMenuItemRec&)> onClick = nullptr, int tag = 0,
                    TShortCut shortCut = 0);
  // Runs OnPopup, hides the separators that would stand first, last or twice in a row, tracks
  // the menu at the point and runs the chosen item's handler. Returns the chosen item, or null.
  TMenuItemRec* Popup(int x, int y, HWND ownerWnd);
  // Shows or hides an item (a hidden item keeps its place among the items).
  void SetItemVisible(TMenuItemRec& item, bool visible);
  bool ItemVisible(const TMenuItemRec& item) const;
  // The item whose window was last given to Popup, for handlers that need it.
  HWND PopupOwner() const { return FPopupOwner; }
  std::function<void(THanPopupMenu* sender)> OnPopup;

 private:
  void Rebuild();
  THanPopupItems FItems;
  std::vector<const TMenuItemRec*> FHidden;
  HWND FPopupOwner = nullptr;
};

// Creates an item owned by the menu and appends it to the menu's items.
TMenuItemRec& AddPopupItem(THanPopupMenu& menu, std::wstring_view caption, int imageIndex,
                           std::function<void(TMenuItemRec&)> onClick, int tag, TShortCut shortCut, int helpCtx);
