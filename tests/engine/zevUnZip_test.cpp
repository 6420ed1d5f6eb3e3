// The ZIP and JAR reader over archives in memory: the old methods from the test-side encoders,
// damaged input of every kind, the safe-name and error rules; and (natively, where the tools
// run) archives made by Debian's zip, 7zz and Python's zipfile, extracted byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <fstream>
#include <string>
#include <vector>

#include "archive/engine/zevUnZip.h"
#include "archive/engine/zevZipDecoders.h"
#include "common/ZipPassword.h"
#include "engine/ZipTestKit.h"

namespace {
using namespace ziptest;

struct TRun {
  TMemFileSys Fs;
  std::vector<int> Errors;
  std::vector<std::wstring> ErrorNames;
  int Accepted = -1;
  int Run(const Bytes& zip, const wchar_t* name = L"C:\\IN\\A.ZIP", bool jar = false,
          const std::function<void(TUnZip&)>& setup = nullptr) {
    Fs.Put(name, zip);
    std::unique_ptr<TUnZip> r = jar ? std::make_unique<TUnJar>() : std::make_unique<TUnZip>();
    r->FileSys = &Fs;
    r->SetArchiveFile(name);
    r->SetExtractDir(L"C:\\OUT");
    r->FileSpec.Add(L"*.*");
    r->OnError = [this](TZipCommon*, const std::wstring& f, const std::wstring&, const std::wstring&, int code) {
      Errors.push_back(code);
      ErrorNames.push_back(f);
    };
    if (setup) setup(*r);
    Accepted = r->Extract();
    return Accepted;
  }
};

Bytes Sample() { return SampleText(70000, 7); }

TEST(UnZip, OldMethodsFromTheTestEncoders) {
  Bytes plain = Sample();
  std::vector<TEntrySpec> entries;
  entries.push_back(Entry("shrunk.txt", 1, 0, Shrink(plain), plain));
  for (int f = 1; f <= 4; ++f)
    entries.push_back(Entry("reduced" + std::to_string(f) + ".txt", static_cast<uint16_t>(1 + f), 0,
                            Reduce(Bytes(plain.begin(), plain.begin() + 20000), f),
                            Bytes(plain.begin(), plain.begin() + 20000)));
  for (uint16_t flags : {0, 2, 4, 6})
    entries.push_back(Entry("imploded" + std::to_string(flags) + ".txt", 6, flags,
                            Implode(Bytes(plain.begin(), plain.begin() + 20000), flags),
                            Bytes(plain.begin(), plain.begin() + 20000)));
  entries.push_back(Entry("stored.txt", 0, 0, plain, plain));
  TRun r;
  EXPECT_EQ(r.Run(MakeZip(entries)), static_cast<int>(entries.size()));
  EXPECT_TRUE(r.Errors.empty()) << r.Errors.size() << " first " << (r.Errors.empty() ? 0 : r.Errors[0]);
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\shrunk.txt"), plain);
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\stored.txt"), plain);
  for (int f = 1; f <= 4; ++f)
    EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\reduced" + std::to_wstring(f) + L".txt"), Bytes(plain.begin(), plain.begin() + 20000))
        << f;
  for (int flags : {0, 2, 4, 6})
    EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\imploded" + std::to_wstring(flags) + L".txt"),
              Bytes(plain.begin(), plain.begin() + 20000))
        << flags;
}

