# Cross-compiles for 32-bit Windows with the MinGW-w64 toolchain (Debian: g++-mingw-w64-i686,
# mingw-w64-tools).
#
#   cmake -S . -B build-win32 --toolchain cmake/toolchain-i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KEFCONVERT_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# Every processor that runs a supported Windows has SSE2; the line scan uses it.
set(CMAKE_C_FLAGS_INIT "-msse2")
set(CMAKE_CXX_FLAGS_INIT "-msse2")
