#include "mainwin/Main.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>

#include "archive/layer/ArcTree.h"
#include "fileops/ShellNew.h"
#include "foundation/FileIO.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/HSplit.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "mainwin/CmdLine.h"
#include "mainwin/FilePanel.h"
#include "mainwin/Commands.h"
#include "mainwin/DockBar.h"
#include "mainwin/FavouriteCmd.h"
#include "mainwin/MKeyLine.h"
#include "foundation/ToolBtn.h"
#include "mainwin/MUpDate.h"
#include "mainwin/PanelMenu.h"
#include "mainwin/TreeCommands.h"
#include "mainwin/RenameCmd.h"
#include "framework/FolderEnum.h"
#include "framework/TextCompare.h"
#include "panels/MFList.h"
#include "panels/MIcon.h"

TQ7XForm* Q7XForm = nullptr;
std::function<bool()> DefaultSetupDialog;
std::function<void(TQ7XForm& form)> DefaultApplyOptions;

namespace {
constexpr int kSplitterSize = 6;
constexpr LONG kShellEvents = 0x24FFF;

// The text without its mark-up tags, for the system's own box.
std::wstring StripMarkup(const std::wstring& s) {
  std::wstring out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'<') {
      size_t end = s.find(L'>', i);
      if (end != std::wstring::npos && end - i <= 8 && s.find(L' ', i) > end) {
        i = end;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::wstring PathFromPidl(LPCITEMIDLIST pidl) {
  if (!pidl) return L"";
  wchar_t buf[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(pidl, buf)) return L"";
  return buf;
}
}  // namespace

// ---- Module start-up and shut-down ----

void InitMainModule() {
  if (!SystemFileData) SystemFileData = new TSystemFileData();
  // The language first: the command names and the buttons follow it.
  SelectLanguageFromIni();
  Programs.InitCommandNames();
  InitStdButtonLists();
}

void DoneMainModule() {
  if (SystemFileData) {
    SystemFileData->Clear();
    delete SystemFileData;
    SystemFileData = nullptr;
  }
  wchar_t temp[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n > 0 && n < MAX_PATH) EmptyWorkFolder(WorkFolder, std::wstring(temp, n));
}

namespace {
void DeleteFolderContents(const std::wstring& folder) {
  for (const WIN32_FIND_DATAW& fd : TFolderEnum(folder)) {
    std::wstring full = folder + fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(full.c_str(), fd.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A link to a folder goes as a link; what it points at is left alone.
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteFolderContents(full + L"\\");
      RemoveDirectoryW(full.c_str());
    } else {
      DeleteFileW(full.c_str());
    }
  }
}
}  // namespace

void EmptyWorkFolder(const std::wstring& folder, const std::wstring& tempFolder) {
  if (folder.empty() || tempFolder.empty()) return;
  std::wstring f = IncludeTrailingBackslash(NormalizePath(folder));
  std::wstring t = IncludeTrailingBackslash(NormalizePath(tempFolder));
  if (IsPathRoot(f) || f.size() <= t.size() || !SameTextI(f.substr(0, t.size()), t)) return;
  if (f.find(L"\\..\\") != std::wstring::npos) return;
  DWORD a = GetFileAttributesW(f.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT)) return;
  DeleteFolderContents(f);
}

// ---- The form ----

TQ7XForm::TQ7XForm(TComponent* owner, TPanelFactory panelFactory)
    : THanForm(owner), PanelFactory(panelFactory ? std::move(panelFactory) : TPanelFactory(CreateFilePanel)) {
  Name = L"Q7XForm";
  Q7XForm = this;
  // The folder tree cache's notices reach the folder trees beside the panels through here.
  FolderChangeRelay = [this](TFolderChangeKind kind, const std::wstring& path, const std::wstring& newPath) {
    NotifyFolderTrees(kind, path, newPath);
  };
  ExitProcessNow = [](UINT code) { ExitProcess(code); };
  FormCreate();
}

TQ7XForm::~TQ7XForm() {
  FormDestroy();
  if (Q7XForm == this) {
    Q7XForm = nullptr;
    FolderChangeRelay = nullptr;
  }
}

void TQ7XForm::FormCreate() {
  ActivatedOnce = false;
  StartupTimer = nullptr;
  // The form has its size before the bars are built: each bar laid out for the window's first
  // size would be laid out again for this one.
  SetBounds(0, 0, 800, 600);
  if (DefaultSetupDialog) RunSetupDialog = DefaultSetupDialog;
  if (DefaultApplyOptions) ApplyOptions = [this] { DefaultApplyOptions(*this); };
  std::wstring created;
  if (!ProgramFolder.empty()) ForceFolders(ProgramFolder + L"MCD\\", created);
  Application().OnException = [this](const std::exception*) { ShowException(Application().LastExceptionText); };
  SetCaption(L"Velmo");
  Font.SetName(Options.MainFont.Name);
  Font.SetSize(Options.MainFont.Size);
  Font.SetStyle(Options.MainFont.Style);
  Font.SetCharset(DEFAULT_CHARSET);
  Panel1 = Panel2 = nullptr;
  Splitter = nullptr;
  BuildBars();
  DualMode = Options.DualWindow != 0 && Options.WinSplitSave;
  Stacked = Options.DualWindow == 1;
  // The setting mirrors the layout the form really has.
  if (!DualMode) Options.DualWindow = 0;
  ClientPanel = new TPanel(this);
  ClientPanel->Name = L"ClientPanel";
  ClientPanel->SetAlign(alClient);
  ClientPanel->SetParent(this);
  ShellNewHelper = std::make_unique<TShellNew>();
  OnShow = [this](TComponent*) { FormShow(); };
  Position = poScreenCenter;
}

void TQ7XForm::FormShow() {
  if (FShown) return;
  FShown = true;
  HelpFile = ProgramFolder + LanguageObject().HelpFile;
  if (LanguageObject().HelpFile.empty() || !FileExistsPlain(HelpFile)) HelpFile = ProgramFolder + L"velmo.hlp";
  SetForegroundWindow(Handle());
  if (Options.LastWindow < 1 || Options.LastWindow > 2) Options.LastWindow = 1;
  // The panels and the splitter take their places once, when all of them are there: every
  // earlier placing would lay out each panel's parts again.
  ClientPanel->DisableAlign();
  Panel1 = CreatePanel(Options.LastWindow);
  Panel1->SetAlign(alClient);
  // With two panels this one is made at the size it will have beside the other (left or top
  // as panel 1, the rest as panel 2), so that its parts are laid out once.
  const int cw = ClientPanel->ClientWidth(), ch = ClientPanel->ClientHeight();
  RECT place{0, 0, cw, ch};
  if (DualMode) {
    const int size = FirstPanelSize();
    if (Options.LastWindow == 2)
      place = Stacked ? RECT{0, size + kSplitterSize, cw, ch} : RECT{size + kSplitterSize, 0, cw, ch};
    else
      place = Stacked ? RECT{0, 0, cw, size} : RECT{0, 0, size, ch};
  }
  Panel1->SetBounds(place.left, place.top, std::max(0, static_cast<int>(place.right - place.left)),
                    std::max(0, static_cast<int>(place.bottom - place.top)));
  Panel1->SetParent(ClientPanel);
  Panel1->Setup(SystemFileData, Options.LastWindow, FirstLoadDone);
  if (DualMode) MakeDualWindow(Stacked);
  ClientPanel->EnableAlign();
  RegisterShellNotify();
  if (TPanelView* p = ActivePanel() ? ActivePanel() : Panel1) p->FocusPanel(false);
  const TIniRect& w = Options.Window;
  if (w.Right > 0 && w.Bottom > 0) RestoreWindowPlacement(Handle(), w);
}

void TQ7XForm::FormActivate() {
  if (ActivatedOnce) return;
  ActivatedOnce = true;
  StartupTimer = new TTimer(this);
  StartupTimer->SetEnabled(false);
  StartupTimer->OnTimer = [this](TComponent*) { StartupTimerTick(); };
  StartupTimer->SetInterval(5);
  StartupTimer->SetEnabled(true);
}

void TQ7XForm::StartupTimerTick() {
  if (StartupTimer) StartupTimer->SetEnabled(false);
  FirstLoadDone = true;
  if (Panel1) Panel1->FirstLoad();
  if (Panel2) Panel2->FirstLoad();
  if (OnFirstLoad) OnFirstLoad();
  StartScheduledUpdateCheck(Handle());
}

void TQ7XForm::FormDestroy() {
  if (FDestroying) return;
  FDestroying = true;
  delete StartupTimer;
  StartupTimer = nullptr;
  DeregisterShellNotify();
  ShellNewHelper.reset();
  DestroyBars();
  delete Splitter;
  Splitter = nullptr;
  delete Panel1;
  Panel1 = nullptr;
  delete Panel2;
  Panel2 = nullptr;
  delete ClientPanel;
  ClientPanel = nullptr;
  if (HandleAllocated()) SaveWindowPlacement(Handle(), Options.Window);
  if (Application().MainForm == this) Application().OnException = nullptr;
}

TPanelView* TQ7XForm::CreatePanel(int panelNo) {
  TPanelView* p = PanelFactory(ClientPanel);
  p->Name = L"Panel" + std::to_wstring(panelNo);
  WirePanel(p);
  return p;
}

void TQ7XForm::WirePanel(TPanelView* p) {
  p->OnPartsChanged = [this](TPanelView* panel) {
    panel->ArrangeParts();
    UpdateCommandStates();
  };
  p->OnListKeyDown = [this](TPanelView* panel, WORD& key, TShiftState shift) { PanelKeyDown(panel, key, shift); };
  p->OnListKeyUp = [this](TPanelView* panel, WORD& key, TShiftState shift) { PanelKeyUp(panel, key, shift); };
  p->OnPanelActivate = [this](TPanelView* panel) { PanelActivated(panel); };
  p->OnStateChanged = [this](TPanelView*) { UpdateCommandStates(); };
  p->OnOpenFile = [this](TPanelView* panel, const std::wstring& file) { OpenFile(panel, file); };
  p->OnContextPopup = [this](TPanelView* panel, POINT at) { ShowPanelContextMenu(*this, *panel, at); };
  p->OnTreeMenu = [this](TPanelView* panel, POINT at) { ShowFolderTreeMenu(*this, *panel, at); };
  p->OnListDrop = [this](TPanelView* panel, const std::wstring& target, bool same, int mode, const TStringList& files,
                         const TStringList& mapped) { return FolderTreeDrop(panel, target, same, mode, files, mapped); };
  p->OnListBeginDrag = [this](TPanelView* panel, bool right) { DragPanelItems(panel, right); };
  // The list's drive entry opens the drive chooser.
  p->List().OnDriveChooser = [this](TMFList&) { RunCommand(6003, 0); };
  // Archives open as folders through the archive layer's tree; the panels know only the
  // interface, so the layer is handed in here.
  p->List().OpenArcTree = [](const std::wstring& file) -> std::unique_ptr<TArcFolderSource> {
    return OpenArchiveTree(file);
  };
}

void TQ7XForm::PanelActivated(TPanelView* panel) {
  for (TPanelView* p : {Panel1, Panel2})
    if (p && p != panel) p->SetActive(false);
  panel->SetActive(true);
  Options.LastWindow = panel->PanelNo();
  UpdateCommandStates();
}

// ---- Panels ----

TPanelView* TQ7XForm::ActivePanel() const {
  if (Panel1 && Panel1->IsActive()) return Panel1;
  if (Panel2 && Panel2->IsActive()) return Panel2;
  return nullptr;
}

TPanelView* TQ7XForm::OtherPanel() const {
  if (!Panel2) return Panel1;
  return ActivePanel() == Panel2 ? Panel1 : Panel2;
}

TMFList* TQ7XForm::ActiveList() const {
  TPanelView* p = ActivePanel();
  return p ? &p->List() : nullptr;
}

TMFList* TQ7XForm::OtherList() const {
  TPanelView* p = OtherPanel();
  return p ? &p->List() : nullptr;
}

TPanelView* TQ7XForm::PanelByNumber(WPARAM no) const {
  if (no != 1 && no != 2) return nullptr;
  if (!Panel2) return Panel1;
  for (TPanelView* p : {Panel1, Panel2})
    if (p && p->PanelNo() == static_cast<int>(no)) return p;
  return nullptr;
}

int TQ7XForm::FirstPanelSize() const {
  const int client = Stacked ? ClientPanel->ClientHeight() : ClientPanel->ClientWidth();
  const int32_t ratio = Stacked ? Options.VertRatio : Options.HorzRatio;
  return static_cast<int>(std::lround(std::max(0, client - kSplitterSize) * (ratio / 100000.0)));
}

void TQ7XForm::AlignFirstPanel() {
  const int size = FirstPanelSize();
  Panel1->SetAlign(Stacked ? alTop : alLeft);
  if (Stacked)
    Panel1->SetBounds(0, 0, ClientPanel->ClientWidth(), size);
  else
    Panel1->SetBounds(0, 0, size, ClientPanel->ClientHeight());
}

void TQ7XForm::MakeDualWindow(bool stacked) {
  HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (!Panel2) {
    ClientPanel->DisableAlign();
    Stacked = stacked;
    Options.DualWindow = stacked ? 1 : 2;
    TPanelView* added;
    if (Options.LastWindow == 2) {
      // The panel the user left active keeps its number and record, on the right.
      Panel2 = Panel1;
      Panel2->SetPanelNo(2);
      Panel1 = added = CreatePanel(1);
      Panel2->SetAlign(alClient);
    } else {
      Panel2 = added = CreatePanel(2);
      Panel2->SetAlign(alClient);
    }
    AlignFirstPanel();
    // The new panel gets the room it will have before its windows exist, so that its parts
    // are laid out once.
    if (added == Panel2) {
      const int cw = ClientPanel->ClientWidth(), ch = ClientPanel->ClientHeight();
      if (Stacked)
        Panel2->SetBounds(0, Panel1->Height() + kSplitterSize, cw, std::max(0, ch - Panel1->Height() - kSplitterSize));
      else
        Panel2->SetBounds(Panel1->Width() + kSplitterSize, 0, std::max(0, cw - Panel1->Width() - kSplitterSize), ch);
    }
    if (added == Panel1) Panel1->SetParent(ClientPanel);
    Splitter = new THanSplit(ClientPanel);
    Splitter->Name = L"Splitter";
    Splitter->SetBounds(0, 0, kSplitterSize, kSplitterSize);
    Splitter->SetSide(Panel1->Align());
    Splitter->SetBarStyle(7);
    Splitter->SetParent(ClientPanel);
    if (added == Panel2) Panel2->SetParent(ClientPanel);
    Splitter->SetFirstPanel(Panel1);
    Splitter->SetSecondPanel(Panel2);
    Splitter->PlaceBar();
    Splitter->OnMoved = [this](THanSplit*) { SplitterMoved(); };
    added->Setup(SystemFileData, added == Panel1 ? 1 : 2, FirstLoadDone);
    DualMode = true;
    ClientPanel->EnableAlign();
    ClientPanel->Realign();
    KeepRatio();
  } else if (stacked != Stacked) {
    Splitter->Hide();
    Stacked = stacked;
    AlignFirstPanel();
    Options.DualWindow = stacked ? 1 : 2;
    Splitter->SetSide(Panel1->Align());
    Splitter->PlaceBar();
    Splitter->Show();
    ClientPanel->Realign();
    KeepRatio();
  }
  Panel1->ArrangeParts();
  Panel2->ArrangeParts();
  TPanelView* focus = Options.LastWindow == 2 ? Panel2 : Panel1;
  bool treeFocus = focus->FolderTreeFocused();
  focus->FocusPanel(treeFocus);
  PanelActivated(focus);
  Panel1->ShowCloseButton(true);
  Panel2->ShowCloseButton(true);
  SetCursor(old);
  UpdateCommandStates();
}

void TQ7XForm::MakeSingleWindow() {
  if (!DualMode || !Panel2) return;
  TPanelView* keep = ActivePanel() ? ActivePanel() : Panel1;
  TPanelView* drop = keep == Panel1 ? Panel2 : Panel1;
  ClientPanel->DisableAlign();
  delete Splitter;
  Splitter = nullptr;
  delete drop;
  Panel1 = keep;
  Panel2 = nullptr;
  DualMode = false;
  Options.DualWindow = 0;
  Options.LastWindow = keep->PanelNo();
  keep->ShowCloseButton(false);
  keep->SetAlign(alClient);
  ClientPanel->EnableAlign();
  ClientPanel->Realign();
  keep->FocusPanel(false);
  PanelActivated(keep);
  keep->UpdatePathDisplay();
  keep->ArrangeParts();
  UpdateCommandStates();
}

void TQ7XForm::KeepRatio() {
  if (!Panel1 || !Panel2 || !ClientPanel) return;
  const int client = Stacked ? ClientPanel->ClientHeight() : ClientPanel->ClientWidth();
  const int size = Stacked ? Panel1->Height() : Panel1->Width();
  // Over the room the two panels share: resizing keeps the share the user set.
  SplitRatio = client <= kSplitterSize ? 0.0 : static_cast<double>(size) / (client - kSplitterSize);
  if (Options.WinSplitDiv) {
    int32_t v = static_cast<int32_t>(std::lround(SplitRatio * 100000.0));
    (Stacked ? Options.VertRatio : Options.HorzRatio) = std::clamp<int32_t>(v, 0, 100000);
  }
}

void TQ7XForm::SplitterMoved() { KeepRatio(); }

void TQ7XForm::ApplySplitRatio() {
  if (!Options.WinSplitDiv || !DualMode || !Panel1 || !Panel2 || !ClientPanel) return;
  const int client = Stacked ? ClientPanel->ClientHeight() : ClientPanel->ClientWidth();
  const int size = static_cast<int>(std::lround(std::max(0, client - kSplitterSize) * SplitRatio));
  if (size == (Stacked ? Panel1->Height() : Panel1->Width())) return;
  if (Stacked)
    Panel1->SetHeight(size);
  else
    Panel1->SetWidth(size);
  if (Splitter) Splitter->PlaceBar();
  ClientPanel->Realign();
}

void TQ7XForm::Resized() {
  THanForm::Resized();
  // The bars wrap their buttons for the new width.
  if (Bars) {
    Bars->ToolBar->Relayout();
    // Heights that changed while the form aligned its children take their places now.
    Realign();
  }
  ApplySplitRatio();
}

// ---- Services ----

void TQ7XForm::NotifyFolderTrees(TFolderChangeKind kind, const std::wstring& path, const std::wstring& newPath) {
  for (TPanelView* p : {Panel1, Panel2})
    if (p) p->TreeNotifyChange(kind, path, newPath);
}

void TQ7XForm::BeginTreeUpdates() {
  for (TPanelView* p : {Panel1, Panel2})
    if (p) p->BeginTreeUpdate();
}

void TQ7XForm::EndTreeUpdates() {
  for (TPanelView* p : {Panel1, Panel2})
    if (p) p->EndTreeUpdate();
}

void TQ7XForm::MinimizeApp() {
  if (IsIconic(Handle())) return;
  FMinimizedByForm = true;
  ShowWindow(Handle(), SW_MINIMIZE);
}

void TQ7XForm::RestoreApp() {
  if (!IsIconic(Handle())) return;
  if (FMinimizedByForm) {
    ShowWindow(Handle(), SW_RESTORE);
    SetActiveWindow(Handle());
    if (TPanelView* p = ActivePanel()) p->FocusPanel(p->FolderTreeFocused());
    FMinimizedByForm = false;
    return;
  }
  // Restored without the system's animation, which is put back as it was.
  ANIMATIONINFO ai{};
  ai.cbSize = sizeof ai;
  bool animated = SystemParametersInfoW(SPI_GETANIMATION, sizeof ai, &ai, 0) && ai.iMinAnimate;
  if (animated) {
    ai.iMinAnimate = 0;
    SystemParametersInfoW(SPI_SETANIMATION, sizeof ai, &ai, 0);
  }
  ShowWindow(Handle(), SW_RESTORE);
  if (animated) {
    ai.iMinAnimate = 1;
    SystemParametersInfoW(SPI_SETANIMATION, sizeof ai, &ai, 0);
  }
}

void TQ7XForm::RefreshDrives() {
  for (TPanelView* p : {Panel1, Panel2}) {
    if (!p) continue;
    p->RefreshDriveBar();
    p->RefreshTreeDrives(L"");
    if (p->List().Path.empty() || p->List().DriveCount > 0) p->Reread();
  }
  if (OnDrivesChanged) OnDrivesChanged();
}

void TQ7XForm::ShowException(const std::wstring& text) {
  const bool visible = HandleAllocated() && IsWindowVisible(Handle());
  std::wstring msg = FormatMessageText(100, {visible ? L"<D>" : L"", text, visible ? L"<R>" : L"", L"Velmo"});
  if (visible) {
    ShowErrorBox(msg);
  } else {
    MessageBoxW(nullptr, StripMarkup(msg).c_str(), L"Velmo", MB_OK | MB_ICONERROR);
  }
}

// ---- Keys ----

void TQ7XForm::PanelKeyDown(TPanelView*, WORD& key, TShiftState shift) {
  shift &= ssShift | ssAlt | ssCtrl;
  if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) {
    if (Options.ShowKeyBar && Bars) Bars->KeyLine->SelectKeySet(shift);
    return;
  }
  if (shift == 0 && key == VK_TAB && Panel2) {
    TPanelView* other = OtherPanel();
    other->FocusPanel(other->FolderTreeFocused());
    key = 0;
    return;
  }
  // Favourites on Shift+F1..F10 and Ctrl+Shift+F1..F10.
  if ((shift == ssShift || shift == (ssShift | ssCtrl)) && key >= VK_F1 && key <= VK_F10) {
    std::wstring path;
    Options.GetQCDSlotPath(key, static_cast<uint8_t>(shift), path);
    if (!path.empty()) {
      // A favourite that is gone is reported; the panel stays where it is.
      OpenFavourite(*this, ActivePanel(), path);
      key = 0;
      return;
    }
  }
  if (int slot = FunctionKeySlot(key, shift); slot >= 0) {
    key = 0;
    RunFunctionKey(slot, shift);
    return;
  }
  // Del deletes (to the recycle bin unless set otherwise), Shift+Del for good.
  if (key == VK_DELETE && (shift == 0 || shift == ssShift)) {
    key = 0;
    RunCommand(1003, shift);
    return;
  }
  // Ctrl with the rename key opens the rename dialog on its advanced page.
  if (key == 'R' && shift == (ssAlt | ssCtrl)) {
    key = 0;
    RunCommand(1004, shift);
    return;
  }
  if (int tag = CommandForKey(key, shift)) {
    key = 0;
    // Rename, back and forward also come from the folder tree and the mouse's extra buttons;
    // the other short cuts belong to the menu bar.
    if (tag == 1004 || tag == 6401 || tag == 6402)
      RunCommand(tag, shift);
    else
      MenuClick(tag);
  }
}

