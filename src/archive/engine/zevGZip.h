#pragma once
// TGZip: compresses each file found into a GZIP file of its own (one member, raw DEFLATE).
// Every output is written beside its target and put in place only when the member is
// complete; a source of a move is deleted only after its member replaced the output.
// Portable.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/engine/zevParallelDeflate.h"
#include "archive/engine/zevZip.h"

enum TGZipExt : uint8_t { exUnderscore, exAppendGZ, exUser };

// What writing one member gave.
struct TGzWritten {
  uint32_t Crc = 0;
  int64_t Size = 0, Packed = 0;  // the source's bytes and the DEFLATE stream's
};

// A GZIP member written as its data arrives: the header when it is made, the raw DEFLATE of
// every byte written (compressed on several cores, TParallelDeflate), the CRC-32 and the size at
// Finish. Positions are those of the data before compression; only the end can be sought. What
// was written since the last Mark can be taken back with SetSize(the marked position), as a
// writer drops a partly written record from a plain file: compression starts again from the
// chunk holding the mark, and the destination is cut back to where that chunk's output began.
class TGzMemberStream : public TStream32 {
 public:
  TGzMemberStream(TStream32& dest, const std::string& name, uint32_t mtime, TDeflateType effort);
  TGzMemberStream(const TGzMemberStream&) = delete;
  TGzMemberStream& operator=(const TGzMemberStream&) = delete;
  int32_t Read(void*, int32_t) override { return 0; }
  // Takes all bytes or raises EWriteError when dest refuses.
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override;
  // The current size, or back to the last Mark; anything else raises EStreamError.
  void SetSize(int64_t newSize) override;
  const char* ClassName() const override { return "TGzMemberStream"; }
  // Starts a record that can be taken back.
  void Mark();
  // Writes the end of the DEFLATE data and the trailer; raises EWriteError when dest refuses.
  void Finish();
  uint32_t Crc() const { return FCrc ^ 0xFFFFFFFFu; }
  int64_t Size() const { return FSize; }
  int64_t Packed() const { return FDeflate.BytesOut(); }

 private:
  TStream32& FDest;
  TParallelDeflate FDeflate;
  int64_t FDataStart = 0;  // where the DEFLATE data begins in dest
  uint32_t FCrc = 0xFFFFFFFFu;
  int64_t FSize = 0;
  // Where the marked record began, and the CRC register there.
  int64_t FMark = 0;
  uint32_t FMarkCrc = 0xFFFFFFFFu;
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
