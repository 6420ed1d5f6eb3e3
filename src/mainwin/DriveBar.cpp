#include "mainwin/DriveBar.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "foundation/MYTOOL.h"

TDriveBar::TDriveBar(TComponent* owner) : THToolBar(owner) {
  FImages.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8));
  for (const wchar_t* name : {L"MAIN_BACK16", L"MAIN_FORWARD16", L"MAIN_UPDIR16", L"MAIN_ROOT16", L"MAIN_CHDRV16"})
    AddBitmapResToImageList(FImages.get(), name);
  FFixedImages = ImageList_GetImageCount(FImages.get());
  SetImages(FImages.get());
  SetShowCaptions(true);
  List = true;
}

TDriveBar::~TDriveBar() {
  ClearButtons();
}

namespace {
// What the shell says of each drive, asked once for a set of drives: both panels' bars show
// the same drives, and asking the shell for a drive's icon and kind is slow.
struct TDriveLook {
  wchar_t Letter = 0;
  TIconHandle Icon;
  std::wstring Hint;
};
struct TDriveLooks {
  int Mask = 0;
  bool Filled = false;
  std::vector<TDriveLook> Drives;
};

const std::vector<TDriveLook>& DriveLooks(int driveMask) {
  static TDriveLooks looks;
  if (looks.Filled && looks.Mask == driveMask) return looks.Drives;
  looks.Drives.clear();
  looks.Mask = driveMask;
  looks.Filled = true;
  for (int i = 0; i < 26; ++i) {
    if (!(driveMask & (1 << i))) continue;
    TDriveLook look;
    look.Letter = static_cast<wchar_t>(L'A' + i);
    const std::wstring root = std::wstring(1, look.Letter) + L":\\";
    SHFILEINFOW info{};
    if (SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) && info.hIcon)
      look.Icon.reset(info.hIcon);
    switch (GetDriveTypeW(root.c_str())) {
      case DRIVE_FIXED: look.Hint = L"HDD"; break;
      case DRIVE_REMOTE: look.Hint = L"Network"; break;
      case DRIVE_CDROM: look.Hint = L"CD"; break;
      case DRIVE_RAMDISK: look.Hint = L"RAM"; break;
      default: break;
    }
    looks.Drives.push_back(std::move(look));
  }
  return looks.Drives;
}
}  // namespace

void TDriveBar::RebuildDrives(int driveMask) {
  if (driveMask == -1) driveMask = static_cast<int>(GetLogicalDrives());
  if (driveMask == FMask && ButtonCount() > 0) return;
  FMask = driveMask;
  BeginUpdate();
  ClearButtons();
  while (ImageList_GetImageCount(FImages.get()) > FFixedImages) ImageList_Remove(FImages.get(), FFixedImages);
  for (const TDriveLook& look : DriveLooks(driveMask)) {
    const int image = look.Icon ? ImageList_AddIcon(FImages.get(), look.Icon.get()) : -1;
    TToolButton* b = AddToolButton(this, std::wstring(1, look.Letter), true, nullptr, tbsCheck, 100 + (look.Letter - L'A'),
                                   image, true, nullptr);
    b->Hint = look.Hint;
    b->OnClick = [this, b](TComponent*) {
      if (OnDriveClick) OnDriveClick(b);
    };
  }
  Relayout();
  EndUpdate();
}

TToolButton* TDriveBar::DriveButton(wchar_t letter) const {
  int tag = 100 + (towupper(letter) - L'A');
  for (int i = 0; i < ButtonCount(); ++i)
    if (Buttons(i)->Tag == tag) return Buttons(i);
  return nullptr;
}

void TDriveBar::SetCurrentDrive(wchar_t letter) {
  TToolButton* current = DriveButton(letter);
  for (int i = 0; i < ButtonCount(); ++i) Buttons(i)->SetDown(Buttons(i) == current);
}
