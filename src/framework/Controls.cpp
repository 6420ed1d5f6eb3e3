#include "framework/Controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <map>

#include "framework/Forms.h"

namespace {
const wchar_t kControlProp[] = L"VelmoControl";
const wchar_t kControlClass[] = L"VelmoControl";
const wchar_t kUtilityClass[] = L"VelmoUtility";

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::map<UINT_PTR, TTimer*>& Timers() {
  static std::map<UINT_PTR, TTimer*> timers;
  return timers;
}

void HandleEscaped() {
  try {
    throw;
  } catch (const std::exception& e) {
    Application().HandleException(&e);
  } catch (...) {
    Application().HandleException(nullptr);
  }
}
}  // namespace

LRESULT CALLBACK ControlWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK UtilityWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

namespace {
void RegisterClasses() {
  static bool done = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ControlWindowProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kControlClass;
    RegisterClassExW(&wc);
    WNDCLASSEXW uc{};
    uc.cbSize = sizeof uc;
    uc.lpfnWndProc = UtilityWindowProc;
    uc.hInstance = Instance();
    uc.lpszClassName = kUtilityClass;
    RegisterClassExW(&uc);
    return true;
  }();
  (void)done;
}

HWND UtilityWindow() {
  static HWND wnd = nullptr;
  if (!wnd || !IsWindow(wnd)) {
    RegisterClasses();
    wnd = CreateWindowExW(0, kUtilityClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(), nullptr);
  }
  return wnd;
}

TShiftState MouseShift(WPARAM wp) {
  TShiftState s = 0;
  if (wp & MK_SHIFT) s |= ssShift;
  if (wp & MK_CONTROL) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  if (wp & MK_LBUTTON) s |= ssLeft;
  if (wp & MK_RBUTTON) s |= ssRight;
  if (wp & MK_MBUTTON) s |= ssMiddle;
  return s;
}
}  // namespace

void InitCommonControlClasses() {
  static bool done = [] {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES;
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

TShiftState KeyboardShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  return s;
}

LRESULT CALLBACK ControlWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* c = static_cast<TControl*>(GetPropW(wnd, kControlProp));
  if (!c && msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    c = static_cast<TControl*>(cs->lpCreateParams);
    if (c) {
      SetPropW(wnd, kControlProp, c);
      c->FHandle = wnd;
    }
  }
  if (!c) return DefWindowProcW(wnd, msg, wp, lp);
  LRESULT result = 0;
  try {
    if (!c->WndProc(msg, wp, lp, result)) result = c->DefaultHandler(msg, wp, lp);
  } catch (...) {
    HandleEscaped();
    result = 0;
  }
  if (msg == WM_NCDESTROY) {
    RemovePropW(wnd, kControlProp);
    if (c->FHandle == wnd) c->FHandle = nullptr;
  }
  return result;
}

LRESULT CALLBACK UtilityWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER) {
    auto it = Timers().find(wp);
    if (it != Timers().end()) {
      TTimer* t = it->second;
      try {
        if (t->OnTimer) t->OnTimer(t);
      } catch (...) {
        HandleEscaped();
      }
    }
    return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner) {
  Font.OnChange = [this] { FontChanged(); };
  DefineStringProperty(L"Caption", [this] { return Caption(); }, [this](const std::wstring& s) { SetCaption(s); });
  DefineStringProperty(L"Hint", [this] { return Hint; }, [this](const std::wstring& s) { Hint = s; });
  DefineIntegerProperty(L"Tag", [this] { return Tag; }, [this](int v) { Tag = v; });
}

TControl::~TControl() {
  Font.OnChange = nullptr;
  // Children still standing on this control lose their parent first.
  while (!FControls.empty()) {
    TControl* child = FControls.back();
    FControls.pop_back();
    child->FParent = nullptr;
    child->DestroyHandle();
  }
  if (FParent) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    FParent = nullptr;
  }
  DestroyHandle();
}

TControl* TControl::FromHandle(HWND wnd) {
  return wnd ? static_cast<TControl*>(GetPropW(wnd, kControlProp)) : nullptr;
}

void TControl::CreateParams(TCreateParams& p) {
  p.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (FParent) {
    p.Style |= WS_CHILD;
    p.WndParent = FParent->FHandle;
  } else {
    p.Style |= WS_POPUP;
  }
  if (FVisible) p.Style |= WS_VISIBLE;
  if (TabStop) p.Style |= WS_TABSTOP;
}