void TQ7XForm::PanelKeyUp(TPanelView*, WORD&, TShiftState shift) {
  if (Options.ShowKeyBar && Bars) Bars->KeyLine->SelectKeySet(shift & (ssShift | ssAlt | ssCtrl));
}

void TQ7XForm::RenamePanelItems(TPanelView* panel, bool advanced) {
  TRenameOutcome r = RunRenameCommand(panel->List(), nullptr, advanced);
  if (!r.Changed) return;
  // Both panels may show the folder; the focus follows the focused item's new name.
  panel->Reread();
  if (TPanelView* other = Panel2 ? (panel == Panel1 ? Panel2 : Panel1) : nullptr) other->Reread();
  TMFList& list = panel->List();
  for (int i = 0; i < list.Count() && !r.FocusedName.empty(); ++i)
    if (list.ItemName(i) == r.FocusedName) {
      list.ItemIndex = i;
      break;
    }
  panel->Invalidate();
}

void TQ7XForm::BuildBars() {
  Bars = new TDockToolBar(this);
  const auto& buttons = ToolButtonTable();
  for (int i = 0; i < Bars->ToolBar->ButtonCount() && i < static_cast<int>(buttons.size()); ++i) {
    int tag = buttons[static_cast<size_t>(i)].Tag;
    Bars->ToolBar->Buttons(i)->OnClick = [this, tag](TComponent*) { RunCommand(tag, KeyboardShiftState()); };
  }
  if (Options.ShowKeyBar)
    Bars->KeyLine->OnKeyClick = [this](TMKeyLine* line) { KeyLineClick(line->ClickedSet, line->ClickedLabel); };
  FillKeyLine();
}

