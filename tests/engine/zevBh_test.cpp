// BH archives: what the entry writer makes (stored, deflated, fused; enciphered with a
// password) is read back by TUnBh; an entry that does not shrink is stored, enciphered when a
// password is given; damaged and truncated archives end cleanly.
#include <gtest/gtest.h>

#include <vector>

#include "archive/engine/zevBhFormat.h"
#include "archive/engine/zevUnBH.h"
#include "common/ZipPassword.h"
#include "engine/CodecTestData.h"

using namespace codectest;

namespace {
struct TBhCase {
  std::string Name;
  TBhPacking Packing;
  Bytes Data;
  std::string Password;
  uint8_t Method;  // as written
};
std::vector<TBhCase> Cases() {
  return {{"store.txt", TBhPacking::Store, TextData(3000, 1), "", 0},
          {"deflate.txt", TBhPacking::Deflate, TextData(40000, 2), "", 8},
          {"fuse.txt", TBhPacking::Fuse, TextData(50000, 3), "", 3},
          {"noise.bin", TBhPacking::Fuse, RandomData(8000, 4), "", 0},
          {"secret.txt", TBhPacking::Fuse, TextData(20000, 5), "pw", 3},
          {"secretnoise.bin", TBhPacking::Fuse, RandomData(5000, 6), "pw", 0},
          {"secretdefl.txt", TBhPacking::Deflate, TextData(9000, 7), "pw", 8},
          {"empty.txt", TBhPacking::Fuse, {}, "", 0}};
}
Bytes Write(const std::vector<TBhCase>& cases) {
  TMemoryStream32 dest, scratch;
  for (const auto& c : cases) {
    TBytesReadStream src(c.Data.data(), c.Data.size());
    TBhWritten w;
    EXPECT_EQ(WriteBhEntry(&src, dest, scratch, c.Name, false, 0x5A8B6000, 0x20, c.Packing, dtDeflateN, c.Password, w), 0);
    EXPECT_EQ(w.Method, c.Method) << c.Name;
    EXPECT_EQ(w.Encrypted, !c.Password.empty()) << c.Name;
  }
  return MemoryBytes(dest);
}
}  // namespace

TEST(BhFormat, WhatTheWriterMakesIsReadBack) {
  auto cases = Cases();
  Bytes a = Write(cases);
  TMemFileSys fs;
  fs.Put(L"C:\\A.BH", a);
  TUnBh r(nullptr);
  r.FileSys = &fs;
  r.SetArchiveFile(L"C:\\A.BH");
  r.SetExtractDir(L"C:\\OUT");
  r.FileSpec.Add(L"*.*");
  r.Passwords.Add(L"pw");
  std::vector<int> errors;
  r.OnError = [&](TZipCommon*, const std::wstring&, const std::wstring&, const std::wstring&, int c) { errors.push_back(c); };
  EXPECT_EQ(r.Extract(), static_cast<int>(cases.size()));
  EXPECT_TRUE(errors.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(fs.Get(L"C:\\OUT\\" + std::wstring(c.Name.begin(), c.Name.end())), c.Data);
  }
}

TEST(BhFormat, AStoredEntryWithAPasswordIsNeverInClear) {
  Bytes noise = RandomData(5000, 6);
  Bytes a = Write({{"n.bin", TBhPacking::Fuse, noise, "pw", 0}});
  EXPECT_EQ(std::search(a.begin(), a.end(), noise.begin(), noise.begin() + 64), a.end());
}

