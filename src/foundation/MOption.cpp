#include "foundation/MOption.h"

#include <variant>

#include "foundation/FileIO.h"
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"
#include "framework/Handles.h"

TMOptions Options;
TCurrentDir CurrentDirs;

const wchar_t* const TMOptions::ArchiverNames[arCount] = {L"ZIP", L"RAR", L"ACE", L"CAB", L"LZH", L"ARJ",
                                                          L"OMP", L"SQZ", L"ARC", L"ZOO", L"TAR"};
const wchar_t* const TMOptions::HistoryNames[hkCount] = {L"Filter", L"DOSCMD", L"GOTO",
                                                         L"SELECT", L"TARGET", L"ARCNAME"};

namespace {
// One stored setting: section, key, the field, and for integers the accepted range (a stored
// value outside it reads as the default). Defaults are the fields' initial values.
template <class Rec>
struct TField {
  const wchar_t* Section;
  const wchar_t* Key;
  std::variant<bool Rec::*, int32_t Rec::*, TIniFont Rec::*, TIniRect Rec::*, std::wstring Rec::*>
      Member;
  int32_t Min = INT32_MIN, Max = INT32_MAX;
};

// TColor and int32_t are the same type, so colours get their own wrapper in the table.
struct TColorRef {
  TColor TMOptions::*Member;
};

using O = TMOptions;
const wchar_t* const M = L"Main";
const wchar_t* const P = L"Option";
const wchar_t* const A = L"Archive";
const wchar_t* const R = L"RENAME";
const wchar_t* const Q = L"QCD";

const TField<O> OptionFields[] = {
    {M, L"MainFont", &O::MainFont},
    {M, L"MCDFont", &O::MCDFont},
    {M, L"Window", &O::Window},
    {M, L"MCDWindow", &O::MCDWindow},
    {M, L"DriveWindow", &O::DriveWindow},
    {M, L"MCDToolBar", &O::MCDToolBar},
    {M, L"McdToolBarSmall", &O::McdToolBarSmall},
    {M, L"ShowToolName", &O::ShowToolName},
    {M, L"ShowMcdToolName", &O::ShowMcdToolName},
    {M, L"MCDShowKeyBar", &O::MCDShowKeyBar},
    {M, L"MCDShowDriveBar", &O::MCDShowDriveBar},
    {M, L"FlatKeyBar", &O::FlatKeyBar},
    {M, L"ToolBarWrap", &O::ToolBarWrap},
    {M, L"GrayToolBar", &O::GrayToolBar},
    {M, L"DualWindow", &O::DualWindow, 0, 2},
    {M, L"WinSplitSave", &O::WinSplitSave},
    {M, L"WinSplitDiv", &O::WinSplitDiv},
    {M, L"VertRatio", &O::VertRatio, 0, 100000},
    {M, L"HorzRatio", &O::HorzRatio, 0, 100000},
    {M, L"LastWindow", &O::LastWindow, 1, 2},
    {M, L"ShowMainMenu", &O::ShowMainMenu},
    {M, L"ShowMainToolBar", &O::ShowMainToolBar},
    {M, L"ShowKeyBar", &O::ShowKeyBar},
    {M, L"MenuWrap", &O::MenuWrap},

    {P, L"CDRemRAttr", &O::CDRemRAttr},
    {P, L"DescShortRead", &O::DescShortRead},
    {P, L"DescShortWrite", &O::DescShortWrite},
    {P, L"ShowCopySpeed", &O::ShowCopySpeed},
    {P, L"ErrorFileNotDelete", &O::ErrorFileNotDelete},
    {P, L"MCDShowIcon", &O::MCDShowIcon},
    {P, L"SplitSrcRemove", &O::SplitSrcRemove},
    {P, L"SplitMakeBat", &O::SplitMakeBat},
    {P, L"AutoSelectInDual", &O::AutoSelectInDual, 0, 4},
    {P, L"ShowDriveFirst", &O::ShowDriveFirst},
    {P, L"TreeSaveToRoot", &O::TreeSaveToRoot},
    {P, L"MCDItemWidth", &O::MCDItemWidth, 0, 400},
    {P, L"McdItemHeight", &O::McdItemHeight, 0, 15},
    {P, L"McdSameWinSize", &O::McdSameWinSize},
    {P, L"MCDDriveBarTop", &O::MCDDriveBarTop},
    {P, L"FolderNameCase", &O::FolderNameCase, 0, 4},
    {P, L"BSUpDir", &O::BSUpDir},
    {P, L"ExtSpeedSearch", &O::ExtSpeedSearch},
    {P, L"NotUseRecycled", &O::NotUseRecycled},
    {P, L"DeleteAtYes", &O::DeleteAtYes},
    {P, L"DragDelay", &O::DragDelay},
    {P, L"LeftDropMenu", &O::LeftDropMenu},
    {P, L"MouseMiddle", &O::MouseMiddle, 0, 3},
    {P, L"MouseRight", &O::MouseRight, 0, 3},
    {P, L"HanShiftDrive", &O::HanShiftDrive},
    {P, L"CtrlXExtract", &O::CtrlXExtract},
    {P, L"FTreeShowIcon", &O::FTreeShowIcon},
    {P, L"IncHiddenDir", &O::IncHiddenDir},
    {P, L"TreeAutoExpand", &O::TreeAutoExpand},
    {P, L"TreeBigIcon", &O::TreeBigIcon},
    {P, L"FolderTreeColor", &O::FolderTreeColor},
    {P, L"XButtonSupport", &O::XButtonSupport},
    {P, L"GridLineWidth", &O::GridLineWidth, 1, 30},
    {P, L"ShowCheck", &O::ShowCheck},
    {P, L"Ellipsis", &O::Ellipsis},
    {P, L"Show24H", &O::Show24H},
    {P, L"Year4D", &O::Year4D},
    {P, L"ColumnFill", &O::ColumnFill},
    {P, L"SelColorEnable", &O::SelColorEnable},
    {P, L"ShowFolderMsg", &O::ShowFolderMsg},
    {P, L"FolderSizeSameColor", &O::FolderSizeSameColor},
    {P, L"FillSelectBar", &O::FillSelectBar},
    {P, L"FullEraseBKGND", &O::FullEraseBKGND},
    {P, L"IconAnalysis", &O::IconAnalysis},
    {P, L"IconView", &O::IconView},
    {P, L"IconExtract", &O::IconExtract},
    {P, L"IconExtrNoFDD", &O::IconExtrNoFDD},
    {P, L"TypeView", &O::TypeView, 0, 2},
    {P, L"ShowDrive", &O::ShowDrive},
    {P, L"ShowDrvAtThis", &O::ShowDrvAtThis, 0, 2},
    {P, L"ShowDriveItem", &O::ShowDriveItem},
    {P, L"ShowDriveSize", &O::ShowDriveSize},
    {P, L"NetDriveSize", &O::NetDriveSize},
    {P, L"McdTreeUpdate", &O::McdTreeUpdate},
    {P, L"DescHidden", &O::DescHidden},
    {P, L"ShowSizeK", &O::ShowSizeK, 0, 2},
    {P, L"FolderDiffSort", &O::FolderDiffSort},
    {P, L"FolderSortType", &O::FolderSortType, 0, 8},
    {P, L"FileNameCase", &O::FileNameCase, 0, 4},
    {P, L"AutoQuotation", &O::AutoQuotation},
    {P, L"DupHeaderSize", &O::DupHeaderSize},
    {P, L"DupFTreeWidth", &O::DupFTreeWidth},
    {P, L"DiskMonitor", &O::DiskMonitor},
    {P, L"AutoSave", &O::AutoSave},

    {L"Color", L"ItemColorEnable", &O::ItemColorEnable},

    {A, L"SFXView", &O::SFXView},
    {A, L"ExtractForceDir", &O::ExtractForceDir},
    {A, L"NoExtractDialog", &O::NoExtractDialog},
    {A, L"PathEnable", &O::PathEnable},
    {A, L"ShowPWD", &O::ShowPWD},
    {A, L"FullPath", &O::FullPath},
    {A, L"OverWrite", &O::OverWrite},
    {A, L"AddPath", &O::AddPath},
    {A, L"SubFolder", &O::SubFolder},
    {A, L"MoveAfter", &O::MoveAfter},
    {A, L"AddMethod", &O::AddMethod, 0, 4},
    {A, L"AddType", &O::AddType, 0, 9},

    {R, L"Window", &O::RenameWindow},
    {R, L"NameCase", &O::NameCase, 0, 4},
    {R, L"ExtNoRename", &O::ExtNoRename},
    {R, L"Digit", &O::Digit, 0, 10},
    {R, L"AutoDigit", &O::AutoDigit},

    {Q, L"Window", &O::QCDWindow},
    {Q, L"I1", &O::QCDI1, 0, 200},
    {Q, L"I2", &O::QCDI2, 0, 200},
    {Q, L"I3", &O::QCDI3, 0, 1000},
};

const struct {
  const wchar_t* Key;
  TColorRef Ref;
} ColorFields[] = {
    {L"SelColor", {&O::SelColor}},
    {L"DirColor", {&O::DirColor}},
    {L"DrvColor", {&O::DrvColor}},
    {L"BackColor", {&O::BackColor}},
    {L"NormalColor", {&O::NormalColor}},
    {L"DescColor", {&O::DescColor}},
    {L"ReadOnlyColor", {&O::ReadOnlyColor}},
    {L"HiddenColor", {&O::HiddenColor}},
    {L"SizeUnitColor", {&O::SizeUnitColor}},
    {L"GridColor", {&O::GridColor}},
    {L"SubGridColor", {&O::SubGridColor}},
    // FTreeBackColor and FTreeFontColor follow BackColor and NormalColor (read in code).
    {L"ToolBarColor", {&O::ToolBarColor}},
    {L"MenuBarColor", {&O::MenuBarColor}},
    {L"MCDBackColor", {&O::MCDBackColor}},
    {L"MCDTextColor", {&O::MCDTextColor}},
    {L"MCDGrayTextColor", {&O::MCDGrayTextColor}},
    {L"MCDLineColor", {&O::MCDLineColor}},
    {L"MCDDefaultColor", {&O::MCDDefaultColor}},
    {L"MCDCopyColor", {&O::MCDCopyColor}},
    {L"MCDMoveColor", {&O::MCDMoveColor}},
    {L"HKeyAltColor", {&O::HKeyAltColor}},
    {L"HKeyHighText", {&O::HKeyHighText}},
    {L"HKeyNormalText", {&O::HKeyNormalText}},
    {L"HKeyNormalBack", {&O::HKeyNormalBack}},
    {L"HKeyShiftBack", {&O::HKeyShiftBack}},
    {L"HKeyHotItemBack", {&O::HKeyHotItemBack}},
    {L"HKeyHotItemKey", {&O::HKeyHotItemKey}},
    {L"HKeyHotItemText", {&O::HKeyHotItemText}},
};

using F = TFileWinOptions;
const TField<F> PanelFields[] = {
    {nullptr, L"Hidden", &F::Hidden},
    {nullptr, L"FilterType", &F::FilterType, 0, 5},
    {nullptr, L"Column", &F::Column, 0, 6},
    {nullptr, L"SortType", &F::SortType, 0, 8},
    {nullptr, L"Ascending", &F::Ascending},
    {nullptr, L"NameWidth", &F::NameWidth, 0, 2000},
    {nullptr, L"ExtWidth", &F::ExtWidth, 0, 2000},
    {nullptr, L"SizeWidth", &F::SizeWidth, 0, 2000},
    {nullptr, L"TimeWidth", &F::TimeWidth, 0, 2000},
    {nullptr, L"AttrWidth", &F::AttrWidth, 0, 2000},
    {nullptr, L"TypeWidth", &F::TypeWidth, 0, 2000},
    {nullptr, L"ShowGridLine", &F::ShowGridLine},
    {nullptr, L"SubGridLine", &F::SubGridLine},
    {nullptr, L"FTreeHeight", &F::FTreeHeight, 0, 4000},
    {nullptr, L"FTreeWidth", &F::FTreeWidth, 0, 4000},
    {nullptr, L"FTreeAlign", &F::FTreeAlign, 0, 3},
    {nullptr, L"DriveBarTop", &F::DriveBarTop},
    {nullptr, L"Parts", &F::Parts, 0, 31},
    {nullptr, L"ItemSpace", &F::ItemSpace, 0, 20},
    {nullptr, L"Path", &F::Path},
    {nullptr, L"FileMask", &F::FileMask},
};

template <class Rec>
void ReadField(THanINI& ini, const wchar_t* section, const TField<Rec>& f, Rec& rec, const Rec& def) {
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(rec.*member)>;
        if constexpr (std::is_same_v<T, bool>) {
          rec.*member = ini.ReadBool(section, f.Key, def.*member);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          int32_t v = ini.ReadInteger(section, f.Key, def.*member);
          rec.*member = (v < f.Min || v > f.Max) ? def.*member : v;
        } else if constexpr (std::is_same_v<T, TIniFont>) {
          rec.*member = ini.ReadFont(section, f.Key, def.*member);
        } else if constexpr (std::is_same_v<T, TIniRect>) {
          rec.*member = ini.ReadRect(section, f.Key, def.*member);
        } else {
          rec.*member = ini.ReadString(section, f.Key, def.*member);
        }
      },
      f.Member);
}

