#include "foundation/ExtDef.h"

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "foundation/TextCodec.h"

namespace {
const char* const Cfn =
    "[FKey1]\r\nTitle=메모장\r\nCommand=notepad.exe %1\r\n"
    "[FKey4]\r\nCommandNo=2\r\n"
    "[FKey5]\r\nCommandNo=39\r\n"
    "[Ext1]\r\nExt=txt; *.LOG ,.ini\r\nTitle=편집\r\nCommand=notepad.exe %1\r\n"
    "[Ext2]\r\nExt=zip\r\nTitle=Unpack\r\nCommand=%C unzip %1\r\n"
    "[Ext3]\r\nExt=TXT\r\nTitle=View\r\nCommand=view.exe %1\r\n"
    "[Ext5]\r\nExt=after a gap\r\n"
    "[ExtColor]\r\nExt1=exe com\r\nColor1=255,0,0\r\nExt2=EXE;txt\r\nColor2=0,0,255\r\nExt3=한글\r\nColor3=1,2,3\r\n";

TEST(ExtDef, ProgramsAndColoursAreFoundByExtension) {
  TTempDir dir;
  ASSERT_TRUE(WriteFileRaw(dir / L"Q7XPRG.CFN", Cfn));
  THanPrograms p;
  p.Load(dir / L"Q7XPRG.CFN");
  ASSERT_EQ(p.ExtPrograms.size(), 3u);
  const struct {
    const wchar_t* ext;
    std::vector<std::wstring> titles;
  } cases[] = {{L"txt", {L"편집", L"View"}}, {L"Log", {L"편집"}}, {L"INI", {L"편집"}}, {L"zip", {L"Unpack"}},
               {L"gap", {}},                {L"", {}},            {L"exe", {}}};
  for (const auto& c : cases) {
    std::vector<std::wstring> titles;
    for (const TExtProgram* e : p.FindExtPrograms(c.ext)) titles.push_back(e->Title);
    EXPECT_EQ(titles, c.titles) << c.ext;
    EXPECT_EQ(p.HasExtProgram(c.ext), !c.titles.empty()) << c.ext;
  }
  ASSERT_NE(p.GetKeyProgram(0), nullptr);
  EXPECT_EQ(p.GetKeyProgram(0)->Command, L"notepad.exe %1");
  ASSERT_NE(p.GetKeyProgram(3), nullptr);
  EXPECT_EQ(p.GetKeyProgram(3)->CommandNo, 2);
  EXPECT_EQ(p.GetKeyProgram(4), nullptr);  // out of range number: unbound
  EXPECT_EQ(p.GetKeyProgram(1), nullptr);
  EXPECT_EQ(p.GetKeyProgram(18), nullptr);
  EXPECT_EQ(p.GetKeyProgram(-1), nullptr);

  const struct {
    const wchar_t* ext;
    bool found;
    TColor color;
  } colours[] = {{L"exe", true, RGBColor(255, 0, 0)}, {L"COM", true, RGBColor(255, 0, 0)},
                 {L"txt", true, RGBColor(0, 0, 255)}, {L"한글", true, RGBColor(1, 2, 3)},
                 {L"zip", false, 0},                  {L"", false, 0}};
  for (const auto& c : colours) {
    TColor got = 0;
    EXPECT_EQ(p.ExtColor.GetColor(c.ext, got), c.found) << c.ext;
    if (c.found) {
      EXPECT_EQ(got, c.color) << c.ext;
    }
  }
}

TEST(ExtDef, SaveWritesWhatLoadReadsAndDropsRemovedEntries) {
  TTempDir dir;
  std::wstring file = dir / L"Q7XPRG.CFN";
  ASSERT_TRUE(WriteFileRaw(file, Cfn));
  THanPrograms p;
  p.Load(file);
  p.ExtPrograms.erase(p.ExtPrograms.begin());
  p.Rebuild();
  p.ExtColor.Groups.pop_back();
  p.ExtColor.Rebuild();
  p.KeyPrograms[17] = {L"끝", L"x.exe", 0};
  ASSERT_TRUE(p.Save());
  THanPrograms q;
  q.Load(file);
  EXPECT_EQ(q.ExtPrograms, p.ExtPrograms);
  EXPECT_EQ(q.ExtColor.Groups, p.ExtColor.Groups);
  EXPECT_EQ(q.KeyPrograms, p.KeyPrograms);
  EXPECT_FALSE(q.HasExtProgram(L"log"));
  TColor c;
  EXPECT_FALSE(q.ExtColor.GetColor(L"한글", c));
  std::string once = ReadFileRaw(file);
  ASSERT_TRUE(q.Save());
  EXPECT_EQ(ReadFileRaw(file), once);

  THanPrograms bad;
  bad.FileName = dir / L"no such folder/Q7XPRG.CFN";
  EXPECT_FALSE(bad.Save());
}

TEST(ExtDef, CommandNamesComeFromTheTable) {
  THanPrograms p;
  p.InitCommandNames();
  for (int i = 0; i < NumberedCommandCount; ++i) {
    EXPECT_FALSE(p.CommandNames[static_cast<size_t>(i)].empty()) << i;
    EXPECT_EQ(p.CommandNames[static_cast<size_t>(i)], p.BuiltinCommandNames[static_cast<size_t>(i)]) << i;
  }
  EXPECT_EQ(p.CommandNames[1], L"복사");
}

TEST(ExtDef, ExtensionListsSplit) {
  EXPECT_EQ(SplitExtensions(L" *.TXT;.log,,ini  doc "),
            (std::vector<std::wstring>{L"txt", L"log", L"ini", L"doc"}));
  EXPECT_TRUE(SplitExtensions(L" ;,. *. ").empty());
}
}  // namespace
