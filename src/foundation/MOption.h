#pragma once
// The settings model: every setting of Q7X.CFG as a field with its default, the two panel
// records, the archiver programs, the favourite folder slots and the histories of the History
// file, and the per-drive memory of current folders.
//
// Keys and defaults that the program's documents leave open were chosen here and are kept
// stable (see the field tables in MOption.cpp):
//   [Main]   DualWindow 0..2 (2), WinSplitSave 1, WinSplitDiv 1, VertRatio and HorzRatio
//            0..100000 (50000), LastWindow 1..2 (1), ShowMainMenu 1, ShowMainToolBar 1,
//            ShowKeyBar 1, MenuWrap 0.
//   [Option] GridLineWidth 1..30 (1), ShowCheck 1, Ellipsis 1, Show24H 1, Year4D 1, ColumnFill 0,
//            SelColorEnable 1, ShowFolderMsg 1, FolderSizeSameColor 0, FillSelectBar 1,
//            FullEraseBKGND 0, IconAnalysis 1, IconView 1, IconExtract 1, IconExtrNoFDD 1,
//            TypeView 0..2 (0), ShowDrive 1, ShowDrvAtThis 0..2 (0), ShowDriveItem 1,
//            ShowDriveSize 1, NetDriveSize 0, McdTreeUpdate 1, DescHidden 1, ShowSizeK 0..2 (0),
//            FolderDiffSort 0, FolderSortType 0..8 (1), FileNameCase 0..4 (0), AutoQuotation 1,
//            DupHeaderSize 0, DupFTreeWidth 0, DiskMonitor 1, AutoSave 1.
//   [Color]  SelColor $00FFFF, DirColor $FFFFFF, DrvColor $00FFFF, BackColor 0,
//            NormalColor $C0C0C0, DescColor $80FF80, ReadOnlyColor $FFFF80, HiddenColor $808080,
//            SizeUnitColor $0080FF, GridColor $404040, SubGridColor $303030, MenuBarColor
//            $8000000F (button face).
//   [Archive] AddMethod 0..4 (1, "normal"), AddType 0..9 (0, ZIP); the archiver programs'
//            defaults are pkzip.exe/pkunzip.exe, rar32.exe, ace32.exe, lha.exe, arj32.exe, and
//            tomp.exe and sqz.exe for OMP and SQZ.
//   [RENAME] the column widths "1".."6" take 0..2000.
//   [File1], [File2] (one panel each): Hidden 0, FilterType 0..5 (1), Column 0..6 (0),
//            SortType 0..8 (1), Ascending 1, NameWidth 160, ExtWidth 40, SizeWidth 80,
//            TimeWidth 110, AttrWidth 40, TypeWidth 120 (widths 0..2000), ShowGridLine 0,
//            SubGridLine 0, FTreeHeight 150, FTreeWidth 180 (0..4000), FTreeAlign 0..3 (0 left,
//            1 top, 2 right, 3 bottom), DriveBarTop 1, Parts 0..31 (23: path line 1, header 2,
//            status line 4, drive bar 16; folder tree 8 off), ItemSpace 0..20 (0), Path "",
//            FileMask "*.*".
//   History: one section per history kind, named after the kind (Filter, DOSCMD, GOTO, SELECT,
//            TARGET, ARCNAME), keys "1".."20" newest first. In these values "%" is written
//            "%25", CR "%0D" and LF "%0A", so that any text survives a save and load; other
//            "%" signs read back as they stand. Favourites in [QCD] T1..T20 and P1..P20.
#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/Colors.h"
#include "foundation/Folders.h"
#include "foundation/HanINI.h"

struct TFileWinOptions {
  bool Hidden = false;
  int32_t FilterType = 1;
  int32_t Column = 0;
  int32_t SortType = 1;
  bool Ascending = true;
  int32_t NameWidth = 160, ExtWidth = 40, SizeWidth = 80, TimeWidth = 110, AttrWidth = 40, TypeWidth = 120;
  bool ShowGridLine = false;
  bool SubGridLine = false;
  int32_t FTreeHeight = 150, FTreeWidth = 180;
  int32_t FTreeAlign = 0;
  bool DriveBarTop = true;
  int32_t Parts = 1 | 2 | 4 | 16;
  int32_t ItemSpace = 0;
  std::wstring Path;
  std::wstring FileMask = L"*.*";
  bool operator==(const TFileWinOptions&) const = default;
};

struct TQCDSlot {
  std::wstring Label;  // "Shift+F1" .. "Ctrl+Shift+F10", built at load, not stored
  std::wstring Title;
  std::wstring Path;
  bool operator==(const TQCDSlot&) const = default;
};

struct TArchiverProgram {
  bool SelfControl = true;  // handled by the program itself rather than the external program
  std::wstring AddPrg;
  std::wstring ExtrPrg;
  bool operator==(const TArchiverProgram&) const = default;
};

