#include "mainwin/TreeCommands.h"

#include "archive/layer/ArcDlg.h"
#include "fileops/AttrDlg.h"
#include "fileops/CopyDlg.h"
#include "fileops/DelDlg.h"
#include "fileops/OpForm.h"
#include "foldermgr/MCD.h"
#include "foldermgr/MCDTree.h"
#include "foundation/HanPopup.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "mainwin/PanelMenu.h"
#include "mainwin/RenameCmd.h"
#include "panels/MFList.h"
#include "panels/PanelTree.h"

namespace {
void RereadPanels(TQ7XForm& form) {
  if (TPanelView* p = form.ActivePanel()) p->Reread();
  if (TPanelView* p = form.OtherPanel()) p->Reread();
}

// Where a copy or move of the tree's folder goes unless the user says otherwise: the other
// panel's folder, else the folder shown.
std::wstring SuggestedTarget(TQ7XForm& form) {
  if (TMFList* other = form.OtherList(); other && !other->InArchive && !other->Path.empty()) return other->Path;
  TMFList* list = form.ActiveList();
  return list ? list->Path : L"";
}

void CompressFolder(TQ7XForm& form, const std::wstring& folderPath, bool moveAfter) {
  const std::wstring folder = ExcludeTrailingBackslash(folderPath);
  const std::wstring parent = IncludeTrailingBackslash(ExtractParentDir(folder));
  std::wstring archive = PathFilePart(folder);
  if (archive.empty() || parent.empty()) return;
  bool f1 = false, f2 = false;
  AddToArchive(&form, archive, 1, 0, archive + L"\\\r\n", false, parent, false, moveAfter ? 0x20 : 0, f1, f2);
  RereadPanels(form);
}

// The tree's own menu: caption message and the command each entry runs ("-": a line).
struct TTreeMenuEntry {
  int Msg;
  int Tag;
};
constexpr TTreeMenuEntry kTreeMenu[] = {
    {2105, 1001}, {2106, 1002}, {2107, 1003}, {2108, 1004}, {2109, 1005}, {2110, 1006}, {0, 0},
    {2113, 7001}, {0, 0},       {2115, 2001}, {2116, 2002}, {2117, 2003}, {0, 0},       {2143, 3011},
    {2139, 3000}, {0, 0},       {2158, 1101},
};
}  // namespace

std::wstring MakeFolderIn(const std::wstring& folderIn) {
  const std::wstring folder = IncludeTrailingBackslash(folderIn);
  if (folderIn.empty() || !FolderExists(folder)) return L"";
  std::wstring value = PathFilePart(MakeUniqueFileName(folder, LoadMessageText(32201), false));
  auto nameOf = [](const std::wstring& typed) { return PathFilePart(ExpandEnvStr(Trim(typed), false)); };
  if (!InputBoxCombo(LoadMessageText(32202), LoadMessageText(32203), L"MCD_NEWFOLD", value,
                     [&](const std::wstring&, std::wstring& current) {
                       if (ValidFolderName(nameOf(current))) return true;
                       ShowErrorBox(SystemErrorText(ERROR_INVALID_NAME));
                       return false;
                     },
                     L"", true))
    return L"";
  const std::wstring name = nameOf(value);
  if (!ValidFolderName(name)) return L"";
  const std::wstring path = folder + name;
  if (!CreateDirectoryW(path.c_str(), nullptr)) {
    const DWORD error = GetLastError();
    if (PathExists(path))
      ShowErrorBox(FormatMessageText(32204, {path}));
    else
      ShowErrorBox(FormatMessageText(32205, {name, SystemErrorText(error)}));
    return L"";
  }
  // The folder tree cache takes the folder and tells the folder trees.
  TMCDTreeMan cache(Q7XForm ? Q7XForm->Handle() : nullptr, path);
  cache.AddFolder(path);
  return path;
}

void ShowFolderTreeMenu(TQ7XForm& form, TPanelView& panel, POINT screenPoint) {
  THanPopupMenu menu(nullptr);
  for (const TTreeMenuEntry& e : kTreeMenu) {
    if (!e.Msg) {
      menu.Add(L"-");
      continue;
    }
    const TCommandRow* row = FindCommand(e.Tag);
    const int tag = e.Tag;
    menu.Add(LoadMessageText(e.Msg), [&form, tag](TMenuItemRec&) { form.RunCommand(tag, KeyboardShiftState()); },
             tag, row ? EffectiveShortCut(*row) : 0);
  }
  // What the node allows, as the commands themselves test it.
  menu.OnPopup = [&form](THanPopupMenu* m) {
    for (const auto& item : m->Items().Items()) {
      if (item->Caption == L"-") continue;
      const TCommandRow* row = FindCommand(item->Tag);
      item->Enabled = row && CommandEnabled(form, *row);
      if (item->Tag == 3000) item->Checked = (Options.PanelOptions(form.ActivePanel()->PanelNo()).Parts & 8) != 0;
    }
  };
  menu.Popup(screenPoint.x, screenPoint.y, form.Handle());
  (void)panel;
}

