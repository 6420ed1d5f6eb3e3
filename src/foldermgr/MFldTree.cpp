#include "foldermgr/MFldTree.h"

#include <shlwapi.h>
#include <windowsx.h>

#include <algorithm>

#include "foldermgr/DriveBox.h"
#include "foundation/Context.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MPIDL.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/Canvas.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "mainwin/MainMessages.h"
#include "mainwin/TreeCommands.h"
#include "panels/DropData.h"
#include "panels/DropSrc.h"
#include "panels/DropTgt.h"
#include "panels/PanelDrop.h"

namespace {
// The desktop folder the sort callback compares with (the trees of both panels share it).
IShellFolder* SortDesktopFolder = nullptr;

// The shell's comparison as the signed 16-bit code of its result; 0 when it failed.
int CompareCode(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (!folder || !a || !b) return 0;
  HRESULT hr = folder->CompareIDs(0, a, b);
  if (FAILED(hr)) return 0;
  return static_cast<short>(HRESULT_CODE(hr));
}

// Equality needs a comparison that worked: a failed one says nothing about the items.
bool SameItem(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (!folder || !a || !b) return false;
  HRESULT hr = folder->CompareIDs(0, a, b);
  return SUCCEEDED(hr) && static_cast<short>(HRESULT_CODE(hr)) == 0;
}

std::wstring DisplayNameOf(IShellFolder* folder, LPCITEMIDLIST pidl, DWORD flags) {
  if (!folder || !pidl) return L"";
  STRRET sr{};
  if (FAILED(folder->GetDisplayNameOf(pidl, flags, &sr))) return L"";
  wchar_t* raw = nullptr;
  const HRESULT hr = StrRetToStrW(&sr, pidl, &raw);
  const TCoTaskMemPtr<wchar_t*> text(raw);
  if (FAILED(hr) || !text) return L"";
  std::wstring out = text.get();
  // A normal name that comes back empty: the parsing name stands for it.
  if (flags == SHGDN_NORMAL && out.empty()) return DisplayNameOf(folder, pidl, SHGDN_FORPARSING);
  return out;
}

struct TDisplayNames {
  std::wstring Normal, Path, InFolder;
};

TDisplayNames GetDisplayNames(IShellFolder* folder, LPCITEMIDLIST pidl) {
  return {DisplayNameOf(folder, pidl, SHGDN_NORMAL), DisplayNameOf(folder, pidl, SHGDN_FORPARSING),
          DisplayNameOf(folder, pidl, SHGDN_INFOLDER)};
}

ULONG AttributesOf(IShellFolder* folder, LPCITEMIDLIST pidl) {
  if (!folder || !pidl) return 0;
  ULONG attrs = kFolderNodeAttrs;
  if (FAILED(folder->GetAttributesOf(1, &pidl, &attrs))) return 0;
  return attrs & kFolderNodeAttrs;
}

IShellFolder* BindFolder(IShellFolder* parent, LPCITEMIDLIST rel) {
  IShellFolder* out = nullptr;
  if (!parent || !rel) return nullptr;
  if (FAILED(parent->BindToObject(rel, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&out)))) return nullptr;
  return out;
}

// The first count items of a list, as a new list.
LPITEMIDLIST PidlPrefix(LPCITEMIDLIST pidl, int count) {
  UINT bytes = 0;
  LPCITEMIDLIST p = pidl;
  for (int i = 0; i < count && p && p->mkid.cb; ++i) {
    bytes += p->mkid.cb;
    p = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(p) + p->mkid.cb);
  }
  auto* out = static_cast<LPITEMIDLIST>(CoTaskMemAlloc(bytes + sizeof(USHORT)));
  if (!out) return nullptr;
  memcpy(out, pidl, bytes);
  *reinterpret_cast<USHORT*>(reinterpret_cast<BYTE*>(out) + bytes) = 0;
  return out;
}

int PidlItemCount(LPCITEMIDLIST pidl) {
  int n = 0;
  for (LPCITEMIDLIST p = pidl; p && p->mkid.cb; p = NextPidlItem(p)) ++n;
  return n;
}

bool StartsWithText(const std::wstring& s, const std::wstring& prefix) {
  return s.size() >= prefix.size() && SameTextI(s.substr(0, prefix.size()), prefix);
}

std::wstring FilePathOf(const std::wstring& path) {
  size_t cut = path.find_last_of(L"\\:");
  return cut == std::wstring::npos ? L"" : path.substr(0, cut + 1);
}

std::wstring FileNameOf(const std::wstring& path) {
  size_t cut = path.find_last_of(L"\\:");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// Switches the system's critical-error boxes off for the time of an enumeration.
struct TQuietErrors {
  UINT Old;
  TQuietErrors() : Old(SetErrorMode(0x8001)) {}
  ~TQuietErrors() { SetErrorMode(Old); }
};

// The hourglass for the time of a long piece of work.
struct TWaitCursor {
  HCURSOR Old;
  TWaitCursor() : Old(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~TWaitCursor() { SetCursor(Old); }
};

int CALLBACK CompareFolderNodes(LPARAM a, LPARAM b, LPARAM) {
  auto* x = reinterpret_cast<TFolderNodeData*>(a);
  auto* y = reinterpret_cast<TFolderNodeData*>(b);
  if (x == y) return 0;
  if (!x) return -1;
  if (!y) return 1;
  return CompareCode(SortDesktopFolder, x->AbsPidl, y->AbsPidl);
}

constexpr UINT kEnumFolders = SHCONTF_FOLDERS;
UINT EnumFlags() { return kEnumFolders | (Options.IncHiddenDir ? SHCONTF_INCLUDEHIDDEN : 0); }
}  // namespace

TFolderNodeData::~TFolderNodeData() {
  if (Folder) Folder->Release();
  FreePidl(AbsPidl);
  FreePidl(RelPidl);
}

// ---- TMCustomFolderTree ----

TMCustomFolderTree::TMCustomFolderTree(TComponent* owner) : TPanelFolderTree(owner) {
  FWidth = 180;
  FHeight = 150;
  TabStop = true;
  // The auxiliary window has no duty (the main form alone registers for the shell's
  // notifications); it is kept so that its handle can be asked for.
  FMessageHandle = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  FOwnImages.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 1));
  FChangeTimer = new TTimer(this);
  FChangeTimer->SetEnabled(false);
  FChangeTimer->OnTimer = [this](TComponent*) { ChangeTimerFired(); };
}

