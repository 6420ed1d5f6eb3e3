#pragma once
// A plain panel window that serves until the full panel window is wired in: a path line, the
// list of the folder's items one per row (name, extension, size or kind, date), the focus
// bar, a status line with the counts, and the keys to move the focus, enter a folder and go
// up. It talks to the main form through the panel interface like any panel.
#include <memory>

#include "mainwin/PanelView.h"
#include "panels/MFList.h"

class TBasicPanel : public TPanelView {
 public:
  explicit TBasicPanel(TComponent* owner);
  ~TBasicPanel() override;

  void Setup(TSystemFileData* fileData, int panelNo, bool openStartFolder) override;
  void FirstLoad() override;
  int PanelNo() const override;
  void SetPanelNo(int no) override;
  TMFList& List() override;
  bool IsActive() const override { return FActive; }
  void SetActive(bool active) override;
  void FocusPanel(bool treeFocus) override;
  void ArrangeParts() override { Invalidate(); }
  void ShowCloseButton(bool show) override;
  bool CloseButtonShown() const { return FCloseButton; }
  void UpdatePathDisplay() override { Invalidate(); }
  void Reread() override;
  void ChangeDir(const std::wstring& path) override;
  void GetColumnWidths(int widths[6]) const override;
  void SetColumnWidths(const int widths[6]) override;
  void PlaceDriveBar(bool top) override;
  bool DriveBarTop() const { return FDriveBarTop; }

  // Row geometry, for tests that click rows.
  int RowHeight() const;
  int ListTop() const;
  int TopIndex() const { return FTopIndex; }
  // The rectangle of the close button in client coordinates (empty when hidden).
  RECT CloseButtonRect() const;

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC) override { return true; }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;

 private:
  class TList;
  friend class TList;
  void ListChanged();
  void MoveFocus(int index);
  int VisibleRows() const;
  void OpenFocused();
  void GoUp();
  bool HandleKey(WORD key, TShiftState shift);
  std::unique_ptr<TList> FList;
  int FTopIndex = 0;
  bool FActive = false;
  bool FCloseButton = false;
  bool FDriveBarTop = true;
  int FWidths[6] = {160, 40, 80, 110, 40, 120};
};

// The factory the main form uses by default.
TPanelView* CreateBasicPanel(TComponent* owner);
