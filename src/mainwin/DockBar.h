#pragma once
// The builder of the main form's bars: the menu bar from the command table (the seven top
// menus and the sub-menus of View, each item with its caption, short cut and command number),
// the tool bar's 22 buttons and the function-key line. Each panel carries its own drive bar.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "framework/Controls.h"
#include "mainwin/Commands.h"
#include "framework/Handles.h"

class THToolBar;
class TMKeyLine;
class TForm;

class TDockToolBar : public TComponent {
 public:
  // Builds every bar for the form, shown as the settings say.
  explicit TDockToolBar(TForm* form);
  ~TDockToolBar() override;
  TDockToolBar(const TDockToolBar&) = delete;
  TDockToolBar& operator=(const TDockToolBar&) = delete;

  // The menu bar, made anew from the table (for the short cuts of CtrlXExtract too); attached
  // to the form when ShowMainMenu is on.
  void BuildMainMenu();
  HMENU MainMenu() const { return FMenu.get(); }
  // Enables and checks every item and tool button by the table's tests.
  void UpdateStates(const std::function<bool(const TCommandRow&)>& enabled,
                    const std::function<bool(const TCommandRow&)>& checked);

  THToolBar* ToolBar = nullptr;
  TMKeyLine* KeyLine = nullptr;

 private:
  TForm* FForm;
  TMenuHandle FMenu;
  TImageListHandle FToolImages;  // the tool buttons' pictures
  // What the menu items show now, by their row of the command table (-1: not set yet).
  std::vector<int8_t> FItemStates;
  bool FFixedGrayed = false;
};
