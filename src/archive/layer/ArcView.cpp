// Type detection, volume naming and the directory readers (portable).
#include "archive/layer/ArcView.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "archive/engine/zevGbls.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"

const wchar_t* const ArcTypeNames[kArcKindCount] = {
    L"",    L"ZIP", L"RAR", L"ACE", L"CAB", L"LZH", L"ARJ", L"OMP", L"SQZ", L"ARC", L"ZOO", L"TAR",
    L"BH",  L"JAR", L"GZ",  L"ZIP", L"RAR", L"ACE", L"CAB", L"LZH", L"ARJ", L"OMP", L"SQZ",
};

int32_t TArcMemorySource::ReadAt(int64_t offset, void* buffer, int32_t count) {
  if (offset < 0 || count <= 0 || offset >= static_cast<int64_t>(FBytes.size())) return 0;
  const size_t n = std::min(static_cast<size_t>(count), FBytes.size() - static_cast<size_t>(offset));
  std::memcpy(buffer, FBytes.data() + offset, n);
  return static_cast<int32_t>(n);
}

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint16_t Get16(std::string_view s, size_t at) { return Get16(reinterpret_cast<const uint8_t*>(s.data()) + at); }
uint32_t Get32(std::string_view s, size_t at) { return Get32(reinterpret_cast<const uint8_t*>(s.data()) + at); }

bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool At(std::string_view s, size_t at, std::string_view sig) { return s.size() >= at + sig.size() && s.substr(at, sig.size()) == sig; }

// Reads up to count bytes at offset into a string of the bytes read.
std::string ReadBlock(TArcSource& file, int64_t offset, int32_t count) {
  std::string s(static_cast<size_t>(count > 0 ? count : 0), '\0');
  const int32_t n = count > 0 ? file.ReadAt(offset, s.data(), count) : 0;
  s.resize(static_cast<size_t>(n > 0 ? n : 0));
  return s;
}

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }
bool SameAsciiI(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}
bool StartsAsciiI(std::wstring_view s, std::wstring_view prefix) {
  return s.size() >= prefix.size() && SameAsciiI(s.substr(0, prefix.size()), prefix);
}

// Where the file-name part of a path begins.
size_t NameStart(std::wstring_view path) {
  const size_t p = path.find_last_of(L"\\/:");
  return p == std::wstring_view::npos ? 0 : p + 1;
}
// The last extension of the name part, "." included; empty without one.
std::wstring_view ExtOf(std::wstring_view path) {
  const size_t start = NameStart(path);
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring_view::npos || dot < start) return {};
  return path.substr(dot);
}
std::wstring_view WithoutExt(std::wstring_view path) { return path.substr(0, path.size() - ExtOf(path).size()); }

// The value of a run of decimal digits; -1 for anything else or a value too large.
int64_t DigitsValue(std::wstring_view s) {
  if (s.empty() || !IsAllDigits(s) || s.size() > 9) return -1;
  int64_t v = 0;
  for (wchar_t c : s) v = v * 10 + (c - L'0');
  return v;
}
std::wstring PadNumber(int64_t v, size_t width) {
  std::wstring s = std::to_wstring(v);
  if (s.size() < width) s.insert(0, width - s.size(), L'0');
  return s;
}
constexpr std::string_view kPK34("PK\x03\x04", 4), kPK56("PK\x05\x06", 4), kPK78("PK\x07\x08", 4),
    kPK12("PK\x01\x02", 4), kRar("Rar!\x1A\x07\x00", 7), kAce("**ACE**"), kArj("\x60\xEA", 2);

// The DOS part of an executable: where its image ends by the page counts of its header.
int64_t DosImageEnd(std::string_view header) {
  if (header.size() < 6) return 0;
  const int64_t lastPage = Get16(header, 2), pages = Get16(header, 4);
  return pages * 512 - ((512 - lastPage) % 512);
}

// The PE header's section table: its file offset and the number of sections; false when the
// file is no PE image.
struct TPeSections {
  int64_t TableAt = 0;
  int Count = 0;
};
bool ReadPeSections(TArcSource& file, TPeSections& out) {
  const std::string dos = ReadBlock(file, 0, 64);
  if (dos.size() < 64 || !At(dos, 0, "MZ")) return false;
  const int64_t pe = Get32(dos, 60);
  const std::string head = ReadBlock(file, pe, 24);
  if (head.size() < 24 || !At(head, 0, "PE")) return false;
  out.Count = Get16(head, 6);
  // The section table follows the optional header, whose size the file header gives (224
  // bytes for 32-bit images, 240 for 64-bit ones).
  out.TableAt = pe + 24 + Get16(head, 20);
  return true;
}

}  // namespace

// ---- Type detection ----

TArcKind TestArchiveSignature(std::string_view h, TArcSource* file, std::wstring_view fileName) {
  if (h.size() < 15) return akNone;
  const auto b = [&](size_t i) { return i < h.size() ? static_cast<uint8_t>(h[i]) : 0; };
  if (At(h, 2, "-lh") && IsAlnum(b(5)) && b(6) == '-') return akLzh;
  if (At(h, 0, kArj) && b(10) == 2) return akArj;
  if (At(h, 0, "TOMP") && At(h, 32, "OMP")) return akOmp;
  if (At(h, 0, "ZOO") && At(h, 16, "\x2E\x1A")) return akZoo;
  if (At(h, 0, "MSCF")) return akCab;
  if (At(h, 0, "HLSQZ") && b(6) == 0) return akSqz;
  if (At(h, 0, kRar)) return akRar;
  if (At(h, 0, kPK78) || At(h, 0, kPK34) || At(h, 0, kPK56)) return akZip;
  if (At(h, 7, kAce)) return akAce;
  if (b(0) == 0x1A && file) {
    const int64_t size = file->Size();
    uint8_t tail[2];
    if (size >= 2 && file->ReadAt(size - 2, tail, 2) == 2 && tail[0] == 0x1A && tail[1] == 0) return akArc;
  }
  if (At(h, 0, "BH\x05\x07")) return akBh;
  if (At(h, 0, "\x1F\x8B\x08")) return akGz;
  if (SameAsciiI(ExtOf(fileName), L".TAR") && h.size() > 99 && b(99) == 0 && b(0) != 0) return akTar;
  return akNone;
}