TEST(UnZip, FaultsAreMendedPerEntry) {
  Bytes plain = SampleText(3000, 3);
  Bytes bad = plain;
  std::vector<TEntrySpec> entries;
  entries.push_back(Entry("../../escape.txt", 0, 0, plain, plain));
  TEntrySpec unsupported = Entry("keep.txt", 99, 0, plain, plain);
  entries.push_back(unsupported);
  TEntrySpec crc = Entry("crc.txt", 0, 0, plain, plain);
  crc.Crc ^= 1;
  entries.push_back(crc);
  TEntrySpec noSig = Entry("nosig.txt", 0, 0, plain, plain);
  noSig.LocalSignature = false;
  entries.push_back(noSig);
  TEntrySpec attrs = Entry("attrs.txt", 0, 0, plain, plain);
  attrs.ExtAttr = 0x81A40000u | 0x27 | 0x100;
  entries.push_back(attrs);
  entries.push_back(Entry("..", 0, 0, plain, plain));
  entries.push_back(Entry("last.txt", 0, 0, plain, plain));
  TRun r;
  r.Fs.Put(L"C:\\OUT\\keep.txt", std::string("existing"));
  bool crcEnd = true;
  r.Run(MakeZip(entries), L"C:\\IN\\A.ZIP", false, [&](TUnZip& z) {
    z.OnEnd = [&](TZipCommon*, const std::wstring& n, bool pass) {
      if (n.find(L"crc.txt") != std::wstring::npos) crcEnd = pass;
    };
  });
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\escape.txt"), plain);
  EXPECT_EQ(r.Fs.Find(L"C:\\escape.txt"), nullptr);
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\keep.txt"), (Bytes{'e', 'x', 'i', 's', 't', 'i', 'n', 'g'}));
  EXPECT_FALSE(crcEnd);
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\crc.txt"), plain);  // the file stays; the user is told
  EXPECT_EQ(r.Fs.Find(L"C:\\OUT\\nosig.txt"), nullptr);
  ASSERT_NE(r.Fs.Find(L"C:\\OUT\\attrs.txt"), nullptr);
  EXPECT_EQ(r.Fs.Find(L"C:\\OUT\\attrs.txt")->Attr, 0x27u);
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\last.txt"), plain);
  std::vector<int> expected = {zevUnsupportedMethod, zevCrcError, zevInvalidFileName};
  EXPECT_EQ(r.Errors, expected);
}

TEST(UnZip, JarFoldersAndCorruptHeaderQuestion) {
  Bytes plain = SampleText(100, 1);
  std::vector<TEntrySpec> entries;
  TEntrySpec dir = Entry("META-INF/", 0, 0, {}, {});
  dir.ExtAttr = 0;
  entries.push_back(dir);
  entries.push_back(Entry("META-INF/MANIFEST.MF", 0, 0, plain, plain));
  TRun r;
  EXPECT_EQ(r.Run(MakeZip(entries), L"C:\\IN\\A.JAR", true, [](TUnZip& z) { z.CreateStoredDirs = true; }), 2);
  EXPECT_TRUE(r.Fs.DirExists(L"C:\\OUT\\META-INF"));
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\META-INF\\MANIFEST.MF"), plain);
  // Without an end record the local headers are read, unless the question says no.
  Bytes z = MakeZip({Entry("a.txt", 0, 0, plain, plain)});
  z.resize(z.size() - 22);
  TRun local;
  EXPECT_EQ(local.Run(z), 1);
  EXPECT_EQ(local.Fs.Get(L"C:\\OUT\\a.txt"), plain);
  TRun refused;
  EXPECT_EQ(refused.Run(z, L"C:\\IN\\A.ZIP", false,
                        [](TUnZip& u) { u.OnCorruptZipHeader = [](TZipCommon*, THeaderTypeState, bool&) {}; }),
            0);
}

TEST(UnZip, EncryptedEntriesNeedTheirPassword) {
  Bytes plain = SampleText(5000, 9);
  uint32_t crc = Crc32Of(plain.data(), plain.size());
  // The header is random, and one wrong password in 256 passes its check byte: it is made again
  // until the wrong password below does not, then the keys are set for the data.
  uint8_t header[12];
  auto passes = [&](const char* password) { return ziptest::PassesCipherCheck(header, 1, crc, password, 0); };
  do ZipMakeEncryptHeader("secret", crc, header);
  while (passes("no"));
  ASSERT_TRUE(passes("secret"));
  Bytes data(header, header + 12);
  Bytes body = plain;
  ZipEncryptBuffer(body.data(), body.size());
  data.insert(data.end(), body.begin(), body.end());
  TEntrySpec e = Entry("secret.txt", 0, 1, data, plain);
  Bytes zip = MakeZip({e});
  TRun right;
  EXPECT_EQ(right.Run(zip, L"C:\\IN\\A.ZIP", false, [](TUnZip& z) { z.Passwords.Add(L"secret"); }), 1);
  EXPECT_EQ(right.Fs.Get(L"C:\\OUT\\secret.txt"), plain);
  TRun wrong;
  EXPECT_EQ(wrong.Run(zip, L"C:\\IN\\A.ZIP", false,
                      [](TUnZip& z) {
                        z.OnGetPassword = [](TZipCommon*, const std::wstring&, std::wstring& pw, bool&) { pw = L"no"; };
                      }),
            0);
  EXPECT_EQ(wrong.Fs.Find(L"C:\\OUT\\secret.txt"), nullptr);
  EXPECT_EQ(wrong.Errors, std::vector<int>(3, zevInvalidPassword));
}

