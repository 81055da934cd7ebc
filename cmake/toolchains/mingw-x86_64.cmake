# Cross build for 64-bit Windows (tests under wine64) with Debian's MinGW-w64 compilers.
# The posix thread model of the compilers gives the C++ threading library; everything the
# runtime needs beyond system DLLs is linked statically (see the top-level CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CVDT_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${CVDT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CVDT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CVDT_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${CVDT_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${CVDT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Debian's wine64, whose loader is not on PATH.
find_program(CVDT_WINE_PROGRAM NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(CVDT_WINE_PROGRAM NAMES wine64 wine)
if(CVDT_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CVDT_WINE_PROGRAM})
endif()