void TQ7XForm::DestroyBars() {
  delete Bars;
  Bars = nullptr;
}

void TQ7XForm::UpdateCommandStates() { UpdateMainMenu(); }

void TQ7XForm::UpdateMainMenu() {
  if (!Options.ShowMainMenu || FDestroying || !Bars || !ActivePanel()) return;
  Bars->UpdateStates([this](const TCommandRow& r) { return CommandEnabled(*this, r); },
                     [this](const TCommandRow& r) { return r.Checked && r.Checked(*this); });
}

void TQ7XForm::RunCommand(int tag, TShiftState shift) {
  if (OnCommand && OnCommand(tag)) return;
  const TCommandRow* row = FindCommand(tag);
  if (!row) return;
  if (!ActivePanel() || !CommandEnabled(*this, *row)) {
    MessageBeep(MB_OK);
    if (TPanelView* p = ActivePanel()) p->EndTreeCommand();
    return;
  }
  // A command on several items changes many folders: the folder trees take the notices in
  // once it has ended.
  {
    TTreeUpdates hold(*this, IsMultiItemCommand(tag));
    const TTreeCommandRoute* route = FindTreeCommand(tag);
    TPanelFolderTree* tree = route ? CommandTree(*this) : nullptr;
    if (tree)
      route->Run(*this, *tree, shift);
    else if (row->Run)
      row->Run(*this, shift);
    else
      CommandNotBuilt(tag);
  }
  // The node the tree's own menu was opened on is the command's alone.
  if (TPanelView* p = ActivePanel()) p->EndTreeCommand();
  UpdateMainMenu();
}

