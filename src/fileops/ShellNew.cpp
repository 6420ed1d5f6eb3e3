#include "fileops/ShellNew.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "fileops/OpForm.h"
#include "foundation/FileIO.h"
#include "foundation/HanPopup.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "framework/Handles.h"
#include "framework/TextCompare.h"
#include "mainwin/Commands.h"
#include "mainwin/Main.h"
#include "panels/MFList.h"

namespace {
constexpr REGSAM ReadAccess = KEY_READ;  // 0x20019

TRegKeyHandle OpenKey(const std::wstring& path) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, ReadAccess, &raw) != ERROR_SUCCESS) return {};
  return TRegKeyHandle(raw);
}

// A string value of an open key (nullptr name: the default value); false when it is missing
// or is not a string.
bool ReadString(HKEY key, const wchar_t* name, std::wstring& value) {
  value.clear();
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got) != ERROR_SUCCESS)
    return false;
  buf.resize(std::min<size_t>(got / sizeof(wchar_t), buf.size()));
  while (!buf.empty() && buf.back() == L'\0') buf.pop_back();
  value = buf;
  return true;
}

std::wstring DefaultValue(const std::wstring& path) {
  std::wstring v;
  if (TRegKeyHandle key = OpenKey(path)) ReadString(key.get(), nullptr, v);
  return v;
}

std::vector<std::wstring> ValueNames(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD len = 16384;
    LONG r = RegEnumValueW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) continue;
    names.emplace_back(name, len);
  }
  return names;
}

bool HasName(const std::vector<std::wstring>& names, const wchar_t* name) {
  return std::any_of(names.begin(), names.end(), [&](const std::wstring& n) { return SameTextI(n, name); });
}

bool HasFolder(const std::wstring& path) { return path.find(L'\\') != std::wstring::npos; }

// Writes bytes into a new file beside nothing: the file must not exist. A failure removes what
// was written.
bool WriteNewFile(const std::wstring& path, const void* data, size_t size) {
  TFileHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  bool ok = true;
  while (left > 0 && ok) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 1 << 20)), written = 0;
    ok = WriteFile(h.get(), p, chunk, &written, nullptr) && written == chunk;
    p += written;
    left -= written;
  }
  ok = CloseChecked(h) && ok;
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

// Copies the whole template into a new file; the copy counts only when it has every byte.
bool CopyTemplate(const std::wstring& from, const std::wstring& to) {
  TFileHandle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!in || !GetFileSizeEx(in.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
  std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && (!ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size()))
    return false;
  return WriteNewFile(to, bytes.data(), bytes.size());
}

std::wstring WindowsFolder() {
  wchar_t buf[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  return IncludeTrailingBackslash(std::wstring(buf, n < MAX_PATH ? n : 0));
}

// A name that would leave the folder or that no file can have.
bool BadFileName(const std::wstring& name) {
  return name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos;
}
}  // namespace

void TShellNew::Scan() {
  Entries.clear();
  Scanned = true;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD len = 256;
    LONG r = RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || len == 0 || name[0] != L'.') continue;
    TShellNewEntry e;
    e.Extension.assign(name, len);
    e.ClassName = DefaultValue(e.Extension);
    if (e.ClassName.empty()) continue;
    std::vector<std::wstring> names;
    TRegKeyHandle shellNew;
    for (const std::wstring& path : {e.Extension + L"\\ShellNew", e.ClassName + L"\\ShellNew"}) {
      shellNew = OpenKey(path);
      if (!shellNew) continue;
      names = ValueNames(shellNew.get());
      if (!names.empty()) {
        e.KeyPath = path;
        break;
      }
    }
    if (names.empty()) continue;
    const bool link = UpperCase(e.Extension) == L".LNK";
    if (!link && !OpenKey(e.ClassName + L"\\shell\\open\\command")) continue;
    TRegKeyHandle classKey = OpenKey(e.ClassName);
    if (!classKey) continue;
    ReadString(classKey.get(), nullptr, e.Description);
    e.Icon = DefaultValue(e.ClassName + L"\\DefaultIcon");
    if (e.Icon.empty()) e.Icon = DefaultValue(e.Extension + L"\\DefaultIcon");
    bool found = false, refused = false;
    for (uint8_t kind : {NullFile, FileName, Data, Command}) {
      static const wchar_t* const valueNames[] = {L"NullFile", L"FileName", L"Data", L"Command"};
      if (!HasName(names, valueNames[kind])) continue;
      if (kind == FileName || kind == Command) {
        std::wstring v;
        if (!ReadString(shellNew.get(), valueNames[kind], v) || v.empty()) continue;
        // A command that wants two names cannot be given them.
        if (kind == Command && v.find(L"%1") != std::wstring::npos && v.find(L"%2") != std::wstring::npos) {
          refused = true;
          break;
        }
        e.Value = v;
      }
      e.Kind = kind;
      found = true;
      break;
    }
    if (!found || refused || e.Description.empty()) continue;
    if (link)
      Entries.insert(Entries.begin(), std::move(e));
    else
      Entries.push_back(std::move(e));
  }
}

void TShellNew::GetDescription(int index, std::wstring& s) const {
  s = index >= 0 && index < Count() ? Entries[static_cast<size_t>(index)].Description : std::wstring();
}
int TShellNew::GetKind(int index) const {
  return index >= 0 && index < Count() ? Entries[static_cast<size_t>(index)].Kind : -1;
}
void TShellNew::GetExtension(int index, std::wstring& s) const {
  s = index >= 0 && index < Count() ? Entries[static_cast<size_t>(index)].Extension : std::wstring();
}
void TShellNew::GetIcon(int index, std::wstring& s) const {
  s = index >= 0 && index < Count() ? Entries[static_cast<size_t>(index)].Icon : std::wstring();
}
bool TShellNew::FirstIsLink() const { return !Entries.empty() && UpperCase(Entries[0].Extension) == L".LNK"; }

