#pragma once
// Archive directories built byte by byte, for the formats that no tool here can write and for
// damaged variants. Every builder stores its files unpacked (the readers never look at data),
// and each function's comment is its recipe: the header layout it writes, field by field.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace arcfix {

struct TFile {
  std::string Name;   // as stored, "/" separated
  std::string Data;   // stored unpacked
  uint32_t Dos = 0x5B214C00;  // DOS date and time: 2025-09-01 09:32:00
  uint32_t Attr = 0x20;
};

inline void Put8(std::string& b, uint32_t v) { b.push_back(static_cast<char>(v & 0xFF)); }
inline void Put16(std::string& b, uint32_t v) {
  Put8(b, v);
  Put8(b, v >> 8);
}
inline void Put32(std::string& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void Set16(std::string& b, size_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void Set32(std::string& b, size_t at, uint32_t v) {
  Set16(b, at, v & 0xFFFF);
  Set16(b, at + 2, v >> 16);
}

// The CRC-32 register after the bytes (no final inversion when raw).
inline uint32_t Crc32(std::string_view s, bool raw = false) {
  uint32_t c = 0xFFFFFFFF;
  for (unsigned char ch : s) {
    c ^= ch;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return raw ? c : ~c;
}
// The CRC-16 of ARC, LZH and ZOO (reflected 0x8005 from 0).
inline uint16_t Crc16(std::string_view s) {
  uint16_t c = 0;
  for (unsigned char ch : s) {
    c ^= ch;
    for (int k = 0; k < 8; ++k) c = static_cast<uint16_t>((c >> 1) ^ (0xA001 & (0u - (c & 1))));
  }
  return c;
}

// RAR (2.9 layout, stored files):
//   marker block  "Rar!" 1A 07 00
//   main header   CRC16(2) 73 flags(2) size=13(2) reserved(2) reserved(4)
//   file header   CRC16(2) 74 flags(2: 8000 | 0100 when large) size(2) packed(4) unpacked(4)
//                 host(1)=2 fileCRC(4) dosTime(4) version(1)=20 method(1)=30 nameSize(2)
//                 attributes(4) [highPacked(4) highUnpacked(4)] name, then the data
//   end block     CRC16(2) 7B flags=4000 size=7
// A header's CRC16 is the low word of the CRC-32 of its bytes from offset 2.
inline std::string RarHeader(std::string h) {
  Set16(h, 0, Crc32(std::string_view(h).substr(2)) & 0xFFFF);
  return h;
}
inline std::string Rar(const std::vector<TFile>& files, uint16_t mainFlags = 0, uint32_t highSize = 0) {
  std::string out("Rar!\x1A\x07\x00", 7);
  std::string m;
  Put16(m, 0);
  Put8(m, 0x73);
  Put16(m, mainFlags);
  Put16(m, 13);
  Put16(m, 0);
  Put32(m, 0);
  out += RarHeader(m);
  for (const TFile& f : files) {
    const bool large = highSize != 0;
    std::string h;
    Put16(h, 0);
    Put8(h, 0x74);
    Put16(h, 0x8000 | (large ? 0x0100 : 0) | ((f.Attr & 0x10) ? 0xE0 : 0));
    Put16(h, static_cast<uint32_t>((large ? 40 : 32) + f.Name.size()));
    Put32(h, static_cast<uint32_t>(f.Data.size()));
    Put32(h, static_cast<uint32_t>(f.Data.size()));
    Put8(h, 2);
    Put32(h, Crc32(f.Data));
    Put32(h, f.Dos);
    Put8(h, 20);
    Put8(h, 0x30);
    Put16(h, static_cast<uint32_t>(f.Name.size()));
    Put32(h, f.Attr);
    if (large) {
      Put32(h, 0);
      Put32(h, highSize);
    }
    h += f.Name;
    out += RarHeader(h) + f.Data;
  }
  std::string e;
  Put16(e, 0);
  Put8(e, 0x7B);
  Put16(e, 0x4000);
  Put16(e, 7);
  out += RarHeader(e);
  return out;
}

// ACE (1.0 layout, stored files):
//   main header  CRC16(2) size(2) type=0 flags(2) "**ACE**" extractVer(1)=10 createVer(1)=10
//                host(1)=0 volume(1) created(4) reserved(8) avSize(1)=0
//   file header  CRC16(2) size(2) type=1 flags(2: 0001 | 1000 continued | 2000 continues)
//                packed(4) size(4) dosTime(4) attributes(4) CRC32(4) technical(4: type 0)
//                reserved(2) nameSize(2) name, then the data
// The size counts the bytes after the size field; the CRC16 is the low word of the CRC-32
// register (not inverted) over those bytes.
inline std::string AceHeader(const std::string& body) {
  std::string h;
  Put16(h, Crc32(body, true) & 0xFFFF);
  Put16(h, static_cast<uint32_t>(body.size()));
  return h + body;
}
// The main header; both version fields hold version.
inline std::string AceMainHeader(uint16_t flags, uint8_t version, uint8_t host, uint8_t volume) {
  std::string m;
  Put8(m, 0);
  Put16(m, flags);
  m += "**ACE**";
  Put8(m, version);
  Put8(m, version);
  Put8(m, host);
  Put8(m, volume);
  Put32(m, 0x5B214C00);
  m += std::string(8, '\0');
  Put8(m, 0);
  return AceHeader(m);
}
inline std::string AceFileHeader(uint16_t flags, uint32_t packed, uint32_t size, uint32_t dos, uint32_t attr,
                                 uint32_t crc, const std::string& name) {
  std::string h;
  Put8(h, 1);
  Put16(h, flags);
  Put32(h, packed);
  Put32(h, size);
  Put32(h, dos);
  Put32(h, attr);
  Put32(h, crc);
  Put32(h, 0);
  Put16(h, 0);
  Put16(h, static_cast<uint32_t>(name.size()));
  return AceHeader(h + name);
}
inline std::string Ace(const std::vector<TFile>& files, uint16_t mainFlags = 0, uint8_t volume = 0,
                       const std::vector<uint16_t>& fileFlags = {}) {
  std::string out = AceMainHeader(mainFlags, 10, 0, volume);
  for (size_t i = 0; i < files.size(); ++i) {
    const TFile& f = files[i];
    const auto size = static_cast<uint32_t>(f.Data.size());
    out += AceFileHeader(0x0001 | (i < fileFlags.size() ? fileFlags[i] : 0), size, size, f.Dos, f.Attr,
                         Crc32(f.Data), f.Name) +
           f.Data;
  }
  return out;
}

// LZH with stored files ("-lh0-", "-lhd-" for folders):
//   level 0: size(1)=22+n sum(1) method(5) packed(4) size(4) dosTime(4) attr(1) level(1)=0
//            nameLen(1) name(n) CRC16(2)
//   level 1: size(1)=25+n sum(1) method(5) packed(4: data + extension headers) size(4) dosTime(4)
//            attr(1)=20 level(1)=1 nameLen(1)=n name(n) CRC16(2) os(1)='U' nextSize(2), then
//            a folder extension header when the name has one: type(1)=2 folder (FF separated)
//            nextSize(2)=0
//   level 2: total(2) method(5) packed(4) size(4) unixTime(4) attr(1)=20 level(1)=2 CRC16(2)
//            os(1)='U' nextSize(2), then extension headers type 1 (file name) and 2 (folder),
//            each type(1) data nextSize(2), the last nextSize 0
// The sum of levels 0 and 1 is the byte sum of the header after its first two bytes.
inline std::string LzhMethod(const TFile& f) { return (f.Attr & 0x10) ? "-lhd-" : "-lh0-"; }
inline std::string Lzh(const std::vector<TFile>& files, int level, uint32_t unixTime = 1756719120) {
  std::string out;
  for (const TFile& f : files) {
    const size_t slash = f.Name.rfind('/');
    std::string dir = slash == std::string::npos ? "" : f.Name.substr(0, slash + 1);
    std::string leaf = slash == std::string::npos ? f.Name : f.Name.substr(slash + 1);
    for (char& c : dir)
      if (c == '/') c = '\xFF';
    std::string h;
    if (level == 0) {
      std::string name = f.Name;
      for (char& c : name)
        if (c == '/') c = '\\';
      Put8(h, static_cast<uint32_t>(22 + name.size()));
      Put8(h, 0);
      h += LzhMethod(f);
      Put32(h, static_cast<uint32_t>(f.Data.size()));
      Put32(h, static_cast<uint32_t>(f.Data.size()));
      Put32(h, f.Dos);
      Put8(h, f.Attr);
      Put8(h, 0);
      Put8(h, static_cast<uint32_t>(name.size()));
      h += name;
      Put16(h, Crc16(f.Data));
    } else if (level == 1) {
      std::string ext;
      if (!dir.empty()) {
        Put16(ext, static_cast<uint32_t>(dir.size() + 3));
        Put8(ext, 2);
        ext += dir;
      }
      Put16(ext, 0);
      // The first size word belongs to the base header; the rest follow it.
      const std::string first = ext.substr(0, 2), rest = ext.substr(2);
      Put8(h, static_cast<uint32_t>(25 + leaf.size()));
      Put8(h, 0);
      h += LzhMethod(f);
      Put32(h, static_cast<uint32_t>(f.Data.size() + rest.size()));
      Put32(h, static_cast<uint32_t>(f.Data.size()));
      Put32(h, f.Dos);
      Put8(h, 0x20);
      Put8(h, 1);
      Put8(h, static_cast<uint32_t>(leaf.size()));
      h += leaf;
      Put16(h, Crc16(f.Data));
      Put8(h, 'U');
      h += first;
      uint8_t sum = 0;
      for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(h[i]));
      h[1] = static_cast<char>(sum);
      h += rest;
      out += h + f.Data;
      continue;
    } else {
      // Each extension header: type, data, then the size of the header after it.
      std::vector<std::string> parts;
      if (!leaf.empty() || dir.empty()) parts.push_back('\x01' + leaf + std::string(2, '\0'));
      if (!dir.empty()) parts.push_back('\x02' + dir + std::string(2, '\0'));
      Put16(h, 0);  // total, patched
      h += LzhMethod(f);
      Put32(h, static_cast<uint32_t>(f.Data.size()));
      Put32(h, static_cast<uint32_t>(f.Data.size()));
      Put32(h, unixTime);
      Put8(h, 0x20);
      Put8(h, 2);
      Put16(h, Crc16(f.Data));
      Put8(h, 'U');
      Put16(h, parts.empty() ? 0 : static_cast<uint32_t>(parts[0].size()));
      for (size_t i = 0; i < parts.size(); ++i) {
        std::string p = parts[i];
        Set16(p, p.size() - 2, i + 1 < parts.size() ? static_cast<uint32_t>(parts[i + 1].size()) : 0);
        h += p;
      }
      Set16(h, 0, static_cast<uint32_t>(h.size()));
    }
    if (level == 0) {
      uint8_t sum = 0;
      for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(h[i]));
      h[1] = static_cast<char>(sum);
    }
    out += h + f.Data;
  }
  out.push_back('\0');
  return out;
}

// ZOO (type 2 entries, stored):
//   archive header  text(20) "ZOO 2.10 Archive.\x1A" tag(4)=FDC4A7DC start(4) minus(4)=-start
//                   major(1)=2 minor(1)=0 type(1)=1 commentPos(4)=0 commentLen(2)=0 vdata(1)=1
//   entry           tag(4) type(1)=2 method(1)=0 next(4) offset(4) date(2) time(2) CRC16(2)
//                   size(4) packed(4) major(1)=2 minor(1)=0 deleted(1) struc(1)=0 comment(4)=0
//                   commentSize(2)=0 name(13) varSize(2)=0 timezone(1)=127 varCRC(2)=0
//   then the data; the chain ends at an entry whose type is 0, its next 0.
inline std::string Zoo(const std::vector<TFile>& files, const std::vector<bool>& deleted = {}) {
  std::string out("ZOO 2.10 Archive.\x1A", 18);
  out.resize(20, '\0');
  Put32(out, 0xFDC4A7DC);
  Put32(out, 42);
  Put32(out, static_cast<uint32_t>(-42));
  Put8(out, 2);
  Put8(out, 0);
  Put8(out, 1);
  Put32(out, 0);
  Put16(out, 0);
  Put8(out, 1);
  constexpr size_t kEntry = 56;
  for (size_t i = 0; i < files.size(); ++i) {
    const TFile& f = files[i];
    const size_t at = out.size();
    const uint32_t next = static_cast<uint32_t>(at + kEntry + f.Data.size());
    Put32(out, 0xFDC4A7DC);
    Put8(out, 2);
    Put8(out, 0);
    Put32(out, next);
    Put32(out, static_cast<uint32_t>(at + kEntry));
    Put16(out, f.Dos >> 16);
    Put16(out, f.Dos & 0xFFFF);
    Put16(out, Crc16(f.Data));
    Put32(out, static_cast<uint32_t>(f.Data.size()));
    Put32(out, static_cast<uint32_t>(f.Data.size()));
    Put8(out, 2);
    Put8(out, 0);
    Put8(out, i < deleted.size() && deleted[i] ? 1 : 0);
    Put8(out, 0);
    Put32(out, 0);
    Put16(out, 0);
    std::string name = f.Name.substr(0, 12);
    name.resize(13, '\0');
    out += name;
    Put16(out, 0);
    Put8(out, 127);
    Put16(out, 0);
    out += f.Data;
  }
  Put32(out, 0xFDC4A7DC);
  out.resize(out.size() + kEntry - 4, '\0');
  return out;
}

// OMP: a 32-byte archive header led by "TOMP" (zeros after it), so that the first entry's tag
//   stands at 32; each entry: "OMPa"(4) reserved(5) size(4) packed(4) CRC32(4) dosTime(4) attr(2)
//   reserved(4) nameLen(1) reserved(1) name, then the data.
inline std::string Omp(const std::vector<TFile>& files) {
  std::string out("TOMP");
  out.resize(32, '\0');
  for (const TFile& f : files) {
    std::string h("OMPa");
    h.resize(9, '\0');
    Put32(h, static_cast<uint32_t>(f.Data.size()));
    Put32(h, static_cast<uint32_t>(f.Data.size()));
    Put32(h, Crc32(f.Data));
    Put32(h, f.Dos);
    Put16(h, f.Attr);
    Put32(h, 0);
    Put8(h, static_cast<uint32_t>(f.Name.size()));
    Put8(h, 0);
    out += h + f.Name + f.Data;
  }
  return out;
}

// SQZ: "HLSQZ" 31 00 reserved(1) (8 bytes), then per file: len(1)=18+n method(1)=0 sum(1)
//   packed(4) size(4) dosTime(4) attr(1) CRC32(4) name(n), then the data; a comment block: len(1)=1 size(2) data;
//   the end: len 0.
inline std::string Sqz(const std::vector<TFile>& files, bool withComment = false) {
  std::string out("HLSQZ1\0\0", 8);
  if (withComment) {
    Put8(out, 1);
    Put16(out, 5);
    out += "notes";
  }
  for (const TFile& f : files) {
    Put8(out, static_cast<uint32_t>(18 + f.Name.size()));
    Put8(out, 0);
    Put8(out, 0);
    Put32(out, static_cast<uint32_t>(f.Data.size()));
    Put32(out, static_cast<uint32_t>(f.Data.size()));
    Put32(out, f.Dos);
    Put8(out, f.Attr);
    Put32(out, Crc32(f.Data));
    out += f.Name + f.Data;
  }
  Put8(out, 0);
  return out;
}

// BH: per file a 37-byte header: "BH" 05 07 headerSize(2)=37+n version(1) method(1)=0 flags(1)
//   reserved(2) dosTime(4) packed(4) size(4) CRC32(4) attr(2) reserved(4) nameLen(2)=n
//   reserved(2), then the name and the data.
inline std::string Bh(const std::vector<TFile>& files) {
  std::string out;
  for (const TFile& f : files) {
    std::string h("BH\x05\x07", 4);
    Put16(h, static_cast<uint32_t>(37 + f.Name.size()));
    Put8(h, 1);
    Put8(h, 0);
    Put8(h, 0);
    Put16(h, 0);
    Put32(h, f.Dos);
    Put32(h, static_cast<uint32_t>(f.Data.size()));
    Put32(h, static_cast<uint32_t>(f.Data.size()));
    Put32(h, Crc32(f.Data));
    Put16(h, f.Attr);
    Put32(h, 0);
    Put16(h, static_cast<uint32_t>(f.Name.size()));
    Put16(h, 0);
    out += h + f.Name + f.Data;
  }
  return out;
}

// ARC: per file 1A method(1)=2 name(13, zero padded) packed(4) date(2) time(2) CRC16(2) size(4),
//   then the data; the end: 1A 00.
inline std::string Arc(const std::vector<TFile>& files) {
  std::string out;
  for (const TFile& f : files) {
    Put8(out, 0x1A);
    Put8(out, 2);
    std::string name = f.Name.substr(0, 12);
    name.resize(13, '\0');
    out += name;
    Put32(out, static_cast<uint32_t>(f.Data.size()));
    Put16(out, f.Dos >> 16);
    Put16(out, f.Dos & 0xFFFF);
    Put16(out, Crc16(f.Data));
    Put32(out, static_cast<uint32_t>(f.Data.size()));
    out += f.Data;
  }
  out += std::string("\x1A\0", 2);
  return out;
}

// CAB, one folder, stored:
//   header  "MSCF" reserved(4) cabSize(4) reserved(4) firstFile(4)=44 reserved(4) version(2)=0103
//           folders(2)=1 files(2) flags(2)=0 setId(2) index(2)=0
//   folder  dataStart(4) blocks(2) compression(2)=0
//   files   size(4) offsetInFolder(4) folder(2)=0 date(2) time(2) attr(2) name, zero
//   data    one block: checksum(4)=0 packed(2) size(2) bytes
// A name outside ASCII is stored as UTF-8 with attribute 80.
inline std::string Cab(const std::vector<TFile>& files) {
  std::string names, all;
  for (const TFile& f : files) {
    Put32(names, static_cast<uint32_t>(f.Data.size()));
    Put32(names, static_cast<uint32_t>(all.size()));
    Put16(names, 0);
    Put16(names, f.Dos >> 16);
    Put16(names, f.Dos & 0xFFFF);
    bool ascii = true;
    for (unsigned char c : f.Name) ascii = ascii && c < 0x80;
    Put16(names, f.Attr | (ascii ? 0 : 0x80));
    std::string n = f.Name;
    for (char& c : n)
      if (c == '/') c = '\\';
    names += n;
    names.push_back('\0');
    all += f.Data;
  }
  const uint32_t dataAt = static_cast<uint32_t>(36 + 8 + names.size());
  std::string out("MSCF", 4);
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(dataAt + 8 + all.size()));
  Put32(out, 0);
  Put32(out, 44);
  Put32(out, 0);
  Put16(out, 0x0103);
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(files.size()));
  Put16(out, 0);
  Put16(out, 0x1234);
  Put16(out, 0);
  Put32(out, dataAt);
  Put16(out, 1);
  Put16(out, 0);
  out += names;
  Put32(out, 0);
  Put16(out, static_cast<uint32_t>(all.size()));
  Put16(out, static_cast<uint32_t>(all.size()));
  return out + all;
}

