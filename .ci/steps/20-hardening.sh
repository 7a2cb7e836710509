#!/usr/bin/env bash
# Hardening: clang-tidy and cppcheck, then each fuzzer for a short bounded
# time (the corpus replay itself runs in `make test`).
set -euo pipefail
# The fuzzers' runtime comes with the clang that builds them: its major
# version names the package (libclang-rt-14-dev for clang 14).
clang_major=$(clang++ -dumpversion 2>/dev/null | cut -d. -f1 || true)
need=()
for pkg in clang-tidy cppcheck "libclang-rt-${clang_major:-14}-dev"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi
make lint
make fuzz FUZZ_SECONDS="${FUZZ_SECONDS:-30}"
