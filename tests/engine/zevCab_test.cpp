// CAB archives through the system's cabinet.dll: what the writer makes is read back by the
// reader and checked by cabextract; cabinets made by gcab are extracted byte for byte; an
// update keeps the old entries; a damaged or missing cabinet is an error; without the
// library nothing is touched. The reference tools run on the host through the Unix side of
// Wine, in a folder under Z:\tmp.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "archive/engine/zevMakeCab.h"
#include "archive/engine/zevUnCab.h"
#include "common/TestUtil.h"
#include "engine/CodecTestData.h"
#include "foundation/TextCodec.h"

namespace {
using namespace codectest;

// A folder under /tmp, so that the host's tools see the same files.
struct THostDir {
  std::wstring Win;
  std::string Unix;
  THostDir() {
    Unix = "/tmp/velmo-cab-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    Win = L"Z:" + SlashToBackslash(Utf8ToWide(Unix));
    CreateDirectoryW(Win.c_str(), nullptr);
  }
  // The folder goes with the last command's status file, so nothing is waited for.
  ~THostDir() { Sh("rm -rf '" + Unix + "'", false); }
  std::wstring operator/(const std::wstring& n) const { return Win + L"\\" + n; }
  // Runs a command on the host; its exit status.
  int Sh(const std::string& cmd, bool wait = true) const {
    std::string rc = Unix + "/.rc";
    std::wstring line = Utf8ToWide("/bin/sh -c \"(" + cmd + ") >/dev/null 2>&1; echo $? > '" + rc + "'\"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> buf(line.begin(), line.end());
    buf.push_back(0);
    DeleteFileW((Win + L"\\.rc").c_str());
    if (!CreateProcessW(L"/bin/sh", buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (!wait) return 0;
    // A host program is no Windows process to wait for: its status file says it is done.
    for (int i = 0; i < 600; ++i) {
      std::string s = ReadFileRaw(Win + L"\\.rc");
      if (!s.empty() && s.back() == '\n') return std::atoi(s.c_str());
      Sleep(100);
    }
    return -1;
  }
};

std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

struct TCabRig {
  THostDir Dir;
  std::vector<int> Errors;
  TCabRig() {
    CreateDirectoryW((Dir / L"src").c_str(), nullptr);
    CreateDirectoryW((Dir / L"src\\sub").c_str(), nullptr);
    WriteFileRaw(Dir / L"src\\a.txt", S(TextData(60000, 1)));
    WriteFileRaw(Dir / L"src\\sub\\noise.bin", S(RandomData(20000, 2)));
    WriteFileRaw(Dir / L"src\\\uD55C\uAE00.txt", S(TextData(500, 3)));
    WriteFileRaw(Dir / L"src\\empty.txt", "");
  }
  int Make(const std::function<void(TMakeCab&)>& more = nullptr, const std::wstring& fileMask = L"*.*") {
    TMakeCab w;
    w.SetArchiveFile(Dir / L"t.cab");
    w.SetBaseDir(Dir / L"src");
    w.FileSpec.Add(Dir / (L"src\\" + fileMask));
    w.RecurseDirs = true;
    w.SetTempDir(Dir.Win);
    w.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    if (more) more(w);
    return w.UpdateArchive();
  }
  int Extract(const std::wstring& cab, const std::wstring& to) {
    TUnCab r;
    r.SetArchiveFile(cab);
    r.SetArcType(atCab);
    r.SetExtractDir(to);
    r.FileSpec.Add(L"*.*");
    r.OnError = [this](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) {
      Errors.push_back(c);
    };
    return r.Extract();
  }
};

TEST(Cab, WrittenCabinetsReadBackAndPassCabextract) {
  for (TCompressMethod m : {cmMsZip, cmStore}) {
    SCOPED_TRACE(m);
    TCabRig c;
    ASSERT_EQ(c.Make([&](TMakeCab& w) { w.SetCompressMethod(m); }), 4);
    EXPECT_TRUE(c.Errors.empty());
    EXPECT_EQ(c.Dir.Sh("cabextract -t '" + c.Dir.Unix + "/t.cab'"), 0);
    std::string listing = c.Dir.Unix + "/list.txt";
    c.Dir.Sh("cabextract -l '" + c.Dir.Unix + "/t.cab' > '" + listing + "'");
    ASSERT_EQ(c.Extract(c.Dir / L"t.cab", c.Dir / L"out"), 4);
    for (const wchar_t* f : {L"a.txt", L"sub\\noise.bin", L"\uD55C\uAE00.txt", L"empty.txt"})
      EXPECT_EQ(ReadFileRaw(c.Dir / (std::wstring(L"out\\") + f)), ReadFileRaw(c.Dir / (std::wstring(L"src\\") + f)))
          << WideToUtf8(f);
    // Stored or compressed: what the library really did shows in the size.
    WIN32_FILE_ATTRIBUTE_DATA d;
    ASSERT_TRUE(GetFileAttributesExW((c.Dir / L"t.cab").c_str(), GetFileExInfoStandard, &d));
    if (m == cmStore)
      EXPECT_GT(d.nFileSizeLow, 80000u);
    else
      EXPECT_LT(d.nFileSizeLow, 60000u);
  }
}

TEST(Cab, GcabCabinetsExtractAndUpdatesKeepEntries) {
  TCabRig c;
  ASSERT_EQ(c.Dir.Sh("cd '" + c.Dir.Unix + "/src' && gcab -c -z ../g.cab a.txt sub/noise.bin"), 0);
  ASSERT_EQ(c.Extract(c.Dir / L"g.cab", c.Dir / L"gout"), 2);
  EXPECT_EQ(ReadFileRaw(c.Dir / L"gout\\sub\\noise.bin"), ReadFileRaw(c.Dir / L"src\\sub\\noise.bin"));
  // Adding to a cabinet carries its entries into the new one.
  CopyFileW((c.Dir / L"g.cab").c_str(), (c.Dir / L"t.cab").c_str(), FALSE);
  WriteFileRaw(c.Dir / L"src\\late.txt", "late");
  ASSERT_EQ(c.Make(nullptr, L"late.txt"), 1);
  ASSERT_EQ(c.Extract(c.Dir / L"t.cab", c.Dir / L"upd"), 3);
  EXPECT_EQ(ReadFileRaw(c.Dir / L"upd\\a.txt"), ReadFileRaw(c.Dir / L"src\\a.txt"));
  EXPECT_EQ(ReadFileRaw(c.Dir / L"upd\\late.txt"), "late");
  EXPECT_EQ(c.Dir.Sh("cabextract -t '" + c.Dir.Unix + "/t.cab'"), 0);
}

TEST(Cab, DamagedMissingAndReadOnlyArchivesAreErrors) {
  TCabRig c;
  ASSERT_EQ(c.Make(), 4);
  std::string good = ReadFileRaw(c.Dir / L"t.cab");
  // A missing cabinet and one that is not a cabinet.
  c.Errors.clear();
  EXPECT_EQ(c.Extract(c.Dir / L"none.cab", c.Dir / L"x"), 0);
  EXPECT_FALSE(c.Errors.empty());
  WriteFileRaw(c.Dir / L"bad.cab", "MSCF but nothing more");
  c.Errors.clear();
  EXPECT_EQ(c.Extract(c.Dir / L"bad.cab", c.Dir / L"x"), 0);
  EXPECT_FALSE(c.Errors.empty());
  // Every cut of the cabinet: an error or fewer files, never a crash or a success with all.
  for (size_t cut : {good.size() / 4, good.size() / 2}) {
    WriteFileRaw(c.Dir / L"cut.cab", good.substr(0, cut));
    c.Errors.clear();
    EXPECT_LT(c.Extract(c.Dir / L"cut.cab", c.Dir / L"cut"), 4);
  }
  // A cabinet that cannot be read whole is not replaced by an update.
  WriteFileRaw(c.Dir / L"t.cab", good.substr(0, good.size() / 2));
  c.Errors.clear();
  EXPECT_EQ(c.Make(nullptr, L"a.txt"), 0);
  EXPECT_FALSE(c.Errors.empty());
  EXPECT_EQ(ReadFileRaw(c.Dir / L"t.cab"), good.substr(0, good.size() / 2));
  // A read-only archive without a handler.
  WriteFileRaw(c.Dir / L"t.cab", good);
  SetFileAttributesW((c.Dir / L"t.cab").c_str(), FILE_ATTRIBUTE_READONLY);
  c.Errors.clear();
  EXPECT_EQ(c.Make(nullptr, L"a.txt"), 0);
  ASSERT_FALSE(c.Errors.empty());
  EXPECT_EQ(c.Errors[0], zevWriteError);
  SetFileAttributesW((c.Dir / L"t.cab").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFileRaw(c.Dir / L"t.cab"), good);
}

TEST(Cab, WithoutTheLibraryNothingIsTouched) {
  TCabRig c;
  ASSERT_EQ(c.Make(), 4);
  std::string cab = ReadFileRaw(c.Dir / L"t.cab");
  SimulateMissingCabinetDll(true);
  WriteFileRaw(c.Dir / L"src\\late.txt", "late");
  EXPECT_EQ(c.Make(), 0);
  EXPECT_EQ(c.Extract(c.Dir / L"t.cab", c.Dir / L"x"), 0);
  SimulateMissingCabinetDll(false);
  EXPECT_EQ(ReadFileRaw(c.Dir / L"t.cab"), cab);
  EXPECT_EQ(GetFileAttributesW((c.Dir / L"x").c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_EQ(c.Errors.size(), 2u);
  EXPECT_EQ(c.Errors[0], zevCabinetNotFound);
  EXPECT_EQ(c.Errors[1], zevCabinetNotFound);
}

TEST(Cab, LevelsAreClampedAndCodesBuilt) {
  TMakeCab w;
  w.SetLzxLevel(30);
  EXPECT_EQ(w.LzxLevel(), 21);
  w.SetLzxLevel(3);
  EXPECT_EQ(w.LzxLevel(), 15);
  w.SetQuantumLevel(0);
  EXPECT_EQ(w.QuantumLevel(), 1);
  w.SetQuantumMemory(5);
  EXPECT_EQ(w.QuantumMemory(), 10);
  w.SetCompressMethod(cmLzx);
  EXPECT_EQ(w.CompressionCode(), TCOMP(15 * 256 + 3));
  w.SetCompressMethod(cmDeflate);  // not a CAB method: the old one stays
  EXPECT_EQ(w.CompressMethod(), cmLzx);
}
}  // namespace
#endif
