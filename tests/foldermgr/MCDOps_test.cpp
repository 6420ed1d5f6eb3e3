// The folder manager on a real drive (a letter mapped onto a scratch folder) driven by keys:
// loading by a scan, rename, new folder, delete, copy mode, sub-list removal and a vanished
// folder, each checked on disk and in the tree file byte for byte; the folder chooser; and drag and
// drop: files dropped on a folder copied, moved or linked there, the drop menu, folders dragged out.
#include <gtest/gtest.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "fileops/RenDlg.h"
#include "fileops/frmTgt.h"
#include "common/WinCapture.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDBox.h"
#include "foldermgr/MCDTree.h"
#include "framework/TextCompare.h"
#include "mainwin/DriveBar.h"
#include "mainwin/MKeyLine.h"
#include "foundation/Folders.h"
#include "foundation/HanForm.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "panels/DropSrc.h"
#include "panels/DropTgt.h"
#include "panels/PanelDrop.h"
#include "shell/ShellTestUtil.h"

namespace {
bool AnyShown(const std::wstring& a, const std::wstring& b) {
  for (const TMsgBoxRecord& r : TMsgBoxSeam::Get().Shown)
    if (r.Text.find(a) != std::wstring::npos && r.Text.find(b) != std::wstring::npos) return true;
  return false;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string s = std::to_string(lines.size()) + "\r\n";
  for (auto& l : lines) s += l + "\r\n";
  return s;
}

class FolderManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    Options.FolderNameCase = 0;
    FSavedProgram = ProgramFolder;
    SetProgramFolder(FProgram.Path());
    CreateDirectoryW(McdFolder.c_str(), nullptr);
    Drive = std::make_unique<TMappedDrive>(L"MCDOPS", "5a5a0001");
    if (!Drive->Ok()) GTEST_SKIP() << "no drive letter could be mapped";
    Root = Drive->Root().substr(0, 2);
    TreeFile = McdFolder + L"5A5A0001.MCD";
    for (const wchar_t* d : {L"\\A\\A1", L"\\A\\A2", L"\\B"}) MakeDirs(Root + d);
    Form = new THanForm(nullptr);
    Form->SetCaption(L"MCD");
    Form->SetBounds(0, 0, 640, 400);
    View = new TMCD(Form);
    View->SetAlign(alClient);
    View->SetParent(Form);
    Form->Show();
  }
  void TearDown() override {
    delete Form;
    Drive.reset();
    SetProgramFolder(FSavedProgram);
    Options.ResetToDefaults();
    TMsgBoxSeam::Get().Reset();
  }
  std::string Tree() const { return ReadFileRaw(TreeFile); }
  void Select(const std::wstring& rel) {
    int i = View->FindItem(Root + rel);
    ASSERT_GE(i, 0) << rel;
    View->SetItemIndex(i);
  }
  void Key(WORD key, unsigned shift = 0) { SendKey(View->Handle(), key, shift); }
  std::vector<std::wstring> Paths() const {
    std::vector<std::wstring> p;
    for (int i = 0; i < View->Count(); ++i) p.push_back(View->Item(i).Path.substr(Root.size()));
    return p;
  }
  std::string Root8() const { return std::string(1, static_cast<char>(Root[0])) + ":"; }

  TTempDir FProgram;
  std::wstring FSavedProgram;
  std::unique_ptr<TMappedDrive> Drive;
  std::wstring Root, TreeFile;
  THanForm* Form = nullptr;
  TMCD* View = nullptr;
};

