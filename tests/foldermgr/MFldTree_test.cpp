// The folder tree beside a panel, in the real main form under Xvfb: shown by its command, it
// follows the panel's folder and moves the panel on clicks and keys; folders made, renamed,
// moved and deleted by the program (through the folder tree cache's notices) and by others
// (through the shell's notifications) show in the loaded tree without reading it anew;
// buffered notices, drops onto nodes, the command predicates and the lookups.
#include "foldermgr/MFldTree.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>

#include "common/FormFixture.h"
#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "fileops/DelDlg.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDTree.h"
#include "mainwin/Commands.h"
#include "foundation/Language.h"
#include "foundation/MHeader.h"
#include "foundation/MOption.h"
#include "foundation/MPIDL.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/TextCompare.h"
#include "mainwin/FilePanel.h"
#include "panels/DropSrc.h"
#include "panels/DropTgt.h"
#include "panels/FileWin.h"
#include "panels/MFList.h"

namespace {
LPARAM Pt(int x, int y) {
  return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}

void MakeDirs(const std::wstring& base, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* n : names) ASSERT_TRUE(CreateDirectoryW((base + L"\\" + n).c_str(), nullptr)) << n;
}

// OLE for the program's drop targets and the clipboard, as the program starts it.
struct TOleScope {
  TOleScope() { OleInitialize(nullptr); }
  ~TOleScope() { OleUninitialize(); }
};

// The main form with the folder tree installed and shown in the left panel.
struct TTreeFixture : TOleScope, TFormFixture {
  TPanelView* LeftPanel = nullptr;
  TMFolderTree* Tree = nullptr;
  TTreeFixture() {
    MakeDirs(Left, {L"alpha", L"beta", L"beta\\inner", L"gamma"});
    InstallPanelFolderTree();
    LeftPanel = Panel(Left);
    LeftPanel->Reread();
    LeftPanel->FocusPanel(false);
    // The folder tree command of the menu and the key Shift+Ctrl+F.
    Form->RunCommand(3000, 0);
    auto* fp = dynamic_cast<TFilePanel*>(LeftPanel);
    Tree = fp ? dynamic_cast<TMFolderTree*>(fp->Win().FolderTree()) : nullptr;
    if (Tree) Tree->ExpandNode(Node(Left));
  }
  ~TTreeFixture() { PanelFolderTreeFactory = nullptr; }
  TMFList& List() { return LeftPanel->List(); }
  std::wstring ListPath() { return ExcludeTrailingBackslash(List().Path); }
  std::wstring SelPath() { return ExcludeTrailingBackslash(Tree->GetNodePath(Tree->Selected())); }
  HTREEITEM Node(const std::wstring& path) {
    HTREEITEM n = Tree->FindNodeByPath(path);
    return n && SameTextI(ExcludeTrailingBackslash(Tree->GetNodePath(n)), ExcludeTrailingBackslash(path)) ? n
                                                                                                          : nullptr;
  }
  std::vector<std::wstring> ChildTexts(HTREEITEM node) {
    std::vector<std::wstring> out;
    for (HTREEITEM c : Tree->Children(node)) out.push_back(Tree->NodeText(c));
    return out;
  }
  void Click(HTREEITEM node) {
    RECT r = Tree->NodeTextRect(node);
    LPARAM at = Pt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(Tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(Tree->Handle(), WM_LBUTTONUP, 0, at);
    PumpUntil([] { return false; }, 100);
  }
};

// The captions of a menu as shown, without their short-cut texts.
std::vector<std::wstring> Captions(const TMenuKeys& keys) {
  std::vector<std::wstring> out;
  for (const std::wstring& item : keys.Items()) out.push_back(item.substr(0, item.find(L'\t')));
  return out;
}

// Every node of the tree holds its data and its item lists.
void ExpectWholeNodes(TMFolderTree& tree, HTREEITEM first) {
  for (HTREEITEM n = first; n; n = tree.NextSibling(n)) {
    TFolderNodeData* d = tree.NodeData(n);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(d->AbsPidl, nullptr) << tree.NodeText(n);
    EXPECT_NE(d->RelPidl, nullptr) << tree.NodeText(n);
    ExpectWholeNodes(tree, tree.FirstChild(n));
  }
}
}  // namespace

