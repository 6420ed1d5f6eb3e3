#pragma once
// The extract dialog: target folder (with the TARGET history and the folder chooser), the file
// masks, the password, and the options restore paths and overwrite all. The choices are
// stored in the settings on OK.
#include <string>

#include "foundation/HanForm.h"

class TSysControl;
using TRenSysControl = TSysControl;

class TExtractForm : public THanForm {
 public:
  explicit TExtractForm(TComponent* owner);

  THanButton* McdBtn = nullptr;
  TRenSysControl* OptionGrp = nullptr;
  TRenSysControl* PassWordLbl = nullptr;
  TRenSysControl* FullPath = nullptr;
  TRenSysControl* OverWriteAll = nullptr;
  THanButton* OkBtn = nullptr;
  THanButton* CancelBtn = nullptr;
  TRenSysControl* ExtrThis = nullptr;
  TRenSysControl* SpecLbl = nullptr;
  TEdit* SpecEdit = nullptr;
  TEdit* PassEdit = nullptr;
  TRenSysControl* ShowPassChar = nullptr;
  TRenSysControl* Bevel1 = nullptr;
  TComboBox* PathCombo = nullptr;

  void FormShow();
  void FormActivate() {}
  void McdBtnClick();
  void OkBtnClick();
  void ExtrThisClick();
  void ShowPassCharClick();
  bool Checked(const TRenSysControl* box) const;
  void SetChecked(TRenSysControl* box, bool on);
};
