#pragma once
// What a file list needs of an open archive: the entry record and the folder listing of the
// archive tree. The archive tree of the archive layer implements TArcFolderSource; the file
// list only walks one folder of it at a time.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// One archive entry.
struct ArcInfoRec {
  std::wstring Name;         // path inside the archive; the bare name when the archive tree hands it out
  int64_t Size = 0;          // unpacked size; -1 for folders and the parent entry
  int64_t PackedSize = 0;
  int32_t DateTime = 0;      // DOS time in the low word, DOS date in the high word
  int32_t Attributes = 0;    // file attributes; 16 marks a folder
  uint32_t CRC32 = 0;
  std::wstring ArchiveName;  // the archive's file name without folder
  int32_t Flags = 0;
};

// An archive seen as a tree of folders.
class TArcFolderSource {
 public:
  virtual ~TArcFolderSource() = default;
  // Selects a folder (relative to the archive's top, "" for the top) for NextEntry and fills
  // first with the parent entry ".." (sizes -1, attributes 16, the archive's date). False
  // when the folder does not exist.
  virtual bool OpenFolder(const std::wstring& path, ArcInfoRec& first) = 0;
  // The next child of the opened folder, in the order the entries were added; false at the end.
  virtual bool NextEntry(ArcInfoRec& item) = 0;
};

// Opens an archive file (its full name) as a tree of folders; null when the file is no archive
// that can be read. The archive layer gives the real one; the file list only calls it.
using TArcTreeOpener = std::function<std::unique_ptr<TArcFolderSource>(const std::wstring& fileName)>;
