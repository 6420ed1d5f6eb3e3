#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"

TEST(TextHelpers, FormatThousands) {
  const std::vector<std::pair<int64_t, std::wstring>> cases = {
      {0, L"0"},         {-5, L"0"},           {999, L"999"},          {1000, L"1,000"},
      {123456, L"123,456"}, {1234567, L"1,234,567"}, {1099511627776LL, L"1,099,511,627,776"},
      {INT64_MAX, L"9,223,372,036,854,775,807"},
  };
  for (const auto& [v, s] : cases) EXPECT_EQ(FormatThousands(v), s) << v;
}

TEST(TextHelpers, IntegerParsing) {
  struct C {
    const wchar_t* s;
    bool ok;
    int64_t v;
  };
  const C cases32[] = {{L"0", true, 0},           {L"  12", true, 12},       {L"-7", true, -7},
                       {L"+7", true, 7},          {L"$ff", true, 255},       {L"0x10", true, 16},
                       {L"$FFFFFFFF", true, -1},  {L"2147483647", true, INT32_MAX},
                       {L"-2147483648", true, INT32_MIN}, {L"2147483648", false, 0},
                       {L"12 ", false, 0},        {L"", false, 0},           {L"$", false, 0},
                       {L"1a", false, 0},         {L"$100000000", false, 0}, {L"-", false, 0}};
  for (const auto& c : cases32) {
    bool ok;
    int32_t v = TryStrToInt(c.s, ok);
    EXPECT_EQ(ok, c.ok) << c.s;
    if (ok) {
      EXPECT_EQ(v, c.v) << c.s;
    }
  }
  bool ok;
  EXPECT_EQ(TryStrToInt64(L"9223372036854775807", ok), INT64_MAX);
  EXPECT_TRUE(ok);
  TryStrToInt64(L"9223372036854775808", ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(TryStrToInt64(L"-9223372036854775808", ok), INT64_MIN);
  EXPECT_TRUE(ok);
}

TEST(TextHelpers, Strings) {
  EXPECT_EQ(RemoveSpaces(L" a b  c "), L"abc");
  EXPECT_TRUE(StartsText(L"abc", L"ABCdef"));
  EXPECT_FALSE(StartsText(L"abcd", L"abc"));
  EXPECT_EQ(QuoteIfSpaces(L"  C:\\Program Files  "), L"\"C:\\Program Files\"");
  EXPECT_EQ(QuoteIfSpaces(L" x "), L"x");
  EXPECT_EQ(CapitalizeWords(L"hELLO wORLD-foo it's a.b"), L"Hello World-Foo It's A.b");
  EXPECT_EQ(CapitalizePath(L"C:\\PROGRAM FILES\\velmo"), L"C:\\Program files\\Velmo");
  EXPECT_EQ(MakeInt64(1, 2), 4294967298LL);
}

TEST(DateHelpers, DosValuesClampAndConvert) {
  // 2024-02-29 13:45:58
  int32_t dos = FieldsToDosDateTime(2024, 2, 29, 13, 45, 58);
  int y, mo, d, h, mi, s, ms;
  ASSERT_TRUE(DecodeDateTime(DosToDateTimeClamped(dos), y, mo, d, h, mi, s, ms));
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({2024, 2, 29, 13, 45, 58}));
  // Month 0, day 31 of February, hour 31, seconds 62: each field clamped.
  uint32_t bad = (44u << 25) | (0u << 21) | (31u << 16) | (31u << 11) | (63u << 5) | 31u;
  ASSERT_TRUE(DecodeDateTime(DosToDateTimeClamped(static_cast<int32_t>(bad)), y, mo, d, h, mi, s, ms));
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({2024, 1, 31, 23, 59, 59}));
  // Unix times clamp to the DOS range instead of wrapping.
  EXPECT_EQ(UnixTimeToDosDateTimeOffset(0, 0), FieldsToDosDateTime(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(UnixTimeToDosDateTimeOffset(4294967295LL * 2, 0), FieldsToDosDateTime(2107, 12, 31, 23, 59, 58));
  EXPECT_EQ(UnixTimeToDosDateTimeOffset(1700000000, 0), FieldsToDosDateTime(2023, 11, 14, 22, 13, 20));
  EXPECT_EQ(UnixTimeToDosDateTimeOffset(1700000000, 9 * 3600), FieldsToDosDateTime(2023, 11, 15, 7, 13, 20));
  // A file time: 2000-01-01 00:00:00 UTC.
  FileTimeToFields(125911584000000000ULL, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({2000, 1, 1, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 12, 0, 0), 2.5);
}

// Cuts by code point: the two halves of a surrogate pair are written out, so that the cases
// mean the same where wchar_t is 32 bits wide.
TEST(TextHelpers, CutsNeverSplitASurrogatePair) {
  const std::wstring pair = L"\xD83D\xDE00";  // one character in two units
  const std::wstring s = L"ab" + pair + L"cd";   // units: a b H L c d
  struct Case {
    int Start, Count;
    std::wstring Expected;
  } copies[] = {
      {1, 2, L"ab"},
      {1, 3, L"ab" + pair},       // an end inside the pair moves forward
      {4, 2, pair + L"c"},        // a start on the second half moves back
      {4, 1, pair},               // both at once
      {3, 1, pair},               // the first half alone: the end moves forward
      {5, MbcsToEnd, L"cd"},
      {1, MbcsToEnd, s},
      {0, 2, L"ab"},              // a start below 1 counts from 1
      {-5, 3, L"ab" + pair},
      {6, 100, L"d"},             // a count past the end
      {7, 1, L""},                // a start past the end
      {1, 0, L""},
      {1, -1, L""},
  };
  for (const Case& c : copies) EXPECT_EQ(MbcsCopy(s, c.Start, c.Count), c.Expected) << c.Start << "," << c.Count;
  EXPECT_EQ(MbcsCopy(L"", 1, 5), L"");
  EXPECT_EQ(MbcsCopy(L"", 1, MbcsToEnd), L"");

  struct Right {
    std::wstring S;
    int Count;
    std::wstring Expected;
  } rights[] = {
      {s, 2, L"cd"},
      {s, 3, pair + L"cd"},  // the second half alone would split the pair: one unit more
      {s, 6, s},
      {s, 60, s},
      {s, 0, L""},
      {L"", 3, L""},
      {pair, 1, pair},
  };
  for (const Right& c : rights) EXPECT_EQ(MbcsRightStr(c.S, c.Count), c.Expected) << c.Count;

  const std::pair<std::wstring, std::wstring> deletes[] = {
      {L"abc", L"ab"}, {L"a" + pair, L"a"}, {pair, L""}, {L"x", L""}, {L"", L""},
      {L"a\xDE00", L"a"},  // a lone second half is a character of its own
      {L"\xD83D", L""},
  };
  for (const auto& [in, out] : deletes) EXPECT_EQ(MbcsDeleteLastChar(in), out);

  const std::pair<std::wstring, std::wstring> slashes[] = {
      {L"a/b/c", L"a\\b\\c"}, {L"\uACAF/x", L"\uACAF\\x"}, {pair + L"/", pair + L"\\"}, {L"", L""}, {L"\\", L"\\"},
  };
  for (const auto& [in, out] : slashes) EXPECT_EQ(MbcsSlashToBackslash(in), out);
}

TEST(TextHelpers, Utf8BothWays) {
  const std::pair<std::string, std::wstring> valid[] = {
      {"", L""},
      {"plain", L"plain"},
      {"\xED\x95\x9C\xEA\xB8\x80 a", L"\uD55C\uAE00 a"},
      {"\xC3\xA9\xE2\x82\xAC", L"\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80!", L"\U0001F600!"},
  };
  for (const auto& [bytes, text] : valid) {
    EXPECT_EQ(Utf8ToWide(bytes), text) << bytes;
    EXPECT_EQ(WideToUtf8(text), bytes) << bytes;
  }
  // Each byte of a bad sequence stands for one replacement character.
  const std::pair<std::string, std::wstring> invalid[] = {
      {"a\xFF" "b", L"a\uFFFDb"},
      {"\xE0\x80\x80", L"\uFFFD\uFFFD\uFFFD"},  // an overlong zero
      {"x\xED\x95", L"x\uFFFD\uFFFD"},          // cut short at the end
  };
  for (const auto& [bytes, text] : invalid) EXPECT_EQ(Utf8ToWide(bytes), text) << bytes;
  EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800)) + L"a"), "\xEF\xBF\xBD" "a");
  std::string appended = "x";
  AppendUtf8(appended, L"\u00E9");
  AppendUtf8(appended, L"");
  EXPECT_EQ(appended, "x\xC3\xA9");
}

