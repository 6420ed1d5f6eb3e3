// Type detection, volume naming and the directory readers, over bytes built here.
#include "archive/layer/ArcView.h"

#include <gtest/gtest.h>

#include "arclayer/ArcFixtures.h"

using namespace arcfix;

namespace {

struct TListing {
  std::vector<ArcInfoRec> Items;
  int32_t Flags = 0;
  int32_t Volume = -1;
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> v;
    for (const auto& i : Items) v.push_back(i.Name);
    return v;
  }
};

TListing List(const std::string& bytes, int kind, const std::wstring& name = L"test.arc", int64_t start = 0) {
  TListing out;
  TArchive a;
  EXPECT_TRUE(a.Open(std::make_unique<TArcMemorySource>(bytes), L"C:\\dir\\" + name, kind, start, 0x5B214C00));
  ArcInfoRec item;
  for (bool ok = a.FindFirst(item); ok; ok = a.FindNext(item)) {
    EXPECT_EQ(item.ArchiveName, name);
    out.Items.push_back(item);
    if (out.Items.size() > 100000) break;
  }
  out.Flags = a.GetFlags();
  out.Volume = a.GetVolumeNumber();
  return out;
}

std::vector<TFile> Sample() {
  return {{"readme.txt", "hello", 0x5B214C00, 0x20},
          {"docs/guide.txt", std::string(300, 'g'), 0x5B224C10, 0x21},
          {"docs/deep/x.bin", std::string(1, '\0'), 0x5B234C20, 0x20}};
}

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A minimal 32-bit PE image: DOS header, "PE" header and the given sections (name, virtual
// address, raw offset, raw size), padded to size bytes.
struct TSection {
  std::string Name;
  uint32_t Virtual, Raw, RawSize;
};
std::string PeImage(const std::vector<TSection>& sections, size_t size) {
  std::string b(size, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Set16(b, 2, 0x90);
  Set16(b, 4, 1);  // one page: the DOS image ends at 400 (512 - 112)
  Set32(b, 60, 64);
  b[64] = 'P';
  b[65] = 'E';
  Set16(b, 64 + 6, static_cast<uint32_t>(sections.size()));
  Set16(b, 64 + 20, 224);
  for (size_t i = 0; i < sections.size(); ++i) {
    const size_t at = 64 + 248 + 40 * i;
    std::memcpy(&b[at], sections[i].Name.data(), std::min<size_t>(8, sections[i].Name.size()));
    Set32(b, at + 12, sections[i].Virtual);
    Set32(b, at + 16, sections[i].RawSize);
    Set32(b, at + 20, sections[i].Raw);
  }
  return b;
}
void Place(std::string& b, size_t at, std::string_view what) {
  if (b.size() < at + what.size()) b.resize(at + what.size(), '\0');
  std::memcpy(&b[at], what.data(), what.size());
}

}  // namespace

TEST(ArcSignature, TableOfFirstBytes) {
  struct TCase {
    std::string Bytes;
    std::wstring Name;
    TArcKind Want;
  } cases[] = {
      {std::string("\x20\x00-lh5-", 7), L"a.lzh", akLzh},
      {std::string("\x20\x00-lhd-", 7), L"a.lzh", akLzh},
      {std::string("\x20\x00-lh5x", 7), L"a.lzh", akNone},
      {std::string("\x60\xEA\x22\x00\x1E\x0B\x01\x02\x00\x00\x02", 11), L"a.arj", akArj},
      {std::string("\x60\xEA\x22\x00\x1E\x0B\x01\x02\x00\x00\x01", 11), L"a.arj", akNone},
      {"TOMP" + std::string(28, '\0') + "OMPa", L"a.omp", akOmp},
      {"ZOO 2.10 Archive" + std::string("\x2E\x1A", 2), L"a.zoo", akZoo},
      {"MSCF", L"a.cab", akCab},
      {std::string("HLSQZ1\0", 7), L"a.sqz", akSqz},
      {std::string("Rar!\x1A\x07\x00", 7), L"a.rar", akRar},
      {std::string("Rar!\x1A\x07\x01\x00", 8), L"a.rar", akNone},
      {std::string("PK\x03\x04", 4), L"a.zip", akZip},
      {std::string("PK\x05\x06", 4), L"a.zip", akZip},
      {std::string("PK\x07\x08", 4), L"a.zip", akZip},
      {std::string(7, 'x') + "**ACE**", L"a.ace", akAce},
      {std::string("BH\x05\x07", 4), L"a.bh", akBh},
      {std::string("\x1F\x8B\x08", 3), L"a.gz", akGz},
      {"name" + std::string(200, '\0'), L"a.tar", akTar},
      {"name" + std::string(200, '\0'), L"a.TaR", akTar},
      {"name" + std::string(200, '\0'), L"a.bin", akNone},
      {std::string(200, '\0'), L"a.tar", akNone},
  };
  for (const auto& c : cases) {
    std::string bytes = c.Bytes;
    bytes.resize(std::max<size_t>(bytes.size(), 64), '\0');
    EXPECT_EQ(TestArchiveSignature(bytes, nullptr, c.Name), c.Want) << c.Bytes.substr(0, 8);
  }
  // Fewer than 15 bytes are nothing.
  EXPECT_EQ(TestArchiveSignature(std::string("PK\x03\x04", 4) + std::string(10, 'x')), akNone);
  // ARC: a marker byte first and 1A 00 as the file's last two bytes.
  std::string arc = Arc({{"A.TXT", "abc"}});
  TArcMemorySource src(arc);
  EXPECT_EQ(TestArchiveSignature(arc, &src), akArc);
  std::string notArc = arc.substr(0, arc.size() - 1) + "x";
  TArcMemorySource src2(notArc);
  EXPECT_EQ(TestArchiveSignature(notArc, &src2), akNone);
}

TEST(ArcSignature, SearchKeepsTheEarliest) {
  int64_t best = 1000, index = 0;
  EXPECT_TRUE(FindSignatureBefore("xxPKyy", 100, "PK", 0, best, &index));
  EXPECT_EQ(best, 102);
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(FindSignatureBefore("xxxxPK", 100, "PK", 0, best, &index));
  EXPECT_EQ(best, 102);
  EXPECT_EQ(index, 4);
  EXPECT_FALSE(FindSignatureBefore("none", 0, "PK", 0, best, &index));
  EXPECT_EQ(index, -1);
  // A signature that would put the data before the file's start is none.
  best = 1000;
  EXPECT_FALSE(FindSignatureBefore("**ACE**", 0, "**ACE**", -7, best));
  EXPECT_EQ(best, 1000);
}

TEST(ArcDetect, PlainFiles) {
  int64_t offset = -1;
  std::string tiny(14, 'x');
  TArcMemorySource t(tiny);
  EXPECT_EQ(DetectArchiveType(t, L"a.zip", offset, true), akNone);
  std::string empty;
  TArcMemorySource e(empty);
  EXPECT_EQ(DetectArchiveType(e, L"a.zip", offset, true), akNone);

  // A JPEG stays a picture even with a local header inside its first 2048 bytes.
  std::string jpeg = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + std::string(100, 'j') +
                     std::string("PK\x03\x04", 4) + std::string(100, 'j');
  TArcMemorySource j(jpeg);
  EXPECT_EQ(DetectArchiveType(j, L"a.jpg", offset, true), akNone);

  // Signatures inside the first 2048 bytes: the earliest decides among "PK" forms, ACE and LZH.
  std::string body(3000, 'z');
  Place(body, 700, std::string("PK\x03\x04", 4));
  Place(body, 900, "**ACE**");
  TArcMemorySource b1(body);
  EXPECT_EQ(DetectArchiveType(b1, L"a.dat", offset, true), akZip);
  EXPECT_EQ(offset, 700);
  Place(body, 300, "-lh5-");
  TArcMemorySource b2(body);
  EXPECT_EQ(DetectArchiveType(b2, L"a.dat", offset, true), akLzh);
  EXPECT_EQ(offset, 298);
  std::string ace(3000, 'z');
  Place(ace, 500, "**ACE**");
  TArcMemorySource b3(ace);
  EXPECT_EQ(DetectArchiveType(b3, L"a.dat", offset, true), akAce);
  EXPECT_EQ(offset, 493);

  // "MZ" without the self-extracting search is tested like any file.
  std::string mz = "MZ" + std::string(98, 'z') + std::string("PK\x03\x04", 4) + std::string(100, 'z');
  TArcMemorySource m(mz);
  EXPECT_EQ(DetectArchiveType(m, L"a.exe", offset, false), akZip);
  EXPECT_EQ(offset, 100);
  EXPECT_EQ(DetectArchiveType(m, L"a.exe", offset, true), akNone);

  // A ZIP named ".jar" is JAR; a self-extracting ZIP stays what it is.
  std::string zip = std::string("PK\x03\x04", 4) + std::string(60, '\0');
  TArcMemorySource z(zip);
  EXPECT_EQ(DetectArchiveType(z, L"lib.jar", offset, true), akJar);
  EXPECT_EQ(DetectArchiveType(z, L"lib.zip", offset, true), akZip);
  EXPECT_EQ(offset, 0);
}

TEST(ArcDetect, SelfExtractingBehindTheImage) {
  // One section from 512 to 29000: the data behind the image start at 29000.
  std::string exe = PeImage({{".text", 0x1000, 512, 28488}}, 40000);
  int64_t largest = 0;
  TArcMemorySource src0(exe);
  EXPECT_EQ(GetPEImageEnd(src0, largest), 29000);
  EXPECT_EQ(largest, 512);

  std::string a = exe;
  Place(a, 30000, std::string("PK\x03\x04", 4));
  Place(a, 30100, "**ACE**");
  int64_t offset = 0;
  TArcMemorySource s1(a);
  EXPECT_EQ(DetectArchiveType(s1, L"x.exe", offset, true), akZipSfx);
  EXPECT_EQ(offset, 30000);
  EXPECT_EQ(DetectArchiveType(s1, L"x.jar", offset, true), akZipSfx);

  std::string b = exe;
  Place(b, 30000, std::string("PK\x03\x04", 4));
  Place(b, 29990, "**ACE**");
  TArcMemorySource s2(b);
  EXPECT_EQ(DetectArchiveType(s2, L"x.exe", offset, true), akAceSfx);
  EXPECT_EQ(offset, 29983);

  // Each kind behind the image.
  struct TCase {
    std::string Sig;
    TArcKind Want;
    int64_t Adjust;
  } cases[] = {
      {std::string("Rar!\x1A\x07\x00", 7), akRarSfx, 0},
      {"MSCF", akCabSfx, 0},
      {"HLSQZ", akSqzSfx, 0},
      {"TOMP", akOmpSfx, 0},
      {"-lh5-", akLzhSfx, -2},
      {std::string("\x60\xEA\x22\x00\x1E\x0B\x01\x02\x00\x00\x02", 11), akArjSfx, 0},
  };
  for (const auto& c : cases) {
    std::string x = exe;
    Place(x, 31000, c.Sig);
    TArcMemorySource s(x);
    EXPECT_EQ(DetectArchiveType(s, L"x.exe", offset, true), c.Want) << c.Sig;
    EXPECT_EQ(offset, 31000 + c.Adjust);
  }
  // An ARJ tag without its main header's file type is no archive, and moves nothing.
  std::string arjLike = exe;
  Place(arjLike, 29500, std::string("\x60\xEA", 2));
  Place(arjLike, 31000, std::string("Rar!\x1A\x07\x00", 7));
  TArcMemorySource s3(arjLike);
  EXPECT_EQ(DetectArchiveType(s3, L"x.exe", offset, true), akRarSfx);
  EXPECT_EQ(offset, 31000);

  // An executable with nothing behind it is no archive.
  TArcMemorySource s4(exe);
  EXPECT_EQ(DetectArchiveType(s4, L"x.exe", offset, true), akNone);
}

TEST(ArcDetect, ZipFoundByItsEndRecord) {
  std::string exe = PeImage({{".text", 0x1000, 512, 28488}}, 50000);
  Place(exe, 29000 + 9000, std::string("PK\x03\x04", 4));
  exe += std::string("PK\x05\x06", 4) + std::string(18, '\0');
  int64_t offset = 0;
  TArcMemorySource s(exe);
  EXPECT_EQ(DetectArchiveType(s, L"x.exe", offset, true), akZipSfx);
  EXPECT_EQ(offset, 38000);
}

TEST(ArcDetect, CabinetAmongResources) {
  // .rsrc at raw 1024 (virtual 0x3000): root with one ID entry 10 -> subdirectory at 0x18 with
  // one ID entry -> data entry at 0x28 whose data lie at virtual 0x3100 (raw 1280).
  std::string exe = PeImage({{".text", 0x1000, 512, 512}, {".RSRC", 0x3000, 1024, 2048}}, 4096);
  const size_t r = 1024;
  Set16(exe, r + 14, 1);
  Set32(exe, r + 16, 10);
  Set32(exe, r + 20, 0x80000000u | 0x18);
  Set16(exe, r + 0x18 + 14, 1);
  Set32(exe, r + 0x18 + 16, 1);
  Set32(exe, r + 0x18 + 20, 0x30);
  Set32(exe, r + 0x30, 0x3100);
  Set32(exe, r + 0x30 + 4, 600);
  Place(exe, 1280, "MSCF");
  int64_t cabSize = 0, offset = 0;
  TArcMemorySource s(exe);
  EXPECT_EQ(FindCabinetInResources(s, cabSize), 1280);
  EXPECT_EQ(cabSize, 600);
  EXPECT_EQ(DetectArchiveType(s, L"setup.exe", offset, true), akCabSfx);
  EXPECT_EQ(offset, 1280);

  // A subdirectory that names itself is walked once.
  std::string loop = exe;
  Set32(loop, r + 0x18 + 20, 0x80000000u | 0x18);
  TArcMemorySource l(loop);
  EXPECT_EQ(FindCabinetInResources(l, cabSize), -1);
  // Data whose bytes cannot be read are no cabinet.
  std::string cut = exe.substr(0, 1282);
  TArcMemorySource c(cut);
  EXPECT_EQ(FindCabinetInResources(c, cabSize), -1);
}

TEST(ArcVolumes, NextAndFirstNames) {
  struct TCase {
    std::wstring Name;
    TArcKind Kind;
    int32_t Flags;
    std::wstring Next, First;
  } cases[] = {
      {L"C:\\a\\x.rar", akRar, 0, L"C:\\a\\x.R00", L"C:\\a\\x.RAR"},
      {L"x.r00", akRar, 0, L"x.r01", L"x.RAR"},
      {L"x.r99", akRar, 0, L"x.s00", L"x.RAR"},
      {L"x.r05", akRarSfx, 0, L"x.r06", L"x.RAR"},
      {L"x.ace", akAce, 0, L"x.C00", L"x.ACE"},
      {L"x.c05", akAce, 0, L"x.C06", L"x.ACE"},
      {L"x.c02", akAce, 0, L"x.C03", L"x.ACE"},
      {L"x.arj", akArj, 0, L"x.A01", L"x.ARJ"},
      {L"x.a01", akArj, 0, L"x.a02", L"x.ARJ"},
      {L"x.zip", akZip, 0, L"x.Z00", L"x.ZIP"},
      {L"x.001", akZip, 0, L"x.002", L"x.ZIP"},
      {L"x.a0009", akArj, 0, L"x.a0010", L"x.ARJ"},
      {L"C:\\v\\x.part09.rar", akRar, afNewVolumeNaming, L"C:\\v\\x.part10.rar", L"C:\\v\\x.part01.rar"},
      {L"x.part9.rar", akRar, afNewVolumeNaming, L"x.part10.rar", L"x.part1.rar"},
      {L"x.part1.rar", akRar, afNewVolumeNaming, L"x.part2.rar", L"x.part1.rar"},
      {L"x.rar", akRar, afNewVolumeNaming, L"", L"x.rar"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetNextVolumeName(c.Name, c.Kind, c.Flags), c.Next) << c.Name;
    EXPECT_EQ(GetFirstVolumeName(c.Name, c.Kind, c.Flags), c.First) << c.Name;
  }
  // Old naming: a ".partN.rar" name is taken as new naming for the first volume.
  EXPECT_EQ(GetFirstVolumeName(L"D:\\x.part07.rar", akRar, 0), L"D:\\x.part01.rar");
  EXPECT_EQ(ArcTypeNames[akGz], std::wstring(L"GZ"));
  EXPECT_EQ(ArcTypeNames[akSqzSfx], std::wstring(L"SQZ"));
}

// Every format's reader on the same three files, with a folder in two of the names.
TEST(ArcReaders, EveryFormatListsItsFiles) {
  struct TCase {
    const char* What;
    std::string Bytes;
    TArcKind Kind;
    bool Paths;     // the format keeps folders in its names
    bool DosDates;  // the header holds the DOS date as given
    char Sep;
  } cases[] = {
      {"rar", Rar(Sample()), akRar, true, true, '/'},
      {"ace", Ace(Sample()), akAce, true, true, '/'},
      {"lzh0", Lzh(Sample(), 0), akLzh, true, true, '\\'},
      {"lzh1", Lzh(Sample(), 1), akLzh, true, true, '\\'},
      {"lzh2", Lzh(Sample(), 2), akLzh, true, false, '\\'},
      {"zoo", Zoo(Sample()), akZoo, false, true, '/'},
      {"omp", Omp(Sample()), akOmp, true, true, '/'},
      {"sqz", Sqz(Sample(), true), akSqz, true, true, '/'},
      {"bh", Bh(Sample()), akBh, true, true, '/'},
      {"arc", Arc(Sample()), akArc, false, true, '/'},
      {"cab", Cab(Sample()), akCab, true, true, '\\'},
  };
  const auto files = Sample();
  for (const auto& c : cases) {
    TListing l = List(c.Bytes, c.Kind);
    ASSERT_EQ(l.Items.size(), files.size()) << c.What;
    for (size_t i = 0; i < files.size(); ++i) {
      std::string want = c.Paths ? files[i].Name : files[i].Name.substr(0, 12);
      for (char& ch : want)
        if (ch == '/') ch = c.Sep;
      EXPECT_EQ(l.Items[i].Name, W(want)) << c.What;
      EXPECT_EQ(l.Items[i].Size, static_cast<int64_t>(files[i].Data.size())) << c.What;
      if (c.DosDates) {
        EXPECT_EQ(static_cast<uint32_t>(l.Items[i].DateTime), files[i].Dos) << c.What;
      }
    }
  }
}

TEST(ArcReaders, MainHeadersAndVolumeFlags) {
  // RAR: the main header's flags, and an entry's size with the large-file flag.
  TListing r = List(Rar({{"big.bin", "x"}}, 0x01 | 0x08 | 0x10, 1), akRar);
  ASSERT_EQ(r.Items.size(), 1u);
  EXPECT_EQ(r.Items[0].Size, (int64_t{1} << 32) + 1);
  EXPECT_EQ(r.Flags, afMultiVolume | afSolid | afNewVolumeNaming);

  // ACE: volume number and flags from the main header, entry flags from the file headers.
  TListing a = List(Ace({{"a.txt", "1"}, {"b.txt", "2"}}, 0x0800 | 0x8000, 4, {0x1000, 0x2000}), akAce);
  ASSERT_EQ(a.Items.size(), 2u);
  EXPECT_EQ(a.Volume, 4);
  EXPECT_EQ(a.Flags, afMultiVolume | afSolid);
  EXPECT_EQ(a.Items[0].Flags, aifContinuedFromPrevious);
  EXPECT_EQ(a.Items[1].Flags, aifContinuesInNext);

  // ZOO: a deleted entry is passed over.
  TListing z = List(Zoo(Sample(), {false, true, false}), akZoo);
  ASSERT_EQ(z.Names(), (std::vector<std::wstring>{L"readme.txt", L"docs/deep/x."}));
}

TEST(ArcReaders, ArjVolumesAndNames) {
  TListing l = List(Arj(Sample()), akArj, L"x.arj");
  EXPECT_EQ(l.Names(), (std::vector<std::wstring>{L"readme.txt", L"docs/guide.txt", L"docs/deep/x.bin"}));
  EXPECT_EQ(l.Flags, 0);
  TListing v = List(Arj(Sample(), 0x04), akArj, L"x.a03");
  EXPECT_EQ(v.Volume, 3);
  EXPECT_EQ(v.Flags, afMultiVolume);
  EXPECT_EQ(List(Arj(Sample(), 0x04), akArj, L"x.arj").Volume, 0);
  EXPECT_EQ(List(Arj(Sample(), 0x04), akArj, L"x.abc").Volume, -1);
  // A first-header size beyond the basic header ends the listing before that entry.
  std::string bad = Arj(Sample());
  const size_t second = ArjHeader(2, 0, {"x.arj", ""}).size() + ArjHeader(0, 0, Sample()[0]).size();
  bad[second + 4] = static_cast<char>(0xF0);
  EXPECT_EQ(List(bad, akArj, L"x.arj").Names(), (std::vector<std::wstring>{L"readme.txt"}));
}

TEST(ArcReaders, ZipCentralDirectoryAndLocalWalk) {
  // Two stored entries, a central directory and an end record, built here.
  auto zip = [](const std::vector<TFile>& files, const std::string& comment) {
    std::string out, cd;
    for (const auto& f : files) {
      const uint32_t at = static_cast<uint32_t>(out.size());
      std::string l("PK\x03\x04", 4);
      Put16(l, 10);
      Put16(l, 0);
      Put16(l, 0);
      Put32(l, f.Dos);
      Put32(l, Crc32(f.Data));
      Put32(l, static_cast<uint32_t>(f.Data.size()));
      Put32(l, static_cast<uint32_t>(f.Data.size()));
      Put16(l, static_cast<uint32_t>(f.Name.size()));
      Put16(l, 0);
      out += l + f.Name + f.Data;
      std::string c("PK\x01\x02", 4);
      Put16(c, 20);
      Put16(c, 10);
      Put16(c, 0);
      Put16(c, 0);
      Put32(c, f.Dos);
      Put32(c, Crc32(f.Data));
      Put32(c, static_cast<uint32_t>(f.Data.size()));
      Put32(c, static_cast<uint32_t>(f.Data.size()));
      Put16(c, static_cast<uint32_t>(f.Name.size()));
      Put16(c, 0);
      Put16(c, 0);
      Put16(c, 0);
      Put16(c, 0);
      Put32(c, f.Attr);
      Put32(c, at);
      cd += c + f.Name;
    }
    const uint32_t cdAt = static_cast<uint32_t>(out.size());
    out += cd;
    std::string e("PK\x05\x06", 4);
    Put32(e, 0);
    Put16(e, static_cast<uint32_t>(files.size()));
    Put16(e, static_cast<uint32_t>(files.size()));
    Put32(e, static_cast<uint32_t>(cd.size()));
    Put32(e, cdAt);
    Put16(e, static_cast<uint32_t>(comment.size()));
    return out + e + comment;
  };
  const std::vector<std::wstring> names{L"readme.txt", L"docs/guide.txt", L"docs/deep/x.bin"};
  EXPECT_EQ(List(zip(Sample(), ""), akZip).Names(), names);
  EXPECT_EQ(List(zip(Sample(), "a comment"), akZip).Names(), names);
  // Without a usable end record the local headers lead into the central directory.
  std::string noEnd = zip(Sample(), "");
  noEnd.resize(noEnd.size() - 22);
  EXPECT_EQ(List(noEnd, akZip).Names(), names);
  // A name holding a zero byte ends the listing at that entry.
  auto files = Sample();
  files[1].Name = std::string("docs\0x.txt", 10);
  EXPECT_EQ(List(zip(files, ""), akZip).Names(), (std::vector<std::wstring>{L"readme.txt"}));
  // A name longer than 255 bytes is read whole, and the walk goes on behind it.
  files = Sample();
  files[0].Name = std::string(300, 'n') + ".txt";
  TListing l = List(zip(files, ""), akZip);
  ASSERT_EQ(l.Items.size(), 3u);
  EXPECT_EQ(l.Items[0].Name.size(), 304u);
  EXPECT_EQ(l.Items[2].Name, L"docs/deep/x.bin");
}

TEST(ArcReaders, LzhNamesAndDamagedExtensions) {
  // A level-2 folder header holding a, FF, b, FF and the name c gives a\b\c.
  TListing l = List(Lzh({{"a/b/c", "data"}}, 2), akLzh);
  ASSERT_EQ(l.Names(), (std::vector<std::wstring>{L"a\\b\\c"}));
  // An extension header shorter than 3 bytes ends the listing.
  std::string bad = Lzh(Sample(), 2);
  const size_t first = Lzh({Sample()[0]}, 2).size() - 1;
  Set16(bad, first + 24, 2);
  EXPECT_EQ(List(bad, akLzh).Names(), (std::vector<std::wstring>{L"readme.txt"}));
  // Level 1: the packed size less the extension headers.
  TListing l1 = List(Lzh(Sample(), 1), akLzh);
  ASSERT_EQ(l1.Items.size(), 3u);
  EXPECT_EQ(l1.Items[1].PackedSize, 300);
}

TEST(ArcReaders, WalksEndWhereTheNextHeaderDoesNotLieAhead) {
  // RAR: a block shorter than its own fixed part is damage.
  std::string rar = Rar(Sample());
  Set16(rar, 7 + 13 + 5, 0);
  EXPECT_TRUE(List(rar, akRar).Items.empty());
  std::string rar2 = Rar(Sample());
  Set16(rar2, 7 + 5, 3);
  EXPECT_TRUE(List(rar2, akRar).Items.empty());
  // ZOO: a chain pointing back to an earlier entry.
  std::string zoo = Zoo(Sample());
  const size_t second = 42 + 56 + Sample()[0].Data.size();
  Set32(zoo, second + 6, 42);
  EXPECT_EQ(List(zoo, akZoo).Names(), (std::vector<std::wstring>{L"readme.txt", L"docs/guide.t"}));
  // BH: a header size of 0 with no data.
  std::string bh = Bh({{"a", ""}, {"b", ""}});
  Set16(bh, 4, 0);
  EXPECT_EQ(List(bh, akBh).Names(), (std::vector<std::wstring>{L"a"}));
}

TEST(ArcReaders, CabUtf8NamesLoseTheirMark) {
  TListing l = List(Cab({{"\xED\x95\x9C.txt", "k", 0x5B214C00, 0x21}, {"b.txt", "b"}}), akCab);
  ASSERT_EQ(l.Items.size(), 2u);
  EXPECT_EQ(l.Items[0].Name, L"\xD55C.txt");
  EXPECT_EQ(l.Items[0].Attributes, 0x21);
  EXPECT_EQ(l.Items[1].Name, L"b.txt");
}

namespace {
std::string TarHeader(const std::string& name, const std::string& size, const std::string& mtime, char type = '0',
                      const std::string& prefix = "") {
  std::string h(512, '\0');
  std::memcpy(&h[0], name.data(), std::min<size_t>(100, name.size()));
  std::memcpy(&h[100], "0000644", 7);
  std::memcpy(&h[124], size.data(), std::min<size_t>(12, size.size()));
  std::memcpy(&h[136], mtime.data(), std::min<size_t>(12, mtime.size()));
  h[156] = type;
  std::memcpy(&h[257], "ustar\0" "00", 8);
  std::memcpy(&h[345], prefix.data(), std::min<size_t>(155, prefix.size()));
  std::memset(&h[148], ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  char buf[8];
  std::snprintf(buf, sizeof buf, "%06o", sum);
  std::memcpy(&h[148], buf, 7);
  return h;
}
}  // namespace

TEST(ArcReaders, TarNamesAndFields) {
  std::string longName(150, 'l');
  std::string tar = TarHeader("a.txt", "00000000005", "14612345670") + std::string(512, 'a') +
                    TarHeader("././@LongLink", "00000000227", "0", 'L') + longName + std::string(512 - 150, '\0') +
                    TarHeader("truncated", "0", "14612345670") + TarHeader("b.txt", "0", "14612345670", '0', "pre/fix") +
                    TarHeader("dir/", "0", "14612345670", '5') + std::string(1024, '\0');
  TListing l = List(tar, akTar, L"x.tar");
  ASSERT_EQ(l.Names(), (std::vector<std::wstring>{L"a.txt", W(longName), L"pre/fix/b.txt", L"dir/"}));
  EXPECT_EQ(l.Items[0].Size, 5);
  EXPECT_EQ(l.Items[3].Attributes, 0x10);
  // A time field holding a character that is no octal digit ends the listing.
  std::string bad = TarHeader("a.txt", "0", "1461234567x") + TarHeader("b.txt", "0", "0");
  EXPECT_TRUE(List(bad, akTar, L"x.tar").Items.empty());
  // A damaged checksum ends it too.
  std::string sum = TarHeader("a.txt", "0", "0");
  sum[0] = 'b';
  EXPECT_TRUE(List(sum, akTar, L"x.tar").Items.empty());
}

TEST(ArcReaders, GzipOneEntry) {
  std::string gz("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  gz += "packed";
  Put32(gz, 0x12345678);
  Put32(gz, 1000);
  TListing l = List(gz, akGz, L"report.txt.gz");
  ASSERT_EQ(l.Items.size(), 1u);
  // Without a stored name, the archive's name less its extension.
  EXPECT_EQ(l.Items[0].Name, L"report.txt");
  EXPECT_EQ(l.Items[0].Size, 1000);
  EXPECT_EQ(l.Items[0].PackedSize, 6);
  EXPECT_EQ(l.Items[0].CRC32, 0x12345678u);
  std::string named("\x1F\x8B\x08\x18\x00\x00\x00\x00\x00\x03", 10);
  named += std::string("dir/inner.txt\0a comment\0", 24) + "p";
  Put32(named, 1);
  Put32(named, 2);
  EXPECT_EQ(List(named, akGz, L"x.gz").Names(), (std::vector<std::wstring>{L"inner.txt"}));
  EXPECT_TRUE(List(gz.substr(0, 12), akGz, L"x.gz").Items.size() <= 1);
}

// Every prefix of every fixture lists a prefix of the whole listing, and never more.
TEST(ArcReaders, EveryTruncationListsWhatPrecedesIt) {
  struct TCase {
    const char* What;
    std::string Bytes;
    TArcKind Kind;
  } cases[] = {
      {"rar", Rar(Sample()), akRar}, {"ace", Ace(Sample()), akAce},   {"lzh0", Lzh(Sample(), 0), akLzh},
      {"lzh1", Lzh(Sample(), 1), akLzh}, {"lzh2", Lzh(Sample(), 2), akLzh}, {"zoo", Zoo(Sample()), akZoo},
      {"omp", Omp(Sample()), akOmp}, {"sqz", Sqz(Sample()), akSqz},   {"bh", Bh(Sample()), akBh},
      {"arc", Arc(Sample()), akArc}, {"cab", Cab(Sample()), akCab},   {"arj", Arj(Sample()), akArj},
  };
  for (const auto& c : cases) {
    const std::vector<std::wstring> whole = List(c.Bytes, c.Kind).Names();
    for (size_t n = 0; n < c.Bytes.size(); ++n) {
      const std::vector<std::wstring> part = List(c.Bytes.substr(0, n), c.Kind).Names();
      ASSERT_LE(part.size(), whole.size()) << c.What << " " << n;
      for (size_t i = 0; i < part.size(); ++i) ASSERT_EQ(part[i], whole[i]) << c.What << " at " << n;
    }
  }
}

TEST(ArcArchive, OpenRefusesUnknownKindsAndMissingFiles) {
  TArchive a;
  EXPECT_FALSE(a.Open(std::make_unique<TArcMemorySource>("x"), L"x", 0, 0, 0));
  EXPECT_FALSE(a.Open(std::make_unique<TArcMemorySource>("x"), L"x", 23, 0, 0));
  ArcInfoRec item;
  EXPECT_FALSE(a.FindFirst(item));
  EXPECT_EQ(a.GetFlags(), 0);
  EXPECT_EQ(a.GetVolumeNumber(), -1);
  EXPECT_FALSE(a.Open(L"Z:\\no\\such\\file.zip", akZip, 0));
  // A stop asked between headers ends the walk.
  std::string zoo = Zoo(Sample(), {true, true, false});
  ASSERT_TRUE(a.Open(std::make_unique<TArcMemorySource>(zoo), L"x.zoo", akZoo, 0, 0));
  a.OnPoll = [] { return true; };
  EXPECT_FALSE(a.FindFirst(item));
}

#ifdef _WIN32
// On a Korean system the OEM and ANSI code page is 949: names stored in it, and names marked as
// UTF-8, read as Korean; a double-byte character never breaks at a separator.
TEST(ArcReaders, KoreanNames) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(List(Lzh({{"\xC7\xD1\xB1\xDB/\xB9\xAE\xBC\xAD.txt", "x"}}, 2), akLzh).Names(),
            V{L"\xD55C\xAE00\\\xBB38\xC11C.txt"});
  EXPECT_EQ(List(Rar({{"\xC7\xD1\xB1\xDB.txt", "x"}}), akRar).Names(), V{L"\xD55C\xAE00.txt"});
  EXPECT_EQ(List(Arc({{"\xB9\xAE\xBC\xAD.TXT", "x"}}), akArc).Names(), V{L"\xBB38\xC11C.TXT"});
  EXPECT_EQ(List(Cab({{"\xED\x95\x9C\xEA\xB8\x80.txt", "x"}}), akCab).Names(), V{L"\xD55C\xAE00.txt"});
}
#endif
