#pragma once
// BH archives as bytes: the 37-byte entry header read and walked, an entry's data decoded by
// its method, and one entry written (stored, deflated or fused with the LZH encoder,
// optionally enciphered with the traditional ZIP cipher). Portable.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevStreams.h"

struct TBhHeader {
  int64_t Offset = 0;
  uint8_t Version = 0, Flags = 0, Method = 0;
  int32_t DosTime = 0;
  uint32_t PackedSize = 0;  // with the 12-byte encryption header of an enciphered entry
  uint32_t OrigSize = 0, Crc = 0, Attr = 0;
  std::string Name;         // stored bytes
  int64_t DataOffset = 0;   // the encryption header first when enciphered
  int64_t NextOffset = 0;
  bool Encrypted() const { return Flags & 1; }
};
constexpr size_t kBhHeaderSize = 37;
// Reads the header at offset: 0, 1 when no further header is there (no signature, or a header
// length of 0), zevBadFileHeader when one is cut short.
int ReadBhHeaderAt(TStream32& s, int64_t offset, int64_t streamSize, TBhHeader& h);
// Every header from the start; names of 256 bytes or more are passed over unlisted.
int WalkBhHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TBhHeader&)>& f);
// Decodes an entry's (deciphered) data: 0 stored, 1 LZH with an 8 KiB dictionary, 2 and 8
// deflated, 3 fused (LZH with 32 KiB). Returns 0, zevUnsupportedMethod or the decoder's error.
int BhDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size);

enum class TBhPacking { Store, Deflate, Fuse };
struct TBhWritten {
  uint8_t Method = 0;
  uint32_t PackedSize = 0, OrigSize = 0, Crc = 0;
  bool Encrypted = false;
};
// Writes one entry at dest's position. A packed form that is not smaller is stored instead;
// with a password the data is enciphered whatever the method, never stored in clear. Returns
// 0, zevInvalidFileName (a name of 256 bytes or more) or zevInvalidArcType (4 GiB or more).
int WriteBhEntry(TStream32* source, TStream32& dest, TStream32& scratch, const std::string& storedName, bool folder,
                 int32_t dosTime, uint32_t attr, TBhPacking packing, TDeflateType level, const std::string& password,
                 TBhWritten& written);
