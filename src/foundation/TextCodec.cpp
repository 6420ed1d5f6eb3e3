#include "foundation/TextCodec.h"

#include <cstdint>

namespace {
// Decodes one UTF-8 sequence at i; returns false (and advances by one) when it is invalid.
bool NextUtf8(std::string_view s, size_t& i, uint32_t& cp) {
  auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  uint8_t c = b(i);
  if (c < 0x80) {
    cp = c;
    ++i;
    return true;
  }
  int len;
  uint32_t min;
  if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (i + static_cast<size_t>(len) > s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k < len; ++k) {
    uint8_t t = b(i + static_cast<size_t>(k));
    if ((t & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += static_cast<size_t>(len);
  return true;
}

std::wstring DecodeUtf16(std::string_view s, bool bigEndian) {
  std::wstring out;
  out.reserve(s.size() / 2);
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    uint16_t u = bigEndian ? static_cast<uint16_t>(static_cast<uint8_t>(s[i]) << 8 | static_cast<uint8_t>(s[i + 1]))
                           : static_cast<uint16_t>(static_cast<uint8_t>(s[i + 1]) << 8 | static_cast<uint8_t>(s[i]));
    if constexpr (sizeof(wchar_t) == 2) {
      out += static_cast<wchar_t>(u);
    } else {
      // Pair surrogates into code points for the host's 32-bit wchar_t.
      if (u >= 0xD800 && u <= 0xDBFF && i + 3 < s.size()) {
        uint16_t v = bigEndian ? static_cast<uint16_t>(static_cast<uint8_t>(s[i + 2]) << 8 | static_cast<uint8_t>(s[i + 3]))
                               : static_cast<uint16_t>(static_cast<uint8_t>(s[i + 3]) << 8 | static_cast<uint8_t>(s[i + 2]));
        if (v >= 0xDC00 && v <= 0xDFFF) {
          out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
          i += 2;
          continue;
        }
      }
      out += static_cast<wchar_t>(u);
    }
  }
  return out;
}

void AppendUtf16Unit(std::string& out, uint16_t u, bool bigEndian) {
  if (bigEndian) {
    out += static_cast<char>(u >> 8);
    out += static_cast<char>(u & 0xFF);
  } else {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
}

std::string EncodeUtf16(std::wstring_view text, bool bigEndian) {
  std::string out;
  out.reserve(text.size() * 2 + 2);
  AppendUtf16Unit(out, 0xFEFF, bigEndian);
  for (wchar_t w : text) {
    uint32_t cp = static_cast<uint32_t>(w);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUtf16Unit(out, static_cast<uint16_t>(0xD800 + (cp >> 10)), bigEndian);
      AppendUtf16Unit(out, static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)), bigEndian);
    } else {
      AppendUtf16Unit(out, static_cast<uint16_t>(cp), bigEndian);
    }
  }
  return out;
}
}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  uint32_t cp;
  while (i < bytes.size()) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {  // plain ASCII needs no decoding
      ++i;
      continue;
    }
    if (!NextUtf8(bytes, i, cp)) return false;
  }
  return true;
}

std::wstring Utf8ToWide(std::string_view bytes) {
  std::wstring out;
  Utf8ToWide(bytes, out);
  return out;
}

void Utf8ToWide(std::string_view bytes, std::wstring& out) {
  // Written into a buffer of the largest size it can need (one unit per byte), then cut: no
  // growth checks in the loop, which matters for whole files.
  out.resize(bytes.size());
  out.resize(DecodeUtf8Into(bytes, out.data(), false));
}

size_t DecodeUtf8Into(std::string_view bytes, wchar_t* out, bool strict) {
  wchar_t* w = out;
  const char* p = bytes.data();
  size_t i = 0, n = bytes.size();
  uint32_t cp;
  while (i < n) {
    if (static_cast<uint8_t>(p[i]) < 0x80) {
      *w++ = static_cast<wchar_t>(p[i++]);
      continue;
    }
    if (!NextUtf8(bytes, i, cp)) {
      if (strict) return std::string_view::npos;
      cp = 0xFFFD;
    }
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
      // Four bytes give two units: still within one unit per byte.
      cp -= 0x10000;
      *w++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
      *w++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *w++ = static_cast<wchar_t>(cp);
    }
  }
  return static_cast<size_t>(w - out);
}

