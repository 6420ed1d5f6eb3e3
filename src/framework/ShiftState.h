#pragma once
// The keyboard and mouse-button state as bits; key routes use the low three (Shift 1, Alt 2,
// Ctrl 4).
#include <cstdint>

using TShiftState = uint8_t;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;
