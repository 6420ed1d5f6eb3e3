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
