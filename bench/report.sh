#!/usr/bin/env bash
# What --report costs: the standard and the messy file converted side by
# side, round after round, without and with --report, into a row file and
# into /dev/null, and (when a program from before --report is given) that
# program without it, to show that the report costs nothing when off.
# Prints the median time of each and the ratios.
#   report.sh BIN_DIR [BEFORE_PROGRAM]
#   BIN_DIR: a build folder holding tarnovelix and bench/datagen
#   BENCH_RUNS=N rounds (default 9); BENCH_QUICK=1: smaller files
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
tnx=$bin_dir/tarnovelix
datagen=$bin_dir/bench/datagen
before=${2:-}
runs=${BENCH_RUNS:-9}
data=$(dirname "$bin_dir")/bench-data/report
mkdir -p "$data"
lines=100000
[[ ${BENCH_QUICK:-0} == 1 ]] && lines=40000
"$datagen" standard "$lines" >"$data/standard.dat"
"$datagen" messy $((lines * 2 / 5)) >"$data/messy.dat"

# time_once FILE OUT PROGRAM [OPTION...]: microseconds of one run of
# PROGRAM FILE OUT OPTION... (OUT removed and synced first, untimed). The
# options follow the names, as --report does, with no shell started in
# between to put them there: under load, starting one cost more than the
# report.
time_once() {
  local in=$1 out=$2 program=$3 t0 t1
  shift 3
  if [[ $out != /dev/null ]]; then rm -f "$out"; sync; fi
  t0=$EPOCHREALTIME
  "$program" "$in" "$out" "$@" >/dev/null 2>&1
  t1=$EPOCHREALTIME
  echo $(( ${t1/./} - ${t0/./} ))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A times=()
variants=(off on)
[[ -n $before ]] && variants=(before off on)
for round in $(seq "$runs"); do
  for shape in standard messy; do
    for out in "$data/rows.ntp" /dev/null; do
      for v in "${variants[@]}"; do
        case $v in
          before) cmd=("$before") ;;
          off) cmd=("$tnx") ;;
          on) cmd=("$tnx" --report) ;;
        esac
        key="$shape ${out##*/} $v"
        times[$key]+="$(time_once "$data/$shape.dat" "$out" "${cmd[@]}") "
      done
    done
  done
done
rm -f "$data/rows.ntp"

echo "== --report: median of $runs rounds, side by side (ms; ratio to off)"
printf '  %-9s %-9s' shape output
for v in "${variants[@]}"; do printf ' %10s' "$v"; done
printf ' %9s %9s\n' on/off "${before:+before/off}"
for shape in standard messy; do
  for out in rows.ntp null; do
    printf '  %-9s %-9s' "$shape" "$out"
    declare -A m=()
    for v in "${variants[@]}"; do
      m[$v]=$(tr ' ' '\n' <<<"${times[$shape $out $v]}" | grep . | median)
      printf ' %10.1f' "$(awk -v t="${m[$v]}" 'BEGIN { print t / 1000 }')"
    done
    printf ' %9.2f' "$(awk -v a="${m[on]}" -v b="${m[off]}" 'BEGIN { print a / b }')"
    [[ -n $before ]] &&
      printf ' %9.2f' "$(awk -v a="${m[before]}" -v b="${m[off]}" 'BEGIN { print a / b }')"
    echo
  done
done
