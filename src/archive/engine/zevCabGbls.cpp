#include "archive/engine/zevCabGbls.h"

#include <cstdio>

#include "foundation/TextCodec.h"

ECabinetError::ECabinetError(int32_t code, int32_t type)
    : std::runtime_error("Cabinet error " + std::to_string(code) + " (type " + std::to_string(type) + ")"),
      ErrorCode(code),
      ErrorType(type) {}

HMODULE LoadLibrarySafe(const wchar_t* name) {
  UINT old = SetErrorMode(0x8000);
  HMODULE h = LoadLibraryW(name);
  SetErrorMode(old);
  return h;
}

namespace {
bool gMissing = false;

template <typename F>
void Take(HMODULE m, const char* name, F& f) {
  f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

TCabinetLib& LoadedLib() {
  static TCabinetLib lib = [] {
    TCabinetLib l;
    l.Module.reset(LoadLibrarySafe(L"cabinet.dll"));
    if (!l.Module) return l;
    Take(l.Module.get(), "FDICreate", l.FDICreate);
    Take(l.Module.get(), "FDIIsCabinet", l.FDIIsCabinet);
    Take(l.Module.get(), "FDICopy", l.FDICopy);
    Take(l.Module.get(), "FDIDestroy", l.FDIDestroy);
    Take(l.Module.get(), "FCICreate", l.FCICreate);
    Take(l.Module.get(), "FCIAddFile", l.FCIAddFile);
    Take(l.Module.get(), "FCIFlushCabinet", l.FCIFlushCabinet);
    Take(l.Module.get(), "FCIFlushFolder", l.FCIFlushFolder);
    Take(l.Module.get(), "FCIDestroy", l.FCIDestroy);
    l.FdiLoaded = l.FDICreate && l.FDIIsCabinet && l.FDICopy && l.FDIDestroy;
    l.FciLoaded = l.FCICreate && l.FCIAddFile && l.FCIFlushCabinet && l.FCIFlushFolder && l.FCIDestroy;
    return l;
  }();
  return lib;
}
}  // namespace

TCabinetLib& CabinetLib() {
  static TCabinetLib none;
  return gMissing ? none : LoadedLib();
}

void SimulateMissingCabinetDll(bool missing) { gMissing = missing; }

TStreamCabinetFileHandler::~TStreamCabinetFileHandler() = default;

std::string TStreamCabinetFileHandler::Token(const std::wstring& path) {
  FNames.push_back(path);
  return "?" + std::to_string(FNames.size() - 1) + "|";
}

std::wstring TStreamCabinetFileHandler::Resolve(const char* name) const {
  std::string s = name ? name : "";
  if (s.size() > 1 && s[0] == '?') {
    size_t bar = s.find('|');
    if (bar != std::string::npos) {
      size_t n = std::strtoul(s.substr(1, bar - 1).c_str(), nullptr, 10);
      if (n < FNames.size()) {
        return FNames[n] + AnsiToWide(s.substr(bar + 1));
      }
    }
  }
  std::wstring w = AnsiToWide(s);
  bool absolute = (w.size() > 1 && w[1] == L':') || (!w.empty() && (w[0] == L'\\' || w[0] == L'/'));
  return absolute || RelativeTo.empty() ? w : RelativeTo + w;
}

INT_PTR TStreamCabinetFileHandler::Open(const char* name, int flags, int& err) {
  std::wstring path = Resolve(name);
  DWORD access = (flags & 0x2) ? GENERIC_READ | GENERIC_WRITE : (flags & 0x1) ? GENERIC_WRITE : GENERIC_READ;
  DWORD share = (flags & 0x400) ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD disposition = OPEN_EXISTING;
  if (flags & 0x100) {
    access = GENERIC_READ | GENERIC_WRITE;
    disposition = (flags & 0x200) ? CREATE_ALWAYS : OPEN_ALWAYS;  // 0x200: truncate
  }
  TFileHandle h(CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) {
    err = static_cast<int>(LastWinError("CreateFileW").Code);
    return -1;
  }
  err = 0;
  const INT_PTR key = reinterpret_cast<INT_PTR>(h.get());
  FFiles[key] = std::move(h);
  return key;
}

UINT TStreamCabinetFileHandler::Read(INT_PTR handle, void* buffer, UINT count, int& err) {
  auto it = FFiles.find(handle);
  if (it == FFiles.end()) {
    err = -1;
    return 0;
  }
  DWORD got = 0;
  BOOL ok = ReadFile(it->second.get(), buffer, count, &got, nullptr);
  err = ok && got == count ? 0 : ok ? 0 : static_cast<int>(GetLastError());
  return ok ? got : static_cast<UINT>(-1);
}

UINT TStreamCabinetFileHandler::Write(INT_PTR handle, const void* buffer, UINT count, int& err) {
  auto it = FFiles.find(handle);
  if (it == FFiles.end()) {
    err = -1;
    return 0;
  }
  DWORD put = 0;
  BOOL ok = WriteFile(it->second.get(), buffer, count, &put, nullptr);
  err = ok && put == count ? 0 : static_cast<int>(GetLastError());
  return ok ? put : static_cast<UINT>(-1);
}

int TStreamCabinetFileHandler::Close(INT_PTR handle, int& err) {
  auto it = FFiles.find(handle);
  err = 0;
  if (it == FFiles.end()) return 0;
  FFiles.erase(it);
  return 0;
}

long TStreamCabinetFileHandler::Seek(INT_PTR handle, long offset, int origin, int& err) {
  auto it = FFiles.find(handle);
  if (it == FFiles.end()) {
    err = -1;
    return -1;
  }
  LARGE_INTEGER d, pos;
  d.QuadPart = offset;
  DWORD how = origin == 1 ? FILE_CURRENT : origin == 2 ? FILE_END : FILE_BEGIN;
  if (!SetFilePointerEx(it->second.get(), d, &pos, how)) {
    err = static_cast<int>(GetLastError());
    return -1;
  }
  err = (origin == 0 && pos.QuadPart != offset) ? static_cast<int>(GetLastError()) : 0;
  return static_cast<long>(pos.QuadPart);
}

int TStreamCabinetFileHandler::Delete(const char* name, int& err) {
  std::wstring path = Resolve(name);
  err = DeleteFileW(path.c_str()) ? 0 : static_cast<int>(GetLastError());
  return err ? -1 : 0;
}