template <class Rec>
void WriteField(THanINI& ini, const wchar_t* section, const TField<Rec>& f, const Rec& rec) {
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(rec.*member)>;
        if constexpr (std::is_same_v<T, bool>) {
          ini.WriteBool(section, f.Key, rec.*member);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          ini.WriteInteger(section, f.Key, rec.*member);
        } else if constexpr (std::is_same_v<T, TIniFont>) {
          ini.WriteFont(section, f.Key, rec.*member);
        } else if constexpr (std::is_same_v<T, TIniRect>) {
          ini.WriteRect(section, f.Key, rec.*member);
        } else {
          ini.WriteString(section, f.Key, rec.*member);
        }
      },
      f.Member);
}

bool StoresArchiverKeys(int i) { return i == arZIP || i == arRAR || i == arACE || i == arLZH || i == arARJ; }

const TMOptions& Defaults() {
  static const TMOptions defaults;
  return defaults;
}
}  // namespace

// ---- TMOptions ----

TMOptions::TMOptions() {
  Archivers[arZIP].AddPrg = L"pkzip.exe";
  Archivers[arZIP].ExtrPrg = L"pkunzip.exe";
  Archivers[arRAR].AddPrg = L"rar32.exe";
  Archivers[arACE].AddPrg = L"ace32.exe";
  Archivers[arLZH].AddPrg = L"lha.exe";
  Archivers[arARJ].AddPrg = L"arj32.exe";
  Archivers[arOMP].AddPrg = L"tomp.exe";
  Archivers[arSQZ].AddPrg = L"sqz.exe";
  BuildQCDLabels();
}

