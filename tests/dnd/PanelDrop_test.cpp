// Files entering and leaving the panels: drops on a panel's list go to the folder under the
// pointer, a drag starts when a held button moves, and the main form copies, cuts and pastes
// between its two panels by keys, makes shortcuts of dropped files and names copies by the
// source's name map.
#include <gtest/gtest.h>
#include <ole2.h>

#include "common/FormFixture.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "fileops/CopyDlg.h"
#include "foundation/ExtDef.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/Forms.h"
#include "framework/TextCompare.h"
#include "mainwin/DropCmd.h"
#include "mainwin/Main.h"
#include "panels/DropSrc.h"
#include "panels/FileWin.h"
#include "panels/HanFileBox.h"
#include "panels/PanelDrop.h"

namespace {
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct TDropFixture {
  TTempDir Dir;
  std::wstring Work, Other;
  TForm Form{nullptr};
  TFileWin* Win = nullptr;
  TDropFixture() {
    Options.ResetToDefaults();
    Options.DiskMonitor = false;
    Options.ShowDrive = false;
    Options.ShowDriveItem = false;
    Options.McdTreeUpdate = false;
    Options.PanelOptions(1).Column = 1;
    Work = Dir / L"work";
    Other = Dir / L"other";
    CreateDirectoryW(Work.c_str(), nullptr);
    CreateDirectoryW(Other.c_str(), nullptr);
    CreateDirectoryW((Work + L"\\sub").c_str(), nullptr);
    WriteFileRaw(Work + L"\\a.txt", "a");
    WriteFileRaw(Other + L"\\in.txt", "in");
    Form.SetBounds(0, 0, 700, 400);
    Win = new TFileWin(&Form, &Form, 1);
    Win->SetAlign(alClient);
    Win->Setup(nullptr, 1, false);
    Form.Show();
    Options.PanelOptions(1).Path = Work;
    Win->FirstLoad();
  }
  ~TDropFixture() { Options.ResetToDefaults(); }
  POINTL ScreenAt(int index) {
    RECT r = Win->Box().ItemRect(index);
    POINT p{r.left + 20, (r.top + r.bottom) / 2};
    if (index < 0) p = POINT{10, Win->Box().ClientHeight() - 5};
    ClientToScreen(Win->Box().Handle(), &p);
    return POINTL{p.x, p.y};
  }
};

TEST(PanelDrop, ADropGoesIntoTheFolderUnderThePointerElseTheListsFolder) {
  TDropFixture f;
  struct TDrop {
    std::wstring Target;
    bool Same;
    int Mode;
    std::vector<std::wstring> Files;
  };
  std::vector<TDrop> drops;
  f.Win->OnListDrop = [&](TFileWin*, const std::wstring& target, bool same, int mode, const TStringList& files,
                          const TStringList&) {
    TDrop d{target, same, mode, {}};
    for (int i = 0; i < files.Count(); ++i) d.Files.push_back(files[i]);
    drops.push_back(d);
    return true;
  };
  IDataObject* data = NewFileDataObject({f.Other + L"\\in.txt"}, {}, 0);
  IDropTarget* target = f.Win->ListDrop().Target().Interface();
  const int sub = f.Win->List().IndexOfName(L"sub"), file = f.Win->List().IndexOfName(L"a.txt");
  ASSERT_GE(sub, 0);
  struct {
    int Index;
    DWORD Keys, Effect;
    std::wstring Target;
    int Mode;
  } cases[] = {
      {sub, 0, DROPEFFECT_MOVE, f.Work + L"\\sub\\", 1},  // one drive: a move
      {file, MK_CONTROL, DROPEFFECT_COPY, f.Work + L"\\", 0},
      {-1, MK_ALT, DROPEFFECT_LINK, f.Work + L"\\", 2},
  };
  for (const auto& c : cases) {
    DWORD e = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    ASSERT_EQ(target->DragEnter(data, c.Keys | MK_LBUTTON, f.ScreenAt(c.Index), &e), S_OK);
    EXPECT_EQ(e, c.Effect);
    e = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    ASSERT_EQ(target->Drop(data, c.Keys, f.ScreenAt(c.Index), &e), S_OK);
    EXPECT_EQ(e, c.Effect);
  }
  // The work runs from the message loop, after the drop has returned.
  EXPECT_TRUE(drops.empty());
  ASSERT_TRUE(PumpUntil([&] { return drops.size() == 3; }));
  for (size_t i = 0; i < drops.size(); ++i) {
    EXPECT_EQ(drops[i].Target, cases[i].Target);
    EXPECT_EQ(drops[i].Mode, cases[i].Mode);
    EXPECT_TRUE(drops[i].Same);
    EXPECT_EQ(drops[i].Files, (std::vector<std::wstring>{f.Other + L"\\in.txt"}));
  }
  data->Release();
  // Files dragged onto the folder they are in go nowhere.
  IDataObject* own = NewFileDataObject({f.Work + L"\\a.txt"}, {}, 0);
  DWORD e = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  target->DragEnter(own, MK_LBUTTON, f.ScreenAt(-1), &e);
  EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_NONE));
  target->DragLeave();
  own->Release();
}

