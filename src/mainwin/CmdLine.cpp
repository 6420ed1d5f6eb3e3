#include "mainwin/CmdLine.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "fileops/frmTgt.h"
#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/ExtDef.h"
#include "foundation/HanPopup.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

std::function<std::wstring(const std::wstring& current, bool allowEdit)> FavouritesDialog;
std::function<std::wstring(const std::wstring& path, const std::wstring& caption)> DriveDialog;
std::function<std::wstring(TQ7XForm& form)> ExtractForRun;
std::function<void(TQ7XForm& form, const std::wstring& text)> OpenArchiveItem;
bool DosBuiltinCommands = true;

namespace {
std::wstring LastComponent(const std::wstring& folder) {
  std::wstring f = ExcludeTrailingBackslash(folder);
  size_t slash = f.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? f : f.substr(slash + 1);
  if (name.size() == 2 && name[1] == L':') name.clear();  // a drive's root
  return name;
}
std::wstring DriveWord(const std::wstring& folder) {
  return (folder.empty() ? std::wstring() : std::wstring(1, folder[0])) + L"DRIVE";
}
void SplitName(const std::wstring& name, std::wstring& part, std::wstring& ext) {
  size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) {
    part = name;
    ext.clear();
  } else {
    part = name.substr(0, dot);
    ext = name.substr(dot + 1);
  }
}
bool HasShellSpecial(const std::wstring& s) { return s.find_first_of(L"&|<>^") != std::wstring::npos; }
}  // namespace

bool IsBareServerName(const std::wstring& path) {
  if (path.size() < 3 || path[0] != L'\\' || path[1] != L'\\') return false;
  const std::wstring rest = ExcludeTrailingBackslash(path.substr(2));
  return !rest.empty() && rest.find_first_of(L"\\/") == std::wstring::npos;
}

void ExpandCommandTemplate(const std::wstring& templ, const std::wstring& folderIn, const std::wstring& itemName,
                           const TExpandServices& services, TCommandExpansion& result) {
  result = TCommandExpansion();
  const std::wstring folder = IncludeTrailingBackslash(folderIn);
  std::wstring folderName = LastComponent(folder);
  if (folderName.empty()) folderName = DriveWord(folder);
  std::wstring namePart, ext;
  SplitName(itemName, namePart, ext);
  // The system's short forms; without them (a volume that keeps none) the long ones.
  std::wstring shortPath = GetShortPath(folder + itemName);
  if (shortPath.empty()) shortPath = folder + itemName;
  size_t cut = shortPath.find_last_of(L'\\');
  std::wstring shortItem = cut == std::wstring::npos ? shortPath : shortPath.substr(cut + 1);
  std::wstring shortFolder = cut == std::wstring::npos ? std::wstring() : shortPath.substr(0, cut + 1);
  std::wstring shortPart, shortExt;
  SplitName(shortItem, shortPart, shortExt);
  std::wstring shortFolderName = LastComponent(shortFolder);
  if (shortFolderName.empty() || itemName.empty()) shortFolderName = DriveWord(folder);

  std::wstring& out = result.Command;
  // Texts from names: trimmed and quoted as needed, unless they already stand in quotes.
  auto quoted = [&](const std::wstring& text) {
    std::wstring t = Trim(text);
    bool insideQuotes = std::count(out.begin(), out.end(), L'"') % 2 == 1;
    bool wrap = !insideQuotes && !t.empty() &&
                ((Options.AutoQuotation && t.find(L' ') != std::wstring::npos) || HasShellSpecial(t));
    out += wrap ? L"\"" + t + L"\"" : t;
  };
  auto shortOf = [](const std::wstring& path) {
    if (path.empty()) return path;
    std::wstring s = GetShortPath(path);
    return s.empty() ? path : s;
  };
  size_t i = 0;
  while (i < templ.size()) {
    wchar_t c = templ[i];
    if (c != L'%' || i + 1 >= templ.size()) {
      out += c;
      ++i;
      continue;
    }
    wchar_t code = templ[i + 1];
    i += 2;
    switch (code) {
      case L'%': quoted(L"%"); break;
      case L'1': quoted(folder + itemName); break;
      case L'!': quoted(shortItem); break;
      case L'F': quoted(namePart); break;
      case L'f': quoted(shortPart); break;
      case L'E': out += ext; break;
      case L'e': out += shortExt; break;
      case L'\\': quoted(ExcludeTrailingBackslash(folder)); break;
      case L'A': out += folderName; break;
      case L'a': out += shortFolderName; break;
      case L'D':
      case L'd': {
        std::wstring chosen = services.ChooseFolder ? services.ChooseFolder(folder) : L"";
        chosen = ExcludeTrailingBackslashKeepRoot(chosen);
        quoted(code == L'd' ? shortOf(chosen) : chosen);
        break;
      }
      case L'Q':
      case L'q': {
        int number = 0, digits = 0;
        while (digits < 2 && i < templ.size() && templ[i] >= L'0' && templ[i] <= L'9') {
          number = number * 10 + (templ[i] - L'0');
          ++digits;
          ++i;
        }
        std::wstring chosen;
        if (digits > 0 && number >= 1 && number <= static_cast<int>(Options.QCDSlots.size()))
          chosen = Options.QCDSlots[static_cast<size_t>(number - 1)].Path;
        if (Trim(chosen).empty()) {
          chosen = services.ChooseFavourite ? services.ChooseFavourite(ExcludeTrailingBackslash(folder)) : L"";
          if (services.FavouritesClosed) services.FavouritesClosed();
        }
        chosen = ExcludeTrailingBackslashKeepRoot(chosen);
        quoted(code == L'q' ? shortOf(chosen) : chosen);
        break;
      }
      case L'R':
      case L'r': {
        std::wstring root = services.ChooseDrive ? services.ChooseDrive() : L"";
        out += ExcludeTrailingBackslash(root);
        break;
      }
      case L'L':
      case L'l': quoted(services.SaveFileList ? services.SaveFileList() : L""); break;
      case L'M': quoted(ExcludeTrailingBackslash(ProgramFolder)); break;
      case L'C': result.UseCommandInterpreter = 1; break;
      case L'$': {
        result.HasRunFolder = 1;
        if (i + 1 < templ.size() && templ[i] == L'"') {
          size_t close = templ.find(L'"', i + 1);
          if (close == std::wstring::npos) {
            result.RunFolder = templ.substr(i + 1);
            i = templ.size();
          } else {
            result.RunFolder = templ.substr(i + 1, close - i - 1);
            i = close + 1;
          }
        }
        if (Trim(result.RunFolder).empty()) result.RunFolder = folder;
        break;
      }
      case L'P':
      case L'S': break;
      default:
        out += L'%';
        out += code;
    }
  }
}

