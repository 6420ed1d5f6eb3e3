// The engine's file system on Windows: streams over file handles, the temporary file that
// replaces an archive, attributes, dates, folders and volume facts; questions go through the
// program's message boxes (and so through their test seam).
#include <windows.h>

#include "archive/engine/zevFileIo.h"
#include "archive/engine/zevFileSys.h"
#include "foundation/MsgDlg.h"
#include "foundation/MYTOOL.h"
#include "framework/FolderEnum.h"
#include "framework/Forms.h"
#include "framework/Handles.h"

namespace {
struct ErrorModeScope {
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ~ErrorModeScope() { SetErrorMode(old); }
};

class TWinReplacement : public TzevTempOutput {
 public:
  TWinReplacement(const std::wstring& target, const std::wstring& tempDir, TDeleteOptions options)
      : FStream(fmCreate, target, tempDir) {
    FStream.DeleteOptions = options;
  }
  int32_t Read(void* b, int32_t c) override { return FStream.Read(b, c); }
  int32_t Write(const void* b, int32_t c) override { return FStream.Write(b, c); }
  int64_t Seek(int64_t o, TSeekOrigin32 origin) override { return FStream.Seek(o, origin); }
  void SetSize(int64_t n) override { FStream.SetSize(n); }
  int Commit() override { return FStream.Commit(); }
  void Discard() override { FStream.Discard(); }
  int Close() override { return FStream.Close(); }

 private:
  TTempFileStream FStream;
};

class TWinFileSys : public TzevFileSys {
 public:
  std::unique_ptr<TStream32> OpenRead(const std::wstring& name) override {
    ErrorModeScope em;
    try {
      return std::make_unique<TFileStream32>(name, fmOpenRead | fmShareDenyNone);
    } catch (const EStreamError&) {
      return nullptr;
    }
  }
  std::unique_ptr<TStream32> Create(const std::wstring& name) override {
    ErrorModeScope em;
    try {
      return std::make_unique<TFileStream32>(name, fmCreate);
    } catch (const EStreamError&) {
      return nullptr;
    }
  }
  std::unique_ptr<TStream32> OpenAppend(const std::wstring& name) override {
    ErrorModeScope em;
    try {
      auto s = std::make_unique<TFileStream32>(name, fmOpenWrite | fmShareExclusive);
      s->Seek(0, soFromEnd);
      return s;
    } catch (const EStreamError&) {
      return nullptr;
    }
  }
  std::unique_ptr<TzevTempOutput> CreateReplacement(const std::wstring& target, const std::wstring& tempDir,
                                                    TDeleteOptions options) override {
    try {
      return std::make_unique<TWinReplacement>(target, tempDir, options);
    } catch (const EStreamError&) {
      return nullptr;
    }
  }
  uint32_t GetAttr(const std::wstring& name) override {
    ErrorModeScope em;
    DWORD a = GetFileAttributesW(name.c_str());
    return a == INVALID_FILE_ATTRIBUTES ? kNoFile : a;
  }
  bool SetAttr(const std::wstring& name, uint32_t attr) override {
    ErrorModeScope em;
    return SetFileAttributesW(name.c_str(), attr ? attr : FILE_ATTRIBUTE_NORMAL);
  }
  int32_t GetDate(const std::wstring& name, int which) override {
    ErrorModeScope em;
    TFileHandle h(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h ? FileDosDateTime(h.get(), which) : 0;
  }
  bool SetDate(const std::wstring& name, int32_t dosDateTime) override {
    ErrorModeScope em;
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(static_cast<WORD>(static_cast<uint32_t>(dosDateTime) >> 16),
                               static_cast<WORD>(dosDateTime & 0xFFFF), &local) ||
        !LocalFileTimeToFileTime(&local, &utc))
      return false;
    TFileHandle h(CreateFileW(name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h && SetFileTime(h.get(), nullptr, nullptr, &utc);
  }
  bool RemoveFile(const std::wstring& name, TDeleteOptions options) override { return DeleteFileEx(name, options); }
  bool ForceDirs(const std::wstring& dir) override { return ::ForceDirs(dir); }
  bool ListFolder(const std::wstring& dir, const std::function<bool(const TzevFindData&)>& each) override {
    ErrorModeScope em;
    TFolderEnum list(dir, TFolderEnum::LargeFetch);
    for (const WIN32_FIND_DATAW& fd : list) {
      TzevFindData d;
      d.Name = fd.cFileName;
      d.Attr = fd.dwFileAttributes;
      // Only junctions and symbolic links count as links; other reparse points are plain.
      if (TFolderEnum::IsLinkData(fd))
        d.Attr |= kAttrReparsePoint;
      else
        d.Attr &= ~kAttrReparsePoint;
      d.Size = static_cast<uint64_t>(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow;
      d.DosDate = LocalFileTimeToDos(fd.ftLastWriteTime);
      if (!each(d)) break;
    }
    return list.Opened() || list.Complete();
  }
  std::wstring CurrentDir() override {
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, buf);
    return n && n <= MAX_PATH ? AppendBackslash(std::wstring(buf, n)) : std::wstring();
  }
  std::wstring SystemTemp() override { return SystemTempPath(); }
  int32_t NowDos() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    FILETIME ft;
    WORD date = 0, time = 0;
    if (SystemTimeToFileTime(&st, &ft)) FileTimeToDosDateTime(&ft, &date, &time);
    return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
  }
  bool VolumeInfo(const std::wstring& root, TzevVolumeInfo& info, std::wstring& reason) override {
    ErrorModeScope em;
    wchar_t label[MAX_PATH + 1] = {0}, fs[MAX_PATH + 1] = {0};
    DWORD serial = 0, maxLen = 0, flags = 0;
    if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, &maxLen, &flags, fs, MAX_PATH + 1)) {
      reason = SystemErrorText(GetLastError());
      return false;
    }
    info.Label = label;
    info.FileSystem = fs;
    info.Serial = serial;
    info.FsFlags = flags;
    info.DriveType = GetDriveTypeW(root.c_str());
    info.WriteProtected = (flags & FILE_READ_ONLY_VOLUME) != 0;
    if (!info.WriteProtected && !IsUNC(root)) {
      wchar_t temp[MAX_PATH + 1];
      if (!GetTempFileNameW(root.c_str(), L"wm", 0, temp)) {
        info.WriteProtected = GetLastError() == ERROR_WRITE_PROTECT;
      } else if (!::DeleteFileW(temp)) {
        info.WriteProtected = true;
      }
    }
    ULARGE_INTEGER freeBytes{}, total{};
    if (GetDiskFreeSpaceExW(root.c_str(), &freeBytes, &total, nullptr)) {
      info.FreeSpace = static_cast<int64_t>(freeBytes.QuadPart);
      info.TotalSpace = static_cast<int64_t>(total.QuadPart);
    }
    return true;
  }
  int Ask(const std::wstring& text, const std::wstring& buttons) override {
    bool retry = buttons.rfind(L"Retry", 0) == 0;
    return MessageBoxStd(Application().Title, text, buttons, retry ? 2 : 4, 0, 1);
  }
  void ProcessMessages() override { Application().ProcessMessages(); }
  bool SetVolumeLabel(const std::wstring& root, const std::wstring& label) override {
    ErrorModeScope em;
    return ::SetVolumeLabelW(root.c_str(), label.c_str()) != 0;
  }
};
}  // namespace

TzevFileSys& DefaultFileSys() {
  static TWinFileSys fs;
  return fs;
}