// Archiver records, in this order.
enum TArchiverIndex { arZIP, arRAR, arACE, arCAB, arLZH, arARJ, arOMP, arSQZ, arARC, arZOO, arTAR, arCount };
// History kinds.
enum THistoryKind { hkFilter, hkDOSCMD, hkGOTO, hkSELECT, hkTARGET, hkARCNAME, hkCount };
constexpr int QCDSlotCount = 20;

class TMOptions {
 public:
  TMOptions();
  ~TMOptions();
  TMOptions(const TMOptions&) = delete;
  TMOptions& operator=(const TMOptions&) = delete;

  // Reads the settings and history files (missing files and keys give the defaults).
  void Load(const std::wstring& cfgFile, const std::wstring& historyFile);
  // Q7X.CFG and History in ProgramFolder.
  void LoadFromProgramFolder();
  // Writes every field into the settings file; false when the file could not be written (the
  // old file is then left as it was).
  bool SaveOptions();
  // Writes every field into another settings file (its other content stays); false on failure.
  bool SaveOptionsTo(const std::wstring& file);
  // Writes the History file (with QCDOnly only the favourites); false on failure.
  bool SaveHistory(bool qcdOnly);
  // What the program does when it ends: the settings when AutoSave is on, the history always.
  // False when a file could not be written; the caller shows message 10601 with its name.
  bool SaveOnExit();
  // MainFontHeight from MainFont (after MainFont changed).
  void ComputeMainFontHeight();
  // Every field back to its default (the files are not touched).
  void ResetToDefaults();
  // Takes every setting of another object: the fields of Q7X.CFG (window places and the
  // panels' folders included), not the histories, the favourites or the file names.
  void AssignSettings(const TMOptions& src);
  // A colour set: the [Color] section alone, written into another file (whose other content
  // stays) or read from one; a key the file lacks keeps its colour. False when the file
  // could not be written, or is missing or damaged.
  bool SaveColorsTo(const std::wstring& file);
  bool LoadColorsFrom(const std::wstring& file);
  // A settings set saved with SaveOptionsTo: read into this object as Load does, but the
  // file names, histories and favourites stay. False when the file is missing or damaged.
  bool LoadOptionsFrom(const std::wstring& file);

  void AddHistory(int kind, const std::wstring& text);
  void GetHistoryText(int kind, std::wstring& text) const;
  void GetHistoryItem(int kind, int n, std::wstring& text) const;
  const std::vector<std::wstring>& History(int kind) const;
  void GetQCDSlotPath(WORD virtualKey, uint8_t shiftState, std::wstring& path) const;

  std::wstring CfgFile, HistoryFile;
  // The file was there but could not be read whole, or holds bytes that are no text: the
  // program runs on defaults for it, and SaveOnExit leaves it alone until a setting (other
  // than the window placement, the panels' folders and the last active panel) or a history
  // really changed.
  bool CfgDamaged = false, HistoryDamaged = false;

  // [Main]
  TIniFont MainFont = MakeIniFont(L"MS Sans Serif", 8, 0, 0);
  TIniFont MCDFont = MakeIniFont(L"MS Sans Serif", 8, 0, 0);
  TIniRect Window, MCDWindow, DriveWindow;
  bool MCDToolBar = false, McdToolBarSmall = false, ShowToolName = true, ShowMcdToolName = true;
  bool MCDShowKeyBar = true, MCDShowDriveBar = true, FlatKeyBar = false, ToolBarWrap = true, GrayToolBar = false;
  int32_t DualWindow = 2;
  bool WinSplitSave = true, WinSplitDiv = true;
  int32_t VertRatio = 50000, HorzRatio = 50000;
  int32_t LastWindow = 1;
  bool ShowMainMenu = true, ShowMainToolBar = true, ShowKeyBar = true, MenuWrap = false;
  int32_t MainFontHeight = 0;  // pixel height of MainFont, computed at load

  // [Option]
  bool CDRemRAttr = true, DescShortRead = true, DescShortWrite = false, ShowCopySpeed = false;
  bool ErrorFileNotDelete = false, MCDShowIcon = true, SplitSrcRemove = false, SplitMakeBat = false;
  int32_t AutoSelectInDual = 0;
  bool ShowDriveFirst = true, TreeSaveToRoot = false;
  int32_t MCDItemWidth = 0, McdItemHeight = 1;
  bool McdSameWinSize = true, MCDDriveBarTop = true;
  int32_t FolderNameCase = 2;
  bool BSUpDir = true, ExtSpeedSearch = true, NotUseRecycled = false, DeleteAtYes = false;
  bool DragDelay = false, LeftDropMenu = false;
  int32_t MouseMiddle = 1, MouseRight = 2;
  bool HanShiftDrive = true, CtrlXExtract = false, FTreeShowIcon = true, IncHiddenDir = false;
  bool TreeAutoExpand = false, TreeBigIcon = false, FolderTreeColor = true, XButtonSupport = true;
  int32_t GridLineWidth = 1;
  bool ShowCheck = true, Ellipsis = true, Show24H = true, Year4D = true, ColumnFill = false;
  bool SelColorEnable = true, ShowFolderMsg = true, FolderSizeSameColor = false, FillSelectBar = true;
  bool FullEraseBKGND = false, IconAnalysis = true, IconView = true, IconExtract = true, IconExtrNoFDD = true;
  int32_t TypeView = 0;
  bool ShowDrive = true;
  int32_t ShowDrvAtThis = 0;
  bool ShowDriveItem = true, ShowDriveSize = true, NetDriveSize = false, McdTreeUpdate = true, DescHidden = true;
  int32_t ShowSizeK = 0;
  bool FolderDiffSort = false;
  int32_t FolderSortType = 1, FileNameCase = 0;
  bool AutoQuotation = true, DupHeaderSize = false, DupFTreeWidth = false, DiskMonitor = true, AutoSave = true;

