#pragma once
// Copy and move: the progress window that is also the engine of the job. The caller sets the
// direction and the folders, adds the items in selection order, runs Execute and reads what
// changed and which items were processed.
//
// Files are copied in blocks through one buffer; a move on one drive renames through the
// shell. Nothing is ever lost: a target that is the source itself by another path is never
// deleted or overwritten, a source is deleted only after its copy is complete and closed, a
// half-written target is removed, and folder walks never enter links (the link itself is
// copied or moved).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fileops/OpForm.h"
#include "foundation/G_GUAGE.h"
#include "foundation/HLABEL.h"
#include "foundation/MYTOOL.h"

class TMCDTreeMan;

struct TCopyItem {
  std::wstring Name;        // relative to SourceFolder; a full path without SingleSourceFolder
  std::wstring ShortName;   // 8.3 name
  std::wstring TargetName;  // name in the target folder; empty: Name
  int64_t Size = 0;         // for a folder the total of the files below it
  TDateTime Date = 0;       // last write, local
  int32_t Attr = 0;
  int32_t FileCount = 1;
  std::wstring NewNamePath;  // set when the new-name answer gave the file a new name
  bool Done = false;         // processed: written, or passed over by an answer or an error
  bool Written = false;      // really copied or moved: its description follows it
};

// Buttons of the same-name question, in order; without RestOnly, Cancel is button 6.
enum TSameNameAnswer : int { snYes, snAll, snSkipAll, snSkip, snNewerOnly, snNewName, snRestOnly, snCancel };
// Buttons of the folder-merge question, in order.
enum TFolderMergeAnswer : int { fmYes, fmAll, fmSkipAll, fmSkip, fmReplace, fmReplaceAll, fmCancel };

class TCopyMoveForm : public TProgressForm {
 public:
  explicit TCopyMoveForm(TComponent* owner);
  ~TCopyMoveForm() override;

  bool IsCopy = true;
  std::wstring SourceFolder, TargetFolder;  // with trailing backslash
  bool SingleSourceFolder = true;

  // Appends an item; a folder with a file count of 0 or less is walked for its count and size.
  void AddItem(const std::wstring& name, const std::wstring& shortName, int32_t fileCount, int32_t attr,
               TDateTime date, int64_t size, const std::wstring& targetName = L"");
  // The modal run by hand. 1 when the run ended through Cancel or a failed file, else 0.
  int Execute();
  void RunOperation() override;

  bool SourceChanged = false, TargetChanged = false;
  // The names of the processed items in item order, joined by CR.
  void GetDoneList(std::wstring& text) const;
  const std::vector<std::unique_ptr<TCopyItem>>& Items() const { return FItems; }
  int32_t TotalFiles() const { return FTotalFiles; }
  int64_t TotalBytes() const { return FTotalBytes; }

  // Called at every refresh of the progress, before the queue is pumped.
  std::function<void(TCopyMoveForm* sender)> OnProgress;
  int64_t BytesDone() const { return FBytesDone; }
  // Seconds this run spent refreshing the window (labels, bars, title, the queue).
  double UpdateSeconds = 0;

  // The speed label's seconds of the previous refresh, kept across runs.
  static int64_t LastSpeedSeconds;

 private:
  enum TSameNameResult { snrStop, snrWrite, snrSkip, snrSameFile };
  struct TNewNameRec {
    std::wstring SourceDir, TargetDir, OldName, NewName;
  };

