#pragma once
// The update check. "Update.ini" in the program's folder holds the schedule:
//   [Update] Check = 0 never, 1 daily, 2 weekly (default), 3 monthly
//            Last  = the day of the last answered check, "YYYY-MM-DD"
//            Server = the address of the version file (none: no check)
// The server answers with text lines "Version=1.2.3" and "File=<address of the installer>"
// (an address without scheme and host is taken on the same server). The question runs on a
// worker thread, so start-up never waits for the network; its answer comes back to a window
// as WM_UPDATECHECKED. A newer version is offered; the installer is downloaded into the
// program's "Update" folder (written beside and renamed when complete) and started, and the
// caller then closes the program.
#include <windows.h>

#include <cstdint>
#include <string>

constexpr const wchar_t* ProductVersion = L"1.0.0";

struct TUpdateSchedule {
  int32_t Check = 2;
  std::wstring Last;
  std::wstring Server;
};

TUpdateSchedule ReadUpdateSchedule(const std::wstring& iniFile);
bool WriteUpdateLast(const std::wstring& iniFile, const std::wstring& day);
// The day as "YYYY-MM-DD".
std::wstring DayText(const SYSTEMTIME& t);
// Due when checks are on, a server is named, and no check was answered within the period
// (a Last that cannot be read counts as never).
bool UpdateCheckDue(const TUpdateSchedule& s, const SYSTEMTIME& today);
// -1, 0 or 1 comparing dotted version numbers ("1.10" is above "1.9").
int CompareVersions(const std::wstring& a, const std::wstring& b);

struct TUpdateAnswer {
  bool Ok = false;           // the server answered
  std::wstring Version;      // the newest version
  std::wstring File;         // the installer's address, absolute
  std::wstring Server;       // the address asked
};
// Reads the answer text; false when it names no version.
bool ParseUpdateAnswer(const std::string& text, const std::wstring& server, TUpdateAnswer& answer);

// A blocking HTTP GET (timeouts of a few seconds); false on any failure.
bool HttpGet(const std::wstring& url, std::string& body);

// Starts the scheduled check when due; its answer is posted to notifyWnd. False when no check
// was started.
bool StartScheduledUpdateCheck(HWND notifyWnd);
// Starts a check now whatever the schedule says (the menu command).
bool StartUpdateCheck(HWND notifyWnd, const std::wstring& server);
// Takes the posted answer (and frees it): records the day, offers a newer version, downloads
// and starts its installer. True when the installer was started (the caller closes).
bool HandleUpdateAnswer(HWND owner, LPARAM answer);
// Downloads to the "Update" folder of the program and starts the installer; true when started.
bool DownloadAndRunInstaller(const TUpdateAnswer& answer, std::wstring& file);
