# Cross build for 32-bit Windows with the posix-threads variant of mingw-w64.
set(VELMO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
