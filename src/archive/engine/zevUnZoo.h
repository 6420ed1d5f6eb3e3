#pragma once
// TUnZoo: lists, tests and extracts ZOO archives (stored, LZW and LZH entries). Portable.
#include "archive/engine/zevBase.h"

class TUnZoo : public TUnBase {
 public:
  explicit TUnZoo(TComponent* owner) : TUnBase(owner) {}

 protected:
  void ExtractArchive(TStream32* archive) override;
};
