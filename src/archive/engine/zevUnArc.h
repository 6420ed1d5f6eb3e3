#pragma once
// TUnArc: lists, tests and extracts ARC archives and the PAK archives that share their
// layout (methods 1 to 9; folders are walked into). Portable.
#include "archive/engine/zevBase.h"

class TUnArc : public TUnBase {
 public:
  explicit TUnArc(TComponent* owner) : TUnBase(owner) {}

 protected:
  void ExtractArchive(TStream32* archive) override;
};
