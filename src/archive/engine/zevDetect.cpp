#include "archive/engine/zevDetect.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace {
bool Has(const uint8_t* b, const char* s, size_t n) { return std::memcmp(b, s, n) == 0; }

bool EndsWithNoCase(const std::wstring& s, const wchar_t* ext) {
  size_t n = std::wcslen(ext);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    wchar_t c = s[s.size() - n + i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    if (c != ext[i]) return false;
  }
  return true;
}

// Decrypts a header's bytes after its signature when the signature is the "PL" form.
void DecryptHeaderIfNeeded(uint8_t* h, size_t len) {
  if (len > 4 && IsEncryptedSignature(GetLE32(h))) {
    ZipLoadHeaderKeys();
    ZipDecryptBuffer(h + 4, len - 4);
  }
}
}  // namespace

bool ReadAt(TStream32& s, int64_t pos, void* buffer, int32_t n) {
  if (pos < 0 || n < 0) return false;
  if (s.Seek(pos, soFromBeginning) != pos) return false;
  int32_t got = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (got < n) {
    int32_t r = s.Read(p + got, n - got);
    if (r <= 0) return false;
    got += r;
  }
  return true;
}

void ZipLoadHeaderKeys() {
  // Built once from the published initial keys, each the AND of two of them.
  static const uint32_t k0 = 0x12345678u & 0x23456789u, k1 = 0x23456789u & 0x34567890u,
                        k2 = 0x34567890u & 0x12345678u;
  ZipKeys[0] = k0;
  ZipKeys[1] = k1;
  ZipKeys[2] = k2;
}

uint32_t HeaderSignature(int kind, bool encrypted) {
  uint32_t pk = encrypted ? 0x4C50u : 0x4B50u;
  switch (kind) {
    case 0:
      return pk | 0x04030000u;
    case 1:
      return pk | 0x02010000u;
    case 2:
      return 0x06054B50u;
    default:
      return 0x08074B50u;
  }
}
bool IsLocalSignature(uint32_t sig) { return sig == 0x04034B50u || sig == 0x04034C50u; }
bool IsCentralSignature(uint32_t sig) { return sig == 0x02014B50u || sig == 0x02014C50u; }
bool IsEndSignature(uint32_t sig) { return sig == 0x06054B50u || sig == 0x06054C50u; }

TArcType ClassifySignature(bool plain, const uint8_t b[4], int64_t& startOffset) {
  auto pick = [plain](TArcType p, TArcType e) { return plain ? p : e; };
  bool pkpl = b[0] == 'P' && (b[1] == 'K' || b[1] == 'L');
  if (b[0] == 'B' && b[1] == 'H' && b[2] == 5 && b[3] == 7) return pick(atBh, atBhExe);
  if (Has(b, "Rar!", 4)) return pick(atRar, atRarExe);
  if (Has(b, "PKG5", 4)) return atUnknown;
  if (Has(b, "MSCF", 4)) return pick(atCab, atUnsupported);
  if (b[0] == 0xB7 && b[1] == 0xDF && b[2] == 0x54 && b[3] == 0x57) {
    if (!plain) startOffset = 7717;
    return pick(atArc, atArcExe);
  }
  if (b[0] == 0x13 && b[1] == 0x5D && b[2] == 0x65 && b[3] == 0x8C) return pick(atMsGZ, atUnsupported);
  if (b[2] == '-' && b[3] == 'l') return pick(atLha, atLhaExe);
  if (b[0] == 0x1A && (b[1] == 0x02 || b[1] == 0x1E)) return pick(atArc, atUnsupported);
  if (b[0] == 0x1A && (b[1] == 0x08 || b[1] == 0x09)) return pick(atArc, atArcExe);
  if (b[0] == 0x1A && (b[1] == 0x0A || b[1] == 0x0B)) return pick(atPak, atPakExe);
  if ((b[0] == 0x1F && (b[1] == 0x1E || b[1] == 0x8B || b[1] == 0x9D || b[1] == 0x9E || b[1] == 0xA0)) ||
      (b[0] == 0x25 && b[1] == 0x21))
    return pick(atGZip, atUnsupported);
  if (b[0] == 'H' && b[1] == 'A') return pick(atHA, atUnsupported);
  if (pkpl && b[2] == 1 && b[3] == 2) return atZipMV;
  if (pkpl && b[2] == 7 && b[3] == 8) return atZipMV;
  if (Has(b, "PKG4", 4)) return atNA;
  if (pkpl) return pick(atZip, atZipExe);
  if (b[0] == 'Z' && b[1] == 'O') return pick(atZoo, atUnsupported);
  if (b[0] == 0xB7 && (b[1] == 0x92 || b[1] == 0xDF)) {
    startOffset = 7717;
    return atArcExe;
  }
  if (b[0] == 0x60 && b[1] == 0xEA) return pick(atArj, atArjExe);
  return atNA;
}