void TControl::CreateHandle() {
  if (FHandle) return;
  RegisterClasses();
  TCreateParams p;
  CreateParams(p);
  if (p.ClassName.empty()) {
    CreateWindowExW(p.ExStyle, kControlClass, FCaption.c_str(), p.Style, FLeft, FTop, FWidth,
                    WindowHeightFor(FHeight), p.WndParent, nullptr, Instance(), this);
  } else {
    HWND wnd = CreateWindowExW(p.ExStyle, p.ClassName.c_str(), FCaption.c_str(), p.Style, FLeft, FTop, FWidth,
                               WindowHeightFor(FHeight), p.WndParent, nullptr, Instance(), nullptr);
    if (wnd) {
      FSystemClass = true;
      FHandle = wnd;
      SetPropW(wnd, kControlProp, this);
      FOldProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindowProc)));
    }
  }
  if (!FHandle) return;
  SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font.Handle()), 0);
  if (!FEnabled) EnableWindow(FHandle, FALSE);
  HandleCreated();
  // The children take their places before their windows are made: each window is made where
  // it belongs rather than made and then moved (every move is a round of messages).
  if (!FControls.empty()) AlignControls();
  for (TControl* child : FControls) child->CreateHandle();
  AlignControls();
}

void TControl::DestroyHandle() {
  if (!FHandle) return;
  HWND wnd = FHandle;
  DestroyWindow(wnd);
  if (FHandle == wnd) {
    // The window went with its parent's earlier; forget it.
    RemovePropW(wnd, kControlProp);
    FHandle = nullptr;
  }
}

LRESULT TControl::DefaultHandler(UINT msg, WPARAM wp, LPARAM lp) {
  if (FOldProc) return CallWindowProcW(FOldProc, FHandle, msg, wp, lp);
  return DefWindowProcW(FHandle, msg, wp, lp);
}

