// "Language.Exe": the language chooser beside the main program. It lists the language files
// of the program folder and writes the choice into "language.ini"; the main program takes it
// when it starts next.
#include <windows.h>

#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "framework/Forms.h"
#include "mainwin/LangSel.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  InitFolders();
  LanguageObject();
  // The chooser speaks the language chosen now.
  SelectLanguageFromIni();
  InitStdButtonLists();
  Application().Title = LoadMessageText(30637);
  return RunLanguageChooser(ProgramFolder);
}
