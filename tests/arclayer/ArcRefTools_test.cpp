// Independent checks: archives made by the system's own archivers (zip, tar, gzip, gcab, arj,
// arc) and the byte-built ones of ArcFixtures.h are listed by the directory readers and by the
// reference listers (zipinfo, tar, gzip -l, cabextract, arj, nomarch, lha, lsar); names, order
// and sizes must agree. The tools run on the build host, so these checks are native only.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "arclayer/ArcFixtures.h"
#include "arclayer/LibFixtures.h"
#include "archive/layer/ArcTree.h"
#include "archive/layer/ArcView.h"
#include "common/TestUtil.h"
#include "foundation/TextCodec.h"

namespace {

std::string Output(const std::string& cmd) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}
int Shell(const std::string& cmd) { return std::system(("( " + cmd + " ) >/dev/null 2>&1").c_str()); }
std::string U8(const std::wstring& w) { return WideToUtf8(w); }
std::vector<std::string> Tokens(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> t;
  for (std::string s; in >> s;) t.push_back(s);
  return t;
}

struct TRow {
  std::string Name;
  int64_t Size = -1;  // -1: the tool does not say
  bool operator==(const TRow&) const = default;
};
std::ostream& operator<<(std::ostream& o, const TRow& r) { return o << r.Name << " (" << r.Size << ")"; }

// Our listing: names with "/" separators, folder entries left out unless asked for.
std::vector<TRow> Ours(const std::wstring& file, bool folders = false, bool sizes = true) {
  int64_t offset = 0;
  const TArcKind kind = DetectArchiveType(file, offset, true);
  EXPECT_NE(kind, akNone) << U8(file);
  TArchive a;
  std::vector<TRow> rows;
  if (!a.Open(file, kind, offset)) return rows;
  ArcInfoRec item;
  for (bool ok = a.FindFirst(item); ok; ok = a.FindNext(item)) {
    std::string name = U8(item.Name);
    for (char& c : name)
      if (c == '\\') c = '/';
    const bool folder = (item.Attributes & 0x10) || (!name.empty() && name.back() == '/');
    if (folder && !folders) continue;
    rows.push_back({name, sizes ? item.Size : -1});
  }
  return rows;
}

// Rows of a tool's listing: lines that keep enough tokens; the name is the last token (or the
// token at nameAt), the size the token at sizeAt (none when sizeAt < 0).
std::vector<TRow> Rows(const std::string& out, size_t minTokens, int sizeAt, bool (*keep)(const std::string&),
                       int nameAt = -1) {
  std::vector<TRow> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const auto t = Tokens(line);
    if (t.size() < minTokens || !keep(line)) continue;
    TRow r{nameAt < 0 ? t.back() : t[static_cast<size_t>(nameAt)], -1};
    if (sizeAt >= 0) r.Size = std::atoll(t[static_cast<size_t>(sizeAt)].c_str());
    rows.push_back(r);
  }
  return rows;
}

class ArcRefTools : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = U8(Dir.Path());
    Src = Root + "/src";
    Shell("mkdir -p '" + Src + "/sub/deep' '" + Src + "/empty'");
    Write("a.txt", "hello\n");
    Write("sub/b.bin", std::string(3000, 'b'));
    Write("sub/deep/c.txt", "deep\n");
    Write("sub/deep/" + std::string(120, 'L') + ".txt", std::string(77, 'l'));
  }
  void Write(const std::string& rel, const std::string& data) {
    WriteFileRaw(Utf8ToWide(Src + "/" + rel), data);
  }
  std::wstring Path(const std::string& name) const { return Utf8ToWide(Root + "/" + name); }
  bool Have(const char* tool) { return Shell(std::string("command -v ") + tool) == 0; }
  TTempDir Dir;
  std::string Root, Src;
};

bool Any(const std::string&) { return true; }
bool ZipInfoLine(const std::string& l) { return !l.empty() && (l[0] == '-' || l[0] == 'd' || l[0] == 'l'); }
bool TarLine(const std::string& l) { return !l.empty() && (l[0] == '-' || l[0] == 'd' || l[0] == 'l' || l[0] == 'h'); }
bool CabLine(const std::string& l) {
  return l.find(" | ") != std::string::npos && l.find("File size") == std::string::npos;
}
bool LsarLine(const std::string& l) {
  const auto t = Tokens(l);
  return !t.empty() && t[0].size() > 1 && t[0].back() == '.' && std::isdigit(static_cast<unsigned char>(t[0][0]));
}

