#pragma once
// Split, join and merge. A file is cut into numbered pieces (".001" upward) with a CRC-32
// list (".crc") and optionally a batch file that joins them again; pieces are joined back
// with a check of every piece's size and CRC; several files are merged end to end into one.
// TSplitForm asks the split options; TSplitCombineForm is the progress window and the engine
// of all three, run modally by hand. Pieces may go to and come from removable disks with
// prompts for the next disk.
//
// A run never writes over one of its inputs, and a failed or cancelled run removes exactly
// what it created (checked by path and volume), nothing else.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fileops/OpForm.h"
#include "fileops/SplitFormat.h"
#include "foundation/G_GUAGE.h"
#include "foundation/HLABEL.h"

class TSysControl;
class TWriteBehind;
using TRenSysControl = TSysControl;

enum TSplitMode : uint8_t { smSplit = 0, smJoin = 1, smMerge = 2 };
// The result of a join: every CRC matched, a CRC error was found, or no CRC was used.
enum TJoinCrcState : uint8_t { jcsMatched = 0, jcsCrcError = 1, jcsNoCrc = 2 };

class TSplitForm : public THanForm {
 public:
  explicit TSplitForm(TComponent* owner);

  TControl* PathLbl = nullptr;
  THanButton* MCDBtn = nullptr;
  THanButton* OkBtn = nullptr;
  THanButton* CancelBtn = nullptr;
  TComboBox* NameCombo = nullptr;
  TControl* OptionGrp = nullptr;
  TControl* VolumnSizeLabel = nullptr;
  TComboBox* VolumnSizeCombo = nullptr;
  TRenSysControl* SourceRemove = nullptr;
  TRenSysControl* MakeBatch = nullptr;
  TControl* GroupBox1 = nullptr;
  THanLabelEX* InfoLbl = nullptr;

  // Set by the caller: the source's full path and size, and the suggested first piece.
  std::wstring SourceName;
  int64_t SourceSize = 0;
  std::wstring TargetPath;
  // Computed: the piece size (0 automatic) and count (0 unknown).
  int64_t PieceSize = 0;
  int64_t PieceCount = 0;

  void FormShow();
  void UpdateSplitInfo();
  void VolumnSizeComboChange() { UpdateSplitInfo(); }
  void MCDBtnClick();
  // The checks of OK; false keeps the dialog open.
  bool OkBtnClick();
  static int64_t ParsePieceSize(const std::wstring& text) { return ::ParsePieceSize(text); }
  bool Checked(TRenSysControl* box) const;
  void SetChecked(TRenSysControl* box, bool on);
};

class TSplitCombineForm : public TProgressForm {
 public:
  explicit TSplitCombineForm(TComponent* owner);
  ~TSplitCombineForm() override;

  // Arguments.
  TSplitMode Mode = smSplit;
  std::wstring Source;      // a path; for Merge the CR-separated paths in order
  std::wstring Target;      // Split: the first piece's path; Join and Merge: the output folder
  int64_t PieceSize = 0;    // Split: 0 automatic
  int64_t MergeTotal = 0;   // Merge: the sum of the sizes
  // Results.
  bool Success = false;
  TJoinCrcState CrcState = jcsMatched;
  bool SourceDeleted = false;
  std::wstring OutputPath;  // Join and Merge: the file written

  void RunOperation() override;
  // Draws the figures at once (the questions of a run call it first).
  void FlushProgress() override;

  bool ShowTotalBar = true, ShowCounter = true;

  // Called at every refresh of the progress, before the queue is pumped.
  std::function<void(TSplitCombineForm* sender)> OnProgress;
  // The removable-disk mode: set by the run from the drive type; tests may force it.
  bool DiskChange = false;
  bool ForceDiskChange = false;
  // Block size in bytes (set by the run).
  DWORD BlockSize = 0x100000;

