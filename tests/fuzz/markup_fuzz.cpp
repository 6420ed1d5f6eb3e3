// Fuzzes the label mark-up: any text parses into runs, lays out and shortens its paths at
// any width without a fault; no run is ever given a negative width.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/LabelMarkup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First byte: the width tried; the rest: UTF-16 text.
  int avail = static_cast<int>(data[0]) * 4 - 200;
  std::wstring text;
  for (size_t i = 1; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  TLabelModel model;
  model.WholePath = (data[0] & 1) != 0;
  TLabelMarkupDefaults d;
  ParseLabelMarkup(text, d, model);
  model.Layout(1, 2, 6, [](const THanLabelItem& r, int& w, int& h) {
    w = static_cast<int>(r.Text.size()) * (r.Size > 50 ? 20 : 7);
    h = r.Size + 4;
  });
  for (int width : {avail, 0, 40, 400}) {
    model.ShortenPaths(width, 9);
    for (const auto& r : model.Runs) {
      if (r->ShownWidth < 0 || r->Advance(9) < 0) std::abort();
      if (r->Shown == TRunShown::rsClipped && r->ShownWidth < 9) std::abort();
    }
  }
  return 0;
}
