#!/usr/bin/env bash
# A batch whose standard output is closed early, as by `| head -c 100`:
# four jobs replace 400 row files that already exist, and the main thread
# takes SIGPIPE at its next text while the jobs go on creating temporary
# files. Each run must end by SIGPIPE (status 141), leave no temporary
# file, and leave every row file either as it was or with its complete new
# rows. The runs are repeated, since a run that leaves a file behind does
# so only when the signal meets a job between two of its steps; the script
# prints how many runs failed each way.
#   broken_pipe.sh BINARY CASES_DIR SCRATCH RUNS
set -eu
. "$(dirname "$0")/common.sh"
runs=$4
batch_setup "$1" "$2" "$3"

mkdir in
sample five_line_example in/f000.dat
echo "rows of an earlier run" >old.ntp
for i in $(seq 0 399); do
  name=in/f$(printf %03d "$i")
  [ "$i" -eq 0 ] || cp in/f000.dat "$name.dat"
  cp old.ntp "$name.ntp"
done
old=$(md5sum <old.ntp | cut -d' ' -f1)
new=$(md5sum <"$cases/five_line_example/expected.rows" | cut -d' ' -f1)

left=0 wrong_status=0 damaged=0
for run in $(seq 1 "$runs"); do
  # Every row file back to its earlier content.
  tee in/f*.ntp <old.ntp >/dev/null
  set +e
  "$binary" --batch -j 4 in/f*.dat 2>/dev/null </dev/null | head -c 100 >/dev/null
  code=${PIPESTATUS[0]}
  set -e
  [ "$code" -eq 141 ] || {
    wrong_status=$((wrong_status + 1))
    echo "run $run: status $code, expected 141" >&2
  }
  temporaries=$(find in -name '.*.tnx-*' | wc -l)
  if [ "$temporaries" -gt 0 ]; then
    left=$((left + 1))
    echo "run $run: $temporaries temporary files left" >&2
    find in -name '.*.tnx-*' -delete
  fi
  # Neither the earlier content nor the complete rows, or missing.
  bad=$(md5sum in/f*.ntp | awk -v old="$old" -v new="$new" \
    '$1 != old && $1 != new { n++ } END { print n + 0 }')
  bad=$((bad + 400 - $(find in -name 'f*.ntp' | wc -l)))
  if [ "$bad" -gt 0 ]; then
    damaged=$((damaged + 1))
    echo "run $run: $bad row files neither old nor complete" >&2
  fi
done
echo "$runs runs: temporary files left in $left, status not 141 in $wrong_status," \
  "damaged row files in $damaged"
[ "$left" -eq 0 ] || fail "temporary files left in $left of $runs runs"
[ "$wrong_status" -eq 0 ] || fail "status not 141 in $wrong_status of $runs runs"
[ "$damaged" -eq 0 ] || fail "damaged row files in $damaged of $runs runs"
exit $status
