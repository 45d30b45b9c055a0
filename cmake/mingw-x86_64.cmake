# Cross build for 64-bit Windows (x86-64) with MinGW-w64.
#
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# Doubles are computed in SSE2 registers on x86-64 by default, as in the
# native build; nothing to add.
set(KORV_MINGW_FP_FLAGS "")

include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
