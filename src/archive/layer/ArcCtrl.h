#pragma once
// The archive controls: one object per archive operation (extract, add, delete) that holds the
// operation's parameters and selection, turns the selection into what its back end needs (an
// engine component, a library driver or an external archiver program with a list file), runs
// the back end and reports progress, questions and the outcome through its hooks.
//
// TGeneralArchiveControl is the base; one subclass per archive kind decides which back end does
// each operation. The result of every operation is one TArcResultCode.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/layer/ArcView.h"
#include "framework/StringList.h"

class TUnBase;
class TCompBase;
class TZipCommon;

enum TArcResultCode : uint8_t {
  arcOk = 0,
  arcFailed = 1,
  arcErrorsShown = 2,
  arcCancelled = 3,
  arcProgramFailed = 4,
  arcDllNotLoaded = 5,
  arcNoMemory = 7,
  arcBadArchive = 8,
  arcCrcError = 9,
  arcBadFormat = 10,
  arcOpenFailed = 11,
  arcCreateFailed = 12,
  arcMkDirFailed = 13,
  arcCloseFailed = 14,
  arcReadError = 15,
  arcWriteError = 16,
  arcDiskFull = 17,
  arcBadPassword = 19,
};

// The text of a result code (codes without a text of their own give the success text).
void GetArchiveErrorText(uint8_t code, std::wstring& text);
std::wstring GetArchiveErrorText(uint8_t code);

// Matches a name against a selection pattern: 1 match; 2 the pattern ended before the name; 3 the
// name ended before the pattern; 4 a set did not match; 5 a character did not match; 6 a
// malformed set. "?" one character, "*" any run (also "\"), "<a-cx>" a set, "<!..>"/"<^..>" its
// complement; letter case is ignored.
int MatchWildcard(std::wstring_view pattern, std::wstring_view name);

class TGeneralArchiveControl;
using TArcFileBeginEvent =
    std::function<void(TGeneralArchiveControl* sender, const std::wstring& name, int64_t size, int64_t packedSize)>;
using TArcFileEndEvent = std::function<void(TGeneralArchiveControl* sender, int64_t size)>;
using TArcArchiveBeginEvent = std::function<void(TGeneralArchiveControl* sender, const std::wstring& archiveName,
                                                 int64_t totalSize, int64_t fileCount)>;
using TArcProgressEvent = std::function<void(TGeneralArchiveControl* sender, int64_t total, int64_t done)>;
using TArcFileExistsEvent = std::function<void(TGeneralArchiveControl* sender, bool& overwrite, double entryDate,
                                               int64_t entrySize, std::wstring& fileName, bool& cancel)>;
using TArcNameEvent = std::function<void(TGeneralArchiveControl* sender, const std::wstring& name)>;
using TArcAskVolumeEvent =
    std::function<void(TGeneralArchiveControl* sender, bool editable, std::wstring& volumeName)>;
using TArcAskPasswordEvent =
    std::function<void(TGeneralArchiveControl* sender, const std::wstring& fileName, std::wstring& password)>;

class TGeneralArchiveControl {
 public:
  TGeneralArchiveControl();
  virtual ~TGeneralArchiveControl();
  TGeneralArchiveControl(const TGeneralArchiveControl&) = delete;
  TGeneralArchiveControl& operator=(const TGeneralArchiveControl&) = delete;

  TUnBase* Extractor = nullptr;    // the engine reader in use, when the back end is the engine
  TCompBase* Compressor = nullptr;  // the engine writer in use, likewise
  std::wstring CurrentFile;
  int64_t CurrentFileSize = -1;
  int32_t CurrentIndex = -1;
  bool OverwriteAnswer = false;
  bool ArchiveBeginPending = false;
  uint8_t ResultCode = arcOk;  // arcErrorsShown once an engine error was shown
  bool SkipAllErrors = false;
  TArcKind ArcType = akNone;
  std::wstring SourceFolder;
  std::wstring DestFolder;  // always with a trailing "\"
  std::wstring ArchiveName;
  int64_t VolumeSize = 0;        // KB, for external archivers; 0 = one volume
  int32_t CompressionLevel = 5;  // 0 (store) .. 4
  std::wstring Password;
  TStringList FileList;  // the selection, sorted
  bool RecurseDirs = true;
  bool StorePaths = false;
  bool MoveFiles = false;
  bool Extracting = false;
  bool Cancelled = false;
  bool UserStop = false;
  bool AllSelected = false;
  bool Overwrite = false;
  bool AllowRename = true;
  bool KeepMethod = false;

