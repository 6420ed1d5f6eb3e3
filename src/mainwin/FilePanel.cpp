#include "mainwin/FilePanel.h"

#include <algorithm>

#include "foundation/HLABEL.h"
#include "foundation/HanPopup.h"
#include "foundation/Language.h"
#include "foundation/Folders.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "framework/Forms.h"
#include "mainwin/Commands.h"
#include "mainwin/DriveBar.h"
#include "mainwin/MainMessages.h"
#include "panels/FileWin.h"
#include "panels/MIcon.h"

namespace {
// The close button at the right end of the path line: two crossed lines (no symbol font
// needed), a click asks the main form to close this panel.
class TPanelCloseButton : public TCustomControl {
 public:
  explicit TPanelCloseButton(TComponent* owner) : TCustomControl(owner) { FColor = clBtnFace; }
  std::function<void()> OnPress;

 protected:
  void Paint(TCanvas& canvas) override {
    RECT r = ClientRect();
    canvas.FillRect(r, clBtnFace);
    RECT frame = r;
    canvas.Frame3D(frame, FDown ? clBtnShadow : clBtnHighlight, FDown ? clBtnHighlight : clBtnShadow, 1);
    HDC dc = canvas.Handle();
    const TPenHandle pen(CreatePen(PS_SOLID, 2, ColorToRGB(clBtnText)));
    HGDIOBJ old = SelectObject(dc, pen.get());
    const int m = std::max<int>(4, (r.right - r.left) / 4);
    MoveToEx(dc, r.left + m, r.top + m, nullptr);
    LineTo(dc, r.right - m, r.bottom - m);
    MoveToEx(dc, r.right - m, r.top + m, nullptr);
    LineTo(dc, r.left + m, r.bottom - m);
    SelectObject(dc, old);
  }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    TCustomControl::MouseDown(button, shift, x, y);
    if (button != mbLeft) return;
    FDown = true;
    SetCapture(Handle());
    Invalidate();
  }
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
    TCustomControl::MouseUp(button, shift, x, y);
    if (!FDown) return;
    FDown = false;
    ReleaseCapture();
    Invalidate();
    RECT r = ClientRect();
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom && OnPress) OnPress();
  }

 private:
  bool FDown = false;
};
}  // namespace

TPanelView* CreateFilePanel(TComponent* owner) { return new TFilePanel(owner); }