TEST(PanelFolderTree, ShownByItsCommandFollowsThePanelAndMovesIt) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  // A real tree view window beside the list, on the left as the panel record says.
  ASSERT_TRUE(f.Tree->HandleAllocated());
  EXPECT_TRUE(IsWindowVisible(f.Tree->Handle()));
  wchar_t cls[64] = {};
  GetClassNameW(f.Tree->Handle(), cls, 64);
  EXPECT_STREQ(cls, L"SysTreeView32");
  auto* fp = dynamic_cast<TFilePanel*>(f.LeftPanel);
  RECT tree{}, box{};
  GetWindowRect(f.Tree->Handle(), &tree);
  GetWindowRect(fp->Win().Box().Handle(), &box);
  EXPECT_LE(tree.right, box.left);
  EXPECT_EQ(tree.right - tree.left, Options.PanelOptions(1).FTreeWidth);
  // The column header stands over the list alone; the tree reaches up beside it.
  RECT header{};
  GetWindowRect(fp->Win().Header().Handle(), &header);
  EXPECT_EQ(header.left, box.left);
  EXPECT_EQ(header.right, box.right);
  EXPECT_LE(tree.top, header.top);
  EXPECT_NE(Options.PanelOptions(1).Parts & 8, 0);

  // The root is the Desktop, which never collapses; the panel's folder is selected.
  HTREEITEM root = f.Tree->GetRootNode();
  EXPECT_EQ(f.Tree->GetNodeKind(root), fnkDesktop);
  EXPECT_NE(f.Tree->GetMyComputerNode(), nullptr);
  EXPECT_TRUE(SameTextI(f.SelPath(), f.Left));
  HTREEITEM shown = f.Tree->Selected();
  f.Tree->SelectNode(root);
  SendKey(f.Tree->Handle(), VK_SUBTRACT, 0);
  EXPECT_TRUE(f.Tree->Expanded(root));
  f.Tree->SelectNode(shown);

  // The panel moves: the tree follows (no user change back).
  ASSERT_TRUE(f.List().ChangePath(f.Left + L"\\beta\\"));
  EXPECT_TRUE(SameTextI(f.SelPath(), f.Left + L"\\beta"));
  // Children are listed lazily and sorted.
  HTREEITEM left = f.Node(f.Left);
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"beta", L"gamma"}));
  HTREEITEM alpha = f.Node(f.Left + L"\\alpha");
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(f.Tree->FirstChild(alpha), nullptr);
  EXPECT_FALSE(f.Tree->Expanded(alpha));

  // A click on a node moves the panel there at once.
  f.Click(alpha);
  EXPECT_TRUE(PumpUntil([&] { return SameTextI(f.ListPath(), f.Left + L"\\alpha"); }));
  EXPECT_EQ(f.Tree->Selected(), alpha);
  EXPECT_EQ(GetFocus(), f.Tree->Handle());
  EXPECT_TRUE(f.Form->ActivePanel() == f.LeftPanel && f.LeftPanel->FolderTreeFocused());

  // Clicking the selected node again sends the panel there again.
  ASSERT_TRUE(f.List().ChangePath(f.Left + L"\\gamma\\"));
  f.Tree->SelectNode(alpha);  // as if the tree had not followed
  f.Click(alpha);
  EXPECT_TRUE(PumpUntil([&] { return SameTextI(f.ListPath(), f.Left + L"\\alpha"); }));

  // Keys: a move waits for the change delay, then the panel follows.
  SendKey(f.Tree->Handle(), VK_DOWN, 0);
  HTREEITEM beta = f.Node(f.Left + L"\\beta");
  EXPECT_EQ(f.Tree->Selected(), beta);
  EXPECT_TRUE(SameTextI(f.ListPath(), f.Left + L"\\alpha"));
  EXPECT_TRUE(PumpUntil([&] { return SameTextI(f.ListPath(), f.Left + L"\\beta"); }));
  // Enter opens and closes the branch (loading it on the first opening).
  SendKey(f.Tree->Handle(), VK_RETURN, 0);
  EXPECT_TRUE(f.Tree->Expanded(beta));
  EXPECT_EQ(f.ChildTexts(beta), (std::vector<std::wstring>{L"inner"}));
  SendKey(f.Tree->Handle(), VK_RETURN, 0);
  EXPECT_FALSE(f.Tree->Expanded(beta));
  // "." goes up, "\" to the Desktop; both move the panel.
  SendMessageW(f.Tree->Handle(), WM_CHAR, L'.', 0);
  EXPECT_TRUE(SameTextI(f.SelPath(), f.Left));
  EXPECT_TRUE(SameTextI(f.ListPath(), f.Left));
  // The main form's keys work from the tree: Tab goes to the other panel's list.
  ::SetFocus(f.Tree->Handle());
  SendKey(f.Tree->Handle(), VK_TAB, 0);
  EXPECT_NE(GetFocus(), f.Tree->Handle());
  EXPECT_TRUE(f.Form->ActivePanel() != f.LeftPanel);

  // The command hides the tree and shows it again, where the panel has gone meanwhile.
  f.LeftPanel->FocusPanel(false);
  ::SetFocus(f.Tree->Handle());
  f.Form->RunCommand(3000, 0);
  EXPECT_FALSE(IsWindowVisible(f.Tree->Handle()));
  EXPECT_EQ(GetFocus(), fp->Win().Box().Handle());
  ASSERT_TRUE(f.List().ChangePath(f.Left + L"\\gamma\\"));
  EXPECT_TRUE(SameTextI(f.SelPath(), f.Left));
  f.Form->RunCommand(3000, 0);
  EXPECT_TRUE(IsWindowVisible(f.Tree->Handle()));
  EXPECT_TRUE(SameTextI(f.SelPath(), f.Left + L"\\gamma"));
}

