#pragma once
// The archive engine's shared ground: its error numbers with their English texts and the
// exception classes it raises, and the small routines for names, numbers and dates that every
// format uses. Portable (zevGbls.cpp); the system's time zone is read by zevGbls_win.cpp (the
// host build uses UTC, zevGbls_posix.cpp).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "foundation/MYTOOL.h"

// ---- Error numbers ----

enum : int {
  zevBadFileHeader = 25110,
  zevBadBlock = 25111,
  zevBadHuffmanCode = 25120,
  zevIncorrectBits = 25134,
  zevBrokenChain = 25135,
  zevWriteError = 25136,
  zevCloseError = 25138,
  zevIncompleteCodeSet = 25139,
  zevCorruptInput = 25140,
  zevCrcError = 25151,
  zevInvalidDecodeTree = 25152,
  zevSpanLabelError = 25154,
  zevNotAccessible = 25170,
  zevWriteProtected = 25171,
  zevEofNotFound = 25172,
  zevFileNotFound = 25192,
  zevOpenError = 25235,
  zevReadError = 25236,
  zevCreateError = 25237,
  zevInvalidArcType = 25243,
  zevInvalidFileName = 25244,
  zevMaxVolumes = 25251,
  zevOutOfMemory = 25253,
  zevUnrarNotFound = 25260,
  zevCabinetNotFound = 25261,
  zevMultiPartGzip = 25264,
  zevEventNotAssigned = 25270,
  zevPasswordProtected = 25290,
  zevAmbiguousTree = 25293,
  zevStackOverflow = 25298,
  zevUnsupportedMethod = 25326,
  zevUnknownFileType = 25327,
  zevVersionError = 25402,
  zevUserCanceled = 25443,
  zevInvalidPassword = 26517,
  zevNothingToDo = 26859,
  zevDirNotExist = 26899,
};

// The English text of an engine message; "" for a number the engine does not know.
const char* EngineErrorText(int code);

// ---- Exceptions ----

// Base of everything the engine raises.
class EzevException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The engine's own exception: carries the message number and its text.
class E_RAISE : public EzevException {
 public:
  explicit E_RAISE(int code) : EzevException(EngineErrorText(code)), ECode(code) {}
  int ECode;
};

// Stream failures. ECode is the engine's message number when one applies, else 0.
class EStreamError : public EzevException {
 public:
  explicit EStreamError(const std::string& text, int code = 0) : EzevException(text), ECode(code) {}
  int ECode;
};
class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error", zevReadError) {}
};
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error", zevWriteError) {}
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class ERangeError : public EzevException {
 public:
  ERangeError() : EzevException("Range check error") {}
};

// ---- Paths and names ----
// Windows paths are wide strings; stored names inside an archive are bytes in the OEM (or
// ANSI) code page.

std::wstring AppendBackslash(std::wstring_view path);
std::wstring RemoveBackslash(std::wstring_view path);
// "" when dir is empty.
std::wstring JoinDirName(std::wstring_view dir, std::wstring_view name);
std::wstring SlashToBackslash(std::wstring_view path);
// Every "/" becomes "\" and surrounding blanks are trimmed. The name is wide text: a code
// page's double-byte characters were decoded before, so no part of one can pass for "/".
std::wstring NormalizeSeparators(std::wstring_view name);
// The byte form the format readers use on stored names before they are decoded: "/" and
// 0xFF become "\" (no double-byte character of the code pages in use has either as a byte);
// surrounding blanks are trimmed.
std::string NormalizeSeparators(std::string_view name);
// Stored name (OEM bytes when oem, else ANSI bytes) to the Windows form, "/" to "\".
std::wstring FixStoredName(std::string_view name, bool oem);
// Windows name to the stored form (OEM bytes when oem, else ANSI bytes), "\" to "/".
std::string StoredFormName(std::wstring_view name, bool oem);
// ANSI bytes to OEM bytes when oem; unchanged otherwise.
std::string AnsiToOemName(std::string_view name, bool oem);
// Length of the name before its last "." (the whole length when it has none).
size_t NameStemLength(std::wstring_view name);
std::wstring ReplaceExtension(std::wstring_view name, std::wstring_view ext);
// The name after the last "\", "/" or drive colon (the whole text without one), and the
// folder before it with its separator (empty without one).
std::wstring FileNameOf(std::wstring_view path);
std::wstring FolderOf(std::wstring_view path);
bool IsUNC(std::wstring_view path);
// head := the text before the first separator, s := the text after it; without one,
// head := s and s := "".
void SplitAt(std::wstring& s, wchar_t separator, std::wstring& head);
bool IsAllDigits(std::wstring_view s);
// Every byte moved down (subtract) or up by delta, modulo 256.
std::string ShiftChars(bool subtract, std::string_view s, int delta);

// ---- Numbers ----

int Percent(int64_t done, int64_t total);
// The floating-point form: 0 when total is not positive.
int PercentF(double done, double total);
int CompressRatio(int64_t size, int64_t packed);
// The octal digits of s read left to right, other characters skipped; saturates instead of
// overflowing on an over-long field.
int64_t OctalToInt(std::string_view s);
// Fills width bytes with "0", a blank (or with nulEnd a zero byte) last, and the octal digits
// of value right-aligned before it; digits that do not fit are dropped from the left.
void IntToOctal(uint64_t value, int width, bool nulEnd, char* buffer);
constexpr uint32_t SwapWords(uint32_t x) { return (x << 16) | (x >> 16); }

// ---- Dates ----

// A packed DOS date and time (date in the high word); 29221.0 (1980-01-01) when invalid.
TDateTime DosDateTimeToDateTime(int32_t dosDateTime);
bool IsLeapYear(int year);
// The date moved by whole months, the day cut to the last day of the target month.
TDateTime IncMonth(int months, TDateTime date);

// The time-zone rules, as the system gives them. Biases in minutes, UTC = local + bias.
struct TzevZoneDate {
  int Year = 0, Month = 0, DayOfWeek = 0, Day = 0, Hour = 0, Minute = 0;  // Day: week 1..5
};
struct TzevTimeZone {
  int32_t Bias = 0, StandardBias = 0, DaylightBias = 0;
  TzevZoneDate StandardDate, DaylightDate;  // Month 0: no daylight saving
};
// The process-wide time-zone information, read from the system on first use.
TzevTimeZone& EngineTimeZone();
TzevTimeZone ReadSystemTimeZone();

bool IsDaylightTime(TDateTime date);
TDateTime LocalToUtc(TDateTime date);
TDateTime UtcToLocal(TDateTime date);
// Local date to seconds since 1970-01-01 UTC; the day count is kept in 16 bits (up to 2149),
// earlier dates give 0.
int64_t DateTimeToUnix(TDateTime date);
// Seconds since 1970-01-01 UTC to a local date; 0 gives 1980-01-01 00:01.
TDateTime UnixSecondsToDateTime(int64_t seconds);
// Seconds since 1970-01-01 UTC to a packed local DOS date and time.
int32_t UnixToDosDateTime(int64_t seconds);
