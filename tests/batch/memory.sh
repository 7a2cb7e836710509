#!/usr/bin/env bash
# A batch's memory does not grow with its length or with the size of its
# files: at most 8 MiB of peak resident memory per job, measured by
# peak_rss (wait4's ru_maxrss of the whole process). CHECK is one of:
#   empty-files   10,000 empty files, -j 2 (limit 16 MiB): every row file
#                 made, every file's line in order, the summary;
#   text-files    3,000 files whose header makes 3.8 kB of console text
#                 each, -j 1 (limit 8 MiB): a text already shown must not
#                 stay in memory;
#   names         100,000 empty files named on one command line, -j 1
#                 (limit 16 MiB, the names themselves included): what a
#                 batch keeps per file must be a few bytes, not a record
#                 with strings;
#   stream=BYTES  one input of BYTES bytes read from a FIFO fed by a
#                 generator, its row file a symbolic link to /dev/null,
#                 which is written directly, so nothing reaches the disk
#                 (limit 8 MiB): status 0 once the whole stream is read,
#                 and the header's text.
# Under a sanitizer the resident memory is the sanitizer's: with a reason
# as NO_LIMIT, empty-files runs without its limit (its many files on two
# threads are worth a run under ThreadSanitizer) and the others report
# themselves skipped (status 77).
#   memory.sh BINARY CASES_DIR SCRATCH PEAK_RSS CHECK [NO_LIMIT]
set -eu
check=$5
no_limit=${6:-}
if [ -n "$no_limit" ] && [ "$check" != empty-files ]; then
  echo "skipped: $no_limit"
  exit 77
fi
peak_rss=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")
. "$(dirname "$0")/common.sh"
batch_setup "$1" "$2" "$3"
LIMIT_PER_JOB=$((8 * 1024))

# measure LABEL JOBS ARG...: runs the program with ARG... under peak_rss,
# standard output and error to got.*, its status in $code, and checks the
# peak against the limit for JOBS jobs.
measure() {
  local label=$1 jobs=$2 peak
  shift 2
  code=0
  "$peak_rss" rss.txt "$binary" "$@" >got.stdout 2>got.stderr </dev/null || code=$?
  peak=$(cat rss.txt)
  if [ -n "$no_limit" ]; then
    echo "$label: peak resident memory $peak KiB, not checked: $no_limit"
  elif [ "$peak" -gt $((jobs * LIMIT_PER_JOB)) ]; then
    fail "$label: peak resident memory $peak KiB, more than $jobs x $LIMIT_PER_JOB KiB"
  else
    echo "$label: peak resident memory $peak KiB (limit $((jobs * LIMIT_PER_JOB)) KiB)"
  fi
}

case "$check" in
  empty-files | text-files)
    if [ "$check" = empty-files ]; then
      count=10000 jobs=2 text=
    else
      count=3000 jobs=1
      head -n 4 "$cases/long_header_lines/input.dat" >header.dat
      IFS= read -r -d '' text <"$cases/long_header_lines/expected.stdout" || true
    fi
    label="$count files, -j $jobs"
    mkdir e
    if [ -z "$text" ]; then
      (cd e && seq -f 'f%05g.dat' 1 $count | xargs touch)
    else
      IFS= read -r -d '' header <header.dat || true
      for i in $(seq -f '%05g' 1 $count); do printf '%s' "$header" >"e/f$i.dat"; done
    fi
    want_start
    for i in $(seq -f '%05g' 1 $count); do
      printf '== e/f%s.dat -> out/f%s.ntp\n%s' "$i" "$i" "$text"
    done >want.stdout
    want_summary $count $count 0
    measure "$label" $jobs --batch -j $jobs -o out e/*.dat
    [ "$code" -eq 0 ] || fail "$label: status $code"
    compare_text "$label: standard output" want.stdout got.stdout
    compare_text "$label: standard error" want.stderr got.stderr
    made=$(find out -type f -name 'f*.ntp' -size 0 | wc -l)
    [ "$made" -eq $count ] || fail "$label: $made empty row files made, not $count"
    [ "$(ls -A out | wc -l)" -eq $count ] || fail "$label: other files in out/"
    ;;
  names)
    count=100000
    label="$count names, -j 1"
    mkdir e
    (cd e && seq -f '%06g' 1 $count | xargs touch)
    # e/*: one command line of 1.7 MB, within the system's usual 2 MiB.
    measure "$label" 2 --batch -j 1 -q -o out e/*
    [ "$code" -eq 0 ] || fail "$label: status $code: $(head -c 300 got.stderr)"
    printf '\n== %s files: %s converted, 0 failed\n' $count $count |
      cmp -s - got.stdout || fail "$label: standard output: $(head -c 300 got.stdout)"
    made=$(find out -type f -size 0 | wc -l)
    [ "$made" -eq $count ] || fail "$label: $made row files made, not $count"
    ;;
  stream=*)
    bytes=${check#stream=}
    label="one file of $bytes bytes through a FIFO"
    mkfifo big.fifo
    ln -s /dev/null big.ntp
    {
      head -n 4 "$cases/five_line_example/input.dat"
      yes '7 100 200 300 4000 50000 600000 7000000 80000000 900000000' | head -c "$bytes"
    } >big.fifo &
    feeder=$!
    want_start
    want_file big.fifo big.ntp five_line_example
    want_summary 1 1 0
    measure "$label" 1 --batch big.fifo
    # A run that stopped reading leaves the generator with a broken pipe; one
    # that never opened the FIFO, waiting to open it.
    [ "$code" -eq 0 ] || kill "$feeder" 2>/dev/null || true
    fed=0
    wait "$feeder" || fed=$?
    [ "$code" -eq 0 ] || fail "$label: status $code"
    [ "$fed" -eq 0 ] || fail "$label: the stream was not read to its end (generator status $fed)"
    compare_text "$label: standard output" want.stdout got.stdout
    compare_text "$label: standard error" want.stderr got.stderr
    [ -L big.ntp ] && [ "$(readlink big.ntp)" = /dev/null ] ||
      fail "$label: the link big.ntp was replaced"
    ;;
  *)
    echo "unknown check: $check" >&2
    exit 2
    ;;
esac
exit $status
