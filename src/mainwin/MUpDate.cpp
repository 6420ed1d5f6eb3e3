#include "mainwin/MUpDate.h"

#include <shellapi.h>
#include <winhttp.h>

#include <memory>
#include <thread>
#include <vector>

#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/HanINI.h"
#include "foundation/Language.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"
#include "foundation/TextCodec.h"
#include "framework/HttpHandle.h"
#include "framework/TextCompare.h"
#include "mainwin/MainMessages.h"

namespace {
constexpr int kTimeoutMs = 5000;
// The answer and the installer are small; anything larger is not what was asked for.
constexpr size_t kMaxAnswer = 64 * 1024;
constexpr size_t kMaxInstaller = 256u * 1024 * 1024;

std::wstring UpdateIni() { return ProgramFolder + L"Update.ini"; }

bool HttpGetLimited(const std::wstring& url, std::string& body, size_t limit) {
  body.clear();
  URL_COMPONENTS uc{};
  uc.dwStructSize = sizeof uc;
  wchar_t host[256] = {}, path[2048] = {};
  uc.lpszHostName = host;
  uc.dwHostNameLength = 256;
  uc.lpszUrlPath = path;
  uc.dwUrlPathLength = 2048;
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &uc)) return false;
  THttpHandle session(WinHttpOpen(L"Velmo", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  WinHttpSetTimeouts(session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
  THttpHandle connect(WinHttpConnect(session.get(), host, uc.nPort, 0));
  if (!connect) return false;
  THttpHandle request(WinHttpOpenRequest(connect.get(), L"GET", path[0] ? path : L"/", nullptr, WINHTTP_NO_REFERER,
                                             WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             uc.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return false;
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) return false;
  if (!WinHttpReceiveResponse(request.get(), nullptr)) return false;
  DWORD status = 0, size = sizeof status;
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &status, &size, WINHTTP_NO_HEADER_INDEX) ||
      status != 200)
    return false;
  for (;;) {
    DWORD avail = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &avail)) return false;
    if (avail == 0) break;
    if (body.size() + avail > limit) return false;
    size_t at = body.size();
    body.resize(at + avail);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), body.data() + at, avail, &read)) return false;
    body.resize(at + read);
  }
  return true;
}

bool ParseDay(const std::wstring& s, SYSTEMTIME& t) {
  int y = 0, m = 0, d = 0;
  if (s.size() != 10 || swscanf(s.c_str(), L"%4d-%2d-%2d", &y, &m, &d) != 3) return false;
  if (y < 1601 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  t = SYSTEMTIME{};
  t.wYear = static_cast<WORD>(y), t.wMonth = static_cast<WORD>(m), t.wDay = static_cast<WORD>(d);
  return true;
}

int64_t DayNumber(const SYSTEMTIME& t) {
  SYSTEMTIME d{};
  d.wYear = t.wYear, d.wMonth = t.wMonth, d.wDay = t.wDay;
  FILETIME ft;
  if (!SystemTimeToFileTime(&d, &ft)) return 0;
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime, u.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>(u.QuadPart / (10000000ull * 86400));
}

std::wstring FileNameOfUrl(const std::wstring& url) {
  std::wstring s = url.substr(0, url.find_first_of(L"?#"));
  size_t slash = s.find_last_of(L'/');
  std::wstring name = slash == std::wstring::npos ? s : s.substr(slash + 1);
  // Only a plain name may become a file in the Update folder.
  for (wchar_t c : name)
    if (c < 32 || wcschr(L"\\/:*?\"<>|", c)) return L"";
  if (name.empty() || name == L"." || name == L"..") return L"";
  return name;
}

void PostAnswer(HWND wnd, std::unique_ptr<TUpdateAnswer> answer) {
  if (PostMessageW(wnd, WM_UPDATECHECKED, 0, reinterpret_cast<LPARAM>(answer.get()))) answer.release();
}
}  // namespace

TUpdateSchedule ReadUpdateSchedule(const std::wstring& iniFile) {
  THanINI ini(iniFile);
  ini.ReadOnly = true;
  TUpdateSchedule s;
  s.Check = ini.ReadIntegerMax(L"Update", L"Check", 2, 3);
  if (s.Check < 0) s.Check = 2;
  s.Last = Trim(ini.ReadString(L"Update", L"Last", L""));
  s.Server = Trim(ini.ReadString(L"Update", L"Server", L""));
  return s;
}

bool WriteUpdateLast(const std::wstring& iniFile, const std::wstring& day) {
  THanINI ini(iniFile);
  ini.WriteString(L"Update", L"Last", day);
  bool ok = ini.UpdateFile();
  if (!ok) ini.ReadOnly = true;
  return ok;
}

