# Cross build for 32-bit Windows (i686) with MinGW-w64.
#
#   cmake -S . -B build-win32 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKORV_HOST_TOOLS=OFF
#
# The module is built with the compiler's win32 threading variant: its lock
# is a Win32 critical section and nothing pulls in a pthreads emulation. The
# stand-in host and its tests, which use std::thread, are built by a nested
# tree with KORV_MINGW_THREADS=posix (see CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

if(NOT KORV_MINGW_THREADS)
  set(KORV_MINGW_THREADS win32)
endif()
set(KORV_MINGW_THREADS ${KORV_MINGW_THREADS} CACHE STRING "Threading variant of the compiler: win32 or posix")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORV_MINGW_THREADS)

set(KORV_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KORV_MINGW_PREFIX}-gcc-${KORV_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KORV_MINGW_PREFIX}-g++-${KORV_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KORV_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KORV_MINGW_PREFIX}-gcc-ar-${KORV_MINGW_THREADS} CACHE FILEPATH "")
set(CMAKE_RANLIB ${KORV_MINGW_PREFIX}-gcc-ranlib-${KORV_MINGW_THREADS} CACHE FILEPATH "")

# Doubles in SSE2 registers, as on x86-64: the x87 default keeps 80-bit
# intermediates, which can flip threshold and tie decisions between builds.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -ffp-contract=off")

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
