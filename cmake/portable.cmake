# The code that has no Windows dependency, built on the host under the sanitizers (the
# "native" preset). Paths are relative to the source folder. Add a unit here when it is
# portable; its Windows-only counterpart, if any, is a separate *_win.cpp file, and the host's
# stand-in a *_posix.cpp file.
set(VELMO_PORTABLE_SOURCES
  src/foundation/HanList.cpp
  src/foundation/TextCodec.cpp
  src/foundation/TextCodec_posix.cpp
  src/framework/StringList.cpp
  src/framework/TextCompare_posix.cpp
  src/framework/TextCompareAscii.cpp
  src/foundation/FileIO_posix.cpp
  src/foundation/Colors_posix.cpp
  src/foundation/HanINI.cpp
  src/foundation/MYTOOL.cpp
  src/foundation/Folders.cpp
  src/foundation/Language.cpp
  src/foundation/ExtDef.cpp
  src/panels/MFile.cpp
  src/panels/MDescMan.cpp
  src/panels/MDescMan_posix.cpp
  src/foundation/MYTOOL_path.cpp
  src/foundation/MaskMatch.cpp
  src/archive/engine/zevGbls.cpp
  src/archive/engine/zevGbls_posix.cpp
  src/archive/engine/zevCrypt.cpp
  src/archive/engine/zevStreams.cpp
  src/archive/engine/zevFileSys.cpp
  src/archive/engine/zevFileSys_posix.cpp
  src/archive/engine/zevBase.cpp
  src/archive/engine/zevDetect.cpp
  src/archive/engine/zevFileScan.cpp
  src/foundation/LabelMarkup.cpp
  src/framework/Component.cpp
  src/fileops/RenPattern.cpp
)

set(VELMO_PORTABLE_TESTS
  tests/foundation/HanList_test.cpp
  tests/foundation/HanINI_test.cpp
  tests/foundation/TextHelpers_test.cpp
  tests/foundation/Language_test.cpp
  tests/foundation/ExtDef_test.cpp
  tests/panels/MFile_test.cpp
  tests/panels/MDescMan_test.cpp
  tests/foundation/Paths_test.cpp
  tests/foundation/MaskMatch_test.cpp
  tests/engine/zevGbls_test.cpp
  tests/engine/zevCrypt_test.cpp
  tests/engine/zevStreams_test.cpp
  tests/engine/zevTools_test.cpp
  tests/engine/zevBase_test.cpp
  tests/foundation/LabelMarkup_test.cpp
  tests/fileops/RenPattern_test.cpp
)

# Benchmarks of portable code, measured natively (optimised, no sanitizers).
set(VELMO_PORTABLE_BENCH
  bench/main.cpp
  bench/language_bench.cpp
  bench/engine_bench.cpp
)

# Fuzz targets as name:source:seed-folder.
set(VELMO_FUZZERS
  ini:tests/fuzz/ini_fuzz.cpp:tests/fuzz/seeds/ini
  language:tests/fuzz/language_fuzz.cpp:tests/fuzz/seeds/language
  descript:tests/fuzz/descript_fuzz.cpp:tests/fuzz/seeds/descript
  inflate:tests/fuzz/inflate_fuzz.cpp:tests/fuzz/seeds/inflate
  cipher:tests/fuzz/cipher_fuzz.cpp:tests/fuzz/seeds/cipher
  markup:tests/fuzz/markup_fuzz.cpp:tests/fuzz/seeds/markup
  detect:tests/fuzz/detect_fuzz.cpp:tests/fuzz/seeds/detect
)
