#include "archive/layer/ArcDlg.h"

#include <commdlg.h>

#include <algorithm>
#include <cmath>

#include "archive/engine/zevGbls.h"
#include "archive/layer/AddODlg.h"
#include "archive/layer/ArcTree.h"
#include "archive/layer/ExtrODlg.h"
#include "fileops/frmTgt.h"
#include "foldermgr/MCDTree.h"
#include "foundation/G_GUAGE.h"
#include "foundation/HLABEL.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/WaitDlg.h"
#include "framework/TextCompare.h"

namespace {
std::wstring Msg(int id) { return LoadMessageText(id); }
std::wstring Bytes(int64_t v) { return FormatThousands(v) + L" " + Msg(4121); }

std::wstring FilePart(const std::wstring& s) {
  size_t p = s.find_last_of(L"\\/");
  return p == std::wstring::npos ? s : s.substr(p + 1);
}
std::wstring FolderPart(const std::wstring& s) {
  size_t p = s.find_last_of(L"\\/");
  return p == std::wstring::npos ? std::wstring() : s.substr(0, p + 1);
}
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  return SameTextI(a, b);
}

std::wstring FormatDate(double date) {
  if (date <= 0) return L"";
  SYSTEMTIME st{};
  // Days since 1899-12-30 and the fraction of the day.
  double days = std::floor(date);
  int64_t secs = std::llround((date - days) * 86400.0);
  FILETIME ft;
  int64_t t = (static_cast<int64_t>(days) - 109205) * 86400LL + secs;  // 1899-12-30 .. 1601-01-01
  t = t * 10000000LL;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFF);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) >> 32);
  FileTimeToSystemTime(&ft, &st);
  wchar_t buf[32];
  swprintf(buf, 32, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  return buf;
}
// A file's last-write time in local time as a date value.
double LocalFileDate(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  FILETIME local;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  int64_t t = (static_cast<int64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return static_cast<double>(t) / 864000000000.0 - 109205.0;
}

int64_t LastSpeedElapsed = -1;  // kept program-wide: the last elapsed second shown
}  // namespace

// ---- The progress window ----

TArcForm::TArcForm(TComponent* owner)
    : TProgressForm(owner, RGB(204, 204, 255), RGB(255, 255, 255), RGB(222, 96, 222), RGB(255, 216, 255)),
      Tree(std::make_unique<THanArcTree>()) {
  SetCaption(L"");
  for (int i = 0; i < ComponentCount() && !GroupBox; ++i) GroupBox = dynamic_cast<TGroupFrame*>(Components(i));
  // The archive window's own places of the shared progress layout.
  const struct {
    TControl* C;
    int L, T, W, H;
  } places[] = {{GroupBox, 10, 5, 542, 130},         {SourceLabel, 15, 16, 252, 17},      {TargetLabel, 275, 16, 252, 17},
                {NameLabel, 15, 41, 400, 12},        {CountLabel, 416, 41, 110, 12},      {FileBar, 15, 55, 512, 16},
                {FilePercentLabel, 257, 73, 28, 12}, {FileDoneLabel, 15, 73, 140, 12},    {FileSizeLabel, 386, 73, 140, 12},
                {TotalBar, 15, 92, 512, 16},         {TotalPercentLabel, 257, 110, 28, 12}, {TotalDoneLabel, 15, 110, 140, 12},
                {TotalSizeLabel, 386, 110, 140, 12}, {CancelBtn, 472, 142, 80, 25},       {SpeedLabel, 25, 142, 200, 12}};
  for (const auto& p : places)
    if (p.C) p.C->SetBounds(p.L, p.T, p.W, p.H);
  for (THanElLabel* l : {FilePercentLabel, TotalPercentLabel}) {
    l->SetCenter(false);
    l->SetRight(true);
  }
  FileDoneLabel->SetCaption(L"0 " + Msg(4121));
  TotalDoneLabel->SetCaption(L"0 " + Msg(4121));
  StopBtn = CancelBtn;
  StopBtn->OnClick = [this](TComponent*) {
    SetModalResult(mrCancel);
    StopCheck();
  };
}

TArcForm::~TArcForm() = default;

TGeneralArchiveControl* TArcForm::Control() const { return Tree ? Tree->Control.get() : nullptr; }

std::wstring TArcForm::ModeCaption() const { return Msg(Mode == 1 ? 30201 : Mode == 2 ? 10400 : 30101); }

void TArcForm::SetOverallVisible(bool visible) {
  if (visible == OverallShown) return;
  OverallShown = visible;
  for (TControl* c : std::initializer_list<TControl*>{TotalBar, TotalPercentLabel, TotalDoneLabel, TotalSizeLabel,
                                                      CountLabel})
    c->SetVisible(visible);
  const int d = visible ? 37 : -37;
  GroupBox->SetBounds(GroupBox->Left(), GroupBox->Top(), GroupBox->Width(), GroupBox->Height() + d);
  StopBtn->SetBounds(StopBtn->Left(), StopBtn->Top() + d, StopBtn->Width(), StopBtn->Height());
  SpeedLabel->SetBounds(SpeedLabel->Left(), SpeedLabel->Top() + d, SpeedLabel->Width(), SpeedLabel->Height());
  SetClientSize(ClientWidth(), ClientHeight() + d);
}

void TArcForm::BeginRun() {
  if (HWND capture = GetCapture()) {
    SendMessageW(capture, WM_CANCELMODE, 0, 0);
    ReleaseCapture();
  }
  FModal = true;
  FPrevious = GetActiveWindow();
  FDisabled = DisableTaskWindows(Handle());
  if (!Silent) {
    SetVisible(true);
    SetActiveWindow(Handle());
  }
  SetModalResult(mrNone);
  SendMessageW(Handle(), 0xB000, 0, 0);
}

