#!/usr/bin/env bash
# Lines far longer than any buffer, in single runs: each converts within
# 16 MiB of peak resident memory (peak_rss: wait4's ru_maxrss), status 0,
# with exactly the rows and console text the reference model gives for a
# short input that reads the same (NUL bytes cut to one, a number to its
# last 32 digits, white space to one blank, values past the 100th dropped):
#   nul-line      a data line of 256 MiB of NUL bytes (a sparse file);
#   long-line     a data line of 1 GB, fed through a FIFO;
#   huge-number   a label and a value of 50 MB of digits each, through a FIFO;
#   sparse        4 GiB of NUL bytes and no newline (a sparse file);
#   long-header   header lines of 10 MB: a first word read again for its
#                 echo, a real and an integer of 5 MB of digits each (the
#                 reference converts the input itself);
#   header-pipe   the same from standard input, a pipe that cannot be read
#                 again: the first word is kept in a scratch file;
#   header-batch  the same file twice in one batch with two jobs, whose
#                 texts wait to be shown in scratch files (limit twice
#                 16 MiB).
# Under a sanitizer the resident memory is the sanitizer's: given a reason
# as NO_LIMIT ("-" for none), the runs and their results are checked, not
# the memory. Skipped (status 77) under a LAUNCHER (wine, valgrind).
#   long_lines.sh BINARY REFERENCE PEAK_RSS SCRATCH NO_LIMIT [LAUNCHER]
set -eu
if [ -n "${6:-}" ]; then
  echo "skipped: gigabytes through a launcher take too long"
  exit 77
fi
abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
binary=$(abs "$1")
reference=$(abs "$2")
peak_rss=$(abs "$3")
dir=$4
no_limit=$5
[ "$no_limit" != - ] || no_limit=
LIMIT_KIB=$((16 * 1024))
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
feeder=
trap '[ -z "$feeder" ] || kill "$feeder" 2>/dev/null || true; rm -f ./*.dat ./*.ntp ./*.fifo' EXIT

status=0
fail() {
  echo "  $1" >&2
  status=1
}

header() { printf '# long lines\npoints 1 2 3\nevents 4 5 6\nlabel\n'; }

# check NAME INPUT TWIN: converts INPUT under peak_rss and compares with
# what the reference gives for TWIN. INPUT "-" reads standard input from
# the FIFO stdin.fifo.
check() {
  local name=$1 input=$2 twin=$3 code=0 peak stdin=/dev/null
  [ "$input" != - ] || stdin=stdin.fifo
  "$reference" "$twin" want.stdout want.rows
  "$peak_rss" rss.txt "$binary" "$input" got.ntp >got.stdout 2>got.stderr \
    <"$stdin" || code=$?
  check_result "$name" "$code" "$LIMIT_KIB"
  rm -f got.* want.* ./*.dat
}

# check_result NAME STATUS LIMIT: the run's outcome against the wanted.
check_result() {
  local name=$1 code=$2 limit=$3 peak
  peak=$(cat rss.txt)
  [ -z "$feeder" ] || wait "$feeder" || fail "$name: the generator failed"
  feeder=
  if [ "$code" -ne 0 ]; then
    fail "$name: status $code: $(head -c 200 got.stderr)"
  elif ! cmp -s got.ntp want.rows; then
    fail "$name: the rows differ"
  elif ! cmp -s got.stdout want.stdout; then
    fail "$name: the console text differs"
  elif [ -s got.stderr ]; then
    fail "$name: standard error: $(head -c 200 got.stderr)"
  elif [ -n "$no_limit" ]; then
    echo "$name: peak resident memory $peak KiB, not checked: $no_limit"
  elif [ "$peak" -gt "$limit" ]; then
    fail "$name: peak resident memory $peak KiB, more than $limit KiB"
  else
    echo "$name: peak resident memory $peak KiB (limit $limit KiB)"
  fi
}

# nul-line
{ header; printf '5 '; } >nul.dat
truncate -s +256M nul.dat
printf '\n7 1 2\n' >>nul.dat
{ header; printf '5 \0\n7 1 2\n'; } >nul-twin.dat
check nul-line nul.dat nul-twin.dat

# long-line: "7 " and a billion bytes of values, mostly past the 100th.
mkfifo long.fifo
{
  header
  printf '7 '
  yes '123456789 99999 -1' | tr '\n' ' ' | head -c 1000000000
  printf '\n8 1\n'
} >long.fifo &
feeder=$!
{
  header
  printf '7 '
  yes '123456789 99999 -1' | tr '\n' ' ' | head -c 2000
  printf '\n8 1\n'
} >long-twin.dat
check long-line long.fifo long-twin.dat

# huge-number: 50 MB of digits as the label and as a value; only the last
# 32 digits count (10^32 is a multiple of 2^32).
mkfifo number.fifo
digits() { head -c 50000000 /dev/zero | tr '\0' "$1"; }
{
  header
  printf -- '-3'
  digits 1
  printf '8 '
  digits 7
  printf '5 6\n'
} >number.fifo &
feeder=$!
{
  header
  printf -- '-3%s8 %s5 6\n' "$(printf '1%.0s' {1..31})" "$(printf '7%.0s' {1..31})"
} >number-twin.dat
check huge-number number.fifo number-twin.dat

# sparse: one line of NUL bytes, no newline.
truncate -s 4G sparse.dat
printf '\0' >sparse-twin.dat
check sparse sparse.dat sparse-twin.dat

# long-header: a first word of 10 MB with its s at the start (its echo
# needs the word twice: it is read again), then a real and an integer of
# 5 MB of digits each.
{
  printf 's'
  head -c 10000000 /dev/zero | tr '\0' w
  printf ' 1 2\npoints 0.'
  head -c 5000000 /dev/zero | tr '\0' 0
  printf '125e5000001 2\nevents '
  head -c 5000000 /dev/zero | tr '\0' 7
  printf ' 8\nlabel\n7 1 2\n'
} >header.dat
cp header.dat keep.txt
check long-header header.dat header.dat

# header-pipe
mkfifo stdin.fifo
cp keep.txt header.dat
cat header.dat >stdin.fifo &
feeder=$!
check header-pipe - header.dat

# header-batch: each file's text, in order, then the summary.
cp keep.txt h1.dat
cp keep.txt h2.dat
"$reference" h1.dat one.stdout want.rows
{
  for f in h1 h2; do
    printf '== %s.dat -> %s.ntp\n' $f $f
    cat one.stdout
  done
  printf '\n== 2 files: 2 converted, 0 failed\n'
} >want.stdout
code=0
"$peak_rss" rss.txt "$binary" --batch -j 2 h1.dat h2.dat >got.stdout \
  2>got.stderr </dev/null || code=$?
cp h1.ntp got.ntp
cmp -s h1.ntp h2.ntp || fail "header-batch: the two row files differ"
check_result header-batch "$code" $((2 * LIMIT_KIB))
rm -f got.* want.* one.stdout keep.txt ./*.dat ./*.ntp

exit $status
