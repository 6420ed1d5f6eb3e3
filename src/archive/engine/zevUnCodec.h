#pragma once
// What the readers of the formats with their own decoders share: the decoder's output going
// through the reader's output modes with its CRC and progress, and the steps of one entry
// (name, the begin question, the method check before any output is opened, the output, the
// decoding, the close and the CRC test). Portable.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevCodecIo.h"

// A decoder's output in a reader run: written by the reader's output mode, its CRC kept, the
// entry's progress reported; a cancelled run stops the decoder.
class TReaderSink : public TCodecSink {
 public:
  TReaderSink(TUnBase& reader, TStream32* out, int crcWidth, int64_t total);
  bool Put(const uint8_t* data, size_t count) override;
  uint32_t Crc() const { return FWidth == 32 ? FCrc ^ 0xFFFFFFFFu : FCrc; }

 private:
  TUnBase& FReader;
  TStream32* FOut;
  int FWidth;
  uint32_t FCrc;
  int64_t FDone = 0, FTotal;
};

// One entry to extract, as the format's reader found it.
struct TCodecEntry {
  std::string StoredName;  // bytes, separators as "\"
  bool IsFolder = false;
  bool Supported = true;   // the method is one the reader decodes
  int32_t DosTime = 0;
  uint32_t Attr = kAttrArchive;
  int64_t DataOffset = 0, PackedSize = 0, OrigSize = 0;
  int CrcWidth = 16;
  uint32_t Crc = 0;
  // False for a format that stores no CRC: the entry passes when its data was read whole.
  bool HasCrc = true;
  // Decodes from the input (limited to the packed size) into the sink; 0 or an error number.
  std::function<int(TCodecInput&, TCodecSink&)> Decode;
  // Applied to the packed bytes as they are read (a cipher); may be empty.
  std::function<void(uint8_t*, size_t)> Decipher;
  // Where the output starts and whether it goes into the existing file (a piece of a file
  // continued from the previous volume).
  int64_t OutputPosition = 0;
  bool Continue = false;
};

enum class TEntryOutcome { Skipped, Extracted, Failed, FolderMade };

// Entries whose data come out of a stream that is only known to be sound at its end (the TAR
// inside a GZIP or ".Z" member, unpacked once as it is walked). Until the stream has checked
// out, their end is not reported and a file they replace stays as it was: the new data wait
// beside it.
struct TDeferredEntries {
  struct TItem {
    std::wstring Target;
    std::unique_ptr<TzevTempOutput> Staged;  // set when the entry replaces an existing file
    uint32_t Attr = 0;
    int32_t DosTime = 0;
  };
  std::vector<TItem> Items;
};

// Ends the deferred entries once their stream is judged: sound (streamError 0), the staged
// files go in place and every entry ends as passed; damaged, every file they wrote is removed
// (the file it would have replaced stays), and each is reported and ends as failed.
void SettleDeferredEntries(TUnBase& r, TDeferredEntries& d, int streamError);

// Runs the steps of one entry. The name is the stored name converted (OEM when
// TranslateOemChar); skipBegin leaves out the begin question (a continued piece). A decoder
// failure is reported by its number; a failed CRC by the reader base. removeOnFailure removes
// the output of a failed entry (nothing half-decoded is left behind). With deferred, an entry
// that decodes whole is held there instead of being reported (see TDeferredEntries).
TEntryOutcome ExtractCodecEntry(TUnBase& r, TStream32& archive, const TCodecEntry& e, bool skipBegin,
                                bool removeOnFailure, TDeferredEntries* deferred = nullptr);

// Walks an archive's headers for a run (walk(stream, size, each) as the format modules give
// it): the entries whose converted name passes the file masks and that accept then
// lets through are kept, their packed sizes make the progress total and their dates the
// newest date. A walk that stops on damage is reported; what was read before it stays listed.
template <class H, class Walk, class Name, class Accept>
std::vector<H> ListCodecEntries(TUnBase& r, TStream32& archive, const std::wstring& archiveName, Walk walk,
                                Name storedName, Accept accept) {
  r.Timer.Pause();
  int64_t size = archive.Seek(0, soFromEnd);
  std::vector<H> list;
  r.BytesTotal = 0;
  int rc = walk(archive, size, [&](const H& h) {
    if (r.GetCancel()) return false;
    if (!r.MatchesSpec(FixStoredName(storedName(h), r.TranslateOemChar))) return true;
    if (!accept(h)) return true;
    list.push_back(h);
    r.BytesTotal += static_cast<double>(h.PackedSize);
    r.NoteDate(h.DosTime);
    return true;
  });
  r.BytesLeft = r.BytesTotal;
  r.Timer.Resume();
  if (rc) r.DoError(archiveName, L"", L"0", rc);
  return list;
}
