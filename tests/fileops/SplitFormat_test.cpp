// The files of split and join as text: piece sizes and names, both list styles, the joining
// batch file and the name header, and what reading damaged lists and headers finds.
#include "fileops/SplitFormat.h"

#include <gtest/gtest.h>

#include "fileops/CRC32.h"

TEST(SplitFormat, PieceSizesAsTypedOrChosen) {
  struct Case {
    const wchar_t* text;
    int64_t size;
  } cases[] = {
      {L"자동", 0},
      {L"1400 KB", 1433600},
      {L"2800 KB", 2867200},
      {L"10 MB", 10240000},
      {L"20 MB", 20480000},
      {L"50 MB", 51200000},
      {L"100 MB", 102400000},
      {L"1.4 M", 14 * 1024000},      // only digits count
      {L"100000", 100000},           // bytes without a unit
      {L"100 000 b", 100000},        // blanks removed; B alone means bytes
      {L"2 GB", 2048000000},         // the last unit letter wins over the B after it
      {L"3 B K", 3072},              // a B before a unit letter does not hold
      {L"1k2m", 12 * 1024000},       // the last of G, K, M
      {L"99999999999", 0},           // not a 32-bit number: automatic
      {L"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParsePieceSize(c.text), c.size) << c.text;
  EXPECT_EQ(PieceCountFor(3000000, 1433600), 3);
  EXPECT_EQ(PieceCountFor(2867200, 1433600), 2);
  EXPECT_EQ(PieceCountFor(3000000, 0), 0);
}

TEST(SplitFormat, PieceNamesAndBaseNames) {
  EXPECT_EQ(PieceName(L"a", 1), L"a.001");
  EXPECT_EQ(PieceName(L"a", 999), L"a.999");
  EXPECT_EQ(PieceName(L"a", 1000), L"a.1000");
  EXPECT_EQ(PieceBaseName(L"a.zip"), L"a");
  EXPECT_EQ(PieceBaseName(L"a.tar.gz"), L"a.tar");
  EXPECT_EQ(PieceBaseName(L"README"), L"README");
  EXPECT_EQ(PieceBaseName(L"C:\\x.d\\README"), L"C:\\x.d\\README");
  EXPECT_EQ(FileNamePart(L"C:\\x\\..\\evil.exe"), L"evil.exe");
  EXPECT_EQ(FileNamePart(L"../up/a.bin"), L"a.bin");
  EXPECT_EQ(FileNamePart(L"D:a.bin"), L"a.bin");
}

TEST(SplitFormat, ValidOutputNames) {
  struct Case {
    const wchar_t* name;
    bool ok;
  } cases[] = {{L"a.zip", true}, {L"한글 파일.txt", true}, {L"", false},      {L".", false},
               {L"..", false},   {L"a?b", false},          {L"a\\b", false}, {L"a:b", false},
               {L"a.", false},   {L"a ", false},           {L"CON", false},  {L"nul.txt", false},
               {L"COM1", false}, {L"COM10", true},         {L"\x01x", false}};
  for (const Case& c : cases) EXPECT_EQ(IsValidPlainFileName(c.name), c.ok) << c.name;
}

TEST(SplitFormat, BatchStyleListAndJoiningBatchFile) {
  EXPECT_EQ(CrcListBatchText(L"a.zip", 3000000, 0x1A2B3C4D), L"filename=a.zip\r\nsize=3000000\r\ncrc32=1A2B3C4D\r\n");
  EXPECT_EQ(JoinBatchText(L"a", 3, L"a.zip"),
            L"@echo off\r\necho.\r\necho Created by Velmo (www.velmo.kr)\r\necho.\r\necho Reading Files...\r\necho.\r\n"
            L"COPY /B \"a.001\" velmo.tmp\r\n"
            L"COPY /B velmo.tmp + \"a.002\" velmo.tmp\r\n"
            L"COPY /B velmo.tmp + \"a.003\" velmo.tmp\r\n"
            L"REN velmo.tmp \"a.zip\"\r\necho Done...\r\n");
  TCrcList list = ParseCrcList(CrcListBatchText(L"a.zip", 3000000, 0x1A2B3C4D));
  EXPECT_TRUE(list.HasCrc && list.WholeFile && !list.PerPiece);
  EXPECT_EQ(list.FileName, L"a.zip");
  EXPECT_EQ(list.Total, 3000000);
  EXPECT_EQ(list.FileCrc, 0x1A2B3C4Du);
}

TEST(SplitFormat, JoiningBatchFileHoldsEveryNameTheInterpreterCanRead) {
  const std::wstring head =
      L"@echo off\r\necho.\r\necho Created by Velmo (www.velmo.kr)\r\necho.\r\necho Reading Files...\r\necho.\r\n";
  struct Case {
    const wchar_t* base;
    const wchar_t* source;
    const wchar_t* body;
  } cases[] = {
      // "%" would be expanded by the interpreter, even between quotes.
      {L"50%off", L"50%off.zip",
       L"COPY /B \"50%%off.001\" velmo.tmp\r\nCOPY /B velmo.tmp + \"50%%off.002\" velmo.tmp\r\n"
       L"REN velmo.tmp \"50%%off.zip\"\r\n"},
      // A character outside the code page: the pieces are found by a pattern (blanks and
      // parentheses as "?" too), and the joined file takes the first piece's real name part.
      {L"\u0E01a (b)", L"\u0E01a (b).txt",
       L"for %%f in (?a??b?.001) do COPY /B \"%%f\" velmo.tmp\r\n"
       L"for %%f in (?a??b?.002) do COPY /B velmo.tmp + \"%%f\" velmo.tmp\r\n"
       L"for %%f in (?a??b?.001) do REN velmo.tmp \"%%~nf.txt\"\r\n"},
      // A pair of surrogates is two characters of the pattern.
      {L"x\U0001F600%", L"x\U0001F600%",
       L"for %%f in (x??%%.001) do COPY /B \"%%f\" velmo.tmp\r\n"
       L"for %%f in (x??%%.002) do COPY /B velmo.tmp + \"%%f\" velmo.tmp\r\n"
       L"for %%f in (x??%%.001) do REN velmo.tmp \"%%~nf\"\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.source)));
    EXPECT_EQ(JoinBatchText(c.base, 2, c.source), head + c.body + L"echo Done...\r\n");
  }
}

TEST(SplitFormat, PieceListStyleWritesAndReadsBack) {
  std::vector<TPieceListEntry> pieces = {{L"a.001", 1433619, 9, 5, 7, 2026, 12, 3, 0x0123ABCD},
                                         {L"a.002", 1433600, 9, 5, 8, 2026, 12, 3, 0xDEADBEEF},
                                         {L"a.003", 132800, 9, 5, 8, 2026, 12, 3, 0x00000001}};
  std::wstring text = CrcListPiecesText(pieces);
  EXPECT_EQ(text,
            L"; Created by Orbel for Windows, Velmo (www.velmo.kr)\r\n;\r\n"
            L";      1433619  09:05.07 2026-12-03 a.001\r\n"
            L";      1433600  09:05.08 2026-12-03 a.002\r\n"
            L";       132800  09:05.08 2026-12-03 a.003\r\n"
            L"a.001 0123ABCD\r\na.002 DEADBEEF\r\na.003 00000001\r\n");
  TCrcList list = ParseCrcList(text);
  EXPECT_TRUE(list.HasCrc && list.PerPiece && !list.WholeFile);
  EXPECT_EQ(list.PieceCount, 3);
  EXPECT_EQ(list.Total, 1433619 + 1433600 + 132800);
  EXPECT_EQ(list.Sizes.at(L"A.002"), 1433600);  // looked up by name, letter case ignored
  EXPECT_EQ(list.Crcs.at(L"a.003"), L"00000001");
}

TEST(SplitFormat, DamagedListLinesArePassedOver) {
  // Each damaged line is ignored; the good ones still count.
  std::wstring text =
      L";\n;\n;:\n;1:\n;   12  09:05.07 2026-12-03 \n;   xx  09:05.07 2026-12-03 bad.001\n"
      L";   7  09:05.07 2026-12-03 a.001\n;   9  09:05.07 2026-12-03 a.002\n"
      L"a.001 0000000A\na.002 XYZ00000\nshort 1\n 1234567\nx12345678\na.002 0000000b\n";
  TCrcList list = ParseCrcList(text);
  EXPECT_TRUE(list.PerPiece);
  ASSERT_EQ(list.Crcs.size(), 2u);
  EXPECT_EQ(list.Crcs.at(L"a.002"), L"0000000b");
  // Two sizes for two CRC lines: the sizes hold.
  EXPECT_EQ(list.PieceCount, 2);
  EXPECT_EQ(list.Total, 16);

  // Fewer sizes than CRCs: the count and the total are unknown, so the join runs to the last
  // piece rather than stopping at a partial sum.
  TCrcList partial = ParseCrcList(L";\n;   7  09:05.07 2026-12-03 a.001\na.001 0000000A\na.002 0000000B\n");
  EXPECT_TRUE(partial.HasCrc && partial.PerPiece);
  EXPECT_EQ(partial.PieceCount, 0);
  EXPECT_EQ(partial.Total, 0);
  EXPECT_TRUE(partial.Sizes.empty());

  // No CRC line at all is no CRC information.
  EXPECT_FALSE(ParseCrcList(L";\n;   7  09:05.07 2026-12-03 a.001\n").HasCrc);
  // One line is nothing; a batch list without its crc32 value or with size 0 is nothing.
  EXPECT_FALSE(ParseCrcList(L"filename=a.zip").HasCrc);
  EXPECT_FALSE(ParseCrcList(L"filename=a.zip\nsize=12\n").HasCrc);
  EXPECT_FALSE(ParseCrcList(L"filename=a\nsize=0\ncrc32=12345678\n").HasCrc);
  EXPECT_FALSE(ParseCrcList(L"filename=a\nsize=x\ncrc32=1234567\n").HasCrc);
}

TEST(SplitFormat, NameHeaderOfTheFirstPiece) {
  struct Case {
    std::string bytes;
    bool found;
    const wchar_t* name;
    int64_t size;
    size_t length;
  } cases[] = {
      {"a.zip   3000000/PK\x03\x04", true, L"a.zip", 3000000, 16},
      {" my file.bin    12 34/rest", true, L"my file.bin", 1234, 22},
      {"a.zip   30x0/", false, L"", -1, 0},     // only blanks and digits before the "/"
      {"a.zip   3000000", false, L"", -1, 0},   // no "/"
      {"a.zip   /", false, L"", -1, 0},         // no digits
      {"   123/", false, L"", -1, 0},           // no name
      {std::string(248, 'x') + "   1/", false, L"", -1, 0},  // beyond the 250 bytes searched
      {"n   99999999999999999999/", true, L"n", -1, 25},     // not a number
  };
  for (const Case& c : cases) {
    TPieceHeader h = ParsePieceHeader(c.bytes);
    EXPECT_EQ(h.Found, c.found) << c.bytes;
    if (!c.found) continue;
    EXPECT_EQ(h.Name, c.name);
    EXPECT_EQ(h.Size, c.size);
    EXPECT_EQ(h.Length, c.length);
  }
  std::string made = PieceHeaderBytes(L"a.zip", 3000000);
  EXPECT_EQ(made, "a.zip   3000000/");
}

TEST(SplitFormat, Crc32OfTheProgram) {
  const char* text = "123456789";
  EXPECT_EQ(CRC32Update(0xFFFFFFFF, text, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
  uint32_t parts = CRC32Update(CRC32Update(0xFFFFFFFF, text, 4), text + 4, 5);
  EXPECT_EQ(parts ^ 0xFFFFFFFFu, 0xCBF43926u);
  EXPECT_EQ(CRC32Update(0x12345678, nullptr, 10), 0x12345678u);
}