#ifdef _WIN32
// Text outside ASCII goes to the system in runs; a run keeps each lead byte with the byte after
// it, which in code page 949 may be an ASCII letter. The result must be what one call over the
// whole text gives, both ways.
TEST(TextHelpers, CodePageConversionIsTheSystemsOwn) {
  const std::string cases[] = {
      "plain ASCII only",
      "\xC7\xD1\xB1\xDB.txt",        // two Hangul syllables
      "a\x81\x41Z",                  // a syllable whose trail byte is "A"
      "\x81\x41\x81\x61\r\n\xC7\xD1,1",
      "ends on a lead byte \xC7",
      "\xC7\r\n\xC7",                  // lead bytes before a line end
      "\x80\xFF\xA0 odd bytes \xC9",
      "\xB8\xF0\xB5\xE2\\x",
  };
  auto whole = [](UINT cp, const std::string& s) {
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
  };
  for (const std::string& c : cases) {
    SCOPED_TRACE(c);
    std::wstring text = whole(CP_ACP, c);
    EXPECT_EQ(AnsiToWide(c), text);
    EXPECT_EQ(OemToWide(c), whole(CP_OEMCP, c));
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, &usedDefault);
    std::string bytes(static_cast<size_t>(n), '\0');
    usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, &usedDefault);
    std::string out;
    EXPECT_EQ(WideToAnsi(text, out), !usedDefault);
    EXPECT_EQ(out, bytes);
  }
  std::string out;
  EXPECT_TRUE(WideToAnsi(L"\uD55C\uAE00 a\uAC02Z", out));
  EXPECT_EQ(out, "\xC7\xD1\xB1\xDB a\x81\x41Z");
  // A character the code page lacks is reported, wherever it stands.
  EXPECT_FALSE(WideToAnsi(L"a\U0001F600b", out));
  EXPECT_FALSE(WideToAnsi(L"\uD55C\u0E01", out));
}

// On the Korean test system both code pages are 949.
TEST(TextHelpers, CodePageRoundTrips) {
  const std::string hangul = "\xC7\xD1\xB1\xDB.txt";  // "한글.txt"
  EXPECT_EQ(AnsiRoundTrip(hangul), hangul);
  EXPECT_EQ(OemToAnsiStr(hangul), hangul);
  EXPECT_EQ(AnsiRoundTrip(""), "");
  EXPECT_EQ(OemToAnsiStr("plain"), "plain");
  // A lead byte with nothing after it is no character: the trip does not bring it back.
  const std::string broken = "a\xC7";
  EXPECT_NE(AnsiRoundTrip(broken), broken);
  EXPECT_EQ(AnsiRoundTrip(broken).substr(0, 1), "a");
}
#endif
