#pragma once
// The program's helper routines: text, numbers and dates (portable, MYTOOL.cpp) and their
// Windows-bound counterparts (MYTOOL_win.cpp).
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/NumberText.h"

// Days since 1899-12-30, the fraction the time of day.
using TDateTime = double;

// ---- Text and numbers ----

// Value with digit grouping and no decimals ("1,234,567"); "0" for a negative value.
std::wstring FormatThousands(int64_t value);
inline void FormatThousands(std::wstring& s, int64_t value) { s = FormatThousands(value); }
// TryStrToInt and TryStrToInt64 (framework/NumberText.h).
// The settings reader's integer parse: the same rules.
inline int32_t IniTryStrToInt(std::wstring_view s, bool& ok) { return TryStrToInt(s, ok); }
inline int32_t StrToIntDef(std::wstring_view s, int32_t def) {
  bool ok;
  int32_t v = TryStrToInt(s, ok);
  return ok ? v : def;
}
// Trims blanks and control characters from both ends.
std::wstring Trim(std::wstring_view s);
std::wstring TrimLeft(std::wstring_view s);
std::wstring TrimRight(std::wstring_view s);
std::wstring RemoveSpaces(std::wstring_view s);
// s begins with prefix, ASCII letters compared without case.
bool StartsText(std::wstring_view prefix, std::wstring_view s);
// s trimmed, in double quotes when it holds a blank.
std::wstring QuoteIfSpaces(std::wstring_view s);
// Lower-cased; the first character and each one after an ASCII character that is not a
// letter, digit, "'" or "." upper-cased.
std::wstring CapitalizeWords(std::wstring_view s);
// Lower-cased; the first character and each one after "\" upper-cased.
std::wstring CapitalizePath(std::wstring_view s);
// Cuts that never split a character: in UTF-16 a character is a code point, so a surrogate pair
// stays whole. MbcsCopy takes count units from position start (1-based, as in the rename
// patterns); a start on the second half of a pair moves back to its first half, an end inside a
// pair moves forward past it. A start below 1 counts from 1; a count past the end (MbcsToEnd
// for all the rest) stops at the end; nothing for a count below 1 or a start past the end.
constexpr int MbcsToEnd = 0x7FFFFFFF;
std::wstring MbcsCopy(std::wstring_view s, int start, int count);
// The last count units through MbcsCopy (one more when the cut would split a pair).
std::wstring MbcsRightStr(std::wstring_view s, int count);
// s without its last character (both halves of a surrogate pair).
std::wstring MbcsDeleteLastChar(std::wstring_view s);
// Every "/" becomes "": in UTF-16 no part of another character can be taken for one.
std::wstring MbcsSlashToBackslash(std::wstring_view s);
constexpr int64_t MakeInt64(uint32_t hi, uint32_t lo) {
  return static_cast<int64_t>((static_cast<uint64_t>(hi) << 32) | lo);
}

// ---- Dates ----

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec = 0);
// Splits a TDateTime into its fields; false for a value outside years 1..9999.
bool DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec);
int DaysInMonth(int year, int month);
// A DOS date and time (date in the high word) with each field clamped to a valid value
// (year from 1980, seconds doubled).
TDateTime DosToDateTimeClamped(int32_t dosDateTime);
// Broken-down fields to a DOS value, clamped to 1980-01-01 00:00:00 .. 2107-12-31 23:59:58.
int32_t FieldsToDosDateTime(int year, int month, int day, int hour, int minute, int second);
// Seconds since 1970-01-01 plus an offset in seconds (the local zone's, or 0 for UTC) as a
// DOS value, clamped to the DOS range instead of wrapping.
int32_t UnixTimeToDosDateTimeOffset(int64_t seconds, int64_t offsetSeconds);
// A file time (100 ns units since 1601-01-01) to its broken-down fields.
void FileTimeToFields(uint64_t fileTime, int& year, int& month, int& day, int& hour, int& minute, int& second,
                      int& msec);

