#pragma once
// The program's helper routines: text, numbers and dates (portable, MYTOOL.cpp) and their
// Windows-bound counterparts (MYTOOL_win.cpp).
#include <cstdint>
#include <string>
#include <string_view>

// Days since 1899-12-30, the fraction the time of day.
using TDateTime = double;

// ---- Text and numbers ----

// Value with digit grouping and no decimals ("1,234,567"); "0" for a negative value.
std::wstring FormatThousands(int64_t value);
inline void FormatThousands(std::wstring& s, int64_t value) { s = FormatThousands(value); }
// Whole numbers: optional leading blanks and sign, decimal or hexadecimal after "$" (or
// "0x"); ok is false on a syntax error or a value out of range. Hexadecimal takes up to the
// type's width in digits and wraps into the signed type.
int32_t TryStrToInt(std::wstring_view s, bool& ok);
int64_t TryStrToInt64(std::wstring_view s, bool& ok);
// The settings reader's integer parse: the same rules.
inline int32_t IniTryStrToInt(std::wstring_view s, bool& ok) { return TryStrToInt(s, ok); }
inline int32_t StrToIntDef(std::wstring_view s, int32_t def) {
  bool ok;
  int32_t v = TryStrToInt(s, ok);
  return ok ? v : def;
}
// Trims blanks and control characters from both ends.
std::wstring Trim(std::wstring_view s);
std::wstring TrimLeft(std::wstring_view s);
std::wstring TrimRight(std::wstring_view s);
std::wstring RemoveSpaces(std::wstring_view s);
// s begins with prefix, ASCII letters compared without case.
bool StartsText(std::wstring_view prefix, std::wstring_view s);
// s trimmed, in double quotes when it holds a blank.
std::wstring QuoteIfSpaces(std::wstring_view s);
// Lower-cased; the first character and each one after an ASCII character that is not a
// letter, digit, "'" or "." upper-cased.
std::wstring CapitalizeWords(std::wstring_view s);
// Lower-cased; the first character and each one after "\" upper-cased.
std::wstring CapitalizePath(std::wstring_view s);
constexpr int64_t MakeInt64(uint32_t hi, uint32_t lo) {
  return static_cast<int64_t>((static_cast<uint64_t>(hi) << 32) | lo);
}

// ---- Dates ----

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec = 0);
// Splits a TDateTime into its fields; false for a value outside years 1..9999.
bool DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec);
int DaysInMonth(int year, int month);
// A DOS date and time (date in the high word) with each field clamped to a valid value
// (year from 1980, seconds doubled).
TDateTime DosToDateTimeClamped(int32_t dosDateTime);
// Broken-down fields to a DOS value, clamped to 1980-01-01 00:00:00 .. 2107-12-31 23:59:58.
int32_t FieldsToDosDateTime(int year, int month, int day, int hour, int minute, int second);
// Seconds since 1970-01-01 plus an offset in seconds (the local zone's, or 0 for UTC) as a
// DOS value, clamped to the DOS range instead of wrapping.
int32_t UnixTimeToDosDateTimeOffset(int64_t seconds, int64_t offsetSeconds);
// A file time (100 ns units since 1601-01-01) to its broken-down fields.
void FileTimeToFields(uint64_t fileTime, int& year, int& month, int& day, int& hour, int& minute, int& second,
                      int& msec);

// ---- Windows-bound (MYTOOL_win.cpp) ----
#ifdef _WIN32
#include <windows.h>
int64_t GetFindDataSize(const WIN32_FIND_DATAW& findData);
// A UTC file time in local time, its fields clamped to valid values.
TDateTime FileTimeToLocalDateTime(const FILETIME& fileTime);
// Seconds since 1970-01-01 as a DOS value, in local time when toLocal.
int32_t UnixTimeToDosDateTime(uint32_t seconds, bool toLocal);
// The DOS value taken as local time, converted to a UTC file time.
void DosDateTimeToUtcFileTime(int32_t dosDateTime, FILETIME& fileTime);
#endif