TEST(PanelFolderTree, ProgramNoticesChangeTheLoadedTreeInPlace) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  HTREEITEM left = f.Node(f.Left);
  ASSERT_NE(left, nullptr);
  ASSERT_TRUE(f.Tree->ExpandNode(f.Node(f.Left + L"\\beta")));

  // Made by the program: the folder tree cache announces it.
  ASSERT_TRUE(CreateDirectoryW((f.Left + L"\\delta").c_str(), nullptr));
  {
    TMCDTreeMan cache(ExtractPathRoot(f.Left).substr(0, 2), L"");
    cache.AddFolder(f.Left + L"\\delta");
  }
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"beta", L"delta", L"gamma"}));
  EXPECT_EQ(f.Node(f.Left), left);

  // Renamed: the node stays with its open branch, takes the new name and its sorted place.
  HTREEITEM beta = f.Node(f.Left + L"\\beta");
  ASSERT_TRUE(MoveFileW((f.Left + L"\\beta").c_str(), (f.Left + L"\\zeta").c_str()));
  f.Form->NotifyFolderTrees(fckRenamed, f.Left + L"\\beta", f.Left + L"\\zeta");
  EXPECT_EQ(f.Node(f.Left + L"\\zeta"), beta);
  EXPECT_EQ(f.Tree->NodeText(beta), L"zeta");
  EXPECT_TRUE(f.Tree->Expanded(beta));
  EXPECT_TRUE(SameTextI(f.Tree->GetNodePath(f.Tree->FirstChild(beta)), f.Left + L"\\zeta\\inner"));
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"delta", L"gamma", L"zeta"}));

  // Moved into another folder: it leaves one branch and shows in the other.
  ASSERT_TRUE(MoveFileW((f.Left + L"\\delta").c_str(), (f.Left + L"\\zeta\\delta").c_str()));
  f.Form->NotifyFolderTrees(fckRenamed, f.Left + L"\\delta", f.Left + L"\\zeta\\delta");
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"gamma", L"zeta"}));
  EXPECT_EQ(f.ChildTexts(beta), (std::vector<std::wstring>{L"delta", L"inner"}));

  // Deleting the folder the panel shows: the tree selects its parent and the panel follows.
  ASSERT_TRUE(f.List().ChangePath(f.Left + L"\\gamma\\"));
  ASSERT_TRUE(SameTextI(f.SelPath(), f.Left + L"\\gamma"));
  ASSERT_TRUE(RemoveDirectoryW((f.Left + L"\\gamma").c_str()));
  f.Form->NotifyFolderTrees(fckDeleted, f.Left + L"\\gamma", L"");
  EXPECT_EQ(f.Node(f.Left + L"\\gamma"), nullptr);
  EXPECT_EQ(f.Tree->Selected(), left);
  EXPECT_TRUE(SameTextI(f.ListPath(), f.Left));
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"zeta"}));

  // A deletion below a branch never opened reads that branch.
  HTREEITEM alpha = f.Node(f.Left + L"\\alpha");
  ASSERT_EQ(f.Tree->FirstChild(alpha), nullptr);
  MakeDirs(f.Left, {L"alpha\\one", L"alpha\\two"});
  RemoveDirectoryW((f.Left + L"\\alpha\\two").c_str());
  f.Form->NotifyFolderTrees(fckDeleted, f.Left + L"\\alpha\\two", L"");
  EXPECT_EQ(f.ChildTexts(alpha), (std::vector<std::wstring>{L"one"}));

  // Nothing of the tree lost its item lists on the way.
  ExpectWholeNodes(*f.Tree, f.Tree->GetRootNode());
}

