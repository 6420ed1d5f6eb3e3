#pragma once
// The writer base TCompBase (an update through a replacement file: new, kept, rewritten and
// deleted entries; stored names; deflate levels; moves) and the ZIP and JAR writers. The old
// archive is replaced only when the new one was written in full; sources of a move are
// deleted only after that. Portable: files come through TzevFileSys.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevFileScan.h"

enum TCompressMethod : uint8_t {
  cmStore, cmDeflate, cmFuse, cmFrozen5, cmFrozen6, cmMsZip, cmLzx, cmQuantum, cmUUEncode, cmXXEncode, cmBase64,
  cmTarred, cmGzipTar
};
enum TCompressionMethod : uint8_t { cmInMemory, cmTempFile };

// One entry of an update: a kept entry of the old archive or a new file.
struct TCompEntry {
  std::wstring Name;      // a new file's full path; a kept entry's stored name
  uint32_t BaseLen = 0;   // the base folder's length when it was added
  uint8_t Action = 0;     // 0 compress anew, 1 copy, 2 drop, 3 rewrite under a new name
  bool EncryptedHeaders = false;
  int64_t OldOffset = 0;  // the local header in the old archive
  int64_t NewOffset = 0;
  uint8_t Central[46]{};
  std::string RawName;  // the stored name as written
  std::string Extra, Comment;
  // A new file's facts.
  uint32_t Size = 0, Attr = 0;
  int32_t DosDate = 0;
};

// The facts of the entry OnRead reports.
struct TCompEntryInfo {
  std::wstring Name, MethodText;
  int32_t DosDate = 0;
  int64_t Size = 0, Packed = 0;
  uint32_t Crc = 0, Attr = 0;
  int Ratio = 0;
};

// A file the scanner found for a writer that makes no archive of the usual kind.
struct TScannedFile {
  std::wstring Path;
  int32_t DosDate = 0;
  uint32_t Size = 0, Attr = 0;
};

class TCompBase : public TZipCommon {
 public:
  explicit TCompBase(TComponent* owner);

  TSwitch Switch = swAdd;
  TCompressionMethod CompressionMethod = cmTempFile;
  TDeflateType DeflateType = dtDeflateN;
  bool StoreEmptySubDirs = false;
  bool StoreAlreadyCompressedFiles = true;
  bool VerifyBeforeDelete = false;
  std::wstring ExplorerBaseDir;

  TCompressMethod CompressMethod() const { return FCompressMethod; }
  void SetCompressMethod(TCompressMethod m) {
    if (m <= 15 && (FAllowedMethods >> m) & 1u) FCompressMethod = m;
  }
  const std::wstring& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::wstring& ext);
  void SetArchiveFile(const std::wstring& name) override;
  void SetBaseDir(const std::wstring& dir);
  const std::wstring& BaseDir() const { return FBaseDir; }
  // Writer form: the stored name by StoredDirNames.
  bool SetEntryName(const std::wstring& name) override;
  std::wstring MakeStoredName(const std::wstring& fileName, const std::wstring& baseDir) const;
  bool IsExcluded(const std::wstring& name, const std::wstring& baseDir);
  bool CheckWriteable(const std::wstring& fileName);

  TOnRead OnRead;
  TOnDeleteFile OnDeleteFile;
  TOnNonWriteableArchive OnNonWriteableArchive;
  TOnRenameDupeFile OnRenameDupeFile;
  TOnReplaceFile OnReplaceFile;
  TOnChangeDirEvent OnFileScanStatus;
  // The entry an OnRead call reports.
  TCompEntryInfo ReadInfo;

  // The files added (the files deleted on swDelete); 0 when the run failed.
  virtual int UpdateArchive();
  // Whether the last run replaced the archive.
  bool Written() const { return FWritten; }

 protected:
  // The format's parts.
  virtual void ReadDirectory(TStream32& input, TzevTempOutput& output) = 0;
  virtual bool CompressFile(TStream32& output, TCompEntry& e) = 0;
  virtual int64_t PrepareCopyEntry(TStream32& input, TStream32& output, TCompEntry& e) = 0;
  virtual void RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) = 0;
  virtual bool WriteDirectory(TStream32& output) = 0;
  virtual void WriteEmptyEndRecord(TStream32& output) = 0;
  // The finished archive goes onto removable disks instead of replacing the old one.
  virtual bool Spanning() const { return false; }
  // Whether a kept entry's attributes count when a scanned file is compared with it.
  virtual bool CompareAttributes() const { return true; }
  // A run that changed the archive: before the new archive is put in place, and after.
  virtual void ReportNewEntries() {}
  virtual void AfterReplace() {}
  // The new archive's output: by default a file beside the archive that replaces it on Commit.
  virtual std::unique_ptr<TzevTempOutput> CreateOutput();

  void Compress(TStream32* input, TzevTempOutput& output);
  void ProcessEntries(TStream32* input, TStream32& output);
  void AddScannedFile(const std::wstring& dir, const TzevFindData& find);
  void CopyEntryData(TStream32& input, TStream32& output, int64_t count);
  // Opens a new entry's source (nothing for a folder) and gives its size; false when it cannot
  // be opened or is 4 GiB or more (reported).
  bool OpenSource(const TCompEntry& e, std::unique_ptr<TStream32>& src, int64_t& size);
  // A stored name as the DOS formats keep it: relative, "\" between folders, OEM (or ANSI)
  // bytes; empty when the name has no form in that code page.
  std::string DosStoredBytes(const std::wstring& name) const;
  // Puts a kept entry's facts where AddScannedFile compares them with a file on disk.
  static void NoteKept(TCompEntry& e, uint32_t packed, uint32_t orig, int32_t dosTime, uint32_t attr);
  // One new entry of a format whose entries follow one another: opens the source (none for a
  // folder), gives write a scratch stream (a temporary file or memory, by
  // CompressionMethod) and a progress routine, and cuts the output back to where the entry
  // began when write fails or raises. write returns 0 or the engine's error number (reported
  // here, "4 GiB" for zevInvalidArcType); the result is whether the entry was written.
  bool WriteFormatEntry(TStream32& output, TCompEntry& e, bool packs,
                        const std::function<int(TStream32* source, TStream32& scratch,
                                                const std::function<void(size_t)>& progress)>& write);
  // The files FileSpec names (each once; files of 4 GiB or more reported and left out); the
  // scanner's roots become the base folder.
  std::vector<TScannedFile> ScanSources();

  std::vector<TCompEntry> FList;
  std::vector<std::wstring> FMoveList;
  std::vector<size_t> FReplaced;  // kept entries a new file replaces
  uint32_t FAllowedMethods = 0;
  TCompressMethod FCompressMethod = cmStore;
  std::wstring FDefaultExt, FClassExt, FBaseDir;
  bool FNewArchive = false, FWritten = false;
};

