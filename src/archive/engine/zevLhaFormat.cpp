#include "archive/engine/zevLhaFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevGbls.h"
#include "archive/engine/zevLhaPack.h"
#include "archive/engine/zevLzh3.h"
#include "archive/engine/zevLzh5.h"
#include "archive/engine/zevCrypt.h"
#include "foundation/MYTOOL.h"

namespace {
// Offsets of the fixed part shared by every level.
constexpr size_t kMethod = 2, kPacked = 7, kOrig = 11, kTime = 15, kAttr = 19, kLevel = 20, kNameLen = 21;
constexpr size_t kFixed = 22;
constexpr int kMaxExtHeaders = 4096;



int32_t UnixToDos(uint32_t seconds) { return UnixToDosDateTime(seconds); }

// The folder of a type-2 extended header: parts separated by 0xFF (or "/" or "\"), as
// "a\b\".
std::string FolderName(const uint8_t* p, size_t n) {
  std::string dir(reinterpret_cast<const char*>(p), n);
  while (!dir.empty() && dir.back() == '\0') dir.pop_back();
  // 0xFF separates the parts: it is never part of a character there.
  for (char& c : dir)
    if (static_cast<uint8_t>(c) == 0xFF) c = '\\';
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  return dir;
}

// Applies one extended header (type, its data) to the entry.
void ApplyExtended(uint8_t type, const uint8_t* data, size_t n, std::string& file, std::string& dir, bool& haveFile) {
  if (type == 1) {
    file.assign(reinterpret_cast<const char*>(data), n);
    while (!file.empty() && file.back() == '\0') file.pop_back();
    haveFile = true;
  } else if (type == 2) {
    dir = FolderName(data, n);
  }
}
}  // namespace

int ReadLhaHeaderAt(TStream32& s, int64_t offset, int64_t streamSize, TLhaHeader& h) {
  h = TLhaHeader{};
  h.Offset = offset;
  if (offset < 0 || offset >= streamSize) return kLhaHeaderEnd;
  uint8_t fixed[kFixed];
  int64_t avail = streamSize - offset;
  if (avail < 1) return kLhaHeaderEnd;
  if (!ReadExactAt(s, offset, fixed, 1)) return kLhaHeaderEnd;
  if (fixed[0] == 0) return kLhaHeaderEnd;
  if (avail < static_cast<int64_t>(kFixed) || !ReadExactAt(s, offset, fixed, kFixed)) return zevBadFileHeader;
  std::memcpy(h.Method, fixed + kMethod, 5);
  h.PackedSize = GetU32LE(fixed + kPacked);
  h.OrigSize = GetU32LE(fixed + kOrig);
  h.Attr = fixed[kAttr];
  h.Level = fixed[kLevel];
  std::string file, dir;
  bool haveFile = false;
  if (h.Level == 0 || h.Level == 1) {
    size_t hsize = fixed[0];
    size_t nameLen = fixed[kNameLen];
    size_t total = hsize + 2;
    size_t need = kFixed + nameLen + 2 + (h.Level == 1 ? 3 : 0);
    if (hsize < kFixed || nameLen > hsize - kFixed || need > total) return zevBadFileHeader;
    if (avail < static_cast<int64_t>(total)) return zevBadFileHeader;
    std::vector<uint8_t> b(total);
    if (!ReadExactAt(s, offset, b.data(), total)) return zevBadFileHeader;
    h.DosTime = static_cast<int32_t>(GetU32LE(b.data() + kTime));
    file.assign(reinterpret_cast<const char*>(b.data() + kFixed), nameLen);
    h.Crc = GetU16LE(b.data() + kFixed + nameLen);
    h.HeaderSize = static_cast<int64_t>(total);
    int64_t next = offset + static_cast<int64_t>(total) + h.PackedSize;
    int64_t extTotal = 0;
    if (h.Level == 1) {
      // The extended headers follow the base header; their bytes count in the packed size.
      uint32_t size = GetU16LE(b.data() + total - 2);
      int64_t pos = offset + static_cast<int64_t>(total);
      int count = 0;
      std::vector<uint8_t> e;
      while (size != 0) {
        if (size < 3 || ++count > kMaxExtHeaders) return zevBadFileHeader;
        extTotal += size;
        if (extTotal > h.PackedSize || pos + size > streamSize) return zevBadFileHeader;
        e.resize(size);
        if (!ReadExactAt(s, pos, e.data(), size)) return zevBadFileHeader;
        ApplyExtended(e[0], e.data() + 1, size - 3, file, dir, haveFile);
        pos += size;
        size = GetU16LE(e.data() + size - 2);
      }
      h.PackedSize -= static_cast<uint32_t>(extTotal);
    }
    h.DataOffset = offset + static_cast<int64_t>(total) + extTotal;
    h.NextOffset = next;
  } else if (h.Level == 2) {
    size_t total = GetU16LE(fixed);
    constexpr size_t kBase = 26;  // fixed part, CRC, OS byte, size of the first extended header
    if (total < kBase || avail < static_cast<int64_t>(total)) return zevBadFileHeader;
    std::vector<uint8_t> b(total);
    if (!ReadExactAt(s, offset, b.data(), total)) return zevBadFileHeader;
    h.DosTime = UnixToDos(GetU32LE(b.data() + kTime));
    h.Crc = GetU16LE(b.data() + 21);
    size_t pos = kBase;
    size_t size = GetU16LE(b.data() + 24);
    while (size != 0) {
      if (size < 3 || size > total - pos) return zevBadFileHeader;
      ApplyExtended(b[pos], b.data() + pos + 1, size - 3, file, dir, haveFile);
      pos += size;
      size = GetU16LE(b.data() + pos - 2);
    }
    h.HeaderSize = static_cast<int64_t>(total);
    h.DataOffset = offset + static_cast<int64_t>(total);
    h.NextOffset = h.DataOffset + h.PackedSize;
  } else if (h.Level == 3) {
    // Every size is 32 bits wide here: the first word says so (4), the fixed part ends with the
    // size of the first extended header, and each extended header with that of the next.
    constexpr size_t kBase = 28;
    constexpr uint32_t kMaxExtSize = 1u << 20;
    uint8_t b[kBase];
    if (GetU16LE(fixed) != 4 || avail < static_cast<int64_t>(kBase) || !ReadExactAt(s, offset, b, kBase))
      return zevBadFileHeader;
    h.DosTime = UnixToDos(GetU32LE(b + kTime));
    h.Crc = GetU16LE(b + 21);
    int64_t pos = offset + static_cast<int64_t>(kBase);
    uint32_t size = GetU32LE(b + 24);
    int count = 0;
    std::vector<uint8_t> e;
    while (size != 0) {
      if (size < 5 || size > kMaxExtSize || ++count > kMaxExtHeaders || size > streamSize - pos)
        return zevBadFileHeader;
      e.resize(size);
      if (!ReadExactAt(s, pos, e.data(), size)) return zevBadFileHeader;
      ApplyExtended(e[0], e.data() + 1, size - 5, file, dir, haveFile);
      pos += size;
      size = GetU32LE(e.data() + size - 4);
    }
    h.HeaderSize = pos - offset;
    h.DataOffset = pos;
    h.NextOffset = h.DataOffset + h.PackedSize;
  } else {
    return zevBadFileHeader;
  }
  h.Name = dir + file;
  return 0;
}

