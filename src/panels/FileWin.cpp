#include "panels/FileWin.h"

#include <algorithm>

#include "foundation/HLABEL.h"
#include "foundation/HSplit.h"
#include "foundation/Language.h"
#include "foundation/MHeader.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/ToolBtn.h"
#include "framework/TextCompare.h"
#include "panels/MIcon.h"
#include "panels/PanelDrop.h"

TPanelFolderTreeFactory PanelFolderTreeFactory;

// ---- Status line ----

TPanelStatusLine::TPanelStatusLine(TComponent* owner) : TCustomControl(owner) {
  FHeight = 20;
  FColor = clBtnFace;
}

void TPanelStatusLine::SetParts(const std::vector<std::wstring>& parts) {
  if (parts == FParts) return;
  FParts = parts;
  Invalidate();
}

int TPanelStatusLine::PartAt(int x) const {
  for (size_t i = 0; i < FEdges.size(); ++i)
    if (x < FEdges[i]) return static_cast<int>(i);
  return -1;
}

void TPanelStatusLine::Paint(TCanvas& canvas) {
  RECT all = ClientRect();
  canvas.FillRect(all, FColor);
  canvas.Font = Font;
  canvas.Font.SetColor(clBtnText);
  FEdges.clear();
  // Each part as wide as its text, the last one takes the rest; sunken frames.
  int x = 0;
  for (size_t i = 0; i < FParts.size(); ++i) {
    int w = canvas.TextWidth(FParts[i]) + 12;
    int right = i + 1 == FParts.size() ? std::max<int>(all.right, x + w) : x + w;
    RECT r{x, 0, right, static_cast<int>(all.bottom)};
    RECT frame = r;
    canvas.Frame3D(frame, clBtnShadow, clBtnHighlight, 1);
    RECT text{r.left + 5, r.top, r.right - 3, r.bottom};
    canvas.DrawText(FParts[i], text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    FEdges.push_back(right);
    x = right + 2;
  }
}

void TPanelStatusLine::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  int part = PartAt(x);
  if (part >= 0 && OnPartClick) OnPartClick(this, button, part);
}

// ---- Panel window ----

