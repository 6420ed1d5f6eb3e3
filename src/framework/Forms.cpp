#include "framework/Forms.h"

#include <exception>
#include <vector>

// ---- TApplication ----

TApplication::TApplication() = default;
TApplication::~TApplication() = default;

TApplication& Application() {
  static TApplication* app = new TApplication();  // lives as long as the process
  return *app;
}

void TApplication::Terminate() {
  if (FTerminated) return;
  FTerminated = true;
  PostQuitMessage(0);
}

void TApplication::HandleException(const std::exception* e) {
  ++ExceptionCount;
  LastExceptionText.clear();
  if (e) {
    const char* what = e->what();
    int n = MultiByteToWideChar(CP_UTF8, 0, what, -1, nullptr, 0);
    if (n > 1) {
      LastExceptionText.resize(static_cast<size_t>(n - 1));
      MultiByteToWideChar(CP_UTF8, 0, what, -1, LastExceptionText.data(), n);
    }
  } else {
    LastExceptionText = L"unknown exception";
  }
  if (OnException) {
    try {
      OnException(e);
    } catch (...) {
      // A handler that fails itself must not take the loop down with it.
    }
  }
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (msg.message == WM_QUIT) {
    FTerminated = true;
    return false;
  }
  try {
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
      HWND root = GetAncestor(msg.hwnd, GA_ROOT);
      if (auto* f = dynamic_cast<TForm*>(TControl::FromHandle(root))) {
        if (f->DialogKey(static_cast<WORD>(msg.wParam), KeyboardShiftState(), msg.hwnd)) return true;
      }
    }
    TranslateMessage(&msg);
    struct TDepth {
      int& N;
      explicit TDepth(int& n) : N(n) { ++N; }
      ~TDepth() { --N; }
    } depth(FDispatchDepth);
    DispatchMessageW(&msg);
  } catch (const std::exception& e) {
    HandleException(&e);
  } catch (...) {
    HandleException(nullptr);
  }
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!ProcessMessage(msg)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  BOOL r = GetMessageW(&msg, nullptr, 0, 0);
  if (r == -1) return;
  if (r == 0) {
    FTerminated = true;
    PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loops
    return;
  }
  ProcessMessage(msg);
}

void TApplication::Run() {
  while (!FTerminated) HandleMessage();
}

// ---- TForm ----

TForm::TForm(TComponent* owner) : TControl(owner) {
  FVisible = false;
  FWidth = 320;
  FHeight = 240;
  FLeft = CW_USEDEFAULT;
  FTop = CW_USEDEFAULT;
  CreateHandle();
}

TForm::~TForm() {
  if (Application().MainForm == this) Application().MainForm = nullptr;
}

void TForm::CreateParams(TCreateParams& p) {
  p.Style = WS_CLIPCHILDREN;
  switch (FBorderStyle) {
    case bsNone: p.Style |= WS_POPUP; break;
    case bsSingle: p.Style |= WS_OVERLAPPED | WS_CAPTION | WS_MINIMIZEBOX; break;
    case bsSizeable: p.Style |= WS_OVERLAPPEDWINDOW; break;
    case bsDialog:
      p.Style |= WS_POPUP | WS_CAPTION | DS_MODALFRAME;
      p.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      p.Style |= WS_POPUP | WS_CAPTION;
      p.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      p.Style |= WS_POPUP | WS_CAPTION | WS_THICKFRAME;
      p.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FCloseBox && FBorderStyle != bsNone) p.Style |= WS_SYSMENU;
  p.ExStyle |= WS_EX_CONTROLPARENT;
  if (auto* c = dynamic_cast<TControl*>(Owner()); c && c->Handle()) p.WndParent = GetAncestor(c->Handle(), GA_ROOT);
  else if (Application().MainForm && Application().MainForm != this) p.WndParent = Application().MainForm->Handle();
}

void TForm::ApplyStyle() {
  if (!FHandle) return;
  TCreateParams p;
  CreateParams(p);
  LONG keep = GetWindowLongW(FHandle, GWL_STYLE) & WS_VISIBLE;
  SetWindowLongW(FHandle, GWL_STYLE, static_cast<LONG>(p.Style) | keep);
  SetWindowLongW(FHandle, GWL_EXSTYLE, static_cast<LONG>(p.ExStyle));
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == FBorderStyle) return;
  FBorderStyle = v;
  ApplyStyle();
}

void TForm::SetCloseBox(bool v) {
  if (v == FCloseBox) return;
  FCloseBox = v;
  ApplyStyle();
}

void TForm::CenterOn(HWND wnd) {
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT r = area;
  if (wnd && IsWindowVisible(wnd) && !IsIconic(wnd)) GetWindowRect(wnd, &r);
  int x = r.left + ((r.right - r.left) - FWidth) / 2;
  int y = r.top + ((r.bottom - r.top) - FHeight) / 2;
  if (x + FWidth > area.right) x = area.right - FWidth;
  if (y + FHeight > area.bottom) y = area.bottom - FHeight;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetBounds(x, y, FWidth, FHeight);
}

void TForm::DoShow() {
  if (Position == poScreenCenter) CenterOn(nullptr);
  else if (Position == poOwnerFormCenter) CenterOn(GetWindow(FHandle, GW_OWNER));
  if (FLeft == CW_USEDEFAULT || FTop == CW_USEDEFAULT) CenterOn(nullptr);
  if (OnShow) OnShow(this);
}

