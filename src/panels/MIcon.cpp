#include "panels/MIcon.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

#include "foundation/MYTOOL.h"
#include "framework/Registry.h"
#include "framework/TextCompare.h"
#include "framework/Handles.h"

TSystemFileData* SystemFileData = nullptr;

namespace {
constexpr COLORREF kTransparent = RGB(255, 0, 255);
constexpr size_t kMaxTypeName = 80;

bool OpenKey(TRegKeyHandle& key, HKEY root, const std::wstring& sub) {
  return RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A key of the class root: the user's own classes first, then the machine's, the view
// Windows gives as HKEY_CLASSES_ROOT (Wine's class root shows only the machine's).
constexpr wchar_t kUserClasses[] = L"Software\\Classes\\";
bool OpenClassKey(TRegKeyHandle& key, const std::wstring& sub) {
  return OpenKey(key, HKEY_CURRENT_USER, kUserClasses + sub) || OpenKey(key, HKEY_CLASSES_ROOT, sub);
}

// The default value of a key (or of its sub-key); false when there is none.
bool ReadDefault(HKEY key, const wchar_t* subKey, std::wstring& value) {
  return RegReadString(key, subKey, nullptr, value);
}

// A DefaultIcon naming an icon of its own, not "the file itself".
bool ValidIconLocation(const std::wstring& value) {
  std::wstring v = Trim(value);
  return !v.empty() && v != L"%1" && v != L"\"%1\"";
}

// "file,index" with environment variables expanded and quotes removed.
void SplitIconLocation(const std::wstring& location, std::wstring& file, int& index) {
  std::wstring s = Trim(location);
  index = 0;
  size_t comma = s.rfind(L',');
  if (comma != std::wstring::npos) {
    index = StrToIntDef(Trim(std::wstring_view(s).substr(comma + 1)), 0);
    s = Trim(std::wstring_view(s).substr(0, comma));
  }
  if (s.size() >= 2 && s.front() == L'"' && s.back() == L'"') s = s.substr(1, s.size() - 2);
  wchar_t buf[MAX_PATH * 2];
  DWORD n = ExpandEnvironmentStringsW(s.c_str(), buf, static_cast<DWORD>(std::size(buf)));
  file = n > 0 && n <= std::size(buf) ? std::wstring(buf) : s;
}

HICON SmallIconOf(const std::wstring& file, int index) {
  if (file.empty()) return nullptr;
  TIconHandle small;
  if (ExtractIconExW(file.c_str(), index, nullptr, small.put(), 1) == 0) return nullptr;
  return small.release();
}

void MakeGrey(HBITMAP bmp) {
  DIBSECTION ds{};
  if (GetObjectW(bmp, sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits || ds.dsBm.bmBitsPixel != 24) return;
  auto* rows = static_cast<uint8_t*>(ds.dsBm.bmBits);
  for (int y = 0; y < ds.dsBm.bmHeight; ++y) {
    uint8_t* p = rows + static_cast<size_t>(y) * ds.dsBm.bmWidthBytes;
    for (int x = 0; x < ds.dsBm.bmWidth; ++x, p += 3) {
      if (p[0] == 255 && p[1] == 0 && p[2] == 255) continue;  // the transparent colour stays
      auto g = static_cast<uint8_t>((p[0] * 11 + p[1] * 59 + p[2] * 30) / 100);
      p[0] = p[1] = p[2] = g;
    }
  }
}

bool IsDriveRoot(const std::wstring& path) {
  return path.size() == 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
}
}  // namespace

std::wstring DriveLabelFromDisplayName(const std::wstring& displayName) {
  if (displayName.size() > 4 && displayName.back() == L')')
    return Trim(std::wstring_view(displayName).substr(0, displayName.size() - 4));
  return Trim(std::wstring_view(displayName).substr(0, displayName.find(L'(')));
}

TSystemFileData::TSystemFileData() { std::fill(std::begin(Mru), std::end(Mru), -1); }

TSystemFileData::~TSystemFileData() {
  Clear();
}

void TSystemFileData::Clear() {
  FTypes.clear();
  std::fill(std::begin(Mru), std::end(Mru), -1);
  if (FImages) ImageList_RemoveAll(FImages.get());
}

void TSystemFileData::TakeSystemImages() {
  SHFILEINFOW sfi{};
  FSystemImages = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"", 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (!FSystemImages)
    FSystemImages = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
        L"C:\\", FILE_ATTRIBUTE_DIRECTORY, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
}

// Adds an icon to the own list; a missing icon takes a blank place so that the fixed image
// numbers stay in step.
int TSystemFileData::AddIcon(HICON icon) {
  TIconHandle owned(icon);
  int i = AddIconToImageList(FImages.get(), icon);
  if (i >= 0) return i;
  TBitmapHandle blank(CreateCompatibleBitmap(TScreenDCHandle(GetDC(nullptr)).get(), 16, 16));
  TMemoryDCHandle mem(CreateCompatibleDC(nullptr));
  HGDIOBJ old = SelectObject(mem.get(), blank.get());
  RECT r{0, 0, 16, 16};
  FillRect(mem.get(), &r, TBrushHandle(CreateSolidBrush(kTransparent)).get());
  SelectObject(mem.get(), old);
  return ImageList_AddMasked(FImages.get(), blank.get(), kTransparent);
}

int TSystemFileData::AddBitmap(const wchar_t* name, bool grey) {
  TBitmapHandle bmp(
      static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bmp) return AddIcon(nullptr);
  if (grey) MakeGrey(bmp.get());
  int i = ImageList_AddMasked(FImages.get(), bmp.get(), kTransparent);
  return i >= 0 ? i : AddIcon(nullptr);
}

void TSystemFileData::Load() {
  Loaded = true;
  RegistryRead = false;
  std::fill(std::begin(Mru), std::end(Mru), -1);
  FTypes.clear();

  FImages.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 16, 16));
  TakeSystemImages();