TFilePanel::TFilePanel(TComponent* owner) : TPanelView(owner) {
  FColor = clBtnFace;
  FWin = new TFileWin(this, this, 1);
  FWin->SetAlign(alClient);
  TFileWin& w = *FWin;
  w.OnPartsChange = [this](TComponent*) {
    if (OnPartsChanged) OnPartsChanged(this);
  };
  w.OnListKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (OnListKeyDown) OnListKeyDown(this, key, shift);
  };
  w.OnListKeyUp = [this](TComponent*, WORD& key, TShiftState shift) {
    if (OnListKeyUp) OnListKeyUp(this, key, shift);
  };
  w.OnTreeKeyDown = w.OnListKeyDown;
  w.OnTreeKeyUp = w.OnListKeyUp;
  w.OnPanelActivate = [this](TFileWin*) {
    if (!FActive && OnPanelActivate) OnPanelActivate(this);
    if (!FActive) SetActive(true);
  };
  w.OnDefaultTreeSize = [this](TFileWin*) {
    if (OnDefaultTreeSize) OnDefaultTreeSize(this);
    return 0;
  };
  w.OnStatusClick = [this](TFileWin*, TMouseButton, int part) {
    if (OnStatusClick) OnStatusClick(this, part);
  };
  w.OnStateChange = [this](TFileWin*) {
    // The settings follow the folder shown (inside an archive: the folder that holds it).
    if (!List().Path.empty()) Options.PanelOptions(PanelNo()).Path = List().Path;
    MarkCurrentDrive();
    if (OnStateChanged) OnStateChanged(this);
  };
  w.OnQuickFind = [this](TFileWin*) {
    if (OnQuickFind) OnQuickFind(this, FWin->Box().SearchText());
  };
  w.OnContextPopup = [this](TFileWin*, POINT p) {
    if (OnContextPopup) OnContextPopup(this, p);
  };
  w.OnTreeMenu = [this](TFileWin*, POINT p) {
    if (OnTreeMenu) OnTreeMenu(this, p);
  };
  w.OnListDrop = [this](TFileWin*, const std::wstring& target, bool same, int mode, const TStringList& files,
                        const TStringList& mapped) {
    return OnListDrop ? OnListDrop(this, target, same, mode, files, mapped) : false;
  };
  // Files dropped on the folder tree go the way of those dropped on the list.
  w.OnFolderTreeDrop = [this](TFileWin*, const std::wstring& target, bool same, int mode, const TStringList& files,
                              const TStringList& mapped) {
    return OnListDrop ? OnListDrop(this, target, same, mode, files, mapped) : false;
  };
  w.OnListBeginDrag = [this](TFileWin*, bool right) {
    if (OnListBeginDrag) OnListBeginDrag(this, right);
  };
  w.List().OnOpenFile = [this](TMFList& list, int index) {
    if (!OnOpenFile) return false;
    OnOpenFile(this, list.Path + list.ItemName(index));
    return true;
  };
  // The drive bar belongs to the panel window, which frees it with its other parts.
  FDriveBar = new TDriveBar(FWin);
  FDriveBar->Name = L"DriveBar";
  FDriveBar->SetColor(Options.ToolBarColor);
  FDriveBar->OnDriveClick = [this](TToolButton* b) {
    const int index = b->Tag - 100;
    if (index >= 0 && index < 26) GoToDrive(static_cast<wchar_t>(L'A' + index));
  };
  FDriveBar->OnMouseUp = [this](TComponent*, TMouseButton button, TShiftState, int x, int y) {
    if (button == mbRight) DriveBarMenu(x, y);
  };
  w.SetDriveBar(FDriveBar);
}

TFilePanel::~TFilePanel() {
  // The panel window stops its list's workers before its parts go.
  delete FWin;
  FWin = nullptr;
}

TMFList& TFilePanel::List() { return FWin->List(); }
int TFilePanel::PanelNo() const { return FWin->PanelNo(); }

void TFilePanel::Setup(TSystemFileData* fileData, int panelNo, bool openStartFolder) {
  TMFList& l = FWin->List();
  if (TForm* form = GetParentForm(this)) {
    l.MainWnd = form->Handle();
    l.OwnerWnd = form->Handle();
  }
  FWin->Setup(fileData, panelNo, false);
  FDriveBar->RebuildDrives(-1);
  MarkCurrentDrive();
  const TFileWinOptions& rec = Options.PanelOptions(PanelNo());
  l.FileMask = DisplayFilterMask(rec.FilterType, rec.FileMask);
  ShowActiveState();
  if (openStartFolder) FirstLoad();
}

void TFilePanel::SetPanelNo(int no) {
  TMFList& l = FWin->List();
  l.PanelNo = no == 2 ? 2 : 1;
  l.LoadOptions();
  const TFileWinOptions& rec = Options.PanelOptions(PanelNo());
  l.FileMask = DisplayFilterMask(rec.FilterType, rec.FileMask);
  FWin->Box().ApplyOptions();
  FWin->ArrangeParts();
}

void TFilePanel::FirstLoad() {
  FWin->FirstLoad();
  if (!List().Path.empty()) Options.PanelOptions(PanelNo()).Path = List().Path;
}

void TFilePanel::SetActive(bool active) {
  if (FActive == active) return;
  FActive = active;
  ShowActiveState();
}

void TFilePanel::ShowActiveState() {
  // The active panel's path line is lit, the other's is plain.
  THanPathLabel& line = FWin->PathLine();
  line.SetColor(FActive ? clHighlight : clBtnFace);
  line.Font.SetColor(FActive ? clHighlightText : clBtnText);
  line.Invalidate();
  FWin->Box().PaintAll();
}