TMOptions::~TMOptions() {
  // Whatever was not saved on purpose is not written behind the caller's back.
  if (FCfg) FCfg->ReadOnly = true;
  if (FHistory) FHistory->ReadOnly = true;
}

void TMOptions::BuildQCDLabels() {
  for (int i = 0; i < QCDSlotCount; ++i)
    QCDSlots[i].Label = (i < 10 ? L"Shift+F" : L"Ctrl+Shift+F") + std::to_wstring(i % 10 + 1);
}

void TMOptions::ResetToDefaults() {
  const TMOptions& d = Defaults();
  for (const auto& f : OptionFields)
    std::visit([&](auto member) { this->*member = d.*member; }, f.Member);
  for (const auto& c : ColorFields) this->*c.Ref.Member = d.*c.Ref.Member;
  FTreeBackColor = d.FTreeBackColor;
  FTreeFontColor = d.FTreeFontColor;
  Archivers = d.Archivers;
  RenameColumns = d.RenameColumns;
  FileWin = d.FileWin;
  QCDSlots = d.QCDSlots;
  for (auto& h : FHistories) h.clear();
  MainFontHeight = 0;
}

void TMOptions::AssignSettings(const TMOptions& src) {
  for (const auto& f : OptionFields)
    std::visit([&](auto member) { this->*member = src.*member; }, f.Member);
  for (const auto& c : ColorFields) this->*c.Ref.Member = src.*c.Ref.Member;
  FTreeBackColor = src.FTreeBackColor;
  FTreeFontColor = src.FTreeFontColor;
  Archivers = src.Archivers;
  RenameColumns = src.RenameColumns;
  FileWin = src.FileWin;
  ComputeMainFontHeight();
}

