#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestUtil.h"
#ifdef _WIN32
#include <windows.h>

#include "foundation/MOption.h"
#endif
#include "foundation/FileIO.h"
#include "panels/MDescMan.h"

namespace {
#ifdef _WIN32
const std::wstring kSep = L"\\";
#else
const std::wstring kSep = L"/";
#endif

TDescOptions Opts(bool shortRead = true, bool shortWrite = false) {
  TDescOptions o;
  o.DescShortRead = shortRead;
  o.DescShortWrite = shortWrite;
  return o;
}

// The records as "name=desc" lines, in list order.
std::vector<std::wstring> Dump(const THanDescMan& d) {
  std::vector<std::wstring> r;
  for (int i = 0; i < d.Count(); ++i) r.push_back(d.Record(i).Name + L"=" + d.Record(i).Desc);
  return r;
}

std::wstring Get(const THanDescMan& d, const std::wstring& l, const std::wstring& s = L"") {
  std::wstring t = L"?";
  d.GetDescription(l, s, t);
  return t;
}

// UTF-16LE with its mark.
std::string Utf16(std::wstring_view s) {
  std::string r = "\xFF\xFE";
  for (wchar_t c : s) {
    r += static_cast<char>(c & 0xFF);
    r += static_cast<char>((c >> 8) & 0xFF);
  }
  return r;
}

struct Folder {
  TTempDir dir;
  std::wstring path = dir.Path() + kSep;
  // Paths the way the object builds them (it adds a backslash to the folder).
  std::wstring Item(const std::wstring& name) const { return (path.back() == L'\\' ? path : path + L"\\") + name; }
  std::wstring File() const { return Item(L"DESCRIPT.ION"); }
};
}  // namespace

TEST(DescMan, ParsesLines) {
  struct Case {
    const wchar_t* line;
    bool ok;
    const wchar_t *name, *desc;
  };
  const Case cases[] = {
      {L"readme.txt The manual", true, L"readme.txt", L"The manual"},
      {L"  a.txt  two blanks  ", true, L"a.txt", L" two blanks"},  // Add trims the rest
      {L"\"My File.doc\" quoted name", true, L"My File.doc", L" quoted name"},
      {L"\"open quote.txt text", true, L"open", L"quote.txt text"},
      {L"nameonly", false, L"", L""},
      {L"\"\" empty name", false, L"", L""},
      {L"cut.txt before\x04" L"after", true, L"cut.txt", L"before"},
      {L"gone.txt \x04" L"everything", false, L"", L""},
      {L"   ", false, L"", L""},
  };
  for (const Case& c : cases) {
    std::wstring name, desc;
    EXPECT_EQ(THanDescMan::ParseLine(c.line, name, desc), c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(name, c.name) << c.line;
      EXPECT_EQ(desc, c.desc) << c.line;
    }
  }
}

TEST(DescMan, LoadsSortsAndKeepsTheLaterOfTwoLines) {
  Folder f;
  ASSERT_TRUE(WriteFileRaw(f.File(),
                           "zeta.txt last\r\n"
                           "ALPHA.TXT first one\r\n"
                           "\r\n"
                           "nameonly\r\n"
                           "\"with blank.doc\"  spaced\n"  // a lone LF ends a line too
                           "alpha.txt second one\r"
                           "c:\\dir\\beta.txt path dropped\r\n"));
  THanDescMan d(f.path, Opts());
  EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"alpha.txt=second one", L"beta.txt=path dropped",
                                                L"with blank.doc=spaced", L"zeta.txt=last"}));
  EXPECT_TRUE(d.Modified);  // a duplicate was dropped, so the file is rewritten
  EXPECT_EQ(Get(d, L"Alpha.Txt"), L"second one");
  EXPECT_EQ(Get(d, L"missing"), L"");
}

TEST(DescMan, DuplicateLinesMakeTheFileRewritten) {
  Folder f;
  ASSERT_TRUE(WriteFileRaw(f.File(), "B.TXT old\r\na.txt one\r\nb.txt new\r\n"));
  { THanDescMan d(f.path, Opts()); }
  EXPECT_EQ(ReadFileRaw(f.File()), "b.txt new\r\na.txt one\r\n");
}