int64_t FindLhaStart(TStream32& s, int64_t streamSize) {
  auto looksLikeHeader = [&](int64_t at) {
    uint8_t b[kFixed];
    if (at < 0 || streamSize - at < static_cast<int64_t>(kFixed) || !ReadExactAt(s, at, b, kFixed)) return false;
    return b[0] != 0 && b[2] == '-' && b[3] == 'l' && (b[4] == 'h' || b[4] == 'z') && b[6] == '-' && b[kLevel] <= 3;
  };
  if (looksLikeHeader(0)) return 0;
  uint8_t first = 1;
  if (streamSize > 0 && ReadExactAt(s, 0, &first, 1) && first == 0 && looksLikeHeader(128)) return 128;
  // A self-extracting program before the archive: the first header within its first 64 KiB.
  int64_t limit = std::min<int64_t>(streamSize, 65536);
  if (limit < static_cast<int64_t>(kFixed)) return -1;
  std::vector<uint8_t> buf(static_cast<size_t>(limit) & 0x1FFFF);
  if (!ReadExactAt(s, 0, buf.data(), buf.size())) return -1;
  for (size_t p = 2; p + 5 <= buf.size(); ++p) {
    if (buf[p] == '-' && buf[p + 1] == 'l' && buf[p + 2] == 'h' && buf[p + 4] == '-' && looksLikeHeader(static_cast<int64_t>(p) - 2))
      return static_cast<int64_t>(p) - 2;
  }
  return -1;
}

std::string MakeLhaLevel0Header(const char* method, uint32_t packed, uint32_t orig, int32_t dosTime, uint8_t attr,
                                const std::string& name, uint16_t crc) {
  if (name.size() > kLhaMaxLevel0Name || std::strlen(method) != 5) return {};
  std::string h(kFixed + name.size() + 2, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) h[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  h[0] = static_cast<char>(kFixed + name.size());
  std::memcpy(&h[kMethod], method, 5);
  put32(kPacked, packed);
  put32(kOrig, orig);
  put32(kTime, static_cast<uint32_t>(dosTime));
  h[kAttr] = static_cast<char>(attr);
  h[kLevel] = 0;
  h[kNameLen] = static_cast<char>(name.size());
  std::memcpy(&h[kFixed], name.data(), name.size());
  h[kFixed + name.size()] = static_cast<char>(crc & 0xFF);
  h[kFixed + name.size() + 1] = static_cast<char>(crc >> 8);
  uint8_t sum = 0;
  for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(h[i]));
  h[1] = static_cast<char>(sum);
  return h;
}

bool LhaMethodSupported(char method) {
  return method == 'd' || method == '0' || method == '1' || (method >= '4' && method <= '7');
}

