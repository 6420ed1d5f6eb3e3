// The engine on the real Windows file system: extraction and creation of archives in a
// scratch folder, scans of a real tree (hidden, read-only and not-indexed files, a link to a
// folder), the drive inspection and the temporary-folder question through the box seam.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/engine/zevFileIo.h"
#include "archive/engine/zevFileScan.h"
#include "archive/engine/zevUnZip.h"
#include "archive/engine/zevZip.h"
#include "common/TestUtil.h"
#include "engine/ZipTestKit.h"
#include "foundation/MsgDlg.h"

namespace {
using namespace ziptest;

std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(EngineWin, ExtractAndCreateOnDisk) {
  TTempDir t;
  Bytes plain = SampleText(20000, 4);
  TEntrySpec ro = Entry("dir/ro.txt", 0, 0, plain, plain);
  ro.ExtAttr = kAttrReadOnly | kAttrArchive | 0x100;
  Bytes zip = MakeZip({Entry("a.txt", 1, 0, Shrink(plain), plain), ro, Entry("../up.txt", 0, 0, plain, plain)});
  ASSERT_TRUE(WriteFileRaw(t / L"in.zip", S(zip)));
  TUnZip r;
  r.SetArchiveFile(t / L"in.zip");
  ASSERT_EQ(r.ArcType(), atZip);
  r.SetExtractDir(t / L"out");
  r.FileSpec.Add(L"*.*");
  EXPECT_EQ(r.Extract(), 3);
  EXPECT_EQ(ReadFileRaw(t / L"out\\a.txt"), S(plain));
  EXPECT_EQ(ReadFileRaw(t / L"out\\up.txt"), S(plain));
  EXPECT_EQ(GetFileAttributesW((t / L"up.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  DWORD a = GetFileAttributesW((t / L"out\\dir\\ro.txt").c_str());
  EXPECT_EQ(a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  SetFileAttributesW((t / L"out\\dir\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  // The date recorded in the archive is given to the file.
  HANDLE h = CreateFileW((t / L"out\\a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(static_cast<uint32_t>(FileDosDateTime(h, 1)), 0x5A8A6000u);
  CloseHandle(h);

  // Write an archive of the extracted tree and read it back.
  TZip z;
  z.SetArchiveFile(t / L"new");
  z.SetBaseDir(t / L"out");
  z.FileSpec.Add(t / L"out\\*.*");
  z.RecurseDirs = true;
  EXPECT_EQ(z.UpdateArchive(), 3);
  EXPECT_TRUE(z.Written());
  TUnZip back;
  back.SetArchiveFile(t / L"new.zip");
  back.SetExtractDir(t / L"back");
  back.FileSpec.Add(L"*.*");
  EXPECT_EQ(back.Extract(), 3);
  EXPECT_EQ(ReadFileRaw(t / L"back\\dir\\ro.txt"), S(plain));
  SetFileAttributesW((t / L"back\\dir\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(EngineWin, ScanOfARealTree) {
  TTempDir t;
  CreateDirectoryW((t / L"sub").c_str(), nullptr);
  CreateDirectoryW((t / L"hid").c_str(), nullptr);
  for (const wchar_t* f : {L"a.txt", L"ro.txt", L"hidden.txt", L"noindex.txt", L"sub\\b.txt", L"hid\\c.txt"})
    WriteFileRaw(t / f, "x");
  SetFileAttributesW((t / L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesW((t / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesW((t / L"noindex.txt").c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_ARCHIVE);
  SetFileAttributesW((t / L"hid").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
  bool linked = CreateSymbolicLinkW((t / L"link").c_str(), (t / L"sub").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
  auto scan = [&](TzevFileAttrs attrs, TzevFileAttrs ex, bool hidden) {
    TzevFileScan s;
    s.FileSpec.Add(t / L"*.txt");
    s.Attributes = attrs;
    s.AttributesEx = ex;
    s.RecurseDirs = true;
    s.IncludeHiddenDirs = hidden;
    s.Scan();
    std::vector<std::wstring> names;
    for (const auto& o : s.FileList) names.push_back(o->Path.substr(t.Path().size() + 1) + o->Name);
    std::sort(names.begin(), names.end());
    return names;
  };
  using V = std::vector<std::wstring>;
  // Archive bit only: not-indexed counts (its extra bit is not one of the six), the hidden
  // folder is not entered, the link is never followed.
  EXPECT_EQ(scan(AttrSet({fsArchive}), AttrSet({fsReadOnly, fsHidden}), false),
            (V{L"a.txt", L"noindex.txt", L"sub\\b.txt"}));
  EXPECT_EQ(scan(AttrSet({fsArchive, fsHidden}), 0, true),
            (V{L"a.txt", L"hid\\c.txt", L"hidden.txt", L"noindex.txt", L"ro.txt", L"sub\\b.txt"}));
  if (linked) RemoveDirectoryW((t / L"link").c_str());
  SetFileAttributesW((t / L"ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW((t / L"hid").c_str(), FILE_ATTRIBUTE_DIRECTORY);
}

TEST(EngineWin, DriveAndTemporaryFolderQuestion) {
  TTempDir t;
  TzevFileSys* fs = &DefaultFileSys();
  TDiskManager dm(fs);
  EXPECT_TRUE(dm.CheckDrive(t / L"x.zip"));
  EXPECT_EQ(dm.SerialText.size(), 8u);
  EXPECT_FALSE(dm.WriteProtected);
  TZip z;
  auto& seam = TMsgBoxSeam::Get();
  seam.Reset();
  seam.PushButton(0);  // Yes: create it
  z.SetTempDir(t / L"made\\here");
  EXPECT_EQ(z.GetTempDir(), t / L"made\\here\\");
  EXPECT_TRUE(DirectoryExists(t / L"made\\here"));
  ASSERT_EQ(seam.Shown.size(), 1u);
  EXPECT_EQ(seam.Shown[0].Result, 0) << seam.Unanswered;
  seam.Reset();
}
}  // namespace
#endif
