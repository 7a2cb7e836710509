#!/usr/bin/env bash
# The progress line of a batch that lasts more than a second. With
# standard error on a terminal it shows "K of 3 files" after a carriage
# return while the run waits, each line erased (carriage return, blanks,
# carriage return) before the next, before any text and at the end, so
# that: standard error alone on the terminal holds nothing but erased
# progress lines, standard output keeps the files' texts alone, and with
# both on the terminal the screen is the texts once the progress lines are
# taken out. With standard error not a terminal (a file, standard output
# still one), no progress at all.
# The terminal is a pseudo-terminal from script(1). The batch is slow by
# construction, not by timing: its middle input is a FIFO that gets its
# text only once a progress line is on the terminal (with a terminal) or
# 1.5 s after the first row file exists (without one). A progress line
# that has not come after WAIT seconds is a failure.
#   progress.sh BINARY CASES_DIR SCRATCH JOBS
set -eu
. "$(dirname "$0")/common.sh"
jobs=$4
batch_setup "$1" "$2" "$3"
command -v script >/dev/null || { echo "script(1) (util-linux) is missing" >&2; exit 1; }
WAIT=5

sample five_line_example p/a.dat
sample header_counts p/slow.dat
sample wrap_32_bit p/b.dat
want_start
want_file p/a.dat p/a.ntp five_line_example
want_file p/slow.fifo p/slow.ntp header_counts
want_file p/b.dat p/b.ntp wrap_32_bit
want_summary 3 3 0
# What a terminal shows of standard output: CR LF line ends.
sed 's/$/\r/' want.stdout >want.terminal

# on_terminal LABEL OPTIONS REDIRECTIONS CONDITION: runs the batch with
# OPTIONS (one word, or none) under script(1) with REDIRECTIONS, the
# terminal's text in terminal.txt; the FIFO is fed once CONDITION holds,
# or after WAIT seconds, and waited.txt says which.
on_terminal() {
  label="$1, -j $jobs${2:+ $2}"
  local command
  command=$(printf "%q " "$binary" --batch -j "$jobs" $2 p/a.dat p/slow.fifo p/b.dat)
  rm -f p/*.ntp p/slow.fifo terminal.txt got.*
  mkfifo p/slow.fifo
  touch terminal.txt
  echo "gave up" >waited.txt
  (
    for _ in $(seq 1 $((WAIT * 20))); do
      if eval "$4"; then
        echo "met" >waited.txt
        break
      fi
      sleep 0.05
    done
    cat p/slow.dat >p/slow.fifo
  ) &
  local feeder=$! code=0
  SHELL=/bin/sh script -qec "$command $3" /dev/null </dev/null >terminal.txt || code=$?
  wait "$feeder"
  [ "$code" -eq 0 ] || fail "$label: exit status $code"
  check_rows p/a.ntp five_line_example
  check_rows p/slow.ntp header_counts
  check_rows p/b.ntp wrap_32_bit
  check_no_temporaries p
}

# take_progress FILE: removes every erased progress line from FILE, and
# fails unless there was one shown while the run waited for the FIFO.
take_progress() {
  local lines
  [ "$(cat waited.txt)" = met ] ||
    fail "$label: no progress line while the run waited for p/slow.fifo ($WAIT s)"
  # "K of 3 files" is 12 characters for every K the batch can show.
  lines=$(grep -aoE $'\r[0-3] of 3 files\r {12}\r' "$1" | wc -l)
  [ "$lines" -gt 0 ] || fail "$label: no erased progress line on the terminal"
  sed -E -i $'s/\r[0-3] of 3 files\r {12}\r//g' "$1"
  echo "$label: $lines progress lines, each erased"
}

on_terminal "standard error alone on a terminal" "" ">got.stdout" \
  "grep -q 'of 3 files' terminal.txt"
compare_text "$label: standard output" want.stdout got.stdout
take_progress terminal.txt
compare_text "$label: the terminal, erased progress lines taken out" /dev/null terminal.txt

# Quiet: no file's text comes to erase the line, the end of the run must.
on_terminal "standard error alone on a terminal" -q ">got.stdout" \
  "grep -q 'of 3 files' terminal.txt"
printf '\n== 3 files: 3 converted, 0 failed\n' >want.quiet
compare_text "$label: standard output" want.quiet got.stdout
take_progress terminal.txt
compare_text "$label: the terminal, erased progress lines taken out" /dev/null terminal.txt

on_terminal "standard output and error on a terminal" "" "" \
  "grep -q 'of 3 files' terminal.txt"
take_progress terminal.txt
compare_text "$label: the terminal, erased progress lines taken out" want.terminal terminal.txt

# SIGINT while a progress line stands: the line is erased before the run
# ends by the signal, as it is before any text.
label="SIGINT while a progress line stands, -j $jobs"
rm -f p/*.ntp p/slow.fifo terminal.txt run.pid
mkfifo p/slow.fifo
touch terminal.txt
echo "gave up" >waited.txt
(
  for _ in $(seq 1 $((WAIT * 20))); do
    if grep -q 'of 3 files' terminal.txt; then
      echo "met" >waited.txt
      break
    fi
    sleep 0.05
  done
  kill -INT "$(cat run.pid)"
) &
killer=$!
code=0
command=$(printf "%q " "$binary" --batch -j "$jobs" p/a.dat p/slow.fifo p/b.dat)
SHELL=/bin/sh script -qec "echo \$\$ >run.pid; exec $command >got.stdout" \
  /dev/null </dev/null >terminal.txt || code=$?
wait "$killer"
[ "$code" -eq 130 ] || fail "$label: exit status $code, expected 130"
take_progress terminal.txt
compare_text "$label: the terminal, erased progress lines taken out" /dev/null terminal.txt
check_no_temporaries p

on_terminal "standard error to a file" "" "2>got.stderr" \
  "[ -e p/a.ntp ] && sleep 1.5"
compare_text "$label: standard error" want.stderr got.stderr
compare_text "$label: the terminal" want.terminal terminal.txt

exit $status
