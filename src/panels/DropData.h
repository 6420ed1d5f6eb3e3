#pragma once
// The byte layouts of the file-list formats that drags and the clipboard carry: the file drop
// block (a DROPFILES header and a list of names each ended by a NUL, the list ended by one
// more NUL) and the file name maps (the same kind of list, without header, in the ANSI code
// page or in UTF-16).
//
// The blocks come from other programs and are parsed within their real size: a block whose
// list lacks its closing NULs, or whose header points outside the block, gives no names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The header of a file drop block: offset of the list, drop point, non-client flag, wide flag.
constexpr size_t DropFilesHeaderSize = 20;

// A file drop block holding the names in UTF-16.
std::vector<uint8_t> BuildDropFiles(const std::vector<std::wstring>& files);
// The names of a file drop block (UTF-16 or ANSI by its wide flag); false, with no names, for
// a block that is damaged.
bool ParseDropFiles(const uint8_t* data, size_t size, std::vector<std::wstring>& files);

// A name map in UTF-16 (wide) or in the ANSI code page.
std::vector<uint8_t> BuildNameMap(const std::vector<std::wstring>& names, bool wide);
// The names of a map; false, with no names, for a list without its closing NULs.
bool ParseNameMap(const uint8_t* data, size_t size, bool wide, std::vector<std::wstring>& names);

// A name another program maps a dropped file to is used as a file name in the target folder:
// only its file-name part counts, and a name that still holds a separator, a drive, or is
// "." or ".." is refused (empty result).
std::wstring SafeMappedName(const std::wstring& name);

// The map of a drop kept only when it has one name per file (otherwise none); a refused name
// becomes empty there, and that file keeps its own name.
std::vector<std::wstring> CheckedNameMap(const std::vector<std::wstring>& map, size_t fileCount);

// A drop effect block: four bytes, little-endian; false when shorter.
bool ParseDropEffect(const uint8_t* data, size_t size, uint32_t& effect);
