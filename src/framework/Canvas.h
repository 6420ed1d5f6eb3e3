#pragma once
// Fonts, and a canvas over a GDI device context: colours, fills, lines, frames and text.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Handles.h"

#include "framework/Colors.h"
#include "framework/FontStyle.h"

inline COLORREF ToColorRef(TColor c) { return static_cast<COLORREF>(ColorToRGB(c)) & 0xFFFFFF; }

// A logical font: name, size in points, style bits, character set and colour. The GDI font
// is made on first use and again after a change.
class TFont {
 public:
  TFont();
  TFont(const TFont& other);
  TFont& operator=(const TFont& other);
  ~TFont();

  const std::wstring& Name() const { return FName; }
  int Size() const { return FSize; }
  uint8_t Style() const { return FStyle; }
  uint8_t Charset() const { return FCharset; }
  TColor Color() const { return FColor; }
  void SetName(const std::wstring& v);
  void SetSize(int points);
  void SetStyle(uint8_t v);
  void SetCharset(uint8_t v);
  void SetColor(TColor v);
  // Pixel height (negative: character height) for the screen's resolution.
  int Height() const;
  HFONT Handle() const;
  bool SameAs(const TFont& o) const;

  std::function<void()> OnChange;

 private:
  void Changed();
  std::wstring FName;
  int FSize;
  uint8_t FStyle = 0;
  uint8_t FCharset = DEFAULT_CHARSET;
  TColor FColor = clWindowText;
  mutable TFontHandle FHandle;
};

// A GDI font for the given attributes; a size outside 1..400 points is brought into range.
HFONT CreateFontFor(const std::wstring& name, int points, uint8_t style, uint8_t charset);

class TCanvas {
 public:
  explicit TCanvas(HDC dc);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return FDC; }
  TFont Font;
  TColor BrushColor = clWhite;
  TColor PenColor = clBlack;

  void FillRect(const RECT& r);
  void FillRect(const RECT& r, TColor color);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  // A one-pixel line in a colour, end point excluded.
  void Line(int x1, int y1, int x2, int y2, TColor color);
  // A raised or sunken frame: top and left in one colour, bottom and right in the other;
  // the rectangle shrinks by the frame's width.
  void Frame3D(RECT& r, TColor topLeft, TColor bottomRight, int width);
  void TextOut(int x, int y, const std::wstring& s);
  SIZE TextExtent(const std::wstring& s);
  int TextWidth(const std::wstring& s) { return TextExtent(s).cx; }
  int TextHeight(const std::wstring& s) { return TextExtent(s).cy; }
  // DrawTextW with the canvas font and colour, transparent background.
  int DrawText(const std::wstring& s, RECT& r, UINT flags);
  // Selects the font into the device context (done by every text operation).
  void SelectFont();

 private:
  HDC FDC;
  HGDIOBJ FOldFont = nullptr;
  int FSavedDC = 0;
};

// A device context of the screen for measuring text.
class TScreenDC {
 public:
  TScreenDC() : FDC(GetDC(nullptr)) {}
  HDC Handle() const { return FDC.get(); }

 private:
  TScreenDCHandle FDC;
};

// The off-screen bitmap a window paints through: kept selected in its own memory context,
// grown to the client area and never shrunk. Each WM_PAINT draws the rows in the update region
// into it and copies that region out with one BitBlt, so nothing flickers.
class TPaintBuffer {
 public:
  TPaintBuffer() = default;
  TPaintBuffer(const TPaintBuffer&) = delete;
  TPaintBuffer& operator=(const TPaintBuffer&) = delete;
  // Answers WM_PAINT for wnd (whose client is width by height): draw paints the update
  // rectangle into the buffer's context.
  void Paint(HWND wnd, int width, int height, const std::function<void(HDC dc, const RECT& update)>& draw);

 private:
  // Declared so: the context goes first, then the bitmap selected in it.
  TBitmapHandle FBitmap;
  TMemoryDCHandle FDC;
  int FWidth = 0, FHeight = 0;
};
