#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/TestUtil.h"
#include "panels/MIcon.h"

namespace {
// Test file types registered for the current user, removed again afterwards.
class TTestTypes {
 public:
  TTestTypes() {
    Set(L".velmoa", L"Velmo.TestA");
    Set(L"Velmo.TestA", L"Velmo test A");
    Set(L"Velmo.TestA\\DefaultIcon", L"shell32.dll,5");
    Set(L".velmob", L"");  // names no type
    Set(L".velmoc", L"Velmo.TestC");
    Set(L"Velmo.TestC", L"Velmo test C");
    Set(L"Velmo.TestC\\DefaultIcon", L"\"%1\"");  // the icon is the file's own
    Set(L".velmod", L"Velmo.NoSuchType");
    // Programs and internet shortcuts: the prefix may not map these extensions to a type;
    // then the test does, for itself.
    if (!Known(L".exe")) {
      Set(L".exe", L"exefile");
      FMade.push_back(L".exe");
    }
    if (!Known(L".url")) {
      Set(L".url", L"Velmo.Url");
      Set(L"Velmo.Url", L"Velmo shortcut");
      Set(L"Velmo.Url\\DefaultIcon", L"shell32.dll,5");
      FMade.push_back(L".url");
      FMade.push_back(L"Velmo.Url");
    }
  }
  ~TTestTypes() {
    for (const wchar_t* k : {L".velmoa", L"Velmo.TestA", L".velmob", L".velmoc", L"Velmo.TestC", L".velmod"})
      RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Classes\\") + k).c_str());
    for (const auto& k : FMade) RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + k).c_str());
  }

  bool Made(const std::wstring& key) const { return std::find(FMade.begin(), FMade.end(), key) != FMade.end(); }

 private:
  std::vector<std::wstring> FMade;
  static bool Known(const std::wstring& ext) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ext.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS &&
        RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + ext).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
      return false;
    RegCloseKey(h);
    return true;
  }
  static void Set(const std::wstring& key, const std::wstring& value) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
  }
};

struct Answer {
  bool final;
  std::wstring type;
  int32_t icon;
};
Answer Ask(TSystemFileData& d, const std::wstring& path, const std::wstring& ext, bool load = true) {
  Answer a{false, L"?", 12345};
  a.final = d.GetFileTypeIcon(path, ext, load, a.type, a.icon);
  return a;
}
}  // namespace

TEST(SystemFileData, TypesFromTheRegistryAndTheShell) {
  TTestTypes types;
  TTempDir dir;
  for (const wchar_t* f : {L"one.velmoa", L"two.velmod", L"pic.velmoc"}) ASSERT_TRUE(WriteFileRaw(dir / f, "x"));
  TSystemFileData d;
  d.Load();
  EXPECT_TRUE(d.RegistryRead);
  ASSERT_GE(d.FindExt(L"velmoa"), 0);
  EXPECT_GE(ImageList_GetImageCount(d.Images()), 8);

  // A type with an icon of its own: the shell is asked for the first file, and every later
  // file of the type (even one that is not there) gets the kept answer.
  Answer a = Ask(d, dir / L"one", L"VELMOA");
  EXPECT_TRUE(a.final);
  EXPECT_EQ(a.type, L"Velmo test A");
  EXPECT_LE(a.icon, -10);
  Answer again = Ask(d, dir / L"not-there", L"velmoa");
  EXPECT_EQ(again.icon, a.icon);
  EXPECT_EQ(again.type, a.type);
  EXPECT_EQ(d.Type(d.FindExt(L"velmoa")).IconIndex, a.icon);

  // A type key that does not exist: the shell names the type.
  Answer dd = Ask(d, dir / L"two", L"velmod");
  EXPECT_TRUE(dd.final);
  EXPECT_LE(dd.icon, -10);
  EXPECT_FALSE(dd.type.empty());

  // The icon is the file's own: the file image now, the icon thread asks later.
  Answer c = Ask(d, dir / L"pic", L"velmoc");
  EXPECT_FALSE(c.final);
  EXPECT_EQ(c.type, L"Velmo test C");
  EXPECT_EQ(c.icon, d.FileIcon);
  Answer exe = Ask(d, dir / L"prog", L"exe");
  EXPECT_FALSE(exe.final);
  EXPECT_EQ(exe.icon, d.ProgramIcon);
  // Internet shortcuts: one image made from the type's icon on first need, then reused.
  EXPECT_EQ(d.URLIcon, -1);
  Answer url = Ask(d, dir / L"link", L"url");
  EXPECT_FALSE(url.final);
  EXPECT_EQ(url.icon, d.URLIcon);
  EXPECT_NE(url.icon, -1);
  if (types.Made(L".url")) {
    EXPECT_GT(url.icon, d.DriveIcon);  // a new image of the own list
  }
  EXPECT_EQ(Ask(d, dir / L"other", L"URL").icon, url.icon);
  EXPECT_EQ(Ask(d, dir / L"other", L"url", false).icon, d.FileIcon);
  Answer noLoad = Ask(d, dir / L"two", L"velmod", false);  // already resolved: final anyway
  EXPECT_TRUE(noLoad.final);

  // Unknown types stay unknown, also when asked again through the recently-used slots.
  for (const wchar_t* ext : {L"velmob", L"velmob", L"velmo-none", L"velmob"}) {
    Answer u = Ask(d, dir / L"u", ext);
    EXPECT_TRUE(u.final) << ext;
    EXPECT_EQ(u.type, L"") << ext;
    EXPECT_EQ(u.icon, d.FileIcon) << ext;
  }
  EXPECT_EQ(d.FindExt(L"velmob"), -1);
  EXPECT_GE(d.FindExt(L"velmoa"), 0);  // and the known ones are still found

  d.ResetSystemIcons();
  EXPECT_EQ(d.Type(d.FindExt(L"velmoa")).IconIndex, -2);
  EXPECT_EQ(Ask(d, dir / L"one", L"velmoa").icon, a.icon);
}

