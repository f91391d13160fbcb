# Cross-compiles for 64-bit Windows with the MinGW-w64 toolchain (Debian: g++-mingw-w64-x86-64,
# mingw-w64-tools).
#
#   cmake -S . -B build-win64 --toolchain cmake/toolchain-x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KEFCONVERT_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