  bool CopyOneFile(const std::wstring& sourcePrefix, const std::wstring& targetPrefix, TCopyItem& item);
  TSameNameResult CheckSameName(const std::wstring& source, std::wstring& target, HANDLE sourceFile,
                                TCopyItem& item, const std::wstring& sourcePrefix, const std::wstring& targetPrefix);
  std::wstring AskNewName(const std::wstring& checkFolder, const std::wstring& current);
  int CreateTargetFolder(const std::wstring& path);
  bool CopyFolderRecursive(const std::wstring& sourcePrefix, const std::wstring& targetPrefix);
  bool CopyLink(const std::wstring& source, const std::wstring& target);
  bool MoveFolderSameDrive(TCopyItem& item);
  bool ShellMove(const std::wstring& source, const std::wstring& target, bool folder);
  bool DeleteFolderTree(const std::wstring& path);
  // The error question; the part of the current file not yet done counts as done.
  bool ErrorQuestion(const std::wstring& text);
  bool StopCheck();
  // Every step calls UpdateCopyProgress: it calls OnProgress each time, but repaints the labels
  // and bars at most every PaintInterval milliseconds and pumps the queue at most every
  // PumpInterval, since doing either after every block or small file costs more than copying
  // it. FlushProgress repaints at once.
  void UpdateCopyProgress();
  // Notes the names of the file begun; the next repaint shows them.
  void ShowCopyNames(const std::wstring& prefix, const TCopyItem& item);
  void PaintCopyNames();
  void PaintProgressNow();
  void FlushProgress() override { PaintProgressNow(); }
  void CarryDescriptions();
  void SetFolderFlags();
  TMCDTreeMan* TargetTree() const;
  void TimeIo(bool start);

  std::vector<std::unique_ptr<TCopyItem>> FItems;
  std::vector<TNewNameRec> FNewNames;
  int32_t FTotalFiles = 0;
  int64_t FTotalBytes = 0;
  std::unique_ptr<TMCDTreeMan> FSourceTree, FTargetTree;
  bool FRemoveReadOnly = false;
  bool FContainsTarget = false;
  double FIoSeconds = 0;
  // Milliseconds between repaints of the figures and between looks at the message queue.
  static constexpr int64_t PaintInterval = 100, PumpInterval = 10;
  int64_t FLastPaint = 0, FLastPump = 0;  // performance-counter ticks
  bool FNamesPending = false;
  std::wstring FNamesPrefix, FNamesItem;
  int64_t FNamesSize = 0;
  LARGE_INTEGER FIoStart{};

  // Run state.
  int32_t FFilesStarted = 0, FFilesTotal = 0;
  int64_t FBytesTotal = 0, FBytesDone = 0, FFileDone = 0, FFileSize = 0, FBytesWritten = 0;
  int64_t FResumeOffset = 0;
  DWORD FBlockSize = 0x80000;
  std::vector<char> FBuffer;
  int FSameAnswer = snYes, FMergeAnswer = fmYes;
  bool FSameRoot = false, FSameFolder = false, FMoveByRename = false;
  TCopyItem* FCurrentTop = nullptr;
  std::wstring FInfoBlock;
};

class TMFList;

// A file list's items to process: the selection in its order, else the focused item; never
// the parent entry or a drive.
std::vector<int> ItemsToProcess(TMFList& list);

// The main form's copy (F5) and move (F6) of the active panel's items: the selection in the
// order it was made, else the focused item; the target chosen with the target chooser (the
// suggestion, usually the other panel's folder, and the target history), recorded in the
// history; then the processed items are unselected. The caller rereads both panels.
struct TCopyMoveCommandResult {
  bool Ran = false;
  bool SourceChanged = false, TargetChanged = false;
  std::wstring Target;
};
TCopyMoveCommandResult CopyMoveCommand(bool copy, TMFList& source, const std::wstring& suggestedTarget);
// The same with the target already chosen (drops, the folder manager).
TCopyMoveCommandResult CopyMoveItems(bool copy, TMFList& source, const std::wstring& target);
// One folder (the panel's folder tree's) copied or moved, the target asked as above.
TCopyMoveCommandResult CopyMoveFolderCommand(bool copy, const std::wstring& folderPath,
                                             const std::wstring& suggestedTarget);

// Puts the copy and move commands (menu, keys F5 and F6, the numbered commands) and the
// folder tree cache of the file lists in place; called once at start-up.
void InstallFileOperations();
