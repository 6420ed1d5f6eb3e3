// Type detection (self-extracting search and resource walk included) on arbitrary bytes, then
// the reader of the kind found from the offset found, and volume names from the kind found.
#include "fuzz/ArcFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (bool sfx : {true, false}) {
    TArcMemorySource source(bytes);
    int64_t offset = 0;
    const TArcKind kind = DetectArchiveType(source, L"C:\\x\\fuzz.tar", offset, sfx);
    if (kind != akNone && offset >= 0) FuzzArchive(kind, data, size, offset);
    GetNextVolumeName(L"C:\\x\\fuzz.part3.rar", kind, afNewVolumeNaming);
    GetFirstVolumeName(L"C:\\x\\fuzz.r07", kind, 0);
  }
  return 0;
}
