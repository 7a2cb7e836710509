#!/usr/bin/env bash
# Runs under a limit on the process's memory (ulimit -v), as batch systems
# impose it:
#   1. a data line of 40 MiB converts within 90 MiB;
#   2. and within 8 MiB: a line longer than the input buffer (128 KiB) is
#      taken in pieces, never held whole;
#   3. within every limit from 12 to 24 MiB, a regular row file is written
#      in full: somewhere in that range there is room for the row file's
#      writer thread but not for all its buffers, and the converting thread
#      then writes the rows itself or waits for a buffer to come back.
# Skipped (status 77) under a launcher or a sanitizer, whose own mappings
# do not fit such limits.
#   memory_limit.sh BINARY SCRATCH [LAUNCHER]
set -eu
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
launcher=${3:-}
if [ -n "$launcher" ] || grep -qE "__(asan|tsan)_init" "$binary"; then
  echo "skipped: the limits leave no room for a launcher or a sanitizer"
  exit 77
fi
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
trap 'rm -f long.dat' EXIT

header=$'# memory limit\npoints 1 2 3\nevents 4 5 6\nlabel\n'
{
  printf '%s7 ' "$header"
  yes 9 | head -c 41943040 | tr '\n' ' '
  echo
} >long.dat
# One row per value up to 100; columns the header did not describe have
# the coordinate 0 and the events number 0.
{
  printf '   7 1.000 4 9\n   7 2.000 5 9\n   7 3.000 6 9\n'
  for _ in $(seq 4 100); do printf '   7 0.000 0 9\n'; done
} >long.expected

awk 'BEGIN {
  print "# memory limit"
  print "points 0.5 1 1.5 2 2.5 3 3.5 4"
  print "events 1 2 3 4 5 6 7 8"
  print "label"
  for (i = 0; i < 20000; i++) print i - 10000, i, i * 3, i * 7, 5, i % 9, 17, i * 13, 99
}' >many.dat
"$binary" many.dat many.full >/dev/null

status=0
fail() {
  echo "  $1" >&2
  status=1
}
run_limited() {  # KIB ARGS...: runs the binary under a limit of KIB KiB
  local kib=$1
  shift
  set +e
  (
    ulimit -v "$kib"
    exec "$binary" "$@"
  ) >console.out 2>console.err
  code=$?
  set -e
  # A success says nothing on standard error.
  [ "$code" -eq 0 ] && [ -s console.err ] &&
    fail "standard error: $(head -c 200 console.err)"
  return 0
}

run_limited 92160 long.dat long.ntp
echo "40 MiB line within 90 MiB: status $code"
[ "$code" -eq 0 ] || fail "expected status 0"
cmp -s long.ntp long.expected || fail "the rows of the long line differ"

run_limited 8192 long.dat short.ntp
echo "40 MiB line within 8 MiB: status $code"
[ "$code" -eq 0 ] || fail "expected status 0: $(head -c 200 console.err)"
cmp -s short.ntp long.expected || fail "the rows of the long line differ"

for kib in $(seq 12000 1000 24000); do
  rm -f many.ntp
  run_limited "$kib" many.dat many.ntp
  if [ "$code" -ne 0 ] || ! cmp -s many.ntp many.full; then
    fail "row file within $kib KiB: status $code, rows differ or missing"
  fi
done
echo "row file within 12 to 24 MiB: all rows each time"
exit $status