  bool fewColours = GetScreenColorDepth() <= 8;
  // The shell's own images, or what the system's "Shell Icons" setting puts in their place.
  // The shell's icons are read together: each read of the library costs more than its icons.
  std::vector<TIconHandle> shellIcons = ExtractShellIcons({0, 2, 3, 28, 29}, false);
  FileIcon = AddIcon(shellIcons[0].release());
  ProgramIcon = AddIcon(shellIcons[1].release());
  FolderIcon = AddIcon(shellIcons[2].release());
  URLIcon = -1;
  ParentIcon = AddBitmap(L"MAIN_UPDIR16", false);
  CheckIcon = AddBitmap(L"MAIN_CHECK16", fewColours);
  PIFIcon = AddBitmap(L"PIF16", false);
  SCRIcon = AddBitmap(L"SCR16", false);
  DriveIcon = AddBitmap(L"MAIN_CHDRV16", false);
  // The marks of shared folders and shortcuts, drawn over a system image.
  ShareOverlay = AddIcon(shellIcons[3].release());
  LinkOverlay = AddIcon(shellIcons[4].release());
  ImageList_SetOverlayImage(FImages.get(), ShareOverlay, 1);
  ImageList_SetOverlayImage(FImages.get(), LinkOverlay, 2);
  FolderTypeName = L"File Folder";

