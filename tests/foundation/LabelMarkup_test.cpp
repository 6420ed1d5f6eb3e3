// The label model without a window: mark-up into runs, paths into levelled runs, line
// layout and the shortening of path runs, measured with a fixed-width stand-in (10 pixels
// a character, "..." 9 pixels, every line 14 pixels high).
#include <gtest/gtest.h>

#include "foundation/LabelMarkup.h"

namespace {
constexpr int kE = 9;

TLabelMarkupDefaults Defaults() {
  TLabelMarkupDefaults d;
  d.FontName = L"Base";
  d.Size = 9;
  d.FontColor = 0x111111;
  d.BackColor = 0x222222;
  return d;
}

TLabelModel Parse(const std::wstring& text) {
  TLabelModel m;
  m.Base.FontName = L"Base";
  m.Base.Color = 0x111111;
  m.Base.BackColor = 0x222222;
  ParseLabelMarkup(text, Defaults(), m);
  return m;
}

void Measure(const THanLabelItem& r, int& w, int& h) {
  w = static_cast<int>(r.Text.size()) * 10;
  h = 12;
}

std::wstring Texts(const TLabelModel& m) {
  std::wstring s;
  for (const auto& r : m.Runs) s += (r->NewLine ? L"/" : L"") + r->Text + L";";
  return s;
}

// How each path run is shown: W whole, S shortened, D dots, H hidden, C clipped.
std::wstring ShownCodes(const TLabelModel& m) {
  std::wstring s;
  for (const auto& r : m.Runs) {
    if (!r->PathPart) continue;
    switch (r->Shown) {
      case TRunShown::rsWhole: s += L'W'; break;
      case TRunShown::rsShortened: s += L'S'; break;
      case TRunShown::rsDots: s += L'D'; break;
      case TRunShown::rsHidden: s += L'H'; break;
      case TRunShown::rsClipped: s += L'C'; break;
    }
  }
  return s;
}
}  // namespace

TEST(LabelMarkup, TextsAndLineBreaks) {
  struct Case {
    const wchar_t* Markup;
    const wchar_t* Runs;
  };
  const Case cases[] = {
      {L"abc", L"abc;"},
      {L"a|b", L"a;/b;"},
      {L"a||b", L"a;/;/b;"},             // an empty line between
      {L"a\r\nb", L"a;/b;"},             // LF skipped, CR breaks
      {L"a|<D>b", L"a;/;b;"},            // the break carries over the tag
      {L"x<D>y</D>z", L"x;y;z;"},
      {L"<unclosed", L""},
      {L"ab<cd", L"ab;"},                // the rest after an unclosed "<" is dropped
      {L"<>", L""},
      {L"a<=b>c", L"a;c;"},              // not a name=value tag: unknown, ignored
  };
  for (const Case& c : cases) EXPECT_EQ(Texts(Parse(c.Markup)), c.Runs) << c.Markup;
  EXPECT_EQ(Texts(Parse(std::wstring(L"a\0b", 3))), L"ab;");
}

TEST(LabelMarkup, TagsSetAndResetAttributes) {
  TLabelModel m = Parse(L"<D>bold</D>plain<I><U><T>x<>y<2>c<1>t<3>b<W>s</W>n");
  ASSERT_EQ(m.Runs.size(), 9u);
  EXPECT_EQ(m.Runs[0]->Style, 1);
  EXPECT_EQ(m.Runs[1]->Style, 0);
  EXPECT_EQ(m.Runs[2]->Style, 2 | 4 | 8);
  EXPECT_EQ(m.Runs[3]->Style, 0);  // "<>" back to the defaults
  EXPECT_EQ(m.Runs[3]->Alignment, laBottom);
  EXPECT_EQ(m.Runs[4]->Alignment, laCenter);
  EXPECT_EQ(m.Runs[5]->Alignment, laTop);
  EXPECT_EQ(m.Runs[6]->Alignment, laBottom);
  EXPECT_TRUE(m.Runs[7]->Shadow);
  EXPECT_FALSE(m.Runs[8]->Shadow);

  TLabelModel f = Parse(L"<F=Gulim><S=14>a</S>b</F>c<SIZE=abc>d<S=99999>e<S=-3>f< font = X >g<f=>h");
  ASSERT_EQ(f.Runs.size(), 8u);
  EXPECT_EQ(f.Runs[0]->FontName, L"Gulim");
  EXPECT_EQ(f.Runs[0]->Size, 14);
  EXPECT_EQ(f.Runs[1]->Size, 9);
  EXPECT_EQ(f.Runs[2]->FontName, L"Base");
  EXPECT_EQ(f.Runs[3]->Size, 9);     // not a number: ignored
  EXPECT_EQ(f.Runs[4]->Size, 200);   // huge sizes are brought down
  EXPECT_EQ(f.Runs[5]->Size, 200);   // a size below 1 is ignored
  EXPECT_EQ(f.Runs[6]->FontName, L"X");
  EXPECT_EQ(f.Runs[7]->FontName, L"X");  // "<f=>": "=" last, unknown tag
}