TEST(DescMan, SavesInDescendingOrderQuotedWhenNeededAndHidden) {
  Folder f;
  {
    THanDescMan d(f.path, Opts());
    EXPECT_FALSE(d.Modified);
    d.SetDescription(f.path + L"b.txt", L"", L"  bee  ");
    d.SetDescription(L"a b.txt", L"", L"with blank");
    d.SetDescription(L"c.txt", L"", L"\xD55C\xAE00 text");
    d.SetDescription(L"", L"", L"no name");
    d.SetDescription(L"d.txt", L"", L"   ");
  }
  // A new file is in the system code page (949 on the Korean test system); the host build's
  // Latin-1 has no Hangul, so there it is UTF-8.
#ifdef _WIN32
  const std::string hangul = "\xC7\xD1\xB1\xDB";
#else
  const std::string hangul = "\xED\x95\x9C\xEA\xB8\x80";
#endif
  EXPECT_EQ(ReadFileRaw(f.File()), "c.txt " + hangul + " text\r\nb.txt bee\r\n\"a b.txt\" with blank\r\n");
#ifdef _WIN32
  DWORD attr = GetFileAttributesW(f.File().c_str());
  EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_HIDDEN));
#endif
  THanDescMan again(f.path, Opts());
  EXPECT_FALSE(again.Modified);
  EXPECT_EQ(Get(again, L"A B.TXT"), L"with blank");
}

TEST(DescMan, ControlCharactersCannotForgeARecord) {
  Folder f;
  {
    THanDescMan d(f.path, Opts());
    d.SetDescription(L"a.txt", L"", L"one\r\nb.txt forged");
    d.SetDescription(L"x\ny.txt", L"", L"tab\there");
  }
  THanDescMan d(f.path, Opts());
  EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"a.txt=one  b.txt forged", L"x y.txt=tab here"}));
  EXPECT_EQ(Get(d, L"b.txt"), L"");
}

TEST(DescMan, LongValuesAreCutTo255) {
  Folder f;
  std::wstring longName(300, L'n'), longText(400, L't');
  THanDescMan d(f.path, Opts());
  d.SetDescription(longName, L"", longText);
  ASSERT_EQ(d.Count(), 1);
  EXPECT_EQ(d.Record(0).Name, std::wstring(255, L'n'));
  EXPECT_EQ(d.Record(0).Desc, std::wstring(255, L't'));
  EXPECT_EQ(Get(d, std::wstring(255, L'n')), std::wstring(255, L't'));
  d.Modified = false;
}

TEST(DescMan, EditsMarkModifiedOnlyOnRealChange) {
  Folder f;
  ASSERT_TRUE(WriteFileRaw(f.File(), "a.txt Same text\r\n"));
  THanDescMan d(f.path, Opts());
  d.SetDescription(L"a.txt", L"", L"Same text");
  EXPECT_FALSE(d.Modified);
  d.SetDescription(L"A.TXT", L"", L"same TEXT");
  EXPECT_TRUE(d.Modified);
  EXPECT_EQ(Get(d, L"a.txt"), L"same TEXT");
  d.Modified = false;
  d.Delete(L"nothing", L"");
  EXPECT_FALSE(d.Modified);
  d.Delete(L"a.txt", L"");
  EXPECT_TRUE(d.Modified);
  EXPECT_EQ(d.Count(), 0);
}

TEST(DescMan, ShortNames) {
  Folder f;
  ASSERT_TRUE(WriteFileRaw(f.File(), "LONGFI~1.TXT by short\r\n"));
  {
    // Short reading alone: found by the short name; setting its text moves it to the long name.
    THanDescMan d(f.path, Opts(true, false));
    EXPECT_EQ(Get(d, L"long file name.txt", L"LONGFI~1.TXT"), L"by short");
    d.SetDescription(L"long file name.txt", L"LONGFI~1.TXT", L"moved");
    EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"long file name.txt=moved"}));
    d.Modified = false;
  }
  {
    THanDescMan d(f.path, Opts(false, false));
    EXPECT_EQ(Get(d, L"long file name.txt", L"LONGFI~1.TXT"), L"");
    d.Modified = false;
  }
  {
    // Short-name mode: a record under the long name moves to the short one, and new records
    // are keyed by the short name.
    THanDescMan d(f.path, Opts(true, true));
    d.Clear();
    d.Add(L"long file name.txt", L"old");
    d.SetDescription(L"long file name.txt", L"LONGFI~1.TXT", L"new");
    d.SetDescription(L"other name.txt", L"OTHERN~1.TXT", L"other");
    d.SetDescription(L"plain.txt", L"", L"plain");
    EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"LONGFI~1.TXT=new", L"OTHERN~1.TXT=other", L"plain.txt=plain"}));
    d.Modified = false;
  }
}

