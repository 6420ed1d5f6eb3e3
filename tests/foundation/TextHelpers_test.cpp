#include <gtest/gtest.h>

#include "foundation/MYTOOL.h"

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
