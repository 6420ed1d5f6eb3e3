// Opening an archive file for the readers, on Windows.
#include <windows.h>

#include "archive/engine/zevFileIo.h"
#include "archive/layer/ArcView.h"
#include "foundation/MYTOOL.h"
#include "framework/Handles.h"

namespace {
class TArcFileSource : public TArcSource {
 public:
  TArcFileSource(TFileHandle handle, int64_t size) : FHandle(std::move(handle)), FSize(size) {}
  TArcFileSource(const TArcFileSource&) = delete;
  TArcFileSource& operator=(const TArcFileSource&) = delete;
  int64_t Size() const override { return FSize; }
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override {
    if (offset < 0 || count <= 0 || offset >= FSize) return 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD read = 0;
    if (!ReadFile(FHandle.get(), buffer, static_cast<DWORD>(count), &read, &at)) return 0;
    return static_cast<int32_t>(read);
  }

 private:
  TFileHandle FHandle;
  int64_t FSize;
};
}  // namespace

std::unique_ptr<TArcSource> OpenArcFile(const std::wstring& fileName, int32_t* dosDate) {
  TFileHandle h(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h.get(), &size)) return nullptr;
  if (dosDate) *dosDate = FileDosDateTime(h.get(), 1);
  return std::make_unique<TArcFileSource>(std::move(h), size.QuadPart);
}

int32_t ArcUnixToDos(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds > 0xFFFFFFFFll) seconds = 0xFFFFFFFFll;
  return UnixTimeToDosDateTime(static_cast<uint32_t>(seconds), true);
}
