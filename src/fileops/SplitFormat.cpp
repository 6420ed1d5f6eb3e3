#include "fileops/SplitFormat.h"

#include <cwchar>

#include "foundation/MYTOOL.h"
#include "foundation/TextCodec.h"
#include "framework/TextCompare.h"

const wchar_t* const SplitMakerAddress = L"www.velmo.kr";

bool TNameLess::operator()(const std::wstring& a, const std::wstring& b) const { return CompareTextI(a, b) < 0; }

std::wstring PieceBaseName(std::wstring_view fileName) {
  size_t slash = fileName.find_last_of(L"\\/:");
  size_t dot = fileName.rfind(L'.');
  if (dot == std::wstring_view::npos || (slash != std::wstring_view::npos && dot < slash)) return std::wstring(fileName);
  return std::wstring(fileName.substr(0, dot));
}

std::wstring PieceName(std::wstring_view base, int64_t number) {
  wchar_t digits[32];
  swprintf(digits, 32, L"%03lld", static_cast<long long>(number));
  return std::wstring(base) + L"." + digits;
}

int64_t ParsePieceSize(std::wstring_view text) {
  int64_t number = 0;
  wchar_t unit = 0;
  bool overflow = false;
  for (wchar_t c : text) {
    if (c >= L'0' && c <= L'9') {
      // The number is read as a 32-bit integer: anything larger counts as no number.
      number = number * 10 + (c - L'0');
      if (number > 0x7FFFFFFF) overflow = true;
      continue;
    }
    wchar_t u = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    if (u == L'G' || u == L'K' || u == L'M') unit = u;
    else if (u == L'B' && unit == 0) unit = L'B';
  }
  if (overflow) return 0;
  switch (unit) {
    case L'K': return number * 1024;
    case L'M': return number * 1024 * 1000;
    case L'G': return number * 1024 * 1000 * 1000;
    default: return number;
  }
}

int64_t PieceCountFor(int64_t fileSize, int64_t pieceSize) {
  if (pieceSize <= 0) return 0;
  return fileSize / pieceSize + (fileSize % pieceSize ? 1 : 0);
}

bool IsValidPlainFileName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name)
    if (c < 32 || wcschr(L"<>:\"/\\|?*", c)) return false;
  if (name.back() == L' ' || name.back() == L'.') return false;
  // A device name (also with an extension) would not be a file at all.
  std::wstring stem = UpperCase(name.substr(0, name.find(L'.')));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CLOCK$"};
  for (const wchar_t* d : devices)
    if (stem == d) return false;
  if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) && stem[3] >= L'0' &&
      stem[3] <= L'9')
    return false;
  return true;
}

std::wstring FileNamePart(std::wstring_view name) {
  size_t cut = name.find_last_of(L"\\/:");
  return std::wstring(cut == std::wstring_view::npos ? name : name.substr(cut + 1));
}

// ---- Writing ----

namespace {
std::wstring Hex8(uint32_t v) {
  wchar_t buf[16];
  swprintf(buf, 16, L"%08X", v);
  return buf;
}
}  // namespace

std::wstring CrcListBatchText(std::wstring_view sourceName, int64_t sourceSize, uint32_t crc) {
  return L"filename=" + std::wstring(sourceName) + L"\r\nsize=" + std::to_wstring(sourceSize) + L"\r\ncrc32=" +
         Hex8(crc) + L"\r\n";
}

std::wstring CrcListPiecesText(const std::vector<TPieceListEntry>& pieces) {
  std::wstring text = L"; Created by Orbel for Windows, Velmo (" + std::wstring(SplitMakerAddress) + L")\r\n;\r\n";
  for (const TPieceListEntry& p : pieces) {
    wchar_t line[96];
    swprintf(line, 96, L";%13lld  %02d:%02d.%02d %04d-%02d-%02d ", static_cast<long long>(p.Size), p.Hour, p.Minute,
             p.Second, p.Year, p.Month, p.Day);
    text += line + p.Name + L"\r\n";
  }
  for (const TPieceListEntry& p : pieces) text += p.Name + L" " + Hex8(p.Crc) + L"\r\n";
  return text;
}

