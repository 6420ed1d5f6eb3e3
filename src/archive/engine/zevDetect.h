#pragma once
// The engine's own archive type detection: signatures at the start of a plain file, inside a
// self-extracting executable (its string resources, behind its DOS image, a scan of its
// body), and the ZIP end-record search. Pure over a stream: only bytes really read are used;
// a short file or a damaged offset means "no hit".
#include <cstdint>
#include <string>

#include "archive/engine/zevBase.h"

struct TDetectResult {
  TArcType Type = atNA;
  int64_t StartOffset = 1;  // 1-based; 0 when a body scan found nothing to start at
  uint32_t Size = 0;
  uint8_t ZipFound = 0;  // htLocal, htCentral, htEnding
  uint8_t Local[30]{}, Central[46]{}, End[22]{};
  int64_t EndPos = 0;
  int32_t Date = 0;
};

// The type for the first 4 bytes of an archive; plain: the start of a file, else a place
// inside an executable. startOffset is set where the table names one.
TArcType ClassifySignature(bool plain, const uint8_t b[4], int64_t& startOffset);
// The ZIP directory search; the central-directory offset found (or the first local header's
// offset when only that was found), 0 when there is no end record.
int64_t ZipEndSearch(TStream32& s, TDetectResult& r);
void DetectArchive(TStream32& s, const std::wstring& fileName, TDetectResult& r);
// String resource id of a Windows executable held in s ("" when there is none). The walk of
// the resource tree is bounded and never revisits a node.
std::wstring ExeStringResource(TStream32& s, unsigned id);

// The header keys of encrypted ZIP headers ("PL" signatures).
void ZipLoadHeaderKeys();
// Signatures: kind 0 local header, 1 central header, 2 end record, 3 data descriptor.
uint32_t HeaderSignature(int kind, bool encrypted);
bool IsLocalSignature(uint32_t sig);
bool IsCentralSignature(uint32_t sig);
bool IsEndSignature(uint32_t sig);
inline bool IsEncryptedSignature(uint32_t sig) { return (sig & 0xFFFF) == 0x4C50; }
constexpr int DeflateWindowBits = -15;

inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetLE32(const uint8_t* p) { return GetLE16(p) | static_cast<uint32_t>(GetLE16(p + 2)) << 16; }
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  PutLE16(p, static_cast<uint16_t>(v));
  PutLE16(p + 2, static_cast<uint16_t>(v >> 16));
}
// Reads exactly n bytes at pos; false (and nothing used) otherwise.
bool ReadAt(TStream32& s, int64_t pos, void* buffer, int32_t n);