TEST(LabelMarkup, EveryTagFromAStyledState) {
  // Each tag is applied after a state that differs from the defaults in every attribute;
  // the run after it shows what the tag changed. Names are matched in any case.
  const std::wstring styled = L"<D><C=R><B=G><F=Gulim><S=12><W><2>";
  struct Case {
    const wchar_t* Tag;
    uint8_t Style;
    const wchar_t* Font;
    int Size;
    TColor Color, Back;
    bool Shadow;
    uint8_t Align;
  };
  const TColor red = 0x0000FF, lime = 0x00FF00, dc = 0x111111, db = 0x222222;
  const Case cases[] = {
      {L"<NOSUCH>", 1, L"Gulim", 12, red, lime, true, laCenter},
      {L"</>", 1, L"Gulim", 12, red, lime, true, laCenter},  // nothing after the slash
      {L"<italic>", 1 | 2, L"Gulim", 12, red, lime, true, laCenter},
      {L"<UnderLine>", 1 | 4, L"Gulim", 12, red, lime, true, laCenter},
      {L"<strike>", 1 | 8, L"Gulim", 12, red, lime, true, laCenter},
      {L"</BOLD>", 0, L"Gulim", 12, red, lime, true, laCenter},
      {L"</d>", 0, L"Gulim", 12, red, lime, true, laCenter},
      {L"</SHADOW>", 1, L"Gulim", 12, red, lime, false, laCenter},
      {L"</w>", 1, L"Gulim", 12, red, lime, false, laCenter},
      {L"</FONT>", 1, L"Base", 12, red, lime, true, laCenter},
      {L"</size>", 1, L"Gulim", 9, red, lime, true, laCenter},
      {L"</COLOR>", 1, L"Gulim", 12, dc, lime, true, laCenter},
      {L"</c>", 1, L"Gulim", 12, dc, lime, true, laCenter},
      {L"</BCOLOR>", 1, L"Gulim", 12, red, db, true, laCenter},
      {L"</b>", 1, L"Gulim", 12, red, db, true, laCenter},
      {L"<FONT=Dotum>", 1, L"Dotum", 12, red, lime, true, laCenter},
      {L"<size=20>", 1, L"Gulim", 20, red, lime, true, laCenter},
      {L"<color=W>", 1, L"Gulim", 12, 0xFFFFFF, lime, true, laCenter},
      {L"<bcolor=k>", 1, L"Gulim", 12, red, 0, true, laCenter},
      {L"<F>", 1, L"Gulim", 12, red, lime, true, laCenter},       // plain: nothing
      {L"<C>", 1, L"Gulim", 12, red, lime, true, laCenter},
      {L"<I=1>", 1, L"Gulim", 12, red, lime, true, laCenter},     // a value: ignored
      {L"<1>", 1, L"Gulim", 12, red, lime, true, laTop},
      {L"</1>", 1, L"Gulim", 12, red, lime, true, laTop},         // closing: the same
      {L"</3>", 1, L"Gulim", 12, red, lime, true, laBottom},
      {L"<FIRST>", 0, L"Base", 9, dc, db, false, laBottom},
      {L"<r>", 0, L"Base", 9, dc, db, false, laBottom},
      {L"</R>", 0, L"Base", 9, dc, db, false, laBottom},
      {L"< >", 0, L"Base", 9, dc, db, false, laBottom},
  };
  for (const Case& c : cases) {
    TLabelModel m = Parse(styled + c.Tag + L"z");
    ASSERT_EQ(m.Runs.size(), 1u) << c.Tag;
    const THanLabelItem& r = *m.Runs[0];
    EXPECT_EQ(r.Style, c.Style) << c.Tag;
    EXPECT_EQ(r.FontName, c.Font) << c.Tag;
    EXPECT_EQ(r.Size, c.Size) << c.Tag;
    EXPECT_EQ(r.Color, c.Color) << c.Tag;
    EXPECT_EQ(r.BackColor, c.Back) << c.Tag;
    EXPECT_EQ(r.Shadow, c.Shadow) << c.Tag;
    EXPECT_EQ(r.Alignment, c.Align) << c.Tag;
  }
  // "<PATH>" and "</p>" switch path mode; a value leaves it.
  EXPECT_TRUE(Parse(L"<PATH>C:\\x").PathMode);
  EXPECT_EQ(Texts(Parse(L"<p>a\\b</p>c\\d")), L";a;\\;b;c\\d;");
  EXPECT_FALSE(Parse(L"<P=1>C:\\x").PathMode);
}

