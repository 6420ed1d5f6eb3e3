// Drag and drop and the file clipboard through the system's own OLE: the data object's
// formats, clipboard round trips (also of damaged data that another program put there), drops
// through the target's IDropTarget, real drags through DoDragDrop, and shortcuts read back
// through IShellLinkW.
#include <gtest/gtest.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "framework/Forms.h"
#include "panels/DropData.h"
#include "panels/DropSrc.h"
#include "panels/DropTgt.h"

namespace {
class TOleEnvironment : public testing::Environment {
 public:
  void SetUp() override { OleInitialize(nullptr); }
  void TearDown() override {
    ClearClipboard();
    OleUninitialize();
  }
};
const auto* const OleEnvironment = testing::AddGlobalTestEnvironment(new TOleEnvironment);

using TNames = std::vector<std::wstring>;

TNames Names(const TStringList& list) {
  TNames out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

std::wstring FormatName(CLIPFORMAT cf) {
  if (cf == CF_HDROP) return L"CF_HDROP";
  wchar_t buf[128] = {};
  GetClipboardFormatNameW(cf, buf, 128);
  return buf;
}

// The files of a CF_HDROP medium as the shell reads them.
TNames ShellFiles(HGLOBAL h) {
  TNames out;
  auto drop = static_cast<HDROP>(h);
  UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < n; ++i) {
    wchar_t buf[MAX_PATH] = {};
    DragQueryFileW(drop, i, buf, MAX_PATH);
    out.push_back(buf);
  }
  return out;
}

// Puts raw blocks on the clipboard as another program would.
void PutRaw(const std::vector<std::pair<UINT, std::vector<uint8_t>>>& blocks) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  for (const auto& [cf, bytes] : blocks) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    void* p = GlobalLock(h);
    if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
    SetClipboardData(cf, h);
  }
  CloseClipboard();
}

std::vector<uint8_t> Effect(DWORD e) {
  std::vector<uint8_t> b(4);
  std::memcpy(b.data(), &e, 4);
  return b;
}

TEST(DropSource, OffersTheFiveFormatsInOrderAndTheShellReadsTheFiles) {
  TTempDir dir;
  WriteFileRaw(dir / L"a.txt", "a");
  CreateDirectoryW((dir / L"폴더").c_str(), nullptr);
  const TNames files = {dir / L"a.txt", dir / L"폴더"};
  IDataObject* data = NewFileDataObject(files, {L"first.txt", L"second"}, DROPEFFECT_MOVE);
  IEnumFORMATETC* formats = nullptr;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
  std::vector<std::wstring> order;
  FORMATETC f;
  while (formats->Next(1, &f, nullptr) == S_OK) {
    order.push_back(FormatName(f.cfFormat));
    EXPECT_EQ(f.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
  }
  formats->Release();
  EXPECT_EQ(order, (TNames{L"CF_HDROP", L"Shell IDList Array", L"Preferred DropEffect", L"FileNameMap",
                          L"FileNameMapW"}));

  FORMATETC hdrop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM m{};
  ASSERT_EQ(data->GetData(&hdrop, &m), S_OK);
  EXPECT_EQ(ShellFiles(m.hGlobal), files);
  ReleaseStgMedium(&m);
  // The item list array names the same items for the shell.
  FORMATETC ids{static_cast<CLIPFORMAT>(RegisteredFormat(CFSTR_ShellIdList)), nullptr, DVASPECT_CONTENT, -1,
                TYMED_HGLOBAL};
  ASSERT_EQ(data->GetData(&ids, &m), S_OK);
  auto* cida = static_cast<CIDA*>(GlobalLock(m.hGlobal));
  ASSERT_EQ(cida->cidl, 2u);
  auto parent = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<BYTE*>(cida) + cida->aoffset[0]);
  auto child = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<BYTE*>(cida) + cida->aoffset[2]);
  LPITEMIDLIST full = ILCombine(parent, child);
  wchar_t path[MAX_PATH] = {};
  SHGetPathFromIDListW(full, path);
  EXPECT_EQ(lstrcmpiW(path, files[1].c_str()), 0) << path;
  ILFree(full);
  GlobalUnlock(m.hGlobal);
  ReleaseStgMedium(&m);
  data->Release();

  // A drag without a preferred effect or maps does not pretend to have them.
  data = NewFileDataObject(files, {}, 0);
  for (const wchar_t* name : {CFSTR_PreferredEffect, CFSTR_FileNameMapA, CFSTR_FileNameMapW}) {
    FORMATETC q{static_cast<CLIPFORMAT>(RegisteredFormat(name)), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_NE(data->QueryGetData(&q), S_OK) << name;
  }
  IUnknown* own = nullptr;
  EXPECT_EQ(data->QueryInterface(IID_IVelmoFileData, reinterpret_cast<void**>(&own)), S_OK);
  own->Release();
  data->Release();
}

