// Files leaving and entering an archive view, and the drop menu: a drag out of an archive
// extracts its entries only when it is dropped (through the system's own DoDragDrop onto the
// other panel), a drag that is not dropped leaves nothing behind, files dropped into an archive
// view go into the archive below the folder it shows, and a right-button drop asks by its menu.
#include <gtest/gtest.h>
#include <ole2.h>
#include <shellapi.h>

#include "archive/layer/ArcCommands.h"
#include "archive/layer/ArcCtrl.h"
#include "archive/layer/ArcTree.h"
#include "archive/layer/ArcView.h"
#include "common/FormFixture.h"
#include "common/MenuKeys.h"
#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "framework/TextCompare.h"
#include "mainwin/DropCmd.h"
#include "mainwin/FilePanel.h"
#include "panels/DropSrc.h"
#include "panels/FileWin.h"
#include "panels/HanFileBox.h"
#include "panels/MFList.h"
#include "panels/PanelDrop.h"

namespace {
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The files of a data object's CF_HDROP as the shell reads them; empty when it gives none.
std::vector<std::wstring> DroppedFiles(IDataObject* data, HRESULT* result = nullptr) {
  FORMATETC f{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM m{};
  HRESULT hr = data->GetData(&f, &m);
  if (result) *result = hr;
  std::vector<std::wstring> out;
  if (FAILED(hr)) return out;
  auto drop = static_cast<HDROP>(m.hGlobal);
  for (UINT i = 0, n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
    wchar_t buf[MAX_PATH] = {};
    DragQueryFileW(drop, i, buf, MAX_PATH);
    out.push_back(buf);
  }
  ReleaseStgMedium(&m);
  return out;
}

// The folders a drag left in the work folder.
int DragFolders() {
  int n = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((WorkFolder + L"_drag*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do ++n;
  while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}

// The main form with the archive commands, an archive data.zip ("a.txt", "sub\b.txt") in the
// left folder, opened in the left panel, and a work folder of the test's own.
struct TArchiveFixture {
  TFormFixture F;
  std::wstring SavedWork = WorkFolder;
  std::wstring Zip;
  TPanelView* Left = nullptr;
  TPanelView* Right = nullptr;
  TArchiveFixture() {
    WorkFolder = F.Dir / L"scratch\\";
    CreateDirectoryW(WorkFolder.c_str(), nullptr);
    InstallArchiveCommands();
    Left = F.Panel(F.Left);
    Right = F.Panel(F.Right);
    const std::wstring src = F.Dir / L"zsrc";
    CreateDirectoryW(src.c_str(), nullptr);
    CreateDirectoryW((src + L"\\sub").c_str(), nullptr);
    WriteFileRaw(src + L"\\a.txt", "alpha");
    WriteFileRaw(src + L"\\sub\\b.txt", "beta");
    Zip = MakeArchive(akZip, L"data.zip", src, {L"a.txt", L"sub\\"});
    SetWindowPos(F.Form->Handle(), HWND_TOPMOST, 0, 0, 800, 500, SWP_SHOWWINDOW);
    PumpUntil([] { return false; }, 50);
  }
  ~TArchiveFixture() {
    ArchiveDragHook = nullptr;
    ArchiveDropHook = nullptr;
    ArchiveTakesFiles = nullptr;
    WorkFolder = SavedWork;
  }
  std::wstring MakeArchive(uint8_t type, const std::wstring& name, const std::wstring& src,
                           std::initializer_list<const wchar_t*> names) {
    auto c = CreateArchiveControl(type);
    c->ArchiveName = F.Left + L"\\" + name;
    c->SourceFolder = src + L"\\";
    c->StorePaths = true;
    c->RecurseDirs = true;
    TStringList list;
    for (const wchar_t* n : names) list.Add(n);
    c->SetFileList(list);
    EXPECT_EQ(c->Add(), arcOk);
    return c->ArchiveName;
  }
  static TFileWin& Win(TPanelView* p) { return dynamic_cast<TFilePanel&>(*p).Win(); }
  void Select(TPanelView* p, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* n : names) {
      int i = p->List().IndexOfName(n);
      ASSERT_GE(i, 0) << n;
      p->List().SetSelected(i, true);
    }
  }
  // A screen point on the list's empty area below its items.
  static POINT EmptyPlace(TPanelView* p) {
    THanFileBox& box = Win(p).Box();
    POINT pt{box.ClientWidth() / 2, box.ClientHeight() - 8};
    ClientToScreen(box.Handle(), &pt);
    return pt;
  }
};

TEST(ArchiveDrag, EntriesAreExtractedOnlyWhenTheDragIsDropped) {
  TArchiveFixture x;
  ASSERT_TRUE(x.Left->List().OpenArchive(x.Zip));
  x.Select(x.Left, {L"a.txt", L"sub"});
  std::vector<std::wstring> files;
  std::function<bool()> extract;
  std::function<void()> finish;
  ASSERT_TRUE(ArchiveDragHook(x.Left->List(), files, extract, finish));
  ASSERT_EQ(files.size(), 2u);
  auto state = std::make_shared<TDragState>();
  int extractions = 0;
  IDataObject* data = NewDeferredFileDataObject(files, {}, [&] { return ++extractions, extract(); }, state);
  // While the drag goes on, a target reading the data sees where the files will be, and
  // nothing is extracted.
  EXPECT_EQ(DroppedFiles(data), files);
  EXPECT_EQ(extractions, 0);
  EXPECT_FALSE(Exists(files[0]));
  IUnknown* own = nullptr;
  EXPECT_EQ(data->QueryInterface(IID_IVelmoFileData, reinterpret_cast<void**>(&own)), S_OK);
  if (own) own->Release();
  // Dropped: the first request extracts, once; the files and the sub-folder's content are there.
  state->Dropped = true;
  EXPECT_EQ(DroppedFiles(data), files);
  EXPECT_EQ(DroppedFiles(data), files);
  EXPECT_EQ(extractions, 1);
  EXPECT_EQ(ReadFileRaw(files[0]), "alpha");
  EXPECT_EQ(ReadFileRaw(files[1] + L"\\b.txt"), "beta");
  FORMATETC ids{static_cast<CLIPFORMAT>(RegisteredFormat(CFSTR_ShellIdList)), nullptr, DVASPECT_CONTENT, -1,
                TYMED_HGLOBAL};
  EXPECT_EQ(data->QueryGetData(&ids), S_OK);  // the shell's item lists now name real files
  data->Release();
  finish();
  EXPECT_TRUE(Exists(files[0]));  // a target may still be copying from there

  // An extraction that fails refuses the files from then on.
  auto failed = std::make_shared<TDragState>();
  failed->Dropped = true;
  IDataObject* bad = NewDeferredFileDataObject({WorkFolder + L"never.txt"}, {}, [] { return false; }, failed);
  HRESULT hr = S_OK;
  EXPECT_TRUE(DroppedFiles(bad, &hr).empty());
  EXPECT_TRUE(FAILED(hr));
  FORMATETC hdrop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(bad->QueryGetData(&hdrop), DV_E_FORMATETC);
  bad->Release();
}

TEST(ArchiveDrag, ADragDroppedOnTheOtherPanelCopiesTheEntriesThereAndOneNotDroppedLeavesNothing) {
  TArchiveFixture x;
  ASSERT_TRUE(x.Left->List().OpenArchive(x.Zip));
  x.Select(x.Left, {L"a.txt", L"sub"});
  // No button is held: the system's drag drops at once where the pointer stands.
  POINT over = TArchiveFixture::EmptyPlace(x.Right);
  SetCursorPos(over.x, over.y);
  x.F.Form->DragPanelItems(x.Left, false);
  ASSERT_TRUE(PumpUntil([&] { return Exists(x.F.Right + L"\\sub\\b.txt"); }));
  EXPECT_EQ(ReadFileRaw(x.F.Right + L"\\a.txt"), "alpha");
  EXPECT_EQ(ReadFileRaw(x.F.Right + L"\\sub\\b.txt"), "beta");
  EXPECT_TRUE(PumpUntil([&] { return x.Right->List().IndexOfName(L"a.txt") >= 0; }));
  EXPECT_EQ(DragFolders(), 1);  // kept while a target may still read it
  // The archive itself is untouched: a drag out of it is a copy.
  EXPECT_GE(x.Left->List().IndexOfName(L"a.txt"), 0);
  EXPECT_TRUE(x.Left->List().InArchive);

  // Dropped where nothing takes files (the main form's own tool area): nothing is extracted,
  // and the next drag removes the earlier one's folder.
  RECT form;
  GetWindowRect(x.F.Form->Handle(), &form);
  SetCursorPos(form.left + 4, form.top + 4);
  x.F.Form->DragPanelItems(x.Left, false);
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(DragFolders(), 0);
}

TEST(ArchiveDrop, DroppedFilesGoIntoTheArchiveBelowTheShownFolder) {
  TArchiveFixture x;
  WriteFileRaw(x.F.Right + L"\\new.txt", "fresh");
  WriteFileRaw(x.F.Right + L"\\deep.txt", "deeper");
  TMFList& list = x.Left->List();
  ASSERT_TRUE(list.OpenArchive(x.Zip));
  IDropTarget* target = TArchiveFixture::Win(x.Left).ListDrop().Target().Interface();
  auto dropOne = [&](const std::wstring& file, DWORD allowed) {
    IDataObject* data = NewFileDataObject({file}, {}, 0);
    POINT p = TArchiveFixture::EmptyPlace(x.Left);
    DWORD e = allowed;
    target->DragEnter(data, MK_LBUTTON, POINTL{p.x, p.y}, &e);
    const DWORD entered = e;
    e = allowed;
    target->Drop(data, 0, POINTL{p.x, p.y}, &e);
    data->Release();
    return entered;
  };
  // Into the top: always a copy, whatever the keys and the source offer.
  EXPECT_EQ(dropOne(x.F.Right + L"\\new.txt", DROPEFFECT_COPY | DROPEFFECT_MOVE),
            static_cast<DWORD>(DROPEFFECT_COPY));
  ASSERT_TRUE(PumpUntil([&] { return list.IndexOfName(L"new.txt") >= 0; }));
  EXPECT_TRUE(list.InArchive);
  EXPECT_TRUE(Exists(x.F.Right + L"\\new.txt"));  // the file itself stays
  // Into the folder the view shows: the entry lands there.
  ASSERT_TRUE(list.ChangeArchiveFolder(L"sub"));
  dropOne(x.F.Right + L"\\deep.txt", DROPEFFECT_COPY);
  ASSERT_TRUE(PumpUntil([&] { return list.IndexOfName(L"deep.txt") >= 0; }));
  EXPECT_EQ(list.ArcPath, L"sub");
  EXPECT_GE(list.IndexOfName(L"b.txt"), 0);
  // What the archive now holds, read from the file afresh.
  TMFList check(1);
  check.OpenArcTree = [](const std::wstring& f) -> std::unique_ptr<TArcFolderSource> { return OpenArchiveTree(f); };
  ASSERT_TRUE(check.OpenArchive(x.Zip));
  EXPECT_GE(check.IndexOfName(L"new.txt"), 0);
  EXPECT_LT(check.IndexOfName(L"deep.txt"), 0);
  ASSERT_TRUE(check.ChangeArchiveFolder(L"sub"));
  EXPECT_GE(check.IndexOfName(L"deep.txt"), 0);
  EXPECT_EQ(DragFolders(), 0);

  // A format that is only ever written whole takes no drops.
  const std::wstring src = x.F.Dir / L"tsrc";
  CreateDirectoryW(src.c_str(), nullptr);
  WriteFileRaw(src + L"\\t.txt", "t");
  const std::wstring tar = x.MakeArchive(akTar, L"t.tar", src, {L"t.txt"});
  ASSERT_TRUE(list.OpenArchive(tar));
  EXPECT_EQ(dropOne(x.F.Right + L"\\new.txt", DROPEFFECT_COPY), static_cast<DWORD>(DROPEFFECT_NONE));
  PumpUntil([] { return false; }, 100);
  EXPECT_LT(list.IndexOfName(L"new.txt"), 0);
}

TEST(DropMenu, ARightButtonDropAsksWhatToDo) {
  TArchiveFixture x;
  WriteFileRaw(x.F.Left + L"\\doc.txt", "doc");
  CreateDirectoryW((x.F.Right + L"\\in").c_str(), nullptr);
  x.Right->Reread();
  struct TDrop {
    std::wstring Target;
    int Mode;
  };
  std::vector<TDrop> drops;
  TFileWin& right = TArchiveFixture::Win(x.Right);
  right.OnListDrop = [&](TFileWin*, const std::wstring& target, bool, int mode, const TStringList&,
                         const TStringList&) {
    drops.push_back({target, mode});
    return true;
  };
  IDropTarget* target = right.ListDrop().Target().Interface();
  const std::wstring move = LoadMessageText(4110), copy = LoadMessageText(4111), link = LoadMessageText(4112),
                     cancel = LoadMessageText(2);
  struct TCase {
    DWORD Button;       // the button that drags
    bool LeftMenu;      // the user wants the menu for the left button too
    DWORD Allowed;      // what the source allows
    std::vector<WORD> Keys;
    std::vector<std::wstring> Shown;  // the menu's entries, "" when no menu is due
    int Default;
    int Mode;  // -1: nothing dropped
  } cases[] = {
      // Same drive: move is the default; the keys pick copy.
      {MK_RBUTTON, false, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, {VK_DOWN, VK_DOWN, VK_RETURN},
       {move, copy, link, L"-", cancel}, 0, 0},
      // Only copy offered: move and shortcut are left out; cancel drops nothing.
      {MK_RBUTTON, false, DROPEFFECT_COPY, {VK_DOWN, VK_DOWN, VK_RETURN}, {copy, L"-", cancel}, 0, -1},
      {MK_RBUTTON, false, DROPEFFECT_COPY | DROPEFFECT_LINK, {VK_ESCAPE}, {copy, link, L"-", cancel}, 0, -1},
      // With LeftDropMenu the left button asks too; the shortcut entry makes links.
      {MK_LBUTTON, true, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, {VK_UP, VK_UP, VK_RETURN},
       {move, copy, link, L"-", cancel}, 0, 2},
      // Without it, a left drop just drops.
      {MK_LBUTTON, false, DROPEFFECT_COPY | DROPEFFECT_MOVE, {}, {}, -1, 1},
  };
  for (const TCase& c : cases) {
    drops.clear();
    Options.LeftDropMenu = c.LeftMenu;
    IDataObject* data = NewFileDataObject({x.F.Left + L"\\doc.txt"}, {}, 0);
    POINT p = TArchiveFixture::EmptyPlace(x.Right);
    DWORD e = c.Allowed;
    target->DragEnter(data, c.Button, POINTL{p.x, p.y}, &e);
    std::unique_ptr<TMenuKeys> keys;
    if (!c.Keys.empty()) keys = std::make_unique<TMenuKeys>(c.Keys);
    e = c.Allowed;
    target->Drop(data, 0, POINTL{p.x, p.y}, &e);
    data->Release();
    PumpUntil([&] { return !drops.empty(); }, c.Mode < 0 ? 150 : 3000);
    if (keys) {
      EXPECT_TRUE(keys->Sent());
      EXPECT_EQ(keys->Items(), c.Shown);
      EXPECT_EQ(keys->DefaultItem(), c.Default);
    }
    if (c.Mode < 0) {
      EXPECT_TRUE(drops.empty());
      EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_NONE));
    } else {
      ASSERT_EQ(drops.size(), 1u);
      EXPECT_EQ(drops[0].Mode, c.Mode);
      EXPECT_EQ(drops[0].Target, x.F.Right + L"\\");
    }
  }
  Options.LeftDropMenu = false;
}
}  // namespace
