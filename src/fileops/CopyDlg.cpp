#include "fileops/CopyDlg.h"

#include <shellapi.h>

#include <algorithm>
#include <map>

#include "foldermgr/MCDTree.h"
#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "framework/FolderEnum.h"
#include "framework/Handles.h"
#include "framework/TextCompare.h"
#include "fileops/frmTgt.h"
#include "panels/MDescMan.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"
#include "panels/ProcessDone.h"

int64_t TCopyMoveForm::LastSpeedSeconds = 0;

namespace {
std::wstring Fill(const std::wstring& text, const std::wstring& a, const std::wstring& b = L"") {
  return FormatText(text, {a, b});
}

std::wstring FilePart(const std::wstring& path) { return PathFilePart(path); }
std::wstring FolderPart(const std::wstring& path) { return PathFolderPart(path); }

// The file's identity: its volume and index. False when it cannot be told.
bool FileIdentity(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) { return GetFileInformationByHandle(h, &info) != FALSE; }
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  TFileHandle h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h && FileIdentity(h.get(), info);
}
bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}
// Two paths name the same file or folder: the same path, or the same identity.
bool SameEntry(const std::wstring& a, const std::wstring& b) {
  if (SamePath(a, b)) return true;
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return FileIdentity(a, ia) && FileIdentity(b, ib) && SameIdentity(ia, ib);
}