TEST(LabelMarkup, ColourValues) {
  struct Case {
    const wchar_t* Value;
    bool Known;
    TColor Color;
  };
  const Case cases[] = {
      {L"R", true, 0x0000FF},     {L"r", true, 0x000080},      {L"12", true, 0x0000FF},
      {L"4", true, 0x000080},     {L"W", true, 0xFFFFFF},      {L"k", true, 0},
      {L"Q", false, 0},           {L"16", false, 0},           {L"99", false, 0},
      {L"clRed", true, 0x0000FF}, {L"CLBLUE", true, 0xFF0000}, {L"$00FF00", true, 0x00FF00},
      {L"255", true, 255},        {L"clNoSuch", false, 0},     {L"", false, 0},
      {L"clBtnFace", true, static_cast<TColor>(0x8000000F)},
  };
  for (const Case& c : cases) {
    TColor color = 0x123456;
    EXPECT_EQ(LabelColorValue(c.Value, color), c.Known) << c.Value;
    EXPECT_EQ(color, c.Known ? c.Color : 0x123456) << c.Value;
  }
  TLabelModel m = Parse(L"<C=R>a<C=Q>b</C>c<B=y>d");
  EXPECT_EQ(m.Runs[0]->Color, 0x0000FF);
  EXPECT_EQ(m.Runs[1]->Color, 0x0000FF);  // Q leaves it
  EXPECT_EQ(m.Runs[2]->Color, 0x111111);
  EXPECT_EQ(m.Runs[3]->BackColor, 0x008080);
}