// The library drivers' RAR fixtures (LibFixtures.h), volume sets and solid ones included.
std::vector<arcfix::TLibFile> LibFiles() {
  std::vector<arcfix::TLibFile> f = {{"a.txt", "hello world\n"},
                                     {"sub\\b.txt", std::string(300, 'x') + "end"},
                                     {"sub", ""},
                                     {"c.bin", "0123456789abcdef"}};
  f[2].Attr = 0x10;
  return f;
}

}  // namespace

TEST_F(ArcRefTools, ZipMatchesZipinfo) {
  ASSERT_EQ(Shell("cd '" + Src + "' && zip -qr ../t.zip ."), 0);
  const auto tool = Rows(Output("zipinfo '" + Root + "/t.zip'"), 9, 3, ZipInfoLine);
  EXPECT_EQ(Ours(Path("t.zip"), true), tool);
  // With an archive comment, and as a self-extracting file behind a stub.
  ASSERT_EQ(Shell("cd '" + Root + "' && cp t.zip c.zip && echo 'a comment' | zip -qz c.zip"), 0);
  EXPECT_EQ(Ours(Path("c.zip"), true), tool);
  // zip -A adjusts the offsets of an archive joined behind a stub.
  // The stub: a DOS image of one page, then zeros up to 5000 bytes.
  ASSERT_EQ(Shell("cd '" + Root + "' && printf 'MZ\\000\\000\\001\\000' > stub && head -c 4994 /dev/zero >> stub && "
                  "cat stub t.zip > s.zip && zip -qA s.zip"), 0);
  EXPECT_EQ(Ours(Path("s.zip"), true), Rows(Output("zipinfo '" + Root + "/s.zip'"), 9, 3, ZipInfoLine));
}

TEST_F(ArcRefTools, TarMatchesTarInEveryFormat) {
  for (const char* format : {"gnu", "ustar", "pax", "v7"}) {
    const std::string name = std::string("t-") + format + ".tar";
    // v7 and ustar cannot hold the long name: those archives leave it out.
    const std::string what = std::string(format) == "gnu" || std::string(format) == "pax"
                                 ? "."
                                 : "a.txt sub/b.bin sub/deep/c.txt empty";
    ASSERT_EQ(Shell("cd '" + Src + "' && tar --format=" + format + " -cf ../" + name + " " + what), 0) << format;
    EXPECT_EQ(Ours(Path(name), true), Rows(Output("tar tvf '" + Root + "/" + name + "'"), 6, 2, TarLine)) << format;
  }
  // The ustar prefix: a path of more than 100 bytes split into prefix and name.
  const std::string deep = "p/" + std::string(90, 'q') + "/" + std::string(60, 'r');
  Shell("mkdir -p '" + Src + "/" + deep + "'");
  Write(deep + "/f.txt", "x");
  ASSERT_EQ(Shell("cd '" + Src + "' && tar --format=ustar -cf ../prefix.tar '" + deep + "/f.txt'"), 0);
  const auto ours = Ours(Path("prefix.tar"));
  ASSERT_EQ(ours.size(), 1u);
  EXPECT_EQ(ours[0].Name, deep + "/f.txt");
}

TEST_F(ArcRefTools, GzipMatchesGzipList) {
  ASSERT_EQ(Shell("cd '" + Src + "' && gzip -c sub/b.bin > ../b.bin.gz && gzip -nc a.txt > ../report.txt.gz"), 0);
  for (const char* name : {"b.bin.gz", "report.txt.gz"}) {
    auto tool = Rows(Output(std::string("gzip -l '") + Root + "/" + name + "'"), 4, 1,
                     [](const std::string& l) { return l.find("compressed") == std::string::npos; });
    for (auto& r : tool) r.Name.erase(0, r.Name.rfind('/') + 1);
    EXPECT_EQ(Ours(Path(name)), tool) << name;
  }
}