TFileWin::TFileWin(TComponent* owner, TControl* parent, int panelNo)
    : TPanel(owner), FList(std::make_unique<TMFList>(panelNo)) {
  FWidth = 400;
  FHeight = 300;
  FColor = clBtnFace;
  FPathLine = new THanPathLabel(this);
  FPathLine->SetAlign(alTop);
  FHeader = new THanHeaderControl(this);
  FHeader->SetAlign(alTop);
  FStatus = new TPanelStatusLine(this);
  FStatus->SetAlign(alBottom);
  FBox = new THanFileBox(this, *FList);
  FBox->SetAlign(alClient);
  if (parent) SetParent(parent);
  FPathLine->SetParent(this);
  FHeader->SetParent(this);
  FStatus->SetParent(this);
  FBox->SetParent(this);

  FList->OnListChange = [this](TMFList&) {
    TreeFollowList();
    UpdatePathLine();
    UpdateStatusLine();
    if (OnStateChange) OnStateChange(this);
  };
  FBox->OnStateChange = [this](THanFileBox& box) {
    UpdateStatusLine();
    if (!box.SearchText().empty() && OnQuickFind) OnQuickFind(this);
    if (OnStateChange) OnStateChange(this);
  };
  FBox->OnKeyDown = [this](TComponent*, WORD& key, TShiftState shift) {
    if (OnListKeyDown) OnListKeyDown(this, key, shift);
  };
  FBox->OnKeyUp = [this](TComponent*, WORD& key, TShiftState shift) {
    if (OnListKeyUp) OnListKeyUp(this, key, shift);
  };
  FBox->OnFocusChange = [this](THanFileBox&, bool got) {
    if (got && OnPanelActivate) OnPanelActivate(this);
  };
  FBox->OnContextPopup = [this](THanFileBox&, POINT p) {
    if (OnContextPopup) OnContextPopup(this, p);
  };
  FBox->OnLayout = [this](THanFileBox&) { RebuildHeader(); };
  FListDrop = new TListDropLink(this, *FBox, *FList, [this](POINT p) { return FBox->ItemAtPos(p.x, p.y); });
  FListDrop->OnDrop = [this](const std::wstring& target, bool same, int mode, const TStringList& files,
                             const TStringList& mapped) {
    return OnListDrop ? OnListDrop(this, target, same, mode, files, mapped) : false;
  };
  FBox->OnBeginDrag = [this](THanFileBox&, bool right) {
    if (OnListBeginDrag) OnListBeginDrag(this, right);
  };
  FHeader->OnDrawSection = [this](TMHeaderControl*, TCanvas& canvas, int section, const RECT& rect, bool pressed) {
    const bool sorted = SectionSortKey(section) == FList->SortKey;
    FHeader->DrawSection(canvas, section, rect, FList->Ascending(), sorted, pressed ? 1 : 0);
  };
  FHeader->OnSectionClick = [this](TMHeaderControl*, int section) {
    // The key's own column turns the direction; another column sorts ascending by it.
    TSortKey key = SectionSortKey(section);
    if (key == skNone) return;
    FList->SetSort(key, key == FList->SortKey ? !FList->Ascending() : true);
    RebuildHeader();
    if (OnStateChange) OnStateChange(this);
  };
  FHeader->OnSectionResize = [this](TMHeaderControl*, int section) {
    if (FBuildingHeader || !FHeader->ValidSection(section)) return;
    const int col = FHeader->Sections(section).Tag;
    int width = FHeader->Sections(section).Width;
    // The first section also holds the mark and the icon, and the gap a filled name takes.
    if (col == THanFileBox::colName)
      width -= FBox->GetColumnX(THanFileBox::colName) + FBox->ColumnGap();
    FBox->SetColumnWidth(col, std::max(0, width));
    if (Options.DupHeaderSize && FList->MainWnd)
      PostMessageW(FList->MainWnd, WM_DUPHEADERSIZE, static_cast<WPARAM>(FList->PanelNo), 0);
  };
  FStatus->OnPartClick = [this](TPanelStatusLine*, TMouseButton button, int part) {
    if (OnStatusClick) OnStatusClick(this, button, part);
  };
  FPathLine->OnPartMouseUp = [this](THanPathLabel*, TMouseButton, int part) {
    if (OnPathClick) OnPathClick(this, part);
  };
  ArrangeParts();
}

TFileWin::~TFileWin() {
  // The drop target goes first: no drop may reach a window that is being taken down.
  delete FListDrop;
  FListDrop = nullptr;
  // The tree moves the list: it goes before the list.
  delete FTreeSplit;
  FTreeSplit = nullptr;
  delete FTree;
  FTree = nullptr;
  // The workers call back into the list and through it into the box: they end first.
  FList->StopWorkers();
  FList->OnListChange = nullptr;
  FList->View = nullptr;
  delete FBox;
  FBox = nullptr;
}

void TFileWin::Setup(TSystemFileData* fileData, int panelNo, bool openStartFolder) {
  FList->FileTypes = fileData;
  if (fileData) fileData->IconAnalysis = Options.IconAnalysis;
  FList->PanelNo = panelNo == 2 ? 2 : 1;
  FList->LoadOptions();
  FBox->ApplyOptions();
  ArrangeParts();
  FListDrop->Attach();
  if (openStartFolder) FirstLoad();
}

