// Split, join and merge with real files: pieces, both list styles (checked by cksfv and by
// Wine's cmd running the batch file), every byte checked on join, removable-disk mode, and
// the faults that must never happen (writing over an input, deleting what the run did not
// write, trusting a forged name).
#include "fileops/frmSplit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/TestUtil.h"
#include "fileops/CRC32.h"
#include "fileops/frmTgt.h"
#include "foundation/Folders.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MsgDlg.h"
#include "panels/MFList.h"
#include "shell/ShellTestUtil.h"

namespace {
std::string Bytes(size_t n, char seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7 + i / 251);
  return s;
}
uint32_t Crc(const std::string& s) { return CRC32Update(0xFFFFFFFF, s.data(), s.size()) ^ 0xFFFFFFFFu; }
bool Exists(const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }
int64_t SizeOf(const std::wstring& p) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  if (!GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &d)) return -1;
  return MakeInt64(d.nFileSizeHigh, d.nFileSizeLow);
}
std::wstring Texts(const std::vector<TMsgBoxRecord>& shown) {
  std::wstring all;
  for (const auto& r : shown) all += r.Text + L"\n";
  return all;
}

// Cuts a file that a run is reading to nothing (it is open shared for writing).
void CutToNothing(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetEndOfFile(h));
  CloseHandle(h);
}

class SplitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Options.ResetToDefaults();
    FSavedProgram = ProgramFolder;
    SetProgramFolder(FProgram.Path());
    TMsgBoxSeam::Get().Reset();
    Src = FSrc.Path() + L"\\";
    Dst = FDst.Path() + L"\\";
    Out = FOut.Path() + L"\\";
  }
  void TearDown() override {
    SetProgramFolder(FSavedProgram);
    Options.ResetToDefaults();
    TMsgBoxSeam::Get().Reset();
  }
  struct TRun {
    bool Ok = false;
    TJoinCrcState State = jcsNoCrc;
    bool Deleted = false;
    std::wstring Output;
  };
  TRun Run(TSplitMode mode, const std::wstring& source, const std::wstring& target, int64_t pieceSize = 0,
           int64_t mergeTotal = 0, std::function<void(TSplitCombineForm*)> progress = nullptr) {
    TSplitCombineForm form(nullptr);
    form.Mode = mode;
    form.Source = source;
    form.Target = target;
    form.PieceSize = pieceSize;
    form.MergeTotal = mergeTotal;
    form.OnProgress = progress;
    form.Execute();
    return {form.Success, form.CrcState, form.SourceDeleted, form.OutputPath};
  }
  TTempDir FProgram, FSrc, FDst, FOut;
  std::wstring FSavedProgram, Src, Dst, Out;
};
}  // namespace

