#include "mainwin/BasicPanel.h"

#include <algorithm>

#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "framework/Forms.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/MainMessages.h"
#include "panels/MIcon.h"

// The list with its screen hooks pointed at the panel.
class TBasicPanel::TList : public TMFList {
 public:
  TList(TBasicPanel& owner, int panelNo) : TMFList(panelNo), FOwner(owner) {}

 protected:
  void EndUpdate() override { FOwner.Invalidate(); }
  void ScrollIntoView(int index) override { FOwner.MoveFocus(index); }
  void InvalidateItem(int) override { FOwner.Invalidate(); }

 private:
  TBasicPanel& FOwner;
};

namespace {
constexpr int kLineHeight = 18;

std::wstring DateText(TDateTime t) {
  int y, mo, d, h, mi, s, ms;
  if (t == 0 || !DecodeDateTime(t, y, mo, d, h, mi, s, ms)) return L"";
  wchar_t buf[32];
  swprintf(buf, 32, L"%04d-%02d-%02d %02d:%02d", y, mo, d, h, mi);
  return buf;
}
}  // namespace

TBasicPanel::TBasicPanel(TComponent* owner) : TPanelView(owner), FList(std::make_unique<TList>(*this, 1)) {
  TabStop = true;
  FList->OnListChange = [this](TMFList&) { ListChanged(); };
}

TBasicPanel::~TBasicPanel() { FList->StopWorkers(); }

TPanelView* CreateBasicPanel(TComponent* owner) { return new TBasicPanel(owner); }

TMFList& TBasicPanel::List() { return *FList; }
int TBasicPanel::PanelNo() const { return FList->PanelNo; }

void TBasicPanel::Setup(TSystemFileData* fileData, int panelNo, bool openStartFolder) {
  SetPanelNo(panelNo);
  FList->FileTypes = fileData;
  if (TForm* form = GetParentForm(this)) {
    FList->MainWnd = form->Handle();
    FList->OwnerWnd = form->Handle();
  }
  const TFileWinOptions& rec = Options.PanelOptions(PanelNo());
  FDriveBarTop = rec.DriveBarTop;
  FWidths[0] = rec.NameWidth, FWidths[1] = rec.ExtWidth, FWidths[2] = rec.SizeWidth;
  FWidths[3] = rec.TimeWidth, FWidths[4] = rec.AttrWidth, FWidths[5] = rec.TypeWidth;
  FList->Path = rec.Path;
  if (FList->Path.empty() || !FolderExists(FList->Path)) FList->Path = GetCurrentDir();
  FList->Path = IncludeTrailingBackslash(FList->Path);
  if (openStartFolder) FirstLoad();
}

void TBasicPanel::SetPanelNo(int no) {
  FList->PanelNo = no == 2 ? 2 : 1;
  FList->LoadOptions();
  const TFileWinOptions& rec = Options.PanelOptions(PanelNo());
  FList->FileMask = DisplayFilterMask(rec.FilterType, rec.FileMask);
}

void TBasicPanel::FirstLoad() {
  if (FList->FileTypes && !static_cast<TSystemFileData*>(FList->FileTypes)->Loaded) FList->FileTypes->Load();
  FList->Refresh();
  FList->ItemIndex = FList->Count() > 0 ? 0 : -1;
  FTopIndex = 0;
  Invalidate();
}

void TBasicPanel::ListChanged() {
  Options.PanelOptions(PanelNo()).Path = FList->Path;
  Invalidate();
  if (OnStateChanged) OnStateChanged(this);
}

void TBasicPanel::SetActive(bool active) {
  if (FActive == active) return;
  FActive = active;
  Invalidate();
}

void TBasicPanel::FocusPanel(bool) {
  if (HandleAllocated() && IsWindowVisible(Handle())) ::SetFocus(Handle());
  if (!FActive) {
    FActive = true;
    Invalidate();
    if (OnPanelActivate) OnPanelActivate(this);
  }
}

void TBasicPanel::ShowCloseButton(bool show) {
  FCloseButton = show;
  Invalidate();
}

void TBasicPanel::Reread() { FList->Reread(); }

void TBasicPanel::ChangeDir(const std::wstring& path) {
  if (path.empty()) return;
  const std::wstring old = FList->Path;
  FList->Path = IncludeTrailingBackslash(path);
  FList->InArchive = false;
  FList->Refresh();
  if (FList->PathNotFound) {
    FList->Path = old;
    FList->Refresh();
    return;
  }
  FList->FolderHistory.push_back(FList->Path);
  FList->ItemIndex = FList->Count() > 0 ? 0 : -1;
  FTopIndex = 0;
  Invalidate();
}

void TBasicPanel::GetColumnWidths(int widths[6]) const { std::copy(FWidths, FWidths + 6, widths); }

