// The options dialog, the user-program editors, the about box, the help commands and the
// language chooser, driven through real windows by keys and messages.
#include "mainwin/Setup.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "common/FormFixture.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/ScrListV.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"
#include "mainwin/About.h"
#include "mainwin/Commands.h"
#include "mainwin/DockBar.h"
#include "mainwin/ExtBox.h"
#include "mainwin/FilePanel.h"
#include "mainwin/LangSel.h"
#include "mainwin/MKeyLine.h"
#include "mainwin/MUpDate.h"
#include "foundation/MHeader.h"
#include "panels/FileWin.h"
#include "panels/HanFileBox.h"

namespace {
// A key for a window, as the message loop hands it on: the dialog sees it first, then the
// window. Keys go to a named window, never to whichever holds the focus.
void Press(TForm& form, HWND focus, WORD key, TShiftState shift = 0) {
  BYTE saved[256], keys[256] = {};
  GetKeyboardState(saved);
  if (shift & ssShift) keys[VK_SHIFT] = 0x80;
  if (shift & ssAlt) keys[VK_MENU] = 0x80;
  if (shift & ssCtrl) keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  if (!form.DialogKey(key, shift, focus)) {
    SendMessageW(focus, WM_KEYDOWN, key, 1);
    SendMessageW(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
  }
  SetKeyboardState(saved);
  Application().ProcessMessages();
}

// Typed text replaces what the edit holds.
void Type(HWND focus, const std::wstring& text) {
  SendMessageW(focus, EM_SETSEL, 0, -1);
  SendMessageW(focus, WM_CHAR, VK_BACK, 1);
  for (wchar_t ch : text) SendMessageW(focus, WM_CHAR, ch, 1);
}

// A control of the page shown.
HWND Row(TSetupForm& d, const wchar_t* name) {
  TControl* c = d.RowControl(name);
  EXPECT_NE(c, nullptr) << name;
  if (!c) return nullptr;
  EXPECT_TRUE(IsWindowVisible(c->Handle())) << name;
  return c->Handle();
}

bool Checked(TSetupForm& d, const wchar_t* name) {
  return SendMessageW(d.RowControl(name)->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::wstring ReadText(const std::wstring& file) {
  TTextEncoding enc;
  return DecodeText(ReadFileRaw(file), enc);
}

struct TSeams {
  ~TSeams() {
    SetupFormShown = nullptr;
    ExtBoxShown = nullptr;
    AboutBoxShown = nullptr;
    LanguageFormShown = nullptr;
    TMsgBoxSeam::Get().Reset();
  }
};

// The options dialog of the main form: opened by its command, run to its end.
void RunOptionsCommand(TFormFixture& f, const std::function<void(TSetupForm&)>& drive) {
  bool ran = false;
  SetupFormShown = [&](TSetupForm& d) {
    ran = true;
    drive(d);
  };
  f.Form->RunCommand(4102, 0);
  EXPECT_TRUE(PumpUntil([&] { return ran && !FindWindowW(nullptr, LoadMessageText(30617).c_str()); }));
  SetupFormShown = nullptr;
}
}  // namespace

TEST(SetupDialog, RowsHaveTextsAndTheLayoutLeavesEveryControlWhole) {
  for (const TOptRow& r : SetupRows()) {
    SCOPED_TRACE(r.Name);
    EXPECT_FALSE(LoadBuiltinMessageText(r.Msg).empty());
    if (r.Kind == okChoice) {
      EXPECT_FALSE(LoadBuiltinMessageText(r.ItemsMsg).empty());
    }
    if (r.Kind == okNumber) {
      EXPECT_LT(r.Min, r.Max);
    }
  }
  for (int p = 0; p < SetupPageCount; ++p) EXPECT_FALSE(LoadBuiltinMessageText(SetupPageMsg(p)).empty());
  TSetupForm d(&Application());
  EXPECT_EQ(d.LayoutProblem(), L"");
  // Each choice list holds as many entries as its field has values.
  for (const TOptRow& r : SetupRows()) {
    if (r.Kind != okChoice) continue;
    const int n = static_cast<int>(SendMessageW(d.RowControl(r.Name)->Handle(), CB_GETCOUNT, 0, 0));
    EXPECT_GE(n, 2) << r.Name;
  }
  EXPECT_EQ(SendMessageW(d.RowControl(L"MouseRight_Combo")->Handle(), CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(SendMessageW(d.RowControl(L"FolderSortType_Combo")->Handle(), CB_GETCOUNT, 0, 0), 9);
  EXPECT_EQ(SendMessageW(d.RowControl(L"AddType_Combo")->Handle(), CB_GETCOUNT, 0, 0), 10);
}

TEST(SetupDialog, OkWithoutChangesKeepsEverySettingAndCancelKeepsChanges) {
  TTempDir dir;
  // Settings away from every default, so that a control that reads or writes the wrong field
  // shows.
  WriteFileRaw(dir / L"set.cfg",
               "[Main]\r\nDualWindow=1\r\nShowKeyBar=0\r\nMainFont=Tahoma,9,1,0,0,0\r\n[Option]\r\nMouseRight=3\r\n"
               "MouseMiddle=0\r\nGridLineWidth=7\r\nMCDItemWidth=333\r\nFolderSortType=8\r\nShowDrvAtThis=2\r\n"
               "AutoSelectInDual=4\r\nCtrlXExtract=1\r\n[Color]\r\nBackColor=1,2,3\r\nHKeyHotItemText=9,8,7\r\n"
               "[Archive]\r\nZIP_AddPrg=c:\\tools\\zip.exe\r\nZIP_SelfControl=0\r\nAddType=9\r\n"
               "[File1]\r\nParts=5\r\nColumn=6\r\nItemSpace=20\r\nFileMask=*.txt\r\n"
               "[File2]\r\nSortType=7\r\nFTreeAlign=3\r\nHidden=1\r\n");
  Options.Load(dir / L"set.cfg", dir / L"History");
  const std::string before = [&] {
    Options.SaveOptionsTo(dir / L"before.cfg");
    return ReadFileRaw(dir / L"before.cfg");
  }();
  TSeams seams;
  {
    TSetupForm d(&Application());
    PostMessageW(d.OkBtn->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(d.ShowModal(), mrOk);
  }
  Options.SaveOptionsTo(dir / L"after.cfg");
  EXPECT_EQ(ReadFileRaw(dir / L"after.cfg"), before);

  // Cancel after changes: nothing changes.
  {
    TSetupForm d(&Application());
    SetupFormShown = [](TSetupForm& form) {
      form.SetPage(1);
      Press(form, Row(form, L"Year4D_Check"), VK_SPACE);
      Press(form, form.Handle(), VK_ESCAPE);
    };
    EXPECT_EQ(d.ShowModal(), mrCancel);
  }
  Options.SaveOptionsTo(dir / L"after2.cfg");
  EXPECT_EQ(ReadFileRaw(dir / L"after2.cfg"), before);
  Options.ResetToDefaults();
}

TEST(SetupDialog, ValueOutOfRangeIsRefusedWithItsRange) {
  Options.ResetToDefaults();
  TSeams seams;
  TSetupForm d(&Application());
  SetupFormShown = [](TSetupForm& form) {
    form.SetPage(7);
    Type(Row(form, L"MCDItemWidth_Edit"), L"401");
    form.SetPage(0);
    TMsgBoxSeam::Get().PushButton(0);
    Press(form, form.Handle(), VK_RETURN);  // OK: refused, the page with the value comes back
    EXPECT_EQ(form.Page(), 7);
    EXPECT_EQ(GetFocus(), form.RowControl(L"MCDItemWidth_Edit")->Handle());
    Type(Row(form, L"MCDItemWidth_Edit"), L"400");
    Press(form, Row(form, L"MCDItemWidth_Edit"), VK_RETURN);
  };
  EXPECT_EQ(d.ShowModal(), mrOk);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"0"), std::wstring::npos);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"400"), std::wstring::npos);
  EXPECT_EQ(Options.MCDItemWidth, 400);
  Options.ResetToDefaults();
}

TEST(SetupDialog, EveryPageChangedByKeysTakesEffectAtOnceAndIsWritten) {
  // Installed as the program does at start-up, before the main form is made.
  InstallOptionsCommands();
  TFormFixture f;
  TSeams seams;
  TPanelView* left = f.Form->Panel1;
  auto* leftWin = &static_cast<TFilePanel*>(left)->Win();
  ASSERT_TRUE(IsWindowVisible(leftWin->Header().Handle()));
  ASSERT_TRUE(f.Form->Bars->KeyLine->Visible());
  SetupColorChooser = [](HWND, TColor& c) {
    c = RGBColor(0, 0, 0x80);
    return true;
  };
  RunOptionsCommand(f, [&](TSetupForm& d) {
    // Panels: panel 1 loses its header, panel 2 shows hidden files.
    EXPECT_EQ(d.Page(), 0);
    Press(d, Row(d, L"Header_Check"), VK_SPACE);
    Press(d, Row(d, L"PanelNo_Combo"), VK_DOWN);
    EXPECT_FALSE(Checked(d, L"Hidden_Check"));
    Press(d, Row(d, L"Hidden_Check"), VK_SPACE);
    EXPECT_TRUE(Checked(d, L"Header_Check"));  // panel 2's own header
    // File list.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    EXPECT_EQ(d.Page(), 1);
    Press(d, Row(d, L"Year4D_Check"), VK_SPACE);
    Type(Row(d, L"GridLineWidth_Edit"), L"5");
    // Drives and bars.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    Press(d, Row(d, L"ShowKeyBar_Check"), VK_SPACE);
    // Colours.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    Press(d, Row(d, L"BackColor_Color"), VK_SPACE);
    // Keys and mouse.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    Press(d, Row(d, L"CtrlXExtract_Check"), VK_SPACE);
    Press(d, Row(d, L"MouseRight_Combo"), VK_DOWN);
    // File operations.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    Press(d, Row(d, L"NotUseRecycled_Check"), VK_SPACE);
    // Archives.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    Type(Row(d, L"ZIP_AddPrg_Edit"), L"zip.exe");
    // Folder manager.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    Type(Row(d, L"MCDItemWidth_Edit"), L"120");
    // Extension colours: a new row.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    EXPECT_EQ(d.Page(), 8);
    TMsgBoxSeam::Get().PushText(0, L"txt;log");
    Press(d, d.ExtAddBtn->Handle(), VK_RETURN);
    ASSERT_EQ(d.ExtColorList->ItemCount(), 1);
    // The other page, then OK.
    Press(d, d.Tabs->Handle(), VK_TAB, ssCtrl);
    EXPECT_EQ(d.Page(), 9);
    Press(d, d.Tabs->Handle(), VK_RETURN);
  });
  SetupColorChooser = nullptr;

  EXPECT_EQ(Options.PanelOptions(1).Parts & 2, 0);
  EXPECT_TRUE(Options.PanelOptions(2).Hidden);
  EXPECT_FALSE(Options.Year4D);
  EXPECT_EQ(Options.GridLineWidth, 5);
  EXPECT_FALSE(Options.ShowKeyBar);
  EXPECT_EQ(Options.BackColor, RGBColor(0, 0, 0x80));
  EXPECT_TRUE(Options.CtrlXExtract);
  EXPECT_EQ(Options.MouseRight, 3);
  EXPECT_TRUE(Options.NotUseRecycled);
  EXPECT_EQ(Options.Archivers[arZIP].AddPrg, L"zip.exe");
  EXPECT_EQ(Options.MCDItemWidth, 120);
  // At once: the header of panel 1 went, the key line went, the list paints the new
  // background, Ctrl+X now extracts.
  EXPECT_FALSE(IsWindowVisible(leftWin->Header().Handle()));
  EXPECT_FALSE(f.Form->Bars->KeyLine->Visible());
  EXPECT_EQ(leftWin->Box().BackColor, RGBColor(0, 0, 0x80));
  {
    TCapture shot(leftWin->Box().Handle());
    EXPECT_EQ(shot.Pixel(shot.Width() - 3, shot.Height() - 3), RGB(0, 0, 0x80));
  }
  EXPECT_EQ(CommandForKey('X', ssCtrl), 7003);
  EXPECT_EQ(CommandForKey(VK_DELETE, ssCtrl), 2002);
  // Written: Q7X.CFG with the new values, Q7XPRG.CFN with the new colour row.
  const std::wstring cfg = ReadText(ProgramFolder + L"Q7X.CFG");
  EXPECT_NE(cfg.find(L"Year4D=0"), std::wstring::npos);
  EXPECT_NE(cfg.find(L"MCDItemWidth=120"), std::wstring::npos);
  EXPECT_NE(cfg.find(L"BackColor=0,0,128"), std::wstring::npos);
  const std::wstring cfn = ReadText(ProgramFolder + L"Q7XPRG.CFN");
  EXPECT_NE(cfn.find(L"txt;log"), std::wstring::npos);
  ASSERT_EQ(Programs.ExtColor.Groups.size(), 1u);
  EXPECT_EQ(Programs.ExtColor.Groups[0].Color, RGBColor(0, 0, 0x80));
}

TEST(SetupDialog, SettingsAndColourSetsAreSavedAndLoaded) {
  TTempDir dir;
  Options.Load(dir / L"Q7X.CFG", dir / L"History");
  TSeams seams;
  std::wstring chosen;
  SetupFileChooser = [&](HWND, bool, const std::wstring&, const std::wstring&, std::wstring& file) {
    file = chosen;
    return true;
  };
  SetupColorChooser = [](HWND, TColor& c) {
    c = RGBColor(0x11, 0x22, 0x33);
    return true;
  };
  {
    TSetupForm d(&Application());
    SetupFormShown = [&](TSetupForm& form) {
      form.SetPage(3);
      Press(form, Row(form, L"DirColor_Color"), VK_SPACE);
      form.SetPage(1);
      Press(form, Row(form, L"Show24H_Check"), VK_SPACE);
      form.SetPage(9);
      chosen = dir / L"mine.col";
      form.ColSaveBtn->Click();
      chosen = dir / L"mine.cfg";
      form.CfgSaveBtn->Click();
      Press(form, form.Handle(), VK_ESCAPE);
    };
    EXPECT_EQ(d.ShowModal(), mrCancel);
  }
  // Saved while cancelled: the sets hold the dialog's values, the settings do not.
  EXPECT_EQ(Options.DirColor, TMOptions().DirColor);
  EXPECT_TRUE(Options.Show24H);
  const std::wstring col = ReadText(dir / L"mine.col");
  EXPECT_NE(col.find(L"DirColor=17,34,51"), std::wstring::npos);
  EXPECT_EQ(col.find(L"Show24H"), std::wstring::npos);
  EXPECT_NE(ReadText(dir / L"mine.cfg").find(L"Show24H=0"), std::wstring::npos);

  // Loading: the colour set changes only colours, the settings set the rest; OK applies.
  {
    TSetupForm d(&Application());
    SetupFormShown = [&](TSetupForm& form) {
      chosen = dir / L"mine.col";
      form.ColLoadBtn->Click();
      EXPECT_TRUE(static_cast<TColorBox*>(form.RowControl(L"DirColor_Color"))->Value() == RGBColor(0x11, 0x22, 0x33));
      EXPECT_TRUE(Checked(form, L"Show24H_Check"));
      chosen = dir / L"mine.cfg";
      form.CfgLoadBtn->Click();
      EXPECT_FALSE(Checked(form, L"Show24H_Check"));
      // A missing set is told and changes nothing.
      chosen = dir / L"none.cfg";
      TMsgBoxSeam::Get().PushButton(0);
      form.CfgLoadBtn->Click();
      EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
      EXPECT_FALSE(Checked(form, L"Show24H_Check"));
      form.OkBtn->Click();
    };
    EXPECT_EQ(d.ShowModal(), mrOk);
  }
  EXPECT_EQ(Options.DirColor, RGBColor(0x11, 0x22, 0x33));
  EXPECT_FALSE(Options.Show24H);
  SetupFileChooser = nullptr;
  SetupColorChooser = nullptr;
  Options.ResetToDefaults();
}

TEST(ProgramEditor, FunctionKeyProgramIsEditedSavedAndRunFromItsKey) {
  InstallOptionsCommands();
  TFormFixture f;
  TSeams seams;
  bool ran = false;
  ExtBoxShown = [&](TExtBoxForm& e) {
    ran = true;
    EXPECT_TRUE(e.Keys());
    EXPECT_EQ(e.List->ItemCount(), FunctionKeySlots);
    e.Select(0);  // F2
    Type(e.TitleEdit->Handle(), L"메모");
    Type(e.CommandEdit->Handle(), L"notepad.exe %1");
    // Ctrl+F1 runs the numbered command "copy".
    e.Select(8);
    Press(e, e.CommandNoCombo->Handle(), VK_DOWN);
    Press(e, e.CommandNoCombo->Handle(), VK_DOWN);
    EXPECT_EQ(e.KeyPrograms[8].CommandNo, 2);
    // Moved down and back: the program trades keys and returns.
    e.Select(0);
    Press(e, e.List->Handle(), VK_DOWN, ssCtrl);
    EXPECT_EQ(e.KeyPrograms[1].Title, L"메모");
    EXPECT_FALSE(e.KeyPrograms[0].Bound());
    Press(e, e.List->Handle(), VK_UP, ssCtrl);
    EXPECT_EQ(e.KeyPrograms[0].Title, L"메모");
    Press(e, e.List->Handle(), VK_RETURN);
  };
  f.Form->RunCommand(4201, 0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(Programs.KeyPrograms[0].Command, L"notepad.exe %1");
  EXPECT_EQ(Programs.KeyPrograms[8].CommandNo, 2);
  EXPECT_NE(ReadText(ProgramFolder + L"Q7XPRG.CFN").find(L"notepad.exe %1"), std::wstring::npos);
  // The key line names it, and F2 runs it.
  EXPECT_EQ(f.Form->Bars->KeyLine->KeySets[0][1], L"메모");
  std::wstring command;
  f.Form->RunUserProgram = [&](const THanProgram& p) { command = p.Command; };
  TPanelView* p = f.Form->Panel1;
  f.Key(p, VK_F2, 0);
  EXPECT_EQ(command, L"notepad.exe %1");
  std::vector<int> tags;
  f.Form->OnCommand = [&](int tag) {
    tags.push_back(tag);
    return true;
  };
  f.Key(p, VK_F1, ssCtrl);
  EXPECT_EQ(tags, std::vector<int>{NumberedCommandTag(2)});
}

TEST(ProgramEditor, ExtensionProgramsAreAddedCheckedReorderedAndDeleted) {
  TTempDir dir;
  const std::wstring old = ProgramFolder;
  SetProgramFolder(dir.Path());
  Programs.LoadFromProgramFolder();
  TSeams seams;
  ExtBoxShown = [&](TExtBoxForm& e) {
    EXPECT_FALSE(e.Keys());
    EXPECT_EQ(e.List->ItemCount(), 0);
    e.AddBtn->Click();
    Type(e.ExtEdit->Handle(), L"txt;log");
    Type(e.CommandEdit->Handle(), L"notepad.exe %1");
    e.AddBtn->Click();
    Type(e.ExtEdit->Handle(), L"zip");
    // A row without command is refused and shown.
    TMsgBoxSeam::Get().PushButton(0);
    e.OkBtn->Click();
    EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
    EXPECT_EQ(e.Selected(), 1);
    EXPECT_EQ(GetFocus(), e.CommandEdit->Handle());
    Type(e.CommandEdit->Handle(), L"unzip.exe %1");
    e.UpBtn->Click();
    EXPECT_EQ(e.ExtPrograms[0].Ext, L"zip");
    EXPECT_EQ(e.List->Items(0).Caption, L"zip");
    e.AddBtn->Click();
    Type(e.ExtEdit->Handle(), L"bak");
    e.DeleteBtn->Click();
    EXPECT_EQ(e.ExtPrograms.size(), 2u);
    e.OkBtn->Click();
  };
  EXPECT_TRUE(RunProgramEditor(false));
  ASSERT_EQ(Programs.ExtPrograms.size(), 2u);
  EXPECT_EQ(Programs.ExtPrograms[0].Command, L"unzip.exe %1");
  ASSERT_EQ(Programs.FindExtPrograms(L"log").size(), 1u);
  // Read back from the file.
  Programs.LoadFromProgramFolder();
  ASSERT_EQ(Programs.ExtPrograms.size(), 2u);
  EXPECT_EQ(Programs.ExtPrograms[1].Ext, L"txt;log");
  // Cancel leaves them.
  ExtBoxShown = [&](TExtBoxForm& e) {
    e.DeleteBtn->Click();
    e.CancelBtn->Click();
  };
  EXPECT_FALSE(RunProgramEditor(false));
  EXPECT_EQ(Programs.ExtPrograms.size(), 2u);
  SetProgramFolder(old);
  Programs = THanPrograms();
}

TEST(AboutAndHelp, AboutBoxShowsTheProductAndHelpTellsOfTheMissingFile) {
  InstallOptionsCommands();
  TFormFixture f;
  TSeams seams;
  bool shown = false;
  AboutBoxShown = [&](TAboutForm& a) {
    shown = true;
    EXPECT_EQ(a.ProductLbl->Caption(), L"Velmo");
    EXPECT_NE(a.VersionLbl->Caption().find(ProductVersion), std::wstring::npos);
    EXPECT_EQ(a.Caption(), LoadMessageText(30001));
    Press(a, a.OkBtn->Handle(), VK_RETURN);
  };
  f.Form->RunCommand(5006, 0);
  EXPECT_TRUE(shown);
  // No help file ships: the user is told which file is missing, for both help commands.
  for (int tag : {5001, 5002}) {
    TMsgBoxSeam::Get().Reset();
    TMsgBoxSeam::Get().PushButton(0);
    f.Form->RunCommand(tag, 0);
    ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u) << tag;
    EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"velmo.hlp"), std::wstring::npos);
  }
}

