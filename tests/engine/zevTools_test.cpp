// Independent checks against the system's own zip, unzip and gzip: data they write is read by
// the engine's cipher and inflater, and what the engine writes passes their tests. These tools
// run on the build host, so the checks are made by the native build.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevDetect.h"
#include "archive/engine/zevFileSys.h"
#include "archive/engine/zevStreams.h"
#include "archive/engine/zevUnGZip.h"
#include "common/TestUtil.h"
#include "foundation/TextCodec.h"

namespace {
using Bytes = std::vector<uint8_t>;

Bytes SampleData(size_t n, uint32_t seed) {
  static const char* words[] = {"zip ", "entry ", "header ", "cipher ", "key ", "\n", "0123456789 ", "stream "};
  std::mt19937 r(seed);
  Bytes v;
  while (v.size() < n) {
    const char* w = words[r() % 8];
    v.insert(v.end(), w, w + std::strlen(w));
    if (r() % 5 == 0) v.push_back(static_cast<uint8_t>(r()));
  }
  v.resize(n);
  return v;
}
std::string U8(const std::wstring& w) { return WideToUtf8(w); }
int Shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }
Bytes ReadBytes(const std::wstring& path) {
  std::string s = ReadFileRaw(path);
  return Bytes(s.begin(), s.end());
}
uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8); }
uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16; }
void Put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, static_cast<uint16_t>(v));
  Put16(b, static_cast<uint16_t>(v >> 16));
}

// The single entry of a one-entry archive, as its central directory describes it.
struct TEntry {
  uint16_t Flags, Method, Time;
  uint32_t Crc, Packed, Size;
  Bytes Data;  // the packed data (with the 12-byte cipher header when enciphered)
};
TEntry ReadOnlyEntry(const Bytes& zip) {
  size_t eocd = zip.size() - 22;
  EXPECT_EQ(Get32(zip, eocd), 0x06054B50u);
  size_t cen = Get32(zip, eocd + 16);
  EXPECT_EQ(Get32(zip, cen), 0x02014B50u);
  TEntry e{Get16(zip, cen + 8), Get16(zip, cen + 10), Get16(zip, cen + 12), Get32(zip, cen + 16),
           Get32(zip, cen + 20), Get32(zip, cen + 24), {}};
  size_t local = Get32(zip, cen + 42);
  size_t data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
  e.Data.assign(zip.begin() + static_cast<ptrdiff_t>(data), zip.begin() + static_cast<ptrdiff_t>(data + e.Packed));
  return e;
}
// A one-entry archive around data the engine produced.
Bytes WrapAsZip(const std::string& name, uint16_t flags, uint16_t method, uint32_t crc, const Bytes& data,
                uint32_t size) {
  const uint16_t time = 0x6000, date = 0x5821;  // 2024-01-01 12:00
  Bytes z;
  auto common = [&] {
    Put16(z, 20);
    Put16(z, flags);
    Put16(z, method);
    Put16(z, time);
    Put16(z, date);
    Put32(z, crc);
    Put32(z, static_cast<uint32_t>(data.size()));
    Put32(z, size);
    Put16(z, static_cast<uint16_t>(name.size()));
    Put16(z, 0);
  };
  Put32(z, 0x04034B50);
  common();
  z.insert(z.end(), name.begin(), name.end());
  z.insert(z.end(), data.begin(), data.end());
  uint32_t cen = static_cast<uint32_t>(z.size());
  Put32(z, 0x02014B50);
  Put16(z, 20);
  common();
  Put16(z, 0);  // comment
  Put16(z, 0);  // disk
  Put16(z, 0);  // internal attributes
  Put32(z, 0);  // external attributes
  Put32(z, 0);  // local header offset
  z.insert(z.end(), name.begin(), name.end());
  uint32_t cenSize = static_cast<uint32_t>(z.size()) - cen;
  Put32(z, 0x06054B50);
  Put16(z, 0);
  Put16(z, 0);
  Put16(z, 1);
  Put16(z, 1);
  Put32(z, cenSize);
  Put32(z, cen);
  Put16(z, 0);
  return z;
}
}  // namespace

