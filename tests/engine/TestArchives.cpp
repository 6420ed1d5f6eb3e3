#include "engine/TestArchives.h"

#include "archive/engine/zevCrypt.h"
#include "archive/engine/zevLhaFormat.h"
#include "archive/engine/zevLzh5.h"
#include "archive/engine/zevOldFormats.h"
#include "common/TestUtil.h"
#include "engine/TestEncoders.h"
#include "foundation/TextCodec.h"

namespace testarc {
using namespace codectest;

Bytes OldFixture(const char* name) {
  std::string s = ReadFileRaw(FixturePath(Utf8ToWide(std::string("oldarc/") + name)));
  return Bytes(s.begin(), s.end());
}
void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

void Append(Bytes& a, const std::string& s) { a.insert(a.end(), s.begin(), s.end()); }

Bytes Pack(char method, const Bytes& data) {
  if (method == '0' || method == 'd') return data;
  if (method == '1') return testenc::Lh1Encode(data);
  int dict = method == '4' ? 12 : method == '5' ? 13 : method == '6' ? 15 : 16;
  int pbit = method <= '5' ? 4 : 5;
  TBytesReadStream src(data.data(), data.size());
  TCodecInput in(src, static_cast<int64_t>(data.size()));
  TMemoryStream32 out;
  Lzh5Encode(in, out, dict, pbit, -1);
  return MemoryBytes(out);
}

// A level-0 archive of the entries, closed by the end mark.
Bytes MakeArchive(const std::vector<TEntry>& entries) {
  Bytes a;
  for (const auto& e : entries) {
    Bytes packed = Pack(e.Method, e.Data);
    char method[6] = {'-', 'l', 'h', e.Method, '-', 0};
    uint16_t crc = UpdateCrc16(0, e.Data.data(), e.Data.size());
    Append(a, MakeLhaLevel0Header(method, static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(e.Data.size()),
                                  0x5A8B6000, e.Method == 'd' ? 0x10 : 0x20, e.Name, crc));
    a.insert(a.end(), packed.begin(), packed.end());
  }
  a.push_back(0);
  return a;
}

// ARC entries by hand: method, name, original and packed data.
Bytes MakeArc(const std::vector<std::tuple<int, std::string, Bytes>>& entries) {
  Bytes a;
  for (const auto& [method, name, data] : entries) {
    Bytes packed;
    switch (method) {
      case 1:
      case 2: packed = data; break;
      case 3: packed = testenc::ArcRlePack(data); break;
      case 4: packed = testenc::ArcSqueezeEncode(testenc::ArcRlePack(data)); break;
      case 5: packed = testenc::ArcCrunchOldEncode(data, false); break;
      case 6: packed = testenc::ArcCrunchOldEncode(testenc::ArcRlePack(data), false); break;
      case 7: packed = testenc::ArcCrunchOldEncode(testenc::ArcRlePack(data), true); break;
    }
    a.push_back(0x1A);
    a.push_back(static_cast<uint8_t>(method));
    std::string n = name;
    n.resize(13, '\0');
    a.insert(a.end(), n.begin(), n.end());
    Put32(a, static_cast<uint32_t>(packed.size()));
    Put16(a, 0x50B1);  // 2020-05-17
    Put16(a, 0x5290);
    Put16(a, UpdateCrc16(0, data.data(), data.size()));
    if (method != 1) Put32(a, static_cast<uint32_t>(data.size()));
    a.insert(a.end(), packed.begin(), packed.end());
  }
  a.push_back(0x1A);
  a.push_back(0);
  return a;
}

// A ZOO archive of the entries: archive header, then each directory entry followed by its
// data, then the closing entry.
Bytes MakeZoo(const std::vector<std::tuple<int, std::string, Bytes>>& entries) {
  Bytes a;
  std::string text = "ZOO 2.10 Archive.\x1A";
  text.resize(20, '\0');
  a.insert(a.end(), text.begin(), text.end());
  Put32(a, kZooTag);
  Put32(a, 42);
  Put32(a, static_cast<uint32_t>(-42));
  a.push_back(2);
  a.push_back(0);
  a.resize(42, 0);
  auto dirent = [&](int method, const std::string& name, uint32_t orig, uint32_t packed, uint16_t crc, uint32_t next,
                    uint32_t data) {
    Put32(a, kZooTag);
    a.push_back(1);  // type
    a.push_back(static_cast<uint8_t>(method));
    Put32(a, next);
    Put32(a, data);
    Put16(a, 0x50B1);
    Put16(a, 0x5290);
    Put16(a, crc);
    Put32(a, orig);
    Put32(a, packed);
    a.push_back(2);
    a.push_back(0);
    a.push_back(0);  // deleted
    a.push_back(0);  // structure
    Put32(a, 0);     // comment
    Put16(a, 0);
    std::string n = name;
    n.resize(13, '\0');
    a.insert(a.end(), n.begin(), n.end());
    a.resize(a.size() + 7, 0);  // no variable part, no time zone, no long name
  };
  for (const auto& [method, name, data] : entries) {
    Bytes packed;
    if (method == 0) packed = data;
    if (method == 1) packed = testenc::ZooLzwEncode(data);
    if (method == 2) {
      TBytesReadStream src(data.data(), data.size());
      TCodecInput in(src, static_cast<int64_t>(data.size()));
      TMemoryStream32 m;
      Lzh5Encode(in, m, 13, 4, -1);
      packed = MemoryBytes(m);
    }
    uint32_t here = static_cast<uint32_t>(a.size());
    uint32_t dataAt = here + 58;
    uint32_t next = dataAt + static_cast<uint32_t>(packed.size());
    dirent(method, name, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(packed.size()),
           UpdateCrc16(0, data.data(), data.size()), next, dataAt);
    a.insert(a.end(), packed.begin(), packed.end());
  }
  dirent(0, "", 0, 0, 0, 0, 0);
  return a;
}
}  // namespace testarc
