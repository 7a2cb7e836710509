# The Python package (python/). `make python` builds its wheel into dist/
# with Debian's python3-build, python3-wheel and python3-setuptools, without
# build isolation, so nothing is downloaded; install it with pip into a
# venv made with --system-site-packages (NumPy and pandas from Debian).
# `make bench-python` times reading scans into arrays (with and without the
# report) side by side with the command line and the pandas peers, each
# ratio printed with its target and whether it is met (BENCH_QUICK=1: a
# 20,000-line file).
PYTHON ?= /usr/bin/python3

.PHONY: python python-test bench-python

python:
	rm -rf python/build python/*.egg-info
	JOBS=$(JOBS) $(PYTHON) -m build --wheel --no-isolation --outdir dist python
	@ls dist/*.whl

# The package's tests against the release build (also part of `make test`).
python-test: build
	ctest --preset release -L python --output-on-failure

bench-python: build
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS) --target datagen
	PYTHONPATH=build/release/python $(PYTHON) bench/bench_python.py \
	  --program build/release/tarnovelix --datagen build/bench/bench/datagen \
	  $(if $(BENCH_QUICK),--lines 20000 --rounds 3)
