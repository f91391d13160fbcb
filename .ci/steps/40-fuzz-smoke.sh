# A short fuzz run of each libFuzzer target (60 s each) on top of the seed corpus in fuzz/.
# An input that fails a check fails the step; it is kept in build-fuzz/fuzz/artifacts/.
# packages: clang libclang-rt-14-dev cmake
set -euo pipefail
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKEFCONVERT_BUILD_FUZZERS=ON \
  -DKEFCONVERT_BUILD_TESTS=OFF -DKEFCONVERT_INSTALL=OFF -DKEFCONVERT_WERROR=ON
cmake --build build-fuzz -j2 --target fuzz_smoke
