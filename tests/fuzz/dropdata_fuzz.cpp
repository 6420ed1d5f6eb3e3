// Fuzzes the file-list blocks of drags and the clipboard: any bytes parse without a fault;
// names read are never empty; what is built from them reads back the same.
#include <cstdint>
#include <cstdlib>

#include "panels/DropData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::wstring> files;
  if (ParseDropFiles(data, size, files)) {
    for (const auto& f : files)
      if (f.empty()) std::abort();
    std::vector<uint8_t> again = BuildDropFiles(files);
    std::vector<std::wstring> back;
    if (!ParseDropFiles(again.data(), again.size(), back) || back != files) std::abort();
  }
  for (bool wide : {true, false}) {
    std::vector<std::wstring> map;
    if (!ParseNameMap(data, size, wide, map)) continue;
    for (const auto& n : CheckedNameMap(map, map.size())) {
      if (n.find_first_of(L"\\/:") != std::wstring::npos || n == L"." || n == L"..") std::abort();
    }
  }
  return 0;
}
