#pragma once
// The common ground of every archive component of the engine: the archive types and the
// other enumerations, the published properties and events, errors by number through OnError
// or E_RAISE, cancellation, the safe entry-name rule, file-mask matching, input and output by
// mode, running CRCs, progress and volume naming (TRegisterZev, TZipCommon); and the reader
// base TUnBase that runs one extraction and serves every format's read loop. Portable: files
// are reached only through TzevFileSys.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevFileSys.h"
#include "archive/engine/zevGbls.h"
#include "archive/engine/zevStreams.h"
#include "framework/Component.h"
#include "framework/StringList.h"

// ---- Enumerations ----

enum TArcType : uint8_t {
  atNA, atUnsupported, atFileOpenErr, atUnknown, atAce, atAceExe, atArc, atArcExe, atArj, atArjExe, atBh,
  atBhExe, atCab, atGZip, atHA, atJar, atJarExe, atLha, atLhaExe, atLzh, atLzhExe, atMsGZ, atPak, atPakExe,
  atRar, atRarExe, atTar, atUUE, atZip, atZipExe, atZipMV, atZoo
};
// A set of archive types: bit n stands for the type of value n.
using TArcTypes = uint32_t;
constexpr TArcTypes ArcSet(std::initializer_list<TArcType> types) {
  TArcTypes s = 0;
  for (auto t : types) s |= TArcTypes(1) << t;
  return s;
}
constexpr bool InArcSet(TArcTypes set, TArcType t) { return t < 32 && ((set >> t) & 1u); }
// Traditional ZIP encryption applies.
constexpr TArcTypes kZipFamily = ArcSet({atBh, atBhExe, atJar, atZip, atZipExe, atZipMV});
// Password XOR.
constexpr TArcTypes kArjFamily = ArcSet({atArj, atArjExe});
// Read through a library: the reader run opens no archive stream of its own.
constexpr TArcTypes kLibraryTypes = ArcSet({atAce, atAceExe, atCab, atRar, atRarExe});
constexpr TArcTypes kNoArchiveTypes = ArcSet({atNA, atUnsupported, atFileOpenErr, atUnknown});
constexpr bool IsArchiveType(TArcType t) { return !InArcSet(kNoArchiveTypes, t); }

enum TOverwriteMode : uint8_t { omOverwrite, omSkip };
enum TStoredDirNames : uint8_t {
  sdNone, sdAbsolute, sdAbsoluteNoDrv, sdAbsoluteNoRoot, sdRelative, sdRelativeStoreStart, sdExplorer
};
enum TSwitch : uint8_t { swAdd, swRefresh, swMove, swDelete, swRead };
enum TDateAttribute : uint8_t { daFileDate, daSysDate, daMaxFileDate };
enum TCpuType : uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };
enum TzevFileAttr : uint8_t { fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsDirectory, fsArchive };
// A set of TzevFileAttr: bit n stands for the value n.
using TzevFileAttrs = uint8_t;
constexpr TzevFileAttrs AttrSet(std::initializer_list<TzevFileAttr> a) {
  TzevFileAttrs s = 0;
  for (auto x : a) s = static_cast<TzevFileAttrs>(s | (1u << x));
  return s;
}
constexpr bool InAttrSet(TzevFileAttrs s, TzevFileAttr a) { return (s >> a) & 1u; }
// The Windows attribute bits of a set (fsZeroAttr gives none).
uint32_t AttributeMask(TzevFileAttrs attrs);
// Equal when compared without ASCII letter case (names inside archives and file masks).
bool SameTextNoCase(std::wstring_view a, std::wstring_view b);

// Which ZIP headers detection met (HeadFlag of OnCorruptZipHeader).
using THeaderTypeState = uint8_t;
constexpr THeaderTypeState htLocal = 1, htCentral = 2, htEnding = 4;

// ---- Events ----

class TZipCommon;
using TzevNotifyEvent = std::function<void(TZipCommon* sender)>;
using TOnBegin = std::function<void(TZipCommon* sender, const std::wstring& fileName, int count, bool& extract)>;
using TOnEnd = std::function<void(TZipCommon* sender, const std::wstring& fileName, bool crcPass)>;
using TOnProgress = std::function<void(TZipCommon* sender, uint8_t byFile, uint8_t byArchive)>;
using TOnError = std::function<void(TZipCommon* sender, const std::wstring& fileName, const std::wstring& extendedMsg,
                                    const std::wstring& volumeID, int eCode)>;
