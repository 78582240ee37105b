# Cross build for Windows (x86_64) with Debian's mingw-w64 compilers: the -posix variants, whose C++
# run time has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QRKIT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QRKIT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QRKIT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QRKIT_MINGW_TRIPLET}-windres)

# Libraries and headers come only from the mingw tree (and from CMAKE_PREFIX_PATH folders such as the
# cross-built libpng); programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QRKIT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# 64-bit Windows programs run here under wine64 (ctest uses it for the tests).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# QRKIT_WINDOWS_DEPS: install folders of libraries cross-built for this target (libpng, GoogleTest),
# searched like the mingw tree.
if(QRKIT_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QRKIT_WINDOWS_DEPS})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QRKIT_WINDOWS_DEPS)
