#include "panels/ThreadBridge.h"

namespace {
constexpr UINT WM_BRIDGE_SEND = WM_APP + 0x100;
constexpr UINT WM_BRIDGE_POST = WM_APP + 0x101;
const wchar_t* const BridgeClass = L"VelmoThreadBridge";

void RegisterBridgeClass(WNDPROC proc) {
  static bool done = false;
  if (done) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = BridgeClass;
  RegisterClassW(&wc);
  done = true;
}
}  // namespace

LRESULT CALLBACK TThreadBridge::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_BRIDGE_SEND || msg == WM_BRIDGE_POST) {
    auto* bridge = reinterpret_cast<TThreadBridge*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    auto* fn = reinterpret_cast<std::function<void()>*>(lParam);
    if (bridge && !bridge->Closing) (*fn)();
    if (msg == WM_BRIDGE_POST) delete fn;
    return 0;
  }
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

TThreadBridge::TThreadBridge() {
  RegisterBridgeClass(&WndProc);
  FWnd = CreateWindowExW(0, BridgeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
  if (FWnd) SetWindowLongPtrW(FWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TThreadBridge::~TThreadBridge() {
  if (!FWnd) return;
  MSG msg;
  while (PeekMessageW(&msg, FWnd, WM_BRIDGE_POST, WM_BRIDGE_POST, PM_REMOVE))
    delete reinterpret_cast<std::function<void()>*>(msg.lParam);
  SetWindowLongPtrW(FWnd, GWLP_USERDATA, 0);
  DestroyWindow(FWnd);
}

void TThreadBridge::Send(const std::function<void()>& fn) {
  if (Closing || !FWnd) return;
  SendMessageW(FWnd, WM_BRIDGE_SEND, 0, reinterpret_cast<LPARAM>(&fn));
}

void TThreadBridge::Post(std::function<void()> fn) {
  if (Closing || !FWnd) return;
  auto* call = new std::function<void()>(std::move(fn));
  if (!PostMessageW(FWnd, WM_BRIDGE_POST, 0, reinterpret_cast<LPARAM>(call))) delete call;
}

void TThreadBridge::WaitFor(HANDLE thread) {
  // Only sent messages are taken here: the worker may be blocked in Send, and answering it
  // (with the call skipped, as Closing is set) lets it see the end and leave.
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) return;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}