bool FindSignatureBefore(std::string_view buffer, int64_t base, std::string_view sig, int64_t adjust, int64_t& best,
                         int64_t* index) {
  if (index) *index = -1;
  const size_t i = buffer.find(sig);
  if (i == std::string_view::npos) return false;
  if (index) *index = static_cast<int64_t>(i);
  const int64_t candidate = base + static_cast<int64_t>(i) + adjust;
  // A signature that would put the data before the file's start is no archive.
  if (candidate < 0 || candidate >= best) return false;
  best = candidate;
  return true;
}

int64_t GetPEImageEnd(TArcSource& file, int64_t& largestSectionStart) {
  largestSectionStart = -1;
  TPeSections pe;
  if (!ReadPeSections(file, pe)) return -1;
  const int64_t size = file.Size();
  int64_t largestEnd = 0, largestRaw = 0, start = 0;
  for (int i = 0; i < pe.Count; ++i) {
    const std::string s = ReadBlock(file, pe.TableAt + 40 * static_cast<int64_t>(i), 40);
    if (s.size() < 40) return -1;
    const int64_t raw = Get32(s, 20), rawSize = Get32(s, 16), end = raw + rawSize;
    if (end >= size) continue;
    largestEnd = std::max(largestEnd, end);
    if (rawSize > largestRaw) {
      largestRaw = rawSize;
      start = raw;
    }
  }
  largestSectionStart = start;
  int64_t result = largestEnd;
  if (result > size - 512) result = start;
  const int64_t dosEnd = DosImageEnd(ReadBlock(file, 0, 64));
  if (result < dosEnd) result = dosEnd;
  return result;
}

namespace {
// A walk of the resource directories in search of a cabinet: bounded in depth and in the
// entries it reads, and never entering one directory twice.
struct TResourceWalk {
  TArcSource& File;
  int64_t RawStart, VirtualAddress;
  std::set<int64_t> Seen;
  int Budget = 65536;
  int64_t CabSize = 0;

  int64_t Walk(int64_t dir, int depth) {
    if (depth > 4 || !Seen.insert(dir).second) return -1;
    const std::string head = ReadBlock(File, RawStart + dir, 16);
    if (head.size() < 16) return -1;
    const int entries = Get16(head, 12) + Get16(head, 14);
    for (int i = 0; i < entries && Budget-- > 0; ++i) {
      const std::string e = ReadBlock(File, RawStart + dir + 16 + 8 * static_cast<int64_t>(i), 8);
      if (e.size() < 8) return -1;
      const uint32_t offset = Get32(e, 4);
      if (offset & 0x80000000u) {
        const int64_t r = Walk(offset & 0x7FFFFFFFu, depth + 1);
        if (r != -1) return r;
        continue;
      }
      const std::string data = ReadBlock(File, RawStart + offset, 16);
      if (data.size() < 16) return -1;
      const int64_t address = Get32(data, 0), dataSize = Get32(data, 4);
      if (address < VirtualAddress) return -1;
      if (dataSize <= 4) continue;
      const int64_t at = address - VirtualAddress + RawStart;
      if (ReadBlock(File, at, 4) == "MSCF") {
        CabSize = dataSize;
        return at;
      }
    }
    return -1;
  }
};
}  // namespace

int64_t FindCabinetInResources(TArcSource& file, int64_t& cabSize) {
  cabSize = 0;
  TPeSections pe;
  if (!ReadPeSections(file, pe)) return -1;
  for (int i = 0; i < pe.Count; ++i) {
    const std::string s = ReadBlock(file, pe.TableAt + 40 * static_cast<int64_t>(i), 40);
    if (s.size() < 40) return -1;
    std::wstring name;
    for (int k = 0; k < 8 && s[k]; ++k) name += static_cast<wchar_t>(static_cast<uint8_t>(s[k]));
    const int64_t raw = Get32(s, 20);
    if (!SameAsciiI(name, L".rsrc") || raw >= file.Size()) continue;
    const std::string root = ReadBlock(file, raw, 16);
    if (root.size() < 16) return -1;
    const int entries = Get16(root, 12) + Get16(root, 14);
    for (int k = 0; k < entries; ++k) {
      const std::string e = ReadBlock(file, raw + 16 + 8 * static_cast<int64_t>(k), 8);
      if (e.size() < 8) return -1;
      if ((Get32(e, 0) & 0x7FFFFFFFu) != 10) continue;
      TResourceWalk walk{file, raw, Get32(s, 12), {}};
      const int64_t at = walk.Walk(Get32(e, 4) & 0x7FFFFFFFu, 1);
      if (at != -1) cabSize = walk.CabSize;
      return at;
    }
    return -1;
  }
  return -1;
}