void TForm::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (!FHandle) return;
  if (v) {
    DoShow();
    ShowWindow(FHandle, SW_SHOW);
  } else {
    ShowWindow(FHandle, SW_HIDE);
    if (OnHide) OnHide(this);
  }
}

namespace {
struct TDisableList {
  HWND Except;
  std::vector<HWND> Windows;
};

BOOL CALLBACK DisableOne(HWND wnd, LPARAM lp) {
  auto* list = reinterpret_cast<TDisableList*>(lp);
  if (wnd != list->Except && IsWindowVisible(wnd) && IsWindowEnabled(wnd)) {
    EnableWindow(wnd, FALSE);
    list->Windows.push_back(wnd);
  }
  return TRUE;
}
}  // namespace

std::vector<HWND> DisableTaskWindows(HWND except) {
  TDisableList list{except, {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&list));
  return list.Windows;
}

void EnableTaskWindows(const std::vector<HWND>& windows) {
  for (HWND w : windows)
    if (IsWindow(w)) EnableWindow(w, TRUE);
}

int TForm::ShowModal() {
  if (FModal || FVisible || !FHandle) return mrCancel;
  HWND previous = GetActiveWindow();
  if (!GetWindow(FHandle, GW_OWNER) && previous && previous != FHandle)
    SetWindowLongPtrW(FHandle, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(previous));
  std::vector<HWND> disabled = DisableTaskWindows(FHandle);
  FModalResult = mrNone;
  FModal = true;
  SetVisible(true);
  SetActiveWindow(FHandle);
  HWND first = GetNextDlgTabItem(FHandle, nullptr, FALSE);
  if (TButton* def = DefaultButton(); def && def->Handle()) first = def->Handle();
  if (ActiveControl && ActiveControl->Handle() && ActiveControl->Visible()) first = ActiveControl->Handle();
  if (first) ::SetFocus(first);
  while (FModalResult == mrNone) {
    Application().HandleMessage();
    if (Application().Terminated() && FModalResult == mrNone) FModalResult = mrCancel;
    if (FModalResult != mrNone && !FCloseAsked && !Application().Terminated() && OnCloseQuery) {
      bool canClose = true;
      OnCloseQuery(this, canClose);
      if (!canClose) FModalResult = mrNone;
    }
    FCloseAsked = false;
  }
  EnableTaskWindows(disabled);
  SetVisible(false);
  if (previous && IsWindow(previous) && previous != FHandle) SetActiveWindow(previous);
  FModal = false;
  return FModalResult;
}

void TForm::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  if (FModal) {
    FModalResult = mrCancel;
    FCloseAsked = true;  // the modal loop need not ask again
    return;
  }
  SetVisible(false);
  if (Application().MainForm == this) Application().Terminate();
}

namespace {
TButton* FindButton(const TControl* c, bool wantDefault) {
  for (int i = 0; i < c->ControlCount(); ++i) {
    TControl* child = c->Controls(i);
    if (auto* b = dynamic_cast<TButton*>(child)) {
      if ((wantDefault ? b->Default() : b->Cancel) && b->Visible() && b->Enabled()) return b;
    }
    if (TButton* b = FindButton(child, wantDefault)) return b;
  }
  return nullptr;
}

TControl* ControlOf(HWND wnd) {
  for (HWND w = wnd; w; w = GetParent(w))
    if (TControl* c = TControl::FromHandle(w)) return c;
  return nullptr;
}
}  // namespace

HWND TForm::NextTabStop(HWND from, bool backwards) const {
  if (from && !IsChild(FHandle, from)) from = nullptr;
  return GetNextDlgTabItem(FHandle, from, backwards ? TRUE : FALSE);
}

TButton* TForm::DefaultButton() const { return FindButton(this, true); }
TButton* TForm::CancelButton() const { return FindButton(this, false); }

bool TForm::DialogKey(WORD key, TShiftState shift, HWND target) {
  if (KeyPreview && OnKeyDown) {
    OnKeyDown(this, key, shift);
    if (key == 0) return true;
  }
  if (shift & (ssAlt | ssCtrl)) return false;
  TControl* focused = ControlOf(target);
  if (auto* combo = dynamic_cast<TComboBox*>(focused); combo && combo->DroppedDown()) return false;
  switch (key) {
    case VK_TAB: {
      // From the control the key was meant for (the focused one when typed).
      HWND next = NextTabStop(focused && focused->Handle() ? focused->Handle() : target, (shift & ssShift) != 0);
      if (next) ::SetFocus(next);
      return true;
    }
    case VK_RETURN: {
      if (auto* b = dynamic_cast<TButton*>(focused)) {
        b->Click();
        return true;
      }
      if (TButton* b = DefaultButton()) {
        b->Click();
        return true;
      }
      return false;
    }
    case VK_ESCAPE:
      if (TButton* b = CancelButton()) {
        b->Click();
        return true;
      }
      return false;
    default:
      return false;
  }
}

bool TForm::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_CLOSE:
      Close();
      result = 0;
      return true;
    default:
      return TControl::WndProc(msg, wp, lp, result);
  }
}