void TMOptions::WriteColors(THanINI& ini) {
  ini.WriteBool(L"Color", L"ItemColorEnable", ItemColorEnable);
  for (const auto& c : ColorFields) ini.WriteColor(L"Color", c.Key, this->*c.Ref.Member);
  ini.WriteColor(L"Color", L"FTreeBackColor", FTreeBackColor);
  ini.WriteColor(L"Color", L"FTreeFontColor", FTreeFontColor);
}

bool TMOptions::SaveColorsTo(const std::wstring& file) {
  THanINI ini(file);
  WriteColors(ini);
  bool ok = ini.UpdateFile();
  if (!ok) ini.ReadOnly = true;
  return ok;
}

namespace {
bool SettingsFileDamaged(const std::wstring& file);
}

bool TMOptions::LoadColorsFrom(const std::wstring& file) {
  if (!FileExistsPlain(file) || SettingsFileDamaged(file)) return false;
  THanINI ini(file);
  ini.ReadOnly = true;
  ItemColorEnable = ini.ReadBool(L"Color", L"ItemColorEnable", ItemColorEnable);
  for (const auto& c : ColorFields) this->*c.Ref.Member = ini.ReadColor(L"Color", c.Key, this->*c.Ref.Member);
  FTreeBackColor = ini.ReadColor(L"Color", L"FTreeBackColor", FTreeBackColor);
  FTreeFontColor = ini.ReadColor(L"Color", L"FTreeFontColor", FTreeFontColor);
  return true;
}