void TQ7XForm::MenuClick(int tag) {
  if (!Options.ShowMainMenu || !ActivePanel()) return;
  RunCommand(tag, KeyboardShiftState());
}

void TQ7XForm::CommandNotBuilt(int tag) {
  const TCommandRow* row = FindCommand(tag);
  std::wstring clean = row ? PlainCaption(row->Caption()) : std::wstring();
  ShowInfo(FormatMessageText(10804, {clean}));
}

void TQ7XForm::RunNumberedCommand(int number, TShiftState shift) {
  if (int tag = NumberedCommandTag(number)) RunCommand(tag, shift);
}

void TQ7XForm::RunFunctionKey(int slot, TShiftState shift) {
  const THanProgram* program = Programs.GetKeyProgram(slot);
  if (program && !program->Command.empty()) {
    if (RunUserProgram)
      RunUserProgram(*program);
    else
      RunCommandLine(program->Command);
    return;
  }
  int number = program && program->CommandNo ? program->CommandNo : DefaultSlotCommand(slot);
  if (number) RunNumberedCommand(number, shift);
}

void TQ7XForm::KeyLineClick(int set, int label) {
  static const TShiftState shifts[TMKeyLine::SetCount] = {0, ssShift, ssCtrl, ssAlt, ssShift | ssCtrl, ssAlt | ssCtrl,
                                                          ssShift | ssAlt};
  if (set < 0 || set >= TMKeyLine::SetCount || label < 1 || label > 10) return;
  WORD key = static_cast<WORD>(VK_F1 + label - 1);
  PanelKeyDown(ActivePanel(), key, shifts[set]);
}