TEST(DescMan, AddAndRekeyReplaceARecordOfThatName) {
  Folder f;
  THanDescMan d(f.path, Opts(true, true));
  d.Add(L"a.txt", L"first");
  d.Add(L"A.TXT", L"second");
  EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"A.TXT=second"}));
  // Both the long and the short name carry a record; re-keying the long one to the short name
  // leaves one record.
  d.Add(L"SHORT~1.TXT", L"stale");
  d.Add(L"short one.txt", L"fresh");
  d.SetDescription(L"short one.txt", L"SHORT~1.TXT", L"fresh again");
  EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"A.TXT=second", L"SHORT~1.TXT=fresh again"}));
  d.Modified = false;
}

TEST(DescMan, RenamesInABatch) {
  Folder f;
  ASSERT_TRUE(WriteFileRaw(f.File(), "a.txt AAA\r\nb.txt BBB\r\nc.txt CCC\r\nz.txt ZZZ\r\n"));
  THanDescMan d(f.path, Opts());
  // A swap of two names, a rename onto a name that still has a record, and a miss.
  EXPECT_TRUE(d.SetNewName(L"a.txt", L"", L"b.txt", L""));
  EXPECT_TRUE(d.SetNewName(L"b.txt", L"", L"a.txt", L""));
  EXPECT_TRUE(d.SetNewName(L"c.txt", L"", L"  z.txt ", L""));
  EXPECT_FALSE(d.SetNewName(L"none.txt", L"", L"x.txt", L""));
  EXPECT_TRUE(d.Modified);
  EXPECT_EQ(Get(d, L"a.txt"), L"AAA");  // nothing moves before ApplyRenames
  d.ApplyRenames();
  EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"a.txt=BBB", L"b.txt=AAA", L"z.txt=CCC"}));
  for (int i = 0; i < d.Count(); ++i) EXPECT_EQ(d.Record(i).PendingName, L"");
  d.Modified = false;
}

TEST(DescMan, EmptyListDeletesTheFileAndNoneIsMadeForNothing) {
  Folder f;
  {
    THanDescMan d(f.path, Opts());
    d.SetDescription(L"x.txt", L"", L"");
    d.Modified = true;  // even a forced save makes no empty file
  }
  EXPECT_FALSE(FileExistsPlain(f.File()));
  ASSERT_TRUE(WriteFileRaw(f.File(), "only.txt one\r\n"));
  {
    THanDescMan d(f.path, Opts());
    d.SetDescription(L"only.txt", L"", L"");
  }
  EXPECT_FALSE(FileExistsPlain(f.File()));
}

TEST(DescMan, PurgeMissingKeepsExistingItems) {
  Folder f;
  ASSERT_TRUE(WriteFileRaw(f.Item(L"here.txt"), "x"));
  ASSERT_TRUE(WriteFileRaw(f.File(), "here.txt stays\r\ngone.txt goes\r\nalso.gone too\r\n"));
  THanDescMan d(f.path, Opts());
  d.PurgeMissing();
  EXPECT_EQ(Dump(d), (std::vector<std::wstring>{L"here.txt=stays"}));
  EXPECT_TRUE(d.Modified);
}

