#include "foundation/ToolBtn.h"

#include <algorithm>

#include "foundation/HanPopup.h"

namespace {
constexpr int kSeparatorWidth = 8;
}

// ---- TToolButton ----

TToolButton::TToolButton(THToolBar* bar) : TComponent(bar), FBar(bar) {}

int TToolButton::Index() const {
  for (int i = 0; i < FBar->ButtonCount(); ++i)
    if (FBar->Buttons(i) == this) return i;
  return -1;
}

void TToolButton::SetEnabled(bool v) {
  // The main form sets every button's state after each change of a panel.
  if (v == FEnabled) return;
  FEnabled = v;
  if (FBar->Handle() && FInBar) SendMessageW(FBar->Handle(), TB_ENABLEBUTTON, static_cast<WPARAM>(FCommand), MAKELPARAM(v ? TRUE : FALSE, 0));
}

bool TToolButton::Down() const {
  if (FBar->Handle() && FInBar)
    return SendMessageW(FBar->Handle(), TB_ISBUTTONCHECKED, static_cast<WPARAM>(FCommand), 0) != 0;
  return FDown;
}

void TToolButton::SetDown(bool v) {
  FDown = v;
  if (FBar->Handle() && FInBar) SendMessageW(FBar->Handle(), TB_CHECKBUTTON, static_cast<WPARAM>(FCommand), MAKELPARAM(v ? TRUE : FALSE, 0));
}

void TToolButton::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (FBar->Handle() && FInBar) {
    SendMessageW(FBar->Handle(), TB_HIDEBUTTON, static_cast<WPARAM>(FCommand), MAKELPARAM(v ? FALSE : TRUE, 0));
    FBar->Relayout();
  }
}

RECT TToolButton::BoundsRect() const {
  RECT r{0, 0, 0, 0};
  int i = Index();
  if (FBar->Handle() && FInBar && i >= 0) SendMessageW(FBar->Handle(), TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
  return r;
}

void TToolButton::Click() {
  if (Style == tbsSeparator || Style == tbsDivider || !FEnabled) return;
  FDown = Down();
  if (OnClick) OnClick(this);
}

// ---- THToolBar ----

THToolBar::THToolBar(TComponent* owner) : TControl(owner) {
  InitCommonControlClasses();
  FWidth = 150;
  FHeight = 29;
}

THToolBar::~THToolBar() = default;

void THToolBar::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = TOOLBARCLASSNAMEW;
  p.SystemClass = true;
  p.Style &= ~WS_CLIPCHILDREN;
  // The bar's place and size are ours; the buttons wrap within its width.
  p.Style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | TBSTYLE_TOOLTIPS;
  if (Flat) p.Style |= TBSTYLE_FLAT;
  if (List) p.Style |= TBSTYLE_LIST;
  if (FWrapable) p.Style |= TBSTYLE_WRAPABLE;
}