TMCustomFolderTree::~TMCustomFolderTree() {
  FDestroying = true;
  if (FChangeTimer) FChangeTimer->SetEnabled(false);
  // Notices still buffered are dropped: the nodes they would change go now.
  FNotifyBuffer.clear();
  FNotifyDepth = 0;
  if (FMessageHandle) DestroyWindow(FMessageHandle);
  FMessageHandle = nullptr;
  if (HandleAllocated()) {
    FCommandNode = nullptr;
    SendMessageW(Handle(), TVM_SELECTITEM, TVGN_CARET, 0);
    SendMessageW(Handle(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    SendMessageW(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, 0);
  }
  FNodes.clear();
  FOwnImages.reset();
  FreePidl(FMyComputerPidl);
  FreePidl(FNetworkPidl);
  FreePidl(FDesktopPidl);
  if (FDesktopFolder) {
    if (SortDesktopFolder == FDesktopFolder) SortDesktopFolder = nullptr;
    FDesktopFolder->Release();
    FDesktopFolder = nullptr;
  }
}

void TMCustomFolderTree::CreateParams(TCreateParams& p) {
  TControl::CreateParams(p);
  p.ClassName = WC_TREEVIEWW;
  p.SystemClass = true;
  p.Style |= TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP;
  if (Options.TreeAutoExpand) p.Style |= TVS_SINGLEEXPAND;
  p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TMCustomFolderTree::HandleCreated() {
  // The shell's image list is shared, never owned; LargeIcon counts only at this moment.
  SHFILEINFOW sfi{};
  FSystemImages = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"", 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | (LargeIcon ? 0 : SHGFI_SMALLICON)));
  ApplyOptions();
  if (FLoadPending) Loaded();
}

void TMCustomFolderTree::ApplyOptions() {
  if (!HandleAllocated()) return;
  ApplyFolderTreeIcons(*this);
  // Colour -1 is the control's own.
  const bool own = Options.ItemColorEnable && Options.FolderTreeColor;
  SendMessageW(Handle(), TVM_SETBKCOLOR, 0, own ? static_cast<LPARAM>(ToColorRef(Options.FTreeBackColor)) : -1);
  SendMessageW(Handle(), TVM_SETTEXTCOLOR, 0, own ? static_cast<LPARAM>(ToColorRef(Options.FTreeFontColor)) : -1);
}

void ApplyFolderTreeIcons(TMCustomFolderTree& tree) {
  if (!tree.HandleAllocated()) return;
  HIMAGELIST now = reinterpret_cast<HIMAGELIST>(SendMessageW(tree.Handle(), TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
  if (Options.FTreeShowIcon && !now)
    SendMessageW(tree.Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL,
                 reinterpret_cast<LPARAM>(tree.FSystemImages ? tree.FSystemImages : tree.FOwnImages.get()));
  else if (!Options.FTreeShowIcon && now)
    SendMessageW(tree.Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, 0);
}

HWND TMCustomFolderTree::EnumOwner() const {
  if (FQuiet) return nullptr;
  TForm* form = GetParentForm(this);
  return form ? form->Handle() : nullptr;
}

void TMCustomFolderTree::BeginUpdate() {
  if (FUpdateDepth++ == 0 && HandleAllocated()) SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
}

void TMCustomFolderTree::EndUpdate() {
  if (FUpdateDepth <= 0) return;
  if (--FUpdateDepth == 0 && HandleAllocated()) {
    SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Handle(), nullptr, TRUE);
  }
}

// ---- Nodes ----

TFolderNodeData* TMCustomFolderTree::NodeData(TTreeNode node) const {
  if (!node || !HandleAllocated() || !FNodes.count(node)) return nullptr;
  TVITEMW it{};
  it.mask = TVIF_PARAM;
  it.hItem = node;
  if (!SendMessageW(Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
  return reinterpret_cast<TFolderNodeData*>(it.lParam);
}

std::wstring TMCustomFolderTree::NodeText(TTreeNode node) const {
  return HandleAllocated() ? TreeViewItemText(Handle(), node) : L"";
}

TTreeNode TMCustomFolderTree::Selected() const {
  return HandleAllocated() ? TreeView_GetSelection(Handle()) : nullptr;
}
TTreeNode TMCustomFolderTree::GetRootNode() const { return HandleAllocated() ? TreeView_GetRoot(Handle()) : nullptr; }
TTreeNode TMCustomFolderTree::ParentNode(TTreeNode node) const {
  return node && HandleAllocated() ? TreeView_GetParent(Handle(), node) : nullptr;
}
TTreeNode TMCustomFolderTree::FirstChild(TTreeNode node) const {
  return node && HandleAllocated() ? TreeView_GetChild(Handle(), node) : nullptr;
}
TTreeNode TMCustomFolderTree::NextSibling(TTreeNode node) const {
  return node && HandleAllocated() ? TreeView_GetNextSibling(Handle(), node) : nullptr;
}

std::vector<TTreeNode> TMCustomFolderTree::Children(TTreeNode node) const {
  std::vector<TTreeNode> out;
  for (TTreeNode c = FirstChild(node); c; c = NextSibling(c)) out.push_back(c);
  return out;
}

bool TMCustomFolderTree::HasChildren(TTreeNode node) const {
  TVITEMW it{};
  it.mask = TVIF_CHILDREN;
  it.hItem = node;
  if (!node || !SendMessageW(Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return false;
  return it.cChildren != 0;
}

bool TMCustomFolderTree::Expanded(TTreeNode node) const {
  return node && (TreeView_GetItemState(Handle(), node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

bool TMCustomFolderTree::IsNodeInTree(TTreeNode node) const { return node && FNodes.count(node) != 0; }

TTreeNode TMCustomFolderTree::GetMyComputerNode() const {
  for (TTreeNode c = FirstChild(GetRootNode()); c; c = NextSibling(c))
    if (GetNodeKind(c) == fnkMyComputer) return c;
  return nullptr;
}

TTreeNode TMCustomFolderTree::GetNetworkNode() const {
  for (TTreeNode c = FirstChild(GetRootNode()); c; c = NextSibling(c))
    if (GetNodeKind(c) == fnkNetwork) return c;
  return nullptr;
}

TTreeNode TMCustomFolderTree::GetCommandNode() const {
  return FCommandNode && IsNodeInTree(FCommandNode) ? FCommandNode : Selected();
}

std::wstring TMCustomFolderTree::GetNodePath(TTreeNode node) const {
  if (!node || FDestroying) return L"";
  TFolderNodeData* d = NodeData(node);
  if (!d || !(d->Attributes & SFGAO_FILESYSTEM)) return L"";
  return d->Path;
}

std::wstring TMCustomFolderTree::GetSelectedPath() const { return GetNodePath(GetCommandNode()); }

LPCITEMIDLIST TMCustomFolderTree::GetNodePIDL(TTreeNode node) const {
  TFolderNodeData* d = NodeData(node);
  return d ? d->AbsPidl : nullptr;
}

uint8_t TMCustomFolderTree::GetNodeKind(TTreeNode node) const {
  TFolderNodeData* d = NodeData(node);
  return d ? d->Kind : static_cast<uint8_t>(fnkNone);
}

IShellFolder* TMCustomFolderTree::FolderOf(TTreeNode node) const {
  TFolderNodeData* d = NodeData(node);
  return d && d->Folder ? d->Folder : FDesktopFolder;
}

void TMCustomFolderTree::SetHasChildren(TTreeNode node, bool has) { TreeViewSetHasChildren(Handle(), node, has); }

void TMCustomFolderTree::SetNodeText(TTreeNode node, const std::wstring& text) {
  TVITEMW it{};
  it.mask = TVIF_TEXT;
  it.hItem = node;
  it.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(Handle(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
}

void TMCustomFolderTree::SetNodeIcons(TTreeNode node, LPCITEMIDLIST absPidl, ULONG attrs) {
  int normal = -1, open = -1;
  GetSysIconIndexes(absPidl, normal, open);
  TVITEMW it{};
  it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
  it.hItem = node;
  it.iImage = normal;
  it.iSelectedImage = open >= 0 ? open : normal;
  it.stateMask = TVIS_OVERLAYMASK;
  // The shared hand for a share, else the shortcut arrow for a link.
  it.state = (attrs & SFGAO_SHARE) ? INDEXTOOVERLAYMASK(1) : (attrs & SFGAO_LINK) ? INDEXTOOVERLAYMASK(2) : 0;
  SendMessageW(Handle(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
}

std::wstring TMCustomFolderTree::ModeText(const std::wstring& text) const {
  std::wstring s = text;
  if (FDisplayMode == dmUppercase && !s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
  if (FDisplayMode == dmLowercase && !s.empty()) CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

void TMCustomFolderTree::SetDisplayMode(TDisplayMode mode) {
  FDisplayMode = mode;
  if (HandleAllocated()) ApplyDisplayMode(GetRootNode());
}

void TMCustomFolderTree::ApplyDisplayMode(TTreeNode first) {
  for (TTreeNode n = first; n; n = NextSibling(n)) {
    if (TFolderNodeData* d = NodeData(n)) SetNodeText(n, ModeText(d->DisplayName));
    ApplyDisplayMode(FirstChild(n));
  }
}

RECT TMCustomFolderTree::NodeTextRect(TTreeNode node) const {
  RECT r{};
  if (node) TreeView_GetItemRect(Handle(), node, &r, TRUE);
  return r;
}

TTreeNode TMCustomFolderTree::NodeAt(POINT client, bool withButton) const {
  TVHITTESTINFO hit{};
  hit.pt = client;
  TTreeNode node = TreeView_HitTest(Handle(), &hit);
  UINT on = TVHT_ONITEMLABEL | TVHT_ONITEMICON | (withButton ? TVHT_ONITEMBUTTON : 0);
  return node && (hit.flags & on) ? node : nullptr;
}

void TMCustomFolderTree::SelectNode(TTreeNode node) {
  if (!node) return;
  TreeView_SelectItem(Handle(), node);
  TreeView_EnsureVisible(Handle(), node);
}

bool TMCustomFolderTree::ExpandNode(TTreeNode node) {
  if (!node) return false;
  if (FirstChild(node) == nullptr && !CanExpand(node)) return false;
  TreeView_Expand(Handle(), node, TVE_EXPAND);
  return FirstChild(node) != nullptr;
}

void TMCustomFolderTree::CollapseNode(TTreeNode node) {
  if (node && node != GetRootNode()) TreeView_Expand(Handle(), node, TVE_COLLAPSE);
}

bool TMCustomFolderTree::ExpandWithoutUI(TTreeNode node) {
  uint8_t old = FQuiet;
  FQuiet = 1;
  bool ok = ExpandNode(node);
  FQuiet = old;
  return ok;
}

// ---- Building ----

void TMCustomFolderTree::Loaded() {
  // A tree whose window is not made yet builds its root when the window comes.
  if (!HandleAllocated()) {
    FLoadPending = true;
    return;
  }
  FLoadPending = false;
  if (!GetRootNode()) BuildRoot();
}

void TMCustomFolderTree::BuildRoot() {
  BeginUpdate();
  if (!FDesktopFolder && FAILED(SHGetDesktopFolder(&FDesktopFolder))) FDesktopFolder = nullptr;
  if (!FDesktopFolder) {
    EndUpdate();
    return;
  }
  if (!SortDesktopFolder) SortDesktopFolder = FDesktopFolder;
  HWND owner = EnumOwner();
  FreePidl(FMyComputerPidl);
  FreePidl(FNetworkPidl);
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &FMyComputerPidl))) FMyComputerPidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, &FNetworkPidl))) FNetworkPidl = nullptr;
  LPITEMIDLIST desktop = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, &desktop)) || !desktop) {
    EndUpdate();
    return;
  }
  wchar_t buf[MAX_PATH + 1] = {};
  FDesktopPath = SHGetPathFromIDListW(desktop, buf) ? buf : L"";
  TTreeNode root = AddFolderNode(CopyPidl(desktop), nullptr, true);
  if (root) {
    TFolderNodeData* d = NodeData(root);
    std::wstring text = DisplayNameOf(FDesktopFolder, desktop, SHGDN_NORMAL);
    if (text.empty()) text = L"Desktop";
    SetNodeText(root, text);
    d->Path = FDesktopPath;
    d->DisplayName = text;
    d->Kind = fnkDesktop;
    d->Attributes |= SFGAO_FILESYSTEM;
    FreePidl(FDesktopPidl);
    FDesktopPidl = CopyPidl(desktop);
    FillNode(root);
    TreeView_Expand(Handle(), root, TVE_EXPAND);
  }
  FreePidl(desktop);
  EndUpdate();
}

TTreeNode TMCustomFolderTree::AddFolderNode(LPITEMIDLIST rel, TTreeNode parent, bool top) {
  if (!rel) return nullptr;
  TFolderNodeData* pd = NodeData(parent);
  IShellFolder* folder = pd && pd->Folder ? pd->Folder : FDesktopFolder;
  TDisplayNames names = GetDisplayNames(folder, rel);
  ULONG attrs = parent ? AttributesOf(folder, rel) : 0;
  const uint8_t parentKind = pd ? pd->Kind : static_cast<uint8_t>(fnkNone);
  uint8_t kind = fnkFolder;
  LPITEMIDLIST abs = ConcatPidls(pd ? pd->AbsPidl : nullptr, rel);
  // Outside the network, only file-system items, My Computer and the network are kept: the
  // control panel, printers and the recycle bin never appear.
  if (!top && !(attrs & SFGAO_FILESYSTEM) && parentKind != fnkNetwork && parentKind != fnkNetItem) {
    if (FNetworkPidl && FDesktopFolder && SameItem(FDesktopFolder, abs, FNetworkPidl))
      kind = fnkNetwork;
    else if (FMyComputerPidl && FDesktopFolder && SameItem(FDesktopFolder, abs, FMyComputerPidl))
      kind = fnkMyComputer;
    else {
      FreePidl(abs);
      FreePidl(rel);
      return nullptr;
    }
  }
  if (parent && ParentNode(parent) == nullptr && !PersonalFolder.empty() &&
      SameTextI(ExcludeTrailingBackslash(names.Path), ExcludeTrailingBackslash(PersonalFolder)))
    kind = fnkPersonal;
  if (parentKind == fnkNetwork) kind = fnkNetItem;
  if (parentKind == fnkNetItem) {
    kind = fnkNetItem;
    if (!(attrs & SFGAO_FILESYSTEM) &&
        (StartsWithText(names.Path, pd->Path + L"\\") || !(attrs & SFGAO_HASSUBFOLDER))) {
      FreePidl(abs);
      FreePidl(rel);
      return nullptr;
    }
  }
  auto* data = new TFolderNodeData;
  data->Path = names.Path;
  data->DisplayName = names.InFolder;
  data->Kind = kind;
  data->AbsPidl = abs;
  data->RelPidl = rel;
  data->Attributes = attrs;
  if (parent) {
    data->Folder = BindFolder(folder, rel);
  } else {
    data->Folder = FDesktopFolder;
    if (data->Folder) data->Folder->AddRef();
  }
  TVINSERTSTRUCTW ins{};
  ins.hParent = parent ? parent : TVI_ROOT;
  ins.hInsertAfter = parent ? TVI_LAST : TVI_FIRST;
  ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
  ins.item.pszText = const_cast<wchar_t*>(names.Normal.c_str());
  ins.item.cChildren = (attrs & SFGAO_HASSUBFOLDER) ? 1 : 0;
  ins.item.lParam = reinterpret_cast<LPARAM>(data);
  auto node = reinterpret_cast<TTreeNode>(SendMessageW(Handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
  if (!node) {
    delete data;
    return nullptr;
  }
  FNodes.insert(node);
  SetNodeIcons(node, abs, attrs);
  SetNodeText(node, ModeText(names.InFolder));
  return node;
}

bool TMCustomFolderTree::FillNode(TTreeNode node) {
  TWaitCursor wait;
  BeginUpdate();
  TQuietErrors quiet;
  bool enumFailed = true;
  IShellFolder* folder = FolderOf(node);
  TFolderNodeData* d = NodeData(node);
  if (d && (d->Folder || node == GetRootNode()) && folder) {
    IEnumIDList* list = nullptr;
    ++EnumerationCount;
    if (SUCCEEDED(folder->EnumObjects(EnumOwner(), EnumFlags(), &list)) && list) {
      enumFailed = false;
      list->Reset();
      LPITEMIDLIST item = nullptr;
      ULONG got = 0;
      while (list->Next(1, &item, &got) == S_OK && got == 1) {
        AddFolderNode(item, node, false);
        item = nullptr;
      }
      list->Release();
    }
  }
  const bool any = FirstChild(node) != nullptr;
  SetHasChildren(node, enumFailed || any);
  if (any) {
    SortChildren(node);
    NetworkPathFixup(node);
  }
  EndUpdate();
  return any;
}

void TMCustomFolderTree::SortChildren(TTreeNode node) {
  TVSORTCB sort{};
  sort.hParent = node;
  sort.lpfnCompare = CompareFolderNodes;
  sort.lParam = 0;
  SendMessageW(Handle(), TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
}

bool TMCustomFolderTree::NetworkPathFixup(TTreeNode node) {
  TTreeNode first = FirstChild(node);
  TFolderNodeData* fd = NodeData(first);
  TFolderNodeData* d = NodeData(node);
  if (!fd || !d || fd->Kind != fnkNetItem) return false;
  std::wstring path = GetNodePath(node);
  if (path.empty() || path[0] == L'\\' || fd->Path.empty() || fd->Path[0] != L'\\') return false;
  std::wstring fixed = ExtractParentDir(fd->Path);
  if (fixed == d->Path) return false;
  d->Path = fixed;
  return true;
}

void TMCustomFolderTree::UpdateNode(TTreeNode parent, TTreeNode node, LPCITEMIDLIST rel) {
  if (!IsNodeInTree(node) || !rel) return;
  TFolderNodeData* d = NodeData(node);
  if (!d) return;
  IShellFolder* folder = parent ? FolderOf(parent) : FDesktopFolder;
  TDisplayNames names = GetDisplayNames(folder, rel);
  ULONG attrs = AttributesOf(folder, rel);
  const std::wstring oldPath = d->Path;
  // The absolute list follows the parent's, which a rename above may have changed.
  if (TFolderNodeData* pd = NodeData(parent); pd && d->RelPidl) {
    if (LPITEMIDLIST abs = ConcatPidls(pd->AbsPidl, d->RelPidl)) {
      FreePidl(d->AbsPidl);
      d->AbsPidl = abs;
    }
  }
  d->Path = names.Path;
  d->DisplayName = names.InFolder;
  d->Attributes = attrs;
  if (IShellFolder* bound = BindFolder(folder, rel)) {
    if (d->Folder) d->Folder->Release();
    d->Folder = bound;
  }
  SetNodeIcons(node, d->AbsPidl, attrs);
  SetNodeText(node, names.Normal);
  SetHasChildren(node, (attrs & SFGAO_HASSUBFOLDER) != 0);
  if (node == Selected() && oldPath != d->Path) DoUserChange(node);
}

bool TMCustomFolderTree::RefreshChildren(TTreeNode node, bool recursive, bool keepData) {
  if (!node || !IsNodeInTree(node)) return true;
  TFolderNodeData* d = NodeData(node);
  if (!d || !d->Folder) return true;
  TWaitCursor wait;
  BeginUpdate();
  TQuietErrors quiet;
  std::vector<LPITEMIDLIST> items;
  bool enumFailed = true;
  IEnumIDList* list = nullptr;
  ++EnumerationCount;
  if (SUCCEEDED(d->Folder->EnumObjects(nullptr, EnumFlags(), &list)) && list) {
    enumFailed = false;
    list->Reset();
    LPITEMIDLIST item = nullptr;
    ULONG got = 0;
    while (list->Next(1, &item, &got) == S_OK && got == 1) {
      items.push_back(item);
      item = nullptr;
    }
    list->Release();
  }
  std::vector<TTreeNode> kids = Children(node);
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    TTreeNode child = *it;
    if (!IsNodeInTree(child)) continue;
    TFolderNodeData* cd = NodeData(child);
    auto match = std::find_if(items.begin(), items.end(),
                              [&](LPITEMIDLIST i) { return cd && SameItem(d->Folder, cd->RelPidl, i); });
    if (match == items.end()) {
      DeleteNode(child, true);
      continue;
    }
    if (!keepData) UpdateNode(node, child, *match);
    FreePidl(*match);
    items.erase(match);
    if (recursive && FirstChild(child)) RefreshChildren(child, recursive, keepData);
  }
  for (LPITEMIDLIST item : items) AddFolderNode(item, node, false);
  bool any = FirstChild(node) != nullptr;
  SetHasChildren(node, enumFailed || any);
  if (any) {
    SortChildren(node);
    if (NetworkPathFixup(node) && node == Selected()) DoUserChange(node);
  }
  EndUpdate();
  return true;
}

void TMCustomFolderTree::RefreshNode(TTreeNode node, bool keepData) {
  if (!IsNodeInTree(node)) return;
  if (node != GetRootNode()) {
    TFolderNodeData* d = NodeData(node);
    if (d) UpdateNode(ParentNode(node), node, d->RelPidl);
  }
  RefreshChildren(node, false, keepData);
}

void TMCustomFolderTree::RefreshFolder(const std::wstring& path) {
  if (TTreeNode node = FindNodeByPath(path)) RefreshNode(node, true);
}

void TMCustomFolderTree::RefreshCommandNode() { RefreshNode(GetCommandNode(), false); }

void TMCustomFolderTree::RefreshTree(bool all) {
  TTreeNode root = GetRootNode();
  if (!root) return;
  if (all) {
    RefreshChildren(root, true, false);
    return;
  }
  for (TTreeNode c : Children(root)) {
    uint8_t k = GetNodeKind(c);
    if (k != fnkNetwork && k != fnkNetItem) RefreshChildren(c, true, false);
  }
}

void TMCustomFolderTree::DeleteNode(TTreeNode node, bool notify) {
  if (!IsNodeInTree(node)) return;
  BeginUpdate();
  // The selection inside the node goes to its parent, and the panel follows.
  TTreeNode sel = Selected();
  bool inside = false;
  for (TTreeNode n = sel; n; n = ParentNode(n))
    if (n == node) inside = true;
  if (inside) {
    LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    SetWindowLongPtrW(Handle(), GWL_STYLE, style & ~static_cast<LONG_PTR>(TVS_SINGLEEXPAND));
    TTreeNode parent = ParentNode(node);
    TreeView_SelectItem(Handle(), parent);
    if (notify) DoUserChange(parent);
    if (Options.TreeAutoExpand) style |= TVS_SINGLEEXPAND;
    else style &= ~static_cast<LONG_PTR>(TVS_SINGLEEXPAND);
    SetWindowLongPtrW(Handle(), GWL_STYLE, style);
  }
  DeleteChildren(node, notify);
  SendMessageW(Handle(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(node));
  EndUpdate();
}

void TMCustomFolderTree::DeleteChildren(TTreeNode node, bool notify) {
  std::vector<TTreeNode> kids = Children(node);
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) DeleteNode(*it, notify);
  if (IsNodeInTree(node)) {
    // Read again on the next expansion.
    TreeView_SetItemState(Handle(), node, 0, TVIS_EXPANDEDONCE);
    SetHasChildren(node, true);
  }
}

// ---- Lookups ----

TTreeNode TMCustomFolderTree::FindNodeByPidl(LPCITEMIDLIST pidl, bool expand) {
  TTreeNode node = GetRootNode();
  if (!node || !pidl) return nullptr;
  if (pidl->mkid.cb == 0) return node;
  const int count = PidlItemCount(pidl);
  bool began = false;
  for (int level = 1; level <= count; ++level) {
    if (!FirstChild(node)) {
      if (!expand) break;
      if (!began) {
        BeginUpdate();
        began = true;
      }
      if (!ExpandNode(node)) break;
    }
    LPITEMIDLIST cut = PidlPrefix(pidl, level);
    TTreeNode found = nullptr;
    for (TTreeNode c = FirstChild(node); c && !found; c = NextSibling(c)) {
      TFolderNodeData* cd = NodeData(c);
      if (cd && SameItem(FDesktopFolder, cd->AbsPidl, cut)) found = c;
    }
    FreePidl(cut);
    if (!found) break;
    node = found;
  }
  if (began) EndUpdate();
  return IsNodeInTree(node) ? node : nullptr;
}

TTreeNode TMCustomFolderTree::FindNodeForPath(const std::wstring& path) {
  LPITEMIDLIST pidl = nullptr;
  if (!FDesktopFolder || !ParseDisplayNameIn(EnumOwner(), FDesktopFolder, path, pidl) || !pidl) return nullptr;
  TTreeNode node = FindNodeByPidl(pidl, true);
  FreePidl(pidl);
  return node;
}

TTreeNode TMCustomFolderTree::FindNodeByPath(const std::wstring& path) const {
  if (path.size() <= 2) return nullptr;
  std::wstring p = path;
  if (p.back() == L'\\') p.pop_back();
  // Components from the end, each with the path it ends (C:\A\B: C:, A, B; \\s\x\y: \, s, x, y).
  std::vector<std::wstring> prefixes;
  std::vector<std::wstring> comps;
  while (true) {
    if (!FDesktopPath.empty() && SameTextI(p, ExcludeTrailingBackslash(FDesktopPath))) {
      comps.insert(comps.begin(), p);
      prefixes.insert(prefixes.begin(), p);
      break;
    }
    std::wstring name = FileNameOf(p);
    if (name.empty()) {
      comps.insert(comps.begin(), p);
      prefixes.insert(prefixes.begin(), p);
      break;
    }
    comps.insert(comps.begin(), name);
    prefixes.insert(prefixes.begin(), p);
    p.resize(p.size() - name.size());
    if (!p.empty() && p.back() == L'\\' && p.size() > 1) p.pop_back();
    if (p.empty()) break;
  }
  if (comps.empty()) return nullptr;
  TTreeNode node = nullptr;
  TTreeNode root = GetRootNode();
  if (root && SameTextI(comps[0], ExcludeTrailingBackslash(GetNodePath(root)))) {
    node = root;
  } else if (comps[0] == L"\\") {
    node = GetNetworkNode();
  } else {
    for (TTreeNode c = FirstChild(GetMyComputerNode()); c && !node; c = NextSibling(c))
      if (TFolderNodeData* d = NodeData(c); d && SameTextI(ExcludeTrailingBackslash(d->Path), comps[0])) node = c;
  }
  if (!node) return nullptr;
  for (size_t i = 1; i < comps.size(); ++i) {
    if (!FirstChild(node)) return node;
    TTreeNode found = nullptr;
    for (TTreeNode c = FirstChild(node); c && !found; c = NextSibling(c))
      if (TFolderNodeData* d = NodeData(c); d && SameTextI(ExcludeTrailingBackslash(d->Path), prefixes[i])) found = c;
    if (!found) return nullptr;
    node = found;
  }
  return node;
}

void TMCustomFolderTree::SelectPath(const std::wstring& path) {
  if (FDestroying || !HandleAllocated()) return;
  TTreeNode node = FindNodeForPath(path);
  if (!node) return;
  const bool update = Options.TreeAutoExpand;
  if (update) BeginUpdate();
  SelectNode(node);
  if (update) EndUpdate();
}

void TMCustomFolderTree::ExpandPath(const std::wstring& path) {
  if (FDestroying || !HandleAllocated()) return;
  TTreeNode node = FindNodeForPath(path);
  if (!node) return;
  SelectNode(node);
  ExpandNode(node);
}

void TMCustomFolderTree::SelectPathAndNotify(const std::wstring& path) {
  SelectPath(path);
  DoUserChange(Selected());
}

void TMCustomFolderTree::DoUserChange(TTreeNode node) {
  if (OnUserChange && node && IsNodeInTree(node)) OnUserChange(GetNodePath(node));
}

// ---- Drives ----

void TMCustomFolderTree::RefreshDrives() { RefreshDriveNodes(L""); }

void TMCustomFolderTree::RefreshDrive(wchar_t letter) { RefreshDriveNodes(std::wstring(1, letter) + L":\\"); }

void TMCustomFolderTree::RefreshDriveNodes(const std::wstring& drive) {
  BeginUpdate();
  if (TTreeNode mc = GetMyComputerNode()) RefreshNode(mc, true);
  if (!drive.empty()) {
    TTreeNode node = FindNodeByPath(drive);
    TFolderNodeData* d = NodeData(node);
    if (d && !d->Path.empty() && towupper(d->Path[0]) == towupper(drive[0]) &&
        SameTextI(ExcludeTrailingBackslash(d->Path), ExcludeTrailingBackslash(drive))) {
      ResetDriveNode(drive[0], false);
      if (IsNodeInTree(node)) RefreshNode(node, true);
    }
  }
  EndUpdate();
}

void TMCustomFolderTree::ResetDriveNode(wchar_t letter, bool force) {
  TTreeNode mc = GetMyComputerNode();
  TFolderNodeData* md = NodeData(mc);
  if (!md || !md->Folder) return;
  TTreeNode node = nullptr;
  for (TTreeNode c = FirstChild(mc); c && !node; c = NextSibling(c))
    if (TFolderNodeData* d = NodeData(c); d && !d->Path.empty() && towupper(d->Path[0]) == towupper(letter)) node = c;
  if (!node) return;
  LPITEMIDLIST rel = nullptr;
  std::wstring root = std::wstring(1, letter) + L":\\";
  if (!ParseDisplayNameIn(EnumOwner(), md->Folder, root, rel) || !rel) return;
  std::wstring normal = DisplayNameOf(md->Folder, rel, SHGDN_NORMAL);
  FreePidl(rel);
  if (NodeText(node) != normal || force) {
    TreeView_Expand(Handle(), node, TVE_COLLAPSE | TVE_COLLAPSERESET);
    DeleteChildren(node, false);
    SetNodeText(node, normal);
    TreeView_Expand(Handle(), node, TVE_COLLAPSE);
    SetHasChildren(node, true);
  }
}

void TMCustomFolderTree::VerifySelection() {
  TQuietErrors quiet;
  TTreeNode node = Selected();
  std::wstring path = GetNodePath(node);
  if (path.size() <= 2) return;
  if (path.compare(0, 2, L"\\\\") == 0) {
    SetHasChildren(node, true);
    return;
  }
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  ResetDriveNode(path[0], true);
  if (IsNodeInTree(node) && GetPathDepth(path) == 0) {
    TFolderNodeData* d = NodeData(node);
    if (d) UpdateNode(ParentNode(node), node, d->RelPidl);
    RefreshChildren(node, false, false);
  }
}

// ---- Selection and expansion ----

bool TMCustomFolderTree::CanExpand(TTreeNode node) {
  if (FirstChild(node)) return true;
  BeginUpdate();
  const std::wstring before = GetNodePath(node);
  bool ok = false;
  try {
    ok = FillNode(node);
  } catch (...) {
    SetHasChildren(node, true);
    ok = false;
  }
  if (ok && node == Selected() && GetNodePath(node) != before) DoUserChange(node);
  EndUpdate();
  return ok;
}

void TMCustomFolderTree::SelectionChanged(TTreeNode node, UINT action) {
  if (FChangeDelay != 0 && action != TVC_BYKEYBOARD) {
    FChangeTimer->SetEnabled(false);
    if (action == TVC_BYMOUSE) DoUserChange(node);
    return;
  }
  if (action == TVC_BYKEYBOARD && FChangeDelay != 0) {
    // Keyboard moves wait for the delay, so that running through the tree lists nothing.
    FChangeTimer->SetEnabled(false);
    FChangeNode = node;
    FChangeTimer->SetInterval(FChangeDelay);
    FChangeTimer->SetEnabled(true);
    return;
  }
  if (FChangeDelay == 0 && (action == TVC_BYKEYBOARD || action == TVC_BYMOUSE)) DoUserChange(node);
}

void TMCustomFolderTree::ChangeTimerFired() {
  FChangeTimer->SetEnabled(false);
  TTreeNode node = FChangeNode;
  FChangeNode = nullptr;
  if (IsNodeInTree(node)) DoUserChange(node);
}

bool TMCustomFolderTree::NotifyMessage(NMHDR& hdr, LRESULT& result) {
  switch (hdr.code) {
    case TVN_DELETEITEMW: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(&hdr);
      delete reinterpret_cast<TFolderNodeData*>(nm->itemOld.lParam);
      TTreeNode gone = nm->itemOld.hItem;
      FNodes.erase(gone);
      if (FCommandNode == gone) FCommandNode = nullptr;
      if (FChangeNode == gone) FChangeNode = nullptr;
      NodeGone(gone);
      return true;
    }
    case TVN_ITEMEXPANDINGW: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(&hdr);
      TTreeNode node = nm->itemNew.hItem;
      if (nm->action & TVE_COLLAPSE) {
        // The Desktop root never collapses.
        result = node == GetRootNode() ? TRUE : FALSE;
        return true;
      }
      result = CanExpand(node) ? FALSE : TRUE;
      return true;
    }
    case TVN_ITEMEXPANDEDW: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(&hdr);
      if ((nm->action & TVE_COLLAPSE) && nm->itemNew.hItem == GetRootNode()) {
        // A tree view that collapsed the root all the same opens it again.
        TreeView_Expand(Handle(), nm->itemNew.hItem, TVE_EXPAND);
        return false;
      }
      if ((nm->action & TVE_COLLAPSE) && nm->itemNew.hItem == Selected()) DoUserChange(nm->itemNew.hItem);
      return false;
    }
    case TVN_SELCHANGEDW: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(&hdr);
      if (!FDestroying) SelectionChanged(nm->itemNew.hItem, nm->action);
      return false;
    }
    case NM_CUSTOMDRAW: {
      auto* cd = reinterpret_cast<NMTVCUSTOMDRAW*>(&hdr);
      if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
        return true;
      }
      if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        // The selection drawn inverted in the tree's own colours.
        if (Options.ItemColorEnable && Options.FolderTreeColor && (cd->nmcd.uItemState & CDIS_SELECTED)) {
          cd->clrTextBk = ToColorRef(Options.FTreeFontColor);
          cd->clrText = ToColorRef(Options.FTreeBackColor);
        }
        result = CDRF_DODEFAULT;
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

bool TMCustomFolderTree::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  return TControl::WndProc(msg, wp, lp, result);
}

// ---- Notices ----

void TMCustomFolderTree::NotifyChange(int op, const std::wstring& path1, const std::wstring& path2) {
  if (FNotifyDepth > 0) {
    BufferNotify(op, path1, path2);
    return;
  }
  if (!HandleAllocated() || !GetRootNode()) return;
  switch (op) {
    case 1: {
      LPITEMIDLIST pidl = nullptr;
      if (!FDesktopFolder || !ParseDisplayNameIn(nullptr, FDesktopFolder, path1, pidl) || !pidl) return;
      TTreeNode node = FindNodeByPidl(pidl, false);
      FreePidl(pidl);
      if (!node) return;
      if (SameTextI(ExcludeTrailingBackslash(GetNodePath(node)), ExcludeTrailingBackslash(path1)))
        RefreshNode(node, true);
      else
        RefreshTree(true);
      break;
    }
    case 2: RenameFolder(path1, path2); break;
    case 3: {
      TTreeNode node = FindNodeByPath(path1);
      if (!node) return;
      if (SameTextI(ExcludeTrailingBackslash(GetNodePath(node)), ExcludeTrailingBackslash(path1)))
        DeleteNode(node, true);
      else
        RefreshNode(node, true);
      break;
    }
    default: break;
  }
}

void TMCustomFolderTree::BeginNotifyBuffer() { ++FNotifyDepth; }

void TMCustomFolderTree::EndNotifyBuffer() {
  if (FNotifyDepth > 0) --FNotifyDepth;
  if (FNotifyDepth == 0) FlushNotifyBuffer();
}

void TMCustomFolderTree::BufferNotify(int op, const std::wstring& path1, const std::wstring& path2) {
  FNotifyBuffer.push_back({op, path1, path2});
  if (!FNetworkFlag && (path1.compare(0, 2, L"\\\\") == 0 || path2.compare(0, 2, L"\\\\") == 0)) FNetworkFlag = 1;
}

void TMCustomFolderTree::FlushNotifyBuffer() {
  std::vector<TNotifyBufferRecord> records;
  records.swap(FNotifyBuffer);
  const bool network = FNetworkFlag != 0;
  FNetworkFlag = 0;
  if (records.empty() || !HandleAllocated()) return;
  BeginUpdate();
  if (records.size() == 1)
    NotifyChange(records[0].Op, records[0].Path1, records[0].Path2);
  else
    RefreshTree(network);
  EndUpdate();
}

void TMCustomFolderTree::RenameFolder(const std::wstring& oldPath, const std::wstring& newPath) {
  TTreeNode node = FindNodeByPath(oldPath);
  if (!node && SameTextI(ExcludeTrailingBackslash(GetNodePath(GetCommandNode())), ExcludeTrailingBackslash(oldPath)))
    node = GetCommandNode();
  if (node && SameTextI(ExcludeTrailingBackslash(GetNodePath(node)), ExcludeTrailingBackslash(oldPath))) {
    LPITEMIDLIST pidl = nullptr;
    if (!FDesktopFolder || !ParseDisplayNameIn(nullptr, FDesktopFolder, newPath, pidl) || !pidl) return;
    ApplyRename(node, CopyPidl(GetNodePIDL(node)), oldPath, newPath, pidl);
    return;
  }
  RefreshTree(true);
}

void TMCustomFolderTree::ApplyRename(TTreeNode node, LPITEMIDLIST oldPidl, const std::wstring& oldPath,
                                     const std::wstring& newPath, LPITEMIDLIST newPidl) {
  if (IsNodeInTree(node)) {
    if (SameTextI(FilePathOf(ExcludeTrailingBackslash(oldPath)), FilePathOf(ExcludeTrailingBackslash(newPath)))) {
      // Renamed in place: the node keeps its place in the tree and its subtree.
      TTreeNode parent = ParentNode(node);
      LPITEMIDLIST rel = FindChildPidl(node, newPidl);
      TFolderNodeData* d = NodeData(node);
      if (!rel || !d) {
        // The new item is not there (yet): the old data stays and the parent is read again.
        FreePidl(rel);
        RefreshNode(parent, true);
      } else {
        TFolderNodeData* pd = NodeData(parent);
        FreePidl(d->AbsPidl);
        FreePidl(d->RelPidl);
        d->RelPidl = rel;
        d->AbsPidl = ConcatPidls(pd ? pd->AbsPidl : nullptr, rel);
        UpdateNode(parent, node, d->RelPidl);
        if (IsNodeInTree(node)) SetNodeText(node, ModeText(d->DisplayName));
        RefreshChildren(node, true, false);
        if (parent) SortChildren(parent);
      }
    } else {
      // Moved: the place it left and the place it came to are read again.
      TTreeNode from = FindNodeByPidl(oldPidl, false);
      if (from && ParentNode(from)) RefreshNode(ParentNode(from), true);
      if (TTreeNode to = FindNodeByPidl(newPidl, false)) RefreshNode(to, true);
    }
  }
  FreePidl(oldPidl);
  FreePidl(newPidl);
}

LPITEMIDLIST TMCustomFolderTree::FindChildPidl(TTreeNode node, LPCITEMIDLIST newPidl) {
  TTreeNode parent = ParentNode(node);
  if (!parent || !newPidl) return nullptr;
  IShellFolder* folder = FolderOf(parent);
  LPITEMIDLIST last = CopyLastPidlItem(newPidl);
  LPITEMIDLIST found = nullptr;
  TQuietErrors quiet;
  IEnumIDList* list = nullptr;
  if (folder && last && SUCCEEDED(folder->EnumObjects(nullptr, EnumFlags(), &list)) && list) {
    LPITEMIDLIST item = nullptr;
    ULONG got = 0;
    while (!found && list->Next(1, &item, &got) == S_OK && got == 1) {
      if (SameItem(folder, item, last))
        found = item;
      else
        FreePidl(item);
      item = nullptr;
    }
    list->Release();
  }
  FreePidl(last);
  return found;
}

// ---- TMFolderTree ----

namespace {
// The folder all files lie in, or "" when they come from more than one.
std::wstring CommonFolder(const TStringList& files) {
  if (files.Count() == 0) return L"";
  std::wstring first = FilePathOf(files[0]);
  for (int i = 1; i < files.Count(); ++i)
    if (!SameTextI(FilePathOf(files[i]), first)) return L"";
  return first;
}
}  // namespace

TMFolderTree::TMFolderTree(TComponent* owner) : TMCustomFolderTree(owner) {
  FDragImages.reset(ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1));
  AddFolderIconToImageList(FDragImages.get(), true);
  FHoverTimer = new TTimer(this);
  FHoverTimer->SetEnabled(false);
  FHoverTimer->SetInterval(500);
  FHoverTimer->OnTimer = [this](TComponent*) { HoverTimerFired(); };
  FDragSource = new TDropFileSource(this);
  FDragSource->SetImages(FDragImages.get());
  FDragSource->SetImageIndex(0);
  FDragSource->SetShowImage(true);
  FDragSource->DragTypes = dtCopy | dtMove | dtLink;
  FDropTarget = new TDropFileTarget(this);
  FDropTarget->ScrollSpeed = 70;
  FDropTarget->DragTypes = dtCopy | dtMove | dtLink;
  FDropTarget->GetDataOnEnter = true;
  FDropTarget->OnEnter = [this](TShiftState s, POINT p, DWORD& e) { DropEnter(s, p, e); };
  FDropTarget->OnGetDropEffect = [this](TShiftState s, POINT p, DWORD& e) { DropEffect(s, p, e); };
  FDropTarget->OnLeave = [this] { DropLeave(); };
  FDropTarget->OnDrop = [this](TShiftState, POINT p, DWORD& e) { DropFiles(e, p); };
  FDropTarget->OnStayCheck = [this](POINT p) { return DropStayCheck(p); };
  FDropTarget->OnStayTimer = [this](POINT p) { DropStayTimer(p); };
}

TMFolderTree::~TMFolderTree() {
  if (FHoverTimer) FHoverTimer->SetEnabled(false);
  if (FDropTarget) FDropTarget->SetTarget(nullptr);
  delete FHoverTimer;
  FHoverTimer = nullptr;
  delete FDropTarget;
  FDropTarget = nullptr;
  delete FDragSource;
  FDragSource = nullptr;
  FDragImages.reset();
}

void TMFolderTree::HandleCreated() {
  TMCustomFolderTree::HandleCreated();
  FDropTarget->SetTarget(this);
}

void TMFolderTree::NodeGone(TTreeNode node) {
  if (FPressNode == node) FPressNode = nullptr;
}

void TMFolderTree::ResetPress() {
  FPress = {-1, -1};
  FPressNode = nullptr;
}

TTreeNode TMFolderTree::DropHighlight() const {
  return HandleAllocated() ? TreeView_GetDropHilight(Handle()) : nullptr;
}

void TMFolderTree::HighlightNode(TTreeNode node) {
  if (HandleAllocated()) TreeView_SelectDropTarget(Handle(), node);
}

// ---- Predicates ----

bool TMFolderTree::IsFileSystemNode() const {
  TFolderNodeData* d = NodeData(GetCommandNode());
  return d && (d->Attributes & SFGAO_FILESYSTEM);
}
bool TMFolderTree::HasPath() const { return !GetSelectedPath().empty(); }
bool TMFolderTree::CanCopy() const {
  uint8_t k = GetNodeKind(GetCommandNode());
  return HasPath() && k != fnkDesktop && k != fnkPersonal && GetPathDepth(GetSelectedPath()) > 0;
}
bool TMFolderTree::CanMove() const {
  return HasPath() && GetPathDepth(GetSelectedPath()) >= 1 && GetNodeKind(GetCommandNode()) != fnkDesktop;
}
bool TMFolderTree::CanAttr() const { return HasPath() && GetPathDepth(GetSelectedPath()) > 0; }
bool TMFolderTree::CanGoUp() const { return ParentNode(GetCommandNode()) != nullptr; }
bool TMFolderTree::CanPaste() const { return IsFileSystemNode() && FDropTarget->CanPasteFromClipboard(); }
bool TMFolderTree::CanDragCopy() const {
  std::wstring path = GetNodePath(FPressNode);
  return !path.empty() && GetPathDepth(path) >= 1 && GetNodeKind(FPressNode) != fnkDesktop;
}
bool TMFolderTree::CanDragMove() const {
  std::wstring path = GetNodePath(FPressNode);
  uint8_t k = GetNodeKind(FPressNode);
  return !path.empty() && GetPathDepth(path) >= 1 && k != fnkDesktop && k != fnkMyComputer;
}

// ---- Navigation and commands ----

void TMFolderTree::GoUp() {
  TTreeNode sel = Selected();
  TTreeNode parent = ParentNode(sel);
  if (!parent) return;
  SelectNode(parent);
  if (!FChangeTimer->Enabled()) DoUserChange(parent);
}

void TMFolderTree::GoRoot() {
  TTreeNode sel = Selected();
  if (!ParentNode(sel)) return;
  TTreeNode root = GetRootNode();
  SelectNode(root);
  if (!FChangeTimer->Enabled()) DoUserChange(root);
}

void TMFolderTree::ShowProperties() {
  TTreeNode node = DropHighlight();
  if (!node) node = Selected();
  TFolderNodeData* d = NodeData(node);
  if (!d) return;
  TTreeNode parent = ParentNode(node);
  IShellFolder* folder = parent ? FolderOf(parent) : FDesktopFolder;
  LPCITEMIDLIST item = d->RelPidl;
  ShowShellPropertiesPidls(folder, &item, 0, GetDesktopHandle(), 1);
}

void TMFolderTree::RenameByKey() { DoTreeKey(ssAlt, 'R', 0); }

void TMFolderTree::CopyToClipboard(bool copy) {
  if (!CanCut()) return;
  FDragSource->Files.Clear();
  FDragSource->Files.Add(GetSelectedPath());
  if (copy)
    FDragSource->CopyToClipboard();
  else
    FDragSource->CutToClipboard();
  FDragSource->Files.Clear();
}

void TMFolderTree::PasteFromClipboard(bool asLink) {
  if (!CanPaste()) {
    Beep();
    return;
  }
  DWORD effect = static_cast<DWORD>(FDropTarget->PasteFromClipboard());
  if (asLink && effect) effect = DROPEFFECT_LINK;
  if (!effect) return;
  const bool move = effect == DROPEFFECT_MOVE;
  FShowDropMenu = 0;
  FSourceFolder = CommonFolder(FDropTarget->Files);
  // Into the node the command is for (the one the tree's own menu was opened on).
  TTreeNode sel = GetCommandNode();
  HighlightNode(sel);
  RECT r = NodeTextRect(sel);
  DropFiles(effect, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  HighlightNode(nullptr);
  if (move) ClearClipboard();
}

// ---- Keys ----

WORD TMFolderTree::DoTreeKey(TShiftState shift, WORD key, UINT) {
  if (!OnTreeKey) return key;
  OnTreeKey(key, shift);
  if (key == VK_RETURN && shift == ssAlt) {
    ShowProperties();
  } else if (shift == ssShift && key >= 'A' && key <= 'Z') {
    ShiftDriveJump(static_cast<wchar_t>(key));
  }
  return key;
}

void TMFolderTree::ShiftDriveJump(wchar_t letter) {
  std::wstring dir;
  CurrentDirs.GetDir(std::wstring(1, letter) + L":\\", dir);
  dir = ExcludeTrailingBackslashKeepRoot(dir);
  if (dir.size() == 2 && dir[1] == L':') dir += L'\\';
  LPITEMIDLIST pidl = nullptr;
  TTreeNode node = nullptr;
  if (!dir.empty() && FDesktopFolder && ParseDisplayNameIn(EnumOwner(), FDesktopFolder, dir, pidl) && pidl) {
    node = FindNodeByPidl(pidl, false);
    FreePidl(pidl);
  }
  if (!node || !SameTextI(ExcludeTrailingBackslash(GetNodePath(node)), ExcludeTrailingBackslash(dir))) {
    Beep();
    return;
  }
  if (node == Selected()) return;
  SelectNode(node);
  DoUserChange(node);
}

// ---- Menus ----

void TMFolderTree::ShowNodeMenu(int x, int y, bool middle, bool hover) {
  const TShiftState s = GetCurrentShiftState() & (ssShift | ssAlt | ssCtrl);
  enum { cNone, cOwn, cShell } c = s == ssShift ? cOwn : s == ssCtrl ? cShell : cNone;
  const int option = middle ? Options.MouseMiddle : Options.MouseRight;
  if ((option == 1 || option == 3) && s == 0) c = cOwn;
  if (option == 2 && s == 0) c = cShell;
  if (option >= 4) c = cNone;
  if (hover) c = Options.MouseRight == 2 ? cOwn : cShell;
  if (c == cNone) return;
  POINT client{x, y};
  TTreeNode node = NodeAt(client, false);
  HighlightNode(node);
  POINT screen = client;
  ::ClientToScreen(Handle(), &screen);
  const bool hasOwn = static_cast<bool>(OnOwnMenu);
  if ((c == cShell && node) || !hasOwn) {
    if (TFolderNodeData* d = NodeData(node)) {
      TTreeNode parent = ParentNode(node);
      IShellFolder* folder = parent ? FolderOf(parent) : FDesktopFolder;
      LPCITEMIDLIST item = d->RelPidl;
      bool rename = false;
      ShowShellContextMenuPidlsAt(folder, &item, 0, GetDesktopHandle(), screen, 1, CanRename(), rename);
      if (rename && IsNodeInTree(node)) {
        if (Selected() != node) SelectNode(node);
        RenameByKey();
      }
    }
  } else if (c == cOwn && node && hasOwn) {
    // The chosen command acts on this node; the main form lets go of it once the command has
    // run, and nothing chosen lets go of it here.
    FCommandNode = node;
    OnOwnMenu(screen);
    FCommandNode = nullptr;
  }
  HighlightNode(nullptr);
  DoTreeKey(GetCurrentShiftState() & (ssShift | ssAlt | ssCtrl), 0, 0);
}

void TMFolderTree::MenuAtSelection() {
  TTreeNode sel = Selected();
  if (!sel) return;
  RECT r = NodeTextRect(sel);
  ShowNodeMenu((r.left + r.right) / 2, (r.top + r.bottom) / 2, false, false);
}

void TMFolderTree::HoverTimerFired() {
  FHoverTimer->SetEnabled(false);
  POINT cursor{};
  const bool rightAlone = (GetCurrentShiftState() & (ssShift | ssAlt | ssCtrl | ssLeft | ssRight | ssMiddle)) == ssRight;
  if (rightAlone && GetCursorPos(&cursor) && FPressNode) {
    ::ScreenToClient(Handle(), &cursor);
    if (NodeAt(cursor, false) == FPressNode) {
      FPressNode = nullptr;
      ShowNodeMenu(cursor.x, cursor.y, false, true);
    }
  }
  FPressNode = nullptr;
}

// ---- Mouse ----

void TMFolderTree::MouseMoved(WPARAM wp, int x, int y) {
  const TShiftState keys = KeyboardShiftState();
  const bool moved = x != FLastMove.x || y != FLastMove.y;
  FLastMove = {x, y};
  if (keys == (ssCtrl | ssAlt) && !(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && Focused() && moved)
    HighlightNode(NodeAt(POINT{x, y}));
  TDragTypes allowed = 0;
  if (CanDragCopy()) allowed |= dtCopy;
  if (CanDragMove()) allowed |= dtMove;
  if (CanDragLink()) allowed |= dtLink;
  if (!allowed) {
    FPress = {-1, -1};
    return;
  }
  if (FPress.x < 0 || !(wp & (MK_LBUTTON | MK_RBUTTON)) || (keys & ssAlt)) return;
  if (std::abs(x - FPress.x) <= 11 && std::abs(y - FPress.y) <= 11) return;
  FHoverTimer->SetEnabled(false);
  if (!NodeAt(FPress) || FPressNode != NodeAt(FPress)) return;
  if (Options.DragDelay && GetTickCount() - FPressTime < 300) return;
  FDragSource->DragTypes = allowed;
  FDragSource->SetImageIndex(0);
  FDragSource->Files.Clear();
  FDragSource->Files.Add(GetNodePath(FPressNode));
  HighlightNode(nullptr);
  TDragResult r = FDragSource->Execute();
  if (r == drOutOfMemory) ShowErrorBox(LoadMessageText(4124));
  if (r == drUnknown) ShowErrorBox(LoadMessageText(4125));
  ResetPress();
  FDragSource->Files.Clear();
}

bool TMFolderTree::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  const POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  switch (msg) {
    case WM_LBUTTONDOWN: {
      TTreeNode before = Selected();
      FPress = pt;
      FPressNode = NodeAt(pt);
      FPressTime = GetTickCount();
      TTreeNode hit = FPressNode;
      result = DefaultHandler(msg, wp, lp);
      // A click that left the selection where it was moves the panel there again.
      if (hit && hit == before && Selected() == before && IsNodeInTree(before)) {
        DoUserChange(before);
        if (HandleAllocated()) ::SetFocus(Handle());
      }
      return true;
    }
    case WM_LBUTTONUP:
      result = DefaultHandler(msg, wp, lp);
      ResetPress();
      return true;
    case WM_RBUTTONDOWN:
      if (Parent()) ::SetFocus(Handle());
      FPress = pt;
      FPressNode = NodeAt(pt);
      FPressTime = GetTickCount();
      HighlightNode(FPressNode);
      FHoverTimer->SetEnabled(false);
      FHoverTimer->SetEnabled(true);
      result = 0;
      return true;
    case WM_RBUTTONUP:
      HighlightNode(nullptr);
      FHoverTimer->SetEnabled(false);
      if (FPressNode) ShowNodeMenu(pt.x, pt.y, false, false);
      ResetPress();
      result = 0;
      return true;
    case WM_CONTEXTMENU:
      // Menus come from the button handlers and the menu key.
      result = 0;
      return true;
    case WM_MBUTTONDOWN:
      if (Options.MouseMiddle != 0) HighlightNode(NodeAt(pt));
      result = DefaultHandler(msg, wp, lp);
      return true;
    case WM_MBUTTONUP:
      HighlightNode(nullptr);
      result = DefaultHandler(msg, wp, lp);
      FHoverTimer->SetEnabled(false);
      if (Options.MouseMiddle != 0) ShowNodeMenu(pt.x, pt.y, true, false);
      ResetPress();
      return true;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP:
      if (!Options.XButtonSupport) return false;
      if (msg == WM_XBUTTONDOWN) {
        ::SetFocus(Handle());
      } else {
        // The extra buttons go back and forward.
        DoTreeKey(ssAlt, GET_XBUTTON_WPARAM(wp) == XBUTTON1 ? VK_LEFT : VK_RIGHT, 0);
      }
      result = TRUE;
      return true;
    case WM_MOUSEMOVE:
      result = DefaultHandler(msg, wp, lp);
      MouseMoved(wp, pt.x, pt.y);
      return true;
    case WM_LBUTTONDBLCLK: {
      result = DefaultHandler(msg, wp, lp);
      TTreeNode sel = Selected();
      RECT r = NodeTextRect(sel);
      if (sel && NodeAt(pt) == sel && PtInRect(&r, pt)) VerifySelection();
      return true;
    }
    case WM_KEYDOWN: {
      const TShiftState shift = KeyboardShiftState();
      WORD key = static_cast<WORD>(wp);
      const bool repeat = (lp & (1 << 30)) != 0;
      if (key == VK_SHIFT && !repeat && Options.HanShiftDrive && IsHangulMode(Handle())) SetHangulMode(false, Handle());
      // The keypad's *, +, - and / open and close branches as the tree view does.
      if (key == VK_MULTIPLY || key == VK_ADD || key == VK_SUBTRACT || key == VK_DIVIDE) {
        result = DefaultHandler(msg, wp, lp);
        return true;
      }
      const UINT scan = (static_cast<UINT>(lp) >> 16) & 0xFF;
      if (shift == 0 && scan == 43) key = VK_OEM_5;
      if (shift == 0 && scan == 57) key = VK_SPACE;
      const WORD left = DoTreeKey(shift, key, scan);
      if (!HandleAllocated()) return true;
      // A key the dispatcher left is the tree view's own (arrows, Home, End and the rest).
      if (left != 0) DefaultHandler(msg, wp, lp);
      result = 0;
      if (left == VK_RETURN && shift == 0) {
        TTreeNode sel = Selected();
        if (sel) TreeView_Expand(Handle(), sel, Expanded(sel) ? TVE_COLLAPSE : TVE_EXPAND);
      } else if (left == VK_APPS || (left == VK_F10 && shift == ssShift)) {
        MenuAtSelection();
      }
      return true;
    }
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(wp);
      const TShiftState shift = KeyboardShiftState();
      // Shift+F10 is the menu key's other form.
      if (DoTreeKey(shift, key, (static_cast<UINT>(lp) >> 16) & 0xFF) == VK_F10 && shift == ssShift &&
          HandleAllocated())
        MenuAtSelection();
      if (wp == VK_MENU || wp == VK_F10) {
        result = 0;
        return true;
      }
      return false;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (OnTreeKeyUp) {
        WORD key = static_cast<WORD>(wp);
        OnTreeKeyUp(key, KeyboardShiftState());
      }
      return false;
    case WM_CHAR: {
      const wchar_t ch = static_cast<wchar_t>(wp);
      if (ch == L'.') {
        GoUp();
      } else if (ch == L'\\') {
        GoRoot();
      } else if ((KeyboardShiftState() & ssShift) && std::iswalpha(ch)) {
        // Shift and a letter is the drive jump.
      } else if (ch >= 32) {
        result = DefaultHandler(msg, wp, lp);
      }
      return true;
    }
    case WM_GETDLGCODE:
      result = DefaultHandler(msg, wp, lp) | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
      return true;
    case WM_SETFOCUS:
      result = DefaultHandler(msg, wp, lp);
      if (OnFocus) OnFocus();
      return true;
    case WM_KILLFOCUS:
      result = DefaultHandler(msg, wp, lp);
      if (OnKillFocus) OnKillFocus();
      return true;
    default:
      return TMCustomFolderTree::WndProc(msg, wp, lp, result);
  }
}

// ---- Dropping ----

void TMFolderTree::DropEnter(TShiftState, POINT, DWORD&) {
  FShowDropMenu = (FDropTarget->RightButton() || Options.LeftDropMenu) ? 1 : 0;
  FSourceFolder = CommonFolder(FDropTarget->Files);
}

void TMFolderTree::DropEffect(TShiftState shift, POINT point, DWORD& effect) {
  // What the pointer rests on decides (the node selected in the tree does not).
  const DWORD source = FDropTarget->SourceEffects() ? FDropTarget->SourceEffects() : effect;
  const DWORD offered = source & (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);
  if (!offered) {
    effect = 0;
    HighlightNode(nullptr);
    return;
  }
  TTreeNode node = NodeAt(point, true);
  HighlightNode(node);
  std::wstring path = GetNodePath(node);
  if (!node || path.empty()) {
    effect = 0;
    return;
  }
  const TShiftState keys = shift & (ssShift | ssCtrl);
  if (keys == (ssShift | ssCtrl)) {
    effect = offered & DROPEFFECT_LINK;
  } else if (keys == ssShift) {
    effect = offered & DROPEFFECT_MOVE;
  } else if (keys == ssCtrl) {
    effect = offered & DROPEFFECT_COPY;
  } else if (!FSourceFolder.empty() && SamePathRoot(FSourceFolder, path) && (offered & DROPEFFECT_MOVE)) {
    effect = DROPEFFECT_MOVE;
  } else if (offered & DROPEFFECT_COPY) {
    effect = DROPEFFECT_COPY;
  } else if (offered & DROPEFFECT_MOVE) {
    effect = DROPEFFECT_MOVE;
  } else {
    effect = DROPEFFECT_LINK;
  }
}

void TMFolderTree::DropLeave() { HighlightNode(nullptr); }

bool TMFolderTree::DropStayCheck(POINT point) {
  TTreeNode node = NodeAt(point, true);
  return node && !Expanded(node) && HasChildren(node);
}

void TMFolderTree::DropStayTimer(POINT point) {
  TTreeNode node = NodeAt(point, true);
  if (node && !Expanded(node)) {
    FDropTarget->HideDragImage();
    ExpandWithoutUI(node);
    UpdateWindow(Handle());
    FDropTarget->ShowDragImage();
  }
}

void TMFolderTree::DropFiles(DWORD& effect, POINT point) {
  if (!OnDrop) {
    effect = 0;
    HighlightNode(nullptr);
    return;
  }
  TTreeNode target = DropHighlight();
  std::wstring folder = GetNodePath(target);
  if (!target || folder.empty()) {
    effect = 0;
    HighlightNode(nullptr);
    return;
  }
  folder = IncludeTrailingBackslash(folder);
  // Nothing goes onto the folder the files come from, nor into the first dropped folder.
  if (!FSourceFolder.empty() && FDropTarget->Files.Count() > 0 &&
      IsSameOrSubPath(FSourceFolder, folder, FileNameOf(ExcludeTrailingBackslash(FDropTarget->Files[0])), false)) {
    effect = 0;
    HighlightNode(nullptr);
    return;
  }
  effect &= 7;
  if (effect && FShowDropMenu) {
    const DWORD offered = FDropTarget->SourceEffects() ? FDropTarget->SourceEffects() : effect;
    POINT screen = point;
    ::ClientToScreen(Handle(), &screen);
    effect = ChooseDropEffect(Handle(), screen, effect, offered);
  }
  HighlightNode(nullptr);
  if (!effect) return;
  const int mode = effect == DROPEFFECT_COPY ? 0 : effect == DROPEFFECT_MOVE ? 1 : 2;
  TStringList files, mapped;
  files.AddStrings(FDropTarget->Files);
  // Names another program maps the files to keep only their last part.
  for (int i = 0; i < FDropTarget->MappedNames.Count(); ++i) mapped.Add(SafeMappedName(FDropTarget->MappedNames[i]));
  FDropTarget->Files.Clear();
  FDropTarget->MappedNames.Clear();
  if (mapped.Count() == 0) files.Sort();
  if (!OnDrop(folder, !FSourceFolder.empty(), mode, files, mapped)) effect = 0;
}

// ---- Installation ----

void InstallPanelFolderTree() {
  PanelFolderTreeFactory = [](TComponent* owner) -> TPanelFolderTree* { return new TMFolderTree(owner); };
  InstallFolderTreeCommands();
  // The folder tree command toggles the active panel's tree as its close button's message
  // does; the panel makes its tree when it is first shown.
  RegisterCommand(3000, [](TQ7XForm& form, TShiftState) {
    if (TPanelView* p = form.ActivePanel()) SendMessageW(form.Handle(), WM_PANELTREE, p->PanelNo(), 1);
  });
}