TEST(UnZip, EveryTruncationAndByteFlipIsSafe) {
  Bytes plain = SampleText(2000, 5);
  std::vector<TEntrySpec> entries = {Entry("s.txt", 1, 0, Shrink(plain), plain),
                                     Entry("r.txt", 5, 0, Reduce(plain, 4), plain),
                                     Entry("i.txt", 6, 6, Implode(plain, 6), plain),
                                     Entry("p.txt", 0, 0, plain, plain)};
  Bytes zip = MakeZip(entries);
  for (size_t n = 0; n < zip.size(); n += (n < 200 || zip.size() - n < 200) ? 1 : 37) {
    TRun r;
    r.Run(Bytes(zip.begin(), zip.begin() + static_cast<long>(n)));
  }
  uint32_t seed = 1;
  for (int i = 0; i < 300; ++i) {
    Bytes d = zip;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      d[(seed >> 8) % d.size()] ^= static_cast<uint8_t>(seed >> 24 | 1);
    }
    TRun r;
    r.Run(d);
  }
}

TEST(UnZip, DecodersRejectDamage) {
  Bytes out;
  TDecodeSink sink = [&](const uint8_t* p, int32_t n) { out.insert(out.end(), p, p + n); };
  auto from = [](const Bytes& b) {
    auto pos = std::make_shared<size_t>(0);
    return TDecodeSource([b, pos](uint8_t* buf, int32_t n) -> int32_t {
      int32_t k = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(n), b.size() - *pos));
      std::copy(b.begin() + static_cast<long>(*pos), b.begin() + static_cast<long>(*pos + static_cast<size_t>(k)), buf);
      *pos += static_cast<size_t>(k);
      return k;
    });
  };
  // A first code above 255, and a control code followed by 3.
  TBitWriter w;
  w.Put(300, 9);
  EXPECT_EQ(UnShrink(from(w.Finish()), sink, 10), zevBadBlock);
  TBitWriter w2;
  w2.Put('a', 9);
  w2.Put(256, 9);
  w2.Put(3, 9);
  EXPECT_EQ(UnShrink(from(w2.Finish()), sink, 10), zevBadBlock);
  // An over-subscribed implode tree.
  TBitWriter w3;
  w3.Put(0, 8);
  w3.Put(0xF0, 8);  // 16 codes of length 1
  EXPECT_EQ(Explode(from(w3.Finish()), sink, 10, 0), zevAmbiguousTree);
  // Input that ends early.
  Bytes plain = SampleText(1000, 2);
  Bytes packed = Implode(plain, 0);
  packed.resize(packed.size() / 2);
  EXPECT_EQ(Explode(from(packed), sink, 1000, 0), zevReadError);
}

#ifndef _WIN32
// ---- Archives from Debian's tools ----

std::string Sh(const std::string& cmd) { return cmd + " >/dev/null 2>&1"; }