void SplitCommand(const std::wstring& command, std::wstring& program, std::wstring& params) {
  std::wstring c = Trim(command);
  if (!c.empty() && c[0] == L'"') {
    size_t close = c.find(L'"', 1);
    program = Trim(c.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
    params = close == std::wstring::npos ? L"" : Trim(c.substr(close + 1));
  } else {
    size_t blank = c.find(L' ');
    program = Trim(c.substr(0, blank));
    params = blank == std::wstring::npos ? L"" : Trim(c.substr(blank + 1));
  }
}

bool ArchiveRunFolder(const std::wstring& extracted, const std::wstring& innerFolder, std::wstring& folder) {
  std::wstring base = IncludeTrailingBackslash(NormalizePath(extracted));
  std::wstring inner = innerFolder;
  for (wchar_t& c : inner)
    if (c == L'/') c = L'\\';
  // A drive, a root or a share in the stored name would leave the folder at once.
  if (inner.find(L':') != std::wstring::npos || (!inner.empty() && inner[0] == L'\\')) return false;
  std::wstring full = IncludeTrailingBackslash(NormalizePath(base + inner));
  if (full.size() < base.size() || !SameTextI(std::wstring_view(full).substr(0, base.size()), base)) return false;
  folder = full;
  return true;
}

std::wstring CommandInterpreter() {
  // Read with its real length: a long value is not cut.
  DWORD n = GetEnvironmentVariableW(L"comspec", nullptr, 0);
  std::wstring value;
  if (n > 0) {
    value.resize(n);
    DWORD got = GetEnvironmentVariableW(L"comspec", value.data(), n);
    value.resize(got < n ? got : 0);
  }
  value = Trim(value);
  return value.empty() ? L"cmd.exe" : value;
}

std::wstring WriteSelectionList(TMFList& list) {
  std::wstring text;
  std::vector<int> indexes = list.SelectedIndexes();
  if (indexes.empty() && list.ItemIndex >= 0) indexes.push_back(list.ItemIndex);
  for (int index : indexes) {
    const TFileBoxItem* item = list.GetItem(index);
    if (!item || IsParentItem(*item) || item->Kind == ikDrive) continue;
    text += list.Path + list.ItemName(index) + L"\r\n";
  }
  std::string bytes;
  if (!WideToAnsi(text, bytes)) bytes = "\xEF\xBB\xBF" + WideToUtf8(text);
  std::wstring folder = IncludeTrailingBackslash(WorkFolder.empty() ? GetCurrentDir() : WorkFolder);
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring name = folder + MakeUniqueFileName(folder, L"VELMOLST.TXT", true);
  return SafeWriteFile(name, bytes) ? name : L"";
}

// ---- The main form's side ----

namespace {
bool StartProgram(const std::wstring& program, const std::wstring& params, const std::wstring& folder, DWORD& error) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.hwnd = GetDesktopWindow();
  info.lpFile = program.c_str();
  info.lpParameters = params.empty() ? nullptr : params.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) return true;
  error = GetLastError();
  return false;
}