void TControl::SetParent(TControl* parent) {
  if (parent == FParent) return;
  if (FParent) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (FAlign != alNone) FParent->Realign();
  }
  FParent = parent;
  if (!parent) {
    DestroyHandle();
    return;
  }
  parent->FControls.push_back(this);
  if (ParentFont) Font = parent->Font;
  if (parent->FHandle) {
    if (FHandle) {
      ::SetParent(FHandle, parent->FHandle);
    } else {
      CreateHandle();
    }
  }
  ParentSet();
  RequestParentAlign();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  bool changed = left != FLeft || top != FTop || width != FWidth || height != FHeight;
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (FHandle && changed) {
    SetWindowPos(FHandle, nullptr, left, top, width, WindowHeightFor(height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (changed) RequestParentAlign();
}

RECT TControl::ClientRect() const {
  RECT r{0, 0, FWidth, FHeight};
  if (FHandle) GetClientRect(FHandle, &r);
  return r;
}

int TControl::ClientWidth() const {
  RECT r = ClientRect();
  return r.right - r.left;
}

int TControl::ClientHeight() const {
  RECT r = ClientRect();
  return r.bottom - r.top;
}

void TControl::SetClientSize(int width, int height) {
  RECT r = ClientRect();
  int dw = FWidth - (r.right - r.left), dh = FHeight - (r.bottom - r.top);
  SetBounds(FLeft, FTop, width + dw, height + dh);
}

void TControl::SetAlign(TAlign v) {
  if (v == FAlign) return;
  FAlign = v;
  if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (FHandle) ShowWindow(FHandle, v ? SW_SHOWNA : SW_HIDE);
  if (FAlign != alNone && FParent) FParent->Realign();
}

void TControl::SetEnabled(bool v) {
  FEnabled = v;
  if (FHandle) EnableWindow(FHandle, v ? TRUE : FALSE);
}

void TControl::SetColor(TColor v) {
  if (v == FColor) return;
  FColor = v;
  Invalidate();
}

std::wstring TControl::Caption() const {
  if (FHandle && FSystemClass) {
    int n = GetWindowTextLengthW(FHandle);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(FHandle, s.data(), n + 1);
    s.resize(static_cast<size_t>(std::max(n, 0)));
    return s;
  }
  return FCaption;
}

void TControl::SetCaption(const std::wstring& v) {
  FCaption = v;
  if (FHandle) SetWindowTextW(FHandle, v.c_str());
  if (!FSystemClass) Invalidate();
}

void TControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::SetFocus() {
  if (FHandle) ::SetFocus(FHandle);
}

bool TControl::Focused() const {
  HWND f = GetFocus();
  return FHandle && f && (f == FHandle || IsChild(FHandle, f));
}

POINT TControl::ScreenToClient(POINT p) const {
  if (FHandle) ::ScreenToClient(FHandle, &p);
  return p;
}

POINT TControl::ClientToScreen(POINT p) const {
  if (FHandle) ::ClientToScreen(FHandle, &p);
  return p;
}

void TControl::DisableAlign() { ++FAlignLock; }

void TControl::EnableAlign() {
  if (FAlignLock > 0 && --FAlignLock == 0 && FAlignPending) AlignControls();
}

void TControl::Realign() { AlignControls(); }

void TControl::RequestParentAlign() {
  if (FAlign != alNone && FParent && !FParent->FAligning) FParent->Realign();
}

void TControl::AlignControls() {
  if (FAlignLock > 0) {
    FAlignPending = true;
    return;
  }
  if (!FHandle || FAligning) return;
  FAligning = true;
  FAlignPending = false;
  RECT r = ClientRect();
  auto take = [this](TAlign a) {
    std::vector<TControl*> list;
    for (TControl* c : FControls)
      if (c->FAlign == a && c->FVisible) list.push_back(c);
    // Controls of one side keep their order on the screen, so that a bar placed just past a
    // panel stays behind it.
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->FTop < y->FTop;
        case alBottom: return x->FTop + x->FHeight > y->FTop + y->FHeight;
        case alLeft: return x->FLeft < y->FLeft;
        case alRight: return x->FLeft + x->FWidth > y->FLeft + y->FWidth;
        default: return false;
      }
    });
    return list;
  };
  auto width = [&r] { return std::max<int>(0, r.right - r.left); };
  auto height = [&r] { return std::max<int>(0, r.bottom - r.top); };
  for (TControl* c : take(alTop)) {
    int h = c->FHeight;
    c->SetBounds(r.left, r.top, width(), h);
    r.top += h;
  }
  for (TControl* c : take(alBottom)) {
    int h = c->FHeight;
    c->SetBounds(r.left, r.bottom - h, width(), h);
    r.bottom -= h;
  }
  for (TControl* c : take(alLeft)) {
    int w = c->FWidth;
    c->SetBounds(r.left, r.top, w, height());
    r.left += w;
  }
  for (TControl* c : take(alRight)) {
    int w = c->FWidth;
    c->SetBounds(r.right - w, r.top, w, height());
    r.right -= w;
  }
  for (TControl* c : take(alClient)) c->SetBounds(r.left, r.top, width(), height());
  AlignFinished();
  FAligning = false;
}

void TControl::PaintTo(HDC dc) {
  TCanvas canvas(dc);
  canvas.Font = Font;
  canvas.BrushColor = FColor;
  Paint(canvas);
}

void TControl::Paint(TCanvas&) {}

bool TControl::EraseBackground(HDC dc) {
  TCanvas canvas(dc);
  canvas.FillRect(ClientRect(), FColor);
  return true;
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::Resized() {
  if (OnResize) OnResize(this);
}

void TControl::CommandNotify(WORD) {}

bool TControl::NotifyMessage(NMHDR&, LRESULT&) { return false; }

bool TControl::DrawItem(const DRAWITEMSTRUCT&) { return false; }

void TControl::FontChanged() {
  if (FHandle && FSystemClass) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font.Handle()), TRUE);
  Invalidate();
}

