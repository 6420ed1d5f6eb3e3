#pragma once
// What the library drivers' tests share: the stand-in library held open by the test (so that its
// settings and call log survive the driver's own load and unload), and small file helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "arclayer/LibFixtures.h"
#include "archive/layer/ArcCtrl.h"
#include "common/TestUtil.h"
#include "foundation/MOption.h"
#include "foundation/TextCodec.h"

namespace arctest {
inline std::wstring W(const std::string& s) { return Utf8ToWide(s); }
inline bool Exists(const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }
inline void Wipe(const std::wstring& folder) { RemoveTree(folder); }

// The stand-in library, held open by the test so that its settings and log survive the
// driver's own load and unload.
class TStandIn {
 public:
  explicit TStandIn(const wchar_t* name) : FModule(LoadLibraryW(name)) {
    if (!FModule) return;
    FSetup = reinterpret_cast<void(WINAPI*)(const char*)>(
        reinterpret_cast<void (*)()>(GetProcAddress(FModule, "StandInSetup")));
    FLog = reinterpret_cast<const char*(WINAPI*)()>(reinterpret_cast<void (*)()>(GetProcAddress(FModule, "StandInLog")));
  }
  ~TStandIn() {
    if (FModule) FreeLibrary(FModule);
  }
  bool Ok() const { return FSetup && FLog; }
  void Setup(const std::string& config) { FSetup(config.c_str()); }
  std::string Log() const { return FLog(); }

 private:
  HMODULE FModule;
  void(WINAPI* FSetup)(const char*) = nullptr;
  const char*(WINAPI* FLog)() = nullptr;
};

// A driver test: the stand-in held open, a work folder, and a control of the kind whose hooks
// all record into Events.
class TLibDriverTest : public ::testing::Test {
 protected:
  TLibDriverTest(const wchar_t* library, TArcKind kind) : Lib(library), FKind(kind) {}
  void SetUp() override {
    Options.ResetToDefaults();
    ASSERT_TRUE(Lib.Ok()) << "the stand-in library beside the test program";
    Lib.Setup("");
    Dest = Work / L"out";
  }
  void TearDown() override { Options.ResetToDefaults(); }

  std::unique_ptr<TGeneralArchiveControl> Control(const std::wstring& archive) {
    auto c = CreateArchiveControl(FKind);
    c->ArchiveName = archive;
    c->SetDestFolder(Dest);
    c->OnArchiveBegin = [this](TGeneralArchiveControl*, const std::wstring& n, int64_t t, int64_t f) {
      Events.push_back(L"archive " + Leaf(n) + L" " + std::to_wstring(t) + L" " + std::to_wstring(f));
    };
    c->OnFileBegin = [this](TGeneralArchiveControl*, const std::wstring& n, int64_t s, int64_t p) {
      Events.push_back(L"begin " + n + L" " + std::to_wstring(s) + L" " + std::to_wstring(p));
    };
    c->OnFileEnd = [this](TGeneralArchiveControl*, int64_t s) { Events.push_back(L"end " + std::to_wstring(s)); };
    c->OnProgress = [this](TGeneralArchiveControl*, int64_t t, int64_t d) {
      Events.push_back(L"progress " + std::to_wstring(d) + L"/" + std::to_wstring(t));
    };
    c->OnTotalProgress = [this](TGeneralArchiveControl*, int64_t t, int64_t d) {
      Events.push_back(L"pass " + std::to_wstring(d) + L"/" + std::to_wstring(t));
    };
    c->OnVolumeFound = [this](TGeneralArchiveControl*, const std::wstring& n) { Events.push_back(L"volume " + Leaf(n)); };
    return c;
  }
  // Writes the volumes of a set, the first under name; returns its path.
  std::wstring WriteVolumes(const std::string& name, const std::vector<std::string>& vols, bool newNaming) {
    for (size_t i = 0; i < vols.size(); ++i)
      WriteFileRaw(Work / W(arcfix::LibVolumeName(name, i, newNaming)), vols[i]);
    return Work / W(name);
  }
  // Extracts every truncation (in steps of 3 bytes) and every one-byte change of an archive: no
  // crash, and whatever is written is whole. Returns the number of runs that failed.
  int ExtractEveryDamage(const std::string& whole, const std::wstring& archive,
                         const std::vector<arcfix::TLibFile>& files) {
    int failures = 0;
    for (size_t len = 0; len < whole.size(); len += 3) {
      for (int flip = 0; flip < 2; ++flip) {
        std::string bytes = whole.substr(0, len);
        if (flip) {
          bytes = whole;
          bytes[len] = static_cast<char>(bytes[len] ^ 0x41);
        }
        WriteFileRaw(archive, bytes);
        Wipe(Dest);
        Lib.Setup("");
        auto c = Control(archive);
        c->StorePaths = true;
        if (c->Extract() != arcOk) ++failures;
        for (const arcfix::TLibFile& f : files) {
          const std::wstring out = Dest + L"\\" + W(f.Name);
          if (!(f.Attr & 0x10) && Exists(out)) {
            EXPECT_EQ(ReadFileRaw(out), f.Data) << len << " " << flip;
          }
        }
      }
    }
    return failures;
  }
  static std::wstring Leaf(const std::wstring& n) { return n.substr(n.find_last_of(L'\\') + 1); }
  bool Has(const std::wstring& e) const { return std::find(Events.begin(), Events.end(), e) != Events.end(); }
  static bool LogHas(const std::string& log, const std::string& line) {
    return log.find(line + "\n") != std::string::npos;
  }

  TStandIn Lib;
  TTempDir Work;
  std::wstring Dest;
  std::vector<std::wstring> Events;

 private:
  TArcKind FKind;
};
}  // namespace arctest
