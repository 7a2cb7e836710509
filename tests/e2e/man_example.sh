#!/usr/bin/env bash
# The example of the manual page is a real run: its input, its console text
# and its row file are taken from the page and checked against the program.
#   man_example.sh BINARY MANUAL_PAGE SCRATCH
set -eu
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
page=$2
dir=$3
rm -rf "$dir"
mkdir -p "$dir"

# The lines between .nf and .fi after .SH EXAMPLE, roff escapes undone,
# split at each "$ command" line into one file per command.
awk -v dir="$dir" '
  /^\.SH EXAMPLE/ { example = 1; next }
  example && /^\.fi/ { exit }
  example && /^\.nf/ { next }
  example && /^\$ / { file = dir "/" (++n) ".txt"; print substr($0, 3) > (dir "/" n ".cmd"); next }
  example && file != "" { gsub(/\\-/, "-"); print > file }
' "$page"
for i in 1 2 3; do
  [ -f "$dir/$i.cmd" ] || { echo "the example has no command $i" >&2; exit 1; }
done
[ "$(cat "$dir/1.cmd")" = "cat small.dat" ] &&
  [ "$(cat "$dir/2.cmd")" = "tarnovelix small.dat small.ntp" ] &&
  [ "$(cat "$dir/3.cmd")" = "cat small.ntp" ] ||
  { echo "the example's commands are not the ones this check knows" >&2; exit 1; }

cd "$dir"
cp 1.txt small.dat
"$binary" small.dat small.ntp >console.txt
status=0
cmp -s console.txt 2.txt || { echo "console text differs:"; diff 2.txt console.txt; status=1; }
cmp -s small.ntp 3.txt || { echo "rows differ:"; diff 3.txt small.ntp; status=1; }
[ $status -eq 0 ] && echo "the manual page's example is what the program does"
exit $status
