#pragma once
// The little the engine needs of a file system and of the platform: open, create and append
// streams, attributes and dates, folders, folder listing, volume facts, a question to the
// user and a turn of the message loop. Readers and writers reach files only through this
// interface, so that the host build runs them over TMemFileSys in memory; the program uses
// the Windows one (zevFileSys_win.cpp).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/engine/zevStreams.h"

// Attribute bits as Windows has them.
constexpr uint32_t kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04, kAttrDirectory = 0x10,
                   kAttrArchive = 0x20, kAttrNormal = 0x80, kAttrReparsePoint = 0x400;
constexpr uint32_t kNoFile = 0xFFFFFFFFu;
// The attributes an extracted file may receive.
constexpr uint32_t kRestorableAttrs = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

// One entry of a folder listing.
struct TzevFindData {
  std::wstring Name;
  uint32_t Attr = 0;
  uint64_t Size = 0;
  int32_t DosDate = 0;  // last write, local time, packed DOS date and time
};

struct TzevVolumeInfo {
  std::wstring Label, FileSystem;
  uint32_t Serial = 0, FsFlags = 0;
  uint32_t DriveType = 0;  // as GetDriveType gives it: 2 removable, 3 fixed, 4 remote, ...
  bool WriteProtected = false;
  int64_t FreeSpace = 0, TotalSpace = 0;
};

// Output that replaces a file only when committed: written beside it, swapped in when done.
class TzevTempOutput : public TStream32 {
 public:
  // Closes the output and puts it in place of the target; 0 or the engine's error number.
  // Any failure keeps the old target.
  virtual int Commit() = 0;
  // Closes and removes the output; the target stays as it was.
  virtual void Discard() = 0;
  // Closes the output and keeps it aside (its disk may leave the drive): a later Commit puts it
  // in place, a later Discard removes it. 0 or the engine's error number.
  virtual int Close() { return 0; }
};

class TzevFileSys {
 public:
  virtual ~TzevFileSys() = default;
  // Null on failure.
  virtual std::unique_ptr<TStream32> OpenRead(const std::wstring& name) = 0;
  // Creates or truncates.
  virtual std::unique_ptr<TStream32> Create(const std::wstring& name) = 0;
  // Opens an existing file for writing, positioned at its end.
  virtual std::unique_ptr<TStream32> OpenAppend(const std::wstring& name) = 0;
  // A new file beside target (or in tempDir when given) that replaces target on Commit;
  // deleteOptions says how the old target goes. Null when none can be made.
  virtual std::unique_ptr<TzevTempOutput> CreateReplacement(const std::wstring& target, const std::wstring& tempDir,
                                                            TDeleteOptions deleteOptions) = 0;
  // kNoFile when nothing is there.
  virtual uint32_t GetAttr(const std::wstring& name) = 0;
  virtual bool SetAttr(const std::wstring& name, uint32_t attr) = 0;
  // which: 0 creation, 1 last write; a packed DOS date and time in local time, 0 on failure.
  virtual int32_t GetDate(const std::wstring& name, int which) = 0;
  virtual bool SetDate(const std::wstring& name, int32_t dosDateTime) = 0;
  virtual bool RemoveFile(const std::wstring& name, TDeleteOptions options) = 0;
  // Creates every missing folder; whether the folder exists afterwards.
  virtual bool ForceDirs(const std::wstring& dir) = 0;
  // Every entry of a folder but "." and ".."; false when the folder cannot be listed.
  virtual bool ListFolder(const std::wstring& dir, const std::function<bool(const TzevFindData&)>& each) = 0;
  // With a trailing "\".
  virtual std::wstring CurrentDir() = 0;
  virtual std::wstring SystemTemp() = 0;
  // The current local date and time, packed.
  virtual int32_t NowDos() = 0;
  // Facts of the volume holding root ("C:\" or "\\server\share\"); false when unreadable,
  // with the system's text of the reason.
  virtual bool VolumeInfo(const std::wstring& root, TzevVolumeInfo& info, std::wstring& reason) = 0;
  // A question to the user: the buttons "Yes|No" or "Retry|Cancel"; the index pressed.
  virtual int Ask(const std::wstring& text, const std::wstring& buttons) = 0;
  // Lets the message loop run (long work pumps it between blocks).
  virtual void ProcessMessages() {}
  // Gives the volume holding root a label; false when the platform refuses.
  virtual bool SetVolumeLabel(const std::wstring& root, const std::wstring& label) {
    (void)root;
    (void)label;
    return false;
  }