TEST(LanguageChooser, ListsTheLanguageFilesAndWritesTheChoice) {
  TTempDir dir;
  const std::wstring prog = dir.Path() + L"\\";
  CreateDirectoryW((dir / L"Language").c_str(), nullptr);
  WriteFileRaw(dir / L"Language\\English.lng", "[main]\r\nID=English\r\n[Messages]\r\n1=OK\r\n");
  WriteFileRaw(dir / L"Language\\Zz.lng", "[Messages]\r\n");
  WriteFileRaw(dir / L"Language\\notes.txt", "");
  WriteFileRaw(dir / L"language.ini", "; chosen language\r\nOther=1\r\nUse=Zz\r\n");
  auto entries = ListLanguageFiles(prog);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].File, L"");
  EXPECT_EQ(entries[1].ID, L"English");
  EXPECT_EQ(entries[2].ID, L"Zz");
  TSeams seams;
  LanguageFormShown = [](TLanguageForm& l) {
    EXPECT_EQ(l.ItemIndex(), 2);  // "Use=Zz" names the file without its extension
    Press(l, l.LanguageList->Handle(), VK_UP);
    EXPECT_EQ(l.ItemIndex(), 1);
    Press(l, l.LanguageList->Handle(), VK_RETURN);
  };
  EXPECT_EQ(RunLanguageChooser(prog), 0);
  EXPECT_EQ(ReadFileRaw(dir / L"language.ini"), "; chosen language\r\nOther=1\r\nUse=English.lng\r\n");
  EXPECT_EQ(ReadLanguageUse(dir / L"language.ini"), L"English.lng");
  // The main program takes it at its next start.
  const std::wstring old = ProgramFolder;
  SetProgramFolder(prog);
  EXPECT_EQ(SelectLanguageFromIni(), L"English.lng");
  EXPECT_EQ(LoadMessageText(1), L"OK");
  LanguageObject().SetLanguageFile(L"");
  SetProgramFolder(old);
  // The built-in texts: an empty "Use".
  LanguageFormShown = [](TLanguageForm& l) {
    l.SetItemIndex(0);
    Press(l, l.LanguageList->Handle(), VK_RETURN);
  };
  EXPECT_EQ(RunLanguageChooser(prog), 0);
  EXPECT_EQ(ReadLanguageUse(dir / L"language.ini"), L"");
  // Cancel writes nothing.
  LanguageFormShown = [](TLanguageForm& l) {
    l.SetItemIndex(1);
    Press(l, l.LanguageList->Handle(), VK_ESCAPE);
  };
  EXPECT_EQ(RunLanguageChooser(prog), 1);
  EXPECT_EQ(ReadLanguageUse(dir / L"language.ini"), L"");
}

