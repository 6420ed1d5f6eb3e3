#pragma once
// TTar: writes TAR archives of 512-byte blocks over the writer base (new, kept, renamed and
// deleted members; the archive replaced only when written in full), optionally packed into a
// GZIP file (".TGZ"): then the TAR is compressed as it is written, straight into the file that
// replaces the ".TGZ", and no uncompressed copy is made. Names longer than the header's 100 bytes go into a GNU
// long-name record before the header. Portable.
#include <cstdint>
#include <string>

#include "archive/engine/zevZip.h"

// Builds the header block of a member (and, for a name longer than 100 bytes, the long-name
// record with its data before it) into out. name is the stored name with "/" separators
// (a folder's ending in "/"). Returns false for an empty name.
struct TTarMember {
  std::string Name;
  bool Folder = false;
  uint64_t Size = 0;
  uint64_t MTime = 0;
  uint8_t Uid = 2, Gid = 2;
  std::string UName = "root", GName = "root";
};
bool MakeTarHeaders(const TTarMember& m, std::string& out);
// Writes the checksum of a 512-byte header block into its field.
void SetTarChecksum(uint8_t* block);

class TTar : public TCompBase {
 public:
  explicit TTar(TComponent* owner = nullptr);
  void SetArcType(TArcType) override { FArcType = atTar; }

  uint8_t UnixUID = 2, UnixGID = 2;
  std::string UnixUName = "root", UnixGName = "root";
  // Asked before the GZIP step of cmGzipTar replaces an existing ".TGZ" file.
  TOnFileExists OnFileExists;

 protected:
  void ReadDirectory(TStream32& input, TzevTempOutput& output) override;
  bool CompressFile(TStream32& output, TCompEntry& e) override;
  int64_t PrepareCopyEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  void RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  bool WriteDirectory(TStream32& output) override;
  void WriteEmptyEndRecord(TStream32& output) override;
  bool CompareAttributes() const override { return false; }
  void ReportNewEntries() override;
  void AfterReplace() override;
  std::unique_ptr<TzevTempOutput> CreateOutput() override;

 private:
  std::string StoredBytes(const std::wstring& name, bool folder) const;
  TTarMember Member(const std::string& name, bool folder, uint64_t size, int32_t dosDate) const;
  // The ".TGZ" this run writes the TAR into as it goes; empty when it writes a plain TAR.
  std::wstring FTgzName;
};
