#pragma once
// TUnBh: lists, tests and extracts BH archives (stored, LZH, deflated and fused entries,
// enciphered ones with the traditional ZIP cipher). Portable.
#include "archive/engine/zevBase.h"

class TUnBh : public TUnBase {
 public:
  explicit TUnBh(TComponent* owner) : TUnBase(owner) {}
  bool CheckPassword(uint8_t* header) override;

 protected:
  void ExtractArchive(TStream32* archive) override;

 private:
  uint8_t FFlags = 0;
  uint32_t FCrc = 0;
  int32_t FDosTime = 0;
};
