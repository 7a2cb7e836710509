# The benchmark: `make bench` builds the bench preset and runs bench/run.sh
# (about 10 minutes; BENCH_QUICK=1 for a short run, BENCH_PEERS=0 without the
# awk, Python and Perl peers, BENCH_RUNS=N rounds). `make bench-micro` runs
# the micro-benchmarks of the scanners and formatters.
.PHONY: bench bench-tools bench-micro

bench-tools:
	@test -x /usr/bin/time || apt-get install -y --no-install-recommends time
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS) --target tarnovelix datagen baseline floor_writer

bench: bench-tools
	bench/run.sh build/bench

bench-micro: bench-tools
	cmake --build --preset bench -j $(JOBS) --target bench_scan_format
	build/bench/bench/bench_scan_format
