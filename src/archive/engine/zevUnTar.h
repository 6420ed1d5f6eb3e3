#pragma once
// TUnTar: lists and extracts uncompressed TAR archives (old, ustar and GNU forms; long names
// from GNU long-name records and the ustar prefix). Portable.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevUnCodec.h"

// One member as the walk found it.
struct TTarHeader {
  std::string Name;  // bytes, "/" already "\"
  bool IsFolder = false;
  int64_t Offset = 0, DataOffset = 0, PackedSize = 0;
  // Where the member's records begin: its long-name or extended-header record, or Offset.
  int64_t HeadOffset = 0;
  // Where the next member's records begin.
  int64_t NextOffset = 0;
  int32_t DosTime = 0;
};

// Walks the headers of a TAR archive of size bytes. Stops at the first block whose checksum
// fails (the zero blocks at the end), at an offset that does not move forward or beyond the
// end; long-name and extended-header records are consumed, never handed on. Returns 0, or
// zevBadFileHeader when a member's data runs past the end of the archive.
int WalkTarHeaders(TStream32& s, int64_t size, const std::function<bool(const TTarHeader&)>& each);
// The same; endOffset receives where the walk stopped (where the next member would begin).
int WalkTarHeaders(TStream32& s, int64_t size, const std::function<bool(const TTarHeader&)>& each,
                   int64_t* endOffset);

// The entry to extract for a member: its data copied as stored (TAR keeps no CRC).
TCodecEntry TarCodecEntry(const TTarHeader& h);

class TUnTar : public TUnBase {
 public:
  explicit TUnTar(TComponent* owner) : TUnBase(owner) {}

 protected:
  void ExtractArchive(TStream32* archive) override;
};
