# The same program built for 64-bit Windows: where a machine cannot run 32-bit code, the tests
# run from this build under 64-bit Wine.
set(VELMO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
