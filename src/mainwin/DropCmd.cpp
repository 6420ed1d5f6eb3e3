#include "mainwin/DropCmd.h"

#include <shlobj.h>

#include "fileops/CopyDlg.h"
#include "foundation/MYTOOL.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/DropSrc.h"
#include "panels/DropTgt.h"
#include "panels/MFList.h"
#include "panels/MIcon.h"
#include "panels/PanelDrop.h"
#include "panels/ProcessDone.h"

namespace {
std::wstring FilePartOf(const std::wstring& path) {
  std::wstring p = ExcludeTrailingBackslash(path);
  size_t cut = p.find_last_of(L'\\');
  return cut == std::wstring::npos ? p : p.substr(cut + 1);
}

// The folder every file lies in, with trailing "\"; empty when they lie in several.
std::wstring CommonFolder(const TStringList& files) {
  std::wstring common;
  for (int i = 0; i < files.Count(); ++i) {
    std::wstring dir = IncludeTrailingBackslash(ExtractParentDir(files[i]));
    if (i == 0)
      common = dir;
    else if (lstrcmpiW(dir.c_str(), common.c_str()) != 0)
      return L"";
  }
  return common;
}

bool MakeShortcuts(const std::wstring& target, const TStringList& files, const TStringList& mapped,
                   std::wstring& doneNames) {
  bool made = false;
  for (int i = 0; i < files.Count(); ++i) {
    std::wstring name = i < mapped.Count() && !mapped[i].empty() ? mapped[i] : FilePartOf(files[i]);
    // A drive root is named by its letter.
    if (name.empty() || name.back() == L':') name = files[i].substr(0, 1);
    if (!CreateShortcut(files[i], target + name + L".lnk", L"")) continue;
    made = true;
    if (!doneNames.empty()) doneNames += L"\r";
    doneNames += FilePartOf(files[i]);
  }
  return made;
}

bool CopyOrMove(bool copy, const std::wstring& target, const TStringList& files, const TStringList& mapped,
                std::wstring& doneNames, std::wstring& sourceFolder) {
  sourceFolder = CommonFolder(files);
  TCopyMoveForm form(nullptr);
  form.IsCopy = copy;
  form.SingleSourceFolder = !sourceFolder.empty();
  form.SourceFolder = sourceFolder;
  form.TargetFolder = target;
  int added = 0;
  for (int i = 0; i < files.Count(); ++i) {
    const std::wstring& path = files[i];
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) continue;
    const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A whole drive cannot be put into a folder.
    if (IsPathRoot(path)) continue;
    std::wstring name = form.SingleSourceFolder ? FilePartOf(path) : ExcludeTrailingBackslash(path);
    std::wstring targetName = i < mapped.Count() ? mapped[i] : L"";
    const int64_t size = MakeInt64(data.nFileSizeHigh, data.nFileSizeLow);
    form.AddItem(name, FilePartOf(GetShortPath(path)), folder ? -1 : 1, static_cast<int32_t>(data.dwFileAttributes),
                 FileTimeToLocalDateTime(data.ftLastWriteTime), folder ? 0 : size, targetName);
    ++added;
  }
  if (added == 0) return false;
  form.Execute();
  std::wstring done;
  form.GetDoneList(done);
  // The done list names the items as they were added; the panels know them by file name.
  for (size_t from = 0; from <= done.size();) {
    size_t to = done.find(L'\r', from);
    if (to == std::wstring::npos) to = done.size();
    if (to > from) {
      if (!doneNames.empty()) doneNames += L"\r";
      doneNames += FilePartOf(done.substr(from, to - from));
    }
    from = to + 1;
  }
  return form.TargetChanged;
}

bool ClipboardHasFiles() { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; }

bool PutItemsOnClipboard(TQ7XForm& form, bool cut) {
  TMFList* list = form.ActiveList();
  if (!list) return false;
  TDropFileSource source(nullptr);
  for (const auto& p : ListItemPaths(*list)) source.Files.Add(p);
  if (source.Files.Count() == 0) return false;
  return cut ? source.CutToClipboard() : source.CopyToClipboard();
}

void Paste(TQ7XForm& form, bool intoCurrentPath) {
  TPanelView* panel = form.ActivePanel();
  if (!panel || PanelPasteState(form) == 0) {
    MessageBeep(MB_OK);
    return;
  }
  (void)intoCurrentPath;  // the list pastes into its folder either way; the tree brings its own folder
  TDropFileTarget target(nullptr);
  const int effect = target.PasteFromClipboard();
  const int mode = effect == 1 ? 0 : effect == 2 ? 1 : effect == 4 ? 2 : -1;
  if (mode < 0) {
    MessageBeep(MB_OK);
    return;
  }
  form.FolderTreeDrop(panel, panel->List().Path, false, mode, target.Files, target.MappedNames);
  // Cut files are gone from where the clipboard says they are.
  if (mode == 1) ClearClipboard();
}

void DesktopShortcuts(TQ7XForm& form) {
  TMFList* list = form.ActiveList();
  if (!list) return;
  std::wstring desktop = GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY);
  if (desktop.empty()) {
    MessageBeep(MB_OK);
    return;
  }
  TStringList files, none;
  for (const auto& p : ListItemPaths(*list)) files.Add(p);
  std::wstring done;
  if (!MakeShortcuts(IncludeTrailingBackslash(desktop), files, none, done)) MessageBeep(MB_OK);
}
}  // namespace

