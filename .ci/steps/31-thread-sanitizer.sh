# The concurrency tests built with ThreadSanitizer: converters on separate threads must
# share no state, the two threads of a conversion in parts share only what they take in
# turns, and calls on one COM object from several threads must take turns, so any data
# race fails the step.
# packages: build-essential cmake libgtest-dev
set -euo pipefail
cmake -S . -B build-tsan -DKEFCONVERT_SANITIZE=thread -DKEFCONVERT_INSTALL=OFF
cmake --build build-tsan -j2 --target kefconvert_tests kefconvert_component_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/kefconvert_tests \
  --gtest_filter='Concurrency.*:ConversionInParts.*'
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/component/kefconvert_component_tests \
  --gtest_filter='ComConcurrency.*'