  TArcFileBeginEvent OnFileBegin;
  TArcFileEndEvent OnFileEnd;
  TArcArchiveBeginEvent OnArchiveBegin;
  TArcProgressEvent OnProgress;
  TArcFileExistsEvent OnFileExists;
  TArcNameEvent OnVolumeFound;
  TArcAskVolumeEvent OnAskVolume;
  TArcAskPasswordEvent OnAskPassword;
  TArcNameEvent OnFolderCreated;
  TArcProgressEvent OnTotalProgress;

  int64_t ElapsedTime = 0;
  int32_t LastIndex = -1;

  // Kept here for the progress window: the totals of the whole run (-1 = not given), the files
  // this control began with a known size, and the options the window hands over.
  int64_t GivenTotalBytes = -1;
  int64_t GivenTotalFiles = -1;
  int64_t FilesBegun = 0;
  int64_t StartOffset = 0;
  int32_t FurtherOption = 0;

  virtual void SetCancel(bool value);
  virtual void DoFileBegin(const std::wstring& name, int64_t size, int64_t packedSize);
  virtual void DoFileEnd(int64_t size);
  virtual void DoArchiveBegin(const std::wstring& archiveName, int64_t totalSize, int64_t fileCount);
  virtual void DoProgress(int64_t fileSize, int64_t fileDone);
  virtual void DoFileExists(bool& overwrite, bool& cancel, double entryDate, int64_t entrySize,
                            std::wstring& fileName);
  virtual void DoVolumeFound(const std::wstring& volumeName);
  virtual void DoAskVolume(int number, std::wstring& volumeName, uint8_t kind);
  virtual void DoAskPassword(const std::wstring& fileName, std::wstring& password);
  virtual bool ForceDir(const std::wstring& path);
  virtual void DoTotalProgress(int64_t totalSize, int64_t totalDone);
  virtual bool IsFileSelected(const std::wstring& name);
  virtual TArcResultCode Extract();
  virtual TArcResultCode Add();
  virtual TArcResultCode Delete();

  void SetDestFolder(const std::wstring& path);
  // The selection from a list of names: cut at line ends only (a name may hold ";").
  void SetFileList(const TStringList& list);
  // The user's file masks: cut at ";" and line ends.
  void SetFileSpec(const std::wstring& fileMask);
  // The selection as the engine wants it (folders widened; for adding, names made full).
  void PrepareSelection(TStringList& out, bool adding) const;
  // Writes the selection as an archiver list file (kind 0, 1 or 2) in the work folder; listName
  // := its short path, empty when it could not be written (message 3103 was shown).
  void MakeListFile(int kind, std::wstring& listName);
  // Runs an external archiver in dir and waits; true on exit code 0 or 255.
  bool RunArchiver(const std::wstring& exe, const std::wstring& params, const std::wstring& dir);
  // Binds the control's handlers to the engine components (either may be null).
  void HookLibraryEvents(TUnBase* extractor, TCompBase* compressor);
  TArcResultCode LibraryAdd();
  TArcResultCode LibraryExtract();
  TArcResultCode LibraryDelete();

  // The folder in which an external program runs (no trailing "\" except on a drive root).
  static std::wstring ProgramFolder(const std::wstring& folder);

 protected:
  void BeginOperation();
  TArcResultCode EngineResult() const;
  // Runs body and turns an exception that escaped the engine into a result.
  TArcResultCode GuardEngine(const std::function<TArcResultCode()>& body);
  void CancelComponent();
  std::wstring StripFolder(const std::wstring& fileName) const;
  bool AskDisk(const std::wstring& text);
  void ResetRunState();
  // Closes the password bookkeeping of the entry that just ended.
  void FinishPasswordEntry();
  // The result of an extraction: stopped, errors shown, then entries lost to their password.
  TArcResultCode ExtractResult();
  bool StoreEmptySubDirs = true;
  int FPasswordAsks = 0, FPasswordErrors = 0;
  bool FPasswordWithheld = false, FPasswordWrong = false, FPasswordRefused = false;
  // Date and size of the entries by stored name, read from the archive's directory on the first
  // file-exists question of a run.
  struct TEntryFacts;
  std::unique_ptr<TEntryFacts> FEntryFacts;
  bool LookupEntry(const std::wstring& storedName, double& date, int64_t& size);
};

// A message text with each "%S" filled in turn.
std::wstring ArcFill(int msg, const std::wstring& a, const std::wstring& b = L"");