void InstallFolderTreeCommands() {
  for (bool copy : {true, false})
    RegisterTreeCommand(
        copy ? 1001 : 1002,
        [copy](TQ7XForm& f, TPanelFolderTree& t, TShiftState) {
          if (CopyMoveFolderCommand(copy, t.GetSelectedPath(), SuggestedTarget(f)).Ran) RereadPanels(f);
        },
        [copy](TQ7XForm&, TPanelFolderTree& t) { return copy ? t.CanCopy() : t.CanMove(); });
  RegisterTreeCommand(
      1003,
      [](TQ7XForm& f, TPanelFolderTree& t, TShiftState shift) {
        const bool permanent = (shift & ssShift) != 0 || Options.NotUseRecycled;
        if (DeleteFolderPath(t.GetSelectedPath(), permanent)) RereadPanels(f);
      },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanDelete(); });
  RegisterTreeCommand(
      1004,
      [](TQ7XForm& f, TPanelFolderTree& t, TShiftState shift) {
        if (RunRenameFolder(t.GetSelectedPath(), nullptr, (shift & ssCtrl) != 0).Changed) RereadPanels(f);
      },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanRename(); });
  // A new folder: inside the tree's folder, or inside the list's.
  RegisterCommand(1005, [](TQ7XForm& f, TShiftState) {
    TMFList* list = f.ActiveList();
    if (!list) return;
    const std::wstring made = MakeFolderIn(list->Path);
    if (made.empty()) return;
    RereadPanels(f);
    for (int i = 0; i < list->Count(); ++i)
      if (SameTextI(list->ItemName(i), PathFilePart(made))) list->ItemIndex = i;
    if (TPanelView* p = f.ActivePanel()) p->Invalidate();
  });
  RegisterTreeCommand(
      1005, [](TQ7XForm& f, TPanelFolderTree& t, TShiftState) {
        if (!MakeFolderIn(t.GetSelectedPath()).empty()) RereadPanels(f);
      },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.IsFileSystemNode() && t.HasPath(); });
  RegisterTreeCommand(
      1006, [](TQ7XForm& f, TPanelFolderTree& t, TShiftState) {
        if (ChangeFolderAttributes(t.GetSelectedPath())) RereadPanels(f);
      },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanAttr(); });
  for (bool move : {false, true})
    RegisterTreeCommand(
        move ? 7002 : 7001,
        [move](TQ7XForm& f, TPanelFolderTree& t, TShiftState) { CompressFolder(f, t.GetSelectedPath(), move); },
        [](TQ7XForm&, TPanelFolderTree& t) { return t.CanCompress(); });
  RegisterTreeCommand(
      2001, [](TQ7XForm&, TPanelFolderTree& t, TShiftState) { t.CopyToClipboard(true); },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanCopyClip(); });
  RegisterTreeCommand(
      2002, [](TQ7XForm&, TPanelFolderTree& t, TShiftState) { t.CopyToClipboard(false); },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanCut(); });
  RegisterTreeCommand(
      2003, [](TQ7XForm&, TPanelFolderTree& t, TShiftState) { t.PasteFromClipboard(false); },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanPaste() && t.FocusedState() != 0; });
  RegisterTreeCommand(
      2013, [](TQ7XForm&, TPanelFolderTree& t, TShiftState) { t.PasteFromClipboard(false); },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanPaste(); });
  RegisterTreeCommand(
      6404, [](TQ7XForm&, TPanelFolderTree& t, TShiftState) { t.GoUp(); },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanGoUp(); });
  RegisterTreeCommand(
      6405, [](TQ7XForm&, TPanelFolderTree& t, TShiftState) { t.GoRoot(); },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanGoUp(); });
  // Back and forward move the panel, which the tree follows.
  RegisterTreeCommand(
      6401, [](TQ7XForm& f, TPanelFolderTree&, TShiftState) { f.GoBack(); },
      [](TQ7XForm& f, TPanelFolderTree&) { return f.CanGoBack(); });
  RegisterTreeCommand(
      6402, [](TQ7XForm& f, TPanelFolderTree&, TShiftState) { f.GoForward(); },
      [](TQ7XForm& f, TPanelFolderTree&) { return f.CanGoForward(); });
  RegisterTreeCommand(3011, [](TQ7XForm& f, TPanelFolderTree& t, TShiftState) {
    t.RefreshCommandNode();
    if (TPanelView* p = f.ActivePanel()) p->Reread();
  });
  RegisterCommand(1101, [](TQ7XForm& f, TShiftState) {
    if (TPanelView* p = f.ActivePanel()) ShowPanelProperties(f, *p);
  });
  RegisterTreeCommand(
      1101, [](TQ7XForm&, TPanelFolderTree& t, TShiftState) { t.ShowProperties(); },
      [](TQ7XForm&, TPanelFolderTree& t) { return t.CanProperties(); });
}
