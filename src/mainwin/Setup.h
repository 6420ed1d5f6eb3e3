#pragma once
// The options dialog: every setting a user changes, grouped in pages (panels, file list,
// drives and bars, colours and fonts, keys and mouse, file operations, archives with the
// external programs, the folder manager, the colours of extensions, and the settings sets).
// The controls are declared as data: one row per setting (page, kind, caption message,
// component name, the field it edits, its range or its list of choices). The dialog reads
// the settings into its controls when it opens and writes them back only on OK, after every
// value has been checked; Cancel changes nothing. Settings and colour sets can be saved to
// and loaded from other ".CFG" and ".COL" files; what is loaded takes effect on OK only.
#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "foundation/ExtDef.h"
#include "foundation/HanForm.h"
#include "foundation/MOption.h"

class TSysControl;
class TScrListView;
class TQ7XForm;

enum TOptKind : uint8_t { okGroup, okCheck, okNumber, okChoice, okColor, okFont, okText };

// One control of the dialog.
struct TOptRow {
  uint8_t Page;
  TOptKind Kind;
  int Msg;       // caption (of the check box, else of the label before the control)
  int ItemsMsg;  // the choices of a list, comma-separated
  const wchar_t* Name;
  // A field of the settings, or of the panel record shown on the panels page; none for the
  // panel chooser.
  std::variant<std::monostate, bool TMOptions::*, int32_t TMOptions::*, TIniFont TMOptions::*, bool TFileWinOptions::*,
               int32_t TFileWinOptions::*, std::wstring TFileWinOptions::*>
      Member;
  int Min, Max;  // a number's range
  int Bit;       // a check box for one bit of the panel record's Parts
};
const std::vector<TOptRow>& SetupRows();
constexpr int SetupPageCount = 10;
// The caption message of each page.
int SetupPageMsg(int page);

// A colour swatch: shows the colour; a click, Space or Enter asks for another.
class TColorBox : public TCustomControl {
 public:
  explicit TColorBox(TComponent* owner);
  TColor Value() const { return FValue; }
  void SetValue(TColor v);
  // Asks for a new colour (through SetupColorChooser).
  void Choose();

 protected:
  void Paint(TCanvas& canvas) override;
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  TColor FValue = 0;
};

// What the dialog asks the system for; tests answer here instead.
extern std::function<bool(HWND owner, TColor& color)> SetupColorChooser;
extern std::function<bool(HWND owner, TIniFont& font)> SetupFontChooser;
// The file of a settings or colour set (save: a name to write); false when cancelled.
extern std::function<bool(HWND owner, bool save, const std::wstring& filter, const std::wstring& ext,
                          std::wstring& file)>
    SetupFileChooser;
// Called when the dialog is shown (tests drive it from here).
class TSetupForm;
extern std::function<void(TSetupForm& form)> SetupFormShown;

class TSetupForm : public THanForm {
 public:
  // Owned by the application, named "SetupForm", translated, with the settings read in.
  explicit TSetupForm(TComponent* owner);

  // Every control from a settings object (the panel records and the extension colours too).
  void LoadControls(const TMOptions& src);
  void LoadExtColors(const std::vector<TExtColorGroup>& groups);
  // Checks every value; false after telling the user which one is out of its range (its
  // page shown and the control focused).
  bool Validate();
  // Every control into a settings object (checked first by Validate).
  void StoreControls(TMOptions& dst);

  void SetPage(int page);
  int Page() const { return FPage; }
  // The panel whose record the panels page shows (0 or 1).
  void SetPanelIndex(int index);

  // The control of a row, by the row's component name (null when none).
  TControl* RowControl(const std::wstring& name) const;
  TSysControl* Tabs = nullptr;
  THanButton* OkBtn = nullptr;
  THanButton* CancelBtn = nullptr;
  THanButton* HelpBtn = nullptr;
  THanButton* DefaultBtn = nullptr;
  TScrListView* ExtColorList = nullptr;
  THanButton *ExtAddBtn = nullptr, *ExtEditBtn = nullptr, *ExtDeleteBtn = nullptr, *ExtUpBtn = nullptr,
             *ExtDownBtn = nullptr;
  THanButton *CfgLoadBtn = nullptr, *CfgSaveBtn = nullptr, *ColLoadBtn = nullptr, *ColSaveBtn = nullptr;
  struct TArcControls {
    TSysControl* Self = nullptr;
    TControl* AddPrg = nullptr;
    TControl* ExtrPrg = nullptr;
  };
  std::array<TArcControls, arCount> ArcControls;
  // The extension colours as edited (written to Q7XPRG.CFN on OK).
  std::vector<TExtColorGroup> ExtColors;
  bool ExtColorsChanged = false;

  // The buttons' work.
  void OkBtnClick();
  void DefaultBtnClick();
  void ExtAdd();
  void ExtEdit();
  void ExtDelete();
  void ExtMove(bool up);
  bool ChooseSet(bool save, bool colors, std::wstring& file, TMOptions& set);
  void SaveSet(bool colors);
  void LoadSet(bool colors);

  // Every control lies inside the dialog and no two controls of a page overlap (the layout
  // check of the tests).
  std::wstring LayoutProblem() const;

 public:
  bool DialogKey(WORD key, TShiftState shift, HWND target) override;

 private:
  struct TPlaced {
    const TOptRow* Row;  // null: one of the dialog's own controls
    TControl* Label;
    TControl* Control;
    int Page;
  };
  void Build();
  void PlaceRows();
  void PlaceExtColorPage();
  void PlaceEtcPage();
  void PlaceArchivers(int x, int& y, int width);
  TControl* AddPageControl(TControl* c, int page, const wchar_t* name);
  void LoadPanelControls();
  bool StorePanelControls();
  void FillExtColorList(int select);
  int ReadNumber(const TPlaced& p, bool& ok) const;
  std::vector<TPlaced> FPlaced;
  std::vector<std::pair<TControl*, int>> FPageControls;
  std::array<TFileWinOptions, 2> FPanels;
  int FPanelIndex = 0;
  int FPage = 0;
  // Where the pages begin, below the rows of tabs.
  int FPageTop = 36;
};

// Runs the options dialog over the settings; true on OK (the settings then changed, written
// to Q7X.CFG, and the extension colours to Q7XPRG.CFN).
bool RunSetupDialog();
// Brings the running main form in line with the settings: its font, the bars and the menu
// (with the short cuts of CtrlXExtract), the layout of one or two panels, and each panel's
// parts, list options and folder tree.
void ApplyOptionsToForm(TQ7XForm& form);
// The options dialog as every main form's options request (WM_SHOWSETUP) runs it, and the
// applying of changed options.
void InstallSetupDialog();
// The options dialog, the user-program editors and the about box, installed at start-up.
void InstallOptionsCommands();
// The function-key line's colours from the settings.
class TMKeyLine;
void ApplyKeyLineColors(TMKeyLine& line);
