#pragma once
// The memory bitmap a control paints into before one copy to the screen: grown to the client,
// never shrunk, kept selected in its own device context between paints.
#include <windows.h>

#include "framework/Handles.h"

class TPaintBuffer {
 public:
  // The context to draw into, its bitmap at least width x height and compatible with screen;
  // null when none could be made.
  HDC Prepare(HDC screen, int width, int height);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

 private:
  TBitmapHandle FBitmap;  // declared first, so that it outlives the context it is selected into
  TMemoryDCHandle FDC;
  int FWidth = 0, FHeight = 0;
};