// ---- Windows-bound (MYTOOL_win.cpp) ----
#ifdef _WIN32
#include <windows.h>
int64_t GetFindDataSize(const WIN32_FIND_DATAW& findData);
// A UTC file time in local time, its fields clamped to valid values.
TDateTime FileTimeToLocalDateTime(const FILETIME& fileTime);
// Seconds since 1970-01-01 as a DOS value, in local time when toLocal.
int32_t UnixTimeToDosDateTime(uint32_t seconds, bool toLocal);
// The DOS value taken as local time, converted to a UTC file time.
void DosDateTimeToUtcFileTime(int32_t dosDateTime, FILETIME& fileTime);
#endif

// ---- Paths (portable: MYTOOL_path.cpp) ----
// Only "\" separates; in UTF-16 no trail unit can be mistaken for it. A root is "X:\" for a
// path that starts with a drive letter and a colon, or "\\server\share\" for a network path.

// The root of the trimmed path with trailing "\" (appended when missing); empty without one.
std::wstring ExtractPathRoot(std::wstring_view path);
inline void ExtractPathRoot(std::wstring_view path, std::wstring& root) { root = ExtractPathRoot(path); }
// A network path: its root is longer than "X:\" and starts with "\".
bool IsUncPath(std::wstring_view path);
// The folder one level up without trailing "\"; for a root or a first-level folder the root
// without trailing "\".
std::wstring ExtractParentDir(std::wstring_view path);
inline void ExtractParentDir(std::wstring_view path, std::wstring& parent) { parent = ExtractParentDir(path); }
// The number of components after the root, a trailing "\" ignored; 0 without root.
int GetPathDepth(std::wstring_view path);
// The root plus the first n components, without trailing "\" (n = 0: the root without "\");
// empty when the path has no root or fewer than n levels.
std::wstring ExtractPathLevels(std::wstring_view path, int n);
inline void ExtractPathLevels(std::wstring_view path, int n, std::wstring& result) {
  result = ExtractPathLevels(path, n);
}
// The n-th component after the root (n = 0: the root without "\"); empty when there is none.
std::wstring ExtractPathLevelName(std::wstring_view path, int n);
inline void ExtractPathLevelName(std::wstring_view path, int n, std::wstring& name) {
  name = ExtractPathLevelName(path, n);
}
// The n-th piece (from 0) of the whole string cut at every "\", counted from its start, not
// from the root (a network path begins with two empty pieces).
std::wstring ExtractNthComponent(std::wstring_view path, int n);
inline void ExtractNthComponent(std::wstring_view path, int n, std::wstring& name) {
  name = ExtractNthComponent(path, n);
}
// "\" appended unless the path is empty or already ends in "\".
std::wstring IncludeTrailingBackslash(std::wstring_view path);
inline void IncludeTrailingBackslash(std::wstring_view path, std::wstring& result) {
  result = IncludeTrailingBackslash(path);
}
// One trailing "\" removed, also from a drive root.
std::wstring ExcludeTrailingBackslash(std::wstring_view path);
inline void ExcludeTrailingBackslash(std::wstring_view path, std::wstring& result) {
  result = ExcludeTrailingBackslash(path);
}
// One trailing "\" removed, except from a drive root such as "C:\".
std::wstring ExcludeTrailingBackslashKeepRoot(std::wstring_view path);
inline void ExcludeTrailingBackslashKeepRoot(std::wstring_view path, std::wstring& result) {
  result = ExcludeTrailingBackslashKeepRoot(path);
}
// The file name (the whole path when keepPath) without its extension. A name's leading dot
// (".profile") starts no extension.
std::wstring ExtractNameNoExt(std::wstring_view path, bool keepPath);
inline void ExtractNameNoExt(std::wstring_view path, bool keepPath, std::wstring& result) {
  result = ExtractNameNoExt(path, keepPath);
}
// The path holds "*" or "?" (after a leading "\\?\" prefix): it names no single entry.
bool HasWildcards(std::wstring_view path);
// The path is a root, with or without its trailing "\".
bool IsPathRoot(std::wstring_view path);