struct TToolDir {
  std::string Dir;
  TToolDir() {
    char tmpl[] = "/tmp/velmo-unzip-XXXXXX";
    Dir = mkdtemp(tmpl);
    std::system(Sh("mkdir -p " + Dir + "/src/sub").c_str());
    Write("src/a.txt", SampleText(40000, 1));
    Write("src/sub/b.bin", SampleText(300000, 2));
    Write("src/empty.txt", {});
    Bytes random(70000);
    uint32_t s = 99;
    for (auto& c : random) c = static_cast<uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
    Write("src/sub/random.dat", random);
  }
  ~TToolDir() { std::system(Sh("rm -rf " + Dir).c_str()); }
  void Write(const std::string& rel, const Bytes& b) {
    std::ofstream f(Dir + "/" + rel, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }
  Bytes Read(const std::string& rel) const {
    std::ifstream f(Dir + "/" + rel, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  bool Make(const std::string& cmd) { return std::system(Sh("cd " + Dir + "/src && " + cmd).c_str()) == 0; }
};

TEST(UnZipTools, ArchivesFromRealToolsExtractExactly) {
  TToolDir t;
  struct {
    const char* Name;
    const char* Command;
    const char* Password;
  } cases[] = {
      {"stored", "zip -q -r -0 ../x.zip .", nullptr},
      {"deflated", "zip -q -r -6 ../x.zip .", nullptr},
      {"best", "zip -q -r -9 ../x.zip .", nullptr},
      {"encrypted", "zip -q -r -P secret ../x.zip .", "secret"},
      {"sevenzip", "7zz a -tzip -bd ../x.zip . ", nullptr},
      {"python", "python3 -c \"import zipfile,os\nwith zipfile.ZipFile('../x.zip','w',zipfile.ZIP_DEFLATED) as z:\n"
                 " [z.write(os.path.join(r,f)) for r,d,fs in os.walk('.') for f in fs]\"",
       nullptr},
  };
  for (const auto& c : cases) {
    std::system(Sh("rm -f " + t.Dir + "/x.zip").c_str());
    ASSERT_TRUE(t.Make(c.Command)) << c.Name;
    TRun r;
    int n = r.Run(t.Read("x.zip"), L"C:\\IN\\A.ZIP", false, [&](TUnZip& z) {
      if (c.Password) z.Passwords.Add(L"secret");
    });
    EXPECT_GE(n, 4) << c.Name;
    EXPECT_TRUE(r.Errors.empty()) << c.Name << " " << (r.Errors.empty() ? 0 : r.Errors[0]);
    for (const char* f : {"a.txt", "sub/b.bin", "empty.txt", "sub/random.dat"}) {
      std::wstring out = L"C:\\OUT\\" + SlashToBackslash(std::wstring(f, f + std::strlen(f)));
      EXPECT_EQ(r.Fs.Get(out), t.Read(std::string("src/") + f)) << c.Name << " " << f;
    }
  }
}

TEST(UnZipTools, OldMethodFixturesPassUnzip) {
  // Info-ZIP's unzip decodes Shrink and Implode: the test encoders, and so the fixtures the
  // reader is tested on, follow the published methods.
  TToolDir t;
  Bytes plain = SampleText(20000, 7);
  std::vector<TEntrySpec> entries = {Entry("shrunk.txt", 1, 0, Shrink(plain), plain)};
  for (uint16_t flags : {0, 2, 4, 6})
    entries.push_back(Entry("imploded" + std::to_string(flags) + ".txt", 6, flags, Implode(plain, flags), plain));
  t.Write("old.zip", MakeZip(entries));
  EXPECT_EQ(std::system(Sh("unzip -t " + t.Dir + "/old.zip").c_str()), 0);
}

TEST(UnZipTools, SplitAndSelfExtractingSets) {
  TToolDir t;
  ASSERT_TRUE(t.Make("zip -q -r -s 64k ../split.zip ."));
  TRun r;
  r.Fs.Put(L"C:\\IN\\split.zip", t.Read("split.zip"));
  for (int i = 1; i < 10; ++i) {
    char ext[8];
    snprintf(ext, sizeof ext, "z%02d", i);
    Bytes part = t.Read(std::string("split.") + ext);
    if (!part.empty()) r.Fs.Put(L"C:\\IN\\split." + std::wstring(ext, ext + 3), part);
  }
  EXPECT_GE(r.Run(r.Fs.Get(L"C:\\IN\\split.zip"), L"C:\\IN\\split.zip"), 4);
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_EQ(r.Fs.Get(L"C:\\OUT\\sub\\b.bin"), t.Read("src/sub/b.bin"));
  // A stub before an archive that was not told of it, and one that was (zip -A).
  ASSERT_TRUE(t.Make("zip -q -r ../plain.zip . && cd .. && (printf 'MZ'; head -c 3000 /dev/zero) > stub && "
                     "cat stub plain.zip > sfx.exe && cp sfx.exe sfxa.exe && zip -q -A sfxa.exe"));
  for (const char* sfx : {"sfx.exe", "sfxa.exe"}) {
    TRun s;
    EXPECT_GE(s.Run(t.Read(sfx), L"C:\\IN\\SFX.EXE"), 4) << sfx;
    EXPECT_TRUE(s.Errors.empty()) << sfx;
    EXPECT_EQ(s.Fs.Get(L"C:\\OUT\\a.txt"), t.Read("src/a.txt")) << sfx;
  }
}
#endif
}  // namespace
