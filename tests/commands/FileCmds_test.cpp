// Delete, attributes and new files run from a real main form by their keys: the windows they
// open are driven by messages to their own controls, questions through the message box seam.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "fileops/AttrDlg.h"
#include "fileops/DelDlg.h"
#include "fileops/ShellNew.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

namespace {
struct TFileCmdFixture {
  TTempDir Dir, A;
  std::wstring OldProgramFolder = ProgramFolder;
  std::unique_ptr<TQ7XForm> Form;
  TCommandHandler Saved[3];
  static constexpr int Tags[3] = {1003, 1006, 1701};
  explicit TFileCmdFixture(const std::string& option = "") {
    for (int i = 0; i < 3; ++i) Saved[i] = FindCommand(Tags[i])->Run;
    SetProgramFolder(Dir.Path() + L"\\");
    WriteFileRaw(Dir / L"Q7X.CFG", "[Main]\r\nDualWindow=0\r\n[File1]\r\nPath=" + WideToUtf8(A.Path()) +
                                       "\r\n[Option]\r\nDiskMonitor=0\r\n" + option);
    WriteFileRaw(Dir / L"Update.ini", "[Update]\r\nCheck=0\r\n");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFileRaw(A / Utf8ToWide(name), name);
    Programs.LoadFromProgramFolder();
    Options.LoadFromProgramFolder();
    InitMainModule();
    InstallDeleteCommand();
    InstallAttrCommand();
    InstallNewFileCommand();
    Form = std::make_unique<TQ7XForm>(nullptr);
    Form->Show();
    Form->FormActivate();
    EXPECT_TRUE(PumpUntil([&] { return Form->StartupTimer && !Form->StartupTimer->Enabled(); }));
  }
  ~TFileCmdFixture() {
    Form.reset();
    TMsgBoxSeam::Get().Reset();
    TDeleteForm::ShellFileOperation = [](SHFILEOPSTRUCTW& op) { return SHFileOperationW(&op); };
    DoneMainModule();
    SetProgramFolder(OldProgramFolder);
    for (int i = 0; i < 3; ++i) RegisterCommand(Tags[i], Saved[i]);
  }
  HWND Panel() const { return Form->ActivePanel()->Handle(); }
  TMFList& List() const { return Form->ActivePanel()->List(); }
  void Focus(const std::wstring& name) const {
    List().ItemIndex = List().IndexOfName(name);
    ASSERT_GE(List().ItemIndex, 0) << name;
  }
  bool Listed(const std::wstring& name) const { return List().IndexOfName(name) >= 0; }
  bool Exists(const std::wstring& name) const { return GetFileAttributesW((A / name).c_str()) != INVALID_FILE_ATTRIBUTES; }
  // A key as the panel's list hands it to the main form.
  void Key(WORD key, TShiftState shift) { Form->PanelKeyDown(Form->ActivePanel(), key, shift); }
};

// Drives the attributes window, found by its caption among this thread's windows, through
// its own controls: read-only on, then Change.
int AttrSteps = 0;
struct TAttrControls {
  HWND Change = nullptr, ReadOnly = nullptr;
};
BOOL CALLBACK FindAttrControls(HWND c, LPARAM lp) {
  auto* found = reinterpret_cast<TAttrControls*>(lp);
  wchar_t text[128] = {};
  GetWindowTextW(c, text, 128);
  if (LoadMessageText(32103) == text) found->Change = c;
  if (LoadMessageText(32113) == text) found->ReadOnly = c;
  return TRUE;
}
BOOL CALLBACK DriveAttrWindow(HWND w, LPARAM) {
  wchar_t caption[256] = {};
  GetWindowTextW(w, caption, 256);
  if (AttrSteps > 0 || !IsWindowVisible(w) || std::wstring(caption).rfind(LoadMessageText(32101), 0) != 0) return TRUE;
  TAttrControls found;
  EnumChildWindows(w, FindAttrControls, reinterpret_cast<LPARAM>(&found));
  if (found.Change && found.ReadOnly && IsWindowEnabled(found.Change)) {
    SendMessageW(found.ReadOnly, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageW(found.Change, BM_CLICK, 0, 0);
    AttrSteps = 1;
  }
  return TRUE;
}
void CALLBACK DriveAttrForm(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), DriveAttrWindow, 0); }