  bool FileExists(const std::wstring& name) {
    uint32_t a = GetAttr(name);
    return a != kNoFile && !(a & kAttrDirectory);
  }
  bool DirExists(const std::wstring& name) {
    uint32_t a = GetAttr(name);
    return a != kNoFile && (a & kAttrDirectory);
  }
};

// The file system the engine's components use unless given another: Windows in the program,
// a process-wide TMemFileSys on the host.
TzevFileSys& DefaultFileSys();

// A whole file system in memory, for tests and the host build. Names are compared without
// ASCII letter case; "/" counts as "\". Folders exist implicitly above every file and can be
// made explicitly.
class TMemFileSys : public TzevFileSys {
 public:
  struct TFile {
    std::vector<uint8_t> Data;
    uint32_t Attr = kAttrArchive;
    int32_t Date = 0x21000000;  // 1996-08-00: a fixed, valid date
  };

  std::unique_ptr<TStream32> OpenRead(const std::wstring& name) override;
  std::unique_ptr<TStream32> Create(const std::wstring& name) override;
  std::unique_ptr<TStream32> OpenAppend(const std::wstring& name) override;
  std::unique_ptr<TzevTempOutput> CreateReplacement(const std::wstring& target, const std::wstring& tempDir,
                                                    TDeleteOptions deleteOptions) override;
  uint32_t GetAttr(const std::wstring& name) override;
  bool SetAttr(const std::wstring& name, uint32_t attr) override;
  int32_t GetDate(const std::wstring& name, int which) override;
  bool SetDate(const std::wstring& name, int32_t dosDateTime) override;
  bool RemoveFile(const std::wstring& name, TDeleteOptions options) override;
  bool ForceDirs(const std::wstring& dir) override;
  bool ListFolder(const std::wstring& dir, const std::function<bool(const TzevFindData&)>& each) override;
  std::wstring CurrentDir() override { return Current; }
  std::wstring SystemTemp() override { return L"T:\\TEMP\\"; }
  int32_t NowDos() override { return Now; }
  bool VolumeInfo(const std::wstring& root, TzevVolumeInfo& info, std::wstring& reason) override;
  int Ask(const std::wstring& text, const std::wstring& buttons) override;
  bool SetVolumeLabel(const std::wstring&, const std::wstring& label) override {
    Volume.Label = label;
    return true;
  }

  // Test set-up and inspection.
  void Put(const std::wstring& name, const std::vector<uint8_t>& data, uint32_t attr = kAttrArchive);
  void Put(const std::wstring& name, std::string_view data, uint32_t attr = kAttrArchive);
  TFile* Find(const std::wstring& name);
  std::vector<uint8_t> Get(const std::wstring& name);
  // Every file name (as first given), in key order.
  std::vector<std::wstring> Files() const;

  std::wstring Current = L"C:\\WORK\\";
  int32_t Now = 0x5A8A6000;  // 2025-04-10 12:00:00
  TzevVolumeInfo Volume{L"", L"MEMFS", 0x1234ABCD, 0, 3, false, int64_t(1) << 40, int64_t(1) << 41};
  // Answers to Ask, taken in order; when none is left the last button (No / Cancel) is taken.
  std::vector<int> Answers;
  std::vector<std::wstring> Asked;
  // Streams fail to write beyond this many bytes in all (a full disk); -1: no limit.
  int64_t WriteLimit = -1;

 private:
  static std::wstring Key(const std::wstring& name);
  std::map<std::wstring, std::pair<std::wstring, TFile>> FFiles;  // key -> (name, file)
  std::map<std::wstring, std::wstring> FDirs;                     // key -> name
  friend class TMemFileStream;
  friend class TMemReplacement;
  int64_t FWritten = 0;
};
