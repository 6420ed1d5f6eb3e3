// Fuzzes the Unix format readers: any bytes, read as a TAR archive (tested through the reader
// over a memory file system) and as a ".Z" stream, end in a result or an error.
#include <cstdint>
#include <cstdlib>

#include "archive/engine/zevCodecIo.h"
#include "archive/engine/zevDelzw.h"
#include "archive/engine/zevFileSys.h"
#include "archive/engine/zevUnTar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    TBytesReadStream src(data, size);
    TCodecInput in(src, static_cast<int64_t>(size));
    TVectorSink sink;
    sink.Limit = 16u << 20;
    UnCompressZ(in, sink);
    if (sink.Data.size() > sink.Limit) std::abort();
  }
  TMemFileSys fs;
  fs.Put(L"C:\\F.TAR", std::vector<uint8_t>(data, data + size));
  TUnTar tar(nullptr);
  tar.FileSys = &fs;
  tar.SetArchiveFile(L"C:\\F.TAR");
  tar.SetArcType(atTar);
  tar.SetExtractDir(L"C:\\OUT");
  tar.FileSpec.Add(L"*.*");
  tar.ExtractMode7();
  return 0;
}