void TFileWin::FirstLoad() {
  const TFileWinOptions& panel = Options.PanelOptions(FList->PanelNo);
  std::wstring path = panel.Path;
  if (path.empty() || !FolderExists(path)) path = GetCurrentDir();
  if (path.empty() || !FolderExists(path)) path = L"C:\\";
  if (SystemFileData && !SystemFileData->Loaded && FList->FileTypes == SystemFileData) SystemFileData->Load();
  FList->Path = IncludeTrailingBackslash(path);
  FBox->BeginUpdate();
  FList->Refresh();
  FList->ItemIndex = FList->Count() > 0 ? 0 : -1;
  FBox->EndUpdate();
  FBox->ScrollIntoView(FList->ItemIndex);
  TreeFollowList();
  UpdatePathLine();
  UpdateStatusLine();
}

void TFileWin::ArrangeParts() {
  const int32_t parts = Options.PanelOptions(FList->PanelNo).Parts;
  DisableAlign();
  const int lineH = std::max<int>(18, FBox->TextExtent(L"Ag").cy + 6);
  FPathLine->SetHeight(lineH);
  FStatus->SetHeight(lineH);
  FPathLine->SetVisible((parts & fpPathLine) != 0);
  FHeader->SetHeight(lineH + 2);
  FHeader->SetVisible((parts & fpHeader) != 0 && FBox->ItemWidth() == 0);
  FStatus->SetVisible((parts & fpStatusLine) != 0);
  if ((parts & fpFolderTree) && !FTree) LoadFolderTree();
  if (FTree) {
    const TFileWinOptions& panel = Options.PanelOptions(FList->PanelNo);
    static const TAlign sides[4] = {alLeft, alTop, alRight, alBottom};
    const TAlign side = sides[std::clamp<int32_t>(panel.FTreeAlign, 0, 3)];
    const bool show = (parts & fpFolderTree) != 0;
    FTree->SetAlign(side);
    FTreeSplit->SetAlign(side);
    FTreeSplit->SetSide(side);
    // Placed past the path line and the header (or before the status line) and the bar past
    // the tree, so that the alignment keeps them in this order.
    const int kFar = 30000;
    switch (side) {
      case alTop:
        FTree->SetBounds(0, kFar, Width(), std::max(0, panel.FTreeHeight));
        FTreeSplit->SetBounds(0, kFar + std::max(0, panel.FTreeHeight) + 1, Width(), 3);
        break;
      case alBottom:
        FTree->SetBounds(0, -kFar, Width(), std::max(0, panel.FTreeHeight));
        FTreeSplit->SetBounds(0, -kFar - 3, Width(), 3);
        break;
      case alRight:
        FTree->SetBounds(Width() - std::max(0, panel.FTreeWidth), 0, std::max(0, panel.FTreeWidth), Height());
        FTreeSplit->SetBounds(Width() - std::max(0, panel.FTreeWidth) - 3, 0, 3, Height());
        break;
      default:
        FTree->SetBounds(0, 0, std::max(0, panel.FTreeWidth), Height());
        FTreeSplit->SetBounds(std::max(0, panel.FTreeWidth) + 1, 0, 3, Height());
        break;
    }
    // A tree that goes while it has the keys hands them to the list.
    if (!show && FTree->HandleAllocated() && GetFocus() == FTree->Handle() && FBox->HandleAllocated())
      ::SetFocus(FBox->Handle());
    FTree->SetVisible(show);
    FTreeSplit->SetVisible(show);
  }
  if (FDriveBar) {
    const bool top = Options.PanelOptions(FList->PanelNo).DriveBarTop;
    FDriveBar->SetAlign(top ? alTop : alBottom);
    // First of the top side (above the path line) or last of the bottom one (below the status
    // line): each side keeps the order its controls stand in.
    FDriveBar->SetTop(top ? -1 : FHeight + 1);
    FDriveBar->SetWrapable(Options.ToolBarWrap);
    FDriveBar->SetVisible((parts & fpDriveBar) != 0);
  }
  EnableAlign();
  Realign();
  if (FTree && FTreeSplit && FTree->Visible()) {
    FTreeSplit->PlaceBar();
    Realign();
  }
  FitDriveBar();
  TreeFollowList();
}

