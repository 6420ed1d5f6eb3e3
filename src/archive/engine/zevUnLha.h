#pragma once
// TUnLha: lists, tests and extracts LHA/LZH archives (headers of levels 0, 1 and 2; methods
// -lh0-, -lh1-, -lh4- to -lh7-; -lhd- folders). Portable.
#include "archive/engine/zevBase.h"

class TUnLha : public TUnBase {
 public:
  explicit TUnLha(TComponent* owner) : TUnBase(owner) {}

 protected:
  void ExtractArchive(TStream32* archive) override;
};
