#pragma once
// LHA headers as bytes: reading a header of level 0, 1 or 2 at an offset of a stream, and
// making the level-0 header the writer stores. Every length is checked against the header and
// the stream before use. Portable.
#include <cstdint>
#include <string>

#include <functional>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevStreams.h"

struct TLhaHeader {
  int64_t Offset = 0;      // of the header
  int64_t HeaderSize = 0;  // every byte before the data (level 1: without the extended headers)
  char Method[6] = {};     // "-lh5-"
  uint32_t PackedSize = 0; // the data alone (level 1: the extended headers taken off)
  uint32_t OrigSize = 0;
  int32_t DosTime = 0;     // DOS date and time (level 2's Unix time converted to local)
  uint8_t Attr = 0;
  uint8_t Level = 0;
  std::string Name;        // stored bytes, the folder in front (its parts joined by "\")
  uint16_t Crc = 0;        // CRC-16 of the original data
  int64_t DataOffset = 0;
  int64_t NextOffset = 0;  // always beyond Offset
  // The method character: "d" folder, "0".."7"; 0 when the id is not of the -lh?- form.
  char MethodChar() const { return (Method[0] == '-' && Method[1] == 'l' && Method[2] == 'h' && Method[4] == '-') ? Method[3] : 0; }
};

enum : int { kLhaHeaderEnd = -1 };

// Reads the header at offset of a stream of streamSize bytes. Returns 0, kLhaHeaderEnd (the
// archive's end mark, or no room for another header) or zevBadFileHeader (a damaged or
// truncated header, a level it does not know, a name longer than its header, data beyond the
// end of the stream).
int ReadLhaHeaderAt(TStream32& s, int64_t offset, int64_t streamSize, TLhaHeader& h);

// Where an archive's first header lies: 0 for a plain archive, 128 behind a leading block whose
// first byte is 0, else a self-extractor's header found within the first 64 KiB (-1: none).
int64_t FindLhaStart(TStream32& s, int64_t streamSize);

// The level-0 header the writer stores: method "-lh0-", "-lh5-", "-lh6-" or "-lhd-", name as
// stored (at most 233 bytes: the header size is one byte), checksum filled in. Empty when the
// name does not fit.
std::string MakeLhaLevel0Header(const char* method, uint32_t packed, uint32_t orig, int32_t dosTime, uint8_t attr,
                                const std::string& name, uint16_t crc);
constexpr size_t kLhaMaxLevel0Name = 255 - 22;

// Decodes an entry's data by its method character ("0" stored, "1", "4" to "7"). Returns 0,
// the decoder's error, or zevUnsupportedMethod for any other method.
int LhaDecodeData(TCodecInput& in, TCodecSink& out, char method, int64_t size);
// Whether the reader decodes (or, for "d", creates) entries of this method character.
bool LhaMethodSupported(char method);

// Walks the headers from the archive's start (FindLhaStart) to its end mark or its end,
// handing each to f (false from f stops). Returns 0, or zevBadFileHeader when a damaged header
// stops the walk (the entries before it were handed over), or when no archive start is found.
int WalkLhaHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TLhaHeader&)>& f);

// ---- Writing ----

enum class TLhaPacking { Store, Lh5, Lh6 };
struct TLhaWritten {
  char Method[6] = {};
  uint32_t PackedSize = 0, OrigSize = 0;
  uint16_t Crc = 0;
};
// Writes one level-0 entry (header, then data) at dest's position: a folder as "-lhd-" (its
// stored name ending in "\"), an empty file as "-lh0-", else packed as asked, stored instead
// when packing does not make it smaller. source is read from its position to its end;
// scratch takes the packed data before it is known to be worth keeping. Returns 0,
// zevInvalidFileName (a name too long for a level-0 header) or zevInvalidArcType (a file of
// 4 GiB or more); stream failures pass on as exceptions.
int WriteLhaEntry(TStream32* source, TStream32& dest, TStream32& scratch, const std::string& storedName, bool folder,
                  int32_t dosTime, uint8_t attr, TLhaPacking packing, TLhaWritten& written,
                  const std::function<void(size_t)>& progress = {});
// The extensions of files that are compressed already (stored rather than packed again).
bool IsAlreadyCompressedName(const std::wstring& name);
