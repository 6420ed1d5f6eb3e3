#pragma once
// The program's one CRC-32 (reflected polynomial 0xEDB88320, as in ZIP and SFV lists): the
// archive engine's fast implementation under the name the file operations use.
#include <cstddef>
#include <cstdint>

// Adds length bytes to a running register. It neither inverts at the start nor at the end:
// callers start with 0xFFFFFFFF and store the inverted result. A null buffer returns crc.
uint32_t CRC32Update(uint32_t crc, const void* buffer, size_t length);