  if (!IconAnalysis) return;
  TRegKeyHandle machine, user;
  bool haveMachine = RegOpenKeyExW(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, machine.put()) == ERROR_SUCCESS;
  bool haveUser = OpenKey(user, HKEY_CURRENT_USER, L"Software\\Classes");
  if (!haveMachine && !haveUser) return;
  RegistryRead = true;
  for (HKEY root : {machine.get(), user.get()}) {
    if (!root) continue;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD len = static_cast<DWORD>(std::size(name));
      LSTATUS r = RegEnumKeyExW(root, i, name, &len, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_MORE_DATA) continue;  // a name too long for any extension
      if (r != ERROR_SUCCESS) break;
      if (len == 0 || name[0] != L'.') continue;
      auto t = std::make_unique<TSystemFileDataType>();
      t->Ext = LowerCase(std::wstring_view(name + 1, len - 1));
      FTypes.push_back(std::move(t));
    }
  }
  std::sort(FTypes.begin(), FTypes.end(), [](const auto& a, const auto& b) { return a->Ext < b->Ext; });
  FTypes.erase(std::unique(FTypes.begin(), FTypes.end(), [](const auto& a, const auto& b) { return a->Ext == b->Ext; }),
               FTypes.end());

  std::wstring text;
  TRegKeyHandle directory;
  if (OpenClassKey(directory, L"Directory") && ReadDefault(directory.get(), nullptr, text) && !Trim(text).empty())
    FolderTypeName = Trim(text);
  if (directory.get() && ReadDefault(directory.get(), L"DefaultIcon", text) && !Trim(text).empty()) {
    FolderIconLocation = Trim(text);
    std::wstring file;
    int index;
    SplitIconLocation(FolderIconLocation, file, index);
    if (TIconHandle icon(SmallIconOf(file, index)); icon) {
      int i = AddIconToImageList(FImages.get(), icon.get());
      if (i >= 0) FolderIcon = i;
    }
  }
}

int TSystemFileData::FindExt(const std::wstring& ext) {
  std::wstring key = LowerCase(ext);
  for (int s = 0; s < MruSlots; ++s) {
    int i = Mru[s];
    if (i < 0 || i >= TypeCount()) break;
    const TSystemFileDataType& t = *FTypes[static_cast<size_t>(i)];
    if (t.Ext == key) {
      if (t.Missing) return -1;  // an unknown type stays unknown
      std::copy_backward(Mru, Mru + s, Mru + s + 1);
      Mru[0] = i;
      return i;
    }
  }
  auto it = std::lower_bound(FTypes.begin(), FTypes.end(), key, [](const auto& t, const std::wstring& k) { return t->Ext < k; });
  if (it == FTypes.end() || (*it)->Ext != key || (*it)->Missing) return -1;
  int i = static_cast<int>(it - FTypes.begin());
  if (Mru[0] != i) {
    std::copy_backward(Mru, Mru + MruSlots - 1, Mru + MruSlots);
    Mru[0] = i;
  }
  return i;
}

void TSystemFileData::ReadType(TSystemFileDataType& t) {
  t.Loaded = true;
  TRegKeyHandle extKey;
  if (!OpenClassKey(extKey, L"." + t.Ext)) {
    t.IconIndex = -2;
  } else {
    std::wstring typeKey, value;
    ReadDefault(extKey.get(), nullptr, typeKey);
    typeKey = Trim(typeKey);
    if (typeKey.empty()) {
      t.Missing = true;
      return;
    }
    t.TypeName = typeKey;
    t.IconFile.clear();
    t.IconIndex = -1;
    if (ReadDefault(extKey.get(), L"DefaultIcon", value) && ValidIconLocation(value)) {
      t.IconFile = Trim(value);
      t.IconIndex = -2;
    }
    TRegKeyHandle type;
    if (!OpenClassKey(type, typeKey)) {
      t.TypeName.clear();
      t.IconIndex = -2;
    } else {
      ReadDefault(type.get(), nullptr, t.TypeName);
      TRegKeyHandle icon;
      if (OpenKey(icon, type.get(), L"DefaultIcon")) {
        if (ReadDefault(icon.get(), nullptr, value) && ValidIconLocation(value)) {
          t.IconFile = Trim(value);
          t.IconIndex = -2;
        }
      } else {
        DWORD subKeys = 0;
        if (RegQueryInfoKeyW(type.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr) == ERROR_SUCCESS &&
            subKeys == 0)
          t.IconIndex = -2;
      }
    }
  }
  if (t.Ext == L"url") t.IconIndex = -1;
}

