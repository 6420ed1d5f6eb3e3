#pragma once
// The main form's panel: the panel window (TFileWin, with its path line, column header, file
// box and status line) seen through the interface the main form works with. The panel window
// belongs to the file panels and knows nothing of the main form; this thin holder turns its
// events into the main form's, carries the close button of the two-panel layout, and keeps
// the active panel's path line lit.
#include "mainwin/PanelView.h"

class TDriveBar;
class TFileWin;

class TFilePanel : public TPanelView {
 public:
  explicit TFilePanel(TComponent* owner);
  ~TFilePanel() override;

  TFileWin& Win() const { return *FWin; }

  void Setup(TSystemFileData* fileData, int panelNo, bool openStartFolder) override;
  void FirstLoad() override;
  int PanelNo() const override;
  void SetPanelNo(int no) override;
  TMFList& List() override;
  bool IsActive() const override { return FActive; }
  void SetActive(bool active) override;
  void FocusPanel(bool treeFocus) override;
  bool FolderTreeFocused() const override;
  TPanelFolderTree* CommandTree() const override;
  void EndTreeCommand() override;
  void ArrangeParts() override;
  void ShowCloseButton(bool show) override;
  bool CloseButtonShown() const { return FCloseShown; }
  // The close button's window (null until first shown).
  TControl* CloseButton() const { return FClose; }
  void UpdatePathDisplay() override;
  void Reread() override;
  void ChangeDir(const std::wstring& path) override;
  void GetColumnWidths(int widths[6]) const override;
  void SetColumnWidths(const int widths[6]) override;
  void PlaceDriveBar(bool top) override;
  bool DriveBarTop() const;
  void RefreshDriveBar() override;
  // The panel's drive bar (shown with part bit 16).
  TDriveBar& DriveBar() const { return *FDriveBar; }
  // Goes to the folder last shown on that drive, else to its root.
  void GoToDrive(wchar_t letter);

  bool HasFolderTree() const override;
  void LoadFolderTree() override;
  void RefreshTreeDrives(const std::wstring& root) override;
  void TreeNotifyChange(int kind, const std::wstring& path, const std::wstring& newPath) override;
  void BeginTreeUpdate() override;
  void EndTreeUpdate() override;
  void SetTreeSize(int size) override;
  int TreeSize() const override;
  void NotifyShellPath(const std::wstring& path) override;
  void ExpandTreePath(const std::wstring& path) override;
  void ApplyTreeOptions() override;

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC) override { return true; }
  void Resized() override;

 private:
  void ShowActiveState();
  void PlaceCloseButton();
  // Presses the button of the drive the list shows (none for a network path).
  void MarkCurrentDrive();
  void DriveBarMenu(int x, int y);
  TFileWin* FWin = nullptr;
  TDriveBar* FDriveBar = nullptr;
  TControl* FClose = nullptr;
  bool FActive = false;
  bool FCloseShown = false;
};

// The factory of the main form's panels.
TPanelView* CreateFilePanel(TComponent* owner);
