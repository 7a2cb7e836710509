#!/usr/bin/env bash
# Ctrl-C in the middle of a batch: three files converted, then inputs that
# are FIFOs holding the run (each has delivered a header and some data
# lines and stays open). SIGINT must end the run with status 130, keep the
# row files already made whole and right, and leave no temporary file and
# no row file for a FIFO: none where there was none, the earlier content
# where there was one. With -j 4 both FIFOs are in progress when the signal
# comes, each with its temporary file open; with -j 1 the first one is.
#   interrupt.sh BINARY CASES_DIR SCRATCH
set -eu
. "$(dirname "$0")/common.sh"
batch_setup "$@"

sample five_line_example i/a.dat
sample wrap_32_bit i/b.dat
sample header_counts i/c.dat

# until_true WHAT CONDITION: waits up to 10 s for CONDITION.
until_true() {
  for _ in $(seq 1 200); do
    eval "$2" && return 0
    sleep 0.05
  done
  fail "$label: $1 did not happen within 10 s"
  return 1
}

for jobs in 1 4; do
  for before in "" "rows of an earlier run"; do
    label="-j $jobs, row files of the FIFOs absent before"
    [ -z "$before" ] || label="-j $jobs, row files of the FIFOs present before"
    rm -rf i/*.ntp i/*.fifo i/.*.tnx-*
    for f in f1 f2; do
      mkfifo "i/$f.fifo"
      [ -z "$before" ] || echo "$before" >"i/$f.ntp"
    done
    # A background job of a script ignores SIGINT unless given it back.
    env --default-signal=INT "$binary" --batch -j "$jobs" \
      i/a.dat i/b.dat i/c.dat i/f1.fifo i/f2.fifo >got.stdout 2>got.stderr </dev/null &
    pid=$!
    feeders=()
    for f in f1 f2; do
      {
        cat "$cases/five_line_example/input.dat"
        for n in $(seq 1 200); do echo "$n 1 2 3"; done
        # Holds the FIFO open until the run is gone.
        while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
      } >"i/$f.fifo" &
      feeders+=($!)
    done
    # The temporary row files: without a name (seen among the run's open
    # files as "/folder/#inode (deleted)"), or, where the system cannot
    # make such files, named .NAME.tnx-PID-N beside the row file.
    temporaries="{ ls -A i | grep -E '^\.f[12]\.ntp\.tnx-$pid-[0-9]+\$'; for fd in /proc/$pid/fd/*; do readlink \"\$fd\"; done 2>/dev/null | grep '/#[0-9]* (deleted)\$'; } | wc -l"
    want_temporaries=$((jobs == 1 ? 1 : 2))
    until_true "the row files of a, b and c" \
      "[ -e i/a.ntp ] && [ -e i/b.ntp ] && [ -e i/c.ntp ]" &&
      until_true "$want_temporaries temporary row files" \
        "[ \"\$($temporaries)\" -eq $want_temporaries ]" || true
    kill -INT "$pid"
    code=0
    wait "$pid" || code=$?
    # A FIFO the run never opened keeps its feeder waiting to open it.
    for feeder in "${feeders[@]}"; do
      kill "$feeder" 2>/dev/null || true
      wait "$feeder" 2>/dev/null || true
    done
    [ "$code" -eq 130 ] || fail "$label: exit status $code, expected 130"
    check_rows i/a.ntp five_line_example
    check_rows i/b.ntp wrap_32_bit
    check_rows i/c.ntp header_counts
    check_no_temporaries i
    for f in f1 f2; do
      if [ -z "$before" ]; then
        [ ! -e "i/$f.ntp" ] || fail "$label: i/$f.ntp was left"
      else
        [ "$(cat "i/$f.ntp")" = "$before" ] || fail "$label: i/$f.ntp changed"
      fi
    done
    echo "$label: status $code"
  done
done
exit $status