void TBasicPanel::SetColumnWidths(const int widths[6]) {
  std::copy(widths, widths + 6, FWidths);
  Invalidate();
}

void TBasicPanel::PlaceDriveBar(bool top) {
  FDriveBarTop = top;
  Invalidate();
}

int TBasicPanel::RowHeight() const { return kLineHeight + Options.PanelOptions(PanelNo()).ItemSpace; }

int TBasicPanel::ListTop() const {
  return (Options.PanelOptions(PanelNo()).Parts & ppPathLine) ? kLineHeight + 2 : 0;
}

int TBasicPanel::VisibleRows() const {
  int bottom = ClientHeight() - ((Options.PanelOptions(PanelNo()).Parts & ppStatusLine) ? kLineHeight + 2 : 0);
  return std::max(1, (bottom - ListTop()) / RowHeight());
}

RECT TBasicPanel::CloseButtonRect() const {
  if (!FCloseButton) return RECT{0, 0, 0, 0};
  int w = ClientWidth();
  return RECT{w - kLineHeight, 1, w - 2, kLineHeight - 1};
}

void TBasicPanel::MoveFocus(int index) {
  if (FList->Count() == 0) {
    FList->ItemIndex = -1;
    return;
  }
  index = std::clamp(index, 0, FList->Count() - 1);
  FList->ItemIndex = index;
  int rows = VisibleRows();
  if (index < FTopIndex) FTopIndex = index;
  if (index >= FTopIndex + rows) FTopIndex = index - rows + 1;
  Invalidate();
}

void TBasicPanel::GoUp() {
  if (FList->Path.size() <= 3) return;
  std::wstring child = ExcludeTrailingBackslash(FList->Path);
  std::wstring name = child.substr(child.find_last_of(L'\\') + 1);
  ChangeDir(ExtractParentDir(FList->Path));
  for (int i = 0; i < FList->Count(); ++i) {
    if (SameTextI(FList->ItemName(i), name)) {
      MoveFocus(i);
      break;
    }
  }
}

void TBasicPanel::OpenFocused() {
  int i = FList->ItemIndex;
  if (i < 0 || i >= FList->Count()) return;
  const TFileBoxItem& item = *FList->GetItem(i);
  if (IsParentItem(item)) {
    GoUp();
  } else if (item.Kind == ikFolder) {
    ChangeDir(FList->Path + FList->ItemName(i));
  } else if (IsDriveEntry(item)) {
    ChangeDir(std::wstring(1, item.Name[3]) + L":\\");
  } else if (OnOpenFile) {
    OnOpenFile(this, FList->Path + FList->ItemName(i));
  }
}

bool TBasicPanel::HandleKey(WORD key, TShiftState shift) {
  if (shift & (ssAlt | ssCtrl)) return false;
  const int rows = VisibleRows();
  switch (key) {
    case VK_UP: MoveFocus(FList->ItemIndex - 1); return true;
    case VK_DOWN: MoveFocus(FList->ItemIndex + 1); return true;
    case VK_PRIOR: MoveFocus(FList->ItemIndex - rows); return true;
    case VK_NEXT: MoveFocus(FList->ItemIndex + rows); return true;
    case VK_HOME: MoveFocus(0); return true;
    case VK_END: MoveFocus(FList->Count() - 1); return true;
    case VK_RETURN: OpenFocused(); return true;
    case VK_BACK:
      if (Options.BSUpDir) GoUp();
      return true;
    case VK_INSERT:
    case VK_SPACE: {
      int i = FList->ItemIndex;
      if (i >= 0 && i < FList->Count() && !IsParentItem(*FList->GetItem(i)) && FList->GetItem(i)->Kind != ikDrive) {
        FList->SetSelected(i, FList->GetItem(i)->SelOrder == 0);
        if (OnStateChanged) OnStateChanged(this);
      }
      if (key == VK_INSERT) MoveFocus(i + 1);
      Invalidate();
      return true;
    }
    default: return false;
  }
}

bool TBasicPanel::WndProc(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_GETDLGCODE:
      result = DLGC_WANTARROWS | DLGC_WANTCHARS | (wp == VK_RETURN ? DLGC_WANTMESSAGE : 0);
      return true;
    case WM_SETFOCUS:
      if (!FActive) {
        FActive = true;
        if (OnPanelActivate) OnPanelActivate(this);
      }
      Invalidate();
      return false;
    case WM_KILLFOCUS: Invalidate(); return false;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(wp);
      TShiftState shift = KeyboardShiftState();
      if (OnListKeyDown) OnListKeyDown(this, key, shift);
      if (key != 0 && !HandleKey(key, shift)) return false;
      result = 0;
      return true;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(wp);
      if (OnListKeyUp) OnListKeyUp(this, key, KeyboardShiftState());
      return false;
    }
    case WM_MOUSEWHEEL: {
      int delta = static_cast<short>(HIWORD(wp));
      FTopIndex = std::clamp(FTopIndex - delta / WHEEL_DELTA * 3, 0, std::max(0, FList->Count() - 1));
      Invalidate();
      return true;
    }
    default: return TPanelView::WndProc(msg, wp, lp, result);
  }
}

