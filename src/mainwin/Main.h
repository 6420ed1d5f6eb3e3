#pragma once
// The main form: it owns both panels, the splitter between them and everything around them,
// comes up and goes down in a fixed order, answers its panels' messages and the shell's
// change notifications, switches between one panel and two (side by side or stacked) with a
// kept split ratio, and relays folder-change notices to the folder trees beside the panels.
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "foundation/HanForm.h"
#include "mainwin/MainMessages.h"
#include "mainwin/PanelView.h"

class TDockToolBar;
struct TCommandExpansion;
class TShellNew;
struct THanProgram;
class TToolButton;
class TSystemFileData;
class THanSplit;

// The folder-change codes of the folder tree cache.
// The folder-change codes (fckCreated, fckRenamed, fckDeleted) and the relay the tree cache sends them to.
#include "foundation/FolderChange.h"

class TQ7XForm : public THanForm {
 public:
  // Creating the form runs FormCreate; panels come from the factory.
  explicit TQ7XForm(TComponent* owner, TPanelFactory panelFactory = nullptr);
  // Runs FormDestroy.
  ~TQ7XForm() override;

  // ---- Start-up and shut-down ----
  void FormCreate();
  void FormShow();
  void FormActivate();
  void StartupTimerTick();
  void FormDestroy();

  bool ActivatedOnce = false;
  // The start-up timer has listed the panels: a panel made from now on lists its folder at
  // once. (The window is activated before it is shown, so activation alone does not say it.)
  bool FirstLoadDone = false;
  TTimer* StartupTimer = nullptr;
  TPanel* ClientPanel = nullptr;
  TPanelView* Panel1 = nullptr;
  TPanelView* Panel2 = nullptr;
  THanSplit* Splitter = nullptr;
  std::unique_ptr<TShellNew> ShellNewHelper;
  bool DualMode = false;
  bool Stacked = false;
  double SplitRatio = 0.5;
  ULONG ShellNotifyHandle = 0;
  // The help file chosen at FormShow.
  std::wstring HelpFile;

  // ---- Panels ----
  TPanelView* ActivePanel() const;
  TPanelView* OtherPanel() const;
  TMFList* ActiveList() const;
  TMFList* OtherList() const;
  // The panel with that number; in one-panel mode a valid number means the sole panel.
  TPanelView* PanelByNumber(WPARAM no) const;
  void MakeDualWindow(bool stacked);
  void MakeSingleWindow();
  // Re-applies the kept split ratio to the client size (after a resize).
  void ApplySplitRatio();
  void SplitterMoved();

  // ---- Services for the other subsystems ----
  // One folder-change notice of the folder tree cache, passed to each panel's folder tree.
  void NotifyFolderTrees(TFolderChangeKind kind, const std::wstring& path, const std::wstring& newPath);
  // Around a multi-item command: the trees keep the notices and replay them at the end.
  void BeginTreeUpdates();
  void EndTreeUpdates();
  // Begin and end of the above as a scope (hold false: neither), so that a command that fails
  // with an exception does not leave the trees holding their notices.
  class TTreeUpdates {
   public:
    explicit TTreeUpdates(TQ7XForm& form, bool hold = true) : FForm(hold ? &form : nullptr) {
      if (FForm) FForm->BeginTreeUpdates();
    }
    ~TTreeUpdates() {
      if (FForm) FForm->EndTreeUpdates();
    }
    TTreeUpdates(const TTreeUpdates&) = delete;
    TTreeUpdates& operator=(const TTreeUpdates&) = delete;

   private:
    TQ7XForm* FForm;
  };
  // Minimises or restores the whole program.
  void MinimizeApp();
  void RestoreApp();
  bool MinimizedByForm() const { return FMinimizedByForm; }
  // The drives changed: every panel's drive display and tree are brought up to date.
  void RefreshDrives();

  // ---- Commands ----
  TDockToolBar* Bars = nullptr;
  // 0 nothing to paste, 1 paste into the folder, 2 paste into the focused folder.
  int PasteState = 0;
  // Runs a command by its number on the active panel: disabled commands beep; a command whose
  // subsystem is not there yet says so.
  void RunCommand(int tag, TShiftState shift);
  // A menu item: nothing unless the menu bar is shown and a panel is active.
  void MenuClick(int tag);
  // Enables and checks the menu items and tool buttons for the active panel.
  void UpdateMainMenu();
  // The one place for commands whose subsystem is not built yet.
  void CommandNotBuilt(int tag);
  void RunNumberedCommand(int number, TShiftState shift);
  // Function-key slots 0..17: the program the user bound, else the slot's numbered command.
  void RunFunctionKey(int slot, TShiftState shift);
  void KeyLineClick(int set, int label);
  // The texts of the key line's sets, from the programs and command names.
  void FillKeyLine();
  void ShowToolBar(bool show);
  void ShowKeyLine(bool show);
  void ShowToolNames(bool show);
  void ShowMainMenu(bool show);
  // Builds the menu again after a change of options (the short cuts of CtrlXExtract).
  void ApplyMenuOptions();
  void ShowNewPopup();
  void ShowHelp(const std::wstring& topic);
  void StorePlacement();
  bool CanGoBack();
  bool CanGoForward();
  void GoBack();
  void GoForward();
  // Handlers that later subsystems set: delete (permanent or to the recycle bin), a user
  // program's command line.
  std::function<void(bool permanent)> DeleteHandler;
  std::function<void(const THanProgram& program)> RunUserProgram;
  // Sees every command first; true when it took the command (tests record them here).
  std::function<bool(int tag)> OnCommand;

