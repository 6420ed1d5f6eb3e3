#include "panels/DropData.h"

#include "foundation/TextCodec.h"

namespace {
void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void AppendWide(std::vector<uint8_t>& out, const std::wstring& s) {
  for (wchar_t c : s) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
  }
  out.push_back(0);
  out.push_back(0);
}

// A list of names, each ended by a NUL and the whole by one more, read from [data, data+size).
// False when the closing NUL of the list is missing.
bool ParseWideList(const uint8_t* data, size_t size, std::vector<std::wstring>& names) {
  names.clear();
  const size_t units = size / 2;
  std::wstring current;
  for (size_t i = 0; i < units; ++i) {
    wchar_t c = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (c != 0) {
      current += c;
      continue;
    }
    if (current.empty()) return true;  // the list's own closing NUL
    names.push_back(std::move(current));
    current.clear();
  }
  names.clear();
  return false;
}

bool ParseAnsiList(const uint8_t* data, size_t size, std::vector<std::wstring>& names) {
  names.clear();
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0) continue;
    if (i == start) return true;
    names.push_back(AnsiToWide(std::string_view(reinterpret_cast<const char*>(data + start), i - start)));
    start = i + 1;
  }
  names.clear();
  return false;
}
}  // namespace

std::vector<uint8_t> BuildDropFiles(const std::vector<std::wstring>& files) {
  std::vector<uint8_t> out(DropFilesHeaderSize, 0);
  PutU32(out, 0, static_cast<uint32_t>(DropFilesHeaderSize));
  PutU32(out, 16, 1);  // wide names
  for (const auto& f : files) AppendWide(out, f);
  out.push_back(0);
  out.push_back(0);
  // An empty list still ends with two NULs.
  if (files.empty()) {
    out.push_back(0);
    out.push_back(0);
  }
  return out;
}

bool ParseDropFiles(const uint8_t* data, size_t size, std::vector<std::wstring>& files) {
  files.clear();
  if (!data || size < DropFilesHeaderSize) return false;
  const uint32_t offset = GetU32(data);
  const bool wide = GetU32(data + 16) != 0;
  if (offset < DropFilesHeaderSize || offset >= size) return false;
  return wide ? ParseWideList(data + offset, size - offset, files) : ParseAnsiList(data + offset, size - offset, files);
}

std::vector<uint8_t> BuildNameMap(const std::vector<std::wstring>& names, bool wide) {
  std::vector<uint8_t> out;
  for (const auto& n : names) {
    if (wide) {
      AppendWide(out, n);
    } else {
      std::string bytes;
      WideToAnsi(n, bytes);
      out.insert(out.end(), bytes.begin(), bytes.end());
      out.push_back(0);
    }
  }
  out.push_back(0);
  if (wide) out.push_back(0);
  return out;
}

bool ParseNameMap(const uint8_t* data, size_t size, bool wide, std::vector<std::wstring>& names) {
  names.clear();
  if (!data) return false;
  return wide ? ParseWideList(data, size, names) : ParseAnsiList(data, size, names);
}

std::wstring SafeMappedName(const std::wstring& name) {
  std::wstring n = name;
  size_t cut = n.find_last_of(L'\\');
  if (cut != std::wstring::npos) n.erase(0, cut + 1);
  // What is left may not name a drive, a stream or a place above the folder.
  if (n.empty() || n == L"." || n == L".." || n.find_first_of(L":/") != std::wstring::npos) return L"";
  for (wchar_t c : n)
    if (c < 32 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*') return L"";
  // Trailing dots and blanks would name another file than the one written.
  if (n.back() == L'.' || n.back() == L' ') return L"";
  return n;
}

std::vector<std::wstring> CheckedNameMap(const std::vector<std::wstring>& map, size_t fileCount) {
  if (map.size() != fileCount) return {};
  std::vector<std::wstring> out;
  out.reserve(map.size());
  for (const auto& n : map) out.push_back(SafeMappedName(n));
  return out;
}

bool ParseDropEffect(const uint8_t* data, size_t size, uint32_t& effect) {
  effect = 0;
  if (!data || size < 4) return false;
  effect = GetU32(data);
  return true;
}