int TShellNew::CreateNewFile(int index, const std::wstring& folder, const std::wstring& name) {
  std::wstring target = IncludeTrailingBackslash(folder) + name;
  if (!name.empty() && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    ShowErrorBox(FormatText(LoadMessageText(3002), {target}));
    return 1;
  }
  if (index < 0 || index >= Count()) return 2;
  const TShellNewEntry& e = Entries[static_cast<size_t>(index)];
  if (e.Kind != Command && BadFileName(name)) return 2;
  auto failed = [] {
    ShowErrorBox(LoadMessageText(3003));
    return 2;
  };
  switch (e.Kind) {
    case NullFile:
      return WriteNewFile(target, "", 0) ? 0 : 2;
    case FileName: {
      std::wstring source = ExpandEnvStr(e.Value, false);
      if (source.empty()) return failed();
      if (!HasFolder(source)) {
        std::wstring windows = WindowsFolder();
        std::wstring templates = GetSpecialFolderPath(CSIDL_TEMPLATES);
        if (FileExistsPlain(windows + L"ShellNew\\" + source))
          source = windows + L"ShellNew\\" + source;
        else if (!templates.empty() && FileExistsPlain(IncludeTrailingBackslash(templates) + source))
          source = IncludeTrailingBackslash(templates) + source;
        else
          source = windows + source;
      }
      return CopyTemplate(source, target) ? 0 : failed();
    }
    case Data: {
      TRegKeyHandle key = OpenKey(e.KeyPath);
      DWORD type = 0, size = 0;
      if (!key || RegQueryValueExW(key.get(), L"Data", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return failed();
      std::vector<BYTE> bytes(size);
      if (size > 0 && RegQueryValueExW(key.get(), L"Data", nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS)
        return failed();
      bytes.resize(size);
      if (type == REG_BINARY) return WriteNewFile(target, bytes.data(), bytes.size()) ? 0 : failed();
      std::wstring text;
      if (!ReadString(key.get(), L"Data", text)) return failed();
      // The characters as the system's code page writes them, where every one fits.
      BOOL lost = FALSE;
      int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, &lost);
      std::string out(static_cast<size_t>(n), '\0');
      if (!lost) {
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
      } else {
        n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        out.assign(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
      }
      return WriteNewFile(target, out.data(), out.size()) ? 0 : failed();
    }
    case Command: {
      std::wstring command = e.Value;
      for (const wchar_t* mark : {L"%1", L"%2", L"%3"}) {
        size_t at = command.find(mark);
        if (at == std::wstring::npos) continue;
        command.replace(at, 2, ExcludeTrailingBackslash(folder));
        break;
      }
      command = Trim(ExpandEnvStr(command, false));
      if (command.empty()) return failed();
      if (RunProgram(nullptr, command.c_str(), folder, SW_SHOWNORMAL, false) != 0) return failed();
      return 0;
    }
    default:
      return 2;
  }
}

// ---- The menu ----

std::wstring NewFileFromEntry(TShellNew& helper, int index, const std::wstring& folder) {
  if (helper.GetKind(index) == Command) {
    helper.CreateNewFile(index, folder, L"");
    return L"";
  }
  std::wstring description, ext;
  helper.GetDescription(index, description);
  helper.GetExtension(index, ext);
  std::wstring name = MakeUniqueFileName(IncludeTrailingBackslash(folder), description + ext, true);
  for (;;) {
    std::wstring buttons = LoadMessageText(1) + L"|" + LoadMessageText(2);
    if (InputBox(LoadMessageText(3000), LoadMessageText(3001), L"", buttons, name, 0, 1, L"", false) != 0) return L"";
    name = Trim(name);
    if (name.empty()) return L"";
    if (name.find(L'.') == std::wstring::npos) name += ext;
    if (BadFileName(name)) {
      MessageBeep(MB_ICONHAND);
      continue;
    }
    int r = helper.CreateNewFile(index, folder, name);
    if (r == 0) return name;
    if (r == 2) return L"";
  }
}

std::wstring ShowNewFileMenu(TShellNew& helper, TMFList& list, HWND owner, int x, int y) {
  helper.Scan();
  if (helper.Count() == 0) {
    MessageBeep(MB_OK);
    return L"";
  }
  THanPopupMenu menu(nullptr);
  int chosen = -1;
  for (int i = 0; i < helper.Count(); ++i) {
    std::wstring caption;
    helper.GetDescription(i, caption);
    menu.Add(caption, [&chosen, i](TMenuItemRec&) { chosen = i; });
    if (i == 0 && helper.FirstIsLink()) menu.Add(L"-");
  }
  menu.Popup(x, y, owner);
  if (chosen < 0) return L"";
  std::wstring folder = list.Path;
  std::wstring name = NewFileFromEntry(helper, chosen, folder);
  if (name.empty()) return name;
  list.Reread();
  int at = list.IndexOfName(name);
  if (at >= 0) list.ItemIndex = at;
  return name;
}

void InstallNewFileCommand() {
  RegisterCommand(1701, [](TQ7XForm& form, TShiftState) {
    TMFList* list = form.ActiveList();
    TPanelView* panel = form.ActivePanel();
    if (!list || !panel || !form.ShellNewHelper || !list->ArcFileName.empty()) return;
    POINT at = panel->ClientToScreen(POINT{0, 0});
    std::wstring name = ShowNewFileMenu(*form.ShellNewHelper, *list, form.Handle(), at.x, at.y);
    if (name.empty()) return;
    // The list was reread with the focus on the new item.
    panel->Invalidate();
    if (TPanelView* other = form.OtherPanel()) other->Reread();
  });
}
