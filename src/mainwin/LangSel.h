#pragma once
// The language chooser, the small program "Language.Exe" beside the main program: it lists the
// built-in Korean texts and every language file in the program folder's "Language" folder (by
// the ID its [main] section gives), and writes the choice as the "Use" entry of
// "language.ini", which the main program reads when it starts.
#include <functional>
#include <string>
#include <vector>

#include "foundation/HanForm.h"

class TSysControl;

struct TLanguageEntry {
  std::wstring File;  // the file name as "Use" names it; empty for the built-in texts
  std::wstring ID;    // what the list shows
};

// The built-in texts first, then the language files ("*.lng") by name.
std::vector<TLanguageEntry> ListLanguageFiles(const std::wstring& programFolder);
// The "Use" entry of a language.ini (empty when the file or the entry is missing).
std::wstring ReadLanguageUse(const std::wstring& iniFile);
// Sets the "Use" entry, keeping the file's other lines and its encoding; the file is written
// beside and swapped in. False when it could not be written.
bool WriteLanguageUse(const std::wstring& iniFile, const std::wstring& use);

class TLanguageForm : public THanForm {
 public:
  TLanguageForm(TComponent* owner, const std::wstring& programFolder);
  std::vector<TLanguageEntry> Entries;
  TSysControl* InfoLbl = nullptr;
  TSysControl* LanguageList = nullptr;
  THanButton* OkBtn = nullptr;
  THanButton* CancelBtn = nullptr;
  int ItemIndex() const;
  void SetItemIndex(int i);
  // Writes the choice; false (after telling the user) when it could not be written.
  bool OkBtnClick();

 private:
  std::wstring FProgramFolder;
};

extern std::function<void(TLanguageForm& form)> LanguageFormShown;
// The chooser program: shows the list and writes the choice on OK. Returns the exit code
// (0 chosen, 1 cancelled or not written).
int RunLanguageChooser(const std::wstring& programFolder);
