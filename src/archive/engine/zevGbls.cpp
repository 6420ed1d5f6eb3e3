#include "archive/engine/zevGbls.h"

#include "foundation/MYTOOL.h"

#include <cmath>

#include "foundation/TextCodec.h"

namespace {
struct TErrorText {
  int Code;
  const char* Text;
};
constexpr TErrorText kErrorTexts[] = {
    {zevBadFileHeader, "Bad file header"},
    {zevBadBlock, "Bad block"},
    {zevBadHuffmanCode, "Bad Huffman code"},
    {zevIncorrectBits, "Incorrect number of bits"},
    {zevBrokenChain, "Broken multi-volume chain"},
    {zevWriteError, "Error writing to file"},
    {zevCloseError, "Error closing file"},
    {zevIncompleteCodeSet, "Incomplete code set"},
    {zevCorruptInput, "Corrupt input"},
    {zevCrcError, "File fails CRC check"},
    {zevInvalidDecodeTree, "File contains invalid decode tree"},
    {zevSpanLabelError, "Error writing spanned-disk label"},
    {zevNotAccessible, "is not accessible"},
    {zevWriteProtected, "disk is write protected"},
    {zevEofNotFound, "EOF not found"},
    {zevFileNotFound, "File not found"},
    {zevOpenError, "Error opening file"},
    {zevReadError, "Error reading file or unexpected end of file"},
    {zevCreateError, "Error creating file"},
    {zevInvalidArcType, "Invalid or unsupported archive type for this operation"},
    {zevInvalidFileName, "Invalid file name"},
    {zevMaxVolumes, "Maximum volumes 999"},
    {zevOutOfMemory, "Out of memory"},
    {zevUnrarNotFound, "Unrar.dll not found"},
    {zevCabinetNotFound, "Cabinet.dll not found"},
    {zevMultiPartGzip, "Multi-Part GZIP files not supported"},
    {zevEventNotAssigned, "Required event not assigned"},
    {zevPasswordProtected, "Password protected"},
    {zevAmbiguousTree, "Ambiguous Shannon-Fano decode tree encountered"},
    {zevStackOverflow, "Stack overflow"},
    {zevUnsupportedMethod, "Unsupported compression method"},
    {zevUnknownFileType, "Unknown file type"},
    {zevVersionError, "Version error"},
    {zevUserCanceled, "User canceled"},
    {zevInvalidPassword, "Invalid password"},
    {zevNothingToDo, "Nothing to do"},
    {zevDirNotExist, "Directory does not exist... Create?"},
};

constexpr TDateTime kDosEpoch = 29221.0;  // 1980-01-01 00:00
constexpr TDateTime kUnixEpoch = 25569.0; // 1970-01-01 00:00

// 0 Sunday .. 6 Saturday; day 0 (1899-12-30) was a Saturday.
int DayOfWeek(int64_t day) { return static_cast<int>(((day + 6) % 7 + 7) % 7); }

// The moment of a zone transition in the given year (local time).
TDateTime TransitionDate(const TzevZoneDate& z, int year) {
  if (z.Month < 1 || z.Month > 12) return 0;
  TDateTime time = (z.Hour * 60.0 + z.Minute) / 1440.0;
  if (z.Year != 0) {
    int day = z.Day < 1 ? 1 : (z.Day > DaysInMonth(z.Year, z.Month) ? DaysInMonth(z.Year, z.Month) : z.Day);
    return EncodeDateTime(z.Year, z.Month, day, 0, 0, 0) + time;
  }
  int64_t first = static_cast<int64_t>(EncodeDateTime(year, z.Month, 1, 0, 0, 0));
  int64_t day = first + ((z.DayOfWeek - DayOfWeek(first)) % 7 + 7) % 7;
  if (z.Day >= 5) {
    int64_t last = first + DaysInMonth(year, z.Month) - 1;
    while (day + 7 <= last) day += 7;
  } else if (z.Day > 1) {
    day += 7 * (z.Day - 1);
  }
  return static_cast<TDateTime>(day) + time;
}

int YearOf(TDateTime date) {
  int y, mo, d, h, mi, s, ms;
  if (!DecodeDateTime(date, y, mo, d, h, mi, s, ms)) return 0;
  return y;
}
}  // namespace

const char* EngineErrorText(int code) {
  for (const auto& e : kErrorTexts)
    if (e.Code == code) return e.Text;
  return "";
}