bool TMOptions::LoadOptionsFrom(const std::wstring& file) {
  if (!FileExistsPlain(file) || SettingsFileDamaged(file)) return false;
  TMOptions loaded;
  loaded.Load(file, L"");
  // The window's place and the panels' folders are this session's, not the set's.
  const TSessionState keep = SessionState();
  AssignSettings(loaded);
  SetSessionState(keep);
  return true;
}

namespace {
// A settings file that is there but cannot be read whole, or that holds zero bytes outside a
// UTF-16 text (no text file of ours has them).
bool SettingsFileDamaged(const std::wstring& file) {
  if (!FileExistsPlain(file)) return false;
  std::string bytes;
  if (!ReadFileBytes(file, bytes)) return true;
  const bool utf16 = bytes.size() >= 2 && ((static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) ||
                                           (static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF));
  if (utf16) return bytes.size() % 2 != 0;
  return bytes.find('\0') != std::string::npos;
}
}  // namespace

void TMOptions::Load(const std::wstring& cfgFile, const std::wstring& historyFile) {
  CfgFile = cfgFile;
  HistoryFile = historyFile;
  ResetToDefaults();
  FCfg = std::make_unique<THanINI>(cfgFile);
  FHistory = std::make_unique<THanINI>(historyFile);
  CfgDamaged = SettingsFileDamaged(cfgFile);
  HistoryDamaged = SettingsFileDamaged(historyFile);
  // A damaged file is read as empty, so that what is written later is clean.
  if (CfgDamaged) FCfg->LoadFromBytes("");
  if (HistoryDamaged) FHistory->LoadFromBytes("");
  ReadAll(*FCfg);
  ReadHistory(*FHistory);
  ComputeMainFontHeight();
  FStateAsLoaded = SessionState();
  FCfgAsLoaded = CfgDamaged ? SettingsTextAsLoaded() : std::string();
  FHistoryAsLoaded = HistoryDamaged ? HistoryText() : std::string();
}