TArcKind DetectArchiveType(TArcSource& file, std::wstring_view fileName, int64_t& dataOffset, bool checkSFX) {
  dataOffset = 0;
  const int64_t size = file.Size();
  const std::string first = ReadBlock(file, 0, 512);
  TArcKind type = akNone;
  if (size > 0 && At(first, 0, "MZ") && checkSFX) {
    int64_t start = DosImageEnd(first), largest = -1;
    const int64_t pe = GetPEImageEnd(file, largest);
    if (pe != -1) {
      if (pe < size)
        start = pe;
      else if (largest != -1)
        start = largest;
    }
    if (start >= 0 && start < size) {
      const std::string buf = ReadBlock(file, start, 8192);
      int64_t best = size, i = -1;
      // A signature whose further condition fails is no archive and leaves the search as it was.
      const auto alnumDash = [&](int64_t at) {
        return at + 4 < static_cast<int64_t>(buf.size()) && IsAlnum(static_cast<uint8_t>(buf[at + 3])) &&
               buf[at + 4] == '-';
      };
      int64_t probe = best;
      if (FindSignatureBefore(buf, start, "-lh", -2, probe, &i) && alnumDash(i)) {
        best = probe;
        type = akLzhSfx;
      }
      if (FindSignatureBefore(buf, start, kPK34, 0, best)) type = akZipSfx;
      if (FindSignatureBefore(buf, start, kPK78, 0, best)) type = akZipSfx;
      probe = best;
      if (FindSignatureBefore(buf, start, kArj, 0, probe, &i) && i + 10 < static_cast<int64_t>(buf.size()) &&
          buf[i + 10] == 2) {
        best = probe;
        type = akArjSfx;
      }
      if (FindSignatureBefore(buf, start, "TOMP", 0, best)) type = akOmpSfx;
      if (FindSignatureBefore(buf, start, kRar, 0, best)) type = akRarSfx;
      if (FindSignatureBefore(buf, start, "MSCF", 0, best)) type = akCabSfx;
      if (FindSignatureBefore(buf, start, "HLSQZ", 0, best)) type = akSqzSfx;
      if (FindSignatureBefore(buf, start, kAce, -7, best)) type = akAceSfx;
      dataOffset = best;

      if (type == akNone) {
        const bool endRecord = ReadBlock(file, size - 22, 4) == kPK56 ||
                               ReadBlock(file, size - 513, 512).find(kPK56) != std::string::npos;
        if (endRecord) {
          dataOffset = start + 8000;
          while (dataOffset < size && dataOffset < start + 163840) {
            const std::string w = ReadBlock(file, dataOffset, 8192);
            if (w.empty()) break;
            const size_t at = w.find(kPK34);
            if (at != std::string::npos) {
              dataOffset += static_cast<int64_t>(at);
              type = akZipSfx;
              break;
            }
            dataOffset += 8176;
          }
        } else {
          int64_t cabSize = 0;
          dataOffset = FindCabinetInResources(file, cabSize);
          if (dataOffset > 0) type = akCabSfx;
        }
      }
    }
  } else if (size > 0) {
    type = TestArchiveSignature(first, &file, fileName);
    if (At(first, 6, "JFIF")) {
      type = akNone;
    } else if (type == akNone) {
      const std::string buf = ReadBlock(file, 0, 2048);
      int64_t best = size, i = -1;
      const bool ace = FindSignatureBefore(buf, 0, kAce, -7, best);
      bool zip = FindSignatureBefore(buf, 0, kPK34, 0, best);
      zip = FindSignatureBefore(buf, 0, kPK56, 0, best) || zip;
      zip = FindSignatureBefore(buf, 0, kPK78, 0, best) || zip;
      type = zip ? akZip : ace ? akAce : akNone;
      if (FindSignatureBefore(buf, 0, "-lh", -2, best, &i) && i + 4 < static_cast<int64_t>(buf.size()) &&
          IsAlnum(static_cast<uint8_t>(buf[i + 3])) && buf[i + 4] == '-')
        type = akLzh;
      dataOffset = best;
    }
  }
  if (type == akZip && SameAsciiI(ExtOf(fileName), L".JAR")) type = akJar;
  return type;
}

TArcKind DetectArchiveType(const std::wstring& fileName, int64_t& dataOffset, bool checkSFX) {
  dataOffset = 0;
  std::unique_ptr<TArcSource> file = OpenArcFile(fileName);
  if (!file) return akNone;
  return DetectArchiveType(*file, fileName, dataOffset, checkSFX);
}

// ---- Volume naming ----

namespace {
bool IsRarKind(TArcKind t) { return t == akRar || t == akRarSfx; }
const wchar_t* TypeName(TArcKind t) { return static_cast<int>(t) < kArcKindCount ? ArcTypeNames[t] : L""; }
}  // namespace

std::wstring GetNextVolumeName(const std::wstring& fileName, TArcKind arcType, int32_t flags) {
  if (IsRarKind(arcType) && (flags & afNewVolumeNaming)) {
    const std::wstring_view ext = ExtOf(fileName);
    const std::wstring_view base = WithoutExt(fileName);
    const std::wstring_view inner = ExtOf(base);
    if (StartsAsciiI(inner, L".part")) {
      const std::wstring digits = Trim(inner.substr(5));
      const int64_t n = DigitsValue(digits);
      if (n >= 0)
        return std::wstring(WithoutExt(base)) + L".part" + PadNumber(n + 1, digits.size()) + std::wstring(ext);
    }
    return L"";
  }
  const std::wstring_view dotExt = ExtOf(fileName);
  std::wstring e(dotExt.empty() ? dotExt : dotExt.substr(1));
  int64_t number = e.size() >= 2 ? DigitsValue(std::wstring_view(e).substr(1)) : -1;
  const std::wstring typeName = TypeName(arcType);
  if (number == -1 || e.empty()) e = typeName;
  size_t width = e.size() >= 3 ? e.size() - 1 : 2;
  int64_t next = number + 1;
  wchar_t letter = e.empty() ? L'0' : e[0];
  if (typeName == L"RAR") {
    width = 2;
    if (number == 99) {
      next = 0;
      letter = letter <= 0xFF ? static_cast<wchar_t>((letter + 1) & 0xFF) : static_cast<wchar_t>(letter + 1);
    }
  }
  if (typeName == L"ARJ" && number == -1) next = 1;
  if (typeName == L"ACE") letter = L'C';
  return std::wstring(WithoutExt(fileName)) + L"." + letter + PadNumber(next, width);
}

std::wstring GetFirstVolumeName(const std::wstring& fileName, TArcKind arcType, int32_t flags) {
  const size_t start = NameStart(fileName);
  const std::wstring folder = fileName.substr(0, start);
  const std::wstring_view name = std::wstring_view(fileName).substr(start);
  bool newNaming = IsRarKind(arcType) && (flags & afNewVolumeNaming);
  if (IsRarKind(arcType) && !newNaming && SameAsciiI(ExtOf(name), std::wstring(L".") + TypeName(arcType)) &&
      StartsAsciiI(ExtOf(WithoutExt(name)), L".part"))
    newNaming = true;
  if (newNaming) {
    const std::wstring_view ext = ExtOf(name), base = WithoutExt(name), inner = ExtOf(base);
    if (StartsAsciiI(inner, L".part")) {
      const std::wstring digits = Trim(inner.substr(5));
      if (DigitsValue(digits) > 0)
        return folder + std::wstring(WithoutExt(base)) + L".part" + PadNumber(1, digits.size()) + std::wstring(ext);
    }
    return fileName;
  }
  return folder + std::wstring(WithoutExt(name)) + L"." + TypeName(arcType);
}

// ---- Readers ----

int32_t TGeneralArchive::ReadAt(int64_t offset, void* buffer, int32_t count) const {
  if (!Handle || offset < 0 || count <= 0) return 0;
  return Handle->ReadAt(offset, buffer, count);
}

void TGeneralArchive::MoveTo(int64_t next) {
  if (next <= Pos)
    Ended = true;
  else
    Pos = next;
}

void TGeneralArchive::Begin(ArcInfoRec& item) const {
  item = ArcInfoRec{};
  item.ArchiveName = ArcName;
}

