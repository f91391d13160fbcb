# The concurrency tests built with ThreadSanitizer: converters on separate threads must
# share no state, so any data race between them fails the step.
# packages: build-essential cmake libgtest-dev
set -euo pipefail
cmake -S . -B build-tsan -DKEFCONVERT_SANITIZE=thread -DKEFCONVERT_INSTALL=OFF
cmake --build build-tsan -j2 --target kefconvert_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/kefconvert_tests --gtest_filter='Concurrency.*'
