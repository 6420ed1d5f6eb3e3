#pragma once
// Whole numbers from text: optional leading blanks and sign, decimal or hexadecimal after "$"
// (or "0x"); ok is false on a syntax error or a value out of range. Hexadecimal takes up to the
// type's width in digits and wraps into the signed type. (The settings reader and the
// components' integer properties share these.)
#include <cstdint>
#include <string_view>

int32_t TryStrToInt(std::wstring_view s, bool& ok);
int64_t TryStrToInt64(std::wstring_view s, bool& ok);