class TZip;
// Writes a finished archive across removable disks: every volume is a file named like the
// archive on the disk in the drive; the user changes disks through the events.
class TDiskSpanObj {
 public:
  TDiskSpanObj(TZip& writer, TStream32& source);
  bool Run();
  int32_t DiskNumber = 1;  // 1 for the first disk

 private:
  bool FirstDisk();
  bool NextDisk();
  bool RequestDisk();
  bool ClearDisk();
  bool OpenVolume();
  bool WriteSpanned(const void* buffer, int64_t count);
  bool CopySpanned(int64_t from, int64_t count);
  // last: the set is complete with this volume.
  bool CloseVolume(bool last);
  bool FinishFirstDisk();
  TZip& FWriter;
  TStream32& FSource;
  std::unique_ptr<TzevTempOutput> FVolume;
  // A first volume that replaces a file on the first disk waits beside it until the set is
  // complete, so that a set given up on a later disk leaves the first disk as it was.
  std::unique_ptr<TzevTempOutput> FFirstVolume;
  bool FFirstReplaces = false;
  uint32_t FFirstSerial = 0;
  int64_t FFree = 0, FNeeded = 0;
  uint32_t FLastSerial = 0;
  bool FFirstRequest = true;
};

class TZip : public TCompBase {
 public:
  explicit TZip(TComponent* owner = nullptr);
  void SetArcType(TArcType) override { FArcType = atZip; }
  int32_t LeaveSpaceOnFirstDisk = 0;
  std::function<void(TDiskSpanObj* sender, const std::wstring& volumeName, bool& cancel)> OnInsertDisk;
  std::function<void(TDiskSpanObj* sender, const std::wstring& drive, int64_t requiredSpace, int64_t freeSpace,
                     int64_t totalSpace, bool& cancel)>
      OnClearDisk;
  TOnFileExists OnDiskSpanFileExists;
  // The archive comment to write (raw bytes); kept from the old archive unless set.
  std::string ArchiveComment;
  bool ArchiveCommentSet = false;

  // Comments of an existing archive, changed without packing anything again. OpenForComments
  // reads the directory of ArchiveFile and gives the number of entries (0 when it is no ZIP);
  // CommitComments writes a new directory behind the unchanged entries, replacing the archive
  // only when that is complete, and gives whether it did.
  int OpenForComments();
  bool GetEntryComment(int index, std::wstring& name, std::string& text) const;
  void SetEntryComment(int index, const std::string& text);
  std::string GetArchiveComment() const { return ArchiveComment; }
  void SetArchiveComment(const std::string& text);
  bool CommitComments();

 protected:
  void ReadDirectory(TStream32& input, TzevTempOutput& output) override;
  bool CompressFile(TStream32& output, TCompEntry& e) override;
  int64_t PrepareCopyEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  void RewriteEntry(TStream32& input, TStream32& output, TCompEntry& e) override;
  bool WriteDirectory(TStream32& output) override;
  void WriteEmptyEndRecord(TStream32& output) override;
  // The stored name's bytes and whether they are UTF-8.
  std::string StoredBytes(const std::wstring& name, bool& utf8) const;
  bool Spanning() const override { return DiskManager.DriveType == 2; }
  friend class TDiskSpanObj;

 private:
  bool FCommentsModified = false;
  int64_t FCommentsDataEnd = 0;
};

class TJar : public TZip {
 public:
  explicit TJar(TComponent* owner = nullptr);
  void SetArcType(TArcType) override;
};