void TGeneralArchive::SetName(ArcInfoRec& item, std::string_view bytes, TNameCoding coding) const {
  switch (coding) {
    case TNameCoding::Utf8:
      item.Name = Utf8ToWide(bytes);
      break;
    case TNameCoding::Utf8OrOem:
      item.Name = IsValidUtf8(bytes) ? Utf8ToWide(bytes) : OemToWide(bytes);
      break;
    case TNameCoding::Ansi:
      item.Name = AnsiToWide(bytes);
      break;
    case TNameCoding::Oem:
      item.Name = OemToWide(bytes);
      break;
  }
  // A name that decodes to nothing must not read as the end of the listing.
  if (item.Name.empty() && !bytes.empty()) item.Name = L".";
}

bool TGeneralArchive::Finish(ArcInfoRec& item) {
  item.Name.clear();
  Ended = true;
  return false;
}

bool TGeneralArchive::Pseudo(ArcInfoRec& item) {
  item.Name = L".";
  return true;
}

bool TGeneralArchive::ReadNextHeader(ArcInfoRec& item) {
  item.Name.clear();
  return false;
}

namespace {
// The bytes before the first zero byte.
std::string_view UpToZero(std::string_view s) {
  const size_t z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}
}  // namespace

// ZIP: the central directory where the end record leads to one, else the local headers from
// the start of the archive data into the central directory.
bool TZipArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  // The end record is the last 22 bytes, or lies before an archive comment of up to 65535 bytes.
  const int64_t tailAt = std::max<int64_t>(0, ArcSize - 22 - 65535);
  const std::string tail = ReadBlock(*Handle, tailAt, static_cast<int32_t>(ArcSize - tailAt));
  size_t at = tail.size() >= 22 ? tail.rfind(kPK56, tail.size() - 22) : std::string::npos;
  while (at != std::string::npos && at + 22 + Get16(tail, at + 20) > tail.size())
    at = at ? tail.rfind(kPK56, at - 1) : std::string::npos;
  if (at != std::string::npos) {
    // The directory's offset counts from the file's start, or (in a self-extracting file made
    // by joining) from the archive data's start.
    const int64_t cd = Get32(tail, at + 16);
    for (int64_t c : {cd, StartOffset + cd}) {
      if (ReadBlock(*Handle, c, 4) == kPK12) {
        Pos = c;
        break;
      }
    }
  }
  return ReadNextHeader(item);
}

bool TZipArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[46];
  if (!ReadExact(Pos, h, 4)) return Finish(item);
  const std::string_view sig(reinterpret_cast<const char*>(h), 4);
  if (sig == kPK34) {
    if (!ReadExact(Pos, h, 30)) return Finish(item);
    MoveTo(Pos + 30 + Get32(h + 18) + Get16(h + 26) + Get16(h + 28));
    return Pseudo(item);
  }
  if (sig == kPK78) {
    Flags |= afMultiVolume;
    MoveTo(Pos + 4);
    return Pseudo(item);
  }
  if (sig != kPK12 || !ReadExact(Pos, h, 46)) return Finish(item);
  const uint16_t nameLen = Get16(h + 28), extraLen = Get16(h + 30), commentLen = Get16(h + 32);
  std::string name(nameLen, '\0'), extra(extraLen, '\0');
  if (!ReadExact(Pos + 46, name.data(), nameLen) || !ReadExact(Pos + 46 + nameLen, extra.data(), extraLen))
    return Finish(item);
  if (name.find('\0') != std::string::npos) return Finish(item);
  item.Size = Get32(h + 24);
  item.PackedSize = Get32(h + 20);
  item.CRC32 = Get32(h + 16);
  item.DateTime = static_cast<int32_t>(Get32(h + 12));
  item.Attributes = static_cast<int32_t>(Get32(h + 38) & 0xFFFF);
  // Sizes too large for the header stand in the extra field's 64-bit record.
  if (item.Size == 0xFFFFFFFF || item.PackedSize == 0xFFFFFFFF) {
    for (size_t at = 0; at + 4 <= extra.size();) {
      const uint16_t id = Get16(extra, at), len = Get16(extra, at + 2);
      if (at + 4 + len > extra.size()) break;
      if (id == 1) {
        size_t f = at + 4;
        for (int64_t* field : {&item.Size, &item.PackedSize}) {
          if (*field != 0xFFFFFFFF) continue;
          if (f + 8 > at + 4 + len) break;
          *field = static_cast<int64_t>(Get32(extra, f) | static_cast<uint64_t>(Get32(extra, f + 4)) << 32);
          f += 8;
        }
        break;
      }
      at += 4 + len;
    }
  }
  if (name.empty())
    Pseudo(item);
  else
    SetName(item, name, (Get16(h + 8) & 0x0800) ? TNameCoding::Utf8 : TNameCoding::Oem);
  MoveTo(Pos + 46 + nameLen + extraLen + commentLen);
  return true;
}

// RAR: the marker block, the main header, then one block per file (and others passed over).
bool TRarArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  for (int i = 0; i < 2; ++i)
    if (!ReadNextHeader(item)) return false;
  return ReadNextHeader(item);
}

bool TRarArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[40];
  if (!ReadExact(Pos, h, 7)) return Finish(item);
  const uint8_t type = h[2];
  const uint16_t flags = Get16(h + 3), blockSize = Get16(h + 5);
  if (blockSize < 7) return Finish(item);
  if (type == 0x74) {
    const bool large = flags & 0x0100;
    const int32_t fixed = large ? 40 : 32;
    if (!ReadExact(Pos, h, fixed)) return Finish(item);
    const uint16_t nameLen = Get16(h + 26);
    if (blockSize < fixed + nameLen) return Finish(item);
    std::string name(nameLen, '\0');
    if (!ReadExact(Pos + fixed, name.data(), nameLen)) return Finish(item);
    const uint64_t highPacked = large ? Get32(h + 32) : 0, highSize = large ? Get32(h + 36) : 0;
    item.PackedSize = static_cast<int64_t>(highPacked << 32 | Get32(h + 7));
    item.Size = static_cast<int64_t>(highSize << 32 | Get32(h + 11));
    item.CRC32 = Get32(h + 16);
    item.DateTime = static_cast<int32_t>(Get32(h + 20));
    item.Attributes = static_cast<int32_t>(Get32(h + 28));
    if ((flags & 0xE0) == 0xE0) item.Attributes |= 0x10;
    if (flags & 0x01) item.Flags |= aifContinuedFromPrevious;
    if (flags & 0x02) item.Flags |= aifContinuesInNext;
    // A Unicode name stands after the zero byte that ends its plain form.
    SetName(item, UpToZero(name), h[15] == 3 ? TNameCoding::Utf8OrOem : TNameCoding::Oem);
    if (item.Name.empty()) Pseudo(item);
    MoveTo(Pos + blockSize + item.PackedSize);
    return true;
  }
  int64_t added = 0;
  if (flags & 0x8000) {
    if (!ReadExact(Pos + 7, h + 7, 4)) return Finish(item);
    added = Get32(h + 7);
  }
  if (type == 0x73) {
    if (flags & 0x01) Flags |= afMultiVolume;
    if (flags & 0x08) Flags |= afSolid;
    if (flags & 0x10) Flags |= afNewVolumeNaming;
  }
  MoveTo(Pos + blockSize + added);
  return Pseudo(item);
}

