#pragma once
// Whole-file reads and safe replacement of the files the program rewrites (settings, history,
// descriptions, tree files): the new content is written to a temporary file beside the target,
// flushed, and only then swapped in; any failure leaves the old file as it was.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// False when the file cannot be opened or read; bytes then holds what was read.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool FileExistsPlain(const std::wstring& path);
// Leaves only the archive attribute on a file (which also lifts read-only); false when the
// attributes cannot be set (a read-only medium, a missing file).
bool FileSetArchiveOnly(const std::wstring& path);
bool DeleteFilePlain(const std::wstring& path);
// Writes bytes as the new content of path. Clears the read-only, hidden and system
// attributes of an existing target first (it becomes a plain archive file), as the settings
// files are handled; false when that or any write fails, and then nothing has changed.
bool SafeWriteFile(const std::wstring& path, std::string_view bytes);

// A file read from its start in parts, for a reader that works on what has come while the rest
// is read, or whole.
class TFileReader {
 public:
  explicit TFileReader(const std::wstring& path);
  ~TFileReader();
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;
  bool IsOpen() const;
  // The size when it was opened.
  uint64_t Size() const { return FSize; }
  // Reads the next count bytes; false when fewer are there or the read fails.
  bool ReadNext(char* to, size_t count);
  // Reads the whole file, from its start to its end as it now is (what ReadFileBytes gives);
  // false when a read fails, and bytes then holds what was read.
  bool ReadAll(std::string& bytes);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
  uint64_t FSize = 0;
};