int LhaDecodeData(TCodecInput& in, TCodecSink& out, char method, int64_t size) {
  switch (method) {
    case '0': return CopyStored(in, out, size);
    case '1': return Lh1Decode(in, out, size);
    case '4': return LzhDecode(in, out, size, 12, 4);
    case '5': return LzhDecode(in, out, size, 13, 4);
    case '6': return LzhDecode(in, out, size, 15, 5);
    case '7': return LzhDecode(in, out, size, 16, 5);
    default: return zevUnsupportedMethod;
  }
}

int WalkLhaHeaders(TStream32& s, int64_t streamSize, const std::function<bool(const TLhaHeader&)>& f) {
  int64_t offset = FindLhaStart(s, streamSize);
  if (offset < 0) return zevBadFileHeader;
  TLhaHeader h;
  for (;;) {
    int r = ReadLhaHeaderAt(s, offset, streamSize, h);
    if (r == kLhaHeaderEnd) return 0;
    if (r != 0) return r;
    if (!f(h)) return 0;
    if (h.NextOffset <= offset) return 0;  // never walks back
    offset = h.NextOffset;
  }
}

bool IsAlreadyCompressedName(const std::wstring& name) {
  static const wchar_t* const kExts[] = {L"ACE", L"ARC", L"ARJ", L"BH",  L"CAB", L"ENC", L"GZ", L"HA",
                                         L"JAR", L"LHA", L"LZH", L"PAK", L"PK3", L"PK_", L"RAR", L"TAR",
                                         L"TGZ", L"UUE", L"UU",  L"XXE", L"Z",   L"ZIP", L"ZOO"};
  size_t dot = name.rfind(L'.');
  size_t sep = name.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (sep != std::wstring::npos && dot < sep)) return false;
  std::wstring ext = name.substr(dot + 1);
  for (auto& c : ext)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  for (const wchar_t* e : kExts)
    if (ext == e) return true;
  return false;
}

int WriteLhaEntry(TStream32* source, TStream32& dest, TStream32& scratch, const std::string& storedName, bool folder,
                  int32_t dosTime, uint8_t attr, TLhaPacking packing, TLhaWritten& w,
                  const std::function<void(size_t)>& progress) {
  w = TLhaWritten{};
  std::string name = storedName;
  if (folder && (name.empty() || name.back() != '\\')) name += '\\';
  if (name.size() > kLhaMaxLevel0Name) return zevInvalidFileName;
  auto putHeader = [&](const char* method) {
    std::memcpy(w.Method, method, 5);
    std::string h = MakeLhaLevel0Header(method, w.PackedSize, w.OrigSize, dosTime, attr, name, w.Crc);
    dest.WriteBuffer(h.data(), static_cast<int32_t>(h.size()));
  };
  if (folder || !source) {
    putHeader("-lhd-");
    return 0;
  }
  int64_t start = source->Seek(0, soFromCurrent);
  int64_t size = source->Seek(0, soFromEnd) - start;
  source->Seek(start, soFromBeginning);
  if (size >= (int64_t{1} << 32)) return zevInvalidArcType;
  w.OrigSize = static_cast<uint32_t>(size);
  auto observe = [&](const uint8_t* p, size_t n) {
    w.Crc = UpdateCrc16(w.Crc, p, n);
    if (progress) progress(n);
  };
  if (size > 0 && packing != TLhaPacking::Store) {
    scratch.SetSize(0);
    scratch.Seek(0, soFromBeginning);
    TCodecInput in(*source, size);
    in.OnRead = observe;
    bool lh6 = packing == TLhaPacking::Lh6;
    // -lh6- entries are written with a 16 KiB dictionary: every -lh6- decoder reads them.
    TLzhEncodeResult r = Lzh5Encode(in, scratch, lh6 ? 14 : 13, lh6 ? 5 : 4, size);
    if (!r.GaveUp && r.BytesOut < size && r.BytesIn == size) {
      w.PackedSize = static_cast<uint32_t>(r.BytesOut);
      putHeader(lh6 ? "-lh6-" : "-lh5-");
      scratch.Seek(0, soFromBeginning);
      dest.CopyFrom(scratch, r.BytesOut);
      return 0;
    }
    source->Seek(start, soFromBeginning);
  }
  // Stored: the CRC first, then the header and the bytes.
  w.Crc = 0;
  std::vector<uint8_t> buf(65536);
  for (int64_t left = size; left > 0;) {
    int32_t n = source->Read(buf.data(), static_cast<int32_t>(std::min<int64_t>(left, 65536)));
    if (n <= 0) throw EReadError();
    w.Crc = UpdateCrc16(w.Crc, buf.data(), static_cast<size_t>(n));
    left -= n;
  }
  source->Seek(start, soFromBeginning);
  w.PackedSize = w.OrigSize;
  putHeader("-lh0-");
  for (int64_t left = size; left > 0;) {
    int32_t n = source->Read(buf.data(), static_cast<int32_t>(std::min<int64_t>(left, 65536)));
    if (n <= 0) throw EReadError();
    dest.WriteBuffer(buf.data(), n);
    if (progress) progress(static_cast<size_t>(n));
    left -= n;
  }
  return 0;
}
