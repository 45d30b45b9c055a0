# What the cross builds for Windows with MinGW-w64 share. Included by the
# toolchain files mingw-i686.cmake and mingw-x86_64.cmake, which set
# CMAKE_SYSTEM_PROCESSOR (the compilers' prefix is PROCESSOR-w64-mingw32) and
# KORV_MINGW_FP_FLAGS (how doubles are computed) first.
#
# The module is built with the compiler's win32 threading variant: its lock
# is a Win32 critical section and nothing pulls in a pthreads emulation. The
# stand-in host and its tests, which use std::thread, are built by a nested
# tree with KORV_MINGW_THREADS=posix (see CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)

if(NOT KORV_MINGW_THREADS)
  set(KORV_MINGW_THREADS win32)
endif()
set(KORV_MINGW_THREADS ${KORV_MINGW_THREADS} CACHE STRING "Threading variant of the compiler: win32 or posix")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORV_MINGW_THREADS)

set(KORV_MINGW_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${KORV_MINGW_PREFIX}-gcc-${KORV_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KORV_MINGW_PREFIX}-g++-${KORV_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KORV_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KORV_MINGW_PREFIX}-gcc-ar-${KORV_MINGW_THREADS} CACHE FILEPATH "")
set(CMAKE_RANLIB ${KORV_MINGW_PREFIX}-gcc-ranlib-${KORV_MINGW_THREADS} CACHE FILEPATH "")

# No fused multiply-add on any target: every build rounds each product.
set(CMAKE_C_FLAGS_INIT "${KORV_MINGW_FP_FLAGS} -ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "${KORV_MINGW_FP_FLAGS} -ffp-contract=off")

# Every program and library carries its own copy of the compiler's runtime,
# so that only Windows system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

set(CMAKE_FIND_ROOT_PATH /usr/${KORV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
