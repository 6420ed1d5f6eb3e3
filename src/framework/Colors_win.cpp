#include <windows.h>

#include "framework/Colors.h"

TColor ColorToRGB(TColor color) {
  if (color < 0) return static_cast<TColor>(GetSysColor(static_cast<int>(color & 0xFF)));
  return color;
}