int64_t ZipEndSearch(TStream32& s, TDetectResult& r) {
  int64_t size = s.GetSize();
  if (size <= 0) return 0;
  int64_t block = size > 32768 ? 32768 : size - 1;
  if (block < 22) block = size;
  if (block < 22) return 0;
  std::vector<uint8_t> buf(static_cast<size_t>(block));
  if (!ReadAt(s, size - block, buf.data(), static_cast<int32_t>(block))) return 0;
  for (int64_t i = block - 22; i >= 0; --i) {
    const uint8_t* p = buf.data() + i;
    if (p[0] != 'P' || (p[1] != 'K' && p[1] != 'L') || p[2] != 5 || p[3] != 6) continue;
    uint8_t end[22];
    std::memcpy(end, p, 22);
    DecryptHeaderIfNeeded(end, 22);
    std::memcpy(r.End, end, 22);
    r.EndPos = size - block + i;
    r.ZipFound |= htEnding;
    uint32_t cdOffset = GetLE32(end + 16), cdSize = GetLE32(end + 12);
    // A stub before an archive that was not told of it shifts every offset by its length.
    int64_t shift = r.EndPos - static_cast<int64_t>(cdOffset) - static_cast<int64_t>(cdSize);
    if (shift < 0) shift = 0;
    uint8_t cen[46];
    if (!ReadAt(s, static_cast<int64_t>(cdOffset) + shift, cen, 46)) return 0;
    if (IsCentralSignature(GetLE32(cen))) {
      DecryptHeaderIfNeeded(cen, 46);
      std::memcpy(r.Central, cen, 46);
      r.ZipFound |= htCentral;
      uint8_t loc[30];
      if (ReadAt(s, static_cast<int64_t>(GetLE32(cen + 42)) + shift, loc, 30) && IsLocalSignature(GetLE32(loc))) {
        DecryptHeaderIfNeeded(loc, 30);
        std::memcpy(r.Local, loc, 30);
        r.ZipFound |= htLocal;
      }
      return static_cast<int64_t>(cdOffset) + shift;
    }
    // No central directory where the end record says: look for a first local header.
    for (int b = 0; b < 4; ++b) {
      std::vector<uint8_t> scan(static_cast<size_t>(block));
      if (s.Seek(b * block, soFromBeginning) != b * block) break;
      int32_t got = s.Read(scan.data(), static_cast<int32_t>(block));
      if (got <= 0) break;
      for (int32_t j = 0; j + 4 <= got; ++j) {
        if (scan[static_cast<size_t>(j)] == 'P' && IsLocalSignature(GetLE32(&scan[static_cast<size_t>(j)]))) {
          r.ZipFound = htLocal;
          return b * block + j;
        }
      }
    }
    return 0;
  }
  return 0;
}