TEST(LabelMarkup, PathsSplitIntoLevels) {
  struct Case {
    const wchar_t* Path;
    const wchar_t* Root;
    std::vector<int> Levels;
  };
  const Case cases[] = {
      // The root and its "\" are level 0, each folder one more.
      {L"C:\\A\\B", L"C:\\", {0, 0, 1, 1, 2}},
      {L"C:\\A\\B\\", L"C:\\", {0, 0, 1, 1, 2, 2}},
      {L"\\\\srv\\share\\a\\b", L"\\\\srv\\share\\", {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2}},
      {L"\\\\srv\\share", L"\\\\srv\\share\\", {0, 0, 0, 0, 0, 0, 0}},  // root not in the path
      {L"rel\\dir", L"", {0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LabelPathRoot(c.Path), c.Root) << c.Path;
    std::vector<int> levels;
    for (const TLabelPathPiece& p : SplitLabelPath(c.Path)) levels.push_back(p.Level);
    EXPECT_EQ(levels, c.Levels) << c.Path;
  }
  TLabelModel m = Parse(L"Path <P>C:\\A<> ok");
  // "Path ", the empty run that carries the path's line, C:, \, A, " ok"
  ASSERT_EQ(m.Runs.size(), 6u);
  EXPECT_TRUE(m.PathMode);
  EXPECT_FALSE(m.Runs[1]->PathPart);
  EXPECT_TRUE(m.Runs[3]->IsPathSlash());
  EXPECT_EQ(m.Runs[3]->Alignment, laBottom);
  EXPECT_FALSE(m.Runs[5]->PathPart);
}

TEST(LabelLayout, LinesPositionsAndExtent) {
  TLabelModel m = Parse(L"ab|cde||f");
  m.Layout(2, 3, 5, Measure);
  // Lines: "ab" at y 2, "cde" at 2+14+2, empty line (at least half = 5, here 14), "f".
  ASSERT_EQ(m.Runs.size(), 4u);
  EXPECT_EQ(m.Runs[0]->Left, 5);
  EXPECT_EQ(m.Runs[0]->Top, 2);
  EXPECT_EQ(m.Runs[1]->Top, 18);
  EXPECT_EQ(m.Runs[2]->Top, 34);
  EXPECT_EQ(m.Runs[3]->Top, 50);
  EXPECT_EQ(m.Runs[1]->LineFixedWidth, 30);
  EXPECT_EQ(m.TextRight, 15);
  EXPECT_EQ(m.TextWidth, 30 + 4 + 3);
  EXPECT_EQ(m.RightExtent, 35 + 2);
  EXPECT_EQ(m.TextHeight, 2 + 66);
}

namespace {
TLabelModel PathModel(const std::wstring& path, bool whole = false) {
  TLabelModel m;
  m.WholePath = whole;
  m.AddPathText(path);
  m.Layout(0, 0, 5, Measure);
  return m;
}
}  // namespace

TEST(LabelLayout, ShorteningPathRuns) {
  struct Case {
    const wchar_t* Path;
    int Avail;
    const wchar_t* Shown;
  };
  // Runs: root "C:" "\" (level 0), then each folder and its "\" (levels 1, 2, ...).
  const Case cases[] = {
      {L"C:\\Folder\\Sub", 1000, L"WWWWW"},                 // fits
      {L"C:\\Folder", 50, L"HHS"},                          // level 1: all before it hidden
      {L"C:\\aa\\bb", 40, L"WWWWW"},                         // level 2: never shortened
      {L"C:\\aa\\bbbbbbbb\\cc\\dd", 150, L"WWWWSWWWW"},  // bbbbbbbb covers the need: cut with "..."
      {L"C:\\aa\\bb\\cc\\dd\\ee", 130, L"WWWWHHDWWWW"},  // cc becomes "...", bb and its "\\" go
      {L"C:\\aa\\bb\\cc\\dd", 120, L"WWHHDWWWW"},        // bb "...", back down to the first folder
      {L"C:\\aa\\bb\\cc\\dd", 90, L"WHHHDWWWW"},         // then the root's runs from the back
      {L"C:\\aa\\bb\\cc\\dd", 20, L"HHHHDHHWC"},         // down to the last folder, clipped
      {L"C:\\aa\\bb\\cc\\", 100, L"WWHHDWWW"},           // a trailing "\\": from the folder before the last
  };
  for (const Case& c : cases) {
    TLabelModel m = PathModel(c.Path);
    m.ShortenPaths(c.Avail, kE);
    EXPECT_EQ(ShownCodes(m), c.Shown) << c.Path << " in " << c.Avail;
    for (const auto& r : m.Runs) EXPECT_GE(r->ShownWidth, 0) << c.Path;
    const THanLabelItem& last = *m.Runs.back();
    EXPECT_NE(last.Shown, TRunShown::rsHidden) << "the last component stays: " << c.Path;
  }
}

TEST(LabelLayout, ShortenedWidthIsKeptApartAndNeverNegative) {
  // Far too narrow: the room left for a cut run would be negative.
  TLabelModel m = PathModel(L"C:\\Folder");
  m.ShortenPaths(-500, kE);
  for (const auto& r : m.Runs) {
    EXPECT_GE(r->ShownWidth, 0);
    EXPECT_GE(r->Advance(kE), 0);
  }
  EXPECT_EQ(m.Runs.back()->Shown, TRunShown::rsShortened);
  // A cut run gets exactly the room left: the hidden runs take none.
  TLabelModel n = PathModel(L"C:\\Subfolder");
  n.ShortenPaths(70, kE);
  EXPECT_EQ(n.Runs.back()->Shown, TRunShown::rsShortened);
  EXPECT_EQ(n.Runs.back()->ShownWidth, 68);
  EXPECT_EQ(n.Runs.back()->Left, 0);  // the hidden runs before it leave no room
  // Growing again shows it whole.
  n.ShortenPaths(1000, kE);
  EXPECT_EQ(ShownCodes(n), L"WWW");
  EXPECT_EQ(n.Runs.back()->Left, 30);
}

TEST(LabelLayout, WholePathGroupsTheTextAfterThePath) {
  // A path label: the path, then its information text. The group is every run, so the
  // last run is the text and the path does not count as ending in "\": the walk starts
  // two levels below the last, at "aa".
  TLabelModel m;
  m.WholePath = true;
  m.AddPathText(L"C:\\aa\\bb\\cc\\");
  THanLabelItem info;
  info.Text = L" info";
  m.AddRun(info, 0);
  m.Layout(0, 0, 5, Measure);
  ASSERT_EQ(m.TextRight, 170);
  m.ShortenPaths(140, kE);
  EXPECT_EQ(ShownCodes(m), L"HHDWWWWW");
  EXPECT_EQ(m.Runs.back()->Shown, TRunShown::rsWhole);
  EXPECT_EQ(m.Runs.back()->Left, 9 + 70);  // after "..." and "\bb\cc\"
}
