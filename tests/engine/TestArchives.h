#pragma once
// Archives built by the tests from the test-side encoders and the engine's LZH encoder: LHA
// level 0, ARC (every method up to 7) and ZOO. The native tests check each kind with lhasa,
// unar or nomarch, so the readers' tests can rely on them.
#include <string>
#include <tuple>
#include <vector>

#include "engine/CodecTestData.h"

namespace testarc {
using codectest::Bytes;
struct TEntry {
  std::string Name;
  char Method;  // '0', '1', '4'..'7', 'd'
  Bytes Data;
};
void Append(Bytes& a, const std::string& s);
void Put16(Bytes& b, uint32_t v);
void Put32(Bytes& b, uint32_t v);
// The LZH data of a method character ("0" and "d": the data itself).
Bytes Pack(char method, const Bytes& data);
// A level-0 LHA archive of the entries, closed by the end mark.
Bytes MakeArchive(const std::vector<TEntry>& entries);
// ARC entries: method (1 to 7), name, original data.
Bytes MakeArc(const std::vector<std::tuple<int, std::string, Bytes>>& entries);
// A file of tests/fixtures/oldarc.
Bytes OldFixture(const char* name);
// A ZOO archive: method (0 stored, 1 LZW, 2 LZH), name, original data.
Bytes MakeZoo(const std::vector<std::tuple<int, std::string, Bytes>>& entries);
}  // namespace testarc
