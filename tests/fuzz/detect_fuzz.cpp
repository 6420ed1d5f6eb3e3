// Fuzzes the engine's archive type detection (plain files, executables with their resource
// tree, the ZIP end-record search) and the wildcard matcher: any bytes give a type, never a
// crash, a read outside the data or a hang.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/engine/zevDetect.h"
#include "archive/engine/zevFileScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  TMemoryStream32 s;
  if (size) s.WriteBuffer(data, static_cast<int32_t>(size));
  TDetectResult r;
  DetectArchive(s, L"fuzz.zip", r);
  if (r.Type > atZoo) std::abort();
  ExeStringResource(s, 1 + (size % 4));
  // The matcher: the first half as a pattern, the rest as a name.
  if (size < 4096) {
    std::wstring pattern, name;
    for (size_t i = 0; i < size; ++i) (i < size / 2 ? pattern : name) += static_cast<wchar_t>(data[i] % 4 ? data[i] : '*');
    MatchMaskText(name, pattern);
  }
  return 0;
}
