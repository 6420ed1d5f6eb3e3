// Fuzzes what join reads from disk: the ".crc" list in both styles and the name header of a
// first piece. Any bytes parse without a fault; what is found is consistent with the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fileops/SplitFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TCrcList list = ParseCrcList(DecodeListFile(bytes));
  if (list.PerPiece) {
    if (!list.HasCrc || list.Crcs.empty()) std::abort();
    if (list.PieceCount != 0 && list.PieceCount != static_cast<int64_t>(list.Sizes.size())) std::abort();
    for (const auto& [name, hex] : list.Crcs) {
      uint32_t v;
      if (!ParseHex8(hex, v)) std::abort();
    }
  }
  if (list.WholeFile && (list.Total <= 0 || list.FileCrc == 0)) std::abort();
  TPieceHeader header = ParsePieceHeader(bytes);
  if (header.Found && (header.Length == 0 || header.Length > 250 || header.Length > size || bytes[header.Length - 1] != '/'))
    std::abort();
  (void)IsValidPlainFileName(header.Name);
  (void)FileNamePart(list.FileName);
  return 0;
}
