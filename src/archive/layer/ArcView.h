#pragma once
// Archives seen from a panel: which kind of archive a file is and where its data begin (by
// signatures, self-extracting forms included), the names of a multi-volume set's volumes, and
// one small directory reader per format that walks the headers and hands out one entry record
// per header, never touching the packed data.
//
// Everything here works on a TArcSource (bytes at offsets), so it builds and is fuzzed on the
// host too; only opening a file by name (OpenArcFile, ArcView_win.cpp / ArcView_posix.cpp)
// knows the system.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "panels/ArcFolder.h"

enum TArcKind : uint8_t {
  akNone = 0,
  akZip = 1,
  akRar = 2,
  akAce = 3,
  akCab = 4,
  akLzh = 5,
  akArj = 6,
  akOmp = 7,
  akSqz = 8,
  akArc = 9,
  akZoo = 10,
  akTar = 11,
  akBh = 12,
  akJar = 13,
  akGz = 14,
  akZipSfx = 15,
  akRarSfx = 16,
  akAceSfx = 17,
  akCabSfx = 18,
  akLzhSfx = 19,
  akArjSfx = 20,
  akOmpSfx = 21,
  akSqzSfx = 22,
};
constexpr int kArcKindCount = 23;

// The shown type name and the default volume extension of each kind.
extern const wchar_t* const ArcTypeNames[kArcKindCount];

// Bits of ArcInfoRec::Flags.
constexpr int32_t aifContinuedFromPrevious = 0x01;
constexpr int32_t aifContinuesInNext = 0x02;
// Archive flags a reader gathers while it reads.
constexpr int32_t afMultiVolume = 0x01;
constexpr int32_t afSolid = 0x02;
constexpr int32_t afNewVolumeNaming = 0x04;

// Random access to an archive's bytes.
class TArcSource {
 public:
  virtual ~TArcSource() = default;
  virtual int64_t Size() const = 0;
  // Up to count bytes at offset into buffer; the number read (0 at or after the end, and on
  // failure).
  virtual int32_t ReadAt(int64_t offset, void* buffer, int32_t count) = 0;
};

// Bytes held in memory (tests, fuzzing). The view must outlive the source.
class TArcMemorySource : public TArcSource {
 public:
  explicit TArcMemorySource(std::string_view bytes) : FBytes(bytes) {}
  int64_t Size() const override { return static_cast<int64_t>(FBytes.size()); }
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override;

 private:
  std::string_view FBytes;
};

// The file opened for reading with sharing allowed; null when it cannot be opened. dosDate
// (when given) receives the last-write time in local time as a DOS date and time.
std::unique_ptr<TArcSource> OpenArcFile(const std::wstring& fileName, int32_t* dosDate = nullptr);
// Seconds since 1970 (UTC) as a local DOS date and time.
int32_t ArcUnixToDos(int64_t seconds);

// ---- Type detection ----

// The signature test on a file's first bytes. The file (for its last two bytes) and its name
// (for the ".TAR" test) are optional.
TArcKind TestArchiveSignature(std::string_view header, TArcSource* file = nullptr, std::wstring_view fileName = {});
// Searches buffer (read from file offset base) for sig; on a hit at index i, base + i + adjust
// becomes best when it lies below it. True when it did; index receives i (-1 without a hit).
bool FindSignatureBefore(std::string_view buffer, int64_t base, std::string_view sig, int64_t adjust, int64_t& best,
                         int64_t* index = nullptr);
// The kind and the offset where the archive data begin. checkSFX: look behind an executable
// image for archive data.
TArcKind DetectArchiveType(TArcSource& file, std::wstring_view fileName, int64_t& dataOffset, bool checkSFX);
// The same, opening the file by name.
TArcKind DetectArchiveType(const std::wstring& fileName, int64_t& dataOffset, bool checkSFX);
// Where the data behind an executable image begin; -1 when the file is not a PE image.
int64_t GetPEImageEnd(TArcSource& file, int64_t& largestSectionStart);
// The file offset of a cabinet stored as an RCDATA resource; -1 when there is none.
int64_t FindCabinetInResources(TArcSource& file, int64_t& cabSize);

