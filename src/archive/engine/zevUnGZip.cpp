#include "archive/engine/zevUnGZip.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <vector>

#include <zlib.h>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevDelzw.h"
#include "archive/engine/zevGbls.h"
#include "archive/engine/zevLzw.h"
#include "archive/engine/zevUnCodec.h"
#include "archive/engine/zevUnTar.h"

namespace {
constexpr uint8_t kText = 0x01, kMultiPart = 0x02, kExtra = 0x04, kName = 0x08, kComment = 0x10, kEncrypted = 0x20;
constexpr size_t kMaxName = 255;

// Counts what passes to the real sink, for the trailer's size.
class TCountingSink : public TCodecSink {
 public:
  explicit TCountingSink(TCodecSink& to) : FTo(to) {}
  bool Put(const uint8_t* data, size_t count) override {
    Count += count;
    return FTo.Put(data, count);
  }
  uint64_t Count = 0;

 private:
  TCodecSink& FTo;
};

// Stops after the first bytes: the probe for a TAR header.
class TPrefixSink : public TCodecSink {
 public:
  bool Put(const uint8_t* data, size_t count) override {
    size_t n = std::min(count, sizeof(Block) - Got);
    std::copy(data, data + n, Block + Got);
    Got += n;
    return Got < sizeof(Block);
  }
  uint8_t Block[512] = {};
  size_t Got = 0;
};

// The unpacked bytes of a member as a stream read from front to back, for the TAR walk: a
// forward seek unpacks and drops what it passes, a backward one is refused and ends the
// stream. The CRC-32 and length of everything unpacked are kept, so that the member is
// checked in the same pass; a damaged or short member ends the stream where it fails (Error
// tells why).
class TUnpackedStream : public TStream32 {
 public:
  // Called with the packed bytes consumed so far, after every read.
  std::function<void(int64_t)> OnInput;
  int32_t Read(void* buffer, int32_t count) override {
    int32_t n = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (n < count && !FError && !FEnded) {
      int32_t got = Produce(p + n, count - n);
      if (got <= 0) FEnded = true;
      else n += got;
    }
    FCrc = UpdateCrc32(FCrc, p, static_cast<size_t>(n));
    FPos += n;
    if (OnInput) OnInput(Consumed());
    return n;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override {
    int64_t target = origin == soFromBeginning ? offset : FPos + offset;
    if (origin == soFromEnd || target < FPos) {
      if (!FError) FError = zevReadError;
      return FPos;
    }
    uint8_t skip[16384];
    while (FPos < target) {
      int32_t n = Read(skip, static_cast<int32_t>(std::min<int64_t>(target - FPos, sizeof skip)));
      if (n <= 0) break;
    }
    return FPos;
  }
  // Unpacks the rest; the member's error, 0 when it ended whole.
  int Finish() {
    uint8_t skip[65536];
    while (Read(skip, sizeof skip) > 0) {
    }
    return FError;
  }
  int Error() const { return FError; }
  uint32_t Crc() const { return FCrc ^ 0xFFFFFFFFu; }
  int64_t Length() const { return FPos; }

 protected:
  // Up to count more bytes; 0 at the end of the data (with FError set when it is damaged).
  virtual int32_t Produce(uint8_t* buffer, int32_t count) = 0;
  virtual int64_t Consumed() const = 0;
  int FError = 0;

 private:
  uint32_t FCrc = 0xFFFFFFFFu;
  int64_t FPos = 0;
  bool FEnded = false;
};

// A raw DEFLATE member.
class TInflatedStream : public TUnpackedStream {
 public:
  TInflatedStream(TStream32& source, int64_t offset, int64_t packed)
      : FSource(source), FIn(1 << 18), FPacked(packed), FLeft(packed) {
    FSource.Seek(offset, soFromBeginning);
    if (inflateInit2(&FZ, -15) != Z_OK) FError = zevOutOfMemory;
  }
  ~TInflatedStream() override { inflateEnd(&FZ); }
  TInflatedStream(const TInflatedStream&) = delete;
  TInflatedStream& operator=(const TInflatedStream&) = delete;
  const char* ClassName() const override { return "TInflatedStream"; }

