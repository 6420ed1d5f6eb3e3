#pragma once
// The rename dialog: a simple page that renames the first item of its list by a typed name,
// one item after the other, and an advanced page that computes every item's new name from
// the name and extension patterns, shows old and new names side by side, renames them all in
// one run, can undo the run and can write the list of renames to "M_REN.TXT".
//
// The caller adds the items (AddItem), shows the dialog when ItemCount is not 0, and then
// reads Changed, FocusedName and DoneList (it unselects the renamed items and rereads its
// panels).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fileops/RenPattern.h"
#include "foundation/G_GUAGE.h"
#include "foundation/HanForm.h"
#include "foundation/HanPopup.h"
#include "foundation/ScrListV.h"

class THanDescMan;

// One row of the rename list.
struct TListItemObject {
  std::wstring Name;  // without extension; a folder's whole name
  std::wstring Ext;   // without its dot
  std::wstring ShortName;
  std::wstring NewName;
  int64_t Size = 0;
  uint32_t Attr = 0;  // 0x10: a folder
  TDateTime Date = 0;
  std::wstring Folder;  // with trailing "\"
  bool Done = false;    // renamed in the last run

  bool IsFolder() const { return (Attr & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  // Name, + "." + Ext for a file with an extension.
  std::wstring FullName() const;
};

// The folder tree cache of a drive as the rename dialog uses it: one folder renamed.
class TRenameTreeCache {
 public:
  virtual ~TRenameTreeCache() = default;
  virtual void RenameFolder(const std::wstring& oldPath, const std::wstring& newPath) = 0;
};
// Makes the cache of the drive that holds path (null: the drive has none). The folder
// manager installs its own; without one, folder renames leave no trace in a tree file.
using TRenameTreeCacheFactory = std::function<std::unique_ptr<TRenameTreeCache>(HWND owner, const std::wstring& path)>;
extern TRenameTreeCacheFactory RenameTreeCacheFactory;

// A system control (static, check box, group box, combo list, up-down, tab control) wrapped
// as a framework control; notifications reach OnCommand and OnNotify.
class TRenSysControl : public TControl {
 public:
  TRenSysControl(TComponent* owner, const wchar_t* className, DWORD style, DWORD exStyle = 0);
  std::function<void(WORD code)> OnCommand;
  std::function<bool(NMHDR& header, LRESULT& result)> OnNotify;
  LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return SendMessageW(FHandle, msg, wp, lp); }

 protected:
  void CreateParams(TCreateParams& params) override;
  void CommandNotify(WORD code) override;
  bool NotifyMessage(NMHDR& header, LRESULT& result) override;
  int WindowHeightFor(int height) const override;

 private:
  const wchar_t* FClass;
  DWORD FStyle, FExStyle;
};

// The list of the advanced page: Alt+Up and Alt+Down move the selected row, Delete removes
// it, the context-menu key opens the row menu, typing searches a row by its name.
class TRenListView : public TScrListView {
 public:
  explicit TRenListView(TComponent* owner) : TScrListView(owner) {}
  std::function<void(bool up)> OnAltMove;
  std::function<void()> OnDeleteKey;
  std::function<void(int x, int y, bool fromKey)> OnContextMenu;
  std::function<void(wchar_t c)> OnTypeChar;

 protected:
  bool WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

class TRenameForm : public THanForm {
 public:
  explicit TRenameForm(TComponent* owner);
  ~TRenameForm() override;

  void AddItem(const std::wstring& Name, const std::wstring& Ext, bool AtTop, uint32_t Attr,
               const std::wstring& Folder, TDateTime Date, int64_t Size, const std::wstring& ShortName);
  int ItemCount() const { return static_cast<int>(FRows.size()); }
  const TListItemObject& Item(int i) const { return FRows[static_cast<size_t>(i)]; }
  const std::vector<TListItemObject>& UndoList() const { return FUndo; }

