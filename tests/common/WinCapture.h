#pragma once
// Tests of windows: what a window paints, read back as pixels, and the message pump.
#ifdef _WIN32
#include <windows.h>

#include <functional>
#include <vector>

// The client area of a window as its WM_PRINTCLIENT paints it (background included).
class TCapture {
 public:
  explicit TCapture(HWND wnd);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // RGB of a pixel (0 outside).
  COLORREF Pixel(int x, int y) const;
  // Pixels of the rectangle whose colour satisfies the test.
  int Count(const RECT& r, const std::function<bool(COLORREF)>& test) const;
  int CountColor(const RECT& r, COLORREF c) const {
    return Count(r, [c](COLORREF p) { return p == c; });
  }

 private:
  int FWidth = 0, FHeight = 0;
  std::vector<COLORREF> FPixels;
};

// Sends a key down (and, with keyUp, its release) to a window with the modifiers held in this
// thread's keyboard state for the time of the message: shift bits Shift 1, Alt 2, Ctrl 4. With
// Alt, and for F10, the key comes as a system key.
void SendKey(HWND wnd, WORD key, unsigned shift, bool keyUp = false);

// Handles waiting messages until done() is true or the time runs out; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
#endif
