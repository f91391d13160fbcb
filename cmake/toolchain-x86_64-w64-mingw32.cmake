# Cross-compiles for 64-bit Windows with the MinGW-w64 toolchain (Debian: g++-mingw-w64-x86-64,
# mingw-w64-tools). The C and C++ runtimes are linked in statically, so the tool and the DLL
# need nothing but the DLLs that come with Windows.
#
#   cmake -S . -B build-win64 --toolchain cmake/toolchain-x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(KEFCONVERT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KEFCONVERT_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${KEFCONVERT_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${KEFCONVERT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KEFCONVERT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
