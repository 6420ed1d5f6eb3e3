#pragma once
// The one shared cache of file types and small icons. The registry's class root is read once
// per type and the answers kept; icons live in two 16x16 image lists: the program's own
// images and the shell's small system image list. Image indexes as the items carry them:
// 0 or more = own list, -1 = not resolved, -10 or less = system list index i stored as -i-10.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "panels/FileTypeLookup.h"
#include "framework/Handles.h"

struct TSystemFileDataType {
  std::wstring Ext;       // without the dot, lower case; the sort key
  std::wstring TypeName;  // the type's description
  // -1 the icon depends on the file itself; -2 ask the shell once and keep its answer;
  // 0 or more own list; -10 or less system list.
  int32_t IconIndex = -1;
  std::wstring IconFile;  // "file,index" of DefaultIcon
  bool Loaded = false;    // the registry has been read for this type
  bool Missing = false;   // the extension names no type: counts as not found
};

// The label of a drive from the shell's display name: "DATA (C:)" gives "DATA".
std::wstring DriveLabelFromDisplayName(const std::wstring& displayName);

class TSystemFileData : public TFileTypeLookup {
 public:
  static constexpr int MruSlots = 6;

  TSystemFileData();
  ~TSystemFileData() override;
  TSystemFileData(const TSystemFileData&) = delete;
  TSystemFileData& operator=(const TSystemFileData&) = delete;

  // (Re)builds the image lists and, when IconAnalysis is on, the type list.
  void Load() override;
  // Frees every type record and empties the own image list.
  void Clear();
  // Type name and icon of a file; path is the folder plus the name without extension. True
  // when the icon is final; false when the icon thread shall ask the shell for this very file.
  bool GetFileTypeIcon(const std::wstring& path, const std::wstring& ext, bool loadIcon, std::wstring& typeName,
                       int32_t& iconIndex) override;
  // The same for "..", a drive root ("C:\") or a folder.
  bool GetFolderTypeIcon(const std::wstring& path, int32_t& iconIndex, std::wstring& typeName, int32_t& overlay,
                         int32_t attr, bool readDesktopIni) override;
  int32_t FileImage() const override { return FileIcon; }
  int32_t FolderImage() const override { return FolderIcon; }
  int32_t ParentFolderImage() const override { return ParentIcon; }
  int32_t DriveImage() const override { return DriveIcon; }
  std::wstring FolderTypeText() const override { return FolderTypeName; }
  // Draws a 16x16 image; a system image with the overlay image given (0 none).
  void Draw(HDC dc, int x, int y, int32_t index, int32_t overlay) const;
  // Takes the system image list again; every type holding a real index asks the shell anew.
  void ResetSystemIcons();
  // The letters of the drives shared on the network.
  std::wstring GetSharedDrives() const;

  // The type record of an extension (lower case, no dot) or -1; the recently-used slots are
  // tried before the binary search, and a type marked missing is no hit in either.
  int FindExt(const std::wstring& ext);
  int TypeCount() const { return static_cast<int>(FTypes.size()); }
  const TSystemFileDataType& Type(int i) const { return *FTypes[static_cast<size_t>(i)]; }
  HIMAGELIST Images() const { return FImages.get(); }
  HIMAGELIST SystemImages() const { return FSystemImages; }

  // The option IconAnalysis: read types and icons from the registry and the shell.
  bool IconAnalysis = true;

  bool RegistryRead = false;
  bool Loaded = false;
  int Mru[MruSlots];
  int32_t FileIcon = 0, ProgramIcon = 1, FolderIcon = 2, URLIcon = -1, ParentIcon = 3, CheckIcon = 4, PIFIcon = 5,
          SCRIcon = 6, DriveIcon = 7;
  // The overlay marks in the own list (also its overlay images 1 and 2): shared, shortcut.
  int32_t ShareOverlay = -1, LinkOverlay = -1;
  std::wstring FolderTypeName;
  // The folder icon's location ("file,index") when the registry gives one.
  std::wstring FolderIconLocation;

 private:
  void ReadType(TSystemFileDataType& t);
  void TakeSystemImages();
  int AddIcon(HICON icon);
  int AddBitmap(const wchar_t* name, bool grey);
  std::vector<std::unique_ptr<TSystemFileDataType>> FTypes;
  TImageListHandle FImages;
  HIMAGELIST FSystemImages = nullptr;  // the shell's; never destroyed here
};

extern TSystemFileData* SystemFileData;