void TFileWin::FitDriveBar() {
  // The bar wraps its buttons for the width it was given and takes the rows' height; the
  // other parts then move to make room.
  if (!FDriveBar || !FDriveBar->Visible()) return;
  const int before = FDriveBar->Height();
  FDriveBar->Relayout();
  if (FDriveBar->Height() != before) Realign();
}

void TFileWin::SetPart(int32_t bit, bool on) {
  int32_t& parts = Options.PanelOptions(FList->PanelNo).Parts;
  int32_t next = on ? (parts | bit) : (parts & ~bit);
  if (next == parts) return;
  parts = next;
  ArrangeParts();
  if (OnPartsChange) OnPartsChange(this);
}

void TFileWin::AlignFinished() {
  // A tree at the side reaches up to the path line: the column header stands over the list
  // alone, where its sections belong.
  if (!FTree || !FTree->Visible() || !FHeader->Visible() || TreeAtTopOrBottom()) return;
  const int top = FHeader->Top(), h = FHeader->Height();
  FTree->SetBounds(FTree->Left(), top, FTree->Width(), FTree->Height() + h);
  if (FTreeSplit && FTreeSplit->Visible())
    FTreeSplit->SetBounds(FTreeSplit->Left(), top, FTreeSplit->Width(), FTreeSplit->Height() + h);
  FHeader->SetBounds(FBox->Left(), top, FBox->Width(), h);
}

void TFileWin::Resized() {
  TPanel::Resized();
  Realign();
  FitDriveBar();
}

TSortKey TFileWin::SectionSortKey(int section) const {
  if (!FHeader->ValidSection(section)) return skNone;
  switch (FHeader->Sections(section).Tag) {
    case THanFileBox::colName: return skName;
    case THanFileBox::colExt: return skExt;
    case THanFileBox::colSize: return skSize;
    case THanFileBox::colDate: return skDate;
    case THanFileBox::colAttr: return skAttr;
    case THanFileBox::colType: return skDesc;
    default: return skNone;
  }
}

void TFileWin::RebuildHeader() {
  if (!FHeader || FBuildingHeader) return;
  FBuildingHeader = true;
  std::vector<THeaderSection> sections;
  if (FBox->ItemWidth() == 0) {
    const uint32_t mask = FBox->ColumnMask();
    auto add = [&](int col, int msg, int width, TSectionAlignment align) {
      THeaderSection s;
      s.Text = LoadMessageText(msg);
      s.Width = width;
      s.Tag = col;
      s.Alignment = align;
      s.OwnerDraw = true;
      sections.push_back(s);
    };
    add(THanFileBox::colName, 4011, FBox->RightEdge(THanFileBox::colName) + FBox->ColumnGap(), saLeft);
    if (mask & THanFileBox::cmExt) add(THanFileBox::colExt, 4012, FBox->GetColumnWidth(THanFileBox::colExt), saLeft);
    if (mask & THanFileBox::cmSize)
      add(THanFileBox::colSize, 4013, FBox->GetColumnWidth(THanFileBox::colSize), saRight);
    if (mask & THanFileBox::cmDate) add(THanFileBox::colDate, 4014, FBox->GetColumnWidth(THanFileBox::colDate), saLeft);
    if (mask & THanFileBox::cmAttr) add(THanFileBox::colAttr, 4015, FBox->GetColumnWidth(THanFileBox::colAttr), saLeft);
    if (mask & THanFileBox::cmType)
      add(THanFileBox::colType, FBox->TypeView == 1 ? 4017 : 4016, FBox->GetColumnWidth(THanFileBox::colType), saLeft);
  }
  const bool changed = FHeader->SetSections(sections);
  const bool show = (Options.PanelOptions(FList->PanelNo).Parts & fpHeader) != 0 && FBox->ItemWidth() == 0;
  if (show != FHeader->Visible()) FHeader->SetVisible(show);
  // The sections draw the sort mark themselves: a new key or direction repaints them even
  // when the sections stay as they were (the header repaints itself for changed sections).
  const int sortMark = static_cast<int>(FList->SortKey) * 2 + (FList->Ascending() ? 1 : 0);
  if (changed || sortMark != FHeaderSortMark) FHeader->Invalidate();
  FHeaderSortMark = sortMark;
  FBuildingHeader = false;
}

