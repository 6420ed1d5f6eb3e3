// The program's entry point: the modules start in their order, the main form is created and
// the message loop runs until it closes; then the form is destroyed, the settings and the
// history are written, and the modules shut down.
#include <windows.h>
#include <ole2.h>

#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/Parallel.h"
#include "framework/Forms.h"
#include "archive/layer/ArcCommands.h"
#include "fileops/CopyDlg.h"
#include "fileops/AttrDlg.h"
#include "fileops/DelDlg.h"
#include "fileops/ShellNew.h"
#include "fileops/frmSplit.h"
#include "mainwin/CmdLine.h"
#include "foldermgr/MCDBox.h"
#include "foldermgr/MFldTree.h"
#include "mainwin/DropCmd.h"
#include "mainwin/FavouriteCmd.h"
#include "mainwin/Main.h"
#include "mainwin/Setup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  OleInitialize(nullptr);
  InitFolders();
  // They come up while the window is made, for the first big tree file the panels read.
  StartParallelWorkers();
  // The modules the main form's module uses: message texts, user programs, settings.
  LanguageObject();
  Programs.LoadFromProgramFolder();
  Options.LoadFromProgramFolder();
  InitMainModule();
  InstallFileOperations();
  InstallDeleteCommand();
  InstallAttrCommand();
  InstallNewFileCommand();
  InstallSplitCommands();
  InstallCommandLines();
  InstallFolderManager();
  InstallPanelFolderTree();
  InstallArchiveCommands();
  InstallDragDropCommands();
  InstallFavouriteCommands();
  InstallOptionsCommands();

  Application().Title = L"Velmo";
  LanguageObject().Application = &Application();
  auto* form = new TQ7XForm(&Application());
  Application().MainForm = form;
  form->Show();
  Application().Run();
  delete form;

  if (!Options.SaveOnExit()) {
    std::wstring text = LoadMessageText(10601);
    size_t at = text.find(L"%S");
    if (at != std::wstring::npos) text.replace(at, 2, Options.CfgFile);
    ShowErrorBox(text);
  }
  DoneMainModule();
  OleUninitialize();
  return 0;
}
