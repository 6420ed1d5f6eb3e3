#include "archive/engine/zevUnTar.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/engine/zevGbls.h"
#include "archive/engine/zevUnCodec.h"

namespace {
constexpr int64_t kBlock = 512;
// A long name longer than this is damage, not a name.
constexpr int64_t kMaxLongName = 32768;

// The text of a field up to its first zero byte, never beyond the field.
std::string FieldText(const uint8_t* p, size_t n) {
  const void* z = std::memchr(p, 0, n);
  size_t len = z ? static_cast<size_t>(static_cast<const uint8_t*>(z) - p) : n;
  return std::string(reinterpret_cast<const char*>(p), len);
}

// A number field: octal text, or the binary form (high bit of the first byte set) that
// large sizes and dates use. Negative and overlong values give -1.
int64_t NumberField(const uint8_t* p, size_t n) {
  if (p[0] & 0x80) {
    if (p[0] & 0x40) return -1;
    uint64_t v = p[0] & 0x3F;
    for (size_t i = 1; i < n; ++i) {
      if (v >> 55) return -1;
      v = (v << 8) | p[i];
    }
    return static_cast<int64_t>(v);
  }
  return OctalToInt(FieldText(p, n));
}

// The "path" record of an extended header ("<length> path=<name>\n" records).
bool ExtendedPath(const std::vector<uint8_t>& text, std::string& path) {
  std::string_view all(reinterpret_cast<const char*>(text.data()), text.size());
  bool found = false;
  size_t pos = 0;
  while (pos < all.size()) {
    size_t len = 0, i = pos;
    while (i < all.size() && all[i] >= '0' && all[i] <= '9' && len < all.size()) len = len * 10 + static_cast<size_t>(all[i++] - '0');
    if (len == 0 || len > all.size() - pos || i >= pos + len || all[i] != ' ') break;
    std::string_view rec = all.substr(i + 1, pos + len - (i + 1));
    if (!rec.empty() && rec.back() == '\n') rec.remove_suffix(1);
    if (rec.substr(0, 5) == "path=") {
      std::string_view v = rec.substr(5);
      size_t z = v.find('\0');
      path = std::string(v.substr(0, z));
      found = true;
    }
    pos += len;
  }
  return found;
}

int64_t RoundUp(int64_t n) { return (n + kBlock - 1) / kBlock * kBlock; }
}  // namespace

int WalkTarHeaders(TStream32& s, int64_t size, const std::function<bool(const TTarHeader&)>& each,
                   int64_t* endOffset) {
  uint8_t block[kBlock];
  int64_t offset = 0, head = -1;
  std::string longName;
  bool haveLong = false;
  if (endOffset) *endOffset = 0;
  while (offset >= 0 && offset + kBlock <= size) {
    if (endOffset) *endOffset = head >= 0 ? head : offset;
    s.Seek(offset, soFromBeginning);
    if (s.Read(block, kBlock) != kBlock) break;
    if (!TZipCommon::TarHeaderChecksum(block)) break;
    int64_t dataSize = NumberField(block + 124, 12);
    if (dataSize < 0 || dataSize > size - offset - kBlock) return zevBadFileHeader;
    int64_t next = offset + kBlock + RoundUp(dataSize);
    char type = static_cast<char>(block[156]);
    if (head < 0) head = offset;
    if (type == 'L' || type == 'K' || type == 'x') {
      // The next member's long name (or a long link target, not used here), or its extended
      // header whose "path" record holds the name.
      if (dataSize > kMaxLongName) return zevBadFileHeader;
      std::vector<uint8_t> text(static_cast<size_t>(dataSize));
      s.Seek(offset + kBlock, soFromBeginning);
      if (dataSize > 0 && s.Read(text.data(), static_cast<int32_t>(dataSize)) != static_cast<int32_t>(dataSize))
        return zevBadFileHeader;
      if (type == 'L') {
        longName = FieldText(text.data(), text.size());
        haveLong = true;
      } else if (type == 'x' && ExtendedPath(text, longName)) {
        haveLong = true;
      }
    } else if (type == 'g' || type == 'X') {
      // Extended headers describe other members; they are never files themselves.
    } else {
      TTarHeader h;
      std::string name;
      if (haveLong) {
        name = longName;
      } else {
        name = FieldText(block, 100);
        // The ustar prefix holds the folders of a name that did not fit.
        if (std::memcmp(block + 257, "ustar", 5) == 0) {
          std::string prefix = FieldText(block + 345, 155);
          if (!prefix.empty()) name = prefix + "/" + name;
        }
      }
      haveLong = false;
      h.Name = NormalizeSeparators(std::string_view(name));
      h.IsFolder = type == '5' || (!h.Name.empty() && h.Name.back() == '\\');
      while (!h.Name.empty() && h.Name.back() == '\\') h.Name.pop_back();
      h.Offset = offset;
      h.HeadOffset = head;
      h.NextOffset = next;
      h.DataOffset = offset + kBlock;
      h.PackedSize = h.IsFolder ? 0 : dataSize;
      int64_t mtime = NumberField(block + 136, 12);
      h.DosTime = UnixToDosDateTime(mtime < 0 ? 0 : mtime);
      head = -1;
      if (!h.Name.empty() && !each(h)) return 0;
    }
    if (next <= offset) break;
    offset = next;
    if (endOffset) *endOffset = head >= 0 ? head : offset;
  }
  return 0;
}

int WalkTarHeaders(TStream32& s, int64_t size, const std::function<bool(const TTarHeader&)>& each) {
  return WalkTarHeaders(s, size, each, nullptr);
}

TCodecEntry TarCodecEntry(const TTarHeader& h) {
  TCodecEntry e;
  e.StoredName = h.Name;
  e.IsFolder = h.IsFolder;
  e.DosTime = h.DosTime;
  e.Attr = kAttrArchive;
  e.DataOffset = h.DataOffset;
  e.PackedSize = h.PackedSize;
  e.OrigSize = h.PackedSize;
  e.CrcWidth = 32;
  e.HasCrc = false;
  int64_t size = h.PackedSize;
  e.Decode = [size](TCodecInput& in, TCodecSink& out) { return CopyStored(in, out, size); };
  return e;
}

void TUnTar::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  auto list = ListCodecEntries<TTarHeader>(
      *this, *archive, ArchiveFile(),
      [](TStream32& s, int64_t size, const std::function<bool(const TTarHeader&)>& each) {
        return WalkTarHeaders(s, size, each);
      },
      [](const TTarHeader& h) { return h.Name; },
      [](const TTarHeader&) { return true; });
  for (const auto& h : list) {
    if (GetCancel()) break;
    ExtractCodecEntry(*this, *archive, TarCodecEntry(h), false, false);
  }
}