 protected:
  int32_t Produce(uint8_t* buffer, int32_t count) override {
    if (FError || FDone) return 0;
    FZ.next_out = buffer;
    FZ.avail_out = static_cast<uInt>(count);
    while (FZ.avail_out == static_cast<uInt>(count) && !FError && !FDone) {
      if (FZ.avail_in == 0 && FLeft > 0) {
        int32_t want = static_cast<int32_t>(std::min<int64_t>(FLeft, static_cast<int64_t>(FIn.size())));
        int32_t got = FSource.Read(FIn.data(), want);
        if (got <= 0) {
          FLeft = 0;
        } else {
          FLeft -= got;
          FZ.next_in = FIn.data();
          FZ.avail_in = static_cast<uInt>(got);
        }
      }
      uInt before = FZ.avail_out;
      int r = inflate(&FZ, Z_NO_FLUSH);
      if (r == Z_STREAM_END) {
        FDone = true;
      } else if (r == Z_MEM_ERROR) {
        FError = zevOutOfMemory;
      } else if (r != Z_OK && r != Z_BUF_ERROR) {
        FError = zevCorruptInput;
      } else if (FZ.avail_out == before && FZ.avail_in == 0 && FLeft == 0) {
        FError = zevReadError;  // the member ends before its data do
      }
    }
    return count - static_cast<int32_t>(FZ.avail_out);
  }
  int64_t Consumed() const override { return FPacked - FLeft - FZ.avail_in; }

 private:
  TStream32& FSource;
  std::vector<uint8_t> FIn;
  z_stream FZ{};
  int64_t FPacked, FLeft;
  bool FDone = false;
};

// A Unix compress (".Z") file, header included.
class TUncompressedStream : public TUnpackedStream {
 public:
  TUncompressedStream(TStream32& source, int64_t packed) : FIn(source, packed) {
    source.Seek(0, soFromBeginning);
    int maxBits = 0;
    bool blockMode = false;
    FError = ReadCompressHeader(FIn, maxBits, blockMode);
    if (!FError) FDecoder = std::make_unique<TLzwGroupDecoder>(FIn, FBlock, maxBits, blockMode);
  }
  const char* ClassName() const override { return "TUncompressedStream"; }

 protected:
  int32_t Produce(uint8_t* buffer, int32_t count) override {
    while (FTaken == FBlock.Data.size()) {
      if (FError || !FDecoder || FDecoder->Done()) return 0;
      FBlock.Data.clear();
      FTaken = 0;
      FError = FDecoder->Decode(true);
    }
    size_t n = std::min(FBlock.Data.size() - FTaken, static_cast<size_t>(count));
    std::copy_n(FBlock.Data.data() + FTaken, n, buffer);
    FTaken += n;
    return static_cast<int32_t>(n);
  }
  int64_t Consumed() const override { return FIn.Consumed(); }