// Drives the rename dialog found by its caption: F1 in its name box first, then a new name
// typed there and its change button. Records the page it opened on (the pattern edit is shown
// only on the advanced page).
struct TRenameDrive {
  int Steps = 0;
  std::wstring NewName;
  bool Advanced = false;
  HWND Edit = nullptr, Change = nullptr;
  int Edits = 0, VisibleEdits = 0;
} RenameDrive;
BOOL CALLBACK FindRenameControls(HWND c, LPARAM) {
  wchar_t cls[32] = {}, text[128] = {};
  GetClassNameW(c, cls, 32);
  GetWindowTextW(c, text, 128);
  if (LoadMessageText(32005) == text) RenameDrive.Change = c;
  // The simple page's box is the edit that holds the item's name.
  if (lstrcmpiW(cls, L"Edit") == 0 && std::wstring(text) == L"a.txt") RenameDrive.Edit = c;
  if (lstrcmpiW(cls, L"Edit") == 0 && std::wstring(text) == L"<N>" && IsWindowVisible(c)) RenameDrive.Advanced = true;
  return TRUE;
}
BOOL CALLBACK DriveRenameWindow(HWND w, LPARAM) {
  wchar_t caption[256] = {};
  GetWindowTextW(w, caption, 256);
  if (RenameDrive.Steps > 0 || !IsWindowVisible(w) || LoadMessageText(32001) != caption) return TRUE;
  RenameDrive.Steps = 1;
  EnumChildWindows(w, FindRenameControls, 0);
  if (!RenameDrive.Edit || !RenameDrive.Change) {
    PostMessageW(w, WM_CLOSE, 0, 0);
    return TRUE;
  }
  // Through the message loop, as typed: the dialog sees its keys first. Alt and Ctrl, held
  // for the key that opened the dialog, are released first.
  BYTE none[256] = {};
  SetKeyboardState(none);
  PostMessageW(RenameDrive.Edit, WM_KEYDOWN, VK_F1, 1);
  SetWindowTextW(RenameDrive.Edit, RenameDrive.NewName.c_str());
  PostMessageW(RenameDrive.Change, BM_CLICK, 0, 0);
  return TRUE;
}
void CALLBACK DriveRenameForm(HWND, UINT, UINT_PTR, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), DriveRenameWindow, 0);
}
}  // namespace

TEST(FileCommands, AltROnTheMainWindowRenamesTheFocusedItemInTheDialog) {
  TFileCmdFixture f;
  f.Focus(L"a.txt");
  RenameDrive = TRenameDrive();
  RenameDrive.NewName = L"renamed.txt";
  // F1 finds no help file here: a box names the file it looked for.
  TMsgBoxSeam::Get().PushButton(0);
  UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveRenameForm);
  // The key as the panel's list receives it: Alt+R is a system key.
  SendKey(f.Form->ActivePanel()->Handle(), 'R', ssAlt, true);
  KillTimer(nullptr, timer);
  EXPECT_EQ(RenameDrive.Steps, 1);
  EXPECT_FALSE(RenameDrive.Advanced);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(L"velmo.hlp"), std::wstring::npos) << TMsgBoxSeam::Get().Shown[0].Text;
  EXPECT_FALSE(f.Exists(L"a.txt"));
  EXPECT_TRUE(f.Exists(L"renamed.txt"));
  // The panel was reread and the focus followed the new name.
  EXPECT_FALSE(f.Listed(L"a.txt"));
  ASSERT_GE(f.List().ItemIndex, 0);
  EXPECT_EQ(f.List().ItemName(f.List().ItemIndex), L"renamed.txt");

  // With Ctrl held too the dialog opens on its pattern page; nothing renamed when it closes.
  TMsgBoxSeam::Get().Reset();
  f.Focus(L"b.txt");
  RenameDrive = TRenameDrive();
  RenameDrive.NewName = L"b.txt";
  RenameDrive.Edit = nullptr;
  timer = SetTimer(nullptr, 0, 50, DriveRenameForm);
  SendKey(f.Form->ActivePanel()->Handle(), 'R', ssAlt | ssCtrl, true);
  KillTimer(nullptr, timer);
  EXPECT_EQ(RenameDrive.Steps, 1);
  EXPECT_TRUE(RenameDrive.Advanced);
  EXPECT_TRUE(f.Exists(L"b.txt"));
}

