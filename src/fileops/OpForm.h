#pragma once
// The progress window of a long file operation, run modally by hand: the window is shown
// modally but the operation's own loop does the work, pumps the message queue after every
// block or item and polls ModalResult, which the Cancel button sets to 2. Copy and move,
// delete, attributes, split and join and the archive progress window derive from it.
//
// It also keeps the minimised title: minimising the window minimises the whole application
// (through the main form); while the application is minimised its title shows the operation
// and the total percentage, and the title saved at the start is put back afterwards.
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "foundation/G_GUAGE.h"
#include "foundation/HLABEL.h"
#include "foundation/HanForm.h"
#include "foundation/MYTOOL.h"
#include "framework/GroupFrame.h"

// A message text with each "%S" filled by the next value, in order.
std::wstring FormatText(std::wstring text, std::initializer_list<std::wstring> values);
// The name after the last "\", and the folder up to and with it (empty without one).
std::wstring PathFilePart(const std::wstring& path);
std::wstring PathFolderPart(const std::wstring& path);

// One entry of a folder as the file operations walk it. A junction or symbolic link has
// FILE_ATTRIBUTE_REPARSE_POINT in Attr (and no other entry has it): it is never entered.
struct TFolderEntry {
  std::wstring Name, ShortName;
  DWORD Attr = 0;
  int64_t Size = 0;
  TDateTime Date = 0;  // last write, local
  bool IsFolder() const { return (Attr & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLink() const { return (Attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};
// The entries of a folder without "." and "..", read whole before anything is changed.
std::vector<TFolderEntry> ListFolderEntries(const std::wstring& folder);

class TOperationForm : public THanForm {
 public:
  explicit TOperationForm(TComponent* owner);

  // The modal run by hand: cancels a drag and any mouse capture, disables the other windows,
  // shows the window, runs RunOperation, hides the window, enables the others again and
  // reactivates the window that was active. Returns ModalResult as the operation left it.
  int Execute();
  virtual void RunOperation() = 0;

  // The operation's name in questions and in the minimised title (복사, 이동, ...).
  std::wstring OperationName;

  // The stop check: nothing unless ModalResult is 2. A stop once confirmed stays confirmed.
  // When allDone the press is ignored. Otherwise StopQuestionMsg asks whether to stop: Yes
  // stops, No sets ModalResult back to 0. True when the run is to stop.
  bool CheckCancel(bool allDone = false);
  // The stop question's message (its "%S" is the operation's name).
  int StopQuestionMsg = 10506;
  bool StopConfirmed() const { return FStopConfirmed; }
  // The error question: Skip / Skip all errors / Cancel, unless every error is skipped
  // already. True to go on (skip), false to stop.
  bool AskSkipOnError(const std::wstring& text);
  bool SkipAllErrors = false;
  // Clears the stop and skip-all state for a new run.
  void ResetRunState();

  // "<P>path<>" in quotes, then the system's text for the error.
  static std::wstring ErrorText(const std::wstring& path, DWORD error);

  // The minimised title: call BeginTitle at the start of a run, ShowPercent after progress
  // (below 0: the operation's name alone), EndTitle at the end.
  void BeginTitle();
  void ShowPercent(int percent);
  void EndTitle();
  static bool ApplicationMinimized();

  // Pumps the message queue (the hand-run loop's breath).
  static void Pump();

  // Brings the window's figures up to date at once; the questions call it first, so that a
  // window that refreshes itself only a few times a second never asks under stale names.
  virtual void FlushProgress() {}

  // Building the window: a single border with the system menu and minimise box, the main
  // font, the client size; a label, a progress bar (solid, gradient, separator 12, width 512)
  // and the Cancel button that sets ModalResult 2.
  void SetUpWindow(int clientWidth, int clientHeight, TPosition position);
  THanElLabel* AddLabel(int left, int top, int width, bool right);
  TGProgress* AddBar(int left, int top, TColor from, TColor to);
  THanButton* AddCancelButton(int left, int top);

 protected:
  // The system menu and the minimise box; no maximise box.
  void CreateParams(TCreateParams& params) override;
  bool FStopConfirmed = false;
  std::wstring FSavedTitle, FSavedCaption;
  bool FWasMinimized = false;
};

// The progress window of copy and move and of split and join: the source and target labels,
// the item's name and counter, the item's and the total bar with their percentages and byte
// counts, Cancel (which sets ModalResult 2) and the speed line, in one layout; the bars take
// the operation's colours.
class TProgressForm : public TOperationForm {
 public:
  TProgressForm(TComponent* owner, TColor fileFrom, TColor fileTo, TColor totalFrom, TColor totalTo);

  THanLabelEX* SourceLabel = nullptr;
  THanLabelEX* TargetLabel = nullptr;
  THanElLabel* NameLabel = nullptr;
  THanElLabel* CountLabel = nullptr;
  TGProgress* FileBar = nullptr;
  THanElLabel* FilePercentLabel = nullptr;
  THanElLabel* FileDoneLabel = nullptr;
  THanElLabel* FileSizeLabel = nullptr;
  TGProgress* TotalBar = nullptr;
  THanElLabel* TotalPercentLabel = nullptr;
  THanElLabel* TotalDoneLabel = nullptr;
  THanElLabel* TotalSizeLabel = nullptr;
  THanButton* CancelBtn = nullptr;
  THanElLabel* SpeedLabel = nullptr;

  // The speed line: "(" KB per second and its unit ")", after the time left and its word
  // when that can be told.
  static std::wstring SpeedText(int64_t bytesMoved, int64_t seconds, int64_t bytesLeft, bool showLeft,
                                const std::wstring& perSecond, const std::wstring& leftWord);
};