void TArcForm::EndRun() {
  SendMessageW(Handle(), 0xB001, 0, 0);
  SetVisible(false);
  EnableTaskWindows(FDisabled);
  FDisabled.clear();
  if (FPrevious && IsWindow(FPrevious)) {
    SetActiveWindow(FPrevious);
    SetForegroundWindow(FPrevious);
  }
  FModal = false;
}

int TArcForm::ExecuteModal() {
  BeginRun();
  try {
    Run();
  } catch (...) {
    EndRun();
    throw;
  }
  int r = ModalResult();
  EndRun();
  return r;
}

bool TArcForm::ShownForWork() const {
  const auto& a = Options.Archivers;
  switch (Mode) {
    case 0:
      switch (ArcType) {
        case akZip: return a[arZIP].SelfControl;
        case akLzh: return a[arLZH].SelfControl;
        case akCab: case akTar: case akBh: case akJar: case akGz: return true;
        default: return false;
      }
    case 1:
      switch (ArcType) {
        case akZip: case akZipSfx: return a[arZIP].SelfControl;
        case akRar: case akRarSfx: return a[arRAR].SelfControl;
        case akAce: case akAceSfx: return a[arACE].SelfControl;
        case akLzh: case akLzhSfx: return a[arLZH].SelfControl;
        case akArj: case akArjSfx: return a[arARJ].SelfControl;
        case akCab: case akArc: case akZoo: case akTar: case akBh: case akJar: case akGz: case akCabSfx: return true;
        default: return false;
      }
    default:
      return false;
  }
}

void TArcForm::Run() {
  BeginTitle();
  OperationName = ModeCaption();
  SetCaption(OperationName);
  Pump();
  Tree->CreateControl(ArcType);
  TGeneralArchiveControl* c = Control();
  using namespace std::placeholders;
  c->OnArchiveBegin = [this](TGeneralArchiveControl* s, const std::wstring& n, int64_t b, int64_t f) {
    ArchiveBegin(s, n, b, f);
  };
  c->OnFileBegin = [this](TGeneralArchiveControl* s, const std::wstring& n, int64_t a, int64_t b) {
    FileBegin(s, n, a, b);
  };
  c->OnFileEnd = [this](TGeneralArchiveControl* s, int64_t b) { FileEnd(s, b); };
  c->OnProgress = [this](TGeneralArchiveControl* s, int64_t t, int64_t d) { Progress(s, t, d); };
  c->OnTotalProgress = [this](TGeneralArchiveControl* s, int64_t t, int64_t d) { TotalProgress(s, t, d); };
  c->OnVolumeFound = [this](TGeneralArchiveControl* s, const std::wstring& n) { VolumeFound(s, n); };
  c->OnAskVolume = [this](TGeneralArchiveControl* s, bool e, std::wstring& n) { AskVolume(s, e, n); };
  c->OnAskPassword = [this](TGeneralArchiveControl* s, const std::wstring& n, std::wstring& p) {
    AskPassword(s, n, p);
  };
  c->OnFileExists = [this](TGeneralArchiveControl* s, bool& o, double d, int64_t z, std::wstring& n, bool& x) {
    FileExists(s, o, d, z, n, x);
  };
  c->OnFolderCreated = [this](TGeneralArchiveControl* s, const std::wstring& p) { FolderCreated(s, p); };
  c->Overwrite = OverwriteAll;
  c->VolumeSize = VolumeSize;
  c->CompressionLevel = Level;
  c->FurtherOption = FurtherOption;
  c->MoveFiles = Move;
  c->Password = Password;
  c->RecurseDirs = SubFolders;
  c->StorePaths = KeepPaths;
  c->StartOffset = StartOffset;
  if (OverwriteAll) OverwriteAnswer = 1;
  Result = 0;
  FFileDone = false;
  if (!Folder.empty()) FolderTree = std::make_unique<TMCDTreeMan>(Handle(), Folder);
  const bool show = !Silent && ShownForWork();
  SetVisible(show);
  if (show) SetActiveWindow(Handle());
  HCURSOR saved = nullptr;
  if (Silent) saved = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  TStringList empty;
  const TStringList& list = List ? *List : empty;
  switch (Mode) {
    case 0: Result = Tree->AddFiles(ArchiveName, Folder, list); break;
    case 1: Result = Tree->ExtractFiles(ArchiveName, Folder, list); break;
    default: Result = Tree->DeleteFiles(ArchiveName, list); break;
  }
  if (c) ArchiveName = c->ArchiveName;
  if (Silent) SetCursor(saved);
  SetModalResult(Result != 0 ? mrCancel : mrOk);
  EndTitle();
  FolderTree.reset();
  Pump();
}

void TArcForm::SetBytesLabel(THanElLabel* label, int64_t value) { label->SetCaption(Bytes(value)); }

void TArcForm::RefreshCounter() {
  CountLabel->SetCaption(L"(" + FormatThousands(FilesDone) + L"/" + FormatThousands(TotalFiles) + L")");
}

void TArcForm::ArchiveBegin(TGeneralArchiveControl* c, const std::wstring& archiveName, int64_t totalBytes,
                            int64_t totalFiles) {
  if (PresetTotalFiles >= 0) {
    totalBytes = PresetTotalBytes;
    totalFiles = PresetTotalFiles;
    c->GivenTotalBytes = totalBytes;
    c->GivenTotalFiles = totalFiles;
    PresetTotalBytes = PresetTotalFiles = -1;
  }
  if (TotalFiles < 0) {
    FilesDone = 0;
    TotalFiles = totalFiles;
    BytesDone = 0;
    TotalBytes = totalBytes;
  }
  const std::wstring text = Msg(30801) + L" <P>" + archiveName;
  if (Mode == 0)
    TargetLabel->SetCaption(text);
  else
    SourceLabel->SetCaption(text);
  RefreshCounter();
  SetBytesLabel(TotalSizeLabel, std::max<int64_t>(TotalBytes, 0));
  if (TotalBytes > 24999999) TotalBar->SetSepSize(6);
  FileBegin(c, L"", 0, 0);
}

