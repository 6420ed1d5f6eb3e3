#include "framework/PaintBuffer.h"

#include <algorithm>

HDC TPaintBuffer::Prepare(HDC screen, int width, int height) {
  if (!FDC) FDC.reset(CreateCompatibleDC(screen));
  if (!FDC) return nullptr;
  if (!FBitmap || FWidth < width || FHeight < height) {
    const int w = std::max(width, FWidth), h = std::max(height, FHeight);
    TBitmapHandle bigger(CreateCompatibleBitmap(screen, w, h));
    if (!bigger) return FBitmap ? FDC.get() : nullptr;
    SelectObject(FDC.get(), bigger.get());
    FBitmap = std::move(bigger);  // the smaller one, no longer selected, goes
    FWidth = w;
    FHeight = h;
  }
  return FDC.get();
}