bool TControl::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  result = 0;
  switch (msg) {
    case WM_PAINT:
      if (FSystemClass) return false;
      {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(FHandle, &ps);
        PaintTo(dc);
        EndPaint(FHandle, &ps);
      }
      return true;
    case WM_PRINTCLIENT:
      if (FSystemClass) return false;
      if (lp & PRF_ERASEBKGND) EraseBackground(reinterpret_cast<HDC>(wp));
      PaintTo(reinterpret_cast<HDC>(wp));
      return true;
    case WM_ERASEBKGND:
      if (FSystemClass) return false;
      result = EraseBackground(reinterpret_cast<HDC>(wp)) ? 1 : 0;
      return true;
    case WM_WINDOWPOSCHANGED: {
      RECT wr;
      GetWindowRect(FHandle, &wr);
      HWND parentWnd = (GetWindowLongW(FHandle, GWL_STYLE) & WS_CHILD) ? GetParent(FHandle) : nullptr;
      if (parentWnd) MapWindowPoints(nullptr, parentWnd, reinterpret_cast<POINT*>(&wr), 2);
      bool sized = wr.right - wr.left != FWidth || (!FSystemClass && wr.bottom - wr.top != FHeight);
      auto* wpos = reinterpret_cast<WINDOWPOS*>(lp);
      if (!(wpos->flags & SWP_NOSIZE)) sized = true;
      FLeft = wr.left;
      FTop = wr.top;
      FWidth = wr.right - wr.left;
      if (WindowHeightFor(0) == 0) FHeight = wr.bottom - wr.top;
      if (sized) {
        AlignControls();
        Resized();
      }
      PositionChanged();
      return false;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      TMouseButton b = msg == WM_LBUTTONDOWN ? mbLeft : msg == WM_RBUTTONDOWN ? mbRight : mbMiddle;
      if (!FSystemClass && b == mbLeft) {
        SetCapture(FHandle);
        FMouseDown = true;
      }
      MouseDown(b, MouseShift(wp), static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return !FSystemClass;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      TMouseButton b = msg == WM_LBUTTONUP ? mbLeft : msg == WM_RBUTTONUP ? mbRight : mbMiddle;
      int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
      bool wasDown = FMouseDown && b == mbLeft;
      if (!FSystemClass && b == mbLeft) {
        FMouseDown = false;
        if (GetCapture() == FHandle) ReleaseCapture();
      }
      MouseUp(b, MouseShift(wp), x, y);
      if (!FSystemClass && wasDown && FHandle) {
        RECT r = ClientRect();
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) Click();
      }
      return !FSystemClass;
    }
    case WM_LBUTTONDBLCLK:
      if (FSystemClass) return false;
      DblClick();
      return true;
    case WM_MOUSEMOVE:
      MouseMove(MouseShift(wp), static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return !FSystemClass;
    case WM_KEYDOWN:
      if (OnKeyDown) {
        WORD key = static_cast<WORD>(wp);
        OnKeyDown(this, key, KeyboardShiftState());
        if (key == 0) return true;
      }
      return false;
    case WM_CHAR:
      if (OnKeyPress) {
        wchar_t ch = static_cast<wchar_t>(wp);
        OnKeyPress(this, ch);
        if (ch == 0) return true;
        if (ch != static_cast<wchar_t>(wp)) {
          result = DefaultHandler(msg, ch, lp);
          return true;
        }
      }
      return false;
    case WM_COMMAND:
      if (lp) {
        if (TControl* child = FromHandle(reinterpret_cast<HWND>(lp))) {
          child->CommandMessage(wp);
          return true;
        }
      }
      return false;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      TControl* child = hdr ? FromHandle(hdr->hwndFrom) : nullptr;
      if (child && child != this) return child->NotifyMessage(*hdr, result);
      return false;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      TControl* child = dis ? FromHandle(dis->hwndItem) : nullptr;
      if (child && child != this && child->DrawItem(*dis)) {
        result = TRUE;
        return true;
      }
      return false;
    }
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) != FHandle) {
        FMouseDown = false;
        CaptureLost();
      }
      return false;
    case WM_SETCURSOR:
      if (Cursor && LOWORD(lp) == HTCLIENT && reinterpret_cast<HWND>(wp) == FHandle) {
        SetCursor(Cursor);
        result = TRUE;
        return true;
      }
      return false;
    default:
      return false;
  }
}

// ---- TPanel ----

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) { FWidth = 185, FHeight = 41; }

void TPanel::Paint(TCanvas& canvas) { canvas.FillRect(ClientRect(), FColor); }

TForm* GetParentForm(const TControl* control) {
  for (const TControl* c = control; c; c = c->Parent())
    if (auto* f = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(f);
  return nullptr;
}

// ---- TButton ----

TButton::TButton(TComponent* owner) : TControl(owner) {
  FWidth = 75;
  FHeight = 25;
  TabStop = true;
}

void TButton::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = L"BUTTON";
  p.SystemClass = true;
  p.Style &= ~WS_CLIPCHILDREN;
  p.Style |= FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::HandleCreated() {}

void TButton::SetDefault(bool v) {
  FDefault = v;
  if (FHandle) SendMessageW(FHandle, BM_SETSTYLE, v ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
  if (ModalResult != 0) {
    if (TForm* f = GetParentForm(this)) f->SetModalResult(ModalResult);
  }
  TControl::Click();
}

void TButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED) Click();
}

// ---- TEdit ----

