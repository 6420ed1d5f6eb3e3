#ifdef _WIN32
#include "common/WinCapture.h"

#include "framework/Forms.h"

TCapture::TCapture(HWND wnd) {
  RECT r{};
  GetClientRect(wnd, &r);
  FWidth = r.right - r.left;
  FHeight = r.bottom - r.top;
  if (FWidth <= 0 || FHeight <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = FWidth;
  bi.bmiHeader.biHeight = -FHeight;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  SendMessageW(wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT | PRF_ERASEBKGND);
  GdiFlush();
  FPixels.resize(static_cast<size_t>(FWidth) * FHeight);
  const auto* p = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < FPixels.size(); ++i) {
    uint32_t v = p[i];  // 0x00RRGGBB
    FPixels[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

COLORREF TCapture::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
  return FPixels[static_cast<size_t>(y) * FWidth + x];
}

int TCapture::Count(const RECT& r, const std::function<bool(COLORREF)>& test) const {
  int n = 0;
  for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, FHeight); ++y)
    for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, FWidth); ++x)
      if (test(Pixel(x, y))) ++n;
  return n;
}

void SendKey(HWND wnd, WORD key, unsigned shift, bool keyUp) {
  BYTE saved[256], keys[256] = {};
  GetKeyboardState(saved);
  if (shift & 1) keys[VK_SHIFT] = 0x80;
  if (shift & 2) keys[VK_MENU] = 0x80;
  if (shift & 4) keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  const bool system = (shift & 2) || key == VK_F10;
  SendMessageW(wnd, system ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1);
  if (keyUp) SendMessageW(wnd, system ? WM_SYSKEYUP : WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
  SetKeyboardState(saved);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) return done();
    Application().ProcessMessages();
    Sleep(5);
  }
  return true;
}
#endif
