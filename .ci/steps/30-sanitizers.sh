# Every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer in a build
# directory of its own: a memory error, a leak or undefined behaviour fails the step.
# packages: build-essential cmake libgtest-dev
set -euo pipefail
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKEFCONVERT_WERROR=ON \
  -DKEFCONVERT_SANITIZE=address,undefined
cmake --build build-asan -j2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j2
