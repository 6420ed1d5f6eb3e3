// Fuzzes the ZIP reader over an archive in memory: any bytes end in entries extracted or
// errors reported, never a crash, a hang or a file outside the target folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/engine/zevUnZip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  TMemFileSys fs;
  fs.Put(L"C:\\IN\\F.ZIP", std::vector<uint8_t>(data, data + size));
  TUnZip r;
  r.FileSys = &fs;
  r.SetArchiveFile(L"C:\\IN\\F.ZIP");
  r.SetExtractDir(L"C:\\OUT");
  r.FileSpec.Add(L"*.*");
  r.Passwords.Add(L"secret");
  r.CreateStoredDirs = true;
  r.Extract();
  for (const auto& f : fs.Files())
    if (f.rfind(L"C:\\OUT\\", 0) != 0 && f != L"C:\\IN\\F.ZIP") std::abort();
  return 0;
}
