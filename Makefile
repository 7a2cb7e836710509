# Thin wrapper over the CMake presets. The two commands a newcomer needs:
#   make demo   build the program alone and convert the bundled example
#   make test   build and run every test through ctest
# `make help` lists the rest.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
PROGRAM := build/program/tarnovelix

.PHONY: all help program build demo install test asan-test tsan-test debug-test \
  clang-test portable-test format format-check clean

all: build

help:
	@echo 'make demo           build the program alone, convert examples/scan.dat'
	@echo 'make install        install the program, its manual page and licence'
	@echo '                    under $$(PREFIX) (now $(PREFIX)), into $$(DESTDIR) if set'
	@echo 'make test           build everything and run every test'
	@echo 'make asan-test      the tests under AddressSanitizer and UBSan'
	@echo 'make tsan-test      the tests under ThreadSanitizer'
	@echo 'make clang-test     the tests built with clang++, warnings as errors'
	@echo 'make portable-test  the tests with the portable data pass'
	@echo 'make debug-test     the tests in a debug build'
	@echo 'make format         clang-format every source; format-check checks'
	@echo 'make bench          the benchmark (bench-per-file, bench-batch, bench-micro:'
	@echo '                    its parts; bench-python: scans into arrays;'
	@echo '                    bench-report: --report on and off)'
	@echo 'make python         the Python package as a wheel in dist/'
	@echo 'make fuzz, lint, valgrind-test, windows, windows-test, package, cluster-test'
	@echo 'make clean          remove build/'

# The program alone, without the tests, the Python package and the arrays'
# rooms, which it never links; quiet unless the build fails. Its preset
# compiles each floor as one unit: from a fresh clone here, 25 s and 16
# CPU-seconds against 48 s and 37 CPU-seconds file by file (the same
# machine, a minute apart).
program:
	@mkdir -p build
	@cmake --preset program >build/program.log 2>&1 && \
	  cmake --build --preset program -j $(JOBS) >>build/program.log 2>&1 || \
	  { cat build/program.log; exit 1; }

build:
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

demo: program
	@echo '$$ tarnovelix examples/scan.dat build/scan.ntp'
	@$(PROGRAM) examples/scan.dat build/scan.ntp
	@echo
	@echo '$$ head -n 12 build/scan.ntp'
	@head -n 12 build/scan.ntp
	@echo "... $$(wc -l < build/scan.ntp) rows in build/scan.ntp"

install: program
	DESTDIR="$(DESTDIR)" cmake --install build/program --prefix "$(PREFIX)"

# The C++ tests, then the Python package's (pytest; label python), when
# pybind11 was found; the last line names what the build left out and the
# packages that bring it.
test: build
	ctest --preset release -j $(JOBS) -LE python
	ctest --preset release -L python --output-on-failure
	@if [ -f build/release/skipped.txt ]; then echo "skipped: $$(cat build/release/skipped.txt)"; fi

asan-test:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# Every test again under ThreadSanitizer: the rows of large files are
# written from a thread of their own, and a batch converts on several.
tsan-test:
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

debug-test:
	cmake --preset debug >/dev/null
	cmake --build --preset debug -j $(JOBS)
	ctest --preset debug -j $(JOBS)

# Both compilers, warnings as errors: what CI builds.
clang-test:
	cmake --preset ci-clang >/dev/null
	cmake --build --preset ci-clang -j $(JOBS)
	ctest --preset ci-clang -j $(JOBS)

# The data pass with plain byte loops instead of SSE2, as on processors
# without it.
portable-test:
	cmake --preset portable >/dev/null
	cmake --build --preset portable -j $(JOBS)
	ctest --preset portable -j $(JOBS)

SOURCES := $(shell git ls-files '*.cpp' '*.hpp' '*.c' 2>/dev/null)

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run -Werror $(SOURCES)

clean:
	rm -rf build

# Further targets (bench, fuzz, lint, windows, package) live beside the parts
# they drive.
-include mk/*.mk