// ACE: the main header, then one header per file.
bool TAceArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  if (!ReadNextHeader(item)) return false;
  return ReadNextHeader(item);
}

bool TAceArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[35];
  if (!ReadExact(Pos, h, 5)) return Finish(item);
  const int64_t headerEnd = Pos + Get16(h + 2) + 4;
  switch (h[4]) {
    case 0:
      if (!ReadExact(Pos, h, 30) || std::memcmp(h + 7, "**ACE**", 7) != 0) return Finish(item);
      if (Get16(h + 5) & 0x0800) Flags |= afMultiVolume;
      if (Get16(h + 5) & 0x8000) Flags |= afSolid;
      VolumeNumber = h[17];
      MoveTo(headerEnd);
      return Pseudo(item);
    case 1: {
      if (!ReadExact(Pos, h, 35)) return Finish(item);
      const uint16_t flags = Get16(h + 5);
      const uint16_t nameLen = std::min<uint16_t>(Get16(h + 33), 255);
      std::string name(nameLen, '\0');
      if (!ReadExact(Pos + 35, name.data(), nameLen)) return Finish(item);
      item.PackedSize = Get32(h + 7);
      item.Size = Get32(h + 11);
      item.DateTime = static_cast<int32_t>(Get32(h + 15));
      item.Attributes = static_cast<int32_t>(Get32(h + 19));
      item.CRC32 = Get32(h + 23);
      if (flags & 0x1000) item.Flags |= aifContinuedFromPrevious;
      if (flags & 0x2000) item.Flags |= aifContinuesInNext;
      SetName(item, UpToZero(name), TNameCoding::Oem);
      if (item.Name.empty()) Pseudo(item);
      MoveTo(headerEnd + ((flags & 1) ? item.PackedSize : 0));
      return true;
    }
    default:
      if (!ReadExact(Pos, h, 11)) return Finish(item);
      MoveTo(headerEnd + ((Get16(h + 5) & 1) ? Get32(h + 7) : 0));
      return Pseudo(item);
  }
}

// CAB: the cabinet header, then the file records one after another.
bool TCabArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  FCount = 0;
  uint8_t h[36];
  Begin(item);
  if (!ReadExact(Pos, h, 36) || std::memcmp(h, "MSCF", 4) != 0) return Finish(item);
  FFiles = Get16(h + 28);
  Pos = StartOffset + Get32(h + 16);
  return ReadNextHeader(item);
}

bool TCabArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || FCount >= FFiles) return Finish(item);
  uint8_t h[16];
  if (!ReadExact(Pos, h, 16)) return Finish(item);
  const std::string tail = ReadBlock(*Handle, Pos + 16, 257);
  const size_t zero = tail.find('\0');
  if (zero == std::string::npos || zero == 0) return Finish(item);
  item.Size = Get32(h);
  item.DateTime = static_cast<int32_t>(static_cast<uint32_t>(Get16(h + 10)) << 16 | Get16(h + 12));
  item.Attributes = Get16(h + 14);
  // A name marked as UTF-8 is decoded so, and the mark is no attribute of the file.
  if (item.Attributes & 0x80) {
    item.Attributes &= ~0x80;
    SetName(item, tail.substr(0, zero), TNameCoding::Utf8);
  } else {
    SetName(item, tail.substr(0, zero), TNameCoding::Ansi);
  }
  ++FCount;
  MoveTo(Pos + 16 + static_cast<int64_t>(zero) + 1);
  return true;
}

// LZH and LHA: one header per file, of level 0, 1 or 2.
bool TLzhArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  return ReadNextHeader(item);
}

bool TLzhArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[24];
  const int32_t got = ReadAt(Pos, h, 24);
  if (got < 21 || h[2] != '-') return Finish(item);
  const uint8_t level = h[20];
  if (level > 2 || (level < 2 ? h[0] == 0 : Get16(h) == 0)) return Finish(item);
  const int64_t packed = Get32(h + 7);
  item.Size = Get32(h + 11);
  item.PackedSize = packed;
  item.Attributes = h[19];
  if (std::memcmp(h + 2, "-lhd-", 5) == 0) item.Attributes |= 0x10;
  std::string fileName, dirName;
  int64_t e = 0;
  if (level < 2) {
    if (got < 22) return Finish(item);
    const uint8_t nameLen = h[21];
    fileName.resize(nameLen);
    if (!ReadExact(Pos + 22, fileName.data(), nameLen)) return Finish(item);
    uint8_t crc[2];
    if (!ReadExact(Pos + 22 + nameLen, crc, 2)) return Finish(item);
    item.CRC32 = Get16(crc);
    item.DateTime = static_cast<int32_t>(Get32(h + 15));
    if (level == 0) {
      // The header's own length covers an extended area behind the name, when there is one.
      SetName(item, fileName, TNameCoding::Oem);
      if (item.Name.empty()) Pseudo(item);
      MoveTo(Pos + 2 + h[0] + packed);
      return true;
    }
    e = Pos + 25 + nameLen;
  } else {
    if (got < 24) return Finish(item);
    item.CRC32 = Get16(h + 21);
    item.DateTime = ArcUnixToDos(Get32(h + 15));
    e = Pos + 24;
  }
  // The extension headers: a size word, then (size - 2) bytes of type and data, the next size
  // word being the last two of them.
  int64_t at = e;
  for (;;) {
    if (at >= ArcSize) return Finish(item);
    uint8_t w[3];
    if (!ReadExact(at, w, 2)) return Finish(item);
    const uint16_t s = Get16(w);
    if (s == 0) break;
    if (s < 3 || !ReadExact(at + 2, w + 2, 1)) return Finish(item);
    if (w[2] == 1 || w[2] == 2) {
      std::string data(static_cast<size_t>(s - 3), '\0');
      if (!ReadExact(at + 3, data.data(), s - 3)) return Finish(item);
      (w[2] == 1 ? fileName : dirName) = std::move(data);
    }
    at += s;
  }
  const int64_t dataStart = at + 2;
  std::replace(dirName.begin(), dirName.end(), '\xFF', '\\');
  SetName(item, dirName + fileName, TNameCoding::Oem);
  if (item.Name.empty()) Pseudo(item);
  if (level == 1) {
    item.PackedSize = packed - (dataStart - 2 - e);
    MoveTo(e + 2 + packed);
  } else {
    MoveTo(dataStart + packed);
  }
  return true;
}