void TQ7XForm::FillKeyLine() {
  if (!Bars) return;
  auto slotName = [](int slot) {
    const THanProgram* p = Programs.GetKeyProgram(slot);
    if (p && !p->Title.empty()) return p->Title;
    int number = p && p->CommandNo ? p->CommandNo : DefaultSlotCommand(slot);
    return number >= 1 && number <= NumberedCommandCount ? Programs.CommandNames[static_cast<size_t>(number - 1)]
                                                         : std::wstring();
  };
  auto& sets = Bars->KeyLine->KeySets;
  for (auto& set : sets) set.assign(TMKeyLine::LabelCount, L"");
  sets[0][0] = PlainCaption(LoadMessageText(1601));
  for (int slot = 0; slot < 8; ++slot) sets[0][static_cast<size_t>(slot + 1)] = slotName(slot);
  sets[0][9] = PlainCaption(LoadMessageText(1201));
  for (int i = 0; i < 10; ++i) {
    const TQCDSlot& a = Options.QCDSlots[static_cast<size_t>(i)];
    const TQCDSlot& b = Options.QCDSlots[static_cast<size_t>(i + 10)];
    sets[1][static_cast<size_t>(i)] = a.Title.empty() ? a.Path : a.Title;
    sets[4][static_cast<size_t>(i)] = b.Title.empty() ? b.Path : b.Title;
    sets[2][static_cast<size_t>(i)] = slotName(8 + i);
  }
  Bars->KeyLine->Invalidate();
}

