#include "archive/engine/zevLzh3.h"

#include <algorithm>
#include <memory>

#include "archive/engine/zevGbls.h"

bool THuffDecoder::Build(const uint8_t* lengths, int n) {
  FFixed = -1;
  uint16_t count[kMaxLen + 1] = {};
  for (int i = 0; i < n; ++i) {
    if (lengths[i] > kMaxLen) return false;
    ++count[lengths[i]];
  }
  uint32_t kraft = 0;
  for (int l = 1; l <= kMaxLen; ++l) kraft += static_cast<uint32_t>(count[l]) << (kMaxLen - l);
  if (kraft != (1u << kMaxLen)) return false;
  uint32_t code = 0;
  uint16_t offset = 0;
  for (int l = 1; l <= kMaxLen; ++l) {
    FFirst[l] = code;
    FOffset[l] = offset;
    FLimit[l] = (code + count[l]) << (kMaxLen - l);
    offset = static_cast<uint16_t>(offset + count[l]);
    code = (code + count[l]) << 1;
  }
  FSorted.assign(offset, 0);
  std::fill(FTable.begin(), FTable.end(), 0);
  uint16_t next[kMaxLen + 1];
  std::copy(FOffset, FOffset + kMaxLen + 1, next);
  for (int s = 0; s < n; ++s) {
    int l = lengths[s];
    if (l == 0) continue;
    uint16_t idx = next[l]++;
    FSorted[idx] = static_cast<uint16_t>(s);
    if (l <= FTableBits) {
      uint32_t c = FFirst[l] + (idx - FOffset[l]);
      uint32_t from = c << (FTableBits - l), to = (c + 1) << (FTableBits - l);
      uint16_t e = static_cast<uint16_t>((s << 5) | l);
      for (uint32_t k = from; k < to; ++k) FTable[k] = e;
    }
  }
  return true;
}

int THuffDecoder::DecodeLong(TBitReaderMsb& br, uint32_t v) {
  for (int l = FTableBits + 1; l <= kMaxLen; ++l) {
    if (v < FLimit[l]) {
      br.Skip(l);
      return FSorted[FOffset[l] + ((v >> (kMaxLen - l)) - FFirst[l])];
    }
  }
  return 0;  // unreachable for a complete code
}

namespace {
constexpr int NC = 510;  // 256 literals and the lengths 3 to 256
constexpr int NT = 19;   // the code-length alphabet
constexpr int TBIT = 5;
constexpr int CBIT = 9;
constexpr int NPMAX = 18;

class TLzhBlockDecoder {
 public:
  TLzhBlockDecoder(TCodecInput& in, int np, int pbit) : FBr(in), FNP(np), FPBit(pbit) {}

  // The code lengths of nn symbols as the count-and-lengths form; 0 or an error.
  int ReadPtLen(THuffDecoder& dst, int nn, int nbit, int special) {
    int n = static_cast<int>(FBr.Get(nbit));
    if (n == 0) {
      int c = static_cast<int>(FBr.Get(nbit));
      if (c >= nn) return zevBadHuffmanCode;
      dst.SetFixed(c);
      return 0;
    }
    if (n > nn) return zevBadHuffmanCode;
    int i = 0;
    while (i < n) {
      int c = static_cast<int>(FBr.Get(3));
      if (c == 7) {
        while (FBr.Get(1)) {
          if (++c > THuffDecoder::kMaxLen || FBr.Overrun()) return zevBadHuffmanCode;
        }
      }
      FPtLen[i++] = static_cast<uint8_t>(c);
      if (i == special) {
        int z = static_cast<int>(FBr.Get(2));
        while (z-- > 0 && i < nn) FPtLen[i++] = 0;
      }
    }
    while (i < nn) FPtLen[i++] = 0;
    if (!dst.Build(FPtLen, nn)) return zevBadHuffmanCode;
    return 0;
  }

  int ReadCLen() {
    int n = static_cast<int>(FBr.Get(CBIT));
    if (n == 0) {
      int c = static_cast<int>(FBr.Get(CBIT));
      if (c >= NC) return zevBadHuffmanCode;
      FC.SetFixed(c);
      return 0;
    }
    if (n > NC) return zevBadHuffmanCode;
    int i = 0;
    while (i < n) {
      int c = FPt.Decode(FBr);
      if (c <= 2) {
        int run = c == 0 ? 1 : c == 1 ? static_cast<int>(FBr.Get(4)) + 3 : static_cast<int>(FBr.Get(CBIT)) + 20;
        if (run > n - i) return zevBadHuffmanCode;
        while (run-- > 0) FCLen[i++] = 0;
      } else {
        FCLen[i++] = static_cast<uint8_t>(c - 2);
      }
      if (FBr.Overrun()) return zevReadError;
    }
    while (i < NC) FCLen[i++] = 0;
    if (!FC.Build(FCLen, NC)) return zevBadHuffmanCode;
    return 0;
  }

  int ReadBlockHeader() {
    FBlockLeft = FBr.Get(16);
    if (FBr.Overrun()) return zevReadError;
    if (FBlockLeft == 0) return zevBadHuffmanCode;
    int r = ReadPtLen(FPt, NT, TBIT, 3);
    if (!r) r = ReadCLen();
    if (!r) r = ReadPtLen(FPos, FNP, FPBit, -1);
    if (!r && FBr.Overrun()) r = zevReadError;
    return r;
  }

  int Run(TLzWindow& win, int64_t size, int64_t maxDist) {
    int64_t done = 0;
    while (done < size) {
      if (FBlockLeft == 0) {
        int r = ReadBlockHeader();
        if (r) return r;
      }
      --FBlockLeft;
      int c = FC.Decode(FBr);
      if (FBr.Overrun()) return zevReadError;  // never write what the missing bits would say
      if (c < 256) {
        if (!win.Literal(static_cast<uint8_t>(c))) return zevUserCanceled;
        ++done;
        continue;
      }
      int64_t len = c - 253;
      int p = FPos.Decode(FBr);
      int64_t dist = p == 0 ? 1 : (int64_t{1} << (p - 1)) + FBr.Get(p - 1) + 1;
      if (FBr.Overrun()) return zevReadError;
      if (dist > maxDist || dist > win.Available() || len > size - done) return zevCorruptInput;
      if (!win.Copy(static_cast<size_t>(dist), static_cast<size_t>(len))) return zevUserCanceled;
      done += len;
    }
    if (FBr.Overrun()) return zevReadError;
    return 0;
  }

 private:
  TBitReaderMsb FBr;
  int FNP, FPBit;
  uint32_t FBlockLeft = 0;
  uint8_t FPtLen[NPMAX + NT] = {};
  uint8_t FCLen[NC] = {};
  THuffDecoder FPt{8}, FPos{8}, FC{12};
};
}  // namespace

int LzhDecode(TCodecInput& in, TCodecSink& out, int64_t size, int dictBits, int posBits) {
  if (dictBits < 10 || dictBits > 16 || posBits < 4 || posBits > 5 || size < 0) return zevUnsupportedMethod;
  TLzWindow win(out);
  if (size == 0) return 0;
  // -lh4- shares the position alphabet of -lh5-: its count field may name 14 codes.
  auto dec = std::make_unique<TLzhBlockDecoder>(in, std::max(dictBits + 1, 14), posBits);
  int r = dec->Run(win, size, int64_t{1} << dictBits);
  if (!win.Flush() && r == 0) r = zevUserCanceled;
  return r;
}
