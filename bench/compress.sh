#!/usr/bin/env bash
# What packed scans and packed row files cost, against the codecs alone:
# the standard file packed with gzip -6 and zstd -3 converted to /dev/null
# beside the decompression alone into /dev/null; and a row file written as
# .zst and .gz beside the pipe a user would write (the rows on standard
# output packed by `zstd -T0 -1` or `gzip -1`). Round after round, side by
# side; prints the median time of each, the ratios and the sizes.
#   compress.sh BIN_DIR
#   BIN_DIR: a build folder holding tarnovelix and bench/datagen
#   BENCH_RUNS=N rounds (default 7); BENCH_QUICK=1: a smaller file
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
tnx=$bin_dir/tarnovelix
datagen=$bin_dir/bench/datagen
runs=${BENCH_RUNS:-7}
data=$(dirname "$bin_dir")/bench-data/compress
mkdir -p "$data"
lines=200000
[[ ${BENCH_QUICK:-0} == 1 ]] && lines=40000
std=$data/standard.dat
"$datagen" standard "$lines" >"$std"
gzip -6 -c "$std" >"$std.gz"
zstd -q -3 -c "$std" >"$std.zst"
out=$data/out

# time_once COMMAND: microseconds of one run of the shell COMMAND.
time_once() {
  local t0 t1
  rm -f "$out".*
  t0=$EPOCHREALTIME
  bash -c "$1" >/dev/null 2>&1
  t1=$EPOCHREALTIME
  echo $(( ${t1/./} - ${t0/./} ))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Each pair: the program's way, then the floor it is held against.
names=(read-gz gunzip read-zst unzstd write-zst pipe-zst write-gz pipe-gz)
declare -A cmd=(
  [read-gz]="'$tnx' '$std.gz' /dev/null"
  [gunzip]="gzip -dc '$std.gz' >/dev/null"
  [read-zst]="'$tnx' '$std.zst' /dev/null"
  [unzstd]="zstd -dc '$std.zst' >/dev/null"
  [write-zst]="'$tnx' '$std' '$out.ntp.zst'"
  [pipe-zst]="'$tnx' '$std' - 2>/dev/null | zstd -q -T0 -1 >'$out.ntp.zst'"
  [write-gz]="'$tnx' '$std' '$out.ntp.gz'"
  [pipe-gz]="'$tnx' '$std' - 2>/dev/null | gzip -1 >'$out.ntp.gz'"
)
declare -A times=()
for _ in $(seq "$runs"); do
  for n in "${names[@]}"; do times[$n]+="$(time_once "${cmd[$n]}") "; done
done

declare -A med=()
for n in "${names[@]}"; do med[$n]=$(tr ' ' '\n' <<<"${times[$n]}" | grep . | median); done
"$tnx" "$std" "$out.plain" >/dev/null
"$tnx" "$std" "$out.ntp.zst" >/dev/null
"$tnx" "$std" "$out.ntp.gz" >/dev/null
size() { wc -c <"$1" | awk '{ printf "%.1f MB", $1 / 1e6 }'; }
echo "Packed scans and row files: medians of $runs runs, the standard file"
echo "($(size "$std") of scan, $(size "$std.gz") gzip -6, $(size "$std.zst") zstd -3;"
echo " $(size "$out.plain") of rows, $(size "$out.ntp.zst") as .zst, $(size "$out.ntp.gz") as .gz)"
row() {
  awk -v a="$1" -v b="$2" -v ta="${med[$1]}" -v tb="${med[$2]}" -v goal="$3" 'BEGIN {
    printf "  %-10s %7.3f s   %-10s %7.3f s   ratio %.2f (goal <= %s)\n",
      a, ta / 1e6, b, tb / 1e6, ta / tb, goal }'
}
row read-gz gunzip 1.15
row read-zst unzstd 1.15
row write-zst pipe-zst 1.1
row write-gz pipe-gz 1.1