// ---- Files, drives and folders (MYTOOL_path_win.cpp) ----
// Every probe runs with the system's critical-error boxes switched off for the calling
// thread (TErrorModeGuard). A path holding "*" or "?" never names an existing entry.
#ifdef _WIN32
#include <functional>

// Switches the calling thread's error mode to "no critical-error and no open-file boxes"
// (0x8001) for its lifetime.
class TErrorModeGuard {
 public:
  TErrorModeGuard();
  ~TErrorModeGuard();
  TErrorModeGuard(const TErrorModeGuard&) = delete;
  TErrorModeGuard& operator=(const TErrorModeGuard&) = delete;

 private:
  DWORD FOld = 0;
  bool FSet = false;
};

// 0 nothing found, 1 folder, 2 file: the exact path (no pattern matching).
int GetPathKind(std::wstring_view path);
// True when the exact path is found, findData filled (roots have no entry of their own).
bool FindFirstSafe(std::wstring_view path, WIN32_FIND_DATAW& findData);
bool PathExists(std::wstring_view path);
// Drive A + driveIndex (0..25) is present; False outside that range.
bool DriveExists(int driveIndex);
// The drive of a drive-letter path is present, or the share of a network path is reachable;
// False for a path without root.
bool DriveOrShareExists(std::wstring_view path);
// DriveOrShareExists and (a root, or something is found there).
bool PathExistsAny(std::wstring_view path);
// DriveOrShareExists and (a root, or, trailing "\" aside, a folder).
bool FolderExists(std::wstring_view path);
// The folder holds nothing but "." and ".." (and "descript.ion" when ignoreDescriptIon).
// False when the folder cannot be listed. Lists the one folder only, never descends.
bool IsFolderEmpty(std::wstring_view path, bool ignoreDescriptIon);
// Creates every missing level of the path from the root down. True at once when the path
// already is a folder; True when all levels now exist; False when a level is a file, cannot
// be created, or is a link (junction or symbolic link) below which levels would have to be
// created. lastCreated := the deepest folder it created, empty when none.
bool ForceFolders(std::wstring_view path, std::wstring& lastCreated);
// The trimmed path made full; a path on a mapped network drive letter becomes its network
// form, and a network path to a share of this computer the share's local folder.
std::wstring NormalizePath(std::wstring_view path);
inline void NormalizePath(std::wstring_view path, std::wstring& full) { full = NormalizePath(path); }
// Both normalised (trailing "\" removed, drive roots kept) and equal ignoring case.
bool SamePath(std::wstring_view a, std::wstring_view b);
// The roots of both normalised paths are equal ignoring case.
bool SamePathRoot(std::wstring_view a, std::wstring_view b);
// Both normalised with trailing "\": True when b equals a; without subName when b lies
// inside a; with subName when b equals or lies inside a + subName, and with anyDepth also
// when a equals or lies inside b + subName.
bool IsSameOrSubPath(std::wstring_view a, std::wstring_view b, std::wstring_view subName, bool anyDepth);
// The short (8.3) form of an existing path; the path itself when there is none.
std::wstring GetShortPath(std::wstring_view path);
inline void GetShortPath(std::wstring_view path, std::wstring& shortPath) { shortPath = GetShortPath(path); }
// A name that exists in dir neither as file nor as folder: name itself, else with 1, 2, 3 ...
// inserted before its extension (splitExt) or appended; the name part only.
std::wstring MakeUniqueFileName(std::wstring_view dir, std::wstring_view name, bool splitExt);
inline void MakeUniqueFileName(std::wstring_view dir, std::wstring_view name, bool splitExt, std::wstring& result) {
  result = MakeUniqueFileName(dir, name, splitExt);
}
// Environment variables in s expanded; the result is at most ExpandEnvMax characters. Empty
// on failure, with an error box of the system's text when showError.
constexpr size_t ExpandEnvMax = 512;
std::wstring ExpandEnvStr(std::wstring_view s, bool showError);
inline void ExpandEnvStr(std::wstring_view s, bool showError, std::wstring& result) {
  result = ExpandEnvStr(s, showError);
}
// The process's current folder; "C:\" on failure.
std::wstring GetCurrentDir();
inline void GetCurrentDir(std::wstring& dir) { dir = GetCurrentDir(); }
// The folder of the program file, with trailing "\".
std::wstring GetProgramDir();
inline void GetProgramDir(std::wstring& dir) { dir = GetProgramDir(); }
// The volume label of the drive whose root is given ("\" added when missing); empty on failure.
std::wstring GetVolumeLabel(std::wstring_view root);
inline void GetVolumeLabel(std::wstring_view root, std::wstring& label) { label = GetVolumeLabel(root); }
// The path of a special shell folder (CSIDL_*); empty on failure.
std::wstring GetSpecialFolderPath(int csidl);
inline void GetSpecialFolderPath(int csidl, std::wstring& path) { path = GetSpecialFolderPath(csidl); }
// The system's text for a Windows error code, trailing line breaks cut, in the language the
// language file asks for (GetSystemErrorText with the default language): the one routine for
// every error box that shows a system error.
std::wstring SystemErrorText(DWORD code);