bool TSystemFileData::GetFileTypeIcon(const std::wstring& path, const std::wstring& ext, bool loadIcon,
                                      std::wstring& typeName, int32_t& iconIndex) {
  std::wstring e = LowerCase(ext);
  int i = FindExt(e);
  if (i >= 0 && !FTypes[static_cast<size_t>(i)]->Loaded) ReadType(*FTypes[static_cast<size_t>(i)]);
  if (i < 0 || FTypes[static_cast<size_t>(i)]->Missing) {
    typeName.clear();
    iconIndex = FileIcon;
    return true;
  }
  TSystemFileDataType& t = *FTypes[static_cast<size_t>(i)];
  typeName = t.TypeName;
  if (t.IconIndex >= 0 || t.IconIndex <= -10) {
    iconIndex = t.IconIndex;
    return true;
  }
  if (!loadIcon) {
    iconIndex = FileIcon;
    return false;
  }
  if (t.IconIndex == -1) {
    if (e == L"exe") {
      iconIndex = ProgramIcon;
    } else if (e == L"pif") {
      iconIndex = PIFIcon;
    } else if (e == L"scr") {
      iconIndex = SCRIcon;
    } else if (e == L"url") {
      if (URLIcon < 0) {
        std::wstring file;
        int index;
        SplitIconLocation(t.IconFile, file, index);
        TIconHandle large, small;
        if (!file.empty()) ExtractIconExW(file.c_str(), index, large.put(), small.put(), 1);
        URLIcon = large && small ? AddIcon(small.release()) : FileIcon;
      }
      iconIndex = URLIcon;
    } else {
      iconIndex = FileIcon;
    }
    return false;
  }
  // -2: the shell's icon for this type, asked once.
  SHFILEINFOW sfi{};
  UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
  if (t.TypeName.empty()) flags |= SHGFI_TYPENAME;
  std::wstring file = path + L"." + ext;
  UINT oldMode = SetErrorMode(0x8001);
  DWORD_PTR found = SHGetFileInfoW(file.c_str(), 0, &sfi, sizeof sfi, flags);
  SetErrorMode(oldMode);
  if (found) {
    t.IconIndex = -sfi.iIcon - 10;
    if (flags & SHGFI_TYPENAME) {
      sfi.szTypeName[std::size(sfi.szTypeName) - 1] = L'\0';
      t.TypeName = std::wstring(sfi.szTypeName).substr(0, kMaxTypeName);
    }
    typeName = t.TypeName;
    iconIndex = t.IconIndex;
  } else {
    iconIndex = FileIcon;
  }
  return true;
}

