#!/usr/bin/env bash
# The Windows program expands the wildcards of a batch itself, since the
# Windows shells pass "*.dat" as typed: in a folder holding b.dat, a.dat,
# c.txt and a folder d.dat, `tarnovelix.exe --batch "*.dat"` (quoted, so
# no shell expands it here) converts a.dat then b.dat, in name order, and
# neither c.txt nor the folder. A pattern that matches nothing stays a
# name, which no file has: that file fails. Console text and rows end
# their lines with CR LF. Standard error is left alone: wine words its own
# diagnostics there.
#   windows_wildcards.sh EXE CASES_DIR SCRATCH [LAUNCHER]
set -eu
. "$(dirname "$0")/common.sh"
launcher=${4:-}
batch_setup "$1" "$2" "$3"

sample five_line_example b.dat
sample wrap_32_bit a.dat
echo "not a scan" >c.txt
mkdir d.dat

# crlf FILE: FILE with each LF turned into CR LF.
crlf() { sed 's/$/\r/' "$1" >"$1.crlf" && mv "$1.crlf" "$1"; }

for pattern in '*.dat' '?.dat'; do
  label="--batch \"$pattern\""
  rm -f ./*.ntp
  want_start
  want_file a.dat a.ntp wrap_32_bit
  want_file b.dat b.ntp five_line_example
  want_summary 2 2 0
  crlf want.stdout
  code=0
  $launcher "$binary" --batch "$pattern" >got.stdout 2>/dev/null </dev/null || code=$?
  [ "$code" -eq 0 ] || fail "$label: status $code"
  compare_text "$label: standard output" want.stdout got.stdout
  for row_file in a.ntp:wrap_32_bit b.ntp:five_line_example; do
    cp "$cases/${row_file#*:}/expected.rows" want.rows
    crlf want.rows
    cmp -s want.rows "${row_file%%:*}" || fail "$label: ${row_file%%:*} is not the rows of ${row_file#*:}"
  done
  [ ! -e c.ntp ] && [ ! -e d.ntp ] || fail "$label: c.txt or the folder d.dat converted"
  [ "$(ls -A | grep -c '\.ntp$')" -eq 2 ] || fail "$label: other row files: $(ls -A)"
done

label='--batch "*.none" a.dat'
rm -f ./*.ntp
want_start
printf '== *.none -> *.ntp\n\nCould not open input file: *.none\n' >want.stdout
want_file a.dat a.ntp wrap_32_bit
want_summary 2 1 1
crlf want.stdout
code=0
$launcher "$binary" --batch "*.none" a.dat >got.stdout 2>/dev/null </dev/null || code=$?
[ "$code" -eq 1 ] || fail "$label: status $code, expected 1"
compare_text "$label: standard output" want.stdout got.stdout

[ $status -ne 0 ] || echo "wildcards expanded by the program: a.dat, b.dat, in that order"
exit $status