TEST(DropSource, ImageSettersFollowTheirRules) {
  TDropFileSource s(nullptr);
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
  HBITMAP bmp = CreateBitmap(16, 16, 1, 32, nullptr);
  ImageList_Add(images, bmp, nullptr);
  ImageList_Add(images, bmp, nullptr);
  s.SetShowImage(true);
  EXPECT_FALSE(s.ShowImage());  // no list: off
  s.SetImages(images);
  EXPECT_TRUE(s.ShowImage());
  EXPECT_EQ(s.ImageIndex(), 0);
  s.SetImageIndex(1);
  EXPECT_EQ(s.ImageIndex(), 1);
  s.SetImageIndex(5);  // past the end: ignored
  EXPECT_EQ(s.ImageIndex(), 1);
  s.SetImageIndex(-1);  // negative: index 0 without image
  EXPECT_EQ(s.ImageIndex(), 0);
  EXPECT_FALSE(s.ShowImage());
  s.SetImageHotSpot(1, 7);
  s.SetImageHotSpot(2, 9);
  EXPECT_EQ(s.ImageHotSpotX(), 7);
  EXPECT_EQ(s.ImageHotSpotY(), 9);
  s.SetImages(nullptr);
  EXPECT_FALSE(s.ShowImage());
  ImageList_Destroy(images);
  DeleteObject(bmp);
}

TEST(Clipboard, CopyAndCutRoundTripThroughTheSystemClipboard) {
  TTempDir dir;
  WriteFileRaw(dir / L"a.txt", "a");
  WriteFileRaw(dir / L"b\u20AC.txt", "b");
  struct {
    bool Cut;
    int Effect;
  } cases[] = {{false, 1}, {true, 2}};
  for (const auto& c : cases) {
    TDropFileSource source(nullptr);
    source.Files.Add(dir / L"a.txt");
    source.Files.Add(dir / L"b\u20AC.txt");
    source.MappedNames.Add(L"x.txt");
    source.MappedNames.Add(L"y\u20AC.txt");
    ASSERT_TRUE(c.Cut ? source.CutToClipboard() : source.CopyToClipboard());
    // Another program sees plain clipboard data.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_EQ(ShellFiles(GetClipboardData(CF_HDROP)), Names(source.Files));
    HGLOBAL effect = GetClipboardData(RegisteredFormat(CFSTR_PreferredEffect));
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(*static_cast<DWORD*>(GlobalLock(effect)), c.Cut ? DWORD(DROPEFFECT_MOVE) : DWORD(DROPEFFECT_COPY));
    GlobalUnlock(effect);
    CloseClipboard();

    TDropFileTarget target(nullptr);
    EXPECT_TRUE(target.CanPasteFromClipboard());
    EXPECT_EQ(target.PasteFromClipboard(), c.Effect);
    EXPECT_EQ(Names(target.Files), Names(source.Files));
    // The UTF-16 map wins: the euro sign survives.
    EXPECT_EQ(Names(target.MappedNames), (TNames{L"x.txt", L"y\u20AC.txt"}));
  }
  ClearClipboard();
  TDropFileTarget target(nullptr);
  EXPECT_FALSE(target.CanPasteFromClipboard());
  EXPECT_EQ(target.PasteFromClipboard(), 0);
  EXPECT_EQ(target.Files.Count(), 0);
}