TEST(PanelFolderTree, BufferedNoticesApplyOnceWhenTheBufferCloses) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  HTREEITEM left = f.Node(f.Left);
  // Two notices while a command runs: kept, and one refresh when it ends.
  f.Form->BeginTreeUpdates();
  f.Form->BeginTreeUpdates();
  MakeDirs(f.Left, {L"one", L"two"});
  f.Form->NotifyFolderTrees(fckCreated, f.Left + L"\\one", L"");
  f.Form->NotifyFolderTrees(fckCreated, f.Left + L"\\two", L"");
  EXPECT_EQ(f.Tree->BufferedNotices(), 2);
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"beta", L"gamma"}));
  f.Form->EndTreeUpdates();
  EXPECT_EQ(f.ChildTexts(left).size(), 3u);  // still inside the outer command
  f.Form->EndTreeUpdates();
  EXPECT_EQ(f.Tree->BufferedNotices(), 0);
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"beta", L"gamma", L"one", L"two"}));
  // An end without a begin leaves the depth at 0.
  f.Form->EndTreeUpdates();
  EXPECT_EQ(f.Tree->NotifyBufferDepth(), 0);

  // A single buffered notice is applied as itself: a deletion, not a refresh.
  f.Tree->BeginNotifyBuffer();
  RemoveDirectoryW((f.Left + L"\\one").c_str());
  f.Tree->NotifyChange(fckDeleted, f.Left + L"\\one", L"");
  const int reads = f.Tree->EnumerationCount;
  f.Tree->EndNotifyBuffer();
  EXPECT_EQ(f.Tree->EnumerationCount, reads);
  EXPECT_EQ(f.Node(f.Left + L"\\one"), nullptr);
}

TEST(PanelFolderTree, FoldersMadeByOthersShowThroughTheShellsNotifications) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  Options.DiskMonitor = true;
  HTREEITEM left = f.Node(f.Left);
  const std::wstring made = f.Left + L"\\outside";
  ASSERT_TRUE(CreateDirectoryW(made.c_str(), nullptr));
  SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW | SHCNF_FLUSH, made.c_str(), nullptr);
  EXPECT_TRUE(PumpUntil([&] { return f.Node(made) != nullptr; }));
  ASSERT_TRUE(RemoveDirectoryW(made.c_str()));
  SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW | SHCNF_FLUSH, made.c_str(), nullptr);
  EXPECT_TRUE(PumpUntil([&] { return f.Node(made) == nullptr; }));
  EXPECT_EQ(f.ChildTexts(left), (std::vector<std::wstring>{L"alpha", L"beta", L"gamma"}));
}