// What CheckPathReachable found: whether the folder can be entered, and the error to show
// when it cannot (a system error code or a message number; neither when there is nothing to
// say).
struct TPathReach {
  bool Reachable = false;
  DWORD SystemError = 0;
  int MessageId = 0;
};
// The probe behind CheckPathReachable; shellOwner is the window for the shell's questions.
TPathReach ProbePathReachable(HWND shellOwner, std::wstring_view path);
// Whether a folder can be entered, with the hourglass shown. ownerWnd counts only when it is
// the active form's window: it then owns the shell's questions and the error box.
bool CheckPathReachable(HWND ownerWnd, std::wstring_view path);
#endif

// ---- Programs (MYTOOL_shell_win.cpp) ----
#ifdef _WIN32
// Starts a program in folder dir, in a new console at normal priority, its window shown with
// showCmd. The command line is appName in double quotes, a blank and params when appName is
// given, else params alone. -1 when it cannot start (also when appName holds a double quote,
// or when params would let a batch file's command interpreter run a second command); without
// wait 0 at once; with wait the caller's messages are processed every 20 ms until the program
// ends, and its exit code is returned.
int RunProgram(const wchar_t* appName, const wchar_t* params, std::wstring_view dir, WORD showCmd, bool wait);
#endif

// ---- Screen, keyboard and windows (MYTOOL_ui_win.cpp) ----
#ifdef _WIN32
#include "foundation/HanINI.h"

#include "framework/ShiftState.h"