void TArcForm::FileBegin(TGeneralArchiveControl* c, const std::wstring& fileName, int64_t size, int64_t packedSize) {
  std::wstring name = FilePart(fileName), dir = FolderPart(fileName);
  if (Mode == 0 && dir.empty()) dir = Folder;
  if (!KeepPaths) dir.clear();
  if (Mode == 1) {
    if (packedSize < 0 && !dir.empty())
      TargetLabel->SetCaption(Msg(10511) + L" <P>" + dir);
    else
      TargetLabel->SetCaption(Msg(10511) + L" <P>" + IncludeTrailingBackslash(Folder) + dir);
  } else {
    SourceLabel->SetCaption(Msg(10510) + L" <P>" + dir);
  }
  NameLabel->SetCaption(name.empty() && !FFileDone ? Msg(30214) : name);
  if (size < 0) return;
  SetBytesLabel(FileSizeLabel, size);
  if (!name.empty()) {
    FilesDone = std::max(FilesDone + 1, c ? c->FilesBegun : 0);
    if (TotalFiles < FilesDone) TotalFiles = FilesDone;
    FFileDone = true;
  }
  RefreshCounter();
  if (BytesDone + size > TotalBytes) {
    TotalBytes = BytesDone + size;
    SetBytesLabel(TotalSizeLabel, TotalBytes);
  }
  if ((size > 131072 && (TotalFiles >= 0 || packedSize != -1)) || FilesDone == 0) Progress(c, size, 0);
}

void TArcForm::FileEnd(TGeneralArchiveControl* c, int64_t bytes) {
  BytesDone += bytes;
  Pump();
  if (c && c->GivenTotalFiles > 0 && FilesDone >= c->GivenTotalFiles) {
    // Every chosen file is done: the rest of the archive need not be read.
    c->SetCancel(true);
    return;
  }
  StopCheck();
}

void TArcForm::Progress(TGeneralArchiveControl* c, int64_t total, int64_t done) {
  if (done < 0) return;
  int filePercent;
  if (total < 65536)
    filePercent = (total == 0 && FilesDone == 0) ? 0 : 100;
  else
    filePercent = static_cast<int>(done * 100 / total);
  const int64_t overall = TotalBytes > 0 ? std::min(BytesDone + done, TotalBytes) : BytesDone + done;
  const int overallPercent = TotalBytes > 0 ? static_cast<int>(overall * 100 / TotalBytes) : 0;
  FileBar->SetSimpleMode(false);
  SetBytesLabel(TotalDoneLabel, overall);
  SetBytesLabel(FileDoneLabel, done);
  FilePercentLabel->SetCaption(std::to_wstring(filePercent) + L"%");
  TotalPercentLabel->SetCaption(std::to_wstring(overallPercent) + L"%");
  FileBar->SetPosition(filePercent);
  TotalBar->SetPosition(overallPercent);
  const int64_t elapsed = c ? c->ElapsedTime : 0;
  if (Options.ShowCopySpeed && elapsed > 2 && elapsed != LastSpeedElapsed && TotalBytes != 0) {
    LastSpeedElapsed = elapsed;
    const int64_t speed = (BytesDone + done) / (elapsed * 1024);
    std::wstring text = L"(" + FormatThousands(speed) + Msg(10507) + L")";
    if (speed != 0) {
      int64_t left = std::max<int64_t>(0, (TotalBytes - BytesDone - done) / (speed * 1024));
      wchar_t buf[32];
      swprintf(buf, 32, L"%02lld:%02lld:%02lld", static_cast<long long>(left / 3600),
               static_cast<long long>(left / 60 % 60), static_cast<long long>(left % 60));
      text = std::wstring(buf) + L" " + Msg(10508) + L" " + text;
    }
    SpeedLabel->SetCaption(text);
  }
  ShowPercent(overallPercent);
  Pump();
  StopCheck();
}

void TArcForm::TotalProgress(TGeneralArchiveControl*, int64_t total, int64_t done) {
  const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
  NameLabel->SetCaption(Msg(30219));
  FileSizeLabel->SetCaption(L"");
  FileDoneLabel->SetCaption(L"");
  FilePercentLabel->SetCaption(std::to_wstring(percent) + L"%");
  FileBar->SetSimpleMode(true);
  FileBar->SetPosition(percent);
  Pump();
  StopCheck();
}

void TArcForm::VolumeFound(TGeneralArchiveControl*, const std::wstring& volumeName) {
  const std::wstring text = Msg(30801) + L" <P>" + volumeName;
  if (Mode == 0)
    TargetLabel->SetCaption(text);
  else
    SourceLabel->SetCaption(text);
  Pump();
}

void TArcForm::AskVolume(TGeneralArchiveControl*, bool editable, std::wstring& volumeName) {
  const std::wstring title = Msg(30215);
  std::wstring text = Msg(30216);
  size_t at = text.find(L"%S");
  if (at != std::wstring::npos) text.replace(at, 2, volumeName);
  const std::wstring buttons = Msg(1) + L"|" + Msg(2);
  int answer;
  if (editable) {
    std::wstring value = volumeName;
    TInputCheckEvent browse = [](const std::wstring&, std::wstring& current) {
      std::wstring ext;
      size_t dot = current.find_last_of(L'.');
      if (dot != std::wstring::npos && dot > current.find_last_of(L'\\') + 1) ext = current.substr(dot);
      std::wstring filter = Msg(30215) + L"|*" + ext + L"|" + Msg(3315) + L"|*.*|";
      for (auto& ch : filter)
        if (ch == L'|') ch = L'\0';
      std::wstring folder = FolderPart(current);
      wchar_t file[MAX_PATH * 2] = {};
      OPENFILENAMEW ofn{};
      ofn.lStructSize = sizeof ofn;
      ofn.lpstrFilter = filter.c_str();
      ofn.nFilterIndex = 1;
      ofn.lpstrFile = file;
      ofn.nMaxFile = MAX_PATH * 2;
      ofn.lpstrInitialDir = folder.c_str();
      ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str() + 1;
      ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
      if (GetOpenFileNameW(&ofn)) current = file;
      return false;
    };
    answer = MessageBoxInputCore(title, text, L"#4", Msg(3308), buttons, 0, 1, value, browse, L"", true);
    if (answer == 0) volumeName = value;
  } else {
    answer = MessageBoxIconSpec(title, text, buttons, L"#4", 0, 1);
  }
  if (answer != 0) volumeName.clear();
}