// ---- Paths and names ----

std::wstring AppendBackslash(std::wstring_view path) { return IncludeTrailingBackslash(path); }

std::wstring RemoveBackslash(std::wstring_view path) { return ExcludeTrailingBackslash(path); }

std::wstring JoinDirName(std::wstring_view dir, std::wstring_view name) {
  if (dir.empty()) return {};
  std::wstring r(dir);
  if (r.back() != L'\\') r += L'\\';
  return r.append(name);
}

std::wstring SlashToBackslash(std::wstring_view path) { return MbcsSlashToBackslash(path); }

std::wstring NormalizeSeparators(std::wstring_view name) {
  std::wstring r = MbcsSlashToBackslash(name);
  size_t b = r.find_first_not_of(L' ');
  if (b == std::wstring::npos) return {};
  size_t e = r.find_last_not_of(L' ');
  return r.substr(b, e - b + 1);
}

std::string NormalizeSeparators(std::string_view name) {
  std::string r(name);
  for (auto& c : r)
    if (c == '/' || static_cast<unsigned char>(c) == 0xFF) c = '\\';
  size_t b = r.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  size_t e = r.find_last_not_of(' ');
  return r.substr(b, e - b + 1);
}

std::wstring FixStoredName(std::string_view name, bool oem) {
  return SlashToBackslash(oem ? OemToWide(name) : AnsiToWide(name));
}

std::string StoredFormName(std::wstring_view name, bool oem) {
  // The separator is swapped before the conversion so that no trail byte is ever touched.
  std::wstring w(name);
  for (auto& c : w)
    if (c == L'\\') c = L'/';
  std::string out;
  if (oem)
    WideToOem(w, out);
  else
    WideToAnsi(w, out);
  return out;
}

std::string AnsiToOemName(std::string_view name, bool oem) {
  if (!oem) return std::string(name);
  std::string out;
  WideToOem(AnsiToWide(name), out);
  return out;
}

size_t NameStemLength(std::wstring_view name) {
  size_t p = name.rfind(L'.');
  return p == std::wstring_view::npos ? name.size() : p;
}

std::wstring ReplaceExtension(std::wstring_view name, std::wstring_view ext) {
  return std::wstring(name.substr(0, NameStemLength(name))).append(ext);
}

std::wstring FileNameOf(std::wstring_view path) {
  size_t p = path.find_last_of(L"\\/:");
  return std::wstring(p == std::wstring_view::npos ? path : path.substr(p + 1));
}

std::wstring FolderOf(std::wstring_view path) {
  size_t p = path.find_last_of(L"\\/:");
  return p == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, p + 1));
}

bool IsUNC(std::wstring_view path) { return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\'; }

void SplitAt(std::wstring& s, wchar_t separator, std::wstring& head) {
  size_t p = s.find(separator);
  if (p == std::wstring::npos) {
    head = s;
    s.clear();
  } else {
    head = s.substr(0, p);
    s.erase(0, p + 1);
  }
}

bool IsAllDigits(std::wstring_view s) {
  for (wchar_t c : s)
    if (c < L'0' || c > L'9') return false;
  return true;
}

std::string ShiftChars(bool subtract, std::string_view s, int delta) {
  std::string r(s);
  for (auto& c : r) {
    unsigned v = static_cast<unsigned char>(c);
    c = static_cast<char>(subtract ? v - static_cast<unsigned>(delta) : v + static_cast<unsigned>(delta));
  }
  return r;
}

// ---- Numbers ----

int Percent(int64_t done, int64_t total) {
  if (total == 0) return 0;
  double p = std::round(static_cast<double>(done) * 100.0 / static_cast<double>(total));
  return p < 0 ? 0 : (p > 100 ? 100 : static_cast<int>(p));
}

int PercentF(double done, double total) {
  if (!(total > 0)) return 0;
  double p = std::round(done * 100.0 / total);
  if (!(p > 0)) return 0;
  return p > 100 ? 100 : static_cast<int>(p);
}

int CompressRatio(int64_t size, int64_t packed) {
  if (size <= packed) return 0;
  return static_cast<int>(std::llround(static_cast<double>(size - packed) * 100.0 / static_cast<double>(size)));
}

int64_t OctalToInt(std::string_view s) {
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '7') continue;
    if (v > (static_cast<uint64_t>(INT64_MAX) >> 3)) return INT64_MAX;
    v = v * 8 + static_cast<uint64_t>(c - '0');
  }
  return static_cast<int64_t>(v);
}