// Bits per pixel of the screen.
int GetScreenColorDepth();
// Shift, Alt, Ctrl and the left and right mouse buttons as they are now.
TShiftState GetCurrentShiftState();
// The application's active form: the active window of the calling thread.
HWND GetActiveForm();
// The system's default beep (the Win32 Beep of two arguments plays a tone instead).
void Beep();
// The desktop window, owner of shell menus and shell commands.
HWND GetDesktopHandle();
// The window's input method is exactly in native (Hangul) conversion mode. Without a window,
// the active form's.
bool IsHangulMode(HWND wnd = nullptr);
// Native conversion when on and the system language is Korean, else alphanumeric.
void SetHangulMode(bool on, HWND wnd = nullptr);
// kind 1: the window has a vertical scroll bar; kind 0: a horizontal one.
bool HasScrollBar(HWND wnd, int kind);
// rect := the window's normal-position rectangle as left, top, width, height (its bounds when
// the system's placement cannot be read) and whether it is maximised; returns that flag.
bool SaveWindowPlacement(HWND form, TIniRect& rect);
// Places the window at a rectangle stored by SaveWindowPlacement, maximised when its flag
// says so.
void RestoreWindowPlacement(HWND wnd, const TIniRect& rect);
// Keypad scan codes: 71 Home, 72 Up, 73 PgUp, 75 Left, 76 the middle key, 77 Right, 79 End,
// 80 Down, 81 PgDn.
// Moves a window that is not maximised inside its work area: Home/End to the left/right
// edge, PgUp/PgDn to the top/bottom, arrows 50 pixels (clamped), the middle key centres.
void MoveWindowByKey(HWND form, int scanCode);
// Resizes: arrows 15 pixels (growth clamped to the work area, the window moved back inside),
// Home width 0, PgUp height 0 (the system's minimum applies), End the work area's full width,
// PgDn its full height, the middle key toggles maximised and restored; a maximised window
// reacts only to the middle key.
void SizeWindowByKey(HWND form, int scanCode);
// Lines with the device context's current pen, both end points included.
void DrawHLine(HDC dc, int x1, int y, int x2);
void DrawVLine(HDC dc, int x, int y1, int y2);

// ---- Images and menus (MYTOOL_ui_win.cpp) ----
#include <commctrl.h>
#include <memory>
#include <vector>

#include "framework/Handles.h"

// Adds icon iconNo of the shell's icon library (the system's shell-icon overrides honoured)
// small or large; its index, or -1.
int AddShellIconToImageList(HIMAGELIST imageList, int iconNo, bool large);
// Adds an icon to the list; its index, or -1.
int AddIconToImageList(HIMAGELIST imageList, HICON icon);
// The same icons for several numbers at once, in their order (an empty handle where one cannot
// be read).
std::vector<TIconHandle> ExtractShellIcons(const std::vector<int>& iconNos, bool large);
// The folder icon (shell icon 3).
int AddFolderIconToImageList(HIMAGELIST imageList, bool large);
// Adds the program's bitmap resource, masked by the colour of its bottom-right pixel; its
// index, or -1.
int AddBitmapResToImageList(HIMAGELIST imageList, std::wstring_view resName);
// Creates dest (or empties it) as a masked list of width x height images holding a grey copy
// of every image of source, each masked by its bottom-right pixel.
void MakeDisabledImageList(HIMAGELIST source, TImageListHandle& dest, int width, int height);
// A grey copy: grey = (3 red + 4 green + blue) div 8. The caller owns the result.
HBITMAP GrayBitmap(HBITMAP src);
// Sets the window's icon to one made from the bitmap resource (transparent colour: its
// bottom-right pixel); False when the resource cannot be loaded.
bool SetFormIconFromBitmapRes(HWND form, std::wstring_view resName);

// Menu short cuts: the virtual key in the low byte, plus these bits.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
// "Ctrl+Shift+F5", as a menu shows it; empty for 0.
std::wstring ShortCutToText(TShortCut shortCut);

// One menu entry. A caption of "-" is a separator.
struct TMenuItemRec {
  std::wstring Caption;
  TShortCut ShortCut = 0;
  int Tag = 0;
  std::function<void(TMenuItemRec&)> OnClick;
  int ImageIndex = -1;
  int HelpCtx = 0;
  bool Checked = false;
  bool Enabled = true;
  bool RadioItem = false;
  bool AutoHotkeys = false;  // "&" hot keys are set by hand
  UINT Command = 0;          // the command number the menu reports
};
// A new unowned item: unchecked, enabled, not a radio item, hot keys by hand.
std::unique_ptr<TMenuItemRec> NewMenuItem(std::wstring_view caption, TShortCut shortCut, int tag,
                                          std::function<void(TMenuItemRec&)> onClick, int imageIndex, int helpCtx);
// A new item with caption "-" and no image.
std::unique_ptr<TMenuItemRec> NewSeparatorItem();
// Appends the item to a menu handle with its command number, caption and short-cut text.
bool AppendMenuItemRec(HMENU menu, const TMenuItemRec& item);