TMOptions::TSessionState TMOptions::SessionState() const {
  return TSessionState{Window, LastWindow, FileWin[0].Path, FileWin[1].Path};
}

void TMOptions::SetSessionState(const TSessionState& s) {
  Window = s.Window;
  LastWindow = s.LastWindow;
  FileWin[0].Path = s.Path1;
  FileWin[1].Path = s.Path2;
}

std::string TMOptions::SettingsTextAsLoaded() {
  THanINI ini(CfgFile);
  ini.LoadFromBytes("");
  ini.ReadOnly = true;
  const TSessionState keep = SessionState();
  SetSessionState(FStateAsLoaded);
  WriteAll(ini);
  SetSessionState(keep);
  return ini.SaveToBytes();
}

std::string TMOptions::HistoryText() {
  THanINI ini(HistoryFile);
  ini.LoadFromBytes("");
  ini.ReadOnly = true;
  WriteHistory(ini, false);
  return ini.SaveToBytes();
}

void TMOptions::LoadFromProgramFolder() { Load(ProgramFolder + L"Q7X.CFG", ProgramFolder + L"History"); }

void TMOptions::ReadAll(THanINI& ini) {
  const TMOptions& d = Defaults();
  for (const auto& f : OptionFields) ReadField(ini, f.Section, f, *this, d);
  for (const auto& c : ColorFields) this->*c.Ref.Member = ini.ReadColor(L"Color", c.Key, d.*c.Ref.Member);
  FTreeBackColor = ini.ReadColor(L"Color", L"FTreeBackColor", BackColor);
  FTreeFontColor = ini.ReadColor(L"Color", L"FTreeFontColor", NormalColor);
  for (int i = 0; i < arCount; ++i) {
    if (!StoresArchiverKeys(i)) continue;
    std::wstring name = ArchiverNames[i];
    const TArchiverProgram& def = d.Archivers[i];
    Archivers[i].SelfControl = ini.ReadBool(L"Archive", name + L"_SelfControl", def.SelfControl);
    Archivers[i].AddPrg = ini.ReadString(L"Archive", name + L"_AddPrg", def.AddPrg);
    Archivers[i].ExtrPrg = ini.ReadString(L"Archive", name + L"_ExtrPrg", def.ExtrPrg);
  }
  for (int i = 0; i < 6; ++i) {
    int32_t v = ini.ReadInteger(L"RENAME", std::to_wstring(i + 1), d.RenameColumns[i]);
    RenameColumns[i] = (v < 0 || v > 2000) ? d.RenameColumns[i] : v;
  }
  for (int p = 0; p < 2; ++p) {
    std::wstring section = L"File" + std::to_wstring(p + 1);
    for (const auto& f : PanelFields) ReadField(ini, section.c_str(), f, FileWin[p], d.FileWin[p]);
  }
}

void TMOptions::WriteAll(THanINI& ini) {
  for (const auto& f : OptionFields) WriteField(ini, f.Section, f, *this);
  WriteColors(ini);
  for (int i = 0; i < arCount; ++i) {
    if (!StoresArchiverKeys(i)) continue;
    std::wstring name = ArchiverNames[i];
    ini.WriteBool(L"Archive", name + L"_SelfControl", Archivers[i].SelfControl);
    ini.WriteString(L"Archive", name + L"_AddPrg", Archivers[i].AddPrg);
    ini.WriteString(L"Archive", name + L"_ExtrPrg", Archivers[i].ExtrPrg);
  }
  for (int i = 0; i < 6; ++i) ini.WriteInteger(L"RENAME", std::to_wstring(i + 1), RenameColumns[i]);
  for (int p = 0; p < 2; ++p) {
    std::wstring section = L"File" + std::to_wstring(p + 1);
    for (const auto& f : PanelFields) WriteField(ini, section.c_str(), f, FileWin[p]);
  }
}