using TOnElapsedTime = std::function<void(TZipCommon* sender, float seconds)>;
using TOnGetPassword =
    std::function<void(TZipCommon* sender, const std::wstring& fileName, std::wstring& password, bool& tryAgain)>;
using TUnBase_OnFileExists = std::function<void(TZipCommon* sender, const std::wstring& fileName,
                                                std::wstring& newFileName, TOverwriteMode& overwriteMode)>;
using TOnFileExists = std::function<void(TZipCommon* sender, const std::wstring& fileName, double fileDate,
                                         TOverwriteMode& overwriteMode)>;
using TOnRead = std::function<void(TZipCommon* sender, int offset, int fileNum)>;
using TOnDeleteFile = std::function<void(TZipCommon* sender, const std::wstring& fileName, int count, int maxCount)>;
using TOnNonWriteableArchive =
    std::function<void(TZipCommon* sender, const std::wstring& archiveFile, bool& writeToFile)>;
using TOnRecurseDir = std::function<void(TZipCommon* sender, const std::wstring& directory)>;
using TOnRenameFile =
    std::function<void(TZipCommon* sender, const std::wstring& fileName, std::wstring& newFileName)>;
using TOnRenameDupeFile = std::function<void(TZipCommon* sender, const std::wstring& fileName,
                                             std::wstring& newFileName, bool& rename)>;
using TOnReplaceFile = std::function<void(TZipCommon* sender, const std::wstring& fileName,
                                          const std::wstring& newFileName, double date, double newDate,
                                          uint32_t fileSize, uint32_t newFileSize, int attr, int newAttr,
                                          bool& replace)>;
using TOnChangeDirEvent =
    std::function<void(TZipCommon* sender, const std::wstring& dir, int filesCount, double filesSize)>;
using TOnNextVolume = std::function<void(TZipCommon* sender, std::wstring& volumeName, const std::wstring& volumeID,
                                         bool exists, bool& cancel)>;
using TOnCancelQuery = std::function<void(TZipCommon* sender, bool& cancel)>;
using TOnGetZipNextDisk = std::function<void(TZipCommon* sender, const std::wstring& volumeName, bool& cancel)>;
using TOnCorruptZipHeader = std::function<void(TZipCommon* sender, THeaderTypeState headFlag, bool& cancel)>;
using TOnChangeArchive = std::function<void(TZipCommon* sender, const std::wstring& archiveName, TArcType arcType)>;

// ---- Elapsed time ----

class TzevTimer {
 public:
  void Start();
  void Pause();
  void Resume();
  void Stop();
  // Seconds since Start (less the paused time); the stored value after Stop; 0 never started.
  float ElapsedSeconds() const;

 private:
  using Clock = std::chrono::steady_clock;
  bool FRunning = false, FStarted = false;
  Clock::time_point FStart{}, FPause{};
  bool FPaused = false;
  float FElapsed = 0;
};

// ---- Disk manager ----

class TDiskManager {
 public:
  explicit TDiskManager(TzevFileSys*& fs) : FFs(fs) {}
  // Inspects the drive of path (a UNC server and share, or a drive letter; else the current
  // directory's drive); true when it could be read. An unreadable drive is offered for a
  // retry through the file system's question.
  bool CheckDrive(const std::wstring& path);
  std::wstring Drive, VolumeLabel, SerialText, FileSystem, DriveTypeText;
  uint32_t DiskNumber = 0, Serial = 0, FsFlags = 0, DriveType = 0;
  bool WriteProtected = false;
  int64_t FreeSpace = 0, TotalSpace = 0;

  // The drive part of a path: "C:" or "\\server\share"; "" when it has none.
  static std::wstring DriveOf(const std::wstring& path);
  // The disk number a spanned set writes into a label: the digits after the last "PKBACK# ".
  static uint32_t DiskNumberFromLabel(const std::wstring& label);

 private:
  TzevFileSys*& FFs;
};

// ---- The component base ----

// The engine's archive-level entry point of an archive name: the type and where the archive
// starts, as detection found them (zevDetect).
class TRegisterZev : public TComponent {
 public:
  explicit TRegisterZev(TComponent* owner) : TComponent(owner) {}

  const std::wstring& ArchiveFile() const { return FArchiveFile; }
  virtual void SetArchiveFile(const std::wstring& name);
  TArcType ArcType() const { return FArcType; }
  virtual void SetArcType(TArcType value);
  // Runs the engine's type detection over ArchiveFile.
  void DetectArcType();