void TFileWin::UpdatePathLine() {
  std::wstring shown = FList->Path;
  if (FList->InArchive) shown = FList->Path + FList->ArcFileName + L"\\" + FList->ArcPath;
  FPathLine->SetPath(shown);
  const std::wstring& mask = FList->FileMask;
  FPathLine->SetInfo(mask.empty() || mask == L"*.*" || mask == L"*" ? L"" : L" [" + mask + L"]");
}

void TFileWin::UpdateStatusLine() {
  const TMFList& l = *FList;
  const int folders = l.FolderCount - (l.Count() > 0 && IsParentItem(*l.GetItem(0)) ? 1 : 0);
  const int files = l.Items().FileCount();
  std::vector<std::wstring> parts;
  if (!FBox->SearchText().empty()) {
    parts.push_back(LoadMessageText(5001) + L": " + FBox->SearchText());
  } else {
    parts.push_back(FormatThousands(files) + L" " + LoadMessageText(4003) + L", " + FormatThousands(folders) + L" " +
                    LoadMessageText(4004) + L", " + FormatThousands(l.TotalSize) + L" " + LoadMessageText(4121));
  }
  int selFolders = 0, selFiles = 0;
  int64_t selBytes = 0;
  l.SelectionTotals(selFolders, selFiles, selBytes);
  std::wstring sel = LoadMessageText(4005) + L" " + FormatThousands(selFiles) + L" " + LoadMessageText(4003);
  if (selFolders > 0) sel += L", " + FormatThousands(selFolders) + L" " + LoadMessageText(4004);
  sel += L", " + FormatThousands(selBytes) + L" " + LoadMessageText(4121);
  parts.push_back(sel);
  if (l.TotalSpace > 0 && !l.InArchive)
    parts.push_back(FormatThousands(l.FreeSpace / 1024) + L"K " + LoadMessageText(4202));
  FStatus->SetParts(parts);
}

bool TFileWin::SelectByName(bool select) {
  std::wstring value = L"*.*", history;
  Options.GetHistoryText(hkSELECT, history);
  std::wstring title = LoadMessageText(select ? 1107 : 1108);
  if (!InputBoxCombo(title, LoadMessageText(4006), L"", value, {}, history, true)) return false;
  value = Trim(value);
  if (value.empty()) return false;
  Options.AddHistory(hkSELECT, value);
  FList->SelectByMask(value, select, true);
  return true;
}

bool TFileWin::FolderTreeDrop(const std::wstring& targetPath, bool sameSource, int mode, const TStringList& files,
                              const TStringList& mappedNames) {
  return OnFolderTreeDrop ? OnFolderTreeDrop(this, targetPath, sameSource, mode, files, mappedNames) : false;
}

void TFileWin::SetDriveBar(THToolBar* bar) {
  FDriveBar = bar;
  if (FDriveBar) FDriveBar->SetParent(this);
  ArrangeParts();
}

