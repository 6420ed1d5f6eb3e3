#pragma once
// Attributes and dates: the window shows each item's current attributes and last-write time,
// the user sets the new ones (a grey box leaves that bit as each item has it; a blank field
// of the date keeps the item's own value) and presses Change, Change all, Skip or Cancel.
// A folder can have its own attributes and time changed and, on request, those of every file
// below it. An attribute taken off for a date change is put back when the change then fails.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fileops/OpForm.h"
#include "fileops/RenDlg.h"
#include "foundation/HLABEL.h"
#include "framework/MaskEdit.h"

class TMFList;

// The text of a date and time as the window shows it: "yyyy-mm-dd", a line break, "hh:mm:ss".
std::wstring AttrDateLabelText(TDateTime t);
// The typed text merged with the item's own date label: every place that is not a digit
// takes the label's character at that place (except at the label's line break), then the
// fields are read. False when a field is not a number or the date or time does not exist;
// merged is the text that was read either way.
bool MergeAttrDate(const std::wstring& typed, const std::wstring& label, std::wstring& merged, TDateTime& result);

class TAttrForm : public TOperationForm {
 public:
  explicit TAttrForm(TComponent* owner);

  void ClearItems() { FItems.clear(); }
  void AddItem(const std::wstring& fullPath) { FItems.push_back(fullPath); }
  const std::vector<std::wstring>& Items() const { return FItems; }
  void SetHasFolders(bool v);
  void SetHasFiles(bool v);
  int Execute() { return TOperationForm::Execute(); }
  void RunOperation() override;

  bool Changed = false;
  // The paths of the items done, joined by CR.
  std::wstring DoneList;
  // Each time the window waits for a button (after the item is shown).
  std::function<void(TAttrForm& form)> OnWaitItem;

  // Controls.
  THanButton* ChangeAllBtn = nullptr;
  THanButton* ChangeBtn = nullptr;
  THanButton* SkipBtn = nullptr;
  THanButton* CancelBtn = nullptr;
  THanLabelEX* TargetLabel = nullptr;
  TRenSysControl* CurBox[4] = {};  // archive, read-only, hidden, system
  TRenSysControl* CurDateLabel = nullptr;
  TRenSysControl* NewBox[4] = {};  // tri-state, the same order
  TRenSysControl* GreyLabel = nullptr;
  TRenSysControl* DateCheck = nullptr;
  TMaskEdit* DateEdit = nullptr;
  TRenSysControl* SubFolderCheck = nullptr;
  TRenSysControl* FolderAttrCheck = nullptr;

  // A check box's state: BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
  static int CheckState(const TRenSysControl* box);
  static void SetCheckState(TRenSysControl* box, int state);

 private:
  struct TItemState {
    std::wstring Path;
    int32_t Attr = 0;
    bool Folder = false;
    int32_t Baseline = 0;
    int32_t Wanted = 0;
    TDateTime Time = 0, WantedTime = 0;
  };
  bool ReadItem(const std::wstring& path, TItemState& item);
  void ShowAttrItem(const TItemState& item, int index);
  // False with merged set when the date text does not make a date.
  bool ReadNewValues(TItemState& item, std::wstring& merged);
  bool ChangeOneItem(TItemState& item);
  bool ChangeFolderRecursive(const std::wstring& folder);
  bool AskAttrError(const std::wstring& text);
  void EnableButtons(bool enable);
  void FormKeyDown(WORD& key, TShiftState shift);

  std::vector<std::wstring> FItems;
  bool FHasFolders = false, FHasFiles = false;
  bool FChangeAll = false, FSkipAllErrors = false, FCancelled = false;
};

// The main form's attributes command on a file list's selection (else its focused item).
// True when something changed.
bool ChangeListAttributes(TMFList& list, const std::function<void(TAttrForm& form)>& onWaitItem = nullptr);
// The same for one folder (the panel's folder tree's).
bool ChangeFolderAttributes(const std::wstring& folderPath,
                            const std::function<void(TAttrForm& form)>& onWaitItem = nullptr);

// Puts the attributes command (menu, Ctrl+Z, F9) in place; called once at start-up.
void InstallAttrCommand();
