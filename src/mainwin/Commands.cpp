#include "mainwin/Commands.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <map>

#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MaskMatch.h"
#include "foundation/MsgDlg.h"
#include "framework/TextCompare.h"
#include "mainwin/MUpDate.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

std::wstring TCommandRow::Caption() const { return Msg ? LoadMessageText(Msg) : std::wstring(Literal); }

namespace {
constexpr TShortCut S = scShift, C = scCtrl, A = scAlt;
constexpr TShortCut Key(WORD vk, TShortCut mods = 0) { return static_cast<TShortCut>(vk | mods); }

// ---- Tests of the active panel ----
TMFList* List(TQ7XForm& f) { return f.ActiveList(); }
bool TreeActive(TQ7XForm& f) { return CommandTree(f) != nullptr; }
bool ListActive(TQ7XForm& f) { return List(f) && !TreeActive(f); }
bool InArchive(TQ7XForm& f) { return List(f) && List(f)->InArchive; }
const TFileBoxItem* Focused(TQ7XForm& f) {
  TMFList* l = List(f);
  return l && l->ItemIndex >= 0 && l->ItemIndex < l->Count() ? l->GetItem(l->ItemIndex) : nullptr;
}
bool Selectable(const TFileBoxItem* i) { return i && !IsParentItem(*i) && i->Kind != ikDrive; }
bool HasWork(TQ7XForm& f) { return ListActive(f) && (List(f)->SelCount > 0 || Selectable(Focused(f))); }
bool FocusedFile(TQ7XForm& f) { return ListActive(f) && Focused(f) && Focused(f)->Kind == ikFile; }
bool OnDisk(TQ7XForm& f) { return ListActive(f) && !InArchive(f) && !List(f)->Path.empty(); }
bool CanChange(TQ7XForm& f) { return HasWork(f) && !InArchive(f); }
bool CanGoUp(TQ7XForm& f) { return ListActive(f) && (InArchive(f) || List(f)->Depth > 0); }
TFileWinOptions& Record(TQ7XForm& f) { return Options.PanelOptions(f.ActivePanel()->PanelNo()); }

// ---- Actions on the active panel ----
void Reread(TQ7XForm& f) {
  if (TPanelView* p = f.ActivePanel()) p->Reread();
}

void ListOptionsChanged(TQ7XForm& f) {
  TMFList* l = List(f);
  l->LoadOptions();
  l->FileMask = DisplayFilterMask(Record(f).FilterType, Record(f).FileMask);
  f.ActivePanel()->Reread();
}

void TogglePart(TQ7XForm& f, int bit) {
  Record(f).Parts ^= bit;
  f.ActivePanel()->ArrangeParts();
}

void SortBy(TQ7XForm& f, int key) {
  TFileWinOptions& r = Record(f);
  if (r.SortType == key)
    r.Ascending = !r.Ascending;
  else
    r.SortType = key;
  ListOptionsChanged(f);
}

void SetFilter(TQ7XForm& f, int filter) {
  Record(f).FilterType = filter;
  ListOptionsChanged(f);
}

void AskFilterMask(TQ7XForm& f) {
  std::wstring mask = Record(f).FileMask, history;
  Options.GetHistoryText(hkFilter, history);
  if (!AskOkCancel(LoadMessageText(1434), LoadMessageText(1440), L"", mask, history, true)) return;
  mask = Trim(mask);
  if (mask.empty()) return;
  Options.AddHistory(hkFilter, mask);
  Record(f).FileMask = mask;
  SetFilter(f, 0);
}

void GoTo(TQ7XForm& f, const std::wstring& path) {
  if (TPanelView* p = f.ActivePanel(); p && !path.empty()) p->ChangeDir(path);
}

void GoUp(TQ7XForm& f) {
  TMFList* l = List(f);
  if (l->Depth > 0) GoTo(f, ExtractParentDir(l->Path));
}

void AskPath(TQ7XForm& f) {
  std::wstring path = ExcludeTrailingBackslashKeepRoot(List(f)->Path), history;
  Options.GetHistoryText(hkGOTO, history);
  if (!AskOkCancel(LoadMessageText(3223), LoadMessageText(1209), L"", path, history, true)) return;
  path = Trim(path);
  if (!FolderExists(path)) {
    MessageBeep(MB_ICONHAND);
    return;
  }
  Options.AddHistory(hkGOTO, path);
  GoTo(f, path);
}

void SelectWhere(TQ7XForm& f, const std::function<int(const TFileBoxItem&, int index)>& want) {
  TMFList* l = List(f);
  for (int i = 0; i < l->Count(); ++i) {
    const TFileBoxItem& item = *l->GetItem(i);
    if (!Selectable(&item)) continue;
    int w = want(item, i);  // 1 select, 0 unselect, -1 leave
    if (w >= 0 && (item.SelOrder != 0) != (w == 1)) l->SetSelected(i, w == 1);
  }
  f.ActivePanel()->Invalidate();
  f.UpdateCommandStates();
}

void SelectByName(TQ7XForm& f, bool select) {
  std::wstring mask = L"*.*", history;
  Options.GetHistoryText(hkSELECT, history);
  if (!AskOkCancel(LoadMessageText(select ? 3228 : 3229), LoadMessageText(select ? 1107 : 1108), L"", mask, history,
                   true))
    return;
  mask = Trim(mask);
  if (mask.empty()) return;
  Options.AddHistory(hkSELECT, mask);
  TMaskList masks(mask);
  TMFList* l = List(f);
  SelectWhere(f, [&](const TFileBoxItem&, int i) { return masks.Matches(l->ItemName(i)) ? (select ? 1 : 0) : -1; });
}

void RunFile(TQ7XForm& f, const wchar_t* program) {
  TMFList* l = List(f);
  std::wstring file = QuoteIfSpaces(l->Path + l->ItemName(l->ItemIndex));
  ShellExecuteW(f.Handle(), nullptr, program, file.c_str(), l->Path.c_str(), SW_SHOWNORMAL);
}

void OpenSpecial(TQ7XForm& f, int csidl) { GoTo(f, GetSpecialFolderPath(csidl)); }

void Delete(TQ7XForm& f, TShiftState shift) {
  const bool permanent = (shift & ssShift) != 0 || Options.NotUseRecycled;
  // Nothing is deleted for good without the user's yes.
  if (permanent && !AskYesNo(LoadMessageText(10803), false)) return;
  if (f.DeleteHandler)
    f.DeleteHandler(permanent);
  else
    f.CommandNotBuilt(1003);
}

std::vector<TCommandRow> BuildTable() {
  using R = TCommandRow;
  auto canCopy = [](TQ7XForm& f) { return HasWork(f); };
  auto canChange = [](TQ7XForm& f) { return CanChange(f); };
  auto treeNotActive = [](TQ7XForm& f) { return !TreeActive(f); };
  auto twoPanels = [](TQ7XForm& f) { return f.DualMode; };
  auto checkPart = [](int bit) { return [bit](TQ7XForm& f) { return f.ActivePanel() && (Record(f).Parts & bit) != 0; }; };
  auto togglePart = [](int bit) { return [bit](TQ7XForm& f, TShiftState) { TogglePart(f, bit); }; };
  std::vector<R> t = {
      // File
      {1701, 1001, L"", mpFile, Key('H', C), -1, false, [](TQ7XForm& f) { return ListActive(f) && !InArchive(f); }, {},
       [](TQ7XForm& f, TShiftState) { f.ShowNewPopup(); }},
      {1001, 1002, L"", mpFile, Key('C', A), 8, true, canCopy, {}, {}},
      {1002, 1003, L"", mpFile, Key('M', A), 9, false, canChange, {}, {}},
      {1003, 1004, L"", mpFile, Key('D', A), 10, false, canChange, {}, Delete},
      {1004, 1005, L"", mpFile, Key('R', A), 11, false,
       [](TQ7XForm& f) { return ListActive(f) && !InArchive(f) && Selectable(Focused(f)); }, {},
       [](TQ7XForm& f, TShiftState shift) {
         if (TPanelView* p = f.ActivePanel()) f.RenamePanelItems(p, (shift & ssCtrl) != 0);
       }},
      {1005, 1006, L"", mpFile, Key('K', A), 12, false, OnDisk, {}, {}},
      {1006, 1007, L"", mpFile, Key('Z', C), 17, false, canChange, {}, {}},
      {1007, 1008, L"", mpFile, Key(VK_RETURN, C | A), 18, false,
       [](TQ7XForm& f) { return OnDisk(f) && Selectable(Focused(f)); }, {}, {}},
      {1201, 1009, L"", mpFile, 0, -1, false, treeNotActive, {}, {}},
      {1202, 1010, L"", mpFile, Key('S', C), 43, false, canChange, {}, {}},
      {1601, 1011, L"", mpFile, Key('S', C | A), -1, true, [](TQ7XForm& f) { return FocusedFile(f) && !InArchive(f); }, {}, {}},
      {1602, 1012, L"", mpFile, Key('C', C | A), -1, false, [](TQ7XForm& f) { return FocusedFile(f) && !InArchive(f); }, {}, {}},
      {1603, 1013, L"", mpFile, Key('M', C | A), -1, false, [](TQ7XForm& f) { return ListActive(f) && !InArchive(f) && List(f)->SelCount > 1; }, {}, {}},
      {1501, 1014, L"", mpFile, Key('V', A), -1, true, FocusedFile, {}, [](TQ7XForm& f, TShiftState) { RunFile(f, L"notepad.exe"); }},
      {1502, 1015, L"", mpFile, Key('G', A), -1, false, FocusedFile, {}, [](TQ7XForm& f, TShiftState) { RunFile(f, L"notepad.exe"); }},
      {1401, 1016, L"", mpFile, Key(VK_RETURN, C), -1, true, treeNotActive, {}, {}},
      {1402, 1017, L"", mpFile, Key(VK_OEM_2), -1, false, treeNotActive, {}, {}},
      {1303, 1018, L"", mpFile, Key(VK_RETURN, S | A), -1, true, [](TQ7XForm& f) { return ListActive(f) && List(f)->FolderCount > (List(f)->Depth > 0 ? 1 : 0); }, {}, {}},
      {1301, 1019, L"", mpFile, 0, -1, false, [](TQ7XForm& f) { return ListActive(f); }, {}, {}},
      {1302, 1020, L"", mpFile, 0, -1, false, canCopy, {}, {}},
      {1101, 1021, L"", mpFile, Key(VK_RETURN, A), 41, true, [](TQ7XForm& f) { return ListActive(f) && !InArchive(f); }, {}, {}},
      {1999, 1022, L"", mpFile, Key('X', A), 42, true, {}, {}, [](TQ7XForm& f, TShiftState) { f.Close(); }},
      // Edit
      {2001, 1101, L"", mpEdit, Key('C', C), 15, false, canCopy, {}, {}},
      {2002, 1102, L"", mpEdit, Key('X', C), 16, false, canChange, {}, {}},
      {2003, 1103, L"", mpEdit, Key('V', C), 13, false, [](TQ7XForm& f) { return OnDisk(f) && f.PasteState != 0; }, {}, {}},
      {2013, 1104, L"", mpEdit, Key(VK_INSERT, S | C), 13, false, OnDisk, {}, {}},
      {2101, 1105, L"", mpEdit, Key('L', S | C), -1, true, {}, {}, {}},
      {2102, 1106, L"", mpEdit, Key('L', C), -1, false, {}, {}, {}},
      {2201, 1107, L"", mpEdit, Key(VK_ADD, C), -1, true, {}, {}, [](TQ7XForm& f, TShiftState) { SelectByName(f, true); }},
      {2202, 1108, L"", mpEdit, Key(VK_SUBTRACT, C), -1, false, {}, {}, [](TQ7XForm& f, TShiftState) { SelectByName(f, false); }},
      {2203, 1109, L"", mpEdit, Key(VK_DIVIDE), -1, false, {}, {},
       [](TQ7XForm& f, TShiftState) {
         const TFileBoxItem* i = Focused(f);
         if (!Selectable(i) || i->Kind != ikFile) return;
         std::wstring ext = i->Ext;
         SelectWhere(f, [&](const TFileBoxItem& it, int) { return it.Kind == ikFile && SameTextI(it.Ext, ext) ? 1 : -1; });
       }},
      {2204, 1110, L"", mpEdit, Key(VK_DIVIDE, C), -1, false, {}, {},
       [](TQ7XForm& f, TShiftState) {
         const TFileBoxItem* i = Focused(f);
         if (!Selectable(i)) return;
         std::wstring name = i->Name;
         SelectWhere(f, [&](const TFileBoxItem& it, int) { return SameTextI(it.Name, name) ? 1 : -1; });
       }},
      {2205, 1111, L"", mpEdit, Key(VK_MULTIPLY, C), -1, false, {}, {},
       [](TQ7XForm& f, TShiftState) { SelectWhere(f, [](const TFileBoxItem& it, int) { return it.SelOrder ? 0 : 1; }); }},
      {2210, 1112, L"", mpEdit, 0, -1, false, {}, {},
       [](TQ7XForm& f, TShiftState) { SelectWhere(f, [](const TFileBoxItem&, int) { return 1; }); }},
      {2211, 1113, L"", mpEdit, 0, -1, false, {}, {},
       [](TQ7XForm& f, TShiftState) { SelectWhere(f, [](const TFileBoxItem&, int) { return 0; }); }},
      {2010, 1114, L"", mpEdit, 0, -1, true, twoPanels, {},
       [](TQ7XForm& f, TShiftState) {
         TMFList* other = f.OtherList();
         if (!other || other == List(f)) return;
         SelectWhere(f, [&](const TFileBoxItem& it, int i) {
           if (it.Kind != ikFile) return -1;
           std::wstring name = List(f)->ItemName(i);
           for (int j = 0; j < other->Count(); ++j)
             if (other->GetItem(j)->Kind == ikFile && SameTextI(other->ItemName(j), name))
               return other->GetItem(j)->Time < it.Time ? 1 : 0;
           return 1;
         });
       }},
      // Path
      {6001, 1201, L"", mpPath, Key(VK_F10), 24, false, {}, {}, {}},
      {6002, 1202, L"", mpPath, Key(VK_F11), 25, false, {}, {}, {}},
      {6003, 1203, L"", mpPath, Key(VK_F12, S), 26, false, {}, {}, {}},
      {6201, 1204, L"", mpPath, Key('N', C), 34, true, {}, {},
       [](TQ7XForm& f, TShiftState) { WNetConnectionDialog(f.Handle(), RESOURCETYPE_DISK); f.RefreshDrives(); }},
      {6202, 1205, L"", mpPath, Key('U', C), 35, false, {}, {},
       [](TQ7XForm& f, TShiftState) { WNetDisconnectDialog(f.Handle(), RESOURCETYPE_DISK); f.RefreshDrives(); }},
      {6401, 1206, L"", mpPath, Key(VK_LEFT, A), 39, true, [](TQ7XForm& f) { return ListActive(f) && f.CanGoBack(); }, {},
       [](TQ7XForm& f, TShiftState) { f.GoBack(); }},
      {6402, 1207, L"", mpPath, Key(VK_RIGHT, A), 40, false, [](TQ7XForm& f) { return ListActive(f) && f.CanGoForward(); }, {},
       [](TQ7XForm& f, TShiftState) { f.GoForward(); }},
      {6403, 1208, L"", mpPath, Key(VK_BACK, C), -1, false, [](TQ7XForm& f) { return ListActive(f) && List(f)->FolderHistory.size() > 1; }, {},
       [](TQ7XForm& f, TShiftState) {
         auto& h = List(f)->FolderHistory;
         for (size_t i = h.size(); i-- > 0;)
           if (!SameTextI(h[i], List(f)->Path)) return GoTo(f, h[i]);
       }},
      {6406, 1209, L"", mpPath, Key('G', C), -1, false, OnDisk, {}, [](TQ7XForm& f, TShiftState) { AskPath(f); }},
      {6404, 1210, L"", mpPath, 0, 3, false, CanGoUp, {}, [](TQ7XForm& f, TShiftState) { GoUp(f); }},
      {6405, 1211, L"", mpPath, 0, 4, false, CanGoUp, {}, [](TQ7XForm& f, TShiftState) { GoTo(f, ExtractPathRoot(List(f)->Path)); }},
      {6101, 1212, L"", mpPath, Key(VK_F11, S), 31, true, {}, {}, [](TQ7XForm& f, TShiftState) { OpenSpecial(f, CSIDL_PERSONAL); }},
      {6102, 1213, L"", mpPath, Key(VK_F11, S | C), 32, false, {}, {}, [](TQ7XForm& f, TShiftState) { OpenSpecial(f, CSIDL_DESKTOPDIRECTORY); }},
      {6103, 1214, L"", mpPath, Key(VK_F12, S | C), 33, false, {}, {}, [](TQ7XForm& f, TShiftState) { OpenSpecial(f, CSIDL_STARTMENU); }},
      {6104, 1215, L"", mpPath, 0, -1, false, {}, {},
       [](TQ7XForm& f, TShiftState) {
         wchar_t buf[MAX_PATH + 1] = {};
         DWORD n = GetTempPathW(MAX_PATH, buf);
         if (n > 0 && n < MAX_PATH) GoTo(f, std::wstring(buf, n));
       }},
      {6301, 1216, L"", mpPath, 0, 36, true, {}, {},
       [](TQ7XForm& f, TShiftState) { ShellExecuteW(f.Handle(), nullptr, L"control.exe", nullptr, nullptr, SW_SHOWNORMAL); }},
      {6302, 1217, L"", mpPath, 0, 37, false, {}, {},
       [](TQ7XForm& f, TShiftState) {
         ShellExecuteW(f.Handle(), nullptr, L"explorer.exe", L"::{645FF040-5081-101B-9F08-00AA002F954E}", nullptr, SW_SHOWNORMAL);
       }},
      {6303, 1218, L"", mpPath, 0, -1, false, {}, {},
       [](TQ7XForm& f, TShiftState) { SHEmptyRecycleBinW(f.Handle(), nullptr, 0); }},
      // Archive
      {7401, 1301, L"", mpArchive, Key(VK_RETURN, S), -1, false, [](TQ7XForm& f) { return FocusedFile(f) && !InArchive(f); }, {}, {}},
      {7001, 1302, L"", mpArchive, Key('A', C), 28, true, canChange, {}, {}},
      {7002, 1304, L"", mpArchive, Key('M', C), 29, false, canChange, {}, {}},
      {7003, 1303, L"", mpArchive, Key('E', C), 30, false, [](TQ7XForm& f) { return InArchive(f) ? HasWork(f) : FocusedFile(f); }, {}, {}},
      // View: window
      {3101, 1402, L"", mpViewWindow, Key('1', C), 7, false, [](TQ7XForm&) { return Options.DualWindow != 0; }, {},
       [](TQ7XForm& f, TShiftState) { f.MakeSingleWindow(); }},
      {3102, 1403, L"", mpViewWindow, Key('2', C), 6, false, [](TQ7XForm&) { return Options.DualWindow != 2; }, {},
       [](TQ7XForm& f, TShiftState) { f.MakeDualWindow(false); }},
      {3103, 1404, L"", mpViewWindow, Key('3', C), 5, false, [](TQ7XForm&) { return Options.DualWindow != 1; }, {},
       [](TQ7XForm& f, TShiftState) { f.MakeDualWindow(true); }},
      // View: controls
      {3202, 1406, L"", mpViewControls, Key('T', S | C), -1, false, {}, [](TQ7XForm&) { return Options.ShowMainToolBar; },
       [](TQ7XForm& f, TShiftState) { f.ShowToolBar(!Options.ShowMainToolBar); }},
      {3203, 1407, L"", mpViewControls, Key('K', S | C), -1, false, {}, [](TQ7XForm&) { return Options.ShowKeyBar; },
       [](TQ7XForm& f, TShiftState) { f.ShowKeyLine(!Options.ShowKeyBar); }},
      {3204, 1408, L"", mpViewControls, 0, -1, false, {}, [](TQ7XForm&) { return Options.ShowToolName; },
       [](TQ7XForm& f, TShiftState) { f.ShowToolNames(!Options.ShowToolName); }},
      {3001, 1409, L"", mpViewControls, Key('P', S | C), -1, true, {}, checkPart(1), togglePart(1)},
      {3002, 1410, L"", mpViewControls, Key('H', S | C), -1, false, {}, checkPart(2), togglePart(2)},
      {3050, 1411, L"", mpViewControls, Key('D', S | C), -1, false, {}, checkPart(16), togglePart(16)},
      {3003, 1412, L"", mpViewControls, Key('S', S | C), -1, false, {}, checkPart(4), togglePart(4)},
      {3000, 1413, L"", mpViewControls, Key('F', S | C), -1, false, {}, checkPart(8), togglePart(8)},
  };
  // View: display modes 0..6.
  for (int m = 0; m <= 6; ++m)
    t.push_back({3004 + m, 1414 + m, L"", mpView, Key(static_cast<WORD>('0' + m), A), -1, m == 0, {},
                 [m](TQ7XForm& f) { return f.ActivePanel() && Record(f).Column == m; },
                 [m](TQ7XForm& f, TShiftState) {
                   Record(f).Column = m;
                   f.ActivePanel()->ArrangeParts();
                 }});
  t.push_back({3501, 1421, L"", mpView, Key('Z', A), -1, true, {}, [](TQ7XForm& f) { return f.ActivePanel() && Record(f).Hidden; },
               [](TQ7XForm& f, TShiftState) {
                 Record(f).Hidden = !Record(f).Hidden;
                 ListOptionsChanged(f);
               }});
  t.push_back({3502, 1422, L"", mpView, Key('A', A), -1, false, {}, [](TQ7XForm& f) { return f.ActivePanel() && Record(f).AttrWidth > 0; },
               [](TQ7XForm& f, TShiftState) {
                 TFileWinOptions& r = Record(f);
                 r.AttrWidth = r.AttrWidth > 0 ? 0 : 40;
                 f.ActivePanel()->ArrangeParts();
               }});
  // View: sort.
  const TShortCut sortKeys[9] = {Key('O', A), Key('N', A), Key('E', A), Key('S', A), Key('T', A), 0, 0, 0, Key('Q', A)};
  for (int k = 0; k <= 8; ++k)
    t.push_back({3301 + k, 1424 + k, L"", mpViewSort, sortKeys[k], -1, false, {},
                 [k](TQ7XForm& f) { return f.ActivePanel() && Record(f).SortType == k; },
                 [k](TQ7XForm& f, TShiftState) { SortBy(f, k); }});
  t.push_back({3310, 1433, L"", mpViewSort, Key(VK_OEM_MINUS, A), -1, true, {},
               [](TQ7XForm& f) { return f.ActivePanel() && Record(f).Ascending; },
               [](TQ7XForm& f, TShiftState) {
                 Record(f).Ascending = !Record(f).Ascending;
                 ListOptionsChanged(f);
               }});
  // View: filter.
  const int filterTags[5] = {3901, 3902, 3903, 3991, 3992};
  for (int i = 0; i < 5; ++i)
    t.push_back({filterTags[i], 1435 + i, L"", mpViewFilter, Key(static_cast<WORD>('1' + i), S | C), -1, false, {},
                 [i](TQ7XForm& f) { return f.ActivePanel() && Record(f).FilterType == i + 1; },
                 [i](TQ7XForm& f, TShiftState) { SetFilter(f, i + 1); }});
  t.push_back({3999, 1440, L"", mpViewFilter, Key('0', S | C), -1, true, {},
               [](TQ7XForm& f) { return f.ActivePanel() && Record(f).FilterType == 0; },
               [](TQ7XForm& f, TShiftState) { AskFilterMask(f); }});
  // View: spacing, refresh.
  for (int d : {1, -1})
    t.push_back({d > 0 ? 3401 : 3402, d > 0 ? 1442 : 1443, L"", mpViewSpacing, Key(d > 0 ? VK_ADD : VK_SUBTRACT, C | A), -1,
                 false, {}, {},
                 [d](TQ7XForm& f, TShiftState) {
                   TFileWinOptions& r = Record(f);
                   r.ItemSpace = std::clamp(r.ItemSpace + d, 0, 20);
                   f.ActivePanel()->ArrangeParts();
                 }});
  t.push_back({3011, 1444, L"", mpView, Key('R', C), 2, true, {}, {}, [](TQ7XForm& f, TShiftState) { Reread(f); }});
  // Tools
  t.push_back({4201, 1501, L"", mpTools, 0, -1, false, {}, {}, {}});
  t.push_back({4202, 1502, L"", mpTools, 0, -1, false, {}, {}, {}});
  t.push_back({4103, 0, L"Select &Language", mpTools, 0, -1, false, {}, {},
               [](TQ7XForm& f, TShiftState) {
                 std::wstring exe = ProgramFolder + L"Language.Exe";
                 ShellExecuteW(f.Handle(), nullptr, exe.c_str(), nullptr, ProgramFolder.c_str(), SW_SHOWNORMAL);
               }});
  t.push_back({4101, 1503, L"", mpTools, 0, -1, true, {}, {},
               [](TQ7XForm& f, TShiftState) {
                 f.StorePlacement();
                 if (!Options.SaveOptions()) ShowErrorBox(LoadMessageText(10601));
                 Options.SaveHistory(false);
               }});
  t.push_back({4102, 1504, L"", mpTools, Key(VK_F12, C), 14, false, {}, {},
               [](TQ7XForm& f, TShiftState) { PostMessageW(f.Handle(), WM_SHOWSETUP, f.ActivePanel()->PanelNo(), 0); }});
  // Help
  t.push_back({5001, 1601, L"", mpHelp, Key(VK_F1), 21, false, {}, {}, [](TQ7XForm& f, TShiftState) { f.ShowHelp(L""); }});
  t.push_back({5002, 1602, L"", mpHelp, 0, -1, false, {}, {}, [](TQ7XForm& f, TShiftState) { f.ShowHelp(L"KeyList"); }});
  t.push_back({5004, 1603, L"", mpHelp, 0, 22, true, {}, {},
               [](TQ7XForm& f, TShiftState) { ShellExecuteW(f.Handle(), nullptr, L"https://velmo.example.org/", nullptr, nullptr, SW_SHOWNORMAL); }});
  t.push_back({5005, 1604, L"", mpHelp, 0, 23, false, {}, {},
               [](TQ7XForm& f, TShiftState) { ShellExecuteW(f.Handle(), nullptr, L"mailto:velmo@velmo.example.org", nullptr, nullptr, SW_SHOWNORMAL); }});
  t.push_back({5007, 1606, L"", mpHelp, 0, -1, true, {}, {},
               [](TQ7XForm& f, TShiftState) {
                 if (!StartUpdateCheck(f.Handle(), ReadUpdateSchedule(ProgramFolder + L"Update.ini").Server))
                   MessageBeep(MB_ICONHAND);
               }});
  t.push_back({5006, 1605, L"", mpHelp, 0, 20, false, {}, {}, {}});
  return t;
}
}  // namespace