namespace {
// The window as it stands on the screen, saved as a 24-bit BMP.
void SaveWindowShot(HWND wnd, const std::wstring& file) {
  RECT r;
  GetWindowRect(wnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(stride * h);
  std::string out(reinterpret_cast<const char*>(&fh), sizeof(fh));
  out.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof(bi.bmiHeader));
  out.append(static_cast<const char*>(bits), static_cast<size_t>(stride * h));
  WriteFileRaw(file, out);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}
}  // namespace

// Pictures of every page and of the other dialogs, to look at as a user would; runs only when
// VELMO_SHOTS names a folder.
TEST(SetupDialog, Screenshots) {
  wchar_t folder[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"VELMO_SHOTS", folder, MAX_PATH)) GTEST_SKIP() << "VELMO_SHOTS not set";
  const std::wstring dir = folder;
  Options.ResetToDefaults();
  TSeams seams;
  {
    TSetupForm d(&Application());
    SetupFormShown = [&](TSetupForm& form) {
      for (int p = 0; p < SetupPageCount; ++p) {
        form.SetPage(p);
        RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpUntil([] { return false; }, 150);
        SaveWindowShot(form.Handle(), dir + L"\\setup" + std::to_wstring(p) + L".bmp");
      }
      form.CancelBtn->Click();
    };
    d.ShowModal();
  }
  for (bool keys : {true, false}) {
    ExtBoxShown = [&](TExtBoxForm& e) {
      PumpUntil([] { return false; }, 150);
      SaveWindowShot(e.Handle(), dir + (keys ? L"\\fkeys.bmp" : L"\\exts.bmp"));
      e.CancelBtn->Click();
    };
    RunProgramEditor(keys);
  }
  AboutBoxShown = [&](TAboutForm& a) {
    PumpUntil([] { return false; }, 150);
    SaveWindowShot(a.Handle(), dir + L"\\about.bmp");
    a.OkBtn->Click();
  };
  ShowAboutBox();
  LanguageFormShown = [&](TLanguageForm& l) {
    PumpUntil([] { return false; }, 150);
    SaveWindowShot(l.Handle(), dir + L"\\language.bmp");
    l.CancelBtn->Click();
  };
  RunLanguageChooser(ProgramFolder);
}
