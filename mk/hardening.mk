# Hardening: fuzzing, static analysis and memcheck.
#   make fuzz            each libFuzzer target for FUZZ_SECONDS (default 60)
#   make lint            clang-tidy and cppcheck over src/, zero findings
#   make valgrind-test   the test suite with every program under memcheck
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := number_scan run batch packed
FUZZ_WORK := build/fuzz/work
LINT_SOURCES = $(filter-out %_windows.cpp,$(wildcard src/*/*.cpp src/*/*/*.cpp))

.PHONY: fuzz lint tidy cppcheck valgrind-test

# New inputs collect in build/fuzz/work/<target>; the committed seeds in
# fuzz/corpus/<target> are read, never written. fuzz_packed starts from
# fuzz_run's committed inputs, each packed with gzip before it is read.
fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_WORK)/$$t; \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  extra=""; \
	  if [ -f fuzz/$$t.dict ]; then extra="-dict=fuzz/$$t.dict"; fi; \
	  seeds=fuzz/corpus/$$t; [ -d $$seeds ] || seeds=fuzz/corpus/run; \
	  log=$(FUZZ_WORK)/$$t.log; \
	  if ! build/fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) \
	      -max_len=2048 -print_final_stats=1 $$extra \
	      -artifact_prefix=$(FUZZ_WORK)/$$t- \
	      $(FUZZ_WORK)/$$t $$seeds >$$log 2>&1; then \
	    tail -n 40 $$log; exit 1; \
	  fi; \
	  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|peak_rss)' $$log; \
	done

lint: tidy cppcheck

tidy:
	cmake -S . -B build/lint -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
	  -DTNX_BUILD_TESTS=OFF >/dev/null
	clang-tidy -p build/lint --quiet --warnings-as-errors='*' $(LINT_SOURCES)

cppcheck:
	cppcheck --enable=warning,style,performance,portability --std=c++20 \
	  --language=c++ --error-exitcode=1 --inline-suppr --quiet \
	  --suppress=useStlAlgorithm -I src $(LINT_SOURCES)

# Every test program runs under memcheck through the tests' emulator hook,
# the end-to-end cases included (their runner starts the binary through it).
valgrind-test:
	cmake -S . -B build/valgrind -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTNX_STATIC=OFF \
	  -DCMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/tests/fault/memcheck.sh \
	  >/dev/null
	cmake --build build/valgrind -j $(JOBS)
	ctest --test-dir build/valgrind -j $(JOBS) --output-on-failure \
	  -LE exhaustive
