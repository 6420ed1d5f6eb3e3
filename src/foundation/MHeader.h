#pragma once
// The column header: TMHeaderControl is the system header control in button style with its
// sections, owner-drawn sections, clicks and resizing; THanHeaderControl draws each section
// itself (caption and sort triangle), lets its owner refuse or follow the resizing of a
// section while a divider is dragged, and reports a double click on a divider.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"

enum TSectionAlignment : uint8_t { saLeft, saRight, saCenter };

struct THeaderSection {
  std::wstring Text;
  int Width = 50;
  int MinWidth = 0;
  int MaxWidth = 10000;
  TSectionAlignment Alignment = saLeft;
  bool OwnerDraw = false;
  int Tag = 0;
};

class TMHeaderControl : public TControl {
 public:
  explicit TMHeaderControl(TComponent* owner);

  int SectionCount() const { return static_cast<int>(FSections.size()); }
  const THeaderSection& Sections(int i) const { return FSections[static_cast<size_t>(i)]; }
  bool ValidSection(int i) const { return i >= 0 && i < SectionCount(); }
  int AddSection(const THeaderSection& section);
  void ClearSections();
  // Replaces all sections at once; false when they were already so.
  bool SetSections(const std::vector<THeaderSection>& sections);
  // The width is kept within the section's minimum and maximum.
  void SetSectionWidth(int i, int width);
  void SetSectionText(int i, const std::wstring& text);
  // Where the section stands in the client area (empty when out of range).
  RECT SectionRect(int i) const;

  std::function<void(TMHeaderControl* sender, TCanvas& canvas, int section, const RECT& rect, bool pressed)>
      OnDrawSection;
  std::function<void(TMHeaderControl* sender, int section)> OnSectionClick;
  // A section's width changed (by the user or the program).
  std::function<void(TMHeaderControl* sender, int section)> OnSectionResize;

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;
  bool DrawItem(const DRAWITEMSTRUCT& item) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  // Whether the system drags full windows (sections are then resized live).
  virtual bool FullDrag() const;
  void PushSection(int i, bool insert);
  // Adds a section, its width within its limits, without telling SectionsChanged.
  void AppendSection(const THeaderSection& section);
  virtual void SectionsChanged() {}

  std::vector<THeaderSection> FSections;

 private:
  void PaintSection(HDC dc, int i, const RECT& rect, bool pressed);
  // The sections are painted here rather than by the control (see WndProc).
  bool PaintsSectionsItself() const;
};

class THanHeaderControl : public TMHeaderControl {
 public:
  explicit THanHeaderControl(TComponent* owner);

  std::function<void(THanHeaderControl* sender, int section)> OnDividerDblClick;
  // While a divider is dragged without full-window dragging: the proposed width (state 1).
  std::function<void(THanHeaderControl* sender, int section, int state, int width)> OnTrackMove;
  std::function<void(THanHeaderControl* sender, int section)> OnEndTrack;
  // The first section may not be resized.
  bool FirstSectionLocked = false;

  bool TrackAllowed = false;
  // The section being resized, by index; -1 when none.
  int TrackSection = -1;
  int TrackStartWidth = 0, TrackMaxWidth = 0, TrackMinWidth = 0;
  POINT TrackStartPoint{0, 0};

  // Paints one section: its caption and, when asked, a sort triangle (up for ascending).
  void DrawSection(TCanvas& canvas, int section, const RECT& rect, bool ascending, bool showArrow, int pressOffset);
  // Full-window dragging as the system has it, unless a test or the owner decides.
  std::function<bool()> FullDragQuery;

 protected:
  void CreateParams(TCreateParams& params) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;
  bool FullDrag() const override;
  void SectionsChanged() override;

 private:
  bool Tracking();
  void EndTracking();
  POINT FButtonDown{0, 0};
};
