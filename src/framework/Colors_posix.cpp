#include "framework/Colors.h"

// The classic scheme's values of the system colours, for the host build's tests.
TColor ColorToRGB(TColor color) {
  if (color >= 0) return color;
  switch (color & 0xFF) {
    case 5: return 0xFFFFFF;   // window
    case 8: return 0x000000;   // window text
    case 13: return 0x6A240A;  // highlight
    case 14: return 0xFFFFFF;  // highlight text
    case 15: return 0xC8D0D4;  // button face
    case 18: return 0x000000;  // button text
    default: return 0x808080;
  }
}
