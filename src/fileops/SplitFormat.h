#pragma once
// The files of split and join, as text and bytes: piece names, the piece-size entry, the two
// styles of the ".crc" list, the joining batch file and the name header that the list style
// of the outside joining tool puts in front of the first piece. Lists and headers are read
// from disk and may be damaged: every parse here checks lengths before it looks.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The name with its extension removed ("a.zip" gives "a", "a" stays "a").
std::wstring PieceBaseName(std::wstring_view fileName);
// Piece number n of base name B: B + "." + n with at least three digits.
std::wstring PieceName(std::wstring_view base, int64_t number);
// The piece size typed or chosen in the split dialog: blanks removed, the digits in order
// form the number (no digits: 0, automatic); the unit is the last of G, K, M seen (a B counts
// only before any other unit letter): K 1,024, M 1,024,000, G 1,024,000,000 bytes.
int64_t ParsePieceSize(std::wstring_view text);
// Pieces of that size a file of that size gives; 0 for an automatic (0) size.
int64_t PieceCountFor(int64_t fileSize, int64_t pieceSize);

// A name a joined or merged file may take in its folder: not empty, not "." or "..", none of
// the characters a file name cannot hold, no trailing blank or dot, no device name.
bool IsValidPlainFileName(std::wstring_view name);
// The file-name part of a name that may carry a folder or a drive.
std::wstring FileNamePart(std::wstring_view name);

// ---- Writing ----

struct TPieceListEntry {
  std::wstring Name;       // the piece's file name
  int64_t Size = 0;        // size on disk
  int Hour = 0, Minute = 0, Second = 0, Year = 0, Month = 0, Day = 0;  // last write, local
  uint32_t Crc = 0;        // the piece's finished CRC-32
};
extern const wchar_t* const SplitMakerAddress;
// The batch style: filename=, size=, crc32= (CR LF lines).
std::wstring CrcListBatchText(std::wstring_view sourceName, int64_t sourceSize, uint32_t crc);
// The list style of the outside joining tool: two comment lines, one ";" size line per piece,
// then one SFV line (name, blank, 8 hex digits) per piece.
std::wstring CrcListPiecesText(const std::vector<TPieceListEntry>& pieces);
// The joining batch file for pieces base.001 .. base.count of sourceName.
std::wstring JoinBatchText(std::wstring_view base, int64_t count, std::wstring_view sourceName);
// A list's bytes: the ANSI code page when every character fits, else UTF-8 with a mark.
std::string EncodeListFile(std::wstring_view text);
// The name header in front of the first piece: name, three blanks, size in decimal, "/".
std::string PieceHeaderBytes(std::wstring_view sourceName, int64_t sourceSize);

// ---- Reading ----

struct TNameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

struct TCrcList {
  bool HasCrc = false;     // some CRC information was found
  bool PerPiece = false;   // the SFV style: piece CRCs (and sizes when complete)
  bool WholeFile = false;  // the batch style: one CRC of the whole file
  std::wstring FileName;   // the batch style's filename= value as written
  int64_t Total = 0;       // the sum of the listed sizes, or the batch style's size
  int64_t PieceCount = 0;  // 0: not known
  uint32_t FileCrc = 0;
  std::map<std::wstring, int64_t, TNameLess> Sizes;       // by piece file name
  std::map<std::wstring, std::wstring, TNameLess> Crcs;   // by piece file name: 8 hex digits
};
// The ".crc" list as text (one line per entry; CR LF, LF or CR).
TCrcList ParseCrcList(std::wstring_view text);
// Reads the file's bytes as text: a UTF-8 or UTF-16 mark, valid UTF-8, else the ANSI code page.
std::wstring DecodeListFile(std::string_view bytes);
// Eight hexadecimal digits as a number; false for anything else.
bool ParseHex8(std::wstring_view text, uint32_t& value);

struct TPieceHeader {
  bool Found = false;
  std::wstring Name;      // trimmed; not yet checked as a file name
  int64_t Size = -1;      // the stated size, -1 when the digits were not a number
  size_t Length = 0;      // bytes up to and including the "/"
};
// Looks for the name header in the first bytes of a first piece (up to 250 are searched).
TPieceHeader ParsePieceHeader(std::string_view firstBytes);
