#include "archive/engine/zevBhFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevGbls.h"
#include "archive/engine/zevLzh3.h"
#include "archive/engine/zevLzh5.h"

int ReadBhHeaderAt(TStream32& s, int64_t offset, int64_t streamSize, TBhHeader& h) {
  h = TBhHeader{};
  h.Offset = offset;
  uint8_t b[kBhHeaderSize];
  if (offset < 0 || streamSize - offset < static_cast<int64_t>(kBhHeaderSize) || !ReadExactAt(s, offset, b, sizeof b))
    return 1;
  if (b[0] != 'B' || b[1] != 'H' || b[2] != 5 || b[3] != 7 || GetU16LE(b + 4) == 0) return 1;
  h.Version = b[7];
  h.Flags = b[9];
  h.Method = b[10];
  h.DosTime = static_cast<int32_t>(GetU32LE(b + 11));
  h.PackedSize = GetU32LE(b + 15);
  h.OrigSize = GetU32LE(b + 19);
  h.Crc = GetU32LE(b + 23);
  h.Attr = GetU32LE(b + 27);
  uint16_t nameLen = GetU16LE(b + 33), extraLen = GetU16LE(b + 35);
  int64_t namePos = offset + static_cast<int64_t>(kBhHeaderSize);
  if (streamSize - namePos < nameLen) return zevBadFileHeader;
  std::vector<uint8_t> name(nameLen);
  if (!ReadExactAt(s, namePos, name.data(), name.size())) return zevBadFileHeader;
  h.Name.assign(name.begin(), name.end());
  h.DataOffset = namePos + nameLen + extraLen;
  h.NextOffset = h.DataOffset + h.PackedSize;
  return 0;
}

int WalkBhHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TBhHeader&)>& f) {
  int64_t offset = 0;
  TBhHeader h;
  for (;;) {
    int r = ReadBhHeaderAt(s, offset, streamSize, h);
    if (r == 1) return 0;
    if (r) return r;
    if (h.Name.size() < 256 && !f(h)) return 0;
    offset = h.NextOffset;  // always beyond the header
  }
}

int BhDecodeData(TCodecInput& in, TCodecSink& out, uint8_t method, int64_t size) {
  switch (method) {
    case 0: return CopyStored(in, out, size);
    case 1: return LzhDecode(in, out, size, 13, 4);
    case 2:
    case 8: {
      TSizedSink sized(out, size);
      int r = InflateDecode(in, sized);
      if (sized.Excess) return zevCorruptInput;
      if (r == 0 && sized.Left() != 0) return zevCorruptInput;
      return r;
    }
    case 3: return LzhDecode(in, out, size, 15, 5);
    default: return zevUnsupportedMethod;
  }
}

int WriteBhEntry(TStream32* source, TStream32& dest, TStream32& scratch, const std::string& storedName, bool folder,
                 int32_t dosTime, uint32_t attr, TBhPacking packing, TDeflateType level, const std::string& password,
                 TBhWritten& w) {
  w = TBhWritten{};
  std::string name = storedName;
  if (folder && (name.empty() || name.back() != '\\')) name += '\\';
  if (name.size() >= 256) return zevInvalidFileName;
  int64_t start = source && !folder ? source->Seek(0, soFromCurrent) : 0;
  int64_t size = source && !folder ? source->Seek(0, soFromEnd) - start : 0;
  if (size >= (int64_t{1} << 32)) return zevInvalidArcType;
  w.OrigSize = static_cast<uint32_t>(size);
  std::vector<uint8_t> buf(65536);
  // The CRC comes first: the encryption header is made from it.
  uint32_t crc = 0xFFFFFFFFu;
  if (size > 0) {
    source->Seek(start, soFromBeginning);
    for (int64_t left = size; left > 0;) {
      int32_t n = source->Read(buf.data(), static_cast<int32_t>(std::min<int64_t>(left, 65536)));
      if (n <= 0) throw EReadError();
      crc = UpdateCrc32(crc, buf.data(), static_cast<size_t>(n));
      left -= n;
    }
  }
  w.Crc = size > 0 ? crc ^ 0xFFFFFFFFu : 0;
  uint8_t flags = 0;
  bool packed = false;
  if (size > 0 && packing != TBhPacking::Store) {
    source->Seek(start, soFromBeginning);
    scratch.SetSize(0);
    scratch.Seek(0, soFromBeginning);
    int64_t out = 0;
    bool gaveUp = false;
    if (packing == TBhPacking::Fuse) {
      TCodecInput in(*source, size);
      TLzhEncodeResult r = Lzh5Encode(in, scratch, 14, 5, size);
      out = r.BytesOut;
      gaveUp = r.GaveUp || r.BytesIn != size;
    } else {
      TCompressStream c(scratch, -15, level);
      for (int64_t left = size; left > 0;) {
        int32_t n = source->Read(buf.data(), static_cast<int32_t>(std::min<int64_t>(left, 65536)));
        if (n <= 0) throw EReadError();
        c.WriteBuffer(buf.data(), n);
        left -= n;
      }
      c.Finish();
      out = c.BytesOut();
      // The deflate option bits as ZIP keeps them: 2 maximum, 4 fast, 6 super fast.
      flags = level == dtDeflateX ? 2 : level == dtDeflateF ? 4 : level == dtDeflateS ? 6 : 0;
    }
    if (!gaveUp && out < size) {
      packed = true;
      w.Method = packing == TBhPacking::Fuse ? 3 : 8;
      w.PackedSize = static_cast<uint32_t>(out);
    } else {
      flags = 0;
    }
  }
  if (!packed) {
    w.Method = 0;
    w.PackedSize = w.OrigSize;
  }
  w.Encrypted = !password.empty() && !folder;
  uint8_t encHeader[12];
  if (w.Encrypted) {
    ZipMakeEncryptHeader(password, w.Crc, encHeader);  // the keys are left ready for the data
    flags |= 1;
    w.PackedSize += 12;
  }
  uint8_t h[kBhHeaderSize] = {'B', 'H', 5, 7};
  auto put16 = [&](size_t at, uint32_t v) {
    h[at] = static_cast<uint8_t>(v);
    h[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  put16(4, static_cast<uint32_t>(kBhHeaderSize + name.size()));
  h[6] = kBhHeaderSize;
  h[7] = 4;
  h[8] = 1;
  h[9] = flags;
  h[10] = w.Method;
  put32(11, static_cast<uint32_t>(dosTime));
  put32(15, w.PackedSize);
  put32(19, w.OrigSize);
  put32(23, w.Crc);
  put32(27, attr & 0xFFFF);
  put16(33, static_cast<uint32_t>(name.size()));
  dest.WriteBuffer(h, sizeof h);
  if (!name.empty()) dest.WriteBuffer(name.data(), static_cast<int32_t>(name.size()));
  if (w.Encrypted) dest.WriteBuffer(encHeader, 12);
  TStream32* from = packed ? &scratch : source;
  int64_t left = packed ? w.PackedSize - (w.Encrypted ? 12 : 0) : size;
  if (from) from->Seek(packed ? 0 : start, soFromBeginning);
  while (left > 0) {
    int32_t n = from->Read(buf.data(), static_cast<int32_t>(std::min<int64_t>(left, 65536)));
    if (n <= 0) throw EReadError();
    if (w.Encrypted) ZipEncryptBuffer(buf.data(), static_cast<size_t>(n));
    dest.WriteBuffer(buf.data(), n);
    left -= n;
  }
  return 0;
}
