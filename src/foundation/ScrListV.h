#pragma once
// The program's report list views: TCustomMListView (TMListView) keeps its rows itself,
// sorts them by a clicked column (by text, or by the owner's comparison) and shows the sort
// arrow in its header; TScrListView also moves rows, by MoveSelected, by Ctrl+Up and
// Ctrl+Down, or by dragging a row, scrolling while the row is dragged past an edge.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"

enum TAutoColumnSort : uint8_t { acNoSort, acCustomSort, acAutoSort };

struct TListColumn {
  std::wstring Caption;
  int Width = 80;
  // 0 left, 1 right, 2 centred.
  uint8_t Alignment = 0;
};

struct TListItem {
  std::wstring Caption;
  std::vector<std::wstring> SubItems;
  int ImageIndex = -1;
  intptr_t Data = 0;
  // The text of a column: the caption for column 0, else the sub-item before it.
  const std::wstring& Text(int column) const;
};

class TCustomMListView : public TControl {
 public:
  explicit TCustomMListView(TComponent* owner);

  int AddColumn(const TListColumn& column);
  int ColumnCount() const { return static_cast<int>(FColumns.size()); }
  const TListColumn& Columns(int i) const { return FColumns[static_cast<size_t>(i)]; }
  int ColumnWidth(int i) const;

  int ItemCount() const { return static_cast<int>(FItems.size()); }
  const TListItem& Items(int i) const { return FItems[static_cast<size_t>(i)]; }
  int AddItem(const TListItem& item);
  void InsertItem(int index, const TListItem& item);
  void SetItem(int index, const TListItem& item);
  void DeleteItem(int index);
  void ClearItems();
  // Moves a row to another place; the rows between shift by one.
  void MoveItem(int from, int to);

  // The first selected row, or -1.
  int ItemIndex() const;
  bool Selected(int i) const;
  void SetSelected(int i, bool selected);
  int ItemFocused() const;
  void SetItemFocused(int i);
  void MakeVisible(int i);
  int TopIndex() const;
  // Where a row stands in the client area.
  RECT ItemRect(int i) const;
  // The row at a point of the client area, or -1.
  int ItemAt(int x, int y) const;

  TAutoColumnSort AutoColumnSort() const { return FAutoColumnSort; }
  void SetAutoColumnSort(TAutoColumnSort v);
  bool AutoSortAscending() const { return FAutoSortAscending; }
  void SetAutoSortAscending(bool v);
  bool SortAscending() const { return FSortAscending; }
  int SortColumn() const { return FSortColumn; }
  void SetSortColumn(int column);
  bool ShowSortArrows() const { return FShowSortArrows; }
  void SetShowSortArrows(bool v);
  // Sorts the rows by the sort column and direction; the selection stays with its rows.
  void Sort();
  HIMAGELIST SmallImages() const { return FSmallImages; }
  void SetSmallImages(HIMAGELIST images);
  bool RowSelect = true;
  bool MultiSelect = false;

  // The owner's comparison for acCustomSort: negative, 0 or positive, ascending.
  std::function<int(const TListItem& a, const TListItem& b, int column)> OnCompare;
  std::function<void(TCustomMListView* sender, int column)> OnColumnClick;
  // The owner colours a row (text and background) before it is drawn; clNone keeps the
  // list's own colour.
  std::function<void(TCustomMListView* sender, int item, TColor& text, TColor& back)> OnItemColors;
  TNotifyEvent OnSelectItem;

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;
  void ItemsChanged();
  void UpdateSortArrows();
  void PushColumn(int i);

  std::vector<TListColumn> FColumns;
  std::vector<TListItem> FItems;
  TAutoColumnSort FAutoColumnSort = acNoSort;
  bool FAutoSortAscending = true;
  bool FSortAscending = true;
  int FSortColumn = -1;
  bool FShowSortArrows = false;
  HIMAGELIST FSmallImages = nullptr;
};

class TMListView : public TCustomMListView {
 public:
  explicit TMListView(TComponent* owner) : TCustomMListView(owner) {}
};

class TScrListView : public TMListView {
 public:
  explicit TScrListView(TComponent* owner);
  ~TScrListView() override;

  // Selects, focuses and shows the row; nothing is selected when it is out of range.
  void SelectIndex(int index);
  // Moves the selected row one place up or down; nothing at the ends.
  void MoveSelected(bool up);
  // Ctrl+Up and Ctrl+Down move the selected row.
  bool KeyMoves = true;
  // Set: a move only calls it with the target row (the handler moves the rows and reads the
  // old place from the selected row).
  std::function<void(TScrListView* sender, int target)> OnRowMove;

  bool DraggingRow() const { return FDragging; }
  // The row a dragged row would go to now, or -1.
  int DragTarget() const { return FDragTarget; }

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;

 private:
  void MoveRow(int from, int target);
  void TrackDrag(POINT p);
  void EndDrag(bool drop);
  void AutoScroll();
  TTimer* FScrollTimer;
  bool FDragging = false;
  int FDragSource = -1;
  int FDragTarget = -1;
  POINT FDragPoint{0, 0};
};
