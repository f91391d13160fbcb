# The Windows component: KEFConvert.dll and kefconvert.exe cross-compiled for 32-bit and for
# 64-bit Windows, each registered and driven under Wine in a prefix of its width and
# compared with the Linux build; then the ZIP of both, registered from its extracted folder
# in the 64-bit prefix (which has the 32-bit side too).
# packages: build-essential cmake libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev wine wine32:i386 wine64
# architectures: i386
set -euo pipefail
cmake -S . -B build -DKEFCONVERT_WERROR=ON && cmake --build build -j2 --target kefconvert_cli
cmake -S . -B build-win32 --toolchain cmake/toolchain-i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release -DKEFCONVERT_WERROR=ON
cmake --build build-win32 -j2
cmake -S . -B build-win64 --toolchain cmake/toolchain-x86_64-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release -DKEFCONVERT_WERROR=ON -DKEFCONVERT_OTHER_WINDOWS_BUILD=build-win32
cmake --build build-win64 -j2
tests/windows/windows_test.sh build-win32 build build-win64
tests/windows/windows_test.sh build-win64 build
(cd build-win64 && cpack)
tests/windows/package_test.sh build-win64/KEFConvert-*-win.zip build-win64/wineprefix
