#!/usr/bin/env bash
# The benchmark in its short form: builds its programs, checks that the
# baseline writes the same rows as tarnovelix, times one round of each
# command and five per file size of the per-file table, and runs the
# micro-benchmarks briefly; any of them reporting a wrong result fails the
# step. Figures are printed, never compared here.
set -euo pipefail
BENCH_QUICK=1 BENCH_PEERS=0 BENCH_RUNS=1 BENCH_BIG_MB=64 make bench
cmake --build --preset bench -j 2 --target bench_scan_format
build/bench/bench/bench_scan_format --benchmark_min_time=0.01 | tee build/bench-micro.txt
if grep -q "ERROR OCCURRED" build/bench-micro.txt; then
  echo "a micro-benchmark reported a wrong result" >&2
  exit 1
fi
