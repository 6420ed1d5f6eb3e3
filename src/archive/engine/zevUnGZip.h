#pragma once
// TUnGZip: extracts the single member of a GZIP file and of a Unix compress (".Z") file;
// a packed TAR is extracted entry by entry as it is unpacked. Portable.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevUnCodec.h"

// The header of a GZIP or compress file as read.
struct TGzHeader {
  uint16_t Signature = 0;
  uint8_t Method = 0, Flags = 0;
  uint32_t MTime = 0;
  std::string Name;  // the stored name's file part; empty when none is stored
  int64_t DataOffset = 0, PackedSize = 0;
  uint32_t Crc = 0, ISize = 0;
  int32_t DosTime = 0;  // set by the reader (the archive's own date without a stored time)
};

constexpr uint16_t kGzSignature = 0x8B1F, kGzOldSignature = 0x9E1F, kCompressSignature = 0x9D1F,
                   kPackSignature = 0x1E1F, kLzhPackSignature = 0xA01F;

// Reads the header at the start of s (size bytes): the extra field, name and comment are
// stepped over within the file, the name kept to its file part and at most 255 bytes; the
// trailer gives the CRC-32 and size. 0, or zevBadFileHeader (not one of the signatures, or
// the header or trailer do not fit in the file).
int ReadGzHeader(TStream32& s, int64_t size, TGzHeader& h);

// The output name of a member named name in the archive archiveName (both as stored bytes):
// ".tgz" becomes ".tar"; another extension equal to the archive's own is dropped; a text
// member gets ".txt".
std::string GzOutputName(const std::string& name, const std::string& archiveName, bool text);

// The name a volume whose file system is FAT16 can hold: every "." of the file part but
// the last becomes "_".
std::string Fat16Name(const std::string& name);

class TUnGZip : public TUnBase {
 public:
  explicit TUnGZip(TComponent* owner) : TUnBase(owner) {}

  // Kept for the settings that name it: a packed TAR is walked as it is unpacked, so there is
  // no intermediate TAR file to delete.
  TDeleteOptions GzTarDeleteOptions = doAllowUndo;
  // Asked when a member's data is a TAR archive: doUnTar extracts the TAR's entries instead.
  std::function<void(TZipCommon* sender, const std::wstring& fileName, bool& doUnTar)> OnNestedTarFile;

 protected:
  void ExtractArchive(TStream32* archive) override;

 private:
  // Extracts the TAR a member holds, unpacking the member once.
  bool ExtractNestedTar(TStream32& archive, const TGzHeader& h, const std::wstring& name);
  TCodecEntry FNested;
};