std::vector<TCommandRow>& CommandTable() {
  static std::vector<TCommandRow> table = BuildTable();
  return table;
}

const TCommandRow* FindCommand(int tag) {
  for (const auto& r : CommandTable())
    if (r.Tag == tag) return &r;
  return nullptr;
}

void RegisterCommand(int tag, TCommandHandler run, TCommandTest enabled) {
  for (auto& r : CommandTable()) {
    if (r.Tag != tag) continue;
    r.Run = std::move(run);
    if (enabled) r.Enabled = std::move(enabled);
    return;
  }
}

namespace {
std::map<int, TTreeCommandRoute>& TreeRoutes() {
  static std::map<int, TTreeCommandRoute> routes;
  return routes;
}
}  // namespace

void RegisterTreeCommand(int tag, TTreeCommandHandler run, TTreeCommandTest enabled) {
  TreeRoutes()[tag] = TTreeCommandRoute{std::move(run), std::move(enabled)};
}

const TTreeCommandRoute* FindTreeCommand(int tag) {
  auto it = TreeRoutes().find(tag);
  return it == TreeRoutes().end() ? nullptr : &it->second;
}

TPanelFolderTree* CommandTree(TQ7XForm& form) {
  TPanelView* panel = form.ActivePanel();
  return panel ? panel->CommandTree() : nullptr;
}