void TArcForm::AskPassword(TGeneralArchiveControl*, const std::wstring& fileName, std::wstring& password) {
  if (PasswordForAll && !SameName(fileName, LastPasswordFile)) {
    LastPasswordFile = fileName;
    return;
  }
  PasswordForAll = false;
  std::wstring text = Msg(30218);
  size_t at = text.find(L"%S");
  if (at != std::wstring::npos) text.replace(at, 2, fileName);
  const std::wstring buttons = Msg(11) + L"|" + Msg(1) + L"|" + Msg(2);
  std::wstring value = password;
  int answer = Options.ShowPWD
                   ? MessageBoxInputCore(Msg(30217), text, L"\\Password.cpl,1", L"", buttons, 1, 2, value, nullptr,
                                         L"", true)
                   : PasswordBox(Msg(30217), text, L"\\Password.cpl,1", buttons, value, 1, 2);
  if (answer == 0) {
    password = value;
    PasswordForAll = true;
  } else if (answer == 1) {
    password = value;
  } else {
    password.clear();
  }
  LastPasswordFile = fileName;
}

bool TArcForm::ErrorQuestion(const std::wstring& text) { return AskSkipOnError(text); }

void TArcForm::FileExists(TGeneralArchiveControl* c, bool& overwrite, double entryDate, int64_t entrySize,
                          std::wstring& targetName, bool& cancel) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(targetName.c_str(), GetFileExInfoStandard, &data)) {
    overwrite = true;
    cancel = false;
    return;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (ErrorQuestion(ArcFill(10512, targetName, Msg(30201)))) {
      overwrite = false;
    } else {
      cancel = true;
    }
    return;
  }
  const double existingDate = LocalFileDate(data);
  const int64_t existingSize = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  const bool allowRename = c && c->AllowRename;
  if (OverwriteAnswer == 0 || OverwriteAnswer == 3 || OverwriteAnswer == 5) {
    Progress(c, entrySize, 0);
    std::wstring shortName = targetName;
    const std::wstring folder = IncludeTrailingBackslash(Folder);
    if (!Folder.empty() && shortName.size() >= folder.size() &&
        SameName(shortName.substr(0, folder.size()), folder))
      shortName = shortName.substr(folder.size());
    if (shortName.empty()) shortName = FilePart(targetName);
    const bool sizesDiffer = entrySize != existingSize;
    const std::wstring u = sizesDiffer ? L"<U>" : L"";
    const std::wstring newer = L"<B=W><C=0>";
    const std::wstring a = entryDate > existingDate + 1.0 / 86400 ? newer : L"";
    const std::wstring b = existingDate > entryDate + 1.0 / 86400 ? newer : L"";
    std::wstring text = Msg(10515) + L"\r\r" + Msg(30220) + L" " + Msg(10510) + L": " + a + FormatDate(entryDate) +
                        L"<>, " + u + FormatThousands(entrySize) + L"<> " + Msg(4121) + L", <P>" + shortName +
                        L"<>\r\r" + Msg(30221) + L" " + Msg(10511) + L": " + b + FormatDate(existingDate) + L"<>, " +
                        u + FormatThousands(existingSize) + L"<> " + Msg(4121) + L", <P>" + targetName + L"<>";
    std::wstring buttons = Msg(30222);
    size_t at = buttons.find(L"%S");
    if (at != std::wstring::npos) buttons.replace(at, 2, allowRename ? Msg(16) + L"|" : L"");
    const int count = static_cast<int>(SplitButtonCaptions(buttons).size());
    int answer = MessageBoxStd(Msg(10514), text, buttons, 4, std::clamp(OverwriteAnswer, 0, count - 1), count - 1);
    if (answer < 0) answer = count - 1;
    // Without the new-name button, the last button (cancel) stands at 5.
    OverwriteAnswer = (!allowRename && answer == 5) ? 6 : answer;
  }
  overwrite = false;
  cancel = false;
  bool replace = false;
  switch (OverwriteAnswer) {
    case 2:
    case 3:
      return;
    case 4:
      replace = entryDate > existingDate + 1.0 / 86400;
      if (!replace) return;
      break;
    case 5: {
      RenameFolder = FolderPart(targetName);
      std::wstring name = FilePart(targetName);
      const std::wstring old = name;
      TInputCheckEvent check = [this, old](const std::wstring&, std::wstring& current) {
        if (current.empty() || SameName(current, old)) return true;
        if (Exists(RenameFolder + current)) {
          ShowErrorBox(ArcFill(10505, RenameFolder + current));
          return false;
        }
        return true;
      };
      std::wstring history;
      if (InputBoxCombo(Msg(32000), targetName, L"MCD_RENAME", name, check, history, true) && !name.empty()) {
        targetName = RenameFolder + FilePart(name);
        overwrite = true;
      } else {
        cancel = true;
      }
      return;
    }
    case 0:
    case 1:
      replace = true;
      break;
    default:
      cancel = true;
      return;
  }
  if (!replace) return;
  // The existing file goes first (a read-only one too), so that the entry can take its place.
  SetFileAttributesW(targetName.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  if (DeleteFileW(targetName.c_str())) {
    overwrite = true;
    return;
  }
  const DWORD err = GetLastError();
  if (ErrorQuestion(L"\"<P>" + targetName + L"<>\"<D>\r\r" + SystemErrorText(err)))
    overwrite = false;
  else
    cancel = true;
}