void THToolBar::HandleCreated() {
  SendMessageW(FHandle, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(FHandle, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
  if (FImages) SendMessageW(FHandle, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(FImages));
  else SendMessageW(FHandle, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  for (TToolButton* b : FButtons) b->FInBar = false;
  PushPendingButtons();
  Relayout();
}

TBBUTTON THToolBar::ButtonRecord(int index) const {
  TToolButton* b = Buttons(index);
  TBBUTTON tb{};
  tb.idCommand = b->FCommand;
  tb.fsState = static_cast<BYTE>((b->FEnabled ? TBSTATE_ENABLED : 0) | (b->FDown ? TBSTATE_CHECKED : 0) |
                                 (b->FVisible ? 0 : TBSTATE_HIDDEN));
  switch (b->Style) {
    case tbsSeparator:
    case tbsDivider:
      tb.fsStyle = BTNS_SEP;
      tb.iBitmap = kSeparatorWidth;
      tb.fsState = static_cast<BYTE>(TBSTATE_ENABLED | (b->FVisible ? 0 : TBSTATE_HIDDEN));
      break;
    default:
      tb.iBitmap = b->ImageIndex >= 0 && FImages ? b->ImageIndex : I_IMAGENONE;
      tb.fsStyle = BTNS_BUTTON;
      if (b->Style == tbsCheck) tb.fsStyle = BTNS_CHECK | (b->Grouped ? BTNS_GROUP : 0);
      if (b->Style == tbsDropDown) tb.fsStyle = BTNS_DROPDOWN;
      if (b->AutoSize) tb.fsStyle |= BTNS_AUTOSIZE;
      tb.iString = FShowCaptions && !b->Caption.empty() ? reinterpret_cast<INT_PTR>(b->Caption.c_str()) : -1;
      break;
  }
  return tb;
}

void THToolBar::PushPendingButtons() {
  if (!FHandle) return;
  // The buttons in the control are always the leading ones; those added since follow them
  // in one message: the control measures and places all its buttons after each message, so
  // one message per button costs the square of their number.
  int first = ButtonCount();
  while (first > 0 && !Buttons(first - 1)->FInBar) --first;
  if (first == ButtonCount()) return;
  std::vector<TBBUTTON> records;
  for (int i = first; i < ButtonCount(); ++i) records.push_back(ButtonRecord(i));
  SendMessageW(FHandle, TB_ADDBUTTONSW, records.size(), reinterpret_cast<LPARAM>(records.data()));
  for (int i = first; i < ButtonCount(); ++i) Buttons(i)->FInBar = true;
}

TToolButton* THToolBar::AddButton(TToolButton* button) {
  button->FCommand = FNextCommand++;
  FButtons.push_back(button);
  if (FUpdating > 0) {
    FLayoutPending = true;
    return button;
  }
  PushPendingButtons();
  Relayout();
  return button;
}

void THToolBar::DeleteButton(int index) {
  if (index < 0 || index >= ButtonCount()) return;
  TToolButton* b = Buttons(index);
  FButtons.erase(FButtons.begin() + index);
  if (FHandle && b->FInBar) SendMessageW(FHandle, TB_DELETEBUTTON, static_cast<WPARAM>(index), 0);
  delete b;
  Relayout();
}

void THToolBar::ClearButtons() {
  while (ButtonCount() > 0) DeleteButton(ButtonCount() - 1);
}

void THToolBar::SetWrapable(bool v) {
  if (v == FWrapable) return;
  FWrapable = v;
  if (!FHandle) return;
  LONG_PTR style = GetWindowLongPtrW(FHandle, GWL_STYLE);
  style = v ? (style | TBSTYLE_WRAPABLE) : (style & ~static_cast<LONG_PTR>(TBSTYLE_WRAPABLE));
  SetWindowLongPtrW(FHandle, GWL_STYLE, style);
  if (!v) {
    // Every button back in one row before the new layout.
    for (TToolButton* b : FButtons) {
      LRESULT state = SendMessageW(FHandle, TB_GETSTATE, static_cast<WPARAM>(b->FCommand), 0);
      if (state >= 0 && (state & TBSTATE_WRAP))
        SendMessageW(FHandle, TB_SETSTATE, static_cast<WPARAM>(b->FCommand), MAKELPARAM(state & ~TBSTATE_WRAP, 0));
    }
  }
  Relayout();
}

void THToolBar::SetShowCaptions(bool v) {
  if (v == FShowCaptions) return;
  FShowCaptions = v;
  if (!FHandle) return;
  while (SendMessageW(FHandle, TB_BUTTONCOUNT, 0, 0) > 0) SendMessageW(FHandle, TB_DELETEBUTTON, 0, 0);
  for (TToolButton* b : FButtons) b->FInBar = false;
  PushPendingButtons();
  Relayout();
}

void THToolBar::SetImages(HIMAGELIST images) {
  FImages = images;
  if (FHandle) {
    SendMessageW(FHandle, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    Relayout();
  }
}

int THToolBar::RowCount() const {
  if (!FHandle) return 0;
  return static_cast<int>(SendMessageW(FHandle, TB_GETROWS, 0, 0));
}

void THToolBar::EndUpdate() {
  if (FUpdating <= 0 || --FUpdating > 0) return;
  PushPendingButtons();
  if (FLayoutPending) Relayout();
}

void THToolBar::Relayout() {
  if (FUpdating > 0) {
    FLayoutPending = true;
    return;
  }
  FLayoutPending = false;
  if (!FHandle || FLayingOut) return;
  FLayingOut = true;
  SendMessageW(FHandle, TB_AUTOSIZE, 0, 0);
  if (AutoSize) {
    int bottom = 0;
    for (int i = 0; i < ButtonCount(); ++i) {
      if (!Buttons(i)->FVisible) continue;
      RECT r{};
      if (SendMessageW(FHandle, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)))
        bottom = std::max<int>(bottom, r.bottom);
    }
    if (bottom > 0 && bottom != FHeight) SetHeight(bottom);
  }
  FLayingOut = false;
}

bool THToolBar::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_SIZE) {
    // The bar wraps its buttons for the new width first; the height then follows the rows.
    result = DefaultHandler(msg, wp, lp);
    Relayout();
    return true;
  }
  return TControl::WndProc(msg, wp, lp, result);
}

int THToolBar::IndexOfCommand(int command) const {
  for (int i = 0; i < ButtonCount(); ++i)
    if (Buttons(i)->FCommand == command) return i;
  return -1;
}

void THToolBar::CommandMessage(WPARAM wp) {
  int i = IndexOfCommand(LOWORD(wp));
  if (i >= 0) Buttons(i)->Click();
}

bool THToolBar::NotifyMessage(NMHDR& hdr, LRESULT& result) {
  if (hdr.code == TBN_GETINFOTIPW) {
    // The button's hint (its caption unless set otherwise) as its tool tip.
    auto* tip = reinterpret_cast<NMTBGETINFOTIPW*>(&hdr);
    int i = IndexOfCommand(tip->iItem);
    if (i < 0 || !tip->pszText || tip->cchTextMax <= 0) return false;
    lstrcpynW(tip->pszText, Buttons(i)->Hint.c_str(), tip->cchTextMax);
    result = 0;
    return true;
  }
  if (hdr.code == TBN_DROPDOWN) {
    auto* nm = reinterpret_cast<NMTOOLBARW*>(&hdr);
    int i = IndexOfCommand(nm->iItem);
    if (i < 0 || !Buttons(i)->DropdownMenu) return false;
    RECT r = Buttons(i)->BoundsRect();
    POINT p = ClientToScreen(POINT{r.left, r.bottom});
    Buttons(i)->DropdownMenu->Popup(p.x, p.y, FHandle);
    result = TBDDRET_DEFAULT;
    return true;
  }
  return false;
}

TToolButton* AddToolButton(THToolBar* toolBar, const std::wstring& caption, bool grouped, TNotifyEvent onClick,
                           uint8_t style, int tag, int imageIndex, bool enabled, THanPopupMenu* dropdownMenu) {
  auto* b = new TToolButton(toolBar);
  b->Caption = caption;
  b->Hint = caption;
  b->Grouped = grouped;
  b->Style = static_cast<TToolButtonStyle>(style);
  b->Tag = tag;
  b->ImageIndex = imageIndex;
  if (b->Style != tbsSeparator) {
    b->OnClick = std::move(onClick);
    b->SetEnabled(enabled);
    b->AutoSize = true;
  }
  if (b->Style == tbsDropDown) b->DropdownMenu = dropdownMenu;
  return toolBar->AddButton(b);
}

TToolButton* AddToolSeparator(THToolBar* toolBar) {
  return AddToolButton(toolBar, L"", false, nullptr, tbsSeparator, 0, -1, true, nullptr);
}