TEST(Clipboard, DataOfOtherProgramsIsReadWithinItsSizeAndChecked) {
  const UINT mapA = RegisteredFormat(CFSTR_FileNameMapA), mapW = RegisteredFormat(CFSTR_FileNameMapW),
             pref = RegisteredFormat(CFSTR_PreferredEffect);
  std::vector<uint8_t> good = BuildDropFiles({L"C:\\a.txt", L"C:\\b.txt"});
  std::vector<uint8_t> cut(good.begin(), good.end() - 4);  // the closing NULs gone
  std::vector<uint8_t> wild = good;
  uint32_t farOffset = 0x7FFFFFF0;
  std::memcpy(wild.data(), &farOffset, 4);
  struct TCase {
    const char* What;
    std::vector<std::pair<UINT, std::vector<uint8_t>>> Blocks;
    int Effect;
    TNames Files, Maps;
  } cases[] = {
      {"names without their closing NULs", {{CF_HDROP, cut}}, 0, {}, {}},
      {"list offset far past the block", {{CF_HDROP, wild}}, 0, {}, {}},
      {"no effect block: a copy", {{CF_HDROP, good}}, 1, {L"C:\\a.txt", L"C:\\b.txt"}, {}},
      {"copy or link (the shell's copy)", {{CF_HDROP, good}, {pref, Effect(5)}}, 1, {L"C:\\a.txt", L"C:\\b.txt"}, {}},
      {"link alone", {{CF_HDROP, good}, {pref, Effect(4)}}, 4, {L"C:\\a.txt", L"C:\\b.txt"}, {}},
      {"short effect block", {{CF_HDROP, good}, {pref, {2, 0}}}, 1, {L"C:\\a.txt", L"C:\\b.txt"}, {}},
      {"map count differs", {{CF_HDROP, good}, {mapW, BuildNameMap({L"x"}, true)}}, 1, {L"C:\\a.txt", L"C:\\b.txt"},
       {}},
      {"map escaping its folder",
       {{CF_HDROP, good}, {mapW, BuildNameMap({L"..\\..\\x.txt", L".."}, true)}},
       1,
       {L"C:\\a.txt", L"C:\\b.txt"},
       {L"x.txt", L""}},
      {"ANSI map when there is no UTF-16 one",
       {{CF_HDROP, good}, {mapA, BuildNameMap({L"p.txt", L"q.txt"}, false)}},
       1,
       {L"C:\\a.txt", L"C:\\b.txt"},
       {L"p.txt", L"q.txt"}},
      {"damaged UTF-16 map falls back to the ANSI one",
       {{CF_HDROP, good}, {mapW, {'x', 0, 'y'}}, {mapA, BuildNameMap({L"p.txt", L"q.txt"}, false)}},
       1,
       {L"C:\\a.txt", L"C:\\b.txt"},
       {L"p.txt", L"q.txt"}},
  };
  for (const auto& c : cases) {
    PutRaw(c.Blocks);
    TDropFileTarget target(nullptr);
    EXPECT_EQ(target.PasteFromClipboard(), c.Effect) << c.What;
    EXPECT_EQ(Names(target.Files), c.Files) << c.What;
    EXPECT_EQ(Names(target.MappedNames), c.Maps) << c.What;
  }
  ClearClipboard();
}

// A window with a file drop target, standing where the pointer is put.
struct TTargetWindow {
  TForm Form{nullptr};
  TDropFileTarget Target{nullptr};
  TTargetWindow() {
    Form.SetBounds(100, 100, 300, 200);
    Form.Show();
    SetWindowPos(Form.Handle(), HWND_TOPMOST, 100, 100, 300, 200, SWP_SHOWWINDOW);
    Form.Update();
    EXPECT_TRUE(Target.SetTarget(&Form));
  }
  ~TTargetWindow() { Target.SetTarget(nullptr); }
  POINT Centre() const { return POINT{250, 200}; }
};

