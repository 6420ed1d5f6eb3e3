#pragma once
// The compress dialog: archive name (with the ARCNAME history), type, method, volume size,
// password, and the options keep paths, include subfolders and delete after compressing. It keeps
// its controls consistent, validates the volume size and stores the choices in the settings on OK.
#include <string>

#include "foundation/HanForm.h"

class TSysControl;
using TRenSysControl = TSysControl;

class TAddForm : public THanForm {
 public:
  explicit TAddForm(TComponent* owner);

  TRenSysControl* InfoLbl = nullptr;
  THanButton* MCDBtn = nullptr;
  TRenSysControl* OptionGrp = nullptr;
  THanButton* OkBtn = nullptr;
  THanButton* CancelBtn = nullptr;
  TRenSysControl* FullPathCheck = nullptr;
  TRenSysControl* MoveCheck = nullptr;
  TComboBox* NameCombo = nullptr;
  TRenSysControl* ArchiveTypeLabel = nullptr;
  TRenSysControl* ArcTypeCombo = nullptr;
  TRenSysControl* ArcModeLabel = nullptr;
  TRenSysControl* ArcModeCombo = nullptr;
  TRenSysControl* VolumnSizeLabel = nullptr;
  TComboBox* VolumnSizeCombo = nullptr;
  TEdit* PassEdit = nullptr;
  TRenSysControl* PassWdLbl = nullptr;
  TRenSysControl* ShowPassChar = nullptr;
  TRenSysControl* AddSubFolderCheck = nullptr;

  // The volume size in kilobytes (0 = none).
  int GetVolumeSize() const;
  // Whether the volume size text is acceptable (always when the box is disabled).
  bool VolumeSizeValid() const;

  void FormCreate();
  void FormShow() {}
  void McdBtnClick();
  void OkBtnClick();
  void NameComboChange();
  void ArcTypeComboChange();
  void ShowPassCharClick();
  // The selected type's position (0 ZIP .. 9 TAR) and method position (0 best .. 4 store).
  int TypeIndex() const;
  int MethodIndex() const;
  bool Checked(const TRenSysControl* box) const;
  void SetChecked(TRenSysControl* box, bool on);

 private:
  void UpdateTypeControls();
  bool FVolumeValidated = false;
};

// The type list of the dialog, in its order.
extern const wchar_t* const AddFormTypeNames[10];
// The volume size in KB of a text as the dialog reads it: digits in order, "K" or "M" (the last
// wins) for the unit; 0 for none or a number out of range. valid: the text is acceptable.
int ParseVolumeSize(const std::wstring& text, const std::wstring& noneItem, bool& valid);
