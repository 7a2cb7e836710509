#!/usr/bin/env bash
# Every signal whose default action ends the process, sent while a single
# run replaces a row file: the input is a FIFO that has delivered a header
# and some data lines and then waits, so the signal always finds the
# temporary file open with rows in it. The run must end by that
# signal (status 128 + its number), leave no temporary file and leave the
# row file as it was. Then the limits that end a run without anyone
# sending a signal: a file size limit (ulimit -f, SIGXFSZ not ignored) and
# a CPU time limit (ulimit -S -t 1, SIGXCPU). Last, a signal the run was
# started with ignored stays ignored: the run goes on and completes.
#   fatal_signals.sh BINARY SCRATCH [LAUNCHER]
set -eu
. "$(dirname "$0")/common.sh"
check_setup "$1" "$2" "${3:-}" \
  "signals and limits would reach the launcher, not the program"
# No core files from the signals that dump one.
ulimit -c 0

# The rows of one data line per call: enough lines that the run has
# written some rows into its temporary file before it waits.
awk 'BEGIN {
  print "# fatal signals"; print "points 1 2 3"; print "events 4 5 6"
  print "label"
  for (i = 0; i < 600; i++) {
    line = i; for (j = 0; j < 100; j++) line = line " " (i * j)
    print line
  }
}' >head.dat
echo "rows of an earlier run" >old.ntp

# start_held [ENV_OPTION]: starts the run on a FIFO that holds it after
# head.dat until the run is gone or the file `stop` exists; sets pid and
# feeder.
start_held() {
  rm -f in.fifo stop
  cp old.ntp out.ntp
  mkfifo in.fifo
  # A background job of a script ignores SIGINT and SIGQUIT unless given
  # them back.
  env --default-signal=INT,QUIT ${1:-} "$binary" in.fifo out.ntp \
    >console.out 2>console.err &
  pid=$!
  {
    cat head.dat
    while [ ! -e stop ] && kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
  } >in.fifo &
  feeder=$!
}

# wait_for_rows: waits up to 10 s for the temporary file to hold rows.
wait_for_rows() {
  for _ in $(seq 1 200); do
    [ -n "$(temporary_with_rows "$pid" out.ntp)" ] && return 0
    sleep 0.05
  done
  fail "$1: no temporary file with rows appeared"
}

# finish LABEL WANT_STATUS: waits for the run and checks what it left.
finish() {
  local code=0 left
  wait "$pid" 2>/dev/null || code=$?
  touch stop
  kill "$feeder" 2>/dev/null || true
  wait "$feeder" 2>/dev/null || true
  echo "$1: status $code"
  [ "$code" -eq "$2" ] || fail "$1: status $code, expected $2"
  left=$(find . -name '.*.tnx-*' | head -n 3)
  [ -z "$left" ] || fail "$1: temporary files left: $left"
  find . -name '.*.tnx-*' -delete
}

signals="HUP INT QUIT ILL TRAP ABRT BUS FPE USR1 SEGV USR2 PIPE ALRM TERM
  STKFLT XCPU XFSZ VTALRM PROF IO PWR SYS RTMIN RTMIN+1 RTMAX-1 RTMAX"
# A sanitizer's runtime has handlers of its own for the faults it reports,
# set before the program's code runs, and the program leaves them in place.
sanitized=
if grep -qE "__(asan|tsan)_init" "$binary"; then sanitized=1; fi
for signal in $signals; do
  case "$signal" in
    BUS | FPE | SEGV)
      if [ -n "$sanitized" ]; then
        echo "SIG$signal: skipped, the sanitizer reports it"
        continue
      fi
      ;;
  esac
  number=$(kill -l "SIG$signal" 2>/dev/null) || continue
  start_held
  wait_for_rows "SIG$signal"
  kill -s "$signal" "$pid"
  finish "SIG$signal" $((128 + number))
  [ "$(cat out.ntp)" = "$(cat old.ntp)" ] || fail "SIG$signal: the row file changed"
done

# A run started with a signal ignored (nohup, a shell's background job)
# goes on through it and writes every row.
"$binary" head.dat complete.ntp >/dev/null
for signal in INT TERM HUP QUIT USR1 RTMIN; do
  start_held "--ignore-signal=$signal"
  wait_for_rows "SIG$signal ignored"
  kill -s "$signal" "$pid"
  sleep 0.3
  touch stop
  finish "SIG$signal ignored" 0
  cmp -s out.ntp complete.ntp || fail "SIG$signal ignored: the rows are not complete"