void TQ7XForm::ShowToolBar(bool show) {
  Options.ShowMainToolBar = show;
  if (Bars) Bars->ToolBar->SetVisible(show);
}

void TQ7XForm::ShowKeyLine(bool show) {
  Options.ShowKeyBar = show;
  if (!Bars) return;
  Bars->KeyLine->SetVisible(show);
  Bars->KeyLine->OnKeyClick = show ? std::function<void(TMKeyLine*)>([this](TMKeyLine* line) {
    KeyLineClick(line->ClickedSet, line->ClickedLabel);
  })
                                   : nullptr;
}

void TQ7XForm::ShowToolNames(bool show) {
  Options.ShowToolName = show;
  if (Bars) Bars->ToolBar->SetShowCaptions(show);
}

void TQ7XForm::ShowMainMenu(bool show) {
  Options.ShowMainMenu = show;
  if (Bars && HandleAllocated()) SetMenu(Handle(), show ? Bars->MainMenu() : nullptr);
  if (show) UpdateMainMenu();
}

void TQ7XForm::ApplyMenuOptions() {
  if (!Bars) return;
  Bars->BuildMainMenu();
  UpdateMainMenu();
}

void TQ7XForm::ShowNewPopup() { CommandNotBuilt(1701); }

void TQ7XForm::ShowHelp(const std::wstring& topic) {
  // The program may come without its help file: say which file is missing rather than
  // leaving the key without an answer.
  if (!FileExistsPlain(HelpFile)) {
    ShowInfo(FormatMessageText(5011, {HelpFile}));
    return;
  }
  // The system's help viewer: the contents, or the topic by its keyword.
  if (topic.empty())
    WinHelpW(Handle(), HelpFile.c_str(), HELP_FINDER, 0);
  else
    WinHelpW(Handle(), HelpFile.c_str(), HELP_KEY, reinterpret_cast<ULONG_PTR>(topic.c_str()));
}