// Creates the control class for an archive kind code (any other code gives the base class); the
// code is stored in the control.
std::unique_ptr<TGeneralArchiveControl> CreateArchiveControl(uint8_t arcType);

// What an external archiver receives: the program, its parameters (list part included) and the
// folder it runs in. Built by the per-format controls; exposed for their tests.
struct TArchiverCall {
  std::wstring Program, Params, Folder;
  int ListKind = 0;
  std::wstring ListPrefix;
};

// The library drivers of RAR and ACE plug in here: an extraction through the library for a
// control whose settings leave the work to the program itself. Unset: result arcDllNotLoaded.
using TLibraryExtractDriver = std::function<TArcResultCode(TGeneralArchiveControl& control)>;
extern TLibraryExtractDriver RarLibraryExtract;
extern TLibraryExtractDriver AceLibraryExtract;

// ---- Per-format controls ----

// A control over engine components it owns (either may be absent: a format the engine cannot
// write has no writer, and adding to it fails).
class TEngineArchiveControl : public TGeneralArchiveControl {
 public:
  TEngineArchiveControl(std::unique_ptr<TUnBase> reader, std::unique_ptr<TCompBase> writer);
  ~TEngineArchiveControl() override;
  TArcResultCode Extract() override;
  TArcResultCode Add() override;
  TArcResultCode Delete() override;

 protected:
  // Builds the external archiver's call for operation 'x', 'a' or 'd' and runs it.
  TArcResultCode RunExternal(char operation);
  std::unique_ptr<TUnBase> FReader;
  std::unique_ptr<TCompBase> FWriter;
};

// The external archiver's call for a kind and an operation ('x', 'a', 'd'); empty Program when
// the kind has no external program for it. The list part is not included.
TArchiverCall BuildArchiverCall(const TGeneralArchiveControl& c, TArcKind kind, char operation);
// A switch with its value, the value quoted when it holds a blank or a quote so that it can never
// become another switch.
std::wstring SwitchWithValue(const std::wstring& sw, const std::wstring& value);

class TZipArchiveControl : public TEngineArchiveControl {
 public:
  TZipArchiveControl();
  TArcResultCode Extract() override;
  TArcResultCode Add() override;
  TArcResultCode Delete() override;
};
class TJARArchiveControl : public TEngineArchiveControl {
 public:
  TJARArchiveControl();
};
// RAR and ACE: extraction through the library driver when the settings leave the work to the
// program itself, everything else through the archiver program.
class TRarArchiveControl : public TEngineArchiveControl {
 public:
  TRarArchiveControl();
  TArcResultCode Extract() override;
  TArcResultCode Add() override;
  TArcResultCode Delete() override;
};
class TAceArchiveControl : public TEngineArchiveControl {
 public:
  TAceArchiveControl();
  TArcResultCode Extract() override;
  TArcResultCode Add() override;
  TArcResultCode Delete() override;
};
class TLzhArchiveControl : public TEngineArchiveControl {
 public:
  TLzhArchiveControl();
  TArcResultCode Extract() override;
  TArcResultCode Add() override;
  TArcResultCode Delete() override;
};
class TArjArchiveControl : public TEngineArchiveControl {
 public:
  TArjArchiveControl();
  TArcResultCode Extract() override;
  TArcResultCode Add() override;
  TArcResultCode Delete() override;
};
class TCabArchiveControl : public TEngineArchiveControl {
 public:
  TCabArchiveControl();
  TArcResultCode Add() override;
};
class TBHArchiveControl : public TEngineArchiveControl {
 public:
  TBHArchiveControl();
};
class TGZipArchiveControl : public TEngineArchiveControl {
 public:
  TGZipArchiveControl();
  TArcResultCode Add() override;
};
class TTarArchiveControl : public TEngineArchiveControl {
 public:
  TTarArchiveControl();
  TArcResultCode Add() override;
};
// Read-only formats: adding and deleting fail (the engine cannot write them).
class TArcArchiveControl : public TEngineArchiveControl {
 public:
  TArcArchiveControl();
};
class TZooArchiveControl : public TEngineArchiveControl {
 public:
  TZooArchiveControl();
};
class TSqzArchiveControl : public TEngineArchiveControl {
 public:
  TSqzArchiveControl();
  TArcResultCode Extract() override;
};
class TOmpArchiveControl : public TEngineArchiveControl {
 public:
  TOmpArchiveControl();
  TArcResultCode Extract() override;
};
