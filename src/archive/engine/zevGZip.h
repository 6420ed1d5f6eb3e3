#pragma once
// TGZip: compresses each file found into a GZIP file of its own (one member, raw DEFLATE).
// Every output is written beside its target and put in place only when the member is
// complete; a source of a move is deleted only after its member replaced the output.
// Portable.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/engine/zevZip.h"

enum TGZipExt : uint8_t { exUnderscore, exAppendGZ, exUser };

// What writing one member gave.
struct TGzWritten {
  uint32_t Crc = 0;
  int64_t Size = 0, Packed = 0;  // the source's bytes and the DEFLATE stream's
};

// Writes one GZIP member of src (read from its current position to its end) to out: the
// header with the stored name (bytes, without a folder) and the modification time, the raw
// DEFLATE stream at the effort given, the CRC-32 and the size. progress gets the bytes read
// after each block and may stop the work by returning false (the result is then false).
bool WriteGzMember(TStream32& src, TStream32& out, const std::string& name, uint32_t mtime, TDeflateType effort,
                   TGzWritten& w, const std::function<bool(int64_t)>& progress = nullptr);

class TGZip : public TCompBase {
 public:
  explicit TGZip(TComponent* owner = nullptr);
  void SetArcType(TArcType) override { FArcType = atGZip; }

  TGZipExt Extension = exAppendGZ;
  TOnFileExists OnFileExists;

  // The number of files compressed.
  int UpdateArchive() override;

 protected:
  // The writer base's archive slots have no use here: every file is a GZIP file of its own.
  void ReadDirectory(TStream32&, TzevTempOutput&) override {}
  bool CompressFile(TStream32&, TCompEntry&) override { return false; }
  int64_t PrepareCopyEntry(TStream32&, TStream32&, TCompEntry&) override { return 0; }
  void RewriteEntry(TStream32&, TStream32&, TCompEntry&) override {}
  bool WriteDirectory(TStream32&) override { return true; }
  void WriteEmptyEndRecord(TStream32&) override {}

 private:
  std::wstring OutputName(const std::wstring& source) const;
  // 1 written, 0 skipped or failed (reported), -1 the run stops.
  int CompressOne(const std::wstring& source, int32_t dosDate, const std::wstring& output);
};
