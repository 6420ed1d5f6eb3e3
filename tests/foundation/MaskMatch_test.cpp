#include "foundation/MaskMatch.h"

#include <gtest/gtest.h>

TEST(MaskMatch, ListsOfPatterns) {
  struct Case {
    const wchar_t* Name;
    const wchar_t* List;
    bool Match;
  } cases[] = {
      {L"readme", L"*.*", true},          // no dot, still everything
      {L"README.TXT", L"*.txt", true},    // letter case ignored
      {L"a.txt.bak", L"*.txt", false},
      {L"a.txt.bak", L"*.bak;*.txt", true},
      {L"note.doc", L" *.txt ; *.doc ", true},  // blanks around patterns
      {L"note.doc", L"*.txt;;", false},
      {L"x", L"", true},                  // an empty list hides nothing
      {L"x", L" ; ", true},
      {L"ab", L"a?", true},
      {L"a", L"a?", false},
      {L"abc", L"a*c", true},
      {L"abcbd", L"a*b?", true},
      {L"report", L"rep*.*", true},       // ".*" also takes names without a dot
      {L"report", L"rep*.t*", false},
      {L"한글.TXT", L"한*.txt", true},
      {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", L"*a*a*a*a*a*a*a*a*c", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesMaskList(c.Name, c.List), c.Match) << static_cast<const void*>(c.Name);
    TMaskList list(c.List);
    EXPECT_EQ(list.Matches(c.Name), c.Match);
  }
  EXPECT_TRUE(TMaskList(L"*.txt;*").MatchesAll());
  EXPECT_FALSE(TMaskList(L"*.txt").MatchesAll());
}
