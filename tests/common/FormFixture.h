#pragma once
// The main form with its two panels on two scratch folders, the module started as the program
// does and the commands of the later subsystems installed.
#ifdef _WIN32
#include <memory>
#include <string>

#include "common/TestUtil.h"
#include "mainwin/Main.h"

struct TFormFixture {
  TTempDir Dir;
  std::wstring Left, Right;
  std::wstring OldProgramFolder;
  std::unique_ptr<TQ7XForm> Form;
  TFormFixture();
  ~TFormFixture();
  // The panel showing the folder.
  TPanelView* Panel(const std::wstring& path);
  // A key on the panel, through the main form's key dispatcher.
  void Key(TPanelView* p, WORD key, TShiftState shift);
  void Focus(TPanelView* p, const std::wstring& name);
};
#endif
