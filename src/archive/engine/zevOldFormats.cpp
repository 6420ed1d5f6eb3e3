#include "archive/engine/zevOldFormats.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevArcCodec.h"
#include "archive/engine/zevArjCodec.h"
#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevGbls.h"
#include "archive/engine/zevLzh3.h"
#include "archive/engine/zevLzw.h"

namespace {
// A zero-terminated name of at most max bytes.
std::string CName(const uint8_t* p, size_t max) {
  size_t n = 0;
  while (n < max && p[n]) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}
// Runs a decoder that stops by its own end into exactly size bytes.
template <class F>
int Sized(TCodecSink& out, int64_t size, F decode) {
  TSizedSink sized(out, size);
  int r = decode(static_cast<TCodecSink&>(sized));
  if (sized.Excess) return zevCorruptInput;
  // Data that ends with its input, its size complete, is whole even without an end code.
  if (r == zevReadError && sized.Left() == 0) r = 0;
  if (r == 0 && sized.Left() != 0) return zevCorruptInput;
  return r;
}
template <class F>
int SizedRle(TCodecSink& out, int64_t size, F decode) {
  return Sized(out, size, [&](TCodecSink& sized) {
    TArcRleSink rle(sized);
    int r = decode(static_cast<TCodecSink&>(rle));
    if (!rle.Flush() && r == 0) r = zevUserCanceled;
    return r;
  });
}
}  // namespace

// ---- ARC ----

int WalkArcHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TArcHeader&)>& f) {
  constexpr size_t kFull = 29, kShort = 25;  // method 1 has no original-size field
  int64_t offset = 0;
  uint8_t b[kFull];
  for (;;) {
    if (streamSize - offset < 2 || !ReadExactAt(s, offset, b, 2)) return offset >= streamSize ? 0 : zevBadFileHeader;
    if (b[0] != 0x1A) return zevBadFileHeader;
    uint8_t method = b[1];
    if (method == 0 || method > 30) return 0;  // the end mark (0, or 31 ending a folder)
    size_t hsize = method == 1 ? kShort : kFull;
    if (streamSize - offset < static_cast<int64_t>(hsize) || !ReadExactAt(s, offset, b, hsize)) return zevBadFileHeader;
    TArcHeader h;
    h.Offset = offset;
    h.Method = method;
    h.Name = CName(b + 2, 13);
    h.PackedSize = GetU32LE(b + 15);
    h.DosTime = static_cast<int32_t>((static_cast<uint32_t>(GetU16LE(b + 19)) << 16) | GetU16LE(b + 21));
    h.Crc = GetU16LE(b + 23);
    h.OrigSize = method == 1 ? h.PackedSize : GetU32LE(b + 25);
    h.DataOffset = offset + static_cast<int64_t>(hsize);
    // A folder's own entries follow its header: they are read next as ordinary entries.
    h.NextOffset = h.DataOffset + (method == 30 ? 0 : h.PackedSize);
    if (method != 30 && !f(h)) return 0;
    offset = h.NextOffset;
  }
}

int ArcDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size) {
  switch (method) {
    case 1:
    case 2: return Sized(out, size, [&](TCodecSink& o) { return CopyStored(in, o, in.Left()); });
    case 3: return SizedRle(out, size, [&](TCodecSink& o) { return CopyStored(in, o, in.Left()); });
    case 4: return SizedRle(out, size, [&](TCodecSink& o) { return ArcUnsqueeze(in, o); });
    case 5: return Sized(out, size, [&](TCodecSink& o) { return ArcUncrunchOld(in, o, false); });
    case 6: return SizedRle(out, size, [&](TCodecSink& o) { return ArcUncrunchOld(in, o, false); });
    case 7: return SizedRle(out, size, [&](TCodecSink& o) { return ArcUncrunchOld(in, o, true); });
    case 8: {
      uint8_t bits = 0;
      if (in.Read(&bits, 1) != 1) return zevReadError;
      if (bits != 12) return zevIncorrectBits;
      return SizedRle(out, size, [&](TCodecSink& o) { return LzwGroupDecode(in, o, 12); });
    }
    case 9: return Sized(out, size, [&](TCodecSink& o) { return LzwGroupDecode(in, o, 13); });
    default: return zevUnsupportedMethod;
  }
}