std::wstring DayText(const SYSTEMTIME& t) {
  wchar_t buf[16];
  swprintf(buf, 16, L"%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
  return buf;
}

bool UpdateCheckDue(const TUpdateSchedule& s, const SYSTEMTIME& today) {
  if (s.Check <= 0 || s.Server.empty()) return false;
  SYSTEMTIME last;
  if (!ParseDay(s.Last, last)) return true;
  int64_t days = DayNumber(today) - DayNumber(last);
  if (days < 0) return true;  // a date in the future: the clock was wrong then
  switch (s.Check) {
    case 1: return days >= 1;
    case 2: return days >= 7;
    default: return days >= 30;
  }
}

int CompareVersions(const std::wstring& a, const std::wstring& b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    uint64_t x = 0, y = 0;
    while (i < a.size() && a[i] != L'.') {
      if (iswdigit(a[i]) && x < 1000000000) x = x * 10 + (a[i] - L'0');
      ++i;
    }
    while (j < b.size() && b[j] != L'.') {
      if (iswdigit(b[j]) && y < 1000000000) y = y * 10 + (b[j] - L'0');
      ++j;
    }
    if (x != y) return x < y ? -1 : 1;
    if (i < a.size()) ++i;
    if (j < b.size()) ++j;
  }
  return 0;
}

bool ParseUpdateAnswer(const std::string& text, const std::wstring& server, TUpdateAnswer& answer) {
  TTextEncoding enc;
  TStringList lines;
  lines.SetText(DecodeText(text, enc));
  answer = TUpdateAnswer{};
  answer.Server = server;
  for (int i = 0; i < lines.Count(); ++i) {
    std::wstring line = lines[i];
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) continue;
    std::wstring key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (SameTextI(key, L"Version")) answer.Version = value;
    else if (SameTextI(key, L"File")) answer.File = value;
  }
  if (answer.Version.empty()) return false;
  if (!answer.File.empty() && answer.File.find(L"://") == std::wstring::npos) {
    // A path on the same server.
    size_t scheme = server.find(L"://");
    size_t hostEnd = scheme == std::wstring::npos ? std::wstring::npos : server.find(L'/', scheme + 3);
    std::wstring base = hostEnd == std::wstring::npos ? server : server.substr(0, hostEnd);
    answer.File = base + (answer.File[0] == L'/' ? L"" : L"/") + answer.File;
  }
  answer.Ok = true;
  return true;
}

bool HttpGet(const std::wstring& url, std::string& body) { return HttpGetLimited(url, body, kMaxAnswer); }

bool StartUpdateCheck(HWND notifyWnd, const std::wstring& server) {
  if (server.empty() || !notifyWnd) return false;
  std::thread([notifyWnd, server] {
    auto answer = std::make_unique<TUpdateAnswer>();
    std::string body;
    if (HttpGet(server, body)) ParseUpdateAnswer(body, server, *answer);
    answer->Server = server;
    PostAnswer(notifyWnd, std::move(answer));
  }).detach();
  return true;
}

bool StartScheduledUpdateCheck(HWND notifyWnd) {
  TUpdateSchedule s = ReadUpdateSchedule(UpdateIni());
  SYSTEMTIME today;
  GetLocalTime(&today);
  if (!UpdateCheckDue(s, today)) return false;
  return StartUpdateCheck(notifyWnd, s.Server);
}

bool DownloadAndRunInstaller(const TUpdateAnswer& answer, std::wstring& file) {
  file.clear();
  std::wstring name = FileNameOfUrl(answer.File);
  if (name.empty()) return false;
  std::string bytes;
  if (!HttpGetLimited(answer.File, bytes, kMaxInstaller) || bytes.empty()) return false;
  std::wstring folder = ProgramFolder + L"Update\\", created;
  ForceFolders(folder, created);
  file = folder + name;
  if (!SafeWriteFile(file, bytes)) return false;
  HINSTANCE r = ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

bool HandleUpdateAnswer(HWND, LPARAM lp) {
  std::unique_ptr<TUpdateAnswer> answer(reinterpret_cast<TUpdateAnswer*>(lp));
  if (!answer || !answer->Ok) return false;
  SYSTEMTIME today;
  GetLocalTime(&today);
  WriteUpdateLast(UpdateIni(), DayText(today));
  if (CompareVersions(answer->Version, ProductVersion) <= 0 || answer->File.empty()) return false;
  std::wstring text = LoadMessageText(10801);
  size_t at = text.find(L"%S");
  if (at != std::wstring::npos) text.replace(at, 2, answer->Version);
  if (!AskYesNo(text, true)) return false;
  std::wstring file;
  if (DownloadAndRunInstaller(*answer, file)) return true;
  ShowErrorBox(LoadMessageText(10802));
  return false;
}
