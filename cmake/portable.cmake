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
  src/archive/layer/ArcView.cpp
  src/archive/layer/ArcView_posix.cpp
  src/archive/layer/ArcTree.cpp
  src/archive/layer/ArcTree_posix.cpp
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
  tests/arclayer/ArcView_test.cpp
  tests/arclayer/ArcTree_test.cpp
  tests/arclayer/ArcRefTools_test.cpp
  tests/fileops/RenPattern_test.cpp
)

# Benchmarks of portable code, measured natively (optimised, no sanitizers).
set(VELMO_PORTABLE_BENCH
  bench/main.cpp
  bench/language_bench.cpp
  bench/engine_bench.cpp
  bench/arclayer_bench.cpp
)

# Fuzz targets as name:source:seed-folder.
set(VELMO_FUZZERS
  ini:tests/fuzz/ini_fuzz.cpp:tests/fuzz/seeds/ini
  language:tests/fuzz/language_fuzz.cpp:tests/fuzz/seeds/language
  descript:tests/fuzz/descript_fuzz.cpp:tests/fuzz/seeds/descript
  inflate:tests/fuzz/inflate_fuzz.cpp:tests/fuzz/seeds/inflate
  cipher:tests/fuzz/cipher_fuzz.cpp:tests/fuzz/seeds/cipher
  markup:tests/fuzz/markup_fuzz.cpp:tests/fuzz/seeds/markup
  arc_zip:tests/fuzz/arc_zip_fuzz.cpp:tests/fuzz/seeds/arc_zip
  arc_rar:tests/fuzz/arc_rar_fuzz.cpp:tests/fuzz/seeds/arc_rar
  arc_ace:tests/fuzz/arc_ace_fuzz.cpp:tests/fuzz/seeds/arc_ace
  arc_cab:tests/fuzz/arc_cab_fuzz.cpp:tests/fuzz/seeds/arc_cab
  arc_lzh:tests/fuzz/arc_lzh_fuzz.cpp:tests/fuzz/seeds/arc_lzh
  arc_arj:tests/fuzz/arc_arj_fuzz.cpp:tests/fuzz/seeds/arc_arj
  arc_omp:tests/fuzz/arc_omp_fuzz.cpp:tests/fuzz/seeds/arc_omp
  arc_sqz:tests/fuzz/arc_sqz_fuzz.cpp:tests/fuzz/seeds/arc_sqz
  arc_arc:tests/fuzz/arc_arc_fuzz.cpp:tests/fuzz/seeds/arc_arc
  arc_zoo:tests/fuzz/arc_zoo_fuzz.cpp:tests/fuzz/seeds/arc_zoo
  arc_tar:tests/fuzz/arc_tar_fuzz.cpp:tests/fuzz/seeds/arc_tar
  arc_bh:tests/fuzz/arc_bh_fuzz.cpp:tests/fuzz/seeds/arc_bh
  arc_gz:tests/fuzz/arc_gz_fuzz.cpp:tests/fuzz/seeds/arc_gz
  arc_detect:tests/fuzz/arc_detect_fuzz.cpp:tests/fuzz/seeds/arc_detect
  detect:tests/fuzz/detect_fuzz.cpp:tests/fuzz/seeds/detect
)