void TFilePanel::FocusPanel(bool treeFocus) {
  TControl* target = treeFocus && FWin->FolderTree() && FWin->FolderTree()->Visible()
                         ? FWin->FolderTree()
                         : static_cast<TControl*>(&FWin->Box());
  if (target->HandleAllocated() && IsWindowVisible(target->Handle())) ::SetFocus(target->Handle());
  if (!FActive) {
    SetActive(true);
    if (OnPanelActivate) OnPanelActivate(this);
  }
}

bool TFilePanel::FolderTreeFocused() const {
  TControl* tree = FWin->FolderTree();
  if (!tree || !tree->HandleAllocated() || !tree->Visible()) return false;
  HWND focus = GetFocus();
  return focus && (focus == tree->Handle() || IsChild(tree->Handle(), focus));
}

TPanelFolderTree* TFilePanel::CommandTree() const {
  TPanelFolderTree* tree = FWin->FolderTree();
  return tree && (FolderTreeFocused() || tree->HasCommandNode()) ? tree : nullptr;
}

void TFilePanel::EndTreeCommand() {
  if (TPanelFolderTree* tree = FWin->FolderTree()) tree->ClearCommandNode();
}

void TFilePanel::ArrangeParts() {
  TMFList& l = FWin->List();
  l.LoadOptions();
  const TFileWinOptions& rec = Options.PanelOptions(PanelNo());
  l.FileMask = DisplayFilterMask(rec.FilterType, rec.FileMask);
  FWin->Box().ApplyOptions();
  FWin->ArrangeParts();
  PlaceCloseButton();
  FWin->Box().PaintAll();
}

void TFilePanel::ShowCloseButton(bool show) {
  FCloseShown = show;
  if (show && !FClose) {
    auto* button = new TPanelCloseButton(this);
    button->OnPress = [this] {
      if (TForm* form = GetParentForm(this)) PostMessageW(form->Handle(), WM_PANELTREE, PanelNo(), 0);
    };
    FClose = button;
    FClose->SetParent(&FWin->PathLine());
  }
  PlaceCloseButton();
}

void TFilePanel::PlaceCloseButton() {
  if (!FClose) return;
  THanPathLabel& line = FWin->PathLine();
  const int h = std::max(8, line.Height() - 4);
  FClose->SetBounds(line.Width() - h - 2, 2, h, h);
  FClose->SetVisible(FCloseShown && line.Visible());
}

void TFilePanel::Resized() {
  TPanelView::Resized();
  PlaceCloseButton();
}

void TFilePanel::UpdatePathDisplay() {
  FWin->UpdatePathLine();
  FWin->UpdateStatusLine();
}

void TFilePanel::Reread() { FWin->List().Reread(); }

void TFilePanel::ChangeDir(const std::wstring& path) {
  if (path.empty()) return;
  FWin->List().ChangePath(path);
}

void TFilePanel::GetColumnWidths(int widths[6]) const {
  // The widths the user set (kept in the panel's record), not the room a narrow panel leaves.
  const TFileWinOptions& r = Options.PanelOptions(PanelNo());
  const int stored[6] = {r.NameWidth, r.ExtWidth, r.SizeWidth, r.TimeWidth, r.AttrWidth, r.TypeWidth};
  std::copy(stored, stored + 6, widths);
}

void TFilePanel::SetColumnWidths(const int widths[6]) {
  for (int c = 0; c < 6; ++c) FWin->Box().SetColumnWidth(THanFileBox::colName + c, widths[c]);
  FWin->Box().Relayout();
  FWin->RebuildHeader();
  FWin->Box().PaintAll();
}

bool TFilePanel::HasFolderTree() const { return FWin->FolderTree() != nullptr; }

void TFilePanel::LoadFolderTree() { FWin->LoadFolderTree(); }

void TFilePanel::RefreshTreeDrives(const std::wstring& root) {
  TPanelFolderTree* tree = FWin->FolderTree();
  if (!tree) return;
  if (root.empty())
    tree->RefreshDrives();
  else
    tree->RefreshDrive(root[0]);
}