  // ---- Command lines (mainwin/CmdLine.cpp) ----
  // Expands a command-line template for the folder and the item name.
  void ExpandCommandLine(const std::wstring& templ, const std::wstring& folder, const std::wstring& itemName,
                         TCommandExpansion& result);
  // Runs a user program's command line on the active panel's focused item.
  void RunCommandLine(const std::wstring& templ);
  void RunCommandLineFor(const std::wstring& templ, const std::wstring& folder, const std::wstring& itemName);
  void DosCommandPrompt();
  void RunDosCommand(const std::wstring& text);
  // The DOS prompt's built-in change of folder: true with the target when recognised.
  bool ParseDosBuiltin(const std::wstring& text, std::wstring& target);
  void RunWithParameters();
  // Opens or runs the focused item with a command text.
  void OpenItem(const std::wstring& text);
  // The list file of the selection; its full name.
  std::wstring SaveFileList();
  // Enter on a file with programs bound to its extension: the one program, or a pop-up menu
  // of them. False when none is bound.
  bool ChooseFileProgram(TPanelView* panel, const std::wstring& file);

  // ---- Keys ----
  // The key dispatcher of the panels' lists and trees (shift bits Shift 1, Alt 2, Ctrl 4).
  void PanelKeyDown(TPanelView* panel, WORD& key, TShiftState shift);
  void PanelKeyUp(TPanelView* panel, WORD& key, TShiftState shift);
  // Files dropped on a panel's folder tree or list, or pasted into it: mode 0 copies and 1
  // moves them into targetPath in the copy window, 2 makes shortcuts there; the processed
  // items are unselected where they came from and the panels reread. True when the target
  // folder changed.
  bool FolderTreeDrop(TPanelView* panel, const std::wstring& targetPath, bool sameSource, int mode,
                      const TStringList& files, const TStringList& mappedNames);
  // A drag of the panel's items out of its list.
  void DragPanelItems(TPanelView* panel, bool rightButton);
  // Alt+R: the panel's selection renamed in the rename dialog (on its advanced page with
  // Ctrl held), then both panels reread.
  void RenamePanelItems(TPanelView* panel, bool advanced = false);

  // Shows an exception as message 100.
  void ShowException(const std::wstring& text);
  // One shell change notification, its first item as a path.
  void ShellEvent(LONG event, const std::wstring& path);
  // Enables, disables and checks the commands for the active panel.
  void UpdateCommandStates();
  // Opens a file of a panel (Enter on a file).
  void OpenFile(TPanelView* panel, const std::wstring& file);
  // The log-off path: placement, settings and history written, module shut down, then the
  // process ends with exit code 0.
  void EndProgramNow();
  // Set when a log-off came while an operation ran: the program ends once it has unwound.
  bool EndSessionPending = false;

  // Hooks for what later parts of the program bring: the options dialog (true on OK) and the
  // applying of changed options; notices after the first load and after a change of drives.
  std::function<bool()> RunSetupDialog;
  std::function<void()> ApplyOptions = [] {};
  std::function<void()> OnFirstLoad;
  std::function<void()> OnDrivesChanged;

  // The panel factory: the panel window (TFilePanel) unless a test sets another.
  TPanelFactory PanelFactory;
  // Ends the process at once (the log-off path); tests replace it.
  std::function<void(UINT code)> ExitProcessNow;

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Resized() override;

 private:
  TPanelView* CreatePanel(int panelNo);
  void WirePanel(TPanelView* panel);
  void PanelActivated(TPanelView* panel);
  void HandleShellNotify(WPARAM wp, LPARAM lp);
  void RegisterShellNotify();
  void DeregisterShellNotify();
  void AlignFirstPanel();
  // Panel 1's width (side by side) or height (stacked) by the kept ratio.
  int FirstPanelSize() const;
  void KeepRatio();
  bool HandlePanelMessage(UINT msg, WPARAM wp, LPARAM lp);
  void QueryEndSession();
  void BuildBars();
  void DestroyBars();
  void StepHistory(int delta);
  struct THistoryPos {
    size_t Pos = 0, Size = 0;
  };
  std::map<const TPanelView*, THistoryPos> FHistoryPos;
  THistoryPos& HistoryPos(TPanelView* panel);

  bool FMinimizedByForm = false;
  bool FDestroying = false;
  bool FShown = false;
};

extern TQ7XForm* Q7XForm;

// The options dialog (true on OK) and the applying of changed options, as the options unit
// installs them at start-up; every main form made afterwards starts with these.
extern std::function<bool()> DefaultSetupDialog;
extern std::function<void(TQ7XForm& form)> DefaultApplyOptions;

// The start-up of the main form's module: the file-type cache, the language from
// "language.ini", the command names and the message boxes' buttons, in this order.
void InitMainModule();
// Its shut-down: the file-type cache freed, the scratch folder emptied.
void DoneMainModule();
// Empties the scratch folder: only a folder that lies below the temporary folder and is not
// a root; links inside are removed, never followed.
void EmptyWorkFolder(const std::wstring& folder, const std::wstring& tempFolder);