void TArcForm::FolderCreated(TGeneralArchiveControl*, const std::wstring& path) {
  if (FolderTree) FolderTree->AddFolder(path);
}

void TArcForm::StopCheck() {
  if (ModalResult() != mrCancel) return;
  if (!CheckCancel()) return;
  if (TGeneralArchiveControl* c = Control()) {
    c->UserStop = true;
    c->SetCancel(true);
  }
  StopBtn->SetEnabled(false);
}

// ---- Entry points ----

std::function<void(THanForm& dialog)> ArcDialogShown;

uint8_t AddTypeCode(int position) {
  static const uint8_t codes[10] = {akZip, akLzh, akCab, akAce, akRar, akArj, akBh, akJar, akGz, akTar};
  return position >= 0 && position < 10 ? codes[position] : static_cast<uint8_t>(akZip);
}

namespace {
// The lines of a text, trimmed, empty ones left out.
TStringList LinesOf(const std::wstring& text) {
  TStringList l;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != L'\r' && text[i] != L'\n') continue;
    std::wstring s = Trim(std::wstring_view(text).substr(start, i - start));
    if (!s.empty()) l.Add(s);
    start = i + 1;
  }
  return l;
}

void AddUnique(std::vector<TArcSetEntry>& list, const TArcSetEntry& e) {
  if (e.ArcType == 0 || e.ArcType > 22) return;
  for (const auto& x : list)
    if (SameName(x.Name, e.Name)) return;
  list.push_back(e);
}

bool SelfHandled(uint8_t t) {
  const auto& a = Options.Archivers;
  switch (t) {
    case akZip: return a[arZIP].SelfControl;
    case akRar: return a[arRAR].SelfControl;
    case akAce: return a[arACE].SelfControl;
    case akLzh: return a[arLZH].SelfControl;
    case akArj: return a[arARJ].SelfControl;
    case akCab: case akArc: case akZoo: case akTar: case akBh: case akJar: case akGz: case akCabSfx: return true;
    default: return false;
  }
}

struct TVolumeFacts {
  bool Opened = false, HasFirst = false, Multi = false;
  ArcInfoRec First, Last;
  int32_t VolumeNumber = -1;
};

// Opens an archive and walks it, counting the selected entries when asked.
TVolumeFacts Inspect(const TArcSetEntry& e, TGeneralArchiveControl* sel, TExtractPlan* plan, bool arjPieces,
                     const std::function<bool()>& stopped) {
  TVolumeFacts f;
  TArchive a;
  a.OnPoll = stopped;
  if (!a.Open(e.Name, e.ArcType, e.StartOffset)) return f;
  f.Opened = true;
  ArcInfoRec r;
  f.HasFirst = a.FindFirst(r);
  f.Multi = (a.GetFlags() & afMultiVolume) != 0;
  f.VolumeNumber = a.GetVolumeNumber();
  if (!f.HasFirst) return f;
  f.First = r;
  int guard = 0;
  for (bool ok = true; ok && guard < 10000000; ok = a.FindNext(r), ++guard) {
    f.Last = r;
    if (!plan || !sel) continue;
    if (r.Attributes & 0x10) continue;
    if ((r.Flags & aifContinuesInNext) && !arjPieces) continue;
    if (!sel->IsFileSelected(r.Name)) continue;
    plan->TotalFiles += 1;
    plan->TotalBytes += std::max<int64_t>(r.Size, 0);
  }
  f.Multi = (a.GetFlags() & afMultiVolume) != 0;
  return f;
}

void Count(const TArcSetEntry& e, TGeneralArchiveControl& sel, TExtractPlan& plan,
           const std::function<bool()>& stopped) {
  // A self-extracting form is handled like its plain kind (self-extracting CAB always).
  const uint8_t base = e.ArcType >= akZipSfx && e.ArcType != akCabSfx ? e.ArcType - (akZipSfx - akZip) : e.ArcType;
  if (!SelfHandled(base)) return;
  TVolumeFacts f = Inspect(e, &sel, &plan, base == akArj, stopped);
  if (!f.Opened) plan.Unreadable.push_back(e.Name);
}

bool IsFirstVolume(const TArcSetEntry& e, const std::function<bool()>& stopped) {
  TVolumeFacts f = Inspect(e, nullptr, nullptr, false, stopped);
  uint8_t base = e.ArcType >= akZipSfx ? e.ArcType - (akZipSfx - akZip) : e.ArcType;
  return f.HasFirst && f.Multi && !(f.First.Flags & aifContinuedFromPrevious) &&
         (base != akAce || f.VolumeNumber <= 0);
}
}  // namespace

