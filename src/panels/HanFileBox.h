#pragma once
// The file box: the owner-drawn, multi-column list window of a panel. It shows the items of a
// file list (TMFList) cell by cell, in one column of cells per page column or one full-width
// row per item (detail layout), with the sub-columns mark, icon, name, extension, size, date,
// attributes and type; it moves the focus and the selection by keys and mouse and searches
// by typing. The listing itself, the focus index and the selection live in the file list; the
// box keeps what belongs to the view: top index, mark, update counter, geometry and columns.
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "panels/MFList.h"

// Display modes: 0 automatic, 1 detail (one row per item, all sub-columns), 2..6 that many
// page columns. What each mode shows: see DisplayModeColumns.
constexpr int DisplayModeCount = 7;

class THanFileBox : public TCustomControl, public TMFListView {
 public:
  // Sub-columns of a cell.
  enum : int { colMark = 0, colIcon = 1, colName = 2, colExt = 3, colSize = 4, colDate = 5, colAttr = 6, colType = 7 };
  // Column mask bits.
  static constexpr uint32_t cmIcon = 2, cmExt = 8, cmSize = 0x10, cmDate = 0x20, cmAttr = 0x40, cmType = 0x80;
  // Item states of the drawing.
  enum : int { isFocusActive = 1, isFocusInactive = 2, isNormal = 3, isMark = 4, isSelected = 5, isFocusColored = 6 };

  THanFileBox(TComponent* owner, TMFList& list);
  ~THanFileBox() override;

  TMFList& List() const { return FList; }

