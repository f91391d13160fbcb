# Benchmark smoke run: builds the benchmarks and runs each of them briefly on small inputs,
# so that they keep working; the full run is `cmake --build B --target bench`.
# packages: build-essential cmake libbenchmark-dev libgtest-dev
set -euo pipefail
cmake -S . -B build-bench -DKEFCONVERT_WERROR=ON -DKEFCONVERT_BUILD_TESTS=OFF \
  -DKEFCONVERT_BUILD_BENCH=ON
cmake --build build-bench -j2 --target kefbench kefbench_tests kefconvert_micro_bench
./build-bench/bench/kefbench_tests
./build-bench/bench/kefbench --mb 2 --runs 1 --tables 2000 --batch 100
./build-bench/bench/kefconvert_micro_bench --benchmark_min_time=0.01