  // Recomputes every row's new name from the advanced page.
  void UpdatePreview();
  // Renames the row at Index (or, for an undo, the undo record at Index back); true on success.
  bool RenameOne(int Index, const std::wstring& NewName, bool Undo, bool Batch);
  void StartRename();
  void UndoAll(bool Ask);
  void ShowResult();
  // The simple page's change button.
  void ChangeSimple();
  // Shows a page: 0 simple, 1 advanced.
  void SetPage(int page);
  int Page() const { return FPage; }
  // The text of the result file for the last run ("" when nothing was renamed).
  std::wstring ResultText() const;
  // The file the last ShowResult wrote.
  std::wstring ResultFile;
  // Opens the result file; replaceable for tests. False with the system's error code.
  std::function<bool(const std::wstring& path, DWORD& error)> OnOpenResult;

  bool Changed = false;
  std::wstring FocusedName;
  std::wstring DoneList;  // full old paths, separated by CR
  bool StartAdvanced = false;
  // F1: the help topic of the page shown ("renamehi" advanced, "rename" simple).
  std::function<void(const std::wstring& topic)> OnHelp;

  // Controls (tests drive them by messages).
  TRenSysControl* Tabs = nullptr;
  // Simple page.
  TRenSysControl* TargetLabel = nullptr;
  TEdit* SimpleEdit = nullptr;
  TRenSysControl* ExtNoRenameBox = nullptr;
  THanButton* ChangeButton = nullptr;
  // Advanced page.
  TEdit* NamePattern = nullptr;
  TEdit* ExtPattern = nullptr;
  TEdit* StartEdit = nullptr;
  TEdit* StepEdit = nullptr;
  TRenSysControl* DigitList = nullptr;
  TRenSysControl* AutoDigitBox = nullptr;
  TRenSysControl* CaseList = nullptr;
  TEdit* FindEdit = nullptr;
  TEdit* ReplaceEdit = nullptr;
  TRenListView* List = nullptr;
  THanButton* StartButton = nullptr;
  THanButton* UndoButton = nullptr;
  THanButton* ResultButton = nullptr;
  THanButton* CloseButton = nullptr;
  TGProgress* Progress = nullptr;
  // Token buttons by their token text, name group then extension group.
  std::vector<std::pair<THanButton*, TEdit*>> TokenButtons;

  // Row list operations of the advanced page.
  void SortByColumn(int column);
  void MoveRow(int from, int to);
  void RemoveRow(int index);

 protected:
  void DoShow() override;
  void Resized() override;

 private:
  void BuildControls();
  void LoadSettings();
  void SaveSettings();
  void ShowSimpleRow();
  void RefreshList();
  void SetRowText(int i);
  void InsertToken(TEdit* edit, const std::wstring& token);
  bool UsesCounter() const;
  TRenameSettings PreviewSettings() const;
  bool IsChecked(TRenSysControl* box) const;
  bool RenameRecord(TListItemObject& rec, const std::wstring& newName, bool undo, bool batch);
  void NoteDescription(const TListItemObject& rec, const std::wstring& oldName, const std::wstring& newName,
                       const std::wstring& newShort);
  void SaveDescriptions();
  void OnExtNoRenameClick();
  void ListTypeSearch(wchar_t c);
  void RowMenu(int x, int y, bool fromKey);
  void LayoutAdvanced();

  std::vector<TListItemObject> FRows;
  std::vector<TListItemObject> FUndo;
  int FFolderCount = 0;
  size_t FMaxNameLen = 0, FMaxExtLen = 0;
  int FPage = 1;
  int FAdvancedHeight = 0;
  int FSortColumn = -1;
  bool FSortAscending = true;
  bool FInPreview = false;
  bool FLastRenamed = false;  // the last successful RenameRecord really renamed
  std::wstring FSearch;
  DWORD FSearchTick = 0;
  // [RENAME] and [Option] settings.
  int FNameCase = 0;
  bool FExtNoRename = false;
  int FDigit = 4;
  bool FAutoDigit = false;
  int FColWidths[6] = {100, 50, 140, 80, 120, 100};
  int FWinLeft = -1, FWinTop = -1, FWinWidth = 630, FWinHeight = 460;
  // The descriptions of the folder of the last renamed item, and the tree cache of its drive.
  std::unique_ptr<THanDescMan> FDesc;
  std::wstring FDescFolder;
  std::unique_ptr<TRenameTreeCache> FTree;
  std::wstring FTreeRoot;
};
