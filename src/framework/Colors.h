#pragma once
// Colours as the program stores them: $00BBGGRR for a plain colour, and a negative value
// ($80000000 + index) for one of the system's colours.
#include <cstdint>

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);
constexpr TColor clBtnText = static_cast<TColor>(0x80000012u);
constexpr TColor clWindow = static_cast<TColor>(0x80000005u);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
constexpr TColor clHighlight = static_cast<TColor>(0x8000000Du);
constexpr TColor clHighlightText = static_cast<TColor>(0x8000000Eu);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010u);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014u);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015u);
constexpr TColor cl3DLight = static_cast<TColor>(0x80000016u);
constexpr TColor clInfoBk = static_cast<TColor>(0x80000018u);
constexpr TColor clInfoText = static_cast<TColor>(0x80000017u);

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}
// The RGB value of a colour; a system colour is looked up in the system's current scheme
// (the host build uses a fixed classic scheme).
TColor ColorToRGB(TColor color);