namespace {
// A name as a line of the batch file holds it. "%" is doubled: the interpreter expands it even
// between quotes. A character the ANSI code page cannot store (the interpreter reads the file in
// that code page) makes wild true; as a pattern (asPattern) such a character becomes "?", a
// wildcard the interpreter resolves against the file itself, and so do the blanks and the
// characters that would end or split the unquoted set of a "for" loop.
std::wstring BatchName(std::wstring_view name, bool asPattern, bool& wild) {
  std::wstring out;
  for (size_t i = 0; i < name.size(); ++i) {
    const wchar_t c = name[i];
    if (c == L'%') {
      out += L"%%";
      continue;
    }
    const size_t n = c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() ? 2 : 1;
    std::string bytes;
    const bool fits = WideToAnsi(name.substr(i, n), bytes);
    if (!fits) wild = true;
    if (fits && !(asPattern && std::wstring_view(L" \t,;=()&^|<>\"").find(c) != std::wstring_view::npos))
      out.append(name.substr(i, n));
    else
      out.append(n, L'?');
    i += n - 1;
  }
  return out;
}
}  // namespace

std::wstring JoinBatchText(std::wstring_view base, int64_t count, std::wstring_view sourceName) {
  std::wstring text = L"@echo off\r\necho.\r\necho Created by Velmo (" + std::wstring(SplitMakerAddress) +
                      L")\r\necho.\r\necho Reading Files...\r\necho.\r\n";
  bool wild = false;
  const std::wstring quotedBase = BatchName(base, false, wild);
  if (!wild) {
    for (int64_t n = 1; n <= count; ++n) {
      const std::wstring piece = L"\"" + PieceName(quotedBase, n) + L"\"";
      text += n == 1 ? L"COPY /B " + piece + L" velmo.tmp\r\n" : L"COPY /B velmo.tmp + " + piece + L" velmo.tmp\r\n";
    }
    bool unused = false;
    text += L"REN velmo.tmp \"" + BatchName(sourceName, false, unused) + L"\"\r\n";
  } else {
    // Each piece is found by its pattern (unquoted: the interpreter matches no quoted pattern
    // everywhere), and the loop hands over the piece's real name.
    const std::wstring pattern = BatchName(base, true, wild);
    for (int64_t n = 1; n <= count; ++n)
      text += L"for %%f in (" + PieceName(pattern, n) + L") do " +
              (n == 1 ? std::wstring(L"COPY /B \"%%f\" velmo.tmp\r\n") : L"COPY /B velmo.tmp + \"%%f\" velmo.tmp\r\n");
    bool restWild = false;
    if (sourceName.size() >= base.size() && sourceName.substr(0, base.size()) == base) {
      // The joined file takes the first piece's real name part; only the rest is written out.
      text += L"for %%f in (" + PieceName(pattern, 1) + L") do REN velmo.tmp \"%%~nf" +
              BatchName(sourceName.substr(base.size()), false, restWild) + L"\"\r\n";
    } else {
      text += L"REN velmo.tmp \"" + BatchName(sourceName, false, restWild) + L"\"\r\n";
    }
  }
  text += L"echo Done...\r\n";
  return text;
}

std::string EncodeListFile(std::wstring_view text) {
  std::string ansi;
  if (WideToAnsi(text, ansi)) return ansi;
  return "\xEF\xBB\xBF" + WideToUtf8(text);
}

std::string PieceHeaderBytes(std::wstring_view sourceName, int64_t sourceSize) {
  std::string name;
  if (!WideToAnsi(sourceName, name)) name = WideToUtf8(sourceName);
  return name + "   " + std::to_string(sourceSize) + "/";
}

// ---- Reading ----

std::wstring DecodeListFile(std::string_view bytes) {
  TTextEncoding encoding;
  return DecodeText(bytes, encoding);
}

bool ParseHex8(std::wstring_view text, uint32_t& value) {
  if (text.size() != 8) return false;
  uint32_t v = 0;
  for (wchar_t c : text) {
    int d = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
    if (d < 0) return false;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  value = v;
  return true;
}

namespace {
bool ParseSize(std::wstring_view text, int64_t& size) {
  std::wstring t = Trim(text);
  if (t.empty() || t.size() > 18) return false;
  int64_t v = 0;
  for (wchar_t c : t) {
    if (c < L'0' || c > L'9') return false;
    v = v * 10 + (c - L'0');
  }
  size = v;
  return true;
}

std::vector<std::wstring> SplitLines(std::wstring_view text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ++end;
    start = end + 1;
  }
  return lines;
}
}  // namespace

