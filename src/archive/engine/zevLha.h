#pragma once
// The LHA writer: level-0 entries stored, or packed -lh5- / -lh6- with the engine's LZH
// encoder, over the writer base (new, kept, renamed and deleted entries; the archive replaced
// only when written in full). Kept entries of any header level are copied unchanged; a renamed
// one is written again with a level-0 header. Portable.
#include "archive/engine/zevZip.h"

class TLha : public TCompBase {
 public:
  explicit TLha(TComponent* owner = nullptr);
  void SetArcType(TArcType) override { FArcType = atLha; }

 protected:
  void ReadDirectory(TStream32& input, TzevTempOutput& output) override;
  bool CompressFile(TStream32& output, TCompEntry& e) override;
  int64_t PrepareCopyEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  void RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  bool WriteDirectory(TStream32& output) override;
  void WriteEmptyEndRecord(TStream32& output) override;
  // The stored name's bytes ("\" between folders); empty when the name has no form in the
  // archive's code page.
  std::string StoredBytes(const std::wstring& name) const;
};
