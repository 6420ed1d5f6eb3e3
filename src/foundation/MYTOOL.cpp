#include "foundation/MYTOOL.h"

#include <cmath>

#include "framework/TextCompare.h"

std::wstring FormatThousands(int64_t value) {
  if (value <= 0) return L"0";
  std::wstring digits = std::to_wstring(value), out;
  size_t lead = digits.size() % 3;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (i - lead) % 3 == 0 && i >= lead) out += L',';
    out += digits[i];
  }
  return out;
}

std::wstring TrimLeft(std::wstring_view s) {
  size_t a = 0;
  while (a < s.size() && s[a] <= L' ') ++a;
  return std::wstring(s.substr(a));
}

std::wstring TrimRight(std::wstring_view s) {
  size_t b = s.size();
  while (b > 0 && s[b - 1] <= L' ') --b;
  return std::wstring(s.substr(0, b));
}

std::wstring Trim(std::wstring_view s) {
  size_t a = 0, b = s.size();
  while (a < b && s[a] <= L' ') ++a;
  while (b > a && s[b - 1] <= L' ') --b;
  return std::wstring(s.substr(a, b - a));
}

std::wstring RemoveSpaces(std::wstring_view s) {
  std::wstring r;
  for (wchar_t c : s)
    if (c != L' ') r += c;
  return r;
}

bool StartsText(std::wstring_view prefix, std::wstring_view s) {
  return s.size() >= prefix.size() && CompareAsciiI(s.substr(0, prefix.size()), prefix) == 0;
}

std::wstring QuoteIfSpaces(std::wstring_view s) {
  std::wstring t = Trim(s);
  return t.find(L' ') == std::wstring::npos ? t : L"\"" + t + L"\"";
}

namespace {
std::wstring UpperAt(std::wstring s, size_t i) {
  s[i] = UpperCase(std::wstring_view(&s[i], 1))[0];
  return s;
}
bool IsAsciiWordChar(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'\'' ||
         c == L'.';
}
}  // namespace

std::wstring CapitalizeWords(std::wstring_view s) {
  std::wstring r = LowerCase(s);
  for (size_t i = 0; i < r.size(); ++i) {
    bool start = i == 0 || (r[i - 1] < 0x80 && !IsAsciiWordChar(r[i - 1]));
    if (start) r = UpperAt(std::move(r), i);
  }
  return r;
}

std::wstring CapitalizePath(std::wstring_view s) {
  std::wstring r = LowerCase(s);
  for (size_t i = 0; i < r.size(); ++i)
    if (i == 0 || r[i - 1] == L'\\') r = UpperAt(std::move(r), i);
  return r;
}

namespace {
bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
}  // namespace

std::wstring MbcsCopy(std::wstring_view s, int start, int count) {
  if (count <= 0) return {};
  const size_t size = s.size();
  size_t first = start > 1 ? static_cast<size_t>(start) - 1 : 0;
  if (first >= size) return {};
  size_t end = static_cast<size_t>(count) >= size - first ? size : first + static_cast<size_t>(count);
  if (first > 0 && IsLowSurrogate(s[first]) && IsHighSurrogate(s[first - 1])) --first;
  if (end < size && IsLowSurrogate(s[end]) && IsHighSurrogate(s[end - 1])) ++end;
  return std::wstring(s.substr(first, end - first));
}

std::wstring MbcsRightStr(std::wstring_view s, int count) {
  if (count <= 0) return {};
  if (static_cast<size_t>(count) >= s.size()) return std::wstring(s);
  return MbcsCopy(s, static_cast<int>(s.size()) - count + 1, count);
}

std::wstring MbcsDeleteLastChar(std::wstring_view s) {
  size_t n = s.size();
  if (n == 0) return {};
  --n;
  if (n > 0 && IsLowSurrogate(s[n]) && IsHighSurrogate(s[n - 1])) --n;
  return std::wstring(s.substr(0, n));
}

std::wstring MbcsSlashToBackslash(std::wstring_view s) {
  std::wstring r(s);
  for (auto& c : r)
    if (c == L'/') c = L'\\';
  return r;
}

// ---- Dates ----

namespace {
// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
constexpr int64_t kDaysTo1970 = 25569;  // 1899-12-30 .. 1970-01-01
int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
}  // namespace

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return days[month - 1] + (month == 2 && leap ? 1 : 0);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  double days = static_cast<double>(DaysFromCivil(year, month, day) + kDaysTo1970);
  double frac = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / 86400000.0;
  return days >= 0 ? days + frac : days - frac;
}

bool DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec) {
  if (!(t > -693594.0 && t < 2958466.0)) return false;
  double whole = std::trunc(t);
  int64_t ms = static_cast<int64_t>(std::llround(std::fabs(t - whole) * 86400000.0));
  if (ms >= 86400000) ms = 86399999;
  CivilFromDays(static_cast<int64_t>(whole) - kDaysTo1970, year, month, day);
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
  return true;
}

TDateTime DosToDateTimeClamped(int32_t dosDateTime) {
  uint32_t v = static_cast<uint32_t>(dosDateTime);
  int year = 1980 + static_cast<int>((v >> 25) & 0x7F);
  int month = Clamp(static_cast<int>((v >> 21) & 0x0F), 1, 12);
  int day = Clamp(static_cast<int>((v >> 16) & 0x1F), 1, DaysInMonth(year, month));
  int hour = Clamp(static_cast<int>((v >> 11) & 0x1F), 0, 23);
  int minute = Clamp(static_cast<int>((v >> 5) & 0x3F), 0, 59);
  int second = Clamp(static_cast<int>(v & 0x1F) * 2, 0, 59);
  return EncodeDateTime(year, month, day, hour, minute, second);
}

int32_t FieldsToDosDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return static_cast<int32_t>((1u << 21) | (1u << 16));  // 1980-01-01 00:00:00
  if (year > 2107) year = 2107, month = 12, day = 31, hour = 23, minute = 59, second = 58;
  uint32_t v = (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(month) << 21) |
               (static_cast<uint32_t>(day) << 16) | (static_cast<uint32_t>(hour) << 11) |
               (static_cast<uint32_t>(minute) << 5) | static_cast<uint32_t>(second / 2);
  return static_cast<int32_t>(v);
}

int32_t UnixTimeToDosDateTimeOffset(int64_t seconds, int64_t offsetSeconds) {
  int64_t t = seconds + offsetSeconds;
  int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  int64_t rem = t - days * 86400;
  int y, m, d;
  CivilFromDays(days, y, m, d);
  return FieldsToDosDateTime(y, m, d, static_cast<int>(rem / 3600), static_cast<int>(rem / 60 % 60),
                             static_cast<int>(rem % 60));
}

void FileTimeToFields(uint64_t fileTime, int& year, int& month, int& day, int& hour, int& minute, int& second,
                      int& msec) {
  // 1601-01-01 is 134774 days before 1970-01-01.
  uint64_t ms = fileTime / 10000;
  int64_t days = static_cast<int64_t>(ms / 86400000) - 134774;
  uint64_t rem = ms % 86400000;
  CivilFromDays(days, year, month, day);
  hour = static_cast<int>(rem / 3600000);
  minute = static_cast<int>(rem / 60000 % 60);
  second = static_cast<int>(rem / 1000 % 60);
  msec = static_cast<int>(rem % 1000);
}
