#!/usr/bin/env bash
# The whole build and test suite again with clang++, warnings as errors.
set -euo pipefail
make clang-test