done

# A signal while the rows are put in place. The row file is written
# without a name, which gets a hidden name just before it is renamed over
# the old row file; strace holds the run for 1 s after each link it makes,
# and SIGTERM comes while the hidden name stands. A single run holds every
# signal back until the rename is done: status 143, the new rows in place.
# A batch's job guards the name, and the handler removes it: status 143,
# the old rows or the new ones. Nothing is left either way.
if ! strace -f -qq -o /dev/null true 2>/dev/null; then
  echo "a signal while the rows are put in place: skipped (needs strace and ptrace)"
else
  cp head.dat b1.dat
  cp head.dat b2.dat
  for mode in "single run" "batch -j 2"; do
    cp old.ntp out.ntp
    cp old.ntp b1.ntp
    cp old.ntp b2.ntp
    args=(head.dat out.ntp)
    [ "$mode" = "single run" ] || args=(--batch -j 2 b1.dat b2.dat)
    strace -f -qq -o /dev/null -e inject=linkat:delay_exit=1000000 \
      "$binary" "${args[@]}" >/dev/null 2>&1 &
    pid=$!
    feeder=
    hidden=
    for _ in $(seq 1 200); do
      hidden=$(find . -name '.*.tnx-*' | head -n 1)
      [ -n "$hidden" ] && break
      sleep 0.02
    done
    if [ -z "$hidden" ]; then
      fail "$mode, SIGTERM in place: no hidden name appeared"
    else
      # .NAME.tnx-PID-N: the run's own process, not strace's.
      run=${hidden##*.tnx-}
      kill -s TERM "${run%-*}"
    fi
    finish "$mode, SIGTERM while the rows are put in place" 143
    for rows in out.ntp b1.ntp b2.ntp; do
      if cmp -s "$rows" complete.ntp; then
        continue
      elif [ "$mode" = "single run" ] && [ "$rows" = out.ntp ]; then
        fail "$mode: the new rows were not put in place"
      else
        cmp -s "$rows" old.ntp || fail "$mode: $rows neither old nor new"
      fi
    done
  done
fi

# A file size limit with SIGXFSZ at its default action: status 153.
awk 'BEGIN {
  print "# size limit"; print "points 0.5 1 1.5 2"; print "events 1 2 3 4"
  print "label"
  for (i = 0; i < 60000; i++) print i - 30000, i, i * 3, i * 7, 99
}' >large.dat
for before in "rows of an earlier run" ""; do
  rm -f cut.ntp
  [ -z "$before" ] || echo "$before" >cut.ntp
  code=0
  # (The shell's report of the signal goes with the run's messages.)
  {
    (
      ulimit -f 64
      exec "$binary" large.dat cut.ntp
    ) || code=$?
  } >/dev/null 2>&1
  label="ulimit -f 64, row file $([ -n "$before" ] && echo present || echo absent) before"
  echo "$label: status $code"
  [ "$code" -eq $((128 + $(kill -l XFSZ))) ] || fail "$label: status $code"
  if [ -n "$before" ]; then
    [ "$(cat cut.ntp)" = "$before" ] || fail "$label: the row file changed"
  else
    [ ! -e cut.ntp ] || fail "$label: a row file was left"
  fi
  left=$(find . -name '.*.tnx-*' | head -n 3)
  [ -z "$left" ] || fail "$label: temporary files left: $left"
  find . -name '.*.tnx-*' -delete
done

# A CPU time limit: an endless stream of data lines without values (no
# rows, all reading and scanning) reaches the soft limit of 1 s, and
# SIGXCPU ends the run: status 152.
cp old.ntp cpu.ntp
code=0
set +e
{
  yes 7 | (
    ulimit -S -t 1
    exec "$binary" - cpu.ntp
  )
  code=${PIPESTATUS[1]}
} >/dev/null 2>&1
set -e
echo "ulimit -S -t 1: status $code"
[ "$code" -eq $((128 + $(kill -l XCPU))) ] || fail "ulimit -S -t 1: status $code"
cmp -s cpu.ntp old.ntp || fail "ulimit -S -t 1: the row file changed"
left=$(find . -name '.*.tnx-*' | head -n 3)
[ -z "$left" ] || fail "ulimit -S -t 1: temporary files left: $left"
exit $status
