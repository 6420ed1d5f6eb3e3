#pragma once
// The drive bar: one button per drive, captioned with its letter, tagged 100 + the drive's
// index (the letter's code + 35), its hint the kind of drive and its image the shell's small
// icon of the drive's root. A click on a drive button reaches OnDriveClick with the button.
#include <functional>
#include <memory>

#include "foundation/ToolBtn.h"
#include "framework/Handles.h"

class TDriveBar : public THToolBar {
 public:
  explicit TDriveBar(TComponent* owner);
  ~TDriveBar() override;
  // -1: the drives present now. Nothing happens when the mask equals the last one.
  void RebuildDrives(int driveMask);
  // Presses the button of that drive and releases the others.
  void SetCurrentDrive(wchar_t letter);
  TToolButton* DriveButton(wchar_t letter) const;
  std::function<void(TToolButton* button)> OnDriveClick;

 private:
  // The pictures, shared by the bars that show the same drives.
  std::shared_ptr<TImageListHandle> FImages;
  int FMask = 0;
};