TEST_F(SplitTest, BatchStyleGivesExactPiecesListAndABatchFileThatJoins) {
  const std::string data = Bytes(3000000, 'a');
  WriteFileRaw(Src + L"a.zip", data);
  Options.SplitMakeBat = true;
  TRun r = Run(smSplit, Src + L"a.zip", Dst + L"a.001", ParsePieceSize(L"1400 KB"));
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(SizeOf(Dst + L"a.001"), 1433600);
  EXPECT_EQ(SizeOf(Dst + L"a.002"), 1433600);
  EXPECT_EQ(SizeOf(Dst + L"a.003"), 132800);
  EXPECT_FALSE(Exists(Dst + L"a.004"));
  EXPECT_EQ(ReadFileRaw(Dst + L"a.001") + ReadFileRaw(Dst + L"a.002") + ReadFileRaw(Dst + L"a.003"), data);
  char crc[16];
  snprintf(crc, sizeof crc, "%08X", Crc(data));
  EXPECT_EQ(ReadFileRaw(Dst + L"a.crc"), "filename=a.zip\r\nsize=3000000\r\ncrc32=" + std::string(crc) + "\r\n");
  EXPECT_TRUE(Exists(Src + L"a.zip"));  // not asked to remove the source

  // Wine's command interpreter runs the batch file and gets the file back.
  std::string bat = ReadFileRaw(Dst + L"a.bat");
  EXPECT_NE(bat.find("COPY /B \"a.001\" velmo.tmp\r\nCOPY /B velmo.tmp + \"a.002\" velmo.tmp\r\n"
                     "COPY /B velmo.tmp + \"a.003\" velmo.tmp\r\nREN velmo.tmp \"a.zip\"\r\n"),
            std::string::npos);
  EXPECT_EQ(RunProgram(L"cmd.exe", L"/c a.bat", FDst.Path(), SW_HIDE, true), 0);
  EXPECT_EQ(ReadFileRaw(Dst + L"a.zip"), data);

  // Join checks the whole file against the list and takes the name from it.
  DeleteFileW((Dst + L"a.zip").c_str());
  TRun j = Run(smJoin, Dst + L"a.001", Out);
  EXPECT_TRUE(j.Ok);
  EXPECT_EQ(j.State, jcsMatched);
  EXPECT_EQ(j.Output, Out + L"a.zip");
  EXPECT_EQ(ReadFileRaw(Out + L"a.zip"), data);

  // A flipped byte: the whole-file CRC differs, the join reports it and fails.
  std::string damaged = ReadFileRaw(Dst + L"a.002");
  damaged[1000] ^= 0x20;
  WriteFileRaw(Dst + L"a.002", damaged);
  DeleteFileW((Out + L"a.zip").c_str());
  TMsgBoxSeam::Get().PushButton(0);
  TRun bad = Run(smJoin, Dst + L"a.001", Out);
  EXPECT_FALSE(bad.Ok);
  EXPECT_EQ(bad.State, jcsCrcError);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(30342));

  // The same damaged join over a file that is there: that file is kept as it was, and the
  // damaged result is not left beside it.
  WriteFileRaw(Out + L"a.zip", data);
  TMsgBoxSeam::Get().Shown.clear();
  TMsgBoxSeam::Get().PushButton(0);  // overwrite
  TMsgBoxSeam::Get().PushButton(0);
  TRun over = Run(smJoin, Dst + L"a.001", Out);
  EXPECT_FALSE(over.Ok);
  EXPECT_EQ(over.State, jcsCrcError);
  EXPECT_TRUE(ReadFileRaw(Out + L"a.zip") == data) << "the file that was there changed";
  EXPECT_EQ(FolderNames(Out), std::vector<std::wstring>{L"a.zip"});
}

TEST_F(SplitTest, BatchFileJoinsNamesTheCodePageCannotHold) {
  // Thai and a character outside the basic plane beside Hangul and a "%": the interpreter reads
  // the batch file in the ANSI code page, so it finds such pieces by pattern.
  struct Case {
    std::wstring Name, Base;
  } cases[] = {{L"\u0E01\uD55C\uAE00 50%.bin", L"\u0E01\uD55C\uAE00 50%"},
               {L"\uD55C\U0001F600.dat", L"\uD55C\U0001F600"},
               {L"\uD55C\uAE00 100%.zip", L"\uD55C\uAE00 100%"}};
  Options.SplitMakeBat = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Name));
    TTempDir src, dst;
    const std::string data = Bytes(5000, 'k');
    WriteFileRaw(src.Path() + L"\\" + c.Name, data);
    TRun r = Run(smSplit, src.Path() + L"\\" + c.Name, dst.Path() + L"\\" + c.Base + L".001", 2000);
    ASSERT_TRUE(r.Ok);
    ASSERT_TRUE(Exists(dst.Path() + L"\\" + c.Base + L".003"));
    // Written in the ANSI code page, with no byte-order mark the interpreter would stumble on.
    std::string bat = ReadFileRaw(dst.Path() + L"\\" + c.Base + L".bat");
    ASSERT_GE(bat.size(), 3u);
    EXPECT_EQ(bat.substr(0, 9), "@echo off");
    const std::wstring params = L"/c \"" + c.Base + L".bat\"";
    EXPECT_EQ(RunProgram(L"cmd.exe", params.c_str(), dst.Path(), SW_HIDE, true), 0);
    EXPECT_EQ(ReadFileRaw(dst.Path() + L"\\" + c.Name), data);
    EXPECT_FALSE(Exists(dst.Path() + L"\\velmo.tmp"));
  }
}

