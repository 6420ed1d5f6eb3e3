#include "fileops/frmSplit.h"

#include <algorithm>

#include "fileops/CRC32.h"
#include "fileops/RenDlg.h"
#include "fileops/WriteBehind.h"
#include "fileops/frmTgt.h"
#include "foundation/FileIO.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/Handles.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

namespace {
std::wstring Msg(int id) { return LoadMessageText(id); }
std::wstring FolderOf(const std::wstring& path) { return PathFolderPart(path); }
std::wstring FullPath(const std::wstring& path) {
  wchar_t buf[MAX_PATH * 2];
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buf, nullptr);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(buf, n) : path;
}
bool Identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  TFileHandle h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h && GetFileInformationByHandle(h.get(), &info);
}
bool SameFileInfo(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}
int64_t FreeSpace(const std::wstring& path) {
  ULARGE_INTEGER avail{};
  std::wstring root = ExtractPathRoot(path);
  if (!GetDiskFreeSpaceExW(root.c_str(), &avail, nullptr, nullptr)) return 0;
  return static_cast<int64_t>(std::min<ULONGLONG>(avail.QuadPart, 0x7FFFFFFFFFFFFFFFull));
}
bool IsRemovable(const std::wstring& path) {
  std::wstring root = ExtractPathRoot(path);
  return !root.empty() && GetDriveTypeW(IncludeTrailingBackslash(root).c_str()) == DRIVE_REMOVABLE;
}
std::wstring Buttons(std::initializer_list<int> ids) {
  std::wstring s;
  for (int id : ids) s += (s.empty() ? L"" : L"|") + Msg(id);
  return s;
}
// A file name for the output: the file part of the answer; asked again while it is no name.
bool AskOutputName(const std::wstring& text, std::wstring& name) {
  std::wstring value = name;
  for (;;) {
    if (!AskOkCancel(L"", text, L"", value, L"", false)) return false;
    value = Trim(value);
    if (value.empty()) return false;
    std::wstring part = FileNamePart(value);
    if (IsValidPlainFileName(part)) {
      name = part;
      return true;
    }
  }
}
}  // namespace

// ---- The split dialog ----

TSplitForm::TSplitForm(TComponent* owner) : THanForm(owner) {
  Name = L"SplitForm";
  SetBorderStyle(bsSingle);
  Position = poOwnerFormCenter;
  KeyPreview = true;
  Font.SetName(Options.MainFont.Name);
  if (Options.MainFont.Size > 0) Font.SetSize(std::min<int>(Options.MainFont.Size, 9));
  SetClientSize(426, 262);
  auto place = [&](TControl* c, const wchar_t* name, int x, int y, int w, int h) {
    c->Name = name;
    c->SetBounds(x, y, w, h);
    c->SetParent(this);
  };
  auto sys = [&](const wchar_t* cls, DWORD style, const wchar_t* name, const std::wstring& text, int x, int y, int w,
                 int h) {
    auto* c = new TRenSysControl(this, cls, style);
    c->SetCaption(text);
    place(c, name, x, y, w, h);
    return c;
  };
  PathLbl = sys(L"STATIC", SS_LEFT, L"PathLbl", L"저장할 경로(&P)", 10, 10, 300, 16);
  NameCombo = new TComboBox(this);
  NameCombo->DropDownCount = 20;
  NameCombo->TabStop = true;
  place(NameCombo, L"NameCombo", 10, 28, 320, 22);
  MCDBtn = new THanButton(this);
  MCDBtn->SetCaption(Msg(30103));
  MCDBtn->TabStop = true;
  MCDBtn->OnClick = [this](TComponent*) { MCDBtnClick(); };
  place(MCDBtn, L"MCDBtn", 336, 27, 80, 24);
  auto* optionFrame = new TGroupFrame(this);
  place(optionFrame, L"OptionGrp", 10, 58, 406, 78);
  OptionGrp = optionFrame;
  VolumnSizeLabel = sys(L"STATIC", SS_LEFT, L"VolumnSizeLabel", L"분할 크기(&S)", 22, 79, 100, 16);
  VolumnSizeCombo = new TComboBox(this);
  VolumnSizeCombo->TabStop = true;
  VolumnSizeCombo->ShowHint = true;
  VolumnSizeCombo->OnChange = [this](TComponent*) { VolumnSizeComboChange(); };
  place(VolumnSizeCombo, L"VolumnSizeCombo", 124, 76, 160, 22);
  SourceRemove = sys(L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, L"SourceRemove", L"분할후 원본 삭제(&D)", 22, 106, 186, 18);
  SourceRemove->TabStop = true;
  MakeBatch = sys(L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, L"MakeBatch", L"배치파일 생성(&B)", 214, 106, 190, 18);
  MakeBatch->TabStop = true;
  MakeBatch->ShowHint = true;
  auto* infoFrame = new TGroupFrame(this);
  infoFrame->SetCaption(L" 정보 ");
  place(infoFrame, L"GroupBox1", 10, 142, 406, 78);
  GroupBox1 = infoFrame;
  InfoLbl = new THanLabelEX(this);
  place(InfoLbl, L"InfoLbl", 22, 160, 384, 54);
  OkBtn = new THanButton(this);
  OkBtn->SetCaption(Msg(1));
  OkBtn->SetDefault(true);
  OkBtn->ModalResult = mrOk;
  OkBtn->TabStop = true;
  place(OkBtn, L"OkBtn", 230, 230, 90, 24);
  CancelBtn = new THanButton(this);
  CancelBtn->SetCaption(Msg(2));
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->TabStop = true;
  place(CancelBtn, L"CancelBtn", 326, 230, 90, 24);
  optionFrame->SendToBack();
  infoFrame->SendToBack();
  ActiveControl = NameCombo;
  OnShow = [this](TComponent*) { FormShow(); };
  OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (shift & (ssShift | ssAlt | ssCtrl)) return;
    if (key == VK_F10) {
      key = 0;
      MCDBtnClick();
    } else if (key == VK_F1) {
      key = 0;
      if (Q7XForm) Q7XForm->ShowHelp(L"split");
    }
  };
  OnCloseQuery = [this](TComponent*, bool& canClose) {
    if (ModalResult() == mrOk && !OkBtnClick()) canClose = false;
  };
}

