#pragma once
// The headers of ARC/PAK, ZOO and ARJ archives as bytes, the walks over them, and the
// decoding of an entry's data by its method. Each walk checks every length and offset against
// the stream, moves only forward, and hands the headers it read to a callback; the reader
// components wrap these with the engine's events and output files. Portable.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevStreams.h"

// ---- ARC and PAK ----

struct TArcHeader {
  int64_t Offset = 0;
  uint8_t Method = 0;       // 1..9 (10, 11 from PAK), 30 a folder
  std::string Name;         // stored bytes, at most 12
  uint32_t PackedSize = 0;
  uint32_t OrigSize = 0;    // method 1 has no field of its own: the packed size
  int32_t DosTime = 0;      // date in the high word
  uint16_t Crc = 0;         // CRC-16 of the original data
  int64_t DataOffset = 0;
  int64_t NextOffset = 0;   // method 30: the first nested header
};
// The headers from the start of the stream to the end mark (method 0 or 31); folders
// (method 30) are not handed over but walked into. Returns 0, or zevBadFileHeader when a
// header is damaged or cut short (the ones before it were handed over).
int WalkArcHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TArcHeader&)>& f);
// Decodes an entry's data (the input limited to its packed size) into exactly size bytes.
// Returns 0, zevUnsupportedMethod, zevIncorrectBits (method 8 not of 12 bits), the decoder's
// error, or zevCorruptInput when the data gives another size.
int ArcDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size);

// ---- ZOO ----

struct TZooHeader {
  int64_t Offset = 0;
  uint8_t Method = 0;  // 0 stored, 1 LZW, 2 LZH
  std::string Name;    // the 8.3 name field
  uint32_t PackedSize = 0, OrigSize = 0;
  int32_t DosTime = 0;
  uint16_t Crc = 0;
  uint8_t Deleted = 0;
  int64_t DataOffset = 0;
  int64_t NextOffset = 0;
};
constexpr uint32_t kZooTag = 0xFDC4A7DC;
// Whether the archive header is ZOO's (its first-entry offset and that offset negated agree);
// first := the offset of the first directory entry.
bool ReadZooArchiveHeader(TStream32& s, int64_t streamSize, int64_t& first);
// The directory entries up to the closing one (next offset 0). Returns 0, or zevBadFileHeader
// for a wrong tag or a header beyond the stream, or a next offset that does not move forward.
int WalkZooHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TZooHeader&)>& f);
// Reads the 58-byte directory entry at offset: 0, zevBadFileHeader (wrong tag) or
// zevReadError (cut short).
int ReadZooEntryAt(TStream32& s, int64_t offset, int64_t streamSize, TZooHeader& h);
int ZooDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size);

// ---- ARJ ----

enum : uint8_t { kArjGarbled = 0x01, kArjVolume = 0x04, kArjExtFile = 0x08 };
enum : uint8_t { kArjBinary = 0, kArjText = 1, kArjMain = 2, kArjFolder = 3, kArjLabel = 4 };
struct TArjHeader {
  int64_t Offset = 0;
  uint8_t FirstHeaderSize = 0, ArcVersion = 0, MinVersion = 0, HostOs = 0, Flags = 0, Method = 0, FileType = 0,
          PasswordModifier = 0;
  int32_t DosTime = 0;
  uint32_t PackedSize = 0, OrigSize = 0, Crc = 0;
  uint16_t AccessMode = 0;
  uint32_t ExtFilePos = 0;  // where a piece continued from the previous volume goes
  std::string Name;         // stored bytes
  int64_t DataOffset = 0;
  int64_t NextOffset = 0;
  bool IsMain = false;      // the archive's own header, never an entry
};
// Reads the header at offset: 0, 1 at the end mark (basic header size 0), or
// zevBadFileHeader (no header id, a size beyond what the stream holds, a CRC that does not
// match, a name without its end).
int ReadArjHeaderAt(TStream32& s, int64_t offset, int64_t streamSize, TArjHeader& h);
// Where the main header lies: 0, or the first header id further on whose header reads (a
// self-extractor); -1 when none.
int64_t FindArjStart(TStream32& s, int64_t streamSize);
// The main header first, then every file header up to the end mark. Returns 0 or
// zevBadFileHeader (the headers before the damage were handed over).
int WalkArjHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TArjHeader&)>& f);
// Decodes a binary or text entry's data. Returns 0, zevUnsupportedMethod or the decoder's error.
int ArjDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size);
// The garble: data XOR (password byte + modifier), the password bytes in turn; position is
// the count of bytes already deciphered.
void ArjGarble(uint8_t* data, size_t count, const std::string& password, uint8_t modifier, uint64_t& position);
