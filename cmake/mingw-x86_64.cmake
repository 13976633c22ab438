# Windows x86_64, cross-built from Debian.
set(TARVUL_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
