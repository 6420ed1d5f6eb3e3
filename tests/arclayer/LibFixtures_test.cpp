// The library drivers' fixtures checked once against the system's own RAR reader (lsar and unar
// read volume sets, check every piece's CRC and flag encrypted entries). Native only: the tools
// run on the build host.
#ifndef _WIN32
#include "arclayer/LibFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

std::vector<arcfix::TLibFile> Files() {
  std::vector<arcfix::TLibFile> f = {{"a.txt", "hello world\n"},
                                     {"sub\\b.txt", std::string(300, 'x') + "end"},
                                     {"sub", ""},
                                     {"c.bin", "0123456789abcdef"}};
  f[2].Attr = 0x10;
  return f;
}

}  // namespace

TEST(LibFixtures, RarSetsReadBackByLsarAndUnar) {
  if (std::system("command -v lsar >/dev/null && command -v unar >/dev/null") != 0) GTEST_SKIP() << "no lsar";
  TTempDir dir;
  const std::string root = WideToUtf8(dir.Path());
  struct Case {
    const char* First;
    arcfix::TLibSet Set;
  } cases[] = {{"one.rar", {}}, {"solid.rar", {true, 0, true}}, {"v.part1.rar", {false, 100, true}},
               {"old.rar", {false, 100, false}}};
  for (const Case& k : cases) {
    const auto vols = arcfix::RarSet(Files(), k.Set);
    for (size_t i = 0; i < vols.size(); ++i)
      std::ofstream(root + "/" + arcfix::LibVolumeName(k.First, i, k.Set.NewNaming), std::ios::binary) << vols[i];
    const std::string archive = root + "/" + k.First;
    const std::string test = Output("lsar -t '" + archive + "'");
    EXPECT_NE(test.find("4 passed, 0 failed."), std::string::npos) << k.First << "\n" << test;
    if (k.Set.VolumeData) EXPECT_NE(test.find("(4 volumes)"), std::string::npos) << test;
    const std::string out = root + "/x-" + k.First;
    Output("unar -q -o '" + out + "' '" + archive + "'");
    const std::string base = out + "/" + std::string(k.First).substr(0, std::string(k.First).find('.'));
    for (const auto& f : Files()) {
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