// ---- ZOO ----

bool ReadZooArchiveHeader(TStream32& s, int64_t streamSize, int64_t& first) {
  uint8_t b[43];
  if (streamSize < 43 || !ReadExactAt(s, 0, b, sizeof b)) return false;
  if (GetU32LE(b + 20) != kZooTag) return false;
  uint32_t start = GetU32LE(b + 24), minus = GetU32LE(b + 28);
  if (static_cast<uint32_t>(0u - start) != minus) return false;
  first = start;
  return true;
}

int ReadZooEntryAt(TStream32& s, int64_t offset, int64_t streamSize, TZooHeader& h) {
  uint8_t b[58];
  h = TZooHeader{};
  h.Offset = offset;
  if (offset < 0 || streamSize - offset < 58 || !ReadExactAt(s, offset, b, sizeof b)) return zevReadError;
  if (GetU32LE(b) != kZooTag) return zevBadFileHeader;
  h.Method = b[5];
  h.NextOffset = GetU32LE(b + 6);
  h.DataOffset = GetU32LE(b + 10);
  h.DosTime = static_cast<int32_t>((static_cast<uint32_t>(GetU16LE(b + 14)) << 16) | GetU16LE(b + 16));
  h.Crc = GetU16LE(b + 18);
  h.OrigSize = GetU32LE(b + 20);
  h.PackedSize = GetU32LE(b + 24);
  h.Deleted = b[30];
  h.Name = CName(b + 38, 13);
  return 0;
}

int WalkZooHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TZooHeader&)>& f) {
  int64_t offset;
  if (!ReadZooArchiveHeader(s, streamSize, offset)) return zevBadFileHeader;
  TZooHeader h;
  for (;;) {
    int r = ReadZooEntryAt(s, offset, streamSize, h);
    if (r == zevReadError) return 0;  // a short read ends the walk
    if (r) return r;
    if (h.NextOffset == 0) return 0;  // the closing entry
    if (!f(h)) return 0;
    // Entries lie one after another: a link back or onto itself would walk in circles.
    if (h.NextOffset <= offset) return zevBadFileHeader;
    offset = h.NextOffset;
  }
}

int ZooDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size) {
  switch (method) {
    case 0: return CopyStored(in, out, size);
    case 1: return Sized(out, size, [&](TCodecSink& o) { return ZooLzwDecode(in, o); });
    case 2: return LzhDecode(in, out, size, 13, 4);
    default: return zevUnsupportedMethod;
  }
}

// ---- ARJ ----

