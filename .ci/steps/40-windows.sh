# The Windows component: KEFConvert.dll and kefconvert.exe cross-compiled for 32-bit
# Windows, then registered and driven under Wine and compared with the Linux build.
# packages: build-essential cmake libgtest-dev g++-mingw-w64-i686 mingw-w64-tools libwine-dev wine wine32:i386
# architectures: i386
set -euo pipefail
cmake -S . -B build -DKEFCONVERT_WERROR=ON && cmake --build build -j2 --target kefconvert_cli
cmake -S . -B build-win32 --toolchain cmake/toolchain-i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release -DKEFCONVERT_WERROR=ON
cmake --build build-win32 -j2
tests/windows/windows_test.sh build-win32 build