// "/c" and the command. The command goes in one more pair of quotes that the interpreter
// takes off again ("/s"): otherwise a command that begins with a quoted program loses its
// first and last quote and no longer runs.
std::wstring InterpreterParams(const std::wstring& command) { return L"/s /c \"" + command + L"\""; }

bool UsesItemCode(const std::wstring& templ) {
  for (size_t i = 0; i + 1 < templ.size(); ++i) {
    if (templ[i] != L'%') continue;
    if (std::wstring_view(L"!1AEF\\aef").find(templ[i + 1]) != std::wstring_view::npos) return true;
    ++i;  // "%%" and the other codes are skipped whole
  }
  return false;
}

std::wstring FocusedName(TMFList& list) {
  const TFileBoxItem* item = list.ItemIndex >= 0 ? list.GetItem(list.ItemIndex) : nullptr;
  if (!item || IsParentItem(*item) || item->Kind == ikDrive) return L"";
  return list.ItemName(list.ItemIndex);
}
}  // namespace

void TQ7XForm::ExpandCommandLine(const std::wstring& templ, const std::wstring& folder, const std::wstring& itemName,
                                 TCommandExpansion& result) {
  TExpandServices services;
  services.ChooseFolder = [](const std::wstring& start) {
    return TargetFolderChooser ? TargetFolderChooser(start, LoadMessageText(30314)) : std::wstring();
  };
  services.ChooseFavourite = [](const std::wstring& current) {
    return FavouritesDialog ? FavouritesDialog(current, true) : std::wstring();
  };
  services.FavouritesClosed = [this] {
    if (Bars) FillKeyLine();
  };
  services.ChooseDrive = [this] {
    TMFList* list = ActiveList();
    return DriveDialog ? DriveDialog(list ? list->Path : L"", LoadMessageText(4201)) : std::wstring();
  };
  services.SaveFileList = [this] { return SaveFileList(); };
  ExpandCommandTemplate(templ, folder, itemName, services, result);
}

std::wstring TQ7XForm::SaveFileList() {
  TMFList* list = ActiveList();
  return list ? WriteSelectionList(*list) : L"";
}

void TQ7XForm::RunCommandLineFor(const std::wstring& templ, const std::wstring& folder, const std::wstring& itemName) {
  TMFList* list = ActiveList();
  TCommandExpansion x;
  ExpandCommandLine(Trim(templ), folder, itemName, x);
  std::wstring command = Trim(x.Command);
  if (command.empty()) return;
  std::wstring program, params;
  if (x.UseCommandInterpreter) {
    program = CommandInterpreter();
    params = InterpreterParams(command);
  } else {
    SplitCommand(command, program, params);
  }
  if (program.empty()) return;
  std::wstring workFolder = x.HasRunFolder ? x.RunFolder : (list ? list->Path : folder);
  DWORD error = 0;
  if (!StartProgram(program, params, workFolder, error))
    ShowErrorBox(LoadMessageText(10706) + L"\r\r<C=B>" + program + L"<>\r\r<D>" + SystemErrorText(error));
}

