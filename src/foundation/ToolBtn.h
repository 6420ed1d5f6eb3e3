#pragma once
// THToolBar: the program's tool bar (flat, wrapping its buttons onto more rows when narrow),
// the base of the menu bar and the drive bar; AddToolButton and AddToolSeparator fill it.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"

class THanPopupMenu;

// Button styles: a push button, a check button, a button with a drop-down menu, a separator
// and a divider.
enum TToolButtonStyle : uint8_t { tbsButton = 0, tbsCheck = 1, tbsDropDown = 2, tbsSeparator = 3, tbsDivider = 4 };

class THToolBar;

class TToolButton : public TComponent {
 public:
  explicit TToolButton(THToolBar* bar);
  THToolBar* ToolBar() const { return FBar; }
  int Index() const;
  std::wstring Caption;
  std::wstring Hint;
  TToolButtonStyle Style = tbsButton;
  int ImageIndex = -1;
  // A check button of a group: pressing one releases the others.
  bool Grouped = false;
  bool AutoSize = false;
  THanPopupMenu* DropdownMenu = nullptr;
  TNotifyEvent OnClick;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  bool Down() const;
  void SetDown(bool v);
  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  // Where the button stands in the bar's client area.
  RECT BoundsRect() const;
  // Presses the button as a click would.
  void Click();

 private:
  friend class THToolBar;
  THToolBar* FBar;
  bool FEnabled = true;
  bool FDown = false;
  bool FVisible = true;
  int FCommand = 0;
  // The button stands in the bar's control (those added within an update join it at its end).
  bool FInBar = false;
};

class THToolBar : public TControl {
 public:
  explicit THToolBar(TComponent* owner);
  ~THToolBar() override;

  int ButtonCount() const { return static_cast<int>(FButtons.size()); }
  TToolButton* Buttons(int i) const { return FButtons[static_cast<size_t>(i)]; }
  // Appends a button made for this bar and shows it.
  TToolButton* AddButton(TToolButton* button);
  void DeleteButton(int index);
  void ClearButtons();

  bool Wrapable() const { return FWrapable; }
  // Off first lays every button out in one row.
  void SetWrapable(bool v);
  bool Flat = true;
  // Captions are shown on the buttons (beside the image in the list style); otherwise they
  // are only hints.
  bool ShowCaptions() const { return FShowCaptions; }
  void SetShowCaptions(bool v);
  bool List = false;
  // The bar's height follows its rows.
  bool AutoSize = true;
  HIMAGELIST Images() const { return FImages; }
  void SetImages(HIMAGELIST images);
  // Rows the buttons take now.
  int RowCount() const;
  // Lays the buttons out for the current width and fits the height to them.
  void Relayout();
  // Between these, adding and removing buttons lays the bar out once, at the end, instead of
  // after every button (each layout may move the windows around the bar); the buttons added
  // reach the control together at the end.
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void CommandMessage(WPARAM wp) override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  friend class TToolButton;
  TBBUTTON ButtonRecord(int index) const;
  // Hands the buttons not yet in the control to it, all in one message.
  void PushPendingButtons();
  int IndexOfCommand(int command) const;
  std::vector<TToolButton*> FButtons;
  bool FWrapable = true;
  bool FShowCaptions = false;
  HIMAGELIST FImages = nullptr;
  int FNextCommand = 1;
  bool FLayingOut = false;
  int FUpdating = 0;
  bool FLayoutPending = false;
};

// Adds a button after the last one, with its caption as caption and hint. A separator (style
// 3) takes no click handler, no enabled state and no auto-size; the drop-down menu belongs
// only to a drop-down button (style 2).
TToolButton* AddToolButton(THToolBar* toolBar, const std::wstring& caption, bool grouped, TNotifyEvent onClick,
                           uint8_t style, int tag, int imageIndex, bool enabled, THanPopupMenu* dropdownMenu);
// Adds a separator button (style 3, no image).
TToolButton* AddToolSeparator(THToolBar* toolBar);