TEST_F(ArcRefTools, CabMatchesCabextract) {
  ASSERT_EQ(Shell("cd '" + Src + "' && gcab -c ../t.cab a.txt sub/b.bin sub/deep/c.txt"), 0);
  EXPECT_EQ(Ours(Path("t.cab")), Rows(Output("cabextract -l '" + Root + "/t.cab'"), 6, 0, CabLine));
  // A cabinet built here with a UTF-8 name.
  WriteFileRaw(Path("u.cab"), arcfix::Cab({{"\xED\x95\x9C\xEA\xB8\x80.txt", "abc"}, {"dir/x.txt", "12345"}}));
  EXPECT_EQ(Ours(Path("u.cab")), Rows(Output("cabextract -l '" + Root + "/u.cab'"), 6, 0, CabLine));
}

TEST_F(ArcRefTools, ArjMatchesArjList) {
  ASSERT_EQ(Shell("cd '" + Src + "' && arj a -r ../t.arj a.txt sub"), 0);
  // "arj v" names each entry on a line "NNN) path" and gives its size on the next.
  std::vector<TRow> tool;
  std::istringstream in(Output("arj v '" + Root + "/t.arj'"));
  for (std::string line, next; std::getline(in, line);) {
    const auto t = Tokens(line);
    if (t.size() != 2 || t[0].size() != 4 || t[0].back() != ')' || !std::getline(in, next)) continue;
    const auto n = Tokens(next);
    if (n.size() >= 3) tool.push_back({t[1], std::atoll(n[2].c_str())});
  }
  ASSERT_FALSE(tool.empty());
  EXPECT_EQ(Ours(Path("t.arj")), tool);
}

