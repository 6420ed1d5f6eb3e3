#include "mainwin/DriveBar.h"

#include <shellapi.h>

#include <string>
#include <vector>

#include "foundation/MYTOOL.h"

TDriveBar::TDriveBar(TComponent* owner) : THToolBar(owner) {
  SetShowCaptions(true);
  List = true;
}

TDriveBar::~TDriveBar() {
  ClearButtons();
}

namespace {
// What the shell says of each drive, asked once for a set of drives: every panel's bar shows
// the same drives, and asking the shell for a drive's icon and kind is slow, and so is putting
// an icon into an image list. The bars share one list: the five fixed pictures, then the
// drives' icons.
struct TDriveLook {
  wchar_t Letter = 0;
  int Image = -1;
  std::wstring Hint;
};
struct TDriveLooks {
  int Mask = 0;
  bool Filled = false;
  std::vector<TDriveLook> Drives;
  std::shared_ptr<TImageListHandle> Images;
};

const TDriveLooks& DriveLooks(int driveMask) {
  static TDriveLooks looks;
  if (looks.Filled && looks.Mask == driveMask) return looks;
  looks.Drives.clear();
  looks.Mask = driveMask;
  looks.Filled = true;
  // A new list for a new set of drives: a bar still showing the old drives keeps the old one.
  looks.Images = std::make_shared<TImageListHandle>(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8));
  HIMAGELIST images = looks.Images->get();
  for (const wchar_t* name : {L"MAIN_BACK16", L"MAIN_FORWARD16", L"MAIN_UPDIR16", L"MAIN_ROOT16", L"MAIN_CHDRV16"})
    AddBitmapResToImageList(images, name);
  for (int i = 0; i < 26; ++i) {
    if (!(driveMask & (1 << i))) continue;
    TDriveLook look;
    look.Letter = static_cast<wchar_t>(L'A' + i);
    const std::wstring root = std::wstring(1, look.Letter) + L":\\";
    SHFILEINFOW info{};
    if (SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) && info.hIcon) {
      const TIconHandle icon(info.hIcon);
      look.Image = AddIconToImageList(images, icon.get());
    }
    switch (GetDriveTypeW(root.c_str())) {
      case DRIVE_FIXED: look.Hint = L"HDD"; break;
      case DRIVE_REMOTE: look.Hint = L"Network"; break;
      case DRIVE_CDROM: look.Hint = L"CD"; break;
      case DRIVE_RAMDISK: look.Hint = L"RAM"; break;
      default: break;
    }
    looks.Drives.push_back(std::move(look));
  }
  return looks;
}
}  // namespace

void TDriveBar::RebuildDrives(int driveMask) {
  if (driveMask == -1) driveMask = static_cast<int>(GetLogicalDrives());
  if (driveMask == FMask && ButtonCount() > 0) return;
  FMask = driveMask;
  BeginUpdate();
  ClearButtons();
  const TDriveLooks& looks = DriveLooks(driveMask);
  if (FImages != looks.Images) {
    FImages = looks.Images;
    SetImages(FImages->get());
  }
  for (const TDriveLook& look : looks.Drives) {
    TToolButton* b = AddToolButton(this, std::wstring(1, look.Letter), true, nullptr, tbsCheck, 100 + (look.Letter - L'A'),
                                   look.Image, true, nullptr);
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
