#!/usr/bin/env bash
# The whole test suite again under ThreadSanitizer.
set -euo pipefail
make tsan-test