TEST_F(SplitTest, PieceListStyleIsReadByCksfvAndJoinsWithEveryPieceChecked) {
  const std::string data = Bytes(3000000, 'k');
  WriteFileRaw(Src + L"a.zip", data);
  Options.SplitMakeBat = false;
  Options.SplitSrcRemove = true;
  TRun r = Run(smSplit, Src + L"a.zip", Dst + L"a.001", 1433600);
  ASSERT_TRUE(r.Ok);
  EXPECT_TRUE(r.Deleted);
  EXPECT_FALSE(Exists(Src + L"a.zip"));
  // The first piece carries the header in front of its share of the data.
  const std::string header = "a.zip   3000000/";
  EXPECT_EQ(SizeOf(Dst + L"a.001"), 1433600 + static_cast<int64_t>(header.size()));
  EXPECT_EQ(ReadFileRaw(Dst + L"a.001").substr(0, header.size()), header);
  EXPECT_EQ(SizeOf(Dst + L"a.003"), 132800);
  EXPECT_FALSE(Exists(Dst + L"a.bat"));
  std::string list = ReadFileRaw(Dst + L"a.crc");
  EXPECT_EQ(list.rfind("; Created by Orbel for Windows, Velmo (", 0), 0u);
  EXPECT_NE(list.find(";      1433616  "), std::string::npos);
  EXPECT_NE(list.find(" a.003\r\na.001 "), std::string::npos);

  // An independent tool checks the pieces against the list.
  std::string host = HostPath(FDst.Path());
  ASSERT_FALSE(host.empty());
  ASSERT_EQ(RunHost("cd " + ShellQuote(host) + " && cksfv -q -g a.crc > cksfv.txt 2>&1; echo $? > cksfv.rc"), 0);
  EXPECT_EQ(ReadFileRaw(Dst + L"cksfv.rc").substr(0, 1), "0") << ReadFileRaw(Dst + L"cksfv.txt");

  TRun j = Run(smJoin, Dst + L"a.001", Out);
  EXPECT_TRUE(j.Ok);
  EXPECT_EQ(j.State, jcsMatched);
  EXPECT_EQ(ReadFileRaw(Out + L"a.zip"), data);  // the header is not part of the file
  EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty()) << Texts(TMsgBoxSeam::Get().Shown);

  // A flipped byte in piece 2: the CRC question; going on gives the output with state 1,
  // Cancel leaves the file it was to replace as it was, and nothing beside it.
  std::string damaged = ReadFileRaw(Dst + L"a.002");
  damaged[77] ^= 1;
  WriteFileRaw(Dst + L"a.002", damaged);
  TMsgBoxSeam::Get().PushButton(0);  // overwrite the earlier a.zip
  TMsgBoxSeam::Get().PushButton(0);  // go on after the CRC error
  TRun going = Run(smJoin, Dst + L"a.001", Out);
  EXPECT_TRUE(going.Ok);
  EXPECT_EQ(going.State, jcsCrcError);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[1].Text, LoadMessageText(30341) + L"\r\r<P>" + Dst + L"a.002");
  EXPECT_EQ(SizeOf(Out + L"a.zip"), 3000000);
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(0);  // overwrite
  TMsgBoxSeam::Get().PushButton(2);  // cancel at the CRC error
  const std::string before = ReadFileRaw(Out + L"a.zip");
  WriteFileRaw(Out + L"a.zip.~0", "someone else's");  // the name beside is taken: the next one serves
  TRun cancelled = Run(smJoin, Dst + L"a.001", Out);
  EXPECT_FALSE(cancelled.Ok);
  EXPECT_EQ(cancelled.State, jcsNoCrc);
  EXPECT_EQ(ReadFileRaw(Out + L"a.zip"), before);
  EXPECT_EQ(ReadFileRaw(Out + L"a.zip.~0"), "someone else's");
  EXPECT_FALSE(Exists(Out + L"a.zip.~1"));
  DeleteFileW((Out + L"a.zip.~0").c_str());
  DeleteFileW((Out + L"a.zip").c_str());

  // A wrong size in the list is asked about before the piece is read.
  TMsgBoxSeam::Get().Reset();
  WriteFileRaw(Dst + L"a.002", damaged + "x");
  TMsgBoxSeam::Get().PushButton(2);
  EXPECT_FALSE(Run(smJoin, Dst + L"a.001", Out).Ok);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(30340) + L"\r\r<P>" + Dst + L"a.002");
}