// Drag and drop on the diagram: files from a folder outside the drive, and OLE for the drags.
class FolderManagerDropTest : public FolderManagerTest {
 protected:
  void SetUp() override {
    FolderManagerTest::SetUp();
    WriteFileRaw(Outside / L"f.txt", "file");
  }
  void TearDown() override {
    TMcdDialog::OnShown = nullptr;
    FolderManagerTest::TearDown();
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
  TTempDir Outside;
  std::function<void(TMcdDialog&)> Drops;
};

constexpr DWORD kAll = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

TEST_F(FolderManagerTest, LoadScansAMissingTreeAndWritesIt) {
  ASSERT_TRUE(View->LoadDrive(Root, L""));
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,A", "2,A1", "2,A2", "1,B"}));
  EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"", L"\\A", L"\\A\\A1", L"\\A\\A2", L"\\B"}));
  EXPECT_EQ(View->ItemIndex(), 0);
  // A second load reads the file, not the disk.
  MakeDirs(Root + L"\\C");
  TMCD other(Form);
  other.SetParent(Form);
  ASSERT_TRUE(other.LoadDrive(Root, L""));
  EXPECT_EQ(other.Count(), 5);
  // A damaged file is reported and rebuilt by a scan.
  WriteFileRaw(TreeFile, "7\r\n0,X:\r\n1,A\r\n");
  TMsgBoxSeam::Get().PushButton(0);
  TMCD third(Form);
  third.SetParent(Form);
  ASSERT_TRUE(third.LoadDrive(Root, L""));
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(5015));
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,A", "2,A1", "2,A2", "1,B", "1,C"}));
  // F2 answered No changes nothing; Num- drops the sub-list from the view and the file only.
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(1);
  RemoveDirectoryW((Root + L"\\C").c_str());
  std::string before = Tree();
  SendKey(third.Handle(), VK_F2, 0);
  EXPECT_EQ(Tree(), before);
  third.SetItemIndex(third.FindItem(Root + L"\\A"));
  SendKey(third.Handle(), VK_SUBTRACT, 0);
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,A", "1,B", "1,C"}));
  EXPECT_TRUE(FolderExists(Root + L"\\A\\A1"));
  EXPECT_EQ(third.GetSelectedPath(), Root + L"\\A");
}

TEST_F(FolderManagerTest, RenameNewFolderAndDelete) {
  ASSERT_TRUE(View->LoadDrive(Root, L""));
  auto& seam = TMsgBoxSeam::Get();
  // Rename A to Z: Z and its sub-folders move after B and take the new paths.
  Select(L"\\A");
  seam.PushText(0, L"Z");
  Key(VK_F6);
  EXPECT_TRUE(FolderExists(Root + L"\\Z\\A1"));
  EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"", L"\\B", L"\\Z", L"\\Z\\A1", L"\\Z\\A2"}));
  EXPECT_EQ(View->GetSelectedPath(), Root + L"\\Z");
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,B", "1,Z", "2,A1", "2,A2"}));
  EXPECT_TRUE(View->Changed);
  // A name that exists is refused by the check, then a free one goes through.
  seam.Reset();
  Select(L"\\Z\\A1");
  seam.PushText(0, L"A2");
  seam.PushButton(0);  // the refusal
  seam.PushText(0, L"A3");
  Key('R', 2);
  EXPECT_TRUE(FolderExists(Root + L"\\Z\\A3"));
  EXPECT_TRUE(AnyShown(L"A2", L"존재"));

  // New folder: the proposal skips the names in use.
  seam.Reset();
  const std::wstring base = LoadMessageText(32201);
  MakeDirs(Root + L"\\B\\" + base);
  MakeDirs(Root + L"\\B\\" + base + L"1");
  Select(L"\\B");
  seam.PushText(0, L"new");
  Key(VK_F7);
  ASSERT_EQ(seam.Shown.size(), 1u);
  EXPECT_EQ(seam.Shown[0].InitialValue, base + L"2");
  EXPECT_TRUE(FolderExists(Root + L"\\B\\new"));
  EXPECT_EQ(View->GetSelectedPath(), Root + L"\\B\\new");
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,B", "2,new", "1,Z", "2,A2", "2,A3"}));

  // A file of the typed name: the message, and no item.
  seam.Reset();
  WriteFileRaw(Root + L"\\B\\afile", "x");
  Select(L"\\B");
  seam.PushText(0, L"afile");
  seam.PushButton(0);
  Key(VK_F7);
  EXPECT_EQ(View->FindItem(Root + L"\\B\\afile"), -1);
  EXPECT_TRUE(AnyShown(L"afile", L"존재"));
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,B", "2,new", "1,Z", "2,A2", "2,A3"}));

  // Shift+Del asks, No keeps the folder; Yes deletes it from disk, list and file.
  seam.Reset();
  Select(L"\\Z");
  seam.PushButton(1);
  Key(VK_DELETE, 1);
  EXPECT_TRUE(FolderExists(Root + L"\\Z"));
  seam.PushButton(0);
  Key(VK_DELETE, 1);
  EXPECT_FALSE(PathExists(Root + L"\\Z"));
  EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"", L"\\B", L"\\B\\new"}));
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,B", "2,new"}));
  // The root is never renamed, deleted or copied.
  seam.Reset();
  View->SetItemIndex(0);
  Key(VK_F6);
  Key(VK_DELETE, 1);
  Key(VK_F5);
  EXPECT_TRUE(seam.Shown.empty());
  EXPECT_EQ(View->Mode, 0);
}

