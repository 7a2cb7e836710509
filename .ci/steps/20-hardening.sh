#!/usr/bin/env bash
# Hardening: clang-tidy and cppcheck, then each fuzzer for a short bounded
# time (the corpus replay itself runs in `make test`).
set -euo pipefail
need=()
for pkg in clang-tidy cppcheck libclang-rt-14-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi
make lint
make fuzz FUZZ_SECONDS="${FUZZ_SECONDS:-30}"