bool PlanExtraction(const std::vector<TArcSetEntry>& plainIn, const std::vector<TArcSetEntry>& rarIn,
                    const std::vector<TArcSetEntry>& aceIn, const std::vector<TArcSetEntry>& arjIn,
                    TGeneralArchiveControl& sel, TExtractPlan& plan, const std::function<bool()>& stopped) {
  plan = TExtractPlan();
  plan.Plain = plainIn;
  std::vector<TArcSetEntry> singles, rar, ace, arj;
  // RAR and ACE archives that are no volume sets join the plain list.
  for (auto* pair : {&rarIn, &aceIn}) {
    for (const TArcSetEntry& e : *pair) {
      if (stopped && stopped()) return false;
      TVolumeFacts f = Inspect(e, nullptr, nullptr, false, stopped);
      if (f.HasFirst && !f.Multi)
        singles.push_back(e);
      else
        (pair == &rarIn ? rar : ace).push_back(e);
    }
  }
  // ARJ: ".arj" is the first volume of its base; of other names with one base the first stands.
  {
    std::vector<TArcSetEntry> sorted = arjIn;
    for (auto& e : sorted) e.Name = LowerCase(e.Name);
    std::sort(sorted.begin(), sorted.end(), [](const TArcSetEntry& a, const TArcSetEntry& b) { return a.Name < b.Name; });
    auto baseOf = [](const std::wstring& n) {
      size_t dot = n.find_last_of(L'.'), slash = n.find_last_of(L'\\');
      return dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash) ? n : n.substr(0, dot);
    };
    auto extOf = [&](const std::wstring& n) { return n.substr(baseOf(n).size()); };
    std::vector<TArcSetEntry> kept;
    for (const auto& e : sorted) {
      bool dropped = false;
      if (extOf(e.Name) != L".arj")
        for (const auto& o : sorted)
          if (&o != &e && extOf(o.Name) == L".arj" && baseOf(o.Name) == baseOf(e.Name)) dropped = true;
      if (!kept.empty() && baseOf(kept.back().Name) == baseOf(e.Name)) dropped = true;
      if (!dropped) kept.push_back(e);
    }
    for (const auto& k : kept) {
      // Keep the name as the user's list spelled it.
      TArcSetEntry e = k;
      for (const auto& o : arjIn)
        if (SameName(o.Name, k.Name)) e.Name = o.Name;
      if (stopped && stopped()) return false;
      TVolumeFacts f = Inspect(e, nullptr, nullptr, false, stopped);
      if (f.Opened && f.HasFirst && !f.Multi)
        singles.push_back(e);
      else
        arj.push_back(e);
    }
  }
  for (const auto& e : singles) plan.Plain.push_back(e);
  for (const auto& e : plan.Plain) {
    if (stopped && stopped()) return false;
    Count(e, sel, plan, stopped);
  }
  // The sets: find each first volume and walk its volumes.
  const std::pair<std::vector<TArcSetEntry>*, TArcKind> sets[] = {{&rar, akRar}, {&ace, akAce}, {&arj, akArj}};
  for (const auto& [list, kind] : sets) {
    std::vector<TArcSetEntry> names;
    for (TArcSetEntry e : *list) {
      if (kind == akRar) {
        std::wstring first = GetFirstVolumeName(e.Name, akRar, afNewVolumeNaming);
        if (!first.empty() && !SameName(first, e.Name) && Exists(first)) e.Name = first;
      }
      AddUnique(names, e);
    }
    std::sort(names.begin(), names.end(),
              [](const TArcSetEntry& a, const TArcSetEntry& b) { return CompareTextI(a.Name, b.Name) < 0; });
    while (!names.empty()) {
      if (stopped && stopped()) return false;
      int chosen = -1;
      for (size_t i = 0; i < names.size() && chosen < 0; ++i)
        if (IsFirstVolume(names[i], stopped)) chosen = static_cast<int>(i);
      if (chosen < 0) {
        for (size_t i = 0; i < names.size() && chosen < 0; ++i) {
          TArcSetEntry probe = names[i];
          probe.Name = GetFirstVolumeName(names[i].Name, kind, 0);
          if (!probe.Name.empty() && Exists(probe.Name) && IsFirstVolume(probe, stopped)) {
            names[i] = probe;
            chosen = static_cast<int>(i);
          }
        }
      }
      if (chosen < 0) {
        for (const auto& n : names) plan.NoFirstVolume.push_back(n.Name);
        break;
      }
      TArcSetEntry cur = names[static_cast<size_t>(chosen)];
      plan.Plain.push_back(cur);
      plan.LastWasArj = kind == akArj;
      for (int guard = 0; guard < 100000; ++guard) {
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [&](const TArcSetEntry& n) { return SameName(n.Name, cur.Name); }),
                    names.end());
        TVolumeFacts f = Inspect(cur, SelfHandled(kind) ? &sel : nullptr, &plan, kind == akArj, stopped);
        const bool continues = f.HasFirst && (f.Last.Flags & aifContinuesInNext);
        if (!continues && !f.Multi) break;
        TArcSetEntry next = cur;
        next.Name = GetNextVolumeName(cur.Name, kind, 0);
        next.StartOffset = 0;
        if (next.Name.empty() || SameName(next.Name, cur.Name)) break;
        if (!continues && !Exists(next.Name)) break;
        if (kind == akArj) {
          cur = next;
          continue;
        }
        TVolumeFacts n = Inspect(next, nullptr, nullptr, false, stopped);
        bool ok = n.HasFirst && n.Multi;
        if (ok && !f.Multi)
          ok = SameName(n.First.Name, f.Last.Name) && (n.First.Flags & aifContinuedFromPrevious);
        if (!ok) {
          plan.Incomplete = true;
          break;
        }
        cur = next;
      }
    }
  }
  return true;
}

