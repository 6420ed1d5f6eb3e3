#pragma once
// Text encodings of the program's text files and of bytes at a format's edge.
// A settings, history, language, description or tree file is read as UTF-16 when it starts
// with a UTF-16 mark, as UTF-8 when it starts with the UTF-8 mark or is valid UTF-8, and
// otherwise in the ANSI code page; it is written back in the encoding it was read in unless a
// character cannot be stored there, and then (and for new files) as UTF-8 without a mark.
#include <string>
#include <string_view>

enum class TTextEncoding { Utf8, Utf8Bom, Ansi, Utf16LE, Utf16BE };

bool IsValidUtf8(std::string_view bytes);
std::wstring Utf8ToWide(std::string_view bytes);  // invalid sequences become U+FFFD
// The decoders with an "out" parameter put the text there, reusing its room: for whole files
// read again and again.
void Utf8ToWide(std::string_view bytes, std::wstring& out);
// Decodes bytes as UTF-8 into out, which has room for one unit per byte; returns the number of
// units written. An invalid sequence becomes U+FFFD, or when strict stops the decoding and gives
// std::string_view::npos.
size_t DecodeUtf8Into(std::string_view bytes, wchar_t* out, bool strict);
std::string WideToUtf8(std::wstring_view text);
// Appends the UTF-8 bytes of text to out (what WideToUtf8 returns), for writers that build a
// whole file in one buffer.
void AppendUtf8(std::string& out, std::wstring_view text);
// The most UTF-8 bytes one unit of wide text gives.
constexpr size_t MaxUtf8PerUnit = sizeof(wchar_t) == 2 ? 3 : 4;
// Writes the UTF-8 bytes of text from out on, which has room for MaxUtf8PerUnit bytes per unit;
// returns where they end.
char* EncodeUtf8Into(std::wstring_view text, char* out);

// The system's ANSI and OEM code pages (949 on a Korean system). The host build, which has
// no code pages, treats both as Latin-1. The Wide-to-bytes direction returns false when a
// character had no exact equivalent (the output then holds a replacement).
std::wstring AnsiToWide(std::string_view bytes);
void AnsiToWide(std::string_view bytes, std::wstring& out);
bool WideToAnsi(std::wstring_view text, std::string& out);
std::wstring OemToWide(std::string_view bytes);
bool WideToOem(std::wstring_view text, std::string& out);
// Whether every byte below 0x80 stands for its ASCII character wherever it stands in ANSI text
// (true of the single- and double-byte code pages and of UTF-8; not of GB 18030), so that text
// in it may be cut into lines and fields by its bytes before it is decoded.
bool AnsiKeepsAscii();

// Bytes in the ANSI code page converted to wide text and back: what a name keeps of itself when
// it passes through the code page (characters it lacks become the system's replacement).
std::string AnsiRoundTrip(std::string_view bytes);
// Bytes in the OEM code page as bytes in the ANSI code page.
std::string OemToAnsiStr(std::string_view bytes);

// A surrogate code unit without its partner (file names may hold one): no code page and no
// UTF-8 can store it as it is.
bool HasLoneSurrogate(std::wstring_view text);

// Text for a file that other programs read in the system code page: the ANSI code page when
// every character fits there, else UTF-8 without a mark, and UTF-16 with its mark when the
// text holds a lone surrogate, the one form that keeps it whole. encoding tells which.
std::string EncodeForCodePageReaders(std::wstring_view text, TTextEncoding& encoding);

// Detects the encoding of a whole file's bytes and decodes it (the mark is dropped).
std::wstring DecodeText(std::string_view bytes, TTextEncoding& encoding);
void DecodeText(std::string_view bytes, std::wstring& out, TTextEncoding& encoding);
// Encodes in the given encoding; when a character cannot be stored in it, encodes as UTF-8
// without a mark instead and sets encoding to Utf8.
std::string EncodeText(std::wstring_view text, TTextEncoding& encoding);
