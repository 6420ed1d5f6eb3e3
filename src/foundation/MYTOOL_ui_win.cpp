// Screen, keyboard, windows, images and menus on raw window handles.
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "foundation/MYTOOL.h"
#include "framework/Handles.h"
#include "framework/Registry.h"

// ---- Screen, keyboard and windows ----

int GetScreenColorDepth() {
  const TScreenDCHandle dc(GetDC(nullptr));
  return GetDeviceCaps(dc.get(), BITSPIXEL) * GetDeviceCaps(dc.get(), PLANES);
}

TShiftState GetCurrentShiftState() {
  auto down = [](int vk) { return (GetKeyState(vk) & 0x8000) != 0; };
  TShiftState s = 0;
  if (down(VK_SHIFT)) s |= ssShift;
  if (down(VK_MENU)) s |= ssAlt;
  if (down(VK_CONTROL)) s |= ssCtrl;
  // The buttons as the user sees them, whatever the swap setting.
  bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  if (down(swapped ? VK_RBUTTON : VK_LBUTTON)) s |= ssLeft;
  if (down(swapped ? VK_LBUTTON : VK_RBUTTON)) s |= ssRight;
  if (down(VK_MBUTTON)) s |= ssMiddle;
  return s;
}

HWND GetActiveForm() { return GetActiveWindow(); }

void Beep() { MessageBeep(MB_OK); }

HWND GetDesktopHandle() { return GetDesktopWindow(); }

bool IsHangulMode(HWND wnd) {
  if (!wnd) wnd = GetActiveForm();
  HIMC imc = ImmGetContext(wnd);
  if (!imc) return false;
  DWORD conversion = 0, sentence = 0;
  bool ok = ImmGetConversionStatus(imc, &conversion, &sentence);
  ImmReleaseContext(wnd, imc);
  return ok && conversion == IME_CMODE_NATIVE;
}

void SetHangulMode(bool on, HWND wnd) {
  if (!wnd) wnd = GetActiveForm();
  HIMC imc = ImmGetContext(wnd);
  if (!imc) return;
  DWORD conversion = 0, sentence = 0;
  ImmGetConversionStatus(imc, &conversion, &sentence);
  bool korean = PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_KOREAN;
  ImmSetConversionStatus(imc, on && korean ? IME_CMODE_NATIVE : IME_CMODE_ALPHANUMERIC, sentence);
  ImmReleaseContext(wnd, imc);
}

bool HasScrollBar(HWND wnd, int kind) {
  LONG style = GetWindowLongW(wnd, GWL_STYLE);
  return (style & (kind == 1 ? WS_VSCROLL : WS_HSCROLL)) != 0;
}

bool SaveWindowPlacement(HWND form, TIniRect& rect) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  RECT r;
  bool maximised;
  if (GetWindowPlacement(form, &wp)) {
    r = wp.rcNormalPosition;
    maximised = wp.showCmd == SW_SHOWMAXIMIZED || (IsZoomed(form) && !IsIconic(form)) ||
                (IsIconic(form) && (wp.flags & WPF_RESTORETOMAXIMIZED));
  } else {
    GetWindowRect(form, &r);
    maximised = IsZoomed(form) != FALSE;
  }
  rect = MakeIniRect(r.left, r.top, r.right - r.left, r.bottom - r.top, maximised);
  return maximised;
}

void RestoreWindowPlacement(HWND wnd, const TIniRect& rect) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(wnd, &wp);
  wp.flags = 0;
  wp.rcNormalPosition = {rect.Left, rect.Top, rect.Left + rect.Right, rect.Top + rect.Bottom};
  if (rect.Flag)
    wp.showCmd = SW_SHOWMAXIMIZED;
  else
    wp.showCmd = IsWindowVisible(wnd) ? SW_SHOWNORMAL : SW_HIDE;
  SetWindowPlacement(wnd, &wp);
}

namespace {
RECT WorkAreaOf(HWND wnd) {
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi)) return mi.rcWork;
  RECT r;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}
// Keeps [pos, pos + size) inside [lo, hi) as far as it fits; the start wins when it cannot.
int ClampInto(int pos, int size, int lo, int hi) { return std::max(lo, std::min(pos, hi - size)); }
}  // namespace

