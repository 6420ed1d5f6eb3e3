// Drag and drop on the folder manager's diagram, on a real drive (a letter mapped onto a
// scratch folder): files dropped on a folder through the view's IDropTarget are copied, moved
// or linked there by the dialog's drop action and checked on disk; a right-button drop asks by
// its menu; a folder dragged out through the system's DoDragDrop leaves the diagram when the
// target moved it.
#include <gtest/gtest.h>
#include <ole2.h>

#include <memory>
#include <string>
#include <vector>

#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDBox.h"
#include "foundation/Folders.h"
#include "foundation/HanForm.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "framework/Forms.h"
#include "panels/DropSrc.h"
#include "panels/DropTgt.h"
#include "panels/PanelDrop.h"
#include "shell/ShellTestUtil.h"

namespace {
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

constexpr DWORD kAll = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

class MCDDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    Options.FolderNameCase = 0;
    FSavedProgram = ProgramFolder;
    SetProgramFolder(FProgram.Path());
    CreateDirectoryW(McdFolder.c_str(), nullptr);
    Drive = std::make_unique<TMappedDrive>(L"MCDDND", "5a5a0002");
    if (!Drive->Ok()) GTEST_SKIP() << "no drive letter could be mapped";
    Root = Drive->Root().substr(0, 2);
    for (const wchar_t* d : {L"\\A\\A1", L"\\A\\A2", L"\\B"}) MakeDirs(Root + d);
    WriteFileRaw(Outside / L"f.txt", "file");
  }
  void TearDown() override {
    TMcdDialog::OnShown = nullptr;
    Drive.reset();
    SetProgramFolder(FSavedProgram);
    Options.ResetToDefaults();
    TMsgBoxSeam::Get().Reset();
  }
  // The screen point at the middle of a folder's cell.
  POINTL At(TMCD& v, const std::wstring& rel) {
    UpdateWindow(v.Handle());  // cells are placed by painting
    int i = v.FindItem(Root + rel);
    EXPECT_GE(i, 0) << rel;
    if (i < 0) return POINTL{0, 0};
    const RECT& r = v.Item(i).Cell;
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(v.Handle(), &p);
    return POINTL{p.x, p.y};
  }
  TComScope Com;
  TTempDir FProgram, Outside;
  std::wstring FSavedProgram;
  std::unique_ptr<TMappedDrive> Drive;
  std::wstring Root;
  std::function<void(TMcdDialog&)> Drops;
};
}  // namespace

TEST_F(MCDDropTest, FilesDroppedOnAFolderAreCopiedMovedOrLinkedThere) {
  bool ran = false;
  // Once the window is up and painted (from its modal loop), the drops come.
  TMcdDialog::OnShown = [&](TMcdDialog& shown) { PostToMessageLoop([&] { Drops(shown); }); };
  auto drops = [&](TMcdDialog& d) {
    TMCD& v = *d.View;
    UpdateWindow(v.Handle());
    IDropTarget* t = v.DropIn().Interface();
    // Drags over the view, then the drop: the effect of the drag over and that of the drop.
    auto drop = [&](const std::vector<std::wstring>& files, DWORD keys, const std::wstring& rel, DWORD& over) {
      IDataObject* data = NewFileDataObject(files, {}, 0);
      DWORD e = kAll;
      t->DragEnter(data, keys | MK_LBUTTON, At(v, rel), &e);
      over = e;
      EXPECT_EQ(v.DropTarget(), v.FindItem(Root + rel)) << rel;  // marked while the drag is over it
      e = kAll;
      t->Drop(data, keys, At(v, rel), &e);
      data->Release();
      EXPECT_EQ(v.DropTarget(), -1);
      return e;
    };
    DWORD over = 0;
    // From another drive: a copy.
    EXPECT_EQ(drop({Outside / L"f.txt"}, 0, L"\\B", over), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(over, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(ReadFileRaw(Root + L"\\B\\f.txt"), "file");
    EXPECT_TRUE(Exists(Outside / L"f.txt"));
    // From one folder of the same drive: a move; the diagram shows the folder in its new place.
    EXPECT_EQ(drop({Root + L"\\A\\A2"}, 0, L"\\B", over), static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_TRUE(Exists(Root + L"\\B\\A2"));
    EXPECT_FALSE(Exists(Root + L"\\A\\A2"));
    EXPECT_LT(v.FindItem(Root + L"\\A\\A2"), 0);
    EXPECT_GE(v.FindItem(Root + L"\\B\\A2"), 0);
    // A folder onto itself or below itself: nothing.
    EXPECT_EQ(drop({Root + L"\\A"}, 0, L"\\A\\A1", over), static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_FALSE(Exists(Root + L"\\A\\A1\\A"));
    // Shift+Ctrl: a shortcut; Ctrl: a copy even on the same drive.
    EXPECT_EQ(drop({Outside / L"f.txt"}, MK_SHIFT | MK_CONTROL, L"\\A", over), static_cast<DWORD>(DROPEFFECT_LINK));
    EXPECT_TRUE(Exists(Root + L"\\A\\f.txt.lnk"));
    EXPECT_EQ(drop({Root + L"\\B\\f.txt"}, MK_CONTROL, L"\\A\\A1", over), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(ReadFileRaw(Root + L"\\A\\A1\\f.txt"), "file");
    EXPECT_TRUE(Exists(Root + L"\\B\\f.txt"));
    // A right-button drop on the same drive asks, move first and the default; Escape drops nothing.
    {
      IDataObject* data = NewFileDataObject({Root + L"\\B\\A2"}, {}, 0);
      DWORD e = kAll;
      t->DragEnter(data, MK_RBUTTON, At(v, L"\\A"), &e);
      EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_MOVE));
      TMenuKeys keys({VK_ESCAPE});
      e = kAll;
      t->Drop(data, 0, At(v, L"\\A"), &e);
      data->Release();
      EXPECT_TRUE(keys.Sent());
      EXPECT_EQ(keys.Items(), (std::vector<std::wstring>{LoadMessageText(4110), LoadMessageText(4111),
                                                         LoadMessageText(4112), L"-", LoadMessageText(2)}));
      EXPECT_EQ(keys.DefaultItem(), 0);
      EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_NONE));
      EXPECT_TRUE(Exists(Root + L"\\B\\A2"));
    }
    // In copy mode nothing is taken.
    SendKey(v.Handle(), 'C', 2);
    {
      IDataObject* data = NewFileDataObject({Outside / L"f.txt"}, {}, 0);
      DWORD e = kAll;
      t->DragEnter(data, MK_LBUTTON, At(v, L"\\B"), &e);
      EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_NONE));
      t->DragLeave();
      data->Release();
    }
    PostMessageW(d.Form->Handle(), WM_CLOSE, 0, 0);
    ran = true;
  };
  Drops = drops;
  bool changed = false;
  std::wstring path;
  SelectFolderDialog(Root + L"\\A", L"test", L"", true, false, changed, path);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(changed);
}

