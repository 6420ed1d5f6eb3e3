// The folder tree cache over its file's bytes and in memory: reading, damage, edits, notices
// and writing back. Runs natively under the sanitizers and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/TestUtil.h"
#include "foldermgr/MCDTree.h"
#include "foundation/FileIO.h"

namespace {
struct TNotice {
  int Kind;
  std::wstring Path, NewPath;
  bool operator==(const TNotice&) const = default;
};

// A manager for C: with no file, that records its notices.
struct TTree {
  std::vector<TNotice> Notices;
  TMCDTreeMan Man{L"C:", L""};
  TTree() {
    Man.OnChange = [this](TFolderChangeKind k, const std::wstring& p, const std::wstring& n) {
      Notices.push_back({static_cast<int>(k), p, n});
    };
  }
  explicit TTree(const std::string& bytes) : TTree() { Man.LoadFromBytes(bytes); }
  std::string Bytes() const { return Man.SaveToBytes(); }
};

std::string Text(const std::vector<std::string>& lines) {
  std::string s;
  for (auto& l : lines) s += l + "\r\n";
  return s;
}
}  // namespace

TEST(TreeFile, ReadsWellFormedFilesAndWritesThemBackByteExact) {
  struct Case {
    const char* what;
    std::string bytes;
    int nodes;
  };
  const Case cases[] = {
      {"drive", Text({"4", "0,C:", "1,A", "2,B", "1,Z"}), 4},
      {"share", Text({"3", "0,\\\\srv\\data", "1,Docs", "1,Music"}), 3},
      {"comma in name", Text({"3", "0,C:", "1,My,Folder", "2,x"}), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMCDTreeMan m(c.what[0] == 's' ? L"\\\\srv\\data" : L"C:", L"");
    EXPECT_TRUE(m.LoadFromBytes(c.bytes));
    EXPECT_EQ(m.NodeCount(), c.nodes);
    EXPECT_FALSE(m.Dirty);
    EXPECT_EQ(m.SaveToBytes(), c.bytes);
  }
  TTree t(Text({"3", "0,C:", "1,My,Folder", "2,x"}));
  ASSERT_NE(t.Man.Locate(L"C:\\My,Folder\\x", false), nullptr);
}

TEST(TreeFile, SkipsLinesThatSayNothing) {
  // Blank lines, lines without a comma, a depth that is not a number and an empty name are
  // passed over and do not count; blanks around a line are trimmed.
  TTree t(Text({"3", "0,C:", "", "no comma", "x,Name", "3,", "  1,A  ", "1,B"}));
  EXPECT_FALSE(t.Man.Dirty);
  EXPECT_EQ(t.Man.NodeCount(), 3);
  EXPECT_EQ(t.Bytes(), Text({"3", "0,C:", "1,A", "1,B"}));
}

TEST(TreeFile, DamageEmptiesTheTreeAndMarksItDirty) {
  const std::pair<const char*, std::string> cases[] = {
      {"count says 5, four lines", Text({"5", "0,C:", "1,A", "1,B", "2,C"})},
      {"depth jump", Text({"3", "0,C:", "1,A", "3,B"})},
      {"depth below 0", Text({"2", "0,C:", "-1,A"})},
      {"depth above 255", Text({"2", "0,C:", "256,A"})},
      {"first line not the root", Text({"2", "1,A", "2,B"})},
      {"second root", Text({"3", "0,C:", "1,A", "0,D:"})},
      {"count not a number", Text({"three", "0,C:", "1,A", "1,B"})},
      {"count negative", Text({"-3", "0,C:", "1,A", "1,B"})},
      {"name ..", Text({"3", "0,C:", "1,A", "2,.."})},
      {"name .", Text({"3", "0,C:", "1,.", "1,B"})},
      {"name with backslash", Text({"3", "0,C:", "1,A\\B", "1,C"})},
      {"name with slash", Text({"3", "0,C:", "1,A/B", "1,C"})},
      {"name with colon", Text({"3", "0,C:", "1,D:", "1,C"})},
  };
  for (auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    TMCDTreeMan m(L"C:", L"");
    EXPECT_FALSE(m.LoadFromBytes(bytes));
    EXPECT_EQ(m.NodeCount(), 0);
    EXPECT_TRUE(m.Dirty);
    EXPECT_EQ(m.Locate(L"C:\\A", false), nullptr);
  }
}

TEST(TreeFile, CutsLinesAndNamesFromTheBytesThemselves) {
  // Names of more than 16 bytes are copied in blocks: what follows a line's end in the same
  // block belongs to the next line, and a character past the first block is still checked.
  struct Case {
    const char* what;
    std::string bytes;
    TTreeFileRead result;
    TTextEncoding encoding;
    std::vector<std::wstring> names;
  };
  const std::string pad = "\r\n" + std::string(40, 'x') + "\r\n";
  const Case cases[] = {
      {"every kind of line end, the last line without one", "3\n0,C:\r1,Alpha\r\n1,Beta", TTreeFileRead::Ok,
       TTextEncoding::Utf8, {L"C:", L"Alpha", L"Beta"}},
      {"a slash, colon and backslash on a skipped line right after a name",
       "3\r\n0,C:\r\n1,ab\r\nx/y:z\\" + pad + "1,a long name of many letters\r\nq/" + pad, TTreeFileRead::Ok,
       TTextEncoding::Utf8, {L"C:", L"ab", L"a long name of many letters"}},
      {"a colon past the first block", "3\r\n0,C:\r\n1,abcdefghijklmnopqrstu:v\r\n1,z" + pad,
       TTreeFileRead::Damaged, TTextEncoding::Utf8, {L"C:"}},
      {"a tab within a name", "2\r\n0,C:\r\n1,a\tb" + pad, TTreeFileRead::Damaged, TTextEncoding::Utf8, {L"C:"}},
      {"blanks and a tab after a name are trimmed, blanks before it kept",
       " 3 \r\n0,C:\r\n1,abcdefghijklmnopq \t\r\n\t+1,  b  " + pad, TTreeFileRead::Ok, TTextEncoding::Utf8,
       {L"C:", L"abcdefghijklmnopq", L"  b"}},
      {"a long UTF-8 name", "2\r\n0,C:\r\n1,\xED\x94\x84\xEB\xA1\x9C\xEC\xA0\x9D\xED\x8A\xB8 folder name" + pad,
       TTreeFileRead::Ok, TTextEncoding::Utf8, {L"C:", L"\uD504\uB85C\uC81D\uD2B8 folder name"}},
      {"after a UTF-8 mark, an invalid byte is U+FFFD", "\xEF\xBB\xBF" "2\r\n0,C:\r\n1,a\xFF" "b\r\n",
       TTreeFileRead::Ok, TTextEncoding::Utf8Bom, {L"C:", L"a\uFFFDb"}},
      {"a byte that is not UTF-8 on a skipped line makes the file ANSI", "2\r\n0,C:\r\nskip \xFF\r\n1,a\r\n",
       TTreeFileRead::Ok, TTextEncoding::Ansi, {L"C:", L"a"}},
      {"so does one after the damage", "3\r\n0,C:\r\n2,x\r\n1,\xFF\r\n", TTreeFileRead::Damaged,
       TTextEncoding::Ansi, {L"C:"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<TTreeFileLine> lines;
    TTextEncoding encoding = TTextEncoding::Utf16LE;
    EXPECT_EQ(ParseTreeFile(c.bytes, lines, encoding), c.result);
    EXPECT_EQ(encoding, c.encoding);
    std::vector<std::wstring> names;
    for (const TTreeFileLine& l : lines) names.push_back(l.Name);
    EXPECT_EQ(names, c.names);
  }
}

TEST(TreeFile, LineEndsFallAnywhereInTheReadersBlocks) {
  // The reader finds line ends a register's width of bytes at a time: a CR LF pair split by a
  // block's end, a CR alone as a block's last byte and a line end as its first byte are each
  // placed at every offset within two blocks.
  for (size_t pad = 0; pad < 140; ++pad) {
    SCOPED_TRACE(pad);
    const std::string longName = "p" + std::string(pad, 'x');
    const std::string bytes = "4\r\n0,C:\r\n1," + longName + "\r\n1,b\r1,c\n";
    std::vector<TTreeFileLine> lines;
    TTextEncoding encoding;
    ASSERT_EQ(ParseTreeFile(bytes, lines, encoding), TTreeFileRead::Ok);
    std::vector<std::wstring> names;
    for (const TTreeFileLine& l : lines) names.push_back(l.Name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"C:", Utf8ToWide(longName), L"b", L"c"}));
  }
}

namespace {
// A tree file of folders at depths that wander up and down (the same for the same arguments),
// every name its own and after its siblings'; every seventh name Korean, in the bytes given.
std::string WanderingTree(int folders, const std::string& lineEnd, const std::string& korean = "\xED\x95\x9C") {
  std::string s = std::to_string(folders + 1) + lineEnd + "0,C:" + lineEnd;
  uint32_t seed = 12345;
  int depth = 0;
  for (int i = 0; i < folders; ++i) {
    seed = seed * 1103515245 + 12345;
    depth = 1 + static_cast<int>((seed >> 16) % static_cast<uint32_t>(std::min(depth + 1, 6)));
    std::string number = std::to_string(i);
    s += std::to_string(depth) + ",f" + std::string(6 - number.size(), '0') + number + (i % 7 == 3 ? korean : "") +
         lineEnd;
  }
  return s;
}

// Reading bytes in pieces of pieceBytes on the worker threads gives what the plain reader
// gives: the outcome, the tree, its encoding, and the same lists after the same edits.
void ExpectPiecesReadAsPlain(const std::string& bytes, size_t pieceBytes) {
  TMCDTreeMan plain(L"C:", L""), pieces(L"C:", L"");
  bool ok = plain.LoadFromBytes(bytes, 0);
  ASSERT_EQ(pieces.LoadFromBytes(bytes, pieceBytes), ok);
  EXPECT_EQ(pieces.Dirty, plain.Dirty);
  EXPECT_EQ(pieces.Encoding, plain.Encoding);
  ASSERT_EQ(pieces.NodeCount(), plain.NodeCount());
  // Compared whole: a difference of two big files would take the test's time to print.
  EXPECT_TRUE(pieces.SaveToBytes() == plain.SaveToBytes());
  // Every folder knows its parent: its path found from it is the path it was found by. Then
  // edits on folders all through the file, whose parents lie in other pieces or their own.
  std::vector<std::wstring> paths, stack;
  size_t line = 0;
  for (const TTreeFileLine& l : plain.Lines()) {
    stack.resize(static_cast<size_t>(l.Depth));
    stack.push_back(l.Depth == 0 ? L"C:" : stack.back() + L"\\" + l.Name);
    if (line++ % 7 == 0) {
      PMCDTreeNode node = pieces.Locate(stack.back(), false);
      ASSERT_NE(node, nullptr) << WideToUtf8(stack.back());
      ASSERT_EQ(pieces.NodePath(node), stack.back());
    }
    if (paths.size() < 100 && l.Depth > 0 && std::hash<std::wstring>()(l.Name) % 13 == 0) paths.push_back(stack.back());
  }
  for (TMCDTreeMan* t : {&plain, &pieces}) {
    for (size_t i = 0; i < paths.size(); ++i) {
      if (i % 3 == 0) t->AddFolder(paths[i] + L"\\new");
      if (i % 3 == 1) t->MoveFolder(paths[i], L"C:\\moved");
      if (i % 3 == 2) t->DeleteFolder(paths[i]);
    }
  }
  EXPECT_TRUE(pieces.SaveToBytes() == plain.SaveToBytes());
  plain.Dirty = pieces.Dirty = false;
}
}  // namespace

TEST(TreeFile, ABigFileReadInPiecesGivesThePlainReadersTree) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case good[] = {
      {"CR LF", WanderingTree(3000, "\r\n")},
      {"LF", WanderingTree(3000, "\n")},
      {"CR", WanderingTree(3000, "\r")},
      {"no line end after the last", WanderingTree(3000, "\r\n").substr(0, WanderingTree(3000, "\r\n").size() - 2)},
      {"UTF-8 mark", "\xEF\xBB\xBF" + WanderingTree(3000, "\r\n")},
  };
  for (const Case& c : good) {
    SCOPED_TRACE(c.what);
    for (size_t piece : {size_t{61}, size_t{1000}, size_t{7000}}) {
      SCOPED_TRACE(piece);
      TMCDTreeMan m(L"C:", L"");
      EXPECT_TRUE(m.LoadFromBytes(c.bytes, piece));
      EXPECT_EQ(m.NodeCount(), 3001);
      ExpectPiecesReadAsPlain(c.bytes, piece);
    }
  }
}

