#pragma once
// The program's commands as data: one row per command (number, caption message, menu, short
// cut, image, enabled and checked predicates, handler). The one table drives the menu bar,
// the tool bar, the key map, the function-key line and the enabled and checked states. A new
// command, or the real handler of one whose subsystem arrives later, is one row or one
// RegisterCommand call; a row without handler says in a message box that it is not there yet.
#include <functional>
#include <string>
#include <vector>

#include "foundation/MYTOOL.h"

class TQ7XForm;
class TPanelFolderTree;

// Where an item stands in the menu bar.
enum TMenuPlace : uint8_t {
  mpFile, mpEdit, mpPath, mpArchive, mpView, mpViewWindow, mpViewControls, mpViewSort, mpViewFilter,
  mpViewSpacing, mpTools, mpHelp, mpNone
};

using TCommandTest = std::function<bool(TQ7XForm& form)>;
using TCommandHandler = std::function<void(TQ7XForm& form, TShiftState shift)>;
// The same commands acting on the folder of the active panel's folder tree.
using TTreeCommandTest = std::function<bool(TQ7XForm& form, TPanelFolderTree& tree)>;
using TTreeCommandHandler = std::function<void(TQ7XForm& form, TPanelFolderTree& tree, TShiftState shift)>;

struct TCommandRow {
  int Tag = 0;
  int Msg = 0;                  // caption message; 0: Literal is the caption
  const wchar_t* Literal = L"";
  TMenuPlace Menu = mpNone;
  TShortCut ShortCut = 0;
  int Image = -1;
  bool SeparatorBefore = false;
  TCommandTest Enabled;  // none: always enabled
  TCommandTest Checked;  // none: never checked
  TCommandHandler Run;   // none: not there yet
  std::wstring Caption() const;
};

// The table in menu order.
std::vector<TCommandRow>& CommandTable();
const TCommandRow* FindCommand(int tag);
// Replaces a row's handler (and, when given, its enabled test): how a subsystem that arrives
// later wires its commands.
void RegisterCommand(int tag, TCommandHandler run, TCommandTest enabled = nullptr);
// While the folder tree takes the commands (CommandTree), a command with a route runs on the
// tree's folder; one without acts on the list as ever.
struct TTreeCommandRoute {
  TTreeCommandHandler Run;
  TTreeCommandTest Enabled;  // none: always enabled
};
void RegisterTreeCommand(int tag, TTreeCommandHandler run, TTreeCommandTest enabled = nullptr);
const TTreeCommandRoute* FindTreeCommand(int tag);
// The folder tree the commands act on: the active panel's, while it has the focus or while a
// command of its own menu runs; null otherwise.
TPanelFolderTree* CommandTree(TQ7XForm& form);
// Whether a row's command can run now (on the tree's folder when the tree takes it).
bool CommandEnabled(TQ7XForm& form, const TCommandRow& row);
// The commands that change several folders at once; the folder trees keep their notices
// until such a command has ended.
bool IsMultiItemCommand(int tag);

// The short cut a row answers to now (Ctrl+X moves between cut and extract with CtrlXExtract).
TShortCut EffectiveShortCut(const TCommandRow& row);
// The command a key with the shift bits (Shift 1, Alt 2, Ctrl 4) runs, or 0.
int CommandForKey(WORD key, TShiftState shift);

// The numbered commands 1..38 (names from messages 3201..3238) and the menu command each runs.
int NumberedCommandTag(int number);
// The numbered command a function-key slot runs when the user bound nothing to it: F2..F9 are
// slots 0..7, Ctrl+F1..Ctrl+F10 slots 8..17; 0 for none.
int DefaultSlotCommand(int slot);
// The slot of a key with the shift bits, or -1.
int FunctionKeySlot(WORD key, TShiftState shift);

// The tool bar's buttons 0..21: the command each runs, its caption message.
struct TToolButtonRow {
  int Tag;
  int Msg;
};
const std::vector<TToolButtonRow>& ToolButtonTable();

// The file mask a display filter lists: 1 all files, 2 programs, 3 archives; 0, 4 and 5 the
// user's mask (4 and 5 also keep only extensions with a program or a colour, in the list).
std::wstring DisplayFilterMask(int filter, const std::wstring& userMask);

// A caption without its accelerator: "복사(&C)" gives "복사", "&Open" gives "Open".
std::wstring PlainCaption(const std::wstring& caption);

// Menu captions of the seven top menus and of the five sub-menus of View.
int MenuCaptionMsg(TMenuPlace place);
