#!/usr/bin/env bash
# A run ended by SIGINT, SIGTERM or SIGHUP in the middle of its rows: the
# input is a pipe that has delivered a header and some data lines and then
# waits, so the signal always finds the run with its temporary row file open.
# The run must end by that signal (status 128 + its number, as shells report
# it), leave no temporary file, and leave the output as it was: its earlier
# content, or no file at all.
# Under wine (LAUNCHER=wine) the Windows program gets SIGINT as the Ctrl-C
# console event, and only that one is tried.
#   interrupt.sh BINARY SCRATCH [LAUNCHER]
set -eu
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
launcher=${3:-}
signals="INT TERM HUP"
case "$launcher" in
  "") ;;
  *wine*) signals=INT ;;
  *)
    echo "skipped: signals would reach the launcher, not the program"
    exit 77
    ;;
esac
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

status=0
fail() {
  echo "  $1" >&2
  status=1
}
for signal in $signals; do
  for before in "old rows" ""; do
    rm -f out.ntp in.fifo
    [ -n "$before" ] && echo "$before" >out.ntp
    mkfifo in.fifo
    # A background job of a script ignores SIGINT unless given it back.
    env --default-signal=INT $launcher "$binary" in.fifo out.ntp \
      >console.out 2>console.err &
    pid=$!
    {
      # More rows than the run keeps before writing some out.
      awk 'BEGIN {
        print "# interrupted"; print "points 1 2 3"; print "events 4 5 6"
        print "label"
        for (i = 0; i < 600; i++) {
          line = i; for (j = 0; j < 100; j++) line = line " " (i * j)
          print line
        }
      }'
      # Holds the pipe open until the run is gone.
      while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    } >in.fifo &
    feeder=$!
    # Wait for the temporary file, then for the rows to reach it. Over an
    # existing row file it has a hidden name; a new row file is written
    # without a name where the system allows, seen only among the
    # program's open files (Linux shows it as "/folder/#inode (deleted)").
    temporary=
    for _ in $(seq 1 200); do
      temporary=$(find . -name '.out.ntp.*' -size +0 | head -n 1)
      [ -n "$temporary" ] && break
      for fd in /proc/"$pid"/fd/*; do
        case "$(readlink "$fd" 2>/dev/null)" in
          */\#*" (deleted)")
            [ "$(stat -L -c %s "$fd" 2>/dev/null || echo 0)" -gt 0 ] &&
              temporary=$fd
            ;;
        esac
      done
      [ -n "$temporary" ] && break
      sleep 0.02
    done
    [ -n "$temporary" ] || fail "no temporary file with rows appeared"
    kill -"$signal" "$pid"
    set +e
    wait "$pid"
    code=$?
    set -e
    # A run that never read its input leaves the feeder waiting to open
    # the pipe.
    kill "$feeder" 2>/dev/null || true
    wait "$feeder" || true
    want=$((128 + $(kill -l "$signal")))
    echo "SIG$signal, output ${before:-absent} before: status $code"
    [ "$code" -eq "$want" ] || fail "expected status $want"
    leftover=$(find . -name '.out.ntp.*' | head -n 1)
    [ -z "$leftover" ] || fail "temporary file left: $leftover"
    if [ -n "$before" ]; then
      [ "$(cat out.ntp)" = "$before" ] || fail "the earlier row file changed"
    else
      [ ! -e out.ntp ] || fail "a row file was left"
    fi
  done
done
exit $status