TEST(TreeFile, DamageAnywhereInAFileReadInPiecesIsFoundAsThePlainReaderFindsIt) {
  // Each kind of damage at every line of a small file read in pieces of a few lines each, so
  // that it falls at a piece's first line, its last and between.
  const std::string lines = WanderingTree(60, "\n");
  std::vector<std::string> all;
  for (size_t at = 0, end; at < lines.size(); at = end + 1) {
    end = lines.find('\n', at);
    all.push_back(lines.substr(at, end - at));
  }
  auto join = [](const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& l : v) s += l + "\r\n";
    return s;
  };
  for (size_t i = 1; i < all.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string depth = all[i].substr(0, all[i].find(','));
    const std::string name = all[i].substr(all[i].find(',') + 1);
    const std::vector<std::string> changed[] = {
        {std::to_string(std::stoi(depth) + 2) + "," + name},  // a depth jump
        {"0," + name},                                          // a second root
        {depth + ",.."},                                        // a name no folder has
        {"", all[i]},                                           // a blank line
        {"no comma", all[i]},                                   // a line passed over
    };
    for (const auto& replacement : changed) {
      std::vector<std::string> v = all;
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
      v.insert(v.begin() + static_cast<std::ptrdiff_t>(i), replacement.begin(), replacement.end());
      for (size_t piece : {size_t{16}, size_t{40}}) ExpectPiecesReadAsPlain(join(v), piece);
    }
  }
  // A count one off either way.
  for (int off : {-1, 1}) {
    std::vector<std::string> v = all;
    v[0] = std::to_string(std::stoi(v[0]) + off);
    ExpectPiecesReadAsPlain(join(v), 16);
  }
}