TEST_F(MCDDropTest, AFolderDraggedOutLeavesTheDiagramOnlyWhenMoved) {
  THanForm form(nullptr);
  form.SetBounds(0, 0, 640, 400);
  auto* view = new TMCD(&form);
  view->SetAlign(alClient);
  view->SetParent(&form);
  form.Show();
  ASSERT_TRUE(view->LoadDrive(Root, L""));
  UpdateWindow(view->Handle());
  // A window beside the diagram that takes files.
  TForm other(nullptr);
  other.SetBounds(700, 100, 200, 150);
  other.Show();
  SetWindowPos(other.Handle(), HWND_TOPMOST, 700, 100, 200, 150, SWP_SHOWWINDOW);
  TDropFileTarget target(nullptr);
  ASSERT_TRUE(target.SetTarget(&other));
  DWORD wanted = DROPEFFECT_COPY;
  std::vector<std::wstring> dropped;
  target.OnGetDropEffect = [&](TShiftState, POINT, DWORD& effect) { effect = wanted; };
  target.OnDrop = [&](TShiftState, POINT, DWORD&) {
    dropped.clear();
    for (int i = 0; i < target.Files.Count(); ++i) dropped.push_back(target.Files[i]);
  };
  HWND box = view->Handle();
  // A press and a move with the button held, as the mouse sends them.
  auto drag = [&](const std::wstring& rel, int distance) {
    POINTL s = At(*view, rel);
    POINT p{s.x, s.y};
    ScreenToClient(box, &p);
    SetCursorPos(800, 175);  // where the drop lands: no button is really held
    SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x + distance, p.y));
    SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(p.x + distance, p.y));
  };
  drag(L"\\A", 5);  // within the drag distance
  EXPECT_TRUE(dropped.empty());
  drag(L"", 30);  // the root cannot be dragged
  EXPECT_TRUE(dropped.empty());
  drag(L"\\A", 30);  // copied: the folder stays
  EXPECT_EQ(dropped, std::vector<std::wstring>{Root + L"\\A"});
  EXPECT_GE(view->FindItem(Root + L"\\A\\A1"), 0);
  wanted = DROPEFFECT_MOVE;
  dropped.clear();
  drag(L"\\A", 30);  // moved: the folder and its sub-folders leave the diagram
  EXPECT_EQ(dropped, std::vector<std::wstring>{Root + L"\\A"});
  EXPECT_LT(view->FindItem(Root + L"\\A"), 0);
  EXPECT_LT(view->FindItem(Root + L"\\A\\A1"), 0);
  EXPECT_GE(view->FindItem(Root + L"\\B"), 0);
  target.SetTarget(nullptr);
}