TEST(EngineTools, DeciphersWhatZipEnciphers) {
  TTempDir dir;
  Bytes data = SampleData(300000, 1);
  WriteFileRaw(dir / L"plain.txt", std::string(data.begin(), data.end()));
  for (const char* level : {"-6", "-0"}) {
    std::wstring zipName = dir / (std::wstring(L"p") + (level[1] == '0' ? L"0" : L"6") + L".zip");
    ASSERT_EQ(Shell("cd '" + U8(dir.Path()) + "' && zip -q -X " + level + " -P 'se cret' '" + U8(zipName) +
                  "' plain.txt"),
              0);
    TEntry e = ReadOnlyEntry(ReadBytes(zipName));
    ASSERT_TRUE(e.Flags & 1);
    ASSERT_EQ(e.Method, level[1] == '0' ? 0 : 8);
    ASSERT_GE(e.Data.size(), 12u);

    uint8_t header[24];
    std::memcpy(header + 12, e.Data.data(), 12);
    uint8_t copy[24];
    std::memcpy(copy + 12, e.Data.data(), 12);
    // A wrong password is refused by the header or, by bad luck, by the data that follows.
    bool wrongAccepted = ZipCheckEncryptHeader(copy, e.Flags, e.Crc, "secret", e.Time);
    ASSERT_TRUE(ZipCheckEncryptHeader(header, e.Flags, e.Crc, "se cret", e.Time)) << level;

    Bytes out;
    if (e.Method == 0) {
      out.assign(e.Data.begin() + 12, e.Data.end());
      ZipDecryptBuffer(out.data(), out.size());
    } else {
      TMemoryStream32 src;
      src.WriteBuffer(e.Data.data(), static_cast<int32_t>(e.Data.size()));
      src.SetPosition(12);
      TDecompressStream d(src, -15, static_cast<int64_t>(e.Data.size() - 12));
      d.Crypt = true;
      Bytes buf(65536);
      for (int32_t n; (n = d.Read(buf.data(), 65536)) > 0;) out.insert(out.end(), buf.begin(), buf.begin() + n);
      EXPECT_EQ(d.ErrorCode(), 0);
      EXPECT_TRUE(d.Ended());
    }
    EXPECT_EQ(out, data);
    EXPECT_EQ(Crc32Of(out.data(), out.size()), e.Crc);
    if (wrongAccepted) {
      Bytes wrong(e.Data.begin() + 12, e.Data.end());
      ZipDecryptBuffer(wrong.data(), wrong.size());
      EXPECT_NE(wrong, e.Method == 0 ? data : wrong) << "a wrong password deciphered the data";
    }
  }
}

TEST(EngineTools, UnzipAcceptsWhatTheEngineWrites) {
  TTempDir dir;
  Bytes data = SampleData(200000, 2);
  uint32_t crc = Crc32Of(data.data(), data.size());
  struct C {
    const char* name;
    bool deflate, cipher;
  } cases[] = {{"deflated.zip", true, false}, {"deflated-ciphered.zip", true, true}, {"stored-ciphered.zip", false, true}};
  for (const auto& c : cases) {
    TMemoryStream32 src, packed;
    src.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
    src.SetPosition(0);
    if (c.deflate) {
      if (c.cipher) {
        uint8_t header[12];
        ZipMakeEncryptHeader("pw!", crc, header);
        packed.WriteBuffer(header, 12);
      }
      TCompressStream z(packed, -15, dtDeflateN);
      z.Crypt = c.cipher;
      z.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
      z.Finish();
    } else {
      EXPECT_EQ(EncryptStreamTo(src, packed, "pw!", true), crc);
    }
    Bytes body(packed.Memory(), packed.Memory() + packed.GetSize());
    Bytes zip = WrapAsZip("sample.txt", c.cipher ? 1 : 0, c.deflate ? 8 : 0, crc, body,
                          static_cast<uint32_t>(data.size()));
    std::wstring path = dir / Utf8ToWide(c.name);
    WriteFileRaw(path, std::string(zip.begin(), zip.end()));
    EXPECT_EQ(Shell("unzip -t -P 'pw!' '" + U8(path) + "'"), 0) << c.name;
    if (c.cipher) {
      EXPECT_NE(Shell("unzip -t -P 'wrong' '" + U8(path) + "'"), 0) << c.name;
    }
  }
}

TEST(EngineTools, GzipMemberBodyLeavesSourceAtTrailer) {
  TTempDir dir;
  Bytes data = SampleData(250000, 3);
  WriteFileRaw(dir / L"g.txt", std::string(data.begin(), data.end()));
  ASSERT_EQ(Shell("gzip -n -9 '" + U8(dir / L"g.txt") + "'"), 0);
  Bytes gz = ReadBytes(dir / L"g.txt.gz");
  ASSERT_GT(gz.size(), 18u);
  ASSERT_EQ(gz[0], 0x1F);
  ASSERT_EQ(gz[1], 0x8B);
  ASSERT_EQ(gz[3], 0);  // -n: no name, no extra fields: the body starts at 10
  TMemoryStream32 src;
  src.WriteBuffer(gz.data(), static_cast<int32_t>(gz.size()));
  src.SetPosition(10);
  Bytes out;
  {
    TDecompressStream d(src, -15);
    Bytes buf(8192);
    for (int32_t n; (n = d.Read(buf.data(), 8192)) > 0;) out.insert(out.end(), buf.begin(), buf.begin() + n);
    EXPECT_TRUE(d.Ended());
  }
  EXPECT_EQ(out, data);
  ASSERT_EQ(src.GetPosition(), static_cast<int64_t>(gz.size() - 8));
  uint8_t trailer[8];
  src.ReadBuffer(trailer, 8);
  Bytes t(trailer, trailer + 8);
  EXPECT_EQ(Get32(t, 0), Crc32Of(data.data(), data.size()));
  EXPECT_EQ(Get32(t, 4), data.size());
}

