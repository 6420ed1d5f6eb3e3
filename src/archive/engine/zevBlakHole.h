#pragma once
// TBlakHole: the BH writer over the writer base (new, kept, renamed and deleted entries; the
// archive replaced only when written in full). Entries are stored, deflated or fused with the
// LZH encoder, and enciphered with the traditional ZIP cipher when a password is set: an entry
// that does not shrink is stored enciphered, never in clear. Portable.
#include "archive/engine/zevZip.h"

class TBlakHole : public TCompBase {
 public:
  explicit TBlakHole(TComponent* owner = nullptr);
  void SetArcType(TArcType) override { FArcType = atBh; }

 protected:
  void ReadDirectory(TStream32& input, TzevTempOutput& output) override;
  bool CompressFile(TStream32& output, TCompEntry& e) override;
  int64_t PrepareCopyEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  void RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  bool WriteDirectory(TStream32&) override { return true; }
  void WriteEmptyEndRecord(TStream32&) override {}
  void ReportNewEntries() override;

 private:
  std::string StoredBytes(const std::wstring& name) const;
};