 private:
  TCodecInput FIn;
  TVectorSink FBlock;
  size_t FTaken = 0;
  std::unique_ptr<TLzwGroupDecoder> FDecoder;
};

// Inflates a member and checks its length against the trailer (the CRC is the caller's).
int InflateMember(TCodecInput& in, TCodecSink& out, uint32_t isize) {
  TCountingSink counted(out);
  int r = InflateDecode(in, counted);
  if (r == 0 && static_cast<uint32_t>(counted.Count) != isize) r = zevCrcError;
  return r;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The extension with its dot ("" when none) of the file part of a name.
std::string Extension(const std::string& name) {
  size_t dot = name.rfind('.');
  size_t sep = name.find_last_of("\\/");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return "";
  return name.substr(dot);
}

std::string FilePart(const std::string& name) {
  size_t sep = name.find_last_of("\\/");
  return sep == std::string::npos ? name : name.substr(sep + 1);
}
}  // namespace

int ReadGzHeader(TStream32& s, int64_t size, TGzHeader& h) {
  h = TGzHeader();
  uint8_t b[10];
  s.Seek(0, soFromBeginning);
  if (size < 3 || s.Read(b, 2) != 2) return zevBadFileHeader;
  h.Signature = static_cast<uint16_t>(b[0] | (b[1] << 8));
  if (h.Signature == kCompressSignature || h.Signature == kPackSignature || h.Signature == kLzhPackSignature) {
    h.DataOffset = 0;
    h.PackedSize = size;
    return 0;
  }
  if (h.Signature != kGzSignature && h.Signature != kGzOldSignature) return zevBadFileHeader;
  if (size < 18 || s.Read(b + 2, 8) != 8) return zevBadFileHeader;
  h.Method = b[2];
  h.Flags = b[3];
  h.MTime = static_cast<uint32_t>(b[4] | (b[5] << 8) | (b[6] << 16)) | (static_cast<uint32_t>(b[7]) << 24);
  int64_t pos = 10;
  const int64_t end = size - 8;  // the trailer
  auto readByte = [&](uint8_t& c) {
    if (pos >= end || s.Read(&c, 1) != 1) return false;
    ++pos;
    return true;
  };
  if (h.Flags & kExtra) {
    uint8_t x[2];
    if (!readByte(x[0]) || !readByte(x[1])) return zevBadFileHeader;
    pos += x[0] | (x[1] << 8);
    if (pos > end) return zevBadFileHeader;
    s.Seek(pos, soFromBeginning);
  }
  // A zero-terminated text; the name keeps at most kMaxName bytes of it.
  auto readText = [&](std::string* into) {
    uint8_t c;
    for (;;) {
      if (!readByte(c)) return false;
      if (c == 0) return true;
      if (into && into->size() < kMaxName) into->push_back(static_cast<char>(c));
    }
  };
  std::string name;
  if ((h.Flags & kName) && !readText(&name)) return zevBadFileHeader;
  if ((h.Flags & kComment) && !readText(nullptr)) return zevBadFileHeader;
  h.Name = FilePart(name);
  h.DataOffset = pos;
  h.PackedSize = end - pos;
  uint8_t t[8];
  s.Seek(end, soFromBeginning);
  if (s.Read(t, 8) != 8) return zevBadFileHeader;
  h.Crc = static_cast<uint32_t>(t[0] | (t[1] << 8) | (t[2] << 16)) | (static_cast<uint32_t>(t[3]) << 24);
  h.ISize = static_cast<uint32_t>(t[4] | (t[5] << 8) | (t[6] << 16)) | (static_cast<uint32_t>(t[7]) << 24);
  return 0;
}

std::string Fat16Name(const std::string& name) {
  // Such a volume keeps one "." in a name: the others become "_".
  size_t sep = name.find_last_of("\\/");
  size_t start = sep == std::string::npos ? 0 : sep + 1;
  size_t dot = name.rfind('.');
  std::string out = name;
  if (dot == std::string::npos || dot < start) return out;
  for (size_t i = start; i < dot; ++i)
    if (out[i] == '.') out[i] = '_';
  return out;
}

std::string GzOutputName(const std::string& name, const std::string& archiveName, bool text) {
  std::string ext = Lower(Extension(name));
  if (ext == ".tgz") return name.substr(0, name.size() - ext.size()) + ".tar";
  if (ext == ".tar") return name;
  std::string out = name;
  if (!ext.empty() && ext == Lower(Extension(archiveName))) out = name.substr(0, name.size() - ext.size());
  if (text) out += ".txt";
  return out;
}

void TUnGZip::ExtractArchive(TStream32* archive) {
  if (!archive) return;
  int64_t size = archive->Seek(0, soFromEnd);
  TGzHeader h;
  if (int rc = ReadGzHeader(*archive, size, h)) {
    DoError(ArchiveFile(), L"", L"0", rc);
    return;
  }
  std::string archiveName = FilePart(StoredFormName(ArchiveFile(), TranslateOemChar));
  bool gz = h.Signature == kGzSignature || h.Signature == kGzOldSignature;
  std::string stored = h.Name;
  if (stored.empty()) {
    stored = archiveName;
    if (gz) stored = stored.substr(0, stored.size() - Extension(stored).size());
  }
  std::string outName = GzOutputName(stored, archiveName, gz && (h.Flags & kText));
  if (IsWriteMode() && !ExtractDir().empty() && DiskManager.CheckDrive(ExtractDir()) &&
      DiskManager.FileSystem == L"FAT16")
    outName = Fat16Name(outName);
  int32_t date = gz && h.MTime ? UnixToDosDateTime(h.MTime) : FileSys->GetDate(ArchiveFile(), 0);
  h.DosTime = date;
  auto list = ListCodecEntries<TGzHeader>(
      *this, *archive, ArchiveFile(),
      [&](TStream32&, int64_t, const std::function<bool(const TGzHeader&)>& each) {
        each(h);
        return 0;
      },
      [&](const TGzHeader&) { return outName; }, [](const TGzHeader&) { return true; });
  if (list.empty() || GetCancel()) return;
  if (gz && (h.Flags & kMultiPart)) {
    DoError(ArchiveFile(), L"", L"0", zevMultiPartGzip);
    return;
  }
  if (gz && (h.Flags & kEncrypted)) {
    DoError(ArchiveFile(), L"", L"0", zevPasswordProtected);
    return;
  }
  if (h.Signature == kPackSignature || h.Signature == kLzhPackSignature) {
    DoError(ArchiveFile(), L"", L"0", zevUnsupportedMethod);
    return;
  }
  TCodecEntry e;
  e.StoredName = outName;
  e.DosTime = date;
  e.DataOffset = h.DataOffset;
  e.PackedSize = h.PackedSize;
  e.OrigSize = gz ? h.ISize : h.PackedSize;
  e.CrcWidth = 32;
  if (gz) {
    e.Supported = h.Method == 8;
    e.Crc = h.Crc;
    uint32_t isize = h.ISize;
    e.Decode = [isize](TCodecInput& in, TCodecSink& out) { return InflateMember(in, out, isize); };
  } else {
    e.HasCrc = false;
    e.Decode = [](TCodecInput& in, TCodecSink& out) { return UnCompressZ(in, out); };
  }
  if (e.Supported && IsWriteMode() && OnNestedTarFile) {
    // A TAR inside is found by its first header.
    TPrefixSink probe;
    archive->Seek(e.DataOffset, soFromBeginning);
    TCodecInput in(*archive, e.PackedSize);
    e.Decode(in, probe);
    if (probe.Got == sizeof(probe.Block) && TarHeaderChecksum(probe.Block)) {
      bool doUnTar = false;
      std::wstring name = FixStoredName(outName, TranslateOemChar);
      OnNestedTarFile(this, name, doUnTar);
      if (doUnTar) {
        FNested = e;
        ExtractNestedTar(*archive, h, name);
        return;
      }
    }
  }
  ExtractCodecEntry(*this, *archive, e, false, true);
}

bool TUnGZip::ExtractNestedTar(TStream32& archive, const TGzHeader& h, const std::wstring& name) {
  // The member is unpacked once, straight into the TAR walk: no copy of the TAR is made. It is
  // only known to be sound at its end, so the entries' ends wait for that (and a file they
  // replace stays until then); a damaged member takes back every file it gave.
  const bool gz = h.Signature == kGzSignature || h.Signature == kGzOldSignature;
  std::unique_ptr<TUnpackedStream> tar;
  if (gz)
    tar = std::make_unique<TInflatedStream>(archive, FNested.DataOffset, FNested.PackedSize);
  else
    tar = std::make_unique<TUncompressedStream>(archive, FNested.PackedSize);
  // Progress over the archive goes by the packed bytes consumed.
  BytesTotal = static_cast<double>(FNested.PackedSize);
  BytesLeft = BytesTotal;
  tar->OnInput = [this](int64_t consumed) { BytesLeft = BytesTotal - static_cast<double>(consumed); };
  TDeferredEntries deferred;
  // The TAR's length is known only at its end: the walk ends at its closing blocks or where
  // the data end.
  constexpr int64_t kUnbounded = INT64_MAX / 4;
  int rc = WalkTarHeaders(*tar, kUnbounded, [&](const TTarHeader& t) {
    if (GetCancel()) return false;
    if (!MatchesSpec(FixStoredName(t.Name, TranslateOemChar))) return true;
    NoteDate(t.DosTime);
    ExtractCodecEntry(*this, *tar, TarCodecEntry(t), false, true, &deferred);
    return !GetCancel() && !tar->Error();
  });
  // The rest of the member (the closing blocks, or all of it after a cancel) is unpacked for
  // the check of the whole.
  int member = tar->Finish();
  if (member == 0 && gz && (tar->Crc() != FNested.Crc || static_cast<uint32_t>(tar->Length()) != h.ISize))
    member = zevCrcError;
  if (member != 0)
    DoError(ArchiveFile(), L"", L"0", member);
  else if (rc != 0)
    DoError(ArchiveFile(), L"", L"0", rc);  // damage in the TAR itself: what came before it is sound
  SettleDeferredEntries(*this, deferred, member);
  // The run goes on in the TAR the member holds; it has no file of its own, so the name is
  // the one it has inside the GZIP file.
  if (Count > 0 && OnChangeArchive) OnChangeArchive(this, name, atTar);
  return member == 0 && Count > 0;
}
