# Native 32-bit x86 build on an x86_64 Debian machine: Debian's gcc-multilib compilers with -m32, for
# scripts/test-32bit.sh. The exports are stdcall there, as on 32-bit Windows (qrkit/qrkit.h).
#
# Debian's i386 libraries cannot be installed beside the amd64 ones on every machine, so libraries come
# only from QRKIT_I386_DEPS, a prefix holding zlib, libpng, GoogleTest, zbar and the other test
# dependencies built statically for i386 (the script builds them). Headers may also come from the
# build machine (Boost, which is used as headers only, and the C library's multilib headers).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# The prefix may also come from the environment, for projects that the build's own checks configure.
if(NOT QRKIT_I386_DEPS AND DEFINED ENV{QRKIT_I386_DEPS})
  set(QRKIT_I386_DEPS $ENV{QRKIT_I386_DEPS})
endif()
if(QRKIT_I386_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QRKIT_I386_DEPS})
endif()
# Packages and libraries from the i386 prefix only (never the build machine's amd64 ones); headers from
# the prefix first, then the build machine; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QRKIT_I386_DEPS)
