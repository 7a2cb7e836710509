#!/usr/bin/env bash
# Scale checks, not part of CI (minutes of CPU, a few hundred MB of scratch):
#   1. more than 4 GiB of input streamed through a pipe, generated on the fly,
#      rows counted through a named pipe: nothing of it touches the disk;
#   2. a file of ten million empty lines;
#   3. a single data line of 100 MB.
# Each prints the size, the wall time and the peak memory of the converter
# (GNU time), and fails when the row count is not the one expected.
#   scripts/stress.sh [binary]     (default build/release/tarnovelix)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release/tarnovelix}
if [ ! -x "$bin" ]; then make build >/dev/null; fi
if [ ! -x /usr/bin/time ]; then
  echo "GNU time is missing: apt-get install time" >&2
  exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# GiB of input for the streaming check; STRESS_GIB=1 for a quicker run.
gib=${STRESS_GIB:-4.5}
header=$'# stress\npoints 0.5 1 1.5 2 2.5 3 3.5 4 4.5 5\nevents 1 2 3 4 5 6 7 8 9 10\nlabel\n'
data_line='-1234 1 22 333 4444 55555 666666 7777777 88888888 999999999 4294967295'
values_per_line=10

failed=0
report() {  # name bytes rows_expected rows_got time_file
  local wall peak
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$5")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$5")
  printf '%-22s %14s bytes  %12s rows  wall %8s  peak RSS %7s KiB\n' \
    "$1" "$2" "$4" "$wall" "$peak"
  if [ "$3" != "$4" ]; then
    echo "  FAILED: expected $3 rows" >&2
    failed=1
  fi
}

# 1. The stream. `yes` repeats the data line as fast as the pipe takes it.
lines=$(awk -v g="$gib" -v n=${#data_line} 'BEGIN { printf "%d", g * 2^30 / (n + 1) + 1 }')
bytes=$(( ${#header} + lines * (${#data_line} + 1) ))
mkfifo "$scratch/rows"
wc -l <"$scratch/rows" >"$scratch/count" &
counter=$!
{ printf '%s' "$header"; { yes -- "$data_line" || true; } | head -n "$lines"; } |
  /usr/bin/time -v -o "$scratch/time1" "$bin" /dev/stdin "$scratch/rows" >/dev/null
wait "$counter"
report "stream through a pipe" "$bytes" $((lines * values_per_line)) \
  "$(tr -d ' ' <"$scratch/count")" "$scratch/time1"

# 2. Ten million empty lines: no rows, and no time lost per line.
{ yes '' || true; } | head -n 10000000 >"$scratch/empty.dat"
/usr/bin/time -v -o "$scratch/time2" "$bin" "$scratch/empty.dat" "$scratch/empty.ntp" >/dev/null
report "10^7 empty lines" "$(stat -c %s "$scratch/empty.dat")" 0 \
  "$(wc -l <"$scratch/empty.ntp")" "$scratch/time2"

# 3. One data line of 100 MB: a label and values; the first 100 give rows.
{
  printf '%s7' "$header"
  { yes -- ' 123456789' || true; } | head -n 10000000 | tr -d '\n'
  printf '\n'
} >"$scratch/long.dat"
/usr/bin/time -v -o "$scratch/time3" "$bin" "$scratch/long.dat" "$scratch/long.ntp" >/dev/null
report "one 100 MB line" "$(stat -c %s "$scratch/long.dat")" 100 \
  "$(wc -l <"$scratch/long.ntp")" "$scratch/time3"

exit $failed
