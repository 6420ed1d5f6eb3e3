#pragma once
// TUnArj: lists, tests and extracts ARJ archives: methods 0 to 4, folders and volume labels,
// garbled entries, and multi-volume sets whose files continue from one volume into the next.
// Portable.
#include <string>

#include "archive/engine/zevBase.h"

class TUnArj : public TUnBase {
 public:
  explicit TUnArj(TComponent* owner) : TUnBase(owner) {}

 protected:
  void ExtractArchive(TStream32* archive) override;

 private:
  // The password for a garbled entry: the one given last, else asked; false when refused.
  bool GetPassword(const std::wstring& name);
  std::wstring FLastPassword;
};