  // ---- Painting ----
  void PaintAll() { PaintItems(-1); }
  // -1: the whole view (only focus and mark when nothing scrolled); else that item alone.
  void PaintItems(int index);
  int ItemWidth() const { return FItemWidth; }
  void SetItemWidth(int w);
  int CellWidth() const { return FCellWidth; }
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int h);
  int GetColumnPitch() const;
  int ItemIndex() const { return FList.ItemIndex; }
  void SetItemIndex(int i);
  int MarkIndex() const { return FMarkIndex; }
  void SetMarkIndex(int i);
  int TopIndex() const { return FTopIndex; }
  void SetTopIndex(int i);
  const std::wstring& SearchText() const { return FSearchText; }
  void SetSearchText(const std::wstring& s);
  int GridLineWidth() const { return FGridLineWidth; }
  void SetGridLineWidth(int w);
  bool ShowGridLine() const { return FShowGridLine; }
  void SetShowGridLine(bool b);
  bool SubGridLine() const { return FSubGridLine; }
  void SetSubGridLine(bool b);
  TColor GridColor() const { return FGridColor; }
  void SetGridColor(TColor c);
  TColor SubGridColor() const { return FSubGridColor; }
  void SetSubGridColor(TColor c);
  // Column indexes above 7 (after masking with $7F) are ignored; getters return 0.
  void SetColumnWidth(int col, int w);
  int GetColumnWidth(int col) const;
  void SetColumnX(int col, int x);
  int GetColumnX(int col) const;
  int RightEdge(int col) const;
  bool Fits(int col) const;
  uint32_t ColumnMask() const { return FColumnMask; }
  int DisplayColumns() const { return FDisplayColumns; }
  bool SeparateExt() const { return FSeparateExt; }
  int ColumnGap() const { return FColumnGap; }
  void SetParent(TControl* parent) override;
  // AtCursor: the mouse position; else the focused cell's corner + (10,10); in screen
  // coordinates.
  void GetPopupPoint(bool atCursor, POINT& p);
  SIZE TextExtent(const std::wstring& s);
  int TextWidth(const std::wstring& s) { return TextExtent(s).cx; }

  // Colours of the box (from the settings by ApplyOptions).
  TColor BackColor = 0, NormalColor = 0xC0C0C0, DescColor = 0x80FF80, ReadOnlyColor = 0xFFFF80,
         HiddenColor = 0x808080, SizeUnitColor = 0x0080FF;
  int ShowSizeK = 0;
  int TypeView = 0;

  // ---- Columns and display modes ----
  // Reads the colours, widths, grid settings and display mode of the panel from the settings.
  void ApplyOptions();
  // The panel's display mode (0 automatic) and the one in use.
  int DisplayMode() const { return FDisplayMode; }
  int ActiveMode() const { return FActiveMode; }
  void SetDisplayMode(int mode);
  // Whether the attribute sub-column is shown in the detail layout.
  bool ShowAttr() const { return FShowAttr; }
  void SetShowAttr(bool b);
  // Extra pixels between rows (the panel's ItemSpace, 0..20).
  int ItemSpace() const;
  void SetItemSpace(int space);
  // Lays the cells and sub-columns out again for the client size.
  void Relayout();
  // The number of visible rows (whole cells) and page columns.
  int Rows() const { return FRows; }
  int PageColumns() const;
  // Joint index of the item at a client point, -1 for none.
  int ItemAtPos(int x, int y) const;
  // The client rectangle of an item's cell; empty when it is not in view.
  RECT ItemRect(int index) const;

  // ---- Input ----
  // Moves the focus (scrolling it into view); with select the items passed are selected.
  void MoveFocus(int index);
  // Insert and Space: flips the focused item's selection and goes on to the next one.
  void ToggleFocused(bool advance);
  // Finds the next item whose display name starts with the search text, from the focus on
  // (including it when fromFocus); true when found.
  bool FindNext(bool fromFocus);
  // Enter on the focused item.
  void OpenFocused();

  // The file list set-up: what the main form listens to.
  std::function<void()> OnAfterPaint;           // the focused item was drawn
  std::function<void(THanFileBox&)> OnStateChange;  // focus, selection or search changed
  std::function<void(THanFileBox&, POINT screenPoint)> OnContextPopup;
  std::function<void(THanFileBox&, bool gotFocus)> OnFocusChange;
  // After every layout of cells and sub-columns (mode, widths, size).
  std::function<void(THanFileBox&)> OnLayout;
  TKeyEvent OnKeyUp;
  // A button held on an item moved past the system's drag distance: a drag of the items starts.
  std::function<void(THanFileBox&, bool rightButton)> OnBeginDrag;
  // Each text drawn: its client position and text (for tests and tools).
  std::function<void(int x, int y, const std::wstring& text, COLORREF color)> OnTextOut;

  // TMFListView
  void BeginUpdate() override;
  void EndUpdate() override;
  void ShowHourglass() override;
  void RestoreCursor() override;
  void UpdateColumnFill() override;
  void ChooseDisplayMode() override;
  void ScrollIntoView(int index) override;
  void InvalidateItem(int index) override;
  void ItemsChanged(bool resetTop) override;
  void SelectionChanged() override;
  int UpdateCount() const { return FUpdateCount; }

  // The first pass of the program fills the client area once (reset by tests).
  static bool FirstPaintDone;

 protected:
  void CreateParams(TCreateParams& params) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC dc) override;
  void Resized() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void FontChanged() override;
  // Keys the box handles itself after the key event; true when used.
  virtual bool KeyDown(WORD key, TShiftState shift);
  virtual bool KeyChar(wchar_t ch);

 private:
  struct TPass;
  void PaintPass(HDC dc, const RECT& clip);
  void DrawItem(TPass& pass, int index, TFileBoxItem& item, bool fullPass);
  void DrawSubText(TPass& pass, const RECT& cell, int left, int right, const std::wstring& text, int flags,
                   TColor textColor, TColor barColor, bool opaque);
  void FillBack(TPass& pass, const RECT& r);
  void FillRest(TPass& pass, int x, int y);
  void DrawStrip(TPass& pass, int x);
  std::wstring SizeText(const TPass& pass, const TFileBoxItem& item) const;
  std::wstring DateText(TFileBoxItem& item, const std::wstring& format);
  void MeasureFont();
  int CharWidth(wchar_t c);
  int MeasureText(const std::wstring& s, size_t count);
  void UpdateScrollBars();
  void ScrollTo(int top);
  void Changed();
  void ClampTop();
  int VisibleCount() const;
  void PageMove(int delta);
  void AfterPassCallbacks();
  void DoStateChange();
  void WriteWidth(int col, int w);
  // A grid setting changed: a full repaint when the grid is shown.
  void GridChanged();

  TMFList& FList;
  int FItemWidth = 0;
  int FCellWidth = 220;
  int FItemHeight = 20;
  int FGridLineWidth = 1;
  bool FShowGridLine = false, FSubGridLine = false;
  TColor FGridColor = 0x404040, FSubGridColor = 0x303030;
  std::array<int, 8> FColWidth{}, FColX{}, FRight{};
  std::array<bool, 8> FFits{};
  int FColumnGap = 0;
  uint32_t FColumnMask = 0;
  int FDisplayColumns = 1;
  bool FSeparateExt = true;
  int FTextY = 2, FIconY = 2, FMarkY = 2;
  int FLastFocus = -1, FLastTop = -1, FLastMark = -1;
  int FLastPainted = -1;
  bool FForceFull = true;
  int FUpdateCount = 0;
  int FHourglass = 0;
  HCURSOR FSavedCursor = nullptr;
  int FTopIndex = 0;
  int FMarkIndex = -1;
  std::wstring FSearchText;
  int FDisplayMode = 0, FActiveMode = 1;
  bool FShowAttr = true;
  int FRows = 1;
  int FColumnFillWidth = 0;
  // Icons are drawn on the off-screen bitmap with the rest of the row, so they never flicker.
  TMemoryDCHandle FMeasureDC;
  TPaintBuffer FPaintBuffer;
  // Advance widths of the box's font, measured once per character.
  std::vector<uint16_t> FCharWidths;
  HFONT FMeasuredFont = nullptr;
  int FFontHeight = 13;
  int FEllipsisWidth = 0;
  std::wstring FDateFormat;
  int FAnchor = -1;  // start of a shift-click range
  int FDragIndex = -1;  // the item a button went down on, until a drag starts or the button is up
  POINT FDragFrom{0, 0};
  bool FDragRight = false;
  bool FInRelayout = false, FInScrollBars = false;
  SIZE FLayoutClient{-1, -1};  // the client area the last layout was made for
  int FLayoutMode = -1;        // and the display mode it was made for
  std::array<int, 4> FScrollState{-1, -1, -1, -1};  // bar, range, page, position last set
  bool FScrollRedrawPosted = false;
  bool FHasFocus = false;  // between WM_SETFOCUS and WM_KILLFOCUS  // the character of a key already handled
};

// The sub-columns a display mode shows (mask of cm* bits) and its page columns.
uint32_t DisplayModeColumns(int mode, bool showAttr);
int DisplayModePageColumns(int mode);
// Size texts: 0 digit grouping ("1,234"), 1 kilobytes ("2K"), 2 automatic ("12,345", "150M",
// "12G", "3T").
std::wstring FormatItemSize(int64_t size, int form);
// A date as the file box shows it: year4 "yyyy-mm-dd " else "yy-mm-dd ", then "hh:mm" (24
// hours) or "hh:mma/p" (12 hours, "a" before noon, "p" after).
std::wstring FormatItemDate(TDateTime t, bool year4, bool hours24);
// Attribute letters "a", "r", "h", "s", in that order, of those set.
std::wstring FormatItemAttr(int32_t attr);
// The longest prefix of s (in UTF-16 units) whose width fits, never splitting a surrogate
// pair; widths come from the given per-unit measure.
size_t FitPrefix(const std::wstring& s, int room, const std::function<int(const std::wstring&, size_t)>& width);