bool TMOptions::SaveOptionsTo(const std::wstring& file) {
  THanINI ini(file);
  WriteAll(ini);
  bool ok = ini.UpdateFile();
  if (!ok) ini.ReadOnly = true;  // the destructor must not try again
  return ok;
}

bool TMOptions::SaveOptions() {
  if (!FCfg) FCfg = std::make_unique<THanINI>(CfgFile.empty() ? ProgramFolder + L"Q7X.CFG" : CfgFile);
  WriteAll(*FCfg);
  return FCfg->UpdateFile();
}

void TMOptions::ReadHistory(THanINI& ini) {
  for (int k = 0; k < hkCount; ++k) {
    FHistories[k].clear();
    for (int i = 1; i <= HistoryLimit(k); ++i) {
      std::wstring v = Trim(UnescapeHistoryText(ini.ReadString(HistoryNames[k], std::to_wstring(i), L"")));
      if (!v.empty()) FHistories[k].push_back(v);
    }
  }
  for (int i = 0; i < QCDSlotCount; ++i) {
    QCDSlots[i].Title = ini.ReadString(L"QCD", L"T" + std::to_wstring(i + 1), L"");
    QCDSlots[i].Path = ini.ReadString(L"QCD", L"P" + std::to_wstring(i + 1), L"");
  }
  BuildQCDLabels();
}

void TMOptions::WriteHistory(THanINI& ini, bool qcdOnly) {
  for (int i = 0; i < QCDSlotCount; ++i) {
    ini.WriteString(L"QCD", L"T" + std::to_wstring(i + 1), QCDSlots[i].Title);
    ini.WriteString(L"QCD", L"P" + std::to_wstring(i + 1), QCDSlots[i].Path);
  }
  if (qcdOnly) return;
  for (int k = 0; k < hkCount; ++k) {
    const auto& list = FHistories[k];
    for (int i = 1; i <= HistoryLimit(k); ++i) {
      if (i <= static_cast<int>(list.size()))
        ini.WriteString(HistoryNames[k], std::to_wstring(i), EscapeHistoryText(list[static_cast<size_t>(i - 1)]));
      else
        ini.DeleteKey(HistoryNames[k], std::to_wstring(i));
    }
  }
}

bool TMOptions::SaveHistory(bool qcdOnly) {
  if (!FHistory) FHistory = std::make_unique<THanINI>(HistoryFile.empty() ? ProgramFolder + L"History" : HistoryFile);
  WriteHistory(*FHistory, qcdOnly);
  return FHistory->UpdateFile();
}

bool TMOptions::SaveOnExit() {
  bool ok = true;
  if (AutoSave && !(CfgDamaged && SettingsTextAsLoaded() == FCfgAsLoaded)) ok = SaveOptions();
  if (HistoryDamaged && HistoryText() == FHistoryAsLoaded) return ok;
  return SaveHistory(false) && ok;
}