TEST(PanelFolderTree, LookupsAndPredicates) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  TMFolderTree& t = *f.Tree;
  HTREEITEM drive = t.FindNodeByPath(ExtractPathRoot(f.Left));
  ASSERT_NE(drive, nullptr);
  EXPECT_TRUE(SameTextI(ExcludeTrailingBackslash(t.GetNodePath(drive)), ExtractPathRoot(f.Left).substr(0, 2)));
  EXPECT_EQ(t.FindNodeByPath(f.Left + L"\\"), f.Node(f.Left));
  EXPECT_EQ(t.FindNodeByPath(f.Left + L"\\nothere"), nullptr);
  // Below a branch never opened: the deepest loaded folder.
  EXPECT_EQ(t.FindNodeByPath(f.Left + L"\\alpha\\x\\y"), f.Node(f.Left + L"\\alpha"));
  EXPECT_EQ(t.FindNodeByPath(L"C:"), nullptr);
  // The network is absent here: a network path finds nothing and harms nothing.
  EXPECT_EQ(t.GetNetworkNode(), nullptr);
  EXPECT_EQ(t.FindNodeByPath(L"\\\\server\\share\\x"), nullptr);
  t.NotifyChange(fckDeleted, L"\\\\server\\share\\x", L"");
  t.NotifyChange(fckCreated, L"\\\\server\\share\\x", L"");

  struct TCase {
    HTREEITEM Node;
    bool Copy, Move, Delete, Attr, GoUp;
  };
  const TCase cases[] = {
      {t.GetRootNode(), false, false, false, true, false},
      {t.GetMyComputerNode(), false, false, false, false, true},
      {drive, false, false, false, false, true},
      {f.Node(f.Left + L"\\beta"), true, true, true, true, true},
  };
  for (const TCase& c : cases) {
    ASSERT_NE(c.Node, nullptr);
    t.SetCommandNode(c.Node);
    SCOPED_TRACE(t.NodeText(c.Node));
    EXPECT_EQ(t.CanCopy(), c.Copy);
    EXPECT_EQ(t.CanRename(), c.Copy);
    EXPECT_EQ(t.CanMove(), c.Move);
    EXPECT_EQ(t.CanDelete(), c.Delete);
    EXPECT_EQ(t.CanAttr(), c.Attr);
    EXPECT_EQ(t.CanGoUp(), c.GoUp);
    EXPECT_TRUE(t.CanProperties());
  }
  t.ClearCommandNode();
  // A drive root takes a paste when the clipboard holds files.
  TDropFileSource src(nullptr);
  src.Files.Add(f.Left + L"\\alpha");
  ASSERT_TRUE(src.CopyToClipboard());
  t.SetCommandNode(drive);
  EXPECT_TRUE(t.CanPaste());
  t.SetCommandNode(t.GetMyComputerNode());
  EXPECT_FALSE(t.CanPaste());
  t.ClearCommandNode();
}