TEST(FileCommands, DelRecyclesShiftDelAsksAndDeletesForGood) {
  TFileCmdFixture f;
  std::wstring recycled;
  TDeleteForm::ShellFileOperation = [&](SHFILEOPSTRUCTW& op) {
    recycled = op.pFrom;
    DeleteFileW(op.pFrom);
    return 0;
  };
  f.Focus(L"a.txt");
  f.Key(VK_DELETE, 0);
  EXPECT_EQ(recycled, f.A / L"a.txt");
  EXPECT_FALSE(f.Listed(L"a.txt"));
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());

  f.Focus(L"b.txt");
  TMsgBoxSeam::Get().PushButton(0);  // yes
  f.Key(VK_DELETE, ssShift);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Title, LoadMessageText(10401));
  EXPECT_FALSE(f.Exists(L"b.txt"));
  EXPECT_FALSE(f.Listed(L"b.txt"));
  EXPECT_EQ(recycled, f.A / L"a.txt");  // not through the recycle bin

  // With the recycle bin switched off, Alt+D asks too; No keeps the file.
  Options.NotUseRecycled = true;
  f.Focus(L"c.txt");
  TMsgBoxSeam::Get().PushButton(1);
  f.Form->RunCommand(1003, 0);
  EXPECT_TRUE(f.Exists(L"c.txt"));
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
}

TEST(FileCommands, CtrlZChangesTheFocusedItemsAttributes) {
  TFileCmdFixture f;
  f.Focus(L"a.txt");
  // The window is found by its caption and driven through its own controls.
  AttrSteps = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveAttrForm);
  f.Key('Z', ssCtrl);
  KillTimer(nullptr, timer);
  EXPECT_EQ(AttrSteps, 1);
  EXPECT_TRUE(GetFileAttributesW((f.A / L"a.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  const TFileBoxItem* item = f.List().GetItem(f.List().IndexOfName(L"a.txt"));
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->Attr & FILE_ATTRIBUTE_READONLY);  // the panel was reread
  SetFileAttributesW((f.A / L"a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileCommands, CtrlHOffersTheTemplatesAndFocusesTheNewFile) {
  HKEY k = nullptr;
  auto set = [&](const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
  };
  set(L".vmtmain", nullptr, L"VmtMain");
  set(L"VmtMain", nullptr, L"Velmo main test");
  set(L"VmtMain\\shell\\open\\command", nullptr, L"notepad.exe \"%1\"");
  set(L".vmtmain\\ShellNew", L"NullFile", L"");
  {
    TFileCmdFixture f;
    TShellNew probe;
    probe.Scan();
    int at = -1;
    for (int i = 0; i < probe.Count(); ++i)
      if (probe.Entries[static_cast<size_t>(i)].Extension == L".vmtmain") at = i;
    ASSERT_GE(at, 0);
    std::vector<WORD> keys(static_cast<size_t>(at + 1), VK_DOWN);
    keys.push_back(VK_RETURN);
    TMenuKeys menu(keys);
    TMsgBoxSeam::Get().PushText(0, L"made");
    f.Key('H', ssCtrl);
    EXPECT_TRUE(menu.Sent());
    EXPECT_TRUE(f.Exists(L"made.vmtmain"));
    ASSERT_GE(f.List().ItemIndex, 0);
    EXPECT_EQ(f.List().ItemName(f.List().ItemIndex), L"made.vmtmain");
  }
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".vmtmain");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"VmtMain");
}