TCrcList ParseCrcList(std::wstring_view text) {
  TCrcList list;
  std::vector<std::wstring> lines = SplitLines(text);
  if (lines.size() <= 1) return list;
  if (!lines[0].empty() && lines[0][0] == L';') {
    int64_t sizeSum = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
      const std::wstring& line = lines[i];
      if (!line.empty() && line[0] == L';') {
        size_t colon = line.find(L':');
        // The size stands between the ";" and the blank before the hour; the name 18
        // characters after the colon. Lines too short for that are passed over.
        if (colon == std::wstring::npos || colon < 3 || colon + 18 >= line.size()) continue;
        int64_t size = 0;
        if (!ParseSize(std::wstring_view(line).substr(1, colon - 3), size)) continue;
        if (line[colon + 18] == L' ') continue;
        std::wstring name = line.substr(colon + 18);
        if (list.Sizes.emplace(name, size).second) sizeSum += size;
        continue;
      }
      if (line.size() > 10 && line[line.size() - 9] == L' ') {
        uint32_t crc;
        std::wstring hex = line.substr(line.size() - 8);
        if (!ParseHex8(hex, crc)) continue;
        list.Crcs.emplace(line.substr(0, line.size() - 9), hex);
      }
    }
    // Without a single piece CRC there is nothing to check against.
    if (list.Crcs.empty()) {
      list.Sizes.clear();
      return list;
    }
    list.HasCrc = list.PerPiece = true;
    list.Total = sizeSum;
    if (list.Sizes.size() == list.Crcs.size()) {
      list.PieceCount = static_cast<int64_t>(list.Sizes.size());
    } else {
      // A partial size list would end the join early: count and total are unknown instead.
      list.Sizes.clear();
      list.PieceCount = 0;
      list.Total = 0;
    }
    return list;
  }
  std::wstring size, crc;
  bool haveName = false, haveSize = false, haveCrc = false;
  for (const std::wstring& line : lines) {
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) continue;
    std::wstring key = Trim(std::wstring_view(line).substr(0, eq));
    std::wstring value = Trim(std::wstring_view(line).substr(eq + 1));
    if (CompareAsciiI(key, L"filename") == 0 && !haveName) {
      list.FileName = value;
      haveName = true;
    } else if (CompareAsciiI(key, L"size") == 0 && !haveSize) {
      size = value;
      haveSize = true;
    } else if (CompareAsciiI(key, L"crc32") == 0 && !haveCrc) {
      crc = value;
      haveCrc = true;
    }
  }
  if (haveName && haveSize && haveCrc) {
    if (!ParseSize(size, list.Total)) list.Total = 0;
    if (!ParseHex8(crc, list.FileCrc)) list.FileCrc = 0;
    if (list.Total > 0 && list.FileCrc != 0) list.HasCrc = list.WholeFile = true;
  }
  return list;
}

TPieceHeader ParsePieceHeader(std::string_view firstBytes) {
  TPieceHeader header;
  std::string_view window = firstBytes.substr(0, 250);
  size_t blanks = window.find("   ");
  if (blanks == std::string_view::npos || blanks == 0) return header;
  size_t i = blanks + 3;
  std::string digits;
  while (i < window.size() && (window[i] == ' ' || (window[i] >= '0' && window[i] <= '9'))) {
    if (window[i] != ' ') digits += window[i];
    ++i;
  }
  if (i >= window.size() || window[i] != '/' || digits.empty()) return header;
  std::string_view nameBytes = window.substr(0, blanks);
  std::wstring name = IsValidUtf8(nameBytes) ? Utf8ToWide(nameBytes) : AnsiToWide(nameBytes);
  header.Found = true;
  header.Name = Trim(name);
  header.Length = i + 1;
  if (digits.size() <= 18) header.Size = std::stoll(digits);
  return header;
}