void TBasicPanel::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  RECT close = CloseButtonRect();
  if (FCloseButton && x >= close.left && x < close.right && y >= close.top && y < close.bottom) {
    if (TForm* form = GetParentForm(this)) PostMessageW(form->Handle(), WM_PANELTREE, PanelNo(), 0);
    return;
  }
  FocusPanel(false);
  if (y >= ListTop()) {
    int index = FTopIndex + (y - ListTop()) / RowHeight();
    if (index < FList->Count()) MoveFocus(index);
  }
  TPanelView::MouseDown(button, shift, x, y);
}

void TBasicPanel::DblClick() { OpenFocused(); }

void TBasicPanel::Paint(TCanvas& canvas) {
  const RECT client = ClientRect();
  const int w = client.right;
  // One memory bitmap per paint, then one copy to the screen.
  HDC screen = canvas.Handle();
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, std::max<LONG>(1, client.right), std::max<LONG>(1, client.bottom));
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  {
    TCanvas c(dc);
    c.Font = Font;
    const TFileWinOptions& rec = Options.PanelOptions(PanelNo());
    c.FillRect(client, Options.BackColor);
    int top = 0;
    if (rec.Parts & ppPathLine) {
      RECT r{0, 0, w, kLineHeight};
      c.FillRect(r, FActive ? clHighlight : clBtnFace);
      c.Font.SetColor(FActive ? clHighlightText : clBtnText);
      RECT t{4, 1, w - kLineHeight - 2, kLineHeight};
      c.DrawText(FList->Path, t, DT_SINGLELINE | DT_VCENTER | DT_PATH_ELLIPSIS | DT_NOPREFIX);
      if (FCloseButton) {
        RECT b = CloseButtonRect();
        c.FillRect(b, clBtnFace);
        RECT frame = b;
        c.Frame3D(frame, clBtnHighlight, clBtnShadow, 1);
        c.Font.SetColor(clBtnText);
        c.DrawText(L"x", b, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
      }
      top = ListTop();
    }
    const int rowH = RowHeight();
    const int rows = VisibleRows();
    const int nameW = std::max(FWidths[0] + FWidths[1], w / 2);
    for (int row = 0; row < rows; ++row) {
      int i = FTopIndex + row;
      if (i >= FList->Count()) break;
      const TFileBoxItem& item = *FList->GetItem(i);
      RECT r{0, top + row * rowH, w, top + (row + 1) * rowH};
      bool focus = i == FList->ItemIndex && FActive;
      if (focus) c.FillRect(r, Options.SelColor == clNone ? clHighlight : RGBColor(0, 0, 128));
      std::wstring name;
      FList->Items().GetDisplayName(i, name);
      TColor color = item.SelOrder ? Options.SelColor
                     : item.Kind == ikFolder ? Options.DirColor
                     : item.Kind == ikDrive  ? Options.DrvColor
                                             : (item.Color ? item.Color : Options.NormalColor);
      c.Font.SetColor(color);
      RECT nr{4, r.top, nameW, r.bottom};
      c.DrawText(name, nr, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
      std::wstring size = IsParentItem(item)         ? L"[위로]"
                          : item.Kind == ikFolder    ? L"[폴더]"
                          : item.Kind == ikDrive     ? item.DateText
                                                     : FormatThousands(item.Size);
      RECT sr{nameW, r.top, nameW + FWidths[2] + 20, r.bottom};
      c.DrawText(size, sr, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
      RECT dr{sr.right + 8, r.top, w - 2, r.bottom};
      if (item.Kind != ikDrive) c.DrawText(DateText(item.Time), dr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    if (rec.Parts & ppStatusLine) {
      RECT r{0, client.bottom - kLineHeight, w, client.bottom};
      c.FillRect(r, clBtnFace);
      c.Font.SetColor(clBtnText);
      int files = FList->Count() - FList->FolderCount - FList->DriveCount;
      std::wstring text = FormatThousands(FList->FolderCount) + L" 폴더, " + FormatThousands(files) + L" 파일, " +
                          FormatThousands(FList->TotalSize) + L" 바이트";
      if (FList->SelCount > 0) text = FormatThousands(FList->SelCount) + L" 선택, " + text;
      RECT t{4, r.top, w - 4, r.bottom};
      c.DrawText(text, t, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
  }
  BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  SelectObject(dc, oldBmp);
  DeleteObject(bmp);
  DeleteDC(dc);
}