// ARJ: the main header, then one header per file.
bool TArjArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  if (!ReadNextHeader(item)) return false;
  return ReadNextHeader(item);
}

bool TArjArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  const std::string b = ReadBlock(*Handle, Pos, 4096);
  if (b.size() < 4 || !At(b, 0, kArj)) return Finish(item);
  const int64_t basic = Get16(b, 2);
  if (basic == 0) return Finish(item);
  if (basic > 2600) {
    MoveTo(Pos + basic);
    return Finish(item);
  }
  if (b.size() < static_cast<size_t>(4 + basic)) return Finish(item);
  const int64_t firstSize = static_cast<uint8_t>(b[4]);
  if (basic - firstSize < 0 || firstSize < 28) return Finish(item);
  const uint8_t fileType = static_cast<uint8_t>(b[10]);
  item.DateTime = static_cast<int32_t>(Get32(b, 12));
  item.PackedSize = Get32(b, 16);
  item.Size = Get32(b, 20);
  item.CRC32 = Get32(b, 24);
  item.Attributes = Get16(b, 30);
  if (fileType == 3) item.Attributes |= 0x10;
  // A piece continued from the previous volume.
  if (static_cast<uint8_t>(b[8]) & 0x08) item.Flags |= aifContinuedFromPrevious;
  if (static_cast<uint8_t>(b[8]) & 0x04) {
    Flags |= afMultiVolume;
    item.Flags |= aifContinuesInNext;
    if (VolumeNumber == -1) {
      std::wstring ext;
      for (wchar_t c : ExtOf(ArcName)) ext += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
      if (ext == L".arj" || ext == L".exe" || ext == L".000")
        VolumeNumber = 0;
      else if (ext.size() > 2 && ext.compare(0, 2, L".a") == 0 && DigitsValue(ext.substr(2)) >= 0)
        VolumeNumber = static_cast<int32_t>(DigitsValue(ext.substr(2)));
    }
  }
  uint8_t ext[2];
  const int64_t extSize = ReadExact(Pos + basic + 8, ext, 2) ? Get16(ext) : 0;
  MoveTo(Pos + 10 + basic + (fileType != 2 ? item.PackedSize : 0) + extSize);
  if (fileType == 2 || fileType == 4) return Pseudo(item);
  SetName(item, UpToZero(std::string_view(b).substr(static_cast<size_t>(4 + firstSize),
                                                     static_cast<size_t>(basic - firstSize))),
          TNameCoding::Oem);
  if (item.Name.empty()) Pseudo(item);
  return true;
}

// OMP: 32 bytes of archive header, then one header per file.
bool TOmpArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset + 32;
  return ReadNextHeader(item);
}

bool TOmpArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[33];
  if (!ReadExact(Pos, h, 33) || std::memcmp(h, "OMPa", 4) != 0) return Finish(item);
  item.Size = Get32(h + 9);
  item.PackedSize = Get32(h + 13);
  item.CRC32 = Get32(h + 17);
  item.DateTime = static_cast<int32_t>(Get32(h + 21));
  item.Attributes = Get16(h + 25);
  std::string name(h[31], '\0');
  if (!ReadExact(Pos + 33, name.data(), h[31])) return Finish(item);
  SetName(item, name, TNameCoding::Oem);
  if (item.Name.empty()) Pseudo(item);
  MoveTo(Pos + 33 + h[31] + item.PackedSize);
  return true;
}

// SQZ: 8 bytes of archive header, then blocks led by a length byte.
bool TSqzArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset + 8;
  return ReadNextHeader(item);
}

bool TSqzArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[20];
  if (!ReadExact(Pos, h, 1) || h[0] == 0) return Finish(item);
  const uint8_t len = h[0];
  if (len <= 18) {
    if (!ReadExact(Pos + 1, h + 1, 2)) return Finish(item);
    MoveTo(Pos + Get16(h + 1) + 3);
    return Pseudo(item);
  }
  if (!ReadExact(Pos, h, 20)) return Finish(item);
  item.PackedSize = Get32(h + 3);
  item.Size = Get32(h + 7);
  item.DateTime = static_cast<int32_t>(Get32(h + 11));
  item.Attributes = h[15];
  item.CRC32 = Get32(h + 16);
  std::string name(static_cast<size_t>(len - 18), '\0');
  if (!ReadExact(Pos + 20, name.data(), len - 18)) return Finish(item);
  SetName(item, name, TNameCoding::Oem);
  if (item.Name.empty()) Pseudo(item);
  MoveTo(Pos + len + item.PackedSize + 2);
  return true;
}

// ARC and PAK: a marker byte, the method, then the header of one file.
bool TArcArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  return ReadNextHeader(item);
}

bool TArcArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[29];
  if (!ReadExact(Pos, h, 2) || h[0] != 0x1A || h[1] == 0) return Finish(item);
  // The oldest method stores no unpacked size: its header is 4 bytes shorter.
  const int32_t headerLen = h[1] == 1 ? 25 : 29;
  if (!ReadExact(Pos, h, headerLen)) return Finish(item);
  item.PackedSize = Get32(h + 15);
  item.Size = h[1] == 1 ? item.PackedSize : Get32(h + 25);
  item.DateTime = static_cast<int32_t>(static_cast<uint32_t>(Get16(h + 19)) << 16 | Get16(h + 21));
  item.CRC32 = Get16(h + 23);
  SetName(item, UpToZero(std::string_view(reinterpret_cast<const char*>(h + 2), 13)), TNameCoding::Oem);
  if (item.Name.empty()) Pseudo(item);
  MoveTo(Pos + headerLen + item.PackedSize);
  return true;
}

