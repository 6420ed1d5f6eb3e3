#pragma once
// The target folder chooser: a small dialog with the suggested folder and a history of
// earlier targets in a combo box, a button (and F10) for the folder manager's folder chooser,
// and OK and Cancel.
#include <functional>
#include <string>

#include "foundation/HanForm.h"

class TSelectPathForm : public THanForm {
 public:
  explicit TSelectPathForm(TComponent* owner);
  ~TSelectPathForm() override;

  TControl* GroupBox = nullptr;
  THanButton* OkBtn = nullptr;
  THanButton* CancelBtn = nullptr;
  THanButton* ChooserBtn = nullptr;
  TComboBox* Combo = nullptr;
  std::wstring ChooserTitle;
  std::wstring InitialPath;

  // Runs the folder chooser from the combo's text.
  void ChooseFolder();
  // The typed text made a full path: a bare name lies in the initial path, a path without
  // drive or share on the initial path's drive. Empty for an empty text.
  std::wstring ResolvedPath() const;
};

// The folder manager's folder chooser (initial folder, title; out: the chosen folder, empty
// when cancelled). Until the folder manager installs it, the chooser button and F10 do nothing.
using TFolderChooser = std::function<std::wstring(const std::wstring& initial, const std::wstring& title)>;
extern TFolderChooser TargetFolderChooser;

// Asks for a target folder. history holds earlier targets, one per CR-separated line. On OK
// path takes the chosen text (made full); otherwise it keeps its value. True on OK.
bool SelectTargetPath(const std::wstring& caption, const std::wstring& chooserTitle, const std::wstring& history,
                      const std::wstring& initialPath, std::wstring& path);
