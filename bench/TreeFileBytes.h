#pragma once
// The tree file of the benchmarks: 100,000 folders.
#include <string>

#include "foundation/TextCodec.h"

// 40 top folders of 50 folders of 50 (with a few Korean and long names), in UTF-8 (what new
// files are written in) or in the ANSI code page (older files).
std::string BenchTreeFileBytes(TTextEncoding encoding = TTextEncoding::Utf8);