std::wstring DateText(TDateTime t) {
  int y, mo, d, h, mi, s, ms;
  if (!DecodeDateTime(t, y, mo, d, h, mi, s, ms)) return L"";
  wchar_t buf[32];
  swprintf(buf, 32, L"%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

bool IsLink(DWORD attr) { return (attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
using TEntry = TFolderEntry;
std::vector<TEntry> ListFolder(const std::wstring& folder) { return ListFolderEntries(folder); }

// Counts the files below a folder and adds their sizes; links are not entered.
void WalkFolderSize(const std::wstring& folder, int32_t& files, int64_t& size) {
  TFolderEnum walk(folder, TFolderEnum::Recursive | TFolderEnum::LargeFetch);
  for (const WIN32_FIND_DATAW& fd : walk) {
    if (!TFolderEnum::IsFolderData(fd) && !(fd.dwFileAttributes & 0x08)) {
      ++files;
      size += GetFindDataSize(fd);
    }
  }
}
}  // namespace

// ---- The window ----

TCopyMoveForm::TCopyMoveForm(TComponent* owner)
    : TProgressForm(owner, RGB(91, 174, 223), RGB(230, 243, 251), RGB(136, 204, 51), RGB(204, 255, 51)) {}

TCopyMoveForm::~TCopyMoveForm() = default;

void TCopyMoveForm::AddItem(const std::wstring& name, const std::wstring& shortName, int32_t fileCount, int32_t attr,
                            TDateTime date, int64_t size, const std::wstring& targetName) {
  auto item = std::make_unique<TCopyItem>();
  item->Name = name;
  item->ShortName = shortName;
  item->TargetName = targetName;
  item->Attr = attr;
  item->Date = date;
  item->Size = size;
  item->FileCount = fileCount;
  if (fileCount <= 0) {
    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    int32_t files = 0;
    int64_t bytes = 0;
    std::wstring folder = SingleSourceFolder ? SourceFolder + name : name;
    WalkFolderSize(IncludeTrailingBackslash(folder), files, bytes);
    item->FileCount = files;
    item->Size = bytes;
    SetCursor(old);
  }
  FTotalBytes += item->Size;
  FTotalFiles += item->FileCount;
  FItems.push_back(std::move(item));
}

void TCopyMoveForm::GetDoneList(std::wstring& text) const {
  text.clear();
  for (const auto& item : FItems) {
    if (!item->Done) continue;
    if (!text.empty()) text += L"\r";
    text += item->Name;
  }
}

int TCopyMoveForm::Execute() { return TOperationForm::Execute() != 0 ? 1 : 0; }

TMCDTreeMan* TCopyMoveForm::TargetTree() const { return FTargetTree ? FTargetTree.get() : FSourceTree.get(); }

void TCopyMoveForm::SetFolderFlags() {
  FSameRoot = SamePathRoot(SourceFolder, TargetFolder);
  FSameFolder = SamePath(SourceFolder, TargetFolder);
  FMoveByRename = !IsCopy && FSameRoot;
}

void TCopyMoveForm::TimeIo(bool start) {
  if (!Options.ShowCopySpeed) return;
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  if (start) {
    FIoStart = now;
  } else {
    QueryPerformanceFrequency(&freq);
    FIoSeconds += static_cast<double>(now.QuadPart - FIoStart.QuadPart) / static_cast<double>(freq.QuadPart);
  }
}

// ---- The run ----

void TCopyMoveForm::RunOperation() {
  OperationName = LoadMessageText(IsCopy ? 4113 : 4114);
  SetCaption(OperationName);
  FIoSeconds = 0;
  SourceChanged = TargetChanged = false;
  FRemoveReadOnly = false;
  FContainsTarget = false;
  ResetRunState();
  Pump();
  SourceFolder = IncludeTrailingBackslash(SourceFolder);
  TargetFolder = IncludeTrailingBackslash(TargetFolder);
  if (SingleSourceFolder) {
    SetFolderFlags();
    FSourceTree = std::make_unique<TMCDTreeMan>(FHandle, SourceFolder);
    if (!FSameRoot) FTargetTree = std::make_unique<TMCDTreeMan>(FHandle, TargetFolder);
  } else {
    FTargetTree = std::make_unique<TMCDTreeMan>(FHandle, TargetFolder);
  }
  FBytesDone = FFileDone = FBytesWritten = 0;
  FFilesStarted = 0;
  FFilesTotal = FTotalFiles;
  FBytesTotal = FTotalBytes;
  FSameAnswer = snYes;
  FMergeAnswer = fmYes;
  BeginTitle();
  if (LowColorScreen) {
    FileBar->SetGradientBar(false);
    TotalBar->SetGradientBar(false);
  }
  FModalResult = mrNone;
  UpdateSeconds = 0;
  FLastPaint = FLastPump = 0;
  FBuffer.assign(0x80000, 0);
  FBlockSize = GetSystemMetrics(SM_SLOWMACHINE) ? 0x40000 : 0x80000;
  if (SingleSourceFolder && !FItems.empty()) {
    UINT type = GetDriveTypeW(ExtractPathRoot(SourceFolder).c_str());
    if (type == DRIVE_REMOVABLE) FBlockSize = 0x10000;
    if (type == DRIVE_CDROM) FRemoveReadOnly = Options.CDRemRAttr;
  }

  bool stop = false;
  for (auto& owned : FItems) {
    TCopyItem& item = *owned;
    FCurrentTop = &item;
    int32_t startedBefore = FFilesStarted;
    std::wstring fullName = item.Name;
    if (!SingleSourceFolder) {
      SourceFolder = FolderPart(fullName);
      item.Name = FilePart(fullName);
      SetFolderFlags();
      FRemoveReadOnly = false;
      UINT type = GetDriveTypeW(ExtractPathRoot(SourceFolder).c_str());
      FBlockSize = type == DRIVE_REMOVABLE ? 0x10000 : 0x40000;
      if (type == DRIVE_CDROM) FRemoveReadOnly = Options.CDRemRAttr;
      if (!FSourceTree || !SameTextI(FSourceTree->Root, ExcludeTrailingBackslash(ExtractPathRoot(SourceFolder))))
        FSourceTree = std::make_unique<TMCDTreeMan>(FHandle, SourceFolder);
    }
    std::wstring targetName = item.TargetName.empty() ? item.Name : item.TargetName;
    if (item.Attr & FILE_ATTRIBUTE_DIRECTORY) {
      ShowCopyNames(L"", item);
      UpdateCopyProgress();
      if (IsSameOrSubPath(SourceFolder, TargetFolder, item.Name, false)) {
        // Never copy a folder into itself or below itself: refused before anything is written.
        FContainsTarget = true;
        std::wstring text = Fill(LoadMessageText(10527), OperationName) + L"\r\r" + LoadMessageText(10510) +
                            L": <P>" + SourceFolder + L"<>\r" + LoadMessageText(10511) + L": <P>" + TargetFolder +
                            L"<>\r" + LoadMessageText(3004) + L": <P>" + item.Name + L"<>";
        FBytesDone += item.Size;
        if (!AskSkipOnError(text)) stop = true;
      } else if (FMoveByRename) {
        if (MoveFolderSameDrive(item))
          item.Done = true;
        else
          stop = true;
      } else {
        int r = CreateTargetFolder(TargetFolder + targetName);
        if (r == 0) {
          stop = true;
        } else if (r == 2) {
          FBytesDone += item.Size;
        } else if (r == 1) {
          if (CopyFolderRecursive(item.Name + L"\\", targetName + L"\\")) {
            item.Done = item.Written = true;
          } else {
            stop = true;
          }
        }
      }
      FFilesStarted = std::max(FFilesStarted, startedBefore + item.FileCount);
    } else if (!CopyOneFile(L"", L"", item)) {
      stop = true;
    } else {
      item.Done = true;
    }
    if (!SingleSourceFolder) item.Name = fullName;
    if (item.Done && (!IsCopy || !SingleSourceFolder || FContainsTarget)) SourceChanged = true;
    if (stop) {
      if (FModalResult == mrNone) FModalResult = mrCancel;
      break;
    }
  }
  FCurrentTop = nullptr;
  FBuffer.clear();
  FBuffer.shrink_to_fit();
  if (FModalResult != mrNone) FModalResult = 1;
  TMCDTreeMan* source = FSourceTree.release();
  TMCDTreeMan* target = FTargetTree.release();
  delete source;
  if (target != source) delete target;
  FlushProgress();
  CarryDescriptions();
  EndTitle();
}

bool TCopyMoveForm::StopCheck() { return CheckCancel(FBytesTotal > 0 && FBytesDone >= FBytesTotal); }

bool TCopyMoveForm::ErrorQuestion(const std::wstring& text) {
  bool go = AskSkipOnError(text);
  if (FFileSize > FFileDone) FBytesDone += FFileSize - FFileDone;
  FFileDone = FFileSize;
  return go;
}

bool TCopyMoveForm::CopyOneFile(const std::wstring& sourcePrefix, const std::wstring& targetPrefix,
                                TCopyItem& item) {
  std::wstring source = SourceFolder + sourcePrefix + item.Name;
  const std::wstring& tp = targetPrefix.empty() ? sourcePrefix : targetPrefix;
  std::wstring target = TargetFolder + tp + (item.TargetName.empty() ? item.Name : item.TargetName);
  FResumeOffset = 0;
  ++FFilesStarted;
  FFilesTotal = std::max(FFilesTotal, FFilesStarted);
  FBytesTotal = std::max(FBytesTotal, FBytesDone + item.Size);
  FFileSize = item.Size;
  ShowCopyNames(sourcePrefix, item);
  FFileDone = 0;
  UpdateCopyProgress();
  if (StopConfirmed()) return false;

  if (FMoveByRename) {
    TSameNameResult r = CheckSameName(source, target, nullptr, item, sourcePrefix, tp);
    if (r == snrStop) return false;
    if (r == snrSkip || r == snrSameFile) {
      FBytesDone += item.Size - FFileDone;
      FFileDone = item.Size;
      return true;
    }
    if (ShellMove(source, target, false)) {
      item.Written = true;
      TargetChanged = true;
      FBytesDone += item.Size;
      FFileDone = item.Size;
      return true;
    }
    return ErrorQuestion(Fill(LoadMessageText(10517), source));
  }

  TimeIo(true);
  TFileHandle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  DWORD openError = GetLastError();
  TimeIo(false);
  if (!in) return ErrorQuestion(ErrorText(source, openError));
  LARGE_INTEGER size{};
  if (GetFileSizeEx(in.get(), &size) && size.QuadPart != item.Size) {
    FBytesTotal += size.QuadPart - item.Size;
    item.Size = size.QuadPart;
    FFileSize = item.Size;
    ShowCopyNames(sourcePrefix, item);
  }
  // Most targets do not exist yet: creating the file at once spares a look at the target per
  // file. When anything is in the way, the same-name rules decide.
  TFileHandle out;
  TimeIo(true);
  out.reset(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  DWORD createError = GetLastError();
  TimeIo(false);
  bool createdNew = static_cast<bool>(out);
  if (!out) {
    TSameNameResult r = CheckSameName(source, target, in.get(), item, sourcePrefix, tp);
    if (r == snrStop) return false;
    if (r == snrSkip || r == snrSameFile) {
      // Nothing is written: a file copied onto itself, or one passed over.
      FBytesDone += item.Size - FFileDone;
      FFileDone = item.Size;
      return true;
    }
    TimeIo(true);
    if (FResumeOffset > 0) {
      out.reset(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      LARGE_INTEGER at;
      at.QuadPart = FResumeOffset;
      if (out && SetFilePointerEx(in.get(), at, nullptr, FILE_BEGIN) &&
          SetFilePointerEx(out.get(), at, nullptr, FILE_BEGIN)) {
        FFileDone = FResumeOffset;
        FBytesDone += FResumeOffset;
      } else {
        out.reset();
      }
    } else {
      out.reset(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
      createdNew = static_cast<bool>(out);
    }
    createError = GetLastError();
    TimeIo(false);
  }
  if (!out) {
    in.reset();
    return ErrorQuestion(ErrorText(target, createError));
  }
  // From here on this run owns the target: an incomplete one is removed.
  FILETIME created{}, accessed{}, written{};
  GetFileTime(in.get(), &created, &accessed, &written);
  bool failed = false;
  DWORD error = 0;
  while (FFileDone < item.Size && FModalResult == mrNone) {
    DWORD got = 0, put = 0;
    TimeIo(true);
    BOOL readOk = ReadFile(in.get(), FBuffer.data(), FBlockSize, &got, nullptr);
    if (!readOk) error = GetLastError();
    // A read of nothing before the end (the source shrank) ends the copy as a failed read.
    if (readOk && got == 0) error = ERROR_HANDLE_EOF;
    BOOL writeOk = readOk && got > 0 && WriteFile(out.get(), FBuffer.data(), got, &put, nullptr);
    if (readOk && got > 0 && (!writeOk || put != got)) error = writeOk ? ERROR_DISK_FULL : GetLastError();
    TimeIo(false);
    if (error) {
      failed = true;
      break;
    }
    FFileDone += got;
    FBytesDone += got;
    FBytesWritten += got;
    UpdateCopyProgress();
    if (StopCheck()) break;
  }
  bool complete = !failed && FFileDone >= item.Size && !StopConfirmed() && FModalResult == mrNone;
  bool go = true;
  if (failed && !StopConfirmed()) {
    // The bytes of this file written so far were counted; the error question counts the rest.
    go = ErrorQuestion(ErrorText(target, error));
  }
  in.reset();
  if (!complete) {
    out.reset();
    bool remove = true;
    if (Options.ErrorFileNotDelete) {
      FlushProgress();
      remove = AskYesNo(Fill(LoadMessageText(10518), OperationName, target), true);
    }
    if (remove) DeleteFileW(target.c_str());
    if (!failed) return false;  // a stop
    return go;
  }
  TimeIo(true);
  bool timesOk = SetFileTime(out.get(), &created, &accessed, &written) != FALSE;
  DWORD timeError = GetLastError();
  bool closed = CloseChecked(out);
  DWORD attr = static_cast<DWORD>(item.Attr) & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  if (FRemoveReadOnly) attr &= 0x26;
  // A file created by this run has the archive attribute alone already.
  bool attrOk = true;
  DWORD attrError = 0;
  if (!createdNew || attr != FILE_ATTRIBUTE_ARCHIVE) {
    attrOk = SetFileAttributesW(target.c_str(), attr ? attr : FILE_ATTRIBUTE_NORMAL) != FALSE;
    attrError = GetLastError();
  }
  TimeIo(false);
  TargetChanged = true;
  item.Written = true;
  if (!timesOk && !ErrorQuestion(ErrorText(target, timeError))) return false;
  if (!closed) return ErrorQuestion(ErrorText(target, ERROR_WRITE_FAULT));
  if (!attrOk && !ErrorQuestion(ErrorText(target, attrError))) return false;
  if (IsCopy) return true;
  // A move: the source goes only now that its copy is complete and closed.
  DWORD sourceAttr = GetFileAttributesW(source.c_str());
  if (sourceAttr != INVALID_FILE_ATTRIBUTES && (sourceAttr & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  if (DeleteFileW(source.c_str())) return true;
  DWORD deleteError = GetLastError();
  if (sourceAttr != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(source.c_str(), sourceAttr);
  return ErrorQuestion(ErrorText(source, deleteError));
}

TCopyMoveForm::TSameNameResult TCopyMoveForm::CheckSameName(const std::wstring& source, std::wstring& target,
                                                            HANDLE sourceFile, TCopyItem& item,
                                                            const std::wstring& sourcePrefix,
                                                            const std::wstring& targetPrefix) {
  DWORD targetAttr = GetFileAttributesW(target.c_str());
  if (targetAttr == INVALID_FILE_ATTRIBUTES) return snrWrite;
  if (targetAttr & FILE_ATTRIBUTE_DIRECTORY)
    return ErrorQuestion(Fill(LoadMessageText(10512), source, OperationName)) ? snrSkip : snrStop;

  // The target may be the source itself by another path (a short name, another spelling,
  // another route to the same drive): then it is never deleted nor written.
  bool sameFile = SamePath(source, target);
  if (!sameFile) {
    BY_HANDLE_FILE_INFORMATION a, b;
    bool haveSource = sourceFile ? FileIdentity(sourceFile, a) : FileIdentity(source, a);
    sameFile = haveSource && FileIdentity(target, b) && SameIdentity(a, b);
  }
  WIN32_FIND_DATAW td{};
  FindFirstSafe(target, td);
  int64_t targetSize = GetFindDataSize(td);
  TDateTime targetDate = FileTimeToLocalDateTime(td.ftLastWriteTime);
  bool restOffered = !sameFile && targetSize < item.Size && targetSize > 10485760 && !FSameFolder;

  int answer = FSameAnswer;
  if (answer == snRestOnly && !restOffered) answer = snAll;
  if (FSameAnswer == snYes || FSameAnswer == snSkip || FSameAnswer == snNewName || FSameAnswer == snRestOnly) {
    bool sizesDiffer = targetSize != item.Size;
    bool sourceNewer = item.Date > targetDate, targetNewer = targetDate > item.Date;
    auto block = [&](int arrow, int word, bool newer, TDateTime date, int64_t size, const std::wstring& path) {
      return LoadMessageText(arrow) + L" " + LoadMessageText(word) + L": " + (newer ? L"<B=W><C=0>" : L"") +
             DateText(date) + L"<>, " + (sizesDiffer ? L"<U>" : L"") + FormatThousands(size) + L"<> " +
             LoadMessageText(4121) + L", <P>" + path + L"<>";
    };
    FInfoBlock = block(30220, 10510, sourceNewer, item.Date, item.Size, source) + L"\r\r" +
                 block(30221, 10511, targetNewer, targetDate, targetSize, target);
    std::wstring buttons = Fill(LoadMessageText(10516), restOffered ? LoadMessageText(10513) + L"|" : L"");
    int cancelIdx = restOffered ? snCancel : snRestOnly;
    int defaultIdx = answer == snCancel ? cancelIdx : answer;
    FlushProgress();
    int pressed = MessageBoxStd(LoadMessageText(10514), FInfoBlock + L"\r\r" + LoadMessageText(10515), buttons, 4,
                                defaultIdx, cancelIdx);
    if (pressed < 0 || pressed == cancelIdx) pressed = snCancel;
    answer = pressed;
    FSameAnswer = answer;
  }

  if (answer == snNewerOnly) answer = targetDate >= item.Date ? snSkip : snAll;
  switch (answer) {
    case snSkipAll:
    case snSkip:
      return snrSkip;
    case snNewName: {
      std::wstring checkFolder = TargetFolder + targetPrefix;
      std::wstring name = AskNewName(checkFolder, item.TargetName.empty() ? item.Name : item.TargetName);
      if (name.empty()) return snrStop;
      target = checkFolder + name;
      item.NewNamePath = sourcePrefix + name;
      TargetChanged = true;
      return snrWrite;
    }
    case snRestOnly:
      if (!restOffered) return snrStop;
      if (!SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_ARCHIVE))
        return ErrorQuestion(ErrorText(target, GetLastError())) ? snrSkip : snrStop;
      FResumeOffset = targetSize;
      return snrWrite;
    case snYes:
    case snAll:
      if (sameFile) {
        TargetChanged = true;
        return snrSameFile;
      }
      if (!SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_ARCHIVE) || !DeleteFileW(target.c_str()))
        return ErrorQuestion(ErrorText(target, GetLastError())) ? snrSkip : snrStop;
      TargetChanged = true;
      return snrWrite;
    default:
      return snrStop;
  }
}

std::wstring TCopyMoveForm::AskNewName(const std::wstring& checkFolder, const std::wstring& current) {
  std::wstring value = current;
  bool ok = InputBoxCombo(LoadMessageText(32000), L"", L"MCD_RENAME", value,
                          [&](const std::wstring& initial, std::wstring& entry) {
                            if (entry.empty() || SameTextI(entry, initial)) return true;
                            if (PathExists(checkFolder + entry)) {
                              ShowErrorBox(Fill(LoadMessageText(10505), checkFolder + entry));
                              return false;
                            }
                            return true;
                          },
                          L"", true);
  value = Trim(value);
  if (!ok || value.empty() || SameTextI(value, current)) return L"";
  return value;
}

int TCopyMoveForm::CreateTargetFolder(const std::wstring& path) {
  DWORD attr = GetFileAttributesW(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) {
    if (CreateDirectoryW(path.c_str(), nullptr)) {
      if (TMCDTreeMan* tree = TargetTree()) tree->AddFolder(path);
      TargetChanged = true;
      return 1;
    }
    ShowErrorBox(ErrorText(path, GetLastError()));
    return 0;
  }
  if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
    FlushProgress();
    ShowErrorBox(Fill(LoadMessageText(10524), path));
    return 0;
  }
  int answer = FMergeAnswer;
  if (answer == fmYes || answer == fmSkip || answer == fmReplace) {
    FlushProgress();
    answer = MessageBoxStd(LoadMessageText(10519), Fill(LoadMessageText(10520), path), LoadMessageText(10521), 4,
                           answer, fmCancel);
    if (answer < 0) answer = fmCancel;
    FMergeAnswer = answer;
  }
  switch (answer) {
    case fmYes:
    case fmAll:
      return 1;
    case fmSkipAll:
    case fmSkip:
      return 2;
    case fmReplace:
    case fmReplaceAll: {
      std::wstring name = path.substr(TargetFolder.size());
      if (IsSameOrSubPath(SourceFolder, TargetFolder, name, true) || SameEntry(path, SourceFolder + name)) {
        if (answer == fmReplace) ShowInfo(LoadMessageText(10522));
        return 1;
      }
      bool deleted = DeleteFolderTree(path);
      if (deleted && CreateDirectoryW(path.c_str(), nullptr)) {
        TargetChanged = true;
        if (TMCDTreeMan* tree = TargetTree()) tree->AddFolder(path);
        return 1;
      }
      if (deleted) {
        TargetChanged = true;
        if (TMCDTreeMan* tree = TargetTree()) tree->DeleteFolder(path);
      }
      ShowErrorBox(Fill(LoadMessageText(10523), path));
      return 0;
    }
    default:
      return 0;
  }
}

bool TCopyMoveForm::CopyLink(const std::wstring& source, const std::wstring& target) {
  // A link is copied as a link to where it points, never entered.
  TFileHandle h(CreateFileW(source.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  wchar_t buf[MAX_PATH * 4] = {};
  DWORD n = h ? GetFinalPathNameByHandleW(h.get(), buf, MAX_PATH * 4, FILE_NAME_NORMALIZED) : 0;
  h.reset();
  std::wstring dest(buf, n < MAX_PATH * 4 ? n : 0);
  if (dest.rfind(L"\\\\?\\", 0) == 0) dest = dest.substr(4);
  if (dest.empty() || !CreateSymbolicLinkW(target.c_str(), dest.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    return ErrorQuestion(ErrorText(source, GetLastError()));
  TargetChanged = true;
  if (!IsCopy && !RemoveDirectoryW(source.c_str())) return ErrorQuestion(ErrorText(source, GetLastError()));
  return true;
}

bool TCopyMoveForm::CopyFolderRecursive(const std::wstring& sourcePrefix, const std::wstring& targetPrefix) {
  const std::wstring tp = targetPrefix.empty() ? sourcePrefix : targetPrefix;
  std::vector<TEntry> entries = ListFolder(SourceFolder + sourcePrefix);
  for (const TEntry& e : entries) {
    if (e.Attr & (FILE_ATTRIBUTE_DIRECTORY | 0x08)) continue;
    if (StopCheck()) return false;
    TCopyItem file;
    file.Name = e.Name;
    file.ShortName = e.ShortName;
    file.Size = e.Size;
    file.Date = e.Date;
    file.Attr = static_cast<int32_t>(e.Attr);
    if (!CopyOneFile(sourcePrefix, tp, file)) return false;
    if (!file.NewNamePath.empty())
      FNewNames.push_back({SourceFolder + sourcePrefix, TargetFolder + tp, file.Name, FilePart(file.NewNamePath)});
  }
  for (const TEntry& e : entries) {
    if (!(e.Attr & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (StopCheck()) return false;
    if (IsLink(e.Attr)) {
      if (!CopyLink(SourceFolder + sourcePrefix + e.Name, TargetFolder + tp + e.Name)) return false;
      continue;
    }
    int r = CreateTargetFolder(TargetFolder + tp + e.Name);
    if (r == 0) return false;
    if (r == 1 && !CopyFolderRecursive(sourcePrefix + e.Name + L"\\", tp + e.Name + L"\\")) return false;
    if (r == 2) {
      // A folder passed over counts as done.
      int32_t files = 0;
      int64_t bytes = 0;
      WalkFolderSize(SourceFolder + sourcePrefix + e.Name + L"\\", files, bytes);
      FBytesDone += bytes;
    }
  }
  if (!IsCopy) {
    std::wstring folder = ExcludeTrailingBackslash(SourceFolder + sourcePrefix);
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    if (!RemoveDirectoryW(folder.c_str())) {
      ShowErrorBox(Fill(LoadMessageText(10525), folder));
      return false;
    }
    if (FSourceTree) FSourceTree->DeleteFolder(folder);
    SourceChanged = TargetChanged = true;
  }
  return true;
}

bool TCopyMoveForm::ShellMove(const std::wstring& source, const std::wstring& target, bool folder) {
  std::wstring from = source + L'\0', to = target + L'\0';
  SHFILEOPSTRUCTW op{};
  op.hwnd = FHandle;
  op.wFunc = FO_MOVE;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | (folder ? FOF_NOCONFIRMMKDIR : 0) | FOF_NOERRORUI;
  TimeIo(true);
  bool ok = SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
  TimeIo(false);
  // The shell may report success without having moved: believe the disk.
  return ok && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
         GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool TCopyMoveForm::MoveFolderSameDrive(TCopyItem& item) {
  std::wstring source = SourceFolder + item.Name;
  std::wstring target = TargetFolder + (item.TargetName.empty() ? item.Name : item.TargetName);
  DWORD attr = GetFileAttributesW(target.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) {
    if (!ShellMove(source, target, true)) return false;
    if (FSourceTree) FSourceTree->MoveFolder(source, TargetFolder);
    TargetChanged = true;
    item.Written = true;
    FBytesDone += item.Size;
    return true;
  }
  if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
    bool go = AskSkipOnError(Fill(LoadMessageText(10526), source, target));
    FBytesDone += item.Size;
    return go;
  }
  FInfoBlock = LoadMessageText(10510) + L": " + source + L"\r" + LoadMessageText(10511) + L": " + target;
  int answer = FMergeAnswer;
  if (answer == fmYes || answer == fmSkip || answer == fmReplace) {
    FlushProgress();
    answer = MessageBoxStd(LoadMessageText(10519), Fill(LoadMessageText(10520), target) + L"\r\r" + FInfoBlock,
                           LoadMessageText(10521), 4, answer, fmCancel);
    if (answer < 0) answer = fmCancel;
    FMergeAnswer = answer;
  }
  std::wstring targetName = item.TargetName.empty() ? item.Name : item.TargetName;
  auto merge = [&] {
    if (!CopyFolderRecursive(item.Name + L"\\", targetName + L"\\")) return false;
    item.Written = true;
    return true;
  };
  switch (answer) {
    case fmYes:
    case fmAll:
      return merge();
    case fmSkipAll:
    case fmSkip:
      FBytesDone += item.Size;
      return true;
    case fmReplace:
    case fmReplaceAll:
      if (IsSameOrSubPath(SourceFolder, TargetFolder, targetName, true) || SameEntry(target, source)) {
        if (answer == fmReplace) ShowInfo(LoadMessageText(10522));
        return merge();
      }
      if (!DeleteFolderTree(target)) {
        ShowErrorBox(Fill(LoadMessageText(4152), target));
        return false;
      }
      if (TMCDTreeMan* tree = TargetTree()) tree->DeleteFolder(target);
      TargetChanged = true;
      if (!ShellMove(source, target, true)) return false;
      if (FSourceTree) FSourceTree->MoveFolder(source, TargetFolder);
      item.Written = true;
      FBytesDone += item.Size;
      return true;
    default:
      return false;
  }
}

bool TCopyMoveForm::DeleteFolderTree(const std::wstring& path) {
  std::wstring folder = IncludeTrailingBackslash(path);
  for (const TEntry& e : ListFolder(folder)) {
    std::wstring p = folder + e.Name;
    if (e.Attr & FILE_ATTRIBUTE_DIRECTORY) {
      if (IsLink(e.Attr)) {
        // The link goes, never what it points to.
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!RemoveDirectoryW(p.c_str())) return false;
      } else if (!DeleteFolderTree(p)) {
        return false;
      }
      continue;
    }
    if (e.Attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    if (!DeleteFileW(p.c_str())) {
      SetFileAttributesW(p.c_str(), e.Attr);
      return false;
    }
  }
  std::wstring self = ExcludeTrailingBackslash(folder);
  SetFileAttributesW(self.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryW(self.c_str()) != FALSE;
}

// ---- Progress ----

void TCopyMoveForm::ShowCopyNames(const std::wstring& prefix, const TCopyItem& item) {
  FNamesPrefix = prefix;
  FNamesItem = item.Name;
  FNamesSize = item.Size;
  FNamesPending = true;
}

void TCopyMoveForm::PaintCopyNames() {
  FNamesPending = false;
  SourceLabel->SetCaption(LoadMessageText(10510) + L" <P>" + SourceFolder + FNamesPrefix + L"<>");
  TargetLabel->SetCaption(LoadMessageText(10511) + L" <P>" + TargetFolder + FNamesPrefix + L"<>");
  NameLabel->SetCaption(FNamesItem);
  FileSizeLabel->SetCaption(FormatThousands(FNamesSize) + L" " + LoadMessageText(4121));
}

void TCopyMoveForm::UpdateCopyProgress() {
  LARGE_INTEGER started, ended, freq;
  QueryPerformanceCounter(&started);
  QueryPerformanceFrequency(&freq);
  auto since = [&](int64_t last) { return (started.QuadPart - last) * 1000 / freq.QuadPart; };
  if (FLastPaint == 0 || since(FLastPaint) >= PaintInterval) {
    PaintProgressNow();
  }
  if (OnProgress) OnProgress(this);
  // The queue is looked at every few milliseconds: often enough that Cancel answers at once,
  // rarely enough that small files and fast disks do not wait for it.
  QueryPerformanceCounter(&ended);
  if (FLastPump == 0 || (ended.QuadPart - FLastPump) * 1000 / freq.QuadPart >= PumpInterval) {
    Pump();
    QueryPerformanceCounter(&ended);
    FLastPump = ended.QuadPart;
  }
  UpdateSeconds += static_cast<double>(ended.QuadPart - started.QuadPart) / static_cast<double>(freq.QuadPart);
}

void TCopyMoveForm::PaintProgressNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  FLastPaint = now.QuadPart;
  if (FNamesPending) PaintCopyNames();
  CountLabel->SetCaption(L"(" + std::to_wstring(FFilesStarted) + L"/" + std::to_wstring(FFilesTotal) + L")");
  TotalSizeLabel->SetCaption(FormatThousands(FBytesTotal) + L" " + LoadMessageText(4121));
  if (FBytesTotal > 24999999) TotalBar->SetSepSize(6);
  int filePercent = FFileSize > 0 ? static_cast<int>(std::min<int64_t>(100, FFileDone * 100 / FFileSize)) : 100;
  if (FFileSize > 0 && FFileSize <= static_cast<int64_t>(FBlockSize)) filePercent = 100;
  int totalPercent = FBytesTotal > 0 ? static_cast<int>(std::min<int64_t>(100, FBytesDone * 100 / FBytesTotal)) : 100;
  FileBar->SetPosition(filePercent);
  TotalBar->SetPosition(totalPercent);
  FilePercentLabel->SetCaption(std::to_wstring(filePercent) + L"%");
  TotalPercentLabel->SetCaption(std::to_wstring(totalPercent) + L"%");
  FileDoneLabel->SetCaption(FormatThousands(FFileDone) + L" " + LoadMessageText(4121));
  TotalDoneLabel->SetCaption(FormatThousands(FBytesDone) + L" " + LoadMessageText(4121));
  if (Options.ShowCopySpeed) {
    int64_t seconds = static_cast<int64_t>(FIoSeconds);
    if (seconds != 0 && seconds != LastSpeedSeconds && FBytesWritten > 0) {
      LastSpeedSeconds = seconds;
      SpeedLabel->SetCaption(SpeedText(FBytesWritten, seconds, FBytesTotal - FBytesDone, true, LoadMessageText(10507),
                                       LoadMessageText(10508)));
    }
  }
  ShowPercent(totalPercent);
}

// ---- Descriptions ----

void TCopyMoveForm::CarryDescriptions() {
  bool any = std::any_of(FItems.begin(), FItems.end(), [](const auto& i) { return i->Written; });
  if (!any && FNewNames.empty()) return;
  HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  std::map<std::wstring, std::unique_ptr<THanDescMan>> files;  // by upper-cased folder
  auto open = [&](const std::wstring& folder, bool mustExist) -> THanDescMan* {
    std::wstring key = UpperCase(IncludeTrailingBackslash(folder));
    auto it = files.find(key);
    if (it != files.end()) return it->second.get();
    if (mustExist && !FileExistsPlain(IncludeTrailingBackslash(folder) + L"DESCRIPT.ION")) {
      files[key] = nullptr;
      return nullptr;
    }
    auto made = std::make_unique<THanDescMan>(folder);
    THanDescMan* p = made.get();
    files[key] = std::move(made);
    return p;
  };
  bool shortKeys = Options.DescShortRead && Options.DescShortWrite;
  auto setIn = [&](THanDescMan* target, const std::wstring& folder, const std::wstring& name,
                   const std::wstring& text) {
    std::wstring shortName = shortKeys ? FilePart(GetShortPath(IncludeTrailingBackslash(folder) + name)) : L"";
    target->SetDescription(name, shortName, text);
  };
  for (size_t i = FItems.size(); i-- > 0;) {
    const TCopyItem& item = *FItems[i];
    if (!item.Written) continue;  // a skipped item keeps its description where it is
    std::wstring sourceDir = SingleSourceFolder ? SourceFolder : FolderPart(item.Name);
    std::wstring name = SingleSourceFolder ? item.Name : FilePart(item.Name);
    THanDescMan* source = open(sourceDir, true);
    if (!source) continue;
    std::wstring text;
    source->GetDescription(name, item.ShortName, text);
    if (text.empty() && !item.TargetName.empty()) source->GetDescription(item.TargetName, L"", text);
    if (text.empty()) continue;
    if (!IsCopy) source->Delete(name, item.ShortName);
    THanDescMan* target = open(TargetFolder, false);
    std::wstring newName = !item.NewNamePath.empty() ? FilePart(item.NewNamePath)
                           : !item.TargetName.empty() ? item.TargetName
                                                      : name;
    setIn(target, TargetFolder, newName, text);
  }
  for (const TNewNameRec& rec : FNewNames) {
    THanDescMan* source = open(rec.SourceDir, true);
    if (!source) continue;
    std::wstring text;
    source->GetDescription(rec.OldName, L"", text);
    if (text.empty()) continue;
    setIn(open(rec.TargetDir, false), rec.TargetDir, rec.NewName, text);
  }
  files.clear();  // each file is written as its object goes
  SetCursor(old);
}

// ---- The commands ----

std::vector<int> ItemsToProcess(TMFList& list) {
  std::vector<int> picked;
  for (int index : list.SelectedIndexes()) {
    const TFileBoxItem* item = list.GetItem(index);
    if (item && item->Kind != ikDrive && !IsParentItem(*item)) picked.push_back(index);
  }
  if (picked.empty() && list.ItemIndex >= 0) {
    const TFileBoxItem* item = list.GetItem(list.ItemIndex);
    if (item && item->Kind != ikDrive && !IsParentItem(*item)) picked.push_back(list.ItemIndex);
  }
  return picked;
}

TCopyMoveCommandResult CopyMoveItems(bool copy, TMFList& source, const std::wstring& target) {
  TCopyMoveCommandResult result;
  std::vector<int> picked = ItemsToProcess(source);
  if (picked.empty() || target.empty() || !source.ArcFileName.empty()) return result;
  TCopyMoveForm form(nullptr);
  form.IsCopy = copy;
  form.SourceFolder = source.Path;
  form.TargetFolder = IncludeTrailingBackslash(target);
  for (int index : picked) {
    const TFileBoxItem& item = *source.GetItem(index);
    bool folder = item.Kind == ikFolder;
    // A folder whose size was computed brings its count; any other is walked.
    bool counted = folder && item.Size >= 0 && item.FileCount > 0;
    form.AddItem(source.ItemName(index), item.ShortName, folder ? (counted ? static_cast<int32_t>(item.FileCount) : -1) : 1,
                 item.Attr, item.Time, folder ? (counted ? item.Size : 0) : item.Size);
  }
  form.Execute();
  result.Ran = true;
  result.SourceChanged = form.SourceChanged;
  result.TargetChanged = form.TargetChanged;
  result.Target = form.TargetFolder;
  std::wstring done;
  form.GetDoneList(done);
  TProcessDoneUnSelect unselect;
  unselect.FileList = &source;
  unselect.LoadNames(done);
  unselect.Execute();
  return result;
}

namespace {
// The target of a copy or move, asked with the target chooser and kept in the history; empty
// when none was chosen.
std::wstring AskCopyTarget(bool copy, const std::wstring& suggestedTarget) {
  std::wstring word = LoadMessageText(copy ? 4113 : 4114);
  std::wstring history;
  Options.GetHistoryText(hkTARGET, history);
  std::wstring path;
  if (!SelectTargetPath(Fill(LoadMessageText(10502), word), Fill(LoadMessageText(10504), word), history,
                        suggestedTarget, path) ||
      Trim(path).empty())
    return L"";
  Options.AddHistory(hkTARGET, path);
  return path;
}
}  // namespace

TCopyMoveCommandResult CopyMoveCommand(bool copy, TMFList& source, const std::wstring& suggestedTarget) {
  if (ItemsToProcess(source).empty() || !source.ArcFileName.empty()) return {};
  std::wstring path = AskCopyTarget(copy, suggestedTarget);
  if (path.empty()) return {};
  return CopyMoveItems(copy, source, path);
}

TCopyMoveCommandResult CopyMoveFolderCommand(bool copy, const std::wstring& folderPath,
                                             const std::wstring& suggestedTarget) {
  const std::wstring folder = ExcludeTrailingBackslash(folderPath);
  const std::wstring parent = ExtractParentDir(folder);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (folder.empty() || parent.empty() || IsPathRoot(folderPath) ||
      !GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data))
    return {};
  std::wstring path = AskCopyTarget(copy, suggestedTarget);
  if (path.empty()) return {};
  TCopyMoveForm form(nullptr);
  form.IsCopy = copy;
  form.SourceFolder = IncludeTrailingBackslash(parent);
  form.TargetFolder = IncludeTrailingBackslash(path);
  form.AddItem(PathFilePart(folder), PathFilePart(GetShortPath(folder)), -1, static_cast<int32_t>(data.dwFileAttributes),
               FileTimeToLocalDateTime(data.ftLastWriteTime), 0);
  form.Execute();
  TCopyMoveCommandResult result;
  result.Ran = true;
  result.SourceChanged = form.SourceChanged;
  result.TargetChanged = form.TargetChanged;
  result.Target = form.TargetFolder;
  return result;
}

void InstallFileOperations() {
  DefaultFolderTreeCache = MCDTreeCacheFactory();
  for (bool copy : {true, false}) {
    RegisterCommand(copy ? 1001 : 1002, [copy](TQ7XForm& form, TShiftState) {
      TMFList* list = form.ActiveList();
      if (!list) return;
      TMFList* other = form.OtherList();
      CopyMoveCommand(copy, *list, other ? other->Path : list->Path);
      // Both panels show what changed.
      if (TPanelView* p = form.ActivePanel()) p->Reread();
      if (TPanelView* p = form.OtherPanel()) p->Reread();
    });
  }
}