TEST_F(SplitTest, JoinWithoutListAsksTheNameAndKeepsItInsideTheTarget) {
  // Pieces without a list; the first piece merely starts like a header whose size does not
  // agree with the pieces, so its bytes belong to the file.
  const std::string one = "x.bin   12/" + Bytes(200000, '1'), two = Bytes(150000, '2');
  WriteFileRaw(Src + L"p.001", one);
  WriteFileRaw(Src + L"p.002", two);
  // The answer names another folder: only its file part is used.
  TMsgBoxSeam::Get().PushText(0, L"..\\..\\evil.bin");
  TRun j = Run(smJoin, Src + L"p.001", Out);
  EXPECT_TRUE(j.Ok);
  EXPECT_EQ(j.State, jcsNoCrc);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].InitialValue, L"p.out");
  EXPECT_EQ(j.Output, Out + L"evil.bin");
  EXPECT_EQ(ReadFileRaw(Out + L"evil.bin"), one + two);

  // A header whose name is no file name ("..") is not trusted either.
  TMsgBoxSeam::Get().Reset();
  std::string forged = "..   350011/";
  WriteFileRaw(Src + L"q.001", forged + Bytes(200000, '1'));
  WriteFileRaw(Src + L"q.002", two);
  TMsgBoxSeam::Get().PushText(0, L"..");       // refused: asked again
  TMsgBoxSeam::Get().PushText(0, L"q.joined");
  TRun q = Run(smJoin, Src + L"q.001", Out);
  EXPECT_TRUE(q.Ok);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
  EXPECT_EQ(SizeOf(Out + L"q.joined"), static_cast<int64_t>(forged.size()) + 200000 + 150000);

  // Cancel at the name: nothing written.
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(1);
  TRun c = Run(smJoin, Src + L"p.001", Dst);
  EXPECT_FALSE(c.Ok);
  EXPECT_EQ(c.State, jcsNoCrc);
  EXPECT_FALSE(Exists(Dst + L"p.out"));
}

TEST_F(SplitTest, MergeJoinsFilesInOrderAndNeverWritesOverAnInput) {
  WriteFileRaw(Src + L"1.txt", "first ");
  WriteFileRaw(Src + L"2.txt", "");
  WriteFileRaw(Src + L"3.txt", Bytes(700000, '3'));
  std::wstring list = Src + L"3.txt\r" + Src + L"1.txt\r" + Src + L"2.txt";
  TMsgBoxSeam::Get().PushText(0, L"all.bin");
  TRun m = Run(smMerge, list, Out, 0, 700006);
  EXPECT_TRUE(m.Ok);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].InitialValue, L"3.txt.out");
  EXPECT_EQ(ReadFileRaw(Out + L"all.bin"), Bytes(700000, '3') + "first ");

  // The output named like an input in the inputs' folder: refused before anything is written.
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushText(0, L"1.txt");
  TMsgBoxSeam::Get().PushButton(0);
  TRun same = Run(smMerge, list, Src, 0, 700006);
  EXPECT_FALSE(same.Ok);
  EXPECT_EQ(ReadFileRaw(Src + L"1.txt"), "first ");
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[1].Text.find(L"원본 파일에 쓸 수 없습니다"), std::wstring::npos);

  // A split whose first piece would be the source itself is refused too.
  TMsgBoxSeam::Get().Reset();
  WriteFileRaw(Src + L"s.001", Bytes(300000, 's'));
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_FALSE(Run(smSplit, Src + L"s.001", Src + L"s.001", 100000).Ok);
  EXPECT_EQ(ReadFileRaw(Src + L"s.001"), Bytes(300000, 's'));
  EXPECT_FALSE(Exists(Src + L"s.002"));
}

