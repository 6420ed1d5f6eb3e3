#ifdef _WIN32
#include "common/FormFixture.h"

#include <gtest/gtest.h>

#include "common/WinCapture.h"
#include "fileops/CopyDlg.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"
#include "mainwin/DropCmd.h"
#include "mainwin/FavouriteCmd.h"
#include "panels/DropTgt.h"
#include "panels/MFList.h"

TFormFixture::TFormFixture() : OldProgramFolder(ProgramFolder) {
  Left = Dir / L"left";
  Right = Dir / L"right";
  std::wstring prog = Dir / L"prog";
  for (const auto& d : {Left, Right, prog}) CreateDirectoryW(d.c_str(), nullptr);
  SetProgramFolder(prog + L"\\");
  WriteFileRaw(prog + L"\\Q7X.CFG", "[Main]\r\nDualWindow=2\r\nWinSplitSave=1\r\n[File1]\r\nPath=" + WideToUtf8(Left) +
                                        "\r\n[File2]\r\nPath=" + WideToUtf8(Right) + "\r\n");
  WriteFileRaw(prog + L"\\Update.ini", "[Update]\r\nCheck=0\r\n");
  Programs.LoadFromProgramFolder();
  Options.LoadFromProgramFolder();
  Options.DiskMonitor = false;
  InitMainModule();
  InstallFileOperations();
  InstallDragDropCommands();
  InstallFavouriteCommands();
  Form = std::make_unique<TQ7XForm>(nullptr);
  Form->Show();
  Form->FormActivate();
  EXPECT_TRUE(PumpUntil([&] { return Form->StartupTimer && !Form->StartupTimer->Enabled(); }));
}

TFormFixture::~TFormFixture() {
  Form.reset();
  ClearClipboard();
  TMsgBoxSeam::Get().Reset();
  DoneMainModule();
  SetProgramFolder(OldProgramFolder);
  Options.ResetToDefaults();
}

TPanelView* TFormFixture::Panel(const std::wstring& path) {
  for (TPanelView* p : {Form->Panel1, Form->Panel2})
    if (p && SameTextI(ExcludeTrailingBackslash(p->List().Path), ExcludeTrailingBackslash(path))) return p;
  return nullptr;
}

void TFormFixture::Key(TPanelView* p, WORD key, TShiftState shift) {
  p->FocusPanel(false);
  Form->PanelKeyDown(p, key, shift);
}

void TFormFixture::Focus(TPanelView* p, const std::wstring& name) {
  p->List().ItemIndex = p->List().IndexOfName(name);
  ASSERT_GE(p->List().ItemIndex, 0) << name;
}
#endif