// ---- Volume naming ----

std::wstring GetFirstVolumeName(const std::wstring& fileName, TArcKind arcType, int32_t flags);
std::wstring GetNextVolumeName(const std::wstring& fileName, TArcKind arcType, int32_t flags);

// ---- Directory readers ----

// How a format's stored names are coded.
enum class TNameCoding { Oem, Ansi, Utf8, Utf8OrOem };

// The base of the readers. A reader turns the header at Pos into one entry and moves Pos to
// the next header; an entry named "." is a header that is not a file, an empty name the end.
class TGeneralArchive {
 public:
  TGeneralArchive() = default;
  virtual ~TGeneralArchive() = default;
  TGeneralArchive(const TGeneralArchive&) = delete;
  TGeneralArchive& operator=(const TGeneralArchive&) = delete;

  std::wstring ArcName;  // the archive's file name without folder
  TArcSource* Handle = nullptr;
  int64_t StartOffset = 0;
  int64_t ArcSize = 0;
  int32_t ArcDate = 0;
  uint8_t ArcType = 0;
  int32_t Flags = 0;
  int32_t VolumeNumber = -1;

  virtual bool ReadNextHeader(ArcInfoRec& item);
  virtual bool ReadFirstHeader(ArcInfoRec& item) = 0;
  bool Next(ArcInfoRec& item) { return ReadNextHeader(item); }

 protected:
  // Reads count bytes at offset; the number read.
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count) const;
  bool ReadExact(int64_t offset, void* buffer, int32_t count) const {
    return count >= 0 && ReadAt(offset, buffer, count) == count;
  }
  // Moves to the next header; a position not beyond the current header ends the walk.
  void MoveTo(int64_t next);
  // The entry's fields that every reader fills the same way.
  void Begin(ArcInfoRec& item) const;
  void SetName(ArcInfoRec& item, std::string_view bytes, TNameCoding coding) const;
  // Ends the listing: no entry now, and none after.
  bool Finish(ArcInfoRec& item);
  bool Pseudo(ArcInfoRec& item);

  int64_t Pos = 0;
  bool Ended = false;
};

class TZipArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TRarArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TAceArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TCabArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;

 private:
  int32_t FCount = 0, FFiles = 0;
};
class TLzhArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TArjArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TOmpArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TSqzArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TArcArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TZooArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;

 private:
  int64_t FLargest = 0;
};
class TTarArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;

 private:
  std::string FLongName;  // from a long-name record, for the next header
};
class TBHArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};
class TGZArchive : public TGeneralArchive {
 public:
  bool ReadFirstHeader(ArcInfoRec& item) override;
  bool ReadNextHeader(ArcInfoRec& item) override;
};

// The reader for a kind; null for akNone and unknown codes.
std::unique_ptr<TGeneralArchive> CreateArchiveReader(int arcType);

// The front end: opens an archive, creates its reader and hands out the file entries.
class TArchive {
 public:
  TArchive() = default;
  ~TArchive() { Close(); }
  TArchive(const TArchive&) = delete;
  TArchive& operator=(const TArchive&) = delete;

  std::wstring FileName;
  std::unique_ptr<TGeneralArchive> Reader;
  // Called between headers, also between headers that are not entries; true stops the walk.
  std::function<bool()> OnPoll;

  bool Open(const std::wstring& fileName, int arcType, int64_t startOffset);
  // The same over bytes already open (the archive owns the source).
  bool Open(std::unique_ptr<TArcSource> source, const std::wstring& fileName, int arcType, int64_t startOffset,
            int32_t arcDate);
  void Close();
  int32_t GetFlags() const { return Reader ? Reader->Flags : 0; }
  int32_t GetVolumeNumber() const { return Reader ? Reader->VolumeNumber : -1; }
  bool FindFirst(ArcInfoRec& item);
  bool FindNext(ArcInfoRec& item);

 private:
  bool SkipPseudo(ArcInfoRec& item);
  std::unique_ptr<TArcSource> FSource;
};