char* EncodeUtf8Into(std::wstring_view text, char* o) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(text[i]);
    if (cp < 0x80) {
      *o++ = static_cast<char>(cp);
      continue;
    }
    if constexpr (sizeof(wchar_t) == 2) {
      // A surrogate pair is four bytes for two units.
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
        uint32_t lo = static_cast<uint32_t>(text[i + 1]);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          ++i;
        }
      }
    }
    // A lone surrogate, or past Unicode (only a 32-bit unit can hold that).
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (cp < 0x800) {
      *o++ = static_cast<char>(0xC0 | (cp >> 6));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (cp >> 12));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (cp >> 18));
      *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return o;
}

void AppendUtf8(std::string& out, std::wstring_view text) {
  size_t at = out.size();
  out.resize(at + text.size() * MaxUtf8PerUnit);
  char* o = EncodeUtf8Into(text, out.data() + at);
  out.resize(static_cast<size_t>(o - out.data()));
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  AppendUtf8(out, text);
  return out;
}

std::string AnsiRoundTrip(std::string_view bytes) {
  std::string out;
  WideToAnsi(AnsiToWide(bytes), out);
  return out;
}

std::string OemToAnsiStr(std::string_view bytes) {
  std::string out;
  WideToAnsi(OemToWide(bytes), out);
  return out;
}

std::wstring DecodeText(std::string_view bytes, TTextEncoding& encoding) {
  std::wstring out;
  DecodeText(bytes, out, encoding);
  return out;
}

void DecodeText(std::string_view bytes, std::wstring& out, TTextEncoding& encoding) {
  auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (starts("\xEF\xBB\xBF")) {
    encoding = TTextEncoding::Utf8Bom;
    Utf8ToWide(bytes.substr(3), out);
  } else if (starts("\xFF\xFE")) {
    encoding = TTextEncoding::Utf16LE;
    out = DecodeUtf16(bytes.substr(2), false);
  } else if (starts("\xFE\xFF")) {
    encoding = TTextEncoding::Utf16BE;
    out = DecodeUtf16(bytes.substr(2), true);
  } else if (IsValidUtf8(bytes)) {
    encoding = TTextEncoding::Utf8;
    Utf8ToWide(bytes, out);
  } else {
    encoding = TTextEncoding::Ansi;
    AnsiToWide(bytes, out);
  }
}

std::string EncodeText(std::wstring_view text, TTextEncoding& encoding) {
  switch (encoding) {
    case TTextEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + WideToUtf8(text);
    case TTextEncoding::Utf16LE:
      return EncodeUtf16(text, false);
    case TTextEncoding::Utf16BE:
      return EncodeUtf16(text, true);
    case TTextEncoding::Ansi: {
      std::string out;
      if (WideToAnsi(text, out)) {
        // Bytes that happen to form valid UTF-8 or begin like a byte order mark would be read
        // back differently next time; such a file is kept in UTF-8 so that it reads back as
        // written.
        std::string_view v(out);
        bool markLike = v.substr(0, 2) == "\xFF\xFE" || v.substr(0, 2) == "\xFE\xFF" ||
                        v.substr(0, 3) == "\xEF\xBB\xBF";
        if (!IsValidUtf8(out) && !markLike) return out;
      }
      encoding = TTextEncoding::Utf8;
      break;
    }
    case TTextEncoding::Utf8:
      break;
  }
  // Text that itself begins with U+FEFF would lose it to mark detection when read back.
  if (!text.empty() && text[0] == 0xFEFF) {
    encoding = TTextEncoding::Utf8Bom;
    return "\xEF\xBB\xBF" + WideToUtf8(text);
  }
  return WideToUtf8(text);
}

bool HasLoneSurrogate(std::wstring_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t c = static_cast<uint32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF) {
      const uint32_t next = i + 1 < text.size() ? static_cast<uint32_t>(text[i + 1]) : 0;
      if (sizeof(wchar_t) == 2 && next >= 0xDC00 && next <= 0xDFFF) {
        ++i;
        continue;
      }
      return true;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return true;
  }
  return false;
}

std::string EncodeForCodePageReaders(std::wstring_view text, TTextEncoding& encoding) {
  encoding = HasLoneSurrogate(text) ? TTextEncoding::Utf16LE : TTextEncoding::Ansi;
  return EncodeText(text, encoding);
}
