#include "common/TestUtil.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>

#include "foundation/TextCodec.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {
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

TTempDir::~TTempDir() { RemoveTree(FPath); }

#ifdef _WIN32
namespace {
// One pass over the tree; false when something could not be removed. Each folder's listing
// is closed before its entries go, so no handle of ours holds a folder being removed.
bool RemoveTreeOnce(const std::wstring& folder) {
  std::vector<std::pair<std::wstring, bool>> entries;  // name, is a folder to walk into
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const bool walk = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
      entries.emplace_back(folder + L"\\" + name, walk);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  bool ok = true;
  for (const auto& [path, walk] : entries) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (walk)
      ok = RemoveTreeOnce(path) && ok;
    else if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
      ok = false;
  }
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (RemoveDirectoryW(folder.c_str())) return true;
  const DWORD error = GetLastError();
  return ok && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}
}  // namespace

void RemoveTree(const std::wstring& folder) {
  if (folder.empty()) return;
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (RemoveTreeOnce(folder) || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    Sleep(20);
  }
}
#else
void RemoveTree(const std::wstring& folder) {
  if (folder.empty()) return;
  std::error_code ec;
  fs::path p(WideToUtf8(folder));
  for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  fs::remove_all(p, ec);
}
#endif

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