void TFileWin::LoadFolderTree() {
  if (FTree || !PanelFolderTreeFactory) return;
  TPanelFolderTree* tree = PanelFolderTreeFactory(this);
  if (!tree) return;
  FTree = tree;
  FTree->SetVisible(false);
  FTree->SetAlign(alLeft);
  FTree->SetParent(this);
  FTree->SetLargeIcon(Options.TreeBigIcon);
  FTree->SetChangeDelay(450);
  FTree->OnUserChange = [this](const std::wstring& path) {
    // The user moved in the tree: the list goes there (a node without a folder moves nothing).
    if (path.empty()) return;
    if (!FList->InArchive && SameTextI(ExcludeTrailingBackslash(path), ExcludeTrailingBackslash(FList->Path))) return;
    FTreePath = IncludeTrailingBackslash(path);
    if (!FList->ChangePath(IncludeTrailingBackslash(path))) {
      // The folder cannot be listed: the tree goes back to the list's folder.
      FTreePath.clear();
      TreeFollowList();
    }
  };
  FTree->OnTreeKey = [this](WORD& key, TShiftState shift) {
    if (OnTreeKeyDown) OnTreeKeyDown(this, key, shift);
  };
  FTree->OnTreeKeyUp = [this](WORD& key, TShiftState shift) {
    if (OnTreeKeyUp) OnTreeKeyUp(this, key, shift);
  };
  FTree->OnFocus = [this] {
    if (OnPanelActivate) OnPanelActivate(this);
  };
  FTree->OnDrop = [this](const std::wstring& target, bool same, int mode, const TStringList& files,
                         const TStringList& mapped) { return FolderTreeDrop(target, same, mode, files, mapped); };
  if (OnTreeMenu)
    FTree->OnOwnMenu = [this](POINT screen) {
      if (OnTreeMenu) OnTreeMenu(this, screen);
    };
  FTreeSplit = new THanSplit(this);
  FTreeSplit->SetVisible(false);
  FTreeSplit->SetBounds(0, 0, 3, 3);
  FTreeSplit->SetBarStyle(0);
  FTreeSplit->SetShadowColor(cl3DDkShadow);
  FTreeSplit->SetParent(this);
  FTreeSplit->SetFirstPanel(FTree);
  FTreeSplit->SetSecondPanel(FBox);
  FTreeSplit->OnDefaultSize = [this](THanSplit*) { return OnDefaultTreeSize ? OnDefaultTreeSize(this) : -1; };
  FTreeSplit->OnMoved = [this](THanSplit*) {
    TFileWinOptions& panel = Options.PanelOptions(FList->PanelNo);
    if (TreeAtTopOrBottom())
      panel.FTreeHeight = FTree->Height();
    else
      panel.FTreeWidth = FTree->Width();
    if (Options.DupFTreeWidth && FList->MainWnd)
      PostMessageW(FList->MainWnd, WM_DUPTREESIZE, static_cast<WPARAM>(FList->PanelNo), 0);
  };
  // The first load asks the shell nothing that would show a dialog.
  FTree->SetQuietEnumeration(true);
  FTree->Loaded();
  FTree->SetQuietEnumeration(false);
  FTreePath.clear();
}

bool TFileWin::TreeAtTopOrBottom() const {
  const int32_t align = Options.PanelOptions(FList->PanelNo).FTreeAlign;
  return align == 1 || align == 3;
}

int TFileWin::TreeSize() const {
  if (!FTree) return 0;
  return TreeAtTopOrBottom() ? FTree->Height() : FTree->Width();
}

void TFileWin::SetTreeSize(int size) {
  if (!FTree) return;
  size = std::max(0, size);
  DisableAlign();
  if (TreeAtTopOrBottom())
    FTree->SetHeight(size);
  else
    FTree->SetWidth(size);
  EnableAlign();
  Realign();
  if (FTreeSplit) FTreeSplit->PlaceBar();
  Realign();
}

void TFileWin::TreeFollowList() {
  // A hidden tree catches up when it is shown again.
  if (!FTree || !FTree->Visible() || FList->Path.empty()) return;
  if (SameTextI(FTreePath, FList->Path)) return;
  FTreePath = FList->Path;
  FTree->SelectPath(FList->Path);
}

void TFileWin::ShellPathChanged(const std::wstring& path) {
  if (!FTree || path.size() <= 3) return;
  FTree->RefreshFolder(ExtractParentDir(ExcludeTrailingBackslash(path)));
}