TEST(DropTarget, DropThroughIDropTargetReportsFilesSourceAndEffect) {
  TTargetWindow w;
  TDropFileTarget& t = w.Target;
  IDataObject* ours = NewFileDataObject({L"C:\\one.txt"}, {L"mapped.txt"}, 0);
  DWORD keys = 0;
  TNames dropped;
  bool same = false;
  POINT at{-1, -1};
  TNames mapped;
  t.OnDrop = [&](TShiftState, POINT p, DWORD&) {
    dropped = Names(t.Files);
    mapped = Names(t.MappedNames);
    same = t.SameSource();
    at = p;
  };
  struct {
    DWORD Keys, Allowed, Expected;
  } cases[] = {
      {0, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_COPY},
      {MK_SHIFT, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_MOVE},
      {MK_CONTROL, DROPEFFECT_MOVE, DROPEFFECT_NONE},
      {MK_CONTROL | MK_SHIFT, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_LINK},
      {MK_ALT, DROPEFFECT_LINK | DROPEFFECT_MOVE, DROPEFFECT_LINK},
      {0, DROPEFFECT_LINK, DROPEFFECT_LINK},
  };
  IDropTarget* it = t.Interface();
  const POINTL screen{120, 130};
  for (const auto& c : cases) {
    keys = c.Keys | MK_LBUTTON;
    DWORD e = c.Allowed;
    ASSERT_EQ(it->DragEnter(ours, keys, screen, &e), S_OK);
    EXPECT_EQ(e, c.Expected) << c.Keys;
    e = c.Allowed;
    EXPECT_EQ(t.SourceEffects(), c.Allowed);
    ASSERT_EQ(it->DragOver(keys, screen, &e), S_OK);
    EXPECT_EQ(e, c.Expected);
    e = c.Allowed;
    ASSERT_EQ(it->Drop(ours, c.Keys, screen, &e), S_OK);
    EXPECT_EQ(e, c.Expected);
  }
  EXPECT_EQ(dropped, (TNames{L"C:\\one.txt"}));
  EXPECT_EQ(mapped, (TNames{L"mapped.txt"}));
  EXPECT_TRUE(same);
  POINT client{120, 130};
  ScreenToClient(w.Form.Handle(), &client);
  EXPECT_EQ(at.x, client.x);  // client coordinates of the target window
  EXPECT_EQ(at.y, client.y);
  // Data that is not this program's own, and data without files.
  IDataObject* foreign = nullptr;
  PutRaw({{CF_HDROP, BuildDropFiles({L"C:\\two.txt"})}});
  ASSERT_EQ(OleGetClipboard(&foreign), S_OK);
  DWORD e = DROPEFFECT_COPY;
  it->Drop(foreign, 0, screen, &e);
  EXPECT_FALSE(same);
  EXPECT_EQ(dropped, (TNames{L"C:\\two.txt"}));
  EXPECT_EQ(mapped, (TNames{}));
  foreign->Release();
  PutRaw({{CF_TEXT, {'h', 'i', 0}}});
  ASSERT_EQ(OleGetClipboard(&foreign), S_OK);
  e = DROPEFFECT_COPY;
  it->DragEnter(foreign, 0, screen, &e);
  EXPECT_EQ(e, static_cast<DWORD>(DROPEFFECT_NONE));
  it->DragLeave();
  foreign->Release();
  ours->Release();
  ClearClipboard();
}

TEST(DropTarget, ARestingDragAsksAndThenFiresTheStayTimer) {
  TTargetWindow w;
  TDropFileTarget& t = w.Target;
  t.StayDelay = 30;
  int asked = 0, fired = 0;
  t.OnStayCheck = [&](POINT p) {
    ++asked;
    return p.x < 100;
  };
  t.OnStayTimer = [&](POINT) { ++fired; };
  IDataObject* data = NewFileDataObject({L"C:\\one.txt"}, {}, 0);
  DWORD e = DROPEFFECT_COPY;
  t.Interface()->DragEnter(data, MK_LBUTTON, POINTL{250, 130}, &e);  // x 150: not wanted
  PumpUntil([] { return false; }, 80);
  EXPECT_EQ(fired, 0);
  t.Interface()->DragOver(MK_LBUTTON, POINTL{120, 130}, &e);
  EXPECT_TRUE(PumpUntil([&] { return fired == 1; }, 2000));
  t.Interface()->DragOver(MK_LBUTTON, POINTL{120, 130}, &e);  // same place: no new question
  EXPECT_EQ(asked, 2);
  t.Interface()->DragLeave();
  data->Release();
}

