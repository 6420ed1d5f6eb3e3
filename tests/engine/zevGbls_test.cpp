#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "archive/engine/zevGbls.h"

namespace {
// Puts a zone in place for one test and restores the system's afterwards.
struct ZoneScope {
  TzevTimeZone saved = EngineTimeZone();
  explicit ZoneScope(const TzevTimeZone& z) { EngineTimeZone() = z; }
  ~ZoneScope() { EngineTimeZone() = saved; }
};
TzevTimeZone Zone(int bias, TzevZoneDate daylight, TzevZoneDate standard) {
  TzevTimeZone z;
  z.Bias = bias;
  z.DaylightBias = -60;
  z.DaylightDate = daylight;
  z.StandardDate = standard;
  return z;
}
// Eastern North America: second Sunday of March 2:00 to first Sunday of November 2:00.
const TzevTimeZone kEastern = Zone(300, {0, 3, 0, 2, 2, 0}, {0, 11, 0, 1, 2, 0});
// Central Europe: last Sunday of March 2:00 to last Sunday of October 3:00.
const TzevTimeZone kEurope = Zone(-60, {0, 3, 0, 5, 2, 0}, {0, 10, 0, 5, 3, 0});
// Sydney: first Sunday of October 2:00 to first Sunday of April 3:00.
const TzevTimeZone kSydney = Zone(-600, {0, 10, 0, 1, 2, 0}, {0, 4, 0, 1, 3, 0});
const TzevTimeZone kUtc{};

TDateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return EncodeDateTime(y, mo, d, h, mi, s); }
constexpr double kSecond = 1.0 / 86400.0;
}  // namespace

TEST(EngineErrors, TextsAndException) {
  EXPECT_STREQ(EngineErrorText(25136), "Error writing to file");
  EXPECT_STREQ(EngineErrorText(25236), "Error reading file or unexpected end of file");
  EXPECT_STREQ(EngineErrorText(25443), "User canceled");
  EXPECT_STREQ(EngineErrorText(26899), "Directory does not exist... Create?");
  EXPECT_STREQ(EngineErrorText(25140), "Corrupt input");
  EXPECT_STREQ(EngineErrorText(12345), "");
  try {
    throw E_RAISE(zevCrcError);
  } catch (const EzevException& e) {
    EXPECT_STREQ(e.what(), "File fails CRC check");
    EXPECT_EQ(dynamic_cast<const E_RAISE&>(e).ECode, 25151);
  }
}