bool TSplitForm::Checked(TRenSysControl* box) const {
  return box->HandleAllocated() && box->Send(BM_GETCHECK) == BST_CHECKED;
}
void TSplitForm::SetChecked(TRenSysControl* box, bool on) {
  if (box->HandleAllocated()) box->Send(BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED);
}

void TSplitForm::FormShow() {
  TranslateForm(L"SplitForm");
  std::wstring history;
  Options.GetHistoryText(hkTARGET, history);
  TStringList items;
  items.SetText(history);
  NameCombo->SetItems(items);
  TStringList sizes;
  for (const wchar_t* s : {L"자동", L"1400 KB", L"2800 KB", L"10 MB", L"20 MB", L"50 MB", L"100 MB"}) sizes.Add(s);
  VolumnSizeCombo->SetItems(sizes);
  VolumnSizeCombo->SetText(sizes[1]);
  SetChecked(SourceRemove, Options.SplitSrcRemove);
  SetChecked(MakeBatch, Options.SplitMakeBat);
  SetCaption(FileNamePart(SourceName) + L" - " + Msg(30310));
  NameCombo->SetText(TargetPath);
  VolumnSizeCombo->Hint = Msg(30311);
  MakeBatch->Hint = Msg(30312);
  UpdateSplitInfo();
}

void TSplitForm::UpdateSplitInfo() {
  PieceSize = ParsePieceSize(VolumnSizeCombo->Text());
  PieceCount = PieceCountFor(SourceSize, PieceSize);
  InfoLbl->SetCaption(
      FormatMessageText(30313, {FormatThousands(SourceSize), FormatThousands(PieceSize), FormatThousands(PieceCount)}));
}

void TSplitForm::MCDBtnClick() {
  std::wstring text = NameCombo->Text();
  if (TargetFolderChooser) {
    std::wstring chosen = TargetFolderChooser(FolderOf(text), Msg(30314));
    if (!chosen.empty()) {
      NameCombo->SetText(IncludeTrailingBackslash(chosen) + FileNamePart(text));
      NameCombo->SelectAll();
    }
  }
  NameCombo->SetFocus();
}

bool TSplitForm::OkBtnClick() {
  UpdateSplitInfo();
  if (PieceSize >= 1 && PieceSize <= 99999) {
    ShowInfo(Msg(30315));
    return false;
  }
  if (PieceCount > 100 && !AskYesNo(Msg(30316), false)) return false;
  std::wstring target = Trim(FullPath(Trim(NameCombo->Text())));
  if (Trim(NameCombo->Text()).empty() || (PieceSize == 0 && !IsRemovable(target))) {
    ShowInfo(Msg(30317));
    return false;
  }
  DWORD attr = GetFileAttributesW(target.c_str());
  if (target.back() == L'\\' || (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)))
    target = IncludeTrailingBackslash(target) + FileNamePart(SourceName) + L".001";
  else
    target = PieceBaseName(target) + L".001";
  if (!FolderExists(FolderOf(target))) {
    ShowInfo(Msg(30318));
    return false;
  }
  if (PathExists(target) && !AskYesNo(Msg(30319), false)) {
    NameCombo->SetFocus();
    return false;
  }
  Options.SplitSrcRemove = Checked(SourceRemove);
  Options.SplitMakeBat = Checked(MakeBatch);
  Options.AddHistory(hkTARGET, FolderOf(target));
  TargetPath = target;
  return true;
}

// ---- The progress window ----

TSplitCombineForm::TSplitCombineForm(TComponent* owner)
    : TProgressForm(owner, RGB(227, 119, 0), RGB(234, 217, 6), RGB(255, 148, 30), RGB(255, 250, 36)) {
  StopQuestionMsg = 30323;
}

TSplitCombineForm::~TSplitCombineForm() = default;

std::wstring TSplitCombineForm::PiecePath(int64_t number) const {
  return (Mode == smSplit ? FTargetFolder : FSourceFolder) + PieceName(FBase, number);
}

void TSplitCombineForm::RunOperation() {
  Success = false;
  CrcState = jcsMatched;
  SourceDeleted = false;
  OutputPath.clear();
  OperationName = Msg(30320 + Mode);
  SetCaption(OperationName);
  ResetRunState();
  BeginTitle();
  FCrc = 0xFFFFFFFF;
  FTotal = FTotalDone = FPieceDone = FPieceSize = FBytesMoved = 0;
  FPieceNo = FPieceCount = 0;
  FHeader.clear();
  FHeaderPending = 0;
  FOverwriteAnswer = -1;
  FSizeAll = FCrcAll = false;
  FCreated.clear();
  FInputs.clear();
  FPieceEntries.clear();
  FList = TCrcList();
  FIoSeconds = 0;
  FLastSpeedSecond = 0;
  QueryPerformanceCounter(&FStart);
  // 1 MB blocks: half the calls of 512 KB ones, and measured faster; three are in flight.
  BlockSize = GetSystemMetrics(SM_SLOWMACHINE) ? 0x40000 : 0x100000;
  FMergeList.clear();
  if (Mode == smMerge) {
    size_t start = 0;
    while (start <= Source.size()) {
      size_t end = Source.find_first_of(L"\r\n", start);
      if (end == std::wstring::npos) end = Source.size();
      if (end > start) FMergeList.push_back(Source.substr(start, end - start));
      start = end + 1;
    }
  }
  std::wstring probe = Mode == smSplit ? Target : Mode == smJoin ? Source : (FMergeList.empty() ? L"" : FMergeList[0]);
  DiskChange = ForceDiskChange || IsRemovable(probe);
  if (DiskChange) BlockSize = 0x20000;
  FPipe = std::make_unique<TWriteBehind>(BlockSize);
  FLastPaint = FLastPump = 0;
  FNamesPending = false;
  FModalResult = mrNone;
  Pump();
  if (Mode == smSplit)
    SplitFile();
  else
    JoinFiles();
  FPipe.reset();
  EndTitle();
}

