#pragma once
// Command lines: a template with "%" codes (file name, short name, folder, a list file of the
// selection, a folder or a favourite or a drive picked in a dialog, ...) expanded into the
// text to run, and the ways the main form runs such lines: user programs on function keys and
// extensions, the DOS command prompt with its built-in change of folder, the current file run
// with typed parameters, and the program choice of Enter on a file.
//
// Texts taken from names are trimmed and, with AutoQuotation, put in double quotes when they
// hold a blank; a name holding a character with which the command interpreter would start a
// second command (& | < > ^) is always quoted, unless it already stands inside quotes of the
// template.
#include <cstdint>
#include <functional>
#include <string>

class TQ7XForm;
class TPanelView;
class TMFList;

struct TCommandExpansion {
  std::wstring Command;
  uint8_t UseCommandInterpreter = 0;  // "%C"
  uint8_t HasRunFolder = 0;           // "%$"
  std::wstring RunFolder;
};

// What an expansion asks of the rest of the program; an unset service gives an empty text.
struct TExpandServices {
  std::function<std::wstring(const std::wstring& folder)> ChooseFolder;     // %D, %d
  std::function<std::wstring(const std::wstring& current)> ChooseFavourite;  // %Q, %q dialog
  std::function<void()> FavouritesClosed;                                    // after that dialog
  std::function<std::wstring()> ChooseDrive;                                 // %R, %r
  std::function<std::wstring()> SaveFileList;                                // %L, %l
};

// Expands a template for the folder (with trailing backslash) and the item name (no path;
// may be empty).
void ExpandCommandTemplate(const std::wstring& templ, const std::wstring& folder, const std::wstring& itemName,
                           const TExpandServices& services, TCommandExpansion& result);
// A command split into program and parameters: a leading quoted program ends at its closing
// quote, else at the first blank; both trimmed.
void SplitCommand(const std::wstring& command, std::wstring& program, std::wstring& params);
// The folder of an archive entry extracted for a command: the extraction folder with the
// entry's folder inside the archive appended, normalised; false when the result would not
// lie under the extraction folder (a damaged or hostile name).
bool ArchiveRunFolder(const std::wstring& extracted, const std::wstring& innerFolder, std::wstring& folder);
// The command interpreter: the environment's comspec, else "cmd.exe".
std::wstring CommandInterpreter();
// Writes the full paths of the list's selected items (else the focused one) to a new list
// file in the scratch folder: one per line, CR LF, in the ANSI code page when every name fits,
// else UTF-8 with a byte-order mark. Returns its full name, empty on failure.
std::wstring WriteSelectionList(TMFList& list);

// The dialogs that later parts of the program bring (the favourites list and the drive
// chooser): current folder and whether editing is allowed, out the chosen folder; the drive
// chooser's caption, out the chosen root. Unset: the codes give an empty text.
extern std::function<std::wstring(const std::wstring& current, bool allowEdit)> FavouritesDialog;
extern std::function<std::wstring(const std::wstring& path, const std::wstring& caption)> DriveDialog;
// The archive layer's extraction of the focused entry to a temporary folder, for a command
// that needs the entry as a file: the folder ("1" first when the entry's inner folder is to
// be appended), empty when nothing was extracted. Unset: nothing is extracted.
extern std::function<std::wstring(TQ7XForm& form)> ExtractForRun;
// Opens the focused entry of an archive with a command text. Unset: a beep.
extern std::function<void(TQ7XForm& form, const std::wstring& text)> OpenArchiveItem;
// The built-in change of folder of the DOS prompt (on unless switched off).
extern bool DosBuiltinCommands;
// "\\server" (with or without a trailing backslash): a network server with no share named.
bool IsBareServerName(const std::wstring& path);

// Puts the DOS prompt (menu 1402, "/") and run with parameters (1401, Ctrl+Enter) in place;
// called once at start-up.
void InstallCommandLines();