TEST(TreeFile, AnEmptyFileIsAnEmptyTree) {
  TMCDTreeMan m(L"C:", L"");
  EXPECT_TRUE(m.LoadFromBytes(""));
  EXPECT_EQ(m.NodeCount(), 0);
  EXPECT_FALSE(m.Dirty);
  EXPECT_TRUE(m.LoadFromBytes("0\r\n"));
  EXPECT_FALSE(m.Dirty);
}

TEST(TreeFile, NamesAreKeptWholeInTheEncodingTheyWereReadIn) {
  std::wstring longName(300, L'n');
  TTree t;
  t.Man.AddFolder(L"C:\\" + longName + L"\\한글 폴더");
  std::string utf8 = t.Bytes();
  TTree back(utf8);
  EXPECT_NE(back.Man.Locate(L"C:\\" + longName + L"\\한글 폴더", false), nullptr);
  EXPECT_EQ(back.Bytes(), utf8);
  // A UTF-16 file is written back as UTF-16.
  std::string utf16 = "\xFF\xFE";
  for (char c : Text({"3", "0,C:", "1,A", "1,B"})) utf16 += std::string{c, '\0'};
  TTree wide(utf16);
  EXPECT_EQ(wide.Man.NodeCount(), 3);
  EXPECT_EQ(wide.Bytes(), utf16);
}