TEST(EngineNames, PathRoutines) {
  EXPECT_EQ(AppendBackslash(L"C:\\a"), L"C:\\a\\");
  EXPECT_EQ(AppendBackslash(L"C:\\a\\"), L"C:\\a\\");
  EXPECT_EQ(AppendBackslash(L""), L"");
  EXPECT_EQ(RemoveBackslash(L"C:\\a\\\\"), L"C:\\a\\");
  EXPECT_EQ(RemoveBackslash(L""), L"");
  EXPECT_EQ(JoinDirName(L"C:\\a", L"b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(JoinDirName(L"C:\\", L"b.txt"), L"C:\\b.txt");
  EXPECT_EQ(JoinDirName(L"", L"b.txt"), L"");
  EXPECT_EQ(SlashToBackslash(L"a/b/c\\d"), L"a\\b\\c\\d");
  EXPECT_EQ(NameStemLength(L"a.b.txt"), 3u);
  EXPECT_EQ(NameStemLength(L"readme"), 6u);
  EXPECT_EQ(ReplaceExtension(L"set.tar.gz", L".tgz"), L"set.tar.tgz");
  EXPECT_EQ(ReplaceExtension(L"set", L".zip"), L"set.zip");
  EXPECT_TRUE(IsUNC(L"\\\\srv"));
  EXPECT_FALSE(IsUNC(L"\\\\"));
  EXPECT_FALSE(IsUNC(L"C:\\x"));
  EXPECT_TRUE(IsAllDigits(L""));
  EXPECT_TRUE(IsAllDigits(L"0123"));
  EXPECT_FALSE(IsAllDigits(L"12a"));
  EXPECT_EQ(ShiftChars(false, "ab\xFF", 2), "cd\x01");
  EXPECT_EQ(ShiftChars(true, "cd\x01", 2), "ab\xFF");

  std::wstring s = L"one,two,three", head;
  SplitAt(s, L',', head);
  EXPECT_EQ(head, L"one");
  EXPECT_EQ(s, L"two,three");
  s = L"last";
  SplitAt(s, L',', head);
  EXPECT_EQ(head, L"last");
  EXPECT_EQ(s, L"");
}

TEST(EngineNames, NormalizeSeparators) {
  // Wide text: every "/" is a separator, whatever character stands before it. ("\uACAF" is a
  // syllable whose second byte in code page 949 is 0xE0, once taken for a lead byte that hid
  // the "/" after it.)
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"  dir/sub/file.txt  ", L"dir\\sub\\file.txt"},
      {L"\uACAF/x", L"\uACAF\\x"},
      {L"\uAC00\uAC01/\uD55C\uAE00/", L"\uAC00\uAC01\\\uD55C\uAE00\\"},
      {L"\U0001F600/a", L"\U0001F600\\a"},  // after a surrogate pair
      {L"already\\back", L"already\\back"},
      {L"\u00FF", L"\u00FF"},  // a letter of its own, not a separator
      {L"   ", L""},
      {L"", L""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeSeparators(in), out);
}

TEST(EngineNames, StoredNameConversion) {
  EXPECT_EQ(FixStoredName("dir/a.txt", true), L"dir\\a.txt");
  EXPECT_EQ(StoredFormName(L"dir\\a.txt", false), "dir/a.txt");
#ifdef _WIN32
  // Code page 949: the two bytes of the syllable below in both directions.
  EXPECT_EQ(FixStoredName("\xC7\xD1/a.txt", true), L"\xD55C\\a.txt");
  EXPECT_EQ(StoredFormName(L"\xD55C\\a.txt", true), "\xC7\xD1/a.txt");
  EXPECT_EQ(AnsiToOemName("\xC7\xD1", true), "\xC7\xD1");
#else
  EXPECT_EQ(FixStoredName("\xE9/a", false), L"\xE9\\a");
  EXPECT_EQ(StoredFormName(L"\xE9\\a", true), "\xE9/a");
#endif
  EXPECT_EQ(AnsiToOemName("abc", false), "abc");
}

TEST(EngineNumbers, PercentAndRatio) {
  const struct {
    int64_t done, total;
    int expected;
  } percents[] = {{5, 0, 0}, {150, 100, 100}, {1, 3, 33}, {2, 3, 67}, {-5, 10, 0}, {50, 100, 50}, {-5, -10, 50}};
  for (const auto& c : percents) EXPECT_EQ(Percent(c.done, c.total), c.expected) << c.done << "/" << c.total;
  EXPECT_EQ(PercentF(5, -1), 0);
  EXPECT_EQ(PercentF(1, 8), 13);
  const struct {
    int64_t size, packed;
    int expected;
  } ratios[] = {{100, 40, 60}, {100, 100, 0}, {100, 150, 0}, {0, 0, 0}, {3, 2, 33}, {3, 1, 67}};
  for (const auto& c : ratios) EXPECT_EQ(CompressRatio(c.size, c.packed), c.expected) << c.size;
  EXPECT_EQ(SwapWords(0x12345678u), 0x56781234u);
}

TEST(EngineNumbers, OctalFields) {
  const std::pair<std::string, int64_t> reads[] = {
      {"0000644 ", 420}, {"", 0}, {"7 7x", 63}, {std::string("\0\0 17", 5), 15}, {std::string(30, '7'), INT64_MAX}};
  for (const auto& [s, v] : reads) EXPECT_EQ(OctalToInt(s), v) << s;

  const struct {
    uint64_t value;
    int width;
    bool nulEnd;
    std::string expected;
  } writes[] = {
      {420, 8, false, std::string("0000644 ")},
      {420, 8, true, std::string("0000644\0", 8)},
      {0, 4, false, std::string("000 ")},
      {01234567, 4, false, std::string("567 ")},  // digits that do not fit are dropped
      {7, 1, false, std::string(" ")},
  };
  for (const auto& c : writes) {
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    IntToOctal(c.value, c.width, c.nulEnd, buf);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(c.width)), c.expected) << c.value;
    EXPECT_EQ(buf[c.width], 'x');  // nothing written past the field
  }
}