TEST_F(ArcRefTools, ArcMatchesNomarch) {
  ASSERT_EQ(Shell("cd '" + Src + "' && cp sub/b.bin B.BIN && arc a ../t.arc a.txt B.BIN"), 0);
  // nomarch shows the stored upper-case names in lower case.
  const auto lower = [](std::vector<TRow> rows) {
    for (auto& r : rows)
      for (char& c : r.Name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return rows;
  };
  const auto tool = Rows(Output("nomarch -l '" + Root + "/t.arc'"), 1, -1, Any, 0);
  EXPECT_EQ(lower(Ours(Path("t.arc"), false, false)), tool);
  // The byte-built one: "nomarch -lv" gives the name first, then method, packed and size.
  WriteFileRaw(Path("b.arc"), arcfix::Arc({{"ONE.TXT", "1"}, {"TWO.DAT", std::string(40, 't')}}));
  EXPECT_EQ(lower(Ours(Path("b.arc"))), Rows(Output("nomarch -lv '" + Root + "/b.arc'"), 5, 4, Any, 0));
}

TEST_F(ArcRefTools, ByteBuiltLzhMatchesLha) {
  const std::vector<arcfix::TFile> files{{"a.txt", "hello"}, {"sub/b.bin", std::string(300, 'b')},
                                         {"sub/deep/c.txt", "c"}};
  for (int level : {0, 1, 2}) {
    const std::string name = "t" + std::to_string(level) + ".lzh";
    WriteFileRaw(Path(name), arcfix::Lzh(files, level));
    const std::string out = Output("lha l '" + Root + "/" + name + "'");
    // "lha l" rows: permissions, (uid/gid), size, ratio, date (3 tokens), name.
    std::vector<TRow> tool;
    for (const auto& r : Rows(out, 6, -1, [](const std::string& l) {
           return l.rfind("[", 0) == 0 || l.rfind("-", 0) == 0 || l.rfind("d", 0) == 0;
         })) {
      if (r.Name.find("---") == std::string::npos) tool.push_back(r);
    }
    for (auto& r : tool) r.Size = -1;
    auto ours = Ours(Path(name), false, false);
    EXPECT_EQ(ours, tool) << name << "\n" << out;
    // The sizes: each row holds the entry's size as a token.
    std::istringstream in(out);
    size_t i = 0;
    for (std::string line; std::getline(in, line) && i < files.size();) {
      if (line.find(files[i].Name) == std::string::npos) continue;
      const auto t = Tokens(line);
      EXPECT_NE(std::find(t.begin(), t.end(), std::to_string(files[i].Data.size())), t.end()) << line;
      ++i;
    }
    EXPECT_EQ(i, files.size()) << out;
  }
}

TEST_F(ArcRefTools, ByteBuiltRarAndZooMatchLsar) {
  const std::vector<arcfix::TFile> files{{"a.txt", "hello"}, {"sub/b.bin", std::string(300, 'b')},
                                         {"sub/deep/c.txt", "c"}};
  struct TCase {
    const char* Name;
    std::string Bytes;
  } cases[] = {
      {"t.rar", arcfix::Rar(files)},
      {"t.zoo", arcfix::Zoo({{"a.txt", "hello"}, {"b.bin", std::string(300, 'b')}})},
  };
  for (const auto& c : cases) {
    WriteFileRaw(Path(c.Name), c.Bytes);
    const std::string out = Output("lsar -l '" + Root + "/" + c.Name + "'");
    EXPECT_EQ(Ours(Path(c.Name)), Rows(out, 7, 2, LsarLine)) << c.Name << "\n" << out;
  }
  // The archivers' own listers accept the headers too.
  const std::string rar = Output("unrar l '" + Root + "/t.rar'");
  for (const auto& f : files) EXPECT_NE(rar.find(f.Name), std::string::npos) << rar;
}

TEST_F(ArcRefTools, TreeOfAZipListsItsFolders) {
  ASSERT_EQ(Shell("cd '" + Src + "' && zip -qr ../t.zip ."), 0);
  auto tree = OpenArchiveTree(Path("t.zip"));
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->GetTypeName(), L"ZIP");
  ArcInfoRec item;
  std::vector<std::wstring> top, deep;
  ASSERT_TRUE(tree->OpenFolder(L"", item));
  while (tree->NextEntry(item)) top.push_back(item.Name);
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::wstring>{L"a.txt", L"empty", L"sub"}));
  ASSERT_TRUE(tree->OpenFolder(L"sub\\deep", item));
  while (tree->NextEntry(item)) deep.push_back(item.Name);
  std::sort(deep.begin(), deep.end());
  EXPECT_EQ(deep, (std::vector<std::wstring>{Utf8ToWide(std::string(120, 'L') + ".txt"), L"c.txt"}));
  int64_t count = 0;
  EXPECT_EQ(tree->GetFolderSize(L"sub", count), 3000 + 5 + 77);
  EXPECT_EQ(count, 3);
  EXPECT_FALSE(OpenArchiveTree(Path("src/a.txt")));
}
TEST_F(ArcRefTools, LibraryDriverRarSetsReadBackByLsarAndUnar) {
  if (!Have("lsar") || !Have("unar")) GTEST_SKIP() << "no lsar";
  const std::string root = Root;
  struct Case {
    const char* First;
    arcfix::TLibSet Set;
  } cases[] = {{"one.rar", {}}, {"solid.rar", {true, 0, true}}, {"v.part1.rar", {false, 100, true}},
               {"old.rar", {false, 100, false}}};
  for (const Case& k : cases) {
    const auto vols = arcfix::RarSet(LibFiles(), k.Set);
    for (size_t i = 0; i < vols.size(); ++i)
      std::ofstream(root + "/" + arcfix::LibVolumeName(k.First, i, k.Set.NewNaming), std::ios::binary) << vols[i];
    const std::string archive = root + "/" + k.First;
    const std::string test = Output("lsar -t '" + archive + "'");
    EXPECT_NE(test.find("4 passed, 0 failed."), std::string::npos) << k.First << "\n" << test;
    if (k.Set.VolumeData) {
      EXPECT_NE(test.find("(4 volumes)"), std::string::npos) << test;
    }
    const std::string out = root + "/x-" + k.First;
    Output("unar -q -o '" + out + "' '" + archive + "'");
    const std::string base = out + "/" + std::string(k.First).substr(0, std::string(k.First).find('.'));
    for (const auto& f : LibFiles()) {
      if (f.Attr & 0x10) continue;
      std::string name = f.Name;
      for (char& c : name)
        if (c == '\\') c = '/';
      std::ifstream in(base + "/" + name, std::ios::binary);
      std::stringstream got;
      got << in.rdbuf();
      EXPECT_EQ(got.str(), f.Data) << k.First << " " << name;
    }
  }
  // An encrypted entry is flagged so.
  std::vector<arcfix::TLibFile> enc = {{"plain.txt", "abc"}, {"secret.txt", "hidden"}};
  enc[1].Encrypted = true;
  std::ofstream(root + "/enc.rar", std::ios::binary) << arcfix::RarSet(enc)[0];
  const std::string list = Output("lsar -l '" + root + "/enc.rar'");
  EXPECT_NE(list.find("---E-           6"), std::string::npos) << list;
  EXPECT_NE(list.find("-----           3"), std::string::npos) << list;
}
#endif