TEST_F(SplitTest, AStoppedSplitRemovesOnlyThePiecesItWrote) {
  WriteFileRaw(Src + L"big.dat", Bytes(1000000, 'b'));
  WriteFileRaw(Dst + L"big.005", "not ours");  // a piece of some earlier split
  Options.SplitMakeBat = true;
  TMsgBoxSeam::Get().PushButton(0);  // yes, stop
  TRun r = Run(smSplit, Src + L"big.dat", Dst + L"big.001", 200000, 0, [](TSplitCombineForm* f) {
    if (Exists(f->Target.substr(0, f->Target.size() - 3) + L"003")) f->SetModalResult(mrCancel);
  });
  EXPECT_FALSE(r.Ok);
  for (const wchar_t* n : {L"big.001", L"big.002", L"big.003", L"big.004", L"big.crc", L"big.bat"})
    EXPECT_FALSE(Exists(Dst + n)) << n;
  EXPECT_EQ(ReadFileRaw(Dst + L"big.005"), "not ours");
  EXPECT_EQ(ReadFileRaw(Src + L"big.dat"), Bytes(1000000, 'b'));
}

TEST_F(SplitTest, RemovableDiskAsksForTheListAndMissingPieces) {
  TMappedDrive disk(L"DISK", "5a5a5a5a", DRIVE_REMOVABLE);
  if (!disk.Ok()) GTEST_SKIP() << "no removable drive could be mapped";
  const std::string data = Bytes(300000, 'r');
  WriteFileRaw(Src + L"r.bin", data);
  Options.SplitMakeBat = true;
  TRun r = Run(smSplit, Src + L"r.bin", disk.Root() + L"r.001", 100000);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(SizeOf(disk.Root() + L"r.003"), 100000);
  // An automatic size fills the disk: here one piece.
  TRun autoSize = Run(smSplit, Src + L"r.bin", disk.Root() + L"auto.001", 0);
  EXPECT_TRUE(autoSize.Ok);
  EXPECT_EQ(SizeOf(disk.Root() + L"auto.001"), 300000);
  EXPECT_FALSE(Exists(disk.Root() + L"auto.002"));

  TRun j = Run(smJoin, disk.Root() + L"r.001", Out);
  EXPECT_TRUE(j.Ok);
  EXPECT_EQ(j.State, jcsMatched);
  EXPECT_EQ(ReadFileRaw(Out + L"r.bin"), data);

  // Without the list the disk is asked for (Skip goes on); a missing piece is asked for
  // (Cancel ends) and the half-joined output goes.
  DeleteFileW((disk.Root() + L"r.crc").c_str());
  DeleteFileW((disk.Root() + L"r.003").c_str());
  TMsgBoxSeam::Get().PushButton(1);                 // skip the list
  TMsgBoxSeam::Get().PushText(0, L"r.joined");      // the name
  TMsgBoxSeam::Get().PushButton(1);                 // cancel at the missing piece
  TRun missing = Run(smJoin, disk.Root() + L"r.001", Out);
  EXPECT_FALSE(missing.Ok);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 3u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Title, LoadMessageText(30331));
  EXPECT_NE(TMsgBoxSeam::Get().Shown[2].Text.find(disk.Root() + L"r.003"), std::wstring::npos);
  EXPECT_FALSE(Exists(Out + L"r.joined"));
}

TEST_F(SplitTest, AJoinWhosePieceFailsWhileReadRemovesItsOutput) {
  // Pieces of several blocks each, without a list. Piece 2 is cut to nothing once its bytes
  // start reaching the output (by then at most a few of its blocks are read): blocks are still
  // queued for writing when the read fails.
  const std::string one = Bytes(2 << 20, '1'), two = Bytes(8 << 20, '2'), three = Bytes(1 << 20, '3');
  WriteFileRaw(Src + L"t.001", one);
  WriteFileRaw(Src + L"t.002", two);
  WriteFileRaw(Src + L"t.003", three);
  TMsgBoxSeam::Get().PushText(0, L"t.bin");  // the name
  TMsgBoxSeam::Get().PushButton(0);          // the failed read
  bool cut = false;
  TRun r = Run(smJoin, Src + L"t.001", Out, 0, 0, [&](TSplitCombineForm*) {
    if (cut || SizeOf(Out + L"t.bin") <= static_cast<int64_t>(one.size())) return;
    cut = true;
    CutToNothing(Src + L"t.002");
  });
  EXPECT_TRUE(cut);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.State, jcsNoCrc);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u) << Texts(TMsgBoxSeam::Get().Shown);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[1].Text, TOperationForm::ErrorText(Src + L"t.002", ERROR_HANDLE_EOF));
  EXPECT_FALSE(Exists(Out + L"t.bin"));
  EXPECT_EQ(ReadFileRaw(Src + L"t.003"), three);
}

