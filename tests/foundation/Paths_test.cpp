// Path text routines: roots, levels, components, trailing separators and names.
#include <gtest/gtest.h>

#include "foundation/MYTOOL.h"

TEST(PathText, RootsAndUnc) {
  const struct {
    const wchar_t *path, *root;
    bool unc;
  } cases[] = {
      {L"C:\\Windows\\System", L"C:\\", false},  {L"  d:foo  ", L"d:\\", false},
      {L"C:", L"C:\\", false},                   {L"\\\\srv\\share\\a\\b", L"\\\\srv\\share\\", true},
      {L"\\\\srv\\share", L"\\\\srv\\share\\", true}, {L"\\\\srv", L"", false},
      {L"\\\\srv\\", L"", false},                {L"\\\\\\share", L"", false},
      {L"\\Windows", L"", false},                {L"relative\\x", L"", false},
      {L"1:\\x", L"", false},                    {L"", L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractPathRoot(c.path), c.root) << c.path;
    EXPECT_EQ(IsUncPath(c.path), c.unc) << c.path;
  }
}

TEST(PathText, ParentAndDepth) {
  const struct {
    const wchar_t *path, *parent;
    int depth;
  } cases[] = {
      {L"C:\\", L"C:", 0},
      {L"C:\\A", L"C:", 1},
      {L"C:\\A\\", L"C:", 1},
      {L"C:\\A\\B", L"C:\\A", 2},
      {L"C:\\A\\B\\", L"C:\\A", 2},
      {L"C:\\A\\\\B", L"C:\\A", 2},
      {L"\\\\srv\\sh", L"\\\\srv\\sh", 0},
      {L"\\\\srv\\sh\\A", L"\\\\srv\\sh", 1},
      {L"\\\\srv\\sh\\A\\B\\C", L"\\\\srv\\sh\\A\\B", 3},
      {L"A\\B", L"A", 0},
      {L"name", L"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractParentDir(c.path), c.parent) << c.path;
    EXPECT_EQ(GetPathDepth(c.path), c.depth) << c.path;
  }
}

TEST(PathText, LevelsAndNames) {
  const std::wstring p = L"C:\\Users\\한글\\Docs\\";
  const struct {
    int n;
    const wchar_t *levels, *name;
  } cases[] = {
      {0, L"C:", L"C:"},
      {1, L"C:\\Users", L"Users"},
      {2, L"C:\\Users\\한글", L"한글"},
      {3, L"C:\\Users\\한글\\Docs", L"Docs"},
      {4, L"", L""},
      {-1, L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractPathLevels(p, c.n), c.levels) << c.n;
    EXPECT_EQ(ExtractPathLevelName(p, c.n), c.name) << c.n;
  }
  EXPECT_EQ(ExtractPathLevels(L"\\\\srv\\sh\\a\\b", 1), L"\\\\srv\\sh\\a");
  EXPECT_EQ(ExtractPathLevelName(L"\\\\srv\\sh\\a\\b", 0), L"\\\\srv\\sh");
  EXPECT_EQ(ExtractPathLevels(L"no\\root", 0), L"");
  EXPECT_EQ(ExtractPathLevelName(L"no\\root", 1), L"");

  // Pieces count every "\" from the start of the string.
  const struct {
    const wchar_t* path;
    int n;
    const wchar_t* piece;
  } pieces[] = {
      {L"C:\\A\\B", 0, L"C:"},        {L"C:\\A\\B", 2, L"B"},          {L"C:\\A\\B", 3, L""},
      {L"\\\\srv\\sh\\x", 0, L""},     {L"\\\\srv\\sh\\x", 2, L"srv"},  {L"\\\\srv\\sh\\x", 4, L"x"},
      {L"C:\\A\\", 2, L""},           {L"abc", 0, L"abc"},             {L"abc", -1, L""},
  };
  for (const auto& c : pieces) EXPECT_EQ(ExtractNthComponent(c.path, c.n), c.piece) << c.path << " " << c.n;
}

TEST(PathText, TrailingBackslashes) {
  const struct {
    const wchar_t *path, *include, *exclude, *keepRoot;
  } cases[] = {
      {L"", L"", L"", L""},
      {L"C:\\", L"C:\\", L"C:", L"C:\\"},
      {L"C:", L"C:\\", L"C:", L"C:"},
      {L"C:\\A", L"C:\\A\\", L"C:\\A", L"C:\\A"},
      {L"C:\\A\\", L"C:\\A\\", L"C:\\A", L"C:\\A"},
      {L"C:\\A\\\\", L"C:\\A\\\\", L"C:\\A\\", L"C:\\A\\"},
      {L"\\\\s\\sh\\", L"\\\\s\\sh\\", L"\\\\s\\sh", L"\\\\s\\sh"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IncludeTrailingBackslash(c.path), c.include) << c.path;
    EXPECT_EQ(ExcludeTrailingBackslash(c.path), c.exclude) << c.path;
    EXPECT_EQ(ExcludeTrailingBackslashKeepRoot(c.path), c.keepRoot) << c.path;
  }
}

TEST(PathText, NameWithoutExtension) {
  const struct {
    const wchar_t *path, *name, *withPath;
  } cases[] = {
      {L"C:\\dir\\report.txt", L"report", L"C:\\dir\\report"},
      {L"C:\\dir\\archive.tar.gz", L"archive.tar", L"C:\\dir\\archive.tar"},
      {L"C:\\dir.d\\noext", L"noext", L"C:\\dir.d\\noext"},
      {L"C:\\dir\\.profile", L".profile", L"C:\\dir\\.profile"},
      {L"C:file.doc", L"file", L"C:file"},
      {L"보고서.한글", L"보고서", L"보고서"},
      {L"", L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractNameNoExt(c.path, false), c.name) << c.path;
    EXPECT_EQ(ExtractNameNoExt(c.path, true), c.withPath) << c.path;
  }
}

TEST(PathText, WildcardsAndRoots) {
  EXPECT_TRUE(HasWildcards(L"C:\\a*"));
  EXPECT_TRUE(HasWildcards(L"C:\\a?b"));
  EXPECT_TRUE(HasWildcards(L"\\\\?\\C:\\*"));
  EXPECT_FALSE(HasWildcards(L"\\\\?\\C:\\plain"));
  EXPECT_FALSE(HasWildcards(L"C:\\plain name"));
  for (const wchar_t* r : {L"C:", L"C:\\", L"\\\\s\\sh", L"\\\\s\\sh\\"}) EXPECT_TRUE(IsPathRoot(r)) << r;
  for (const wchar_t* r : {L"C:\\a", L"\\\\s\\sh\\a", L"\\\\s", L"", L"C:\\\\"}) EXPECT_FALSE(IsPathRoot(r)) << r;
}