std::wstring ExeStringResource(TStream32& s, unsigned id) {
  int64_t size = s.GetSize();
  uint8_t mz[64];
  if (!ReadAt(s, 0, mz, 64) || mz[0] != 'M' || mz[1] != 'Z') return {};
  uint32_t pe = GetLE32(mz + 0x3C);
  uint8_t hdr[24];
  if (pe > size || !ReadAt(s, pe, hdr, 24) || !Has(hdr, "PE\0\0", 4)) return {};
  uint16_t nSections = GetLE16(hdr + 6), optSize = GetLE16(hdr + 20);
  if (optSize < 2 || optSize > 4096 || nSections > 96) return {};
  std::vector<uint8_t> opt(optSize);
  if (!ReadAt(s, pe + 24, opt.data(), optSize)) return {};
  uint16_t magic = GetLE16(opt.data());
  size_t dirAt = magic == 0x20B ? 112 : 96;
  if (dirAt + 3 * 8 > optSize) return {};
  uint32_t resRva = GetLE32(&opt[dirAt + 16]);
  if (resRva == 0) return {};
  std::vector<uint8_t> sec(static_cast<size_t>(nSections) * 40);
  if (!ReadAt(s, pe + 24 + optSize, sec.data(), static_cast<int32_t>(sec.size()))) return {};
  auto rvaToFile = [&](uint32_t rva, int64_t& off) {
    for (uint16_t i = 0; i < nSections; ++i) {
      const uint8_t* e = &sec[i * 40u];
      uint32_t va = GetLE32(e + 12), vs = std::max(GetLE32(e + 8), GetLE32(e + 16)), raw = GetLE32(e + 20);
      if (rva >= va && rva - va < vs) {
        off = static_cast<int64_t>(raw) + (rva - va);
        return true;
      }
    }
    return false;
  };
  int64_t root;
  if (!rvaToFile(resRva, root)) return {};
  std::set<int64_t> visited;
  // Finds the entry with the given id (or the first when id is 0) in the directory at dir;
  // the target offset relative to the resource root and whether it is a sub-directory.
  auto findEntry = [&](int64_t dir, uint32_t wanted, bool first, uint32_t& target, bool& sub) {
    if (!visited.insert(dir).second) return false;
    uint8_t h[16];
    if (!ReadAt(s, dir, h, 16)) return false;
    unsigned n = static_cast<unsigned>(GetLE16(h + 12)) + GetLE16(h + 14);
    if (n > 4096) return false;
    for (unsigned i = 0; i < n; ++i) {
      uint8_t e[8];
      if (!ReadAt(s, dir + 16 + i * 8, e, 8)) return false;
      uint32_t name = GetLE32(e), data = GetLE32(e + 4);
      if (first || (!(name & 0x80000000u) && name == wanted)) {
        target = data & 0x7FFFFFFFu;
        sub = (data & 0x80000000u) != 0;
        return true;
      }
    }
    return false;
  };
  uint32_t t;
  bool sub;
  // Type 6 (strings), block id / 16 + 1, the first language: three levels at most.
  if (!findEntry(root, 6, false, t, sub) || !sub) return {};
  if (!findEntry(root + t, id / 16 + 1, false, t, sub) || !sub) return {};
  if (!findEntry(root + t, 0, true, t, sub) || sub) return {};
  uint8_t de[8];
  if (!ReadAt(s, root + t, de, 8)) return {};
  int64_t data;
  uint32_t dataSize = GetLE32(de + 4);
  if (!rvaToFile(GetLE32(de), data) || dataSize > 65536) return {};
  std::vector<uint8_t> block(dataSize);
  if (!ReadAt(s, data, block.data(), static_cast<int32_t>(dataSize))) return {};
  size_t at = 0;
  for (unsigned i = 0; i < 16; ++i) {
    if (at + 2 > block.size()) return {};
    uint16_t len = GetLE16(&block[at]);
    at += 2;
    if (at + len * 2u > block.size()) return {};
    if (i == id % 16) {
      std::wstring out;
      for (uint16_t k = 0; k < len; ++k) out += static_cast<wchar_t>(GetLE16(&block[at + k * 2u]));
      return out;
    }
    at += len * 2u;
  }
  return {};
}