TEST_F(SplitTest, PiecesThatReplaceFilesAreSwappedInOnlyWhenTheSplitEnds) {
  // Old pieces stand where the new ones go, the second read-only. A split cancelled at the
  // second piece's question keeps both as they were; one answered All replaces them and the old
  // read-only list and leaves nothing beside them.
  const std::string data = Bytes(300000, 'n');
  WriteFileRaw(Src + L"n.bin", data);
  Options.SplitMakeBat = true;
  WriteFileRaw(Dst + L"n.001", "old one");
  WriteFileRaw(Dst + L"n.002", "old two");
  SetFileAttributesW((Dst + L"n.002").c_str(), FILE_ATTRIBUTE_READONLY);
  TMsgBoxSeam::Get().PushButton(0);  // overwrite n.001
  TMsgBoxSeam::Get().PushButton(2);  // cancel at n.002
  EXPECT_FALSE(Run(smSplit, Src + L"n.bin", Dst + L"n.001", 100000).Ok);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u) << Texts(TMsgBoxSeam::Get().Shown);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[1].Text.find(Dst + L"n.002"), std::wstring::npos);
  EXPECT_EQ(ReadFileRaw(Dst + L"n.001"), "old one");
  EXPECT_EQ(ReadFileRaw(Dst + L"n.002"), "old two");
  EXPECT_EQ(FolderNames(Dst), (std::vector<std::wstring>{L"n.001", L"n.002"}));

  TMsgBoxSeam::Get().Reset();
  WriteFileRaw(Dst + L"n.crc", "old list");
  SetFileAttributesW((Dst + L"n.crc").c_str(), FILE_ATTRIBUTE_READONLY);
  TMsgBoxSeam::Get().PushButton(1);  // all
  ASSERT_TRUE(Run(smSplit, Src + L"n.bin", Dst + L"n.001", 100000).Ok);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u) << Texts(TMsgBoxSeam::Get().Shown);
  EXPECT_TRUE(ReadFileRaw(Dst + L"n.001") + ReadFileRaw(Dst + L"n.002") + ReadFileRaw(Dst + L"n.003") == data);
  EXPECT_EQ(ReadFileRaw(Dst + L"n.crc").rfind("filename=n.bin\r\n", 0), 0u);
  EXPECT_EQ(FolderNames(Dst), (std::vector<std::wstring>{L"n.001", L"n.002", L"n.003", L"n.bat", L"n.crc"}));
}

TEST_F(SplitTest, ASplitWhoseSourceFailsWhileReadNamesItAndRemovesItsPieces) {
  // The source is cut to nothing once the first piece has bytes: the message names the file
  // that could not be read, not the piece being written.
  const std::string data = Bytes(16 << 20, 's');
  WriteFileRaw(Src + L"s.bin", data);
  TMsgBoxSeam::Get().PushButton(0);  // the failed read
  bool cut = false;
  TRun r = Run(smSplit, Src + L"s.bin", Dst + L"s.001", 8 << 20, 0, [&](TSplitCombineForm*) {
    if (cut || SizeOf(Dst + L"s.001") <= 0) return;
    cut = true;
    CutToNothing(Src + L"s.bin");
  });
  EXPECT_TRUE(cut);
  EXPECT_FALSE(r.Ok);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u) << Texts(TMsgBoxSeam::Get().Shown);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, TOperationForm::ErrorText(Src + L"s.bin", ERROR_HANDLE_EOF));
  EXPECT_FALSE(Exists(Dst + L"s.001"));
  EXPECT_FALSE(Exists(Dst + L"s.002"));
}

