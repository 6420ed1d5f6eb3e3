#pragma once
// The editors of the user programs: the programs bound to the 18 function-key slots (a command
// line or one of the numbered commands, with a title for the function-key line) and the
// programs bound to file extensions (the extensions, a title and a command line, in the order
// the choice pop-up lists them). Both edit a copy in a list; OK checks the rows, writes
// Q7XPRG.CFN and refreshes the function-key line; Cancel changes nothing.
#include <array>
#include <functional>
#include <vector>

#include "foundation/ExtDef.h"
#include "foundation/HanForm.h"

class TScrListView;
class TSysControl;

class TExtBoxForm : public THanForm {
 public:
  // keys: the function-key editor (command 4201), else the extension editor (4202).
  TExtBoxForm(TComponent* owner, bool keys);

  bool Keys() const { return FKeys; }
  // The rows as edited.
  std::array<THanProgram, FunctionKeySlots> KeyPrograms;
  std::vector<TExtProgram> ExtPrograms;

  // The selected row, or -1.
  int Selected() const;
  void Select(int row);
  // Row operations: a new extension row (the function keys have their fixed rows), delete
  // (a function key's row is cleared), and moves (the programs trade keys).
  void AddRow();
  void DeleteRow();
  void MoveRow(bool up);
  // Every row is whole (an extension row has extensions and a command; a key row with a title
  // or extensions has a command); else the user is told and the row selected.
  bool Validate();
  void OkBtnClick();

  TScrListView* List = nullptr;
  TEdit* ExtEdit = nullptr;  // extension editor only
  TEdit* TitleEdit = nullptr;
  TEdit* CommandEdit = nullptr;
  TSysControl* CommandNoCombo = nullptr;  // function-key editor only
  THanButton *AddBtn = nullptr, *DeleteBtn = nullptr, *UpBtn = nullptr, *DownBtn = nullptr;
  THanButton *OkBtn = nullptr, *CancelBtn = nullptr;

 private:
  void FillList(int select);
  void UpdateRow(int row);
  void LoadFields();
  void StoreFields();
  static std::wstring SlotName(int slot);
  bool FKeys;
  bool FLoading = false;
  int FShownRow = -1;
};

// Runs an editor; true on OK (the programs changed and were saved).
bool RunProgramEditor(bool keys);
// Called when an editor is shown (tests drive it from here).
extern std::function<void(TExtBoxForm& form)> ExtBoxShown;
// Commands 4201 and 4202.
void InstallProgramEditors();