TEdit::TEdit(TComponent* owner) : TControl(owner) {
  FWidth = 121;
  FHeight = 21;
  FColor = clWindow;
  TabStop = true;
}

void TEdit::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = L"EDIT";
  p.SystemClass = true;
  p.Style |= ES_AUTOHSCROLL;
  if (PasswordChar) p.Style |= ES_PASSWORD;
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::HandleCreated() {
  if (PasswordChar) SendMessageW(FHandle, EM_SETPASSWORDCHAR, PasswordChar, 0);
  if (MaxLength > 0) SendMessageW(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(MaxLength), 0);
}

std::wstring TEdit::Text() const { return Caption(); }

void TEdit::SetText(const std::wstring& v) { SetCaption(v); }

void TEdit::SelectAll() {
  if (FHandle) SendMessageW(FHandle, EM_SETSEL, 0, -1);
}

void TEdit::SetSelStart(int pos) {
  if (FHandle) SendMessageW(FHandle, EM_SETSEL, static_cast<WPARAM>(pos), pos);
}

void TEdit::CommandNotify(WORD code) {
  if (code == EN_CHANGE && OnChange) OnChange(this);
}

// ---- TComboBox ----

TComboBox::TComboBox(TComponent* owner) : TControl(owner) {
  FWidth = 145;
  FHeight = 21;
  FColor = clWindow;
  TabStop = true;
  DefineListProperty(L"Items", [this] { return FItems; }, [this](const TStringList& l) { SetItems(l); });
}

void TComboBox::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = L"COMBOBOX";
  p.SystemClass = true;
  p.Style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
}

// ---- TSysControl ----

TSysControl::TSysControl(TComponent* owner, const wchar_t* className, DWORD style, DWORD exStyle)
    : TControl(owner), FClass(className), FStyle(style), FExStyle(exStyle) {}

void TSysControl::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = FClass;
  p.SystemClass = true;
  p.Style &= ~WS_CLIPCHILDREN;
  p.Style |= FStyle;
  p.ExStyle |= FExStyle;
}

void TSysControl::CommandNotify(WORD code) {
  if (OnCommand) OnCommand(code);
}

bool TSysControl::NotifyMessage(NMHDR& header, LRESULT& result) {
  return OnNotify ? OnNotify(header, result) : false;
}

int TSysControl::WindowHeightFor(int height) const {
  return wcscmp(FClass, L"COMBOBOX") == 0 ? height + 200 : height;
}

int TComboBox::WindowHeightFor(int height) const {
  return height + std::max(DropDownCount, 1) * 16 + 4;
}

void TComboBox::HandleCreated() {
  SetItems(TStringList(FItems));
  if (MaxLength > 0) SendMessageW(FHandle, CB_LIMITTEXT, static_cast<WPARAM>(MaxLength), 0);
  SetWindowTextW(FHandle, FCaption.c_str());
}

void TComboBox::SetItems(const TStringList& items) {
  FItems = items;
  if (!FHandle) return;
  std::wstring keep = Text();
  SendMessageW(FHandle, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < FItems.Count(); ++i)
    SendMessageW(FHandle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FItems[i].c_str()));
  SetWindowTextW(FHandle, keep.c_str());
}

std::wstring TComboBox::Text() const { return Caption(); }

void TComboBox::SetText(const std::wstring& v) { SetCaption(v); }

void TComboBox::SelectAll() {
  if (FHandle) SendMessageW(FHandle, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

void TComboBox::SetSelStart(int pos) {
  if (FHandle) SendMessageW(FHandle, CB_SETEDITSEL, 0, MAKELPARAM(pos, pos));
}

bool TComboBox::DroppedDown() const {
  return FHandle && SendMessageW(FHandle, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TComboBox::CommandNotify(WORD code) {
  if ((code == CBN_EDITCHANGE || code == CBN_SELCHANGE) && OnChange) OnChange(this);
}

// ---- TTimer ----

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  static UINT_PTR nextId = 1;
  FId = nextId++;
  Timers()[FId] = this;
  Update();
}

TTimer::~TTimer() {
  KillTimer(UtilityWindow(), FId);
  Timers().erase(FId);
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == FInterval) return;
  FInterval = ms;
  Update();
}

void TTimer::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  Update();
}

void TTimer::Update() {
  HWND wnd = UtilityWindow();
  KillTimer(wnd, FId);
  if (FEnabled && FInterval > 0) SetTimer(wnd, FId, FInterval, nullptr);
}