  // [Color]
  bool ItemColorEnable = true;
  TColor SelColor = 0x00FFFF, DirColor = 0xFFFFFF, DrvColor = 0x00FFFF, BackColor = 0, NormalColor = 0xC0C0C0;
  TColor DescColor = 0x80FF80, ReadOnlyColor = 0xFFFF80, HiddenColor = 0x808080, SizeUnitColor = 0x0080FF;
  TColor GridColor = 0x404040, SubGridColor = 0x303030;
  TColor FTreeBackColor = 0, FTreeFontColor = 0xC0C0C0;  // defaults: BackColor and NormalColor as read
  TColor ToolBarColor = clBtnFace, MenuBarColor = clBtnFace;
  TColor MCDBackColor = 0xFF8000, MCDTextColor = 0xFFFFFF, MCDGrayTextColor = 0x808080, MCDLineColor = 0xFFFF00;
  TColor MCDDefaultColor = 0x0000FF, MCDCopyColor = 0x0000FF, MCDMoveColor = 0xFF00FF;
  TColor HKeyAltColor = clBtnFace, HKeyHighText = 0xFF0000, HKeyNormalText = clBtnText;
  TColor HKeyNormalBack = clBtnFace, HKeyShiftBack = clBtnFace, HKeyHotItemBack = clBtnFace;
  TColor HKeyHotItemKey = 0x008000, HKeyHotItemText = 0;

  // [Archive]
  bool SFXView = false, ExtractForceDir = true, NoExtractDialog = false, PathEnable = false, ShowPWD = true;
  bool FullPath = true, OverWrite = false, AddPath = true, SubFolder = true, MoveAfter = false;
  int32_t AddMethod = 1, AddType = 0;
  std::array<TArchiverProgram, arCount> Archivers;

  // [RENAME]
  TIniRect RenameWindow;
  int32_t NameCase = 0;
  bool ExtNoRename = false;
  int32_t Digit = 4;
  bool AutoDigit = true;
  std::array<int32_t, 6> RenameColumns = {100, 50, 140, 80, 120, 100};

  // [QCD] of Q7X.CFG
  TIniRect QCDWindow;
  int32_t QCDI1 = 100, QCDI2 = 100, QCDI3 = 150;

  // [File1], [File2]
  std::array<TFileWinOptions, 2> FileWin;
  TFileWinOptions& PanelOptions(int panelNo) { return FileWin[panelNo == 2 ? 1 : 0]; }

  // Favourites, stored in the History file.
  std::array<TQCDSlot, QCDSlotCount> QCDSlots;

  static const wchar_t* const ArchiverNames[arCount];
  static const wchar_t* const HistoryNames[hkCount];
  static int HistoryLimit(int kind) { return kind == hkSELECT ? 10 : 20; }

 private:
  void ReadAll(THanINI& ini);
  void WriteAll(THanINI& ini);
  void WriteColors(THanINI& ini);
  void ReadHistory(THanINI& ini);
  void WriteHistory(THanINI& ini, bool qcdOnly);
  void BuildQCDLabels();

  // What a session changes by itself, without the user changing a setting.
  struct TSessionState {
    TIniRect Window;
    int32_t LastWindow = 1;
    std::wstring Path1, Path2;
  };
  TSessionState SessionState() const;
  void SetSessionState(const TSessionState& s);
  // The settings as they would be written, with the session state as loaded.
  std::string SettingsTextAsLoaded();
  std::string HistoryText();
  std::string FCfgAsLoaded, FHistoryAsLoaded;
  TSessionState FStateAsLoaded;

  std::unique_ptr<THanINI> FCfg;
  std::unique_ptr<THanINI> FHistory;
  std::array<std::vector<std::wstring>, hkCount> FHistories;
};

extern TMOptions Options;

// History texts as stored: "%", CR and LF escaped.
std::wstring EscapeHistoryText(const std::wstring& s);
std::wstring UnescapeHistoryText(const std::wstring& s);

// The remembered current folder of each drive or share.
class TCurrentDir {
 public:
  // The remembered folder of the path's root when it still is a folder, else the root without
  // trailing "\"; empty for a path without root.
  void GetDir(const std::wstring& path, std::wstring& dir) const;
  // Remembers an existing folder (without trailing "\") for its root.
  void SetDir(const std::wstring& path);

 private:
  std::map<std::wstring, std::wstring> FDirs;  // upper-cased root -> folder
};

extern TCurrentDir CurrentDirs;
