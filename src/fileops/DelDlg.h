#pragma once
// Delete: a list of files and folders goes to the recycle bin through the shell, or is
// deleted for good with the window's own progress, the protected-file and non-empty-folder
// questions and the error answers. Descriptions and the folder tree cache follow what was
// really removed; an item kept by an answer or an error keeps both.
//
// A folder link (junction or symbolic link) is removed as a link: what it points to is never
// entered. An attribute taken off so that an item can go is put back when it then stays.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fileops/OpForm.h"
#include "foundation/G_GUAGE.h"
#include "foundation/HLABEL.h"

class TMCDTreeMan;
class THanDescMan;
class TMFList;

struct TDelItem {
  std::wstring FullPath;
  std::wstring ShortName;  // the file part of the 8.3 name
  int32_t Attr = 0;        // 0x10: a folder
};

// Buttons of the protected-file and non-empty-folder questions (message 10409).
enum TDeleteAnswer : int { daYes, daAll, daNo, daCancel };

class TDeleteForm : public TOperationForm {
 public:
  explicit TDeleteForm(TComponent* owner);
  ~TDeleteForm() override;

  bool Recycle = true;
  // Appends an item. fileCount <= 0: 1 in recycle mode, else the folder's files are counted.
  void AddItem(const std::wstring& fullPath, const std::wstring& shortName, int32_t fileCount, int32_t attr);
  // Recycle mode: the shell's operation, then the window that was active is active again.
  // Permanent mode: the modal run by hand. ModalResult as the run left it.
  int Execute();
  void RunOperation() override;
  void RecycleItems();
  void DeleteItems();

  // At least one item was removed.
  bool Changed = false;
  const std::vector<std::unique_ptr<TDelItem>>& Items() const { return FItems; }
  int32_t TotalFiles() const { return FTotalFiles; }
  int32_t FilesDone() const { return FFilesDone; }

  // The shell's file operation of recycling (tests put a stand-in in its place).
  static std::function<int(SHFILEOPSTRUCTW& op)> ShellFileOperation;

  THanPathLabel* PathLabel = nullptr;
  THanElLabel* NameLabel = nullptr;
  THanElLabel* CountLabel = nullptr;
  TGProgress* Bar = nullptr;
  THanElLabel* PercentLabel = nullptr;
  THanButton* CancelBtn = nullptr;

 private:
  enum TFolderResult { frDeleted, frKept, frStop };
  bool DeleteOneFile(const std::wstring& path, int32_t attr);
  TFolderResult DeleteFolderRecursive(const std::wstring& path);
  TFolderResult RemoveEmptyFolder(const std::wstring& path, DWORD attr);
  bool AskDeleteError(const std::wstring& text);
  void ShowDeleteProgress(const std::wstring& path, bool force);
  // What follows an item that is gone: its description, its tree node, the changed flag.
  void ItemRemoved(const TDelItem& item);
  // The descriptions of the item's folder, opened on first use.
  THanDescMan* Descriptions(const std::wstring& folder);
  TMCDTreeMan* Tree(const std::wstring& path);
  void FinishDescriptions();
  bool Stopped() const { return FErrorAnswer == 2 || StopConfirmed(); }

  std::unique_ptr<TMCDTreeMan> FTree;
  std::vector<std::unique_ptr<TDelItem>> FItems;
  int32_t FTotalFiles = 0;
  std::map<std::wstring, std::unique_ptr<THanDescMan>> FDescs;  // by upper-cased folder
  std::vector<std::wstring> FDescFileGone;                       // folders whose DESCRIPT.ION went

  // Run state of a permanent delete.
  int32_t FFilesDone = 0, FFilesTotal = 0;
  int FProtectedAnswer = daYes, FFolderAnswer = daYes;
  int FErrorAnswer = 0;  // 0 none, 1 skip all, 2 cancelled
  bool FPassedOver = false;
};

// The main form's delete of a file list's selection (else its focused item): to the recycle
// bin, or permanently after the question. True when something was removed.
bool DeleteListItems(TMFList& list, bool permanent);
// The same for one folder (the panel's folder tree's); never a drive root.
bool DeleteFolderPath(const std::wstring& folderPath, bool permanent);

// Puts the delete command (menu, Alt+D, Del, Shift+Del, F8) in place; called once at start-up.
void InstallDeleteCommand();
