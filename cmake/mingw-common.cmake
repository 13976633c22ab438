# Cross build for Windows with Debian's mingw-w64 compilers, in their POSIX
# thread flavour (GoogleTest needs std::mutex). Included by the per-target
# toolchain files after they set TARVUL_MINGW_ARCH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TARVUL_MINGW_ARCH})
set(triple ${TARVUL_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine runs the tests. The x86_64 ones run under Debian's wine64. The i686 ones
# need a 32-bit Wine, which a kernel that runs no 32-bit code can only run under
# qemu-i386: scripts/wine32-setup unpacks both into build/wine32, and the loader
# there starts 32-bit programs (with QEMU_LD_PREFIX and the binfmt entry that
# scripts/check sets up).
if(TARVUL_MINGW_ARCH STREQUAL "x86_64")
  find_program(TARVUL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(TARVUL_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVUL_WINE64})
  endif()
else()
  # The 32-bit loader itself, so each test program is one 32-bit process rather
  # than one waited for by a 64-bit starter. scripts/wine32-run runs a test
  # program once more when only the emulated loader's exit assertion failed it;
  # the Wine loader comes last in the list.
  get_filename_component(TARVUL_WINE32_ROOT ${CMAKE_CURRENT_LIST_DIR}/../build/wine32/root ABSOLUTE)
  get_filename_component(TARVUL_WINE32_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32-run ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVUL_WINE32_RUN} ${TARVUL_WINE32_ROOT}/usr/lib/wine/wine)
endif()
