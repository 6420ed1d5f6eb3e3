// File streams, the temporary archive file and the file routines, on the real file system.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/engine/zevFileIo.h"
#include "archive/engine/zevStreams.h"
#include "common/TestUtil.h"
#include "framework/FolderEnum.h"

namespace {
// The names in a folder, "." and ".." left out.
std::vector<std::wstring> Listing(const std::wstring& dir) {
  std::vector<std::wstring> names;
  for (const WIN32_FIND_DATAW& fd : TFolderEnum(dir)) names.push_back(fd.cFileName);
  return names;
}
void WriteAll(TStream32& s, const std::string& text) { s.WriteBuffer(text.data(), static_cast<int32_t>(text.size())); }
}  // namespace

TEST(EngineFiles, FileStreams) {
  TTempDir dir;
  std::wstring name = dir / L"a.bin";
  {
    TFileStream32 f(name, fmCreate);
    WriteAll(f, "0123456789");
    EXPECT_EQ(f.GetSize(), 10);
    f.SetSize(4);
    EXPECT_EQ(f.GetSize(), 4);
    EXPECT_EQ(f.Seek(0, soFromEnd), 4);
  }
  EXPECT_EQ(ReadFileRaw(name), "0123");
  {
    TFileStream32 f(name, fmOpenRead | fmShareDenyWrite);
    char buf[8];
    f.SetPosition(1);
    EXPECT_EQ(f.Read(buf, 8), 3);
    EXPECT_EQ(std::string(buf, 3), "123");
    EXPECT_EQ(f.Write("x", 1), 0);  // opened for reading: a failed write counts as 0 bytes
    EXPECT_THROW(TFileStream32(name, fmOpenReadWrite | fmShareExclusive), EFOpenError);  // already open
  }
  EXPECT_THROW(TFileStream32(dir / L"missing.bin", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream32(dir / L"no\\such\\folder.bin", fmCreate), EFCreateError);

  HANDLE h = nullptr;
  {
    TzevReadStream r(name, fmOpenRead | fmShareDenyNone, h);
    EXPECT_EQ(h, r.Handle());
    EXPECT_EQ(FileSize32(h), 4u);
    EXPECT_TRUE(FileSeek32(h, 2, FILE_BEGIN));
    EXPECT_EQ(FilePos32(h), 2u);
  }
  const struct {
    std::wstring path;
    uint16_t mode;
    int code;
  } failures[] = {{dir / L"missing.bin", fmOpenRead, 25235}, {dir / L"no\\such.bin", fmCreate, 25237}};
  for (const auto& f : failures) {
    try {
      TzevReadStream r(f.path, f.mode, h);
      ADD_FAILURE() << "opened";
    } catch (const EStreamError& e) {
      EXPECT_EQ(e.ECode, f.code);
      EXPECT_STREQ(e.what(), EngineErrorText(f.code));
    }
  }
}

TEST(EngineFiles, TempFileReplacesTarget) {
  enum Target { None, Plain, ReadOnly };
  const struct {
    const char* what;
    Target target;
    bool keep;
    bool commit;
    TDeleteOptions option;
    std::string expected;  // the target's content afterwards ("" = no file)
  } cases[] = {
      {"new archive", None, true, true, doFinal, "new"},
      {"replace", Plain, true, true, doFinal, "new"},
      {"replace read-only", ReadOnly, true, true, doFinal, "new"},
      {"replace, old to the recycle bin", ReadOnly, true, true, doAllowUndo, "new"},
      {"keep flag cleared", Plain, false, true, doFinal, "old"},
      {"never committed", Plain, true, false, doFinal, "old"},
      {"never committed, no target", None, true, false, doFinal, ""},
  };
  for (const auto& c : cases) {
    TTempDir work, temp;
    std::wstring target = work / L"arc.zip";
    if (c.target != None) {
      WriteFileRaw(target, "old");
      if (c.target == ReadOnly) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    {
      TTempFileStream t(fmCreate, target, temp.Path());
      ASSERT_TRUE(t.IsTemporary());
      EXPECT_EQ(Listing(temp.Path()).size(), 1u) << c.what;
      EXPECT_EQ(Listing(temp.Path())[0].substr(0, 2), L"wm");
      WriteAll(t, "new");
      t.Keep = c.keep;
      t.DeleteOptions = c.option;
      if (c.commit) {
        EXPECT_EQ(t.Commit(), 0) << c.what;
      }
    }
    EXPECT_EQ(FileExistsPlain(target) ? ReadFileRaw(target) : "", c.expected) << c.what;
    EXPECT_TRUE(Listing(temp.Path()).empty()) << c.what;  // nothing left behind
    EXPECT_EQ(Listing(work.Path()).size(), c.expected.empty() ? 0u : 1u) << c.what;
    if (c.target == ReadOnly && c.commit) {
      EXPECT_FALSE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY);
    }
  }
}

TEST(EngineFiles, TempFileFailureKeepsTheOldArchive) {
  TTempDir work, temp;
  // The old archive is held open without sharing: it cannot be replaced.
  std::wstring target = work / L"busy.zip";
  WriteFileRaw(target, "old archive");
  HANDLE busy = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  for (TDeleteOptions option : {doFinal, doAllowUndo}) {
    TTempFileStream t(fmCreate, target, temp.Path());
    t.DeleteOptions = option;
    WriteAll(t, "new archive");
    EXPECT_EQ(t.Commit(), 25237) << option;
  }
  CloseHandle(busy);
  EXPECT_EQ(ReadFileRaw(target), "old archive");
  EXPECT_EQ(Listing(work.Path()), std::vector<std::wstring>{L"busy.zip"});
  EXPECT_TRUE(Listing(temp.Path()).empty());

  // A folder in the target's place, and a target folder that does not exist.
  CreateDirectoryW((work / L"dir.zip").c_str(), nullptr);
  for (const std::wstring& bad : {work / L"dir.zip", work / L"missing\\x.zip"}) {
    TTempFileStream t(fmCreate, bad, temp.Path());
    WriteAll(t, "new");
    EXPECT_NE(t.Commit(), 0);
    EXPECT_TRUE(Listing(temp.Path()).empty());
  }
  EXPECT_TRUE(DirectoryExists(work / L"dir.zip"));
  EXPECT_EQ(Listing(work.Path()).size(), 2u);  // busy.zip and dir.zip, nothing else
}

TEST(EngineFiles, TempFileOnAnotherVolume) {
  // Under Wine, Z:\dev\shm is a memory file system: the new archive must be copied across.
  const std::wstring shm = L"Z:\\dev\\shm";
  if (!DirectoryExists(shm)) GTEST_SKIP() << "no second volume here";
  std::wstring temp = shm + L"\\velmo-engine-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(ForceDirs(temp));
  TTempDir work;
  std::wstring target = work / L"far.zip";
  WriteFileRaw(target, "old");
  std::string content(300000, 'n');
  {
    TTempFileStream t(fmCreate, target, temp);
    WriteAll(t, content);
    EXPECT_EQ(t.Commit(), 0);
  }
  EXPECT_TRUE(ReadFileRaw(target) == content) << "the old archive or a damaged copy is in place";
  EXPECT_TRUE(Listing(temp).empty());
  EXPECT_EQ(Listing(work.Path()), std::vector<std::wstring>{L"far.zip"});
  RemoveDirectoryW(temp.c_str());
}

TEST(EngineFiles, TempFileOpenedInPlace) {
  TTempDir work;
  std::wstring target = work / L"in-place.dat";
  WriteFileRaw(target, "abcdef");
  {
    TTempFileStream t(fmOpenReadWrite, target, L"");
    EXPECT_FALSE(t.IsTemporary());
    t.Seek(0, soFromEnd);
    WriteAll(t, "gh");
    EXPECT_EQ(t.Commit(), 0);
  }
  EXPECT_EQ(ReadFileRaw(target), "abcdefgh");
  EXPECT_THROW(TTempFileStream(fmOpenRead, work / L"missing.dat", L""), EFOpenError);
}

TEST(EngineFiles, DeleteFileEx) {
  TTempDir dir;
  std::wstring f = dir / L"gone.txt";
  WriteFileRaw(f, "x");
  EXPECT_TRUE(DeleteFileEx(f, doFinal));
  EXPECT_FALSE(FileExistsPlain(f));
  EXPECT_FALSE(DeleteFileEx(f, doFinal));
  EXPECT_FALSE(DeleteFileEx(f, doAllowUndo));  // missing
}

TEST(EngineFiles, FileRoutines) {
  TTempDir dir;
  std::wstring file = dir / L"f.txt", ro = dir / L"ro.txt";
  WriteFileRaw(file, "12345");
  WriteFileRaw(ro, "1");
  SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DirectoryExists(dir.Path()));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(FileExistsByFind(file));
  EXPECT_TRUE(FileExistsByFind(dir / L"*.txt"));
  EXPECT_FALSE(FileExistsByFind(dir / L"none"));
  EXPECT_TRUE(IsWriteable(file));
  EXPECT_FALSE(IsWriteable(ro));
  EXPECT_FALSE(IsWriteable(dir.Path()));
  EXPECT_FALSE(IsWriteable(dir / L"none"));
  EXPECT_FALSE(IsDirEmpty(dir.Path()));

  std::wstring deep = dir / L"a\\b\\c";
  EXPECT_TRUE(ForceDirs(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(IsDirEmpty(deep));
  EXPECT_TRUE(ForceDirs(deep + L"\\"));
  EXPECT_FALSE(ForceDirs(file + L"\\sub"));  // a file stands in the way

  std::wstring tmpName = MakeTempFileName(dir / L"t\\u");  // the folder is created first
  ASSERT_FALSE(tmpName.empty());
  EXPECT_TRUE(FileExistsPlain(tmpName));
  EXPECT_EQ(tmpName.substr(tmpName.rfind(L'\\') + 1, 2), L"wm");
  EXPECT_FALSE(SystemTempPath().empty());
  EXPECT_EQ(SystemTempPath().back(), L'\\');

  int reported = 0;
  TzevErrorSink sink = [&](const std::wstring& name, int code) {
    EXPECT_EQ(name, dir / L"none");
    reported = code;
  };
  EXPECT_EQ(OpenReadShared(dir / L"none", sink), INVALID_HANDLE_VALUE);
  EXPECT_EQ(reported, 25235);
  HANDLE h = OpenForAppend(file, sink);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FilePos32(h), 5u);
  // A known write time comes back as the same instant in local time, DOS-packed.
  SYSTEMTIME st{2024, 7, 0, 1, 12, 34, 56, 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  EXPECT_EQ(FileDosDateTime(h, 1), LocalFileTimeToDos(ft));
  FILETIME local;
  FileTimeToLocalFileTime(&ft, &local);
  WORD dd, dt;
  FileTimeToDosDateTime(&local, &dd, &dt);
  EXPECT_EQ(FileDosDateTime(h, 1), static_cast<int32_t>(static_cast<uint32_t>(dd) << 16 | dt));
  EXPECT_EQ(FileDosDateTime(h, 3), 0);
  CloseHandle(h);
  HANDLE n = OpenNewFile(dir / L"n.txt", sink);
  ASSERT_NE(n, INVALID_HANDLE_VALUE);
  CloseHandle(n);
  EXPECT_EQ(ReadFileRaw(dir / L"n.txt"), "");
}
#endif
