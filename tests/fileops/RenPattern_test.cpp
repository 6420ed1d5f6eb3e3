#include "fileops/RenPattern.h"

#include <gtest/gtest.h>

namespace {

struct Row {
  const wchar_t* name;
  const wchar_t* ext;
};

// New names of the rows for a name and an extension pattern.
std::vector<std::wstring> Build(const wchar_t* namePattern, const wchar_t* extPattern, std::vector<Row> rows,
                                TRenameSettings settings = {}) {
  TRenamePass pass(namePattern, extPattern, settings);
  std::vector<std::wstring> out;
  for (size_t i = 0; i < rows.size(); ++i) {
    TRenameSource item{rows[i].name, rows[i].ext, EncodeDateTime(2024, 1, 15, 9, 30, 12)};
    out.push_back(pass.BuildNewName(item, static_cast<int>(i)));
  }
  return out;
}

std::wstring One(const wchar_t* namePattern, const wchar_t* name, const wchar_t* extPattern = L"",
                 const wchar_t* ext = L"", TRenameSettings settings = {}) {
  return Build(namePattern, extPattern, {{name, ext}}, settings)[0];
}

TEST(RenamePattern, ExpandsEachKindOfTag) {
  struct Case {
    const wchar_t* pattern;
    const wchar_t* name;
    const wchar_t* expected;
  } cases[] = {
      {L"<N>", L"abcdef", L"abcdef"},
      {L"<N-3>", L"report2024", L"024"},  // last three characters
      {L"<N3>", L"abcdef", L"abc"},
      {L"<N2-4>", L"abcdef", L"bcd"},
      {L"<N2->", L"abcdef", L"bcdef"},
      {L"<N2,3>", L"abcdef", L"bcd"},
      {L"<N-3,2>", L"abcdefg", L"ef"},   // two from the third counted from the end
      {L"<N9>", L"abc", L"abc"},         // past the end: what there is
      {L"<N 2 , 3 >", L"abcdef", L"bcd"},  // blanks around numbers
      {L"<N   >", L"abcdef", L"abcdef"},   // only blanks: the whole part
      {L"<n4-2>", L"abcdef", L""},         // last before first: nothing
      {L"<N-9,2>", L"abc", L""},           // start clamped to 1, end still before it
      {L"x<N1>y", L"abc", L"xay"},
      {L"<YMD>", L"a", L"20240115"},
      {L"<Y-M-D>", L"a", L"2024-01-15"},
      {L"<hms>", L"a", L"093012"},
      {L"<dt>", L"a", L"20240115093012"},
      {L"<C001>", L"a", L"001"},
      {L"<C10,5>", L"a", L"10"},
      {L"<C-5>", L"a", L"-5"},
      {L"<C>", L"a", L"0"},
  };
  for (const Case& c : cases) EXPECT_EQ(One(c.pattern, c.name), c.expected) << c.pattern << L" on " << c.name;
}

TEST(RenamePattern, InvalidPatternsEmptyEveryRow) {
  const wchar_t* invalid[] = {L"<N300>", L"<Cx>", L"<N", L"a<>b", L"a>b<N>", L"<N>:", L"<Y:M>",
                              L"<N1-300>", L"<C1,x>", L"<C123456789012345678901>", L"a*b", L"<N>/x"};
  for (const wchar_t* p : invalid) {
    auto names = Build(p, L"<E>", {{L"a", L"txt"}, {L"b", L"txt"}});
    EXPECT_EQ(names, (std::vector<std::wstring>{L"", L""})) << p;
  }
  // An invalid extension pattern empties the rows too.
  EXPECT_EQ(Build(L"<N>", L"<E", {{L"a", L"txt"}})[0], L"");
}

TEST(RenamePattern, CountersFollowTheRowPosition) {
  EXPECT_EQ(Build(L"<N>_<C01>", L"<E>", {{L"a", L"txt"}, {L"b", L"txt"}}),
            (std::vector<std::wstring>{L"a_01.txt", L"b_02.txt"}));
  EXPECT_EQ(Build(L"<C10,5>", L"", {{L"a", L""}, {L"b", L""}, {L"c", L""}}),
            (std::vector<std::wstring>{L"10", L"15", L"20"}));
  TRenameSettings st;
  st.Start = 7;
  st.Step = 3;
  st.Width = 3;
  EXPECT_EQ(Build(L"f<C>", L"", {{L"a", L""}, {L"b", L""}}, st), (std::vector<std::wstring>{L"f007", L"f010"}));
  // A step of 0 counts as 1; the dialog's values stand in for a bare sign.
  EXPECT_EQ(Build(L"<C5,0>", L"", {{L"a", L""}, {L"b", L""}}), (std::vector<std::wstring>{L"5", L"6"}));
  EXPECT_EQ(Build(L"<C+,+>", L"", {{L"a", L""}, {L"b", L""}}, st), (std::vector<std::wstring>{L"007", L"010"}));
  // Values past 32 bits are computed whole, never wrapped.
  st.Start = 2147483647;
  st.Step = 2147483647;
  st.Width = 1;
  EXPECT_EQ(Build(L"<C>", L"", {{L"a", L""}, {L"b", L""}}, st)[1], L"4294967294");
}

TEST(RenamePattern, AssemblesAndNormalisesTheName) {
  EXPECT_EQ(One(L"<N>", L"a", L"", L"txt"), L"a");       // empty extension pattern: no extension
  EXPECT_EQ(One(L"x.", L"a"), L"x");                      // trailing dot resolved away
  EXPECT_EQ(One(L"<N>  ", L"a"), L"a");                   // trailing blanks too
  EXPECT_EQ(One(L"..", L"a"), L"");                       // no name of its own
  EXPECT_EQ(One(L".", L"a", L".", L""), L"");
  TRenameSettings st;
  st.FindText = L"A";
  st.ReplaceText = L"b";
  EXPECT_EQ(One(L"<N>", L"aAa", L"", L"", st), L"bbb");
  st.FindText = L"a.t";  // never matches across the dot
  st.ReplaceText = L"X";
  EXPECT_EQ(One(L"<N>", L"da", L"<E>", L"txt", st), L"da.txt");
  st.FindText = L"aa";  // replacements are not searched again
  st.ReplaceText = L"a";
  EXPECT_EQ(One(L"<N>", L"aaaa", L"", L"", st), L"aa");
  st = {};
  st.FindText = L"a";
  st.ReplaceText = L":";  // a replacement cannot bring in a forbidden character
  EXPECT_EQ(One(L"<N>", L"bab", L"", L"", st), L"");
}

TEST(RenamePattern, CaseModes) {
  struct Case {
    int mode;
    const wchar_t* expected;
  } cases[] = {{0, L"my file-Name.TXT"}, {1, L"my file-name.txt"}, {2, L"MY FILE-NAME.TXT"},
               {3, L"My file-name.txt"}, {4, L"My File-Name.txt"}};
  for (const Case& c : cases) {
    TRenameSettings st;
    st.CaseMode = c.mode;
    EXPECT_EQ(One(L"<N>", L"my file-Name", L"<E>", L"TXT", st), c.expected) << c.mode;
  }
}

TEST(RenamePattern, RangesNeverSplitASurrogatePair) {
  // U+1F600 as a surrogate pair between "a" and "b".
  const wchar_t name[] = {L'a', 0xD83D, 0xDE00, L'b', 0};
  EXPECT_EQ(One(L"<N2>", name), L"a");           // the cut would fall inside the pair
  EXPECT_EQ(One(L"<N3->", name), L"b");          // starting on the trail half drops it
  EXPECT_EQ(One(L"<N3>", name), std::wstring(name, 3));
}

}  // namespace