TEST(SystemFileData, WithoutIconAnalysisEveryFileGetsTheFileImage) {
  TTestTypes types;
  TSystemFileData d;
  d.IconAnalysis = false;
  d.Load();
  EXPECT_TRUE(d.Loaded);
  EXPECT_FALSE(d.RegistryRead);
  EXPECT_EQ(d.TypeCount(), 0);
  Answer a = Ask(d, L"C:\\x", L"velmoa");
  EXPECT_TRUE(a.final);
  EXPECT_EQ(a.type, L"");
  EXPECT_EQ(a.icon, d.FileIcon);
}

TEST(SystemFileData, FoldersAndDrives) {
  TTempDir dir;
  TSystemFileData d;
  d.Load();
  int32_t icon = 0, overlay = 9;
  std::wstring type = L"?";
  EXPECT_TRUE(d.GetFolderTypeIcon(L"..", icon, type, overlay, 16, true));
  EXPECT_EQ(icon, d.ParentIcon);
  EXPECT_EQ(type, L"");
  EXPECT_EQ(overlay, 0);

  EXPECT_TRUE(d.GetFolderTypeIcon(dir.Path(), icon, type, overlay, 16, false));
  EXPECT_EQ(icon, d.FolderIcon);
  EXPECT_EQ(type, d.FolderTypeName);
  EXPECT_FALSE(d.FolderTypeName.empty());
  EXPECT_FALSE(d.GetFolderTypeIcon(dir.Path(), icon, type, overlay, 16, true));

  EXPECT_TRUE(d.GetFolderTypeIcon(L"c:\\", icon, type, overlay, 16, false));
  EXPECT_EQ(type.substr(0, 3), L"HDD") << type;
  EXPECT_LE(icon, -10);

  struct Case {
    const wchar_t *display, *label;
  };
  for (const Case& c : {Case{L"DATA (C:)", L"DATA"}, Case{L"  My Disk  (D:)", L"My Disk"}, Case{L"(E:)", L""},
                        Case{L"Label (x) more", L"Label"}, Case{L"", L""}, Case{L"Plain", L"Plain"}})
    EXPECT_EQ(DriveLabelFromDisplayName(c.display), c.label) << c.display;

  for (wchar_t letter : d.GetSharedDrives()) EXPECT_TRUE(letter >= L'A' && letter <= L'Z');
}

TEST(SystemFileData, DrawsOwnAndSystemImages) {
  TSystemFileData d;
  d.Load();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 64, 16);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT r{0, 0, 64, 16};
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  auto painted = [&](int x0) {
    int n = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = x0; x < x0 + 16; ++x) n += GetPixel(dc, x, y) != RGB(255, 255, 255);
    return n;
  };
  d.Draw(dc, 0, 0, d.ParentIcon, 0);
  d.Draw(dc, 16, 0, -1, 0);
  int32_t icon = 0, overlay = 0;
  std::wstring type;
  d.GetFolderTypeIcon(L"C:\\", icon, type, overlay, 0, false);
  d.Draw(dc, 32, 0, icon, 0);
  EXPECT_GT(painted(0), 10);
  EXPECT_EQ(painted(16), 0);
  EXPECT_GT(painted(32), 10);
  // A shortcut's and a shared item's marks reach a system image: the same icon with a mark
  // differs from it bare, and the two marks differ.
  auto cell = [&](int x0) {
    std::vector<COLORREF> px;
    for (int y = 0; y < 16; ++y)
      for (int x = x0; x < x0 + 16; ++x) px.push_back(GetPixel(dc, x, y));
    return px;
  };
  d.Draw(dc, 48, 0, icon, 2);
  const auto link = cell(48);
  EXPECT_NE(link, cell(32));
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  d.Draw(dc, 48, 0, icon, 1);
  EXPECT_NE(cell(48), link);
  d.Draw(dc, 0, 0, d.ParentIcon, 0);
  // The transparent colour of the bitmaps is not painted.
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST(SystemFileData, TheSystemsShellIconSettingReplacesTheFolderImage) {
  // The image of the own list at index i, as pixels.
  auto image = [](const TSystemFileData& d, int i) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT r{0, 0, 16, 16};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    d.Draw(dc, 0, 0, i, 0);
    std::vector<COLORREF> px;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) px.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return px;
  };
  TSystemFileData plain;
  plain.Load();
  ASSERT_NE(image(plain, plain.FolderIcon), image(plain, plain.FileIcon));
  const wchar_t* keyName = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  const std::wstring value = L"shell32.dll,0";
  RegSetValueExW(key, L"3", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  TSystemFileData changed;
  changed.Load();
  RegDeleteValueW(key, L"3");
  RegCloseKey(key);
  EXPECT_EQ(image(changed, changed.FolderIcon), image(changed, changed.FileIcon));
  EXPECT_EQ(image(changed, changed.FileIcon), image(plain, plain.FileIcon));
}