TEST(EngineDates, DosDatesMonthsAndLeapYears) {
  int32_t dos = (44 << 25) | (7 << 21) | (1 << 16) | (12 << 11) | (34 << 5) | 28;  // 2024-07-01 12:34:56
  EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(dos), D(2024, 7, 1, 12, 34, 56));
  const int32_t invalid[] = {0, (44 << 25) | (13 << 21) | (1 << 16), (44 << 25) | (2 << 21) | (30 << 16),
                             (44 << 25) | (1 << 21) | (1 << 16) | (24 << 11), (44 << 25) | (1 << 21) | (1 << 16) | 30};
  for (int32_t v : invalid) EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(v), 29221.0) << std::hex << v;

  const std::pair<int, bool> leaps[] = {{2000, true}, {1900, false}, {2024, true}, {2023, false}, {2100, false}};
  for (const auto& [y, leap] : leaps) EXPECT_EQ(IsLeapYear(y), leap) << y;

  const struct {
    TDateTime from;
    int months;
    TDateTime to;
  } moves[] = {{D(2024, 1, 31, 10, 30), 1, D(2024, 2, 29, 10, 30)},
               {D(2023, 1, 31), 1, D(2023, 2, 28)},
               {D(2024, 3, 15), -3, D(2023, 12, 15)},
               {D(2024, 5, 31), 12, D(2025, 5, 31)},
               {D(2024, 12, 31), -10, D(2024, 2, 29)}};
  for (const auto& m : moves) EXPECT_NEAR(IncMonth(m.months, m.from), m.to, 1e-9) << m.months;
}

TEST(EngineDates, DaylightRules) {
  const struct {
    const TzevTimeZone* zone;
    TDateTime date;
    bool daylight;
  } cases[] = {
      {&kEastern, D(2024, 3, 10, 1, 59), false}, {&kEastern, D(2024, 3, 10, 2, 0), true},
      {&kEastern, D(2024, 7, 1), true},          {&kEastern, D(2024, 11, 3, 1, 59), true},
      {&kEastern, D(2024, 11, 3, 2, 0), false},  {&kEastern, D(2024, 1, 15), false},
      {&kEurope, D(2024, 3, 31, 1, 59), false},  {&kEurope, D(2024, 3, 31, 2, 0), true},
      {&kEurope, D(2024, 10, 27, 2, 59), true},  {&kEurope, D(2024, 10, 27, 3, 0), false},
      {&kEurope, D(2023, 3, 26, 2, 0), true},    {&kEurope, D(2023, 3, 25, 12, 0), false},
      {&kSydney, D(2024, 1, 15), true},          {&kSydney, D(2024, 4, 7, 2, 59), true},
      {&kSydney, D(2024, 4, 7, 3, 0), false},    {&kSydney, D(2024, 7, 1), false},
      {&kSydney, D(2024, 10, 6, 2, 0), true},    {&kUtc, D(2024, 7, 1), false},
  };
  for (const auto& c : cases) {
    ZoneScope zone(*c.zone);
    EXPECT_EQ(IsDaylightTime(c.date), c.daylight) << c.date;
  }
  TzevTimeZone fixedYear = kEastern;
  fixedYear.DaylightDate = {2024, 4, 0, 20, 0, 0};
  fixedYear.StandardDate = {2024, 9, 0, 1, 0, 0};
  ZoneScope zone(fixedYear);
  EXPECT_FALSE(IsDaylightTime(D(2024, 4, 19, 23, 59)));
  EXPECT_TRUE(IsDaylightTime(D(2024, 4, 20)));
  EXPECT_FALSE(IsDaylightTime(D(2024, 9, 1)));
}

TEST(EngineDates, UtcAndUnixSeconds) {
  {
    ZoneScope zone(kEastern);
    EXPECT_NEAR(LocalToUtc(D(2024, 7, 1, 12)), D(2024, 7, 1, 16), 1e-9);
    EXPECT_NEAR(UtcToLocal(D(2024, 1, 15, 17)), D(2024, 1, 15, 12), 1e-9);
    EXPECT_EQ(DateTimeToUnix(D(2024, 7, 1, 12)), 1719849600);
    EXPECT_EQ(DateTimeToUnix(D(2024, 1, 15, 12)), 1705338000);
    EXPECT_NEAR(UnixSecondsToDateTime(1719849600), D(2024, 7, 1, 12), kSecond / 2);
  }
  ZoneScope zone(kUtc);
  EXPECT_NEAR(UnixSecondsToDateTime(0), D(1980, 1, 1, 0, 1), kSecond / 2);
  EXPECT_NEAR(UnixSecondsToDateTime(86400 + 61), D(1970, 1, 2, 0, 1, 1), kSecond / 2);
  EXPECT_NEAR(UnixSecondsToDateTime(-86400), D(1970, 1, 2), kSecond / 2);  // the sign is dropped
  EXPECT_EQ(DateTimeToUnix(D(1970, 1, 1, 0, 0, 1)), 1);
  EXPECT_EQ(DateTimeToUnix(D(1960, 1, 1)), 0);
  EXPECT_EQ(DateTimeToUnix(D(2200, 1, 1)), 65535LL * 86400);  // the day count is 16 bits
  for (int64_t s : {1LL, 59LL, 3600LL, 951782400LL, 1719849600LL, 4102444800LL})
    EXPECT_EQ(DateTimeToUnix(UnixSecondsToDateTime(s)), s) << s;
}