void TQ7XForm::RunCommandLine(const std::wstring& templ) {
  TPanelView* panel = ActivePanel();
  TMFList* list = ActiveList();
  if (!panel || !list) {
    Beep();
    return;
  }
  std::wstring folder, item;
  if (panel->FolderTreeFocused()) {
    // The folder tree: its folder is the item, in the folder above it.
    if (list->Depth > 0) {
      folder = IncludeTrailingBackslash(ExtractParentDir(list->Path));
      item = LastComponent(list->Path);
    } else {
      folder = list->Path;
    }
  } else if (list->InArchive) {
    item = FocusedName(*list);
    if (UsesItemCode(templ)) {
      std::wstring extracted = ExtractForRun ? ExtractForRun(*this) : L"";
      if (extracted.empty()) {
        Beep();
        return;
      }
      bool inner = extracted[0] == L'1';
      if (inner) extracted.erase(0, 1);
      // The entry's names come from the archive: the folder must stay inside the extraction.
      if (!ArchiveRunFolder(extracted, inner ? list->ArcPath : L"", folder) ||
          item.find_first_of(L"\\/:") != std::wstring::npos || item == L"..") {
        Beep();
        return;
      }
    } else {
      folder = IncludeTrailingBackslash(WorkFolder);
    }
  } else {
    folder = list->Path;
    item = FocusedName(*list);
  }
  RunCommandLineFor(templ, folder, item);
}

bool TQ7XForm::ParseDosBuiltin(const std::wstring& text, std::wstring& target) {
  if (!DosBuiltinCommands) return false;
  std::wstring t = Trim(text);
  if (t.empty()) return false;
  size_t end = t.find_first_of(L" /");
  std::wstring word = UpperCase(t.substr(0, end));
  // "CD\", "CD.." and "CD" itself.
  std::wstring head = word.substr(0, std::min(word.find(L'\\'), word.find(L"..")));
  if (word == L"CD" || head == L"CD" || word == L"CHDIR" || head == L"CHDIR") {
    std::wstring rest = t.substr(head.size());
    target = Trim(rest);
    return true;
  }
  bool drivePath = t.size() >= 2 && t[1] == L':' && ((t[0] >= L'A' && t[0] <= L'Z') || (t[0] >= L'a' && t[0] <= L'z'));
  bool plainName = t.rfind(L"\\\\", 0) != 0 && t.find(L'\\') == std::wstring::npos;
  if (drivePath || plainName) {
    TMFList* list = ActiveList();
    std::wstring full = drivePath ? t : (list ? list->Path : L"") + t;
    if (FolderExists(full)) {
      target = t;
      return true;
    }
  }
  return false;
}