TEST(DescMan, WritesTheSystemCodePageWhenTheTextFits) {
  // Other programs read DESCRIPT.ION in the system code page: whatever form the file was read
  // in, it is written there when every character fits, in UTF-8 only when one does not, and
  // in UTF-16 (the one form that keeps it) when a name holds a lone surrogate.
#ifdef _WIN32
  const std::wstring fits = L"\xAC00";  // a Hangul syllable, in code page 949
  const std::string fitsBytes = "\xB0\xA1";
#else
  const std::wstring fits = L"\xE9";  // the host build's code page is Latin-1
  const std::string fitsBytes = "\xE9";
#endif
  const std::wstring emoji = sizeof(wchar_t) == 2 ? std::wstring(L"\xD83D\xDE00") : std::wstring(1, wchar_t(0x1F600));
  const std::wstring lone(1, wchar_t(0xD800));
  struct Case {
    std::string in;        // the file as it stands ("" for none)
    std::wstring newText;  // the description given to b.txt
    std::string out;
  };
  const Case cases[] = {
      {"", L"new", "b.txt new\r\n"},
      {"", fits, "b.txt " + fitsBytes + "\r\n"},
      {"\xEF\xBB\xBF" "a.txt x\r\n", fits, "b.txt " + fitsBytes + "\r\na.txt x\r\n"},
      {Utf16(L"a.txt x\r\n"), L"new", "b.txt new\r\na.txt x\r\n"},
      {"a.txt x\r\n", emoji, "b.txt \xF0\x9F\x98\x80\r\na.txt x\r\n"},
      {"a.txt x\r\n", L"a" + lone + L"b", Utf16(L"b.txt a" + lone + L"b\r\na.txt x\r\n")},
  };
  for (const Case& c : cases) {
    Folder f;
    if (!c.in.empty()) {
      ASSERT_TRUE(WriteFileRaw(f.File(), c.in));
    }
    {
      THanDescMan d(f.path, Opts());
      d.SetDescription(L"b.txt", L"", c.newText);
    }
    const std::string written = ReadFileRaw(f.File());
    EXPECT_EQ(written, c.out) << c.out;
    // And it reads back as it was given.
    THanDescMan back(f.path, Opts());
    EXPECT_EQ(Get(back, L"b.txt"), c.newText);
  }
}

TEST(DescMan, DamagedInputLoadsWhatItCan) {
  std::string big(1 << 20, 'x');
  std::string bytes = "ok.txt fine\r\n" + big + " huge\r\nnul.txt a" + std::string("\0b", 2) + "c\r\n\"unbalanced x\r\n\xFF\xC0 bad.txt bytes\r\n";
  THanDescMan d(L"no-such-folder-for-this-test", Opts());
  d.LoadFromBytes(bytes);
  EXPECT_EQ(Get(d, L"ok.txt"), L"fine");
  EXPECT_EQ(Get(d, L"nul.txt"), L"a bc");
  EXPECT_EQ(Get(d, L"unbalanced"), L"x");
  EXPECT_EQ(Get(d, std::wstring(255, L'x')), L"huge");  // the 1 MB name is cut, its record stays
  EXPECT_EQ(d.Count(), 5);
  d.Modified = false;
}

#ifdef _WIN32
// Made with the folder alone, the object follows the settings as they stand.
TEST(DescMan, FolderAloneFollowsTheSettings) {
  struct Case {
    bool shortRead, shortWrite, hidden;
    const wchar_t* foundByShort;
    const char* file;
  };
  const Case cases[] = {
      {true, false, true, L"by short", "OTHER~1.TXT by short\r\n\"long file.txt\" x\r\n"},
      {true, true, false, L"by short", "OTHER~1.TXT by short\r\nLONGFI~1.TXT x\r\n"},
      {false, true, true, L"", "OTHER~1.TXT by short\r\n\"long file.txt\" x\r\n"},
  };
  const bool savedRead = Options.DescShortRead, savedWrite = Options.DescShortWrite, savedHidden = Options.DescHidden;
  for (const Case& c : cases) {
    Options.DescShortRead = c.shortRead;
    Options.DescShortWrite = c.shortWrite;
    Options.DescHidden = c.hidden;
    Folder f;
    ASSERT_TRUE(WriteFileRaw(f.File(), "OTHER~1.TXT by short\r\n"));
    {
      THanDescMan d(f.path);
      EXPECT_EQ(Get(d, L"other file.txt", L"OTHER~1.TXT"), c.foundByShort) << c.shortRead << c.shortWrite;
      d.SetDescription(L"long file.txt", L"LONGFI~1.TXT", L"x");
    }
    EXPECT_EQ(ReadFileRaw(f.File()), c.file) << c.shortRead << c.shortWrite;
    DWORD attr = GetFileAttributesW(f.File().c_str());
    ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ((attr & FILE_ATTRIBUTE_HIDDEN) != 0, c.hidden);
  }
  Options.DescShortRead = savedRead;
  Options.DescShortWrite = savedWrite;
  Options.DescHidden = savedHidden;
}
#endif