TEST(PanelDrop, AHeldButtonMovedPastTheDragDistanceStartsADrag) {
  TDropFixture f;
  int started = 0;
  bool right = true;
  f.Win->OnListBeginDrag = [&](TFileWin*, bool r) {
    ++started;
    right = r;
  };
  RECT r = f.Win->Box().ItemRect(f.Win->List().IndexOfName(L"a.txt"));
  HWND box = f.Win->Box().Handle();
  const int x = r.left + 20, y = (r.top + r.bottom) / 2;
  SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 1, y));
  EXPECT_EQ(started, 0);  // within the drag distance
  SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 30, y));
  EXPECT_EQ(started, 1);
  EXPECT_FALSE(right);
  SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 60, y));
  EXPECT_EQ(started, 1);  // one drag per press
  SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(x + 60, y));
  SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  EXPECT_EQ(started, 1);
  // The items a drag takes: the selection, never "..".
  f.Win->List().SetSelected(f.Win->List().IndexOfName(L"sub"), true);
  EXPECT_EQ(ListItemPaths(f.Win->List()), (std::vector<std::wstring>{f.Work + L"\\sub"}));
}

TEST(MainFormClipboard, CopyCutAndPasteBetweenThePanelsByKeys) {
  TFormFixture f;
  WriteFileRaw(f.Left + L"\\copied.txt", "copy me");
  WriteFileRaw(f.Left + L"\\moved.txt", "move me");
  TPanelView* left = f.Panel(f.Left);
  TPanelView* right = f.Panel(f.Right);
  ASSERT_TRUE(left && right);
  left->Reread();
  f.Focus(left, L"copied.txt");
  f.Key(left, 'C', ssCtrl);
  f.Key(right, 'V', ssCtrl);
  EXPECT_EQ(ReadFileRaw(f.Right + L"\\copied.txt"), "copy me");
  EXPECT_TRUE(Exists(f.Left + L"\\copied.txt"));
  EXPECT_GE(right->List().IndexOfName(L"copied.txt"), 0);  // the panel shows it
  TDropFileTarget probe(nullptr);
  EXPECT_EQ(probe.PasteFromClipboard(), 1);  // a copy stays on the clipboard

  f.Focus(left, L"moved.txt");
  f.Key(left, 'X', ssCtrl);
  f.Key(right, 'V', ssCtrl);
  EXPECT_EQ(ReadFileRaw(f.Right + L"\\moved.txt"), "move me");
  EXPECT_FALSE(Exists(f.Left + L"\\moved.txt"));
  EXPECT_LT(left->List().IndexOfName(L"moved.txt"), 0);
  EXPECT_FALSE(probe.CanPasteFromClipboard());  // cut files are gone from where they were
  // Nothing to paste: paste is disabled and the key does nothing.
  f.Key(right, 'V', ssCtrl);
  EXPECT_EQ(PanelPasteState(*f.Form), 1);
}

TEST(MainFormClipboard, DropsMakeShortcutsAndUseTheSourcesNames) {
  TFormFixture f;
  WriteFileRaw(f.Left + L"\\doc.txt", "doc");
  TPanelView* right = f.Panel(f.Right);
  TStringList files, mapped, none;
  files.Add(f.Left + L"\\doc.txt");
  EXPECT_TRUE(f.Form->FolderTreeDrop(right, f.Right + L"\\", true, 2, files, none));
  EXPECT_TRUE(Exists(f.Right + L"\\doc.txt.LNK"));
  EXPECT_TRUE(f.Form->FolderTreeDrop(right, f.Right + L"\\", true, 2, files, none));
  EXPECT_TRUE(Exists(f.Right + L"\\doc.txt(1).LNK"));
  mapped.Add(L"real name.txt");
  EXPECT_TRUE(f.Form->FolderTreeDrop(right, f.Right + L"\\", false, 0, files, mapped));
  EXPECT_EQ(ReadFileRaw(f.Right + L"\\real name.txt"), "doc");
  EXPECT_GE(right->List().IndexOfName(L"real name.txt"), 0);
  // Missing files are passed over.
  TStringList gone;
  gone.Add(f.Left + L"\\no such file.txt");
  EXPECT_FALSE(f.Form->FolderTreeDrop(right, f.Right + L"\\", false, 0, gone, none));
}
}  // namespace
