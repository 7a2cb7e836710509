#!/bin/sh
# Lists the functions a short run of the program goes through, the C and C++
# runtimes' included, for the linker to lay out side by side at the start of
# the program's code (cmake/start_order.txt, used where lld links the
# program). A run that starts, converts a small file and exits then faults
# on a few 64 KiB windows of code instead of one window per function spread
# over 1.7 MB.
#
#   scripts/start_order.sh PROGRAM SCAN cmake/start_order.txt
#
# PROGRAM is a static build of tarnovelix, SCAN a small scan file (for
# example examples/scan.dat); the names found are added to the end of the
# list, those already in it kept in their place. The runs are watched with
# valgrind's callgrind: a new row file, the same row file replaced, and a
# missing input. valgrind picks the string functions of its own processor model, so
# for each one called, its variants for the usual processors are listed
# too; and every function the start runs to choose those variants. Where
# perf is there, the code and data a real run faults on are added as well,
# which valgrind's own start never reaches (run the script again on a
# program linked with the new list: the first faults on a window hide the
# next ones).
set -eu

program=$1
scan=$2
list=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

watch() {
  valgrind --tool=callgrind --demangle=no \
    --callgrind-out-file="$work/calls.$1" "$program" "$2" "$3" \
    >/dev/null 2>&1 || true
}
cp "$scan" "$work/scan.dat"
watch new "$work/scan.dat" "$work/rows.ntp"
watch replace "$work/scan.dat" "$work/rows.ntp"
watch missing "$work/missing.dat" "$work/missing.ntp"

nm "$program" >"$work/symbols"
touch "$list"
{
  cat "$list"
  echo _start
  # The functions callgrind saw, by name (not its "(below main)" or bare
  # addresses).
  sed -n 's/^c\{0,1\}fn=([0-9]*) //p' "$work"/calls.* |
    grep -v -e '^(' -e '^0x'
  # The variant choosers the start runs, one per indirect function.
  awk '$2 == "i" { print $1 }' "$work/symbols" | sort -u >"$work/chosen"
  awk '$2 == "t" || $2 == "T" { print $1, $3 }' "$work/symbols" |
    sort >"$work/code"
  join "$work/chosen" "$work/code" | awk '{ print $2 }'
  # The variants of the string functions called, for the processors of
  # today (AVX2, AVX-512, SSE4.2).
  sed -n 's/^c\{0,1\}fn=([0-9]*) \(__[a-z]*\)_\(avx\|sse\|evex\).*/\1/p' \
    "$work"/calls.* | sort -u | while read -r family; do
    awk -v f="$family" '$3 ~ "^" f "_(avx2|avx512_un|avx_un|evex|sse4)" \
      && $3 !~ /_rtm$/ { print $3 }' "$work/symbols"
  done
  # What a real run faults on, by name (perf resolves the addresses).
  if command -v perf >/dev/null 2>&1; then
    cp "$scan" "$work/scan.dat"
    perf record -q -e page-faults -c 1 -d -o "$work/faults" \
      "$program" "$work/scan.dat" "$work/rows.ntp" >/dev/null 2>&1 || true
    perf report -i "$work/faults" --mem-mode --sort symbol_daddr --no-demangle --stdio \
      2>/dev/null | sed -n 's/^ *[0-9.]*%  \[\.\] \([^ ]*\).*/\1/p' |
      sed 's/+0x[0-9a-f]*$//' | grep -v '^0x'
  fi
} | awk '!seen[$0]++' >"$work/list"
cp "$work/list" "$list"
