# The benchmark: `make bench` builds the bench preset and runs bench/run.sh
# (about 10 minutes; BENCH_QUICK=1 for a short run, BENCH_PEERS=0 without the
# awk, Python and Perl peers, BENCH_RUNS=N rounds). `make bench-per-file`
# runs only its per-file part (one process per small file; BENCH_QUICK=1 and
# BENCH_FILE_ROUNDS=N apply). `make bench-batch` runs only its last part:
# one --batch run over 300 small files against a shell loop and xargs, one
# process per file (BENCH_QUICK=1 and BENCH_BATCH_ROUNDS=N apply).
# `make bench-replace` runs only its replacing part: a run replacing the
# row file of a small file against the floor of a safe replacement, and
# beside another build when BENCH_BEFORE=program names one
# (BENCH_FILE_ROUNDS=N applies).
# `make bench-micro` runs the micro-benchmarks of the scanners and
# formatters. `make bench-report` times --report on and off. `make bench`
# ends with both `make bench-report` and `make bench-python` (mk/python.mk)
# when the Python package can be built.
.PHONY: bench bench-tools bench-per-file bench-batch bench-replace bench-micro \
  bench-report bench-compress

bench-tools:
	@test -x /usr/bin/time || apt-get install -y --no-install-recommends time
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS) --target tarnovelix datagen baseline floor_writer per_file floor_file start_exit

bench: bench-tools
	bench/run.sh build/bench
	bench/report.sh build/bench $(BENCH_BEFORE)
	bench/compress.sh build/bench
	$(MAKE) --no-print-directory bench-python

bench-per-file: bench-tools
	build/bench/bench/per_file --tarnovelix build/bench/tarnovelix --tools build/bench/bench --data build/bench-data/per-file

bench-batch: bench-tools
	build/bench/bench/per_file --batch-only --tarnovelix build/bench/tarnovelix --tools build/bench/bench --data build/bench-data/per-file

bench-replace: bench-tools
	build/bench/bench/per_file --replace-only --tarnovelix build/bench/tarnovelix --tools build/bench/bench --data build/bench-data/per-file

bench-micro: bench-tools
	cmake --build --preset bench -j $(JOBS) --target bench_scan_format
	build/bench/bench/bench_scan_format

# What --report costs, on and off (BENCH_BEFORE=program: one from before it,
# to compare the program without it).
bench-report: bench-tools
	bench/report.sh build/bench $(BENCH_BEFORE)

# Packed scans read and packed row files written, against the codecs alone
# (bench/compress.sh).
bench-compress: bench-tools
	bench/compress.sh build/bench
