#include "common/TestUtil.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>

#include "foundation/TextCodec.h"

namespace fs = std::filesystem;

namespace {
fs::path ToPath(const std::wstring& w) {
#ifdef _WIN32
  return fs::path(w);
#else
  return fs::path(WideToUtf8(w));
#endif
}
std::wstring FromPath(const fs::path& p) {
#ifdef _WIN32
  return p.wstring();
#else
  return Utf8ToWide(p.string());
#endif
}
}  // namespace

TTempDir::TTempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path p = base / ("velmo-test-" + std::to_string(rd() % 1000000) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      FPath = FromPath(p);
      if (!FPath.empty() && (FPath.back() == L'\\' || FPath.back() == L'/')) FPath.pop_back();
      return;
    }
  }
}

TTempDir::~TTempDir() {
  std::error_code ec;
  fs::path p = ToPath(FPath);
  // Read-only files would stop the removal on Windows.
  for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  fs::remove_all(p, ec);
}

std::wstring TTempDir::operator/(std::wstring_view name) const {
#ifdef _WIN32
  return FPath + L"\\" + std::wstring(name);
#else
  return FPath + L"/" + std::wstring(name);
#endif
}

bool WriteFileRaw(const std::wstring& path, std::string_view bytes) {
#ifdef _WIN32
  FILE* f = _wfopen(path.c_str(), L"wb");
#else
  FILE* f = std::fopen(WideToUtf8(path).c_str(), "wb");
#endif
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string ReadFileRaw(const std::wstring& path) {
  std::string bytes;
  ReadFileBytes(path, bytes);
  return bytes;
}

std::vector<std::wstring> FolderNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring FixturePath(std::wstring_view name) {
  return Utf8ToWide(VELMO_SOURCE_DIR "/tests/fixtures/") + std::wstring(name);
}