void TFilePanel::TreeNotifyChange(int kind, const std::wstring& path, const std::wstring& newPath) {
  if (TPanelFolderTree* tree = FWin->FolderTree()) tree->NotifyChange(kind, path, newPath);
}

void TFilePanel::BeginTreeUpdate() {
  if (TPanelFolderTree* tree = FWin->FolderTree()) tree->BeginNotifyBuffer();
}

void TFilePanel::EndTreeUpdate() {
  if (TPanelFolderTree* tree = FWin->FolderTree()) tree->EndNotifyBuffer();
}

void TFilePanel::SetTreeSize(int size) { FWin->SetTreeSize(size); }

int TFilePanel::TreeSize() const { return FWin->TreeSize(); }

void TFilePanel::NotifyShellPath(const std::wstring& path) { FWin->ShellPathChanged(path); }

void TFilePanel::ExpandTreePath(const std::wstring& path) {
  if (TPanelFolderTree* tree = FWin->FolderTree()) tree->ExpandPath(path);
}

void TFilePanel::ApplyTreeOptions() {
  if (TPanelFolderTree* tree = FWin->FolderTree()) tree->ApplyOptions();
}

void TFilePanel::PlaceDriveBar(bool top) {
  Options.PanelOptions(PanelNo()).DriveBarTop = top;
  FWin->ArrangeParts();
}

bool TFilePanel::DriveBarTop() const { return Options.PanelOptions(PanelNo()).DriveBarTop; }

void TFilePanel::RefreshDriveBar() {
  FDriveBar->RebuildDrives(-1);
  MarkCurrentDrive();
  FWin->ArrangeParts();
}

void TFilePanel::MarkCurrentDrive() {
  const std::wstring& path = List().Path;
  const bool drive = path.size() >= 2 && path[1] == L':' && iswalpha(path[0]);
  FDriveBar->SetCurrentDrive(drive ? towupper(path[0]) : L'\0');
}

void TFilePanel::GoToDrive(wchar_t letter) {
  letter = towupper(letter);
  if (letter < L'A' || letter > L'Z') return;
  const std::wstring root = std::wstring(1, letter) + L":\\";
  std::wstring dir;
  CurrentDirs.GetDir(root, dir);
  // A drive without its medium (or gone) leaves the panel where it was.
  if (!(!dir.empty() && List().ChangePath(dir)) && !List().ChangePath(root)) MessageBeep(MB_OK);
  MarkCurrentDrive();
  FocusPanel(false);
}

void TFilePanel::DriveBarMenu(int x, int y) {
  THanPopupMenu menu(this);
  // The drive chooser, and the bar's place (the other panel's bar follows it).
  menu.Add(LoadMessageText(6002), [this](TMenuItemRec&) {
    if (List().OnDriveChooser) List().OnDriveChooser(List());
  });
  TMenuItemRec& top = menu.Add(LoadMessageText(6031), [this](TMenuItemRec&) {
    PlaceDriveBar(!DriveBarTop());
    if (TForm* form = GetParentForm(this)) PostMessageW(form->Handle(), WM_SYNCDRIVEBAR, PanelNo(), 0);
  });
  top.Checked = DriveBarTop();
  POINT p = FDriveBar->ClientToScreen(POINT{x, y});
  menu.Popup(p.x, p.y, FDriveBar->Handle());
}

bool TFilePanel::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_SETFOCUS:
      // The panel itself takes no keys: its list does.
      FocusPanel(false);
      result = 0;
      return true;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_CHAR:
      // Keys addressed to the panel are the list's.
      if (FWin->Box().HandleAllocated()) result = SendMessageW(FWin->Box().Handle(), msg, wp, lp);
      return true;
    default: return TPanelView::WndProc(msg, wp, lp, result);
  }
}

void TFilePanel::Paint(TCanvas&) {
  // The panel window covers this one whole: a repaint asked of the panel is a repaint of its
  // parts.
  if (FWin->HandleAllocated())
    RedrawWindow(FWin->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_ERASE);
}