void TQ7XForm::StorePlacement() {
  if (HandleAllocated()) SaveWindowPlacement(Handle(), Options.Window);
}

TQ7XForm::THistoryPos& TQ7XForm::HistoryPos(TPanelView* panel) {
  THistoryPos& h = FHistoryPos[panel];
  const size_t size = panel->List().FolderHistory.size();
  // A folder entered the ordinary way: the position is at the end again.
  if (h.Size != size) {
    h.Size = size;
    h.Pos = size ? size - 1 : 0;
  }
  return h;
}

bool TQ7XForm::CanGoBack() {
  TPanelView* p = ActivePanel();
  return p && HistoryPos(p).Pos > 0;
}

bool TQ7XForm::CanGoForward() {
  TPanelView* p = ActivePanel();
  return p && HistoryPos(p).Pos + 1 < p->List().FolderHistory.size();
}

void TQ7XForm::StepHistory(int delta) {
  TPanelView* p = ActivePanel();
  if (!p) return;
  THistoryPos h = HistoryPos(p);
  const auto& list = p->List().FolderHistory;
  if ((delta < 0 && h.Pos == 0) || (delta > 0 && h.Pos + 1 >= list.size())) return;
  size_t pos = h.Pos + static_cast<size_t>(delta);
  std::wstring path = list[pos];
  p->ChangeDir(path);
  // The step itself is no new entry of the history.
  auto& history = p->List().FolderHistory;
  if (history.size() > h.Size) history.resize(h.Size);
  FHistoryPos[p] = THistoryPos{pos, history.size()};
}

void TQ7XForm::GoBack() { StepHistory(-1); }
void TQ7XForm::GoForward() { StepHistory(1); }

void TQ7XForm::OpenFile(TPanelView* panel, const std::wstring& file) {
  // The programs bound to the file's extension come first.
  if (ChooseFileProgram(panel, file)) return;
  // An archive the layer can read opens in the panel as a folder.
  if (panel && !panel->List().InArchive && panel->List().OpenArchive(file)) {
    UpdateCommandStates();
    return;
  }
  std::wstring dir = ExtractParentDir(file);
  ShellExecuteW(Handle(), nullptr, file.c_str(), nullptr, dir.c_str(), SW_SHOWNORMAL);
}

// ---- Messages ----

bool TQ7XForm::HandlePanelMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LOADPANELTREE && !Panel2) wp = 1;
  TPanelView* sender = PanelByNumber(wp);
  if (!sender) return true;
  TPanelView* other = !Panel2 ? nullptr : sender == Panel1 ? Panel2 : Panel1;
  switch (msg) {
    case WM_PANELTREE:
      if (lp != 0) {
        TFileWinOptions& rec = Options.PanelOptions(sender->PanelNo());
        rec.Parts ^= ppFolderTree;
        sender->ArrangeParts();
        UpdateCommandStates();
      } else if (other) {
        other->FocusPanel(false);
        PanelActivated(other);
        MakeSingleWindow();
      }
      break;
    case WM_REREADOTHER:
      if (other) {
        other->Reread();
        if (other->HasFolderTree()) other->RefreshTreeDrives(L"");
      }
      break;
    case WM_LOADPANELTREE:
      if (!sender->HasFolderTree()) sender->LoadFolderTree();
      break;
    case WM_SHOWSETUP:
      if (RunSetupDialog && RunSetupDialog()) ApplyOptions();
      break;
    case WM_DUPHEADERSIZE:
      if (!Options.DupHeaderSize) break;
      if (other) {
        int widths[6];
        sender->GetColumnWidths(widths);
        other->SetColumnWidths(widths);
      } else {
        const TFileWinOptions& from = Options.PanelOptions(sender->PanelNo());
        TFileWinOptions& to = Options.PanelOptions(sender->PanelNo() == 1 ? 2 : 1);
        to.NameWidth = from.NameWidth, to.ExtWidth = from.ExtWidth, to.SizeWidth = from.SizeWidth;
        to.TimeWidth = from.TimeWidth, to.AttrWidth = from.AttrWidth, to.TypeWidth = from.TypeWidth;
      }
      break;
    case WM_DUPTREESIZE:
      if (!Options.DupFTreeWidth || !other) break;
      if (other->HasFolderTree()) {
        TFileWinOptions& rec = Options.PanelOptions(sender->PanelNo());
        int size = sender->TreeSize();
        other->SetTreeSize(size);
        if (rec.FTreeAlign == 1 || rec.FTreeAlign == 3)
          rec.FTreeHeight = size;
        else
          rec.FTreeWidth = size;
      }
      break;
    case WM_SYNCDRIVEBAR:
      if (other) {
        bool top = Options.PanelOptions(sender->PanelNo()).DriveBarTop;
        Options.PanelOptions(other->PanelNo()).DriveBarTop = top;
        other->PlaceDriveBar(top);
      }
      break;
  }
  return true;
}

