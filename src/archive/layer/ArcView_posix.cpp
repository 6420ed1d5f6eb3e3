// Opening an archive file for the readers, on the host.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "archive/layer/ArcView.h"
#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"

namespace {
class TArcFileSource : public TArcSource {
 public:
  TArcFileSource(FILE* file, int64_t size) : FFile(file), FSize(size) {}
  ~TArcFileSource() override { std::fclose(FFile); }
  TArcFileSource(const TArcFileSource&) = delete;
  TArcFileSource& operator=(const TArcFileSource&) = delete;
  int64_t Size() const override { return FSize; }
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override {
    if (offset < 0 || count <= 0 || offset >= FSize) return 0;
    if (fseeko(FFile, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), FFile));
  }

 private:
  FILE* FFile;
  int64_t FSize;
};

int32_t LocalDos(time_t t) {
  struct tm local {};
  localtime_r(&t, &local);
  return FieldsToDosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec);
}
}  // namespace

std::unique_ptr<TArcSource> OpenArcFile(const std::wstring& fileName, int32_t* dosDate) {
  const std::string path = WideToUtf8(fileName);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  if (dosDate) *dosDate = LocalDos(st.st_mtime);
  return std::make_unique<TArcFileSource>(f, static_cast<int64_t>(st.st_size));
}

int32_t ArcUnixToDos(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds > 0xFFFFFFFFll) seconds = 0xFFFFFFFFll;
  return LocalDos(static_cast<time_t>(seconds));
}
