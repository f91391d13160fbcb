# Every test again with the converted text written in blocks of 7 bytes, so that every
# flush of a block and every move of a wrongly guessed gap before the body runs, with
# the project file read in blocks of 61 bytes, so that lines cross blocks everywhere, and
# with every project of 100 bytes or more converted in parts of 50 bytes on two threads.
# packages: build-essential cmake libgtest-dev python3
set -euo pipefail
cmake -S . -B build-tiny -DKEFCONVERT_WERROR=ON -DKEFCONVERT_OUTPUT_BLOCK_SIZE=7 \
  -DKEFCONVERT_INPUT_BLOCK_SIZE=61 -DKEFCONVERT_PART_SIZE=50
cmake --build build-tiny -j2
ctest --test-dir build-tiny --output-on-failure -j2
