# Cross build for 32-bit Windows (i686) with MinGW-w64.
#
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)

# Doubles in SSE2 registers, as on x86-64: the x87 default keeps 80-bit
# intermediates, which can flip threshold and tie decisions between builds.
set(KORV_MINGW_FP_FLAGS "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
