#pragma once
// The ZIP and JAR reader: the central directory (or, when that is missing or damaged, the
// local headers), the methods stored, Shrink, Reduce, Implode and Deflate, traditional
// encryption, header encryption, self-extracting archives and split sets whose volumes are
// named NAME.z01, NAME.z02, ..., NAME.zip. Portable: files come through TzevFileSys.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/engine/zevBase.h"

class TUnZip : public TUnBase {
 public:
  explicit TUnZip(TComponent* owner = nullptr) : TUnBase(owner) {}

  // One entry of the directory list.
  struct TDirEntry {
    uint32_t Disk = 1;         // 1-based
    int64_t LocalOffset = 0;   // within the whole set
    uint32_t ExtAttr = 0;
    bool HasCentral = false;
    uint8_t Central[46]{};
    std::string RawName;
    std::wstring Name;
  };
  int ReadLocalDirectory(TStream32* archive);
  int ReadCentralDirectory(TStream32* archive);
  const std::vector<TDirEntry>& Directory() const { return FDir; }

  bool CheckPassword(uint8_t* header) override;

 protected:
  void ExtractArchive(TStream32* archive) override;
  void ExtractList(TStream32* archive, bool fromCentral);
  void ExtractEntry(TStream32* archive, const TDirEntry& entry, bool fromCentral);
  // Decodes the current entry's data into out; 0 or the engine's error number.
  int DecodeEntry(TStream32* archive, TStream32* out);
  virtual bool IsFolderEntry(const TDirEntry& e) const;
  std::wstring DecodeName(const std::string& raw, uint16_t flags) const;

  // The current entry.
  uint16_t FFlags = 0, FMethod = 0, FTime = 0;
  uint32_t FCrc = 0;
  int64_t FPacked = 0, FUnpacked = 0;
  int32_t FDosDate = 0;
  // Added to every offset the archive names: the length of a stub the archive was not told of.
  int64_t FShift = 0;
  int FCentralSeen = 0;
  std::vector<TDirEntry> FDir;
  std::unique_ptr<TStream32> FSet;  // the volumes of a split set as one stream
};

// A set spanned over removable disks: every disk holds a file of the archive's name. A
// position is the disk (0-based) times kDiskStride plus the offset on that disk; reading
// asks the user, through the reader's disk events, for the disk a position lies on, checks
// that the inserted disk is that one, and goes on across the end of a disk to the next.
class TDiskSwapStream : public TStream32 {
 public:
  static constexpr int64_t kDiskStride = int64_t(1) << 40;
  // disks: how many the set has; current: the archive as open now, on disk currentDisk.
  TDiskSwapStream(TUnBase& reader, uint32_t disks, uint32_t currentDisk, std::unique_ptr<TStream32> current);
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override;
  const char* ClassName() const override { return "TDiskSwapStream"; }
  bool Failed() const { return FFailed; }

 private:
  // Makes disk the one in the drive (asking for it); false when the user gave up.
  bool Ensure(uint32_t disk, int64_t offset);
  bool IsWanted(uint32_t disk, int64_t offset);
  TUnBase& FReader;
  uint32_t FDisks, FCurrent;
  std::unique_ptr<TStream32> FFile;
  std::vector<int64_t> FSizes;  // -1 while a disk was never seen
  int64_t FPos = 0;
  bool FFailed = false;
};

// JAR: a ZIP whose folders are also the names without a file part.
class TUnJar : public TUnZip {
 public:
  explicit TUnJar(TComponent* owner = nullptr) : TUnZip(owner) {}

 protected:
  bool IsFolderEntry(const TDirEntry& e) const override;
};

// A read-only stream over several parts taken one after the other.
class TJoinedStream : public TStream32 {
 public:
  void AddPart(std::unique_ptr<TStream32> part);
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override;
  const char* ClassName() const override { return "TJoinedStream"; }
  // Where part i starts in the whole.
  int64_t PartStart(size_t i) const { return i < FStarts.size() ? FStarts[i] : FSize; }
  size_t PartCount() const { return FParts.size(); }

 private:
  std::vector<std::unique_ptr<TStream32>> FParts;
  std::vector<int64_t> FStarts;
  int64_t FSize = 0, FPos = 0;
};