TEST_F(FolderManagerTest, CopyModeAndAVanishedFolder) {
  ASSERT_TRUE(View->LoadDrive(Root, L""));
  auto& seam = TMsgBoxSeam::Get();
  Select(L"\\A");
  Key('C', 2);
  EXPECT_EQ(View->Mode, 1);
  EXPECT_EQ(Form->Caption(), Root + L"\\A\\ - " + LoadMessageText(4113));
  EXPECT_EQ(View->SourceFirst(), 1);
  EXPECT_EQ(View->SourceLast(), 3);
  // Into itself: refused with the mode's word, the mode stays.
  Select(L"\\A\\A1");
  seam.PushButton(0);
  Key(VK_RETURN);
  ASSERT_EQ(seam.Shown.size(), 1u);
  EXPECT_NE(seam.Shown[0].Text.find(LoadMessageText(4113)), std::wstring::npos);
  EXPECT_EQ(View->Mode, 1);
  // Into B: copied, the mode ends and the tree shows the copy.
  Select(L"\\B");
  Key(VK_RETURN);
  EXPECT_EQ(View->Mode, 0);
  EXPECT_EQ(Form->Caption(), L"MCD");
  EXPECT_TRUE(FolderExists(Root + L"\\B\\A\\A2"));
  EXPECT_TRUE(FolderExists(Root + L"\\A\\A2"));
  EXPECT_GE(View->FindItem(Root + L"\\B\\A"), 0);
  EXPECT_TRUE(View->Changed);
  // Esc ends a mode without copying.
  Select(L"\\A");
  Key(VK_F4);
  EXPECT_EQ(View->Mode, 2);
  Key(VK_ESCAPE);
  EXPECT_EQ(View->Mode, 0);

  // A folder removed behind the manager's back: one message, its run goes, and the next
  // Enter chooses without a message.
  seam.Reset();
  std::wstring chosen;
  View->OnSelect = [&](TMCD*, const std::wstring& path) { chosen = path; };
  RemoveDirectoryW((Root + L"\\A\\A1").c_str());
  Select(L"\\A\\A1");
  seam.PushButton(0);
  Key(VK_RETURN);
  ASSERT_EQ(seam.Shown.size(), 1u);
  EXPECT_EQ(View->FindItem(Root + L"\\A\\A1"), -1);
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,A", "2,A2", "1,B", "2,A", "3,A1", "3,A2"}));
  EXPECT_TRUE(chosen.empty());
  Key(VK_RETURN);
  EXPECT_EQ(seam.Shown.size(), 1u);
  EXPECT_EQ(chosen, View->GetSelectedPath());
}

TEST_F(FolderManagerTest, TheChooserReturnsTheFolder) {
  delete Form;
  Form = nullptr;
  struct TRun {
    std::vector<std::pair<WORD, unsigned>> keys;
    bool close;
  };
  auto run = [&](const std::wstring& initial, const TRun& r, bool& changed) {
    TMcdDialog::OnShown = [&](TMcdDialog& d) {
      for (auto [k, s] : r.keys) SendKey(d.View->Handle(), k, s);
      if (r.close) PostMessageW(d.Form->Handle(), WM_CLOSE, 0, 0);
    };
    std::wstring path = L"unchanged";
    SelectFolderDialog(initial, L"test", L"", true, false, changed, path);
    TMcdDialog::OnShown = nullptr;
    return path;
  };
  bool changed = true;
  // The initial folder is selected and is the default folder; Down then Enter chooses the
  // next folder.
  EXPECT_EQ(run(Root + L"\\A", {{{VK_DOWN, 0}, {VK_RETURN, 0}}, false}, changed), Root + L"\\B");
  EXPECT_FALSE(changed);
  EXPECT_EQ(run(Root + L"\\A\\A1", {{{VK_RETURN, 0}}, false}, changed), Root + L"\\A\\A1");
  EXPECT_EQ(run(Root + L"\\A", {{{VK_HOME, 0}, {VK_RETURN, 0}}, false}, changed), Root);
  // Esc, and the close box after entering copy mode: nothing chosen; the mode counts as a change.
  EXPECT_EQ(run(Root + L"\\A", {{{VK_ESCAPE, 0}}, false}, changed), L"");
  EXPECT_EQ(run(Root + L"\\A", {{{'C', 2}}, true}, changed), L"");
  EXPECT_TRUE(changed);
  // A drive that does not exist shows nothing.
  DWORD drives = GetLogicalDrives();
  wchar_t absent = L'Z';
  while (absent > L'D' && (drives & (1u << (absent - L'A')))) --absent;
  EXPECT_EQ(run(std::wstring(1, absent) + L":\\x", {{}, true}, changed), L"");
}

