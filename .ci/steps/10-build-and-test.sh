# The README's test command: build everything and run every test.
# packages: build-essential cmake libgtest-dev python3
set -euo pipefail
cmake -S . -B build -DKEFCONVERT_WERROR=ON && cmake --build build -j2 && ctest --test-dir build --output-on-failure