TEST(BhFormat, AWrongPasswordSkipsTheEntry) {
  // The cipher's header is random, and one wrong password in 256 passes its check byte: the
  // archive is written again until the wrong password below does not.
  auto checks = [](const Bytes& archive, const char* password) {
    std::vector<bool> passes;
    TBytesReadStream s(archive.data(), archive.size());
    WalkBhHeaders(s, static_cast<int64_t>(archive.size()), [&](const TBhHeader& h) {
      if (h.Encrypted() && h.DataOffset + 12 <= static_cast<int64_t>(archive.size()))
        passes.push_back(ziptest::PassesCipherCheck(archive.data() + h.DataOffset, h.Flags, h.Crc, password,
                                                    static_cast<uint16_t>(h.DosTime & 0xFFFF)));
      return true;
    });
    return passes;
  };
  Bytes a;
  for (int i = 0; i < 100; ++i) {
    a = Write({{"s.txt", TBhPacking::Fuse, TextData(3000, 9), "pw", 3}, {"p.txt", TBhPacking::Store, Bytes(10, 'p'), "", 0}});
    if (checks(a, "nope") == std::vector<bool>{false}) break;
  }
  ASSERT_EQ(checks(a, "nope"), std::vector<bool>{false});
  ASSERT_EQ(checks(a, "pw"), std::vector<bool>{true});
  TMemFileSys fs;
  fs.Put(L"C:\\A.BH", a);
  TUnBh r(nullptr);
  r.FileSys = &fs;
  r.SetArchiveFile(L"C:\\A.BH");
  r.SetExtractDir(L"C:\\OUT");
  r.FileSpec.Add(L"*.*");
  r.OnGetPassword = [](TZipCommon*, const std::wstring&, std::wstring& pw, bool& again) {
    pw = L"nope";
    again = true;
  };
  EXPECT_EQ(r.Extract(), 1);
  EXPECT_FALSE(fs.FileExists(L"C:\\OUT\\s.txt"));
  EXPECT_EQ(fs.Get(L"C:\\OUT\\p.txt"), Bytes(10, 'p'));
}

TEST(BhFormat, ALongNameIsPassedOverAndAZeroLengthEndsTheListing) {
  TMemoryStream32 dest, scratch;
  Bytes d(20, 'd');
  TBhWritten w;
  TBytesReadStream s1(d.data(), d.size());
  WriteBhEntry(&s1, dest, scratch, "first.txt", false, 0, 0x20, TBhPacking::Store, dtDeflateN, "", w);
  // A name of 300 bytes cannot be written: build that header by hand from a written one.
  int64_t second = dest.GetSize();
  TBytesReadStream s2(d.data(), d.size());
  WriteBhEntry(&s2, dest, scratch, std::string(200, 'x'), false, 0, 0x20, TBhPacking::Store, dtDeflateN, "", w);
  Bytes a = MemoryBytes(dest);
  Bytes longName(a.begin() + second, a.begin() + second + static_cast<long>(kBhHeaderSize));
  longName[33] = 300 & 0xFF;
  longName[34] = 300 >> 8;
  longName[4] = (37 + 300) & 0xFF;
  longName[5] = (37 + 300) >> 8;
  longName.insert(longName.end(), 300, 'y');
  longName.insert(longName.end(), d.begin(), d.end());
  a.resize(static_cast<size_t>(second));
  a.insert(a.end(), longName.begin(), longName.end());
  TBytesReadStream s3(d.data(), d.size());
  TMemoryStream32 tail;
  WriteBhEntry(&s3, tail, scratch, "last.txt", false, 0, 0x20, TBhPacking::Store, dtDeflateN, "", w);
  Bytes t = MemoryBytes(tail);
  a.insert(a.end(), t.begin(), t.end());
  std::vector<std::string> names;
  TBytesReadStream s(a.data(), a.size());
  EXPECT_EQ(WalkBhHeaders(s, static_cast<int64_t>(a.size()), [&](const TBhHeader& h) {
              names.push_back(h.Name);
              return true;
            }),
            0);
  EXPECT_EQ(names, (std::vector<std::string>{"first.txt", "last.txt"}));
  // A header length of 0 ends the walk.
  a[4] = a[5] = 0;
  names.clear();
  TBytesReadStream z(a.data(), a.size());
  WalkBhHeaders(z, static_cast<int64_t>(a.size()), [&](const TBhHeader& h) {
    names.push_back(h.Name);
    return true;
  });
  EXPECT_TRUE(names.empty());
}

TEST(BhFormat, EveryTruncationEndsCleanly) {
  Bytes a = Write({{"f.txt", TBhPacking::Fuse, TextData(3000, 11), "", 3}, {"d.txt", TBhPacking::Deflate, TextData(3000, 12), "", 8}});
  for (size_t n = 0; n < a.size(); n += n < 100 ? 1 : 13) {
    Bytes cut(a.begin(), a.begin() + static_cast<long>(n));
    TBytesReadStream s(cut.data(), cut.size());
    WalkBhHeaders(s, static_cast<int64_t>(cut.size()), [&](const TBhHeader& h) {
      s.Seek(h.DataOffset, soFromBeginning);
      TCodecInput in(s, h.PackedSize);
      TVectorSink sink;
      sink.Limit = 1 << 20;
      BhDecodeData(in, sink, h.Method, h.OrigSize);
      EXPECT_LE(sink.Data.size(), h.OrigSize);
      return true;
    });
  }
}
