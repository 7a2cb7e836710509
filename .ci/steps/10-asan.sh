#!/usr/bin/env bash
# The whole test suite again under AddressSanitizer and UBSan.
set -euo pipefail
make asan-test