bool ExtractArchives(TForm* form, const std::wstring& folder, std::wstring& resultFolder, bool single,
                     bool /*otherIsArchive*/, bool& chooserShown, bool& foldersChanged, const std::wstring& names,
                     uint8_t flags, const std::wstring& archiveName, const std::wstring& /*innerFolder*/,
                     uint8_t arcType, int64_t startOffset, int64_t totalBytes, int64_t totalFiles,
                     const std::wstring& forcedTarget) {
  chooserShown = foldersChanged = false;
  const std::wstring otherFolder = resultFolder;
  const std::wstring current = ExcludeTrailingBackslashKeepRoot(folder);
  std::vector<TArcSetEntry> plain, rar, ace, arj;
  if (single) {
    AddUnique(plain, {IncludeTrailingBackslash(folder) + archiveName, startOffset, arcType});
  } else {
    TStringList lines = LinesOf(names);
    for (int i = 0; i < lines.Count(); ++i) {
      std::wstring name = lines[i];
      if (name.find(L'\\') == std::wstring::npos && name.find(L':') == std::wstring::npos)
        name = IncludeTrailingBackslash(folder) + name;
      int64_t offset = 0;
      TArcKind kind = DetectArchiveType(name, offset, true);
      TArcSetEntry e{name, offset, kind};
      switch (kind) {
        case akNone: break;
        case akRar: case akRarSfx: AddUnique(rar, e); break;
        case akAce: case akAceSfx: AddUnique(ace, e); break;
        case akArj: case akArjSfx: AddUnique(arj, e); break;
        default: AddUnique(plain, e); break;
      }
    }
  }
  if (plain.empty() && rar.empty() && ace.empty() && arj.empty()) {
    ShowInfo(Msg(30225));
    return false;
  }

  // The options and the target.
  std::wstring target, fileMask = L"*.*", password;
  bool keepPaths = (flags & efKeepPaths) != 0, overwrite = (flags & efOverwrite) != 0;
  bool explicitPath = false;
  if (!forcedTarget.empty() && single) {
    target = forcedTarget;
    explicitPath = true;
  } else if (!(flags & efNoDialog)) {
    std::wstring proposed = current;
    if (!otherFolder.empty() && (Options.AutoSelectInDual == 0 || Options.AutoSelectInDual == 4))
      proposed = ExcludeTrailingBackslashKeepRoot(otherFolder);
    if (otherFolder.empty() && Options.ExtractForceDir) {
      std::wstring first = L"Archive";
      for (auto* l : {&plain, &rar, &ace, &arj})
        if (!l->empty()) {
          first = ExtractNameNoExt(FilePart(l->front().Name), false);
          break;
        }
      proposed = IncludeTrailingBackslash(proposed) + first;
    }
    TExtractForm dlg(form);
    TStringList history;
    for (const std::wstring& h : Options.History(hkTARGET)) history.Add(h);
    dlg.PathCombo->SetItems(history);
    dlg.PathCombo->SetText(proposed);
    if (single) dlg.SpecEdit->SetEnabled(false);
    if (ArcDialogShown) ArcDialogShown(dlg);
    if (dlg.ShowModal() != mrOk) return false;
    keepPaths = dlg.Checked(dlg.FullPath);
    overwrite = dlg.Checked(dlg.OverWriteAll);
    password = dlg.PassEdit->Text();
    if (dlg.Checked(dlg.ExtrThis)) {
      target = Trim(dlg.PathCombo->Text());
      if (target == L".") target = current;
      explicitPath = !target.empty();
    }
    if (!single) {
      fileMask = Trim(dlg.SpecEdit->Text());
      if (fileMask.empty()) fileMask = L"*.*";
    }
  }
  if (!explicitPath) {
    const std::wstring word = Msg(30201);
    auto chooser = [&](const std::wstring& start) {
      chooserShown = true;
      return TargetFolderChooser ? TargetFolderChooser(start, ArcFill(10502, word)) : std::wstring();
    };
    std::wstring history;
    Options.GetHistoryText(hkTARGET, history);
    if (!otherFolder.empty()) {
      switch (Options.AutoSelectInDual) {
        case 0:
          if (!SelectTargetPath(ArcFill(10501, word), ArcFill(10502, word), history, otherFolder, target)) return false;
          break;
        case 1:
          if (!SelectTargetPath(ArcFill(10503, word), ArcFill(10502, word), history, current, target)) return false;
          break;
        case 2: target = otherFolder; break;
        case 3: target = chooser(current); break;
        default: target = chooser(otherFolder); break;
      }
    } else {
      target = chooser(current);
    }
    if (Trim(target).empty()) return false;
  }
  target = Trim(target);
  if (!forcedTarget.empty() && single) {
    // A forced target (dragging out) keeps no history.
  } else if (!target.empty()) {
    Options.AddHistory(hkTARGET, target);
  }
  target = IncludeTrailingBackslash(target);

  TStringList selection;
  TGeneralArchiveControl selector;
  if (single) {
    selection = LinesOf(names);
  } else {
    selector.SetFileSpec(fileMask);
    selection = selector.FileList;
  }
  selector.SetFileList(selection);
  selector.Extract();  // the selection's AllSelected for the name tests

  TExtractPlan plan;
  if (!single) {
    std::sort(plain.begin(), plain.end(), [](const TArcSetEntry& a, const TArcSetEntry& b) {
      if (a.ArcType != b.ArcType) return a.ArcType < b.ArcType;
      return CompareTextI(a.Name, b.Name) < 0;
    });
    TWaitingModalForm wait(form);
    wait.SetCaption(Msg(30214));
    wait.SetSimple(true);
    wait.BeginWait();
    bool ok = PlanExtraction(plain, rar, ace, arj, selector, plan, [&wait] {
      Application().ProcessMessages();
      return wait.NowStop;
    });
    wait.EndWait();
    if (!ok) return false;
    for (const auto& n : plan.Unreadable) ShowInfo(Msg(30211) + L"\r\r<P>" + n + L"<>");
    if (!plan.NoFirstVolume.empty()) {
      std::wstring text = Msg(30223) + L"\r\r";
      for (const auto& n : plan.NoFirstVolume) text += L"<P>" + n + L"<>\r";
      ShowInfo(text);
    }
    if (plan.Incomplete && !plan.LastWasArj) ShowInfo(Msg(30224));
    if (plan.Plain.empty()) return false;
  } else {
    plan.Plain = plain;
  }

  TArcForm arc(form);
  arc.Folder = target;
  arc.List = &selection;
  arc.Mode = 1;
  arc.KeepPaths = keepPaths;
  arc.OverwriteAll = overwrite;
  arc.Password = password;
  arc.Silent = (flags & efSilent) != 0;
  if (!plan.Incomplete) {
    if (single) {
      arc.PresetTotalBytes = totalBytes;
      arc.PresetTotalFiles = totalFiles;
    } else if (plan.TotalBytes != 0 || plan.TotalFiles != 0) {
      arc.PresetTotalBytes = plan.TotalBytes;
      arc.PresetTotalFiles = plan.TotalFiles;
    }
  }
  arc.BeginRun();
  uint8_t code = 0;
  for (const TArcSetEntry& e : plan.Plain) {
    arc.ArchiveName = e.Name;
    arc.ArcType = e.ArcType;
    arc.StartOffset = e.StartOffset;
    arc.SetOverallVisible(!plan.Incomplete);
    arc.Run();
    code = arc.Result;
    if (code != 0) {
      if (code != arcErrorsShown && code != arcCancelled && code != arcProgramFailed)
        ShowErrorBox(GetArchiveErrorText(code) + L"\r\r" + e.Name);
      break;
    }
  }
  const std::wstring bare = ExcludeTrailingBackslashKeepRoot(target);
  if (FolderExists(bare) && GetPathDepth(bare) >= 1) {
    TMCDTreeMan tree(arc.Handle(), bare);
    tree.AddFolder(bare);
  }
  arc.EndRun();
  resultFolder = target;
  if (!forcedTarget.empty() && single) return code == 0;
  return true;
}

