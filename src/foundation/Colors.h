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

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}
// The RGB value of a colour; a system colour is looked up in the system's current scheme
// (the host build uses a fixed classic scheme).
TColor ColorToRGB(TColor color);