bool TSystemFileData::GetFolderTypeIcon(const std::wstring& path, int32_t& iconIndex, std::wstring& typeName,
                                        int32_t& overlay, int32_t attr, bool readDesktopIni) {
  (void)attr;
  overlay = 0;
  if (path == L"..") {
    iconIndex = ParentIcon;
    typeName.clear();
    return true;
  }
  if (IsDriveRoot(path)) {
    std::wstring root = path;
    root[0] = static_cast<wchar_t>(towupper(root[0]));
    UINT oldMode = SetErrorMode(0x8001);
    UINT type = GetDriveTypeW(root.c_str());
    SHFILEINFOW sfi{};
    if (SHGetFileInfoW(root.c_str(), 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON))
      iconIndex = -sfi.iIcon - 10;
    else
      iconIndex = -1;
    sfi.szDisplayName[std::size(sfi.szDisplayName) - 1] = L'\0';
    std::wstring label = DriveLabelFromDisplayName(sfi.szDisplayName);
    std::wstring suffix = label.empty() ? L"" : L" (" + label + L")";
    switch (type) {
      case DRIVE_REMOVABLE: typeName = label; break;
      case DRIVE_FIXED: typeName = L"HDD" + suffix; break;
      case DRIVE_REMOTE: typeName = L"NET" + suffix; break;
      case DRIVE_CDROM: {
        wchar_t volume[MAX_PATH + 1] = L"";
        if (!GetVolumeInformationW(root.c_str(), volume, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
          volume[0] = L'\0';
        typeName = volume[0] ? L"CD (" + std::wstring(volume) + L")" : L"CD";
        break;
      }
      default: typeName.clear(); break;
    }
    SetErrorMode(oldMode);
    return true;
  }
  typeName = FolderTypeName;
  iconIndex = FolderIcon;
  if (!readDesktopIni) return true;
  std::wstring ini = path;
  if (!ini.empty() && ini.back() != L'\\') ini += L'\\';
  ini += L"DESKTOP.INI";
  DWORD a = GetFileAttributesW(ini.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
    SHFILEINFOW sfi{};
    if (SHGetFileInfoW(path.c_str(), 0, &sfi, sizeof sfi, SHGFI_TYPENAME)) {
      sfi.szTypeName[std::size(sfi.szTypeName) - 1] = L'\0';
      typeName = sfi.szTypeName;
    }
  }
  return false;
}

void TSystemFileData::Draw(HDC dc, int x, int y, int32_t index, int32_t overlay) const {
  if (index < -1) {
    if (!FSystemImages) return;
    ImageList_Draw(FSystemImages, -index - 10, dc, x, y, ILD_TRANSPARENT);
    // The mark comes from the own list, where it is always present (the shell's list need not
    // carry overlay images). One mark fits over an icon: a shortcut's arrow wins over the
    // shared hand.
    if (overlay > 0 && FImages) {
      int mark = overlay >= 2 ? LinkOverlay : ShareOverlay;
      if (mark >= 0) ImageList_Draw(FImages.get(), mark, dc, x, y, ILD_TRANSPARENT);
    }
  } else if (index >= 0 && FImages) {
    ImageList_Draw(FImages.get(), index, dc, x, y, ILD_TRANSPARENT);
  }
}

void TSystemFileData::ResetSystemIcons() {
  TakeSystemImages();
  for (auto& t : FTypes)
    if (t->IconIndex >= 0 || t->IconIndex <= -10) t->IconIndex = -2;
}

std::wstring TSystemFileData::GetSharedDrives() const {
  std::wstring result;
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return result;
  TCoTaskMemPtr<LPITEMIDLIST> drives;
  IShellFolder* computer = nullptr;
  const HRESULT found = SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.put());
  if (SUCCEEDED(found) && drives &&
      SUCCEEDED(desktop->BindToObject(drives.get(), nullptr, IID_IShellFolder, reinterpret_cast<void**>(&computer))) &&
      computer) {
    IEnumIDList* items = nullptr;
    if (computer->EnumObjects(nullptr, SHCONTF_FOLDERS, &items) == S_OK && items) {
      LPITEMIDLIST next = nullptr;
      while (items->Next(1, &next, nullptr) == S_OK) {
        const TCoTaskMemPtr<LPITEMIDLIST> owned(next);
        const LPITEMIDLIST item = owned.get();
        auto nameOf = [&](DWORD form) {
          STRRET sr{};
          std::wstring r;
          if (FAILED(computer->GetDisplayNameOf(item, form, &sr))) return r;
          TCoTaskMemPtr<wchar_t*> text;
          const HRESULT got = StrRetToStrW(&sr, item, text.put());
          if (SUCCEEDED(got) && text) r = text.get();
          return r;
        };
        std::wstring name = nameOf(SHGDN_FORPARSING);
        if (name.empty()) name = nameOf(SHGDN_NORMAL | SHGDN_FORPARSING);
        name = UpperCase(name);
        if (name.size() == 3 && name[0] >= L'A' && name[0] <= L'Z' && name[1] == L':' && name[2] == L'\\') {
          SFGAOF attrs = SFGAO_SHARE;
          LPCITEMIDLIST one = item;
          if (SUCCEEDED(computer->GetAttributesOf(1, &one, &attrs)) && (attrs & SFGAO_SHARE) &&
              result.find(name[0]) == std::wstring::npos)
            result += name[0];
        }
      }
      items->Release();
    }
    computer->Release();
  }
  desktop->Release();
  return result;
}