bool AddToArchive(TForm* form, std::wstring& archiveName, int folderCount, int fileCount, const std::wstring& names,
                  bool showFullName, const std::wstring& baseFolder, bool directAdd, int flags, bool& flag1,
                  bool& flag2) {
  flag1 = flag2 = false;
  uint8_t type = akZip;
  bool keepPaths = true, move = false, subFolders = true;
  int level = 4;
  std::wstring password;
  int64_t volume = 0;
  if (directAdd) {
    int64_t offset = 0;
    type = DetectArchiveType(archiveName, offset, false);
    if (type < akZip || type > akArj) return false;
  } else {
    TAddForm dlg(form);
    dlg.SetCaption(ArcFill(30115, std::to_wstring(fileCount), std::to_wstring(folderCount)));
    dlg.NameCombo->SetText(showFullName ? archiveName : FilePart(archiveName));
    // A name of a known archive type chooses the type; any other gets the chosen type's extension.
    const int before = dlg.TypeIndex();
    dlg.NameComboChange();
    if (dlg.TypeIndex() == before && !archiveName.empty()) {
      std::wstring ext = FilePart(archiveName);
      ext = ext.find(L'.') == std::wstring::npos ? L"" : UpperCase(ext.substr(ext.find_last_of(L'.') + 1));
      if (ext != AddFormTypeNames[std::max(0, before)]) dlg.ArcTypeComboChange();
    }
    if (flags & 0x20) dlg.SetChecked(dlg.MoveCheck, true);
    if (ArcDialogShown) ArcDialogShown(dlg);
    if (dlg.ShowModal() != mrOk) return false;
    archiveName = Trim(dlg.NameCombo->Text());
    keepPaths = dlg.Checked(dlg.FullPathCheck);
    move = dlg.Checked(dlg.MoveCheck);
    subFolders = dlg.Checked(dlg.AddSubFolderCheck);
    password = dlg.PassEdit->Text();
    volume = dlg.GetVolumeSize();
    type = AddTypeCode(dlg.TypeIndex());
    level = 4 - std::clamp(dlg.MethodIndex(), 0, 4);
  }
  TStringList list = LinesOf(names);
  if (type == akGz && (folderCount > 0 || list.Count() > 1)) {
    // A gzip file holds one file: more become a TAR compressed by gzip.
    size_t slash = archiveName.find_last_of(L"\\/"), dot = archiveName.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) archiveName.resize(dot);
    archiveName += L".TAR";
    type = akTar;
    level = 1;
  }
  if (archiveName.empty()) return false;
  if (archiveName.find(L'\\') == std::wstring::npos && archiveName.find(L':') == std::wstring::npos)
    archiveName = IncludeTrailingBackslash(baseFolder) + archiveName;
  {
    size_t slash = archiveName.find_last_of(L"\\/"), dot = archiveName.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
      archiveName += std::wstring(L".") + ArcTypeNames[type];
  }
  TArcForm arc(form);
  arc.Mode = 0;
  arc.Folder = IncludeTrailingBackslash(baseFolder);
  arc.ArchiveName = archiveName;
  arc.List = &list;
  arc.ArcType = type;
  arc.KeepPaths = keepPaths;
  arc.Move = move;
  arc.SubFolders = subFolders;
  arc.Level = level;
  arc.Password = password;
  arc.VolumeSize = volume;
  arc.ExecuteModal();
  archiveName = arc.ArchiveName;
  const uint8_t code = arc.Result;
  if (code != 0 && code != arcErrorsShown && code != arcCancelled && code != arcProgramFailed) {
    Application().ProcessMessages();
    ShowErrorBox(GetArchiveErrorText(code));
  }
  return code == 0;
}

bool DeleteFromArchive(TForm* form, std::wstring& archiveName, int, const std::wstring& names, uint8_t arcType, int) {
  TStringList list = LinesOf(names);
  TArcForm arc(form);
  arc.Mode = 2;
  arc.ArchiveName = archiveName;
  arc.ArcType = arcType;
  arc.List = &list;
  arc.ExecuteModal();
  const uint8_t code = arc.Result;
  if (code != 0 && code != arcErrorsShown && code != arcCancelled && code != arcProgramFailed)
    ShowErrorBox(GetArchiveErrorText(code));
  return code == 0;
}