void TQ7XForm::RegisterShellNotify() {
  if (ShellNotifyHandle) return;
  TCoTaskMemPtr<LPITEMIDLIST> desktop;
  const HRESULT hr = SHGetSpecialFolderLocation(Handle(), CSIDL_DESKTOP, desktop.put());
  if (FAILED(hr) || !desktop) return;
  SHChangeNotifyEntry entry{desktop.get(), TRUE};
  ShellNotifyHandle = SHChangeNotifyRegister(Handle(), SHCNRF_InterruptLevel | SHCNRF_ShellLevel, kShellEvents,
                                             WM_SHELLNOTIFY, 1, &entry);
}

void TQ7XForm::DeregisterShellNotify() {
  if (!ShellNotifyHandle) return;
  SHChangeNotifyDeregister(ShellNotifyHandle);
  ShellNotifyHandle = 0;
}

void TQ7XForm::HandleShellNotify(WPARAM wp, LPARAM lp) {
  const LONG event = static_cast<LONG>(lp & 0x7FFFFFFF);
  auto* pidls = reinterpret_cast<LPCITEMIDLIST*>(wp);
  const std::wstring path = pidls ? PathFromPidl(pidls[0]) : L"";
  ShellEvent(event, path);
}

void TQ7XForm::ShellEvent(LONG event, const std::wstring& path) {
  switch (event) {
    case SHCNE_RENAMEITEM:
    case SHCNE_CREATE:
    case SHCNE_DELETE:
    case SHCNE_MKDIR:
    case SHCNE_RMDIR:
    case SHCNE_ATTRIBUTES:
    case SHCNE_UPDATEDIR:
    case SHCNE_UPDATEITEM:
    case SHCNE_RENAMEFOLDER:
    case SHCNE_FREESPACE:
      if (Options.DiskMonitor)
        for (TPanelView* p : {Panel1, Panel2})
          if (p) p->NotifyShellPath(path);
      break;
    case SHCNE_MEDIAINSERTED:
    case SHCNE_MEDIAREMOVED:
    case SHCNE_DRIVEREMOVED:
    case SHCNE_DRIVEADD:
    case SHCNE_SERVERDISCONNECT:
      for (TPanelView* p : {Panel1, Panel2}) {
        if (!p) continue;
        const bool gone = event == SHCNE_MEDIAREMOVED || event == SHCNE_DRIVEREMOVED || event == SHCNE_SERVERDISCONNECT;
        if (gone && !path.empty() && SamePathRoot(p->List().Path, path))
          p->ChangeDir(L"C:\\");
        else
          p->Reread();
        p->RefreshDriveBar();
        if (p->HasFolderTree()) p->RefreshTreeDrives(L"");
      }
      if (OnDrivesChanged) OnDrivesChanged();
      break;
    case SHCNE_NETSHARE:
    case SHCNE_NETUNSHARE:
      if (TPanelView* a = ActivePanel()) a->Reread();
      if (IsPathRoot(path))
        for (TPanelView* p : {Panel1, Panel2})
          if (p && p->HasFolderTree()) p->RefreshTreeDrives(path);
      break;
    default: break;
  }
}

void TQ7XForm::QueryEndSession() {
  if (Application().DispatchDepth() > 0) {
    // Inside a running operation's own loop: that loop is cancelled and unwinds first (it
    // leaves no partial file); the program then ends the ordinary way, writing its settings.
    EndSessionPending = true;
    Application().Terminate();
    return;
  }
  EndProgramNow();
}

void TQ7XForm::EndProgramNow() {
  FormDestroy();
  if (!Options.SaveOnExit()) {
    // Nobody is there to read a message now.
  }
  DoneMainModule();
  ExitProcessNow(0);
}

bool TQ7XForm::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_PANELTREE:
    case WM_REREADOTHER:
    case WM_LOADPANELTREE:
    case WM_SHOWSETUP:
    case WM_DUPHEADERSIZE:
    case WM_DUPTREESIZE:
    case WM_SYNCDRIVEBAR:
      result = 0;
      return HandlePanelMessage(msg, wp, lp);
    case WM_COMMAND:
      if (lp == 0 && HIWORD(wp) == 0) {
        MenuClick(LOWORD(wp));
        result = 0;
        return true;
      }
      return THanForm::WndProc(msg, wp, lp, result);
    case WM_INITMENUPOPUP:
      UpdateMainMenu();
      return false;
    case WM_SHELLNOTIFY:
      HandleShellNotify(wp, lp);
      result = 0;
      DefaultHandler(msg, wp, lp);
      return true;
    case WM_UPDATECHECKED:
      if (HandleUpdateAnswer(Handle(), lp)) Close();
      result = 0;
      return true;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) FormActivate();
      return false;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_MINIMIZE && !IsIconic(Handle())) {
        MinimizeApp();
        result = 0;
        return true;
      }
      if ((wp & 0xFFF0) == SC_RESTORE && IsIconic(Handle())) {
        RestoreApp();
        result = 0;
        return true;
      }
      return false;
    case WM_QUERYENDSESSION:
      result = DefaultHandler(msg, wp, lp);
      if (result) QueryEndSession();
      // Refused only while an operation unwinds; the program then ends by itself.
      result = EndSessionPending ? FALSE : result;
      return true;
    case WM_SETFOCUS:
      if (TPanelView* p = ActivePanel() ? ActivePanel() : Panel1) p->FocusPanel(p->FolderTreeFocused());
      return true;
    default:
      return THanForm::WndProc(msg, wp, lp, result);
  }
}
