#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP at random moments: in a batch of four jobs
# that replaces 40 row files, and in single runs that replace one large
# row file. The signal may come before the program has started, while its
# jobs create, fill, rename and remove temporary files, or after it has
# ended. Each trial must end with status 0 or 128 + the signal's number,
# leave no temporary file, and leave every row file either as it was or
# with its complete new rows (those of an uninterrupted run), never
# anything else. The script prints how many trials failed each way.
#   random_signals.sh BINARY SCRATCH TRIALS [LAUNCHER]
set -eu
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
trials=$3
launcher=${4:-}
if [ -n "$launcher" ]; then
  echo "skipped: signals would reach the launcher, not the program"
  exit 77
fi
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
# A pattern that matches nothing is no word at all.
shopt -s nullglob

# make_input FILE LINES: a header and LINES data lines of 20 values.
make_input() {
  awk -v lines="$2" 'BEGIN {
    print "# random signals"; print "points 1 2 3 4"; print "events 5 6 7 8"
    print "label"
    for (i = 0; i < lines; i++) {
      line = i; for (j = 0; j < 20; j++) line = line " " (i * 31 + j)
      print line
    }
  }' >"$1"
}
mkdir b
for i in $(seq 1 40); do make_input "b/f$i.dat" 600; done
make_input single.dat 40000
echo "rows of an earlier run" >old.ntp
old=$(md5sum <old.ntp | cut -d' ' -f1)

# The complete rows, and how long an uninterrupted run of each kind takes.
now_ms() { echo $(($(date +%s%N) / 1000000)); }
start=$(now_ms)
"$binary" --batch -j 4 -q b/f*.dat >/dev/null
batch_ms=$(($(now_ms) - start))
start=$(now_ms)
"$binary" single.dat single.ntp >/dev/null
single_ms=$(($(now_ms) - start))
batch_rows=$(md5sum <b/f1.ntp | cut -d' ' -f1)
single_rows=$(md5sum <single.ntp | cut -d' ' -f1)
echo "uninterrupted: batch $batch_ms ms, single run $single_ms ms"

declare -A runs=() left=() wrong_status=() damaged=() ended=()
signals=(TERM INT HUP)
for trial in $(seq 1 "$trials"); do
  signal=${signals[$((trial % 3))]}
  if [ $((trial % 2)) -eq 0 ]; then
    mode=batch
    tee b/f*.ntp <old.ntp >/dev/null
    rows=$batch_rows
    command=("$binary" --batch -j 4 -q b/f*.dat)
    longest=$batch_ms
  else
    mode=single
    cp old.ntp single.ntp
    rows=$single_rows
    command=("$binary" single.dat single.ntp)
    longest=$single_ms
  fi
  # Anywhere from before the start to about the end: starting sleep(1)
  # takes a few milliseconds of its own.
  delay=$((RANDOM % (longest + 1)))
  # A background job of a script ignores SIGINT unless given it back.
  env --default-signal=INT "${command[@]}" >/dev/null 2>&1 </dev/null &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -"$signal" "$pid" 2>/dev/null || true
  code=0
  # (Without the shell's report of how the job ended.)
  wait "$pid" 2>/dev/null || code=$?
  runs[$mode]=$((${runs[$mode]:-0} + 1))
  if [ "$code" -eq $((128 + $(kill -l "$signal"))) ]; then
    ended[$mode]=$((${ended[$mode]:-0} + 1))
  elif [ "$code" -ne 0 ]; then
    wrong_status[$mode]=$((${wrong_status[$mode]:-0} + 1))
    echo "$mode, SIG$signal after $delay ms: status $code" >&2
  fi
  temporaries=(.*.tnx-* b/.*.tnx-*)
  if [ ${#temporaries[@]} -gt 0 ]; then
    left[$mode]=$((${left[$mode]:-0} + 1))
    echo "$mode, SIG$signal after $delay ms: ${#temporaries[@]} temporary files left" >&2
    rm -f "${temporaries[@]}"
  fi
  if [ "$mode" = batch ]; then
    bad=$(md5sum b/f*.ntp | awk -v old="$old" -v new="$rows" \
      '$1 != old && $1 != new { n++ } END { print n + 0 }')
    rows_files=(b/*.ntp)
    bad=$((bad + 40 - ${#rows_files[@]}))
  else
    bad=$(md5sum single.ntp 2>/dev/null | awk -v old="$old" -v new="$rows" \
      '$1 == old || $1 == new { n++ } END { print 1 - n }')
  fi
  if [ "$bad" -gt 0 ]; then
    damaged[$mode]=$((${damaged[$mode]:-0} + 1))
    echo "$mode, SIG$signal after $delay ms: $bad row files neither old nor complete" >&2
  fi
done

status=0
for mode in batch single; do
  echo "$mode: ${runs[$mode]:-0} trials, ${ended[$mode]:-0} ended by the signal;" \
    "temporary files left in ${left[$mode]:-0}, wrong status in" \
    "${wrong_status[$mode]:-0}, damaged row files in ${damaged[$mode]:-0}"
  [ "${left[$mode]:-0}${wrong_status[$mode]:-0}${damaged[$mode]:-0}" = 000 ] || status=1
done
exit $status
