// Runs each measurement in a process of its own, so that the peak resident memory that the
// kernel reports for it belongs to that measurement alone, and no run inherits the heap,
// the page tables or the allocator state of another.
#ifndef KEFCONVERT_BENCH_MEASURE_H_
#define KEFCONVERT_BENCH_MEASURE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace kefconvert::bench {

struct ChildRun {
  std::string output;          // what the child wrote to its standard output
  double wall_seconds = 0;     // from fork to exit, measured by the parent
  double cpu_seconds = 0;      // user and system time of the child
  std::uint64_t peak_rss = 0;  // bytes, as getrusage reports it for the child
  int exit_status = -1;        // -1 when the child did not exit normally
};

/// Runs `argv` (argv[0] is the program's path) and waits for it. The child's standard
/// error stays the parent's. Throws std::runtime_error when the process cannot start.
ChildRun RunChild(const std::vector<std::string>& argv);

/// Seconds on a monotonic clock.
double Now();

/// The median of `values` (the mean of the middle two for an even count); 0 for none.
double Median(std::vector<double> values);

}  // namespace kefconvert::bench

#endif  // KEFCONVERT_BENCH_MEASURE_H_