// ZOO: a chain of directory entries, each naming the offset of the next.
bool TZooArchive::ReadFirstHeader(ArcInfoRec& item) {
  uint8_t h[4];
  Begin(item);
  if (!ReadExact(StartOffset + 24, h, 4)) return Finish(item);
  Pos = StartOffset + Get32(h);
  FLargest = 0;
  return ReadNextHeader(item);
}

bool TZooArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[58];
  if (!ReadExact(Pos, h, 51) || Get32(h) != 0xFDC4A7DCu || h[4] == 0) return Finish(item);
  item.Size = Get32(h + 20);
  item.PackedSize = Get32(h + 24);
  item.DateTime = static_cast<int32_t>(static_cast<uint32_t>(Get16(h + 14)) << 16 | Get16(h + 16));
  item.CRC32 = Get16(h + 18);
  std::string name(UpToZero(std::string_view(reinterpret_cast<const char*>(h + 38), 13)));
  // Entries of type 2 may carry a long name and a folder behind the fixed part.
  if (h[4] == 2 && ReadExact(Pos + 51, h + 51, 7) && Get16(h + 51) > 0) {
    const uint8_t longLen = h[56], dirLen = h[57];
    std::string more(static_cast<size_t>(longLen) + dirLen, '\0');
    if (ReadExact(Pos + 58, more.data(), static_cast<int32_t>(more.size()))) {
      std::string longName(UpToZero(std::string_view(more).substr(0, longLen)));
      std::string dir(UpToZero(std::string_view(more).substr(longLen)));
      if (!longName.empty()) name = longName;
      if (!dir.empty()) name = dir + "/" + name;
    }
  }
  SetName(item, name, TNameCoding::Oem);
  if (item.Name.empty() || h[30] != 0) Pseudo(item);
  FLargest = std::max(FLargest, Pos);
  const int64_t next = Get32(h + 6);
  if (next <= FLargest)
    Ended = true;
  else
    Pos = next;
  return true;
}

namespace {
// An octal field up to its first zero byte, blanks trimmed; GNU's base-256 form for values
// too large for the digits. -1 when it holds anything else.
int64_t TarNumber(const uint8_t* field, size_t width) {
  if (field[0] & 0x80) {
    if (field[0] != 0x80) return -1;  // negative, or too large for 63 bits
    uint64_t v = 0;
    for (size_t i = 1; i < width; ++i) {
      if (v >> 55) return -1;
      v = v << 8 | field[i];
    }
    return v > static_cast<uint64_t>(INT64_MAX) ? -1 : static_cast<int64_t>(v);
  }
  std::string_view s = UpToZero(std::string_view(reinterpret_cast<const char*>(field), width));
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '7' || v > (INT64_MAX >> 3)) return -1;
    v = v * 8 + (c - '0');
  }
  return v;
}
// The header checksum: the sum of all bytes, the checksum field counted as blanks.
bool TarChecksumOk(const uint8_t* h) {
  const int64_t stored = TarNumber(h + 148, 8);
  int64_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
  return stored == sum;
}
// The "path" record of an extended header's "length key=value\n" records.
bool PaxPath(std::string_view data, std::string& path) {
  bool found = false;
  while (!data.empty()) {
    size_t i = 0, len = 0;
    while (i < data.size() && data[i] >= '0' && data[i] <= '9' && len < data.size()) len = len * 10 + (data[i++] - '0');
    if (len == 0 || len > data.size() || i >= len) break;
    const std::string_view rec = data.substr(i + 1, len - i - 1);
    if (rec.size() > 5 && rec.substr(0, 5) == "path=") {
      path = std::string(rec.substr(5, rec.size() - 5 - (rec.back() == '\n' ? 1 : 0)));
      found = true;
    }
    data.remove_prefix(len);
  }
  return found;
}
}  // namespace

// TAR: 512-byte headers, each followed by its data rounded up to whole blocks.
bool TTarArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  FLongName.clear();
  return ReadNextHeader(item);
}

bool TTarArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[512];
  if (!ReadExact(Pos, h, 512) || h[0] == 0) return Finish(item);
  const bool ustar = std::memcmp(h + 257, "ustar", 5) == 0;
  // A ustar header proves itself by its checksum; an old one by the ends of its name fields.
  if (ustar ? !TarChecksumOk(h) : (h[99] != 0 || h[256] != 0)) return Finish(item);
  const int64_t size = TarNumber(h + 124, 12), mtime = TarNumber(h + 136, 12);
  if (size < 0 || mtime < 0 || size > INT64_MAX - 1024) return Finish(item);
  const int64_t next = Pos + 512 + (size + 511) / 512 * 512;
  const char type = static_cast<char>(h[156]);
  if (type == 'L' || type == 'x') {
    // The next header's name: a long-name record, or the path of an extended header.
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(size, 65536));
    std::string data(static_cast<size_t>(n), '\0');
    if (!ReadExact(Pos + 512, data.data(), n)) return Finish(item);
    if (type == 'L')
      FLongName = std::string(UpToZero(data));
    else
      PaxPath(data, FLongName);
    MoveTo(next);
    return Pseudo(item);
  }
  if (type == 'K' || type == 'g' || type == 'V') {
    MoveTo(next);
    return Pseudo(item);
  }
  std::string name(UpToZero(std::string_view(reinterpret_cast<const char*>(h), 100)));
  if (!FLongName.empty()) {
    name = FLongName;
  } else if (ustar) {
    const std::string_view prefix = UpToZero(std::string_view(reinterpret_cast<const char*>(h + 345), 155));
    if (!prefix.empty()) name = std::string(prefix) + "/" + name;
  }
  FLongName.clear();
  item.Size = item.PackedSize = size;
  item.DateTime = ArcUnixToDos(mtime);
  if (type == '5') item.Attributes = 0x10;
  SetName(item, name, TNameCoding::Utf8OrOem);
  if (item.Name.empty()) Pseudo(item);
  MoveTo(next);
  return true;
}

