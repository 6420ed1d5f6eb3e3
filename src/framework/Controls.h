#pragma once
// Windows and controls: each control wraps one window (our own window class for the
// controls that paint themselves, a subclassed system class for buttons, edits and combo
// boxes), with events as callbacks, alignment of child windows and painting on a canvas.
// No C++ exception leaves a window procedure: it is handed to the application instead.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Canvas.h"
#include "framework/ShiftState.h"
#include "framework/Component.h"
#include "framework/StringList.h"

enum TAlign : uint8_t { alNone = 0, alTop = 1, alBottom = 2, alLeft = 3, alRight = 4, alClient = 5 };
enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
// TShiftState: Shift 1, Alt 2, Ctrl 4; mouse buttons left 8, right 16, middle 32 (from the
// helpers); double click 64.
constexpr TShiftState ssDouble = 64;
TShiftState KeyboardShiftState();
// Registers the common controls' window classes (header, list view, tool bar), once.
void InitCommonControlClasses();

class TControl;
using TNotifyEvent = std::function<void(TComponent* sender)>;
using TMouseEvent = std::function<void(TComponent* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TComponent* sender, TShiftState shift, int x, int y)>;
using TKeyEvent = std::function<void(TComponent* sender, WORD& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TComponent* sender, wchar_t& key)>;

struct TCreateParams {
  std::wstring ClassName;  // empty: our own window class
  DWORD Style = 0;
  DWORD ExStyle = 0;
  bool SystemClass = false;  // a system window class, subclassed
  HWND WndParent = nullptr;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // The window, made when the control gets a parent (forms make theirs at once).
  HWND Handle() const { return FHandle; }
  bool HandleAllocated() const { return FHandle != nullptr; }
  TControl* Parent() const { return FParent; }
  virtual void SetParent(TControl* parent);
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int i) const { return FControls[static_cast<size_t>(i)]; }

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  RECT ClientRect() const;
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int width, int height);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign v);
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  TColor Color() const { return FColor; }
  virtual void SetColor(TColor v);
  TFont Font;
  bool ParentFont = true;
  std::wstring Caption() const;
  virtual void SetCaption(const std::wstring& v);
  std::wstring Hint;
  bool ShowHint = false;
  HCURSOR Cursor = nullptr;  // null: the arrow
  bool TabStop = false;

  void Invalidate();
  void Update();
  void Repaint();
  void SetFocus();
  bool Focused() const;
  POINT ScreenToClient(POINT p) const;
  POINT ClientToScreen(POINT p) const;

  // Alignment of the child windows: suspended between DisableAlign and EnableAlign (nested);
  // the layout missed meanwhile runs at the last EnableAlign.
  void DisableAlign();
  void EnableAlign();
  void Realign();

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;

  // Simulates a click as the user's would end.
  virtual void Click();

  // The control that owns the window, or null.
  static TControl* FromHandle(HWND wnd);

 protected:
  virtual void CreateParams(TCreateParams& params);
  void CreateHandle();
  void DestroyHandle();
  // Handles a message; returns true with result set when the message was handled here.
  virtual bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  LRESULT DefaultHandler(UINT msg, WPARAM wp, LPARAM lp);
  virtual void Paint(TCanvas& canvas);
  virtual bool EraseBackground(HDC dc);
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void DblClick();
  virtual void Resized();
  // After every change of place or size of the window.
  virtual void PositionChanged() {}
  // A notification code that the parent received from this control (WM_COMMAND).
  virtual void CommandNotify(WORD code);
  // The whole WM_COMMAND the parent received from this control (its id and code); by default
  // the code goes to CommandNotify.
  virtual void CommandMessage(WPARAM wp) { CommandNotify(HIWORD(wp)); }
  // A notification that the parent received from this control (WM_NOTIFY); true with the
  // result set when it was handled here.
  virtual bool NotifyMessage(NMHDR& header, LRESULT& result);
  // An owner-drawn part of this control to paint (WM_DRAWITEM sent to the parent).
  virtual bool DrawItem(const DRAWITEMSTRUCT& item);
  // The mouse capture went to another window (or was released).
  virtual void CaptureLost() {}
  // The control got a parent.
  virtual void ParentSet() {}
  // The window was just made: settings kept meanwhile go to it.
  virtual void HandleCreated() {}
  // The height given to the window for a control height (a combo box adds its list).
  virtual int WindowHeightFor(int height) const { return height; }
  virtual void FontChanged();
  void AlignControls();
  // After each pass of the alignment: a window may move its children further (their moves
  // start no new pass).
  virtual void AlignFinished() {}
  void RequestParentAlign();
  void PaintTo(HDC dc);

  HWND FHandle = nullptr;
  TControl* FParent = nullptr;
  std::vector<TControl*> FControls;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  bool FVisible = true;
  bool FEnabled = true;
  TColor FColor = clBtnFace;
  std::wstring FCaption;
  int FAlignLock = 0;
  bool FAlignPending = false;
  bool FAligning = false;
  bool FMouseDown = false;

 private:
  friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
  WNDPROC FOldProc = nullptr;
  bool FSystemClass = false;
};

// A control that paints itself on a canvas in our own window class.
class TCustomControl : public TControl {
 public:
  explicit TCustomControl(TComponent* owner) : TControl(owner) {}
};

// A plain panel: its colour, and room for aligned children.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* owner);

 protected:
  void Paint(TCanvas& canvas) override;
};

// The form a control stands on, or null.
class TForm;
TForm* GetParentForm(const TControl* control);

class TButton : public TControl {
 public:
  explicit TButton(TComponent* owner);
  // Enter presses the default button; Escape presses the cancel button.
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool Cancel = false;
  // Set into the form's ModalResult when the button is pressed (0: nothing).
  int ModalResult = 0;
  void Click() override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  void HandleCreated() override;

 private:
  bool FDefault = false;
};

class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* owner);
  std::wstring Text() const;
  void SetText(const std::wstring& v);
  // 0: plain; any other character is shown in place of each typed one.
  wchar_t PasswordChar = 0;
  int MaxLength = 0;
  void SelectAll();
  void SetSelStart(int pos);
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  void HandleCreated() override;
};

class TComboBox : public TControl {
 public:
  explicit TComboBox(TComponent* owner);
  std::wstring Text() const;
  void SetText(const std::wstring& v);
  void SetItems(const TStringList& items);
  const TStringList& Items() const { return FItems; }
  int DropDownCount = 8;
  int MaxLength = 0;
  void SelectAll();
  void SetSelStart(int pos);
  bool DroppedDown() const;
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  void HandleCreated() override;
  int WindowHeightFor(int height) const override;

 private:
  TStringList FItems;
};

// A system control (static, check box, group box, combo list, up-down, tab control) wrapped
// as a framework control; notifications reach OnCommand and OnNotify.
class TSysControl : public TControl {
 public:
  TSysControl(TComponent* owner, const wchar_t* className, DWORD style, DWORD exStyle = 0);
  std::function<void(WORD code)> OnCommand;
  std::function<bool(NMHDR& header, LRESULT& result)> OnNotify;
  LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return SendMessageW(FHandle, msg, wp, lp); }

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;
  int WindowHeightFor(int height) const override;

 private:
  const wchar_t* FClass;
  DWORD FStyle, FExStyle;
};

// A timer: OnTimer every Interval milliseconds while Enabled.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned ms);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  TNotifyEvent OnTimer;

 private:
  friend LRESULT CALLBACK UtilityWindowProc(HWND, UINT, WPARAM, LPARAM);
  void Update();
  unsigned FInterval = 1000;
  bool FEnabled = true;
  UINT_PTR FId = 0;
};