#ifdef _WIN32
// A file in the ANSI code page (949 on the test system), with a name whose trail byte is an
// ASCII letter and a name holding a comma.
TEST(TreeFile, AnAnsiFileKeepsItsKoreanNamesAndIsWrittenBackAsItWas) {
  const std::string ansi = Text({"4", "0,C:", "1,\xB8\xF0\xB5\xE2", "2,\x81\x41Z", "1,\xC7\xD1,\xB1\xDB"});
  TTree t(ansi);
  EXPECT_EQ(t.Man.Encoding, TTextEncoding::Ansi);
  EXPECT_NE(t.Man.Locate(L"C:\\\uBAA8\uB4C8\\\uAC02Z", false), nullptr);
  EXPECT_NE(t.Man.Locate(L"C:\\\uD55C,\uAE00", false), nullptr);
  EXPECT_EQ(t.Bytes(), ansi);
  // A name the code page lacks turns the whole file into UTF-8, the names before it included.
  t.Man.AddFolder(L"C:\\\uBAA8\uB4C8\\\u0E01");
  std::string utf8 = t.Bytes();
  EXPECT_NE(utf8.find("1,\xEB\xAA\xA8\xEB\x93\x88\r\n"), std::string::npos);
  EXPECT_NE(utf8.find("2,\xE0\xB8\x81\r\n"), std::string::npos);
  TTree back(utf8);
  EXPECT_EQ(back.Man.Encoding, TTextEncoding::Utf8);
  for (auto p : {L"C:\\\uBAA8\uB4C8\\\uAC02Z", L"C:\\\uBAA8\uB4C8\\\u0E01", L"C:\\\uD55C,\uAE00"})
    EXPECT_NE(back.Man.Locate(p, false), nullptr);
}

// An ANSI file read in pieces: the early pieces may be read as UTF-8 (their names, here bytes
// that are UTF-8 too, included) before a later piece finds bytes that are not.
TEST(TreeFile, AnAnsiFileReadInPiecesIsReadAsTheCodePageThroughout) {
  std::string bytes = WanderingTree(3000, "\r\n", "\xC3\xA9");
  bytes += "1,\xB8\xF0\xB5\xE2\r\n";
  bytes.replace(0, bytes.find('\r'), "3002");
  for (size_t piece : {size_t{61}, size_t{1000}}) {
    TMCDTreeMan m(L"C:", L"");
    EXPECT_TRUE(m.LoadFromBytes(bytes, piece));
    EXPECT_EQ(m.Encoding, TTextEncoding::Ansi);
    EXPECT_TRUE(m.SaveToBytes() == bytes);
    EXPECT_NE(m.Locate(L"C:\\\uBAA8\uB4C8", false), nullptr);
    ExpectPiecesReadAsPlain(bytes, piece);
  }
}
#endif