// An ARJ main header (file type 2) and file headers, as the ARJ program lays them out:
//   60 EA basicSize(2) firstSize(1)=30 version(1) minVersion(1) host(1) flags(1) method(1)
//   fileType(1) reserved(1) dosTime(4) packed(4) size(4) CRC32(4) filespec(2) attr(2)
//   hostData(2), name, zero, comment, zero; CRC32(4) extSize(2)=0; then the data.
inline std::string ArjHeader(uint8_t fileType, uint8_t flags, const TFile& f) {
  std::string h;
  Put8(h, 30);
  Put8(h, 11);
  Put8(h, 1);
  Put8(h, 0);
  Put8(h, flags);
  Put8(h, 0);
  Put8(h, fileType);
  Put8(h, 0);
  Put32(h, f.Dos);
  Put32(h, static_cast<uint32_t>(f.Data.size()));
  Put32(h, static_cast<uint32_t>(f.Data.size()));
  Put32(h, Crc32(f.Data));
  Put16(h, 0);
  Put16(h, f.Attr);
  Put16(h, 0);
  h += f.Name;
  h += std::string(2, '\0');
  std::string out("\x60\xEA", 2);
  Put16(out, static_cast<uint32_t>(h.size()));
  out += h;
  Put32(out, Crc32(h));
  Put16(out, 0);
  return out + (fileType == 2 ? "" : f.Data);
}
inline std::string Arj(const std::vector<TFile>& files, uint8_t mainFlags = 0) {
  std::string out = ArjHeader(2, mainFlags, {"x.arj", ""});
  for (const auto& f : files) out += ArjHeader(0, 0, f);
  return out + std::string("\x60\xEA\0\0", 4);
}

}  // namespace arcfix
