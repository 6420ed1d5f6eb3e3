#pragma once
// The lookups of file types and icons that a file list makes while it reads a folder. The
// program's cache of system file types implements this; icon indexes follow the items' rule
// (>= 0 the program's own image list, <= -10 the system list's index i stored as -i-10).
#include <cstdint>
#include <string>

class TFileTypeLookup {
 public:
  virtual ~TFileTypeLookup() = default;
  // Type name and icon of a file; path is the folder plus the name without extension. True
  // when the icon is final; false when the shell has to be asked for this very file.
  virtual bool GetFileTypeIcon(const std::wstring& path, const std::wstring& ext, bool loadIcon,
                               std::wstring& typeName, int32_t& iconIndex) = 0;
  // The same for "..", a drive root ("X:\") or a folder. False when the folder's own icon has
  // to be fetched (readDesktopIni).
  virtual bool GetFolderTypeIcon(const std::wstring& path, int32_t& iconIndex, std::wstring& typeName,
                                 int32_t& overlay, int32_t attr, bool readDesktopIni) = 0;
  virtual int32_t FileImage() const = 0;
  virtual int32_t FolderImage() const = 0;
  virtual int32_t ParentFolderImage() const = 0;
  virtual int32_t DriveImage() const = 0;  // the entry that opens the drive chooser
  virtual std::wstring FolderTypeText() const = 0;
  // Drops everything cached and reads the types again.
  virtual void Load() = 0;
};
