// Starting programs.
#include <windows.h>

#include "foundation/MYTOOL.h"
#include "framework/Handles.h"
#include "framework/TextCompare.h"

namespace {
// The program part of a command line: the quoted text, or up to the first blank.
std::wstring FirstToken(std::wstring_view cmd) {
  size_t i = 0;
  while (i < cmd.size() && (cmd[i] == L' ' || cmd[i] == L'\t')) ++i;
  if (i < cmd.size() && cmd[i] == L'"') {
    size_t end = cmd.find(L'"', i + 1);
    return std::wstring(cmd.substr(i + 1, end == std::wstring_view::npos ? std::wstring_view::npos : end - i - 1));
  }
  size_t end = cmd.find_first_of(L" \t", i);
  return std::wstring(cmd.substr(i, end == std::wstring_view::npos ? std::wstring_view::npos : end - i));
}

// Batch files run through the command interpreter, which would take "&", "|", "<", ">" and
// line breaks in their arguments as the start of another command.
bool RunsThroughInterpreter(std::wstring_view program) {
  size_t dot = program.rfind(L'.');
  if (dot == std::wstring_view::npos || program.find(L'\\', dot) != std::wstring_view::npos) return false;
  std::wstring_view ext = program.substr(dot);
  return SameTextI(ext, L".bat") || SameTextI(ext, L".cmd");
}

// The interpreter's operators may stand only inside double quotes, the quotes must pair up,
// and no line break may stand anywhere.
bool SafeForInterpreter(std::wstring_view s) {
  bool quoted = false;
  for (wchar_t c : s) {
    if (c == L'\r' || c == L'\n' || c == 0) return false;
    if (c == L'"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && (c == L'&' || c == L'|' || c == L'<' || c == L'>' || c == L'^')) return false;
  }
  return !quoted;
}
}  // namespace

int RunProgram(const wchar_t* appName, const wchar_t* params, std::wstring_view dir, WORD showCmd, bool wait) {
  std::wstring p = params ? params : L"";
  std::wstring cmd, program;
  if (appName) {
    program = appName;
    // A quote inside the name would end the quoting early and let the rest run as arguments.
    if (program.empty() || program.find(L'"') != std::wstring::npos) return -1;
    cmd = L"\"" + program + L"\"";
    if (!p.empty()) cmd += L" " + p;
  } else {
    cmd = p;
    program = FirstToken(p);
  }
  if (cmd.empty()) return -1;
  if (RunsThroughInterpreter(program) && !SafeForInterpreter(appName ? p : cmd)) return -1;

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = showCmd;
  PROCESS_INFORMATION pi{};
  std::wstring d(dir);
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                      nullptr, d.empty() ? nullptr : d.c_str(), &si, &pi))
    return -1;
  TProcessHandles process(pi);
  if (!wait) return 0;
  bool quit = false;
  int quitCode = 0;
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 20, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quitCode = static_cast<int>(msg.wParam);
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  if (quit) PostQuitMessage(quitCode);  // the caller's loop still has to see it
  return static_cast<int>(code);
}
