#pragma once
// The program's labels: THanLabel paints runs of styled text line by line and shortens
// path runs with "..." to fit; THanLabelEX takes label mark-up as its caption;
// THanPathLabel shows a path; THanElLabel is a one-line label.
#include <map>
#include <string>

#include "foundation/LabelMarkup.h"
#include "framework/Controls.h"
#include "framework/Handles.h"

// The system's primary language is Korean: labels then draw a path's "\" as a mirrored "/"
// (the Korean fonts show that code as the currency sign).
bool IsKoreanSystem();

class THanPopupMenu;

class THanLabel : public TCustomControl {
 public:
  explicit THanLabel(TComponent* owner);
  ~THanLabel() override;

  int RunCount() const { return static_cast<int>(FModel.Runs.size()); }
  const THanLabelItem& Runs(int i) const { return *FModel.Runs[static_cast<size_t>(i)]; }
  const TLabelModel& Model() const { return FModel; }

  void AddRun(const std::wstring& text, const std::wstring& fontName, int size, TColor color, TColor backColor,
              uint8_t style, uint8_t alignment, uint8_t charset, int pathLevel, bool shadow, bool newLine,
              bool pathPart, uint32_t mask);
  void AddText(const std::wstring& text, bool newLine);
  void AddColorText(const std::wstring& text, TColor color, bool newLine);
  void AddBackColorText(const std::wstring& text, TColor backColor, bool newLine);
  void AddPathText(const std::wstring& path);
  void Clear();
  void BeginUpdate();
  void EndUpdate();

  uint8_t BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(uint8_t v);
  int Margin() const { return FMargin; }
  void SetMargin(int v);
  int Indent() const { return FIndent; }
  void SetIndent(int v);
  TColor ShadowColor() const { return FShadowColor; }
  void SetShadowColor(TColor v);
  bool DefaultShadow = false;
  bool PathMode() const { return FModel.PathMode; }
  bool WholePath() const { return FModel.WholePath; }
  void SetWholePath(bool v) { FModel.WholePath = v; }
  void SetColor(TColor v) override;
  // -1, -1, -1 while a layout is pending.
  void GetTextExtent(int& width, int& right, int& height) const;
  int TextRight() const { return FModel.TextRight; }
  // Where run i is drawn, as laid out (its room on the line as shown).
  RECT RunRect(int i) const;
  // Shown at the pointer when the right button is released over the label (not owned).
  THanPopupMenu* PopUpMenu = nullptr;

 protected:
  void Paint(TCanvas& canvas) override;
  bool EraseBackground(HDC dc) override;
  void PositionChanged() override;
  void FontChanged() override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  // The pop-up menu at a point of the client area, when there is one.
  void ShowPopUpMenu(int x, int y);
  int BorderWidth() const;
  void LayoutRuns();
  void ShortenPaths();
  void SyncBase();
  void Changed();
  HFONT RunFont(const THanLabelItem& run);
  int EllipsisWidth();
  void BuildSlashGlyph(HDC dc);
  void FreeGlyph();

  TLabelModel FModel;
  int FUpdateCount = 0;
  bool FPending = false;
  uint8_t FBorderStyle = 0;
  int FMargin = 1;
  int FIndent = 0;
  TColor FShadowColor = cl3DDkShadow;
  std::map<std::wstring, TFontHandle> FFonts;
  TBitmapHandle FGlyph;
  int FGlyphWidth = 0, FGlyphHeight = 0;
  bool FGlyphReady = false;
};

class THanLabelEX : public THanLabel {
 public:
  explicit THanLabelEX(TComponent* owner);
  std::wstring Caption() const { return FMarkup; }
  void SetCaption(const std::wstring& v) override;
  TColor FontColor() const { return FDefaults.FontColor; }
  void SetFontColor(TColor v);
  TColor BackColor() const { return FDefaults.BackColor; }
  void SetBackColor(TColor v);
  const TLabelMarkupDefaults& Defaults() const { return FDefaults; }

 protected:
  void ParentSet() override;
  void TakeDefaults();

  std::wstring FMarkup;
  TLabelMarkupDefaults FDefaults;
};

// Shows a path (shortened as a whole with "...") and an information text after it, optionally
// after a favourites mark. A mouse button released over it reports the part hit: 0 the label,
// 1 the path, 4 the favourites mark.
class THanPathLabel : public THanLabel {
 public:
  explicit THanPathLabel(TComponent* owner);
  ~THanPathLabel() override;
  const std::wstring& Path() const { return FPath; }
  void SetPath(const std::wstring& v);
  const std::wstring& Info() const { return FInfo; }
  void SetInfo(const std::wstring& v);
  bool Flat() const { return FFlat; }
  void SetFlat(bool v);
  bool Raised() const { return FRaised; }
  // The favourites mark before the path; the path moves right to make room for it.
  bool FavMark() const { return FFavMark; }
  void SetFavMark(bool v);
  RECT FavMarkRect() const;
  // The part at a point of the client area: 4 on the favourites mark, 1 on a path run, else 0.
  int PartAt(int x, int y) const;
  std::function<void(THanPathLabel* sender, TMouseButton button, int part)> OnPartMouseUp;

 protected:
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void Paint(TCanvas& canvas) override;
  void FontChanged() override;
  void Rebuild();
  int FavMarkSize() const;

  std::wstring FPath, FInfo;
  bool FFavMark = false;
  bool FFlat = false;
  bool FRaised = false;
  TTimer* FHoverTimer = nullptr;
};

// A one-line label: left, centred or right, optionally ending in "..." when too wide.
class THanElLabel : public TCustomControl {
 public:
  explicit THanElLabel(TComponent* owner);
  void SetCaption(const std::wstring& v) override;
  bool Ellipsis() const { return FEllipsis; }
  void SetEllipsis(bool v);
  bool RightAligned() const { return FRight; }
  void SetRight(bool v);
  bool Centered() const { return FCenter; }
  void SetCenter(bool v);

 protected:
  void Paint(TCanvas& canvas) override;

  bool FEllipsis = false;
  bool FRight = false;
  bool FCenter = false;
};