  uint32_t ZipCmntBufSize() const { return FZipCmntBufSize; }
  void SetZipCmntBufSize(uint32_t v) { FZipCmntBufSize = v < 2000 ? 2000 : v > 32767 ? 32767 : v; }
  std::wstring About() const { return L"Velmo archive engine"; }
  bool EncryptHeaders = false;

  // The volume naming state of multi-volume sets.
  wchar_t VolumeLetter = L'q';
  int32_t VolumeNumber = 0;
  // The volume number the set's first name gave.
  int32_t FirstVolume = 0;

  // Detection results.
  uint32_t ArchiveSize = 0;
  int64_t StartOffset = 1;  // 1-based: 1 for a plain archive
  uint8_t ZipFound = 0;     // htLocal, htCentral, htEnding
  uint8_t LocalHeader[30]{}, CentralHeader[46]{}, EndRecord[22]{};
  int64_t EndRecordPos = 0;
  int32_t ArchiveDate = 29221;

  // Where files are reached.
  TzevFileSys* FileSys = &DefaultFileSys();

 protected:
  std::wstring FArchiveFile;
  TArcType FArcType = atNA;
  uint32_t FZipCmntBufSize = 32767;
};

class TZipCommon : public TRegisterZev {
 public:
  explicit TZipCommon(TComponent* owner);
  ~TZipCommon() override;

  // Published properties and fields (defaults in the constructor).
  TStringList FileSpec, ExcludeSpec, Passwords;
  std::wstring Password;
  int32_t PasswordAttempts = 3;
  bool UseStoredDirs = true;
  TStoredDirNames StoredDirNames = sdRelative;
  TzevFileAttrs Attributes = AttrSet({fsZeroAttr, fsReadOnly, fsArchive});
  TzevFileAttrs AttributesEx = 0;
  TDeleteOptions DeleteOptions = doAllowUndo;
  TDateAttribute DateAttribute = daFileDate;
  bool ConfirmOverwrites = false;
  TOverwriteMode OverwriteMode = omOverwrite;
  bool AsciiTranslation = false;
  bool TranslateOemChar = true;
  bool RecurseDirs = true;

  const std::wstring& ExtractDir() const { return FExtractDir; }
  virtual void SetExtractDir(const std::wstring& dir) { FExtractDir = dir; }
  std::wstring GetTempDir();
  void SetTempDir(const std::wstring& dir);
  // While a component is loaded from a form some setters only store.
  bool Loading = false;

  bool GetCancel() const { return *FCancelPtr != 0; }
  virtual void SetCancel(bool value);
  uint8_t* CancelPtr() { return FCancelPtr; }

  // Current entry: the output path on readers, the stored name on writers.
  std::wstring EntryName;
  // Reader form: the output path under ExtractDir by the safe-name rule. False (and error
  // 25244 reported) when the stored name reduces to nothing; the entry is then skipped.
  virtual bool SetEntryName(const std::wstring& name);
  // The safe relative form of a stored name: separators as "\", drive, UNC and root dropped,
  // empty, "." and ".." components dropped, characters Windows forbids replaced by "_".
  static std::wstring SafeRelativeName(const std::wstring& stored);

  // Events.
  TzevNotifyEvent OnActivate, OnDeactivate;
  TOnBegin OnBegin;
  TOnEnd OnEnd;
  TOnProgress OnProgress;
  TOnError OnError;
  TOnElapsedTime OnElapsedTime;
  TOnGetPassword OnGetPassword;
  TOnNextVolume OnNextVolume;
  TOnChangeArchive OnChangeArchive;

  // ---- Errors ----
  // Reports through OnError; then raises E_RAISE unless Cancel is set.
  [[noreturn]] void RaiseError(const std::wstring& fileName, const std::wstring& extendedMsg,
                               const std::wstring& volumeID, int eCode);
  void DoError(const std::wstring& fileName, const std::wstring& extendedMsg, const std::wstring& volumeID,
               int eCode);
  [[noreturn]] void RaiseWriteError() { RaiseError(EntryName, L"", L"0", zevWriteError); }

  // ---- Matching ----
  // Writer form: a FileSpec entry equal to the name or matching it as a pattern, and no
  // ExcludeSpec entry matching it.
  virtual bool MatchesSpec(const std::wstring& name);