TEST(PanelFolderTree, DropsOnNodesCopyOrMoveThere) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  TMFolderTree& t = *f.Tree;
  WriteFileRaw(f.Right + L"\\a.txt", "a");
  WriteFileRaw(f.Right + L"\\b.txt", "b");
  auto drop = [&](const std::vector<std::wstring>& files, HTREEITEM node, DWORD keys, DWORD allowed) {
    IDataObject* data = NewFileDataObject(files, {}, 0);
    // The pointer can only be over a node on screen: the tree may have scrolled it away.
    TreeView_EnsureVisible(t.Handle(), node);
    RECT r = t.NodeTextRect(node);
    POINT c{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(t.Handle(), &c);
    POINTL at{c.x, c.y};
    DWORD effect = allowed;
    t.DropTarget().DragEnter(data, keys, at, &effect);
    effect = allowed;
    t.DropTarget().DragOver(keys, at, &effect);
    EXPECT_EQ(t.DropHighlight(), node);
    effect = allowed;
    t.DropTarget().Drop(data, keys, at, &effect);
    data->Release();
    PumpUntil([] { return false; }, 200);
    return effect;
  };
  HTREEITEM alpha = f.Node(f.Left + L"\\alpha");
  HTREEITEM beta = f.Node(f.Left + L"\\beta");
  HTREEITEM gamma = f.Node(f.Left + L"\\gamma");
  // Without keys, files from one folder of the same drive move.
  DWORD e = drop({f.Right + L"\\a.txt"}, alpha, MK_LBUTTON, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_MOVE));
  EXPECT_TRUE(FileExistsPlain(f.Left + L"\\alpha\\a.txt"));
  EXPECT_FALSE(FileExistsPlain(f.Right + L"\\a.txt"));
  // With Ctrl they are copied.
  e = drop({f.Right + L"\\b.txt"}, beta, MK_LBUTTON | MK_CONTROL, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_TRUE(FileExistsPlain(f.Left + L"\\beta\\b.txt"));
  EXPECT_TRUE(FileExistsPlain(f.Right + L"\\b.txt"));
  // A folder onto itself or into its own subfolder: nothing.
  ASSERT_TRUE(f.Tree->ExpandNode(beta));
  e = drop({f.Left + L"\\beta"}, beta, MK_LBUTTON, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  EXPECT_EQ(e, 0u);
  e = drop({f.Left + L"\\beta"}, f.Node(f.Left + L"\\beta\\inner"), MK_LBUTTON, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  EXPECT_EQ(e, 0u);
  EXPECT_FALSE(FolderExists(f.Left + L"\\beta\\inner\\beta"));
  // The drop menu (right button or LeftDropMenu) decides when it is shown: move (the default
  // here), copy, a line and cancel, since the drag offers no link; the keys pick copy.
  Options.LeftDropMenu = true;
  {
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_RETURN});
    e = drop({f.Right + L"\\b.txt"}, alpha, MK_LBUTTON, DROPEFFECT_COPY | DROPEFFECT_MOVE);
    EXPECT_TRUE(keys.Sent());
    EXPECT_EQ(keys.Items(), (std::vector<std::wstring>{LoadMessageText(4110), LoadMessageText(4111), L"-",
                                                        LoadMessageText(2)}));
    EXPECT_EQ(keys.DefaultItem(), 0);
  }
  // Cancel drops nothing.
  {
    TMenuKeys keys({VK_ESCAPE});
    EXPECT_EQ(drop({f.Right + L"\\b.txt"}, gamma, MK_RBUTTON, DROPEFFECT_COPY | DROPEFFECT_MOVE), 0u);
    EXPECT_TRUE(keys.Sent());
  }
  Options.LeftDropMenu = false;
  EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_FALSE(FileExistsPlain(f.Left + L"\\gamma\\b.txt"));
  EXPECT_TRUE(FileExistsPlain(f.Left + L"\\alpha\\b.txt"));
}

TEST(PanelFolderTree, RenameToAnItemTheTreeCannotListKeepsNoBrokenNode) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  // The new name is a hidden folder, which the tree does not list: the node keeps its data
  // until its parent is read again, and no node is left without its item lists.
  ASSERT_TRUE(MoveFileW((f.Left + L"\\alpha").c_str(), (f.Left + L"\\hid").c_str()));
  SetFileAttributesW((f.Left + L"\\hid").c_str(), FILE_ATTRIBUTE_HIDDEN);
  f.Form->NotifyFolderTrees(fckRenamed, f.Left + L"\\alpha", f.Left + L"\\hid");
  EXPECT_EQ(f.Node(f.Left + L"\\alpha"), nullptr);
  EXPECT_EQ(f.Node(f.Left + L"\\hid"), nullptr);
  EXPECT_EQ(f.ChildTexts(f.Node(f.Left)), (std::vector<std::wstring>{L"beta", L"gamma"}));
  ExpectWholeNodes(*f.Tree, f.Tree->GetRootNode());
  // A rename whose new name does not parse changes nothing.
  f.Form->NotifyFolderTrees(fckRenamed, f.Left + L"\\beta", f.Left + L"\\no|such");
  EXPECT_NE(f.Node(f.Left + L"\\beta"), nullptr);
}