 private:
  enum TOverwrite { owOverwritten, owRetry, owCancel };
  struct TCreated {
    std::wstring Path;
    DWORD Volume = 0, IndexHigh = 0, IndexLow = 0;
  };
  void SplitFile();
  bool WriteCrcAndBatch();
  bool WriteListFile(const std::wstring& path, const std::wstring& text, const wchar_t* kind);
  void DeleteIncompletePieces(bool userStop);
  void JoinFiles();
  void ReadCrcFile();
  bool GetJoinOutputName(HANDLE firstPiece);
  // Copies the current piece's bytes; a failure is shown naming the file it happened on, the one
  // read (inputPath) or the one written (outputPath).
  bool CopyPieceData(bool computeCrc, HANDLE input, const std::wstring& inputPath, HANDLE output,
                     const std::wstring& outputPath);
  // The overwrite question; with removeNow the old file is deleted at once (else the caller
  // replaces it when the new one is complete).
  TOverwrite AskOverwritePiece(const std::wstring& path, bool withRetry, bool removeNow = true);
  // Yes / All / Cancel with the All answer remembered; false for Cancel.
  bool AskContinueAll(const std::wstring& text, bool& all);
  bool AskDisk(int msg, int titleMsg, const std::wstring& path, int secondButtonMsg);
  bool OutputIsInput(const std::wstring& path) const;
  void Remember(HANDLE created, const std::wstring& path);
  // Makes path new, or, when it takes the place of a file there (beside), a new file next to
  // it (path + ".~n"), to be swapped in once complete. writePath: the file made.
  static HANDLE CreateOutput(const std::wstring& path, bool beside, std::wstring& writePath, DWORD& error);
  // Puts the file written beside target in its place; a failure is shown.
  bool SwapIn(const std::wstring& written, const std::wstring& target);
  bool RemoveCreated(const TCreated& c);
  // The piece's names and sizes, drawn with the next drawing of the figures.
  void ShowSplitNames();
  void PaintSplitNames();
  void UpdateSplitProgress();
  std::wstring PiecePath(int64_t number) const;
  bool ShowFailure(const std::wstring& text);

  // Run state.
  std::wstring FSourceFolder, FSourceName, FTargetFolder, FTargetName, FBase, FCurrentPath;
  std::vector<std::wstring> FMergeList;
  int64_t FPieceNo = 0, FPieceCount = 0, FTotal = 0, FTotalDone = 0, FPieceSize = 0, FPieceDone = 0;
  int64_t FBytesMoved = 0;
  // The reading loop's buffers and the thread that sums and writes behind it, for one run.
  std::unique_ptr<TWriteBehind> FPipe;
  uint32_t FCrc = 0xFFFFFFFF;
  std::string FHeader;
  size_t FHeaderPending = 0;
  int FOverwriteAnswer = -1;
  bool FSizeAll = false, FCrcAll = false;
  FILETIME FTimes[3]{};
  TCrcList FList;
  std::vector<TPieceListEntry> FPieceEntries;
  std::vector<TCreated> FCreated;
  std::vector<BY_HANDLE_FILE_INFORMATION> FInputs;
  bool FIoFailed = false;
  double FIoSeconds = 0;
  int64_t FLastSpeedSecond = 0;
  ULONGLONG FLastPaint = 0, FLastPump = 0;
  bool FNamesPending = false;
  LARGE_INTEGER FStart{};
};

// Creates the progress window, runs it and returns Success with the state and the deletion.
bool RunSplitCombine(TComponent* owner, TSplitMode mode, const std::wstring& source, const std::wstring& target,
                     int64_t pieceSize, int64_t mergeTotal, TJoinCrcState& crcState, bool& sourceDeleted);

class TMFList;
// The main form's commands on a list: split the focused file (the split dialog suggests the
// other panel's folder), join each selected ".001" piece, merge the selected files in their
// selection order; the target folder of join and merge is asked with the target chooser.
// True when something was written.
bool SplitCommand(TMFList& list, const std::wstring& otherFolder);
bool JoinCommand(TMFList& list, const std::wstring& otherFolder);
bool MergeCommand(TMFList& list, const std::wstring& otherFolder);

// Puts the split, join and merge commands in place; called once at start-up.
void InstallSplitCommands();