void IntToOctal(uint64_t value, int width, bool nulEnd, char* buffer) {
  if (width <= 0 || !buffer) return;
  for (int i = 0; i < width; ++i) buffer[i] = '0';
  buffer[width - 1] = nulEnd ? '\0' : ' ';
  for (int i = width - 2; i >= 0 && value != 0; --i, value >>= 3) buffer[i] = static_cast<char>('0' + (value & 7));
}

// ---- Dates ----

TDateTime DosDateTimeToDateTime(int32_t dosDateTime) {
  uint32_t v = static_cast<uint32_t>(dosDateTime);
  int year = 1980 + static_cast<int>(v >> 25);
  int month = static_cast<int>((v >> 21) & 0x0F);
  int day = static_cast<int>((v >> 16) & 0x1F);
  int hour = static_cast<int>((v >> 11) & 0x1F);
  int minute = static_cast<int>((v >> 5) & 0x3F);
  int second = static_cast<int>(v & 0x1F) * 2;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 59)
    return kDosEpoch;
  return EncodeDateTime(year, month, day, hour, minute, second);
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

TDateTime IncMonth(int months, TDateTime date) {
  int y, mo, d, h, mi, s, ms;
  if (!DecodeDateTime(date, y, mo, d, h, mi, s, ms)) return date;
  int64_t total = static_cast<int64_t>(y) * 12 + (mo - 1) + months;
  int64_t ny = total >= 0 ? total / 12 : -((-total + 11) / 12);
  int nm = static_cast<int>(total - ny * 12) + 1;
  if (ny < 1 || ny > 9999) return date;
  int dim = DaysInMonth(static_cast<int>(ny), nm);
  return EncodeDateTime(static_cast<int>(ny), nm, d > dim ? dim : d, h, mi, s, ms);
}

TzevTimeZone& EngineTimeZone() {
  static TzevTimeZone zone = ReadSystemTimeZone();
  return zone;
}

bool IsDaylightTime(TDateTime date) {
  const TzevTimeZone& z = EngineTimeZone();
  if (z.DaylightDate.Month == 0 || z.StandardDate.Month == 0) return false;
  int year = YearOf(date);
  if (year == 0) return false;
  TDateTime daylight = TransitionDate(z.DaylightDate, year);
  TDateTime standard = TransitionDate(z.StandardDate, year);
  if (z.DaylightDate.Month >= z.StandardDate.Month)  // southern hemisphere: summer spans the new year
    return date < standard || date >= daylight;
  return date >= daylight && date < standard;
}

namespace {
int32_t BiasAt(TDateTime date) {
  const TzevTimeZone& z = EngineTimeZone();
  return z.Bias + (IsDaylightTime(date) ? z.DaylightBias : z.StandardBias);
}
}  // namespace

TDateTime LocalToUtc(TDateTime date) { return date + BiasAt(date) / 1440.0; }
TDateTime UtcToLocal(TDateTime date) { return date - BiasAt(date) / 1440.0; }

int64_t DateTimeToUnix(TDateTime date) {
  TDateTime utc = LocalToUtc(date);
  double days = std::floor(utc) - kUnixEpoch;
  if (!(days >= 0)) return 0;
  if (days > 65535) days = 65535;
  double secs = std::round((utc - std::floor(utc)) * 86400.0);
  if (secs > 86399) secs = 86399;
  return static_cast<int64_t>(days) * 86400 + static_cast<int64_t>(secs);
}

TDateTime UnixSecondsToDateTime(int64_t seconds) {
  if (seconds == 0) return kDosEpoch + 1.0 / 1440.0;
  uint64_t a = seconds < 0 ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
  TDateTime utc = kUnixEpoch + static_cast<double>(a / 86400) + static_cast<double>(a % 86400) / 86400.0;
  return UtcToLocal(utc);
}

int32_t UnixToDosDateTime(int64_t seconds) {
  int y, mo, d, h, mi, sec, ms;
  DecodeDateTime(UnixSecondsToDateTime(seconds), y, mo, d, h, mi, sec, ms);
  return FieldsToDosDateTime(y, mo, d, h, mi, sec);
}