// A pop-up menu handle together with the items it owns; commands are numbered from
// FirstCommand in the order the items were added.
class THanPopupItems {
 public:
  explicit THanPopupItems(UINT firstCommand = 100);
  THanPopupItems(const THanPopupItems&) = delete;
  THanPopupItems& operator=(const THanPopupItems&) = delete;
  HMENU Handle() const { return FHandle.get(); }
  // Takes the item, gives it the next command number and appends it to the menu.
  TMenuItemRec& Add(std::unique_ptr<TMenuItemRec> item);
  TMenuItemRec* FindCommand(UINT command);
  // Runs the item's click handler for a command the menu reported; False when none.
  bool Click(UINT command);
  const std::vector<std::unique_ptr<TMenuItemRec>>& Items() const { return FItems; }

 private:
  TMenuHandle FHandle;
  UINT FNext;
  std::vector<std::unique_ptr<TMenuItemRec>> FItems;
};
// Creates an item owned by the menu and appends it to the menu's items.
TMenuItemRec& AddPopupItem(THanPopupItems& menu, std::wstring_view caption, int imageIndex,
                           std::function<void(TMenuItemRec&)> onClick, int tag, TShortCut shortCut, int helpCtx);
#endif

// ---- Network neighbourhood (MYTOOL_net_win.cpp) ----
#ifdef _WIN32
// One resource of the neighbourhood as the network reports it.
struct TNetEntry {
  std::wstring RemoteName, LocalName, Provider, Comment;
  DWORD Scope = 0, Type = 0, DisplayType = 0, Usage = 0;
};
// Where the neighbourhood comes from: the system's network, or whatever a test feeds in.
class TNetSource {
 public:
  virtual ~TNetSource() = default;
  virtual bool HasNetwork() = 0;
  // The children of an entry (nullptr: the top of the network), disk resources and
  // containers only; False when the entry cannot be opened.
  virtual bool ListChildren(const TNetEntry* parent, std::vector<TNetEntry>& children) = 0;
};
// The system's network through the multiple-provider router.
std::unique_ptr<TNetSource> NewSystemNetSource();

struct TNetNode {
  TNetEntry Resource;
  int ImageIndex = 0;     // the entry's display type (generic, domain, server, share, ...)
  bool IsDisk = false;    // a disk share: a path that can be entered
  bool Read = false;      // its children were enumerated
  bool Expanded = false;  // set and cleared by the drive chooser
  TNetNode* Parent = nullptr;
  std::vector<std::unique_ptr<TNetNode>> Children;
};

class TNetDrive {
 public:
  // Containers are read this many levels deep by Refresh; deeper ones wait for Enumerate.
  static constexpr int MaxAutoLevel = 4;
  // Entries kept at most, whatever a damaged or hostile provider reports.
  static constexpr size_t MaxEntries = 20000;

  explicit TNetDrive(std::unique_ptr<TNetSource> source = nullptr);
  // Marks the tree filled, clears it and enumerates the network from the top when the system
  // has one, with the hourglass shown.
  void Refresh();
  // Reads the children of node (nullptr: the top) on demand, disk resources only, from
  // netResource when given, else from the node's own resource; when opening fails for a node
  // whose remote name Reachable then reaches, it tries once more. Marks the node read;
  // containers below level MaxAutoLevel are read too.
  void Enumerate(TNetNode* node, const TNetEntry* netResource, int level);
  void Clear();
  size_t Count() const { return FCount; }

  TNetNode Root;        // the invisible top; its children are the networks
  bool Filled = false;  // the network was enumerated at least once
  // Whether a path can be entered; CheckPathReachable without an owner by default.
  std::function<bool(const std::wstring&)> Reachable;

 private:
  std::unique_ptr<TNetSource> FSource;
  size_t FCount = 0;
};
// The program's one network neighbourhood.
extern TNetDrive NetDrives;
#endif
