// Failing a fuzz check: the message goes to standard error and the process aborts, which
// the fuzzing engine records as a crash together with the input that caused it.
#ifndef KEFCONVERT_FUZZ_FUZZ_CHECK_H_
#define KEFCONVERT_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace kefconvert::fuzz {

[[noreturn]] inline void FailCheck(std::string_view what) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

inline void Check(bool condition, std::string_view what) {
  if (!condition) FailCheck(what);
}

}  // namespace kefconvert::fuzz

#endif  // KEFCONVERT_FUZZ_FUZZ_CHECK_H_
