#pragma once
// The archive progress window, in which every archive operation runs (modal by hand, with the
// file and overall bars, counters, speed, and the questions of the run), and the entry points
// of the archive commands: extract (volume sets resolved and counted), add and delete inside.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/layer/ArcCtrl.h"
#include "fileops/OpForm.h"

class THanArcTree;
class TMCDTreeMan;

// The shared progress layout (OpForm) placed as the archive window has it; Stop is its cancel
// button.
class TArcForm : public TProgressForm {
 public:
  explicit TArcForm(TComponent* owner);
  ~TArcForm() override;

  TGroupFrame* GroupBox = nullptr;
  THanButton* StopBtn = nullptr;

  std::unique_ptr<THanArcTree> Tree;
  std::wstring Folder;  // add: the names' folder; extract: the target with "\"; delete: empty
  std::wstring ArchiveName;
  const TStringList* List = nullptr;  // the caller's
  uint8_t ArcType = 0;
  uint8_t Mode = 0;  // 0 add, 1 extract, 2 delete

  bool KeepPaths = true;
  bool Move = false;
  bool SubFolders = true;
  std::wstring Password;
  int32_t Level = 5;
  int64_t VolumeSize = 0;
  bool OverwriteAll = false;
  int64_t StartOffset = 0;
  int32_t FurtherOption = 0;
  bool Silent = false;

  int64_t PresetTotalBytes = -1, PresetTotalFiles = -1;
  int64_t TotalBytes = 0, BytesDone = 0, TotalFiles = -1, FilesDone = 0;

  int OverwriteAnswer = 0;
  bool PasswordForAll = false;
  std::wstring LastPasswordFile;
  std::wstring RenameFolder;
  uint8_t Result = 0;
  bool OverallShown = true;
  std::unique_ptr<TMCDTreeMan> FolderTree;

  int ExecuteModal();
  void BeginRun();
  void EndRun();
  void Run();
  void RunOperation() override { Run(); }
  void SetOverallVisible(bool visible);
  std::wstring ModeCaption() const;
  // Whether the window is shown for this operation (the program's own code does the work).
  bool ShownForWork() const;

  // The control's events.
  void ArchiveBegin(TGeneralArchiveControl* c, const std::wstring& archiveName, int64_t totalBytes, int64_t totalFiles);
  void FileBegin(TGeneralArchiveControl* c, const std::wstring& fileName, int64_t size, int64_t packedSize);
  void FileEnd(TGeneralArchiveControl* c, int64_t bytes);
  void Progress(TGeneralArchiveControl* c, int64_t total, int64_t done);
  void TotalProgress(TGeneralArchiveControl* c, int64_t total, int64_t done);
  void VolumeFound(TGeneralArchiveControl* c, const std::wstring& volumeName);
  void AskVolume(TGeneralArchiveControl* c, bool editable, std::wstring& volumeName);
  void AskPassword(TGeneralArchiveControl* c, const std::wstring& fileName, std::wstring& password);
  void FileExists(TGeneralArchiveControl* c, bool& overwrite, double entryDate, int64_t entrySize,
                  std::wstring& targetName, bool& cancel);
  void FolderCreated(TGeneralArchiveControl* c, const std::wstring& path);
  // Runs the stop check; tells the control to stop when the stop is confirmed.
  void StopCheck();

 private:
  TGeneralArchiveControl* Control() const;
  void SetBytesLabel(THanElLabel* label, int64_t value);
  void RefreshCounter();
  // Skip (true) or cancel (false) after an error text.
  bool ErrorQuestion(const std::wstring& text);
  std::vector<HWND> FDisabled;
  HWND FPrevious = nullptr;
  HCURSOR FSavedCursor = nullptr;
  bool FFileDone = false;
};

// One archive to extract.
struct TArcSetEntry {
  std::wstring Name;  // the full file name (at most 255 characters)
  int64_t StartOffset = 0;
  uint8_t ArcType = 0;
};

// Extraction flags.
constexpr uint8_t efKeepPaths = 0x02, efNoDialog = 0x04, efOverwrite = 0x08, efSilent = 0x10;

bool ExtractArchives(TForm* form, const std::wstring& folder, std::wstring& resultFolder, bool single,
                     bool otherIsArchive, bool& chooserShown, bool& foldersChanged, const std::wstring& names,
                     uint8_t flags, const std::wstring& archiveName, const std::wstring& innerFolder, uint8_t arcType,
                     int64_t startOffset, int64_t totalBytes, int64_t totalFiles, const std::wstring& forcedTarget);
bool AddToArchive(TForm* form, std::wstring& archiveName, int folderCount, int fileCount, const std::wstring& names,
                  bool showFullName, const std::wstring& baseFolder, bool directAdd, int flags, bool& flag1,
                  bool& flag2);
bool DeleteFromArchive(TForm* form, std::wstring& archiveName, int reserved1, const std::wstring& names,
                       uint8_t arcType, int reserved2);

// Called with each options dialog just before it is shown (tests fill it and press its buttons).
extern std::function<void(THanForm& dialog)> ArcDialogShown;

// The type code of a position in the compress dialog's type list.
uint8_t AddTypeCode(int position);
// The volume-set resolution of a selection of archive files (not a single archive): the plain
// list in extraction order; counts and whether they are complete. False when stopped.
struct TExtractPlan {
  std::vector<TArcSetEntry> Plain;
  int64_t TotalBytes = 0, TotalFiles = 0;
  bool Incomplete = false;
  bool LastWasArj = false;
  std::vector<std::wstring> NoFirstVolume;  // left out: no first volume found
  std::vector<std::wstring> Unreadable;     // could not be listed for counting
};
bool PlanExtraction(const std::vector<TArcSetEntry>& plain, const std::vector<TArcSetEntry>& rar,
                    const std::vector<TArcSetEntry>& ace, const std::vector<TArcSetEntry>& arj,
                    TGeneralArchiveControl& selection, TExtractPlan& plan, const std::function<bool()>& stopped);
