#include "mainwin/DriveBar.h"

#include <shellapi.h>

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

void TDriveBar::RebuildDrives(int driveMask) {
  if (driveMask == -1) driveMask = static_cast<int>(GetLogicalDrives());
  if (driveMask == FMask && ButtonCount() > 0) return;
  FMask = driveMask;
  ClearButtons();
  while (ImageList_GetImageCount(FImages.get()) > FFixedImages) ImageList_Remove(FImages.get(), FFixedImages);
  for (int i = 0; i < 26; ++i) {
    if (!(driveMask & (1 << i))) continue;
    const wchar_t letter = static_cast<wchar_t>(L'A' + i);
    std::wstring root = std::wstring(1, letter) + L":\\";
    int image = -1;
    SHFILEINFOW info{};
    if (SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) && info.hIcon) {
      const TIconHandle icon(info.hIcon);
      image = ImageList_AddIcon(FImages.get(), icon.get());
    }
    TToolButton* b = AddToolButton(this, std::wstring(1, letter), true, nullptr, tbsCheck, 100 + i, image, true, nullptr);
    switch (GetDriveTypeW(root.c_str())) {
      case DRIVE_FIXED: b->Hint = L"HDD"; break;
      case DRIVE_REMOTE: b->Hint = L"Network"; break;
      case DRIVE_CDROM: b->Hint = L"CD"; break;
      case DRIVE_RAMDISK: b->Hint = L"RAM"; break;
      default: b->Hint.clear(); break;
    }
    b->OnClick = [this, b](TComponent*) {
      if (OnDriveClick) OnDriveClick(b);
    };
  }
  Relayout();
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