TEST_F(SplitTest, AJoinOntoAFullDiskFailsOnceAndLeavesNothing) {
  const char* full = getenv("VELMO_FULL_DRIVE");
  if (!full || !*full) GTEST_SKIP() << "no full drive in this run";
  std::wstring root = std::wstring(full, full + strlen(full)) + L"\\";
  // The disk fills while further blocks are queued behind the failed write.
  const std::string data = Bytes(3 << 20, 'f');
  WriteFileRaw(Src + L"f.bin", data);
  Options.SplitMakeBat = true;
  ASSERT_TRUE(Run(smSplit, Src + L"f.bin", Dst + L"f.001", 1 << 20).Ok);
  TMsgBoxSeam::Get().PushButton(0);
  TRun j = Run(smJoin, Dst + L"f.001", root);
  EXPECT_FALSE(j.Ok);
  EXPECT_EQ(j.State, jcsNoCrc);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u) << Texts(TMsgBoxSeam::Get().Shown);
  // It names the file that could not be written, not the piece being read.
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, TOperationForm::ErrorText(root + L"f.bin", ERROR_DISK_FULL));
  EXPECT_FALSE(Exists(root + L"f.bin"));
}

TEST_F(SplitTest, AJoinNeverWritesOverOneOfItsPieces) {
  // The list names the file like the second piece and the join goes to the pieces' folder.
  const std::string data = Bytes(300000, 'v');
  WriteFileRaw(Src + L"v.bin", data);
  Options.SplitMakeBat = true;
  ASSERT_TRUE(Run(smSplit, Src + L"v.bin", Dst + L"v.001", 100000).Ok);
  std::string list = ReadFileRaw(Dst + L"v.crc");
  ASSERT_EQ(list.rfind("filename=v.bin\r\n", 0), 0u);
  WriteFileRaw(Dst + L"v.crc", "filename=v.002" + list.substr(14));
  const std::string piece = ReadFileRaw(Dst + L"v.002");
  TMsgBoxSeam::Get().PushButton(0);
  TRun j = Run(smJoin, Dst + L"v.001", Dst);
  EXPECT_FALSE(j.Ok);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, FormatMessageText(30354, {Dst + L"v.002"}));
  EXPECT_EQ(ReadFileRaw(Dst + L"v.002"), piece);
}

namespace {
// Runs fn from the modal loop of the next dialog (a thread timer fires inside it).
std::function<void()> TimerAction;
void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (auto fn = std::exchange(TimerAction, nullptr)) fn();
}
void OnNextDialog(std::function<void()> fn) {
  TimerAction = std::move(fn);
  SetTimer(nullptr, 0, 50, TimerProc);
}
}  // namespace

TEST_F(SplitTest, TheSplitDialogChecksItsEntries) {
  WriteFileRaw(Src + L"d.bin", Bytes(500000, 'd'));
  TSplitForm form(&Application());
  form.SourceName = Src + L"d.bin";
  form.SourceSize = 500000;
  form.TargetPath = Dst + L"d.001";
  struct Case {
    const wchar_t* size;
    std::wstring target;
    int msg;  // 0: accepted
  } cases[] = {
      {L"50000", Dst + L"d.001", 30315},            // too small
      {L"자동", Dst + L"d.001", 30317},             // automatic on a fixed drive
      {L"100000", Dst + L"none\\d.001", 30318},     // no such folder
      {L"100000", Dst + L"piece.zip", 0},           // a file name gets ".001"
  };
  // A refused OK keeps the dialog: then Cancel is pressed.
  auto check = form.OnCloseQuery;
  form.OnCloseQuery = [&](TComponent* sender, bool& canClose) {
    check(sender, canClose);
    if (!canClose) PostMessageW(form.CancelBtn->Handle(), BM_CLICK, 0, 0);
  };
  for (const Case& c : cases) {
    TMsgBoxSeam::Get().Reset();
    TMsgBoxSeam::Get().PushButton(0);
    OnNextDialog([&] {
      form.VolumnSizeCombo->SetText(c.size);
      form.NameCombo->SetText(c.target);
      PostMessageW(form.OkBtn->Handle(), BM_CLICK, 0, 0);
    });
    int result = form.ShowModal();
    if (c.msg == 0) {
      EXPECT_EQ(result, mrOk);
      EXPECT_TRUE(TMsgBoxSeam::Get().Shown.empty());
      EXPECT_EQ(form.TargetPath, Dst + L"piece.001");
      EXPECT_EQ(form.PieceSize, 100000);
      EXPECT_EQ(form.PieceCount, 5);
    } else {
      EXPECT_EQ(result, mrCancel) << c.size;
      ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u) << c.size;
      EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(c.msg));
    }
  }
  EXPECT_EQ(form.Caption(), L"d.bin - " + LoadMessageText(30310));
  EXPECT_NE(form.InfoLbl->Caption().find(L"500,000"), std::wstring::npos);
}

