#!/usr/bin/env bash
# The whole test suite again with the data pass's plain byte loops, the path
# of processors without SSE2, warnings as errors.
set -euo pipefail
make portable-test
