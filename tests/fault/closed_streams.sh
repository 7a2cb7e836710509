#!/usr/bin/env bash
# Standard input, output or error closed when the program starts, as a
# careless script or a daemon may leave them. The files the run opens must
# not take their places: the console text and the messages must never land
# in a row file, and "-" as the output writes to the (closed, so null)
# standard output without being taken for the input.
#   closed_streams.sh BINARY SCRATCH [LAUNCHER]
set -u
. "$(dirname "$0")/common.sh"
check_setup "$1" "$2" "${3:-}" \
  "a launcher would hold the standard streams itself"

cat >a.dat <<'EOF'
# closed streams
points 0.5 1.0 1.5
events 10 20 30
label a b c
7 100 200 300
-12 5 6 7
EOF
"$binary" a.dat want.ntp >/dev/null || fail "the plain run failed"

# run LABEL WANT_STATUS REDIRECTIONS ARG...: the run with the redirections
# applied by the shell that starts it.
run() {
  local label=$1 want=$2 redirections=$3 code=0
  shift 3
  eval '"$binary" "$@" >run.out 2>run.err </dev/null' "$redirections" || code=$?
  [ "$code" -eq "$want" ] || fail "$label: status $code, expected $want"
}

for closed in '<&- >&-' '>&- 2>&-' '<&- >&- 2>&-' '>&-' '2>&-'; do
  rm -f out.ntp
  run "a.dat out.ntp $closed" 0 "$closed" a.dat out.ntp
  cmp -s want.ntp out.ntp || fail "a.dat out.ntp $closed: the row file is not the rows"
done

# "-" writes to standard output, closed and so the null device: nothing is
# the input's file.
run "a.dat - >&-" 0 '>&-' a.dat -

# A failure's message and reason go nowhere, and nothing is made.
rm -f out.ntp
run "missing.dat out.ntp >&- 2>&-" 1 '>&- 2>&-' missing.dat out.ntp
[ ! -e out.ntp ] || fail "missing.dat out.ntp >&- 2>&-: a row file was made"

# A batch on four jobs: other files' lines and reasons must not reach any
# row file, the ones that fail (missing inputs) included.
mkdir b
files=()
for i in $(seq 1 100); do
  if [ $((i % 10)) -eq 0 ]; then
    files+=("b/missing$i.dat")
  else
    cp a.dat "b/f$i.dat"
    files+=("b/f$i.dat")
  fi
done
for closed in '>&-' '2>&-' '>&- 2>&-'; do
  for round in 1 2 3; do
    rm -f b/*.ntp
    run "--batch -j 4 $closed, round $round" 1 "$closed" --batch -j 4 "${files[@]}"
    bad=0
    for f in b/f*.ntp; do cmp -s want.ntp "$f" || bad=$((bad + 1)); done
    [ "$bad" -eq 0 ] || fail "--batch -j 4 $closed, round $round: $bad row files are not the rows"
  done
done

[ $status -ne 0 ] || echo "closed standard streams: nothing of the console reached a row file"
exit $status