// BH: one 37-byte header per file, the name behind it.
bool TBHArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  return ReadNextHeader(item);
}

bool TBHArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  if (Ended || Pos >= ArcSize) return Finish(item);
  uint8_t h[37];
  if (!ReadExact(Pos, h, 37) || std::memcmp(h, "BH\x05\x07", 4) != 0) return Finish(item);
  item.DateTime = static_cast<int32_t>(Get32(h + 11));
  item.PackedSize = Get32(h + 15);
  item.Size = Get32(h + 19);
  item.CRC32 = Get32(h + 23);
  item.Attributes = Get16(h + 27);
  const uint16_t nameLen = Get16(h + 33);
  std::string name(nameLen, '\0');
  if (!ReadExact(Pos + 37, name.data(), nameLen)) return Finish(item);
  SetName(item, UpToZero(name), TNameCoding::Oem);
  if (item.Name.empty()) Pseudo(item);
  MoveTo(Pos + Get16(h + 4) + item.PackedSize);
  return true;
}

// GZIP: one entry, its size and checksum in the last 8 bytes of the file.
bool TGZArchive::ReadFirstHeader(ArcInfoRec& item) {
  Pos = StartOffset;
  Begin(item);
  uint8_t h[10];
  if (!ReadExact(Pos, h, 10) || h[0] != 0x1F || h[1] != 0x8B) return Finish(item);
  int64_t at = Pos + 10;
  const uint8_t flags = h[3];
  // A zero-terminated field of at most 64 KiB.
  const auto zeroTerminated = [&](std::string& out) {
    const std::string block = ReadBlock(*Handle, at, 65536);
    const size_t z = block.find('\0');
    if (z == std::string::npos) return false;
    out = block.substr(0, z);
    at += static_cast<int64_t>(z) + 1;
    return true;
  };
  if (flags & 0x04) {
    uint8_t w[2];
    if (!ReadExact(at, w, 2)) return Finish(item);
    at += 2 + Get16(w);
  }
  std::string stored, comment;
  if ((flags & 0x08) && !zeroTerminated(stored)) return Finish(item);
  if ((flags & 0x10) && !zeroTerminated(comment)) return Finish(item);
  if (flags & 0x02) at += 2;
  uint8_t t[8];
  if (ArcSize - 8 < at || !ReadExact(ArcSize - 8, t, 8)) return Finish(item);
  item.CRC32 = Get32(t);
  item.Size = Get32(t + 4);
  item.PackedSize = (ArcSize - 8) - at;
  const uint32_t mtime = Get32(h + 4);
  item.DateTime = mtime ? ArcUnixToDos(mtime) : ArcDate;
  if (flags & 0x08) {
    // Only the file part of a stored name counts.
    const size_t slash = stored.find_last_of("/\\");
    if (slash != std::string::npos) stored.erase(0, slash + 1);
    SetName(item, stored, TNameCoding::Utf8OrOem);
  }
  if (item.Name.empty() || !(flags & 0x08)) {
    // Without a stored name the entry is the archive's own name less its extension.
    const std::wstring_view stem = WithoutExt(ArcName);
    item.Name = std::wstring(stem.empty() ? std::wstring_view(ArcName) : stem);
  }
  Pos = ArcSize;
  return true;
}

bool TGZArchive::ReadNextHeader(ArcInfoRec& item) {
  Begin(item);
  return Finish(item);
}

std::unique_ptr<TGeneralArchive> CreateArchiveReader(int arcType) {
  switch (arcType) {
    case akZip:
    case akJar:
    case akZipSfx:
      return std::make_unique<TZipArchive>();
    case akRar:
    case akRarSfx:
      return std::make_unique<TRarArchive>();
    case akAce:
    case akAceSfx:
      return std::make_unique<TAceArchive>();
    case akCab:
    case akCabSfx:
      return std::make_unique<TCabArchive>();
    case akLzh:
    case akLzhSfx:
      return std::make_unique<TLzhArchive>();
    case akArj:
    case akArjSfx:
      return std::make_unique<TArjArchive>();
    case akOmp:
    case akOmpSfx:
      return std::make_unique<TOmpArchive>();
    case akSqz:
    case akSqzSfx:
      return std::make_unique<TSqzArchive>();
    case akArc:
      return std::make_unique<TArcArchive>();
    case akZoo:
      return std::make_unique<TZooArchive>();
    case akTar:
      return std::make_unique<TTarArchive>();
    case akBh:
      return std::make_unique<TBHArchive>();
    case akGz:
      return std::make_unique<TGZArchive>();
    default:
      return nullptr;
  }
}

// ---- The front end ----

bool TArchive::Open(const std::wstring& fileName, int arcType, int64_t startOffset) {
  Close();
  FileName = fileName;
  if (arcType <= 0 || arcType >= kArcKindCount) return false;
  int32_t date = 0;
  std::unique_ptr<TArcSource> source = OpenArcFile(fileName, &date);
  if (!source) return false;
  return Open(std::move(source), fileName, arcType, startOffset, date);
}

bool TArchive::Open(std::unique_ptr<TArcSource> source, const std::wstring& fileName, int arcType,
                    int64_t startOffset, int32_t arcDate) {
  Close();
  FileName = fileName;
  if (!source) return false;
  Reader = CreateArchiveReader(arcType);
  if (!Reader) return false;
  FSource = std::move(source);
  Reader->Handle = FSource.get();
  Reader->ArcType = static_cast<uint8_t>(arcType);
  Reader->ArcName = fileName.substr(NameStart(fileName));
  Reader->ArcSize = FSource->Size();
  Reader->ArcDate = arcDate;
  Reader->StartOffset = startOffset;
  return true;
}

void TArchive::Close() {
  Reader.reset();
  FSource.reset();
}

bool TArchive::SkipPseudo(ArcInfoRec& item) {
  while (item.Name == L".") {
    if (OnPoll && OnPoll()) {
      item.Name.clear();
      return false;
    }
    item.Name.clear();
    Reader->Next(item);
  }
  return !item.Name.empty();
}

bool TArchive::FindFirst(ArcInfoRec& item) {
  if (!Reader) return false;
  item.Name.clear();
  Reader->ReadFirstHeader(item);
  return SkipPseudo(item);
}

bool TArchive::FindNext(ArcInfoRec& item) {
  if (!Reader) return false;
  item.Name.clear();
  Reader->Next(item);
  return SkipPseudo(item);
}