void TQ7XForm::RunDosCommand(const std::wstring& text) {
  TPanelView* panel = ActivePanel();
  TMFList* list = ActiveList();
  if (!panel || !list || panel->FolderTreeFocused()) {
    Beep();
    return;
  }
  std::wstring target;
  if (ParseDosBuiltin(text, target)) {
    target = Trim(target);
    if (target.empty()) return;
    std::wstring full;
    if (target.size() >= 2 && target[1] == L':') {
      full = target.size() == 2 ? target + L"\\" : target;
    } else if (target.rfind(L"\\\\", 0) == 0) {
      full = target;
    } else if (target[0] == L'\\') {
      full = ExcludeTrailingBackslash(ExtractPathRoot(list->Path)) + target;
    } else {
      full = list->Path + target;
    }
    full = NormalizePath(full);
    // A server alone is no folder a list can show: the folder tree opens it, when there is one.
    if (IsBareServerName(full) && panel->HasFolderTree()) {
      panel->ExpandTreePath(ExcludeTrailingBackslash(full));
      return;
    }
    panel->ChangeDir(IncludeTrailingBackslash(full));
    UpdateCommandStates();
    return;
  }
  std::wstring t = Trim(text);
  if (t.rfind(L"\\\\", 0) == 0) {
    ShellExecuteW(Handle(), L"open", t.c_str(), nullptr, list->Path.c_str(), SW_SHOWNORMAL);
    return;
  }
  std::wstring lower = LowerCase(t);
  for (const wchar_t* web : {L"http://", L"https://", L"ftp://", L"www.", L"mailto:"}) {
    if (lower.rfind(web, 0) == 0) {
      ShellExecuteW(Handle(), L"open", t.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return;
    }
  }
  TCommandExpansion x;
  ExpandCommandLine(t, list->Path, FocusedName(*list), x);
  std::wstring command = Trim(x.Command);
  if (command.empty()) return;
  DWORD error = 0;
  // A failed start says nothing here.
  StartProgram(CommandInterpreter(), InterpreterParams(command), x.HasRunFolder ? x.RunFolder : list->Path, error);
}

void TQ7XForm::DosCommandPrompt() {
  TPanelView* panel = ActivePanel();
  if (!panel || !ActiveList() || panel->FolderTreeFocused()) {
    Beep();
    return;
  }
  const std::vector<std::wstring>& history = Options.History(hkDOSCMD);
  std::wstring value = history.empty() ? L"" : history.front();
  std::wstring historyText;
  Options.GetHistoryText(hkDOSCMD, historyText);
  if (!AskOkCancel(LoadMessageText(10704), LoadMessageText(10705), L"", value, historyText, true)) return;
  Options.AddHistory(hkDOSCMD, value);
  RunDosCommand(value);
}

void TQ7XForm::OpenItem(const std::wstring& text) {
  TMFList* list = ActiveList();
  if (!list) return;
  if (list->InArchive) {
    if (OpenArchiveItem)
      OpenArchiveItem(*this, text);
    else
      Beep();
    return;
  }
  std::wstring program, params;
  SplitCommand(text, program, params);
  if (program.empty()) return;
  // A bare program name is the one in the list's folder when it is there.
  if (program.find_first_of(L"\\:") == std::wstring::npos && FileExistsPlain(list->Path + program))
    program = list->Path + program;
  DWORD error = 0;
  if (!StartProgram(program, params, list->Path, error))
    ShowErrorBox(LoadMessageText(10706) + L"\r\r<C=B>" + program + L"<>\r\r<D>" + SystemErrorText(error));
}

void TQ7XForm::RunWithParameters() {
  TPanelView* panel = ActivePanel();
  TMFList* list = ActiveList();
  if (!panel || !list || panel->FolderTreeFocused()) {
    Beep();
    return;
  }
  if (list->ItemIndex < 0) return;
  const TFileBoxItem* item = list->GetItem(list->ItemIndex);
  if (!item) return;
  std::wstring name = list->ItemName(list->ItemIndex);
  std::wstring ext = UpperCase(item->Kind == ikFile ? item->Ext : L"");
  if (!ext.empty() && ext[0] == L'.') ext.erase(0, 1);
  bool program = item->Kind == ikFile && (ext == L"EXE" || ext == L"COM" || ext == L"BAT" || ext == L"LNK" || ext == L"PIF");
  if (!program) {
    list->OpenItem(list->ItemIndex);
    UpdateCommandStates();
    return;
  }
  std::wstring value;
  bool ok;
  if (list->InArchive) {
    ok = AskOkCancel(LoadMessageText(10709) + L" - " + name, LoadMessageText(10710), L"", value, L"", true);
  } else {
    value = (name.find(L' ') != std::wstring::npos ? L"\"" + name + L"\"" : name) + L" ";
    ok = AskOkCancel(LoadMessageText(10707), LoadMessageText(10708), L"", value, L"", true);
  }
  if (ok) OpenItem(Trim(value));
}

bool TQ7XForm::ChooseFileProgram(TPanelView* panel, const std::wstring& file) {
  size_t slash = file.rfind(L'\\');
  std::wstring folder = slash == std::wstring::npos ? L"" : file.substr(0, slash + 1);
  std::wstring name = slash == std::wstring::npos ? file : file.substr(slash + 1);
  size_t dot = name.rfind(L'.');
  std::vector<const TExtProgram*> programs = Programs.FindExtPrograms(dot == std::wstring::npos ? L"" : name.substr(dot + 1));
  if (programs.empty()) return false;
  const TExtProgram* chosen = programs[0];
  if (programs.size() > 1) {
    chosen = nullptr;
    THanPopupMenu menu(nullptr);
    for (const TExtProgram* p : programs)
      menu.Add(p->Title.empty() ? p->Command : p->Title, [&chosen, p](TMenuItemRec&) { chosen = p; });
    POINT at{0, 0};
    HWND owner = panel && panel->Handle() ? panel->Handle() : Handle();
    RECT r{};
    GetWindowRect(owner, &r);
    at.x = (r.left + r.right) / 2;
    at.y = (r.top + r.bottom) / 2;
    menu.Popup(at.x, at.y, Handle());
    if (!chosen) return true;
  }
  RunCommandLineFor(chosen->Command, folder, name);
  return true;
}

void InstallCommandLines() {
  RegisterCommand(1401, [](TQ7XForm& form, TShiftState) { form.RunWithParameters(); });
  RegisterCommand(1402, [](TQ7XForm& form, TShiftState) { form.DosCommandPrompt(); });
}