// A TAR packed by gzip and by compress, large enough for many input blocks, table clears and
// long names, comes out byte for byte through the one-pass unpacking into the TAR walk.
TEST(EngineTools, PackedTarsOfTheSystemsToolsExtractByteForByte) {
  TTempDir dir;
  const std::string d = U8(dir.Path());
  const std::string deep = "src/" + std::string(60, 'f') + "/" + std::string(70, 'g');
  ASSERT_EQ(Shell("mkdir -p '" + d + "/" + deep + "'"), 0);
  struct TFile {
    std::string Name;
    Bytes Data;
  };
  std::vector<TFile> files = {{"text.txt", SampleData(3000000, 1)},
                              {deep + "/" + std::string(40, 'n') + ".bin", SampleData(700000, 2)},
                              {"empty.txt", {}},
                              {"noise.bin", Bytes(900001)}};
  std::mt19937 r(9);
  for (auto& b : files[3].Data) b = static_cast<uint8_t>(r());
  for (auto& f : files) {
    if (f.Name.rfind("src/", 0) == 0) f.Name = f.Name.substr(4);
    WriteFileRaw(dir / Utf8ToWide("src/" + f.Name), std::string(f.Data.begin(), f.Data.end()));
  }
  ASSERT_EQ(Shell("cd '" + d + "/src' && tar czf ../a.tgz * && (tar cf - * | compress -c > ../a.tar.Z)"), 0);
  for (const wchar_t* archive : {L"a.tgz", L"a.tar.Z"}) {
    SCOPED_TRACE(U8(archive));
    TMemFileSys fs;
    fs.Put(std::wstring(L"C:\\") + archive, ReadBytes(dir / archive));
    TUnGZip u(nullptr);
    u.FileSys = &fs;
    u.SetArchiveFile(std::wstring(L"C:\\") + archive);
    u.SetArcType(atGZip);
    u.SetExtractDir(L"C:\\X");
    u.FileSpec.Add(L"*.*");
    u.OnNestedTarFile = [](TZipCommon*, const std::wstring&, bool& doUnTar) { doUnTar = true; };
    std::vector<int> errors;
    u.OnError = [&](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int code) {
      errors.push_back(code);
    };
    u.Extract();
    EXPECT_TRUE(errors.empty());
    for (const auto& f : files) {
      std::wstring name = L"C:\\X\\" + Utf8ToWide(f.Name);
      for (auto& c : name)
        if (c == L'/') c = L'\\';
      ASSERT_TRUE(fs.Find(name)) << f.Name;
      EXPECT_TRUE(fs.Get(name) == f.Data) << f.Name;
    }
  }
}

// The engine's detection over archives the system's own archivers made, and over a
// self-extracting executable: a small DOS stub with a ZIP behind it, its offsets adjusted by
// "zip -A" as a self-extractor's would be. (This host's lha only reads, so LHA archives are
// covered by the byte-built ones of the detection table.)
TEST(EngineTools, DetectsWhatTheSystemsArchiversMake) {
  TTempDir dir;
  const std::string d = U8(dir.Path());
  Bytes data = SampleData(20000, 3);
  WriteFileRaw(dir / L"a.txt", std::string(data.begin(), data.end()));
  Bytes stub(4096, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  WriteFileRaw(dir / L"stub.bin", std::string(stub.begin(), stub.end()));
  struct Case {
    const char* Make;
    const wchar_t* Name;
    TArcType Type;
  } cases[] = {
      {"zip -q t.zip a.txt", L"t.zip", atZip},
      {"zip -q j.jar a.txt", L"j.jar", atJar},
      {"7zz a -tzip s.zip a.txt", L"s.zip", atZip},
      {"gzip -c a.txt > g.gz", L"g.gz", atGZip},
      {"tar cf t.tar a.txt", L"t.tar", atTar},
      {"arj a t.arj a.txt", L"t.arj", atArj},
      {"arc a t.arc a.txt", L"t.arc", atArc},
      {"gcab -c t.cab a.txt", L"t.cab", atCab},
      {"cat stub.bin t.zip > sfx.exe && zip -q -A sfx.exe", L"sfx.exe", atZipExe},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Make);
    ASSERT_EQ(Shell("cd '" + d + "' && (" + c.Make + ")"), 0);
    Bytes bytes = ReadBytes(dir / c.Name);
    TMemFileSys fs;
    fs.Put(c.Name, bytes);
    auto s = fs.OpenRead(c.Name);
    TDetectResult r;
    DetectArchive(*s, c.Name, r);
    EXPECT_EQ(r.Type, c.Type);
    // Behind a stub the ZIP is found by its end record, as the self-extractor's own code finds it.
    if (c.Type == atZipExe) EXPECT_TRUE(r.ZipFound & htEnding);
  }
}
#endif