void MoveWindowByKey(HWND form, int scanCode) {
  if (IsZoomed(form) || IsIconic(form)) return;
  RECT wa = WorkAreaOf(form), r;
  GetWindowRect(form, &r);
  int w = r.right - r.left, h = r.bottom - r.top, x = r.left, y = r.top;
  switch (scanCode) {
    case 71: x = wa.left; break;
    case 79: x = wa.right - w; break;
    case 73: y = wa.top; break;
    case 81: y = wa.bottom - h; break;
    case 72: y -= 50; break;
    case 80: y += 50; break;
    case 75: x -= 50; break;
    case 77: x += 50; break;
    case 76:
      x = wa.left + (wa.right - wa.left - w) / 2;
      y = wa.top + (wa.bottom - wa.top - h) / 2;
      break;
    default: return;
  }
  x = ClampInto(x, w, wa.left, wa.right);
  y = ClampInto(y, h, wa.top, wa.bottom);
  SetWindowPos(form, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeWindowByKey(HWND form, int scanCode) {
  if (scanCode == 76) {
    ShowWindow(form, IsZoomed(form) ? SW_RESTORE : SW_MAXIMIZE);
    return;
  }
  if (IsZoomed(form) || IsIconic(form)) return;
  RECT wa = WorkAreaOf(form), r;
  GetWindowRect(form, &r);
  int waW = wa.right - wa.left, waH = wa.bottom - wa.top;
  int w = r.right - r.left, h = r.bottom - r.top, x = r.left, y = r.top;
  switch (scanCode) {
    case 72: h = std::max(0, h - 15); break;
    case 80: h = std::min(waH, h + 15); break;
    case 75: w = std::max(0, w - 15); break;
    case 77: w = std::min(waW, w + 15); break;
    case 71: w = 0; break;
    case 73: h = 0; break;
    case 79: x = wa.left, w = waW; break;
    case 81: y = wa.top, h = waH; break;
    default: return;
  }
  x = ClampInto(x, w, wa.left, wa.right);
  y = ClampInto(y, h, wa.top, wa.bottom);
  SetWindowPos(form, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void DrawHLine(HDC dc, int x1, int y, int x2) {
  MoveToEx(dc, x1, y, nullptr);
  LineTo(dc, x2 >= x1 ? x2 + 1 : x2 - 1, y);
}

void DrawVLine(HDC dc, int x, int y1, int y2) {
  MoveToEx(dc, x, y1, nullptr);
  LineTo(dc, x, y2 >= y1 ? y2 + 1 : y2 - 1);
}

// ---- Images ----

namespace {
HINSTANCE ProgramInstance() { return GetModuleHandleW(nullptr); }

HBITMAP LoadBitmapRes(std::wstring_view resName) {
  std::wstring name(resName);
  return static_cast<HBITMAP>(LoadImageW(ProgramInstance(), name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

COLORREF BottomRightPixel(HBITMAP bmp) {
  BITMAP bm{};
  GetObjectW(bmp, sizeof bm, &bm);
  TMemoryDCHandle dc(CreateCompatibleDC(nullptr));
  HGDIOBJ old = SelectObject(dc.get(), bmp);
  COLORREF c = GetPixel(dc.get(), bm.bmWidth - 1, bm.bmHeight - 1);
  SelectObject(dc.get(), old);
  return c;
}

// The shell library's icon number n, or the file and index that the system's
// "Shell Icons" setting puts in its place.
void ShellIconSource(int iconNo, std::wstring& file, int& index) {
  file = L"shell32.dll";
  index = iconNo;
  TRegKeyHandle owned;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons", 0,
                    KEY_QUERY_VALUE, owned.put()) != ERROR_SUCCESS)
    return;
  const std::wstring name = std::to_wstring(iconNo);
  std::wstring value;
  if (!RegReadString(owned.get(), nullptr, name.c_str(), value, 2047)) return;
  std::wstring setting = Trim(value);
  size_t comma = setting.rfind(L',');
  bool ok = false;
  int idx = 0;
  if (comma != std::wstring::npos) idx = TryStrToInt(Trim(setting.substr(comma + 1)), ok);
  std::wstring path = Trim(comma == std::wstring::npos ? setting : setting.substr(0, comma));
  if (path.empty() || !(ok || comma == std::wstring::npos)) return;
  // A REG_EXPAND_SZ value, or a plain one that names variables all the same.
  if (path.find(L'%') != std::wstring::npos) {
    std::wstring expanded = ExpandEnvStr(path, false);
    if (!expanded.empty()) path = expanded;
  }
  file = path;
  index = idx;
}

HICON ExtractOne(const std::wstring& file, int index, bool large) {
  HICON big = nullptr, small = nullptr;
  UINT n = ExtractIconExW(file.c_str(), index, large ? &big : nullptr, large ? nullptr : &small, 1);
  if (n == 0 || n == UINT_MAX) return nullptr;
  return large ? big : small;
}

// 32-bit top-down pixels of a bitmap.
bool ReadPixels(HBITMAP bmp, int& w, int& h, std::vector<uint32_t>& px) {
  BITMAP bm{};
  if (!GetObjectW(bmp, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return false;
  w = bm.bmWidth;
  h = bm.bmHeight;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  px.assign(static_cast<size_t>(w) * h, 0);
  const int lines = GetDIBits(TScreenDCHandle(GetDC(nullptr)).get(), bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
  return lines == h;
}

HBITMAP MakeDib(int w, int h, uint32_t** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* p = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  if (bits) *bits = static_cast<uint32_t*>(p);
  return b;
}
}  // namespace

namespace {
BOOL CALLBACK CollectIconGroup(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
  auto* names = reinterpret_cast<std::vector<std::wstring>*>(list);
  // A number stands as "#n", the form the resource functions take too.
  names->push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : name);
  return TRUE;
}
}  // namespace

std::vector<TIconHandle> ExtractShellIcons(const std::vector<int>& iconNos, bool large) {
  std::vector<TIconHandle> icons(iconNos.size());
  // The shell's own library is loaded in this process already: its icons come from there,
  // counted the way the extraction counts them (the icon groups in the order the library
  // lists them, a negative number naming the group itself). Reading the file anew for each
  // icon costs more than the icon.
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  std::vector<std::wstring> groups;
  bool listed = false;
  const int cx = GetSystemMetrics(large ? SM_CXICON : SM_CXSMICON);
  const int cy = GetSystemMetrics(large ? SM_CYICON : SM_CYSMICON);
  for (size_t i = 0; i < iconNos.size(); ++i) {
    std::wstring file;
    int index = 0;
    ShellIconSource(iconNos[i], file, index);
    if (file == L"shell32.dll" && shell) {
      if (!listed) {
        EnumResourceNamesW(shell, MAKEINTRESOURCEW(14) /* icon groups */, CollectIconGroup,
                           reinterpret_cast<LONG_PTR>(&groups));
        listed = true;
      }
      const wchar_t* name = nullptr;
      if (index < 0)
        name = MAKEINTRESOURCEW(-index);
      else if (static_cast<size_t>(index) < groups.size())
        name = groups[static_cast<size_t>(index)].c_str();
      if (name) icons[i].reset(static_cast<HICON>(LoadImageW(shell, name, IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
    }
    if (!icons[i]) icons[i].reset(ExtractOne(file, index, large));
    // An override that cannot be read falls back to the library's own icon.
    if (!icons[i] && file != L"shell32.dll") icons[i].reset(ExtractOne(L"shell32.dll", iconNos[i], large));
  }
  return icons;
}

int AddShellIconToImageList(HIMAGELIST imageList, int iconNo, bool large) {
  if (!imageList) return -1;
  std::vector<TIconHandle> icons = ExtractShellIcons({iconNo}, large);
  if (!icons[0]) return -1;
  return AddIconToImageList(imageList, icons[0].get());
}

int AddIconToImageList(HIMAGELIST imageList, HICON icon) {
  if (!imageList || !icon) return -1;
  // An icon of the list's size goes in as its own picture and mask: the list drawing the icon
  // into itself costs several times more, for the same pixels.
  ICONINFO info{};
  if (GetIconInfo(icon, &info)) {
    const TBitmapHandle color(info.hbmColor), mask(info.hbmMask);
    int cx = 0, cy = 0;
    BITMAP bm{};
    if (color && ImageList_GetIconSize(imageList, &cx, &cy) && GetObjectW(color.get(), sizeof bm, &bm) &&
        bm.bmWidth == cx && bm.bmHeight == cy)
      return ImageList_Add(imageList, color.get(), mask.get());
  }
  // A black-and-white icon (its mask holds both halves) or one of another size.
  return ImageList_AddIcon(imageList, icon);
}

int AddFolderIconToImageList(HIMAGELIST imageList, bool large) {
  return AddShellIconToImageList(imageList, 3, large);
}

int AddBitmapResToImageList(HIMAGELIST imageList, std::wstring_view resName) {
  if (!imageList) return -1;
  TBitmapHandle bmp(LoadBitmapRes(resName));
  if (!bmp) return -1;
  return ImageList_AddMasked(imageList, bmp.get(), BottomRightPixel(bmp.get()));
}

HBITMAP GrayBitmap(HBITMAP src) {
  int w, h;
  std::vector<uint32_t> px;
  if (!ReadPixels(src, w, h, px)) return nullptr;
  uint32_t* out = nullptr;
  HBITMAP dest = MakeDib(w, h, &out);
  if (!dest) return nullptr;
  for (size_t i = 0; i < px.size(); ++i) {
    uint32_t c = px[i];
    uint32_t b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
    uint32_t grey = (3 * r + 4 * g + b) / 8;
    out[i] = grey | grey << 8 | grey << 16;
  }
  GdiFlush();
  return dest;
}

void MakeDisabledImageList(HIMAGELIST source, TImageListHandle& dest, int width, int height) {
  if (dest)
    ImageList_RemoveAll(dest.get());
  else
    dest.reset(ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 8, 8));
  if (!source || !dest) return;
  int n = ImageList_GetImageCount(source);
  TMemoryDCHandle dc(CreateCompatibleDC(nullptr));
  for (int i = 0; i < n; ++i) {
    TBitmapHandle canvas(MakeDib(width, height, nullptr));
    HGDIOBJ old = SelectObject(dc.get(), canvas.get());
    // The image's see-through parts keep the canvas colour; the bottom-right pixel decides.
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RECT all{0, 0, width, height};
    FillRect(dc.get(), &all, white);
    ImageList_Draw(source, i, dc.get(), 0, 0, ILD_NORMAL);
    SelectObject(dc.get(), old);
    TBitmapHandle grey(GrayBitmap(canvas.get()));
    canvas.reset();
    if (grey) ImageList_AddMasked(dest.get(), grey.get(), BottomRightPixel(grey.get()));
  }
}

bool SetFormIconFromBitmapRes(HWND form, std::wstring_view resName) {
  TBitmapHandle bmp(LoadBitmapRes(resName));
  if (!bmp) return false;
  BITMAP bm{};
  GetObjectW(bmp.get(), sizeof bm, &bm);
  HICON icon = nullptr;
  {
    const TImageListHandle il(ImageList_Create(bm.bmWidth, bm.bmHeight, ILC_COLOR24 | ILC_MASK, 1, 1));
    if (il && ImageList_AddMasked(il.get(), bmp.get(), BottomRightPixel(bmp.get())) >= 0)
      icon = ImageList_GetIcon(il.get(), 0, ILD_NORMAL);
  }
  bmp.reset();
  if (!icon) return false;
  // The window keeps the icon it shows; the one it replaces is ours to free.
  static const wchar_t* const kProp = L"VelmoFormIcon";
  HICON previous = static_cast<HICON>(GetPropW(form, kProp));
  SendMessageW(form, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(form, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SetPropW(form, kProp, icon);
  TIconHandle replaced(previous);
  return true;
}

// ---- Menus ----

std::wstring ShortCutToText(TShortCut shortCut) {
  UINT vk = shortCut & 0xFF;
  if (!vk) return L"";
  std::wstring key;
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
    key = static_cast<wchar_t>(vk);
  } else if (vk >= VK_F1 && vk <= VK_F24) {
    key = L"F" + std::to_wstring(vk - VK_F1 + 1);
  } else {
    static const struct {
      UINT vk;
      const wchar_t* name;
    } names[] = {{VK_BACK, L"BkSp"},  {VK_TAB, L"Tab"},   {VK_RETURN, L"Enter"}, {VK_ESCAPE, L"Esc"},
                 {VK_SPACE, L"Space"}, {VK_PRIOR, L"PgUp"}, {VK_NEXT, L"PgDn"},  {VK_END, L"End"},
                 {VK_HOME, L"Home"},  {VK_LEFT, L"Left"}, {VK_UP, L"Up"},       {VK_RIGHT, L"Right"},
                 {VK_DOWN, L"Down"},  {VK_INSERT, L"Ins"}, {VK_DELETE, L"Del"}};
    for (const auto& n : names)
      if (n.vk == vk) key = n.name;
    if (key.empty()) {
      wchar_t buf[64] = {};
      LONG scan = static_cast<LONG>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
      if (GetKeyNameTextW(scan, buf, 64) > 0) key = buf;
      else return L"";
    }
  }
  std::wstring text;
  if (shortCut & scShift) text += L"Shift+";
  if (shortCut & scCtrl) text += L"Ctrl+";
  if (shortCut & scAlt) text += L"Alt+";
  return text + key;
}

std::unique_ptr<TMenuItemRec> NewMenuItem(std::wstring_view caption, TShortCut shortCut, int tag,
                                          std::function<void(TMenuItemRec&)> onClick, int imageIndex, int helpCtx) {
  auto item = std::make_unique<TMenuItemRec>();
  item->Caption = caption;
  item->ShortCut = shortCut;
  item->Tag = tag;
  item->OnClick = std::move(onClick);
  item->ImageIndex = imageIndex;
  item->HelpCtx = helpCtx;
  return item;
}

std::unique_ptr<TMenuItemRec> NewSeparatorItem() { return NewMenuItem(L"-", 0, 0, nullptr, -1, 0); }

bool AppendMenuItemRec(HMENU menu, const TMenuItemRec& item) {
  MENUITEMINFOW mi{};
  mi.cbSize = sizeof mi;
  std::wstring text;
  if (item.Caption == L"-") {
    mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
    mi.fType = MFT_SEPARATOR;
  } else {
    text = item.Caption;
    std::wstring keys = ShortCutToText(item.ShortCut);
    if (!keys.empty()) text += L"\t" + keys;
    mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_STRING | MIIM_STATE;
    mi.fType = item.RadioItem ? MFT_RADIOCHECK : 0;
    mi.fState = (item.Checked ? MFS_CHECKED : 0) | (item.Enabled ? MFS_ENABLED : MFS_DISABLED);
    mi.dwTypeData = text.data();
  }
  mi.wID = item.Command;
  mi.dwItemData = reinterpret_cast<ULONG_PTR>(&item);
  return InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &mi) != FALSE;
}

THanPopupItems::THanPopupItems(UINT firstCommand) : FHandle(CreatePopupMenu()), FNext(firstCommand) {}

TMenuItemRec& THanPopupItems::Add(std::unique_ptr<TMenuItemRec> item) {
  item->Command = FNext++;
  FItems.push_back(std::move(item));
  AppendMenuItemRec(FHandle.get(), *FItems.back());
  return *FItems.back();
}

TMenuItemRec* THanPopupItems::FindCommand(UINT command) {
  for (auto& i : FItems)
    if (i->Command == command && i->Caption != L"-") return i.get();
  return nullptr;
}

bool THanPopupItems::Click(UINT command) {
  TMenuItemRec* item = FindCommand(command);
  if (!item || !item->Enabled || !item->OnClick) return false;
  item->OnClick(*item);
  return true;
}

TMenuItemRec& AddPopupItem(THanPopupItems& menu, std::wstring_view caption, int imageIndex,
                           std::function<void(TMenuItemRec&)> onClick, int tag, TShortCut shortCut, int helpCtx) {
  return menu.Add(NewMenuItem(caption, shortCut, tag, std::move(onClick), imageIndex, helpCtx));
}
