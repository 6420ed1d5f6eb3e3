#pragma once
// Font style bits, as fonts are drawn and as the settings file stores them.
#include <cstdint>

constexpr uint8_t fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8;