void TSplitCombineForm::Remember(HANDLE created, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info{};
  TCreated c;
  c.Path = path;
  if (GetFileInformationByHandle(created, &info)) {
    c.Volume = info.dwVolumeSerialNumber;
    c.IndexHigh = info.nFileIndexHigh;
    c.IndexLow = info.nFileIndexLow;
  }
  FCreated.push_back(c);
}

HANDLE TSplitCombineForm::CreateOutput(const std::wstring& path, bool beside, std::wstring& writePath, DWORD& error) {
  HANDLE h = INVALID_HANDLE_VALUE;
  writePath = path;
  for (int n = 0; n < 100; ++n) {
    if (beside) writePath = path + L".~" + std::to_wstring(n);
    h = CreateFileW(writePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    error = h != INVALID_HANDLE_VALUE ? 0 : GetLastError();
    if (h != INVALID_HANDLE_VALUE || !beside || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) break;
  }
  return h;
}

bool TSplitCombineForm::SwapIn(const std::wstring& written, const std::wstring& target) {
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (MoveFileExW(written.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  ShowInfo(Msg(30330) + L"\r\r" + SystemErrorText(GetLastError()));
  return false;
}

bool TSplitCombineForm::RemoveCreated(const TCreated& c) {
  BY_HANDLE_FILE_INFORMATION info{};
  // Only the very file this run made, on the disk it was made on.
  if (!Identity(c.Path, info)) return true;
  if (info.dwVolumeSerialNumber != c.Volume || info.nFileIndexHigh != c.IndexHigh || info.nFileIndexLow != c.IndexLow)
    return true;
  SetFileAttributesW(c.Path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(c.Path.c_str()) != FALSE;
}

bool TSplitCombineForm::OutputIsInput(const std::wstring& path) const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!Identity(path, info)) return false;
  for (const BY_HANDLE_FILE_INFORMATION& in : FInputs)
    if (SameFileInfo(in, info)) return true;
  return false;
}

bool TSplitCombineForm::ShowFailure(const std::wstring& text) {
  ShowInfo(text);
  return false;
}

TSplitCombineForm::TOverwrite TSplitCombineForm::AskOverwritePiece(const std::wstring& path, bool withRetry,
                                                                   bool removeNow) {
  int answer = FOverwriteAnswer;
  const int all = 1, retry = 2;
  int cancel = withRetry ? 3 : 2;
  if (answer != all) {
    FlushProgress();
    answer = MessageBoxStd(L"", Msg(30329) + L"\r\r<P>" + path, withRetry ? Buttons({9, 11, 12, 2}) : Buttons({9, 11, 2}),
                           3, 0, cancel);
    if (answer < 0) answer = cancel;
    FOverwriteAnswer = answer;
  }
  if (answer == cancel) return owCancel;
  if (withRetry && answer == retry) return owRetry;
  if (!removeNow) return owOverwritten;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileW(path.c_str())) return owOverwritten;
  ShowInfo(Msg(30330) + L"\r\r" + SystemErrorText(GetLastError()));
  return withRetry ? owRetry : owCancel;
}

bool TSplitCombineForm::AskContinueAll(const std::wstring& text, bool& all) {
  if (all) return true;
  FlushProgress();
  int answer = MessageBoxStd(L"", text, Buttons({9, 11, 2}), 4, 0, 2);
  if (answer == 1) all = true;
  return answer == 0 || answer == 1;
}

bool TSplitCombineForm::AskDisk(int msg, int titleMsg, const std::wstring& path, int secondButtonMsg) {
  FlushProgress();
  return MessageBoxStd(Msg(titleMsg), FormatMessageText(msg, {path}), Buttons({12, secondButtonMsg}), 1, 0, 1) == 0;
}

bool TSplitCombineForm::CopyPieceData(bool computeCrc, HANDLE input, const std::wstring& inputPath, HANDLE output,
                                      const std::wstring& outputPath) {
  // This thread reads; the pipe sums and writes each block while the next one is read. The
  // piece's counters move as blocks are written; the loop goes by what was read.
  TWriteBehind& pipe = *FPipe;
  pipe.Begin(
      [output](const char* data, DWORD count) -> DWORD {
        DWORD wrote = 0;
        if (!WriteFile(output, data, count, &wrote, nullptr)) return GetLastError();
        return wrote == count ? 0 : ERROR_DISK_FULL;
      },
      computeCrc, FCrc);
  // However this ends, even by an exception, no block is still being written when the caller
  // closes or removes the output.
  struct TDrain {
    TWriteBehind& Pipe;
    ~TDrain() { Pipe.Finish(); }
  } drain{pipe};
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  auto ioTime = [&] {
    QueryPerformanceCounter(&t1);
    FIoSeconds += static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
  };
  auto account = [&] {
    int64_t done = pipe.TakeDone();
    FPieceDone += done;
    FTotalDone += done;
    FBytesMoved += done;
  };
  int64_t pieceRead = FPieceDone, totalRead = FTotalDone;
  // A read failure is this loop's own; a failed write is the pipe's, kept until the next piece.
  DWORD readError = 0;
  bool stopped = false;
  for (;;) {
    if (pieceRead >= FPieceSize) break;
    if (FTotal > 0 && totalRead >= FTotal && Mode != smSplit) break;
    DWORD want = static_cast<DWORD>(std::min<int64_t>(BlockSize, FPieceSize - pieceRead));
    DWORD got = 0;
    bool headerBlock = FHeaderPending > 0;
    QueryPerformanceCounter(&t0);
    char* buffer = pipe.NextBuffer();
    if (headerBlock && Mode == smSplit) {
      got = static_cast<DWORD>(FHeaderPending);
      std::copy(FHeader.begin(), FHeader.begin() + static_cast<ptrdiff_t>(got), buffer);
    } else {
      if (!ReadFile(input, buffer, want, &got, nullptr)) readError = GetLastError();
      // Nothing read before the piece's end: the file shrank or the medium went.
      else if (got == 0 || (headerBlock && got < FHeaderPending)) readError = ERROR_HANDLE_EOF;
    }
    if (!readError) {
      // A header in front of the first piece is read with the block (so that the reads stay
      // on block boundaries) and counts as done, but is not written.
      pipe.Submit(got, headerBlock && Mode != smSplit ? static_cast<DWORD>(FHeaderPending) : 0);
      if (headerBlock) FHeaderPending = 0;
      pieceRead += got;
      totalRead += got;
    }
    ioTime();
    if (readError || pipe.Error()) break;
    account();
    UpdateSplitProgress();
    if (CheckCancel(FTotal > 0 && totalRead >= FTotal)) {
      stopped = true;
      break;
    }
  }
  // Every block handed over is written (or dropped after a failed write) before the piece's
  // handles are closed, removed or its sum is looked at.
  QueryPerformanceCounter(&t0);
  FCrc = pipe.Finish();
  ioTime();
  const DWORD writeError = readError ? 0 : pipe.Error();
  account();
  if (readError || writeError) {
    FIoFailed = true;
    FlushProgress();
    ShowInfo(readError ? TOperationForm::ErrorText(inputPath, readError) : TOperationForm::ErrorText(outputPath, writeError));
    return false;
  }
  if (stopped) return false;
  UpdateSplitProgress();
  return true;
}

// ---- Split ----

void TSplitCombineForm::SplitFile() {
  FSourceFolder = FolderOf(Source);
  FSourceName = FileNamePart(Source);
  FTargetFolder = FolderOf(Target);
  FTargetName = FileNamePart(Target);
  FBase = PieceBaseName(FTargetName);
  FIoFailed = false;
  TFileHandle in(CreateFileW(Source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) {
    ShowInfo(TOperationForm::ErrorText(Source, GetLastError()));
    return;
  }
  GetFileTime(in.get(), &FTimes[0], &FTimes[1], &FTimes[2]);
  LARGE_INTEGER size{};
  GetFileSizeEx(in.get(), &size);
  int64_t sourceSize = size.QuadPart;
  FTotal = sourceSize;
  FPieceCount = PieceCountFor(sourceSize, PieceSize);
  BY_HANDLE_FILE_INFORMATION self{};
  if (GetFileInformationByHandle(in.get(), &self)) FInputs.push_back(self);
  // No piece and no list may be the source itself.
  std::vector<std::wstring> outputs = {FTargetFolder + FBase + L".crc", FTargetFolder + FBase + L".bat"};
  if (FPieceCount > 0) {
    for (int64_t n = 1; n <= FPieceCount; ++n) outputs.push_back(PiecePath(n));
  } else if (SamePath(FSourceFolder, FTargetFolder) || [&] {
               BY_HANDLE_FILE_INFORMATION a{}, b{};
               return Identity(FSourceFolder, a) && Identity(FTargetFolder, b) && SameFileInfo(a, b);
             }()) {
    std::wstring prefix = FBase + L".";
    if (FSourceName.size() >= prefix.size() + 3 && SameTextI(FSourceName.substr(0, prefix.size()), prefix) &&
        std::all_of(FSourceName.begin() + static_cast<ptrdiff_t>(prefix.size()), FSourceName.end(),
                    [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
      outputs.push_back(Source);
  }
  for (const std::wstring& out : outputs) {
    if (SamePath(out, Source) || OutputIsInput(out)) {
      ShowErrorBox(FormatMessageText(30354, {out}));
      return;
    }
  }
  ShowCounter = FPieceCount > 0;
  CountLabel->SetVisible(ShowCounter);
  if (!Options.SplitMakeBat) {
    FHeader = PieceHeaderBytes(FSourceName, sourceSize);
    FHeaderPending = FHeader.size();
    FTotal += static_cast<int64_t>(FHeaderPending);
  }
  FPieceNo = 1;
  bool failed = false;
  // Pieces that take the place of files already there are written beside them and swapped in
  // once every piece is written, so that a split that fails or is cancelled leaves the old ones
  // as they were. With a disk for each piece there is no waiting for the last one: an old piece
  // goes once its overwrite is confirmed. Each pair: the file written, the piece it replaces.
  std::vector<std::pair<std::wstring, std::wstring>> replacing;
  do {
    bool retry;
    do {
      retry = false;
      FCurrentPath = PiecePath(FPieceNo);
      FTargetName = FileNamePart(FCurrentPath);
      int64_t dataRest = FTotal - FTotalDone - static_cast<int64_t>(FHeaderPending);
      int64_t pending = static_cast<int64_t>(FHeaderPending);
      FPieceSize = (PieceSize > 0 ? std::min(PieceSize, dataRest) : dataRest) + pending;
      ShowSplitNames();
      UpdateSplitProgress();
      if (DiskChange) {
        int64_t free = FreeSpace(FCurrentPath);
        if (PieceSize == 0) FPieceSize = std::min(free - 5120, dataRest + pending);
        if ((FPieceSize <= 0 && dataRest + pending > 0) || FPieceSize > free) {
          if (AskDisk(30334, 30332, FCurrentPath, 2)) {
            retry = true;
            continue;
          }
          failed = true;
          break;
        }
      }
      bool replaces = false;
      if (PathExistsAny(FCurrentPath)) {
        TOverwrite r = AskOverwritePiece(FCurrentPath, DiskChange, DiskChange);
        replaces = !DiskChange;
        if (r == owCancel) {
          failed = true;
          break;
        }
        if (r == owRetry) {
          retry = true;
          continue;
        }
      }
      std::wstring writePath;
      DWORD error = 0;
      TFileHandle out(CreateOutput(FCurrentPath, replaces, writePath, error));
      if (!out) {
        if (!DiskChange) {
          ShowInfo(TOperationForm::ErrorText(FCurrentPath, error));
        } else if (MessageBoxStd(L"", TOperationForm::ErrorText(FCurrentPath, error), Buttons({12, 2}), 2, 0, 1) == 0) {
          retry = true;
          continue;
        }
        failed = true;
        break;
      }
      Remember(out.get(), writePath);
      if (replaces) replacing.push_back({writePath, FCurrentPath});
      FPieceDone = 0;
      bool copied = CopyPieceData(true, in.get(), Source, out.get(), FCurrentPath);
      bool closed = CloseChecked(out);
      if (!copied || !closed) {
        if (copied && !closed) ShowInfo(TOperationForm::ErrorText(FCurrentPath, ERROR_WRITE_FAULT));
        failed = true;
        break;
      }
      if (!Options.SplitMakeBat) {
        TPieceListEntry entry;
        entry.Name = FTargetName;
        entry.Size = FPieceDone;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        FILETIME local{};
        SYSTEMTIME st{};
        if (GetFileAttributesExW(writePath.c_str(), GetFileExInfoStandard, &data)) {
          entry.Size = MakeInt64(data.nFileSizeHigh, data.nFileSizeLow);
          FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
          FileTimeToSystemTime(&local, &st);
        }
        entry.Hour = st.wHour;
        entry.Minute = st.wMinute;
        entry.Second = st.wSecond;
        entry.Year = st.wYear;
        entry.Month = st.wMonth;
        entry.Day = st.wDay;
        entry.Crc = FCrc ^ 0xFFFFFFFFu;
        FPieceEntries.push_back(entry);
        FCrc = 0xFFFFFFFF;
      }
    } while (retry);
    if (failed) break;
    if (FTotalDone < FTotal) ++FPieceNo;
  } while (FTotalDone < FTotal);
  in.reset();
  Success = !failed && FTotalDone == FTotal;
  for (size_t i = 0; Success && i < replacing.size(); ++i) Success = SwapIn(replacing[i].first, replacing[i].second);
  if (Success) {
    Success = WriteCrcAndBatch();
  } else {
    DeleteIncompletePieces(StopConfirmed());
  }
}

bool TSplitCombineForm::WriteListFile(const std::wstring& path, const std::wstring& text, const wchar_t* kind) {
  for (;;) {
    if (!PathExistsAny(path)) break;
    // The new list takes the old one's place only once it is written whole, but on a disk of its
    // own, where the old one's room is needed first.
    TOverwrite r = AskOverwritePiece(path, DiskChange, DiskChange);
    if (r == owCancel) return false;
    if (r == owOverwritten) break;
  }
  std::string bytes = EncodeListFile(text);
  while (DiskChange && FreeSpace(path) < static_cast<int64_t>(bytes.size()) + 24) {
    if (!AskDisk(30334, 30332, path, 2)) return false;
  }
  if (!SafeWriteFile(path, bytes)) return ShowFailure(FormatMessageText(30335, {kind}));
  return true;
}

bool TSplitCombineForm::WriteCrcAndBatch() {
  std::wstring crcPath = FTargetFolder + FBase + L".crc";
  std::wstring text = Options.SplitMakeBat ? CrcListBatchText(FSourceName, FTotal, FCrc ^ 0xFFFFFFFFu)
                                           : CrcListPiecesText(FPieceEntries);
  if (!WriteListFile(crcPath, text, L"CRC")) return false;
  if (Options.SplitMakeBat &&
      !WriteListFile(FTargetFolder + FBase + L".bat", JoinBatchText(FBase, FPieceNo, FSourceName), L"BAT"))
    return false;
  if (Options.SplitSrcRemove) {
    SetFileAttributesW(Source.c_str(), FILE_ATTRIBUTE_NORMAL);
    SourceDeleted = DeleteFileW(Source.c_str()) != FALSE;
  }
  return true;
}

void TSplitCombineForm::DeleteIncompletePieces(bool) {
  // Every piece this run created goes, and only those: a piece on a disk that was changed
  // since is no longer the file at that path and stays.
  for (const TCreated& c : FCreated) {
    if (!RemoveCreated(c)) {
      ShowInfo(Msg(30336) + L"\r\r<P>" + c.Path + L"<>");
      break;
    }
  }
  FCreated.clear();
}

// ---- Join and merge ----

void TSplitCombineForm::ReadCrcFile() {
  std::wstring path = FSourceFolder + FBase + L".crc";
  std::string bytes;
  if (!FileExistsPlain(path) || !ReadFileBytes(path, bytes)) return;
  FList = ParseCrcList(DecodeListFile(bytes));
  BY_HANDLE_FILE_INFORMATION info{};
  if (Identity(path, info)) FInputs.push_back(info);
  if (FList.PerPiece) {
    FPieceCount = FList.PieceCount;
    FTotal = FList.Total;
  } else if (FList.WholeFile) {
    FTotal = FList.Total;
  }
}

bool TSplitCombineForm::GetJoinOutputName(HANDLE firstPiece) {
  std::wstring name;
  if (FList.WholeFile) {
    std::wstring part = FileNamePart(FList.FileName);
    if (IsValidPlainFileName(part)) name = part;
  }
  if (name.empty()) {
    char head[250];
    DWORD got = 0;
    ReadFile(firstPiece, head, sizeof head, &got, nullptr);
    LARGE_INTEGER zero{};
    SetFilePointerEx(firstPiece, zero, nullptr, FILE_BEGIN);
    TPieceHeader header = ParsePieceHeader(std::string_view(head, got));
    if (header.Found && header.Size >= 0 && IsValidPlainFileName(header.Name)) {
      int64_t headerLength = static_cast<int64_t>(header.Length);
      // The stated size must agree with the pieces: otherwise the bytes are the file's own.
      bool agrees;
      if (FList.PerPiece && FList.Total > 0) {
        agrees = FList.Total - headerLength == header.Size;
      } else if (!DiskChange) {
        int64_t sum = 0;
        for (int64_t n = 1;; ++n) {
          WIN32_FILE_ATTRIBUTE_DATA data{};
          if (!GetFileAttributesExW(PiecePath(n).c_str(), GetFileExInfoStandard, &data)) break;
          sum += MakeInt64(data.nFileSizeHigh, data.nFileSizeLow);
        }
        agrees = sum - headerLength == header.Size;
      } else {
        LARGE_INTEGER size{};
        GetFileSizeEx(firstPiece, &size);
        agrees = header.Size + headerLength >= size.QuadPart;
      }
      if (agrees) {
        name = header.Name;
        FHeaderPending = header.Length;
        if (FTotal == 0) FTotal = header.Size + headerLength;
      }
    }
  }
  if (name.empty()) {
    name = FBase + L".out";
    if (!AskOutputName(FormatMessageText(30337, {Source}), name)) return false;
  }
  FTargetName = name;
  return true;
}

void TSplitCombineForm::JoinFiles() {
  FTargetFolder = IncludeTrailingBackslash(Target);
  FIoFailed = false;
  TFileHandle first;
  if (Mode == smJoin) {
    FSourceFolder = FolderOf(Source);
    FSourceName = FileNamePart(Source);
    FBase = PieceBaseName(FSourceName);
    std::wstring crcPath = FSourceFolder + FBase + L".crc";
    while (DiskChange && !FileExistsPlain(crcPath)) {
      if (!AskDisk(30333, 30331, crcPath, 13)) break;
    }
    ReadCrcFile();
    first.reset(CreateFileW(Source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
    if (!first) {
      ShowInfo(TOperationForm::ErrorText(Source, GetLastError()));
      CrcState = jcsNoCrc;
      return;
    }
    if (!GetJoinOutputName(first.get())) {
      CrcState = jcsNoCrc;
      return;
    }
  } else {
    FSourceFolder = FMergeList.empty() ? L"" : FolderOf(FMergeList[0]);
    // The sizes as they are now: the caller's total may be older than the files.
    FTotal = 0;
    for (const std::wstring& file : FMergeList) {
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        FTotal = MergeTotal;
        break;
      }
      FTotal += MakeInt64(data.nFileSizeHigh, data.nFileSizeLow);
    }
    FPieceCount = static_cast<int64_t>(FMergeList.size());
    std::wstring name = FMergeList.empty() ? L"" : FileNamePart(FMergeList[0]) + L".out";
    if (FMergeList.empty() || !AskOutputName(Msg(30338), name)) {
      CrcState = jcsNoCrc;
      return;
    }
    FTargetName = name;
    for (const std::wstring& file : FMergeList) {
      BY_HANDLE_FILE_INFORMATION info{};
      if (Identity(file, info)) FInputs.push_back(info);
    }
  }
  bool totalKnown = FTotal > 0 || Mode == smMerge;
  ShowCounter = FPieceCount > 0;
  CountLabel->SetVisible(ShowCounter);
  ShowTotalBar = totalKnown;
  if (!ShowTotalBar) {
    for (TControl* c : std::initializer_list<TControl*>{TotalBar, TotalPercentLabel, TotalDoneLabel, TotalSizeLabel})
      c->SetVisible(false);
    SetClientSize(ClientWidth(), ClientHeight() - 37);
    CancelBtn->SetTop(CancelBtn->Top() - 37);
    SpeedLabel->SetTop(SpeedLabel->Top() - 37);
  }
  if (Mode == smJoin && FHeaderPending > 0 && !FList.HasCrc &&
      !AskYesNo(FormatMessageText(30339, {FBase + L".crc"}), false)) {
    CrcState = jcsNoCrc;
    return;
  }
  OutputPath = FTargetFolder + FTargetName;
  FCurrentPath = OutputPath;
  // Only a name that is taken can be one of the pieces: their identities (a call each) are
  // looked at only then.
  if (Mode == smJoin && PathExistsAny(OutputPath)) {
    for (int64_t n = 1;; ++n) {
      BY_HANDLE_FILE_INFORMATION info{};
      if (!Identity(PiecePath(n), info)) break;
      FInputs.push_back(info);
    }
  }
  if (OutputIsInput(OutputPath) || (Mode == smJoin && SamePath(OutputPath, Source))) {
    ShowErrorBox(FormatMessageText(30354, {OutputPath}));
    CrcState = jcsNoCrc;
    return;
  }
  // A file that is replaced stays as it is until the new one is complete: the output is
  // written beside it and swapped in at the end, so a failed or cancelled run keeps it.
  bool replacing = PathExistsAny(OutputPath);
  if (replacing && AskOverwritePiece(OutputPath, false, false) != owOverwritten) {
    CrcState = jcsNoCrc;
    return;
  }
  std::wstring writePath;
  DWORD openError = 0;
  TFileHandle out(CreateOutput(OutputPath, replacing, writePath, openError));
  if (!out) {
    ShowInfo(TOperationForm::ErrorText(writePath, openError));
    CrcState = jcsNoCrc;
    return;
  }
  Remember(out.get(), writePath);
  first.reset();
  bool stopped = false;
  FPieceNo = 1;
  for (;;) {
    if (Mode == smJoin && totalKnown && FTotalDone >= FTotal) break;
    if (Mode == smMerge && FPieceNo > static_cast<int64_t>(FMergeList.size())) break;
    std::wstring input = Mode == smMerge ? FMergeList[static_cast<size_t>(FPieceNo - 1)] : PiecePath(FPieceNo);
    FCurrentPath = input;
    TFileHandle in;
    bool endOfPieces = false;
    for (;;) {
      if (Mode == smJoin && !FileExistsPlain(input)) {
        if (!totalKnown && !DiskChange) {
          FTotal = FTotalDone;
          endOfPieces = true;
          break;
        }
        if (DiskChange) {
          if (AskDisk(30333, 30331, input, 2)) continue;
          stopped = true;
          break;
        }
      }
      in.reset(CreateFileW(input.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
      if (in) break;
      DWORD error = GetLastError();
      if (DiskChange &&
          MessageBoxStd(L"", TOperationForm::ErrorText(input, error), Buttons({12, 2}), 2, 0, 1) == 0)
        continue;
      if (!DiskChange) ShowInfo(TOperationForm::ErrorText(input, error));
      stopped = true;
      break;
    }
    if (endOfPieces) break;
    if (stopped) break;
    if (Mode == smJoin && DiskChange && !FList.HasCrc) {
      ReadCrcFile();
      // The whole-file check needs the list from the start: it stays off.
      FList.WholeFile = false;
      if (!FList.PerPiece) FList.HasCrc = false;
      if (FList.HasCrc && FList.Total > 0) totalKnown = true;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(in.get(), &size);
    if (FTotalDone + size.QuadPart > FTotal) FTotal = FTotalDone + size.QuadPart;
    std::wstring pieceName = FileNamePart(input);
    if (FList.PerPiece) {
      auto it = FList.Sizes.find(pieceName);
      if (it != FList.Sizes.end() && it->second != size.QuadPart &&
          !AskContinueAll(Msg(30340) + L"\r\r<P>" + input, FSizeAll)) {
        SetModalResult(mrCancel);
        stopped = true;
        break;
      }
      FCrc = 0xFFFFFFFF;
    }
    FPieceSize = size.QuadPart;
    FPieceDone = 0;
    ShowSplitNames();
    bool copied = CopyPieceData(FList.HasCrc, in.get(), input, out.get(), OutputPath);
    in.reset();
    if (!copied) {
      stopped = true;
      break;
    }
    if (FList.PerPiece) {
      auto it = FList.Crcs.find(pieceName);
      uint32_t expected = 0;
      if (it != FList.Crcs.end() && (!ParseHex8(it->second, expected) || expected != (FCrc ^ 0xFFFFFFFFu))) {
        CrcState = jcsCrcError;
        if (!AskContinueAll(Msg(30341) + L"\r\r<P>" + input, FCrcAll)) {
          SetModalResult(mrCancel);
          stopped = true;
          break;
        }
      }
    }
    ++FPieceNo;
  }
  bool closed = CloseChecked(out);
  if (!closed && !stopped) ShowInfo(TOperationForm::ErrorText(OutputPath, ERROR_WRITE_FAULT));
  Success = closed && !stopped && FTotalDone == FTotal && !StopConfirmed();
  // A list for the whole file is checked before the result takes the place of the file that was
  // there: a join known to be damaged never replaces it.
  const bool crcMatches = !FList.HasCrc || !FList.WholeFile || FList.FileCrc == (FCrc ^ 0xFFFFFFFFu);
  if (Success && replacing && crcMatches) Success = SwapIn(writePath, OutputPath);
  // A failed join removes what it wrote; a damaged one too where it would have replaced a file.
  bool removeOutput = !Success;
  if (!Success) {
    CrcState = jcsNoCrc;
  } else if (!FList.HasCrc) {
    CrcState = jcsNoCrc;
  } else if (!crcMatches) {
    ShowInfo(Msg(30342));
    Success = false;
    CrcState = jcsCrcError;
    removeOutput = replacing;
  }
  if (removeOutput) {
    for (const TCreated& c : FCreated) RemoveCreated(c);
    FCreated.clear();
  }
}

// ---- Progress ----

void TSplitCombineForm::ShowSplitNames() { FNamesPending = true; }

void TSplitCombineForm::PaintSplitNames() {
  FNamesPending = false;
  SourceLabel->SetCaption(Msg(30327) + L" <P>" + FSourceFolder + (Mode == smSplit ? FSourceName : L"") + L"<>");
  TargetLabel->SetCaption(Msg(30328) + L" <P>" + FTargetFolder + (Mode == smSplit ? L"" : FTargetName) + L"<>");
  NameLabel->SetCaption(FileNamePart(FCurrentPath));
  CountLabel->SetCaption(L"(" + std::to_wstring(FPieceNo) + L"/" + std::to_wstring(FPieceCount) + L")");
  FileSizeLabel->SetCaption(FormatThousands(FPieceSize) + L" " + Msg(30324));
  TotalSizeLabel->SetCaption(FormatThousands(FTotal) + L" " + Msg(30324));
  if (FTotal > 24999999) TotalBar->SetSepSize(6);
}

void TSplitCombineForm::UpdateSplitProgress() {
  // The names, labels and bars are drawn at most every 100 ms, as in the copy window (at once
  // at the end and before each question); the queue is pumped at most every 10 ms, so Cancel
  // still answers at once. Pumping after every block costs a round trip to the window system
  // each time, and a drawing of the window a few milliseconds: with small pieces, drawing at
  // each piece's start or end would cost more than the copying.
  ULONGLONG now = GetTickCount64();
  bool ends = FTotal > 0 && FTotalDone >= FTotal;
  if (!ends && FLastPaint != 0 && now - FLastPaint < 100) {
    if (OnProgress) OnProgress(this);
    if (now - FLastPump >= 10) {
      FLastPump = now;
      Pump();
    }
    return;
  }
  FLastPaint = FLastPump = now;
  if (FNamesPending) PaintSplitNames();
  int filePercent = FPieceSize > 0 ? static_cast<int>(std::min<int64_t>(100, FPieceDone * 100 / FPieceSize)) : 100;
  int totalPercent = FTotal > 0 ? static_cast<int>(std::min<int64_t>(100, FTotalDone * 100 / FTotal)) : 100;
  FileBar->SetPosition(filePercent);
  TotalBar->SetPosition(totalPercent);
  FilePercentLabel->SetCaption(std::to_wstring(filePercent) + L"%");
  TotalPercentLabel->SetCaption(std::to_wstring(totalPercent) + L"%");
  FileDoneLabel->SetCaption(FormatThousands(FPieceDone) + L" " + Msg(30324));
  TotalDoneLabel->SetCaption(FormatThousands(FTotalDone) + L" " + Msg(30324));
  int64_t seconds = static_cast<int64_t>(FIoSeconds);
  if (Options.ShowCopySpeed && seconds > 0 && seconds != FLastSpeedSecond && FBytesMoved > 0) {
    FLastSpeedSecond = seconds;
    SpeedLabel->SetCaption(
        SpeedText(FBytesMoved, seconds, FTotal - FTotalDone, ShowTotalBar, L"KB/" + Msg(30325), Msg(30326)));
  }
  ShowPercent(totalPercent);
  if (OnProgress) OnProgress(this);
  Pump();
}

void TSplitCombineForm::FlushProgress() {
  FLastPaint = 0;
  UpdateSplitProgress();
}

bool RunSplitCombine(TComponent* owner, TSplitMode mode, const std::wstring& source, const std::wstring& target,
                     int64_t pieceSize, int64_t mergeTotal, TJoinCrcState& crcState, bool& sourceDeleted) {
  TSplitCombineForm form(owner);
  form.Mode = mode;
  form.Source = source;
  form.Target = target;
  form.PieceSize = pieceSize;
  form.MergeTotal = mergeTotal;
  form.Execute();
  crcState = form.CrcState;
  sourceDeleted = form.SourceDeleted;
  return form.Success;
}

// ---- The commands ----

namespace {
// The files of the list to work on: the selection in its order, else the focused file.
std::vector<int> PickedFiles(TMFList& list, int& folders) {
  std::vector<int> picked;
  folders = 0;
  std::vector<int> indexes = list.SelectedIndexes();
  if (indexes.empty() && list.ItemIndex >= 0) indexes.push_back(list.ItemIndex);
  for (int index : indexes) {
    const TFileBoxItem* item = list.GetItem(index);
    if (!item || IsParentItem(*item) || item->Kind == ikDrive) continue;
    if (item->Kind == ikFile)
      picked.push_back(index);
    else
      ++folders;
  }
  return picked;
}

bool AskTargetFolder(int modeMsg, const std::wstring& suggestion, std::wstring& folder) {
  std::wstring history;
  Options.GetHistoryText(hkTARGET, history);
  std::wstring word = Msg(modeMsg);
  std::wstring path;
  if (!SelectTargetPath(FormatMessageText(10502, {word}), Msg(30314), history, suggestion, path) || Trim(path).empty())
    return false;
  Options.AddHistory(hkTARGET, path);
  folder = IncludeTrailingBackslash(path);
  return true;
}

bool IsFirstPiece(const std::wstring& name) {
  return name.size() > 4 && SameTextI(std::wstring_view(name).substr(name.size() - 4), L".001");
}

std::wstring StateText(TJoinCrcState state) {
  switch (state) {
    case jcsMatched: return L"- <D><c=g>" + Msg(30349) + L"<>";
    case jcsCrcError: return L"- <D><c=r>" + Msg(30350) + L"<>";
    default: return L"- <D><c=b>" + Msg(30351) + L"<>";
  }
}
}  // namespace

bool SplitCommand(TMFList& list, const std::wstring& otherFolder) {
  if (!list.ArcFileName.empty()) return false;
  int folders = 0;
  std::vector<int> picked = PickedFiles(list, folders);
  if (picked.size() != 1 || folders > 0) {
    ShowInfo(Msg(30343));
    return false;
  }
  const TFileBoxItem& item = *list.GetItem(picked[0]);
  std::wstring name = list.ItemName(picked[0]);
  TSplitForm form(&Application());
  form.SourceName = list.Path + name;
  form.SourceSize = item.Size;
  form.TargetPath = IncludeTrailingBackslash(otherFolder.empty() ? list.Path : otherFolder) + PieceBaseName(name) + L".001";
  if (form.ShowModal() != mrOk) return false;
  TJoinCrcState state;
  bool deleted = false;
  bool ok = RunSplitCombine(nullptr, smSplit, form.SourceName, form.TargetPath, form.PieceSize, 0, state, deleted);
  if (ok) {
    std::wstring text = Msg(30348);
    if (Options.SplitSrcRemove) text += L"\r\r* " + Msg(deleted ? 30346 : 30347) + L" -" + name;
    ShowInfo(text);
  }
  return true;
}

bool JoinCommand(TMFList& list, const std::wstring& otherFolder) {
  if (!list.ArcFileName.empty()) return false;
  int folders = 0;
  std::vector<int> firsts;
  for (int index : PickedFiles(list, folders))
    if (IsFirstPiece(list.ItemName(index))) firsts.push_back(index);
  if (firsts.empty()) {
    ShowInfo(Msg(30344));
    return false;
  }
  std::wstring folder;
  if (!AskTargetFolder(30321, otherFolder.empty() ? list.Path : otherFolder, folder)) return false;
  for (size_t i = 0; i < firsts.size(); ++i) {
    std::wstring name = list.ItemName(firsts[i]);
    TJoinCrcState state = jcsNoCrc;
    bool deleted = false;
    bool ok = RunSplitCombine(nullptr, smJoin, list.Path + name, folder, 0, 0, state, deleted);
    std::wstring text = Msg(30321) + L" " + StateText(state) + L"\r\r<P>" + name + L"<>";
    bool more = i + 1 < firsts.size();
    if (!ok && state != jcsCrcError) text = L"<P>" + name + L"<>";
    if (more) {
      if (!AskYesNo(FormatMessageText(30353, {text}), true)) break;
    } else if (ok || state == jcsCrcError) {
      ShowInfo(text);
    }
  }
  return true;
}

bool MergeCommand(TMFList& list, const std::wstring& otherFolder) {
  if (!list.ArcFileName.empty()) return false;
  int folders = 0;
  std::vector<int> picked = PickedFiles(list, folders);
  if (picked.size() < 2) {
    ShowInfo(Msg(30345));
    return false;
  }
  std::wstring folder;
  if (!AskTargetFolder(30322, otherFolder.empty() ? list.Path : otherFolder, folder)) return false;
  std::wstring source;
  int64_t total = 0;
  for (int index : picked) {
    if (!source.empty()) source += L"\r";
    source += list.Path + list.ItemName(index);
    total += list.GetItem(index)->Size;
  }
  TSplitCombineForm form(nullptr);
  form.Mode = smMerge;
  form.Source = source;
  form.Target = folder;
  form.MergeTotal = total;
  form.Execute();
  if (form.Success)
    ShowInfo(Msg(30322) + L" - <D>" + Msg(30352) + L"<>\r\r<P>" + FileNamePart(form.OutputPath) + L"<>");
  return true;
}

void InstallSplitCommands() {
  auto wire = [](int tag, bool (*command)(TMFList&, const std::wstring&)) {
    RegisterCommand(tag, [command](TQ7XForm& form, TShiftState) {
      TMFList* list = form.ActiveList();
      if (!list) return;
      TMFList* other = form.OtherList();
      if (!command(*list, other ? other->Path : list->Path)) return;
      if (TPanelView* p = form.ActivePanel()) p->Reread();
      if (TPanelView* p = form.OtherPanel()) p->Reread();
    });
  };
  wire(1601, SplitCommand);
  wire(1602, JoinCommand);
  wire(1603, MergeCommand);
}
