#!/usr/bin/env bash
# Standard output or standard error sent to an input of the run, as
# `>> a.dat` on a command that reads a.dat does. No text may be appended to
# an input: with standard output there, every console line goes to standard
# error instead (a refusal's too), and the rows and the status are as
# usual; with standard error there as well, the run writes nothing at all,
# converts nothing and ends with status 1. A device is no such input:
# `a.dat /dev/null >/dev/null` stays quiet.
#   streams_on_input.sh BINARY SCRATCH [LAUNCHER]
set -u
. "$(dirname "$0")/common.sh"
check_setup "$1" "$2" "${3:-}" \
  "a launcher would hold the standard streams itself"

cat >a.dat <<'EOF'
# streams on the input
points 0.5 1.0 1.5
events 10 20 30
label a b c
7 100 200 300
EOF
cp a.dat b.dat
cp a.dat scan.before
"$binary" a.dat want.ntp >echo.txt 2>/dev/null || fail "the plain run failed"
: >none.txt
printf '\n== 2 files: 2 converted, 0 failed\n' >summary.txt
for name in - /dev/stdout; do
  printf '\nCould not open output file: %s (same file as the input)\ntarnovelix: %s: same file as the input\n' \
    "$name" "$name" >"refused${name//\//-}.txt"
done

# STATUS|STANDARD ERROR|ROW FILES|COMMAND, run by bash in this folder with
# the program as $0.
cases=(
  '0|echo.txt|out.ntp|"$0" a.dat out.ntp >>a.dat'
  '1|refused-.txt||"$0" a.dat - >>a.dat'
  '1|refused-dev-stdout.txt||"$0" a.dat /dev/stdout >>a.dat'
  '1|refused-.txt||"$0" - - <a.dat >>a.dat'
  '0|summary.txt|a.ntp b.ntp|"$0" --batch -q a.dat b.dat >>b.dat'
  '1|none.txt||"$0" a.dat out.ntp >>a.dat 2>&1'
  '1|none.txt||"$0" - out.ntp <a.dat >>a.dat 2>>a.dat'
  '1|none.txt||"$0" --batch a.dat b.dat >>b.dat 2>&1'
  '0|none.txt|out.ntp|"$0" a.dat out.ntp >/dev/null'
  '0|none.txt||"$0" a.dat /dev/null >/dev/null'
)
for entry in "${cases[@]}"; do
  IFS='|' read -r want_status want_errors rows command <<<"$entry"
  label=${command//\"\$0\"/tarnovelix}
  rm -f out.ntp a.ntp b.ntp
  code=0
  bash -c "$command" "$binary" 2>got.err || code=$?
  [ "$code" -eq "$want_status" ] || fail "$label: status $code, expected $want_status"
  for input in a.dat b.dat; do
    cmp -s scan.before "$input" || fail "$label: $input was changed: $(tail -c 100 "$input")"
    cp scan.before "$input"
  done
  # With 2>&1 inside the command, got.err is empty whatever the run wrote.
  cmp -s "$want_errors" got.err || fail "$label: standard error: $(head -c 300 got.err)"
  for row_file in out.ntp a.ntp b.ntp; do
    if [[ " $rows " == *" $row_file "* ]]; then
      cmp -s want.ntp "$row_file" || fail "$label: $row_file is not the rows"
    elif [ -e "$row_file" ]; then
      fail "$label: $row_file was made"
    fi
  done
  echo "$label: status $code"
done

exit $status