bool CommandEnabled(TQ7XForm& form, const TCommandRow& row) {
  if (const TTreeCommandRoute* route = FindTreeCommand(row.Tag))
    if (TPanelFolderTree* tree = CommandTree(form)) return !route->Enabled || route->Enabled(form, *tree);
  return !row.Enabled || row.Enabled(form);
}

bool IsMultiItemCommand(int tag) {
  // Copy, move, delete, rename, compress (and compress then delete) and extract.
  switch (tag) {
    case 1001: case 1002: case 1003: case 1004: case 7001: case 7002: case 7003: return true;
    default: return false;
  }
}

TShortCut EffectiveShortCut(const TCommandRow& row) {
  if (Options.CtrlXExtract) {
    if (row.Tag == 2002) return Key(VK_DELETE, C);
    if (row.Tag == 7003) return Key('X', C);
  }
  return row.ShortCut;
}

int CommandForKey(WORD key, TShiftState shift) {
  TShortCut sc = static_cast<TShortCut>(key & 0xFF);
  if (shift & ssShift) sc |= scShift;
  if (shift & ssCtrl) sc |= scCtrl;
  if (shift & ssAlt) sc |= scAlt;
  for (const auto& r : CommandTable())
    if (r.ShortCut && EffectiveShortCut(r) == sc) return r.Tag;
  return 0;
}