TEST(TreeFile, AFileIsReadInPiecesWhileItsBytesStillCome) {
  // The bytes come a part at a time, each after a pause, so that pieces wait for theirs; the
  // line ends differ from one file to the next, so that bytes of the one before cannot pass.
  for (const char* lineEnd : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(lineEnd[0] == '\r' ? lineEnd[1] ? "CR LF" : "CR" : "LF");
    const std::string bytes = WanderingTree(30000, lineEnd);
    TMCDTreeMan plain(L"C:", L"");
    ASSERT_TRUE(plain.LoadFromBytes(bytes, 0));
    size_t at = 0;
    auto readNext = [&](char* to, size_t count) {
      if (at > 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
      if (count > bytes.size() - at) return false;
      std::copy_n(bytes.data() + at, count, to);
      at += count;
      return true;
    };
    TMCDTreeMan m(L"C:", L"");
    ASSERT_TRUE(m.LoadWhileReading(bytes.size(), readNext, 2000));
    EXPECT_EQ(at, bytes.size());
    EXPECT_FALSE(m.Dirty);
    EXPECT_EQ(m.NodeCount(), plain.NodeCount());
    EXPECT_TRUE(m.SaveToBytes() == plain.SaveToBytes());
  }
  const std::string bytes = WanderingTree(3000, "\r\n");
  // What is not read so is left to the plain reader, with nothing kept: a read that fails
  // halfway, a damaged file, and a file too small to share out (which is not read at all).
  struct Case {
    const char* what;
    std::string bytes;
    size_t failAt;
  };
  std::string damaged = bytes;
  damaged[damaged.find("\r\n", damaged.size() / 2) + 2] = '9';  // a depth jump
  const Case cases[] = {
      {"read fails", bytes, bytes.size() / 2},
      {"damaged", damaged, std::string::npos},
      {"too small", bytes.substr(0, 900), std::string::npos},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    size_t at = 0;
    auto readNext = [&](char* to, size_t count) {
      if (at + count > std::min(c.bytes.size(), c.failAt)) return false;
      std::copy_n(c.bytes.data() + at, count, to);
      at += count;
      return true;
    };
    TMCDTreeMan m(L"C:", L"");
    EXPECT_FALSE(m.LoadWhileReading(c.bytes.size(), readNext, 500));
    EXPECT_EQ(m.NodeCount(), 0);
    EXPECT_FALSE(m.Dirty);
    if (c.bytes.size() < 1000) {
      EXPECT_EQ(at, 0u);
    }
  }
}

TEST(TreeFile, ABigTreeFileLoadsFromDiskInPieces) {
  TTempDir dir;
  const std::string bytes = WanderingTree(40000, "\r\n");
  WriteFileRaw(dir / L"TREE.MCD", bytes);
  TMCDTreeMan m(L"C:", dir / L"TREE.MCD");
  m.Load();
  EXPECT_FALSE(m.Dirty);
  EXPECT_EQ(m.NodeCount(), 40001);
  EXPECT_TRUE(m.SaveToBytes() == bytes);
  EXPECT_EQ(m.Lines().back().Name, L"f039999");
  ExpectPiecesReadAsPlain(bytes, TMCDTreeMan::TreePieceBytes);
}

TEST(TreeCache, LocateFindsAndCreatesByLevel) {
  TTree t(Text({"5", "0,C:", "1,Apple", "1,mango", "2,Seed", "1,Zebra"}));
  EXPECT_NE(t.Man.Locate(L"C:", false), nullptr);
  EXPECT_NE(t.Man.Locate(L"C:\\", false), nullptr);
  EXPECT_NE(t.Man.Locate(L"c:\\MANGO\\seed\\", false), nullptr);
  for (auto missing : {L"C:\\Banana", L"C:\\0", L"C:\\zz", L"C:\\Apple\\x", L"D:\\Apple", L"C:\\mango\\..\\Apple"})
    EXPECT_EQ(t.Man.Locate(missing, false), nullptr) << missing;
  EXPECT_FALSE(t.Man.Dirty);
  // A folder without children and an empty tree are searched safely.
  TTree empty;
  EXPECT_EQ(empty.Man.Locate(L"C:\\A", false), nullptr);
  EXPECT_EQ(empty.Man.NodeCount(), 0);
  // Create keeps siblings sorted.
  for (auto p : {L"C:\\Banana", L"C:\\aardvark", L"C:\\zz", L"C:\\Apple\\x"}) ASSERT_NE(t.Man.Locate(p, true), nullptr);
  EXPECT_TRUE(t.Man.Dirty);
  EXPECT_EQ(t.Bytes(), Text({"9", "0,C:", "1,aardvark", "1,Apple", "2,x", "1,Banana", "1,mango", "2,Seed", "1,Zebra",
                             "1,zz"}));
  // Levels that name no folder are never created.
  EXPECT_EQ(t.Man.Locate(L"C:\\A\\..\\B", true), nullptr);
}

TEST(TreeCache, AddFolderBuildsTheBranchAndSendsOneNotice) {
  TTree t;
  t.Man.AddFolder(L"C:\\A\\B\\C\\");
  EXPECT_EQ(t.Man.NodeCount(), 4);
  EXPECT_EQ(t.Notices, (std::vector<TNotice>{{1, L"C:\\A\\B\\C", L""}}));
  EXPECT_EQ(t.Bytes(), Text({"4", "0,C:", "1,A", "2,B", "3,C"}));
  t.Man.AddFolder(L"C:\\");
  EXPECT_EQ(t.Notices.back(), (TNotice{1, L"C:\\", L""}));
}

TEST(TreeCache, RenameTakesTheLastNameOnlyAndResorts) {
  TTree t(Text({"5", "0,C:", "1,A", "2,Old", "3,Kid", "2,P"}));
  t.Man.RenameFolder(L"C:\\A\\Old", L"D:\\X\\New");
  EXPECT_EQ(t.Notices, (std::vector<TNotice>{{2, L"C:\\A\\Old", L"C:\\A\\New"}}));
  EXPECT_EQ(t.Bytes(), Text({"5", "0,C:", "1,A", "2,New", "3,Kid", "2,P"}));
  t.Man.RenameFolder(L"C:\\A\\New\\", L"C:\\A\\Z");
  EXPECT_EQ(t.Bytes(), Text({"5", "0,C:", "1,A", "2,P", "2,Z", "3,Kid"}));
  // An unknown folder is added under its new name.
  t.Man.RenameFolder(L"C:\\B\\Gone", L"C:\\B\\Here");
  EXPECT_NE(t.Man.Locate(L"C:\\B\\Here", false), nullptr);
  EXPECT_EQ(t.Notices.back(), (TNotice{2, L"C:\\B\\Gone", L"C:\\B\\Here"}));
}

TEST(TreeCache, DeleteRemovesTheSubtreeAndAlwaysSendsTheNotice) {
  TTree t(Text({"5", "0,C:", "1,A", "2,B", "3,C", "1,D"}));
  t.Man.DeleteFolder(L"C:\\A\\");
  EXPECT_EQ(t.Bytes(), Text({"2", "0,C:", "1,D"}));
  t.Man.DeleteFolder(L"C:\\Nowhere");
  EXPECT_EQ(t.Notices, (std::vector<TNotice>{{3, L"C:\\A", L""}, {3, L"C:\\Nowhere", L""}}));
  // The root stays.
  t.Man.DeleteFolder(L"C:\\");
  EXPECT_EQ(t.Man.NodeCount(), 2);
}

TEST(TreeCache, MoveRehangsRenumbersAndNotifies) {
  TTree t(Text({"6", "0,C:", "1,A", "2,B", "3,C", "1,X", "2,Y"}));
  t.Man.MoveFolder(L"C:\\A\\B", L"C:\\X\\");
  EXPECT_EQ(t.Bytes(), Text({"6", "0,C:", "1,A", "1,X", "2,B", "3,C", "2,Y"}));
  EXPECT_EQ(t.Notices, (std::vector<TNotice>{{3, L"C:\\A\\B", L""}, {1, L"C:\\X", L""}}));
  // Deeper: depths follow the new place.
  t.Man.MoveFolder(L"C:\\X\\B", L"C:\\X\\Y\\Deep");
  EXPECT_EQ(t.Bytes(), Text({"7", "0,C:", "1,A", "1,X", "2,Y", "3,Deep", "4,B", "5,C"}));
  // An unknown source appears at the destination.
  t.Man.MoveFolder(L"C:\\Elsewhere\\New", L"C:\\A");
  EXPECT_NE(t.Man.Locate(L"C:\\A\\New", false), nullptr);
}

TEST(TreeCache, MovingIntoItselfOrMovingTheRootChangesNothing) {
  const std::string start = Text({"4", "0,C:", "1,A", "2,B", "1,X"});
  const std::pair<const wchar_t*, const wchar_t*> moves[] = {
      {L"C:\\A", L"C:\\A"}, {L"C:\\A", L"C:\\A\\B"}, {L"C:\\A\\", L"c:\\a\\b\\new"}, {L"C:\\", L"C:\\X"}, {L"C:", L"C:\\X"}};
  for (auto& [src, dst] : moves) {
    SCOPED_TRACE(std::string(src, src + wcslen(src)) + " -> " + std::string(dst, dst + wcslen(dst)));
    TTree t(start);
    t.Man.MoveFolder(src, dst);
    EXPECT_EQ(t.Bytes(), start);
    EXPECT_FALSE(t.Man.Dirty);
    EXPECT_TRUE(t.Notices.empty());
  }
  // Into the folder it is already in: it stays where it is.
  TTree same(start);
  same.Man.MoveFolder(L"C:\\A\\B", L"C:\\a\\");
  EXPECT_EQ(same.Bytes(), start);
  EXPECT_FALSE(same.Man.Dirty);
  // A sibling whose name starts like the source is no sub-folder of it.
  TTree t(start);
  t.Man.MoveFolder(L"C:\\A", L"C:\\AB");
  EXPECT_EQ(t.Bytes(), Text({"5", "0,C:", "1,AB", "2,A", "3,B", "1,X"}));
}

TEST(TreeCache, EditsOnALoadedTreeKeepEveryChildListWhole) {
  // A tree read from a file has child lists exactly as long as the file made them: each edit
  // below grows, shrinks or moves one.
  TTree t(Text({"5", "0,C:", "1,B", "2,x", "1,D", "2,y"}));
  for (auto p : {L"C:\\E", L"C:\\A", L"C:\\C", L"C:\\B\\w", L"C:\\B\\z", L"C:\\D\\a", L"C:\\G", L"C:\\F"})
    t.Man.AddFolder(p);
  EXPECT_EQ(t.Bytes(), Text({"13", "0,C:", "1,A", "1,B", "2,w", "2,x", "2,z", "1,C", "1,D", "2,a", "2,y", "1,E", "1,F",
                             "1,G"}));
  t.Man.DeleteFolder(L"C:\\B");
  t.Man.MoveFolder(L"C:\\D", L"C:\\A");
  t.Man.RenameFolder(L"C:\\A\\D\\y", L"C:\\A\\D\\b");
  t.Man.AddFolder(L"C:\\A\\D\\b\\deep");
  EXPECT_EQ(t.Man.NodeCount(), 10);
  const std::string want = Text({"10", "0,C:", "1,A", "2,D", "3,a", "3,b", "4,deep", "1,C", "1,E", "1,F", "1,G"});
  EXPECT_EQ(t.Bytes(), want);
  TTree back(want);
  EXPECT_EQ(back.Man.NodeCount(), 10);
  EXPECT_EQ(back.Bytes(), want);
  // What was deleted or left behind by a move is gone for good.
  for (auto gone : {L"C:\\B", L"C:\\B\\x", L"C:\\D", L"C:\\A\\D\\y"}) EXPECT_EQ(t.Man.Locate(gone, false), nullptr) << gone;
  EXPECT_EQ(t.Man.NodePath(t.Man.Locate(L"c:\\a\\d\\B\\DEEP", false)), L"C:\\A\\D\\b\\deep");
}

TEST(TreeCache, SyncChildrenMatchesTheListAndLeavesGrandchildren) {
  TTree t(Text({"6", "0,C:", "1,A", "2,Keep", "3,Grand", "2,Old", "1,B"}));
  TStringList names;
  for (auto n : {L"zeta", L"keep", L"New"}) names.Add(n);
  t.Man.SyncChildren(L"C:\\A\\", names);
  EXPECT_EQ(t.Bytes(), Text({"7", "0,C:", "1,A", "2,Keep", "3,Grand", "2,New", "2,zeta", "1,B"}));
  EXPECT_TRUE(names.Sorted());
  EXPECT_EQ(names.Count(), 2);  // "keep" existed
  EXPECT_TRUE(t.Notices.empty());
  // An empty list removes every child.
  TStringList none;
  t.Man.SyncChildren(L"C:\\A", none);
  EXPECT_EQ(t.Bytes(), Text({"3", "0,C:", "1,A", "1,B"}));
}

TEST(TreeCache, SyncChildrenOfAFolderNotInTheCacheDoesNothing) {
  TTree t(Text({"3", "0,C:", "1,A", "1,B"}));
  TStringList names;
  names.Add(L"x");
  t.Man.SyncChildren(L"C:\\Q\\R", names);
  EXPECT_FALSE(t.Man.Dirty);
  EXPECT_EQ(t.Man.NodeCount(), 3);
  TTree empty;
  empty.Man.SyncChildren(L"C:\\", names);
  EXPECT_EQ(empty.Man.NodeCount(), 0);
  EXPECT_FALSE(empty.Man.Dirty);
}

TEST(TreeCache, SavedFilesFollowTheSizeRule) {
  TTempDir dir;
  std::wstring file = dir / L"1A2B3C4D.MCD";
  {
    TMCDTreeMan m(L"C:", file);
    m.AddFolder(L"C:\\A");  // two nodes: not written
  }
  EXPECT_FALSE(FileExistsPlain(file));
  {
    TMCDTreeMan m(L"C:", file);
    m.AddFolder(L"C:\\A\\B");
  }
  EXPECT_EQ(ReadFileRaw(file), Text({"3", "0,C:", "1,A", "2,B"}));
  {
    // Reduced to the root and one folder, the file goes.
    TMCDTreeMan m(L"C:", file);
    m.DeleteFolder(L"C:\\A\\B");
  }
  EXPECT_FALSE(FileExistsPlain(file));
  // A damaged file is removed when the manager goes, or replaced by what the edits built.
  WriteFileRaw(file, Text({"5", "0,C:", "1,A"}));
  { TMCDTreeMan m(L"C:", file); m.Locate(L"C:\\A", false); }
  EXPECT_FALSE(FileExistsPlain(file));
  WriteFileRaw(file, Text({"5", "0,C:", "1,A"}));
  { TMCDTreeMan m(L"C:", file); m.AddFolder(L"C:\\P\\Q"); }
  EXPECT_EQ(ReadFileRaw(file), Text({"3", "0,C:", "1,P", "2,Q"}));
  // Unchanged: the file is left as it is.
  WriteFileRaw(file, Text({"3", "0,C:", "1,A", "2,B"}) + "\r\n\r\n");
  { TMCDTreeMan m(L"C:", file); m.Locate(L"C:\\A\\B", true); m.DeleteFolder(L"C:\\None"); }
  EXPECT_EQ(ReadFileRaw(file), Text({"3", "0,C:", "1,A", "2,B"}) + "\r\n\r\n");
}

#ifdef _WIN32
TEST(TreeCache, TheProgramFolderStandsInOnlyForTheProgramsOwnNames) {
  TTempDir drive, program;
  WriteFileRaw(program / L"1A2B3C4D.MCD", Text({"3", "0,C:", "1,From", "1,Program"}));
  WriteFileRaw(program / L"TREEINFO.MCD", Text({"3", "0,C:", "1,Other", "1,Drive"}));
  TMCDTreeMan serial(L"C:", drive / L"1A2B3C4D.MCD");
  serial.FallbackFolder = program.Path();
  EXPECT_NE(serial.Locate(L"C:\\From", false), nullptr);
  TMCDTreeMan root(L"C:", drive / L"TREEINFO.MCD");
  root.FallbackFolder = program.Path();
  EXPECT_EQ(root.Locate(L"C:\\Other", false), nullptr);
  EXPECT_EQ(root.NodeCount(), 0);
}
#endif

TEST(TreeCache, ReplaceAllTakesAScanInPreOrder) {
  TTree t(Text({"3", "0,C:", "1,Old", "1,Older"}));
  t.Man.ReplaceAll({{0, L"C:"}, {1, L"b"}, {2, L"x"}, {1, L"A"}});
  EXPECT_TRUE(t.Man.Dirty);
  EXPECT_EQ(t.Bytes(), Text({"4", "0,C:", "1,A", "1,b", "2,x"}));
}

TEST(TreeFileName, ProgramNamesFromSerialShareAndCd) {
  EXPECT_EQ(SerialTreeFileName(0x1A2B3C4D), L"1A2B3C4D.MCD");
  EXPECT_EQ(SerialTreeFileName(0x0000000F), L"0000000F.MCD");
  // "R" and the hash of the upper-cased root with its backslash; seven digits, or eight once
  // the hash reaches 0x10000000.
  auto hash = [](const std::string& s) {
    uint32_t h = 0x12345678;
    for (size_t i = 1; i <= s.size() % 256; ++i) h += static_cast<uint32_t>(static_cast<uint8_t>(s[i - 1])) << (i % 24);
    return h;
  };
  std::wstring r = RemoteTreeFileName(L"\\\\srv\\data");
  uint32_t h = hash("\\\\SRV\\DATA\\");
  wchar_t want[32];
  swprintf(want, 32, L"R%07X.MCD", static_cast<unsigned>(h));
  EXPECT_EQ(r, want);
  EXPECT_EQ(r.size(), h >= 0x10000000 ? 13u : 12u);
  EXPECT_EQ(RemoteTreeFileName(L"\\\\srv\\data\\"), r);
  EXPECT_EQ(RemoteTreeFileName(L"\\\\SRV\\Data\\"), r);
  // The CD name loses its top digit to "Y"; nothing at all gives no name.
  EXPECT_EQ(CdTreeFileName(0x1234ABCD, 0, 0, 0, L""), L"Y234ABCD.MCD");
  EXPECT_EQ(CdTreeFileName(0x00000010, 0, 0, 0, L""), L"Y0000010.MCD");
  // The values are or-ed, then each byte of the name added shifted by its place.
  EXPECT_EQ(CdTreeFileName(0x1000, 0x20, 0, 0x5, L"A"), L"Y00010A7.MCD");
  EXPECT_EQ(CdTreeFileName(0, 0, 0, 0, L""), L"");
  EXPECT_EQ(MakeTreeFileNameByDriveType(L"C:\\", 3), L"C:\\TREEINFO.MCD");
  EXPECT_EQ(MakeTreeFileNameByDriveType(L"C:\\", 1), L"");
  EXPECT_EQ(MakeTreeFileNameByDriveType(L"C:\\", 7), L"");
}
