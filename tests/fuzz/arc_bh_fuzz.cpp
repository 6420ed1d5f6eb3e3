// The BH directory reader on arbitrary bytes.
#include "fuzz/ArcFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzArchive(akBh, data, size); }