int NumberedCommandTag(int number) {
  static const int tags[NumberedCommandCount] = {
      1501, 1001, 1002, 1003, 1004, 1005, 1502, 1006, 1007, 7001, 7003, 7401, 6001, 6002, 6003, 3011, 1401, 1402, 3101,
      3102, 3103, 3000, 6406, 6404, 6405, 6401, 6402, 2201, 2202, 2205, 2210, 2211, 2101, 1303, 1202, 4102, 1101, 1999};
  return number >= 1 && number <= NumberedCommandCount ? tags[number - 1] : 0;
}

int DefaultSlotCommand(int slot) {
  // F2 rename, F3 view, F4 edit, F5 copy, F6 move, F7 new folder, F8 delete, F9 attributes.
  static const int numbers[8] = {5, 1, 7, 2, 3, 6, 4, 8};
  return slot >= 0 && slot < 8 ? numbers[slot] : 0;
}

int FunctionKeySlot(WORD key, TShiftState shift) {
  shift &= ssShift | ssAlt | ssCtrl;
  if (shift == 0 && key >= VK_F2 && key <= VK_F9) return key - VK_F2;
  if (shift == ssCtrl && key >= VK_F1 && key <= VK_F10) return 8 + key - VK_F1;
  return -1;
}

const std::vector<TToolButtonRow>& ToolButtonTable() {
  static const std::vector<TToolButtonRow> rows = {
      {6401, 1206}, {6402, 1207}, {6404, 1210}, {6405, 1211}, {6003, 2005}, {6001, 1201}, {6002, 2007}, {1001, 2008},
      {1002, 2009}, {1003, 2010},  {1004, 2011}, {1005, 2012}, {7001, 1302}, {7003, 1303}, {3101, 1402}, {3102, 1403},
      {3103, 1404}, {3011, 2021},  {1101, 2022}, {4102, 1504}, {5001, 1601}, {1999, 1022}};
  return rows;
}

int MenuCaptionMsg(TMenuPlace place) {
  static const int msgs[] = {1000, 1100, 1200, 1300, 1400, 1401, 1405, 1423, 1434, 1441, 1500, 1600};
  return place < mpNone ? msgs[place] : 0;
}

std::wstring PlainCaption(const std::wstring& caption) {
  std::wstring out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'(' && i + 1 < caption.size() && caption[i + 1] == L'&') {
      size_t close = caption.find(L')', i);
      if (close != std::wstring::npos) {
        i = close;
        continue;
      }
    }
    if (caption[i] != L'&') out += caption[i];
  }
  return out;
}

std::wstring DisplayFilterMask(int filter, const std::wstring& userMask) {
  switch (filter) {
    case 1: return L"*.*";
    case 2: return L"*.exe;*.com;*.bat;*.cmd;*.pif;*.lnk";
    case 3:
      return L"*.zip;*.jar;*.rar;*.ace;*.cab;*.lzh;*.lha;*.arj;*.tar;*.gz;*.tgz;*.z;*.zoo;*.arc;*.pak;*.bh;*.sqz;*.omp";
    default: return userMask.empty() ? L"*.*" : userMask;
  }
}
