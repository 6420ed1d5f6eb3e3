#include "foldermgr/DriveBox.h"

#include <shellapi.h>
#include <shlobj.h>
#include <winnetwk.h>

#include <cwctype>

#include "foldermgr/QCDBox.h"
#include "foundation/HanPopup.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/ToolBtn.h"
#include "framework/TextCompare.h"
#include "panels/FileWin.h"

std::function<void(THanDriveBox& box)> THanDriveBox::OnShownHook;

namespace {
NETRESOURCEW DiskResource(const std::wstring& remote) {
  NETRESOURCEW r{};
  r.dwType = RESOURCETYPE_DISK;
  r.lpRemoteName = const_cast<wchar_t*>(remote.c_str());
  return r;
}

std::wstring LastName(const std::wstring& path) {
  std::wstring p = ExcludeTrailingBackslash(path);
  size_t cut = p.find_last_of(L'\\');
  return cut == std::wstring::npos ? p : p.substr(cut + 1);
}

std::wstring Upper(std::wstring s) {
  CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

constexpr int kFolderImage = 4;  // shell icon 3 in the drive image list
}  // namespace

std::function<bool(HWND, const std::wstring&)> THanDriveBox::ConnectDialog = [](HWND owner, const std::wstring& remote) {
  NETRESOURCEW res = DiskResource(remote);
  CONNECTDLGSTRUCTW c{};
  c.cbStructure = sizeof c;
  c.hwndOwner = owner;
  c.lpConnRes = &res;
  c.dwFlags = CONNDLG_RO_PATH;
  return WNetConnectionDialog1W(&c) == NO_ERROR;
};
std::function<bool(HWND, const std::wstring&, const std::wstring&)> THanDriveBox::DisconnectDialog =
    [](HWND owner, const std::wstring& local, const std::wstring& remote) {
      DISCDLGSTRUCTW d{};
      d.cbStructure = sizeof d;
      d.hwndOwner = owner;
      d.lpLocalName = const_cast<wchar_t*>(local.c_str());
      d.lpRemoteName = const_cast<wchar_t*>(remote.c_str());
      return WNetDisconnectDialog1W(&d) == NO_ERROR;
    };
std::function<bool(HWND)> THanDriveBox::MapDialog = [](HWND owner) {
  return WNetConnectionDialog(owner, RESOURCETYPE_DISK) == NO_ERROR;
};
std::function<bool(HWND)> THanDriveBox::UnmapDialog = [](HWND owner) {
  return WNetDisconnectDialog(owner, RESOURCETYPE_DISK) == NO_ERROR;
};

// ---- THanTreeView ----

THanTreeView::THanTreeView(TComponent* owner) : TControl(owner) { TabStop = true; }

void THanTreeView::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = WC_TREEVIEWW;
  p.SystemClass = true;
  // The favourites and recent targets stand at the top level: their buttons show there too.
  p.Style |= TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_NOTOOLTIPS | TVS_DISABLEDRAGDROP;
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

HTREEITEM THanTreeView::Add(HTREEITEM parent, const std::wstring& text, int image, THanDriveData data,
                            HTREEITEM after) {
  FData.push_back(std::make_unique<THanDriveData>(std::move(data)));
  TVINSERTSTRUCTW ins{};
  ins.hParent = parent ? parent : TVI_ROOT;
  ins.hInsertAfter = after;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  ins.item.pszText = const_cast<wchar_t*>(text.c_str());
  ins.item.iImage = ins.item.iSelectedImage = image;
  ins.item.lParam = reinterpret_cast<LPARAM>(FData.back().get());
  return reinterpret_cast<HTREEITEM>(SendMessageW(Handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

void THanTreeView::Clear() {
  SendMessageW(Handle(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  FData.clear();
}

THanDriveData* THanTreeView::Data(HTREEITEM item) const {
  if (!item) return nullptr;
  TVITEMW it{};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  if (!SendMessageW(Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
  return reinterpret_cast<THanDriveData*>(it.lParam);
}

std::wstring TreeViewItemText(HWND tree, HTREEITEM item) {
  wchar_t buf[520] = {};
  TVITEMW it{};
  it.mask = TVIF_TEXT;
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = 520;
  if (!tree || !item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return L"";
  return buf;
}

void TreeViewSetHasChildren(HWND tree, HTREEITEM item, bool has) {
  TVITEMW it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = item;
  it.cChildren = has ? 1 : 0;
  SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
}

std::wstring THanTreeView::Text(HTREEITEM item) const { return TreeViewItemText(Handle(), item); }

HTREEITEM THanTreeView::Selected() const { return TreeView_GetSelection(Handle()); }
void THanTreeView::Select(HTREEITEM item) { TreeView_SelectItem(Handle(), item); }
HTREEITEM THanTreeView::Root() const { return TreeView_GetRoot(Handle()); }
HTREEITEM THanTreeView::Next(HTREEITEM item) const { return TreeView_GetNextSibling(Handle(), item); }
HTREEITEM THanTreeView::Child(HTREEITEM item) const { return TreeView_GetChild(Handle(), item); }
HTREEITEM THanTreeView::Parent(HTREEITEM item) const { return TreeView_GetParent(Handle(), item); }
bool THanTreeView::Expanded(HTREEITEM item) const {
  return (TreeView_GetItemState(Handle(), item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}
void THanTreeView::Expand(HTREEITEM item, bool expand) {
  TreeView_Expand(Handle(), item, expand ? TVE_EXPAND : TVE_COLLAPSE);
}
void THanTreeView::SortChildren(HTREEITEM item) { TreeView_SortChildren(Handle(), item ? item : TVI_ROOT, FALSE); }

std::vector<HTREEITEM> THanTreeView::AllItems() const {
  std::vector<HTREEITEM> out;
  std::function<void(HTREEITEM)> walk = [&](HTREEITEM first) {
    for (HTREEITEM i = first; i; i = Next(i)) {
      out.push_back(i);
      walk(Child(i));
    }
  };
  walk(Root());
  return out;
}

HTREEITEM THanTreeView::ItemAt(POINT client) const {
  TVHITTESTINFO hit{};
  hit.pt = client;
  return TreeView_HitTest(Handle(), &hit);
}

RECT THanTreeView::TextRect(HTREEITEM item) const {
  RECT r{};
  TreeView_GetItemRect(Handle(), item, &r, TRUE);
  return r;
}

void THanTreeView::SetImages(HIMAGELIST images) { TreeView_SetImageList(Handle(), images, TVSIL_NORMAL); }

void THanTreeView::SetHasChildren(HTREEITEM item, bool has) { TreeViewSetHasChildren(Handle(), item, has); }

void THanTreeView::SetLinesAtRoot(bool lines) {
  LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
  SetWindowLongPtrW(Handle(), GWL_STYLE, lines ? style | TVS_HASLINES : style & ~static_cast<LONG_PTR>(TVS_HASLINES));
}

bool THanTreeView::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
    const TShiftState shift = KeyboardShiftState();
    if (wp == VK_SHIFT && !FHangulChecked) {
      FHangulChecked = true;
      if (Options.HanShiftDrive && IsHangulMode(Handle())) SetHangulMode(false, Handle());
    }
    if ((shift & (ssShift | ssAlt | ssCtrl)) == 0) {
      const UINT scan = (static_cast<UINT>(lp) >> 16) & 0xFF;
      if (scan == 43) wp = VK_OEM_5;
      if (scan == 57) wp = VK_SPACE;
    }
    if (OnKeyDown) {
      WORD key = static_cast<WORD>(wp);
      OnKeyDown(this, key, shift);
      if (key == 0) {
        result = 0;
        return true;
      }
    }
    return false;
  }
  if (msg == WM_LBUTTONDBLCLK) {
    result = DefaultHandler(msg, wp, lp);
    if (OnDblClick) OnDblClick(this);
    return true;
  }
  return TControl::WndProc(msg, wp, lp, result);
}

bool THanTreeView::NotifyMessage(NMHDR& hdr, LRESULT& result) {
  switch (hdr.code) {
    case TVN_ITEMEXPANDINGW: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(&hdr);
      bool allow = true;
      if ((nm->action & TVE_EXPAND) && OnExpanding) OnExpanding(nm->itemNew.hItem, allow);
      result = allow ? FALSE : TRUE;
      return true;
    }
    case TVN_ITEMEXPANDEDW: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(&hdr);
      if (OnExpanded) OnExpanded(nm->itemNew.hItem, (nm->action & TVE_EXPAND) != 0);
      return false;
    }
    case TVN_SELCHANGEDW: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(&hdr);
      if (OnSelChanged) OnSelChanged(nm->itemNew.hItem);
      return false;
    }
    default:
      return false;
  }
}

// ---- THanDriveBox ----

THanDriveBox::THanDriveBox(TComponent* owner) : TComponent(owner) {}

THanDriveBox::~THanDriveBox() {
  delete Window;
}

bool THanDriveBox::HasNetwork() const { return NetworkOption && (GetSystemMetrics(SM_NETWORK) & 1) != 0; }

void THanDriveBox::Build() {
  Window = new THanForm(nullptr);
  Window->Name = L"DriveBox";
  Window->SetCaption(!Caption.empty() ? Caption : Title);
  Window->Position = poOwnerFormCenter;
  Window->Font.SetName(Options.MainFont.Name);
  Window->Font.SetSize(Options.MainFont.Size);
  Window->Font.SetStyle(Options.MainFont.Style);
  Window->MinTrackWidth = 200;
  Window->MinTrackHeight = 120;
  const TIniRect& w = Options.DriveWindow;
  Window->SetBounds(0, 0, w.Right > 0 ? w.Right : 300, w.Bottom > 0 ? w.Bottom : 380);
  LONG_PTR style = GetWindowLongPtrW(Window->Handle(), GWL_STYLE);
  SetWindowLongPtrW(Window->Handle(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  SetFormIconFromBitmapRes(Window->Handle(), L"MAIN_CHDRV16");

  ToolImages.reset(ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 3, 0));
  AddBitmapResToImageList(ToolImages.get(), L"MCD_RELOAD16");
  AddShellIconToImageList(ToolImages.get(), 9, false);
  AddShellIconToImageList(ToolImages.get(), 10, false);

  Popup = new THanPopupMenu(Window);
  auto item = [this](int msg, int image, int tag, TShortCut key) {
    TMenuItemRec& it = Popup->Add(LoadMessageText(msg), [this, tag](TMenuItemRec&) { Command(tag); }, tag, key);
    it.ImageIndex = image;
  };
  item(6011, 1, 1, 0);
  item(6012, 2, 2, 0);
  Popup->Add(L"-");
  item(1204, -1, 3, static_cast<TShortCut>(scCtrl | 'N'));
  item(1205, -1, 4, static_cast<TShortCut>(scCtrl | 'U'));
  Popup->Add(L"-");
  item(1444, 0, 0, static_cast<TShortCut>(scCtrl | 'R'));
  Popup->OnPopup = [this](THanPopupMenu*) {
    POINT p;
    GetCursorPos(&p);
    ::ScreenToClient(Tree->Handle(), &p);
    if (HTREEITEM at = Tree->ItemAt(p)) Tree->Select(at);
    for (const auto& it : Popup->Items().Items()) {
      if (it->Tag != 1 && it->Tag != 2) continue;
      const bool on = it->Tag == 1 ? CanConnect() : CanDisconnect();
      EnableMenuItem(Popup->Handle(), it->Command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    }
  };

  ToolBar = NewWindowToolBar(Window, ToolImages.get());
  auto button = [this](int msg, int tag) {
    std::wstring caption = LoadMessageText(msg);
    AddToolButton(ToolBar, caption, false, [this, tag](TComponent*) { Command(tag); }, tbsButton, tag, tag, true,
                  nullptr);
  };
  button(6021, 1);
  button(6022, 2);
  AddToolSeparator(ToolBar);
  button(2021, 0);

  if (IconsOption) {
    DriveImages.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8));
    for (int icon : {17, 13, 18, 15, 3}) AddShellIconToImageList(DriveImages.get(), icon, false);
  }

  StatusBar = NewWindowStatusBar(Window);

  Tree = new THanTreeView(Window);
  Tree->SetAlign(alClient);
  Tree->SetParent(Window);
  if (DriveImages) Tree->SetImages(DriveImages.get());
  Window->ActiveControl = Tree;
  Tree->OnExpanding = [this](HTREEITEM node, bool&) {
    THanDriveData* d = Tree->Data(node);
    if (!d || d->Loaded || !d->NetEntry) return;
    NetDrives.Enumerate(d->NetEntry, nullptr, 0);
    d->Loaded = true;
    for (auto& child : d->NetEntry->Children) AddNetNodes(node, *child);
    Tree->SortChildren(node);
  };
  Tree->OnExpanded = [this](HTREEITEM node, bool expanded) {
    if (THanDriveData* d = Tree->Data(node); d && d->NetEntry) d->NetEntry->Expanded = expanded;
    LastExpansion = GetTickCount();
  };
  Tree->OnSelChanged = [this](HTREEITEM node) { NodeSelected(node); };
  Tree->OnDblClick = [this](TComponent*) {
    HTREEITEM node = Tree->Selected();
    THanDriveData* d = Tree->Data(node);
    // The double click that opened a node does not also choose it.
    if (d && d->Selectable && GetTickCount() - LastExpansion > 100) Choose(node, false);
  };
  Tree->OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) { KeyDown(key, shift); };
  Tree->OnKeyPress = [](TComponent*, wchar_t& ch) { ch = 0; };
  Window->OnShow = [this](TComponent*) {
    Fill(false);
    if (OnShownHook) OnShownHook(*this);
  };
}

void THanDriveBox::AddNetNodes(HTREEITEM parent, TNetNode& entry) {
  THanDriveData data;
  data.Path = entry.Resource.RemoteName;
  data.SecondName = entry.Resource.LocalName;
  data.Network = true;
  data.Selectable = entry.IsDisk;
  data.Loaded = entry.Read;
  data.NetEntry = &entry;
  std::wstring text = !entry.Resource.RemoteName.empty() ? entry.Resource.RemoteName : entry.Resource.Provider;
  // The model's image numbers name the first five images of the list.
  const int image = entry.ImageIndex >= 0 && entry.ImageIndex <= 4 ? entry.ImageIndex : 0;
  HTREEITEM node = Tree->Add(parent, text, IconsOption ? image : -1, data);
  if (!entry.Children.empty()) {
    for (auto& child : entry.Children) AddNetNodes(node, *child);
    Tree->SortChildren(node);
  } else if (!entry.Read && !entry.IsDisk) {
    Tree->SetHasChildren(node, true);
  }
  if (entry.Expanded) Tree->Expand(node, true);
}

void THanDriveBox::Fill(bool reread) {
  HTREEITEM old = Tree->Selected();
  std::wstring oldText = old ? Tree->Text(old) : L"", oldPath;
  if (THanDriveData* d = Tree->Data(old)) oldPath = d->Path;
  HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  SendMessageW(Tree->Handle(), WM_SETREDRAW, FALSE, 0);
  Tree->Clear();
  if (DriveImages) ImageList_SetImageCount(DriveImages.get(), 5);

  bool netEntries = false;
  if (HasNetwork()) {
    if (!NetDrives.Filled || reread) NetDrives.Refresh();
    for (auto& entry : NetDrives.Root.Children) {
      AddNetNodes(nullptr, *entry);
      netEntries = true;
    }
    Tree->SortChildren(nullptr);
  }
  Tree->SetLinesAtRoot(netEntries);

  for (int i = 25; i >= 0; --i) {
    if (!DriveExists(i)) continue;
    const wchar_t letter = static_cast<wchar_t>(L'A' + i);
    const std::wstring root = std::wstring(1, letter) + L":\\";
    SHFILEINFOW info{};
    UINT flags = SHGFI_DISPLAYNAME | (IconsOption ? SHGFI_ICON | SHGFI_SMALLICON : 0);
    SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, flags);
    const TIconHandle icon(info.hIcon);
    std::wstring display = info.szDisplayName;
    size_t paren = display.find(L'(');
    std::wstring label = paren == std::wstring::npos ? L"" : Trim(display.substr(0, paren));
    const UINT type = GetDriveTypeW(root.c_str());
    std::wstring desc;
    auto withLabel = [&label](const wchar_t* kind) {
      return std::wstring(kind) + (label.empty() ? L"" : L"(" + label + L")");
    };
    if (type == DRIVE_FIXED)
      desc = withLabel(L"HDD ");
    else if (type == DRIVE_REMOTE)
      desc = withLabel(L"NET ");
    else if (type == DRIVE_CDROM)
      desc = L"CD " + GetVolumeLabel(root);
    else if (type == DRIVE_REMOVABLE)
      desc = label;
    int image = -1;
    if (IconsOption && icon) image = ImageList_AddIcon(DriveImages.get(), icon.get());
    THanDriveData data;
    data.Path = std::wstring(1, letter) + L":";
    data.Selectable = true;
    data.Network = type == DRIVE_REMOTE;
    data.Loaded = true;
    Tree->Add(nullptr, std::wstring(L"[-") + letter + L"-] " + desc, image, data, TVI_FIRST);
  }

  if (FavouritesOption) {
    int qcdImage = DriveImages ? AddBitmapResToImageList(DriveImages.get(), L"MAIN_QCD16") : -1;
    HTREEITEM fav = Tree->Add(nullptr, LoadMessageText(7002), qcdImage, THanDriveData{});
    for (const TQCDSlot& slot : Options.QCDSlots) {
      if (slot.Path.empty()) continue;
      THanDriveData d;
      d.Path = slot.Path;
      d.Selectable = d.Favourite = d.Loaded = true;
      std::wstring text = !slot.Title.empty() ? slot.Title : !LastName(slot.Path).empty() ? LastName(slot.Path) : slot.Path;
      Tree->Add(fav, text, IconsOption ? kFolderImage : -1, d);
    }
    HTREEITEM recent = Tree->Add(nullptr, LoadMessageText(6003), IconsOption ? kFolderImage : -1, THanDriveData{});
    const auto& targets = Options.History(hkTARGET);
    for (size_t i = 0; i < targets.size() && i < 20; ++i) {
      std::wstring path = ExcludeTrailingBackslash(Trim(targets[i]));
      if (path.empty()) continue;
      THanDriveData d;
      d.Path = path;
      d.Selectable = d.RecentTarget = d.Loaded = true;
      Tree->Add(recent, LastName(path).empty() ? path : LastName(path), IconsOption ? kFolderImage : -1, d);
    }
  }

  HTREEITEM select = nullptr;
  if (old) {
    for (HTREEITEM i : Tree->AllItems()) {
      THanDriveData* d = Tree->Data(i);
      if (Tree->Text(i) == oldText && d && d->Path == oldPath) {
        select = i;
        break;
      }
    }
    if (select) Tree->Expand(select, true);
  }
  if (!select && !InitialRoot.empty()) {
    std::wstring root = InitialRoot;
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    for (HTREEITEM i : Tree->AllItems()) {
      THanDriveData* d = Tree->Data(i);
      if (d && Upper(d->Path) == root) {
        select = i;
        break;
      }
    }
  }
  if (select) Tree->Select(select);
  SendMessageW(Tree->Handle(), WM_SETREDRAW, TRUE, 0);
  if (HTREEITEM s = Tree->Selected()) TreeView_EnsureVisible(Tree->Handle(), s);
  InvalidateRect(Tree->Handle(), nullptr, TRUE);
  NodeSelected(Tree->Selected());
  SetCursor(cursor);
}

void THanDriveBox::NodeSelected(HTREEITEM node) {
  THanDriveData* d = Tree->Data(node);
  StatusBar->SetParts({d ? d->Path : L""});
  if (ToolBar->ButtonCount() >= 2) {
    ToolBar->Buttons(0)->SetEnabled(CanConnect());
    ToolBar->Buttons(1)->SetEnabled(CanDisconnect());
  }
}

void THanDriveBox::Close(bool ok) { Window->SetModalResult(ok ? mrOk : mrCancel); }

void THanDriveBox::Choose(HTREEITEM node, bool expandOtherwise) {
  THanDriveData* d = Tree->Data(node);
  if (!d) return;
  if (d->Selectable) {
    Result = d->Path;
    if (!Result.empty() && CheckPathReachable(Window->Handle(), IncludeTrailingBackslash(Result))) {
      if (d->Favourite || d->RecentTarget) Result = L">" + Result;
      Close(true);
    } else {
      Result.clear();
    }
    return;
  }
  if (expandOtherwise && Tree->Child(node) && !Tree->Expanded(node)) Tree->Expand(node, true);
}

void THanDriveBox::ChooseFolder(bool askFavourites, const std::wstring& folder) {
  if (!FavouritesOption) return;
  std::wstring path = folder;
  if (askFavourites) ShowQCD(L"", false, path);
  if (!path.empty()) {
    path = IncludeTrailingBackslash(path);
    if (CheckPathReachable(Window->Handle(), path)) {
      Result = L">" + path;
      Close(true);
    }
  } else if (!askFavourites) {
    MessageBeep(MB_OK);
  }
}

bool THanDriveBox::CanConnect() const {
  THanDriveData* d = Tree ? Tree->Data(Tree->Selected()) : nullptr;
  return d && HasNetwork() && d->Network && !d->Path.empty() && d->Path[0] == L'\\';
}

bool THanDriveBox::CanDisconnect() const {
  THanDriveData* d = Tree ? Tree->Data(Tree->Selected()) : nullptr;
  return d && HasNetwork() && d->Network && !d->Path.empty() && d->Path[0] != L'\\';
}

void THanDriveBox::Command(int tag) {
  HWND owner = Window ? Window->Handle() : nullptr;
  THanDriveData* d = Tree ? Tree->Data(Tree->Selected()) : nullptr;
  switch (tag) {
    case 0:
      Fill(true);
      break;
    case 1:
      if (!CanConnect()) {
        MessageBeep(MB_OK);
        break;
      }
      if (ConnectDialog(owner, d->Path)) Fill(false);
      break;
    case 2:
      if (!CanDisconnect()) {
        MessageBeep(MB_OK);
        break;
      }
      if (DisconnectDialog(owner, d->SecondName, d->Path)) Fill(false);
      break;
    case 3:
      if (MapDialog(owner)) Fill(false);
      break;
    case 4:
      if (UnmapDialog(owner)) Fill(false);
      break;
    default:
      break;
  }
}

void THanDriveBox::KeyDown(WORD& key, TShiftState shift) {
  shift &= ssShift | ssAlt | ssCtrl;
  const WORD k = key;
  auto used = [&key] { key = 0; };
  if ((shift == ssShift || shift == (ssShift | ssCtrl)) && k >= VK_F1 && k <= VK_F10) {
    used();
    ChooseFolder(false, Options.QCDSlots[static_cast<size_t>(k - VK_F1 + (shift & ssCtrl ? 10 : 0))].Path);
    return;
  }
  if (shift == ssShift && k == VK_F11) return used(), ChooseFolder(false, GetSpecialFolderPath(CSIDL_PERSONAL));
  if (shift == (ssShift | ssCtrl) && k == VK_F11)
    return used(), ChooseFolder(false, GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY));
  if (shift == (ssShift | ssCtrl) && k == VK_F12) return used(), ChooseFolder(false, GetSpecialFolderPath(CSIDL_STARTMENU));
  if ((shift == 0 || shift == ssShift) && k >= 'A' && k <= 'Z') {
    used();
    const std::wstring path = std::wstring(1, static_cast<wchar_t>(k)) + L":";
    for (HTREEITEM i : Tree->AllItems())
      if (THanDriveData* d = Tree->Data(i); d && d->Path == path) return Choose(i, true);
    MessageBeep(MB_OK);
    return;
  }
  if (shift == ssCtrl) {
    if (k == 'C' || k == 'N') return used(), Command(3);
    if (k == 'U') return used(), Command(4);
    if (k == 'R') return used(), Command(0);
    return;
  }
  if (shift != 0) return;
  switch (k) {
    case VK_RETURN:
    case VK_SPACE:
      used();
      Choose(Tree->Selected(), true);
      break;
    case VK_ESCAPE:
      used();
      Result.clear();
      Close(false);
      break;
    case VK_APPS: {
      used();
      if (HTREEITEM s = Tree->Selected()) {
        RECT r = Tree->TextRect(s);
        POINT p{r.left, r.bottom - 1};
        ::ClientToScreen(Tree->Handle(), &p);
        Popup->Popup(p.x, p.y, Window->Handle());
      }
      break;
    }
    case VK_F1:
      used();
      break;
    case VK_F2:
      used();
      Fill(true);
      break;
    case VK_F11:
      used();
      ChooseFolder(true, L"");
      break;
    default:
      break;
  }
}

bool THanDriveBox::Execute() {
  Result.clear();
  Build();
  const int r = Window->ShowModal();
  SaveWindowPlacement(Window->Handle(), Options.DriveWindow);
  return r == mrOk;
}

void ChooseDrive(const std::wstring& path, const std::wstring& title, const std::wstring& caption, bool network,
                 bool icons, bool favourites, int expandMode, std::wstring& result) {
  const bool hangul = IsHangulMode();
  if (hangul) SetHangulMode(false);
  THanDriveBox box(nullptr);
  box.InitialRoot = Upper(ExcludeTrailingBackslash(ExtractPathRoot(path)));
  box.Title = title;
  box.Caption = caption;
  box.NetworkOption = network;
  box.IconsOption = icons;
  box.FavouritesOption = favourites;
  box.NetExpandMode = expandMode;
  box.Execute();
  std::wstring r = box.Result;
  const bool folder = !r.empty() && r[0] == L'>';
  std::wstring bare = folder ? r.substr(1) : r;
  if (!bare.empty() && bare[0] == L'\\') {
    std::wstring normal = NormalizePath(bare);
    if (normal != bare) r = (folder ? L">" : L"") + normal;
  }
  result = r;
  if (hangul) SetHangulMode(true);
}

void ChooseDriveDialog(const std::wstring& path, const std::wstring& caption, bool favourites, std::wstring& result) {
  ChooseDrive(path, L"", caption, true, Options.MCDShowIcon, favourites, 0, result);
}