TEST(DropSource, ExecuteRunsARealDragOntoTheWindowUnderThePointer) {
  TTargetWindow w;
  TDropFileTarget& t = w.Target;
  DWORD wanted = DROPEFFECT_MOVE;
  int drops = 0;
  t.OnGetDropEffect = [&](TShiftState, POINT, DWORD& effect) { effect = wanted; };
  t.OnDrop = [&](TShiftState, POINT, DWORD&) { ++drops; };
  TDropFileSource source(nullptr);
  source.Files.Add(L"C:\\dragged.txt");
  struct {
    TDragTypes Types;
    DWORD Wanted;
    TDragResult Result;
  } cases[] = {
      {dtCopy | dtMove, DROPEFFECT_MOVE, drMove},
      {dtCopy | dtMove, DROPEFFECT_COPY | DROPEFFECT_MOVE, drCopy},  // copy tested first
      {dtCopy | dtMove | dtLink, DROPEFFECT_LINK, drLink},
      {dtCopy, DROPEFFECT_MOVE, drCancel},  // not among the drag types
      {dtMove, DROPEFFECT_NONE, drCancel},
  };
  for (const auto& c : cases) {
    // No button is held: the drag drops at once where the pointer stands.
    SetCursorPos(w.Centre().x, w.Centre().y);
    source.DragTypes = c.Types;
    wanted = c.Wanted;
    EXPECT_EQ(source.Execute(), c.Result) << int(c.Types) << " " << c.Wanted;
  }
  EXPECT_GE(drops, 3);
  EXPECT_EQ(Names(t.Files), (TNames{L"C:\\dragged.txt"}));
  TDropFileSource empty(nullptr);
  EXPECT_EQ(empty.Execute(), drUnknown);
  EXPECT_EQ(DragResultForEffect(DROPEFFECT_COPY | DROPEFFECT_LINK, dtLink), drLink);
}

TEST(Shortcut, SavedWithFolderAndDescriptionAndNumberedWhenTheNameIsTaken) {
  TTempDir dir;
  WriteFileRaw(dir / L"target file.txt", "x");
  const std::wstring target = dir / L"target file.txt";
  ASSERT_TRUE(CreateShortcut(target, dir / L"link.txt", L"설명"));
  ASSERT_TRUE(CreateShortcut(target, dir / L"link.lnk", L""));
  ASSERT_TRUE(CreateShortcut(target, dir / L"link", L""));
  for (const wchar_t* name : {L"link.LNK", L"link(1).LNK", L"link(2).LNK"})
    EXPECT_NE(GetFileAttributesW((dir / name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
  IShellLinkW* link = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             reinterpret_cast<void**>(&link)),
            S_OK);
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  ASSERT_EQ(file->Load((dir / L"link.LNK").c_str(), STGM_READ), S_OK);
  wchar_t buf[MAX_PATH] = {};
  link->GetPath(buf, MAX_PATH, nullptr, 0);
  EXPECT_EQ(lstrcmpiW(buf, target.c_str()), 0) << buf;
  link->GetWorkingDirectory(buf, MAX_PATH);
  EXPECT_EQ(lstrcmpiW(buf, dir.Path().c_str()), 0) << buf;
  link->GetDescription(buf, MAX_PATH);
  EXPECT_STREQ(buf, L"설명");
  file->Release();
  link->Release();
  EXPECT_FALSE(CreateShortcut(L"", dir / L"x", L""));
}
}  // namespace
