#pragma once
// The rename command of a panel (Alt+R): the selected items of its list (or the focused one)
// go to the rename dialog; afterwards the renamed items are unselected, and the caller rereads
// its panels and puts the focus on FocusedName.
#include <functional>
#include <string>

class TMFList;
class TRenameForm;

struct TRenameOutcome {
  bool Shown = false;     // the dialog had items and was shown
  bool Changed = false;   // at least one item was renamed
  std::wstring FocusedName;  // the focused item's name after the dialog
};

// ShowModal runs the dialog; tests drive it through their own. Advanced opens the dialog on its
// pattern page.
TRenameOutcome RunRenameCommand(TMFList& list, const std::function<int(TRenameForm&)>& showModal = nullptr,
                                bool advanced = false);
// The same for one folder (the panel's folder tree's); the tree follows through the folder
// tree cache's rename notice.
TRenameOutcome RunRenameFolder(const std::wstring& folderPath, const std::function<int(TRenameForm&)>& showModal = nullptr,
                               bool advanced = false);
