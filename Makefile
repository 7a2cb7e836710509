# Thin wrapper over the CMake presets. The two commands a newcomer needs:
#   make demo   build in release mode and convert the bundled example
#   make test   build and run every test through ctest
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BIN := build/release/tarnovelix

.PHONY: all build demo test asan-test debug-test clang-test portable-test format format-check clean

all: build

build:
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

demo: build
	@echo '$$ tarnovelix examples/scan.dat build/scan.ntp'
	@$(BIN) examples/scan.dat build/scan.ntp
	@echo
	@echo '$$ head -n 12 build/scan.ntp'
	@head -n 12 build/scan.ntp
	@echo "... $$(wc -l < build/scan.ntp) rows in build/scan.ntp"

test: build
	ctest --preset release -j $(JOBS)

asan-test:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

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

SOURCES := $(shell git ls-files '*.cpp' '*.hpp' 2>/dev/null)

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run -Werror $(SOURCES)

clean:
	rm -rf build

# Further targets (bench, fuzz, lint, windows, package) live beside the parts
# they drive.
-include mk/*.mk