TEST_F(FolderManagerTest, InstalledHooksServeRenameAndTheTargetChooser) {
  ASSERT_TRUE(View->LoadDrive(Root, L""));
  InstallFolderManager();
  ASSERT_TRUE(RenameTreeCacheFactory);
  ASSERT_TRUE(TargetFolderChooser);
  // The rename dialog's folder renames reach the tree file.
  {
    auto cache = RenameTreeCacheFactory(nullptr, Root + L"\\A\\A1");
    ASSERT_TRUE(cache);
    cache->RenameFolder(Root + L"\\A\\A1", Root + L"\\A\\Z1");
  }
  EXPECT_EQ(Tree(), Lines({"0," + Root8(), "1,A", "2,A2", "2,Z1", "1,B"}));
  // The target chooser's folder button opens the folder manager at the typed folder.
  TMcdDialog::OnShown = [this](TMcdDialog& d) {
    // The window as built: the path line, the key line's sets, the drive bar's drive pressed.
    EXPECT_EQ(d.PathLabel->Path(), UpperCase(Root + L"\\B\\"));
    ASSERT_TRUE(d.KeyLine);
    EXPECT_EQ(d.KeyLine->KeySets[0][1], L"F3 드라이브");
    EXPECT_EQ(d.KeyLine->KeySets[3][0], L"C 복사");
    ASSERT_TRUE(d.DriveBar);
    ASSERT_TRUE(d.DriveBar->DriveButton(Root[0]));
    EXPECT_TRUE(d.DriveBar->DriveButton(Root[0])->Down());
    SendKey(d.View->Handle(), VK_RETURN, 0);
  };
  EXPECT_EQ(TargetFolderChooser(Root + L"\\B", L"target"), Root + L"\\B");
  TMcdDialog::OnShown = nullptr;
  RenameTreeCacheFactory = nullptr;
  TargetFolderChooser = nullptr;
}

TEST_F(FolderManagerTest, ClipboardAndTheDropAction) {
  ASSERT_TRUE(View->LoadDrive(Root, L""));
  struct TDrop {
    std::wstring target;
    std::vector<std::wstring> files;
    int mode = -1;
  } drop;
  View->OnDrop = [&](TMCD*, const std::wstring& target, const std::vector<std::wstring>&,
                     const std::vector<std::wstring>& files, int mode, bool) {
    drop = TDrop{target, files, mode};
    return false;
  };
  Select(L"\\A");
  Key('C', 4);
  Select(L"\\B");
  EXPECT_TRUE(View->CanPaste());
  Key('V', 4);
  EXPECT_EQ(drop.target, Root + L"\\B\\");
  EXPECT_EQ(drop.files, std::vector<std::wstring>{Root + L"\\A"});
  EXPECT_EQ(drop.mode, 0);
  // Cut, and a paste into the cut folder itself does nothing.
  drop = TDrop{};
  Select(L"\\A");
  Key('X', 4);
  Select(L"\\A\\A1");
  Key(VK_INSERT, 1);
  EXPECT_EQ(drop.mode, -1);
  Select(L"\\B");
  Key(VK_INSERT, 1);
  EXPECT_EQ(drop.mode, 1);

  // The dialog's drop action copies under the mapped name's last component, or the file's own
  // name when the mapped one is unusable.
  WriteFileRaw(Root + L"\\f.txt", "data");
  TMcdDialog dialog(nullptr);
  EXPECT_TRUE(dialog.DropAction(Root + L"\\B", {L"..\\..\\elsewhere\\renamed.txt"}, {Root + L"\\f.txt"}, 0, true));
  EXPECT_EQ(ReadFileRaw(Root + L"\\B\\renamed.txt"), "data");
  EXPECT_FALSE(PathExists(Root + L"\\elsewhere"));
  EXPECT_TRUE(dialog.DropAction(Root + L"\\A", {L".."}, {Root + L"\\f.txt"}, 1, true));
  EXPECT_EQ(ReadFileRaw(Root + L"\\A\\f.txt"), "data");
  EXPECT_FALSE(PathExists(Root + L"\\f.txt"));
  EXPECT_FALSE(dialog.DropAction(Root + L"\\A", {}, {Root + L"\\gone.txt"}, 0, true));
}

TEST_F(FolderManagerDropTest, FilesDroppedOnAFolderAreCopiedMovedOrLinkedThere) {
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

TEST_F(FolderManagerDropTest, AFolderDraggedOutLeavesTheDiagramOnlyWhenMoved) {
  TMCD* view = View;
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
