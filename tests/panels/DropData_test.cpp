// The file-list blocks of drags and the clipboard: what is built reads back, and damaged
// blocks from other programs give no names instead of a read past their end.
#include "panels/DropData.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
using TNames = std::vector<std::wstring>;

std::vector<uint8_t> Header(uint32_t offset, bool wide) {
  std::vector<uint8_t> b(DropFilesHeaderSize, 0);
  std::memcpy(b.data(), &offset, 4);
  uint32_t w = wide ? 1 : 0;
  std::memcpy(b.data() + 16, &w, 4);
  return b;
}

void AppendWide(std::vector<uint8_t>& b, const std::wstring& s) {
  for (wchar_t c : s) {
    b.push_back(static_cast<uint8_t>(c & 0xFF));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
}

TEST(DropData, FileBlocksAndMapsReadBackAsBuilt) {
  const TNames files = {L"C:\\a\\one.txt", L"C:\\a\\폴더", L"D:\\b\\\u20AC.bin"};
  std::vector<uint8_t> block = BuildDropFiles(files);
  TNames back;
  ASSERT_TRUE(ParseDropFiles(block.data(), block.size(), back));
  EXPECT_EQ(back, files);
  std::vector<uint8_t> wide = BuildNameMap(files, true);
  ASSERT_TRUE(ParseNameMap(wide.data(), wide.size(), true, back));
  EXPECT_EQ(back, files);
  std::vector<uint8_t> ansi = BuildNameMap({L"plain.txt", L"b"}, false);
  EXPECT_EQ(ansi, (std::vector<uint8_t>{'p', 'l', 'a', 'i', 'n', '.', 't', 'x', 't', 0, 'b', 0, 0}));
  ASSERT_TRUE(ParseNameMap(ansi.data(), ansi.size(), false, back));
  EXPECT_EQ(back, (TNames{L"plain.txt", L"b"}));
  // An ANSI drop block from an old program.
  std::vector<uint8_t> old = Header(20, false);
  for (char c : std::string("C:\\x.txt")) old.push_back(static_cast<uint8_t>(c));
  old.insert(old.end(), {0, 0});
  ASSERT_TRUE(ParseDropFiles(old.data(), old.size(), back));
  EXPECT_EQ(back, (TNames{L"C:\\x.txt"}));
}

TEST(DropData, DamagedFileBlocksGiveNoNames) {
  std::vector<uint8_t> good = BuildDropFiles({L"C:\\a.txt", L"C:\\b.txt"});
  struct TCase {
    const char* What;
    std::vector<uint8_t> Bytes;
  };
  std::vector<TCase> cases;
  cases.push_back({"shorter than its header", std::vector<uint8_t>(good.begin(), good.begin() + 12)});
  cases.push_back({"list offset past the end", Header(4000, true)});
  cases.push_back({"list offset inside the header", Header(8, true)});
  auto noEnd = Header(20, true);
  AppendWide(noEnd, L"C:\\a.txt");
  cases.push_back({"last name without its NUL", noEnd});
  auto oneNul = noEnd;
  oneNul.insert(oneNul.end(), {0, 0});
  cases.push_back({"list without its closing NUL", oneNul});
  auto odd = oneNul;
  odd.push_back(0);
  cases.push_back({"closing NUL cut in half", odd});
  auto ansiNoEnd = Header(20, false);
  ansiNoEnd.insert(ansiNoEnd.end(), {'C', ':', '\\', 'a', 0});
  cases.push_back({"ANSI list without its closing NUL", ansiNoEnd});
  for (size_t cut = 0; cut + 2 < good.size(); ++cut)
    cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut))});
  for (const auto& c : cases) {
    TNames names = {L"stale"};
    EXPECT_FALSE(ParseDropFiles(c.Bytes.data(), c.Bytes.size(), names)) << c.What << " " << c.Bytes.size();
    EXPECT_TRUE(names.empty()) << c.What;
  }
  TNames names;
  EXPECT_FALSE(ParseDropFiles(nullptr, 100, names));
  std::vector<uint8_t> map = {'a', 0, 'b'};
  EXPECT_FALSE(ParseNameMap(map.data(), map.size(), false, names));
  EXPECT_TRUE(names.empty());
}

TEST(DropData, MappedNamesKeepOnlyASafeFileName) {
  struct {
    const wchar_t* In;
    const wchar_t* Out;
  } cases[] = {
      {L"report.txt", L"report.txt"}, {L"C:\\temp\\report.txt", L"report.txt"}, {L"..\\..\\evil.txt", L"evil.txt"},
      {L"..", L""},                   {L".", L""},                               {L"a\\..", L""},
      {L"C:evil.txt", L""},           {L"sub/evil.txt", L""},                    {L"file.txt:stream", L""},
      {L"", L""},                     {L"a\\", L""},                             {L"trailing.", L""},
      {L"wild*.txt", L""},            {L"한글 이름.txt", L"한글 이름.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeMappedName(c.In), c.Out) << c.In;
  // One name per file or no map; a refused name leaves its file its own name.
  EXPECT_TRUE(CheckedNameMap({L"a", L"b"}, 3).empty());
  EXPECT_EQ(CheckedNameMap({L"x\\a", L".."}, 2), (TNames{L"a", L""}));
}

TEST(DropData, DropEffectNeedsFourBytes) {
  const uint8_t move[] = {2, 0, 0, 0}, shortBlock[] = {2, 0};
  uint32_t e = 9;
  EXPECT_TRUE(ParseDropEffect(move, 4, e));
  EXPECT_EQ(e, 2u);
  EXPECT_FALSE(ParseDropEffect(shortBlock, 2, e));
  EXPECT_EQ(e, 0u);
}
}  // namespace