int ReadArjHeaderAt(TStream32& s, int64_t offset, int64_t streamSize, TArjHeader& h) {
  h = TArjHeader{};
  h.Offset = offset;
  uint8_t id[4];
  if (offset < 0 || streamSize - offset < 4 || !ReadExactAt(s, offset, id, 4)) return zevBadFileHeader;
  if (id[0] != 0x60 || id[1] != 0xEA) return zevBadFileHeader;
  uint16_t basic = GetU16LE(id + 2);
  if (basic == 0) return 1;
  constexpr uint16_t kMaxBasic = 2600;
  if (basic < 30 || basic > kMaxBasic || streamSize - offset < 4 + basic + 4) return zevBadFileHeader;
  std::vector<uint8_t> b(basic + 4u);
  if (!ReadExactAt(s, offset + 4, b.data(), b.size())) return zevBadFileHeader;
  if (Crc32Of(b.data(), basic) != GetU32LE(b.data() + basic)) return zevBadFileHeader;
  h.FirstHeaderSize = b[0];
  if (h.FirstHeaderSize < 30 || h.FirstHeaderSize >= basic) return zevBadFileHeader;
  h.ArcVersion = b[1];
  h.MinVersion = b[2];
  h.HostOs = b[3];
  h.Flags = b[4];
  h.Method = b[5];
  h.FileType = b[6];
  h.PasswordModifier = b[7];
  h.DosTime = static_cast<int32_t>(GetU32LE(b.data() + 8));
  h.PackedSize = GetU32LE(b.data() + 12);
  h.OrigSize = GetU32LE(b.data() + 16);
  h.Crc = GetU32LE(b.data() + 20);
  h.AccessMode = GetU16LE(b.data() + 26);
  if (h.FirstHeaderSize >= 34) h.ExtFilePos = GetU32LE(b.data() + 30);
  // The name runs from the end of the first header to its zero, inside the basic header.
  const uint8_t* name = b.data() + h.FirstHeaderSize;
  size_t room = basic - h.FirstHeaderSize;
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(name, 0, room));
  if (!end) return zevBadFileHeader;
  h.Name.assign(reinterpret_cast<const char*>(name), static_cast<size_t>(end - name));
  // Extended headers (a size, the bytes and their CRC-32) until a size of 0.
  int64_t pos = offset + 4 + basic + 4;
  for (int count = 0;; ++count) {
    uint8_t sz[2];
    if (count > 64 || streamSize - pos < 2 || !ReadExactAt(s, pos, sz, 2)) return zevBadFileHeader;
    uint16_t ext = GetU16LE(sz);
    pos += 2;
    if (ext == 0) break;
    pos += ext + 4;
  }
  h.DataOffset = pos;
  h.IsMain = h.FileType == kArjMain;
  h.NextOffset = pos + (h.IsMain ? 0 : h.PackedSize);
  return 0;
}

int64_t FindArjStart(TStream32& s, int64_t streamSize) {
  TArjHeader h;
  if (ReadArjHeaderAt(s, 0, streamSize, h) == 0) return 0;
  int64_t limit = std::min<int64_t>(streamSize, 1 << 20);
  if (limit < 4) return -1;
  std::vector<uint8_t> buf(static_cast<size_t>(limit) & 0x1FFFFF);
  if (!ReadExactAt(s, 0, buf.data(), buf.size())) return -1;
  for (size_t p = 1; p + 1 < buf.size(); ++p)
    if (buf[p] == 0x60 && buf[p + 1] == 0xEA && ReadArjHeaderAt(s, static_cast<int64_t>(p), streamSize, h) == 0)
      return static_cast<int64_t>(p);
  return -1;
}

int WalkArjHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TArjHeader&)>& f) {
  int64_t offset = FindArjStart(s, streamSize);
  if (offset < 0) return zevBadFileHeader;
  TArjHeader h;
  for (bool first = true;; first = false) {
    int r = ReadArjHeaderAt(s, offset, streamSize, h);
    if (r == 1) return 0;
    if (r) return r;
    h.IsMain = first;
    if (!f(h)) return 0;
    if (h.NextOffset <= offset) return zevBadFileHeader;
    offset = h.NextOffset;
  }
}

int ArjDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size) {
  switch (method) {
    case 0: return CopyStored(in, out, size);
    case 1:
    case 2:
    case 3: return LzhDecode(in, out, size, 16, 5);
    case 4: return ArjFastDecode(in, out, size);
    default: return zevUnsupportedMethod;
  }
}

void ArjGarble(uint8_t* data, size_t count, const std::string& password, uint8_t modifier, uint64_t& position) {
  if (password.empty()) return;
  size_t n = password.size();
  for (size_t i = 0; i < count; ++i, ++position)
    data[i] ^= static_cast<uint8_t>(static_cast<uint8_t>(password[position % n]) + modifier);
}
