#!/usr/bin/env bash
# The whole test suite again under ThreadSanitizer: the rows of large files
# are written from a thread of their own, and a batch converts on several.
set -euo pipefail
if ! dpkg -s libtsan2 >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libtsan2
fi
make tsan-test