void DetectArchive(TStream32& s, const std::wstring& fileName, TDetectResult& r) {
  r = TDetectResult{};
  int64_t size = s.GetSize();
  r.Size = static_cast<uint32_t>(std::min<int64_t>(size, 0xFFFFFFFF));
  if (size < 20) return;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(size, 32767)));
  if (!ReadAt(s, 0, buf.data(), static_cast<int32_t>(buf.size()))) return;
  auto at4 = [&](int64_t pos, uint8_t out[4]) { return ReadAt(s, pos, out, 4); };
  TArcType t = atNA;
  if (buf[0] == 'M' && buf[1] == 'Z') {
    uint8_t b[4];
    if (size > 7718 && ReadAt(s, 7716, b, 2) && b[0] == 0x1A && b[1] == 0x09) {
      r.Type = atArcExe;
      r.StartOffset = 7717;
    } else {
      for (int64_t off : {int64_t(7612), int64_t(25661)}) {
        if (size > off + 4 && at4(off, b) && b[0] == 'P' && b[1] == 'K' && b[2] == 3 && b[3] == 4) {
          ZipEndSearch(s, r);
          r.Type = atZipExe;
          r.StartOffset = off;
          r.ZipFound |= htLocal;
          break;
        }
      }
    }
    if (r.Type != atNA) return;
    // Offsets named by the executable's own string resources.
    for (unsigned id = 1; id <= 4 && t == atNA; ++id) {
      std::wstring v = ExeStringResource(s, id).substr(0, 5);
      if (v.empty() || !IsAllDigits(v)) break;
      int64_t off = std::stoll(v);
      if (off >= size) break;
      int64_t start = off;
      if (!at4(off, b)) break;
      t = ClassifySignature(false, b, start);
      if (t == atUnsupported) t = atNA;
      if (t != atNA) {
        r.StartOffset = start == off ? off : start;
        r.ZipFound |= htLocal;
      }
    }
    // Behind the DOS image.
    if (t == atNA) {
      int64_t end = static_cast<int64_t>(GetLE16(&buf[4])) * 512 + GetLE16(&buf[2]) - 512;
      if (end > 0 && end + 4 < size) {
        uint8_t w[2];
        if (ReadAt(s, end + 2, w, 2) && w[0] == 0x60 && w[1] == 0xEA) end += 2;
        int64_t start = end + 1;
        if (end + 5 < size && at4(end, b) && !(b[0] == 'P' && b[1] == 'K' && b[2] == 3 && b[3] == 4)) {
          t = ClassifySignature(false, b, start);
          if (t == atUnsupported) t = atNA;
          if (t != atNA) r.StartOffset = start;
        }
      }
    }
    // A ZIP found by its end.
    if (t == atNA) {
      std::memset(r.End, 0, sizeof r.End);
      int64_t off = ZipEndSearch(s, r);
      if (off != 0) {
        t = atZipExe;
        r.StartOffset = off;
      }
    }
    // A scan of the body.
    if (t == atNA) {
      int64_t pos = size > 17000 ? 17000 : 0;
      for (int blk = 0; blk < 6 && t == atNA; ++blk) {
        std::vector<uint8_t> body(32768 + 16);
        if (s.Seek(pos, soFromBeginning) != pos) break;
        int32_t got = s.Read(body.data(), static_cast<int32_t>(body.size()));
        if (got <= 0) {
          r.StartOffset = 0;
          break;
        }
        body.resize(static_cast<size_t>(got));
        size_t limit = std::min<size_t>(body.size(), 32768);
        for (size_t i = 0; i < limit && t == atNA; ++i) {
          const uint8_t* p = &body[i];
          size_t left = body.size() - i;
          if (left >= 7 && std::memcmp(p, "**ACE**", 7) == 0 && pos + static_cast<int64_t>(i) >= 7) {
            t = atAceExe;
            r.StartOffset = pos + static_cast<int64_t>(i) - 6;
          } else if (left >= 5 && p[0] == '-' && p[1] == 'l' && p[2] == 'h' && p[4] == '-') {
            t = atLhaExe;
            r.StartOffset = pos + static_cast<int64_t>(i) - 1;
          } else if (left >= 8 && p[0] == 'B' && p[1] == 'H' && p[2] == 5 && p[3] == 7 &&
                     !(p[4] == 0x0F && p[5] == 0x94 && p[6] == 0xC3 && p[7] == 0x84)) {
            t = atBhExe;
            r.StartOffset = pos + static_cast<int64_t>(i) + 1;
          } else if (left >= 8 && p[0] == 'P' && p[1] == 'K' && p[2] == 3 && p[3] == 4 &&
                     !(p[4] == 0x74 && p[5] == 0x0B && p[6] == 0x3D && p[7] == 0)) {
            t = atZipExe;
            int64_t off = ZipEndSearch(s, r);
            r.StartOffset = off ? off : pos + static_cast<int64_t>(i);
          } else if (left >= 4 && std::memcmp(p, "Rar!", 4) == 0) {
            t = atRarExe;
            r.StartOffset = pos + static_cast<int64_t>(i) + 1;
          }
        }
        pos += 32768;
      }
    }
    r.Type = t;
  } else {
    size_t zeros = 0;
    while (zeros < buf.size() && buf[zeros] == 0) ++zeros;
    if (zeros + 4 <= buf.size()) {
      int64_t start = 1;
      t = ClassifySignature(true, &buf[zeros], start);
      r.StartOffset = start;
    }
    if (t == atFileOpenErr || t == atUnknown) {
      r.Type = t;
      return;
    }
    bool ace = buf.size() >= 14 && std::memcmp(&buf[7], "**ACE**", 7) == 0;
    if (t == atJar || t == atZip || t == atZipExe) {
      r.StartOffset = ZipEndSearch(s, r);
      if (!(r.ZipFound & htLocal) && r.StartOffset == 0) {
        r.StartOffset = static_cast<int64_t>(zeros);
        r.ZipFound |= htLocal;
      }
    } else if (t == atZipMV) {
      r.StartOffset = ZipEndSearch(s, r);
    } else if (ace) {
      t = atAce;
    }
    if (t == atNA) {
      bool uue = false;
      size_t lim = std::min<size_t>(buf.size(), 5000);
      for (size_t i = 0; i + 7 <= lim && !uue; ++i)
        if ((i == 0 || buf[i - 1] == '\n') &&
            (std::memcmp(&buf[i], "begin 6", 7) == 0 || std::memcmp(&buf[i], "begin 7", 7) == 0))
          uue = true;
      if (uue) {
        t = atUUE;
        r.StartOffset = 1;
      } else if (size > 512) {
        uint8_t h[512];
        int64_t at = 0;
        if (buf.size() >= 512 && buf[156] == 'V' && size >= 1024) at = 512;
        if (ReadAt(s, at, h, 512) && TZipCommon::TarHeaderChecksum(h)) {
          t = atTar;
          r.StartOffset = at + 1;
        } else {
          r.StartOffset = 1;
        }
      }
      if (t == atNA) {
        ZipEndSearch(s, r);
        if (r.ZipFound & htEnding) t = GetLE16(r.End + 4) != 0 ? atZipMV : atZip;
      }
    }
    r.Type = t;
  }
  if (r.Type == atZip && EndsWithNoCase(fileName, L".jar")) r.Type = atJar;
}
