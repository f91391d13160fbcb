# What both MinGW-w64 toolchain files share, for the prefix KEFCONVERT_MINGW_PREFIX that each
# sets: the compilers, where to find the target's headers and libraries, and a static C and
# C++ runtime, so that the tool and the DLL need nothing but the DLLs that come with Windows.
set(CMAKE_SYSTEM_NAME Windows)

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