TEST(PanelFolderTree, BufferedNoticesAreDroppedWhenTheTreeGoes) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  int changes = 0;
  f.Tree->SelectNode(f.Node(f.Left + L"\\gamma"));
  f.Tree->OnUserChange = [&](const std::wstring&) { ++changes; };
  f.Tree->BeginNotifyBuffer();
  RemoveDirectoryW((f.Left + L"\\gamma").c_str());
  f.Tree->NotifyChange(fckDeleted, f.Left + L"\\gamma", L"");
  // Applied, the deletion of the selected folder would move the panel; the tree going away
  // applies nothing.
  f.Form.reset();
  EXPECT_EQ(changes, 0);
}

TEST(PanelFolderTree, CommandsWhileTheTreeHasTheFocusActOnItsFolder) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  TMFolderTree& t = *f.Tree;
  // The delete command of the file operations, for this test alone.
  struct TDeleteInstalled {
    TCommandHandler Run = FindCommand(1003)->Run;
    decltype(TMCD::FolderDeleter) Deleter = TMCD::FolderDeleter;
    TDeleteInstalled() { InstallDeleteCommand(); }
    ~TDeleteInstalled() {
      RegisterCommand(1003, Run);
      TMCD::FolderDeleter = Deleter;
      TDeleteForm::ShellFileOperation = [](SHFILEOPSTRUCTW& op) { return SHFileOperationW(&op); };
    }
  } installed;
  HTREEITEM alpha = f.Node(f.Left + L"\\alpha");
  HTREEITEM beta = f.Node(f.Left + L"\\beta");
  ASSERT_TRUE(alpha && beta);
  // The commands ask the tree what its node allows.
  ::SetFocus(t.Handle());
  ASSERT_TRUE(f.LeftPanel->FolderTreeFocused());
  auto enabled = [&](int tag) { return CommandEnabled(*f.Form, *FindCommand(tag)); };
  t.SelectNode(t.FindNodeByPath(ExtractPathRoot(f.Left)));
  EXPECT_FALSE(enabled(1001));
  EXPECT_FALSE(enabled(1003));
  EXPECT_TRUE(enabled(1005));
  EXPECT_TRUE(enabled(1101));
  t.SelectNode(t.GetRootNode());
  EXPECT_FALSE(enabled(1002));
  EXPECT_FALSE(enabled(6404));
  t.SelectNode(alpha);
  EXPECT_TRUE(enabled(1001) && enabled(1002) && enabled(1003) && enabled(1004) && enabled(6404));

  // Ctrl+C puts the folder on the clipboard.
  SendKey(t.Handle(), 'C', 4);
  TDropFileTarget clip(nullptr);
  EXPECT_EQ(clip.PasteFromClipboard(), static_cast<int>(DROPEFFECT_COPY));
  ASSERT_EQ(clip.Files.Count(), 1);
  EXPECT_TRUE(SameTextI(ExcludeTrailingBackslash(clip.Files[0]), f.Left + L"\\alpha"));

  // Alt+K makes a folder inside it, which shows in the tree.
  TMsgBoxSeam::Get().PushText(0, L"made");
  SendKey(t.Handle(), 'K', 2);
  EXPECT_TRUE(FolderExists(f.Left + L"\\alpha\\made"));
  EXPECT_TRUE(t.HasChildren(alpha));
  ASSERT_TRUE(t.ExpandNode(alpha));
  EXPECT_EQ(f.ChildTexts(alpha), (std::vector<std::wstring>{L"made"}));

  // Del: the folder goes to the recycle bin, the trees keeping the notices until the command
  // has ended.
  std::vector<std::wstring> recycled;
  int depth = -1;
  TDeleteForm::ShellFileOperation = [&](SHFILEOPSTRUCTW& op) {
    depth = t.NotifyBufferDepth();
    recycled.push_back(op.pFrom);
    return RemoveDirectoryW((f.Left + L"\\beta\\inner").c_str()) && RemoveDirectoryW(op.pFrom) ? 0 : 1;
  };
  t.SelectNode(beta);
  ::SetFocus(t.Handle());
  SendKey(t.Handle(), VK_DELETE, 0);
  ASSERT_EQ(recycled.size(), 1u);
  EXPECT_TRUE(SameTextI(recycled[0], f.Left + L"\\beta"));
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(t.NotifyBufferDepth(), 0);
  EXPECT_EQ(f.Node(f.Left + L"\\beta"), nullptr);
  EXPECT_LT(f.List().IndexOfName(L"beta"), 0);

  // Two folders of the list deleted at once: one refresh of the tree at the end.
  f.LeftPanel->FocusPanel(false);
  f.List().SetSelected(f.List().IndexOfName(L"alpha"), true);
  f.List().SetSelected(f.List().IndexOfName(L"gamma"), true);
  recycled.clear();
  TDeleteForm::ShellFileOperation = [&](SHFILEOPSTRUCTW& op) {
    depth = t.NotifyBufferDepth();
    for (const wchar_t* p = op.pFrom; *p; p += wcslen(p) + 1) {
      recycled.push_back(p);
      RemoveDirectoryW((std::wstring(p) + L"\\made").c_str());
      RemoveDirectoryW(p);
    }
    return 0;
  };
  f.Form->RunCommand(1003, 0);
  TDeleteForm::ShellFileOperation = [](SHFILEOPSTRUCTW& op) { return SHFileOperationW(&op); };
  EXPECT_EQ(recycled.size(), 2u);
  EXPECT_EQ(depth, 1);
  EXPECT_TRUE(f.ChildTexts(f.Node(f.Left)).empty());
  TMsgBoxSeam::Get().Reset();
}

