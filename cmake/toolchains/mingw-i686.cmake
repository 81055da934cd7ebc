# Cross build for 32-bit Windows (the shipped module) with Debian's MinGW-w64 compilers.
# The posix thread model of the compilers gives the C++ threading library; everything the
# runtime needs beyond system DLLs is linked statically (see the top-level CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CVDT_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER ${CVDT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CVDT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CVDT_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${CVDT_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${CVDT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No emulator: 32-bit Wine does not install beside this Debian's 64-bit libraries, so the
# i686 build is checked by its export and import tables only.