TArchiveDragHook ArchiveDragHook;
TArchiveDropHook ArchiveDropHook;

int PanelPasteState(TQ7XForm& form) {
  TMFList* list = form.ActiveList();
  form.PasteState = list && ListTakesFiles(*list) ? 1 : 0;
  return form.PasteState;
}

bool PutFilesIntoFolder(const std::wstring& targetFolder, int mode, const TStringList& files,
                        const TStringList& mappedNames, std::wstring& doneNames, std::wstring& sourceFolder) {
  doneNames.clear();
  sourceFolder.clear();
  if (targetFolder.empty() || files.Count() == 0) return false;
  const std::wstring target = IncludeTrailingBackslash(targetFolder);
  if (mode == 2) return MakeShortcuts(target, files, mappedNames, doneNames);
  if (mode != 0 && mode != 1) return false;
  return CopyOrMove(mode == 0, target, files, mappedNames, doneNames, sourceFolder);
}

bool TQ7XForm::FolderTreeDrop(TPanelView* panel, const std::wstring& targetPath, bool, int mode,
                              const TStringList& files, const TStringList& mappedNames) {
  // Dropped into an archive view (the target is the archive file itself): into the archive.
  if (panel && panel->List().InArchive && SamePath(targetPath, panel->List().Path + panel->List().ArcFileName)) {
    const bool added = mode == 0 && ArchiveDropHook && ArchiveDropHook(panel->List(), files);
    panel->Reread();
    UpdateCommandStates();
    return added;
  }
  std::wstring done, source;
  // The folder trees keep the notices of the items and take them in at the end.
  bool changed;
  {
    TTreeUpdates hold(*this);
    changed = PutFilesIntoFolder(targetPath, mode, files, mappedNames, done, source);
  }
  // The panels that show where the files came from let go of the processed items.
  for (TPanelView* p : {Panel1, Panel2}) {
    if (!p || source.empty() || done.empty() || !SamePath(p->List().Path, source)) continue;
    TProcessDoneUnSelect unselect;
    unselect.FileList = &p->List();
    unselect.LoadNames(done);
    unselect.Execute();
  }
  for (TPanelView* p : {Panel1, Panel2})
    if (p) p->Reread();
  (void)panel;
  UpdateCommandStates();
  return changed;
}

void TQ7XForm::DragPanelItems(TPanelView* panel, bool) {
  if (!panel) return;
  TMFList& list = panel->List();
  TDropFileSource source(nullptr);
  std::function<void()> finish;
  if (list.InArchive) {
    // Entries of an archive are extracted only when they are dropped, and only copied out.
    std::vector<std::wstring> files;
    std::function<bool()> extract;
    if (!ArchiveDragHook || !ArchiveDragHook(list, files, extract, finish)) return;
    for (const auto& f : files) source.Files.Add(f);
    source.OnRender = extract;
    source.DragTypes = dtCopy;
  } else {
    for (const auto& p : ListItemPaths(list)) source.Files.Add(p);
    source.DragTypes = dtCopy | dtMove | dtLink;
  }
  if (source.Files.Count() == 0) {
    if (finish) finish();
    return;
  }
  if (SystemFileData && SystemFileData->Images()) {
    source.SetImages(SystemFileData->Images());
    const TFileBoxItem* item = list.GetItem(list.ItemIndex);
    int icon = item && item->IconIndex >= 0 ? item->IconIndex
               : item && item->Kind == ikFolder ? SystemFileData->FolderIcon
                                                 : SystemFileData->FileIcon;
    source.SetImageIndex(icon);
    source.SetImageHotSpot(1, 8);
    source.SetImageHotSpot(2, 8);
  }
  TDragResult result = source.Execute();
  if (finish) {
    finish();
    return;
  }
  // Whatever the target did with the files, this panel shows it.
  if (result == drMove || result == drCopy || result == drLink) panel->Reread();
}

void InstallDragDropCommands() {
  auto canTake = [](TQ7XForm& f) {
    TMFList* l = f.ActiveList();
    return l && !ListItemPaths(*l).empty();
  };
  RegisterCommand(2001, [](TQ7XForm& f, TShiftState) { PutItemsOnClipboard(f, false); }, canTake);
  RegisterCommand(2002, [](TQ7XForm& f, TShiftState) { PutItemsOnClipboard(f, true); }, canTake);
  RegisterCommand(2003, [](TQ7XForm& f, TShiftState) { Paste(f, false); },
                  [](TQ7XForm& f) { return PanelPasteState(f) != 0 && ClipboardHasFiles(); });
  RegisterCommand(2013, [](TQ7XForm& f, TShiftState) { Paste(f, true); },
                  [](TQ7XForm& f) { return ClipboardHasFiles() && f.ActiveList() && ListTakesFiles(*f.ActiveList()); });
  RegisterCommand(1202, [](TQ7XForm& f, TShiftState) { DesktopShortcuts(f); }, canTake);
}