TEST(PanelFolderTree, ItsOwnMenuRunsTheCommandsOnTheNodeItWasOpenedOn) {
  TTreeFixture f;
  ASSERT_NE(f.Tree, nullptr);
  TMFolderTree& t = *f.Tree;
  HTREEITEM alpha = f.Node(f.Left + L"\\alpha");
  HTREEITEM gamma = f.Node(f.Left + L"\\gamma");
  t.SelectNode(alpha);
  const std::vector<std::wstring> items = {
      LoadMessageText(2105), LoadMessageText(2106), LoadMessageText(2107), LoadMessageText(2108),
      LoadMessageText(2109), LoadMessageText(2110), L"-",                  LoadMessageText(2113),
      L"-",                  LoadMessageText(2115), LoadMessageText(2116), LoadMessageText(2117),
      L"-",                  LoadMessageText(2143), LoadMessageText(2139), L"-",
      LoadMessageText(2158)};
  // With MouseRight 1 a plain right click on gamma opens the tree's own menu; its new folder
  // goes into gamma, not into the selected alpha.
  const uint8_t oldRight = Options.MouseRight;
  Options.MouseRight = 1;
  {
    TMenuKeys keys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
    TMsgBoxSeam::Get().PushText(0, L"sub");
    RECT r = t.NodeTextRect(gamma);
    LPARAM at = Pt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(t.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, at);
    PostMessageW(t.Handle(), WM_RBUTTONUP, 0, at);
    PumpUntil([&] { return FolderExists(f.Left + L"\\gamma\\sub"); }, 3000);
    EXPECT_TRUE(keys.Sent());
    EXPECT_EQ(Captions(keys), items);
  }
  EXPECT_TRUE(FolderExists(f.Left + L"\\gamma\\sub"));
  EXPECT_FALSE(FolderExists(f.Left + L"\\alpha\\sub"));
  EXPECT_FALSE(t.HasCommandNode());
  EXPECT_EQ(t.Selected(), alpha);
  // With MouseRight 0 a plain right click opens nothing; Shift+F10 opens the own menu at the
  // selection, whatever the setting.
  Options.MouseRight = 0;
  {
    TMenuKeys keys({VK_ESCAPE});
    SendKey(t.Handle(), VK_APPS, 0);
    PumpUntil([] { return false; }, 200);
    EXPECT_FALSE(keys.Sent());
  }
  {
    TMenuKeys keys({VK_ESCAPE});
    SendKey(t.Handle(), VK_F10, 1);
    EXPECT_TRUE(keys.Sent());
    EXPECT_EQ(Captions(keys), items);
  }
  EXPECT_FALSE(t.HasCommandNode());
  Options.MouseRight = oldRight;
  TMsgBoxSeam::Get().Reset();
}
