#pragma once
// The built-in message table and translation map as UTF-8 bytes, embedded at build time from
// Messages.txt and Translation.txt beside this header.
#include <cstddef>

extern const unsigned char BuiltinMessageData[];
extern const size_t BuiltinMessageDataSize;
extern const unsigned char BuiltinTranslationData[];
extern const size_t BuiltinTranslationDataSize;
