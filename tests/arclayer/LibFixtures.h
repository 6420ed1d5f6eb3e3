#pragma once
// Whole RAR and ACE archives with stored entries, for the library drivers' tests: single
// archives and volume sets, with encrypted and solid entries. Each is checked once against the
// system's own readers (ArcRefTools_test.cpp). Recipes beside each writer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "arclayer/ArcFixtures.h"

namespace arcfix {

struct TLibFile {
  std::string Name;  // as stored ("\" separated for RAR and ACE)
  std::string Data;
  uint32_t Dos = 0x5B214C00;  // 2025-09-01 09:32:00
  uint32_t Attr = 0x20;
  bool Encrypted = false;
};

struct TLibSet {
  bool Solid = false;
  size_t VolumeData = 0;   // data bytes per volume; 0: one archive
  bool NewNaming = true;   // RAR volumes "x.part1.rar" rather than "x.rar", "x.r00"
};

// The name of volume i (from 0) of a set whose first volume is first.
inline std::string LibVolumeName(const std::string& first, size_t i, bool newNamingRar) {
  if (i == 0) return first;
  const size_t dot = first.rfind('.');
  const std::string stem = first.substr(0, dot), ext = first.substr(dot + 1);
  char num[16];
  if (ext == "rar" && newNamingRar) {
    // The first volume is named "x.part1.rar".
    const std::string base = stem.substr(0, stem.rfind(".part"));
    std::snprintf(num, sizeof num, "%zu", i + 1);
    return base + ".part" + num + ".rar";
  }
  std::snprintf(num, sizeof num, "%02zu", i - 1);
  return stem + "." + (ext == "ace" ? 'c' : ext[0]) + num;  // .r00, .c00
}

// Cuts every file's data into the pieces that fill volumes of set.VolumeData bytes each: one
// list of (file index, piece) per volume.
struct TPiece {
  size_t File;
  std::string Data;
  bool First, Last;
};
inline std::vector<std::vector<TPiece>> LibVolumes(const std::vector<TLibFile>& files, const TLibSet& set) {
  std::vector<std::vector<TPiece>> vols(1);
  size_t room = set.VolumeData;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& d = files[i].Data;
    size_t at = 0;
    do {
      if (set.VolumeData && room == 0) {
        vols.emplace_back();
        room = set.VolumeData;
      }
      const size_t n = set.VolumeData ? std::min(room, d.size() - at) : d.size();
      vols.back().push_back({i, d.substr(at, n), at == 0, at + n == d.size()});
      at += n;
      if (set.VolumeData) room -= n;
    } while (at < d.size());
  }
  return vols;
}

// RAR 2.9 volumes, stored entries:
//   marker      "Rar!" 1A 07 00
//   main        CRC16(2) 73 flags(2: 0001 volume | 0008 solid | 0010 new naming | 0100 first)
//               size=13(2) reserved(6)
//   file        CRC16(2) 74 flags(2: 8000 | 01 continued | 02 continues | 04 encrypted |
//               10 solid | E0 folder) size(2) packed(4) size(4) host(1)=2 CRC32(4) dosTime(4)
//               version(1)=29 method(1)=30 nameSize(2) attributes(4) name, then the piece
//               (CRC32: of the piece, the whole file's on its last piece)
//   end         CRC16(2) 7B flags(2: 4000 | 0001 when a volume follows) size=7(2)
inline std::vector<std::string> RarSet(const std::vector<TLibFile>& files, const TLibSet& set = {}) {
  const auto vols = LibVolumes(files, set);
  const bool multi = set.VolumeData != 0;
  std::vector<std::string> out;
  for (size_t v = 0; v < vols.size(); ++v) {
    std::string a("Rar!\x1A\x07\x00", 7);
    std::string m;
    Put16(m, 0);
    Put8(m, 0x73);
    Put16(m, (multi ? 0x0001 : 0) | (set.Solid ? 0x0008 : 0) | (multi && set.NewNaming ? 0x0010 : 0) |
                 (multi && v == 0 ? 0x0100 : 0));
    Put16(m, 13);
    Put16(m, 0);
    Put32(m, 0);
    a += RarHeader(m);
    for (const TPiece& p : vols[v]) {
      const TLibFile& f = files[p.File];
      const bool folder = (f.Attr & 0x10) != 0;
      uint32_t flags = 0x8000 | (p.First ? 0 : 0x01) | (p.Last ? 0 : 0x02) | (f.Encrypted ? 0x04 : 0) |
                       (set.Solid && p.File > 0 ? 0x10 : 0) | (folder ? 0xE0 : 0);
      std::string h;
      Put16(h, 0);
      Put8(h, 0x74);
      Put16(h, flags);
      Put16(h, static_cast<uint32_t>(32 + f.Name.size()));
      Put32(h, static_cast<uint32_t>(p.Data.size()));
      Put32(h, static_cast<uint32_t>(f.Data.size()));
      Put8(h, 2);
      Put32(h, p.Last ? Crc32(f.Data) : Crc32(p.Data));
      Put32(h, f.Dos);
      Put8(h, 29);
      Put8(h, 0x30);
      Put16(h, static_cast<uint32_t>(f.Name.size()));
      Put32(h, f.Attr);
      h += f.Name;
      a += RarHeader(h) + p.Data;
    }
    std::string e;
    Put16(e, 0);
    Put8(e, 0x7B);
    Put16(e, 0x4000 | (v + 1 < vols.size() ? 0x0001 : 0));
    Put16(e, 7);
    a += RarHeader(e);
    out.push_back(a);
  }
  return out;
}

// ACE volumes, stored entries (the layout of ArcFixtures.h's Ace):
//   main   CRC16(2) size(2) type=0 flags(2: 0800 volumes | 8000 solid) "**ACE**" versions(2)=20
//          host(1)=2 volume(1) created(4) reserved(8) avSize(1)=0
//   file   CRC16(2) size(2) type=1 flags(2: 0001 | 1000 continued | 2000 continues |
//          4000 password | 8000 solid) packed(4) size(4) dosTime(4) attributes(4) CRC32(4: the
//          whole file's) technical(4)=0 reserved(2) nameSize(2) name, then the piece
// Volumes are named x.ace, x.c00, x.c01, ...
inline std::vector<std::string> AceSet(const std::vector<TLibFile>& files, const TLibSet& set = {}) {
  const auto vols = LibVolumes(files, set);
  const bool multi = set.VolumeData != 0;
  std::vector<std::string> out;
  for (size_t v = 0; v < vols.size(); ++v) {
    std::string a = AceMainHeader((multi ? 0x0800 : 0) | (set.Solid ? 0x8000 : 0), 20, 2, static_cast<uint8_t>(v));
    for (const TPiece& p : vols[v]) {
      const TLibFile& f = files[p.File];
      a += AceFileHeader(0x0001 | (p.First ? 0 : 0x1000) | (p.Last ? 0 : 0x2000) | (f.Encrypted ? 0x4000 : 0) |
                             (set.Solid && p.File > 0 ? 0x8000 : 0),
                         static_cast<uint32_t>(p.Data.size()), static_cast<uint32_t>(f.Data.size()), f.Dos, f.Attr,
                         Crc32(f.Data), f.Name) +
           p.Data;
    }
    out.push_back(a);
  }
  return out;
}

}  // namespace arcfix