  // ---- Input and output by mode ----
  // Input modes: 0 and 2 the stream passed; 1 InStream; 3 SecondStream; 4 the memory block.
  // Output modes: 0, 2 and 8 the stream passed; 1 OutStream; 3 SecondStream; 4 the memory
  // block; 5 and 7 discard (the count is reported as written).
  uint8_t InputMode = 0, OutputMode = 0;
  TStream32* InStream = nullptr;
  TStream32* OutStream = nullptr;
  TStream32* SecondStream = nullptr;
  // The memory blocks of mode 4, each with the bytes still available.
  const uint8_t* InMemory = nullptr;
  size_t InMemoryLeft = 0;
  uint8_t* OutMemory = nullptr;
  size_t OutMemoryLeft = 0;

  // The bytes read (0 at the end or on a read failure), decrypted when asked and added to the
  // CRC register of crcWidth.
  int32_t ReadBuf(TStream32* stream, void* buffer, int32_t count, int crcWidth, bool decrypt);
  // Writes by output mode; raises E_RAISE 25136 when fewer bytes went out than given.
  int32_t WriteBuf(TStream32* stream, const void* buffer, bool updateCrc, int32_t count, int crcWidth);
  // The ZIP family's stored entries: deciphers in place (when crypt and updateCrc), then writes.
  int32_t WriteDecrypted(TStream32* stream, bool updateCrc, int32_t count, int crcWidth, bool crypt, void* buffer);
  // Enciphers in place (when crypt and updateCrc, ZIP family), then writes.
  int32_t WriteEncrypted(TStream32* stream, bool updateCrc, int32_t count, int crcWidth, bool crypt, void* buffer);
  void DecryptBuffer(bool decrypt, void* buffer, int32_t count);
  static void UpdateCrc(int width, const void* buffer, int32_t count) {
    if (count > 0) UpdateCrcRegister(width, buffer, static_cast<size_t>(count));
  }
  // Modes 0, 2 and 8 really write files.
  bool IsWriteMode() const { return OutputMode == 0 || OutputMode == 2 || OutputMode == 8; }
  // The ARJ password's cyclic index (1-based).
  int ArjPasswordIndex = 1;
  // The password as bytes for the ciphers (ANSI code page).
  std::string PasswordBytes() const;

  // ---- Progress ----
  void DoProgress(double fileBytes, double fileTotal, double archiveBytesLeft, double archiveTotal);
  void DefaultProgress(uint8_t byFile, uint8_t byArchive);
  std::function<void(uint8_t, uint8_t)> ProgressProc;
  double BytesLeft = 0, BytesTotal = 0;
  // The current entry's size and bytes done, as the last progress report gave them.
  double ProgressFileTotal = 0, ProgressFileDone = 0;
  uint8_t LastFilePercent = 0, LastArchivePercent = 0;

  // The date to give an output file.
  int32_t EntryDate(int32_t dosDate);
  int32_t NewestDate = 0;
  void NoteDate(int32_t dosDate) {
    if (static_cast<uint32_t>(dosDate) > static_cast<uint32_t>(NewestDate)) NewestDate = dosDate;
  }

  // ---- Volumes ----
  // The name of volume number of a multi-volume set (by ArcType); "" for an empty name or a
  // negative number. RAR numbering wraps every 100 volumes into the next letter.
  std::wstring GetVolumeName(const std::wstring& fileName, int32_t number);
  // Asks OnNextVolume for the next volume of an ARJ, RAR or CAB set.
  bool NextVolumeFile(std::wstring& fileName, const std::wstring& volumeID);

  static TDateTime ConvertDate(int32_t dosDateTime) { return DosDateTimeToDateTime(dosDateTime); }
  // True when the octal checksum of a 512-byte TAR header matches its bytes.
  static bool TarHeaderChecksum(const uint8_t* header);

  TzevTimer Timer;
  TDiskManager DiskManager{FileSys};
  // Lower-case extensions that writers skip.
  TStringList ExtList;
  void ClearExtList() { ExtList.Clear(); }

  // Counters of a run.
  int32_t Count = 0, FilesAdded = 0, FilesDeleted = 0;

 protected:
  void SetVolumeState();
  std::wstring FExtractDir, FTempDir;
  uint8_t FCancel = 0;
  uint8_t* FCancelPtr = &FCancel;
  // The number RaiseError last reported and raised (0 after a run's start).
  int FRaisedCode = 0;
};