void TMOptions::AddHistory(int kind, const std::wstring& text) {
  if (kind < 0 || kind >= hkCount) return;
  std::wstring t = Trim(text);
  if (t.empty()) return;
  auto& list = FHistories[kind];
  for (size_t i = 0; i < list.size(); ++i) {
    if (CompareTextI(list[i], t) == 0) {
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  list.insert(list.begin(), t);
  if (list.size() > static_cast<size_t>(HistoryLimit(kind))) list.resize(static_cast<size_t>(HistoryLimit(kind)));
}

const std::vector<std::wstring>& TMOptions::History(int kind) const {
  static const std::vector<std::wstring> none;
  return (kind < 0 || kind >= hkCount) ? none : FHistories[kind];
}

void TMOptions::GetHistoryText(int kind, std::wstring& text) const {
  text.clear();
  for (const auto& e : History(kind)) {
    if (e.empty()) continue;
    if (!text.empty()) text += L'\r';
    text += e;
  }
}

void TMOptions::GetHistoryItem(int kind, int n, std::wstring& text) const {
  const auto& list = History(kind);
  text = (n >= 1 && n <= static_cast<int>(list.size())) ? list[static_cast<size_t>(n - 1)] : std::wstring();
}

void TMOptions::GetQCDSlotPath(WORD virtualKey, uint8_t shiftState, std::wstring& path) const {
  path.clear();
  if (virtualKey < VK_F1 || virtualKey > VK_F10) return;
  int n = virtualKey - VK_F1;
  if (shiftState == 1)
    path = QCDSlots[n].Path;
  else if (shiftState == 5)
    path = QCDSlots[n + 10].Path;
}

void TMOptions::ComputeMainFontHeight() {
  const TScreenDCHandle screen(GetDC(nullptr));
  if (!screen) return;
  HDC dc = screen.get();
  LOGFONTW lf = {};
  lf.lfHeight = -MulDiv(MainFont.Size, GetDeviceCaps(dc, LOGPIXELSY), 72);
  lf.lfWeight = (MainFont.Style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (MainFont.Style & fsItalic) ? 1 : 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, MainFont.Name.c_str(), LF_FACESIZE);
  TFontHandle font(CreateFontIndirectW(&lf));
  if (font) {
    HGDIOBJ old = SelectObject(dc, font.get());
    TEXTMETRICW tm;
    if (GetTextMetricsW(dc, &tm)) MainFontHeight = tm.tmHeight;
    SelectObject(dc, old);
  }
}

// ---- history escapes ----

std::wstring EscapeHistoryText(const std::wstring& s) {
  std::wstring r;
  for (wchar_t c : s) {
    if (c == L'%')
      r += L"%25";
    else if (c == L'\r')
      r += L"%0D";
    else if (c == L'\n')
      r += L"%0A";
    else
      r += c;
  }
  return r;
}

std::wstring UnescapeHistoryText(const std::wstring& s) {
  std::wstring r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == L'%' && i + 2 < s.size()) {
      std::wstring code = UpperCase(s.substr(i + 1, 2));
      wchar_t c = code == L"25" ? L'%' : code == L"0D" ? L'\r' : code == L"0A" ? L'\n' : 0;
      if (c) {
        r += c;
        i += 2;
        continue;
      }
    }
    r += s[i];
  }
  return r;
}

// ---- TCurrentDir ----

namespace {
// The root of a path: "C:\" or "\\server\share\"; empty when there is none.
std::wstring PathRoot(const std::wstring& raw) {
  std::wstring p = Trim(raw);
  if (p.size() >= 2 && p[1] == L':' && iswalpha(p[0])) return p.substr(0, 2) + L'\\';
  if (p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\') {
    size_t server = p.find(L'\\', 2);
    if (server == std::wstring::npos || server == 2) return std::wstring();
    size_t share = p.find(L'\\', server + 1);
    std::wstring root = p.substr(0, share);
    if (root.size() <= server + 1) return std::wstring();
    return root + L'\\';
  }
  return std::wstring();
}

bool IsFolder(const std::wstring& path) {
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  DWORD a = GetFileAttributesW(path.c_str());
  SetErrorMode(old);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WithoutTrailingBackslash(std::wstring s) {
  if (!s.empty() && s.back() == L'\\') s.pop_back();
  return s;
}
}  // namespace

void TCurrentDir::GetDir(const std::wstring& path, std::wstring& dir) const {
  std::wstring root = PathRoot(path);
  dir.clear();
  if (root.empty()) return;
  auto it = FDirs.find(UpperCase(root));
  if (it != FDirs.end() && IsFolder(it->second)) {
    dir = it->second;
    return;
  }
  dir = WithoutTrailingBackslash(root);
}

void TCurrentDir::SetDir(const std::wstring& path) {
  std::wstring root = PathRoot(path);
  if (root.empty()) return;
  std::wstring dir = WithoutTrailingBackslash(Trim(path));
  // A bare drive ("C:") is tested as its root.
  if (!IsFolder(dir.size() == 2 ? dir + L'\\' : dir)) return;
  FDirs[UpperCase(root)] = dir;
}