TEST_F(SplitTest, CommandsCheckTheSelectionAndRunFromAList) {
  WriteFileRaw(Src + L"one.bin", Bytes(250000, 'o'));
  WriteFileRaw(Src + L"two.bin", Bytes(10, 't'));
  TMFList list(1);
  list.Path = Src;
  list.Refresh();
  auto index = [&](const wchar_t* name) {
    for (int i = 0; i < list.Count(); ++i)
      if (list.ItemName(i) == name) return i;
    return -1;
  };
  // Two files for split, no ".001" for join, one file for merge: each says what it needs.
  list.SetSelected(index(L"one.bin"), true);
  list.SetSelected(index(L"two.bin"), true);
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_FALSE(SplitCommand(list, Dst));
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_FALSE(JoinCommand(list, Dst));
  list.SetSelected(index(L"two.bin"), false);
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_FALSE(MergeCommand(list, Dst));
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 3u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(30343));
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[1].Text, LoadMessageText(30344));
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[2].Text, LoadMessageText(30345));

  // Split of the one selected file into the other panel's folder, then its report.
  TMsgBoxSeam::Get().Reset();
  Options.SplitMakeBat = true;
  TMsgBoxSeam::Get().PushButton(0);
  OnNextDialog([] {
    auto* form = dynamic_cast<TSplitForm*>(Application().FindComponent(L"SplitForm"));
    if (!form) return;
    form->VolumnSizeCombo->SetText(L"100000");
    PostMessageW(form->OkBtn->Handle(), BM_CLICK, 0, 0);
  });
  EXPECT_TRUE(SplitCommand(list, Dst));
  EXPECT_EQ(SizeOf(Dst + L"one.003"), 50000);
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_EQ(TMsgBoxSeam::Get().Shown[0].Text, LoadMessageText(30348));

  // Join of the focused first piece and merge of two files in their selection order, each
  // into the folder given in the target chooser.
  auto chooseOut = [this] {
    OnNextDialog([this] {
      auto* form = dynamic_cast<TSelectPathForm*>(TControl::FromHandle(GetActiveWindow()));
      if (!form) return;
      form->Combo->SetText(Out);
      PostMessageW(form->OkBtn->Handle(), BM_CLICK, 0, 0);
    });
  };
  TMFList pieces(1);
  pieces.Path = Dst;
  pieces.Refresh();
  for (int i = 0; i < pieces.Count(); ++i)
    if (pieces.ItemName(i) == L"one.001") pieces.ItemIndex = i;
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushButton(0);
  chooseOut();
  EXPECT_TRUE(JoinCommand(pieces, Src));
  EXPECT_EQ(ReadFileRaw(Out + L"one.bin"), Bytes(250000, 'o'));
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[0].Text.find(LoadMessageText(30349)), std::wstring::npos);

  list.SetSelected(index(L"one.bin"), false);
  list.SetSelected(index(L"two.bin"), true);
  list.SetSelected(index(L"one.bin"), true);
  TMsgBoxSeam::Get().Reset();
  TMsgBoxSeam::Get().PushText(0, L"both.bin");
  TMsgBoxSeam::Get().PushButton(0);
  chooseOut();
  EXPECT_TRUE(MergeCommand(list, Dst));
  EXPECT_EQ(ReadFileRaw(Out + L"both.bin"), Bytes(10, 't') + Bytes(250000, 'o'));
  ASSERT_EQ(TMsgBoxSeam::Get().Shown.size(), 2u);
  EXPECT_NE(TMsgBoxSeam::Get().Shown[1].Text.find(LoadMessageText(30352)), std::wstring::npos);
}