// ---- The reader base ----

// Fixed-size records, each with an optional variable block beside it.
class TUnBaseHeaderObj {
 public:
  explicit TUnBaseHeaderObj(size_t recordSize) : FRecordSize(recordSize) {}
  void Add(const void* record, const void* block = nullptr, size_t blockLen = 0);
  void Clear() {
    FRecords.clear();
    FBlocks.clear();
  }
  int Count() const { return static_cast<int>(FBlocks.size()); }
  uint8_t* Record(int i) { return FRecords.data() + static_cast<size_t>(i) * FRecordSize; }
  std::vector<uint8_t>& Block(int i) { return FBlocks[static_cast<size_t>(i)]; }

 private:
  size_t FRecordSize;
  std::vector<uint8_t> FRecords;
  std::vector<std::vector<uint8_t>> FBlocks;
};

// What the reader services need of an entry.
struct TUnEntryInfo {
  uint32_t Flags = 0;  // bit 0: encrypted
  int64_t PackedSize = 0;
};

class TUnBase;
// Asks for disks of a spanned ZIP and checks that the inserted one holds the data wanted.
class TDiskSpannObj {
 public:
  explicit TDiskSpannObj(TUnBase& reader) : FReader(reader) {}
  // 0 the last disk is wanted, 1 the first, 2 and more the next with that number.
  int32_t DiskState = 0;
  bool Cancelled = false, OpenFailed = false;
  void Reset() {
    DiskState = 0;
    Cancelled = OpenFailed = false;
  }
  // Closes the archive, asks for the wanted disk until it is the right one, reopens it.
  bool SwitchDisk(int64_t offset, int entries);
  bool ProbeDisk(int64_t offset);

 private:
  TUnBase& FReader;
};

class TUnBase : public TZipCommon {
 public:
  explicit TUnBase(TComponent* owner);
  ~TUnBase() override;

  bool CreateStoredDirs = false;
  bool RestoreFileAttr = true;
  TCpuType CpuType = cptAuto;
  TUnBase_OnFileExists OnFileExists;
  TOnCancelQuery OnGetZipFirstDisk, OnGetZipLastDisk;
  TOnGetZipNextDisk OnGetZipNextDisk;
  TOnCorruptZipHeader OnCorruptZipHeader;

  // Entry points: the number of entries accepted (0 when the run ended by an exception).
  int Extract();
  int ExtractMode7();
  // Any output mode: for tests and inner runs (mode 1 and 3 need OutStream / SecondStream).
  int ExtractTo(uint8_t outputMode);

  void SetExtractDir(const std::wstring& dir) override;
  bool MatchesSpec(const std::wstring& name) override;
  void SetArchiveFile(const std::wstring& name) override;

  // The stored name of the current entry.
  std::wstring StoredName;

  // ---- Services for the format loops ----
  bool DoBeginEntry(bool skipEvent);
  // Reads the 12-byte encryption header from stream and finds a password for it.
  bool GetEntryPassword(TStream32* stream);
  // Opens the output of the current entry; null output with true in modes that write no file.
  bool OpenOutput(std::unique_ptr<TStream32>& out, const std::wstring& storedName, const std::wstring& fileName);
  void CloseOutputFile(std::unique_ptr<TStream32>& out, uint32_t attr, int32_t dosDate, const std::wstring& fileName);
  // Removes an output that received nothing (a decoder failed before the first byte).
  void DiscardOutput(std::unique_ptr<TStream32>& out, const std::wstring& fileName);
  // Copies a stored entry; the bytes not copied (0 when complete).
  int64_t ExtractStored(TStream32* in, TStream32* out, const TUnEntryInfo& entry, int crcWidth);
  void AddProgress(const TUnEntryInfo& entry);
  virtual bool CheckCRC(int width, uint32_t stored);
  // header: 24 bytes (the 12-byte encryption header twice).
  virtual bool CheckPassword(uint8_t* header);

  TDiskSpannObj DiskSpann{*this};
  // The archive stream of the run (reopened on a disk switch).
  std::unique_ptr<TStream32> Archive;
  // Whether an earlier entry of the run found no password.
  bool NoPasswordFound = false;

 protected:
  // The format's read loop over the open archive (null for library-read types).
  virtual void ExtractArchive(TStream32* archive) { (void)archive; }
  int Process();
  std::wstring FRunArchiveName;
  friend class TDiskSpannObj;
};
